// Time stamps of a recorder whose clock jumped for one record (a year 2100, a
// 1970, the largest value): such a record lies more than a day away from both
// its neighbours. It must neither open nor name a part, nor stretch the time
// span the scan shows. Two or more records in a row at the new time are a
// real jump (the recorder was moved or restarted) and count as sound.
#pragma once

#include <cstdint>
#include <optional>

class CTimeGlitchRule {
  public:
    // Neighbours farther apart than this are not of one recording stretch.
    static constexpr int64_t kToleranceSeconds = 86400;

    // clReference: a trusted time known before the first record (the scan's
    // first time when a split starts), or none.
    explicit CTimeGlitchRule(std::optional<int64_t> clReference = std::nullopt)
        : m_bHasLast(clReference.has_value()), m_lLast(clReference.value_or(0)) {}

    static bool FarApart(int64_t lFirst, int64_t lSecond) {
        // In unsigned arithmetic the distance of any two 64-bit times fits.
        const uint64_t lDistance = lFirst > lSecond ? uint64_t(lFirst) - uint64_t(lSecond)
                                                    : uint64_t(lSecond) - uint64_t(lFirst);
        return lDistance > uint64_t(kToleranceSeconds);
    }

    // The record at lTime can be judged only with the next timed record's
    // time: it is far from the last trusted time, or there is none yet.
    bool MustWait(int64_t lTime) const { return !m_bHasLast || FarApart(lTime, m_lLast); }
    // The verdict on a record that had to wait, once the next timed record's
    // time is known (none: the source ended). Without a next neighbour it is
    // a glitch when it was far from its previous one.
    bool IsGlitch(int64_t lWaited, std::optional<int64_t> clNext) const {
        return clNext ? FarApart(lWaited, *clNext) : m_bHasLast;
    }
    // Whether records with times from lEarliest to lLatest, read one after
    // the other and each trusted in turn, would all be trusted without a wait.
    bool TrustsAll(int64_t lEarliest, int64_t lLatest) const {
        return m_bHasLast && !FarApart(lEarliest, m_lLast) && !FarApart(lLatest, m_lLast) &&
               !FarApart(lEarliest, lLatest);
    }
    // A time judged sound becomes the one later records are measured from.
    void Trust(int64_t lTime) {
        m_bHasLast = true;
        m_lLast = lTime;
    }

  private:
    bool m_bHasLast;
    int64_t m_lLast;
};
