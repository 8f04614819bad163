#include "Thread.h"

// POSIX threads rather than std::thread: a thread that cannot be created is
// an error code here, where std::thread would throw.

CPlatformThread::~CPlatformThread() {
    Join(kWaitInfinite);
}

void *CPlatformThread::Run(void *pSelf) {
    auto *pThread = static_cast<CPlatformThread *>(pSelf);
    pThread->m_pFunction(pThread->m_pArgument);
    // The last touch of the object: Join may destroy it right after this.
    pThread->m_clDone.Set();
    return nullptr;
}

bool CPlatformThread::Start(void (*pFunction)(void *), void *pArgument) {
    if (pFunction == nullptr || !Join(0))
        return false;
    m_pFunction = pFunction;
    m_pArgument = pArgument;
    m_clDone.Reset();
    if (pthread_create(&m_clHandle, nullptr, &CPlatformThread::Run, this) != 0)
        return false;
    m_bHandleHeld = true;
    return true;
}

bool CPlatformThread::Join(uint32_t lTimeoutMs) {
    if (!m_bHandleHeld)
        return true;
    // A thread cannot wait for its own end.
    if (pthread_equal(m_clHandle, pthread_self()))
        return false;
    if (!m_clDone.Wait(lTimeoutMs))
        return false;
    // The function has returned; only the thread's own exit is left.
    pthread_join(m_clHandle, nullptr);
    m_bHandleHeld = false;
    return true;
}

bool CPlatformThread::IsRunning() const {
    return m_bHandleHeld && !m_clDone.IsSet();
}
