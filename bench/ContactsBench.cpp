// Contacts at the size of a large address book (10,000 entries on a simulated phone): export to
// CSV and vCard, parsing the files back (apart from creating the contacts on the phone), the search
// as the user types, and the UI-thread slice that fills the contact list.
#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "contacts/CCallRecordWnd.h"
#include "contacts/CContactPage.h"
#include "contacts/CExportContactHelper.h"
#include "device/SessionGate.h"
#include "contacts/CImportContactHelper.h"
#include "contacts/CPbListWnd.h"
#include "contacts/ContactListing.h"
#include "skin/Skin.h"
#include "SourceSkinMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

namespace {

constexpr int kContacts = 10000;

struct Phone {
    QTemporaryDir dir;
    vexa::ContactBook* book = nullptr;
    std::vector<vexa::Contact*> all;
    int phones = 0;

    Phone() {
        qputenv("VEXA_SIM_DIR", QFile::encodeName(dir.filePath("sim")));
        vexa::sim::PhoneSpec spec;
        spec.serial = "BENCH-1";
        spec.model = "V960";
        QString error;
        vexa::sim::SeedOptions seed;
        seed.contacts = kContacts;
        seed.calls = 1000;
        seed.smallStores = false;
        seed.screenFrames = false;
        if (!vexa::sim::CreatePhone(spec, &error) || !vexa::sim::SeedPhone("BENCH-1", seed, &error)) {
            qFatal("cannot make the phone: %s", qPrintable(error));
        }
        spec.serial = "BENCH-2";
        vexa::sim::CreatePhone(spec, &error);
        // The page finds the phone where the program does: through ppGetBridge().
        vexa::sim::UseSimulatedPhones();
        ppInitialize();
        Open("BENCH-1");
        all = contacts::ContactsOfNode(*book, contacts::NodeAll);
        for (vexa::Contact* c : all) {
            book->LoadContactDetail(c);
            phones += c->GetPhoneCount();
        }
    }
    void Open(const QString& serial) {
        ppGetBridge()->ConnectUsbDevice(serial);
        book = ppGetBridge()->GetSession()->GetContactBook();
        book->LoadContacts();
        ppGetBridge()->GetSession()->GetCallRecords()->LoadCallRecords();
    }
    QString File(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
};

Phone& ThePhone() {
    static Phone phone;
    return phone;
}

void Export(benchmark::State& state, CExportContactHelper::Format format, const char* file) {
    Phone& p = ThePhone();
    for (auto _ : state) {
        CExportContactHelper helper;
        if (helper.Export(p.book, p.all, format, p.File(file), {}, {}) != CExportContactHelper::Export_Succeeded) {
            state.SkipWithError("export failed");
        }
    }
    state.counters["contacts"] = static_cast<double>(p.all.size());
}

void BM_ExportCsv(benchmark::State& state) {
    Export(state, CExportContactHelper::FormatCsv, "all.csv");
}
void BM_ExportVcf(benchmark::State& state) {
    Export(state, CExportContactHelper::FormatVcf, "all.vcf");
}

void Parse(benchmark::State& state, bool csv) {
    Phone& p = ThePhone();
    const QString file = p.File(csv ? "all.csv" : "all.vcf");
    CExportContactHelper exporter;
    exporter.Export(p.book, p.all, csv ? CExportContactHelper::FormatCsv : CExportContactHelper::FormatVcf, file, {}, {});
    for (auto _ : state) {
        CImportContactHelper helper;
        const int message = csv ? helper.ParseCsvFile(file) : helper.ParseVcfFiles({file});
        if (message != 0 || helper.RecordCount() != kContacts) {
            state.SkipWithError("parse failed");
        }
    }
}

void BM_ParseCsv(benchmark::State& state) {
    Parse(state, true);
}
void BM_ParseVcf(benchmark::State& state) {
    Parse(state, false);
}

// Creating the parsed contacts on the simulated phone (its SQLite writes), one run.
void BM_CreateOnPhone(benchmark::State& state) {
    Phone& p = ThePhone();
    const QString file = p.File("create.csv");
    CExportContactHelper exporter;
    exporter.Export(p.book, p.all, CExportContactHelper::FormatCsv, file, {}, {});
    for (auto _ : state) {
        state.PauseTiming();
        CImportContactHelper helper;
        helper.ParseCsvFile(file);
        p.Open("BENCH-2");
        state.ResumeTiming();
        if (helper.Import(p.book, {}, {}) != CImportContactHelper::Import_Succeeded) {
            state.SkipWithError("import failed");
        }
    }
    p.Open("BENCH-1");
    p.all = contacts::ContactsOfNode(*p.book, contacts::NodeAll);
}

// One keystroke: a whole walk of the book for the key typed so far.
void BM_SearchKeystroke(benchmark::State& state) {
    Phone& p = ThePhone();
    static const QStringList keys{"1", "13", "138", "1380", "李", "李娜", "Smith", "zzz"};
    const QString key = keys[static_cast<int>(state.range(0))];
    int found = 0;
    for (auto _ : state) {
        found = 0;
        contacts::SearchContacts(*p.book, key, {}, [&found](vexa::Contact*) { ++found; });
        benchmark::DoNotOptimize(found);
    }
    state.SetLabel(key.toStdString());
    state.counters["matches"] = found;
}

// The UI-thread slice that fills the list for "所有联系人" (read the book's list, make the items, lay
// out and draw the visible rows), and one scroll step.
struct ListWindow {
    CMsgWnd wnd;
    std::unique_ptr<CPbListWnd> list;
    ListWindow() {
        if (WindowManager_Attach(AppSkin(), &wnd, QStringLiteral("contact_page")) == 0) {
            qFatal("no contact_page layout");
        }
        wnd.resize(980, 560);
        Plugin_SetVisible(GetPluginByName(&wnd, QStringLiteral("contact_view")), true);
        wnd.show();
        list = std::make_unique<CPbListWnd>(&wnd);
        QApplication::processEvents();
    }
};

std::unique_ptr<ListWindow> g_list; // torn down in main like the page

ListWindow& TheListWindow() {
    if (!g_list) {
        g_list = std::make_unique<ListWindow>();
    }
    return *g_list;
}

void BM_FillList(benchmark::State& state) {
    Phone& p = ThePhone();
    ListWindow& window = TheListWindow();
    for (auto _ : state) {
        std::vector<CPbListWnd::Item> items;
        for (vexa::Contact* c : contacts::ContactsOfNode(*p.book, contacts::NodeAll)) {
            items.push_back(CPbListWnd::MakeItem(c));
        }
        window.list->Clear();
        window.list->Append(std::move(items));
        window.wnd.repaint();
        QApplication::processEvents();
    }
    state.counters["rows"] = window.list->Count();
}

void BM_ScrollStep(benchmark::State& state) {
    ListWindow& window = TheListWindow();
    Phone& p = ThePhone();
    if (window.list->Count() == 0) {
        std::vector<CPbListWnd::Item> items;
        for (vexa::Contact* c : contacts::ContactsOfNode(*p.book, contacts::NodeAll)) {
            items.push_back(CPbListWnd::MakeItem(c));
        }
        window.list->Append(std::move(items));
    }
    int value = 0;
    for (auto _ : state) {
        value = (value + CPbListWnd::kRowHeight * 3) % window.list->ScrollBar()->maximum();
        window.list->ScrollBar()->setValue(value);
        window.list->Relayout();
        window.wnd.repaint();
    }
}

// The whole refresh of the contacts tab once its data is loaded, as one UI-thread slice: the group
// tree with its counts, the list of all contacts, the preview, and the call record view.
struct PageFixture {
    CSessionGate gate;
    CContactPage page{gate};
    PageFixture() {
        gate.SetUsable(true);
        page.Create();
        page.resize(980, 560);
        page.show();
        page.OnDeviceConnected();
        QElapsedTimer wait;
        wait.start();
        while (page.IsLoading() && wait.elapsed() < 30000) {
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    }
};
// Torn down in main, before the application object and the statics its threads use.
std::unique_ptr<PageFixture> g_page;

void BM_PageRefresh(benchmark::State& state) {
    ThePhone();
    if (!g_page) {
        g_page = std::make_unique<PageFixture>();
    }
    CContactPage& page = g_page->page;
    CCallRecordWnd* calls = page.CallRecords();
    double longest = 0;
    for (auto _ : state) {
        // The refresh itself, then each later slice of the call log's rows, timed one by one.
        QElapsedTimer slice;
        slice.start();
        page.LoadRequest(1);
        page.repaint();
        longest = std::max(longest, slice.nsecsElapsed() / 1e6);
        while (calls->FilledRows() < static_cast<int>(calls->Groups().size())) {
            slice.restart();
            calls->FillMoreRows();
            page.repaint();
            longest = std::max(longest, slice.nsecsElapsed() / 1e6);
        }
        state.PauseTiming();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["longest_slice_ms"] = longest;
    state.counters["rows"] = page.List().Count();
    state.counters["call_groups"] = static_cast<double>(page.CallRecords()->Groups().size());
}

} // namespace

BENCHMARK(BM_PageRefresh)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportVcf)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ParseCsv)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ParseVcf)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CreateOnPhone)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SearchKeystroke)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillList)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ScrollStep)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return RunBenchmarksWithSourceSkin(argc, argv, [] {
        g_page.reset();
        g_list.reset();
        ppCleanup();
    });
}
