#include "bridge/adb/AdbMmsStore.h"

#include "bridge/adb/AdbContent.h"
#include "bridge/adb/protocol/AdbParsers.h"
#include "bridge/adb/protocol/ShellQuote.h"

#include "libs/log/Log.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <map>

namespace vexa::adbphone {

namespace {

const char kMmsUri[] = "content://mms";
const char kPartUri[] = "content://mms/part";
// The subject last: it may hold ", name=" text (the reader only splits before columns not yet seen).
const std::vector<std::string> kProjection{"_id", "msg_box", "date", "read", "sub_id", "sub_cs", "sub"};
const QStringList kColumns{"_id", "msg_box", "date", "read", "sub_id", "sub_cs", "sub"};
const std::vector<std::string> kPartProjection{"_id", "mid", "seq", "ct", "name", "cl", "cid", "text"};
const QStringList kPartColumns{"_id", "mid", "seq", "ct", "name", "cl", "cid", "text"};
const QStringList kAddrColumns{"msg_id", "type", "address"};
// Address types of the MMS encapsulation.
constexpr int kAddrFrom = 137;
constexpr int kAddrTo = 151;
constexpr int kCharsetUtf8 = 106;
constexpr int kCharsetLatin1 = 4;
constexpr std::size_t kLineBudget = 16 * 1024;
// A SMIL text is a few hundred bytes; anything past this is not a presentation.
constexpr qsizetype kMaxSmilChars = 64 * 1024;

std::int64_t Id(const adb::ContentRow& row, const char* column) {
    bool ok = false;
    const std::int64_t id = row.value(QLatin1String(column)).toLongLong(&ok);
    return ok ? id : -1;
}

int DurationMs(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,9})\\s*(ms|s)?\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) {
        return 0;
    }
    const qint64 n = m.captured(1).toLongLong();
    const qint64 ms = m.captured(2) == QLatin1String("ms") ? n : n * 1000;
    return static_cast<int>(std::min<qint64>(ms, 3600 * 1000));
}

// A SMIL src names a part by its location, its name or "cid:" and its content id.
const MmsPartRow* FindPart(const std::vector<MmsPartRow>& parts, const QString& src) {
    if (src.isEmpty()) {
        return nullptr;
    }
    const bool byCid = src.startsWith(QLatin1String("cid:"), Qt::CaseInsensitive);
    const QString key = byCid ? src.mid(4) : src;
    for (const MmsPartRow& part : parts) {
        if (byCid ? part.contentId == key : (part.location == key || part.name == key || part.contentId == key)) {
            return &part;
        }
    }
    return nullptr;
}

bool IsSmil(const MmsPartRow& part) {
    return part.type == QLatin1String("application/smil");
}

bool IsText(const MmsPartRow& part) {
    return part.type.startsWith(QLatin1String("text/"));
}

QString PartFileName(const MmsPartRow& part) {
    const QString name = !part.name.isEmpty() ? part.name : part.location;
    return mms::SafePartName(name.isEmpty() ? QStringLiteral("part_%1").arg(part.id) : name);
}

} // namespace

QString DecodeMmsText(const QString& stored, int charset) {
    if (charset != kCharsetUtf8) {
        return stored; // the provider decoded other sets already, or they are Latin-1 as stored
    }
    for (const QChar c : stored) {
        if (c.unicode() > 0xFF) {
            return stored; // already decoded text
        }
    }
    const QByteArray raw = stored.toLatin1();
    const QString decoded = QString::fromUtf8(raw);
    // Bytes that are not UTF-8 after all stay as they were rather than turn into replacement marks.
    return decoded.toUtf8() == raw ? decoded : stored;
}

std::vector<MmsRow> MmsFromContentRows(std::string_view output) {
    std::vector<MmsRow> rows;
    for (const adb::ContentRow& row : adb::ParseContentQuery(output, kColumns)) {
        MmsRow mms;
        mms.id = Id(row, "_id");
        if (mms.id < 0) {
            continue;
        }
        const int box = row.value(QStringLiteral("msg_box")).toInt();
        mms.box = box >= BOX_INBOX && box <= BOX_DRAFT_OTHER ? box : BOX_INBOX;
        mms.dateSeconds = row.value(QStringLiteral("date")).toLongLong();
        mms.read = row.value(QStringLiteral("read")) != QLatin1String("0");
        const int sub = row.value(QStringLiteral("sub_id")).toInt();
        mms.sim = sub >= 1 && sub <= 2 ? sub : 0;
        const QString subject = row.value(QStringLiteral("sub"));
        const QString charset = row.value(QStringLiteral("sub_cs"));
        mms.subject = DecodeMmsText(subject, charset.isNull() ? kCharsetLatin1 : charset.toInt());
        rows.push_back(mms);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const MmsRow& a, const MmsRow& b) { return a.id < b.id; });
    return rows;
}

std::vector<MmsPartRow> MmsPartsFromContentRows(std::string_view output) {
    std::vector<MmsPartRow> parts;
    for (const adb::ContentRow& row : adb::ParseContentQuery(output, kPartColumns)) {
        MmsPartRow part;
        part.id = Id(row, "_id");
        part.mid = Id(row, "mid");
        if (part.id < 0 || part.mid < 0) {
            continue;
        }
        part.seq = row.value(QStringLiteral("seq")).toInt();
        part.type = row.value(QStringLiteral("ct")).trimmed().toLower();
        part.name = row.value(QStringLiteral("name"));
        part.location = row.value(QStringLiteral("cl"));
        part.contentId = row.value(QStringLiteral("cid"));
        if (part.contentId.startsWith(u'<') && part.contentId.endsWith(u'>')) {
            part.contentId = part.contentId.mid(1, part.contentId.size() - 2);
        }
        part.text = row.value(QStringLiteral("text"));
        parts.push_back(part);
    }
    // The SMIL part has seq -1 and comes first; the others in the order they were sent.
    std::stable_sort(parts.begin(), parts.end(), [](const MmsPartRow& a, const MmsPartRow& b) {
        return a.seq != b.seq ? a.seq < b.seq : a.id < b.id;
    });
    return parts;
}

std::vector<MmsAddress> MmsAddressesFromContentRows(std::string_view output) {
    // Several queries' output follows one another ("No result found." for a message without
    // addresses), and an address holds no line break: each row is read on its own line.
    std::vector<adb::ContentRow> rows;
    for (std::string_view line : adb::SplitLines(output)) {
        if (line.starts_with("Row: ")) {
            std::vector<adb::ContentRow> one = adb::ParseContentQuery(line, kAddrColumns);
            rows.insert(rows.end(), one.begin(), one.end());
        }
    }
    std::vector<MmsAddress> addresses;
    for (const adb::ContentRow& row : rows) {
        MmsAddress a;
        a.mid = Id(row, "msg_id");
        if (a.mid < 0) {
            continue;
        }
        a.type = row.value(QStringLiteral("type")).toInt();
        a.address = row.value(QStringLiteral("address")).trimmed();
        addresses.push_back(a);
    }
    return addresses;
}

QString MmsNumberFor(int box, std::int64_t mid, const std::vector<MmsAddress>& addresses) {
    const int wanted = box == BOX_INBOX ? kAddrFrom : kAddrTo;
    for (const MmsAddress& a : addresses) {
        if (a.mid == mid && a.type == wanted && !a.address.isEmpty() &&
            a.address != QLatin1String("insert-address-token")) {
            return a.address;
        }
    }
    return {};
}

std::vector<SmilSlide> ParseSmil(const QString& smil) {
    std::vector<SmilSlide> slides;
    QXmlStreamReader xml(smil.left(kMaxSmilChars));
    bool inPar = false;
    while (!xml.atEnd() && !xml.hasError()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QString name = xml.name().toString().toLower();
            const QXmlStreamAttributes attrs = xml.attributes();
            if (name == QLatin1String("par")) {
                if (static_cast<int>(slides.size()) >= mms::kMaxReadSlides) {
                    break;
                }
                slides.push_back({DurationMs(attrs.value(QLatin1String("dur")).toString()), {}, {}, {}});
                inPar = true;
            } else if (inPar) {
                const QString src = attrs.value(QLatin1String("src")).toString();
                SmilSlide& slide = slides.back();
                if (name == QLatin1String("img") || name == QLatin1String("video")) {
                    slide.image = src;
                } else if (name == QLatin1String("text")) {
                    slide.text = src;
                } else if (name == QLatin1String("audio")) {
                    slide.audio = src;
                }
            }
        } else if (token == QXmlStreamReader::EndElement && xml.name().toString().toLower() == QLatin1String("par")) {
            inPar = false;
        }
    }
    return slides;
}

std::string PartReadRefusal(std::string_view output) {
    if (output.empty()) {
        return "nothing printed";
    }
    // A phone without "content read", or one that will not hand out the part, prints its refusal
    // where the bytes would be.
    const std::string_view head = output.substr(0, 256);
    const bool refused = head.starts_with("Error while accessing provider") || head.starts_with("[ERROR]") ||
                         head.starts_with("usage:") || head.starts_with("Unknown command") ||
                         head.find("Exception:") != std::string_view::npos;
    if (!refused) {
        return {};
    }
    // The exception line says why; else the first line.
    for (std::string_view line : adb::SplitLines(head)) {
        if (line.find("Exception") != std::string_view::npos || line.starts_with("[ERROR]")) {
            return std::string(line);
        }
    }
    return std::string(head.substr(0, head.find('\n')));
}

mms::MediaMsg BuildMediaMsg(const MmsRow& row, const std::vector<MmsPartRow>& parts,
                            const std::function<QByteArray(const MmsPartRow&)>& data) {
    mms::MediaMsg msg;
    msg.SetSubject(row.subject);
    if (!row.number.isEmpty()) {
        msg.SetRecipient({row.number});
    }
    if (row.dateSeconds > 0) {
        msg.SetDate(QDateTime::fromSecsSinceEpoch(row.dateSeconds, Qt::UTC));
    }
    std::vector<mms::Slide> slides;
    auto fill = [&](mms::Slide& slide, const MmsPartRow& part) {
        if (IsText(part)) {
            slide.text += part.text;
        } else if (part.type.startsWith(QLatin1String("image/")) || part.type.startsWith(QLatin1String("audio/"))) {
            mms::MmsPart out{PartFileName(part), data(part)};
            if (out.data.isEmpty()) {
                return;
            }
            (part.type.startsWith(QLatin1String("image/")) ? slide.image : slide.sound) = out;
        }
    };
    const auto smilPart = std::find_if(parts.begin(), parts.end(), IsSmil);
    const std::vector<SmilSlide> smil = smilPart != parts.end() ? ParseSmil(smilPart->text) : std::vector<SmilSlide>{};
    if (!smil.empty()) {
        for (const SmilSlide& s : smil) {
            mms::Slide slide;
            slide.durationMs = s.durationMs > 0 ? s.durationMs : mms::kNewSlideMs;
            for (const QString& src : {s.text, s.image, s.audio}) {
                if (const MmsPartRow* part = FindPart(parts, src)) {
                    fill(slide, *part);
                }
            }
            slides.push_back(slide);
        }
    } else {
        // Without a presentation: a new slide where a part of a kind the slide holds comes again.
        mms::Slide slide;
        for (const MmsPartRow& part : parts) {
            if (IsSmil(part)) {
                continue;
            }
            const int flags = mms::MMS_GetSlideFlags(slide);
            const int kind = IsText(part) ? mms::SLIDE_TEXT
                             : part.type.startsWith(QLatin1String("image/")) ? mms::SLIDE_IMAGE
                             : part.type.startsWith(QLatin1String("audio/")) ? mms::SLIDE_SOUND
                                                                              : 0;
            if (kind != 0 && (flags & kind) != 0) {
                slides.push_back(slide);
                slide = mms::Slide{};
            }
            fill(slide, part);
            if (static_cast<int>(slides.size()) >= mms::kMaxReadSlides) {
                break;
            }
        }
        if (mms::MMS_GetSlideFlags(slide) != 0) {
            slides.push_back(slide);
        }
    }
    for (const mms::Slide& slide : slides) {
        if (mms::MMS_GetSlideFlags(slide) != 0) {
            msg.AppendReadSlide(slide);
        }
    }
    return msg;
}

int CAdbMmsStore::LoadMms() {
    Lock guard(m_lock);
    m_loaded = false;
    std::string output;
    if (const int loaded = LoadQuery(m_link, "AdbMmsStore", ContentQueryCommand(kMmsUri, kProjection), output); loaded != 1) {
        return loaded;
    }
    std::vector<MmsRow> rows = MmsFromContentRows(output);
    std::vector<std::string> queries;
    for (const MmsRow& row : rows) {
        queries.push_back(ContentQueryCommand(std::string(kMmsUri) + "/" + std::to_string(row.id) + "/addr",
                                              {"msg_id", "type", "address"}));
    }
    std::vector<MmsAddress> addresses;
    for (const std::string& line : JoinContentLines(queries, kLineBudget)) {
        std::string answer;
        if (!m_link.Shell(line, answer, CAdbLink::kSlowTimeoutMs)) {
            return m_link.Alive() ? 0 : 2;
        }
        // One message the phone would not show its addresses for leaves only that number empty.
        std::vector<MmsAddress> some = MmsAddressesFromContentRows(answer);
        addresses.insert(addresses.end(), some.begin(), some.end());
    }
    for (MmsRow& row : rows) {
        row.number = MmsNumberFor(row.box, row.id, addresses);
    }
    m_rows = std::move(rows);
    m_loaded = true;
    return 1;
}

bool CAdbMmsStore::IsMmsLoaded() {
    return m_loaded;
}

bool CAdbMmsStore::List(std::vector<MSGINFO>* list, int mode, const QString& keyword) {
    Lock guard(m_lock);
    list->clear();
    if (!m_loaded && LoadMms() != 1) {
        return false;
    }
    for (const MmsRow& row : m_rows) {
        MSGINFO info;
        info.type = 1;
        info.id = row.id;
        info.number = row.number;
        info.content = row.subject;
        info.read = row.read ? 1 : 0;
        info.status = row.box == BOX_INBOX ? 1 : 0;
        info.time = TimeFromMs(row.dateSeconds * 1000);
        const bool draft = IsDraftBox(row.box);
        if ((mode == 0 && !draft) || (mode == 1 && draft) ||
            (mode == 2 && (info.number.contains(keyword, Qt::CaseInsensitive) ||
                           info.content.contains(keyword, Qt::CaseInsensitive)))) {
            list->push_back(info);
        }
    }
    return true;
}

bool CAdbMmsStore::ListMms(std::vector<MSGINFO>* list) {
    return List(list, 0, {});
}

bool CAdbMmsStore::ListDraftMms(std::vector<MSGINFO>* list) {
    return List(list, 1, {});
}

bool CAdbMmsStore::SearchMms(const QString& keyword, std::vector<MSGINFO>* list) {
    return List(list, 2, keyword);
}

bool CAdbMmsStore::DeleteMms(std::int64_t id) {
    Lock guard(m_lock);
    std::string output;
    if (RunContent(m_link, "AdbMmsStore", ContentDeleteCommand(kMmsUri, "_id=" + std::to_string(id)), output, false) !=
        ContentResult::Done) {
        return false;
    }
    // The phone may ignore a delete from the shell user; only a message that is gone counts.
    std::string check;
    if (RunContent(m_link, "AdbMmsStore", ContentQueryCommand(kMmsUri, {"_id"}, "_id=" + std::to_string(id)), check,
                   true) != ContentResult::Done ||
        !MmsFromContentRows(check).empty()) {
        LOG_Error("[AdbMmsStore] the phone kept MMS %lld after deleting it. %s:%d", static_cast<long long>(id), LOG_HERE);
        return false;
    }
    std::erase_if(m_rows, [id](const MmsRow& row) { return row.id == id; });
    return true;
}

QByteArray CAdbMmsStore::ReadPart(const MmsPartRow& part, qint64 budget) {
    if (budget <= 0) {
        LOG_Error("[AdbMmsStore] part %lld of MMS %lld left out: the message is over %lld bytes. %s:%d",
                  static_cast<long long>(part.id), static_cast<long long>(part.mid),
                  static_cast<long long>(mms::kMaxReadBytes), LOG_HERE);
        return {};
    }
    std::string output;
    const std::string command =
        adb::ShellCommand({"content", "read", "--uri", std::string(kPartUri) + "/" + std::to_string(part.id)});
    if (!m_link.Exec(command, output, CAdbLink::kTransferTimeoutMs, static_cast<std::size_t>(budget) + 1)) {
        return {};
    }
    if (const std::string refusal = PartReadRefusal(output); !refusal.empty()) {
        LOG_Error("[AdbMmsStore] part %lld of MMS %lld could not be read: %s. %s:%d", static_cast<long long>(part.id),
                  static_cast<long long>(part.mid), refusal.c_str(), LOG_HERE);
        return {};
    }
    if (static_cast<qint64>(output.size()) > budget) {
        LOG_Error("[AdbMmsStore] part %lld of MMS %lld left out: over %lld bytes. %s:%d",
                  static_cast<long long>(part.id), static_cast<long long>(part.mid), static_cast<long long>(budget),
                  LOG_HERE);
        return {};
    }
    return QByteArray(output.data(), static_cast<qsizetype>(output.size()));
}

Mms* CAdbMmsStore::GetMmsById(std::int64_t id) {
    Lock guard(m_lock);
    if (!m_loaded && LoadMms() != 1) {
        return nullptr;
    }
    const auto row = std::find_if(m_rows.begin(), m_rows.end(), [id](const MmsRow& r) { return r.id == id; });
    if (row == m_rows.end()) {
        return nullptr;
    }
    std::string output;
    if (RunContent(m_link, "AdbMmsStore", ContentQueryCommand(kPartUri, kPartProjection, "mid=" + std::to_string(id)),
                   output, true) != ContentResult::Done) {
        return nullptr;
    }
    std::vector<MmsPartRow> parts = MmsPartsFromContentRows(output);
    std::erase_if(parts, [id](const MmsPartRow& p) { return p.mid != id; });
    qint64 budget = mms::kMaxReadBytes - 64 * 1024; // room for the texts and the file's own fields
    const mms::MediaMsg msg = BuildMediaMsg(*row, parts, [&](const MmsPartRow& part) {
        QByteArray data = ReadPart(part, budget);
        budget -= data.size();
        return data;
    });
    auto* out = new Mms();
    out->m_id = row->id;
    out->m_box = row->box;
    out->m_number = row->number;
    out->m_subject = row->subject;
    out->m_read = row->read;
    out->m_sim = row->sim;
    out->m_time = TimeFromMs(row->dateSeconds * 1000);
    out->m_data = msg.Save();
    return out;
}

bool CAdbMmsStore::SendOrSaveMms(Mms* mms) {
    LOG_Error("[AdbMmsStore] %s: a phone sends only when its user taps send in its own messages app, and adb's "
              "content tool cannot write the parts of a multimedia message. %s:%d",
              mms != nullptr && mms->m_send ? "send" : "save", LOG_HERE);
    return false;
}

} // namespace vexa::adbphone
