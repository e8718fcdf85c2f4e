// vexa-cli files: the file manager's listing, transfers and changes, on the helpers of the window.
#include "CliCommands.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "files/FileOps.h"
#include "platform/AtomicFile.h"
#include "platform/StringTable.h"

#include <QFileInfo>

#include <optional>

namespace {

constexpr const char* kUsage =
    "usage: vexa-cli [--phone SERIAL] files ls PATH | files pull PHONE_PATH LOCAL_PATH |\n"
    "       files push LOCAL_PATH PHONE_PATH | files mkdir PATH | files mv FROM TO | files cp FROM TO |\n"
    "       files rm PATH...\n";

QString Clean(const QString& path) {
    return path.size() > 1 && path.endsWith(u'/') ? path.chopped(1) : path;
}

// A target that is an existing folder takes the source's name inside it.
QString PhoneTarget(vexa::FileSystem& fs, const QString& target, const QString& name) {
    const bool folder = target.endsWith(u'/') || fs.ListFolder(Clean(target), QString());
    return folder ? files::JoinPath(Clean(target), name) : target;
}

int Fail(CliContext& ctx, const QString& text) {
    ctx.err << text << '\n';
    return kCliFailed;
}

// The entry of path in its folder's listing, if the phone has one.
std::optional<files::FsItem> EntryOf(vexa::FileSystem& fs, const QString& path) {
    if (const auto siblings = files::ReadFolder(fs, files::ParentOf(path), false)) {
        for (const files::FsItem& item : *siblings) {
            if (item.path == path) {
                return item;
            }
        }
    }
    return std::nullopt;
}

// A folder lists its entries; a file lists itself, as ls does.
int List(CliContext& ctx, vexa::FileSystem& fs, const QString& path) {
    const QString clean = Clean(path);
    const auto items = files::ReadFolder(fs, clean, false);
    if (items) {
        for (const files::FsItem& item : *items) {
            ctx.out << files::ListLine(item) << '\n';
        }
        return kCliOk;
    }
    if (const auto file = EntryOf(fs, clean); file && !file->IsDirectory() && !path.endsWith(u'/')) {
        ctx.out << files::ListLine(*file) << '\n';
        return kCliOk;
    }
    return Fail(ctx, FormatText(Str(2800), qUtf8Printable(path)));
}

int Pull(CliContext& ctx, vexa::DeviceSession& session, vexa::FileSystem& fs, const QString& phone,
         const QString& local) {
    QString target = QFileInfo(local).isDir() ? files::JoinPath(local, phone.mid(phone.lastIndexOf(u'/') + 1)) : local;
    // A target named on the command line is written through its link, as cp would, and so checked
    // where it lands; a link to nothing is not made into a file.
    if (const QFileInfo named(target); named.isSymLink()) {
        if (!named.exists()) {
            return Fail(ctx, Str(996) + u'\n' + FormatText(Str(3468), qUtf8Printable(target)));
        }
        target = ResolvedWriteTarget(target);
    }
    // As adb pull does, an existing computer file is replaced (only once the new one is complete).
    files::BatchCallbacks callbacks;
    callbacks.ask = [](const QString&) { return files::kAnswerYes; };
    callbacks.connected = [&session] { return session.IsConnected(); };
    const files::BatchResult result = files::RunDownloads(fs, {{phone, target}}, callbacks);
    if (result.done != 1) {
        const QString why = files::TransferFailureText(result.failure, phone, target);
        return Fail(ctx, why.isEmpty() ? Str(996) : Str(996) + u'\n' + why);
    }
    return kCliOk;
}

int Push(CliContext& ctx, vexa::DeviceSession& session, vexa::FileSystem& fs, const QString& local,
         const QString& phone) {
    const QFileInfo info(local);
    if (!info.isFile()) {
        return Fail(ctx, FormatText(Str(2801), qUtf8Printable(local)));
    }
    // As adb push does, an existing phone file is replaced (only once the new one is complete).
    files::BatchCallbacks callbacks;
    callbacks.ask = [](const QString&) { return files::kAnswerYes; };
    callbacks.connected = [&session] { return session.IsConnected(); };
    const files::BatchResult result =
        files::RunUploads(fs, {{info.filePath(), PhoneTarget(fs, phone, info.fileName())}}, callbacks);
    if (result.noSpace) {
        return Fail(ctx, Str(870));
    }
    if (result.done != 1) {
        const QString why = files::TransferFailureText(result.failure, result.failedTarget, result.failedName,
                                                       result.failedDetail, result.failedBytes);
        return Fail(ctx, why.isEmpty() ? Str(995) : Str(995) + u'\n' + why);
    }
    return kCliOk;
}

int CopyOrMove(CliContext& ctx, vexa::FileSystem& fs, const QString& from, const QString& to, bool move) {
    const QString path = Clean(from);
    if (move) {
        if (const int refused = files::CheckRemoval(fs, from); refused != 0) {
            return Fail(ctx, FormatText(Str(refused), qUtf8Printable(from)));
        }
    }
    const std::optional<files::FsItem> entry = EntryOf(fs, path);
    if (!entry) {
        return Fail(ctx, FormatText(Str(2800), qUtf8Printable(from)));
    }
    const QString target = PhoneTarget(fs, to, entry->Name());
    if (const int refused = files::CheckCopyOrMove(fs, {*entry}, files::ParentOf(target), move); refused != 0) {
        return Fail(ctx, Str(refused));
    }
    if (fs.PathExists(target)) {
        return Fail(ctx, Str(874));
    }
    const bool ok = move ? fs.MovePath(path, target) : fs.CopyPath(path, target);
    return ok ? kCliOk : Fail(ctx, Str(move ? 2802 : 989));
}

int RunFiles(CliContext& ctx, const QStringList& args) {
    const QString command = args.value(0);
    const qsizetype operands = args.size() - 1;
    const bool ok = ((command == QLatin1String("ls") || command == QLatin1String("mkdir")) && operands == 1) ||
                    ((command == QLatin1String("pull") || command == QLatin1String("push") ||
                      command == QLatin1String("mv") || command == QLatin1String("cp")) &&
                     operands == 2) ||
                    (command == QLatin1String("rm") && operands >= 1);
    if (!ok) {
        ctx.err << kUsage;
        return kCliUsage;
    }
    vexa::DeviceSession* session = ctx.Session();
    vexa::FileSystem* fs = session != nullptr ? session->GetFileSystem() : nullptr;
    if (fs == nullptr) {
        return kCliFailed;
    }
    if (command == QLatin1String("ls")) {
        return List(ctx, *fs, args[1]);
    }
    if (command == QLatin1String("pull")) {
        return Pull(ctx, *session, *fs, args[1], args[2]);
    }
    if (command == QLatin1String("push")) {
        return Push(ctx, *session, *fs, args[1], args[2]);
    }
    if (command == QLatin1String("mkdir")) {
        const QString path = Clean(args[1]);
        if (path.size() >= files::kMaxPath - 1) {
            return Fail(ctx, Str(1003));
        }
        return fs->CreateFolder(path) ? kCliOk : Fail(ctx, FormatText(Str(2803), qUtf8Printable(path)));
    }
    if (command == QLatin1String("mv") || command == QLatin1String("cp")) {
        return CopyOrMove(ctx, *fs, args[1], args[2], command == QLatin1String("mv"));
    }
    int result = kCliOk;
    for (const QString& path : args.mid(1)) {
        // A storage root, by whatever name, is refused with its reason before anything is sent.
        if (const int refused = files::CheckRemoval(*fs, path); refused != 0) {
            result = Fail(ctx, FormatText(Str(refused), qUtf8Printable(path)));
        } else if (!fs->DeletePath(Clean(path))) {
            result = Fail(ctx, FormatText(Str(2804), qUtf8Printable(path)));
        }
    }
    return result;
}

const CliRegistration kRegistration({"files",
                                     "files ls PATH\nfiles pull PHONE_PATH LOCAL_PATH\nfiles push LOCAL_PATH PHONE_PATH\n"
                                     "files mkdir PATH\nfiles mv FROM TO\nfiles cp FROM TO\nfiles rm PATH...",
                                     &RunFiles});

} // namespace
