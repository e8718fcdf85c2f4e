// "screenrecord" of the simulated phone: only the frames output, which the adb backend streams for
// the screen player. Each frame is the phone's newest screen picture scaled to the asked size, in
// the layout Android's screenrecord writes for "--output-format=frames": five little-endian words
// (the bytes after the first word, width, height, row stride, format 3 = RGB_888), then the rows.
// Frames come at a steady rate and only once the server has taken the previous one, as a phone's
// screenrecord blocks on its output.
#include "PhoneDevice.h"

#include <QImage>

#include <chrono>

namespace vexa_adbd {

namespace {

using Clock = std::chrono::steady_clock;

// A phone's display refreshes at 60 Hz; screenrecord hands on at most every other frame here.
constexpr int kFrameIntervalMs = 33;
constexpr int kMaxTimeLimitS = 180;

class CScreenRecordService final : public adb::IAdbService {
public:
    CScreenRecordService(CPhoneDevice& phone, QSize size, int timeLimitS)
        : m_phone(phone), m_size(size), m_end(Clock::now() + std::chrono::seconds(timeLimitS)) {}

    void Start(adb::CAdbStreamContext& stream) override { OnTick(stream); }
    int NextTickMs() const override {
        if (m_done) {
            return -1;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_next - Clock::now()).count();
        return static_cast<int>(std::clamp<long long>(left, 0, kFrameIntervalMs));
    }
    void OnTick(adb::CAdbStreamContext& stream) override {
        const auto now = Clock::now();
        if (m_done || now < m_next) {
            return;
        }
        std::shared_ptr<const std::string> frame = now < m_end ? m_phone.RecordedFrame(m_size) : nullptr;
        if (!frame) {
            m_done = true; // the time limit, or a phone without a screen picture
            stream.Close();
            return;
        }
        stream.Write(*frame);
        m_next = now + std::chrono::milliseconds(kFrameIntervalMs);
    }
    void OnClose() override { m_done = true; }

private:
    CPhoneDevice& m_phone;
    QSize m_size;
    Clock::time_point m_end;
    Clock::time_point m_next{};
    bool m_done = false;
};

bool ParseSize(const std::string& text, QSize& size) {
    const std::size_t x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 >= text.size() || text.size() > 11) {
        return false;
    }
    bool okW = false, okH = false;
    size = QSize(QString::fromStdString(text.substr(0, x)).toInt(&okW),
                 QString::fromStdString(text.substr(x + 1)).toInt(&okH));
    return okW && okH && size.width() > 0 && size.height() > 0 && size.width() <= 4096 && size.height() <= 4096;
}

} // namespace

std::unique_ptr<adb::IAdbService> CPhoneDevice::ScreenRecord(const std::vector<std::string>& words) {
    // Android 5.0 gave screenrecord its frames output; the phone files of older phones have none.
    if (Sdk() < 21) {
        return adb::MakeReplyService("/system/bin/sh: screenrecord: not found\n");
    }
    std::string format = "mp4";
    QSize size;
    int timeLimit = kMaxTimeLimitS;
    std::string target;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        const bool hasValue = i + 1 < words.size();
        if (w.rfind("--output-format=", 0) == 0) {
            format = w.substr(16);
        } else if (w == "--output-format" && hasValue) {
            format = words[++i];
        } else if (w == "--size" && hasValue) {
            if (!ParseSize(words[++i], size)) {
                return adb::MakeReplyService("Invalid size '" + words[i] + "', must be width x height\n");
            }
        } else if (w == "--time-limit" && hasValue) {
            timeLimit = QString::fromStdString(words[++i]).toInt();
            if (timeLimit < 1 || timeLimit > kMaxTimeLimitS) {
                return adb::MakeReplyService("Time limit " + words[i] + " outside acceptable range [1,180]\n");
            }
        } else if (w == "--bit-rate" && hasValue) {
            ++i; // no encoder here: the frames are sent as they are
        } else if (w.rfind("--", 0) == 0 || !target.empty()) {
            return adb::MakeReplyService("Unknown option or argument: " + w + "\n");
        } else {
            target = w;
        }
    }
    if (format != "frames") {
        return adb::MakeReplyService("screenrecord: the simulated phone writes only --output-format=frames\n");
    }
    if (target != "-") {
        return adb::MakeReplyService("screenrecord: the simulated phone writes frames only to \"-\"\n");
    }
    if (!size.isValid()) {
        std::lock_guard guard(m_lock);
        size = QSize(m_db.Meta("screen_width", QStringLiteral("480")).toInt(),
                     m_db.Meta("screen_height", QStringLiteral("854")).toInt());
    }
    return std::make_unique<CScreenRecordService>(*this, size, timeLimit);
}

std::shared_ptr<const std::string> CPhoneDevice::RecordedFrame(QSize size) {
    std::lock_guard guard(m_lock);
    vexa::sim::Stmt newest(m_db, "SELECT id FROM screen_frames ORDER BY id DESC LIMIT 1");
    if (!newest.Step()) {
        return nullptr;
    }
    const std::int64_t id = newest.Int(0);
    if (m_recorded && id == m_recordedId && size == m_recordedSize) {
        return m_recorded; // the screen did not change: the same picture again, as a phone sends it
    }
    QImage image = ScreenPicture(id);
    if (image.isNull()) {
        return nullptr;
    }
    image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB888);
    // The frames output's header: the length of what follows, width, height, row bytes, 3 bytes a pixel.
    const auto rowBytes = static_cast<std::uint32_t>(image.width()) * 3;
    auto frame = PackFrame(image, {16 + rowBytes * static_cast<std::uint32_t>(image.height()),
                                   static_cast<std::uint32_t>(image.width()),
                                   static_cast<std::uint32_t>(image.height()), rowBytes, 3});
    m_recorded = std::move(frame);
    m_recordedId = id;
    m_recordedSize = size;
    return m_recorded;
}

} // namespace vexa_adbd
