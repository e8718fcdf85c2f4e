#include "device/CMobileUpdateInfoDlg.h"

#include "controls/OpenWebPage.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QDesktopServices>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QUrl>

struct CMobileUpdateInfoDlgTable {
    static const SkinEventRow<CMobileUpdateInfoDlg> kRows[];
};

const SkinEventRow<CMobileUpdateInfoDlg> CMobileUpdateInfoDlgTable::kRows[] = {
    {"ok_btn", kSkinClick, &CMobileUpdateInfoDlg::OnUpdate},
    {"backup_and_update_btn", kSkinClick, &CMobileUpdateInfoDlg::OnBackupFirst},
    {"close_btn", kSkinClick, &CMobileUpdateInfoDlg::OnCancel},
    {"cancle_btn", kSkinClick, &CMobileUpdateInfoDlg::OnCancel},
    {nullptr, 0, nullptr},
};

CMobileUpdateInfoDlg::CMobileUpdateInfoDlg(const firmware::FirmwareCheck& offer, firmware::FirmwareStorage storage,
                                           QWidget* parent)
    : CSkinDialog(parent), m_offer(offer), m_storage(storage) {}

bool CMobileUpdateInfoDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("ok_btn")}, {QStringLiteral("cancle_btn"), QStringLiteral("close_btn")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("firmware_offer_dialog")) == 0) {
        return false;
    }
    const auto set = [this](const char* name, const QString& text) {
        Plugin_SetText(GetPluginByName(this, QString::fromLatin1(name)), text);
    };
    Plugin_SetText(GetLayoutRoot(this), Str(320)); // one title for the dialogs of the update
    set("mobile_new_version", FormatText(Str(3104), qUtf8Printable(m_offer.info.newVersion)));
    set("mobile_version_date", FormatText(Str(3105), qUtf8Printable(m_offer.info.date)));
    set("mobile_version_size", FormatText(Str(3106), qUtf8Printable(m_offer.SizeText())));
    const bool placed = m_storage != firmware::FirmwareStorage::NoSpace;
    set("mobile_version_storage",
        placed ? FormatText(Str(3112), qUtf8Printable(Str(m_storage == firmware::FirmwareStorage::Card ? 3114 : 3113)))
               : Str(634));
    set("describe_title", Str(3109));
    set("ok_btn", Str(605));
    set("backup_and_update_btn", Str(3107));
    set("cancle_btn", Str(722));

    auto* text = new QPlainTextEdit;
    text->setObjectName(QStringLiteral("firmware_description"));
    text->setReadOnly(true);
    QString description = m_offer.info.description;
    description.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text->setPlainText(description);
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("UpdateDescribe")), text);
    text->verticalScrollBar()->setValue(0);

    FitToLayout(true);
    return true;
}

LRESULT CMobileUpdateInfoDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CMobileUpdateInfoDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CMobileUpdateInfoDlg::OnUpdate(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(kUpdate);
    return 0;
}

LRESULT CMobileUpdateInfoDlg::OnBackupFirst(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(kBackupFirst);
    return 0;
}

LRESULT CMobileUpdateInfoDlg::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(kCancel);
    return 0;
}

struct CMobileUpdateTipDlgTable {
    static const SkinEventRow<CMobileUpdateTipDlg> kRows[];
};

const SkinEventRow<CMobileUpdateTipDlg> CMobileUpdateTipDlgTable::kRows[] = {
    {"close_button", kSkinClick, &CMobileUpdateTipDlg::OnClose},
    {"btn_ok", kSkinClick, &CMobileUpdateTipDlg::OnClose},
    {"more_update_method", kSkinClick, &CMobileUpdateTipDlg::OnMoreMethods},
    {nullptr, 0, nullptr},
};

CMobileUpdateTipDlg::CMobileUpdateTipDlg(QWidget* parent) : CSkinDialog(parent) {}

bool CMobileUpdateTipDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("btn_ok")}, {QStringLiteral("close_button")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("firmware_tip_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetLayoutRoot(this), Str(320));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("firmware_tip_text")), Str(3110));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("more_update_method")), Str(3111));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("btn_ok")), Str(724));
    FitToLayout(true);
    return true;
}

LRESULT CMobileUpdateTipDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CMobileUpdateTipDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CMobileUpdateTipDlg::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CMobileUpdateTipDlg::OnMoreMethods(QWidget*, std::intptr_t, std::intptr_t) {
    OpenWebPage(this, Str(801));
    EndDialog(static_cast<int>(IDOK));
    return 0;
}
