// Streamed installs, as "adb install" sends them to a phone with the cmd feature: the APK's bytes
// follow on the stream of "cmd package install ... -S SIZE", and once SIZE bytes have come the
// package manager answers "Success" or "Failure [...]" as "pm install" does.
#include "PhoneDevice.h"

#include <algorithm>
#include <charconv>

namespace vexa_adbd {

namespace {

// Above this the simulated package manager refuses rather than hold the package in memory.
constexpr std::uint64_t kMaxStreamedApk = 1024ULL << 20;

class CStreamedInstallService final : public adb::IAdbService {
public:
    CStreamedInstallService(CPhoneDevice& phone, std::uint64_t size, bool replace)
        : m_phone(phone), m_size(size), m_replace(replace) {
        m_bytes.reserve(static_cast<qsizetype>(size));
    }

    void Start(adb::CAdbStreamContext& stream) override { (void)stream; }
    void OnData(adb::CAdbStreamContext& stream, std::string_view data) override {
        if (m_done) {
            return; // bytes beyond SIZE are not part of the package
        }
        const std::size_t take =
            std::min<std::uint64_t>(data.size(), m_size - static_cast<std::uint64_t>(m_bytes.size()));
        m_bytes.append(data.data(), static_cast<qsizetype>(take));
        if (static_cast<std::uint64_t>(m_bytes.size()) == m_size) {
            m_done = true;
            stream.Write(m_phone.InstallStreamed(m_bytes, m_replace));
            m_bytes = QByteArray();
            stream.Close();
        }
    }

private:
    CPhoneDevice& m_phone;
    std::uint64_t m_size;
    bool m_replace;
    bool m_done = false;
    QByteArray m_bytes;
};

} // namespace

std::unique_ptr<adb::IAdbService> CPhoneDevice::StreamedInstall(const std::vector<std::string>& words) {
    bool replace = false;
    std::uint64_t size = 0;
    for (std::size_t i = 3; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "-r") {
            replace = true;
        } else if (word == "-S" && i + 1 < words.size()) {
            const std::string& value = words[++i];
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), size);
            if (ec != std::errc{} || end != value.data() + value.size()) {
                size = 0;
            }
        } else if (word != "-d" && word != "-g" && word != "-t") {
            return adb::MakeReplyService("Error: Unknown option: " + word + "\n");
        }
    }
    if (size == 0) {
        // Without a size the package manager would read a package file named on the line.
        return adb::MakeReplyService("Error: must either specify a package size or an APK file\n");
    }
    if (size > kMaxStreamedApk) {
        return adb::MakeReplyService("Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]\n");
    }
    return std::make_unique<CStreamedInstallService>(*this, size, replace);
}

std::string CPhoneDevice::InstallStreamed(const QByteArray& bytes, bool replace) {
    std::lock_guard guard(m_lock);
    std::string out;
    InstallPackage(bytes, "/data/app/vmdl.tmp/base.apk", replace, out);
    return out;
}

} // namespace vexa_adbd
