#include "platform/CodePage.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace {

// iconv descriptors are not thread-safe, so each call opens its own; conversions are short.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (Ok()) {
            iconv_close(m_cd);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_cd; }

private:
    iconv_t m_cd;
};

constexpr char kAnsi[] = "GB18030";
constexpr char kUtf16[] = "UTF-16LE";

// Converts as much as iconv accepts; on a bad sequence calls onBad(consumed input pointer) which
// appends a replacement and says how many input bytes to skip.
template <class OnBad> QByteArray Run(const Converter& conv, const char* in, std::size_t inLen, OnBad onBad) {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(inLen * 2 + 8));
    char buffer[4096];
    auto* src = const_cast<char*>(in);
    std::size_t left = inLen;
    while (left > 0) {
        char* dst = buffer;
        std::size_t room = sizeof(buffer);
        const std::size_t rc = iconv(conv.Get(), &src, &left, &dst, &room);
        out.append(buffer, static_cast<qsizetype>(dst - buffer));
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            // EILSEQ or EINVAL (truncated at the end): replace and step over.
            const std::size_t skip = onBad(out, src, left);
            src += skip;
            left -= skip;
            iconv(conv.Get(), nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

} // namespace

QString AnsiToUnicode(const QByteArray& ansi) {
    if (ansi.isEmpty()) {
        return {};
    }
    Converter conv(kUtf16, kAnsi);
    if (!conv.Ok()) {
        return QString::fromLatin1(ansi);
    }
    const QByteArray utf16 = Run(conv, ansi.constData(), static_cast<std::size_t>(ansi.size()),
                                 [](QByteArray& out, const char*, std::size_t) {
                                     out.append("\xFD\xFF", 2); // U+FFFD little-endian
                                     return std::size_t{1};
                                 });
    return QString(reinterpret_cast<const QChar*>(utf16.constData()), utf16.size() / 2);
}

bool DecodeNamedCharset(const QByteArray& bytes, const char* charset, QString* text) {
    Converter conv(kUtf16, charset);
    if (!conv.Ok()) {
        return false;
    }
    const QByteArray utf16 = Run(conv, bytes.constData(), static_cast<std::size_t>(bytes.size()),
                                 [](QByteArray& out, const char*, std::size_t) {
                                     out.append("\xFD\xFF", 2); // U+FFFD little-endian
                                     return std::size_t{1};
                                 });
    *text = QString(reinterpret_cast<const QChar*>(utf16.constData()), utf16.size() / 2);
    return true;
}

QByteArray UnicodeToAnsi(const QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    Converter conv(kAnsi, kUtf16);
    if (!conv.Ok()) {
        return text.toLatin1();
    }
    const auto* data = reinterpret_cast<const char*>(text.utf16());
    return Run(conv, data, static_cast<std::size_t>(text.size()) * 2,
               [](QByteArray& out, const char* at, std::size_t left) {
                   out.append('?');
                   // Skip a whole surrogate pair so that one character gives one '?'.
                   if (left >= 4) {
                       char16_t unit;
                       std::memcpy(&unit, at, 2);
                       if (unit >= 0xD800 && unit <= 0xDBFF) {
                           return std::size_t{4};
                       }
                   }
                   return left >= 2 ? std::size_t{2} : left;
               });
}

bool IsValidAnsi(const QByteArray& ansi) {
    if (ansi.isEmpty()) {
        return true;
    }
    Converter conv(kUtf16, kAnsi);
    if (!conv.Ok()) {
        return false;
    }
    bool valid = true;
    Run(conv, ansi.constData(), static_cast<std::size_t>(ansi.size()), [&](QByteArray&, const char*, std::size_t) {
        valid = false;
        return std::size_t{1};
    });
    return valid;
}

void CopyAnsiField(char* field, std::size_t size, const QString& text) {
    if (size == 0) {
        return;
    }
    std::memset(field, 0, size);
    const QByteArray ansi = UnicodeToAnsi(text);
    // Walk whole characters: a lead byte >= 0x81 starts a two-byte character, or a four-byte one
    // when a digit follows it.
    std::size_t used = 0;
    const auto total = static_cast<std::size_t>(ansi.size());
    while (used < total) {
        const auto lead = static_cast<unsigned char>(ansi[static_cast<qsizetype>(used)]);
        const auto next = used + 1 < total ? static_cast<unsigned char>(ansi[static_cast<qsizetype>(used + 1)]) : 0;
        const std::size_t width = lead < 0x81 ? 1 : (next >= 0x30 && next <= 0x39 ? 4 : 2);
        if (used + width > size - 1) {
            break;
        }
        used += width;
    }
    std::memcpy(field, ansi.constData(), used);
}
