#include "files/CFileWnd.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "controls/CVexaProgressDlg.h"
#include "controls/VexaMessageBox.h"
#include "device/SessionGate.h"
#include "files/CFileReplaceWnd.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"
#include "skin/SkinWidgets.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QPointer>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kRowRole = Qt::UserRole + 1;
constexpr int kFolderRole = Qt::UserRole + 2;

// Marks a drag that started in this window; its data are the phone paths, one a line.
const QString kOwnDragFormat = QStringLiteral("application/x-vexa-phone-files");
const QString kUriList = QStringLiteral("text/uri-list");

// Label edits of names: only the name column edits, and a file's extension is left out of the
// selection, so typing replaces the name and keeps the type.
class CNameDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return index.column() == 0 ? QStyledItemDelegate::createEditor(parent, option, index) : nullptr;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        QStyledItemDelegate::setEditorData(editor, index);
        auto* edit = qobject_cast<QLineEdit*>(editor);
        if (edit == nullptr) {
            return;
        }
        const qsizetype dot = edit->text().lastIndexOf(u'.');
        const int end = dot > 0 && !index.data(kFolderRole).toBool() ? static_cast<int>(dot) : -1;
        // The view selects the whole text after this call; the name's part is chosen after that.
        QMetaObject::invokeMethod(
            edit,
            [edit, end] {
                if (end > 0) {
                    edit->setSelection(0, end);
                } else {
                    edit->selectAll();
                }
            },
            Qt::QueuedConnection);
    }
};

// A drag of phone rows. This window reads their paths; any other drop target asking for the files
// gets them fetched at that moment, so a drag onto a folder of the phone never copies anything to
// the computer.
class CPhoneDragMime : public QMimeData {
public:
    CPhoneDragMime(const QStringList& paths, std::function<QList<QUrl>()> fetch)
        : m_paths(paths), m_fetch(std::move(fetch)) {}

    QStringList formats() const override { return {kOwnDragFormat, kUriList}; }
    bool hasFormat(const QString& format) const override { return formats().contains(format); }

protected:
    QVariant retrieveData(const QString& format, QMetaType) const override {
        if (format == kOwnDragFormat) {
            return m_paths.join(u'\n').toUtf8();
        }
        if (format != kUriList) {
            return {};
        }
        if (!m_fetched) {
            m_fetched = true;
            m_urls = m_fetch ? m_fetch() : QList<QUrl>();
        }
        QVariantList urls;
        for (const QUrl& url : m_urls) {
            urls << url;
        }
        return urls;
    }

private:
    QStringList m_paths;
    std::function<QList<QUrl>()> m_fetch;
    mutable bool m_fetched = false;
    mutable QList<QUrl> m_urls;
};

// The phone paths of a drag that started in this window; empty for anything else.
QStringList PhonePathsOf(const QMimeData* mime) {
    QStringList paths;
    if (mime == nullptr || !mime->hasFormat(kOwnDragFormat)) {
        return paths;
    }
    for (const QString& line : QString::fromUtf8(mime->data(kOwnDragFormat)).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'/')) {
            paths << line;
        }
    }
    return paths;
}

QIcon IconFor(const files::FsItem& item) {
    static QFileIconProvider provider;
    return item.IsDirectory() ? provider.icon(QFileIconProvider::Folder) : provider.icon(QFileIconProvider::File);
}

QString OneLine(QString name) {
    return name.replace(u'\n', u' ');
}

} // namespace

struct CFileWndTable {
    static const SkinEventRow<CFileWnd> kRows[];
};

const SkinEventRow<CFileWnd> CFileWndTable::kRows[] = {
    {"file_close_btn", kSkinClick, &CFileWnd::OnClose},
    {"prev_page_btn", kSkinClick, &CFileWnd::OnPrev},
    {"next_page_btn", kSkinClick, &CFileWnd::OnNext},
    {"updir_btn", kSkinClick, &CFileWnd::OnUp},
    {"newfolder_btn", kSkinClick, &CFileWnd::OnNewFolder},
    {"upload_btn", kSkinClick, &CFileWnd::OnUpload},
    {"download_btn", kSkinClick, &CFileWnd::OnDownload},
    {"copy_btn", kSkinClick, &CFileWnd::OnCopy},
    {"past_btn", kSkinClick, &CFileWnd::OnPaste},
    {"delete_btn", kSkinClick, &CFileWnd::OnDelete},
    {"refresh_btn", kSkinClick, &CFileWnd::OnRefresh},
    {"listview_btn", kSkinClick, &CFileWnd::OnDetails},
    {"reportview_btn", kSkinClick, &CFileWnd::OnIcons},
    {"BeginSearchBtn", kSkinClick, &CFileWnd::OnSearch},
    {nullptr, 0, nullptr},
};

CFileWnd::CFileWnd(CSessionGate& gate, QWidget* parent)
    : CSkinDialog(parent), m_gate(gate),
      m_phoneJob("file-window",
                 [this](const std::atomic<bool>& cancel) {
                     while (!cancel.load()) {
                         std::function<void(vexa::FileSystem&)> work;
                         {
                             std::lock_guard<std::mutex> lock(m_queueLock);
                             if (m_queue.empty()) {
                                 return;
                             }
                             work = std::move(m_queue.front());
                             m_queue.pop_front();
                         }
                         {
                             CSessionScope use(m_gate, VEXA_HERE);
                             if (vexa::FileSystem* fs = use ? use->GetFileSystem() : nullptr) {
                                 work(*fs);
                             } else {
                                 // No session to use: the phone is gone, whatever the frame has heard yet.
                                 PostCall([this] { OnDeviceDisconnected(); });
                             }
                         }
                         --m_pending;
                     }
                 }),
      m_searchJob("file-search", [this](const std::atomic<bool>& cancel) {
          const QString keyword = m_keyword;
          const QString roots[] = {m_phoneRoot, m_cardRoot};
          std::vector<files::FsItem> found;
          {
              CSessionScope use(m_gate, VEXA_HERE);
              vexa::FileSystem* fs = use ? use->GetFileSystem() : nullptr;
              std::vector<QString> folders;
              for (const QString& root : roots) {
                  if (fs != nullptr && !root.isEmpty()) {
                      folders.push_back(root);
                  }
                  // Depth first, the phone storage before the card (which has its own root).
                  while (!folders.empty() && !cancel.load()) {
                      const QString folder = folders.back();
                      folders.pop_back();
                      const auto items = files::ReadFolder(*fs, folder, folder == m_phoneRoot);
                      if (!items) {
                          continue;
                      }
                      for (auto it = items->rbegin(); it != items->rend(); ++it) {
                          if (files::MatchesSearch(keyword, it->Name())) {
                              found.push_back(*it);
                          }
                          if (it->IsDirectory()) {
                              folders.push_back(it->path);
                          }
                      }
                  }
              }
          }
          PostCall([this, found = std::move(found)] {
              m_rows = found;
              m_current.clear();
              m_showingResults = true;
              m_searching = false;
              FillList();
              Plugin_SetVisible(GetPluginByName(this, QStringLiteral("BeginSearchBtn")), true);
              Plugin_SetText(GetPluginByName(this, QStringLiteral("Searching")),
                             FormatText(Str(2828), static_cast<int>(m_rows.size())));
              SetToolbarEnabled(true);
          });
      }) {}

CFileWnd::~CFileWnd() {
    m_searchJob.Stop();
    m_phoneJob.Stop();
}

bool CFileWnd::IsBusy() const {
    return m_pending.load() > 0 || m_searching.load();
}

bool CFileWnd::OnInitDialog() {
    SetKeyButtons({}, {QStringLiteral("file_close_btn")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("file_wnd")) == 0) {
        return false;
    }
    SetToolbarTexts();
    m_details = PCL_GetFileDetailsView();
    CreateViews();
    PlaceViews();

    ConnectTree();
    ConnectRows();
    ConnectMenusAndDrops();
    SetToolbarEnabled(false);
    if (QWidget* root = GetLayoutRoot(this)) {
        resize(root->size());
    }
    CentreOver(parentWidget());

    ReadStorageRoots();
    return true;
}

void CFileWnd::SetToolbarTexts() {
    const struct {
        const char* name;
        int text;
    } texts[] = {{"caption_title", 2214},       {"prev_page_btn", 2805},  {"next_page_btn", 2806},
                 {"updir_btn", 2807},        {"newfolder_btn", 2808},  {"upload_btn", 2809},
                 {"download_btn", 2810},     {"copy_btn", 2811},       {"past_btn", 2812},
                 {"delete_btn", 2813},       {"refresh_btn", 2814},    {"listview_btn", 2815},
                 {"reportview_btn", 2816},   {"BeginSearchBtn", 2817}};
    for (const auto& t : texts) {
        Plugin_SetText(GetPluginByName(this, QString::fromLatin1(t.name)), Str(t.text));
    }
}

void CFileWnd::CreateViews() {
    auto* names = new CNameDelegate(this);
    m_tree = new QTreeWidget;
    m_tree->setHeaderHidden(true);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_tree->setItemDelegate(names);
    m_list = new QTreeWidget;
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setHeaderLabels({Str(3522), Str(3523), Str(3524), Str(3525)});
    const int widths[] = {280, 64, 96, 140};
    for (int i = 0; i < 4; ++i) {
        m_list->setColumnWidth(i, widths[i]);
    }
    m_list->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    m_list->header()->setSectionsClickable(true);
    m_list->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_list->setItemDelegate(names);
    m_icons = new QListWidget;
    m_icons->setFrameShape(QFrame::NoFrame);
    m_icons->setViewMode(QListView::IconMode);
    m_icons->setIconSize(QSize(48, 48));
    m_icons->setGridSize(QSize(104, 88));
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setMovement(QListView::Static);
    m_icons->setWordWrap(true);
    m_icons->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_icons->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_icons->setItemDelegate(names);
}

// The tree on the left; the icons, the details list or a hint on the right.
void CFileWnd::PlaceViews() {
    // An empty folder and a lost phone say so in the list's place, with a picture, never a blank.
    m_hintPage = new QWidget;
    auto* hintLayout = new QVBoxLayout(m_hintPage);
    hintLayout->addStretch(2);
    m_hintPicture = new QLabel;
    m_hintPicture->setFixedSize(120, 96);
    hintLayout->addWidget(m_hintPicture, 0, Qt::AlignHCenter);
    m_hint = new QLabel;
    m_hint->setObjectName(QStringLiteral("file_hint"));
    m_hint->setProperty("skinStyle", QStringLiteral("secondary"));
    m_hint->setAlignment(Qt::AlignCenter);
    m_hint->setWordWrap(true);
    hintLayout->addWidget(m_hint);
    hintLayout->addStretch(3);
    m_views = new QStackedWidget;
    m_views->addWidget(m_icons);
    m_views->addWidget(m_list);
    m_views->addWidget(m_hintPage);
    if (auto* host = qobject_cast<CSkinHost*>(GetPluginByName(this, QStringLiteral("file_tree_ctrl")))) {
        host->SetChild(m_tree);
    }
    if (auto* host = qobject_cast<CSkinHost*>(GetPluginByName(this, QStringLiteral("file_list_ctrl")))) {
        host->SetChild(m_views);
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("Searching")), false);
}

void CFileWnd::ConnectTree() {
    connect(m_tree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        ShowFolder(item->data(0, kPathRole).toString());
    });
    connect(m_tree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        const QString path = item->data(0, kPathRole).toString();
        if (m_folders.count(path) == 0) {
            OnPhone([this, path](vexa::FileSystem& fs) {
                auto items = files::ReadFolder(fs, path, path == m_phoneRoot);
                PostCall([this, path, items = std::move(items)] { FolderRead(path, items, false, false); });
            });
        }
    });
    // A tree folder renamed by its label.
    connect(m_tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* node, int column) {
        const QString path = node->data(0, kPathRole).toString();
        files::FsItem folder;
        folder.attributes = files::ATTR_DIRECTORY;
        folder.path = path;
        if (column != 0 || node->parent() == nullptr || node->text(0) == OneLine(folder.Name())) {
            return;
        }
        const QString name = node->text(0);
        {
            const QSignalBlocker block(m_tree);
            node->setText(0, OneLine(folder.Name())); // the new name shows once the phone took it
        }
        RenameItem(folder, name);
    });
}

// Sorting, opening and renaming in the details list and the icons.
void CFileWnd::ConnectRows() {
    connect(m_list->header(), &QHeaderView::sectionClicked, this, [this](int column) { SortByColumn(column); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { OpenRow(item->data(0, kRowRole).toInt()); });
    connect(m_icons, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { OpenRow(item->data(kRowRole).toInt()); });
    // A row renamed by its label, in either view.
    auto renamed = [this](int row, const QString& text, const std::function<void(const QString&)>& restore) {
        if (row < 0 || row >= static_cast<int>(m_rows.size()) ||
            text == OneLine(m_rows[static_cast<std::size_t>(row)].Name())) {
            return;
        }
        const QString old = OneLine(m_rows[static_cast<std::size_t>(row)].Name());
        if (const int refused = RenameRow(row, text); refused != 0) {
            VexaMessageBox(refused, this, 330, 0);
            restore(old);
        }
    };
    connect(m_list, &QTreeWidget::itemChanged, this, [this, renamed](QTreeWidgetItem* item, int column) {
        if (column == 0) {
            renamed(item->data(0, kRowRole).toInt(), item->text(0), [this, item](const QString& old) {
                const QSignalBlocker block(m_list);
                item->setText(0, old);
            });
        }
    });
    connect(m_icons, &QListWidget::itemChanged, this, [this, renamed](QListWidgetItem* item) {
        renamed(item->data(kRowRole).toInt(), item->text(), [this, item](const QString& old) {
            const QSignalBlocker block(m_icons);
            item->setText(old);
        });
    });
}

void CFileWnd::ConnectMenusAndDrops() {
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_list), static_cast<QAbstractItemView*>(m_icons),
                                    static_cast<QAbstractItemView*>(m_tree)}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
            if (QMenu* menu = ContextMenu(view, at)) {
                menu->exec(view->viewport()->mapToGlobal(at));
                menu->deleteLater();
            }
        });
        // Files come in from the desktop's file manager and go out to it by dragging; rows dropped
        // on a folder move there.
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this);
    }
}

// The phone's storage and card become the roots of the tree; the first of them is shown.
void CFileWnd::ReadStorageRoots() {
    OnPhone([this](vexa::FileSystem& fs) {
        fs.RefreshStorageInfo();
        const QString phone = fs.HasPhoneStorage() ? fs.GetPhoneStorageRoot() : QString();
        const QString card = fs.HasSdCard() ? fs.GetSdCardRoot() : QString();
        PostCall([this, phone, card] {
            m_phoneRoot = phone;
            m_cardRoot = card;
            m_tree->clear();
            for (const auto& [root, label] : {std::pair{phone, 867}, std::pair{card, 868}}) {
                if (!root.isEmpty()) {
                    auto* node = new QTreeWidgetItem(m_tree, {Str(label)});
                    node->setData(0, kPathRole, root);
                    node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
                    node->setIcon(0, QFileIconProvider().icon(QFileIconProvider::Drive));
                }
            }
            if (!phone.isEmpty() || !card.isEmpty()) {
                ShowFolder(phone.isEmpty() ? card : phone);
            }
        });
    });
}

void CFileWnd::OnEnded() {
    m_searchJob.Cancel();
}

void CFileWnd::OnPhone(std::function<void(vexa::FileSystem&)> work) {
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_queue.push_back(std::move(work));
    }
    ++m_pending;
    m_phoneJob.Request();
}

void CFileWnd::SetToolbarEnabled(bool enabled) {
    enabled = enabled && m_connected;
    if (QWidget* bar = GetPluginByName(this, QStringLiteral("layout_file_commond"))) {
        for (QWidget* button : bar->findChildren<QWidget*>()) {
            Plugin_SetEnabled(button, enabled);
        }
    }
    for (const char* name : {"file_search_ctrl", "BeginSearchBtn"}) {
        Plugin_SetEnabled(GetPluginByName(this, QString::fromLatin1(name)), m_connected);
    }
}

void CFileWnd::OnDeviceDisconnected() {
    if (!m_connected) {
        return;
    }
    m_connected = false;
    m_searchJob.Cancel();
    m_folders.clear();
    m_rows.clear();
    m_current.clear();
    m_pendingShow.clear();
    m_clipboard.clear();
    m_renameAfterRead.clear();
    std::fill(m_history.begin(), m_history.end(), QString());
    m_historyIndex = -1;
    m_historyCount = 0;
    m_showingResults = false;
    {
        const QSignalBlocker block(m_tree);
        m_tree->clear();
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("file_address")), QString());
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("Searching")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("BeginSearchBtn")), true);
    SetStatus(QString());
    SetToolbarEnabled(false);
    FillList();
}

QString CFileWnd::HintText() const {
    return m_views != nullptr && m_views->currentWidget() == m_hintPage ? m_hint->text() : QString();
}

QString CFileWnd::StatusText() const {
    return Plugin_GetText(GetPluginByName(const_cast<CFileWnd*>(this), QStringLiteral("file_status")));
}

void CFileWnd::SetStatus(const QString& text) {
    Plugin_SetText(GetPluginByName(this, QStringLiteral("file_status")), OneLine(text));
}

void CFileWnd::ShowFolder(const QString& path, bool push) {
    if (path.isEmpty() || !m_connected) {
        return;
    }
    m_pendingShow = path;
    OnPhone([this, path, push](vexa::FileSystem& fs) {
        auto items = files::ReadFolder(fs, path, path == m_phoneRoot);
        PostCall([this, path, push, items = std::move(items)] { FolderRead(path, items, true, push); });
    });
}

void CFileWnd::FolderRead(const QString& path, const std::optional<std::vector<files::FsItem>>& items, bool show,
                          bool push) {
    if (!m_connected) {
        return; // read before the phone went
    }
    if (!items && show && m_navigating != 0 && path == m_pendingShow) {
        Navigate(m_navigating); // a folder gone from the history is skipped
        return;
    }
    m_folders[path] = items.value_or(std::vector<files::FsItem>());
    FillTree(path);
    if (!show || path != m_pendingShow) {
        return;
    }
    m_navigating = 0;
    m_current = path;
    if (m_showingResults) {
        // Browsing again: the search's count no longer describes the list.
        m_showingResults = false;
        Plugin_SetVisible(GetPluginByName(this, QStringLiteral("Searching")), false);
    }
    m_rows = m_folders[path];
    FillList();
    if (QTreeWidgetItem* node = TreeItem(path)) {
        m_tree->setCurrentItem(node);
        node->setExpanded(true);
    } else {
        RevealInTree(path);
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("file_address")), OneLine(path));
    SetToolbarEnabled(true);
    if (!m_renameAfterRead.isEmpty() && files::ParentOf(m_renameAfterRead) == path) {
        const QString made = std::exchange(m_renameAfterRead, QString());
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].path == made) {
                QAbstractItemView* view = m_details ? static_cast<QAbstractItemView*>(m_list) : m_icons;
                const QModelIndex index = view->model()->index(static_cast<int>(i), 0);
                view->setCurrentIndex(index);
                view->setFocus();
                view->edit(index);
            }
        }
    }
    if (push) {
        m_historyIndex = (m_historyIndex + 1) % kHistory;
        m_history[static_cast<std::size_t>(m_historyIndex)] = path;
        m_historyCount = std::min(kHistory, m_historyCount + 1);
        // Whatever lay ahead is forgotten, as a new road replaces the old one.
        m_history[static_cast<std::size_t>((m_historyIndex + 1) % kHistory)].clear();
    }
}

QTreeWidgetItem* CFileWnd::TreeItem(const QString& path) const {
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = m_tree->topLevelItem(i);
        const QString root = node->data(0, kPathRole).toString();
        if (path != root && !path.startsWith(root + u'/')) {
            continue;
        }
        // The card may lie inside the phone root: its own root wins.
        bool found = true;
        for (const QString& part : path.mid(root.size()).split(u'/', Qt::SkipEmptyParts)) {
            QTreeWidgetItem* next = nullptr;
            for (int c = 0; c < node->childCount() && next == nullptr; ++c) {
                next = node->child(c)->data(0, kPathRole).toString() == files::JoinPath(node->data(0, kPathRole).toString(), part) ? node->child(c) : nullptr;
            }
            if (next == nullptr) {
                found = false;
                break;
            }
            node = next;
        }
        if (found) {
            return node;
        }
    }
    return nullptr;
}

void CFileWnd::RevealInTree(const QString& path) {
    // The folders between the storage root and path that the tree has not read yet, outermost first.
    const QString root = files::StorageOf(path, m_phoneRoot, m_cardRoot) == 2 ? m_cardRoot : m_phoneRoot;
    if (root.isEmpty() || !path.startsWith(root + u'/')) {
        return;
    }
    QStringList missing;
    for (QString folder = files::ParentOf(path); folder.size() >= root.size(); folder = files::ParentOf(folder)) {
        if (m_folders.count(folder) == 0) {
            missing.prepend(folder);
        }
        if (folder == root) {
            break;
        }
    }
    OnPhone([this, missing, path](vexa::FileSystem& fs) {
        std::vector<std::pair<QString, std::optional<std::vector<files::FsItem>>>> read;
        for (const QString& folder : missing) {
            read.emplace_back(folder, files::ReadFolder(fs, folder, folder == m_phoneRoot));
        }
        PostCall([this, path, read = std::move(read)] {
            for (const auto& [folder, items] : read) {
                FolderRead(folder, items, false, false);
            }
            QTreeWidgetItem* node = path == m_current ? TreeItem(path) : nullptr;
            for (QTreeWidgetItem* up = node != nullptr ? node->parent() : nullptr; up != nullptr; up = up->parent()) {
                up->setExpanded(true);
            }
            if (node != nullptr) {
                m_tree->setCurrentItem(node);
                m_tree->scrollToItem(node);
            }
        });
    });
}

void CFileWnd::FillTree(const QString& path) {
    QTreeWidgetItem* node = TreeItem(path);
    if (node == nullptr) {
        return;
    }
    const QSignalBlocker block(m_tree);
    // Folders below that were read and opened stay so: a refresh does not fold the tree up.
    QStringList open;
    for (QTreeWidgetItemIterator it(node); *it != nullptr; ++it) {
        if ((*it)->isExpanded() && *it != node) {
            open << (*it)->data(0, kPathRole).toString();
        }
    }
    FillNode(node, path, open);
}

void CFileWnd::FillNode(QTreeWidgetItem* node, const QString& path, const QStringList& open) {
    qDeleteAll(node->takeChildren());
    for (const files::FsItem& item : m_folders[path]) {
        if (!item.IsDirectory()) {
            continue;
        }
        auto* child = new QTreeWidgetItem(node, {OneLine(item.Name())});
        child->setData(0, kPathRole, item.path);
        child->setData(0, kFolderRole, true);
        child->setFlags(child->flags() | Qt::ItemIsEditable);
        child->setIcon(0, IconFor(item));
        if (m_folders.count(item.path) != 0) {
            FillNode(child, item.path, open);
            child->setExpanded(open.contains(item.path));
        } else {
            child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator); // not read: it may hold folders
        }
    }
    node->setChildIndicatorPolicy(node->childCount() > 0 ? QTreeWidgetItem::ShowIndicator
                                                         : QTreeWidgetItem::DontShowIndicator);
}

void CFileWnd::FillList() {
    const QSignalBlocker blockList(m_list);
    m_list->clear();
    m_icons->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(m_rows.size()));
    const QSignalBlocker blockIcons(m_icons);
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const files::FsItem& item = m_rows[i];
        auto* row = new QTreeWidgetItem({OneLine(item.Name()), files::AttributeText(item.attributes),
                                         item.IsDirectory() ? QString() : files::SizeText(item.size), item.timeText});
        row->setIcon(0, IconFor(item));
        row->setData(0, kRowRole, static_cast<int>(i));
        row->setData(0, kFolderRole, item.IsDirectory());
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        row->setToolTip(0, OneLine(item.path));
        row->setFlags(row->flags() | Qt::ItemIsEditable);
        rows.append(row);
        auto* icon = new QListWidgetItem(IconFor(item), OneLine(item.Name()), m_icons);
        icon->setData(kRowRole, static_cast<int>(i));
        icon->setData(kFolderRole, item.IsDirectory());
        icon->setToolTip(OneLine(item.path));
        icon->setFlags(icon->flags() | Qt::ItemIsEditable);
    }
    m_list->addTopLevelItems(rows);
    // A folder with nothing to show, a search that found nothing, a phone gone: one line why.
    const bool waiting = m_current.isEmpty() && !m_showingResults && m_connected;
    if (m_rows.empty() && !waiting && !m_searching.load()) {
        m_hint->setText(Str(!m_connected ? 3540 : m_showingResults ? 3527 : 3526));
        m_hintPicture->setProperty("skinStyle", QString::fromLatin1(!m_connected ? "illustration_cable" : "illustration_folder"));
        m_hintPicture->style()->unpolish(m_hintPicture);
        m_hintPicture->style()->polish(m_hintPicture);
        m_views->setCurrentWidget(m_hintPage);
    } else {
        m_views->setCurrentWidget(m_details ? static_cast<QWidget*>(m_list) : m_icons);
    }
}

void CFileWnd::SortByColumn(int column) {
    if (column < 0 || column > 3) {
        return;
    }
    m_sortFlags[column] = !m_sortFlags[column];
    const int sign = m_sortFlags[column] ? 1 : -1;
    std::stable_sort(m_rows.begin(), m_rows.end(), [column, sign](const files::FsItem& a, const files::FsItem& b) {
        return sign * files::CompareItems(column, a, b) < 0;
    });
    FillList();
}

void CFileWnd::Navigate(int step) {
    m_navigating = step;
    for (int moved = 1; moved < kHistory; ++moved) {
        const int index = ((m_historyIndex + step) % kHistory + kHistory) % kHistory;
        const QString& path = m_history[static_cast<std::size_t>(index)];
        if (path.isEmpty() || moved > m_historyCount) {
            break;
        }
        m_historyIndex = index;
        ShowFolder(path, false);
        return;
    }
    m_navigating = 0;
}

void CFileWnd::Back() {
    Navigate(-1);
}

void CFileWnd::Forward() {
    Navigate(1);
}

QStringList CFileWnd::ChildFolderNames(const QString& path) const {
    QStringList names;
    const auto it = m_folders.find(path);
    if (it != m_folders.end()) {
        for (const files::FsItem& item : it->second) {
            names << item.Name();
        }
    }
    return names;
}

void CFileWnd::OpenRow(int row) {
    if (row < 0 || row >= static_cast<int>(m_rows.size())) {
        return;
    }
    const files::FsItem item = m_rows[static_cast<std::size_t>(row)];
    if (item.IsDirectory()) {
        ShowFolder(item.path);
    } else {
        Download({item}, QString(), true);
    }
}

void CFileWnd::NewFolder(const QString& where) {
    const QString folder = where.isEmpty() ? m_current : where;
    if (folder.isEmpty() || !m_connected) {
        return;
    }
    OnPhone([this, folder](vexa::FileSystem& fs) {
        // The name is chosen from what the phone holds now, not from a listing read a while ago.
        const auto before = files::ReadFolder(fs, folder, false);
        QStringList names;
        for (const files::FsItem& item : before.value_or(std::vector<files::FsItem>())) {
            names << item.Name();
        }
        const QString path = files::JoinPath(folder, files::NewFolderName(names));
        const bool tooLong = path.size() >= files::kMaxPath - 1;
        const bool made = !tooLong && before && fs.CreateFolder(path);
        auto items = files::ReadFolder(fs, folder, folder == m_phoneRoot);
        PostCall([this, made, tooLong, folder, path, items = std::move(items)] {
            if (tooLong) {
                VexaMessageBox(1003, this, 330, 0);
            } else if (!made) {
                LOG_Error("[CFileWnd] CreateFolder failed. %s:%d", LOG_HERE);
                VexaMessageBox(FormatText(Str(2803), qUtf8Printable(OneLine(path))), this, Str(330), 0);
            } else {
                m_renameAfterRead = path; // named at once, as a desktop does
            }
            FolderRead(folder, items, folder == m_current || folder == m_pendingShow, false);
        });
    });
}

int CFileWnd::RenameRow(int row, const QString& name) {
    if (row < 0 || row >= static_cast<int>(m_rows.size())) {
        return 0;
    }
    const files::FsItem item = m_rows[static_cast<std::size_t>(row)];
    const QString parent = files::ParentOf(item.path);
    if (const int refused = files::CheckNewName(name, parent, ChildFolderNames(parent)); refused != 0) {
        return refused;
    }
    RenameItem(item, name);
    return 0;
}

void CFileWnd::RenameItem(const files::FsItem& item, const QString& name) {
    const QString parent = files::ParentOf(item.path);
    if (const int refused = files::CheckNewName(name, parent, ChildFolderNames(parent)); refused != 0) {
        VexaMessageBox(refused, this, 330, 0);
        return;
    }
    const QString target = files::JoinPath(parent, name);
    OnPhone([this, item, name, parent, target](vexa::FileSystem& fs) {
        const int refused = files::CheckRemoval(fs, item.path);
        const bool renamed = refused == 0 && fs.RenamePath(item.path, name);
        auto items = files::ReadFolder(fs, parent, parent == m_phoneRoot);
        PostCall([this, renamed, refused, item, parent, target, items = std::move(items)] {
            const QString below = item.path + u'/';
            const bool inside = renamed && (m_current == item.path || m_current.startsWith(below));
            if (renamed && item.IsDirectory()) {
                // What was read under the old name is read again under the new one when wanted.
                for (auto it = m_folders.begin(); it != m_folders.end();) {
                    it = it->first == item.path || it->first.startsWith(below) ? m_folders.erase(it) : std::next(it);
                }
            }
            if (renamed && m_showingResults) {
                for (files::FsItem& row : m_rows) {
                    row.path = row.path == item.path ? target : row.path;
                }
                FillList();
            }
            FolderRead(parent, items, parent == m_current, false);
            if (inside) {
                ShowFolder(target + m_current.mid(item.path.size()), false);
            }
            if (refused != 0) {
                VexaMessageBox(FormatText(Str(refused), qUtf8Printable(OneLine(item.path))), this, Str(330), 0);
            } else if (!renamed) {
                LOG_Error("[CFileWnd] RenamePath failed. %s:%d", LOG_HERE);
                VexaMessageBox(FormatText(Str(3541), qUtf8Printable(OneLine(item.Name()))), this, Str(330), 0);
            }
        });
    });
}

void CFileWnd::StartRename() {
    if (m_tree->hasFocus()) {
        QTreeWidgetItem* node = m_tree->currentItem();
        if (node != nullptr && node->parent() != nullptr) {
            m_tree->editItem(node, 0);
        }
        return;
    }
    QAbstractItemView* view = m_details ? static_cast<QAbstractItemView*>(m_list) : m_icons;
    const QModelIndex index = view->currentIndex();
    if (index.isValid() && view->selectionModel()->isSelected(index)) {
        view->edit(index.siblingAtColumn(0));
    }
}

std::vector<files::FsItem> CFileWnd::SelectedItems() const {
    std::vector<files::FsItem> items;
    QList<int> rows;
    if (m_details) {
        for (QTreeWidgetItem* item : m_list->selectedItems()) {
            rows << item->data(0, kRowRole).toInt();
        }
    } else {
        for (QListWidgetItem* item : m_icons->selectedItems()) {
            rows << item->data(kRowRole).toInt();
        }
    }
    std::sort(rows.begin(), rows.end());
    for (int row : rows) {
        if (row >= 0 && row < static_cast<int>(m_rows.size())) {
            items.push_back(m_rows[static_cast<std::size_t>(row)]);
        }
    }
    return items;
}

void CFileWnd::DeleteSelection(bool fromTree) {
    std::vector<files::FsItem> items;
    if (fromTree) {
        QTreeWidgetItem* node = m_tree->currentItem();
        if (node == nullptr || node->parent() == nullptr) {
            return; // the storage roots stay
        }
        files::FsItem folder;
        folder.attributes = files::ATTR_DIRECTORY;
        folder.path = node->data(0, kPathRole).toString();
        items.push_back(folder);
        if (VexaMessageBox(878, this, 330, 1) != 1) {
            return;
        }
    } else {
        items = SelectedItems();
        if (items.empty() ||
            VexaMessageBox(FormatText(Str(875), static_cast<int>(items.size())), this, Str(330), 1) != 1) {
            return;
        }
    }
    const QString folder = fromTree ? files::ParentOf(items.front().path) : m_showingResults ? QString() : m_current;
    OnPhone([this, items, folder](vexa::FileSystem& fs) {
        QString failed;
        int refused = 0;
        QStringList deleted;
        for (auto it = items.rbegin(); it != items.rend() && failed.isEmpty(); ++it) {
            // A storage root, by whatever name, is refused with its reason before anything is sent.
            if ((refused = files::CheckRemoval(fs, it->path)) != 0) {
                failed = it->path;
            } else if (!fs.DeletePath(it->path)) {
                failed = it->Name();
            } else {
                deleted << it->path;
            }
        }
        auto listing = folder.isEmpty() ? std::nullopt : files::ReadFolder(fs, folder, folder == m_phoneRoot);
        PostCall([this, failed, refused, folder, deleted, listing = std::move(listing)] {
            if (folder.isEmpty()) {
                // Search results: the deleted rows leave the list; their folders are read afresh.
                std::erase_if(m_rows, [&deleted](const files::FsItem& row) { return deleted.contains(row.path); });
                for (const QString& path : deleted) {
                    m_folders.erase(files::ParentOf(path));
                }
                FillList();
            } else {
                m_pendingShow = folder;
                FolderRead(folder, listing, true, false);
            }
            SetStatus(deleted.isEmpty() ? QString() : FormatText(Str(3539), static_cast<int>(deleted.size())));
            if (!deleted.isEmpty() && m_changed) {
                m_changed();
            }
            if (!failed.isEmpty()) {
                VexaMessageBox(FormatText(Str(refused != 0 ? refused : 2823), qUtf8Printable(OneLine(failed))), this,
                               Str(330), 0);
            }
        });
    });
}

namespace {
// Files of the computer in a drag; none for a drag that started in this window.
QStringList LocalFilesOf(const QMimeData* mime) {
    QStringList files;
    if (mime == nullptr || mime->hasFormat(kOwnDragFormat)) {
        return files;
    }
    for (const QUrl& url : mime->urls()) {
        const QFileInfo info(url.toLocalFile());
        if (url.isLocalFile() && info.isFile()) {
            files << info.absoluteFilePath();
        }
    }
    return files;
}
} // namespace

static QString CFileWndTempFolder() {
    // Files opened from the list: this run's own folder, so nothing else is ever overwritten there.
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/vexa-open-XXXXXX"));
    return dir.isValid() ? dir.path() : QString();
}

int CFileWnd::AskReplace(const QString& name, int kind) {
    if (kind == 1) {
        return VexaMessageBox(FormatText(Str(893), qUtf8Printable(OneLine(name))), this, Str(330), 3);
    }
    CFileReplaceWnd question(name, this);
    const int answer = question.DoModal();
    return answer < 0 ? 2 : answer;
}

files::BatchResult CFileWnd::RunBatch(
    const BatchTexts& texts,
    const std::function<files::BatchResult(vexa::FileSystem&, const files::BatchCallbacks&)>& job) {
    files::BatchResult result;
    bool reached = false;
    CVexaProgressDlg dlg(this);
    dlg.m_strTitle = Str(texts.title);
    dlg.m_strRemind = Str(texts.remindOne);
    dlg.m_bCanCancel = true;
    RunWhileModal(dlg, [&] {
        dlg.WaitReady();
        files::BatchCallbacks callbacks;
        callbacks.cancelled = [&dlg] { return dlg.IsCancelRequested(); };
        callbacks.percent = [&dlg](int percent) { dlg.SetBarPos(percent); };
        // The reminder's first line counts the files; the lines under it follow the current one.
        QString head = Str(texts.remindOne);
        callbacks.remind = [&dlg, &head, texts](int index, int count) {
            head = count > 1 && texts.remindMany != 0 ? FormatText(Str(texts.remindMany), count, index + 1)
                                                      : Str(texts.remindOne);
            dlg.SetRemindText(head);
        };
        callbacks.status = [&dlg, &head](const files::TransferState& state) {
            dlg.SetRemindText(head + u'\n' + files::TransferStatusText(state));
        };
        callbacks.ask = [this, &dlg, texts](const QString& name) {
            // The question is asked on the window's thread while this worker waits for the answer.
            std::promise<int> answer;
            std::future<int> future = answer.get_future();
            PostCall([this, &dlg, &answer, name, texts] {
                dlg.hide();
                answer.set_value(AskReplace(name, texts.title == 984 || texts.title == 986 ? 1 : 2));
                dlg.show();
            });
            return future.get();
        };
        {
            CSessionScope use(m_gate, VEXA_HERE);
            if (vexa::FileSystem* fs = use ? use->GetFileSystem() : nullptr) {
                reached = true;
                vexa::DeviceSession* session = use.Session();
                callbacks.connected = [session] { return session->IsConnected(); };
                result = job(*fs, callbacks);
            }
        }
        dlg.PostMessage(WM_COMMAND, result.cancelled ? IDCANCEL : IDOK, 0);
    });
    if (!reached) {
        result.failed = true;
        result.failure = files::FailurePhoneLost; // no phone to work with
    } else if (m_changed) {
        m_changed(); // even a cancelled batch may have moved some files
    }
    return result;
}

void CFileWnd::Upload(const QStringList& localFiles, const QString& folder) {
    if (folder.isEmpty() || localFiles.isEmpty() || !m_connected) {
        return;
    }
    std::vector<std::pair<QString, QString>> jobs;
    for (const QString& local : localFiles) {
        jobs.emplace_back(local, files::JoinPath(folder, QFileInfo(local).fileName()));
    }
    const files::BatchResult result = RunBatch({981, 892, 890}, [jobs](vexa::FileSystem& fs, const files::BatchCallbacks& c) {
        return files::RunUploads(fs, jobs, c);
    });
    std::uint64_t bytes = 0;
    for (const files::FsItem& added : result.added) {
        bytes += added.size;
    }
    SetStatus(result.done == 0 ? QString()
                               : FormatText(Str(3536), result.done, qUtf8Printable(files::SizeText(bytes)),
                                            qUtf8Printable(OneLine(folder))));
    if (result.noSpace) {
        SetStatus(Str(870));
        VexaMessageBox(870, this, 871, 0);
    } else if (result.cancelled) {
        SetStatus(Str(983));
        VexaMessageBox(983, this, 330, 0);
    } else if (result.failed) {
        const QString why = files::TransferFailureText(result.failure, result.failedTarget, result.failedName,
                                                       result.failedDetail, result.failedBytes);
        SetStatus(Str(995) + u' ' + why);
        VexaMessageBox(why.isEmpty() ? Str(995) : Str(995) + u'\n' + why, this, Str(330), 0);
    }
    m_folders.erase(folder);
    ShowFolder(m_current, false);
}

void CFileWnd::Download(const std::vector<files::FsItem>& items, const QString& folder, bool open) {
    std::vector<std::pair<QString, QString>> jobs;
    for (const files::FsItem& item : items) {
        if (item.IsDirectory()) {
            VexaMessageBox(876, this, 330, 0);
            return;
        }
        QString target = folder;
        if (open) {
            const QString temp = CFileWndTempFolder();
            if (temp.isEmpty()) {
                return;
            }
            target = temp;
        }
        jobs.emplace_back(item.path, QDir(target).filePath(item.Name()));
    }
    if (jobs.empty()) {
        return;
    }
    const files::BatchResult result = RunBatch({980, 891, 889}, [jobs](vexa::FileSystem& fs, const files::BatchCallbacks& c) {
        return files::RunDownloads(fs, jobs, c);
    });
    if (!open) {
        qint64 bytes = 0;
        for (const QString& written : result.written) {
            bytes += QFileInfo(written).size();
        }
        SetStatus(result.written.isEmpty()
                      ? QString()
                      : FormatText(Str(3535), static_cast<int>(result.written.size()),
                                   qUtf8Printable(files::SizeText(static_cast<std::uint64_t>(bytes))),
                                   qUtf8Printable(QDir::toNativeSeparators(QDir::cleanPath(folder)))));
    }
    if (result.cancelled) {
        SetStatus(Str(982));
        VexaMessageBox(982, this, 330, 0);
    } else if (result.failed) {
        // "下载失败！" and why, so the user knows what to do about it.
        const QString why = files::TransferFailureText(result.failure, result.failedName, result.failedTarget,
                                                       result.failedDetail, result.failedBytes);
        SetStatus(Str(996) + u' ' + why);
        VexaMessageBox(why.isEmpty() ? Str(996) : Str(996) + u'\n' + why, this, Str(330), 0);
    } else if (open && !result.written.isEmpty()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(result.written.front()));
    }
}

void CFileWnd::DownloadSelection() {
    const std::vector<files::FsItem> items = SelectedItems();
    if (items.empty() || !m_connected) {
        return;
    }
    if (std::any_of(items.begin(), items.end(), [](const files::FsItem& i) { return i.IsDirectory(); })) {
        VexaMessageBox(876, this, 330, 0);
        return;
    }
    QString folder = PCL_GetDownloadPath();
    if (folder.isEmpty() || !files::LocalTargetWritable(QDir(folder).filePath(QStringLiteral(".vexa-download-check")))) {
        folder = QFileDialog::getExistingDirectory(this, Str(881), folder);
    }
    if (!folder.isEmpty()) {
        Download(items, folder, false);
    }
}

void CFileWnd::Copy(bool move) {
    const std::vector<files::FsItem> items = SelectedItems();
    if (std::any_of(items.begin(), items.end(), [](const files::FsItem& i) { return i.IsDirectory(); })) {
        VexaMessageBox(876, this, 330, 0);
        return;
    }
    if (!items.empty()) {
        m_clipboard = items;
        m_clipboardMove = move;
    }
}

void CFileWnd::Paste(const QString& where) {
    const QString folder = where.isEmpty() ? m_current : where;
    if (folder.isEmpty()) {
        VexaMessageBox(1000, this, 330, 0);
        return;
    }
    if (m_clipboard.empty()) {
        return;
    }
    const std::vector<files::FsItem> entries = m_clipboard;
    const bool move = m_clipboardMove;
    if (move) {
        m_clipboard.clear(); // a cut is pasted once; its files have left their folder
    }
    MoveOrCopyInto(entries, folder, move);
}

void CFileWnd::MoveOrCopyInto(const std::vector<files::FsItem>& entries, const QString& folder, bool move) {
    if (entries.empty() || folder.isEmpty() || !m_connected) {
        return;
    }
    if (std::any_of(entries.begin(), entries.end(), [](const files::FsItem& i) { return i.IsDirectory(); })) {
        VexaMessageBox(876, this, 330, 0);
        return;
    }
    if (move && std::any_of(entries.begin(), entries.end(), [&](const files::FsItem& i) {
            return files::StorageOf(i.path, m_phoneRoot, m_cardRoot) != files::StorageOf(folder, m_phoneRoot, m_cardRoot);
        })) {
        VexaMessageBox(877, this, 330, 0);
        return;
    }
    const files::BatchResult result =
        RunBatch(move ? BatchTexts{986, 987, 0} : BatchTexts{984, 985, 0},
                 [entries, folder, move](vexa::FileSystem& fs, const files::BatchCallbacks& c) {
                     return files::RunPhoneCopies(fs, entries, folder, move, c);
                 });
    SetStatus(result.done == 0 ? QString()
                               : FormatText(Str(move ? 3538 : 3537), result.done, qUtf8Printable(OneLine(folder))));
    int failure = 0;
    if (result.noSpace) {
        failure = 870;
        VexaMessageBox(870, this, 871, 0);
    } else if (move && result.cancelled && !result.failedName.isEmpty()) {
        failure = 882;
    } else if (result.cancelled) {
        failure = move ? 988 : 883;
    } else if (result.failed) {
        failure = move ? 2802 : 989;
    }
    if (failure != 0) {
        SetStatus(Str(failure));
        if (failure != 870) {
            VexaMessageBox(failure, this, 330, 0);
        }
    }
    // Both ends are read again: the folders the files left and the one they went to.
    for (const files::FsItem& entry : entries) {
        m_folders.erase(files::ParentOf(entry.path));
    }
    m_folders.erase(folder);
    if (folder != m_current && TreeItem(folder) != nullptr) {
        OnPhone([this, folder](vexa::FileSystem& fs) {
            auto items = files::ReadFolder(fs, folder, folder == m_phoneRoot);
            PostCall([this, folder, items = std::move(items)] { FolderRead(folder, items, false, false); });
        });
    }
    ShowFolder(m_current, false);
}

void CFileWnd::Search(const QString& keyword) {
    if (keyword.isEmpty()) {
        VexaMessageBox(879, this, 880, 0);
        return;
    }
    if (m_searching.exchange(true)) {
        return;
    }
    m_keyword = keyword;
    SetToolbarEnabled(false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("BeginSearchBtn")), false);
    QWidget* searching = GetPluginByName(this, QStringLiteral("Searching"));
    Plugin_SetText(searching, Str(2818));
    Plugin_SetVisible(searching, true);
    m_tree->setCurrentItem(nullptr);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("file_address")), QString());
    m_current.clear();
    // A folder listing still on its way must not replace the results when it lands.
    m_pendingShow.clear();
    m_navigating = 0;
    m_rows.clear();
    FillList();
    m_searchJob.Request();
}

LRESULT CFileWnd::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(IDCANCEL);
    return 0;
}

LRESULT CFileWnd::OnPrev(QWidget*, std::intptr_t, std::intptr_t) {
    Back();
    return 0;
}

LRESULT CFileWnd::OnNext(QWidget*, std::intptr_t, std::intptr_t) {
    Forward();
    return 0;
}

LRESULT CFileWnd::OnUp(QWidget*, std::intptr_t, std::intptr_t) {
    if (m_current.isEmpty()) {
        ShowFolder(m_phoneRoot.isEmpty() ? m_cardRoot : m_phoneRoot);
    } else if (m_current != m_phoneRoot && m_current != m_cardRoot) {
        ShowFolder(files::ParentOf(m_current));
    }
    return 0;
}

LRESULT CFileWnd::OnNewFolder(QWidget*, std::intptr_t, std::intptr_t) {
    NewFolder();
    return 0;
}

LRESULT CFileWnd::OnUpload(QWidget*, std::intptr_t, std::intptr_t) {
    if (!m_current.isEmpty() && m_connected) {
        const QString folder = m_current;
        Upload(QFileDialog::getOpenFileNames(this, Str(2819), QString(), Str(3668)), folder);
    }
    return 0;
}

LRESULT CFileWnd::OnDownload(QWidget*, std::intptr_t, std::intptr_t) {
    DownloadSelection();
    return 0;
}

LRESULT CFileWnd::OnCopy(QWidget*, std::intptr_t, std::intptr_t) {
    Copy(false);
    return 0;
}

LRESULT CFileWnd::OnPaste(QWidget*, std::intptr_t, std::intptr_t) {
    Paste();
    return 0;
}

LRESULT CFileWnd::OnDelete(QWidget*, std::intptr_t, std::intptr_t) {
    DeleteSelection(false);
    return 0;
}

LRESULT CFileWnd::OnRefresh(QWidget*, std::intptr_t, std::intptr_t) {
    ShowFolder(m_current, false);
    return 0;
}

void CFileWnd::ShowDetails(bool details) {
    if (details != PCL_GetFileDetailsView()) {
        PCL_SetFileDetailsView(details); // the next window opens in the same view
    }
    m_details = details;
    FillList();
}

LRESULT CFileWnd::OnDetails(QWidget*, std::intptr_t, std::intptr_t) {
    ShowDetails(true);
    return 0;
}

LRESULT CFileWnd::OnIcons(QWidget*, std::intptr_t, std::intptr_t) {
    ShowDetails(false);
    return 0;
}

LRESULT CFileWnd::OnSearch(QWidget*, std::intptr_t, std::intptr_t) {
    auto* edit = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("file_search_ctrl")));
    Search(edit != nullptr ? edit->text().trimmed() : QString());
    return 0;
}

void CFileWnd::DropLocalFiles(const QStringList& localFiles) {
    if (!m_current.isEmpty() && !m_showingResults && !localFiles.isEmpty()) {
        Upload(localFiles, m_current);
    }
}

QMimeData* CFileWnd::FetchForDrag(const std::vector<files::FsItem>& items) {
    std::vector<files::FsItem> wanted;
    std::copy_if(items.begin(), items.end(), std::back_inserter(wanted),
                 [](const files::FsItem& item) { return !item.IsDirectory(); });
    const QString temp = CFileWndTempFolder();
    if (wanted.empty() || temp.isEmpty()) {
        return nullptr;
    }
    // Each drag gets a folder of its own, so a second drag of the same name never asks to replace.
    const QString folder = QDir(temp).filePath(QStringLiteral("drag%1").arg(++m_drags));
    if (!QDir().mkpath(folder)) {
        return nullptr;
    }
    std::vector<std::pair<QString, QString>> jobs;
    for (const files::FsItem& item : wanted) {
        jobs.emplace_back(item.path, QDir(folder).filePath(item.Name()));
    }
    const files::BatchResult result = RunBatch({980, 891, 889}, [jobs](vexa::FileSystem& fs, const files::BatchCallbacks& c) {
        return files::RunDownloads(fs, jobs, c);
    });
    if (result.failed || result.cancelled || result.written.isEmpty()) {
        if (result.failed) {
            const QString why = files::TransferFailureText(result.failure, result.failedName, result.failedTarget,
                                                           result.failedDetail, result.failedBytes);
            VexaMessageBox(why.isEmpty() ? Str(996) : Str(996) + u'\n' + why, this, Str(330), 0);
        }
        return nullptr;
    }
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString& written : result.written) {
        urls << QUrl::fromLocalFile(written);
    }
    mime->setUrls(urls);
    mime->setData(kOwnDragFormat, QByteArray("1"));
    return mime;
}

QMimeData* CFileWnd::DragData(const std::vector<files::FsItem>& items) {
    QStringList paths;
    std::vector<files::FsItem> wanted;
    for (const files::FsItem& item : items) {
        if (!item.IsDirectory()) {
            paths << item.path;
            wanted.push_back(item);
        }
    }
    if (paths.isEmpty()) {
        return nullptr;
    }
    QPointer<CFileWnd> self(this);
    return new CPhoneDragMime(paths, [self, wanted] {
        QList<QUrl> urls;
        if (self != nullptr) {
            const std::unique_ptr<QMimeData> fetched(self->FetchForDrag(wanted));
            urls = fetched != nullptr ? fetched->urls() : urls;
        }
        return urls;
    });
}

QString CFileWnd::FolderAt(QObject* watched, const QPoint& pos) const {
    if (watched == m_tree->viewport()) {
        QTreeWidgetItem* node = m_tree->itemAt(pos);
        return node != nullptr ? node->data(0, kPathRole).toString() : QString();
    }
    int row = -1;
    if (watched == m_list->viewport()) {
        QTreeWidgetItem* item = m_list->itemAt(pos);
        row = item != nullptr ? item->data(0, kRowRole).toInt() : -1;
    } else if (watched == m_icons->viewport()) {
        QListWidgetItem* item = m_icons->itemAt(pos);
        row = item != nullptr ? item->data(kRowRole).toInt() : -1;
    }
    if (row < 0 || row >= static_cast<int>(m_rows.size()) || !m_rows[static_cast<std::size_t>(row)].IsDirectory()) {
        return QString();
    }
    return m_rows[static_cast<std::size_t>(row)].path;
}

bool CFileWnd::CanMoveInto(const QStringList& paths, const QString& folder) const {
    if (folder.isEmpty() || paths.isEmpty() || !m_connected || IsBusy()) {
        return false;
    }
    const int storage = files::StorageOf(folder, m_phoneRoot, m_cardRoot);
    return std::all_of(paths.begin(), paths.end(), [&](const QString& path) {
        return path != folder && !folder.startsWith(path + u'/') && files::ParentOf(path) != folder &&
               files::StorageOf(path, m_phoneRoot, m_cardRoot) == storage;
    });
}

QMenu* CFileWnd::ContextMenu(QAbstractItemView* view, const QPoint& at) {
    if (!m_connected || m_searching.load()) {
        return nullptr;
    }
    auto* menu = new QMenu(this);
    const bool canPaste = !m_clipboard.empty();
    if (view == m_tree) {
        QTreeWidgetItem* node = m_tree->itemAt(at);
        if (node == nullptr) {
            delete menu;
            return nullptr;
        }
        const QString path = node->data(0, kPathRole).toString();
        const bool root = node->parent() == nullptr;
        m_tree->setCurrentItem(node);
        ShowFolder(path);
        menu->addAction(Str(2808), this, [this, path] { NewFolder(path); });
        QAction* rename = menu->addAction(Str(2821), this, [this, path] {
            if (QTreeWidgetItem* shown = TreeItem(path)) {
                m_tree->editItem(shown, 0);
            }
        });
        rename->setShortcut(QKeySequence(Qt::Key_F2));
        rename->setEnabled(!root);
        QAction* remove = menu->addAction(Str(2813), this, [this] { DeleteSelection(true); });
        remove->setShortcut(QKeySequence(Qt::Key_Delete));
        remove->setEnabled(!root);
        menu->addAction(Str(2812), this, [this, path] { Paste(path); })->setEnabled(canPaste);
        return menu;
    }
    const QModelIndex index = view->indexAt(at);
    const bool inFolder = !m_current.isEmpty();
    if (index.isValid()) {
        // A right click on a row outside the selection chooses that row alone, as on a desktop.
        if (!view->selectionModel()->isSelected(index)) {
            view->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        const std::vector<files::FsItem> chosen = SelectedItems();
        const bool anyFolder =
            std::any_of(chosen.begin(), chosen.end(), [](const files::FsItem& i) { return i.IsDirectory(); });
        menu->addAction(Str(2819), this, [this] { OnUpload(nullptr, 0, 0); })->setEnabled(inFolder);
        menu->addAction(Str(2820), this, [this] { DownloadSelection(); })->setEnabled(!anyFolder);
        menu->addSeparator();
        QAction* rename = menu->addAction(Str(2821), this, [view] { view->edit(view->currentIndex().siblingAtColumn(0)); });
        rename->setShortcut(QKeySequence(Qt::Key_F2));
        rename->setEnabled(chosen.size() == 1);
        QAction* remove = menu->addAction(Str(2813), this, [this] { DeleteSelection(false); });
        remove->setShortcut(QKeySequence(Qt::Key_Delete));
        menu->addSeparator();
        QAction* cut = menu->addAction(Str(2822), this, [this] { Copy(true); });
        cut->setShortcut(QKeySequence::Cut);
        cut->setEnabled(!anyFolder);
        QAction* copy = menu->addAction(Str(2811), this, [this] { Copy(false); });
        copy->setShortcut(QKeySequence::Copy);
        copy->setEnabled(!anyFolder);
        QAction* paste = menu->addAction(Str(2812), this, [this] { Paste(); });
        paste->setShortcut(QKeySequence::Paste);
        paste->setEnabled(canPaste && inFolder);
        return menu;
    }
    view->clearSelection();
    menu->addAction(Str(2808), this, [this] { NewFolder(); })->setEnabled(inFolder);
    menu->addAction(Str(2819), this, [this] { OnUpload(nullptr, 0, 0); })->setEnabled(inFolder);
    QAction* paste = menu->addAction(Str(2812), this, [this] { Paste(); });
    paste->setShortcut(QKeySequence::Paste);
    paste->setEnabled(canPaste && inFolder);
    QAction* refresh = menu->addAction(Str(2814), this, [this] { ShowFolder(m_current, false); });
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
    refresh->setEnabled(inFolder);
    menu->addSeparator();
    QAction* details = menu->addAction(Str(2815), this, [this] { ShowDetails(true); });
    details->setCheckable(true);
    details->setChecked(m_details);
    QAction* icons = menu->addAction(Str(2816), this, [this] { ShowDetails(false); });
    icons->setCheckable(true);
    icons->setChecked(!m_details);
    return menu;
}

bool CFileWnd::OnViewKey(QObject* view, QKeyEvent* key) {
    if (!m_connected || m_searching.load()) {
        return false;
    }
    const bool tree = view == m_tree;
    auto* items = static_cast<QAbstractItemView*>(view);
    if (items->indexWidget(items->currentIndex()) != nullptr) {
        return false; // a name being edited: its keys (Enter among them) belong to the edit
    }
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Delete && mods == Qt::NoModifier) {
        DeleteSelection(tree);
    } else if (key->matches(QKeySequence::Copy) && !tree) {
        Copy(false);
    } else if (key->matches(QKeySequence::Cut) && !tree) {
        Copy(true);
    } else if (key->matches(QKeySequence::Paste)) {
        Paste();
    } else if (key->key() == Qt::Key_F5) {
        ShowFolder(m_current, false);
    } else if (key->key() == Qt::Key_Backspace || (key->key() == Qt::Key_Up && mods == Qt::AltModifier)) {
        OnUp(nullptr, 0, 0);
    } else if (key->key() == Qt::Key_Left && mods == Qt::AltModifier) {
        Back();
    } else if (key->key() == Qt::Key_Right && mods == Qt::AltModifier) {
        Forward();
    } else if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !tree) {
        const QModelIndex current = items->currentIndex();
        if (current.isValid() && items->selectionModel()->selectedIndexes().size() <= 4) { // one row, its columns
            OpenRow(current.data(kRowRole).toInt());
        }
    } else {
        return false;
    }
    return true;
}

bool CFileWnd::eventFilter(QObject* watched, QEvent* event) {
    const bool view = watched == m_list || watched == m_icons || watched == m_tree;
    if (view && event->type() == QEvent::KeyPress && OnViewKey(watched, static_cast<QKeyEvent*>(event))) {
        return true;
    }
    if (view) {
        return CSkinDialog::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        const QStringList phone = PhonePathsOf(drag->mimeData());
        const QString folder = FolderAt(watched, drag->position().toPoint());
        if (!phone.isEmpty() && (CanMoveInto(phone, folder) || event->type() == QEvent::DragEnter)) {
            // Rows over a folder move there; elsewhere they stay where they are.
            drag->setDropAction(Qt::MoveAction);
            drag->setAccepted(CanMoveInto(phone, folder) || event->type() == QEvent::DragEnter);
        } else if (phone.isEmpty() && watched != m_tree->viewport() && !m_current.isEmpty() && !m_showingResults &&
                   m_connected && !LocalFilesOf(drag->mimeData()).isEmpty()) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList phone = PhonePathsOf(drop->mimeData());
        if (!phone.isEmpty()) {
            const QString folder = FolderAt(watched, drop->position().toPoint());
            if (!CanMoveInto(phone, folder)) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::MoveAction);
            drop->accept();
            std::vector<files::FsItem> entries;
            for (const QString& path : phone) {
                const auto known = std::find_if(m_rows.begin(), m_rows.end(),
                                                [&path](const files::FsItem& row) { return row.path == path; });
                files::FsItem entry = known != m_rows.end() ? *known : files::FsItem();
                entry.path = path;
                entries.push_back(entry);
            }
            // The move runs its progress dialog; not inside the drop, which the drag still waits on.
            PostCall([this, entries, folder] { MoveOrCopyInto(entries, folder, true); });
            return true;
        }
        const QStringList files = watched != m_tree->viewport() ? LocalFilesOf(drop->mimeData()) : QStringList();
        if (files.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        // The upload runs its progress dialog; not inside the drop, which the source still waits on.
        PostCall([this, files] { DropLocalFiles(files); });
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* press = static_cast<QMouseEvent*>(event);
        m_dragStart = press->button() == Qt::LeftButton ? press->position().toPoint() : QPoint(-1, -1);
        break;
    }
    case QEvent::MouseMove: {
        auto* move = static_cast<QMouseEvent*>(event);
        if (watched == m_tree->viewport() || !(move->buttons() & Qt::LeftButton) || m_dragStart.x() < 0 ||
            (move->position().toPoint() - m_dragStart).manhattanLength() < QApplication::startDragDistance()) {
            break;
        }
        m_dragStart = QPoint(-1, -1);
        if (QMimeData* mime = DragData(SelectedItems())) {
            auto* drag = new QDrag(watched);
            drag->setMimeData(mime);
            drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return CSkinDialog::eventFilter(watched, event);
}

LRESULT CFileWnd::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CFileWndTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}
