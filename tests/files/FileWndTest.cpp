// The file manager window offscreen against a simulated phone, and through adb where that matters.
#include "../bridge/adb/AdbTestRig.h"
#include "ControlsTestSupport.h"
#include "SimPageEnvironment.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "UiThreadCheck.h"

#include "bridge/adb/AdbBridge.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/sim/SimPhones.h"
#include "device/SessionGate.h"
#include "files/CFileWnd.h"
#include "files/FileOps.h"
#include "libs/prefs/Prefs.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"

#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <memory>

namespace {
constexpr int kWaitMs = 15000;
} // namespace

class FileWndTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;
    std::unique_ptr<CSimPageEnvironment> m_env;
    CSessionGate m_gate;
    std::unique_ptr<CFileWnd> m_wnd;
    std::unique_ptr<CAdbTestRig> m_adb;

    vexa::FileSystem* Fs() { return ppGetBridge()->GetSession()->GetFileSystem(); }
    void MakeWindow() {
        m_wnd = std::make_unique<CFileWnd>(m_gate);
        QVERIFY(m_wnd->CreateModeless());
        m_wnd->ShowDetails(true);
        QTRY_VERIFY_WITH_TIMEOUT(!m_wnd->PhoneRoot().isEmpty() && m_wnd->CurrentFolder() == m_wnd->PhoneRoot() &&
                                     !m_wnd->IsBusy(),
                                 kWaitMs);
    }
    // The same phone through a private adb server and vexa-adbd, with a new window over it.
    void UseAdb() {
        m_wnd.reset();
        m_gate.SetUsable(false);
        ppCleanup();
        m_adb = std::make_unique<CAdbTestRig>();
        QString adbSerial, error;
        QVERIFY2(m_adb->StartServer(&error) && m_adb->StartDaemon(QStringLiteral("FILES-WND"), &adbSerial, &error),
                 qPrintable(error));
        vexa::adbphone::UseRealPhones(m_adb->ServerPort());
        QVERIFY(ppInitialize() && ppGetBridge()->ConnectUsbDevice(adbSerial) != 0);
        m_gate.SetUsable(true);
        MakeWindow();
    }
    void ShowAndWait(const QString& folder) {
        m_wnd->ShowFolder(folder);
        QTRY_VERIFY_WITH_TIMEOUT(m_wnd->CurrentFolder() == folder && !m_wnd->IsBusy(), kWaitMs);
    }
    // Chooses the named row of the details view as a click would.
    QTreeWidgetItem* Choose(const QString& name) {
        const QList<QTreeWidgetItem*> found = m_wnd->List()->findItems(name, Qt::MatchExactly, 0);
        if (found.size() != 1) {
            return nullptr;
        }
        m_wnd->List()->setCurrentItem(found.front());
        m_wnd->List()->setFocus();
        return found.front();
    }
    QStringList MenuTexts(QAbstractItemView* view, const QPoint& at) {
        std::unique_ptr<QMenu> menu(m_wnd->ContextMenu(view, at));
        QStringList texts;
        for (QAction* action : menu != nullptr ? menu->actions() : QList<QAction*>()) {
            if (!action->isSeparator()) {
                texts << action->text();
            }
        }
        return texts;
    }
    QStringList RowNames() const {
        QStringList names;
        for (const files::FsItem& item : m_wnd->Rows()) {
            names << item.Name();
        }
        return names;
    }
    // Sends a drag of mime over target (the list's middle unless given) and drops it; whether it was taken.
    bool Drop(QMimeData* mime, QWidget* target = nullptr, QPoint at = QPoint(-1, -1)) {
        target = target != nullptr ? target : m_wnd->List()->viewport();
        at = at.x() >= 0 ? at : QPoint(target->width() / 2, target->height() / 2);
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        if (!enter.isAccepted() || !move.isAccepted()) {
            return false;
        }
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return drop.isAccepted();
    }

private slots:
    void initTestCase() { QVERIFY(m_skin.Get() != nullptr); }

    void init() {
        m_env = std::make_unique<CSimPageEnvironment>();
        QVERIFY(m_env->Started());
        QString error;
        QVERIFY2(vexa::sim::CreatePhone({.model = "V960", .serial = "FILES-WND", .sdCard = true}, &error),
                 qPrintable(error));
        QVERIFY(ppGetBridge()->ConnectUsbDevice("FILES-WND") != 0);
        m_gate.SetUsable(true);
        MakeWindow();
    }

    void cleanup() {
        m_wnd.reset();
        m_gate.SetUsable(false);
        m_env.reset();
        m_adb.reset();
    }

    void renameCopyMoveAndDeleteByTheDesktopsKeys_data() {
        QTest::addColumn<bool>("adb");
        QTest::newRow("simulated phone") << false;
        QTest::newRow("adb") << true;
    }

    void renameCopyMoveAndDeleteByTheDesktopsKeys() {
        QFETCH(bool, adb);
        if (adb) {
            if (CAdbTestRig::AdbPath().isEmpty()) {
                QSKIP("adb is not installed (scripts/bootstrap installs it)");
            }
            UseAdb();
        }
        const QString root = m_wnd->PhoneRoot();
        const QString a = root + QStringLiteral("/甲"), b = root + QStringLiteral("/乙");
        QVERIFY(Fs()->CreateFolder(a) && Fs()->CreateFolder(b));
        QVERIFY(vexa::test::WriteFile(m_env->Path(QStringLiteral("报告.txt")), "report"));
        QVERIFY(vexa::test::WriteFile(m_env->Path(QStringLiteral("图.jpg")), "picture"));
        QVERIFY(Fs()->UploadFile(m_env->Path(QStringLiteral("报告.txt")), a + QStringLiteral("/报告.txt"), {}, nullptr));
        QVERIFY(Fs()->UploadFile(m_env->Path(QStringLiteral("图.jpg")), a + QStringLiteral("/图.jpg"), {}, nullptr));
        m_wnd->ShowFolder(root, false); // the tree learns of the new folders
        QTRY_VERIFY_WITH_TIMEOUT(RowNames().contains(QStringLiteral("甲")) && !m_wnd->IsBusy(), kWaitMs);
        ShowAndWait(a);

        // F2 opens the name with the extension left out of the selection; typing replaces the name alone.
        QVERIFY(Choose(QStringLiteral("报告.txt")) != nullptr);
        QTest::keyClick(m_wnd->List(), Qt::Key_F2);
        QLineEdit* editor = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((editor = m_wnd->List()->findChild<QLineEdit*>()) != nullptr &&
                                     editor->selectedText() == QStringLiteral("报告"),
                                 kWaitMs);
        editor->insert(QStringLiteral("总结")); // typed: it takes the selection's place
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(RowNames().contains(QStringLiteral("总结.txt")) && !m_wnd->IsBusy(), kWaitMs);

        // Ctrl+C and Ctrl+X here, Ctrl+V in the other folder: one file copied, one moved.
        QVERIFY(Choose(QStringLiteral("总结.txt")) != nullptr);
        QTest::keyClick(m_wnd->List(), Qt::Key_C, Qt::ControlModifier);
        ShowAndWait(b);
        QTest::keyClick(m_wnd->List(), Qt::Key_V, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(RowNames(), QStringList{QStringLiteral("总结.txt")}, kWaitMs);
        QCOMPARE(m_wnd->StatusText(), FormatText(Str(3537), 1, qUtf8Printable(b)));
        ShowAndWait(a);
        QVERIFY(Choose(QStringLiteral("图.jpg")) != nullptr);
        QTest::keyClick(m_wnd->List(), Qt::Key_X, Qt::ControlModifier);
        ShowAndWait(b);
        QTest::keyClick(m_wnd->List(), Qt::Key_V, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(RowNames().size(), 2, kWaitMs);
        QVERIFY(!Fs()->PathExists(a + QStringLiteral("/图.jpg")) && Fs()->PathExists(a + QStringLiteral("/总结.txt")));

        // A row dropped on a folder of the tree moves there, without a copy through the computer.
        QVERIFY(Choose(QStringLiteral("图.jpg")) != nullptr);
        std::unique_ptr<QMimeData> drag(m_wnd->DragData(m_wnd->SelectedItems()));
        QTreeWidgetItem* node = nullptr;
        for (QTreeWidgetItem* item : m_wnd->Tree()->findItems(QStringLiteral("甲"), Qt::MatchExactly | Qt::MatchRecursive)) {
            node = item;
        }
        QVERIFY(node != nullptr);
        QVERIFY(!Drop(drag.get())); // not on the list's own folder
        QVERIFY(Drop(drag.get(), m_wnd->Tree()->viewport(), m_wnd->Tree()->visualItemRect(node).center()));
        QTRY_COMPARE_WITH_TIMEOUT(RowNames(), QStringList{QStringLiteral("总结.txt")}, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!m_wnd->IsBusy(), kWaitMs);
        QVERIFY(Fs()->PathExists(a + QStringLiteral("/图.jpg")));

        // Delete asks first, with the count.
        QVERIFY(Choose(QStringLiteral("总结.txt")) != nullptr);
        CVexaMessageBoxImpl::SetNextAnswer(IDOK);
        QTest::keyClick(m_wnd->List(), Qt::Key_Delete);
        QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(875), 1));
        QTRY_VERIFY_WITH_TIMEOUT(RowNames().isEmpty() && !m_wnd->IsBusy(), kWaitMs);
        QCOMPARE(m_wnd->HintText(), Str(3526));

        // A new folder is named in Chinese, never twice the same, and opens for naming at once.
        m_wnd->NewFolder();
        QTRY_VERIFY_WITH_TIMEOUT(m_wnd->List()->findChild<QLineEdit*>() != nullptr && !m_wnd->IsBusy(), kWaitMs);
        QTest::keyClick(m_wnd->List()->findChild<QLineEdit*>(), Qt::Key_Escape); // the name stays
        m_wnd->NewFolder();
        QTRY_COMPARE_WITH_TIMEOUT(RowNames(), QStringList({Str(3520), FormatText(Str(3521), 2)}), kWaitMs);
    }

    // The menus of a row, of empty space and of a tree folder; Escape closes the window.
    void menusAndEscape() {
        QVERIFY(Fs()->CreateFolder(m_wnd->PhoneRoot() + QStringLiteral("/only")));
        m_wnd->ShowFolder(m_wnd->PhoneRoot(), false);
        QTRY_VERIFY_WITH_TIMEOUT(RowNames().contains(QStringLiteral("only")) && !m_wnd->IsBusy(), kWaitMs);
        QTreeWidget* list = m_wnd->List();
        const QPoint onRow = list->visualItemRect(list->findItems(QStringLiteral("only"), Qt::MatchExactly).front()).center();
        QCOMPARE(MenuTexts(list, onRow), QStringList({Str(2819), Str(2820), Str(2821), Str(2813), Str(2822), Str(2811), Str(2812)}));
        QCOMPARE(MenuTexts(list, QPoint(4, list->viewport()->height() - 4)),
                 QStringList({Str(2808), Str(2819), Str(2812), Str(2814), Str(2815), Str(2816)}));
        QTreeWidget* tree = m_wnd->Tree();
        QCOMPARE(MenuTexts(tree, tree->visualItemRect(tree->topLevelItem(0)).center()),
                 QStringList({Str(2808), Str(2821), Str(2813), Str(2812)}));
        // The search's count goes once the user browses elsewhere.
        QWidget* caption = GetPluginByName(m_wnd.get(), QStringLiteral("Searching"));
        m_wnd->Search(QStringLiteral("only"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_wnd->IsSearching() && m_wnd->IsShowingSearchResults(), kWaitMs);
        QCOMPARE(Plugin_GetText(caption), FormatText(Str(2828), 1));
        QVERIFY(caption->isVisibleTo(m_wnd.get()));
        m_wnd->ShowFolder(m_wnd->PhoneRoot());
        QTRY_VERIFY_WITH_TIMEOUT(!m_wnd->IsShowingSearchResults() && !m_wnd->IsBusy(), kWaitMs);
        QVERIFY(!caption->isVisibleTo(m_wnd.get()));

        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(!m_wnd->isVisible());
    }

    void filesDraggedInAreUploadedAndDraggedOutArriveAsLocalCopies() {
        const QByteArray first = QByteArray(70000, 'a') + "end";
        const QByteArray second("第二个文件");
        const QStringList local{m_env->Path(QStringLiteral("a 'b' $c.txt")), m_env->Path(QStringLiteral("中文.bin"))};
        QVERIFY(vexa::test::WriteFile(local[0], first));
        QVERIFY(vexa::test::WriteFile(local[1], second));
        QVERIFY(QDir().mkpath(m_env->Path(QStringLiteral("a folder"))));

        // Folders and things that are no local file are not taken.
        QMimeData foreign;
        foreign.setUrls({QUrl(QStringLiteral("https://example.com/x.txt")),
                         QUrl::fromLocalFile(m_env->Path(QStringLiteral("a folder")))});
        QVERIFY(!Drop(&foreign));

        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(local[0]), QUrl::fromLocalFile(local[1])});
        QVERIFY(Drop(&mime));
        QTRY_VERIFY_WITH_TIMEOUT(RowNames().contains(QStringLiteral("a 'b' $c.txt")) &&
                                     RowNames().contains(QStringLiteral("中文.bin")),
                                 kWaitMs);

        // Dragged out: fetched into this run's own folder, byte for byte, as a list of file URLs.
        std::vector<files::FsItem> chosen;
        for (const files::FsItem& item : m_wnd->Rows()) {
            if (item.Name() == QStringLiteral("a 'b' $c.txt") || item.Name() == QStringLiteral("中文.bin") ||
                item.IsDirectory()) {
                chosen.push_back(item);
            }
        }
        std::unique_ptr<QMimeData> out(m_wnd->FetchForDrag(chosen));
        QVERIFY(out != nullptr);
        QCOMPARE(out->urls().size(), 2); // the folders stay behind
        QStringList fetched;
        for (const QUrl& url : out->urls()) {
            QVERIFY(url.isLocalFile());
            fetched << url.toLocalFile();
        }
        fetched.sort();
        QCOMPARE(vexa::test::ReadFile(fetched[0]), first);
        QCOMPARE(vexa::test::ReadFile(fetched[1]), second);
        // A second drag of the same files neither asks nor overwrites the first copies.
        std::unique_ptr<QMimeData> again(m_wnd->FetchForDrag(chosen));
        QVERIFY(again != nullptr);
        QVERIFY(again->urls().front().toLocalFile() != out->urls().front().toLocalFile());

        // Dropped back on the window that it came from: nothing happens.
        const int rows = static_cast<int>(m_wnd->Rows().size());
        QVERIFY(!Drop(out.get()));
        QCOMPARE(static_cast<int>(m_wnd->Rows().size()), rows);
        QVERIFY(m_wnd->FetchForDrag({}) == nullptr);

        // Downloads go to the download folder of the settings, and the list's foot says so.
        const QString downloads = m_env->Path(QStringLiteral("下载"));
        QVERIFY(QDir().mkpath(downloads));
        PCL_SetDownloadPath(downloads);
        QVERIFY(Choose(QStringLiteral("中文.bin")) != nullptr);
        m_wnd->DownloadSelection();
        QCOMPARE(vexa::test::ReadFile(downloads + QStringLiteral("/中文.bin")), second);
        QCOMPARE(m_wnd->StatusText(), FormatText(Str(3535), 1, "15 B", qUtf8Printable(QDir::toNativeSeparators(downloads))));
    }

    // Reasons: a computer folder that cannot take the file, a phone gone. The last view chosen is kept.
    void aFailedDownloadSaysWhyAndALostPhoneEmptiesTheWindow() {
        QVERIFY(!m_wnd->Rows().empty());
        QVERIFY(vexa::test::WriteFile(m_env->Path(QStringLiteral("up.txt")), "up"));
        const QString phone = m_wnd->PhoneRoot() + QStringLiteral("/up.txt");
        QVERIFY(Fs()->UploadFile(m_env->Path(QStringLiteral("up.txt")), phone, {}, nullptr));
        files::FsItem item;
        item.attributes = files::ATTR_ARCHIVE;
        item.path = phone;
        item.size = 2;
        const QString plainFile = m_env->Path(QStringLiteral("plain-file"));
        QVERIFY(vexa::test::WriteFile(plainFile, "not a folder"));
        const struct {
            const char* what;
            bool disconnect;
            QString reason;
        } cases[] = {
            {"a file where the folder should be", false,
             FormatText(Str(3468), qUtf8Printable(QDir::toNativeSeparators(plainFile + QStringLiteral("/up.txt"))))},
            {"the phone went away", true, Str(3466)},
        };
        for (const auto& c : cases) {
            if (c.disconnect) {
                ppGetBridge()->GetSession()->Disconnect();
            }
            CVexaMessageBoxImpl::SetNextAnswer(IDOK);
            m_wnd->Download({item}, plainFile, false);
            QTRY_COMPARE_WITH_TIMEOUT(CVexaMessageBoxImpl::LastText(), Str(996) + u'\n' + c.reason, kWaitMs);
        }
        m_gate.SetUsable(false);
        QTest::keyClick(m_wnd->List(), Qt::Key_F5);
        QTRY_COMPARE_WITH_TIMEOUT(m_wnd->HintText(), Str(3540), kWaitMs);
        QVERIFY(m_wnd->Rows().empty() && m_wnd->Tree()->topLevelItemCount() == 0 && m_wnd->CurrentFolder().isEmpty());
        for (const char* name : {"refresh_btn", "newfolder_btn", "upload_btn", "BeginSearchBtn"}) {
            QVERIFY2(!GetPluginByName(m_wnd.get(), QString::fromLatin1(name))->isEnabled(), name);
        }
        QVERIFY(PCL_GetFileDetailsView());
        m_wnd->ShowDetails(false);
        CFileWnd next(m_gate);
        QVERIFY(next.CreateModeless());
        QVERIFY(!next.IsDetails());
    }
};

VEXA_QTEST_MAIN(FileWndTest)
#include "FileWndTest.moc"
