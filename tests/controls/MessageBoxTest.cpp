// The message box, driven through real clicks and keys on the shipped skin.
#include "ControlsTestSupport.h"

#include "controls/VexaMessageBox.h"
#include "platform/StringTable.h"
#include "skin/SkinEvent.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

const char* const kButtonNames[] = {"box_btn_one", "box_btn_two", "box_btn_three"};

QPushButton* Button(CVexaMessageBoxImpl* box, int i) {
    return qobject_cast<QPushButton*>(GetPluginByName(box, QString::fromLatin1(kButtonNames[i])));
}

QStringList ShownLabels(CVexaMessageBoxImpl* box) {
    QStringList labels;
    for (int i = 0; i < 3; ++i) {
        if (!Button(box, i)->isHidden()) {
            labels << Button(box, i)->text();
        }
    }
    return labels;
}

QStringList LineTexts(CVexaMessageBoxImpl* box) {
    QStringList texts;
    for (QWidget* line : box->Lines()) {
        texts << qobject_cast<QLabel*>(line)->text();
    }
    return texts;
}

// A dialog type no test shows.
class CSkinDialogProbe : public CSkinDialog {};

} // namespace

class MessageBoxTest : public QObject {
    Q_OBJECT

    CSkin* m_skin = nullptr;

private slots:
    void initTestCase() {
        m_skin = LoadShippedSkin();
        QVERIFY(m_skin != nullptr);
    }
    void cleanupTestCase() { m_skin->Release(); }

    void eachStyleShowsItsButtonsAndReturnsTheirResults_data() {
        QTest::addColumn<unsigned>("style");
        QTest::addColumn<QList<int>>("labels");
        QTest::addColumn<QList<int>>("results");
        QTest::addColumn<bool>("closeForbidden");
        QTest::newRow("0") << 0u << QList<int>{724} << QList<int>{1} << false;
        QTest::newRow("1") << 1u << QList<int>{724, 722} << QList<int>{1, 2} << false;
        QTest::newRow("2") << 2u << QList<int>{719, 720, 721} << QList<int>{3, 4, 5} << true;
        QTest::newRow("3") << 3u << QList<int>{725, 726, 722} << QList<int>{6, 7, 2} << false;
        QTest::newRow("4") << 4u << QList<int>{725, 726} << QList<int>{6, 7} << true;
        QTest::newRow("5") << 5u << QList<int>{720, 722} << QList<int>{4, 2} << false;
        QTest::newRow("6") << 6u << QList<int>{722, 720, 723} << QList<int>{2, 10, 11} << false;
        QTest::newRow("7 as 0") << 7u << QList<int>{724} << QList<int>{1} << false;
        QTest::newRow("high bits ignored") << 0x31u << QList<int>{724, 722} << QList<int>{1, 2} << false;
    }
    void eachStyleShowsItsButtonsAndReturnsTheirResults() {
        QFETCH(unsigned, style);
        QFETCH(QList<int>, labels);
        QFETCH(QList<int>, results);
        QFETCH(bool, closeForbidden);
        QStringList expectedLabels;
        for (int id : labels) {
            expectedLabels << Str(id);
        }
        for (int i = 0; i < results.size(); ++i) {
            QStringList seen;
            bool closeEnabled = !closeForbidden;
            WhenModal<CVexaMessageBoxImpl>([&, i](CVexaMessageBoxImpl* box) {
                seen = ShownLabels(box);
                closeEnabled = GetPluginByName(box, "box_sys_close_btn")->isEnabled();
                QTest::mouseClick(Button(box, i), Qt::LeftButton);
            });
            const int result = VexaMessageBox(QStringLiteral("问题"), nullptr, QStringLiteral("标题"), style);
            QCOMPARE(seen, expectedLabels);
            QCOMPARE(result, results[i]);
            QCOMPARE(closeEnabled, !closeForbidden);
        }
    }

    void escapeCancelsUnlessTheStyleForbidsClosing_data() {
        QTest::addColumn<unsigned>("style");
        QTest::addColumn<int>("afterEscape"); // 0: still open
        QTest::newRow("0") << 0u << 2;
        QTest::newRow("1") << 1u << 2;
        QTest::newRow("2 forbidden") << 2u << 0;
        QTest::newRow("3") << 3u << 2;
        QTest::newRow("4 forbidden") << 4u << 0;
    }
    void escapeCancelsUnlessTheStyleForbidsClosing() {
        QFETCH(unsigned, style);
        QFETCH(int, afterEscape);
        bool stillOpen = false;
        WhenModal<CVexaMessageBoxImpl>([&](CVexaMessageBoxImpl* box) {
            PressKey(box, Qt::Key_Escape);
            stillOpen = !box->IsEnded();
            if (stillOpen) {
                box->close(); // a close request from the window system is refused too
                QTest::mouseClick(GetPluginByName(box, "box_sys_close_btn"), Qt::LeftButton);
                stillOpen = !box->IsEnded();
                QTest::mouseClick(Button(box, 1), Qt::LeftButton);
            }
        });
        const int result = VexaMessageBox(QStringLiteral("x"), nullptr, QString(), style);
        if (afterEscape == 0) {
            QVERIFY(stillOpen);
            QCOMPARE(result, style == 2 ? 4 : 7); // the second button ended it
        } else {
            QVERIFY(!stillOpen);
            QCOMPARE(result, afterEscape);
        }
    }

    void enterAndSpaceGiveTheFirstButtonsResult_data() {
        QTest::addColumn<unsigned>("style");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("3 enter") << 3u << int(Qt::Key_Return) << 6;
        QTest::newRow("3 keypad enter") << 3u << int(Qt::Key_Enter) << 6;
        QTest::newRow("6 space") << 6u << int(Qt::Key_Space) << 2;
        QTest::newRow("2 enter") << 2u << int(Qt::Key_Return) << 3;
    }
    void enterAndSpaceGiveTheFirstButtonsResult() {
        QFETCH(unsigned, style);
        QFETCH(int, key);
        QFETCH(int, result);
        WhenModal<CVexaMessageBoxImpl>([&](CVexaMessageBoxImpl* box) { PressKey(box, Qt::Key(key)); });
        QCOMPARE(VexaMessageBox(QStringLiteral("x"), nullptr, QString(), style), result);
    }

    // Keys typed by a user go to the focus widget of the active window, not to the box object itself.
    void keysReachTheBoxThroughItsWindow() {
        WhenModal<CVexaMessageBoxImpl>([](CVexaMessageBoxImpl* box) {
            QVERIFY(QTest::qWaitForWindowActive(box));
            QTest::keyClick(box->windowHandle(), Qt::Key_Escape);
        });
        QCOMPARE(VexaMessageBox(QStringLiteral("x"), nullptr, QString(), 3), 2);
        WhenModal<CVexaMessageBoxImpl>([](CVexaMessageBoxImpl* box) {
            QVERIFY(QTest::qWaitForWindowActive(box));
            QTest::keyClick(box->windowHandle(), Qt::Key_Space);
        });
        QCOMPARE(VexaMessageBox(QStringLiteral("x"), nullptr, QString(), 3), 6);
    }

    // The helper's own deadline: waiting for a dialog that never shows fails the test and closes
    // the dialog that did show, instead of hanging.
    void waitingForAnotherDialogFailsOnTheDeadline() {
        QEXPECT_FAIL("", "no dialog of that type shows", Continue);
        WhenModal<CSkinDialogProbe>([](CSkinDialogProbe*) {}, 300);
        QCOMPARE(VexaMessageBox(QStringLiteral("x"), nullptr, QString(), 1), 2);
    }

    void closeButtonAndCloseRequestCancel() {
        WhenModal<CVexaMessageBoxImpl>([](CVexaMessageBoxImpl* box) {
            QTest::mouseClick(GetPluginByName(box, "box_sys_close_btn"), Qt::LeftButton);
        });
        QCOMPARE(VexaMessageBox(QStringLiteral("x"), nullptr, QString(), 1), 2);
        WhenModal<CVexaMessageBoxImpl>([](CVexaMessageBoxImpl* box) { box->close(); });
        QCOMPARE(VexaMessageBox(QStringLiteral("x"), nullptr, QString(), 3), 2);
    }

    void linesAreSplitAtCarriageReturnLineFeedOnly_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("three") << "第一行\r\n第二行\r\n第三行" << QStringList{"第一行", "第二行", "第三行"};
        QTest::newRow("lone newline") << "上\n下" << QStringList{"上\n下"};
        QTest::newRow("lone return") << "上\r下" << QStringList{"上\r下"};
        QTest::newRow("empty") << "" << QStringList{""};
        QTest::newRow("trailing") << "末尾\r\n" << QStringList{"末尾", ""};
    }
    void linesAreSplitAtCarriageReturnLineFeedOnly() {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        CVexaMessageBoxImpl box(text, nullptr, QStringLiteral("标题"), 0);
        QVERIFY(box.CreateModeless());
        QCOMPARE(LineTexts(&box), lines);
        for (QWidget* line : box.Lines()) {
            QVERIFY(!line->isHidden());
        }
        QVERIFY(GetPluginByName(&box, "box_one_line_of_message")->isHidden());
        // The lone "\n" line is one widget, two text rows high.
        if (text.contains('\n') && !text.contains("\r\n")) {
            QVERIFY(box.Lines().first()->height() >= 2 * box.Lines().first()->fontMetrics().height());
        }
    }

    // Invariants, not the layout's numbers: buttons side by side without overlap, nothing cut, and
    // the box grows with its text.
    void theBoxIsSizedFromItsLinesAndButtonRow() {
        CVexaMessageBoxImpl narrow(QStringLiteral("短"), nullptr, QString(), 3);
        CVexaMessageBoxImpl wide(QString(30, QChar(0x5BBD)), nullptr, QString(), 3);
        CVexaMessageBoxImpl tall(QStringLiteral("一\r\n二\r\n三\r\n四"), nullptr, QString(), 3);
        for (CVexaMessageBoxImpl* box : {&narrow, &wide, &tall}) {
            QVERIFY(box->CreateModeless());
        }
        QApplication::processEvents();
        const auto inBox = [](CVexaMessageBoxImpl& box, QWidget* w) {
            return box.rect().contains(QRect(w->mapTo(&box, QPoint(0, 0)), w->size()));
        };
        for (CVexaMessageBoxImpl* box : {&narrow, &wide, &tall}) {
            for (int i = 0; i < 3; ++i) {
                QVERIFY(inBox(*box, Button(box, i)));
                QVERIFY(Button(box, i)->fontMetrics().horizontalAdvance(Button(box, i)->text()) <= Button(box, i)->width());
                if (i > 0) {
                    QCOMPARE(Button(box, i)->size(), Button(box, 0)->size());
                    QVERIFY(Button(box, i)->geometry().left() > Button(box, i - 1)->geometry().right());
                }
            }
            for (QWidget* line : box->Lines()) {
                QVERIFY(inBox(*box, line));
                QVERIFY(line->width() >= box->WidestLine());
                QVERIFY(line->geometry().bottom() < Button(box, 0)->mapTo(box, QPoint(0, 0)).y());
            }
        }
        QVERIFY(wide.width() > narrow.width());
        QCOMPARE(tall.height() - narrow.height(), tall.TotalLineHeight() - narrow.TotalLineHeight());
    }

    void aVeryLongLineWrapsInsteadOfWideningTheBox() {
        CVexaMessageBoxImpl box(QString(200, QChar(0x957F)) + QStringLiteral("\r\n短"), nullptr, QString(), 0);
        QVERIFY(box.CreateModeless());
        QApplication::processEvents();
        QVERIFY(box.WidestLine() <= CVexaMessageBoxImpl::kMaxTextWidth);
        QVERIFY(box.width() <= CVexaMessageBoxImpl::kMaxTextWidth + 2 * CVexaMessageBoxImpl::kMargin + 2);
        QWidget* first = box.Lines().first();
        QVERIFY2(first->height() >= 3 * first->fontMetrics().height(), "200 characters take several rows");
        QVERIFY(box.rect().contains(QRect(first->mapTo(&box, QPoint(0, 0)), first->size())));
        QVERIFY(box.Lines().last()->geometry().top() >= first->geometry().bottom());
    }

    // Over its parent, or without one over the main window.
    void theBoxIsCentredOverItsParentOrTheMainWindow() {
        for (const bool withParent : {true, false}) {
            CMsgWnd parent;
            parent.setGeometry(100, 80, 800, 600);
            parent.show();
            CVexaMessageBoxImpl box(QStringLiteral("居中"), withParent ? &parent : nullptr, QString(), 0);
            QVERIFY(box.CreateModeless());
            const QPoint offset = box.frameGeometry().center() - parent.frameGeometry().center();
            QVERIFY2(qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1, withParent ? "parent" : "main window");
        }
    }

    void idEntryTakesTextsFromTheTable() {
        QStringList lines;
        QString caption;
        WhenModal<CVexaMessageBoxImpl>([&](CVexaMessageBoxImpl* box) {
            lines = LineTexts(box);
            caption = box->windowTitle();
            PressKey(box, Qt::Key_Return);
        });
        QCOMPARE(VexaMessageBox(436, nullptr, 388, 1), 1);
        QCOMPARE(lines, Str(436).split("\r\n"));
        QCOMPARE(caption, Str(388));

        WhenModal<CVexaMessageBoxImpl>([&](CVexaMessageBoxImpl* box) {
            lines = LineTexts(box);
            caption = box->windowTitle();
            PressKey(box, Qt::Key_Return);
        });
        QCOMPARE(VexaMessageBox(0, nullptr, 0, 0), 1);
        QCOMPARE(lines, QStringList{""});
        QCOMPARE(caption, QString());
    }

    void aPresetAnswerSkipsTheWindow() {
        CVexaMessageBoxImpl::SetNextAnswer(7);
        QCOMPARE(VexaMessageBox(QStringLiteral("覆盖吗？"), nullptr, QStringLiteral("标题"), 4), 7);
        QCOMPARE(CVexaMessageBoxImpl::LastText(), QStringLiteral("覆盖吗？"));
        QCOMPARE(CVexaMessageBoxImpl::LastStyle(), 4u);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void aLayoutWithoutItsButtonsEndsTheBoxAtOnce() {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath("layouts"));
        QFile style(dir.filePath("style.qss"));
        QVERIFY(style.open(QIODevice::WriteOnly));
        style.write("QWidget {}");
        style.close();
        QFile layout(dir.filePath("layouts/box.ui"));
        QVERIFY(layout.open(QIODevice::WriteOnly));
        layout.write("<ui version=\"4.0\"><widget class=\"QFrame\" name=\"box_root\"><layout class=\"QVBoxLayout\" "
                     "name=\"l\"><item><widget class=\"QPushButton\" name=\"box_btn_one\"/></item></layout>"
                     "</widget></ui>");
        layout.close();
        QFile config(dir.filePath("config.xml"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("<skin><stylesheet file=\"style.qss\"/><layout name=\"vexa_message_box\" file=\"layouts/box.ui\"/>"
                     "</skin>");
        config.close();
        CSkin* broken = LoadStyleW(dir.filePath("config.xml"));
        QVERIFY(broken != nullptr);
        SetAppSkin(broken);
        const int result = VexaMessageBox(QStringLiteral("x"), nullptr, QString(), 1);
        SetAppSkin(m_skin);
        broken->Release();
        QCOMPARE(result, -1);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
};

QTEST_MAIN(MessageBoxTest)
#include "MessageBoxTest.moc"
