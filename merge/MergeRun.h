// The merge tab's worker bodies. The thread functions take the
// StructWorkerContext; the merge body can also be run with another way of
// opening sources, so that readers which fail on cue can stand in for files.
#pragma once

#include "RunResult.h"
#include "WorkerContext.h"
#include "WorkerLoop.h"

#include <QString>

#include <functional>

void FillWorkerThread(void *pContext);
void MergeWorkerThread(void *pContext);

// Opens a source and fills its header; empty when it cannot be read.
using MergeSourceOpener = std::function<SourceReader(const QString &, FileHeaderInfo &)>;

// The whole merge on the calling thread, end reports and done event included.
StructRunResult RunMergeWorker(StructWorkerContext &clContext, const MergeSourceOpener &fnOpen);
