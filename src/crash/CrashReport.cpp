#include "crash/CrashReport.h"

#include "platform/ReadFile.h"

#include <QStringDecoder>

namespace {

// Drops an incomplete UTF-8 sequence at the end of a cut.
QByteArray WithoutBrokenTail(QByteArray bytes) {
    int back = 0;
    while (back < 4 && back < bytes.size() && (static_cast<unsigned char>(bytes[bytes.size() - 1 - back]) & 0xC0) == 0x80) {
        ++back;
    }
    if (back < bytes.size() && (static_cast<unsigned char>(bytes[bytes.size() - 1 - back]) & 0xC0) == 0xC0) {
        const unsigned char lead = static_cast<unsigned char>(bytes[bytes.size() - 1 - back]);
        const int need = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
        if (back < need) {
            bytes.chop(back + 1);
        }
    }
    return bytes;
}

} // namespace

CrashReport ReadCrashReport(const QString& path, qint64 maxBytes) {
    CrashReport report;
    QFile file;
    if (!OpenRegularFile(file, path)) {
        return report;
    }
    QByteArray bytes = file.read(maxBytes + 1);
    report.found = true;
    if (bytes.size() > maxBytes) {
        report.cut = true;
        bytes = WithoutBrokenTail(bytes.left(maxBytes));
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    report.text = utf8.decode(bytes);
    if (utf8.hasError()) {
        report.notUtf8 = true;
        report.text = QString::fromLatin1(bytes);
    }
    report.text.remove(QChar(u'\0'));
    report.complete = !report.cut && report.text.contains(QLatin1String("===== [end of ERRORLOG.TXT] ====="));
    report.summary = report.text.section(QLatin1Char('\n'), 0, 0).trimmed();
    return report;
}
