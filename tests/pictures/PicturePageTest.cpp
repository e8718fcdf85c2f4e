// The pictures tab offscreen against a simulated phone.
#include "ControlsTestSupport.h"
#include "PictureTestImages.h"
#include "SimPageEnvironment.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "UiThreadCheck.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/PictureStore.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "controls/VexaMessageBox.h"
#include "device/SessionGate.h"
#include "pictures/CAddPhotoAlbumDlg.h"
#include "pictures/CPicturePage.h"
#include "pictures/CVexaImageCutDialog.h"
#include "pictures/CVexaImageEditDialog.h"
#include "pictures/PictureLibrary.h"
#include "pictures/PictureRules.h"
#include "platform/StringTable.h"

#include <QMimeData>
#include <QDropEvent>
#include <QUrl>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

namespace {

constexpr int kWaitMs = 15000;

} // namespace

class PicturePageTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;
    std::unique_ptr<CSimPageEnvironment> m_env;
    CSessionGate m_gate;
    std::unique_ptr<CPicturePage> m_page;
    QStringList m_importFiles;
    QString m_exportFolder;
    QString m_importTitle;
    QString m_newName;
    int m_album = -1; // the test's album in the page's list

    QString Path(const QString& name) const { return m_env->Path(name); }

private slots:
    void initTestCase() { QVERIFY(m_skin.Get() != nullptr); }

    void init() {
        m_env = std::make_unique<CSimPageEnvironment>();
        QVERIFY(m_env->Started());
        QString error;
        QVERIFY2(vexa::sim::CreatePhone({.model = "V960", .serial = "PIC-PAGE"}, &error), qPrintable(error));
        QVERIFY(ppGetBridge()->ConnectUsbDevice("PIC-PAGE") != 0);
        vexa::DeviceSession* session = ppGetBridge()->GetSession();
        vexa::PictureStore* store = session->GetPictureStore();
        QVERIFY(session->GetFileSystem()->RefreshStorageInfo());
        QCOMPARE(pictures::CreateAlbum(*store, *session->GetFileSystem(), 0, QStringLiteral("相机")), 0);
        QStringList files;
        for (int i = 0; i < 16; ++i) {
            files << Path(QStringLiteral("p%1.jpg").arg(i, 2, 10, QChar(u'0')));
            QVERIFY(vexa::test::WriteFile(files.back(), pictures::test::MakeJpeg(i)));
        }
        const int album = pictures::FindAlbum(pictures::ListAlbums(*store, session->GetFileSystem()), QStringLiteral("相机"));
        QVERIFY(album >= 0);
        QCOMPARE(pictures::ImportPictures(*store, album, files, {}).done, 16);

        m_gate.SetUsable(true);
        m_page = std::make_unique<CPicturePage>(m_gate, Path(QStringLiteral("thumbs")));
        CPicturePage::Choosers choosers;
        choosers.importFiles = [this](QWidget*, const QString& title) {
            m_importTitle = title;
            return m_importFiles;
        };
        choosers.exportFolder = [this](QWidget*) { return m_exportFolder; };
        choosers.newName = [this](QWidget*, const QString&, const QString&, bool) { return m_newName; };
        m_page->SetChoosers(choosers);
        QVERIFY(m_page->Create());
        m_page->resize(948, 500);
        m_page->show();
        m_page->OnDeviceConnected();
        QVERIFY(m_page->WaitSettled(kWaitMs));
        m_album = -1;
        for (int i = 0; i < static_cast<int>(m_page->Albums().size()); ++i) {
            m_album = m_page->Albums()[static_cast<std::size_t>(i)].name == QStringLiteral("相机") ? i : m_album;
        }
        QVERIFY(m_page->SelectAlbum(m_album));
        QVERIFY(m_page->WaitSettled(kWaitMs));
    }

    void cleanup() {
        m_page.reset();
        m_env.reset();
    }

    void sixteenPicturesFillTheHoldersAndOneRowScrollsToTheLast() {
        QCOMPARE(m_page->CurrentAlbum(), m_album); // where an album lies is PictureRulesTest's
        QCOMPARE(m_page->Pictures().size(), std::size_t(16));
        QCOMPARE(m_page->ThumbnailsShown(), CPicturePage::kHolders);
        QWidget* last = GetPluginByName(m_page.get(), QStringLiteral("picture_holder14"));
        QCOMPARE(last->property("pictureIndex").toInt(), 14);

        // The wheel over the grid and the page keys move it a row or a screen, held to the one row there is.
        QWidget* grid = GetPluginByName(m_page.get(), QStringLiteral("grid_container"));
        const struct {
            int wheel;
            Qt::Key key;
            int row;
        } moves[] = {{-60, Qt::Key_unknown, 0}, {-60, Qt::Key_unknown, 1}, {-360, Qt::Key_unknown, 1},
                     {120, Qt::Key_unknown, 0}, {0, Qt::Key_PageDown, 1}, {0, Qt::Key_PageUp, 0}, {0, Qt::Key_End, 1}};
        for (const auto& move : moves) {
            if (move.wheel != 0) {
                QWheelEvent wheel(QPointF(20, 20), grid->mapToGlobal(QPointF(20, 20)), {}, QPoint(0, move.wheel),
                                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(grid, &wheel);
            } else {
                QTest::keyClick(m_page.get(), move.key);
            }
            QCOMPARE(m_page->FirstRow(), move.row);
        }
        m_page->ScrollToRow(5);
        QCOMPARE(m_page->FirstRow(), 1);
        QVERIFY(m_page->WaitSettled(kWaitMs));
        QCOMPARE(GetPluginByName(m_page.get(), QStringLiteral("picture_holder10"))->property("pictureIndex").toInt(), 15);
        QVERIFY(!GetPluginByName(m_page.get(), QStringLiteral("picture_holder11"))->isVisibleTo(m_page.get()));
        QCOMPARE(m_page->ThumbnailsShown(), 11);

        m_page->Search(QStringLiteral("p1"));
        QCOMPARE(m_page->Shown().size(), std::size_t(6)); // p10..p15
        QCOMPARE(Plugin_GetText(GetPluginByName(m_page.get(), QStringLiteral("pic_title"))), FormatText(Str(833), 6));
        QCOMPARE(Plugin_GetText(GetPluginByName(m_page.get(), QStringLiteral("pic_count"))), FormatText(Str(2913), 6));

        // The new album dialog refuses what the rules refuse (each refusal: PictureRulesTest).
        CAddPhotoAlbumDlg dialog({0}, {QStringLiteral("相机")});
        QVERIFY(dialog.CreateModeless());
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(QApplication::focusWidget(), GetPluginByName(&dialog, QStringLiteral("album_name_edit")));
        dialog.TypeName(QStringLiteral("旅/行"));
        QCOMPARE(dialog.TipText(), FormatText(Str(831), "\\ / : * ? \" < > |"));
        dialog.TypeName(QStringLiteral("相机"));
        QCOMPARE(Told([&] { QTest::keyClick(dialog.windowHandle(), Qt::Key_Return); }), Str(838)); // as OK does
        QVERIFY(!dialog.IsEnded());
        dialog.TypeName(QString(60, u'新'));
        QTest::keyClick(dialog.windowHandle(), Qt::Key_Return);
        QVERIFY(dialog.IsEnded());
        QCOMPARE(dialog.Name().size(), CAddPhotoAlbumDlg::kMaxName);
        QCOMPARE(dialog.Storage(), 0);

        // Renaming: the name without its extension is selected, ready to be typed over.
        for (const auto& [current, picture, selected] : {std::tuple{"IMG_2024.05.jpg", true, "IMG_2024.05"},
                                                         std::tuple{"旅行.2024", false, "旅行.2024"}}) {
            CAddPhotoAlbumDlg rename({Str(2917), QString::fromUtf8(current), picture}, m_page.get());
            QVERIFY(rename.CreateModeless());
            QCOMPARE(rename.SelectedText(), QString::fromUtf8(selected));
        }
    }

    void exportImportSelectionAndDrops() {
        QTest::mouseClick(GetPluginByName(m_page.get(), QStringLiteral("select_all")), Qt::LeftButton);
        QCOMPARE(m_page->Selection().size(), std::size_t(16));
        m_page->SetSelected(0, false);
        QTemporaryDir out;
        m_exportFolder = out.path();
        Answering(1, [&] { m_page->Export(); });
        QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(815), 15));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 15); // their bytes: PictureLibraryTest

        QVERIFY(vexa::test::WriteFile(Path(QStringLiteral("new.jpg")), pictures::test::MakeJpeg(40)));
        QVERIFY(vexa::test::WriteFile(Path(QStringLiteral("zero.jpg")), {}));
        m_importFiles = {Path(QStringLiteral("new.jpg")), Path(QStringLiteral("zero.jpg"))};
        Answering(1, [&] { m_page->Import(); });
        QCOMPARE(CVexaMessageBoxImpl::LastText(),
                 FormatText(Str(820), 1) + QStringLiteral("\r\n") + FormatText(Str(2901), "zero.jpg"));
        QVERIFY(m_page->WaitSettled(kWaitMs));
        QCOMPARE(m_page->Albums()[static_cast<std::size_t>(m_album)].count, 17);

        // A tick stays on its picture through a refresh and a rename; the import names its album.
        const auto ticked = [this] {
            QStringList names;
            for (const int i : m_page->Selection()) {
                names << m_page->Pictures()[static_cast<std::size_t>(i)].name;
            }
            return names;
        };
        m_page->SelectAll(false);
        m_page->SetSelected(3, true);
        m_page->SetSelected(5, true);
        const QStringList before = ticked();
        QVERIFY(vexa::test::WriteFile(Path(QStringLiteral("a0.jpg")), pictures::test::MakeJpeg(50)));
        m_importFiles = {Path(QStringLiteral("a0.jpg"))};
        Answering(1, [&] { m_page->Import(); });
        QCOMPARE(m_importTitle, FormatText(Str(3580), "相机"));
        QVERIFY(m_page->WaitSettled(kWaitMs));
        QCOMPARE(m_page->Pictures().size(), std::size_t(18));
        QCOMPARE(m_page->Pictures().front().name, QStringLiteral("a0.jpg")); // newest first, then by name
        QCOMPARE(ticked(), before);

        m_page->SelectAll(false);
        m_page->SetSelected(7, true);
        m_newName = QStringLiteral("renamed.jpg");
        m_page->Rename();
        QVERIFY(m_page->WaitSettled(kWaitMs));
        QCOMPARE(ticked(), QStringList{m_newName});

        QMimeData none;
        none.setUrls({QUrl(QStringLiteral("https://example.com/a.jpg"))});
        QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &none, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_page.get(), &refused);
        QVERIFY(!refused.isAccepted());

        QStringList files{Path(QStringLiteral("drop a.jpg")), Path(QStringLiteral("drop b.jpg"))};
        QVERIFY(vexa::test::WriteFile(files[0], pictures::test::MakeJpeg(40)));
        QVERIFY(vexa::test::WriteFile(files[1], pictures::test::MakeJpeg(41)));
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(files[0]), QUrl::fromLocalFile(files[1])});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_page.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        CAutoAnswer ok(1);
        QApplication::sendEvent(m_page.get(), &drop);
        QTRY_COMPARE_WITH_TIMEOUT(CVexaMessageBoxImpl::LastText(), FormatText(Str(820), 2), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_page->Pictures().size(), std::size_t(20), kWaitMs);
    }

    void editorZoomsTurnsCropsAndKeepsTheCropAsACopy() {
        bool opened = false;
        QString cropped;
        m_page->SetEditorHook([&](std::unique_ptr<CVexaImageEditDialog> owned) {
            CVexaImageEditDialog& editor = *owned;
            QVERIFY(editor.CreateModeless());
            const QImage first = editor.Picture();
            QCOMPARE(first.size(), QSize(64, 48));
            QVERIFY(QFile::exists(editor.TempPath()));
            editor.Rotate(true);
            QCOMPARE(editor.Picture().size(), QSize(48, 64));
            QCOMPARE(editor.Picture().pixel(47, 0), first.pixel(0, 0)); // the top-left corner went right
            editor.Rotate(false);
            QCOMPARE(editor.Picture(), first);

            // The wheel zooms about the pointer; a large picture is dragged, never past its edges.
            QVERIFY(editor.width() <= m_page->window()->width() && editor.height() <= m_page->window()->height());
            QWidget* canvas = editor.Canvas();
            const auto wheel = [canvas](int delta) {
                QWheelEvent event(QPointF(canvas->rect().center()), canvas->mapToGlobal(QPointF(canvas->rect().center())), {},
                                  QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(canvas, &event);
            };
            editor.ToggleActualSize();
            wheel(120);
            QCOMPARE(editor.Zoom(), 1.25);
            wheel(-240);
            QCOMPARE(editor.Zoom(), 0.8);
            for (int i = 0; i < 20; ++i) {
                wheel(120);
            }
            QCOMPARE(editor.Zoom(), 10.0);
            QVERIFY(canvas->height() < 480); // the picture is 480 high now
            const double spare = (480 - canvas->height()) / 2.0;
            const double start = editor.PanOffset().y();
            QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(20, 100));
            QTest::mouseMove(canvas, QPoint(20, 110));
            QCOMPARE(editor.PanOffset().y(), std::min(start + 10, spare));
            QTest::mouseMove(canvas, QPoint(20, 1100));
            QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(20, 1100));
            QCOMPARE(editor.PanOffset().y(), spare);

            const QString shownBefore = editor.TempPath();
            editor.Next();
            QCOMPARE(editor.Index(), 1);
            QVERIFY(!QFile::exists(shownBefore));
            // The strip holds the two pictures either side; a click on its last slot opens that one.
            QCOMPARE((std::vector<int>{editor.PreviewIndex(0), editor.PreviewIndex(2), editor.PreviewIndex(4)}),
                     (std::vector<int>{-1, 1, 3}));
            QTest::mouseClick(GetPluginByName(&editor, QStringLiteral("button_preview_wnd_five")), Qt::LeftButton);
            QCOMPARE(editor.Index(), 3);
            editor.Previous();
            editor.Previous();

            editor.BeginCrop();
            QWidget* size = GetPluginByName(&editor, QStringLiteral("pixel_of_cut"));
            QCOMPARE(Plugin_GetText(size), Str(3582)); // how to pull a band, until one is pulled
            QVERIFY(!GetPluginByName(&editor, QStringLiteral("button_picture_delete"))->isEnabled());
            editor.SetCropRect(QRect(50, 40, 100, 100)); // held to the picture
            QCOMPARE(editor.CropRect(), QRect(50, 40, 14, 8));
            editor.SetCropRect(QRect(0, 40, 14, 8)); // across the picture's dark bar
            // The crop dialog mirrors the band's part before it is kept.
            const QImage whole = editor.Picture();
            qputenv("TEMP", QFileInfo(Path(QStringLiteral("x"))).absolutePath().toLocal8Bit()); // this test's own
            editor.SetCutRunner([](CVexaImageCutDialog& cut) {
                cut.CreateModeless();
                cut.FlipX();
                return cut.PressOk() ? static_cast<int>(IDOK) : static_cast<int>(IDCANCEL);
            });
            CAutoAnswer ok(1);
            cropped = editor.Pictures()[1].name;
            QVERIFY(editor.ApplyCrop());
            const QImage part = whole.copy(QRect(0, 40, 14, 8)).convertToFormat(QImage::Format_RGB32);
            QVERIFY(part != part.mirrored(true, false)); // else a flip would not show
            QCOMPARE(editor.Picture().convertToFormat(QImage::Format_RGB32), part.mirrored(true, false));
            QVERIFY(CVexaMessageBoxImpl::LastText().startsWith(Str(829) + QStringLiteral("\r\n")));
            QVERIFY(editor.AlbumChanged());
            QVERIFY(GetPluginByName(&editor, QStringLiteral("button_picture_delete"))->isEnabled());

            // A copy to the computer: a file of its name is replaced only when the user says so.
            QTemporaryDir pc;
            const QString shownName = editor.Pictures()[static_cast<std::size_t>(editor.Index())].name;
            const QDateTime now = QDateTime::currentDateTime();
            for (int second = 0; second < 2; ++second) {
                QVERIFY(vexa::test::WriteFile(pc.filePath(pictures::EditedCopyName(shownName, now.addSecs(second))), "old"));
            }
            CVexaMessageBoxImpl::SetStandingAnswer(7);
            QVERIFY(editor.SaveCopyTo(pc.path()).isEmpty());
            QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(864) + QStringLiteral("\r\n") + Str(865));
            CVexaMessageBoxImpl::SetStandingAnswer(6);
            QCOMPARE(QImage(editor.SaveCopyTo(pc.path())).size(), editor.Picture().size());

            // A turn not saved is asked about on closing: Cancel stays, No closes.
            editor.Rotate(true);
            CVexaMessageBoxImpl::SetStandingAnswer(2);
            editor.Close();
            QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(3583));
            QVERIFY(!editor.IsEnded());
            CVexaMessageBoxImpl::SetStandingAnswer(7);
            editor.Close();
            QVERIFY(editor.IsEnded());
            opened = true;
        });
        m_page->OpenEditor(m_page->Shown().front());
        QVERIFY(opened);
        vexa::PictureStore* store = ppGetBridge()->GetSession()->GetPictureStore();
        QVERIFY(store->LoadPictures() == 1);
        const int album = pictures::FindAlbum(pictures::ListAlbums(*store, nullptr), QStringLiteral("相机"));
        QStringList copies;
        for (const pictures::PictureItem& p : pictures::ListPictures(*store, album)) {
            if (p.name.contains(Str(800))) {
                copies << p.name;
            }
        }
        QCOMPARE(copies.size(), 1);
        QVERIFY2(copies.front().startsWith(QFileInfo(cropped).completeBaseName() + Str(800)), qPrintable(copies.front()));
    }

};

VEXA_QTEST_MAIN(PicturePageTest)
#include "PicturePageTest.moc"
