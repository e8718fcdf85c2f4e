// vexa-cli contacts: export, import and count the address book, on the helpers the contact page
// runs behind its progress dialogs.
#include "CliCommands.h"

#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "contacts/CExportContactHelper.h"
#include "contacts/CImportContactHelper.h"
#include "contacts/ContactListing.h"
#include "device/LoadDataHelper.h"
#include "device/SessionGate.h"
#include "platform/StringTable.h"

namespace {

constexpr const char* kUsage = "contacts export --format csv|vcf FILE\n"
                               "contacts import [--no-groups] FILE... (.csv or vCard)\n"
                               "contacts count";

int Usage(CliContext& ctx) {
    ctx.err << "usage:\n";
    for (const QString& line : QString::fromLatin1(kUsage).split('\n')) {
        ctx.err << "  vexa-cli [--phone SERIAL] " << line << '\n';
    }
    return kCliUsage;
}

// The address book loaded the way the page has it loaded; null after printing why.
vexa::ContactBook* LoadedBook(CliContext& ctx, CSessionGate& gate) {
    vexa::DeviceSession* session = ctx.Session();
    if (session == nullptr) {
        return nullptr;
    }
    gate.SetUsable(true);
    CLoadDataHelper::Load(ppGetBridge(), gate, LoadKindContacts, false, [](int, int) {});
    vexa::ContactBook* book = session->GetContactBook();
    if (book == nullptr || !book->IsContactsLoaded()) {
        ctx.err << Str(2704) << '\n';
        return nullptr;
    }
    return book;
}

int Export(CliContext& ctx, const QStringList& args) {
    if (args.size() != 4 || args[1] != QLatin1String("--format") ||
        (args[2] != QLatin1String("csv") && args[2] != QLatin1String("vcf"))) {
        return Usage(ctx);
    }
    CSessionGate gate;
    vexa::ContactBook* book = LoadedBook(ctx, gate);
    if (book == nullptr) {
        return kCliFailed;
    }
    const CSessionUse use(gate, VEXA_HERE);
    const std::vector<vexa::Contact*> all = contacts::ContactsOfNode(*book, contacts::NodeAll);
    if (all.empty()) {
        ctx.err << Str(345) << '\n';
        return kCliFailed;
    }
    CExportContactHelper helper;
    const auto result = helper.Export(book, all,
                                      args[2] == QLatin1String("csv") ? CExportContactHelper::FormatCsv
                                                                      : CExportContactHelper::FormatVcf,
                                      args[3], {}, {});
    if (helper.MessageId() != 0) {
        ctx.err << Str(helper.MessageId()) << '\n';
        return kCliFailed;
    }
    const QString text = CExportContactHelper::ResultText(result, helper.Count());
    if (result != CExportContactHelper::Export_Succeeded) {
        ctx.err << text << '\n';
        return kCliFailed;
    }
    ctx.out << text << '\n';
    return kCliOk;
}

int Import(CliContext& ctx, QStringList args) {
    args.removeFirst();
    const bool groups = !args.removeAll(QStringLiteral("--no-groups"));
    if (args.isEmpty()) {
        return Usage(ctx);
    }
    // CSV and vCard files in any mix, each read by its name, as the page reads what the user chose;
    // every file is read before the phone is touched.
    CImportContactHelper helper;
    if (helper.ParseFiles(args) != 0) {
        ctx.err << helper.MessageText() << '\n';
        return kCliFailed;
    }
    for (const QString& notice : helper.Notices()) {
        ctx.err << notice << '\n';
    }
    if (!groups) {
        helper.DropGroups();
    }
    CSessionGate gate;
    vexa::ContactBook* book = LoadedBook(ctx, gate);
    if (book == nullptr) {
        return kCliFailed;
    }
    const CSessionUse use(gate, VEXA_HERE);
    const auto result = helper.Import(book, {}, {});
    const QString text = helper.OutcomeText(result, !ctx.Session()->IsConnected());
    if (result != CImportContactHelper::Import_Succeeded) {
        ctx.err << text << '\n';
        return kCliFailed;
    }
    ctx.out << text << '\n';
    return kCliOk;
}

int Count(CliContext& ctx) {
    CSessionGate gate;
    vexa::ContactBook* book = LoadedBook(ctx, gate);
    if (book == nullptr) {
        return kCliFailed;
    }
    const CSessionUse use(gate, VEXA_HERE);
    ctx.out << book->GetContactCount(vexa::LIST_ALL) << '\n';
    return kCliOk;
}

int RunContacts(CliContext& ctx, const QStringList& args) {
    const QString command = args.value(0);
    if (command == QLatin1String("export")) {
        return Export(ctx, args);
    }
    if (command == QLatin1String("import")) {
        return Import(ctx, args);
    }
    if (command == QLatin1String("count") && args.size() == 1) {
        return Count(ctx);
    }
    return Usage(ctx);
}

const CliRegistration kRegistration({"contacts", kUsage, &RunContacts});

} // namespace
