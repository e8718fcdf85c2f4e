#pragma once
// The check every writer of a file shares: run the writer into a temporary file over an existing
// target, failing the device at each cut point of a complete write, and expect a failure with a
// reason, the target byte for byte as before and no temporary file beside it. Then one complete
// write must produce exactly the bytes the writer gives a plain buffer.

#include "FailDevice.h"
#include "TestFiles.h"
#include "platform/AtomicFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

inline void ExpectFailedWritesKeepTarget(const QString& target, const std::function<IoResult(QIODevice& out)>& write) {
    const QByteArray older = "an older file the user keeps\r\n";
    ASSERT_TRUE(vexa::test::WriteFile(target, older));
    QBuffer whole;
    ASSERT_TRUE(whole.open(QIODevice::ReadWrite));
    ASSERT_TRUE(write(whole));
    ASSERT_GT(whole.size(), 1);
    const QString folder = QFileInfo(target).absolutePath();
    const QStringList entries{QFileInfo(target).fileName()};
    const auto read = [&target] { return QFile::exists(target) ? vexa::test::ReadFile(target) : "<missing>"; };
    for (const qint64 cut : CutPoints(whole.size())) {
        SCOPED_TRACE(testing::Message() << "fails after " << cut << " of " << whole.size() << " bytes");
        const IoResult result = WriteFileAtomically(target, [&](QIODevice& file) {
            FailDevice device(cut, &file);
            return write(device);
        });
        EXPECT_FALSE(result);
        EXPECT_FALSE(result.error.isEmpty());
        EXPECT_EQ(read(), older);
        EXPECT_EQ(FolderEntries(folder), entries);
    }
    EXPECT_TRUE(WriteFileAtomically(target, write));
    EXPECT_EQ(read(), whole.data());
}
