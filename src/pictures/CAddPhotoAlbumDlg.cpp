#include "pictures/CAddPhotoAlbumDlg.h"

#include "controls/VexaMessageBox.h"
#include "pictures/PictureRules.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QComboBox>
#include <QLineEdit>

struct CAddPhotoAlbumDlgTable {
    static const SkinEventRow<CAddPhotoAlbumDlg> kRows[];
};

const SkinEventRow<CAddPhotoAlbumDlg> CAddPhotoAlbumDlgTable::kRows[] = {
    {"button_ok", kSkinClick, &CAddPhotoAlbumDlg::OnOk},
    {"button_cancel", kSkinClick, &CAddPhotoAlbumDlg::OnCancel},
    {"Button_Close", kSkinClick, &CAddPhotoAlbumDlg::OnCancel},
    {nullptr, 0, nullptr},
};

CAddPhotoAlbumDlg::CAddPhotoAlbumDlg(std::vector<int> storages, QStringList existing, QWidget* parent)
    : CSkinDialog(parent), m_storages(std::move(storages)), m_existing(std::move(existing)) {}

CAddPhotoAlbumDlg::CAddPhotoAlbumDlg(Renaming renaming, QWidget* parent)
    : CSkinDialog(parent), m_name(std::move(renaming.current)), m_renaming(true), m_picture(renaming.picture),
      m_title(std::move(renaming.title)) {}

bool CAddPhotoAlbumDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("button_ok")}, {QStringLiteral("button_cancel")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("add_photo_album_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetLayoutRoot(this), m_renaming ? m_title : Str(2915));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("storage_label")), Str(2924));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("name_label")), Str(m_renaming ? 2926 : 2923));
    for (const char* name : {"storage_label", "storage_box"}) {
        Plugin_SetVisible(GetPluginByName(this, QString::fromLatin1(name)), !m_renaming);
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_ok")), Str(724));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_cancel")), Str(722));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("name_tip")), false);
    if (auto* box = qobject_cast<QComboBox*>(GetPluginByName(this, QStringLiteral("storage_box")))) {
        for (const int storage : m_storages) {
            box->addItem(Str(storage == 0 ? 836 : 837), storage);
        }
    }
    if (auto* edit = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("album_name_edit")))) {
        // A picture's name may be longer than an album's: the phone's own limit holds for it.
        edit->setMaxLength(m_picture ? 255 : kMaxName);
        QObject::connect(edit, &QLineEdit::textEdited, this, [this](const QString& text) { OnEdited(text); });
        edit->setFocus();
        if (m_renaming) {
            edit->setText(m_name);
            // What people change is the name: its extension stays out of the selection.
            const qsizetype dot = m_picture ? m_name.lastIndexOf(u'.') : -1;
            edit->setSelection(0, static_cast<int>(dot > 0 ? dot : m_name.size()));
        }
    }
    FitToLayout(false);
    return true;
}

LRESULT CAddPhotoAlbumDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CAddPhotoAlbumDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

void CAddPhotoAlbumDlg::OnEdited(const QString& text) {
    static const QString kForbidden = QStringLiteral("\\/:*?\"<>|");
    QString clean = text;
    clean.removeIf([](QChar c) { return kForbidden.contains(c); });
    QWidget* tip = GetPluginByName(this, QStringLiteral("name_tip"));
    if (clean == text) {
        return;
    }
    if (auto* edit = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("album_name_edit")))) {
        const int cursor = edit->cursorPosition() - static_cast<int>(text.size() - clean.size());
        edit->setText(clean);
        edit->setCursorPosition(std::max(cursor, 0));
    }
    Plugin_SetText(tip, FormatText(Str(831), qUtf8Printable(pictures::ForbiddenCharacters())));
    Plugin_SetVisible(tip, true);
}

void CAddPhotoAlbumDlg::TypeName(const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("album_name_edit")))) {
        edit->setText(text.left(kMaxName));
        OnEdited(text.left(kMaxName));
    }
}

void CAddPhotoAlbumDlg::PressOk() {
    OnOk(nullptr, 0, 0);
}

QString CAddPhotoAlbumDlg::SelectedText() const {
    auto* edit = qobject_cast<QLineEdit*>(GetPluginByName(const_cast<CAddPhotoAlbumDlg*>(this), QStringLiteral("album_name_edit")));
    return edit != nullptr ? edit->selectedText() : QString();
}

QString CAddPhotoAlbumDlg::TipText() const {
    QWidget* tip = GetPluginByName(const_cast<CAddPhotoAlbumDlg*>(this), QStringLiteral("name_tip"));
    return tip != nullptr && tip->isVisibleTo(this) ? Plugin_GetText(tip) : QString();
}

LRESULT CAddPhotoAlbumDlg::OnOk(QWidget*, std::intptr_t, std::intptr_t) {
    const QString name = Plugin_GetText(GetPluginByName(this, QStringLiteral("album_name_edit")));
    if (m_renaming) {
        // Only a name of nothing is refused here; the page checks the rest against the album.
        if (name.trimmed().isEmpty()) {
            VexaMessageBox(Str(2926), this, m_title, 0);
            return 0;
        }
        m_name = name;
        EndDialog(static_cast<int>(IDOK));
        return 0;
    }
    const int problem = pictures::CheckAlbumName(name, m_existing);
    if (problem != 0) {
        VexaMessageBox(Str(problem), this, Str(2915), 0);
        return 0;
    }
    auto* box = qobject_cast<QComboBox*>(GetPluginByName(this, QStringLiteral("storage_box")));
    if (box == nullptr || box->currentIndex() < 0) {
        VexaMessageBox(Str(839), this, Str(2915), 0);
        return 0;
    }
    m_storage = box->currentData().toInt();
    m_name = name;
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CAddPhotoAlbumDlg::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}
