#include "ScanIndex.h"

#include <algorithm>

int64_t CScanIndex::MinuteOf(int64_t lSeconds) {
    return lSeconds >= 0 ? lSeconds / 60 : -((-(lSeconds + 1)) / 60) - 1;
}

void CScanIndex::Begin(uint64_t lPosition) {
    m_clMinutes.clear();
    m_pCurrent = nullptr;
    m_lCurrentKey = 0;
    m_lPosition = lPosition;
    m_lDamage = 0;
    m_clLeading = StructScanMinute();
}

void CScanIndex::AddRecord(std::optional<int64_t> clTime, uint64_t lConsumedAfter,
                           uint64_t lDamageSoFar) {
    const uint64_t lStart = m_lPosition;
    const uint64_t lBytes = lConsumedAfter > lStart ? lConsumedAfter - lStart : 0;
    const bool bDamaged = lDamageSoFar != m_lDamage;
    m_lPosition = std::max(lConsumedAfter, lStart);
    m_lDamage = lDamageSoFar;

    StructScanMinute *pMinute = m_pCurrent;
    if (clTime) {
        const int64_t lKey = MinuteOf(*clTime);
        // Records come mostly in time order: the map is searched only when
        // the minute changes.
        if (m_pCurrent == nullptr || lKey != m_lCurrentKey) {
            const auto [clAt, bNew] = m_clMinutes.try_emplace(lKey);
            pMinute = &clAt->second;
            if (bNew) {
                pMinute->firstPosition =
                    m_clLeading.records > 0 ? m_clLeading.firstPosition : lStart;
                pMinute->earliest = pMinute->latest = *clTime;
            }
            m_pCurrent = pMinute;
            m_lCurrentKey = lKey;
        }
        if (m_clLeading.records > 0) {
            pMinute->records += m_clLeading.records;
            pMinute->bytes += m_clLeading.bytes;
            pMinute->damaged = pMinute->damaged || m_clLeading.damaged;
            m_clLeading = StructScanMinute();
        }
        pMinute->earliest = std::min(pMinute->earliest, *clTime);
        pMinute->latest = std::max(pMinute->latest, *clTime);
    } else if (pMinute == nullptr) {
        if (m_clLeading.records == 0)
            m_clLeading.firstPosition = lStart;
        pMinute = &m_clLeading;
    }
    ++pMinute->records;
    pMinute->bytes += lBytes;
    pMinute->damaged = pMinute->damaged || bDamaged;
}
