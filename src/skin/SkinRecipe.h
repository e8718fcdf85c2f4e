#pragma once
// A parsed template of a layout, to build clones without parsing the .ui text each time. Building
// a row from a recipe takes about half the time of loading it through QUiLoader, which matters when a
// list clones thousands of rows. Covers what row templates use (plain widgets, box and grid layouts,
// spacers, simple property values); Parse returns null for anything else and the caller falls back
// to the loader. UI thread only.

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

class QWidget;

class CSkinRecipe {
public:
    ~CSkinRecipe();
    // document: a .ui document whose first <widget> is the template.
    static std::unique_ptr<CSkinRecipe> Parse(const QByteArray& document);
    // Builds the widgets under parent; createWidget makes a widget of a class name (null: unknown).
    QWidget* Build(QWidget* parent, const std::function<QWidget*(const QString&, QWidget*)>& createWidget) const;

    struct Node;

private:
    CSkinRecipe();
    std::unique_ptr<Node> m_root;
};
