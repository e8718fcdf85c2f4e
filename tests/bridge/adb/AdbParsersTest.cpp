// Parsers of adb and phone tool output: CRLF, noise, truncated and corrupted lines.
#include "bridge/adb/protocol/AdbParsers.h"

#include <gtest/gtest.h>

#include <string>

using namespace adb;

namespace {

std::string Crlf(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

// Every field of a parsed row on one line, so a row is checked by one comparison.
std::string Row(const AdbDeviceEntry& d) {
    return QStringList{d.serial, d.state, d.usb, d.product, d.model, d.device, QString::number(d.transportId)}
        .join(u'|')
        .toStdString();
}
std::string Row(const LsEntry& e) {
    return QStringList{QString(e.type), e.mode, e.owner, e.group, QString::number(e.size),
                       e.modified.toString(QStringLiteral("yyyy-MM-dd HH:mm")), e.name, e.linkTarget}
        .join(u'|')
        .toStdString();
}
std::string Row(const DfEntry& e) {
    return QStringList{e.filesystem, QString::number(e.totalKb), QString::number(e.usedKb),
                       QString::number(e.availableKb), e.mountPoint}
        .join(u'|')
        .toStdString();
}
template <class Entry> std::vector<std::string> Rows(const std::vector<Entry>& entries) {
    std::vector<std::string> rows;
    for (const Entry& e : entries) {
        rows.push_back(Row(e));
    }
    return rows;
}
using Lines = std::vector<std::string>;

} // namespace

namespace {

// Device lists, ls listings and df tables: each output read with "\n" and with "\r\n" line ends.
struct RowsCase {
    const char* name;
    std::vector<std::string> (*parse)(const std::string&);
    std::string output;
    Lines expected;
};

Lines Devices(const std::string& text) { return Rows(ParseDeviceList(text)); }
Lines Listing(const std::string& text) { return Rows(ParseLsListing(text)); }
Lines Mounts(const std::string& text) { return Rows(ParseDf(text)); }

class RowsTest : public ::testing::TestWithParam<RowsCase> {};

} // namespace

TEST_P(RowsTest, Reads) {
    const RowsCase& c = GetParam();
    EXPECT_EQ(c.parse(c.output), c.expected);
    EXPECT_EQ(c.parse(Crlf(c.output)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, RowsTest,
    ::testing::Values(
        RowsCase{"devices_long_form", Devices,
                 "* daemon started successfully\n"
                 "List of devices attached\n"
                 "0123456789ABCDEF       device usb:1-1.2 product:vexa_x1 model:Vexa_X1 device:x1 transport_id:3\n"
                 "127.0.0.1:15555        offline transport_id:7\n\n",
                 {"0123456789ABCDEF|device|1-1.2|vexa_x1|Vexa_X1|x1|3", "127.0.0.1:15555|offline|||||7"}},
        RowsCase{"devices_states_with_blanks", Devices,
                 "ABC\tno permissions (user in plugdev group; see [http://developer.android.com/tools/device.html]) "
                 "usb:1-2 transport_id:1\nDEF\tunauthorized\n",
                 {"ABC|no permissions (user in plugdev group; see "
                  "[http://developer.android.com/tools/device.html])|1-2||||1",
                  "DEF|unauthorized|||||-1"}},
        // A truncated last line still names a serial and a (partial) state: the caller sees an unknown state.
        RowsCase{"devices_corrupt", Devices, "GOOD device transport_id:2\nBAD device transport_id:x9\nLONELY\nTRUNC dev",
                 {"GOOD|device|||||2", "TRUNC|dev|||||-1"}},
        RowsCase{"ls_toybox", Listing,
                 "total 40\n"
                 "drwxrwx--x  4 root sdcard_rw 4096 2023-01-05 10:22 .\n"
                 "drwx--x--x  5 root sdcard_rw 4096 2023-01-05 10:22 ..\n"
                 "drwxrwx--x  2 root sdcard_rw 3488 2023-06-30 08:01 DCIM\n"
                 "-rw-rw----  1 u0_a123 sdcard_rw 12345 2023-01-05 10:22 my  file.txt\n"
                 "-rw-rw----+ 1 root sdcard_rw 7 2024-02-29 23:59 照片 2024.jpg\n"
                 "lrwxrwxrwx  1 root root 21 2009-01-01 08:00 sdcard -> /storage/self/primary\n"
                 "crw-rw-rw-  1 root root 1,   3 2023-01-05 10:22 null\n"
                 "-rw-r--r--  1 root root 0 2023-01-05 10:22 -dash\n",
                 {"d|drwxrwx--x|root|sdcard_rw|3488|2023-06-30 08:01|DCIM|",
                  "-|-rw-rw----|u0_a123|sdcard_rw|12345|2023-01-05 10:22|my  file.txt|",
                  "-|-rw-rw----|root|sdcard_rw|7|2024-02-29 23:59|照片 2024.jpg|",
                  "l|lrwxrwxrwx|root|root|21|2009-01-01 08:00|sdcard|/storage/self/primary",
                  "c|crw-rw-rw-|root|root|0|2023-01-05 10:22|null|", "-|-rw-r--r--|root|root|0|2023-01-05 10:22|-dash|"}},
        RowsCase{"ls_old_toolbox", Listing,
                 "drwxr-xr-x root     root              2015-03-01 12:00 Music\n"
                 "-rw-rw-r-- root     sdcard_rw     1234 2015-03-01 12:01 a b.mp3\n",
                 {"d|drwxr-xr-x|root|root|0|2015-03-01 12:00|Music|",
                  "-|-rw-rw-r--|root|sdcard_rw|1234|2015-03-01 12:01|a b.mp3|"}},
        RowsCase{"ls_corrupt", Listing,
                 "ls: /data/x: Permission denied\n"
                 "-rw-rw---- 1 root root 12 2023-13-45 10:22 baddate\n"
                 "-rw-rw---- 1 root root 12 2023-01-05 10:22\n"
                 "-rw-rw---- 1 root root 2023-01-05 10:22 nosize\n"
                 "-rwxq----- 1 root root 1 2023-01-05 10:22 badmode\n"
                 "-rw-rw---- 1 root root 5 2023-01-05 10:22 ok\n"
                 "-rw-rw---- 1 root root 5 2023-01-0",
                 {"-|-rw-rw----|root|root|5|2023-01-05 10:22|ok|"}},
        RowsCase{"df_toybox_wrapped_names", Mounts,
                 "Filesystem            1K-blocks    Used Available Use% Mounted on\n"
                 "/dev/block/dm-0         5095040 4985772     93196  99% /\n"
                 "tmpfs                   1907488    1012   1906476   1% /dev\n"
                 "/dev/block/by-name/very_long_userdata_name\n"
                 "                      115076100 21352960  93592356  19% /data\n",
                 {"/dev/block/dm-0|5095040|4985772|93196|/", "tmpfs|1907488|1012|1906476|/dev",
                  "/dev/block/by-name/very_long_userdata_name|115076100|21352960|93592356|/data"}},
        // Sizes with units: 925.3M is 947507 KiB, rounded.
        RowsCase{"df_old_toolbox", Mounts,
                 "Filesystem               Size     Used     Free   Blksize\n"
                 "/dev                   925.3M    36.0K   925.3M   4096\n"
                 "/data                    5.7G     3.5G     2.2G   4096\n"
                 "/mnt/secure/asec: Permission denied\n",
                 {"/dev|947507|36|947507|/dev", "/data|5976883|3670016|2306867|/data"}},
        RowsCase{"df_corrupt", Mounts,
                 "Filesystem 1k-blocks Used Available Use% Mounted on\n"
                 "/dev/a 100 x 50 50% /a\n/dev/b 100 50 50 50 /b\n/dev/c 100 50 1.2.3K 50% /c\n"
                 "/dev/d 100 50 50 50% /mnt/with space\n/dev/e 100 50",
                 {"/dev/d|100|50|50|/mnt/with space"}}),
    [](const ::testing::TestParamInfo<RowsCase>& info) { return std::string(info.param.name); });

TEST(GetpropTest, ReadsValuesWithCommasBracketsAndSeveralLinesDropsNoise) {
    const auto props = ParseGetprop(Crlf("[ro.product.brand]: [vexa]\n"
                                         "[empty.value]: []\n"
                                         "[ro.multi]: [first line\n"
                                         "second line]\n"
                                         "[ro.product.name]: [品牌 [x]]\n"));
    EXPECT_EQ(props, (QMap<QString, QString>{{"ro.product.brand", "vexa"},
                                             {"empty.value", ""},
                                             {"ro.multi", "first line\nsecond line"},
                                             {"ro.product.name", "品牌 [x]"}}));

    const auto noisy = ParseGetprop("getprop: noise before\n"
                                    "[a]: [1]\n"
                                    "garbage after a complete value\n"
                                    "[]: [no key]\n"
                                    "[b]: [2]\n"
                                    "[c]: [trunca");
    EXPECT_EQ(noisy, (QMap<QString, QString>{{"a", "1"}, {"b", "2"}}));
}

TEST(PackageListTest, SplitsAtTheLastEqualsSign) {
    const auto packages =
        ParsePackageList(Crlf("package:/data/app/~~Qx1Z==/com.vexa.music-AbC==/base.apk=com.vexa.music\n"
                              "package:/data/app/com.x-1/base.apk=com.x  installer=com.android.vending uid:10123\n"
                              "package:com.nopath\n"
                              "Error: noise\n"
                              "package:/data/app/bad/base.apk=not a package\n"
                              "package:/data/app/trunc/base.apk=\n"));
    QStringList rows;
    for (const PackageEntry& p : packages) {
        rows << p.apkPath + u'|' + p.packageName + u'|' + p.installer;
    }
    EXPECT_EQ(rows, (QStringList{"/data/app/~~Qx1Z==/com.vexa.music-AbC==/base.apk|com.vexa.music|",
                                 "/data/app/com.x-1/base.apk|com.x|com.android.vending", "|com.nopath|"}));
}

TEST(DumpsysPackageTest, ReadsTheInstalledEntryOnlyMissingOrTruncated) {
    const std::string text = Crlf("Activity Resolver Table:\n"
                                  "  versionName=not-this-one\n"
                                  "Packages:\n"
                                  "  Package [com.vexa.music] (3f2a1b):\n"
                                  "    versionCode=120 minSdk=21 targetSdk=33\n"
                                  "    versionName=1.2.0 beta\n"
                                  "    firstInstallTime=2023-01-05 10:22:33\n"
                                  "    lastUpdateTime=2024-02-29 08:00:01\n");
    const PackageDetails d = ParseDumpsysPackage(text, "com.vexa.music");
    EXPECT_TRUE(d.found);
    EXPECT_EQ(d.versionName, "1.2.0 beta");
    EXPECT_EQ(d.versionCode, 120);
    EXPECT_EQ(d.firstInstallTime, QDateTime(QDate(2023, 1, 5), QTime(10, 22, 33)));
    EXPECT_EQ(d.lastUpdateTime, QDateTime(QDate(2024, 2, 29), QTime(8, 0, 1)));

    // A missing package, another whose name starts the same, and a truncated entry.
    EXPECT_FALSE(ParseDumpsysPackage("Unable to find package: com.none\n", "com.none").found);
    EXPECT_FALSE(
        ParseDumpsysPackage("  Package [com.vexa.musicplus] (1):\n    versionName=9\n", "com.vexa.music").found);
    const PackageDetails cut =
        ParseDumpsysPackage("  Package [com.a] (1):\n    versionCode=12x\n    firstInstallTime=2023-0", "com.a");
    EXPECT_TRUE(cut.found);
    EXPECT_EQ(cut.versionCode, -1);
    EXPECT_FALSE(cut.firstInstallTime.isValid());
}

// Each part ends at the next package or section; the installed entry wins over the hidden system copy.
TEST(DumpsysPackageTest, OneDumpOfEveryPackageSplitsIntoParts) {
    const std::string text = Crlf("Packages:\n"
                                  "  Package [com.vexa.music] (3f2a1b):\n"
                                  "    versionCode=120 minSdk=21 targetSdk=33\n"
                                  "    requested permissions:\n"
                                  "      android.permission.INTERNET\n"
                                  "  Package [com.example.notes] (77):\n"
                                  "    versionCode=7 minSdk=19 targetSdk=30\n"
                                  "    versionName=7.0\n"
                                  "Hidden system packages:\n"
                                  "  Package [com.vexa.music] (99):\n"
                                  "    versionCode=1 minSdk=21 targetSdk=33\n"
                                  "Shared users:\n"
                                  "  SharedUser [android.uid.system] (5):\n"
                                  "    versionName=not-a-package\n"
                                  "  Package [com.cut] (1):\n"
                                  "    versionCode=3 minSdk=2");
    const std::map<QString, std::string_view> parts = SplitDumpsysPackages(text);
    ASSERT_EQ(parts.size(), 3u);
    const PackageDetails music = ParseDumpsysPackage(parts.at("com.vexa.music"), "com.vexa.music");
    EXPECT_EQ(music.versionCode, 120);
    EXPECT_EQ(music.requestedPermissions, QStringList{"android.permission.INTERNET"});
    EXPECT_EQ(music.versionName, ""); // the next package's name is not read into it
    const PackageDetails notes = ParseDumpsysPackage(parts.at("com.example.notes"), "com.example.notes");
    EXPECT_EQ(notes.versionName, "7.0");
    EXPECT_EQ(notes.versionCode, 7);
    EXPECT_EQ(ParseDumpsysPackage(parts.at("com.cut"), "com.cut").versionCode, 3);
    EXPECT_TRUE(SplitDumpsysPackages("").empty());
    EXPECT_TRUE(SplitDumpsysPackages("Can't find service: package\n").empty());
    EXPECT_TRUE(SplitDumpsysPackages("  Package [no end\n    versionCode=1\n").empty());
}

TEST(DumpsysPackageTest, RequestedPermissionsAsOldAndNewPhonesPrintThem) {
    // A current phone: names may carry ": restricted=true"; the block ends at the next field.
    const std::string current = Crlf("Packages:\n"
                                     "  Package [com.vexa.cam] (3f2a1b):\n"
                                     "    versionCode=7 minSdk=21 targetSdk=33\n"
                                     "    requested permissions:\n"
                                     "      android.permission.CAMERA\n"
                                     "      android.permission.READ_EXTERNAL_STORAGE: restricted=true\n"
                                     "    install permissions:\n"
                                     "      android.permission.INTERNET: granted=true\n");
    const PackageDetails d = ParseDumpsysPackage(current, "com.vexa.cam");
    EXPECT_EQ(d.requestedPermissions, (QStringList{QStringLiteral("android.permission.CAMERA"),
                                                   QStringLiteral("android.permission.READ_EXTERNAL_STORAGE")}));
    EXPECT_EQ(d.minSdk, "21");
    EXPECT_EQ(d.targetSdk, "33");

    // An old phone ends the block with "grantedPermissions:"; noise inside it (key=value) is no permission.
    const PackageDetails old = ParseDumpsysPackage("  Package [com.a] (1):\n"
                                                   "    requested permissions:\n"
                                                   "      android.permission.SEND_SMS\n"
                                                   "      flags=[ x ]\n"
                                                   "    grantedPermissions:\n",
                                                   "com.a");
    EXPECT_EQ(old.requestedPermissions, QStringList{QStringLiteral("android.permission.SEND_SMS")});
    EXPECT_TRUE(old.minSdk.isEmpty());
    const PackageDetails cut =
        ParseDumpsysPackage("  Package [com.a] (1):\n    requested permissions:\n      andr", "com.a");
    EXPECT_EQ(cut.requestedPermissions, QStringList{QStringLiteral("andr")});
    // Permissions of the hidden system copy after the installed entry are not ours.
    const PackageDetails none = ParseDumpsysPackage("  Package [com.a] (1):\n    versionCode=2\n"
                                                    "  Package [com.a] (2):\n    requested permissions:\n"
                                                    "      android.permission.CAMERA\n",
                                                    "com.a");
    EXPECT_TRUE(none.requestedPermissions.isEmpty());
}

struct PmCase {
    const char* name;
    std::string output;
    bool success;
    const char* code;
    const char* message;
};

class PmResultTest : public ::testing::TestWithParam<PmCase> {};

TEST_P(PmResultTest, Reads) {
    const PmCase& c = GetParam();
    for (const std::string& text : {c.output, Crlf(c.output)}) {
        const PmResult r = ParsePmResult(text);
        EXPECT_EQ(r.success, c.success) << c.name;
        EXPECT_EQ(r.code, QString::fromUtf8(c.code)) << c.name;
        EXPECT_EQ(r.message, QString::fromUtf8(c.message)) << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, PmResultTest,
    ::testing::Values(
        PmCase{"success", "Success\n", true, "", ""},
        PmCase{"success_after_progress_noise", "\tpkg: /data/local/tmp/a.apk\nSuccess\n", true, "", ""},
        PmCase{"not_an_apk", "Failure [INSTALL_PARSE_FAILED_NOT_APK: Failed to parse /data/local/tmp/a.apk]\n", false,
               "INSTALL_PARSE_FAILED_NOT_APK", "Failed to parse /data/local/tmp/a.apk"},
        PmCase{"old_phone_code_only", "Failure [INSTALL_FAILED_VERSION_DOWNGRADE]\n", false,
               "INSTALL_FAILED_VERSION_DOWNGRADE", ""},
        PmCase{"message_with_brackets_and_colons",
               "Failure [INSTALL_FAILED_ALREADY_EXISTS: Attempt to re-install com.a [x]: no]\n", false,
               "INSTALL_FAILED_ALREADY_EXISTS", "Attempt to re-install com.a [x]: no"},
        PmCase{"truncated_failure", "Failure [INSTALL_FAILED_INSUFFIC", false, "INSTALL_FAILED_INSUFFIC", ""},
        PmCase{"error_line", "Error: Unable to open file: /x.apk\nConsider using a file under /data/local/tmp/\n",
               false, "", "Error: Unable to open file: /x.apk"},
        PmCase{"success_word_inside_a_failure", "Failure [INSTALL_FAILED_TEST_ONLY: Success is not enough]\n", false,
               "INSTALL_FAILED_TEST_ONLY", "Success is not enough"},
        PmCase{"nothing", "", false, "", ""}),
    [](const ::testing::TestParamInfo<PmCase>& info) { return std::string(info.param.name); });

TEST(ContentQueryTest, SplitsOnlyAtKnownColumns) {
    const QStringList columns{"_id", "address", "body", "date"};
    const auto rows =
        ParseContentQuery(Crlf("Row: 0 _id=1, address=+8613800000000, body=hello, world, date=1700000000000\n"
                               "Row: 1 _id=2, address=10086, body=a, b=c, d, date=NULL\n"
                               "Row: 2 _id=3, address=, body=第一行\n第二行, date=5\n"),
                          columns);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (QMap<QString, QString>{
                           {"_id", "1"}, {"address", "+8613800000000"}, {"body", "hello, world"}, {"date", "1700000000000"}}));
    EXPECT_EQ(rows[1].value("body"), "a, b=c, d");
    EXPECT_TRUE(rows[1].contains("date"));
    EXPECT_TRUE(rows[1].value("date").isNull());
    EXPECT_FALSE(rows[2].value("address").isNull());
    EXPECT_TRUE(rows[2].value("address").isEmpty());
    EXPECT_EQ(rows[2].value("body"), QString::fromUtf8("第一行\n第二行"));
}

TEST(ContentQueryTest, ValuesKeepThePhonesOwnLineBreaks) {
    const QStringList columns{"_id", "data1"};
    // Printed straight (no terminal): "\r\n" inside a value is the value's.
    auto rows = ParseContentQuery("Row: 0 _id=1, data1=a\r\nb\nRow: 1 _id=2, data1=c\nd\r\n", columns);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].value("data1"), "a\r\nb");
    EXPECT_EQ(rows[1].value("data1"), "c\nd");
    // Through a terminal each break gained one "\r"; a value's own "\r\n" keeps its "\r".
    rows = ParseContentQuery("Row: 0 _id=1, data1=a\r\r\nb\r\nRow: 1 _id=2, data1=c\r\nd\r\n", columns);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].value("data1"), "a\r\nb");
    EXPECT_EQ(rows[1].value("data1"), "c\nd");
}

TEST(ContentQueryTest, NoResultsNoiseAndCorruptRows) {
    EXPECT_TRUE(ParseContentQuery("No result found.\n", {"_id"}).empty());
    const auto rows =
        ParseContentQuery("noise\nRow: x _id=1\nRow: 3 unknown=1\nRow: 4 _id=9, body=trunc", {"_id", "body"});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].value("_id"), "9");
    EXPECT_EQ(rows[0].value("body"), "trunc");
}
