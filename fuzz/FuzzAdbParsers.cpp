// Every parser of phone tool output on arbitrary bytes: no crash, and what comes out keeps the
// promises callers rely on (no "." or ".." entries, link targets only on links).
#include "bridge/adb/protocol/AdbParsers.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    adb::ParseDeviceList(text);
    adb::ParseGetprop(text);
    for (const adb::LsEntry& e : adb::ParseLsListing(text)) {
        if (e.name.isEmpty() || e.name == QLatin1String(".") || e.name == QLatin1String("..") ||
            (!e.IsLink() && !e.linkTarget.isEmpty()) || !e.modified.isValid()) {
            std::abort();
        }
    }
    for (const adb::DfEntry& e : adb::ParseDf(text)) {
        if (e.totalKb < 0 || e.usedKb < 0 || e.availableKb < 0) {
            std::abort();
        }
    }
    adb::ParsePackageList(text);
    adb::ParseDumpsysPackage(text, QStringLiteral("com.vexa.music"));
    adb::ParseContentQuery(text, {QStringLiteral("_id"), QStringLiteral("address"), QStringLiteral("body")});
    return 0;
}
