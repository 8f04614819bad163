// What the scan learns about a source per minute of record time: where the
// minute's first record lies in the file, how many records and bytes it holds
// and whether damage lies among them. Memory grows with the minutes that hold
// records, never with the records; what shows it or plans from it reads it
// after the scan has ended.
#pragma once

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
};

class CScanIndex {
  public:
    // Minutes keyed by record time in seconds divided by 60, rounded down.
    using Minutes = std::map<int64_t, StructScanMinute>;

    // Forgets everything; lPosition is where the first record will begin.
    void Begin(uint64_t lPosition);
    // One record in reading order. clTime: its time stamp, none for records
    // without one, which count with the minute of the timed record before them
    // (or after them, at the start). lConsumedAfter: the reader's position
    // past the record. lDamageSoFar: any count of damage stepped over that
    // grows when the reader steps over more.
    void AddRecord(std::optional<int64_t> clTime, uint64_t lConsumedAfter, uint64_t lDamageSoFar);

    const Minutes &MinuteMap() const { return m_clMinutes; }
    bool IsEmpty() const { return m_clMinutes.empty(); }
    static int64_t MinuteOf(int64_t lSeconds);

  private:
    Minutes m_clMinutes;
    StructScanMinute *m_pCurrent = nullptr; // the minute of the last timed record
    int64_t m_lCurrentKey = 0;
    uint64_t m_lPosition = 0;
    uint64_t m_lDamage = 0;
    // Untimed records before the first timed one, waiting for its minute.
    StructScanMinute m_clLeading;
};
