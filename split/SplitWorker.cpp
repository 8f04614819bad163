// The split worker: reads the source record by record, moves and corrects
// each record in place, and writes it into the part the plan chooses.
#include "FormatChoice.h"
#include "RecordTime.h"
#include "SplitRun.h"
#include "WorkerEvents.h"
#include "WorkerThreads.h"

#include <QCoreApplication>

#include <string>

namespace {

// The parts of a file that is still being written go beside it, and the
// check against overwriting it must look at the file, not at the prefix.
QString WithoutOnlinePrefix(const QString &clstrPath) {
    const std::wstring clstrWide = clstrPath.toStdWString();
    bool bOnline = false;
    return QString::fromWCharArray(ApplyOnlinePrefix(clstrWide.c_str(), bOnline));
}

} // namespace

CSplitRun::CSplitRun(StructWorkerContext &clContext, const SplitSourceOpener &fnOpen)
    : m_clContext(clContext), m_fnOpen(fnOpen), m_clEvents(*clContext.events),
      m_clStop(*clContext.stopEvent), m_clSettings(clContext.splitSettings) {}

bool CSplitRun::Run() {
    bool bSplit = Prepare() && ReadRecords();
    m_pPassThrough = nullptr;
    m_pReader.reset();
    // The part being written keeps what it holds, also after a failure.
    if (!ClosePart())
        bSplit = false;
    m_pWriter.reset();
    return bSplit;
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
            if (clPacer.StopRequested())
                return false;
            if (clPacer.ProgressDue()) {
                if (const int lCode = ProgressCode(m_pReader->GetProgress()))
                    m_clEvents.SplitterProgress(lCode);
            }
        }
        RawRecord clRecord{};
        switch (clRecords.Next(clRecord)) {
        case SourceStep::End:
            return true;
        case SourceStep::Failed:
            return Fail(FileProblemText(
                m_clstrSource,
                QCoreApplication::translate("CDlgSplitter", "Can not read the file!")));
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

bool CSplitRun::SplitRecord(RawRecord &clRecord, bool &bEnd) {
    if (clRecord.payload == nullptr)
        return true;
    // In place, without a copy: the written record carries the changes.
    ShiftRecordTime(clRecord, m_lOffset);
    if (FrequencyCorrected())
        SetRecordFrequency(clRecord, uint64_t(m_clSettings.frequencyHz));

    const uint64_t lConsumed = m_clPlan->NeedsConsumedBytes() ? m_pReader->GetFileSize(false) : 0;
    switch (m_clPlan->Decide(RecordTimeSeconds(clRecord), lConsumed)) {
    case SplitAction::EndSplit:
        bEnd = true;
        return true;
    case SplitAction::SkipRecord:
        return true;
    case SplitAction::StartNewPart:
        if (!ClosePart())
            return false;
        m_clPlan->ApplyTo(m_clName);
        if (!OpenPart())
            return false;
        break;
    case SplitAction::WriteToCurrentPart:
        break;
    }
    if (m_bPartOpen && WriteRecord(clRecord) != FILE_OK)
        return Fail(FileProblemText(
            m_clstrOpenPart,
            QCoreApplication::translate("CDlgSplitter", "Can not write the file!")));
    return true;
}

FileResult CSplitRun::WriteRecord(const RawRecord &clRecord) {
    const uint8_t *pFrame = nullptr;
    uint32_t lLength = 0;
    FileResult enResult = FILE_OK;
    // The writer declines frames it cannot write exactly as WriteData would.
    if (m_pPassThrough != nullptr && m_pPassThrough->GetDeliveredFrame(pFrame, lLength) &&
        m_pWriter->WriteFrame(clRecord, pFrame, lLength, enResult))
        return enResult;
    return m_pWriter->WriteData(clRecord);
}

bool RunSplitWorker(StructWorkerContext &clContext, const SplitSourceOpener &fnOpen) {
    bool bSplit = false;
    {
        CSplitRun clRun(clContext, fnOpen);
        bSplit = clRun.Run();
    }
    clContext.mergeDestination.reset();
    clContext.events->SplitterProgress(bSplit ? 2000 : -1);
    clContext.doneEvent->Set();
    return bSplit;
}

void SplitWorkerThread(void *pContext) {
    RunSplitWorker(*static_cast<StructWorkerContext *>(pContext), &OpenSource);
}
