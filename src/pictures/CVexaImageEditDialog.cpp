#include "pictures/CVexaImageEditDialog.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/PictureStore.h"
#include "controls/VexaMessageBox.h"
#include "libs/log/Log.h"
#include "pictures/PictureRules.h"
#include "platform/AtomicFile.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"
#include "skin/SkinWidgets.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

// Draws the picture fitted or zoomed, centred, and in crop mode the rubber band the user pulls.
class CImageCanvas : public QWidget {
public:
    explicit CImageCanvas(std::function<void()> cropChanged) : m_cropChanged(std::move(cropChanged)) {
        setMinimumSize(200, 150);
        setMouseTracking(false);
    }
    void SetPicture(const QImage* image, double scale) {
        m_image = image;
        m_scale = scale;
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

protected:
    QRectF Target() const {
        if (m_image == nullptr || m_image->isNull()) {
            return {};
        }
        const QSizeF size(m_image->width() * m_scale, m_image->height() * m_scale);
        return QRectF(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    }
    QPoint ToPicture(const QPointF& at) const {
        const QRectF target = Target();
        return QPoint(int(std::floor((at.x() - target.left()) / m_scale)), int(std::floor((at.y() - target.top()) / m_scale)));
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
            const QRectF band(target.left() + m_crop.left() * m_scale, target.top() + m_crop.top() * m_scale,
                              m_crop.width() * m_scale, m_crop.height() * m_scale);
            QPainterPath outside;
            outside.addRect(target);
            outside.addRect(band);
            painter.fillPath(outside, QColor(0, 0, 0, 120));
            painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
            painter.drawRect(band);
        }
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (m_cropping && event->button() == Qt::LeftButton) {
            m_anchor = ToPicture(event->position());
            SetCrop(QRect(m_anchor, m_anchor));
        }
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (m_cropping && (event->buttons() & Qt::LeftButton)) {
            SetCrop(QRect(m_anchor, ToPicture(event->position())));
        }
    }

private:
    std::function<void()> m_cropChanged;
    const QImage* m_image = nullptr;
    double m_scale = 1.0;
    bool m_cropping = false;
    QRect m_crop;
    QPoint m_anchor;
};

struct CVexaImageEditDialogTable {
    static const SkinEventRow<CVexaImageEditDialog> kRows[];
};

const SkinEventRow<CVexaImageEditDialog> CVexaImageEditDialogTable::kRows[] = {
    {"button_picture_*", kSkinClick, &CVexaImageEditDialog::OnButton},
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

QByteArray FormatOf(const QString& name) {
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")) {
        return "JPG";
    }
    return suffix == QLatin1String("bmp") ? QByteArray("BMP") : QByteArray("PNG");
}

} // namespace

CVexaImageEditDialog::CVexaImageEditDialog(PhoneRunner phone, PageActions actions, int album,
                                           std::vector<pictures::PictureItem> pictures, int index, QWidget* parent)
    : CSkinDialog(parent), m_phone(std::move(phone)), m_actions(std::move(actions)), m_album(album),
      m_pictures(std::move(pictures)), m_index(index),
      m_temp(QDir::tempPath() + QStringLiteral("/vexa-edit-XXXXXX")) {}

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
    m_canvas = new CImageCanvas([this] { ShowTools(); });
    if (auto* host = qobject_cast<CSkinHost*>(GetPluginByName(this, QStringLiteral("image_show")))) {
        host->SetChild(m_canvas);
    }
    if (QWidget* root = GetLayoutRoot(this)) {
        resize(root->size());
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
    if (m_canvas != nullptr) {
        m_canvas->SetCropping(false);
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), picture.name);
    Redraw();
    if (m_image.isNull()) {
        Say(Str(2713), 330);
        return false;
    }
    return true;
}

void CVexaImageEditDialog::Previous() {
    if (m_index > 0) {
        ShowPicture(m_index - 1);
    }
}

void CVexaImageEditDialog::Next() {
    if (m_index + 1 < static_cast<int>(m_pictures.size())) {
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
    const QImage whole = m_image;
    m_image = m_image.copy(crop);
    m_canvas->SetCropping(false);
    const bool saved = !SaveCopy().isEmpty();
    if (!saved) {
        m_image = whole;
    }
    Redraw();
    Say(Str(saved ? 829 : 830), 791);
    return saved;
}

QString CVexaImageEditDialog::SaveCopy() {
    if (m_image.isNull() || m_index < 0 || !m_temp.isValid()) {
        return {};
    }
    const pictures::PictureItem& picture = m_pictures[static_cast<std::size_t>(m_index)];
    const QString name = pictures::EditedCopyName(picture.name, QDateTime::currentDateTime());
    const QString local = m_temp.filePath(name);
    const QByteArray format = FormatOf(name);
    const IoResult written = WriteFileAtomically(local, [this, &format](QIODevice& out) {
        QImageWriter writer(&out, format);
        writer.setQuality(95);
        return writer.write(m_image) ? IoResult::Ok() : IoResult::Fail(writer.errorString());
    });
    if (!written) {
        LOG_Error("[PictureEditor] %s. %s:%d", qUtf8Printable(written.error), LOG_HERE);
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
    return name;
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

void CVexaImageEditDialog::Redraw() {
    double scale = m_zoom;
    if (!m_actualSize && m_canvas != nullptr) {
        scale = m_canvas->FitScale(m_image);
    }
    if (m_canvas != nullptr) {
        m_canvas->SetPicture(&m_image, scale);
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
    Plugin_SetText(GetPluginByName(this, QStringLiteral("pixel_of_cut")),
                   QString::asprintf("%d * %d", crop.width(), crop.height()));
    const bool shown = !m_image.isNull();
    for (const char* name : {"button_picture_rotate_left", "button_picture_rotate_right", "button_picture_cut",
                             "button_picture_little", "button_picture_large", "button_picture_scale",
                             "button_picture_save", "button_picture_export", "button_picture_wallpaper"}) {
        Plugin_SetEnabled(GetPluginByName(this, QString::fromLatin1(name)), shown && !cropping);
    }
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
    if (name == QLatin1String("button_picture_close")) {
        EndDialog(static_cast<int>(IDCANCEL));
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
        const QString saved = SaveCopy();
        Say(saved.isEmpty() ? Str(2712) : FormatText(Str(2711), qUtf8Printable(saved)), 2710);
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
