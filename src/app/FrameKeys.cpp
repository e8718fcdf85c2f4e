#include "app/FrameKeys.h"

#include "app/CMainFrame.h"
#include "device/CTabPageWnd.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextEdit>

#include <functional>

namespace {

QWidget* ShownPage(CMainFrame& frame) {
    QWidget* page = frame.Page(frame.ActiveTab());
    return page != nullptr && page->isVisible() ? page : nullptr;
}

// The first widget of the page shown whose name matches and that a user could use now.
template <class T> T* Usable(CMainFrame& frame, const std::function<bool(const QString&)>& matches) {
    QWidget* page = ShownPage(frame);
    if (page == nullptr) {
        return nullptr;
    }
    const QList<T*> found = page->findChildren<T*>();
    for (T* w : found) {
        if (matches(w->objectName()) && w->isVisible() && w->isEnabled()) {
            return w;
        }
    }
    return nullptr;
}

void Press(QAbstractButton* button) {
    if (button != nullptr) {
        button->click();
    }
}

void AddKey(CMainFrame& frame, const QKeySequence& key, std::function<void()> action) {
    auto* shortcut = new QShortcut(key, &frame);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, &frame, std::move(action));
}

// The message page shows its conversations in a web view, which would take Ctrl+A for its own text;
// on that page the key means every conversation unless a field being typed in has the focus.
class CSelectAllKeeper : public QObject {
public:
    explicit CSelectAllKeeper(CMainFrame& frame) : QObject(&frame), m_frame(frame) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride ||
            !static_cast<QKeyEvent*>(event)->matches(QKeySequence::SelectAll) ||
            m_frame.ActiveTab() != CMainFrame::TabMessage) {
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(watched);
        QWidget* page = ShownPage(m_frame);
        const bool typing = qobject_cast<QLineEdit*>(watched) || qobject_cast<QTextEdit*>(watched) ||
                            qobject_cast<QPlainTextEdit*>(watched);
        return widget != nullptr && page != nullptr && page->isAncestorOf(widget) && !typing;
    }

private:
    CMainFrame& m_frame;
};

} // namespace

void InstallFrameKeys(CMainFrame& frame) {
    AddKey(frame, QKeySequence::Find, [&frame] {
        if (auto* search = Usable<QLineEdit>(frame, [](const QString& n) { return n.endsWith(u"search_ctrl"); })) {
            search->setFocus(Qt::ShortcutFocusReason);
            search->selectAll();
        }
    });
    AddKey(frame, QKeySequence(Qt::Key_F5), [&frame] {
        Press(Usable<QAbstractButton>(frame, [](const QString& n) { return n.startsWith(u"refresh"); }));
    });
    AddKey(frame, QKeySequence(Qt::Key_Delete), [&frame] {
        const int tab = frame.ActiveTab();
        if (tab != CMainFrame::TabContact && tab != CMainFrame::TabMessage) {
            return;
        }
        const QString name =
            tab == CMainFrame::TabContact ? QStringLiteral("delete_contact") : QStringLiteral("delete_messages_btn");
        Press(Usable<QAbstractButton>(frame, [&name](const QString& n) { return n == name; }));
    });
    new CSelectAllKeeper(frame);
    AddKey(frame, QKeySequence::SelectAll, [&frame] {
        if (frame.ActiveTab() != CMainFrame::TabMessage) {
            return;
        }
        auto* all =
            Usable<QAbstractButton>(frame, [](const QString& n) { return n == u"select_all_messages_checkbox"; });
        if (all != nullptr && !all->isChecked()) {
            all->click();
        }
    });
}
