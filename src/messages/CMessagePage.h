#pragma once
// The message tab: the conversation tree (all conversations with one node per number, and the
// drafts) with search and new-message on the left; on the right the toolbar (select all, delete,
// export, import, sort, refresh), the web view of the chosen node and, under one conversation, the
// quick reply. Data comes from MessageData; refreshes go through CRefreshScheduler so that none
// runs while a command or a modal operation is under way. Every use of the phone runs inside the
// session gate. UI thread only (the refresh thread only posts).

#include "device/CTabPageWnd.h"
#include "messages/CRefreshScheduler.h"
#include "messages/MessageData.h"
#include "platform/BackgroundJob.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Lists read by the rebuild job, handed to the page as one value.
struct RebuiltMessages {
    std::shared_ptr<messages::MessageData> data;
    messages::MessageData::StoreState state = messages::MessageData::StoreState::Ready;
    QString keyword;
    bool showLists = false;
};

class CMsgContentView;
class CQuickReplyWnd;
class CSessionGate;
class QTimer;
class QTreeWidget;

// The page's own messages (WM_USER + n); the views' messages are in CMsgContentView.h.
constexpr UINT WM_MSGPAGE_SHOW_LISTS = WM_USER + 113;
constexpr UINT WM_MSGPAGE_REFRESH = WM_USER + 114; // from the refresh thread; value QString keyword
constexpr UINT WM_MSGPAGE_INCOMING = WM_USER + 116; // a message arrived: refresh the lists
constexpr UINT WM_MSGPAGE_REBUILT = WM_USER + 122;  // value RebuiltMessages from the rebuild job

class CMessagePage : public CTabPageWnd {
public:
    enum class State { Loading, Ready, Failed };
    enum ViewKind { ViewAll = 0, ViewConversation = 1, ViewDrafts = 2 };
    // The tree's top nodes: the drafts (one child per draft) above all conversations.
    static constexpr int kDraftsNode = 0;
    static constexpr int kAllNode = 1;
    // How long typing in the search box pauses before the lists follow it.
    static constexpr int kSearchPauseMs = 300;

    // frame receives WM_FRAME_LOAD_REQUEST with mainframe::TabMessage and may be null in tests.
    CMessagePage(CSessionGate& gate, CMsgWnd* frame, QWidget* parent = nullptr);
    ~CMessagePage() override;

    bool Create() override;
    void OnPageShown() override;
    void OnPageHidden() override;
    void OnDeviceConnected() override;
    void OnDeviceDisconnected() override;
    void LoadRequest(int mode) override;

    // The page the views' click handlers reach (null when none exists).
    static CMessagePage* Instance();
    // At program start, before the window shows: starts the web engine (its browser process and
    // profile, about 0.4 s) and copies the conversation pages, so that opening the message tab
    // later does not stall the window.
    static void PrepareAtStartup();

    // Where the pages are copied and the data scripts written (default: data folder/pages).
    void SetPageFolder(const QString& folder) { m_pageFolder = folder; }
    // Where an export goes; the save dialog unless set (tests answer it themselves).
    void SetExportPathChooser(std::function<QString()> chooser) { m_exportPath = std::move(chooser); }
    // How a number of a conversation becomes a contact (the shell hands in the contacts' quick-add
    // dialog); true when one was made. Without it the page offers nothing.
    void SetQuickAddContact(std::function<bool(QWidget*, const QString&)> add) { m_addContact = std::move(add); }
    QString PageFolder() const { return m_pageFolder; }
    // Pause between the sends of a multiple send; tests shorten it.
    void SetSendPauseMs(int ms);

    State PageState() const { return m_state; }
    int CurrentView() const { return m_viewKind; }
    QString CurrentNumber() const { return m_number; }
    CMsgContentView* View(int kind) const { return m_views[kind]; }
    CQuickReplyWnd* Reply() const { return m_reply; }
    const messages::MessageData& Data() const { return m_data; }
    QTreeWidget* Tree() const { return m_tree; }
    QString Caption() const;
    // The contact's name as the tree shows it for number; empty when no contact has it.
    QString ConversationName(const QString& number) const;
    bool IsBusy() const { return m_refresh.IsBusy(); }

    // Checks that contacts and messages are loaded; loaded: rebuild and show; otherwise the loading
    // state and a load request to the frame.
    void CheckLoaded(bool force);
    void ShowAll();
    void ShowConversation(const QString& number);
    // From a reminder: the conversation, and with reply the cursor in its reply box.
    void OpenConversation(const QString& number, bool reply);
    void ShowDrafts();
    // A refresh with a search keyword (empty: none); dropped while another is pending.
    bool RequestRefresh(const QString& keyword);
    void SetSearch(const QString& keyword);
    // The tree and the overview's cards in this order from now on (the last written-to first until
    // then; a refresh keeps it).
    void SortConversations(messages::ConversationOrder order);

    // The toolbar commands; the selection comes from the current view.
    void DeleteSelected();
    void ExportSelected();
    std::vector<messages::MsgTypeAndId> WholeSelection(int viewKind, std::vector<messages::MsgTypeAndId> picked) const;
    void ImportFromDialog();
    // The work behind them, for a given selection or file.
    void DeleteItems(const std::vector<messages::MsgTypeAndId>& items);
    // draftsLeftOut: drafts a whole selection did not take, told in the result.
    void ExportItems(const std::vector<messages::MsgTypeAndId>& items, const QString& path, int draftsLeftOut = 0);
    void ImportFile(const QString& path);
    // Pictures of the page: "message" (all conversations), "message_conversation" (the first
    // conversation), "message_drafts", "message_search" (the results of a surname typed into the
    // search box), "message_search_result" (the first of them opened). Waits (at most timeoutMs)
    // for the data and the view's drawing.
    static bool IsPictureVariant(const QString& name);
    bool PrepareForPicture(const QString& variant, int timeoutMs);
    // Processes events until the current view reports its drawing finished; false on time-out.
    bool WaitForView(int timeoutMs);
    // A message arrived on the phone: bring the lists up to date.
    void OnIncomingMessage();

protected:
    void resizeEvent(QResizeEvent* event) override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnTree(QWidget*, std::intptr_t top, std::intptr_t child);
    LRESULT OnNewMessage(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnNewMms(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnDeleteButton(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnExportButton(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnImportButton(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnRefreshButton(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnAddContact(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSelectAll(QWidget*, std::intptr_t on, std::intptr_t);
    LRESULT OnSort(QWidget*, std::intptr_t index, std::intptr_t);

    void SetState(State state);
    // Reads the lists again on the rebuild job; when they arrive the page draws them (showLists:
    // also when the stores failed, which then shows the failure state).
    void Rebuild(const QString& keyword, bool showLists);
    void OnRebuilt(struct RebuiltMessages rebuilt);
    void DoRefresh(const QString& keyword);
    void DrawTree();
    // "张三：明天见" (recipient's name or number, then the first line) for the drafts node.
    QString DraftLabel(const MSGINFO& draft) const;
    // "name<number>" for a number a contact holds, else the number.
    QString RecipientEntry(const QString& number) const;
    void ShowView(int kind);
    void FillCurrentView();
    void UpdateCaptions();
    // The chosen order, then who was just written to first.
    void ArrangeConversations();
    void NoteSent(const QStringList& numbers);
    // A conversation looked at is read: its dot goes, and its SMS are marked read on the phone.
    void MarkShownAsRead();
    // "全选（已选%d条）" on the select-all box while something is selected.
    void ShowSelectionCount();
    void OnCommand(UINT msg, const messages::MsgTypeAndId& item);
    const MSGINFO* FindMessage(const messages::MsgTypeAndId& item) const;
    void OpenEditor(int mode, const QString& recipients, const QString& text, std::int64_t draftId);
    // Reads the MMS on a worker behind a busy dialog and plays it in the preview.
    void OpenMmsPreview(std::int64_t id);

    CSessionGate& m_gate;
    CMsgWnd* m_frame;
    messages::MessageData m_data;
    CRefreshScheduler m_refresh;
    std::mutex m_rebuildLock; // the request below
    QString m_rebuildKeyword;
    bool m_rebuildShowsLists = false;
    State m_state = State::Loading;
    int m_viewKind = ViewAll;
    int m_overviewPerConversation = 5; // as the overview on screen was drawn
    QString m_number;
    QString m_keyword;
    std::function<QString()> m_exportPath;
    std::function<bool(QWidget*, const QString&)> m_addContact;
    QString m_pageFolder;
    int m_phoneVersion = 2;
    CMsgContentView* m_views[3] = {};
    CQuickReplyWnd* m_reply = nullptr;
    QTreeWidget* m_tree = nullptr;
    QTimer* m_searchTimer = nullptr; // the pause after typing in the search box
    bool m_connected = false;
    bool m_filling = false;
    bool m_allSelected = false; // the current view's messages are all selected
    std::optional<messages::ConversationOrder> m_order;
    QStringList m_recentSent; // newest first
    bool m_replySending = false;
    QSet<std::int64_t> m_seen; // unread messages looked at here, by id (SMS ids; MMS negated)
    // Last member: stopped first, while the page it posts to is still whole.
    CBackgroundJob m_rebuildJob;

    friend struct CMessagePageTable;
};
