#include "device/background/DeviceCheckThread.h"
#include "device/DeviceConnection.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace {

// A bridge that reports what the test says; only what detection uses does anything.
class FakeBridge : public vexa::DeviceBridge {
public:
    std::map<QString, std::pair<QString, QString>> attached; // serial -> (brand, model)
    bool serialsFail = false;
    bool brandFails = false;
    bool wifi = false;
    int brandReads = 0;
    std::function<void()> duringSerials; // runs inside a pass, while the bridge is being asked

    bool GetDeviceList(DeviceRecord*, int* count) override {
        *count = 0;
        return true;
    }
    int ConnectUsbDevice(const QString&) override { return 0; }
    void CloseSession() override {}
    vexa::DeviceSession* GetSession() override { return nullptr; }
    bool ConnectWifi(void*, int*, const QString&, int*) override { return false; }
    bool IsWifiConnection() override { return wifi; }
    int GetAllDeviceSerialNo(char16_t** serials, int* count) override {
        if (duringSerials) {
            duringSerials();
        }
        if (serialsFail) {
            return 0;
        }
        QStringList list;
        for (const auto& [serial, identity] : attached) {
            list << serial;
        }
        *serials = MakeSerialBuffer(list);
        *count = static_cast<int>(list.size());
        return 1;
    }
    int ReadDeviceBrandAndModel(DeviceRecord* record) override {
        ++brandReads;
        const auto it = attached.find(record->Serial());
        if (brandFails || it == attached.end()) {
            return 0;
        }
        record->SetBrand(it->second.first);
        record->SetModel(it->second.second);
        return 1;
    }
};

class CMessageCounter : public CMessageObject {
public:
    int received = 0;

protected:
    LRESULT OnMessage(UINT msg, WPARAM, LPARAM) override {
        received += msg == WM_USER + 6 ? 1 : 0;
        return 0;
    }
};

class DeviceCheckTest : public ::testing::Test {
protected:
    QStringList Serials() const {
        DeviceRecord records[CDeviceCheckThread::kSlots];
        int count = CDeviceCheckThread::kSlots;
        m_thread.GetDevices(records, &count);
        QStringList serials;
        for (int i = 0; i < count; ++i) {
            serials << records[i].Serial();
        }
        return serials;
    }

    FakeBridge m_bridge;
    bool m_online = true;
    CDeviceCheckThread m_thread{[this] { return &m_bridge; }, [this] { return m_online; }};
};

TEST_F(DeviceCheckTest, PhonesOfTheMakerAreListedOnceAndUnpluggingIsSeenWithoutCase) {
    m_bridge.attached = {{QStringLiteral("A1"), {QStringLiteral("vexa"), QStringLiteral("V9")}},
                         {QStringLiteral("B2"), {QStringLiteral("VEXA"), QStringLiteral("V8")}}};
    EXPECT_TRUE(m_thread.RunPass());
    EXPECT_EQ(Serials(), (QStringList{QStringLiteral("A1"), QStringLiteral("B2")}));
    EXPECT_FALSE(m_thread.RunPass());
    EXPECT_EQ(m_bridge.brandReads, 2) << "known phones are not read again";

    m_bridge.attached = {{QStringLiteral("a1"), {QStringLiteral("vexa"), QStringLiteral("V9")}},
                         {QStringLiteral("b2"), {QStringLiteral("VEXA"), QStringLiteral("V8")}}};
    EXPECT_FALSE(m_thread.RunPass()) << "serials compare without case";
    m_bridge.attached.clear();
    EXPECT_TRUE(m_thread.RunPass());
    EXPECT_TRUE(Serials().isEmpty());
}

TEST_F(DeviceCheckTest, OtherBrandsNeverEnterAndStopCausingMessages) {
    CMessageCounter target;
    m_thread.Start(&target, WM_USER + 6);
    m_thread.Stop(); // the first pass runs at once; drive the rest by hand
    m_bridge.attached = {{QStringLiteral("X"), {QStringLiteral("othermaker"), QStringLiteral("Z1")}}};
    EXPECT_TRUE(m_thread.RunPass());
    EXPECT_TRUE(Serials().isEmpty());
    EXPECT_FALSE(m_thread.RunPass()) << "no message after the pass that removed it";
    EXPECT_FALSE(m_thread.RunPass());
    EXPECT_EQ(m_bridge.brandReads, 1);
    m_bridge.attached.clear();
    m_thread.RunPass();
    m_bridge.attached = {{QStringLiteral("X"), {QStringLiteral("othermaker"), QStringLiteral("Z1")}}};
    EXPECT_TRUE(m_thread.RunPass()) << "plugged in again: read again";
    EXPECT_EQ(m_bridge.brandReads, 2);
}

TEST_F(DeviceCheckTest, BridgeFailuresEmptyTheListPausesDoNothingAndAnOfflineLinkReports) {
    m_bridge.attached = {{QStringLiteral("A1"), {QStringLiteral("vexa"), QStringLiteral("V9")}}};
    m_thread.RunPass();
    m_bridge.serialsFail = true;
    EXPECT_TRUE(m_thread.RunPass());
    EXPECT_TRUE(Serials().isEmpty());
    m_bridge.serialsFail = false;
    m_bridge.brandFails = true;
    m_bridge.attached[QStringLiteral("B2")] = {QStringLiteral("vexa"), QStringLiteral("V8")};
    EXPECT_TRUE(m_thread.RunPass());
    EXPECT_TRUE(Serials().isEmpty()) << "a failed brand read clears every slot";

    // Paused passes do nothing; an offline Wi-Fi link reports every pass.
    m_bridge.brandFails = false;
    m_thread.Pause();
    EXPECT_FALSE(m_thread.RunPass());
    EXPECT_TRUE(Serials().isEmpty());
    m_thread.Resume();
    m_thread.RunPass();
    m_bridge.wifi = true;
    m_online = false;
    EXPECT_TRUE(m_thread.RunPass());
    EXPECT_TRUE(m_thread.RunPass());
    m_online = true;
    EXPECT_FALSE(m_thread.RunPass());
}

TEST_F(DeviceCheckTest, AChangeSeenWhileAPauseBeganIsReportedAfterTheResume) {
    m_bridge.attached = {{QStringLiteral("A1"), {QStringLiteral("vexa"), QStringLiteral("V9")}}};
    m_bridge.duringSerials = [this] { m_thread.Pause(); }; // a pause that does not wait for the pass
    EXPECT_FALSE(m_thread.RunPass()) << "held back while paused";
    EXPECT_EQ(Serials(), QStringList{QStringLiteral("A1")});
    m_bridge.duringSerials = nullptr;
    m_thread.Resume();
    EXPECT_TRUE(m_thread.RunPass()) << "the held-back change, though this pass saw none";
    EXPECT_FALSE(m_thread.RunPass());
}

TEST_F(DeviceCheckTest, MoreThan32PhonesFillTheSlotsOnly) {
    for (int i = 0; i < 40; ++i) {
        m_bridge.attached[QStringLiteral("S%1").arg(i, 2, 10, QChar(u'0'))] = {QStringLiteral("vexa"),
                                                                               QStringLiteral("V")};
    }
    m_thread.RunPass();
    EXPECT_EQ(Serials().size(), 32);
    DeviceRecord two[2];
    int count = 2;
    ASSERT_TRUE(m_thread.GetDevices(two, &count));
    EXPECT_EQ(count, 2) << "no more than the caller's buffer";
}

TEST_F(DeviceCheckTest, TheThreadPostsToItsTarget) {
    CMessageCounter target;
    m_bridge.attached = {{QStringLiteral("A1"), {QStringLiteral("vexa"), QStringLiteral("V9")}}};
    m_thread.Start(&target, WM_USER + 6);
    QElapsedTimer timer;
    timer.start();
    while (target.received == 0 && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    m_thread.Stop();
    EXPECT_EQ(target.received, 1);
}

// Connecting, losing the phone and waiting for open uses: ConnectionControllerTest.
TEST(IncompatibleModels, ExactCodesOnly) {
    EXPECT_TRUE(IsIncompatibleModel(QStringLiteral("V180")));
    EXPECT_TRUE(IsIncompatibleModel(QStringLiteral("V180S")));
    EXPECT_FALSE(IsIncompatibleModel(QStringLiteral("v180")));
    EXPECT_FALSE(IsIncompatibleModel(QStringLiteral("V1800")));
}

TEST(DeviceListAssign, KeepsAtMost32) {
    std::vector<DeviceRecord> many(40);
    for (int i = 0; i < 40; ++i) {
        many[static_cast<std::size_t>(i)].SetSerial(QString::number(i));
    }
    CDeviceList list;
    list.Assign(many.data(), 40);
    EXPECT_EQ(list.GetDeviceCount(), 32);
    DeviceRecord r;
    EXPECT_FALSE(list.GetDeviceRecord(32, r));
    EXPECT_TRUE(list.GetDeviceRecord(31, r));
    EXPECT_EQ(r.Serial(), QStringLiteral("31"));
}

} // namespace
