#pragma once
// One open connection to a phone and the objects that reach its data.
//
// Ownership: the session and every object its getters return belong to the bridge; they are
// freed when the session is closed (DeviceBridge::CloseSession), so callers fetch them anew for
// every piece of work. Threads: any thread may call; each call is serialised with the others on
// the same phone. Callbacks run on the session's own event thread, never on the caller's.

#include "bridge/api/BridgeTypes.h"

#include <functional>
#include <memory>

namespace vexa {

class ContactBook;
class SmsStore;
class MmsStore;
class CalendarStore;
class DeviceInfo;
class FileSystem;
class AppManager;
class BookmarkStore;
class SettingsStore;
class BackupService;
class DeviceSummary;
class ScreenshotService;
class CallRecordList;
class PictureStore;
class AlarmStore;
class SystemSettings;

// Kinds of phone events (SetEventCallback).
constexpr int PHONE_EVENT_CALL = 1;    // incoming call; state 1 = ringing, text = caller's number
constexpr int PHONE_EVENT_MESSAGE = 2; // incoming message; text = the message text

// (state, text) of one phone event.
using PhoneEventCallback = std::function<void(int state, const QString& text)>;
// (context, orientation "0".."3" in quarter turns, valid).
using OrientationCallback = std::function<void(void* context, const QString& text, bool valid)>;
// A request the phone makes of the program (text); the result goes back to the phone.
using PhoneRequestCallback = std::function<int(const QString& text)>;

class DeviceSession {
public:
    virtual ~DeviceSession() = default;

    virtual ContactBook* GetContactBook() = 0;
    // A contact book of its own over the same link, not yet loaded: a backup reads the phone as it
    // is now without replacing the lists the contacts page points into. Null without a link.
    virtual std::unique_ptr<ContactBook> OpenContactBook() = 0;
    virtual SmsStore* GetSmsStore() = 0;
    virtual MmsStore* GetMmsStore() = 0;
    virtual CalendarStore* GetCalendarStore() = 0;
    virtual DeviceInfo* GetDeviceInfo() = 0;
    virtual FileSystem* GetFileSystem() = 0;
    virtual AppManager* GetAppManager() = 0;
    virtual BookmarkStore* GetBookmarkStore() = 0;
    virtual SettingsStore* GetSettingsStore() = 0;
    virtual BackupService* GetBackupService() = 0;
    virtual DeviceSummary* GetSummary() = 0;
    virtual ScreenshotService* GetScreenshotService() = 0;
    // Null when the phone keeps no call log the bridge can read.
    virtual CallRecordList* GetCallRecords() = 0;
    virtual PictureStore* GetPictureStore() = 0;
    virtual AlarmStore* GetAlarmStore() = 0;
    virtual SystemSettings* GetSystemSettings() = 0;

    // Reboots the phone into its updater, which installs update.zip from the phone storage root or,
    // with fromMemoryCard, from the memory card root. The link goes down on success.
    virtual bool RebootToUpdate(bool fromMemoryCard) = 0;
    // Whether RebootToUpdate can work over this link at all (a phone reached without the maker's
    // agent has no way in, so nothing should be offered).
    virtual bool CanRebootToUpdate() { return true; }
    // Registers (or, with an empty callback, removes) the handler of one event kind.
    virtual void SetEventCallback(int kind, PhoneEventCallback callback) = 0;
    // Registers the screen-orientation handler; context is handed back unchanged.
    virtual void SetOrientationCallback(OrientationCallback callback, void* context) = 0;
    // False once the phone went away or the link dropped; every store call then fails.
    virtual bool IsConnected() = 0;
    // Ends the link: blocking calls in progress return failed or aborted results soon after.
    virtual void Disconnect() = 0;
    virtual void SetPhoneRequestCallback(PhoneRequestCallback callback) = 0;
    virtual int GetStatNumber() = 0;
    // The phone's hardware project name (chooses the phone shell picture). False when unknown.
    virtual bool GetPhoneProjectNum(QString* project) = 0;
};

} // namespace vexa
