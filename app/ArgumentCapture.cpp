#include "ArgumentCapture.h"

#include <cstring>

CArgumentCapture::CArgumentCapture() {
    std::memset(m_block, 0, sizeof(m_block));
    for (int i = 0; i < kMaxCapturedArguments; ++i)
        m_pVector[i] = m_block + i * kArgumentBufferBytes;
    m_pVector[kMaxCapturedArguments] = nullptr;
}

void CArgumentCapture::Capture(int lCount, const char *const *pArguments) {
    std::memset(m_block, 0, sizeof(m_block));
    for (int i = 0; i < kMaxCapturedArguments; ++i)
        m_pVector[i] = m_block + i * kArgumentBufferBytes;
    if (lCount < 0 || pArguments == nullptr)
        lCount = 0;
    m_lCount = lCount > kMaxCapturedArguments ? kMaxCapturedArguments : lCount;
    for (int i = 0; i < m_lCount; ++i) {
        char *pBuffer = m_pVector[i];
        if (pArguments[i] != nullptr)
            std::strncpy(pBuffer, pArguments[i], kArgumentBufferBytes);
        pBuffer[kArgumentBufferBytes - 1] = '\0';
    }
    // QApplication may read argv[argc]; it must be null.
    m_pVector[m_lCount] = nullptr;
}
