// Every writer of a user-visible file under a failing device keeps the older file and leaves no temporary.
#include "WriteFailureChecks.h"
#include "TestFiles.h"
#include "backup/BackupPackage.h"
#include "bridge/adb/AdbAppCache.h"
#include "bridge/api/MessageStores.h"
#include "callrecords/CallRecordBook.h"
#include "contacts/CExportContactHelper.h"
#include "contacts/ContactCsvLayout.h"
#include "libs/csv/Csv.h"
#include "libs/csv/CsvFile.h"
#include "libs/prefs/IniFile.h"
#include "libs/vcard/VCard.h"
#include "messages/SmsCsvTransfer.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

using Writer = std::function<IoResult(QIODevice&)>;

using vexa::test::ReadFile;

QString WriteItem(const QDir& folder, const QString& name, const QByteArray& data) {
    EXPECT_TRUE(vexa::test::WriteFile(folder.filePath(name), data));
    return folder.filePath(name);
}

Writer CsvLines(CCsvFileWriter::Encoding encoding) {
    return [encoding](QIODevice& out) {
        CCsvFileWriter writer;
        bool ok = writer.Start(out, encoding).ok;
        for (int i = 0; ok && i < 50; ++i) {
            ok = writer.WriteLine(CsvJoinLine({QStringLiteral("号码%1").arg(i), QStringLiteral("a,\"b\"")}));
        }
        return ok && writer.Close() ? IoResult::Ok() : IoResult::Fail(writer.ErrorString());
    };
}

std::vector<vexa::Sms> SomeSms(int count) {
    std::vector<vexa::Sms> all(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        vexa::Sms& sms = all[static_cast<std::size_t>(i)];
        sms.SetBox(1 + i % 2);
        sms.SetNumber(QStringLiteral("1390000%1").arg(i));
        sms.SetTime(vexa::ToSystemTime(QDateTime(QDate(2026, 12, 6), QTime(8, i % 60))));
        sms.SetContent(QStringLiteral("第%1条，\"quoted\"\r\nline").arg(i));
    }
    return all;
}

Writer SmsCsv(const std::vector<vexa::Sms>& all, messages::CsvFileKind kind) {
    return [&all, kind](QIODevice& out) {
        const messages::SmsCsvExportResult result = messages::WriteSmsCsv(all, out, kind);
        return result.fileError ? IoResult::Fail(result.error) : IoResult::Ok();
    };
}

TEST(WriterFailure, EveryWriterKeepsTheOlderFile) {
    QTemporaryDir items;
    ASSERT_TRUE(items.isValid());
    CMultiContactVcard cards;
    CIniFile ini;
    std::vector<QStringList> table{contacts::ChineseCsvHeader()};
    std::vector<callrecords::CallRecordData> calls;
    for (int i = 0; i < 30; ++i) {
        const QString name = QStringLiteral("联系人%1").arg(i);
        CVCard* card = cards.NewContact();
        card->AddProperty(QStringLiteral("FN"), name);
        card->AddProperty(QStringLiteral("TEL"), QStringLiteral("1370000%1").arg(i), {QStringLiteral("CELL")});
        ini.SetValue(QStringLiteral("section%1").arg(i % 3), QStringLiteral("key%1").arg(i), QStringLiteral("值\n%1").arg(i));
        QStringList row(table.front().size());
        row[0] = name;
        table.push_back(row);
        calls.push_back({QStringLiteral("1380013%1").arg(i, 4, 10, QLatin1Char('0')),
                         QDateTime(QDate(2026, 12, 1), QTime(9, i)), i * 7,
                         i % 3 == 0 ? callrecords::Missed : callrecords::Received, {}});
    }
    const std::vector<vexa::Sms> sms = SomeSms(25);
    // Item data large enough that the cut points fall in the header, the data and the CRC.
    QByteArray noise(3 * backup::kChunkBytes, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    backup::PackageDescriptor package;
    package.counts = {{backup::Contacts, 3}, {backup::Apps, 1}};
    package.files = {WriteItem(items.path(), QStringLiteral("contact.vcf"), QByteArray("BEGIN:VCARD\r\n").repeated(900)),
                     WriteItem(items.path(), QStringLiteral("a.apk"), noise)};

    vexa::adbphone::CAdbAppCache appCache(items.filePath(QStringLiteral("adb-apps.json")));
    for (int i = 0; i < 12; ++i) {
        appCache.Put(QStringLiteral("com.example.app%1").arg(i), i + 1,
                     {QStringLiteral("应用 %1").arg(i), QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(300, 'p')});
    }

    const std::vector<std::pair<const char*, Writer>> writers = {
        {"utf16.csv", CsvLines(CCsvFileWriter::Encoding::Utf16LeBom)},
        {"cards.vcf", [&cards](QIODevice& out) { return cards.Write(out); }},
        {"prefs.ini", [&ini](QIODevice& out) { return ini.Write(out); }},
        {"contacts.csv", [&table](QIODevice& out) { return CExportContactHelper::WriteCsvTable(out, table); }},
        {"calls.csv", [&calls](QIODevice& out) { return callrecords::WriteCallRecordsCsv(out, calls); }},
        {"sms-page.csv", SmsCsv(sms, messages::CsvFileKind::PageExport)},
        {"phone.bkg", [&package](QIODevice& out) { return backup::WritePackage(out, package); }},
        {"adb-apps.json", [&appCache](QIODevice& out) { return appCache.Write(out); }},
    };
    for (const auto& [name, write] : writers) {
        SCOPED_TRACE(name);
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        ExpectFailedWritesKeepTarget(folder.filePath(QString::fromLatin1(name)), write);
    }
}

// A CSV never closed, an SMS export cancelled after some rows, a package whose item file vanished.
TEST(WriterFailure, WritesStoppedShortKeepTheOlderFile) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("out.file"));
    const QByteArray older = "older\r\n";
    {
        CCsvFileWriter writer;
        ASSERT_TRUE(writer.Open(path, CCsvFileWriter::Encoding::Ansi));
        ASSERT_TRUE(writer.WriteLine(QStringLiteral("older")));
        ASSERT_TRUE(writer.Close());
    }
    const auto expectUntouched = [&] {
        EXPECT_EQ(ReadFile(path), older);
        EXPECT_EQ(FolderEntries(folder.path()), QStringList{QStringLiteral("out.file")});
    };
    {
        CCsvFileWriter writer;
        ASSERT_TRUE(writer.Open(path, CCsvFileWriter::Encoding::Ansi));
        ASSERT_TRUE(writer.WriteLine(QStringLiteral("newer")));
    }
    expectUntouched();

    messages::BatchHooks hooks;
    int checks = 0;
    hooks.cancelled = [&checks] { return ++checks > 5; }; // asked before each row
    const messages::SmsCsvExportResult cancelled =
        messages::WriteSmsCsv(SomeSms(25), path, messages::CsvFileKind::PageExport, hooks);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_FALSE(cancelled.fileError);
    expectUntouched();

    QTemporaryDir items;
    backup::PackageDescriptor missing;
    missing.counts = {{backup::Apps, 1}};
    missing.files = {WriteItem(items.path(), QStringLiteral("a.apk"), "apk"), QDir(items.path()).filePath("gone.apk")};
    const IoResult result = backup::WritePackage(path, missing);
    EXPECT_FALSE(result);
    EXPECT_TRUE(result.error.contains(QStringLiteral("gone.apk"))) << result.error.toStdString();
    expectUntouched();
}

} // namespace
