#include "bridge/adb/ScreenRecordStream.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace vexa::adbphone {

namespace {

constexpr std::uint32_t kRgb888 = 3;
constexpr int kRawHeader = 12;     // screencap's raw header without the colour-space word
constexpr int kOpeningBytes = 200; // kept of a stream that gave no frame

std::uint32_t Word(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(u[0]) | std::uint32_t(u[1]) << 8 | std::uint32_t(u[2]) << 16 | std::uint32_t(u[3]) << 24;
}

void PutWord(char* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<char>((value >> (8 * i)) & 0xff);
    }
}

} // namespace

QSize StreamSize(QSize screen, int maxSide) {
    if (screen.width() <= 0 || screen.height() <= 0 || maxSide < 2) {
        return {};
    }
    const double factor = std::min(1.0, std::min(double(maxSide) / screen.width(), double(maxSide) / screen.height()));
    const auto even = [](double side) { return std::max(2, static_cast<int>(side) & ~1); };
    return {even(screen.width() * factor), even(screen.height() * factor)};
}

QSize ParseWmSize(const std::string& output) {
    QSize size;
    const QString text = QString::fromUtf8(output);
    for (const char* label : {"Override size: (\\d{1,5})x(\\d{1,5})", "Physical size: (\\d{1,5})x(\\d{1,5})"}) {
        const QRegularExpressionMatch m = QRegularExpression(QString::fromLatin1(label)).match(text);
        if (m.hasMatch()) {
            size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
            if (!size.isEmpty()) {
                return size;
            }
        }
    }
    return {};
}

std::string ScreenRecordCommand(QSize size, int timeLimitS) {
    return "screenrecord --output-format=frames --size " + std::to_string(size.width()) + "x" +
           std::to_string(size.height()) + " --time-limit " + std::to_string(timeLimitS) + " -";
}

CScreenRecordReader::CScreenRecordReader(QSize maxSize, FrameSink sink) : m_maxSize(maxSize), m_sink(std::move(sink)) {}

bool CScreenRecordReader::Fail(QString reason) {
    if (m_error.isEmpty()) {
        m_error = std::move(reason);
    }
    m_frame = QByteArray();
    return false;
}

bool CScreenRecordReader::StartFrame() {
    const std::uint32_t length = Word(m_header);
    const std::int64_t width = Word(m_header + 4);
    const std::int64_t height = Word(m_header + 8);
    const std::int64_t stride = Word(m_header + 12);
    const std::uint32_t format = Word(m_header + 16);
    const int longest = std::max(m_maxSize.width(), m_maxSize.height());
    const int shortest = std::min(m_maxSize.width(), m_maxSize.height());
    if (width <= 0 || height <= 0 || std::max(width, height) > longest || std::min(width, height) > shortest) {
        return Fail(QStringLiteral("a frame of %1 x %2 in a stream of %3 x %4")
                        .arg(width)
                        .arg(height)
                        .arg(m_maxSize.width())
                        .arg(m_maxSize.height()));
    }
    if (format != kRgb888 || stride != width * 3) {
        return Fail(
            QStringLiteral("pixel format %1, rows of %2 bytes for %3 pixels").arg(format).arg(stride).arg(width));
    }
    const std::int64_t pixels = stride * height;
    if (length != 16 + pixels) {
        return Fail(QStringLiteral("the header says %1 bytes for %2 x %3").arg(length).arg(width).arg(height));
    }
    m_frame = QByteArray(kRawHeader + static_cast<qsizetype>(pixels), Qt::Uninitialized);
    PutWord(m_frame.data(), static_cast<std::uint32_t>(width));
    PutWord(m_frame.data() + 4, static_cast<std::uint32_t>(height));
    PutWord(m_frame.data() + 8, kRgb888);
    m_filled = kRawHeader;
    return true;
}

bool CScreenRecordReader::Feed(std::string_view data) {
    if (Failed()) {
        return false;
    }
    if (m_frames == 0 && m_opening.size() < kOpeningBytes) {
        m_opening.append(data.data(),
                         static_cast<qsizetype>(std::min<std::size_t>(data.size(), kOpeningBytes - m_opening.size())));
    }
    while (!data.empty()) {
        if (m_frame.isEmpty()) {
            const auto take = std::min<std::size_t>(data.size(), sizeof m_header - m_headerBytes);
            std::memcpy(m_header + m_headerBytes, data.data(), take);
            m_headerBytes += static_cast<int>(take);
            data.remove_prefix(take);
            if (m_headerBytes < static_cast<int>(sizeof m_header)) {
                return true;
            }
            m_headerBytes = 0;
            if (!StartFrame()) {
                return false;
            }
            continue;
        }
        const auto take = std::min<std::size_t>(data.size(), static_cast<std::size_t>(m_frame.size() - m_filled));
        std::memcpy(m_frame.data() + m_filled, data.data(), take);
        m_filled += static_cast<qsizetype>(take);
        data.remove_prefix(take);
        if (m_filled == m_frame.size()) {
            ++m_frames;
            m_sink(std::exchange(m_frame, QByteArray()));
        }
    }
    return true;
}

bool CScreenRecordReader::Finish() {
    if (Failed()) {
        return false;
    }
    if (!m_frame.isEmpty() || m_headerBytes > 0) {
        const qsizetype expected = m_frame.isEmpty() ? 20 : m_frame.size() - kRawHeader + 20;
        const qsizetype got = m_frame.isEmpty() ? m_headerBytes : m_filled - kRawHeader + 20;
        return Fail(QStringLiteral("the stream ended inside a frame (%1 of %2 bytes)").arg(got).arg(expected));
    }
    return true;
}

} // namespace vexa::adbphone
