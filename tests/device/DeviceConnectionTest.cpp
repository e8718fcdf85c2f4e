#include "device/DeviceConnection.h"

#include <gtest/gtest.h>

namespace {

// Connecting, losing the phone and waiting for open uses are ConnectionControllerTest's, through the
// controller that uses these functions.
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
