// vexa-cli files: every form against a simulated phone, and the refusals.
#include "CliTestSupport.h"

#include "platform/StringTable.h"

#include "TestFiles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <optional>
#include <utility>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

class CliFilesTest : public CliFixture {};

TEST_F(CliFilesTest, EveryFormAndItsFailures) {
    vexa::sim::PhoneSpec spec;
    spec.serial = QStringLiteral("vexa-files");
    spec.brand = QStringLiteral("vexa");
    spec.model = QStringLiteral("V960");
    spec.sdCard = true;
    QString error;
    ASSERT_TRUE(vexa::sim::CreatePhone(spec, &error)) << error.toStdString();
    const QString root = QStringLiteral("/mnt/sdcard");
    const QString name = QStringLiteral("it's a \"$x\"\nline.txt");
    const QString local = Write(QStringLiteral("up.bin"), "payload");
    EXPECT_EQ(Run({"files", "mkdir", root + QStringLiteral("/工作")}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(Run({"files", "push", local, root + QStringLiteral("/工作/") + name}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(Run({"files", "cp", root + QStringLiteral("/工作/") + name, root + QStringLiteral("/copy.txt")}), kCliOk);
    EXPECT_EQ(Run({"files", "mv", root + QStringLiteral("/copy.txt"), root + QStringLiteral("/工作/")}), kCliOk);
    ASSERT_EQ(Run({"files", "ls", root + QStringLiteral("/工作")}), kCliOk);
    const QStringList lines = m_out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << m_out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("f\t7\t"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("\tit's a \"$x\"\\nline.txt")));
    EXPECT_EQ(lines[1].section(u'\t', 2, 2).size(), 19); // yyyy-MM-dd HH:mm:ss
    const QString back = Path(QStringLiteral("back.bin"));
    EXPECT_EQ(Run({"files", "pull", root + QStringLiteral("/工作/") + name, back}), kCliOk);
    EXPECT_EQ(vexa::test::ReadFile(back), "payload");

    const struct {
        QStringList args;
        int code;
        QString err;
    } failures[] = {
        {{"files", "mv", root + QStringLiteral("/工作/copy.txt"), root + QStringLiteral("/external_sd")}, kCliFailed, Str(877)},
        {{"files", "cp", root + QStringLiteral("/工作"), root + QStringLiteral("/x")}, kCliFailed, Str(876)},
        {{"files", "cp", root + QStringLiteral("/工作/copy.txt"), root + QStringLiteral("/工作/") + name}, kCliFailed, Str(874)},
        {{"files", "push", Path(QStringLiteral("missing")), root}, kCliFailed, FormatText(Str(2801), qUtf8Printable(Path(QStringLiteral("missing"))))},
        {{"files", "pull", root + QStringLiteral("/none"), back}, kCliFailed, Str(996)},
        {{"files", "ls", root + QStringLiteral("/none")}, kCliFailed, FormatText(Str(2800), qUtf8Printable(root + QStringLiteral("/none")))},
        {{"files", "rm", root + QStringLiteral("/none")}, kCliFailed, FormatText(Str(2804), qUtf8Printable(root + QStringLiteral("/none")))},
        {{"files", "rm", root}, kCliFailed, FormatText(Str(2804), qUtf8Printable(root))},
        {{"files", "mkdir"}, kCliUsage, QString()},
        {{"files", "cp", root}, kCliUsage, QString()},
    };
    for (const auto& c : failures) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        EXPECT_EQ(Run(c.args), c.code);
        if (!c.err.isEmpty()) {
            EXPECT_EQ(m_err, c.err + u'\n');
        }
    }
    EXPECT_EQ(vexa::test::ReadFile(back), "payload"); // a failed pull left the earlier file alone
    EXPECT_EQ(Run({"files", "rm", root + QStringLiteral("/工作/") + name, root + QStringLiteral("/工作/copy.txt")}), kCliOk);
    ASSERT_EQ(Run({"files", "ls", root + QStringLiteral("/工作")}), kCliOk);
    EXPECT_TRUE(m_out.isEmpty());
}

// A pull onto a FIFO or a device writes into it and leaves it what it was: never replaced by a
// regular file, never removed (as root, a pull to /dev/null once replaced /dev/null).
TEST_F(CliFilesTest, PullOntoAFifoOrADeviceWritesIntoItAndLeavesItWhatItWas) {
    AddPhone(QStringLiteral("vexa-node"));
    const QByteArray payload(100000, 'p');
    ASSERT_EQ(Run({"files", "push", Write(QStringLiteral("up.bin"), payload), "/mnt/sdcard/up.bin"}), kCliOk)
        << m_err.toStdString();
    const QString fifo = Path(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const auto node = [](const QString& path) {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? std::make_pair(st.st_mode, st.st_rdev)
                                                                        : std::make_pair(mode_t{0}, dev_t{0});
    };
    // As root, a null device of our own: a pull that got it wrong replaces that one, not the system's.
    QString null = QStringLiteral("/dev/null");
    if (::geteuid() == 0 && ::mknod(QFile::encodeName(Path(QStringLiteral("null"))).constData(), S_IFCHR | 0666,
                                    makedev(1, 3)) == 0) {
        null = Path(QStringLiteral("null"));
    }
    for (const QString& target : {fifo, null}) {
        SCOPED_TRACE(target.toStdString());
        const auto before = node(target);
        std::optional<vexa::test::FifoReader> reader;
        if (target == fifo) {
            reader.emplace(fifo);
            ASSERT_TRUE(reader->IsOpen());
        }
        EXPECT_EQ(Run({"files", "pull", "/mnt/sdcard/up.bin", target}), kCliOk) << m_err.toStdString();
        if (reader) {
            EXPECT_EQ(reader->Take(), payload);
        }
        EXPECT_EQ(node(target), before);
    }
    EXPECT_EQ(QDir(m_folders.Root()).entryList({QStringLiteral("*pipe*")}, QDir::AllEntries | QDir::System | QDir::Hidden),
              QStringList{QStringLiteral("pipe")})
        << "nothing left beside the FIFO";
}

} // namespace
