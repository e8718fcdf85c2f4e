#include "contacts/CContactPage.h"

#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "contacts/CCallRecordWnd.h"
#include "contacts/CContactSearchWorker.h"
#include "contacts/ContactEditUi.h"
#include "controls/VexaMessageBox.h"
#include "contacts/CPbListWnd.h"
#include "device/LoadDataHelper.h"
#include "device/MainFrameMessages.h"
#include "device/SessionGate.h"
#include "libs/log/Log.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTextDocumentFragment>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTreeWidget>

namespace {

constexpr int kLetterMs = 500;

QString PhoneTypeName(int type, const QString& label) {
    static const std::pair<int, int> names[] = {{1, 688}, {2, 687}, {3, 689}, {4, 690},
                                                {5, 691}, {7, 692}, {9, 693}, {11, 694}};
    for (const auto& [code, id] : names) {
        if (code == type) {
            return Str(id);
        }
    }
    return label.isEmpty() ? Str(692) : label;
}

QString EmailTypeName(int type, const QString& label) {
    switch (type) {
    case 1:
        return Str(695);
    case 2:
        return Str(696);
    case 0:
        if (!label.isEmpty()) {
            return label;
        }
        [[fallthrough]];
    default:
        return Str(697);
    }
}

} // namespace

struct CContactPageTable {
    static const SkinEventRow<CContactPage> kRows[];
};

const SkinEventRow<CContactPage> CContactPageTable::kRows[] = {
    {"listboxex_tree_ctrl", kSkinTree, &CContactPage::OnTree},
    {"pblist_row_*", kSkinCellClick, &CContactPage::OnRowClick},
    {"pblist_row_*", kSkinCellCheck, &CContactPage::OnRowCheck},
    {"pblist_row_*", kSkinCellDoubleClick, &CContactPage::OnRowDoubleClick},
    {"all_sel_btn", kSkinCheck, &CContactPage::OnAllCheck},
    {"vertical_scrollbar", kSkinVScroll, &CContactPage::OnScroll},
    {"import_contact", kSkinDropDown, &CContactPage::OnImportMenu},
    {"export_contact", kSkinDropDown, &CContactPage::OnExportMenu},
    {"refresh_contact", kSkinClick, &CContactPage::OnRefresh},
    {"btn_for_contact", kSkinClick, &CContactPage::OnContactView},
    {"btn_for_call_record", kSkinClick, &CContactPage::OnCallView},
    {"new_contact", kSkinClick, &CContactPage::OnNew},
    {"edit_contact", kSkinClick, &CContactPage::OnEdit},
    {"delete_contact", kSkinClick, &CContactPage::OnDelete},
    {"remove_contact", kSkinClick, &CContactPage::OnRemove},
    {"copy_contact", kSkinDropDown, &CContactPage::OnCopyMenu},
    {"move_contact", kSkinDropDown, &CContactPage::OnMoveMenu},
    {"group_manage", kSkinClick, &CContactPage::OnGroups},
    {"merge_contact", kSkinClick, &CContactPage::OnMerge},
    {nullptr, 0, nullptr},
};

namespace {

// What the preview pane lists of a contact whose details are loaded, as rich text: numbers, mail and
// web addresses carry their action as a link ("sms:", "mail:", "web:" and the value).
QStringList PreviewLines(const vexa::Contact& c) {
    QStringList lines;
    const auto line = [&lines](const QString& caption, const QString& value) {
        lines << caption.toHtmlEscaped() + QStringLiteral("：") + value.toHtmlEscaped();
    };
    const auto action = [&lines](const char* scheme, const QString& value, int textId) {
        lines.last() += QStringLiteral(" <a href=\"%1\">%2</a>")
                            .arg((QString::fromLatin1(scheme) + value).toHtmlEscaped(), Str(textId));
    };
    for (int i = 0; i < c.GetPhoneCount(); ++i) {
        const vexa::ContactField* p = c.GetPhoneAt(i);
        line(PhoneTypeName(p->m_type, p->m_label), p->m_value);
        action("sms:", p->m_value, 992);
    }
    for (int i = 0; i < c.GetEmailCount(); ++i) {
        const vexa::ContactField* e = c.GetEmailAt(i);
        line(EmailTypeName(e->m_type, e->m_label), e->m_value);
        action("mail:", e->m_value, 993);
    }
    for (const vexa::ContactField& w : c.m_websites) {
        line(Str(176), w.m_value);
        action("web:", w.m_value, 994);
    }
    QString company, department, title;
    c.GetOrganization(&company, &department, &title);
    const QString org = QStringList{company, department, title}.filter(QRegularExpression(".")).join(' ');
    if (!org.isEmpty()) {
        line(QString(Str(244)).remove(u' '), org);
    }
    if (!c.GetBirthday().isEmpty()) {
        line(Str(3161), c.GetBirthday());
    }
    for (int i = 0; i < c.GetNoteCount(); ++i) {
        lines << c.GetNoteAt(i).toHtmlEscaped();
    }
    return lines;
}

} // namespace

CContactPage::CContactPage(CSessionGate& gate, QWidget* parent)
    : CTabPageWnd(parent), m_gate(gate), m_chooser(&ChooseContactFiles),
      m_loadJob("contact load",
                [this](const std::atomic<bool>&) {
                    CLoadDataHelper::Load(
                        ppGetBridge(), m_gate, LoadKindContacts, m_loadForced.exchange(false),
                        [this](int, int mode) { PostMessage(WM_CONTACT_LOADED, static_cast<WPARAM>(mode)); });
                }),
      m_previewJob("contact preview", [this](const std::atomic<bool>& cancel) {
          ContactPreview preview;
          {
              std::lock_guard guard(m_previewLock);
              preview.id = m_previewId;
          }
          CSessionScope use(m_gate, VEXA_HERE);
          vexa::ContactBook* book = use ? use->GetContactBook() : nullptr;
          if (book == nullptr || cancel) {
              return;
          }
          std::lock_guard<std::mutex> lock(LoaderLock(LockContacts));
          const std::vector<vexa::Contact*> found = contacts::ContactsWithIds(*book, {preview.id});
          vexa::Contact* c = found.empty() ? nullptr : found.front();
          if (c == nullptr || (!c->IsDetailLoaded() && !book->LoadContactDetail(c))) {
              return;
          }
          preview.lines = PreviewLines(*c);
          PostValue(WM_CONTACT_PREVIEW, std::move(preview));
      }) {
    m_letterTimer.setSingleShot(true);
    m_letterTimer.setInterval(kLetterMs);
    QObject::connect(&m_letterTimer, &QTimer::timeout, this, [this] {
        Plugin_SetVisible(GetPluginByName(this, QStringLiteral("first_letter_show")), false);
    });
    m_spinner.setInterval(100);
    QObject::connect(&m_spinner, &QTimer::timeout, this, [this] {
        m_spinnerFrame = m_spinnerFrame % 7 + 1;
        Plugin_SetStyle(GetPluginByName(this, QStringLiteral("loading_spinner")),
                        QStringLiteral("style_animate_%1").arg(m_spinnerFrame));
    });
}

CContactPage::~CContactPage() {
    m_previewJob.Stop();
    if (m_search) {
        m_search->Stop();
    }
    m_loadJob.Stop();
}

bool CContactPage::StopWork(int timeoutMs) {
    // A load under way cannot be cut short: it may outlive the deadline.
    return CBackgroundJob::StopAll({&m_previewJob, &m_loadJob}, timeoutMs);
}

void CContactPage::SetFrame(CMsgWnd* frame, UINT loadRequest) {
    m_frame = frame;
    m_loadRequest = loadRequest;
}

bool CContactPage::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("contact_page")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("btn_for_contact")), Str(267));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("btn_for_call_record")), Str(2307));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("import_contact")), Str(818));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("export_contact")), Str(814));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("refresh_contact")), Str(757));
    Plugin_SetMenuItems(GetPluginByName(this, QStringLiteral("import_contact")), {Str(973), Str(974)});
    Plugin_SetMenuItems(GetPluginByName(this, QStringLiteral("export_contact")), {Str(262), Str(263)});
    const std::pair<const char*, int> texts[] = {{"new_contact", 3157}, {"edit_contact", 3158}, {"delete_contact", 275},
                                                 {"copy_contact", 425},  {"move_contact", 424}, {"group_manage", 3165},
                                                 {"merge_contact", 310}};
    for (const auto& [name, id] : texts) {
        Plugin_SetText(GetPluginByName(this, QString::fromLatin1(name)), Str(id));
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("loading_text")), Str(2310));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("disconnected_text")), Str(2311));
    if (auto* search = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("Contact_search_ctrl")))) {
        search->setPlaceholderText(Str(2305));
        QObject::connect(search, &QLineEdit::textChanged, this, [this](const QString& key) { OnSearchText(key); });
    }
    if (auto* detail = qobject_cast<QLabel*>(GetPluginByName(this, QStringLiteral("preview_detail")))) {
        detail->setTextFormat(Qt::RichText);
        detail->setOpenExternalLinks(false);
        QObject::connect(detail, &QLabel::linkActivated, this, [this](const QString& link) { OnPreviewLink(link); });
    }
    m_list = new CPbListWnd(this);
    if (QWidget* viewport = GetPluginByName(this, QStringLiteral("pblist_viewport"))) {
        viewport->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(viewport, &QWidget::customContextMenuRequested, this, [this, viewport](const QPoint& at) {
            for (QWidget* w = viewport->childAt(at); w != nullptr && w != viewport; w = w->parentWidget()) {
                if (const int index = m_list->IndexOfRow(w); index >= 0) {
                    if (QMenu* menu = RowMenu(index)) {
                        menu->exec(viewport->mapToGlobal(at));
                    }
                    return;
                }
            }
        });
    }
    m_calls = new CCallRecordWnd(m_gate);
    if (!m_calls->Create()) {
        delete m_calls;
        m_calls = nullptr;
        return false;
    }
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("call_recond_wnd")), m_calls);
    m_calls->SetSendMessage(m_sendMessage); // handed in before the page was made
    m_calls->SetAddContact([this](QWidget* parent, const QString& number) {
        if (!RunQuickAddContact(parent, m_gate, number)) {
            return false;
        }
        RequestLoad(true); // the new name shows in the call records too
        return true;
    });
    m_search = std::make_unique<CContactSearchWorker>(
        [this](const std::function<void(vexa::ContactBook&)>& run) {
            CSessionScope use(m_gate, VEXA_HERE);
            if (!use) {
                return;
            }
            std::lock_guard<std::mutex> lock(LoaderLock(LockContacts));
            if (vexa::ContactBook* book = use->GetContactBook(); book != nullptr && book->IsContactsLoaded()) {
                run(*book);
            }
        },
        [this](int generation, const std::vector<vexa::Contact*>& batch) {
            // Ids, not pointers: the book may be reread before the page takes the batch.
            std::vector<std::int64_t> ids;
            ids.reserve(batch.size());
            for (const vexa::Contact* c : batch) {
                ids.push_back(c->GetId());
            }
            PostValue(WM_CONTACT_SEARCH_FOUND, std::move(ids), static_cast<WPARAM>(generation));
        },
        [this](int generation, bool complete) {
            PostMessage(WM_CONTACT_SEARCH_DONE, static_cast<WPARAM>(generation), complete ? 1 : 0);
        });
    ShowState();
    return true;
}

void CContactPage::ShowState() {
    const bool ready = m_connected && m_loaded;
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("contact_disconnected")), !m_connected);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("load_contact_animation")), m_connected && !m_loaded);
    if (m_connected && !m_loaded) {
        m_spinner.start();
    } else {
        m_spinner.stop();
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("contact_view")), ready && !m_callView);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("call_recond_wnd")), ready && m_callView);
    for (const char* name : {"import_contact", "export_contact", "refresh_contact", "Contact_search_ctrl",
                             "btn_for_contact", "btn_for_call_record", "new_contact", "edit_contact", "delete_contact", "remove_contact",
                             "copy_contact", "move_contact", "group_manage", "merge_contact"}) {
        Plugin_SetEnabled(GetPluginByName(this, QString::fromLatin1(name)), ready);
    }
    EnableEdit();
}

void CContactPage::EnableEdit() {
    // Editing needs a contact in front.
    const int front = m_list->Current();
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("edit_contact")),
                      m_connected && m_loaded && front >= 0 && m_list->At(front).contact != nullptr);
    OfferTargets();
}

void CContactPage::OnPageShown() {
    if (m_connected && !m_loading) {
        RequestLoad(false);
    }
}

void CContactPage::OnDeviceConnected() {
    m_connected = true;
    m_loaded = false;
    ShowState();
    RequestLoad(false);
}

void CContactPage::OnDeviceDisconnected() {
    m_connected = false;
    m_loaded = false;
    m_loading = false;
    if (m_search) {
        m_search->Cancel();
    }
    m_nodes.clear();
    if (auto* tree = qobject_cast<QTreeWidget*>(GetPluginByName(this, QStringLiteral("listboxex_tree_ctrl")))) {
        const QSignalBlocker block(tree);
        tree->clear();
    }
    m_list->Clear();
    if (m_calls != nullptr) {
        m_calls->Clear();
    }
    ShowState();
}

void CContactPage::RequestLoad(bool force) {
    if (!m_connected) {
        return;
    }
    m_loading = true;
    if (force) {
        // The book is about to be reread: its pointers go away.
        if (m_search) {
            m_search->Cancel();
        }
        m_list->Clear();
        if (m_calls != nullptr) {
            m_calls->Clear();
        }
        m_loaded = false;
        ShowState();
    }
    if (m_frame != nullptr) {
        m_frame->PostMessage(m_loadRequest, mainframe::TabContact, force ? 1 : 0);
        return;
    }
    if (force) {
        m_loadForced = true;
    }
    m_loadJob.Request();
}

void CContactPage::LoadRequest(int mode) {
    m_loading = false;
    if (!m_connected || mode == 2) {
        return; // the phone went away while loading: the lists stay as they were
    }
    Fill();
}

void CContactPage::Fill() {
    {
        CSessionScope use(m_gate, VEXA_HERE);
        vexa::ContactBook* book = use ? use->GetContactBook() : nullptr;
        m_loaded = book != nullptr && book->IsContactsLoaded();
    }
    ShowState();
    if (!m_loaded) {
        return;
    }
    BuildTree();
    const auto* search = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("Contact_search_ctrl")));
    if (search != nullptr && !search->text().isEmpty()) {
        OnSearchText(search->text());
    } else {
        FillNode(m_node);
    }
    if (m_selectAfterLoad >= 0) {
        for (int i = 0; i < m_list->Count(); ++i) {
            if (m_list->At(i).contact != nullptr && m_list->At(i).contact->GetId() == m_selectAfterLoad) {
                m_list->SetCurrent(i, true);
                ShowPreview();
                break;
            }
        }
        m_selectAfterLoad = -1;
    }
    // The call records are grouped when their view is shown: building both in one go kept the
    // window from answering for twice as long when the data arrived.
    m_callsStale = true;
    if (m_callView) {
        ReloadCallRecords();
    }
}

void CContactPage::ReloadCallRecords() {
    if (m_calls != nullptr && m_callsStale) {
        m_callsStale = false;
        m_calls->Reload();
    }
}

void CContactPage::BuildTree() {
    auto* tree = qobject_cast<QTreeWidget*>(GetPluginByName(this, QStringLiteral("listboxex_tree_ctrl")));
    {
        CSessionScope use(m_gate, VEXA_HERE);
        vexa::ContactBook* book = use ? use->GetContactBook() : nullptr;
        if (book == nullptr) {
            return;
        }
        std::lock_guard<std::mutex> lock(LoaderLock(LockContacts));
        m_nodes = contacts::BuildTreeNodes(*book, use->GetDeviceInfo());
    }
    BuildTargetMenus();
    if (tree == nullptr || m_nodes.empty()) {
        return;
    }
    if (std::none_of(m_nodes.begin(), m_nodes.end(), [this](const auto& n) { return n.id == m_node; })) {
        m_node = contacts::NodeAll;
    }
    const QSignalBlocker block(tree);
    tree->clear();
    auto* root = new QTreeWidgetItem(tree, QStringList{m_nodes.front().Text()});
    root->setData(0, Qt::UserRole, m_nodes.front().id);
    for (std::size_t i = 1; i < m_nodes.size(); ++i) {
        auto* item = new QTreeWidgetItem(root, QStringList{m_nodes[i].Text()});
        item->setData(0, Qt::UserRole, m_nodes[i].id);
        if (m_nodes[i].id == m_node) {
            tree->setCurrentItem(item);
        }
    }
    tree->expandAll();
}

bool CContactPage::SelectNode(int nodeId) {
    auto* tree = qobject_cast<QTreeWidget*>(GetPluginByName(this, QStringLiteral("listboxex_tree_ctrl")));
    if (tree == nullptr || tree->topLevelItemCount() == 0) {
        return false;
    }
    QTreeWidgetItem* root = tree->topLevelItem(0);
    for (int i = 0; i < root->childCount(); ++i) {
        if (root->child(i)->data(0, Qt::UserRole).toInt() == nodeId) {
            tree->setCurrentItem(root->child(i)); // reports the choice like a click
            return true;
        }
    }
    return false;
}

LRESULT CContactPage::OnTree(QWidget*, std::intptr_t top, std::intptr_t child) {
    if (top < 0) {
        return 0;
    }
    const std::size_t index = child < 0 ? 0 : static_cast<std::size_t>(child) + 1;
    if (index >= m_nodes.size()) {
        return 0;
    }
    // A node chosen while searching ends the search.
    if (auto* search = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("Contact_search_ctrl")));
        search != nullptr && !search->text().isEmpty()) {
        const QSignalBlocker block(search);
        search->clear();
        m_search->Cancel();
        m_searching = false;
    }
    FillNode(m_nodes[index].id == contacts::NodeRoot ? contacts::NodeAll : m_nodes[index].id);
    return 1;
}

void CContactPage::FillNode(int nodeId) {
    m_node = nodeId;
    m_list->Clear();
    m_list->SetEmptyText(Str(2309));
    std::vector<CPbListWnd::Item> items;
    QString caption;
    {
        CSessionScope use(m_gate, VEXA_HERE);
        vexa::ContactBook* book = use ? use->GetContactBook() : nullptr;
        if (book == nullptr) {
            return;
        }
        std::lock_guard<std::mutex> lock(LoaderLock(LockContacts));
        const bool dual = use->GetDeviceInfo() != nullptr && use->GetDeviceInfo()->IsDualSim();
        caption = contacts::NodeCaption(*book, nodeId, dual);
        for (vexa::Contact* c : contacts::ContactsOfNode(*book, nodeId)) {
            items.push_back(CPbListWnd::MakeItem(c));
        }
    }
    m_list->SetCaption(caption);
    m_list->Append(std::move(items));
    QWidget* remove = GetPluginByName(this, QStringLiteral("remove_contact"));
    Plugin_SetText(remove, Str(nodeId >= 0 ? 660 : 656));
    Plugin_SetVisible(remove, nodeId >= 0 || nodeId == contacts::NodeFavorites);
    ShowPreview();
}

void CContactPage::OnSearchText(const QString& key) {
    if (!m_loaded) {
        return;
    }
    if (key.isEmpty()) {
        m_search->Cancel();
        m_searching = false;
        FillNode(m_node);
        return;
    }
    m_list->Clear();
    EnableEdit();
    m_list->SetEmptyText(QString());
    m_list->SetCaption(Str(1006));
    m_searching = true;
    m_generation = m_search->Start(key);
}

LRESULT CContactPage::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CContactPageTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    switch (msg) {
    case WM_CONTACT_LOADED:
        LoadRequest(static_cast<int>(wParam));
        return 1;
    case WM_CONTACT_SEARCH_FOUND: {
        const std::optional<std::vector<std::int64_t>> ids = TakeValue<std::vector<std::int64_t>>(lParam);
        if (!ids || static_cast<int>(wParam) != m_generation || !m_searching) {
            return 1; // a key typed since
        }
        std::vector<CPbListWnd::Item> items;
        {
            CSessionScope use(m_gate, VEXA_HERE);
            vexa::ContactBook* book = use ? use->GetContactBook() : nullptr;
            if (book == nullptr) {
                return 1;
            }
            std::lock_guard<std::mutex> lock(LoaderLock(LockContacts));
            for (vexa::Contact* c : contacts::ContactsWithIds(*book, *ids)) {
                items.push_back(CPbListWnd::MakeItem(c));
            }
        }
        const bool first = m_list->Count() == 0;
        m_list->Append(std::move(items));
        if (first) {
            ShowPreview();
        }
        return 1;
    }
    case WM_CONTACT_PREVIEW:
        if (const auto preview = TakeValue<ContactPreview>(lParam)) {
            OnPreview(*preview);
        }
        return 1;
    case WM_CONTACT_SEARCH_DONE:
        if (static_cast<int>(wParam) == m_generation && m_searching) {
            m_searching = false;
            m_list->SetCaption(FormatText(Str(2312), m_list->Count()));
            m_list->SetEmptyText(Str(2309));
            ShowPreview();
        }
        return 1;
    default:
        return CTabPageWnd::OnMessage(msg, wParam, lParam);
    }
}

LRESULT CContactPage::OnRowClick(QWidget* widget, std::intptr_t, std::intptr_t) {
    const int index = m_list->IndexOfRow(widget);
    if (index >= 0) {
        m_list->SetCurrent(index, false);
        ShowPreview();
    }
    return 1;
}

LRESULT CContactPage::OnRowDoubleClick(QWidget* widget, std::intptr_t, std::intptr_t) {
    const int index = m_list->IndexOfRow(widget);
    if (index >= 0) {
        m_list->SetCurrent(index, false);
        ShowPreview();
        EditCurrent();
    }
    return 1;
}

LRESULT CContactPage::OnRowCheck(QWidget* widget, std::intptr_t checked, std::intptr_t) {
    const int index = m_list->IndexOfRow(widget);
    if (index >= 0) {
        m_list->SetChecked(index, checked != 0);
        ShowPreview();
    }
    return 1;
}

LRESULT CContactPage::OnAllCheck(QWidget*, std::intptr_t checked, std::intptr_t) {
    m_list->CheckAll(checked != 0);
    ShowPreview();
    return 1;
}

LRESULT CContactPage::OnScroll(QWidget*, std::intptr_t, std::intptr_t) {
    m_list->Relayout();
    ShowIndexLetter();
    return 1;
}

void CContactPage::ShowIndexLetter() {
    QWidget* letter = GetPluginByName(this, QStringLiteral("first_letter_show"));
    QScrollBar* bar = m_list->ScrollBar();
    if (letter == nullptr || bar == nullptr) {
        return;
    }
    const int row = contacts::TopRowOfScroll(bar->value(), CPbListWnd::kRowHeight);
    if (row < 0 || row >= m_list->Count()) {
        return;
    }
    Plugin_SetText(letter, contacts::IndexLetter(m_list->At(row).name));
    if (QWidget* viewport = letter->parentWidget()) {
        letter->move((viewport->width() - letter->width()) / 2, (viewport->height() - letter->height()) / 2);
    }
    letter->raise();
    Plugin_SetVisible(letter, true);
    m_letterTimer.start();
}

QString CContactPage::IndexLetterText() const {
    return Plugin_GetText(GetPluginByName(const_cast<CContactPage*>(this), QStringLiteral("first_letter_show")));
}

bool CContactPage::IsIndexLetterVisible() const {
    return Plugin_IsVisible(GetPluginByName(const_cast<CContactPage*>(this), QStringLiteral("first_letter_show")));
}

void CContactPage::ShowPreview() {
    EnableEdit();
    QWidget* name = GetPluginByName(this, QStringLiteral("preview_name"));
    QWidget* detail = GetPluginByName(this, QStringLiteral("preview_detail"));
    QWidget* avatar = GetPluginByName(this, QStringLiteral("preview_avatar"));
    const int checked = m_list->CheckedCount();
    if (checked > 1) {
        Plugin_SetText(avatar, QString::number(checked));
        Plugin_SetText(name, FormatText(Str(293), checked));
        Plugin_SetText(detail, QString());
        return;
    }
    const int current = m_list->Current();
    Plugin_SetVisible(avatar, current >= 0);
    if (current < 0) {
        Plugin_SetText(name, QString());
        Plugin_SetText(detail, QString());
        return;
    }
    const CPbListWnd::Item& item = m_list->At(current);
    Plugin_SetText(avatar, contacts::IndexLetter(item.name));
    Plugin_SetText(name, item.name.isEmpty() ? Str(181) : item.name);
    // The details come from the phone: the preview job reads them and they follow shortly.
    Plugin_SetText(detail, QString());
    if (item.contact == nullptr) {
        return;
    }
    {
        std::lock_guard guard(m_previewLock);
        m_previewId = item.contact->GetId();
    }
    m_previewJob.Request();
}

void CContactPage::OnPreviewLink(const QString& link) {
    static const std::pair<const char*, FieldAction> schemes[] = {
        {"sms:", FieldAction::SendMessage}, {"mail:", FieldAction::SendMail}, {"web:", FieldAction::OpenWeb}};
    for (const auto& [scheme, action] : schemes) {
        if (link.startsWith(QLatin1String(scheme))) {
            RunFieldAction(this, action, link.mid(static_cast<int>(qstrlen(scheme))), m_sendMessage);
            return;
        }
    }
}

void CContactPage::SetSendMessage(SendMessageAction send) {
    m_sendMessage = std::move(send);
    if (m_calls != nullptr) {
        m_calls->SetSendMessage(m_sendMessage);
    }
}

void CContactPage::OnPreview(const ContactPreview& preview) {
    const int current = m_list->Current();
    if (current < 0 || m_list->CheckedCount() > 1 || m_list->At(current).contact == nullptr) {
        return;
    }
    // Only the contact still chosen; a contact deleted since is not in the list any more either.
    if (m_list->At(current).contact->GetId() == preview.id) {
        Plugin_SetText(GetPluginByName(this, QStringLiteral("preview_detail")), preview.lines.join(QStringLiteral("<br>")));
    }
}

QString CContactPage::PreviewText() const {
    auto* self = const_cast<CContactPage*>(this);
    return Plugin_GetText(GetPluginByName(self, QStringLiteral("preview_name"))) + '\n' +
           QTextDocumentFragment::fromHtml(Plugin_GetText(GetPluginByName(self, QStringLiteral("preview_detail"))))
               .toPlainText();
}

void CContactPage::ShowCallRecords(bool show) {
    m_callView = show;
    if (show) {
        ReloadCallRecords();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(
            GetPluginByName(this, show ? QStringLiteral("btn_for_call_record") : QStringLiteral("btn_for_contact")))) {
        button->setChecked(true);
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("import_contact")), !show);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("export_contact")), !show);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("Contact_search_ctrl")), !show);
    ShowState();
}

bool CContactPage::IsCallRecordViewShown() const {
    return m_callView && Plugin_IsVisible(GetPluginByName(const_cast<CContactPage*>(this), QStringLiteral("call_recond_wnd")));
}

LRESULT CContactPage::OnContactView(QWidget*, std::intptr_t, std::intptr_t) {
    ShowCallRecords(false);
    return 1;
}

LRESULT CContactPage::OnCallView(QWidget*, std::intptr_t, std::intptr_t) {
    ShowCallRecords(true);
    return 1;
}

LRESULT CContactPage::OnRefresh(QWidget*, std::intptr_t, std::intptr_t) {
    RequestLoad(true);
    return 1;
}

LRESULT CContactPage::OnImportMenu(QWidget*, std::intptr_t choice, std::intptr_t) {
    Import(choice == 0);
    return 1;
}

LRESULT CContactPage::OnExportMenu(QWidget*, std::intptr_t choice, std::intptr_t) {
    Export(choice == 0);
    return 1;
}

ContactTransferOutcome CContactPage::Import(bool csv) {
    // Whatever was chosen is read, each file by its name, as vexa-cli does.
    const QStringList files = m_chooser(this, csv ? 0 : 1);
    const ContactTransferOutcome outcome = RunContactImport(this, m_gate, files);
    if (outcome.ran && outcome.count > 0) {
        RequestLoad(true);
    }
    return outcome;
}

ContactTransferOutcome CContactPage::Export(bool csv) {
    const std::vector<vexa::Contact*> chosen = m_list->CheckedContacts();
    if (chosen.empty()) {
        return RunContactExport(this, m_gate, chosen, CExportContactHelper::FormatCsv, QString());
    }
    const QStringList path = m_chooser(this, csv ? 2 : 3);
    if (path.isEmpty()) {
        return {};
    }
    return RunContactExport(this, m_gate, chosen, csv ? CExportContactHelper::FormatCsv : CExportContactHelper::FormatVcf,
                            path.front());
}

void CContactPage::BuildTargetMenus() {
    {
        CSessionScope use(m_gate, VEXA_HERE);
        vexa::DeviceInfo* info = use ? use->GetDeviceInfo() : nullptr;
        m_dualSim = info != nullptr && info->IsDualSim();
        m_simState = info != nullptr ? info->GetSimState() : 0;
    }
    m_list->SetDualSim(m_dualSim);
    OfferTargets();
}

void CContactPage::OfferTargets() {
    // Copying where the contacts already are does nothing; such a target is not offered.
    std::vector<int> storages;
    for (const vexa::Contact* c : m_list->CheckedContacts()) {
        storages.push_back(c->GetStorage());
    }
    const int current = m_list->Current();
    if (storages.empty() && current >= 0 && m_list->At(current).contact != nullptr) {
        storages.push_back(m_list->At(current).contact->GetStorage());
    }
    QStringList texts;
    std::vector<int> targets;
    for (const auto& target : contacts::CContactMoveAndCopyHelper::Targets(m_dualSim, m_simState, storages)) {
        texts << target.text;
        targets.push_back(target.storage);
    }
    if (targets == m_targets && !m_targets.empty()) {
        return;
    }
    m_targets = std::move(targets);
    Plugin_SetMenuItems(GetPluginByName(this, QStringLiteral("copy_contact")), texts);
    Plugin_SetMenuItems(GetPluginByName(this, QStringLiteral("move_contact")), texts);
}

std::vector<std::int64_t> CContactPage::ChosenIds() const {
    std::vector<std::int64_t> ids;
    for (const vexa::Contact* c : m_list->CheckedContacts()) {
        ids.push_back(c->GetId());
    }
    const int current = m_list->Current();
    if (ids.empty() && current >= 0 && m_list->At(current).contact != nullptr) {
        ids.push_back(m_list->At(current).contact->GetId());
    }
    return ids;
}

QMenu* CContactPage::RowMenu(int index) {
    if (!m_loaded || index < 0 || index >= m_list->Count() || m_list->At(index).contact == nullptr) {
        return nullptr;
    }
    // A right click on a row that is not checked acts on that row, as a left click would first.
    if (!m_list->At(index).checked) {
        m_list->SetCurrent(index, false);
        ShowPreview();
    }
    delete m_rowMenu;
    m_rowMenu = new QMenu(this);
    QObject::connect(m_rowMenu->addAction(Str(3158)), &QAction::triggered, this, [this] { EditCurrent(); });
    QObject::connect(m_rowMenu->addAction(Str(275)), &QAction::triggered, this, [this] { DeleteChosen(); });
    QMenu* groups = m_rowMenu->addMenu(Str(314));
    for (const contacts::TreeNode& node : m_nodes) {
        if (node.id >= 0) {
            const int id = node.id;
            QObject::connect(groups->addAction(node.caption), &QAction::triggered, this, [this, id] { ChangeGroup(id); });
        }
    }
    groups->setEnabled(!groups->isEmpty());
    return m_rowMenu;
}

void CContactPage::ChangeGroup(int groupId) {
    if (RunGroupChange(this, m_gate, ChosenIds(), groupId)) {
        RequestLoad(true);
    }
}

void CContactPage::NewContact() {
    if (RunContactEditor(this, m_gate, -1, &m_selectAfterLoad, m_sendMessage)) {
        RequestLoad(true);
    }
}

void CContactPage::EditCurrent() {
    const int current = m_list->Current();
    if (current < 0 || m_list->At(current).contact == nullptr) {
        VexaMessageBox(Str(430), this, Str(3158), 0);
        return;
    }
    if (RunContactEditor(this, m_gate, m_list->At(current).contact->GetId(), &m_selectAfterLoad, m_sendMessage)) {
        RequestLoad(true);
    }
}

void CContactPage::DeleteChosen() {
    if (RunContactDelete(this, m_gate, ChosenIds())) {
        RequestLoad(true);
    }
}

void CContactPage::CopyChosen(int storage, bool move) {
    if (RunContactCopy(this, m_gate, ChosenIds(), storage, move)) {
        RequestLoad(true);
    }
}

void CContactPage::ManageGroups() {
    if (RunGroupManage(this, m_gate)) {
        RequestLoad(true);
    }
}

void CContactPage::MergeDuplicates() {
    if (RunDuplicateMerge(this, m_gate)) {
        RequestLoad(true);
    }
}

LRESULT CContactPage::OnNew(QWidget*, std::intptr_t, std::intptr_t) {
    NewContact();
    return 1;
}

LRESULT CContactPage::OnEdit(QWidget*, std::intptr_t, std::intptr_t) {
    EditCurrent();
    return 1;
}

void CContactPage::RemoveChosen() {
    if (m_node < 0 && m_node != contacts::NodeFavorites) {
        return;
    }
    if (RunContactRemoveFrom(this, m_gate, ChosenIds(), m_node, m_list->Caption())) {
        RequestLoad(true);
    }
}

LRESULT CContactPage::OnRemove(QWidget*, std::intptr_t, std::intptr_t) {
    RemoveChosen();
    return 1;
}

LRESULT CContactPage::OnDelete(QWidget*, std::intptr_t, std::intptr_t) {
    DeleteChosen();
    return 1;
}

LRESULT CContactPage::OnCopyMenu(QWidget*, std::intptr_t choice, std::intptr_t) {
    if (choice >= 0 && choice < static_cast<std::intptr_t>(m_targets.size())) {
        CopyChosen(m_targets[static_cast<std::size_t>(choice)], false);
    }
    return 1;
}

LRESULT CContactPage::OnMoveMenu(QWidget*, std::intptr_t choice, std::intptr_t) {
    if (choice >= 0 && choice < static_cast<std::intptr_t>(m_targets.size())) {
        CopyChosen(m_targets[static_cast<std::size_t>(choice)], true);
    }
    return 1;
}

LRESULT CContactPage::OnGroups(QWidget*, std::intptr_t, std::intptr_t) {
    ManageGroups();
    return 1;
}

LRESULT CContactPage::OnMerge(QWidget*, std::intptr_t, std::intptr_t) {
    MergeDuplicates();
    return 1;
}
