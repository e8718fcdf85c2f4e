// Keys typed into the active dialog take the dialog's own button paths, their checks included.
#include "../controls/ControlsTestSupport.h"
#include "TestEnvironment.h"

#include "app/ContactScreenshots.h"
#include "app/ShellScreenshots.h"
#include "backup/ui/BackupDialogs.h"
#include "libs/prefs/Prefs.h"
#include "messages/MessagesScreenshots.h"
#include "pictures/CAddPhotoAlbumDlg.h"
#include "skin/SkinScreenshot.h"

#include <QSet>

#include <memory>

class DialogKeysTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;
    std::unique_ptr<ScopedTestFolders> m_folders;

    // A dialog picture scene made the active window, so that keys go where a user's would.
    static std::unique_ptr<QWidget> Open(const QString& scene) {
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
        const std::unique_ptr<QWidget> window = Open(scene);
        auto* dialog = dynamic_cast<CSkinDialog*>(window.get());
        QVERIFY(dialog != nullptr && dialog->isActiveWindow() && !dialog->IsEnded());
        QVERIFY2(!dialog->windowTitle().isEmpty(), "task bars name the dialog by its title");
        QTest::keyClick(dialog->windowHandle(), Qt::Key(key));
        QVERIFY(dialog->IsEnded());
        QCOMPARE(dialog->Result(), result);
    }

    // Enter runs the same checks as OK: a refused name keeps the dialog open (-1).
    void enterInTheNewAlbumDialogChecksTheName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("result");
        QTest::newRow("named") << QStringLiteral("trip") << 1;
        QTest::newRow("empty") << QString() << -1;
        QTest::newRow("taken") << QStringLiteral("Camera") << -1;
    }
    void enterInTheNewAlbumDialogChecksTheName() {
        QFETCH(QString, name);
        QFETCH(int, result);
        CAutoAnswer answer(1);
        CAddPhotoAlbumDlg dialog({0}, {QStringLiteral("Camera")});
        QVERIFY(dialog.CreateModeless());
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTest::keyClicks(QApplication::focusWidget(), name); // the name field has the keyboard
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Return);
        QCOMPARE(dialog.IsEnded() ? dialog.Result() : -1, result);
        QCOMPARE(dialog.Name(), result == 1 ? name : QString());
    }

    // Tab leaves the side tabs for the page and the buttons; Enter on 取消 cancels.
    void tabWalksTheSettingsAndEnterPressesTheFocusedButton() {
        const std::unique_ptr<QWidget> window = Open(QStringLiteral("settings"));
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

QTEST_MAIN(DialogKeysTest)
#include "DialogKeysTest.moc"
