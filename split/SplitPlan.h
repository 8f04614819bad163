// The cut rules: record by record, which part a record belongs to. The plan
// holds all running state (part number, part start, next boundary, started
// flag, size threshold); the worker only acts on the answers.
#pragma once

#include "SplitSettings.h"

#include <cstdint>
#include <optional>

struct StructSplitName;

enum class SplitAction : uint8_t {
    WriteToCurrentPart, // write the record into the part that is open (or skipped)
    StartNewPart,       // close the part, open the next one, write the record into it
    SkipRecord,         // write nothing
    EndSplit,           // the period is over: stop reading, the split succeeded
};

class CSplitPlan {
  public:
    // Construct after the source has been opened and before the first part is
    // named. lFirstTime: the source's first time stamp as the scan found it,
    // already shifted when the protocol offset applies (by time and by
    // number). lSourceSize: the reader's total size in bytes (by number).
    CSplitPlan(const StructSplitSettings &clSettings, int64_t lFirstTime, uint64_t lSourceSize);

    // False for a mode the plan does not know: the split must fail.
    bool ModeKnown() const { return m_lMode <= SPLIT_BY_NUMBER; }
    // Only the by-number rule reads the consumed position; other modes may
    // pass 0 and save the query.
    bool NeedsConsumedBytes() const { return m_lMode == SPLIT_BY_NUMBER; }

    // One record that carries a payload, after its time has been shifted.
    // clTime: its time stamp (RecordTimeSeconds), none for kinds without one.
    // lConsumedBytes: the reader's consumed position after this record.
    SplitAction Decide(std::optional<int64_t> clTime, uint64_t lConsumedBytes);

    // A stretch of records read one after the other, from the first to the
    // last ending at lConsumedEnd, the latest of their times lLatest and the
    // last one lLast (records without a time may lie among them): true
    // when Decide would answer WriteToCurrentPart for every one of them, and
    // the plan is then as those answers leave it; false leaves it as it was.
    bool TakeStretch(int64_t lLatest, int64_t lLast, uint64_t lConsumedEnd);

    // The part that is open, 1 for the first, and the time that names it.
    uint32_t PartNumber() const { return m_lPartNumber; }
    int64_t PartStart() const { return m_lPartStart; }
    // Copies the part number and start time into the naming state.
    void ApplyTo(StructSplitName &clName) const;

    // By time: the time at which the next part begins.
    int64_t NextBoundary() const { return m_lNextBoundary; }
    // By number: the consumed position past which the next part begins.
    uint64_t NextThreshold() const { return m_lThreshold; }
    // By period: a record at or after the period start has been seen.
    bool Started() const { return m_bStarted; }

  private:
    SplitAction DecideByTime(std::optional<int64_t> clTime);
    SplitAction DecideByPeriod(std::optional<int64_t> clTime);
    SplitAction DecideByNumber(std::optional<int64_t> clTime, uint64_t lConsumedBytes);
    int64_t BoundaryAfter(int64_t lTime) const;
    uint64_t ThresholdFor(uint32_t lPart) const;

    uint8_t m_lMode;
    bool m_bAlign;
    int64_t m_lLength;
    int64_t m_lPeriodStart;
    int64_t m_lPeriodEnd;
    uint32_t m_lPartCount;
    double m_dPartSize = 0;

    uint32_t m_lPartNumber = 1;
    int64_t m_lPartStart;
    int64_t m_lNextBoundary = 0;
    uint64_t m_lThreshold = 0;
    int64_t m_lLastTime;
    bool m_bStarted = false;
    bool m_bEnded = false;
    bool m_bPartHoldsRecord = false;
};
