// Starting the scan and the split worker from the thread that owns the worker
// context (the dialog's). The answers to the split's questions go through the
// worker context (AnswerOverwriteQuestion, AnswerRetryQuestion).
#pragma once

#include "SplitSettings.h"
#include "WorkerContext.h"

#include <QString>

#include <cstdint>

// Releases any previous worker, resets clInfo and starts the scan of the
// path. False when nothing could be started (no events interface, no thread).
// pIndex, when given, is filled by the scan and must not be read before it
// has ended.
bool StartScanWorker(StructWorkerContext &clContext, const QString &clstrPath,
                     StructSourceInfo &clInfo, StructProtoComponent *pComponents,
                     uint32_t lComponentCount, CScanIndex *pIndex = nullptr);

enum class SplitStart : uint8_t {
    Started,
    NoSource,          // nothing loaded
    SourcePathTooLong, // 260 characters or more: refused, the file classes would refuse it too
    NotStarted,        // no events interface, or the thread could not be created
};

// Releases any previous worker and starts the split of clInfo.name with the
// collected settings. The caller has made sure no worker is running (Start acts
// as Stop while one is held). pIndex: the scan's index of the source, if any;
// while the file is as it was at that scan, the split copies the minutes it
// found exact instead of reading them again. It must stay unchanged until the
// split has ended.
SplitStart StartSplitWorker(StructWorkerContext &clContext, StructSourceInfo &clInfo,
                            const StructSplitSettings &clSettings,
                            StructProtoComponent *pComponents, uint32_t lComponentCount,
                            CScanIndex *pIndex = nullptr);
