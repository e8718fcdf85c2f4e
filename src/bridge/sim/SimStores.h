#pragma once
// The simulated phone's stores: each implements one api interface over the phone file. Internal to
// the simulator; every method takes the link's lock first.

#include "bridge/api/AppManager.h"
#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/ContactBookMemory.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/MessageStores.h"
#include "bridge/api/PictureStore.h"
#include "bridge/api/ScreenshotService.h"
#include "bridge/api/SmallStores.h"
#include "bridge/sim/SimLink.h"

#include <atomic>
#include <QHash>

#include <condition_variable>
#include <map>
#include <memory>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace vexa::sim {

class SimContactBook final : public ContactBookMemory {
public:
    explicit SimContactBook(SimLink& link) : ContactBookMemory(link.m_lock), m_link(link) {}
    Contact* NewContact() override { return new Contact(); }
    Group* NewGroup() override { return new Group(); }
    void ResetContacts() override;
    int LoadContacts() override;
    bool LoadContactDetail(Contact* contact) override;
    bool IsContactsLoaded() override;
    bool DeleteContact(Contact* contact) override;
    bool DeleteGroup(Group* group) override;
    bool CreateGroup(Group* group) override;
    bool CreateContact(Contact* contact) override;
    bool UpdateGroup(Group* group) override;
    bool UpdateContact(Contact* contact) override;
    bool AddContactToGroup(Group* group, Contact* contact, int flag) override;
    bool RemoveContactFromGroup(Group* group, Contact* contact, int flag) override;
    QByteArray GetContactPhoto(Contact* contact) override;
    bool SetContactPhoto(Contact* contact, const QByteArray& image) override;
    bool DeleteContactPhoto(Contact* contact) override;
    QString GetContactRingtone(Contact* contact) override;
    bool SetContactRingtone(Contact* contact, const QString& phonePath) override;
    bool ListRingtones(QStringList* phonePaths) override;
    bool UploadRingtone(const QString& localPath, QString* phonePath) override;
    bool PrepareRestore() override;

private:
    bool WriteContact(Contact* contact, bool isNew);
    bool WriteMembership(Contact* contact);

    SimLink& m_link;
    std::atomic<bool> m_loaded{false}; // read without the link lock, so asking never waits for a transfer
};

class SimSmsStore final : public SmsStore {
public:
    explicit SimSmsStore(SimLink& link) : m_link(link) {}
    int LoadSms() override;
    bool IsSmsLoaded() override;
    bool ListSms(std::vector<MSGINFO>* list) override;
    bool ListDraftSms(std::vector<MSGINFO>* list) override;
    bool ListAllSms(std::vector<Sms>* list) override;
    bool DeleteSms(std::int64_t id) override;
    bool DeleteSmsBatch(const std::vector<std::int64_t>& ids) override;
    bool SearchSms(const QString& keyword, std::vector<MSGINFO>* list) override;
    Sms* NewSms() override;
    Sms* GetSmsById(std::int64_t id) override;
    bool AddSms(Sms* sms) override;
    bool UpdateSms(Sms* sms) override;
    bool SendSms(Sms* sms) override;
    bool AddSmsBatch(const std::vector<Sms*>& batch) override;
    bool PrepareRestore() override;
    // An SMS that arrived while loaded (the event thread tells).
    void Invalidate();

private:
    bool EnsureLoaded();
    bool Insert(Sms* sms);
    bool List(std::vector<MSGINFO>* list, bool drafts);

    SimLink& m_link;
    std::atomic<bool> m_loaded{false}; // read without the link lock, so asking never waits for a transfer
    std::vector<Sms> m_sms;
};

class SimMmsStore final : public MmsStore {
public:
    explicit SimMmsStore(SimLink& link) : m_link(link) {}
    int LoadMms() override;
    bool IsMmsLoaded() override;
    bool ListMms(std::vector<MSGINFO>* list) override;
    bool ListDraftMms(std::vector<MSGINFO>* list) override;
    bool DeleteMms(std::int64_t id) override;
    bool SearchMms(const QString& keyword, std::vector<MSGINFO>* list) override;
    Mms* NewMms() override { return new Mms(); }
    Mms* GetMmsById(std::int64_t id) override;
    bool SendOrSaveMms(Mms* mms) override;

private:
    bool List(std::vector<MSGINFO>* list, int mode, const QString& keyword);
    SimLink& m_link;
    std::atomic<bool> m_loaded{false}; // read without the link lock, so asking never waits for a transfer
};

class SimCallRecords final : public CallRecordList {
public:
    explicit SimCallRecords(SimLink& link) : m_link(link) {}
    void ResetCallRecords() override;
    int LoadCallRecords() override;
    bool IsCallRecordsLoaded() override;
    int GetCallRecordCount() override;
    CallRecord* GetCallRecordAt(int index) override;
    bool DeleteCallRecords(const std::vector<CallRecord*>& records) override;
    CallRecord* NewCallRecord() override { return new CallRecord(); }
    bool AddCallRecord(CallRecord* record) override;
    bool PrepareRestore() override;
    bool ReadAllCallRecords(std::vector<CallRecord>* list) override;

private:
    int ReadRows(std::vector<CallRecord>& out); // 0 failed, 1 read, 2 link gone
    SimLink& m_link;
    std::atomic<bool> m_loaded{false}; // read without the link lock, so asking never waits for a transfer
    std::vector<std::unique_ptr<CallRecord>> m_records;
};

class SimFileSystem final : public FileSystem {
public:
    explicit SimFileSystem(SimLink& link) : m_link(link) {}
    bool RefreshStorageInfo() override;
    bool HasPhoneStorage() override;
    std::uint64_t GetPhoneTotalSpace() override;
    std::uint64_t GetPhoneFreeSpace() override;
    void GetPhoneCategorySizes(std::uint64_t sizes[5]) override;
    bool HasSdCard() override;
    std::uint64_t GetSdCardTotalSpace() override;
    std::uint64_t GetSdCardFreeSpace() override;
    void GetSdCardCategorySizes(std::uint64_t sizes[4]) override;
    QString GetPhoneStorageRoot() override;
    QString GetSdCardRoot() override;
    RemovalCheck CheckRemovable(const QString& path) override;
    bool DeletePath(const QString& path) override;
    bool CreateFolder(const QString& path) override;
    bool ListFolder(const QString& path, const QString& filter) override;
    int GetEntryCount() override;
    FsEntry* GetEntry(int index) override;
    bool PathExists(const QString& path) override;
    bool RenamePath(const QString& path, const QString& newName) override;
    bool CopyPath(const QString& path, const QString& target) override;
    bool MovePath(const QString& path, const QString& target) override;
    bool PutFile(const QString& localPath, const QString& phonePath, TransferProgress progress, void* context) override;
    bool TransferFile(const QString& phonePath, const QString& localPath, TransferProgress progress,
                      void* context) override;
    bool UploadFile(const QString& localPath, const QString& phonePath, TransferProgress progress,
                    void* context) override;

    // A path as the phone file keeps it: the storage's other names and the card's volume path
    // spelt as PHONE_ROOT and CARD_ROOT; empty when it is no clean absolute path (lock held).
    QString Canonical(const QString& path);
    // Shared with the picture store and the app manager (lock held by the caller).
    bool DownloadNode(std::int64_t id, const QString& localPath, TransferProgress progress, void* context);
    // systemArea allows paths outside the storage roots (installed packages).
    std::int64_t UploadToPath(const QString& localPath, const QString& phonePath, TransferProgress progress,
                              void* context, bool systemArea = false);

private:
    bool Ensure();
    // "/storage/<volume id>" while the phone has a card, else empty (lock held).
    QString CardVolume();
    SimLink& m_link;
    bool m_refreshed = false;
    bool m_hasCard = false;
    std::uint64_t m_phoneTotal = 0, m_phoneFree = 0, m_cardTotal = 0, m_cardFree = 0;
    std::uint64_t m_phoneSizes[5] = {}, m_cardSizes[4] = {};
    std::vector<FsEntry> m_entries;
};

class SimAppManager final : public AppManager {
public:
    SimAppManager(SimLink& link, SimFileSystem& fs) : m_link(link), m_fs(fs) {}
    int LoadApps() override;
    bool IsAppsLoaded() override;
    int GetAppCount() override;
    AppRecord* GetAppAt(int index) override;
    bool UninstallApp(AppRecord* record) override;
    AppRecord* NewApp() override { return new AppRecord(); }
    bool InstallApk(const QString& path, AppRecord* record, InstallProgress progress, void* context) override;
    bool ReloadApp(AppRecord* record) override;
    bool FetchPackage(AppRecord* record, const QString& localPath, TransferProgress progress, void* context) override;

private:
    SimLink& m_link;
    SimFileSystem& m_fs;
    std::atomic<bool> m_loaded{false}; // read without the link lock, so asking never waits for a transfer
    std::vector<std::unique_ptr<AppRecord>> m_apps;
};

class SimPictureStore final : public PictureStore {
public:
    SimPictureStore(SimLink& link, SimFileSystem& fs) : m_link(link), m_fs(fs) {}
    int LoadPictures() override;
    bool IsPicturesLoaded() override;
    int GetAlbumCount() override;
    QString GetAlbumName(int album) override;
    QString GetAlbumPath(int album) override;
    int GetPictureCount(int album) override;
    Picture* GetPictureAt(int album, int index) override;
    bool GetAlbumSummary(int album, QString* summary) override;
    bool DownloadPicture(const QString& phonePath, const QString& localPath, TransferProgress progress,
                         void* context) override;
    bool CreateAlbum(const QString& root, const QString& name) override;
    bool ImportPicture(int album, const QString& localPath, bool replace, QString* phonePath) override;
    bool DeletePicture(const QString& phonePath) override;
    bool RenamePicture(const QString& phonePath, const QString& newName) override;
    bool PictureExists(int album, const QString& name) override;

private:
    struct Album {
        QString path;
        std::vector<std::unique_ptr<Picture>> pictures;
    };
    bool EnsureLoaded();
    SimLink& m_link;
    SimFileSystem& m_fs;
    std::atomic<bool> m_loaded{false}; // read without the link lock, so asking never waits for a transfer
    std::vector<Album> m_albums;
};

class SimSystemSettings final : public SystemSettings {
public:
    explicit SimSystemSettings(SimLink& link) : m_link(link) {}
    WallpaperRequest* NewWallpaperRequest() override { return new WallpaperRequest(); }
    void SetWallpaperRequest(WallpaperRequest* request) override;
    bool ApplyWallpaper() override;
    QString GetWallpaper() override;

private:
    SimLink& m_link;
    std::unique_ptr<WallpaperRequest> m_pending;
};

// The four small stores keep their records as serialised items of one table, one store id each.
template <class Base, class Item, int StoreId> class SimRecordStore final : public Base {
public:
    explicit SimRecordStore(SimLink& link) : m_link(link) {}
    int Load() override;
    bool IsLoaded() override;
    int GetCount() override;
    const Item* GetItemAt(int index) override;
    bool AddItem(Item* item) override;
    bool PrepareRestore() override;

private:
    SimLink& m_link;
    std::atomic<bool> m_loaded{false}; // read without the link lock, so asking never waits for a transfer
    std::vector<std::unique_ptr<Item>> m_items;
};

using SimBookmarkStore = SimRecordStore<BookmarkStore, Bookmark, 1>;
using SimCalendarStore = SimRecordStore<CalendarStore, Memo, 2>;
using SimSettingsStore = SimRecordStore<SettingsStore, SettingsGroup, 3>;
using SimAlarmStore = SimRecordStore<AlarmStore, Alarm, 4>;

// Serialised forms of the small-store records (also used by vexa-phone seeding).
QByteArray EncodeItem(const Bookmark& item);
QByteArray EncodeItem(const Memo& item);
QByteArray EncodeItem(const SettingsGroup& item);
QByteArray EncodeItem(const Alarm& item);
bool DecodeItem(const QByteArray& data, Bookmark* item);
bool DecodeItem(const QByteArray& data, Memo* item);
bool DecodeItem(const QByteArray& data, SettingsGroup* item);
bool DecodeItem(const QByteArray& data, Alarm* item);

class SimDeviceInfo final : public DeviceInfo {
public:
    explicit SimDeviceInfo(SimLink& link) : m_link(link) {}
    bool RefreshInfo() override;
    QString GetBrand() override { return Value("brand"); }
    QString GetModel() override { return Value("model"); }
    QString GetSerial() override { return Value("serial"); }
    QString GetFirmwareVersion() override { return Value("firmware"); }
    QString GetInfoField11() override { return Value("serial"); }
    void GetVersionPair(int* first, int* second) override;
    int GetStatNumber() override { return Value("stat_number").toInt(); }
    QString GetOsVersion() override { return Value("os_version"); }
    bool IsDualSim() override { return Value("dual_sim") == QLatin1String("1"); }
    int GetSimState() override { return Value("sim_state").toInt(); }
    QString GetSimName(int sim) override;
    std::uint16_t GetScreenWidth() override { return static_cast<std::uint16_t>(Value("screen_width").toUInt()); }
    std::uint16_t GetScreenHeight() override { return static_cast<std::uint16_t>(Value("screen_height").toUInt()); }
    std::uint8_t GetStoreFlag() override { return 1; }

    QString Value(const char* key);

private:
    SimLink& m_link;
    bool m_read = false;
    std::map<QString, QString> m_values;
};

class SimSummary final : public DeviceSummary {
public:
    explicit SimSummary(SimLink& link) : m_link(link) {}
    bool InitSummary() override;
    int GetContactCount() override { return m_contacts; }
    int GetMessageCount() override { return m_messages; }
    int GetAppCount() override { return m_apps; }

private:
    SimLink& m_link;
    int m_contacts = 0, m_messages = 0, m_apps = 0;
};

class SimBackupService final : public BackupService {
public:
    explicit SimBackupService(SimDeviceInfo& info) : m_info(info) {}
    bool IsBackupTimeHidden() override { return m_info.Value("backup_hidden") == QLatin1String("1"); }
    bool CheckService() override { return !m_info.GetSerial().isEmpty(); }

private:
    SimDeviceInfo& m_info;
};

class SimScreenshotService final : public ScreenshotService {
public:
    explicit SimScreenshotService(SimLink& link) : m_link(link) {}
    ~SimScreenshotService() override;
    bool CaptureOnce(FrameCallback callback) override;
    bool StartCapture(FrameCallback callback) override;
    void StopCapture() override;
    void PauseCapture() override;
    void ResumeCapture() override;

private:
    bool NextFrame(QByteArray* frame);
    bool Begin(FrameCallback callback, bool once);
    void Run(FrameCallback callback, bool once);

    SimLink& m_link;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::thread m_thread;
    bool m_stop = false;
    bool m_paused = false;
    std::int64_t m_lastFrame = 0;
};

} // namespace vexa::sim
