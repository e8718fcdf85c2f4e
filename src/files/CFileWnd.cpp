#include "files/CFileWnd.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "controls/CVexaProgressDlg.h"
#include "controls/VexaMessageBox.h"
#include "device/SessionGate.h"
#include "files/CFileReplaceWnd.h"
#include "libs/log/Log.h"
#include "platform/StringTable.h"
#include "platform/WorkerThread.h"
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
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kRowRole = Qt::UserRole + 1;

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
    m_tree = new QTreeWidget;
    m_tree->setHeaderHidden(true);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_list = new QTreeWidget;
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Attribute"), QStringLiteral("Size"),
                             QStringLiteral("Time")});
    for (int i = 0; i < 4; ++i) {
        m_list->setColumnWidth(i, i == 0 ? 240 : 120);
    }
    m_list->header()->setSectionsClickable(true);
    m_list->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_icons = new QListWidget;
    m_icons->setFrameShape(QFrame::NoFrame);
    m_icons->setViewMode(QListView::IconMode);
    m_icons->setIconSize(QSize(48, 48));
    m_icons->setGridSize(QSize(104, 88));
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setWordWrap(true);
    m_icons->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_views = new QStackedWidget;
    m_views->addWidget(m_icons);
    m_views->addWidget(m_list);
    if (auto* host = qobject_cast<CSkinHost*>(GetPluginByName(this, QStringLiteral("file_tree_ctrl")))) {
        host->SetChild(m_tree);
    }
    if (auto* host = qobject_cast<CSkinHost*>(GetPluginByName(this, QStringLiteral("file_list_ctrl")))) {
        host->SetChild(m_views);
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("Searching")), false);

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
    connect(m_list->header(), &QHeaderView::sectionClicked, this, [this](int column) { SortByColumn(column); });
    auto open = [this](int row) {
        if (row < 0 || row >= static_cast<int>(m_rows.size())) {
            return;
        }
        const files::FsItem item = m_rows[static_cast<std::size_t>(row)];
        if (item.IsDirectory()) {
            ShowFolder(item.path);
        } else {
            Download({item}, QString(), true);
        }
    };
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            [open](QTreeWidgetItem* item) { open(item->data(0, kRowRole).toInt()); });
    connect(m_icons, &QListWidget::itemDoubleClicked, this,
            [open](QListWidgetItem* item) { open(item->data(kRowRole).toInt()); });
    connect(m_list, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        const int row = item->data(0, kRowRole).toInt();
        if (column == 0 && row >= 0 && row < static_cast<int>(m_rows.size()) &&
            item->text(0) != OneLine(m_rows[static_cast<std::size_t>(row)].Name())) {
            if (const int refused = RenameRow(row, item->text(0)); refused != 0) {
                VexaMessageBox(refused, this, 330, 0);
                const QSignalBlocker block(m_list);
                item->setText(0, OneLine(m_rows[static_cast<std::size_t>(row)].Name()));
            }
        }
    });
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        menu.addAction(Str(2819), this, [this] { OnUpload(nullptr, 0, 0); });
        menu.addAction(Str(2820), this, [this] { OnDownload(nullptr, 0, 0); });
        menu.addAction(Str(2821), this, [this] {
            if (QTreeWidgetItem* item = m_list->currentItem()) {
                m_list->editItem(item, 0);
            }
        });
        menu.addAction(Str(2813), this, [this] { DeleteSelection(false); });
        menu.addAction(Str(2822), this, [this] { Copy(true); });
        menu.addAction(Str(2811), this, [this] { Copy(false); });
        menu.addAction(Str(2812), this, [this] { Paste(); });
        menu.exec(m_list->viewport()->mapToGlobal(at));
    });
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tree, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = m_tree->itemAt(at);
        if (item == nullptr) {
            return;
        }
        ShowFolder(item->data(0, kPathRole).toString());
        QMenu menu(this);
        menu.addAction(Str(2808), this, [this] { NewFolder(); });
        menu.addAction(Str(2813), this, [this] { DeleteSelection(true); });
        menu.exec(m_tree->viewport()->mapToGlobal(at));
    });
    // Files come in from the desktop's file manager and go out to it by dragging.
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_list), static_cast<QAbstractItemView*>(m_icons)}) {
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
    }
    SetToolbarEnabled(false);
    if (QWidget* root = GetLayoutRoot(this)) {
        resize(root->size());
    }
    CentreOver(parentWidget());

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
    return true;
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
    if (QWidget* bar = GetPluginByName(this, QStringLiteral("layout_file_commond"))) {
        for (QWidget* button : bar->findChildren<QWidget*>()) {
            Plugin_SetEnabled(button, enabled);
        }
    }
}

void CFileWnd::ShowFolder(const QString& path, bool push) {
    if (path.isEmpty()) {
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
    m_showingResults = false;
    m_rows = m_folders[path];
    FillList();
    if (QTreeWidgetItem* node = TreeItem(path)) {
        m_tree->setCurrentItem(node);
        node->setExpanded(true);
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("file_address")), OneLine(path));
    SetToolbarEnabled(true);
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

void CFileWnd::FillTree(const QString& path) {
    QTreeWidgetItem* node = TreeItem(path);
    if (node == nullptr) {
        return;
    }
    const QSignalBlocker block(m_tree);
    qDeleteAll(node->takeChildren());
    for (const files::FsItem& item : m_folders[path]) {
        if (item.IsDirectory()) {
            auto* child = new QTreeWidgetItem(node, {OneLine(item.Name())});
            child->setData(0, kPathRole, item.path);
            child->setIcon(0, IconFor(item));
            child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
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
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const files::FsItem& item = m_rows[i];
        auto* row = new QTreeWidgetItem({OneLine(item.Name()), files::AttributeText(item.attributes),
                                         QString::number(item.size), item.timeText});
        row->setIcon(0, IconFor(item));
        row->setData(0, kRowRole, static_cast<int>(i));
        row->setFlags(row->flags() | Qt::ItemIsEditable);
        rows.append(row);
        auto* icon = new QListWidgetItem(IconFor(item), OneLine(item.Name()), m_icons);
        icon->setData(kRowRole, static_cast<int>(i));
    }
    m_list->addTopLevelItems(rows);
    m_views->setCurrentWidget(m_details ? static_cast<QWidget*>(m_list) : m_icons);
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

void CFileWnd::NewFolder() {
    if (m_current.isEmpty()) {
        return;
    }
    const QString path = files::JoinPath(m_current, files::NewFolderName(ChildFolderNames(m_current)));
    if (path.size() >= files::kMaxPath - 1) {
        VexaMessageBox(1003, this, 330, 0);
        return;
    }
    const QString folder = m_current;
    OnPhone([this, path, folder](vexa::FileSystem& fs) {
        const bool made = fs.CreateFolder(path);
        auto items = files::ReadFolder(fs, folder, folder == m_phoneRoot);
        PostCall([this, made, folder, items = std::move(items)] {
            if (!made) {
                LOG_Error("[CFileWnd] CreateFolder failed. %s:%d", LOG_HERE);
            }
            FolderRead(folder, items, folder == m_current, false);
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
    OnPhone([this, item, name, parent](vexa::FileSystem& fs) {
        const int refused = files::CheckRemoval(fs, item.path);
        const bool renamed = refused == 0 && fs.RenamePath(item.path, name);
        auto items = files::ReadFolder(fs, parent, parent == m_phoneRoot);
        PostCall([this, renamed, refused, item, parent, items = std::move(items)] {
            if (!renamed) {
                LOG_Error("[CFileWnd] RenamePath failed. %s:%d", LOG_HERE);
            }
            FolderRead(parent, items, parent == m_current, false);
            if (refused != 0) {
                VexaMessageBox(FormatText(Str(refused), qUtf8Printable(OneLine(item.path))), this, Str(330), 0);
            }
        });
    });
    return 0;
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
    const QString folder = fromTree ? files::ParentOf(items.front().path) : m_current;
    OnPhone([this, items, folder](vexa::FileSystem& fs) {
        QString failed;
        int refused = 0;
        for (auto it = items.rbegin(); it != items.rend() && failed.isEmpty(); ++it) {
            // A storage root, by whatever name, is refused with its reason before anything is sent.
            if ((refused = files::CheckRemoval(fs, it->path)) != 0) {
                failed = it->path;
            } else if (!fs.DeletePath(it->path)) {
                failed = it->Name();
            }
        }
        auto listing = files::ReadFolder(fs, folder, folder == m_phoneRoot);
        PostCall([this, failed, refused, folder, listing = std::move(listing)] {
            m_pendingShow = folder;
            FolderRead(folder, listing, true, false);
            if (!failed.isEmpty()) {
                VexaMessageBox(FormatText(Str(refused != 0 ? refused : 2823), qUtf8Printable(OneLine(failed))), this,
                               Str(330), 0);
            }
        });
    });
}

namespace {
// Marks a drag that started in this window, so dropping it back does nothing.
const QString kOwnDragFormat = QStringLiteral("application/x-vexa-phone-files");

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
    WorkerThread worker(std::function<void()>([&] {
        dlg.WaitReady();
        files::BatchCallbacks callbacks;
        callbacks.cancelled = [&dlg] { return dlg.IsCancelRequested(); };
        callbacks.percent = [&dlg](int percent) { dlg.SetBarPos(percent); };
        callbacks.remind = [&dlg, texts](int index, int count) {
            dlg.SetRemindText(count > 1 && texts.remindMany != 0 ? FormatText(Str(texts.remindMany), count, index + 1)
                                                                 : Str(texts.remindOne));
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
    }));
    worker.Start();
    dlg.DoModal();
    if (!reached) {
        result.failed = true;
        result.failure = files::FailurePhoneLost; // no phone to work with
    }
    return result;
}

void CFileWnd::Upload(const QStringList& localFiles) {
    if (m_current.isEmpty() || localFiles.isEmpty()) {
        return;
    }
    std::vector<std::pair<QString, QString>> jobs;
    for (const QString& local : localFiles) {
        jobs.emplace_back(local, files::JoinPath(m_current, QFileInfo(local).fileName()));
    }
    const files::BatchResult result = RunBatch({981, 892, 890}, [jobs](vexa::FileSystem& fs, const files::BatchCallbacks& c) {
        return files::RunUploads(fs, jobs, c);
    });
    if (result.noSpace) {
        VexaMessageBox(870, this, 871, 0);
    } else if (result.cancelled) {
        VexaMessageBox(983, this, 330, 0);
    } else if (result.failed) {
        const QString why = files::TransferFailureText(result.failure, result.failedTarget, result.failedName,
                                                       result.failedDetail, result.failedBytes);
        VexaMessageBox(why.isEmpty() ? Str(995) : Str(995) + u'\n' + why, this, Str(330), 0);
    }
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
    if (result.cancelled) {
        VexaMessageBox(982, this, 330, 0);
    } else if (result.failed) {
        // "下载失败！" and why, so the user knows what to do about it.
        const QString why = files::TransferFailureText(result.failure, result.failedName, result.failedTarget,
                                                       result.failedDetail, result.failedBytes);
        VexaMessageBox(why.isEmpty() ? Str(996) : Str(996) + u'\n' + why, this, Str(330), 0);
    } else if (open && !result.written.isEmpty()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(result.written.front()));
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

void CFileWnd::Paste() {
    if (m_current.isEmpty()) {
        VexaMessageBox(1000, this, 330, 0);
        return;
    }
    if (m_clipboard.empty()) {
        return;
    }
    const bool move = m_clipboardMove;
    const std::vector<files::FsItem> entries = m_clipboard;
    const QString folder = m_current;
    if (move && files::StorageOf(entries.front().path, m_phoneRoot, m_cardRoot) !=
                    files::StorageOf(folder, m_phoneRoot, m_cardRoot)) {
        VexaMessageBox(877, this, 330, 0);
        return;
    }
    const files::BatchResult result =
        RunBatch(move ? BatchTexts{986, 987, 0} : BatchTexts{984, 985, 0},
                 [entries, folder, move](vexa::FileSystem& fs, const files::BatchCallbacks& c) {
                     return files::RunPhoneCopies(fs, entries, folder, move, c);
                 });
    if (result.noSpace) {
        VexaMessageBox(870, this, 871, 0);
    } else if (move && result.cancelled && !result.failedName.isEmpty()) {
        VexaMessageBox(882, this, 330, 0);
    } else if (result.cancelled) {
        VexaMessageBox(move ? 988 : 883, this, 330, 0);
    } else if (result.failed) {
        VexaMessageBox(move ? 2802 : 989, this, 330, 0);
    }
    if (move) {
        m_clipboard.clear();
        m_folders.erase(files::ParentOf(entries.front().path));
    }
    ShowFolder(folder, false);
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
    if (!m_current.isEmpty()) {
        Upload(QFileDialog::getOpenFileNames(this, Str(2819)));
    }
    return 0;
}

LRESULT CFileWnd::OnDownload(QWidget*, std::intptr_t, std::intptr_t) {
    const std::vector<files::FsItem> items = SelectedItems();
    if (items.empty()) {
        return 0;
    }
    if (std::any_of(items.begin(), items.end(), [](const files::FsItem& i) { return i.IsDirectory(); })) {
        VexaMessageBox(876, this, 330, 0);
        return 0;
    }
    const QString folder = QFileDialog::getExistingDirectory(this, Str(881));
    if (!folder.isEmpty()) {
        Download(items, folder, false);
    }
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
        Upload(localFiles);
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
            VexaMessageBox(996, this, 330, 0);
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

bool CFileWnd::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (!m_current.isEmpty() && !m_showingResults && !LocalFilesOf(drag->mimeData()).isEmpty()) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList files = LocalFilesOf(drop->mimeData());
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
        if (!(move->buttons() & Qt::LeftButton) || m_dragStart.x() < 0 ||
            (move->position().toPoint() - m_dragStart).manhattanLength() < QApplication::startDragDistance()) {
            break;
        }
        m_dragStart = QPoint(-1, -1);
        const std::vector<files::FsItem> items = SelectedItems();
        if (items.empty()) {
            break;
        }
        if (QMimeData* mime = FetchForDrag(items)) {
            auto* drag = new QDrag(watched);
            drag->setMimeData(mime);
            drag->exec(Qt::CopyAction);
        }
        return true;
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
