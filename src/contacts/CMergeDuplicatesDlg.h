#pragma once
// The duplicate merge ("merge_duplicates_dialog"): what the smart merge would do, worked out without
// changing anything (one line per same-name group with how many of its contacts go), then one line
// per group left to merge by hand, and the buttons that start the smart merge (ends the dialog) or
// merge the chosen hand group into its first contact (the caller's hand runner, which returns
// whether it worked; 291 when not). The work itself is the caller's, on a worker. UI thread only.

#include "contacts/ContactMerge.h"
#include "controls/CSkinDialog.h"

#include <functional>

class CMergeDuplicatesDlg : public CSkinDialog {
public:
    using HandRunner = std::function<bool(const std::vector<std::int64_t>& ids)>;
    CMergeDuplicatesDlg(contacts::MergeOutcome plan, HandRunner hand, QWidget* parent = nullptr);

    bool HandMerged() const { return m_handMerged; }
    // Merges the hand group at row of the list (rows after the smart merge's lines).
    bool MergeByHand(int row);

    // The lines of the list; for tests.
    QStringList Lines() const;
    void PressMerge();

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnMerge(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnHand(QWidget*, std::intptr_t, std::intptr_t);

    contacts::MergeOutcome m_plan;
    HandRunner m_hand;
    bool m_handMerged = false;

    friend struct CMergeDuplicatesDlgTable;
};
