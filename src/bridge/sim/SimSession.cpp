#include "bridge/api/DeviceSession.h"
#include "bridge/sim/SimBridge.h"
#include "platform/AtomicFile.h"
#include "bridge/sim/SimFiles.h"
#include "bridge/sim/SimStores.h"

#include "libs/log/Log.h"

#include <QStringList>

#include <condition_variable>

namespace vexa::sim {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

// Every Wi-Fi record handed out is this big; the program keeps it opaque.
constexpr int kWifiRecordSize = 144;
} // namespace

// ---- device info, summary, screenshots ---------------------------------------------------------

bool SimDeviceInfo::RefreshInfo() {
    Lock guard(m_link.m_lock);
    if (!m_link.Op()) {
        return false;
    }
    Stmt rows(m_link.m_db, "SELECT key, value FROM meta");
    std::map<QString, QString> values;
    while (rows.Step()) {
        values[rows.Text(0)] = rows.Text(1);
    }
    if (rows.Failed()) {
        return false;
    }
    m_values = std::move(values);
    m_read = true;
    return true;
}

QString SimDeviceInfo::Value(const char* key) {
    Lock guard(m_link.m_lock);
    if (!m_read) {
        RefreshInfo();
    }
    const auto it = m_values.find(QString::fromLatin1(key));
    return it == m_values.end() ? QString() : it->second;
}

void SimDeviceInfo::GetVersionPair(int* first, int* second) {
    *first = Value("version_first").toInt();
    *second = Value("version_second").toInt();
}

QString SimDeviceInfo::GetSimName(int sim) {
    return sim == 1 ? Value("sim1_name") : sim == 2 ? Value("sim2_name") : QString();
}

bool SimSummary::InitSummary() {
    Lock guard(m_link.m_lock);
    if (!m_link.Op()) {
        return false;
    }
    Stmt counts(m_link.m_db, "SELECT (SELECT COUNT(*) FROM contacts), (SELECT COUNT(*) FROM sms) + "
                             "(SELECT COUNT(*) FROM mms), (SELECT COUNT(*) FROM apps)");
    if (!counts.Step()) {
        return false;
    }
    m_contacts = static_cast<int>(counts.Int(0));
    m_messages = static_cast<int>(counts.Int(1));
    m_apps = static_cast<int>(counts.Int(2)) + 1; // the phone's own agent counts as an app
    return true;
}

SimScreenshotService::~SimScreenshotService() {
    StopCapture();
}

bool SimScreenshotService::NextFrame(QByteArray* frame) {
    Lock guard(m_link.m_lock);
    if (!m_link.Op()) {
        return false;
    }
    Stmt next(m_link.m_db, "SELECT id, data FROM screen_frames WHERE id>? ORDER BY id LIMIT 1");
    next.Bind(1, m_lastFrame);
    if (!next.Step()) {
        Stmt first(m_link.m_db, "SELECT id, data FROM screen_frames ORDER BY id LIMIT 1");
        if (!first.Step()) {
            return false;
        }
        m_lastFrame = first.Int(0);
        *frame = first.Blob(1);
        return true;
    }
    m_lastFrame = next.Int(0);
    *frame = next.Blob(1);
    return true;
}

void SimScreenshotService::Run(FrameCallback callback, bool once) {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_changed.wait(lock, [this] { return m_stop || !m_paused; });
            if (m_stop) {
                return;
            }
        }
        QByteArray frame;
        const bool ok = NextFrame(&frame);
        callback(!ok, frame);
        if (once || !ok) {
            return;
        }
        // No pause of our own: the callback returns once its frame is drawn, which paces the stream.
    }
}

bool SimScreenshotService::CaptureOnce(FrameCallback callback) {
    return Begin(std::move(callback), true);
}

bool SimScreenshotService::StartCapture(FrameCallback callback) {
    return Begin(std::move(callback), false);
}

bool SimScreenshotService::Begin(FrameCallback callback, bool once) {
    StopCapture();
    if (!callback || !m_link.Alive()) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_stop = false;
    m_paused = false;
    m_thread = std::thread([this, callback, once] { Run(callback, once); });
    return true;
}

void SimScreenshotService::StopCapture() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        m_thread.join();
    } else if (m_thread.joinable()) {
        m_thread.detach();
    }
}

void SimScreenshotService::PauseCapture() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_paused = true;
}

void SimScreenshotService::ResumeCapture() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_paused = false;
    }
    m_changed.notify_all();
}

// ---- the session -------------------------------------------------------------------------------

class SimSession final : public DeviceSession {
public:
    SimSession()
        : m_link(CurrentFaults()), m_contacts(m_link), m_sms(m_link), m_mms(m_link), m_calls(m_link), m_fs(m_link),
          m_apps(m_link, m_fs), m_pictures(m_link, m_fs), m_system(m_link), m_bookmarks(m_link), m_calendar(m_link),
          m_settings(m_link), m_alarms(m_link), m_info(m_link), m_summary(m_link), m_backup(m_info),
          m_screenshots(m_link) {}

    ~SimSession() override {
        m_screenshots.StopCapture();
        {
            std::lock_guard<std::mutex> lock(m_eventLock);
            m_stopEvents = true;
        }
        m_eventWake.notify_all();
        if (m_events.joinable()) {
            m_events.join();
        }
    }

    bool Open(const QString& serial) {
        QString error;
        Lock guard(m_link.m_lock);
        if (!IsValidSerial(serial) || !m_link.m_db.Open(PhoneFilePath(serial), &error)) {
            LOG_Error("[SimPhone] connect to %s failed: %s. %s:%d", qUtf8Printable(serial), qUtf8Printable(error),
                      LOG_HERE);
            return false;
        }
        if (m_link.m_db.Meta("attached") != QLatin1String("1")) {
            LOG_Error("[SimPhone] phone %s is not attached. %s:%d", qUtf8Printable(serial), LOG_HERE);
            m_link.m_db.Close();
            return false;
        }
        m_hasCallLog = m_link.m_db.Meta("version_first").toInt() > 1;
        // Only events raised from now on reach the program, as on a live link.
        Stmt last(m_link.m_db, "SELECT COALESCE(MAX(id), 0) FROM events");
        m_lastEvent = last.Step() ? last.Int(0) : 0;
        m_events = std::thread([this] { EventLoop(); });
        return true;
    }

    ContactBook* GetContactBook() override { return &m_contacts; }
    std::unique_ptr<ContactBook> OpenContactBook() override { return std::make_unique<SimContactBook>(m_link); }
    SmsStore* GetSmsStore() override { return &m_sms; }
    MmsStore* GetMmsStore() override { return &m_mms; }
    CalendarStore* GetCalendarStore() override { return &m_calendar; }
    DeviceInfo* GetDeviceInfo() override { return &m_info; }
    FileSystem* GetFileSystem() override { return &m_fs; }
    AppManager* GetAppManager() override { return &m_apps; }
    BookmarkStore* GetBookmarkStore() override { return &m_bookmarks; }
    SettingsStore* GetSettingsStore() override { return &m_settings; }
    BackupService* GetBackupService() override { return &m_backup; }
    DeviceSummary* GetSummary() override { return &m_summary; }
    ScreenshotService* GetScreenshotService() override { return &m_screenshots; }
    // Older agents cannot read the call log.
    CallRecordList* GetCallRecords() override { return m_hasCallLog ? &m_calls : nullptr; }
    PictureStore* GetPictureStore() override { return &m_pictures; }
    AlarmStore* GetAlarmStore() override { return &m_alarms; }
    SystemSettings* GetSystemSettings() override { return &m_system; }

    bool RebootToUpdate(bool fromMemoryCard) override {
        Lock guard(m_link.m_lock);
        if (!m_link.Op()) {
            return false;
        }
        const QString root = QString::fromLatin1(fromMemoryCard ? CARD_ROOT : PHONE_ROOT);
        const FileNode package = ResolvePath(m_link.m_db, root + QStringLiteral("/update.zip"));
        if (package.id < 0 || package.isDir || !m_link.Write() ||
            !m_link.m_db.SetMeta("pending_update", root + QStringLiteral("/update.zip")) ||
            !m_link.m_db.SetMeta("attached", QStringLiteral("0"))) {
            return false;
        }
        // The phone restarts into its updater and leaves the computer (attached 0 above) until it is
        // attached again, which runs the update (SetAttached).
        m_link.Disconnect();
        return true;
    }

    void SetEventCallback(int kind, PhoneEventCallback callback) override {
        std::lock_guard<std::mutex> lock(m_eventLock);
        if (kind == PHONE_EVENT_CALL) {
            m_onCall = std::move(callback);
        } else if (kind == PHONE_EVENT_MESSAGE) {
            m_onMessage = std::move(callback);
        }
    }

    void SetOrientationCallback(OrientationCallback callback, void* context) override {
        std::lock_guard<std::mutex> lock(m_eventLock);
        m_onOrientation = std::move(callback);
        m_orientationContext = context;
    }

    bool IsConnected() override { return m_link.Alive(); }
    void Disconnect() override { m_link.Disconnect(); }

    void SetPhoneRequestCallback(PhoneRequestCallback callback) override {
        std::lock_guard<std::mutex> lock(m_eventLock);
        m_onRequest = std::move(callback);
    }

    int GetStatNumber() override { return m_info.GetStatNumber(); }

    bool GetPhoneProjectNum(QString* project) override {
        const QString value = m_info.Value("project");
        if (value.isEmpty() || !m_link.Alive()) {
            return false;
        }
        *project = value;
        return true;
    }

private:
    struct PendingEvent {
        std::int64_t id;
        int kind;
        int state;
        QString text;
    };

    std::vector<PendingEvent> TakeEvents() {
        std::vector<PendingEvent> events;
        Lock guard(m_link.m_lock);
        if (!m_link.Alive()) {
            return events;
        }
        Stmt rows(m_link.m_db, "SELECT id, kind, state, text FROM events WHERE id>? ORDER BY id");
        rows.Bind(1, m_lastEvent);
        while (rows.Step()) {
            events.push_back(
                PendingEvent{rows.Int(0), static_cast<int>(rows.Int(1)), static_cast<int>(rows.Int(2)), rows.Text(3)});
        }
        if (!events.empty()) {
            m_lastEvent = events.back().id;
            Stmt mark(m_link.m_db, "UPDATE events SET delivered=1 WHERE id<=?");
            mark.Bind(1, m_lastEvent).Run();
        }
        return events;
    }

    void Deliver(const PendingEvent& event) {
        std::unique_lock<std::mutex> lock(m_eventLock);
        switch (event.kind) {
        case 1:
            if (auto callback = m_onCall) {
                lock.unlock();
                callback(event.state, event.text);
            }
            break;
        case 2: {
            m_sms.Invalidate();
            if (auto callback = m_onMessage) {
                lock.unlock();
                callback(event.state, event.text);
            }
            break;
        }
        case 3:
            if (auto callback = m_onOrientation) {
                void* context = m_orientationContext;
                lock.unlock();
                const bool valid = event.text.size() == 1 && event.text.at(0) >= u'0' && event.text.at(0) <= u'3';
                callback(context, event.text, valid);
            }
            break;
        case 4:
            if (auto callback = m_onRequest) {
                lock.unlock();
                const int answer = callback(event.text);
                Lock guard(m_link.m_lock);
                Stmt store(m_link.m_db, "UPDATE events SET state=? WHERE id=?");
                store.Bind(1, answer).Bind(2, event.id).Run();
            }
            break;
        default:
            break;
        }
    }

    void EventLoop() {
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(m_eventLock);
                if (m_eventWake.wait_for(lock, std::chrono::milliseconds(250), [this] { return m_stopEvents; })) {
                    return;
                }
            }
            for (const PendingEvent& event : TakeEvents()) {
                Deliver(event);
            }
        }
    }

    SimLink m_link;
    SimContactBook m_contacts;
    SimSmsStore m_sms;
    SimMmsStore m_mms;
    SimCallRecords m_calls;
    SimFileSystem m_fs;
    SimAppManager m_apps;
    SimPictureStore m_pictures;
    SimSystemSettings m_system;
    SimBookmarkStore m_bookmarks;
    SimCalendarStore m_calendar;
    SimSettingsStore m_settings;
    SimAlarmStore m_alarms;
    SimDeviceInfo m_info;
    SimSummary m_summary;
    SimBackupService m_backup;
    SimScreenshotService m_screenshots;

    bool m_hasCallLog = false;
    std::mutex m_eventLock;
    std::condition_variable m_eventWake;
    bool m_stopEvents = false;
    std::thread m_events;
    std::int64_t m_lastEvent = 0;
    PhoneEventCallback m_onCall, m_onMessage;
    OrientationCallback m_onOrientation;
    void* m_orientationContext = nullptr;
    PhoneRequestCallback m_onRequest;
};

// ---- the bridge --------------------------------------------------------------------------------

class SimBridge final : public DeviceBridge {
public:
    ~SimBridge() override { CloseSession(); }

    bool IsSimulated() const override { return true; }

    bool GetDeviceList(DeviceRecord* records, int* count) override {
        if (!records || !count) {
            return false;
        }
        int n = 0;
        QStringList problems;
        for (const PhoneSummary& phone : ListPhones(&problems)) {
            if (!phone.attached || n >= 32) {
                continue;
            }
            records[n].SetBrand(phone.brand);
            records[n].SetModel(phone.model);
            records[n].SetSerial(phone.serial);
            ++n;
        }
        *count = n;
        NoteUnreadable(problems);
        return true;
    }

    // A phone file that cannot be read stands for a phone whose data cannot be read: its name is
    // the file's, which is the phone's serial.
    void NoteUnreadable(const QStringList& problems) {
        QStringList unreadable;
        for (const QString& problem : problems) {
            unreadable << problem.section(QStringLiteral(".vexaphone: "), 0, 0);
        }
        std::lock_guard<std::mutex> guard(m_lock);
        m_unreadable = unreadable;
    }

    QStringList UnreadablePhones() override {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_unreadable;
    }

    int ConnectUsbDevice(const QString& serial) override {
        CloseSession();
        auto session = std::make_unique<SimSession>();
        if (!session->Open(serial)) {
            return 0;
        }
        std::lock_guard<std::mutex> guard(m_lock);
        m_session = std::move(session);
        m_wifi = false;
        return 1;
    }

    void CloseSession() override {
        std::unique_ptr<SimSession> session;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            session = std::move(m_session);
            m_wifi = false;
        }
    }

    DeviceSession* GetSession() override {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_session.get();
    }

    bool ConnectWifi(void* records, int* count, const QString& code, int* rejected) override {
        const int capacity = count ? *count : 0;
        if (count) {
            *count = 0;
        }
        if (rejected) {
            *rejected = 0;
        }
        if (code.trimmed().isEmpty()) {
            return false;
        }
        // A phone answers when the code is the one its screen shows (its "wifi_code").
        for (const PhoneSummary& phone : ListPhones()) {
            SimDb db;
            QString error;
            if (!db.Open(phone.path, &error) || db.Meta("wifi_code") != code.trimmed()) {
                continue;
            }
            if (phone.brand.compare(QLatin1String("vexa"), Qt::CaseInsensitive) != 0) {
                if (count) {
                    *count = 1;
                }
                if (rejected) {
                    *rejected = 1;
                }
                return false;
            }
            db.Close();
            if (!ConnectUsbDevice(phone.serial)) {
                return false;
            }
            if (records && capacity > 0) {
                auto* record = static_cast<char16_t*>(records);
                std::fill(record, record + kWifiRecordSize / 2, u'\0');
                DeviceRecord::SetField(*reinterpret_cast<char16_t(*)[64]>(record), phone.serial);
            }
            if (count) {
                *count = 1;
            }
            std::lock_guard<std::mutex> guard(m_lock);
            m_wifi = true;
            return true;
        }
        return false;
    }

    bool IsWifiConnection() override {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_wifi;
    }

    int GetAllDeviceSerialNo(char16_t** serials, int* count) override {
        if (!serials || !count) {
            return 0;
        }
        QStringList list;
        QStringList problems;
        for (const PhoneSummary& phone : ListPhones(&problems)) {
            if (phone.attached) {
                list.append(phone.serial);
            }
        }
        NoteUnreadable(problems);
        *serials = MakeSerialBuffer(list);
        *count = static_cast<int>(list.size());
        return 1;
    }

    int ReadDeviceBrandAndModel(DeviceRecord* record) override {
        if (!record || record->IsFree() || !IsValidSerial(record->Serial())) {
            return 0;
        }
        SimDb db;
        QString error;
        if (!db.Open(PhoneFilePath(record->Serial()), &error)) {
            LOG_Error("[SimPhone] cannot read phone %s: %s. %s:%d", qUtf8Printable(record->Serial()),
                      qUtf8Printable(error), LOG_HERE);
            return 0;
        }
        record->SetBrand(db.Meta("brand"));
        record->SetModel(db.Meta("model"));
        return 1;
    }

private:
    std::mutex m_lock;
    std::unique_ptr<SimSession> m_session;
    bool m_wifi = false;
    QStringList m_unreadable; // from the last device list
};

std::unique_ptr<DeviceBridge> CreateSimBridge() {
    return std::make_unique<SimBridge>();
}

void UseSimulatedPhones() {
    // The phones' files are never an export's target, whatever path a user types.
    ProtectFromWriters(SimFolder());
    SetBridgeFactory([] { return CreateSimBridge(); });
}

} // namespace vexa::sim
