#pragma once
// The dialog for a new, forwarded or edited message: a recipients field ("name<number>;number;...")
// with the contact chooser and, while typing an entry, the contacts' mobile numbers whose name,
// number or pinyin match it (read once on a phone worker), and the edit-and-send window below it. A successful send or save closes
// it with IDOK; the owner refreshes its lists then. UI thread only.

#include "controls/CSkinDialog.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

#include "messages/RecipientCandidates.h"

class CQuickReplyWnd;
class QCompleter;
class QStringListModel;
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
    // The completion list under the recipients field; candidates arrive after the dialog shows.
    QCompleter* Completer() const { return m_completer; }
    bool CandidatesLoaded() const { return m_candidatesLoaded; }
    // Instead of the phone's (pictures of the dialog without a phone).
    void SetCandidates(std::vector<messages::RecipientCandidate> candidates) {
        m_candidates = std::move(candidates);
        m_candidatesLoaded = true;
    }
    // Offers what matches the entry at the caret (as typing does).
    void ShowSuggestions();
    // A message went out from this dialog (not only a draft saved).
    bool Sent() const { return m_sent; }

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnChooseContact(QWidget*, std::intptr_t, std::intptr_t);
    void InsertCompletion(const QString& entry);

    CSessionGate& m_gate;
    Mode m_mode;
    QString m_recipients;
    QString m_text;
    std::optional<std::int64_t> m_draftId;
    CQuickReplyWnd* m_reply = nullptr;
    bool m_changed = false;
    bool m_sending = false; // between the send's checks and its result
    bool m_sent = false;
    std::vector<messages::RecipientCandidate> m_candidates;
    bool m_candidatesLoaded = false;
    QCompleter* m_completer = nullptr;
    QStringListModel* m_suggestions = nullptr;

    friend struct CSmsEditDlgTable;
};
