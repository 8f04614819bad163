// What the scan learns about a source per minute of record time: where the
// minute's first record lies in the file, how many records and bytes it holds
// and whether damage lies among them, and what a split needs to copy the
// minute's frames whole instead of reading them again. Memory grows with the
// minutes that hold records, never with the records; what shows it or plans
// from it reads it after the scan has ended.
#pragma once

#include "BinaryFile.h"
#include "ScanChunks.h"

#include <cstdint>
#include <map>
#include <optional>

struct StructScanMinute {
    uint64_t firstPosition = 0; // file position where its first record (in reading order) begins
    uint64_t records = 0;
    uint64_t bytes = 0;   // consumed by its records, damage stepped over before them included
    int64_t earliest = 0; // its earliest and latest record time, seconds since 1970 UTC
    int64_t latest = 0;
    bool damaged = false; // the reader stepped over damage before one of its records
    // Its records are container frames back to back from firstPosition on,
    // bytes long, nothing skipped before or between them, no record of
    // another minute among them, each one a writer writes exactly as it
    // stands: a copy of those bytes is what writing them one by one gives.
    bool exact = false;
    int64_t lastTime = 0; // the time of its last timed record in reading order
    int64_t firstMs = 0;  // its first timed record's time in ms (reading order) and its latest
    int64_t latestMs = 0;
};

// One record as the scan hands it to the index.
struct StructScanRecord {
    std::optional<int64_t> time; // none for records without a time stamp
    int64_t milliseconds = 0;    // the time in ms, for a timed record
    uint64_t consumedAfter = 0;  // the reader's position past the record
    uint64_t damageSoFar = 0;    // any count of damage that grows when the reader steps over more
    // For a container frame: its length and whether a writer writes it as it
    // stands. Length 0 for records of other sources.
    uint32_t frameLength = 0;
    bool verbatim = false;
};

class CScanIndex {
  public:
    // Minutes keyed by record time in seconds divided by 60, rounded down.
    using Minutes = std::map<int64_t, StructScanMinute>;

    // Forgets everything; lPosition is where the first record will begin.
    // clSource: the file as it was when the scan began, if known.
    void Begin(uint64_t lPosition, std::optional<StructFileIdentity> clSource = std::nullopt);
    // One record in reading order. Records without a time stamp count with
    // the minute of the timed record before them (or after them, at the start).
    void AddRecord(const StructScanRecord &clRecord);
    // What adding the run's records one by one gives, when it begins where
    // the last record ended and the reader stepped over nothing since.
    void AddRun(const StructScanRun &clRun);

    const Minutes &MinuteMap() const { return m_clMinutes; }
    bool IsEmpty() const { return m_clMinutes.empty(); }
    // The file the minutes describe, as it was before the scan read it.
    const std::optional<StructFileIdentity> &Source() const { return m_clSource; }
    static int64_t MinuteOf(int64_t lSeconds) { return MinuteOfTime(lSeconds); }

  private:
    // The minute a timed record at lStart belongs to, made when new; the
    // untimed records waiting before it join it.
    StructScanMinute *EnterMinute(int64_t lTime, int64_t lMilliseconds, uint64_t lStart);
    // Where untimed records before the first timed one wait.
    StructScanMinute *Leading(uint64_t lStart);

    Minutes m_clMinutes;
    std::optional<StructFileIdentity> m_clSource;
    StructScanMinute *m_pCurrent = nullptr; // the minute of the last timed record
    int64_t m_lCurrentKey = 0;
    uint64_t m_lPosition = 0;
    uint64_t m_lDamage = 0;
    // Untimed records before the first timed one, waiting for its minute.
    StructScanMinute m_clLeading;
};
