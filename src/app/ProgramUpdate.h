#pragma once
// The program's own update flow, owned by the main frame: the silent check at start-up (a
// background job), the offer of a version found earlier, the interactive check of the options menu,
// the title bar's update button and the hand-over to the external updater. Results reach the frame
// as WM_FRAME_UPDATE_CHECKED and WM_FRAME_LAUNCH_UPDATER; the frame calls back on the UI thread.

#include "platform/BackgroundJob.h"

#include <QString>

class CMsgWnd;

class CProgramUpdate {
public:
    explicit CProgramUpdate(CMsgWnd& frame);

    // At start-up, with automatic update on and a version found by an earlier run: the offer.
    // True when the user accepted it (the updater is about to take over).
    bool OfferKnownAtStartup();
    void StartSilentCheck() { m_silent.Request(); }
    // The options menu's check behind a cancellable busy dialog, then its outcome.
    void RunInteractiveCheck();
    // The title bar button: offers the version found earlier.
    void OnButton();
    // "Update_SW_Btn" from the mark and the file a check left.
    void RefreshButton();
    // The silent check found something (true) or nothing new (false): sets the mark and the button.
    void OnChecked(bool found);
    // Starts the updater and closes the frame; a missing updater is told and the program goes on.
    void LaunchUpdater();

    void Cancel() { m_silent.Cancel(); }
    bool Stop(int timeoutMs) { return m_silent.Stop(timeoutMs); }

private:
    void SilentCheck(const std::atomic<bool>& cancel);
    void Offer(const QString& version, const QString& description);

    CMsgWnd& m_frame;
    bool m_openedByButton = false;
    // Last member: stopped first, while the frame it reports to still exists.
    CBackgroundJob m_silent;
};
