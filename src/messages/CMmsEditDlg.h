#pragma once
// Composing a multimedia message ("mms_compose_dialog"): recipients, subject with its counter, and
// slides of picture, sound and text with their time, the page number and the saved size. Saving
// and sending check the message (empty slides pruned, subject, size), then hand it to the phone's
// MMS store on a worker behind a busy dialog; a stored message ends the dialog with IDOK. The
// preview plays a copy of the message. UI thread only.

#include "controls/CSkinDialog.h"
#include "libs/mms/MediaMsg.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class CSessionGate;

class CMmsEditDlg : public CSkinDialog {
public:
    // What the file chooser is asked for; returns the chosen path or "" (tests answer it).
    enum FileKind { PictureFile, SoundFile, SaveMessageFile };
    using FileChooser = std::function<QString(QWidget* parent, FileKind kind)>;

    explicit CMmsEditDlg(CSessionGate& gate, QWidget* parent = nullptr);

    // Before DoModal / CreateModeless.
    void SetMessage(const mms::MediaMsg& msg) { m_msg = msg; }
    void SetRecipients(const QString& text) { m_recipients = text; }
    void SetDualSim(bool dual) { m_dualSim = dual; }
    // The SIM send buttons' texts, as the SMS window shows them ("SIM1:" and the operator).
    void SetSimLabels(const QString& sim1, const QString& sim2) {
        m_simLabels[0] = sim1;
        m_simLabels[1] = sim2;
    }
    void SetFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }
    // Where picture copies go (the TEMP folder unless set).
    void SetTempFolder(const QString& folder) { m_tempFolder = folder; }
    // Instead of the preview dialog (tests look at the message it would play).
    void SetPreviewHook(std::function<void(const mms::MediaMsg&)> hook) { m_previewHook = std::move(hook); }

    // The message as edited so far (the current slide's text included).
    mms::MediaMsg Message();
    int CurrentSlide() const { return m_current; }
    std::int64_t StoredId() const { return m_storedId; }

    // The commands, as their buttons run them.
    void AddSlide();
    void GoToSlide(int delta);
    void AddPicture();
    void AddSound();
    void RemovePicture();
    void RemoveSound();
    void RemoveSlide();
    void SetSlideTime();
    void Preview();
    // Saves as a draft (send false) or sends on simChoice (1 default, 2 card 1, 3 card 2).
    bool Submit(bool send, int simChoice);
    bool SaveToComputer();

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnButton(QWidget* widget, std::intptr_t, std::intptr_t);
    void StoreText();
    void ShowSlide();
    void ShowCounters();
    bool EnsureSlide();
    mms::Slide* Current() { return m_msg.GetSlide(m_current); }
    QString ChooseFile(FileKind kind);
    QString TempFolder() const;

    CSessionGate& m_gate;
    mms::MediaMsg m_msg;
    QString m_recipients;
    QString m_tempFolder;
    mutable std::unique_ptr<QTemporaryDir> m_ownTemp; // made on first use, gone with the dialog
    FileChooser m_chooser;
    std::function<void(const mms::MediaMsg&)> m_previewHook;
    int m_current = -1;
    bool m_dualSim = false;
    QString m_simLabels[2];
    bool m_showing = false; // filling the widgets: their change signals are not edits
    std::int64_t m_storedId = -1;

    friend struct CMmsEditDlgTable;
};
