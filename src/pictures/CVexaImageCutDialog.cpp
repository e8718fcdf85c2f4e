#include "pictures/CVexaImageCutDialog.h"

#include "libs/log/Log.h"
#include "platform/AtomicFile.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QDir>
#include <QImageWriter>
#include <QLabel>

struct CVexaImageCutDialogTable {
    static const SkinEventRow<CVexaImageCutDialog> kRows[];
};

const SkinEventRow<CVexaImageCutDialog> CVexaImageCutDialogTable::kRows[] = {
    {"*", kSkinClick, &CVexaImageCutDialog::OnButton},
    {nullptr, 0, nullptr},
};

CVexaImageCutDialog::CVexaImageCutDialog(QImage image, QString resultPath, QWidget* parent)
    : CSkinDialog(parent), m_image(std::move(image)), m_resultPath(std::move(resultPath)) {}

QString CVexaImageCutDialog::DefaultResultPath() {
    const QString folder = qEnvironmentVariable("TEMP", QDir::tempPath());
    return QDir(folder).filePath(QStringLiteral("edit_result.png"));
}

bool CVexaImageCutDialog::OnInitDialog() {
    SetKeyButtons({QStringLiteral("ok_button")}, {QStringLiteral("cancel_button")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("picture_cut_dialog")) == 0) {
        return false;
    }
    const std::pair<const char*, int> texts[] = {{"caption_title", 791}, {"FlipX_button", 3586}, {"FlipY_button", 3587},
                                                 {"Rotate_button", 817},  {"ok_button", 724},     {"cancel_button", 722}};
    for (const auto& [name, id] : texts) {
        Plugin_SetText(GetPluginByName(this, QString::fromLatin1(name)), Str(id));
    }
    FitToLayout(true);
    Show();
    return true;
}

LRESULT CVexaImageCutDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CVexaImageCutDialogTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CVexaImageCutDialog::OnButton(QWidget* button, std::intptr_t, std::intptr_t) {
    const QString name = Plugin_GetName(button);
    if (name == QLatin1String("FlipX_button")) {
        FlipX();
    } else if (name == QLatin1String("FlipY_button")) {
        FlipY();
    } else if (name == QLatin1String("Rotate_button")) {
        Rotate();
    } else if (name == QLatin1String("ok_button")) {
        PressOk();
    } else if (name == QLatin1String("cancel_button") || name == QLatin1String("Button_Close")) {
        EndDialog(static_cast<int>(IDCANCEL));
    } else {
        return 0;
    }
    return 1;
}

void CVexaImageCutDialog::FlipX() {
    m_image = m_image.mirrored(true, false);
    Show();
}

void CVexaImageCutDialog::FlipY() {
    m_image = m_image.mirrored(false, true);
    Show();
}

void CVexaImageCutDialog::Rotate() {
    m_image = m_image.transformed(QTransform().rotate(90));
    Show();
}

bool CVexaImageCutDialog::PressOk() {
    const IoResult written = WriteFileAtomically(m_resultPath, [this](QIODevice& out) {
        QImageWriter writer(&out, "PNG");
        return writer.write(m_image) ? IoResult::Ok() : IoResult::Fail(writer.errorString());
    });
    if (!written) {
        LOG_Error("[PictureCut] %s. %s:%d", qUtf8Printable(written.error), LOG_HERE);
        return false;
    }
    EndDialog(static_cast<int>(IDOK));
    return true;
}

void CVexaImageCutDialog::Show() {
    auto* label = qobject_cast<QLabel*>(GetPluginByName(this, QStringLiteral("cut_image")));
    if (label == nullptr || m_image.isNull()) {
        return;
    }
    // Small crops are shown larger (up to four times), large ones fitted.
    const QSize room = label->minimumSize();
    const double scale = std::min({4.0, double(room.width()) / m_image.width(), double(room.height()) / m_image.height()});
    label->setPixmap(QPixmap::fromImage(m_image.scaled(m_image.size() * scale, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}
