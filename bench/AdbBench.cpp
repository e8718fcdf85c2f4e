// Costs of the adb protocol layer: reading large shell listings, and the device transport's
// per-byte cost when a file streams out in WRTE messages acknowledged one by one.
#include "bridge/adb/protocol/AdbDeviceTransport.h"
#include "bridge/adb/protocol/AdbParsers.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

void BM_ParseLs10000(benchmark::State& state) {
    std::string text = "total 40000\r\n";
    for (int i = 0; i < 10000; ++i) {
        text += "-rw-rw---- 1 u0_a123 media_rw " + std::to_string(1000 + i) + " 2023-01-05 10:22 照片 " +
                std::to_string(i) + ".jpg\r\n";
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(adb::ParseLsListing(text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseLs10000)->Unit(benchmark::kMillisecond);

void BM_ParseContentQuery2000(benchmark::State& state) {
    std::string text;
    for (int i = 0; i < 2000; ++i) {
        text += "Row: " + std::to_string(i) + " _id=" + std::to_string(i) +
                ", address=+8613800138000, body=你好, world, see you at 5, date=1700000000000, type=1\n";
    }
    const QStringList columns{"_id", "address", "body", "date", "type"};
    for (auto _ : state) {
        benchmark::DoNotOptimize(adb::ParseContentQuery(text, columns));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseContentQuery2000)->Unit(benchmark::kMillisecond);

// 16 MiB out of one stream with the given max payload, the host side acknowledging each WRTE.
void BM_TransportStream16MiB(benchmark::State& state) {
    const std::string big(16 * 1024 * 1024, 'x');
    const auto payload = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        adb::CAdbDeviceTransport transport(
            {"p", "m", "d", {"cmd"}}, [&](const std::string&) { return adb::MakeReplyService(big); }, payload);
        transport.Feed(adb::EncodeAdbMessage({adb::kCmdCnxn, adb::kAdbVersionNoChecksum, payload, "host::"}));
        transport.Feed(adb::EncodeAdbMessage({adb::kCmdOpen, 1, 0, "exec:cat"}));
        std::size_t received = 0;
        for (bool open = true; open;) {
            const std::string out = transport.TakeOutput();
            open = false;
            for (std::size_t at = 0; at < out.size();) {
                adb::AdbHeader header;
                adb::DecodeAdbHeader(out.data() + at, header, nullptr);
                if (header.command == adb::kCmdWrte) {
                    received += header.dataLength;
                    transport.Feed(adb::EncodeAdbMessage({adb::kCmdOkay, 1, header.arg0, {}}));
                    open = true;
                }
                at += adb::kHeaderSize + header.dataLength;
            }
        }
        if (received != big.size()) {
            state.SkipWithError("lost data");
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * big.size()));
}
BENCHMARK(BM_TransportStream16MiB)->Arg(4096)->Arg(256 * 1024)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond);

} // namespace
