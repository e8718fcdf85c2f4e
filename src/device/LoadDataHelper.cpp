#include "device/LoadDataHelper.h"

#include "bridge/api/AppManager.h"
#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "bridge/api/PictureStore.h"
#include "device/SessionGate.h"
#include "libs/log/Log.h"

#include <array>
#include <atomic>

namespace {

std::array<std::mutex, LoaderLockCount> g_locks;
std::array<std::atomic<bool>, LoaderLockCount> g_loadedOnce{};

// Loads one store when it is not loaded yet or a reload is forced: 0 failed, 1 loaded, 2 aborted.
template <class Store>
int LoadStore(LoaderLockId id, Store* store, bool force, bool (Store::*isLoaded)(), int (Store::*load)(),
              void (Store::*reset)() = nullptr) {
    if (store == nullptr) {
        return 0;
    }
    std::lock_guard guard(g_locks[id]);
    if (force && reset != nullptr) {
        (store->*reset)();
    }
    if (!force && (store->*isLoaded)()) {
        return 1;
    }
    const int result = (store->*load)();
    g_loadedOnce[id] = true;
    return result;
}

int LoadContactsAndLog(vexa::DeviceSession* session, bool force) {
    const int result = LoadStore(LockContacts, session->GetContactBook(), force, &vexa::ContactBook::IsContactsLoaded,
                                 &vexa::ContactBook::LoadContacts, &vexa::ContactBook::ResetContacts);
    if (result == 0) {
        LOG_Error("[CLoadDataHelper]Load Contact Failed , Can not show name in message %s:%d", LOG_HERE);
    }
    return result;
}

} // namespace

std::mutex& LoaderLock(LoaderLockId id) {
    return g_locks[id];
}

bool WasLoadedOnce(LoaderLockId id) {
    return g_loadedOnce[id].load();
}

void ResetLoadedOnce() {
    for (auto& flag : g_loadedOnce) {
        flag = false;
    }
}

void CLoadDataHelper::Load(vexa::DeviceBridge* bridge, CSessionGate& gate, int kind, bool force, const Post& post,
                           const std::function<void()>& waitForAppWorker) {
    CSessionUse use(gate, VEXA_HERE);
    if (!use.Usable() || bridge == nullptr) {
        return;
    }
    vexa::DeviceSession* session = bridge->GetSession();
    if (session == nullptr) {
        return;
    }
    switch (kind) {
    case LoadKindContacts: {
        // Phones of the first platform generation keep no call log the program can read.
        int first = 0;
        int second = 0;
        if (vexa::DeviceInfo* info = session->GetDeviceInfo()) {
            info->GetVersionPair(&first, &second);
        }
        if (first > 1 &&
            LoadStore(LockCallRecords, session->GetCallRecords(), force, &vexa::CallRecordList::IsCallRecordsLoaded,
                      &vexa::CallRecordList::LoadCallRecords, &vexa::CallRecordList::ResetCallRecords) == 0) {
            LOG_Error("[CLoadDataHelper]Load Call Record Failed.%s : %d", LOG_HERE);
        }
        LoadContactsAndLog(session, force);
        post(LoadKindContacts, 1);
        break;
    }
    case LoadKindMessages:
        // Names for numbers come from the contacts; without them the messages still load.
        if (LoadContactsAndLog(session, force) == 0) {
            post(LoadKindMessages, 2);
        }
        LoadStore(LockSms, session->GetSmsStore(), force, &vexa::SmsStore::IsSmsLoaded, &vexa::SmsStore::LoadSms);
        LoadStore(LockMms, session->GetMmsStore(), force, &vexa::MmsStore::IsMmsLoaded, &vexa::MmsStore::LoadMms);
        post(LoadKindMessages, 1);
        break;
    case LoadKindApps:
        if (waitForAppWorker) {
            waitForAppWorker();
        }
        post(LoadKindApps, LoadStore(LockApps, session->GetAppManager(), force, &vexa::AppManager::IsAppsLoaded,
                                     &vexa::AppManager::LoadApps));
        break;
    case LoadKindPictures:
        post(LoadKindPictures, LoadStore(LockPictures, session->GetPictureStore(), force,
                                         &vexa::PictureStore::IsPicturesLoaded, &vexa::PictureStore::LoadPictures));
        break;
    default:
        break;
    }
}
