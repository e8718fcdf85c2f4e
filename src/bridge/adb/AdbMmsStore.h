#pragma once
// The phone's multimedia messages through Android's message provider, read only. Messages come
// from "content query --uri content://mms" (box, date in seconds, subject with its character set),
// their numbers from content://mms/ID/addr (the sender of a received message, the first recipient
// otherwise; all asked in a few shell lines), and a message's parts, when it is opened, from
// content://mms/part: texts from the part rows, pictures and sounds with "content read" (binary,
// through exec) where the phone allows it; a part it will not hand out is left out and logged. The
// parts are put back into slides by the message's SMIL (in order of the parts where there is none)
// and handed over as the file of libs/mms, as every MMS store does.
//
// Sending and saving are refused with their reason: a phone sends only on its user's tap, and the
// content tool cannot write the parts of a message. Deleting goes through the provider and is
// read back. Owned by the session; calls are serialised. A message is read up to mms::kMaxReadBytes
// of part data; the rest of a larger one is left out.

#include "bridge/adb/AdbLink.h"
#include "bridge/api/MessageStores.h"
#include "libs/mms/MediaMsg.h"

#include <mutex>
#include <string_view>
#include <vector>

namespace vexa::adbphone {

// One row of content://mms.
struct MmsRow {
    std::int64_t id = -1;
    int box = BOX_INBOX;
    qint64 dateSeconds = 0;
    bool read = true;
    int sim = 0;
    QString subject;
    QString number;
};

// One row of content://mms/part.
struct MmsPartRow {
    std::int64_t id = -1;
    std::int64_t mid = -1;
    int seq = 0;
    QString type; // content type, lower case
    QString name;
    QString location; // "cl"
    QString contentId; // "cid" without its angle brackets
    QString text;
};

// One slide of a SMIL presentation: its time and the parts it names.
struct SmilSlide {
    int durationMs = 0;
    QString image, text, audio;
};

// Pure parsers of what the content tool prints, for tests. Rows without a numeric id are left out;
// boxes outside 1..5 read as the inbox; a subject stored as the raw bytes of its character set
// (UTF-8, 106) is decoded.
std::vector<MmsRow> MmsFromContentRows(std::string_view output);
std::vector<MmsPartRow> MmsPartsFromContentRows(std::string_view output);
// (message id, address type, address) of content://mms/ID/addr rows, several queries' output in one.
struct MmsAddress {
    std::int64_t mid = -1;
    int type = 0;
    QString address;
};
std::vector<MmsAddress> MmsAddressesFromContentRows(std::string_view output);
// The number a message is listed under: the sender (137) of a received one, else the first
// recipient (151); the phone's "insert-address-token" placeholder never.
QString MmsNumberFor(int box, std::int64_t mid, const std::vector<MmsAddress>& addresses);
// The subject as stored: the provider keeps the bytes of charset as Latin-1 characters.
QString DecodeMmsText(const QString& stored, int charset);
// The <par> elements of a SMIL text (at most mms::kMaxReadSlides; a damaged text gives what was
// read before the damage). Durations "5000ms", "5s" and "5" (seconds).
std::vector<SmilSlide> ParseSmil(const QString& smil);
// Why "content read" of a part printed no part: the refusal line (a phone without the read command,
// a provider error, a denied read), or empty when output is the part's bytes. Only the first bytes
// are looked at: a picture may well hold such text further in.
std::string PartReadRefusal(std::string_view output);
// The message from its row, its parts and the data of its pictures and sounds (by part id; a part
// with no data is left out).
mms::MediaMsg BuildMediaMsg(const MmsRow& row, const std::vector<MmsPartRow>& parts,
                            const std::function<QByteArray(const MmsPartRow&)>& data);

class CAdbMmsStore final : public MmsStore {
public:
    explicit CAdbMmsStore(CAdbLink& link) : m_link(link) {}

    int LoadMms() override;
    bool IsMmsLoaded() override;
    bool ListMms(std::vector<MSGINFO>* list) override;
    bool ListDraftMms(std::vector<MSGINFO>* list) override;
    bool DeleteMms(std::int64_t id) override;
    bool SearchMms(const QString& keyword, std::vector<MSGINFO>* list) override;
    Mms* NewMms() override { return new Mms(); }
    Mms* GetMmsById(std::int64_t id) override;
    bool SendOrSaveMms(Mms* mms) override;

private:
    using Lock = std::lock_guard<std::recursive_mutex>;
    bool List(std::vector<MSGINFO>* list, int mode, const QString& keyword);
    QByteArray ReadPart(const MmsPartRow& part, qint64 budget);

    CAdbLink& m_link;
    std::recursive_mutex m_lock;
    std::vector<MmsRow> m_rows;
    bool m_loaded = false;
};

} // namespace vexa::adbphone
