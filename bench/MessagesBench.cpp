// The message page's heavy paths on a full phone (10,000 contacts, 100,000 SMS): reading and
// grouping every message into conversations with contact names, writing the data script of a
// 5,000-message conversation, and exporting every SMS as CSV. The phone is seeded once per run into
// a temporary simulator folder (VEXA_BENCH_SIM_DIR keeps and reuses one).
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "messages/ConversationScript.h"
#include "messages/MessageData.h"
#include "messages/SmsCsvTransfer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

const QString kSerial = QStringLiteral("BENCH-MESSAGES");

struct BenchPhone {
    std::unique_ptr<QTemporaryDir> temp;
    QString folder;
    std::unique_ptr<vexa::DeviceBridge> bridge;

    BenchPhone() {
        folder = qEnvironmentVariable("VEXA_BENCH_SIM_DIR");
        if (folder.isEmpty()) {
            temp = std::make_unique<QTemporaryDir>();
            folder = temp->path();
        }
        QDir().mkpath(folder);
        qputenv("VEXA_SIM_DIR", QFile::encodeName(folder));
        QString error;
        if (!QFile::exists(vexa::sim::PhoneFilePath(kSerial))) {
            vexa::sim::PhoneSpec spec;
            spec.serial = kSerial;
            spec.model = QStringLiteral("V960");
            vexa::sim::SeedOptions options;
            options.contacts = 10000;
            options.sms = 100000;
            options.smallStores = false;
            options.screenFrames = false;
            if (!vexa::sim::CreatePhone(spec, &error) || !vexa::sim::SeedPhone(kSerial, options, &error)) {
                std::fprintf(stderr, "seeding failed: %s\n", qPrintable(error));
                std::abort();
            }
        }
        bridge = vexa::sim::CreateSimBridge();
        if (!bridge->ConnectUsbDevice(kSerial)) {
            std::fprintf(stderr, "cannot connect to the benchmark phone\n");
            std::abort();
        }
        vexa::DeviceSession* session = Session();
        session->GetContactBook()->LoadContacts();
        session->GetSmsStore()->LoadSms();
        session->GetMmsStore()->LoadMms();
    }

    vexa::DeviceSession* Session() { return bridge->GetSession(); }
};

BenchPhone& Phone() {
    static BenchPhone phone;
    return phone;
}

// What the page does on every refresh: list both stores, build the contact names, order and group.
void BM_RebuildConversations(benchmark::State& state) {
    messages::MessageData data;
    if (data.ObtainStores(Phone().Session()) != messages::MessageData::StoreState::Ready) {
        state.SkipWithError("stores not ready");
        return;
    }
    for (auto _ : state) {
        data.Rebuild(Phone().Session());
    }
    state.counters["messages"] = static_cast<double>(data.Messages().size());
    state.counters["conversations"] = static_cast<double>(data.Conversations().size());
}
BENCHMARK(BM_RebuildConversations)->Unit(benchmark::kMillisecond);

// The ordering and grouping alone, from lists already read.
void BM_GroupConversations(benchmark::State& state) {
    std::vector<MSGINFO> sms;
    Phone().Session()->GetSmsStore()->ListSms(&sms);
    messages::MessageData data;
    for (auto _ : state) {
        data.Fill(sms, {}, {}, {});
    }
    state.counters["conversations"] = static_cast<double>(data.Conversations().size());
}
BENCHMARK(BM_GroupConversations)->Unit(benchmark::kMillisecond);

void BM_ConversationScript5000(benchmark::State& state) {
    std::vector<MSGINFO> list;
    Phone().Session()->GetSmsStore()->ListSms(&list);
    list.resize(std::min<std::size_t>(list.size(), 5000));
    for (MSGINFO& m : list) {
        m.number = QStringLiteral("13800138000");
    }
    QTemporaryDir dir;
    messages::ScriptOptions options;
    options.view = messages::ConversationView::Conversation;
    options.contactName = [](const QString&) { return QStringLiteral("王小明"); };
    for (auto _ : state) {
        if (!messages::WriteConversationScript(list, options, dir.filePath("ConfView.js"), dir.filePath("temp.data"))) {
            state.SkipWithError("script not written");
        }
    }
    state.counters["messages"] = static_cast<double>(list.size());
}
BENCHMARK(BM_ConversationScript5000)->Unit(benchmark::kMillisecond);

void BM_ExportCsv100k(benchmark::State& state) {
    QTemporaryDir dir;
    int written = 0;
    for (auto _ : state) {
        written = messages::ExportAllSmsCsv(Phone().Session(), dir.filePath("all.csv")).written;
    }
    state.counters["rows"] = written;
}
BENCHMARK(BM_ExportCsv100k)->Unit(benchmark::kMillisecond);

} // namespace
