// vexa-cli firmware against vexa-services in-process, and a phone over adb that cannot be updated.
#include "CliTestSupport.h"

#include "LocalServices.h"
#include "platform/StringTable.h"

namespace {

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

// Check, update and check again after the reboot; then the refusals, each with its reason.
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

    RunSteps({{{"firmware"}, kCliUsage}, {{"firmware", "check", "extra"}, kCliUsage}});
    qunsetenv("VEXA_FIRMWARE_HOST");
    EXPECT_EQ(Run({"firmware", "check"}), kCliFailed);
    EXPECT_TRUE(m_err.startsWith(Str(152) + u'\n')) << m_err.toStdString();

    // A package too large for the phone and its card: refused before anything is fetched.
    ASSERT_TRUE(vexa::sim::CreatePhone({.model = "V960", .serial = "FW-HUGE", .firmware = "HUGE-UI 1.0"}, &error))
        << error.toStdString();
    qputenv("VEXA_FIRMWARE_HOST", m_services.Url().toUtf8());
    const std::size_t before = m_services.Services().Requests().size();
    RunSteps({{{"--phone", "FW-HUGE", "firmware", "update"}, kCliFailed, Str(634)}});
    const auto seen = m_services.Services().Requests();
    for (std::size_t i = before; i < seen.size(); ++i) {
        EXPECT_FALSE(seen[i].target.startsWith(QLatin1String("/firmware/"))) << seen[i].target.toStdString();
    }
}

TEST_F(CliFirmwareTest, APhoneOverAdbIsNotOfferedAnUpdate) {
    SKIP_WITHOUT_ADB();
    AddPhone(QStringLiteral("vexa-fw"));
    ASSERT_NO_FATAL_FAILURE(UseAdb(QStringLiteral("vexa-fw")));
    RunSteps({{{"firmware", "check"}, kCliFailed, Str(3101)}});
    EXPECT_TRUE(m_services.Services().Requests().empty()) << "nothing is asked for a phone that cannot take it";
}

} // namespace
