// The app cache file under a failing device: the older cache stays whole, no temporary file.
#include "WriteFailureChecks.h"
#include "bridge/adb/AdbAppCache.h"

#include <QTemporaryDir>

using vexa::adbphone::CAdbAppCache;

namespace {

TEST(AdbAppCacheWriteFailure, FailedWritesKeepTheOlderCache) {
    QTemporaryDir home;
    QTemporaryDir target;
    ASSERT_TRUE(home.isValid() && target.isValid());
    CAdbAppCache cache(home.filePath(QStringLiteral("adb-apps.json")));
    const QByteArray icon = QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(300, 'p');
    for (int i = 0; i < 12; ++i) {
        cache.Put(QStringLiteral("com.example.app%1").arg(i), i + 1, {QStringLiteral("应用 %1").arg(i), icon});
    }
    ExpectFailedWritesKeepTarget(target.filePath(QStringLiteral("adb-apps.json")),
                                 [&cache](QIODevice& out) { return cache.Write(out); });
}

} // namespace
