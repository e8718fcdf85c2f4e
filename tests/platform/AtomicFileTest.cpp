// CAtomicFile and WriteFileAtomically: the target changes only on a successful commit.
#include "FailDevice.h" // FolderEntries
#include "TestFiles.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QByteArray kOld = "the older file, which must survive\n";
const QByteArray kNew(5000, 'n');

using vexa::test::ReadFile;

// A character device to write to: as root, a node of our own in folder (so that a writer that got it
// wrong replaces that one, not the system's); otherwise the system's, which only root could replace.
QString CharDevice(const QString& folder, const char* name, unsigned minor) {
    const QString own = folder + u'/' + QString::fromLatin1(name);
    if (::geteuid() == 0 && ::mknod(QFile::encodeName(own).constData(), S_IFCHR | 0666, makedev(1, minor)) == 0) {
        return own;
    }
    return QStringLiteral("/dev/") + QString::fromLatin1(name);
}

// The kind, permission bits, device and inode of what is at path (a link not followed).
struct Node {
    mode_t mode = 0;
    dev_t rdev = 0;
    ino_t inode = 0;
    bool operator==(const Node&) const = default;
};
Node NodeAt(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return {};
    }
    return {st.st_mode, st.st_rdev, st.st_ino};
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

// A device failing at each cut point: WriterFailure. Here a writer that gives up without a write
// error of its own (a cancel) still fails with a reason.
TEST_F(AtomicFileTest, OnlyACommitReplacesTheTargetKeepingItsPermissions) {
    const IoResult result = WriteFileAtomically(m_target, [](QIODevice& out) {
        static_cast<void>(out.write(kNew.left(10)));
        return IoResult::Fail({});
    });
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(ReadFile(m_target), kOld);
    EXPECT_EQ(FolderEntries(m_dir.path()), QStringList{QStringLiteral("target.bin")});
    {
        CAtomicFile file(m_target);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(WriteAll(file.Device(), kNew));
        EXPECT_EQ(ReadFile(m_target), kOld); // not before the commit
        ASSERT_TRUE(file.Commit());
    }
    EXPECT_EQ(ReadFile(m_target), kNew);
    constexpr int kPermissionBits = 0xF077; // owner, group and others
    EXPECT_EQ(QFile::permissions(m_target) & kPermissionBits, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(FolderEntries(m_dir.path()), QStringList{QStringLiteral("target.bin")});

    // Dropped without a commit: nothing changes.
    {
        CAtomicFile file(m_target);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(WriteAll(file.Device(), kOld));
    }
    EXPECT_EQ(ReadFile(m_target), kNew);
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
    // Links to the phone's file, chained or relative, or to a new name in the folder: resolved first.
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
    EXPECT_EQ(ReadFile(phone), kOld);
    EXPECT_FALSE(QFile::exists(phones + QStringLiteral("/inner/new.csv")));
    EXPECT_FALSE(QFile::exists(phones + QStringLiteral("/inner/B2.vexaphone")));
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), phone) << "the link itself stays";
    EXPECT_TRUE(WriteFileAtomically(m_target, write)) << "elsewhere writing goes on";
}

// A link is followed to a file (which is replaced) but never to nothing; a FIFO or a device is
// written as it is, never replaced, removed or given other permissions; nothing is left beside it.
TEST_F(AtomicFileTest, TargetsThatAreNoPlainFileAreWrittenAsTheyAreOrRefused) {
    const QString here = m_dir.filePath(QStringLiteral("here"));
    const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(here));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QString devices = m_dir.filePath(QStringLiteral("dev"));
    ASSERT_TRUE(QDir().mkpath(devices));
    const QString null = CharDevice(devices, "null", 3);
    const QString full = CharDevice(devices, "full", 7);
    const QString fifo = here + QStringLiteral("/pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(vexa::test::WriteFile(elsewhere + QStringLiteral("/kept.txt"), kOld));

    struct Case {
        const char* what;
        QString target;
        QString reader; // a FIFO read while the writer writes: it must get every byte
        bool ok;
        QString lands;  // the file that must then hold the new bytes, when ok
    };
    const auto link = [&](const QString& name, const QString& to) {
        EXPECT_TRUE(QFile::link(to, here + u'/' + name));
        return here + u'/' + name;
    };
    const Case cases[] = {
        {"a FIFO", fifo, fifo, true, {}},
        {"the null device", null, {}, true, {}},
        {"the full device: the error, and the device stays", full, {}, false, {}},
        {"a link to a FIFO", link(QStringLiteral("to-pipe"), fifo), fifo, true, {}},
        {"a link to a file elsewhere: that file is replaced, the link stays",
         link(QStringLiteral("to-kept"), elsewhere + QStringLiteral("/kept.txt")), {}, true,
         elsewhere + QStringLiteral("/kept.txt")},
        {"a link to nothing elsewhere: refused, nothing made there",
         link(QStringLiteral("to-nothing"), elsewhere + QStringLiteral("/made.txt")), {}, false, {}},
        {"a link to a link to nothing", link(QStringLiteral("to-link"), here + QStringLiteral("/to-nothing")), {},
         false, {}},
    };
    // Nothing is ever left beside a target here.
    const QStringList allHere{QStringLiteral("pipe"), QStringLiteral("to-kept"), QStringLiteral("to-link"),
                              QStringLiteral("to-nothing"), QStringLiteral("to-pipe")};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Node before = NodeAt(ResolvedWriteTarget(c.target));
        const Node linkBefore = NodeAt(c.target);
        std::optional<vexa::test::FifoReader> reader;
        if (!c.reader.isEmpty()) {
            reader.emplace(c.reader);
            ASSERT_TRUE(reader->IsOpen());
        }
        // Permissions asked for are never put on a FIFO or a device.
        const IoResult result = [&] {
            CAtomicFile file(c.target);
            if (IoResult opened = file.Open(QFileDevice::ReadOwner | QFileDevice::WriteOwner); !opened) {
                return opened;
            }
            if (IoResult written = WriteAll(file.Device(), kNew); !written) {
                return written;
            }
            return file.Commit();
        }();
        const QByteArray received = reader ? reader->Take() : QByteArray();
        EXPECT_EQ(static_cast<bool>(result), c.ok) << result.error.toStdString();
        EXPECT_EQ(result.error.isEmpty(), c.ok) << "a failure gives its reason";
        EXPECT_EQ(NodeAt(c.target), linkBefore) << "the target (or the link) is what it was";
        if (c.lands.isEmpty()) {
            EXPECT_EQ(NodeAt(ResolvedWriteTarget(c.target)), before) << "not replaced, not removed";
        } else {
            EXPECT_EQ(ReadFile(c.lands), kNew);
        }
        if (reader) {
            EXPECT_EQ(received, kNew);
        }
        EXPECT_EQ(QDir(here).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
                  allHere);
    }
    EXPECT_EQ(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("kept.txt")});
}

} // namespace
