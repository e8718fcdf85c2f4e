// The message windows offscreen: conversation pages, the page, SMS and MMS windows, reminders.
#include "../bridge/BridgeBackend.h"
#include "TestFiles.h"
#include "UiThreadCheck.h"
#include "../controls/ControlsTestSupport.h"
#include "../pictures/PictureTestImages.h"
#include "MessageTestProgram.h"
#include "MessageTestPhone.h"
#include "TestEnvironment.h"
#include "app/CMainFrame.h"
#include "bridge/api/ContactBook.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "controls/VexaMessageBox.h"
#include "device/DeviceNameAdapter.h"
#include "device/SessionGate.h"
#include "libs/prefs/Prefs.h"
#include "messages/CMessagePage.h"
#include "messages/CMmsEditDlg.h"
#include "messages/CMmsPreviewDlg.h"
#include "messages/CMsgContentView.h"
#include "messages/CQuickReplyWnd.h"
#include "messages/CRemindDialog.h"
#include "messages/IncomingReminders.h"
#include "messages/MmsRules.h"
#include "messages/MmsSender.h"
#include "messages/CSelectContactOrNumber.h"
#include "messages/CSmsEditDlg.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCompleter>
#include <QStringListModel>
#include <QApplication>
#include <QFile>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <memory>

namespace {

constexpr int kWaitMs = 15000;

class RecordingOwner : public CMsgWnd {
public:
    struct Received {
        UINT msg;
        MsgTypeAndId item;
        WPARAM wParam;
    };
    std::vector<Received> received;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_MSGVIEW_SELECTION) {
            received.push_back({msg, {}, wParam});
        } else if (msg >= WM_USER + 100 && msg <= WM_USER + 130 && wParam != 0) {
            // The item is freed when the send returns: copy it now.
            received.push_back({msg, *reinterpret_cast<const MsgTypeAndId*>(wParam), wParam});
        }
        return CMsgWnd::OnMessage(msg, wParam, lParam);
    }
};

MSGINFO Message(std::int64_t id, int type, const QString& number, const QString& content, int status, int day) {
    return {.type = type,
            .number = number,
            .id = id,
            .content = content,
            .status = status,
            .time = MessageTestPhone::Time(2024, 5, day, 9, 30, 0)};
}

// Every refresh asked for is applied and drawn, so what a script finds is what the page shows.
bool Settled(CMessagePage* page) {
    return QTest::qWaitFor([page] { return !page->IsBusy() && page->PageState() == CMessagePage::State::Ready; },
                           kWaitMs) &&
           page->WaitForView(kWaitMs);
}

QVariant RunJs(CMsgContentView* view, const QString& script) {
    QVariant result;
    bool done = false;
    view->page()->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, kWaitMs)) {
        QTest::qFail("the page never answered the script", __FILE__, __LINE__);
    }
    return result;
}

vexa::DeviceSession* Session() {
    return ppGetBridge() != nullptr ? ppGetBridge()->GetSession() : nullptr;
}

std::vector<MSGINFO> Drafts() {
    std::vector<MSGINFO> list;
    Session()->GetMmsStore()->ListDraftMms(&list);
    return list;
}

// A message at every limit; the last slide's sound pads it to exactly bytes.
mms::MediaMsg Composed(qint64 bytes) {
    mms::MediaMsg msg;
    msg.SetSubject(QString(40, u'题'));
    msg.SetRecipient({QStringLiteral("13800138000")});
    for (int i = 0; i < mms::kMaxSlides; ++i) {
        mms::Slide s;
        s.durationMs = 1000 * (i + 1);
        s.text = QStringLiteral("第%1页").arg(i + 1);
        s.image = {QStringLiteral("p%1.jpg").arg(i), pictures::test::MakeJpeg(0)};
        s.sound = {QStringLiteral("s%1.mid").arg(i), QByteArray("MThd")};
        msg.AddSlide(s);
    }
    mms::Slide* last = msg.GetSlide(mms::kMaxSlides - 1);
    const qint64 base = msg.Save().size();
    last->sound.data += QByteArray(bytes - base, 'm');
    return msg;
}

} // namespace

class MessagePageTest : public QObject {
    Q_OBJECT
    ShippedSkin m_skin;
    QTemporaryDir m_pages;

    using Program = MessageTestProgram;

    static bool AddSms(int box, const QString& number, const QString& text, int day, bool read = true) {
        return MessageTestPhone::AddSms(Session()->GetSmsStore(), box, number, text,
                                        MessageTestPhone::Time(2024, 5, day, 10, 0, 0), read);
    }

    static bool AddContact(const QString& name, std::initializer_list<std::pair<int, const char*>> phones) {
        vexa::ContactBook* book = Session()->GetContactBook();
        std::unique_ptr<vexa::Contact> contact(book->NewContact());
        contact->SetDisplayName(name);
        for (const auto& [type, number] : phones) {
            contact->AddPhone(type, nullptr, QString::fromLatin1(number), nullptr);
        }
        return book->CreateContact(contact.get()) && contact.release() != nullptr; // the book's now
    }

    static std::vector<MsgTypeAndId> Selection(CMsgContentView& view) {
        std::vector<MsgTypeAndId> items;
        bool got = false;
        view.GetSelection([&](std::vector<MsgTypeAndId> picked) {
            items = std::move(picked);
            got = true;
        });
        return QTest::qWaitFor([&] { return got; }, kWaitMs) ? items : std::vector<MsgTypeAndId>{};
    }

    // The page on the program's phone, loaded and drawn; null when it never got there.
    std::unique_ptr<CMessagePage> MakePage(CSessionGate& gate) {
        auto page = std::make_unique<CMessagePage>(gate, nullptr);
        page->SetPageFolder(m_pages.filePath(QStringLiteral("page-%1").arg(++m_pageCount)));
        if (!page->Create()) {
            return nullptr;
        }
        // Copy the pages from the source tree: the test does not run beside the executable.
        CMsgContentView::PreparePageFolder(QStringLiteral(VEXA_SOURCE_DIR "/resources/pages"), page->PageFolder());
        page->resize(900, 560);
        page->show();
        page->OnDeviceConnected();
        return Settled(page.get()) ? std::move(page) : nullptr;
    }
    int m_pageCount = 0;

    std::unique_ptr<CMmsEditDlg> Editor(CSessionGate& gate, const mms::MediaMsg& msg) {
        auto dialog = std::make_unique<CMmsEditDlg>(gate);
        dialog->SetMessage(msg);
        dialog->SetTempFolder(m_pages.path());
        return dialog;
    }

    bool ShowView(CMsgContentView& view, const QString& folder, const std::vector<MSGINFO>& list, int height = 500) {
        const QString path = m_pages.filePath(folder);
        if (!CMsgContentView::PreparePageFolder(QStringLiteral(VEXA_SOURCE_DIR "/resources/pages"), path)) {
            return false;
        }
        view.SetPageFolder(path);
        view.SetMessages(list);
        view.resize(700, height);
        view.show();
        return view.Refresh() && QTest::qWaitFor([&view] { return view.OutputOver() != 0; }, kWaitMs);
    }

private slots:
    void initTestCase() { QVERIFY(m_skin.Get() != nullptr); }

    void conversationPageSelectsAndReportsCommands() {
        RecordingOwner owner;
        CMsgContentView view(1, &owner);
        view.SetContactName([](const QString& n) { return n == "10086" ? QStringLiteral("客服") : QString(); });
        QVERIFY(ShowView(view, QStringLiteral("view"),
                         {Message(5, 0, "10086", QStringLiteral("您好 <b>&"), 1, 10),
                          Message(6, 0, "10086", QStringLiteral("第二条"), 0, 10),
                          Message(7, 1, "10086", QStringLiteral("彩信"), 1, 11)}));
        // The escaped text reaches the page as text, not markup.
        QCOMPARE(RunJs(&view, "document.querySelector('#msg_sms_5 .bubble').textContent").toString(),
                 QStringLiteral("您好 <b>&"));
        QCOMPARE(RunJs(&view, "document.querySelectorAll('.day').length").toInt(), 2);

        RunJs(&view, "document.getElementById('sel_sms_5').click(); document.getElementById('sel_mms_7').click(); 1");
        QTRY_VERIFY_WITH_TIMEOUT(owner.received.size() >= 2, kWaitMs);
        QCOMPARE(owner.received.back().msg, WM_MSGVIEW_SELECTION);
        QCOMPARE(static_cast<int>(static_cast<std::intptr_t>(owner.received.back().wParam)), -1);
        QCOMPARE(Selection(view), (std::vector<MsgTypeAndId>{{5, 0}, {7, 1}}));

        owner.received.clear();
        RunJs(&view, "document.getElementById('delete_sms_5').click(); 1");
        QTRY_VERIFY_WITH_TIMEOUT(!owner.received.empty(), kWaitMs);
        QCOMPARE(owner.received[0].msg, WM_USER + 109);
        QCOMPARE(owner.received[0].item, (MsgTypeAndId{5, 0}));

        owner.received.clear();
        RunJs(&view, "document.getElementById('forward_mms_7').click(); document.getElementById('open_mms_7').click(); 1");
        QTRY_VERIFY_WITH_TIMEOUT(owner.received.size() >= 2, kWaitMs);
        QCOMPARE(owner.received[0].msg, WM_USER + 110);
        QCOMPARE(owner.received[0].item, (MsgTypeAndId{7, 1}));
        QCOMPARE(owner.received[1].msg, WM_MSGVIEW_OPEN_MMS);

        owner.received.clear();
        view.SelectAll(true);
        QTRY_VERIFY_WITH_TIMEOUT(!owner.received.empty(), kWaitMs);
        QCOMPARE(static_cast<int>(owner.received.back().wParam), 1);
        QVERIFY(view.AllSelected());
        QCOMPARE(RunJs(&view, "get_selection()").toString(), QStringLiteral("0,5;0,6;1,7;"));
    }

    // Older messages come as the user scrolls up, day labels whole; far ones are let go and come back.
    void longConversationDrawsOlderMessagesOnScrollingUp() {
        RecordingOwner owner;
        CMsgContentView view(1, &owner);
        std::vector<MSGINFO> list;
        for (int i = 0; i < 500; ++i) { // 60 a day: the first chunks start inside a day
            list.push_back(Message(1 + i, 0, "10086", QString("m%1").arg(i), 1, 1 + i / 60));
        }
        QVERIFY(ShowView(view, QStringLiteral("long"), list, 4000));
        const auto drawn = [&view] { return RunJs(&view, "document.querySelectorAll('.msg').length").toInt(); };
        const auto has = [&view](int id) {
            return RunJs(&view, QString("!!document.getElementById('msg_sms_%1')").arg(id)).toBool();
        };
        QVERIFY(drawn() < 500);
        QVERIFY(RunJs(&view, "document.documentElement.scrollHeight - window.innerHeight").toInt() > 0);
        QVERIFY(has(500));
        QCOMPARE(RunJs(&view, "document.querySelector('.day').nextElementSibling.id").toString(),
                 QStringLiteral("msg_sms_%1").arg(500 - drawn() + 1));
        while (!has(1)) {
            const int before = RunJs(&view, "document.querySelector('.msg').id").toString().mid(8).toInt();
            RunJs(&view, "window.scrollTo(0, 0); 1");
            QTRY_VERIFY_WITH_TIMEOUT(RunJs(&view, "document.querySelector('.msg').id").toString().mid(8).toInt() < before,
                                     kWaitMs);
            QVERIFY(RunJs(&view, "window.scrollY").toInt() > 0); // what was on screen stays there
            QVERIFY(drawn() <= 330);
        }
        QVERIFY(!has(500));
        QCOMPARE(RunJs(&view, "document.querySelectorAll('.day.provisional').length").toInt(), 0);
        // One label per day drawn, the labels of chunk seams gone.
        QVERIFY(RunJs(&view, "var d = [...document.querySelectorAll('.day')].map(e => e.textContent);"
                             "d.length > 1 && new Set(d).size === d.length")
                    .toBool());

        QTRY_VERIFY_WITH_TIMEOUT(RunJs(&view, "window.scrollTo(0, document.body.scrollHeight);"
                                              "!!document.getElementById('msg_sms_500')")
                                     .toBool(),
                                 kWaitMs);
        QVERIFY(drawn() <= 330);
        QVERIFY(!has(1));
        // The first message drawn is under its day's label, whole day drawn or not.
        QCOMPARE(RunJs(&view, "document.querySelector('.msg').previousElementSibling.className").toString().left(3),
                 QStringLiteral("day"));
        view.SelectAll(true);
        QCOMPARE(RunJs(&view, "get_selection()").toString().count(';'), 500);
    }

    void allConversationsViewGroupsByNumberAndTicksWholeGroups() {
        RecordingOwner owner;
        CMsgContentView view(0, &owner);
        view.SetPhoneVersion(1); // the older page
        std::vector<MSGINFO> list;
        for (int i = 0; i < 700; ++i) { // more than one drawing chunk
            list.push_back(Message(1000 + i, 0, i < 400 ? "10086" : "95555", QString("m%1").arg(i), 1, 1 + i % 20));
        }
        QVERIFY(ShowView(view, QStringLiteral("total"), list));
        QVERIFY(view.PagePath().endsWith("TotalConfView_v1.htm"));
        QCOMPARE(RunJs(&view, "document.querySelectorAll('.tel_group').length").toInt(), 1);
        RunJs(&view, "document.getElementById('telsel_0').click(); 1");
        QTRY_VERIFY_WITH_TIMEOUT(!owner.received.empty(), kWaitMs);
        QCOMPARE(static_cast<int>(static_cast<std::intptr_t>(owner.received.back().wParam)), -1);
        const QStringList picked = RunJs(&view, "get_selection()").toString().split(';', Qt::SkipEmptyParts);
        QCOMPARE(picked.size(), 400); // the whole number group, drawn or not
        QTRY_COMPARE_WITH_TIMEOUT(
            RunJs(&view, "window.scrollTo(0, document.body.scrollHeight); document.querySelectorAll('.tel_group').length")
                .toInt(),
            2, kWaitMs);
    }

    void overviewComesInPartsAndSelectAllCoversTheRest() {
        RecordingOwner owner;
        CMsgContentView view(0, &owner);
        view.SetPartSize(250);
        std::vector<MSGINFO> list;
        for (int i = 0; i < 400; ++i) { // two messages of each of 200 numbers
            list.push_back(Message(1 + i, 0, QString("1380000%1").arg(i / 2, 4, 10, QChar('0')), "m", 1, 1));
        }
        QVERIFY(ShowView(view, QStringLiteral("parts"), list));
        QCOMPARE(view.PendingMessages(), std::size_t(150)); // a part drawn 100 at a time, the rest waits
        view.SelectAll(true);
        QTRY_VERIFY_WITH_TIMEOUT(view.AllSelected(), kWaitMs);
        QCOMPARE(Selection(view).size(), std::size_t(400));
        RunJs(&view, "document.getElementById('sel_sms_1').click(); 1");
        QTRY_VERIFY_WITH_TIMEOUT(!view.AllSelected(), kWaitMs);
        const std::vector<MsgTypeAndId> allButOne = Selection(view);
        QCOMPARE(allButOne.size(), std::size_t(399));
        QCOMPARE(allButOne.back(), (MsgTypeAndId{400, 0}));

        const auto groups = [&view] { return RunJs(&view, "document.querySelectorAll('.tel_group').length").toInt(); };
        QTRY_VERIFY_WITH_TIMEOUT(RunJs(&view, "window.scrollTo(0, document.body.scrollHeight);"
                                              "!!document.getElementById('tel_199')")
                                     .toBool(),
                                 kWaitMs);
        QCOMPARE(view.PendingMessages(), std::size_t(0));
        QVERIFY(groups() <= 150);
        QVERIFY(!RunJs(&view, "!!document.getElementById('tel_0')").toBool());
        QCOMPARE(RunJs(&view, "document.querySelector('#tel_199 input.msg_selector').checked").toBool(), true);
        QCOMPARE(Selection(view).size(), std::size_t(399)); // the same with every part on the page

        RunJs(&view, "window.scrollTo(0, 0); 1");
        QTRY_VERIFY_WITH_TIMEOUT(RunJs(&view, "!!document.getElementById('tel_0')").toBool(), kWaitMs);
        QVERIFY(groups() <= 150);
        QCOMPARE(RunJs(&view, "document.getElementById('sel_sms_1').checked").toBool(), false);
        QCOMPARE(RunJs(&view, "document.getElementById('sel_sms_2').checked").toBool(), true);

        // Scrolled up a little from the end: what is on screen stays in place as groups come back.
        QTRY_VERIFY_WITH_TIMEOUT(RunJs(&view, "window.scrollTo(0, document.body.scrollHeight);"
                                              "!!document.getElementById('tel_199') && !document.getElementById('tel_0')")
                                     .toBool(),
                                 kWaitMs);
        const QString top = RunJs(&view, "document.getElementById('space_above').offsetHeight").toString();
        // Measured in the same script as the scroll, before the page can answer it.
        const QString before = RunJs(&view, QString("window.scrollTo(0, %1 + 100);"
                                                    "var e = document.querySelector('.tel_group');"
                                                    "e.id + '@' + Math.round(e.getBoundingClientRect().top)")
                                                .arg(top))
                                   .toString();
        QTRY_VERIFY_WITH_TIMEOUT(RunJs(&view, "document.getElementById('space_above').offsetHeight").toString() != top,
                                 kWaitMs);
        QCOMPARE(RunJs(&view, QString("(function(){var e=document.getElementById('%1');"
                                      "return e.id + '@' + Math.round(e.getBoundingClientRect().top);})()")
                                  .arg(before.section('@', 0, 0)))
                     .toString(),
                 before);
        view.SelectAll(false);
        QTRY_VERIFY_WITH_TIMEOUT(Selection(view).empty(), kWaitMs);
    }

    void pageLoadsConversationsDeletesAndImports() {
        Program program;
        QVERIFY(program.Start({QStringLiteral("PAGE-1")}));
        for (int i = 0; i < 3; ++i) {
            QVERIFY(AddSms(1, "10086", QString("a%1").arg(i), 1 + i, i != 0));
        }
        QVERIFY(AddSms(1, "95555", "b", 5));
        QVERIFY(AddSms(3, "", "draft", 6));
        auto page = MakePage(program.gate);
        QVERIFY(page);
        QTreeWidget* tree = page->Tree();
        QCOMPARE(tree->topLevelItem(CMessagePage::kAllNode)->text(0), FormatText(Str(2404), 2));
        QCOMPARE(tree->topLevelItem(CMessagePage::kDraftsNode)->text(0), FormatText(Str(2406), 1));
        QCOMPARE(page->Caption(), Str(2403));

        tree->setCurrentItem(tree->topLevelItem(CMessagePage::kAllNode)->child(1));
        QTRY_COMPARE_WITH_TIMEOUT(page->CurrentView(), int(CMessagePage::ViewConversation), kWaitMs);
        QCOMPARE(page->Caption(), FormatText(Str(2407), "10086"));
        QVERIFY(page->WaitForView(kWaitMs));
        QVERIFY(page->Reply()->isVisible());
        // What is typed for one conversation stays with it, never follows to another.
        page->Reply()->SetText(QStringLiteral("for 10086 only"));
        tree->setCurrentItem(tree->topLevelItem(CMessagePage::kAllNode)->child(0));
        QTRY_VERIFY_WITH_TIMEOUT(page->CurrentNumber() != QStringLiteral("10086"), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(page->CurrentView(), int(CMessagePage::ViewConversation), kWaitMs);
        QCOMPARE(page->Reply()->Text(), QString());
        tree->setCurrentItem(tree->topLevelItem(CMessagePage::kAllNode)->child(1));
        QTRY_COMPARE_WITH_TIMEOUT(page->CurrentNumber(), QStringLiteral("10086"), kWaitMs);
        QCOMPARE(page->Reply()->Text(), QStringLiteral("for 10086 only"));
        QCOMPARE(page->Reply()->SendTip(), FormatText(Str(3574), "10086")); // the send buttons name the recipient
        page->Reply()->SetText(QString());
        // A number no contact holds is offered to the quick-add dialog; the conversation then takes the name.
        QWidget* addContact = GetPluginByName(page.get(), QStringLiteral("add_contact_btn"));
        QVERIFY(!addContact->isVisible()); // the shell has not handed in the dialog
        QString asked;
        page->SetQuickAddContact([&asked](QWidget*, const QString& number) {
            asked = number;
            const vexa::test::TestsOwnPhoneCalls own; // stands in for the dialog and its worker
            return AddContact(QStringLiteral("客服"), {{2, "10086"}});
        });
        page->ShowConversation(QStringLiteral("10086"));
        QVERIFY(addContact->isVisible());
        QTest::mouseClick(addContact, Qt::LeftButton);
        QCOMPARE(asked, QStringLiteral("10086"));
        QTRY_COMPARE_WITH_TIMEOUT(page->Caption(), FormatText(Str(2407), "客服"), kWaitMs);
        QVERIFY(!addContact->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(page->Reply()->SendTip(), FormatText(Str(3574), "客服（10086）"), kWaitMs);

        QVERIFY(Settled(page.get()));
        const std::int64_t id = page->Data().ConversationMessages("10086").front().id;
        CMsgContentView* view = page->View(CMessagePage::ViewConversation);
        CVexaMessageBoxImpl::SetNextAnswer(1);
        QVERIFY(RunJs(view, QString("document.getElementById('delete_sms_%1').click(); 1").arg(id)).toInt() == 1);
        QTRY_COMPARE_WITH_TIMEOUT(page->Data().ConversationMessages("10086").size(), std::size_t(2), kWaitMs);
        QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(2410), 1));

        {
            CAutoAnswer answer(1);
            QVERIFY(Settled(page.get()));
            view->SelectAll(true);
            page->DeleteSelected();
            QTRY_COMPARE_WITH_TIMEOUT(page->CurrentView(), int(CMessagePage::ViewAll), kWaitMs);
        }
        QVERIFY(!page->Reply()->isVisible());
        page->Reply()->SetText("still there?");
        QCOMPARE(Told([&] { page->Reply()->Send(1, false); }), Str(2471));

        // An imported file's message joins the page (the files refused: MessageOpsTest).
        QTemporaryDir dir;
        QVERIFY(vexa::test::WriteFile(dir.filePath("in.csv"),
                                      "Time,Number,Msg\r\n2024-05-20 08:00:00,13900000000,hello\r\n"));
        CVexaMessageBoxImpl::SetNextAnswer(1);
        page->ImportFile(dir.filePath("in.csv"));
        QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(2451), 1));
        QTRY_COMPARE_WITH_TIMEOUT(page->Data().Conversations().size(), std::size_t(2), kWaitMs);
    }

    // The conversation opened shows exactly what was found; captions and drafts count only that.
    void searchAndRecipientsFindByNameNumberAndPinyin() {
        Program program;
        QVERIFY(program.Start({QStringLiteral("SEARCH-1")}));
        QVERIFY(AddContact(QStringLiteral("赵强"), {{1, "010-65529988"}, {2, "13800001111"}}));
        QVERIFY(AddContact(QStringLiteral("王五"), {{2, "13900002222"}}));
        QVERIFY(AddContact(QStringLiteral("座机张"), {{3, "02188889999"}}));
        QVERIFY(AddContact(QStringLiteral("赵六"), {{7, "13700003333"}}));
        QVERIFY(AddSms(1, "13800001111", "明天交水费", 1));
        QVERIFY(AddSms(2, "13800001111", "收到", 2));
        QVERIFY(AddSms(1, "10086", "话费余额不足", 3));
        QVERIFY(AddSms(3, "13800001111", "水费草稿", 4));
        auto page = MakePage(program.gate);
        QVERIFY(page);
        auto* box = qobject_cast<QLineEdit*>(GetPluginByName(page.get(), QStringLiteral("search_ctrl")));
        QVERIFY(box != nullptr);
        // Only the messages found are shown and counted (what each kind of key finds: CliSmsTest).
        const struct {
            const char* key;
            const char* number;
            const char* who;
            int shown;
            int drafts;
        } cases[] = {{"水费", "13800001111", "赵强", 1, 1}, {"余额", "10086", "10086", 1, 0}};
        for (const auto& c : cases) {
            const QString key = QString::fromUtf8(c.key);
            box->setText(key); // no Enter: the lists follow the typing
            QTRY_COMPARE_WITH_TIMEOUT(page->Data().Keyword(), key, kWaitMs);
            QVERIFY(Settled(page.get()));
            QTreeWidget* tree = page->Tree();
            QCOMPARE(tree->topLevelItem(CMessagePage::kAllNode)->childCount(), 1);
            QCOMPARE(tree->topLevelItem(CMessagePage::kDraftsNode)->text(0), FormatText(Str(2406), c.drafts));
            tree->setCurrentItem(tree->topLevelItem(CMessagePage::kAllNode)->child(0));
            QCOMPARE(page->CurrentNumber(), QString::fromUtf8(c.number));
            QVERIFY(page->WaitForView(kWaitMs));
            CMsgContentView* view = page->View(CMessagePage::ViewConversation);
            QCOMPARE(RunJs(view, "document.querySelectorAll('input.msg_selector').length").toInt(), c.shown);
            QCOMPARE(page->Caption(), FormatText(Str(3510), c.who, c.shown));
        }
        box->clear(); // clearing the box shows everything again at once
        QTRY_COMPARE_WITH_TIMEOUT(page->Data().Conversations().size(), std::size_t(2), kWaitMs);
        // The drafts sit at the top, each with its recipient's name; a draft opened for editing shows it too.
        QVERIFY(Settled(page.get()));
        QTreeWidgetItem* drafts = page->Tree()->topLevelItem(CMessagePage::kDraftsNode);
        QCOMPARE(drafts->childCount(), 1);
        QCOMPARE(drafts->child(0)->text(0), FormatText(Str(3603), "赵强", "水费草稿"));
        QString recipients;
        WhenModal<CSmsEditDlg>([&recipients](CSmsEditDlg* dlg) {
            recipients = dlg->RecipientsText();
            dlg->EndDialog(IDCANCEL);
        });
        emit page->Tree()->itemActivated(drafts->child(0), 0);
        QCOMPARE(recipients, QStringLiteral("赵强<13800001111>"));

        // Recipients: only mobile numbers, by name, pinyin or digits; the picker lists them in the phone's order.

        CSelectContactOrNumber picker(program.gate);
        QVERIFY(picker.CreateModeless());
        QTRY_VERIFY_WITH_TIMEOUT(!picker.IsLoading(), kWaitMs);
        QCOMPARE(picker.Rows(), (QStringList{"王五<13900002222>", "赵六<13700003333>", "赵强<13800001111>"}));
        picker.EndDialog(IDCANCEL);

        CSmsEditDlg dialog(program.gate, CSmsEditDlg::NewMessage);
        dialog.SetRecipients(QStringLiteral("10086;"));
        QVERIFY(dialog.CreateModeless());
        dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.CandidatesLoaded(), kWaitMs);
        auto* field = qobject_cast<QLineEdit*>(GetPluginByName(&dialog, QStringLiteral("recipients_edit")));
        QVERIFY(field != nullptr);
        const struct {
            const char* typed;
            QStringList offered;
        } typed[] = {{"zq", {"赵强<13800001111>"}},
                     {"Zhao", {"赵六<13700003333>", "赵强<13800001111>"}},
                     {"赵", {"赵六<13700003333>", "赵强<13800001111>"}},
                     {"2222", {"王五<13900002222>"}},
                     {"xyz", {}}};
        for (const auto& c : typed) {
            field->setText(QStringLiteral("10086;"));
            field->setFocus();
            field->end(false);
            // Chinese arrives as an input method's commit, as from a user's IME.
            QInputMethodEvent commit;
            commit.setCommitString(QString::fromUtf8(c.typed));
            QApplication::sendEvent(field, &commit);
            QStringList shown;
            if (dialog.Completer()->popup()->isVisible()) {
                shown = qobject_cast<QStringListModel*>(dialog.Completer()->model())->stringList();
            }
            QCOMPARE(shown, c.offered);
        }
        field->setText(QStringLiteral("10086;"));
        field->end(false);
        QTest::keyClicks(field, QStringLiteral("wangwu"));
        QTRY_VERIFY_WITH_TIMEOUT(dialog.Completer()->popup()->isVisible(), kWaitMs);
        QTest::keyClick(dialog.Completer()->popup(), Qt::Key_Down);
        QTest::keyClick(dialog.Completer()->popup(), Qt::Key_Return);
        QCOMPARE(field->text(), QStringLiteral("10086;王五<13900002222>;"));
        dialog.EndDialog(IDCANCEL);
    }

    void overviewSelectionMeansWholeConversations() {
        Program program;
        QVERIFY(program.Start({QStringLiteral("OVERVIEW-1")}));
        CAutoAnswer answer(1);
        const QStringList numbers{"10086", "95555", "13800138000"};
        for (const QString& number : numbers) {
            for (int i = 0; i < 8; ++i) {
                QVERIFY(AddSms(1, number, QString("m%1").arg(i), 1 + i));
            }
        }
        QVERIFY(AddSms(3, "10086", "draft", 9));
        auto page = MakePage(program.gate);
        QVERIFY(page);
        QCOMPARE(page->CurrentView(), int(CMessagePage::ViewAll));
        CMsgContentView* view = page->View(CMessagePage::ViewAll);
        QVERIFY(RunJs(view, "document.querySelectorAll('input.msg_selector').length").toInt() < 24);

        QTemporaryDir dir;
        const QString path = dir.filePath("all.csv");
        page->SetExportPathChooser([path] { return path; });
        auto* all = qobject_cast<QAbstractButton*>(GetPluginByName(page.get(), "select_all_messages_checkbox"));
        all->click();
        QTRY_COMPARE_WITH_TIMEOUT(all->text(), QStringLiteral("全选（已选24条）"), kWaitMs);
        const int uiThreadCalls = vexa::sim::UiThreadOperations();
        vexa::test::AsProgram([&] { page->ExportSelected(); });
        QTRY_COMPARE_WITH_TIMEOUT(CVexaMessageBoxImpl::LastText(),
                                  QStringLiteral("成功导出 24 条信息到CSV文件！\n草稿箱中的1条草稿不在所选范围内，没有导出。"),
                                  kWaitMs);
        QCOMPARE(vexa::sim::UiThreadOperations(), uiThreadCalls); // one query per message, all on the worker

        // One conversation ticked by its number box: all eight of its messages go.
        view->SelectAll(false);
        RunJs(view, "document.querySelector('input.msg_tel_group_selector').click(); 1");
        page->DeleteSelected();
        QTRY_COMPARE_WITH_TIMEOUT(page->Data().Conversations().size(), std::size_t(2), kWaitMs);
        QCOMPARE(page->Data().Messages().size(), std::size_t(16));

        page->SetSearch(QStringLiteral("m7"));
        QTRY_COMPARE_WITH_TIMEOUT(page->Caption(), FormatText(Str(2709), "m7", 2), kWaitMs);
    }

    void conversationListFollowsReadingSendingSortingAndArrivals() {
        Program program;
        QVERIFY(program.Start({QStringLiteral("TREE-1")}));
        QVERIFY(AddSms(1, "10086", "余额", 1, false));
        for (const char* number : {"13800000001", "13900000002"}) {
            QVERIFY(AddContact(QStringLiteral("张伟"), {{2, number}}));
            QVERIFY(AddSms(1, number, "hi", 2));
        }
        for (int i = 0; i < 60; ++i) {
            QVERIFY(AddSms(1, QStringLiteral("150000000%1").arg(i, 2, 10, QChar(u'0')), "x", 3 + i % 20));
        }
        auto page = MakePage(program.gate);
        QVERIFY(page);
        QTreeWidget* tree = page->Tree();
        QTreeWidgetItem* all = tree->topLevelItem(CMessagePage::kAllNode);
        const auto child = [all](const QString& number) -> QTreeWidgetItem* {
            for (int i = 0; i < all->childCount(); ++i) {
                if (all->child(i)->toolTip(0) == number) {
                    return all->child(i);
                }
            }
            return nullptr;
        };
        QVERIFY(child("13900000002")->text(0).startsWith(QStringLiteral("张伟（尾号0002）")));
        QVERIFY(child("10086")->text(0).endsWith(QStringLiteral("●")));
        QVERIFY(all->indexOfChild(child("10086")) > 0);

        page->ShowConversation(QStringLiteral("10086"));
        QVERIFY(!child("10086")->text(0).endsWith(QStringLiteral("●")));
        QTRY_VERIFY_WITH_TIMEOUT(
            [] {
                std::vector<MSGINFO> list;
                Session()->GetSmsStore()->ListSms(&list);
                return std::all_of(list.begin(), list.end(), [](const MSGINFO& m) { return m.read != 0; });
            }(),
            kWaitMs);

        page->Reply()->SetText(QStringLiteral("收到"));
        Answering(1, [&] { page->Reply()->Send(1, false); });
        QTRY_COMPARE_WITH_TIMEOUT(tree->topLevelItem(CMessagePage::kAllNode)->child(0)->toolTip(0),
                                  QStringLiteral("10086"), kWaitMs);
        QVERIFY(Settled(page.get()));

        // By time: the conversation just written to is the newest, first in the tree and in the cards.
        page->SortConversations(messages::ConversationOrder::ByTime);
        page->ShowAll();
        QVERIFY(page->WaitForView(kWaitMs));
        all = tree->topLevelItem(CMessagePage::kAllNode);
        QCOMPARE(all->child(0)->toolTip(0), QStringLiteral("10086"));
        QCOMPARE(RunJs(page->View(CMessagePage::ViewAll), "groups[0].TelNum").toString(), QStringLiteral("10086"));

        tree->scrollToItem(all->child(30), QAbstractItemView::PositionAtTop);
        const QString anchor = tree->itemAt(0, 0)->toolTip(0);
        QVERIFY(!anchor.isEmpty());
        QVERIFY(tree->verticalScrollBar()->value() > 0);
        QVERIFY(AddSms(1, "19999999999", "new", 28));
        page->OnIncomingMessage();
        QTRY_COMPARE_WITH_TIMEOUT(page->Data().Conversations().size(), std::size_t(64), kWaitMs);
        QVERIFY(Settled(page.get()));
        QCOMPARE(tree->itemAt(0, 0)->toolTip(0), anchor);
    }

    void failedSendsListTheNumbersAndCtrlEnterSends() {
        Program program;
        vexa::sim::SimFaults faults;
        faults.failNthWrite = 1; // the first send fails on the phone
        TestPhoneIdentity identity{QStringLiteral("SEND-1")};
        identity.dualSim = false;
        QVERIFY(program.Start(identity, faults));
        CQuickReplyWnd reply(program.gate, nullptr, false);
        QVERIFY(reply.Create());
        reply.SetPauseMs(10);
        reply.show();
        QVERIFY(!reply.DualLayout());
        reply.SetText("hello");
        // A name is not a number: refused before anything reaches the phone (whose first write would fail).
        reply.SetRecipientsSource([] { return QStringList{"10086", "abc"}; });
        QCOMPARE(Told([&] { reply.Send(1, false); }), FormatText(Str(2708), "abc"));
        reply.SetRecipientsSource([] { return QStringList{"10086", "10010"}; });
        CVexaMessageBoxImpl::SetNextAnswer(1);
        reply.Send(1, false);
        QCOMPARE(reply.FailedText(), QStringLiteral("10086"));
        QCOMPARE(CVexaMessageBoxImpl::LastCaption(), Str(2425)); // which were sent: MessageOpsTest

        reply.SetText(QString());
        reply.SetRecipientsSource([] { return QStringList{"10086"}; });
        QTest::keyClicks(reply.Edit(), "hi");
        QTest::keyClick(reply.Edit(), Qt::Key_Return);
        QCOMPARE(Told([&] { QTest::keyClick(reply.Edit(), Qt::Key_Return, Qt::ControlModifier); }), Str(2422));
        QVERIFY(reply.Text().isEmpty());
        std::vector<MSGINFO> sent;
        QVERIFY(Session()->GetSmsStore()->ListSms(&sent));
        QVERIFY(std::any_of(sent.begin(), sent.end(), [](const MSGINFO& m) { return m.number == "10086" && m.content == "hi\n"; }));
    }

    void sendKeysAndSimButtons() {
        Program program;
        TestPhoneIdentity identity{QStringLiteral("KEYS-1")};
        identity.dualSim = true; // state 3: both cards
        QVERIFY(program.Start(identity));
        CQuickReplyWnd reply(program.gate, nullptr, false);
        QVERIFY(reply.Create());
        reply.show();
        QTRY_VERIFY_WITH_TIMEOUT(reply.DualLayout(), kWaitMs); // which buttons for which cards: SimButtons
        reply.SetRecipient("10086");
        reply.Edit()->setFocus();
        QTest::keyClicks(reply.Edit(), "ab");
        QTest::keyClick(reply.Edit(), Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClick(reply.Edit(), Qt::Key_Return);
        QCOMPARE(reply.Text(), QStringLiteral("ab\n"));
        std::vector<MSGINFO> sent;
        QVERIFY(Session()->GetSmsStore()->ListSms(&sent));
        QVERIFY(sent.empty());
        QCOMPARE(Plugin_GetText(GetPluginByName(&reply, "show_remaind_characters_stc")), FormatText(Str(2013), 157, 1));
        // A draft for one recipient is written by the worker, never by the UI thread.
        const int uiThreadCalls = vexa::sim::UiThreadOperations();
        reply.SetText(QStringLiteral("稍后再发"));
        QCOMPARE(Told([&] { vexa::test::AsProgram([&] { reply.Save(); }); }), Str(2431));
        QCOMPARE(vexa::sim::UiThreadOperations(), uiThreadCalls);
    }


    void dualSimButtonsShowTheirWholeLabels() {
        CSessionGate gate;
        CSmsEditDlg dialog(gate, CSmsEditDlg::Forward);
        QVERIFY(dialog.CreateModeless());
        dialog.Reply()->ShowSimButtons(true, 3, QStringLiteral("中国移动"), QStringLiteral("中国联通"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (const char* name : {"sim_1_send", "sim_2_send"}) {
            auto* button = qobject_cast<QPushButton*>(GetPluginByName(dialog.Reply(), QString::fromLatin1(name)));
            QVERIFY(button != nullptr);
            const int text = button->fontMetrics().horizontalAdvance(button->text());
            QTRY_VERIFY2_WITH_TIMEOUT(button->contentsRect().width() >= text, name, kWaitMs);
            QTRY_VERIFY2_WITH_TIMEOUT(button->mapTo(&dialog, QPoint(button->width(), 0)).x() <= dialog.width(), name, kWaitMs);
        }
    }

    void reminderTimers() {
        const struct {
            const char *number, *name, *text, *detail;
        } details[] = {{"10086", "10086", "\n  第一行 \n第二行", "第一行"},
                       {"13800138000", "赵强", "", "13800138000"},
                       {"13800138000", "赵强", "好", "13800138000\n好"},
                       {"", "", "一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十多",
                        "一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三四五六七八九…"}};
        for (const auto& d : details) {
            QCOMPARE(messages::ReminderDetail(QString::fromUtf8(d.number), QString::fromUtf8(d.name),
                                              QString::fromUtf8(d.text)),
                     QString::fromUtf8(d.detail));
        }
        auto* remind = CRemindDialog::ShowReminder(CRemindDialog::Message, FormatText(Str(2437), "10086"));
        QVERIFY(remind != nullptr);
        QPointer<CRemindDialog> alive(remind);
        QCOMPARE(remind->TimerInterval(), CRemindDialog::kOpenMs);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(remind, &enter);
        QCOMPARE(remind->TimerInterval(), 0);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(remind, &leave);
        QCOMPARE(remind->TimerInterval(), CRemindDialog::kAfterLeaveMs);
        QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 6000);

        // A burst stacks upwards from the corner without overlap; the sixth pushes the oldest out.
        std::vector<QPointer<CRemindDialog>> burst;
        for (int i = 0; i < CRemindDialog::kMaxOpen + 1; ++i) {
            burst.emplace_back(CRemindDialog::ShowReminder(CRemindDialog::Message, QString::number(i)));
        }
        QTRY_VERIFY(burst.front().isNull());
        const std::vector<CRemindDialog*> open = CRemindDialog::OpenReminders();
        QCOMPARE(open.size(), std::size_t(CRemindDialog::kMaxOpen));
        for (std::size_t i = 1; i < open.size(); ++i) {
            QVERIFY2(open[i]->geometry().top() > open[i - 1]->geometry().bottom(), "newer reminders sit lower");
        }
        for (CRemindDialog* r : open) {
            r->close();
        }
        QTRY_VERIFY(CRemindDialog::OpenReminders().empty());
    }

    void mmsEditorRefusesStoresAndOpensFromAConversation() {
        Program program;
        QVERIFY(program.Start({QStringLiteral("MMS-0001")}));
        struct Case {
            const char* what;
            std::function<void(CMmsEditDlg&)> act;
            QString refusal;
        };
        // One of the message's limits (the others: MmsTest) and the editor's own paging refusals.
        const Case cases[] = {
            {"an eleventh slide", [](CMmsEditDlg& d) { d.AddSlide(); }, QStringLiteral("已达到最大页数")},
            {"before the first page", [](CMmsEditDlg& d) { d.GoToSlide(-1); }, QStringLiteral("当前已经是第一页")},
            {"past the last page",
             [](CMmsEditDlg& d) {
                 CVexaMessageBoxImpl::SetNextAnswer(1);
                 d.GoToSlide(mms::kMaxSlides - 1);
                 d.GoToSlide(1);
             },
             QStringLiteral("当前已是最后一页")},
        };
        for (const Case& c : cases) {
            auto dialog = Editor(program.gate, Composed(mms::kMaxMessageBytes));
            QVERIFY(dialog->CreateModeless());
            CVexaMessageBoxImpl::SetNextAnswer(1);
            c.act(*dialog);
            QVERIFY2(CVexaMessageBoxImpl::LastText() == c.refusal, c.what);
            QVERIFY2(!dialog->IsEnded(), c.what);
            QVERIFY2(Drafts().empty(), c.what);
            dialog->EndDialog(0);
        }
        // A name that is no number is neither sent to nor kept as a draft (MmsTest has both texts).
        auto named = Editor(program.gate, Composed(20000));
        named->SetRecipients(QStringLiteral("abc"));
        QVERIFY(named->CreateModeless());
        CVexaMessageBoxImpl::SetNextAnswer(1);
        QVERIFY(!named->Submit(false, 1));
        QCOMPARE(CVexaMessageBoxImpl::LastText(), QStringLiteral("以下收件人不是有效的电话号码，彩信没有保存：\nabc"));
        QVERIFY(Drafts().empty());
        std::vector<MSGINFO> listed;
        Session()->GetMmsStore()->ListMms(&listed);
        QVERIFY(listed.empty());

        const mms::MediaMsg full = Composed(mms::kMaxMessageBytes);
        auto editor = Editor(program.gate, full);
        editor->SetDualSim(true);
        editor->SetSimLabels(QStringLiteral("SIM1:中国移动"), QStringLiteral("SIM2:中国联通"));
        QVERIFY(editor->CreateModeless());
        QCOMPARE(WidgetText(editor.get(), "caption_title"), QStringLiteral("编辑彩信"));
        QCOMPARE(WidgetText(editor.get(), "sim2_send_mms_button"), QStringLiteral("SIM2:中国联通")); // as the SMS window
        QCOMPARE(WidgetText(editor.get(), "mms_theme_count"), QStringLiteral("40/40"));
        CVexaMessageBoxImpl::SetNextAnswer(1);
        QVERIFY(editor->Submit(false, 1));
        QCOMPARE(CVexaMessageBoxImpl::LastText(), QStringLiteral("彩信创建成功，已保存至草稿箱。"));
        QVERIFY(editor->IsEnded());

        const std::vector<MSGINFO> drafts = Drafts();
        QCOMPARE(drafts.size(), std::size_t(1));
        QCOMPARE(drafts[0].id, editor->StoredId());
        QCOMPARE(drafts[0].content, full.Subject());
        mms::MediaMsg back;
        QVERIFY(messages::ReadStoredMms(Session()->GetMmsStore(), drafts[0].id, &back).ok);
        QVERIFY(back.Slides() == full.Slides());

        mms::MediaMsg msg = Composed(20000);
        msg.SetRecipient({QStringLiteral("10086")});
        const messages::MmsSubmit sent = messages::SubmitMms(Session()->GetMmsStore(), msg, true, 1);
        QVERIFY(sent.ok);

        auto page = MakePage(program.gate);
        QVERIFY(page);
        page->ShowConversation(QStringLiteral("10086"));
        QVERIFY(page->WaitForView(kWaitMs));

        QString shownPage, shownText, shownSubject;
        bool opened = false, subjectWraps = false, picture = false;
        WhenModal<CMmsPreviewDlg>(
            [&](CMmsPreviewDlg* preview) {
                opened = true;
                preview->SetPaused(true);
                shownPage = WidgetText(preview, "curr_play_page");
                shownText = preview->Player()->ShownText();
                picture = preview->Player()->ShowsPicture();
                // A subject of 40 characters wraps inside the dialog rather than running past its edge.
                QWidget* subject = GetPluginByName(preview, QStringLiteral("mms_preview_subject"));
                const QFontMetrics metrics = subject->fontMetrics();
                subjectWraps = subject->mapTo(preview, QPoint(subject->width(), 0)).x() <= preview->width() &&
                               (metrics.horizontalAdvance(msg.Subject()) <= subject->contentsRect().width() ||
                                subject->height() >= 2 * metrics.lineSpacing());
                shownSubject = Plugin_GetText(subject);
                preview->EndDialog(0);
            },
            kWaitMs);
        page->View(CMessagePage::ViewConversation)
            ->page()
            ->runJavaScript(QStringLiteral("document.getElementById('open_mms_%1').click(); 1").arg(sent.id));
        QTRY_VERIFY_WITH_TIMEOUT(opened, kWaitMs);
        QCOMPARE(shownPage, QStringLiteral("1/10"));
        QCOMPARE(shownText, QStringLiteral("第1页"));
        QCOMPARE(shownSubject, msg.Subject());
        QVERIFY(subjectWraps);
        QVERIFY(picture);
    }


    void mmsPicturesAndSoundsThroughTheButtons() {
        CSessionGate gate; // no phone: these commands never reach one
        QTemporaryDir files;
        auto write = [&](const QString& name, const QByteArray& bytes) {
            vexa::test::WriteFile(files.filePath(name), bytes);
            return files.filePath(name);
        };
        const QString big = write(QStringLiteral("big.jpg"), pictures::test::MakeJpeg(0, 641, 480));
        const QString broken = write(QStringLiteral("broken.jpg"), pictures::test::MakeJpeg(0, 200, 100).left(300));
        const QString sound = write(QStringLiteral("tone.mid"), QByteArray("MThd\0\0\0\x06", 8));
        QString next;
        auto dialog = Editor(gate, mms::MediaMsg{});
        dialog->SetFileChooser([&](QWidget*, CMmsEditDlg::FileKind) { return next; });
        QVERIFY(dialog->CreateModeless());
        QCOMPARE(WidgetText(dialog.get(), "caption_title"), QStringLiteral("新建彩信"));

        QCOMPARE(Told([&] { dialog->RemovePicture(); }), QStringLiteral("当前页没有图片"));
        QCOMPARE(Told([&] { dialog->RemoveSound(); }), QStringLiteral("当前页没有声音"));

        // Text typed before there is a slide (the first key makes it) stays through adding a picture.
        auto* area = qobject_cast<QPlainTextEdit*>(GetPluginByName(dialog.get(), QStringLiteral("mms_text_area")));
        QTest::keyClicks(area, QStringLiteral("hello"));
        next = big;
        dialog->AddPicture();
        next = sound;
        dialog->AddSound();
        mms::MediaMsg msg = dialog->Message();
        QCOMPARE(msg.SlideCount(), 1);
        QCOMPARE(msg.GetSlide(0)->image.name, QStringLiteral("stretch_0001.jpg"));
        QCOMPARE(msg.GetSlide(0)->sound.name, QStringLiteral("tone.mid"));
        QCOMPARE(msg.GetSlide(0)->text, QStringLiteral("hello"));
        QCOMPARE(WidgetText(dialog.get(), "mms_musicPic_area"), QStringLiteral("♪ tone.mid"));

        next = broken;
        QCOMPARE(Told([&] { dialog->AddPicture(); }), QStringLiteral("无效的图片文件！"));
        QCOMPARE(dialog->Message().GetSlide(0)->image.name, QStringLiteral("stretch_0001.jpg")); // kept

        // A new slide goes after the current one; the preview gets the message without empty slides.
        dialog->AddSlide();
        QCOMPARE(dialog->CurrentSlide(), 1);
        QCOMPARE(WidgetText(dialog.get(), "page_number"), QStringLiteral("2/2"));
        int previewed = -1;
        dialog->SetPreviewHook([&](const mms::MediaMsg& m) { previewed = m.SlideCount(); });
        dialog->Preview();
        QCOMPARE(previewed, 1);
        dialog->RemoveSlide();
        QCOMPARE(WidgetText(dialog.get(), "page_number"), QStringLiteral("1/1"));
        dialog->RemovePicture();
        QVERIFY(dialog->Message().GetSlide(0)->image.IsEmpty());
        dialog->EndDialog(0);
    }

    void mmsPreviewPlaysEachSlideForItsTimeAndSavesAttachments() {
        mms::MediaMsg msg;
        for (int ms : {1000, 2000, 1000}) {
            mms::Slide s;
            s.durationMs = ms;
            s.text = QStringLiteral("slide of %1 ms ").arg(ms).repeated(20);
            msg.AddSlide(s);
        }
        CMmsPreviewDlg preview(msg);
        QVERIFY(preview.CreateModeless());
        preview.SetPaused(true);
        QCOMPARE(WidgetText(&preview, "total_time"), QStringLiteral("00:04"));
        QVERIFY(preview.Player()->ShownText().startsWith(QStringLiteral("slide of 1000 ms")));
        preview.SeekTo(1500); // which slide each time falls in: MmsPlayClock
        QCOMPARE(WidgetText(&preview, "curr_play_page"), QStringLiteral("2/3"));
        QVERIFY(preview.Player()->width() <= preview.width());

        preview.SeekTo(900);
        preview.SetPaused(false);
        QTRY_COMPARE_WITH_TIMEOUT(preview.CurrentSlide(), 1, kWaitMs);
        QCOMPARE(WidgetText(&preview, "pause_play"), Str(3266));
        QTest::mouseClick(qobject_cast<QPushButton*>(GetPluginByName(&preview, QStringLiteral("pause_play"))), Qt::LeftButton);
        QVERIFY(preview.IsPaused());
        const qint64 held = preview.Elapsed();
        // Paused: three ticks' time passes without the clock moving.
        QVERIFY(!QTest::qWaitFor([&] { return preview.Elapsed() != held; }, 3 * CMmsPreviewDlg::kTickMs));
        preview.EndDialog(0);

        // Beside what is there and never over it; a name from the message stays inside the folder.
        mms::MediaMsg attached;
        mms::Slide parts;
        parts.image = {QStringLiteral("../p.jpg"), QByteArray("JPEG")};
        parts.sound = {QStringLiteral("s.mid"), QByteArray("MThd")};
        attached.AddSlide(parts);
        mms::Slide words;
        words.text = QStringLiteral("only text");
        attached.AddSlide(words);
        QTemporaryDir folder;
        QVERIFY(vexa::test::WriteFile(folder.filePath("p.jpg"), "old"));
        CMmsPreviewDlg saver(attached);
        QString picked = folder.path();
        saver.SetFolderChooser([&picked](QWidget*) { return picked; });
        QVERIFY(saver.CreateModeless());
        saver.SetPaused(true);
        CVexaMessageBoxImpl::SetNextAnswer(1);
        QTest::mouseClick(qobject_cast<QPushButton*>(GetPluginByName(&saver, "save_attachment_btn")), Qt::LeftButton);
        QVERIFY(CVexaMessageBoxImpl::LastText().startsWith(QStringLiteral("已保存到")));
        const std::pair<const char*, QByteArray> files[] = {{"p.jpg", "old"}, {"p (2).jpg", "JPEG"}, {"s.mid", "MThd"}};
        for (const auto& [name, bytes] : files) {
            QFile file(folder.filePath(QString::fromUtf8(name)));
            QVERIFY2(file.open(QIODevice::ReadOnly), name);
            QCOMPARE(file.readAll(), bytes);
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 3);
        QVERIFY(!QFileInfo::exists(QFileInfo(folder.path()).dir().filePath("p.jpg")));
        picked.clear(); // cancelled: nothing more
        saver.SaveAttachments();
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 3);
        saver.SeekTo(5500);
        QCOMPARE(Told([&] { saver.SaveAttachments(); }), QStringLiteral("当前页没有附件"));
        saver.EndDialog(0);
    }


    void incomingMessageShowsReminderAndLandsInItsConversation() {
        auto folders = std::make_unique<ScopedTestFolders>();
        PCL_Load();
        PCL_SetNotifyMessageIn(true);
        auto phones = MakeSimBackend();
        TestPhoneIdentity identity{QStringLiteral("INCOMING-1")};
        QVERIFY(phones->CreatePhone(identity));
        vexa::sim::UseSimulatedPhones();
        QVERIFY(ppInitialize());
        QTemporaryDir nameDir;
        CDeviceList devices;
        DeviceNameAdapter names;
        QVERIFY(names.Load(nameDir.filePath("MapInfo.ini")));
        {
            CMainFrame frame(devices, names);
            frame.SetDetectionInterval(150);
            QVERIFY(frame.Create());
            frame.show();
            QTRY_VERIFY_WITH_TIMEOUT(frame.IsConnected(), kWaitMs);
            frame.SelectTab(CMainFrame::TabMessage);
            auto* page = dynamic_cast<CMessagePage*>(frame.Page(CMainFrame::TabMessage));
            QVERIFY(page != nullptr);
            QTRY_VERIFY_WITH_TIMEOUT(page->PageState() == CMessagePage::State::Ready, kWaitMs);
            QVERIFY(page->Data().ConversationMessages("13911112222").empty());

            QString error;
            QVERIFY(vexa::sim::RaiseEvent(identity.serial, 2, "13911112222", QStringLiteral("晚上一起吃饭"), &error));
            QTRY_VERIFY_WITH_TIMEOUT(!CRemindDialog::OpenReminders().empty(), 3000);
            CRemindDialog* remind = CRemindDialog::OpenReminders().back();
            QCOMPARE(remind->Text(), FormatText(Str(2437), "13911112222"));
            QCOMPARE(remind->Detail(), QStringLiteral("晚上一起吃饭"));
            QTRY_COMPARE_WITH_TIMEOUT(page->Data().ConversationMessages("13911112222").size(), std::size_t(1), kWaitMs);
            QCOMPARE(page->Data().ConversationMessages("13911112222")[0].content, QStringLiteral("晚上一起吃饭"));
            frame.SelectTab(CMainFrame::TabHome);
            QTest::mouseClick(GetPluginByName(remind, QStringLiteral("button_reply")), Qt::LeftButton);
            QCOMPARE(frame.ActiveTab(), int(CMainFrame::TabMessage));
            QTRY_COMPARE(frame.focusWidget(), static_cast<QWidget*>(page->Reply()->Edit()));

            // Messages that reach the phone unannounced show after "刷新".
            const auto held = [page] { return page->Data().Messages().size() + page->Data().Drafts().size(); };
            const std::size_t before = held();
            vexa::sim::SeedOptions more;
            more.sms = 40;
            more.smallStores = more.screenFrames = false; // a short write, beside the frame's own reads
            QVERIFY2(vexa::sim::SeedPhone(identity.serial, more, &error), qPrintable(error));
            QCOMPARE(held(), before);
            auto* refresh = qobject_cast<QAbstractButton*>(GetPluginByName(page, QStringLiteral("refresh_message_btn")));
            QVERIFY(refresh != nullptr);
            refresh->click();
            QTRY_COMPARE_WITH_TIMEOUT(held(), before + 40, kWaitMs);
            frame.Shutdown();
        }
        ppCleanup();
    }
};

VEXA_QTEST_MAIN(MessagePageTest)
#include "MessagePageTest.moc"
