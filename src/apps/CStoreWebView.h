#pragma once
// An embedded view of the store's web pages. Navigations to "wayfarapp://" download links are
// cancelled and handed to the link handler; with a product handler set, a product page opened from
// the view is handed over too (the news panel opens it on the apps tab). The load handler hears
// whether each page arrived (an HTTP error counts as a failure); a navigation the view itself
// refused (a download link, a product page handed over) is no failure: the page shown stays.
// The apps the phone has are marked on the store's cards (their "下载" becomes "已安装"), or left out
// where the page recommends apps. UI thread only.

#include <QWebEngineView>

#include <functional>

class AppData;

class CStoreWebView : public QWebEngineView {
    Q_OBJECT
public:
    explicit CStoreWebView(QWidget* parent = nullptr);

    void SetLinkHandler(std::function<void(const QString& address)> handler);
    // Returns true when it took the address (the navigation is then cancelled).
    void SetProductHandler(std::function<bool(const QString& address)> handler);
    void SetLoadHandler(std::function<void(bool ok)> handler) { m_loaded = std::move(handler); }
    // The page's renderer process ended abnormally: the view shows nothing any more.
    void SetBrokenHandler(std::function<void()> handler) { m_broken = std::move(handler); }

    void Open(const QString& address);
    QString Address() const { return m_address; }

    // The packages the phone has; applied to the page shown and to every page loaded after.
    // keep > 0: installed apps' cards are left out and at most keep cards are shown.
    void SetInstalled(QStringList packages);
    void SetLeaveOutInstalled(int keep) { m_keep = keep; }
    // The installed packages follow the shared list (views outside the apps tab, as the news panel).
    void FollowInstalled(AppData& data);

private:
    void MarkInstalled();

    QString m_address;
    QStringList m_installed;
    int m_keep = 0;
    std::function<void(bool)> m_loaded;
    std::function<void()> m_broken;
};
