#pragma once
// Decisions and texts of the main frame that do not need its window: the answer to a request from
// the phone, the host description after a connection, the status line, the update button and the
// outcome of an update check. Thread notes per function.

#include "libs/stats/HostInfoRecord.h"

#include <QString>

#include <functional>

namespace vexa {
class DeviceBridge;
class DeviceSession;
} // namespace vexa

// The phone-request callback (bridge thread): 3 without a session or a live link; the activity state
// when an operation above 2 runs (home backup, firmware); otherwise hands the text to post (which
// queues WM_USER+22 for the frame) and answers 0.
int AnswerPhoneRequest(vexa::DeviceBridge* bridge, const QString& text,
                       const std::function<void(const QString&)>& post);

// The statistics host description once a phone is connected (any thread).
HostInfoRecord ConnectedHostInfo(vexa::DeviceSession* session, const HostInfoRecord& startup);

// "已连接 VEXA <model>" / "未连接".
QString ConnectionStatusText(bool connected, const QString& model, bool simulated = false);

// The update button: its text and whether it offers a known new version.
struct UpdateButtonView {
    QString text;
    bool enabled = false;
};
UpdateButtonView UpdateButton(const QString& programVersion, bool newVersionMark, const QString& knownNewVersion);

// What an update check result means for the user.
struct UpdateOutcome {
    bool newVersion = false;
    bool latest = false; // "您的手机助手已为最新版本"; the frame refreshes the button
    QString message;     // empty for a new version
};
UpdateOutcome UpdateCheckOutcome(int result);
