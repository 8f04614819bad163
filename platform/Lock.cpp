#include "Lock.h"

void CPlatformLock::Acquire() {
    std::unique_lock clLock(m_clMutex);
    m_clAvailable.wait(clLock, [this] { return m_lCount > 0; });
    --m_lCount;
}

bool CPlatformLock::TryAcquire() {
    std::lock_guard clLock(m_clMutex);
    if (m_lCount <= 0)
        return false;
    --m_lCount;
    return true;
}

bool CPlatformLock::Release() {
    {
        std::lock_guard clLock(m_clMutex);
        if (m_lCount >= kMaximumCount)
            return false;
        ++m_lCount;
    }
    m_clAvailable.notify_one();
    return true;
}
