// The player's parts without a window: quarter turns, frame placement, the phone shell files.
#include "device/screen/PhoneShell.h"
#include "device/screen/PlayerGeometry.h"

#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

// A 3 x 2 picture whose corners are told apart: red top-left, green top-right, blue bottom-left,
// white bottom-right.
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
    for (const Case& c : {Case{0, {3, 2}, Qt::red, Qt::green, Qt::blue}, Case{1, {2, 3}, Qt::green, Qt::white, Qt::red},
                          Case{2, {3, 2}, Qt::white, Qt::blue, Qt::green}, Case{3, {2, 3}, Qt::blue, Qt::red, Qt::white}}) {
        const QImage turned = screen::RotateFrame(Corners(), c.rotation);
        ASSERT_EQ(turned.size(), c.size) << c.rotation;
        EXPECT_EQ(turned.pixelColor(0, 0), c.topLeft) << c.rotation;
        EXPECT_EQ(turned.pixelColor(turned.width() - 1, 0), c.topRight) << c.rotation;
        EXPECT_EQ(turned.pixelColor(0, turned.height() - 1), c.bottomLeft) << c.rotation;
    }
    for (int rotation = 0; rotation < 4; ++rotation) {
        EXPECT_EQ(screen::RotatedLeft(rotation), (rotation + 1) % 4);
        EXPECT_EQ(screen::RotatedRight(rotation), (rotation + 3) % 4);
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
    for (const char* bad : {"", "1,2,3", "a,b,c,d", "1,2,0,4", "-1,2,3,4", "1,2,3,99999999999", "0x10,2,3,4", "1;2;3;4"}) {
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
