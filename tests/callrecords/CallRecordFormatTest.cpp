#include "callrecords/CallRecordFormat.h"

#include "libs/csv/Csv.h"

#include <gtest/gtest.h>

using namespace callrecords;

namespace {

QDateTime At(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

TEST(CallRecordTexts, TimeAndDuration) {
    EXPECT_EQ(CallTimeText(At("2012-07-25 14:03:09"), true), QStringLiteral("2012-07-25 14:03"));
    EXPECT_EQ(CallTimeText(At("2012-07-25 14:03:09"), false), QStringLiteral("07/25 14:03"));
    const std::pair<int, const char*> durations[] = {{3725, "1时2分5秒"}, {3720, "1时2分"}, {3605, "1时5秒"}, {7200, "2时"},
                                                     {65, "1分5秒"},     {120, "2分"},      {45, "45秒"},     {0, "0秒"}};
    for (const auto& [seconds, text] : durations) {
        EXPECT_EQ(CallDurationText(seconds), QString::fromUtf8(text)) << seconds;
    }
    EXPECT_EQ(CallDurationText(3725, true), QStringLiteral("01:02:05"));
}

TEST(CallRecordCsv, RowsRoundTripAndBadRowsAreRefused) {
    const CallRecordData r{QStringLiteral("+86,138 \"x\""), At("2012-07-25 14:03:09"), 125, Missed,
                           QStringLiteral("状态")};
    const QStringList cells = CallRecordCsvCells(r);
    EXPECT_EQ(cells[1], QStringLiteral("20120725140309"));
    EXPECT_EQ(CsvJoinLine(CallRecordCsvHeader()),
              QStringLiteral("Touch Number,Touch Date,Touch Duration,Touch Type,Number State"));
    QStringList back;
    ASSERT_TRUE(CsvSplitLine(CsvJoinLine(cells), back));
    EXPECT_EQ(CallRecordFromCsvCells(back), r);

    // A bad time, a negative duration, an unknown type, too few cells; the state cell may be missing.
    for (const auto& [line, ok] : {std::pair{"1,2012,1,1", false}, std::pair{"1,20120725140309,-1,1", false},
                                   std::pair{"1,20120725140309,5,4", false}, std::pair{"1", false},
                                   std::pair{"1,20120725140309,5,2", true}}) {
        EXPECT_EQ(CallRecordFromCsvCells(QString::fromLatin1(line).split(u',')).has_value(), ok) << line;
    }
}

} // namespace
