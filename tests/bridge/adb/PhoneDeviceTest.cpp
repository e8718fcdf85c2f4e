// vexa-adbd's phone without any socket: its shell line splitting, and its tool output read back
// with the same parsers the adb backend uses on real phones.
#include "PhoneDevice.h"

#include "bridge/adb/AdbCallRecords.h"
#include "bridge/adb/AdbContactBook.h"
#include "bridge/adb/AdbContent.h"
#include "bridge/adb/AdbSmsStore.h"
#include "bridge/adb/protocol/AdbParsers.h"
#include "bridge/adb/protocol/ShellQuote.h"
#include "bridge/sim/SimPhones.h"

#include "TestApk.h"
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

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitShellLineTest,
    ::testing::Values(SplitCase{"ls -l /mnt/sdcard", {{"ls", "-l", "/mnt/sdcard"}}},
                      SplitCase{"mkdir 'a b'", {{"mkdir", "a b"}}},
                      SplitCase{"mkdir 'it'\\''s'", {{"mkdir", "it's"}}},
                      SplitCase{"echo \"x\\\"y\" a\\ b", {{"echo", "x\"y", "a b"}}},
                      SplitCase{"rm -rf -- '-rf' 2>&1; echo done", {{"rm", "-rf", "--", "-rf"}, {"echo", "done"}}},
                      SplitCase{"mkdir ';' ; ; true", {{"mkdir", ";"}, {"true"}}},
                      SplitCase{"echo '$(reboot)' '`id`'", {{"echo", "$(reboot)", "`id`"}}},
                      SplitCase{"   ", {}}));

TEST(SplitShellLine, UnterminatedQuotesAreRefused) {
    Commands commands;
    EXPECT_FALSE(SplitShellLine("echo 'open", commands));
    EXPECT_FALSE(SplitShellLine("echo \"open", commands));
}

class PhoneDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("VEXA_SIM_DIR", QFile::encodeName(m_folders.Root() + QStringLiteral("/sim")));
        vexa::sim::PhoneSpec spec;
        spec.serial = QStringLiteral("P-1");
        spec.model = QStringLiteral("V960");
        spec.sdCard = true;
        QString error;
        ASSERT_TRUE(vexa::sim::CreatePhone(spec, &error)) << error.toStdString();
        ASSERT_TRUE(m_phone.Open(spec.serial, &error)) << error.toStdString();
    }
    void TearDown() override { qunsetenv("VEXA_SIM_DIR"); }

    std::string Sh(const std::vector<std::string>& words) { return m_phone.RunShell(adb::ShellCommand(words)); }

    ScopedTestFolders m_folders;
    CPhoneDevice m_phone;
};

TEST_F(PhoneDeviceTest, OpenRefusesMissingAndHostileSerials) {
    CPhoneDevice other;
    QString error;
    EXPECT_FALSE(other.Open(QStringLiteral("NOPE"), &error));
    EXPECT_FALSE(other.Open(QStringLiteral("../P-1"), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(PhoneDeviceTest, PropertiesAndGetpropListing) {
    const QMap<QString, QString> props = adb::ParseGetprop(m_phone.RunShell("getprop"));
    EXPECT_EQ(props.value("ro.product.brand"), "vexa");
    EXPECT_EQ(props.value("ro.product.model"), "V960");
    EXPECT_EQ(props.value("ro.serialno"), "P-1");
    EXPECT_EQ(m_phone.RunShell("getprop ro.product.model"), "V960\n");
    EXPECT_EQ(m_phone.RunShell("getprop no.such.key"), "\n");
}

TEST_F(PhoneDeviceTest, LsOutputParsesLikeAPhones) {
    m_phone.RunShell("mkdir '/mnt/sdcard/my folder'");
    std::string error;
    ASSERT_TRUE(m_phone.Write("/mnt/sdcard/my folder/a b.txt", 0644, 1700000000, "hello", error)) << error;
    const std::vector<adb::LsEntry> entries = adb::ParseLsListing(Sh({"ls", "-l", "/mnt/sdcard/my folder"}));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "a b.txt");
    EXPECT_EQ(entries[0].size, 5);
    EXPECT_FALSE(entries[0].IsDirectory());
    EXPECT_EQ(entries[0].modified.toSecsSinceEpoch() / 60, 1700000000 / 60);

    const std::vector<adb::LsEntry> root = adb::ParseLsListing(Sh({"ls", "-l", "/mnt/sdcard"}));
    const auto folder = std::find_if(root.begin(), root.end(), [](const adb::LsEntry& e) { return e.name == "my folder"; });
    ASSERT_NE(folder, root.end());
    EXPECT_TRUE(folder->IsDirectory());
    EXPECT_EQ(Sh({"ls", "/mnt/sdcard/none"}), "ls: /mnt/sdcard/none: No such file or directory\n");
}

TEST_F(PhoneDeviceTest, DfOutputParsesLikeAPhones) {
    const std::vector<adb::DfEntry> mounts = adb::ParseDf(m_phone.RunShell("df -k"));
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[1].mountPoint, "/mnt/sdcard");
    EXPECT_EQ(mounts[1].totalKb, 8LL << 20);
    EXPECT_EQ(mounts[1].usedKb + mounts[1].availableKb, mounts[1].totalKb);
    EXPECT_EQ(mounts[2].mountPoint, "/mnt/sdcard/external_sd");
}

TEST_F(PhoneDeviceTest, ExitStatusesAndTheSystemStaysReadOnly) {
    EXPECT_EQ(m_phone.RunShell("mkdir /mnt/sdcard/x; echo \"s=$?\""), "s=0\n");
    EXPECT_EQ(m_phone.RunShell("mkdir /mnt/sdcard/x 2>&1; echo $?"), "mkdir: '/mnt/sdcard/x': File exists\n1\n");
    EXPECT_EQ(m_phone.RunShell("mkdir /system/x; echo $?"), "mkdir: '/system/x': Permission denied\n1\n");
    EXPECT_EQ(m_phone.RunShell("rm -rf /system; echo $?"), "rm: /system: Permission denied\n1\n");
    EXPECT_EQ(m_phone.RunShell("mv /mnt/sdcard/x /mnt/sdcard/x/y; echo $?"),
              "mv: /mnt/sdcard/x/y: Invalid argument\n1\n");
    EXPECT_EQ(m_phone.RunShell("reboot; echo $?"), "/system/bin/sh: reboot: not found\n127\n");
    EXPECT_EQ(m_phone.RunShell("content query --uri content://sms; echo $?"), "No result found.\n0\n");
    // A message written without the app-op is dropped without a word, as a phone's provider does;
    // of the contacts provider only raw contacts, data and groups are served.
    EXPECT_EQ(m_phone.RunShell("content insert --uri content://sms --bind body:s:x; echo $?"), "0\n");
    EXPECT_EQ(m_phone.RunShell("content query --uri content://sms"), "No result found.\n");
    EXPECT_TRUE(m_phone.RunShell("content query --uri content://com.android.contacts/contacts; echo $?")
                    .starts_with("Error while accessing provider:contacts\njava.lang.IllegalArgumentException"));
    EXPECT_TRUE(m_phone.RunShell("content query --uri content://sms --projection _id:nope; echo $?")
                    .starts_with("Error while accessing provider"));
    std::string error;
    EXPECT_FALSE(m_phone.Write("/system/app/x.apk", 0644, 0, "x", error));
    EXPECT_EQ(error, "Permission denied");
    EXPECT_FALSE(m_phone.Write("/mnt/sdcard/../system/x", 0644, 0, "x", error));
    EXPECT_FALSE(m_phone.Stat("/mnt/sdcard/../mnt").Exists());
}

TEST_F(PhoneDeviceTest, CopyAndMoveKeepContents) {
    std::string error;
    ASSERT_TRUE(m_phone.Write("/mnt/sdcard/a/one.bin", 0644, 0, std::string(3 << 20, 'z'), error)) << error;
    EXPECT_EQ(Sh({"cp", "-r", "--", "/mnt/sdcard/a", "/mnt/sdcard/b"}), "");
    EXPECT_EQ(Sh({"mv", "--", "/mnt/sdcard/a", "/mnt/sdcard/external_sd/c"}), "");
    std::string data;
    ASSERT_TRUE(m_phone.Read("/mnt/sdcard/b/one.bin", data, error));
    EXPECT_EQ(data, std::string(3 << 20, 'z'));
    ASSERT_TRUE(m_phone.Read("/mnt/sdcard/external_sd/c/one.bin", data, error));
    EXPECT_EQ(data.size(), 3u << 20);
    EXPECT_FALSE(m_phone.Stat("/mnt/sdcard/a").Exists());
    EXPECT_FALSE(m_phone.Read("/mnt/sdcard/b", data, error));
    EXPECT_EQ(error, "Is a directory");
}

TEST_F(PhoneDeviceTest, PackagesAndDumpsysParse) {
    EXPECT_TRUE(adb::ParsePackageList(m_phone.RunShell("pm list packages -f")).empty());
    const adb::PackageDetails missing = adb::ParseDumpsysPackage(m_phone.RunShell("dumpsys package com.x"),
                                                                 QStringLiteral("com.x"));
    EXPECT_FALSE(missing.found);
    EXPECT_EQ(m_phone.RunShell("pm uninstall com.x"), "Failure [DELETE_FAILED_INTERNAL_ERROR]\n");
}

// Puts bytes where "adb push" would, through the sync store.
std::string Stage(CPhoneDevice& phone, const std::string& path, const QByteArray& bytes) {
    std::string error;
    phone.Write(path, 0644, 0, bytes.toStdString(), error);
    return error;
}

TEST_F(PhoneDeviceTest, PmInstallAddsReplacesAndRefusesAsAPhoneDoes) {
    const QStringList permissions{QStringLiteral("android.permission.INTERNET"),
                                  QStringLiteral("android.permission.CAMERA")};
    const QByteArray png = QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==");
    const auto apk = [&](int version, const QString& package = QStringLiteral("com.example.demo")) {
        return MakeTestApk(package, version, QStringLiteral("1.%1").arg(version), QStringLiteral("演示"), permissions,
                           png, 2000 + version);
    };
    const std::string tmp = "/data/local/tmp/";
    ASSERT_EQ(Stage(m_phone, tmp + "bad.apk", QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0')), "");
    EXPECT_EQ(m_phone.RunShell("pm install -r /data/local/tmp/bad.apk; echo $?"),
              "Failure [INSTALL_PARSE_FAILED_NOT_APK: Failed to parse /data/local/tmp/bad.apk]\n1\n");
    // A package that names itself with a path is no package either.
    ASSERT_EQ(Stage(m_phone, tmp + "evil.apk", apk(1, QStringLiteral("../evil"))), "");
    EXPECT_EQ(adb::ParsePmResult(Sh({"pm", "install", tmp + "evil.apk"})).code, "INSTALL_PARSE_FAILED_NOT_APK");
    EXPECT_EQ(
        m_phone.RunShell("pm install /data/local/tmp/none.apk; echo $?"),
        "Error: Unable to open file: /data/local/tmp/none.apk\nConsider using a file under /data/local/tmp/\n1\n");
    EXPECT_TRUE(adb::ParsePackageList(m_phone.RunShell("pm list packages -f")).empty());

    ASSERT_EQ(Stage(m_phone, tmp + "v3.apk", apk(3)), "");
    EXPECT_EQ(m_phone.RunShell("pm install /data/local/tmp/v3.apk; echo $?"), "Success\n0\n");
    const std::vector<adb::PackageEntry> list = adb::ParsePackageList(m_phone.RunShell("pm list packages -f"));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].packageName, "com.example.demo");
    EXPECT_EQ(list[0].apkPath, "/data/app/com.example.demo-1.apk");
    EXPECT_EQ(m_phone.RunShell("pm path com.example.demo"), "package:/data/app/com.example.demo-1.apk\n");
    std::string data, error;
    ASSERT_TRUE(m_phone.Read("/data/app/com.example.demo-1.apk", data, error)) << error;
    EXPECT_EQ(QByteArray::fromStdString(data), apk(3));
    adb::PackageDetails d = adb::ParseDumpsysPackage(m_phone.RunShell("dumpsys package com.example.demo"),
                                                     QStringLiteral("com.example.demo"));
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.versionCode, 3);
    EXPECT_EQ(d.versionName, "1.3");
    EXPECT_EQ(d.requestedPermissions, permissions);
    EXPECT_EQ(d.minSdk, "9");
    EXPECT_EQ(d.targetSdk, "15");
    const QDateTime first = d.firstInstallTime;

    // Without -r an installed package stays; an older version is refused even with -r.
    EXPECT_EQ(m_phone.RunShell("pm install /data/local/tmp/v3.apk; echo $?"),
              "Failure [INSTALL_FAILED_ALREADY_EXISTS: Attempt to re-install com.example.demo without first "
              "uninstalling.]\n1\n");
    ASSERT_EQ(Stage(m_phone, tmp + "v2.apk", apk(2)), "");
    EXPECT_EQ(m_phone.RunShell("pm install -r /data/local/tmp/v2.apk; echo $?"),
              "Failure [INSTALL_FAILED_VERSION_DOWNGRADE]\n1\n");
    ASSERT_EQ(Stage(m_phone, tmp + "v4.apk", apk(4)), "");
    EXPECT_EQ(Sh({"pm", "install", "-r", tmp + "v4.apk"}), "Success\n");
    d = adb::ParseDumpsysPackage(m_phone.RunShell("dumpsys package com.example.demo"),
                                 QStringLiteral("com.example.demo"));
    EXPECT_EQ(d.versionCode, 4);
    EXPECT_EQ(d.firstInstallTime, first);
    ASSERT_TRUE(m_phone.Read("/data/app/com.example.demo-1.apk", data, error)) << error;
    EXPECT_EQ(QByteArray::fromStdString(data), apk(4));
    EXPECT_EQ(adb::ParsePackageList(m_phone.RunShell("pm list packages")).size(), 1u);

    // Uninstalling takes the package file along.
    EXPECT_EQ(Sh({"pm", "uninstall", "com.example.demo"}), "Success\n");
    EXPECT_FALSE(m_phone.Stat("/data/app/com.example.demo-1.apk").Exists());
    EXPECT_EQ(m_phone.RunShell("pm path com.example.demo; echo $?"), "1\n");
}

} // namespace

// ---- the call log provider ----------------------------------------------------------------------

class PhoneCallLogTest : public PhoneDeviceTest {
protected:
    std::vector<vexa::CallRecord> Calls(const std::string& where = {}) {
        return vexa::adbphone::CallRecordsFromContentRows(m_phone.RunShell(vexa::adbphone::ContentQueryCommand(
            "content://call_log/calls", {"_id", "date", "duration", "type", "presentation", "number"}, where)));
    }
    std::string Insert(const std::string& number, long long dateMs, int type, int duration = 60) {
        return m_phone.RunShell(vexa::adbphone::ContentInsertCommand(
            "content://call_log/calls", {{"number", 's', number},
                                         {"date", 'l', std::to_string(dateMs)},
                                         {"duration", 'i', std::to_string(duration)},
                                         {"type", 'i', std::to_string(type)}}));
    }
};

TEST_F(PhoneCallLogTest, InsertQueryAndDeleteWithHostileNumbers) {
    const std::vector<std::string> numbers{"+86 138-0000", "O'Brien \"x\"", "$(reboot) `id`", "张三, number=1",
                                           "a=b:c"};
    long long date = 1343196180000;
    for (const std::string& number : numbers) {
        EXPECT_EQ(Insert(number, date += 1000, 2), "");
    }
    EXPECT_EQ(Insert("rejected", date += 1000, 5), "");
    std::vector<vexa::CallRecord> calls = Calls();
    ASSERT_EQ(calls.size(), numbers.size() + 1);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        EXPECT_EQ(calls[i].m_number.toStdString(), numbers[i]);
        EXPECT_EQ(calls[i].m_type, vexa::CALL_DIALLED);
        EXPECT_EQ(calls[i].m_duration, 60);
    }
    EXPECT_EQ(calls.back().m_type, vexa::CALL_MISSED);
    // Newest first, as the provider sorts by default.
    EXPECT_TRUE(m_phone.RunShell("content query --uri content://call_log/calls --projection number")
                    .starts_with("Row: 0 number=rejected\n"));
    ASSERT_EQ(Calls("date=1343196182000").size(), 1u);
    EXPECT_EQ(Calls("date=1343196182000")[0].m_number, "O'Brien \"x\"");

    const std::string ids = vexa::adbphone::IdWhere({calls[0].m_id, calls[2].m_id});
    EXPECT_EQ(m_phone.RunShell(vexa::adbphone::ContentDeleteCommand("content://call_log/calls", ids)), "");
    EXPECT_EQ(Calls().size(), numbers.size() - 1);
    EXPECT_TRUE(Calls(ids).empty());
    EXPECT_EQ(Calls("_id=" + std::to_string(calls[1].m_id) + " AND type=2").size(), 1u);
}

TEST_F(PhoneCallLogTest, BadRequestsAreRefusedAndChangeNothing) {
    ASSERT_EQ(Insert("10086", 1343196180000, 1), "");
    const auto refused = [this](const std::string& line) {
        const std::string out = m_phone.RunShell(line);
        EXPECT_TRUE(out.starts_with("Error while accessing provider:call_log\n")) << line << " -> " << out;
    };
    refused("content delete --uri content://call_log/calls");
    refused("content delete --uri content://call_log/calls --where '1=1'");
    refused("content delete --uri content://call_log/calls --where '_id=1 OR 1=1'");
    refused("content delete --uri content://call_log/calls --where '_id=1; DROP TABLE calls'");
    refused("content query --uri content://call_log/calls --projection _id:secret");
    refused("content insert --uri content://call_log/calls --bind number:s:1 --bind type:i:1");
    refused("content insert --uri content://call_log/calls --bind date:l:1 --bind type:i:9");
    refused("content insert --uri content://call_log/calls --bind date:l:1 --bind _id:i:1 --bind type:i:1");
    // Bindings the tool cannot read reach no provider: the tool says so and exits with 0.
    EXPECT_EQ(
        m_phone.RunShell("content insert --uri content://call_log/calls --bind date:l:x --bind type:i:1; echo $?"),
        "usage: adb shell content [subcommand] [options]\n\n[ERROR] For input string: \"x\"\n0\n");
    EXPECT_TRUE(m_phone.RunShell("content insert --uri content://call_log/calls --bind date")
                    .ends_with("[ERROR] Binding not well formed: date\n"));
    EXPECT_EQ(m_phone.RunShell("content query --uri content://call_log/calls --where; echo $?"),
              "usage: adb shell content [subcommand] [options]\n1\n");
    EXPECT_EQ(Calls().size(), 1u);
}

TEST_F(PhoneCallLogTest, APhoneThatKeepsItsCallLogSaysWhy) {
    ASSERT_EQ(Insert("10086", 1343196180000, 1), "");
    {
        vexa::sim::SimDb db;
        QString error;
        ASSERT_TRUE(db.Open(vexa::sim::PhoneFilePath(QStringLiteral("P-1")), &error)) << error.toStdString();
        ASSERT_TRUE(db.SetMeta("adb_denied", QStringLiteral("call_log")));
    }
    for (const std::string line : {"content query --uri content://call_log/calls; echo $?",
                                   "content insert --uri content://call_log/calls --bind date:l:1 --bind type:i:1; echo $?",
                                   "content delete --uri content://call_log/calls --where _id=1; echo $?"}) {
        const std::string out = m_phone.RunShell(line);
        EXPECT_NE(out.find("java.lang.SecurityException: Permission Denial"), std::string::npos) << out;
        EXPECT_TRUE(out.ends_with("\n0\n")) << out; // the tool still exits with 0, as on a phone
    }
}

// ---- the contacts provider ----------------------------------------------------------------------

class PhoneContactsTest : public PhoneDeviceTest {
protected:
    static constexpr const char* kRaw = "content://com.android.contacts/raw_contacts";
    static constexpr const char* kData = "content://com.android.contacts/data";
    static constexpr const char* kGroups = "content://com.android.contacts/groups";

    std::vector<adb::ContentRow> Query(const char* uri, const std::vector<std::string>& columns,
                                       const std::string& where = {}) {
        QStringList names;
        for (const std::string& c : columns) {
            names << QString::fromStdString(c);
        }
        return adb::ParseContentQuery(m_phone.RunShell(vexa::adbphone::ContentQueryCommand(uri, columns, where)), names);
    }
    // A new raw contact's id (the newest row).
    std::int64_t NewRawContact(const std::vector<vexa::adbphone::ContentBind>& binds) {
        EXPECT_EQ(m_phone.RunShell(vexa::adbphone::ContentInsertCommand(kRaw, binds)), "");
        std::int64_t id = -1;
        for (const adb::ContentRow& row : Query(kRaw, {"_id"})) {
            id = std::max<std::int64_t>(id, row.value("_id").toLongLong());
        }
        return id;
    }
    vexa::Contact ReadBack(std::int64_t id, const std::map<int, vexa::Group*>& groups = {}) {
        std::vector<std::string> outputs;
        for (const std::string& command : vexa::adbphone::ContactDataQueries("raw_contact_id=" + std::to_string(id))) {
            outputs.push_back(m_phone.RunShell(command));
        }
        vexa::Contact contact;
        for (const adb::ContentRow& row : vexa::adbphone::MergeContactDataPasses(outputs)) {
            vexa::adbphone::ApplyContactDataRow(contact, row, groups);
        }
        return contact;
    }
};

TEST_F(PhoneContactsTest, HostileTextsSurviveEveryMimeType) {
    const QString hostile = QStringLiteral("O'Brien \"$HOME\" `id` $(reboot), data1=x; 张三=李四:备注");
    ASSERT_EQ(m_phone.RunShell(vexa::adbphone::ContentInsertCommand(kGroups, {{"title", 's', hostile.toStdString()}})),
              "");
    const std::vector<adb::ContentRow> groupRows = Query(kGroups, {"_id", "title"});
    ASSERT_EQ(groupRows.size(), 1u);
    EXPECT_EQ(groupRows[0].value("title"), hostile);
    vexa::Group group;
    group.m_id = groupRows[0].value("_id").toInt();

    const std::int64_t id = NewRawContact({{"starred", 'i', "1"}, {"account_type", 's', "com.android.sim"},
                                           {"account_name", 's', "SIM2"}});
    ASSERT_GT(id, 0);
    vexa::Contact c;
    c.m_displayName = hostile;
    for (int part = vexa::NAME_GIVEN; part <= vexa::NAME_PHONETIC_FAMILY; ++part) {
        c.m_nameParts.parts[part] = hostile + QString::number(part);
    }
    c.m_nickname = hostile;
    c.m_company = hostile;
    c.m_title = QStringLiteral("t");
    c.m_birthday = QStringLiteral("--07-09");
    c.m_notes = {hostile, QStringLiteral("two\r\nlines")};
    c.m_phones = {{0, hostile, hostile}, {2, {}, QStringLiteral("+86 138")}};
    c.m_emails = {{1, {}, hostile}};
    c.m_websites = {{0, QStringLiteral("自定义"), hostile}};
    c.m_ims = {{4, hostile}};
    c.m_addresses = {{0, hostile, hostile, QStringLiteral("北京"), hostile, QStringLiteral("100000"), {}}};
    c.m_groups = {&group};
    for (const std::string& line : vexa::adbphone::ContactDataInserts(c, id)) {
        ASSERT_EQ(m_phone.RunShell(line), "") << line;
    }
    const vexa::Contact back = ReadBack(id, {{group.m_id, &group}});
    EXPECT_EQ(back.m_displayName, hostile);
    for (int part = vexa::NAME_GIVEN; part <= vexa::NAME_PHONETIC_FAMILY; ++part) {
        EXPECT_EQ(back.m_nameParts.parts[part], c.m_nameParts.parts[part]);
    }
    EXPECT_EQ(back.m_nickname, hostile);
    EXPECT_EQ(back.m_company, hostile);
    EXPECT_EQ(back.m_title, "t");
    EXPECT_EQ(back.m_birthday, "--07-09");
    EXPECT_EQ(back.m_notes, c.m_notes);
    EXPECT_EQ(back.m_phones, c.m_phones);
    EXPECT_EQ(back.m_emails, c.m_emails);
    EXPECT_EQ(back.m_websites, c.m_websites);
    EXPECT_EQ(back.m_ims, c.m_ims);
    EXPECT_EQ(back.m_addresses, c.m_addresses);
    ASSERT_EQ(back.m_groups.size(), 1u);
    const std::vector<adb::ContentRow> raw = Query(kRaw, {"_id", "starred", "account_name", "display_name"});
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0].value("starred"), "1");
    EXPECT_EQ(raw[0].value("account_name"), "SIM2");
    EXPECT_EQ(raw[0].value("display_name"), hostile);

    // Deleting the data rows leaves the raw contact and its name for the rewrite; deleting the
    // raw contact takes everything.
    EXPECT_EQ(m_phone.RunShell(vexa::adbphone::ContentDeleteCommand(kData, "raw_contact_id=" + std::to_string(id))), "");
    EXPECT_TRUE(ReadBack(id).m_phones.empty());
    EXPECT_EQ(Query(kRaw, {"_id"}).size(), 1u);
    EXPECT_EQ(m_phone.RunShell(vexa::adbphone::ContentDeleteCommand(kRaw, "_id=" + std::to_string(id))), "");
    EXPECT_TRUE(Query(kRaw, {"_id"}).empty());
    EXPECT_TRUE(Query(kData, {"_id"}).empty());
    EXPECT_EQ(Query(kGroups, {"_id"}).size(), 1u);
}

TEST_F(PhoneContactsTest, BadRequestsAreRefusedAndChangeNothing) {
    const std::int64_t id = NewRawContact({{"starred", 'i', "0"}});
    const std::string raw = std::to_string(id);
    ASSERT_EQ(m_phone.RunShell("content insert --uri content://com.android.contacts/data --bind raw_contact_id:l:" +
                               raw + " --bind mimetype:s:vnd.android.cursor.item/phone_v2 --bind data1:s:10086"),
              "");
    for (const std::string& line : std::vector<std::string>{
             "content query --uri content://com.android.contacts/contacts",
             "content query --uri content://com.android.contacts/raw_contacts --projection _id:password",
             "content delete --uri content://com.android.contacts/raw_contacts",
             "content delete --uri content://com.android.contacts/raw_contacts --where '_id>0 OR 1=1'",
             "content delete --uri content://com.android.contacts/data --where '_id=1'",
             "content update --uri content://com.android.contacts/data --where raw_contact_id=" + raw +
                 " --bind data1:s:x",
             "content insert --uri content://com.android.contacts/data --bind mimetype:s:vnd.android.cursor.item/note",
             "content insert --uri content://com.android.contacts/data --bind raw_contact_id:l:" + raw +
                 " --bind mimetype:s:vnd.android.cursor.item/photo",
             "content insert --uri content://com.android.contacts/data --bind raw_contact_id:l:" + raw +
                 " --bind mimetype:s:vnd.android.cursor.item/group_membership --bind data1:l:999",
             "content insert --uri content://com.android.contacts/raw_contacts --bind _id:i:5",
             "content insert --uri content://com.android.contacts/groups --bind title:s:",
             "content insert --uri content://com.android.contacts/../sms --bind body:s:x",
         }) {
        const std::string out = m_phone.RunShell(line);
        EXPECT_TRUE(out.starts_with("Error while accessing provider:")) << line << " -> " << out;
    }
    EXPECT_EQ(Query(kRaw, {"_id"}).size(), 1u);
    EXPECT_TRUE(Query(kGroups, {"_id"}).empty());
    const vexa::Contact back = ReadBack(id);
    ASSERT_EQ(back.m_phones.size(), 1u);
    EXPECT_EQ(back.m_phones[0].m_value, "10086");
    EXPECT_TRUE(back.m_notes.isEmpty());
}

TEST_F(PhoneContactsTest, APhoneThatKeepsItsContactsSaysWhy) {
    {
        vexa::sim::SimDb db;
        QString error;
        ASSERT_TRUE(db.Open(vexa::sim::PhoneFilePath(QStringLiteral("P-1")), &error)) << error.toStdString();
        ASSERT_TRUE(db.SetMeta("adb_denied", QStringLiteral("call_log,contacts")));
    }
    const std::string out = m_phone.RunShell("content query --uri content://com.android.contacts/raw_contacts; echo $?");
    EXPECT_NE(out.find("java.lang.SecurityException: Permission Denial"), std::string::npos) << out;
    EXPECT_TRUE(out.ends_with("\n0\n")) << out;
    EXPECT_NE(m_phone.RunShell("content insert --uri content://com.android.contacts/groups --bind title:s:x")
                  .find("READ_CONTACTS"),
              std::string::npos);
}

// ---- bindings as the content tool reads them ------------------------------------------------------

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

INSTANTIATE_TEST_SUITE_P(
    Bindings, ContentBindingTest,
    ::testing::Values(
        // Older tools: everything after the second colon is the value, backslashes and all.
        BindingCase{"body:s:a:b\\:c", false, "body", "a:b\\:c"}, BindingCase{"body:s:", false, "body", ""},
        BindingCase{"read:b:TRUE", false, "read", "1"}, BindingCase{"read:B:yes", false, "read", "0"},
        BindingCase{"date:l:+1700000000000", false, "date", "1700000000000"},
        BindingCase{"date:i:1700000000000", false, "date", "1700000000000"},
        BindingCase{"x:n:whatever", false, "x", std::nullopt},
        BindingCase{"body:S:x", false, "", std::nullopt, "Unsupported type: S"},
        BindingCase{"type:i:1.0", false, "", std::nullopt, "For input string: \"1.0\""},
        BindingCase{"type:i:", false, "", std::nullopt, "For input string: \"\""},
        BindingCase{"body", false, "", std::nullopt, "Binding not well formed: body"},
        BindingCase{"body:s", false, "", std::nullopt, "Binding not well formed: body:s"},
        // Android 11 and later: colons and backslashes escaped, exactly three parts, 32-bit "i".
        BindingCase{"body:s:a\\:b\\\\c", true, "body", "a:b\\c"},
        BindingCase{"body:s:a:b", true, "", std::nullopt, "Binding not well formed: body:s:a:b"},
        BindingCase{"body:s:x\\", true, "", std::nullopt, "Invalid escaping"},
        BindingCase{"date:i:1700000000000", true, "", std::nullopt, "For input string: \"1700000000000\""},
        BindingCase{"date:L:-5", true, "date", "-5"}));

} // namespace

// ---- the message provider and the WRITE_SMS app-op ----------------------------------------------

class PhoneSmsTest : public PhoneDeviceTest {
protected:
    std::vector<vexa::Sms> Messages(const std::string& where = {}) {
        return vexa::adbphone::SmsFromContentRows(m_phone.RunShell(vexa::adbphone::ContentQueryCommand(
            "content://sms", {"_id", "address", "date", "type", "read", "sub_id", "body"}, where)));
    }
    std::string Insert(const std::string& body, int type = 1) {
        return m_phone.RunShell(
            vexa::adbphone::ContentInsertCommand("content://sms", {{"address", 's', "10086"},
                                                                   {"body", 's', body},
                                                                   {"date", 'l', "1343196180000"},
                                                                   {"type", 'i', std::to_string(type)},
                                                                   {"read", 'i', "0"},
                                                                   {"sub_id", 'i', "2"}}));
    }
    void SetMeta(const char* key, const QString& value) {
        vexa::sim::SimDb db;
        QString error;
        ASSERT_TRUE(db.Open(vexa::sim::PhoneFilePath(QStringLiteral("P-1")), &error)) << error.toStdString();
        ASSERT_TRUE(db.SetMeta(key, value));
    }
};

TEST_F(PhoneSmsTest, WritesFollowTheShellUsersAppOp) {
    // As on a phone: without the op, writes "succeed" and nothing happens.
    EXPECT_EQ(m_phone.RunShell("appops get com.android.shell WRITE_SMS"), "No operations.\n");
    EXPECT_EQ(Insert("first"), "");
    EXPECT_TRUE(Messages().empty());

    EXPECT_EQ(m_phone.RunShell("appops set com.android.shell WRITE_SMS allow; echo $?"), "0\n");
    EXPECT_EQ(m_phone.RunShell("appops get com.android.shell WRITE_SMS"), "WRITE_SMS: allow\n");
    ASSERT_EQ(Insert("second"), "");
    ASSERT_EQ(Insert("third", 3), "");
    std::vector<vexa::Sms> all = Messages();
    ASSERT_EQ(all.size(), 2u);
    const vexa::Sms& newest = all[0].GetId() > all[1].GetId() ? all[0] : all[1];
    EXPECT_EQ(newest.GetContent(), "third");
    EXPECT_EQ(newest.GetBox(), vexa::BOX_DRAFT);
    EXPECT_EQ(newest.GetSim(), 2);
    EXPECT_FALSE(newest.IsRead());
    const std::string id = std::to_string(newest.GetId());
    EXPECT_EQ(Messages("_id>" + id).size(), 0u);
    EXPECT_EQ(m_phone.RunShell(vexa::adbphone::ContentUpdateCommand("content://sms", "_id=" + id,
                                                                    {{"read", 'i', "1"}, {"body", 's', "edited"}})),
              "");
    ASSERT_EQ(Messages("_id=" + id).size(), 1u);
    EXPECT_EQ(Messages("_id=" + id)[0].GetContent(), "edited");
    EXPECT_TRUE(Messages("_id=" + id)[0].IsRead());

    // Denied: the provider throws, and the tool still exits with 0.
    EXPECT_EQ(m_phone.RunShell("appops set com.android.shell WRITE_SMS deny"), "");
    const std::string denied = m_phone.RunShell(vexa::adbphone::ContentDeleteCommand("content://sms", "_id=" + id));
    EXPECT_TRUE(denied.starts_with("Error while accessing provider:sms\njava.lang.SecurityException")) << denied;
    EXPECT_EQ(Messages().size(), 2u);

    // A phone that keeps the shell user from its own app-ops says so, and nothing changes.
    SetMeta("appops_refused", QStringLiteral("1"));
    const std::string refused = m_phone.RunShell("appops set com.android.shell WRITE_SMS allow; echo $?");
    EXPECT_TRUE(refused.starts_with("Security exception: ")) << refused;
    EXPECT_TRUE(refused.ends_with("\n255\n")) << refused;
    EXPECT_EQ(m_phone.RunShell("appops get com.android.shell WRITE_SMS"), "WRITE_SMS: deny\n");
    EXPECT_NE(m_phone.RunShell("appops set com.android.shell CAMERA allow").find("Error:"), std::string::npos);
    EXPECT_NE(m_phone.RunShell("appops set com.evil WRITE_SMS allow").find("Error:"), std::string::npos);

    SetMeta("appops_refused", QString());
    ASSERT_EQ(m_phone.RunShell("appops set com.android.shell WRITE_SMS allow"), "");
    EXPECT_EQ(m_phone.RunShell(vexa::adbphone::ContentDeleteCommand("content://sms", "_id=" + id)), "");
    EXPECT_EQ(Messages().size(), 1u);
    EXPECT_TRUE(m_phone.RunShell("content insert --uri content://sms --bind secret:s:x")
                    .starts_with("Error while accessing provider:sms\n"));
    EXPECT_TRUE(m_phone.RunShell("content delete --uri content://sms --where 'body=1 OR 1=1'")
                    .starts_with("Error while accessing provider:sms\n"));
    EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(PhoneSmsTest, NewerPhonesReadEscapedColons) {
    SetMeta("appops_write_sms", QStringLiteral("allow"));
    SetMeta("sdk", QStringLiteral("33"));
    EXPECT_EQ(m_phone.Properties()["ro.build.version.sdk"], "33");
    const std::string raw = "content insert --uri content://sms --bind 'body:s:10\\:30 a\\\\b' --bind address:s:1";
    ASSERT_EQ(m_phone.RunShell(raw), "");
    // The same binding without escapes is too many parts for the newer tool.
    EXPECT_TRUE(m_phone.RunShell("content insert --uri content://sms --bind body:s:10:30")
                    .ends_with("[ERROR] Binding not well formed: body:s:10:30\n"));
    const std::vector<vexa::Sms> all = Messages();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].GetContent(), "10:30 a\\b");
}
