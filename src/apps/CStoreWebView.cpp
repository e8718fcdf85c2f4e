#include "apps/CStoreWebView.h"

#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineSettings>

namespace {

class CStorePage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

    std::function<void(const QString&)> m_link;
    std::function<bool(const QString&)> m_product;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        const QString address = url.toString();
        if (address.startsWith(QLatin1String("wayfarapp://"), Qt::CaseInsensitive)) {
            if (m_link) {
                m_link(address);
            }
            return false;
        }
        if (m_product && address.indexOf(QLatin1String("/ProductDetail.aspx?productid="), 1) > 0 &&
            m_product(address)) {
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
        if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus || !m_loaded) {
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

void CStoreWebView::Open(const QString& address) {
    m_address = address;
    load(QUrl(address));
}
