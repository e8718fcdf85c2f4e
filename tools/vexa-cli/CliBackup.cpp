// vexa-cli backup: whole-phone backup packages, on the same runner as the backup and restore dialogs.
#include "CliCommands.h"

#include "backup/BackupRunner.h"
#include "backup/ItemExporters.h"
#include "platform/StringTable.h"

#include <QFileInfo>

namespace {

const char* const kModuleWords[backup::kModuleCount] = {"contacts",  "messages", "calls",    "apps",
                                                        "bookmarks", "memos",    "settings", "alarms"};

const char* const kListHelp = "LIST: contacts,messages,calls,apps,bookmarks,memos,settings,alarms (or 0-7), comma-separated\n";

// "contacts,sms,3": names or ids; false on an unknown word.
bool ParseModules(const QString& list, unsigned* mask) {
    *mask = 0;
    for (const QString& word : list.split(u',', Qt::SkipEmptyParts)) {
        const QString w = word.trimmed().toLower();
        bool number = false;
        const int id = w.toInt(&number);
        int found = number && id >= 0 && id < backup::kModuleCount ? id : -1;
        for (int m = 0; m < backup::kModuleCount && found < 0; ++m) {
            if (w == QLatin1String(kModuleWords[m]) || (m == backup::Messages && w == QLatin1String("sms"))) {
                found = m;
            }
        }
        if (found < 0) {
            return false;
        }
        *mask |= 1u << found;
    }
    return *mask != 0;
}

// [--modules LIST] FILE
bool ParseArgs(const QStringList& args, bool* hasModules, unsigned* mask, QString* file) {
    QStringList rest = args;
    *hasModules = false;
    if (rest.size() >= 2 && rest.front() == QLatin1String("--modules")) {
        if (!ParseModules(rest.at(1), mask)) {
            return false;
        }
        *hasModules = true;
        rest = rest.mid(2);
    }
    if (rest.size() != 1 || rest.front().startsWith(QLatin1String("--"))) {
        return false;
    }
    *file = rest.front();
    return true;
}

backup::RunCallbacks PrintingCallbacks(CliContext& ctx, QString (*text)(int, int)) {
    backup::RunCallbacks callbacks;
    callbacks.status = [&ctx, text](int module, int result) {
        if (result != backup::StepRunning && !text(module, result).isEmpty()) {
            ctx.out << text(module, result) << '\n';
            ctx.out.flush();
        }
    };
    return callbacks;
}

bool AnyFailed(const backup::RunOutcome& outcome) {
    return std::any_of(outcome.results.begin(), outcome.results.end(),
                       [](int r) { return r == backup::StepFailed || r == backup::StepCancelled; });
}

int Create(CliContext& ctx, const QStringList& args) {
    bool hasModules = false;
    unsigned mask = 0;
    QString file;
    if (!ParseArgs(args, &hasModules, &mask, &file)) {
        ctx.err << "usage: vexa-cli [--phone SERIAL] backup create [--modules LIST] FILE\n" << kListHelp;
        return kCliUsage;
    }
    vexa::DeviceSession* session = ctx.Session();
    if (session == nullptr) {
        return kCliFailed;
    }
    if (!hasModules) {
        // As the content dialog offers: every module with something in it.
        const std::array<int, backup::kModuleCount> counts = backup::CountModules(session);
        for (int m = 0; m < backup::kModuleCount; ++m) {
            mask |= counts[static_cast<std::size_t>(m)] > 0 ? 1u << m : 0u;
        }
    }
    const backup::RunOutcome outcome = backup::RunBackup(session, mask, QFileInfo(file).absoluteFilePath(),
                                                         backup::TemporaryFolder(),
                                                         PrintingCallbacks(ctx, &backup::BackupStatusText));
    if (!outcome.packageOk) {
        ctx.err << backup::BackupSummaryText(outcome) << '\n';
        return kCliFailed;
    }
    ctx.out << backup::BackupSummaryText(outcome) << '\n';
    return AnyFailed(outcome) ? kCliFailed : kCliOk;
}

int Inspect(CliContext& ctx, const QStringList& args) {
    if (args.size() != 1) {
        ctx.err << "usage: vexa-cli backup inspect FILE\n";
        return kCliUsage;
    }
    // The whole package is read as a restore would read it: a descriptor that reads well says
    // nothing of the entries behind it.
    const backup::PackageCheck check = backup::VerifyPackage(args.front());
    if (!check.ok) {
        ctx.err << Str(2699) << '\n';
        switch (check.where) {
        case backup::PackageCheck::Header:
            ctx.err << Str(2757) << '\n';
            break;
        case backup::PackageCheck::Entry:
            ctx.err << (check.entryName.isEmpty()
                            ? FormatText(Str(2759), check.entry + 1)
                            : FormatText(Str(2758), check.entry + 1, qUtf8Printable(check.entryName)))
                    << '\n';
            break;
        case backup::PackageCheck::Checksum:
            ctx.err << Str(2760) << '\n';
            break;
        default:
            break;
        }
        return kCliFailed;
    }
    // A restore refuses more records than a phone's small stores can hold; so does the look.
    for (int m = backup::Bookmarks; m <= backup::Alarms; ++m) {
        if (check.header.Count(m) > static_cast<int>(kMaxStoreRecords)) {
            const int entry = static_cast<int>(check.header.files.indexOf(backup::ModuleItemFile(m)));
            ctx.err << Str(2699) << '\n';
            if (entry >= 0) {
                ctx.err << FormatText(Str(2758), entry + 1, qUtf8Printable(check.header.files[entry])) << '\n';
            }
            return kCliFailed;
        }
    }
    ctx.out << "version: " << check.header.version << '\n';
    for (const auto& [module, count] : check.header.counts) {
        const QString name = backup::ModuleName(module);
        ctx.out << (name.isEmpty() ? QString::number(module) : name) << ": " << count << '\n';
    }
    return kCliOk;
}

int Restore(CliContext& ctx, const QStringList& args) {
    bool hasModules = false;
    unsigned mask = 0;
    QString file;
    if (!ParseArgs(args, &hasModules, &mask, &file)) {
        ctx.err << "usage: vexa-cli [--phone SERIAL] backup restore [--modules LIST] FILE\n" << kListHelp;
        return kCliUsage;
    }
    if (!backup::IsAcceptablePackage(file)) {
        ctx.err << Str(2699) << '\n';
        return kCliFailed;
    }
    vexa::DeviceSession* session = ctx.Session();
    if (session == nullptr) {
        return kCliFailed;
    }
    const backup::RunOutcome outcome =
        backup::RunRestore(session, hasModules ? mask : 0xFFu, file, backup::TemporaryFolder(),
                           PrintingCallbacks(ctx, &backup::RestoreStatusText));
    // "还原完成" only when every chosen module got through; otherwise what failed, on stderr.
    if (!backup::RunSucceeded(outcome)) {
        ctx.err << backup::RestoreSummaryText(outcome) << '\n';
        return kCliFailed;
    }
    ctx.out << backup::RestoreSummaryText(outcome) << '\n';
    return kCliOk;
}

int RunBackupGroup(CliContext& ctx, const QStringList& args) {
    const QString verb = args.value(0);
    if (verb == QLatin1String("create")) {
        return Create(ctx, args.mid(1));
    }
    if (verb == QLatin1String("inspect")) {
        return Inspect(ctx, args.mid(1));
    }
    if (verb == QLatin1String("restore")) {
        return Restore(ctx, args.mid(1));
    }
    ctx.err << "usage: vexa-cli [--phone SERIAL] backup create|inspect|restore ...\n";
    return kCliUsage;
}

const CliRegistration kRegistration({"backup",
                                     "backup create [--modules LIST] FILE\n"
                                     "backup inspect FILE\n"
                                     "backup restore [--modules LIST] FILE",
                                     &RunBackupGroup});

} // namespace
