#include "files/FileOps.h"

#include "bridge/api/FileSystem.h"
#include "libs/log/Log.h"
#include "platform/AtomicFile.h"

#include <QFileInfo>

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
};

bool OnTransferProgress(std::uint64_t total, std::uint64_t done, void* context) {
    const auto* p = static_cast<ProgressContext*>(context);
    const int percent = BatchPercent(p->index, p->count, done, total);
    if (percent > *p->last) {
        *p->last = percent;
        if (p->callbacks->percent) {
            p->callbacks->percent(percent);
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
    item.size = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, 0xFFFFFFFFu));
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
        ProgressContext progress{&callbacks, i, count, &last};
        if (!step(i, question, progress)) {
            result.cancelled = true;
            break;
        }
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

} // namespace

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
                         if (!fs.TransferFile(phone, local, OnTransferProgress, &progress)) {
                             return NoteFailedTransfer(callbacks, result, phone, "download");
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
            if (!fs.UploadFile(local.filePath(), phone, OnTransferProgress, &progress)) {
                return NoteFailedTransfer(callbacks, result, local.filePath(), "upload");
            }
            ++result.done;
            result.added.push_back(NewFileItem(phone, static_cast<std::uint64_t>(local.size())));
            return true;
        });
    return result;
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
