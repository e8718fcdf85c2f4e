// vexa-cli device: which phone the commands reach.
#include "CliCommands.h"

#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"

namespace {

int RunDevice(CliContext& ctx, const QStringList& args) {
    if (args != QStringList{QStringLiteral("info")}) {
        ctx.err << "usage: vexa-cli [--phone SERIAL] device info\n";
        return kCliUsage;
    }
    vexa::DeviceSession* session = ctx.Session();
    if (session == nullptr) {
        return kCliFailed;
    }
    vexa::DeviceInfo* info = session->GetDeviceInfo();
    if (info == nullptr) {
        return kCliFailed;
    }
    ctx.out << "serial: " << info->GetSerial() << '\n'
            << "brand: " << info->GetBrand() << '\n'
            << "model: " << info->GetModel() << '\n'
            << "android: " << info->GetOsVersion() << '\n';
    if (vexa::DeviceSummary* summary = session->GetSummary(); summary != nullptr && summary->InitSummary()) {
        ctx.out << "contacts: " << summary->GetContactCount() << '\n'
                << "messages: " << summary->GetMessageCount() << '\n'
                << "apps: " << summary->GetAppCount() << '\n';
    }
    return kCliOk;
}

const CliRegistration kRegistration({"device", "device info", &RunDevice});

} // namespace
