#include "SplitControl.h"

#include "PathNormalise.h"
#include "WorkerThreads.h"

#include <memory>

namespace {

// What the scan and the split have in common before their thread starts.
void PrepareSplitWorker(StructWorkerContext &clContext, const QString &clstrPath,
                        StructSourceInfo &clInfo, StructProtoComponent *pComponents,
                        uint32_t lComponentCount) {
    PrepareWorker(clContext, QStringList{clstrPath});
    clContext.sourceInfo = &clInfo;
    clContext.components = pComponents;
    clContext.componentCount = lComponentCount;
}

} // namespace

bool StartScanWorker(StructWorkerContext &clContext, const QString &clstrPath,
                     StructSourceInfo &clInfo, StructProtoComponent *pComponents,
                     uint32_t lComponentCount, CScanIndex *pIndex) {
    // Released before the description is reset: a worker still running may be
    // writing or reading it.
    ReleaseWorker(clContext);
    ResetSourceInfo(clInfo);
    if (clContext.splitEvents == nullptr)
        return false;
    PrepareSplitWorker(clContext, clstrPath, clInfo, pComponents, lComponentCount);
    clContext.scanIndex = pIndex;
    return StartWorkerThread(clContext, &ScanWorkerThread);
}

SplitStart StartSplitWorker(StructWorkerContext &clContext, StructSourceInfo &clInfo,
                            const StructSplitSettings &clSettings,
                            StructProtoComponent *pComponents, uint32_t lComponentCount,
                            CScanIndex *pIndex) {
    if (clInfo.name.isEmpty())
        return SplitStart::NoSource;
    // Refused here, before anything starts; the worker would fail on it later.
    if (!PathFitsFileClasses(clInfo.name))
        return SplitStart::SourcePathTooLong;
    ReleaseWorker(clContext);
    if (clContext.splitEvents == nullptr)
        return SplitStart::NotStarted;
    PrepareSplitWorker(clContext, clInfo.name, clInfo, pComponents, lComponentCount);
    clContext.answerEvent = std::make_unique<CPlatformEvent>(false, false);
    clContext.overwriteAnswer = OVERWRITE_NOT_EXISTING;
    clContext.retryAnswer = 0;
    clContext.splitSettings = std::make_shared<const StructSplitSettings>(clSettings);
    clContext.scanIndex = pIndex;
    return StartWorkerThread(clContext, &SplitWorkerThread) ? SplitStart::Started
                                                            : SplitStart::NotStarted;
}
