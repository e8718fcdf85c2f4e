// Throughput of the file formats that users' data passes through: contacts CSV and vCard, and the
// backup package (against zlib's own deflate of the same bytes at the same level).
#include "backup/BackupPackage.h"
#include "libs/csv/Csv.h"
#include "libs/csv/CsvFile.h"
#include "libs/pinyin/Pinyin.h"
#include "libs/vcard/VCard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <zlib.h>

namespace {

QString ContactLine(int i) {
    return CsvJoinLine({QStringLiteral("张伟%1").arg(i), QStringLiteral("张"), QStringLiteral("伟"), QString(),
                        QString(), QString(), QStringLiteral("老张"), QStringLiteral("北京某某科技有限公司, 研发部"),
                        QStringLiteral("研发"), QStringLiteral("工程师"),
                        QStringLiteral("1380013%1").arg(i, 4, 10, QChar(u'0')), QStringLiteral("[2]"),
                        QStringLiteral("010-6288%1").arg(i % 10000), QStringLiteral("[1]"),
                        QStringLiteral("zhangwei%1@example.com").arg(i), QStringLiteral("[1]"),
                        QStringLiteral("备注第一行\r\n第二行 \"引号\"")});
}

void BM_CsvRead10000Contacts(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c.csv"));
    CCsvFileWriter writer;
    writer.Open(path, static_cast<CCsvFileWriter::Encoding>(state.range(0)));
    for (int i = 0; i < 10000; ++i) {
        writer.WriteLine(ContactLine(i));
    }
    writer.Close();
    for (auto _ : state) {
        CCsvFileReaderEx reader;
        reader.SetFilePath(path);
        QString line;
        QStringList cells;
        int rows = 0;
        while (reader.GetNextLine(line) != 0) {
            rows += CsvSplitLine(line, cells) ? 1 : 0;
        }
        benchmark::DoNotOptimize(rows);
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_CsvRead10000Contacts)->Arg(0)->Arg(2)->ArgName("utf16le0_ansi2")->Unit(benchmark::kMillisecond);

void BM_VCardParse10000Cards(benchmark::State& state) {
    CMultiContactVcard cards;
    for (int i = 0; i < 10000; ++i) {
        CVCard* card = cards.NewContact();
        card->AddStructured(QStringLiteral("N"),
                            {QStringLiteral("张"), QStringLiteral("伟%1").arg(i), QString(), QString(), QString()});
        card->AddProperty(QStringLiteral("FN"), QStringLiteral("张伟%1").arg(i));
        card->AddProperty(QStringLiteral("TEL"), QStringLiteral("1380013%1").arg(i), {QStringLiteral("CELL")});
        card->AddProperty(QStringLiteral("EMAIL"), QStringLiteral("zw%1@example.com").arg(i), {QStringLiteral("HOME")});
        card->AddProperty(QStringLiteral("NOTE"), QString(60, u'注'));
    }
    const QByteArray data = cards.Serialise();
    for (auto _ : state) {
        CMultiContactVcard parsed;
        parsed.Parse(data);
        benchmark::DoNotOptimize(parsed.Count());
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_VCardParse10000Cards)->Unit(benchmark::kMillisecond);

// Folded lines, the way other writers leave them: a note folded into a million short lines, and a
// photo of 3 MB in BASE64 folded at 75 bytes. Reading must stay linear in the size of the file.
void BM_VCardParseFoldedLines(benchmark::State& state) {
    QByteArray data = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Folded\r\nNOTE:start";
    data.reserve(static_cast<qsizetype>(state.range(0)) * 5 + 64);
    for (int64_t i = 0; i < state.range(0); ++i) {
        data += "\r\n ab";
    }
    data += "\r\nEND:VCARD\r\n";
    for (auto _ : state) {
        CMultiContactVcard cards;
        cards.Parse(data);
        benchmark::DoNotOptimize(cards.Count());
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_VCardParseFoldedLines)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_VCardParseFoldedPhoto(benchmark::State& state) {
    QByteArray jpeg(static_cast<qsizetype>(state.range(0)), Qt::Uninitialized);
    for (qsizetype i = 0; i < jpeg.size(); ++i) {
        jpeg[i] = static_cast<char>((i * 2654435761u) >> 24);
    }
    const QByteArray base64 = jpeg.toBase64();
    QByteArray data = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Photo\r\nPHOTO;ENCODING=b;TYPE=JPEG:";
    for (qsizetype at = 0; at < base64.size(); at += 74) {
        data += base64.mid(at, 74) + "\r\n ";
    }
    data.chop(1);
    data += "END:VCARD\r\n";
    for (auto _ : state) {
        CMultiContactVcard cards;
        cards.Parse(data);
        benchmark::DoNotOptimize(cards.Count());
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_VCardParseFoldedPhoto)->Arg(3 * 1024 * 1024)->Unit(benchmark::kMillisecond);

void BM_PinyinOfNames(benchmark::State& state) {
    const QString names[] = {QStringLiteral("张伟"), QStringLiteral("欧阳娜娜"), QStringLiteral("单田芳"),
                             QStringLiteral("Tom Li")};
    for (auto _ : state) {
        for (const QString& n : names) {
            benchmark::DoNotOptimize(PinyinOf(n));
        }
    }
    state.SetItemsProcessed(state.iterations() * 4);
}
BENCHMARK(BM_PinyinOfNames);

// 16 MB of items: three quarters incompressible (app packages), one quarter text.
struct PackageFixture {
    QTemporaryDir dir;
    backup::PackageDescriptor descriptor;
    qint64 bytes = 0;
    PackageFixture() {
        const auto write = [&](const QString& name, const QByteArray& data) {
            QFile f(dir.filePath(name));
            f.open(QIODevice::WriteOnly);
            f.write(data);
            descriptor.files << f.fileName();
            bytes += data.size();
        };
        QByteArray random(12 << 20, Qt::Uninitialized);
        QRandomGenerator gen(7);
        gen.fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);
        write(QStringLiteral("app.apk"), random);
        write(QStringLiteral("msg.csv"),
              QByteArray("13800138000,2026-12-06 10:00:00,今天下午三点开会，别忘了带材料。\r\n")
                  .repeated((4 << 20) / 80));
        descriptor.counts = {{backup::Messages, 1}, {backup::Apps, 1}};
    }
};

void BM_PackagePack(benchmark::State& state) {
    PackageFixture f;
    const QString package = f.dir.filePath(QStringLiteral("p.bkg"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(backup::WritePackage(package, f.descriptor).ok);
    }
    state.SetBytesProcessed(state.iterations() * f.bytes);
}
BENCHMARK(BM_PackagePack)->Unit(benchmark::kMillisecond);

void BM_PackageUnpack(benchmark::State& state) {
    PackageFixture f;
    const QString package = f.dir.filePath(QStringLiteral("p.bkg"));
    if (!backup::WritePackage(package, f.descriptor)) {
        state.SkipWithError("cannot write the package");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(backup::ReadPackage(package, f.dir.filePath(QStringLiteral("out"))).ok);
    }
    state.SetBytesProcessed(state.iterations() * f.bytes);
}
BENCHMARK(BM_PackageUnpack)->Unit(benchmark::kMillisecond);

// The reference: zlib's compress over the same bytes in the same 10240-byte pieces, no file work.
void BM_ZlibCompressSameBytes(benchmark::State& state) {
    PackageFixture f;
    QByteArray all;
    for (const QString& path : f.descriptor.files) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        all += file.readAll();
    }
    QByteArray out(20480, Qt::Uninitialized);
    for (auto _ : state) {
        for (qsizetype at = 0; at < all.size(); at += 10240) {
            uLongf len = 20480;
            compress(reinterpret_cast<Bytef*>(out.data()), &len, reinterpret_cast<const Bytef*>(all.constData() + at),
                     static_cast<uLong>(std::min<qsizetype>(10240, all.size() - at)));
        }
    }
    state.SetBytesProcessed(state.iterations() * all.size());
}
BENCHMARK(BM_ZlibCompressSameBytes)->Unit(benchmark::kMillisecond);

} // namespace
