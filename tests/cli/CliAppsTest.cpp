// vexa-cli apps: lists, the export → uninstall → install round trip, the refusals.
#include "CliTestSupport.h"

#include "TestApk.h"

#include "bridge/sim/SimDb.h"
#include "platform/StringTable.h"

#include <gtest/gtest.h>

namespace {

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
    const QString good = Write(QStringLiteral("ok.apk"), MakeTestApk(QStringLiteral("com.t.ok"), 1, QStringLiteral("1.0"),
                                                                   QStringLiteral("O\tK\n2"), {}, {}));
    const QString junk = Write(QStringLiteral("junk.apk"), QByteArray(3000, 'j'));
    EXPECT_EQ(Run({"apps", "install", junk, good}), kCliFailed);
    EXPECT_EQ(m_out, FormatText(Str(3009), 1) + u'\n');
    EXPECT_EQ(m_err, FormatText(Str(3003), "junk.apk") + u'\n' + FormatText(Str(655), 1) + u'\n');

    EXPECT_EQ(List().at(QStringLiteral("com.t.ok")).value(2), QStringLiteral("O\\tK\\n2"));
    const auto system = *List(true).begin();
    EXPECT_EQ(Run({"apps", "uninstall", "com.t.ok", system.first}), kCliFailed);
    EXPECT_EQ(m_err, FormatText(Str(3007), qUtf8Printable(system.second.value(2))) + u'\n');
    EXPECT_TRUE(List().count(QStringLiteral("com.t.ok"))) << "nothing removed by a refused uninstall";
    RunSteps({{{"apps", "uninstall", "com.none"}, kCliFailed, FormatText(Str(3008), "com.none")},
              {{"apps", "export", "com.t.ok", Path("no/dir/x.apk")}, kCliFailed},
              {{"apps"}, kCliUsage},
              {{"apps", "list", "-s"}, kCliUsage},
              {{"apps", "install"}, kCliUsage},
              {{"apps", "export", "com.t.ok"}, kCliUsage}});
}

} // namespace
