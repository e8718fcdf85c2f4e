#include "device/SessionGate.h"

#include "libs/log/Log.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(SessionGate, ClosedGateRefusesUses) {
    CSessionGate gate;
    EXPECT_EQ(gate.BeginUse(__FILE__, __LINE__), 0) << "a gate starts closed until a session is connected";
    gate.SetUsable(true);
    const int first = gate.BeginUse(__FILE__, __LINE__);
    const int second = gate.BeginUse(__FILE__, __LINE__);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(gate.OpenUses(), 2);
    gate.EndUse(first);
    gate.EndUse(first); // a second end of the same use changes nothing
    EXPECT_EQ(gate.OpenUses(), 1);
    EXPECT_FALSE(gate.WaitUntilIdle(0));
    gate.EndUse(second);
    EXPECT_TRUE(gate.WaitUntilIdle(0));
    gate.SetUsable(false);
    EXPECT_FALSE(CSessionUse(gate, VEXA_HERE).Usable()) << "no new work once the gate closes again";
}

TEST(SessionGate, ManyWorkersBalanceTheCount) {
    CSessionGate gate;
    gate.SetUsable(true);
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                CSessionUse use(gate, VEXA_HERE);
            }
        });
    }
    for (auto& w : workers) {
        w.join();
    }
    EXPECT_EQ(gate.OpenUses(), 0);
    EXPECT_TRUE(gate.WaitUntilIdle(0));
    EXPECT_EQ(gate.BeginUse(__FILE__, __LINE__), 4001) << "use numbers keep counting";
}

TEST(SessionGate, DumpUsesLogsEveryOpenUse) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    ASSERT_TRUE(LOG_InitFile(QFile::encodeName(path).constData()));
    CSessionGate gate;
    gate.SetUsable(true);
    const int a = gate.BeginUse("ContactPage.cpp", 120);
    gate.BeginUse("MessagePage.cpp", 77);
    gate.EndUse(a);
    gate.DumpUses();
    LOG_Free();
    QFile log(path);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("[CProtectionRecord]MessagePage.cpp:77")));
    EXPECT_FALSE(text.contains(QStringLiteral("ContactPage.cpp"))) << "ended uses are not listed";
}

} // namespace
