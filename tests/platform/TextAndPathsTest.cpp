#include "TestEnvironment.h"
#include "TestFiles.h"
#include "platform/AppPaths.h"
#include "platform/CodePage.h"
#include "platform/SizeText.h"
#include "platform/StringTable.h"
#include "platform/SystemProxy.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(SizeText, BoundariesBetweenUnits) {
    EXPECT_EQ(FormatSizeText(1023), QStringLiteral("1023 B"));
    EXPECT_EQ(FormatSizeText(1024), QStringLiteral("1.0 KB"));
    // Just below a megabyte the kilobyte figure rounds up rather than switching unit.
    EXPECT_EQ(FormatSizeText(1048575), QStringLiteral("1024.0 KB"));
    EXPECT_EQ(FormatSizeText(1048576), QStringLiteral("1.0 MB"));
    EXPECT_EQ(FormatSizeText(5LL * 1024 * 1024 * 1024), QStringLiteral("5120.0 MB"));
    EXPECT_EQ(FormatSizeText(1536, SizeBlank::Without), QStringLiteral("1.5KB"));
}

TEST(ProgramVersion, FourPartVersionOrTheFallback) {
    EXPECT_NE(ProgramVersion(), QStringLiteral("1.0.1.0")) << "the build's own version, not the fallback";
    EXPECT_EQ(NormaliseProgramVersion(QStringLiteral("2.0.13.7")), QStringLiteral("2.0.13.7"));
    for (const char* bad : {"", "1.2", "1.2.3", "1.2.3.4.5", "a.b.c.d", "1.2.3.x", " 1.2.3.4"}) {
        EXPECT_EQ(NormaliseProgramVersion(QString::fromLatin1(bad)), QStringLiteral("1.0.1.0")) << bad;
    }
}

TEST(AppPaths, FoldersFollowTheXdgEnvironmentAndAreCreated) {
    ScopedTestFolders folders;
    EXPECT_EQ(DataFolder(), folders.DataFolder());
    EXPECT_EQ(ConfigFolder(), folders.ConfigFolder());
    EXPECT_TRUE(QDir(folders.DataFolder()).exists());
    EXPECT_TRUE(QDir(folders.ConfigFolder()).exists());
    EXPECT_TRUE(QDir(ExecutableDirectory()).exists());
}

TEST(StringTable, KnownTextsParsingAndDialogFilters) {
    EXPECT_EQ(Str(388), QStringLiteral("VEXA 手机助手"));
    EXPECT_TRUE(Str(307).contains(QStringLiteral("？\r\n群组"))) << qPrintable(Str(307));
    EXPECT_EQ(Str(873), QStringLiteral("文件名不能包含\\ / : * ? \" < > | 字符"));
    EXPECT_FALSE(HasStr(99999));
    EXPECT_EQ(Str(99999), QStringLiteral("#99999"));
    EXPECT_GE(StringIds().size(), 549u);

    // The parser skips lines that are not id, tab, text; file filters become what the dialog reads.
    const auto rows =
        ParseStringTable("# comment\n12\tok\r\nx\tbad id\n\tno id\n-4\tnegative\n13\ttab\\tand\\\\slash\\q\n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], std::make_pair(12, QStringLiteral("ok")));
    EXPECT_EQ(rows[1], std::make_pair(13, QStringLiteral("tab\tand\\slash\\q")));
    EXPECT_EQ(DialogFileFilter(QStringLiteral("备份文件(*.bkg;*.bkp)|*.bkg;*.bkp||")), QStringLiteral("备份文件(*.bkg *.bkp)"));
    EXPECT_EQ(DialogFileFilter(QStringLiteral("A(*.a)|*.a|B(*.b;*.c)|*.b;*.c||")), QStringLiteral("A(*.a);;B(*.b *.c)"));
    EXPECT_EQ(DialogFileFilter(QStringLiteral("CSV Files(*.csv)")), QStringLiteral("CSV Files(*.csv)"));
}

TEST(StringTable, SavedFilesAreOfferedADatedName) {
    const QDateTime when(QDate(2026, 12, 8), QTime(9, 5, 7));
    const struct {
        const char* stem;
        const char* suffix;
        bool withTime;
        const char* name;
    } cases[] = {
        {"联系人", "csv", false, "联系人_20261208.csv"},
        {"截图", "", true, "截图_20261208_090507"},
        {"a/b:c*?", "vcf", false, "a_b_c___20261208.vcf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SuggestedFileName(QString::fromUtf8(c.stem), QString::fromUtf8(c.suffix), when, c.withTime),
                  QString::fromUtf8(c.name));
    }
    const QFileInfo offered(SuggestedSavePath(QStringLiteral("信息"), QStringLiteral("csv")));
    EXPECT_TRUE(offered.isAbsolute());
    EXPECT_TRUE(offered.dir().exists());
    EXPECT_TRUE(offered.fileName().startsWith(QStringLiteral("信息_")));
}

// Every Str(<number>) the program uses must be in the table: a gap fails here, not on screen.
TEST(StringTable, EveryIdUsedInTheSourcesIsInTheTable) {
    static const QRegularExpression use(QStringLiteral("\\bStr\\((\\d+)\\)"));
    QDirIterator it(QStringLiteral(VEXA_SOURCE_DIR "/src"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                    QDir::Files, QDirIterator::Subdirectories);
    int uses = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        const QString text = QString::fromUtf8(vexa::test::ReadFile(path));
        ASSERT_FALSE(text.isEmpty()) << qPrintable(path);
        for (auto m = use.globalMatch(text); m.hasNext();) {
            const int id = m.next().captured(1).toInt();
            ++uses;
            EXPECT_TRUE(HasStr(id)) << "string " << id << " used in " << qPrintable(path);
        }
    }
    EXPECT_GT(uses, 0);
}

// Reading the variables themselves, with and without one set: HttpProxy in the libraries' tests.
TEST(SystemProxy, ProxyVariablesBecomeHostAndPort) {
    EXPECT_EQ(ProxyHostPort(QStringLiteral("http://user:pw@proxy.lan:3128/")), QStringLiteral("proxy.lan:3128"));
    EXPECT_EQ(ProxyHostPort(QStringLiteral("10.0.0.1:8080")), QStringLiteral("10.0.0.1:8080"));
    EXPECT_EQ(ProxyHostPort(QStringLiteral("proxy")), QStringLiteral("proxy"));
    EXPECT_EQ(ProxyHostPort(QStringLiteral("  ")), QString());
}

const QByteArray kShouJiZhuShou("\xCA\xD6\xBB\xFA\xD6\xFA\xCA\xD6"); // 手机助手 in GBK

TEST(CodePage, TextRoundTripsThroughGb18030AndBadBytesAreReplaced) {
    const QString text = QStringLiteral("VEXA 手机助手");
    const QByteArray ansi = UnicodeToAnsi(text);
    EXPECT_EQ(ansi, QByteArray("VEXA ") + kShouJiZhuShou);
    EXPECT_EQ(AnsiToUnicode(ansi), text);
    EXPECT_TRUE(IsValidAnsi(ansi));
    EXPECT_TRUE(AnsiToUnicode(QByteArray()).isEmpty());
    EXPECT_TRUE(UnicodeToAnsi(QString()).isEmpty());
    EXPECT_TRUE(IsValidAnsi(QByteArray()));
    // Invalid bytes become replacement characters and the rest still decodes: 0xFF is never valid;
    // a lone lead byte at the end is a truncated character.
    const QByteArray bad = QByteArray("a\xFF") + kShouJiZhuShou + QByteArray("\x81");
    EXPECT_FALSE(IsValidAnsi(bad));
    EXPECT_EQ(AnsiToUnicode(bad), QStringLiteral("a\uFFFD手机助手\uFFFD"));

    // A birthday message with an emoji and a Thai letter: nothing of it may turn into '?'.
    const QString birthday = QStringLiteral("x\U0001F600y\u0E01生日快乐");
    const QByteArray wide = UnicodeToAnsi(birthday);
    EXPECT_EQ(wide.left(1), QByteArray("x"));
    EXPECT_EQ(wide.mid(1, 4), QByteArray("\x94\x39\xFC\x36", 4)); // U+1F600 in GB18030
    EXPECT_FALSE(wide.contains('?'));
    EXPECT_TRUE(IsValidAnsi(wide));
    EXPECT_EQ(AnsiToUnicode(wide), birthday);
}

TEST(CodePage, FixedFieldsCutAtCharacterBoundaries) {
    char field[6];
    std::memset(field, 'x', sizeof(field));
    // "手机助" needs 6 bytes plus NUL: only two whole characters fit in 6.
    CopyAnsiField(field, sizeof(field), QStringLiteral("手机助"));
    EXPECT_STREQ(field, "\xCA\xD6\xBB\xFA");
    EXPECT_EQ(field[5], 0);

    // A four-byte character is kept whole or left out whole.
    char four[6];
    CopyAnsiField(four, sizeof(four), QStringLiteral("a\U0001F600b"));
    EXPECT_EQ(QByteArray(four), QByteArray("a\x94\x39\xFC\x36", 5));
    CopyAnsiField(four, 5, QStringLiteral("a\U0001F600"));
    EXPECT_EQ(QByteArray(four), QByteArray("a"));

    char tiny[1] = {'x'};
    CopyAnsiField(tiny, sizeof(tiny), QStringLiteral("abc"));
    EXPECT_EQ(tiny[0], 0);

    char ascii[4];
    CopyAnsiField(ascii, sizeof(ascii), QStringLiteral("abcdef"));
    EXPECT_STREQ(ascii, "abc");
}

} // namespace
