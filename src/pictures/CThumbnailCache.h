#pragma once
// Thumbnails of phone pictures for the grid: made once, kept on disk by (phone path, size, time)
// so a second visit does not go to the phone, and held in memory up to a byte limit (least recently
// used go first).
//
// Making one: the store's own small image when it has one, else the picture fetched into a scratch
// folder; either is decoded scaled to fit the box, keeping its shape. A very long thin picture
// (a panorama of 100000 x 20, say) would fit as a line a pixel high: it shows its middle part
// instead, at least a quarter of the box thick. Only JPEG is decoded at a smaller scale (an eighth
// at most); every other format is decoded whole, and only up to kMaxWholePixels (JPEG up to 64
// times that); beyond that a picture gets no thumbnail (and is not fetched again this run).
//
// Thread-safe: the grid's worker makes thumbnails while the UI thread asks for cached ones.

#include "pictures/PictureLibrary.h"

#include <QHash>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <atomic>
#include <list>
#include <mutex>
#include <set>

class QIODevice;

namespace pictures {

class CThumbnailCache {
public:
    // folder: where thumbnails are kept on disk (made when missing; empty: memory only).
    CThumbnailCache(QString folder, qint64 memoryLimit = kDefaultMemoryLimit, QSize box = QSize(120, 120));

    static constexpr qint64 kDefaultMemoryLimit = 48ll * 1024 * 1024;
    static constexpr qint64 kMaxWholePixels = 24ll * 1000 * 1000;

    // The thumbnail when it is in memory; a null image otherwise. Never touches disk or phone.
    QImage Cached(const PictureItem& picture);
    // From memory, disk or the phone, in that order; a null image when the picture cannot be read.
    // Call inside the session gate.
    QImage Get(vexa::PictureStore& store, const PictureItem& picture);
    // Whether Get gave up on the picture this run.
    bool Failed(const PictureItem& picture) const;

    qint64 MemoryBytes() const;
    int PhoneFetches() const { return m_phoneFetches.load(); }

    // The cache key: a digest of the phone path, size and time.
    static QString Key(const PictureItem& picture);
    // Decodes an image to fit in box without holding more than the limit above; null on failure.
    static QImage DecodeScaled(QIODevice& device, QSize box);

    // What of a picture is shown and at which size: clip (in the picture's pixels) scaled to size.
    struct Plan {
        QRect clip;
        QSize size;
    };
    static Plan PlanThumbnail(QSize picture, QSize box);

private:
    void Remember(const QString& key, const QImage& image);
    QString DiskPath(const QString& key) const;

    const QString m_folder;
    const qint64 m_limit;
    const QSize m_box;

    mutable std::mutex m_lock;
    struct Entry {
        QImage image;
        std::list<QString>::iterator use;
    };
    QHash<QString, Entry> m_memory;
    std::list<QString> m_uses; // most recent first
    qint64 m_bytes = 0;
    std::set<QString> m_failed;
    std::atomic<int> m_phoneFetches{0};
};

} // namespace pictures
