// vexa-cli mms: list, show, export, draft and send under the compose checks.
#include "CliTestSupport.h"

#include "libs/mms/MediaMsg.h"

#include <gtest/gtest.h>

namespace {

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
