#pragma once
// The real-phone backend of the device bridge: phones the adb server lists as ready, reached
// through its host protocol on 127.0.0.1 (port 5037 or ANDROID_ADB_SERVER_PORT). Device info comes
// from getprop, the file system and pictures' files from sync and the shell tools, storage from df,
// screenshots from "screencap" (raw frames; "-p" for
// phones that give no raw frame). What a plain unrooted phone does not give to adb (the call log,
// the agent's stores) is reported as missing, never imitated: those getters return null.
//
// Thread-safe like every bridge. Nothing here starts an adb server.

#include "bridge/api/DeviceBridge.h"

#include <cstdint>
#include <memory>

namespace vexa::adbphone {

std::unique_ptr<DeviceBridge> CreateAdbBridge(std::uint16_t port);
// Registers the adb backend (server on port) as the bridge that ppInitialize creates.
void UseRealPhones(std::uint16_t port);

// Splits what the user typed into the Wi-Fi field: "HOST:PORT CODE" (wireless debugging pairing
// of Android 11 and later: pair, then connect) or "HOST:PORT" alone (a phone already paired or
// listening with "adb tcpip"). False for anything else.
bool ParseWifiTarget(const QString& text, std::string& hostPort, std::string& pairingCode);

} // namespace vexa::adbphone
