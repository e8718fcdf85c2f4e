// vexa-cli calls: the phone's call log to a CSV file, in the format the backup keeps it in; its
// count; deleting every record of a number as the call record view does.
#include "CliCommands.h"

#include "bridge/api/CallRecords.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "callrecords/CallRecordBook.h"
#include "device/LoadDataHelper.h"
#include "device/SessionGate.h"
#include "platform/StringTable.h"

namespace {

constexpr const char* kUsage = "calls export FILE\n"
                               "calls delete --number NUMBER\n"
                               "calls count";

int Usage(CliContext& ctx) {
    return CliUsage(ctx, kUsage);
}

int RunCalls(CliContext& ctx, const QStringList& args) {
    const QString command = args.value(0);
    const bool known = (command == QLatin1String("export") && args.size() == 2) ||
                       (command == QLatin1String("count") && args.size() == 1) ||
                       (command == QLatin1String("delete") && args.size() == 3 && args[1] == QLatin1String("--number"));
    if (!known) {
        return Usage(ctx);
    }
    vexa::DeviceSession* session = ctx.Session();
    if (session == nullptr) {
        return kCliFailed;
    }
    CSessionGate gate;
    gate.SetUsable(true);
    CLoadDataHelper::Load(ppGetBridge(), gate, LoadKindContacts, false, [](int, int) {});
    const CSessionUse use(gate, VEXA_HERE);
    vexa::CallRecordList* list = session->GetCallRecords();
    if (list == nullptr || !list->IsCallRecordsLoaded()) {
        ctx.err << Str(command == QLatin1String("delete") ? 856 : 2301) << '\n';
        return kCliFailed;
    }
    if (command == QLatin1String("count")) {
        ctx.out << list->GetCallRecordCount() << '\n';
        return kCliOk;
    }
    if (command == QLatin1String("delete")) {
        const std::vector<std::int64_t> ids = callrecords::RecordIdsOfNumber(*list, args[2]);
        if (ids.empty()) {
            ctx.err << Str(855) << '\n';
            return kCliFailed;
        }
        const callrecords::DeleteOutcome outcome = callrecords::DeleteCallRecordsById(*list, ids, nullptr, {});
        if (outcome.failed) {
            ctx.err << Str(856) << '\n';
            return kCliFailed;
        }
        ctx.out << FormatText(Str(3156), outcome.deleted) << '\n';
        return kCliOk;
    }
    int count = 0;
    if (!callrecords::ExportCallRecordsCsv(*list, args[1], &count)) {
        ctx.err << Str(2301) << '\n';
        return kCliFailed;
    }
    ctx.out << FormatText(Str(2300), count) << '\n';
    return kCliOk;
}

const CliRegistration kRegistration({"calls", kUsage, &RunCalls});

} // namespace
