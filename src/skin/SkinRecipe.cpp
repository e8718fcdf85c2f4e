#include "skin/SkinRecipe.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QMetaProperty>
#include <QRect>
#include <QScrollArea>
#include <QSize>
#include <QSizePolicy>
#include <QXmlStreamReader>

#include <list>

namespace {

// A property value as written in the .ui file; enums and flags stay text until the class is known.
struct Value {
    enum Kind { Plain, EnumText, SetText } kind = Plain;
    QVariant plain;
    QString text;
};

struct Property {
    QByteArray name;
    bool dynamic = false;
    Value value;
};

} // namespace

struct CSkinRecipe::Node {
    enum Kind { Widget, Layout, Spacer } kind = Widget;
    QString className;
    QString name;
    std::list<Property> properties;
    // Widget: its layout (at most one) and free children; Layout: its items.
    std::list<Node> children;
    // As a layout item.
    int row = -1;
    int column = -1;
    int rowSpan = 1;
    int columnSpan = 1;
    QString alignment;
};

namespace {

using Node = CSkinRecipe::Node;

// Classes whose children need more than parenting (pages, splitters, menus): the loader builds those.
bool NeedsLoader(const QString& className) {
    static const char* const kNames[] = {"QTabWidget", "QStackedWidget", "QToolBox", "QSplitter", "QMainWindow",
                                         "QMenu", "QMenuBar", "QToolBar", "QDockWidget", "QWizard", "QMdiArea"};
    for (const char* n : kNames) {
        if (className == QLatin1String(n)) {
            return true;
        }
    }
    return false;
}

bool ReadInt(QXmlStreamReader& r, int& out) {
    bool ok = false;
    out = r.readElementText().toInt(&ok);
    return ok;
}

// Reads the element inside <property>; false for kinds the recipe does not cover.
bool ReadValue(QXmlStreamReader& r, Value& value) {
    while (r.readNextStartElement()) {
        const QStringView kind = r.name();
        if (kind == QLatin1String("string") || kind == QLatin1String("cstring")) {
            value.plain = r.readElementText();
        } else if (kind == QLatin1String("bool")) {
            value.plain = r.readElementText() == QLatin1String("true");
        } else if (kind == QLatin1String("number")) {
            int n = 0;
            if (!ReadInt(r, n)) {
                return false;
            }
            value.plain = n;
        } else if (kind == QLatin1String("double")) {
            value.plain = r.readElementText().toDouble();
        } else if (kind == QLatin1String("enum")) {
            value.kind = Value::EnumText;
            value.text = r.readElementText();
        } else if (kind == QLatin1String("set")) {
            value.kind = Value::SetText;
            value.text = r.readElementText();
        } else if (kind == QLatin1String("size") || kind == QLatin1String("rect")) {
            const bool rect = kind == QLatin1String("rect");
            int x = 0, y = 0, w = 0, h = 0;
            while (r.readNextStartElement()) {
                int n = 0;
                const QString field = r.name().toString();
                if (!ReadInt(r, n)) {
                    return false;
                }
                if (field == QLatin1String("x")) {
                    x = n;
                } else if (field == QLatin1String("y")) {
                    y = n;
                } else if (field == QLatin1String("width")) {
                    w = n;
                } else if (field == QLatin1String("height")) {
                    h = n;
                }
            }
            value.plain = rect ? QVariant(QRect(x, y, w, h)) : QVariant(QSize(w, h));
        } else if (kind == QLatin1String("sizepolicy")) {
            const QMetaEnum policy =
                QSizePolicy::staticMetaObject.enumerator(QSizePolicy::staticMetaObject.indexOfEnumerator("Policy"));
            bool hOk = false;
            bool vOk = false;
            const int h = policy.keyToValue(r.attributes().value(QLatin1String("hsizetype")).toLatin1(), &hOk);
            const int v = policy.keyToValue(r.attributes().value(QLatin1String("vsizetype")).toLatin1(), &vOk);
            if (!hOk || !vOk) {
                return false;
            }
            QSizePolicy sp(static_cast<QSizePolicy::Policy>(h), static_cast<QSizePolicy::Policy>(v));
            while (r.readNextStartElement()) {
                int n = 0;
                const QString field = r.name().toString();
                if (!ReadInt(r, n)) {
                    return false;
                }
                if (field == QLatin1String("horstretch")) {
                    sp.setHorizontalStretch(n);
                } else if (field == QLatin1String("verstretch")) {
                    sp.setVerticalStretch(n);
                }
            }
            value.plain = QVariant::fromValue(sp);
        } else {
            return false;
        }
    }
    return true;
}

// Real layouts nest a few levels; a damaged or hostile skin file must not run the reader (and the
// tree's destructor) out of stack.
constexpr int kMaxDepth = 64;

bool ReadNode(QXmlStreamReader& r, Node& node, int depth);

bool ReadLayoutItem(QXmlStreamReader& r, Node& layout, int depth) {
    const QXmlStreamAttributes a = r.attributes();
    Node* item = nullptr;
    while (r.readNextStartElement()) {
        layout.children.emplace_back();
        item = &layout.children.back();
        item->row = a.hasAttribute(QLatin1String("row")) ? a.value(QLatin1String("row")).toInt() : -1;
        item->column = a.hasAttribute(QLatin1String("column")) ? a.value(QLatin1String("column")).toInt() : -1;
        item->rowSpan = a.hasAttribute(QLatin1String("rowspan")) ? a.value(QLatin1String("rowspan")).toInt() : 1;
        item->columnSpan = a.hasAttribute(QLatin1String("colspan")) ? a.value(QLatin1String("colspan")).toInt() : 1;
        item->alignment = a.value(QLatin1String("alignment")).toString();
        if (!ReadNode(r, *item, depth + 1)) {
            return false;
        }
    }
    return item != nullptr;
}

// r stands on <widget>, <layout> or <spacer>.
bool ReadNode(QXmlStreamReader& r, Node& node, int depth) {
    if (depth > kMaxDepth) {
        return false;
    }
    const QStringView element = r.name();
    if (element == QLatin1String("widget")) {
        node.kind = Node::Widget;
    } else if (element == QLatin1String("layout")) {
        node.kind = Node::Layout;
    } else if (element == QLatin1String("spacer")) {
        node.kind = Node::Spacer;
    } else {
        return false;
    }
    node.className = r.attributes().value(QLatin1String("class")).toString();
    node.name = r.attributes().value(QLatin1String("name")).toString();
    if (node.kind == Node::Widget && NeedsLoader(node.className)) {
        return false;
    }
    while (r.readNextStartElement()) {
        const QStringView child = r.name();
        if (child == QLatin1String("property")) {
            Property p;
            p.name = r.attributes().value(QLatin1String("name")).toLatin1();
            p.dynamic = r.attributes().value(QLatin1String("stdset")) == QLatin1String("0");
            if (!ReadValue(r, p.value)) {
                return false;
            }
            node.properties.push_back(std::move(p));
        } else if (child == QLatin1String("item") && node.kind == Node::Layout) {
            if (!ReadLayoutItem(r, node, depth)) {
                return false;
            }
        } else if ((child == QLatin1String("widget") || child == QLatin1String("layout")) &&
                   node.kind == Node::Widget) {
            node.children.emplace_back();
            if (!ReadNode(r, node.children.back(), depth + 1)) {
                return false;
            }
        } else if (child == QLatin1String("zorder")) {
            r.skipCurrentElement();
        } else {
            return false; // actions, attributes, item lists: the loader knows them
        }
    }
    return !r.hasError();
}

QVariant Resolve(const QMetaObject* meta, const Property& p) {
    if (p.value.kind == Value::Plain) {
        return p.value.plain;
    }
    const int index = meta->indexOfProperty(p.name.constData());
    if (index < 0) {
        return {};
    }
    const QMetaProperty property = meta->property(index);
    if (!property.isEnumType()) {
        return {};
    }
    bool ok = false;
    const QByteArray keys = p.value.text.toLatin1();
    const int v = p.value.kind == Value::SetText ? property.enumerator().keysToValue(keys.constData(), &ok)
                                                 : property.enumerator().keyToValue(keys.constData(), &ok);
    return ok ? QVariant(v) : QVariant();
}

void ApplyProperties(QObject* object, const Node& node) {
    const QMetaObject* meta = object->metaObject();
    for (const Property& p : node.properties) {
        const QVariant value = Resolve(meta, p);
        if (value.isValid()) {
            object->setProperty(p.name.constData(), value);
        }
    }
}

Qt::Alignment ItemAlignment(const QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    bool ok = false;
    const QMetaEnum e = QMetaEnum::fromType<Qt::Alignment>();
    const int v = e.keysToValue(text.toLatin1().constData(), &ok);
    return ok ? Qt::Alignment(v) : Qt::Alignment();
}

QSpacerItem* BuildSpacer(const Node& node) {
    bool horizontal = true;
    QSizePolicy::Policy type = QSizePolicy::Expanding;
    QSize hint(0, 0);
    const QMetaEnum policy =
        QSizePolicy::staticMetaObject.enumerator(QSizePolicy::staticMetaObject.indexOfEnumerator("Policy"));
    for (const Property& p : node.properties) {
        if (p.name == "orientation") {
            horizontal = p.value.text != QLatin1String("Qt::Vertical");
        } else if (p.name == "sizeType") {
            bool ok = false;
            const int v = policy.keyToValue(p.value.text.toLatin1().constData(), &ok);
            if (ok) {
                type = static_cast<QSizePolicy::Policy>(v);
            }
        } else if (p.name == "sizeHint") {
            hint = p.value.plain.toSize();
        }
    }
    return horizontal ? new QSpacerItem(hint.width(), hint.height(), type, QSizePolicy::Minimum)
                      : new QSpacerItem(hint.width(), hint.height(), QSizePolicy::Minimum, type);
}

struct Builder {
    const std::function<QWidget*(const QString&, QWidget*)>& create;

    QWidget* BuildWidget(const Node& node, QWidget* parent) const {
        QWidget* w = create(node.className, parent);
        if (w == nullptr) {
            return nullptr;
        }
        w->setObjectName(node.name);
        for (const Node& child : node.children) {
            if (child.kind == Node::Layout) {
                if (!BuildLayout(child, w, nullptr)) {
                    delete w;
                    return nullptr;
                }
            } else if (child.kind == Node::Widget) {
                QWidget* c = BuildWidget(child, w);
                if (c == nullptr) {
                    delete w;
                    return nullptr;
                }
                if (auto* area = qobject_cast<QScrollArea*>(w)) {
                    area->setWidget(c);
                }
            }
        }
        ApplyProperties(w, node);
        return w;
    }

    // Into a widget (owner) or into an enclosing layout (parentLayout).
    QLayout* BuildLayout(const Node& node, QWidget* owner, QLayout* parentLayout) const {
        QLayout* layout = nullptr;
        if (node.className == QLatin1String("QVBoxLayout")) {
            layout = new QVBoxLayout;
        } else if (node.className == QLatin1String("QHBoxLayout")) {
            layout = new QHBoxLayout;
        } else if (node.className == QLatin1String("QGridLayout")) {
            layout = new QGridLayout;
        } else {
            return nullptr;
        }
        layout->setObjectName(node.name);
        if (owner != nullptr) {
            owner->setLayout(layout);
        }
        QWidget* host = owner != nullptr ? owner : parentLayout->parentWidget();
        int left = -1, top = -1, right = -1, bottom = -1;
        for (const Property& p : node.properties) {
            const int n = p.value.plain.toInt();
            if (p.name == "leftMargin") {
                left = n;
            } else if (p.name == "topMargin") {
                top = n;
            } else if (p.name == "rightMargin") {
                right = n;
            } else if (p.name == "bottomMargin") {
                bottom = n;
            } else if (p.name == "margin") {
                left = top = right = bottom = n;
            } else if (p.name == "spacing") {
                layout->setSpacing(n);
            } else if (p.name == "horizontalSpacing") {
                static_cast<QGridLayout*>(layout)->setHorizontalSpacing(n);
            } else if (p.name == "verticalSpacing") {
                static_cast<QGridLayout*>(layout)->setVerticalSpacing(n);
            }
        }
        if (left >= 0 || top >= 0 || right >= 0 || bottom >= 0) {
            const QMargins m = layout->contentsMargins();
            layout->setContentsMargins(left >= 0 ? left : m.left(), top >= 0 ? top : m.top(),
                                       right >= 0 ? right : m.right(), bottom >= 0 ? bottom : m.bottom());
        }
        auto* box = qobject_cast<QBoxLayout*>(layout);
        auto* grid = qobject_cast<QGridLayout*>(layout);
        for (const Node& item : node.children) {
            const Qt::Alignment alignment = ItemAlignment(item.alignment);
            QLayoutItem* built = nullptr;
            QWidget* widget = nullptr;
            QLayout* sub = nullptr;
            if (item.kind == Node::Widget) {
                widget = BuildWidget(item, host);
            } else if (item.kind == Node::Layout) {
                sub = BuildLayout(item, nullptr, layout);
            }
            if (item.kind != Node::Spacer && widget == nullptr && sub == nullptr) {
                if (owner == nullptr) {
                    delete layout; // not yet handed to anyone; the widgets go with their host
                }
                return nullptr;
            }
            if (item.kind == Node::Spacer) {
                built = BuildSpacer(item);
            }
            if (box != nullptr) {
                if (widget != nullptr) {
                    box->addWidget(widget, 0, alignment);
                } else if (sub != nullptr) {
                    box->addLayout(sub);
                } else {
                    box->addItem(built);
                }
            } else if (grid != nullptr) {
                if (widget != nullptr) {
                    grid->addWidget(widget, item.row, item.column, item.rowSpan, item.columnSpan, alignment);
                } else if (sub != nullptr) {
                    grid->addLayout(sub, item.row, item.column, item.rowSpan, item.columnSpan, alignment);
                } else {
                    grid->addItem(built, item.row, item.column, item.rowSpan, item.columnSpan, alignment);
                }
            }
        }
        for (const Property& p : node.properties) {
            if (p.name == "stretch" && box != nullptr) {
                const QStringList parts = p.value.plain.toString().split(QLatin1Char(','));
                for (int i = 0; i < parts.size() && i < box->count(); ++i) {
                    box->setStretch(i, parts[i].toInt());
                }
            }
        }
        return layout;
    }
};

} // namespace

CSkinRecipe::CSkinRecipe() = default;
CSkinRecipe::~CSkinRecipe() = default;

std::unique_ptr<CSkinRecipe> CSkinRecipe::Parse(const QByteArray& document) {
    QXmlStreamReader r(document);
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("widget")) {
            auto recipe = std::unique_ptr<CSkinRecipe>(new CSkinRecipe);
            recipe->m_root = std::make_unique<Node>();
            if (!ReadNode(r, *recipe->m_root, 0)) {
                return nullptr;
            }
            return recipe;
        }
    }
    return nullptr;
}

QWidget* CSkinRecipe::Build(QWidget* parent, const std::function<QWidget*(const QString&, QWidget*)>& createWidget) const {
    const Builder builder{createWidget};
    return builder.BuildWidget(*m_root, parent);
}
