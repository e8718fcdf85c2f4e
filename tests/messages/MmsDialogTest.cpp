// The MMS compose and preview dialogs offscreen on a simulated phone: a message at every limit
// saved, read back identical and played; one over each limit refused with its text and nothing
// stored; pictures and sounds through the buttons; the preview's counters and wrap; and the "查看"
// link of a conversation opening the preview of that message.
#include "../bridge/BridgeBackend.h"
#include "../controls/ControlsTestSupport.h"
#include "../pictures/PictureTestImages.h"
#include "MessageTestProgram.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "bridge/sim/SimBridge.h"
#include "device/SessionGate.h"
#include "libs/prefs/Prefs.h"
#include "messages/CMessagePage.h"
#include "messages/CMmsEditDlg.h"
#include "messages/CMmsPreviewDlg.h"
#include "messages/CMsgContentView.h"
#include "messages/MmsRules.h"
#include "messages/MmsSender.h"
#include "platform/StringTable.h"

#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>

#include <memory>

namespace {

constexpr int kWaitMs = 15000;

// Ten slides of text, picture and sound, a 40-character subject, one recipient; the last slide's
// sound pads the saved message to exactly bytes.
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

vexa::DeviceSession* Session() {
    return ppGetBridge() != nullptr ? ppGetBridge()->GetSession() : nullptr;
}

std::vector<MSGINFO> Drafts() {
    std::vector<MSGINFO> list;
    Session()->GetMmsStore()->ListDraftMms(&list);
    return list;
}

} // namespace

class MmsDialogTest : public QObject {
    Q_OBJECT
    ShippedSkin m_skin;
    QTemporaryDir m_temp;

    using Program = MessageTestProgram;

    std::unique_ptr<CMmsEditDlg> Editor(CSessionGate& gate, const mms::MediaMsg& msg) {
        auto dialog = std::make_unique<CMmsEditDlg>(gate);
        dialog->SetMessage(msg);
        dialog->SetTempFolder(m_temp.path());
        return dialog;
    }

private slots:
    void initTestCase() { QVERIFY(m_skin.Get() != nullptr); }

    void composedAtTheLimitsSavesReloadsIdenticalAndPreviews() {
        Program program;
        QVERIFY(program.Start({QStringLiteral("MMS-0001")}));
        const mms::MediaMsg msg = Composed(mms::kMaxMessageBytes);
        auto dialog = Editor(program.gate, msg);
        dialog->SetDualSim(true);
        dialog->SetSimLabels(QStringLiteral("SIM1:中国移动"), QStringLiteral("SIM2:中国联通"));
        QVERIFY(dialog->CreateModeless());
        QCOMPARE(WidgetText(dialog.get(), "caption_title"), QStringLiteral("编辑彩信"));
        QCOMPARE(WidgetText(dialog.get(), "sim2_send_mms_button"), QStringLiteral("SIM2:中国联通")); // as the SMS window
        QCOMPARE(WidgetText(dialog.get(), "page_number"), QStringLiteral("1/10"));
        QCOMPARE(WidgetText(dialog.get(), "mms_theme_count"), QStringLiteral("40/40"));
        QCOMPARE(WidgetText(dialog.get(), "mms_size_label"), QStringLiteral("大小：300.0 KB / 300 KB"));
        CVexaMessageBoxImpl::SetNextAnswer(1);
        QVERIFY(dialog->Submit(false, 1));
        QCOMPARE(CVexaMessageBoxImpl::LastText(), QStringLiteral("彩信创建成功，已保存至草稿箱。"));
        QCOMPARE(CVexaMessageBoxImpl::LastCaption(), QStringLiteral("创建成功"));
        QVERIFY(dialog->IsEnded());

        const std::vector<MSGINFO> drafts = Drafts();
        QCOMPARE(drafts.size(), std::size_t(1));
        QCOMPARE(drafts[0].id, dialog->StoredId());
        QCOMPARE(drafts[0].content, msg.Subject());
        mms::MediaMsg back;
        QVERIFY(messages::ReadStoredMms(Session()->GetMmsStore(), drafts[0].id, &back).ok);
        QVERIFY(back.Slides() == msg.Slides());
    }

    void oneOverEachLimitIsRefusedWithItsTextAndNothingIsStored() {
        Program program;
        QVERIFY(program.Start({QStringLiteral("MMS-0001")}));
        struct Case {
            const char* what;
            std::function<void(CMmsEditDlg&)> act;
            QString refusal;
        };
        const Case cases[] = {
            {"subject of 41",
             [](CMmsEditDlg& d) {
                 qobject_cast<QLineEdit*>(GetPluginByName(&d, QStringLiteral("mms_theme_edit")))->setText(QString(41, u'题'));
                 d.Submit(false, 1);
             },
             QStringLiteral("主题过长，请不要超过40个字")},
            {"an eleventh slide", [](CMmsEditDlg& d) { d.AddSlide(); }, QStringLiteral("已达到最大页数")},
            {"a page of no time",
             [](CMmsEditDlg& d) {
                 qobject_cast<QSpinBox*>(GetPluginByName(&d, QStringLiteral("page_time_spin")))->setValue(0);
                 d.SetSlideTime();
             },
             QStringLiteral("最小页面时间为1s!")},
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
        // A message of empty slides only: pruned to nothing and refused; the editor is empty again.
        auto empty = Editor(program.gate, mms::MediaMsg{});
        QVERIFY(empty->CreateModeless());
        empty->AddSlide();
        empty->AddSlide();
        CVexaMessageBoxImpl::SetNextAnswer(1);
        QVERIFY(!empty->Submit(false, 1));
        QCOMPARE(CVexaMessageBoxImpl::LastText(), QStringLiteral("页面为空"));
        QCOMPARE(empty->Message().SlideCount(), 0);
        QCOMPARE(WidgetText(empty.get(), "page_number"), QStringLiteral("1/1")); // the page being written
        QCOMPARE(WidgetText(empty.get(), "caption_title"), QStringLiteral("新建彩信"));
        // Sending to a name that is no number goes nowhere.
        auto named = Editor(program.gate, Composed(20000));
        named->SetRecipients(QStringLiteral("abc"));
        QVERIFY(named->CreateModeless());
        CVexaMessageBoxImpl::SetNextAnswer(1);
        QVERIFY(!named->Submit(true, 1));
        QVERIFY(CVexaMessageBoxImpl::LastText().contains(QStringLiteral("abc")));
        // Nor is it kept as a draft: the check vexa-cli's mms draft shares.
        CVexaMessageBoxImpl::SetNextAnswer(1);
        QVERIFY(!named->Submit(false, 1));
        QCOMPARE(CVexaMessageBoxImpl::LastText(), QStringLiteral("以下收件人不是有效的电话号码，彩信没有保存：\nabc"));
        QVERIFY(Drafts().empty());
        std::vector<MSGINFO> sent;
        Session()->GetMmsStore()->ListMms(&sent);
        QVERIFY(sent.empty());
    }

    void picturesAndSoundsThroughTheButtons() {
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

        CVexaMessageBoxImpl::SetNextAnswer(1);
        dialog->RemovePicture();
        QCOMPARE(CVexaMessageBoxImpl::LastText(), QStringLiteral("当前页没有图片"));
        CVexaMessageBoxImpl::SetNextAnswer(1);
        dialog->RemoveSound();
        QCOMPARE(CVexaMessageBoxImpl::LastText(), QStringLiteral("当前页没有声音"));

        // Text typed before there is a slide (the first key makes it) stays through adding a picture.
        auto* area = qobject_cast<QPlainTextEdit*>(GetPluginByName(dialog.get(), QStringLiteral("mms_text_area")));
        QTest::keyClicks(area, QStringLiteral("hello"));
        next = big;
        dialog->AddPicture();
        next = sound;
        dialog->AddSound();
        mms::MediaMsg msg = dialog->Message();
        QCOMPARE(msg.SlideCount(), 1);
        const QImage fitted = QImage::fromData(msg.GetSlide(0)->image.data);
        QVERIFY(fitted.width() <= 640 && fitted.height() <= 480 && !fitted.isNull());
        QCOMPARE(msg.GetSlide(0)->image.name, QStringLiteral("stretch_0001.jpg"));
        QVERIFY(QFileInfo::exists(m_temp.filePath(QStringLiteral("stretch_0001.jpg"))));
        QCOMPARE(msg.GetSlide(0)->sound.name, QStringLiteral("tone.mid"));
        QCOMPARE(msg.GetSlide(0)->text, QStringLiteral("hello"));
        QCOMPARE(WidgetText(dialog.get(), "mms_musicPic_area"), QStringLiteral("♪ tone.mid"));

        next = broken;
        CVexaMessageBoxImpl::SetNextAnswer(1);
        dialog->AddPicture();
        QCOMPARE(CVexaMessageBoxImpl::LastText(), QStringLiteral("无效的图片文件！"));
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

    void previewPlaysEachSlideForItsTimeAndWraps() {
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
        const std::tuple<qint64, const char*, const char*> at[] = {
            {0, "1/3", "00:00"}, {1500, "2/3", "00:01"}, {3999, "3/3", "00:03"}, {4200, "1/3", "00:00"}};
        for (const auto& [ms, page, played] : at) {
            preview.SeekTo(ms);
            QCOMPARE(WidgetText(&preview, "curr_play_page"), QString::fromLatin1(page));
            QCOMPARE(WidgetText(&preview, "played_time"), QString::fromLatin1(played));
        }
        QCOMPARE(WidgetText(&preview, "total_time"), QStringLiteral("00:04"));
        QVERIFY(preview.Player()->ShownText().startsWith(QStringLiteral("slide of 1000 ms")));
        // Long text wraps inside the player instead of widening it.
        QVERIFY(preview.Player()->width() <= preview.width());

        // Playing: the clock moves the slides on by itself.
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
    }

    // The preview saves the shown slide's picture and sound into the folder picked, beside what is
    // there and never over it; a name from the message stays inside that folder.
    void previewSavesAttachmentsWithoutOverwriting() {
        mms::MediaMsg msg;
        mms::Slide parts;
        parts.image = {QStringLiteral("../p.jpg"), QByteArray("JPEG")};
        parts.sound = {QStringLiteral("s.mid"), QByteArray("MThd")};
        msg.AddSlide(parts);
        mms::Slide words;
        words.text = QStringLiteral("only text");
        msg.AddSlide(words);
        QTemporaryDir folder;
        QVERIFY(vexa::test::WriteFile(folder.filePath("p.jpg"), "old"));
        CMmsPreviewDlg preview(msg);
        QString picked = folder.path();
        preview.SetFolderChooser([&picked](QWidget*) { return picked; });
        QVERIFY(preview.CreateModeless());
        preview.SetPaused(true);
        CVexaMessageBoxImpl::SetNextAnswer(1);
        QTest::mouseClick(qobject_cast<QPushButton*>(GetPluginByName(&preview, "save_attachment_btn")), Qt::LeftButton);
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
        preview.SaveAttachments();
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 3);
        preview.SeekTo(5500);
        CVexaMessageBoxImpl::SetNextAnswer(1);
        preview.SaveAttachments();
        QCOMPARE(CVexaMessageBoxImpl::LastText(), QStringLiteral("当前页没有附件"));
        preview.EndDialog(0);
    }

    void conversationLinkOpensThePreviewOfThatMessage() {
        Program program;
        QVERIFY(program.Start({QStringLiteral("MMS-0001")}));
        mms::MediaMsg msg = Composed(20000);
        msg.SetRecipient({QStringLiteral("10086")});
        const messages::MmsSubmit sent = messages::SubmitMms(Session()->GetMmsStore(), msg, true, 1);
        QVERIFY(sent.ok);

        auto page = std::make_unique<CMessagePage>(program.gate, nullptr);
        page->SetPageFolder(m_temp.filePath(QStringLiteral("pages")));
        QVERIFY(page->Create());
        CMsgContentView::PreparePageFolder(QStringLiteral(VEXA_SOURCE_DIR "/resources/pages"), page->PageFolder());
        page->resize(900, 560);
        page->show();
        page->OnDeviceConnected();
        QTRY_VERIFY_WITH_TIMEOUT(page->PageState() == CMessagePage::State::Ready, kWaitMs);
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
};

QTEST_MAIN(MmsDialogTest)
#include "MmsDialogTest.moc"
