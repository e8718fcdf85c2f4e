#include "controls/ControlsScreenshots.h"

#include "controls/CAnimateDialog.h"
#include "controls/CAnimateDialogNoCaption.h"
#include "controls/CSmallAnimateDialog.h"
#include "controls/CVexaProgressDlg.h"
#include "controls/VexaMessageBox.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinScreenshot.h"

#include <QListWidget>

namespace {

template <class T>
std::unique_ptr<QWidget> Shown(std::unique_ptr<T> dialog) {
    if (!dialog->CreateModeless()) {
        return nullptr;
    }
    return dialog;
}

// Every skinned control on one page, to check the sheet at a glance.
class CSkinGallery : public CMsgWnd {
public:
    CSkinGallery() : CMsgWnd(nullptr, Qt::Window | Qt::FramelessWindowHint) {}

    bool Fill() {
        if (WindowManager_Attach(AppSkin(), this, QStringLiteral("skin_gallery")) == 0) {
            return false;
        }
        setFixedSize(GetLayoutRoot(this)->size());
        Plugin_SetText(GetLayoutRoot(this), Str(388));
        const struct {
            const char* name;
            int text;
        } texts[] = {
            {"tab_btn_home", 199},          {"tab_btn_contact", 267},      {"tab_btn_picture", 302},
            {"tab_btn_app", 593},           {"gallery_section", 2105},     {"gallery_check_on", 2106},
            {"gallery_check_off", 2107},    {"gallery_check_disabled", 2108}, {"gallery_radio_a", 2109},
            {"gallery_radio_b", 2110},      {"gallery_note", 2111},        {"gallery_disabled_btn", 275},
            {"gallery_default_btn", 757},   {"gallery_primary_btn", 724},
        };
        for (const auto& t : texts) {
            Plugin_SetText(GetPluginByName(this, QString::fromLatin1(t.name)), Str(t.text));
        }
        Plugin_SetValue(GetPluginByName(this, QStringLiteral("tab_btn_contact")), 1);
        Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("gallery_disabled_btn")), false);
        if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("gallery_list")))) {
            for (int id : {2101, 2102, 2103, 2104}) {
                list->addItem(Str(id));
            }
            list->setCurrentRow(1);
            list->setFocus(Qt::OtherFocusReason);
        }
        return true;
    }
};

} // namespace

void RegisterControlsScreenshots() {
    const QString dialog = QStringLiteral("dialog");
    RegisterScreenshotScene(dialog, QStringLiteral("message_box"), [] {
        return Shown(std::make_unique<CVexaMessageBoxImpl>(Str(2100), nullptr, Str(388), 3));
    });
    RegisterScreenshotScene(dialog, QStringLiteral("progress"), [] {
        auto dlg = std::make_unique<CVexaProgressDlg>();
        dlg->m_strTitle = Str(300);
        dlg->m_strRemind = Str(813);
        dlg->m_bCanCancel = true;
        if (!dlg->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        dlg->SetProgress(100, 40, false);
        return std::unique_ptr<QWidget>(std::move(dlg));
    });
    RegisterScreenshotScene(dialog, QStringLiteral("busy"), [] {
        auto dlg = std::make_unique<CAnimateDialog>();
        dlg->m_strCaption = Str(388);
        dlg->m_strTip = Str(742);
        dlg->m_bCloseEnabled = 1;
        return Shown(std::move(dlg));
    });
    RegisterScreenshotScene(dialog, QStringLiteral("busy_no_caption"), [] {
        auto dlg = std::make_unique<CAnimateDialogNoCaption>();
        dlg->m_strTip = Str(328);
        return Shown(std::move(dlg));
    });
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("skin_gallery"), [] {
        auto gallery = std::make_unique<CSkinGallery>();
        if (!gallery->Fill()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(gallery));
    });
    RegisterScreenshotScene(dialog, QStringLiteral("small_busy"), [] {
        return Shown(std::make_unique<CSmallAnimateDialog>());
    });
}
