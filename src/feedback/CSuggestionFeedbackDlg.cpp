#include "feedback/CSuggestionFeedbackDlg.h"

#include "controls/VexaMessageBox.h"
#include "platform/AppPaths.h"
#include "platform/BackgroundJob.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QPlainTextEdit>

struct CSuggestionFeedbackDlgTable {
    static const SkinEventRow<CSuggestionFeedbackDlg> kRows[];
};

const SkinEventRow<CSuggestionFeedbackDlg> CSuggestionFeedbackDlgTable::kRows[] = {
    {"Close_btn", kSkinClick, &CSuggestionFeedbackDlg::OnClose},
    {"Submit_Btn", kSkinClick, &CSuggestionFeedbackDlg::OnSubmit},
    {nullptr, 0, nullptr},
};

CSuggestionFeedbackDlg::CSuggestionFeedbackDlg(const QString& model, const QString& firmware, QWidget* parent)
    : CSkinDialog(parent), m_model(model), m_firmware(firmware), m_sender([](const FeedbackForm& form, const std::atomic<bool>& cancel) {
          return SubmitFeedback(form, &cancel);
      }) {}

CSuggestionFeedbackDlg::~CSuggestionFeedbackDlg() {
    if (m_job != nullptr) {
        m_job->Stop(); // the post looks at its cancel flag every 50 ms
    }
}

QPlainTextEdit* CSuggestionFeedbackDlg::HostEdit(const char* host) {
    auto* edit = new QPlainTextEdit;
    edit->setObjectName(QString::fromLatin1(host) + QStringLiteral("_edit"));
    edit->setTabChangesFocus(true);
    Plugin_SetChildWindow(GetPluginByName(this, QString::fromLatin1(host)), edit);
    return edit;
}

bool CSuggestionFeedbackDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("Submit_Btn")}, {QStringLiteral("Close_btn")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("User_Issue_Feedback_Dlg")) == 0) {
        return false;
    }
    Plugin_SetText(GetLayoutRoot(this), Str(1030));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(1030));
    const struct {
        const char* name;
        int text;
    } texts[] = {
        {"feedback_model_label", 3330},    {"feedback_connect_title", 3331}, {"feedback_source_title", 3332},
        {"feedback_fun_title", 3333},      {"feedback_function_title", 3334}, {"feedback_advise_title", 3335},
        {"Submit_Btn", 3336},              {"static_Submiting", 3337},
    };
    for (const auto& t : texts) {
        Plugin_SetText(GetPluginByName(this, QString::fromLatin1(t.name)), Str(t.text));
    }
    for (int i = 0; i < 9; ++i) {
        Plugin_SetText(GetPluginByName(this, QStringLiteral("checkbox_%1").arg(i + 1)), Str(3338 + i));
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("static_Submiting")), false);

    m_modelEdit = HostEdit("Device_Type");
    m_modelEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A connected phone names itself; without one the user may say which phone it is about.
    if (!m_model.isEmpty()) {
        m_modelEdit->setPlainText(m_model);
        m_modelEdit->setEnabled(false);
    }
    m_functionEdit = HostEdit("Other_Function_Edit");
    m_adviseEdit = HostEdit("Other_Advise_Edit");

    FitToLayout(false);
    return true;
}

FeedbackForm CSuggestionFeedbackDlg::Form() const {
    FeedbackForm form;
    form.values[FeedbackForm::PhoneType] = m_modelEdit != nullptr ? m_modelEdit->toPlainText() : QString();
    form.values[FeedbackForm::OtherFunction] = m_functionEdit != nullptr ? m_functionEdit->toPlainText() : QString();
    form.values[FeedbackForm::OtherQuestion] = m_adviseEdit != nullptr ? m_adviseEdit->toPlainText() : QString();
    form.values[FeedbackForm::Firmware] = m_firmware;
    form.values[FeedbackForm::PcVersion] = ProgramVersion();
    for (int i = 0; i < 9; ++i) {
        QWidget* box = GetPluginByName(const_cast<CSuggestionFeedbackDlg*>(this), QStringLiteral("checkbox_%1").arg(i + 1));
        if (Plugin_GetValue(box) != 0) {
            form.values[static_cast<std::size_t>(FeedbackForm::Connect1 + i)] =
                QString::fromUtf8(kFeedbackComplaints[static_cast<std::size_t>(i)]);
        }
    }
    return form;
}

LRESULT CSuggestionFeedbackDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CSuggestionFeedbackDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CSuggestionFeedbackDlg::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    if (!m_submitting) {
        EndDialog(static_cast<int>(IDCANCEL));
    }
    return 0;
}

LRESULT CSuggestionFeedbackDlg::OnSubmit(QWidget*, std::intptr_t, std::intptr_t) {
    if (m_submitting) {
        return 0;
    }
    m_submitting = true;
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("static_Submiting")), true);
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("Submit_Btn")), false);
    const FeedbackForm form = Form();
    const auto sender = m_sender;
    // The window stays responsive while the post runs; the result comes back as a call.
    m_job = std::make_unique<CBackgroundJob>("feedback", [this, form, sender](const std::atomic<bool>& cancel) {
        const bool ok = sender(form, cancel);
        PostCall([this, ok] { OnSent(ok); });
    });
    m_job->Request();
    return 0;
}

void CSuggestionFeedbackDlg::OnSent(bool ok) {
    m_submitting = false;
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("static_Submiting")), false);
    if (ok) {
        EndDialog(static_cast<int>(IDOK));
        return;
    }
    VexaMessageBox(Str(1040), this, Str(1030), 0);
    EndDialog(static_cast<int>(IDCANCEL));
}
