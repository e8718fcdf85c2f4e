// The skin engine against the shipped skin and against skins the tests write themselves.
#include "libs/log/Log.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"
#include "skin/SkinRecipe.h"
#include "skin/SkinWidgets.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <thread>

namespace {

void WriteFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// A layout with one of each reporting widget and a list built from a template.
const char* const kTestLayout = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><class>t</class>
<widget class="QFrame" name="root">
 <property name="geometry"><rect><x>0</x><y>0</y><width>300</width><height>400</height></rect></property>
 <layout class="QVBoxLayout" name="root_layout">
  <item><widget class="QPushButton" name="ok_btn"><property name="text"><string>OK</string></property></widget></item>
  <item><widget class="QCheckBox" name="agree_check"><property name="text"><string>agree</string></property></widget></item>
  <item><widget class="QRadioButton" name="radio_a"><property name="text"><string>a</string></property></widget></item>
  <item><widget class="QRadioButton" name="radio_b"><property name="text"><string>b</string></property></widget></item>
  <item><widget class="CSkinTabButton" name="tab_btn_home"/></item>
  <item><widget class="CSkinTabButton" name="tab_btn_contact"/></item>
  <item><widget class="QComboBox" name="choose_contact_class"/></item>
  <item><widget class="QListWidget" name="rows_list"/></item>
  <item><widget class="QTreeWidget" name="category_list"/></item>
  <item><widget class="QProgressBar" name="bar"/></item>
  <item><widget class="QLabel" name="status_text"/></item>
  <item><widget class="QScrollArea" name="task_area">
    <property name="widgetResizable"><bool>true</bool></property>
    <widget class="QWidget" name="task_container">
     <layout class="QVBoxLayout" name="task_layout">
      <item><widget class="QFrame" name="task_item_template">
        <layout class="QHBoxLayout" name="task_item_layout">
         <item><widget class="QLabel" name="task_name"/></item>
         <item><widget class="QPushButton" name="delete_task_btn"/></item>
        </layout>
      </widget></item>
      <item><spacer name="task_spacer"><property name="orientation"><enum>Qt::Vertical</enum></property></spacer></item>
     </layout>
    </widget>
  </widget></item>
 </layout>
</widget>
<customwidgets><customwidget><class>CSkinTabButton</class><extends>QPushButton</extends><header>skin/SkinWidgets.h</header></customwidget></customwidgets>
</ui>
)";

const char* const kUnknownClassLayout = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><class>t</class>
<widget class="QFrame" name="root"><layout class="QVBoxLayout" name="l">
 <item><widget class="CNoSuchWidget" name="mystery"/></item>
</layout></widget></ui>
)";

// Check boxes and radio buttons react to clicks on their indicator and label, not their whole width.
void ClickIndicator(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(8, w->height() / 2));
}

struct Call {
    QString handler;
    QString widget;
    std::intptr_t p1;
    std::intptr_t p2;
};

class CTestWnd : public CMsgWnd {
public:
    LRESULT OnDelete(QWidget* w, std::intptr_t p1, std::intptr_t p2) { return Record("delete", w, p1, p2, 7); }
    LRESULT OnAnyButton(QWidget* w, std::intptr_t p1, std::intptr_t p2) { return Record("button", w, p1, p2, 1); }
    LRESULT OnCheck(QWidget* w, std::intptr_t p1, std::intptr_t p2) { return Record("check", w, p1, p2, 1); }
    LRESULT OnRadio(QWidget* w, std::intptr_t p1, std::intptr_t p2) { return Record("radio", w, p1, p2, 1); }
    LRESULT OnTab(QWidget* w, std::intptr_t p1, std::intptr_t p2) { return Record("tab", w, p1, p2, 1); }
    LRESULT OnChoice(QWidget* w, std::intptr_t p1, std::intptr_t p2) { return Record("choice", w, p1, p2, 1); }
    LRESULT OnRow(QWidget* w, std::intptr_t p1, std::intptr_t p2) { return Record("row", w, p1, p2, 1); }
    LRESULT OnTree(QWidget* w, std::intptr_t p1, std::intptr_t p2) { return Record("tree", w, p1, p2, 1); }
    LRESULT OnScroll(QWidget* w, std::intptr_t p1, std::intptr_t p2) { return Record("scroll", w, p1, p2, 1); }

    QList<Call> m_calls;
    static const SkinEventRow<CTestWnd> kTable[];

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        LRESULT result = 0;
        HandleSkinMessage(this, kTable, msg, wParam, lParam, result);
        return result;
    }

private:
    LRESULT Record(const char* handler, QWidget* w, std::intptr_t p1, std::intptr_t p2, LRESULT result) {
        m_calls.append({QString::fromLatin1(handler), w->objectName(), p1, p2});
        return result;
    }
};

const SkinEventRow<CTestWnd> CTestWnd::kTable[] = {
    {"delete_task_btn*", kSkinClick, &CTestWnd::OnDelete},
    {"*", kSkinClick, &CTestWnd::OnAnyButton},
    {"delete_task_btn*", kSkinClick, &CTestWnd::OnCheck}, // never reached: the row above wins
    {"agree_check", kSkinCheck, &CTestWnd::OnCheck},
    {"radio_*", kSkinRadio, &CTestWnd::OnRadio},
    {"tab_btn_*", kSkinTab, &CTestWnd::OnTab},
    {"choose_contact_class", kSkinChoice, &CTestWnd::OnChoice},
    {"rows_list", kSkinListRow, &CTestWnd::OnRow},
    {"category_list", kSkinTree, &CTestWnd::OnTree},
    {"rows_list", kSkinVScroll, &CTestWnd::OnScroll},
    {nullptr, 0, nullptr},
};

using SkinPtr = std::unique_ptr<CSkin, void (*)(CSkin*)>;

SkinPtr Own(CSkin* skin) {
    return SkinPtr(skin, [](CSkin* s) {
        if (s != nullptr) {
            s->Release();
        }
    });
}

// The window's handler calls, one line each; with the second code when asked.
QStringList CallLines(const CTestWnd& wnd, bool withP2) {
    QStringList got;
    for (const Call& c : wnd.m_calls) {
        got << QString("%1 %2 %3").arg(c.handler, c.widget).arg(c.p1) + (withP2 ? QString(" %1").arg(c.p2) : QString());
    }
    return got;
}

} // namespace

class SkinTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_logFile;

    QString Path(const QString& name) const { return QDir(m_dir.path()).filePath(name); }

    // A skin folder holding the test layout, the unknown-class layout and a sheet.
    QString WriteTestSkin(const QByteArray& extraLayouts = {}) {
        WriteFile(Path("t/style.qss"), "QPushButton { color: #1F2329; }");
        WriteFile(Path("t/layouts/test.ui"), kTestLayout);
        WriteFile(Path("t/layouts/unknown.ui"), kUnknownClassLayout);
        WriteFile(Path("t/layouts/broken.ui"), "<ui version=\"4.0\"><widget class=\"QFrame\" name=\"r\">");
        WriteFile(Path("t/config.xml"),
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?><skin><stylesheet file=\"style.qss\"/>"
                  "<images folder=\"images\"/>"
                  "<layout name=\"test\" file=\"layouts/test.ui\"/>"
                  "<layout name=\"unknown\" file=\"layouts/unknown.ui\"/>"
                  "<layout name=\"broken\" file=\"layouts/broken.ui\"/>"
                  "<layout name=\"missing\" file=\"layouts/missing.ui\"/>" +
                      extraLayouts + "</skin>");
        return Path("t/config.xml");
    }

    // The test skin attached to wnd with its "test" layout, shown and exposed.
    SkinPtr Attach(CTestWnd& wnd) {
        SkinPtr skin = Own(LoadStyleW(WriteTestSkin()));
        if (skin == nullptr || WindowManager_Attach(skin.get(), &wnd, "test") == 0) {
            return Own(nullptr);
        }
        wnd.show();
        return QTest::qWaitForWindowExposed(&wnd) ? std::move(skin) : Own(nullptr);
    }

    QString LogText() const {
        QFile f(m_logFile);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_logFile = Path("skin.log");
        QVERIFY(LOG_InitFile(qPrintable(m_logFile)));
    }
    void cleanupTestCase() { LOG_Free(); }

    void shippedSkinLoadsAndEveryLayoutAttaches() {
        const SkinPtr skin = Own(LoadStyleW(QStringLiteral(VEXA_SOURCE_DIR "/resources/skin/config.xml")));
        QVERIFY(skin != nullptr);
        QVERIFY(!skin->StyleSheet().contains("${images}"));
        QVERIFY(skin->LayoutNames().size() >= 7);
        for (const QString& name : skin->LayoutNames()) {
            CMsgWnd wnd;
            QVERIFY2(WindowManager_Attach(skin.get(), &wnd, name) != 0, qPrintable(name));
            QVERIFY(GetLayoutRoot(&wnd) != nullptr);
        }
    }

    void badConfigGivesNull_data() {
        QTest::addColumn<QByteArray>("config");
        QTest::newRow("truncated") << QByteArray("<?xml version=\"1.0\"?><skin><stylesheet file=\"style.qss\"/><layo");
        QTest::newRow("wrong root") << QByteArray("<theme><stylesheet file=\"style.qss\"/>"
                                                  "<layout name=\"a\" file=\"a.ui\"/></theme>");
        QTest::newRow("no layouts") << QByteArray("<skin><stylesheet file=\"style.qss\"/></skin>");
        QTest::newRow("no style sheet") << QByteArray("<skin><layout name=\"a\" file=\"a.ui\"/></skin>");
        QTest::newRow("style sheet outside") << QByteArray("<skin><stylesheet file=\"../style.qss\"/>"
                                                           "<layout name=\"a\" file=\"a.ui\"/></skin>");
        QTest::newRow("only hostile layouts")
            << QByteArray("<skin><stylesheet file=\"style.qss\"/><layout name=\"a\" file=\"../x.ui\"/>"
                          "<layout name=\"b\" file=\"/etc/passwd\"/><layout name=\"c\" file=\"a\\b.ui\"/>"
                          "<layout name=\"d\" file=\"c:x.ui\"/><layout name=\"e\" file=\"sub/../../x.ui\"/></skin>");
        QTest::newRow("wrong encoding") << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><skin name=\"\xff\xfe\">"
                                                      "<stylesheet file=\"style.qss\"/><layout name=\"a\" file=\"a.ui\"/></skin>");
        QTest::newRow("oversized") << ("<skin><stylesheet file=\"style.qss\"/><layout name=\"a\" file=\"a.ui\"/><!--" +
                                       QByteArray(2 << 20, 'x') + "--></skin>");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("missing") << QByteArray("(none)");
    }
    void badConfigGivesNull() {
        QFETCH(QByteArray, config);
        WriteFile(Path("bad/style.qss"), "QWidget {}");
        const bool missing = config == "(none)";
        const QString path = Path(missing ? "nowhere/config.xml" : "bad/config.xml");
        if (!missing) {
            WriteFile(path, config);
        }
        const qsizetype before = LogText().size();
        QVERIFY(LoadStyleW(path) == nullptr);
        QVERIFY2(LogText().mid(before).contains("[Skin]") && (!missing || LogText().mid(before).contains(path)),
                 "a log line says why");
    }

    void hostileLayoutEntriesAreSkippedOthersKept() {
        const SkinPtr skin = Own(LoadStyleW(WriteTestSkin("<layout name=\"evil\" file=\"../../outside.ui\"/>"
                                               "<layout name=\"test\" file=\"layouts/unknown.ui\"/>")));
        QVERIFY(skin != nullptr);
        QVERIFY(skin->LayoutFile("evil").isEmpty());
        QVERIFY2(skin->LayoutFile("test").endsWith("layouts/test.ui"), "the first of two same names wins");
        QVERIFY(LogText().contains("\"evil\""));
    }

    void attachFailuresReturnZeroWithALogLine_data() {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("logged");
        QTest::newRow("unknown name") << "no_such_layout" << "no layout named \"no_such_layout\"";
        QTest::newRow("unknown class") << "unknown" << "unknown widget class CNoSuchWidget";
        QTest::newRow("truncated file") << "broken" << "layout \"broken\"";
        QTest::newRow("missing file") << "missing" << "cannot read";
    }
    void attachFailuresReturnZeroWithALogLine() {
        QFETCH(QString, layout);
        QFETCH(QString, logged);
        const SkinPtr skin = Own(LoadStyleW(WriteTestSkin()));
        QVERIFY(skin != nullptr);
        const qsizetype before = LogText().size();
        CTestWnd wnd;
        QCOMPARE(WindowManager_Attach(skin.get(), &wnd, layout), 0);
        QVERIFY(GetLayoutRoot(&wnd) == nullptr);
        QVERIFY2(LogText().mid(before).contains(logged), qPrintable(LogText().mid(before)));
        QCOMPARE(WindowManager_Attach(nullptr, &wnd, "test"), 0);
    }

    void signalsBecomeSkinEventsDispatchedByTable() {
        CTestWnd wnd;
        const SkinPtr skin = Attach(wnd);
        QVERIFY(skin != nullptr);

        QTest::mouseClick(GetPluginByName(&wnd, "ok_btn"), Qt::LeftButton);
        ClickIndicator(GetPluginByName(&wnd, "agree_check"));
        ClickIndicator(GetPluginByName(&wnd, "agree_check"));
        ClickIndicator(GetPluginByName(&wnd, "radio_a"));
        ClickIndicator(GetPluginByName(&wnd, "radio_b"));
        QTest::mouseClick(GetPluginByName(&wnd, "tab_btn_home"), Qt::LeftButton);
        QTest::mouseClick(GetPluginByName(&wnd, "tab_btn_contact"), Qt::LeftButton);

        auto* combo = qobject_cast<QComboBox*>(GetPluginByName(&wnd, "choose_contact_class"));
        combo->addItems({"a", "b"});
        emit combo->activated(1); // what a user's choice in the popup emits
        auto* list = qobject_cast<QListWidget*>(GetPluginByName(&wnd, "rows_list"));
        for (int i = 0; i < 50; ++i) {
            list->addItem(QString::number(i));
        }
        list->setCurrentRow(2);
        auto* tree = qobject_cast<QTreeWidget*>(GetPluginByName(&wnd, "category_list"));
        auto* top = new QTreeWidgetItem(tree, {"top"});
        auto* child = new QTreeWidgetItem(top, {"child"});
        tree->setCurrentItem(child);
        QApplication::processEvents();
        list->verticalScrollBar()->setValue(3);

        const QStringList got = CallLines(wnd, true);
        // The first tree row becomes current on insertion and the child after; the list likewise.
        QVERIFY2(got.contains("button ok_btn 0 0"), qPrintable(got.join('|')));
        QVERIFY2(got.contains("check agree_check 1 0") && got.contains("check agree_check 0 0"), qPrintable(got.join(QLatin1Char('|'))));
        QVERIFY(got.indexOf("radio radio_a 1 0") < got.indexOf("radio radio_b 1 0"));
        QVERIFY(got.contains("radio radio_a 0 0"));
        QVERIFY2(got.contains("tab tab_btn_home 1 0") && got.contains("tab tab_btn_home 0 0") &&
                     got.contains("tab tab_btn_contact 1 0"),
                 qPrintable(got.join('|')));
        QVERIFY(got.contains("choice choose_contact_class 1 0"));
        QVERIFY(got.contains("row rows_list 2 0"));
        QVERIFY2(got.contains("tree category_list 0 0"), qPrintable(got.join('|')));
        QVERIFY(got.last().startsWith("scroll rows_list 3 "));

        // Widget calls from a worker are queued to the UI thread.
        QWidget* label = GetPluginByName(&wnd, "status_text");
        QWidget* bar = GetPluginByName(&wnd, "bar");
        std::thread worker([&] {
            Plugin_SetText(label, QStringLiteral("正在导出"));
            Plugin_SetValue(bar, 40);
            Plugin_SetVisible(label, false);
            Plugin_SetStyle(label, "secondary");
        });
        worker.join();
        QCOMPARE(qobject_cast<QLabel*>(label)->text(), QString()); // queued, not yet run
        QApplication::processEvents();
        QCOMPARE(Plugin_GetText(label), QStringLiteral("正在导出"));
        QCOMPARE(Plugin_GetValue(bar), 40);
        QVERIFY(!Plugin_IsVisible(label));
        QCOMPARE(Plugin_GetStyle(label), QStringLiteral("secondary"));

        // The first matching row wins; no match gives 0.
        QWidget* ok = GetPluginByName(&wnd, "ok_btn");
        const auto send = [&](SkinEvent event) {
            return wnd.SendMessage(WM_SKIN_EVENT, reinterpret_cast<WPARAM>(ok), reinterpret_cast<LPARAM>(&event));
        };
        QCOMPARE(send({kSkinClick, 0, 0}), 1);
        Plugin_SetName(ok, "delete_task_btn12");
        QCOMPARE(send({kSkinClick, 0, 0}), 7);
        QCOMPARE(wnd.m_calls.last().handler, QStringLiteral("delete"));
        QCOMPARE(send({kSkinDropDown, 0, 0}), 0);
        QCOMPARE(send({kSkinCheck, 1, 0}), 0);

        // Clones of a template build lists; deleting them empties the list again.
        QWidget* templ = GetPluginByName(&wnd, "task_item_template");
        QWidget* container = GetPluginByName(&wnd, "task_container");
        QVERIFY(templ != nullptr && container != nullptr);

        QWidget* second = Plugin_Clone(templ, container, -1, "task_item_2");
        QWidget* first = Plugin_Clone(templ, container, 1, "task_item_1");
        QWidget* last = Plugin_Clone(templ, container, 99, "task_item_3");
        QVERIFY(first != nullptr && second != nullptr && last != nullptr);
        auto* box = qobject_cast<QBoxLayout*>(container->layout());
        QCOMPARE(box->indexOf(templ), 0);
        QCOMPARE(box->indexOf(first), 1);
        QCOMPARE(box->indexOf(second), 2);
        QCOMPARE(box->indexOf(last), 3);
        QVERIFY2(box->itemAt(4)->spacerItem() != nullptr, "rows stay above the trailing spacer");

        QVERIFY(!Plugin_IsVisible(first));
        Plugin_SetClonedVisible(first, 1);
        QVERIFY2(Plugin_IsVisible(first), "visible as soon as asked, even while the row waits for its slice");
        QTRY_VERIFY(first->isVisible());
        QCOMPARE(GetPluginByName(&wnd, "task_item_1"), first);
        QWidget* button = Plugin_GetChild(first, "delete_task_btn");
        QVERIFY(button != nullptr && button != Plugin_GetChild(templ, "delete_task_btn"));
        QCOMPARE(Plugin_GetCloneRoot(button), first);
        QVERIFY(Plugin_GetCloneRoot(templ) == nullptr);

        // A clone's widgets report to the window like the layout's own.
        Plugin_SetName(button, "delete_task_btn1");
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(wnd.m_calls.last().handler, QStringLiteral("delete"));
        QCOMPARE(wnd.m_calls.last().widget, QStringLiteral("delete_task_btn1"));

        Plugin_Delete(first);
        Plugin_Delete(second);
        Plugin_Delete(last);
        QVERIFY(GetPluginByName(&wnd, "task_item_1") == nullptr);
        QCOMPARE(box->count(), 2);
        QTRY_COMPARE(container->findChildren<QWidget*>("delete_task_btn").size(), 1);

        // Something that is no template gives null and adds nothing.
        const qsizetype before = LogText().size();
        QLabel loose;
        loose.setObjectName("made_in_code");
        QVERIFY(Plugin_Clone(&loose, container, 0, "x") == nullptr);
        Plugin_SetName(templ, "no_such_template");
        QVERIFY(Plugin_Clone(templ, container, 0, "y") == nullptr);
        QVERIFY(Plugin_Clone(nullptr, container, 0, "z") == nullptr);
        QVERIFY(LogText().mid(before).contains("no_such_template"));
        QCOMPARE(box->count(), 2);
    }

    // A nesting deeper than any layout needs stops the reader before the stack does.
    void rowTemplatesReadOrRefused_data() {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("read");
        const QByteArray label = "<widget class=\"QLabel\" name=\"t\"><property name=\"text\"><string>行</string>"
                                 "</property></widget>";
        QTest::newRow("a label") << label << true;
        QTest::newRow("nested a little") << "<widget class=\"QFrame\" name=\"f\">" + label + "</widget>" << true;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("truncated") << label.left(40) << false;
        QTest::newRow("not a widget") << QByteArray("<ui><action name=\"a\"/></ui>") << false;
        QByteArray deep;
        for (int i = 0; i < 100000; ++i) {
            deep += "<widget class=\"QFrame\" name=\"n\">";
        }
        QTest::newRow("nested 100,000 deep") << deep << false;
    }
    void rowTemplatesReadOrRefused() {
        QFETCH(QByteArray, document);
        QFETCH(bool, read);
        const std::unique_ptr<CSkinRecipe> recipe = CSkinRecipe::Parse(document);
        QCOMPARE(recipe != nullptr, read);
        if (recipe != nullptr) {
            QWidget parent;
            QWidget* built = recipe->Build(&parent, [](const QString& className, QWidget* owner) -> QWidget* {
                return className == QLatin1String("QLabel")   ? new QLabel(owner)
                       : className == QLatin1String("QFrame") ? new QFrame(owner)
                                                               : nullptr;
            });
            QVERIFY(built != nullptr);
            const auto* text = built->findChild<QLabel*>(QStringLiteral("t"));
            QCOMPARE(text != nullptr ? text->text() : qobject_cast<QLabel*>(built)->text(), QStringLiteral("行"));
        }
    }

    void matchString() {
        const struct {
            const char* pattern;
            const char* text;
            bool match;
        } cases[] = {{"ok_btn", "ok_btn", true},
                     {"delete_task_btn*", "delete_task_btn12", true},
                     {"picture_*_check", "picture_12_check", true},
                     {"a*b*c", "aXbYbZc", true}, // backtracks
                     {"", "x", false},
                     {"OK_btn", "ok_btn", false}}; // case matters
        for (const auto& c : cases) {
            QVERIFY2((MatchString(c.pattern, c.text) != 0) == c.match, c.pattern);
        }
    }
};

QTEST_MAIN(SkinTest)
#include "SkinTest.moc"
