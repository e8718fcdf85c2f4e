#include "libs/mms/MediaMsg.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>

using namespace mms;

namespace {

const QDateTime kNow = QDateTime::fromMSecsSinceEpoch(1'780'000'000'123LL, Qt::UTC);

// ---- reading damaged files --------------------------------------------------------------------

MediaMsg SmallMessage() {
    MediaMsg msg;
    msg.SetSubject(QStringLiteral("主题"));
    msg.SetRecipient({QStringLiteral("10086"), QStringLiteral("10010")});
    msg.SetDate(kNow);
    Slide s;
    s.text = QStringLiteral("正文");
    s.image = {QStringLiteral("p.gif"), QByteArray("GIF89a....")};
    msg.AddSlide(s);
    return msg;
}

// Every truncation and every damaged field is refused with a reason and leaves the target alone.
TEST(MmsFile, TruncatedFilesAndDamagedFieldsAreRefused) {
    const QByteArray whole = SmallMessage().Save();
    MediaMsg read;
    EXPECT_TRUE(ParseMediaMsg(whole, &read));
    EXPECT_TRUE(read == SmallMessage());
    // Offsets follow the layout documented in the header: magic 8, date 8, subject length 2.
    const qsizetype subjectLength = 16;
    const qsizetype subjectText = 18;
    const qsizetype subjectBytes = QStringLiteral("主题").toUtf8().size();
    const qsizetype firstSlide = subjectText + subjectBytes + 1 + (2 + 5) * 2 + 1;
    struct Damage {
        std::string what;
        std::function<void(QByteArray&)> apply;
    };
    std::vector<Damage> damages = {
        {"wrong magic", [](QByteArray& b) { b[0] = 'X'; }},
        {"subject length past the end",
         [&](QByteArray& b) { qToLittleEndian<quint16>(0xFFFF, b.data() + subjectLength); }},
        {"invalid UTF-8 in the subject", [&](QByteArray& b) { b[subjectText] = char(0xFF); }},
        {"text length of 4 GB",
         [&](QByteArray& b) { qToLittleEndian<quint32>(0xFFFFFFFFu, b.data() + firstSlide + 4); }},
        {"a slide time of days", [&](QByteArray& b) { qToLittleEndian<quint32>(0xFFFFFFF0u, b.data() + firstSlide); }},
        {"slide count over the read limit", [&](QByteArray& b) { b[firstSlide - 1] = char(200); }},
        {"bytes after the last slide", [](QByteArray& b) { b.append("junk"); }},
        {"oversized file", [](QByteArray& b) { b.append(QByteArray(kMaxReadBytes, '\0')); }},
    };
    for (qsizetype cut = 0; cut < whole.size(); ++cut) {
        damages.push_back({"cut at " + std::to_string(cut), [cut](QByteArray& b) { b.truncate(cut); }});
    }
    for (const Damage& d : damages) {
        QByteArray bytes = whole;
        d.apply(bytes);
        MediaMsg out;
        out.SetSubject(QStringLiteral("untouched"));
        const IoResult r = ParseMediaMsg(bytes, &out);
        EXPECT_FALSE(r) << d.what;
        EXPECT_FALSE(r.error.isEmpty()) << d.what;
        EXPECT_EQ(out.SlideCount(), 0) << d.what;
        EXPECT_EQ(out.Subject(), QStringLiteral("untouched")) << d.what;
    }
}

TEST(MmsFile, HostilePartNamesBecomePlainFileNamesAndAnOverlongSubjectIsCutBetweenCharacters) {
    const std::pair<const char*, const char*> names[] = {
        {"../../etc/passwd", "passwd"}, {"C:\\Windows\\evil.jpg", "evil.jpg"}, {"a:b\nc.gif", "abc.gif"},
        {"..", "part"},                 {"dir/", "part"},                      {"\x01\x02", "part"},
    };
    for (const auto& [hostile, safe] : names) {
        MediaMsg msg = SmallMessage();
        msg.GetSlide(0)->image.name = QString::fromUtf8(hostile);
        MediaMsg out;
        ASSERT_TRUE(ParseMediaMsg(msg.Save(), &out)) << hostile;
        EXPECT_EQ(out.GetSlide(0)->image.name, QString::fromUtf8(safe)) << hostile;
    }
    EXPECT_EQ(SafePartName(QString(300, u'a')).size(), 128);

    // A subject held at over 64 KiB is cut at its field's end in whole characters: the file stays readable.
    for (const QString& unit : {QStringLiteral("周"), QString::fromUtf8("\xf0\xa0\x80\x80"), QStringLiteral("a周")}) {
        MediaMsg msg = SmallMessage();
        msg.SetSubject(unit.repeated(0x10000 / unit.toUtf8().size() + 1));
        MediaMsg out;
        ASSERT_TRUE(ParseMediaMsg(msg.Save(), &out)) << unit.toStdString();
        EXPECT_GT(out.Subject().toUtf8().size(), 0xFFFF - 4);
        EXPECT_TRUE(msg.Subject().startsWith(out.Subject()));
    }
}

} // namespace
