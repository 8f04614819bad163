// The model the split is compared with: the cut rules stated plainly, record
// by record, from what each record's time and the reader's position say; and
// a reader standing in for a source, which counts, stops or fails on cue.
#pragma once

#include "ReadOnlyFileFormat.h"
#include "SplitSettings.h"
#include "WorkerLoop.h"

#include <QList>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>

namespace WorkerTestKit {

// A record's time after any shift and the reader's consumed position after it.
struct CutInput {
    std::optional<int64_t> time;
    uint64_t consumed = 0;
};
// What happens to one record: 'W' written into the open part, 'N' written
// into a new part, 'S' skipped, 'E' the split ends; then the open part's
// number and the time that names it.
struct CutStep {
    char action = 'W';
    uint32_t part = 1;
    int64_t start = 0;
};

// lFirst: the source's first time as the scan found it, moved by the offset;
// lSize: the source's size in bytes. The returned list starts with the state
// before the first record (action ' ').
inline QList<CutStep> ModelCuts(const QList<CutInput> &clRecords, const StructSplitSettings &clSet,
                                int64_t lFirst, uint64_t lSize) {
    constexpr int64_t kLast = std::numeric_limits<int64_t>::max();
    // By time a part ends one length after its first record, or with aligned
    // parts at the next multiple of the length since 1970 (a day when none
    // is set); a record at or after that moment begins the next part.
    const int64_t L = clSet.partLength > 0 ? clSet.partLength : 86400;
    const auto fnEnd = [&](int64_t t) {
        const int64_t lFrom = clSet.alignToUnit ? t - t % L : t;
        return lFrom > kLast - L ? kLast : lFrom + L;
    };
    // By number part k may take records until the reader has consumed k
    // n-ths of the source (whole bytes); a part never stays empty, and the
    // last one takes the rest. It is named after the latest time seen.
    const uint32_t n = std::max<uint32_t>(clSet.partCount, 1);
    const auto fnLimit = [&](uint32_t k) {
        return k >= n ? std::numeric_limits<uint64_t>::max()
                      : uint64_t(double(k) * (double(lSize) / double(n)));
    };
    CutStep clState{' ', 1, clSet.mode == SPLIT_BY_PERIOD ? clSet.periodStart : lFirst};
    QList<CutStep> clSteps{clState};
    int64_t lPartEnd = fnEnd(lFirst);
    int64_t lLatest = lFirst;
    bool bStarted = false, bEnded = false, bHolds = false;
    for (const CutInput &clRecord : clRecords) {
        const std::optional<int64_t> t = clRecord.time;
        clState.action = 'W';
        if (clSet.mode == SPLIT_BY_TIME && t && *t >= lPartEnd) {
            clState = {'N', clState.part + 1, *t};
            lPartEnd = fnEnd(*t);
        } else if (clSet.mode == SPLIT_BY_PERIOD) {
            // From the first record at or after the start until the first one
            // after the end, whatever the times in between.
            bStarted = bStarted || (t && *t >= clSet.periodStart);
            bEnded = bEnded || (bStarted && t && *t > clSet.periodEnd);
            clState.action = bEnded ? 'E' : bStarted ? 'W' : 'S';
        } else if (clSet.mode == SPLIT_BY_NUMBER) {
            lLatest = t.value_or(lLatest);
            if (bHolds && clRecord.consumed > fnLimit(clState.part))
                clState = {'N', clState.part + 1, lLatest};
            bHolds = true;
        } else if (clSet.mode > SPLIT_BY_NUMBER) {
            clState.action = 'E';
        }
        clSteps << clState;
    }
    return clSteps;
}

struct ReadCounts {
    uint64_t delivered = 0; // records handed out
    uint64_t afterStop = 0; // of those, handed out after the stop request
    bool stopped = false;
};

// Counts the records handed out into clCounts; calls fnAtStop once lStopAt
// are handed out in all; answers enFailure for good after lFailAfter of its own.
class CStandInReader final : public CReadOnlyFileFormat {
  public:
    CStandInReader(SourceReader pInner, ReadCounts &clCounts, uint64_t lStopAt,
                   std::function<void()> fnAtStop, uint64_t lFailAfter, FileResult enFailure)
        : m_pInner(std::move(pInner)), m_clCounts(clCounts), m_lStopAt(lStopAt),
          m_fnAtStop(std::move(fnAtStop)), m_lFailAfter(lFailAfter), m_enFailure(enFailure) {}

    FileResult OpenFile(const wchar_t *, FileHeaderInfo &, uint8_t) override {
        return FILE_WRONG_STATE;
    }
    FileResult ReadData(RawRecord &clRecord) override {
        if (m_lOwn >= m_lFailAfter)
            return m_enFailure;
        const FileResult enResult = m_pInner->ReadData(clRecord);
        if (enResult != FILE_OK)
            return enResult;
        ++m_lOwn;
        if (m_clCounts.stopped)
            ++m_clCounts.afterStop;
        if (++m_clCounts.delivered == m_lStopAt) {
            m_clCounts.stopped = true;
            m_fnAtStop();
        }
        return enResult;
    }
    void CloseFile() override { m_pInner.reset(); }
    double GetProgress() override { return m_pInner ? m_pInner->GetProgress() : 0; }
    uint64_t GetFileSize(bool bTotal) override {
        return m_pInner ? m_pInner->GetFileSize(bTotal) : 0;
    }
    const wchar_t *GetFileName() override { return m_pInner ? m_pInner->GetFileName() : L""; }
    bool IsOnlineFile() override { return m_pInner && m_pInner->IsOnlineFile(); }

  private:
    SourceReader m_pInner;
    ReadCounts &m_clCounts;
    uint64_t m_lStopAt;
    std::function<void()> m_fnAtStop;
    uint64_t m_lFailAfter;
    FileResult m_enFailure;
    uint64_t m_lOwn = 0;
};

// Opens sources as the workers do, each (or only clstrOnly) behind a stand-in.
inline std::function<SourceReader(const QString &, FileHeaderInfo &)>
StandInOpener(ReadCounts &clCounts, uint64_t lStopAt, std::function<void()> fnAtStop,
              const QString &clstrOnly = {}, uint64_t lFailAfter = ~uint64_t(0),
              FileResult enFailure = FILE_OK) {
    return [=, &clCounts](const QString &clstrPath, FileHeaderInfo &clInfo) {
        SourceReader pReader = OpenSource(clstrPath, clInfo);
        if (!pReader || (!clstrOnly.isEmpty() && clstrPath != clstrOnly))
            return pReader;
        return SourceReader(new CStandInReader(std::move(pReader), clCounts, lStopAt, fnAtStop,
                                               lFailAfter, enFailure));
    };
}

} // namespace WorkerTestKit
