// The split worker: reads the source record by record, moves and corrects
// each record in place, and writes it into the part the plan chooses.
#include "ContainerCodec.h"
#include "FormatChoice.h"
#include "RecordFields.h"
#include "SplitEvents.h"
#include "SplitRun.h"
#include "WorkerThreads.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Untimed records after a waiting one are held with it; past this many the
// wait ends as if the source had ended, so memory stays bounded.
constexpr size_t kMostHeldRecords = 4096;

// Copied minutes go out in pieces of about this size, so that a stop and the
// progress are looked at between them.
constexpr uint64_t kMostCopiedAtOnce = uint64_t(16) << 20;

// The parts of a file that is still being written go beside it, and the
// check against overwriting it must look at the file, not at the prefix.
QString WithoutOnlinePrefix(const QString &clstrPath) {
    const std::wstring clstrWide = clstrPath.toStdWString();
    bool bOnline = false;
    return QString::fromWCharArray(ApplyOnlinePrefix(clstrWide.c_str(), bOnline));
}

// Records written to a part, for its report: how many, and the first one's
// time and the latest, in ms, where they carry one.
void NoteInPart(StructSplitPart &clReport, uint64_t lRecords, std::optional<int64_t> clFirstMs,
                int64_t lLatestMs) {
    clReport.records += lRecords;
    if (!clFirstMs)
        return;
    if (!clReport.hasTime) {
        clReport.hasTime = true;
        clReport.firstMs = clReport.lastMs = *clFirstMs;
    }
    clReport.lastMs = std::max(clReport.lastMs, lLatestMs);
}

// One record written to a part; clMilliseconds: its time, if it carries one.
void NoteInPart(StructSplitPart &clReport, std::optional<int64_t> clMilliseconds) {
    NoteInPart(clReport, 1, clMilliseconds, clMilliseconds.value_or(0));
}

} // namespace

CSplitRun::CSplitRun(StructWorkerContext &clContext, const SplitSourceOpener &fnOpen)
    : m_clContext(clContext), m_fnOpen(fnOpen), m_clEvents(*clContext.splitEvents),
      m_clStop(*clContext.stopEvent), m_clSettings(*clContext.splitSettings) {}

StructRunResult CSplitRun::Run() {
    bool bSplit =
        Prepare() && (m_pPassThrough != nullptr && m_pPassThrough->FileVersion() == kWriterVersion
                          ? ReadFrames()
                          : ReadRecords());
    // Frames still waiting lie in the reader's window: written before it goes.
    if (!FlushRun())
        bSplit = FailWrite();
    m_pPassThrough = nullptr;
    m_pReader.reset();
    // The part being written keeps what it holds, also after a failure.
    if (!ClosePart())
        bSplit = false;
    m_pWriter.reset();
    if (bSplit)
        return StructRunResult::Finished();
    if (m_bFailureReported)
        return StructRunResult::Failed(m_clstrFailure);
    if (m_bUserEnded || m_clStop.IsSet())
        return StructRunResult::Stopped();
    return StructRunResult::Failed();
}

bool CSplitRun::Prepare() {
    const StructSourceInfo *pInfo = m_clContext.sourceInfo;
    if (pInfo == nullptr || !m_clContext.fileList || m_clContext.fileList->isEmpty())
        return false;
    if (m_clSettings.mode > SPLIT_BY_NUMBER)
        return false;
    m_clEvents.SplitterProgress(0);

    m_clstrSource = m_clContext.fileList->first();
    if (!PathFitsFileClasses(m_clstrSource))
        return Fail(FileProblemText(
            m_clstrSource,
            QCoreApplication::translate("CDlgSplitter",
                                        "The path of the source file is longer than %1 characters.")
                .arg(kMaxPathChars)));
    m_pReader = m_fnOpen(m_clstrSource, m_clHeader);
    if (!m_pReader)
        return Fail(QCoreApplication::translate("CDlgSplitter",
                                                "<%1>\nCan not open file or unsupported filetype!")
                        .arg(m_clstrSource));

    // Read once: the dialog may move first and last by the offset while the
    // synchronisation option is on; the plan wants the recorded time plus the
    // offset that this split applies.
    m_lOffset = m_clSettings.applyOffset ? pInfo->offset : 0;
    const int64_t lRecordedFirst =
        pInfo->first.toSecsSinceEpoch() - (pInfo->synchronised ? pInfo->offset : 0);
    // Readers answer 0 for the total size until they have read something (the
    // TMW readers do); the scan measured it, and a size of 0 would cut after
    // every record.
    uint64_t lSourceSize = m_pReader->GetFileSize(true);
    if (lSourceSize == 0)
        lSourceSize = pInfo->size;
    m_clPlan.emplace(m_clSettings, lRecordedFirst + m_lOffset, lSourceSize);
    // The scan's first time is a sound one (it leaves glitches out); a
    // source that was not scanned has none, and its first records decide.
    m_clGlitchRule.emplace(pInfo->first.toSecsSinceEpoch() != 0
                               ? std::optional<int64_t>(lRecordedFirst + m_lOffset)
                               : std::nullopt);
    // Without an offset or a frequency correction every record is written as
    // it was read, so a container's frames need no decoding and encoding again.
    if (m_lOffset == 0 && !FrequencyCorrected())
        m_pPassThrough = dynamic_cast<CBrennovarstikFileFormatV1 *>(m_pReader.get());
    m_clstrSourceFile = WithoutOnlinePrefix(m_clstrSource);
    m_clName = InitialSplitName(m_clSettings, m_clstrSourceFile);
    m_clPlan->ApplyTo(m_clName);
    return OpenPart();
}

bool CSplitRun::ReadRecords() {
    CSourceRecords clRecords(*m_pReader);
    CWorkerPacer clPacer(m_clStop);
    for (;;) {
        if (clPacer.PollDue()) {
            if (clPacer.StopRequested()) {
                // What was read reaches the parts, as without a held record.
                bool bEnd = false;
                (void)ReleaseHeld(std::nullopt, bEnd);
                return false;
            }
            if (clPacer.ProgressDue()) {
                if (const int lCode = ProgressCode(m_pReader->GetProgress()))
                    m_clEvents.SplitterProgress(lCode);
            }
        }
        RawRecord clRecord{};
        switch (clRecords.Next(clRecord)) {
        case SourceStep::End:
            return SourceEnded(clRecords.Damage());
        case SourceStep::Failed:
            return FailRead();
        case SourceStep::Record:
            break;
        }
        bool bEnd = false;
        if (!SplitRecord(clRecord, bEnd))
            return false;
        if (bEnd)
            return true;
    }
}

bool CSplitRun::ReadFrames() {
    CSourceRecords clRecords(*m_pReader);
    CWorkerPacer clPacer(m_clStop);
    // A refill moves the window under the waiting frames.
    m_pPassThrough->SetBeforeWindowMoves([this] { (void)FlushRun(); });
    PrepareCopies();
    StructContainerFrame clFrame;
    for (;;) {
        const bool bPoll = clPacer.PollDue();
        bool bCopied = false;
        if (m_lMinuteAt < m_clMinutes.size()) {
            const uint64_t lBefore = m_lNextFrame;
            if (!CopyMinutes(clRecords))
                return false;
            bCopied = m_lNextFrame != lBefore;
        }
        if (bPoll || bCopied) {
            if (clPacer.StopRequested()) {
                bool bEnd = false;
                (void)(FlushRun() && ReleaseHeld(std::nullopt, bEnd));
                return false;
            }
            if (clPacer.ProgressDue()) {
                if (const int lCode = ProgressCode(m_pReader->GetProgress()))
                    m_clEvents.SplitterProgress(lCode);
            }
        }
        // The minute after a copied piece may be copied as well.
        if (bCopied)
            continue;
        const SourceStep enStep = clRecords.NextFrame(*m_pPassThrough, clFrame);
        if (m_bRunWriteFailed)
            return FailWrite();
        switch (enStep) {
        case SourceStep::End:
            return FlushRun() ? SourceEnded(clRecords.Damage()) : FailWrite();
        case SourceStep::Failed:
            return FailRead();
        case SourceStep::Record:
            break;
        }
        m_lNextFrame = clFrame.position + clFrame.length;
        bool bEnd = false;
        if (!SplitFrame(clFrame, bEnd))
            return false;
        if (bEnd)
            return true;
    }
}

void CSplitRun::PrepareCopies() {
    const CScanIndex *pIndex = m_clContext.scanIndex;
    StructFileIdentity clNow;
    const std::wstring clstrWide = m_clstrSourceFile.toStdWString();
    if (pIndex == nullptr || !pIndex->Source() || m_clstrSource != m_clstrSourceFile ||
        !m_clCopySource.OpenRead(clstrWide.c_str()) || !m_clCopySource.Identity(clNow) ||
        !(clNow == *pIndex->Source()))
        return;
    for (const auto &clEntry : pIndex->MinuteMap())
        m_clMinutes.push_back(&clEntry.second);
    std::sort(m_clMinutes.begin(), m_clMinutes.end(),
              [](const StructScanMinute *pA, const StructScanMinute *pB) {
                  return pA->firstPosition < pB->firstPosition;
              });
}

bool CSplitRun::CopyMinutes(CSourceRecords &clRecords) {
    while (m_lMinuteAt < m_clMinutes.size() &&
           m_clMinutes[m_lMinuteAt]->firstPosition < m_lNextFrame)
        ++m_lMinuteAt;
    if (m_lNextFrame == 0 || m_lMinuteAt == m_clMinutes.size() ||
        m_clMinutes[m_lMinuteAt]->firstPosition != m_lNextFrame || !m_clHeld.empty() ||
        !m_bPartOpen)
        return true;
    // Decided on copies, taken over once the reader has moved on.
    CSplitPlan clPlan = *m_clPlan;
    CTimeGlitchRule clRule = *m_clGlitchRule;
    StructSplitPart clReport = m_clPartReport;
    size_t lAt = m_lMinuteAt;
    uint64_t lEnd = m_lNextFrame;
    // An exact minute ends with a whole frame: reading goes on behind it as
    // it would have after reading it.
    while (lAt < m_clMinutes.size() && lEnd - m_lNextFrame < kMostCopiedAtOnce) {
        const StructScanMinute &clMinute = *m_clMinutes[lAt];
        const uint64_t lMinuteEnd = clMinute.firstPosition + clMinute.bytes;
        if (clMinute.firstPosition != lEnd || !clMinute.exact ||
            !clRule.TrustsAll(clMinute.earliest, clMinute.latest) ||
            !clPlan.TakeStretch(clMinute.latest, clMinute.lastTime, lMinuteEnd))
            break;
        clRule.Trust(clMinute.lastTime);
        NoteInPart(clReport, clMinute.records, clMinute.firstMs, clMinute.latestMs);
        lEnd = lMinuteEnd;
        ++lAt;
    }
    if (lEnd == m_lNextFrame)
        return true;
    if (!FlushRun())
        return FailWrite();
    if (!m_pPassThrough->ContinueAt(lEnd)) {
        m_clMinutes.clear();
        return true;
    }
    clRecords.DropFrames();
    if (m_pWriter->CopyRun(m_clCopySource, m_lNextFrame, lEnd - m_lNextFrame) != FILE_OK)
        return FailWrite();
    *m_clPlan = clPlan;
    *m_clGlitchRule = clRule;
    m_clPartReport = clReport;
    m_lNextFrame = lEnd;
    m_lMinuteAt = lAt;
    return true;
}

bool CSplitRun::SplitFrame(const StructContainerFrame &clFrame, bool &bEnd) {
    const FrameFacts &clFacts = clFrame.facts;
    const std::optional<int64_t> clTime =
        clFacts.timed ? std::optional<int64_t>(clFacts.time) : std::nullopt;
    // Anything but a frame that is written as it stands, in its turn, takes
    // the record path.
    if (!clFacts.verbatim || !m_clHeld.empty() || (clTime && m_clGlitchRule->MustWait(*clTime))) {
        if (!FlushRun())
            return FailWrite();
        RawRecord clRecord{};
        return !m_pPassThrough->DecodeFrame(clFrame, clRecord) || SplitRecord(clRecord, bEnd);
    }
    if (clTime)
        m_clGlitchRule->Trust(*clTime);
    const uint64_t lConsumed =
        m_clPlan->NeedsConsumedBytes() ? clFrame.position + clFrame.length : 0;
    bool bWrite = false;
    if (!Follow(m_clPlan->Decide(clTime, lConsumed), bEnd, bWrite))
        return false;
    if (!bWrite)
        return true;
    // Frames that follow each other in the window make one stretch.
    if (m_pRunEnd != clFrame.bytes || m_pRunEnd == nullptr) {
        if (!FlushRun())
            return FailWrite();
        m_pRunStart = clFrame.bytes;
        m_pRunEnd = clFrame.bytes;
    }
    m_pRunEnd += clFrame.length;
    NoteInPart(m_clPartReport, clFacts.timed
                                   ? std::optional<int64_t>(FrameTimeMilliseconds(clFacts))
                                   : std::nullopt);
    return true;
}

bool CSplitRun::Follow(SplitAction enAction, bool &bEnd, bool &bWrite) {
    bWrite = false;
    switch (enAction) {
    case SplitAction::EndSplit:
        bEnd = true;
        return true;
    case SplitAction::SkipRecord:
        return true;
    case SplitAction::StartNewPart:
        // What waits for the part that ends goes into it first.
        if (!FlushRun())
            return FailWrite();
        if (!ClosePart())
            return false;
        m_clPlan->ApplyTo(m_clName);
        if (!OpenPart())
            return false;
        break;
    case SplitAction::WriteToCurrentPart:
        break;
    }
    bWrite = m_bPartOpen;
    return true;
}

bool CSplitRun::FlushRun() {
    if (m_pRunStart != m_pRunEnd && !m_bRunWriteFailed)
        m_bRunWriteFailed =
            m_pWriter->WriteRun(m_pRunStart, size_t(m_pRunEnd - m_pRunStart)) != FILE_OK;
    m_pRunStart = m_pRunEnd = nullptr;
    return !m_bRunWriteFailed;
}

bool CSplitRun::SourceEnded(const StructDamageCount &clDamage) {
    bool bEnd = false;
    if (!ReleaseHeld(std::nullopt, bEnd))
        return false;
    ReportNotice(clDamage);
    return true;
}

bool CSplitRun::FailRead() {
    return Fail(FileProblemText(
        m_clstrSource, QCoreApplication::translate("CDlgSplitter", "Can not read the file!")));
}

bool CSplitRun::FailWrite() {
    return Fail(FileProblemText(
        m_clstrOpenPart, QCoreApplication::translate("CDlgSplitter", "Can not write the file!")));
}

bool CSplitRun::SplitRecord(RawRecord &clRecord, bool &bEnd) {
    if (clRecord.payload == nullptr)
        return true;
    // In place, without a copy: the written record carries the changes.
    ShiftRecordTime(clRecord, m_lOffset);
    if (FrequencyCorrected())
        SetRecordFrequency(clRecord, uint64_t(m_clSettings.frequencyHz));

    const uint64_t lConsumed = m_clPlan->NeedsConsumedBytes() ? m_pReader->GetFileSize(false) : 0;
    const std::optional<int64_t> clTime = RecordTimeSeconds(clRecord);
    if (!m_clHeld.empty()) {
        if (!clTime && m_clHeld.size() < kMostHeldRecords) {
            Hold(clRecord, clTime, lConsumed);
            return true;
        }
        if (!ReleaseHeld(clTime, bEnd))
            return false;
        if (bEnd)
            return true;
    }
    if (clTime && m_clGlitchRule->MustWait(*clTime)) {
        Hold(clRecord, clTime, lConsumed);
        return true;
    }
    const uint8_t *pFrame = nullptr;
    uint32_t lFrameLength = 0;
    if (m_pPassThrough != nullptr && !m_pPassThrough->GetDeliveredFrame(pFrame, lFrameLength))
        pFrame = nullptr;
    return PlaceRecord(clRecord, pFrame, lFrameLength, clTime, lConsumed, false, bEnd);
}

void CSplitRun::Hold(const RawRecord &clRecord, std::optional<int64_t> clTime, uint64_t lConsumed) {
    HeldRecord &clHeld = m_clHeld.emplace_back();
    clHeld.record = clRecord;
    const auto *pPayload = static_cast<const uint8_t *>(clRecord.payload);
    clHeld.payload.assign(pPayload, pPayload + clRecord.payloadLength);
    clHeld.record.payload = clHeld.payload.data();
    const uint8_t *pFrame = nullptr;
    uint32_t lFrameLength = 0;
    if (m_pPassThrough != nullptr && m_pPassThrough->GetDeliveredFrame(pFrame, lFrameLength))
        clHeld.frame.assign(pFrame, pFrame + lFrameLength);
    clHeld.time = clTime;
    clHeld.consumed = lConsumed;
}

bool CSplitRun::ReleaseHeld(std::optional<int64_t> clNextTime, bool &bEnd) {
    if (m_clHeld.empty())
        return true;
    // Only the first held record waited; the others carry no time.
    const bool bGlitch = m_clGlitchRule->IsGlitch(*m_clHeld.front().time, clNextTime);
    if (bGlitch)
        ++m_lGlitches;
    bool bFirst = true;
    bool bPlaced = true;
    for (HeldRecord &clHeld : m_clHeld) {
        if (bPlaced && !bEnd)
            bPlaced =
                PlaceRecord(clHeld.record, clHeld.frame.empty() ? nullptr : clHeld.frame.data(),
                            uint32_t(clHeld.frame.size()), clHeld.time, clHeld.consumed,
                            bFirst && bGlitch, bEnd);
        bFirst = false;
    }
    m_clHeld.clear();
    return bPlaced;
}

bool CSplitRun::PlaceRecord(const RawRecord &clRecord, const uint8_t *pFrame, uint32_t lFrameLength,
                            std::optional<int64_t> clTime, uint64_t lConsumed, bool bGlitch,
                            bool &bEnd) {
    if (clTime && !bGlitch)
        m_clGlitchRule->Trust(*clTime);
    bool bWrite = false;
    if (!Follow(m_clPlan->Decide(bGlitch ? std::nullopt : clTime, lConsumed), bEnd, bWrite))
        return false;
    if (!bWrite)
        return true;
    if (WriteRecord(clRecord, pFrame, lFrameLength) != FILE_OK)
        return FailWrite();
    NoteInPart(m_clPartReport, RecordTimeMilliseconds(clRecord));
    if (clRecord.payloadKind == PAYLOAD_DMR && clRecord.payloadLength >= sizeof(DmrTmv))
        m_lDmrItemsLost += DmrItemsLostInContainer(*static_cast<const DmrTmv *>(clRecord.payload));
    return true;
}

FileResult CSplitRun::WriteRecord(const RawRecord &clRecord, const uint8_t *pFrame,
                                  uint32_t lFrameLength) {
    FileResult enResult = FILE_OK;
    // The writer declines frames it cannot write exactly as WriteData would.
    if (pFrame != nullptr && m_pWriter->WriteFrame(clRecord, pFrame, lFrameLength, enResult))
        return enResult;
    return m_pWriter->WriteData(clRecord);
}

void CSplitRun::ReportNotice(const StructDamageCount &clDamage) {
    QStringList clLines;
    if (clDamage.Any())
        clLines << QCoreApplication::translate(
                       "CDlgSplitter",
                       "%1 damaged record(s) and %2 damaged byte(s) of the source could not be "
                       "read and are missing in the split files.")
                       .arg(clDamage.records)
                       .arg(clDamage.bytes);
    if (m_lGlitches > 0)
        clLines << QCoreApplication::translate(
                       "CDlgSplitter",
                       "%1 record(s) carry a time stamp more than a day away from both "
                       "neighbours; they were kept with their neighbours and started no part.")
                       .arg(m_lGlitches);
    if (m_lDmrItemsLost > 0)
        clLines << QCoreApplication::translate(
                       "CDlgSplitter",
                       "%1 DMR item(s) can not be stored in a split file and were left out.")
                       .arg(m_lDmrItemsLost);
    if (!clLines.isEmpty())
        m_clEvents.SplitterNotice(FileProblemText(m_clstrSource, clLines.join(u'\n')));
}

StructRunResult RunSplitWorker(StructWorkerContext &clContext, const SplitSourceOpener &fnOpen) {
    StructRunResult clResult;
    if (clContext.splitSettings) {
        CSplitRun clRun(clContext, fnOpen);
        clResult = clRun.Run();
    }
    clContext.mergeDestination.reset();
    clContext.splitEvents->SplitEnded(clResult);
    clContext.doneEvent->Set();
    return clResult;
}

void SplitWorkerThread(void *pContext) {
    RunSplitWorker(*static_cast<StructWorkerContext *>(pContext), &OpenSource);
}
