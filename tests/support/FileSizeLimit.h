// Lowers the largest file this process may write, until Lift or the end of
// the object. A write beyond the limit then fails with an error (EFBIG)
// instead of ending the process: SIGXFSZ is ignored meanwhile.
#pragma once

#include <csignal>
#include <sys/resource.h>

class CFileSizeLimit {
  public:
    explicit CFileSizeLimit(rlim_t lBytes) {
        getrlimit(RLIMIT_FSIZE, &m_clOld);
        m_pOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit clNew = m_clOld;
        clNew.rlim_cur = lBytes;
        m_bSet = setrlimit(RLIMIT_FSIZE, &clNew) == 0;
    }
    ~CFileSizeLimit() {
        Lift();
        std::signal(SIGXFSZ, m_pOldHandler);
    }
    CFileSizeLimit(const CFileSizeLimit &) = delete;
    CFileSizeLimit &operator=(const CFileSizeLimit &) = delete;

    void Lift() { setrlimit(RLIMIT_FSIZE, &m_clOld); }
    bool IsSet() const { return m_bSet; }

  private:
    rlimit m_clOld{};
    void (*m_pOldHandler)(int) = nullptr;
    bool m_bSet = false;
};
