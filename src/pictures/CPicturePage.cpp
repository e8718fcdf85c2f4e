#include "pictures/CPicturePage.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/PictureStore.h"
#include "controls/CAnimateDialogNoCaption.h"
#include "controls/CVexaProgressDlg.h"
#include "controls/VexaMessageBox.h"
#include "device/LoadDataHelper.h"
#include "device/SessionGate.h"
#include "libs/log/Log.h"
#include "pictures/CAddPhotoAlbumDlg.h"
#include "pictures/CVexaImageEditDialog.h"
#include "pictures/PictureRules.h"
#include "platform/AppPaths.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QMimeData>
#include <QDropEvent>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSet>
#include <QThread>
#include <QWheelEvent>

#include <algorithm>

struct CPicturePageTable {
    static const SkinEventRow<CPicturePage> kRows[];
};

const SkinEventRow<CPicturePage> CPicturePageTable::kRows[] = {
    {"category_list", kSkinListRow, &CPicturePage::OnAlbumRow},
    {"picture_holder*", kSkinCellClick, &CPicturePage::OnCellClick},
    {"picture_holder*", kSkinCellCheck, &CPicturePage::OnCellCheck},
    {"picture_holder*", kSkinCellDoubleClick, &CPicturePage::OnCellOpen},
    {"select_all", kSkinCheck, &CPicturePage::OnSelectAll},
    {"vertical_scrollbar", kSkinVScroll, &CPicturePage::OnScroll},
    {"*", kSkinClick, &CPicturePage::OnButton},
    {nullptr, 0, nullptr},
};

namespace {

QString DefaultThumbnailFolder() {
    return QDir(DataFolder()).filePath(QStringLiteral("thumbnails"));
}

} // namespace

CPicturePage::CPicturePage(CSessionGate& gate, QString thumbnails, QWidget* parent)
    : CTabPageWnd(parent), m_gate(gate),
      m_cache(thumbnails.isEmpty() ? DefaultThumbnailFolder() : std::move(thumbnails),
              pictures::CThumbnailCache::kDefaultMemoryLimit, QSize(120, 76)),
      m_albumJob("picture albums",
                 [this](const std::atomic<bool>& cancel) {
                     AlbumsRead read;
                     CSessionScope use(m_gate, VEXA_HERE);
                     vexa::PictureStore* store = use ? use->GetPictureStore() : nullptr;
                     if (store != nullptr && !cancel) {
                         std::lock_guard<std::mutex> lock(LoaderLock(LockPictures));
                         read.ok = store->IsPicturesLoaded() || store->LoadPictures() == 1;
                         if (read.ok) {
                             read.albums = pictures::ListAlbums(*store, use->GetFileSystem());
                         }
                     }
                     PostValue(WM_PICTURE_ALBUMS, std::move(read));
                 }),
      m_pictureJob("picture list",
                   [this](const std::atomic<bool>& cancel) {
                       PicturesRead read;
                       int album = -1;
                       {
                           std::lock_guard guard(m_wantLock);
                           album = m_wantAlbum;
                           read.generation = m_wantGeneration;
                       }
                       CSessionScope use(m_gate, VEXA_HERE);
                       vexa::PictureStore* store = use ? use->GetPictureStore() : nullptr;
                       if (store != nullptr && album >= 0 && !cancel) {
                           std::lock_guard<std::mutex> lock(LoaderLock(LockPictures));
                           read.pictures = pictures::ListPictures(*store, album);
                       }
                       PostValue(WM_PICTURE_LIST, std::move(read));
                   }),
      m_thumbnailJob("picture thumbnails", [this](const std::atomic<bool>& cancel) {
          CSessionScope use(m_gate, VEXA_HERE);
          vexa::PictureStore* store = use ? use->GetPictureStore() : nullptr;
          while (store != nullptr && !cancel) {
              ThumbnailMade made;
              pictures::PictureItem item;
              {
                  std::lock_guard guard(m_wantLock);
                  if (m_wanted.empty()) {
                      return;
                  }
                  item = std::move(m_wanted.front());
                  m_wanted.erase(m_wanted.begin());
                  made.generation = m_wantGeneration;
              }
              made.path = item.path;
              made.image = m_cache.Get(*store, item);
              PostValue(WM_PICTURE_THUMBNAIL, std::move(made));
          }
      }) {
    m_choosers.importFiles = [](QWidget* parent, const QString& title) {
        return QFileDialog::getOpenFileNames(parent, title, QString(),
                                             QStringLiteral("All Image Files(*.bmp *.jpg *.jpeg *.png *.gif)"));
    };
    m_choosers.exportFolder = [](QWidget* parent) { return QFileDialog::getExistingDirectory(parent, Str(866)); };
    m_choosers.newName = [](QWidget* parent, const QString& title, const QString& current, bool picture) {
        CAddPhotoAlbumDlg dialog({title, current, picture}, parent);
        return dialog.DoModal() == IDOK ? dialog.Name() : QString();
    };
}

CPicturePage::~CPicturePage() {
    m_thumbnailJob.Stop(150);
    m_pictureJob.Stop(150);
    m_albumJob.Stop(150);
}

bool CPicturePage::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("picture_page")) == 0) {
        return false;
    }
    setAcceptDrops(true);
    const std::pair<const char*, int> texts[] = {
        {"import_picture", 818}, {"export_picture", 814}, {"delete_picture", 802}, {"wallpaper_picture", 798},
        {"rename_picture", 2917}, {"btn_add_album", 2915}, {"btn_rename_album", 2917}, {"category_title", 2914},
        {"select_all", 2916}};
    for (const auto& [name, id] : texts) {
        Plugin_SetText(GetPluginByName(this, QString::fromLatin1(name)), Str(id));
    }
    if (auto* search = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("search_ctrl")))) {
        search->setPlaceholderText(Str(2932));
        QObject::connect(search, &QLineEdit::textChanged, this, [this](const QString& key) { Search(key); });
    }
    if (QWidget* grid = GetPluginByName(this, QStringLiteral("grid_container"))) {
        grid->installEventFilter(this);
    }
    // Keys reach the page from a clicked cell, which takes no focus of its own.
    setFocusPolicy(Qt::ClickFocus);
    for (int i = 0; i < kHolders; ++i) {
        m_holders[i] = GetPluginByName(this, QStringLiteral("picture_holder%1").arg(i));
        if (m_holders[i] == nullptr) {
            LOG_Error("[CPicturePage] picture_holder%d missing. %s:%d", i, LOG_HERE);
            return false;
        }
    }
    ShowState();
    return true;
}

void CPicturePage::OnPageShown() {
    if (m_connected && !m_albumsRead) {
        RequestAlbums();
    }
}

void CPicturePage::OnDeviceConnected() {
    m_connected = true;
    RequestAlbums();
}

void CPicturePage::OnDeviceDisconnected() {
    m_connected = false;
    m_albumsRead = false;
    m_albums.clear();
    m_pictures.clear();
    m_shown.clear();
    m_selected.clear();
    m_album = -1;
    {
        std::lock_guard guard(m_wantLock);
        m_wanted.clear();
        ++m_wantGeneration;
    }
    FillAlbums();
    ShowGrid();
}

void CPicturePage::LoadRequest(int /*mode*/) {
    if (m_connected) {
        RequestAlbums();
    }
}

void CPicturePage::RequestAlbums() {
    m_loadingAlbums = true;
    ShowState();
    m_albumJob.Request();
}

void CPicturePage::RequestPictures() {
    if (m_album < 0 || m_album >= static_cast<int>(m_albums.size())) {
        return;
    }
    {
        std::lock_guard guard(m_wantLock);
        m_wantAlbum = m_albums[static_cast<std::size_t>(m_album)].index;
        m_generation = ++m_wantGeneration;
        m_wanted.clear();
    }
    m_loadingPictures = true;
    ShowState();
    m_pictureJob.Request();
}

void CPicturePage::ShowState() {
    QWidget* tip = GetPluginByName(this, QStringLiteral("pic_tip"));
    QString text;
    if (!m_connected) {
        text = Str(2922);
    } else if (IsLoading() && m_pictures.empty()) {
        text = Str(2921);
    } else if (m_album >= 0 && m_shown.empty() && m_search.isEmpty()) {
        text = Str(2919);
    }
    Plugin_SetText(tip, text);
    Plugin_SetVisible(tip, !text.isEmpty());
    for (const char* name : {"import_picture", "export_picture", "delete_picture", "wallpaper_picture",
                             "rename_picture", "btn_add_album", "btn_rename_album", "select_all", "search_ctrl"}) {
        Plugin_SetEnabled(GetPluginByName(this, QString::fromLatin1(name)), m_connected);
    }
}

void CPicturePage::FillAlbums() {
    auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("category_list")));
    if (list == nullptr) {
        return;
    }
    const QSignalBlocker quiet(list);
    list->clear();
    for (const pictures::AlbumInfo& album : m_albums) {
        const QFontMetrics metrics(list->font());
        const QString location = metrics.elidedText(album.location, Qt::ElideMiddle, list->viewport()->width() - 16);
        auto* item = new QListWidgetItem(QStringLiteral("%1  (%2)\n%3").arg(album.name).arg(album.count).arg(location));
        item->setToolTip(album.location);
        list->addItem(item);
    }
    list->setCurrentRow(m_album);
}

bool CPicturePage::SelectAlbum(int index) {
    if (index < 0 || index >= static_cast<int>(m_albums.size())) {
        return false;
    }
    const bool changed = index != m_album;
    m_album = index;
    if (changed) {
        m_pictures.clear();
        m_shown.clear();
        m_selected.clear();
        m_firstRow = 0;
        ShowGrid();
    }
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("category_list")))) {
        const QSignalBlocker quiet(list);
        list->setCurrentRow(index);
    }
    RequestPictures();
    return true;
}

void CPicturePage::TakePictures(std::vector<pictures::PictureItem> pictures) {
    pictures::SortForGrid(pictures);
    QSet<QString> ticked;
    for (const int i : m_selected) {
        if (i >= 0 && i < static_cast<int>(m_pictures.size())) {
            const QString& path = m_pictures[static_cast<std::size_t>(i)].path;
            ticked.insert(m_renamed.value(path, path));
        }
    }
    m_renamed.clear();
    m_pictures = std::move(pictures);
    m_selected.clear();
    for (int i = 0; i < static_cast<int>(m_pictures.size()); ++i) {
        if (ticked.contains(m_pictures[static_cast<std::size_t>(i)].path)) {
            m_selected.insert(i);
        }
    }
}

bool CPicturePage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        // One notch (120) is one row; what is left over waits for the next turn the same way.
        m_wheel += static_cast<QWheelEvent*>(event)->angleDelta().y();
        const int rows = m_wheel / 120;
        if (rows != 0) {
            m_wheel -= rows * 120;
            ScrollToRow(m_firstRow - rows);
        }
        return true;
    }
    return CTabPageWnd::eventFilter(watched, event);
}

void CPicturePage::keyPressEvent(QKeyEvent* event) {
    const int last = static_cast<int>(m_shown.size()) / kColumns;
    switch (event->key()) {
    case Qt::Key_PageDown:
        ScrollToRow(m_firstRow + kRows);
        break;
    case Qt::Key_PageUp:
        ScrollToRow(m_firstRow - kRows);
        break;
    case Qt::Key_Home:
        ScrollToRow(0);
        break;
    case Qt::Key_End:
        ScrollToRow(last);
        break;
    default:
        CTabPageWnd::keyPressEvent(event);
        return;
    }
    event->accept();
}

void CPicturePage::Search(const QString& key) {
    m_search = key.trimmed();
    m_shown.clear();
    for (int i = 0; i < static_cast<int>(m_pictures.size()); ++i) {
        if (m_search.isEmpty() || m_pictures[static_cast<std::size_t>(i)].name.contains(m_search, Qt::CaseInsensitive)) {
            m_shown.push_back(i);
        }
    }
    m_firstRow = 0;
    ShowGrid();
}

void CPicturePage::ScrollToRow(int row) {
    const int rows = (static_cast<int>(m_shown.size()) + kColumns - 1) / kColumns;
    const int first = std::clamp(row, 0, std::max(0, rows - kRows));
    if (first == m_firstRow) {
        return;
    }
    m_firstRow = first;
    ShowGrid();
}

void CPicturePage::SetSelected(int picture, bool on) {
    if (picture < 0 || picture >= static_cast<int>(m_pictures.size())) {
        return;
    }
    if (on) {
        m_selected.insert(picture);
    } else {
        m_selected.erase(picture);
    }
    ShowGrid();
}

void CPicturePage::SelectAll(bool on) {
    m_selected.clear();
    if (on) {
        m_selected.insert(m_shown.begin(), m_shown.end());
    }
    ShowGrid();
}

int CPicturePage::ThumbnailsShown() const {
    int shown = 0;
    for (QWidget* holder : m_holders) {
        auto* image = qobject_cast<QLabel*>(Plugin_GetChild(holder, QStringLiteral("picture_image")));
        shown += holder != nullptr && holder->isVisibleTo(this) && image != nullptr && !image->pixmap().isNull() ? 1 : 0;
    }
    return shown;
}

void CPicturePage::ShowGrid() {
    const int count = static_cast<int>(m_shown.size());
    for (int i = 0; i < kHolders; ++i) {
        QWidget* holder = m_holders[i];
        if (holder == nullptr) {
            continue;
        }
        const int at = m_firstRow * kColumns + i;
        if (at >= count) {
            holder->setVisible(false);
            continue;
        }
        const int index = m_shown[static_cast<std::size_t>(at)];
        const pictures::PictureItem& picture = m_pictures[static_cast<std::size_t>(index)];
        holder->setProperty("pictureIndex", index);
        const bool selected = m_selected.count(index) != 0;
        Plugin_SetStyle(holder, selected ? QStringLiteral("picture_cell_selected") : QStringLiteral("picture_cell"));
        auto* name = qobject_cast<QLabel*>(Plugin_GetChild(holder, QStringLiteral("picture_name")));
        if (name != nullptr) {
            // Camera names differ at their end: the end is what is cut, and the tooltip has it all.
            name->setText(name->fontMetrics().elidedText(picture.name, Qt::ElideRight, 96));
            name->setToolTip(picture.name);
        }
        holder->setToolTip(picture.name);
        if (auto* check = qobject_cast<QCheckBox*>(Plugin_GetChild(holder, QStringLiteral("picture_check")))) {
            const QSignalBlocker quiet(check);
            check->setChecked(selected);
        }
        if (auto* image = qobject_cast<QLabel*>(Plugin_GetChild(holder, QStringLiteral("picture_image")))) {
            const QImage cached = m_cache.Cached(picture);
            if (cached.isNull()) {
                image->setPixmap(QPixmap());
                image->setText(m_cache.Failed(picture) ? Str(2927) : QString());
            } else {
                image->setPixmap(QPixmap::fromImage(cached));
            }
        }
        holder->setVisible(true);
    }
    const int rows = (count + kColumns - 1) / kColumns;
    if (auto* bar = qobject_cast<QScrollBar*>(GetPluginByName(this, QStringLiteral("vertical_scrollbar")))) {
        const QSignalBlocker quiet(bar);
        bar->setRange(0, std::max(0, rows - kRows));
        bar->setPageStep(kRows);
        bar->setValue(m_firstRow);
        bar->setVisible(rows > kRows);
    }
    if (auto* all = qobject_cast<QCheckBox*>(GetPluginByName(this, QStringLiteral("select_all")))) {
        const QSignalBlocker quiet(all);
        all->setChecked(count > 0 && static_cast<int>(m_selected.size()) == count);
    }
    QString title;
    if (!m_search.isEmpty()) {
        title = FormatText(Str(833), count);
    } else if (m_album >= 0 && m_album < static_cast<int>(m_albums.size())) {
        title = m_albums[static_cast<std::size_t>(m_album)].name;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("pic_title")), title);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("pic_count")),
                   m_album >= 0 ? FormatText(Str(2913), count) : QString());
    ShowState();
    WantThumbnails();
}

void CPicturePage::WantThumbnails() {
    // The visible rows first, then one row below and one above, so a small scroll finds them made.
    const int count = static_cast<int>(m_shown.size());
    const int first = std::max(0, (m_firstRow - 1) * kColumns);
    const int last = std::min(count, (m_firstRow + kRows + 1) * kColumns);
    std::vector<int> order;
    for (int at = m_firstRow * kColumns; at < last; ++at) {
        order.push_back(at);
    }
    for (int at = first; at < m_firstRow * kColumns; ++at) {
        order.push_back(at);
    }
    std::vector<pictures::PictureItem> wanted;
    for (const int at : order) {
        const pictures::PictureItem& picture = m_pictures[static_cast<std::size_t>(m_shown[static_cast<std::size_t>(at)])];
        if (m_cache.Cached(picture).isNull() && !m_cache.Failed(picture)) {
            wanted.push_back(picture);
        }
    }
    if (wanted.empty()) {
        return;
    }
    {
        std::lock_guard guard(m_wantLock);
        m_wanted = std::move(wanted);
    }
    m_thumbnailJob.Request();
}

LRESULT CPicturePage::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CPicturePageTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    switch (msg) {
    case WM_PICTURE_ALBUMS: {
        auto read = TakeValue<AlbumsRead>(lParam);
        m_loadingAlbums = false;
        if (!read || !m_connected) {
            ShowState();
            return 0;
        }
        const QString current =
            m_album >= 0 && m_album < static_cast<int>(m_albums.size()) ? m_albums[static_cast<std::size_t>(m_album)].path : QString();
        m_albums = std::move(read->albums);
        m_albumsRead = read->ok;
        int keep = m_albums.empty() ? -1 : 0;
        for (int i = 0; i < static_cast<int>(m_albums.size()); ++i) {
            if (m_albums[static_cast<std::size_t>(i)].path == current) {
                keep = i;
            }
        }
        m_album = -1;
        FillAlbums();
        if (keep >= 0) {
            m_album = keep;
            FillAlbums();
            RequestPictures();
        } else {
            m_pictures.clear();
            m_shown.clear();
            m_selected.clear();
            ShowGrid();
        }
        return 0;
    }
    case WM_PICTURE_LIST: {
        auto read = TakeValue<PicturesRead>(lParam);
        if (!read || read->generation != m_generation) {
            return 0;
        }
        m_loadingPictures = false;
        TakePictures(std::move(read->pictures));
        const int row = m_firstRow;
        Search(m_search);
        m_firstRow = row;
        ScrollToRow(row);
        ShowGrid();
        return 0;
    }
    case WM_PICTURE_THUMBNAIL: {
        auto made = TakeValue<ThumbnailMade>(lParam);
        if (!made || made->generation != m_generation) {
            return 0;
        }
        for (QWidget* holder : m_holders) {
            const int index = holder->property("pictureIndex").toInt();
            if (!holder->isVisibleTo(this) || index < 0 || index >= static_cast<int>(m_pictures.size()) ||
                m_pictures[static_cast<std::size_t>(index)].path != made->path) {
                continue;
            }
            if (auto* image = qobject_cast<QLabel*>(Plugin_GetChild(holder, QStringLiteral("picture_image")))) {
                if (made->image.isNull()) {
                    image->setText(Str(2927));
                } else {
                    image->setPixmap(QPixmap::fromImage(made->image));
                }
            }
        }
        return 0;
    }
    default:
        return CTabPageWnd::OnMessage(msg, wParam, lParam);
    }
}

LRESULT CPicturePage::OnAlbumRow(QWidget*, std::intptr_t row, std::intptr_t) {
    SelectAlbum(static_cast<int>(row));
    return 0;
}

int CPicturePage::PictureOfHolder(QWidget* cell) const {
    for (QWidget* holder : m_holders) {
        if (holder == cell) {
            return holder->property("pictureIndex").toInt();
        }
    }
    return -1;
}

LRESULT CPicturePage::OnCellClick(QWidget* cell, std::intptr_t, std::intptr_t) {
    const int picture = PictureOfHolder(cell);
    if (picture >= 0) {
        m_selected = {picture};
        ShowGrid();
    }
    return 0;
}

LRESULT CPicturePage::OnCellCheck(QWidget* cell, std::intptr_t checked, std::intptr_t) {
    SetSelected(PictureOfHolder(cell), checked != 0);
    return 0;
}

LRESULT CPicturePage::OnCellOpen(QWidget* cell, std::intptr_t, std::intptr_t) {
    OnCellClick(cell, 0, 0);
    OpenEditor(PictureOfHolder(cell));
    return 0;
}

void CPicturePage::dragEnterEvent(QDragEnterEvent* event) {
    // Pictures dragged from the desktop's file manager go into the album shown.
    if (m_album >= 0 && event->mimeData()->hasUrls()) {
        for (const QUrl& url : event->mimeData()->urls()) {
            if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) {
                event->acceptProposedAction();
                return;
            }
        }
    }
    event->ignore();
}

void CPicturePage::dropEvent(QDropEvent* event) {
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) {
            files << url.toLocalFile();
        }
    }
    if (m_album < 0 || files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // The import runs its progress dialog; not inside the drop, which the source still waits on.
    PostCall([this, files] { ImportFiles(files); });
}

void CPicturePage::OpenEditor(int picture) {
    if (m_album < 0 || picture < 0 || picture >= static_cast<int>(m_pictures.size())) {
        return;
    }
    CVexaImageEditDialog::PageActions actions;
    actions.exportPicture = [this](const pictures::PictureItem& item) { ExportItems({item}); };
    actions.setWallpaper = [this](const pictures::PictureItem& item) { WallpaperOf(item.path); };
    actions.chooseFolder = [this] { return m_choosers.exportFolder(this); };
    actions.thumbnail = [this](const pictures::PictureItem& item) { return m_cache.Cached(item); };
    auto editor = std::make_unique<CVexaImageEditDialog>(
        [this](int tip, const auto& call) { return RunShort(tip, call); }, actions,
        m_albums[static_cast<std::size_t>(m_album)].index, m_pictures, picture, this);
    if (m_editorHook) {
        m_editorHook(std::move(editor));
        return;
    }
    editor->DoModal();
    if (editor->AlbumChanged()) {
        RequestAlbums();
    }
}

LRESULT CPicturePage::OnSelectAll(QWidget*, std::intptr_t checked, std::intptr_t) {
    SelectAll(checked != 0);
    return 0;
}

LRESULT CPicturePage::OnScroll(QWidget*, std::intptr_t value, std::intptr_t) {
    ScrollToRow(static_cast<int>(value));
    return 0;
}

LRESULT CPicturePage::OnButton(QWidget* button, std::intptr_t, std::intptr_t) {
    const QString name = Plugin_GetName(button);
    const std::pair<const char*, void (CPicturePage::*)()> actions[] = {
        {"import_picture", &CPicturePage::Import},          {"export_picture", &CPicturePage::Export},
        {"delete_picture", &CPicturePage::Delete},          {"wallpaper_picture", &CPicturePage::SetWallpaper},
        {"rename_picture", &CPicturePage::Rename},          {"btn_add_album", &CPicturePage::NewAlbum},
        {"btn_rename_album", &CPicturePage::RenameAlbum}};
    for (const auto& [widget, action] : actions) {
        if (name == QLatin1String(widget)) {
            (this->*action)();
            return 1;
        }
    }
    return 0;
}

void CPicturePage::Say(const QString& text) {
    VexaMessageBox(text, this, Str(388), 0);
}

std::vector<pictures::PictureItem> CPicturePage::Chosen() const {
    std::vector<pictures::PictureItem> chosen;
    for (const int i : m_selected) {
        chosen.push_back(m_pictures[static_cast<std::size_t>(i)]);
    }
    return chosen;
}

bool CPicturePage::RunBatch(int titleId, int remindId,
                            const std::function<pictures::BatchOutcome(vexa::DeviceSession&, vexa::PictureStore&,
                                                                       const pictures::BatchHooks&)>& job,
                            pictures::BatchOutcome* outcome) {
    bool ran = false;
    CVexaProgressDlg dlg(this);
    dlg.m_strTitle = Str(titleId);
    dlg.m_strRemind = Str(remindId);
    dlg.m_bCanCancel = true;
    int kept = 0;
    pictures::BatchHooks hooks;
    hooks.cancelled = [&dlg] { return dlg.IsCancelRequested(); };
    hooks.progress = [&dlg](int total, int done) {
        dlg.SetProgress(static_cast<unsigned>(total), static_cast<unsigned>(done), true);
    };
    // The question is asked once per batch and its answer holds for the rest.
    hooks.askClash = [this, &kept](const QString&) {
        QMetaObject::invokeMethod(
            this,
            [this, &kept] {
                kept = VexaMessageBox(Str(864) + QStringLiteral("\r\n") + Str(865), this, Str(863), 3);
            },
            Qt::BlockingQueuedConnection);
        return kept + pictures::kAnswerForAll;
    };
    RunWhileModal(dlg, [&] {
        dlg.WaitReady();
        CSessionScope use(m_gate, VEXA_HERE);
        vexa::PictureStore* store = use ? use->GetPictureStore() : nullptr;
        if (store != nullptr) {
            std::lock_guard<std::mutex> lock(LoaderLock(LockPictures));
            *outcome = job(*use.Session(), *store, hooks);
            ran = true;
        }
        dlg.PostMessage(WM_COMMAND, dlg.IsCancelRequested() ? IDCANCEL : IDOK, 0);
    });
    return ran;
}

int CPicturePage::RunShort(int tipId, const std::function<int(vexa::DeviceSession&, vexa::PictureStore&)>& call) {
    int result = -1;
    CAnimateDialogNoCaption dlg(this);
    dlg.m_strTip = Str(tipId);
    RunWhileModal(dlg, [&] {
        dlg.WaitReady();
        CSessionScope use(m_gate, VEXA_HERE);
        vexa::PictureStore* store = use ? use->GetPictureStore() : nullptr;
        if (store != nullptr) {
            std::lock_guard<std::mutex> lock(LoaderLock(LockPictures));
            result = call(*use.Session(), *store);
        }
        dlg.EndWork(1);
    });
    return result;
}

void CPicturePage::ShowOutcome(const pictures::BatchOutcome& outcome, int successId, int failedId, int cancelledId) {
    QStringList lines;
    switch (outcome.result) {
    case pictures::BatchOutcome::Succeeded:
        if (successId != 0) {
            lines << FormatText(Str(successId), outcome.done);
        }
        break;
    case pictures::BatchOutcome::Cancelled:
        lines << Str(cancelledId);
        break;
    default:
        lines << Str(failedId);
        if (!outcome.error.isEmpty()) {
            lines << outcome.error;
        }
    }
    lines << outcome.notices;
    if (!lines.isEmpty()) {
        Say(lines.join(QStringLiteral("\r\n")));
    }
}

void CPicturePage::Import() {
    if (m_album < 0) {
        Say(Str(834));
        return;
    }
    // The files go to the album shown, and the dialog says which that is.
    ImportFiles(m_choosers.importFiles(this, FormatText(Str(3580), qUtf8Printable(m_albums[static_cast<std::size_t>(m_album)].name))));
}

void CPicturePage::ImportFiles(const QStringList& files) {
    if (m_album < 0 || files.isEmpty()) {
        return;
    }
    const int album = m_albums[static_cast<std::size_t>(m_album)].index;
    pictures::BatchOutcome outcome;
    if (!RunBatch(818, 819, [&](vexa::DeviceSession&, vexa::PictureStore& store, const pictures::BatchHooks& hooks) {
            return pictures::ImportPictures(store, album, files, hooks);
        }, &outcome)) {
        outcome.result = pictures::BatchOutcome::Failed;
    }
    ShowOutcome(outcome, 820, 822, 824);
    RequestAlbums();
}

void CPicturePage::Export() {
    if (m_album < 0) {
        Say(Str(834));
        return;
    }
    // Nothing chosen: the whole album.
    const std::vector<pictures::PictureItem> chosen = m_selected.empty() ? m_pictures : Chosen();
    if (chosen.empty()) {
        Say(Str(2920));
        return;
    }
    ExportItems(chosen);
}

void CPicturePage::ExportItems(const std::vector<pictures::PictureItem>& chosen) {
    const QString folder = m_choosers.exportFolder(this);
    if (folder.isEmpty()) {
        return;
    }
    pictures::BatchOutcome outcome;
    if (!RunBatch(814, 813, [&](vexa::DeviceSession&, vexa::PictureStore& store, const pictures::BatchHooks& hooks) {
            return pictures::ExportPictures(store, chosen, folder, hooks);
        }, &outcome)) {
        outcome.result = pictures::BatchOutcome::Failed;
    }
    ShowOutcome(outcome, 815, 821, 823);
}

void CPicturePage::Delete() {
    if (m_selected.empty()) {
        Say(Str(2920));
        return;
    }
    const std::vector<pictures::PictureItem> chosen = Chosen();
    if (VexaMessageBox(FormatText(Str(809), static_cast<int>(chosen.size())), this, Str(802), 1) != 1) {
        return;
    }
    pictures::BatchOutcome outcome;
    if (!RunBatch(802, 810, [&](vexa::DeviceSession& session, vexa::PictureStore& store, const pictures::BatchHooks& hooks) {
            return pictures::DeletePictures(store, chosen, hooks, [&session] { return session.IsConnected(); });
        }, &outcome)) {
        outcome.result = pictures::BatchOutcome::Cancelled;
    }
    ShowOutcome(outcome, 0, 825, 826);
    m_selected.clear();
    RequestAlbums();
}

void CPicturePage::Rename() {
    if (m_selected.size() != 1) {
        Say(Str(2920));
        return;
    }
    const pictures::PictureItem picture = m_pictures[static_cast<std::size_t>(*m_selected.begin())];
    const QString name = m_choosers.newName(this, Str(2917), picture.name, true);
    if (name.isEmpty() || name == picture.name) {
        return;
    }
    const int album = m_albums[static_cast<std::size_t>(m_album)].index;
    QString renamed;
    const int problem = RunShort(990, [&](vexa::DeviceSession&, vexa::PictureStore& store) {
        return pictures::RenamePicture(store, album, picture, name, &renamed);
    });
    if (problem != 0) {
        Say(Str(problem < 0 ? 2904 : problem));
    } else {
        const int slash = static_cast<int>(picture.path.lastIndexOf(u'/'));
        m_renamed.insert(picture.path, picture.path.left(slash + 1) + renamed);
    }
    RequestPictures();
}

void CPicturePage::SetWallpaper() {
    if (m_selected.size() != 1) {
        Say(Str(2920));
        return;
    }
    WallpaperOf(m_pictures[static_cast<std::size_t>(*m_selected.begin())].path);
}

void CPicturePage::WallpaperOf(const QString& path) {
    const int applied = RunShort(990, [&path](vexa::DeviceSession& session, vexa::PictureStore&) {
        return pictures::SetWallpaper(session, path) ? 1 : 0;
    });
    Say(Str(applied == 1 ? 811 : 812));
}

void CPicturePage::NewAlbum() {
    std::vector<int> storages;
    RunShort(990, [&storages](vexa::DeviceSession& session, vexa::PictureStore&) {
        if (vexa::FileSystem* files = session.GetFileSystem()) {
            storages = pictures::AlbumStorages(*files);
        }
        return 0;
    });
    QStringList existing;
    for (const pictures::AlbumInfo& album : m_albums) {
        existing << album.name;
    }
    CAddPhotoAlbumDlg dialog(storages, existing, this);
    if (dialog.DoModal() != IDOK) {
        return;
    }
    const int storage = dialog.Storage();
    const QString name = dialog.Name();
    const int problem = RunShort(990, [&](vexa::DeviceSession& session, vexa::PictureStore& store) {
        vexa::FileSystem* files = session.GetFileSystem();
        return files != nullptr ? pictures::CreateAlbum(store, *files, storage, name) : 839;
    });
    if (problem != 0) {
        Say(Str(problem < 0 ? 839 : problem));
    }
    RequestAlbums();
}

void CPicturePage::RenameAlbum() {
    if (m_album < 0) {
        Say(Str(834));
        return;
    }
    const pictures::AlbumInfo album = m_albums[static_cast<std::size_t>(m_album)];
    const QString name = m_choosers.newName(this, Str(2917), album.name, false);
    if (name.isEmpty() || name == album.name) {
        return;
    }
    const int problem = RunShort(990, [&](vexa::DeviceSession& session, vexa::PictureStore& store) {
        vexa::FileSystem* files = session.GetFileSystem();
        return files != nullptr ? pictures::RenameAlbum(store, *files, album.index, name) : 2905;
    });
    if (problem != 0) {
        Say(Str(problem < 0 ? 2905 : problem));
    }
    RequestAlbums();
}

bool CPicturePage::WaitSettled(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    const auto settled = [this] {
        if (IsLoading() || m_albumJob.IsRunning() || m_pictureJob.IsRunning() || m_thumbnailJob.IsRunning()) {
            return false;
        }
        std::lock_guard guard(m_wantLock);
        return m_wanted.empty();
    };
    while (!settled() && timer.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    QApplication::processEvents();
    return settled();
}
