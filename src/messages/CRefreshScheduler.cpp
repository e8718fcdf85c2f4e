#include "messages/CRefreshScheduler.h"

bool CRefreshScheduler::Request(const QString& argument) {
    if (m_pending) {
        return false;
    }
    if (m_busy == 0) {
        m_now(argument);
        return true;
    }
    m_pending = true;
    m_argument = argument;
    return true;
}

void CRefreshScheduler::EndBusy() {
    if (m_busy == 0) {
        return;
    }
    if (--m_busy == 0 && m_pending) {
        // Cleared first: the hand-over may request again.
        m_pending = false;
        m_later(m_argument);
    }
}
