#include "app/CSettingsDlg.h"

#include "app/AutoRun.h"
#include "controls/VexaMessageBox.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "libs/stats/Stats.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>

#include <algorithm>

namespace {

const char* const kTabs[] = {"tab_btn_normal_settings", "tab_btn_task_settings", "tab_btn_download_settings",
                             "tab_btn_proxy_settings"};
const char* const kPages[] = {"page_normal", "page_task", "page_download", "page_proxy"};
constexpr int kDownloadTab = 2;
constexpr int kProxyTab = 3;
const char* const kPathFields[] = {"downloads_savepath", "Backup_data_savepath"};

constexpr int kMaxEditChars = 260;
constexpr const char* kFullText = "fullText"; // a cut field's whole text

} // namespace

struct CSettingsDlgTable {
    static const SkinEventRow<CSettingsDlg> kRows[];
};

const SkinEventRow<CSettingsDlg> CSettingsDlgTable::kRows[] = {
    {"tab_btn_*_settings", kSkinTab, &CSettingsDlg::OnTab},
    {"downloads_savepath_bt", kSkinClick, &CSettingsDlg::OnEditButton},
    {"backup_data_savepath_bt", kSkinClick, &CSettingsDlg::OnEditButton},
    {"ie_proxy_account_bt", kSkinClick, &CSettingsDlg::OnEditButton},
    {"ie_proxy_pw_bt", kSkinClick, &CSettingsDlg::OnEditButton},
    {"select_downloads_savepath_bt", kSkinClick, &CSettingsDlg::OnBrowse},
    {"select_backup_data_savepath_bt", kSkinClick, &CSettingsDlg::OnBrowse},
    {"auto_run_check", kSkinCheck, &CSettingsDlg::OnAutoRun},
    {"no_proxy_radio", kSkinRadio, &CSettingsDlg::OnProxyRadio},
    {"IE_proxy_radio", kSkinRadio, &CSettingsDlg::OnProxyRadio},
    {"manual_proxy_radio", kSkinRadio, &CSettingsDlg::OnProxyRadio},
    {"proxy_server_bt", kSkinClick, &CSettingsDlg::OnEditButton},
    {"btn_settings_dlg_ok", kSkinClick, &CSettingsDlg::OnOk},
    {"btn_settings_dlg_cancel", kSkinClick, &CSettingsDlg::OnCancel},
    {"close_button", kSkinClick, &CSettingsDlg::OnCancel},
    {nullptr, 0, nullptr},
};

CSettingsDlg::CSettingsDlg(QWidget* parent) : CSkinDialog(parent) {}

bool CSettingsDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("btn_settings_dlg_ok")}, {QStringLiteral("btn_settings_dlg_cancel")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("settings_dialog")) == 0) {
        return false;
    }
    const struct {
        const char* name;
        int text;
    } texts[] = {
        {"tab_btn_normal_settings", 2232},
        {"tab_btn_task_settings", 2233},
        {"tab_btn_download_settings", 2234},
        {"tab_btn_proxy_settings", 2235},
        {"close_action_title", 2236},
        {"minimize_when_close_bt", 2251},
        {"minimum_when_close_bt", 2230},
        {"other_title", 2240},
        {"auto_upgrade_check", 2239},
        {"auto_run_check", 2106},
        {"remind_title", 2249},
        {"remind_when_call_come_check", 2237},
        {"remind_when_message_come_check", 2238},
        {"downloads_title", 2241},
        {"backup_title", 2242},
        {"downloads_savepath_bt", 3662},
        {"backup_data_savepath_bt", 3662},
        {"select_downloads_savepath_bt", 2244},
        {"select_backup_data_savepath_bt", 2244},
        {"proxy_title", 2250},
        {"no_proxy_radio", 2245},
        {"IE_proxy_radio", 2246},
        {"manual_proxy_radio", 3663},
        {"proxy_server_label", 3664},
        {"proxy_server_bt", 2243},
        {"proxy_account_label", 2247},
        {"proxy_pw_label", 2248},
        {"ie_proxy_account_bt", 2243},
        {"ie_proxy_pw_bt", 2243},
        {"btn_settings_dlg_ok", 724},
        {"btn_settings_dlg_cancel", 722},
    };
    for (const auto& t : texts) {
        Plugin_SetText(GetPluginByName(this, QString::fromLatin1(t.name)), Str(t.text));
    }
    Plugin_SetText(GetLayoutRoot(this), Str(770));

    const bool minimise = PCL_GetAppCloseOption() == 1;
    Plugin_SetValue(
        GetPluginByName(this, QString::fromLatin1(minimise ? "minimize_when_close_bt" : "minimum_when_close_bt")), 1);
    Plugin_SetValue(GetPluginByName(this, QStringLiteral("remind_when_call_come_check")), PCL_IsNotifyCallIn() ? 1 : 0);
    Plugin_SetValue(GetPluginByName(this, QStringLiteral("remind_when_message_come_check")),
                    PCL_IsNotifyMessageIn() ? 1 : 0);
    Plugin_SetValue(GetPluginByName(this, QStringLiteral("auto_upgrade_check")), PCL_GetAutoUpdate() ? 1 : 0);
    Plugin_SetValue(GetPluginByName(this, QStringLiteral("auto_run_check")), IsAutoRunSet() ? 1 : 0);
    // Long paths are cut in the middle, whole in the tooltip; the layout never grows with them.
    for (const char* name : kPathFields) {
        if (QWidget* field = GetPluginByName(this, QString::fromLatin1(name))) {
            field->setMinimumWidth(1);
            field->setSizePolicy(QSizePolicy::Ignored, field->sizePolicy().verticalPolicy());
            field->installEventFilter(this);
        }
    }
    SetFieldText(GetPluginByName(this, QStringLiteral("downloads_savepath")), PCL_GetDownloadPath());
    SetFieldText(GetPluginByName(this, QStringLiteral("Backup_data_savepath")), PCL_GetBackupPath());

    INTERNET_SETTINGS internet{};
    PCL_GetInternetSettings(&internet);
    SetFieldText(GetPluginByName(this, QStringLiteral("ie_proxy_account_hwnd")), InternetField(internet.m_user));
    SetFieldText(GetPluginByName(this, QStringLiteral("ie_proxy_pw_hwnd")), InternetField(internet.m_password));
    SetFieldText(GetPluginByName(this, QStringLiteral("proxy_server_hwnd")), InternetField(internet.m_server));
    const char* const radios[] = {"no_proxy_radio", "IE_proxy_radio", "manual_proxy_radio"};
    const int type = internet.m_proxyType >= 0 && internet.m_proxyType <= 2 ? internet.m_proxyType : 0;
    Plugin_SetValue(GetPluginByName(this, QString::fromLatin1(radios[type])), 1);
    ShowProxyFields(type);

    // One edit field, moved over whichever text is being changed.
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("settings_inline_edit"));
    m_edit->setMaxLength(kMaxEditChars);
    if (AppSkin() != nullptr) {
        m_edit->setFont(AppSkin()->Resources()->Font(QStringLiteral("font_default")));
    }
    m_edit->hide();
    m_edit->installEventFilter(this);

    ShowTab(0);
    FitToLayout(true);
    return true;
}

LRESULT CSettingsDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CSettingsDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

bool CSettingsDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit && event->type() == QEvent::FocusOut) {
        CommitEdit();
    } else if (event->type() == QEvent::Resize && watched != m_edit) {
        if (auto* field = qobject_cast<QWidget*>(watched); field != nullptr && field->property(kFullText).isValid()) {
            SetFieldText(field, field->property(kFullText).toString());
        }
    }
    return CSkinDialog::eventFilter(watched, event);
}

QString CSettingsDlg::FieldText(const char* name) const {
    QWidget* field = GetPluginByName(const_cast<CSettingsDlg*>(this), QString::fromLatin1(name));
    if (field != nullptr && Plugin_GetName(field) == QLatin1String("ie_proxy_pw_hwnd")) {
        return m_password;
    }
    if (field != nullptr && field->property(kFullText).isValid()) {
        return field->property(kFullText).toString();
    }
    return Plugin_GetText(field);
}

void CSettingsDlg::SetFieldText(QWidget* field, const QString& text) {
    if (field != nullptr && Plugin_GetName(field) == QLatin1String("ie_proxy_pw_hwnd")) {
        m_password = text;
        Plugin_SetText(field, QString(text.size(), QChar(0x25CF)));
        return;
    }
    const QString name = field != nullptr ? Plugin_GetName(field) : QString();
    if (std::any_of(std::begin(kPathFields), std::end(kPathFields), [&](const char* path) { return name == QLatin1String(path); })) {
        field->setProperty(kFullText, text);
        field->setToolTip(text);
        // A field not laid out yet has no width of its own: it is cut when it gets one (Resize).
        const int room = field->isVisible() ? field->contentsRect().width() : 0;
        Plugin_SetText(field, room > 0 ? field->fontMetrics().elidedText(text, Qt::ElideMiddle, room) : text);
        return;
    }
    Plugin_SetText(field, text);
}

void CSettingsDlg::ShowTab(int tab) {
    m_tab = tab;
    for (int i = 0; i < 4; ++i) {
        Plugin_SetVisible(GetPluginByName(this, QString::fromLatin1(kPages[i])), i == tab);
    }
    if (auto* button = qobject_cast<QAbstractButton*>(GetPluginByName(this, QString::fromLatin1(kTabs[tab])))) {
        if (!button->isChecked()) {
            button->setChecked(true);
        }
    }
}

void CSettingsDlg::ShowProxyFields(int type) {
    for (const char* name : {"proxy_account_label", "proxy_account_row", "proxy_pw_label", "proxy_pw_row",
                             "proxy_server_label", "proxy_server_row"}) {
        QWidget* w = GetPluginByName(this, QString::fromLatin1(name));
        const bool shown = QByteArray(name).startsWith("proxy_server") ? type == 2 : type != 0;
        Plugin_SetVisible(w, shown);
        Plugin_SetEnabled(w, shown);
    }
}

LRESULT CSettingsDlg::OnTab(QWidget* widget, std::intptr_t selected, std::intptr_t) {
    if (selected == 0) {
        return 0;
    }
    CommitEdit();
    for (int i = 0; i < 4; ++i) {
        if (Plugin_GetName(widget) == QLatin1String(kTabs[i])) {
            ShowTab(i);
        }
    }
    return 0;
}

void CSettingsDlg::BeginEdit(QWidget* field) {
    CommitEdit();
    if (field == nullptr) {
        return;
    }
    const bool password = Plugin_GetName(field) == QLatin1String("ie_proxy_pw_hwnd");
    m_edit->setEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
    m_edit->setText(password ? m_password : FieldText(Plugin_GetName(field).toLatin1().constData()));
    m_edit->setGeometry(QRect(field->mapTo(this, QPoint(0, 0)), field->size()));
    m_edit->selectAll();
    m_edited = field;
    m_edit->show();
    m_edit->raise();
    m_edit->setFocus(Qt::OtherFocusReason);
}

void CSettingsDlg::CommitEdit() {
    if (m_edited == nullptr) {
        return;
    }
    QWidget* field = m_edited;
    m_edited = nullptr;
    SetFieldText(field, m_edit->text());
    m_edit->hide();
}

LRESULT CSettingsDlg::OnEditButton(QWidget* widget, std::intptr_t, std::intptr_t) {
    const QString name = Plugin_GetName(widget);
    QString field;
    if (name == QLatin1String("downloads_savepath_bt")) {
        actst_record(0x22E);
        field = QStringLiteral("downloads_savepath");
    } else if (name == QLatin1String("backup_data_savepath_bt")) {
        actst_record(0x22F);
        field = QStringLiteral("Backup_data_savepath");
    } else if (name == QLatin1String("ie_proxy_account_bt")) {
        field = QStringLiteral("ie_proxy_account_hwnd");
    } else if (name == QLatin1String("proxy_server_bt")) {
        field = QStringLiteral("proxy_server_hwnd");
    } else {
        field = QStringLiteral("ie_proxy_pw_hwnd");
    }
    BeginEdit(GetPluginByName(this, field));
    return 0;
}

LRESULT CSettingsDlg::OnBrowse(QWidget* widget, std::intptr_t, std::intptr_t) {
    CommitEdit();
    const bool downloads = Plugin_GetName(widget) == QLatin1String("select_downloads_savepath_bt");
    actst_record(downloads ? 0x22E : 0x22F);
    QWidget* field =
        GetPluginByName(this, QString::fromLatin1(downloads ? "downloads_savepath" : "Backup_data_savepath"));
    const QString chosen = QFileDialog::getExistingDirectory(
        this, Str(downloads ? 285 : 284), FieldText(downloads ? "downloads_savepath" : "Backup_data_savepath"));
    if (!chosen.isEmpty()) {
        SetFieldText(field, chosen);
    }
    return 0;
}

LRESULT CSettingsDlg::OnAutoRun(QWidget*, std::intptr_t checked, std::intptr_t) {
    actst_record(checked != 0 ? 0x22C : 0x22D);
    return 0;
}

LRESULT CSettingsDlg::OnProxyRadio(QWidget* widget, std::intptr_t selected, std::intptr_t) {
    if (selected == 0) {
        return 0;
    }
    const QString name = Plugin_GetName(widget);
    const int type = name == QLatin1String("IE_proxy_radio") ? 1 : name == QLatin1String("manual_proxy_radio") ? 2 : 0;
    if (type != 2) {
        actst_record(type == 1 ? 0x230 : 0x231);
    }
    if (type == 0) {
        CommitEdit();
        SetFieldText(GetPluginByName(this, QStringLiteral("ie_proxy_account_hwnd")), QString());
        SetFieldText(GetPluginByName(this, QStringLiteral("ie_proxy_pw_hwnd")), QString());
    }
    ShowProxyFields(type);
    return 0;
}

LRESULT CSettingsDlg::OnOk(QWidget*, std::intptr_t, std::intptr_t) {
    CommitEdit();
    const QString downloads = FieldText("downloads_savepath");
    const QString backup = FieldText("Backup_data_savepath");
    const bool downloadsOk = IsUsableFolder(downloads);
    if (!downloadsOk || !IsUsableFolder(backup)) {
        if (m_tab != kDownloadTab) {
            ShowTab(kDownloadTab);
        }
        VexaMessageBox(Str(downloadsOk ? 666 : 665), this, Str(330), 0);
        return 0;
    }
    const int proxyType = Plugin_GetValue(GetPluginByName(this, QStringLiteral("manual_proxy_radio"))) != 0 ? 2
                          : Plugin_GetValue(GetPluginByName(this, QStringLiteral("IE_proxy_radio"))) != 0   ? 1
                                                                                                              : 0;
    const QString server = FieldText("proxy_server_hwnd").trimmed();
    if (proxyType == 2 && !IsProxyServerText(server)) {
        if (m_tab != kProxyTab) {
            ShowTab(kProxyTab);
        }
        VexaMessageBox(Str(3665), this, Str(330), 0);
        return 0;
    }
    SetAutoRun(Plugin_GetValue(GetPluginByName(this, QStringLiteral("auto_run_check"))) != 0);

    PCL_SetAppCloseOption(Plugin_GetValue(GetPluginByName(this, QStringLiteral("minimize_when_close_bt"))) != 0 ? 1
                                                                                                                : 0);
    // The close behaviour was chosen here, so the question is not asked again. Only on OK: a
    // cancelled dialog that turned the question off left "minimise" in force unasked, and with no
    // tray the close button then seemed to do nothing.
    PCL_SetEnquiryOfAppCloseOption(0);
    PCL_SetNotifyCallIn(Plugin_GetValue(GetPluginByName(this, QStringLiteral("remind_when_call_come_check"))) != 0);
    PCL_SetNotifyMessageIn(Plugin_GetValue(GetPluginByName(this, QStringLiteral("remind_when_message_come_check"))) !=
                           0);
    PCL_SetAutoUpdate(Plugin_GetValue(GetPluginByName(this, QStringLiteral("auto_upgrade_check"))) != 0);
    PCL_SetDownloadPath(WithTrailingSeparator(downloads));
    PCL_SetBackupPath(WithTrailingSeparator(backup));
    INTERNET_SETTINGS internet{};
    PCL_GetInternetSettings(&internet);
    internet.m_proxyType = proxyType;
    SetInternetField(internet.m_server, server);
    SetInternetField(internet.m_user, proxyType != 0 ? FieldText("ie_proxy_account_hwnd") : QString());
    SetInternetField(internet.m_password, proxyType != 0 ? m_password : QString());
    PCL_SetInternetSettings(&internet);
    if (!SaveSettingsTold(this)) {
        return 0; // the dialog stays, with what the user chose, until it can be kept or is cancelled
    }
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CSettingsDlg::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}

bool SaveSettingsTold(QWidget* parent) {
    if (PCL_Save()) {
        return true;
    }
    LOG_Error("[CSettingsDlg] the settings were not saved to %s. %s:%d", qUtf8Printable(PCL_FilePath()), LOG_HERE);
    VexaMessageBox(FormatText(Str(3567), qUtf8Printable(PCL_FilePath())), parent, Str(330), 0);
    return false;
}
