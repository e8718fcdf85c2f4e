#pragma once
// The contact chooser of the compose dialog: the contacts of a class (phone, SIM 1, SIM 2, all,
// favourites, ungrouped, or a group) as one row per number, filtered by the search text, with
// select-all and the count of chosen contacts. OK returns the chosen rows as recipients entries
// "name<number>". Only mobile numbers are offered (a short message cannot reach a landline), in
// the phone's order as the contacts page shows them. The contact book is read on a phone worker
// (RunOnPhone), never on the UI thread; the lists arrive a moment after the dialog shows.

#include "controls/CSkinDialog.h"

#include <QString>
#include <QStringList>

#include <vector>

class CSessionGate;

class CSelectContactOrNumber : public CSkinDialog {
public:
    explicit CSelectContactOrNumber(CSessionGate& gate, QWidget* parent = nullptr);

    QStringList Chosen() const { return m_chosen; }
    // Rows shown now (after class and search), as "name<number>".
    QStringList Rows() const;
    void SetClass(int classIndex);
    void SetSearch(const QString& text);
    void SetRowChecked(int row, bool checked);
    int CheckedContacts() const;
    // True until the contacts of the class chosen last have arrived.
    bool IsLoading() const { return m_loading != 0; }

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    struct Entry {
        QString name;
        QString number;
        bool checked = false;
    };

    LRESULT OnClass(QWidget*, std::intptr_t index, std::intptr_t);
    LRESULT OnSelectAll(QWidget*, std::intptr_t on, std::intptr_t);
    LRESULT OnOk(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCancel(QWidget*, std::intptr_t, std::intptr_t);

    void Load(int classCode);
    void OnLoaded(std::vector<Entry> entries);
    void Fill();
    void UpdateCount();

    CSessionGate& m_gate;
    std::vector<Entry> m_entries;
    std::vector<int> m_shown; // indexes into m_entries
    std::vector<int> m_classCodes;
    QString m_search;
    QStringList m_chosen;
    bool m_filling = false;
    int m_loading = 0;    // loads asked for and not yet arrived
    int m_generation = 0; // of the newest load; older results are dropped

    friend struct CSelectContactOrNumberTable;
};
