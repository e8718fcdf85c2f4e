#include "messages/CMsgContentView.h"

#include "libs/log/Log.h"
#include "platform/AtomicFile.h"
#include "platform/FreedMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimerEvent>
#include <QUrl>
#include <QUrlQuery>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

#include <utility>

namespace {

struct ViewFiles {
    const char* page;
    const char* pageV1;
    const char* script;
};
constexpr ViewFiles kFiles[] = {
    {"TotalConfView.htm", "TotalConfView_v1.htm", "TotalConfView.js"},
    {"ConfView.htm", "ConfView_v1.htm", "ConfView.js"},
    {"DraftView.htm", "DraftView.htm", "DraftView.js"},
};
constexpr int kOutputTimerMs = 100;

// The messages of list from *next on: at least size of them, up to where a number's run ends (a
// conversation is never split between two parts). Moves *next past them.
std::vector<MSGINFO> TakePart(const std::vector<MSGINFO>& list, std::size_t* next, int size) {
    const std::size_t begin = *next;
    std::size_t end = std::min(list.size(), begin + static_cast<std::size_t>(size));
    while (end > begin && end < list.size() &&
           list[end].number.compare(list[end - 1].number, Qt::CaseInsensitive) == 0) {
        ++end;
    }
    *next = end;
    return {list.begin() + static_cast<std::ptrdiff_t>(begin), list.begin() + static_cast<std::ptrdiff_t>(end)};
}

// The web channel's client script, taken from Qt's resources and run before the page's own scripts.
QWebEngineScript ChannelScript() {
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    QWebEngineScript script;
    if (file.open(QIODevice::ReadOnly)) {
        script.setSourceCode(QString::fromUtf8(file.readAll()));
    } else {
        LOG_Error("[CMsgContentView] qwebchannel.js is missing. %s:%d", LOG_HERE);
    }
    script.setName(QStringLiteral("qwebchannel"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    return script;
}

} // namespace

CMsgContentView::CMsgContentView(int kind, CMsgWnd* owner, QWidget* parent)
    : QWebEngineView(parent), m_kind(kind < 0 || kind > 2 ? 1 : kind), m_owner(owner) {
    setContextMenuPolicy(Qt::NoContextMenu);
    page()->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    page()->settings()->setAttribute(QWebEngineSettings::ScrollAnimatorEnabled, false);
    page()->setBackgroundColor(QColor(0xF5, 0xF6, 0xF7));
    page()->scripts().insert(ChannelScript());
    m_host = new CViewHost(this);
    m_channel = new QWebChannel(this);
    m_channel->registerObject(QStringLiteral("host"), m_host);
    page()->setWebChannel(m_channel);
}

CMsgContentView::~CMsgContentView() {
    // The web page, deleted after this body, answers the scripts still waiting with empty results;
    // by then the view and its owner may be gone.
    *m_alive = false;
}

QString CMsgContentView::PagePath() const {
    const ViewFiles& files = kFiles[m_kind];
    return QDir(m_folder).filePath(QString::fromLatin1(m_version < 2 ? files.pageV1 : files.page));
}

QString CMsgContentView::ScriptPath() const {
    return QDir(m_folder).filePath(QString::fromLatin1(kFiles[m_kind].script));
}

bool CMsgContentView::WriteScript(const std::vector<MSGINFO>& messages) {
    messages::ScriptOptions options;
    options.view = static_cast<messages::ConversationView>(m_kind);
    options.keyword = m_keyword;
    options.contactName = m_contactName ? m_contactName : [](const QString&) { return QString(); };
    options.numberTotal = m_numberTotal;
    if (!messages::WriteConversationScript(messages, options, ScriptPath(), QDir(m_folder).filePath("temp.data"))) {
        LOG_Error("[CMsgContentView] cannot write %s. %s:%d", qUtf8Printable(ScriptPath()), LOG_HERE);
        return false;
    }
    return true;
}

bool CMsgContentView::Refresh() {
    // The overview goes to the page a part at a time; the rest waits here until the page asks.
    std::vector<MSGINFO> pending;
    std::size_t next = 0;
    if (m_kind == 0) {
        pending.swap(m_messages);
        m_messages = TakePart(pending, &next, m_partSize);
    }
    if (!WriteScript(m_messages)) {
        if (m_kind == 0) {
            m_messages.swap(pending); // as it was given
        }
        return false;
    }
    m_pending.swap(pending);
    m_partEnds.assign(1, next);
    // The script holds everything the page needs; the list is not kept twice, nor the memory the
    // script passed through.
    std::vector<MSGINFO>().swap(m_messages);
    std::vector<MSGINFO>().swap(pending);
    ReturnFreedMemory();
    m_outputOver = 0;
    m_allSelected = false;
    // A fresh query each time so the page and its data script are read again, never from a cache.
    QUrl url = QUrl::fromLocalFile(PagePath());
    url.setQuery(QStringLiteral("n=%1&more=%2").arg(++m_loads).arg(PendingMessages() > 0 ? 1 : 0));
    if (page()->lifecycleState() != QWebEnginePage::LifecycleState::Active) {
        page()->setLifecycleState(QWebEnginePage::LifecycleState::Active);
    }
    load(url);
    m_outputTimer.start(kOutputTimerMs, this);
    return true;
}

void CMsgContentView::LoadNextPart(int load, int parts) {
    if (load != m_loads || parts != static_cast<int>(m_partEnds.size()) || PendingMessages() == 0) {
        return;
    }
    std::size_t next = m_partEnds.back();
    if (!WriteScript(TakePart(m_pending, &next, m_partSize))) {
        // Nothing to load: the page asks again on the next scroll.
        page()->runJavaScript(QStringLiteral("typeof AppendPart === 'function' ? AppendPart('', true) : 0"));
        return;
    }
    m_partEnds.push_back(next);
    const QString src = QStringLiteral("%1?n=%2&part=%3")
                            .arg(QString::fromLatin1(kFiles[m_kind].script))
                            .arg(m_loads)
                            .arg(m_partEnds.size());
    page()->runJavaScript(QStringLiteral("typeof AppendPart === 'function' ? AppendPart('%1', %2) : 0")
                              .arg(src, PendingMessages() > 0 ? QStringLiteral("true") : QStringLiteral("false")));
}

void CMsgContentView::Unload() {
    m_outputTimer.stop();
    std::vector<MSGINFO>().swap(m_pending);
    m_partEnds.clear();
    ++m_loads; // answers of the unloaded page are stale
    m_outputOver = 0;
    // A hidden page is discarded: its renderer frees the document and the script data. A page on
    // screen (it cannot be discarded) shows an empty document instead.
    if (!page()->isVisible() && page()->lifecycleState() != QWebEnginePage::LifecycleState::Discarded) {
        page()->setLifecycleState(QWebEnginePage::LifecycleState::Discarded);
    } else if (page()->isVisible() && url() != QUrl(QStringLiteral("about:blank"))) {
        setUrl(QUrl(QStringLiteral("about:blank")));
    }
}

void CMsgContentView::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_outputTimer.timerId()) {
        QWebEngineView::timerEvent(event);
        return;
    }
    const int load = m_loads;
    page()->runJavaScript(QStringLiteral("typeof IsOutputOver === 'function' ? IsOutputOver() : 0"),
                          [this, load, alive = m_alive](const QVariant& result) {
                              if (!*alive) {
                                  return;
                              }
                              const int over = result.toInt();
                              if (over != 0 && load == m_loads && m_outputOver == 0) {
                                  m_outputOver = over;
                                  m_outputTimer.stop();
                                  emit OutputFinished();
                              }
                          });
}

void CMsgContentView::GetSelection(std::function<void(std::vector<MsgTypeAndId>)> done) {
    page()->runJavaScript(
        QStringLiteral("[typeof get_selection === 'function' ? get_selection() : '',"
                       " typeof rest_selected === 'function' ? rest_selected() : 0]"),
        [this, done = std::move(done), load = m_loads, alive = m_alive](const QVariant& result) {
            if (!*alive) {
                return;
            }
            const QVariantList answer = result.toList();
            std::vector<MsgTypeAndId> items = messages::ParseSelection(answer.value(0).toString());
            // The rest starts after the parts the page holds, whatever was written since.
            const std::size_t held = static_cast<std::size_t>(answer.value(1).toInt());
            if (held > 0 && load == m_loads && held <= m_partEnds.size()) {
                for (std::size_t i = m_partEnds[held - 1]; i < m_pending.size(); ++i) {
                    items.push_back(MsgTypeAndId{m_pending[i].id, m_pending[i].type});
                }
            }
            done(std::move(items));
        });
}

void CMsgContentView::SelectAll(bool on) {
    page()->runJavaScript(
        QStringLiteral("typeof select_all === 'function' ? select_all(%1) : 0").arg(on ? "true" : "false"),
        [this, alive = m_alive](const QVariant&) {
            if (*alive) {
                QuerySelectorsStatus();
            }
        });
}

void CMsgContentView::QuerySelectorsStatus() {
    page()->runJavaScript(QStringLiteral("typeof GetSelectorsStatus === 'function' ? GetSelectorsStatus() : 0"),
                          [this, alive = m_alive](const QVariant& result) {
                              if (!*alive) {
                                  return;
                              }
                              const int status = result.toInt();
                              if (status == 1) {
                                  m_allSelected = true;
                              } else if (status == 0 || status == -1) {
                                  m_allSelected = false;
                              }
                              if (m_owner != nullptr) {
                                  m_owner->SendMessage(WM_MSGVIEW_SELECTION, static_cast<WPARAM>(status),
                                                       static_cast<LPARAM>(m_kind));
                              }
                          });
}

void CMsgContentView::OnElementClick(const QString& cls, const QString& id) {
    if (cls == QLatin1String("msg_selector") || cls == QLatin1String("msg_tel_group_selector")) {
        QuerySelectorsStatus();
        return;
    }
    // "command_kind_id": the kind "mms" names an MMS, anything else an SMS.
    const QStringList parts = id.split(u'_');
    if (parts.size() != 3 || m_owner == nullptr) {
        return;
    }
    bool ok = false;
    MsgTypeAndId ref{parts[2].toLongLong(&ok), parts[1] == QLatin1String("mms") ? 1 : 0};
    if (!ok) {
        return;
    }
    if (cls == QLatin1String("imagbtn")) {
        if (ref.type == 1) {
            m_owner->SendMessage(WM_MSGVIEW_OPEN_MMS, reinterpret_cast<WPARAM>(&ref));
        }
        return;
    }
    if (cls != QLatin1String("lnkbtn")) {
        return;
    }
    UINT msg = 0;
    if (parts[0] == QLatin1String("delete")) {
        msg = WM_MSGVIEW_DELETE;
    } else if (parts[0] == QLatin1String("forward")) {
        msg = WM_MSGVIEW_FORWARD;
    } else if (parts[0] == QLatin1String("edit")) {
        msg = WM_MSGVIEW_EDIT;
    } else if (parts[0] == QLatin1String("resend")) {
        msg = WM_MSGVIEW_RESEND;
    } else {
        return; // other commands are not ours
    }
    auto* item = new MsgTypeAndId(ref);
    m_owner->SendMessage(msg, reinterpret_cast<WPARAM>(item));
    delete item;
}

bool CMsgContentView::PreparePageFolderOnce(const QString& shipped, const QString& folder) {
    static QStringList prepared; // UI thread only
    if (prepared.contains(folder)) {
        return true;
    }
    if (!PreparePageFolder(shipped, folder)) {
        return false;
    }
    prepared.append(folder);
    return true;
}

bool CMsgContentView::PreparePageFolder(const QString& shipped, const QString& folder) {
    if (!QDir().mkpath(folder)) {
        return false;
    }
    const QDir source(shipped);
    const QStringList files =
        source.entryList({QStringLiteral("*.htm"), QStringLiteral("*.css"), QStringLiteral("msgview.js")}, QDir::Files);
    if (files.isEmpty()) {
        LOG_Error("[CMsgContentView] no pages in %s. %s:%d", qUtf8Printable(shipped), LOG_HERE);
        return false;
    }
    bool ok = true;
    for (const QString& name : files) {
        // Replaced whole, so a page being shown never reads a half-copied file.
        QFile shippedFile(source.filePath(name));
        const IoResult copied =
            shippedFile.open(QIODevice::ReadOnly)
                ? WriteFileAtomically(QDir(folder).filePath(name),
                                      [&shippedFile](QIODevice& out) { return WriteAll(out, shippedFile.readAll()); })
                : IoResult::Fail(shippedFile.errorString());
        if (!copied) {
            LOG_Error("[CMsgContentView] %s. %s:%d", qUtf8Printable(copied.error), LOG_HERE);
            ok = false;
        }
    }
    return ok;
}
