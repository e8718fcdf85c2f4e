// The new-version info file under a failing device: the older file stays, no temporary file.
#include "WriteFailureChecks.h"
#include "app/UpdateSupport.h"

#include <QTemporaryDir>

namespace {

TEST(UpdateInfoWriteFailure, FailedWritesKeepTheOlderFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const NewVersionInfo info{QStringLiteral("1.4.0.0"), QStringLiteral("修复\r\n改进").repeated(40)};
    ExpectFailedWritesKeepTarget(dir.filePath(QStringLiteral("NewVerInfo.ot")),
                                 [&info](QIODevice& out) { return WriteNewVersionInfo(out, info); });
}

} // namespace
