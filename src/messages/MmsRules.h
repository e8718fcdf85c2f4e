#pragma once
// The rules of composing and playing a multimedia message that need no window: the check before a
// save or send (empty slides pruned, subject, size), slide times, pictures fitted into 640 x 480,
// sounds read within the size limit, and the preview's clock. Pure functions over values, except
// the picture and sound readers, which read the user's files (bounded) and write the picture copy
// beside nothing of the user's: into the folder they are given. Any thread.

#include "libs/mms/MediaMsg.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

namespace mms {

// Why an action was refused: the text and caption ids of the string table (0: nothing refused) and
// the number to fill in, if the text takes one.
struct Refusal {
    int textId = 0;
    int captionId = 0;
    int arg = 0;
    QString text; // for a text that takes words (%s)
    explicit operator bool() const { return textId != 0; }
};
// The refusal as the user reads it.
QString RefusalText(const Refusal& refusal);

// Characters as the user counts them (a character outside the BMP is one).
int SubjectLength(const QString& subject);

// Before a save or send: slides without text, picture and sound are removed (from the last to the
// first); then "页面为空", a slide shorter than one second (the page rule, 3239), a subject over 40
// characters, and a saved size over 307,200 bytes are refused. When nothing is refused the subject
// stays and the date is set to now.
Refusal CheckBeforeSave(MediaMsg* msg, const QDateTime& now);
// A phone number as a recipient: at least one digit, an optional leading "+", and the separators
// people type (blanks and '-'); nothing else (no ';', line break or shell text).
bool IsMmsRecipient(const QString& recipient);
// Before a save or send, beside CheckBeforeSave: every recipient must be a phone number (refused
// naming them: 3269 for a save, 3251 for a send), and a send needs one (2471). The compose dialog
// and vexa-cli share it.
Refusal CheckRecipients(const MediaMsg& msg, bool send);
// The refusal for adding a slide to msg (full at ten), or none.
Refusal CheckAddSlide(const MediaMsg& msg);
// A slide time typed in seconds: below one second is refused.
Refusal CheckSlideSeconds(int seconds);

// The size a saved message takes, as text for the compose dialog's counter.
QString SizeCounterText(qint64 bytes);

// Reads the picture at source; one the image reader cannot read is refused with 3233. A copy goes
// into tempDir as "stretch_%04d.<gif|jpg>" (first free number from 1): pictures within 640 x 480
// are copied byte for byte, larger ones scaled to fit (a scaled GIF is written as JPEG, since the
// copy holds one frame and no GIF writer is at hand). The part holds the copy's name and bytes.
// Pictures over kMaxReadBytes or more than 50 M pixels are refused unread.
struct PictureResult {
    IoResult io = IoResult::Ok();
    Refusal refusal;
    MmsPart part;
    QString copyPath;
    bool scaled = false;
};
PictureResult PreparePicture(const QString& source, const QString& tempDir);
// The size a picture of width x height is fitted to (unchanged within 640 x 480; aspect kept).
QSize FittedPictureSize(QSize size);

// Reads a sound file whole; one that alone would pass the message limit is refused with 3274
// without being read.
struct SoundResult {
    IoResult io = IoResult::Ok();
    Refusal refusal;
    MmsPart part;
};
SoundResult ReadSound(const QString& path);

// Saves the picture and the sound of a slide into folder, each under its own file name (only the
// name's last part; "attachment" when none is left); a name taken already gets " (2)", " (3)" ...
// before its extension, so nothing there is overwritten. Each file is written whole or not at all.
// saved gets the paths written; the first failure ends it.
IoResult SaveSlideAttachments(const Slide& slide, const QString& folder, QStringList* saved);
// The first of name, "base (2).ext", "base (3).ext" ... that does not exist in folder.
QString FreeFileName(const QString& folder, const QString& name);

// The preview's clock: each slide plays its duration in order; past the end it starts again.
class PlayClock {
public:
    explicit PlayClock(const MediaMsg& msg);
    qint64 TotalMs() const { return m_total; }
    int SlideCount() const { return static_cast<int>(m_starts.size()); }
    // When each slide starts, from 0.
    const std::vector<qint64>& Starts() const { return m_starts; }
    // The slide shown at elapsed milliseconds (wrapped to the total); -1 without slides.
    int SlideAt(qint64 elapsedMs) const;
    qint64 Wrap(qint64 elapsedMs) const;

private:
    std::vector<qint64> m_starts;
    qint64 m_total = 0;
};
// "%02d:%02d", minutes and seconds of ms.
QString PlayTimeText(qint64 ms);

} // namespace mms
