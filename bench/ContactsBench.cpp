// Contacts at the size of a large address book (10,000 entries on a simulated phone): export to
// CSV and vCard, parsing the files back (apart from creating the contacts on the phone), the search
// as the user types, the UI-thread slice that fills the contact list, the duplicate scan, deleting
// 1,000 contacts and opening the editor on a contact with every field.
#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "contacts/CCallRecordWnd.h"
#include "contacts/CContactEditDlg.h"
#include "contacts/CContactPage.h"
#include "contacts/ContactEditing.h"
#include "contacts/ContactMerge.h"
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
        vexa::sim::PhoneSpec phone;
        phone.serial = "BENCH-1";
        phone.model = "V960";
        QString error;
        vexa::sim::SeedOptions seed;
        seed.contacts = kContacts;
        seed.calls = 1000;
        seed.smallStores = false;
        seed.screenFrames = false;
        if (!vexa::sim::CreatePhone(phone, &error) || !vexa::sim::SeedPhone("BENCH-1", seed, &error)) {
            qFatal("cannot make the phone: %s", qPrintable(error));
        }
        phone.serial = "BENCH-2";
        vexa::sim::CreatePhone(phone, &error);
        phone.serial = "BENCH-3";
        vexa::sim::CreatePhone(phone, &error);
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

// The duplicate scan of the merge over 10,000 phone contacts of which 500 have a twin (details
// loaded), changing nothing.
void BM_DuplicateScan(benchmark::State& state) {
    Phone& p = ThePhone();
    p.Open("BENCH-3");
    if (p.book->GetContactCount(vexa::LIST_ALL) == 0) {
        p.Open("BENCH-1");
        std::vector<vexa::Contact> copies;
        for (int i = 0; i < kContacts; ++i) {
            vexa::Contact* c = p.book->GetContactAt(vexa::LIST_ALL, i);
            p.book->LoadContactDetail(c);
            copies.push_back(*c);
            if (i % 20 == 0) {
                copies.push_back(*c);
            }
        }
        p.Open("BENCH-3");
        for (const vexa::Contact& c : copies) {
            std::unique_ptr<vexa::Contact> fresh(p.book->NewContact());
            contacts::CopyContactFields(c, fresh.get());
            if (p.book->CreateContact(fresh.get())) {
                fresh.release();
            }
        }
        p.Open("BENCH-3");
    }
    for (vexa::Contact* c : contacts::ContactsOfNode(*p.book, contacts::NodePhone)) {
        p.book->LoadContactDetail(c);
    }
    int merged = 0;
    for (auto _ : state) {
        merged = contacts::SmartMerge(*p.book, false, nullptr, {}).merged;
    }
    state.counters["contacts"] = p.book->GetContactCount(vexa::LIST_PHONE);
    state.counters["would_merge"] = merged;
    p.Open("BENCH-1");
    p.all = contacts::ContactsOfNode(*p.book, contacts::NodeAll);
}

// Deleting 1,000 contacts on the simulated phone, as the page's delete batch does.
void BM_DeleteThousand(benchmark::State& state) {
    Phone& p = ThePhone();
    for (auto _ : state) {
        state.PauseTiming();
        p.Open("BENCH-2");
        std::vector<std::int64_t> ids;
        for (int i = 0; i < 1000; ++i) {
            std::unique_ptr<vexa::Contact> c(p.book->NewContact());
            c->SetDisplayName(QStringLiteral("删除%1").arg(i));
            c->AddPhone(2, nullptr, QStringLiteral("1390000%1").arg(i, 4, 10, QChar('0')), nullptr);
            if (p.book->CreateContact(c.get())) {
                ids.push_back(c.release()->GetId());
            }
        }
        state.ResumeTiming();
        if (contacts::DeleteContacts(*p.book, ids, nullptr, {}).done != 1000) {
            state.SkipWithError("delete failed");
        }
    }
    p.Open("BENCH-1");
    p.all = contacts::ContactsOfNode(*p.book, contacts::NodeAll);
}

// Opening the editor (layout, one row per entry, filters) on a contact with every field, the
// argument's number of entries of each kind.
void BM_OpenEditor(benchmark::State& state) {
    vexa::Contact c;
    c.SetDisplayName(QStringLiteral("欧阳娜娜"));
    c.SetNickname(QStringLiteral("娜娜"));
    c.SetCompany(QStringLiteral("维克萨科技"));
    c.SetBirthday(QStringLiteral("1990-07-09"));
    const QString label = QStringLiteral("自定义");
    for (int i = 0; i < state.range(0); ++i) {
        c.AddPhone(i % 9, &label, QStringLiteral("1380013%1").arg(i, 4, 10, QChar('0')), nullptr);
        c.AddEmail(i % 4, &label, QStringLiteral("u%1@example.com").arg(i), nullptr);
        c.AddWebsite(i % 3, &label, QStringLiteral("https://example.com/%1").arg(i), nullptr);
        c.AddAddress(i % 4, &label, QStringLiteral("中关村大街%1号").arg(i), QStringLiteral("北京"),
                     QStringLiteral("北京市"), QStringLiteral("100080"), QStringLiteral("中国"), nullptr);
        c.AddIm(i % 8, QStringLiteral("im%1").arg(i), nullptr);
        c.AddNote(QStringLiteral("备注 %1").arg(i));
    }
    std::vector<CContactEditDlg::GroupChoice> groups;
    for (int g = 0; g < 20; ++g) {
        groups.push_back({g, QStringLiteral("群组%1").arg(g), g % 2 == 0});
    }
    for (auto _ : state) {
        CContactEditDlg dialog(c, false, groups, QByteArray());
        if (!dialog.CreateModeless()) {
            state.SkipWithError("editor did not open");
        }
        QApplication::processEvents();
        benchmark::DoNotOptimize(dialog.RowCount(CContactEditDlg::SecPhone));
    }
}

} // namespace

BENCHMARK(BM_DuplicateScan)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DeleteThousand)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenEditor)->Arg(2)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(10);
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
