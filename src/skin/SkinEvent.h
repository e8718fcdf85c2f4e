#pragma once
// Skin events: what a widget of a layout reports to its window. The engine sends the window
// WM_SKIN_EVENT with wParam = the widget (QWidget*) and lParam = a SkinEvent*, on the UI thread.
//
// Codes and their parameters:
//   4  drop-down button ("insert_contact_btn"): p1 = index of the chosen menu entry
//   8  picture cell clicked, 14 double-clicked; 9 its check box toggled (p1 = 1 checked, 0 not)
//   13 button clicked
//   15 check box toggled: p1 = 1 checked, 0 cleared
//   16 combo box choice ("choose_contact_class"): p1 = index
//   18 popup list ("list_ctrl", a list with skinEvent=18): p1 = row
//   22 list box row: p1 = current row (-1 none), p2 = 1 when activated (double click, Enter)
//   24 tree or category list ("category_list", "listboxex_tree_ctrl"): p1 = top-level row, p2 = child row or -1
//   27 radio button: p1 = 1 selected, 0 left
//   28 vertical scroll bar moved: p1 = value, p2 = maximum
//   30 tab button: p1 = 1 selected, 0 left
//
// A window handles them through a static table (see SKIN_EVENT_TABLE below); rows are tried in
// order and the first whose pattern matches the widget's name and whose code is the event's runs.

#include "platform/WindowMessage.h"
#include "skin/Skin.h"

#include <cstdint>

constexpr UINT WM_SKIN_EVENT = WM_USER + 392;

enum SkinEventCode : int {
    kSkinDropDown = 4,
    kSkinCellClick = 8,
    kSkinCellCheck = 9,
    kSkinClick = 13,
    kSkinCellDoubleClick = 14,
    kSkinCheck = 15,
    kSkinChoice = 16,
    kSkinPopupList = 18,
    kSkinListRow = 22,
    kSkinTree = 24,
    kSkinRadio = 27,
    kSkinVScroll = 28,
    kSkinTab = 30,
};

struct SkinEvent {
    int code = 0;
    std::intptr_t param1 = 0;
    std::intptr_t param2 = 0;
};

template <class T>
struct SkinEventRow {
    const char* pattern; // null ends the table
    int code;
    LRESULT (T::*handler)(QWidget* widget, std::intptr_t param1, std::intptr_t param2);
};

// Walks table for one event; 0 when no row matches.
template <class T>
LRESULT DispatchSkinEvent(T* window, const SkinEventRow<T>* table, QWidget* widget, const SkinEvent& event) {
    const QString name = Plugin_GetName(widget);
    for (const SkinEventRow<T>* row = table; row->pattern != nullptr; ++row) {
        if (row->code == event.code && MatchString(QString::fromLatin1(row->pattern), name) != 0) {
            return (window->*(row->handler))(widget, event.param1, event.param2);
        }
    }
    return 0;
}

// Convenience for OnMessage: true (and the handler's result in result) when msg was a skin event.
template <class T>
bool HandleSkinMessage(T* window, const SkinEventRow<T>* table, UINT msg, WPARAM wParam, LPARAM lParam,
                       LRESULT& result) {
    if (msg != WM_SKIN_EVENT || lParam == 0) {
        return false;
    }
    result = DispatchSkinEvent(window, table, reinterpret_cast<QWidget*>(wParam),
                               *reinterpret_cast<const SkinEvent*>(lParam));
    return true;
}
