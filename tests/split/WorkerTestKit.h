// The worker tests' kit, which other areas include too: the recordings and
// files of WorkerRecords.h, the cut rules stated plainly as the model splits
// are compared with, a reader standing in for a source, and scripted
// CSplitEvents with the dialog's side of a run.
#pragma once

#include "ReadOnlyFileFormat.h"
#include "SplitControl.h"
#include "SplitEvents.h"
#include "WorkerContext.h"
#include "WorkerEvents.h"
#include "WorkerLoop.h"
#include "WorkerRecords.h"

#include <QTest>

#include <limits>

namespace WorkerTestKit {

using ::Reply;

// ---- The cut rules, stated plainly --------------------------------------------

// A record as the cut rules see it: its time after any shift (none for kinds
// without one, or a glitch) and the reader's consumed position after it.
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

// ---- A reader standing in for a source ------------------------------------------

struct ReadCounts {
    uint64_t delivered = 0; // records handed out
    uint64_t afterStop = 0; // of those, handed out after the stop request
    bool stopped = false;
};

// Hands out the records of the real reader and counts them into clCounts,
// which outlive it; once lStopAt records have been handed out in all it calls
// fnAtStop; after lFailAfter records of its own it answers enFailure for good.
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

// ---- Scripted events and the dialog's side ------------------------------------

class CScriptedEvents final : public CSplitEvents, public CEventsScript {
  public:
    void SplitterProgress(int lCode) override { Progress(lCode); }
    // Ends are recorded as the codes the dialog turns them into.
    void ScanEnded(const StructRunResult &clResult) override {
        Progress(clResult.Succeeded() ? 1000 : -1);
    }
    void SplitEnded(const StructRunResult &clResult) override {
        if (!clResult.reason.isEmpty())
            Append(QStringLiteral("failed ") + clResult.reason);
        Progress(clResult.Succeeded() ? 2000 : -1);
    }
    void SplitterNotice(const QString &clstrText) override {
        Append(QStringLiteral("notice ") + clstrText);
    }
    void AskForOverwrite(const QString &clstrFileName) override {
        Answer(QStringLiteral("ask:") + clstrFileName, false);
    }
    void OverwriteSourceFile(const QString &clstrFileName) override {
        Append(QStringLiteral("source:") + clstrFileName);
    }
    void RetryOpenForWriting(const QString &clstrFileName) override {
        Answer(QStringLiteral("retry:") + clstrFileName, true);
    }

  private:
    void Answer(const QString &clstrQuestion, bool bRetry) {
        StructWorkerContext *pContext = m_pContext;
        Ask(clstrQuestion, Reply::Code(bRetry ? 0 : OVERWRITE_ABORT),
            [pContext, bRetry](const Reply &clReply) {
                if (bRetry)
                    AnswerRetryQuestion(*pContext, clReply.code != 0);
                else
                    AnswerOverwriteQuestion(*pContext, clReply.code);
                return QString();
            });
    }
};

// The context as the dialog sets it up for a run, for a worker body run on
// the test's own thread with its own way of opening sources.
inline void PrepareDirectRun(StructWorkerContext &clContext, const QStringList &clFiles,
                             StructSourceInfo &clSource) {
    clContext.stopEvent = std::make_unique<CPlatformEvent>(true, false);
    clContext.doneEvent = std::make_unique<CPlatformEvent>(false, false);
    clContext.answerEvent = std::make_unique<CPlatformEvent>(false, false);
    clContext.fileList = std::make_unique<QStringList>(clFiles);
    clContext.mergeDestination = std::make_unique<QString>();
    clContext.mergeOutputs = std::make_unique<QStringList>();
    clContext.sourceInfo = &clSource;
}

// The dialog's side of a run: events, context and source description.
struct WorkerRig {
    CScriptedEvents events;
    StructWorkerContext context{&events};
    StructSourceInfo source;
    // The loaded protocol components the workers are given.
    StructProtoComponent *components = nullptr;
    uint32_t componentCount = 0;

    WorkerRig() { events.Attach(context); }
    ~WorkerRig() {
        ReleaseWorker(context);
        events.JoinHelpers();
    }

    // Scans the path as loading a source does; the end code.
    int Scan(const QString &clstrPath) {
        events.Restart();
        if (!StartScanWorker(context, clstrPath, source, components, componentCount))
            return 0;
        const int lCode = events.WaitForEnd();
        ReleaseWorker(context);
        return lCode;
    }
    // Splits the scanned source; the end code.
    int Split(const StructSplitSettings &clSettings) {
        events.Restart();
        if (StartSplitWorker(context, source, clSettings, components, componentCount) !=
            SplitStart::Started)
            return 0;
        const int lCode = events.WaitForEnd();
        ReleaseWorker(context);
        events.JoinHelpers();
        return lCode;
    }
};

// ---- Settings ----------------------------------------------------------

inline StructSplitSettings ByTime(int64_t lLength, bool bAlign, uint32_t lScheme = 2) {
    StructSplitSettings clSettings;
    clSettings.mode = SPLIT_BY_TIME;
    clSettings.partLength = lLength;
    clSettings.alignToUnit = bAlign;
    clSettings.namingScheme = lScheme;
    return clSettings;
}

inline StructSplitSettings ByPeriod(int64_t lFrom, int64_t lTo, uint32_t lScheme = 2) {
    StructSplitSettings clSettings;
    clSettings.mode = SPLIT_BY_PERIOD;
    clSettings.periodStart = lFrom;
    clSettings.periodEnd = lTo;
    clSettings.namingScheme = lScheme;
    return clSettings;
}

inline StructSplitSettings ByNumber(uint32_t lCount, uint32_t lScheme = 1) {
    StructSplitSettings clSettings;
    clSettings.mode = SPLIT_BY_NUMBER;
    clSettings.partCount = lCount;
    clSettings.namingScheme = lScheme;
    return clSettings;
}

} // namespace WorkerTestKit
