// vexa-adbd's phone without any socket: its shell line splitting, and its tool output read back
// with the same parsers the adb backend uses on real phones.
#include "PhoneDevice.h"

#include "bridge/adb/protocol/AdbParsers.h"
#include "bridge/adb/protocol/ShellQuote.h"
#include "bridge/sim/SimPhones.h"

#include "TestEnvironment.h"

#include <QFile>

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
    // Writing messages and the contacts provider are not served, as on a phone adb may not write.
    EXPECT_TRUE(m_phone.RunShell("content insert --uri content://sms --bind body:s:x; echo $?").ends_with("\n1\n"));
    EXPECT_TRUE(m_phone.RunShell("content query --uri content://com.android.contacts/contacts; echo $?")
                    .ends_with("\n1\n"));
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

} // namespace
