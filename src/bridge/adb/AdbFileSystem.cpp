#include "bridge/adb/AdbFileSystem.h"

#include "bridge/adb/AdbContent.h"
#include "bridge/adb/protocol/AdbParsers.h"
#include "bridge/adb/protocol/ShellQuote.h"
#include "bridge/api/PhonePaths.h"

#include "libs/log/Log.h"
#include "platform/AtomicFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>

namespace vexa::adbphone {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

std::string U(const QString& text) {
    return text.toStdString();
}

QString Parent(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

// The longest mount point that holds path.
const adb::DfEntry* MountOf(const std::vector<adb::DfEntry>& mounts, const QString& path) {
    const adb::DfEntry* best = nullptr;
    for (const adb::DfEntry& m : mounts) {
        const bool holds = path == m.mountPoint || path.startsWith(m.mountPoint + u'/') || m.mountPoint == u'/';
        if (holds && (best == nullptr || m.mountPoint.size() > best->mountPoint.size())) {
            best = &m;
        }
    }
    return best;
}

} // namespace

std::string MediaQueryCommand() {
    // Types 1, 2 and 3 are images, audio and video in Android's media index.
    return ContentQueryCommand("content://media/external/file", {"_data", "_size", "media_type"},
                               "media_type IN (1,2,3)");
}

MediaTotals SumMediaRows(std::string_view output, const QString& phoneRoot, const QString& cardRoot) {
    MediaTotals totals;
    QStringList phoneRoots{QStringLiteral("/storage/emulated/0"), QStringLiteral("/sdcard"),
                           QStringLiteral("/mnt/sdcard"), QStringLiteral("/storage/emulated/legacy")};
    if (!phoneRoot.isEmpty() && !phoneRoots.contains(phoneRoot)) {
        phoneRoots.prepend(phoneRoot);
    }
    auto under = [](const QString& path, const QString& root) {
        return !root.isEmpty() && path.startsWith(root + u'/');
    };
    static const QStringList kColumns{QStringLiteral("_data"), QStringLiteral("_size"), QStringLiteral("media_type")};
    for (const adb::ContentRow& row : adb::ParseContentQuery(output, kColumns)) {
        bool ok = false;
        const qint64 size = row.value(QStringLiteral("_size")).toLongLong(&ok);
        const int type = row.value(QStringLiteral("media_type")).toInt();
        if (!ok || size < 0 || type < 1 || type > 3) {
            continue;
        }
        const int category = type == 1 ? CATEGORY_PICTURE : type == 3 ? CATEGORY_VIDEO : CATEGORY_MUSIC;
        const QString path = row.value(QStringLiteral("_data"));
        // The card may be mounted inside the phone storage, so it is tested first.
        if (under(path, cardRoot)) {
            totals.card[category - 1] += static_cast<std::uint64_t>(size);
        } else if (std::any_of(phoneRoots.begin(), phoneRoots.end(),
                               [&](const QString& r) { return under(path, r); })) {
            totals.phone[category] += static_cast<std::uint64_t>(size);
        }
    }
    return totals;
}

bool IsSafePhonePath(const QString& path) {
    if (!path.startsWith(u'/') || path.contains(QChar(0))) {
        return false;
    }
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".") || part == QLatin1String("..")) {
            return false;
        }
    }
    return true;
}

bool CAdbFileSystem::Stat(const QString& path, adb::SyncStat& stat) {
    adb::CAdbSyncSession sync;
    if (!m_link.OpenSync(sync, true)) {
        return false;
    }
    // The second form carries sizes of 4 GiB and more; the first cuts them to 32 bits.
    const adb::AdbStatus status = m_link.HasFeature("stat_v2") ? sync.Stat2(U(path), stat) : sync.Stat(U(path), stat);
    sync.Quit();
    return status.ok;
}

bool CAdbFileSystem::Tool(const std::vector<std::string>& words, int timeoutMs) {
    std::string output;
    int status = -1;
    if (!m_link.ShellStatus(adb::ShellCommand(words), output, status, timeoutMs)) {
        return false;
    }
    if (status != 0) {
        LOG_Error("[AdbFileSystem] %s failed (%d): %s. %s:%d", words.front().c_str(), status, output.c_str(), LOG_HERE);
        return false;
    }
    return true;
}

bool CAdbFileSystem::Ensure() {
    return m_refreshed || RefreshStorageInfo();
}

bool CAdbFileSystem::RefreshStorageInfo() {
    Lock guard(m_lock);
    // "/sdcard" is a link on current phones: the trailing "/" makes the phone follow it.
    m_phoneRoot.clear();
    for (const char* candidate : {"/sdcard", "/storage/emulated/0", "/mnt/sdcard"}) {
        adb::SyncStat stat;
        if (!Stat(QString::fromLatin1(candidate) + u'/', stat)) {
            return false;
        }
        if (stat.IsDirectory()) {
            m_phoneRoot = QString::fromLatin1(candidate);
            break;
        }
    }
    m_cardRoot.clear();
    if (!m_phoneRoot.isEmpty()) {
        for (const QString& candidate : {m_phoneRoot + QStringLiteral("/external_sd"),
                                         QStringLiteral("/storage/sdcard1"), QStringLiteral("/mnt/extSdCard")}) {
            adb::SyncStat stat;
            if (Stat(candidate + u'/', stat) && stat.IsDirectory()) {
                m_cardRoot = candidate;
                break;
            }
        }
    }
    std::string output;
    std::vector<adb::DfEntry> mounts;
    if (!m_link.Shell("df -k", output)) {
        return false;
    }
    mounts = adb::ParseDf(output);
    // The storage names are links on current phones (/sdcard leads to /storage/emulated/0), while
    // df and the media index name real paths: a root no mount point holds is looked up where it leads.
    auto realPath = [&](const QString& root) {
        const adb::DfEntry* m = root.isEmpty() ? nullptr : MountOf(mounts, root);
        std::string target;
        if (!root.isEmpty() && (m == nullptr || m->mountPoint == u'/') &&
            m_link.Shell(adb::ShellCommand({"readlink", "-f", U(root)}), target)) {
            const QString real = QString::fromStdString(target).trimmed();
            if (real.startsWith(u'/') && !real.contains(u'\n') && IsSafePhonePath(real)) {
                return real;
            }
        }
        return root;
    };
    m_phoneReal = realPath(m_phoneRoot);
    m_cardReal = realPath(m_cardRoot);
    auto mountOf = [&](const QString& real) { return real.isEmpty() ? nullptr : MountOf(mounts, real); };
    m_phoneTotal = m_phoneFree = m_cardTotal = m_cardFree = 0;
    const adb::DfEntry* phone = mountOf(m_phoneReal);
    if (phone != nullptr) {
        m_phoneTotal = static_cast<std::uint64_t>(phone->totalKb) * 1024;
        m_phoneFree = static_cast<std::uint64_t>(phone->availableKb) * 1024;
    }
    const adb::DfEntry* card = mountOf(m_cardReal);
    if (card != nullptr && card != phone) {
        m_cardTotal = static_cast<std::uint64_t>(card->totalKb) * 1024;
        m_cardFree = static_cast<std::uint64_t>(card->availableKb) * 1024;
    } else {
        m_cardRoot.clear(); // a folder on the phone's own storage, not a card
        m_cardReal.clear();
    }
    m_refreshed = true;
    m_categoriesKnown = false;
    return true;
}

bool CAdbFileSystem::HasPhoneStorage() {
    Lock guard(m_lock);
    return Ensure() && !m_phoneRoot.isEmpty();
}

std::uint64_t CAdbFileSystem::GetPhoneTotalSpace() {
    Lock guard(m_lock);
    Ensure();
    return m_phoneTotal;
}

std::uint64_t CAdbFileSystem::GetPhoneFreeSpace() {
    Lock guard(m_lock);
    RefreshStorageInfo();
    return m_phoneFree;
}

void CAdbFileSystem::EnsureCategories() {
    if (m_categoriesKnown || !Ensure()) {
        return;
    }
    m_media = {};
    std::string output;
    // A phone that keeps its media index from the shell user shows its used space as one block.
    if (RunContent(m_link, "AdbFileSystem", MediaQueryCommand(), output, true) == ContentResult::Done) {
        m_media = SumMediaRows(output, m_phoneReal, m_cardReal);
    }
    m_categoriesKnown = true;
}

void CAdbFileSystem::GetPhoneCategorySizes(std::uint64_t sizes[5]) {
    std::fill(sizes, sizes + 5, 0);
    Lock guard(m_lock);
    EnsureCategories();
    std::copy(std::begin(m_media.phone), std::end(m_media.phone), sizes);
    // The system's own share is not reported to the shell: what the media do not explain stays
    // with the rest of the used space.
}

bool CAdbFileSystem::HasSdCard() {
    Lock guard(m_lock);
    return Ensure() && !m_cardRoot.isEmpty();
}

std::uint64_t CAdbFileSystem::GetSdCardTotalSpace() {
    Lock guard(m_lock);
    Ensure();
    return m_cardTotal;
}

std::uint64_t CAdbFileSystem::GetSdCardFreeSpace() {
    Lock guard(m_lock);
    RefreshStorageInfo(); // an upload to the card is checked against what is free now
    return m_cardFree;
}

void CAdbFileSystem::GetSdCardCategorySizes(std::uint64_t sizes[4]) {
    std::fill(sizes, sizes + 4, 0);
    Lock guard(m_lock);
    EnsureCategories();
    if (!m_cardRoot.isEmpty()) {
        std::copy(std::begin(m_media.card), std::end(m_media.card), sizes);
    }
}

QString CAdbFileSystem::GetPhoneStorageRoot() {
    Lock guard(m_lock);
    Ensure();
    return m_phoneRoot;
}

QString CAdbFileSystem::GetSdCardRoot() {
    Lock guard(m_lock);
    Ensure();
    return m_cardRoot;
}

QStringList CAdbFileSystem::Roots() const {
    return {m_phoneRoot, m_cardRoot, m_phoneReal, m_cardReal};
}

RemovalCheck CAdbFileSystem::CheckRemovable(const QString& path) {
    Lock guard(m_lock);
    // A storage root (or anything above one) is never removed: on a real phone that is the user's
    // whole shared storage. Its names are many, so the words are checked first, then where the
    // phone says they lead.
    Ensure();
    const QString normal = NormalPhonePath(path);
    if (normal.isEmpty()) {
        return RemovalCheck::Unresolved;
    }
    if (IsStorageRootOrAbove(normal, Roots())) {
        LOG_Error("[AdbFileSystem] refusing to remove the storage root %s. %s:%d", qUtf8Printable(path), LOG_HERE);
        return RemovalCheck::StorageRoot;
    }
    if (!IsSafePhonePath(path)) {
        return RemovalCheck::Allowed; // every call refuses it on its own: nothing reaches the phone
    }
    // A plain file cannot hold a storage, and nothing is sent for a missing path; a folder, or a
    // link that may lead to one, is resolved by the phone itself.
    adb::SyncStat stat;
    if (!Stat(normal, stat)) {
        return RemovalCheck::Unresolved;
    }
    if (!stat.Exists() || stat.IsRegular()) {
        return RemovalCheck::Allowed;
    }
    std::string output;
    int status = -1;
    if (!m_link.ShellStatus(adb::ShellCommand({"readlink", "-f", "--", U(normal)}), output, status) || status != 0) {
        LOG_Error("[AdbFileSystem] the phone cannot tell where %s leads (%d): %s. %s:%d", qUtf8Printable(path), status,
                  output.c_str(), LOG_HERE);
        return RemovalCheck::Unresolved;
    }
    // One line, the path's own line breaks aside.
    QString real = QString::fromStdString(output);
    if (real.endsWith(QLatin1String("\r\n"))) {
        real.chop(2);
    } else if (real.endsWith(u'\n')) {
        real.chop(1);
    }
    if (NormalPhonePath(real).isEmpty()) {
        LOG_Error("[AdbFileSystem] the phone cannot tell where %s leads: %s. %s:%d", qUtf8Printable(path),
                  output.c_str(), LOG_HERE);
        return RemovalCheck::Unresolved;
    }
    if (IsStorageRootOrAbove(NormalPhonePath(real), Roots())) {
        LOG_Error("[AdbFileSystem] refusing to remove %s: it leads to the storage root %s. %s:%d", qUtf8Printable(path),
                  qUtf8Printable(real), LOG_HERE);
        return RemovalCheck::StorageRoot;
    }
    return RemovalCheck::Allowed;
}

bool CAdbFileSystem::DeletePath(const QString& path) {
    Lock guard(m_lock);
    if (CheckRemovable(path) != RemovalCheck::Allowed || !IsSafePhonePath(path) || !PathExists(path)) {
        return false;
    }
    // Without a trailing "/", so a link is removed itself rather than what it leads to.
    const QString clean = NormalPhonePath(path);
    return Tool({"rm", "-rf", "--", U(clean)}, CAdbLink::kSlowTimeoutMs) && !PathExists(clean);
}

bool CAdbFileSystem::CreateFolder(const QString& path) {
    Lock guard(m_lock);
    return IsSafePhonePath(path) && Tool({"mkdir", "--", U(path)});
}

bool CAdbFileSystem::ListFolder(const QString& path, const QString& filter) {
    Lock guard(m_lock);
    m_entries.clear();
    if (!IsSafePhonePath(path)) {
        return false;
    }
    adb::SyncStat stat;
    if (!Stat(path + (path.endsWith(u'/') ? "" : "/"), stat) || !stat.IsDirectory()) {
        return false;
    }
    adb::CAdbSyncSession sync;
    std::vector<adb::SyncDirEntry> entries;
    if (!m_link.OpenSync(sync)) {
        return false;
    }
    // The second form carries sizes of 4 GiB and more; the first cuts them to 32 bits.
    const bool v2 = m_link.HasFeature("ls_v2");
    if (const adb::AdbStatus status = v2 ? sync.List2(U(path), entries) : sync.List(U(path), entries); !status) {
        LOG_Error("[AdbFileSystem] listing %s failed: %s. %s:%d", qUtf8Printable(path), status.message.c_str(),
                  LOG_HERE);
        return false;
    }
    sync.Quit();
    const QString suffix = filter.startsWith(QLatin1String("*.")) ? filter.mid(1) : QString();
    for (const adb::SyncDirEntry& e : entries) {
        FsEntry entry;
        entry.m_name = QString::fromStdString(e.name);
        if (entry.m_name == QLatin1String(".") || entry.m_name == QLatin1String("..")) {
            continue;
        }
        entry.m_directory = e.stat.IsDirectory();
        if (!entry.m_directory && !suffix.isEmpty() && !entry.m_name.endsWith(suffix, Qt::CaseInsensitive)) {
            continue;
        }
        entry.m_size = entry.m_directory ? 0 : e.stat.size;
        entry.m_time = ToSystemTime(QDateTime::fromSecsSinceEpoch(e.stat.mtime));
        entry.m_hidden = entry.m_name.startsWith(u'.');
        entry.m_archive = !entry.m_directory;
        m_entries.push_back(entry);
    }
    return true;
}

int CAdbFileSystem::GetEntryCount() {
    Lock guard(m_lock);
    return static_cast<int>(m_entries.size());
}

FsEntry* CAdbFileSystem::GetEntry(int index) {
    Lock guard(m_lock);
    return index >= 0 && index < static_cast<int>(m_entries.size()) ? &m_entries[static_cast<std::size_t>(index)]
                                                                    : nullptr;
}

bool CAdbFileSystem::PathExists(const QString& path) {
    Lock guard(m_lock);
    adb::SyncStat stat;
    return IsSafePhonePath(path) && Stat(path, stat) && stat.Exists();
}

bool CAdbFileSystem::RenamePath(const QString& path, const QString& newName) {
    if (newName.isEmpty() || newName.contains(u'/') || newName == QLatin1String(".") ||
        newName == QLatin1String("..")) {
        return false;
    }
    return MovePath(path, Parent(path) + u'/' + newName);
}

bool CAdbFileSystem::CopyOrMove(const QString& path, const QString& target, bool move) {
    Lock guard(m_lock);
    if ((move && CheckRemovable(path) != RemovalCheck::Allowed) || !IsSafePhonePath(path) || !IsSafePhonePath(target) ||
        target.startsWith(path + u'/') || !PathExists(path) || PathExists(target)) {
        return false;
    }
    // The tools put a source into an existing target folder; the target is checked missing above.
    return move ? Tool({"mv", "--", U(path), U(target)}, CAdbLink::kSlowTimeoutMs)
                : Tool({"cp", "-r", "--", U(path), U(target)}, CAdbLink::kSlowTimeoutMs);
}

bool CAdbFileSystem::CopyPath(const QString& path, const QString& target) {
    return CopyOrMove(path, target, false);
}

bool CAdbFileSystem::MovePath(const QString& path, const QString& target) {
    return CopyOrMove(path, target, true);
}

bool CAdbFileSystem::PutFile(const QString& localPath, const QString& phonePath, TransferProgress progress,
                             void* context) {
    Lock guard(m_lock);
    m_lastTransferError.clear();
    if (!IsSafePhonePath(phonePath) || phonePath.endsWith(u'/')) {
        return false;
    }
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        LOG_Error("[AdbFileSystem] cannot read %s. %s:%d", qUtf8Printable(localPath), LOG_HERE);
        return false;
    }
    const auto total = static_cast<std::uint64_t>(file.size());
    // A hidden name beside the target: replaced into place only when the whole file arrived.
    const QString partial = Parent(phonePath) + QStringLiteral("/.") + phonePath.mid(phonePath.lastIndexOf(u'/') + 1) +
                            QStringLiteral(".vexa-part");
    std::atomic<bool> cancel{false};
    adb::CAdbSyncSession sync;
    if (!m_link.OpenSync(sync, true)) {
        return false;
    }
    const adb::AdbStatus status = sync.Send(
        U(partial), 0644, static_cast<std::uint32_t>(QDateTime::currentSecsSinceEpoch()),
        [&file](char* buffer, std::size_t size) -> long {
            const qint64 n = file.read(buffer, static_cast<qint64>(size));
            return n < 0 ? -1 : static_cast<long>(n);
        },
        total,
        [&](std::uint64_t done, std::uint64_t) {
            if (progress && !progress(total, done, context)) {
                cancel.store(true);
            }
        },
        &cancel);
    sync.Quit();
    if (!status) {
        LOG_Error("[AdbFileSystem] upload of %s failed: %s. %s:%d", qUtf8Printable(phonePath), status.message.c_str(),
                  LOG_HERE);
        m_lastTransferError = QString::fromStdString(status.message);
        if (m_link.Alive()) {
            Tool({"rm", "-f", "--", U(partial)});
        }
        return false;
    }
    if (!Tool({"mv", "-f", "--", U(partial), U(phonePath)})) {
        Tool({"rm", "-f", "--", U(partial)});
        return false;
    }
    return true;
}

bool CAdbFileSystem::UploadFile(const QString& localPath, const QString& phonePath, TransferProgress progress,
                                void* context) {
    return PutFile(localPath, phonePath, std::move(progress), context);
}

QString CAdbFileSystem::LastTransferError() {
    Lock guard(m_lock);
    return m_lastTransferError;
}

bool CAdbFileSystem::TransferFile(const QString& phonePath, const QString& localPath, TransferProgress progress,
                                  void* context) {
    Lock guard(m_lock);
    m_lastTransferError.clear();
    if (!IsSafePhonePath(phonePath)) {
        return false;
    }
    adb::SyncStat stat;
    if (!Stat(phonePath, stat) || !stat.IsRegular()) {
        LOG_Error("[AdbFileSystem] %s is no file on the phone. %s:%d", qUtf8Printable(phonePath), LOG_HERE);
        return false;
    }
    // Written beside the target under a temporary name and renamed over it when complete, so a
    // failed download leaves the old local file as it was.
    CAtomicFile file(localPath);
    if (const IoResult opened = file.Open(); !opened) {
        LOG_Error("[AdbFileSystem] %s. %s:%d", qUtf8Printable(opened.error), LOG_HERE);
        return false;
    }
    const std::uint64_t total = stat.size;
    std::atomic<bool> cancel{false};
    adb::CAdbSyncSession sync;
    if (!m_link.OpenSync(sync, true)) {
        return false;
    }
    const adb::AdbStatus status = sync.Recv(
        U(phonePath),
        [&file](const char* data, std::size_t size) {
            return WriteAll(file.Device(), data, static_cast<qint64>(size)).ok;
        },
        [&](std::uint64_t done, std::uint64_t) {
            if (progress && !progress(total, done, context)) {
                cancel.store(true);
            }
        },
        &cancel, total);
    sync.Quit();
    if (!status) {
        LOG_Error("[AdbFileSystem] download of %s failed: %s. %s:%d", qUtf8Printable(phonePath), status.message.c_str(),
                  LOG_HERE);
        m_lastTransferError = QString::fromStdString(status.message);
        return false;
    }
    if (const IoResult committed = file.Commit(); !committed) {
        LOG_Error("[AdbFileSystem] %s. %s:%d", qUtf8Printable(committed.error), LOG_HERE);
        return false;
    }
    return true;
}

} // namespace vexa::adbphone
