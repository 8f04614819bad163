#include "Event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

// All events share one mutex, so a waiter can look at two events at once
// without lock ordering. Each waiter owns a condition variable and hangs a
// node into the list of every event it waits for; Set wakes exactly those
// waiters. Waiters re-check the state under the mutex, so a wake-up that
// another waiter has already consumed just sends them back to sleep.

struct CPlatformEvent::WaitNode {
    WaitNode *pPrev = nullptr;
    WaitNode *pNext = nullptr;
    std::condition_variable *pWake = nullptr;
};

namespace {

std::mutex &EventMutex() {
    // Never destroyed: events may outlive static destruction order.
    static auto *pMutex = new std::mutex;
    return *pMutex;
}

} // namespace

CPlatformEvent::CPlatformEvent(bool bManualReset, bool bInitiallySet)
    : m_bManualReset(bManualReset), m_bSet(bInitiallySet) {}

CPlatformEvent::~CPlatformEvent() = default;

void CPlatformEvent::Set() {
    std::lock_guard clLock(EventMutex());
    m_bSet = true;
    // Every registered waiter is woken: one of them may be waiting on two
    // events and take the other one, so waking a single waiter could lose
    // this Set. The losers find the event cleared and sleep again.
    for (WaitNode *pNode = m_pFirstWaiter; pNode != nullptr; pNode = pNode->pNext)
        pNode->pWake->notify_one();
}

void CPlatformEvent::Reset() {
    std::lock_guard clLock(EventMutex());
    m_bSet = false;
}

bool CPlatformEvent::IsSet() const {
    std::lock_guard clLock(EventMutex());
    return m_bSet;
}

bool CPlatformEvent::Wait(uint32_t lTimeoutMs) {
    CPlatformEvent *pSelf = this;
    return WaitAny(&pSelf, 1, lTimeoutMs) == 0;
}

bool CPlatformEvent::TakeLocked() {
    if (!m_bSet)
        return false;
    if (!m_bManualReset)
        m_bSet = false;
    return true;
}

int CPlatformEvent::WaitAny(CPlatformEvent *const *ppEvents, int lCount, uint32_t lTimeoutMs) {
    std::unique_lock clLock(EventMutex());
    auto TakeFirstSet = [&]() {
        for (int i = 0; i < lCount; ++i) {
            if (ppEvents[i]->TakeLocked())
                return i;
        }
        return -1;
    };

    int lResult = TakeFirstSet();
    if (lResult >= 0 || lTimeoutMs == 0)
        return lResult;

    std::condition_variable clWake;
    WaitNode aNodes[2];
    for (int i = 0; i < lCount; ++i) {
        WaitNode &clNode = aNodes[i];
        clNode.pWake = &clWake;
        clNode.pNext = ppEvents[i]->m_pFirstWaiter;
        if (clNode.pNext != nullptr)
            clNode.pNext->pPrev = &clNode;
        ppEvents[i]->m_pFirstWaiter = &clNode;
    }

    const auto clDeadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(lTimeoutMs);
    for (;;) {
        if (lTimeoutMs == kWaitInfinite) {
            clWake.wait(clLock);
        } else if (clWake.wait_until(clLock, clDeadline) == std::cv_status::timeout) {
            // A Set that raced with the time-out still counts.
            lResult = TakeFirstSet();
            break;
        }
        lResult = TakeFirstSet();
        if (lResult >= 0)
            break;
    }

    for (int i = 0; i < lCount; ++i) {
        WaitNode &clNode = aNodes[i];
        if (clNode.pPrev != nullptr)
            clNode.pPrev->pNext = clNode.pNext;
        else
            ppEvents[i]->m_pFirstWaiter = clNode.pNext;
        if (clNode.pNext != nullptr)
            clNode.pNext->pPrev = clNode.pPrev;
    }
    return lResult;
}

int WaitForEitherEvent(CPlatformEvent &clFirst, CPlatformEvent &clSecond, uint32_t lTimeoutMs) {
    CPlatformEvent *apEvents[2] = {&clFirst, &clSecond};
    return CPlatformEvent::WaitAny(apEvents, 2, lTimeoutMs);
}
