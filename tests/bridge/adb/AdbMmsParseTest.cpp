#include "bridge/adb/AdbMmsStore.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace vexa;
using namespace vexa::adbphone;

namespace {

// The subject "旅行" as the provider keeps it: its UTF-8 bytes, each as one Latin-1 character.
QString StoredUtf8(const QString& text) {
    return QString::fromLatin1(text.toUtf8());
}

TEST(AdbMmsParse, MessageRowsWithTheirBoxesSubjectsAndCards) {
    const std::string output = "Row: 0 _id=12, msg_box=1, date=1700000000, read=0, sub_id=2, sub_cs=106, sub=" +
                               StoredUtf8(QStringLiteral("旅行, 照片=好")).toLatin1().toStdString() +
                               "\r\nRow: 1 _id=3, msg_box=9, date=1600000000, read=1, sub_id=-1, sub_cs=NULL, sub=NULL\n"
                               "Row: 2 _id=x, msg_box=2, date=1, read=1, sub_id=1, sub_cs=106, sub=no id\n"
                               "Row: 3 _id=7, msg_box=3, date=1650000000, read=1, sub_id=1, sub_cs=106, sub=\xff\xfe";
    const std::vector<MmsRow> rows = MmsFromContentRows(output);
    ASSERT_EQ(rows.size(), 3u) << "the row without a numeric id is left out";
    EXPECT_EQ(rows[0].id, 3) << "in the order the phone added them";
    EXPECT_EQ(rows[0].box, BOX_INBOX) << "an unknown box reads as the inbox";
    EXPECT_TRUE(rows[0].subject.isNull());
    EXPECT_EQ(rows[1].id, 7);
    EXPECT_EQ(rows[1].box, BOX_DRAFT);
    EXPECT_EQ(rows[2].id, 12);
    EXPECT_EQ(rows[2].subject, QStringLiteral("旅行, 照片=好")) << "a subject with ', x=' stays whole";
    EXPECT_FALSE(rows[2].read);
    EXPECT_EQ(rows[2].sim, 2);
    EXPECT_EQ(rows[2].dateSeconds, 1700000000);
}

TEST(AdbMmsParse, SubjectsInTheirCharacterSets) {
    const struct {
        QString stored;
        int charset;
        QString shown;
    } cases[] = {
        {StoredUtf8(QStringLiteral("生日快乐")), 106, QStringLiteral("生日快乐")},
        {QStringLiteral("生日快乐"), 106, QStringLiteral("生日快乐")}, // decoded already
        {QString::fromLatin1("caf\xe9"), 106, QString::fromLatin1("caf\xe9")}, // not UTF-8 after all: kept
        {QString::fromLatin1("caf\xe9"), 4, QString::fromLatin1("caf\xe9")},
        {QString(), 106, QString()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeMmsText(c.stored, c.charset), c.shown) << c.stored.toStdString();
    }
}

TEST(AdbMmsParse, NumbersFromTheAddressRowsOfManyQueries) {
    // Two queries' output one after the other, as a joined shell line prints it, with noise between.
    const std::string output =
        "Row: 0 msg_id=5, type=137, address=+8613800138000\n"
        "Row: 1 msg_id=5, type=151, address=insert-address-token\n"
        "No result found.\n"
        "Row: 0 msg_id=6, type=137, address=insert-address-token\r\n"
        "Row: 1 msg_id=6, type=151, address= 10086 \r\n"
        "Row: 2 msg_id=6, type=151, address=10010\r\n"
        "Row: 0 msg_id=, type=151, address=lost\n"
        "garbage line\n";
    const std::vector<MmsAddress> addresses = MmsAddressesFromContentRows(output);
    EXPECT_EQ(addresses.size(), 5u);
    EXPECT_EQ(MmsNumberFor(BOX_INBOX, 5, addresses), QStringLiteral("+8613800138000"));
    EXPECT_EQ(MmsNumberFor(BOX_SENT, 5, addresses), QString()) << "the placeholder is never a number";
    EXPECT_EQ(MmsNumberFor(BOX_SENT, 6, addresses), QStringLiteral("10086"));
    EXPECT_EQ(MmsNumberFor(BOX_INBOX, 6, addresses), QString());
    EXPECT_EQ(MmsNumberFor(BOX_INBOX, 99, addresses), QString());
}

TEST(AdbMmsParse, SmilSlidesAndTheirTimes) {
    const QString smil = QStringLiteral(
        "<smil><head><layout><region id=\"Image\"/></layout></head><body>"
        "<par dur=\"5000ms\"><img src=\"image000.jpg\" region=\"Image\"/><text src=\"text_0.txt\"/></par>"
        "<par dur=\"3s\"><audio src=\"cid:tone\"/><text src=\"text_1.txt\"/></par>"
        "<PAR dur=\"7\"><text src=\"text_2.txt\"/></PAR>"
        "<par dur=\"soon\"></par>"
        "<par dur=\"99999999999ms\"></par>"
        "</body></smil>");
    const std::vector<SmilSlide> slides = ParseSmil(smil);
    ASSERT_EQ(slides.size(), 5u);
    EXPECT_EQ(slides[0].durationMs, 5000);
    EXPECT_EQ(slides[0].image, QStringLiteral("image000.jpg"));
    EXPECT_EQ(slides[0].text, QStringLiteral("text_0.txt"));
    EXPECT_EQ(slides[1].durationMs, 3000);
    EXPECT_EQ(slides[1].audio, QStringLiteral("cid:tone"));
    EXPECT_EQ(slides[2].durationMs, 7000);
    EXPECT_EQ(slides[3].durationMs, 0) << "a time that does not read is none";
    EXPECT_EQ(slides[4].durationMs, 0) << "more digits than a time holds is none";
}

TEST(AdbMmsParse, DamagedOrHugeSmilIsReadOnlyAsFarAsItGoes) {
    EXPECT_TRUE(ParseSmil(QString()).empty());
    EXPECT_TRUE(ParseSmil(QStringLiteral("not xml at all")).empty());
    EXPECT_EQ(ParseSmil(QStringLiteral("<smil><body><par dur=\"1s\"><text src=\"a\"/></par><par dur=")).size(), 1u);
    QString many = QStringLiteral("<smil><body>");
    for (int i = 0; i < 5000; ++i) {
        many += QStringLiteral("<par dur=\"1s\"/>");
    }
    EXPECT_EQ(static_cast<int>(ParseSmil(many).size()), mms::kMaxReadSlides);
}

const std::string kParts =
    "Row: 0 _id=40, mid=5, seq=-1, ct=application/smil, name=smil.xml, cl=smil.xml, cid=<smil>, text="
    "<smil><body><par dur=\"4000ms\"><img src=\"image000.jpg\"/><text src=\"text_0.txt\"/></par>"
    "<par dur=\"2000ms\"><audio src=\"cid:tone\"/><text src=\"text_1.txt\"/></par></body></smil>\n"
    "Row: 1 _id=41, mid=5, seq=0, ct=image/jpeg, name=../../image000.jpg, cl=image000.jpg, cid=<img0>, text=NULL\n"
    "Row: 2 _id=42, mid=5, seq=0, ct=text/plain, name=NULL, cl=text_0.txt, cid=<t0>, text=第一页, 你好=朋友\n"
    "Row: 3 _id=43, mid=5, seq=0, ct=AUDIO/MID, name=NULL, cl=tone.mid, cid=<tone>, text=NULL\n"
    "Row: 4 _id=44, mid=5, seq=0, ct=text/plain, name=NULL, cl=text_1.txt, cid=<t1>, text=second\n";

TEST(AdbMmsParse, PartsPutBackIntoTheSlidesOfTheirSmil) {
    const std::vector<MmsPartRow> parts = MmsPartsFromContentRows(kParts);
    ASSERT_EQ(parts.size(), 5u);
    EXPECT_EQ(parts[0].type, QStringLiteral("application/smil"));
    EXPECT_EQ(parts[3].type, QStringLiteral("audio/mid")) << "content types compare in lower case";
    EXPECT_EQ(parts[3].contentId, QStringLiteral("tone"));
    const MmsRow row{
        .id = 5, .dateSeconds = 1700000000, .subject = QStringLiteral("旅行"), .number = QStringLiteral("10086")};
    std::map<std::int64_t, QByteArray> data{{41, QByteArray("\xff\xd8jpeg")}, {43, QByteArray("MThd")}};
    const mms::MediaMsg msg =
        BuildMediaMsg(row, parts, [&](const MmsPartRow& p) { return data.count(p.id) ? data[p.id] : QByteArray(); });
    ASSERT_EQ(msg.SlideCount(), 2);
    EXPECT_EQ(msg.Subject(), QStringLiteral("旅行"));
    EXPECT_EQ(msg.Recipients(), QStringList{QStringLiteral("10086")});
    EXPECT_EQ(msg.Date().toSecsSinceEpoch(), 1700000000);
    const mms::Slide& first = *msg.GetSlide(0);
    EXPECT_EQ(first.durationMs, 4000);
    EXPECT_EQ(first.text, QStringLiteral("第一页, 你好=朋友"));
    EXPECT_EQ(first.image.name, QStringLiteral("image000.jpg")) << "a part name never carries a path";
    EXPECT_EQ(first.image.data, QByteArray("\xff\xd8jpeg"));
    const mms::Slide& second = *msg.GetSlide(1);
    EXPECT_EQ(second.sound.data, QByteArray("MThd"));
    EXPECT_EQ(second.text, QStringLiteral("second"));
    mms::MediaMsg back;
    ASSERT_TRUE(mms::ParseMediaMsg(msg.Save(), &back)) << "handed over as the message file";
    EXPECT_TRUE(back == msg);
}

TEST(AdbMmsParse, WithoutSmilOrWithUnreadablePartsNothingIsMadeUp) {
    std::vector<MmsPartRow> parts = MmsPartsFromContentRows(kParts);
    parts.erase(parts.begin()); // no presentation
    MmsRow row;
    row.id = 5;
    // The picture cannot be read from this phone; the sound can.
    const mms::MediaMsg msg = BuildMediaMsg(row, parts, [](const MmsPartRow& p) {
        return p.id == 43 ? QByteArray("MThd") : QByteArray();
    });
    // Parts in order: image (left out), text, sound, text -> a new slide at the second text.
    ASSERT_EQ(msg.SlideCount(), 2);
    EXPECT_EQ(mms::MMS_GetSlideFlags(*msg.GetSlide(0)), mms::SLIDE_TEXT | mms::SLIDE_SOUND);
    EXPECT_EQ(mms::MMS_GetSlideFlags(*msg.GetSlide(1)), mms::SLIDE_TEXT);
    EXPECT_EQ(msg.GetSlide(0)->durationMs, mms::kNewSlideMs);
    EXPECT_TRUE(msg.Recipients().isEmpty());
    EXPECT_FALSE(msg.Date().isValid());

    const mms::MediaMsg none = BuildMediaMsg(row, {}, [](const MmsPartRow&) { return QByteArray(); });
    EXPECT_EQ(none.SlideCount(), 0);
}

TEST(AdbMmsParse, BrokenPartRowsAreLeftOut) {
    const std::string output = "Row: 0 _id=1, mid=NULL, seq=0, ct=text/plain, name=a, cl=a, cid=NULL, text=x\n"
                               "Row: 1 _id=, mid=2, seq=0, ct=text/plain, name=a, cl=a, cid=NULL, text=x\n"
                               "Row: 2 _id=3, mid=2, seq=zz, ct=NULL, name=NULL, cl=NULL, cid=<, text=NULL\n"
                               "Row: 3 _id=4";
    const std::vector<MmsPartRow> parts = MmsPartsFromContentRows(output);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].id, 3);
    EXPECT_EQ(parts[0].seq, 0);
    EXPECT_TRUE(parts[0].type.isEmpty());
    EXPECT_EQ(parts[0].contentId, QStringLiteral("<")) << "a lone bracket is not a bracketed id";
    EXPECT_TRUE(MmsPartsFromContentRows("").empty());
    EXPECT_TRUE(MmsFromContentRows("No result found.\n").empty());
}

TEST(AdbMmsParse, RefusalsWhereAPartsBytesWouldBe) {
    const std::pair<std::string, std::string> refused[] = {
        {"", "nothing printed"},
        {"Error while accessing provider:content://mms/part/7\njava.lang.SecurityException: Permission Denial: x\n",
         "java.lang.SecurityException: Permission Denial: x"},
        {"usage: adb shell content [subcommand] [options]\n...\n[ERROR] Unsupported operation: read\n",
         "[ERROR] Unsupported operation: read"},
        {"Unknown command: read\n", "Unknown command: read"},
        {"java.io.FileNotFoundException: No entry for content://mms/part/9\r\n",
         "java.io.FileNotFoundException: No entry for content://mms/part/9"},
    };
    for (const auto& [output, reason] : refused) {
        EXPECT_EQ(PartReadRefusal(output), reason) << output;
    }
    // Part bytes are never taken for a refusal, even when text like one appears past their start.
    std::string jpeg("\xff\xd8\xff\xe0\0\x10JFIF", 10);
    jpeg.append(300, '\x7f').append("Exception: in the picture");
    const std::vector<std::string> parts = {jpeg, std::string("MThd\0\0\0\x06", 8), "plain text part"};
    for (const std::string& bytes : parts) {
        EXPECT_EQ(PartReadRefusal(bytes), std::string()) << bytes.size();
    }
}

} // namespace
