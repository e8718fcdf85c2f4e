// The firmware update end to end against the local services and simulated phones.
#include "device/FirmwareUpdate.h"
#include "TestFiles.h"

#include "LocalHttpServer.h"
#include "LocalServices.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimPhones.h"
#include "libs/prefs/Prefs.h"

#include "../bridge/BridgeBackend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <utility>

namespace {

using firmware::FirmwareCheck;
using firmware::FirmwareStorage;

class FirmwareFlow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_DEFAULT); }

    void SetUp() override {
        m_backend = MakeSimBackend();
        QString error;
        ASSERT_TRUE(m_services.Start(&error)) << error.toStdString();
        m_bridge = m_backend->MakeBridge();
    }
    void TearDown() override { m_bridge->CloseSession(); }

    vexa::DeviceSession* Connect(const QString& serial, const QString& firmwareText, bool card = true) {
        QString error;
        EXPECT_TRUE(vexa::sim::CreatePhone(
            {.model = "V960", .serial = serial, .firmware = firmwareText, .sdCard = card}, &error))
            << error.toStdString();
        return Reconnect(serial);
    }
    vexa::DeviceSession* Reconnect(const QString& serial) {
        if (m_bridge->ConnectUsbDevice(serial) == 0) {
            return nullptr;
        }
        vexa::DeviceSession* session = m_bridge->GetSession();
        session->GetDeviceInfo()->RefreshInfo();
        return session;
    }
    FirmwareCheck Check(vexa::DeviceSession* session) {
        return firmware::CheckFirmware(session->GetDeviceInfo()->GetFirmwareVersion(), m_services.Url(),
                                       m_temp.filePath(QStringLiteral("temp")), {});
    }
    QString Downloads() const { return m_temp.filePath(QStringLiteral("download/firmware")); }
    QStringList LeftInDownloads() const {
        return QDir(Downloads()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    static bool OnPhone(vexa::DeviceSession* session, const QString& path) {
        return session->GetFileSystem()->PathExists(path);
    }

    std::unique_ptr<BridgeBackend> m_backend;
    std::unique_ptr<vexa::DeviceBridge> m_bridge;
    QTemporaryDir m_temp;
    vexa::services::CServicesThread m_services{m_temp.filePath(QStringLiteral("services"))};
};

TEST_F(FirmwareFlow, AnOfferDownloadsLandsOnThePhoneAndThePhoneComesBackUpdated) {
    vexa::DeviceSession* session = Connect(QStringLiteral("FW-1"), QStringLiteral("VEXA-UI 2.1.0"));
    ASSERT_NE(session, nullptr);
    ASSERT_TRUE(session->CanRebootToUpdate());
    const FirmwareCheck offer = Check(session);
    ASSERT_EQ(offer.result, 1) << offer.error.toStdString();
    EXPECT_EQ(offer.info.model, QStringLiteral("VEXA-UI"));
    EXPECT_EQ(offer.info.newVersion, QStringLiteral("VEXA-UI 2.2.0"));
    EXPECT_EQ(offer.SizeText(), QStringLiteral("3MB")) << "3.3 MiB in whole MiB";
    EXPECT_TRUE(offer.packageUrl.startsWith(m_services.Url() + QStringLiteral("/firmware/")));
    const auto seen = m_services.Services().Requests();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().target, QStringLiteral("/?q=mobile/update/updaterom&model=VEXA-UI_2.1.0"));
    EXPECT_EQ(seen.front().userAgent, QByteArray("handysuite-agent/1.0"));
    EXPECT_TRUE(QDir(m_temp.filePath(QStringLiteral("temp"))).isEmpty()) << "the saved answer is removed once read";

    ASSERT_EQ(firmware::ChooseStorage(session, static_cast<std::uint64_t>(offer.info.size)), FirmwareStorage::Phone);
    std::vector<firmware::DownloadProgress> shown;
    const firmware::DownloadResult download = firmware::DownloadPackage(
        offer, Downloads(), {}, [] { return true; }, [&](const firmware::DownloadProgress& p) { shown.push_back(p); });
    ASSERT_TRUE(download.ok) << download.error.toStdString();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().percent, 100);
    EXPECT_EQ(shown.back().done, offer.info.size);
    EXPECT_EQ(shown.back().total, offer.info.size);
    EXPECT_EQ(LeftInDownloads(), QStringList{QStringLiteral("VEXA-UI_2.2.0.pkg")});

    std::vector<int> copied;
    const firmware::InstallResult installed = firmware::InstallPackage(
        session, download.packagePath, offer, false, {}, [&](int p) { copied.push_back(p); });
    ASSERT_TRUE(installed.ok) << installed.error.toStdString();
    EXPECT_FALSE(copied.empty());
    EXPECT_EQ(installed.remotePath, QStringLiteral("/mnt/sdcard/update.zip"));
    firmware::RememberPendingUpdate(QStringLiteral("FW-1"), QStringLiteral("VEXA-UI 2.1.0"), offer.info.newVersion,
                                    installed);
    EXPECT_FALSE(session->IsConnected()) << "the phone restarts into its updater";
    EXPECT_TRUE(LeftInDownloads().isEmpty()) << "package and update.zip are removed from the computer";
    m_bridge->CloseSession();
    EXPECT_EQ(m_bridge->ConnectUsbDevice(QStringLiteral("FW-1")), 0) << "gone while it reboots";

    ASSERT_TRUE(m_backend->SetAttached(QStringLiteral("FW-1"), true));
    session = Reconnect(QStringLiteral("FW-1"));
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->GetDeviceInfo()->GetFirmwareVersion(), QStringLiteral("VEXA-UI 2.2.0"));
    EXPECT_TRUE(OnPhone(session, QStringLiteral("/mnt/sdcard/update.zip")));
    EXPECT_EQ(firmware::FinishPendingUpdate(session, QStringLiteral("FW-1")), QStringLiteral("VEXA-UI 2.2.0"));
    EXPECT_FALSE(OnPhone(session, QStringLiteral("/mnt/sdcard/update.zip"))) << "removed once the phone runs it";
    EXPECT_TRUE(firmware::FinishPendingUpdate(session, QStringLiteral("FW-1")).isEmpty()) << "said once";
    const FirmwareCheck after = Check(session);
    EXPECT_EQ(after.result, 2);
    EXPECT_EQ(after.errorId, 150);
}

TEST_F(FirmwareFlow, ACancelledDownloadLeavesNothingAnywhere) {
    vexa::DeviceSession* session = Connect(QStringLiteral("FW-3"), QStringLiteral("SLOW-UI 1.0"));
    ASSERT_NE(session, nullptr);
    const FirmwareCheck offer = Check(session);
    ASSERT_EQ(offer.result, 1) << offer.error.toStdString();
    std::vector<qint64> shown;
    std::atomic<bool> cancel{false};
    const firmware::DownloadResult download = firmware::DownloadPackage(
        offer, Downloads(), {}, [&] { return !cancel; },
        [&](const firmware::DownloadProgress& p) {
            EXPECT_LT(p.done, p.total);
            EXPECT_GT(p.bytesPerSecond, 0.0) << "a speed once bytes have arrived";
            shown.push_back(p.percent);
            cancel = shown.size() == 2; // the user presses cancel after two reports
        });
    EXPECT_FALSE(download.ok);
    EXPECT_TRUE(download.cancelled);
    ASSERT_EQ(shown.size(), 2U) << "progress is reported while the package trickles in";
    EXPECT_LT(shown[0], shown[1]);
    EXPECT_LT(shown[1], 100);
    EXPECT_TRUE(LeftInDownloads().isEmpty()) << "no package and no temporary file";
    EXPECT_FALSE(OnPhone(session, QStringLiteral("/mnt/sdcard/update.zip")));

    // A phone that goes away ends the download the same way.
    std::atomic<int> blocks{0};
    const firmware::DownloadResult lost = firmware::DownloadPackage(
        offer, Downloads(), {}, [&] { return ++blocks < 5 && session->IsConnected(); }, {});
    EXPECT_TRUE(lost.cancelled);
    EXPECT_TRUE(LeftInDownloads().isEmpty());
}

// After the restart only the update.zip put there goes, once the phone runs the version it carried.
TEST_F(FirmwareFlow, TheUpdateLeftOnThePhoneIsRemovedOnlyWhenThePhoneRunsItsVersion) {
    struct Case {
        const char* phoneRuns;
        int sizeChange;      // the file on the phone is not the one that was put there
        bool said;           // the new version is reported
        bool fileStays;
        bool recordStays;    // asked again on the next connection
    };
    const Case cases[] = {
        {"CASE-UI 2.0", 0, true, false, false},
        {"CASE-UI 1.0", 0, false, true, true},   // the updater has not run yet
        {"CASE-UI 3.0", 0, false, true, false},  // the phone went its own way
        {"CASE-UI 2.0", 1, true, true, false},   // the user's own update.zip since
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString serial = QStringLiteral("FW-P%1").arg(++n);
        vexa::DeviceSession* session = Connect(serial, QString::fromLatin1(c.phoneRuns));
        ASSERT_NE(session, nullptr);
        const QString local = m_temp.filePath(serial);
        ASSERT_TRUE(vexa::test::WriteFile(local, QByteArray(100 + c.sizeChange, 'u')));
        const QString remote = QStringLiteral("/mnt/sdcard/update.zip");
        ASSERT_TRUE(session->GetFileSystem()->PutFile(
            local, remote, [](std::uint64_t, std::uint64_t, void*) { return true; }, nullptr));
        firmware::InstallResult installed;
        installed.ok = true;
        installed.remotePath = remote;
        installed.remoteSize = 100;
        firmware::RememberPendingUpdate(serial, QStringLiteral("CASE-UI 1.0"), QStringLiteral("CASE-UI 2.0"), installed);
        EXPECT_EQ(firmware::FinishPendingUpdate(session, serial).isEmpty(), !c.said) << c.phoneRuns;
        EXPECT_EQ(OnPhone(session, remote), c.fileStays) << c.phoneRuns;
        EXPECT_EQ(!PCL_GetPendingFirmware(serial).isEmpty(), c.recordStays) << c.phoneRuns;
        PCL_SetPendingFirmware(serial, QString());
        m_bridge->CloseSession();
    }
}

// A package cut short by a server that named no length is a failed download, never reported
// complete (no 100) and never kept (a whole one: AnOfferDownloadsLandsOnThePhone...).
TEST_F(FirmwareFlow, APackageCutShortWithoutALengthIsAFailedDownload) {
    vexa::DeviceSession* session = Connect(QStringLiteral("FW-CUT"), QStringLiteral("SHORT-UI 1.0"));
    ASSERT_NE(session, nullptr);
    const FirmwareCheck offer = Check(session);
    ASSERT_EQ(offer.result, 1) << offer.error.toStdString();
    std::vector<qint64> shown;
    const firmware::DownloadResult download = firmware::DownloadPackage(
        offer, Downloads(), {}, [] { return true; },
        [&](const firmware::DownloadProgress& p) { shown.push_back(p.percent); });
    EXPECT_FALSE(download.ok);
    EXPECT_FALSE(download.cancelled);
    for (const qint64 p : shown) {
        EXPECT_LT(p, 100) << "100 is said of a whole package only";
    }
    EXPECT_TRUE(download.error.contains(QStringLiteral("the offer said %1").arg(offer.info.size)))
        << download.error.toStdString();
    EXPECT_TRUE(LeftInDownloads().isEmpty()) << "no package and no temporary file";
}

TEST_F(FirmwareFlow, StorageGoesToTheCardWhenOnlyTheCardHasRoomAndToNeitherWhenNoneHas) {
    struct Case {
        std::uint64_t phoneFree;
        bool card;
        std::uint64_t cardFree;
        std::uint64_t size;
        FirmwareStorage expected;
    };
    const Case cases[] = {
        {100, true, 1000, 100, FirmwareStorage::Phone}, {99, true, 1000, 100, FirmwareStorage::Card},
        {99, true, 100, 100, FirmwareStorage::Card},    {99, true, 99, 100, FirmwareStorage::NoSpace},
        {99, false, 1000, 100, FirmwareStorage::NoSpace},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(firmware::ChooseStorage(c.phoneFree, c.card, c.cardFree, c.size), c.expected)
            << c.phoneFree << " " << c.card << " " << c.cardFree;
    }

    vexa::DeviceSession* huge = Connect(QStringLiteral("FW-4"), QStringLiteral("HUGE-UI 1.0"));
    ASSERT_NE(huge, nullptr);
    const FirmwareCheck big = Check(huge);
    ASSERT_EQ(big.result, 1);
    EXPECT_EQ(big.info.size, vexa::services::kHugePackageBytes);
    EXPECT_EQ(big.SizeText(), QStringLiteral("65536MB"));
    EXPECT_EQ(firmware::ChooseStorage(huge, static_cast<std::uint64_t>(big.info.size)), FirmwareStorage::NoSpace);
    m_bridge->CloseSession();

    // A phone storage that is nearly full: the package goes to the card and the reboot asks for it there.
    vexa::DeviceSession* session = Connect(QStringLiteral("FW-5"), QStringLiteral("VEXA-UI 2.1.0"));
    ASSERT_NE(session, nullptr);
    const FirmwareCheck offer = Check(session);
    ASSERT_EQ(offer.result, 1);
    vexa::FileSystem* fs = session->GetFileSystem();
    ASSERT_TRUE(fs->RefreshStorageInfo());
    const std::uint64_t used = fs->GetPhoneTotalSpace() - fs->GetPhoneFreeSpace();
    vexa::sim::SimDb db;
    QString error;
    ASSERT_TRUE(db.Open(vexa::sim::PhoneFilePath(QStringLiteral("FW-5")), &error) &&
                db.SetMeta("phone_total", QString::number(used + 1000)));
    ASSERT_EQ(firmware::ChooseStorage(session, static_cast<std::uint64_t>(offer.info.size)), FirmwareStorage::Card);
    const firmware::DownloadResult download = firmware::DownloadPackage(offer, Downloads(), {}, [] { return true; }, {});
    ASSERT_TRUE(download.ok);
    const firmware::InstallResult installed = firmware::InstallPackage(session, download.packagePath, offer, true, {}, {});
    ASSERT_TRUE(installed.ok) << installed.error.toStdString();
    m_bridge->CloseSession();
    ASSERT_TRUE(m_backend->SetAttached(QStringLiteral("FW-5"), true));
    session = Reconnect(QStringLiteral("FW-5"));
    ASSERT_NE(session, nullptr);
    EXPECT_TRUE(OnPhone(session, QStringLiteral("/mnt/sdcard/external_sd/update.zip")));
    EXPECT_FALSE(OnPhone(session, QStringLiteral("/mnt/sdcard/update.zip")));
    EXPECT_EQ(session->GetDeviceInfo()->GetFirmwareVersion(), QStringLiteral("VEXA-UI 2.2.0"));
}

TEST_F(FirmwareFlow, QueryFailuresNameTheirErrorAndTheQueryGoesThroughTheProxy) {
    const QString temp = m_temp.filePath(QStringLiteral("temp"));
    // An unreadable version text never reaches the network.
    FirmwareCheck check = firmware::CheckFirmware(QStringLiteral("garbage"), m_services.Url(), temp, {});
    EXPECT_EQ(check.errorId, 153);
    EXPECT_TRUE(m_services.Services().Requests().empty());

    EXPECT_EQ(firmware::CheckFirmware(QStringLiteral("VEXA-UI 2.1.0"), {}, temp, {}).errorId, 152) << "no host set";
    int closedPort = 0;
    {
        LocalHttpServer gone;
        closedPort = gone.Port();
    }
    EXPECT_EQ(firmware::CheckFirmware(QStringLiteral("VEXA-UI 2.1.0"),
                                      QStringLiteral("http://127.0.0.1:%1").arg(closedPort), temp, {})
                  .errorId,
              152);

    struct Case {
        CannedReply reply;
        int errorId;
    };
    const Case cases[] = {
        {{200, "<firmware><status>new</status>"}, 149},                // truncated
        {{200, std::string(200000, 'x')}, 149},                        // oversized
        {{404, "<firmware><status>current</status></firmware>"}, 152}, // not found is no answer
        {{200, "<firmware><status>new</status><version>X 2</version><url>ftp://x/y</url><size>5</size></firmware>"},
         149}, // a package address the program cannot fetch
        {{200, "<firmware><status>current</status></firmware>"}, 150},
    };
    for (const Case& c : cases) {
        LocalHttpServer server({c.reply});
        check = firmware::CheckFirmware(QStringLiteral("VEXA-UI 2.1.0"), QString::fromStdString(server.BaseUrl()),
                                        temp, {});
        EXPECT_EQ(check.result, 2);
        EXPECT_EQ(check.errorId, c.errorId) << c.reply.body.substr(0, 40);
    }
    // The manifest cannot be saved: a file where the folder should be.
    const QString blocked = m_temp.filePath(QStringLiteral("blocked"));
    ASSERT_TRUE(vexa::test::WriteFile(blocked, {}));
    EXPECT_EQ(firmware::CheckFirmware(QStringLiteral("VEXA-UI 2.1.0"), m_services.Url(), blocked, {}).errorId, 151);

    // Through a proxy, with its credentials.
    LocalHttpServer proxy({{200, "<firmware><status>current</status></firmware>"}});
    const firmware::FirmwareProxy through{QStringLiteral("127.0.0.1:%1").arg(proxy.Port()), QStringLiteral("u:p")};
    check = firmware::CheckFirmware(QStringLiteral("VEXA-UI 2.1.0"), QStringLiteral("http://firmware.invalid"), temp,
                                    through);
    EXPECT_EQ(check.errorId, 150);
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_EQ(requests[0].path, "http://firmware.invalid/?q=mobile/update/updaterom&model=VEXA-UI_2.1.0");
    EXPECT_NE(requests[0].headers.find("Proxy-Authorization: Basic dTpw"), std::string::npos);
    EXPECT_NE(requests[0].headers.find("User-Agent: handysuite-agent/1.0"), std::string::npos);
}

// The check keeps its answer in a private folder, whatever folder it is handed.
TEST_F(FirmwareFlow, APlantedLinkInTheSharedTemporaryFolderIsNeverFollowed) {
    const QByteArray oldTmp = qgetenv("TMPDIR");
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
    const QString shared = m_temp.filePath(QStringLiteral("shared-tmp"));
    const QString victim = m_temp.filePath(QStringLiteral("victim-home"));
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_TRUE(QDir().mkpath(victim));
    const QByteArray kMine = "the victim's own file\n";
    ASSERT_TRUE(vexa::test::WriteFile(victim + QStringLiteral("/VEXA-UI_2.1.0.manifest"), kMine));
    ASSERT_TRUE(QFile::link(victim, shared + QStringLiteral("/vexa-firmware")));
    qputenv("TMPDIR", QFile::encodeName(shared));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_temp.filePath(QStringLiteral("cache"))));

    struct Case {
        const char* what;
        QByteArray runtime; // XDG_RUNTIME_DIR; empty: unset
        bool givenShared;   // the caller hands the shared folder itself
    };
    const QString runtime = m_temp.filePath(QStringLiteral("runtime"));
    ASSERT_TRUE(QDir().mkpath(runtime));
    ASSERT_TRUE(QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    const Case cases[] = {
        {"in the runtime folder", QFile::encodeName(runtime), false},
        {"without a runtime folder", {}, false},
        {"handed the shared folder", QFile::encodeName(runtime), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.runtime.isEmpty()) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            qputenv("XDG_RUNTIME_DIR", c.runtime);
        }
        const QString folder = c.givenShared ? shared : firmware::TempFolder();
        EXPECT_FALSE(folder.startsWith(shared + u'/') || (!c.givenShared && folder == shared)) << folder.toStdString();
        const FirmwareCheck check = firmware::CheckFirmware(QStringLiteral("VEXA-UI 2.1.0"), m_services.Url(), folder, {});
        EXPECT_EQ(check.result, 1) << check.error.toStdString();
        EXPECT_EQ(vexa::test::ReadFile(victim + QStringLiteral("/VEXA-UI_2.1.0.manifest")), kMine);
        EXPECT_EQ(QFileInfo(shared + QStringLiteral("/vexa-firmware")).symLinkTarget(), victim);
        // The check's own folder went with the answer.
        EXPECT_EQ(QDir(folder).entryList({QStringLiteral("vexa-firmware-*")}, QDir::AllEntries | QDir::Hidden),
                  QStringList{}) << folder.toStdString();
    }
    for (const auto& [name, old] : {std::pair{"TMPDIR", oldTmp}, std::pair{"XDG_RUNTIME_DIR", oldRuntime},
                                    std::pair{"XDG_CACHE_HOME", oldCache}}) {
        old.isEmpty() ? qunsetenv(name) : qputenv(name, old);
    }
}

} // namespace
