#include "backup/TextModules.h"

#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "callrecords/CallRecordBook.h"
#include "contacts/CExportContactHelper.h"
#include "contacts/CImportContactHelper.h"
#include "libs/log/Log.h"
#include "messages/SmsCsvTransfer.h"

#include <QDir>

namespace backup {
namespace {

vexa::ContactBook* LoadedBook(vexa::DeviceSession* session) {
    vexa::ContactBook* book = session != nullptr ? session->GetContactBook() : nullptr;
    if (book == nullptr || (!book->IsContactsLoaded() && book->LoadContacts() != 1)) {
        return nullptr;
    }
    return book;
}

vexa::CallRecordList* LoadedCalls(vexa::DeviceSession* session) {
    vexa::CallRecordList* calls = session != nullptr ? session->GetCallRecords() : nullptr;
    if (calls == nullptr || (!calls->IsCallRecordsLoaded() && calls->LoadCallRecords() != 1)) {
        return nullptr;
    }
    return calls;
}

// The helpers report (total, done) and ask separately whether to stop; the runner's context
// answers both in one call.
struct StopFlag {
    const ItemContext& ctx;
    bool stopped = false;
    int total = 0;
    void Progress(int all, int done) {
        total = all;
        stopped = stopped || !ctx.progress(done, all);
    }
};

} // namespace

ModuleIo ContactsIo() {
    ModuleIo io;
    io.count = [](vexa::DeviceSession* session) {
        vexa::ContactBook* book = LoadedBook(session);
        if (book == nullptr) {
            LOG_Error("Load Contact Failed %d:%s", __LINE__, __FILE__);
            return -1;
        }
        return book->GetContactCount(3);
    };
    io.exportItems = [](const ItemContext& ctx, const QString& folder, QStringList& files) {
        vexa::ContactBook* book = LoadedBook(ctx.session);
        if (book == nullptr) {
            return -1;
        }
        std::vector<vexa::Contact*> all;
        for (int i = 0; i < book->GetContactCount(3); ++i) {
            all.push_back(book->GetContactAt(3, i));
        }
        const QString name = ModuleItemFile(Contacts);
        StopFlag stop{ctx};
        CExportContactHelper helper;
        const auto result = helper.Export(
            book, all, CExportContactHelper::FormatVcf, QDir(folder).filePath(name), [&stop] { return stop.stopped; },
            [&stop](int total, int done) { stop.Progress(total, done); });
        if (result == CExportContactHelper::Export_Cancelled || stop.stopped) {
            return -2;
        }
        if (result != CExportContactHelper::Export_Succeeded && !all.empty()) {
            return -1;
        }
        files << name;
        return static_cast<int>(all.size());
    };
    io.importItems = [](const ItemContext& ctx, const QString& folder) {
        vexa::ContactBook* book = LoadedBook(ctx.session);
        CImportContactHelper helper;
        if (book == nullptr || helper.ParseVcfFiles({QDir(folder).filePath(ModuleItemFile(Contacts))}) != 0 ||
            !book->PrepareRestore()) {
            return int(StepFailed);
        }
        StopFlag stop{ctx};
        const auto result =
            helper.Import(book, [&stop] { return stop.stopped; }, [&stop](int total, int done) { stop.Progress(total, done); });
        if (result == CImportContactHelper::Import_Succeeded) {
            return int(StepDone);
        }
        return stop.stopped ? int(StepCancelled) : int(StepFailed);
    };
    return io;
}

ModuleIo MessagesIo() {
    ModuleIo io;
    io.count = [](vexa::DeviceSession* session) {
        vexa::SmsStore* store = session != nullptr ? session->GetSmsStore() : nullptr;
        std::vector<vexa::Sms> all;
        if (store == nullptr || (!store->IsSmsLoaded() && store->LoadSms() != 1) || !store->ListAllSms(&all)) {
            LOG_Error("Load Message Failed %d:%s", __LINE__, __FILE__);
            return -1;
        }
        return static_cast<int>(all.size());
    };
    io.exportItems = [](const ItemContext& ctx, const QString& folder, QStringList& files) {
        StopFlag stop{ctx};
        messages::BatchHooks hooks;
        hooks.cancelled = [&stop] { return stop.stopped; };
        hooks.progress = [&stop](int total, int done) { stop.Progress(total, done); };
        const QString name = ModuleItemFile(Messages);
        const bool ok = messages::ExportMsgCsv(ctx.session, QDir(folder).filePath(name), hooks);
        if (stop.stopped) {
            return -2;
        }
        if (!ok) {
            return -1;
        }
        files << name;
        return stop.total;
    };
    io.importItems = [](const ItemContext& ctx, const QString& folder) {
        vexa::SmsStore* store = ctx.session->GetSmsStore();
        if (store == nullptr || !store->PrepareRestore()) {
            return int(StepFailed);
        }
        StopFlag stop{ctx};
        messages::BatchHooks hooks;
        hooks.cancelled = [&stop] { return stop.stopped; };
        hooks.connected = [&ctx] { return ctx.session->IsConnected(); };
        hooks.progress = [&stop](int total, int done) { stop.Progress(total, done); };
        if (messages::ImportMsgCsv(ctx.session, QDir(folder).filePath(ModuleItemFile(Messages)), hooks)) {
            return int(StepDone);
        }
        return stop.stopped ? int(StepCancelled) : int(StepFailed);
    };
    return io;
}

ModuleIo CallRecordsIo() {
    ModuleIo io;
    io.count = [](vexa::DeviceSession* session) {
        vexa::CallRecordList* calls = LoadedCalls(session);
        if (calls == nullptr) {
            LOG_Error("Load Call Record Failed %d:%s", __LINE__, __FILE__);
            return -1;
        }
        return calls->GetCallRecordCount();
    };
    io.exportItems = [](const ItemContext& ctx, const QString& folder, QStringList& files) {
        vexa::CallRecordList* calls = LoadedCalls(ctx.session);
        const QString name = ModuleItemFile(CallRecords);
        int count = 0;
        if (calls == nullptr || !callrecords::ExportCallRecordsCsv(*calls, QDir(folder).filePath(name), &count)) {
            return -1;
        }
        // The export is one quick pass; the step's cancel and connection checks come after it.
        if (!ctx.progress(count, count)) {
            return -2;
        }
        files << name;
        return count;
    };
    io.importItems = [](const ItemContext& ctx, const QString& folder) {
        vexa::CallRecordList* calls = ctx.session->GetCallRecords();
        if (calls == nullptr) {
            return int(StepFailed);
        }
        bool stopped = false;
        const bool ok = callrecords::ImportCallRecordsCsv(
            *calls, QDir(folder).filePath(ModuleItemFile(CallRecords)),
            [&](int total, int done) {
                stopped = !ctx.progress(done, total);
                return !stopped;
            },
            nullptr);
        return ok ? int(StepDone) : stopped ? int(StepCancelled) : int(StepFailed);
    };
    return io;
}

} // namespace backup
