#include "WorkerContext.h"

#include "DebugPrintf.h"
#include "SplitName.h"
#include "WorkerThreads.h"

namespace {

constexpr uint32_t kDoneWaitMs = 2000;

void ClearContext(StructWorkerContext &clContext) {
    clContext.thread.reset();
    clContext.stopEvent.reset();
    clContext.doneEvent.reset();
    clContext.answerEvent.reset();
    clContext.fileList.reset();
    clContext.mergeDestination.reset();
    clContext.sourceInfo = nullptr;
    clContext.overwriteAnswer = OVERWRITE_NOT_EXISTING;
    clContext.retryAnswer = 0;
    clContext.components = nullptr;
    clContext.componentCount = 0;
    clContext.splitSettings = StructSplitSettings();
    clContext.mergeList = nullptr;
    clContext.mergeOutputs.reset();
    clContext.questionOpen = false;
}

// What the scan and the split have in common before their thread starts.
void PrepareWorker(StructWorkerContext &clContext, const QString &clstrPath,
                   StructSourceInfo &clInfo, StructProtoComponent *pComponents,
                   uint32_t lComponentCount) {
    clContext.stopEvent = std::make_unique<CPlatformEvent>(true, false);
    clContext.doneEvent = std::make_unique<CPlatformEvent>(false, false);
    clContext.fileList = std::make_unique<QStringList>(QStringList{clstrPath});
    clContext.sourceInfo = &clInfo;
    clContext.components = pComponents;
    clContext.componentCount = lComponentCount;
}

bool StartThread(StructWorkerContext &clContext, void (*pFunction)(void *)) {
    clContext.thread = std::make_unique<CPlatformThread>();
    if (clContext.thread->Start(pFunction, &clContext))
        return true;
    ReleaseWorker(clContext);
    return false;
}

} // namespace

void ResetSourceInfo(StructSourceInfo &clInfo) {
    clInfo = StructSourceInfo();
}

StructWorkerContext::~StructWorkerContext() {
    ReleaseWorker(*this);
}

bool StartScanWorker(StructWorkerContext &clContext, const QString &clstrPath,
                     StructSourceInfo &clInfo, StructProtoComponent *pComponents,
                     uint32_t lComponentCount) {
    // Released before the description is reset: a worker still running may be
    // writing or reading it.
    ReleaseWorker(clContext);
    ResetSourceInfo(clInfo);
    if (clContext.events == nullptr)
        return false;
    PrepareWorker(clContext, clstrPath, clInfo, pComponents, lComponentCount);
    return StartThread(clContext, &ScanWorkerThread);
}

SplitStart StartSplitWorker(StructWorkerContext &clContext, StructSourceInfo &clInfo,
                            const StructSplitSettings &clSettings,
                            StructProtoComponent *pComponents, uint32_t lComponentCount) {
    if (clInfo.name.isEmpty())
        return SplitStart::NoSource;
    // Refused here, before anything starts; the worker would fail on it later.
    if (!PathFitsFileClasses(clInfo.name))
        return SplitStart::SourcePathTooLong;
    ReleaseWorker(clContext);
    if (clContext.events == nullptr)
        return SplitStart::NotStarted;
    PrepareWorker(clContext, clInfo.name, clInfo, pComponents, lComponentCount);
    clContext.answerEvent = std::make_unique<CPlatformEvent>(false, false);
    clContext.overwriteAnswer = OVERWRITE_NOT_EXISTING;
    clContext.retryAnswer = 0;
    clContext.splitSettings = clSettings;
    return StartThread(clContext, &SplitWorkerThread) ? SplitStart::Started
                                                      : SplitStart::NotStarted;
}

void ReleaseWorker(StructWorkerContext &clContext) {
    if (clContext.thread) {
        if (clContext.stopEvent)
            clContext.stopEvent->Set();
        // A thread that has ended needs no wait for its done event.
        if (!clContext.thread->Join(0) && clContext.doneEvent &&
            !clContext.doneEvent->Wait(kDoneWaitMs))
            DebugPrintf("worker did not end within %u ms; waiting for it\n", unsigned(kDoneWaitMs));
        // Nothing the worker uses may go while it runs. The stop ends any wait
        // for an answer, so this wait ends too.
        clContext.thread->Join(kWaitInfinite);
    }
    ClearContext(clContext);
}

bool RequestWorkerStop(StructWorkerContext &clContext) {
    if (!clContext.thread || !clContext.stopEvent)
        return false;
    clContext.stopEvent->Set();
    return true;
}

bool QuestionIsOpen(const StructWorkerContext &clContext) {
    return clContext.questionOpen && clContext.answerEvent && clContext.stopEvent &&
           !clContext.stopEvent->IsSet();
}

bool AnswerOverwriteQuestion(StructWorkerContext &clContext, uint8_t lAnswer) {
    if (!QuestionIsOpen(clContext))
        return false;
    clContext.overwriteAnswer = lAnswer;
    clContext.answerEvent->Set();
    return true;
}

bool AnswerRetryQuestion(StructWorkerContext &clContext, bool bRetry) {
    if (!QuestionIsOpen(clContext))
        return false;
    clContext.retryAnswer = bRetry ? 1 : 0;
    clContext.answerEvent->Set();
    return true;
}
