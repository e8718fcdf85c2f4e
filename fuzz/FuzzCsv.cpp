// CSV lines and files: splitting never crashes, and joining what was split splits back the same.
#include "libs/csv/Csv.h"
#include "libs/csv/CsvFile.h"

#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QStringList cells;
    if (CsvSplitLine(QString::fromUtf8(bytes), cells)) {
        QStringList again;
        if (!CsvSplitLine(CsvJoinLine(cells), again) || again != cells) {
            std::abort();
        }
    }
    static const QString path = QStringLiteral("/dev/shm/vexa-fuzz-csv-%1.csv").arg(::getpid());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        f.write(bytes);
        f.close();
        CCsvFileReaderEx reader;
        if (reader.SetFilePath(path) != 0) {
            QString line;
            while (reader.GetNextLine(line) != 0) {
                LCSV_Release(LCSV_Parse(line));
            }
        }
    }
    return 0;
}
