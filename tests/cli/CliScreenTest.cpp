// vexa-cli screen grab from a simulated phone (raw frames over adb: AdbBackendTest, PhoneDeviceTest).
#include "CliTestSupport.h"

#include "TestFiles.h"

#include "bridge/sim/SimDb.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QImageReader>

#include <gtest/gtest.h>

namespace {

class CliScreenTest : public CliFixture {
protected:
    // A phone whose screen is width x height, seeded with its frames unless frames is false.
    void AddScreenPhone(const QString& serial, int width, int height, bool frames = true) {
        AddPhone(serial);
        {
            vexa::sim::SimDb db;
            QString error;
            ASSERT_TRUE(db.Open(vexa::sim::PhoneFilePath(serial), &error) &&
                        db.SetMeta("screen_width", QString::number(width)) &&
                        db.SetMeta("screen_height", QString::number(height)));
        }
        Seed(serial, {.smallStores = false, .screenFrames = frames});
    }

    // The picture written at path: its format and size.
    static std::pair<QByteArray, QSize> Written(const QString& path) {
        QImageReader reader(path);
        return {reader.format(), reader.size()};
    }
};

// A grab writes a PNG of the phone's size; failed ones say why and leave the target alone.
TEST_F(CliScreenTest, GrabWritesAPngOfThePhonesSizeOrSaysWhyNot) {
    AddScreenPhone(QStringLiteral("vexa-scr"), 720, 1280);
    AddScreenPhone(QStringLiteral("vexa-blank"), 480, 854, false);
    const QString named = Path(QStringLiteral("shot.png"));
    ASSERT_EQ(Run({"--phone", "vexa-scr", "screen", "grab", named}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(m_out, Str(137) + u' ' + named + QStringLiteral(" 720x1280\n"));
    EXPECT_EQ(Written(named), std::make_pair(QByteArray("png"), QSize(720, 1280)));
    EXPECT_EQ(QDir(m_folders.Root()).entryList(QDir::Files), QStringList{QStringLiteral("shot.png")})
        << "no temporary file is left beside the screenshot";

    const QString existing = Write(QStringLiteral("old.png"), QByteArray("keep me"));
    EXPECT_EQ(Run({"--phone", "vexa-blank", "screen", "grab", existing}), kCliFailed);
    EXPECT_TRUE(m_err.startsWith(Str(136) + u' ' + Str(3287))) << m_err.toStdString();
    EXPECT_EQ(vexa::test::ReadFile(existing), QByteArray("keep me"));
    const QString nowhere = Path(QStringLiteral("missing/shot.png"));
    EXPECT_EQ(Run({"--phone", "vexa-scr", "screen", "grab", nowhere}), kCliFailed);
    EXPECT_TRUE(m_err.startsWith(Str(141))) << m_err.toStdString();
    EXPECT_FALSE(QDir(Path(QStringLiteral("missing"))).exists());

    for (const QStringList& wrong : {QStringList{"screen"}, QStringList{"screen", "grab"},
                                     QStringList{"screen", "shoot", "x.png"}, QStringList{"screen", "grab", "a", "b"}}) {
        EXPECT_EQ(Run(wrong), kCliUsage) << wrong.join(u' ').toStdString();
        EXPECT_TRUE(m_err.contains("screen grab FILE.png")) << m_err.toStdString();
    }
}

} // namespace
