// Saving and capturing single screenshots.
#include "device/screen/CScreenshotSaveHelper.h"
#include "device/screen/ScreenCapture.h"

#include "bridge/api/ScreenshotService.h"

#include "TestEnvironment.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>

#include <thread>

#include <gtest/gtest.h>

namespace {

TEST(ScreenshotSaveTest, TheChosenTypesExtensionIsAppendedWhenMissing) {
    struct Case {
        const char* chosen;
        ScreenshotType type;
        const char* written;
    };
    for (const Case& c : {Case{"shot", ScreenshotType::Jpg, "shot.jpg"}, Case{"shot", ScreenshotType::Png, "shot.png"},
                          Case{"shot.JPG", ScreenshotType::Jpg, "shot.JPG"}, Case{"a.png", ScreenshotType::Jpg, "a.png.jpg"},
                          Case{"dir.bmp/x", ScreenshotType::Bmp, "dir.bmp/x.bmp"}, Case{"x.bmp", ScreenshotType::Bmp, "x.bmp"}}) {
        EXPECT_EQ(CScreenshotSaveHelper::FileName(QString::fromUtf8(c.chosen), c.type), QString::fromUtf8(c.written)) << c.chosen;
    }
    EXPECT_EQ(CScreenshotSaveHelper::TypeOfFilter(1), ScreenshotType::Jpg);
    EXPECT_EQ(CScreenshotSaveHelper::TypeOfFilter(2), ScreenshotType::Bmp);
    EXPECT_EQ(CScreenshotSaveHelper::TypeOfFilter(7), ScreenshotType::Png);
    EXPECT_TRUE(CScreenshotSaveHelper::DialogFilter().startsWith(QStringLiteral("PNG files(*.png)")));
    EXPECT_EQ(CScreenshotSaveHelper::DialogFilter().count(QStringLiteral(";;")), 2);
}

TEST(ScreenshotSaveTest, EachTypeIsWrittenInItsFormat) {
    ScopedTestFolders folders;
    QImage frame(30, 50, QImage::Format_RGB32);
    frame.fill(QColor(20, 140, 90));
    struct Case {
        ScreenshotType type;
        const char* format;
    };
    for (const Case& c : {Case{ScreenshotType::Png, "png"}, Case{ScreenshotType::Jpg, "jpeg"}, Case{ScreenshotType::Bmp, "bmp"}}) {
        const QString path = folders.Root() + QStringLiteral("/shot") + CScreenshotSaveHelper::Extension(c.type);
        ASSERT_TRUE(CScreenshotSaveHelper::SaveToFile(frame, path, c.type).ok) << c.format;
        QImageReader reader(path);
        EXPECT_EQ(reader.format(), QByteArray(c.format));
        const QImage back = reader.read();
        EXPECT_EQ(back.size(), QSize(30, 50)) << c.format;
        EXPECT_NEAR(back.pixelColor(15, 25).green(), 140, 4) << c.format;
    }
    // A failed write (no such folder) and an empty picture leave nothing.
    EXPECT_FALSE(CScreenshotSaveHelper::SaveToFile(frame, folders.Root() + QStringLiteral("/no/x.png"), ScreenshotType::Png).ok);
    EXPECT_FALSE(CScreenshotSaveHelper::SaveToFile(QImage(), folders.Root() + QStringLiteral("/e.png"), ScreenshotType::Png).ok);
    EXPECT_FALSE(QFile::exists(folders.Root() + QStringLiteral("/e.png")));
}

TEST(ScreenshotSaveTest, TheShellFramesTheScreen) {
    QImage shell(100, 200, QImage::Format_ARGB32);
    shell.fill(Qt::transparent);
    QImage frame(40, 80, QImage::Format_RGB32);
    frame.fill(Qt::blue);
    const QImage composed = CScreenshotSaveHelper::ComposeWithShell(frame, shell, QRect(10, 20, 80, 160));
    ASSERT_EQ(composed.size(), QSize(100, 200));
    EXPECT_EQ(composed.pixelColor(50, 100), QColor(Qt::blue));
    EXPECT_EQ(composed.pixelColor(10, 20), QColor(Qt::blue));
    EXPECT_EQ(composed.pixelColor(89, 179), QColor(Qt::blue));
    EXPECT_EQ(composed.pixelColor(5, 5).alpha(), 0);
    EXPECT_EQ(composed.pixelColor(90, 180).alpha(), 0);
    // No shell: the frame as it is.
    EXPECT_EQ(CScreenshotSaveHelper::ComposeWithShell(frame, QImage(), QRect(0, 0, 9, 9)), frame);
}

// A service that answers from its own thread as the bridges do, or not at all.
class ScriptedService final : public vexa::ScreenshotService {
public:
    enum class Mode { Frame, Error, Silent, Refuse };
    explicit ScriptedService(Mode mode, QByteArray frame = {}) : m_mode(mode), m_frame(std::move(frame)) {}
    ~ScriptedService() override { StopCapture(); }
    bool CaptureOnce(vexa::FrameCallback callback) override {
        if (m_mode == Mode::Refuse) {
            return false;
        }
        m_thread = std::thread([this, callback] {
            if (m_mode != Mode::Silent) {
                callback(m_mode == Mode::Error, m_mode == Mode::Error ? QByteArray() : m_frame);
            }
        });
        return true;
    }
    bool StartCapture(vexa::FrameCallback) override { return false; }
    void StopCapture() override {
        ++stops;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    void PauseCapture() override {}
    void ResumeCapture() override {}
    int stops = 0;

private:
    Mode m_mode;
    QByteArray m_frame;
    std::thread m_thread;
};

TEST(ScreenCaptureTest, OneFrameIsDecodedOrTheFailureNamed) {
    QImage picture(12, 34, QImage::Format_RGB32);
    picture.fill(Qt::yellow);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "PNG"));

    ScriptedService good(ScriptedService::Mode::Frame, png);
    const screen::DecodedFrame frame = screen::CaptureFrame(&good, 5000);
    ASSERT_TRUE(frame.Ok()) << frame.detail.toStdString();
    EXPECT_EQ(frame.image.size(), QSize(12, 34));

    for (auto mode : {ScriptedService::Mode::Error, ScriptedService::Mode::Refuse}) {
        ScriptedService service(mode);
        EXPECT_EQ(screen::CaptureFrame(&service, 5000).error, screen::FrameError::NotCaptured);
    }
    EXPECT_EQ(screen::CaptureFrame(nullptr).error, screen::FrameError::NotCaptured);

    // Silence ends at the deadline, and the capture is stopped rather than left running.
    ScriptedService silent(ScriptedService::Mode::Silent);
    const screen::DecodedFrame none = screen::CaptureFrame(&silent, 50);
    EXPECT_EQ(none.error, screen::FrameError::NotCaptured);
    EXPECT_TRUE(none.detail.contains(QStringLiteral("50 ms"))) << none.detail.toStdString();
    EXPECT_EQ(silent.stops, 1);
}

} // namespace
