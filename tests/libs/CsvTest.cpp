#include "libs/csv/Csv.h"
#include "TestFiles.h"
#include "libs/csv/CsvFile.h"

#include "platform/CodePage.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QStringList kHostileCells = {
    QString(),
    QStringLiteral("\""),
    QStringLiteral("two\nlines"),
    QStringLiteral("  spaced  "),
    QStringLiteral("张伟,\"老张\"\r\n北京"),
};

class CsvFileTest : public ::testing::Test {
protected:
    QString Write(const QByteArray& bytes) {
        const QString path = m_dir.filePath(QStringLiteral("f%1.csv").arg(++m_count));
        EXPECT_TRUE(vexa::test::WriteFile(path, bytes));
        return path;
    }
    QStringList ReadAll(const QString& path, CCsvFileReaderEx& reader) {
        QStringList lines;
        EXPECT_NE(reader.SetFilePath(path), 0) << qPrintable(reader.ErrorString());
        QString line;
        while (reader.GetNextLine(line) != 0) {
            lines << line;
        }
        return lines;
    }
    QTemporaryDir m_dir;
    int m_count = 0;
};

QByteArray Utf16(const QString& s) {
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

TEST_F(CsvFileTest, EveryEncodingYieldsTheSameLogicalLinesAndLineEndsOutsideQuotesEndARecord) {
    const QString text =
        QStringLiteral("姓名,备注\r\n张伟,\"第一行\r\n第二行\"\r\n\"Li, Na\",\"引号\"\"\"\r\nlast,no newline");
    const QStringList expected = {QStringLiteral("姓名,备注"), QStringLiteral("张伟,\"第一行\r\n第二行\""),
                                  QStringLiteral("\"Li, Na\",\"引号\"\"\""), QStringLiteral("last,no newline")};
    using E = CCsvFileReaderEx::Encoding;
    const struct {
        QByteArray bytes;
        QStringList lines;
        E encoding;
    } cases[] = {
        {QByteArray("\xEF\xBB\xBF") + text.toUtf8(), expected, E::Utf8},
        {text.toUtf8(), expected, E::Utf8},
        {UnicodeToAnsi(text), expected, E::Ansi},
        {QByteArray("\xFF\xFE") + Utf16(text), expected, E::Utf16Le},
        {Utf16(text), expected, E::Utf16Le},
        {"a,1\rb,2\r\nc,3", {"a,1", "b,2", "c,3"}, E::Utf8}, // a stray CR between two records
        {"\"x\ry\",z\r\nw", {"\"x\ry\",z", "w"}, E::Utf8},   // inside quotes it is text
        {"a\r\rb\n", {"a", "", "b"}, E::Utf8},
        {"a,b\n\nc,\"x\ny\"\n", {"a,b", "", "c,\"x\ny\""}, E::Utf8}, // LF-only file with an empty line
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        CCsvFileReaderEx reader;
        EXPECT_EQ(ReadAll(Write(c.bytes), reader), c.lines);
        EXPECT_EQ(reader.DetectedEncoding(), c.encoding);
        EXPECT_FALSE(reader.HasError());
    }
}

TEST_F(CsvFileTest, EmptyMissingIrregularTruncatedAndGarbageFiles) {
    CCsvFileReaderEx reader;
    EXPECT_TRUE(ReadAll(Write(QByteArray()), reader).isEmpty());
    EXPECT_TRUE(ReadAll(Write("\xFF\xFE"), reader).isEmpty());
    // A pipe nobody writes to would block the first read: refused at once, like a folder.
    const QString fifo = m_dir.filePath(QStringLiteral("pipe.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {m_dir.filePath(QStringLiteral("none.csv")), fifo, m_dir.path()}) {
        EXPECT_EQ(reader.SetFilePath(path), 0) << path.toStdString();
        EXPECT_TRUE(reader.HasError());
        QString line;
        EXPECT_EQ(reader.GetNextLine(line), 0);
    }
    EXPECT_EQ(reader.SetFilePath(Write(QByteArray("\xFE\xFF\0a\0,\0b", 8))), 0);
    EXPECT_TRUE(reader.ErrorString().contains(QStringLiteral("big-endian")));
    const QStringList odd = ReadAll(Write(QByteArray("\xFF\xFE") + Utf16(QStringLiteral("ab\r\ncd")) + "\x41"), reader);
    EXPECT_EQ(odd, (QStringList{QStringLiteral("ab"), QStringLiteral("cd")})) << "a lone last byte is dropped";

    QByteArray junk;
    for (int i = 0; i < 100000; ++i) {
        junk.append(static_cast<char>((i * 7919) % 256));
    }
    CCsvFileReaderEx garbage;
    ASSERT_NE(garbage.SetFilePath(Write(junk)), 0);
    QString line;
    int lines = 0;
    while (garbage.GetNextLine(line) != 0 && lines < 100000) {
        ++lines;
    }
    EXPECT_GT(lines, 0);
}

TEST_F(CsvFileTest, AnOverlongLineIsAnErrorNotAnAllocation) {
    QByteArray big = "a,b\n";
    big += QByteArray(CCsvFileReaderEx::kMaxLineChars * 3 + 10, 'x');
    big += "\nafter\n";
    CCsvFileReaderEx reader;
    ASSERT_NE(reader.SetFilePath(Write(big)), 0);
    QString line;
    ASSERT_EQ(reader.GetNextLine(line), 1);
    EXPECT_EQ(line, QStringLiteral("a,b"));
    EXPECT_EQ(reader.GetNextLine(line), 0);
    EXPECT_TRUE(reader.HasError());
    EXPECT_TRUE(line.isEmpty());

    // An unbalanced quote swallows the rest of the file into one line, bounded the same way.
    QByteArray stray = "\"open\n";
    for (int i = 0; i < 2000; ++i) {
        stray += QByteArray(4096, 'y') + '\n';
    }
    CCsvFileReaderEx second;
    ASSERT_NE(second.SetFilePath(Write(stray)), 0);
    EXPECT_EQ(second.GetNextLine(line), 0);
    EXPECT_TRUE(second.HasError());
}

TEST_F(CsvFileTest, WriterRoundTripsInEachEncodingAndLinesSplitByTheRules) {
    for (const auto encoding :
         {CCsvFileWriter::Encoding::Utf16LeBom, CCsvFileWriter::Encoding::Utf8Bom, CCsvFileWriter::Encoding::Ansi}) {
        const QString path = m_dir.filePath(QStringLiteral("out.csv"));
        CCsvFileWriter writer;
        ASSERT_TRUE(writer.Open(path, encoding));
        ASSERT_TRUE(writer.WriteLine(CsvJoinLine({QStringLiteral("号码"), QStringLiteral("内容")})));
        ASSERT_TRUE(writer.WriteLine(CsvJoinLine(kHostileCells)));
        ASSERT_TRUE(writer.Close());

        CCsvFileReaderEx reader;
        const QStringList lines = ReadAll(path, reader);
        ASSERT_EQ(lines.size(), 2);
        QStringList cells;
        ASSERT_TRUE(CsvSplitLine(lines[1], cells));
        EXPECT_EQ(cells, kHostileCells);
    }
    CCsvFileWriter nowhere;
    EXPECT_FALSE(nowhere.Open(m_dir.filePath(QStringLiteral("no/such/dir/x.csv")), CCsvFileWriter::Encoding::Ansi));

    // Splitting rules of one line.
    QStringList cells;
    ASSERT_TRUE(CsvSplitLine(QStringLiteral("a,,\"b,c\",d,"), cells));
    EXPECT_EQ(cells,
              (QStringList{QStringLiteral("a"), QString(), QStringLiteral("b,c"), QStringLiteral("d"), QString()}));
    ASSERT_TRUE(CsvSplitLine(QString(), cells));
    EXPECT_TRUE(cells.isEmpty());
    ASSERT_TRUE(CsvSplitLine(QStringLiteral("\"\""), cells));
    EXPECT_EQ(cells, QStringList{QString()});
    EXPECT_EQ(CsvJoinLine(cells), QStringLiteral("\"\"")) << "one empty cell stays one cell";
    EXPECT_EQ(CsvJoinLine({}), QString());
    EXPECT_FALSE(CsvSplitLine(QStringLiteral("\"unterminated,x"), cells));
    EXPECT_FALSE(CsvSplitLine(QStringLiteral("\"closed\"junk,x"), cells));
}

} // namespace
