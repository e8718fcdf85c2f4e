#include "messages/MessagesScreenshots.h"

#include "device/SessionGate.h"
#include "messages/CQuickReplyWnd.h"
#include "messages/CRemindDialog.h"
#include "messages/CSmsEditDlg.h"
#include "platform/StringTable.h"
#include "skin/SkinScreenshot.h"

#include <QWidget>

#include <memory>

namespace {

// The pictures need no phone: a closed gate keeps the windows off the session.
CSessionGate& PictureGate() {
    static CSessionGate gate;
    return gate;
}

} // namespace

void RegisterMessagesScreenshots() {
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("sms_compose"), [] {
        auto dialog = std::make_unique<CSmsEditDlg>(PictureGate(), CSmsEditDlg::NewMessage);
        dialog->SetRecipients(QStringLiteral("%1<13800138000>;10086;").arg(Str(2101)));
        dialog->SetText(QStringLiteral("明天上午十点在公司楼下见，记得带上合同。^_^"));
        if (!dialog->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(dialog));
    });
    // A dual-SIM phone with long operator names: the two send buttons must show them whole.
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("sms_forward_dual_sim"), [] {
        auto dialog = std::make_unique<CSmsEditDlg>(PictureGate(), CSmsEditDlg::Forward);
        dialog->SetRecipients(QStringLiteral("10086;"));
        dialog->SetText(QStringLiteral("会议改到周五下午三点，地点不变。"));
        if (!dialog->CreateModeless() || dialog->Reply() == nullptr) {
            return std::unique_ptr<QWidget>();
        }
        dialog->Reply()->ShowSimButtons(true, 3, QStringLiteral("中国移动"), QStringLiteral("中国联通"));
        return std::unique_ptr<QWidget>(std::move(dialog));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("remind_message"), [] {
        auto remind = std::make_unique<CRemindDialog>(CRemindDialog::Message, FormatText(Str(2437), qUtf8Printable(Str(2102))));
        if (!remind->Create()) {
            return std::unique_ptr<QWidget>();
        }
        remind->setAttribute(Qt::WA_DeleteOnClose, false);
        remind->show();
        return std::unique_ptr<QWidget>(std::move(remind));
    });
}
