// The interface through which the merge tab's workers report: the fill worker
// that examines added files, and the merge worker. The dialog implements it by
// emitting its own signals; tests and bvftool implement it too.
//
// Every call comes from the worker's thread and must return without waiting
// for the user. A question returns true when it has been passed on to someone
// who will answer through the worker context (AnswerMergeQuestion,
// AnswerMergeDestination); false tells the worker that nobody will, and it
// takes the safe answer (abort) at once instead of waiting.
#pragma once

#include "RunResult.h"

#include <QString>

class CJoinEvents {
  public:
    virtual ~CJoinEvents() = default;

    // 0 when a fill or merge starts, then 1 ... 999 per mille.
    virtual void JoinProgress(int lPerMille) = 0;
    // The end of a fill (its last list refresh follows) and of a merge (the
    // last report). A failed merge's reason is set when no question or
    // report below has told the user already (an output that could not be
    // completed).
    virtual void FillEnded(const StructRunResult &clResult) = 0;
    virtual void MergeEnded(const StructRunResult &clResult) = 0;
    // The merge list has changed: rebuild the view and show this file (empty:
    // rebuild only). Sent at most about every 250 ms during a fill and once
    // at its end.
    virtual void JoinFillList(const QString &clstrScrollTo) = 0;

    // A source of the merge cannot be opened. Answer with AnswerMergeQuestion:
    // go on (the file is left out) or abort.
    virtual bool JoinOpenReadFileFailed(const QString &clstrFileName) = 0;
    // A new output is needed; clstrFileName is the source that starts it.
    // bFirst is false when the output chosen before could not be opened.
    // Answer with AnswerMergeDestination (an empty path cancels the merge).
    virtual bool JoinOpenWriteFile(const QString &clstrFileName, bool bFirst) = 0;
    // A record cannot be written to the output clstrFileName. Answer with
    // AnswerMergeQuestion: go on (write it again) or abort.
    virtual bool JoinWritingFileFailed(const QString &clstrFileName) = 0;

    // Reading the source clstrFileName failed; the merge ends as failed and
    // nothing is awaited. Sent before MergeEnded.
    virtual void JoinReadingFileFailed(const QString &clstrFileName) = 0;
    // Something the user should know about a merge that went on: damaged
    // records of a source that could not be read and were left out. Sent
    // before MergeEnded; nothing is awaited.
    virtual void JoinNotice(const QString &clstrText) = 0;
};
