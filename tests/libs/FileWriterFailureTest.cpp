// The libraries' writers (CSV lines, vCard, INI) under a failing device: the older file stays and
// no temporary file is left.
#include "WriteFailureChecks.h"
#include "libs/csv/Csv.h"
#include "libs/csv/CsvFile.h"
#include "libs/prefs/IniFile.h"
#include "libs/vcard/VCard.h"

#include <QTemporaryDir>

namespace {

TEST(LibraryWriterFailure, FailedWritesKeepTheOlderFile) {
    CMultiContactVcard cards;
    CIniFile ini;
    for (int i = 0; i < 20; ++i) {
        cards.NewContact()->AddProperty(QStringLiteral("FN"), QStringLiteral("名字 %1").arg(i));
        ini.SetValue(QStringLiteral("section%1").arg(i % 3), QStringLiteral("key%1").arg(i), QStringLiteral("值\n%1").arg(i));
    }
    const auto csv = [](CCsvFileWriter::Encoding encoding) {
        return [encoding](QIODevice& out) {
            CCsvFileWriter writer;
            bool ok = writer.Start(out, encoding).ok;
            for (int i = 0; ok && i < 50; ++i) {
                ok = writer.WriteLine(CsvJoinLine({QStringLiteral("号码%1").arg(i), QStringLiteral("a,\"b\"")}));
            }
            return ok && writer.Close() ? IoResult::Ok() : IoResult::Fail(writer.ErrorString());
        };
    };
    const std::vector<std::pair<const char*, std::function<IoResult(QIODevice&)>>> writers = {
        {"utf16.csv", csv(CCsvFileWriter::Encoding::Utf16LeBom)},
        {"utf8.csv", csv(CCsvFileWriter::Encoding::Utf8Bom)},
        {"ansi.csv", csv(CCsvFileWriter::Encoding::Ansi)},
        {"cards.vcf", [&cards](QIODevice& out) { return cards.Write(out); }},
        {"prefs.ini", [&ini](QIODevice& out) { return ini.Write(out); }},
    };
    for (const auto& [name, write] : writers) {
        SCOPED_TRACE(name);
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        ExpectFailedWritesKeepTarget(folder.filePath(QString::fromLatin1(name)), write);
    }
}

// The path-level CSV writer: lines written but never closed leave the older file alone.
TEST(LibraryWriterFailure, CsvFileAbandonedBeforeCloseKeepsTheOlderFile) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("out.csv"));
    {
        CCsvFileWriter writer;
        ASSERT_TRUE(writer.Open(path, CCsvFileWriter::Encoding::Ansi));
        ASSERT_TRUE(writer.WriteLine(QStringLiteral("older")));
        ASSERT_TRUE(writer.Close());
    }
    {
        CCsvFileWriter writer;
        ASSERT_TRUE(writer.Open(path, CCsvFileWriter::Encoding::Ansi));
        ASSERT_TRUE(writer.WriteLine(QStringLiteral("newer")));
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("older\r\n"));
    EXPECT_EQ(FolderEntries(folder.path()), QStringList{QStringLiteral("out.csv")});
}

} // namespace
