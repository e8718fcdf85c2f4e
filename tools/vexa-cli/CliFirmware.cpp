// vexa-cli firmware: the firmware widget's check and update, on the same helpers.
#include "CliCommands.h"

#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "device/FirmwareUpdate.h"
#include "libs/prefs/Prefs.h"
#include "platform/StringTable.h"

#include <QDir>

#include <curl/curl.h>

namespace {

constexpr const char* kUsage = "firmware check\nfirmware update";

int RunFirmware(CliContext& ctx, const QStringList& args) {
    const bool check = args == QStringList{QStringLiteral("check")};
    const bool update = args == QStringList{QStringLiteral("update")};
    if (!check && !update) {
        return CliUsage(ctx, kUsage);
    }
    vexa::DeviceSession* session = ctx.Session();
    if (session == nullptr) {
        return kCliFailed;
    }
    if (!session->CanRebootToUpdate()) {
        ctx.err << Str(3101) << '\n';
        return kCliFailed;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const QString firmwareText = session->GetDeviceInfo()->GetFirmwareVersion();
    ctx.out << FormatText(Str(3102), qUtf8Printable(firmwareText)) << '\n';
    const HttpProxy proxy = ProxyFromSettings();
    const firmware::FirmwareCheck offer =
        firmware::CheckFirmware(firmwareText, PCL_GetServiceHost(QStringLiteral("firmware")), firmware::TempFolder(), proxy);
    if (offer.result != 1) {
        if (offer.errorId == 150) {
            ctx.out << Str(150) << '\n';
            return kCliOk;
        }
        ctx.err << Str(offer.errorId) << '\n' << offer.error << '\n';
        return kCliFailed;
    }
    ctx.out << FormatText(Str(3100), qUtf8Printable(offer.info.newVersion)) << '\n'
            << FormatText(Str(3105), qUtf8Printable(offer.info.date)) << '\n'
            << FormatText(Str(3106), qUtf8Printable(offer.SizeText())) << '\n';
    if (check) {
        return kCliOk;
    }
    const firmware::FirmwareStorage storage =
        firmware::ChooseStorage(session, static_cast<std::uint64_t>(offer.info.size));
    if (storage == firmware::FirmwareStorage::NoSpace) {
        ctx.err << Str(634) << '\n';
        return kCliFailed;
    }
    const bool card = storage == firmware::FirmwareStorage::Card;
    ctx.out << FormatText(Str(3112), qUtf8Printable(Str(card ? 3114 : 3113))) << '\n';
    const QString folder = firmware::DownloadFolder();
    ctx.out << Str(154) << '\n';
    ctx.out.flush();
    const firmware::DownloadResult download = firmware::DownloadPackage(
        offer, folder, proxy, [session] { return session->IsConnected(); },
        [&ctx](const firmware::DownloadProgress& at) {
            ctx.out << FormatText(Str(3115), static_cast<int>(at.percent)) << '\n';
            ctx.out.flush();
        });
    if (!download.ok) {
        ctx.err << Str(148) << '\n' << download.error << '\n';
        return kCliFailed;
    }
    ctx.out << Str(147) << '\n';
    const firmware::InstallResult installed = firmware::InstallPackage(session, download.packagePath, offer, card, {}, {});
    if (!installed.ok) {
        ctx.err << Str(3110) << '\n' << installed.error << '\n';
        return kCliFailed;
    }
    ctx.out << Str(145) << '\n';
    return kCliOk;
}

const CliRegistration kRegistration({"firmware", kUsage, &RunFirmware});

} // namespace
