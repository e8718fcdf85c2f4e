// Loading and transfer speed of the simulated phone at full scale: 10,000 contacts with three
// phones each, 100,000 SMS, 20,000 call records, 300 apps, 5,000 pictures and 50,000 files.
// The phone is seeded once per run into a temporary simulator folder (set VEXA_BENCH_SIM_DIR to
// keep and reuse one).
#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/MessageStores.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

const QString kSerial = QStringLiteral("BENCH-FULL");
constexpr qint64 kBigFile = 50LL * 1024 * 1024;

struct BenchPhone {
    std::unique_ptr<QTemporaryDir> temp;
    QString folder;
    std::unique_ptr<vexa::DeviceBridge> bridge;
    QString bigLocal;

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
            spec.dualSim = true;
            spec.sdCard = true;
            vexa::sim::SeedOptions options;
            options.contacts = 10000;
            options.phonesPerContact = 3;
            options.sms = 100000;
            options.calls = 20000;
            options.apps = 300;
            options.pictures = 5000;
            options.files = 50000;
            QElapsedTimer timer;
            timer.start();
            if (!vexa::sim::CreatePhone(spec, &error) || !vexa::sim::SeedPhone(kSerial, options, &error)) {
                std::fprintf(stderr, "seeding failed: %s\n", qPrintable(error));
                std::abort();
            }
            std::fprintf(stderr, "seeded the benchmark phone in %lld ms\n", static_cast<long long>(timer.elapsed()));
        }
        bridge = vexa::sim::CreateSimBridge();
        if (!bridge->ConnectUsbDevice(kSerial)) {
            std::fprintf(stderr, "cannot connect to the benchmark phone\n");
            std::abort();
        }
        // The 50 MB file, on the computer and on the phone.
        bigLocal = folder + QStringLiteral("/big-local.bin");
        if (QFileInfo(bigLocal).size() != kBigFile) {
            QFile out(bigLocal);
            out.open(QIODevice::WriteOnly);
            QByteArray block(1 << 20, Qt::Uninitialized);
            for (int i = 0; i < 50; ++i) {
                for (int j = 0; j < block.size(); ++j) {
                    block[j] = static_cast<char>(i * 7 + j * 13);
                }
                out.write(block);
            }
        }
        vexa::FileSystem* fs = Session()->GetFileSystem();
        if (!fs->PathExists(QStringLiteral("/mnt/sdcard/Download/big.bin")) &&
            !fs->UploadFile(bigLocal, QStringLiteral("/mnt/sdcard/Download/big.bin"), {}, nullptr)) {
            std::fprintf(stderr, "cannot upload the 50 MB file\n");
            std::abort();
        }
    }

    vexa::DeviceSession* Session() { return bridge->GetSession(); }
};

BenchPhone& Phone() {
    static BenchPhone phone;
    return phone;
}

void BM_LoadContacts(benchmark::State& state) {
    vexa::ContactBook* book = Phone().Session()->GetContactBook();
    for (auto _ : state) {
        book->ResetContacts();
        if (book->LoadContacts() != 1) {
            state.SkipWithError("LoadContacts failed");
        }
    }
    state.counters["contacts"] = book->GetContactCount(vexa::LIST_ALL);
}
BENCHMARK(BM_LoadContacts)->Unit(benchmark::kMillisecond);

void BM_LoadSms(benchmark::State& state) {
    vexa::SmsStore* store = Phone().Session()->GetSmsStore();
    std::vector<MSGINFO> list;
    for (auto _ : state) {
        if (store->LoadSms() != 1 || !store->ListSms(&list)) {
            state.SkipWithError("LoadSms failed");
        }
    }
    state.counters["messages"] = static_cast<double>(list.size());
}
BENCHMARK(BM_LoadSms)->Unit(benchmark::kMillisecond);

void BM_LoadCallRecords(benchmark::State& state) {
    vexa::CallRecordList* calls = Phone().Session()->GetCallRecords();
    for (auto _ : state) {
        if (calls->LoadCallRecords() != 1) {
            state.SkipWithError("LoadCallRecords failed");
        }
    }
    state.counters["records"] = calls->GetCallRecordCount();
}
BENCHMARK(BM_LoadCallRecords)->Unit(benchmark::kMillisecond);

void BM_ListFolder5000(benchmark::State& state) {
    vexa::FileSystem* fs = Phone().Session()->GetFileSystem();
    for (auto _ : state) {
        if (!fs->ListFolder(QStringLiteral("/mnt/sdcard/Documents/Archive"), QString())) {
            state.SkipWithError("ListFolder failed");
        }
    }
    state.counters["entries"] = fs->GetEntryCount();
}
BENCHMARK(BM_ListFolder5000)->Unit(benchmark::kMillisecond);

void BM_Download50MB(benchmark::State& state) {
    vexa::FileSystem* fs = Phone().Session()->GetFileSystem();
    const QString target = Phone().folder + QStringLiteral("/big-download.bin");
    for (auto _ : state) {
        if (!fs->TransferFile(QStringLiteral("/mnt/sdcard/Download/big.bin"), target, {}, nullptr)) {
            state.SkipWithError("TransferFile failed");
        }
    }
    state.SetBytesProcessed(state.iterations() * kBigFile);
    QFile::remove(target);
}
BENCHMARK(BM_Download50MB)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The yardstick for the download: the same bytes copied file to file on the same disk, through a
// 1 MiB buffer and an atomic replace, as the download writes them.
void BM_PlainCopy50MB(benchmark::State& state) {
    const QString source = Phone().bigLocal;
    const QString target = Phone().folder + QStringLiteral("/big-copy.bin");
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (auto _ : state) {
        QFile in(source);
        QFile out(target + QStringLiteral(".tmp"));
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
            state.SkipWithError("open failed");
            break;
        }
        qint64 n = 0;
        while ((n = in.read(buffer.data(), buffer.size())) > 0) {
            out.write(buffer.constData(), n);
        }
        out.close();
        QFile::remove(target);
        QFile::rename(target + QStringLiteral(".tmp"), target);
    }
    state.SetBytesProcessed(state.iterations() * kBigFile);
    QFile::remove(target);
}
BENCHMARK(BM_PlainCopy50MB)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Phone(); // seed before timing starts
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
