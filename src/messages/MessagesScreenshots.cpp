#include "messages/MessagesScreenshots.h"

#include "device/SessionGate.h"
#include "messages/CMmsEditDlg.h"
#include "messages/CMmsPreviewDlg.h"
#include "messages/CQuickReplyWnd.h"
#include "messages/CRemindDialog.h"
#include "messages/IncomingReminders.h"
#include "messages/CSmsEditDlg.h"
#include "libs/pinyin/Pinyin.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinScreenshot.h"

#include <QBuffer>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <memory>

namespace {

// The pictures need no phone: a closed gate keeps the windows off the session.
CSessionGate& PictureGate() {
    static CSessionGate gate;
    return gate;
}

// A message of three slides: a drawn picture with a long text that wraps, a sound, a text.
mms::MediaMsg PictureMessage() {
    QImage image(480, 360, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 360);
    sky.setColorAt(0, QColor(0x8E, 0xC5, 0xFC));
    sky.setColorAt(1, QColor(0xF5, 0xF6, 0xF7));
    painter.fillRect(image.rect(), sky);
    painter.setBrush(QColor(0x2E, 0xA1, 0x21));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPoint(140, 420), 260, 160);
    painter.setBrush(QColor(0xF0, 0x9A, 0x0E));
    painter.drawEllipse(QPoint(380, 80), 40, 40);
    painter.end();
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    mms::MediaMsg msg;
    msg.SetSubject(QStringLiteral("周末去爬山"));
    msg.SetRecipient({QStringLiteral("13800138000")});
    mms::Slide first;
    first.durationMs = 5000;
    first.text = QStringLiteral("山顶的风景特别好，天气晴朗，能看到整个城市。下次一起去吧，记得带上水和外套，山上比山下冷不少。");
    first.image = {QStringLiteral("stretch_0001.jpg"), jpeg};
    mms::Slide second;
    second.durationMs = 3000;
    second.text = QStringLiteral("这是山上录的声音。");
    second.sound = {QStringLiteral("birds.mid"), QByteArray("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14)};
    mms::Slide third;
    third.durationMs = 4000;
    third.text = QStringLiteral("周六早上八点出发。");
    msg.AddSlide(first);
    msg.AddSlide(second);
    msg.AddSlide(third);
    return msg;
}

// The multimedia and text message editors and the preview.
void RegisterComposeDialogs() {
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("mms_compose"), [] {
        auto dialog = std::make_unique<CMmsEditDlg>(PictureGate());
        dialog->SetMessage(PictureMessage());
        dialog->SetRecipients(QStringLiteral("%1<13800138000>;").arg(Str(2101)));
        dialog->SetDualSim(true);
        dialog->SetSimLabels(Str(2454) + QStringLiteral("中国移动"), Str(2455) + QStringLiteral("中国联通"));
        if (!dialog->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(dialog));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("mms_preview"), [] {
        auto dialog = std::make_unique<CMmsPreviewDlg>(PictureMessage());
        if (!dialog->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        dialog->SeekTo(2300);
        dialog->SetPaused(true);
        return std::unique_ptr<QWidget>(std::move(dialog));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("sms_compose"), [] {
        auto dialog = std::make_unique<CSmsEditDlg>(PictureGate(), CSmsEditDlg::NewMessage);
        dialog->SetRecipients(QStringLiteral("%1<13800138000>;10086;").arg(Str(2101)));
        dialog->SetText(QStringLiteral("明天上午十点在公司楼下见，记得带上合同。^_^"));
        if (!dialog->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(dialog));
    });
    // Typing a name's pinyin into the recipients: the contacts' mobile numbers offered.
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("sms_compose_autocomplete"), [] {
        auto dialog = std::make_unique<CSmsEditDlg>(PictureGate(), CSmsEditDlg::NewMessage);
        dialog->SetRecipients(QStringLiteral("10086;zh"));
        if (!dialog->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        std::vector<messages::RecipientCandidate> candidates;
        for (const auto& [name, number] : {std::pair{"张伟", "13800138000"}, {"张伟", "13912345678"},
                                           {"赵强", "13700001111"}, {"郑晓", "18600002222"}, {"王芳", "13500003333"}}) {
            const NameSpelling spelling = SpellName(QString::fromUtf8(name));
            candidates.push_back({QString::fromUtf8(name), QString::fromLatin1(number), spelling.full, spelling.initials});
        }
        dialog->SetCandidates(std::move(candidates));
        dialog->show();
        if (auto* field = qobject_cast<QLineEdit*>(GetPluginByName(dialog.get(), QStringLiteral("recipients_edit")))) {
            field->setFocus();
            field->end(false);
        }
        dialog->ShowSuggestions();
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
}

// The new-message reminders, alone and stacked.
void RegisterReminders() {
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("remind_message"), [] {
        auto remind = std::make_unique<CRemindDialog>(CRemindDialog::Message, FormatText(Str(2437), qUtf8Printable(Str(2102))));
        if (!remind->Create()) {
            return std::unique_ptr<QWidget>();
        }
        remind->setAttribute(Qt::WA_DeleteOnClose, false);
        remind->show();
        return std::unique_ptr<QWidget>(std::move(remind));
    });
    // Three messages in a row, as the corner of the screen shows them: newest at the bottom.
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("remind_stack"), [] {
        const struct {
            const char *name, *number, *text;
        } senders[] = {{"赵强", "13800138000", "今晚的会改到八点，地点不变。"},
                       {"10086", "10086", "您本月的流量已用完80%"},
                       {"李娜", "13912345678", "到了给我回个电话\n我在门口等你"}};
        auto desk = std::make_unique<QWidget>();
        // A palette, not a style sheet: a sheet here would also paint over the reminders' buttons.
        QPalette screen = desk->palette();
        screen.setColor(QPalette::Window, QColor(0xE9, 0xEC, 0xF0));
        desk->setPalette(screen);
        desk->setAutoFillBackground(true);
        int y = 12;
        int width = 0;
        for (const auto& s : senders) {
            auto* remind = new CRemindDialog(CRemindDialog::Message,
                                             FormatText(Str(2437), s.name));
            remind->SetDetail(messages::ReminderDetail(QString::fromUtf8(s.number), QString::fromUtf8(s.name),
                                                       QString::fromUtf8(s.text)));
            remind->SetActions([] {}, [] {});
            if (!remind->Create()) {
                delete remind;
                return std::unique_ptr<QWidget>();
            }
            remind->setAttribute(Qt::WA_DeleteOnClose, false);
            remind->setParent(desk.get(), Qt::Widget);
            remind->move(12, y);
            y += remind->height() + 8;
            width = std::max(width, remind->width());
        }
        desk->resize(width + 24, y + 4);
        desk->show();
        return desk;
    });
}

} // namespace

void RegisterMessagesScreenshots() {
    RegisterComposeDialogs();
    RegisterReminders();
}
