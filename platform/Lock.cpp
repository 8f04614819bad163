#include "Lock.h"

void CPlatformLock::AcquireContended() {
    m_lWaiters.fetch_add(1, std::memory_order_seq_cst);
    for (;;) {
        int lCount = m_lCount.load(std::memory_order_seq_cst);
        while (lCount > 0) {
            if (m_lCount.compare_exchange_weak(lCount, lCount - 1, std::memory_order_seq_cst,
                                               std::memory_order_relaxed)) {
                m_lWaiters.fetch_sub(1, std::memory_order_relaxed);
                return;
            }
        }
        // Returns at once when the count is no longer 0; a Release after this
        // point sees the waiter and wakes it.
        m_lCount.wait(0, std::memory_order_seq_cst);
    }
}
