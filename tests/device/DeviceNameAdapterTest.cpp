#include "device/DeviceNameAdapter.h"
#include "TestFiles.h"

#include "platform/CodePage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class DeviceNameAdapterTest : public ::testing::Test {
protected:
    QString Path() const { return m_dir.filePath(QStringLiteral("MapInfo.ini")); }
    void WriteFile(const QByteArray& bytes) { ASSERT_TRUE(vexa::test::WriteFile(Path(), bytes)); }
    QByteArray ReadFile() { return vexa::test::ReadFile(Path()); }
    QTemporaryDir m_dir;
};

TEST_F(DeviceNameAdapterTest, ChineseNamesRoundTripInTheAnsiCodePageInKeyOrder) {
    DeviceNameAdapter names;
    ASSERT_TRUE(names.Load(Path()));
    names.SetName(QStringLiteral("SER2"), QStringLiteral("老爸的手机"));
    names.SetBackupTime(QStringLiteral("SER1"), QStringLiteral("202612061530"));
    ASSERT_TRUE(names.Save());
    EXPECT_EQ(ReadFile(), QByteArray("SER1,,202612061530\r\nSER2,") + UnicodeToAnsi(QStringLiteral("老爸的手机")) +
                              QByteArray(",\r\n"));

    DeviceNameAdapter again;
    ASSERT_TRUE(again.Load(Path()));
    QString name;
    QString time;
    ASSERT_TRUE(again.GetName(QStringLiteral("SER2"), name));
    EXPECT_EQ(name, QStringLiteral("老爸的手机"));
    EXPECT_FALSE(again.GetBackupTime(QStringLiteral("SER2"), time)) << "an empty time counts as none";
    ASSERT_TRUE(again.GetBackupTime(QStringLiteral("SER1"), time));
    EXPECT_EQ(time, QStringLiteral("202612061530"));
}

TEST_F(DeviceNameAdapterTest, ParsingRulesAndGarbage) {
    // A blank line ends the file; a repeated key overwrites; the time keeps later commas; a line with no
    // comma has an empty key; a last line without CRLF is ignored.
    const auto entries = DeviceNameAdapter::Parse(
        "A,first,1\r\nA,second,2,3\r\nnocomma\r\nB,onlyname\r\n\r\nC,after blank,4\r\nD,no crlf,5");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries.at(QStringLiteral("A")), std::make_pair(QStringLiteral("second"), QStringLiteral("2,3")));
    EXPECT_EQ(entries.count(QString()), 1u);
    EXPECT_EQ(entries.at(QStringLiteral("B")), std::make_pair(QStringLiteral("onlyname"), QString()));
    EXPECT_EQ(entries.count(QStringLiteral("C")), 0u);
    EXPECT_EQ(entries.count(QStringLiteral("D")), 0u);
    EXPECT_TRUE(DeviceNameAdapter::Parse("X,y,z\n").empty()) << "a bare LF does not end a line";

    // Binary garbage loads without crashing.
    QByteArray junk;
    for (int i = 0; i < 4096; ++i) {
        junk.append(static_cast<char>((i * 131) % 256));
    }
    WriteFile(junk + "\r\n");
    DeviceNameAdapter names;
    EXPECT_TRUE(names.Load(Path()));
}

TEST_F(DeviceNameAdapterTest, AMissingFileIsCreatedEmptyNamesFallBackToMyModelAndRenamesAreSaved) {
    DeviceNameAdapter names;
    ASSERT_TRUE(names.Load(Path()));
    EXPECT_TRUE(QFile::exists(Path()));
    EXPECT_EQ(names.Count(), 0u);
    EXPECT_EQ(names.GetDisplayName(QStringLiteral("S"), QStringLiteral("V9 Pro")), QStringLiteral("我的 V9 Pro"));
    names.SetName(QStringLiteral("S"), QString());
    EXPECT_EQ(names.GetDisplayName(QStringLiteral("S"), QStringLiteral("V9")), QStringLiteral("我的 V9"));
    names.SetName(QStringLiteral("S"), QStringLiteral("工作机"));
    EXPECT_EQ(names.GetDisplayName(QStringLiteral("S"), QStringLiteral("V9")), QStringLiteral("工作机"));

    // Renaming keeps one line a phone, and blank means the default.
    const std::pair<const char*, const char*> cases[] = {
        {"  工作机 ", "工作机"}, {"a,b", "a，b"}, {"two\r\nlines", "two  lines"}, {"   ", "我的 V9"}, {"", "我的 V9"}};
    for (const auto& [typed, stored] : cases) {
        EXPECT_EQ(names.Rename(QStringLiteral("S"), QStringLiteral("V9"), QString::fromUtf8(typed)), QString::fromUtf8(stored));
        ASSERT_TRUE(names.Save());
        DeviceNameAdapter again;
        ASSERT_TRUE(again.Load(Path()));
        EXPECT_EQ(again.GetDisplayName(QStringLiteral("S"), QStringLiteral("V9")), QString::fromUtf8(stored)) << typed;
        EXPECT_EQ(again.Count(), 1u) << typed;
    }

    // Saving fails cleanly when the file cannot be created.
    ASSERT_TRUE(QFile::remove(Path()));
    ASSERT_TRUE(QDir().mkpath(Path())); // a folder in the file's place
    names.SetName(QStringLiteral("S"), QStringLiteral("n"));
    EXPECT_FALSE(names.Save());
}

TEST_F(DeviceNameAdapterTest, AnOlderFileIsTakenOverOnceAndLeftInPlace) {
    const QString legacy = m_dir.filePath(QStringLiteral("old-MapInfo.ini"));
    ASSERT_TRUE(vexa::test::WriteFile(legacy, "SER1,old,202601010101\r\n"));
    DeviceNameAdapter names;
    ASSERT_TRUE(names.Load(Path(), legacy));
    EXPECT_EQ(ReadFile(), QByteArray("SER1,old,202601010101\r\n"));
    // Once the new file exists the old one no longer counts.
    ASSERT_TRUE(vexa::test::WriteFile(legacy, "SER2,newer,\r\n"));
    names.SetName(QStringLiteral("SER1"), QStringLiteral("mine"));
    ASSERT_TRUE(names.Save());
    DeviceNameAdapter again;
    ASSERT_TRUE(again.Load(Path(), legacy));
    QString name;
    EXPECT_TRUE(again.GetName(QStringLiteral("SER1"), name));
    EXPECT_EQ(name, QStringLiteral("mine"));
    EXPECT_FALSE(again.GetName(QStringLiteral("SER2"), name));
    EXPECT_TRUE(QFile::exists(legacy));
}

} // namespace
