// screenrecord's frames output cut into frames, and streams that are cut, lie or never hold a frame.
#include "bridge/adb/ScreenRecordStream.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace vexa::adbphone;

namespace {

std::string Words(std::initializer_list<std::uint32_t> words) {
    std::string out;
    for (const std::uint32_t w : words) {
        out.append(reinterpret_cast<const char*>(&w), 4); // the test machine is little-endian too
    }
    return out;
}

// One frame of width x height whose pixel bytes count up from seed.
std::string Frame(std::uint32_t width, std::uint32_t height, char seed) {
    std::string pixels(width * height * 3, '\0');
    std::iota(pixels.begin(), pixels.end(), seed);
    return Words({16 + width * height * 3, width, height, width * 3, 3}) + pixels;
}

struct Reading {
    std::vector<QByteArray> frames;
    CScreenRecordReader reader{QSize(8, 16), [this](QByteArray raw) { frames.push_back(std::move(raw)); }};
};

TEST(ScreenRecordStream, FramesComeWholeInScreencapsRawFormWhateverTheChunks) {
    const std::string stream = Frame(4, 6, 'a') + Frame(6, 4, 'z'); // turned frames fit the size too
    for (const std::size_t chunk : {std::size_t(1), std::size_t(7), stream.size()}) {
        Reading run;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            ASSERT_TRUE(run.reader.Feed(std::string_view(stream).substr(at, chunk)))
                << run.reader.Error().toStdString();
        }
        EXPECT_TRUE(run.reader.Finish());
        ASSERT_EQ(run.frames.size(), 2u) << chunk;
        EXPECT_EQ(run.frames,
                  (std::vector<QByteArray>{QByteArray::fromStdString(Words({4, 6, 3}) + Frame(4, 6, 'a').substr(20)),
                                           QByteArray::fromStdString(Words({6, 4, 3}) + Frame(6, 4, 'z').substr(20))}));
    }
}

TEST(ScreenRecordStream, BrokenStreamsFailWithTheirReasonAndKeepNoFrame) {
    const std::string good = Frame(4, 6, 'a');
    std::string endless; // a phone's complaint where frames should be, far longer than any frame
    while (endless.size() < 4u * 1024 * 1024) {
        endless += "/system/bin/sh: screenrecord: not found\n";
    }
    const struct {
        const char* name;
        std::string stream;
        const char* reason;
    } cases[] = {
        {"cut inside the pixels", good.substr(0, 60), "ended inside a frame (60 of 92 bytes)"},
        {"cut inside the header", good + good.substr(0, 9), "ended inside a frame (9 of 20 bytes)"},
        {"length lies", Words({16 + 71, 4, 6, 12, 3}) + good.substr(20), "the header says 87 bytes"},
        {"larger than asked", Words({16 + 9 * 3 * 17, 9, 17, 27, 3}), "a frame of 9 x 17"},
        {"oversized", Words({16, 100000, 100000, 300000, 3}), "a frame of 100000 x 100000"},
        {"no pixels", Words({16, 0, 6, 0, 3}), "a frame of 0 x 6"},
        {"other format", Words({16 + 96, 4, 6, 16, 1}), "pixel format 1"},
        {"padded rows", Words({16 + 96, 4, 6, 16, 3}), "rows of 16 bytes"},
        {"endless text", endless, "a frame of 795698548 x 795765090"},
    };
    for (const auto& c : cases) {
        Reading run;
        EXPECT_FALSE(run.reader.Feed(c.stream) && run.reader.Finish()) << c.name;
        EXPECT_TRUE(run.reader.Error().contains(QLatin1String(c.reason)))
            << c.name << ": " << run.reader.Error().toStdString();
        EXPECT_EQ(run.frames.size(), std::string_view(c.name) == "cut inside the header" ? 1u : 0u) << c.name;
        EXPECT_FALSE(run.reader.Feed(good)) << c.name << ": a broken stream stays broken";
    }
}

TEST(ScreenRecordStream, SizesAskedForAndReadFromWm) {
    EXPECT_EQ(StreamSize(QSize(1080, 2400)), QSize(460, 1024));
    EXPECT_EQ(StreamSize(QSize(481, 853)), QSize(480, 852)) << "small screens keep their size, made even";
    EXPECT_FALSE(StreamSize(QSize(0, 800)).isValid());
    EXPECT_EQ(ParseWmSize("Physical size: 1080x2400\r\n"), QSize(1080, 2400));
    EXPECT_EQ(ParseWmSize("Physical size: 1440x3200\nOverride size: 1080x2400\n"), QSize(1080, 2400));
    EXPECT_FALSE(ParseWmSize("wm: not found\n").isValid());
    EXPECT_EQ(ScreenRecordCommand(QSize(460, 1024), 180),
              "screenrecord --output-format=frames --size 460x1024 --time-limit 180 -");
}

} // namespace
