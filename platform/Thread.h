// A worker thread that runs one function with one pointer argument and can be
// waited for with a time-out.
#pragma once

#include "Event.h"

#include <cstdint>
#include <pthread.h>

class CPlatformThread {
  public:
    CPlatformThread() = default;
    // Waits without limit for a thread that is still running.
    ~CPlatformThread();
    CPlatformThread(const CPlatformThread &) = delete;
    CPlatformThread &operator=(const CPlatformThread &) = delete;

    // False when the function is null, a thread of this object is still
    // running, or the system cannot create a thread. An earlier thread that
    // has ended is joined first.
    bool Start(void (*pFunction)(void *), void *pArgument);
    // True once the thread has ended (also when none was started). After a
    // time-out the thread runs on and Join may be called again.
    bool Join(uint32_t lTimeoutMs);
    bool IsRunning() const;

  private:
    static void *Run(void *pSelf);

    void (*m_pFunction)(void *) = nullptr;
    void *m_pArgument = nullptr;
    // Manual reset: every later Join must see the end, not just the first.
    CPlatformEvent m_clDone{true, false};
    pthread_t m_clHandle{};
    bool m_bHandleHeld = false;
};
