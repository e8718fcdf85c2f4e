#pragma once
// The contact list of the contact page: one row per contact, 50 px high, in the order it was given.
// Only the rows that fit the view exist as widgets (clones of "list_item_template", rebound while
// scrolling), so a list of ten thousand contacts fills as fast as one of ten. Rows keep a copy of
// the name and first number they show; the contact pointer (owned by the contact book) is used only
// for actions. UI thread only.

#include <QObject>
#include <QString>

#include <vector>

class CMsgWnd;
class QScrollBar;
class QWidget;

namespace vexa {
class Contact;
}

class CPbListWnd : public QObject {
public:
    static constexpr int kRowHeight = 50;

    struct Item {
        vexa::Contact* contact = nullptr;
        QString name;
        QString number;
        int storage = 0; // where the contact lives: SIM contacts carry a badge
        bool checked = false;
    };

    // Finds its widgets in owner's layout ("pblist_viewport", "pblist_rows", "list_item_template",
    // "vertical_scrollbar", "static_classify", "all_sel_btn", "list_empty_text").
    explicit CPbListWnd(CMsgWnd* owner);

    static Item MakeItem(vexa::Contact* contact);

    void Clear();
    void SetCaption(const QString& caption);
    QString Caption() const;
    // Adds items at the end; the first item of an empty list becomes current.
    void Append(std::vector<Item> items);
    void SetEmptyText(const QString& text);
    // A dual-SIM phone's badges name the card ("SIM1", "SIM2"), a single-SIM phone's do not.
    void SetDualSim(bool dual);

    int Count() const { return static_cast<int>(m_items.size()); }
    const Item& At(int index) const { return m_items[static_cast<std::size_t>(index)]; }
    int Current() const { return m_current; }
    void SetCurrent(int index, bool scrollIntoView);
    int IndexOf(const vexa::Contact* contact) const;

    void SetChecked(int index, bool checked);
    void CheckAll(bool checked);
    int CheckedCount() const { return m_checkedCount; }
    std::vector<vexa::Contact*> CheckedContacts() const;

    // The item a row widget (or a widget inside it) shows; -1 for none.
    int IndexOfRow(QWidget* widget) const;
    // The rows that exist now, top to bottom (tests).
    std::vector<QWidget*> Rows() const { return m_rows; }
    int TopIndex() const;
    QScrollBar* ScrollBar() const { return m_bar; }

    // Lays the rows out for the scroll position (after a resize, a scroll or new items).
    void Relayout();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EnsureRows();
    void Bind();

    CMsgWnd* m_owner;
    QWidget* m_viewport = nullptr;
    QWidget* m_rowsBox = nullptr;
    QWidget* m_template = nullptr;
    QScrollBar* m_bar = nullptr;
    QWidget* m_caption = nullptr;
    QWidget* m_allCheck = nullptr;
    QWidget* m_empty = nullptr;
    std::vector<QWidget*> m_rows;
    std::vector<Item> m_items;
    int m_current = -1;
    bool m_dualSim = false;
    int m_checkedCount = 0;
};
