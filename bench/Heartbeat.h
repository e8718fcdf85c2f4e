#pragma once
// Measures of the UI thread for the whole-program benchmarks. CHeartbeat: a 2 ms timer whose
// longest gap between ticks is the longest slice of UI-thread work while it runs (nested event
// loops of busy dialogs keep ticking, so they do not count). CTimingApplication: times every event
// the UI thread delivers, in wall time and in the thread's own CPU time, and names the longest.
#include <QApplication>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <ctime>

class CTimingApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        // Nested deliveries count inside the outer one.
        if (m_depth++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            --m_depth;
            return handled;
        }
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuBefore = ThreadCpuNs();
        const int type = event->type();
        const QByteArray name = receiver->metaObject()->className() + QByteArray(" ") + receiver->objectName().toUtf8();
        const bool handled = QApplication::notify(receiver, event);
        --m_depth;
        if (clock.nsecsElapsed() > m_longestNs) {
            m_longestNs = clock.nsecsElapsed();
            m_longest = name + " event " + QByteArray::number(type);
        }
        m_longestCpuNs = std::max(m_longestCpuNs, ThreadCpuNs() - cpuBefore);
        return handled;
    }
    void Reset() {
        m_longestNs = 0;
        m_longestCpuNs = 0;
        m_longest.clear();
    }
    // Wall time counts the slices the system gave other processes too (a shared machine); the UI
    // thread's own CPU time is what the program spent.
    double LongestMs() const { return static_cast<double>(m_longestNs) / 1e6; }
    double LongestCpuMs() const { return static_cast<double>(m_longestCpuNs) / 1e6; }
    QByteArray Longest() const { return m_longest + " " + QByteArray::number(m_longestNs / 1000000) + " ms"; }

private:
    static qint64 ThreadCpuNs() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
    int m_depth = 0;
    qint64 m_longestNs = 0;
    qint64 m_longestCpuNs = 0;
    QByteArray m_longest;
};

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

