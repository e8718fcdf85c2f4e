// The shared part of vexa-cli: argument handling and connecting like the program.
#include "CliTestSupport.h"

#include "platform/StringTable.h"

#include <gtest/gtest.h>

namespace {

using CliTest = CliFixture;

TEST_F(CliTest, CommandLineErrorsAreUsageErrors) {
    EXPECT_EQ(Run({}), kCliUsage);
    EXPECT_TRUE(m_err.contains("usage: vexa-cli"));
    EXPECT_EQ(Run({"--phone"}), kCliUsage);
    EXPECT_EQ(Run({"frobnicate"}), kCliUsage);
    EXPECT_TRUE(m_err.contains("unknown command \"frobnicate\""));
    EXPECT_EQ(Run({"device", "info", "extra"}), kCliUsage);
    // Help lists every registered group's forms on standard output and succeeds.
    EXPECT_EQ(Run({"--help"}), kCliOk);
    EXPECT_TRUE(m_out.contains("vexa-cli [--phone SERIAL] device info"));
}

TEST_F(CliTest, ConnectsTheNamedPhoneOrTheFirstOfTheMakers) {
    AddPhone("other-1", "acme");
    AddPhone("vexa-2");
    AddPhone("vexa-3");
    ASSERT_EQ(Run({"--phone", "vexa-3", "device", "info"}), kCliOk) << m_err.toStdString();
    EXPECT_TRUE(m_out.contains("serial: vexa-3\n"));
    EXPECT_TRUE(m_out.contains("brand: vexa\n"));

    // Without --phone: a phone of the maker, never another brand's.
    ASSERT_EQ(Run({"device", "info"}), kCliOk) << m_err.toStdString();
    EXPECT_FALSE(m_out.contains("other-1"));
    EXPECT_TRUE(m_out.contains("serial: vexa-"));
}

TEST_F(CliTest, ConnectionFailuresPrintTheProgramsTextsAndFail) {
    AddPhone("other-1", "acme");
    // Another brand's phone is not offered, and a folder with a phone gets no demo phone.
    EXPECT_EQ(Run({"device", "info"}), kCliFailed);
    EXPECT_EQ(m_err.trimmed(), Str(2217));
    EXPECT_EQ(Run({"--phone", "other-1", "device", "info"}), kCliFailed);
    EXPECT_TRUE(m_err.startsWith(Str(2217)));

    AddPhone("old-1", "vexa", "V180");
    EXPECT_EQ(Run({"--phone", "old-1", "device", "info"}), kCliFailed);
    EXPECT_EQ(m_err.trimmed(), Str(2220));
    EXPECT_TRUE(m_out.isEmpty());

    QString error;
    AddPhone("vexa-4");
    ASSERT_TRUE(vexa::sim::SetAttached("vexa-4", false, &error));
    EXPECT_EQ(Run({"--phone", "vexa-4", "device", "info"}), kCliFailed);
}

} // namespace
