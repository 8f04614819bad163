// The command line as at most seven 8-bit entries of at most 259 bytes, in
// buffers that live for the whole run and back the application's argv.
#pragma once

constexpr int kMaxCapturedArguments = 7;
constexpr int kArgumentBufferBytes = 260;

class CArgumentCapture {
  public:
    CArgumentCapture();
    CArgumentCapture(const CArgumentCapture &) = delete;
    CArgumentCapture &operator=(const CArgumentCapture &) = delete;

    // Keeps the program path and at most six arguments; each buffer ends in
    // NUL in its last byte even when an argument does not fit.
    void Capture(int lCount, const char *const *pArguments);

    // The count is handed to QApplication by reference and must outlive it.
    int &Count() { return m_lCount; }
    char **Vector() { return m_pVector; }

    // Whether entry lIndex of the vector did not fit its buffer and holds
    // only its first 259 bytes. Looked up through the entry's buffer, so it
    // stays right after QApplication has taken its own options out of the
    // vector.
    bool EntryWasCut(int lIndex) const;

  private:
    char m_block[kMaxCapturedArguments * kArgumentBufferBytes];
    char *m_pVector[kMaxCapturedArguments + 1];
    bool m_bCut[kMaxCapturedArguments] = {};
    int m_lCount = 0;
};
