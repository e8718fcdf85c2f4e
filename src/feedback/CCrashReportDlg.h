#pragma once
// The window of vexa-crashreport ("crash_report_dialog"): what happened, the report itself, and
// a button that sends it through the feedback service (the report goes in the form's free text,
// with the program version). UI thread only.

#include "controls/CSkinDialog.h"
#include "crash/CrashReport.h"
#include "feedback/Feedback.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class CBackgroundJob;
class QPlainTextEdit;

class CCrashReportDlg : public CSkinDialog {
public:
    // folder holds "ERRORLOG.TXT" (and "CRASH.DMP").
    explicit CCrashReportDlg(const QString& folder, QWidget* parent = nullptr);
    ~CCrashReportDlg() override;

    // The report as read, and the form that Send posts.
    const CrashReport& Report() const { return m_report; }
    FeedbackForm Form() const;
    QString StatusText() const;
    // Replaces the network (tests); runs on a background thread.
    void SetSender(std::function<bool(const FeedbackForm&, const std::atomic<bool>&)> sender) {
        m_sender = std::move(sender);
    }

    // What is read and sent at most.
    static constexpr qint64 kMaxReportBytes = 512 * 1024;

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSend(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnOpenFolder(QWidget*, std::intptr_t, std::intptr_t);
    void OnSent(bool ok);
    void SetStatus(const QString& text);
    friend struct CCrashReportDlgTable;

    QString m_folder;
    CrashReport m_report;
    QPlainTextEdit* m_text = nullptr;
    bool m_sending = false;
    std::function<bool(const FeedbackForm&, const std::atomic<bool>&)> m_sender;
    std::unique_ptr<CBackgroundJob> m_job;
};
