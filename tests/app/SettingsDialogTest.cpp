// The settings dialog on the shipped skin, driven through clicks and typed text; keys typed into the
// active dialog take the dialog's own button paths, their checks included.
#include "../controls/ControlsTestSupport.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include "app/AutoRun.h"
#include "app/CSettingsDlg.h"
#include "app/ContactScreenshots.h"
#include "app/ShellScreenshots.h"
#include "backup/ui/BackupDialogs.h"
#include "controls/VexaMessageBox.h"
#include "libs/prefs/Prefs.h"
#include "messages/MessagesScreenshots.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinScreenshot.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSet>

#include <memory>

namespace {

// Edits a field the way a user does: its edit button, then typing over the selected text.
void TypeInto(CSettingsDlg* dlg, const char* button, const QString& text) {
    Click(dlg, button);
    QLineEdit* edit = dlg->InlineEdit();
    QVERIFY(edit->isVisible());
    QVERIFY(dlg->EditedField() != nullptr);
    QTest::keyClicks(edit, text);
}

} // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;
    std::unique_ptr<ScopedTestFolders> m_folders;

    std::unique_ptr<CSettingsDlg> Open() {
        auto dlg = std::make_unique<CSettingsDlg>();
        return dlg->CreateModeless() ? std::move(dlg) : nullptr;
    }
    // A dialog picture scene made the active window, so that keys go where a user's would.
    static std::unique_ptr<QWidget> OpenScene(const QString& scene) {
        std::unique_ptr<QWidget> dialog = CreateScreenshotScene(QStringLiteral("dialog"), scene);
        if (dialog != nullptr) {
            dialog->activateWindow();
            (void)QTest::qWaitForWindowActive(dialog.get());
        }
        return dialog;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_skin.Get() != nullptr);
        RegisterShellScreenshots();
        RegisterBackupScreenshots();
        RegisterContactScreenshots();
        RegisterMessagesScreenshots();
    }
    void init() {
        m_folders = std::make_unique<ScopedTestFolders>();
        PCL_Load();
        PCL_EnsureDefaultFolders();
    }
    void cleanup() { m_folders.reset(); }

    void choicesAreStoredOnlyByOk_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("stored");
        QTest::newRow("cancel") << QStringLiteral("btn_settings_dlg_cancel") << false;
        QTest::newRow("close") << QStringLiteral("close_button") << false;
        QTest::newRow("ok") << QStringLiteral("btn_settings_dlg_ok") << true;
    }
    void choicesAreStoredOnlyByOk() {
        QFETCH(QString, button);
        QFETCH(bool, stored);
        PCL_SetEnquiryOfAppCloseOption(1);
        PCL_SetAppCloseOption(1);
        const QString downloads = PCL_GetDownloadPath();
        auto dlg = Open();
        QVERIFY(dlg != nullptr);
        QVERIFY(Plugin_GetValue(W(dlg.get(), "minimize_when_close_bt")) != 0);
        QCOMPARE(Plugin_GetText(W(dlg.get(), "downloads_savepath")), downloads);
        QCOMPARE(PCL_GetEnquiryOfAppCloseOption(), 1); // opening alone changes nothing
        QVERIFY(Plugin_GetValue(W(dlg.get(), "auto_run_check")) == 0);
        ClickIndicator(dlg.get(), "minimum_when_close_bt");
        ClickIndicator(dlg.get(), "auto_run_check");
        Click(dlg.get(), qPrintable(button));
        QVERIFY(dlg->IsEnded());
        QCOMPARE(PCL_GetEnquiryOfAppCloseOption(), stored ? 0 : 1);
        QCOMPARE(PCL_GetAppCloseOption(), stored ? 0 : 1);
        QCOMPARE(IsAutoRunSet(), stored);
        auto again = Open();
        QCOMPARE(Plugin_GetValue(W(again.get(), "auto_run_check")) != 0, stored);
    }

    void unusableFoldersKeepTheDialogOpenOnTheFolderTab_data() {
        QTest::addColumn<bool>("downloadBad");
        QTest::addColumn<int>("message");
        QTest::newRow("download") << true << 665;
        QTest::newRow("backup") << false << 666;
    }
    void unusableFoldersKeepTheDialogOpenOnTheFolderTab() {
        QFETCH(bool, downloadBad);
        QFETCH(int, message);
        // A folder cannot live below a plain file.
        const QString blocker = QDir(m_folders->Root()).filePath(QStringLiteral("plain-file"));
        QVERIFY(vexa::test::WriteFile(blocker, {}));
        const QString bad = blocker + QStringLiteral("/sub");
        const QString downloadsBefore = PCL_GetDownloadPath();
        const QString backupBefore = PCL_GetBackupPath();
        auto dlg = Open();
        QVERIFY(dlg != nullptr);
        TypeInto(dlg.get(), downloadBad ? "downloads_savepath_bt" : "backup_data_savepath_bt", QString());
        QTest::keyClicks(dlg->InlineEdit(), bad);
        Click(dlg.get(), "tab_btn_normal_settings"); // leaving the edit commits it
        QCOMPARE(dlg->ShownTab(), 0);
        QCOMPARE(Told([&] { Click(dlg.get(), "btn_settings_dlg_ok"); }), Str(message));
        QVERIFY(!dlg->IsEnded());
        QCOMPARE(dlg->ShownTab(), 2);
        QCOMPARE(PCL_GetDownloadPath(), downloadsBefore);
        QCOMPARE(PCL_GetBackupPath(), backupBefore);
        QVERIFY(!IsAutoRunSet());
    }

    // A manual server that is no "host:port" keeps the dialog open on the proxy tab.
    void proxyChoicesAreCheckedStoredAndCleared_data() {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("system proxy") << QStringLiteral("IE_proxy_radio") << QString() << true;
        const QString manual = QStringLiteral("manual_proxy_radio");
        QTest::newRow("name and port") << manual << QStringLiteral("proxy.example.com:8080") << true;
        QTest::newRow("no port") << manual << QStringLiteral("proxy.example.com") << false;
        QTest::newRow("port too big") << manual << QStringLiteral("proxy:65536") << false;
        QTest::newRow("an address, not a host") << manual << QStringLiteral("http://proxy:80") << false;
        QTest::newRow("blank") << manual << QString() << false;
    }
    void proxyChoicesAreCheckedStoredAndCleared() {
        QFETCH(QString, radio);
        QFETCH(QString, server);
        QFETCH(bool, accepted);
        const bool manual = radio == QStringLiteral("manual_proxy_radio");
        auto dlg = Open();
        QVERIFY(dlg != nullptr);
        Click(dlg.get(), "tab_btn_proxy_settings");
        QVERIFY(Plugin_GetValue(W(dlg.get(), "no_proxy_radio")) != 0);
        QVERIFY(!Plugin_IsVisible(W(dlg.get(), "proxy_server_row")));
        QVERIFY(!Plugin_IsVisible(W(dlg.get(), "proxy_account_row")));
        ClickIndicator(dlg.get(), radio);
        QCOMPARE(Plugin_IsVisible(W(dlg.get(), "proxy_server_row")), manual);
        QVERIFY(Plugin_IsVisible(W(dlg.get(), "proxy_account_row")));
        if (manual) {
            TypeInto(dlg.get(), "proxy_server_bt", server);
        }
        TypeInto(dlg.get(), "ie_proxy_account_bt", QStringLiteral("bob"));
        TypeInto(dlg.get(), "ie_proxy_pw_bt", QStringLiteral("s3cret"));
        QCOMPARE(dlg->InlineEdit()->echoMode(), QLineEdit::Password);
        if (manual) {
            Click(dlg.get(), "tab_btn_normal_settings");
        } // else OK itself commits the open edit
        CVexaMessageBoxImpl::SetNextAnswer(1);
        Click(dlg.get(), "btn_settings_dlg_ok");
        QCOMPARE(dlg->IsEnded(), accepted);
        const HttpProxySetting used = PCL_GetHttpProxy();
        if (!accepted) {
            QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(3665));
            QCOMPARE(dlg->ShownTab(), 3);
            QCOMPARE(used.server, QString());
            return;
        }
        INTERNET_SETTINGS internet{};
        PCL_GetInternetSettings(&internet);
        QCOMPARE(internet.m_proxyType, manual ? 2 : 1);
        QCOMPARE(InternetField(internet.m_user), QStringLiteral("bob"));
        QCOMPARE(InternetField(internet.m_password), QStringLiteral("s3cret"));
        if (manual) {
            QCOMPARE(used.server, server);
            QCOMPARE(used.credentials, QStringLiteral("bob:s3cret"));
        }
        auto again = Open(); // shown as it was stored
        Click(again.get(), "tab_btn_proxy_settings");
        QVERIFY(Plugin_GetValue(W(again.get(), radio)) != 0);
        QCOMPARE(Plugin_GetText(W(again.get(), "proxy_server_hwnd")), server);
        QCOMPARE(Plugin_GetText(W(again.get(), "ie_proxy_account_hwnd")), QStringLiteral("bob"));
        QVERIFY(!Plugin_GetText(W(again.get(), "ie_proxy_pw_hwnd")).contains(QStringLiteral("s3cret")));
        ClickIndicator(again.get(), "no_proxy_radio");
        Click(again.get(), "btn_settings_dlg_ok");
        PCL_GetInternetSettings(&internet);
        QCOMPARE(internet.m_proxyType, 0);
        QCOMPARE(InternetField(internet.m_user), QString());
    }

    // A long folder is cut in the middle where it shows, whole in its tooltip and where it is kept.
    void typedFoldersAreStoredAndLongOnesCutInTheMiddle() {
        const QString longPath = m_folders->Root() + QStringLiteral("/") + QString(30, u'a') + QStringLiteral("/") +
                                 QString(30, u'b') + QStringLiteral("/") + QString(30, u'c') + QStringLiteral("/tail");
        auto dlg = Open();
        QVERIFY(dlg != nullptr);
        Click(dlg.get(), "tab_btn_download_settings");
        dlg->show();
        TypeInto(dlg.get(), "downloads_savepath_bt", longPath);
        Click(dlg.get(), "tab_btn_normal_settings");
        Click(dlg.get(), "tab_btn_download_settings");
        QWidget* field = W(dlg.get(), "downloads_savepath");
        QCOMPARE(field->toolTip(), longPath);
        const QString shown = Plugin_GetText(field);
        QVERIFY2(shown.contains(QChar(0x2026)) && shown.startsWith(m_folders->Root().left(4)) &&
                     shown.endsWith(QStringLiteral("/tail")),
                 qPrintable(shown));
        QCOMPARE(Plugin_GetText(W(dlg.get(), "downloads_savepath_bt")), Str(3662));
        TypeInto(dlg.get(), "backup_data_savepath_bt", m_folders->Root() + QStringLiteral("/bk"));
        Click(dlg.get(), "btn_settings_dlg_ok");
        QVERIFY(dlg->IsEnded());
        QCOMPARE(PCL_GetDownloadPath(), longPath + QLatin1Char('/'));
        QCOMPARE(PCL_GetBackupPath(), m_folders->Root() + QStringLiteral("/bk/"));
    }

    void enterAndEscapePressTheDialogsButtons_data() {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        const int enter = Qt::Key_Return;
        const int escape = Qt::Key_Escape;
        QTest::newRow("settings enter") << "settings" << enter << 1;
        QTest::newRow("settings escape") << "settings" << escape << 2;
        QTest::newRow("about escape") << "about" << escape << 1; // its only answer
        QTest::newRow("close tip enter") << "close_tip" << int(Qt::Key_Enter) << 1;
        QTest::newRow("firmware offer escape") << "firmware_offer" << escape << 2;
        QTest::newRow("sms compose escape") << "sms_compose" << escape << 2;
        QTest::newRow("edit name enter") << "edit_name" << enter << 1;
        QTest::newRow("contact edit escape") << "contact_edit" << escape << 2;
        QTest::newRow("group manager escape") << "group_manage" << escape << 2;
        QTest::newRow("backup done enter") << "backup_lost" << enter << 1;
        QTest::newRow("restore done escape") << "restore_failed" << escape << 2;
    }
    void enterAndEscapePressTheDialogsButtons() {
        QFETCH(QString, scene);
        QFETCH(int, key);
        QFETCH(int, result);
        const std::unique_ptr<QWidget> window = OpenScene(scene);
        auto* dialog = dynamic_cast<CSkinDialog*>(window.get());
        QVERIFY(dialog != nullptr && dialog->isActiveWindow() && !dialog->IsEnded());
        QVERIFY2(!dialog->windowTitle().isEmpty(), "task bars name the dialog by its title");
        QTest::keyClick(dialog->windowHandle(), Qt::Key(key));
        QVERIFY(dialog->IsEnded());
        QCOMPARE(dialog->Result(), result);
    }

    // Tab leaves the side tabs for the page and the buttons; Enter on 取消 cancels.
    void tabWalksTheSettingsAndEnterPressesTheFocusedButton() {
        const std::unique_ptr<QWidget> window = OpenScene(QStringLiteral("settings"));
        auto* dialog = dynamic_cast<CSkinDialog*>(window.get());
        QVERIFY(dialog != nullptr && dialog->isActiveWindow());
        QSet<QString> reached;
        for (int i = 0; i < 40 && QApplication::focusWidget()->objectName() != "btn_settings_dlg_cancel"; ++i) {
            QTest::keyClick(dialog->windowHandle(), Qt::Key_Tab);
            reached << QApplication::focusWidget()->objectName();
        }
        for (const char* name : {"tab_btn_normal_settings", "minimize_when_close_bt", "auto_run_check",
                                 "btn_settings_dlg_ok", "btn_settings_dlg_cancel"}) {
            QVERIFY2(reached.contains(QString::fromLatin1(name)), name);
        }
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Return);
        QVERIFY(dialog->IsEnded());
        QCOMPARE(dialog->Result(), 2);
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "SettingsDialogTest.moc"
