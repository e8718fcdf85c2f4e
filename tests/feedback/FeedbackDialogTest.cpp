// The feedback dialog and the crash reporter's window, with a sender that records the form.
#include "../controls/ControlsTestSupport.h"
#include "../support/TestFiles.h"

#include "feedback/CCrashReportDlg.h"
#include "feedback/CSuggestionFeedbackDlg.h"
#include "platform/AppPaths.h"
#include "platform/StringTable.h"

#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

namespace {

struct FakeSender {
    bool answer = true;
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<FeedbackForm> last = std::make_shared<FeedbackForm>();
    std::function<bool(const FeedbackForm&, const std::atomic<bool>&)> Fn() const {
        return [answer = answer, calls = calls, last = last](const FeedbackForm& form, const std::atomic<bool>&) {
            *last = form;
            ++*calls;
            return answer;
        };
    }
};

bool WriteReport(const QTemporaryDir& dir, const QByteArray& text) {
    return vexa::test::WriteFile(dir.filePath(QStringLiteral("ERRORLOG.TXT")), text);
}

} // namespace

class FeedbackDialogTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;

private slots:
    void initTestCase() { QVERIFY(m_skin.Get() != nullptr); }

    void tickedBoxesSendTheirComplaintsAndASuccessEndsWithOk() {
        CSuggestionFeedbackDlg dlg({}, {});
        FakeSender sender;
        dlg.SetSender(sender.Fn());
        QVERIFY(dlg.CreateModeless());
        auto* model = W(&dlg, "Device_Type")->findChild<QPlainTextEdit*>();
        QTest::keyClicks(model, QStringLiteral("X9"));
        ClickIndicator(&dlg, "checkbox_1");
        ClickIndicator(&dlg, "checkbox_9");
        QTest::keyClicks(W(&dlg, "Other_Advise_Edit")->findChild<QPlainTextEdit*>(), QStringLiteral("a&b"));
        QTest::mouseClick(W(&dlg, "Submit_Btn"), Qt::LeftButton);
        QVERIFY(dlg.Submitting());
        QVERIFY(W(&dlg, "static_Submiting")->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(dlg.IsEnded(), 10000);
        QCOMPARE(dlg.Result(), int(IDOK));
        QCOMPARE(sender.calls->load(), 1);
        const FeedbackForm& sent = *sender.last;
        QCOMPARE(sent.values[FeedbackForm::PhoneType], QStringLiteral("X9"));
        QVERIFY(sent.values[FeedbackForm::Firmware].isEmpty());
        QCOMPARE(sent.values[FeedbackForm::PcVersion], ProgramVersion());
        QCOMPARE(sent.values[FeedbackForm::Connect1], QStringLiteral("驱动安装不上"));
        QCOMPARE(sent.values[FeedbackForm::Fun3], QStringLiteral("使用不方便"));
        for (int i : {FeedbackForm::Connect2, FeedbackForm::Connect3, FeedbackForm::Source1, FeedbackForm::Source2,
                      FeedbackForm::Source3, FeedbackForm::Fun1, FeedbackForm::Fun2}) {
            QVERIFY2(sent.values[static_cast<std::size_t>(i)].isEmpty(), qPrintable(QString::number(i)));
        }
        QCOMPARE(sent.values[FeedbackForm::OtherQuestion], QStringLiteral("a&b"));
    }

    void aConnectedPhonesModelIsFixedAndAFailedPostSaysSoAndCancels() {
        CSuggestionFeedbackDlg dlg(QStringLiteral("V960"), QStringLiteral("2.3.1"));
        FakeSender sender;
        sender.answer = false;
        dlg.SetSender(sender.Fn());
        QVERIFY(dlg.CreateModeless());
        auto* model = W(&dlg, "Device_Type")->findChild<QPlainTextEdit*>();
        QVERIFY(model != nullptr);
        QCOMPARE(model->toPlainText(), QStringLiteral("V960"));
        QVERIFY(!model->isEnabled());
        QCOMPARE(dlg.Form().values[FeedbackForm::Firmware], QStringLiteral("2.3.1"));
        CVexaMessageBoxImpl::SetNextAnswer(IDOK);
        QTest::mouseClick(W(&dlg, "Submit_Btn"), Qt::LeftButton);
        // The close button does nothing while the post runs.
        QTest::mouseClick(W(&dlg, "Close_btn"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(dlg.IsEnded(), 10000);
        QCOMPARE(dlg.Result(), int(IDCANCEL));
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(1040));
        QCOMPARE(CVexaMessageBoxImpl::LastCaption(), Str(1030));
    }

    // No report, part of one (a failed send may be tried again), and a whole one (sent once).
    void theReporterSaysWhatItHoldsAndSendsTheReport() {
        QTemporaryDir dir;
        {
            CCrashReportDlg none(dir.path());
            QVERIFY(none.CreateModeless());
            QVERIFY(!W(&none, "crash_send_btn")->isEnabled());
            QVERIFY(none.StatusText().startsWith(Str(3356).section(QLatin1Char('%'), 0, 0)));
        }
        {
            QVERIFY(WriteReport(dir, "vexa-assistant caused an Access Violation (0x0000000b) \r\nStack:\r\n0x00"));
            CCrashReportDlg partial(dir.path());
            FakeSender sender;
            sender.answer = false;
            partial.SetSender(sender.Fn());
            QVERIFY(partial.CreateModeless());
            QCOMPARE(partial.StatusText(), Str(3357));
            CVexaMessageBoxImpl::SetNextAnswer(IDOK);
            QTest::mouseClick(W(&partial, "crash_send_btn"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(sender.calls->load(), 1, 10000);
            QTRY_VERIFY_WITH_TIMEOUT(W(&partial, "crash_send_btn")->isEnabled(), 10000); // may be tried again
            QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(1040));
        }
        QVERIFY(WriteReport(dir, "vexa-assistant caused an Access Violation (0x0000000b) \r\nin module x\r\n"
                                 "\r\n===== [end of ERRORLOG.TXT] =====\r\n"));
        CCrashReportDlg dlg(dir.path());
        FakeSender sender;
        dlg.SetSender(sender.Fn());
        QVERIFY(dlg.CreateModeless());
        QCOMPARE(Plugin_GetText(W(&dlg, "crash_summary")),
                 QStringLiteral("vexa-assistant caused an Access Violation (0x0000000b)"));
        QVERIFY(W(&dlg, "crash_report_text")->findChild<QPlainTextEdit*>()->toPlainText().contains(
            QStringLiteral("===== [end of ERRORLOG.TXT] =====")));
        QVERIFY(!W(&dlg, "crash_status")->isVisible());
        QTest::mouseClick(W(&dlg, "crash_send_btn"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(dlg.StatusText(), Str(3355), 10000);
        QVERIFY(!W(&dlg, "crash_send_btn")->isEnabled()); // sent once
        QCOMPARE(sender.last->values[FeedbackForm::OtherQuestion], dlg.Report().text);
        QCOMPARE(sender.last->values[FeedbackForm::PcVersion], ProgramVersion());
    }
};

QTEST_MAIN(FeedbackDialogTest)
#include "FeedbackDialogTest.moc"
