// Decoding the phone's frames (broken and hostile ones too), and the player's parts without a window.
#include "device/screen/ScreenFrame.h"
#include "device/screen/PhoneShell.h"
#include "device/screen/PlayerGeometry.h"

#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>

#include <gtest/gtest.h>

namespace {

void PutWord(QByteArray& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
    }
}

QByteArray RawHeader(std::uint32_t width, std::uint32_t height, std::uint32_t format, bool colourSpace) {
    QByteArray out;
    for (const std::uint32_t word : {width, height, format}) {
        PutWord(out, word);
    }
    if (colourSpace) {
        PutWord(out, 0);
    }
    return out;
}

// A frame whose pixel (x, y) is (x * 40, y * 40, 200) in the given byte layout, alpha bytes 0 as
// some phones leave them.
QByteArray RawFrame(int width, int height, std::uint32_t format, bool colourSpace) {
    QByteArray out = RawHeader(width, height, format, colourSpace);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int r = x * 40, g = y * 40, b = 200;
            switch (format) {
            case screen::kRawRgba8888:
            case screen::kRawRgbx8888:
                out.append(char(r)).append(char(g)).append(char(b)).append(char(0));
                break;
            case screen::kRawBgra8888:
                out.append(char(b)).append(char(g)).append(char(r)).append(char(0));
                break;
            case screen::kRawRgb888:
                out.append(char(r)).append(char(g)).append(char(b));
                break;
            case screen::kRawRgb565: {
                const int value = (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
                out.append(char(value & 0xff)).append(char(value >> 8));
                break;
            }
            }
        }
    }
    return out;
}

QByteArray Encode(const QImage& image, const char* type) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, type));
    return bytes;
}

struct RawCase {
    std::uint32_t format;
    bool colourSpace;
    int tolerance; // 5-6-5 keeps the top bits only
};

class RawFrameTest : public ::testing::TestWithParam<RawCase> {};

TEST_P(RawFrameTest, PixelsLandOpaqueWhereThePhoneDrewThem) {
    const RawCase c = GetParam();
    const screen::DecodedFrame frame = screen::DecodeFrame(RawFrame(5, 3, c.format, c.colourSpace));
    ASSERT_TRUE(frame.Ok()) << frame.detail.toStdString();
    ASSERT_EQ(frame.image.size(), QSize(5, 3));
    EXPECT_FALSE(frame.image.hasAlphaChannel());
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const QColor pixel = frame.image.pixelColor(x, y);
            EXPECT_NEAR(pixel.red(), x * 40, c.tolerance) << x << "," << y;
            EXPECT_NEAR(pixel.green(), y * 40, c.tolerance) << x << "," << y;
            EXPECT_NEAR(pixel.blue(), 200, c.tolerance) << x << "," << y;
            EXPECT_EQ(pixel.alpha(), 255) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, RawFrameTest,
                         ::testing::Values(RawCase{screen::kRawRgba8888, true, 0}, RawCase{screen::kRawRgba8888, false, 0},
                                           RawCase{screen::kRawRgbx8888, true, 0}, RawCase{screen::kRawBgra8888, true, 0},
                                           RawCase{screen::kRawRgb888, false, 0}, RawCase{screen::kRawRgb565, true, 8}));

TEST(ScreenFrameTest, EncodedPicturesDecodeByTheirSignature) {
    QImage image(7, 4, QImage::Format_RGB32);
    image.fill(QColor(10, 120, 230));
    for (const char* type : {"PNG", "JPEG", "BMP"}) {
        const QByteArray bytes = Encode(image, type);
        EXPECT_EQ(screen::EncodedFrameType(bytes), QByteArray(type));
        const screen::DecodedFrame frame = screen::DecodeFrame(bytes);
        ASSERT_TRUE(frame.Ok()) << type << ": " << frame.detail.toStdString();
        EXPECT_EQ(frame.image.size(), QSize(7, 4)) << type;
        EXPECT_NEAR(frame.image.pixelColor(3, 2).blue(), 230, 6) << type;
    }
}

struct BadCase {
    const char* name;
    QByteArray data;
    screen::FrameError error;
};

// The CRC-32 PNG chunks carry, so a forged header is read as far as its size.
std::uint32_t Crc32(const QByteArray& bytes) {
    std::uint32_t crc = 0xffffffffu;
    for (const char ch : bytes) {
        crc ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

std::vector<BadCase> BadCases() {
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QByteArray png = Encode(image, "PNG");
    // A PNG header claiming 100000 x 100000: the signature and IHDR are real, the size is not.
    QByteArray hugePng = png;
    const uchar side[4] = {0x00, 0x01, 0x86, 0xA0};
    hugePng.replace(16, 4, reinterpret_cast<const char*>(side), 4);
    hugePng.replace(20, 4, reinterpret_cast<const char*>(side), 4);
    const std::uint32_t crc = Crc32(hugePng.mid(12, 17));
    const char crcBytes[4] = {char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
    hugePng.replace(29, 4, crcBytes, 4);
    // A BMP header claiming the same (BMP carries no checksum); its reader refuses the size itself.
    QByteArray hugeBmp = Encode(image, "BMP");
    const char bmpSide[4] = {char(0xA0), char(0x86), 0x01, 0x00};
    hugeBmp.replace(18, 4, bmpSide, 4);
    hugeBmp.replace(22, 4, bmpSide, 4);
    return {
        {"empty", QByteArray(), screen::FrameError::Empty},
        {"short header", QByteArray("\x05\x00\x00\x00\x05", 5), screen::FrameError::Truncated},
        {"hostile raw width", RawHeader(0xffffffffu, 1, screen::kRawRgba8888, true), screen::FrameError::BadSize},
        {"zero width", RawHeader(0, 10, screen::kRawRgba8888, true), screen::FrameError::BadSize},
        {"sides allowed, pixels not", RawHeader(8000, 8000, screen::kRawRgba8888, true), screen::FrameError::BadSize},
        {"unknown pixel format", RawFrame(2, 2, 5, true).replace(8, 1, "\x09"), screen::FrameError::BadPixelFormat},
        {"pixels cut short", RawFrame(6, 6, screen::kRawRgba8888, true).chopped(5), screen::FrameError::Truncated},
        {"bytes after the pixels", RawFrame(2, 2, screen::kRawRgba8888, true) + "xxxxxxxx",
         screen::FrameError::TrailingBytes},
        {"png cut short", png.left(png.size() / 2), screen::FrameError::Undecodable},
        {"png signature only", png.left(8), screen::FrameError::Undecodable},
        {"hostile png size", hugePng, screen::FrameError::BadSize},
        {"hostile bmp size", hugeBmp, screen::FrameError::Undecodable},
        {"text, not a picture", QByteArray("/system/bin/sh: screencap: not found\n"), screen::FrameError::BadSize},
        {"endless stream", QByteArray(screen::kMaxFrameBytes + 1, '\x01'), screen::FrameError::TooLarge},
    };
}

TEST(ScreenFrameTest, BrokenFramesAreRefusedWithTheirReason) {
    for (const BadCase& c : BadCases()) {
        const screen::DecodedFrame frame = screen::DecodeFrame(c.data);
        EXPECT_EQ(frame.error, c.error) << c.name << ": " << frame.detail.toStdString();
        EXPECT_TRUE(frame.image.isNull()) << c.name;
        EXPECT_FALSE(frame.detail.isEmpty()) << c.name;
        EXPECT_FALSE(screen::FrameErrorText(frame.error).startsWith(u'#')) << c.name;
    }
}

TEST(ScreenFrameTest, LargeFramesAreReducedKeepingTheirProportions) {
    struct Case {
        QSize in, out;
    };
    for (const Case& c : {Case{{1080, 2400}, {460, 1024}}, Case{{2400, 1080}, {1024, 460}}, Case{{1024, 1024}, {1024, 1024}},
                          Case{{480, 854}, {480, 854}}, Case{{2048, 1025}, {1024, 512}}, Case{{8192, 3}, {1024, 1}}}) {
        EXPECT_EQ(screen::ReducedFrameSize(c.in), c.out) << c.in.width() << "x" << c.in.height();
    }
    QImage big(1080, 2400, QImage::Format_RGB32);
    big.fill(Qt::green);
    const QImage reduced = screen::ReduceFrame(big);
    EXPECT_EQ(reduced.size(), QSize(460, 1024));
    EXPECT_EQ(reduced.pixelColor(200, 500), QColor(Qt::green));
}

// A 3 x 2 picture with corners told apart: red, green on top; blue, white below.
QImage Corners() {
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::black);
    image.setPixelColor(0, 0, Qt::red);
    image.setPixelColor(2, 0, Qt::green);
    image.setPixelColor(0, 1, Qt::blue);
    image.setPixelColor(2, 1, Qt::white);
    return image;
}

TEST(PlayerGeometryTest, QuarterTurnsMoveTheCornersAsThePhoneTurns) {
    struct Case {
        int rotation;
        QSize size;
        QColor topLeft, topRight, bottomLeft;
    };
    // 1 is a quarter turn to the left: top-left goes bottom-left, top-right goes top-left.
    for (const Case& c :
         {Case{0, {3, 2}, Qt::red, Qt::green, Qt::blue}, Case{1, {2, 3}, Qt::green, Qt::white, Qt::red},
          Case{2, {3, 2}, Qt::white, Qt::blue, Qt::green}, Case{3, {2, 3}, Qt::blue, Qt::red, Qt::white}}) {
        const QImage turned = screen::RotateFrame(Corners(), c.rotation);
        ASSERT_EQ(turned.size(), c.size) << c.rotation;
        EXPECT_EQ(turned.pixelColor(0, 0), c.topLeft) << c.rotation;
        EXPECT_EQ(turned.pixelColor(turned.width() - 1, 0), c.topRight) << c.rotation;
        EXPECT_EQ(turned.pixelColor(0, turned.height() - 1), c.bottomLeft) << c.rotation;
    }
    const int left[] = {1, 2, 3, 0}, right[] = {3, 0, 1, 2}; // from 0, 1, 2, 3
    for (int rotation = 0; rotation < 4; ++rotation) {
        EXPECT_EQ(screen::RotatedLeft(rotation), left[rotation]);
        EXPECT_EQ(screen::RotatedRight(rotation), right[rotation]);
    }
}

TEST(PlayerGeometryTest, FramesAreFittedAndCentred) {
    struct Case {
        QSize client, picture;
        int mode;
        QRect expected;
    };
    for (const Case& c : {
             Case{{200, 400}, {460, 1024}, screen::kScaleOriginal, {10, 0, 179, 400}},  // too large: fitted
             Case{{200, 400}, {100, 100}, screen::kScaleOriginal, {50, 150, 100, 100}}, // small: centred as is
             Case{{200, 400}, {100, 100}, screen::kScaleFit, {0, 100, 200, 200}},       // fit: as large as it goes
             Case{{400, 200}, {1024, 460}, screen::kScaleFit, {0, 10, 400, 179}},
             Case{{200, 400}, {200, 400}, screen::kScaleOriginal, {0, 0, 200, 400}},
             Case{{0, 400}, {10, 10}, screen::kScaleFit, {}},
         }) {
        EXPECT_EQ(screen::PlayerDestination(c.client, c.picture, c.mode), c.expected)
            << c.client.width() << "x" << c.client.height() << " " << c.picture.width() << "x" << c.picture.height();
    }
}

TEST(PhoneShellTest, RectanglesNeedFourSaneNumbers) {
    EXPECT_EQ(screen::ParseShellRect(QStringLiteral("10,22,170,340")), QRect(10, 22, 170, 340));
    EXPECT_EQ(screen::ParseShellRect(QStringLiteral(" 1, 2 ,3,4,99")), QRect(1, 2, 3, 4));
    for (const char* bad :
         {"", "1,2,3", "a,b,c,d", "1,2,0,4", "-1,2,3,4", "1,2,3,99999999999", "0x10,2,3,4", "1;2;3;4"}) {
        EXPECT_FALSE(screen::ParseShellRect(QString::fromUtf8(bad))) << bad;
    }
    const QByteArray ini = "; shells\r\n[default]\r\nshell_info=10,22,170,340\r\n[P7]\nother=1\nshell_info = 5,6,7,8\n"
                           "[broken]\nshell_info=1,2\n\xff\xfe garbage line\n";
    EXPECT_EQ(screen::ShellRectOf(ini, QStringLiteral("default")), QRect(10, 22, 170, 340));
    EXPECT_EQ(screen::ShellRectOf(ini, QStringLiteral("P7")), QRect(5, 6, 7, 8));
    EXPECT_FALSE(screen::ShellRectOf(ini, QStringLiteral("broken")));
    EXPECT_FALSE(screen::ShellRectOf(ini, QStringLiteral("nope")));
}

class PhoneShellFiles : public ::testing::Test {
protected:
    QString Folder() const { return m_folders.Root(); }
    void Write(const QString& name, const QByteArray& bytes) {
        ASSERT_TRUE(vexa::test::WriteFile(Folder() + u'/' + name, bytes));
    }
    void Picture(const QString& project, QSize size) {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::darkGray);
        ASSERT_TRUE(image.save(Folder() + QStringLiteral("/phone_shell_") + project + QStringLiteral(".png")));
    }
    ScopedTestFolders m_folders;
};

TEST_F(PhoneShellFiles, APhoneWithoutItsOwnShellUsesTheDefault) {
    Write(QStringLiteral("phone_shell.ini"),
          "[default]\nshell_info=10,20,100,200\n[P7]\nshell_info=4,4,50,90\n[P8]\nshell_info=0,0,500,500\n");
    Picture(QStringLiteral("default"), {120, 240});
    Picture(QStringLiteral("P7"), {60, 100});
    Picture(QStringLiteral("P8"), {60, 100}); // its screen does not fit its picture

    const screen::PhoneShell own = screen::LoadPhoneShell(Folder(), QStringLiteral("P7"));
    EXPECT_EQ(own.project, QStringLiteral("P7"));
    EXPECT_TRUE(own.available);
    EXPECT_EQ(own.screen, QRect(4, 4, 50, 90));
    EXPECT_EQ(own.picture.size(), QSize(60, 100));
    EXPECT_EQ(own.StyleName(), QStringLiteral("style_phone_shell_P7"));

    for (const char* project : {"P8", "unknown", "default", ""}) {
        const screen::PhoneShell shell = screen::LoadPhoneShell(Folder(), QString::fromUtf8(project));
        EXPECT_EQ(shell.project, QStringLiteral("default")) << project;
        EXPECT_FALSE(shell.available) << project;
        EXPECT_EQ(shell.screen, QRect(10, 20, 100, 200)) << project;
        EXPECT_EQ(shell.picture.size(), QSize(120, 240)) << project;
    }
}

TEST_F(PhoneShellFiles, BrokenFilesGiveNoShell) {
    // No file at all.
    EXPECT_TRUE(screen::LoadPhoneShell(Folder(), QStringLiteral("P7")).picture.isNull());
    // An oversized INI file is not read.
    Write(QStringLiteral("phone_shell.ini"),
          "[default]\nshell_info=10,20,100,200\n" + QByteArray(screen::kMaxShellIniBytes, ';'));
    Picture(QStringLiteral("default"), {120, 240});
    EXPECT_TRUE(screen::LoadPhoneShell(Folder(), QStringLiteral("default")).screen.isEmpty());
    // A picture that is not a picture, and a folder where the INI file should be.
    Write(QStringLiteral("phone_shell.ini"), "[default]\nshell_info=10,20,100,200\n");
    Write(QStringLiteral("phone_shell_default.png"), QByteArray("\x89PNG\r\n\x1a\ntruncated"));
    const screen::PhoneShell broken = screen::LoadPhoneShell(Folder(), QStringLiteral("default"));
    EXPECT_TRUE(broken.picture.isNull());
    EXPECT_TRUE(broken.screen.isEmpty());
    EXPECT_FALSE(broken.available);
    ASSERT_TRUE(QFile::remove(Folder() + QStringLiteral("/phone_shell.ini")));
    ASSERT_TRUE(QDir(Folder()).mkdir(QStringLiteral("phone_shell.ini")));
    EXPECT_TRUE(screen::LoadPhoneShell(Folder(), QStringLiteral("default")).picture.isNull());
}

} // namespace
