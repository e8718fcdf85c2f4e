#include "files/FileOps.h"

#include "bridge/api/FileSystem.h"
#include "libs/log/Log.h"
#include "platform/SizeText.h"
#include "platform/StringTable.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QTemporaryFile>

#include <algorithm>

namespace files {

namespace {

// Keeps the answer given "for all" and reads each answer as one of 2, 6, 7.
class CReplaceQuestion {
public:
    explicit CReplaceQuestion(const BatchCallbacks& callbacks) : m_callbacks(callbacks) {}
    int Ask(const QString& name) {
        if (m_forAll != 0) {
            return m_forAll;
        }
        int answer = m_callbacks.ask ? m_callbacks.ask(name) : kAnswerCancel;
        if (answer > kAnswerForAll) {
            answer %= kAnswerForAll;
            m_forAll = answer;
        }
        return answer == kAnswerYes || answer == kAnswerNo ? answer : kAnswerCancel;
    }

private:
    const BatchCallbacks& m_callbacks;
    int m_forAll = 0;
};

// Progress of one file within the batch, posted only when it rises; false asks the transfer to stop.
struct ProgressContext {
    const BatchCallbacks* callbacks;
    int index;
    int count;
    int* last;
    std::uint64_t total = 0; // the file's size as the transfer announced it
    bool announced = false;
    QElapsedTimer clock;     // since the file began
    qint64 shownAt = -1;     // when its status was last told, ms on clock
    QString name;

    // The file starts: its name is told at once.
    void Begin(const QString& fileName) {
        name = fileName;
        clock.start();
        if (callbacks->status) {
            callbacks->status(TransferState{name, 0, 0, 0});
        }
    }
};

// Posts the batch percent only when it rises.
void RaisePercent(const BatchCallbacks& callbacks, int* last, int percent) {
    if (percent > *last) {
        *last = percent;
        if (callbacks.percent) {
            callbacks.percent(percent);
        }
    }
}

constexpr qint64 kStatusEveryMs = 250;
constexpr qint64 kSpeedAfterMs = 500; // earlier measures swing too much to be worth showing

bool OnTransferProgress(std::uint64_t total, std::uint64_t done, void* context) {
    auto* p = static_cast<ProgressContext*>(context);
    p->total = total;
    p->announced = true;
    // The bar stays short of this file's end until its transfer has returned: the far side may
    // still be writing the last bytes, and a full bar would claim it had finished.
    const int ceiling = std::max(BatchPercent(p->index + 1, p->count, 0, 1) - 1, *p->last);
    RaisePercent(*p->callbacks, p->last, std::min(BatchPercent(p->index, p->count, done, total), ceiling));
    if (p->callbacks->status) {
        const qint64 now = p->clock.isValid() ? p->clock.elapsed() : 0;
        if (p->shownAt < 0 || now - p->shownAt >= kStatusEveryMs || done >= total) {
            p->shownAt = now;
            const double speed = now >= kSpeedAfterMs ? static_cast<double>(done) * 1000.0 / static_cast<double>(now) : 0;
            p->callbacks->status(TransferState{p->name, done, total, speed});
        }
    }
    return !(p->callbacks->cancelled && p->callbacks->cancelled());
}

bool Cancelled(const BatchCallbacks& callbacks) {
    return callbacks.cancelled && callbacks.cancelled();
}

FsItem ItemOf(const vexa::FsEntry& entry, const QString& path) {
    FsItem item;
    item.attributes = (entry.IsHidden() ? ATTR_HIDDEN : 0) | (entry.IsSystem() ? ATTR_SYSTEM : 0) |
                      (entry.IsVolume() ? ATTR_VOLUME : 0) | (entry.IsDirectory() ? ATTR_DIRECTORY : 0) |
                      (entry.IsArchive() ? ATTR_ARCHIVE : 0);
    item.size = entry.GetSize();
    SYSTEMTIME time{};
    entry.GetTime(&time);
    item.time = vexa::FromSystemTime(time);
    item.timeText = QString::asprintf("%04d-%02d-%02d %02d:%02d", time.wYear, time.wMonth, time.wDay, time.wHour,
                                      time.wMinute);
    item.path = path;
    return item;
}

FsItem NewFileItem(const QString& path, std::uint64_t size) {
    FsItem item;
    item.attributes = ATTR_ARCHIVE;
    item.size = size;
    item.time = QDateTime::currentDateTime();
    item.time.setTime(QTime(item.time.time().hour(), item.time.time().minute(), item.time.time().second()));
    item.timeText = item.time.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    item.path = path;
    return item;
}

// Free space of the storage that holds folder, compared with what is to be written.
bool FitsIn(vexa::FileSystem& fs, const QString& folder, std::uint64_t bytes) {
    const int storage = StorageOf(folder, fs.GetPhoneStorageRoot(), fs.GetSdCardRoot());
    if (storage == 0) {
        return true; // outside both storages the phone decides
    }
    return bytes <= (storage == 2 ? fs.GetSdCardFreeSpace() : fs.GetPhoneFreeSpace());
}

} // namespace

std::optional<std::vector<FsItem>> ReadFolder(vexa::FileSystem& fs, const QString& path, bool skipCardFolder) {
    if (!fs.ListFolder(path, QString())) {
        return std::nullopt;
    }
    std::vector<FsItem> items;
    const int count = fs.GetEntryCount();
    items.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        const vexa::FsEntry* entry = fs.GetEntry(i);
        if (entry == nullptr) {
            continue;
        }
        const QString name = entry->GetName();
        if (name.isEmpty() || name.contains(u'/') || path.size() + 1 + name.size() >= kMaxPath || entry->IsHidden() ||
            (skipCardFolder && name == QLatin1String("external_sd"))) {
            continue;
        }
        items.push_back(ItemOf(*entry, JoinPath(path, name)));
    }
    return items;
}

namespace {

// The loop both directions share: cancel between files, the reminder, one replace question for
// the whole batch, and 100 % at the end. step transfers file i and answers false to stop the batch.
template <class Step>
void RunTransferBatch(int count, const BatchCallbacks& callbacks, BatchResult& result, const Step& step) {
    CReplaceQuestion question(callbacks);
    int last = 0;
    for (int i = 0; i < count; ++i) {
        if (Cancelled(callbacks)) {
            result.cancelled = true;
            break;
        }
        if (callbacks.remind) {
            callbacks.remind(i, count);
        }
        ProgressContext progress{&callbacks, i, count, &last, 0, false, QElapsedTimer(), -1, QString()};
        if (!step(i, question, progress)) {
            result.cancelled = true;
            break;
        }
        RaisePercent(callbacks, &last, BatchPercent(i + 1, count, 0, 1));
    }
    if (!result.cancelled && callbacks.percent && last < 100 && count > 0) {
        callbacks.percent(100);
    }
}

// A transfer that failed: a cancel stops the batch (false); anything else is noted and the batch
// goes on with the next file.
bool NoteFailedTransfer(const BatchCallbacks& callbacks, BatchResult& result, const QString& name, const char* what) {
    if (Cancelled(callbacks)) {
        return false;
    }
    LOG_Error("[CFileWnd] %s of %s failed. %s:%d", what, qUtf8Printable(name), LOG_HERE);
    result.failedName = result.failed ? result.failedName : name;
    result.failed = true;
    return true;
}

DownloadFacts DownloadFactsAfterFailure(vexa::FileSystem& fs, const BatchCallbacks& callbacks, const QString& phone,
                                        const QString& local, qint64 size) {
    DownloadFacts facts;
    // A session may not have noticed yet that its link was cut: a phone that answers neither for
    // the file nor for its storage is taken as gone.
    facts.phoneConnected = !callbacks.connected || callbacks.connected();
    facts.phoneFileExists = facts.phoneConnected && fs.PathExists(phone);
    facts.phoneConnected = facts.phoneConnected && (facts.phoneFileExists || fs.RefreshStorageInfo());
    facts.localWritable = LocalTargetWritable(local);
    const QStorageInfo storage(QFileInfo(local).absolutePath());
    facts.localFree = storage.isValid() ? storage.bytesAvailable() : -1;
    facts.bytesNeeded = size;
    return facts;
}

} // namespace

TransferFailure DiagnoseDownload(const DownloadFacts& facts) {
    if (!facts.phoneConnected) {
        return FailurePhoneLost;
    }
    if (!facts.localWritable) {
        return FailureLocalUnwritable;
    }
    if (facts.bytesNeeded >= 0 && facts.localFree >= 0 && facts.localFree < facts.bytesNeeded) {
        return FailureNoLocalSpace;
    }
    return facts.phoneFileExists ? FailurePhoneUnreadable : FailurePhoneFileGone;
}

TransferFailure DiagnoseUpload(bool phoneConnected, bool localReadable, const QString& phoneWords) {
    if (!phoneConnected) {
        return FailurePhoneLost;
    }
    if (!localReadable) {
        return FailureLocalUnreadable;
    }
    if (phoneWords.contains(QLatin1String("too large"), Qt::CaseInsensitive) ||
        phoneWords.contains(QLatin1String("too big"), Qt::CaseInsensitive)) {
        return FailureTooLargeForPhone;
    }
    return phoneWords.isEmpty() ? FailureNone : FailurePhoneRefused;
}

QString TransferFailureText(int failure, const QString& phonePath, const QString& localPath, const QString& detail,
                            qint64 bytes) {
    const QByteArray phone = QDir::toNativeSeparators(phonePath).toUtf8();
    const QByteArray local = QDir::toNativeSeparators(localPath).toUtf8();
    switch (failure) {
    case FailureLocalUnreadable:
        return FormatText(Str(3471), local.constData());
    case FailureTooLargeForPhone:
        return FormatText(Str(3472), local.constData(), qUtf8Printable(FormatSizeText(std::max<qint64>(bytes, 0))));
    case FailurePhoneRefused:
        return FormatText(Str(3473), phone.constData(), qUtf8Printable(detail));
    case FailurePhoneLost:
        return Str(3466);
    case FailureNoLocalSpace:
        return FormatText(Str(3467), local.constData());
    case FailureLocalUnwritable:
        return FormatText(Str(3468), local.constData());
    case FailurePhoneFileGone:
        return FormatText(Str(3469), phone.constData());
    case FailurePhoneUnreadable:
        return FormatText(Str(3470), phone.constData());
    default:
        return QString();
    }
}

bool LocalTargetWritable(const QString& localPath) {
    const QFileInfo target(localPath);
    if (target.isDir()) {
        return false;
    }
    const QFileInfo folder(target.absolutePath());
    if (!folder.isDir()) {
        return false;
    }
    QTemporaryFile probe(folder.absoluteFilePath() + QStringLiteral("/.vexa-probe-XXXXXX"));
    return probe.open(); // removed with the object
}

BatchResult RunDownloads(vexa::FileSystem& fs, const std::vector<std::pair<QString, QString>>& phoneToLocal,
                         const BatchCallbacks& callbacks) {
    BatchResult result;
    RunTransferBatch(static_cast<int>(phoneToLocal.size()), callbacks, result,
                     [&](int i, CReplaceQuestion& question, ProgressContext& progress) {
                         const QString& phone = phoneToLocal[static_cast<std::size_t>(i)].first;
                         QString local = phoneToLocal[static_cast<std::size_t>(i)].second;
                         if (QFileInfo(local).isSymLink()) {
                             // A link leads out of the chosen folder (or nowhere): the file goes beside it.
                             local = KeepBothLocalPath(local, NameTaken);
                         } else if (NameTaken(local)) {
                             const int answer = question.Ask(QFileInfo(local).fileName());
                             if (answer == kAnswerCancel) {
                                 return false;
                             }
                             if (answer == kAnswerNo) {
                                 local = KeepBothLocalPath(local, NameTaken);
                             }
                         }
                         progress.Begin(phone.mid(phone.lastIndexOf(u'/') + 1));
                         if (!fs.TransferFile(phone, local, OnTransferProgress, &progress)) {
                             const bool first = !result.failed;
                             const bool goOn = NoteFailedTransfer(callbacks, result, phone, "download");
                             if (first && result.failed) {
                                 result.failedTarget = local;
                                 result.failure = DiagnoseDownload(DownloadFactsAfterFailure(
                                     fs, callbacks, phone, local, progress.announced ? qint64(progress.total) : -1));
                                 LOG_Error("[CFileWnd] download of %s to %s: %s. %s:%d", qUtf8Printable(phone),
                                           qUtf8Printable(local),
                                           qUtf8Printable(TransferFailureText(result.failure, phone, local)), LOG_HERE);
                             }
                             return goOn;
                         }
                         ++result.done;
                         result.written << local;
                         return true;
                     });
    return result;
}

BatchResult RunUploads(vexa::FileSystem& fs, const std::vector<std::pair<QString, QString>>& localToPhone,
                       const BatchCallbacks& callbacks) {
    BatchResult result;
    std::uint64_t bytes = 0;
    for (const auto& [local, phone] : localToPhone) {
        bytes += static_cast<std::uint64_t>(QFileInfo(local).size());
    }
    if (!localToPhone.empty() && !FitsIn(fs, ParentOf(localToPhone.front().second), bytes)) {
        result.noSpace = true;
        return result;
    }
    RunTransferBatch(
        static_cast<int>(localToPhone.size()), callbacks, result,
        [&](int i, CReplaceQuestion& question, ProgressContext& progress) {
            const QFileInfo local(localToPhone[static_cast<std::size_t>(i)].first);
            QString phone = localToPhone[static_cast<std::size_t>(i)].second;
            if (fs.PathExists(phone)) {
                const QString name = phone.mid(phone.lastIndexOf(u'/') + 1);
                const int answer = question.Ask(name);
                if (answer == kAnswerCancel) {
                    return false;
                }
                if (answer == kAnswerNo) {
                    phone = CopyPathInFolder(ParentOf(phone), name, [&fs](const QString& p) { return fs.PathExists(p); });
                }
            }
            // The file system swaps the new file in only once it is complete, so replacing never
            // loses the old file to a failed or cancelled upload.
            progress.Begin(local.fileName());
            if (!fs.UploadFile(local.filePath(), phone, OnTransferProgress, &progress)) {
                const bool first = !result.failed;
                const bool goOn = NoteFailedTransfer(callbacks, result, local.filePath(), "upload");
                if (first && result.failed) {
                    // The phone's words come last in what the link reports ("push PATH: file too large").
                    const QString words = fs.LastTransferError().section(QStringLiteral(": "), -1).trimmed();
                    QFile readable(local.filePath());
                    result.failedTarget = phone;
                    result.failedDetail = words;
                    result.failedBytes = local.size();
                    result.failure = DiagnoseUpload((!callbacks.connected || callbacks.connected()) && fs.RefreshStorageInfo(),
                                                    readable.open(QIODevice::ReadOnly), words);
                    LOG_Error("[CFileWnd] upload of %s to %s: %s. %s:%d", qUtf8Printable(local.filePath()),
                              qUtf8Printable(phone),
                              qUtf8Printable(TransferFailureText(result.failure, phone, local.filePath(), words,
                                                                 result.failedBytes)),
                              LOG_HERE);
                }
                return goOn;
            }
            ++result.done;
            result.added.push_back(NewFileItem(phone, static_cast<std::uint64_t>(local.size())));
            return true;
        });
    return result;
}

int CheckRemoval(vexa::FileSystem& fs, const QString& path) {
    switch (fs.CheckRemovable(path)) {
    case vexa::RemovalCheck::StorageRoot:
        return kTextStorageRoot;
    case vexa::RemovalCheck::Unresolved:
        return kTextUnresolved;
    case vexa::RemovalCheck::Allowed:
        break;
    }
    return 0;
}

int CheckCopyOrMove(vexa::FileSystem& fs, const std::vector<FsItem>& entries, const QString& folder, bool move) {
    const QString phoneRoot = fs.GetPhoneStorageRoot();
    const QString cardRoot = fs.GetSdCardRoot();
    for (const FsItem& entry : entries) {
        if (entry.IsDirectory()) {
            return 876;
        }
        if (move && StorageOf(entry.path, phoneRoot, cardRoot) != StorageOf(folder, phoneRoot, cardRoot)) {
            return 877;
        }
    }
    return 0;
}

BatchResult RunPhoneCopies(vexa::FileSystem& fs, const std::vector<FsItem>& entries, const QString& folder,
                           bool move, const BatchCallbacks& callbacks) {
    BatchResult result;
    if (!move) {
        std::uint64_t bytes = 0;
        for (const FsItem& entry : entries) {
            bytes += entry.size;
        }
        if (!FitsIn(fs, folder, bytes)) {
            result.noSpace = true;
            return result;
        }
    }
    CReplaceQuestion question(callbacks);
    const int count = static_cast<int>(entries.size());
    int last = 0;
    auto exists = [&fs](const QString& p) { return fs.PathExists(p); };
    for (int i = 0; i < count; ++i) {
        if (Cancelled(callbacks)) {
            result.cancelled = true;
            break;
        }
        if (callbacks.remind) {
            callbacks.remind(i, count);
        }
        const FsItem& entry = entries[static_cast<std::size_t>(i)];
        if (callbacks.status) {
            callbacks.status(TransferState{entry.Name(), 0, 0, 0});
        }
        QString target = JoinPath(folder, entry.Name());
        bool replace = false;
        if (ParentOf(entry.path) == folder) {
            if (move) {
                result.cancelled = true;
                result.failedName = entry.path;
                break;
            }
            target = CopyPathInFolder(folder, entry.Name(), exists);
        } else if (fs.PathExists(target)) {
            const int answer = question.Ask(entry.Name());
            if (answer == kAnswerCancel) {
                result.cancelled = true;
                break;
            }
            replace = answer == kAnswerYes;
            if (!replace) {
                target = CopyPathInFolder(folder, entry.Name(), exists);
            }
        }
        bool ok = false;
        if (replace) {
            // The new file is complete beside the old one before the old one goes.
            const QString staged = JoinPath(folder, QStringLiteral(".") + entry.Name() + QStringLiteral(".vexa-copy"));
            ok = (move ? fs.MovePath(entry.path, staged) : fs.CopyPath(entry.path, staged)) && fs.DeletePath(target) &&
                 fs.MovePath(staged, target);
        } else {
            ok = move ? fs.MovePath(entry.path, target) : fs.CopyPath(entry.path, target);
        }
        if (ok) {
            ++result.done;
            FsItem added = entry;
            added.path = target;
            result.added.push_back(added);
        } else {
            LOG_Error("[CFileWnd] %s of %s failed. %s:%d", move ? "move" : "copy", qUtf8Printable(entry.path),
                      LOG_HERE);
            result.failedName = result.failed ? result.failedName : entry.path;
            result.failed = true;
        }
        last = BatchPercent(i + 1, count, 0, 1);
        if (callbacks.percent) {
            callbacks.percent(last);
        }
    }
    return result;
}

} // namespace files
