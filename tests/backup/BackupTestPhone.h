#pragma once
// A seeded simulated phone with a session to it, and a snapshot of every store a backup carries so
// that tests compare what came back field by field, not by counts.

#include "TestEnvironment.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct StoreSnapshot {
    std::vector<QString> contacts; // every field of each contact (storage, ringtone, photo too), sorted
    std::vector<QString> sms;      // box, number, time, text, read state, SIM
    std::vector<QString> calls;    // number, time, duration, type
    std::vector<QString> apps;     // package, label, versions, SDK levels, permissions, icon size
    std::vector<QString> bookmarks, memos, settings, alarms;
};

using StoreList = std::vector<QString> StoreSnapshot::*;
inline constexpr StoreList kEveryStore[] = {&StoreSnapshot::contacts, &StoreSnapshot::sms,   &StoreSnapshot::calls,
                                            &StoreSnapshot::apps,     &StoreSnapshot::bookmarks, &StoreSnapshot::memos,
                                            &StoreSnapshot::settings, &StoreSnapshot::alarms};
// A store's records as plain strings, which a failed comparison prints readably.
std::vector<std::string> StoreText(const std::vector<QString>& records);

// How the seeded phone is reached: a bridge and the id its ConnectUsbDevice takes.
struct PhoneLink {
    std::unique_ptr<vexa::DeviceBridge> bridge;
    QString connectId;
};

class BackupTestPhone {
public:
    // Creates and seeds the phone (serial BK-1) in the test folders, then connects: straight to the
    // simulator, or through what link makes of the serial (e.g. an adb server and vexa-adbd).
    explicit BackupTestPhone(int contacts = 20, int sms = 30, int calls = 15, int apps = 3,
                             const std::function<PhoneLink(const QString& serial)>& link = {});
    ~BackupTestPhone();

    vexa::DeviceBridge* Bridge() { return m_bridge.get(); }
    vexa::DeviceSession* Session() { return m_bridge ? m_bridge->GetSession() : nullptr; }
    // Closes the session and opens a new one (stores read afresh from the phone file).
    bool Reconnect();
    // Empties the phone's stores with the simulator tool, then reconnects.
    bool Wipe();
    StoreSnapshot Snapshot();
    QString Serial() const { return QStringLiteral("BK-1"); }
    QString Folder() const { return m_folders.Root(); }

private:
    ScopedTestFolders m_folders;
    std::unique_ptr<vexa::DeviceBridge> m_bridge;
    QString m_connectId;
};
