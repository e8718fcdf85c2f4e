// vexa-adbd: a simulated Android device that the adb server reaches with
// "adb connect 127.0.0.1:PORT". Runs until SIGINT or SIGTERM.
//
//   vexa-adbd --port 15100 --brand vexa --model "X1 Pro" --prop ro.build.version.release=13
//   vexa-adbd --phone SERIAL --port 15100
//
// With --phone it serves that simulated phone file (from $VEXA_SIM_DIR or the simulator folder):
// its identity for getprop, its files over sync and the shell tools, its apps for pm and dumpsys.
//
// --latency typical answers as slowly as a mid-range phone on USB 2.0 (docs/REAL_PHONES.md);
// the default, none, answers at once.
//
// With --port 0 it picks a free port. Its first line on standard output is
// "vexa-adbd: listening on 127.0.0.1:PORT".
#include "DaemonServices.h"
#include "PhoneDevice.h"
#include "PhoneLatency.h"

#include "bridge/adb/protocol/AdbDeviceServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <pthread.h>
#include <thread>

namespace {

// The options and their parser, kept together: the options must live as long as the parser is asked.
struct CommandLine {
    QCommandLineParser parser;
    const QCommandLineOption portOption{QStringLiteral("port"), QStringLiteral("TCP port on 127.0.0.1 (0: any)."),
                                        QStringLiteral("port"), QStringLiteral("15100")};
    const QCommandLineOption brandOption{QStringLiteral("brand"), QStringLiteral("ro.product.brand"),
                                         QStringLiteral("brand"), QStringLiteral("vexa")};
    const QCommandLineOption modelOption{QStringLiteral("model"), QStringLiteral("ro.product.model"),
                                         QStringLiteral("model"), QStringLiteral("Vexa X1")};
    const QCommandLineOption nameOption{QStringLiteral("name"), QStringLiteral("ro.product.name"),
                                        QStringLiteral("name"), QStringLiteral("vexa_x1")};
    const QCommandLineOption deviceOption{QStringLiteral("device"), QStringLiteral("ro.product.device"),
                                          QStringLiteral("device"), QStringLiteral("x1")};
    const QCommandLineOption propOption{QStringLiteral("prop"), QStringLiteral("Another property, KEY=VALUE."),
                                        QStringLiteral("KEY=VALUE")};
    const QCommandLineOption phoneOption{QStringLiteral("phone"), QStringLiteral("Serve this simulated phone."),
                                         QStringLiteral("serial")};
    const QCommandLineOption latencyOption{QStringLiteral("latency"),
                                           QStringLiteral("How slowly to answer: none or typical."),
                                           QStringLiteral("none|typical"), QStringLiteral("none")};

    CommandLine() {
        parser.setApplicationDescription(QStringLiteral("Simulated Android device for the adb server"));
        parser.addHelpOption();
        parser.addOptions(
            {portOption, brandOption, modelOption, nameOption, deviceOption, propOption, phoneOption, latencyOption});
    }
};

// The port asked for; nothing (with the reason on standard error) when it cannot be served.
std::optional<uint> CheckedPort(const CommandLine& line) {
    bool portOk = false;
    const uint port = line.parser.value(line.portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "vexa-adbd: bad port \"%s\"\n", qPrintable(line.parser.value(line.portOption)));
        return std::nullopt;
    }
    if (port >= 5555 && port <= 5585) {
        // The adb server takes these for emulators and would talk to us as one.
        std::fprintf(stderr, "vexa-adbd: ports 5555-5585 belong to emulators; choose another\n");
        return std::nullopt;
    }
    return port;
}

// The properties getprop answers with: the served phone's or the options', then the --prop pairs.
// 0, or the exit code.
int ReadProperties(const CommandLine& line, bool servePhone, vexa_adbd::CPhoneDevice& phone,
                   vexa_adbd::PropertyTable& properties) {
    const QCommandLineParser& parser = line.parser;
    if (servePhone) {
        QString error;
        if (!phone.Open(parser.value(line.phoneOption), &error)) {
            std::fprintf(stderr, "vexa-adbd: %s\n", qPrintable(error));
            return 1;
        }
        properties = phone.Properties();
    } else {
        properties["ro.product.brand"] = parser.value(line.brandOption).toStdString();
        properties["ro.product.model"] = parser.value(line.modelOption).toStdString();
        properties["ro.product.name"] = parser.value(line.nameOption).toStdString();
        properties["ro.product.device"] = parser.value(line.deviceOption).toStdString();
    }
    for (const QString& pair : parser.values(line.propOption)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            std::fprintf(stderr, "vexa-adbd: bad --prop \"%s\"\n", qPrintable(pair));
            return 2;
        }
        properties[pair.left(eq).toStdString()] = pair.mid(eq + 1).toStdString();
    }
    return 0;
}

adb::AdbDeviceIdentity IdentityOf(vexa_adbd::PropertyTable& properties, bool servePhone) {
    adb::AdbDeviceIdentity identity{
        properties["ro.product.name"], properties["ro.product.model"], properties["ro.product.device"], {"cmd"}};
    // The cmd tool, and with it streamed installs, came with API level 24: older phones are sent
    // packages by push and pm install.
    const int sdk = std::atoi(properties["ro.build.version.sdk"].c_str());
    if (servePhone && sdk < 24) {
        identity.features.clear();
    }
    // The file sync service's second forms, with 64-bit sizes, as newer phones offer them:
    // listings from Android 11, stat a little earlier.
    if (servePhone && sdk >= 29) {
        identity.features.push_back("stat_v2");
    }
    if (servePhone && sdk >= 30) {
        identity.features.push_back("ls_v2");
    }
    return identity;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexa-adbd"));

    CommandLine line;
    line.parser.process(app);

    vexa_adbd::LatencyProfile profile = vexa_adbd::LatencyProfile::None;
    if (!vexa_adbd::ParseLatencyProfile(line.parser.value(line.latencyOption).toStdString(), profile)) {
        std::fprintf(stderr, "vexa-adbd: bad --latency \"%s\"\n", qPrintable(line.parser.value(line.latencyOption)));
        return 2;
    }
    vexa_adbd::CPhoneLatency latency(profile);

    const std::optional<uint> port = CheckedPort(line);
    if (!port) {
        return 2;
    }

    vexa_adbd::CPhoneDevice phone;
    const bool servePhone = line.parser.isSet(line.phoneOption);
    vexa_adbd::PropertyTable properties;
    if (const int failed = ReadProperties(line, servePhone, phone, properties); failed != 0) {
        return failed;
    }

    // Signals are taken by sigwait below, not by whichever thread they happen to hit.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const adb::AdbDeviceIdentity identity = IdentityOf(properties, servePhone);

    adb::CAdbDeviceServer server(identity, [&phone, &latency, servePhone, properties](const std::string& name) {
        return latency.Wrap(name, servePhone ? vexa_adbd::MakePhoneService(phone, name)
                                             : vexa_adbd::MakeService(properties, name));
    });
    if (profile != vexa_adbd::LatencyProfile::None) {
        server.SetLinkPacer([&latency](std::size_t bytes) { latency.PaceLink(bytes); });
    }
    if (auto status = server.Start(static_cast<std::uint16_t>(*port)); !status) {
        std::fprintf(stderr, "vexa-adbd: %s\n", status.message.c_str());
        return 1;
    }
    std::printf("vexa-adbd: listening on 127.0.0.1:%u\n", server.Port());
    std::fflush(stdout);
    std::thread screen([&phone, servePhone] {
        if (servePhone) {
            phone.PrepareScreen();
        }
    });

    int received = 0;
    sigwait(&stopSignals, &received);
    screen.join();
    server.Stop();
    return 0;
}
