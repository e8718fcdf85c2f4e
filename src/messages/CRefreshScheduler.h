#pragma once
// Serialises the message page's refreshes. A request while the page is idle runs at once; while the
// page is busy (a click command or a modal operation under way) the request is kept and handed to
// the later callback (the page posts it to itself) when the last busy scope ends. While a request
// is pending, further requests are dropped. Everything here is for the UI thread.

#include <QString>

#include <functional>

class CRefreshScheduler {
public:
    using Refresh = std::function<void(const QString& argument)>;

    // now: the refresh of an idle page; later: the hand-over of a kept request when the page is idle.
    CRefreshScheduler(Refresh now, Refresh later) : m_now(std::move(now)), m_later(std::move(later)) {}
    CRefreshScheduler(const CRefreshScheduler&) = delete;
    CRefreshScheduler& operator=(const CRefreshScheduler&) = delete;

    // False when the request was dropped because another is pending.
    bool Request(const QString& argument);
    // Busy is counted: a send, a dialog and a delete may overlap and end in any order, and the page
    // is idle only when the last of them has ended; that end hands over a kept request.
    void BeginBusy() { ++m_busy; }
    void EndBusy();
    bool IsBusy() const { return m_busy > 0; }
    bool IsPending() const { return m_pending; }

private:
    Refresh m_now;
    Refresh m_later;
    int m_busy = 0;
    bool m_pending = false;
    QString m_argument;
};
