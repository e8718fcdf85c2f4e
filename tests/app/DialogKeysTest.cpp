// Keys in the skinned dialogs, typed into the active window as a user would: Enter presses the
// default button, Escape the cancel button, each through the dialog's own click handler (so the
// result is that button's, and its checks still run); Tab reaches every control of a layout, and
// Enter on a focused push button presses that one.
#include "../controls/ControlsTestSupport.h"
#include "TestEnvironment.h"

#include "app/ContactScreenshots.h"
#include "app/ShellScreenshots.h"
#include "backup/ui/BackupDialogs.h"
#include "feedback/FeedbackScreenshots.h"
#include "libs/prefs/Prefs.h"
#include "messages/MessagesScreenshots.h"
#include "pictures/CAddPhotoAlbumDlg.h"
#include "skin/SkinScreenshot.h"

#include <QSet>

#include <memory>

namespace {

constexpr int kStaysOpen = -1;

// The dialog active, with the keyboard, so that keys go where a user's would.
bool Activate(QWidget* dialog) {
    dialog->activateWindow();
    return QTest::qWaitForWindowActive(dialog);
}

} // namespace

class DialogKeysTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;
    std::unique_ptr<ScopedTestFolders> m_folders;

private slots:
    void initTestCase() {
        QVERIFY(m_skin.Get() != nullptr);
        RegisterShellScreenshots();
        RegisterBackupScreenshots();
        RegisterContactScreenshots();
        RegisterMessagesScreenshots();
        RegisterFeedbackScreenshots();
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
        QTest::newRow("about enter") << "about" << enter << 1;
        QTest::newRow("about escape") << "about" << escape << 1; // its only answer
        QTest::newRow("close tip enter") << "close_tip" << enter << 1;
        QTest::newRow("close tip escape") << "close_tip" << escape << 2;
        QTest::newRow("new version escape") << "new_version" << escape << 2;
        QTest::newRow("firmware offer escape") << "firmware_offer" << escape << 2;
        QTest::newRow("firmware tip enter") << "firmware_tip" << int(Qt::Key_Enter) << 1;
        QTest::newRow("incompatible tip escape") << "incompatible_tip" << escape << 1;
        QTest::newRow("sms compose escape") << "sms_compose" << escape << 2;
        QTest::newRow("edit name enter") << "edit_name" << enter << 1;
        QTest::newRow("contact edit escape") << "contact_edit" << escape << 2;
        QTest::newRow("quick add escape") << "quick_add_contact" << escape << 2;
        QTest::newRow("feedback escape") << "feedback" << escape << 2;
        QTest::newRow("backup done enter") << "backup_lost" << enter << 1;
        QTest::newRow("restore done escape") << "restore_failed" << escape << 2;
        QTest::newRow("restore modules escape") << "restore_modules" << escape << 2;
    }
    void enterAndEscapePressTheDialogsButtons() {
        QFETCH(QString, scene);
        QFETCH(int, key);
        QFETCH(int, result);
        CAutoAnswer answer(1);
        const std::unique_ptr<QWidget> window = CreateScreenshotScene(QStringLiteral("dialog"), scene);
        auto* dialog = dynamic_cast<CSkinDialog*>(window.get());
        QVERIFY(dialog != nullptr);
        QVERIFY(!dialog->IsEnded());
        QVERIFY(Activate(dialog));
        QTest::keyClick(dialog->windowHandle(), Qt::Key(key));
        QVERIFY(dialog->IsEnded());
        QCOMPARE(dialog->Result(), result);
    }

    // Enter runs the same checks as OK: a refused name keeps the dialog open.
    void enterInTheNewAlbumDialogChecksTheName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("named") << QStringLiteral("trip") << int(Qt::Key_Return) << 1;
        QTest::newRow("empty") << QString() << int(Qt::Key_Return) << kStaysOpen;
        QTest::newRow("taken") << QStringLiteral("Camera") << int(Qt::Key_Enter) << kStaysOpen;
        QTest::newRow("escape") << QStringLiteral("trip") << int(Qt::Key_Escape) << 2;
    }
    void enterInTheNewAlbumDialogChecksTheName() {
        QFETCH(QString, name);
        QFETCH(int, key);
        QFETCH(int, result);
        CAutoAnswer answer(1);
        CAddPhotoAlbumDlg dialog({0}, {QStringLiteral("Camera")});
        QVERIFY(dialog.CreateModeless());
        QVERIFY(Activate(&dialog));
        QVERIFY(QApplication::focusWidget() != nullptr); // the name field
        QTest::keyClicks(QApplication::focusWidget(), name);
        QTest::keyClick(dialog.windowHandle(), Qt::Key(key));
        QCOMPARE(dialog.IsEnded() ? dialog.Result() : kStaysOpen, result);
        if (result == 1) {
            QCOMPARE(dialog.Name(), name);
        }
    }

    // Tab leaves the side list for the page, the buttons and back; Enter on a focused button
    // presses that button rather than the default one.
    void tabWalksTheSettingsAndEnterPressesTheFocusedButton() {
        const std::unique_ptr<QWidget> window =
            CreateScreenshotScene(QStringLiteral("dialog"), QStringLiteral("settings"));
        auto* dialog = dynamic_cast<CSkinDialog*>(window.get());
        QVERIFY(dialog != nullptr);
        QVERIFY(Activate(dialog));
        QSet<QString> reached;
        for (int i = 0; i < 40 && !reached.contains(QStringLiteral("btn_settings_dlg_cancel")); ++i) {
            QTest::keyClick(dialog->windowHandle(), Qt::Key_Tab);
            if (QWidget* focused = QApplication::focusWidget()) {
                reached << focused->objectName();
            }
        }
        for (const char* name : {"tab_btn_normal_settings", "minimize_when_close_bt", "auto_run_check",
                                 "btn_settings_dlg_ok", "btn_settings_dlg_cancel"}) {
            QVERIFY2(reached.contains(QString::fromLatin1(name)), name);
        }
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("btn_settings_dlg_cancel"));
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Return);
        QVERIFY(dialog->IsEnded());
        QCOMPARE(dialog->Result(), 2);
    }
};

QTEST_MAIN(DialogKeysTest)
#include "DialogKeysTest.moc"
