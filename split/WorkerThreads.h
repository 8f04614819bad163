// The worker thread functions; each takes the StructWorkerContext. The split
// body can also be run with another way of opening the source, so that a
// reader which counts or fails on cue can stand in for the file.
#pragma once

#include "RunResult.h"
#include "WorkerLoop.h"

#include <functional>

struct StructWorkerContext;

void ScanWorkerThread(void *pContext);
void SplitWorkerThread(void *pContext);

// Opens the source and fills its header; empty when it cannot be read.
using SplitSourceOpener = std::function<SourceReader(const QString &, FileHeaderInfo &)>;

// The whole split on the calling thread, end report and done event included.
StructRunResult RunSplitWorker(StructWorkerContext &clContext, const SplitSourceOpener &fnOpen);
