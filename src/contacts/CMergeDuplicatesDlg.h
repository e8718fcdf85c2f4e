#pragma once
// The duplicate merge ("merge_duplicates_dialog"): what the smart merge would do, worked out without
// changing anything (one line per same-name group with how many of its contacts go), the names left
// to merge by hand, and the button that starts the merge. The merge itself is the caller's (a
// worker running contacts::SmartMerge behind a busy dialog). UI thread only.

#include "contacts/ContactMerge.h"
#include "controls/CSkinDialog.h"

class CMergeDuplicatesDlg : public CSkinDialog {
public:
    explicit CMergeDuplicatesDlg(contacts::MergeOutcome plan, QWidget* parent = nullptr);

    // The lines of the list; for tests.
    QStringList Lines() const;
    void PressMerge();

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnMerge(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);

    contacts::MergeOutcome m_plan;

    friend struct CMergeDuplicatesDlgTable;
};
