// The drop shadow around skinned dialogs, and the pictures the dialogs give for documentation.
#include "ControlsTestSupport.h"

#include "controls/CShadowDialog.h"
#include "controls/ControlsScreenshots.h"
#include "controls/VexaMessageBox.h"
#include "skin/SkinScreenshot.h"

#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTemporaryDir>


class ShadowTest : public QObject {
    Q_OBJECT

    CSkin* m_skin = nullptr;

private slots:
    void initTestCase() {
        m_skin = LoadShippedSkin();
        QVERIFY(m_skin != nullptr);
        RegisterControlsScreenshots();
    }
    void cleanupTestCase() { m_skin->Release(); }

    void theShadowKeepsItsMarginsWhenTheDialogMovesAndResizes() {
        CVexaMessageBoxImpl box(QStringLiteral("影子"), nullptr, QString(), 1);
        QVERIFY(box.CreateModeless());
        CShadowDialog* shadow = box.Shadow();
        QVERIFY(shadow != nullptr);
        QVERIFY(shadow->isVisible());
        QVERIFY(shadow->HasImage());
        QCOMPARE(shadow->Owner(), &box);
        // The shadow reaches out around the dialog on every side, by the same margins wherever it goes.
        const auto margins = [&] {
            const QRect outer = shadow->geometry();
            const QRect inner = box.frameGeometry();
            return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                            outer.bottom() - inner.bottom());
        };
        const QMargins first = margins();
        QVERIFY(first.left() > 0 && first.top() > 0 && first.right() > 0 && first.bottom() > 0);
        box.move(130, 170);
        QCOMPARE(margins(), first);
        box.move(7, 3);
        QCOMPARE(margins(), first);
        box.setFixedSize(500, 300);
        QCOMPARE(margins(), first);
    }

    void theShadowGoesWithItsDialog() {
        QPointer<CShadowDialog> shadow;
        {
            CVexaMessageBoxImpl box(QStringLiteral("x"), nullptr, QString(), 0);
            QVERIFY(box.CreateModeless());
            shadow = box.Shadow();
            QVERIFY(!shadow.isNull());
            box.EndDialog(1);
            QVERIFY(!shadow->isVisible());
        }
        QVERIFY(shadow.isNull());
    }

    void theImageIsStretchedByNineSlices() {
        CVexaMessageBoxImpl box(QStringLiteral("x"), nullptr, QString(), 0);
        QVERIFY(box.CreateModeless());
        CShadowDialog* shadow = box.Shadow();
        const QImage source(m_skin->Folder() + "/dialog_shadow.png");
        QVERIFY(!source.isNull());
        QImage drawn(shadow->size(), QImage::Format_ARGB32);
        drawn.fill(Qt::transparent);
        shadow->render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
        const int W = drawn.width();
        const int H = drawn.height();
        const int w = source.width();
        const int h = source.height();
        // Corners are copied, edges stretched along their length only.
        QCOMPARE(qAlpha(drawn.pixel(0, 0)), qAlpha(source.pixel(0, 0)));
        QCOMPARE(qAlpha(drawn.pixel(W - 1, H - 1)), qAlpha(source.pixel(w - 1, h - 1)));
        QCOMPARE(qAlpha(drawn.pixel(1, H / 2)), qAlpha(source.pixel(1, h / 2)));
        QCOMPARE(qAlpha(drawn.pixel(W / 2, H - 2)), qAlpha(source.pixel(w / 2, h - 2)));
        QVERIFY2(qAlpha(drawn.pixel(2, H / 2)) > qAlpha(drawn.pixel(0, H / 2)), "the shadow fades outwards");
    }

    void clicksOnTheShadowStopThere() {
        CVexaMessageBoxImpl box(QStringLiteral("x"), nullptr, QString(), 0);
        QVERIFY(box.CreateModeless());
        CShadowDialog* shadow = box.Shadow();
        QVERIFY(!shadow->testAttribute(Qt::WA_TransparentForMouseEvents));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 10), shadow->mapToGlobal(QPointF(1, 10)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        press.setAccepted(false);
        QApplication::sendEvent(shadow, &press);
        QVERIFY(press.isAccepted());
    }

    void withoutItsImageTheShadowDrawsNothing() {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(m_skin->Folder() + "/config.xml", dir.filePath("config.xml")));
        QVERIFY(QFile::copy(m_skin->Folder() + "/style.qss", dir.filePath("style.qss")));
        QDir().mkpath(dir.filePath("layouts"));
        for (const QString& name : QDir(m_skin->Folder() + "/layouts").entryList(QDir::Files)) {
            QVERIFY(QFile::copy(m_skin->Folder() + "/layouts/" + name, dir.filePath("layouts/" + name)));
        }
        CSkin* bare = LoadStyleW(dir.filePath("config.xml"));
        QVERIFY(bare != nullptr);
        SetAppSkin(bare);
        {
            CVexaMessageBoxImpl box(QStringLiteral("x"), nullptr, QString(), 0);
            QVERIFY(box.CreateModeless());
            QVERIFY(box.Shadow() != nullptr);
            QVERIFY(!box.Shadow()->HasImage());
            QImage drawn(box.Shadow()->size(), QImage::Format_ARGB32);
            drawn.fill(Qt::transparent);
            box.Shadow()->render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
            QCOMPARE(qAlpha(drawn.pixel(1, drawn.height() / 2)), 0);
        }
        SetAppSkin(m_skin);
        bare->Release();
    }

    void everyDialogSceneGivesAPictureWithItsShadow_data() {
        QTest::addColumn<QString>("scene");
        for (const QString& name : ScreenshotSceneNames("dialog")) {
            QTest::newRow(qPrintable(name)) << name;
        }
    }
    void everyDialogSceneGivesAPictureWithItsShadow() {
        QFETCH(QString, scene);
        std::unique_ptr<QWidget> dialog = CreateScreenshotScene("dialog", scene);
        QVERIFY(dialog != nullptr);
        const QImage picture = RenderWindowPicture(dialog.get(), 50);
        QVERIFY(!picture.isNull());
        QVERIFY(picture.width() > dialog->width() && picture.height() > dialog->height());
        const QRgb background = picture.pixel(2, 2);
        QCOMPARE(background, qRgb(0xF5, 0xF6, 0xF7));
        const QRgb underShadow = picture.pixel(24 + 1, picture.height() / 2);
        QVERIFY2(qGray(underShadow) < qGray(background), "the shadow darkens the strip beside the dialog");
    }

    void theGalleryPageShowsEveryControlWithTableTexts() {
        std::unique_ptr<QWidget> page = CreateScreenshotScene("page", "skin_gallery");
        QVERIFY(page != nullptr);
        const QImage picture = RenderWindowPicture(page.get(), 20);
        QCOMPARE(picture.size(), page->size());
        auto* wnd = dynamic_cast<CMsgWnd*>(page.get());
        QVERIFY(wnd != nullptr);
        for (const char* name : {"tab_btn_home", "gallery_check_on", "gallery_radio_a", "gallery_progress",
                                 "gallery_primary_btn", "gallery_list", "gallery_close_btn"}) {
            QWidget* w = GetPluginByName(wnd, name);
            QVERIFY2(w != nullptr && w->isVisible(), name);
            QVERIFY2(page->rect().contains(QRect(w->mapTo(page.get(), QPoint(0, 0)), w->size())), name);
        }
        QVERIFY(!Plugin_GetText(GetPluginByName(wnd, "gallery_check_on")).startsWith('#'));
    }

    void unknownScenesGiveNull() {
        QVERIFY(CreateScreenshotScene("dialog", "no_such_dialog") == nullptr);
        QVERIFY(ScreenshotSceneNames("dialog").contains("message_box"));
        QVERIFY(ScreenshotSceneNames("dialog").contains("progress"));
        QVERIFY(ScreenshotSceneNames("dialog").contains("busy"));
    }
};

QTEST_MAIN(ShadowTest)
#include "ShadowTest.moc"
