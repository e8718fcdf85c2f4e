// vexa-cli mms: the phone's multimedia messages, one message's slides, a message written to a file,
// and a message file saved as a draft or sent under the compose dialog's checks.
#include "CliCommands.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "messages/MmsRules.h"
#include "messages/MmsSender.h"
#include "platform/ListField.h"
#include "platform/StringTable.h"

#include <QImage>

namespace {

constexpr const char* kUsage = "usage: vexa-cli [--phone SERIAL] mms list | mms show ID | mms export ID FILE | "
                               "mms draft FILE | mms send [--sim 1|2] FILE\n";

const char* BoxName(int box) {
    switch (box) {
    case vexa::BOX_INBOX:
        return "inbox";
    case vexa::BOX_SENT:
        return "sent";
    case vexa::BOX_DRAFT:
    case vexa::BOX_DRAFT_OTHER:
        return "draft";
    default:
        return "outbox";
    }
}

vexa::MmsStore* Store(CliContext& ctx, vexa::DeviceSession* session) {
    vexa::MmsStore* store = session->GetMmsStore();
    if (store == nullptr || (!store->IsMmsLoaded() && store->LoadMms() != 1)) {
        ctx.err << Str(2402) << '\n';
        return nullptr;
    }
    return store;
}

int List(CliContext& ctx, vexa::MmsStore* store) {
    std::vector<MSGINFO> messages, drafts;
    if (!store->ListMms(&messages) || !store->ListDraftMms(&drafts)) {
        ctx.err << Str(2402) << '\n';
        return kCliFailed;
    }
    auto print = [&](const MSGINFO& m, const char* box) {
        ctx.out << m.id << '\t' << box << '\t' << ListField(m.number) << '\t'
                << vexa::FromSystemTime(m.time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << '\t'
                << ListField(m.content) << '\n';
    };
    for (const MSGINFO& m : messages) {
        print(m, m.status != 0 ? "inbox" : "sent");
    }
    for (const MSGINFO& m : drafts) {
        print(m, "draft");
    }
    return kCliOk;
}

int Read(CliContext& ctx, vexa::MmsStore* store, const QString& idText, mms::MediaMsg* msg, int* box) {
    bool ok = false;
    const std::int64_t id = idText.toLongLong(&ok);
    if (!ok) {
        ctx.err << kUsage;
        return kCliUsage;
    }
    if (const IoResult read = messages::ReadStoredMms(store, id, msg); !read) {
        ctx.err << FormatText(Str(3273), qUtf8Printable(read.error)) << '\n';
        return kCliFailed;
    }
    if (std::unique_ptr<vexa::Mms> stored{store->GetMmsById(id)}) {
        *box = stored->m_box;
    }
    return kCliOk;
}

int Show(CliContext& ctx, vexa::MmsStore* store, const QString& idText) {
    mms::MediaMsg msg;
    int box = 0;
    if (const int result = Read(ctx, store, idText, &msg, &box); result != kCliOk) {
        return result;
    }
    ctx.out << "box: " << BoxName(box) << '\n'
            << "subject: " << ListField(msg.Subject()) << '\n'
            << "recipients: " << msg.Recipients().join(u';') << '\n'
            << "slides: " << msg.SlideCount() << '\n'
            << "size: " << msg.Save().size() << '\n';
    for (int i = 0; i < msg.SlideCount(); ++i) {
        const mms::Slide& s = *msg.GetSlide(i);
        ctx.out << "slide " << i + 1 << '\t' << s.durationMs << " ms";
        if (!s.image.IsEmpty()) {
            const QImage image = QImage::fromData(s.image.data);
            ctx.out << "\tpicture " << ListField(s.image.name) << ' ' << image.width() << 'x' << image.height() << ' '
                    << s.image.data.size();
        }
        if (!s.sound.IsEmpty()) {
            ctx.out << "\tsound " << ListField(s.sound.name) << ' ' << s.sound.data.size();
        }
        ctx.out << "\ttext " << ListField(s.text) << '\n';
    }
    return kCliOk;
}

int Export(CliContext& ctx, vexa::MmsStore* store, const QString& idText, const QString& path) {
    mms::MediaMsg msg;
    int box = 0;
    if (const int result = Read(ctx, store, idText, &msg, &box); result != kCliOk) {
        return result;
    }
    if (const IoResult saved = msg.SaveToFile(path); !saved) {
        ctx.err << saved.error << '\n';
        return kCliFailed;
    }
    ctx.out << path << '\n';
    return kCliOk;
}

// The compose dialog's save and send: the same checks, texts and store call.
int Submit(CliContext& ctx, vexa::MmsStore* store, const QString& path, bool send, int simChoice) {
    mms::MediaMsg msg;
    if (const IoResult loaded = mms::LoadMediaMsg(path, &msg); !loaded) {
        ctx.err << loaded.error << '\n';
        return kCliFailed;
    }
    if (const mms::Refusal refusal = mms::CheckBeforeSave(&msg, QDateTime::currentDateTimeUtc())) {
        ctx.err << mms::RefusalText(refusal) << '\n';
        return kCliFailed;
    }
    if (msg.SlideCount() > mms::kMaxSlides) {
        ctx.err << Str(3230) << '\n';
        return kCliFailed;
    }
    if (const mms::Refusal refusal = mms::CheckRecipients(msg, send)) {
        ctx.err << mms::RefusalText(refusal) << '\n';
        return kCliFailed;
    }
    const messages::MmsSubmit result = messages::SubmitMms(store, msg, send, simChoice);
    if (!result.ok) {
        ctx.err << (send ? Str(3272) : FormatText(Str(3243), qUtf8Printable(Str(3279)))) << '\n';
        return kCliFailed;
    }
    ctx.out << Str(send ? 3271 : 3241) << '\n' << "id: " << result.id << '\n';
    return kCliOk;
}

int RunMms(CliContext& ctx, const QStringList& argsIn) {
    QStringList args = argsIn;
    const QString command = args.value(0);
    int simChoice = 1;
    if (command == QLatin1String("send") && args.value(1) == QLatin1String("--sim")) {
        const QString card = args.value(2);
        if (card != QLatin1String("1") && card != QLatin1String("2")) {
            ctx.err << kUsage;
            return kCliUsage;
        }
        simChoice = card.toInt() + 1;
        args.remove(1, 2);
    }
    const qsizetype wanted = command == QLatin1String("list")                                   ? 1
                             : command == QLatin1String("export")                               ? 3
                             : command == QLatin1String("show") || command == QLatin1String("draft") ||
                                       command == QLatin1String("send")                         ? 2
                                                                                                : -1;
    if (wanted < 0 || args.size() != wanted) {
        ctx.err << kUsage;
        return kCliUsage;
    }
    vexa::DeviceSession* session = ctx.Session();
    if (session == nullptr) {
        return kCliFailed;
    }
    vexa::MmsStore* store = Store(ctx, session);
    if (store == nullptr) {
        return kCliFailed;
    }
    if (command == QLatin1String("list")) {
        return List(ctx, store);
    }
    if (command == QLatin1String("show")) {
        return Show(ctx, store, args[1]);
    }
    if (command == QLatin1String("export")) {
        return Export(ctx, store, args[1], args[2]);
    }
    return Submit(ctx, store, args[1], command == QLatin1String("send"), simChoice);
}

const CliRegistration kRegistration(
    {"mms", "mms list\nmms show ID\nmms export ID FILE\nmms draft FILE\nmms send [--sim 1|2] FILE", &RunMms});

} // namespace
