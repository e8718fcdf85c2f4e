// vexa-cli pictures: the album list of a seeded phone, export, import and delete, and the refusals.
#include "CliTestSupport.h"

#include "../pictures/PictureTestImages.h"

#include "platform/StringTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

class CliPicturesTest : public CliFixture {
protected:
    void SetUp() override {
        AddPhone(QStringLiteral("vexa-pic"));
        Seed(QStringLiteral("vexa-pic"), {.pictures = 12});
    }
    // album name -> "location\tcount"
    std::map<QString, QString> Albums() {
        EXPECT_EQ(Run({"pictures", "albums"}), kCliOk) << m_err.toStdString();
        std::map<QString, QString> albums;
        for (const QString& line : m_out.split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList fields = line.split(u'\t');
            EXPECT_EQ(fields.size(), 3) << line.toStdString();
            albums[fields.value(0)] = fields.value(1) + u'\t' + fields.value(2);
        }
        return albums;
    }
};

TEST_F(CliPicturesTest, ListsExportsImportsDeletesAndRefuses) {
    std::map<QString, QString> albums = Albums();
    ASSERT_TRUE(albums.count(QStringLiteral("Camera")));
    EXPECT_TRUE(albums[QStringLiteral("Camera")].startsWith(Str(836) + QStringLiteral("/DCIM/Camera\t")));
    const int seeded = albums[QStringLiteral("Camera")].section(u'\t', 1).toInt();
    ASSERT_GT(seeded, 0);

    QDir out(Path(QStringLiteral("out")));
    ASSERT_TRUE(out.mkpath(QStringLiteral(".")));
    const QString a = Write(QStringLiteral("a.jpg"), pictures::test::MakeJpeg(1));
    const QString b = Write(QStringLiteral("b.jpg"), pictures::test::MakeJpeg(2));
    RunSteps({{{"pictures", "export", "--album", "Camera", out.path()}, kCliOk, FormatText(Str(815), seeded)},
              {{"pictures", "import", "--album", "Camera", a, b}, kCliOk, FormatText(Str(820), 2)}});
    EXPECT_EQ(out.entryList(QDir::Files).size(), seeded);
    EXPECT_TRUE(Albums()[QStringLiteral("Camera")].endsWith(QStringLiteral("\t%1").arg(seeded + 2)));
    RunSteps({{{"pictures", "delete", "--album", "Camera", "a.jpg", "b.jpg"}, kCliOk, FormatText(Str(2925), 2)}});
    EXPECT_TRUE(Albums()[QStringLiteral("Camera")].endsWith(QStringLiteral("\t%1").arg(seeded)));

    // Links in another chosen folder under the pictures' names, pointing out of it (to nothing, or
    // to a file): never written through. The pictures go beside them; nothing appears outside.
    const QStringList names = out.entryList(QDir::Files, QDir::Name);
    ASSERT_GE(names.size(), 2);
    QDir linked(Path(QStringLiteral("linked")));
    QDir outside(Path(QStringLiteral("outside")));
    ASSERT_TRUE(linked.mkpath(QStringLiteral(".")));
    ASSERT_TRUE(outside.mkpath(QStringLiteral(".")));
    const QByteArray kTheirs = "not a picture of the export's\n";
    ASSERT_TRUE(vexa::test::WriteFile(outside.filePath(QStringLiteral("existing")), kTheirs));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("created-through-link")), linked.filePath(names[0])));
    ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("existing")), linked.filePath(names[1])));
    ASSERT_EQ(Run({"pictures", "export", "--album", "Camera", linked.path()}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(outside.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("existing")});
    EXPECT_EQ(vexa::test::ReadFile(outside.filePath(QStringLiteral("existing"))), kTheirs);
    EXPECT_TRUE(QFileInfo(linked.filePath(names[0])).isSymLink());
    EXPECT_TRUE(QFileInfo(linked.filePath(names[1])).isSymLink());
    // Every picture is there, as a file of its own in the folder.
    int files = 0;
    for (const QFileInfo& entry : linked.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        files += entry.isSymLink() ? 0 : 1;
    }
    EXPECT_EQ(files, names.size());

    // Bad input: reasons and a failing exit.
    const QString text = Write(QStringLiteral("notes.jpg"), "not a picture");
    const QString empty = Write(QStringLiteral("zero.jpg"), {});
    const QString good = Write(QStringLiteral("good.jpg"), pictures::test::MakeJpeg(3));
    EXPECT_EQ(Run({"pictures", "import", "--album", "Camera", text, empty, good}), kCliFailed);
    EXPECT_EQ(m_out, FormatText(Str(820), 1) + u'\n');
    EXPECT_EQ(m_err, FormatText(Str(2900), "notes.jpg") + u'\n' + FormatText(Str(2901), "zero.jpg") + u'\n');

    RunSteps({
        {{"pictures", "delete", "--album", "Camera", "good.jpg", "missing.jpg"}, kCliFailed, FormatText(Str(2912), "missing.jpg")},
        // Nothing was deleted by the refused command: good.jpg is still there to delete.
        {{"pictures", "delete", "--album", "Camera", "good.jpg"}, kCliOk},
        {{"pictures", "export", "--album", "没有", Path("x")}, kCliFailed, FormatText(Str(2910), "没有")},
        {{"pictures", "export", "--album", "Camera", Path("no/such/dir")}, kCliFailed},
        {{"pictures"}, kCliUsage},
        {{"pictures", "albums", "x"}, kCliUsage},
        {{"pictures", "export", "--album", "Camera"}, kCliUsage},
        {{"pictures", "import", "Camera", "a.jpg"}, kCliUsage},
        {{"pictures", "export", "--album", "Camera", "d1", "d2"}, kCliUsage},
    });
}

// Importing into a new album makes it on both backends; a name no album may carry makes nothing.
TEST_F(CliPicturesTest, ImportMakesAMissingAlbum) {
    const QString a = Write(QStringLiteral("a.jpg"), pictures::test::MakeJpeg(1));
    const QString b = Write(QStringLiteral("b.jpg"), pictures::test::MakeJpeg(2));
    for (const char* bridge : {"sim", "adb"}) {
        SCOPED_TRACE(bridge);
        const QString album = QStringLiteral("旅行-") + QLatin1String(bridge);
        if (bridge == std::string("adb")) {
            SKIP_WITHOUT_ADB();
            UseAdb(QStringLiteral("vexa-pic"));
        }
        RunSteps({{{"pictures", "import", "--album", album, a, b}, kCliOk, FormatText(Str(820), 2)},
                  {{"pictures", "import", "--album", "a:b", a}, kCliFailed, Str(1005)}});
        EXPECT_EQ(Albums()[album], Str(836) + u'/' + album + QStringLiteral("\t2"));
        EXPECT_EQ(Albums().count(QStringLiteral("a:b")), 0U);
    }
}

} // namespace
