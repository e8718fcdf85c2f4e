#pragma once
// A 2 ms heartbeat timer on the UI thread: the longest gap between its ticks is the longest slice of
// UI-thread work while it runs (nested event loops of busy dialogs keep ticking, so they do not count).
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class CHeartbeat {
public:
    CHeartbeat() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(2);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (now - m_lastNs > m_longestNs) {
                m_longestNs = now - m_lastNs;
                m_longestAtNs = m_lastNs;
            }
            m_lastNs = now;
        });
    }
    void Restart() {
        m_longestNs = 0;
        m_clock.start();
        m_lastNs = 0;
        m_timer.start();
    }
    double LongestMs() const { return static_cast<double>(m_longestNs) / 1e6; }
    // When the longest gap began, from the last restart.
    double LongestAtMs() const { return static_cast<double>(m_longestAtNs) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_longestNs = 0;
    qint64 m_longestAtNs = 0;
};

