#include "messages/MmsRules.h"

#include "platform/AtomicFile.h"
#include "platform/ReadFile.h"
#include "platform/SizeText.h"
#include "platform/StringTable.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

namespace mms {

namespace {

constexpr int kTextPageEmpty = 3236;
constexpr int kTextSubjectTooLong = 3237;
constexpr int kTextTooLarge = 3238;
constexpr int kTextFull = 3230;
constexpr int kTextMinTime = 3239;
constexpr int kTextNoRecipient = 2471;
constexpr int kTextBadRecipientsSend = 3251;
constexpr int kTextBadRecipientsSave = 3269;
constexpr int kTextBadPicture = 3233;
constexpr int kTextSoundTooLarge = 3274;
constexpr int kCaptionTip = 330;       // "提示"
constexpr int kCaptionSaveFailed = 141; // "保存失败！"
constexpr qint64 kMaxPicturePixels = 50LL * 1000 * 1000;

Refusal Make(int textId, int captionId, int arg) {
    Refusal refusal;
    refusal.textId = textId;
    refusal.captionId = captionId;
    refusal.arg = arg;
    return refusal;
}

} // namespace

QString RefusalText(const Refusal& refusal) {
    if (!refusal) {
        return {};
    }
    const QString& format = Str(refusal.textId);
    if (format.contains(QLatin1String("%s"))) {
        return FormatText(format, qUtf8Printable(refusal.text));
    }
    return format.contains(QLatin1String("%d")) ? FormatText(format, refusal.arg) : format;
}

int SubjectLength(const QString& subject) {
    return static_cast<int>(subject.toUcs4().size());
}

Refusal CheckBeforeSave(MediaMsg* msg, const QDateTime& now) {
    for (int i = msg->SlideCount() - 1; i >= 0; --i) {
        if (MMS_GetSlideFlags(*msg->GetSlide(i)) == 0) {
            msg->RemoveSlide(i);
        }
    }
    if (msg->SlideCount() == 0) {
        return Make(kTextPageEmpty, kCaptionTip, 0);
    }
    for (const Slide& slide : msg->Slides()) {
        if (slide.durationMs < kMinSlideMs) {
            return Make(kTextMinTime, kCaptionTip, 0);
        }
    }
    if (SubjectLength(msg->Subject()) > kMaxSubjectChars) {
        return Make(kTextSubjectTooLong, kCaptionSaveFailed, kMaxSubjectChars);
    }
    msg->SetDate(now);
    if (msg->Save().size() > kMaxMessageBytes) {
        return Make(kTextTooLarge, kCaptionTip, static_cast<int>(kMaxMessageBytes / 1024));
    }
    return {};
}

bool IsMmsRecipient(const QString& recipient) {
    int digits = 0;
    for (qsizetype i = 0; i < recipient.size(); ++i) {
        const char16_t c = recipient[i].unicode();
        if (c >= u'0' && c <= u'9') {
            ++digits;
        } else if (c == u'+') {
            if (digits != 0 || recipient.left(i).trimmed().size() != 0) {
                return false; // only in front
            }
        } else if (c != u' ' && c != u'-') {
            return false;
        }
    }
    return digits > 0;
}

Refusal CheckRecipients(const MediaMsg& msg, bool send) {
    QStringList bad;
    for (const QString& recipient : msg.Recipients()) {
        if (!IsMmsRecipient(recipient)) {
            // Shown on one line each, whatever the text holds.
            bad << QString(recipient).replace(u'\n', u' ').replace(u'\r', u' ');
        }
    }
    if (!bad.isEmpty()) {
        Refusal refusal = Make(send ? kTextBadRecipientsSend : kTextBadRecipientsSave, kCaptionTip, 0);
        refusal.text = bad.join(QStringLiteral(", "));
        return refusal;
    }
    if (send && msg.Recipients().isEmpty()) {
        return Make(kTextNoRecipient, kCaptionTip, 0);
    }
    return {};
}

Refusal CheckAddSlide(const MediaMsg& msg) {
    if (msg.SlideCount() >= kMaxSlides) {
        return Make(kTextFull, kCaptionTip, 0);
    }
    return {};
}

Refusal CheckSlideSeconds(int seconds) {
    if (static_cast<qint64>(seconds) * 1000 < kMinSlideMs) {
        return Make(kTextMinTime, kCaptionTip, 0);
    }
    return {};
}

QString SizeCounterText(qint64 bytes) {
    return FormatText(Str(3265), qUtf8Printable(FormatSizeText(bytes)));
}

QSize FittedPictureSize(QSize size) {
    if (size.width() <= kMaxPictureWidth && size.height() <= kMaxPictureHeight) {
        return size;
    }
    QSize fitted = size.scaled(kMaxPictureWidth, kMaxPictureHeight, Qt::KeepAspectRatio);
    return fitted.expandedTo(QSize(1, 1));
}

PictureResult PreparePicture(const QString& source, const QString& tempDir) {
    PictureResult result;
    QByteArray bytes;
    if (IoResult read = ReadRegularFile(source, kMaxReadBytes, &bytes); !read) {
        result.io = read;
        result.refusal = Make(kTextBadPicture, kCaptionTip, 0);
        return result;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    const QSize size = reader.size();
    if (format.isEmpty() || !size.isValid() || static_cast<qint64>(size.width()) * size.height() > kMaxPicturePixels) {
        result.io = IoResult::Fail(QStringLiteral("%1 is not a picture that can be read").arg(source));
        result.refusal = Make(kTextBadPicture, kCaptionTip, 0);
        return result;
    }
    const QSize fitted = FittedPictureSize(size);
    result.scaled = fitted != size;
    const bool gif = format == "gif";
    QByteArray out;
    if (result.scaled) {
        reader.setScaledSize(fitted);
    }
    // Decoding even an unscaled picture proves it is whole; a truncated file is refused here.
    const QImage image = reader.read();
    if (image.isNull()) {
        result.io = IoResult::Fail(QStringLiteral("%1: %2").arg(source, reader.errorString()));
        result.refusal = Make(kTextBadPicture, kCaptionTip, 0);
        return result;
    }
    if (result.scaled) {
        QBuffer sink(&out);
        sink.open(QIODevice::WriteOnly);
        if (!image.convertToFormat(QImage::Format_RGB32).save(&sink, "JPEG", 85)) {
            result.io = IoResult::Fail(QStringLiteral("could not scale %1").arg(source));
            result.refusal = Make(kTextBadPicture, kCaptionTip, 0);
            return result;
        }
    } else {
        out = bytes;
    }
    const QString extension = (gif && !result.scaled) ? QStringLiteral("gif") : QStringLiteral("jpg");
    QDir dir(tempDir);
    QString name;
    for (int n = 1; n < 100000; ++n) {
        name = QString::asprintf("stretch_%04d.", n) + extension;
        if (!NameTaken(dir.filePath(name))) {
            break;
        }
    }
    result.copyPath = dir.filePath(name);
    result.io = WriteFileAtomically(result.copyPath, [&](QIODevice& dev) { return WriteAll(dev, out); });
    if (!result.io) {
        return result;
    }
    result.part = {name, out};
    return result;
}

SoundResult ReadSound(const QString& path) {
    SoundResult result;
    QFile file;
    if (IoResult open = OpenRegularFile(file, path); !open) {
        result.io = open;
        return result;
    }
    if (file.size() > kMaxMessageBytes) {
        result.refusal = Make(kTextSoundTooLarge, kCaptionTip, 0);
        result.io = IoResult::Fail(QStringLiteral("%1 holds %2 bytes").arg(path).arg(file.size()));
        return result;
    }
    // Read at most one byte past the limit, in case the file grew since its size was taken.
    QByteArray data = file.read(kMaxMessageBytes + 1);
    if (data.size() > kMaxMessageBytes) {
        result.refusal = Make(kTextSoundTooLarge, kCaptionTip, 0);
        result.io = IoResult::Fail(QStringLiteral("%1 grew while it was read").arg(path));
        return result;
    }
    if (data.isEmpty()) {
        result.io = IoResult::Fail(QStringLiteral("%1 is empty").arg(path));
        return result;
    }
    result.part = {SafePartName(QFileInfo(path).fileName()), data};
    return result;
}

PlayClock::PlayClock(const MediaMsg& msg) {
    for (const Slide& slide : msg.Slides()) {
        m_starts.push_back(m_total);
        // A received slide may claim no time at all; it still shows for the shortest page time.
        m_total += std::max(slide.durationMs, kMinSlideMs);
    }
}

qint64 PlayClock::Wrap(qint64 elapsedMs) const {
    if (m_total <= 0 || elapsedMs < 0) {
        return 0;
    }
    return elapsedMs % m_total;
}

int PlayClock::SlideAt(qint64 elapsedMs) const {
    if (m_starts.empty()) {
        return -1;
    }
    const qint64 t = Wrap(elapsedMs);
    const auto next = std::upper_bound(m_starts.begin(), m_starts.end(), t);
    return static_cast<int>(next - m_starts.begin()) - 1;
}

QString PlayTimeText(qint64 ms) {
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    return QString::asprintf("%02lld:%02lld", seconds / 60, seconds % 60);
}

QString FreeFileName(const QString& folder, const QString& name) {
    const QDir dir(folder);
    const QFileInfo info(name);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    QString candidate = name;
    for (int n = 2; QFileInfo::exists(dir.filePath(candidate)); ++n) {
        candidate = QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(suffix);
    }
    return dir.filePath(candidate);
}

IoResult SaveSlideAttachments(const Slide& slide, const QString& folder, QStringList* saved) {
    for (const MmsPart* part : {&slide.image, &slide.sound}) {
        if (part->IsEmpty()) {
            continue;
        }
        // A name from the message is never a path: "../x" and "a\\b" keep only their last part.
        QString name = part->name.section(u'/', -1).section(u'\\', -1).trimmed();
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
            name = QStringLiteral("attachment");
        }
        CAtomicFile file(FreeFileName(folder, name));
        if (IoResult opened = file.Open(); !opened) {
            return opened;
        }
        file.Device().write(part->data);
        if (IoResult done = file.Commit(); !done) {
            return done;
        }
        if (saved != nullptr) {
            *saved << file.Target();
        }
    }
    return IoResult::Ok();
}

} // namespace mms
