#pragma once
// The frame's data loader: loads one kind of phone data (1 contacts with call records, 2 messages,
// 3 applications, 4 pictures) inside the session gate, each store under its own loader lock so two
// workers never load the same store at once, and reports (kind, result) for WM_USER+1001.
// Runs on the loader thread; the frame starts one at a time.

#include <functional>
#include <mutex>

class CSessionGate;

namespace vexa {
class DeviceBridge;
}

enum LoadKind { LoadKindContacts = 1, LoadKindMessages = 2, LoadKindApps = 3, LoadKindPictures = 4 };

// The six loader locks, one per store.
enum LoaderLockId { LockContacts, LockCallRecords, LockSms, LockMms, LockApps, LockPictures, LoaderLockCount };
std::mutex& LoaderLock(LoaderLockId id);
// Whether a store was loaded at least once since the program started (cleared by ResetLoadedOnce).
bool WasLoadedOnce(LoaderLockId id);
void ResetLoadedOnce();

class CLoadDataHelper {
public:
    // post(kind, mode) is WM_USER+1001; waitForAppWorker lets the application page's own worker
    // finish before its store is read.
    using Post = std::function<void(int kind, int mode)>;

    static void Load(vexa::DeviceBridge* bridge, CSessionGate& gate, int kind, bool force, const Post& post,
                     const std::function<void()>& waitForAppWorker = {});
};
