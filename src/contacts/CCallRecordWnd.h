#pragma once
// The call record view of the contacts tab: the categories (all, missed, received, dialled) on the
// left, one entry per number in the middle (newest first, with the owner's name from the address
// book), and on the right every call of the chosen number with its time and duration. The export
// button writes the call log to a CSV file; the delete button removes the calls of the chosen number.
// A search box narrows the numbers as the user types; the chosen number stays chosen while it is
// listed. The detail offers a message to the number and, when no contact has it, a new contact.
// Reads the phone inside the session gate; UI thread only.

#include "callrecords/CallRecordBook.h"
#include "contacts/ContactEditUi.h"
#include "platform/CMsgWnd.h"

#include <functional>
#include <vector>

class CSessionGate;

class CCallRecordWnd : public CMsgWnd {
public:
    explicit CCallRecordWnd(CSessionGate& gate, QWidget* parent = nullptr);

    bool Create();
    // Reads the call log and the names again and refills the view.
    void Reload();
    void Clear();

    void SelectCategory(int row); // 0 all, 1 missed, 2 received, 3 dialled
    void SelectGroup(int index);
    int Category() const { return m_category; }
    const std::vector<callrecords::CallGroupView>& Groups() const { return m_shown; }
    int SelectedGroup() const { return m_selected; }
    int TotalRecords() const { return m_total; }
    QString DetailText(const char* widget) const;
    int DetailLineCount() const { return static_cast<int>(m_detailRows.size()); }
    // The save dialog of the export; tests replace it (empty: cancelled).
    void SetPathChooser(std::function<QString(QWidget*)> chooser) { m_chooser = std::move(chooser); }
    void SetSendMessage(SendMessageAction send);
    // Makes a contact of a number no contact owns (the page reloads the book when it returns true).
    void SetAddContact(std::function<bool(QWidget*, const QString&)> add) { m_addContact = std::move(add); }
    // Narrows the numbers to those whose number or name holds key (as typing into the search box does).
    void Search(const QString& key);
    // The actions of the detail pane for the chosen number; false when it offers none.
    bool SendMessageToSelected();
    bool AddSelectedToContacts();
    // Binds (cloning where needed) the next slice of middle-list rows; true while rows remain, for
    // which it has scheduled itself again. Rows shown so far: FilledRows().
    bool FillMoreRows();
    int FilledRows() const { return m_filled; }
    static constexpr int kRowsPerSlice = 16;
    // Writes the call log to a file chosen by the user; returns the message shown.
    QString Export();
    // Deletes every call of the chosen number on the phone (855 without one) once the user agrees,
    // then reloads; returns the message shown (the question when the user said no), empty when all
    // went well.
    QString DeleteSelected();

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnCategory(QWidget*, std::intptr_t row, std::intptr_t);
    LRESULT OnRow(QWidget* widget, std::intptr_t, std::intptr_t);
    LRESULT OnExport(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnDelete(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSendMessage(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnAddContact(QWidget*, std::intptr_t, std::intptr_t);
    void FillGroups();
    void FillDetail();

    CSessionGate& m_gate;
    std::function<QString(QWidget*)> m_chooser;
    SendMessageAction m_sendMessage;
    std::function<bool(QWidget*, const QString&)> m_addContact;
    QString m_key; // the search box's text
    std::vector<callrecords::CallGroupView> m_all;
    std::vector<callrecords::CallGroupView> m_shown;
    std::vector<QWidget*> m_rows;
    std::vector<QWidget*> m_detailRows;
    int m_category = 0;
    int m_selected = -1;
    int m_total = 0;
    int m_filled = 0;         // rows of m_shown bound so far
    int m_fillGeneration = 0; // a new fill drops the slices of the one before

    friend struct CCallRecordWndTable;
};
