// Events with manual and automatic reset, and a wait for the first of two.
#pragma once

#include <cstdint>

constexpr uint32_t kWaitInfinite = 0xFFFFFFFF;

class CPlatformEvent {
  public:
    // A manual-reset event stays set, releasing every waiter, until Reset.
    // An auto-reset event releases one waiter per Set and clears itself as
    // that waiter takes it.
    CPlatformEvent(bool bManualReset, bool bInitiallySet);
    ~CPlatformEvent();
    CPlatformEvent(const CPlatformEvent &) = delete;
    CPlatformEvent &operator=(const CPlatformEvent &) = delete;

    void Set();
    void Reset();
    // True when the event ended the wait; false after lTimeoutMs. A time-out
    // of 0 polls (and takes an auto-reset event if it is set).
    bool Wait(uint32_t lTimeoutMs = kWaitInfinite);
    // Looks without taking: an auto-reset event stays set.
    bool IsSet() const;

  private:
    struct WaitNode;

    // Index of the event that ended the wait, -1 on time-out.
    static int WaitAny(CPlatformEvent *const *ppEvents, int lCount, uint32_t lTimeoutMs);
    bool TakeLocked();

    const bool m_bManualReset;
    bool m_bSet;
    WaitNode *m_pFirstWaiter = nullptr;

    friend int WaitForEitherEvent(CPlatformEvent &clFirst, CPlatformEvent &clSecond,
                                  uint32_t lTimeoutMs);
};

// 0 when clFirst ended the wait, 1 for clSecond, -1 on time-out. When both
// are set the first wins; only the event that ends the wait is taken, so the
// other keeps its state even when it is an auto-reset event.
int WaitForEitherEvent(CPlatformEvent &clFirst, CPlatformEvent &clSecond, uint32_t lTimeoutMs);
