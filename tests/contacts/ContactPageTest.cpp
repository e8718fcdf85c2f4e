// The contacts tab offscreen against a simulated phone.
#include "ContactGenerator.h"
#include "ControlsTestSupport.h"
#include "SimPageEnvironment.h"
#include "TestFiles.h"
#include "UiThreadCheck.h"
#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "contacts/CCallRecordWnd.h"
#include "contacts/CContactEditDlg.h"
#include "contacts/CEditNameDlg.h"
#include "contacts/CContactPage.h"
#include "contacts/CGroupManageDlg.h"
#include "contacts/CMergeDuplicatesDlg.h"
#include "contacts/CQuickAddContactDlg.h"
#include "contacts/ContactEditUi.h"
#include "contacts/CPbListWnd.h"
#include "contacts/ContactListing.h"
#include "controls/VexaMessageBox.h"
#include "device/SessionGate.h"
#include "platform/CodePage.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"

#include <QDateEdit>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QUrl>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QBuffer>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace {

constexpr int kWaitMs = 8000;

using testdata::AddContact;

// Takes the mail and web addresses the program hands to the desktop while it lives.
class FakeDesktop : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kSchemes[] = {"mailto", "http", "https"};
    FakeDesktop() {
        for (const char* scheme : kSchemes) {
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
        }
    }
    ~FakeDesktop() override {
        for (const char* scheme : kSchemes) {
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        }
    }
    QList<QUrl> opened;

public slots:
    void Open(const QUrl& url) { opened << url; }
};

} // namespace

class ContactPageTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;
    std::unique_ptr<CSimPageEnvironment> m_env;
    CSessionGate m_gate;
    std::unique_ptr<CContactPage> m_page;

    vexa::ContactBook* Book() { return ppGetBridge()->GetSession()->GetContactBook(); }
    QString Path(const QString& name) const { return m_env->Path(name); }

    // A phone with a group of three, one contact without a number and 57 more, some calls.
    void MakePhone() {
        QString error;
        QVERIFY2(vexa::sim::CreatePhone({.model = "V960", .serial = "PAGE-1", .dualSim = true, .simState = 3}, &error),
                 qPrintable(error));
        QVERIFY(ppGetBridge()->ConnectUsbDevice("PAGE-1") != 0);
        vexa::ContactBook* book = Book();
        QCOMPARE(book->LoadContacts(), 1);
        vexa::Group* friends = book->NewGroup();
        friends->SetName("朋友");
        QVERIFY(book->CreateGroup(friends));
        QVERIFY(AddContact(*book, "张三", {"13800138000"}, friends));
        QVERIFY(AddContact(*book, "alice", {"13912345678"}, friends));
        QVERIFY(AddContact(*book, "Tom", {}, friends));
        for (int i = 0; i < 57; ++i) {
            QVERIFY(AddContact(*book, QStringLiteral("李%1").arg(i),
                               {QStringLiteral("1860000%1").arg(i, 4, 10, QChar('0'))}));
        }
        vexa::CallRecordList* calls = ppGetBridge()->GetSession()->GetCallRecords();
        QCOMPARE(calls->LoadCallRecords(), 1);
        const struct {
            const char* number;
            qint64 time;
            int duration;
            int type;
        } records[] = {{"13800138000", 20120725140309, 3725, 1},
                       {"13800138000", 20120726090000, 45, 2},
                       {"95555", 20120727100000, 0, 3}};
        for (const auto& r : records) {
            vexa::CallRecord* record = calls->NewCallRecord();
            record->m_number = r.number;
            record->m_time = vexa::UnpackTime(r.time);
            record->m_duration = r.duration;
            record->m_type = r.type;
            QVERIFY(calls->AddCallRecord(record));
        }
    }

    CPbListWnd& List() { return m_page->List(); }
    QLineEdit* SearchBox() {
        return qobject_cast<QLineEdit*>(GetPluginByName(m_page.get(), QStringLiteral("Contact_search_ctrl")));
    }
    QStringList ListNames() {
        QStringList out;
        for (int i = 0; i < List().Count(); ++i) {
            out << List().At(i).name;
        }
        return out;
    }
    void ClickRow(int row, const char* child = nullptr) {
        QWidget* w = List().Rows().at(static_cast<std::size_t>(row));
        QTRY_VERIFY(w->isVisible()); // rows are shown in slices
        if (child != nullptr) {
            w = Plugin_GetChild(w, QString::fromLatin1(child));
        }
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, child != nullptr ? QPoint(8, w->height() / 2) : QPoint(200, 25));
    }

private slots:
    void initTestCase() { QVERIFY(m_skin.Get() != nullptr); }

    void init() {
        m_env = std::make_unique<CSimPageEnvironment>();
        QVERIFY(m_env->Started());
        MakePhone();
        m_gate.SetUsable(true);
        m_page = std::make_unique<CContactPage>(m_gate);
        QVERIFY(m_page->Create());
        m_page->resize(948, 500);
        m_page->show();
        m_page->OnDeviceConnected();
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsLoading() && !m_page->Nodes().empty(), kWaitMs);
    }
    void cleanup() {
        m_page.reset();
        m_env.reset();
    }

    void browsingRowsScrollSearchAndTheTreeUntilDisconnected() {
        ClickRow(1);
        QCOMPARE(List().Current(), 1);
        QVERIFY(m_page->PreviewText().startsWith("李0\n"));
        QTRY_VERIFY(m_page->PreviewText().contains(Str(687) + QStringLiteral("：18600000000"))); // read by the preview job
        ClickRow(0, "item_check");
        ClickRow(2, "item_check");
        QCOMPARE(List().CheckedCount(), 2);
        QVERIFY(m_page->PreviewText().startsWith(FormatText(Str(293), 2)));
        QTest::mouseClick(GetPluginByName(m_page.get(), "all_sel_btn"), Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
        QCOMPARE(List().CheckedCount(), 60);
        QTest::mouseClick(GetPluginByName(m_page.get(), "all_sel_btn"), Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
        QCOMPARE(List().CheckedCount(), 0);

        // Scrolling shows the index letter for half a second.
        QScrollBar* bar = List().ScrollBar();
        QVERIFY(bar->isVisible());
        QVERIFY(!m_page->IsIndexLetterVisible());
        bar->setValue(0);
        bar->setValue(CPbListWnd::kRowHeight * 3 + 1); // topmost row 3: alice, 李0, 李1, 李10
        QVERIFY(m_page->IsIndexLetterVisible());
        QCOMPARE(m_page->IndexLetterText(), QStringLiteral("L"));
        QCOMPARE(List().TopIndex(), 3);
        QCOMPARE(Plugin_GetText(Plugin_GetChild(List().Rows().front(), "item_name")), QStringLiteral("李10"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsIndexLetterVisible(), 2000);

        bar->setValue(CPbListWnd::kRowHeight); // which letter each name files under: IndexLetterTest
        QWheelEvent wheel(QPointF(50, 50), QPointF(), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(GetPluginByName(m_page.get(), "pblist_viewport"), &wheel);
        QVERIFY(bar->value() > CPbListWnd::kRowHeight + 1);

        // The search filters as the user types (what it finds: ContactListingTest).
        QTest::keyClicks(SearchBox(), "138");
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsSearching(), kWaitMs);
        QCOMPARE(ListNames(), QStringList{"张三"});
        QCOMPARE(List().Caption(), FormatText(Str(2312), 1));
        SearchBox()->clear();
        QCOMPARE(List().Caption(), Str(346));
        QCOMPARE(List().Count(), 60);

        auto* tree = qobject_cast<QTreeWidget*>(GetPluginByName(m_page.get(), QStringLiteral("listboxex_tree_ctrl")));
        QVERIFY(tree != nullptr);
        QCOMPARE(tree->topLevelItemCount(), 1);
        QTreeWidgetItem* root = tree->topLevelItem(0);
        QVERIFY(root->child(0)->text(0).endsWith("(60)")); // which nodes, in which order: ContactListingTest
        QTreeWidgetItem* group = root->child(root->childCount() - 1);
        QCOMPARE(group->text(0), QStringLiteral("朋友(3)"));

        tree->scrollToItem(group);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualItemRect(group).center());
        QCOMPARE(m_page->CurrentNode(), group->data(0, Qt::UserRole).toInt());
        QCOMPARE(List().Caption(), QStringLiteral("朋友"));
        QVERIFY(m_page->PreviewText().startsWith("alice\n"));
        QTRY_VERIFY(List().Rows().at(2)->isVisible()); // three members: three rows, the rest hidden
        QVERIFY(List().Rows().at(3)->isHidden());

        QVERIFY(m_page->SelectNode(contacts::NodeUngrouped));
        QCOMPARE(List().Caption(), Str(272));

        m_page->OnDeviceDisconnected();
        QCOMPARE(List().Count(), 0);
        QVERIFY(m_page->Nodes().empty());
        QVERIFY(Plugin_IsVisible(GetPluginByName(m_page.get(), "contact_disconnected")));
        QVERIFY(!Plugin_IsVisible(GetPluginByName(m_page.get(), "contact_view")));
    }

    void exportAndImportThroughTheDialogs() {
        QVERIFY(!Answering(1, [&] { return m_page->Export(true); }).ran);
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(345));
        ClickRow(0, "item_check");
        ClickRow(1, "item_check");
        const QString csv = Path("two.csv");
        m_page->SetFileChooser([&](QWidget*, int kind) { return kind == 2 ? QStringList{csv} : QStringList{}; });
        QVERIFY(Answering(1, [&] { return m_page->Export(true); }).ran);
        QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(299), 2));

        // The file comes back in with its group after a yes to the group question.
        m_page->SetFileChooser([&](QWidget*, int kind) { return kind == 0 ? QStringList{csv} : QStringList{}; });
        QCOMPARE(Answering(6, [&] { return m_page->Import(true); }).result, 2);
        QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(288), 2));
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsLoading() && List().Count() == 62, kWaitMs);
        QCOMPARE(m_page->Nodes().back().caption, QStringLiteral("朋友")); // the group node comes last
        QCOMPARE(m_page->Nodes().back().count, 4); // alice was in it, 李0 was not

        // Files are read by their names, whichever chooser entry picked them.
        QVERIFY(vexa::test::WriteFile(Path("row.csv"), "Name,Mobile\r\nRow Person,1\r\n"));
        QVERIFY(vexa::test::WriteFile(Path("card.vcf"), "BEGIN:VCARD\r\nFN:Card Person\r\nEND:VCARD\r\n"));
        m_page->SetFileChooser([&](QWidget*, int) { return QStringList{Path("card.vcf"), Path("row.csv")}; });
        QCOMPARE(Answering(1, [&] { return m_page->Import(false); }).count, 2);
        QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(288), 2));
    }

    void callRecordsSearchShowExportDeleteAndFillInSlices() {
        // The frame hands the message action in before the page is made.
        QStringList sent, added, expectSent, expectAdded;
        CContactPage page(m_gate);
        page.SetSendMessage([&sent](QWidget*, const QString& number) { sent << number; });
        QVERIFY(page.Create());
        CCallRecordWnd* ownCalls = page.CallRecords();
        ownCalls->SetAddContact([&added](QWidget*, const QString& number) {
            added << number;
            return true;
        });
        ownCalls->Reload();
        const struct {
            const char* key;
            int category;
            std::size_t shown;
            QString chosen; // stays chosen while listed, the first row otherwise
        } steps[] = {{"", 0, 2, "95555"},       {"zs", 0, 1, "13800138000"}, {"", 0, 2, "13800138000"},
                     {"", 2, 1, "13800138000"}, {"955", 0, 1, "95555"}};
        for (const auto& step : steps) {
            ownCalls->Search(QString::fromLatin1(step.key)); // as typed into "record_search"
            ownCalls->SelectCategory(step.category);
            QCOMPARE(ownCalls->Groups().size(), step.shown);
            QCOMPARE(ownCalls->DetailText("record_number"), step.chosen);
            const bool nobodys = step.chosen == QStringLiteral("95555"); // only those become a contact
            QCOMPARE(Plugin_IsVisible(GetPluginByName(ownCalls, "record_add_contact")), nobodys);
            QVERIFY(ownCalls->SendMessageToSelected());
            QCOMPARE(ownCalls->AddSelectedToContacts(), nobodys);
            expectSent << step.chosen;
            expectAdded << (nobodys ? QStringList{step.chosen} : QStringList());
        }
        ownCalls->Reload(); // a reread keeps the chosen number too
        QCOMPARE(ownCalls->DetailText("record_number"), QStringLiteral("95555"));
        QCOMPARE(sent, expectSent);
        QCOMPARE(added, expectAdded);

        QTest::mouseClick(GetPluginByName(m_page.get(), "btn_for_call_record"), Qt::LeftButton);
        QVERIFY(m_page->IsCallRecordViewShown());
        CCallRecordWnd* calls = m_page->CallRecords();
        QCOMPARE(calls->Groups().size(), std::size_t(2));
        QCOMPARE(calls->DetailText("record_name"), Str(181)); // 95555's, the newest, chosen first
        QCOMPARE(calls->DetailText("record_title"), FormatText(Str(840), 3));
        calls->SelectGroup(1);
        QCOMPARE(calls->DetailText("record_name"), QStringLiteral("张三"));
        QCOMPARE(calls->DetailText("record_number_type"), Str(687));
        QCOMPARE(calls->DetailLineCount(), 2);
        calls->SelectCategory(1); // missed; which calls each category holds: CallRecordBookTest
        QCOMPARE(calls->DetailText("record_classify"), Str(848));

        calls->SetPathChooser([&](QWidget*) { return Path("calls.csv"); });
        QCOMPARE(Answering(1, [&] { return calls->Export(); }), FormatText(Str(2300), 3));

        // A click anywhere on a row, its labels included, shows that row's calls in the detail pane.
        calls->SelectCategory(0);
        QTRY_VERIFY(calls->Groups().size() >= 2);
        QWidget* row = GetPluginByName(calls, "call_row_1");
        QVERIFY(row != nullptr);
        QTRY_VERIFY(row->isVisible());
        for (const char* child : {"", "call_name", "call_time"}) {
            QWidget* target = *child ? Plugin_GetChild(row, QString::fromLatin1(child)) : row;
            QVERIFY(target != nullptr);
            calls->SelectGroup(0);
            QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, QPoint(4, target->height() / 2));
            QCOMPARE(calls->DetailText("record_number"), calls->Groups()[1].number);
        }

        calls->SelectGroup(1); // 13800138000
        const int before = calls->TotalRecords();
        const QString question = FormatText(Str(3500), "张三", 2);
        QCOMPARE(Answering(static_cast<int>(IDCANCEL), [&] { return calls->DeleteSelected(); }), question);
        QCOMPARE(calls->TotalRecords(), before);
        CAutoAnswer ok(1);
        QCOMPARE(calls->DeleteSelected(), QString());
        QCOMPARE(calls->TotalRecords(), 1);

        QTest::mouseClick(GetPluginByName(m_page.get(), "btn_for_contact"), Qt::LeftButton);
        QVERIFY(!m_page->IsCallRecordViewShown());

        vexa::CallRecordList* list = ppGetBridge()->GetSession()->GetCallRecords();
        for (int i = 0; i < 70; ++i) {
            vexa::CallRecord* record = list->NewCallRecord();
            record->m_number = QStringLiteral("0100000%1").arg(i, 3, 10, QChar('0'));
            record->m_time = vexa::UnpackTime(20130101000000 + i * 100);
            record->m_type = 1 + i % 3;
            QVERIFY(list->AddCallRecord(record));
        }
        // Filled while the contact view is in front, shown afterwards.
        calls->Reload();
        const int groups = static_cast<int>(calls->Groups().size());
        QCOMPARE(groups, 71); // with 95555's
        QCOMPARE(calls->FilledRows(), CCallRecordWnd::kRowsPerSlice);
        QTRY_COMPARE(calls->FilledRows(), groups);
        m_page->ShowCallRecords(true);
        const QWidget* first = GetPluginByName(calls, "call_row_0");
        QVERIFY(first != nullptr);
        QCOMPARE(Plugin_GetText(Plugin_GetChild(const_cast<QWidget*>(first), "call_number")), Str(181));
        // Another category rebinds the same rows; those left over are hidden.
        calls->SelectCategory(1);
        QTRY_COMPARE(calls->FilledRows(), static_cast<int>(calls->Groups().size()));
        QCOMPARE(GetPluginByName(calls, "call_row_0"), first);
        QVERIFY(GetPluginByName(calls, "call_row_60")->isHidden());
    }

    void editorFiltersWhatIsTypedAndHandsBackTheEdit() {
        vexa::Contact sim;
        sim.SetStorage(vexa::STORAGE_SIM1);
        sim.SetDisplayName(QStringLiteral("欧阳娜娜张三"));
        sim.AddPhone(2, nullptr, QStringLiteral("10086"), nullptr);
        CContactEditDlg simDialog(sim, false, {}, {});
        QVERIFY(simDialog.CreateModeless());
        QLineEdit* name = simDialog.Box(QStringLiteral("modify_name"));
        simDialog.Type(name, QStringLiteral("李"));
        QCOMPARE(name->text(), QStringLiteral("欧阳娜娜张三"));
        QCOMPARE(simDialog.TipText(), FormatText(Str(324), 6, 14));
        QCOMPARE(simDialog.RowCount(CContactEditDlg::SecEmail), 0); // a SIM card keeps a name and a number

        // The name's parts: the parts editor fills them, the name shown is made from them.
        CEditNameDlg parts(vexa::NameParts{}, nullptr);
        QVERIFY(parts.CreateModeless());
        parts.Box(vexa::NAME_FAMILY)->setText(QStringLiteral(" 欧阳 "));
        parts.Box(vexa::NAME_GIVEN)->setText(QStringLiteral("娜娜"));
        parts.Box(vexa::NAME_PHONETIC_FAMILY)->setText(QStringLiteral("ouyang"));
        parts.PressOk();
        vexa::Contact c;
        c.SetDisplayName(QStringLiteral("Ann"));
        CContactEditDlg dialog(c, true, {{7, QStringLiteral("朋友"), false}, {9, QStringLiteral("同事"), true}}, {});
        dialog.m_editNameParts = [&parts](QWidget*, vexa::NameParts* out) {
            *out = parts.Parts();
            return true;
        };
        dialog.SetRingtones(QStringLiteral("/r/Orbit.ogg"),
                            {QStringLiteral("/r/Alpha.ogg"), QStringLiteral("/r/Orbit.ogg")});
        QVERIFY(dialog.CreateModeless());
        dialog.PressEditName();
        // The ringtone menu: the default, the phone's ringtones by name, then a file of the PC.
        QCOMPARE(dialog.RingtoneText(), QStringLiteral("Orbit"));
        dialog.ChooseRingtone(0);
        QCOMPARE(dialog.RingtoneText(), Str(185));
        dialog.m_chooseSound = [](QWidget*) { return QString(); }; // cancelled: nothing changes
        dialog.ChooseRingtone(3);
        QCOMPARE(dialog.RingtoneText(), Str(185));
        dialog.m_chooseSound = [this](QWidget*) { return Path("my song.mp3"); };
        dialog.ChooseRingtone(3);
        QCOMPARE(dialog.RingtoneText(), QStringLiteral("my song"));
        QWidget* row = dialog.AddRow(CContactEditDlg::SecPhone);
        QTRY_VERIFY(row->isVisible()); // new rows show in slices
        auto* label = qobject_cast<QLineEdit*>(Plugin_GetChild(row, QStringLiteral("field_label")));
        QVERIFY(!label->isVisibleTo(&dialog));
        dialog.SetRowType(row, 0);
        QVERIFY(label->isVisibleTo(&dialog));
        label->setText(QStringLiteral("卫星"));
        dialog.Type(qobject_cast<QLineEdit*>(Plugin_GetChild(row, QStringLiteral("field_value"))), QStringLiteral("123"));
        // Nothing to save: the check text shows in the button bar, leaving the fields where they were.
        {
            vexa::Contact empty;
            CContactEditDlg blank(empty, true, {}, {});
            QVERIFY(blank.CreateModeless());
            QWidget* fields = GetPluginByName(&blank, "contact_item_list");
            const QRect before = fields->geometry();
            blank.PressSave();
            QCOMPARE(blank.TipText(), Str(3171));
            QCOMPARE(fields->geometry(), before);
            QCOMPARE(GetPluginByName(&blank, "input_tip")->parentWidget(), GetPluginByName(&blank, "contact_edit_buttons"));
        }
        // The birthday is picked from a calendar and kept in its text form.
        QDateEdit* birthday = dialog.BirthdayBox();
        QVERIFY(birthday->calendarPopup());
        QCOMPARE(birthday->text(), Str(3631));
        birthday->setDate(QDate(1990, 2, 28));
        dialog.PressSave();
        QCOMPARE(dialog.Result(), static_cast<int>(IDOK));
        const contacts::ContactEdit edit = dialog.TakeEdit();
        QCOMPARE(edit.fields->GetPhoneCount(), 1);
        QCOMPARE(edit.fields->GetPhoneAt(0)->GetLabel(), QStringLiteral("卫星"));
        QCOMPARE(edit.groupIds, std::vector<int>{9});
        QCOMPARE(edit.fields->GetBirthday(), QStringLiteral("1990-02-28"));
        QCOMPARE(edit.fields->GetDisplayNameText(), QStringLiteral("欧阳娜娜"));
        vexa::NameParts spelled;
        edit.fields->GetNameParts(&spelled);
        QCOMPARE(spelled.parts[vexa::NAME_PHONETIC_FAMILY], QStringLiteral("ouyang"));
        QVERIFY(edit.ringtoneChanged);
        QCOMPARE(edit.ringtoneUpload, Path("my song.mp3"));
        // A picture is scaled to fit 96 x 96; no picture, cut short or absurd dimensions: 228.
        QImage big(400, 200, QImage::Format_RGB32);
        big.fill(Qt::red);
        QVERIFY(big.save(Path("a\\b:c.png")));
        const QByteArray png = vexa::test::ReadFile(Path("a\\b:c.png"));
        QByteArray huge = png;
        huge.replace(16, 8, QByteArray::fromHex("0001869f0001869f")); // 99999 x 99999 in the header
        const struct {
            const char* name;
            QByteArray bytes;
            bool kept;
        } files[] = {{"a\\b:c.png", png, true},
                     {"cut.png", png.left(60), false},
                     {"text.png", QByteArray("not a picture"), false},
                     {"huge.png", huge, false}};
        for (const auto& f : files) {
            QVERIFY(vexa::test::WriteFile(Path(f.name), f.bytes));
            CContactEditDlg photoDialog(c, false, {}, {});
            QVERIFY(photoDialog.CreateModeless());
            CAutoAnswer ok(1);
            CVexaMessageBoxImpl::SetNextAnswer(1);
            photoDialog.LoadPhoto(Path(f.name));
            photoDialog.PressSave();
            const contacts::ContactEdit photoEdit = photoDialog.TakeEdit();
            QCOMPARE(photoEdit.photoChanged, f.kept);
            QImage kept;
            QCOMPARE(kept.loadFromData(photoEdit.photo), f.kept);
            if (f.kept) {
                QCOMPARE(kept.size(), QSize(96, 48));
            } else {
                QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(228));
            }
        }
    }

    void pageAddsDeletesCopiesAndMerges() {
        const auto reloaded = [this] { QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsLoading(), kWaitMs); };
        const int before = Book()->GetContactCount(vexa::LIST_ALL);
        WhenModal<CContactEditDlg>([](CContactEditDlg* dialog) {
            dialog->Type(dialog->Box(QStringLiteral("modify_name")), QStringLiteral("新朋友"));
            dialog->Type(qobject_cast<QLineEdit*>(Plugin_GetChild(dialog->Row(CContactEditDlg::SecPhone, 0),
                                                                  QStringLiteral("field_value"))),
                         QStringLiteral("10010"));
            dialog->PressSave();
        });
        m_page->NewContact();
        reloaded();
        QCOMPARE(Book()->GetContactCount(vexa::LIST_ALL), before + 1);
        QVERIFY(Book()->FindContactByNumber(QStringLiteral("10010")) != nullptr);
        // The new contact is chosen and shown, wherever the order put it.
        QVERIFY(List().Current() >= 0);
        QCOMPARE(List().At(List().Current()).name, QStringLiteral("新朋友"));
        QVERIFY(m_page->PreviewText().startsWith(QStringLiteral("新朋友\n")));

        // A double click opens the editor on that row; with no row in front editing is off.
        QString edited;
        WhenModal<CContactEditDlg>([&edited](CContactEditDlg* dialog) {
            edited = dialog->Box(QStringLiteral("modify_name"))->text();
            dialog->EndDialog(static_cast<int>(IDCANCEL));
        });
        const int top = List().TopIndex();
        QTest::mouseDClick(List().Rows().front(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 25));
        QCOMPARE(List().Current(), top);
        QCOMPARE(edited, List().At(top).name);
        QWidget* edit = GetPluginByName(m_page.get(), "edit_contact");
        QVERIFY(edit->isEnabled());
        QTest::keyClicks(SearchBox(), "qqqqx"); // no name, number or spelling holds it
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsSearching(), kWaitMs);
        QCOMPARE(List().Count(), 0);
        QVERIFY(!edit->isEnabled());
        SearchBox()->clear();
        QTRY_VERIFY(edit->isEnabled() == (List().Current() >= 0));

        m_page->SelectNode(contacts::NodeAll);
        List().SetCurrent(0, false);
        // Yes to the warning that a SIM card keeps only name and number.
        Answering(6, [&] { m_page->CopyChosen(vexa::STORAGE_SIM1, false); });
        reloaded();
        QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(433), 1));
        QCOMPARE(Book()->GetContactCount(vexa::LIST_SIM1), 1);

        CAutoAnswer ok(1);
        List().SetChecked(1, true);
        List().SetChecked(2, true);
        m_page->DeleteChosen();
        reloaded();
        QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(313), 2));
        QCOMPARE(Book()->GetContactCount(vexa::LIST_ALL), before + 1 + 1 - 2);

        QVERIFY(AddContact(*Book(), QStringLiteral("重复"), {QStringLiteral("10000")}));
        QVERIFY(AddContact(*Book(), QStringLiteral("重复 "), {QStringLiteral("10000")}));
        QVERIFY(AddContact(*Book(), QStringLiteral("手动"), {QStringLiteral("1")}));
        QVERIFY(AddContact(*Book(), QStringLiteral("手动"), {QStringLiteral("2")}));
        WhenModal<CMergeDuplicatesDlg>([](CMergeDuplicatesDlg* dialog) {
            // Two choices, each with its own list: the smart merge's plan first.
            const QString smart = FormatText(Str(3151), "重复", 2, 1);
            QVERIFY(!dialog->HandChosen());
            QCOMPARE(dialog->Lines(), QStringList{smart});
            auto* hand = qobject_cast<QRadioButton*>(GetPluginByName(dialog, "merge_choice_hand"));
            QCOMPARE(hand->text(), Str(309).split("\r\n").at(1).mid(2));
            QTest::mouseClick(hand, Qt::LeftButton, Qt::NoModifier, QPoint(8, hand->height() / 2));
            QVERIFY(dialog->HandChosen());
            QCOMPARE(dialog->Lines(), QStringList{FormatText(Str(3172), "手动", 2)});
            QVERIFY(Plugin_IsVisible(GetPluginByName(dialog, "hand_merge")));
            QVERIFY(!Plugin_IsVisible(GetPluginByName(dialog, "merge_contact")));
            QVERIFY(!Answering(static_cast<int>(IDCANCEL), [&] { return dialog->MergeByHand(0); }));
            QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(3502), "手动", 2));
            QCOMPARE(dialog->Lines().size(), 1); // a no merges nothing
            QVERIFY(dialog->MergeByHand(0));
            QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(3503), 2));
            QVERIFY(!dialog->HandChosen()); // nothing left by hand
            QVERIFY(!hand->isEnabled());
            QCOMPARE(dialog->Lines(), QStringList{smart});
            dialog->PressMerge();
        });
        m_page->MergeDuplicates();
        reloaded();
        QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(317), 1));
    }

    void groupsThroughTheRowMenuQuickAddRemovalAndTheDialog() {
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsLoading(), kWaitMs);
        m_page->SelectNode(contacts::NodeAll);
        const auto node = [this](const QString& caption) {
            for (const contacts::TreeNode& n : m_page->Nodes()) {
                if (n.caption == caption) {
                    return n;
                }
            }
            return contacts::TreeNode{};
        };
        const int before = node(QStringLiteral("朋友")).count;
        QVERIFY(before > 0);
        // Two contacts not in the group yet: the first rows after alice are 李 rows.
        List().SetChecked(1, true);
        List().SetChecked(2, true);
        QMenu* menu = m_page->RowMenu(1);
        QVERIFY(menu != nullptr);
        QCOMPARE(menu->actions().at(0)->text(), Str(3158));
        QCOMPARE(menu->actions().at(1)->text(), Str(275));
        QMenu* groups = menu->actions().at(2)->menu();
        QVERIFY(groups != nullptr);
        QAction* friends = nullptr;
        for (QAction* a : groups->actions()) {
            if (a->text() == QStringLiteral("朋友")) {
                friends = a;
            }
        }
        QVERIFY(friends != nullptr);
        friends->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsLoading() && node(QStringLiteral("朋友")).count == before + 2, kWaitMs);
        QVERIFY(m_page->RowMenu(-1) == nullptr);

        WhenModal<CQuickAddContactDlg>([](CQuickAddContactDlg* dialog) {
            dialog->Fill(QStringLiteral("王芳"), QStringLiteral("1391234x"), 1);
            dialog->PressOk();
            QCOMPARE(dialog->TipText(), Str(3175));
            dialog->Fill(QStringLiteral("王芳"), QStringLiteral("13912340000"), 1);
            dialog->PressOk();
        });
        QVERIFY(RunQuickAddContact(m_page.get(), m_gate, QStringLiteral("13912340000")));
        vexa::Contact* added = Book()->FindContactByNumber(QStringLiteral("13912340000"));
        QVERIFY(added != nullptr);
        QCOMPARE(added->GetDisplayNameText(), QStringLiteral("王芳"));
        QCOMPARE(added->GetGroupCount(), 1);
        QCOMPARE(added->GetGroupAt(0)->GetName(), QStringLiteral("朋友"));

        const int group = m_page->Nodes().back().id;
        QVERIFY(group >= 0);
        QVERIFY(m_page->SelectNode(group));
        QTRY_COMPARE(List().Count(), 6); // three at first, two by the menu, one by the quick add
        const int ungrouped = Book()->GetUngroupedCount();
        List().SetChecked(0, true);
        List().SetChecked(1, true);
        CAutoAnswer ok(1);
        m_page->RemoveChosen();
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsLoading(), kWaitMs);
        QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(861), 2, "朋友"));
        QCOMPARE(Book()->GetUngroupedCount(), ungrouped + 2);

        CAutoAnswer yes(6);
        // The phone's picture of a group shows beside it; a group without one gets the skin's.
        QImage red(8, 8, QImage::Format_RGB32);
        red.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && red.save(&buffer, "PNG"));
        vexa::Group* friendsGroup = Book()->GetGroupAt(0);
        QVERIFY(friendsGroup->SetIcon(png.constData(), static_cast<int>(png.size())) &&
                Book()->UpdateGroup(friendsGroup));
        WhenModal<CGroupManageDlg>([](CGroupManageDlg* dialog) {
            QCOMPARE(dialog->Lines(), QStringList{FormatText(Str(3172), "朋友", 4)});
            QCOMPARE(dialog->RowPicture(0).toImage().pixel(16, 16), QColor(Qt::red).rgb());
            // The helper's refusal reaches the tip (which names it refuses: ContactEditTest).
            for (const auto& [name, tip] : {std::pair{"朋友", Str(329)}, std::pair{"同学", QString()}}) {
                dialog->SetName(QString::fromUtf8(name));
                dialog->Press(CGroupManageDlg::ActAdd);
                QCOMPARE(dialog->TipText(), tip);
            }
            QCOMPARE(dialog->ChosenRow(), 1); // the group just added is chosen
            const QImage fallback = dialog->RowPicture(1).toImage();
            QVERIFY(!fallback.isNull() && fallback.pixel(16, 16) != QColor(Qt::red).rgb());
            dialog->Select(0);
            dialog->Press(CGroupManageDlg::ActDelete);
            QCOMPARE(dialog->Lines(), QStringList{FormatText(Str(3172), "同学", 0)});
            dialog->EndDialog(static_cast<int>(IDOK));
        });
        m_page->ManageGroups();
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsLoading(), kWaitMs);
        QCOMPARE(Book()->GetGroupCount(), 1);
        QCOMPARE(Book()->GetUngroupedCount(), Book()->GetContactCount(vexa::LIST_ALL));
    }

    void previewLinksEditorButtonsAndSimBadges() {
        // From the preview's links and the editor's buttons alike.
        FakeDesktop desktop;
        QStringList sent;
        m_page->SetSendMessage([&sent](QWidget*, const QString& number) { sent << number; });
        auto* c = new vexa::Contact;
        c->SetDisplayName(QStringLiteral("王五"));
        c->AddPhone(2, nullptr, QStringLiteral("13700001111"), nullptr);
        c->AddEmail(1, nullptr, QStringLiteral("wang@example.com"), nullptr);
        c->AddWebsite(1, nullptr, QStringLiteral("www.example.com"), nullptr);
        c->SetBirthday(QStringLiteral("1990-01-31"));
        c->SetCompany(QStringLiteral("远方公司"));
        QVERIFY(Book()->CreateContact(c));
        m_page->RequestLoad(true);
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsLoading() && List().Count() == 61, kWaitMs);
        QTest::keyClicks(SearchBox(), "wangwu");
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsSearching() && ListNames() == QStringList{"王五"}, kWaitMs);
        ClickRow(0);
        QTRY_VERIFY(m_page->PreviewText().contains(QStringLiteral("13700001111 ") + Str(992)));
        // Birthday and company are labelled, not bare values.
        QVERIFY(m_page->PreviewText().contains(Str(3161) + QStringLiteral("：1990-01-31")));
        QVERIFY(m_page->PreviewText().contains(QStringLiteral("公司：远方公司")));
        auto* detail = qobject_cast<QLabel*>(GetPluginByName(m_page.get(), "preview_detail"));
        const QRegularExpression links(QStringLiteral("href=\"([^\"]+)\""));
        for (auto it = links.globalMatch(detail->text()); it.hasNext();) {
            emit detail->linkActivated(it.next().captured(1));
        }
        vexa::Contact copy;
        copy.AddPhone(2, nullptr, QStringLiteral("13700002222"), nullptr);
        copy.AddEmail(1, nullptr, QStringLiteral("li@example.com"), nullptr);
        copy.AddWebsite(1, nullptr, QStringLiteral("https://example.org/li"), nullptr);
        CContactEditDlg editor(copy, false, {}, {});
        editor.m_sendMessage = [&sent](QWidget*, const QString& number) { sent << number; };
        QVERIFY(editor.CreateModeless());
        for (auto section : {CContactEditDlg::SecPhone, CContactEditDlg::SecEmail, CContactEditDlg::SecWeb}) {
            auto* action = qobject_cast<QPushButton*>(Plugin_GetChild(editor.Row(section, 0), "field_action"));
            QVERIFY(action != nullptr && action->isEnabled());
            QTest::mouseClick(action, Qt::LeftButton);
        }
        QCOMPARE(sent, (QStringList{"13700001111", "13700002222"}));
        QCOMPARE(desktop.opened, (QList<QUrl>{QUrl("mailto:wang@example.com"), QUrl("http://www.example.com"),
                                              QUrl("mailto:li@example.com"), QUrl("https://example.org/li")}));
        QVERIFY(!Plugin_GetChild(editor.AddRow(CContactEditDlg::SecEmail), "field_action")->isEnabled());

        // A SIM contact carries its card's badge; copy and move leave out where the chosen contacts are.
        QVERIFY(
            AddContact(*Book(), QStringLiteral("卡上"), {QStringLiteral("10086")}, nullptr, false, vexa::STORAGE_SIM1));
        SearchBox()->clear();
        m_page->RequestLoad(true);
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsLoading() && List().Count() == 62, kWaitMs);
        const struct {
            const char* search;
            QString badge;
            std::vector<int> targets;
        } cases[] = {{"10086", QStringLiteral("SIM1"), {0, 2}}, {"alice", QString(), {1, 2}}};
        for (const auto& c : cases) {
            SearchBox()->setText(QString::fromLatin1(c.search));
            QTRY_VERIFY_WITH_TIMEOUT(!m_page->IsSearching() && List().Count() == 1, kWaitMs);
            ClickRow(0);
            QWidget* badge = Plugin_GetChild(List().Rows().front(), "item_sim");
            QCOMPARE(badge->isVisibleTo(List().Rows().front()), !c.badge.isEmpty());
            QCOMPARE(Plugin_GetText(badge), c.badge);
            QCOMPARE(m_page->Targets(), c.targets);
        }
    }

};

VEXA_QTEST_MAIN(ContactPageTest)
#include "ContactPageTest.moc"
