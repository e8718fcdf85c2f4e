// The firmware package's way to the phone, piece by piece: the download from vexa-services (in
// this process, over loopback), the package check with update.zip taken out, and the copy of that
// image to a simulated phone.
#include "LocalServices.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "device/FirmwareUpdate.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

namespace {

void BM_DownloadOfferedPackage(benchmark::State& state) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    QTemporaryDir dir;
    vexa::services::CServicesThread services(dir.filePath(QStringLiteral("services")));
    QString error;
    if (!services.Start(&error)) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    const firmware::FirmwareCheck offer = firmware::CheckFirmware(QStringLiteral("VEXA-UI 2.1.0"), services.Url(),
                                                                  dir.filePath(QStringLiteral("temp")), {});
    if (offer.result != 1) {
        state.SkipWithError("no offer");
        return;
    }
    for (auto _ : state) {
        const firmware::DownloadResult got =
            firmware::DownloadPackage(offer, dir.filePath(QStringLiteral("dl")), {}, [] { return true; }, {});
        if (!got.ok) {
            state.SkipWithError(qPrintable(got.error));
            return;
        }
        QFile::remove(got.packagePath);
    }
    state.SetBytesProcessed(state.iterations() * offer.info.size);
}
BENCHMARK(BM_DownloadOfferedPackage)->Unit(benchmark::kMillisecond);

// A package of the given MiB: checksum, ZIP check and update.zip streamed out.
void BM_CheckAndExtractPackage(benchmark::State& state) {
    QTemporaryDir dir;
    const QByteArray image(static_cast<qsizetype>(state.range(0)) << 20, 'i');
    const QByteArray package = vexa::sim::MakeZip({{QStringLiteral("update.zip"), image}});
    const QString path = dir.filePath(QStringLiteral("p.pkg"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(package) != package.size()) {
        state.SkipWithError("cannot write the package");
        return;
    }
    file.close();
    PKG_VERSION_INFO offer;
    offer.size = package.size();
    offer.md5 = QCryptographicHash::hash(package, QCryptographicHash::Md5).toHex();
    const QString target = dir.filePath(QStringLiteral("update.zip"));
    for (auto _ : state) {
        QString error;
        if (!libPKG_ExtractUpdate(path, offer, target, &error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * package.size());
}
BENCHMARK(BM_CheckAndExtractPackage)->Arg(64)->Unit(benchmark::kMillisecond);

// The image onto a simulated phone (PutFile, as the installation does).
void BM_PutImageOnSimulatedPhone(benchmark::State& state) {
    QTemporaryDir dir;
    qputenv("VEXA_SIM_DIR", QFile::encodeName(dir.filePath(QStringLiteral("sim"))));
    QString error;
    vexa::sim::PhoneSpec spec;
    spec.serial = QStringLiteral("FW-BENCH");
    spec.model = QStringLiteral("V960");
    if (!vexa::sim::CreatePhone(spec, &error)) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    auto bridge = vexa::sim::CreateSimBridge();
    if (bridge->ConnectUsbDevice(spec.serial) == 0) {
        state.SkipWithError("no session");
        return;
    }
    vexa::FileSystem* fs = bridge->GetSession()->GetFileSystem();
    const QString local = dir.filePath(QStringLiteral("update.zip"));
    QFile file(local);
    const QByteArray image(static_cast<qsizetype>(state.range(0)) << 20, 'i');
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size()) {
        state.SkipWithError("cannot write the image");
        return;
    }
    file.close();
    for (auto _ : state) {
        if (!fs->PutFile(local, QStringLiteral("/mnt/sdcard/update.zip"), {}, nullptr)) {
            state.SkipWithError("PutFile failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * image.size());
    bridge->CloseSession();
}
BENCHMARK(BM_PutImageOnSimulatedPhone)->Arg(64)->Unit(benchmark::kMillisecond);

} // namespace
