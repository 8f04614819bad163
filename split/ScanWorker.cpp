// The source scan: the first time-stamped record in a first pass, then the
// whole file for the latest time and the kinds of records.
#include "DebugPrintf.h"
#include "ProtocolTimeScan.h"
#include "RecordFields.h"
#include "ScanIndex.h"
#include "SplitEvents.h"
#include "TimeGlitch.h"
#include "WorkerContext.h"
#include "WorkerLoop.h"
#include "WorkerThreads.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace {

QDateTime UtcTime(int64_t lSeconds) {
    return QDateTime::fromSecsSinceEpoch(lSeconds, QTimeZone::utc());
}

void NoteKind(StructSourceInfo &clInfo, const RawRecord &clRecord) {
    if (clRecord.payloadKind < 64)
        clInfo.kindMask |= uint64_t(1) << clRecord.payloadKind;
}

bool IsTimedKind(const RawRecord &clRecord) {
    return clRecord.payloadKind <= PAYLOAD_GSM;
}

// The first and the latest time of a source, leaving out the glitches of a
// broken clock, which would otherwise stretch the span by years.
class CTimeSpan {
  public:
    explicit CTimeSpan(std::optional<int64_t> clReference) : m_clRule(clReference) {}
    void Offer(int64_t lTime) {
        if (m_bWaiting) {
            m_bWaiting = false;
            if (!m_clRule.IsGlitch(m_lWaiting, lTime))
                Take(m_lWaiting);
        }
        if (m_clRule.MustWait(lTime)) {
            m_bWaiting = true;
            m_lWaiting = lTime;
        } else {
            Take(lTime);
        }
    }
    void Finish() {
        if (m_bWaiting && !m_clRule.IsGlitch(m_lWaiting, std::nullopt))
            Take(m_lWaiting);
        m_bWaiting = false;
    }
    bool Found() const { return m_bFound; }
    int64_t First() const { return m_lFirst; }
    int64_t Latest() const { return m_lLatest; }

  private:
    void Take(int64_t lTime) {
        m_clRule.Trust(lTime);
        if (!m_bFound)
            m_lFirst = m_lLatest = lTime;
        m_bFound = true;
        m_lLatest = std::max(m_lLatest, lTime);
    }

    CTimeGlitchRule m_clRule;
    bool m_bWaiting = false;
    int64_t m_lWaiting = 0;
    bool m_bFound = false;
    int64_t m_lFirst = 0;
    int64_t m_lLatest = 0;
};

struct FirstRecord {
    int64_t time = 0;
    std::optional<uint64_t> frequency;
    // The first of the first two timed records in a row that lie within a
    // day of each other: a time a glitch cannot be, which the second pass
    // measures from. None when the source has no such pair.
    std::optional<int64_t> reference;
};

// Timed records looked at for the reference before the scan gives up on it.
constexpr int kMostReferenceCandidates = 100000;

// First pass: the first record of kinds 0 ... 4 whose time is not 0.
bool FindFirstTime(StructWorkerContext &clContext, StructSourceInfo &clInfo,
                   const QString &clstrPath, CProtocolTimeScan &clProtocol, FirstRecord &clFirst) {
    FileHeaderInfo clHeader{};
    SourceReader pReader = OpenSource(clstrPath, clHeader);
    if (!pReader)
        return false;
    CSourceRecords clRecords(*pReader);
    CWorkerPacer clPacer(*clContext.stopEvent);
    for (;;) {
        if (clPacer.PollDue() && clPacer.StopRequested())
            return false;
        RawRecord clRecord{};
        // Ending before a time-stamped record is a failure too.
        if (clRecords.Next(clRecord) != SourceStep::Record)
            return false;
        NoteKind(clInfo, clRecord);
        if (!IsTimedKind(clRecord))
            continue;
        const std::optional<int64_t> clTime = RecordTimeSeconds(clRecord);
        if (!clTime || *clTime == 0)
            continue;
        clFirst.time = *clTime;
        clFirst.frequency = RecordFrequency(clRecord);
        clProtocol.ChooseComponent(clRecord);
        break;
    }
    // Usually the very next timed record completes the pair.
    int64_t lPrevious = clFirst.time;
    for (int lCandidates = 0; lCandidates < kMostReferenceCandidates;) {
        if (clPacer.PollDue() && clPacer.StopRequested())
            return false;
        RawRecord clRecord{};
        if (clRecords.Next(clRecord) != SourceStep::Record)
            break;
        NoteKind(clInfo, clRecord);
        const std::optional<int64_t> clTime =
            IsTimedKind(clRecord) ? RecordTimeSeconds(clRecord) : std::nullopt;
        if (!clTime)
            continue;
        if (!CTimeGlitchRule::FarApart(*clTime, lPrevious)) {
            clFirst.reference = lPrevious;
            break;
        }
        lPrevious = *clTime;
        ++lCandidates;
    }
    return true;
}

bool ScanSource(StructWorkerContext &clContext, StructSourceInfo &clInfo,
                CProtocolTimeScan &clProtocol) {
    if (!clContext.fileList || clContext.fileList->isEmpty())
        return false;
    const QString clstrPath = clContext.fileList->first();

    FirstRecord clFirst;
    if (!FindFirstTime(clContext, clInfo, clstrPath, clProtocol, clFirst))
        return false;
    clInfo.synchronised = false;
    clInfo.first = UtcTime(clFirst.time);

    // Second pass over the whole file.
    FileHeaderInfo clHeader{};
    SourceReader pReader = OpenSource(clstrPath, clHeader);
    if (!pReader)
        return false;
    clProtocol.Prepare(clHeader);
    CSourceRecords clRecords(*pReader);
    CWorkerPacer clPacer(*clContext.stopEvent);
    CTimeSpan clSpan(clFirst.reference);
    CScanIndex *pIndex = clContext.scanIndex;
    if (pIndex != nullptr)
        pIndex->Begin(pReader->GetFileSize(false));
    for (;;) {
        if (clPacer.PollDue()) {
            if (clPacer.StopRequested())
                return false;
            if (clPacer.ProgressDue()) {
                if (const int lCode = ProgressCode(pReader->GetProgress()))
                    clContext.splitEvents->SplitterProgress(lCode);
            }
        }
        RawRecord clRecord{};
        const SourceStep enStep = clRecords.Next(clRecord);
        if (enStep == SourceStep::End)
            break;
        if (enStep == SourceStep::Failed)
            return false;
        NoteKind(clInfo, clRecord);
        const std::optional<int64_t> clTime =
            IsTimedKind(clRecord) ? RecordTimeSeconds(clRecord) : std::nullopt;
        if (clTime)
            clSpan.Offer(*clTime);
        if (pIndex != nullptr) {
            const StructDamageCount clDamage = clRecords.Damage();
            pIndex->AddRecord(clTime, pReader->GetFileSize(false),
                              clDamage.records + clDamage.bytes);
        }
        clProtocol.Feed(clRecord);
    }

    clSpan.Finish();
    int64_t lFirstTime = clSpan.Found() ? clSpan.First() : clFirst.time;
    int64_t lLatest = clSpan.Found() ? clSpan.Latest() : clFirst.time;
    if (lLatest < lFirstTime)
        std::swap(lLatest, lFirstTime);
    clInfo.first = UtcTime(lFirstTime);
    clInfo.last = UtcTime(lLatest);
    clInfo.name = clstrPath;
    clInfo.size = pReader->GetFileSize(true);
    clInfo.fileMagic = clHeader.fileMagic;
    clInfo.frequency = clFirst.frequency ? int64_t(*clFirst.frequency) : -1;
    if (const std::optional<int64_t> clOffset = clProtocol.Offset()) {
        clInfo.offset = *clOffset;
        DebugPrintf("Protocol time offset: %lld s\n", static_cast<long long>(*clOffset));
    }
    return true;
}

} // namespace

void ScanWorkerThread(void *pContext) {
    auto &clContext = *static_cast<StructWorkerContext *>(pContext);
    StructSourceInfo &clInfo = *clContext.sourceInfo;
    clContext.splitEvents->SplitterProgress(0);
    clInfo.kindMask = 0;
    clInfo.offset = 0;

    CProtocolTimeScan clProtocol(clContext.components, clContext.componentCount);
    // The readers are closed inside; nothing of the file is held after this.
    const bool bScanned = ScanSource(clContext, clInfo, clProtocol);
    clProtocol.Release();
    clContext.mergeDestination.reset();
    if (!bScanned)
        ResetSourceInfo(clInfo);
    clContext.splitEvents->ScanEnded(bScanned                       ? StructRunResult::Finished()
                                     : clContext.stopEvent->IsSet() ? StructRunResult::Stopped()
                                                                    : StructRunResult::Failed());
    clContext.doneEvent->Set();
}
