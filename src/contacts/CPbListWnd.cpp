#include "contacts/CPbListWnd.h"

#include "bridge/api/ContactBook.h"
#include "contacts/ContactListing.h"
#include "libs/log/Log.h"
#include "platform/CMsgWnd.h"
#include "skin/Skin.h"

#include <QAbstractButton>
#include <QEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

#include <algorithm>

namespace {
const char* const kRowIndex = "pbRowIndex";
}

CPbListWnd::CPbListWnd(CMsgWnd* owner) : QObject(owner), m_owner(owner) {
    m_viewport = GetPluginByName(owner, QStringLiteral("pblist_viewport"));
    m_rowsBox = GetPluginByName(owner, QStringLiteral("pblist_rows"));
    m_template = GetPluginByName(owner, QStringLiteral("list_item_template"));
    m_bar = qobject_cast<QScrollBar*>(GetPluginByName(owner, QStringLiteral("vertical_scrollbar")));
    m_caption = GetPluginByName(owner, QStringLiteral("static_classify"));
    m_allCheck = GetPluginByName(owner, QStringLiteral("all_sel_btn"));
    m_empty = GetPluginByName(owner, QStringLiteral("list_empty_text"));
    if (m_viewport != nullptr) {
        m_viewport->installEventFilter(this);
    }
    if (m_bar != nullptr) {
        m_bar->setSingleStep(kRowHeight);
    }
    Plugin_SetVisible(GetPluginByName(owner, QStringLiteral("first_letter_show")), false);
}

CPbListWnd::Item CPbListWnd::MakeItem(vexa::Contact* contact) {
    Item item;
    item.contact = contact;
    item.name = contact->GetDisplayNameText();
    item.storage = contact->GetStorage();
    if (contact->GetPhoneCount() > 0) {
        item.number = contact->GetPhoneAt(0)->m_value;
    }
    return item;
}

void CPbListWnd::Clear() {
    m_items.clear();
    m_current = -1;
    m_checkedCount = 0;
    if (m_bar != nullptr) {
        const QSignalBlocker block(m_bar);
        m_bar->setValue(0);
    }
    if (auto* all = qobject_cast<QAbstractButton*>(m_allCheck)) {
        const QSignalBlocker block(all);
        all->setChecked(false);
    }
    Relayout();
}

void CPbListWnd::SetCaption(const QString& caption) {
    Plugin_SetText(m_caption, caption);
}

QString CPbListWnd::Caption() const {
    return Plugin_GetText(m_caption);
}

void CPbListWnd::SetDualSim(bool dual) {
    if (m_dualSim != dual) {
        m_dualSim = dual;
        Bind();
    }
}

void CPbListWnd::SetEmptyText(const QString& text) {
    Plugin_SetText(m_empty, text);
    Relayout();
}

void CPbListWnd::Append(std::vector<Item> items) {
    if (items.empty()) {
        Relayout();
        return;
    }
    const bool wasEmpty = m_items.empty();
    for (Item& item : items) {
        m_checkedCount += item.checked ? 1 : 0;
        m_items.push_back(std::move(item));
    }
    if (wasEmpty) {
        m_current = 0;
    }
    Relayout();
}

void CPbListWnd::SetCurrent(int index, bool scrollIntoView) {
    if (index < 0 || index >= Count()) {
        return;
    }
    m_current = index;
    if (scrollIntoView && m_bar != nullptr && m_viewport != nullptr) {
        const int top = index * kRowHeight;
        const int height = m_viewport->height();
        if (top < m_bar->value()) {
            m_bar->setValue(top);
        } else if (top + kRowHeight > m_bar->value() + height) {
            m_bar->setValue(top + kRowHeight - height);
        }
    }
    Bind();
}

int CPbListWnd::IndexOf(const vexa::Contact* contact) const {
    for (int i = 0; i < Count(); ++i) {
        if (m_items[static_cast<std::size_t>(i)].contact == contact) {
            return i;
        }
    }
    return -1;
}

void CPbListWnd::SetChecked(int index, bool checked) {
    if (index < 0 || index >= Count()) {
        return;
    }
    Item& item = m_items[static_cast<std::size_t>(index)];
    if (item.checked != checked) {
        item.checked = checked;
        m_checkedCount += checked ? 1 : -1;
    }
    Bind();
}

void CPbListWnd::CheckAll(bool checked) {
    for (Item& item : m_items) {
        item.checked = checked;
    }
    m_checkedCount = checked ? Count() : 0;
    if (auto* all = qobject_cast<QAbstractButton*>(m_allCheck)) {
        const QSignalBlocker block(all);
        all->setChecked(checked);
    }
    Bind();
}

std::vector<vexa::Contact*> CPbListWnd::CheckedContacts() const {
    std::vector<vexa::Contact*> out;
    for (const Item& item : m_items) {
        if (item.checked) {
            out.push_back(item.contact);
        }
    }
    return out;
}

int CPbListWnd::IndexOfRow(QWidget* widget) const {
    QWidget* row = widget;
    while (row != nullptr && !row->property(kRowIndex).isValid()) {
        row = row->parentWidget();
    }
    if (row == nullptr) {
        return -1;
    }
    const int index = TopIndex() + row->property(kRowIndex).toInt();
    return index < Count() ? index : -1;
}

int CPbListWnd::TopIndex() const {
    return m_bar != nullptr ? m_bar->value() / kRowHeight : 0;
}

bool CPbListWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_viewport) {
        if (event->type() == QEvent::Resize) {
            Relayout();
        } else if (event->type() == QEvent::Wheel && m_bar != nullptr) {
            const auto* wheel = static_cast<QWheelEvent*>(event);
            m_bar->setValue(m_bar->value() - wheel->angleDelta().y() * kRowHeight * 3 / 120);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void CPbListWnd::EnsureRows() {
    if (m_viewport == nullptr || m_rowsBox == nullptr || m_template == nullptr) {
        return;
    }
    const int wanted = m_viewport->height() / kRowHeight + 2;
    while (static_cast<int>(m_rows.size()) < wanted) {
        QWidget* row = Plugin_Clone(m_template, m_rowsBox, -1,
                                    QStringLiteral("pblist_row_%1").arg(static_cast<int>(m_rows.size())));
        if (row == nullptr) {
            LOG_Error("Clone plugin failed %s:%d", LOG_HERE);
            return;
        }
        row->setProperty(kRowIndex, static_cast<int>(m_rows.size()));
        m_rows.push_back(row);
    }
}

void CPbListWnd::Relayout() {
    if (m_viewport == nullptr || m_rowsBox == nullptr) {
        return;
    }
    EnsureRows();
    const int height = m_viewport->height();
    if (m_bar != nullptr) {
        const QSignalBlocker block(m_bar);
        m_bar->setRange(0, std::max(0, Count() * kRowHeight - height));
        m_bar->setPageStep(std::max(kRowHeight, height));
        m_bar->setVisible(Count() * kRowHeight > height);
    }
    Bind();
    if (m_empty != nullptr) {
        m_empty->setGeometry(0, 24, m_viewport->width(), 40);
        Plugin_SetVisible(m_empty, m_items.empty() && !Plugin_GetText(m_empty).isEmpty());
    }
}

void CPbListWnd::Bind() {
    if (m_viewport == nullptr || m_rowsBox == nullptr) {
        return;
    }
    const int value = m_bar != nullptr ? m_bar->value() : 0;
    const int top = value / kRowHeight;
    // The box holds exactly the rows in use: hidden rows would leave their height to the layout,
    // which would spread the others apart.
    const int used = std::clamp(Count() - top, 0, static_cast<int>(m_rows.size()));
    m_rowsBox->setGeometry(0, -(value % kRowHeight), m_viewport->width(), used * kRowHeight);
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        QWidget* row = m_rows[r];
        const int index = top + static_cast<int>(r);
        if (index >= Count()) {
            Plugin_SetClonedVisible(row, 0);
            continue;
        }
        const Item& item = m_items[static_cast<std::size_t>(index)];
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("item_name")), item.name);
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("item_number")), item.number);
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("item_avatar")), contacts::IndexLetter(item.name));
        if (QWidget* sim = Plugin_GetChild(row, QStringLiteral("item_sim"))) {
            const bool onSim = item.storage != vexa::STORAGE_PHONE;
            Plugin_SetText(sim, onSim ? QStringLiteral("SIM") + (m_dualSim ? QString::number(item.storage) : QString())
                                      : QString());
            sim->setVisible(onSim);
        }
        if (auto* check = qobject_cast<QAbstractButton*>(Plugin_GetChild(row, QStringLiteral("item_check")))) {
            const QSignalBlocker block(check);
            check->setChecked(item.checked);
        }
        const QString style = index == m_current ? QStringLiteral("contact_row_current") : QStringLiteral("contact_row");
        if (Plugin_GetStyle(row) != style) {
            Plugin_SetStyle(row, style);
        }
        Plugin_SetClonedVisible(row, 1);
    }
}
