// The phone's multimedia messages as Android's message provider shows them to the shell user:
// content://mms (subject kept as the Latin-1 characters of its UTF-8 bytes, as phones store it),
// content://mms/ID/addr, content://mms/part (a SMIL part, then each slide's picture, text and
// sound) and "content read" of one part's bytes. The phone file keeps each message whole; the
// parts are cut from it on every query. Read and delete only; meta "adb_denied" with "mms" refuses.
#include "PhoneDevice.h"
#include "ProviderQuery.h"

#include "bridge/api/BridgeTypes.h"
#include "bridge/sim/SimDb.h"
#include "libs/mms/MediaMsg.h"

#include <QDateTime>
#include <QFileInfo>

namespace vexa_adbd {

using vexa::sim::Stmt;

namespace {

struct Part {
    std::int64_t id;
    int seq;
    std::string type, name, text;
    QByteArray data;
};

std::string TypeOf(const QString& name, bool image) {
    const QString ext = QFileInfo(name).suffix().toLower();
    if (image) {
        return ext == QLatin1String("png") ? "image/png" : ext == QLatin1String("gif") ? "image/gif" : "image/jpeg";
    }
    return ext == QLatin1String("amr") ? "audio/amr" : "audio/mid";
}

// Part ids: the message id times 100 plus the part's place (a message has at most 31 parts).
std::vector<Part> PartsOf(std::int64_t mid, const QByteArray& blob) {
    std::vector<Part> parts;
    mms::MediaMsg msg;
    if (!mms::ParseMediaMsg(blob, &msg)) {
        return parts;
    }
    std::string smil = "<smil><head><layout><root-layout/></layout></head><body>";
    int k = 1;
    for (int i = 0; i < msg.SlideCount() && k < 97; ++i) {
        const mms::Slide& slide = *msg.GetSlide(i);
        smil += "<par dur=\"" + std::to_string(slide.durationMs) + "ms\">";
        if (!slide.image.IsEmpty()) {
            const std::string name = "image" + std::to_string(i) + "_" + slide.image.name.toStdString();
            smil += "<img src=\"" + name + "\" region=\"Image\"/>";
            parts.push_back({mid * 100 + k++, 0, TypeOf(slide.image.name, true), name, {}, slide.image.data});
        }
        if (!slide.text.isEmpty()) {
            const std::string name = "text_" + std::to_string(i) + ".txt";
            smil += "<text src=\"" + name + "\" region=\"Text\"/>";
            parts.push_back({mid * 100 + k++, 0, "text/plain", name, slide.text.toStdString(), {}});
        }
        if (!slide.sound.IsEmpty()) {
            const std::string name = "audio" + std::to_string(i) + "_" + slide.sound.name.toStdString();
            smil += "<audio src=\"" + name + "\"/>";
            parts.push_back({mid * 100 + k++, 0, TypeOf(slide.sound.name, false), name, {}, slide.sound.data});
        }
        smil += "</par>";
    }
    smil += "</body></smil>";
    parts.insert(parts.begin(), Part{mid * 100, -1, "application/smil", "smil.xml", smil, {}});
    return parts;
}

std::int64_t IdAfter(const std::string& text, const std::string& prefix) {
    if (!text.starts_with(prefix)) {
        return -1;
    }
    const std::string rest = text.substr(prefix.size());
    if (rest.empty() || rest.size() > 15 || rest.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    return std::stoll(rest);
}

void Row(std::string& out, int& n, const std::vector<std::pair<std::string, std::string>>& cells) {
    out += "Row: " + std::to_string(n++);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        out += (i == 0 ? " " : ", ") + cells[i].first + "=" + cells[i].second;
    }
    out += "\n";
}

} // namespace

int CPhoneDevice::MmsProvider(const std::string& verb, const std::string& uri, const std::string& projection,
                              const std::string& where, std::string& out) {
    if (Denied("mms")) {
        out += ProviderError("mms", "java.lang.SecurityException: Permission Denial: reading "
                                    "com.android.providers.telephony.MmsProvider uri " + uri +
                                        " from pid=4242, uid=2000 requires android.permission.READ_SMS");
        return 0;
    }
    (void)projection; // the columns are always the ones the adb store asks for
    const std::int64_t partId = IdAfter(uri, "content://mms/part/");
    if (verb == "read") {
        if (partId < 0) {
            out += ProviderError(uri, "java.lang.IllegalArgumentException: Unknown URI " + uri);
            return 0;
        }
        Stmt row(m_db, "SELECT data FROM mms WHERE id=?");
        row.Bind(1, partId / 100);
        if (row.Step()) {
            for (const Part& part : PartsOf(partId / 100, row.Blob(0))) {
                if (part.id == partId && !part.data.isEmpty()) {
                    out.append(part.data.constData(), static_cast<std::size_t>(part.data.size()));
                    return 0;
                }
            }
        }
        out += ProviderError(uri, "java.io.FileNotFoundException: No entry for content://mms/part/" +
                                      std::to_string(partId));
        return 0;
    }
    if (uri == "content://mms" && verb == "delete") {
        const std::int64_t id = IdAfter(where, "_id=");
        Stmt del(m_db, "DELETE FROM mms WHERE id=?");
        if (id < 0 || !del.Bind(1, id).Run()) {
            out += ProviderError("mms", "android.database.sqlite.SQLiteException: unsupported selection: " + where);
        }
        return 0;
    }
    if (verb != "query") {
        out += ProviderError("mms", "java.lang.UnsupportedOperationException: " + verb);
        return 0;
    }
    int n = 0;
    if (uri == "content://mms") {
        const std::int64_t only = where.empty() ? -1 : IdAfter(where, "_id=");
        if (!where.empty() && only < 0) {
            out += ProviderError("mms", "android.database.sqlite.SQLiteException: unsupported selection: " + where);
            return 0;
        }
        Stmt rows(m_db, "SELECT id, box, time, read, sim, subject FROM mms ORDER BY time DESC, id DESC");
        while (rows.Step()) {
            if (only >= 0 && rows.Int(0) != only) {
                continue;
            }
            const QDateTime when = vexa::FromSystemTime(vexa::UnpackTime(rows.Int(2)));
            const QByteArray subject = rows.Text(5).toUtf8();
            Row(out, n,
                {{"_id", std::to_string(rows.Int(0))},
                 {"msg_box", std::to_string(rows.Int(1))},
                 {"date", std::to_string(when.isValid() ? when.toSecsSinceEpoch() : 0)},
                 {"read", std::to_string(rows.Int(3))},
                 {"sub_id", rows.Int(4) > 0 ? std::to_string(rows.Int(4)) : "-1"},
                 {"sub_cs", subject.isEmpty() ? "NULL" : "106"},
                 {"sub", subject.isEmpty() ? "NULL" : QString::fromLatin1(subject).toStdString()}});
        }
    } else if (const std::int64_t mid = [&] {
                   const std::string tail = "/addr";
                   return uri.ends_with(tail) ? IdAfter(uri.substr(0, uri.size() - tail.size()), "content://mms/") : -1;
               }();
               mid >= 0) {
        Stmt row(m_db, "SELECT box, number FROM mms WHERE id=?");
        row.Bind(1, mid);
        if (row.Step()) {
            const bool received = row.Int(0) == 1;
            const std::string number = row.Text(1).toStdString();
            Row(out, n, {{"msg_id", std::to_string(mid)}, {"type", "137"}, {"address", received ? number : "insert-address-token"}});
            Row(out, n, {{"msg_id", std::to_string(mid)}, {"type", "151"}, {"address", received ? "insert-address-token" : number}});
        }
    } else if (uri == "content://mms/part") {
        const std::int64_t mid = IdAfter(where, "mid=");
        if (mid < 0) {
            out += ProviderError("mms", "android.database.sqlite.SQLiteException: unsupported selection: " + where);
            return 0;
        }
        Stmt row(m_db, "SELECT data FROM mms WHERE id=?");
        row.Bind(1, mid);
        if (row.Step()) {
            for (const Part& part : PartsOf(mid, row.Blob(0))) {
                Row(out, n,
                    {{"_id", std::to_string(part.id)},
                     {"mid", std::to_string(mid)},
                     {"seq", std::to_string(part.seq)},
                     {"ct", part.type},
                     {"name", part.name},
                     {"cl", part.name},
                     {"cid", "<" + part.name + ">"},
                     {"text", part.text.empty() ? "NULL" : part.text}});
            }
        }
    } else {
        out += ProviderError(uri, "java.lang.IllegalArgumentException: Unknown URI " + uri);
        return 0;
    }
    if (n == 0) {
        out += "No result found.\n";
    }
    return 0;
}

} // namespace vexa_adbd
