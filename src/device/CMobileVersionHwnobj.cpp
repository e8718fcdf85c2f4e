#include "device/CMobileVersionHwnobj.h"

#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "controls/CAnimateDialog.h"
#include "controls/CVexaProgressDlg.h"
#include "controls/VexaMessageBox.h"
#include "device/CMobileUpdateInfoDlg.h"
#include "device/DeviceConnection.h"
#include "device/FirmwareUpdate.h"
#include "device/SessionGate.h"
#include "files/FileRules.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "libs/stats/Stats.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>

struct CMobileVersionHwnobjTable {
    static const SkinEventRow<CMobileVersionHwnobj> kRows[];
};

const SkinEventRow<CMobileVersionHwnobj> CMobileVersionHwnobjTable::kRows[] = {
    {"check_version_btn", kSkinClick, &CMobileVersionHwnobj::OnCheck},
    {nullptr, 0, nullptr},
};

QString FirmwareDownloadText(const QString& head, const QString& packageName, const firmware::DownloadProgress& at) {
    return head + u'\n' +
           files::TransferStatusText({packageName, static_cast<std::uint64_t>(std::max<qint64>(at.done, 0)),
                                      static_cast<std::uint64_t>(std::max<qint64>(at.total, 0)), at.bytesPerSecond});
}

CMobileVersionHwnobj::CMobileVersionHwnobj(CSessionGate& gate, QWidget* parent) : CMsgWnd(parent), m_gate(gate) {}

bool CMobileVersionHwnobj::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("mobile_version")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("check_version_btn")), Str(3103));
    Clear();
    return true;
}

void CMobileVersionHwnobj::SetActions(std::function<bool()> mayChange, std::function<bool()> backup) {
    m_mayChange = std::move(mayChange);
    m_backup = std::move(backup);
}

void CMobileVersionHwnobj::Fill(const QString& firmwareVersion, bool canUpdate, const QString& phoneKey) {
    m_version = firmwareVersion;
    m_phoneKey = phoneKey;
    Plugin_SetText(GetPluginByName(this, QStringLiteral("show_version")),
                   FormatText(Str(3102), qUtf8Printable(firmwareVersion)));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("show_version")), !firmwareVersion.isEmpty());
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("check_version_btn")), canUpdate);
    QWidget* note = GetPluginByName(this, QStringLiteral("firmware_note"));
    Plugin_SetText(note, Str(3117));
    if (note != nullptr) {
        note->setToolTip(Str(3101));
    }
    Plugin_SetVisible(note, !canUpdate);
}

void CMobileVersionHwnobj::Clear() {
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("show_version")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("check_version_btn")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("firmware_note")), false);
}

LRESULT CMobileVersionHwnobj::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    HandleSkinMessage(this, CMobileVersionHwnobjTable::kRows, msg, wParam, lParam, result);
    return result;
}

LRESULT CMobileVersionHwnobj::OnCheck(QWidget*, std::intptr_t, std::intptr_t) {
    CheckAndUpdate();
    return 0;
}

void CMobileVersionHwnobj::CheckAndUpdate() {
    actst_record(0x47);
    SetActivityState(ActivityFirmware);
    if (m_mayChange && !m_mayChange()) {
        SetActivityState(ActivityIdle);
        VexaMessageBox(Str(664), this, Str(320), 0);
        return;
    }
    // The query, and where the package would go, behind the busy dialog.
    firmware::FirmwareCheck offer;
    firmware::FirmwareStorage storage = firmware::FirmwareStorage::NoSpace;
    {
        CAnimateDialog busy(this);
        busy.m_strCaption = Str(320);
        busy.m_strTip = Str(321);
        busy.m_bCloseEnabled = 1;
        busy.m_bCancellable = 1;
        const QString host = PCL_GetServiceHost(QStringLiteral("firmware"));
        RunWhileModal(busy, [&] {
            busy.WaitReady();
            QString firmwareText;
            {
                CSessionScope use(m_gate, VEXA_HERE);
                if (use && use->GetDeviceInfo() != nullptr) {
                    firmwareText = use->GetDeviceInfo()->GetFirmwareVersion();
                }
            }
            offer = firmware::CheckFirmware(firmwareText, host, firmware::TempFolder(), ProxyFromSettings(),
                                            [&busy] { return busy.IsCancelRequested(); });
            if (offer.result == 1) {
                CSessionScope use(m_gate, VEXA_HERE);
                if (use) {
                    storage = firmware::ChooseStorage(use.Session(), static_cast<std::uint64_t>(offer.info.size));
                }
            }
            busy.EndWork(busy.IsCancelRequested() ? 2 : 1);
        });
        if (busy.IsCancelRequested()) {
            SetActivityState(ActivityIdle);
            return;
        }
    }
    if (offer.result != 1) {
        LOG_Info("[CMobileVersionHwnobj] no update: %s. %s:%d", qUtf8Printable(offer.error), LOG_HERE);
        SetActivityState(ActivityIdle);
        VexaMessageBox(Str(offer.errorId), this, Str(320), 0);
        return;
    }
    CMobileUpdateInfoDlg dialog(offer, storage, this);
    const int answer = dialog.DoModal();
    if (answer != CMobileUpdateInfoDlg::kUpdate && answer != CMobileUpdateInfoDlg::kBackupFirst) {
        SetActivityState(ActivityIdle);
        return;
    }
    if (!m_gate.IsUsable()) {
        SetActivityState(ActivityDisconnected);
        return;
    }
    if (storage == firmware::FirmwareStorage::NoSpace) {
        SetActivityState(ActivityIdle);
        VexaMessageBox(Str(634), this, Str(320), 0);
        return;
    }
    bool afterBackup = false;
    if (answer == CMobileUpdateInfoDlg::kBackupFirst) {
        if (!m_backup || !m_backup()) {
            SetActivityState(ActivityIdle);
            return;
        }
        afterBackup = true;
    } else {
        actst_record(0x48);
    }
    QString package;
    if (!Download(offer, afterBackup, &package)) {
        SetActivityState(ActivityIdle);
        VexaMessageBox(Str(148), this, Str(320), 0);
        return;
    }
    if (Install(offer, package, storage == firmware::FirmwareStorage::Card)) {
        SetActivityState(ActivityDisconnected);
        VexaMessageBox(Str(145), this, Str(320), 0);
        return;
    }
    SetActivityState(ActivityIdle);
    CMobileUpdateTipDlg tip(this);
    tip.DoModal();
}

bool CMobileVersionHwnobj::Download(const firmware::FirmwareCheck& offer, bool afterBackup, QString* packagePath) {
    CVexaProgressDlg dlg(this);
    dlg.m_strTitle = Str(155);
    const QString head = afterBackup ? Str(776) + QStringLiteral("，") + Str(154) : Str(154);
    dlg.m_strRemind = head;
    dlg.m_bCanCancel = true;
    const QString name = QFileInfo(firmware::PackagePath(QString(), offer.info)).fileName();
    firmware::DownloadResult result;
    const QString folder = firmware::DownloadFolder();
    RunWhileModal(dlg, [&] {
        dlg.WaitReady();
        result = firmware::DownloadPackage(
            offer, folder, ProxyFromSettings(),
            [&] { return !dlg.IsCancelRequested() && m_gate.IsUsable(); },
            [&](const firmware::DownloadProgress& at) {
                dlg.SetProgress(100, static_cast<unsigned>(std::clamp<qint64>(at.percent, 0, 100)), false);
                if (at.total > 0) {
                    dlg.SetRemindText(FirmwareDownloadText(head, name, at));
                }
            });
        dlg.PostMessage(WM_COMMAND, result.ok ? IDOK : IDCANCEL, 0);
    });
    *packagePath = result.packagePath;
    return result.ok;
}

bool CMobileVersionHwnobj::Install(const firmware::FirmwareCheck& offer, const QString& packagePath, bool useCard) {
    CVexaProgressDlg dlg(this);
    dlg.m_strTitle = Str(146);
    dlg.m_strRemind = Str(147);
    firmware::InstallResult result;
    RunWhileModal(dlg, [&] {
        dlg.WaitReady();
        {
            CSessionScope use(m_gate, VEXA_HERE);
            result = firmware::InstallPackage(use.Session(), packagePath, offer, useCard, {}, [&dlg](int percent) {
                dlg.SetProgress(100, static_cast<unsigned>(percent), false);
            });
        }
        if (result.ok) {
            firmware::RememberPendingUpdate(m_phoneKey, m_version, offer.info.newVersion, result);
        } else {
            LOG_Error("[CMobileVersionHwnobj] update not installed: %s. %s:%d", qUtf8Printable(result.error), LOG_HERE);
        }
        dlg.PostMessage(WM_COMMAND, IDOK, 0);
    });
    return result.ok;
}
