#include "messages/CSmsEditDlg.h"

#include "bridge/api/DeviceSession.h"
#include "device/LoadDataHelper.h"
#include "device/RunOnPhone.h"
#include "messages/CQuickReplyWnd.h"
#include "messages/CSelectContactOrNumber.h"
#include "messages/ComposeRules.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QStringListModel>

#include <mutex>

namespace {
constexpr int kMaxSuggestions = 8;
}

struct CSmsEditDlgTable {
    static const SkinEventRow<CSmsEditDlg> kRows[];
};

const SkinEventRow<CSmsEditDlg> CSmsEditDlgTable::kRows[] = {
    {"Button_Close", kSkinClick, &CSmsEditDlg::OnClose},
    {"choose_contact_btn", kSkinClick, &CSmsEditDlg::OnChooseContact},
    {"insert_contact_btn", kSkinClick, &CSmsEditDlg::OnChooseContact},
    {nullptr, 0, nullptr},
};

CSmsEditDlg::CSmsEditDlg(CSessionGate& gate, Mode mode, QWidget* parent)
    : CSkinDialog(parent), m_gate(gate), m_mode(mode) {}

bool CSmsEditDlg::OnInitDialog() {
    SetKeyButtons({}, {QStringLiteral("Button_Close")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("sms_edit_dialog")) == 0) {
        return false;
    }
    const int title = m_mode == EditDraft ? 2469 : m_mode == Forward ? 2470 : 2468;
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(title));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("recipients_label")), Str(2458));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("choose_contact_btn")), Str(2474));
    if (auto* edit = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("recipients_edit")))) {
        edit->setPlaceholderText(Str(2478));
        edit->setText(m_recipients);
        // The completer is not the field's own: it would replace the whole text, not the entry typed.
        m_suggestions = new QStringListModel(this);
        m_completer = new QCompleter(m_suggestions, this);
        m_completer->setWidget(edit);
        m_completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
        // The list belongs to this dialog's window: it goes with it and is part of its pictures.
        m_completer->popup()->setParent(this, m_completer->popup()->windowFlags());
        QObject::connect(edit, &QLineEdit::textEdited, this, [this] { ShowSuggestions(); });
        QObject::connect(m_completer, qOverload<const QString&>(&QCompleter::activated), this,
                         [this](const QString& entry) { InsertCompletion(entry); });
        RunOnPhone(
            m_gate, this,
            [](vexa::DeviceSession& session) {
                std::vector<messages::RecipientCandidate> candidates;
                if (vexa::ContactBook* book = session.GetContactBook()) {
                    std::lock_guard<std::mutex> lock(LoaderLock(LockContacts));
                    candidates = messages::ReadRecipientCandidates(*book, 3);
                }
                return candidates;
            },
            [this](std::optional<std::vector<messages::RecipientCandidate>> candidates) {
                m_candidates = candidates ? std::move(*candidates) : std::vector<messages::RecipientCandidate>();
                m_candidatesLoaded = true;
            });
    }
    m_reply = new CQuickReplyWnd(m_gate, this, false);
    if (!m_reply->Create()) {
        return false;
    }
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("sms_edit_reply_host")), m_reply);
    // The chooser of this dialog fills the recipients field.
    if (QWidget* insert = GetPluginByName(m_reply, QStringLiteral("insert_contact_btn"))) {
        QObject::connect(qobject_cast<QAbstractButton*>(insert), &QAbstractButton::clicked, this,
                         [this] { ChooseContacts(); });
    }
    m_reply->SetRecipientsSource([this] { return messages::ParseRecipients(RecipientsText()); });
    m_reply->SetText(m_text);
    m_reply->SetEditingDraft(m_draftId);
    m_reply->show();
    if (QWidget* root = GetLayoutRoot(this)) {
        setFixedSize(root->size()); // wide enough for two SIM buttons with operator names
    }
    CentreOver(parentWidget());
    CreateShadow();
    return true;
}

QString CSmsEditDlg::RecipientsText() const {
    return Plugin_GetText(GetPluginByName(const_cast<CSmsEditDlg*>(this), QStringLiteral("recipients_edit")));
}

void CSmsEditDlg::SetRecipientsText(const QString& text) {
    Plugin_SetText(GetPluginByName(this, QStringLiteral("recipients_edit")), text);
}

void CSmsEditDlg::ChooseContacts() {
    CSelectContactOrNumber chooser(m_gate, this);
    if (chooser.DoModal() != static_cast<int>(IDOK)) {
        return;
    }
    QString text = RecipientsText();
    if (!text.isEmpty() && !text.endsWith(u';')) {
        text += u';';
    }
    for (const QString& entry : chooser.Chosen()) {
        text += entry + u';';
    }
    SetRecipientsText(text);
}

void CSmsEditDlg::ShowSuggestions() {
    auto* edit = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("recipients_edit")));
    if (edit == nullptr || m_completer == nullptr) {
        return;
    }
    const messages::EntrySpan span = messages::EntryAt(edit->text(), edit->cursorPosition());
    const QString typed = edit->text().mid(span.begin, span.end - span.begin).trimmed();
    QStringList entries;
    if (!typed.contains(u'<')) { // an entry already chosen is not offered again
        for (const messages::RecipientCandidate& c : messages::MatchRecipients(m_candidates, typed, kMaxSuggestions)) {
            entries << c.Entry();
        }
    }
    m_suggestions->setStringList(entries);
    if (entries.isEmpty()) {
        m_completer->popup()->hide();
        return;
    }
    m_completer->complete();
}

void CSmsEditDlg::InsertCompletion(const QString& entry) {
    auto* edit = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("recipients_edit")));
    if (edit == nullptr) {
        return;
    }
    QString text = edit->text();
    const messages::EntrySpan span = messages::EntryAt(text, edit->cursorPosition());
    const bool closed = span.end < text.size(); // a ";" follows already
    text.replace(span.begin, span.end - span.begin, closed ? entry : entry + u';');
    edit->setText(text);
    edit->setCursorPosition(span.begin + static_cast<int>(entry.size()) + 1);
}

LRESULT CSmsEditDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CSmsEditDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    switch (msg) {
    case WM_REPLY_SEND_CHECKED:
        m_sending = true;
        return 0;
    case WM_REPLY_SEND_RESULT:
        if (wParam != 0 && *reinterpret_cast<int*>(wParam) == 1) {
            m_changed = true;
            m_sent = m_sent || m_sending;
        }
        m_sending = false;
        return 0;
    case WM_REPLY_SEND_DONE:
        // A message sent (or a draft saved) ends the dialog; a failed send leaves it open to retry.
        if (m_changed || m_reply->Text().isEmpty()) {
            EndDialog(static_cast<int>(IDOK));
        }
        return 0;
    default:
        break;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CSmsEditDlg::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(m_changed ? IDOK : IDCANCEL));
    return 0;
}

LRESULT CSmsEditDlg::OnChooseContact(QWidget*, std::intptr_t, std::intptr_t) {
    ChooseContacts();
    return 0;
}
