#include "ScanIndex.h"

#include <algorithm>

void CScanIndex::Begin(uint64_t lPosition, std::optional<StructFileIdentity> clSource) {
    m_clMinutes.clear();
    m_clSource = clSource;
    m_pCurrent = nullptr;
    m_lCurrentKey = 0;
    m_lPosition = lPosition;
    m_lDamage = 0;
    m_clLeading = StructScanMinute();
}

void CScanIndex::AddRecord(const StructScanRecord &clRecord) {
    const uint64_t lStart = m_lPosition;
    const uint64_t lBytes = clRecord.consumedAfter > lStart ? clRecord.consumedAfter - lStart : 0;
    const bool bDamaged = clRecord.damageSoFar != m_lDamage;
    m_lPosition = std::max(clRecord.consumedAfter, lStart);
    m_lDamage = clRecord.damageSoFar;
    // Nothing but the frame itself since the record before.
    const bool bExact = clRecord.frameLength > 0 && clRecord.verbatim &&
                        lBytes == clRecord.frameLength && !bDamaged;

    StructScanMinute *pMinute = m_pCurrent;
    if (clRecord.time) {
        const int64_t lTime = *clRecord.time;
        pMinute = EnterMinute(lTime, clRecord.milliseconds, lStart);
        pMinute->earliest = std::min(pMinute->earliest, lTime);
        pMinute->latest = std::max(pMinute->latest, lTime);
        pMinute->latestMs = std::max(pMinute->latestMs, clRecord.milliseconds);
        pMinute->lastTime = lTime;
    } else if (pMinute == nullptr) {
        pMinute = Leading(lStart);
    }
    ++pMinute->records;
    pMinute->bytes += lBytes;
    pMinute->damaged = pMinute->damaged || bDamaged;
    pMinute->exact = pMinute->exact && bExact;
}

void CScanIndex::AddRun(const StructScanRun &clRun) {
    m_lPosition = clRun.End();
    if (clRun.headRecords > 0) {
        StructScanMinute *pMinute = m_pCurrent != nullptr ? m_pCurrent : Leading(clRun.start);
        pMinute->records += clRun.headRecords;
        pMinute->bytes += clRun.headBytes;
        pMinute->exact = pMinute->exact && clRun.headVerbatim;
    }
    if (clRun.records == 0)
        return;
    StructScanMinute *pMinute =
        EnterMinute(clRun.firstTime, clRun.firstMs, clRun.start + clRun.headBytes);
    pMinute->earliest = std::min(pMinute->earliest, clRun.earliest);
    pMinute->latest = std::max(pMinute->latest, clRun.latest);
    pMinute->latestMs = std::max(pMinute->latestMs, clRun.latestMs);
    pMinute->lastTime = clRun.lastTime;
    pMinute->records += clRun.records;
    pMinute->bytes += clRun.bytes;
    pMinute->exact = pMinute->exact && clRun.verbatim;
}

StructScanMinute *CScanIndex::EnterMinute(int64_t lTime, int64_t lMilliseconds, uint64_t lStart) {
    StructScanMinute *pMinute = m_pCurrent;
    const int64_t lKey = MinuteOf(lTime);
    // Records come mostly in time order: the map is searched only when the
    // minute changes.
    if (m_pCurrent == nullptr || lKey != m_lCurrentKey) {
        const auto [clAt, bNew] = m_clMinutes.try_emplace(lKey);
        pMinute = &clAt->second;
        if (bNew) {
            const bool bLeading = m_clLeading.records > 0;
            pMinute->firstPosition = bLeading ? m_clLeading.firstPosition : lStart;
            pMinute->exact = bLeading ? m_clLeading.exact : true;
            pMinute->earliest = pMinute->latest = lTime;
            pMinute->firstMs = pMinute->latestMs = lMilliseconds;
        } else {
            // Its records no longer lie in one stretch.
            pMinute->exact = false;
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
    return pMinute;
}

StructScanMinute *CScanIndex::Leading(uint64_t lStart) {
    if (m_clLeading.records == 0) {
        m_clLeading.firstPosition = lStart;
        m_clLeading.exact = true;
    }
    return &m_clLeading;
}
