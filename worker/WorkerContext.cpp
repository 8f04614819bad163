#include "WorkerContext.h"

#include "DebugPrintf.h"

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
    clContext.splitSettings.reset();
    clContext.mergeList = nullptr;
    clContext.scanIndex = nullptr;
    clContext.mergeOutputs.reset();
    clContext.questionOpen = false;
}

} // namespace

void PrepareWorker(StructWorkerContext &clContext, const QStringList &clFiles) {
    clContext.stopEvent = std::make_unique<CPlatformEvent>(true, false);
    clContext.doneEvent = std::make_unique<CPlatformEvent>(false, false);
    clContext.fileList = std::make_unique<QStringList>(clFiles);
}

bool StartWorkerThread(StructWorkerContext &clContext, void (*pFunction)(void *)) {
    clContext.thread = std::make_unique<CPlatformThread>();
    if (clContext.thread->Start(pFunction, &clContext))
        return true;
    ReleaseWorker(clContext);
    return false;
}

void ResetSourceInfo(StructSourceInfo &clInfo) {
    clInfo = StructSourceInfo();
}

StructWorkerContext::~StructWorkerContext() {
    ReleaseWorker(*this);
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
