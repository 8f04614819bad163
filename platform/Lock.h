// The lock a container object serialises its file operations with: a
// counting semaphore that starts at 1, so it acts as a mutex that any thread
// may release.
#pragma once

#include <condition_variable>
#include <mutex>

class CPlatformLock {
  public:
    static constexpr int kInitialCount = 1;
    static constexpr int kMaximumCount = 100;

    CPlatformLock() = default;
    CPlatformLock(const CPlatformLock &) = delete;
    CPlatformLock &operator=(const CPlatformLock &) = delete;

    // Waits without time-out until the count is above 0, then takes one.
    void Acquire();
    // Takes one when the count is above 0, without waiting.
    bool TryAcquire();
    // Gives one back; false, and the count unchanged, when it is already at
    // its maximum.
    bool Release();

  private:
    std::mutex m_clMutex;
    std::condition_variable m_clAvailable;
    int m_lCount = kInitialCount;
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
