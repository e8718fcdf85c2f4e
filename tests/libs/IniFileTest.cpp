#include "libs/prefs/IniFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using R = CIniFile::LoadResult;

TEST(IniFile, HostileValuesRoundTripCommentsAndCrLfAreAcceptedAndSavesReplaceTheFile) {
    CIniFile ini;
    const QString hostile = QStringLiteral("C:\\a=b\\\n[x]\r\n;not a comment 手机");
    ini.SetValue(QStringLiteral("S"), QStringLiteral("k"), hostile);
    ini.SetValue(QStringLiteral("S"), QStringLiteral("empty"), QString());
    CIniFile back;
    ASSERT_EQ(back.Parse(ini.Serialise()), R::Ok) << qPrintable(back.ErrorString());
    EXPECT_EQ(back.Value(QStringLiteral("S"), QStringLiteral("k")), hostile);
    EXPECT_TRUE(back.Contains(QStringLiteral("S"), QStringLiteral("empty")));
    EXPECT_EQ(back.Value(QStringLiteral("S"), QStringLiteral("missing"), QStringLiteral("d")), QStringLiteral("d"));
    // Comments, blank lines and CRLF line ends are accepted.
    ASSERT_EQ(back.Parse("; top\r\n\r\n[A]\r\n# c\r\n  key = value with spaces\r\n"), R::Ok);
    EXPECT_EQ(back.Value(QStringLiteral("A"), QStringLiteral("key")), QStringLiteral(" value with spaces"));

    // Save replaces the file whole; load tells a missing file from an unreadable one.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    ini.SetValue(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("1"));
    ASSERT_TRUE(ini.Save(path));
    ini.SetValue(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("2"));
    ASSERT_TRUE(ini.Save(path));
    ASSERT_EQ(back.Load(path), R::Ok);
    EXPECT_EQ(back.Value(QStringLiteral("A"), QStringLiteral("k")), QStringLiteral("2"));
    EXPECT_EQ(back.Value(QStringLiteral("S"), QStringLiteral("k")), hostile);
    EXPECT_FALSE(ini.Save(dir.filePath(QStringLiteral("no/such/folder/a.ini"))));
    EXPECT_EQ(back.Load(dir.filePath(QStringLiteral("none.ini"))), R::Missing);
    EXPECT_EQ(back.Load(dir.path()), R::Unreadable) << "a folder cannot be read as a file";
}

struct BrokenCase {
    const char* name;
    QByteArray data;
};

class IniFileBroken : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(IniFileBroken, IsReportedCorruptAndKeepsNothingHalfRead) {
    CIniFile ini;
    ini.SetValue(QStringLiteral("Old"), QStringLiteral("k"), QStringLiteral("v"));
    EXPECT_EQ(ini.Parse(GetParam().data), R::Corrupt);
    EXPECT_FALSE(ini.ErrorString().isEmpty());
    EXPECT_FALSE(ini.Contains(QStringLiteral("A"), QStringLiteral("a")));
}

INSTANTIATE_TEST_SUITE_P(Inputs, IniFileBroken,
                         ::testing::Values(BrokenCase{"NotUtf8", QByteArray("[A]\na=\xC4\xE3\xBA\xC3\n")},
                                           BrokenCase{"Binary", QByteArray("[A]\na=1\n\x00\x01\x02", 10)},
                                           BrokenCase{"KeyOutsideSection", QByteArray("a=1\n[A]\n")},
                                           BrokenCase{"LineWithoutEquals", QByteArray("[A]\na=1\njunk\n")},
                                           BrokenCase{"UnclosedSection", QByteArray("[A\na=1\n")},
                                           BrokenCase{"BadEscape", QByteArray("[A]\na=1\\x\n")},
                                           BrokenCase{"TrailingBackslash", QByteArray("[A]\na=1\\\n")},
                                           BrokenCase{"Oversized",
                                                      QByteArray("[A]\n") + QByteArray(CIniFile::kMaxSize, 'a')}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
