#include "messages/CMmsPreviewDlg.h"

#include "controls/VexaMessageBox.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

// The picture area is as wide as the scroll area's page; pictures are never enlarged.
constexpr int kPictureWidth = 360;

} // namespace

CMmsImageAndTextPlayer::CMmsImageAndTextPlayer(QWidget* parent)
    : QWidget(parent), m_image(new QLabel(this)), m_sound(new QLabel(this)), m_text(new QLabel(this)) {
    setObjectName(QStringLiteral("mms_image_and_text_player"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    m_image->setAlignment(Qt::AlignCenter);
    m_sound->setProperty("skinStyle", QStringLiteral("status_text"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(m_image);
    layout->addWidget(m_sound);
    layout->addWidget(m_text);
    layout->addStretch(1);
}

void CMmsImageAndTextPlayer::ShowSlide(const mms::Slide& slide) {
    const int flags = mms::MMS_GetSlideFlags(slide);
    QPixmap picture;
    if ((flags & mms::SLIDE_IMAGE) != 0 && picture.loadFromData(slide.image.data)) {
        if (picture.width() > kPictureWidth) {
            picture = picture.scaledToWidth(kPictureWidth, Qt::SmoothTransformation);
        }
    }
    m_image->setPixmap(picture);
    m_image->setVisible(!picture.isNull());
    m_sound->setText((flags & mms::SLIDE_SOUND) != 0 ? QStringLiteral("♪ ") + slide.sound.name : QString());
    m_sound->setVisible((flags & mms::SLIDE_SOUND) != 0);
    // The text shows on slides with text or a picture, as the message was composed to be read.
    const bool text = (flags & (mms::SLIDE_TEXT | mms::SLIDE_IMAGE)) != 0;
    m_text->setText(text ? slide.text : QString());
    m_text->setVisible(text && !slide.text.isEmpty());
}

QString CMmsImageAndTextPlayer::ShownText() const {
    return m_text->isVisibleTo(const_cast<CMmsImageAndTextPlayer*>(this)) ? m_text->text() : QString();
}

bool CMmsImageAndTextPlayer::ShowsPicture() const {
    return m_image->pixmap().isNull() == false;
}

struct CMmsPreviewDlgTable {
    static const SkinEventRow<CMmsPreviewDlg> kRows[];
};

const SkinEventRow<CMmsPreviewDlg> CMmsPreviewDlgTable::kRows[] = {
    {"Button_Close", kSkinClick, &CMmsPreviewDlg::OnClose},
    {"pause_play", kSkinClick, &CMmsPreviewDlg::OnPause},
    {"play_current_page", kSkinClick, &CMmsPreviewDlg::OnReplayPage},
    {"save_attachment_btn", kSkinClick, &CMmsPreviewDlg::OnSaveAttachment},
    {nullptr, 0, nullptr},
};

CMmsPreviewDlg::CMmsPreviewDlg(const mms::MediaMsg& msg, QWidget* parent)
    : CSkinDialog(parent), m_msg(msg), m_clock(msg) {}

bool CMmsPreviewDlg::OnInitDialog() {
    SetKeyButtons({}, {QStringLiteral("Button_Close")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("mms_preview_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(3246));
    const QString subject = m_msg.Subject().isEmpty() ? Str(3276) : m_msg.Subject();
    Plugin_SetText(GetPluginByName(this, QStringLiteral("mms_preview_subject")), subject);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("mms_time_separator")), QStringLiteral("/"));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("play_current_page")), Str(3268));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("save_attachment_btn")), Str(3608));
    if (auto* area = qobject_cast<QScrollArea*>(GetPluginByName(this, QStringLiteral("mms_text_and_image")))) {
        m_player = new CMmsImageAndTextPlayer;
        area->setWidget(m_player);
        area->verticalScrollBar()->setObjectName(QStringLiteral("mms_vertical_scrollbar"));
    }
    if (m_player == nullptr) {
        return false;
    }
    if (auto* bar = qobject_cast<QProgressBar*>(GetPluginByName(this, QStringLiteral("progress_bar")))) {
        bar->setRange(0, static_cast<int>(std::max<qint64>(m_clock.TotalMs(), 1)));
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("total_time")), mms::PlayTimeText(m_clock.TotalMs()));
    SeekTo(0);
    SetPaused(false);
    if (QWidget* root = GetLayoutRoot(this)) {
        setFixedSize(root->size());
    }
    CentreOver(parentWidget());
    CreateShadow();
    return true;
}

void CMmsPreviewDlg::SeekTo(qint64 elapsedMs) {
    m_elapsed = m_clock.Wrap(elapsedMs);
    m_wall.restart();
    const int slide = m_clock.SlideAt(m_elapsed);
    if (slide != m_current && m_player != nullptr) {
        m_current = slide;
        if (const mms::Slide* s = m_msg.GetSlide(slide)) {
            m_player->ShowSlide(*s);
        }
        if (auto* area = qobject_cast<QScrollArea*>(GetPluginByName(this, QStringLiteral("mms_text_and_image")))) {
            area->verticalScrollBar()->setValue(0);
        }
    }
    ShowTimes();
}

void CMmsPreviewDlg::ShowTimes() {
    Plugin_SetText(GetPluginByName(this, QStringLiteral("curr_play_page")),
                   QStringLiteral("%1/%2").arg(m_current + 1).arg(m_clock.SlideCount()));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("played_time")), mms::PlayTimeText(m_elapsed));
    if (auto* bar = qobject_cast<QProgressBar*>(GetPluginByName(this, QStringLiteral("progress_bar")))) {
        bar->setValue(static_cast<int>(m_elapsed));
    }
}

void CMmsPreviewDlg::SetPaused(bool paused) {
    m_paused = paused;
    Plugin_SetText(GetPluginByName(this, QStringLiteral("pause_play")), Str(paused ? 3267 : 3266));
    if (paused || m_clock.SlideCount() == 0) {
        KillTimer(kTickTimer);
    } else {
        m_wall.restart();
        SetTimer(kTickTimer, kTickMs);
    }
}

void CMmsPreviewDlg::OnTimer(int id) {
    if (id != kTickTimer || m_paused) {
        return;
    }
    // The wall clock, not the tick count, moves the play time: a late tick loses nothing.
    SeekTo(m_elapsed + m_wall.restart());
}

LRESULT CMmsPreviewDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CMmsPreviewDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CMmsPreviewDlg::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    KillTimer(kTickTimer);
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}

LRESULT CMmsPreviewDlg::OnPause(QWidget*, std::intptr_t, std::intptr_t) {
    SetPaused(!m_paused);
    return 0;
}

LRESULT CMmsPreviewDlg::OnReplayPage(QWidget*, std::intptr_t, std::intptr_t) {
    if (m_current >= 0) {
        m_current = -1 - m_current; // shown afresh even when the slide stays the same
        const int slide = -1 - m_current;
        SeekTo(m_clock.Starts()[static_cast<size_t>(slide)]);
    }
    return 0;
}

LRESULT CMmsPreviewDlg::OnSaveAttachment(QWidget*, std::intptr_t, std::intptr_t) {
    SaveAttachments();
    return 0;
}

void CMmsPreviewDlg::SaveAttachments() {
    const mms::Slide* slide = m_msg.GetSlide(std::max(m_current, 0));
    if (slide == nullptr || (slide->image.IsEmpty() && slide->sound.IsEmpty())) {
        VexaMessageBox(Str(3610), this, Str(330), 0);
        return;
    }
    const bool playing = !m_paused;
    SetPaused(true); // the slide stays while the user picks a folder
    const QString folder =
        m_chooseFolder ? m_chooseFolder(this) : QFileDialog::getExistingDirectory(this, Str(3608));
    if (!folder.isEmpty()) {
        QStringList saved;
        const IoResult result = mms::SaveSlideAttachments(*slide, folder, &saved);
        if (result) {
            VexaMessageBox(FormatText(Str(3609), qUtf8Printable(QDir::toNativeSeparators(saved.join(u'\n')))), this,
                           Str(330), 0);
        } else {
            VexaMessageBox(FormatText(Str(3611), qUtf8Printable(result.error)), this, Str(330), 0);
        }
    }
    SetPaused(!playing);
}
