// The one interface through which a worker reports. The dialog implements it
// by emitting its own signals; tests implement it with scripted answers.
//
// Every call comes from the worker's thread and must return without waiting
// for the user: a question only announces itself. The answer travels back
// through the worker context (AnswerOverwriteQuestion, AnswerRetryQuestion),
// while the worker waits for the answer event or the stop event. So a stop or
// a close never waits behind an open question.
#pragma once

#include <QString>

class CWorkerEvents {
  public:
    virtual ~CWorkerEvents() = default;

    // Progress of the scan and the split: 0 started, 1 ... 999 tenths of a
    // percent, 1000 scan finished, 2000 split finished, -1 failed or stopped.
    virtual void SplitterProgress(int lCode) = 0;

    // Why a split failed, for a message box, sent before the code -1. Not sent
    // for an abort, a stop or a refused retry: the user chose those.
    virtual void SplitterError(const QString &clstrText) = 0;

    // The split questions carry the bare file name of the output.
    // The output exists: answer 1 ... 5 (yes, no, yes to all, no to all, abort).
    virtual void AskForOverwrite(const QString &clstrFileName) = 0;
    // The output is the source itself; the split has ended, nothing is awaited.
    virtual void OverwriteSourceFile(const QString &clstrFileName) = 0;
    // The output cannot be opened for writing: answer retry or give up.
    virtual void RetryOpenForWriting(const QString &clstrFileName) = 0;

    // The merge workers add their questions (destination, cannot open, cannot
    // read, cannot write) and the merge-list refresh here, in the same
    // announce-then-wait manner.
};
