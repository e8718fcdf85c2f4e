#pragma once
// The contacts tab: the group tree on the left (fixed categories and the phone's groups with their
// counts), the contact list of the chosen node with its floating index letter, a preview of the
// current contact on the right, the search box above, import and export, and the call record view
// behind "btn_for_call_record". Contacts are loaded by the frame's loader; the page asks for a load
// and fills itself when the frame hands it the result. Every read of the phone runs inside the
// session gate. UI thread only; the search worker reports through posted messages.

#include "contacts/ContactEditUi.h"
#include "contacts/ContactListing.h"
#include "contacts/ContactTransferUi.h"
#include "device/CTabPageWnd.h"
#include "platform/BackgroundJob.h"

#include <QTimer>

#include <QStringList>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class CCallRecordWnd;
class CContactSearchWorker;
class CPbListWnd;
class QMenu;
class CSessionGate;

// Messages to the contact page (WM_USER + n).
constexpr UINT WM_CONTACT_LOADED = WM_USER + 2025;      // own loads without a frame: wParam mode
constexpr UINT WM_CONTACT_SEARCH_FOUND = WM_USER + 2026; // wParam generation, value std::vector<std::int64_t> ids
constexpr UINT WM_CONTACT_SEARCH_DONE = WM_USER + 2027;  // wParam generation, lParam complete
constexpr UINT WM_CONTACT_PREVIEW = WM_USER + 2028;      // value ContactPreview from the preview job

// The details shown in the preview pane, read by the preview job (the phone may take long to answer).
struct ContactPreview {
    std::int64_t id = 0;
    QStringList lines;
};

class CContactPage : public CTabPageWnd {
public:
    explicit CContactPage(CSessionGate& gate, QWidget* parent = nullptr);
    ~CContactPage() override;

    // The frame loads the contacts: loadRequest is posted to it with (mainframe::TabContact, force).
    // Without a frame the page loads in a background job of its own.
    void SetFrame(CMsgWnd* frame, UINT loadRequest);
    void SetFileChooser(ContactFileChooser chooser) { m_chooser = std::move(chooser); }
    // How a number gets a message (the preview's, the editor's and the call records' 发送信息).
    void SetSendMessage(SendMessageAction send);

    bool Create() override;
    void OnPageShown() override;
    void OnDeviceConnected() override;
    void OnDeviceDisconnected() override;
    void LoadRequest(int mode) override;
    bool StopWork(int timeoutMs) override;

    // Asks for a load (force: read the phone again).
    void RequestLoad(bool force);

    // State, for tests and pictures.
    const std::vector<contacts::TreeNode>& Nodes() const { return m_nodes; }
    int CurrentNode() const { return m_node; }
    bool SelectNode(int nodeId);
    // The menu of a row's right click (edit, delete, 更改分组 with the phone's groups), acting on
    // the checked contacts or else on that row; null for no contact. Owned by the page.
    QMenu* RowMenu(int index);
    // Adds the chosen contacts to the group, then reloads.
    void ChangeGroup(int groupId);
    CPbListWnd& List() { return *m_list; }
    CCallRecordWnd* CallRecords() const { return m_calls; }
    bool IsLoading() const { return m_loading; }
    int SearchGeneration() const { return m_generation; }
    bool IsSearching() const { return m_searching; }
    // Shows the index letter for the list's scroll position as scrolling does.
    void ShowIndexLetter();
    QString IndexLetterText() const;
    bool IsIndexLetterVisible() const;
    void ShowCallRecords(bool show);
    bool IsCallRecordViewShown() const;
    QString PreviewText() const;

    // The toolbar's actions (the menus call these with the chosen files).
    ContactTransferOutcome Import(bool csv);
    ContactTransferOutcome Export(bool csv);
    // Editing actions; the contacts they act on are the checked ones, else the current one.
    void NewContact();
    void EditCurrent();
    void DeleteChosen();
    // Out of the current group or the favourites (the button shows only on those nodes).
    void RemoveChosen();
    void CopyChosen(int storage, bool move);
    void ManageGroups();
    void MergeDuplicates();
    std::vector<std::int64_t> ChosenIds() const;
    // The storages the copy and move menus offer now, for the chosen contacts.
    const std::vector<int>& Targets() const { return m_targets; }

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void ReloadCallRecords();
    LRESULT OnTree(QWidget*, std::intptr_t top, std::intptr_t child);
    LRESULT OnRowClick(QWidget* widget, std::intptr_t, std::intptr_t);
    LRESULT OnRowDoubleClick(QWidget* widget, std::intptr_t, std::intptr_t);
    LRESULT OnRowCheck(QWidget* widget, std::intptr_t checked, std::intptr_t);
    LRESULT OnAllCheck(QWidget*, std::intptr_t checked, std::intptr_t);
    LRESULT OnScroll(QWidget*, std::intptr_t value, std::intptr_t);
    LRESULT OnImportMenu(QWidget*, std::intptr_t choice, std::intptr_t);
    LRESULT OnExportMenu(QWidget*, std::intptr_t choice, std::intptr_t);
    LRESULT OnRefresh(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnContactView(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnNew(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnEdit(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnDelete(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnRemove(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCopyMenu(QWidget*, std::intptr_t choice, std::intptr_t);
    LRESULT OnMoveMenu(QWidget*, std::intptr_t choice, std::intptr_t);
    LRESULT OnGroups(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnMerge(QWidget*, std::intptr_t, std::intptr_t);
    void BuildTargetMenus();
    void OfferTargets();
    LRESULT OnCallView(QWidget*, std::intptr_t, std::intptr_t);

    void ShowState();
    void EnableEdit();
    void Fill();
    void BuildTree();
    void FillNode(int nodeId);
    void OnSearchText(const QString& key);
    void ShowPreview();
    void OnPreviewLink(const QString& link);

    CSessionGate& m_gate;
    CMsgWnd* m_frame = nullptr;
    UINT m_loadRequest = 0;
    ContactFileChooser m_chooser;
    SendMessageAction m_sendMessage;
    CPbListWnd* m_list = nullptr;
    CCallRecordWnd* m_calls = nullptr;
    std::unique_ptr<CContactSearchWorker> m_search;
    QTimer m_letterTimer;
    QTimer m_spinner; // frames of "load_contact_animation" while loading
    int m_spinnerFrame = 1;
    std::vector<contacts::TreeNode> m_nodes;
    std::vector<int> m_targets; // storage of each copy and move menu entry (-1: no card)
    bool m_dualSim = false;
    int m_simState = 0;
    int m_node = contacts::NodeAll;
    bool m_connected = false;
    bool m_loading = false;
    bool m_loaded = false;
    bool m_callView = false;
    bool m_callsStale = false; // the call records changed since their view was last filled
    bool m_searching = false;
    int m_generation = 0;
    QMenu* m_rowMenu = nullptr;
    std::int64_t m_selectAfterLoad = -1; // a contact just saved: chosen and shown once the list is filled
    void OnPreview(const ContactPreview& preview);
    std::atomic<bool> m_loadForced{false}; // the next own load reads the phone again
    std::mutex m_previewLock;
    std::int64_t m_previewId = 0; // the contact whose details the preview job reads
    // Last members: stopped first, while the page they post to is still whole.
    CBackgroundJob m_loadJob; // own loads, without a frame
    CBackgroundJob m_previewJob;

    friend struct CContactPageTable;
};
