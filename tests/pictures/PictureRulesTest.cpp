#include "pictures/PictureRules.h"
#include "TestFiles.h"

#include "PictureTestImages.h"
#include "platform/StringTable.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace pictures;

TEST(PictureRulesTest, NamesAreCheckedInTheOrderUsersSeeTheMessages) {
    const QStringList albums{QStringLiteral("Camera"), QStringLiteral("旅行")};
    const struct {
        const char* name;
        int album;   // CheckAlbumName
        int picture; // CheckPictureName against the same list
    } cases[] = {
        {"", 835, 1005},         {"   ", 854, 1005},       {".hidden", 1005, 1005}, {"a/b", 1005, 1005},
        {"a\\b", 1005, 1005},    {"say\"hi\"", 1005, 1005}, {"x:y", 1005, 1005},     {"what?", 1005, 1005},
        {"end..", 1005, 1005},   {"a<b>|*", 1005, 1005},    {"Camera", 838, 997},    {"camera", 0, 0},
        {"旅行", 838, 997},      {"新相册 1", 0, 0},        {"a.b", 0, 0},
    };
    for (const auto& c : cases) {
        const QString name = QString::fromUtf8(c.name);
        EXPECT_EQ(CheckAlbumName(name, albums), c.album) << c.name;
        EXPECT_EQ(CheckPictureName(name, albums), c.picture) << c.name;
    }
}

TEST(PictureRulesTest, LocationsNameTheStorageAndTheLongerRootWins) {
    const QString phone = QStringLiteral("/mnt/sdcard");
    const QString card = QStringLiteral("/mnt/sdcard/external_sd");
    EXPECT_EQ(AlbumLocation(QStringLiteral("/mnt/sdcard/DCIM/Camera"), phone, card), Str(836) + "/DCIM/Camera");
    EXPECT_EQ(AlbumLocation(QStringLiteral("/mnt/sdcard/external_sd/DCIM/旅行"), phone, card),
              Str(837) + QStringLiteral("/DCIM/旅行"));
    EXPECT_EQ(AlbumLocation(QStringLiteral("/mnt/sdcard/external_sd/DCIM/旅行"), phone, QString()),
              Str(836) + QStringLiteral("/external_sd/DCIM/旅行"));
    EXPECT_EQ(AlbumLocation(QStringLiteral("/mnt/sdcardX/a"), phone, card), QStringLiteral("/mnt/sdcardX/a"));
}

TEST(PictureRulesTest, ClashingNamesGetTheFirstFreeNumber) {
    const QStringList taken{QStringLiteral("a.jpg"), QStringLiteral("a(1).jpg"), QStringLiteral("复件1_a.jpg")};
    const auto exists = [&taken](const QString& n) { return taken.contains(n); };
    EXPECT_EQ(NumberedName(QStringLiteral("a.jpg"), exists), QStringLiteral("a(2).jpg"));
    EXPECT_EQ(NumberedName(QStringLiteral("noext"), exists), QStringLiteral("noext(1)"));
    EXPECT_EQ(CopyPrefixedName(QStringLiteral("a.jpg"), exists), QStringLiteral("复件2_a.jpg"));
    EXPECT_EQ(WithPictureExtension(QStringLiteral("海边"), QStringLiteral("IMG_1.JPG")), QStringLiteral("海边.JPG"));
    EXPECT_EQ(WithPictureExtension(QStringLiteral("海边.png"), QStringLiteral("IMG_1.JPG")), QStringLiteral("海边.png"));
}

TEST(PictureRulesTest, EditedCopiesCarryTheTimeAndStayWithin260Characters) {
    const QDateTime when(QDate(2024, 3, 3), QTime(14, 5, 9));
    EXPECT_EQ(EditedCopyName(QStringLiteral("IMG_1.jpg"), when), QStringLiteral("IMG_1副本(03-03 14-05-09).jpg"));
    const QString longName = QString(300, u'长') + QStringLiteral(".png");
    const QString copy = EditedCopyName(longName, when);
    EXPECT_EQ(copy.size(), 260);
    EXPECT_TRUE(copy.endsWith(QStringLiteral("副本(03-03 14-05-09).png")));
    EXPECT_DOUBLE_EQ(ClampZoom(25.0), 10.0);
    EXPECT_DOUBLE_EQ(ClampZoom(0.01), 0.1);
    EXPECT_DOUBLE_EQ(ClampZoom(1.5), 1.5);
}

TEST(PictureRulesTest, ComputerFilesAreJudgedByTheirContent) {
    QTemporaryDir dir;
    const auto write = [&dir](const char* name, const QByteArray& bytes) {
        EXPECT_TRUE(vexa::test::WriteFile(dir.filePath(QString::fromUtf8(name)), bytes));
        return dir.filePath(QString::fromUtf8(name));
    };
    EXPECT_EQ(CheckImageFile(write("ok.jpg", test::MakeJpeg(1))), ImageFileCheck::Ok);
    EXPECT_EQ(CheckImageFile(write("empty.jpg", {})), ImageFileCheck::Empty);
    EXPECT_EQ(CheckImageFile(write("text.jpg", "just some text, no picture")), ImageFileCheck::NotImage);
    EXPECT_EQ(CheckImageFile(write("cut.jpg", test::MakeJpeg(2).left(3))), ImageFileCheck::NotImage);
    EXPECT_EQ(CheckImageFile(write("huge.png", test::MakeHugePngHeader(20000, 20000))), ImageFileCheck::Ok);
    EXPECT_EQ(CheckImageFile(dir.filePath(QStringLiteral("missing.jpg"))), ImageFileCheck::Missing);
    EXPECT_EQ(CheckImageFile(dir.path()), ImageFileCheck::Missing);
}
