#pragma once
// The base of every skinned dialog: a frameless window that attaches one layout, runs a modal loop
// (DoModal) until EndDialog, keeps a drop shadow around itself (or, where windows are not composed,
// a drawn edge) and gives timers by number.
//
// Keys: Enter presses the focused push button, else the dialog's default button; Escape presses its
// cancel button (both named with SetKeyButtons, pressed only while shown and enabled, through the same
// click handler as the mouse). Alt+F4 does nothing and a close request from the window system is
// refused, so a dialog ends only through its own buttons; subclasses decide otherwise.
// UI thread only, except PostMessage (see WindowMessage.h).

#include "platform/CMsgWnd.h"

#include <QHash>
#include <QPointer>
#include <QRect>
#include <QStringList>

#include <functional>

class CShadowDialog;
class QEventLoop;
class QTimer;

class CSkinDialog : public CMsgWnd {
public:
    explicit CSkinDialog(QWidget* parent = nullptr);
    ~CSkinDialog() override;

    // Initialises the dialog, shows it application-modal and returns the code it was ended with;
    // -1 when initialisation failed (the dialog then never shows).
    int DoModal();
    // Initialises and shows the dialog without a modal loop (pictures, tests). False when
    // initialisation failed.
    bool CreateModeless();
    // Ends the modal loop (or hides a modeless dialog) with code; later calls are ignored.
    void EndDialog(int code);

    bool IsInitialised() const { return m_initialised; }
    bool IsEnded() const { return m_ended; }
    // Ended by the program's end rather than by its own buttons or its owner.
    bool IsAbandoned() const { return m_abandoned; }
    int Result() const { return m_result; }
    CShadowDialog* Shadow() const { return m_pShadow; }
    // Where no shadow window can be shown: the 1 px edge drawn over the dialog's border ("dialog_edge").
    QWidget* Edge() const { return m_edge; }

    void SetTimer(int id, int intervalMs);
    void KillTimer(int id);

protected:
    // Attach the layout and fill the widgets; false ends the dialog at once.
    virtual bool OnInitDialog() = 0;
    virtual void OnTimer(int /*id*/) {}
    // Called once when the dialog ends (also when its initialisation failed).
    virtual void OnEnded() {}
    // Called for every key that reaches the dialog; true when the key was used. The default presses
    // the key buttons for Enter and Escape and swallows Enter, Escape and Alt+F4.
    virtual bool OnDialogKey(QKeyEvent* event);
    // The skin buttons Enter and Escape press: the first of each list that shows and is enabled.
    void SetKeyButtons(const QStringList& enterButtons, const QStringList& escapeButtons);
    // Clicks the first named button that shows and is enabled; false when none did.
    bool PressButton(const QStringList& names);
    // Clicks the push button that has the keyboard focus (not a check box, radio or tab); false when
    // no such button has it.
    bool PressFocusedButton();
    // A close request from the window system (Alt+F4 on a desktop); the default refuses it.
    virtual void OnCloseRequest() {}

    // WM_COMMAND with IDOK / IDCANCEL (posted by workers) ends the dialog with that code.
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // Centring (halves truncated): over a widget's window, else over the program's main window, else on
    // the screen; or over a rectangle in screen coordinates.
    void CentreOver(const QWidget* over);
    void CentreOverRect(const QRect& rect);
    void CreateShadow();
    // The usual end of OnInitDialog: the dialog takes its layout's size, is centred over its parent
    // and gets its shadow (and, with takeFocus, the keyboard focus).
    void FitToLayout(bool takeFocus);

    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool Initialise();

    bool m_initialised = false;
    bool m_ended = false;
    bool m_abandoned = false;
    int m_result = -1;
    QEventLoop* m_loop = nullptr;
    CShadowDialog* m_pShadow = nullptr;
    QWidget* m_edge = nullptr;
    QHash<int, QTimer*> m_timers;
    QStringList m_enterButtons;
    QStringList m_escapeButtons;
};

// Shows dialog modally while work runs on a thread of its own, and returns the dialog's code only
// once the work has ended too: a dialog can end first (the program closing ends every dialog), and
// whatever the work writes may be read as soon as this returns.
int RunWhileModal(CSkinDialog& dialog, std::function<void()> work);
