// vexa-cli calls: the phone's call log to a CSV file, in the format the backup keeps it in.
#include "CliCommands.h"

#include "bridge/api/CallRecords.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "callrecords/CallRecordBook.h"
#include "device/LoadDataHelper.h"
#include "device/SessionGate.h"
#include "platform/StringTable.h"

namespace {

int RunCalls(CliContext& ctx, const QStringList& args) {
    if (args.size() != 2 || args[0] != QLatin1String("export")) {
        ctx.err << "usage: vexa-cli [--phone SERIAL] calls export FILE\n";
        return kCliUsage;
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
        ctx.err << Str(2301) << '\n';
        return kCliFailed;
    }
    int count = 0;
    if (!callrecords::ExportCallRecordsCsv(*list, args[1], &count)) {
        ctx.err << Str(2301) << '\n';
        return kCliFailed;
    }
    ctx.out << FormatText(Str(2300), count) << '\n';
    return kCliOk;
}

const CliRegistration kRegistration({"calls", "calls export FILE", &RunCalls});

} // namespace
