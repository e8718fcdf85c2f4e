#include "CliCommands.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/adb/BridgeChoice.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "device/DeviceConnection.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "platform/StringTable.h"

namespace {

std::vector<CliCommandGroup>& Registry() {
    static std::vector<CliCommandGroup> groups;
    return groups;
}

void PrintLines(QTextStream& to, const char* usage) {
    for (const QString& line : QString::fromUtf8(usage).split('\n', Qt::SkipEmptyParts)) {
        to << "  vexa-cli [--phone SERIAL] " << line << '\n';
    }
}

void PrintUsage(QTextStream& to) {
    to << "usage: vexa-cli [--phone SERIAL] [--bridge sim|adb|auto] COMMAND ...\n";
    for (const CliCommandGroup& group : CliGroups()) {
        PrintLines(to, group.usage);
    }
    to << "--bridge sim: the simulated phones (see vexa-phone); adb: real phones listed by the adb server\n"
          "(USB debugging on, or paired over Wi-Fi); auto: a real phone when one is ready, else the simulated\n"
          "ones. Without --bridge, VEXA_BRIDGE or else the program's setting decides.\n";
}

bool IsBridgeChoice(const QString& value) {
    return value == QLatin1String("sim") || value == QLatin1String("adb") || value == QLatin1String("auto");
}

} // namespace

int CliUsage(CliContext& ctx, const char* usage) {
    ctx.err << "usage:\n";
    PrintLines(ctx.err, usage);
    return kCliUsage;
}

CliRegistration::CliRegistration(const CliCommandGroup& group) {
    Registry().push_back(group);
}

const std::vector<CliCommandGroup>& CliGroups() {
    return Registry();
}

CliContext::~CliContext() {
    if (m_bridgeStarted) {
        ppCleanup(); // closes the session too
        LOG_Free();
    }
}

vexa::DeviceSession* CliContext::Session() {
    if (m_connected) {
        if (vexa::DeviceBridge* bridge = ppGetBridge()) {
            return bridge->GetSession();
        }
        return nullptr;
    }
    if (!m_bridgeStarted) {
        LOG_Init();
        PCL_Load();
        // The same start as the program: the backend of the setting (VEXA_BRIDGE overrides it),
        // with the demo phone on a first run of the simulated phones.
        m_simulated = vexa::InstallBridgeBackend(m_bridgeChoice.isEmpty() ? qEnvironmentVariable("VEXA_BRIDGE")
                                                                            : m_bridgeChoice) ==
                      vexa::BridgeBackendKind::Simulated;
        if (m_simulated) {
            bool created = false;
            QString error;
            if (!vexa::sim::EnsureDemoPhone(&created, &error)) {
                LOG_Error("[CLI] cannot create the demo phone: %s. %s:%d", qUtf8Printable(error), LOG_HERE);
            }
        }
        if (!ppInitialize()) {
            err << Str(566) << '\n';
            return nullptr;
        }
        m_bridgeStarted = true;
    }
    vexa::DeviceBridge* bridge = ppGetBridge();
    CDeviceList devices;
    if (!devices.Refresh(bridge) || devices.GetDeviceCount() == 0) {
        err << Str(2217) << '\n';
        ReportUnusablePhoneFiles();
        return nullptr;
    }
    DeviceRecord chosen{};
    bool found = false;
    for (int i = 0; i < devices.GetDeviceCount() && !found; ++i) {
        DeviceRecord record{};
        if (devices.GetDeviceRecord(i, record) && (m_phone.isEmpty() || record.Serial() == m_phone)) {
            chosen = record;
            found = true;
        }
    }
    if (!found) {
        err << Str(2217) << ": " << m_phone << '\n';
        ReportUnusablePhoneFiles();
        return nullptr;
    }
    if (IsIncompatibleModel(chosen.Model())) {
        err << Str(2220) << '\n';
        return nullptr;
    }
    if (ConnectUsb(bridge, devices, chosen.Serial()) != ConnectResult::Ok) {
        err << Str(566) << '\n';
        return nullptr;
    }
    m_connected = true;
    return bridge->GetSession();
}

void CliContext::ReportUnusablePhoneFiles() {
    // A damaged or renamed phone file would otherwise look like no phone at all.
    if (!m_simulated) {
        return;
    }
    QStringList problems;
    vexa::sim::ListPhones(&problems);
    for (const QString& problem : problems) {
        err << FormatText(Str(2701), qUtf8Printable(problem)) << '\n';
    }
}

int RunCli(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    QStringList args = arguments;
    QString phone;
    QString bridge;
    while (!args.isEmpty() && (args.front() == QLatin1String("--phone") || args.front() == QLatin1String("--bridge"))) {
        if (args.size() < 2 || (args.front() == QLatin1String("--bridge") && !IsBridgeChoice(args.at(1)))) {
            PrintUsage(err);
            return kCliUsage;
        }
        (args.front() == QLatin1String("--phone") ? phone : bridge) = args.at(1);
        args = args.mid(2);
    }
    if (args.isEmpty() || args.front() == QLatin1String("--help") || args.front() == QLatin1String("help")) {
        PrintUsage(args.isEmpty() ? err : out);
        return args.isEmpty() ? kCliUsage : kCliOk;
    }
    const QString name = args.takeFirst();
    for (const CliCommandGroup& group : CliGroups()) {
        if (name == QLatin1String(group.name)) {
            CliContext ctx(out, err, phone, bridge);
            return group.run(ctx, args);
        }
    }
    err << "vexa-cli: unknown command \"" << name << "\"\n";
    PrintUsage(err);
    return kCliUsage;
}
