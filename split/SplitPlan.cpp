#include "SplitPlan.h"

#include "SplitName.h"

#include <limits>

CSplitPlan::CSplitPlan(const StructSplitSettings &clSettings, int64_t lFirstTime,
                       uint64_t lSourceSize)
    : m_lMode(clSettings.mode), m_bAlign(clSettings.alignToUnit),
      m_lLength(clSettings.partLength > 0 ? clSettings.partLength : kSecondsPerDay),
      m_lPeriodStart(clSettings.periodStart), m_lPeriodEnd(clSettings.periodEnd),
      m_lPartCount(clSettings.partCount > 0 ? clSettings.partCount : 1), m_lPartStart(lFirstTime),
      m_lLastTime(lFirstTime) {
    switch (m_lMode) {
    case SPLIT_BY_TIME:
        m_lNextBoundary = BoundaryAfter(lFirstTime);
        break;
    case SPLIT_BY_PERIOD:
        // The one output is named after the period, not after any record.
        m_lPartStart = m_lPeriodStart;
        break;
    case SPLIT_BY_NUMBER:
        m_dPartSize = double(lSourceSize) / double(m_lPartCount);
        m_lThreshold = m_lPartCount == 1 ? std::numeric_limits<uint64_t>::max() : ThresholdFor(1);
        break;
    default:
        break;
    }
}

void CSplitPlan::ApplyTo(StructSplitName &clName) const {
    clName.partNumber = m_lPartNumber;
    clName.cut = m_lPartStart;
}

SplitAction CSplitPlan::Decide(std::optional<int64_t> clTime, uint64_t lConsumedBytes) {
    switch (m_lMode) {
    case SPLIT_BY_TIME:
        return DecideByTime(clTime);
    case SPLIT_BY_PERIOD:
        return DecideByPeriod(clTime);
    case SPLIT_BY_NUMBER:
        return DecideByNumber(clTime, lConsumedBytes);
    default:
        return SplitAction::EndSplit;
    }
}

bool CSplitPlan::TakeStretch(int64_t lLatest, int64_t lLast, uint64_t lConsumedEnd) {
    switch (m_lMode) {
    case SPLIT_BY_TIME:
        return lLatest < m_lNextBoundary;
    case SPLIT_BY_PERIOD:
        // Before the start a record may begin the period: left to Decide.
        return m_bStarted && !m_bEnded && lLatest <= m_lPeriodEnd;
    case SPLIT_BY_NUMBER:
        if (lConsumedEnd > m_lThreshold)
            return false;
        m_bPartHoldsRecord = true;
        m_lLastTime = lLast;
        return true;
    default:
        return false;
    }
}

int64_t CSplitPlan::BoundaryAfter(int64_t lTime) const {
    const int64_t lBase = m_bAlign ? lTime - lTime % m_lLength : lTime;
    // A damaged time near the end of the range must not overflow: no further
    // boundary then.
    if (lBase > std::numeric_limits<int64_t>::max() - m_lLength)
        return std::numeric_limits<int64_t>::max();
    return lBase + m_lLength;
}

uint64_t CSplitPlan::ThresholdFor(uint32_t lPart) const {
    return uint64_t(double(lPart) * m_dPartSize);
}

SplitAction CSplitPlan::DecideByTime(std::optional<int64_t> clTime) {
    // Records without a time stamp stay with their neighbours; so does one
    // that comes out of order with a time before the boundary.
    if (!clTime || *clTime < m_lNextBoundary)
        return SplitAction::WriteToCurrentPart;
    // The new part is named after the record, so a long gap gives one part,
    // not a run of empty ones.
    ++m_lPartNumber;
    m_lPartStart = *clTime;
    m_lNextBoundary = BoundaryAfter(*clTime);
    return SplitAction::StartNewPart;
}

SplitAction CSplitPlan::DecideByPeriod(std::optional<int64_t> clTime) {
    if (m_bEnded)
        return SplitAction::EndSplit;
    if (!clTime)
        return m_bStarted ? SplitAction::WriteToCurrentPart : SplitAction::SkipRecord;
    if (!m_bStarted) {
        if (*clTime < m_lPeriodStart)
            return SplitAction::SkipRecord;
        m_bStarted = true;
    }
    // The first record past the end closes the period for good, even if later
    // records fall inside it again.
    if (*clTime > m_lPeriodEnd) {
        m_bEnded = true;
        return SplitAction::EndSplit;
    }
    return SplitAction::WriteToCurrentPart;
}

SplitAction CSplitPlan::DecideByNumber(std::optional<int64_t> clTime, uint64_t lConsumedBytes) {
    if (clTime)
        m_lLastTime = *clTime;
    // A part that holds no record yet keeps this one, so no part stays empty
    // when a single record carries the position past a threshold.
    if (lConsumedBytes <= m_lThreshold || !m_bPartHoldsRecord) {
        m_bPartHoldsRecord = true;
        return SplitAction::WriteToCurrentPart;
    }
    ++m_lPartNumber;
    m_lPartStart = m_lLastTime;
    m_lThreshold = m_lPartNumber >= m_lPartCount ? std::numeric_limits<uint64_t>::max()
                                                 : ThresholdFor(m_lPartNumber);
    return SplitAction::StartNewPart;
}
