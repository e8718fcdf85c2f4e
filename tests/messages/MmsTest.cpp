#include "../pictures/PictureTestImages.h"
#include "TestFiles.h"
#include "libs/mms/MediaMsg.h"
#include "messages/MmsRules.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace mms;
using vexa::test::ReadFile;
using vexa::test::WriteFile;

namespace {

const QDateTime kNow = QDateTime::fromMSecsSinceEpoch(1'780'000'000'123LL, Qt::UTC);

// Qt reads GIF but cannot write it: the GIF is made by hand.
QByteArray Picture(int w, int h, const char* format) {
    const QColor colour(31, 122, 224);
    return qstrcmp(format, "GIF") == 0 ? pictures::test::MakeGif(w, h, colour)
                                       : pictures::test::MakeImageFile(format, w, h, colour);
}

Slide TextSlide(const QString& text) {
    Slide s;
    s.text = text;
    return s;
}

// Pads the sound of the first slide until the saved message is exactly `bytes` long.
void PadTo(MediaMsg* msg, qint64 bytes) {
    Slide* first = msg->GetSlide(0);
    first->sound = {QStringLiteral("pad.mid"), QByteArray()};
    const qint64 base = msg->Save().size();
    ASSERT_GE(bytes, base);
    first->sound.data = QByteArray(bytes - base, 'm');
    ASSERT_EQ(msg->Save().size(), bytes);
}

// A message at every composing limit, exactly 307,200 bytes.
MediaMsg MessageAtTheLimits() {
    MediaMsg msg;
    msg.SetSubject(QString(39, u'彩') + QString::fromUcs4(U"\U0001F600"));
    msg.SetRecipient({QStringLiteral("13800138000")});
    const QByteArray png = Picture(64, 48, "PNG");
    for (int i = 0; i < kMaxSlides; ++i) {
        Slide s = TextSlide(QStringLiteral("第%1页 page").arg(i + 1));
        s.durationMs = kMinSlideMs + i * 500;
        s.image = {QStringLiteral("stretch_%1.jpg").arg(i), png};
        EXPECT_EQ(msg.AddSlide(s), i);
    }
    PadTo(&msg, kMaxMessageBytes);
    return msg;
}

struct LimitCase {
    const char* name;
    std::function<void(MediaMsg*)> atLimit;
    std::function<void(MediaMsg*)> overLimit;
    const char* refusal;
    const char* caption;
};

class MmsLimits : public testing::TestWithParam<LimitCase> {};

TEST_P(MmsLimits, AtTheLimitSavesAndOneOverIsRefusedWithItsText) {
    const LimitCase& c = GetParam();
    MediaMsg at;
    at.AddSlide(TextSlide(QStringLiteral("hello")));
    c.atLimit(&at);
    EXPECT_FALSE(CheckBeforeSave(&at, kNow)) << RefusalText(CheckBeforeSave(&at, kNow)).toStdString();

    MediaMsg over;
    over.AddSlide(TextSlide(QStringLiteral("hello")));
    c.overLimit(&over);
    const Refusal refusal = CheckBeforeSave(&over, kNow);
    EXPECT_EQ(RefusalText(refusal), QString::fromUtf8(c.refusal));
    EXPECT_EQ(Str(refusal.captionId), QString::fromUtf8(c.caption));
}

INSTANTIATE_TEST_SUITE_P(
    EachLimit, MmsLimits,
    testing::Values(
        LimitCase{"subject_chars", [](MediaMsg* m) { m->SetSubject(QString(40, u'题')); },
                  [](MediaMsg* m) { m->SetSubject(QString(41, u'题')); }, "主题过长，请不要超过40个字", "保存失败！"},
        LimitCase{"subject_outside_bmp", [](MediaMsg* m) { m->SetSubject(QString::fromUcs4(U"\U0001F600").repeated(40)); },
                  [](MediaMsg* m) { m->SetSubject(QString::fromUcs4(U"\U0001F600").repeated(41)); },
                  "主题过长，请不要超过40个字", "保存失败！"},
        LimitCase{"message_bytes", [](MediaMsg* m) { PadTo(m, kMaxMessageBytes); },
                  [](MediaMsg* m) { PadTo(m, kMaxMessageBytes + 1); }, "彩信大小已超过上限 300k", "提示"},
        LimitCase{"empty_slides_only", [](MediaMsg*) {},
                  [](MediaMsg* m) {
                      m->GetSlide(0)->text.clear();
                      m->AddSlide(Slide{});
                  },
                  "页面为空", "提示"},
        // A slide lasts a second at least, as the page rule says, however the message was made.
        LimitCase{"slide_time", [](MediaMsg* m) { m->GetSlide(0)->durationMs = kMinSlideMs; },
                  [](MediaMsg* m) { m->GetSlide(0)->durationMs = 0; }, "最小页面时间为1s!", "提示"},
        LimitCase{"slide_time_any_slide", [](MediaMsg* m) { m->AddSlide(TextSlide(QStringLiteral("2"))); },
                  [](MediaMsg* m) {
                      Slide s = TextSlide(QStringLiteral("2"));
                      s.durationMs = kMinSlideMs - 1;
                      m->AddSlide(s);
                  },
                  "最小页面时间为1s!", "提示"}),
    [](const testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

// Digits, one leading "+", blanks and '-'; anything else is refused by name; a send needs one.
TEST(MmsLimits, RecipientsArePhoneNumbers) {
    const struct {
        QStringList recipients;
        bool ok;
        const char* named; // the refusal's list of recipients
    } cases[] = {
        {{QStringLiteral("10086")}, true, ""},
        {{QStringLiteral("+86 138-0013-8000")}, true, ""},
        {{QString()}, false, ""},
        {{QStringLiteral("$(reboot)")}, false, "$(reboot)"},
        {{QStringLiteral("10086\n10010")}, false, "10086 10010"},
        {{QStringLiteral("10086"), QStringLiteral("abc")}, false, "abc"},
        {{QStringLiteral("138+0013")}, false, "138+0013"},
        {{QStringLiteral("１２３")}, false, "１２３"}, // full-width digits are no number to the phone
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.recipients.join(u'|').toStdString());
        MediaMsg msg;
        msg.SetRecipient(c.recipients);
        for (bool send : {false, true}) {
            const Refusal refusal = CheckRecipients(msg, send);
            EXPECT_EQ(!refusal, c.ok) << send;
            if (!c.ok) {
                const QString text = QString::fromUtf8(send ? "以下收件人不是有效的电话号码，彩信没有发送：\n"
                                                            : "以下收件人不是有效的电话号码，彩信没有保存：\n") +
                                     QString::fromUtf8(c.named);
                EXPECT_EQ(RefusalText(refusal), text) << send;
            }
        }
    }
    MediaMsg none;
    EXPECT_FALSE(CheckRecipients(none, false)) << "a draft may wait for its recipient";
    EXPECT_EQ(RefusalText(CheckRecipients(none, true)), QStringLiteral("请输入收件人。"));
}

TEST(MmsLimits, TheEleventhSlideIsRefused) {
    MediaMsg msg;
    for (int i = 0; i < kMaxSlides; ++i) {
        EXPECT_FALSE(CheckAddSlide(msg)) << i;
        EXPECT_EQ(msg.AddSlide(TextSlide(QString::number(i))), i);
    }
    EXPECT_EQ(RefusalText(CheckAddSlide(msg)), QStringLiteral("已达到最大页数"));
    EXPECT_EQ(msg.AddSlide(TextSlide(QStringLiteral("11"))), -1);
    EXPECT_EQ(msg.InsertSlide(0, TextSlide(QStringLiteral("11"))), -1);
    EXPECT_EQ(msg.SlideCount(), kMaxSlides);
}

TEST(MmsCompose, EmptySlidesArePrunedInsertedOnesFollowTheCurrent) {
    MediaMsg msg;
    msg.AddSlide(TextSlide(QStringLiteral("one")));
    msg.AddSlide(Slide{});
    Slide sound;
    sound.sound = {QStringLiteral("a.mid"), QByteArray("MThd")};
    msg.AddSlide(sound);
    msg.AddSlide(Slide{});
    msg.AddSlide(Slide{});
    EXPECT_FALSE(CheckBeforeSave(&msg, kNow));
    ASSERT_EQ(msg.SlideCount(), 2);
    EXPECT_EQ(msg.GetSlide(0)->text, QStringLiteral("one"));
    EXPECT_EQ(MMS_GetSlideFlags(*msg.GetSlide(1)), SLIDE_SOUND);
    EXPECT_EQ(msg.Date(), kNow);
    // A slide is inserted after the current one and removed by its index.
    MediaMsg abc;
    abc.AddSlide(TextSlide(QStringLiteral("a")));
    abc.AddSlide(TextSlide(QStringLiteral("c")));
    EXPECT_EQ(abc.InsertSlide(0, TextSlide(QStringLiteral("b"))), 1);
    EXPECT_EQ(abc.GetSlide(1)->text, QStringLiteral("b"));
    EXPECT_FALSE(abc.RemoveSlide(3));
    EXPECT_FALSE(abc.RemoveSlide(-1));
    EXPECT_TRUE(abc.RemoveSlide(0));
    EXPECT_EQ(abc.GetSlide(0)->text, QStringLiteral("b"));
    EXPECT_EQ(abc.GetSlide(2), nullptr);
}

TEST(MmsCompose, MessageAtTheLimitsSavesAndReloadsIdentical) {
    MediaMsg msg = MessageAtTheLimits();
    ASSERT_FALSE(CheckBeforeSave(&msg, kNow));
    ASSERT_EQ(msg.SlideCount(), kMaxSlides);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mms.omms"));
    ASSERT_TRUE(msg.SaveToFile(path));
    EXPECT_EQ(QFileInfo(path).size(), kMaxMessageBytes);
    MediaMsg back;
    const IoResult loaded = LoadMediaMsg(path, &back);
    ASSERT_TRUE(loaded) << loaded.error.toStdString();
    EXPECT_TRUE(back == msg) << "subject, recipients, date and slides";
    EXPECT_EQ(MMS_GetSlideFlags(*back.GetSlide(0)), SLIDE_TEXT | SLIDE_IMAGE | SLIDE_SOUND);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("mms.omms")})
        << "no temporary file is left beside the message";
}

TEST(MmsFile, AFifoIsNotWaitedOn) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.omms"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    MediaMsg out;
    EXPECT_FALSE(LoadMediaMsg(fifo, &out));
    EXPECT_FALSE(PreparePicture(fifo, dir.path()).io);
    EXPECT_FALSE(ReadSound(fifo).io);
}

TEST(MmsPicture, FittedIntoSixFortyByFourEighty) {
    const std::pair<QSize, QSize> cases[] = {
        {{640, 480}, {640, 480}}, {{641, 480}, {640, 479}}, {{640, 481}, {638, 480}},
        {{1280, 960}, {640, 480}}, {{4000, 100}, {640, 16}}, {{100, 4800}, {10, 480}},
        {{20000, 1}, {640, 1}},   {{1, 1}, {1, 1}},
    };
    for (const auto& [in, fitted] : cases) {
        EXPECT_EQ(FittedPictureSize(in), fitted) << in.width() << "x" << in.height();
    }
}

TEST(MmsPicture, AtTheLimitCopiedUnchangedOverItScaledIntoANumberedCopy) {
    QTemporaryDir source, temp;
    struct Case {
        int w, h;
        const char* format;
        bool scaled;
        const char* copyName;
    };
    // stretch_0001.jpg exists already (another run's copy) and must stay as it was.
    ASSERT_TRUE(WriteFile(temp.filePath(QStringLiteral("stretch_0001.jpg")), "not ours to change"));
    const Case cases[] = {
        {640, 480, "PNG", false, "stretch_0002.jpg"},
        {641, 480, "PNG", true, "stretch_0003.jpg"},
        {640, 481, "JPEG", true, "stretch_0004.jpg"},
        {1, 1, "GIF", false, "stretch_0001.gif"},
    };
    for (const Case& c : cases) {
        const QString path = source.filePath(QStringLiteral("in.%1").arg(QString::fromLatin1(c.format).toLower()));
        const QByteArray bytes = Picture(c.w, c.h, c.format);
        ASSERT_TRUE(WriteFile(path, bytes));
        const PictureResult r = PreparePicture(path, temp.path());
        ASSERT_TRUE(r.io) << r.io.error.toStdString();
        EXPECT_EQ(r.scaled, c.scaled) << c.w << "x" << c.h;
        EXPECT_EQ(r.part.name, QString::fromLatin1(c.copyName));
        EXPECT_EQ(QFileInfo(r.copyPath).fileName(), QString::fromLatin1(c.copyName));
        EXPECT_EQ(ReadFile(r.copyPath), r.part.data);
        const QImage decoded = QImage::fromData(r.part.data);
        if (c.scaled) {
            EXPECT_LE(decoded.width(), kMaxPictureWidth);
            EXPECT_LE(decoded.height(), kMaxPictureHeight);
        } else {
            EXPECT_EQ(r.part.data, bytes) << "a picture within the limit is copied byte for byte";
        }
    }
    EXPECT_EQ(ReadFile(temp.filePath(QStringLiteral("stretch_0001.jpg"))), QByteArray("not ours to change"));
}

TEST(MmsPicture, UnreadablePicturesAreRefused) {
    QTemporaryDir dir;
    const QByteArray jpeg = Picture(200, 100, "JPEG");
    const std::pair<const char*, QByteArray> bad[] = {
        {"text.jpg", QByteArray("just some text, not a picture")},
        {"empty.png", QByteArray()},
        {"cut.jpg", jpeg.left(jpeg.size() / 3)},
        {"header_only.png", Picture(10, 10, "PNG").left(24)},
    };
    for (const auto& [name, bytes] : bad) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(WriteFile(path, bytes));
        const PictureResult r = PreparePicture(path, dir.path());
        EXPECT_FALSE(r.io) << name;
        EXPECT_EQ(RefusalText(r.refusal), QStringLiteral("无效的图片文件！")) << name;
        EXPECT_TRUE(r.part.IsEmpty()) << name;
    }
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("stretch_*")}, QDir::Files).size(), 0);
    EXPECT_FALSE(PreparePicture(dir.filePath(QStringLiteral("missing.jpg")), dir.path()).io);
}

TEST(MmsSound, ReadWithinTheMessageLimitOnly) {
    QTemporaryDir dir;
    const std::tuple<const char*, qint64, bool> cases[] = {
        {"fits.mid", kMaxMessageBytes, true},
        {"over.mid", kMaxMessageBytes + 1, false},
        {"empty.mid", 0, false},
    };
    for (const auto& [name, size, ok] : cases) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(WriteFile(path, QByteArray(size, 'M')));
        const SoundResult r = ReadSound(path);
        EXPECT_EQ(static_cast<bool>(r.io), ok) << name;
        EXPECT_EQ(r.part.data.size(), ok ? size : 0) << name;
        EXPECT_EQ(r.part.name, ok ? QString::fromLatin1(name) : QString()) << name;
    }
    EXPECT_EQ(RefusalText(ReadSound(dir.filePath(QStringLiteral("over.mid"))).refusal), QStringLiteral("声音文件过大"));
}

TEST(MmsPlayClock, SlidesInTurnAndWrapToTheFirst) {
    MediaMsg msg;
    for (int ms : {2000, 5000, 0}) {
        Slide s = TextSlide(QStringLiteral("x"));
        s.durationMs = ms;
        msg.AddSlide(s);
    }
    const PlayClock clock(msg);
    EXPECT_EQ(clock.TotalMs(), 8000) << "a slide of no time still shows one second";
    EXPECT_EQ(clock.Starts(), (std::vector<qint64>{0, 2000, 7000}));
    const std::pair<qint64, int> at[] = {{0, 0},    {1999, 0}, {2000, 1}, {6999, 1}, {7000, 2},
                                         {7999, 2}, {8000, 0}, {10500, 1}, {-5, 0}};
    for (const auto& [elapsed, slide] : at) {
        EXPECT_EQ(clock.SlideAt(elapsed), slide) << elapsed;
    }
    EXPECT_EQ(PlayClock(MediaMsg{}).SlideAt(100), -1);
    EXPECT_EQ(PlayTimeText(0), QStringLiteral("00:00"));
    EXPECT_EQ(PlayTimeText(59999), QStringLiteral("00:59"));
    EXPECT_EQ(PlayTimeText(61000), QStringLiteral("01:01"));
    EXPECT_EQ(PlayTimeText(50 * 60 * 1000), QStringLiteral("50:00"));
    EXPECT_EQ(SizeCounterText(307200), QStringLiteral("大小：300.0 KB / 300 KB"));
}

} // namespace
