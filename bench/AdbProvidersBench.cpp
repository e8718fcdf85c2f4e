// The adb backend's provider stores against a phone of realistic size: loading 1000 contacts (every
// field, groups), 2000 call records and 5000 SMS through a private adb server and vexa-adbd, writing
// one contact, and adding SMS in batches of 30 (each read back). Run by hand:
// build/default/bench/adb_providers_bench
#include "../tests/bridge/adb/AdbTestRig.h"

#include "bridge/adb/AdbBridge.h"
#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "libs/log/Log.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kContacts = 1000;
constexpr int kCalls = 2000;
constexpr int kSms = 5000;

struct Setup {
    QTemporaryDir folder;
    CAdbTestRig rig;
    QString serial;
    std::unique_ptr<vexa::DeviceBridge> bridge;
};
Setup* g_setup = nullptr;

vexa::DeviceSession* Session() {
    return g_setup->bridge->GetSession();
}

void BM_LoadContacts(benchmark::State& state) {
    vexa::ContactBook* book = Session()->GetContactBook();
    bool ok = true;
    for (auto _ : state) {
        ok = ok && book->LoadContacts() == 1 && book->GetContactCount(vexa::LIST_ALL) == kContacts;
    }
    if (!ok) {
        state.SkipWithError("load failed");
    }
    state.counters["contacts"] = kContacts;
}

void BM_LoadCallRecords(benchmark::State& state) {
    vexa::CallRecordList* calls = Session()->GetCallRecords();
    bool ok = true;
    for (auto _ : state) {
        ok = ok && calls->LoadCallRecords() == 1 && calls->GetCallRecordCount() == kCalls;
    }
    if (!ok) {
        state.SkipWithError("load failed");
    }
    state.counters["records"] = kCalls;
}

void BM_UpdateContact(benchmark::State& state) {
    vexa::ContactBook* book = Session()->GetContactBook();
    bool ok = book->LoadContacts() == 1;
    vexa::Contact* c = ok ? book->GetContactAt(vexa::LIST_ALL, 0) : nullptr;
    int n = 0;
    for (auto _ : state) {
        c->SetNickname(QStringLiteral("nick %1").arg(++n));
        ok = ok && book->UpdateContact(c);
    }
    if (!ok) {
        state.SkipWithError("update failed");
    }
}

void BM_LoadSms(benchmark::State& state) {
    vexa::SmsStore* store = Session()->GetSmsStore();
    bool ok = true;
    for (auto _ : state) {
        std::vector<vexa::Sms> all;
        ok = ok && store->LoadSms() == 1 && store->ListAllSms(&all) && all.size() >= kSms;
    }
    if (!ok) {
        state.SkipWithError("load failed");
    }
    state.counters["messages"] = kSms;
}

// One batch of 30 per iteration, as an import or a restore sends them.
void BM_AddSmsBatchOfThirty(benchmark::State& state) {
    vexa::SmsStore* store = Session()->GetSmsStore();
    bool ok = true;
    int n = 0;
    for (auto _ : state) {
        std::vector<std::unique_ptr<vexa::Sms>> owned;
        std::vector<vexa::Sms*> batch;
        for (int i = 0; i < 30; ++i) {
            owned.emplace_back(store->NewSms());
            owned.back()->SetNumber(QStringLiteral("1380000%1").arg(i, 4, 10, QChar('0')));
            owned.back()->SetContent(QStringLiteral("导入的短信 %1: 明天 10:30 见").arg(++n));
            batch.push_back(owned.back().get());
        }
        ok = ok && store->AddSmsBatch(batch);
    }
    if (!ok) {
        state.SkipWithError("add failed");
    }
    state.counters["messages"] =
        benchmark::Counter(30.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_LoadContacts)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadCallRecords)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UpdateContact)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadSms)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AddSmsBatchOfThirty)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

bool Prepare(Setup& setup) {
    qputenv("HOME", QFile::encodeName(setup.folder.path())); // the server's key stays here
    qputenv("VEXA_SIM_DIR", QFile::encodeName(setup.folder.filePath(QStringLiteral("sim"))));
    vexa::sim::PhoneSpec spec;
    spec.serial = QStringLiteral("BENCH-2");
    spec.model = QStringLiteral("V960");
    vexa::sim::SeedOptions seed;
    seed.contacts = kContacts;
    seed.calls = kCalls;
    seed.sms = kSms;
    QString error;
    if (!vexa::sim::CreatePhone(spec, &error) || !vexa::sim::SeedPhone(spec.serial, seed, &error) ||
        !setup.rig.StartServer(&error) || !setup.rig.StartDaemon(spec.serial, &setup.serial, &error)) {
        std::fprintf(stderr, "adb_providers_bench: %s\n", qPrintable(error));
        return false;
    }
    setup.bridge = vexa::adbphone::CreateAdbBridge(setup.rig.ServerPort());
    return setup.bridge->ConnectUsbDevice(setup.serial) != 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // Failures of the backend say why in its log; here that is the terminal.
    LOG_InitFile("/dev/stderr");
    Setup setup;
    g_setup = &setup;
    if (!Prepare(setup)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    setup.bridge->CloseSession();
    return 0;
}
