#pragma once
// The dialog for a new, forwarded or edited message: a recipients field ("name<number>;number;...")
// with the contact chooser, and the edit-and-send window below it. A successful send or save closes
// it with IDOK; the owner refreshes its lists then. UI thread only.

#include "controls/CSkinDialog.h"

#include <QString>

#include <cstdint>
#include <optional>

class CQuickReplyWnd;
class CSessionGate;

class CSmsEditDlg : public CSkinDialog {
public:
    enum Mode { NewMessage, Forward, EditDraft };

    CSmsEditDlg(CSessionGate& gate, Mode mode, QWidget* parent = nullptr);

    // Before DoModal / CreateModeless.
    void SetRecipients(const QString& text) { m_recipients = text; }
    void SetText(const QString& text) { m_text = text; }
    void SetDraftId(std::int64_t id) { m_draftId = id; }

    CQuickReplyWnd* Reply() const { return m_reply; }
    QString RecipientsText() const;
    void SetRecipientsText(const QString& text);
    // Opens the contact chooser and appends the chosen entries to the recipients.
    void ChooseContacts();

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnChooseContact(QWidget*, std::intptr_t, std::intptr_t);

    CSessionGate& m_gate;
    Mode m_mode;
    QString m_recipients;
    QString m_text;
    std::optional<std::int64_t> m_draftId;
    CQuickReplyWnd* m_reply = nullptr;
    bool m_changed = false;

    friend struct CSmsEditDlgTable;
};
