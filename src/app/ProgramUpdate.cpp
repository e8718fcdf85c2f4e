#include "app/ProgramUpdate.h"

#include "app/CSettingsDlg.h"
#include "app/CUpdateSoftwareDlg.h"
#include "app/FrameSupport.h"
#include "app/UpdateSupport.h"
#include "controls/CAnimateDialog.h"
#include "controls/VexaMessageBox.h"
#include "device/MainFrameMessages.h"
#include "libs/http/HttpProxy.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "libs/stats/Stats.h"
#include "libs/update/Update.h"
#include "platform/AppPaths.h"
#include "platform/CMsgWnd.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {

void ApplyUpdateProxy() {
    // Always: a proxy turned off in the settings must stop being used too.
    const HttpProxy proxy = ProxyFromSettings();
    libUpdate_SetProxyInfo(proxy.server, proxy.credentials);
}

// The mark that makes the next start offer the version found.
bool SetNewVersionMark() {
    PCL_SetNewVersionMark(true);
    return PCL_Save();
}

} // namespace

CProgramUpdate::CProgramUpdate(CMsgWnd& frame)
    : m_frame(frame), m_silent("update check", [this](const std::atomic<bool>& cancel) { SilentCheck(cancel); }) {}

bool CProgramUpdate::OfferKnownAtStartup() {
    if (!PCL_GetAutoUpdate() || !PCL_GetNewVersionMark()) {
        return false;
    }
    NewVersionInfo info;
    if (!ReadNewVersionInfo(NewVersionInfoPath(), info) || info.version.isEmpty()) {
        LOG_Error("[handysuite] open local file failed. %s:%d", LOG_HERE);
        return false;
    }
    CUpdateSoftwareDlg offer(info.version, info.description, false, &m_frame);
    if (offer.DoModal() != static_cast<int>(IDOK)) {
        return false;
    }
    m_frame.PostMessage(WM_FRAME_LAUNCH_UPDATER);
    return true;
}

void CProgramUpdate::SilentCheck(const std::atomic<bool>& cancel) {
    ApplyUpdateProxy();
    QString version;
    QString description;
    const UpdateOutcome outcome = UpdateCheckOutcome(libUpdate_Check(
        ProgramVersion(), UpdateManifestUrl(), &version, &description, [&cancel] { return cancel.load(); }));
    if (cancel) {
        return;
    }
    if (outcome.newVersion) {
        LOG_Info("[HandyKeeper] new version suite has been detected. %s:%d", LOG_HERE);
        if (!WriteNewVersionInfo(NewVersionInfoPath(), NewVersionInfo{version, description})) {
            LOG_Error("[HandyKeeper] open local file failed. %s:%d", LOG_HERE);
        }
        m_frame.PostMessage(WM_FRAME_UPDATE_CHECKED, 1); // the UI thread sets the mark
    } else if (outcome.latest) {
        m_frame.PostMessage(WM_FRAME_UPDATE_CHECKED, 0);
    }
}

void CProgramUpdate::OnChecked(bool found) {
    if (found && !SetNewVersionMark()) {
        LOG_Error("[HandyKeeper] the new-version mark was not saved. %s:%d", LOG_HERE);
    }
    RefreshButton();
}

void CProgramUpdate::RunInteractiveCheck() {
    if (UpdateManifestUrl().isEmpty()) {
        // No update service is set up: saying the network is down would send the user looking there.
        VexaMessageBox(Str(3568), &m_frame, Str(330), 0);
        return;
    }
    int result = LUSC_LATEST;
    QString version;
    QString description;
    bool cancelled = false;
    {
        CAnimateDialog dialog(&m_frame);
        dialog.m_strCaption = Str(1047);
        dialog.m_strTip = Str(339);
        dialog.m_bCloseEnabled = 1;
        dialog.m_bCancellable = 1;
        auto work = [&] {
            dialog.WaitReady();
            ApplyUpdateProxy();
            if (!dialog.IsCancelRequested()) {
                result = libUpdate_Check(ProgramVersion(), UpdateManifestUrl(), &version, &description,
                                         [&dialog] { return dialog.IsCancelRequested(); });
            }
            if (dialog.IsCancelRequested()) {
                LOG_Info("[HandyKeeper] user canceled \"new version check\". %s:%d", LOG_HERE);
                cancelled = true;
                dialog.EndWork(2);
                return;
            }
            dialog.EndWork(1);
        };
        RunWhileModal(dialog, work);
    }
    if (cancelled) {
        return;
    }
    const UpdateOutcome outcome = UpdateCheckOutcome(result);
    if (outcome.newVersion) {
        if (!WriteNewVersionInfo(NewVersionInfoPath(), NewVersionInfo{version, description}) || !SetNewVersionMark()) {
            LOG_Error("[HandyKeeper] the new version was not kept for the next start. %s:%d", LOG_HERE);
        }
        RefreshButton();
        Offer(version, description);
        return;
    }
    if (outcome.latest) {
        RefreshButton();
    }
    VexaMessageBox(outcome.message, &m_frame, Str(330), 0);
}

void CProgramUpdate::OnButton() {
    NewVersionInfo info;
    if (ReadNewVersionInfo(NewVersionInfoPath(), info) && !info.version.isEmpty()) {
        m_openedByButton = true;
        CUpdateSoftwareDlg offer(info.version, info.description, true, &m_frame);
        if (offer.DoModal() == static_cast<int>(IDOK)) {
            actst_record(0x23);
            m_frame.PostMessage(WM_FRAME_LAUNCH_UPDATER);
        }
    }
}

void CProgramUpdate::Offer(const QString& version, const QString& description) {
    CUpdateSoftwareDlg offer(version, description, m_openedByButton, &m_frame);
    if (offer.DoModal() == static_cast<int>(IDOK)) {
        m_frame.PostMessage(WM_FRAME_LAUNCH_UPDATER);
    }
}

void CProgramUpdate::RefreshButton() {
    NewVersionInfo info;
    ReadNewVersionInfo(NewVersionInfoPath(), info);
    const UpdateButtonView view = UpdateButton(ProgramVersion(), PCL_GetNewVersionMark(), info.version);
    QWidget* button = GetPluginByName(&m_frame, QStringLiteral("Update_SW_Btn"));
    Plugin_SetText(button, view.text);
    Plugin_SetEnabled(button, view.enabled);
}

void CProgramUpdate::LaunchUpdater() {
#ifdef Q_OS_WIN
    const QString updater = QDir(ExecutableDirectory()).filePath(QStringLiteral("AppUpdate.exe"));
#else
    const QString updater = QDir(ExecutableDirectory()).filePath(QStringLiteral("AppUpdate"));
#endif
    if (!QFileInfo::exists(updater)) {
        VexaMessageBox(Str(737), &m_frame, Str(330), 0);
        LOG_Error("[HandyKeeper] AppUpdate.exe Missing. %s:%d", LOG_HERE);
        return;
    }
    const HttpProxy proxy = ProxyFromSettings();
    const QStringList arguments = UpdaterArguments(ProgramVersion(), UpdateManifestUrl(), ExecutableDirectory(),
                                                   proxy.server, proxy.credentials);
    LOG_Info("[HandyKeeper] %s", qUtf8Printable(UpdaterCommandLine(updater, arguments)));
    if (!QProcess::startDetached(updater, arguments, ExecutableDirectory())) {
        VexaMessageBox(Str(737), &m_frame, Str(330), 0);
        return;
    }
    m_frame.hide();
    m_frame.close();
}
