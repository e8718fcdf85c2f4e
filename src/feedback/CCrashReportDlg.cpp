#include "feedback/CCrashReportDlg.h"

#include "controls/VexaMessageBox.h"
#include "platform/AppPaths.h"
#include "platform/BackgroundJob.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QDesktopServices>
#include <QDir>
#include <QPlainTextEdit>
#include <QUrl>

struct CCrashReportDlgTable {
    static const SkinEventRow<CCrashReportDlg> kRows[];
};

const SkinEventRow<CCrashReportDlg> CCrashReportDlgTable::kRows[] = {
    {"crash_close_btn", kSkinClick, &CCrashReportDlg::OnClose},
    {"crash_cancel_btn", kSkinClick, &CCrashReportDlg::OnClose},
    {"crash_send_btn", kSkinClick, &CCrashReportDlg::OnSend},
    {"crash_open_folder_btn", kSkinClick, &CCrashReportDlg::OnOpenFolder},
    {nullptr, 0, nullptr},
};

CCrashReportDlg::CCrashReportDlg(const QString& folder, QWidget* parent)
    : CSkinDialog(parent), m_folder(folder),
      m_report(ReadCrashReport(QDir(folder).filePath(QStringLiteral("ERRORLOG.TXT")), kMaxReportBytes)),
      m_sender([](const FeedbackForm& form, const std::atomic<bool>& cancel) { return SubmitFeedback(form, &cancel); }) {}

CCrashReportDlg::~CCrashReportDlg() {
    if (m_job != nullptr) {
        m_job->Stop();
    }
}

QString CCrashReportDlg::StatusText() const {
    return Plugin_GetText(GetPluginByName(const_cast<CCrashReportDlg*>(this), QStringLiteral("crash_status")));
}

void CCrashReportDlg::SetStatus(const QString& text) {
    QWidget* status = GetPluginByName(this, QStringLiteral("crash_status"));
    Plugin_SetText(status, text);
    Plugin_SetVisible(status, !text.isEmpty());
}

bool CCrashReportDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("crash_send_btn")}, {QStringLiteral("crash_cancel_btn")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("crash_report_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetLayoutRoot(this), Str(3350));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(3350));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("crash_intro")), Str(3351));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("crash_send_btn")), Str(3352));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("crash_cancel_btn")), Str(3353));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("crash_open_folder_btn")), Str(3354));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("crash_summary")), m_report.summary);

    m_text = new QPlainTextEdit;
    m_text->setObjectName(QStringLiteral("crash_report_edit"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(12);
    m_text->setFont(mono);
    QString shown = m_report.text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_text->setPlainText(shown);
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("crash_report_text")), m_text);

    if (!m_report.found) {
        SetStatus(FormatText(Str(3356), qUtf8Printable(QDir(m_folder).filePath(QStringLiteral("ERRORLOG.TXT")))));
    } else if (m_report.cut) {
        SetStatus(Str(3358));
    } else if (!m_report.complete) {
        SetStatus(Str(3357));
    } else {
        SetStatus(QString());
    }
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("crash_send_btn")), m_report.found && !m_report.text.isEmpty());

    FitToLayout(false);
    return true;
}

FeedbackForm CCrashReportDlg::Form() const {
    return CrashReportForm(m_report.text, ProgramVersion());
}

LRESULT CCrashReportDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CCrashReportDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CCrashReportDlg::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}

LRESULT CCrashReportDlg::OnOpenFolder(QWidget*, std::intptr_t, std::intptr_t) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(m_folder));
    return 0;
}

LRESULT CCrashReportDlg::OnSend(QWidget*, std::intptr_t, std::intptr_t) {
    if (m_sending || !m_report.found) {
        return 0;
    }
    m_sending = true;
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("crash_send_btn")), false);
    SetStatus(Str(3359));
    const FeedbackForm form = Form();
    const auto sender = m_sender;
    m_job = std::make_unique<CBackgroundJob>("crash report", [this, form, sender](const std::atomic<bool>& cancel) {
        const bool ok = sender(form, cancel);
        PostCall([this, ok] { OnSent(ok); });
    });
    m_job->Request();
    return 0;
}

void CCrashReportDlg::OnSent(bool ok) {
    m_sending = false;
    if (ok) {
        SetStatus(Str(3355));
        return;
    }
    SetStatus(QString());
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("crash_send_btn")), true);
    VexaMessageBox(Str(1040), this, Str(3350), 0);
}
