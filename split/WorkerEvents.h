// The one interface through which a worker reports. The dialog implements it
// by emitting its own signals; tests implement it with scripted answers.
//
// Every call comes from the worker's thread and must return without waiting
// for the user: a question only announces itself. The answer travels back
// through the worker context (AnswerOverwriteQuestion, AnswerRetryQuestion,
// and for the merge AnswerMergeQuestion, AnswerMergeDestination), while the
// worker waits for the answer event or the stop event. So a stop or a close
// never waits behind an open question.
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
    // Something the user should know about a split that succeeded: damage
    // stepped over in the source, records whose time was a glitch, items
    // the split files cannot store. Sent before the code 2000.
    virtual void SplitterNotice(const QString & /*clstrText*/) {}

    // The split questions carry the bare file name of the output.
    // The output exists: answer 1 ... 5 (yes, no, yes to all, no to all, abort).
    virtual void AskForOverwrite(const QString &clstrFileName) = 0;
    // The output is the source itself; the split has ended, nothing is awaited.
    virtual void OverwriteSourceFile(const QString &clstrFileName) = 0;
    // The output cannot be opened for writing: answer retry or give up.
    virtual void RetryOpenForWriting(const QString &clstrFileName) = 0;

    // ---- The merge tab's workers ----------------------------------------
    //
    // Defaults let an implementer that serves no merge tab stay as it is: the
    // reports are dropped, and a question returns false, which tells the
    // worker that nobody will answer, so it takes the safe answer (abort) at
    // once instead of waiting. An implementer that serves the merge tab
    // overrides every one of them and returns true from a question that it
    // has passed on to the user.

    // Progress of the merge-list fill and the merge: 0 started, 1 ... 999
    // per mille, 1000 finished, -1 failed or stopped.
    virtual void JoinProgress(int /*lCode*/) {}
    // The merge list has changed: rebuild the view and show this file (empty:
    // rebuild only). Sent at most about every 250 ms during a fill and once
    // at its end.
    virtual void JoinFillList(const QString & /*clstrScrollTo*/) {}

    // A source of the merge cannot be opened. Answer with AnswerMergeQuestion:
    // go on (the file is left out) or abort.
    virtual bool JoinOpenReadFileFailed(const QString & /*clstrFileName*/) { return false; }
    // A new output is needed; clstrFileName is the source that starts it.
    // bFirst is false when the output chosen before could not be opened.
    // Answer with AnswerMergeDestination (an empty path cancels the merge).
    virtual bool JoinOpenWriteFile(const QString & /*clstrFileName*/, bool /*bFirst*/) {
        return false;
    }
    // A record cannot be written to the output clstrFileName. Answer with
    // AnswerMergeQuestion: go on (write it again) or abort.
    virtual bool JoinWritingFileFailed(const QString & /*clstrFileName*/) { return false; }

    // Reading the source clstrFileName failed; the merge has ended as failed
    // and nothing is awaited. Sent before the code -1.
    virtual void JoinReadingFileFailed(const QString & /*clstrFileName*/) {}
    // Why a merge failed, when no question or report above has told the user
    // already (an output that could not be completed). Sent before -1.
    virtual void JoinFailed(const QString & /*clstrText*/) {}
    // Something the user should know about a merge that went on: damaged
    // records of a source that could not be read and were left out. Sent
    // before the end code; nothing is awaited.
    virtual void JoinNotice(const QString & /*clstrText*/) {}
};
