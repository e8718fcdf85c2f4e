#pragma once
// The picture viewer and editor ("picture_editor"): one picture of an album, fetched into this
// run's own temporary folder, shown fitted to the window or at a zoom of 0.1 to 10; turned left
// or right, cropped with a rubber band, saved as a copy ("副本" and the time) into the same album;
// the album's previous and next pictures, delete, export and wallpaper. The wheel zooms about the
// pointer and a zoomed picture is dragged; leaving a turned picture unsaved asks first.
//
// The dialog never calls the phone itself: every phone step goes through the page's runner, which
// runs it on a worker inside the session gate behind a busy dialog. UI thread only.

#include "controls/CSkinDialog.h"
#include "pictures/PictureLibrary.h"

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QTemporaryDir>

#include <functional>
#include <optional>
#include <vector>

namespace vexa {
class PictureStore;
}

class CImageCanvas;
class CVexaImageCutDialog;

class CVexaImageEditDialog : public CSkinDialog {
public:
    // Runs call on the phone (tip: the busy text); its result, or -1 when there is no phone.
    using PhoneRunner = std::function<int(int tipId, const std::function<int(vexa::DeviceSession&, vexa::PictureStore&)>& call)>;
    // What the page does for one picture: export (asks the folder) and wallpaper.
    struct PageActions {
        std::function<void(const pictures::PictureItem&)> exportPicture;
        std::function<void(const pictures::PictureItem&)> setWallpaper;
        // A folder of the computer for a copy; empty when the user chose none.
        std::function<QString()> chooseFolder;
        // A thumbnail the page has at hand (null when it has none): no phone call for the strip.
        std::function<QImage(const pictures::PictureItem&)> thumbnail;
    };

    CVexaImageEditDialog(PhoneRunner phone, PageActions actions, int album, std::vector<pictures::PictureItem> pictures,
                         int index, QWidget* parent = nullptr);
    ~CVexaImageEditDialog() override;

    // Fetches and shows the index'th picture; false (and nothing shown) when it cannot be fetched or read.
    bool ShowPicture(int index);
    void Previous();
    void Next();
    void ZoomIn();
    void ZoomOut();
    // steps of the wheel (up positive) about a point of the canvas, which keeps its pixel.
    void ZoomBy(int steps, QPointF at);
    // Ends the dialog, after asking about a turn not saved; stays when the user says so.
    void Close();
    // Fit to the window, or the picture's own size times the zoom.
    void ToggleActualSize();
    void Rotate(bool right);
    // Crop mode: the part of the picture (its pixels) the rubber band holds.
    void BeginCrop();
    void SetCropRect(const QRect& pictureRect);
    // How the crop dialog runs (modal by default; tests answer it in place); its end code.
    void SetCutRunner(std::function<int(CVexaImageCutDialog&)> run) { m_runCut = std::move(run); }
    // Hands the rubber band's part to the crop dialog (flips, turns) and stores what it wrote as a
    // copy in the album (829 or 830); a cancelled crop dialog leaves the band as it was.
    bool ApplyCrop();
    void CancelCrop();
    // Writes the picture as shown into the album under its copy name; the name, or empty on failure.
    QString SaveCopy();
    // Writes the picture as shown into a folder of the computer under its copy name, asking before
    // it replaces a file of that name (864/865); the path written, or empty.
    QString SaveCopyTo(const QString& folder);
    bool DeleteShown();

    // State, for tests and pictures.
    int Index() const { return m_index; }
    const std::vector<pictures::PictureItem>& Pictures() const { return m_pictures; }
    const QImage& Picture() const { return m_image; }
    QString TempPath() const { return m_tempPath; }
    double Zoom() const { return m_zoom; }
    bool ActualSize() const { return m_actualSize; }
    bool Cropping() const;
    QRect CropRect() const;
    // The picture of the strip's slot (0..4, the one shown in the middle); -1 for an empty slot.
    int PreviewIndex(int slot) const;
    // How far a drag moved the picture from its centred place, in canvas pixels.
    QPointF PanOffset() const;
    QWidget* Canvas() const;
    // Whether the album changed (a copy added, a picture deleted): the page reads it again.
    bool AlbumChanged() const { return m_albumChanged; }
    // The largest picture the editor opens (pixels), so a hostile file cannot take the memory.
    static constexpr qint64 kMaxPixels = 64LL * 1024 * 1024;

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnCloseRequest() override;

private:
    LRESULT OnButton(QWidget* button, std::intptr_t, std::intptr_t);
    // Whether the picture shown may be left: a turn not saved is offered to be saved first.
    bool MayLeave();
    // The five-picture strip around the picture shown, and a click on one of its slots.
    void ShowPreviews();
    void OpenPreview(int slot);
    // 另存副本: to the phone's album or to a folder of the computer.
    void SaveFromMenu();
    void Redraw(std::optional<QPointF> anchor = {});
    void ShowTools();
    void Say(const QString& text, int caption);

    PhoneRunner m_phone;
    PageActions m_actions;
    int m_album;
    std::vector<pictures::PictureItem> m_pictures;
    int m_index;
    QTemporaryDir m_temp;
    QString m_tempPath;
    QImage m_image;
    double m_zoom = 1.0;
    bool m_actualSize = false;
    bool m_albumChanged = false;
    std::function<int(CVexaImageCutDialog&)> m_runCut;
    int m_turns = 0; // quarter turns right since the picture was shown or last saved
    QString m_savedName;
    CImageCanvas* m_canvas = nullptr;

    friend struct CVexaImageEditDialogTable;
};
