// Multimedia messages: saving and reading a message at the 300 KB limit, the check before a save,
// fitting a camera picture into 640 x 480, and reading an MMS's parts out of provider output.
#include "bridge/adb/AdbMmsStore.h"
#include "libs/mms/MediaMsg.h"
#include "messages/MmsRules.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

QByteArray Jpeg(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            line[x] = qRgb((x * 7) & 0xFF, (y * 5) & 0xFF, ((x + y) * 3) & 0xFF);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

mms::MediaMsg AtTheLimit() {
    mms::MediaMsg msg;
    msg.SetSubject(QString(40, u'题'));
    msg.SetRecipient({QStringLiteral("13800138000")});
    for (int i = 0; i < mms::kMaxSlides; ++i) {
        mms::Slide s;
        s.text = QString(200, u'字');
        s.image = {QStringLiteral("p.jpg"), QByteArray(28000, 'p')};
        msg.AddSlide(s);
    }
    mms::Slide* last = msg.GetSlide(mms::kMaxSlides - 1);
    last->image.data += QByteArray(mms::kMaxMessageBytes - msg.Save().size(), 'p');
    return msg;
}

void BM_SaveAtTheLimit(benchmark::State& state) {
    const mms::MediaMsg msg = AtTheLimit();
    for (auto _ : state) {
        benchmark::DoNotOptimize(msg.Save());
    }
    state.SetBytesProcessed(state.iterations() * mms::kMaxMessageBytes);
}
BENCHMARK(BM_SaveAtTheLimit);

void BM_ParseAtTheLimit(benchmark::State& state) {
    const QByteArray bytes = AtTheLimit().Save();
    for (auto _ : state) {
        mms::MediaMsg msg;
        benchmark::DoNotOptimize(mms::ParseMediaMsg(bytes, &msg).ok);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ParseAtTheLimit);

void BM_CheckBeforeSave(benchmark::State& state) {
    const mms::MediaMsg msg = AtTheLimit();
    for (auto _ : state) {
        mms::MediaMsg copy = msg;
        benchmark::DoNotOptimize(static_cast<bool>(mms::CheckBeforeSave(&copy, QDateTime::currentDateTimeUtc())));
    }
}
BENCHMARK(BM_CheckBeforeSave);

// A 12 M pixel camera picture fitted into 640 x 480 (the reader scales while it decodes).
void BM_FitCameraPicture(benchmark::State& state) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("camera.jpg"));
    QFile file(source);
    file.open(QIODevice::WriteOnly);
    file.write(Jpeg(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    file.close();
    for (auto _ : state) {
        QTemporaryDir temp;
        const mms::PictureResult result = mms::PreparePicture(source, temp.path());
        if (!result.io) {
            state.SkipWithError("picture not prepared");
        }
    }
}
BENCHMARK(BM_FitCameraPicture)->Args({4000, 3000})->Args({641, 480})->Unit(benchmark::kMillisecond);

void BM_PartsFromProviderOutput(benchmark::State& state) {
    std::string output;
    for (int i = 0; i < 31; ++i) {
        output += "Row: " + std::to_string(i) + " _id=" + std::to_string(100 + i) +
                  ", mid=1, seq=0, ct=text/plain, name=NULL, cl=text_" + std::to_string(i) +
                  ".txt, cid=<t>, text=" + std::string(600, 'x') + ", name=value\n";
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(vexa::adbphone::MmsPartsFromContentRows(output).size());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(output.size()));
}
BENCHMARK(BM_PartsFromProviderOutput);

} // namespace
