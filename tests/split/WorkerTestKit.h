// The worker tests' kit, which other areas include too: scripted CSplitEvents
// and the dialog's side of a run.
#pragma once

#include "ScanIndex.h"
#include "SplitControl.h"
#include "SplitEvents.h"
#include "WorkerContext.h"
#include "WorkerCuts.h"
#include "WorkerEvents.h"
#include "WorkerLoop.h"
#include "WorkerRecords.h"

#include <QTest>

#include <mutex>
#include <utility>

namespace WorkerTestKit {

using ::Reply;

class CScriptedEvents final : public CSplitEvents, public CEventsScript {
  public:
    void SplitterProgress(int lCode) override { Progress(lCode); }
    void ScanEnded(const StructRunResult &clResult) override {
        Progress(clResult.Succeeded() ? 1000 : -1);
    }
    void SplitEnded(const StructRunResult &clResult) override {
        if (!clResult.reason.isEmpty())
            Append(QStringLiteral("failed ") + clResult.reason);
        Progress(clResult.Succeeded() ? 2000 : -1);
    }
    void SplitterNotice(const QString &clstrText) override { Append("notice " + clstrText); }
    void SplitPartClosed(const StructSplitPart &clPart) override {
        std::lock_guard clLock(m_clPartsMutex);
        m_clParts << QStringLiteral("%1 %2 %3 %4 %5 %6")
                         .arg(clPart.path)
                         .arg(clPart.records)
                         .arg(clPart.bytes)
                         .arg(clPart.hasTime)
                         .arg(clPart.firstMs)
                         .arg(clPart.lastMs);
    }
    // What was told of each part closed whole: path, records, bytes, times.
    QStringList PartsClosed() {
        std::lock_guard clLock(m_clPartsMutex);
        return std::exchange(m_clParts, {});
    }
    void AskForOverwrite(const QString &clstrFileName) override {
        Answer("ask:" + clstrFileName, false);
    }
    void OverwriteSourceFile(const QString &clstrFileName) override {
        Append("source:" + clstrFileName);
    }
    void RetryOpenForWriting(const QString &clstrFileName) override {
        Answer("retry:" + clstrFileName, true);
    }

  private:
    std::mutex m_clPartsMutex;
    QStringList m_clParts;

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

// The context as the dialog sets it up, for a worker body run on this thread.
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

// A context with its scripted events; Run starts a worker and waits for its end.
template <class Events> struct RigOf {
    Events events;
    StructWorkerContext context{&events};
    StructSourceInfo source;

    RigOf() { events.Attach(context); }
    ~RigOf() { Release(); }
    void Release() {
        ReleaseWorker(context);
        events.JoinHelpers();
    }
    template <class Start> int Run(const Start &fnStart) {
        events.Restart();
        if (!fnStart())
            return 0;
        const int lCode = events.WaitForEnd();
        Release();
        return lCode;
    }
};

struct WorkerRig : RigOf<CScriptedEvents> {
    StructProtoComponent *components = nullptr;
    uint32_t componentCount = 0;
    // As the dialog does: the scan fills it and the split copies by it.
    CScanIndex index;

    int Scan(const QString &clstrPath) {
        return Run([&] {
            return StartScanWorker(context, clstrPath, source, components, componentCount, &index);
        });
    }
    int Split(const StructSplitSettings &clSettings) {
        return Run([&] {
            return StartSplitWorker(context, source, clSettings, components, componentCount,
                                    &index) == SplitStart::Started;
        });
    }
};

// Every field of every minute, one line each, for comparing two indexes.
inline QStringList DescribeIndex(const CScanIndex &clIndex) {
    QStringList clLines;
    for (const auto &[lMinute, m] : clIndex.MinuteMap())
        clLines << QStringLiteral(
                       "%1: at %2 records %3 bytes %4 time %5..%6 last %7 ms %8..%9 %10%11")
                       .arg(lMinute)
                       .arg(m.firstPosition)
                       .arg(m.records)
                       .arg(m.bytes)
                       .arg(m.earliest)
                       .arg(m.latest)
                       .arg(m.lastTime)
                       .arg(m.firstMs)
                       .arg(m.latestMs)
                       .arg(m.damaged ? "damaged " : "")
                       .arg(m.exact ? "exact" : "");
    return clLines;
}

inline StructSplitSettings Settings(uint8_t lMode, uint32_t lScheme) {
    StructSplitSettings clSettings;
    clSettings.mode = lMode;
    clSettings.namingScheme = lScheme;
    return clSettings;
}
inline StructSplitSettings ByTime(int64_t lLength, bool bAlign, uint32_t lScheme = 2) {
    StructSplitSettings clSettings = Settings(SPLIT_BY_TIME, lScheme);
    clSettings.partLength = lLength;
    clSettings.alignToUnit = bAlign;
    return clSettings;
}
inline StructSplitSettings ByPeriod(int64_t lFrom, int64_t lTo, uint32_t lScheme = 2) {
    StructSplitSettings clSettings = Settings(SPLIT_BY_PERIOD, lScheme);
    clSettings.periodStart = lFrom;
    clSettings.periodEnd = lTo;
    return clSettings;
}
inline StructSplitSettings ByNumber(uint32_t lCount, uint32_t lScheme = 1) {
    StructSplitSettings clSettings = Settings(SPLIT_BY_NUMBER, lScheme);
    clSettings.partCount = lCount;
    return clSettings;
}

} // namespace WorkerTestKit
