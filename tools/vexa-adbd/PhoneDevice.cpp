#include "PhoneDevice.h"

#include "ProviderQuery.h"

#include "bridge/adb/AdbAppCache.h"
#include "bridge/api/BridgeTypes.h"
#include "bridge/sim/SimFiles.h"
#include "bridge/sim/SimPhones.h"
#include "libs/apk/Apk.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

using namespace vexa::sim;
using vexa::adbphone::IsAndroidPackageName;

namespace vexa_adbd {

namespace {

// Stands for "$?" inside a word until the runner knows the status.
constexpr char kStatusMark = '\x01';

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::int64_t NowPacked() {
    return vexa::PackTime(vexa::NowSystemTime());
}

// Phone files keep a packed local time (yyyymmddhhmmss); the tools speak seconds since 1970.
std::uint32_t PackedToEpoch(std::int64_t packed) {
    const QDateTime when = vexa::FromSystemTime(vexa::UnpackTime(packed));
    return when.isValid() ? static_cast<std::uint32_t>(std::max<qint64>(0, when.toSecsSinceEpoch())) : 0;
}

std::int64_t EpochToPacked(std::uint32_t epoch) {
    return vexa::PackTime(vexa::ToSystemTime(QDateTime::fromSecsSinceEpoch(epoch)));
}

std::string LsTime(std::int64_t packed) {
    const SYSTEMTIME t = vexa::UnpackTime(packed);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
    return text;
}

struct NodeRow {
    std::int64_t id = -1;
    bool isDir = false;
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    QString name;
};

NodeRow ReadNode(SimDb& db, std::int64_t id) {
    NodeRow row;
    Stmt stmt(db, "SELECT id, is_dir, size, mtime, name FROM files WHERE id=?");
    stmt.Bind(1, id);
    if (stmt.Step()) {
        row = {stmt.Int(0), stmt.Int(1) != 0, stmt.Int(2), stmt.Int(3), stmt.Text(4)};
    }
    return row;
}

std::vector<NodeRow> Children(SimDb& db, std::int64_t id) {
    std::vector<NodeRow> rows;
    Stmt stmt(db, "SELECT id, is_dir, size, mtime, name FROM files WHERE parent=? ORDER BY name");
    stmt.Bind(1, id);
    while (stmt.Step()) {
        rows.push_back({stmt.Int(0), stmt.Int(1) != 0, stmt.Int(2), stmt.Int(3), stmt.Text(4)});
    }
    return rows;
}

std::string LsLine(const NodeRow& row, const std::string& name) {
    char text[160];
    std::snprintf(text, sizeof text, "%s %d root sdcard_rw %8lld %s ", row.isDir ? "drwxrwx--x" : "-rw-rw----",
                  row.isDir ? 2 : 1, static_cast<long long>(row.isDir ? 4096 : row.size), LsTime(row.mtime).c_str());
    return text + name + "\n";
}

// Splits "-rf" style option words off the front; returns the operands.
std::vector<std::string> Operands(const std::vector<std::string>& args, std::string& flags) {
    std::vector<std::string> operands;
    bool options = true;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options && a == "--") {
            options = false;
        } else if (options && a.size() > 1 && a[0] == '-') {
            flags += a.substr(1);
        } else {
            operands.push_back(a);
        }
    }
    return operands;
}

} // namespace

bool SplitShellLine(const std::string& line, std::vector<std::vector<std::string>>& commands) {
    commands.clear();
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    auto endWord = [&] {
        if (inWord) {
            if (word != "2>&1" && word != "2>/dev/null" && word != ">/dev/null") {
                words.push_back(word);
            }
            word.clear();
            inWord = false;
        }
    };
    auto endCommand = [&] {
        endWord();
        if (!words.empty()) {
            commands.push_back(std::move(words));
            words.clear();
        }
    };
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\'') {
            const std::size_t close = line.find('\'', i + 1);
            if (close == std::string::npos) {
                return false;
            }
            word += line.substr(i + 1, close - i - 1);
            inWord = true;
            i = close;
        } else if (c == '"') {
            inWord = true;
            std::size_t j = i + 1;
            for (; j < line.size() && line[j] != '"'; ++j) {
                if (line[j] == '\\' && j + 1 < line.size() && std::string("\"\\$`").find(line[j + 1]) != std::string::npos) {
                    word += line[++j];
                } else if (line[j] == '$' && j + 1 < line.size() && line[j + 1] == '?') {
                    word += kStatusMark;
                    ++j;
                } else {
                    word += line[j];
                }
            }
            if (j >= line.size()) {
                return false;
            }
            i = j;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (c == '$' && i + 1 < line.size() && line[i + 1] == '?') {
            word += kStatusMark;
            inWord = true;
            ++i;
        } else if (c == ';' || c == '\n') {
            endCommand();
        } else if (c == ' ' || c == '\t') {
            endWord();
        } else {
            word += c;
            inWord = true;
        }
    }
    endCommand();
    return true;
}

bool IsWritablePhonePath(const QString& clean) {
    if (clean.isEmpty()) {
        return false;
    }
    const QString root = QString::fromLatin1(PHONE_ROOT);
    const QString tmp = QStringLiteral("/data/local/tmp");
    return clean.startsWith(root + u'/') || clean.startsWith(tmp + u'/');
}

QString CPhoneDevice::CardVolume() {
    // A card shows under /storage by its volume id, as a phone mounts it.
    return m_db.Meta("sd_card") == QLatin1String("1") ? QStringLiteral("/storage/") + CardVolumeId(m_serial) : QString();
}

QString CPhoneDevice::Resolve(const QString& path) {
    return CanonicalPath(path, CardVolume());
}

std::optional<QString> CPhoneDevice::RealPath(const QString& path) {
    // adb's shell starts in "/": a relative path is read from there.
    const QString absolute = path.startsWith(u'/') ? path : u'/' + path;
    auto isFolder = [this](const QString& p) {
        if (VirtualFolder(p)) {
            return true;
        }
        const FileNode node = ResolvePath(m_db, p);
        return node.id >= 0 && node.isDir;
    };
    QString current = QStringLiteral("/");
    for (const QString& part : absolute.split(u'/', Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".")) {
            continue;
        }
        if (part == QLatin1String("..")) {
            current = ParentPath(current);
            continue;
        }
        if (!isFolder(current)) {
            return std::nullopt; // a part on the way is missing or no folder
        }
        // A storage link is followed at once, so a ".." after it leaves where it leads.
        current = Resolve((current == QLatin1String("/") ? QString() : current) + u'/' + part);
        if (current.isEmpty()) {
            return std::nullopt;
        }
    }
    // As toybox's readlink -f: the last part may be missing, the folder holding it may not.
    if (current != QLatin1String("/") && !isFolder(current) && ResolvePath(m_db, current).id < 0 &&
        !isFolder(ParentPath(current))) {
        return std::nullopt;
    }
    return current;
}

std::optional<std::vector<adb::SyncDirEntry>> CPhoneDevice::VirtualFolder(const QString& clean) {
    const std::uint32_t now = static_cast<std::uint32_t>(QDateTime::currentSecsSinceEpoch());
    const adb::SyncStat folder{040711u, 4096, now};
    const adb::SyncStat link{0120777u, 21, now};
    std::vector<adb::SyncDirEntry> entries;
    if (clean == QLatin1String("/storage")) {
        entries.push_back({"emulated", folder});
        entries.push_back({"self", folder});
        if (const QString card = CardVolume(); !card.isEmpty()) {
            entries.push_back({BaseName(card).toStdString(), folder});
        }
    } else if (clean == QLatin1String("/storage/emulated")) {
        entries.push_back({"0", link});
    } else if (clean == QLatin1String("/storage/self")) {
        entries.push_back({"primary", link});
    } else {
        return std::nullopt;
    }
    return entries;
}

bool CPhoneDevice::IsLink(const std::string& path) {
    // Without a trailing "/" the link itself is meant, as lstat sees it.
    const QString clean = CleanPath(Q(path));
    return !Q(path).endsWith(u'/') &&
           (clean == QLatin1String("/sdcard") || clean == QLatin1String("/storage/emulated/0") ||
            clean == QLatin1String("/storage/self/primary"));
}

bool CPhoneDevice::Open(const QString& serial, QString* error) {
    std::lock_guard guard(m_lock);
    if (!IsValidSerial(serial)) {
        *error = QStringLiteral("not a phone serial: %1").arg(serial);
        return false;
    }
    m_serial = serial;
    return m_db.Open(PhoneFilePath(serial), error);
}

PropertyTable CPhoneDevice::Properties() {
    std::lock_guard guard(m_lock);
    PropertyTable p;
    const std::string model = m_db.Meta("model").toStdString();
    p["ro.product.brand"] = m_db.Meta("brand").toStdString();
    p["ro.product.manufacturer"] = m_db.Meta("brand").toStdString();
    p["ro.product.model"] = model;
    std::string name = model;
    std::replace(name.begin(), name.end(), ' ', '_');
    p["ro.product.name"] = name;
    p["ro.product.device"] = m_db.Meta("project", QStringLiteral("default")).toStdString();
    p["ro.serialno"] = m_serial.toStdString();
    p["ro.build.version.release"] = m_db.Meta("os_version", QStringLiteral("4.0.4")).toStdString();
    p["ro.build.version.sdk"] = std::to_string(Sdk());
    p["ro.build.display.id"] = m_db.Meta("firmware").toStdString();
    p["ro.sf.lcd_density"] = "240";
    p["persist.radio.multisim.config"] = m_db.Meta("dual_sim") == QLatin1String("1") ? "dsds" : "ssss";
    // Dual-SIM phones list both cards, comma-separated, as the telephony properties do.
    const int simState = m_db.Meta("sim_state").toInt();
    const QString card1 = simState & 1 ? m_db.Meta("sim1_name") : QString();
    const QString card2 = simState & 2 ? m_db.Meta("sim2_name") : QString();
    const bool dual = m_db.Meta("dual_sim") == QLatin1String("1");
    p["gsm.sim.operator.alpha"] = (dual ? card1 + u',' + card2 : card1).toStdString();
    auto state = [](int present) { return present ? QStringLiteral("READY") : QStringLiteral("ABSENT"); };
    p["gsm.sim.state"] = (dual ? state(simState & 1) + u',' + state(simState & 2) : state(simState & 1)).toStdString();
    return p;
}

std::string CPhoneDevice::RunShell(const std::string& line) {
    std::vector<std::vector<std::string>> commands;
    if (!SplitShellLine(line, commands)) {
        return "/system/bin/sh: syntax error: unterminated quoted string\n";
    }
    std::string out;
    int status = 0;
    for (auto& words : commands) {
        for (auto& w : words) {
            std::string expanded;
            for (char c : w) {
                expanded += c == kStatusMark ? std::to_string(status) : std::string(1, c);
            }
            w = expanded;
        }
        status = Run(words, out);
    }
    return out;
}

std::string CPhoneDevice::RunExec(const std::string& line) {
    std::vector<std::vector<std::string>> commands;
    if (!SplitShellLine(line, commands) || commands.size() != 1) {
        return {};
    }
    std::string out;
    Run(commands.front(), out);
    return out;
}

int CPhoneDevice::Readlink(const std::vector<std::string>& w, std::string& out) {
    // "readlink -f" and "realpath": where a path really leads, every link followed and "." and
    // ".." taken as the phone's tree has them; nothing (status 1) when a folder on the way is
    // missing. Plain "readlink": a storage link's target, nothing for anything else.
    std::string flags;
    const std::vector<std::string> operands = Operands(w, flags);
    const bool follow = w.front() == "realpath" || flags.find_first_of("fem") != std::string::npos;
    int status = operands.empty() ? 1 : 0;
    for (const std::string& p : operands) {
        if (follow) {
            if (const std::optional<QString> real = RealPath(Q(p))) {
                out += real->toStdString() + "\n";
            } else {
                if (w.front() == "realpath") {
                    out += "realpath: " + p + ": No such file or directory\n";
                }
                status = 1;
            }
        } else if (IsLink(p)) {
            out += LinkTarget(CleanPath(Q(p))).toStdString() + "\n";
        } else {
            status = 1;
        }
    }
    return status;
}

int CPhoneDevice::Run(const std::vector<std::string>& w, std::string& out) {
    const std::string& cmd = w.front();
    if (cmd == "echo") {
        for (std::size_t i = 1; i < w.size(); ++i) {
            out += (i > 1 ? " " : "") + w[i];
        }
        out += "\n";
        return 0;
    }
    if (cmd == "wm" && w.size() == 2 && w[1] == "size") {
        std::lock_guard guard(m_lock);
        out += "Physical size: " + m_db.Meta("screen_width", QStringLiteral("480")).toStdString() + "x" +
               m_db.Meta("screen_height", QStringLiteral("854")).toStdString() + "\n";
        return 0;
    }
    if (cmd == "true") {
        return 0;
    }
    if (cmd == "getprop") {
        const PropertyTable p = Properties();
        if (w.size() == 1) {
            out += GetpropListing(p);
        } else {
            const auto it = p.find(w[1]);
            out += (it == p.end() ? std::string() : it->second) + "\n";
        }
        return 0;
    }
    std::lock_guard guard(m_lock);
    if (cmd == "ls") {
        return Ls(w, out);
    }
    if (cmd == "mkdir") {
        return Mkdir(w, out);
    }
    if (cmd == "rm") {
        return Rm(w, out);
    }
    if (cmd == "mv" || cmd == "cp") {
        return MvOrCp(w, cmd == "mv", out);
    }
    if (cmd == "readlink" || cmd == "realpath") {
        return Readlink(w, out);
    }
    if (cmd == "df") {
        return Df(out);
    }
    if (cmd == "pm") {
        return Pm(w, out);
    }
    if (cmd == "dumpsys") {
        return Dumpsys(w, out);
    }
    if (cmd == "cat") {
        return Cat(w, out);
    }
    if (cmd == "content") {
        return Content(w, out);
    }
    if (cmd == "appops") {
        return AppOps(w, out);
    }
    if (cmd == "am") {
        return Am(w, out);
    }
    if (cmd == "screencap") {
        const bool png = std::find(w.begin() + 1, w.end(), std::string("-p")) != w.end();
        const std::string frame = Screencap(png);
        if (frame.empty()) {
            out += "screencap: no frame\n";
            return 1;
        }
        out += frame;
        return 0;
    }
    out += "/system/bin/sh: " + cmd + ": not found\n";
    return 127;
}

int CPhoneDevice::Ls(const std::vector<std::string>& args, std::string& out) {
    std::string flags;
    std::vector<std::string> paths = Operands(args, flags);
    const bool longForm = flags.find('l') != std::string::npos;
    const bool self = flags.find('d') != std::string::npos;
    // As a phone's ls: names starting with "." only with -a or -A.
    const bool hidden = flags.find_first_of("aA") != std::string::npos;
    const auto shown = [hidden](const std::string& name) { return hidden || name.empty() || name.front() != '.'; };
    const std::string now = LsTime(NowPacked());
    const auto linkLine = [&now](const std::string& name, const std::string& target) {
        return "lrwxrwxrwx 1 root root " + std::to_string(target.size()) + " " + now + " " + name + " -> " + target +
               "\n";
    };
    if (paths.empty()) {
        paths.push_back("/");
    }
    int status = 0;
    for (const std::string& p : paths) {
        const QString clean = Resolve(Q(p));
        // With -l a link named without a trailing "/" is shown itself, as lstat sees it.
        if (longForm && IsLink(p)) {
            out += linkLine(p, LinkTarget(CleanPath(Q(p))).toStdString());
            continue;
        }
        if (const auto virtualEntries = VirtualFolder(clean)) {
            if (self) {
                out += longForm ? "drwx--x--x 4 root everybody 4096 " + now + " " + p + "\n" : p + "\n";
                continue;
            }
            // The other users' storages are not the shell user's to see.
            if (clean == QLatin1String("/storage/emulated")) {
                out += "ls: " + p + ": Permission denied\n";
                status = 1;
                continue;
            }
            for (const adb::SyncDirEntry& e : *virtualEntries) {
                const QString path = clean + u'/' + QString::fromStdString(e.name);
                if (!longForm) {
                    out += e.name + "\n";
                } else if ((e.stat.mode & 0170000u) == 0120000u) {
                    out += linkLine(e.name, LinkTarget(path).toStdString());
                } else {
                    out += "drwx--x--x 4 root everybody 4096 " + now + " " + e.name + "\n";
                }
            }
            continue;
        }
        const FileNode node = ResolvePath(m_db, clean);
        if (node.id < 0) {
            out += "ls: " + p + ": No such file or directory\n";
            status = 1;
            continue;
        }
        const NodeRow row = ReadNode(m_db, node.id);
        if (!node.isDir || self) {
            out += longForm ? LsLine(row, p) : p + "\n";
            continue;
        }
        std::vector<NodeRow> children = Children(m_db, node.id);
        std::erase_if(children, [&shown](const NodeRow& c) { return !shown(c.name.toStdString()); });
        if (longForm) {
            std::int64_t blocks = 0;
            for (const NodeRow& c : children) {
                blocks += c.isDir ? 4 : (c.size + 1023) / 1024;
            }
            out += "total " + std::to_string(blocks) + "\n";
        }
        for (const NodeRow& c : children) {
            out += longForm ? LsLine(c, c.name.toStdString()) : c.name.toStdString() + "\n";
        }
    }
    return status;
}

QString CPhoneDevice::LinkTarget(const QString& cleanLink) {
    // Where a phone's links lead: the storage's names one to the next, then the user's own storage.
    if (cleanLink == QLatin1String("/sdcard")) {
        return QStringLiteral("/storage/self/primary");
    }
    if (cleanLink == QLatin1String("/storage/self/primary")) {
        return QStringLiteral("/storage/emulated/0");
    }
    return QString::fromLatin1(PHONE_ROOT);
}

int CPhoneDevice::Mkdir(const std::vector<std::string>& args, std::string& out) {
    std::string flags;
    const std::vector<std::string> paths = Operands(args, flags);
    const bool parents = flags.find('p') != std::string::npos;
    int status = 0;
    for (const std::string& p : paths) {
        const QString clean = Resolve(Q(p));
        if (!IsWritablePhonePath(clean)) {
            out += "mkdir: '" + p + "': Permission denied\n";
            status = 1;
            continue;
        }
        const FileNode existing = ResolvePath(m_db, clean);
        if (existing.id >= 0) {
            if (!(parents && existing.isDir)) {
                out += "mkdir: '" + p + "': File exists\n";
                status = 1;
            }
            continue;
        }
        const FileNode parent = ResolvePath(m_db, ParentPath(clean));
        if (!parents && (parent.id < 0 || !parent.isDir)) {
            out += "mkdir: '" + p + "': No such file or directory\n";
            status = 1;
            continue;
        }
        Transaction tx(m_db);
        if (MakeFolders(m_db, clean, NowPacked()) < 0 || !tx.Commit()) {
            out += "mkdir: '" + p + "': I/O error\n";
            status = 1;
        }
    }
    return status;
}

int CPhoneDevice::Rm(const std::vector<std::string>& args, std::string& out) {
    std::string flags;
    const std::vector<std::string> paths = Operands(args, flags);
    const bool recursive = flags.find('r') != std::string::npos || flags.find('R') != std::string::npos;
    const bool force = flags.find('f') != std::string::npos;
    int status = 0;
    for (const std::string& p : paths) {
        const QString clean = Resolve(Q(p));
        const FileNode node = ResolvePath(m_db, clean);
        if (node.id < 0) {
            if (!force) {
                out += "rm: " + p + ": No such file or directory\n";
                status = 1;
            }
            continue;
        }
        if (!IsWritablePhonePath(clean)) {
            out += "rm: " + p + ": Permission denied\n";
            status = 1;
            continue;
        }
        if (node.isDir && !recursive) {
            out += "rm: " + p + ": Is a directory\n";
            status = 1;
            continue;
        }
        Transaction tx(m_db);
        if (!DeleteNode(m_db, node.id) || !tx.Commit()) {
            out += "rm: " + p + ": I/O error\n";
            status = 1;
        }
    }
    return status;
}

std::int64_t CPhoneDevice::CopyTree(std::int64_t source, const QString& path) {
    const NodeRow row = ReadNode(m_db, source);
    if (row.isDir) {
        const std::int64_t id = MakeFolders(m_db, path, row.mtime);
        if (id < 0) {
            return -1;
        }
        for (const NodeRow& child : Children(m_db, source)) {
            if (CopyTree(child.id, path + u'/' + child.name) < 0) {
                return -1;
            }
        }
        return id;
    }
    const FileNode parent = ResolvePath(m_db, ParentPath(path));
    return parent.id < 0 ? -1 : AddFile(m_db, parent.id, path, ReadWholeFile(m_db, source), row.mtime);
}

int CPhoneDevice::MvOrCp(const std::vector<std::string>& args, bool move, std::string& out) {
    std::string flags;
    const std::vector<std::string> operands = Operands(args, flags);
    const std::string tool = move ? "mv" : "cp";
    if (operands.size() != 2) {
        out += tool + ": needs a source and a target\n";
        return 1;
    }
    const QString from = Resolve(Q(operands[0]));
    QString to = Resolve(Q(operands[1]));
    const FileNode source = ResolvePath(m_db, from);
    if (source.id < 0) {
        out += tool + ": " + operands[0] + ": No such file or directory\n";
        return 1;
    }
    if (!move && source.isDir && flags.find('r') == std::string::npos && flags.find('R') == std::string::npos) {
        out += "cp: " + operands[0] + ": Is a directory (not copied)\n";
        return 1;
    }
    const FileNode target = ResolvePath(m_db, to);
    if (target.id >= 0 && target.isDir) {
        to += u'/' + BaseName(from); // into an existing folder, as the tools do
    }
    if ((move && !IsWritablePhonePath(from)) || !IsWritablePhonePath(to)) {
        out += tool + ": " + operands[1] + ": Permission denied\n";
        return 1;
    }
    if (to == from || to.startsWith(from + u'/')) {
        out += tool + ": " + operands[1] + ": Invalid argument\n";
        return 1;
    }
    const FileNode parent = ResolvePath(m_db, ParentPath(to));
    if (parent.id < 0 || !parent.isDir) {
        out += tool + ": " + operands[1] + ": No such file or directory\n";
        return 1;
    }
    Transaction tx(m_db);
    const FileNode existing = ResolvePath(m_db, to);
    if (existing.id >= 0 && (existing.isDir || !DeleteNode(m_db, existing.id))) {
        out += tool + ": " + operands[1] + ": File exists\n";
        return 1;
    }
    if (move && StorageOfPath(from) == StorageOfPath(to)) {
        // On one file system a move is a rename, as on the phone: no bytes are copied.
        // The name decides the media type, as the phone's media scanner sees it.
        Stmt rename(m_db, "UPDATE files SET parent=?, name=?, category=? WHERE id=?");
        if (!rename.Bind(1, parent.id)
                 .Bind(2, BaseName(to))
                 .Bind(3, source.isDir ? CAT_OTHER : CategoryOfName(BaseName(to)))
                 .Bind(4, source.id)
                 .Run() ||
            !tx.Commit()) {
            out += "mv: " + operands[1] + ": I/O error\n";
            return 1;
        }
        return 0;
    }
    if (CopyTree(source.id, to) < 0 || (move && !DeleteNode(m_db, source.id)) || !tx.Commit()) {
        out += tool + ": " + operands[1] + ": I/O error\n";
        return 1;
    }
    return 0;
}

int CPhoneDevice::Df(std::string& out) {
    const std::int64_t phoneTotal = m_db.Meta("phone_total").toLongLong();
    const std::int64_t cardTotal = m_db.Meta("sd_total").toLongLong();
    std::int64_t used[2] = {m_db.Meta("system_size").toLongLong(), 0};
    Stmt sums(m_db, "SELECT storage, SUM(size) FROM files WHERE is_dir=0 AND storage<2 GROUP BY storage");
    while (sums.Step()) {
        used[sums.Int(0) == 1 ? 1 : 0] += sums.Int(1);
    }
    auto line = [&out](const char* fs, std::int64_t total, std::int64_t inUse, const char* mount) {
        const long long totalKb = total / 1024;
        const long long usedKb = std::min<std::int64_t>(inUse, total) / 1024;
        char text[200];
        std::snprintf(text, sizeof text, "%-20s %10lld %10lld %10lld %3lld%% %s\n", fs, totalKb, usedKb,
                      totalKb - usedKb, totalKb > 0 ? usedKb * 100 / totalKb : 0LL, mount);
        out += text;
    };
    out += "Filesystem            1K-blocks       Used  Available Use% Mounted on\n";
    line("/dev/block/dm-0", 1024LL * 1024 * 1024, 900LL * 1024 * 1024, "/system");
    line("/dev/fuse", phoneTotal, used[0], PHONE_ROOT);
    if (m_db.Meta("sd_card") == QLatin1String("1") && ResolvePath(m_db, QString::fromLatin1(CARD_ROOT)).id >= 0) {
        line("/dev/block/vold/179:65", cardTotal, used[1], CARD_ROOT);
    }
    return 0;
}

int CPhoneDevice::Pm(const std::vector<std::string>& args, std::string& out) {
    if (args.size() >= 3 && args[1] == "list" && args[2] == "packages") {
        const bool withPath = std::find(args.begin(), args.end(), "-f") != args.end();
        // -3: only the apps the user installed, as the package manager tells them from the system's.
        const bool userOnly = std::find(args.begin(), args.end(), "-3") != args.end();
        Stmt stmt(m_db, "SELECT package, apk_path FROM apps ORDER BY package");
        while (stmt.Step()) {
            if (userOnly && !stmt.Text(1).startsWith(QLatin1String("/data/"))) {
                continue;
            }
            out += "package:" + (withPath ? stmt.Text(1).toStdString() + "=" : std::string()) +
                   stmt.Text(0).toStdString() + "\n";
        }
        return 0;
    }
    if (args.size() == 3 && args[1] == "path") {
        Stmt stmt(m_db, "SELECT apk_path FROM apps WHERE package=?");
        stmt.Bind(1, Q(args[2]));
        if (!stmt.Step()) {
            return 1;
        }
        out += "package:" + stmt.Text(0).toStdString() + "\n";
        return 0;
    }
    if (args.size() == 3 && args[1] == "uninstall") {
        // The package file goes with the app, as the package manager removes its code folder.
        if (!DeleteApp(m_db, Q(args[2]))) {
            out += "Failure [DELETE_FAILED_INTERNAL_ERROR]\n";
            return 1;
        }
        out += "Success\n";
        return 0;
    }
    if (args.size() >= 3 && args[1] == "install") {
        return PmInstall(args, out);
    }
    out += "Error: unknown or unsupported pm command\n";
    return 1;
}

int CPhoneDevice::PmInstall(const std::vector<std::string>& args, std::string& out) {
    bool replace = false;
    std::string file;
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "-r") {
            replace = true;
        } else if (args[i] == "-d" || args[i] == "-g" || args[i] == "-t") {
            // allowed but without meaning here (downgrades are refused all the same)
        } else if (!args[i].empty() && args[i][0] == '-') {
            out += "Error: Unknown option: " + args[i] + "\n";
            return 1;
        } else if (file.empty()) {
            file = args[i];
        } else {
            out += "Error: Too many arguments\n";
            return 1;
        }
    }
    const FileNode staged = ResolvePath(m_db, Resolve(Q(file)));
    if (file.empty() || staged.id < 0 || staged.isDir) {
        out += "Error: Unable to open file: " + file + "\nConsider using a file under /data/local/tmp/\n";
        return 1;
    }
    return InstallPackage(ReadWholeFile(m_db, staged.id), file, replace, out);
}

int CPhoneDevice::InstallPackage(const QByteArray& bytes, const std::string& file, bool replace, std::string& out) {
    // The parser reads files; the package manager copies the package it is given first as well.
    QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("base.apk"));
    QFile copyFile(copy);
    if (!scratch.isValid() || !copyFile.open(QIODevice::WriteOnly) || copyFile.write(bytes) != bytes.size()) {
        out += "Failure [INSTALL_FAILED_INSUFFICIENT_STORAGE]\n";
        return 1;
    }
    copyFile.close();
    std::unique_ptr<CApkInfo, void (*)(CApkInfo*)> info(libaapt_ParseFile(copy), &libaapt_FreeInfo);
    if (!info || !IsAndroidPackageName(info->GetPackageName()) || !apk::VerifyArchive(copy, nullptr)) {
        out += "Failure [INSTALL_PARSE_FAILED_NOT_APK: Failed to parse " + file + "]\n";
        return 1;
    }
    const QString package = info->GetPackageName();
    Stmt existing(m_db, "SELECT version_code, apk_path, installed FROM apps WHERE package=?");
    existing.Bind(1, package);
    const bool installed = existing.Step();
    const std::int64_t oldVersion = installed ? existing.Int(0) : 0;
    const QString oldPath = installed ? existing.Text(1) : QString();
    // The first install time stays through upgrades, as on a phone.
    const std::int64_t firstInstalled = installed ? existing.Int(2) : NowPacked();
    existing.Reset();
    if (installed && !replace) {
        out += "Failure [INSTALL_FAILED_ALREADY_EXISTS: Attempt to re-install " + package.toStdString() +
               " without first uninstalling.]\n";
        return 1;
    }
    if (installed && info->GetVersionCode() < oldVersion) {
        out += "Failure [INSTALL_FAILED_VERSION_DOWNGRADE]\n";
        return 1;
    }
    QStringList permissions;
    for (int i = 0; i < info->GetPermissionCount(); ++i) {
        permissions << info->GetPermission(i);
    }
    const FileNode oldApk = installed ? ResolvePath(m_db, oldPath) : FileNode{};
    const QString apkPath = QStringLiteral("/data/app/") + package + QStringLiteral("-1.apk");
    // The label the launcher shows: the parser falls back on the package name for a resource.
    const QString label = info->GetLabel();
    Transaction tx(m_db);
    const std::int64_t folder = MakeFolders(m_db, QStringLiteral("/data/app"), NowPacked());
    Stmt add(m_db, "INSERT INTO apps(package, label, version_name, version_code, size, icon, permissions, min_sdk, "
                   "target_sdk, installed, apk_path) VALUES(?,?,?,?,?,?,?,?,?,?,?) "
                   "ON CONFLICT(package) DO UPDATE SET label=excluded.label, version_name=excluded.version_name, "
                   "version_code=excluded.version_code, size=excluded.size, icon=excluded.icon, "
                   "permissions=excluded.permissions, min_sdk=excluded.min_sdk, target_sdk=excluded.target_sdk, "
                   "installed=excluded.installed, apk_path=excluded.apk_path");
    const bool ok = tx.IsOpen() && folder >= 0 && (oldApk.id < 0 || DeleteNode(m_db, oldApk.id)) &&
                    (ResolvePath(m_db, apkPath).id < 0 || DeleteNode(m_db, ResolvePath(m_db, apkPath).id)) &&
                    AddFile(m_db, folder, apkPath, bytes, NowPacked()) >= 0 &&
                    add.Bind(1, package)
                        .Bind(2, label)
                        .Bind(3, info->GetVersionName())
                        .Bind(4, info->GetVersionCode())
                        .Bind(5, static_cast<std::int64_t>(bytes.size()))
                        .Bind(6, info->GetIcon())
                        .Bind(7, permissions.join(u';'))
                        .Bind(8, info->GetMinSdkVersion())
                        .Bind(9, info->GetTargetSdkVersion())
                        .Bind(10, firstInstalled)
                        .Bind(11, apkPath)
                        .Run() &&
                    tx.Commit();
    if (!ok) {
        out += "Failure [INSTALL_FAILED_INTERNAL_ERROR]\n";
        return 1;
    }
    out += "Success\n";
    return 0;
}

namespace {

// One package's part of "dumpsys package", from a row of the apps table (package, version name,
// version code, installed, min and target SDK, permissions, APK path).
std::string PackageSection(const Stmt& stmt) {
    const auto orDefault = [](const QString& text, const char* fallback) {
        return text.isEmpty() ? std::string(fallback) : text.toStdString();
    };
    const std::string package = stmt.Text(0).toStdString();
    const std::string apkPath = stmt.Text(7).toStdString();
    std::string out = "  Package [" + package + "] (4f2a1c3):\n    userId=10061\n";
    out += "    codePath=" + apkPath.substr(0, apkPath.rfind('/') == std::string::npos ? 0 : apkPath.rfind('/')) + "\n";
    out += "    versionCode=" + std::to_string(stmt.Int(2)) + " minSdk=" + orDefault(stmt.Text(4), "9") +
           " targetSdk=" + orDefault(stmt.Text(5), "15") + "\n";
    out += "    versionName=" + stmt.Text(1).toStdString() + "\n";
    const SYSTEMTIME t = vexa::UnpackTime(stmt.Int(3));
    char when[40];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    out += std::string("    firstInstallTime=") + when + "\n    lastUpdateTime=" + when + "\n";
    out += "    pkgFlags=[ HAS_CODE ALLOW_CLEAR_USER_DATA ALLOW_BACKUP ]\n";
    const QStringList permissions = stmt.Text(6).split(u';', Qt::SkipEmptyParts);
    if (!permissions.isEmpty()) {
        out += "    requested permissions:\n";
        for (const QString& permission : permissions) {
            out += "      " + permission.toStdString() + "\n";
        }
        out += "    install permissions:\n";
        for (const QString& permission : permissions) {
            out += "      " + permission.toStdString() + ": granted=true\n";
        }
    }
    out += "    User 0: ceDataInode=0 installed=true hidden=false suspended=false stopped=false notLaunched=false "
           "enabled=0\n";
    return out;
}

} // namespace

int CPhoneDevice::Dumpsys(const std::vector<std::string>& args, std::string& out) {
    if (args.size() != 3 || args[1] != "package") {
        out += "Can't find service: " + (args.size() > 1 ? args[1] : std::string()) + "\n";
        return 0;
    }
    // "packages" asks for every package's part (as the dump option, never a package name: those
    // hold a dot).
    const bool all = args[2] == "packages";
    Stmt stmt(m_db, all ? "SELECT package, version_name, version_code, installed, min_sdk, target_sdk, permissions, "
                          "apk_path FROM apps ORDER BY package"
                        : "SELECT package, version_name, version_code, installed, min_sdk, target_sdk, permissions, "
                          "apk_path FROM apps WHERE package=?");
    if (!all) {
        stmt.Bind(1, Q(args[2]));
    }
    std::string sections;
    while (stmt.Step()) {
        sections += PackageSection(stmt);
    }
    if (sections.empty() && !all) {
        out += "Unable to find package: " + args[2] + "\n";
        return 0;
    }
    out += "Packages:\n" + sections;
    // What follows on a phone: another section with copies of updated system apps.
    out += "\nHidden system packages:\n";
    return 0;
}

int CPhoneDevice::Cat(const std::vector<std::string>& args, std::string& out) {
    int status = 0;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const FileNode node = ResolvePath(m_db, Resolve(Q(args[i])));
        if (node.id < 0 || node.isDir) {
            out += "cat: " + args[i] + (node.id < 0 ? ": No such file or directory\n" : ": Is a directory\n");
            status = 1;
            continue;
        }
        out += ReadWholeFile(m_db, node.id).toStdString();
    }
    return status;
}


// The arguments of one "content" command line.
struct ContentArgs {
    std::string verb;
    std::string uri;
    std::string projection;
    std::string where;
    std::vector<std::string> binds;
    bool ok = true;
};

ContentArgs ParseContentArgs(const std::vector<std::string>& args) {
    ContentArgs parsed;
    parsed.verb = args.size() > 1 ? args[1] : std::string();
    for (std::size_t i = 2; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) {
            parsed.ok = false;
            break;
        }
        const std::string& value = args[i + 1];
        if (args[i] == "--uri") {
            parsed.uri = value;
        } else if (args[i] == "--projection") {
            parsed.projection = value;
        } else if (args[i] == "--where") {
            parsed.where = value;
        } else if (args[i] == "--bind") {
            parsed.binds.push_back(value);
        } else if (args[i] != "--user" && args[i] != "--sort") {
            parsed.ok = false;
        }
    }
    return parsed;
}

std::vector<std::string> SplitColons(const std::string& text) {
    std::vector<std::string> parts;
    for (std::size_t at = 0; !text.empty() && at <= text.size();) {
        const std::size_t colon = std::min(text.find(':', at), text.size());
        parts.push_back(text.substr(at, colon - at));
        at = colon + 1;
    }
    return parts;
}

void PrintQueryRows(Stmt& stmt, const std::vector<std::string>& columns,
                    const std::function<std::optional<std::string>(const Stmt&, int)>& cell, std::string& out) {
    int row = 0;
    while (stmt.Step()) {
        out += "Row: " + std::to_string(row++);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const std::optional<std::string> value = cell(stmt, static_cast<int>(c));
            out += (c == 0 ? " " : ", ") + columns[c] + "=" + (value ? *value : std::string("NULL"));
        }
        out += "\n";
    }
    if (row == 0) {
        out += "No result found.\n";
    }
}

namespace {

// Java's Long.parseLong and Integer.parseInt: an optional sign, then decimal digits only.
bool ParseJavaInteger(const std::string& text, int bits, std::string& decimal) {
    std::size_t at = text.starts_with('+') || text.starts_with('-') ? 1 : 0;
    if (at == text.size() || text.find_first_not_of("0123456789", at) != std::string::npos) {
        return false;
    }
    errno = 0;
    const long long n = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || (bits == 32 && (n < INT32_MIN || n > INT32_MAX))) {
        return false;
    }
    decimal = std::to_string(n);
    return true;
}

} // namespace

std::string ParseBinding(const std::string& bind, bool escaping, std::string& column,
                         std::optional<std::string>& value) {
    const std::string malformed = "Binding not well formed: " + bind;
    if (bind.empty()) {
        return malformed;
    }
    std::vector<std::string> parts;
    if (escaping) {
        parts.emplace_back();
        for (std::size_t i = 0; i < bind.size(); ++i) {
            if (bind[i] == '\\') {
                if (++i == bind.size()) {
                    return "Invalid escaping";
                }
                parts.back() += bind[i];
            } else if (bind[i] == ':') {
                parts.emplace_back();
            } else {
                parts.back() += bind[i];
            }
        }
        if (parts.size() != 3) {
            return malformed;
        }
    } else {
        const std::size_t first = bind.find(':');
        const std::size_t second = first == std::string::npos ? first : bind.find(':', first + 1);
        if (second == std::string::npos) {
            return malformed;
        }
        parts = {bind.substr(0, first), bind.substr(first + 1, second - first - 1), bind.substr(second + 1)};
    }
    column = parts[0];
    std::string type = parts[1];
    const std::string& text = parts[2];
    if (type == "s") {
        value = text;
        return {};
    }
    std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::tolower(c); });
    std::string decimal;
    if (type == "b") {
        std::string lower = text;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
        value = lower == "true" ? "1" : "0";
    } else if (type == "i" || type == "l") {
        if (!ParseJavaInteger(text, type == "i" && escaping ? 32 : 64, decimal)) {
            return "For input string: \"" + text + "\"";
        }
        value = decimal;
    } else if (type == "f" || type == "d") {
        char* end = nullptr;
        const double number = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0') {
            return "For input string: \"" + text + "\"";
        }
        value = std::to_string(number);
    } else if (type == "n") {
        value.reset();
    } else {
        return "Unsupported type: " + parts[1];
    }
    return {};
}

std::string ContentUsageError(const std::string& message) {
    return "usage: adb shell content [subcommand] [options]\n\n[ERROR] " + message + "\n";
}

// A selection of "COLUMN=INTEGER", "COLUMN>INTEGER" and "COLUMN IN (INTEGER,...)" terms joined by AND, as the stores
// send it; columns map onto the phone file's through map. The SQL has one "?" per value.
bool ParseWhere(const std::string& where, const std::map<std::string, std::string>& map, std::string& sql,
                std::vector<std::int64_t>& values, std::vector<std::string>& columns) {
    if (where.empty()) {
        return true;
    }
    std::size_t at = 0;
    while (at <= where.size()) {
        std::size_t end = where.find(" AND ", at);
        if (end == std::string::npos) {
            end = where.size();
        }
        const std::string term = where.substr(at, end - at);
        std::size_t nameEnd = 0;
        while (nameEnd < term.size() && (std::isalnum(static_cast<unsigned char>(term[nameEnd])) || term[nameEnd] == '_')) {
            ++nameEnd;
        }
        const auto column = map.find(term.substr(0, nameEnd));
        if (column == map.end()) {
            return false;
        }
        std::string rest = term.substr(nameEnd);
        std::vector<std::int64_t> numbers;
        auto readNumbers = [&numbers](const std::string& list) {
            std::size_t pos = 0;
            while (pos < list.size()) {
                const std::size_t comma = std::min(list.find(',', pos), list.size());
                const std::string number = list.substr(pos, comma - pos);
                char* stop = nullptr;
                const long long n = std::strtoll(number.c_str(), &stop, 10);
                if (number.empty() || *stop != '\0') {
                    return false;
                }
                numbers.push_back(n);
                pos = comma + 1;
            }
            return !numbers.empty();
        };
        if (rest.starts_with("=") && readNumbers(rest.substr(1))) {
            sql += (sql.empty() ? " WHERE " : " AND ") + column->second + "=?";
        } else if (rest.starts_with(">") && readNumbers(rest.substr(1)) && numbers.size() == 1) {
            sql += (sql.empty() ? " WHERE " : " AND ") + column->second + ">?";
        } else if (rest.starts_with(" IN (") && rest.ends_with(")") && readNumbers(rest.substr(5, rest.size() - 6))) {
            sql += (sql.empty() ? " WHERE " : " AND ") + column->second + " IN (?";
            for (std::size_t i = 1; i < numbers.size(); ++i) {
                sql += ",?";
            }
            sql += ")";
        } else {
            return false;
        }
        for (std::int64_t n : numbers) {
            values.push_back(n);
            columns.push_back(column->first);
        }
        at = end + 5;
    }
    return true;
}

std::string ProviderError(const std::string& provider, const std::string& exception) {
    return "Error while accessing provider:" + provider + "\n" + exception + "\n";
}


bool CPhoneDevice::Denied(const std::string& provider) {
    // A phone file may say that its phone keeps a provider from the shell user, as many do.
    return m_db.Meta("adb_denied").split(u',').contains(Q(provider));
}

int CPhoneDevice::Sdk() {
    // Phone files made before the API level was kept describe an Android 4.0 phone.
    return m_db.Meta("sdk", QStringLiteral("15")).toInt();
}

int CPhoneDevice::Content(const std::vector<std::string>& args, std::string& out) {
    const ContentArgs parsed = ParseContentArgs(args);
    if (!parsed.ok || parsed.uri.empty()) {
        out += "usage: adb shell content [subcommand] [options]\n";
        return 1;
    }
    // The tool reads every binding before it opens a provider: a bad one reaches none. It reports
    // on its output and still exits with 0.
    BoundValues bound;
    for (const std::string& bind : parsed.binds) {
        std::string column;
        std::optional<std::string> value;
        if (const std::string error = ParseBinding(bind, Sdk() >= kEscapedBindingsSdk, column, value); !error.empty()) {
            out += ContentUsageError(error);
            return 0;
        }
        bound[column] = value;
    }
    if (parsed.uri == "content://call_log/calls") {
        return CallLog(parsed.verb, parsed.projection, parsed.where, bound, out);
    }
    if (parsed.uri.starts_with("content://media/")) {
        return Media(parsed.verb, parsed.uri, parsed.projection, parsed.where, out);
    }
    if (parsed.uri.starts_with(kContactsAuthority)) {
        return Contacts(parsed.verb, parsed.uri.substr(std::strlen(kContactsAuthority)), parsed.projection,
                        parsed.where, bound, out);
    }
    if (parsed.uri == "content://mms" || parsed.uri.starts_with("content://mms/")) {
        return MmsProvider(parsed.verb, parsed.uri, parsed.projection, parsed.where, out);
    }
    if (parsed.uri == "content://sms" || parsed.uri.starts_with("content://sms/")) {
        return Messages(parsed.verb, parsed.uri, parsed.projection, parsed.where, bound, out);
    }
    out += "Error while accessing provider:" + parsed.uri + "\njava.lang.IllegalArgumentException: Unknown URI " +
           parsed.uri + "\n";
    return 1;
}

int CPhoneDevice::CallLog(const std::string& verb, const std::string& projection, const std::string& where,
                          const BoundValues& bound, std::string& out) {
    if (Denied("call_log")) {
        // As a phone prints it: the tool reports and still exits with 0.
        out += ProviderError("call_log", "java.lang.SecurityException: Permission Denial: opening provider "
                                         "com.android.providers.contacts.CallLogProvider from (null) (pid=4242, "
                                         "uid=2000) requires android.permission.READ_CALL_LOG or "
                                         "android.permission.WRITE_CALL_LOG");
        return 0;
    }
    // The provider's columns and the phone file's; the provider's types 1..7 fold into the file's 1..3.
    static const std::map<std::string, std::string> kColumns{{"_id", "id"},           {"number", "number"},
                                                             {"date", "time"},        {"duration", "duration"},
                                                             {"type", "type"},        {"presentation", "number_state"}};
    std::string whereSql;
    std::vector<std::int64_t> values;
    std::vector<std::string> valueColumns;
    if (!ParseWhere(where, kColumns, whereSql, values, valueColumns)) {
        out += ProviderError("call_log", "android.database.sqlite.SQLiteException: unsupported selection: " + where);
        return 0;
    }
    auto bindWhere = [&](Stmt& stmt, int first) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            // Dates are milliseconds since 1970 to the provider, packed local times in the file.
            stmt.Bind(first + static_cast<int>(i),
                      valueColumns[i] == "date" ? EpochToPacked(static_cast<std::uint32_t>(values[i] / 1000)) : values[i]);
        }
    };
    if (verb == "query") {
        std::vector<std::string> columns = SplitColons(projection);
        if (columns.empty()) {
            columns = {"_id", "number", "date", "duration", "type", "presentation"};
        }
        std::string select;
        for (const std::string& column : columns) {
            const auto it = kColumns.find(column);
            if (it == kColumns.end()) {
                out += ProviderError("call_log", "android.database.sqlite.SQLiteException: no such column: " + column);
                return 0;
            }
            select += (select.empty() ? "" : ", ") + it->second;
        }
        const std::string sql = "SELECT " + select + " FROM calls" + whereSql + " ORDER BY time DESC, id DESC";
        Stmt stmt(m_db, sql.c_str());
        bindWhere(stmt, 1);
        PrintQueryRows(
            stmt, columns,
            [&columns](const Stmt& row, int i) -> std::optional<std::string> {
                if (columns[static_cast<std::size_t>(i)] == "date") {
                    return std::to_string(static_cast<long long>(PackedToEpoch(row.Int(i))) * 1000);
                }
                if (columns[static_cast<std::size_t>(i)] == "number" ||
                    columns[static_cast<std::size_t>(i)] == "presentation") {
                    return row.IsNull(i) ? std::nullopt : std::optional(row.Text(i).toStdString());
                }
                return std::to_string(row.Int(i));
            },
            out);
        return 0;
    }
    if (verb == "delete") {
        if (whereSql.empty()) {
            out += ProviderError("call_log", "java.lang.IllegalArgumentException: a selection is required");
            return 0;
        }
        Stmt stmt(m_db, ("DELETE FROM calls" + whereSql).c_str());
        bindWhere(stmt, 1);
        if (!stmt.Run()) {
            out += ProviderError("call_log", "android.database.sqlite.SQLiteException: " + m_db.ErrorText().toStdString());
        }
        return 0;
    }
    if (verb != "insert") {
        out += ProviderError("call_log", "java.lang.UnsupportedOperationException: " + verb);
        return 0;
    }
    QString number;
    std::int64_t date = -1, duration = 0, type = 1;
    QString state;
    for (const auto& [column, given] : bound) {
        if (kColumns.count(column) == 0 || column == "_id") {
            out += ProviderError("call_log", "java.lang.IllegalArgumentException: Invalid column " + column);
            return 0;
        }
        const std::string value = given.value_or(std::string());
        if (column == "number") {
            number = Q(value);
        } else if (column == "presentation") {
            state = Q(value);
        } else {
            const std::int64_t n = std::strtoll(value.c_str(), nullptr, 10);
            (column == "date" ? date : column == "duration" ? duration : type) = n;
        }
    }
    static const int kFold[] = {0, 1, 2, 3, 1, 3, 3, 1}; // voicemail counts as received
    if (date < 0 || type < 1 || type > 7) {
        out += ProviderError("call_log", "java.lang.IllegalArgumentException: date and a known type are required");
        return 0;
    }
    Stmt add(m_db, "INSERT INTO calls(number, time, duration, type, number_state) VALUES(?,?,?,?,?)");
    if (!add.Bind(1, number)
             .Bind(2, EpochToPacked(static_cast<std::uint32_t>(date / 1000)))
             .Bind(3, duration)
             .Bind(4, static_cast<std::int64_t>(kFold[type]))
             .Bind(5, state)
             .Run()) {
        out += ProviderError("call_log", "android.database.sqlite.SQLiteException: " + m_db.ErrorText().toStdString());
    }
    return 0;
}

// ---- the message provider and the shell user's app-ops -------------------------------------------

namespace {

// The provider's columns and the phone file's.
const std::map<std::string, std::string> kSmsColumns{{"_id", "id"},      {"address", "number"}, {"date", "time"},
                                                     {"type", "box"},    {"read", "read"},      {"sub_id", "sim"},
                                                     {"body", "content"}};
// Columns a phone's sms table has that the phone file does not keep: written, then forgotten.
const std::vector<std::string> kSmsIgnoredColumns{"seen", "date_sent", "status", "thread_id", "protocol", "locked"};

// A phone keeps SIM cards 1 and 2 as subscriptions 1 and 2; anything else is the default card.
std::int64_t SimOfSubscription(const std::optional<std::string>& sub) {
    const std::int64_t n = sub ? std::strtoll(sub->c_str(), nullptr, 10) : 0;
    return n == 1 || n == 2 ? n : 0;
}

std::int64_t PackedOfMs(const std::optional<std::string>& ms) {
    const long long n = ms ? std::strtoll(ms->c_str(), nullptr, 10) : 0;
    return EpochToPacked(static_cast<std::uint32_t>(std::clamp<long long>(n / 1000, 0, UINT32_MAX)));
}

} // namespace

int CPhoneDevice::Messages(const std::string& verb, const std::string& uri, const std::string& projection,
                           const std::string& where, const BoundValues& bound, std::string& out) {
    // "content://sms/ID" names one message, as an extra condition.
    std::string selection = where;
    if (uri != "content://sms") {
        const std::string id = uri.substr(std::strlen("content://sms/"));
        if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos) {
            out += ProviderError(uri, "java.lang.IllegalArgumentException: Unknown URI " + uri);
            return 1;
        }
        selection = "_id=" + id + (where.empty() ? "" : " AND " + where);
    }
    std::string whereSql;
    std::vector<std::int64_t> values;
    std::vector<std::string> valueColumns;
    if (!ParseWhere(selection, kSmsColumns, whereSql, values, valueColumns) ||
        std::find(valueColumns.begin(), valueColumns.end(), "date") != valueColumns.end()) {
        out += ProviderError("sms", "android.database.sqlite.SQLiteException: unsupported selection: " + selection);
        return 0;
    }
    auto bindWhere = [&values](Stmt& stmt, int first) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            stmt.Bind(first + static_cast<int>(i), values[i]);
        }
    };
    if (verb == "query") {
        std::vector<std::string> columns = SplitColons(projection);
        if (columns.empty()) {
            columns = {"_id", "address", "date", "type", "read", "sub_id", "body"};
        }
        std::string select;
        for (const std::string& column : columns) {
            const auto it = kSmsColumns.find(column);
            if (it == kSmsColumns.end()) {
                out += ProviderError("sms", "android.database.sqlite.SQLiteException: no such column: " + column);
                return 1;
            }
            select += (select.empty() ? "" : ", ") + it->second;
        }
        // The provider's default order: newest first.
        Stmt stmt(m_db, ("SELECT " + select + " FROM sms" + whereSql + " ORDER BY time DESC, id DESC").c_str());
        bindWhere(stmt, 1);
        PrintQueryRows(
            stmt, columns,
            [&columns](const Stmt& row, int i) -> std::optional<std::string> {
                const std::string& column = columns[static_cast<std::size_t>(i)];
                if (column == "date") {
                    return std::to_string(static_cast<long long>(PackedToEpoch(row.Int(i))) * 1000);
                }
                if (column == "address" || column == "body") {
                    return row.Text(i).toStdString();
                }
                return std::to_string(row.Int(i));
            },
            out);
        return 0;
    }
    if (verb != "insert" && verb != "update" && verb != "delete") {
        out += ProviderError("sms", "java.lang.UnsupportedOperationException: " + verb);
        return 0;
    }
    // Only the default SMS app writes freely; for the shell user the app-op decides. Ignored is
    // the usual answer, and the provider then pretends: a fake new row, nothing changed.
    const QString mode = m_db.Meta("appops_write_sms", QStringLiteral("default"));
    if (mode == QLatin1String("deny")) {
        out += ProviderError("sms", "java.lang.SecurityException: com.android.shell from uid 2000 not allowed to "
                                    "perform WRITE_SMS");
        return 0;
    }
    if (mode != QLatin1String("allow")) {
        return 0;
    }
    for (const auto& [column, value] : bound) {
        (void)value;
        if ((kSmsColumns.count(column) == 0 || column == "_id") &&
            std::find(kSmsIgnoredColumns.begin(), kSmsIgnoredColumns.end(), column) == kSmsIgnoredColumns.end()) {
            out += ProviderError("sms",
                                 "android.database.sqlite.SQLiteException: table sms has no column named " + column);
            return 0;
        }
    }
    auto text = [&bound](const char* column) {
        const auto it = bound.find(column);
        return it == bound.end() || !it->second ? QString() : Q(*it->second);
    };
    auto number = [&bound](const char* column, std::int64_t fallback) -> std::int64_t {
        const auto it = bound.find(column);
        return it == bound.end() || !it->second ? fallback : std::strtoll(it->second->c_str(), nullptr, 10);
    };
    bool ok = true;
    // Tests make the provider refuse one message of a batch ("sms_refuse_body"), as a phone's
    // provider throws for a row it will not take.
    if (const QString refused = m_db.Meta("sms_refuse_body");
        verb == "insert" && !refused.isEmpty() && text("body") == refused) {
        out += ProviderError("sms", "java.lang.IllegalArgumentException: the provider refused the message");
        return 0;
    }
    if (verb == "insert") {
        // Unbound columns take the provider's defaults: received now, unread.
        Stmt add(m_db, "INSERT INTO sms(box, number, time, content, read, sim) VALUES(?,?,?,?,?,?)");
        const auto date = bound.find("date");
        ok = add.Bind(1, number("type", 1))
                 .Bind(2, text("address"))
                 .Bind(3, date == bound.end() ? NowPacked() : PackedOfMs(date->second))
                 .Bind(4, text("body"))
                 .Bind(5, number("read", 0) != 0 ? 1 : 0)
                 .Bind(6, bound.count("sub_id") != 0 ? SimOfSubscription(bound.at("sub_id")) : 0)
                 .Run();
    } else if (verb == "delete") {
        Stmt del(m_db, ("DELETE FROM sms" + whereSql).c_str());
        bindWhere(del, 1);
        ok = del.Run();
    } else {
        std::string set;
        std::vector<std::pair<std::string, std::optional<std::string>>> changes;
        for (const auto& [column, value] : bound) {
            if (kSmsColumns.count(column) != 0) {
                set += (set.empty() ? "" : ", ") + kSmsColumns.at(column) + "=?";
                changes.emplace_back(column, value);
            }
        }
        if (set.empty()) {
            return 0;
        }
        Stmt update(m_db, ("UPDATE sms SET " + set + whereSql).c_str());
        int i = 0;
        for (const auto& [column, value] : changes) {
            if (column == "address" || column == "body") {
                update.Bind(++i, value ? Q(*value) : QString());
            } else if (column == "date") {
                update.Bind(++i, PackedOfMs(value));
            } else if (column == "sub_id") {
                update.Bind(++i, SimOfSubscription(value));
            } else {
                update.Bind(++i, static_cast<std::int64_t>(value ? std::strtoll(value->c_str(), nullptr, 10) : 0));
            }
        }
        bindWhere(update, i + 1);
        ok = update.Run();
    }
    if (!ok) {
        out += ProviderError("sms", "android.database.sqlite.SQLiteException: " + m_db.ErrorText().toStdString());
    }
    return 0;
}

int CPhoneDevice::AppOps(const std::vector<std::string>& args, std::string& out) {
    std::vector<std::string> words(args.begin() + 1, args.end());
    if (words.size() >= 3 && words[1] == "--user") {
        words.erase(words.begin() + 1, words.begin() + 3);
    }
    const bool set = words.size() == 4 && words[0] == "set";
    const bool get = (words.size() == 2 || words.size() == 3) && words[0] == "get";
    if (!set && !get) {
        out += "Error: unknown or incomplete appops command\n";
        return 255;
    }
    if (words[1] != "com.android.shell") {
        // Only the shell user's own ops are kept; other packages are not on this phone.
        out += "Error: No UID for " + words[1] + " in user 0\n";
        return 255;
    }
    if (words.size() >= 3 && words[2] != "WRITE_SMS") {
        out += "Error: Unknown operation string: " + words[2] + "\n";
        return 255;
    }
    if (get) {
        const QString mode = m_db.Meta("appops_write_sms", QStringLiteral("default"));
        out += mode == QLatin1String("default") ? std::string("No operations.\n")
                                                : "WRITE_SMS: " + mode.toStdString() + "\n";
        return 0;
    }
    static const std::vector<std::string> kModes{"allow", "ignore", "deny", "default", "foreground"};
    if (std::find(kModes.begin(), kModes.end(), words[3]) == kModes.end()) {
        out += "Error: Mode " + words[3] + " is not valid\n";
        return 255;
    }
    if (m_db.Meta("appops_refused") == QLatin1String("1")) {
        out += "Security exception: uid 2000 does not have android.permission.MANAGE_APP_OPS_MODES.\n\n"
               "java.lang.SecurityException: uid 2000 does not have android.permission.MANAGE_APP_OPS_MODES.\n"
               "\tat android.app.ContextImpl.enforce(ContextImpl.java:1921)\n"
               "\tat com.android.server.appop.AppOpsService.setMode(AppOpsService.java:1797)\n";
        return 255;
    }
    if (!m_db.SetMeta("appops_write_sms", Q(words[3]))) {
        out += "Error: " + m_db.ErrorText().toStdString() + "\n";
        return 255;
    }
    return 0;
}

std::string CPhoneDevice::Screencap(bool png) {
    if (png) {
        std::lock_guard guard(m_lock);
        Stmt stmt(m_db, "SELECT data FROM screen_frames ORDER BY id DESC LIMIT 1");
        return stmt.Step() ? stmt.Blob(0).toStdString() : std::string();
    }
    const std::shared_ptr<const std::string> raw = RawScreencap();
    return raw ? *raw : std::string();
}

std::shared_ptr<const std::string> PackFrame(const QImage& image, std::initializer_list<std::uint32_t> header) {
    const auto rowBytes = static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.depth() / 8);
    auto frame = std::make_shared<std::string>();
    frame->reserve(4 * header.size() + rowBytes * static_cast<std::size_t>(image.height()));
    for (const std::uint32_t word : header) {
        for (int i = 0; i < 4; ++i) {
            frame->push_back(static_cast<char>((word >> (8 * i)) & 0xff));
        }
    }
    for (int y = 0; y < image.height(); ++y) {
        frame->append(reinterpret_cast<const char*>(image.constScanLine(y)), rowBytes);
    }
    return frame;
}

QImage CPhoneDevice::ScreenPicture(std::int64_t id) {
    if (id != m_pictureId) {
        Stmt picture(m_db, "SELECT data FROM screen_frames WHERE id=?");
        picture.Bind(1, id);
        m_picture = picture.Step() ? QImage::fromData(picture.Blob(0)) : QImage();
        m_pictureId = id;
    }
    return m_picture;
}

void CPhoneDevice::PrepareScreen() {
    std::lock_guard guard(m_lock);
    Stmt newest(m_db, "SELECT id FROM screen_frames ORDER BY id DESC LIMIT 1");
    if (newest.Step()) {
        ScreenPicture(newest.Int(0));
    }
}

std::shared_ptr<const std::string> CPhoneDevice::RawScreencap() {
    std::lock_guard guard(m_lock);
    Stmt stmt(m_db, "SELECT id FROM screen_frames ORDER BY id DESC LIMIT 1");
    if (!stmt.Step()) {
        return nullptr;
    }
    // A phone copies its frame buffer out; decoding the stored picture each time would make the
    // daemon, not the transport, the slow part of a stream.
    const std::int64_t id = stmt.Int(0);
    const QSize screen(m_db.Meta("screen_width", QStringLiteral("480")).toInt(),
                       m_db.Meta("screen_height", QStringLiteral("854")).toInt());
    if (m_rawFrame && id == m_rawFrameId && screen == m_rawFrameSize) {
        return m_rawFrame;
    }
    QImage image = ScreenPicture(id);
    if (image.isNull()) {
        return nullptr;
    }
    if (screen.isValid() && !screen.isEmpty() && image.size() != screen) {
        image = image.scaled(screen, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    image = image.convertToFormat(QImage::Format_RGBA8888);
    // Android 8 and later: width, height, format 1 (RGBA_8888), colour space 0, then the rows.
    auto raw = PackFrame(image, {std::uint32_t(image.width()), std::uint32_t(image.height()), 1u, 0u});
    m_rawFrame = std::move(raw);
    m_rawFrameId = id;
    m_rawFrameSize = screen;
    return m_rawFrame;
}

adb::SyncStat CPhoneDevice::Stat(const std::string& path) {
    std::lock_guard guard(m_lock);
    if (IsLink(path)) {
        return {0120777u, 21, PackedToEpoch(NowPacked())};
    }
    if (VirtualFolder(CleanPath(Q(path)))) {
        return {040711u, 4096, PackedToEpoch(NowPacked())};
    }
    const FileNode node = ResolvePath(m_db, Resolve(Q(path)));
    if (node.id < 0) {
        return {};
    }
    const NodeRow row = ReadNode(m_db, node.id);
    return {row.isDir ? 040771u : 0100660u, static_cast<std::uint64_t>(row.isDir ? 4096 : row.size),
            PackedToEpoch(row.mtime)};
}

bool CPhoneDevice::List(const std::string& path, std::vector<adb::SyncDirEntry>& entries) {
    std::lock_guard guard(m_lock);
    if (auto virtualEntries = VirtualFolder(CleanPath(Q(path)))) {
        // The shell user may pass through /storage/emulated but not read it: the listing is empty.
        if (CleanPath(Q(path)) != QLatin1String("/storage/emulated")) {
            entries = std::move(*virtualEntries);
        }
        return true;
    }
    if (CleanPath(Q(path)) == QLatin1String("/")) {
        entries.push_back({"sdcard", {0120777u, 21, PackedToEpoch(NowPacked())}});
        entries.push_back({"storage", {040711u, 4096, PackedToEpoch(NowPacked())}});
    }
    const FileNode node = ResolvePath(m_db, Resolve(Q(path)));
    if (node.id < 0 || !node.isDir) {
        return false;
    }
    for (const NodeRow& c : Children(m_db, node.id)) {
        entries.push_back({c.name.toStdString(),
                           {c.isDir ? 040771u : 0100660u, static_cast<std::uint64_t>(c.isDir ? 4096 : c.size),
                            PackedToEpoch(c.mtime)}});
    }
    return true;
}

bool CPhoneDevice::Read(const std::string& path, std::string& data, std::string& error) {
    std::lock_guard guard(m_lock);
    const FileNode node = ResolvePath(m_db, Resolve(Q(path)));
    if (node.id < 0) {
        error = "No such file or directory";
        return false;
    }
    if (node.isDir) {
        error = "Is a directory";
        return false;
    }
    const QByteArray bytes = ReadWholeFile(m_db, node.id);
    data.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

bool CPhoneDevice::Write(const std::string& path, std::uint32_t mode, std::uint32_t mtime, const std::string& data,
                         std::string& error) {
    (void)mode;
    std::lock_guard guard(m_lock);
    const QString clean = Resolve(Q(path));
    if (!IsWritablePhonePath(clean)) {
        error = "Permission denied";
        return false;
    }
    const FileNode parent = ResolvePath(m_db, ParentPath(clean));
    if (parent.id < 0 || !parent.isDir) {
        // adbd creates missing folders of a pushed file.
        if (parent.id >= 0) {
            error = "Not a directory";
            return false;
        }
    }
    Transaction tx(m_db);
    const FileNode existing = ResolvePath(m_db, clean);
    if (existing.id >= 0 && (existing.isDir || !DeleteNode(m_db, existing.id))) {
        error = "Is a directory";
        return false;
    }
    const std::int64_t folder = MakeFolders(m_db, ParentPath(clean), NowPacked());
    const QByteArray bytes = QByteArray::fromRawData(data.data(), static_cast<qsizetype>(data.size()));
    const std::int64_t packed = mtime != 0 ? EpochToPacked(mtime) : NowPacked();
    if (folder < 0 || AddFile(m_db, folder, clean, bytes, packed) < 0 || !tx.Commit()) {
        error = "I/O error";
        return false;
    }
    return true;
}

int CPhoneDevice::Am(const std::vector<std::string>& args, std::string& out) {
    // Only the media scanner's broadcast is understood; the last file it named is kept in the
    // phone file's meta "media_scan" so tests can see that the index was told.
    const std::string kScan = "android.intent.action.MEDIA_SCANNER_SCAN_FILE";
    std::string action, data;
    for (std::size_t i = 2; i + 1 < args.size(); i += 2) {
        if (args[i] == "-a") {
            action = args[i + 1];
        } else if (args[i] == "-d") {
            data = args[i + 1];
        }
    }
    if (args.size() < 2 || args[1] != "broadcast" || action.empty()) {
        out += "Error: unknown am command\n";
        return 1;
    }
    out += "Broadcasting: Intent { act=" + action + (data.empty() ? "" : " dat=" + data) + " flg=0x400000 }\n";
    if (action == kScan && data.rfind("file://", 0) == 0) {
        m_db.SetMeta("media_scan", QString::fromStdString(data.substr(7)));
    }
    out += "Broadcast completed: result=0\n";
    return 0;
}

} // namespace vexa_adbd
