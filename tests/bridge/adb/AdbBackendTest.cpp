// The adb backend end to end: Debian's adb server on a private port, vexa-adbd serving a phone file.
#include "../FrameCollector.h"
#include "AdbTestRig.h"

#include "bridge/adb/AdbAppManager.h"
#include "bridge/adb/AdbBridge.h"
#include "bridge/adb/AdbFileSystem.h"
#include "bridge/adb/AdbSmsStore.h"
#include "bridge/adb/BridgeChoice.h"
#include "bridge/api/AppManager.h"
#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/MessageStores.h"
#include "bridge/api/PictureStore.h"
#include "bridge/api/ScreenshotService.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "device/DeviceConnection.h"
#include "libs/log/Log.h"
#include "libs/mms/MediaMsg.h"
#include "libs/prefs/Prefs.h"
#include "messages/MessageData.h"
#include "platform/Event.h"

#include "TestApk.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <future>
#include <numeric>
#include <set>
#include <thread>

using namespace vexa;
using vexa::test::ReadFile;
using vexa::test::WriteFile;

namespace {

QByteArray Pattern(qsizetype size, int seed) {
    QByteArray data(size, Qt::Uninitialized);
    char* out = data.data();
    std::uint32_t x = 2463534242u + static_cast<std::uint32_t>(seed);
    for (qsizetype i = 0; i < size; i += 4) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        std::memcpy(out + i, &x, static_cast<std::size_t>(std::min<qsizetype>(4, size - i)));
    }
    return data;
}

class AdbBackendTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_folders = new ScopedTestFolders;
        qputenv("VEXA_SIM_DIR", QFile::encodeName(s_folders->Root() + QStringLiteral("/sim")));
        s_rig = new CAdbTestRig;
        QString error;
        s_ready = s_rig->StartServer(&error);
        s_error = error;
    }
    static void TearDownTestSuite() {
        delete s_rig;
        s_rig = nullptr;
        qunsetenv("VEXA_SIM_DIR");
        delete s_folders;
        s_folders = nullptr;
    }

    void SetUp() override {
        SKIP_WITHOUT_ADB();
        ASSERT_TRUE(s_ready) << s_error.toStdString();
        m_phone = QStringLiteral("ADB-%1").arg(++s_phones);
        ASSERT_TRUE(MakePhone(m_phone, QStringLiteral("vexa"), QStringLiteral("V960")));
        QString error;
        ASSERT_TRUE(s_rig->StartDaemon(m_phone, &m_serial, &error)) << error.toStdString();
        m_bridge = adbphone::CreateAdbBridge(s_rig->ServerPort());
        ASSERT_NE(m_bridge->ConnectUsbDevice(m_serial), 0);
        ASSERT_TRUE(Session()->GetDeviceInfo()->RefreshInfo());
        ASSERT_TRUE(LOG_InitFile(qPrintable(m_logs.filePath(QStringLiteral("vexa.log")))));
    }
    void TearDown() override {
        LOG_Free();
        if (m_bridge) {
            m_bridge->CloseSession();
        }
        if (s_rig != nullptr && !m_serial.isEmpty()) {
            s_rig->StopDaemon(m_serial, true);
        }
    }

    static bool MakePhone(const QString& serial, const QString& brand, const QString& model) {
        QString error;
        return sim::CreatePhone(
            {.brand = brand, .model = model, .serial = serial, .dualSim = true, .sdCard = true, .simState = 3}, &error);
    }

    void Seed(sim::SeedOptions seed) {
        seed.smallStores = false;
        seed.screenFrames = false;
        QString error;
        ASSERT_TRUE(sim::SeedPhone(m_phone, seed, &error)) << error.toStdString();
    }

    DeviceSession* Session() { return m_bridge->GetSession(); }
    FileSystem* Fs() { return Session()->GetFileSystem(); }
    QString Root() { return Fs()->GetPhoneStorageRoot(); }
    QString Local(const QString& name, const QByteArray& bytes) {
        const QString path = m_local.filePath(name);
        EXPECT_TRUE(WriteFile(path, bytes)) << name.toStdString();
        return path;
    }
    bool OpenPhoneFile(sim::SimDb& db) {
        QString error;
        return db.Open(sim::PhoneFilePath(m_phone), &error);
    }
    // The phone file's settings, as the phone itself would change them.
    bool SetMeta(const char* key, const QString& value) {
        sim::SimDb db;
        return OpenPhoneFile(db) && db.SetMeta(key, value);
    }
    QString Meta(const char* key) {
        sim::SimDb db;
        return OpenPhoneFile(db) ? db.Meta(key) : QString();
    }
    // A change the phone itself makes, straight to the phone file.
    bool RunOnPhone(const QString& sql) {
        sim::SimDb db;
        return OpenPhoneFile(db) && db.Exec(sql.toUtf8().constData());
    }
    // A count straight from the phone file, not through the bridge.
    int CountOnPhone(const char* sql) {
        sim::SimDb db;
        if (!OpenPhoneFile(db)) {
            return -1;
        }
        sim::Stmt count(db, sql);
        return count.Step() ? static_cast<int>(count.Int(0)) : -1;
    }
    static void ExpectLogged(const QString& log, std::initializer_list<const char*> parts) {
        for (const char* part : parts) {
            EXPECT_TRUE(log.contains(QString::fromUtf8(part))) << part << " not in\n" << log.toStdString();
        }
    }
    // The log so far; logging goes on into a fresh file.
    QString Log() {
        LOG_Free();
        const QString text = QString::fromUtf8(ReadFile(m_logs.filePath(QStringLiteral("vexa.log"))));
        LOG_InitFile(qPrintable(m_logs.filePath(QStringLiteral("vexa.log"))));
        return text;
    }

    static inline ScopedTestFolders* s_folders = nullptr;
    static inline CAdbTestRig* s_rig = nullptr;
    static inline bool s_ready = false;
    static inline QString s_error;
    static inline int s_phones = 0;

    QString m_phone;
    QString m_serial;
    std::unique_ptr<DeviceBridge> m_bridge;
    QTemporaryDir m_local;
    QTemporaryDir m_logs;
};

// Live frames: a scaled screenrecord stream from Android 5 on, full screencaps on 4.4, screenshots beside.
TEST_F(AdbBackendTest, LiveFramesAreAScaledStreamWhereThePhoneHasOne) {
    QString seedError; // with the screen's frames, which Seed leaves out
    ASSERT_TRUE(sim::SeedPhone(m_phone, {.smallStores = false}, &seedError)) << seedError.toStdString();
    ASSERT_TRUE(SetMeta("screen_width", QStringLiteral("1080")) && SetMeta("screen_height", QStringLiteral("2400")));
    const auto word = [](const QByteArray& raw, int i) { return qFromLittleEndian<quint32>(raw.constData() + 4 * i); };
    ScreenshotService* screens = Session()->GetScreenshotService();
    for (const char* sdk : {"30", "19"}) {
        ASSERT_TRUE(SetMeta("sdk", QString::fromLatin1(sdk)));
        const bool streams = std::string_view(sdk) == "30";
        FrameCollector live, single;
        ASSERT_TRUE(screens->StartCapture(live.Collect()));
        const QByteArray first = live.Wait(1);
        ASSERT_EQ(first.size(), streams ? 12 + 460 * 1024 * 3 : 16 + 1080 * 2400 * 4) << sdk;
        EXPECT_EQ(std::make_pair(word(first, 0), word(first, 1)),
                  streams ? std::make_pair(460u, 1024u) : std::make_pair(1080u, 2400u));
        ASSERT_FALSE(live.Wait(2).isEmpty()) << sdk;
        EXPECT_EQ(screens->StreamsScaledFrames(), streams) << sdk;
        ASSERT_TRUE(screens->CaptureOnce(single.Collect()));
        EXPECT_EQ(single.Wait(1).size(), 16 + 1080 * 2400 * 4) << sdk;
        EXPECT_FALSE(live.Wait(live.count.Count() + 1).isEmpty())
            << sdk << ": the stream goes on beside the screenshot";
        screens->StopCapture();
    }
}

TEST_F(AdbBackendTest, AppLooksComeFromTheCacheAndBigPackagesWaitForAFetch) {
    ASSERT_NO_FATAL_FAILURE(Seed({.apps = 3}));
    const QString cachePath = adbphone::CAdbAppCache::DefaultPath();
    QFile::remove(cachePath);

    // Nothing small enough to pull: package names, no icons, nothing cached.
    auto* apps = dynamic_cast<adbphone::CAdbAppManager*>(Session()->GetAppManager());
    ASSERT_NE(apps, nullptr);
    apps->SetLookFetchLimit(0);
    ASSERT_EQ(apps->LoadApps(), 1);
    ASSERT_EQ(apps->GetAppCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(apps->GetAppAt(i)->GetLabel(), apps->GetAppAt(i)->GetPackageName());
        EXPECT_EQ(apps->GetAppAt(i)->GetIconSize(), 0);
    }
    EXPECT_EQ(adbphone::CAdbAppCache(cachePath).Count(), 0u);

    AppRecord* first = apps->GetAppAt(0);
    ASSERT_TRUE(apps->FetchPackage(first, m_local.filePath(QStringLiteral("first.apk")), {}, nullptr));
    EXPECT_NE(first->GetLabel(), first->GetPackageName());
    EXPECT_GT(first->GetIconSize(), 0);
    EXPECT_EQ(adbphone::CAdbAppCache(cachePath).Count(), 1u);

    // A second session reads the cache, not the APKs: a label changed in the cache file shows.
    apps->SetLookFetchLimit(adbphone::CAdbAppManager::kLookFetchLimit);
    ASSERT_EQ(apps->LoadApps(), 1);
    const QString package = apps->GetAppAt(2)->GetPackageName();
    const int version = apps->GetAppAt(2)->GetVersionCode();
    EXPECT_NE(apps->GetAppAt(2)->GetLabel(), package);
    {
        adbphone::CAdbAppCache cache(cachePath);
        ASSERT_EQ(cache.Count(), 3u);
        cache.Put(package, version, {QStringLiteral("缓存的名字"), {}});
        ASSERT_TRUE(cache.Save());
    }
    m_bridge->CloseSession();
    m_bridge = adbphone::CreateAdbBridge(s_rig->ServerPort());
    ASSERT_NE(m_bridge->ConnectUsbDevice(m_serial), 0);
    AppManager* again = Session()->GetAppManager();
    ASSERT_EQ(again->LoadApps(), 1);
    ASSERT_EQ(again->GetAppCount(), 3);
    EXPECT_EQ(again->GetAppAt(2)->GetLabel(), QStringLiteral("缓存的名字"));
    EXPECT_EQ(again->GetAppAt(2)->GetIconSize(), 0);
    EXPECT_NE(again->GetAppAt(0)->GetLabel(), again->GetAppAt(0)->GetPackageName());
}

TEST_F(AdbBackendTest, InstallFailuresComeBackFalseWithThePhonesReason) {
    const QString v5 = Local(QStringLiteral("v5.apk"), MakeTestApk(QStringLiteral("com.example.clock"), 5,
                                                                   QStringLiteral("5.0"), QStringLiteral("时钟"), {}, {}, 3000));
    const QString v2 = Local(QStringLiteral("v2.apk"), MakeTestApk(QStringLiteral("com.example.clock"), 2,
                                                                   QStringLiteral("2.0"), QStringLiteral("旧时钟"), {}, {}, 3000));
    // Our parser cannot read this one; the phone has the last word, and refuses it.
    const QString junk = Local(QStringLiteral("junk.apk"), QByteArray("PK\x03\x04", 4) + QByteArray(5000, 'j'));
    // API level 15 gets push and pm install; the same phone at level 30 gets a stream to cmd package install.
    QString modern;
    std::unique_ptr<DeviceBridge> streamed;
    for (AppManager* apps = Session()->GetAppManager(); apps != nullptr;) {
        ASSERT_EQ(apps->LoadApps(), 1);
        std::unique_ptr<AppRecord> record(apps->NewApp());
        ASSERT_TRUE(apps->InstallApk(v5, record.get(), {}, nullptr));
        ASSERT_EQ(apps->GetAppCount(), 1); // the loaded list follows
        EXPECT_FALSE(apps->InstallApk(v2, record.get(), {}, nullptr));
        EXPECT_FALSE(apps->InstallApk(junk, record.get(), {}, nullptr));
        EXPECT_FALSE(Fs()->PathExists(QStringLiteral("/data/local/tmp/vexa-install.apk")));
        ASSERT_EQ(apps->LoadApps(), 1);
        ASSERT_EQ(apps->GetAppCount(), 1);
        EXPECT_EQ(apps->GetAppAt(0)->GetVersionCode(), 5);
        EXPECT_EQ(apps->GetAppAt(0)->GetLabel(), QStringLiteral("时钟"));
        apps = nullptr;
        if (!streamed) {
            QString error;
            ASSERT_TRUE(SetMeta("sdk", QStringLiteral("30")));
            ASSERT_TRUE(s_rig->StartDaemon(m_phone, &modern, &error)) << error.toStdString();
            streamed = adbphone::CreateAdbBridge(s_rig->ServerPort());
            ASSERT_NE(streamed->ConnectUsbDevice(modern), 0);
            apps = streamed->GetSession()->GetAppManager();
        }
    }
    streamed->CloseSession();
    s_rig->StopDaemon(modern, true);
    const QString text = Log();
    ExpectLogged(text, {"INSTALL_PARSE_FAILED_NOT_APK"});
    EXPECT_EQ(text.count(QStringLiteral("[AdbAppManager] installing")), 4);
    EXPECT_EQ(text.count(QStringLiteral("INSTALL_FAILED_VERSION_DOWNGRADE")), 2);

    AppManager* apps = Session()->GetAppManager();
    // A package that is gone, or a name that is a shell command, is neither removed nor reloaded.
    AppRecord stale;
    for (const QString& name : {QStringLiteral("com.example.gone"), QStringLiteral("x; reboot")}) {
        stale.SetPackageName(name);
        EXPECT_FALSE(apps->UninstallApp(&stale)) << name.toStdString();
        EXPECT_FALSE(apps->ReloadApp(&stale)) << name.toStdString();
    }
    EXPECT_TRUE(apps->ReloadApp(apps->GetAppAt(0)));
}

TEST(AdbSmsRows, ProviderOutputWithNoiseAndBrokenRows) {
    const std::string output =
        "Row: 0 _id=7, address=10086, date=1700000000000, type=1, read=0, sub_id=2, body=a, b\r\n"
        "c\r\n"
        "Row: 1 _id=x, address=1, date=0, type=2, read=1, sub_id=1, body=bad id\n"
        "Row: 2 _id=9, address=NULL, date=1700000000000, type=9, read=1, sub_id=-1, body=\n";
    const std::vector<Sms> rows = adbphone::SmsFromContentRows(output);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].GetId(), 7);
    EXPECT_EQ(rows[0].GetSim(), 2);
    EXPECT_FALSE(rows[0].IsRead());
    EXPECT_TRUE(rows[0].GetContent().startsWith("a, b"));
    EXPECT_EQ(rows[1].GetId(), 9);
    EXPECT_EQ(rows[1].GetBox(), BOX_INBOX); // an unknown type reads as received
    EXPECT_EQ(rows[1].GetSim(), 0);
    EXPECT_TRUE(rows[1].GetNumber().isEmpty());
}

// Equal messages take a row each; one whose text did not survive the reading gets the row left over.
TEST(AdbSmsRows, RowsGoToTheirOwnMessagesWhateverTheirOrder) {
    const auto sms = [](std::int64_t id, const char* number, const char* text, int second) {
        Sms m;
        m.m_id = id;
        m.m_number = QString::fromUtf8(number);
        m.m_content = QString::fromUtf8(text);
        m.m_time = UnpackTime(20240229235900 + second);
        m.m_box = BOX_INBOX;
        return m;
    };
    std::vector<Sms> sent{sms(-1, "1", "a", 1),      sms(-1, "2", "same", 2), sms(-1, "2", "same", 2),
                          sms(-1, "3", "line\n", 3), sms(-1, "3", "x", 3),    sms(-1, "4", "gone", 4)};
    const std::vector<Sms> rows{sms(15, "3", "x", 3),       sms(11, "2", "same", 2), sms(14, "3", "line", 3),
                                sms(12, "9", "foreign", 2), sms(10, "1", "a", 1),    sms(13, "2", "same", 2)};
    std::vector<Sms*> batch;
    for (Sms& m : sent) {
        batch.push_back(&m);
    }
    const std::vector<std::int64_t> found = adbphone::MatchRows(batch, rows);
    const std::vector<std::int64_t> expected{10, 11, 13, 14, 15, -1};
    EXPECT_EQ(found, expected);
}

// Writes: the phone's WRITE_SMS app-op decides, and every write is read back.
class AdbSmsWriteTest : public AdbBackendTest {
protected:
    SmsStore* Store() { return Session()->GetSmsStore(); }
    int MessagesOnPhone() { return CountOnPhone("SELECT COUNT(*) FROM sms"); }
    std::unique_ptr<Sms> Make(const QString& text, int box = BOX_INBOX, int second = 0) {
        std::unique_ptr<Sms> sms(Store()->NewSms());
        sms->SetBox(box);
        sms->SetNumber(QStringLiteral("10086"));
        sms->SetContent(text);
        sms->SetTime(UnpackTime(20240229235900 + second));
        sms->SetRead(false);
        sms->SetSim(2);
        return sms;
    }
};

TEST_F(AdbSmsWriteTest, APhoneThatKeepsTheAppOpKeepsItsMessages) {
    ASSERT_TRUE(SetMeta("appops_refused", QStringLiteral("1")));
    std::unique_ptr<Sms> sms = Make(QStringLiteral("hello"));
    EXPECT_FALSE(Store()->AddSms(sms.get()));
    EXPECT_EQ(sms->GetId(), -1);
    EXPECT_FALSE(Store()->SendSms(sms.get()));
    EXPECT_TRUE(Session()->IsConnected()); // a refusal is not a lost phone
    EXPECT_EQ(MessagesOnPhone(), 0);
    const QString log = Log();
    EXPECT_EQ(log.count(QStringLiteral("[AdbSmsStore] add: the phone keeps SMS from adb: only the default SMS app may "
                                       "write messages")),
              1)
        << log.toStdString();
    ExpectLogged(log, {"Security exception: uid 2000", "[AdbSmsStore] send: "});

    // A message the phone's own app wrote can be neither changed nor deleted, and stays as it was.
    ASSERT_TRUE(SetMeta("appops_write_sms", QStringLiteral("allow")));
    std::unique_ptr<Sms> mine = Make(QStringLiteral("kept"));
    ASSERT_TRUE(Store()->AddSms(mine.get()));
    ASSERT_TRUE(SetMeta("appops_write_sms", QStringLiteral("ignore")));
    mine->SetContent(QStringLiteral("changed"));
    EXPECT_FALSE(Store()->UpdateSms(mine.get()));
    EXPECT_FALSE(Store()->DeleteSms(mine->GetId()));
    ASSERT_TRUE(SetMeta("appops_write_sms", QStringLiteral("deny")));
    EXPECT_FALSE(Store()->DeleteSms(mine->GetId()));
    std::unique_ptr<Sms> back(Store()->GetSmsById(mine->GetId()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetContent(), "kept");
    // The last is the provider's own reason when it throws.
    ExpectLogged(Log(), {"[AdbSmsStore] update: the phone keeps SMS from adb",
                         "[AdbSmsStore] delete: the phone keeps SMS from adb", "not allowed to perform WRITE_SMS"});
}

// The op is allowed only for the session: a mode the user set by hand comes back.
TEST_F(AdbSmsWriteTest, TheAppOpGoesBackToItsModeWhenTheSessionCloses) {
    for (const QString& before : {QString(), QStringLiteral("deny"), QStringLiteral("allow")}) {
        if (!before.isEmpty()) {
            ASSERT_TRUE(SetMeta("appops_write_sms", before));
        }
        std::unique_ptr<Sms> sms = Make(QStringLiteral("op ") + before);
        ASSERT_TRUE(Store()->AddSms(sms.get())) << before.toStdString();
        EXPECT_EQ(Meta("appops_write_sms"), "allow");
        m_bridge->CloseSession();
        EXPECT_EQ(Meta("appops_write_sms"), before.isEmpty() ? QStringLiteral("default") : before);
        ASSERT_NE(m_bridge->ConnectUsbDevice(m_serial), 0);
    }
    EXPECT_EQ(MessagesOnPhone(), 3);
}

TEST(AppOpMode, ReadsWhatPhonesPrint) {
    const std::pair<const char*, const char*> cases[] = {
        {"No operations.\n", "default"},
        {"WRITE_SMS: allow; time=+2m1s123ms ago\r\n", "allow"},
        {"READ_SMS: deny\nWRITE_SMS: deny\n", "deny"},
        {"WRITE_SMS: allowed\n", ""}, // not a mode
        {"Error: Unknown operation string: WRITE_SMS\n", ""}};
    for (const auto& [output, mode] : cases) {
        EXPECT_EQ(adbphone::ParseAppOpMode(output, "WRITE_SMS"), mode) << output;
    }
}

// The content tool reads bindings with escaped colons from Android 11 on, the raw rest of the argument before.
class AdbApiLevelTest : public AdbSmsWriteTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        AdbBackendTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) {
            ASSERT_TRUE(SetMeta("sdk", QString::number(GetParam())));
        }
    }
};

INSTANTIATE_TEST_SUITE_P(ApiLevels, AdbApiLevelTest, ::testing::Values(15, 33));

TEST_P(AdbApiLevelTest, HostileTextsSurviveTheRoundTripOnceTheOpIsAllowed) {
    const QStringList texts{QStringLiteral("O'Brien said \"hi\""),
                            QStringLiteral("$(reboot) `id` $HOME ${PATH}"),
                            QStringLiteral("第一行\n第二行\n"),
                            QStringLiteral("a', 'b', body=c, date=5"),
                            QStringLiteral("10:30 at C:\\Users\\x \\"),
                            QStringLiteral("--bind body:s:x; rm -rf /"),
                            QString()};
    std::vector<std::unique_ptr<Sms>> owned;
    std::vector<Sms*> batch;
    for (int i = 0; i < texts.size(); ++i) {
        owned.push_back(Make(texts[i], i % 2 ? BOX_SENT : BOX_DRAFT, i));
        batch.push_back(owned.back().get());
    }
    owned[1]->SetNumber(QStringLiteral("+86 (138) 'x' $y"));
    ASSERT_TRUE(Store()->AddSmsBatch(batch));

    owned[0]->SetRead(true);
    owned[0]->SetContent(texts[4]);
    ASSERT_TRUE(Store()->UpdateSms(owned[0].get()));
    ASSERT_TRUE(Store()->DeleteSms(owned[2]->GetId()));
    m_bridge->CloseSession();
    ASSERT_NE(m_bridge->ConnectUsbDevice(m_serial), 0);
    ASSERT_EQ(Store()->LoadSms(), 1);
    std::vector<Sms> all;
    ASSERT_TRUE(Store()->ListAllSms(&all));
    ASSERT_EQ(all.size(), owned.size() - 1);
    for (std::size_t i = 0; i < owned.size(); ++i) {
        const auto at =
            std::find_if(all.begin(), all.end(), [&](const Sms& m) { return m.GetId() == owned[i]->GetId(); });
        ASSERT_EQ(at == all.end(), i == 2) << i;
        if (i == 2) {
            continue;
        }
        const Sms& got = *at;
        EXPECT_EQ(got.GetContent(), owned[i]->GetContent()) << i;
        EXPECT_EQ(got.GetNumber(), owned[i]->GetNumber()) << i;
        EXPECT_EQ(got.IsRead(), i == 0);
        SYSTEMTIME t;
        got.GetTime(&t);
        EXPECT_EQ(PackTime(t), 20240229235900 + static_cast<std::int64_t>(i));
    }
    EXPECT_FALSE(Log().contains(QStringLiteral("[AdbSmsStore]")));
}

// A batch goes out on several streams at once, so the phone numbers its messages in no set order.
TEST_F(AdbSmsWriteTest, BatchIdsNameTheirOwnMessagesAndARefusalLeavesNothing) {
    ASSERT_TRUE(SetMeta("appops_write_sms", QStringLiteral("allow")));
    ASSERT_TRUE(SetMeta("sms_refuse_body", QStringLiteral("refused")));
    // {size, refused message (-1: none)}; the second batch is refused in its second round.
    for (const auto& [size, refusedAt] : {std::pair{45, -1}, std::pair{130, 125}, std::pair{7, 0}}) {
        std::vector<std::unique_ptr<Sms>> owned;
        std::vector<Sms*> batch;
        for (int i = 0; i < size; ++i) {
            const bool same = i % 10 == 3; // every tenth message is the same one
            owned.push_back(Make(i == refusedAt ? QStringLiteral("refused")
                                 : same         ? QStringLiteral("same")
                                                : QStringLiteral("m%1").arg(i),
                                 BOX_INBOX, same ? 3 : i % 60));
            batch.push_back(owned.back().get());
        }
        ASSERT_EQ(Store()->AddSmsBatch(batch), refusedAt < 0) << size;
        EXPECT_EQ(MessagesOnPhone(), 45) << size;
        std::set<std::int64_t> ids;
        for (const auto& sms : owned) {
            EXPECT_TRUE(refusedAt < 0 ? ids.insert(sms->GetId()).second : sms->GetId() == -1) << sms->GetId();
            std::unique_ptr<Sms> back(refusedAt < 0 ? Store()->GetSmsById(sms->GetId()) : nullptr);
            EXPECT_EQ(back ? back->GetContent() : QString(), refusedAt < 0 ? sms->GetContent() : QString());
        }
    }
    EXPECT_EQ(Log().count(QStringLiteral("the provider refused the message")), 2);
    // The phone's own app deletes the newest message; the provider then gives its id again.
    const std::int64_t newest = CountOnPhone("SELECT MAX(id) FROM sms");
    ASSERT_TRUE(RunOnPhone(QStringLiteral("DELETE FROM sms WHERE id=%1").arg(newest)));
    std::unique_ptr<Sms> again = Make(QStringLiteral("again"), BOX_SENT, 3);
    ASSERT_TRUE(Store()->AddSms(again.get()));
    EXPECT_EQ(again->GetId(), newest);
    std::unique_ptr<Sms> back(Store()->GetSmsById(newest));
    EXPECT_EQ(back ? back->GetContent() : QString(), "again");
}

TEST_P(AdbApiLevelTest, CallLogKeepsHostileNumbersThroughTheServer) {
    CallRecordList* calls = Session()->GetCallRecords();
    ASSERT_NE(calls, nullptr);
    ASSERT_TRUE(calls->PrepareRestore());
    ASSERT_EQ(calls->LoadCallRecords(), 1);
    const QStringList numbers{"O'Brien \"x\"", "$(reboot) `id`", "张三, number=1", "+86 138;00", "", "*31#:\\1"};
    int second = 0;
    for (const QString& number : numbers) {
        CallRecord* record = calls->NewCallRecord();
        record->m_number = number;
        record->m_time = UnpackTime(20240229235900 + ++second);
        record->m_type = CALL_DIALLED;
        ASSERT_TRUE(calls->AddCallRecord(record)) << number.toStdString();
    }
    ASSERT_EQ(calls->GetCallRecordCount(), numbers.size());
    ASSERT_TRUE(calls->DeleteCallRecords({calls->GetCallRecordAt(1)}));
    ASSERT_EQ(calls->LoadCallRecords(), 1);
    ASSERT_EQ(calls->GetCallRecordCount(), numbers.size() - 1);
    for (int i = 0; i < calls->GetCallRecordCount(); ++i) {
        const int n = i == 0 ? 0 : i + 1;
        EXPECT_EQ(calls->GetCallRecordAt(i)->GetNumber(), numbers[n]);
        SYSTEMTIME time;
        calls->GetCallRecordAt(i)->GetTime(&time);
        EXPECT_EQ(PackTime(time), 20240229235900 + n + 1);
    }
    // A record of no list is not deleted, and nothing else with it.
    CallRecord stranger;
    EXPECT_FALSE(calls->DeleteCallRecords({calls->GetCallRecordAt(0), &stranger}));
    EXPECT_EQ(calls->GetCallRecordCount(), numbers.size() - 1);
}

TEST_F(AdbBackendTest, MmsAreReadWholeThroughTheProviderAndNeverWritten) {
    ASSERT_NO_FATAL_FAILURE(Seed({.mms = 6}));
    // The phone file's own messages, as the simulator's store reads them.
    std::map<std::int64_t, std::pair<QString, QByteArray>> onPhone; // id -> number, message file
    {
        sim::SimDb db;
        ASSERT_TRUE(OpenPhoneFile(db));
        sim::Stmt rows(db, "SELECT id, number, data FROM mms");
        while (rows.Step()) {
            onPhone[rows.Int(0)] = {rows.Text(1), rows.Blob(2)};
        }
    }
    ASSERT_EQ(onPhone.size(), 6u);

    MmsStore* store = Session()->GetMmsStore();
    ASSERT_NE(store, nullptr);
    ASSERT_EQ(store->LoadMms(), 1);
    std::vector<MSGINFO> list;
    ASSERT_TRUE(store->ListMms(&list));
    ASSERT_EQ(list.size(), onPhone.size());
    for (const MSGINFO& info : list) {
        const auto& [number, blob] = onPhone.at(info.id);
        EXPECT_EQ(info.number, number) << info.id;
        mms::MediaMsg expected;
        ASSERT_TRUE(mms::ParseMediaMsg(blob, &expected));
        EXPECT_EQ(info.content, expected.Subject()) << "the subject comes back in its own characters";
        std::unique_ptr<Mms> read(store->GetMmsById(info.id));
        ASSERT_TRUE(read) << info.id;
        mms::MediaMsg got;
        ASSERT_TRUE(mms::ParseMediaMsg(read->GetData(), &got));
        ASSERT_EQ(got.SlideCount(), expected.SlideCount()) << info.id;
        for (int i = 0; i < got.SlideCount(); ++i) {
            const mms::Slide& g = *got.GetSlide(i);
            const mms::Slide& e = *expected.GetSlide(i);
            EXPECT_EQ(g.durationMs, e.durationMs) << info.id << "/" << i;
            EXPECT_EQ(g.text, e.text) << info.id << "/" << i;
            EXPECT_EQ(g.image.data, e.image.data) << info.id << "/" << i;
            EXPECT_EQ(g.sound.data, e.sound.data) << info.id << "/" << i;
            // The phone names parts its own way; the sender's name stays in it.
            EXPECT_TRUE(g.image.name.endsWith(e.image.name)) << g.image.name.toStdString();
        }
    }

    std::unique_ptr<Mms> mms(store->NewMms());
    mms->SetData(onPhone.begin()->second.second);
    mms->SetRecipient(QStringLiteral("10086"));
    mms->SetSend(true);
    EXPECT_FALSE(store->SendOrSaveMms(mms.get()));
    EXPECT_EQ(CountOnPhone("SELECT COUNT(*) FROM mms"), 6);
    ExpectLogged(Log(), {"[AdbMmsStore] send: a phone sends only when its user taps send"});

    EXPECT_TRUE(store->DeleteMms(list.front().id));
    EXPECT_EQ(CountOnPhone("SELECT COUNT(*) FROM mms"), 5);
    EXPECT_FALSE(store->GetMmsById(list.front().id));
}

TEST_P(AdbApiLevelTest, ContactsWithHostileTextsThroughTheServer) {
    ContactBook* book = Session()->GetContactBook();
    ASSERT_NE(book, nullptr);
    ASSERT_TRUE(book->PrepareRestore());
    ASSERT_EQ(book->LoadContacts(), 1);
    const QStringList names{"O'Brien \"Bob\"", "$(reboot) `id` $HOME", "张三, data1=李四", "a=b:c; rm -rf /",
                            "Dr. A:B \\ 张 10086:1"};
    const QString groupName = names[2] + QStringLiteral(" a:b \\");
    Group* group = book->NewGroup();
    group->SetName(groupName);
    ASSERT_TRUE(book->CreateGroup(group));
    for (const QString& name : names) {
        Contact* c = book->NewContact();
        c->SetDisplayName(name);
        c->SetNickname(name);
        c->AddPhone(0, &name, name, nullptr);
        c->AddNote(name + QStringLiteral("\nsecond line"));
        ASSERT_TRUE(book->AddContactToGroup(group, c, 0));
        ASSERT_TRUE(book->CreateContact(c)) << name.toStdString();
    }
    const auto named = [book](const QString& name) {
        for (int i = 0; i < book->GetContactCount(LIST_ALL); ++i) {
            if (book->GetContactAt(LIST_ALL, i)->GetDisplayNameText() == name) {
                return book->GetContactAt(LIST_ALL, i);
            }
        }
        return static_cast<Contact*>(nullptr);
    };
    EXPECT_FALSE(book->SetContactPhoto(named(names[0]), QByteArray("\x89PNG", 4))); // the content tool carries no blobs
    ASSERT_TRUE(book->DeleteContact(named(names[1])));

    ASSERT_EQ(book->LoadContacts(), 1);
    ASSERT_EQ(book->GetContactCount(LIST_ALL), names.size() - 1);
    ASSERT_EQ(book->GetGroupCount(), 1);
    EXPECT_EQ(book->GetGroupAt(0)->GetName(), groupName);
    EXPECT_EQ(book->GetGroupMemberCount(book->GetGroupAt(0)), names.size() - 1);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const Contact* c = named(name);
        if (name == names[1]) {
            EXPECT_EQ(c, nullptr);
            continue;
        }
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->GetNickname(), name);
        ASSERT_EQ(c->GetPhoneCount(), 1);
        EXPECT_EQ(c->GetPhoneAt(0)->GetValue(), name);
        EXPECT_EQ(c->GetPhoneAt(0)->GetLabel(), name);
        EXPECT_EQ(c->GetNoteAt(0), name + QStringLiteral("\nsecond line"));
    }
    EXPECT_EQ(book->FindContactByNumber(names[3]), named(names[3]));
}

TEST_F(AdbBackendTest, LargeContactsAreWrittenInSeveralLinesAndOversizedOnesLeaveNothing) {
    ContactBook* book = Session()->GetContactBook();
    ASSERT_EQ(book->LoadContacts(), 1);
    Contact* many = book->NewContact();
    many->SetDisplayName(QStringLiteral("Many"));
    for (int i = 0; i < 300; ++i) {
        many->AddPhone(2, nullptr, QStringLiteral("+86 138 %1").arg(i, 8, 10, QChar('0')), nullptr);
    }
    ASSERT_TRUE(book->CreateContact(many));
    Contact* huge = book->NewContact();
    huge->SetDisplayName(QStringLiteral("Huge"));
    huge->AddNote(QString(70000, QChar(u'x'))); // more than the adb server takes in one request
    EXPECT_FALSE(book->CreateContact(huge));
    delete huge;
    ASSERT_EQ(book->LoadContacts(), 1);
    ASSERT_EQ(book->GetContactCount(LIST_ALL), 1); // the refused contact left no empty one behind
    ASSERT_EQ(book->GetContactAt(LIST_ALL, 0)->GetPhoneCount(), 300);
    EXPECT_EQ(book->GetContactAt(LIST_ALL, 0)->GetPhoneAt(299)->GetValue(), "+86 138 00000299");
    // A new contact or group may take the id of the newest deleted one, and still reads back as itself.
    const std::int64_t deleted = book->GetContactAt(LIST_ALL, 0)->GetId();
    ASSERT_TRUE(book->DeleteContact(book->GetContactAt(LIST_ALL, 0)));
    Contact* c = book->NewContact();
    c->SetDisplayName(QStringLiteral("C"));
    c->AddPhone(2, nullptr, QStringLiteral("3"), nullptr);
    ASSERT_TRUE(book->CreateContact(c));
    EXPECT_GE(c->GetId(), deleted);
    Group* g = book->NewGroup();
    g->SetName(QStringLiteral("G1"));
    ASSERT_TRUE(book->CreateGroup(g));
    ASSERT_TRUE(book->DeleteGroup(g));
    g = book->NewGroup();
    g->SetName(QStringLiteral("G2"));
    ASSERT_TRUE(book->CreateGroup(g));
    ASSERT_EQ(book->LoadContacts(), 1);
    ASSERT_EQ(book->GetContactCount(LIST_ALL), 1);
    EXPECT_EQ(book->GetContactAt(LIST_ALL, 0)->GetDisplayNameText(), "C");
    EXPECT_EQ(book->GetContactAt(LIST_ALL, 0)->GetPhoneAt(0)->GetValue(), "3");
    ASSERT_EQ(book->GetGroupCount(), 1);
    EXPECT_EQ(book->GetGroupAt(0)->GetName(), "G2");
}

// Streams of one batch tell their raw contacts apart by kind only (favourite, card), yet each gets its own rows.
TEST_F(AdbBackendTest, AContactBatchIsWrittenWholeOrNotAtAll) {
    ContactBook* book = Session()->GetContactBook();
    ASSERT_EQ(book->LoadContacts(), 1);
    Group* group = book->NewGroup();
    group->SetName(QStringLiteral("G"));
    ASSERT_TRUE(book->CreateGroup(group));
    const auto make = [&](int round, int i, bool inGroup) {
        Contact* c = book->NewContact();
        c->SetDisplayName(QStringLiteral("C%1-%2").arg(round).arg(i));
        for (int p = 0; p < 1 + i % 3; ++p) {
            c->AddPhone(2, nullptr, QStringLiteral("%1%2").arg(i).arg(p), nullptr);
        }
        c->SetFavorite(i % 3 == 0);
        c->SetStorage(i == 4 ? STORAGE_SIM1 : i == 5 ? STORAGE_SIM2 : STORAGE_PHONE);
        if (inGroup) {
            book->AddContactToGroup(group, c, 0);
        }
        return c;
    };
    std::vector<Contact*> first;
    for (int i = 0; i < 12; ++i) {
        first.push_back(make(1, i, i == 7));
    }
    ASSERT_EQ(book->CreateContacts(first), 12);
    // The phone's own app deletes the group: a member row naming it is refused.
    ASSERT_TRUE(RunOnPhone(QStringLiteral("DELETE FROM groups_")));
    std::vector<Contact*> second;
    for (int i = 0; i < 12; ++i) {
        second.push_back(make(2, i, i == 7));
    }
    EXPECT_EQ(book->CreateContacts(second), 0);
    for (Contact* c : second) {
        EXPECT_EQ(c->GetId(), -1);
        delete c;
    }
    EXPECT_EQ(CountOnPhone("SELECT COUNT(*) FROM contacts"), 12);

    ASSERT_EQ(book->LoadContacts(), 1);
    ASSERT_EQ(book->GetContactCount(LIST_ALL), 12);
    for (int n = 0; n < 12; ++n) {
        const Contact* c = book->GetContactAt(LIST_ALL, n);
        const int i = c->GetDisplayNameText().section(u'-', 1).toInt();
        SCOPED_TRACE(i);
        EXPECT_EQ(c->IsFavorite(), i % 3 == 0);
        EXPECT_EQ(c->GetStorage(), i == 4 ? STORAGE_SIM1 : i == 5 ? STORAGE_SIM2 : STORAGE_PHONE);
        ASSERT_EQ(c->GetPhoneCount(), 1 + i % 3);
        for (int p = 0; p < c->GetPhoneCount(); ++p) {
            EXPECT_EQ(c->GetPhoneAt(p)->GetValue(), QStringLiteral("%1%2").arg(i).arg(p));
        }
    }
    ExpectLogged(Log(),
                 {"[AdbContactBook] the phone refused content insert --uri content://com.android.contacts/data"});
}

// Storage keeps its totals with no split (the split itself: the bridge suite's storage summary).
TEST_F(AdbBackendTest, APhoneThatKeepsItsProvidersFailsWithTheReason) {
    ASSERT_NO_FATAL_FAILURE(Seed({.apps = 4, .pictures = 12, .files = 10}));
    ContactBook* book = Session()->GetContactBook();
    CallRecordList* calls = Session()->GetCallRecords();
    ASSERT_EQ(book->LoadContacts(), 1);
    ASSERT_EQ(calls->LoadCallRecords(), 1);
    Contact* kept = book->NewContact();
    kept->SetDisplayName(QStringLiteral("Kept"));
    ASSERT_TRUE(book->CreateContact(kept));
    ASSERT_TRUE(SetMeta("adb_denied", QStringLiteral("contacts,call_log,mms,media")));
    // The summary shows no count rather than a guessed one, and the other counts still.
    DeviceSummary* summary = Session()->GetSummary();
    ASSERT_TRUE(summary->InitSummary());
    EXPECT_EQ(summary->GetContactCount(), 0);
    EXPECT_EQ(summary->GetAppCount(), 4);
    EXPECT_FALSE(book->PrepareRestore());
    EXPECT_FALSE(calls->PrepareRestore());
    Contact* c = book->NewContact();
    c->SetDisplayName(QStringLiteral("New"));
    EXPECT_FALSE(book->CreateContact(c));
    delete c;
    CallRecord* record = calls->NewCallRecord();
    record->m_number = QStringLiteral("10086");
    record->m_time = UnpackTime(20240101120000);
    EXPECT_FALSE(calls->AddCallRecord(record));
    delete record;
    EXPECT_FALSE(book->DeleteContact(kept));
    EXPECT_EQ(book->LoadContacts(), 0);
    EXPECT_FALSE(book->IsContactsLoaded());
    EXPECT_EQ(calls->LoadCallRecords(), 0);
    EXPECT_FALSE(calls->IsCallRecordsLoaded());
    EXPECT_EQ(Session()->GetMmsStore()->LoadMms(), 0);
    ASSERT_TRUE(Fs()->RefreshStorageInfo());
    std::uint64_t phone[5], card[4];
    Fs()->GetPhoneCategorySizes(phone);
    Fs()->GetSdCardCategorySizes(card);
    EXPECT_EQ(std::accumulate(std::begin(phone), std::end(phone), std::uint64_t{0}), 0u);
    EXPECT_EQ(std::accumulate(std::begin(card), std::end(card), std::uint64_t{0}), 0u);
    EXPECT_GT(Fs()->GetPhoneTotalSpace(), Fs()->GetPhoneFreeSpace());
    EXPECT_TRUE(Session()->IsConnected());
    const QString text = Log();
    EXPECT_GE(text.count(QStringLiteral("[AdbContactBook] the phone refused")), 4) << text.toStdString();
    EXPECT_EQ(text.count(QStringLiteral("[AdbCallRecords] the phone refused")), 3) << text.toStdString();
    ExpectLogged(text, {"READ_CONTACTS", "READ_CALL_LOG", "[AdbMmsStore] the phone refused",
                        "the phone refused content query --uri content://com.android.contacts/raw_contacts:"});
    EXPECT_FALSE(text.contains(QStringLiteral("starred"))) << text.toStdString(); // no values in the log
    // The refusal lost nothing: the phone file still holds the contact.
    EXPECT_EQ(CountOnPhone("SELECT COUNT(*) FROM contacts WHERE display_name='Kept'"), 1);
}

// Albums are the folders holding pictures on both storages (not hidden ones), hostile names too.
TEST_F(AdbBackendTest, PictureAlbumsFromTheFilesWithHostileNames) {
    const QString card = Fs()->GetSdCardRoot();
    ASSERT_FALSE(card.isEmpty());
    const QString small = Local(QStringLiteral("small"), Pattern(2000, 5));
    const QString large = Local(QStringLiteral("large"), Pattern(300 * 1024, 6));
    const QString hostile = QStringLiteral("it's $(id) `x` 照片");
    ASSERT_TRUE(Fs()->PutFile(small, Root() + QStringLiteral("/DCIM/Camera/IMG 1.JPG"), {}, nullptr));
    ASSERT_TRUE(Fs()->PutFile(large, Root() + QStringLiteral("/DCIM/Camera/big.webp"), {}, nullptr));
    ASSERT_TRUE(Fs()->PutFile(small, Root() + QStringLiteral("/DCIM/.thumbnails/t.jpg"), {}, nullptr));
    ASSERT_TRUE(Fs()->PutFile(small, Root() + QStringLiteral("/Docs/notes.txt"), {}, nullptr));
    ASSERT_TRUE(Fs()->PutFile(small, card + u'/' + hostile + QStringLiteral("/a \"b\".png"), {}, nullptr));

    PictureStore* pictures = Session()->GetPictureStore();
    ASSERT_NE(pictures, nullptr);
    ASSERT_EQ(pictures->LoadPictures(), 1);
    QStringList paths;
    for (int i = 0; i < pictures->GetAlbumCount(); ++i) {
        paths << pictures->GetAlbumPath(i);
    }
    EXPECT_EQ(paths, QStringList({Root() + QStringLiteral("/DCIM/Camera"), card + u'/' + hostile})); // by path
    const int camera = static_cast<int>(paths.indexOf(Root() + QStringLiteral("/DCIM/Camera")));
    const int odd = static_cast<int>(paths.indexOf(card + u'/' + hostile));
    ASSERT_EQ(pictures->GetPictureCount(camera), 2);
    EXPECT_EQ(pictures->GetAlbumName(odd), hostile);

    // Import, rename and download with hostile names: the bridge suite's pictures by album.
    EXPECT_FALSE(pictures->RenamePicture(card + u'/' + hostile + QStringLiteral("/a \"b\".png"), QStringLiteral("x.txt")));
    EXPECT_FALSE(pictures->DeletePicture(Root() + QStringLiteral("/Docs/notes.txt"))); // not a picture
    EXPECT_TRUE(Fs()->PathExists(Root() + QStringLiteral("/Docs/notes.txt")));
}

// After the unplug the link is gone for good: the next device check sees no phone, the session is lost.
void ExpectThePhoneGone(DeviceBridge* bridge) {
    CDeviceList devices;
    ASSERT_TRUE(devices.Refresh(bridge));
    EXPECT_EQ(devices.GetDeviceCount(), 0);
    EXPECT_TRUE(IsConnectedDeviceLost(bridge, devices));
    EXPECT_FALSE(bridge->GetSession()->IsConnected());
    bridge->CloseSession();
    EXPECT_EQ(bridge->GetSession(), nullptr);
}

TEST_F(AdbBackendTest, UnplugMidTransferFailsKeepsTheFilesAndTheProgramSeesTheLoss) {
    const QString target = Root() + QStringLiteral("/Download/keep.bin");
    const QString big = Local(QStringLiteral("big.bin"), Pattern(8 << 20, 6));
    ASSERT_TRUE(Fs()->PutFile(Local(QStringLiteral("old.bin"), Pattern(1000, 5)), target, {}, nullptr));
    ASSERT_TRUE(Fs()->PutFile(big, Root() + QStringLiteral("/big.bin"), {}, nullptr));
    bool unplugged = false;
    const TransferProgress pullAQuarterIn = [&](std::uint64_t total, std::uint64_t done, void*) {
        if (!unplugged && done > total / 4) {
            s_rig->StopDaemon(m_serial);
            unplugged = true;
        }
        return true;
    };
    EXPECT_FALSE(Fs()->PutFile(big, target, pullAQuarterIn, nullptr));
    ASSERT_TRUE(unplugged);
    ExpectThePhoneGone(m_bridge.get());

    // The phone again, its downloads stalled after 1 MiB so the cable is pulled before one can end.
    qputenv("VEXA_ADBD_STALL_RECV_AFTER", QByteArray::number(1 << 20));
    QString error;
    const bool started = s_rig->StartDaemon(m_phone, &m_serial, &error);
    qunsetenv("VEXA_ADBD_STALL_RECV_AFTER");
    ASSERT_TRUE(started) << error.toStdString();
    ASSERT_NE(m_bridge->ConnectUsbDevice(m_serial), 0);
    const QString back = m_local.filePath(QStringLiteral("back.bin"));
    ASSERT_TRUE(Fs()->TransferFile(target, back, {}, nullptr));
    EXPECT_EQ(ReadFile(back), Pattern(1000, 5));

    Event midway(Event::Reset::Manual);
    std::future<bool> transfer = std::async(std::launch::async, [&] {
        return Fs()->TransferFile(Root() + QStringLiteral("/big.bin"), m_local.filePath(QStringLiteral("partial.bin")),
                                  [&midway](std::uint64_t total, std::uint64_t done, void*) {
                                      if (done > 0 && done < total) {
                                          midway.Set();
                                      }
                                      return true;
                                  },
                                  nullptr);
    });
    ASSERT_TRUE(midway.Wait(10000)) << "the download never started";
    s_rig->StopDaemon(m_serial);
    ASSERT_EQ(transfer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(transfer.get()) << "the transfer must fail";
    EXPECT_FALSE(QFile::exists(m_local.filePath(QStringLiteral("partial.bin"))));
    ExpectThePhoneGone(m_bridge.get());
    m_serial.clear();
}

TEST_F(AdbBackendTest, UnplugMidSmsBatchFailsAndTheProgramSeesTheLoss) {
    SmsStore* store = Session()->GetSmsStore();
    // Batches of 30 on a worker until one fails; the cable is pulled once two went through.
    std::atomic<int> done{0};
    bool idsRestored = false;
    Event warm(Event::Reset::Manual);
    std::thread worker([&] {
        for (int b = 0; b < 100000; ++b) {
            std::vector<std::unique_ptr<Sms>> owned;
            std::vector<Sms*> batch;
            for (int i = 0; i < 30; ++i) {
                owned.emplace_back(store->NewSms());
                owned.back()->SetNumber(QStringLiteral("1390000%1").arg(i, 4, 10, QChar('0')));
                owned.back()->SetContent(QStringLiteral("批量 %1/%2").arg(b).arg(i));
                batch.push_back(owned.back().get());
            }
            if (!store->AddSmsBatch(batch)) {
                idsRestored = std::all_of(batch.begin(), batch.end(), [](const Sms* s) { return s->GetId() == -1; });
                break;
            }
            if (++done >= 2) {
                warm.Set();
            }
        }
        warm.Set();
    });
    EXPECT_TRUE(warm.Wait(10000)) << "the first batches never went through";
    s_rig->StopDaemon(m_serial);
    worker.join();
    EXPECT_GE(done, 2);
    EXPECT_TRUE(idsRestored) << "the batch must fail and keep no ids";

    std::unique_ptr<Sms> later(store->NewSms());
    EXPECT_FALSE(store->AddSms(later.get()));
    ExpectThePhoneGone(m_bridge.get());
    m_serial.clear();
}

TEST_F(AdbBackendTest, WifiConnectByAddressAndRefusals) {
    m_bridge->CloseSession();
    char records[144 * 4] = {};
    int count = 4;
    int rejected = -1;
    ASSERT_TRUE(m_bridge->ConnectWifi(records, &count, m_serial, &rejected));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(rejected, 0);
    EXPECT_TRUE(m_bridge->IsWifiConnection());
    ASSERT_NE(m_bridge->GetSession(), nullptr);
    ASSERT_TRUE(Session()->GetDeviceInfo()->RefreshInfo());
    EXPECT_EQ(Session()->GetDeviceInfo()->GetModel(), "V960");

    for (const char* bad : {"", "hello", "127.0.0.1", "127.0.0.1:99999", "127.0.0.1:4000 12", "a b c"}) {
        count = 4;
        EXPECT_FALSE(m_bridge->ConnectWifi(records, &count, QString::fromUtf8(bad), &rejected)) << bad;
        EXPECT_EQ(count, 0) << bad;
    }
    // A well-formed pairing target: this adb server predates wireless pairing and says so.
    count = 4;
    EXPECT_FALSE(m_bridge->ConnectWifi(records, &count, m_serial + QStringLiteral(" 123456"), &rejected));
    EXPECT_EQ(count, 0);

    // A port where nothing listens: the server's "failed to connect" text decides.
    count = 4;
    EXPECT_FALSE(
        m_bridge->ConnectWifi(records, &count, QStringLiteral("127.0.0.1:%1").arg(CAdbTestRig::FreePort()), &rejected));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(rejected, 0);
}

TEST_F(AdbBackendTest, WifiPhoneOfAnotherBrandIsRejectedUnlessAccepted) {
    ASSERT_TRUE(MakePhone(QStringLiteral("OTHER-") + m_phone, QStringLiteral("acme"), QStringLiteral("A1")));
    QString other, error;
    ASSERT_TRUE(s_rig->StartDaemon(QStringLiteral("OTHER-") + m_phone, &other, &error)) << error.toStdString();
    // The bridge lists it (the program filters brands), but a Wi-Fi connection reports it rejected.
    DeviceRecord records[32] = {};
    int count = 32;
    ASSERT_TRUE(m_bridge->GetDeviceList(records, &count));
    EXPECT_EQ(count, 2);
    CDeviceList devices;
    ASSERT_TRUE(devices.Refresh(m_bridge.get()));
    EXPECT_EQ(devices.GetDeviceCount(), 1);

    PCL_SetAcceptOtherBrands(true);
    ASSERT_TRUE(devices.Refresh(m_bridge.get()));
    EXPECT_EQ(devices.GetDeviceCount(), 2);
    PCL_SetAcceptOtherBrands(false);

    char wifi[144] = {};
    count = 1;
    int rejected = 0;
    EXPECT_FALSE(m_bridge->ConnectWifi(wifi, &count, other, &rejected));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(rejected, 1);
    // The rejected phone is let go by the server too.
    ASSERT_TRUE(m_bridge->GetDeviceList(records, &count));
    EXPECT_EQ(count, 1);

    PCL_SetAcceptOtherBrands(true);
    count = 1;
    EXPECT_TRUE(m_bridge->ConnectWifi(wifi, &count, other, &rejected));
    EXPECT_EQ(rejected, 0);
    EXPECT_EQ(Session()->GetDeviceInfo()->RefreshInfo() ? Session()->GetDeviceInfo()->GetBrand() : QString(), "acme");
    PCL_SetAcceptOtherBrands(false);
    m_bridge->CloseSession();
    s_rig->StopDaemon(other, true);
}

class BridgeChoiceTest : public AdbBackendTest {
protected:
    void TearDown() override {
        ppCleanup();
        qunsetenv("ANDROID_ADB_SERVER_PORT");
        PCL_SetBridgeBackend(QStringLiteral("sim"));
        AdbBackendTest::TearDown();
    }
    static void UsePort(std::uint16_t port) { qputenv("ANDROID_ADB_SERVER_PORT", QByteArray::number(port)); }
};

TEST_F(BridgeChoiceTest, AutoTakesRealPhonesOnlyWhenTheServerListsOneAndNoChoiceFollowsTheSetting) {
    UsePort(s_rig->ServerPort());
    ASSERT_EQ(InstallBridgeBackend(QStringLiteral("auto")), BridgeBackendKind::Adb);
    ASSERT_TRUE(ppInitialize());
    DeviceRecord records[32] = {};
    int count = 32;
    ASSERT_TRUE(ppGetBridge()->GetDeviceList(records, &count));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(records[0].Serial(), m_phone);
    ppCleanup();

    // No server on the port: the simulated phones.
    UsePort(CAdbTestRig::FreePort());
    EXPECT_EQ(InstallBridgeBackend(QStringLiteral("auto")), BridgeBackendKind::Simulated);
    // Asked for explicitly, adb stays chosen and reports the missing server as a failed query.
    ASSERT_EQ(InstallBridgeBackend(QStringLiteral("adb")), BridgeBackendKind::Adb);
    ASSERT_TRUE(ppInitialize());
    count = 32;
    EXPECT_FALSE(ppGetBridge()->GetDeviceList(records, &count));
    ppCleanup();

    UsePort(s_rig->ServerPort());
    EXPECT_EQ(InstallBridgeBackend({}), BridgeBackendKind::Simulated); // the default
    PCL_SetBridgeBackend(QStringLiteral("adb"));
    EXPECT_EQ(InstallBridgeBackend({}), BridgeBackendKind::Adb);
    EXPECT_EQ(InstallBridgeBackend(QStringLiteral("sim")), BridgeBackendKind::Simulated);
}

TEST_F(AdbBackendTest, PhonesSharingASerialKeepAdbsNames) {
    // Two daemons serving the same phone file report the same serial, as cheap phones do.
    QString twin, error;
    ASSERT_TRUE(s_rig->StartDaemon(m_phone, &twin, &error)) << error.toStdString();
    DeviceRecord records[32] = {};
    int count = 32;
    ASSERT_TRUE(m_bridge->GetDeviceList(records, &count));
    ASSERT_EQ(count, 2);
    EXPECT_EQ((QSet<QString>{records[0].Serial(), records[1].Serial()}), (QSet<QString>{m_serial, twin}));
    EXPECT_NE(m_bridge->ConnectUsbDevice(twin), 0);
    EXPECT_EQ(m_bridge->ConnectUsbDevice(m_phone), 0); // ambiguous: neither is meant
    s_rig->StopDaemon(twin, true);
}

// Over adb the message page's data takes in the phone's MMS beside its texts; a search goes to both.
TEST_F(AdbBackendTest, MessagePageDataHoldsThePhonesMultimediaMessages) {
    ASSERT_NO_FATAL_FAILURE(Seed({.sms = 120, .mms = 4}));
    messages::MessageData data;
    ASSERT_EQ(data.ObtainStores(Session()), messages::MessageData::StoreState::Ready);
    ASSERT_TRUE(data.Rebuild(Session()));
    std::vector<MSGINFO> all, mms;
    ASSERT_TRUE(Session()->GetSmsStore()->ListSms(&all));
    ASSERT_TRUE(Session()->GetMmsStore()->ListMms(&mms));
    EXPECT_EQ(data.Messages().size() + data.Drafts().size(), 124u);
    EXPECT_EQ(data.Messages().size(), all.size() + mms.size());
    const QString word = all.front().content.left(2);
    ASSERT_TRUE(data.Rebuild(Session(), word));
    EXPECT_FALSE(data.Messages().empty());
    for (const MSGINFO& message : data.Messages()) {
        EXPECT_TRUE(message.content.contains(word, Qt::CaseInsensitive) || message.number.contains(word));
    }
}

} // namespace
