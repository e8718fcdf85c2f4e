#include "messages/CMessagePage.h"

#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "controls/CAnimateDialog.h"
#include "controls/CVexaProgressDlg.h"
#include "controls/VexaMessageBox.h"
#include "device/MainFrameMessages.h"
#include "device/SessionGate.h"
#include "libs/log/Log.h"
#include "messages/CMmsEditDlg.h"
#include "messages/CMmsPreviewDlg.h"
#include "messages/CMsgContentView.h"
#include "platform/FreedMemory.h"
#include "messages/CQuickReplyWnd.h"
#include "messages/CSmsEditDlg.h"
#include "messages/ComposeRules.h"
#include "messages/SmsSender.h"
#include "device/RunOnPhone.h"
#include "messages/MessageDelete.h"
#include "messages/MmsSender.h"
#include "messages/SmsCsvTransfer.h"
#include "platform/AppPaths.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QTextEdit>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QLineEdit>
#include <QThread>
#include <QTimer>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWebEngineProfile>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

CMessagePage* g_page = nullptr;

// The overview of all conversations shows the newest messages of each; a conversation's own view
// shows all of them. A phone with 100,000 messages would otherwise put them all into one page. Each
// message of the overview costs the page's renderer about 2 KB, so the overview holds about this
// many: up to 5 of each conversation, and only the newest of each on a phone with thousands.
constexpr std::size_t kOverviewMessages = 5000;

int OverviewPerConversation(std::size_t conversations) {
    return static_cast<int>(std::clamp<std::size_t>(kOverviewMessages / std::max<std::size_t>(conversations, 1), 1, 5));
}
const char* const kHosts[3] = {"message_page_view_total_conference_hwndObj", "message_page_view_conference_hwndObj",
                               "message_page_view_draft_hwndObj"};

// The busy flag for the length of a command or a modal operation.
class BusyScope {
public:
    explicit BusyScope(CRefreshScheduler& scheduler) : m_scheduler(scheduler) { m_scheduler.BeginBusy(); }
    ~BusyScope() { m_scheduler.EndBusy(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    CRefreshScheduler& m_scheduler;
};

} // namespace

struct CMessagePageTable {
    static const SkinEventRow<CMessagePage> kRows[];
};

const SkinEventRow<CMessagePage> CMessagePageTable::kRows[] = {
    {"message_tree", kSkinTree, &CMessagePage::OnTree},
    {"new_message_btn", kSkinClick, &CMessagePage::OnNewMessage},
    {"new_mms_btn", kSkinClick, &CMessagePage::OnNewMms},
    {"delete_messages_btn", kSkinClick, &CMessagePage::OnDeleteButton},
    {"export_message__btn", kSkinClick, &CMessagePage::OnExportButton},
    {"import_message_btn", kSkinClick, &CMessagePage::OnImportButton},
    {"refresh_message_btn", kSkinClick, &CMessagePage::OnRefreshButton},
    {"add_contact_btn", kSkinClick, &CMessagePage::OnAddContact},
    {"select_all_messages_checkbox", kSkinCheck, &CMessagePage::OnSelectAll},
    {"time_sort_message_btn", kSkinDropDown, &CMessagePage::OnSort},
    {nullptr, 0, nullptr},
};

CMessagePage::CMessagePage(CSessionGate& gate, CMsgWnd* frame, QWidget* parent)
    : CTabPageWnd(parent), m_gate(gate), m_frame(frame),
      m_refresh([this](const QString& keyword) { DoRefresh(keyword); },
                [this](const QString& keyword) {
                    PostValue(WM_MSGPAGE_REFRESH, keyword);
                }),
      m_pageFolder(QDir(DataFolder()).filePath(QStringLiteral("pages"))),
      m_rebuildJob("message lists", [this](const std::atomic<bool>& cancel) {
          RebuiltMessages rebuilt;
          {
              std::lock_guard guard(m_rebuildLock);
              rebuilt.keyword = m_rebuildKeyword;
              rebuilt.showLists = m_rebuildShowsLists;
              m_rebuildShowsLists = false;
          }
          rebuilt.data = std::make_shared<messages::MessageData>();
          {
              // Without a session the lists come back empty.
              CSessionScope use(m_gate, VEXA_HERE);
              rebuilt.state = rebuilt.data->ObtainStores(use.Session());
              if (!cancel) {
                  rebuilt.data->Rebuild(use.Session(), rebuilt.keyword);
              }
          }
          if (!cancel) {
              PostValue(WM_MSGPAGE_REBUILT, std::move(rebuilt));
          }
          // Sorting 100,000 messages passes through twice their size in keys.
          ReturnFreedMemory();
      }) {
    g_page = this;
}

CMessagePage::~CMessagePage() {
    m_rebuildJob.Stop();
    if (g_page == this) {
        g_page = nullptr;
    }
}

CMessagePage* CMessagePage::Instance() {
    return g_page;
}

namespace {
QString ShippedPages() {
    return QDir(ExecutableDirectory()).filePath(QStringLiteral("pages"));
}
} // namespace

void CMessagePage::PrepareAtStartup() {
    QWebEngineProfile::defaultProfile();
    CMsgContentView::PreparePageFolderOnce(ShippedPages(), QDir(DataFolder()).filePath(QStringLiteral("pages")));
}

bool CMessagePage::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("message_page")) == 0) {
        return false;
    }
    if (!CMsgContentView::PreparePageFolderOnce(ShippedPages(), m_pageFolder)) {
        LOG_Error("[CMessagePage] pages cannot be prepared in %s. %s:%d", qUtf8Printable(m_pageFolder), LOG_HERE);
    }
    m_tree = qobject_cast<QTreeWidget*>(GetPluginByName(this, QStringLiteral("message_tree")));
    if (m_tree != nullptr) {
        // A draft of the tree opens for editing (or, an MMS, for viewing) on a double click or Enter.
        QObject::connect(m_tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
            QTreeWidgetItem* parent = item != nullptr ? item->parent() : nullptr;
            const int index = parent != nullptr ? parent->indexOfChild(item) : -1;
            if (parent == nullptr || m_tree->indexOfTopLevelItem(parent) != kDraftsNode || index < 0 ||
                index >= static_cast<int>(m_data.Drafts().size())) {
                return;
            }
            const MSGINFO& draft = m_data.Drafts()[static_cast<std::size_t>(index)];
            messages::MsgTypeAndId ref{draft.id, draft.type};
            SendMessage(draft.type == 1 ? WM_MSGVIEW_OPEN_MMS : WM_MSGVIEW_EDIT, reinterpret_cast<WPARAM>(&ref));
        });
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("new_message_btn")), Str(2456));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("new_mms_btn")), Str(3278));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("select_all_messages_checkbox")), Str(2462));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("delete_messages_btn")), Str(275));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("export_message__btn")), Str(2463));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("import_message_btn")), Str(2464));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("refresh_message_btn")), Str(2482));
    QWidget* sort = GetPluginByName(this, QStringLiteral("time_sort_message_btn"));
    Plugin_SetText(sort, Str(2415));
    Plugin_SetMenuItems(sort, {Str(2415), Str(2416), Str(2417)});
    if (auto* search = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("search_ctrl")))) {
        search->setPlaceholderText(Str(2457));
        // The lists follow the typing once it pauses, as the contacts do; Enter searches at once.
        m_searchTimer = new QTimer(this);
        m_searchTimer->setSingleShot(true);
        m_searchTimer->setInterval(kSearchPauseMs);
        QObject::connect(m_searchTimer, &QTimer::timeout, this, [this, search] { SetSearch(search->text()); });
        QObject::connect(search, &QLineEdit::returnPressed, this, [this, search] {
            m_searchTimer->stop();
            SetSearch(search->text());
        });
        QObject::connect(search, &QLineEdit::textChanged, this, [this](const QString& text) {
            if (text.trimmed() == m_keyword) {
                m_searchTimer->stop();
            } else if (text.isEmpty()) {
                m_searchTimer->stop();
                SetSearch(QString());
            } else {
                m_searchTimer->start();
            }
        });
    }
    for (int kind = 0; kind < 3; ++kind) {
        m_views[kind] = new CMsgContentView(kind, this);
        m_views[kind]->SetPageFolder(m_pageFolder);
        m_views[kind]->SetContactName([this](const QString& number) { return m_data.Names().ContactName(number); });

        Plugin_SetChildWindow(GetPluginByName(this, QString::fromLatin1(kHosts[kind])), m_views[kind]);
    }
    m_reply = new CQuickReplyWnd(m_gate, this, true);
    if (m_reply->Create()) {
        Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("quick_reply_host")), m_reply);
        // The reply goes to the conversation's number; recipients are chosen in the new-message dialog.
        Plugin_SetVisible(GetPluginByName(m_reply, QStringLiteral("insert_contact_btn")), false);
    }
    ShowView(ViewAll);
    SetState(State::Loading);
    return true;
}

void CMessagePage::SetSendPauseMs(int ms) {
    if (m_reply != nullptr) {
        m_reply->SetPauseMs(ms);
    }
}

void CMessagePage::SetState(State state) {
    m_state = state;
    const bool ready = state == State::Ready;
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("search_ctrl")), ready);
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("new_message_btn")), ready);
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("new_mms_btn")), ready);
    for (const char* name : {"delete_messages_btn", "export_message__btn", "import_message_btn", "refresh_message_btn",
                             "select_all_messages_checkbox", "time_sort_message_btn"}) {
        Plugin_SetEnabled(GetPluginByName(this, QString::fromLatin1(name)), ready);
    }
    QWidget* stateText = GetPluginByName(this, QStringLiteral("message_state_text"));
    Plugin_SetText(stateText, state == State::Loading ? Str(2472) : state == State::Failed ? Str(2473) : QString());
    Plugin_SetVisible(stateText, !ready);
}

void CMessagePage::OnPageShown() {
    if (m_state != State::Ready) {
        CheckLoaded(false);
    } else {
        FillCurrentView();
    }
}

void CMessagePage::OnPageHidden() {
    for (CMsgContentView* view : m_views) {
        if (view != nullptr) {
            view->Unload();
        }
    }
}

void CMessagePage::OnDeviceConnected() {
    m_connected = true;
    m_phoneVersion = 2;
    {
        CSessionScope use(m_gate, VEXA_HERE);
        if (vexa::DeviceInfo* info = use ? use->GetDeviceInfo() : nullptr) {
            int second = 0;
            info->GetVersionPair(&m_phoneVersion, &second);
        }
    }
    for (CMsgContentView* view : m_views) {
        if (view != nullptr) {
            view->SetPhoneVersion(m_phoneVersion);
        }
    }
    if (m_reply != nullptr) {
        m_reply->SetupSim();
    }
    // The frame creates the page on its first visit and tells it of the phone before showing it.
    CheckLoaded(false);
}

void CMessagePage::OnDeviceDisconnected() {
    m_connected = false;
    m_rebuildJob.Cancel();
    m_data.Clear();
    m_number.clear();
    SetState(State::Loading);
    DrawTree();
    ShowView(ViewAll);
}

void CMessagePage::CheckLoaded(bool force) {
    bool loaded = false;
    {
        CSessionScope use(m_gate, VEXA_HERE);
        if (!use || !use->IsConnected()) {
            return;
        }
        vexa::ContactBook* book = use->GetContactBook();
        vexa::SmsStore* sms = use->GetSmsStore();
        vexa::MmsStore* mms = use->GetMmsStore();
        loaded = book != nullptr && sms != nullptr && book->IsContactsLoaded() && sms->IsSmsLoaded() &&
                 (mms == nullptr || mms->IsMmsLoaded());
    }
    if (loaded && !force) {
        Rebuild(m_keyword, true);
        return;
    }
    SetState(State::Loading);
    if (m_frame != nullptr) {
        m_frame->PostMessage(WM_FRAME_LOAD_REQUEST, mainframe::TabMessage, force ? 1 : 0);
    } else {
        LoadRequest(1); // without a frame (tests) the stores load on first use
    }
}

void CMessagePage::LoadRequest(int mode) {
    CSessionUse use(m_gate, VEXA_HERE);
    if (!use.Usable()) {
        return;
    }
    LOG_Info("====================================> finish load msg %d.", mode);
    if (mode != 1) {
        SetState(State::Failed);
        return;
    }
    Rebuild(m_keyword, true);
}

void CMessagePage::Rebuild(const QString& keyword, bool showLists) {
    {
        std::lock_guard guard(m_rebuildLock);
        m_rebuildKeyword = keyword;
        m_rebuildShowsLists = m_rebuildShowsLists || showLists;
    }
    m_rebuildJob.Request(); // while one runs, this asks for one more with the newest keyword
}

void CMessagePage::OnRebuilt(RebuiltMessages rebuilt) {
    if (!m_connected || rebuilt.data == nullptr) {
        return; // read before the phone went
    }
    if (!m_data.IsReady()) {
        if (rebuilt.state == messages::MessageData::StoreState::SmsFailed) {
            VexaMessageBox(Str(2400), this, Str(2401), 0);
        } else if (rebuilt.state == messages::MessageData::StoreState::MmsFailed) {
            VexaMessageBox(Str(2402), this, Str(2401), 0);
        }
    }
    m_data = std::move(*rebuilt.data);
    rebuilt.data.reset();
#ifdef __GLIBC__
    // Ordering 100,000 messages goes through as many temporary sort keys; hand their memory back.
    malloc_trim(0);
#endif
    if (m_data.IsReady()) {
        SetState(State::Ready);
    } else if (rebuilt.showLists) {
        SetState(State::Failed);
    }
    ArrangeConversations();
    DrawTree();
    FillCurrentView();
}

void CMessagePage::ArrangeConversations() {
    if (m_order) {
        messages::SortConversations(m_data.Conversations(), *m_order);
    }
    messages::BringToFront(m_data.Conversations(), m_recentSent);
}

void CMessagePage::NoteSent(const QStringList& numbers) {
    for (const QString& number : numbers) {
        m_recentSent.removeIf([&number](const QString& n) { return n.compare(number, Qt::CaseInsensitive) == 0; });
    }
    m_recentSent = numbers + m_recentSent;
    constexpr int kRemembered = 50;
    if (m_recentSent.size() > kRemembered) {
        m_recentSent.resize(kRemembered);
    }
}

void CMessagePage::MarkShownAsRead() {
    std::vector<std::int64_t> unreadSms;
    for (const MSGINFO& m : m_data.ConversationMessages(m_number)) {
        if (m.read == 0 && !m_seen.contains(m.type == 1 ? -1 - m.id : m.id)) {
            m_seen.insert(m.type == 1 ? -1 - m.id : m.id);
            if (m.type == 0) {
                unreadSms.push_back(m.id);
            }
        }
    }
    if (unreadSms.empty()) {
        return;
    }
    // The phone is told off the UI thread; the dot goes at once either way.
    RunOnPhone(
        m_gate, this,
        [unreadSms](vexa::DeviceSession& session) { return messages::MarkSmsRead(session.GetSmsStore(), unreadSms); },
        [](std::optional<int>) {});
}

bool CMessagePage::RequestRefresh(const QString& keyword) {
    return m_refresh.Request(keyword);
}

void CMessagePage::DoRefresh(const QString& keyword) {
    m_keyword = keyword;
    Rebuild(keyword, false);
}

void CMessagePage::SetSearch(const QString& keyword) {
    RequestRefresh(keyword.trimmed());
}

QString CMessagePage::DraftLabel(const MSGINFO& draft) const {
    const QString name = m_data.Names().ContactName(draft.number);
    const QString who = !name.isEmpty() ? name : !draft.number.isEmpty() ? draft.number : Str(3602);
    const QString firstLine = draft.content.section(u'\n', 0, 0).trimmed();
    return FormatText(Str(3603), qUtf8Printable(who), qUtf8Printable(firstLine.left(24)));
}

void CMessagePage::DrawTree() {
    if (m_tree == nullptr) {
        return;
    }
    m_filling = true;
    // The list stays where the user scrolled it (a message arriving redraws it): the conversation
    // at the top stays at the top, or, when it is gone, the same scroll position.
    const int scrolled = m_tree->verticalScrollBar()->value();
    QTreeWidgetItem* top = m_tree->itemAt(0, 0);
    const QString anchor = top != nullptr && top->parent() != nullptr &&
                                   m_tree->indexOfTopLevelItem(top->parent()) == kAllNode
                               ? top->toolTip(0)
                               : QString();
    m_tree->clear();
    // The drafts come first: with thousands of conversations they would otherwise be out of reach.
    auto* drafts = new QTreeWidgetItem({FormatText(Str(2406), static_cast<int>(m_data.Drafts().size()))});
    auto* all = new QTreeWidgetItem({FormatText(Str(2404), static_cast<int>(m_data.Conversations().size()))});
    m_tree->insertTopLevelItem(kDraftsNode, drafts);
    m_tree->insertTopLevelItem(kAllNode, all);
    for (const MSGINFO& draft : m_data.Drafts()) {
        auto* item = new QTreeWidgetItem(drafts, {DraftLabel(draft)});
        item->setToolTip(0, draft.number);
    }
    // Unread messages not yet looked at here, by conversation (only when some were looked at).
    QHash<QString, int> unseen;
    if (!m_seen.isEmpty()) {
        for (const messages::typCONFERINFO& c : m_data.Conversations()) {
            unseen.insert(c.number.toCaseFolded(), 0);
        }
        for (const MSGINFO& m : m_data.Messages()) {
            if (m.read == 0 && !m_seen.contains(m.type == 1 ? -1 - m.id : m.id)) {
                ++unseen[m.number.toCaseFolded()];
            }
        }
    }
    for (const messages::typCONFERINFO& c : m_data.Conversations()) {
        QString text = QStringLiteral("%1 (%2)").arg(c.name.isEmpty() ? c.number : c.name).arg(c.count);
        auto* item = new QTreeWidgetItem(all, {text});
        item->setToolTip(0, c.number);
        if (c.unread > 0 && unseen.value(c.number.toCaseFolded(), c.unread) > 0) {
            item->setText(0, text + QStringLiteral("  ●"));
            item->setForeground(0, QColor(0x1F, 0x7A, 0xE0));
        }
    }
    all->setExpanded(true);
    // Open only while looked at, so that many drafts never push the conversations away.
    drafts->setExpanded(m_viewKind == ViewDrafts);
    // Keep the node the user was on.
    QTreeWidgetItem* current = all;
    if (m_viewKind == ViewDrafts) {
        current = drafts;
    } else if (m_viewKind == ViewConversation) {
        const auto& list = m_data.Conversations();
        current = nullptr;
        for (int i = 0; i < static_cast<int>(list.size()); ++i) {
            if (list[i].number.compare(m_number, Qt::CaseInsensitive) == 0) {
                current = all->child(i);
                break;
            }
        }
        if (current == nullptr) {
            // The conversation is gone (deleted here or on the phone): leave it, and take its number
            // from the reply so nothing more is sent there.
            m_number.clear();
            if (m_reply != nullptr) {
                m_reply->SetRecipient(QString());
            }
            ShowView(ViewAll);
            current = all;
        }
    }
    m_tree->setCurrentItem(current);
    QTreeWidgetItem* keep = nullptr;
    for (int i = 0; !anchor.isEmpty() && i < all->childCount() && keep == nullptr; ++i) {
        if (all->child(i)->toolTip(0) == anchor) {
            keep = all->child(i);
        }
    }
    if (keep != nullptr) {
        m_tree->scrollToItem(keep, QAbstractItemView::PositionAtTop);
    } else {
        m_tree->verticalScrollBar()->setValue(scrolled);
    }
    m_filling = false;
}

void CMessagePage::ShowView(int kind) {
    m_viewKind = kind;
    for (int k = 0; k < 3; ++k) {
        Plugin_SetVisible(GetPluginByName(this, QString::fromLatin1(kHosts[k])), k == kind);
        // A hidden view is drawn again when it is chosen; meanwhile its page gives back its memory.
        if (k != kind && m_views[k] != nullptr) {
            m_views[k]->Unload();
        }
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("quick_reply_host")), kind == ViewConversation);
    if (auto* all = qobject_cast<QCheckBox*>(GetPluginByName(this, QStringLiteral("select_all_messages_checkbox")))) {
        const QSignalBlocker blocker(all);
        all->setChecked(false);
        all->setText(Str(2462));
    }
    m_allSelected = false;
    UpdateCaptions();
}

namespace {
// The width the toolbar leaves its caption: what remains after the other shown items at their
// natural widths, so that a long caption is cut with an ellipsis and never clips a button.
int CaptionRoom(QWidget* caption) {
    QWidget* bar = caption->parentWidget();
    QLayout* layout = bar != nullptr ? bar->layout() : nullptr;
    if (layout == nullptr || bar->width() <= 0) {
        return 160;
    }
    const QMargins margins = layout->contentsMargins();
    int used = margins.left() + margins.right();
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        QWidget* w = item->widget();
        if (w == caption || (w != nullptr && w->isHidden())) {
            continue;
        }
        used += (w != nullptr ? item->sizeHint().width() : 0) + layout->spacing();
    }
    return std::max(60, bar->width() - used);
}
} // namespace

void CMessagePage::UpdateCaptions() {
    // A number no contact holds can become one from its conversation.
    QWidget* add = GetPluginByName(this, QStringLiteral("add_contact_btn"));
    Plugin_SetText(add, Str(3180));
    if (add != nullptr) { // a link is never cut; the caption gives way
        add->setMinimumWidth(add->fontMetrics().horizontalAdvance(Str(3180)) + 12);
    }
    Plugin_SetVisible(add, m_addContact && m_viewKind == ViewConversation && !m_number.isEmpty() &&
                               m_data.Names().ContactName(m_number).isEmpty());
    QWidget* label = GetPluginByName(this, QStringLiteral("message_view_caption"));
    if (label == nullptr) {
        return;
    }
    const QString caption = Caption();
    const QMargins margins = label->contentsMargins();
    const int room = CaptionRoom(label) - (margins.left() + margins.right() + 4);
    const QFontMetrics metrics = label->fontMetrics();
    QString shown = caption;
    if (metrics.horizontalAdvance(caption) > room && !m_data.Keyword().isEmpty()) {
        // A search's count is what the user looks for: the shorter form, or the name cut, never the count.
        if (m_viewKind == ViewAll) {
            shown = FormatText(Str(3511), static_cast<int>(m_data.Messages().size()));
        } else if (m_viewKind == ViewConversation) {
            const QString name = ConversationName(m_number);
            const int count = static_cast<int>(m_data.ConversationMessages(m_number).size());
            const int rest = metrics.horizontalAdvance(FormatText(Str(3510), "", count));
            const QString who = metrics.elidedText(name.isEmpty() ? m_number : name, Qt::ElideRight, room - rest);
            shown = FormatText(Str(3510), qUtf8Printable(who), count);
        }
    }
    Plugin_SetText(label, metrics.elidedText(shown, Qt::ElideRight, room));
    label->setToolTip(caption);
}

void CMessagePage::resizeEvent(QResizeEvent* event) {
    CTabPageWnd::resizeEvent(event);
    UpdateCaptions();
}

LRESULT CMessagePage::OnAddContact(QWidget*, std::intptr_t, std::intptr_t) {
    if (m_addContact && m_viewKind == ViewConversation && m_addContact(this, m_number)) {
        RequestRefresh(m_keyword); // the conversation takes the new name
    }
    return 0;
}

QString CMessagePage::ConversationName(const QString& number) const {
    // The tree's name, which tells two contacts of one name apart; empty for a number no contact has.
    if (m_data.Names().ContactName(number).isEmpty()) {
        return {};
    }
    for (const messages::typCONFERINFO& c : m_data.Conversations()) {
        if (c.number.compare(number, Qt::CaseInsensitive) == 0) {
            return c.name;
        }
    }
    return m_data.Names().ContactName(number);
}

QString CMessagePage::Caption() const {
    switch (m_viewKind) {
    case ViewDrafts:
        // During a search the drafts shown are those it found.
        return m_data.Keyword().isEmpty() ? Str(2405) : FormatText(Str(2406), static_cast<int>(m_data.Drafts().size()));
    case ViewConversation: {
        const QString name = ConversationName(m_number);
        const QByteArray who = (name.isEmpty() ? m_number : name).toUtf8();
        if (m_data.Keyword().isEmpty()) {
            return FormatText(Str(2407), who.constData());
        }
        return FormatText(Str(3510), who.constData(), static_cast<int>(m_data.ConversationMessages(m_number).size()));
    }
    default:
        // A search shows what it found, not every conversation.
        return m_data.Keyword().isEmpty() ? Str(2403)
                                          : FormatText(Str(2709), qUtf8Printable(m_data.Keyword()),
                                                       static_cast<int>(m_data.Messages().size()));
    }
}

void CMessagePage::FillCurrentView() {
    CMsgContentView* view = m_views[m_viewKind];
    if (view == nullptr) {
        return;
    }
    switch (m_viewKind) {
    case ViewConversation: {
        // Oldest first, so the newest message sits at the bottom above the reply.
        std::vector<MSGINFO> list = m_data.ConversationMessages(m_number);
        std::reverse(list.begin(), list.end());
        view->SetMessages(std::move(list));
        if (m_reply != nullptr) {
            m_reply->SetRecipient(m_number, m_data.Names().DisplayName(m_number));
        }
        break;
    }
    case ViewDrafts:
        view->SetMessages(m_data.Drafts());
        break;
    default: {
        m_overviewPerConversation = OverviewPerConversation(m_data.Conversations().size());
        view->SetMessages(messages::InConversationOrder(
            messages::OverviewMessages(m_data.Messages(), m_overviewPerConversation), m_data.Conversations()));
        // The number groups' labels count the whole conversation, not only its newest messages.
        auto totals = std::make_shared<QHash<QString, int>>();
        for (const messages::typCONFERINFO& c : m_data.Conversations()) {
            totals->insert(c.number.toCaseFolded(), c.count);
        }
        view->SetNumberTotal([totals](const QString& number) { return totals->value(number.toCaseFolded()); });
        break;
    }
    }
    view->SetKeyword(m_keyword);
    view->Refresh();
    UpdateCaptions();
}

void CMessagePage::ShowAll() {
    ShowView(ViewAll);
    FillCurrentView();
}

void CMessagePage::ShowConversation(const QString& number) {
    m_number = number;
    ShowView(ViewConversation);
    FillCurrentView();
    MarkShownAsRead();
    // Its dot goes at once.
    QTreeWidgetItem* all = m_tree != nullptr ? m_tree->topLevelItem(kAllNode) : nullptr;
    for (int i = 0; all != nullptr && i < all->childCount(); ++i) {
        QTreeWidgetItem* item = all->child(i);
        if (item->toolTip(0).compare(number, Qt::CaseInsensitive) == 0 && item->text(0).endsWith(QStringLiteral("  ●"))) {
            item->setText(0, item->text(0).chopped(3));
            item->setForeground(0, all->foreground(0));
        }
    }
}

void CMessagePage::OpenConversation(const QString& number, bool reply) {
    ShowConversation(number);
    if (reply && m_reply != nullptr && m_reply->Edit() != nullptr) {
        m_reply->Edit()->setFocus(Qt::OtherFocusReason);
    }
}

void CMessagePage::ShowDrafts() {
    ShowView(ViewDrafts);
    FillCurrentView();
}

void CMessagePage::SortConversations(messages::ConversationOrder order) {
    m_order = order;
    m_recentSent.clear(); // the user's order now, not the last sends
    ArrangeConversations();
    DrawTree();
    if (m_viewKind == ViewAll) {
        FillCurrentView(); // the cards follow the tree
    }
}

LRESULT CMessagePage::OnTree(QWidget*, std::intptr_t top, std::intptr_t child) {
    if (m_filling || top < 0) {
        return 0;
    }
    if (top == kDraftsNode) {
        ShowDrafts();
        if (QTreeWidgetItem* drafts = m_tree != nullptr ? m_tree->topLevelItem(kDraftsNode) : nullptr) {
            drafts->setExpanded(true);
        }
    } else if (child < 0) {
        ShowAll();
    } else if (child < static_cast<std::intptr_t>(m_data.Conversations().size())) {
        ShowConversation(m_data.Conversations()[static_cast<std::size_t>(child)].number);
    }
    return 0;
}

LRESULT CMessagePage::OnNewMessage(QWidget*, std::intptr_t, std::intptr_t) {
    OpenEditor(CSmsEditDlg::NewMessage, QString(), QString(), -1);
    return 0;
}

LRESULT CMessagePage::OnDeleteButton(QWidget*, std::intptr_t, std::intptr_t) {
    DeleteSelected();
    return 0;
}

LRESULT CMessagePage::OnExportButton(QWidget*, std::intptr_t, std::intptr_t) {
    ExportSelected();
    return 0;
}

LRESULT CMessagePage::OnImportButton(QWidget*, std::intptr_t, std::intptr_t) {
    ImportFromDialog();
    return 0;
}

LRESULT CMessagePage::OnRefreshButton(QWidget*, std::intptr_t, std::intptr_t) {
    // The user asks for what the phone holds now (messages may have come or gone on the phone
    // itself), so the stores are read again, not only the lists rebuilt.
    CheckLoaded(true);
    return 0;
}

LRESULT CMessagePage::OnSelectAll(QWidget*, std::intptr_t on, std::intptr_t) {
    if (m_views[m_viewKind] != nullptr) {
        m_views[m_viewKind]->SelectAll(on != 0);
    }
    m_allSelected = on != 0;
    ShowSelectionCount();
    return 0;
}

void CMessagePage::ShowSelectionCount() {
    CMsgContentView* view = m_views[m_viewKind];
    if (view == nullptr) {
        return;
    }
    // Counted as delete and export would take it: a ticked conversation of the overview is all of it.
    view->GetSelection([this, kind = m_viewKind](std::vector<messages::MsgTypeAndId> items) {
        if (kind != m_viewKind) {
            return;
        }
        const int count = static_cast<int>(WholeSelection(kind, std::move(items)).size());
        Plugin_SetText(GetPluginByName(this, QStringLiteral("select_all_messages_checkbox")),
                       count > 0 ? FormatText(Str(3604), count) : Str(2462));
    });
}

LRESULT CMessagePage::OnSort(QWidget* button, std::intptr_t index, std::intptr_t) {
    static const messages::ConversationOrder kOrders[] = {
        messages::ConversationOrder::ByTime, messages::ConversationOrder::ByName, messages::ConversationOrder::ByTotal};
    if (index >= 0 && index < 3) {
        Plugin_SetText(button, Str(2415 + static_cast<int>(index)));
        SortConversations(kOrders[index]);
    }
    return 0;
}

std::vector<messages::MsgTypeAndId> CMessagePage::WholeSelection(int viewKind,
                                                                 std::vector<messages::MsgTypeAndId> picked) const {
    // The overview draws only the newest messages of each conversation; a ticked conversation there
    // means all of it.
    if (viewKind != ViewAll) {
        return picked;
    }
    return messages::ExpandOverviewSelection(m_data.Messages(), m_overviewPerConversation, picked);
}

void CMessagePage::DeleteSelected() {
    CMsgContentView* view = m_views[m_viewKind];
    if (view == nullptr) {
        return;
    }
    view->GetSelection([this, kind = m_viewKind](std::vector<messages::MsgTypeAndId> items) {
        items = WholeSelection(kind, std::move(items));
        if (items.empty()) {
            VexaMessageBox(Str(2408), this, Str(2409), 0);
            return;
        }
        if (VexaMessageBox(FormatText(Str(2410), static_cast<int>(items.size())), this, Str(2409), 1) != 1) {
            return;
        }
        DeleteItems(items);
    });
}

void CMessagePage::DeleteItems(const std::vector<messages::MsgTypeAndId>& items) {
    messages::DeleteOutcome outcome;
    {
        BusyScope busy(m_refresh);
        CSessionScope use(m_gate, VEXA_HERE); // without a session every item fails
        CVexaProgressDlg dlg(this);
        dlg.m_strTitle = Str(2409);
        dlg.m_strRemind = Str(2411);
        dlg.m_bCanCancel = true;
        RunWhileModal(dlg, [&dlg, &outcome, items, session = use.Session()] {
            dlg.WaitReady();
            messages::BatchHooks hooks;
            hooks.cancelled = [&dlg] { return dlg.IsCancelRequested(); };
            hooks.connected = [session] { return session != nullptr && session->IsConnected(); };
            hooks.progress = [&dlg](int total, int done) { dlg.SetProgress(total, done, true); };
            outcome = messages::DeleteMessages(session != nullptr ? session->GetSmsStore() : nullptr,
                                               session != nullptr ? session->GetMmsStore() : nullptr, items, hooks);
            dlg.PostMessage(WM_COMMAND, outcome.cancelled ? IDCANCEL : IDOK);
        });
        if (outcome.PartlyFailed()) {
            VexaMessageBox(Str(2412), this, Str(330), 0);
        }
    }
    RequestRefresh(m_keyword);
}

void CMessagePage::ExportSelected() {
    CMsgContentView* view = m_views[m_viewKind];
    if (view == nullptr) {
        return;
    }
    view->GetSelection([this, kind = m_viewKind](std::vector<messages::MsgTypeAndId> items) {
        items = WholeSelection(kind, std::move(items));
        if (items.empty()) {
            VexaMessageBox(Str(345), this, Str(330), 0);
            return;
        }
        QString path = m_exportPath ? m_exportPath() : QFileDialog::getSaveFileName(this, Str(2439), SuggestedSavePath(Str(2200), QStringLiteral("csv")), Str(2440));
        if (path.isEmpty()) {
            return;
        }
        if (QFileInfo(path).suffix().isEmpty()) {
            path += QStringLiteral(".csv");
        }
        const QString suffix = QFileInfo(path).suffix();
        if (suffix != QLatin1String("csv") && suffix != QLatin1String("CSV")) {
            VexaMessageBox(Str(2441), this, Str(2401), 0);
            return;
        }
        // A whole selection of the conversations leaves the drafts out; the result says so.
        const int drafts = kind == ViewAll && m_allSelected ? static_cast<int>(m_data.Drafts().size()) : 0;
        ExportItems(items, path, drafts);
    });
}

void CMessagePage::ExportItems(const std::vector<messages::MsgTypeAndId>& items, const QString& path,
                               int draftsLeftOut) {
    BusyScope busy(m_refresh);
    CSessionScope use(m_gate, VEXA_HERE); // without a session nothing is exported
    // One phone query per message: the export runs on a worker behind a cancellable progress dialog.
    messages::SmsCsvExportResult result;
    CVexaProgressDlg dlg(this);
    dlg.m_strTitle = Str(2439);
    dlg.m_strRemind = Str(3690);
    dlg.m_bCanCancel = true;
    RunWhileModal(dlg, [&dlg, &result, &items, &path, session = use.Session()] {
        dlg.WaitReady();
        messages::BatchHooks hooks;
        hooks.cancelled = [&dlg] { return dlg.IsCancelRequested(); };
        hooks.connected = [session] { return session != nullptr && session->IsConnected(); };
        hooks.progress = [&dlg](int total, int done) { dlg.SetProgress(total, done, true); };
        result = messages::ExportSelectedSmsCsv(session != nullptr ? session->GetSmsStore() : nullptr, items,
                                                path, hooks);
        dlg.PostMessage(WM_COMMAND, result.cancelled ? IDCANCEL : IDOK);
    });
    if (result.cancelled) {
        return;
    }
    if (result.phoneError) {
        VexaMessageBox(Str(2702), this, Str(2401), 0);
        return;
    }
    if (result.fileError) {
        VexaMessageBox(FormatText(Str(2703), qUtf8Printable(QDir::toNativeSeparators(path)),
                                  qUtf8Printable(result.error)),
                       this, Str(2401), 0);
        return;
    }
    if (result.NothingExported()) {
        VexaMessageBox(Str(2442), this, Str(330), 0);
        return;
    }
    const auto mms = std::count_if(items.begin(), items.end(), [](const messages::MsgTypeAndId& i) { return i.type == 1; });
    VexaMessageBox(messages::SmsExportResultText(result.written, static_cast<int>(mms), draftsLeftOut), this,
                   Str(2444), 0);
}

void CMessagePage::ImportFromDialog() {
    const QString path = QFileDialog::getOpenFileName(this, Str(2445), QString(), Str(2440));
    if (path.isEmpty()) {
        return;
    }
    const QString suffix = QFileInfo(path).suffix();
    if (suffix != QLatin1String("csv") && suffix != QLatin1String("CSV")) {
        VexaMessageBox(Str(2446), this, Str(330), 0);
        return;
    }
    ImportFile(path);
}

void CMessagePage::ImportFile(const QString& path) {
    messages::SmsCsvImportResult result;
    {
        BusyScope busy(m_refresh);
        CSessionScope use(m_gate, VEXA_HERE); // without a session nothing is imported
        // The whole file is checked before anything goes to the phone.
        const messages::SmsCsvCheck check = messages::CheckSmsCsvFile(path);
        if (check.status != messages::SmsCsvCheck::Ok) {
            const int id = messages::SmsCsvCheckMessageId(check.status);
            const QString text =
                id == 2466 ? FormatText(Str(id), static_cast<int>(messages::kMaxSmsCsvBytes >> 20)) : Str(id);
            const int caption = check.status == messages::SmsCsvCheck::BadHeader ? 282 : 2401;
            VexaMessageBox(text, this, Str(caption), 0);
            return;
        }
        CVexaProgressDlg dlg(this);
        dlg.m_strTitle = Str(2445);
        dlg.m_strRemind = Str(2450);
        dlg.m_bCanCancel = true;
        RunWhileModal(dlg, [&dlg, &result, path, session = use.Session()] {
            dlg.WaitReady();
            messages::BatchHooks hooks;
            hooks.cancelled = [&dlg] { return dlg.IsCancelRequested(); };
            hooks.progress = [&dlg](int total, int done) { dlg.SetProgress(total, done, true); };
            result = messages::ImportSmsCsv(session, path, hooks);
            dlg.PostMessage(WM_COMMAND, result.aborted ? IDCANCEL : IDOK);
        });
        const bool complete = result.Complete() && !result.aborted;
        VexaMessageBox(messages::SmsImportResultText(result), this,
                       Str(complete ? 2452 : result.cancelled ? 292 : 330), 0);
    }
    RequestRefresh(m_keyword);
}

bool CMessagePage::IsPictureVariant(const QString& name) {
    return name == QLatin1String("message_conversation") || name == QLatin1String("message_drafts") ||
           name == QLatin1String("message_search") || name == QLatin1String("message_search_result");
}

bool CMessagePage::WaitForView(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    CMsgContentView* view = m_views[m_viewKind];
    while (view != nullptr && view->OutputOver() == 0 && timer.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return view != nullptr && view->OutputOver() != 0;
}

bool CMessagePage::PrepareForPicture(const QString& variant, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (m_state != State::Ready && timer.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    if (m_state != State::Ready) {
        return false;
    }
    if (variant.startsWith(QLatin1String("message_search"))) {
        // The surname of the busiest conversation with a Chinese name, typed as a user would: several results.
        const messages::typCONFERINFO* busiest = nullptr;
        for (const messages::typCONFERINFO& c : m_data.Conversations()) {
            const QString name = m_data.Names().ContactName(c.number);
            if (!name.isEmpty() && name[0].unicode() >= 0x4E00 && (busiest == nullptr || c.count > busiest->count)) {
                busiest = &c;
            }
        }
        const QString keyword = busiest != nullptr ? m_data.Names().ContactName(busiest->number).left(1) : QString();
        if (auto* search = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("search_ctrl")));
            search != nullptr && !keyword.isEmpty()) {
            search->setText(keyword);
            m_searchTimer->stop();
            SetSearch(keyword);
            while (m_data.Keyword() != keyword && timer.elapsed() < timeoutMs) {
                QApplication::processEvents(QEventLoop::AllEvents, 50);
                QThread::msleep(10);
            }
        }
        // The first result opened: what of the conversation the search found.
        if (variant == QLatin1String("message_search_result") && !m_data.Conversations().empty()) {
            ShowConversation(m_data.Conversations().front().number);
            if (m_tree != nullptr && m_tree->topLevelItem(kAllNode) != nullptr) {
                m_filling = true;
                m_tree->setCurrentItem(m_tree->topLevelItem(kAllNode)->child(0));
                m_filling = false;
            }
        }
    } else if (variant == QLatin1String("message_drafts")) {
        ShowDrafts();
        if (m_tree != nullptr) {
            m_filling = true;
            m_tree->topLevelItem(kDraftsNode)->setExpanded(true);
            m_tree->setCurrentItem(m_tree->topLevelItem(kDraftsNode));
            m_filling = false;
        }
    } else if (variant == QLatin1String("message_conversation") && !m_data.Conversations().empty()) {
        // The conversation with most messages shows the view best.
        std::size_t best = 0;
        for (std::size_t i = 0; i < m_data.Conversations().size(); ++i) {
            if (m_data.Conversations()[i].count > m_data.Conversations()[best].count) {
                best = i;
            }
        }
        ShowConversation(m_data.Conversations()[best].number);
        if (m_tree != nullptr && m_tree->topLevelItem(kAllNode) != nullptr) {
            m_filling = true;
            m_tree->setCurrentItem(m_tree->topLevelItem(kAllNode)->child(static_cast<int>(best)));
            m_filling = false;
        }
    }
    const bool drawn = WaitForView(timeoutMs);
    // The view's picture is taken from its last frame; give it time to paint the new page.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 400) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return drawn;
}

void CMessagePage::OnIncomingMessage() {
    if (m_state == State::Ready) {
        RequestRefresh(m_keyword);
    }
}

const MSGINFO* CMessagePage::FindMessage(const messages::MsgTypeAndId& item) const {
    for (const auto* list : {&m_data.Messages(), &m_data.Drafts()}) {
        for (const MSGINFO& m : *list) {
            if (m.id == item.id && m.type == item.type) {
                return &m;
            }
        }
    }
    return nullptr;
}

LRESULT CMessagePage::OnNewMms(QWidget*, std::intptr_t, std::intptr_t) {
    int result = 0;
    {
        BusyScope busy(m_refresh);
        CMmsEditDlg dlg(m_gate, this);
        dlg.SetDualSim(m_reply != nullptr && m_reply->DualLayout());
        if (m_reply != nullptr) {
            dlg.SetSimLabels(m_reply->SimButtonText(1), m_reply->SimButtonText(2));
        }
        result = dlg.DoModal();
    }
    if (result == static_cast<int>(IDOK)) {
        RequestRefresh(m_keyword);
    }
    return 0;
}

void CMessagePage::OpenMmsPreview(std::int64_t id) {
    mms::MediaMsg msg;
    IoResult read = IoResult::Fail(QString());
    {
        CAnimateDialog dlg(this);
        dlg.m_strCaption = Str(3246);
        RunWhileModal(dlg, [&] {
            dlg.WaitReady();
            {
                CSessionScope use(m_gate, VEXA_HERE);
                read = messages::ReadStoredMms(use ? use->GetMmsStore() : nullptr, id, &msg);
            }
            dlg.EndWork(1);
        });
    }
    if (!read) {
        VexaMessageBox(FormatText(Str(3273), qUtf8Printable(read.error)), this, Str(330), 0);
        return;
    }
    CMmsPreviewDlg preview(msg, this);
    preview.DoModal();
}

void CMessagePage::OpenEditor(int mode, const QString& recipients, const QString& text, std::int64_t draftId) {
    int result = 0;
    {
        BusyScope busy(m_refresh);
        CSmsEditDlg dlg(m_gate, static_cast<CSmsEditDlg::Mode>(mode), this);
        dlg.SetRecipients(recipients);
        dlg.SetText(text);
        if (draftId >= 0) {
            dlg.SetDraftId(draftId);
        }
        result = dlg.DoModal();
        if (dlg.Sent()) {
            NoteSent(messages::ParseRecipients(dlg.RecipientsText()));
        }
    }
    if (result == static_cast<int>(IDOK)) {
        RequestRefresh(m_keyword);
    }
}

QString CMessagePage::RecipientEntry(const QString& number) const {
    // The recipients field's "name<number>" form, so the user sees whom the draft goes to.
    const QString name = m_data.Names().ContactName(number);
    return name.isEmpty() || number.isEmpty() ? number : name + u'<' + number + u'>';
}

void CMessagePage::OnCommand(UINT msg, const messages::MsgTypeAndId& item) {
    if (item.type != 0 && item.type != 1) {
        VexaMessageBox(Str(2414), this, Str(330), 0);
        return;
    }
    const MSGINFO* found = FindMessage(item);
    switch (msg) {
    case WM_MSGVIEW_DELETE:
        if (VexaMessageBox(FormatText(Str(2410), 1), this, Str(2409), 1) == 1) {
            DeleteItems({item});
        }
        break;
    case WM_MSGVIEW_FORWARD:
        OpenEditor(CSmsEditDlg::Forward, QString(), found != nullptr ? found->content : QString(), -1);
        break;
    case WM_MSGVIEW_EDIT:
        if (found != nullptr && item.type == 0) {
            OpenEditor(CSmsEditDlg::EditDraft, RecipientEntry(found->number), found->content, found->id);
        }
        break;
    case WM_MSGVIEW_RESEND:
        if (found != nullptr && m_reply != nullptr) {
            const QString keep = m_reply->Text();
            m_reply->SetRecipient(found->number);
            m_reply->SetText(found->content);
            m_reply->Send(m_reply->DualLayout() ? 2 : 1, false);
            if (m_viewKind == ViewConversation) {
                m_reply->SetRecipient(m_number);
            }
            if (m_reply->LastResult() != 1) {
                m_reply->SetText(keep);
            }
        }
        break;
    default:
        break;
    }
}

LRESULT CMessagePage::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CMessagePageTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    switch (msg) {
    case WM_MSGPAGE_SHOW_LISTS:
        SetState(m_data.IsReady() ? State::Ready : State::Failed);
        DrawTree();
        FillCurrentView();
        return 0;
    case WM_MSGPAGE_REFRESH: {
        DoRefresh(TakeValue<QString>(lParam).value_or(QString()));
        return 0;
    }
    case WM_MSGPAGE_REBUILT:
        if (auto rebuilt = TakeValue<RebuiltMessages>(lParam)) {
            OnRebuilt(std::move(*rebuilt));
        }
        return 0;
    case WM_MSGPAGE_INCOMING:
        OnIncomingMessage();
        return 0;
    case WM_MSGVIEW_DELETE:
    case WM_MSGVIEW_FORWARD:
    case WM_MSGVIEW_EDIT:
    case WM_MSGVIEW_RESEND:
        if (wParam != 0) {
            BusyScope busy(m_refresh);
            CSessionUse use(m_gate, VEXA_HERE);
            if (use.Usable()) {
                OnCommand(msg, *reinterpret_cast<const messages::MsgTypeAndId*>(wParam));
            }
        }
        return 0;
    case WM_MSGVIEW_SELECTION: {
        const int status = static_cast<int>(static_cast<std::intptr_t>(wParam));
        if (auto* all =
                qobject_cast<QCheckBox*>(GetPluginByName(this, QStringLiteral("select_all_messages_checkbox")))) {
            const QSignalBlocker blocker(all);
            all->setChecked(status == 1);
        }
        if (status == 1 || status == 0 || status == -1) {
            m_allSelected = status == 1;
        }
        ShowSelectionCount();
        return 0;
    }
    case WM_REPLY_SEND_BEGIN:
        m_refresh.BeginBusy();
        return 0;
    case WM_REPLY_SEND_DONE:
        m_refresh.EndBusy();
        RequestRefresh(m_keyword);
        return 0;
    case WM_REPLY_SEND_CHECKED:
        m_replySending = true;
        return 0;
    case WM_REPLY_SEND_RESULT:
        // A conversation written to comes to the top (a saved draft does not move it).
        if (m_replySending && wParam != 0 && *reinterpret_cast<int*>(wParam) == 1 && m_reply != nullptr) {
            NoteSent({m_reply->Recipient()});
        }
        m_replySending = false;
        return 0;
    case WM_REPLY_NO_DEVICE:
        return 0;
    case WM_MSGVIEW_OPEN_MMS:
        if (wParam != 0) {
            const messages::MsgTypeAndId item = *reinterpret_cast<const messages::MsgTypeAndId*>(wParam);
            BusyScope busy(m_refresh);
            bool usable = false;
            {
                // The preview may stay open long: it holds no use of the session meanwhile.
                CSessionUse use(m_gate, VEXA_HERE);
                usable = use.Usable();
            }
            if (usable && item.type == 1) {
                OpenMmsPreview(item.id);
            }
        }
        return 0;
    default:
        break;
    }
    return CTabPageWnd::OnMessage(msg, wParam, lParam);
}
