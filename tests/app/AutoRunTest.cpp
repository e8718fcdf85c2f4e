#include "app/AutoRun.h"
#include "TestFiles.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(AutoRun, EntryStartsTheProgramHiddenAndCanBeRemoved) {
    ScopedTestFolders folders;
    EXPECT_FALSE(IsAutoRunSet());
    ASSERT_TRUE(SetAutoRun(true));
    EXPECT_TRUE(IsAutoRunSet());
    EXPECT_TRUE(AutoRunEntryPath().startsWith(folders.Root()));
    QFile entry(AutoRunEntryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("Name=VEXA 手机助手\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\" HideWindow\n"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("Exec=\"/"))) << "an absolute, quoted path";
    ASSERT_TRUE(SetAutoRun(false));
    EXPECT_FALSE(IsAutoRunSet());
    EXPECT_TRUE(SetAutoRun(false)) << "removing twice is fine";
}

TEST(UsableFolder, ExistingCreatableAndBadFolders) {
    ScopedTestFolders folders;
    const QString root = folders.Root();
    EXPECT_TRUE(IsUsableFolder(root));
    const QString deep = root + QStringLiteral("/新/deeper/still");
    EXPECT_TRUE(IsUsableFolder(deep));
    EXPECT_FALSE(QDir(root + QStringLiteral("/新")).exists()) << "the check leaves nothing behind";
    EXPECT_FALSE(IsUsableFolder(QString()));
    EXPECT_FALSE(IsUsableFolder(QStringLiteral("relative/path")));
    const QString file = root + QStringLiteral("/plain.txt");
    ASSERT_TRUE(vexa::test::WriteFile(file, {}));
    EXPECT_FALSE(IsUsableFolder(file)) << "a file is not a folder";
    EXPECT_FALSE(IsUsableFolder(file + QStringLiteral("/sub"))) << "nothing can be created under a file";
}

} // namespace
