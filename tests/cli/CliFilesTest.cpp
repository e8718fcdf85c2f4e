// vexa-cli files, pictures and apps against a simulated phone. What a pull does to a FIFO, a device or
// a link it lands on is the atomic writer's, which every download goes through (AtomicFileTest).
#include "../pictures/PictureTestImages.h"
#include "CliTestSupport.h"
#include "TestApk.h"
#include "TestFiles.h"
#include "bridge/sim/SimDb.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

class CliFilesTest : public CliFixture {
protected:
    void AddCardPhone(const QString& serial) {
        QString error;
        ASSERT_TRUE(vexa::sim::CreatePhone({.model = "V960", .serial = serial, .sdCard = true}, &error))
            << error.toStdString();
    }
};

TEST_F(CliFilesTest, EveryFormAndItsFailures) {
    AddCardPhone(QStringLiteral("vexa-files"));
    const QString root = QStringLiteral("/mnt/sdcard");
    const QString name = QStringLiteral("it's a \"$x\"\nline.txt");
    const QString local = Write(QStringLiteral("up.bin"), "payload");
    EXPECT_EQ(Run({"files", "mkdir", root + QStringLiteral("/工作")}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(Run({"files", "push", local, root + QStringLiteral("/工作/") + name}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(Run({"files", "cp", root + QStringLiteral("/工作/") + name, root + QStringLiteral("/copy.txt")}), kCliOk);
    EXPECT_EQ(Run({"files", "mv", root + QStringLiteral("/copy.txt"), root + QStringLiteral("/工作/")}), kCliOk);
    ASSERT_EQ(Run({"files", "ls", root + QStringLiteral("/工作")}), kCliOk);
    const QStringList lines = m_out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << m_out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("f\t7\t"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("\tit's a \"$x\"\\nline.txt")));
    EXPECT_EQ(lines[1].section(u'\t', 2, 2).size(), 19); // yyyy-MM-dd HH:mm:ss
    const QString back = Path(QStringLiteral("back.bin"));
    EXPECT_EQ(Run({"files", "pull", root + QStringLiteral("/工作/") + name, back}), kCliOk);
    EXPECT_EQ(vexa::test::ReadFile(back), "payload");

    RunSteps({
        {{"files", "push", Path(QStringLiteral("missing")), root}, kCliFailed, FormatText(Str(2801), qUtf8Printable(Path(QStringLiteral("missing"))))},
        {{"files", "pull", root + QStringLiteral("/none"), back}, kCliFailed,
         Str(996) + u'\n' + FormatText(Str(3469), qUtf8Printable(root + QStringLiteral("/none")))},
        // A storage root by any name is refused before the phone is asked (which names: the bridge suite).
        {{"files", "rm", root}, kCliFailed, FormatText(Str(2829), qUtf8Printable(root))},
        {{"files", "rm", "Download"}, kCliFailed, FormatText(Str(2830), "Download")},
        {{"files", "ls", root + QStringLiteral("/工作/copy.txt/")}, kCliFailed, FormatText(Str(2800), qUtf8Printable(root + QStringLiteral("/工作/copy.txt/")))},
        {{"files", "cp", root}, kCliUsage},
    });
    EXPECT_EQ(Run({"files", "rm", root + QStringLiteral("/工作/") + name, root + QStringLiteral("/工作/copy.txt")}), kCliOk);
    ASSERT_EQ(Run({"files", "ls", root + QStringLiteral("/工作")}), kCliOk);
    EXPECT_TRUE(m_out.isEmpty());
}

TEST_F(CliFilesTest, ALocalNameThatIsNoTextIsRefusedWithTheReason) {
    const QByteArray raw = QFile::encodeName(m_folders.Root()) + "/bad\xff\xfename.txt";
    FILE* file = std::fopen(raw.constData(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("payload", file);
    std::fclose(file);
    // The name's bytes reach the program as they are, past QProcess's text arguments.
    QProcess cli;
    cli.start(QStringLiteral("/bin/sh"),
              {QStringLiteral("-c"), QStringLiteral("exec \"$0\" files push \"$(printf '%s' \"$1\" | base64 -d)\" /sdcard/"),
               QStringLiteral(VEXA_CLI_PATH), QString::fromLatin1(raw.toBase64())});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), kCliFailed);
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_EQ(err, FormatText(Str(2831), qUtf8Printable(QFile::decodeName(raw))) + u'\n');
    EXPECT_EQ(std::remove(raw.constData()), 0); // Qt cannot name it to clean up
}

class CliPicturesTest : public CliFixture {
protected:
    void SetUp() override {
        AddPhone(QStringLiteral("vexa-pic"));
        Seed(QStringLiteral("vexa-pic"), {.pictures = 12});
    }
    // album name -> "location\tcount"
    std::map<QString, QString> Albums() {
        EXPECT_EQ(Run({"pictures", "albums"}), kCliOk) << m_err.toStdString();
        std::map<QString, QString> albums;
        for (const QString& line : m_out.split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(u'\t');
            EXPECT_EQ(fields.size(), 3) << line.toStdString();
            albums[fields.value(0)] = fields.value(1) + u'\t' + fields.value(2);
        }
        return albums;
    }
};

TEST_F(CliPicturesTest, ListsExportsImportsDeletesAndRefuses) {
    std::map<QString, QString> albums = Albums();
    ASSERT_TRUE(albums.count(QStringLiteral("Camera")));
    EXPECT_TRUE(albums[QStringLiteral("Camera")].startsWith(Str(836) + QStringLiteral("/DCIM/Camera\t")));
    const int seeded = albums[QStringLiteral("Camera")].section(u'\t', 1).toInt();
    ASSERT_GT(seeded, 0);

    QDir out(Path(QStringLiteral("out")));
    ASSERT_TRUE(out.mkpath(QStringLiteral(".")));
    const QString a = Write(QStringLiteral("a.jpg"), pictures::test::MakeJpeg(1));
    const QString b = Write(QStringLiteral("b.jpg"), pictures::test::MakeJpeg(2));
    RunSteps({{{"pictures", "export", "--album", "Camera", out.path()}, kCliOk, FormatText(Str(815), seeded)},
              {{"pictures", "import", "--album", "Camera", a, b}, kCliOk, FormatText(Str(820), 2)},
              // A missing album is made (over adb too: PictureLibraryTest); a name no album may carry makes nothing.
              {{"pictures", "import", "--album", "旅行", a}, kCliOk, FormatText(Str(820), 1)},
              {{"pictures", "import", "--album", "a:b", a}, kCliFailed, Str(1005)}});
    EXPECT_EQ(out.entryList(QDir::Files).size(), seeded);
    albums = Albums();
    EXPECT_TRUE(albums[QStringLiteral("Camera")].endsWith(QStringLiteral("\t%1").arg(seeded + 2)));
    EXPECT_EQ(albums.at(QStringLiteral("旅行")), Str(836) + QStringLiteral("/旅行\t1"));
    EXPECT_EQ(albums.count(QStringLiteral("a:b")), 0U);
    RunSteps({{{"pictures", "delete", "--album", "Camera", "a.jpg", "b.jpg"}, kCliOk, FormatText(Str(2925), 2)}});
    EXPECT_TRUE(Albums()[QStringLiteral("Camera")].endsWith(QStringLiteral("\t%1").arg(seeded)));

    // Links under the pictures' names pointing out of the chosen folder are never written through.
    const QStringList names = out.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 2);
    QDir linked(Path(QStringLiteral("linked")));
    QDir outside(Path(QStringLiteral("outside")));
    ASSERT_TRUE(linked.mkpath(QStringLiteral(".")));
    ASSERT_TRUE(outside.mkpath(QStringLiteral(".")));
    const QByteArray kTheirs = "not a picture of the export's\n";
    ASSERT_TRUE(vexa::test::WriteFile(outside.filePath(QStringLiteral("existing")), kTheirs));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("created-through-link")), linked.filePath(names[0])));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("existing")), linked.filePath(names[1])));
    ASSERT_EQ(Run({"pictures", "export", "--album", "Camera", linked.path()}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(outside.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("existing")});
    EXPECT_EQ(vexa::test::ReadFile(outside.filePath(QStringLiteral("existing"))), kTheirs);
    EXPECT_TRUE(QFileInfo(linked.filePath(names[0])).isSymLink());
    EXPECT_TRUE(QFileInfo(linked.filePath(names[1])).isSymLink());
    // Every picture is there, as a file of its own in the folder.
    int files = 0;
    for (const QFileInfo& entry : linked.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        files += entry.isSymLink() ? 0 : 1;
    }
    EXPECT_EQ(files, names.size());

    const QString text = Write(QStringLiteral("notes.jpg"), "not a picture");
    const QString empty = Write(QStringLiteral("zero.jpg"), {});
    const QString good = Write(QStringLiteral("good.jpg"), pictures::test::MakeJpeg(3));
    EXPECT_EQ(Run({"pictures", "import", "--album", "Camera", text, empty, good}), kCliFailed);
    EXPECT_EQ(m_out, FormatText(Str(820), 1) + u'\n');
    EXPECT_EQ(m_err, FormatText(Str(2900), "notes.jpg") + u'\n' + FormatText(Str(2901), "zero.jpg") + u'\n');

    RunSteps({
        {{"pictures", "delete", "--album", "Camera", "good.jpg", "missing.jpg"},
         kCliFailed,
         FormatText(Str(2912), "missing.jpg")},
        // Nothing was deleted by the refused command: good.jpg is still there to delete.
        {{"pictures", "delete", "--album", "Camera", "good.jpg"}, kCliOk},
        {{"pictures"}, kCliUsage},
    });
}

class CliAppsTest : public CliFixture {
protected:
    void SetUp() override {
        AddPhone(QStringLiteral("vexa-apps"));
        Seed(QStringLiteral("vexa-apps"), {.apps = 28});
    }
    // package -> the other fields of its line
    std::map<QString, QStringList> List(bool system = false) {
        EXPECT_EQ(Run(system ? QStringList{"apps", "list", "--system"} : QStringList{"apps", "list"}), kCliOk);
        std::map<QString, QStringList> apps;
        for (const QString& line : m_out.split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(u'\t');
            EXPECT_EQ(fields.size(), 4) << line.toStdString();
            apps[fields.value(0)] = fields.mid(1);
        }
        return apps;
    }
};

// The same round trip on the simulated phone and through the adb server and vexa-adbd, to a phone
// of API level 15 (the package pushed, then pm install) and of 30 (streamed to cmd package install).
class CliAppsRoundTripTest : public CliAppsTest, public ::testing::WithParamInterface<int> {};

TEST_P(CliAppsRoundTripTest, ExportUninstallInstallRoundTrip) {
    if (const int sdk = GetParam(); sdk != 0) {
        SKIP_WITHOUT_ADB();
        vexa::sim::SimDb db;
        QString error;
        ASSERT_TRUE(db.Open(vexa::sim::PhoneFilePath("vexa-apps"), &error) && db.SetMeta("sdk", QString::number(sdk)));
        ASSERT_NO_FATAL_FAILURE(UseAdb(QStringLiteral("vexa-apps")));
    }
    const auto user = List();
    const auto system = List(true);
    EXPECT_EQ(user.size(), 22u);
    EXPECT_EQ(system.size(), 6u);
    ASSERT_TRUE(user.count(QStringLiteral("com.vexa.app0")));
    const QStringList first = user.at(QStringLiteral("com.vexa.app0"));
    EXPECT_EQ(first.value(2), QStringLiteral("微信"));
    EXPECT_GT(first.value(1).toLongLong(), 0);

    const QString file = Path(QStringLiteral("微信 \"copy\".apk"));
    RunSteps({{{"apps", "export", "com.vexa.app0", file}, kCliOk, FormatText(Str(3011), qUtf8Printable(file))},
              {{"apps", "uninstall", "com.vexa.app0"}, kCliOk, FormatText(Str(3010), 1)}});
    EXPECT_EQ(List().size(), user.size() - 1);
    RunSteps({{{"apps", "install", file}, kCliOk, FormatText(Str(3009), 1)}});
    const auto after = List();
    EXPECT_EQ(after.size(), user.size());
    ASSERT_TRUE(after.count(QStringLiteral("com.vexa.app0")));
    EXPECT_EQ(after.at(QStringLiteral("com.vexa.app0")).value(0), first.value(0));
}
INSTANTIATE_TEST_SUITE_P(Backends, CliAppsRoundTripTest, ::testing::Values(0, 15, 30), [](const auto& info) {
    return info.param == 0 ? std::string("Sim") : "AdbSdk" + std::to_string(info.param);
});

TEST_F(CliAppsTest, RefusesWithReasonsAndFailingExits) {
    // A label with a tab and a line break cannot split the listing's line or fields.
    const QString good =
        Write(QStringLiteral("ok.apk"),
              MakeTestApk(QStringLiteral("com.t.ok"), 1, QStringLiteral("1.0"), QStringLiteral("O\tK\n2"), {}, {}));
    const QString junk = Write(QStringLiteral("junk.apk"), QByteArray(3000, 'j'));
    EXPECT_EQ(Run({"apps", "install", junk, good}), kCliFailed);
    EXPECT_EQ(m_out, FormatText(Str(3009), 1) + u'\n');
    EXPECT_EQ(m_err, FormatText(Str(3003), "junk.apk") + u'\n' + FormatText(Str(655), 1) + u'\n');

    EXPECT_EQ(List().at(QStringLiteral("com.t.ok")).value(2), QStringLiteral("O\\tK\\n2"));
    const auto system = *List(true).begin();
    EXPECT_EQ(Run({"apps", "uninstall", "com.t.ok", system.first}), kCliFailed);
    EXPECT_EQ(m_err, FormatText(Str(3007), qUtf8Printable(system.second.value(2))) + u'\n');
    EXPECT_TRUE(List().count(QStringLiteral("com.t.ok"))) << "nothing removed by a refused uninstall";
    RunSteps({{{"apps"}, kCliUsage}});
}

} // namespace
