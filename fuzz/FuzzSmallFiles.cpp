// The small text files the program reads at start-up: the settings INI and MapInfo.ini.
#include "device/DeviceNameAdapter.h"
#include "libs/prefs/IniFile.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    CIniFile ini;
    if (ini.Parse(bytes) == CIniFile::LoadResult::Ok) {
        CIniFile again;
        if (again.Parse(ini.Serialise()) != CIniFile::LoadResult::Ok || again.Serialise() != ini.Serialise()) {
            std::abort();
        }
    }
    (void)DeviceNameAdapter::Parse(bytes);
    return 0;
}
