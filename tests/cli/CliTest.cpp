// The shared part of vexa-cli: argument handling and connecting like the program; the device
// commands (screen grab, firmware).
#include "CliTestSupport.h"
#include "LocalServices.h"
#include "TestFiles.h"
#include "bridge/sim/SimDb.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <gtest/gtest.h>

namespace {

using CliTest = CliFixture;

TEST_F(CliTest, CommandLineErrorsAreUsageErrors) {
    RunSteps({{{"--phone"}, kCliUsage}, {{"--bridge", "usb", "device", "info"}, kCliUsage},
              {{"device", "info", "extra"}, kCliUsage}});
    EXPECT_EQ(Run({}), kCliUsage);
    EXPECT_TRUE(m_err.contains("usage: vexa-cli"));
    EXPECT_EQ(Run({"frobnicate"}), kCliUsage);
    EXPECT_TRUE(m_err.contains("unknown command \"frobnicate\""));
    // Help lists every registered group's forms on standard output and succeeds.
    EXPECT_EQ(Run({"--help"}), kCliOk);
    EXPECT_TRUE(m_out.contains("vexa-cli [--phone SERIAL] device info"));
    EXPECT_TRUE(m_out.contains("--bridge sim|adb|auto"));
}

TEST_F(CliTest, ConnectsTheNamedPhoneOrTheFirstOfTheMakersOrSaysWhyNot) {
    AddPhone("other-1", "acme");
    // Another brand's phone is not offered, and a folder with a phone gets no demo phone.
    RunSteps({{{"device", "info"}, kCliFailed, Str(2217)}});
    EXPECT_EQ(Run({"--phone", "other-1", "device", "info"}), kCliFailed);
    EXPECT_TRUE(m_err.startsWith(Str(2217)));

    AddPhone("vexa-2");
    AddPhone("vexa-3");
    ASSERT_EQ(Run({"--bridge", "sim", "--phone", "vexa-3", "device", "info"}), kCliOk) << m_err.toStdString();
    EXPECT_TRUE(m_out.contains("serial: vexa-3\n"));
    EXPECT_TRUE(m_out.contains("brand: vexa\n"));

    // Without --phone: a phone of the maker, never another brand's.
    ASSERT_EQ(Run({"device", "info"}), kCliOk) << m_err.toStdString();
    EXPECT_FALSE(m_out.contains("other-1"));
    EXPECT_TRUE(m_out.contains("serial: vexa-"));

    AddPhone("old-1", "vexa", "V180");
    EXPECT_EQ(Run({"--phone", "old-1", "device", "info"}), kCliFailed);
    EXPECT_EQ(m_err.trimmed(), Str(2220));
    EXPECT_TRUE(m_out.isEmpty());
}

// The user's only phone file is damaged, or was copied under another name: commands say which file
// cannot be used, and no demo phone appears for them to reach instead.
TEST_F(CliTest, UnusablePhoneFilesAreNamedAndNeverReplacedByTheDemo) {
    AddPhone("vexa-5");
    const QString folder = vexa::sim::SimFolder();
    ASSERT_TRUE(QFile::rename(folder + "/vexa-5.vexaphone", folder + "/copy.vexaphone"));
    ASSERT_TRUE(vexa::test::WriteFile(folder + "/vexa-6.vexaphone", "SQLite format 3\0 cut short"));
    const QString vcf = Write("a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:X\r\nEND:VCARD\r\n");

    for (const QStringList& command : {QStringList{"device", "info"}, QStringList{"contacts", "import", vcf}}) {
        SCOPED_TRACE(command.join(' ').toStdString());
        EXPECT_EQ(Run(command), kCliFailed);
        const QStringList lines = m_err.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 3) << m_err.toStdString();
        EXPECT_EQ(lines[0], Str(2217));
        EXPECT_TRUE(lines[1].startsWith(FormatText(Str(2701), "copy.vexaphone: it holds phone vexa-5")));
        EXPECT_TRUE(lines[2].startsWith(FormatText(Str(2701), "vexa-6.vexaphone: ")));
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 2);
}

// A link outside the simulator folder that points at the phone's own file: each kind of writer (a
// whole file at once, a streamed one, a download) resolves it before checking. Other links: AtomicFileTest.
TEST_F(CliTest, NoWriterReplacesThePhonesOwnFileThroughALink) {
    AddPhone("vexa-7");
    Seed("vexa-7", {.contacts = 3});
    ASSERT_EQ(Run({"files", "push", Write("up.txt", "payload"), "/mnt/sdcard/up.txt"}), kCliOk) << m_err.toStdString();

    const QString phone = vexa::sim::PhoneFilePath("vexa-7");
    // The phone may change its own file while it works; an export over it would not be SQLite.
    const auto stillThePhone = [&phone] { return vexa::test::ReadFile(phone).startsWith(QByteArray("SQLite format 3\0", 16)); };
    ASSERT_TRUE(stillThePhone());
    ASSERT_EQ(Run({"contacts", "count"}), kCliOk) << m_err.toStdString();
    const QString contacts = m_out;
    const QString link = Path("innocent.out");
    ASSERT_TRUE(QFile::link(phone, link));
    for (const QStringList& command :
         {QStringList{"backup", "create", "--modules", "contacts", link},
          QStringList{"contacts", "export", "--format", "csv", link},
          QStringList{"files", "pull", "/mnt/sdcard/up.txt", link}}) {
        SCOPED_TRACE(command.join(' ').toStdString());
        EXPECT_EQ(Run(command), kCliFailed) << m_out.toStdString();
        EXPECT_TRUE(stillThePhone());
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), phone);
    }
    // The phone still works and holds what it held, and the same commands write an ordinary file.
    ASSERT_EQ(Run({"contacts", "count"}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(m_out, contacts);
    ASSERT_EQ(Run({"contacts", "export", "--format", "csv", Path("plain.csv")}), kCliOk) << m_err.toStdString();
    EXPECT_TRUE(stillThePhone());
}

// vexa-cli screen grab from a simulated phone (raw frames over adb: AdbBackendTest, PhoneDeviceTest).
class CliScreenTest : public CliFixture {
protected:
    // A phone whose screen is width x height, seeded with its frames unless frames is false.
    void AddScreenPhone(const QString& serial, int width, int height, bool frames = true) {
        AddPhone(serial);
        {
            vexa::sim::SimDb db;
            QString error;
            ASSERT_TRUE(db.Open(vexa::sim::PhoneFilePath(serial), &error) &&
                        db.SetMeta("screen_width", QString::number(width)) &&
                        db.SetMeta("screen_height", QString::number(height)));
        }
        Seed(serial, {.smallStores = false, .screenFrames = frames});
    }
};

TEST_F(CliScreenTest, GrabWritesAPngOfThePhonesSizeOrSaysWhyNot) {
    AddScreenPhone(QStringLiteral("vexa-scr"), 720, 1280);
    AddScreenPhone(QStringLiteral("vexa-blank"), 480, 854, false);
    const QString named = Path(QStringLiteral("shot.png"));
    ASSERT_EQ(Run({"--phone", "vexa-scr", "screen", "grab", named}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(m_out, Str(137) + u' ' + named + QStringLiteral(" 720x1280\n"));
    const QImageReader written(named);
    EXPECT_EQ(std::make_pair(written.format(), written.size()), std::make_pair(QByteArray("png"), QSize(720, 1280)));

    const QString existing = Write(QStringLiteral("old.png"), QByteArray("keep me"));
    EXPECT_EQ(Run({"--phone", "vexa-blank", "screen", "grab", existing}), kCliFailed);
    EXPECT_TRUE(m_err.startsWith(Str(136) + u' ' + Str(3287))) << m_err.toStdString();
    EXPECT_EQ(vexa::test::ReadFile(existing), QByteArray("keep me"));
    EXPECT_EQ(Run({"screen", "grab", "a", "b"}), kCliUsage);
    EXPECT_TRUE(m_err.contains("screen grab FILE.png")) << m_err.toStdString();
}

// vexa-cli firmware against vexa-services in-process.
class CliFirmwareTest : public CliFixture {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(m_services.Start(&error)) << error.toStdString();
        qputenv("VEXA_FIRMWARE_HOST", m_services.Url().toUtf8());
    }
    void TearDown() override { qunsetenv("VEXA_FIRMWARE_HOST"); }

    vexa::services::CServicesThread m_services{m_folders.Root() + QStringLiteral("/services")};
};

// A phone over adb, which cannot take an update: the bridge suite and FirmwareWidgetTest.
TEST_F(CliFirmwareTest, CheckUpdateAndCheckAgainAfterTheRebootAndTheRefusals) {
    AddPhone(QStringLiteral("FW-CLI"));
    ASSERT_EQ(Run({"firmware", "check"}), kCliOk) << m_err.toStdString();
    EXPECT_TRUE(m_out.contains(FormatText(Str(3100), "VEXA-UI 2.2.0") + u'\n')) << m_out.toStdString();

    ASSERT_EQ(Run({"firmware", "update"}), kCliOk) << m_err.toStdString();
    EXPECT_TRUE(m_out.contains(FormatText(Str(3112), qUtf8Printable(Str(3113))))) << m_out.toStdString();
    EXPECT_TRUE(m_out.endsWith(Str(145) + u'\n')) << m_out.toStdString();
    EXPECT_NE(Run({"firmware", "check"}), kCliOk) << "the phone is away while it restarts";

    QString error;
    ASSERT_TRUE(vexa::sim::SetAttached(QStringLiteral("FW-CLI"), true, &error));
    ASSERT_EQ(Run({"firmware", "check"}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(m_out, FormatText(Str(3102), "VEXA-UI 2.2.0") + u'\n' + Str(150) + u'\n');

    RunSteps({{{"firmware", "check", "extra"}, kCliUsage}});

    // A package too large for the phone and its card: refused before anything is fetched.
    ASSERT_TRUE(vexa::sim::CreatePhone({.model = "V960", .serial = "FW-HUGE", .firmware = "HUGE-UI 1.0"}, &error))
        << error.toStdString();
    const std::size_t before = m_services.Services().Requests().size();
    RunSteps({{{"--phone", "FW-HUGE", "firmware", "update"}, kCliFailed, Str(634)}});
    const auto seen = m_services.Services().Requests();
    for (std::size_t i = before; i < seen.size(); ++i) {
        EXPECT_FALSE(seen[i].target.startsWith(QLatin1String("/firmware/"))) << seen[i].target.toStdString();
    }
}

} // namespace
