// vexa-cli contacts, calls, sms and mms against simulated phones: the same texts as the pages, exit codes.
#include "CliTestSupport.h"
#include "TestFiles.h"
#include "libs/mms/MediaMsg.h"
#include "platform/StringTable.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class CliContactsTest : public CliFixture {
protected:
    void SetUp() override {
        AddPhone(QStringLiteral("cli-1"));
        Seed(QStringLiteral("cli-1"), {.contacts = 25, .calls = 12, .smallStores = false, .screenFrames = false});
        AddPhone(QStringLiteral("cli-2"));
    }
};

TEST_F(CliContactsTest, ExportThenImportOntoAnotherPhoneTheRefusalsAndTheCalls) {
    const QString csv = Path("all.csv"), vcf = Path("all.vcf");
    RunSteps({
        {{"--phone", "cli-2", "contacts", "import", Path("missing.csv")}, kCliFailed, Str(277)},
        // An empty phone has nothing to export.
        {{"--phone", "cli-2", "contacts", "export", "--format", "csv", Path("x.csv")}, kCliFailed, Str(345)},
        {{"contacts"}, kCliUsage},
        {{"--phone", "cli-1", "contacts", "count"}, kCliOk, "25"},
        {{"--phone", "cli-1", "contacts", "export", "--format", "csv", csv}, kCliOk, FormatText(Str(299), 25)},
        {{"--phone", "cli-1", "contacts", "export", "--format", "vcf", vcf}, kCliOk, FormatText(Str(299), 25)},
        {{"--phone", "cli-2", "contacts", "import", csv}, kCliOk, FormatText(Str(288), 25)},
        {{"--phone", "cli-2", "contacts", "import", "--no-groups", vcf}, kCliOk},
        // Both kinds in one import, the CSV file after the vCard file: each is read by its name.
        {{"--phone", "cli-2", "contacts", "import", vcf, csv}, kCliOk, FormatText(Str(288), 50)},
        {{"--phone", "cli-2", "contacts", "count"}, kCliOk, "100"},
    });

    const QString file = Path("calls.csv");
    RunSteps({{{"--phone", "cli-1", "calls", "count"}, kCliOk, "12"},
              {{"--phone", "cli-1", "calls", "export", file}, kCliOk, FormatText(Str(2300), 12)}});
    const QList<QByteArray> lines = vexa::test::ReadFile(file).split('\n');
    ASSERT_EQ(lines.size(),
              14); // header, 12 records, the empty rest after the last CRLF (its layout: CallRecordFormatTest)
    const QString number = QString::fromLatin1(lines.value(1).split(',').value(0));
    const int ofNumber = static_cast<int>(std::count_if(lines.begin(), lines.end(), [&number](const QByteArray& line) {
        return line.startsWith(number.toLatin1() + ',');
    }));
    RunSteps({{{"--phone", "cli-1", "calls", "delete", "--number", number}, kCliOk, FormatText(Str(3156), ofNumber)},
              {{"--phone", "cli-1", "calls", "count"}, kCliOk, QString::number(12 - ofNumber)},
              {{"--phone", "cli-1", "calls", "delete", "--number", number}, kCliFailed, Str(855)}});
}

TEST_F(CliContactsTest, AddGroupDeleteAndMerge) {
    const QStringList phone{"--phone", "cli-2"};
    RunSteps({
        {phone + QStringList{"groups", "add", "家人"}, kCliOk, FormatText(Str(3153), "家人")},
    });

    QStringList ids;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(Run(phone + QStringList{"contacts", "add", "--name", "王伟", "--phone", "+86139", "--phone", "10086",
                                          "--email", "w@example.com", "--group", "家人"}),
                  kCliOk)
            << m_err.toStdString();
        ids << m_out.trimmed();
    }
    const QString planned = FormatText(Str(3151), "王伟", 3, 2) + u'\n';
    RunSteps({
        {phone + QStringList{"groups", "list"}, kCliOk, "家人\t3"},
        {phone + QStringList{"contacts", "merge-duplicates", "--dry-run"}, kCliOk, planned + FormatText(Str(3152), 2)},
        {phone + QStringList{"contacts", "count"}, kCliOk, "3"},
        {phone + QStringList{"contacts", "merge-duplicates"}, kCliOk, planned + FormatText(Str(317), 2)},
    });

    // The merged contact kept the first id (list and search rules: ContactListingTest); deleting the
    // others, now gone, is refused whole.
    const QString merged = ids[0] + QStringLiteral("\t王伟\t+86139");
    RunSteps({
        {phone + QStringList{"contacts", "list"}, kCliOk, merged},
        {phone + QStringList{"contacts", "search", "ww"}, kCliOk, merged},
        {phone + QStringList{"contacts", "delete", "--id", ids[0], ids[1]}, kCliFailed, Str(430)},
        {phone + QStringList{"groups", "rename", "家人", "Family"}, kCliOk, {}},
        {phone + QStringList{"groups", "delete", "Family"}, kCliOk, FormatText(Str(3155), "Family")},
        {phone + QStringList{"contacts", "delete", "--id", ids[0]}, kCliOk, FormatText(Str(313), 1)},
        {phone + QStringList{"contacts", "count"}, kCliOk, "0"},
        {{"groups", "rename", "a"}, kCliUsage},
    });
}

// vexa-cli sms and mms against a simulated phone (the stores over adb: AdbBackendTest).
class CliSmsTest : public CliFixture {
protected:
    void SetUp() override { AddPhone(QStringLiteral("vexa-sms"), QStringLiteral("vexa"), QStringLiteral("V900")); }
};

// The conversation is found by the contact's name and by a word of its text (the rules: MessagePageTest).
TEST_F(CliSmsTest, RefusalsStoreNothingThenImportCountExportAndSearch) {
    RunSteps({{{"sms", "import", Write("bad.csv", "Number,Msg\r\n1,x\r\n")}, kCliFailed, Str(2448)},
              {{"sms", "export"}, kCliUsage}});
    ASSERT_EQ(Run({"sms", "count"}), kCliOk);
    EXPECT_TRUE(m_out.contains("messages: 0\n"));
    const QString in = Write("in.csv", QStringLiteral("Box,Number,Time,Message\r\n"
                                                      "Inbox,10086,2012-07-25 10:03:09,\"话费, \"\"余额\"\"\"\r\n"
                                                      "Outbox,10086,2012-07-25 10:04:00,ok\r\n"
                                                      "Drafts,,2012-07-26 08:00:00,draft\r\n")
                                           .toUtf8());
    const QString out = Path("out.csv");
    ASSERT_EQ(Run({"contacts", "add", "--name", "客服", "--phone", "10086"}), kCliOk) << m_err.toStdString();
    RunSteps({{{"sms", "import", in}, kCliOk, FormatText(Str(2451), 3)},
              {{"sms", "export", out}, kCliOk, FormatText(Str(2443), 3)},
              {{"sms", "search", "客服"}, kCliOk, QStringLiteral("10086\t客服\t2")},
              {{"sms", "search", "余额"}, kCliOk, QStringLiteral("10086\t客服\t1")}});
    ASSERT_EQ(Run({"sms", "count"}), kCliOk);
    EXPECT_TRUE(m_out.contains("sms: 2\n") && m_out.contains("drafts: 1\n") && m_out.contains("conversations: 1\n"))
        << m_out.toStdString();
    // The file's layout is MessageOpsTest's; here the quoted text came back through it.
    const QByteArray bytes = vexa::test::ReadFile(out);
    EXPECT_TRUE(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2)
                    .contains(QStringLiteral("Inbox,10086,2012-07-25 10:03:09,\"话费, \"\"余额\"\"\"\r\n")));
}

// Importing the file again adds only what did not get there, and says the rest was there already.
TEST_F(CliSmsTest, AnImportEndedShortSaysWhatStayedOnThePhoneAndWhy) {
    QByteArray rows = "Box,Number,Time,Message\r\n";
    for (int i = 0; i < 70; ++i) {
        rows += QStringLiteral("Inbox,1380000%1,2012-07-25 10:%2:00,第%1条\r\n")
                    .arg(i, 4, 10, QChar(u'0'))
                    .arg(i % 60, 2, 10, QChar(u'0'))
                    .toUtf8();
    }
    const QString in = Write("seventy.csv", rows);
    struct Case {
        const char* serial;
        vexa::sim::SimFaults faults;
        int reason;
    } cases[] = {{"sms-refused", {0, 2, 0}, 2752}, {"sms-dropped", {0, 0, 40}, 2751}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial);
        AddPhone(QString::fromLatin1(c.serial));
        vexa::sim::SetFaults(c.faults);
        EXPECT_EQ(Run({"--phone", c.serial, "sms", "import", in}), kCliFailed);
        const QString told = m_err;
        vexa::sim::SetFaults({});
        ASSERT_EQ(Run({"--phone", c.serial, "sms", "count"}), kCliOk);
        const int kept = QRegularExpression(QStringLiteral("sms: (\\d+)\n")).match(m_out).captured(1).toInt();
        EXPECT_LT(kept, 70);
        EXPECT_EQ(told, FormatText(Str(2753), kept, 70 - kept) + Str(c.reason) + u'\n');
        ASSERT_EQ(Run({"--phone", c.serial, "sms", "import", in}), kCliOk) << m_err.toStdString();
        EXPECT_EQ(m_out,
                  FormatText(Str(2451), 70 - kept) + (kept > 0 ? FormatText(Str(2755), kept) : QString()) + u'\n');
    }
}

using CliMmsTest = CliSmsTest;

mms::MediaMsg Message() {
    mms::MediaMsg msg;
    msg.SetSubject(QStringLiteral("周末\t计划"));
    msg.SetRecipient({QStringLiteral("10086")});
    for (int i = 0; i < 2; ++i) {
        mms::Slide s;
        s.text = QStringLiteral("第%1页\n第二行").arg(i + 1);
        msg.AppendReadSlide(s);
    }
    return msg;
}

// Each limit (a message at and over it included) is MmsTest's; here a refusal's text reaches the
// error output and nothing is stored.
TEST_F(CliMmsTest, RefusalsStoreNothingAndDraftSendListShowAndExportAgree) {
    const QString damaged = Write("cut.omms", Message().Save().left(30));
    EXPECT_EQ(Run({"mms", "send", damaged}), kCliFailed);
    EXPECT_TRUE(m_err.contains(QStringLiteral("damaged multimedia message")));
    // The compose dialog's recipient check, for a draft as for a send.
    mms::MediaMsg hostile = Message();
    hostile.SetRecipient({QStringLiteral("10086\n$(reboot)")});
    const QString hostileFile = Write("hostile.omms", hostile.Save());
    RunSteps({{{"mms", "draft", hostileFile},
               kCliFailed,
               QStringLiteral("以下收件人不是有效的电话号码，彩信没有保存：\n10086 $(reboot)")},
              {{"mms", "send", hostileFile}, kCliFailed},
              {{"mms", "export", "1"}, kCliUsage}});
    ASSERT_EQ(Run({"mms", "list"}), kCliOk);
    EXPECT_EQ(m_out, QString());

    const mms::MediaMsg msg = Message();
    const QString file = Write("message.omms", msg.Save());
    ASSERT_EQ(Run({"mms", "draft", file}), kCliOk) << m_err.toStdString();
    EXPECT_TRUE(m_out.startsWith(QStringLiteral("彩信创建成功，已保存至草稿箱。\nid: ")));
    ASSERT_EQ(Run({"mms", "send", "--sim", "2", file}), kCliOk) << m_err.toStdString();
    EXPECT_TRUE(m_out.startsWith(QStringLiteral("彩信发送成功\nid: ")));

    ASSERT_EQ(Run({"mms", "list"}), kCliOk) << m_err.toStdString();
    const QStringList lines = m_out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("\tsent\t10086\t")));
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\t周末\\t计划"))) << "a tab in the subject keeps the columns";
    EXPECT_TRUE(lines[1].contains(QStringLiteral("\tdraft\t10086\t")));

    const QString draftId = lines[1].section(u'\t', 0, 0);
    ASSERT_EQ(Run({"mms", "show", draftId}), kCliOk) << m_err.toStdString();
    EXPECT_TRUE(m_out.contains(QStringLiteral("box: draft\n")));
    EXPECT_TRUE(m_out.contains(QStringLiteral("slides: 2\n")));
    EXPECT_TRUE(m_out.contains(QStringLiteral("size: %1\n").arg(msg.Save().size()))) << m_out.toStdString();
    EXPECT_TRUE(m_out.contains(QStringLiteral("\ttext 第2页\\n第二行\n")));

    const QString out = m_folders.Root() + QStringLiteral("/back.omms");
    ASSERT_EQ(Run({"mms", "export", draftId, out}), kCliOk) << m_err.toStdString();
    mms::MediaMsg back;
    ASSERT_TRUE(mms::LoadMediaMsg(out, &back));
    EXPECT_TRUE(back.Slides() == msg.Slides());
    EXPECT_EQ(back.Subject(), msg.Subject());
}

} // namespace
