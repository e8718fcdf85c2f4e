#include "pictures/CVexaImageEditDialog.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/PictureStore.h"
#include "controls/VexaMessageBox.h"
#include "libs/log/Log.h"
#include "pictures/CVexaImageCutDialog.h"
#include "pictures/PictureRules.h"
#include "platform/AtomicFile.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"
#include "skin/SkinWidgets.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QIcon>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <optional>

// Draws the picture fitted or zoomed, centred or moved by a drag when it is larger than the
// canvas; the wheel asks for zoom steps about the pointer. In crop mode the user pulls a band and
// then moves it or pulls its corners and edges (the handles).
class CImageCanvas : public QWidget {
public:
    CImageCanvas(std::function<void()> cropChanged, std::function<void(int steps, QPointF at)> zoomBy)
        : m_cropChanged(std::move(cropChanged)), m_zoomBy(std::move(zoomBy)) {
        setMinimumSize(200, 150);
        setMouseTracking(false);
    }
    // anchor: a canvas point whose picture pixel stays under it (the pointer of a wheel zoom).
    void SetPicture(const QImage* image, double scale, std::optional<QPointF> anchor = {}) {
        if (anchor && m_image == image && m_image != nullptr && !m_image->isNull()) {
            const QRectF before = Target();
            const QPointF pixel = (*anchor - before.topLeft()) / m_scale;
            const QSizeF size(m_image->width() * scale, m_image->height() * scale);
            const QPointF centred((width() - size.width()) / 2, (height() - size.height()) / 2);
            m_offset = *anchor - pixel * scale - centred;
        } else if (m_image != image) {
            m_offset = {};
        }
        m_image = image;
        m_scale = scale;
        m_offset = Held(m_offset);
        update();
    }
    // The scale at which the picture fits the canvas (never enlarged).
    double FitScale(const QImage& image) const {
        if (image.isNull()) {
            return 1.0;
        }
        return std::min({1.0, double(width()) / image.width(), double(height()) / image.height()});
    }
    void SetCropping(bool on) {
        m_cropping = on;
        m_crop = QRect();
        update();
    }
    bool Cropping() const { return m_cropping; }
    QRect Crop() const { return m_crop; }
    void SetCrop(const QRect& pictureRect) {
        m_crop = m_image != nullptr ? pictureRect.normalized().intersected(m_image->rect()) : QRect();
        update();
        m_cropChanged();
    }
    QPointF Offset() const { return m_offset; }

protected:
    // Where the picture may stand: centred on an axis where it fits, else never showing an edge
    // of the canvas uncovered.
    QPointF Held(const QPointF& offset) const {
        if (m_image == nullptr || m_image->isNull()) {
            return {};
        }
        const double spareX = std::max(0.0, (m_image->width() * m_scale - width()) / 2);
        const double spareY = std::max(0.0, (m_image->height() * m_scale - height()) / 2);
        return {std::clamp(offset.x(), -spareX, spareX), std::clamp(offset.y(), -spareY, spareY)};
    }
    QRectF Target() const {
        if (m_image == nullptr || m_image->isNull()) {
            return {};
        }
        const QSizeF size(m_image->width() * m_scale, m_image->height() * m_scale);
        return QRectF(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2) + m_offset, size);
    }
    QPoint ToPicture(const QPointF& at) const {
        const QRectF target = Target();
        return QPoint(int(std::floor((at.x() - target.left()) / m_scale)), int(std::floor((at.y() - target.top()) / m_scale)));
    }
    QRectF Band() const {
        const QRectF target = Target();
        return {target.left() + m_crop.left() * m_scale, target.top() + m_crop.top() * m_scale, m_crop.width() * m_scale,
                m_crop.height() * m_scale};
    }
    // The band's handles: corners and edge middles, each a bit on its side (x, y in -1, 0, 1).
    std::vector<std::pair<QPoint, QRectF>> Handles() const {
        std::vector<std::pair<QPoint, QRectF>> handles;
        const QRectF band = Band();
        for (int y = -1; y <= 1; ++y) {
            for (int x = -1; x <= 1; ++x) {
                if (x != 0 || y != 0) {
                    const QPointF at(band.center().x() + x * band.width() / 2, band.center().y() + y * band.height() / 2);
                    handles.emplace_back(QPoint(x, y), QRectF(at - QPointF(kHandle, kHandle), QSizeF(2 * kHandle, 2 * kHandle)));
                }
            }
        }
        return handles;
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0x2b, 0x2f, 0x36));
        if (m_image == nullptr || m_image->isNull()) {
            return;
        }
        const QRectF target = Target();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, m_scale < 4.0);
        painter.drawImage(target, *m_image);
        if (m_cropping && !m_crop.isEmpty()) {
            const QRectF band = Band();
            QPainterPath outside;
            outside.addRect(target);
            outside.addRect(band);
            painter.fillPath(outside, QColor(0, 0, 0, 120));
            painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
            painter.drawRect(band);
            painter.setPen(QPen(QColor(0x1F, 0x7A, 0xE0), 1));
            for (const auto& handle : Handles()) {
                painter.fillRect(handle.second, Qt::white);
                painter.drawRect(handle.second);
            }
        }
    }
    void wheelEvent(QWheelEvent* event) override {
        m_wheel += event->angleDelta().y();
        const int steps = m_wheel / 120;
        if (steps != 0 && m_zoomBy) {
            m_wheel -= steps * 120;
            m_zoomBy(steps, event->position());
        }
        event->accept();
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) {
            return;
        }
        m_from = event->position();
        m_side = QPoint();
        m_grab = Grab::Pan;
        if (m_cropping) {
            m_grab = Grab::New;
            m_start = m_crop;
            for (const auto& handle : m_crop.isEmpty() ? decltype(Handles()){} : Handles()) {
                if (handle.second.adjusted(-2, -2, 2, 2).contains(m_from)) {
                    m_grab = Grab::Side;
                    m_side = handle.first;
                }
            }
            if (m_grab == Grab::New && !m_crop.isEmpty() && Band().contains(m_from)) {
                m_grab = Grab::Move;
            }
            if (m_grab == Grab::New) {
                m_anchor = ToPicture(m_from);
                SetCrop(QRect(m_anchor, m_anchor));
            }
        } else {
            setCursor(Qt::ClosedHandCursor);
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!(event->buttons() & Qt::LeftButton)) {
            return;
        }
        const QPointF at = event->position();
        const QPoint moved((at - m_from).toPoint() / std::max(m_scale, 1e-6));
        switch (m_grab) {
        case Grab::Pan:
            m_offset = Held(m_offset + (at - m_from));
            m_from = at;
            update();
            break;
        case Grab::New:
            SetCrop(QRect(m_anchor, ToPicture(at)));
            break;
        case Grab::Move: {
            QRect band = m_start.translated(moved);
            // Kept whole inside the picture.
            band.moveLeft(std::clamp(band.left(), 0, m_image->width() - band.width()));
            band.moveTop(std::clamp(band.top(), 0, m_image->height() - band.height()));
            SetCrop(band);
            break;
        }
        case Grab::Side: {
            QRect band = m_start;
            band.setLeft(m_side.x() < 0 ? band.left() + moved.x() : band.left());
            band.setRight(m_side.x() > 0 ? band.right() + moved.x() : band.right());
            band.setTop(m_side.y() < 0 ? band.top() + moved.y() : band.top());
            band.setBottom(m_side.y() > 0 ? band.bottom() + moved.y() : band.bottom());
            SetCrop(band);
            break;
        }
        }
    }
    void mouseReleaseEvent(QMouseEvent*) override { unsetCursor(); }
    void resizeEvent(QResizeEvent*) override { m_offset = Held(m_offset); }

private:
    enum class Grab { Pan, New, Move, Side };
    static constexpr double kHandle = 4.0;

    std::function<void()> m_cropChanged;
    std::function<void(int, QPointF)> m_zoomBy;
    const QImage* m_image = nullptr;
    double m_scale = 1.0;
    QPointF m_offset;
    int m_wheel = 0;
    bool m_cropping = false;
    QRect m_crop;
    QRect m_start;
    QPoint m_anchor;
    QPointF m_from;
    QPoint m_side;
    Grab m_grab = Grab::Pan;
};

struct CVexaImageEditDialogTable {
    static const SkinEventRow<CVexaImageEditDialog> kRows[];
};

const SkinEventRow<CVexaImageEditDialog> CVexaImageEditDialogTable::kRows[] = {
    {"button_picture_*", kSkinClick, &CVexaImageEditDialog::OnButton},
    {"button_preview_wnd_*", kSkinClick, &CVexaImageEditDialog::OnButton},
    {nullptr, 0, nullptr},
};

namespace {

// A picture file as the editor opens it: whole, turned as its camera says, refused above the limit.
QImage ReadPicture(const QString& path) {
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || qint64(size.width()) * size.height() > CVexaImageEditDialog::kMaxPixels) {
        return {};
    }
    return reader.read();
}

const char* const kPreviewSlots[] = {"one", "two", "three", "four", "five"};
constexpr int kPreviewMiddle = 2;

QByteArray FormatOf(const QString& name) {
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")) {
        return "JPG";
    }
    return suffix == QLatin1String("bmp") ? QByteArray("BMP") : QByteArray("PNG");
}

// Writes the picture in the format its name says, through a temporary file; false (logged) when not.
bool WriteImage(const QImage& image, const QString& path) {
    const QByteArray format = FormatOf(path);
    const IoResult written = WriteFileAtomically(path, [&image, &format](QIODevice& out) {
        QImageWriter writer(&out, format);
        writer.setQuality(95);
        return writer.write(image) ? IoResult::Ok() : IoResult::Fail(writer.errorString());
    });
    if (!written) {
        LOG_Error("[PictureEditor] %s. %s:%d", qUtf8Printable(written.error), LOG_HERE);
    }
    return static_cast<bool>(written);
}

} // namespace

CVexaImageEditDialog::CVexaImageEditDialog(PhoneRunner phone, PageActions actions, int album,
                                           std::vector<pictures::PictureItem> pictures, int index, QWidget* parent)
    : CSkinDialog(parent), m_phone(std::move(phone)), m_actions(std::move(actions)), m_album(album),
      m_pictures(std::move(pictures)), m_index(index),
      m_temp(QDir::tempPath() + QStringLiteral("/vexa-edit-XXXXXX")),
      m_runCut([](CVexaImageCutDialog& cut) { return cut.DoModal(); }) {}

CVexaImageEditDialog::~CVexaImageEditDialog() = default;

bool CVexaImageEditDialog::OnInitDialog() {
    SetKeyButtons({QStringLiteral("button_picture_cut_ok")},
                  {QStringLiteral("button_picture_cut_cancel"), QStringLiteral("button_picture_close")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("picture_editor")) == 0) {
        return false;
    }
    const struct {
        const char* name;
        int text;
    } texts[] = {{"button_picture_rotate_left", 816}, {"button_picture_rotate_right", 817}, {"button_picture_cut", 791},
                 {"button_picture_prev", 792},        {"button_picture_next", 793},         {"button_picture_little", 806},
                 {"button_picture_large", 805},       {"button_picture_save", 2710},        {"button_picture_export", 814},
                 {"button_picture_wallpaper", 798},   {"button_picture_delete", 802},       {"button_picture_cut_ok", 724},
                 {"button_picture_cut_cancel", 722}};
    for (const auto& t : texts) {
        Plugin_SetText(GetPluginByName(this, QString::fromLatin1(t.name)), Str(t.text));
    }
    for (const char* slot : kPreviewSlots) {
        // An empty slot keeps its place, so the picture shown stays in the strip's middle.
        if (QWidget* frame = GetPluginByName(this, QStringLiteral("picture_preview_wnd_") + QLatin1String(slot))) {
            QSizePolicy policy = frame->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            frame->setSizePolicy(policy);
        }
    }
    m_canvas = new CImageCanvas([this] { ShowTools(); }, [this](int steps, QPointF at) { ZoomBy(steps, at); });
    if (auto* host = qobject_cast<CSkinHost*>(GetPluginByName(this, QStringLiteral("image_show")))) {
        host->SetChild(m_canvas);
    }
    if (QWidget* root = GetLayoutRoot(this)) {
        // Never larger than the main window it belongs to, and centred over it.
        QSize size = root->size();
        if (parentWidget() != nullptr) {
            size = size.boundedTo(parentWidget()->window()->size()).expandedTo(minimumSizeHint());
        }
        resize(size);
    }
    CentreOver(parentWidget());
    CreateShadow();
    ShowPicture(m_index);
    return true;
}

LRESULT CVexaImageEditDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CVexaImageEditDialogTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

bool CVexaImageEditDialog::ShowPicture(int index) {
    if (index < 0 || index >= static_cast<int>(m_pictures.size()) || !m_temp.isValid()) {
        return false;
    }
    // The previous copy goes first: only the picture shown is kept on the computer.
    if (!m_tempPath.isEmpty()) {
        QFile::remove(m_tempPath);
        m_tempPath.clear();
    }
    m_image = QImage();
    m_index = index;
    const pictures::PictureItem& picture = m_pictures[static_cast<std::size_t>(index)];
    const QString local = m_temp.filePath(QFileInfo(picture.name).fileName());
    const int fetched = m_phone(328, [&](vexa::DeviceSession&, vexa::PictureStore& store) {
        return store.DownloadPicture(picture.path, local, {}, nullptr) ? 1 : 0;
    });
    if (fetched == 1) {
        m_tempPath = local;
        m_image = ReadPicture(local);
    }
    m_zoom = 1.0;
    m_actualSize = false;
    m_turns = 0;
    if (m_canvas != nullptr) {
        m_canvas->SetCropping(false);
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), picture.name);
    ShowPreviews();
    Redraw();
    if (m_image.isNull()) {
        Say(Str(2713), 330);
        return false;
    }
    return true;
}

bool CVexaImageEditDialog::MayLeave() {
    if (m_turns == 0 || m_image.isNull()) {
        return true;
    }
    switch (VexaMessageBox(Str(3583), this, Str(2710), 3)) {
    case 6: {
        const QString saved = SaveCopy();
        if (saved.isEmpty()) {
            Say(Str(2712), 2710);
        }
        return !saved.isEmpty();
    }
    case 7:
        return true;
    default:
        return false;
    }
}

void CVexaImageEditDialog::Close() {
    if (MayLeave()) {
        EndDialog(static_cast<int>(IDCANCEL));
    }
}

void CVexaImageEditDialog::OnCloseRequest() {
    Close();
}

void CVexaImageEditDialog::Previous() {
    if (m_index > 0 && MayLeave()) {
        ShowPicture(m_index - 1);
    }
}

void CVexaImageEditDialog::Next() {
    if (m_index + 1 < static_cast<int>(m_pictures.size()) && MayLeave()) {
        ShowPicture(m_index + 1);
    }
}

void CVexaImageEditDialog::ZoomIn() {
    // From the fitted view, zooming starts at the scale the picture is shown at.
    const double from = m_actualSize || m_canvas == nullptr ? m_zoom : m_canvas->FitScale(m_image);
    m_zoom = pictures::ClampZoom(from * 1.25);
    m_actualSize = true;
    Redraw();
}

void CVexaImageEditDialog::ZoomOut() {
    const double from = m_actualSize || m_canvas == nullptr ? m_zoom : m_canvas->FitScale(m_image);
    m_zoom = pictures::ClampZoom(from / 1.25);
    m_actualSize = true;
    Redraw();
}

void CVexaImageEditDialog::ZoomBy(int steps, QPointF at) {
    if (m_image.isNull() || steps == 0 || Cropping()) {
        return;
    }
    const double from = m_actualSize || m_canvas == nullptr ? m_zoom : m_canvas->FitScale(m_image);
    m_zoom = pictures::ClampZoom(from * std::pow(1.25, steps));
    m_actualSize = true;
    Redraw(at);
}

QPointF CVexaImageEditDialog::PanOffset() const {
    return m_canvas != nullptr ? m_canvas->Offset() : QPointF();
}

QWidget* CVexaImageEditDialog::Canvas() const {
    return m_canvas;
}

void CVexaImageEditDialog::ToggleActualSize() {
    m_actualSize = !m_actualSize;
    if (m_actualSize) {
        m_zoom = 1.0;
    }
    Redraw();
}

void CVexaImageEditDialog::Rotate(bool right) {
    if (!m_image.isNull()) {
        m_image = m_image.transformed(QTransform().rotate(right ? 90 : -90));
        m_turns = (m_turns + (right ? 1 : 3)) % 4;
        Redraw();
    }
}

bool CVexaImageEditDialog::Cropping() const {
    return m_canvas != nullptr && m_canvas->Cropping();
}

QRect CVexaImageEditDialog::CropRect() const {
    return m_canvas != nullptr ? m_canvas->Crop() : QRect();
}

void CVexaImageEditDialog::BeginCrop() {
    if (m_canvas != nullptr && !m_image.isNull()) {
        m_canvas->SetCropping(true);
        ShowTools();
    }
}

void CVexaImageEditDialog::SetCropRect(const QRect& pictureRect) {
    if (Cropping()) {
        m_canvas->SetCrop(pictureRect);
    }
}

void CVexaImageEditDialog::CancelCrop() {
    if (m_canvas != nullptr) {
        m_canvas->SetCropping(false);
    }
    ShowTools();
}

bool CVexaImageEditDialog::ApplyCrop() {
    const QRect crop = CropRect();
    if (!Cropping() || crop.width() < 1 || crop.height() < 1) {
        return false;
    }
    CVexaImageCutDialog cut(m_image.copy(crop), CVexaImageCutDialog::DefaultResultPath(), this);
    if (m_runCut(cut) != IDOK) {
        return false;
    }
    const QImage result = ReadPicture(cut.ResultPath());
    QFile::remove(cut.ResultPath()); // ours, and read: nothing else is to find it
    if (result.isNull()) {
        Say(Str(830), 791);
        return false;
    }
    const QImage whole = m_image;
    m_image = result;
    m_canvas->SetCropping(false);
    m_savedName = SaveCopy();
    const bool saved = !m_savedName.isEmpty();
    if (!saved) {
        m_image = whole;
    }
    Redraw();
    // The picture on the phone stays as it was: the crop is a copy, and the message names it.
    Say(saved ? Str(829) + QStringLiteral("\r\n") + FormatText(Str(2711), qUtf8Printable(m_savedName)) : Str(830), 791);
    return saved;
}

QString CVexaImageEditDialog::SaveCopy() {
    if (m_image.isNull() || m_index < 0 || !m_temp.isValid()) {
        return {};
    }
    const pictures::PictureItem& picture = m_pictures[static_cast<std::size_t>(m_index)];
    const QString name = pictures::EditedCopyName(picture.name, QDateTime::currentDateTime());
    const QString local = m_temp.filePath(name);
    if (!WriteImage(m_image, local)) {
        return {};
    }
    const int album = m_album;
    const int imported = m_phone(819, [&](vexa::DeviceSession&, vexa::PictureStore& store) {
        return pictures::ImportPictures(store, album, {local}, {}).done == 1 ? 1 : 0;
    });
    QFile::remove(local);
    if (imported != 1) {
        return {};
    }
    m_albumChanged = true;
    m_turns = 0; // what was turned is kept in the copy
    return name;
}

void CVexaImageEditDialog::ShowPreviews() {
    for (int slot = 0; slot < static_cast<int>(std::size(kPreviewSlots)); ++slot) {
        const QString name = QLatin1String(kPreviewSlots[slot]);
        QWidget* frame = GetPluginByName(this, QStringLiteral("picture_preview_wnd_") + name);
        auto* button = qobject_cast<QAbstractButton*>(GetPluginByName(this, QStringLiteral("button_preview_wnd_") + name));
        if (frame == nullptr || button == nullptr) {
            continue;
        }
        const int index = m_index - kPreviewMiddle + slot;
        const bool valid = index >= 0 && index < static_cast<int>(m_pictures.size());
        button->setProperty("pictureIndex", valid ? index : -1);
        Plugin_SetVisible(frame, valid);
        if (!valid) {
            continue;
        }
        const pictures::PictureItem& item = m_pictures[static_cast<std::size_t>(index)];
        QImage thumb = m_actions.thumbnail ? m_actions.thumbnail(item) : QImage();
        if (thumb.isNull() && !item.thumbnail.isEmpty()) {
            thumb.loadFromData(item.thumbnail);
        }
        const QPixmap pixmap = thumb.isNull() ? QPixmap(AppSkin()->ImageFolder() + QStringLiteral("/photo_thumb.svg"))
                                              : QPixmap::fromImage(thumb);
        button->setIcon(QIcon(pixmap.scaled(button->iconSize(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        button->setToolTip(item.name);
        Plugin_SetStyle(frame, slot == kPreviewMiddle ? QStringLiteral("picture_cell_selected") : QStringLiteral("picture_cell"));
    }
}

int CVexaImageEditDialog::PreviewIndex(int slot) const {
    if (slot < 0 || slot >= static_cast<int>(std::size(kPreviewSlots))) {
        return -1;
    }
    QWidget* button = GetPluginByName(const_cast<CVexaImageEditDialog*>(this),
                                      QStringLiteral("button_preview_wnd_") + QLatin1String(kPreviewSlots[slot]));
    return button != nullptr ? button->property("pictureIndex").toInt() : -1;
}

void CVexaImageEditDialog::OpenPreview(int slot) {
    const int index = PreviewIndex(slot);
    if (index >= 0 && index != m_index && !Cropping() && MayLeave()) {
        ShowPicture(index);
    }
}

QString CVexaImageEditDialog::SaveCopyTo(const QString& folder) {
    if (m_image.isNull() || m_index < 0 || folder.isEmpty() || !QDir(folder).exists()) {
        return {};
    }
    const pictures::PictureItem& picture = m_pictures[static_cast<std::size_t>(m_index)];
    const QString name = pictures::EditedCopyName(picture.name, QDateTime::currentDateTime());
    const QString target = QDir(folder).filePath(name);
    if (QFileInfo::exists(target) &&
        VexaMessageBox(Str(864) + QStringLiteral("\r\n") + Str(865), this, Str(863), 4) != 6) {
        return {};
    }
    if (!WriteImage(m_image, target)) {
        return {};
    }
    m_turns = 0;
    return target;
}

void CVexaImageEditDialog::SaveFromMenu() {
    auto* button = GetPluginByName(this, QStringLiteral("button_picture_save"));
    QMenu menu(this);
    QAction* album = menu.addAction(Str(3584));
    QAction* computer = menu.addAction(Str(3585));
    const QAction* chosen = menu.exec(button != nullptr ? button->mapToGlobal(QPoint(0, button->height())) : QCursor::pos());
    if (chosen == album) {
        const QString saved = SaveCopy();
        Redraw();
        Say(saved.isEmpty() ? Str(2712) : FormatText(Str(2711), qUtf8Printable(saved)), 2710);
    } else if (chosen == computer && m_actions.chooseFolder) {
        const QString folder = m_actions.chooseFolder();
        if (folder.isEmpty()) {
            return;
        }
        const QString saved = SaveCopyTo(folder);
        Say(saved.isEmpty() ? Str(2712) : FormatText(Str(2711), qUtf8Printable(QDir::toNativeSeparators(saved))), 2710);
    }
}

bool CVexaImageEditDialog::DeleteShown() {
    if (m_index < 0 || m_index >= static_cast<int>(m_pictures.size())) {
        return false;
    }
    const pictures::PictureItem picture = m_pictures[static_cast<std::size_t>(m_index)];
    if (VexaMessageBox(FormatText(Str(803), qUtf8Printable(picture.name)), this, Str(802), 1) != 1) {
        return false;
    }
    const int deleted = m_phone(810, [&](vexa::DeviceSession& session, vexa::PictureStore& store) {
        const pictures::BatchOutcome outcome =
            pictures::DeletePictures(store, {picture}, {}, [&session] { return session.IsConnected(); });
        return outcome.done == 1 ? 1 : 0;
    });
    if (deleted != 1) {
        Say(Str(825), 802);
        return false;
    }
    m_albumChanged = true;
    m_pictures.erase(m_pictures.begin() + m_index);
    if (m_pictures.empty()) {
        EndDialog(static_cast<int>(IDOK));
        return true;
    }
    ShowPicture(std::min(m_index, static_cast<int>(m_pictures.size()) - 1));
    return true;
}

void CVexaImageEditDialog::Redraw(std::optional<QPointF> anchor) {
    double scale = m_zoom;
    if (!m_actualSize && m_canvas != nullptr) {
        scale = m_canvas->FitScale(m_image);
    }
    if (m_canvas != nullptr) {
        m_canvas->SetPicture(&m_image, scale, anchor);
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("percent_of_pic")),
                   m_image.isNull() ? QString() : QStringLiteral("%1%").arg(qRound(scale * 100)));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_picture_scale")), Str(m_actualSize ? 808 : 807));
    ShowTools();
}

void CVexaImageEditDialog::ShowTools() {
    const bool cropping = Cropping();
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("cut_tool_bar")), cropping);
    const QRect crop = CropRect();
    // Until a band is pulled the place of its size tells how to pull one.
    Plugin_SetText(GetPluginByName(this, QStringLiteral("pixel_of_cut")),
                   crop.isEmpty() ? Str(3582) : QString::asprintf("%d * %d", crop.width(), crop.height()));
    const bool shown = !m_image.isNull();
    for (const char* name : {"button_picture_rotate_left", "button_picture_rotate_right", "button_picture_cut",
                             "button_picture_little", "button_picture_large", "button_picture_scale",
                             "button_picture_save", "button_picture_export", "button_picture_wallpaper"}) {
        Plugin_SetEnabled(GetPluginByName(this, QString::fromLatin1(name)), shown && !cropping);
    }
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("button_picture_delete")), !cropping);
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("button_picture_prev")), m_index > 0 && !cropping);
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("button_picture_next")),
                      m_index + 1 < static_cast<int>(m_pictures.size()) && !cropping);
}

void CVexaImageEditDialog::Say(const QString& text, int caption) {
    VexaMessageBox(text, this, Str(caption), 0);
}

LRESULT CVexaImageEditDialog::OnButton(QWidget* button, std::intptr_t, std::intptr_t) {
    const QString name = Plugin_GetName(button);
    const pictures::PictureItem* shown =
        m_index >= 0 && m_index < static_cast<int>(m_pictures.size()) ? &m_pictures[static_cast<std::size_t>(m_index)] : nullptr;
    if (name.startsWith(QLatin1String("button_preview_wnd_"))) {
        for (int slot = 0; slot < static_cast<int>(std::size(kPreviewSlots)); ++slot) {
            if (name.endsWith(QLatin1String(kPreviewSlots[slot]))) {
                OpenPreview(slot);
            }
        }
    } else if (name == QLatin1String("button_picture_close")) {
        Close();
    } else if (name == QLatin1String("button_picture_rotate_left") || name == QLatin1String("button_picture_rotate_right")) {
        Rotate(name.endsWith(QLatin1String("right")));
    } else if (name == QLatin1String("button_picture_cut")) {
        BeginCrop();
    } else if (name == QLatin1String("button_picture_cut_ok")) {
        ApplyCrop();
    } else if (name == QLatin1String("button_picture_cut_cancel")) {
        CancelCrop();
    } else if (name == QLatin1String("button_picture_prev")) {
        Previous();
    } else if (name == QLatin1String("button_picture_next")) {
        Next();
    } else if (name == QLatin1String("button_picture_large")) {
        ZoomIn();
    } else if (name == QLatin1String("button_picture_little")) {
        ZoomOut();
    } else if (name == QLatin1String("button_picture_scale")) {
        ToggleActualSize();
    } else if (name == QLatin1String("button_picture_save")) {
        SaveFromMenu();
    } else if (name == QLatin1String("button_picture_delete")) {
        DeleteShown();
    } else if (name == QLatin1String("button_picture_export") && shown != nullptr && m_actions.exportPicture) {
        m_actions.exportPicture(*shown);
    } else if (name == QLatin1String("button_picture_wallpaper") && shown != nullptr && m_actions.setWallpaper) {
        m_actions.setWallpaper(*shown);
    } else {
        return 0;
    }
    return 1;
}
