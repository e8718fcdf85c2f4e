// The drop shadow around skinned dialogs, and the pictures the dialogs give for documentation.
#include "ControlsTestSupport.h"

#include "controls/CShadowDialog.h"
#include "controls/ControlsScreenshots.h"
#include "controls/VexaMessageBox.h"
#include "skin/SkinScreenshot.h"

#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QPointer>
#include <QTemporaryDir>

#include <algorithm>

class ShadowTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;

private slots:
    void initTestCase() {
        QVERIFY(m_skin.Get() != nullptr);
        RegisterControlsScreenshots();
        CShadowDialog::OverrideComposing(true); // as on a desktop with a compositor
    }

    void withoutACompositorADialogIsOneWindowWithAnEdge() {
        CShadowDialog::OverrideComposing(std::nullopt); // offscreen composes nothing
        const auto shownWindows = [] {
            const QList<QWidget*> tops = QApplication::topLevelWidgets();
            return std::count_if(tops.begin(), tops.end(), [](const QWidget* w) { return w->isVisible(); });
        };
        const auto before = shownWindows();
        {
            CVexaMessageBoxImpl box(QStringLiteral("无影"), nullptr, QString(), 1);
            QVERIFY(box.CreateModeless());
            QCOMPARE(box.Shadow(), nullptr);
            QCOMPARE(shownWindows(), before + 1);
            QWidget* edge = box.Edge();
            QVERIFY(edge != nullptr && edge->isVisible());
            QVERIFY(edge->testAttribute(Qt::WA_TransparentForMouseEvents));
            box.setFixedSize(420, 260);
            QCOMPARE(edge->geometry(), box.rect());
            // Drawn over the layout's own rim.
            const QRgb withEdge = box.grab().toImage().pixel(0, 130);
            edge->hide();
            QVERIFY(box.grab().toImage().pixel(0, 130) != withEdge);
        }
        CShadowDialog::OverrideComposing(true);
    }

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

    void clicksStopOnTheShadowWhichGoesWithItsDialog() {
        QPointer<CShadowDialog> shadow;
        {
            CVexaMessageBoxImpl box(QStringLiteral("x"), nullptr, QString(), 0);
            QVERIFY(box.CreateModeless());
            shadow = box.Shadow();
            QVERIFY(!shadow.isNull());
            // Clicks on the shadow stop there.
            QVERIFY(!shadow->testAttribute(Qt::WA_TransparentForMouseEvents));
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 10), shadow->mapToGlobal(QPointF(1, 10)),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            press.setAccepted(false);
            QApplication::sendEvent(shadow, &press);
            QVERIFY(press.isAccepted());
            box.EndDialog(1);
            QVERIFY(!shadow->isVisible());
        }
        QVERIFY(shadow.isNull());
    }

    void withoutItsImageTheShadowDrawsNothing() {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(m_skin.Get()->Folder() + "/config.xml", dir.filePath("config.xml")));
        QVERIFY(QFile::copy(m_skin.Get()->Folder() + "/style.qss", dir.filePath("style.qss")));
        QDir().mkpath(dir.filePath("layouts"));
        for (const QString& name : QDir(m_skin.Get()->Folder() + "/layouts").entryList(QDir::Files)) {
            QVERIFY(QFile::copy(m_skin.Get()->Folder() + "/layouts/" + name, dir.filePath("layouts/" + name)));
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
        SetAppSkin(m_skin.Get());
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
        // The picture's plain margin, then the shadow's first pixels beside the dialog's middle.
        const QRgb background = picture.pixel(2, 2);
        const QRgb beside = picture.pixel(25, picture.height() / 2);
        QVERIFY2(qGray(beside) < qGray(background), "the shadow darkens the strip beside the dialog");
    }
};

QTEST_MAIN(ShadowTest)
#include "ShadowTest.moc"
