#pragma once
// A multimedia message as the compose dialog edits it and the preview plays it: subject,
// recipients, date and up to ten slides of text, picture and sound, and the one file format it is
// saved in (the bytes an MMS store keeps). Values only, no phone; any thread.
//
// File format ("VXMMS" files; all numbers little-endian):
//   "VXMMS\x01\0\0"  u64 date (ms since 1970, UTC)  u16 subject bytes + UTF-8
//   u8 recipient count, each u16 bytes + UTF-8   u8 slide count, each:
//     u32 duration ms  u32 text bytes + UTF-8  u16 picture name bytes + UTF-8  u32 picture bytes + data
//     u16 sound name bytes + UTF-8  u32 sound bytes + data
// Example: a message without slides, subject "a", one recipient "10086" is 8+8+2+1+1+2+5+1 = 28 bytes.

#include "platform/IoResult.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

namespace mms {

class MediaMsg;
IoResult ParseMediaMsg(const QByteArray& bytes, MediaMsg* out);

constexpr int kMaxSlides = 10;
constexpr int kMaxSubjectChars = 40;
constexpr qint64 kMaxMessageBytes = 307200; // 300 KB as the file is saved
constexpr int kMaxPictureWidth = 640;
constexpr int kMaxPictureHeight = 480;
constexpr int kNewSlideMs = 5000;
constexpr int kMinSlideMs = 1000;
// A message read from a file or a phone may be larger than one we compose (phones receive more),
// but never more than this is read or parsed.
constexpr qint64 kMaxReadBytes = 8 * 1024 * 1024;
constexpr int kMaxReadSlides = 100;

enum SlideFlag { SLIDE_TEXT = 1, SLIDE_IMAGE = 2, SLIDE_SOUND = 4 };

// A picture or sound of a slide: its file name (never a path) and bytes.
struct MmsPart {
    QString name;
    QByteArray data;
    bool IsEmpty() const { return data.isEmpty(); }
    bool operator==(const MmsPart&) const = default;
};

struct Slide {
    int durationMs = kNewSlideMs;
    QString text;
    MmsPart image;
    MmsPart sound;
    bool operator==(const Slide&) const = default;
};

// Which parts the slide holds: SLIDE_TEXT, SLIDE_IMAGE and SLIDE_SOUND combined.
int MMS_GetSlideFlags(const Slide& slide);
Slide MMS_NewSlide();

class MediaMsg {
public:
    QString Subject() const { return m_subject; }
    void SetSubject(const QString& subject) { m_subject = subject; }
    QStringList Recipients() const { return m_recipients; }
    void SetRecipient(const QStringList& numbers) { m_recipients = numbers; }
    QDateTime Date() const { return m_date; }
    // Kept to the millisecond in UTC, as the file holds it.
    void SetDate(const QDateTime& date);

    // The new slide's index, or -1 when the message already holds kMaxSlides.
    int AddSlide(const Slide& slide);
    // Adds the slide after index (at the end for -1); -1 when full.
    int InsertSlide(int afterIndex, const Slide& slide);
    bool RemoveSlide(int index);
    int SlideCount() const { return static_cast<int>(m_slides.size()); }
    Slide* GetSlide(int index);
    const Slide* GetSlide(int index) const;
    const std::vector<Slide>& Slides() const { return m_slides; }

    // For messages read from a phone, which may hold more slides than one composed here: adds up to
    // kMaxReadSlides; false beyond.
    bool AppendReadSlide(const Slide& slide);

    // The file bytes; the size a store sees.
    QByteArray Save() const;
    IoResult SaveToFile(const QString& path) const;

    bool operator==(const MediaMsg&) const = default;

private:
    friend IoResult ParseMediaMsg(const QByteArray& bytes, MediaMsg* out);

    QString m_subject;
    QStringList m_recipients;
    QDateTime m_date;
    std::vector<Slide> m_slides;
};

// Reads the file bytes back; a damaged, truncated or oversized message is refused with the reason
// and out is left as it was. Part names are cut to their last path component.
IoResult ParseMediaMsg(const QByteArray& bytes, MediaMsg* out);
IoResult LoadMediaMsg(const QString& path, MediaMsg* out);

// A part name fit to be a file name: the last component of any path ('/' or '\\'), without control
// characters or ':'; "part" when nothing is left; at most 128 characters.
QString SafePartName(const QString& name);

} // namespace mms
