#include "messages/CExpressionInsertDlg.h"

#include "messages/ComposeRules.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QEventLoop>
#include <QPointer>

struct CExpressionInsertDlgTable {
    static const SkinEventRow<CExpressionInsertDlg> kRows[];
};

const SkinEventRow<CExpressionInsertDlg> CExpressionInsertDlgTable::kRows[] = {
    {"expression_btn_*", kSkinClick, &CExpressionInsertDlg::OnExpression},
    {nullptr, 0, nullptr},
};

CExpressionInsertDlg::CExpressionInsertDlg(QWidget* parent) : CMsgWnd(parent) {
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

bool CExpressionInsertDlg::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("insert_expression_dialog")) == 0) {
        return false;
    }
    const auto& expressions = messages::Expressions();
    for (int i = 0; i < static_cast<int>(expressions.size()); ++i) {
        Plugin_SetText(GetPluginByName(this, QStringLiteral("expression_btn_%1").arg(i + 1)), expressions[i]);
    }
    if (QWidget* root = GetLayoutRoot(this)) {
        resize(root->sizeHint().expandedTo(root->size()));
    }
    return true;
}

QString CExpressionInsertDlg::Choose(QWidget* anchor) {
    CExpressionInsertDlg picker(anchor);
    if (!picker.Create()) {
        return {};
    }
    if (anchor != nullptr) {
        picker.move(anchor->mapToGlobal(QPoint(0, -picker.height() - 4)));
    }
    QEventLoop loop;
    picker.m_loop = &loop;
    picker.show();
    loop.exec();
    picker.m_loop = nullptr;
    return picker.m_chosen;
}

LRESULT CExpressionInsertDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CExpressionInsertDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CMsgWnd::OnMessage(msg, wParam, lParam);
}

LRESULT CExpressionInsertDlg::OnExpression(QWidget* button, std::intptr_t, std::intptr_t) {
    const int index = Plugin_GetName(button).mid(QStringLiteral("expression_btn_").size()).toInt() - 1;
    const auto& expressions = messages::Expressions();
    if (index >= 0 && index < static_cast<int>(expressions.size())) {
        m_chosen = expressions[index];
    }
    hide();
    return 0;
}

void CExpressionInsertDlg::hideEvent(QHideEvent* event) {
    CMsgWnd::hideEvent(event);
    if (m_loop != nullptr) {
        m_loop->quit();
    }
}
