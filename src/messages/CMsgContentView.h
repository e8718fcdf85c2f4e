#pragma once
// One conversation view of the message page: an embedded web page that draws a message list. The
// view writes the page's data script from its list and keyword (see ConversationScript), loads the
// page, polls it until it reports that it has drawn everything, and turns clicks on the page's
// elements (reported through a web channel) into messages to its owner, the message page:
// WM_USER+109 delete, +110 forward, +112 edit, +118 resend (with a MsgTypeAndId*, sent
// synchronously), +115 selection state, +121 open an MMS. UI thread only.

#include "messages/ConversationScript.h"
#include "messages/MessageOrder.h"
#include "platform/CMsgWnd.h"

#include <QBasicTimer>
#include <QWebEngineView>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

class CViewHost;
using messages::MsgTypeAndId;
class QWebChannel;

// Messages of the views to the message page (WM_USER + n).
constexpr UINT WM_MSGVIEW_DELETE = WM_USER + 109;
constexpr UINT WM_MSGVIEW_FORWARD = WM_USER + 110;
constexpr UINT WM_MSGVIEW_EDIT = WM_USER + 112;
constexpr UINT WM_MSGVIEW_SELECTION = WM_USER + 115;
constexpr UINT WM_MSGVIEW_RESEND = WM_USER + 118;
constexpr UINT WM_MSGVIEW_OPEN_MMS = WM_USER + 121;

class CMsgContentView : public QWebEngineView {
    Q_OBJECT
public:
    // kind: 0 all conversations, 1 one conversation, 2 drafts. owner receives the messages above.
    CMsgContentView(int kind, CMsgWnd* owner, QWidget* parent = nullptr);
    ~CMsgContentView() override;

    int Kind() const { return m_kind; }
    // The folder holding the pages and receiving the data scripts; set by the message page.
    void SetPageFolder(const QString& folder) { m_folder = folder; }
    QString PageFolder() const { return m_folder; }
    // Below 2 the older "_v1" page is used (the phone's first version number).
    void SetPhoneVersion(int first) { m_version = first; }
    void SetMessages(std::vector<MSGINFO> messages) { m_messages = std::move(messages); }
    const std::vector<MSGINFO>& Messages() const { return m_messages; }
    void SetKeyword(const QString& keyword) { m_keyword = keyword; }
    void SetContactName(std::function<QString(const QString&)> lookup) { m_contactName = std::move(lookup); }
    // All conversations: a conversation's total when the view is given only its newest messages.
    void SetNumberTotal(std::function<int(const QString&)> total) { m_numberTotal = std::move(total); }
    // All conversations: how many messages one data script carries (whole conversations, so a part
    // may hold a few more). The page asks for the next part when the user scrolls near the end of
    // what it has; one script of thousands of conversations cost the renderer 35 MB to read.
    void SetPartSize(int messages) { m_partSize = std::max(1, messages); }
    // Messages not yet handed to the page.
    std::size_t PendingMessages() const { return m_partEnds.empty() ? 0 : m_pending.size() - m_partEnds.back(); }

    QString PagePath() const;
    QString ScriptPath() const;

    // Writes the data script and loads the page; false (previous data kept) when a file cannot be written.
    bool Refresh();
    // Shows an empty page (its document and script data are dropped) until the next Refresh.
    void Unload();
    // Whether the page reported that it drew everything since the last Refresh.
    int OutputOver() const { return m_outputOver; }
    bool AllSelected() const { return m_allSelected; }

    // The page's selection, delivered to done on the UI thread (empty when the page has none). When
    // "select all" was ticked, the parts the page does not hold yet are selected too.
    void GetSelection(std::function<void(std::vector<MsgTypeAndId>)> done);
    void SelectAll(bool on);
    // Asks the page for its selection state, sets the all-selected flag and tells the owner (+115).
    void QuerySelectorsStatus();

    // Copies the shipped pages (htm, css, js) into folder; false when it cannot be made.
    static bool PreparePageFolder(const QString& shipped, const QString& folder);
    // PreparePageFolder once per folder and run: later pages reuse what the first one copied.
    static bool PreparePageFolderOnce(const QString& shipped, const QString& folder);

    // Called by the web channel host for a click on an element of a reported class.
    void OnElementClick(const QString& cls, const QString& id);
    // Called by the web channel host when the page of load number load, holding parts parts, wants
    // the next part of the overview. Asks of an older page, or made while a part is on its way, are
    // not answered.
    void LoadNextPart(int load, int parts);

signals:
    void OutputFinished();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    bool WriteScript(const std::vector<MSGINFO>& messages);

    int m_kind;
    CMsgWnd* m_owner;
    QString m_folder;
    int m_version = 2;
    std::vector<MSGINFO> m_messages;
    std::vector<MSGINFO> m_pending;       // the overview's messages, for the selection of the parts not written
    std::vector<std::size_t> m_partEnds; // where each part written ends in m_pending
    int m_partSize = 1000;
    QString m_keyword;
    std::function<QString(const QString&)> m_contactName;
    std::function<int(const QString&)> m_numberTotal;
    int m_outputOver = 0;
    bool m_allSelected = false;
    // False from the destructor on: the web page runs its pending script callbacks while it is
    // destroyed, after this view (and maybe its owner) is gone, and they must then do nothing.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    QBasicTimer m_outputTimer; // timer 1000: polls IsOutputOver
    CViewHost* m_host = nullptr;
    QWebChannel* m_channel = nullptr;
    int m_loads = 0;
};

// The JavaScript side's object for clicks ("host" in the page's web channel).
class CViewHost : public QObject {
    Q_OBJECT
public:
    explicit CViewHost(CMsgContentView* view) : QObject(view), m_view(view) {}
    Q_INVOKABLE void elementClicked(const QString& cls, const QString& id) { m_view->OnElementClick(cls, id); }
    Q_INVOKABLE void morePart(int load, int parts) { m_view->LoadNextPart(load, parts); }

private:
    CMsgContentView* m_view;
};
