// vexa-cli screen: one screenshot of the phone at its own size, taken and saved as the player does.
#include "CliCommands.h"

#include "bridge/api/DeviceSession.h"
#include "device/screen/CScreenshotSaveHelper.h"
#include "device/screen/ScreenCapture.h"
#include "platform/StringTable.h"

namespace {

int RunScreen(CliContext& ctx, const QStringList& args) {
    if (args.size() != 2 || args[0] != QLatin1String("grab")) {
        return CliUsage(ctx, "screen grab FILE.png");
    }
    vexa::DeviceSession* session = ctx.Session();
    if (session == nullptr) {
        return kCliFailed;
    }
    const screen::DecodedFrame frame = screen::CaptureFrame(session->GetScreenshotService());
    if (!frame.Ok()) {
        ctx.err << Str(136) << ' ' << screen::FrameErrorText(frame.error) << " (" << frame.detail << ")\n";
        return kCliFailed;
    }
    const QString path = CScreenshotSaveHelper::FileName(args[1], ScreenshotType::Png);
    if (const IoResult saved = CScreenshotSaveHelper::SaveToFile(frame.image, path, ScreenshotType::Png); !saved) {
        ctx.err << Str(141) << ' ' << saved.error << '\n';
        return kCliFailed;
    }
    ctx.out << Str(137) << ' ' << path << ' ' << frame.image.width() << 'x' << frame.image.height() << '\n';
    return kCliOk;
}

const CliRegistration kRegistration({"screen", "screen grab FILE.png", &RunScreen});

} // namespace
