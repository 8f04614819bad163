// The source scan: the first time-stamped record in a first pass, then the
// whole file for the latest time and the kinds of records.
#include "BrennovarstikFileFormatV1.h"
#include "DebugPrintf.h"
#include "ProtocolTimeScan.h"
#include "RecordFields.h"
#include "ScanChunks.h"
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

void NoteKind(StructSourceInfo &clInfo, uint8_t lKind) {
    if (lKind < 64)
        clInfo.kindMask |= uint64_t(1) << lKind;
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
    // The timed records of a run, all within one minute: after its first one
    // each is trusted in turn, so the last stands for all but the latest.
    void OfferRun(const StructScanRun &clRun) {
        if (clRun.timedRecords == 0)
            return;
        Offer(clRun.firstTime);
        if (clRun.timedRecords > 1) {
            Offer(clRun.lastTime);
            m_lLatest = std::max(m_lLatest, clRun.latest);
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

// The records of a source as the scan looks at them: kind and time. A
// container is read frame by frame, and a payload is decoded only when it is
// asked for.
class CScanRecords {
  public:
    explicit CScanRecords(CVirtualFileFormat &clReader)
        : m_rReader(clReader), m_pContainer(dynamic_cast<CBrennovarstikFileFormatV1 *>(&clReader)),
          m_clRecords(clReader) {}

    SourceStep Next() {
        if (m_pContainer != nullptr) {
            const SourceStep enStep = m_clRecords.NextFrame(*m_pContainer, m_clFrame);
            m_lKind = m_clFrame.facts.kind;
            m_bTimed = m_clFrame.facts.timed && m_lKind <= PAYLOAD_GSM;
            m_lTime = m_clFrame.facts.time;
            m_bDecoded = false;
            return enStep;
        }
        m_clRecord = RawRecord{};
        const SourceStep enStep = m_clRecords.Next(m_clRecord);
        m_lKind = m_clRecord.payloadKind;
        const std::optional<int64_t> clTime = RecordTimeSeconds(m_clRecord);
        m_bTimed = clTime && m_lKind <= PAYLOAD_GSM;
        m_lTime = clTime.value_or(0);
        m_bDecoded = true;
        return enStep;
    }
    uint8_t Kind() const { return m_lKind; }
    // Its time stamp, for kinds that carry one. Plain fields: an optional
    // copied once per record costs the loop more than the rest of it.
    bool HasTime() const { return m_bTimed; }
    int64_t TimeSeconds() const { return m_lTime; }
    std::optional<int64_t> Time() const {
        return m_bTimed ? std::optional<int64_t>(m_lTime) : std::nullopt;
    }
    StructDamageCount Damage() const { return m_clRecords.Damage(); }
    // The reader's position just past this record: frames are read ahead.
    uint64_t ConsumedAfter() const {
        return m_pContainer != nullptr ? m_clFrame.position + m_clFrame.length
                                       : m_rReader.GetFileSize(false);
    }
    // The record as the index takes it.
    StructScanRecord ForIndex() const {
        StructScanRecord clRecord;
        clRecord.time = Time();
        const StructDamageCount clDamage = m_clRecords.Damage();
        clRecord.damageSoFar = clDamage.records + clDamage.bytes;
        clRecord.consumedAfter = ConsumedAfter();
        if (m_pContainer != nullptr) {
            clRecord.milliseconds = FrameTimeMilliseconds(m_clFrame.facts);
            clRecord.frameLength = m_clFrame.length;
            clRecord.verbatim = m_clFrame.facts.verbatim;
        } else {
            clRecord.milliseconds = RecordTimeMilliseconds(m_clRecord).value_or(0);
        }
        return clRecord;
    }
    // The record as ReadData delivers it; null when it cannot be decoded.
    const RawRecord *Record() {
        if (!m_bDecoded) {
            m_clRecord = RawRecord{};
            m_bDecoded = m_pContainer->DecodeFrame(m_clFrame, m_clRecord);
        }
        return m_bDecoded ? &m_clRecord : nullptr;
    }

  private:
    CVirtualFileFormat &m_rReader;
    CBrennovarstikFileFormatV1 *m_pContainer;
    CSourceRecords m_clRecords;
    StructContainerFrame m_clFrame;
    RawRecord m_clRecord{};
    bool m_bDecoded = false;
    uint8_t m_lKind = 0;
    bool m_bTimed = false;
    int64_t m_lTime = 0;
};

bool WantsAnyKind(const CProtocolTimeScan &clProtocol) {
    for (uint32_t lKind = 0; lKind < CProtocolTimeScan::kAnalysisSlots; ++lKind)
        if (clProtocol.Wants(uint8_t(lKind)))
            return true;
    return false;
}

// The start of the second pass over a version-3 container, on all cores.
// False when stopped, or when the reader cannot go on behind the chunks.
bool ScanInChunks(StructWorkerContext &clContext, const QString &clstrPath,
                  CVirtualFileFormat &clReader, const std::optional<StructFileIdentity> &clSource,
                  const CProtocolTimeScan &clProtocol, StructSourceInfo &clInfo, CTimeSpan &clSpan,
                  CWorkerPacer &clPacer) {
    // The protocol scan needs the decoded records of its kinds in order.
    if (WantsAnyKind(clProtocol))
        return true;
    CScanIndex *pIndex = clContext.scanIndex;
    return ReadFramesInChunks(clReader, clstrPath, clSource, [&](const StructScanChunk &clChunk) {
        if (clPacer.StopRequested())
            return ChunkTake::Stopped;
        clInfo.kindMask |= clChunk.kindMask;
        for (const StructScanRun &clRun : clChunk.runs) {
            clSpan.OfferRun(clRun);
            if (pIndex != nullptr)
                pIndex->AddRun(clRun);
        }
        if (!clPacer.PollDueAfter(clChunk.Records()))
            return ChunkTake::Taken;
        if (clPacer.ProgressDue()) {
            if (const int lCode =
                    ProgressCode(100.0 * double(clChunk.end) / double(clSource->size)))
                clContext.splitEvents->SplitterProgress(lCode);
        }
        return clPacer.StopRequested() ? ChunkTake::Stopped : ChunkTake::Taken;
    });
}

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
    CScanRecords clRecords(*pReader);
    CWorkerPacer clPacer(*clContext.stopEvent);
    for (;;) {
        if (clPacer.PollDue() && clPacer.StopRequested())
            return false;
        // Ending before a time-stamped record is a failure too.
        if (clRecords.Next() != SourceStep::Record)
            return false;
        NoteKind(clInfo, clRecords.Kind());
        const std::optional<int64_t> clTime = clRecords.Time();
        if (!clTime || *clTime == 0)
            continue;
        const RawRecord *pRecord = clRecords.Record();
        if (pRecord == nullptr)
            return false;
        clFirst.time = *clTime;
        clFirst.frequency = RecordFrequency(*pRecord);
        clProtocol.ChooseComponent(*pRecord);
        break;
    }
    // Usually the very next timed record completes the pair.
    int64_t lPrevious = clFirst.time;
    for (int lCandidates = 0; lCandidates < kMostReferenceCandidates;) {
        if (clPacer.PollDue() && clPacer.StopRequested())
            return false;
        if (clRecords.Next() != SourceStep::Record)
            break;
        NoteKind(clInfo, clRecords.Kind());
        const std::optional<int64_t> clTime = clRecords.Time();
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
    CScanRecords clRecords(*pReader);
    CWorkerPacer clPacer(*clContext.stopEvent);
    CTimeSpan clSpan(clFirst.reference);
    CScanIndex *pIndex = clContext.scanIndex;
    const std::optional<StructFileIdentity> clSource = IdentityOf(*pReader);
    if (pIndex != nullptr)
        pIndex->Begin(pReader->GetFileSize(false), clSource);
    if (!ScanInChunks(clContext, clstrPath, *pReader, clSource, clProtocol, clInfo, clSpan,
                      clPacer))
        return false;
    for (;;) {
        if (clPacer.PollDue()) {
            if (clPacer.StopRequested())
                return false;
            if (clPacer.ProgressDue()) {
                if (const int lCode = ProgressCode(pReader->GetProgress()))
                    clContext.splitEvents->SplitterProgress(lCode);
            }
        }
        const SourceStep enStep = clRecords.Next();
        if (enStep == SourceStep::End)
            break;
        if (enStep == SourceStep::Failed)
            return false;
        NoteKind(clInfo, clRecords.Kind());
        if (clRecords.HasTime())
            clSpan.Offer(clRecords.TimeSeconds());
        if (pIndex != nullptr)
            pIndex->AddRecord(clRecords.ForIndex());
        if (clProtocol.Wants(clRecords.Kind())) {
            if (const RawRecord *pRecord = clRecords.Record())
                clProtocol.Feed(*pRecord);
        }
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
