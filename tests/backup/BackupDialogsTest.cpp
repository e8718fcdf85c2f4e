// The backup and restore dialogs against a seeded simulated phone, offscreen.
#include "../controls/ControlsTestSupport.h"
#include "TestFiles.h"
#include "BackupTestPhone.h"
#include "UiThreadCheck.h"

#include "backup/ui/BackupDialogs.h"
#include "bridge/sim/SimPhones.h"
#include "controls/VexaMessageBox.h"
#include "device/SessionGate.h"
#include "libs/prefs/Prefs.h"
#include "platform/StringTable.h"

#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr int kWaitMs = 10000;
constexpr unsigned kOwnModules = (1u << backup::Apps) | (1u << backup::Bookmarks) | (1u << backup::Memos) |
                                 (1u << backup::Settings) | (1u << backup::Alarms);

QWidget* Row(CMsgWnd* dlg, int module) {
    return W(dlg, QStringLiteral("list_item_template%1").arg(module));
}
QWidget* RowChild(CMsgWnd* dlg, int module, const char* child) {
    QWidget* row = Row(dlg, module);
    return row != nullptr ? Plugin_GetChild(row, QString::fromLatin1(child)) : nullptr;
}

} // namespace

class BackupDialogsTest : public QObject {
    Q_OBJECT

    CSkin* m_skin = nullptr;
    std::unique_ptr<BackupTestPhone> m_phone;
    CSessionGate m_gate;

    QString PackagePath() const { return PCL_GetBackupPath() + QStringLiteral("test.bkg"); }

private slots:
    void initTestCase() {
        m_skin = LoadShippedSkin();
        QVERIFY(m_skin != nullptr);
    }
    void cleanupTestCase() {
        SetAppSkin(nullptr);
        m_skin->Release();
    }
    void init() {
        m_phone = std::make_unique<BackupTestPhone>(5, 10, 5, 2);
        QVERIFY(m_phone->Session() != nullptr);
        PCL_Load();
        PCL_EnsureDefaultFolders();
        m_gate.SetUsable(true);
        vexa::sim::SetFaults({});
    }
    void cleanup() {
        vexa::sim::SetFaults({});
        m_phone.reset();
    }

    void contentDialogCountsEachModuleProposesTheNameAndTheRunShowsEachModuleDone() {
        CSelBackUpContentDlg dlg(m_phone->Bridge(), m_gate);
        QVERIFY(dlg.CreateModeless());
        QTRY_VERIFY_WITH_TIMEOUT(Plugin_GetText(RowChild(&dlg, backup::Alarms, "item_count")) != QStringLiteral("…"),
                                 kWaitMs);
        QCOMPARE(Plugin_GetText(RowChild(&dlg, backup::Apps, "item_count")), FormatText(Str(2646), 2));
        QVERIFY(Plugin_IsEnabled(RowChild(&dlg, backup::Apps, "item_check")));
        QVERIFY(dlg.PackagePath().startsWith(PCL_GetBackupPath() + QStringLiteral("V960("))); // the phone's model

        // Leaving out the phone's records: the mask follows the boxes, and the run shows the rest.
        for (const int module : {backup::Contacts, backup::Messages, backup::CallRecords}) {
            ClickIndicator(RowChild(&dlg, module, "item_check"));
        }
        Click(&dlg, "start_backup_button");
        QVERIFY(dlg.IsEnded());
        QCOMPARE(dlg.Result(), int(IDOK));
        QCOMPARE(dlg.Mask(), kOwnModules);
        CNewBackUpDialog run(m_phone->Bridge(), m_gate, dlg.Mask(), PackagePath());
        QVERIFY(run.CreateModeless());
        QTRY_VERIFY_WITH_TIMEOUT(Plugin_IsVisible(W(&run, QStringLiteral("finish_button"))), kWaitMs);
        QCOMPARE(Plugin_GetText(RowChild(&run, backup::Apps, "item_status")), QStringLiteral("应用程序备份完成"));
        QCOMPARE(Plugin_GetText(RowChild(&run, backup::Alarms, "item_status")), QStringLiteral("闹钟备份完成"));
        QVERIFY(Row(&run, backup::Contacts) == nullptr); // not chosen, not listed
        QCOMPARE(Plugin_GetText(W(&run, QStringLiteral("static_doing_backup"))), Str(776));
        QCOMPARE(Plugin_GetText(W(&run, QStringLiteral("progress_rate"))), QStringLiteral("100%"));
        QCOMPARE(Plugin_GetText(W(&run, QStringLiteral("progress_count"))), QStringLiteral("5/5"));
        QVERIFY(Plugin_IsVisible(W(&run, QStringLiteral("open_back_up_path"))));
        QVERIFY(QFile::exists(PackagePath()));
        Click(&run, "finish_button");
        QCOMPARE(run.Result(), int(IDOK));
    }

    void cancellingMidRunWritesNoPackage() {
        // A slow phone, so the run still goes when cancel comes (faults apply to later sessions).
        vexa::sim::SetFaults({50, 0, 0});
        QVERIFY(m_phone->Reconnect());
        CNewBackUpDialog dlg(m_phone->Bridge(), m_gate, kOwnModules, PackagePath());
        QVERIFY(dlg.CreateModeless());
        Click(&dlg, "cancel_all_button");
        QVERIFY(!Plugin_IsEnabled(W(&dlg, QStringLiteral("cancel_all_button"))));
        QTRY_VERIFY_WITH_TIMEOUT(Plugin_IsVisible(W(&dlg, QStringLiteral("finish_button"))), kWaitMs);
        QCOMPARE(Plugin_GetText(W(&dlg, QStringLiteral("static_doing_backup"))), Str(2608));
        QCOMPARE(Plugin_GetText(RowChild(&dlg, backup::Alarms, "item_status")), QStringLiteral("闹钟备份已取消"));
        QVERIFY(!QFile::exists(PackagePath()));
        QVERIFY(!Plugin_IsVisible(W(&dlg, QStringLiteral("open_back_up_path"))));
    }

    void aPhoneLostPartWayShowsWhatFailedAndNoFinish() {
        vexa::sim::SetFaults({0, 0, 20}); // the link dies at the 20th phone operation
        QVERIFY(m_phone->Reconnect());
        const unsigned mask = kOwnModules | (1u << backup::Contacts) | (1u << backup::Messages) | (1u << backup::CallRecords);
        CNewBackUpDialog dlg(m_phone->Bridge(), m_gate, mask, PackagePath());
        QVERIFY(dlg.CreateModeless());
        QTRY_VERIFY_WITH_TIMEOUT(Plugin_IsVisible(W(&dlg, QStringLiteral("finish_button"))), kWaitMs);
        // No package (BackupRunnerTest); "备份未完成…" names the failure, not the finished text or a full bar.
        QVERIFY(!dlg.Outcome().error.isEmpty());
        QCOMPARE(Plugin_GetText(W(&dlg, QStringLiteral("static_doing_backup"))), dlg.Outcome().error);
        QVERIFY(Plugin_GetText(W(&dlg, QStringLiteral("progress_rate"))) != QStringLiteral("100%"));
        int failed = 0;
        for (int m = 0; m < backup::kModuleCount; ++m) {
            if ((mask & (1u << m)) == 0) {
                continue;
            }
            const QString status = Plugin_GetText(RowChild(&dlg, m, "item_status"));
            if (dlg.Outcome().results[m] == backup::StepFailed) {
                ++failed;
                QVERIFY2(status.endsWith(QStringLiteral("备份失败")), qPrintable(status));
            }
            QVERIFY2(!status.contains(QStringLiteral("完成")) || dlg.Outcome().results[m] == backup::StepDone,
                     qPrintable(status));
        }
        QVERIFY(failed > 0);
    }

    void aClosedGateRunsNothing() {
        m_gate.SetUsable(false);
        CNewBackUpDialog dlg(m_phone->Bridge(), m_gate, 1u << backup::Alarms, PackagePath());
        QVERIFY(dlg.CreateModeless());
        QTRY_VERIFY_WITH_TIMEOUT(Plugin_IsVisible(W(&dlg, QStringLiteral("finish_button"))), kWaitMs);
        QCOMPARE(dlg.Outcome().results[backup::Alarms], int(backup::StepFailed));
        QCOMPARE(Plugin_GetText(RowChild(&dlg, backup::Alarms, "item_status")), QStringLiteral("闹钟备份失败"));
        QVERIFY(!QFile::exists(PackagePath()));
    }

    void theChooserOffersTheModulesOfThePackage() {
        QVERIFY(backup::RunBackup(m_phone->Session(), 1u << backup::Alarms, PackagePath(), backup::TemporaryFolder(), {})
                    .packageOk);
        CSelRestoreModule chooser(PackagePath());
        QVERIFY(chooser.CreateModeless());
        QVERIFY(Row(&chooser, backup::Alarms) != nullptr);
        QVERIFY(Row(&chooser, backup::Bookmarks) == nullptr); // not in the package, not offered
        // Nothing chosen: the user is told, the dialog stays.
        ClickIndicator(RowChild(&chooser, backup::Alarms, "item_check"));
        CVexaMessageBoxImpl::SetNextAnswer(int(IDOK));
        Click(&chooser, "start_restore_button");
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(2693));
        QVERIFY(!chooser.IsEnded());
        ClickIndicator(RowChild(&chooser, backup::Alarms, "item_check"));
        Click(&chooser, "start_restore_button");
        QCOMPARE(chooser.Result(), int(IDOK));
        QCOMPARE(chooser.Mask(), 1u << backup::Alarms);
    }

    // In the error colour; never "还原完成" when a chosen module did not get through.
    void aRestoreThatFailsSaysSoInItsLastLine() {
        const unsigned chosen = (1u << backup::Contacts) | (1u << backup::Alarms);
        QVERIFY(backup::RunBackup(m_phone->Session(), chosen, PackagePath(), backup::TemporaryFolder(), {}).packageOk);
        const struct {
            const char* what;
            vexa::sim::SimFaults faults;
            bool disconnect;
            QString text;
            const char* style;
        } cases[] = {
            {"every module failed: the phone was gone", {}, true, Str(3462), "section_error"},
            {"all done", {}, false, Str(2691), "section_title"},
        };
        for (const auto& c : cases) {
            QVERIFY(m_phone->Wipe());
            vexa::sim::SetFaults(c.faults);
            QVERIFY(m_phone->Reconnect());
            if (c.disconnect) {
                m_phone->Session()->Disconnect();
            }
            CNewRestoreDlg run(m_phone->Bridge(), m_gate, PackagePath(), chosen);
            QVERIFY(run.CreateModeless());
            QTRY_VERIFY_WITH_TIMEOUT(Plugin_IsVisible(W(&run, QStringLiteral("finish_button"))), kWaitMs);
            vexa::sim::SetFaults({});
            QVERIFY2(Plugin_GetText(W(&run, QStringLiteral("static_doing_backup"))) == c.text, c.what);
            QVERIFY2(W(&run, QStringLiteral("static_doing_backup"))->property("skinStyle").toString() ==
                         QLatin1String(c.style),
                     c.what);
            QVERIFY2(c.disconnect || Plugin_GetText(RowChild(&run, backup::Alarms, "item_status")) ==
                                         QStringLiteral("闹钟还原完成"),
                     c.what);
        }
        QVERIFY(m_phone->Reconnect());
        QVERIFY(!m_phone->Snapshot().alarms.empty()); // the last run got through
    }

    // The backup folder's packages, the first one chosen; one picked through the file dialog (whose
    // filter shows both kinds) joins the list as the chosen row.
    void fileChooserListsBrowsesAndRefusesDamagedPackages() {
        const QString folder = PCL_GetBackupPath();
        QVERIFY(vexa::test::WriteFile(folder + QStringLiteral("older.bkp"), "older format"));
        QVERIFY(vexa::test::WriteFile(folder + QStringLiteral("broken.bkg"), QByteArray(100, 'x')));
        QTemporaryDir elsewhere;
        const QString picked = elsewhere.filePath(QStringLiteral("away.bkp"));
        QVERIFY(vexa::test::WriteFile(picked, "x"));

        CSelRestoreFileDlg dlg;
        QVERIFY(dlg.CreateModeless());
        QWidget* first = RowChild(&dlg, 0, "item_radio");
        QWidget* second = RowChild(&dlg, 1, "item_radio");
        QVERIFY(first != nullptr && second != nullptr);
        QCOMPARE(Plugin_GetValue(first), 1);
        QStringList filters;
        WhenModal<QFileDialog>([&](QFileDialog* chooser) {
            filters = chooser->nameFilters();
            chooser->selectFile(picked);
            static_cast<QDialog*>(chooser)->accept(); // QFileDialog::accept, called as a user would
        });
        Click(&dlg, "browse_button");
        QCOMPARE(filters, QStringList{QStringLiteral("备份文件(*.bkg *.bkp)")});
        QWidget* added = RowChild(&dlg, 2, "item_radio");
        QVERIFY(added != nullptr);
        QCOMPARE(Plugin_GetText(added), QStringLiteral("away.bkp"));
        QCOMPARE(Plugin_GetValue(added), 1);
        QCOMPARE(Plugin_GetValue(first), 0);
        QCOMPARE(dlg.PackagePath(), picked);

        QWidget* broken = Plugin_GetText(first) == QStringLiteral("broken.bkg") ? first : second;
        QWidget* older = broken == first ? second : first;
        ClickIndicator(broken);
        CVexaMessageBoxImpl::SetNextAnswer(int(IDOK));
        Click(&dlg, "next_button");
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(2699));
        QVERIFY(!dlg.IsEnded());
        ClickIndicator(older);
        Click(&dlg, "next_button");
        QCOMPARE(dlg.Result(), int(IDOK));
        QCOMPARE(dlg.PackagePath(), folder + QStringLiteral("older.bkp"));
    }
};

VEXA_QTEST_MAIN(BackupDialogsTest)
#include "BackupDialogsTest.moc"
