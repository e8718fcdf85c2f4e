#pragma once
// One screenshot of the phone at its own size: asks the session's screenshot service for one
// frame, waits for it with a deadline and decodes it. Used by the player's single screenshot when
// it is not playing and by "vexa-cli screen grab". Blocks: never on the UI thread.

#include "device/screen/ScreenFrame.h"

namespace vexa {
class ScreenshotService;
}

namespace screen {

// The service's own calls time out after 10 s; this leaves it room to report.
constexpr int kCaptureTimeoutMs = 15000;

// The frame, decoded and not reduced. A service that refuses, reports an error or stays silent past
// timeoutMs gives FrameError::NotCaptured.
DecodedFrame CaptureFrame(vexa::ScreenshotService* service, int timeoutMs = kCaptureTimeoutMs);

} // namespace screen
