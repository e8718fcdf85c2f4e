#include "device/CHomePage.h"

#include "bridge/api/DeviceBridge.h"
#include "controls/VexaMessageBox.h"
#include "device/CConnectHwndobj.h"
#include "device/CHomeParts.h"
#include "device/CMobileVersionHwnobj.h"
#include "device/CPhonePlayer.h"
#include "device/DeviceConnection.h"
#include "device/DeviceNameAdapter.h"
#include "device/HomeTexts.h"
#include "device/MainFrameMessages.h"
#include "device/SessionGate.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "libs/stats/Stats.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QLineEdit>

struct CHomePageTable {
    static const SkinEventRow<CHomePage> kRows[];
};

const SkinEventRow<CHomePage> CHomePageTable::kRows[] = {
    {"try_to_disconnect", kSkinClick, &CHomePage::OnDisconnect},
    {"try_to_change_connect", kSkinClick, &CHomePage::OnChangeDevice},
    {"backup_button", kSkinClick, &CHomePage::OnBackupButton},
    {"restore_button", kSkinClick, &CHomePage::OnRestoreButton},
    {"more_recommend", kSkinClick, &CHomePage::OnMoreRecommend},
    {"show_name", kSkinClick, &CHomePage::OnRename},
    {"edit_name_btn", kSkinClick, &CHomePage::OnRename},
    {"show_player_btn", kSkinClick, &CHomePage::OnShowPlayer},
    {nullptr, 0, nullptr},
};

CHomePage::CHomePage(CDeviceList& devices, DeviceNameAdapter& names, CSessionGate& gate, QWidget* parent)
    : CTabPageWnd(parent), m_devices(devices), m_names(names), m_gate(gate),
      m_refreshJob("home figures", [this](const std::atomic<bool>& cancel) {
          CSessionScope use(m_gate, VEXA_HERE);
          if (!use || cancel) {
              return;
          }
          PostValue(WM_HOME_FIGURES, ReadHomeFigures(use.Bridge(), use.Session(), m_devices));
      }) {}

CHomePage::~CHomePage() {
    m_refreshJob.Stop();
}

void CHomePage::SetFrame(CMsgWnd* frame, UINT selectTab, UINT disconnect, UINT connect,
                         std::function<bool()> mayChange) {
    m_frame = frame;
    m_selectTab = selectTab;
    m_disconnect = disconnect;
    m_connectMsg = connect;
    m_mayChange = std::move(mayChange);
}

void CHomePage::SetBackupActions(std::function<bool()> backup, std::function<void()> restore) {
    m_backup = std::move(backup);
    m_restore = std::move(restore);
}

LRESULT CHomePage::OnBackupButton(QWidget*, std::intptr_t, std::intptr_t) {
    PostMessage(WM_HOME_BACKUP);
    return 0;
}

LRESULT CHomePage::OnMoreRecommend(QWidget*, std::intptr_t, std::intptr_t) {
    if (m_frame != nullptr) {
        m_frame->PostValue(WM_FRAME_STORE_PAGE, QStringLiteral("/Aspx/UserApp/Index.aspx"));
    }
    return 0;
}

LRESULT CHomePage::OnRestoreButton(QWidget*, std::intptr_t, std::intptr_t) {
    if (m_restore && m_gate.IsUsable()) {
        m_restore();
        PostMessage(WM_HOME_REFRESH);
    }
    return 0;
}

void CHomePage::RunBackup() {
    if (!m_backup || !m_gate.IsUsable()) {
        return;
    }
    actst_record(0x4B);
    const QString key = m_key;
    if (m_backup() && !key.isEmpty()) {
        const QDateTime now = QDateTime::currentDateTime();
        m_names.SetBackupTime(key, QString::asprintf("%04d%02d%02d%02d%02d", now.date().year(), now.date().month(),
                                                     now.date().day(), now.time().hour(), now.time().minute()));
        if (!m_names.Save()) {
            LOG_Error("[CHomePage] the backup time was not saved. %s:%d", LOG_HERE);
        }
        ShowBackupTime();
    }
}

bool CHomePage::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("home_page")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("try_to_disconnect")), Str(651));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("try_to_change_connect")), Str(2210));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("news_title")), Str(2215));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("backup_panel_title")), Str(2649));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("backup_button")), Str(2682));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("restore_button")), Str(2683));

    m_connect = new CConnectHwndobj(m_devices, m_names, this);
    m_data = new CDeviceDataShow(m_frame, m_selectTab);
    m_memory = new CMemoryData(this, WM_HOME_STOP_PLAYER);
    m_firmware = new CMobileVersionHwnobj(m_gate);
    m_player = new CPhonePlayer(m_gate);
    auto* news = new CMsgWnd;
    if (!m_connect->Create() || !m_data->Create() || !m_memory->Create() || !m_firmware->Create() || !m_player->Create() ||
        WindowManager_Attach(AppSkin(), news, QStringLiteral("vexa_news_page")) == 0) {
        delete m_connect;
        delete m_data;
        delete m_memory;
        delete m_firmware;
        delete m_player;
        delete news;
        m_connect = nullptr;
        m_data = nullptr;
        m_memory = nullptr;
        m_firmware = nullptr;
        m_player = nullptr;
        return false;
    }
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("phone_player")), m_player);
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("device_connect_hwndobj")), m_connect);
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("Device_Data_WndObj")), m_data);
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("Memory_Data_WndObj")), m_memory);
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("mobile_version")), m_firmware);
    // The update takes the phone away: not while an install runs; "备份后升级" runs the page's backup.
    m_firmware->SetActions([this] { return !m_mayChange || m_mayChange(); },
                           [this] { return m_backup && m_gate.IsUsable() && m_backup(); });
    // The store's recommendations; without a store (or while it cannot be reached) the panel says so
    // instead of showing an empty page.
    Plugin_SetText(GetPluginByName(news, QStringLiteral("news_offline_text")), Str(2216));
    Plugin_SetText(GetPluginByName(news, QStringLiteral("opening_vexa_news_page")), Str(3411));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("more_recommend")), Str(3412));
    QWidget* view = m_newsFactory ? m_newsFactory([news](bool ok) {
        Plugin_SetVisible(GetPluginByName(news, QStringLiteral("opening_vexa_news_page")), false);
        Plugin_SetVisible(GetPluginByName(news, QStringLiteral("html_wnd")), ok);
        Plugin_SetVisible(GetPluginByName(news, QStringLiteral("open_vexa_news_page_failed")), !ok);
    })
                                  : nullptr;
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("more_recommend")), view != nullptr);
    if (view != nullptr) {
        Plugin_SetChildWindow(GetPluginByName(news, QStringLiteral("html_wnd")), view);
    }
    Plugin_SetVisible(GetPluginByName(news, QStringLiteral("opening_vexa_news_page")), view != nullptr);
    Plugin_SetVisible(GetPluginByName(news, QStringLiteral("html_wnd")), false);
    Plugin_SetVisible(GetPluginByName(news, QStringLiteral("open_vexa_news_page_failed")), view == nullptr);
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("web_news_ctrl")), news);

    Plugin_SetText(GetPluginByName(this, QStringLiteral("show_player_btn")), Str(3294));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("edit_name_btn")), Str(3563));
    if (QWidget* name = GetPluginByName(this, QStringLiteral("show_name"))) {
        name->setToolTip(Str(3564));
        name->setCursor(Qt::PointingHandCursor);
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("edit_layout")), false);
    if (auto* edit = NameEdit()) {
        edit->installEventFilter(this);
        QObject::connect(edit, &QLineEdit::editingFinished, this, [this] { FinishRename(true); });
    }
    m_player->SetNewsAction([this] { ShowNews(true); });

    ShowConnectedArea(false);
    return true;
}

LRESULT CHomePage::OnRename(QWidget*, std::intptr_t, std::intptr_t) {
    StartRename();
    return 0;
}

LRESULT CHomePage::OnShowPlayer(QWidget*, std::intptr_t, std::intptr_t) {
    ShowNews(false);
    return 0;
}

QLineEdit* CHomePage::NameEdit() const {
    // By way of its box: the connect window has an "edit_name" of its own (the Wi-Fi code).
    QWidget* box = GetPluginByName(const_cast<CHomePage*>(this), QStringLiteral("edit_layout"));
    return qobject_cast<QLineEdit*>(Plugin_GetChild(box, QStringLiteral("edit_name")));
}

QString CHomePage::ShownName() const {
    return Plugin_GetText(GetPluginByName(const_cast<CHomePage*>(this), QStringLiteral("show_name")));
}

void CHomePage::ShowName(const QString& name) {
    Plugin_SetText(GetPluginByName(this, QStringLiteral("show_name")), name);
}

void CHomePage::StartRename() {
    auto* edit = NameEdit();
    if (!m_connected || m_key.isEmpty() || m_renaming || edit == nullptr) {
        return;
    }
    actst_record(0x46);
    m_renaming = true;
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("show_name")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("edit_name_btn")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("edit_layout")), true);
    edit->setText(m_names.GetDisplayName(m_key, m_model));
    edit->selectAll();
    edit->setFocus(Qt::OtherFocusReason);
}

void CHomePage::FinishRename(bool keep) {
    if (!m_renaming) {
        return; // editingFinished also comes when the box is hidden after Escape
    }
    m_renaming = false;
    auto* edit = NameEdit();
    const QString old = m_names.GetDisplayName(m_key, m_model);
    QString name = old;
    if (keep && edit != nullptr && !m_key.isEmpty() && edit->text() != old) {
        name = m_names.Rename(m_key, m_model, edit->text());
        if (!m_names.Save()) {
            VexaMessageBox(Str(3565), this, Str(330), 0);
        }
        if (m_connect != nullptr) {
            m_connect->RebuildList(); // the device list shows the names too
        }
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("edit_layout")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("show_name")), true);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("edit_name_btn")), true);
    ShowName(name);
}

bool CHomePage::eventFilter(QObject* watched, QEvent* event) {
    if (m_renaming && event->type() == QEvent::KeyPress && watched == NameEdit() &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        FinishRename(false);
        return true;
    }
    return CTabPageWnd::eventFilter(watched, event);
}

void CHomePage::ShowNews(bool news) {
    m_newsShown = news;
    ShowConnectedArea(m_connected);
}

bool CHomePage::IsNewsShown() const {
    QWidget* news = GetPluginByName(const_cast<CHomePage*>(this), QStringLiteral("layout_web_news"));
    return news != nullptr && !news->isHidden();
}

bool CHomePage::IsConnectedAreaShown() const {
    QWidget* area = GetPluginByName(const_cast<CHomePage*>(this), QStringLiteral("connected_area"));
    return area != nullptr && !area->isHidden();
}

void CHomePage::ShowConnectedArea(bool connected) {
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("connected_area")), connected);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("disconnected_area")), !connected);
    // The phone's screen takes the news panel's place while a phone is connected; each offers the other.
    const bool news = !connected || m_newsShown;
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("phone_player")), !news);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("layout_web_news")), news);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("show_player_btn")), connected);
}

void CHomePage::OnDeviceConnected() {
    m_connected = true;
    vexa::DeviceBridge* bridge = ppGetBridge();
    if (bridge != nullptr && !bridge->IsWifiConnection()) {
        DeviceRecord record;
        if (m_devices.GetCurrentDevice(record)) {
            m_device = record;
        }
    }
    ShowConnectedArea(true);
    PostMessage(WM_HOME_REFRESH);
}

void CHomePage::OnDeviceDisconnected() {
    if (!m_connected) {
        return;
    }
    m_connected = false;
    m_firstRefreshDone = false;
    m_device = DeviceRecord();
    if (m_renaming) {
        FinishRename(false);
    }
    m_key.clear();
    m_newsShown = false;
    m_refreshJob.Cancel();
    if (m_firmware != nullptr) {
        m_firmware->Clear();
    }
    if (m_player != nullptr) {
        m_player->Reset();
        m_player->SetPlayerEnabled(false);
    }
    ShowConnectedArea(false);
    if (m_connect != nullptr) {
        m_connect->RebuildList();
    }
}

void CHomePage::OnPageShown() {
    if (m_connected) {
        ShowConnectedArea(true);
        PostMessage(WM_HOME_REFRESH);
    }
}

void CHomePage::ShowBackupTime() {
    QWidget* label = GetPluginByName(this, QStringLiteral("backup_time"));
    if (m_backupTimeHidden || m_key.isEmpty()) {
        Plugin_SetVisible(label, false);
        return;
    }
    QString stored;
    m_names.GetBackupTime(m_key, stored);
    Plugin_SetText(label, LastBackupText(stored, QDateTime::currentDateTime()));
    Plugin_SetVisible(label, true);
}

void CHomePage::Refresh() {
    if (m_connected) {
        m_refreshJob.Request(); // while a read is under way this only asks for one more
    }
}

void CHomePage::ShowFigures(const HomeFigures& figures) {
    if (!m_connected) {
        return; // read before the phone went
    }
    ++m_refreshes;
    if (!m_firstRefreshDone && m_firmware != nullptr) {
        m_firmware->Fill(figures.firmware, figures.firmwareUpdatable, figures.key);
    }
    if (!m_firstRefreshDone && m_player != nullptr) {
        m_player->SetUpShell(figures.projectNumber);
        m_player->SetPlayerEnabled(ScreenPlayerSupported(figures.osVersion));
        m_player->Refresh(true); // the first picture of the new phone; a phone without one stays blank
    }
    m_firstRefreshDone = true;
    m_key = figures.key;
    m_model = figures.model;
    m_backupTimeHidden = figures.backupTimeHidden;
    QString stored;
    if (!m_key.isEmpty() && !m_names.GetName(m_key, stored)) {
        // A phone seen for the first time keeps its default name, so the device list shows it too.
        m_names.Rename(m_key, m_model, QString());
        if (!m_names.Save()) {
            LOG_Error("[CHomePage] the phone's name was not saved. %s:%d", LOG_HERE);
        }
    }
    if (!m_renaming) {
        ShowName(m_names.GetDisplayName(m_key, figures.model));
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("device_model")), BrandedModel(figures.model));
    if (figures.hasStorage) {
        m_memory->Show(figures.storage);
    }
    if (figures.hasSummary) {
        m_data->SetCounts(figures.messages, figures.contacts, figures.apps, figures.agentApps);
    }
    ShowBackupTime();
    if (!figures.updatedTo.isEmpty()) {
        VexaMessageBox(Str(3660) + QStringLiteral("。") + FormatText(Str(3661), qUtf8Printable(figures.updatedTo)), this,
                       Str(320), 0);
    }
}

LRESULT CHomePage::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CHomePageTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    switch (msg) {
    case WM_HOME_CONNECT_REQUEST:
        if (m_frame != nullptr) {
            m_frame->PostValue(m_connectMsg, TakeValue<QString>(lParam).value_or(QString()), wParam);
        }
        break;
    case WM_HOME_REFRESH:
        Refresh();
        break;
    case WM_HOME_FIGURES:
        if (const auto figures = TakeValue<HomeFigures>(lParam)) {
            ShowFigures(*figures);
        }
        break;
    case WM_HOME_BACKUP:
        RunBackup();
        PostMessage(WM_HOME_REFRESH);
        break;
    case WM_HOME_STOP_PLAYER:
        // The storage panel's "文件管理" button.
        if (m_player != nullptr) {
            m_player->StopAutoPlay();
        }
        if (m_openFiles && m_gate.IsUsable()) {
            m_openFiles();
        }
        break;
    case WM_HOME_DEVICES_CHANGED:
        if (m_connect != nullptr) {
            m_connect->RebuildList();
        }
        break;
    default:
        break;
    }
    return 0;
}

LRESULT CHomePage::OnDisconnect(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x4A);
    if (m_player != nullptr) {
        m_player->StopAutoPlay();
    }
    if (m_frame != nullptr) {
        m_frame->PostMessage(m_disconnect);
    }
    return 0;
}

LRESULT CHomePage::OnChangeDevice(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x49);
    if (m_mayChange && !m_mayChange()) {
        VexaMessageBox(Str(629), this, Str(330), 0);
        return 0;
    }
    if (m_connect != nullptr) {
        m_connect->RebuildList();
    }
    ShowConnectedArea(false);
    return 0;
}
