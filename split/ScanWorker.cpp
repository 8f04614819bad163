// The source scan: the first time-stamped record in a first pass, then the
// whole file for the latest time and the kinds of records.
#include "DebugPrintf.h"
#include "ProtocolTimeScan.h"
#include "RecordTime.h"
#include "WorkerContext.h"
#include "WorkerEvents.h"
#include "WorkerLoop.h"
#include "WorkerThreads.h"

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

struct FirstRecord {
    int64_t time = 0;
    std::optional<uint64_t> frequency;
};

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
        return true;
    }
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
    int64_t lLatest = clFirst.time;
    for (;;) {
        if (clPacer.PollDue()) {
            if (clPacer.StopRequested())
                return false;
            if (clPacer.ProgressDue()) {
                if (const int lCode = ProgressCode(pReader->GetProgress()))
                    clContext.events->SplitterProgress(lCode);
            }
        }
        RawRecord clRecord{};
        const SourceStep enStep = clRecords.Next(clRecord);
        if (enStep == SourceStep::End)
            break;
        if (enStep == SourceStep::Failed)
            return false;
        NoteKind(clInfo, clRecord);
        if (IsTimedKind(clRecord)) {
            const std::optional<int64_t> clTime = RecordTimeSeconds(clRecord);
            if (clTime && *clTime > lLatest)
                lLatest = *clTime;
        }
        clProtocol.Feed(clRecord);
    }

    int64_t lFirstTime = clFirst.time;
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
    clContext.events->SplitterProgress(0);
    clInfo.kindMask = 0;
    clInfo.offset = 0;

    CProtocolTimeScan clProtocol(clContext.components, clContext.componentCount);
    // The readers are closed inside; nothing of the file is held after this.
    const bool bScanned = ScanSource(clContext, clInfo, clProtocol);
    clProtocol.Release();
    clContext.mergeDestination.reset();
    if (!bScanned)
        ResetSourceInfo(clInfo);
    clContext.events->SplitterProgress(bScanned ? 1000 : -1);
    clContext.doneEvent->Set();
}
