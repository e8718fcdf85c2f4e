#include "app/AppOptions.h"
#include "TestFiles.h"
#include "app/AppComponents.h"
#include "app/AutoRun.h"
#include "libs/prefs/Prefs.h"

#include "TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(QtTranslations, QtsOwnDialogTextsSpeakChinese) {
    ASSERT_TRUE(InstallQtTranslations()) << "qt6-translations-l10n is installed by scripts/bootstrap";
    const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
    EXPECT_NE(cancel, QStringLiteral("Cancel"));
    EXPECT_TRUE(cancel.contains(QStringLiteral("取消"))) << cancel.toStdString();
}

AppOptions Parse(std::initializer_list<const char*> args) {
    QStringList list{QStringLiteral("vexa-assistant")};
    for (const char* a : args) {
        list << QString::fromUtf8(a);
    }
    return ParseAppOptions(list);
}

TEST(AppOptions, HideWindowAnywhereCaseSensitiveScreenshotPageDialogAndBridge) {
    EXPECT_FALSE(Parse({}).hideWindow);
    EXPECT_TRUE(Parse({"HideWindow"}).hideWindow);
    EXPECT_TRUE(Parse({"--foo", "x-HideWindow-y"}).hideWindow);
    EXPECT_FALSE(Parse({"hidewindow"}).hideWindow);

    const AppOptions o = Parse({"--screenshot", "/tmp/a.png", "--page", "home", "--bridge", "adb"});
    EXPECT_TRUE(o.error.isEmpty());
    EXPECT_EQ(o.screenshotFile, QStringLiteral("/tmp/a.png"));
    EXPECT_EQ(o.page, QStringLiteral("home"));
    EXPECT_EQ(o.bridge, QStringLiteral("adb"));
    EXPECT_FALSE(Parse({"--bridge", "usb"}).error.isEmpty());
    EXPECT_FALSE(Parse({"--screenshot"}).error.isEmpty());
    // A dialog picture excludes a page.
    const AppOptions d = Parse({"--screenshot", "/tmp/b.png", "--dialog", "progress"});
    EXPECT_TRUE(d.error.isEmpty());
    EXPECT_EQ(d.dialog, QStringLiteral("progress"));
    EXPECT_TRUE(d.page.isEmpty());
    EXPECT_FALSE(Parse({"--screenshot", "/tmp/b.png", "--dialog", "progress", "--page", "home"}).error.isEmpty());
    EXPECT_FALSE(Parse({"--dialog"}).error.isEmpty());
}

TEST(AppOptions, HelpVersionAndUnknownOptions) {
    struct Case {
        std::initializer_list<const char*> args;
        bool help, version, error;
    };
    const Case cases[] = {
        {{"-h", "--bridge", "sim"}, true, false, false}, {{"--version"}, false, true, false},
        {{"-x", "--help"}, true, false, true},           {{"--HideWindow"}, false, false, false},
        {{"--screenshot", "-a.png"}, false, false, false}, // a value, not an option
    };
    for (const Case& c : cases) {
        const AppOptions o = Parse(c.args);
        EXPECT_EQ(std::tuple(o.help, o.version, !o.error.isEmpty()), std::tuple(c.help, c.version, c.error))
            << *c.args.begin();
    }
}

TEST(StartupHostInfo, ProxyIsReportedOnlyWhenTheSettingsAskForTheSystemProxy) {
    ScopedTestFolders folders;
    ASSERT_TRUE(PCL_Load(QDir(folders.Root()).filePath(QStringLiteral("p.ini"))));
    const QByteArray old = qgetenv("https_proxy");
    qputenv("https_proxy", "http://gw.lan:8080");

    HostInfoRecord r = StartupHostInfo();
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::ProxyServer), QString()) << "type 0: no proxy";
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::Channel), QStringLiteral("10008"));

    INTERNET_SETTINGS s{};
    s.m_proxyType = 1;
    PCL_SetInternetSettings(&s);
    r = StartupHostInfo();
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::ProxyServer), QStringLiteral("gw.lan:8080"));
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::ProxyCredentials), QString()) << "no credentials given";

    SetInternetField(s.m_user, QStringLiteral("me"));
    PCL_SetInternetSettings(&s);
    r = StartupHostInfo();
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::ProxyCredentials), QStringLiteral("me:"));

    qputenv("https_proxy", old);
}

TEST(AutoRun, EntryStartsTheProgramHiddenAndCanBeRemoved) {
    ScopedTestFolders folders;
    EXPECT_FALSE(IsAutoRunSet());
    ASSERT_TRUE(SetAutoRun(true));
    EXPECT_TRUE(IsAutoRunSet());
    EXPECT_TRUE(AutoRunEntryPath().startsWith(folders.Root()));
    QFile entry(AutoRunEntryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("Name=VEXA 手机助手\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\" HideWindow\n"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("Exec=\"/"))) << "an absolute, quoted path";
    ASSERT_TRUE(SetAutoRun(false));
    EXPECT_FALSE(IsAutoRunSet());
    EXPECT_TRUE(SetAutoRun(false)) << "removing twice is fine";
}

TEST(UsableFolder, ExistingCreatableAndBadFolders) {
    ScopedTestFolders folders;
    const QString root = folders.Root();
    EXPECT_TRUE(IsUsableFolder(root));
    const QString deep = root + QStringLiteral("/新/deeper/still");
    EXPECT_TRUE(IsUsableFolder(deep));
    EXPECT_FALSE(QDir(root + QStringLiteral("/新")).exists()) << "the check leaves nothing behind";
    EXPECT_FALSE(IsUsableFolder(QString()));
    EXPECT_FALSE(IsUsableFolder(QStringLiteral("relative/path")));
    const QString file = root + QStringLiteral("/plain.txt");
    ASSERT_TRUE(vexa::test::WriteFile(file, {}));
    EXPECT_FALSE(IsUsableFolder(file)) << "a file is not a folder";
    EXPECT_FALSE(IsUsableFolder(file + QStringLiteral("/sub"))) << "nothing can be created under a file";
}

} // namespace
