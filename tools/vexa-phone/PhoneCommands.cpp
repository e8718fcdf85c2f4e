#include "PhoneCommands.h"

#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"

#include <QElapsedTimer>

#include <map>
#include <optional>

using namespace vexa::sim;

namespace {

const char* const kUsage =
    "usage: vexa-phone COMMAND [options]\n"
    "  create --serial S --model M [--brand vexa] [--dual-sim] [--sd-card] [--detached]\n"
    "  seed --phone S [--contacts N] [--sms N] [--mms N] [--calls N] [--apps N] [--pictures N] [--files N]\n"
    "       [--phones-per-contact N] [--random-seed N]\n"
    "  list\n"
    "  show --phone S\n"
    "  attach --phone S | detach --phone S\n"
    "  sms-in --phone S --from NUMBER TEXT\n"
    "  call-in --phone S --from NUMBER\n"
    "  rotate --phone S 0|1|2|3\n"
    "  request --phone S TEXT\n"
    "  wipe --phone S\n"
    "  demo\n"
    "Phones live in $VEXA_SIM_DIR, else $XDG_DATA_HOME/vexa/sim.\n";

// Options with a value ("--x v"), flags ("--x") and the remaining positional words.
struct Parsed {
    std::map<QString, QString> values;
    QStringList flags;
    QStringList words;
    QString error;
};

Parsed Parse(const QStringList& args, const QStringList& valueOptions) {
    Parsed parsed;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (valueOptions.contains(arg)) {
            if (i + 1 >= args.size()) {
                parsed.error = QStringLiteral("%1 needs a value").arg(arg);
                return parsed;
            }
            parsed.values[arg] = args.at(++i);
        } else if (arg.startsWith(QLatin1String("--"))) {
            parsed.flags << arg;
        } else {
            parsed.words << arg;
        }
    }
    return parsed;
}

bool Count(const Parsed& parsed, const char* option, int* value, QString* error) {
    const auto it = parsed.values.find(QString::fromLatin1(option));
    if (it == parsed.values.end()) {
        return true;
    }
    bool ok = false;
    *value = it->second.toInt(&ok);
    if (!ok || *value < 0 || *value > 10000000) {
        *error = QStringLiteral("%1 takes a count, not \"%2\"").arg(QString::fromLatin1(option), it->second);
        return false;
    }
    return true;
}

int Fail(QTextStream& err, const QString& text) {
    err << "vexa-phone: " << text << "\n";
    return 1;
}

bool CheckFlags(const Parsed& parsed, const QStringList& allowed, QString* error) {
    for (const QString& flag : parsed.flags) {
        if (!allowed.contains(flag)) {
            *error = QStringLiteral("unknown option %1").arg(flag);
            return false;
        }
    }
    return true;
}

int Create(const Parsed& p, QTextStream& out, QTextStream& err) {
    QString error;
    if (!CheckFlags(p, {"--dual-sim", "--sd-card", "--detached"}, &error)) {
        return Fail(err, error);
    }
    PhoneSpec spec;
    spec.serial = p.values.count("--serial") ? p.values.at("--serial") : QString();
    spec.model = p.values.count("--model") ? p.values.at("--model") : QString();
    if (p.values.count("--brand")) {
        spec.brand = p.values.at("--brand");
    }
    if (spec.serial.isEmpty() || spec.model.isEmpty()) {
        return Fail(err, QStringLiteral("create needs --serial and --model"));
    }
    spec.dualSim = p.flags.contains("--dual-sim");
    spec.simState = spec.dualSim ? 3 : 1;
    spec.sdCard = p.flags.contains("--sd-card");
    spec.attached = !p.flags.contains("--detached");
    if (!CreatePhone(spec, &error)) {
        return Fail(err, error);
    }
    // A phone always has a screen: the player and screen grab show it before any data is seeded.
    SeedOptions screenOnly;
    screenOnly.smallStores = false;
    if (!SeedPhone(spec.serial, screenOnly, &error)) {
        return Fail(err, error);
    }
    out << "created phone " << spec.serial << " (" << spec.brand << " " << spec.model << ")"
        << (spec.attached ? ", attached" : ", detached") << "\n";
    return 0;
}

int Seed(const Parsed& p, const QString& serial, QTextStream& out, QTextStream& err) {
    SeedOptions options;
    QString error;
    if (!Count(p, "--contacts", &options.contacts, &error) || !Count(p, "--sms", &options.sms, &error) ||
        !Count(p, "--mms", &options.mms, &error) ||
        !Count(p, "--calls", &options.calls, &error) || !Count(p, "--apps", &options.apps, &error) ||
        !Count(p, "--pictures", &options.pictures, &error) || !Count(p, "--files", &options.files, &error) ||
        !Count(p, "--phones-per-contact", &options.phonesPerContact, &error)) {
        return Fail(err, error);
    }
    int randomSeed = static_cast<int>(options.randomSeed % 1000000);
    if (!Count(p, "--random-seed", &randomSeed, &error)) {
        return Fail(err, error);
    }
    options.randomSeed = static_cast<unsigned>(randomSeed);
    QElapsedTimer timer;
    timer.start();
    if (!SeedPhone(serial, options, &error)) {
        return Fail(err, error);
    }
    out << "seeded phone " << serial << ": " << options.contacts << " contacts, " << options.sms << " SMS, " << options.mms << " MMS, "
        << options.calls << " call records, " << options.apps << " apps, " << options.pictures << " pictures, "
        << options.files << " files in " << timer.elapsed() << " ms\n";
    return 0;
}

int Show(const QString& serial, QTextStream& out, QTextStream& err) {
    SimDb db;
    QString error;
    if (!IsValidSerial(serial) || !db.Open(PhoneFilePath(serial), &error)) {
        return Fail(err,
                    QStringLiteral("cannot open phone %1: %2").arg(serial, error.isEmpty() ? "invalid serial" : error));
    }
    out << "phone " << db.Meta("serial") << ": " << db.Meta("brand") << " " << db.Meta("model") << ", firmware "
        << db.Meta("firmware") << ", Android " << db.Meta("os_version") << ", "
        << (db.Meta("dual_sim") == QLatin1String("1") ? "dual SIM" : "single SIM") << ", SIM state "
        << db.Meta("sim_state") << ", " << (db.Meta("sd_card") == QLatin1String("1") ? "memory card" : "no memory card")
        << ", " << (db.Meta("attached") == QLatin1String("1") ? "attached" : "detached") << "\n";
    // A reboot into the updater waits for the next attach; the updater's last outcome stays.
    if (const QString pending = db.Meta("pending_update"); !pending.isEmpty()) {
        out << "update waiting: " << pending << " (installed when attached)\n";
    }
    if (const QString result = db.Meta("update_result"); !result.isEmpty()) {
        out << "last update: " << result << "\n";
    }
    const char* const counts[][2] = {
        {"contacts", "SELECT COUNT(*) FROM contacts"},
        {"groups", "SELECT COUNT(*) FROM groups_"},
        {"sms", "SELECT COUNT(*) FROM sms"},
        {"mms", "SELECT COUNT(*) FROM mms"},
        {"calls", "SELECT COUNT(*) FROM calls"},
        {"apps", "SELECT COUNT(*) FROM apps"},
        {"albums", "SELECT COUNT(*) FROM albums"},
        {"pictures", "SELECT COUNT(*) FROM files WHERE is_dir=0 AND category=1"},
        {"files", "SELECT COUNT(*) FROM files WHERE is_dir=0"},
        {"folders", "SELECT COUNT(*) FROM files WHERE is_dir=1"},
        {"bookmarks", "SELECT COUNT(*) FROM small_items WHERE store=1"},
        {"memos", "SELECT COUNT(*) FROM small_items WHERE store=2"},
        {"settings", "SELECT COUNT(*) FROM small_items WHERE store=3"},
        {"alarms", "SELECT COUNT(*) FROM small_items WHERE store=4"},
        {"screen frames", "SELECT COUNT(*) FROM screen_frames"},
    };
    for (const auto& [name, sql] : counts) {
        Stmt stmt(db, sql);
        if (!stmt.Step()) {
            return Fail(err, QStringLiteral("cannot count %1: %2").arg(QString::fromLatin1(name), db.ErrorText()));
        }
        out << name << ": " << stmt.Int(0) << "\n";
    }
    return 0;
}

// Empties the stores a backup carries (contacts, groups, SMS, MMS, call log, apps and the four small
// stores), as a factory reset would; files and pictures stay.
int Wipe(const QString& serial, QTextStream& out, QTextStream& err) {
    SimDb db;
    QString error;
    if (!IsValidSerial(serial) || !db.Open(PhoneFilePath(serial), &error)) {
        return Fail(err,
                    QStringLiteral("cannot open phone %1: %2").arg(serial, error.isEmpty() ? "invalid serial" : error));
    }
    Transaction transaction(db);
    for (const char* sql : {"DELETE FROM group_members", "DELETE FROM contact_data", "DELETE FROM contacts",
                            "DELETE FROM groups_", "DELETE FROM sms", "DELETE FROM mms", "DELETE FROM calls",
                            "DELETE FROM apps", "DELETE FROM small_items"}) {
        if (!transaction.IsOpen() || !db.Exec(sql)) {
            return Fail(err, QStringLiteral("cannot wipe phone %1: %2").arg(serial, db.ErrorText()));
        }
    }
    if (!transaction.Commit()) {
        return Fail(err, QStringLiteral("cannot wipe phone %1: %2").arg(serial, db.ErrorText()));
    }
    out << "wiped phone " << serial << "\n";
    return 0;
}

int List(QTextStream& out, QTextStream& err) {
    QStringList problems;
    for (const PhoneSummary& phone : ListPhones(&problems)) {
        out << phone.serial << "\t" << phone.brand << "\t" << phone.model << "\t"
            << (phone.attached ? "attached" : "detached") << "\n";
    }
    for (const QString& problem : problems) {
        err << "unusable phone file " << problem << "\n";
    }
    return problems.isEmpty() ? 0 : 1;
}

int Demo(QTextStream& out, QTextStream& err) {
    bool created = false;
    QString error;
    if (!EnsureDemoPhone(&created, &error)) {
        return Fail(err, error);
    }
    out << (created ? "created the demo phone\n" : "phones exist; no demo phone made\n");
    return 0;
}

int Attach(const QString& serial, bool attach, QTextStream& out, QTextStream& err) {
    QString error;
    if (!SetAttached(serial, attach, &error)) {
        return Fail(err, error);
    }
    out << (attach ? "attached " : "detached ") << serial << "\n";
    return 0;
}

// What happens on the phone: a message or a call comes in, it turns, or it asks the program something.
// Nothing for a command that is none of these.
std::optional<int> RaisePhoneEvent(const QString& command, const Parsed& p, const QString& serial, QTextStream& out,
                                   QTextStream& err) {
    QString error;
    if (command == QLatin1String("sms-in")) {
        const QString from = p.values.count("--from") ? p.values.at("--from") : QString();
        if (from.isEmpty() || p.words.isEmpty()) {
            return Fail(err, QStringLiteral("sms-in needs --from NUMBER and a text"));
        }
        if (!RaiseEvent(serial, 2, from, p.words.join(u' '), &error)) {
            return Fail(err, error);
        }
        out << "message from " << from << " delivered to " << serial << "\n";
        return 0;
    }
    if (command == QLatin1String("call-in")) {
        const QString from = p.values.count("--from") ? p.values.at("--from") : QString();
        if (from.isEmpty()) {
            return Fail(err, QStringLiteral("call-in needs --from NUMBER"));
        }
        if (!RaiseEvent(serial, 1, from, {}, &error)) {
            return Fail(err, error);
        }
        out << "call from " << from << " ringing on " << serial << "\n";
        return 0;
    }
    if (command == QLatin1String("rotate")) {
        if (p.words.size() != 1 || p.words.first().size() != 1 || p.words.first() < QLatin1String("0") ||
            p.words.first() > QLatin1String("3")) {
            return Fail(err, QStringLiteral("rotate takes 0, 1, 2 or 3"));
        }
        if (!RaiseEvent(serial, 3, {}, p.words.first(), &error)) {
            return Fail(err, error);
        }
        out << "orientation " << p.words.first() << " on " << serial << "\n";
        return 0;
    }
    if (command == QLatin1String("request")) {
        if (p.words.isEmpty()) {
            return Fail(err, QStringLiteral("request needs a text"));
        }
        if (!RaiseEvent(serial, 4, {}, p.words.join(u' '), &error)) {
            return Fail(err, error);
        }
        out << "request sent from " << serial << "\n";
        return 0;
    }
    return std::nullopt;
}

} // namespace

int RunPhoneCommand(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("help")) {
        (args.isEmpty() ? err : out) << kUsage;
        return args.isEmpty() ? 2 : 0;
    }
    const QString command = args.first();
    const Parsed p =
        Parse(args.mid(1), {"--serial", "--model", "--brand", "--phone", "--from", "--contacts", "--sms", "--mms", "--calls",
                            "--apps", "--pictures", "--files", "--phones-per-contact", "--random-seed"});
    if (!p.error.isEmpty()) {
        return Fail(err, p.error);
    }
    if (command == QLatin1String("create")) {
        return Create(p, out, err);
    }
    if (command == QLatin1String("list")) {
        return List(out, err);
    }
    if (command == QLatin1String("demo")) {
        return Demo(out, err);
    }
    const QString serial = p.values.count("--phone") ? p.values.at("--phone") : QString();
    if (serial.isEmpty()) {
        return Fail(err, QStringLiteral("%1 needs --phone SERIAL").arg(command));
    }
    if (command == QLatin1String("seed")) {
        return Seed(p, serial, out, err);
    }
    if (command == QLatin1String("wipe")) {
        return Wipe(serial, out, err);
    }
    if (command == QLatin1String("show")) {
        return Show(serial, out, err);
    }
    if (command == QLatin1String("attach") || command == QLatin1String("detach")) {
        return Attach(serial, command == QLatin1String("attach"), out, err);
    }
    if (const std::optional<int> raised = RaisePhoneEvent(command, p, serial, out, err)) {
        return *raised;
    }
    return Fail(err, QStringLiteral("unknown command %1\n%2").arg(command, QString::fromLatin1(kUsage)));
}
