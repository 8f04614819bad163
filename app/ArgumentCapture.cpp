#include "ArgumentCapture.h"

#include <cstddef>
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
    for (int i = 0; i < kMaxCapturedArguments; ++i)
        m_bCut[i] = false;
    for (int i = 0; i < m_lCount; ++i) {
        char *pBuffer = m_pVector[i];
        if (pArguments[i] != nullptr) {
            std::strncpy(pBuffer, pArguments[i], kArgumentBufferBytes);
            m_bCut[i] = std::strlen(pArguments[i]) >= size_t(kArgumentBufferBytes);
        }
        pBuffer[kArgumentBufferBytes - 1] = '\0';
    }
    // QApplication may read argv[argc]; it must be null.
    m_pVector[m_lCount] = nullptr;
}

bool CArgumentCapture::EntryWasCut(int lIndex) const {
    if (lIndex < 0 || lIndex >= m_lCount || m_pVector[lIndex] == nullptr)
        return false;
    const std::ptrdiff_t lOffset = m_pVector[lIndex] - m_block;
    if (lOffset < 0 || lOffset >= std::ptrdiff_t(sizeof(m_block)))
        return false;
    return m_bCut[lOffset / kArgumentBufferBytes];
}
