// SMS CSV exports under a failing device or a cancel: the older file stays, no temporary file.
#include "WriteFailureChecks.h"
#include "bridge/api/MessageStores.h"
#include "messages/SmsCsvTransfer.h"

#include <QTemporaryDir>

using namespace messages;

namespace {

std::vector<vexa::Sms> SomeSms(int count) {
    std::vector<vexa::Sms> all(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        all[static_cast<std::size_t>(i)].SetBox(1 + i % 2);
        all[static_cast<std::size_t>(i)].SetNumber(QStringLiteral("1390000%1").arg(i));
        all[static_cast<std::size_t>(i)].SetTime(vexa::ToSystemTime(QDateTime(QDate(2026, 12, 6), QTime(8, i % 60))));
        all[static_cast<std::size_t>(i)].SetContent(QStringLiteral("第%1条，\"quoted\"\r\nline").arg(i));
    }
    return all;
}

TEST(SmsCsvWriteFailure, FailedOrCancelledExportsKeepTheOlderFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::vector<vexa::Sms> all = SomeSms(25);
    for (const CsvFileKind kind : {CsvFileKind::PageExport, CsvFileKind::Backup}) {
        SCOPED_TRACE(static_cast<int>(kind));
        ExpectFailedWritesKeepTarget(dir.filePath(QStringLiteral("sms.csv")), [&](QIODevice& out) {
            const SmsCsvExportResult result = WriteSmsCsv(all, out, kind);
            return result.fileError ? IoResult::Fail(result.error) : IoResult::Ok();
        });
    }
    // A cancel after some rows: the file-level export puts nothing in place.
    const QString path = dir.filePath(QStringLiteral("sms.csv"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    BatchHooks hooks;
    int checks = 0;
    hooks.cancelled = [&checks] { return ++checks > 5; }; // asked before each row
    const SmsCsvExportResult cancelled = WriteSmsCsv(all, path, CsvFileKind::PageExport, hooks);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_FALSE(cancelled.fileError);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_EQ(FolderEntries(dir.path()), QStringList{QStringLiteral("sms.csv")});
}

} // namespace
