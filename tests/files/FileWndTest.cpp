// The file manager window offscreen against a simulated phone: files dragged in from the desktop's
// file manager land in the shown folder, files dragged out arrive as local copies, and a drag that
// started in the window is not taken back by it.
#include "ControlsTestSupport.h"
#include "SimPageEnvironment.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/sim/SimPhones.h"
#include "device/SessionGate.h"
#include "files/CFileWnd.h"
#include "files/FileOps.h"
#include "platform/StringTable.h"

#include <QDropEvent>
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

    vexa::FileSystem* Fs() { return ppGetBridge()->GetSession()->GetFileSystem(); }
    QStringList RowNames() const {
        QStringList names;
        for (const files::FsItem& item : m_wnd->Rows()) {
            names << item.Name();
        }
        return names;
    }
    // Sends a drag of mime over the list and drops it; whether the list took it.
    bool Drop(QMimeData* mime) {
        QWidget* target = m_wnd->List()->viewport();
        const QPoint at(target->width() / 2, target->height() / 2);
        QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
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
        m_wnd = std::make_unique<CFileWnd>(m_gate);
        QVERIFY(m_wnd->CreateModeless());
        m_wnd->ShowDetails(true);
        QTRY_VERIFY_WITH_TIMEOUT(!m_wnd->PhoneRoot().isEmpty() && m_wnd->CurrentFolder() == m_wnd->PhoneRoot() &&
                                     !m_wnd->IsBusy(),
                                 kWaitMs);
    }

    void cleanup() {
        m_wnd.reset();
        m_gate.SetUsable(false);
        m_env.reset();
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
    }

    // "下载失败！" comes with its reason: a computer folder that cannot take the file, a phone gone.
    void aFailedDownloadSaysWhy() {
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
    }
};

QTEST_MAIN(FileWndTest)
#include "FileWndTest.moc"
