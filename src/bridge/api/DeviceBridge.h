#pragma once
// The device bridge: finds attached phones and opens one session at a time.
//
// Ownership: the bridge (from ppGetBridge) and the session it hands out belong to the bridge
// library; callers never free them and never keep the session: they ask GetSession() for every
// operation (null = no device). Threads: every operation may be called from any thread; the bridge
// serialises them internally. Failures are return values (bool, int 0 = failed, null), never
// exceptions, and are logged.

#include "bridge/api/BridgeTypes.h"

#include <QStringList>

#include <functional>
#include <memory>

namespace vexa {

class DeviceSession;

class DeviceBridge {
public:
    virtual ~DeviceBridge() = default;

    // Fills up to 32 zeroed records with the attached phones; count := how many. False on failure.
    virtual bool GetDeviceList(DeviceRecord* records, int* count) = 0;
    // Opens a session to the phone with this serial, closing any previous one. Non-zero = opened.
    virtual int ConnectUsbDevice(const QString& serial) = 0;
    // Closes and frees the session; its objects are gone afterwards.
    virtual void CloseSession() = 0;
    virtual DeviceSession* GetSession() = 0;
    // The phones are the simulator's, not real ones; the windows say so next to their names.
    virtual bool IsSimulated() const { return false; }
    // Phones found by the last GetDeviceList whose data cannot be read (a damaged phone file, say),
    // named as the user knows them; they are not in the list, and the windows say why.
    virtual QStringList UnreadablePhones() { return {}; }
    // Connects over Wi-Fi with a verification code. Records (opaque, 144 bytes each, at most
    // *count on entry) are filled on success. On failure a non-zero *count with *rejected set means
    // the phone answered but is incompatible.
    virtual bool ConnectWifi(void* records, int* count, const QString& code, int* rejected) = 0;
    virtual bool IsWifiConnection() = 0;
    // Serials of all attached phones (any brand) as NUL-separated UTF-16 strings in one buffer that
    // the caller frees with FreeSerials. Returns 0 on failure, else non-zero.
    virtual int GetAllDeviceSerialNo(char16_t** serials, int* count) = 0;
    // Fills brand and model of the record whose serial is set. Returns 0 on failure.
    virtual int ReadDeviceBrandAndModel(DeviceRecord* record) = 0;

    static void FreeSerials(char16_t* serials) { delete[] serials; }
    // Builds the buffer GetAllDeviceSerialNo hands out.
    static char16_t* MakeSerialBuffer(const QStringList& serials);
};

// Makes the bridge that ppInitialize installs. The backend library registers one (see
// vexa::sim::UseSimulatedPhones); the program chooses before ppInitialize.
using BridgeFactory = std::function<std::unique_ptr<DeviceBridge>()>;
void SetBridgeFactory(BridgeFactory factory);

} // namespace vexa

// Creates the process-wide bridge with the registered factory. False when no factory is set or
// it made nothing. Called once at start-up on the UI thread.
bool ppInitialize();
// Closes any session and frees the bridge. Called once at exit, after every worker has stopped.
void ppCleanup();
// The process-wide bridge, null before ppInitialize and after ppCleanup.
vexa::DeviceBridge* ppGetBridge();
// Stores an error code for the bridge's caller to read (20024: a local backup file could not be
// opened). Thread-safe.
void ppSetLastError(int code);
int ppGetLastError();

// The error code backup and restore set when their local file cannot be opened.
constexpr int PP_ERROR_LOCAL_FILE = 20024;
