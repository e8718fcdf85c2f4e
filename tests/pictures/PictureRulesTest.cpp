#include "pictures/PictureRules.h"
#include "pictures/CThumbnailCache.h"
#include "TestFiles.h"

#include "PictureTestImages.h"
#include "platform/StringTable.h"

#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

using namespace pictures;

TEST(PictureRulesTest, NamesAreCheckedInTheOrderUsersSeeTheMessages) {
    const QStringList albums{QStringLiteral("Camera"), QStringLiteral("旅行")};
    const struct {
        const char* name;
        int album;   // CheckAlbumName
        int picture; // CheckPictureName against the same list
    } cases[] = {
        {"", 835, 1005},         {"   ", 854, 1005},       {".hidden", 1005, 1005}, {"a\\b", 1005, 1005},
        {"say\"hi\"", 1005, 1005}, {"end..", 1005, 1005},   {"a<b>|*", 1005, 1005},  {"Camera", 838, 997},
        {"camera", 0, 0},        {"旅行", 838, 997},      {"新相册 1", 0, 0},        {"a.b", 0, 0},
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

namespace {

// Each album format passes the check with a thumbnail of its colour; cut short it is no picture.
struct FormatCase {
    const char* name;
    std::function<QByteArray(int width, int height, QColor colour)> make;
    const char* writer; // the QImageWriter format that must be installed; null: made by hand
};

class PictureFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PictureFormats, PassTheCheckAndGetAThumbnailOfTheirColour) {
    const FormatCase& c = GetParam();
    if (c.writer != nullptr && !test::CanWrite(c.writer)) {
        // Only when the image plugin is truly absent (Debian: qt6-image-formats-plugins).
        GTEST_SKIP() << "no Qt image plugin writes " << c.writer << " on this machine";
    }
    const QColor colour(200, 40, 30);
    const QByteArray bytes = c.make(300, 200, colour);
    ASSERT_FALSE(bytes.isEmpty());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture.") + QString::fromLatin1(c.name));
    ASSERT_TRUE(vexa::test::WriteFile(path, bytes));
    EXPECT_EQ(CheckImageFile(path), ImageFileCheck::Ok);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const PictureHeader header = ReadPictureHeader(buffer);
    EXPECT_EQ(header.size, QSize(300, 200));

    buffer.seek(0);
    const QImage thumbnail = CThumbnailCache::DecodeScaled(buffer, QSize(120, 120));
    ASSERT_FALSE(thumbnail.isNull()) << "no thumbnail";
    EXPECT_EQ(thumbnail.size(), QSize(120, 80));
    const QColor centre = thumbnail.pixelColor(60, 40);
    EXPECT_NEAR(centre.red(), colour.red(), 12);
    EXPECT_NEAR(centre.green(), colour.green(), 12);
    EXPECT_NEAR(centre.blue(), colour.blue(), 12);

    // The same bytes cut inside the header, and text after the right signature, are refused.
    const QString cut = dir.filePath(QStringLiteral("cut.") + QString::fromLatin1(c.name));
    ASSERT_TRUE(vexa::test::WriteFile(cut, bytes.left(9)));
    EXPECT_EQ(CheckImageFile(cut), ImageFileCheck::NotImage);
}

INSTANTIATE_TEST_SUITE_P(
    AlbumFormats, PictureFormats,
    ::testing::Values(
        FormatCase{"jpg", [](int w, int h, QColor c) { return test::MakeImageFile("jpg", w, h, c, 95); }, "jpg"},
        FormatCase{"png", [](int w, int h, QColor c) { return test::MakeImageFile("png", w, h, c); }, "png"},
        FormatCase{"gif", [](int w, int h, QColor c) { return test::MakeGif(w, h, c); }, nullptr},
        FormatCase{"bmp", [](int w, int h, QColor c) { return test::MakeImageFile("bmp", w, h, c); }, "bmp"},
        FormatCase{"webp", [](int w, int h, QColor c) { return test::MakeImageFile("webp", w, h, c); }, "webp"},
        FormatCase{"lossless_webp", [](int w, int h, QColor c) { return test::MakeImageFile("webp", w, h, c, 100); },
                   "webp"}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (const int v : values) {
        out += char(v);
    }
    return out;
}

// Headers read without an image plugin, and bytes that only look like a picture.
TEST(PictureHeaders, AreReadFromTheirOwnBytes) {
    const QByteArray riff = QByteArray("RIFF") + Bytes({0x40, 0, 0, 0}) + "WEBP";
    const QByteArray bmp = QByteArray("BM") + QByteArray(12, '\0');
    const struct {
        const char* what;
        QByteArray bytes;
        const char* format;
        QSize size;
    } cases[] = {
        {"WebP lossy", riff + "VP8 " + Bytes({0x30, 0, 0, 0, 0x10, 0, 0, 0x9D, 0x01, 0x2A, 0x2C, 0x01, 0xC8, 0x00}),
         "webp", QSize(300, 200)},
        {"WebP lossless", riff + "VP8L" + Bytes({0x18, 0, 0, 0, 0x2F, 0x2B, 0xC1, 0x31, 0x00, 0, 0, 0, 0, 0}), "webp",
         QSize(300, 200)},
        {"WebP extended", riff + "VP8X" + Bytes({10, 0, 0, 0, 0x10, 0, 0, 0, 0x1F, 0x4E, 0, 0x13, 0, 0}), "webp",
         QSize(20000, 20)},
        {"RIFF of a sound", QByteArray("RIFF") + Bytes({0x40, 0, 0, 0}) + "WAVEfmt " + QByteArray(16, '\0'), "", {}},
        {"WebP of an unknown chunk", riff + "ALPH" + QByteArray(14, '\0'), "", {}},
        {"BMP, Windows header", bmp + Bytes({40, 0, 0, 0, 0x2C, 0x01, 0, 0, 0x38, 0xFF, 0xFF, 0xFF, 1, 0}), "bmp",
         QSize(300, 200)},
        {"BMP, OS/2 header", bmp + Bytes({12, 0, 0, 0, 0x2C, 0x01, 0xC8, 0x00, 1, 0, 24, 0}), "bmp", QSize(300, 200)},
        {"BM and text", QByteArray("BM, said the text, and nothing more"), "", {}},
        {"GIF", QByteArray("GIF87a") + Bytes({0x2C, 0x01, 0xC8, 0x00, 0, 0, 0}), "gif", QSize(300, 200)},
        {"GIF of no size", QByteArray("GIF89a") + Bytes({0, 0, 0xC8, 0x00, 0, 0, 0}), "", {}},
        {"GIF cut", QByteArray("GIF89a") + Bytes({0x2C}), "", {}},
        {"PNG", test::MakeHugePngHeader(100000, 20), "png", QSize(100000, 20)},
        {"JPEG behind a large metadata segment",
         Bytes({0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF}) + QByteArray(0xFFFD, 'x') +
             Bytes({0xFF, 0xC2, 0x00, 0x11, 0x08, 0x00, 0xC8, 0x01, 0x2C, 3}),
         "jpeg", QSize(300, 200)},
        {"JPEG whose data starts before any frame header", Bytes({0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02}), "", {}},
        {"plain text", QByteArray("just some text, no picture at all"), "", {}},
    };
    for (const auto& c : cases) {
        QBuffer buffer;
        buffer.setData(c.bytes);
        buffer.open(QIODevice::ReadOnly);
        const PictureHeader header = ReadPictureHeader(buffer);
        EXPECT_EQ(header.format, QByteArray(c.format)) << c.what;
        EXPECT_EQ(header.size, c.size) << c.what;
        EXPECT_EQ(header.IsPicture(), c.size.isValid()) << c.what;
    }
}

// A picture too thin to see whole shows its middle, a quarter of the box thick; one that fits, whole.
TEST(ThumbnailPlans, ThinPicturesShowTheirMiddle) {
    const QSize box(120, 120);
    const struct {
        QSize picture;
        QRect clip;
        QSize size;
    } cases[] = {
        {{640, 480}, {0, 0, 640, 480}, {120, 90}},
        {{480, 120}, {0, 0, 480, 120}, {120, 30}},
        {{100000, 2000}, {46000, 0, 8000, 2000}, {120, 30}},
    };
    for (const auto& c : cases) {
        const CThumbnailCache::Plan plan = CThumbnailCache::PlanThumbnail(c.picture, box);
        EXPECT_EQ(plan.clip, c.clip) << c.picture.width() << "x" << c.picture.height();
        EXPECT_EQ(plan.size, c.size) << c.picture.width() << "x" << c.picture.height();
    }
}

// A 2-million-pixel PNG gets a visible thumbnail; one claiming 2 billion is not decoded at all.
TEST(ThumbnailPlans, AVeryLongThinPngGetsAVisibleThumbnail) {
    const struct {
        QSize size;
        QSize thumbnail;
    } cases[] = {{{100000, 20}, {120, 30}}, {{20, 100000}, {30, 120}}};
    for (const auto& c : cases) {
        QBuffer in;
        in.setData(test::MakeImageFile("png", c.size.width(), c.size.height(), QColor(20, 90, 200)));
        in.open(QIODevice::ReadOnly);
        const QImage thumbnail = CThumbnailCache::DecodeScaled(in, QSize(120, 120));
        ASSERT_EQ(thumbnail.size(), c.thumbnail) << c.size.width() << "x" << c.size.height();
        EXPECT_EQ(thumbnail.pixelColor(thumbnail.width() / 2, thumbnail.height() / 2), QColor(20, 90, 200));
    }
    QBuffer huge;
    huge.setData(test::MakeHugePngHeader(100000, 20000));
    huge.open(QIODevice::ReadOnly);
    EXPECT_TRUE(CThumbnailCache::DecodeScaled(huge, QSize(120, 120)).isNull());
}

} // namespace
