#include "libs/stats/Stats.h"
#include "TestFiles.h"
#include "libs/stats/HostInfoRecord.h"
#include "libs/stats/StatUploader.h"

#include "LocalHttpServer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "Waits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(HostInfoRecord, DeviceFieldsAreAnsiAndCutToTheirSlots) {
    HostInfoFields fields;
    fields.model = QStringLiteral("VEXA 手机 X1");
    fields.deviceNumber = QStringLiteral("12345678901234567890"); // longer than 15
    fields.proxyCredentials = QStringLiteral("用户:pw");
    fields.version = QStringLiteral("1.2.0.0");
    const HostInfoRecord r = BuildHostInfoRecord(fields);
    EXPECT_EQ(r.m_bytes[0], 0);
    EXPECT_EQ(QByteArray(r.m_bytes + 0x001), QByteArray("VEXA \xCA\xD6\xBB\xFA X1"));
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::Model), fields.model);
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::DeviceNumber), QStringLiteral("123456789012345"));
    EXPECT_EQ(r.m_bytes[0x051 - 1], 0) << "the number's terminator stays inside its slot";
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::Channel), QStringLiteral("10008"));
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::ProxyCredentials), QStringLiteral("用户:pw"));
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::Version), fields.version);
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::Firmware), QStringLiteral("0")) << "an unknown firmware reads as 0";
    EXPECT_TRUE(HostInfoText(r, HostInfoSlot::ProxyServer).isEmpty());
}

class StatsTest : public ::testing::Test {
protected:
    void TearDown() override { actst_uninitialize(); }
    QString QueuePath() const { return m_dir.filePath(QStringLiteral("queue.txt")); }
    QTemporaryDir m_dir;
};

TEST_F(StatsTest, RecordedEventsAreUploadedWithTheHostAndThenLeaveTheQueue) {
    LocalHttpServer server;
    ASSERT_TRUE(actst_initialize_at(QueuePath(), QString::fromStdString(server.BaseUrl())));
    HostInfoFields fields;
    fields.model = QStringLiteral("V9");
    fields.version = QStringLiteral("1.2.0.0");
    const HostInfoRecord record = BuildHostInfoRecord(fields);
    actst_hostinfo(&record);
    actst_record(0x22C);
    actst_record(118);
    EXPECT_EQ(actst_pending(), 2);

    EXPECT_EQ(actst_uploadstart(), 0);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/stats/upload");
    const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(requests[0].body)).object();
    EXPECT_EQ(body[QStringLiteral("host")][QStringLiteral("model")].toString(), QStringLiteral("V9"));
    const QJsonArray events = body[QStringLiteral("events")].toArray();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0][QStringLiteral("code")].toInt(), 0x22C);
    EXPECT_EQ(events[1][QStringLiteral("code")].toInt(), 118);
    EXPECT_EQ(actst_pending(), 0);
    EXPECT_EQ(QFile(QueuePath()).size(), 0);

    EXPECT_EQ(actst_uploadstart(), 0);
    EXPECT_EQ(server.Requests().size(), 1u) << "an empty queue sends nothing";
}

// Calls before initialising do nothing; a failed upload keeps the queue, which outlives the run;
// without a host nothing is sent and events stay queued.
TEST_F(StatsTest, WithoutInitialiseNothingHappensAndAFailedOrHostlessUploadKeepsTheQueue) {
    actst_record(5);
    EXPECT_EQ(actst_pending(), 0);
    EXPECT_FALSE(QFile::exists(QueuePath()));
    EXPECT_EQ(actst_uploadstart(), 0);
    LocalHttpServer server({CannedReply{503, "busy"}});
    actst_initialize_at(QueuePath(), QString::fromStdString(server.BaseUrl()));
    actst_record(1);
    EXPECT_EQ(actst_uploadstart(), 1);
    EXPECT_EQ(actst_pending(), 1);
    actst_uninitialize();
    actst_initialize_at(QueuePath(), QString());
    EXPECT_EQ(actst_pending(), 1);
    actst_record(7);
    EXPECT_EQ(actst_uploadstart(), 0);
    EXPECT_EQ(actst_pending(), 2);
}

TEST_F(StatsTest, AFullQueueDropsNewEvents) {
    ASSERT_TRUE(vexa::test::WriteFile(QueuePath(), QByteArray("1\t2\n").repeated(kStatsQueueLimit)));
    actst_initialize_at(QueuePath(), QString());
    EXPECT_EQ(actst_pending(), kStatsQueueLimit);
    actst_record(3);
    EXPECT_EQ(actst_pending(), kStatsQueueLimit);
    EXPECT_EQ(QFile(QueuePath()).size(), kStatsQueueLimit * 4);
}

TEST(StatUploader, UploadsExactlyOnceAtExitWhenNeverTriggeredAndNotAgainAfterATrigger) {
    std::atomic<int> uploads{0};
    StatUploader uploader([&](const StatUploader::Cancelled&) { ++uploads; });
    uploader.Start();
    EXPECT_FALSE(uploader.Uploaded());
    uploader.Stop();
    EXPECT_EQ(uploads.load(), 1);
    EXPECT_TRUE(uploader.Uploaded());
    uploader.Stop();
    EXPECT_EQ(uploads.load(), 1) << "stopping twice does not upload again";
    {
        StatUploader dropped([&](const StatUploader::Cancelled&) { ++uploads; });
        dropped.Start();
    }
    EXPECT_EQ(uploads.load(), 2) << "the destructor stops and uploads once";

    // After a triggered upload, none again at exit.
    uploads = 0;
    StatUploader triggered([&](const StatUploader::Cancelled&) { ++uploads; });
    triggered.Start();
    triggered.RequestUpload();
    ASSERT_TRUE(WaitUntil([&] { return uploads.load() >= 1; }));
    ASSERT_EQ(uploads.load(), 1);
    triggered.RequestUpload();
    EXPECT_TRUE(WaitUntil([&] { return uploads.load() >= 2; })) << "each request uploads";
    triggered.Stop();
    EXPECT_EQ(uploads.load(), 2);

    // An upload at exit that never ends by itself (a host that does not answer) is cancelled at
    // the deadline, and Stop returns once it has given up.
    std::atomic<bool> sawCancel{false};
    StatUploader silent([&](const StatUploader::Cancelled& cancelled) {
        while (!cancelled()) {
            std::this_thread::yield();
        }
        sawCancel = true;
    });
    silent.Start();
    silent.Stop(50);
    EXPECT_TRUE(sawCancel.load());
}

} // namespace
