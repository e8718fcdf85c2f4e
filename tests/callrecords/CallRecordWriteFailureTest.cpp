// The call-record CSV writer under a failing device: the older file stays, no temporary file.
#include "WriteFailureChecks.h"
#include "callrecords/CallRecordBook.h"

#include <QTemporaryDir>

using namespace callrecords;

namespace {

TEST(CallRecordWriteFailure, FailedWritesKeepTheOlderFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::vector<CallRecordData> records;
    for (int i = 0; i < 40; ++i) {
        records.push_back({QStringLiteral("1380013%1").arg(i, 4, 10, QLatin1Char('0')),
                           QDateTime(QDate(2026, 12, 1), QTime(9, i % 60)), i * 7, i % 3 == 0 ? Missed : Received, {}});
    }
    ExpectFailedWritesKeepTarget(dir.filePath(QStringLiteral("calls.csv")),
                                 [&records](QIODevice& out) { return WriteCallRecordsCsv(out, records); });
}

} // namespace
