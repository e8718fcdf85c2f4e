#pragma once
// The pictures tab: the phone's albums on the left, the chosen album as a grid of 15 thumbnails
// (3 rows of 5) with a scroll bar on the right, and the toolbar's import, export, delete, wallpaper
// and rename; new and renamed albums below the album list; a search box filters by name.
//
// Albums and pictures are read by the page's own background jobs inside the session gate (under
// the pictures loader lock); thumbnails of the visible rows and one row either side are made by a
// third job through CThumbnailCache and posted back one by one. Batches run on a worker behind
// CVexaProgressDlg. UI thread only.

#include "device/CTabPageWnd.h"
#include "pictures/CThumbnailCache.h"
#include "pictures/PictureLibrary.h"
#include "platform/BackgroundJob.h"

#include <QHash>
#include <QImage>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

class CSessionGate;
class CVexaImageEditDialog;

// Messages to the picture page (WM_USER + n).
constexpr UINT WM_PICTURE_ALBUMS = WM_USER + 2900;    // value AlbumsRead
constexpr UINT WM_PICTURE_LIST = WM_USER + 2901;      // value PicturesRead
constexpr UINT WM_PICTURE_THUMBNAIL = WM_USER + 2902; // value ThumbnailMade

class CPicturePage : public CTabPageWnd {
public:
    static constexpr int kColumns = 5;
    static constexpr int kRows = 3;
    static constexpr int kHolders = kColumns * kRows;

    // thumbnails: where the thumbnail cache keeps its files (empty: the data folder's "thumbnails").
    explicit CPicturePage(CSessionGate& gate, QString thumbnails = {}, QWidget* parent = nullptr);
    ~CPicturePage() override;

    // What the toolbar asks the user; tests answer them without dialogs.
    struct Choosers {
        // title names the album the files go to.
        std::function<QStringList(QWidget*, const QString& title)> importFiles;
        std::function<QString(QWidget*)> exportFolder;
        // picture: the name ends in an extension that stays selected out of the edit.
        std::function<QString(QWidget*, const QString& title, const QString& current, bool picture)> newName;
    };
    void SetChoosers(Choosers choosers) { m_choosers = std::move(choosers); }

    bool Create() override;
    void OnPageShown() override;
    void OnDeviceConnected() override;
    void OnDeviceDisconnected() override;
    void LoadRequest(int mode) override;

    // State and actions, for tests and pictures.
    const std::vector<pictures::AlbumInfo>& Albums() const { return m_albums; }
    int CurrentAlbum() const { return m_album; }
    bool SelectAlbum(int index); // index into Albums()
    const std::vector<pictures::PictureItem>& Pictures() const { return m_pictures; }
    std::vector<int> Shown() const { return m_shown; } // picture indexes after the search
    int FirstRow() const { return m_firstRow; }
    void ScrollToRow(int row);
    const std::set<int>& Selection() const { return m_selected; }
    void SetSelected(int picture, bool on);
    void SelectAll(bool on);
    void Search(const QString& key);
    bool IsLoading() const { return m_loadingAlbums || m_loadingPictures; }
    // Holders that show a thumbnail (not the placeholder).
    int ThumbnailsShown() const;
    // Waits (processing events, with a deadline) until the albums, the chosen album and the
    // thumbnails of the first screen are in; for pictures of the page.
    bool WaitSettled(int timeoutMs);

    void Import();
    // Files of the computer into the album shown (the import dialog's choice, or a drop).
    void ImportFiles(const QStringList& files);
    void Export();
    // Opens the picture viewer and editor on a picture of the album (a double click on it).
    void OpenEditor(int picture);
    // Tests and pictures take the editor (not yet shown) instead of it running modally; it uses the
    // page, so it must go before the page does.
    void SetEditorHook(std::function<void(std::unique_ptr<CVexaImageEditDialog>)> hook) { m_editorHook = std::move(hook); }
    void Delete();
    void Rename();
    void SetWallpaper();
    void NewAlbum();
    void RenameAlbum();

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Wheel over the grid and PageUp/PageDown/Home/End anywhere on the page move the grid's rows.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ExportItems(const std::vector<pictures::PictureItem>& chosen);
    void WallpaperOf(const QString& phonePath);
    struct AlbumsRead {
        bool ok = false;
        std::vector<pictures::AlbumInfo> albums;
    };
    struct PicturesRead {
        int generation = 0;
        std::vector<pictures::PictureItem> pictures;
    };
    struct ThumbnailMade {
        int generation = 0;
        QString path;
        QImage image;
    };

    LRESULT OnAlbumRow(QWidget*, std::intptr_t row, std::intptr_t);
    LRESULT OnCellClick(QWidget* cell, std::intptr_t, std::intptr_t);
    LRESULT OnCellCheck(QWidget* cell, std::intptr_t checked, std::intptr_t);
    LRESULT OnCellOpen(QWidget* cell, std::intptr_t, std::intptr_t);
    LRESULT OnSelectAll(QWidget*, std::intptr_t checked, std::intptr_t);
    LRESULT OnScroll(QWidget*, std::intptr_t value, std::intptr_t);
    LRESULT OnButton(QWidget* button, std::intptr_t, std::intptr_t);

    void ShowState();
    // Takes a new reading of the album; the ticks stay on the same pictures (by path), wherever
    // they now stand; a picture renamed by the page keeps its tick under its new path.
    void TakePictures(std::vector<pictures::PictureItem> pictures);
    void FillAlbums();
    void ShowGrid();
    void WantThumbnails();
    void RequestAlbums();
    void RequestPictures();
    int PictureOfHolder(QWidget* cell) const;
    std::vector<pictures::PictureItem> Chosen() const;
    void Say(const QString& text);
    // Runs job on the picture store behind the progress dialog; false when there was no store.
    bool RunBatch(int titleId, int remindId, const std::function<pictures::BatchOutcome(
                                                 vexa::DeviceSession&, vexa::PictureStore&, const pictures::BatchHooks&)>& job,
                  pictures::BatchOutcome* outcome);
    // Runs a short store call on a worker behind the busy dialog; returns its result.
    int RunShort(int tipId, const std::function<int(vexa::DeviceSession&, vexa::PictureStore&)>& call);
    void ShowOutcome(const pictures::BatchOutcome& outcome, int successId, int failedId, int cancelledId);

    CSessionGate& m_gate;
    Choosers m_choosers;
    pictures::CThumbnailCache m_cache;
    bool m_connected = false;
    bool m_loadingAlbums = false;
    bool m_loadingPictures = false;
    bool m_albumsRead = false;

    std::vector<pictures::AlbumInfo> m_albums;
    int m_album = -1; // index into m_albums
    std::vector<pictures::PictureItem> m_pictures;
    std::vector<int> m_shown;
    std::set<int> m_selected;
    QString m_search;
    int m_firstRow = 0;
    int m_wheel = 0; // wheel turn not yet worth a row (fine-grained wheels and touchpads)
    int m_generation = 0;
    QHash<QString, QString> m_renamed; // old path → new path, since the album was last read
    QWidget* m_holders[kHolders] = {};

    // Shared with the jobs.
    std::mutex m_wantLock;
    int m_wantAlbum = -1;
    int m_wantGeneration = 0;
    std::vector<pictures::PictureItem> m_wanted; // thumbnails still to make, most urgent first

    // Last members: stopped first, while the page they post to is still whole.
    CBackgroundJob m_albumJob;
    CBackgroundJob m_pictureJob;
    CBackgroundJob m_thumbnailJob;

    friend struct CPicturePageTable;
    std::function<void(std::unique_ptr<CVexaImageEditDialog>)> m_editorHook;
};
