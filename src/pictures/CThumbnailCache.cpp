#include "pictures/CThumbnailCache.h"

#include "bridge/api/PictureStore.h"
#include "libs/log/Log.h"
#include "platform/AtomicFile.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <algorithm>

namespace pictures {

CThumbnailCache::CThumbnailCache(QString folder, qint64 memoryLimit, QSize box)
    : m_folder(std::move(folder)), m_limit(memoryLimit), m_box(box) {
    if (!m_folder.isEmpty()) {
        QDir().mkpath(m_folder);
    }
}

QString CThumbnailCache::Key(const PictureItem& picture) {
    const SYSTEMTIME& t = picture.time;
    const QString text = QStringLiteral("%1|%2|%3-%4-%5 %6:%7:%8")
                             .arg(picture.path)
                             .arg(picture.size)
                             .arg(t.wYear)
                             .arg(t.wMonth)
                             .arg(t.wDay)
                             .arg(t.wHour)
                             .arg(t.wMinute)
                             .arg(t.wSecond);
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex());
}

CThumbnailCache::Plan CThumbnailCache::PlanThumbnail(QSize picture, QSize box) {
    const QRect whole(QPoint(0, 0), picture);
    if (picture.isEmpty() || box.isEmpty()) {
        return {whole, QSize()};
    }
    const QSize fit = picture.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    const int minSide = std::max(1, std::min(box.width(), box.height()) / 4);
    if (std::min(fit.width(), fit.height()) >= minSide) {
        return {whole, fit};
    }
    // Too thin to be seen whole: the middle of it, minSide thick and as long as the box.
    const bool wide = picture.width() >= picture.height();
    const int shortSide = wide ? picture.height() : picture.width();
    const int longSide = wide ? picture.width() : picture.height();
    const int boxLong = wide ? box.width() : box.height();
    // Scaled by minSide / shortSide, the box's length shows this much of the picture's.
    const auto visible = static_cast<int>(
        std::min<qint64>(longSide, (qint64(boxLong) * shortSide + minSide - 1) / minSide));
    const int start = (longSide - visible) / 2;
    const auto shownLong =
        static_cast<int>(std::clamp<qint64>((qint64(visible) * minSide + shortSide / 2) / shortSide, 1, boxLong));
    return wide ? Plan{QRect(start, 0, visible, shortSide), QSize(shownLong, minSide)}
                : Plan{QRect(0, start, shortSide, visible), QSize(minSide, shownLong)};
}

QImage CThumbnailCache::DecodeScaled(QIODevice& device, QSize box) {
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || box.isEmpty()) {
        return {};
    }
    // JPEG's reader decodes at an eighth of the size when asked for a small picture; the others
    // hold the whole picture before they clip and scale it, whatever option they take.
    const QByteArray format = reader.format();
    const bool decodesSmaller = format == "jpeg" || format == "jpg";
    const qint64 pixels = qint64(size.width()) * size.height();
    if (pixels > (decodesSmaller ? 64 * kMaxWholePixels : kMaxWholePixels)) {
        return {};
    }
    const Plan plan = PlanThumbnail(size, box);
    if (plan.clip != QRect(QPoint(0, 0), size)) {
        reader.setClipRect(plan.clip);
    }
    reader.setScaledSize(plan.size);
    QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    if (image.width() > box.width() || image.height() > box.height()) {
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

QString CThumbnailCache::DiskPath(const QString& key) const {
    return m_folder.isEmpty() ? QString() : QDir(m_folder).filePath(key + QStringLiteral(".png"));
}

void CThumbnailCache::Remember(const QString& key, const QImage& image) {
    std::lock_guard guard(m_lock);
    if (auto it = m_memory.find(key); it != m_memory.end()) {
        m_bytes -= it->image.sizeInBytes();
        m_uses.erase(it->use);
        m_memory.erase(it);
    }
    m_uses.push_front(key);
    m_memory.insert(key, Entry{image, m_uses.begin()});
    m_bytes += image.sizeInBytes();
    while (m_bytes > m_limit && m_uses.size() > 1) {
        const QString oldest = m_uses.back();
        m_uses.pop_back();
        if (auto it = m_memory.find(oldest); it != m_memory.end()) {
            m_bytes -= it->image.sizeInBytes();
            m_memory.erase(it);
        }
    }
}

QImage CThumbnailCache::Cached(const PictureItem& picture) {
    const QString key = Key(picture);
    std::lock_guard guard(m_lock);
    auto it = m_memory.find(key);
    if (it == m_memory.end()) {
        return {};
    }
    m_uses.splice(m_uses.begin(), m_uses, it->use);
    return it->image;
}

bool CThumbnailCache::Failed(const PictureItem& picture) const {
    std::lock_guard guard(m_lock);
    return m_failed.count(Key(picture)) != 0;
}

QImage CThumbnailCache::Get(vexa::PictureStore& store, const PictureItem& picture) {
    if (QImage cached = Cached(picture); !cached.isNull()) {
        return cached;
    }
    const QString key = Key(picture);
    if (Failed(picture)) {
        return {};
    }
    const QString disk = DiskPath(key);
    if (!disk.isEmpty()) {
        QFile file(disk);
        if (file.open(QIODevice::ReadOnly)) {
            if (QImage image = DecodeScaled(file, m_box); !image.isNull()) {
                Remember(key, image);
                return image;
            }
        }
    }
    QImage image;
    if (!picture.thumbnail.isEmpty()) {
        QBuffer buffer;
        buffer.setData(picture.thumbnail);
        buffer.open(QIODevice::ReadOnly);
        image = DecodeScaled(buffer, m_box);
    }
    if (image.isNull()) {
        QTemporaryDir scratch;
        const QString local = scratch.filePath(QStringLiteral("picture"));
        ++m_phoneFetches;
        if (scratch.isValid() && store.DownloadPicture(picture.path, local, {}, nullptr)) {
            QFile file(local);
            if (file.open(QIODevice::ReadOnly)) {
                image = DecodeScaled(file, m_box);
            }
        }
    }
    if (image.isNull()) {
        LOG_Info("[CThumbnailCache] no thumbnail for %s. %s:%d", qUtf8Printable(picture.path), LOG_HERE);
        std::lock_guard guard(m_lock);
        m_failed.insert(key);
        return {};
    }
    if (!disk.isEmpty()) {
        const IoResult saved = WriteFileAtomically(disk, [&image](QIODevice& out) {
            QImageWriter writer(&out, "png");
            return writer.write(image) ? IoResult::Ok() : IoResult::Fail(writer.errorString());
        });
        if (!saved) {
            LOG_Error("[CThumbnailCache] %s. %s:%d", qUtf8Printable(saved.error), LOG_HERE);
        }
    }
    Remember(key, image);
    return image;
}

qint64 CThumbnailCache::MemoryBytes() const {
    std::lock_guard guard(m_lock);
    return m_bytes;
}

} // namespace pictures
