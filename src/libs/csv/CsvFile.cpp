#include "libs/csv/CsvFile.h"

#include "platform/CodePage.h"
#include "platform/ReadFile.h"

#include <QStringDecoder>

namespace {

constexpr qint64 kSampleBytes = 64 * 1024;

// UTF-16LE without a byte order mark: text files of Latin and CJK characters show many zero high
// bytes at odd offsets and few at even ones.
bool LooksLikeUtf16Le(const QByteArray& sample) {
    if (sample.size() < 4) {
        return false;
    }
    qsizetype oddZeros = 0;
    qsizetype evenZeros = 0;
    for (qsizetype i = 0; i + 1 < sample.size(); i += 2) {
        evenZeros += sample[i] == 0 ? 1 : 0;
        oddZeros += sample[i + 1] == 0 ? 1 : 0;
    }
    const qsizetype pairs = sample.size() / 2;
    return oddZeros * 10 >= pairs * 3 && evenZeros * 10 < pairs;
}

bool IsUtf8(const QByteArray& sample) {
    // A sample cut in the middle of a character is still UTF-8: the stateful decoder keeps the tail.
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString decoded = decoder(sample);
    return !decoder.hasError();
}

} // namespace

CCsvFileReaderEx::CCsvFileReaderEx() = default;
CCsvFileReaderEx::~CCsvFileReaderEx() = default;

int CCsvFileReaderEx::SetFilePath(const QString& path) {
    m_error.clear();
    m_atEnd = false;
    m_encoding = Encoding::Unknown;
    // A pipe or a device would block the first read or never end.
    if (IoResult opened = OpenRegularFile(m_file, path); !opened) {
        m_error = opened.error;
        return 0;
    }
    const QByteArray sample = m_file.peek(kSampleBytes);
    if (sample.startsWith("\xFF\xFE")) {
        m_encoding = Encoding::Utf16Le;
        m_file.read(2);
    } else if (sample.startsWith("\xEF\xBB\xBF")) {
        m_encoding = Encoding::Utf8;
        m_file.read(3);
    } else if (sample.startsWith("\xFE\xFF")) {
        m_error = QStringLiteral("UTF-16 big-endian text is not supported");
        m_file.close();
        return 0;
    } else if (LooksLikeUtf16Le(sample)) {
        m_encoding = Encoding::Utf16Le;
    } else {
        m_encoding = IsUtf8(sample) ? Encoding::Utf8 : Encoding::Ansi;
    }
    return 1;
}

bool CCsvFileReaderEx::ReadPhysicalLine(QString& line, bool& sawTerminator) {
    sawTerminator = false;
    QByteArray raw;
    const qint64 limit = kMaxLineChars * (m_encoding == Encoding::Utf16Le ? 2 : 3);
    if (m_encoding == Encoding::Utf16Le) {
        for (;;) {
            const QByteArray chunk = m_file.peek(64 * 1024);
            if (chunk.isEmpty()) {
                break;
            }
            qsizetype take = chunk.size() & ~qsizetype(1);
            for (qsizetype i = 0; i + 1 < chunk.size(); i += 2) {
                if (chunk[i] == '\n' && chunk[i + 1] == 0) {
                    take = i + 2;
                    sawTerminator = true;
                    break;
                }
            }
            if (take == 0) {
                m_file.read(chunk.size()); // a lone trailing byte cannot be a character
                break;
            }
            raw += m_file.read(take);
            if (sawTerminator || raw.size() > limit) {
                break;
            }
        }
        line = QString(reinterpret_cast<const QChar*>(raw.constData()), raw.size() / 2);
    } else {
        // '\n' never occurs inside a multi-byte character of UTF-8 or GBK, so bytes split safely here.
        // Read through a fixed buffer: asking QIODevice for a line of up to the limit would allocate
        // the whole limit for every line.
        char buffer[64 * 1024];
        for (;;) {
            const qint64 n = m_file.readLine(buffer, sizeof(buffer));
            if (n <= 0) {
                break;
            }
            raw.append(buffer, static_cast<qsizetype>(n));
            if (buffer[n - 1] == '\n' || raw.size() > limit) {
                break;
            }
        }
        sawTerminator = raw.endsWith('\n');
        line = m_encoding == Encoding::Utf8 ? QString::fromUtf8(raw) : AnsiToUnicode(raw);
    }
    if (raw.size() > limit) {
        m_error = QStringLiteral("a line is longer than %1 characters").arg(kMaxLineChars);
        return false;
    }
    return !raw.isEmpty();
}

int CCsvFileReaderEx::GetNextLine(QString& line) {
    line.clear();
    if (!m_file.isOpen() || HasError() || (m_atEnd && m_pending.isEmpty())) {
        return 0;
    }
    // What a lone CR left over from the previous record comes first.
    QString text = std::move(m_pending);
    m_pending.clear();
    bool any = !text.isEmpty();
    bool inQuotes = false;
    qsizetype scanned = 0;
    for (;;) {
        // A CR not followed by LF and outside quotes ends a record too (classic Mac files, and a
        // stray CR that would otherwise glue two records together and lose one).
        for (; scanned < text.size(); ++scanned) {
            const QChar c = text.at(scanned);
            if (c == u'"') {
                inQuotes = !inQuotes;
            } else if (c == u'\r' && !inQuotes && scanned + 1 < text.size() && text.at(scanned + 1) != u'\n') {
                line = text.left(scanned);
                m_pending = text.mid(scanned + 1);
                return 1;
            }
        }
        if (!inQuotes && text.endsWith(u'\n')) {
            break;
        }
        if (m_atEnd) {
            break;
        }
        QString piece;
        bool terminated = false;
        if (!ReadPhysicalLine(piece, terminated)) {
            if (HasError()) {
                line.clear();
                return 0;
            }
            m_atEnd = true;
            break;
        }
        any = true;
        text += piece;
        if (text.size() > kMaxLineChars) {
            m_error = QStringLiteral("a line is longer than %1 characters").arg(kMaxLineChars);
            return 0;
        }
        if (!terminated) {
            m_atEnd = true;
        }
    }
    if (text.endsWith(u'\n')) {
        text.chop(text.endsWith(QStringLiteral("\r\n")) ? 2 : 1);
    } else if (text.endsWith(u'\r') && !inQuotes) {
        text.chop(1); // the file ends with a lone CR
    }
    line = std::move(text);
    return any ? 1 : 0;
}

CCsvFileWriter::CCsvFileWriter() = default;
CCsvFileWriter::~CCsvFileWriter() = default;

IoResult CCsvFileWriter::Start(QIODevice& device, Encoding encoding) {
    m_device = &device;
    m_encoding = encoding;
    m_error.clear();
    IoResult bom = IoResult::Ok();
    if (encoding == Encoding::Utf16LeBom) {
        bom = WriteAll(device, "\xFF\xFE", 2);
    } else if (encoding == Encoding::Utf8Bom) {
        bom = WriteAll(device, "\xEF\xBB\xBF", 3);
    }
    if (!bom) {
        m_error = bom.error;
    }
    return bom;
}

bool CCsvFileWriter::Open(const QString& path, Encoding encoding) {
    m_file = std::make_unique<CAtomicFile>(path);
    if (IoResult opened = m_file->Open(); !opened) {
        m_error = opened.error;
        m_file.reset();
        return false;
    }
    return Start(m_file->Device(), encoding).ok;
}

bool CCsvFileWriter::WriteLine(const QString& line) {
    if (m_device == nullptr || !m_error.isEmpty()) {
        return false; // nothing more after a failed line: the file would have a hole
    }
    const QString text = line + QStringLiteral("\r\n");
    QByteArray bytes;
    switch (m_encoding) {
    case Encoding::Utf16LeBom:
        bytes = QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        break;
    case Encoding::Utf8Bom:
        bytes = text.toUtf8();
        break;
    case Encoding::Ansi:
        bytes = UnicodeToAnsi(text);
        break;
    }
    if (IoResult written = WriteAll(*m_device, bytes); !written) {
        m_error = written.error;
        return false;
    }
    return true;
}

bool CCsvFileWriter::Close() {
    m_device = nullptr;
    if (!m_file) {
        return m_error.isEmpty();
    }
    const std::unique_ptr<CAtomicFile> file = std::move(m_file);
    if (!m_error.isEmpty()) {
        file->Discard();
        return false;
    }
    if (IoResult committed = file->Commit(); !committed) {
        m_error = committed.error;
        return false;
    }
    return true;
}

QString CCsvFileWriter::ErrorString() const {
    return m_error;
}
