// CAtomicFile and WriteFileAtomically: the target changes only on a successful commit.
#include "FailDevice.h"
#include "TestFiles.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QByteArray kOld = "the older file, which must survive\n";
const QByteArray kNew(5000, 'n');

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_target = m_dir.filePath(QStringLiteral("target.bin"));
        ASSERT_TRUE(vexa::test::WriteFile(m_target, kOld));
        ASSERT_TRUE(QFile::setPermissions(m_target, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }

    QTemporaryDir m_dir;
    QString m_target;
};

TEST_F(AtomicFileTest, FailureAtAnyPointKeepsTheTargetAndLeavesNoTemporaryFile) {
    // -1: the writer gives up without a write error of its own (a cancel).
    for (const qint64 cut : QList<qint64>{-1, 0, kNew.size() / 2, kNew.size() - 1}) {
        SCOPED_TRACE(cut);
        const IoResult result = WriteFileAtomically(m_target, [cut](QIODevice& out) {
            if (cut < 0) {
                static_cast<void>(out.write(kNew.left(10)));
                return IoResult::Fail({});
            }
            FailDevice device(cut, &out);
            return WriteAll(device, kNew);
        });
        EXPECT_FALSE(result);
        EXPECT_FALSE(result.error.isEmpty());
        EXPECT_EQ(Read(m_target), kOld);
        EXPECT_EQ(FolderEntries(m_dir.path()), QStringList{QStringLiteral("target.bin")});
    }
}

TEST_F(AtomicFileTest, CommitReplacesTheTargetKeepingItsPermissions) {
    {
        CAtomicFile file(m_target);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(WriteAll(file.Device(), kNew));
        EXPECT_EQ(Read(m_target), kOld); // not before the commit
        ASSERT_TRUE(file.Commit());
    }
    EXPECT_EQ(Read(m_target), kNew);
    constexpr int kPermissionBits = 0xF077; // owner, group and others
    EXPECT_EQ(QFile::permissions(m_target) & kPermissionBits, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(FolderEntries(m_dir.path()), QStringList{QStringLiteral("target.bin")});

    // Dropped without a commit: nothing changes.
    {
        CAtomicFile file(m_target);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(WriteAll(file.Device(), kOld));
    }
    EXPECT_EQ(Read(m_target), kNew);
    EXPECT_EQ(FolderEntries(m_dir.path()), QStringList{QStringLiteral("target.bin")});

    const IoResult missing = WriteFileAtomically(m_dir.filePath(QStringLiteral("no/such/folder/x")),
                                                 [](QIODevice& out) { return WriteAll(out, kNew); });
    EXPECT_FALSE(missing);
    EXPECT_TRUE(missing.error.contains(QStringLiteral("no/such/folder/x")));
}

TEST_F(AtomicFileTest, TheProgramsOwnFilesAreNeverATarget) {
    const QString phones = m_dir.filePath(QStringLiteral("phones"));
    ASSERT_TRUE(QDir().mkpath(phones + QStringLiteral("/inner")));
    const QString phone = phones + QStringLiteral("/A1.vexaphone");
    ASSERT_TRUE(QFile::copy(m_target, phone));
    ASSERT_TRUE(QFile::link(phones, m_dir.filePath(QStringLiteral("alias"))));
    ProtectFromWriters(phones);
    const auto write = [](QIODevice& out) { return WriteAll(out, kNew); };
    // A link elsewhere to the phone's file, a chain of links ending at it, a link to a new name in
    // the folder: the link is resolved before the check.
    const QString link = m_dir.filePath(QStringLiteral("export.csv"));
    ASSERT_TRUE(QFile::link(phone, link));
    const QString relative = m_dir.filePath(QStringLiteral("relative.vcf"));
    ASSERT_TRUE(QFile::link(QStringLiteral("phones/inner/../A1.vexaphone"), relative));
    const QString chain = m_dir.filePath(QStringLiteral("chain.bkg"));
    ASSERT_TRUE(QFile::link(link, chain));
    const QString dangling = m_dir.filePath(QStringLiteral("dangling.csv"));
    ASSERT_TRUE(QFile::link(phones + QStringLiteral("/inner/B2.vexaphone"), dangling));
    // Named directly, through a link to the folder, with "..", or in a folder below.
    for (const QString& target : {phone, m_dir.filePath(QStringLiteral("alias/A1.vexaphone")),
                                  phones + QStringLiteral("/inner/../A1.vexaphone"),
                                  phones + QStringLiteral("/inner/new.csv"), link, relative, chain, dangling}) {
        SCOPED_TRACE(target.toStdString());
        const IoResult result = WriteFileAtomically(target, write);
        EXPECT_FALSE(result);
        EXPECT_TRUE(result.error.contains(QStringLiteral("program's own"))) << result.error.toStdString();
    }
    EXPECT_EQ(Read(phone), kOld);
    EXPECT_FALSE(QFile::exists(phones + QStringLiteral("/inner/new.csv")));
    EXPECT_FALSE(QFile::exists(phones + QStringLiteral("/inner/B2.vexaphone")));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), phone) << "the link itself stays";
    EXPECT_TRUE(WriteFileAtomically(m_target, write)) << "elsewhere writing goes on";
}

} // namespace
