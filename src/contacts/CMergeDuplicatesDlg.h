#pragma once
// The duplicate merge ("merge_duplicates_dialog"): two choices as radio buttons, each with its own
// scrolling list. The smart merge lists what it would do, worked out without changing anything (one
// line per same-name group with how many of its contacts go) and its button ends the dialog; the
// hand merge lists the groups left to merge by hand and merges the chosen one into its first
// contact (the caller's hand runner, which returns whether it worked; 291 when not). The work
// itself is the caller's, on a worker. UI thread only.

#include "contacts/ContactMerge.h"
#include "controls/CSkinDialog.h"

#include <functional>

class CMergeDuplicatesDlg : public CSkinDialog {
public:
    using HandRunner = std::function<bool(const std::vector<std::int64_t>& ids)>;
    CMergeDuplicatesDlg(contacts::MergeOutcome plan, HandRunner hand, QWidget* parent = nullptr);

    bool HandMerged() const { return m_handMerged; }
    // Shows the hand merge's groups (true) or the smart merge's plan (false), as the radio buttons do.
    void Choose(bool hand);
    bool HandChosen() const;
    // Merges the hand group at row of the hand merge's list (choosing that list first).
    bool MergeByHand(int row);

    // The lines of the list shown; for tests.
    QStringList Lines() const;
    void PressMerge();

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnMerge(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnHand(QWidget*, std::intptr_t, std::intptr_t);

    struct HandGroup {
        QString name;
        std::vector<std::int64_t> ids;
    };
    void ShowChoice();

    contacts::MergeOutcome m_plan;
    std::vector<HandGroup> m_handGroups;
    HandRunner m_hand;
    bool m_handMerged = false;

    friend struct CMergeDuplicatesDlgTable;
};
