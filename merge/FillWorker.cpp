// The merge-list fill worker: examines each added file to the end for its
// first and latest record time and inserts it into the merge list.
#include "BinaryFile.h"
#include "BrennovarstikFileFormatV1.h"
#include "JoinEvents.h"
#include "JoinFileData.h"
#include "MergeRun.h"
#include "PathNormalise.h"
#include "RecordFields.h"
#include "ScanChunks.h"
#include "Tick.h"

#include <QStringList>

#include <algorithm>
#include <optional>
#include <string>

namespace {

constexpr uint64_t kListEveryMs = 250;
constexpr uint32_t kPauseAfterListMs = 50;

int64_t FileSizeOf(const QString &clstrPath) {
    const std::wstring clstrWide = clstrPath.toStdWString();
    CBinaryFile clFile;
    if (!clFile.OpenRead(clstrWide.c_str()))
        return -1;
    const int64_t lSize = clFile.Size();
    (void)clFile.Close();
    return lSize;
}

class CFillRun {
  public:
    explicit CFillRun(StructWorkerContext &clContext)
        : m_clContext(clContext), m_clEvents(*clContext.joinEvents),
          m_clPacer(*clContext.stopEvent) {}

    // False when stopped.
    bool Run() {
        const QStringList clPaths = m_clContext.fileList ? *m_clContext.fileList : QStringList();
        if (!clPaths.isEmpty()) {
            m_dStep = 1000.0 / double(clPaths.size());
            m_dStepPerPercent = m_dStep / 100.0;
        }
        m_clEvents.JoinProgress(0);
        m_lNextList = PlatformTickCount64() + kListEveryMs;
        for (qsizetype i = 0; i < clPaths.size(); ++i) {
            if (!Examine(i, clPaths[i]))
                return false;
        }
        return true;
    }

    // The normalised text of the last path taken up.
    const QString &CurrentPath() const { return m_clstrCurrent; }

  private:
    // False when a stop was seen; the file then gets no entry.
    bool Examine(qsizetype lIndex, const QString &clstrPath) {
        m_clstrCurrent = NormalisePath(clstrPath);
        // Never shortened: a shortened path names another file. The file
        // classes would not open it either, so it is left out like any file
        // that cannot be opened.
        if (!PathFitsFileClasses(clstrPath))
            return true;

        StructJoinFileData clEntry;
        clEntry.fileName = m_clstrCurrent;
        clEntry.size = FileSizeOf(clstrPath);
        CMergeList *pList = m_clContext.mergeList;
        if (pList == nullptr || pList->Contains(clEntry.fileName))
            return true;

        FileHeaderInfo clHeader{};
        SourceReader pReader = OpenSource(clstrPath, clHeader);
        if (!pReader)
            return true;
        clEntry.flags |= kJoinFileOpened;
        clEntry.magic = clHeader.fileMagic;
        if (JoinTimeValid(clHeader.startTime))
            clEntry.start = clHeader.startTime;

        if (!ReadTimesInChunks(lIndex, clstrPath, *pReader, clEntry) ||
            !ReadTimes(lIndex, *pReader, clEntry))
            return false;

        pList->Insert(clEntry);
        if (PlatformTickCount64() > m_lNextList) {
            m_clEvents.JoinFillList(m_clstrCurrent);
            // Lets the dialog's thread rebuild the tree before the next file.
            PlatformSleep(kPauseAfterListMs);
            m_lNextList = PlatformTickCount64() + kListEveryMs;
        }
        return true;
    }

    // The first time and the latest of records as ReadTimes takes them: a
    // version-3 container is checked in chunks on all cores as far as they
    // hold only sound frames. False when a stop was seen.
    bool ReadTimesInChunks(qsizetype lIndex, const QString &clstrPath, CVirtualFileFormat &clReader,
                           StructJoinFileData &clEntry) {
        const std::optional<StructFileIdentity> clSource = IdentityOf(clReader);
        bool bSound = true; // every frame so far sound and written as it stands
        uint64_t lReached = 0;
        uint64_t lKinds = 0;
        const bool bRead =
            ReadFramesInChunks(clReader, clstrPath, clSource, [&](const StructScanChunk &clChunk) {
                if (m_clPacer.StopRequested())
                    return ChunkTake::Stopped;
                bSound = bSound && clChunk.whole && clChunk.verbatim;
                lReached = clChunk.end;
                lKinds |= clChunk.kindMask;
                for (const StructScanRun &clRun : clChunk.runs) {
                    clEntry.records += int64_t(clRun.headRecords + clRun.records);
                    if (clRun.timedRecords == 0)
                        continue;
                    if (!(clEntry.flags & kJoinTimesFromRecord)) {
                        clEntry.start = clEntry.end = clRun.firstTime;
                        clEntry.flags |= kJoinTimesFromRecord;
                    }
                    clEntry.end = std::max(clEntry.end, clRun.latest);
                }
                if (!m_clPacer.PollDueAfter(clChunk.Records()))
                    return ChunkTake::Taken;
                if (m_clPacer.ProgressDue()) {
                    const double dPercent = 100.0 * double(clChunk.end) / double(clSource->size);
                    const int lCode = int(dPercent * m_dStepPerPercent + double(lIndex) * m_dStep);
                    if (lCode >= 1 && lCode <= 999)
                        m_clEvents.JoinProgress(lCode);
                }
                return m_clPacer.StopRequested() ? ChunkTake::Stopped : ChunkTake::Taken;
            });
        if (bRead && bSound && clSource && lReached == uint64_t(clSource->size)) {
            clEntry.soundAs = clSource;
            clEntry.kinds = lKinds;
        }
        return bRead;
    }

    // Start from the first record that carries a time, end from the latest;
    // damaged records are stepped over and any other end of reading ends the
    // examination with the times found so far. False when a stop was seen.
    bool ReadTimes(qsizetype lIndex, CVirtualFileFormat &clReader, StructJoinFileData &clEntry) {
        CSourceRecords clRecords(clReader);
        // A container's times are read from its frames, without decoding.
        auto *pContainer = dynamic_cast<CBrennovarstikFileFormatV1 *>(&clReader);
        StructContainerFrame clFrame;
        for (bool bFirst = clEntry.records == 0;; bFirst = false) {
            RawRecord clRecord{};
            const SourceStep enStep = pContainer != nullptr
                                          ? clRecords.NextFrame(*pContainer, clFrame)
                                          : clRecords.Next(clRecord);
            if (enStep != SourceStep::Record) {
                // After nothing at all, one more read decides.
                if (bFirst)
                    continue;
                return true;
            }
            ++clEntry.records;
            // The counter runs across files, so many small files do not each
            // start the interval again.
            if (!bFirst && m_clPacer.PollDue()) {
                if (m_clPacer.StopRequested())
                    return false;
                if (m_clPacer.ProgressDue()) {
                    const int lCode =
                        int(clReader.GetProgress() * m_dStepPerPercent + double(lIndex) * m_dStep);
                    if (lCode >= 1 && lCode <= 999)
                        m_clEvents.JoinProgress(lCode);
                }
            }
            const std::optional<int64_t> clTime =
                pContainer == nullptr ? RecordTimeSeconds(clRecord)
                : clFrame.facts.timed ? std::optional<int64_t>(clFrame.facts.time)
                                      : std::nullopt;
            if (!clTime)
                continue;
            // A part cut from a recording may begin with a notice; its start
            // is its first time stamp, not the recording's header start, or
            // it would be listed, and merged, before the parts it follows.
            if (!(clEntry.flags & kJoinTimesFromRecord)) {
                clEntry.start = *clTime;
                clEntry.end = *clTime;
                clEntry.flags |= kJoinTimesFromRecord;
            } else if (*clTime > clEntry.end) {
                clEntry.end = *clTime;
            }
        }
    }

    StructWorkerContext &m_clContext;
    CJoinEvents &m_clEvents;
    CWorkerPacer m_clPacer;
    double m_dStep = 0;
    double m_dStepPerPercent = 0;
    uint64_t m_lNextList = 0;
    QString m_clstrCurrent;
};

} // namespace

void FillWorkerThread(void *pContext) {
    auto &clContext = *static_cast<StructWorkerContext *>(pContext);
    CJoinEvents &clEvents = *clContext.joinEvents;
    QString clstrCurrent;
    bool bCompleted = false;
    {
        CFillRun clRun(clContext);
        bCompleted = clRun.Run();
        clstrCurrent = clRun.CurrentPath();
    }
    clContext.mergeDestination.reset();
    if (!bCompleted && clContext.sourceInfo != nullptr)
        ResetSourceInfo(*clContext.sourceInfo);
    clEvents.FillEnded(bCompleted                     ? StructRunResult::Finished()
                       : clContext.stopEvent->IsSet() ? StructRunResult::Stopped()
                                                      : StructRunResult::Failed());
    clEvents.JoinFillList(clstrCurrent);
    clContext.doneEvent->Set();
}
