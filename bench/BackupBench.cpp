// Packing and unpacking a backup of realistic size against gzip -6 over the same bytes, in one run.
// Size: VEXA_BENCH_BACKUP_MB (default 1024). Item files: app packages of random bytes (they are ZIP
// archives of compressed data on a real phone) and a tenth of text (contacts, messages).
#include "backup/BackupPackage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

struct Items {
    QTemporaryDir dir;
    backup::PackageDescriptor descriptor;
    qint64 bytes = 0;
};

Items* g_items = nullptr;

void MakeItems(Items& items, qint64 totalBytes) {
    QRandomGenerator random(20120725);
    const qint64 textBytes = totalBytes / 10;
    QByteArray text;
    const QByteArray line = QStringLiteral("张伟,13800138000,zhangwei@example.com,北京市海淀区中关村大街1号,\"备注, 带逗号\"\r\n").toUtf8();
    while (text.size() < 4 * 1024 * 1024) {
        text += line;
    }
    int index = 0;
    for (qint64 written = 0; written < totalBytes; ++index) {
        const bool isText = written < textBytes;
        const QString name = isText ? QStringLiteral("text%1.csv").arg(index) : QStringLiteral("app%1.apk").arg(index);
        QFile file(items.dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly)) {
            return;
        }
        const qint64 size = isText ? text.size() : 24 * 1024 * 1024;
        if (isText) {
            file.write(text);
        } else {
            QByteArray block(1024 * 1024, Qt::Uninitialized);
            for (qint64 done = 0; done < size; done += block.size()) {
                random.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
                file.write(block);
            }
        }
        written += size;
        items.bytes += size;
        items.descriptor.files << file.fileName();
    }
    items.descriptor.counts[backup::Apps] = index;
}

QString PackagePath() {
    return g_items->dir.filePath(QStringLiteral("out.bkg"));
}

void Report(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * g_items->bytes);
}

void BM_Pack(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(backup::WritePackage(PackagePath(), g_items->descriptor).ok);
    }
    Report(state);
}

void BM_Unpack(benchmark::State& state) {
    if (!QFile::exists(PackagePath()) && !backup::WritePackage(PackagePath(), g_items->descriptor)) {
        state.SkipWithError("cannot write the package");
        return;
    }
    const QString out = g_items->dir.filePath(QStringLiteral("unpacked"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(backup::ReadPackage(PackagePath(), out).ok);
    }
    QDir(out).removeRecursively();
    Report(state);
}

// The reference for zlib-bound work: gzip -6 over the same item files, output discarded.
void BM_Gzip6SameBytes(benchmark::State& state) {
    QStringList files = g_items->descriptor.files;
    for (auto _ : state) {
        QProcess gzip;
        gzip.setStandardOutputFile(QProcess::nullDevice());
        gzip.start(QStringLiteral("/bin/sh"),
                   QStringList{QStringLiteral("-c"), QStringLiteral("cat \"$@\" | gzip -6"), QStringLiteral("sh")} + files);
        gzip.waitForFinished(-1);
        if (gzip.exitCode() != 0) {
            state.SkipWithError("gzip failed");
        }
    }
    Report(state);
}

BENCHMARK(BM_Pack)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_Gzip6SameBytes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_Unpack)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bool ok = false;
    qint64 megabytes = qEnvironmentVariableIntValue("VEXA_BENCH_BACKUP_MB", &ok);
    if (!ok || megabytes <= 0) {
        megabytes = 1024;
    }
    Items items;
    QElapsedTimer timer;
    timer.start();
    MakeItems(items, megabytes * 1024 * 1024);
    g_items = &items;
    std::fprintf(stderr, "generated %lld MB in %d files in %lld ms\n", static_cast<long long>(items.bytes >> 20),
                 static_cast<int>(items.descriptor.files.size()), static_cast<long long>(timer.elapsed()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
