// How long lists built from skin clones take: 2,000 rows of a typical 40 px row (check box, icon,
// two texts, a button) cloned into a scroll area, shown and laid out; and emptied again.
#include "skin/Skin.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollArea>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

const char* const kListLayout = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><class>list</class>
<widget class="QFrame" name="root">
 <property name="geometry"><rect><x>0</x><y>0</y><width>720</width><height>480</height></rect></property>
 <layout class="QVBoxLayout" name="root_layout">
  <item><widget class="QScrollArea" name="list_area">
   <property name="widgetResizable"><bool>true</bool></property>
   <widget class="QWidget" name="list_container">
    <layout class="QVBoxLayout" name="list_layout">
     <property name="spacing"><number>0</number></property>
     <item><widget class="QFrame" name="list_item_template">
      <property name="skinStyle" stdset="0"><string>list_row</string></property>
      <layout class="QHBoxLayout" name="row_layout">
       <item><widget class="QCheckBox" name="row_check"/></item>
       <item><widget class="QLabel" name="row_icon"><property name="minimumSize"><size><width>24</width><height>24</height></size></property></widget></item>
       <item><widget class="QLabel" name="row_name"/></item>
       <item><widget class="QLabel" name="row_size"><property name="skinStyle" stdset="0"><string>secondary</string></property></widget></item>
       <item><widget class="QPushButton" name="delete_row_btn"><property name="text"><string>删除</string></property></widget></item>
      </layout>
     </widget></item>
     <item><spacer name="list_spacer"><property name="orientation"><enum>Qt::Vertical</enum></property></spacer></item>
    </layout>
   </widget>
  </widget></item>
 </layout>
</widget></ui>
)";

struct Fixture {
    QTemporaryDir dir;
    CSkin* skin = nullptr;
    CMsgWnd wnd;
    QWidget* templ = nullptr;
    QWidget* container = nullptr;

    Fixture() {
        const QString shipped = QStringLiteral(VEXA_SOURCE_DIR "/resources/skin");
        QFile::copy(shipped + "/style.qss", dir.filePath("style.qss"));
        QDir().mkpath(dir.filePath("images"));
        for (const QString& name : QDir(shipped + "/images").entryList(QDir::Files)) {
            QFile::copy(shipped + "/images/" + name, dir.filePath("images/" + name));
        }
        QFile layout(dir.filePath("list.ui"));
        layout.open(QIODevice::WriteOnly);
        layout.write(kListLayout);
        layout.close();
        QFile config(dir.filePath("config.xml"));
        config.open(QIODevice::WriteOnly);
        config.write("<skin><stylesheet file=\"style.qss\"/><images folder=\"images\"/><layout name=\"list\" file=\"list.ui\"/></skin>");
        config.close();
        skin = LoadStyleW(dir.filePath("config.xml"));
        SetAppSkin(skin); // as the program does
        WindowManager_Attach(skin, &wnd, "list");
        templ = GetPluginByName(&wnd, "list_item_template");
        container = GetPluginByName(&wnd, "list_container");
        wnd.show();
        QApplication::processEvents();
    }
    ~Fixture() {
        for (QWidget* w : container->findChildren<QWidget*>("row", Qt::FindDirectChildrenOnly)) {
            delete w;
        }
        skin->Release();
    }

    // Clones and shows rows the way a page fills a list; returns when every row is on screen.
    // callerMs: how long the filling loop held the UI thread; longestMs: the longest event-loop step
    // after it (how long the window could not answer the user).
    QList<QWidget*> Fill(int rows, double& callerMs, double& longestMs) {
        QElapsedTimer timer;
        timer.start();
        QList<QWidget*> clones;
        clones.reserve(rows);
        for (int i = 0; i < rows; ++i) {
            QWidget* row = Plugin_Clone(templ, container, -1, QStringLiteral("row"));
            Plugin_SetText(Plugin_GetChild(row, "row_name"), QStringLiteral("联系人 %1").arg(i));
            Plugin_SetText(Plugin_GetChild(row, "row_size"), QStringLiteral("%1 KB").arg(i * 3));
            Plugin_SetClonedVisible(row, 1);
            clones << row;
        }
        callerMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        longestMs = 0;
        while (clones.last()->isHidden()) {
            QElapsedTimer step;
            step.start();
            QApplication::processEvents();
            longestMs = std::max(longestMs, static_cast<double>(step.nsecsElapsed()) / 1e6);
        }
        return clones;
    }
};

void BM_Clone2000Rows(benchmark::State& state) {
    Fixture f;
    double caller = 0;
    double longest = 0;
    for (auto _ : state) {
        double callerMs = 0;
        double longestMs = 0;
        const QList<QWidget*> rows = f.Fill(static_cast<int>(state.range(0)), callerMs, longestMs);
        caller = std::max(caller, callerMs);
        longest = std::max(longest, longestMs);
        state.PauseTiming();
        for (QWidget* row : rows) {
            Plugin_Delete(row);
        }
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["caller_ms"] = caller;
    state.counters["longest_step_ms"] = longest;
}
BENCHMARK(BM_Clone2000Rows)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Empty2000Rows(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        state.PauseTiming();
        double callerMs = 0;
        double longestMs = 0;
        const QList<QWidget*> rows = f.Fill(static_cast<int>(state.range(0)), callerMs, longestMs);
        state.ResumeTiming();
        for (QWidget* row : rows) {
            Plugin_Delete(row);
        }
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Empty2000Rows)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RawWidgets(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        QList<QWidget*> rows;
        auto* box = static_cast<QBoxLayout*>(f.container->layout());
        for (int i = 0; i < 2000; ++i) {
            auto* row = new QFrame(f.container);
            row->hide();
            row->setObjectName("row");
            row->setProperty("skinStyle", "list_row");
            auto* l = new QHBoxLayout(row);
            l->setObjectName("row_layout");
            auto* c = new QCheckBox(row); c->setObjectName("row_check"); l->addWidget(c);
            auto* a = new QLabel(row); a->setObjectName("row_icon"); a->setMinimumSize(24, 24); l->addWidget(a);
            auto* b = new QLabel(row); b->setObjectName("row_name"); l->addWidget(b);
            auto* d = new QLabel(row); d->setObjectName("row_size"); d->setProperty("skinStyle", "secondary"); l->addWidget(d);
            auto* p = new QPushButton(QStringLiteral("删除"), row); p->setObjectName("delete_row_btn"); l->addWidget(p);
            box->insertWidget(box->count() - 1, row);
            rows << row;
        }
        state.PauseTiming();
        for (QWidget* row : rows) delete row;
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RawWidgets)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
