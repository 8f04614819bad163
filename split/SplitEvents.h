// The interface through which the scan and the split worker report. The
// dialog implements it by emitting its own signals; tests implement it with
// scripted answers.
//
// Every call comes from the worker's thread and must return without waiting
// for the user: a question only announces itself. The answer travels back
// through the worker context (AnswerOverwriteQuestion, AnswerRetryQuestion),
// while the worker waits for the answer event or the stop event. So a stop or
// a close never waits behind an open question.
#pragma once

#include "RunResult.h"

#include <QString>

#include <cstdint>

// One part as the split closed it.
struct StructSplitPart {
    QString path;
    uint64_t records = 0;
    uint64_t bytes = 0; // header included: the size of the file
    // The first record time in writing order and the latest, ms since 1970 UTC.
    bool hasTime = false;
    int64_t firstMs = 0;
    int64_t lastMs = 0;
};

class CSplitEvents {
  public:
    virtual ~CSplitEvents() = default;

    // 0 when a scan or split starts, then 1 ... 999 tenths of a percent.
    virtual void SplitterProgress(int lPerMille) = 0;
    // The end of a scan and of a split; the last report of the run.
    virtual void ScanEnded(const StructRunResult &clResult) = 0;
    virtual void SplitEnded(const StructRunResult &clResult) = 0;
    // Something the user should know about a split that succeeded: damage
    // stepped over in the source, records whose time was a glitch, items
    // the split files cannot store. Sent before SplitEnded.
    virtual void SplitterNotice(const QString & /*clstrText*/) {}
    // A part was closed whole (also in a count-only run).
    virtual void SplitPartClosed(const StructSplitPart & /*clPart*/) {}

    // The split questions carry the bare file name of the output.
    // The output exists: answer 1 ... 5 (yes, no, yes to all, no to all, abort).
    virtual void AskForOverwrite(const QString &clstrFileName) = 0;
    // The output is the source itself; the split has ended, nothing is awaited.
    virtual void OverwriteSourceFile(const QString &clstrFileName) = 0;
    // The output cannot be opened for writing: answer retry or give up.
    virtual void RetryOpenForWriting(const QString &clstrFileName) = 0;
};
