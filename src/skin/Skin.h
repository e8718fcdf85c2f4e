#pragma once
// The skin engine: every window's widgets come from a named layout of the skin, and user actions come
// back to the window as skin events (WM_SKIN_EVENT) keyed by widget name.
//
// A skin is a folder with config.xml naming each layout and its Qt Designer ".ui" file, one style
// sheet and one image folder. A widget handle is the QWidget itself; its name is its objectName.
//
// Threads: LoadStyleW, WindowManager_Attach, Plugin_Clone and Plugin_Delete belong to the UI thread.
// The widget operations (Plugin_SetVisible, Plugin_SetText, Plugin_Redraw, ...) may be called from a
// worker: they then queue themselves onto the UI thread without waiting, and are dropped when the
// widget is gone by the time they run. Getters called from a worker return what the UI thread last
// showed (they block until the UI thread answers, so never call them while the UI thread waits for
// that worker).

#include "platform/CMsgWnd.h"

#include <QFont>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>

class QWidget;
class CSkinRecipe;
class CSkinResources;

// The skin object: the parsed config.xml. Owned by whoever called LoadStyleW; it must outlive every
// window attached with it.
class CSkin {
public:
    struct Layout {
        QString name;
        QString uiFile; // absolute path
    };

    virtual ~CSkin();

    const QString& Folder() const { return m_folder; }
    const QString& ImageFolder() const { return m_imageFolder; }
    // The style sheet with ${images} replaced by the image folder.
    const QString& StyleSheet() const { return m_styleSheet; }
    // The .ui file of a layout; empty when the skin has no such layout.
    QString LayoutFile(const QString& name) const;
    QStringList LayoutNames() const;
    // Fonts by name ("font_default") for widgets that are not styled by the sheet.
    CSkinResources* Resources() const { return m_resources.get(); }
    // Frees the skin; the pointer is invalid afterwards.
    virtual void Release();

    // The layout text of a template, as a stand-alone .ui document, cached per (layout, template).
    QByteArray TemplateDocument(const QString& uiFile, const QString& templateName);
    // The parsed template, or null when it needs the full loader; cached likewise.
    const CSkinRecipe* TemplateRecipe(const QString& uiFile, const QString& templateName);

private:
    friend CSkin* LoadStyleW(const QString& configPath);
    CSkin();

    QString m_folder;
    QString m_imageFolder;
    QString m_styleSheet;
    QHash<QString, QString> m_layouts;
    QStringList m_layoutOrder;
    std::unique_ptr<CSkinResources> m_resources;
    QHash<QString, QByteArray> m_templates;
    QHash<QString, std::shared_ptr<CSkinRecipe>> m_recipes;
};

class CSkinResources {
public:
    // The font declared under name in config.xml; size class 1 small (12 px), 2 body (13 px), 3 section
    // title (16 px), 4 page title (20 px). Unknown names give the body font.
    QFont Font(const QString& name, int sizeClass = 2) const;

private:
    friend CSkin* LoadStyleW(const QString& configPath);
    QHash<QString, QString> m_families;
};

// Reads config.xml (and the style sheet it names). Null, with a log line, when the file is missing,
// malformed or names no layouts. The caller owns the result (Release()).
CSkin* LoadStyleW(const QString& configPath);

// The skin the program runs with, set once after LoadStyleW; dialogs attach their layouts with it.
// Setting it styles the whole application with its sheet; windows attached with another skin carry
// that skin's sheet themselves.
CSkin* AppSkin();
void SetAppSkin(CSkin* skin);

// Builds layoutName into wnd: the layout's root widget fills the window, the style sheet applies, and
// every widget's signals become skin events sent to wnd. Non-zero on success; zero (with a log line)
// when the layout is unknown, its file cannot be read or names a widget class the skin does not know.
int WindowManager_Attach(CSkin* skin, CMsgWnd* wnd, const QString& layoutName);

// The root widget of the layout attached to wnd, or null.
QWidget* GetLayoutRoot(CMsgWnd* wnd);

// The first widget named widgetName inside wnd (clones included), or null.
QWidget* GetPluginByName(CMsgWnd* wnd, const QString& widgetName);
// The widget named widgetName inside parent (a clone, say), or null.
QWidget* Plugin_GetChild(QWidget* parent, const QString& widgetName);
QString Plugin_GetName(QWidget* widget);
void Plugin_SetName(QWidget* widget, const QString& name);

void Plugin_SetVisible(QWidget* widget, bool show);
bool Plugin_IsVisible(QWidget* widget);
void Plugin_Redraw(QWidget* widget, bool erase);
void Plugin_SetEnabled(QWidget* widget, bool enable);
bool Plugin_IsEnabled(QWidget* widget);
// Text of labels, buttons, line edits; the window title of a layout root.
void Plugin_SetText(QWidget* widget, const QString& text);
QString Plugin_GetText(QWidget* widget);
// Value of progress bars, sliders, scroll bars; check state of buttons (0/1).
void Plugin_SetValue(QWidget* widget, int value);
int Plugin_GetValue(QWidget* widget);
// A named style of the style sheet (the widget's "skinStyle" property), e.g. an animation frame.
void Plugin_SetStyle(QWidget* widget, const QString& styleName);
QString Plugin_GetStyle(QWidget* widget);
// Hosts a window of the program (an animation, a web view) inside a placeholder widget of the layout.
void Plugin_SetChildWindow(QWidget* holder, QWidget* child);

// Gives a drop-down button ("insert_contact_btn") its menu; choosing entry i sends event 4 with p1 = i.
void Plugin_SetMenuItems(QWidget* button, const QStringList& items);

// A new, hidden instance of the hidden template inside container (a box layout is added when it has
// none) at index position (negative or past the end: last, before a trailing spacer), named name.
// Null, with a log line, when the template was not built from a layout of this skin.
QWidget* Plugin_Clone(QWidget* templ, QWidget* container, int position, const QString& name);
void Plugin_SetClonedVisible(QWidget* clone, int show);
// Destroys a clone (or any widget) at once; its pending events are dropped.
void Plugin_Delete(QWidget* clone);
// The clone a widget belongs to (itself when it is one), or null.
QWidget* Plugin_GetCloneRoot(QWidget* widget);

QWidget* GetFocusPlugin(CMsgWnd* wnd);
void SetFocusPlugin(CMsgWnd* wnd, QWidget* widget);

// Non-zero when text matches pattern, where '*' matches any run of characters (also none).
int MatchString(const QString& pattern, const QString& text);
