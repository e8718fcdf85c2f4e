#pragma once
// Decisions and texts of the main frame that do not need its window: the answer to a request from
// the phone, the host description after a connection, the status line, the update button and the
// outcome of an update check. Thread notes per function.

#include "libs/stats/HostInfoRecord.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

namespace vexa {
class DeviceBridge;
class DeviceSession;
} // namespace vexa

// The phone-request callback (bridge thread): 3 without a session or a live link; the activity state
// when an operation above 2 runs (home backup, firmware); otherwise hands the text to post (which
// queues WM_USER+22 for the frame) and answers 0.
int AnswerPhoneRequest(vexa::DeviceBridge* bridge, const QString& text,
                       const std::function<void(const QString&)>& post);

// The statistics host description once a phone is connected (any thread).
HostInfoRecord ConnectedHostInfo(vexa::DeviceSession* session, const HostInfoRecord& startup);

// "已连接 VEXA <model>" / "未连接".
QString ConnectionStatusText(bool connected, const QString& model, bool simulated = false);

// The update button: its text and whether it offers a known new version.
struct UpdateButtonView {
    QString text;
    bool enabled = false;
};
UpdateButtonView UpdateButton(const QString& programVersion, bool newVersionMark, const QString& knownNewVersion);

// What an update check result means for the user.
struct UpdateOutcome {
    bool newVersion = false;
    bool latest = false; // "您的手机助手已为最新版本"; the frame refreshes the button
    QString message;     // empty for a new version
};
UpdateOutcome UpdateCheckOutcome(int result);

// Where the main window of size opens: at the stored position when its title strip (the top 40
// pixels, or what of them the window has) lies at least 100 pixels wide on one of the screens'
// free areas, so it can still be dragged; otherwise centred on the primary screen's free area,
// clipped to its top left.
QPoint FramePosition(QSize size, const std::optional<QPoint>& stored, const QList<QRect>& screens, QRect primary);
