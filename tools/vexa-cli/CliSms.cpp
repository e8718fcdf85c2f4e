// vexa-cli sms: the message page's CSV export and import, its search, and the message counts.
#include "CliCommands.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "device/LoadDataHelper.h"
#include "device/SessionGate.h"
#include "messages/MessageData.h"
#include "messages/SmsCsvTransfer.h"
#include "platform/ListField.h"
#include "platform/StringTable.h"

namespace {

constexpr const char* kUsage =
    "usage: vexa-cli [--phone SERIAL] sms export FILE | sms import FILE | sms count | sms search KEYWORD\n";

int Export(CliContext& ctx, vexa::DeviceSession* session, const QString& path) {
    const messages::SmsCsvExportResult result = messages::ExportAllSmsCsv(session, path);
    if (result.phoneError) {
        ctx.err << Str(2702) << '\n';
        return kCliFailed;
    }
    if (result.fileError) {
        ctx.err << FormatText(Str(2703), qUtf8Printable(path), qUtf8Printable(result.error)) << '\n';
        return kCliFailed;
    }
    if (result.NothingExported()) {
        ctx.out << Str(2442) << '\n';
        return kCliOk;
    }
    ctx.out << FormatText(Str(2443), result.written) << '\n';
    return kCliOk;
}

int Import(CliContext& ctx, vexa::DeviceSession* session, const QString& path) {
    const messages::SmsCsvImportResult result = messages::ImportSmsCsv(session, path);
    if (result.check.status != messages::SmsCsvCheck::Ok) {
        const int id = messages::SmsCsvCheckMessageId(result.check.status);
        ctx.err << (id == 2466 ? FormatText(Str(id), static_cast<int>(messages::kMaxSmsCsvBytes >> 20)) : Str(id))
                << '\n';
        return kCliFailed;
    }
    const bool complete = result.Complete() && !result.aborted;
    (complete ? ctx.out : ctx.err) << messages::SmsImportResultText(result) << '\n';
    return complete ? kCliOk : kCliFailed;
}

int Count(CliContext& ctx, vexa::DeviceSession* session) {
    messages::MessageData data;
    if (data.ObtainStores(session) != messages::MessageData::StoreState::Ready || !data.Rebuild(session)) {
        ctx.err << Str(2473) << '\n';
        return kCliFailed;
    }
    int sms = 0;
    for (const MSGINFO& m : data.Messages()) {
        sms += m.type == 0 ? 1 : 0;
    }
    ctx.out << "messages: " << data.Messages().size() << '\n'
            << "sms: " << sms << '\n'
            << "mms: " << data.Messages().size() - static_cast<std::size_t>(sms) << '\n'
            << "drafts: " << data.Drafts().size() << '\n'
            << "conversations: " << data.Conversations().size() << '\n'
            << "unread: " << data.UnreadCount() << '\n';
    return kCliOk;
}

// The conversations the message page lists for the keyword: number, contact name (empty when
// none), matching messages; the contacts are loaded first, as the page has them, so names and
// their pinyin are found.
int Search(CliContext& ctx, vexa::DeviceSession* session, const QString& keyword) {
    CSessionGate gate;
    gate.SetUsable(true);
    CLoadDataHelper::Load(ppGetBridge(), gate, LoadKindContacts, false, [](int, int) {});
    messages::MessageData data;
    if (data.ObtainStores(session) != messages::MessageData::StoreState::Ready ||
        !data.Rebuild(session, keyword.trimmed())) {
        ctx.err << Str(2473) << '\n';
        return kCliFailed;
    }
    for (const messages::typCONFERINFO& c : data.Conversations()) {
        ctx.out << ListField(c.number) << '\t' << ListField(data.Names().ContactName(c.number)) << '\t' << c.count
                << '\n';
    }
    return kCliOk;
}

int RunSms(CliContext& ctx, const QStringList& args) {
    const QString command = args.value(0);
    const bool withArgument =
        command == QLatin1String("export") || command == QLatin1String("import") || command == QLatin1String("search");
    if ((withArgument && args.size() != 2) || (command == QLatin1String("count") && args.size() != 1) ||
        (!withArgument && command != QLatin1String("count"))) {
        ctx.err << kUsage;
        return kCliUsage;
    }
    vexa::DeviceSession* session = ctx.Session();
    if (session == nullptr) {
        return kCliFailed;
    }
    if (command == QLatin1String("export")) {
        return Export(ctx, session, args[1]);
    }
    if (command == QLatin1String("import")) {
        return Import(ctx, session, args[1]);
    }
    if (command == QLatin1String("search")) {
        return Search(ctx, session, args[1]);
    }
    return Count(ctx, session);
}

const CliRegistration kRegistration({"sms", "sms export FILE\nsms import FILE\nsms count\nsms search KEYWORD",
                                     &RunSms});

} // namespace
