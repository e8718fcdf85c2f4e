// vexa-cli sms against a simulated phone (the stores over adb: AdbBackendTest), and mms: list, show,
// export, draft and send under the compose checks.
#include "CliTestSupport.h"
#include "TestFiles.h"
#include "libs/mms/MediaMsg.h"
#include "platform/StringTable.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

class CliSmsTest : public CliFixture {
protected:
    void SetUp() override { AddPhone(QStringLiteral("vexa-sms"), QStringLiteral("vexa"), QStringLiteral("V900")); }
};

// A file without times and bad command lines are refused and store nothing; a good file imports.
TEST_F(CliSmsTest, RefusalsStoreNothingThenImportCountAndExport) {
    RunSteps({{{"sms", "import", Write("bad.csv", "Number,Msg\r\n1,x\r\n")}, kCliFailed, Str(2448)},
              {{"sms", "export"}, kCliUsage},
              {{"sms", "count", "x"}, kCliUsage},
              {{"sms", "send"}, kCliUsage}});
    ASSERT_EQ(Run({"sms", "count"}), kCliOk);
    EXPECT_TRUE(m_out.contains("messages: 0\n"));
    const QString in = Write("in.csv", QStringLiteral("Box,Number,Time,Message\r\n"
                                                      "Inbox,10086,2012-07-25 10:03:09,\"话费, \"\"余额\"\"\"\r\n"
                                                      "Outbox,10086,2012-07-25 10:04:00,ok\r\n"
                                                      "Drafts,,2012-07-26 08:00:00,draft\r\n")
                                           .toUtf8());
    const QString out = Path("out.csv");
    RunSteps({{{"sms", "import", in}, kCliOk, FormatText(Str(2451), 3)},
              {{"sms", "export", out}, kCliOk, FormatText(Str(2443), 3)}});
    ASSERT_EQ(Run({"sms", "count"}), kCliOk);
    EXPECT_TRUE(m_out.contains("sms: 2\n") && m_out.contains("drafts: 1\n") && m_out.contains("conversations: 1\n"))
        << m_out.toStdString();
    // The file's layout is MessageOpsTest's; here the quoted text came back through it.
    const QByteArray bytes = vexa::test::ReadFile(out);
    EXPECT_TRUE(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2)
                    .contains(QStringLiteral("Inbox,10086,2012-07-25 10:03:09,\"话费, \"\"余额\"\"\"\r\n")));
}

// The search finds a contact's conversation by name, pinyin, number and a word of its text, with
// the same count each way, and nothing for a word no message holds.
TEST_F(CliSmsTest, SearchFindsAConversationByNameNumberAndText) {
    ASSERT_EQ(Run({"contacts", "add", "--name", "赵强", "--phone", "13800001111"}), kCliOk) << m_err.toStdString();
    const QString in = Write("in.csv", QStringLiteral("Box,Number,Time,Message\r\n"
                                                      "Inbox,13800001111,2012-07-25 10:03:09,明天交水费\r\n"
                                                      "Outbox,13800001111,2012-07-25 10:04:00,水费交了\r\n"
                                                      "Inbox,10086,2012-07-25 11:00:00,话费余额\r\n")
                                           .toUtf8());
    const QString found = QStringLiteral("13800001111\t赵强\t2");
    RunSteps({{{"sms", "import", in}, kCliOk},
              {{"sms", "search", "赵强"}, kCliOk, found},
              {{"sms", "search", "zq"}, kCliOk, found},
              {{"sms", "search", "13800001111"}, kCliOk, found},
              {{"sms", "search", "水费"}, kCliOk, found},
              {{"sms", "search", "余额"}, kCliOk, QStringLiteral("10086\t\t1")},
              {{"sms", "search"}, kCliUsage}});
    ASSERT_EQ(Run({"sms", "search", "没有的词"}), kCliOk);
    EXPECT_EQ(m_out, QString());
}

// An import that ends short says how many messages stay on the phone, how many did not get there
// and why; importing the file again adds only those, and says the others were there already.
TEST_F(CliSmsTest, AnImportEndedShortSaysWhatStayedOnThePhoneAndWhy) {
    QByteArray rows = "Box,Number,Time,Message\r\n";
    for (int i = 0; i < 70; ++i) {
        rows += QStringLiteral("Inbox,1380000%1,2012-07-25 10:%2:00,第%1条\r\n").arg(i, 4, 10, QChar(u'0')).arg(i % 60, 2, 10, QChar(u'0')).toUtf8();
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
        EXPECT_EQ(m_out, FormatText(Str(2451), 70 - kept) + (kept > 0 ? FormatText(Str(2755), kept) : QString()) + u'\n');
    }
}

class CliMmsTest : public CliFixture {
protected:
    void SetUp() override { AddPhone(QStringLiteral("vexa-mms"), QStringLiteral("vexa"), QStringLiteral("V900")); }
};

mms::MediaMsg Message(qint64 bytes, int slides = 2) {
    mms::MediaMsg msg;
    msg.SetSubject(QStringLiteral("周末\t计划"));
    msg.SetRecipient({QStringLiteral("10086")});
    for (int i = 0; i < slides; ++i) {
        mms::Slide s;
        s.text = QStringLiteral("第%1页\n第二行").arg(i + 1);
        msg.AppendReadSlide(s);
    }
    if (bytes > 0) {
        msg.GetSlide(0)->sound = {QStringLiteral("a.mid"), QByteArray()};
        msg.GetSlide(0)->sound.data = QByteArray(bytes - msg.Save().size(), 'm');
    }
    return msg;
}

// Each limit is MmsTest's; here a refusal's text reaches the error output and nothing is stored.
// Then a message at the limit is drafted and sent, and list, show and export agree on it.
TEST_F(CliMmsTest, RefusalsStoreNothingAndDraftSendListShowAndExportAgree) {
    const QString damaged = Write("cut.omms", Message(0).Save().left(30));
    EXPECT_EQ(Run({"mms", "send", damaged}), kCliFailed);
    EXPECT_TRUE(m_err.contains(QStringLiteral("damaged multimedia message")));
    // The compose dialog's recipient check, for a draft as for a send.
    mms::MediaMsg hostile = Message(0);
    hostile.SetRecipient({QStringLiteral("10086\n$(reboot)")});
    const QString hostileFile = Write("hostile.omms", hostile.Save());
    RunSteps({{{"mms", "draft", Write("big.omms", Message(mms::kMaxMessageBytes + 1).Save())},
               kCliFailed,
               QStringLiteral("彩信大小已超过上限 300k")},
              {{"mms", "draft", hostileFile},
               kCliFailed,
               QStringLiteral("以下收件人不是有效的电话号码，彩信没有保存：\n10086 $(reboot)")},
              {{"mms", "send", hostileFile}, kCliFailed},
              {{"mms", "show", "999"}, kCliFailed},
              {{"mms", "show", "x"}, kCliUsage},
              {{"mms", "send", "--sim", "3", "f"}, kCliUsage},
              {{"mms", "export", "1"}, kCliUsage}});
    ASSERT_EQ(Run({"mms", "list"}), kCliOk);
    EXPECT_EQ(m_out, QString());

    const mms::MediaMsg msg = Message(mms::kMaxMessageBytes);
    const QString file = Write("limit.omms", msg.Save());
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
    EXPECT_TRUE(m_out.contains(QStringLiteral("size: 307200\n")));
    EXPECT_TRUE(m_out.contains(QStringLiteral("\ttext 第2页\\n第二行\n")));

    const QString out = m_folders.Root() + QStringLiteral("/back.omms");
    ASSERT_EQ(Run({"mms", "export", draftId, out}), kCliOk) << m_err.toStdString();
    mms::MediaMsg back;
    ASSERT_TRUE(mms::LoadMediaMsg(out, &back));
    EXPECT_TRUE(back.Slides() == msg.Slides());
    EXPECT_EQ(back.Subject(), msg.Subject());
}

} // namespace
