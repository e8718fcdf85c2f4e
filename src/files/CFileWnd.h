#pragma once
// The file manager window ("file_wnd"): the phone's storages as a folder tree beside a file list,
// with back and forward, new folder, rename, delete, search, and the transfers of files between the
// computer and the phone and within the phone.
//
// UI thread only. The window never calls the phone itself: folder reads, changes and the search run
// on its background jobs inside the session gate, transfers on a worker behind the progress dialog;
// results come back as posted calls. Folders read are kept until refreshed.

#include "controls/CSkinDialog.h"
#include "files/FileOps.h"
#include "platform/BackgroundJob.h"

#include <QPoint>
#include <QStringList>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <mutex>
#include <vector>

class CSessionGate;
class QAbstractItemView;
class QKeyEvent;
class QLabel;
class QListWidget;
class QMenu;
class QMimeData;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace vexa {
class FileSystem;
}

class CFileWnd : public CSkinDialog {
public:
    explicit CFileWnd(CSessionGate& gate, QWidget* parent = nullptr);
    ~CFileWnd() override;

    // The phone went away: every listing is forgotten, the buttons and keys do nothing and the list
    // says why, until the window is made afresh for the next phone.
    void OnDeviceDisconnected();
    // Called on this thread after files were added to or deleted from the phone (the home page's
    // storage figures follow).
    void SetChangedAction(std::function<void()> changed) { m_changed = std::move(changed); }

    // Reads (when not read yet) and shows a folder; push puts it on the navigation history.
    void ShowFolder(const QString& path, bool push = true);
    void Search(const QString& keyword);
    void Back();
    void Forward();
    void SortByColumn(int column);
    // Details (columns) or large icons.
    void ShowDetails(bool details = true);
    // A new folder in folder (the current one when empty), named so that it clashes with nothing
    // there; its name is then opened for editing.
    void NewFolder(const QString& folder = QString());
    // Checks the name and renames the row's item on the phone; the message id that refused it, or 0.
    int RenameRow(int row, const QString& name);
    // Opens the name of the chosen row (or tree folder) for editing, the extension left unselected.
    void StartRename();
    // Paste of the last copy or cut into the current folder (or folder).
    void Copy(bool move);
    void Paste(const QString& folder = QString());
    // Phone files moved (or copied) into a phone folder behind the progress dialog; a drop of rows
    // on a folder comes here. Folders and moves across the storages are refused with the reason.
    void MoveOrCopyInto(const std::vector<files::FsItem>& entries, const QString& folder, bool move);
    // The downloads of the chosen files go to the download folder of the settings; the folder is
    // asked for only when none is set or it cannot be written.
    void DownloadSelection();
    // What a drag of rows carries: their phone paths for this window, and for anyone else the files
    // themselves, fetched only when a drop target asks for them.
    QMimeData* DragData(const std::vector<files::FsItem>& items);
    // The menu a right click at `at` (in view's viewport) opens: the row menu on a row, the folder
    // menu on empty space, the tree menu on a tree folder; null where none belongs.
    QMenu* ContextMenu(QAbstractItemView* view, const QPoint& at);
    // Files of the computer dropped on the list: uploaded into the current folder.
    void DropLocalFiles(const QStringList& localFiles);
    // What a drag out of the list carries: the chosen files fetched into a folder of this run's
    // own, as "text/uri-list"; null when nothing could be fetched (folders are not dragged out).
    QMimeData* FetchForDrag(const std::vector<files::FsItem>& items);
    std::vector<files::FsItem> SelectedItems() const;
    // Phone files into a computer folder (or this run's own folder and opened, when open); a
    // failure is told with its reason.
    void Download(const std::vector<files::FsItem>& items, const QString& folder, bool open);

    // State, for tests and pictures.
    QString CurrentFolder() const { return m_current; }
    const std::vector<files::FsItem>& Rows() const { return m_rows; }
    bool IsBusy() const;
    bool IsSearching() const { return m_searching.load(); }
    bool IsShowingSearchResults() const { return m_showingResults; }
    QString PhoneRoot() const { return m_phoneRoot; }
    QTreeWidget* List() const { return m_list; }
    QListWidget* Icons() const { return m_icons; }
    QTreeWidget* Tree() const { return m_tree; }
    // The list's hint (an empty folder, a lost phone), when it shows.
    QString HintText() const;
    // The last result line under the list.
    QString StatusText() const;
    bool IsDetails() const { return m_details; }

    static constexpr int kHistory = 256;

protected:
    bool OnInitDialog() override;
    void OnEnded() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnPrev(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnNext(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnUp(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnNewFolder(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnUpload(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnDownload(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCopy(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnPaste(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnDelete(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnRefresh(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnDetails(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnIcons(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSearch(QWidget*, std::intptr_t, std::intptr_t);

    // The steps of OnInitDialog, in their order.
    void SetToolbarTexts();
    void CreateViews();
    void PlaceViews();
    void ConnectTree();
    void ConnectRows();
    void ConnectMenusAndDrops();
    void ReadStorageRoots();
    // Runs work on the phone job; it gets the file system only while the session is usable.
    void OnPhone(std::function<void(vexa::FileSystem&)> work);
    void FolderRead(const QString& path, const std::optional<std::vector<files::FsItem>>& items, bool show, bool push);
    void FillTree(const QString& path);
    void FillNode(QTreeWidgetItem* node, const QString& path, const QStringList& open);
    // Reads the folders above path that the tree lacks, then shows path's node chosen.
    void RevealInTree(const QString& path);
    void FillList();
    void SetToolbarEnabled(bool enabled);
    void Navigate(int step);
    void DeleteSelection(bool fromTree);
    void RenameItem(const files::FsItem& item, const QString& name);
    // A double click or Enter on a row: a folder opens, a file is fetched and opened.
    void OpenRow(int row);
    void Upload(const QStringList& localFiles, const QString& folder);
    void SetStatus(const QString& text);
    void TellFailure(int title, const files::BatchResult& result, bool download);
    // Keys of the list, the icons and the tree; true when used.
    bool OnViewKey(QObject* view, QKeyEvent* key);
    // The folder a drop at pos in watched (a viewport) would go into, or empty.
    QString FolderAt(QObject* watched, const QPoint& pos) const;
    // Whether entries may be moved into folder by a drop.
    bool CanMoveInto(const QStringList& paths, const QString& folder) const;
    // A batch behind the progress dialog; the worker runs job with callbacks bound to the dialog.
    struct BatchTexts {
        int title;
        int remindOne;
        int remindMany; // 0: the one text for every count
    };
    files::BatchResult RunBatch(const BatchTexts& texts,
                                const std::function<files::BatchResult(vexa::FileSystem&, const files::BatchCallbacks&)>& job);
    int AskReplace(const QString& name, int kind);
    QTreeWidgetItem* TreeItem(const QString& path) const;
    QStringList ChildFolderNames(const QString& path) const;

    CSessionGate& m_gate;
    QString m_phoneRoot;
    QString m_cardRoot;
    QString m_current;
    QString m_pendingShow;
    std::map<QString, std::vector<files::FsItem>> m_folders;
    std::vector<files::FsItem> m_rows;
    std::vector<QString> m_history = std::vector<QString>(kHistory);
    int m_historyIndex = -1;
    int m_historyCount = 0;
    int m_navigating = 0;
    bool m_sortFlags[4] = {false, false, false, false};
    bool m_details = false;
    bool m_connected = true;
    QString m_renameAfterRead; // a folder just made, whose name opens for editing once it shows
    bool m_showingResults = false;
    std::vector<files::FsItem> m_clipboard;
    bool m_clipboardMove = false;
    QPoint m_dragStart{-1, -1};
    int m_drags = 0;

    QTreeWidget* m_tree = nullptr;
    QTreeWidget* m_list = nullptr;
    QListWidget* m_icons = nullptr;
    QStackedWidget* m_views = nullptr;
    QWidget* m_hintPage = nullptr;
    QLabel* m_hintPicture = nullptr;
    QLabel* m_hint = nullptr;

    std::mutex m_queueLock;
    std::deque<std::function<void(vexa::FileSystem&)>> m_queue;
    std::function<void()> m_changed;
    std::atomic<int> m_pending{0};
    std::atomic<bool> m_searching{false};
    QString m_keyword;
    CBackgroundJob m_phoneJob;
    CBackgroundJob m_searchJob;
    friend struct CFileWndTable;
};
