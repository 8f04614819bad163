// The lock a container object serialises its file operations with: a
// counting semaphore that starts at 1, so it acts as a mutex that any thread
// may release.
#pragma once

#include <atomic>

class CPlatformLock {
  public:
    static constexpr int kInitialCount = 1;
    static constexpr int kMaximumCount = 100;

    CPlatformLock() = default;
    CPlatformLock(const CPlatformLock &) = delete;
    CPlatformLock &operator=(const CPlatformLock &) = delete;

    // Waits without time-out until the count is above 0, then takes one.
    void Acquire() {
        if (!TryAcquire())
            AcquireContended();
    }
    // Takes one when the count is above 0, without waiting.
    bool TryAcquire() {
        int lCount = m_lCount.load(std::memory_order_relaxed);
        while (lCount > 0) {
            if (m_lCount.compare_exchange_weak(lCount, lCount - 1, std::memory_order_acquire,
                                               std::memory_order_relaxed))
                return true;
        }
        return false;
    }
    // Gives one back; false, and the count unchanged, when it is already at
    // its maximum.
    bool Release() {
        int lCount = m_lCount.load(std::memory_order_relaxed);
        do {
            if (lCount >= kMaximumCount)
                return false;
        } while (!m_lCount.compare_exchange_weak(lCount, lCount + 1, std::memory_order_seq_cst,
                                                 std::memory_order_relaxed));
        // Sequentially consistent on both sides: either a waiter that has
        // announced itself is seen here, or it sees the raised count.
        if (m_lWaiters.load(std::memory_order_seq_cst) != 0)
            m_lCount.notify_one();
        return true;
    }

  private:
    void AcquireContended();

    // Uncontended use is one atomic operation each way; only a thread that
    // has to wait sleeps on the count.
    std::atomic<int> m_lCount{kInitialCount};
    std::atomic<int> m_lWaiters{0};
};

// Holds the lock for one scope, so every exit path releases it.
class CPlatformLockGuard {
  public:
    explicit CPlatformLockGuard(CPlatformLock &clLock) : m_clLock(clLock) { m_clLock.Acquire(); }
    ~CPlatformLockGuard() { m_clLock.Release(); }
    CPlatformLockGuard(const CPlatformLockGuard &) = delete;
    CPlatformLockGuard &operator=(const CPlatformLockGuard &) = delete;

  private:
    CPlatformLock &m_clLock;
};
