// vexa-adbd's phone without sockets: shell splitting, and tool output read by the backend's parsers.
#include "PhoneDevice.h"

#include "PhoneLatency.h"

#include "bridge/adb/AdbContent.h"
#include "bridge/adb/protocol/AdbParsers.h"
#include "bridge/sim/SimFiles.h"
#include "bridge/sim/SimPhones.h"

#include "TestEnvironment.h"

#include <QFile>

#include <optional>

#include <gtest/gtest.h>

using namespace vexa_adbd;

namespace {

using Commands = std::vector<std::vector<std::string>>;

struct SplitCase {
    const char* line;
    Commands expected;
};

class SplitShellLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitShellLineTest, Splits) {
    Commands commands;
    ASSERT_TRUE(SplitShellLine(GetParam().line, commands));
    EXPECT_EQ(commands, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, SplitShellLineTest,
                         ::testing::Values(SplitCase{"mkdir 'it'\\''s'", {{"mkdir", "it's"}}},
                                           SplitCase{"echo \"x\\\"y\" a\\ b", {{"echo", "x\"y", "a b"}}},
                                           SplitCase{"rm -rf -- '-rf' 2>&1; echo done",
                                                     {{"rm", "-rf", "--", "-rf"}, {"echo", "done"}}},
                                           SplitCase{"mkdir ';' ; ; true", {{"mkdir", ";"}, {"true"}}},
                                           SplitCase{"echo '$(reboot)' '`id`'", {{"echo", "$(reboot)", "`id`"}}}));

TEST(SplitShellLine, UnterminatedQuotesAreRefused) {
    Commands commands;
    EXPECT_FALSE(SplitShellLine("echo 'open", commands));
    EXPECT_FALSE(SplitShellLine("echo \"open", commands));
}

class PhoneDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("VEXA_SIM_DIR", QFile::encodeName(m_folders.Root() + QStringLiteral("/sim")));
        QString error;
        ASSERT_TRUE(vexa::sim::CreatePhone(
            {.model = QStringLiteral("V960"), .serial = QStringLiteral("P-1"), .sdCard = true}, &error))
            << error.toStdString();
        ASSERT_TRUE(m_phone.Open(QStringLiteral("P-1"), &error)) << error.toStdString();
    }
    void TearDown() override { qunsetenv("VEXA_SIM_DIR"); }

    ScopedTestFolders m_folders;
    CPhoneDevice m_phone;
};

TEST_F(PhoneDeviceTest, ExitStatusesAndTheSystemStaysReadOnly) {
    EXPECT_EQ(m_phone.RunShell("mkdir /mnt/sdcard/x; echo \"s=$?\""), "s=0\n");
    EXPECT_EQ(m_phone.RunShell("mkdir /mnt/sdcard/x 2>&1; echo $?"), "mkdir: '/mnt/sdcard/x': File exists\n1\n");
    EXPECT_EQ(m_phone.RunShell("mkdir /system/x; echo $?"), "mkdir: '/system/x': Permission denied\n1\n");
    EXPECT_EQ(m_phone.RunShell("reboot; echo $?"), "/system/bin/sh: reboot: not found\n127\n");
    // A message written without the app-op is dropped without a word, as a phone's provider does.
    EXPECT_EQ(m_phone.RunShell("content insert --uri content://sms --bind body:s:x; echo $?"), "0\n");
    EXPECT_EQ(m_phone.RunShell("content query --uri content://sms; echo $?"), "No result found.\n0\n");
    EXPECT_TRUE(m_phone.RunShell("content query --uri content://sms --projection _id:nope; echo $?")
                    .starts_with("Error while accessing provider"));
    std::string error;
    EXPECT_FALSE(m_phone.Write("/system/app/x.apk", 0644, 0, "x", error));
    EXPECT_EQ(error, "Permission denied");
    EXPECT_FALSE(m_phone.Write("/mnt/sdcard/../system/x", 0644, 0, "x", error));
    EXPECT_FALSE(m_phone.Stat("/mnt/sdcard/../mnt").Exists());
}

// The adb backend asks "readlink -f" where a folder leads before removing it: as a phone's toybox answers.
TEST_F(PhoneDeviceTest, ReadlinkResolvesLikeAPhone) {
    const std::string card = "/storage/" + vexa::sim::CardVolumeId(QStringLiteral("P-1")).toStdString();
    const struct {
        std::string line;
        std::string out;
    } cases[] = {
        {"readlink -f //storage/emulated/0/./DCIM/", "/mnt/sdcard/DCIM\n0\n"},
        {"readlink -f /sdcard/..", "/mnt\n0\n"},
        {"readlink -f " + card + "/", "/mnt/sdcard/external_sd\n0\n"},
        {"readlink -f /sdcard/no/such", "1\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(m_phone.RunShell(c.line + "; echo $?"), c.out) << c.line;
    }
}

} // namespace

// Each fails with the provider's error; the rows written before stay unchanged.
TEST_F(PhoneDeviceTest, BadProviderRequestsAreRefusedAndChangeNothing) {
    const auto rows = [this](const std::string& uri, const QStringList& columns) {
        std::vector<std::string> words;
        for (const QString& c : columns) {
            words.push_back(c.toStdString());
        }
        return adb::ParseContentQuery(m_phone.RunShell(vexa::adbphone::ContentQueryCommand(uri, words)), columns);
    };
    const std::string calls = "content://call_log/calls";
    const std::string contacts = "content://com.android.contacts/";
    ASSERT_EQ(m_phone.RunShell(vexa::adbphone::ContentInsertCommand(
                  calls, {{"number", 's', "10086"}, {"date", 'l', "1343196180000"}, {"type", 'i', "1"}})),
              "");
    ASSERT_EQ(m_phone.RunShell("content insert --uri " + contacts + "raw_contacts --bind starred:i:0"), "");
    const std::vector<adb::ContentRow> raws = rows(contacts + "raw_contacts", {"_id"});
    ASSERT_EQ(raws.size(), 1u);
    const std::string raw = raws[0].value("_id").toStdString();
    ASSERT_EQ(m_phone.RunShell("content insert --uri " + contacts + "data --bind raw_contact_id:l:" + raw +
                               " --bind mimetype:s:vnd.android.cursor.item/phone_v2 --bind data1:s:10086"),
              "");
    const std::pair<std::string, const char*> refused[] = {
        {"delete --uri " + calls, "call_log\n"},
        {"delete --uri " + calls + " --where '_id=1 OR 1=1'", "call_log\n"},
        {"query --uri " + calls + " --projection _id:secret", "call_log\n"},
        {"insert --uri " + calls + " --bind number:s:1 --bind type:i:1", "call_log\n"},
        {"insert --uri " + calls + " --bind date:l:1 --bind type:i:9", "call_log\n"},
        {"insert --uri " + calls + " --bind date:l:1 --bind _id:i:1 --bind type:i:1", "call_log\n"},
        {"query --uri " + contacts + "contacts", ""},
        {"delete --uri " + contacts + "raw_contacts", ""},
        {"delete --uri " + contacts + "data --where '_id=1'", ""},
        {"update --uri " + contacts + "data --where raw_contact_id=" + raw + " --bind data1:s:x", ""},
        {"insert --uri " + contacts + "data --bind mimetype:s:vnd.android.cursor.item/note", ""},
    };
    for (const auto& [line, provider] : refused) {
        const std::string out = m_phone.RunShell("content " + line);
        EXPECT_TRUE(out.starts_with(std::string("Error while accessing provider:") + provider)) << line << " -> " << out;
    }
    // Bindings the tool cannot read reach no provider: the tool says so and exits with 0.
    EXPECT_EQ(m_phone.RunShell("content insert --uri " + calls + " --bind date:l:x --bind type:i:1; echo $?"),
              "usage: adb shell content [subcommand] [options]\n\n[ERROR] For input string: \"x\"\n0\n");
    EXPECT_TRUE(m_phone.RunShell("content insert --uri " + calls + " --bind date")
                    .ends_with("[ERROR] Binding not well formed: date\n"));
    EXPECT_EQ(m_phone.RunShell("content query --uri " + calls + " --where; echo $?"),
              "usage: adb shell content [subcommand] [options]\n1\n");

    EXPECT_EQ(rows(calls, {"_id"}).size(), 1u);
    EXPECT_EQ(rows(contacts + "raw_contacts", {"_id"}).size(), 1u);
    QStringList data;
    for (const adb::ContentRow& row : rows(contacts + "data", {"mimetype", "data1"})) {
        data << row.value("mimetype").section(u'/', 1) + u'=' + row.value("data1");
    }
    EXPECT_EQ(data, (QStringList{"name=", "phone_v2=10086"})) << "the refused note was not added";
}

namespace {

struct BindingCase {
    const char* bind;
    bool escaping;
    const char* column;
    std::optional<std::string> value; // nullopt with an error: refused
    const char* error = "";
};

class ContentBindingTest : public ::testing::TestWithParam<BindingCase> {};

TEST_P(ContentBindingTest, ReadsLikeTheTool) {
    const BindingCase& c = GetParam();
    std::string column;
    std::optional<std::string> value = std::string("untouched");
    const std::string error = ParseBinding(c.bind, c.escaping, column, value);
    EXPECT_EQ(error, c.error);
    if (error.empty()) {
        EXPECT_EQ(column, c.column);
        EXPECT_EQ(value, c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(Bindings, ContentBindingTest,
                         ::testing::Values(
                             // Older tools: everything after the second colon is the value, backslashes and all.
                             BindingCase{"body:s:a:b\\:c", false, "body", "a:b\\:c"},
                             BindingCase{"date:i:1700000000000", false, "date", "1700000000000"},
                             BindingCase{"type:i:1.0", false, "", std::nullopt, "For input string: \"1.0\""},
                             BindingCase{"body", false, "", std::nullopt, "Binding not well formed: body"},
                             // Android 11 and later: colons and backslashes escaped, exactly three parts, 32-bit "i".
                             BindingCase{"body:s:a\\:b\\\\c", true, "body", "a:b\\c"},
                             BindingCase{"body:s:a:b", true, "", std::nullopt, "Binding not well formed: body:s:a:b"},
                             BindingCase{"body:s:x\\", true, "", std::nullopt, "Invalid escaping"},
                             BindingCase{"date:i:1700000000000", true, "", std::nullopt,
                                         "For input string: \"1700000000000\""},
                             BindingCase{"date:L:-5", true, "date", "-5"}));

} // namespace

TEST(PhoneLatency, ServicesCostWhatTheirToolsCost) {
    const struct {
        std::string name;
        int open, native, java, starts;
    } cases[] = {
        {"sync:", 3, 0, 0, 0},
        {"shell:echo x", 8, 0, 0, 0},
        {"shell:ls -a -l /sdcard/DCIM", 8, 3, 0, 0},
        {"exec:screencap", 8, 3, 0, 0},
        {"shell:content query --uri content://sms --projection _id", 8, 0, 250, 1},
        {"shell:content insert --uri content://sms; content insert --uri content://sms; echo $?", 8, 0, 500, 2},
        {"shell:dumpsys package", 8, 0, 800, 1},
        {"shell:dumpsys package com.x.y", 8, 0, 250, 1},
        {"shell:pm list packages -f | grep x", 8, 3, 250, 1},
        {"shell:rm -rf /sdcard/a && cmd package list packages", 8, 3, 250, 1},
        {"shell:echo 'open", 8, 0, 0, 0},
        {"framebuffer:", 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const ServiceCost cost = CostOfService(c.name);
        EXPECT_EQ(cost.open.count(), c.open) << c.name;
        EXPECT_EQ(cost.native.count(), c.native) << c.name;
        EXPECT_EQ(cost.java.count(), c.java) << c.name;
        EXPECT_EQ(cost.javaStarts, c.starts) << c.name;
    }
    LatencyProfile profile = LatencyProfile::None;
    EXPECT_TRUE(ParseLatencyProfile("typical", profile));
    EXPECT_EQ(profile, LatencyProfile::Typical);
    EXPECT_FALSE(ParseLatencyProfile("slow", profile));
}

// Four Java tools run side by side; the fifth waits for the first core to free, and a run asked
// for later than every core frees starts when asked.
TEST(PhoneLatency, JavaToolsShareFourCores) {
    CPhoneCores cores;
    const LatencyClock::time_point t0{std::chrono::seconds(100)};
    for (int i = 0; i < CPhoneCores::kCores; ++i) {
        EXPECT_EQ(cores.Book(t0, Ms(250)), t0 + Ms(250)) << i;
    }
    EXPECT_EQ(cores.Book(t0, Ms(100)), t0 + Ms(350));
    EXPECT_EQ(cores.Book(t0 + Ms(10), Ms(250)), t0 + Ms(500));
    EXPECT_EQ(cores.Book(t0 + Ms(2000), Ms(250)), t0 + Ms(2250));
}
