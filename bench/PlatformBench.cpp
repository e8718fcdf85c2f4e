// Costs of the helpers every window and worker leans on: posting window messages across threads,
// code page conversion of a typical contact line, and a log line.
#include "libs/log/Log.h"
#include "platform/CodePage.h"
#include "platform/WindowMessage.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <thread>

namespace {

class CCounter : public CMessageObject {
public:
    long received = 0;

protected:
    LRESULT OnMessage(UINT, WPARAM, LPARAM) override {
        ++received;
        return 0;
    }
};

// Messages posted by a worker and delivered on the UI thread, per batch of 10,000.
void BM_PostMessageFromWorker(benchmark::State& state) {
    CCounter target;
    for (auto _ : state) {
        std::thread worker([&] {
            for (int i = 0; i < 10000; ++i) {
                target.PostMessage(WM_USER + 1, static_cast<WPARAM>(i));
            }
        });
        worker.join();
        QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_PostMessageFromWorker)->Unit(benchmark::kMillisecond);

void BM_CodePageRoundTrip(benchmark::State& state) {
    const QString line = QStringLiteral("张伟,13800138000,北京市海淀区中关村大街1号,zhangwei@example.com");
    for (auto _ : state) {
        benchmark::DoNotOptimize(AnsiToUnicode(UnicodeToAnsi(line)));
    }
}
BENCHMARK(BM_CodePageRoundTrip);

void BM_LogLine(benchmark::State& state) {
    QTemporaryDir dir;
    LOG_InitFile(QFile::encodeName(dir.filePath(QStringLiteral("bench.log"))).constData());
    for (auto _ : state) {
        LOG_Info("[CContactPage] loaded %d contacts in %d ms. %s:%d", 2000, 35, LOG_HERE);
    }
    LOG_Free();
}
BENCHMARK(BM_LogLine);

} // namespace
