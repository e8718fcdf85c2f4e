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

QImage CThumbnailCache::DecodeScaled(QIODevice& device, QSize box) {
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty()) {
        return {};
    }
    const QSize scaled = size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    const bool scalesWhileDecoding = reader.supportsOption(QImageIOHandler::ScaledSize);
    if (!scalesWhileDecoding && qint64(size.width()) * size.height() > kMaxWholePixels) {
        return {};
    }
    if (scalesWhileDecoding) {
        reader.setScaledSize(scaled);
    }
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
