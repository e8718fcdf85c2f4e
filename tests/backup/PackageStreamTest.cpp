#include "backup/PackageStream.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

TEST(PackageStream, BigEndianLayout) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    CPackageStream out(&buffer);
    out.WriteUInt32(0x01020304);
    out.WriteUInt64(0x0A0B0C0D0E0F1011ULL);
    out.WriteBool(true);
    out.WriteString(QString());
    out.WriteString(QStringLiteral("闹钟"));
    out.WriteBlob(QByteArray("\0\1", 2));
    ASSERT_FALSE(out.Failed());
    EXPECT_EQ(bytes, QByteArray("\x01\x02\x03\x04"
                                "\x0A\x0B\x0C\x0D\x0E\x0F\x10\x11"
                                "\x01"
                                "\0\0\0\0"
                                "\0\0\0\x06\xE9\x97\xB9\xE9\x92\x9F"
                                "\0\0\0\x02\0\x01",
                                4 + 8 + 1 + 4 + 10 + 6));

    buffer.close();
    buffer.open(QIODevice::ReadOnly);
    CPackageStream in(&buffer);
    std::uint32_t u32 = 0;
    std::uint64_t u64 = 0;
    bool flag = false;
    QString empty = QStringLiteral("x");
    QString text;
    QByteArray blob;
    EXPECT_TRUE(in.ReadUInt32(u32) && in.ReadUInt64(u64) && in.ReadBool(flag) && in.ReadString(empty) &&
                in.ReadString(text) && in.ReadBlob(blob));
    EXPECT_EQ(u32, 0x01020304u);
    EXPECT_EQ(u64, 0x0A0B0C0D0E0F1011ULL);
    EXPECT_TRUE(flag);
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(text, QStringLiteral("闹钟"));
    EXPECT_EQ(blob, QByteArray("\0\1", 2));
    EXPECT_FALSE(in.ReadUInt32(u32)) << "end of data";
    EXPECT_TRUE(in.Failed());
}

TEST(PackageStream, HostileLengthsFailWithoutAllocating) {
    for (const QByteArray& data : {QByteArray("\x01\x00\x00\x00", 4), QByteArray("\xFF\xFF\xFF\xFF", 4),
                                   QByteArray("\x00\xFF\xFF\xFF", 4) /* below the limit, data missing */,
                                   QByteArray("\x00\x00\x00\x05"
                                              "abc",
                                              7),
                                   QByteArray("\x00\x00", 2)}) {
        QByteArray copy = data;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        CPackageStream in(&buffer);
        QByteArray blob;
        EXPECT_FALSE(in.ReadBlob(blob)) << data.toHex().constData();
        EXPECT_TRUE(blob.isEmpty());
        QString text = QStringLiteral("kept?");
        EXPECT_FALSE(in.ReadString(text)) << "a failed stream stays failed";
    }
}

} // namespace
