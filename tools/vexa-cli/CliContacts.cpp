// vexa-cli contacts and groups: export, import, count, add, delete and merge contacts, and the
// group list, on the helpers the contact page runs behind its dialogs.
#include "CliCommands.h"

#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "contacts/CContactDataHelper.h"
#include "contacts/CExportContactHelper.h"
#include "contacts/CImportContactHelper.h"
#include "contacts/ContactEditing.h"
#include "contacts/ContactListing.h"
#include "contacts/ContactMerge.h"
#include "contacts/ContactRules.h"
#include "device/LoadDataHelper.h"
#include "device/SessionGate.h"
#include "platform/ListField.h"
#include "platform/StringTable.h"

#include <QMultiHash>

#include <algorithm>
#include <functional>

namespace {

constexpr const char* kUsage = "contacts export --format csv|vcf FILE\n"
                               "contacts import [--no-groups] FILE... (.csv or vCard)\n"
                               "contacts count\n"
                               "contacts list\n"
                               "contacts search KEYWORD\n"
                               "contacts add --name NAME [--phone NUMBER]... [--email ADDRESS]... [--group GROUP]...\n"
                               "contacts delete --id ID...\n"
                               "contacts merge-duplicates [--dry-run]";

int Usage(CliContext& ctx) {
    return CliUsage(ctx, kUsage);
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

// Runs work on the loaded address book inside the session gate; kCliFailed when it cannot be read.
int WithBook(CliContext& ctx, const std::function<int(vexa::ContactBook& book)>& work) {
    CSessionGate gate;
    vexa::ContactBook* book = LoadedBook(ctx, gate);
    if (book == nullptr) {
        return kCliFailed;
    }
    const CSessionUse use(gate, VEXA_HERE);
    return work(*book);
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
    return WithBook(ctx, [&](vexa::ContactBook& book) {
        ctx.out << book.GetContactCount(vexa::LIST_ALL) << '\n';
        return kCliOk;
    });
}

// id, name and first number, tab-separated, in the list's order.
void PrintRow(CliContext& ctx, const vexa::Contact& contact) {
    const vexa::ContactField* phone = contact.GetPhoneCount() > 0 ? contact.GetPhoneAt(0) : nullptr;
    ctx.out << contact.GetId() << '\t' << ListField(contact.GetDisplayNameText()) << '\t'
            << ListField(phone != nullptr ? phone->m_value : QString()) << '\n';
}

int List(CliContext& ctx) {
    return WithBook(ctx, [&](vexa::ContactBook& book) {
        for (int i = 0, n = book.GetContactCount(vexa::LIST_ALL); i < n; ++i) {
            if (const vexa::Contact* contact = book.GetContactAt(vexa::LIST_ALL, i)) {
                PrintRow(ctx, *contact);
            }
        }
        return kCliOk;
    });
}

int Search(CliContext& ctx, const QString& key) {
    return WithBook(ctx, [&](vexa::ContactBook& book) {
        contacts::SearchContacts(book, key, [] { return false; }, [&](vexa::Contact* c) { PrintRow(ctx, *c); });
        return kCliOk;
    });
}

// "--key value" pairs after the command word; false for anything else.
bool ReadOptions(const QStringList& args, QMultiHash<QString, QString>* options) {
    for (qsizetype i = 1; i < args.size(); i += 2) {
        if (!args[i].startsWith(QLatin1String("--")) || i + 1 >= args.size()) {
            return false;
        }
        options->insert(args[i].mid(2), args[i + 1]);
    }
    return true;
}

// The values of a repeated option in command-line order.
QStringList Values(const QMultiHash<QString, QString>& options, const QString& key) {
    QStringList values = options.values(key);
    std::reverse(values.begin(), values.end());
    return values;
}

int Add(CliContext& ctx, const QStringList& args) {
    QMultiHash<QString, QString> options;
    if (!ReadOptions(args, &options) || options.count(QStringLiteral("name")) != 1) {
        return Usage(ctx);
    }
    for (const QString& key : options.uniqueKeys()) {
        if (key != QLatin1String("name") && key != QLatin1String("phone") && key != QLatin1String("email") &&
            key != QLatin1String("group")) {
            return Usage(ctx);
        }
    }
    // The editor's number box takes only these characters; the command line keeps to the same.
    for (const QString& number : Values(options, QStringLiteral("phone"))) {
        if (const auto filtered = contacts::FilterInput(number, contacts::EditMode::PhoneNumber);
            !filtered.message.isEmpty()) {
            ctx.err << filtered.message << '\n';
            return kCliFailed;
        }
    }
    return WithBook(ctx, [&](vexa::ContactBook& book) {
        std::unique_ptr<vexa::Contact> contact(book.NewContact());
        if (!contact) {
            ctx.err << Str(315) << '\n';
            return kCliFailed;
        }
        contact->SetStorage(vexa::STORAGE_PHONE);
        contact->SetDisplayName(options.value(QStringLiteral("name")));
        for (const QString& number : Values(options, QStringLiteral("phone"))) {
            contact->AddPhone(2, nullptr, number, nullptr);
        }
        for (const QString& address : Values(options, QStringLiteral("email"))) {
            contact->AddEmail(1, nullptr, address, nullptr);
        }
        for (const QString& name : Values(options, QStringLiteral("group"))) {
            vexa::Group* group = contacts::CContactDataHelper::FindGroup(book, name);
            if (group == nullptr) {
                ctx.err << FormatText(Str(3150), qUtf8Printable(name)) << '\n';
                return kCliFailed;
            }
            book.AddContactToGroup(group, contact.get(), 0);
        }
        const contacts::EditOutcome outcome = contacts::AddContact(book, std::move(contact));
        if (!outcome.ok) {
            ctx.err << outcome.message << '\n';
            return kCliFailed;
        }
        ctx.out << outcome.id << '\n';
        return kCliOk;
    });
}

int Delete(CliContext& ctx, const QStringList& args) {
    if (args.size() < 3 || args[1] != QLatin1String("--id")) {
        return Usage(ctx);
    }
    std::vector<std::int64_t> ids;
    for (qsizetype i = 2; i < args.size(); ++i) {
        bool ok = false;
        ids.push_back(args[i].toLongLong(&ok));
        if (!ok) {
            return Usage(ctx);
        }
    }
    return WithBook(ctx, [&](vexa::ContactBook& book) {
        // Every id must name a contact before the first one goes.
        if (contacts::ContactsWithIds(book, ids).size() != ids.size()) {
            ctx.err << Str(430) << '\n';
            return kCliFailed;
        }
        const contacts::BatchOutcome outcome = contacts::DeleteContacts(book, ids, nullptr, {});
        (outcome.failed ? ctx.err : ctx.out) << contacts::DeleteResultText(outcome) << '\n';
        return outcome.failed ? kCliFailed : kCliOk;
    });
}

int MergeDuplicates(CliContext& ctx, const QStringList& args) {
    const bool dryRun = args.size() == 2 && args[1] == QLatin1String("--dry-run");
    if (args.size() > 2 || (args.size() == 2 && !dryRun)) {
        return Usage(ctx);
    }
    return WithBook(ctx, [&](vexa::ContactBook& book) {
        if (contacts::FindSameNameGroups(book).empty()) {
            ctx.out << Str(316) << '\n';
            return kCliOk;
        }
        const contacts::MergeOutcome outcome = contacts::SmartMerge(book, !dryRun, nullptr, {});
        for (const QString& line : contacts::MergePlanLines(outcome)) {
            ctx.out << line << '\n';
        }
        if (!outcome.ok) {
            ctx.err << Str(315) << '\n';
            return kCliFailed;
        }
        ctx.out << FormatText(Str(dryRun ? 3152 : 317), outcome.merged) << '\n';
        return kCliOk;
    });
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
    if (command == QLatin1String("list") && args.size() == 1) {
        return List(ctx);
    }
    if (command == QLatin1String("search") && args.size() == 2) {
        return Search(ctx, args[1]);
    }
    if (command == QLatin1String("add")) {
        return Add(ctx, args);
    }
    if (command == QLatin1String("delete")) {
        return Delete(ctx, args);
    }
    if (command == QLatin1String("merge-duplicates")) {
        return MergeDuplicates(ctx, args);
    }
    return Usage(ctx);
}

constexpr const char* kGroupUsage = "groups list\n"
                                    "groups add NAME\n"
                                    "groups rename OLD NEW\n"
                                    "groups delete NAME";

int RunGroups(CliContext& ctx, const QStringList& args) {
    const QString command = args.value(0);
    const bool known = (command == QLatin1String("list") && args.size() == 1) ||
                       (command == QLatin1String("add") && args.size() == 2) ||
                       (command == QLatin1String("rename") && args.size() == 3) ||
                       (command == QLatin1String("delete") && args.size() == 2);
    if (!known) {
        return CliUsage(ctx, kGroupUsage);
    }
    return WithBook(ctx, [&](vexa::ContactBook& book) {
        using Helper = contacts::CContactDataHelper;
        if (command == QLatin1String("list")) {
            for (int i = 0, n = book.GetGroupCount(); i < n; ++i) {
                if (vexa::Group* group = book.GetGroupAt(i)) {
                    ctx.out << group->GetName() << '\t' << book.GetGroupMemberCount(group) << '\n';
                }
            }
            return kCliOk;
        }
        contacts::EditOutcome outcome;
        QString done;
        if (command == QLatin1String("add")) {
            outcome = Helper::AddGroup(book, args[1]);
            done = FormatText(Str(3153), qUtf8Printable(args[1]));
        } else if (command == QLatin1String("rename")) {
            outcome = Helper::RenameGroup(book, args[1], args[2]);
            done = FormatText(Str(3154), qUtf8Printable(args[1]), qUtf8Printable(args[2]));
        } else {
            const vexa::Group* group = Helper::FindGroup(book, args[1]);
            outcome = group == nullptr ? contacts::EditOutcome{false, FormatText(Str(3150), qUtf8Printable(args[1]))}
                                       : Helper::DeleteGroup(book, group->GetId());
            done = FormatText(Str(3155), qUtf8Printable(args[1]));
        }
        if (!outcome.ok) {
            ctx.err << outcome.message << '\n';
            return kCliFailed;
        }
        ctx.out << done << '\n';
        return kCliOk;
    });
}

const CliRegistration kRegistration({"contacts", kUsage, &RunContacts});
const CliRegistration kGroupRegistration({"groups", kGroupUsage, &RunGroups});

} // namespace
