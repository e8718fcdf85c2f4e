#include "apps/CStoreWebView.h"

#include "apps/AppData.h"
#include "platform/StringTable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace {

class CStorePage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

    std::function<void(const QString&)> m_link;
    std::function<bool(const QString&)> m_product;
    QUrl m_refused; // the last navigation turned away here: its "failure" is none

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        const QString address = url.toString();
        if (address.startsWith(QLatin1String("wayfarapp://"), Qt::CaseInsensitive)) {
            if (m_link) {
                m_link(address);
            }
            m_refused = url;
            return false;
        }
        if (m_product && address.indexOf(QLatin1String("/ProductDetail.aspx?productid="), 1) > 0 &&
            m_product(address)) {
            m_refused = url;
            return false;
        }
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
};

} // namespace

CStoreWebView::CStoreWebView(QWidget* parent) : QWebEngineView(parent) {
    auto* page = new CStorePage(this);
    page->settings()->setAttribute(QWebEngineSettings::ScrollAnimatorEnabled, false);
    // A download link counts also when a page's script follows it; the navigation never leaves the view.
    page->settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowAllUnknownUrlSchemes);
    setPage(page);
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
            return;
        }
        // A download link or a handed-over page was turned away; the page shown is still whole.
        auto* store = static_cast<CStorePage*>(this->page());
        if (info.status() != QWebEngineLoadingInfo::LoadSucceededStatus &&
            (info.url() == store->m_refused || info.url().scheme() == QLatin1String("wayfarapp"))) {
            return;
        }
        if (!m_loaded) {
            return;
        }
        // A page the store answered with an error status arrives "successfully": its status decides.
        const bool httpError =
            info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain && info.errorCode() >= 400;
        m_loaded(info.status() == QWebEngineLoadingInfo::LoadSucceededStatus && !httpError);
    });
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                if (status != QWebEnginePage::NormalTerminationStatus && m_broken) {
                    m_broken();
                }
            });
}

void CStoreWebView::SetLinkHandler(std::function<void(const QString&)> handler) {
    static_cast<CStorePage*>(page())->m_link = std::move(handler);
}

void CStoreWebView::SetProductHandler(std::function<bool(const QString&)> handler) {
    static_cast<CStorePage*>(page())->m_product = std::move(handler);
}

void CStoreWebView::SetInstalled(QStringList packages) {
    m_installed = std::move(packages);
    MarkInstalled();
}

void CStoreWebView::FollowInstalled(AppData& data) {
    data.FollowInstalled(this, [this](const QStringList& packages) { SetInstalled(packages); });
}

void CStoreWebView::MarkInstalled() {
    // The store's cards name their app in the download link's data-package.
    static const QString kScript = QStringLiteral(
        "(function(installed, label, keep) {"
        "  var shown = 0;"
        "  document.querySelectorAll('a[data-package]').forEach(function(a) {"
        "    var card = a.closest('.card') || a.parentElement;"
        "    var has = installed.indexOf(a.dataset.package) >= 0;"
        "    if (keep > 0) {"
        "      var show = !has && shown < keep;"
        "      card.style.display = show ? '' : 'none';"
        "      shown += show ? 1 : 0;"
        "      return;"
        "    }"
        "    if (has && a.dataset.link === undefined) {"
        "      a.dataset.link = a.getAttribute('href');"
        "      a.dataset.text = a.textContent;"
        "      a.removeAttribute('href');"
        "      a.textContent = label;"
        "      a.classList.add('installed');"
        "      a.style.cssText = 'background:#F5F6F7;color:#646A73;cursor:default';"
        "    } else if (!has && a.dataset.link !== undefined) {"
        "      a.setAttribute('href', a.dataset.link);"
        "      a.textContent = a.dataset.text;"
        "      a.classList.remove('installed');"
        "      a.style.cssText = '';"
        "      delete a.dataset.link;"
        "    }"
        "  });"
        "})(%1);");
    // JSON is JavaScript: the texts arrive quoted whatever they hold.
    const QByteArray args = QJsonDocument(QJsonArray{QJsonArray::fromStringList(m_installed), Str(3581), m_keep})
                                .toJson(QJsonDocument::Compact);
    const QString source = kScript.arg(QString::fromUtf8(args.mid(1, args.size() - 2)));
    // Run on every page as its document is ready, before anyone sees it, and now on the page shown.
    QWebEngineScriptCollection& scripts = page()->scripts();
    for (const QWebEngineScript& old : scripts.find(QStringLiteral("installed apps"))) {
        scripts.remove(old);
    }
    QWebEngineScript script;
    script.setName(QStringLiteral("installed apps"));
    script.setInjectionPoint(QWebEngineScript::DocumentReady);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setSourceCode(source);
    scripts.insert(script);
    page()->runJavaScript(source);
}

void CStoreWebView::Open(const QString& address) {
    m_address = address;
    load(QUrl(address));
}
