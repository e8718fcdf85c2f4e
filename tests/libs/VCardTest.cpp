#include "libs/vcard/VCard.h"

#include "platform/CodePage.h"

#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

CMultiContactVcard Parsed(const QByteArray& data) {
    CMultiContactVcard v;
    v.Parse(data);
    return v;
}

// What we write reads back as it was, by us and by another implementation (Python's vobject parser).
TEST(VCardWrite, RoundTripsTextTypesAndLongLinesAlsoThroughVobject) {
    // Debian's interpreter, where scripts/bootstrap installs python3-vobject (not a user's own python3).
    const QString python = QStringLiteral("/usr/bin/python3");
    ASSERT_EQ(QProcess::execute(python, {QStringLiteral("-c"), QStringLiteral("import vobject")}), 0)
        << "python3-vobject is missing: run scripts/bootstrap";
    CMultiContactVcard out;
    CVCard* card = out.NewContact();
    card->AddStructured(QStringLiteral("N"),
                        {QStringLiteral("欧阳"), QStringLiteral("娜娜"), QString(), QString(), QString()});
    const QString name = QStringLiteral("欧阳娜娜, \"娜姐\"");
    card->AddProperty(QStringLiteral("FN"), name);
    card->AddProperty(QStringLiteral("TEL"), QStringLiteral("+86 138-0013-8000"),
                      {QStringLiteral("WORK"), QStringLiteral("FAX")});
    const QString note = QString(40, u'长') + QStringLiteral("; semi, comma \\ back\r\nnext");
    const QString noteRead = QString(note).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    card->AddProperty(QStringLiteral("NOTE"), note);
    out.NewContact(); // an unnamed contact still makes a valid card
    const QByteArray bytes = out.Serialise();
    for (const QByteArray& line : bytes.split('\n')) {
        EXPECT_LE(line.size(), 76) << "75 bytes plus the CR";
    }

    const CMultiContactVcard back = Parsed(bytes);
    ASSERT_EQ(back.Count(), 2);
    // The name, number and note are read back by the other implementation below.
    const CVCard* first = back.At(0);
    EXPECT_EQ(first->Find(QStringLiteral("N"))->Components().first(), QStringLiteral("欧阳"));
    EXPECT_EQ(first->Find(QStringLiteral("TEL"))->Types(),
              (QStringList{QStringLiteral("WORK"), QStringLiteral("FAX")}));
    EXPECT_NE(back.At(1)->Find(QStringLiteral("FN")), nullptr);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.vcf"));
    ASSERT_TRUE(out.Save(path));
    QProcess py;
    py.start(python,
             {QStringLiteral("-c"),
              QStringLiteral("import sys, vobject\n"
                             "cards = list(vobject.readComponents(open(sys.argv[1], encoding='utf-8').read()))\n"
                             "print(len(cards)); print(cards[0].fn.value); print(cards[0].tel.value)\n"
                             "print(cards[0].note.value == sys.argv[2])"),
              path, noteRead});
    ASSERT_TRUE(py.waitForFinished(30000));
    ASSERT_EQ(py.exitCode(), 0) << py.readAllStandardError().constData();
    EXPECT_EQ(QString::fromUtf8(py.readAllStandardOutput()),
              QStringLiteral("2\n") + name + QStringLiteral("\n+86 138-0013-8000\nTrue\n"));
}

QByteArray Utf16(const QString& text, bool bigEndian) {
    return QStringEncoder(bigEndian ? QStringEncoder::Utf16BE : QStringEncoder::Utf16LE).encode(text);
}

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

// Files as other phones and programs leave them.
struct RealWorldFile {
    const char* name;
    QByteArray bytes;
    QStringList names;
    bool truncated;
};

TEST(VCardRead, RealWorldFilesAndAppleStyle30WithGroupsLabelsFoldsAndEscapes) {
    const QByteArray two = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:张伟\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\n";
    const QString twoText = QString::fromUtf8(two);
    const QStringList both{QStringLiteral("张伟"), QStringLiteral("B")};
    QByteArray junk;
    for (int i = 0; i < 200000; ++i) {
        junk.append(static_cast<char>((i * 2654435761u) >> 24));
    }
    // A nested card (an old AGENT property) is skipped; the outer card keeps its own properties.
    const QByteArray agent =
        "BEGIN:VCARD\r\nFN:outer\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:inner\r\nEND:VCARD\r\nTEL:1\r\nEND:VCARD\r\n";
    const RealWorldFile files[] = {
        {"Empty", {}, {}, false},
        {"MixedLineEnds", "BEGIN:VCARD\nFN:a\r\n b\rEND:VCARD\r\n", {QStringLiteral("ab")}, false},
        {"Utf16LeWithoutMark", Utf16(twoText, false), both, false},
        {"Utf16BeWithoutMark", Utf16(twoText.toLower(), true), {QStringLiteral("张伟"), QStringLiteral("b")}, false},
        {"Utf16LeCutInACharacter", Utf16(twoText, false).chopped(1), both, true},
        {"Utf16WithMark", "\xFF\xFE" + Utf16(twoText, false), both, false},
        {"LastCardWithoutEnd", two + "BEGIN:VCARD\r\nFN:C\r\nTEL:1\r\n", both, true},
        {"CutInsideTheEndLine", two + "BEGIN:VCARD\r\nFN:C\r\nEND:VC", both, true},
        {"StrayLines",
         "END:VCARD\r\nno colon here\r\n:novalue\r\nBEGIN:VCARD\r\nFN:x\r\nEND:VCARD\r\n",
         {QStringLiteral("x")},
         false},
        {"Big5QuotedPrintable",
         "BEGIN:VCARD\r\nFN;CHARSET=Big5;ENCODING=QUOTED-PRINTABLE:=B3=AF=A4=6A=\r\n=A4=E5\r\nEND:VCARD\r\n",
         {QStringLiteral("陳大文")},
         false},
        // Beside a UTF-8 card: the Big5 bytes do not turn the whole file into the ANSI code page.
        {"ShiftJisBesideUtf8",
         "BEGIN:VCARD\r\nFN;CHARSET=SHIFT_JIS:" + Hex("8E52936391BE9859") + Hex("8740") + "\r\nEND:VCARD\r\n" + two,
         {QStringLiteral("山田太郎①"), QStringLiteral("张伟"), QStringLiteral("B")},
         false},
        {"ShiftJisHalfWidthQuotedPrintable",
         "BEGIN:VCARD\r\nFN;CHARSET=SJIS;QUOTED-PRINTABLE:=D4=CF=C0=DE\r\nEND:VCARD\r\n",
         {QStringLiteral("ﾔﾏﾀﾞ")},
         false},
        // Bad input on these paths: bytes the charset does not hold, a charset nobody knows.
        {"Big5BrokenBytes",
         "BEGIN:VCARD\r\nFN;CHARSET=BIG5:A" + Hex("FF") + "B" + Hex("B3") + "\r\nEND:VCARD\r\n",
         {QStringLiteral("A\uFFFDB\uFFFD")},
         false},
        {"UnknownCharset", "BEGIN:VCARD\r\nFN;CHARSET=X-NOTHING:Ann\r\nEND:VCARD\r\n", {QStringLiteral("Ann")}, false},
        {"AnsiFile",
         UnicodeToAnsi(QStringLiteral("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:王小明\r\nEND:VCARD\r\n")),
         {QStringLiteral("王小明")},
         false},
        {"NestedTenThousandDeep", QByteArray("BEGIN:VCARD\r\n").repeated(10000) + "FN:deep\r\n", {}, true},
        {"Agent", agent, {QStringLiteral("outer")}, false},
        {"RandomBytes", junk, {}, false},
    };
    for (const RealWorldFile& file : files) {
        SCOPED_TRACE(file.name);
        const CMultiContactVcard v = Parsed(file.bytes);
        QStringList names;
        for (int i = 0; i < v.Count(); ++i) {
            const VCardProperty* fn = v.At(i)->Find(QStringLiteral("FN"));
            names << (fn != nullptr ? fn->Text() : QStringLiteral("(none)"));
        }
        EXPECT_EQ(names, file.names);
        EXPECT_EQ(v.Truncated(), file.truncated);
    }
    EXPECT_NE(Parsed(agent).At(0)->Find(QStringLiteral("TEL")), nullptr);
    EXPECT_EQ(Parsed("BEGIN:VCARD\r\nN;ENCODING=QUOTED-PRINTABLE:=ZZ=4\r\nEND:VCARD\r\n")
                  .At(0)
                  ->Find(QStringLiteral("N"))
                  ->Text(),
              QStringLiteral("=ZZ=4"))
        << "broken escapes are kept as text";

    // Apple's 3.0 style: groups, labels, folded lines and escapes.
    const QByteArray data = "BEGIN:VCARD\nVERSION:3.0\nN:Li;Na;;;\nFN:Li Na\n"
                            "ORG:Acme\\, Inc.;R&D\n"
                            "item1.TEL;type=pref:+86 139 0000 0000\nitem1.X-ABLabel:_$!<Mobile>!$_\n"
                            "item2.EMAIL;type=INTERNET:li@example.com\nitem2.X-ABLabel:工作\n"
                            "NOTE:a very long note that was folded by the\n  writer\\, with a comma\\nand a line\n"
                            "END:VCARD\n";
    const CMultiContactVcard v = Parsed(data);
    ASSERT_EQ(v.Count(), 1);
    const CVCard* card = v.At(0);
    EXPECT_EQ(card->Find(QStringLiteral("ORG"))->Components(),
              (QStringList{QStringLiteral("Acme, Inc."), QStringLiteral("R&D")}));
    const VCardProperty* tel = card->Find(QStringLiteral("TEL"));
    EXPECT_EQ(tel->group, QStringLiteral("item1"));
    EXPECT_EQ(card->FindInGroup(tel->group, QStringLiteral("X-ABLabel"))->Text(), QStringLiteral("_$!<Mobile>!$_"));
    const VCardProperty* mail = card->Find(QStringLiteral("EMAIL"));
    EXPECT_EQ(card->FindInGroup(mail->group, QStringLiteral("x-ablabel"))->Text(), QStringLiteral("工作"));
    EXPECT_EQ(card->Find(QStringLiteral("NOTE"))->Text(),
              QStringLiteral("a very long note that was folded by the writer, with a comma\nand a line"));
}

TEST(VCardFiles, OversizedAndMissingFilesFailWithAReason) {
    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big.vcf"));
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(CMultiContactVcard::kMaxFileBytes + 1)); // sparse: cheap to make
    f.close();
    CMultiContactVcard v;
    EXPECT_FALSE(v.Load(big));
    EXPECT_FALSE(v.ErrorString().isEmpty());
    EXPECT_FALSE(v.Load(dir.filePath(QStringLiteral("none.vcf"))));
    // A pipe nobody writes to is refused at once instead of waiting for a writer; a folder too.
    const QString fifo = dir.filePath(QStringLiteral("pipe.vcf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(v.Load(fifo));
    EXPECT_TRUE(v.ErrorString().contains(QStringLiteral("not a regular file"))) << v.ErrorString().toStdString();
    EXPECT_FALSE(v.Load(dir.path()));
    EXPECT_FALSE(v.Save(dir.filePath(QStringLiteral("no/dir/x.vcf"))));
}

// What we write from a parsed card must read back as the same cards: transfer parameters describe
// the source file, not our UTF-8 output, so they are not written again.
TEST(VCardWrite, ParsedQuotedPrintableCardsRewriteAsPlainText) {
    const QByteArray source =
        "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=A4=87=\r\n"
        "=E6=B3=A8\r\nEND:VCARD\r\n";
    const CMultiContactVcard first = Parsed(source);
    ASSERT_EQ(first.Count(), 1);
    const QByteArray written = first.Serialise();
    EXPECT_FALSE(written.contains("QUOTED-PRINTABLE"));
    EXPECT_FALSE(written.contains("CHARSET"));
    const CMultiContactVcard second = Parsed(written);
    ASSERT_EQ(second.Count(), 1);
    EXPECT_EQ(second.At(0)->Find(QStringLiteral("NOTE"))->Text(), QStringLiteral("备注"));
    // A parameter that only resembles the encoding does not turn on soft line breaks.
    EXPECT_EQ(Parsed("BEGIN:VCARD\r\nN;ENCODING=QUOTED-PRINTABLEX:a=\r\nEND:VCARD\r\n").Count(), 1);
}

} // namespace
