// The merge worker: copies the records of the merge list's files, group by
// group in list order, each group into one container. Records are copied
// unchanged and in reading order; overlaps are not sorted and gaps not filled.
#include "BrennovarstikFileFormatV1.h"
#include "ContainerCodec.h"
#include "JoinEvents.h"
#include "MergeRun.h"
#include "MergeWorkers.h"
#include "ScanChunks.h"
#include "Tick.h"

#include <QCoreApplication>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kPauseBeforeProblemMs = 100;

// Frames copied file to file go out in pieces of about this many chunks, so
// that a stop and the progress are looked at between them. A smaller file is
// read: its records wait in the writer's buffer as they always did, and the
// copy's all or nothing would keep fewer of them on a full disk.
constexpr uint64_t kChunksCopiedAtOnce = 16;

QString ProblemText(const QString &clstrPath, const char *pProblem) {
    return QStringLiteral("<%1>\n").arg(clstrPath) +
           QCoreApplication::translate("CDlgSplitter", pProblem);
}

class CMergeRun {
  public:
    CMergeRun(StructWorkerContext &clContext, const MergeSourceOpener &fnOpen)
        : m_clContext(clContext), m_clEvents(*clContext.joinEvents), m_clStop(*clContext.stopEvent),
          m_fnOpen(fnOpen), m_clPacer(*clContext.stopEvent) {}

    StructRunResult Run() {
        // The list copied at the start; the merge list itself is never read.
        m_clSources = m_clContext.fileList ? *m_clContext.fileList : QStringList();
        if (!m_clContext.mergeOutputs)
            m_clContext.mergeOutputs = std::make_unique<QStringList>();
        m_pWriter = std::make_unique<CBrennovarstikFileFormatV1>();
        if (!m_clSources.isEmpty()) {
            m_dStep = 1000.0 / double(m_clSources.size());
            m_dStepPerPercent = m_dStep / 100.0;
        }
        m_clEvents.JoinProgress(0);

        bool bMerged = true;
        for (qsizetype i = 0; i < m_clSources.size() && bMerged; ++i)
            bMerged = MergeSource(i);
        // An output that was being written keeps what it holds, also after
        // a failure; one that cannot be completed fails the merge.
        if (!CloseOutput())
            bMerged = false;
        m_pWriter.reset();
        if (bMerged)
            return StructRunResult::Finished();
        if (!m_clstrFailure.isEmpty() || !m_clStop.IsSet())
            return StructRunResult::Failed(m_clstrFailure);
        return StructRunResult::Stopped();
    }

  private:
    bool MergeSource(qsizetype lIndex) {
        const QString &clstrPath = m_clSources[lIndex];
        FileHeaderInfo clHeader{};
        SourceReader pReader = m_fnOpen(clstrPath, clHeader);
        if (!pReader) {
            const std::optional<uint8_t> clAnswer =
                Ask([&] { return m_clEvents.JoinOpenReadFileFailed(clstrPath); });
            if (!clAnswer || *clAnswer == MERGE_ABORT)
                return false;
            // Nothing of this file is written; the next readable file of its
            // group opens the output if this one was to.
            m_clContext.overwriteAnswer = MERGE_NO_ANSWER;
            return true;
        }
        if (!m_bOutputOpen || clHeader.fileMagic != m_lOutputMagic) {
            if (!CloseOutput() || !OpenOutput(clstrPath, clHeader))
                return false;
        }
        auto *pContainer = dynamic_cast<CBrennovarstikFileFormatV1 *>(pReader.get());
        if (pContainer != nullptr && pContainer->FileVersion() == kWriterVersion)
            return CopyFrames(lIndex, clstrPath, *pContainer);
        return CopyRecords(lIndex, clstrPath, *pReader);
    }

    // Asks for the output's path until one can be opened, the user cancels
    // or the run is stopped.
    bool OpenOutput(const QString &clstrSource, const FileHeaderInfo &clHeader) {
        for (bool bFirst = true;; bFirst = false) {
            if (!m_clContext.mergeDestination)
                m_clContext.mergeDestination = std::make_unique<QString>();
            // A question closed without an answer must not reuse a path.
            m_clContext.mergeDestination->clear();
            const std::optional<uint8_t> clAnswer =
                Ask([&] { return m_clEvents.JoinOpenWriteFile(clstrSource, bFirst); });
            if (!clAnswer || *clAnswer == MERGE_ABORT || !m_clContext.mergeDestination)
                return false;
            const QString clstrDestination = *m_clContext.mergeDestination;
            if (clstrDestination.isEmpty())
                return false;
            m_clContext.overwriteAnswer = MERGE_NO_ANSWER;
            // The answering side checks this too and explains a refusal; this
            // check is what keeps a source from being truncated whoever
            // answered.
            if (CheckMergeDestination(clstrDestination, m_clSources, *m_clContext.mergeOutputs) !=
                MergeDestination::Accepted)
                continue;
            const std::wstring clstrWide = clstrDestination.toStdWString();
            // Whoever chose the destination agreed to replace what stands there.
            if (m_pWriter->OpenFileForWriting(clstrWide.c_str(), clHeader,
                                              OutputFlags(clstrWide.c_str(), true)) != FILE_OK) {
                (void)m_pWriter->CloseFileForWriting();
                continue;
            }
            m_bOutputOpen = true;
            m_lOutputMagic = clHeader.fileMagic;
            m_clstrOutput = clstrDestination;
            m_clContext.mergeOutputs->append(clstrDestination);
            return true;
        }
    }

    // Finishes the open output. A close that fails has lost records.
    bool CloseOutput() {
        if (!m_bOutputOpen)
            return true;
        m_bOutputOpen = false;
        if (m_pWriter->CloseFileForWriting() == FILE_OK)
            return true;
        // After the user gave up on writing to it, this is no news.
        if (!m_bWriteAbandoned)
            m_clstrFailure = ProblemText(
                m_clstrOutput, QT_TRANSLATE_NOOP("CDlgSplitter", "Can not write the file!"));
        return false;
    }

    bool CopyRecords(qsizetype lIndex, const QString &clstrPath, CVirtualFileFormat &clReader) {
        CSourceRecords clRecords(clReader);
        for (;;) {
            RawRecord clRecord{};
            const SourceStep enStep = clRecords.Next(clRecord);
            if (enStep != SourceStep::Record) {
                // A damaged record that leaves the reader where it was hides
                // the rest of the file: that is a reading failure, not an end.
                if (enStep == SourceStep::End && clRecords.LastResult() != FILE_DAMAGED) {
                    ReportNotice(clstrPath, clRecords.Damage());
                    return true;
                }
                PauseWithProgress(lIndex, clReader);
                m_clEvents.JoinReadingFileFailed(clstrPath);
                return false;
            }
            if (m_clPacer.PollDue()) {
                if (m_clPacer.StopRequested())
                    return false;
                if (m_clPacer.ProgressDue())
                    EmitProgress(Progress(lIndex, clReader));
            }
            if (m_clContext.sourceInfo != nullptr)
                m_clContext.sourceInfo->kindMask |= uint64_t(1) << (clRecord.payloadKind % 64);
            if (!WriteRecord(lIndex, clReader, clRecord))
                return false;
            if (clRecord.payloadKind == PAYLOAD_DMR && clRecord.payloadLength >= sizeof(DmrTmv))
                m_lDmrItemsLost +=
                    DmrItemsLostInContainer(*static_cast<const DmrTmv *>(clRecord.payload));
        }
    }

    // The same for a version-3 container: frames that the writer would write
    // as they stand are copied in stretches straight from the read window;
    // any other record is decoded and written as CopyRecords writes it.
    bool CopyFrames(qsizetype lIndex, const QString &clstrPath,
                    CBrennovarstikFileFormatV1 &clContainer) {
        CSourceRecords clRecords(clContainer);
        if (!CopyChunks(lIndex, clstrPath, clContainer))
            return false;
        // A refill moves the window: the stretch is written first, or kept
        // for the question that follows when that fails.
        clContainer.SetBeforeWindowMoves([this] {
            if (m_pRunStart != m_pRunEnd && m_clFailedRun.empty() &&
                m_pWriter->WriteRun(m_pRunStart, size_t(m_pRunEnd - m_pRunStart)) != FILE_OK)
                m_clFailedRun.assign(m_pRunStart, m_pRunEnd);
            m_pRunStart = m_pRunEnd = nullptr;
        });
        StructContainerFrame clFrame;
        for (;;) {
            const SourceStep enStep = clRecords.NextFrame(clContainer, clFrame);
            if (!m_clFailedRun.empty()) {
                const bool bWritten =
                    WriteRun(lIndex, clContainer, m_clFailedRun.data(), m_clFailedRun.size());
                m_clFailedRun.clear();
                if (!bWritten)
                    return false;
            }
            if (enStep != SourceStep::Record) {
                if (!FlushRun(lIndex, clContainer))
                    return false;
                if (enStep == SourceStep::End && clRecords.LastResult() != FILE_DAMAGED) {
                    ReportNotice(clstrPath, clRecords.Damage());
                    return true;
                }
                PauseWithProgress(lIndex, clContainer);
                m_clEvents.JoinReadingFileFailed(clstrPath);
                return false;
            }
            if (m_clPacer.PollDue()) {
                if (m_clPacer.StopRequested()) {
                    (void)FlushRun(lIndex, clContainer);
                    return false;
                }
                if (m_clPacer.ProgressDue())
                    EmitProgress(Progress(lIndex, clContainer));
            }
            if (m_clContext.sourceInfo != nullptr)
                m_clContext.sourceInfo->kindMask |= uint64_t(1) << (clFrame.facts.kind % 64);
            if (clFrame.facts.verbatim) {
                if (m_pRunEnd != clFrame.bytes || m_pRunEnd == nullptr) {
                    if (!FlushRun(lIndex, clContainer))
                        return false;
                    m_pRunStart = m_pRunEnd = clFrame.bytes;
                }
                m_pRunEnd += clFrame.length;
                continue;
            }
            RawRecord clRecord{};
            if (!FlushRun(lIndex, clContainer) || !clContainer.DecodeFrame(clFrame, clRecord) ||
                !WriteRecord(lIndex, clContainer, clRecord))
                return false;
            if (clRecord.payloadKind == PAYLOAD_DMR && clRecord.payloadLength >= sizeof(DmrTmv))
                m_lDmrItemsLost +=
                    DmrItemsLostInContainer(*static_cast<const DmrTmv *>(clRecord.payload));
        }
    }

    // The frames checked in chunks on all cores are copied file to file as
    // far as each is sound and written as it stands; the reader goes on
    // behind them. False when stopped or writing failed.
    bool CopyChunks(qsizetype lIndex, const QString &clstrPath,
                    CBrennovarstikFileFormatV1 &clContainer) {
        const uint64_t lPiece = kChunksCopiedAtOnce * CChunkedScan::ChunkBytes();
        // The file copied from is the file as it is now: the chunks read it
        // only while it still is.
        CBinaryFile clFile;
        StructFileIdentity clNow;
        if (lPiece == 0 || clContainer.IsOnlineFile() ||
            !clFile.OpenRead(clContainer.GetFileName()) || !clFile.Identity(clNow) ||
            uint64_t(clNow.size) < lPiece)
            return true;
        const std::optional<StructFileIdentity> clSource = clNow;
        uint64_t lFrom = 0; // the stretch taken and not yet copied
        uint64_t lTo = 0;
        const auto Copy = [&] {
            const uint64_t lStart = lFrom;
            const uint64_t lLength = lTo - lFrom;
            lFrom = lTo;
            return lLength == 0 || WriteAsking(lIndex, clContainer, [&] {
                       return m_pWriter->CopyRun(clFile, lStart, lLength);
                   });
        };
        const auto Progress = [&] {
            EmitProgress(int((100.0 * double(lTo) / double(clSource->size)) * m_dStepPerPercent +
                             double(lIndex) * m_dStep));
        };
        bool bWritten = true;
        const std::vector<std::optional<std::pair<StructFileIdentity, uint64_t>>> &clSound =
            m_clContext.mergeSound;
        if (lIndex < qsizetype(clSound.size()) && clSound[size_t(lIndex)] &&
            clSound[size_t(lIndex)]->first == *clSource) {
            // The fill found every frame sound and written as it stands, and
            // the file is still the one it read: copied whole, unread.
            const uint64_t lEnd = uint64_t(clSource->size);
            lFrom = lTo = clContainer.GetFileSize(false);
            while (bWritten && lTo < lEnd && !m_clPacer.StopRequested()) {
                lTo = std::min(lEnd, lFrom + lPiece);
                bWritten = Copy();
                if (m_clPacer.ProgressDue())
                    Progress();
            }
            if (bWritten && lTo == lEnd && m_clContext.sourceInfo != nullptr)
                m_clContext.sourceInfo->kindMask |= clSound[size_t(lIndex)]->second;
            return Finish(lIndex, clstrPath, clContainer, bWritten,
                          bWritten && lTo == lEnd && clContainer.ContinueAt(lEnd));
        }
        const bool bRead = ReadFramesInChunks(
            clContainer, clstrPath, clSource, [&](const StructScanChunk &clChunk) {
                if (m_clPacer.StopRequested())
                    return ChunkTake::Stopped;
                if (!clChunk.verbatim)
                    return ChunkTake::Left;
                if (lTo == lFrom)
                    lFrom = clChunk.start;
                lTo = clChunk.end;
                if (m_clContext.sourceInfo != nullptr)
                    m_clContext.sourceInfo->kindMask |= clChunk.kindMask;
                if (lTo - lFrom >= lPiece) {
                    bWritten = Copy();
                    if (!bWritten)
                        return ChunkTake::Stopped;
                }
                if (!m_clPacer.PollDueAfter(clChunk.Records()))
                    return ChunkTake::Taken;
                if (m_clPacer.ProgressDue())
                    Progress();
                return m_clPacer.StopRequested() ? ChunkTake::Stopped : ChunkTake::Taken;
            });
        // What was taken is whole frames: it is copied also when the run stops.
        return Finish(lIndex, clstrPath, clContainer, bWritten && Copy(), bRead);
    }

    // The end of copying file to file: a reader that cannot go on behind
    // the copy is a reading failure, unless the run was stopped.
    bool Finish(qsizetype lIndex, const QString &clstrPath, CVirtualFileFormat &clReader,
                bool bCopied, bool bRead) {
        if (bCopied && !bRead && !m_clPacer.StopRequested()) {
            PauseWithProgress(lIndex, clReader);
            m_clEvents.JoinReadingFileFailed(clstrPath);
        }
        return bCopied && bRead;
    }

    bool FlushRun(qsizetype lIndex, CVirtualFileFormat &clReader) {
        const uint8_t *pStart = m_pRunStart;
        const uint8_t *pEnd = m_pRunEnd;
        m_pRunStart = m_pRunEnd = nullptr;
        return pStart == pEnd || WriteRun(lIndex, clReader, pStart, size_t(pEnd - pStart));
    }

    bool WriteRun(qsizetype lIndex, CVirtualFileFormat &clReader, const uint8_t *pFrames,
                  size_t lLength) {
        return WriteAsking(lIndex, clReader, [&] { return m_pWriter->WriteRun(pFrames, lLength); });
    }

    bool WriteRecord(qsizetype lIndex, CVirtualFileFormat &clReader, const RawRecord &clRecord) {
        return WriteAsking(lIndex, clReader, [&] { return m_pWriter->WriteData(clRecord); });
    }

    // Writes, asking after each failure whether to try again.
    bool WriteAsking(qsizetype lIndex, CVirtualFileFormat &clReader,
                     const std::function<FileResult()> &fnWrite) {
        if (fnWrite() == FILE_OK)
            return true;
        PauseWithProgress(lIndex, clReader);
        for (;;) {
            const QString clstrOutput = QString::fromWCharArray(m_pWriter->GetFileName());
            const std::optional<uint8_t> clAnswer =
                Ask([&] { return m_clEvents.JoinWritingFileFailed(clstrOutput); });
            if (!clAnswer || *clAnswer == MERGE_ABORT) {
                m_bWriteAbandoned = true;
                return false;
            }
            m_clContext.overwriteAnswer = MERGE_NO_ANSWER;
            // The writer has taken the record back, so it is written once.
            if (fnWrite() == FILE_OK)
                return true;
        }
    }

    // Damaged records are stepped over rather than ending the merge: every
    // readable record reaches the output, and the user learns what is missing.
    // So are DMR items that the container cannot store.
    void ReportNotice(const QString &clstrPath, const StructDamageCount &clDamage) {
        QStringList clLines;
        if (clDamage.bytes > 0)
            clLines << QCoreApplication::translate(
                           "CDlgSplitter",
                           "%1 damaged record(s) and %2 damaged byte(s) could not be read and are "
                           "missing in the merged file.")
                           .arg(clDamage.records)
                           .arg(clDamage.bytes);
        else if (clDamage.records > 0)
            clLines << QCoreApplication::translate(
                           "CDlgSplitter",
                           "%1 damaged record(s) could not be read and are missing in the merged "
                           "file.")
                           .arg(clDamage.records);
        if (m_lDmrItemsLost > 0)
            clLines << QCoreApplication::translate(
                           "CDlgSplitter",
                           "%1 DMR item(s) can not be stored in a split file and were left out.")
                           .arg(m_lDmrItemsLost);
        m_lDmrItemsLost = 0;
        if (!clLines.isEmpty())
            m_clEvents.JoinNotice(QStringLiteral("<%1>\n").arg(clstrPath) + clLines.join(u'\n'));
    }

    int Progress(qsizetype lIndex, CVirtualFileFormat &clReader) const {
        return int(clReader.GetProgress() * m_dStepPerPercent + double(lIndex) * m_dStep);
    }
    void EmitProgress(int lCode) {
        if (lCode >= 1 && lCode <= 999)
            m_clEvents.JoinProgress(lCode);
    }
    // Before a problem is shown the bar shows how far the merge came.
    void PauseWithProgress(qsizetype lIndex, CVirtualFileFormat &clReader) {
        const int lCode = Progress(lIndex, clReader);
        if (lCode >= 1 && lCode <= 999) {
            m_clEvents.JoinProgress(lCode);
            PlatformSleep(kPauseBeforeProblemMs);
        }
    }

    // Puts a question and waits for its answer or a stop. Empty when the run
    // was stopped, or nobody takes the question: both end the merge.
    std::optional<uint8_t> Ask(const std::function<bool()> &fnQuestion) {
        CPlatformEvent *pAnswerEvent = m_clContext.answerEvent.get();
        if (pAnswerEvent == nullptr || m_clStop.IsSet())
            return std::nullopt;
        // A leftover answer must not answer this question; one closed
        // without an answer counts as abort.
        pAnswerEvent->Reset();
        m_clContext.overwriteAnswer = MERGE_ABORT;
        m_clContext.questionOpen = true;
        if (!fnQuestion()) {
            m_clContext.questionOpen = false;
            return std::nullopt;
        }
        // The stop comes first, even when an answer arrives at the same moment.
        const int lWoken = WaitForEitherEvent(m_clStop, *pAnswerEvent, kWaitInfinite);
        m_clContext.questionOpen = false;
        if (lWoken != 1)
            return std::nullopt;
        return m_clContext.overwriteAnswer.load();
    }

    StructWorkerContext &m_clContext;
    CJoinEvents &m_clEvents;
    CPlatformEvent &m_clStop;
    const MergeSourceOpener &m_fnOpen;
    CWorkerPacer m_clPacer; // its record counter runs across files
    QStringList m_clSources;
    double m_dStep = 0;
    double m_dStepPerPercent = 0;

    std::unique_ptr<CBrennovarstikFileFormatV1> m_pWriter;
    // The stretch of frames in the read window that waits for the output, and
    // a stretch whose write failed while the window was about to move.
    const uint8_t *m_pRunStart = nullptr;
    const uint8_t *m_pRunEnd = nullptr;
    std::vector<uint8_t> m_clFailedRun;
    bool m_bOutputOpen = false;
    uint64_t m_lOutputMagic = 0;
    QString m_clstrOutput;
    bool m_bWriteAbandoned = false;
    QString m_clstrFailure;       // told with the end
    uint64_t m_lDmrItemsLost = 0; // of the source being copied
};

} // namespace

StructRunResult RunMergeWorker(StructWorkerContext &clContext, const MergeSourceOpener &fnOpen) {
    StructRunResult clResult;
    {
        CMergeRun clRun(clContext, fnOpen);
        clResult = clRun.Run();
    }
    clContext.mergeDestination.reset();
    if (!clResult.Succeeded() && clContext.sourceInfo != nullptr)
        ResetSourceInfo(*clContext.sourceInfo);
    clContext.joinEvents->MergeEnded(clResult);
    clContext.doneEvent->Set();
    return clResult;
}

void MergeWorkerThread(void *pContext) {
    RunMergeWorker(*static_cast<StructWorkerContext *>(pContext), &OpenSource);
}
