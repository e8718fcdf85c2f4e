#include "messages/CMmsEditDlg.h"

#include "bridge/api/DeviceSession.h"
#include "controls/CAnimateDialog.h"
#include "controls/VexaMessageBox.h"
#include "device/SessionGate.h"
#include "libs/log/Log.h"
#include "messages/CMmsPreviewDlg.h"
#include "messages/CSelectContactOrNumber.h"
#include "messages/ComposeRules.h"
#include "messages/MmsRules.h"
#include "messages/MmsSender.h"
#include "platform/AppPaths.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSpinBox>

namespace {

constexpr int kCaptionTip = 330;

void Refuse(QWidget* parent, const mms::Refusal& refusal) {
    VexaMessageBox(mms::RefusalText(refusal), parent, Str(refusal.captionId), 0);
}

} // namespace

struct CMmsEditDlgTable {
    static const SkinEventRow<CMmsEditDlg> kRows[];
};

const SkinEventRow<CMmsEditDlg> CMmsEditDlgTable::kRows[] = {
    {"Button_Close", kSkinClick, &CMmsEditDlg::OnClose},
    {"*_button", kSkinClick, &CMmsEditDlg::OnButton},
    {"delete_*", kSkinClick, &CMmsEditDlg::OnButton},
    {"save_source_btn", kSkinClick, &CMmsEditDlg::OnButton},
    {nullptr, 0, nullptr},
};

CMmsEditDlg::CMmsEditDlg(CSessionGate& gate, QWidget* parent) : CSkinDialog(parent), m_gate(gate) {}

bool CMmsEditDlg::OnInitDialog() {
    SetKeyButtons({}, {QStringLiteral("Button_Close")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("mms_compose_dialog")) == 0) {
        return false;
    }
    const std::pair<const char*, int> texts[] = {
        {"caption_title", 3245},          {"mms_recipient_label", 3247}, {"mms_theme_label", 3248},
        {"add_businesscard_button", 2474}, {"add_picture_button", 3249},  {"delete_image", 3260},
        {"add_music_button", 3250},       {"delete_audio", 3261},        {"add_characters_button", 3252},
        {"delete_current_page", 3259},    {"page_time_label", 3253},     {"page_time_unit", 3254},
        {"page_time_button", 770},        {"prev_page_button", 3257},    {"next_page_button", 3258},
        {"preview_button", 3255},         {"save_button", 3256},         {"save_source_btn", 3275},
        {"send_mms_button", 3262},        {"sim1_send_mms_button", 3263}, {"sim2_send_mms_button", 3264},
    };
    for (const auto& [name, id] : texts) {
        Plugin_SetText(GetPluginByName(this, QString::fromLatin1(name)), Str(id));
    }
    // A message opened with nothing in it is a new one.
    const bool fresh = m_msg.SlideCount() == 0 && m_msg.Subject().isEmpty();
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(fresh ? 3278 : 3245));
    const char* const simButtons[2] = {"sim1_send_mms_button", "sim2_send_mms_button"};
    for (int card = 0; card < 2; ++card) {
        if (!m_simLabels[card].isEmpty()) {
            Plugin_SetText(GetPluginByName(this, QString::fromLatin1(simButtons[card])), m_simLabels[card]);
        }
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("sim1_send_mms_button")), m_dualSim);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("sim2_send_mms_button")), m_dualSim);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("send_mms_button")), !m_dualSim);
    if (auto* recipients = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("contact_number_edit")))) {
        recipients->setPlaceholderText(Str(2478));
        recipients->setText(m_recipients.isEmpty() ? m_msg.Recipients().join(u';') : m_recipients);
    }
    if (auto* subject = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("mms_theme_edit")))) {
        subject->setText(m_msg.Subject());
        QObject::connect(subject, &QLineEdit::textChanged, this, [this] { ShowCounters(); });
    }
    if (auto* text = qobject_cast<QPlainTextEdit*>(GetPluginByName(this, QStringLiteral("mms_text_area")))) {
        QObject::connect(text, &QPlainTextEdit::textChanged, this, [this] {
            if (!m_showing) {
                // Typing on an empty message makes its first slide.
                if (m_current < 0 && !EnsureSlide()) {
                    return;
                }
                StoreText();
                ShowCounters();
            }
        });
    }
    if (auto* spin = qobject_cast<QSpinBox*>(GetPluginByName(this, QStringLiteral("page_time_spin")))) {
        spin->setRange(0, 3600);
        spin->setValue(mms::kNewSlideMs / 1000);
    }
    m_current = m_msg.SlideCount() > 0 ? 0 : -1;
    ShowSlide();
    if (QWidget* root = GetLayoutRoot(this)) {
        setFixedSize(root->size());
    }
    CentreOver(parentWidget());
    CreateShadow();
    return true;
}

mms::MediaMsg CMmsEditDlg::Message() {
    StoreText();
    mms::MediaMsg msg = m_msg;
    msg.SetSubject(Plugin_GetText(GetPluginByName(this, QStringLiteral("mms_theme_edit"))));
    msg.SetRecipient(messages::ParseRecipients(Plugin_GetText(GetPluginByName(this, QStringLiteral("contact_number_edit")))));
    return msg;
}

void CMmsEditDlg::StoreText() {
    if (mms::Slide* slide = Current()) {
        if (auto* text = qobject_cast<QPlainTextEdit*>(GetPluginByName(this, QStringLiteral("mms_text_area")))) {
            slide->text = text->toPlainText();
        }
    }
}

void CMmsEditDlg::ShowSlide() {
    m_showing = true;
    const mms::Slide* slide = Current();
    if (auto* text = qobject_cast<QPlainTextEdit*>(GetPluginByName(this, QStringLiteral("mms_text_area")))) {
        // Set only when it differs: resetting the same text would move the caret of someone typing.
        const QString wanted = slide != nullptr ? slide->text : QString();
        if (text->toPlainText() != wanted) {
            text->setPlainText(wanted);
        }
    }
    if (auto* image = qobject_cast<QLabel*>(GetPluginByName(this, QStringLiteral("MMS_image_area")))) {
        QPixmap picture;
        if (slide != nullptr && !slide->image.IsEmpty() && picture.loadFromData(slide->image.data)) {
            picture = picture.scaled(image->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        image->setPixmap(picture);
        if (picture.isNull()) {
            image->setText(Str(3249));
        }
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("mms_musicPic_area")),
                   slide != nullptr && !slide->sound.IsEmpty() ? QStringLiteral("♪ ") + slide->sound.name : Str(3250));
    if (auto* spin = qobject_cast<QSpinBox*>(GetPluginByName(this, QStringLiteral("page_time_spin")))) {
        spin->setValue((slide != nullptr ? slide->durationMs : mms::kNewSlideMs) / 1000);
    }
    m_showing = false;
    ShowCounters();
}

void CMmsEditDlg::ShowCounters() {
    // With no slide yet the text area writes the first page: "1/1", never "0/0".
    Plugin_SetText(GetPluginByName(this, QStringLiteral("page_number")),
                   QStringLiteral("%1/%2").arg(std::max(m_current + 1, 1)).arg(std::max(m_msg.SlideCount(), 1)));
    const QString subject = Plugin_GetText(GetPluginByName(this, QStringLiteral("mms_theme_edit")));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("mms_theme_count")),
                   QStringLiteral("%1/%2").arg(mms::SubjectLength(subject)).arg(mms::kMaxSubjectChars));
    mms::MediaMsg sized = m_msg;
    sized.SetSubject(subject);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("mms_size_label")), mms::SizeCounterText(sized.Save().size()));
}

bool CMmsEditDlg::EnsureSlide() {
    if (m_current >= 0) {
        return true;
    }
    AddSlide();
    return m_current >= 0;
}

void CMmsEditDlg::AddSlide() {
    if (const mms::Refusal refusal = mms::CheckAddSlide(m_msg)) {
        Refuse(this, refusal);
        return;
    }
    StoreText();
    mms::Slide slide = mms::MMS_NewSlide();
    if (m_current < 0) {
        // What was typed before there was a slide (the first key makes it) belongs to it.
        if (auto* text = qobject_cast<QPlainTextEdit*>(GetPluginByName(this, QStringLiteral("mms_text_area")))) {
            slide.text = text->toPlainText();
        }
    }
    const int index = m_msg.InsertSlide(m_current, slide);
    if (index >= 0) {
        m_current = index;
    }
    ShowSlide();
}

void CMmsEditDlg::GoToSlide(int delta) {
    StoreText();
    const int target = m_current + delta;
    if (target < 0) {
        VexaMessageBox(Str(3231), this, Str(kCaptionTip), 0);
        return;
    }
    if (target >= m_msg.SlideCount()) {
        VexaMessageBox(Str(3232), this, Str(kCaptionTip), 0);
        return;
    }
    m_current = target;
    ShowSlide();
}

QString CMmsEditDlg::TempFolder() const {
    if (!m_tempFolder.isEmpty()) {
        return m_tempFolder;
    }
    // The scaled copies of pictures go to a folder of this dialog's own (unique name, mode 0700) in
    // the user's runtime folder, never under names anyone could guess in a shared folder.
    if (m_ownTemp == nullptr) {
        const QString base = PrivateRuntimeFolder();
        m_ownTemp = std::make_unique<QTemporaryDir>((base.isEmpty() ? QDir::tempPath() : base) +
                                                    QStringLiteral("/vexa-mms-XXXXXX"));
    }
    return m_ownTemp->isValid() ? m_ownTemp->path() : QString();
}

QString CMmsEditDlg::ChooseFile(FileKind kind) {
    if (m_chooser) {
        return m_chooser(this, kind);
    }
    switch (kind) {
    case PictureFile:
        return QFileDialog::getOpenFileName(this, Str(3249), QString(), DialogFileFilter(Str(3277)));
    case SoundFile:
        return QFileDialog::getOpenFileName(this, Str(3250), QString(), DialogFileFilter(Str(3244)));
    case SaveMessageFile:
        return QFileDialog::getSaveFileName(this, Str(3275), SuggestedSavePath(Str(3670), QStringLiteral("omms")), Str(3669));
    }
    return {};
}

void CMmsEditDlg::AddPicture() {
    const QString path = ChooseFile(PictureFile);
    if (path.isEmpty() || !EnsureSlide()) {
        return;
    }
    const QString temp = TempFolder();
    if (temp.isEmpty()) {
        LOG_Error("[CMmsEditDlg] no temporary folder: %s. %s:%d", qUtf8Printable(m_ownTemp->errorString()), LOG_HERE);
        VexaMessageBox(Str(2689), this, Str(kCaptionTip), 0);
        return;
    }
    const mms::PictureResult picture = mms::PreparePicture(path, temp);
    if (!picture.io) {
        VexaMessageBox(picture.refusal ? mms::RefusalText(picture.refusal) : picture.io.error, this, Str(kCaptionTip), 0);
        return;
    }
    Current()->image = picture.part;
    ShowSlide();
}

void CMmsEditDlg::AddSound() {
    const QString path = ChooseFile(SoundFile);
    if (path.isEmpty() || !EnsureSlide()) {
        return;
    }
    const mms::SoundResult sound = mms::ReadSound(path);
    if (!sound.io) {
        VexaMessageBox(sound.refusal ? mms::RefusalText(sound.refusal) : sound.io.error, this, Str(kCaptionTip), 0);
        return;
    }
    Current()->sound = sound.part;
    ShowSlide();
}

void CMmsEditDlg::RemovePicture() {
    if (Current() == nullptr || Current()->image.IsEmpty()) {
        VexaMessageBox(Str(3234), this, Str(kCaptionTip), 0);
        return;
    }
    Current()->image = {};
    ShowSlide();
}

void CMmsEditDlg::RemoveSound() {
    if (Current() == nullptr || Current()->sound.IsEmpty()) {
        VexaMessageBox(Str(3235), this, Str(kCaptionTip), 0);
        return;
    }
    Current()->sound = {};
    ShowSlide();
}

void CMmsEditDlg::RemoveSlide() {
    if (!m_msg.RemoveSlide(m_current)) {
        return;
    }
    m_current = std::min(m_current, m_msg.SlideCount() - 1);
    ShowSlide();
}

void CMmsEditDlg::SetSlideTime() {
    auto* spin = qobject_cast<QSpinBox*>(GetPluginByName(this, QStringLiteral("page_time_spin")));
    if (spin == nullptr || !EnsureSlide()) {
        return;
    }
    if (const mms::Refusal refusal = mms::CheckSlideSeconds(spin->value())) {
        Refuse(this, refusal);
        spin->setValue(Current()->durationMs / 1000);
        return;
    }
    Current()->durationMs = spin->value() * 1000;
    ShowCounters();
}

void CMmsEditDlg::Preview() {
    mms::MediaMsg msg = Message();
    for (int i = msg.SlideCount() - 1; i >= 0; --i) {
        if (mms::MMS_GetSlideFlags(*msg.GetSlide(i)) == 0) {
            msg.RemoveSlide(i);
        }
    }
    if (msg.SlideCount() == 0) {
        VexaMessageBox(Str(3236), this, Str(kCaptionTip), 0);
        return;
    }
    if (m_previewHook) {
        m_previewHook(msg);
        return;
    }
    CMmsPreviewDlg preview(msg, this);
    preview.DoModal();
}

bool CMmsEditDlg::Submit(bool send, int simChoice) {
    mms::MediaMsg msg = Message();
    const mms::Refusal refusal = mms::CheckBeforeSave(&msg, QDateTime::currentDateTimeUtc());
    // The pruned slides are gone from the editor too, as the user will see them saved.
    m_msg = msg;
    m_current = std::min(std::max(m_current, 0), m_msg.SlideCount() - 1);
    ShowSlide();
    if (refusal) {
        Refuse(this, refusal);
        return false;
    }
    if (const mms::Refusal refused = mms::CheckRecipients(msg, send)) {
        Refuse(this, refused);
        return false;
    }
    messages::MmsSubmit result;
    CAnimateDialog busy(this);
    busy.m_strCaption = Str(3245);
    busy.m_strTip = Str(send ? 3270 : 3240);
    RunWhileModal(busy, [&] {
        busy.WaitReady();
        {
            CSessionScope use(m_gate, VEXA_HERE);
            vexa::MmsStore* store = use ? use->GetMmsStore() : nullptr;
            result = messages::SubmitMms(store, msg, send, simChoice);
        }
        busy.EndWork(1);
    });
    if (!result.ok) {
        if (send) {
            VexaMessageBox(Str(3272), this, Str(kCaptionTip), 0);
        } else {
            const QString why = Str(3279);
            VexaMessageBox(FormatText(Str(3243), qUtf8Printable(why)), this, Str(kCaptionTip), 0);
        }
        return false;
    }
    m_storedId = result.id;
    VexaMessageBox(Str(send ? 3271 : 3241), this, Str(send ? kCaptionTip : 3242), 0);
    EndDialog(static_cast<int>(IDOK));
    return true;
}

bool CMmsEditDlg::SaveToComputer() {
    mms::MediaMsg msg = Message();
    if (const mms::Refusal refusal = mms::CheckBeforeSave(&msg, QDateTime::currentDateTimeUtc())) {
        Refuse(this, refusal);
        return false;
    }
    const QString path = ChooseFile(SaveMessageFile);
    if (path.isEmpty()) {
        return false;
    }
    if (const IoResult saved = msg.SaveToFile(path); !saved) {
        VexaMessageBox(saved.error, this, Str(141), 0);
        return false;
    }
    return true;
}

LRESULT CMmsEditDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CMmsEditDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CMmsEditDlg::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}

LRESULT CMmsEditDlg::OnButton(QWidget* widget, std::intptr_t, std::intptr_t) {
    const QString name = widget != nullptr ? widget->objectName() : QString();
    if (name == QLatin1String("add_characters_button")) {
        AddSlide();
    } else if (name == QLatin1String("prev_page_button")) {
        GoToSlide(-1);
    } else if (name == QLatin1String("next_page_button")) {
        GoToSlide(1);
    } else if (name == QLatin1String("add_picture_button")) {
        AddPicture();
    } else if (name == QLatin1String("add_music_button")) {
        AddSound();
    } else if (name == QLatin1String("delete_image")) {
        RemovePicture();
    } else if (name == QLatin1String("delete_audio")) {
        RemoveSound();
    } else if (name == QLatin1String("delete_current_page")) {
        RemoveSlide();
    } else if (name == QLatin1String("page_time_button")) {
        SetSlideTime();
    } else if (name == QLatin1String("preview_button")) {
        Preview();
    } else if (name == QLatin1String("save_button")) {
        Submit(false, 1);
    } else if (name == QLatin1String("send_mms_button")) {
        Submit(true, 1);
    } else if (name == QLatin1String("sim1_send_mms_button")) {
        Submit(true, 2);
    } else if (name == QLatin1String("sim2_send_mms_button")) {
        Submit(true, 3);
    } else if (name == QLatin1String("save_source_btn")) {
        SaveToComputer();
    } else if (name == QLatin1String("add_businesscard_button")) {
        CSelectContactOrNumber chooser(m_gate, this);
        if (chooser.DoModal() == static_cast<int>(IDOK)) {
            QString text = Plugin_GetText(GetPluginByName(this, QStringLiteral("contact_number_edit")));
            if (!text.isEmpty() && !text.endsWith(u';')) {
                text += u';';
            }
            for (const QString& entry : chooser.Chosen()) {
                text += entry + u';';
            }
            Plugin_SetText(GetPluginByName(this, QStringLiteral("contact_number_edit")), text);
        }
    }
    return 0;
}
