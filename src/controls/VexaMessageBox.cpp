#include "controls/VexaMessageBox.h"

#include "libs/log/Log.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QKeyEvent>
#include <QLabel>

#include <algorithm>

namespace {

struct ButtonDef {
    int label; // string-table ID
    int result;
};

struct ButtonSet {
    bool closeForbidden;
    ButtonDef buttons[3];
};

const ButtonSet kButtonSets[] = {
    {false, {{724, 1}, {0, -1}, {0, -1}}},   // 0 确定
    {false, {{724, 1}, {722, 2}, {0, -1}}},  // 1 确定 取消
    {true, {{719, 3}, {720, 4}, {721, 5}}},  // 2 放弃 重试 忽略
    {false, {{725, 6}, {726, 7}, {722, 2}}}, // 3 是 否 取消
    {true, {{725, 6}, {726, 7}, {0, -1}}},   // 4 是 否
    {false, {{720, 4}, {722, 2}, {0, -1}}},  // 5 重试 取消
    {false, {{722, 2}, {720, 10}, {723, 11}}}, // 6 取消 重试 继续
};

struct TestHook {
    bool armed = false;
    int answer = 0;
    std::optional<int> standing;
    QString text;
    QString caption;
    unsigned style = 0;
};

TestHook& Hook() {
    static TestHook hook;
    return hook;
}

} // namespace

struct CVexaMessageBoxTable {
    static const SkinEventRow<CVexaMessageBoxImpl> kRows[];
};

const SkinEventRow<CVexaMessageBoxImpl> CVexaMessageBoxTable::kRows[] = {
    {"box_btn_one", kSkinClick, &CVexaMessageBoxImpl::OnButtonOne},
    {"box_btn_two", kSkinClick, &CVexaMessageBoxImpl::OnButtonTwo},
    {"box_btn_three", kSkinClick, &CVexaMessageBoxImpl::OnButtonThree},
    {"box_sys_close_btn", kSkinClick, &CVexaMessageBoxImpl::OnCloseButton},
    {nullptr, 0, nullptr},
};

CVexaMessageBoxImpl::CVexaMessageBoxImpl(const QString& text, QWidget* parent, const QString& caption,
                                         unsigned style)
    : CSkinDialog(parent), m_uButtonSet(style & 0x0F), m_strCaption(caption), m_strText(text) {}

bool CVexaMessageBoxImpl::OnInitDialog() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("vexa_message_box")) == 0) {
        return false;
    }
    QWidget* buttons[3] = {GetPluginByName(this, QStringLiteral("box_btn_one")),
                           GetPluginByName(this, QStringLiteral("box_btn_two")),
                           GetPluginByName(this, QStringLiteral("box_btn_three"))};
    if (buttons[0] == nullptr || buttons[1] == nullptr || buttons[2] == nullptr) {
        LOG_Error("[CVexaMessageBoxImpl] the layout lacks its buttons. %s:%d", LOG_HERE);
        return false;
    }
    Plugin_SetText(GetLayoutRoot(this), m_strCaption);

    // One line widget per "\r\n" piece; a lone "\n" stays inside its line.
    QWidget* templ = GetPluginByName(this, QStringLiteral("box_one_line_of_message"));
    if (templ == nullptr || templ->parentWidget() == nullptr) {
        LOG_Error("[CVexaMessageBoxImpl] the layout lacks its line template. %s:%d", LOG_HERE);
        return false;
    }
    const QStringList pieces = m_strText.split(QStringLiteral("\r\n"));
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        QWidget* line = Plugin_Clone(templ, templ->parentWidget(), -1, QStringLiteral("box_line_%1").arg(i));
        if (line == nullptr) {
            return false;
        }
        Plugin_SetText(line, pieces[i]);
        Plugin_SetClonedVisible(line, 1);
        line->ensurePolished();
        const QFontMetrics metrics = line->fontMetrics();
        const QString shown = pieces[i];
        QRect bounds = metrics.boundingRect(QRect(0, 0, 100000, 100000), Qt::AlignLeft | Qt::AlignTop, shown);
        if (bounds.width() > kMaxTextWidth) {
            // A line wider than a comfortable reading width wraps instead of widening the box.
            qobject_cast<QLabel*>(line)->setWordWrap(true);
            bounds = metrics.boundingRect(QRect(0, 0, kMaxTextWidth, 100000),
                                          Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, shown);
        }
        m_nWidest = qMax(m_nWidest, bounds.width());
        const int height = qMax(qMax(metrics.height(), bounds.height()), line->minimumHeight());
        line->setFixedHeight(height);
        m_nTotalHeight += height;
        m_lines << line;
    }
    Plugin_SetVisible(templ, false);

    const ButtonSet& set = m_uButtonSet < std::size(kButtonSets) ? kButtonSets[m_uButtonSet] : kButtonSets[0];
    m_bCloseForbidden = set.closeForbidden;
    for (int i = 0; i < 3; ++i) {
        const ButtonDef& def = set.buttons[i];
        if (def.label == 0) {
            Plugin_SetVisible(buttons[i], false);
            continue;
        }
        m_results[i] = def.result;
        Plugin_SetText(buttons[i], Str(def.label));
        buttons[i]->ensurePolished(); // the sheet's sizes first, then the box's fixed size
        buttons[i]->setFixedSize(kButtonWidth, kButtonHeight);
        Plugin_SetVisible(buttons[i], true);
        ++m_nButtons;
    }
    const int rowWidth = m_nButtons * (kButtonWidth + kButtonGap) - kButtonGap;

    if (m_bCloseForbidden) {
        Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("box_sys_close_btn")), false);
    }

    // Caption, margin, lines, margin, button row, margin; the frame's border on each side.
    QWidget* root = GetLayoutRoot(this);
    root->ensurePolished();
    const int border = root->contentsMargins().left() + root->contentsMargins().right();
    const int width = qMax(kMinWidth, qMax(m_nWidest, rowWidth) + 2 * kMargin + border);
    QWidget* caption = GetPluginByName(this, QStringLiteral("box_caption"));
    const int captionHeight = caption != nullptr ? qMax(caption->minimumHeight(), 36) : 36;
    const int height = captionHeight + kMargin + m_nTotalHeight + kMargin + kButtonHeight + 20 +
                       root->contentsMargins().top() + root->contentsMargins().bottom();
    setFixedSize(width, height);
    CentreOver(parentWidget());
    setFocus(Qt::OtherFocusReason);
    CreateShadow();
    return true;
}

LRESULT CVexaMessageBoxImpl::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CVexaMessageBoxTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CVexaMessageBoxImpl::OnButtonOne(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(m_results[0]);
    return 1;
}

LRESULT CVexaMessageBoxImpl::OnButtonTwo(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(m_results[1]);
    return 1;
}

LRESULT CVexaMessageBoxImpl::OnButtonThree(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(m_results[2]);
    return 1;
}

LRESULT CVexaMessageBoxImpl::OnCloseButton(QWidget*, std::intptr_t, std::intptr_t) {
    Cancel();
    return 1;
}

void CVexaMessageBoxImpl::Cancel() {
    if (!m_bCloseForbidden) {
        EndDialog(static_cast<int>(IDCANCEL));
    }
}

bool CVexaMessageBoxImpl::OnDialogKey(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!PressFocusedButton()) {
            EndDialog(m_results[0]);
        }
        return true;
    case Qt::Key_Y:
    case Qt::Key_N: {
        // The (Y) and (N) of 是(Y) and 否(N), alone or with Alt, as the labels promise.
        const int wanted = event->key() == Qt::Key_Y ? 6 : 7;
        if ((event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) != 0 ||
            std::find(std::begin(m_results), std::end(m_results), wanted) == std::end(m_results)) {
            return false;
        }
        EndDialog(wanted);
        return true;
    }
    case Qt::Key_Escape:
        Cancel();
        return true;
    case Qt::Key_F4:
        if ((event->modifiers() & Qt::AltModifier) != 0) {
            Cancel();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void CVexaMessageBoxImpl::OnCloseRequest() {
    Cancel();
}

void CVexaMessageBoxImpl::SetNextAnswer(int answer) {
    Hook().armed = true;
    Hook().answer = answer;
}

void CVexaMessageBoxImpl::SetStandingAnswer(std::optional<int> answer) {
    Hook().standing = answer;
}

std::optional<int> CVexaMessageBoxImpl::StandingAnswer() {
    return Hook().standing;
}

QString CVexaMessageBoxImpl::LastText() {
    return Hook().text;
}

QString CVexaMessageBoxImpl::LastCaption() {
    return Hook().caption;
}

unsigned CVexaMessageBoxImpl::LastStyle() {
    return Hook().style;
}

bool CVexaMessageBoxImpl::TakeNextAnswer(const QString& text, const QString& caption, unsigned style, int& answer) {
    TestHook& hook = Hook();
    hook.text = text;
    hook.caption = caption;
    hook.style = style;
    if (hook.standing) {
        answer = *hook.standing;
        return true;
    }
    if (!hook.armed) {
        return false;
    }
    hook.armed = false;
    answer = hook.answer;
    return true;
}

namespace {
std::function<void(const QString&)>& UnattendedReport() {
    static std::function<void(const QString&)> report; // UI thread only
    return report;
}

// The answer of each button set that leaves everything as it was.
int HarmlessAnswer(unsigned style) {
    switch (style & 0xF) {
    case 1:
    case 3:
    case 5:
    case 6:
        return 2; // Cancel
    case 2:
        return 5; // Ignore
    case 4:
        return 7; // No
    default:
        return 1; // OK
    }
}
} // namespace

void CVexaMessageBoxImpl::SetUnattended(std::function<void(const QString&)> report) {
    UnattendedReport() = std::move(report);
}

int VexaMessageBox(const QString& text, QWidget* parent, const QString& caption, unsigned style) {
    int answer = 0;
    if (CVexaMessageBoxImpl::TakeNextAnswer(text, caption, style, answer)) {
        return answer;
    }
    if (UnattendedReport()) {
        UnattendedReport()(caption.isEmpty() ? text : caption + QStringLiteral(": ") + text);
        return HarmlessAnswer(style);
    }
    CVexaMessageBoxImpl box(text, parent, caption, style);
    return box.DoModal();
}

int VexaMessageBox(int textId, QWidget* parent, int captionId, unsigned style) {
    return VexaMessageBox(textId != 0 ? Str(textId) : QString(), parent, captionId != 0 ? Str(captionId) : QString(),
                          style);
}
