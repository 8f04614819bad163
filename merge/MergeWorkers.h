// Starting the merge tab's two workers and answering the merge worker's
// questions. Like the split's, these are called on the thread that owns the
// worker context (the dialog's), never from a worker's report.
//
// The fill worker examines added files and inserts them into the merge list;
// it reports through CJoinEvents (JoinProgress, FillEnded, JoinFillList) and
// asks nothing. The merge worker copies each group of the list into one
// container; it reports JoinProgress, JoinReadingFileFailed, JoinNotice and
// MergeEnded, and asks through JoinOpenReadFileFailed, JoinOpenWriteFile and
// JoinWritingFileFailed, each answered with one of the Answer... functions
// below; while it waits, a stop (RequestWorkerStop, ReleaseWorker) ends the
// wait and the merge.
#pragma once

#include "JoinFileData.h"
#include "WorkerContext.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// What the merge worker finds in overwriteAnswer after a question.
enum MergeAnswer : uint8_t {
    MERGE_NO_ANSWER = 0, // also: the destination was given
    MERGE_GO_ON = 2,     // ignore the unreadable source, or write the record again
    MERGE_ABORT = 5,     // also a question closed without an answer, or a stop
};

enum class FillStart : uint8_t {
    Started,
    // A worker was held (running, or ended and awaiting the dialog's end
    // handling): it has been stopped and released, and nothing was added.
    ReleasedHeldWorker,
    NotStarted, // no events interface, or the thread could not be created
};

// Adds the paths to the merge list on a worker thread, one after the other;
// an empty list is allowed (it ends at once with 0, 1000 and an empty
// refresh). While a worker is held this only releases it: the end handling
// still pending for that worker would otherwise release the new one. When the
// fill is stopped, clInfo (the split tab's source description) is reset.
FillStart StartFillWorker(StructWorkerContext &clContext, const QStringList &clPaths,
                          CMergeList &clList, StructSourceInfo &clInfo);

enum class MergeStart : uint8_t {
    Started,
    EmptyList,       // nothing to merge; nothing happens
    SingleFileGroup, // a group holds one file only; see pSingleGroupMagic
    NotStarted,      // no events interface, or the thread could not be created
};

// Merges the groups of the list, in list order, one output per group. The
// file names are copied at the start; the list may change during the merge.
// When a group holds a single file nothing starts, and its magic is stored in
// *pSingleGroupMagic for the warning. Any previous worker is released first:
// the caller uses Start as Stop while a worker is held.
MergeStart StartMergeWorker(StructWorkerContext &clContext, const CMergeList &clList,
                            StructSourceInfo &clInfo, uint64_t *pSingleGroupMagic = nullptr);

// The first run of a single entry, the group that blocks a merge.
std::optional<uint64_t> FirstSingleFileGroup(const QList<StructJoinFileData> &clEntries);

// Answers JoinOpenReadFileFailed (true: leave the file out) or
// JoinWritingFileFailed (true: write the record again); false aborts the
// merge. False when no question is open (it was stopped or answered).
bool AnswerMergeQuestion(StructWorkerContext &clContext, bool bGoOn);

enum class MergeDestination : uint8_t {
    Accepted,       // the output is opened there
    Cancelled,      // an empty path: the merge ends as failed
    TooLong,        // more than 259 characters; never shortened
    IsSource,       // a source of this merge, by its text or as the same file
    AlreadyWritten, // an output of this merge, which it would replace
    NoQuestion,     // no output request is open
};

// Answers JoinOpenWriteFile with the chosen path (normalised here). Accepted
// and Cancelled answer the question. Any other result leaves it open: show
// MergeDestinationProblemText and ask the user again, then call this again
// (or with an empty path to cancel).
MergeDestination AnswerMergeDestination(StructWorkerContext &clContext, const QString &clstrChosen);

// Whether an output may be written at clstrDestination while clSources are
// merged and clWritten were written by the same merge. A destination is
// refused when its normalised text equals a source or an output, or when it is
// the same file (device and inode: "./", "..", symbolic and hard links).
MergeDestination CheckMergeDestination(const QString &clstrDestination,
                                       const QStringList &clSources, const QStringList &clWritten);

// The output proposed for the group that starts with clstrSource: the path
// without its last extension and without any "_Joined", then "_Joined.bvf".
QString JoinedOutputProposal(const QString &clstrSource);

// The warning for a refused destination (translated); empty for Accepted,
// Cancelled and NoQuestion.
QString MergeDestinationProblemText(MergeDestination enResult);
