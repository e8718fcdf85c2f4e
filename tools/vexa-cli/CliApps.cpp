// vexa-cli apps: the apps tab's list, install, uninstall and export, on the same helpers.
#include "CliCommands.h"

#include "apps/AppOps.h"
#include "bridge/api/AppManager.h"
#include "bridge/api/DeviceSession.h"
#include "platform/ListField.h"
#include "platform/StringTable.h"

namespace {

constexpr const char* kUsage = "usage: vexa-cli [--phone SERIAL] apps list [--system]\n"
                               "       vexa-cli [--phone SERIAL] apps install FILE.apk...\n"
                               "       vexa-cli [--phone SERIAL] apps uninstall PACKAGE...\n"
                               "       vexa-cli [--phone SERIAL] apps export PACKAGE FILE.apk\n";

int Report(CliContext& ctx, const apps::AppOutcome& outcome, int successId) {
    for (const QString& notice : outcome.notices) {
        ctx.err << notice << '\n';
    }
    if (outcome.invalid > 0) {
        ctx.err << FormatText(Str(655), outcome.invalid) << '\n';
    }
    if (!outcome.error.isEmpty()) {
        ctx.err << outcome.error << '\n';
    }
    if (outcome.result == apps::AppOutcome::Succeeded || outcome.done > 0) {
        ctx.out << FormatText(Str(successId), outcome.done) << '\n';
    }
    const bool whole = outcome.result == apps::AppOutcome::Succeeded && outcome.notices.isEmpty();
    return whole ? kCliOk : kCliFailed;
}

int RunApps(CliContext& ctx, const QStringList& args) {
    const QString command = args.value(0);
    const bool list = command == QLatin1String("list") &&
                      (args.size() == 1 || (args.size() == 2 && args[1] == QLatin1String("--system")));
    const bool batch = (command == QLatin1String("install") || command == QLatin1String("uninstall")) && args.size() >= 2;
    const bool exporting = command == QLatin1String("export") && args.size() == 3;
    if (!list && !batch && !exporting) {
        ctx.err << kUsage;
        return kCliUsage;
    }
    vexa::DeviceSession* session = ctx.Session();
    if (session == nullptr) {
        return kCliFailed;
    }
    vexa::AppManager* manager = session->GetAppManager();
    if (manager == nullptr || manager->LoadApps() != 1) {
        ctx.err << Str(3014) << '\n';
        return kCliFailed;
    }
    if (list) {
        const bool system = args.size() == 2;
        for (const apps::AppItem& item : apps::ListApps(*manager)) {
            if (apps::IsSystemApp(item) == system) {
                ctx.out << ListField(item.package) << '\t' << ListField(item.versionName) << '\t' << item.size << '\t'
                        << ListField(item.label) << '\n';
            }
        }
        return kCliOk;
    }
    const QStringList operands = args.mid(1);
    apps::AppHooks hooks;
    hooks.connected = [session] { return session->IsConnected(); };
    if (command == QLatin1String("install")) {
        return Report(ctx, apps::InstallApks(*manager, operands, hooks), 3009);
    }
    if (command == QLatin1String("uninstall")) {
        return Report(ctx, apps::UninstallApps(*manager, nullptr, operands, hooks), 3010);
    }
    if (const QString error = apps::ExportApp(*manager, operands[0], operands[1]); !error.isEmpty()) {
        ctx.err << error << '\n';
        return kCliFailed;
    }
    ctx.out << FormatText(Str(3011), qUtf8Printable(operands[1])) << '\n';
    return kCliOk;
}

const CliRegistration kRegistration({"apps",
                                     "apps list [--system]\napps install FILE.apk...\napps uninstall PACKAGE...\n"
                                     "apps export PACKAGE FILE.apk",
                                     &RunApps});

} // namespace
