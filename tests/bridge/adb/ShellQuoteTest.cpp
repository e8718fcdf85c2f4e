// Quoted arguments must reach a POSIX shell unchanged; checked by running the shell itself.
#include "bridge/adb/protocol/ShellQuote.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace adb;

namespace {

// What "printf '%s' ARG" prints when the shell reads the quoted argument.
std::string ThroughShell(const std::string& command) {
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromStdString(command)});
    EXPECT_TRUE(shell.waitForFinished(5000));
    return shell.readAllStandardOutput().toStdString();
}

} // namespace

class ShellQuoteRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(ShellQuoteRoundTrip, ShellSeesTheExactArgument) {
    const std::string& name = GetParam();
    EXPECT_EQ(ThroughShell("printf '%s' " + ShellQuote(name)), name);
}

INSTANTIATE_TEST_SUITE_P(HostileNames, ShellQuoteRoundTrip,
                         ::testing::Values(std::string("plain"), std::string("it's"), std::string("''"),
                                           std::string("a\"b"), std::string("照片 2024.jpg"), std::string("`id`"),
                                           std::string("$(id)"), std::string("line\nbreak"), std::string("-rf"),
                                           std::string("a\\b"), std::string("semi;colon&amp|pipe"),
                                           std::string("*?[x]"), std::string("~user"), std::string("")));

TEST(ShellQuoteTest, EscapesSingleQuotesOnly) {
    EXPECT_EQ(ShellQuote("it's"), "'it'\\''s'");
    EXPECT_EQ(ShellQuote(""), "''");
    EXPECT_EQ(ShellQuote("$x"), "'$x'");
}

TEST(ShellQuoteTest, CommandKeepsArgumentsApart) {
    const std::string command = ShellCommand({"printf", "%s|", "a b", "c'd", "-n"});
    EXPECT_EQ(command, "'printf' '%s|' 'a b' 'c'\\''d' '-n'");
    EXPECT_EQ(ThroughShell(command), "a b|c'd|-n|");
}
