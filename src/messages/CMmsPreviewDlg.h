#pragma once
// Plays a multimedia message slide by slide ("mms_preview_dialog"): each slide for its time, the
// picture and the wrapped text drawn by CMmsImageAndTextPlayer, the page, elapsed and total times
// and the progress bar kept current; past the last slide it starts again from the first. There is
// no sound output in this program: a slide's sound shows as its name. UI thread only.

#include "controls/CSkinDialog.h"
#include "libs/mms/MediaMsg.h"
#include "messages/MmsRules.h"

#include <QElapsedTimer>
#include <functional>
#include <QWidget>

class QLabel;

// The picture (scaled down to the width, never up) above the text, which wraps.
class CMmsImageAndTextPlayer : public QWidget {
public:
    explicit CMmsImageAndTextPlayer(QWidget* parent = nullptr);
    void ShowSlide(const mms::Slide& slide);
    QString ShownText() const;
    bool ShowsPicture() const;

private:
    QLabel* m_image;
    QLabel* m_sound;
    QLabel* m_text;
};

class CMmsPreviewDlg : public CSkinDialog {
public:
    static constexpr int kTickTimer = 1;
    static constexpr int kTickMs = 100;

    explicit CMmsPreviewDlg(const mms::MediaMsg& msg, QWidget* parent = nullptr);

    // Moves the clock (wrapped to the total) and shows the slide playing then.
    void SeekTo(qint64 elapsedMs);
    void SetPaused(bool paused);
    bool IsPaused() const { return m_paused; }
    int CurrentSlide() const { return m_current; }
    qint64 Elapsed() const { return m_elapsed; }
    CMmsImageAndTextPlayer* Player() const { return m_player; }
    // Where attachments go: a folder the user picks (tests answer it); "" cancels.
    void SetFolderChooser(std::function<QString(QWidget*)> chooser) { m_chooseFolder = std::move(chooser); }
    // Saves the shown slide's picture and sound into a chosen folder, never over a file there.
    void SaveAttachments();

protected:
    bool OnInitDialog() override;
    void OnTimer(int id) override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnPause(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnReplayPage(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSaveAttachment(QWidget*, std::intptr_t, std::intptr_t);
    void ShowTimes();

    mms::MediaMsg m_msg;
    mms::PlayClock m_clock;
    CMmsImageAndTextPlayer* m_player = nullptr;
    QElapsedTimer m_wall;
    qint64 m_elapsed = 0;
    int m_current = -1;
    bool m_paused = false;
    std::function<QString(QWidget*)> m_chooseFolder;

    friend struct CMmsPreviewDlgTable;
};
