#include "bridge/adb/AdbBridge.h"

#include "bridge/adb/AdbAppManager.h"
#include "bridge/adb/AdbCallRecords.h"
#include "bridge/adb/AdbContactBook.h"
#include "bridge/adb/AdbFileSystem.h"
#include "bridge/adb/AdbLink.h"
#include "bridge/adb/AdbMmsStore.h"
#include "bridge/adb/AdbPictureStore.h"
#include "bridge/adb/AdbScreenshots.h"
#include "bridge/adb/AdbSmsStore.h"
#include "bridge/adb/protocol/AdbParsers.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"

#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"

#include <QRegularExpression>
#include <QStringList>

#include <cstring>
#include <future>
#include <map>
#include <set>
#include <thread>

namespace vexa::adbphone {

namespace {

constexpr int kWifiRecordSize = 144;

// Rows "Row: N ..." of a content query; -1 when the phone refused the query.
int CountContentRows(CAdbLink& link, const char* uri) {
    std::string output;
    int status = -1;
    if (!link.ShellStatus(std::string("content query --uri ") + uri + " --projection _id", output, status) ||
        status != 0) {
        LOG_Error("[AdbSession] content query %s refused: %s. %s:%d", uri, output.c_str(), LOG_HERE);
        return -1;
    }
    if (output.find("No result found.") != std::string::npos) {
        return 0;
    }
    const std::vector<adb::ContentRow> rows = adb::ParseContentQuery(output, {QStringLiteral("_id")});
    return rows.empty() ? -1 : static_cast<int>(rows.size());
}

class CAdbDeviceInfo final : public DeviceInfo {
public:
    explicit CAdbDeviceInfo(CAdbLink& link) : m_link(link) {}

    bool RefreshInfo() override {
        std::string output;
        if (!m_link.Shell("getprop", output, CAdbLink::kCallTimeoutMs, CAdbLink::kMaxPropertyListOutput)) {
            return false;
        }
        QMap<QString, QString> props = adb::ParseGetprop(output);
        std::string size;
        if (m_link.Shell("wm size", size)) {
            // "Physical size: 1080x2340" (and an "Override size" line when one is set).
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("Physical size: (\\d+)x(\\d+)")).match(QString::fromUtf8(size));
            if (m.hasMatch()) {
                props[QStringLiteral(":width")] = m.captured(1);
                props[QStringLiteral(":height")] = m.captured(2);
            }
        }
        const bool known = !props.value(QStringLiteral("ro.product.model")).isEmpty();
        std::lock_guard guard(m_lock);
        m_props = std::move(props);
        return known;
    }
    QString GetBrand() override { return Prop("ro.product.brand"); }
    QString GetModel() override { return Prop("ro.product.model"); }
    QString GetSerial() override {
        const QString serial = Prop("ro.serialno");
        return serial.isEmpty() ? QString::fromStdString(m_link.Serial()) : serial;
    }
    QString GetFirmwareVersion() override { return Prop("ro.build.display.id"); }
    QString GetInfoField11() override { return GetSerial(); }
    // No agent runs on the phone; the second number 0 says so. Pictures come from the files.
    void GetVersionPair(int* first, int* second) override {
        *first = 2;
        *second = 0;
    }
    int GetStatNumber() override { return static_cast<int>(qHash(GetSerial()) % 90000 + 10000); }
    QString GetOsVersion() override { return Prop("ro.build.version.release"); }
    bool IsDualSim() override {
        const QString config = Prop("persist.radio.multisim.config");
        return config == QLatin1String("dsds") || config == QLatin1String("dsda");
    }
    int GetSimState() override {
        const QStringList states = Prop("gsm.sim.state").split(u',');
        int state = 0;
        for (int i = 0; i < std::min<int>(2, static_cast<int>(states.size())); ++i) {
            if (states.at(i).trimmed() == QLatin1String("READY") || states.at(i).trimmed() == QLatin1String("LOADED")) {
                state |= 1 << i;
            }
        }
        return state;
    }
    QString GetSimName(int sim) override {
        const QStringList names = Prop("gsm.sim.operator.alpha").split(u',');
        return sim >= 1 && sim <= names.size() && (GetSimState() & (1 << (sim - 1))) ? names.at(sim - 1).trimmed()
                                                                                      : QString();
    }
    std::uint16_t GetScreenWidth() override { return static_cast<std::uint16_t>(Prop(":width").toUInt()); }
    std::uint16_t GetScreenHeight() override { return static_cast<std::uint16_t>(Prop(":height").toUInt()); }
    std::uint8_t GetStoreFlag() override { return 0; }

    QString Prop(const char* key) {
        std::lock_guard guard(m_lock);
        return m_props.value(QString::fromLatin1(key));
    }

private:
    CAdbLink& m_link;
    std::mutex m_lock;
    QMap<QString, QString> m_props;
};

class CAdbSummary final : public DeviceSummary {
public:
    explicit CAdbSummary(CAdbLink& link) : m_link(link) {}
    bool InitSummary() override {
        // Each count starts a Java tool on the phone (a quarter of a second on a mid-range one);
        // asked together on streams of their own they run side by side on its cores.
        auto contacts = std::async(std::launch::async, [this] {
            return CountContentRows(m_link, "content://com.android.contacts/raw_contacts");
        });
        auto messages = std::async(std::launch::async, [this] { return CountContentRows(m_link, "content://sms"); });
        std::string packages;
        const bool listed = m_link.Shell("pm list packages", packages);
        // A phone that refuses the providers to the shell user shows no counts rather than false ones.
        const int contactRows = contacts.get();
        const int messageRows = messages.get();
        if (!listed) {
            return false;
        }
        m_apps = static_cast<int>(adb::ParsePackageList(packages).size());
        m_contacts = std::max(0, contactRows);
        m_messages = std::max(0, messageRows);
        return true;
    }
    int GetContactCount() override { return m_contacts; }
    int GetMessageCount() override { return m_messages; }
    int GetAppCount() override { return m_apps; }
    int GetAgentAppCount() override { return 0; } // adb needs nothing installed on the phone

private:
    CAdbLink& m_link;
    int m_contacts = 0, m_messages = 0, m_apps = 0;
};

class CAdbBackupService final : public BackupService {
public:
    bool IsBackupTimeHidden() override { return false; }
    bool CheckService() override { return true; }
};

class CAdbSession final : public DeviceSession {
public:
    CAdbSession(std::uint16_t port, const std::string& serial)
        : m_link(port, serial), m_info(m_link), m_summary(m_link), m_files(m_link), m_screens(m_link), m_sms(m_link), m_mms(m_link),
          m_apps(m_link), m_calls(m_link), m_contacts(m_link, m_files), m_pictures(m_link, m_files) {}

    // Stores a plain phone does not open to adb are missing, not imitated.
    ContactBook* GetContactBook() override { return &m_contacts; }
    std::unique_ptr<ContactBook> OpenContactBook() override {
        return std::make_unique<CAdbContactBook>(m_link, m_files);
    }
    SmsStore* GetSmsStore() override { return &m_sms; }
    MmsStore* GetMmsStore() override { return &m_mms; }
    CalendarStore* GetCalendarStore() override { return Missing("memos"); }
    DeviceInfo* GetDeviceInfo() override { return &m_info; }
    FileSystem* GetFileSystem() override { return &m_files; }
    AppManager* GetAppManager() override { return &m_apps; }
    BookmarkStore* GetBookmarkStore() override { return Missing("bookmarks"); }
    SettingsStore* GetSettingsStore() override { return Missing("settings"); }
    BackupService* GetBackupService() override { return &m_backup; }
    DeviceSummary* GetSummary() override { return &m_summary; }
    ScreenshotService* GetScreenshotService() override { return &m_screens; }
    // Phones that keep the call log provider from the shell user fail its calls with the reason.
    CallRecordList* GetCallRecords() override { return &m_calls; }
    PictureStore* GetPictureStore() override { return &m_pictures; }
    AlarmStore* GetAlarmStore() override { return Missing("alarms"); }
    SystemSettings* GetSystemSettings() override { return Missing("system settings"); }

    bool CanRebootToUpdate() override { return false; }
    bool RebootToUpdate(bool fromMemoryCard) override {
        (void)fromMemoryCard;
        LOG_Error("[AdbSession] installing an update package needs the maker's agent; not over plain adb. %s:%d",
                  LOG_HERE);
        return false;
    }
    // A plain phone sends no call or message events to adb; the callbacks are kept but never run.
    void SetEventCallback(int kind, PhoneEventCallback callback) override {
        std::lock_guard guard(m_lock);
        m_events[kind] = std::move(callback);
    }
    void SetOrientationCallback(OrientationCallback callback, void* context) override {
        (void)callback;
        (void)context;
    }
    bool IsConnected() override { return m_link.Alive(); }
    void Disconnect() override {
        m_sms.RestoreWriteOp();
        m_link.Disconnect();
        m_screens.StopCapture();
    }
    void SetPhoneRequestCallback(PhoneRequestCallback callback) override { (void)callback; }
    int GetStatNumber() override { return m_info.GetStatNumber(); }
    bool GetPhoneProjectNum(QString* project) override {
        *project = m_info.Prop("ro.product.device");
        return !project->isEmpty();
    }

private:
    std::nullptr_t Missing(const char* what) {
        std::lock_guard guard(m_lock);
        if (m_reported.insert(what).second) {
            LOG_Info("[AdbSession] %s: not reachable through adb on %s. %s:%d", what, m_link.Serial().c_str(), LOG_HERE);
        }
        return nullptr;
    }

    CAdbLink m_link;
    CAdbDeviceInfo m_info;
    CAdbSummary m_summary;
    CAdbFileSystem m_files;
    CAdbScreenshotService m_screens;
    CAdbBackupService m_backup;
    CAdbSmsStore m_sms;
    CAdbMmsStore m_mms;
    CAdbAppManager m_apps;
    CAdbCallRecords m_calls;
    CAdbContactBook m_contacts;
    CAdbPictureStore m_pictures;
    std::mutex m_lock;
    std::set<std::string> m_reported;
    std::map<int, PhoneEventCallback> m_events;
};

class CAdbBridge final : public DeviceBridge {
public:
    explicit CAdbBridge(std::uint16_t port) : m_port(port) {}
    ~CAdbBridge() override { CloseSession(); }

    bool GetDeviceList(DeviceRecord* records, int* count) override {
        std::vector<Phone> phones;
        if (!ReadyPhones(phones)) {
            return false;
        }
        const int room = *count > 0 ? std::min(*count, 32) : 32;
        int n = 0;
        for (const Phone& phone : phones) {
            if (n >= room) {
                break;
            }
            DeviceRecord record;
            record.SetSerial(phone.serial);
            // A phone that stopped answering between the listing and the question is left out.
            if (ReadBrandAndModel(phone.adbSerial, &record)) {
                records[n++] = record;
            }
        }
        *count = n;
        return true;
    }

    int ConnectUsbDevice(const QString& serial) override {
        CloseSession();
        const QString adbSerial = AdbSerialOf(serial);
        if (adbSerial.isEmpty()) {
            LOG_Error("[AdbBridge] %s is not attached and ready. %s:%d", qUtf8Printable(serial), LOG_HERE);
            return 0;
        }
        auto session = std::make_unique<CAdbSession>(m_port, adbSerial.toStdString());
        std::lock_guard guard(m_lock);
        m_session = std::move(session);
        m_wifi = false;
        return 1;
    }

    void CloseSession() override {
        std::unique_ptr<CAdbSession> session;
        {
            std::lock_guard guard(m_lock);
            session = std::move(m_session);
            m_wifi = false;
        }
        if (session) {
            session->Disconnect();
        }
    }

    DeviceSession* GetSession() override {
        std::lock_guard guard(m_lock);
        return m_session.get();
    }

    bool ConnectWifi(void* records, int* count, const QString& code, int* rejected) override {
        const int room = *count;
        *count = 0;
        *rejected = 0;
        std::string hostPort, pairingCode;
        if (!ParseWifiTarget(code, hostPort, pairingCode)) {
            LOG_Error("[AdbBridge] \"%s\" is no pairing target HOST:PORT [CODE]. %s:%d", qUtf8Printable(code),
                      LOG_HERE);
            return false;
        }
        adb::CAdbHostClient client(m_port);
        std::string reply;
        if (!pairingCode.empty()) {
            if (const adb::AdbStatus status = client.Pair(hostPort, pairingCode, reply); !status) {
                LOG_Error("[AdbBridge] pairing with %s failed: %s. %s:%d", hostPort.c_str(), status.message.c_str(),
                          LOG_HERE);
                return false;
            }
        }
        if (const adb::AdbStatus status = client.ConnectDevice(hostPort, reply); !status) {
            LOG_Error("[AdbBridge] connecting %s failed: %s. %s:%d", hostPort.c_str(), status.message.c_str(), LOG_HERE);
            return false;
        }
        const QString serial = QString::fromStdString(hostPort);
        QStringList serials;
        for (int i = 0; i < 50 && (!ListReadySerials(m_port, serials) || !serials.contains(serial)); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        DeviceRecord record;
        record.SetSerial(PhoneSerialOf(serial));
        if (!serials.contains(serial) || !ReadBrandAndModel(serial, &record)) {
            LOG_Error("[AdbBridge] %s did not come online. %s:%d", hostPort.c_str(), LOG_HERE);
            return false;
        }
        if (room > 0 && records != nullptr) {
            auto* out = static_cast<char*>(records);
            std::memset(out, 0, kWifiRecordSize);
            std::memcpy(out, &record, std::min<std::size_t>(sizeof record, kWifiRecordSize));
        }
        *count = 1;
        if (!AcceptedBrand(record.Brand())) {
            LOG_Error("[AdbBridge] %s is a %s phone, not accepted. %s:%d", hostPort.c_str(),
                      qUtf8Printable(record.Brand()), LOG_HERE);
            client.DisconnectDevice(hostPort, reply);
            *rejected = 1;
            return false;
        }
        if (ConnectUsbDevice(serial) == 0) {
            *count = 0;
            return false;
        }
        std::lock_guard guard(m_lock);
        m_wifi = true;
        return true;
    }

    bool IsWifiConnection() override {
        std::lock_guard guard(m_lock);
        return m_session != nullptr && m_wifi;
    }

    int GetAllDeviceSerialNo(char16_t** serials, int* count) override {
        std::vector<Phone> phones;
        if (!ReadyPhones(phones)) {
            return 0;
        }
        QStringList list;
        for (const Phone& phone : phones) {
            list << phone.serial;
        }
        *serials = MakeSerialBuffer(list);
        *count = static_cast<int>(list.size());
        return 1;
    }

    int ReadDeviceBrandAndModel(DeviceRecord* record) override {
        const QString adbSerial = AdbSerialOf(record->Serial());
        return !adbSerial.isEmpty() && ReadBrandAndModel(adbSerial, record) ? 1 : 0;
    }

private:
    // A phone is known by its own serial (ro.serialno), the same over USB and over the network,
    // where adb names it by its address instead.
    struct Phone {
        QString adbSerial;
        QString serial;
    };

    bool ReadyPhones(std::vector<Phone>& phones) {
        QStringList adbSerials;
        if (!ListReadySerials(m_port, adbSerials)) {
            return false;
        }
        for (const QString& adbSerial : adbSerials) {
            phones.push_back({adbSerial, PhoneSerialOf(adbSerial)});
        }
        // Some phones share a made-up serial ("0123456789ABCDEF"); those keep adb's names.
        std::map<QString, int> uses;
        for (const Phone& phone : phones) {
            ++uses[phone.serial];
        }
        for (Phone& phone : phones) {
            if (uses[phone.serial] > 1) {
                phone.serial = phone.adbSerial;
            }
        }
        std::lock_guard guard(m_lock);
        std::erase_if(m_serials, [&adbSerials](const auto& entry) { return !adbSerials.contains(entry.first); });
        return true;
    }

    // Asked once per attachment; a phone that does not say keeps adb's name.
    QString PhoneSerialOf(const QString& adbSerial) {
        {
            std::lock_guard guard(m_lock);
            if (const auto it = m_serials.find(adbSerial); it != m_serials.end()) {
                return it->second;
            }
        }
        QString serial;
        if (!ReadProperty(m_port, adbSerial.toStdString(), "ro.serialno", serial)) {
            return adbSerial; // not cached: asked again next time
        }
        if (serial.isEmpty()) {
            serial = adbSerial;
        }
        std::lock_guard guard(m_lock);
        m_serials[adbSerial] = serial;
        return serial;
    }

    // The adb name of a ready phone given by its own serial or by adb's name; empty when none.
    QString AdbSerialOf(const QString& serial) {
        std::vector<Phone> phones;
        if (serial.isEmpty() || !ReadyPhones(phones)) {
            return {};
        }
        for (const Phone& phone : phones) {
            if (phone.serial == serial || phone.adbSerial == serial) {
                return phone.adbSerial;
            }
        }
        return {};
    }

    bool ReadBrandAndModel(const QString& adbSerial, DeviceRecord* record) {
        QString brand, model;
        if (!ReadProperty(m_port, adbSerial.toStdString(), "ro.product.brand", brand) ||
            !ReadProperty(m_port, adbSerial.toStdString(), "ro.product.model", model)) {
            return false;
        }
        record->SetBrand(brand);
        record->SetModel(model);
        return true;
    }

    // The program filters brands itself; over Wi-Fi the bridge must answer "rejected" at once.
    static bool AcceptedBrand(const QString& brand);

    std::uint16_t m_port;
    std::mutex m_lock;
    std::unique_ptr<CAdbSession> m_session;
    bool m_wifi = false;
    std::map<QString, QString> m_serials; // adb's name -> the phone's serial
};

bool CAdbBridge::AcceptedBrand(const QString& brand) {
    return brand.compare(QLatin1String("vexa"), Qt::CaseInsensitive) == 0 || PCL_GetAcceptOtherBrands();
}

} // namespace

bool ParseWifiTarget(const QString& text, std::string& hostPort, std::string& pairingCode) {
    const QStringList words = text.simplified().split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty() || words.size() > 2) {
        return false;
    }
    if (words.size() == 2) {
        return adb::CAdbHostClient::ParsePairingInput(text.simplified().toStdString(), hostPort, pairingCode);
    }
    // "HOST:PORT" alone: the same check of the address, with a dummy code.
    std::string code;
    if (!adb::CAdbHostClient::ParsePairingInput(words.front().toStdString() + " 000000", hostPort, code)) {
        return false;
    }
    pairingCode.clear();
    return true;
}

std::unique_ptr<DeviceBridge> CreateAdbBridge(std::uint16_t port) {
    return std::make_unique<CAdbBridge>(port);
}

void UseRealPhones(std::uint16_t port) {
    SetBridgeFactory([port] { return CreateAdbBridge(port); });
}

} // namespace vexa::adbphone
