#include "skin/Skin.h"

#include "libs/log/Log.h"
#include "skin/SkinEvent.h"
#include "skin/SkinRecipe.h"
#include "skin/SkinWidgets.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QApplication>
#include <QBoxLayout>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUiLoader>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

// Limits that keep a damaged skin from eating memory; real files are a few kilobytes.
constexpr qint64 kMaxConfigBytes = 1 << 20;
constexpr qint64 kMaxSkinFileBytes = 8 << 20;

const char* const kRootProperty = "_skinLayoutRoot";
const char* const kUiFileProperty = "_skinUiFile";
const char* const kCloneProperty = "_skinClone";
const char* const kSkinProperty = "_skinObject";
const char* const kPendingShowProperty = "_skinShowPending";
const char* const kShowerProperty = "_skinRowShower";
const char* const kWiredProperty = "_skinWired";
const char* const kStyleProperty = "skinStyle";
const char* const kEventProperty = "skinEvent";

CSkin* g_appSkin = nullptr;

bool ReadSmallFile(const QString& path, qint64 limit, QByteArray& out) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    if (file.size() > limit) {
        LOG_Error("[Skin] %s is larger than %lld bytes. %s:%d", qUtf8Printable(path), static_cast<long long>(limit),
                  LOG_HERE);
        return false;
    }
    out = file.readAll();
    return true;
}

// A file named by config.xml must stay inside the skin folder: no absolute paths, no "..", no drive or
// resource prefixes, no backslashes.
QString ResolveSkinPath(const QString& folder, const QString& relative) {
    if (relative.isEmpty() || relative.contains(QLatin1Char('\\')) || relative.contains(QLatin1Char(':')) ||
        QDir::isAbsolutePath(relative)) {
        return {};
    }
    const QString cleaned = QDir::cleanPath(relative);
    if (cleaned == QLatin1String("..") || cleaned.startsWith(QLatin1String("../"))) {
        return {};
    }
    return QDir(folder).filePath(cleaned);
}

// Runs f on the widget's thread: at once when already there, else queued (dropped if the widget goes).
template <class F>
void OnWidgetThread(QWidget* widget, F f) {
    if (widget == nullptr) {
        return;
    }
    if (QThread::currentThread() == widget->thread()) {
        f();
    } else {
        QMetaObject::invokeMethod(widget, std::move(f), Qt::QueuedConnection);
    }
}

template <class R, class F>
R AskWidgetThread(QWidget* widget, F f) {
    if (QThread::currentThread() == widget->thread()) {
        return f();
    }
    R result{};
    QMetaObject::invokeMethod(
        widget, [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
}

CMsgWnd* HostOf(QWidget* widget) {
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (auto* host = dynamic_cast<CMsgWnd*>(w)) {
            return host;
        }
    }
    return nullptr;
}

void Send(const QPointer<CMsgWnd>& host, QWidget* widget, int code, std::intptr_t p1, std::intptr_t p2) {
    if (host.isNull()) {
        return;
    }
    SkinEvent event{code, p1, p2};
    host->SendMessage(WM_SKIN_EVENT, reinterpret_cast<WPARAM>(widget), reinterpret_cast<LPARAM>(&event));
}

CSkinPictureCell* CellOf(QWidget* widget) {
    for (QWidget* w = widget->parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (auto* cell = qobject_cast<CSkinPictureCell*>(w)) {
            return cell;
        }
        if (w->property(kRootProperty).toBool() || w->property(kCloneProperty).toBool()) {
            break;
        }
    }
    return nullptr;
}

int EventOverride(QWidget* widget, int fallback) {
    bool ok = false;
    const int code = widget->property(kEventProperty).toInt(&ok);
    return ok && code != 0 ? code : fallback;
}

// Turns the signals of one widget into skin events for host.
void WireWidget(QWidget* w, CMsgWnd* hostWindow) {
    if (w->property(kWiredProperty).toBool()) {
        return;
    }
    w->setProperty(kWiredProperty, true);
    const QPointer<CMsgWnd> host(hostWindow);

    if (auto* tab = qobject_cast<CSkinTabButton*>(w)) {
        QObject::connect(tab, &QAbstractButton::toggled, tab,
                         [host, tab](bool on) { Send(host, tab, kSkinTab, on ? 1 : 0, 0); });
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
        CSkinPictureCell* cell = CellOf(check);
        QWidget* reported = cell != nullptr ? static_cast<QWidget*>(cell) : check;
        const int code = cell != nullptr ? kSkinCellCheck : EventOverride(check, kSkinCheck);
        QObject::connect(check, &QAbstractButton::toggled, check,
                         [host, reported, code](bool on) { Send(host, reported, code, on ? 1 : 0, 0); });
    } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
        QObject::connect(radio, &QAbstractButton::toggled, radio,
                         [host, radio](bool on) { Send(host, radio, kSkinRadio, on ? 1 : 0, 0); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        const int code = EventOverride(button, kSkinClick);
        QObject::connect(button, &QAbstractButton::clicked, button,
                         [host, button, code] { Send(host, button, code, 0, 0); });
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        const int code = EventOverride(combo, kSkinChoice);
        QObject::connect(combo, &QComboBox::activated, combo,
                         [host, combo, code](int index) { Send(host, combo, code, index, 0); });
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        const int code = EventOverride(list, kSkinListRow);
        QObject::connect(list, &QListWidget::currentRowChanged, list,
                         [host, list, code](int row) { Send(host, list, code, row, 0); });
        QObject::connect(list, &QListWidget::itemActivated, list, [host, list, code](QListWidgetItem* item) {
            Send(host, list, code, list->row(item), 1);
        });
    } else if (auto* tree = qobject_cast<QTreeWidget*>(w)) {
        const int code = EventOverride(tree, kSkinTree);
        QObject::connect(tree, &QTreeWidget::currentItemChanged, tree,
                         [host, tree, code](QTreeWidgetItem* item, QTreeWidgetItem*) {
                             if (item == nullptr) {
                                 Send(host, tree, code, -1, -1);
                             } else if (item->parent() == nullptr) {
                                 Send(host, tree, code, tree->indexOfTopLevelItem(item), -1);
                             } else {
                                 Send(host, tree, code, tree->indexOfTopLevelItem(item->parent()),
                                      item->parent()->indexOfChild(item));
                             }
                         });
    } else if (auto* cell = qobject_cast<CSkinPictureCell*>(w)) {
        QObject::connect(cell, &CSkinPictureCell::cellClicked, cell,
                         [host, cell] { Send(host, cell, kSkinCellClick, 0, 0); });
        QObject::connect(cell, &CSkinPictureCell::cellDoubleClicked, cell,
                         [host, cell] { Send(host, cell, kSkinCellDoubleClick, 0, 0); });
    } else if (auto* bar = qobject_cast<QScrollBar*>(w)) {
        if (bar->orientation() == Qt::Vertical) {
            QObject::connect(bar, &QScrollBar::valueChanged, bar,
                             [host, bar](int value) { Send(host, bar, kSkinVScroll, value, bar->maximum()); });
        }
    }
    // A scroll area (lists included) reports its vertical bar under its own name.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) {
        QScrollBar* bar = area->verticalScrollBar();
        QObject::connect(bar, &QScrollBar::valueChanged, area,
                         [host, area, bar](int value) { Send(host, area, kSkinVScroll, value, bar->maximum()); });
    }
}

bool IsSkinWidgetName(const QString& name) {
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_"));
}

void WireTree(QWidget* root, CMsgWnd* host) {
    if (IsSkinWidgetName(root->objectName())) {
        WireWidget(root, host);
    }
    const QList<QWidget*> children = root->findChildren<QWidget*>();
    for (QWidget* w : children) {
        if (IsSkinWidgetName(w->objectName())) {
            WireWidget(w, host);
        }
    }
}

// Templates are hidden until cloned; their names say what they are.
void HideTemplates(QWidget* root) {
    const QList<QWidget*> children = root->findChildren<QWidget*>();
    for (QWidget* w : children) {
        if (w->objectName().contains(QLatin1String("template"))) {
            w->hide();
        }
    }
}

// Layouts keep buttons out of the focus a click gives (no focus frame after a mouse click); the
// keyboard still reaches every button, check box, radio and choice with Tab, in the layout's order.
void OpenToTab(QWidget* root) {
    const QList<QWidget*> children = root->findChildren<QWidget*>();
    for (QWidget* w : children) {
        if (w->focusPolicy() == Qt::NoFocus && (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w))) {
            w->setFocusPolicy(Qt::TabFocus);
        }
    }
}

// Shows cloned rows of a visible container in slices between other events. Showing a child of a
// visible widget polishes it and lays the parent out at once, so a list of thousands of rows shown
// in one go would freeze the window for seconds; in slices the first rows appear at once and the
// window keeps answering the user while the rest arrive. Rows count as visible from the moment they
// are asked to show.
class CRowShower : public QObject {
public:
    static CRowShower* For(QWidget* container) {
        auto* shower = static_cast<CRowShower*>(container->property(kShowerProperty).value<QObject*>());
        if (shower == nullptr) {
            shower = new CRowShower(container);
            container->setProperty(kShowerProperty, QVariant::fromValue<QObject*>(shower));
        }
        return shower;
    }

    void Add(QWidget* row) {
        m_pending.append(row);
        Schedule();
    }

    // Holds the layout until the next slice (deleting many rows one by one would lay out each time).
    void PauseLayout() {
        if (QLayout* layout = m_container->layout(); layout != nullptr && layout->isEnabled()) {
            layout->setEnabled(false);
            Schedule();
        }
    }

    // Time spent in one slice at most, so that input and painting get their turn.
    static constexpr int kSliceMs = 25;

private:
    explicit CRowShower(QWidget* container) : QObject(container), m_container(container) {}

    void Schedule() {
        if (!m_scheduled) {
            m_scheduled = true;
            QTimer::singleShot(0, this, [this] { ShowSlice(); });
        }
    }

    void ShowSlice() {
        m_scheduled = false;
        QLayout* layout = m_container->layout();
        if (layout != nullptr) {
            layout->setEnabled(false);
        }
        QElapsedTimer timer;
        timer.start();
        qsizetype done = 0;
        while (done < m_pending.size() && (done == 0 || timer.elapsed() < kSliceMs)) {
            QWidget* row = m_pending[done++];
            if (row != nullptr && row->property(kPendingShowProperty).toBool()) {
                row->setProperty(kPendingShowProperty, QVariant());
                row->setVisible(true);
            }
        }
        m_pending.remove(0, done);
        if (layout != nullptr) {
            layout->setEnabled(true);
            layout->invalidate();
            layout->activate();
        }
        if (!m_pending.isEmpty()) {
            Schedule();
        }
    }

    QWidget* m_container;
    QList<QPointer<QWidget>> m_pending;
    bool m_scheduled = false;
};

class CSkinUiLoader : public QUiLoader {
public:
    CSkinUiLoader() { clearPluginPaths(); }

    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        QWidget* w = CreateSkinWidget(className, parent);
        if (w == nullptr) {
            w = QUiLoader::createWidget(className, parent, name);
        }
        if (w == nullptr) {
            if (m_unknownClass.isEmpty()) {
                m_unknownClass = className;
            }
            return nullptr;
        }
        w->setObjectName(name);
        return w;
    }

    // Loads a .ui document; null when it cannot be read or names a class the skin does not know.
    QWidget* LoadDocument(const QByteArray& document, QWidget* parent, QString& error) {
        m_unknownClass.clear();
        QBuffer buffer;
        buffer.setData(document);
        buffer.open(QIODevice::ReadOnly);
        QWidget* root = load(&buffer, parent);
        if (!m_unknownClass.isEmpty()) {
            error = QStringLiteral("unknown widget class %1").arg(m_unknownClass);
            delete root;
            return nullptr;
        }
        if (root == nullptr) {
            error = errorString().isEmpty() ? QStringLiteral("not a layout") : errorString();
        }
        return root;
    }

private:
    QString m_unknownClass;
};

CSkinUiLoader& Loader() {
    static CSkinUiLoader* loader = [] {
        // The loader loads every Designer plugin on the library path as it is constructed (the web
        // view's among them, which would start the whole web engine). The skin needs none of them, so
        // the path is empty for that moment.
        const QStringList paths = QCoreApplication::libraryPaths();
        QCoreApplication::setLibraryPaths({});
        auto* created = new CSkinUiLoader;
        QCoreApplication::setLibraryPaths(paths);
        return created;
    }();
    return *loader;
}

// Copies the element the reader stands on (a <widget>) with everything inside it.
void CopyElement(QXmlStreamReader& reader, QXmlStreamWriter& writer) {
    int depth = 0;
    do {
        if (reader.isStartElement()) {
            ++depth;
        } else if (reader.isEndElement()) {
            --depth;
        }
        writer.writeCurrentToken(reader);
        if (depth == 0) {
            return;
        }
        reader.readNext();
    } while (!reader.atEnd());
}

} // namespace

CSkin::CSkin() : m_resources(std::make_unique<CSkinResources>()) {}
CSkin::~CSkin() = default;

void CSkin::Release() {
    if (g_appSkin == this) {
        SetAppSkin(nullptr);
    }
    delete this;
}

QString CSkin::LayoutFile(const QString& name) const {
    return m_layouts.value(name);
}

QStringList CSkin::LayoutNames() const {
    return m_layoutOrder;
}

QByteArray CSkin::TemplateDocument(const QString& uiFile, const QString& templateName) {
    const QString key = uiFile + QLatin1Char('#') + templateName;
    const auto cached = m_templates.constFind(key);
    if (cached != m_templates.constEnd()) {
        return *cached;
    }
    QByteArray text;
    if (!ReadSmallFile(uiFile, kMaxSkinFileBytes, text)) {
        return {};
    }
    QXmlStreamReader reader(text);
    QByteArray document;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("widget") &&
            reader.attributes().value(QLatin1String("name")) == templateName) {
            QXmlStreamWriter writer(&document);
            writer.writeStartDocument();
            writer.writeStartElement(QStringLiteral("ui"));
            writer.writeAttribute(QStringLiteral("version"), QStringLiteral("4.0"));
            CopyElement(reader, writer);
            writer.writeEndElement();
            writer.writeEndDocument();
            break;
        }
    }
    if (reader.hasError()) {
        document.clear();
    }
    m_templates.insert(key, document);
    return document;
}

const CSkinRecipe* CSkin::TemplateRecipe(const QString& uiFile, const QString& templateName) {
    const QString key = uiFile + QLatin1Char('#') + templateName;
    const auto cached = m_recipes.constFind(key);
    if (cached != m_recipes.constEnd()) {
        return cached->get();
    }
    const QByteArray document = TemplateDocument(uiFile, templateName);
    std::shared_ptr<CSkinRecipe> recipe(document.isEmpty() ? nullptr : CSkinRecipe::Parse(document).release());
    m_recipes.insert(key, recipe);
    return recipe.get();
}

QFont CSkinResources::Font(const QString& name, int sizeClass) const {
    static const int kPixels[] = {12, 13, 16, 20};
    QFont font(m_families.value(name, m_families.value(QStringLiteral("font_default"),
                                                           QStringLiteral("Noto Sans CJK SC"))));
    font.setPixelSize(kPixels[qBound(1, sizeClass, 4) - 1]);
    return font;
}

CSkin* LoadStyleW(const QString& configPath) {
    QByteArray text;
    if (!ReadSmallFile(configPath, kMaxConfigBytes, text)) {
        LOG_Error("[Skin] cannot read %s. %s:%d", qUtf8Printable(configPath), LOG_HERE);
        return nullptr;
    }
    auto skin = std::unique_ptr<CSkin>(new CSkin);
    skin->m_folder = QFileInfo(configPath).absolutePath();
    QString styleFile;
    QString imageFolder;

    QXmlStreamReader reader(text);
    bool sawRoot = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement()) {
            continue;
        }
        const QStringView element = reader.name();
        const QXmlStreamAttributes attributes = reader.attributes();
        if (!sawRoot) {
            if (element != QLatin1String("skin")) {
                reader.raiseError(QStringLiteral("the root element is not <skin>"));
                break;
            }
            sawRoot = true;
            continue;
        }
        if (element == QLatin1String("stylesheet")) {
            styleFile = ResolveSkinPath(skin->m_folder, attributes.value(QLatin1String("file")).toString());
        } else if (element == QLatin1String("images")) {
            imageFolder = ResolveSkinPath(skin->m_folder, attributes.value(QLatin1String("folder")).toString());
        } else if (element == QLatin1String("font")) {
            skin->m_resources->m_families.insert(attributes.value(QLatin1String("name")).toString(),
                                                 attributes.value(QLatin1String("family")).toString());
        } else if (element == QLatin1String("layout")) {
            const QString name = attributes.value(QLatin1String("name")).toString();
            const QString file = attributes.value(QLatin1String("file")).toString();
            const QString path = ResolveSkinPath(skin->m_folder, file);
            if (name.isEmpty() || path.isEmpty()) {
                LOG_Error("[Skin] layout \"%s\" with file \"%s\" ignored: the file must be inside the skin folder. %s:%d",
                          qUtf8Printable(name), qUtf8Printable(file), LOG_HERE);
            } else if (skin->m_layouts.contains(name)) {
                LOG_Error("[Skin] layout \"%s\" named twice; the first one is used. %s:%d", qUtf8Printable(name),
                          LOG_HERE);
            } else {
                skin->m_layouts.insert(name, path);
                skin->m_layoutOrder << name;
            }
        }
    }
    if (reader.hasError()) {
        LOG_Error("[Skin] %s is malformed at line %lld: %s. %s:%d", qUtf8Printable(configPath),
                  static_cast<long long>(reader.lineNumber()), qUtf8Printable(reader.errorString()), LOG_HERE);
        return nullptr;
    }
    if (!sawRoot || skin->m_layouts.isEmpty()) {
        LOG_Error("[Skin] %s names no layouts. %s:%d", qUtf8Printable(configPath), LOG_HERE);
        return nullptr;
    }
    QByteArray sheet;
    if (styleFile.isEmpty() || !ReadSmallFile(styleFile, kMaxSkinFileBytes, sheet)) {
        LOG_Error("[Skin] %s: the style sheet is missing or unreadable. %s:%d", qUtf8Printable(configPath),
                  LOG_HERE);
        return nullptr;
    }
    skin->m_imageFolder = imageFolder.isEmpty() ? skin->m_folder : imageFolder;
    skin->m_styleSheet = QString::fromUtf8(sheet).replace(QLatin1String("${images}"), skin->m_imageFolder);
    return skin.release();
}

CSkin* AppSkin() {
    return g_appSkin;
}

void SetAppSkin(CSkin* skin) {
    g_appSkin = skin;
    // One sheet for the whole program: widgets then share the application's style instead of each
    // inheriting their window's, which makes building large lists markedly cheaper.
    qApp->setStyleSheet(skin != nullptr ? skin->StyleSheet() : QString());
}

int WindowManager_Attach(CSkin* skin, CMsgWnd* wnd, const QString& layoutName) {
    if (skin == nullptr || wnd == nullptr) {
        LOG_Error("[Skin] attach \"%s\" without a skin or window. %s:%d", qUtf8Printable(layoutName), LOG_HERE);
        return 0;
    }
    const QString file = skin->LayoutFile(layoutName);
    if (file.isEmpty()) {
        LOG_Error("[Skin] no layout named \"%s\". %s:%d", qUtf8Printable(layoutName), LOG_HERE);
        return 0;
    }
    QByteArray document;
    if (!ReadSmallFile(file, kMaxSkinFileBytes, document)) {
        LOG_Error("[Skin] layout \"%s\": cannot read %s. %s:%d", qUtf8Printable(layoutName), qUtf8Printable(file),
                  LOG_HERE);
        return 0;
    }
    QString error;
    QWidget* root = Loader().LoadDocument(document, wnd, error);
    if (root == nullptr) {
        LOG_Error("[Skin] layout \"%s\" (%s): %s. %s:%d", qUtf8Printable(layoutName), qUtf8Printable(file),
                  qUtf8Printable(error), LOG_HERE);
        return 0;
    }
    if (QWidget* old = GetLayoutRoot(wnd)) {
        delete old;
    }
    root->setProperty(kRootProperty, true);
    root->setProperty(kUiFileProperty, file);
    root->setProperty(kSkinProperty, QVariant::fromValue(reinterpret_cast<quintptr>(skin)));
    HideTemplates(root);
    OpenToTab(root);

    // The program's skin styles the whole application (see SetAppSkin); another skin (tests, tools)
    // styles its own windows, and children hosted inside a skinned window inherit it.
    bool inherited = qApp->styleSheet() == skin->StyleSheet();
    for (QWidget* w = wnd->parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (w->styleSheet() == skin->StyleSheet()) {
            inherited = true;
            break;
        }
    }
    if (!inherited && wnd->styleSheet() != skin->StyleSheet()) {
        wnd->setStyleSheet(skin->StyleSheet());
    }
    auto* box = qobject_cast<QBoxLayout*>(wnd->layout());
    if (box == nullptr) {
        delete wnd->layout();
        box = new QVBoxLayout(wnd);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(0);
    }
    box->addWidget(root);
    wnd->resize(root->size());
    WireTree(root, wnd);
    return 1;
}

QWidget* GetLayoutRoot(CMsgWnd* wnd) {
    if (wnd == nullptr) {
        return nullptr;
    }
    const QList<QWidget*> children = wnd->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* w : children) {
        if (w->property(kRootProperty).toBool()) {
            return w;
        }
    }
    return nullptr;
}

QWidget* GetPluginByName(CMsgWnd* wnd, const QString& widgetName) {
    QWidget* root = GetLayoutRoot(wnd);
    if (root == nullptr || widgetName.isEmpty()) {
        return nullptr;
    }
    if (root->objectName() == widgetName) {
        return root;
    }
    return root->findChild<QWidget*>(widgetName);
}

QWidget* Plugin_GetChild(QWidget* parent, const QString& widgetName) {
    if (parent == nullptr || widgetName.isEmpty()) {
        return nullptr;
    }
    return parent->findChild<QWidget*>(widgetName);
}

QString Plugin_GetName(QWidget* widget) {
    return widget != nullptr ? widget->objectName() : QString();
}

void Plugin_SetName(QWidget* widget, const QString& name) {
    OnWidgetThread(widget, [widget, name] { widget->setObjectName(name); });
}

void Plugin_SetVisible(QWidget* widget, bool show) {
    OnWidgetThread(widget, [widget, show] {
        widget->setProperty(kPendingShowProperty, QVariant());
        widget->setVisible(show);
    });
}

bool Plugin_IsVisible(QWidget* widget) {
    if (widget == nullptr) {
        return false;
    }
    // "Visible" as the layout means it: not hidden itself, whether or not the window is on screen yet.
    return AskWidgetThread<bool>(
        widget, [widget] { return !widget->isHidden() || widget->property(kPendingShowProperty).toBool(); });
}

void Plugin_Redraw(QWidget* widget, bool erase) {
    OnWidgetThread(widget, [widget, erase] {
        if (erase) {
            widget->update();
        } else {
            widget->repaint();
        }
    });
}

void Plugin_SetEnabled(QWidget* widget, bool enable) {
    OnWidgetThread(widget, [widget, enable] { widget->setEnabled(enable); });
}

bool Plugin_IsEnabled(QWidget* widget) {
    if (widget == nullptr) {
        return false;
    }
    return AskWidgetThread<bool>(widget, [widget] { return widget->isEnabled(); });
}

void Plugin_SetText(QWidget* widget, const QString& text) {
    OnWidgetThread(widget, [widget, text] {
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setText(text);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            button->setText(text);
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(text);
        } else if (auto* textEdit = qobject_cast<QTextEdit*>(widget)) {
            textEdit->setPlainText(text);
        } else if (widget->property(kRootProperty).toBool()) {
            widget->setWindowTitle(text);
            widget->window()->setWindowTitle(text);
            if (auto* caption = widget->findChild<QLabel*>(QStringLiteral("caption_title"))) {
                caption->setText(text);
            }
        } else {
            widget->setWindowTitle(text);
        }
    });
}

QString Plugin_GetText(QWidget* widget) {
    if (widget == nullptr) {
        return {};
    }
    return AskWidgetThread<QString>(widget, [widget]() -> QString {
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            return label->text();
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            return button->text();
        }
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            return edit->text();
        }
        if (auto* textEdit = qobject_cast<QTextEdit*>(widget)) {
            return textEdit->toPlainText();
        }
        return widget->windowTitle();
    });
}

void Plugin_SetValue(QWidget* widget, int value) {
    OnWidgetThread(widget, [widget, value] {
        if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
            bar->setValue(value);
        } else if (auto* slider = qobject_cast<QAbstractSlider*>(widget)) {
            slider->setValue(value);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            button->setChecked(value != 0);
        }
    });
}

int Plugin_GetValue(QWidget* widget) {
    if (widget == nullptr) {
        return 0;
    }
    return AskWidgetThread<int>(widget, [widget] {
        if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
            return bar->value();
        }
        if (auto* slider = qobject_cast<QAbstractSlider*>(widget)) {
            return slider->value();
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            return button->isChecked() ? 1 : 0;
        }
        return 0;
    });
}

void Plugin_SetStyle(QWidget* widget, const QString& styleName) {
    OnWidgetThread(widget, [widget, styleName] {
        if (widget->property(kStyleProperty).toString() == styleName) {
            return;
        }
        widget->setProperty(kStyleProperty, styleName);
        // Property selectors of the style sheet are evaluated at polish time only.
        widget->style()->unpolish(widget);
        widget->style()->polish(widget);
        widget->update();
    });
}

QString Plugin_GetStyle(QWidget* widget) {
    if (widget == nullptr) {
        return {};
    }
    return AskWidgetThread<QString>(widget, [widget] { return widget->property(kStyleProperty).toString(); });
}

void Plugin_SetChildWindow(QWidget* holder, QWidget* child) {
    if (holder == nullptr || child == nullptr) {
        return;
    }
    if (auto* host = qobject_cast<CSkinHost*>(holder)) {
        host->SetChild(child);
        return;
    }
    child->setParent(holder);
    if (holder->layout() == nullptr) {
        auto* box = new QVBoxLayout(holder);
        box->setContentsMargins(0, 0, 0, 0);
    }
    holder->layout()->addWidget(child);
}

QWidget* Plugin_Clone(QWidget* templ, QWidget* container, int position, const QString& name) {
    if (templ == nullptr || container == nullptr) {
        LOG_Error("[Skin] clone \"%s\": no template or container. %s:%d", qUtf8Printable(name), LOG_HERE);
        return nullptr;
    }
    QString uiFile;
    CSkin* skin = nullptr;
    for (QWidget* w = templ; w != nullptr && uiFile.isEmpty(); w = w->parentWidget()) {
        uiFile = w->property(kUiFileProperty).toString();
        skin = reinterpret_cast<CSkin*>(w->property(kSkinProperty).value<quintptr>());
    }
    CMsgWnd* host = HostOf(container);
    QByteArray document;
    if (!uiFile.isEmpty() && skin != nullptr) {
        document = skin->TemplateDocument(uiFile, templ->objectName());
    }
    if (document.isEmpty()) {
        LOG_Error("[Skin] clone \"%s\": template \"%s\" is not part of a layout of the skin. %s:%d",
                  qUtf8Printable(name), qUtf8Printable(templ->objectName()), LOG_HERE);
        return nullptr;
    }
    QString error;
    QWidget* clone = nullptr;
    if (const CSkinRecipe* recipe = skin->TemplateRecipe(uiFile, templ->objectName())) {
        clone = recipe->Build(container, [](const QString& className, QWidget* parent) {
            QWidget* w = CreateSkinWidget(className, parent);
            return w != nullptr ? w : Loader().createWidget(className, parent, QString());
        });
        if (clone == nullptr) {
            error = QStringLiteral("cannot build it");
        }
    } else {
        clone = Loader().LoadDocument(document, container, error);
    }
    if (clone == nullptr) {
        LOG_Error("[Skin] clone \"%s\" of \"%s\": %s. %s:%d", qUtf8Printable(name),
                  qUtf8Printable(templ->objectName()), qUtf8Printable(error), LOG_HERE);
        return nullptr;
    }
    clone->hide();
    // Every new widget asks to be polished on the next event-loop turn; for rows that only show
    // later (see CRowShower) that would style thousands of widgets in one go. Showing polishes them.
    QCoreApplication::removePostedEvents(clone, QEvent::PolishRequest);
    for (QWidget* child : clone->findChildren<QWidget*>()) {
        QCoreApplication::removePostedEvents(child, QEvent::PolishRequest);
    }
    clone->setObjectName(name);
    clone->setProperty(kCloneProperty, true);
    clone->setProperty(kUiFileProperty, uiFile);
    clone->setProperty(kSkinProperty, QVariant::fromValue(reinterpret_cast<quintptr>(skin)));

    auto* box = qobject_cast<QBoxLayout*>(container->layout());
    if (box == nullptr && container->layout() == nullptr) {
        box = new QVBoxLayout(container);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(0);
    }
    if (box != nullptr) {
        int count = box->count();
        // Rows go above a trailing spacer that keeps the list at the top.
        if (count > 0 && box->itemAt(count - 1)->spacerItem() != nullptr) {
            --count;
        }
        box->insertWidget(position < 0 || position > count ? count : position, clone);
    } else {
        container->layout()->addWidget(clone);
    }
    if (host != nullptr) {
        WireTree(clone, host);
    }
    return clone;
}

void Plugin_SetMenuItems(QWidget* button, const QStringList& items) {
    auto* push = qobject_cast<QPushButton*>(button);
    auto* tool = qobject_cast<QToolButton*>(button);
    if (push == nullptr && tool == nullptr) {
        return;
    }
    auto* menu = new QMenu(button);
    const QPointer<CMsgWnd> host(HostOf(button));
    for (int i = 0; i < items.size(); ++i) {
        QAction* action = menu->addAction(items[i]);
        QObject::connect(action, &QAction::triggered, button, [host, button, i] { Send(host, button, kSkinDropDown, i, 0); });
    }
    if (push != nullptr) {
        delete push->menu();
        push->setMenu(menu);
    } else {
        delete tool->menu();
        tool->setMenu(menu);
        tool->setPopupMode(QToolButton::InstantPopup);
    }
}

void Plugin_SetClonedVisible(QWidget* clone, int show) {
    OnWidgetThread(clone, [clone, show] {
        QWidget* container = clone->parentWidget();
        if (show == 0 || container == nullptr || !container->isVisible()) {
            clone->setProperty(kPendingShowProperty, QVariant());
            clone->setVisible(show != 0);
            return;
        }
        if (clone->isHidden() && !clone->property(kPendingShowProperty).toBool()) {
            clone->setProperty(kPendingShowProperty, true);
            CRowShower::For(container)->Add(clone);
        }
    });
}

void Plugin_Delete(QWidget* clone) {
    if (clone == nullptr) {
        return;
    }
    // The clone may be the sender of the event being handled, so it leaves the layout and the name
    // lookups now and is freed once control is back in the event loop. (Taking it out of the window
    // with setParent would walk the window's whole focus chain for every row.)
    QWidget* parent = clone->parentWidget();
    clone->setProperty(kPendingShowProperty, QVariant());
    if (parent != nullptr && !clone->isHidden()) {
        CRowShower::For(parent)->PauseLayout();
    }
    clone->hide();
    if (parent != nullptr && parent->layout() != nullptr) {
        parent->layout()->removeWidget(clone);
    }
    clone->setObjectName(QString());
    clone->setProperty(kCloneProperty, QVariant());
    clone->deleteLater();
}

QWidget* Plugin_GetCloneRoot(QWidget* widget) {
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (w->property(kCloneProperty).toBool()) {
            return w;
        }
    }
    return nullptr;
}

QWidget* GetFocusPlugin(CMsgWnd* wnd) {
    if (wnd == nullptr) {
        return nullptr;
    }
    QWidget* focus = wnd->focusWidget();
    return focus != nullptr && wnd->isAncestorOf(focus) ? focus : nullptr;
}

void SetFocusPlugin(CMsgWnd* wnd, QWidget* widget) {
    if (wnd != nullptr && widget != nullptr && wnd->isAncestorOf(widget)) {
        widget->setFocus(Qt::OtherFocusReason);
    }
}

int MatchString(const QString& pattern, const QString& text) {
    // Greedy glob with back-tracking to the last '*': linear in practice, no recursion.
    qsizetype p = 0;
    qsizetype t = 0;
    qsizetype star = -1;
    qsizetype mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            star = p++;
            mark = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star >= 0) {
            p = star + 1;
            t = ++mark;
        } else {
            return 0;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
        ++p;
    }
    return p == pattern.size() ? 1 : 0;
}
