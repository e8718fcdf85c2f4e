#pragma once
// The suggestion feedback dialog ("User_Issue_Feedback_Dlg"): nine prepared complaints, the phone
// model and two free texts, sent as one form post. The post runs on a background job while the
// dialog shows "static_Submiting" and ignores the buttons; OK on success, otherwise message 1040
// and cancel. UI thread only.

#include "controls/CSkinDialog.h"
#include "feedback/Feedback.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class CBackgroundJob;
class QPlainTextEdit;

class CSuggestionFeedbackDlg : public CSkinDialog {
public:
    // model and firmware come from the connected phone (empty without one: the model is then typed).
    CSuggestionFeedbackDlg(const QString& model, const QString& firmware, QWidget* parent = nullptr);
    ~CSuggestionFeedbackDlg() override;

    // The form as the widgets stand now.
    FeedbackForm Form() const;
    bool Submitting() const { return m_submitting; }
    // The function that sends the form (tests replace the network); runs on a background thread.
    void SetSender(std::function<bool(const FeedbackForm&, const std::atomic<bool>& cancel)> sender) { m_sender = std::move(sender); }

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSubmit(QWidget*, std::intptr_t, std::intptr_t);
    void OnSent(bool ok);
    QPlainTextEdit* HostEdit(const char* host);
    friend struct CSuggestionFeedbackDlgTable;

    QString m_model;
    QString m_firmware;
    QPlainTextEdit* m_modelEdit = nullptr;
    QPlainTextEdit* m_functionEdit = nullptr;
    QPlainTextEdit* m_adviseEdit = nullptr;
    bool m_submitting = false;
    std::function<bool(const FeedbackForm&, const std::atomic<bool>&)> m_sender;
    std::unique_ptr<CBackgroundJob> m_job;
};
