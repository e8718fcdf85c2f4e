#include "device/SessionGate.h"

#include "bridge/api/DeviceBridge.h"
#include "libs/log/Log.h"

int CSessionGate::BeginUse(const char* file, int line) {
    std::lock_guard guard(m_lock);
    if (!m_usable) {
        return 0;
    }
    if (m_users == 0) {
        m_idle.ResetEvent();
    }
    ++m_users;
    return m_record.Add(file, line);
}

void CSessionGate::EndUse(int number) {
    std::function<void()> close;
    {
        std::lock_guard guard(m_lock);
        if (!m_record.Remove(number)) {
            return; // not open: ending twice must not unbalance the count
        }
        if (--m_users != 0) {
            return;
        }
        close = std::move(m_pendingClose);
        m_pendingClose = nullptr;
        if (!close) {
            m_idle.Set();
        }
    }
    if (close) {
        close();
        m_idle.Set();
    }
}

void CSessionGate::CloseWhenIdle(std::function<void()> close) {
    {
        std::lock_guard guard(m_lock);
        if (m_users != 0) {
            m_pendingClose = std::move(close);
            return;
        }
    }
    if (close) {
        close();
    }
}

bool CSessionGate::IsClosePending() const {
    std::lock_guard guard(m_lock);
    return static_cast<bool>(m_pendingClose);
}

bool CSessionGate::IsUsable() const {
    std::lock_guard guard(m_lock);
    return m_usable;
}

void CSessionGate::SetUsable(bool usable) {
    std::lock_guard guard(m_lock);
    m_usable = usable;
}

bool CSessionGate::WaitUntilIdle(int timeoutMs) {
    if (m_idle.Wait(timeoutMs)) {
        return true;
    }
    LOG_Error("[CSessionGate] %d session uses still open after %d ms. %s:%d", OpenUses(), timeoutMs, LOG_HERE);
    m_record.Dump(); // names each one
    return false;
}

CSessionScope::CSessionScope(CSessionGate& gate, const char* file, int line) : m_use(gate, file, line) {
    if (m_use.Usable()) {
        m_bridge = ppGetBridge();
        m_session = m_bridge != nullptr ? m_bridge->GetSession() : nullptr;
    }
}

int CSessionGate::OpenUses() const {
    std::lock_guard guard(m_lock);
    return m_users;
}

int CProtectionRecord::Add(const char* file, int line) {
    std::lock_guard guard(m_lock);
    const int number = ++m_counter;
    m_open[number] = {file != nullptr ? file : "", line};
    return number;
}

bool CProtectionRecord::Remove(int number) {
    std::lock_guard guard(m_lock);
    return m_open.erase(number) > 0;
}

void CProtectionRecord::Dump() const {
    std::lock_guard guard(m_lock);
    for (const auto& [number, where] : m_open) {
        LOG_Info("[CProtectionRecord]%s:%d", where.first.c_str(), where.second);
    }
}
