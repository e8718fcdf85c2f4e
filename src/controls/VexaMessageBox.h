#pragma once
// The program's message box: a skinned, modal question or report with the button sets and result codes
// of the Windows message box. Style (low four bits):
//   0 OK → 1 | 1 OK → 1, Cancel → 2 | 2 Abort → 3, Retry → 4, Ignore → 5 (cannot be dismissed)
//   3 Yes → 6, No → 7, Cancel → 2 | 4 Yes → 6, No → 7 (cannot be dismissed) | 5 Retry → 4, Cancel → 2
//   6 Cancel → 2, Retry → 10, Continue → 11 | anything else as 0.
// "\r\n" separates lines. Enter or Space gives the focused button's result, else the first button's;
// Y and N answer yes and no where those buttons show; Escape and the close button give 2 unless the
// style cannot be dismissed. UI thread only.

#include "controls/CSkinDialog.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class CVexaMessageBoxImpl : public CSkinDialog {
public:
    CVexaMessageBoxImpl(const QString& text, QWidget* parent, const QString& caption, unsigned style);

    int ButtonCount() const { return m_nButtons; }
    bool CloseForbidden() const { return m_bCloseForbidden; }
    const QList<QWidget*>& Lines() const { return m_lines; }
    int WidestLine() const { return m_nWidest; }
    int TotalLineHeight() const { return m_nTotalHeight; }

    // Margins around the lines and the button row.
    static constexpr int kMargin = 24;
    static constexpr int kButtonWidth = 88;
    static constexpr int kButtonHeight = 30;
    static constexpr int kButtonGap = 20;
    static constexpr int kMinWidth = 360;
    static constexpr int kMaxTextWidth = 560; // longer lines wrap

    // For tests of windows that ask questions: the next box returns answer at once without showing,
    // and the texts it was given are kept for LastText()/LastCaption()/LastStyle().
    static void SetNextAnswer(int answer);
    // Every box returns answer at once until it is set to nullopt (then SetNextAnswer's one answer,
    // if any, or the box shows).
    static void SetStandingAnswer(std::optional<int> answer);
    static std::optional<int> StandingAnswer();
    static QString LastText();
    static QString LastCaption();
    static unsigned LastStyle();
    static bool TakeNextAnswer(const QString& text, const QString& caption, unsigned style, int& answer);
    // Unattended runs (pictures taken from the command line): no box is shown, since nobody could
    // answer it; its text goes to report and it returns the answer that changes nothing (Cancel,
    // No, Ignore or OK). An empty function shows boxes again.
    static void SetUnattended(std::function<void(const QString&)> report);

protected:
    bool OnInitDialog() override;
    bool OnDialogKey(QKeyEvent* event) override;
    void OnCloseRequest() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnButtonOne(QWidget* widget, std::intptr_t, std::intptr_t);
    LRESULT OnButtonTwo(QWidget* widget, std::intptr_t, std::intptr_t);
    LRESULT OnButtonThree(QWidget* widget, std::intptr_t, std::intptr_t);
    LRESULT OnCloseButton(QWidget* widget, std::intptr_t, std::intptr_t);
    void Cancel();

    unsigned m_uButtonSet;
    QString m_strCaption;
    QString m_strText;
    QList<QWidget*> m_lines;
    int m_results[3] = {-1, -1, -1};
    int m_nButtons = 0;
    bool m_bCloseForbidden = false;
    int m_nWidest = 0;
    int m_nTotalHeight = 0;

    friend struct CVexaMessageBoxTable;
};

// Shows the box modally over parent and returns the result of the button pressed.
int VexaMessageBox(const QString& text, QWidget* parent, const QString& caption, unsigned style);
// The same with string-table IDs; an ID of 0 leaves that text empty.
int VexaMessageBox(int textId, QWidget* parent, int captionId, unsigned style);
