// vexa-services: the program's network services on this computer (see LocalServices.h).
//   vexa-services [--port N] [--data DIR] [--feedback-empty] [--store-fail] [--store-stall] [--store-broken]
// The store switches can also be turned at run time: GET /store/knobs?fail=1&stall=0&broken=0.
// Prints "http://127.0.0.1:PORT" on its first line once it listens, then serves until killed.
#include "LocalServices.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    quint16 port = 0;
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/vexa/services");
    bool feedbackEmpty = false;
    QStringList storeSwitches;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        bool ok = true;
        if (a == QLatin1String("--port") && i + 1 < args.size()) {
            const uint value = args[++i].toUInt(&ok);
            ok = ok && value <= 65535;
            port = static_cast<quint16>(value);
        } else if (a == QLatin1String("--data") && i + 1 < args.size()) {
            data = args[++i];
        } else if (a == QLatin1String("--feedback-empty")) {
            feedbackEmpty = true;
        } else if (a == QLatin1String("--store-fail") || a == QLatin1String("--store-stall") ||
                   a == QLatin1String("--store-broken")) {
            storeSwitches << a.mid(8);
        } else {
            ok = false;
        }
        if (!ok) {
            err << "usage: vexa-services [--port N] [--data DIR] [--feedback-empty] [--store-fail] [--store-stall] "
                   "[--store-broken]\n";
            return 2;
        }
    }
    vexa::services::CLocalServices services(data);
    services.SetFeedbackEmptyReply(feedbackEmpty);
    services.Store().fail = storeSwitches.contains(QStringLiteral("fail"));
    services.Store().stall = storeSwitches.contains(QStringLiteral("stall"));
    services.Store().broken = storeSwitches.contains(QStringLiteral("broken"));
    QString error;
    if (!services.Listen(port, &error)) {
        err << error << "\n";
        return 1;
    }
    out << services.Url() << "\n";
    out.flush();
    return QCoreApplication::exec();
}
