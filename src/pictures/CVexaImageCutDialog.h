#pragma once
// The crop dialog: the part of a picture the editor's band held, mirrored across either axis or
// turned a quarter right as often as wanted; OK writes the result as PNG to a fixed file (by
// default edit_result.png in the folder named by TEMP, else the system's temporary folder) and
// ends with IDOK, Cancel and the close button end with IDCANCEL. UI thread only.

#include "controls/CSkinDialog.h"

#include <QImage>

class CVexaImageCutDialog : public CSkinDialog {
public:
    CVexaImageCutDialog(QImage image, QString resultPath, QWidget* parent = nullptr);

    static QString DefaultResultPath();

    void FlipX();
    void FlipY();
    void Rotate();
    // Writes the result file and ends the dialog; stays open when the file cannot be written.
    bool PressOk();
    const QImage& Image() const { return m_image; }
    QString ResultPath() const { return m_resultPath; }

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnCloseRequest() override { EndDialog(static_cast<int>(IDCANCEL)); }

private:
    LRESULT OnButton(QWidget* button, std::intptr_t, std::intptr_t);
    void Show();

    QImage m_image;
    QString m_resultPath;

    friend struct CVexaImageCutDialogTable;
};
