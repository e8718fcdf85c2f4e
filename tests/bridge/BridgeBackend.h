#pragma once
// What the api test suite needs of a backend: fresh phones and a bridge over them. The same suite
// runs against every backend; each backend test program instantiates it with its own factory.

#include "bridge/api/DeviceBridge.h"

#include <QString>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

struct TestPhoneIdentity {
    QString serial;
    QString model = QStringLiteral("V960");
    QString brand = QStringLiteral("vexa");
    bool dualSim = true;
    bool sdCard = true;
};

// What a backend can reach on a phone. A backend that lacks one must say so through the api too
// (the store's getter returns null, the call fails): the suite checks that, then skips the rest.
enum class BackendCapability {
    Contacts,          // contact book with groups
    ContactPictures,   // contact photos and group icons
    SmsWrites,         // SMS added, changed and deleted (one by one and in batches), the summary's counts
    SmsSending,        // SMS sent through the phone
    Mms,               // the MMS store
    CallLog,           // call records
    Apps,              // install (with list, fetch, uninstall)
    Pictures,          // picture store and albums
    SmallStores,       // bookmarks, memos, settings, alarms
    StorageCategories, // used space split into pictures, music and video per storage
    ExactStorage,      // free space to the byte, and the apps' share of the storage
    Firmware,          // reboot into the updater
    Wallpaper,         // system settings: the phone's wallpaper set from a picture
};

class BridgeBackend {
public:
    virtual ~BridgeBackend() = default;
    // Why the backend cannot run on this machine (a missing tool), or empty.
    virtual QString Unavailable() const { return {}; }
    virtual bool Supports(BackendCapability capability) const {
        (void)capability;
        return true;
    }
    // Apps a fresh phone counts: a simulated phone runs the maker's agent, which counts as one;
    // adb needs no agent on the phone.
    virtual int OwnApps() const { return 1; }
    // Makes an attached phone with empty stores.
    virtual bool CreatePhone(const TestPhoneIdentity& identity) = 0;
    virtual bool SetAttached(const QString& serial, bool attached) = 0;
    virtual std::unique_ptr<vexa::DeviceBridge> MakeBridge() = 0;
};

namespace vexa::sim {
struct PhoneSpec;
}
// The simulated phone file behind an identity; both backends serve one.
vexa::sim::PhoneSpec SpecFor(const TestPhoneIdentity& identity);

struct BackendFactory {
    std::string name;
    std::function<std::unique_ptr<BridgeBackend>()> make;
};

inline void PrintTo(const BackendFactory& factory, std::ostream* out) {
    *out << factory.name;
}

// The simulated backend, over a temporary simulator folder that lives as long as the backend.
std::unique_ptr<BridgeBackend> MakeSimBackend();
// Real phones: a private adb server and one vexa-adbd per attached simulated phone.
std::unique_ptr<BridgeBackend> MakeAdbBackend();
