// The context shared by the dialog and the one running worker, the description
// of the loaded source, and the starting and releasing of a worker thread. The
// requests of the split and the merge ride in it by pointer, so this layer
// knows them only by name.
//
// All functions here are called from the thread that owns the context (the
// dialog's thread), never from a worker's report.
#pragma once

#include "BinaryFile.h"
#include "Event.h"
#include "Thread.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class CSplitEvents;
class CJoinEvents;
struct StructSplitSettings;
// Owned by the protocol component loader and the dialog (the merge list); the
// context only carries pointers to them for the workers that use them.
struct StructProtoComponent;
class CMergeList;
class CScanIndex;

struct StructSourceInfo {
    QString name; // empty: nothing loaded
    // first and last include the protocol offset (kept by the dialog).
    bool synchronised = false;
    QDateTime first = QDateTime::fromSecsSinceEpoch(0, QTimeZone::utc());
    QDateTime last = QDateTime::fromSecsSinceEpoch(0, QTimeZone::utc());
    int64_t offset = 0;     // protocol offset in seconds; 0 when none was found
    uint64_t size = 0;      // bytes
    int64_t frequency = 0;  // Hz of the first time-stamped record; -1 when it has none
    uint64_t fileMagic = 0; // from the header
    uint64_t kindMask = 0;  // bit k: a record of kind k was read
};

// Nothing loaded: name empty, times at 1970-01-01 00:00:00 UTC, numbers 0.
void ResetSourceInfo(StructSourceInfo &clInfo);

// The answers to the overwrite question, and the worker's own code for an
// output that does not exist yet.
enum OverwriteAnswer : uint8_t {
    OVERWRITE_NOT_EXISTING = 0,
    OVERWRITE_YES = 1,
    OVERWRITE_NO = 2,
    OVERWRITE_YES_TO_ALL = 3,
    OVERWRITE_NO_TO_ALL = 4,
    OVERWRITE_ABORT = 5, // also a closed question, a stop, or the source as output
};

struct StructWorkerContext {
    StructWorkerContext() = default;
    explicit StructWorkerContext(CSplitEvents *pEvents) : splitEvents(pEvents) {}
    explicit StructWorkerContext(CJoinEvents *pEvents) : joinEvents(pEvents) {}
    // Releases a worker that is still held, so none outlives the context.
    ~StructWorkerContext();
    StructWorkerContext(const StructWorkerContext &) = delete;
    StructWorkerContext &operator=(const StructWorkerContext &) = delete;

    std::unique_ptr<CPlatformThread> thread;     // held from start until release
    std::unique_ptr<CPlatformEvent> stopEvent;   // manual reset
    std::unique_ptr<CPlatformEvent> doneEvent;   // auto reset, the worker's last act
    std::unique_ptr<QStringList> fileList;       // the scan and the split: the source
    StructSourceInfo *sourceInfo = nullptr;      // written by the scan, read by the split
    std::atomic<uint8_t> overwriteAnswer{0};     // OverwriteAnswer; the merge: MergeAnswer
    std::atomic<uint8_t> retryAnswer{0};         // 1 retry, 0 give up
    std::unique_ptr<CPlatformEvent> answerEvent; // auto reset; split and merge workers
    StructProtoComponent *components = nullptr;
    uint32_t componentCount = 0;
    std::shared_ptr<const StructSplitSettings> splitSettings; // split worker only
    std::unique_ptr<QString> mergeDestination; // merge workers; released by every worker
    CMergeList *mergeList = nullptr;           // the fill worker inserts into it
    CScanIndex *scanIndex = nullptr; // the scan fills it, the split copies by it, when given
    // The merge, per file of its list: the file as the fill found it sound
    // (see StructJoinFileData::soundAs) and the kinds of its records.
    std::vector<std::optional<std::pair<StructFileIdentity, uint64_t>>> mergeSound;
    // The outputs the running merge has opened, so that no later output of
    // the same merge replaces one of them. Merge worker only.
    std::unique_ptr<QStringList> mergeOutputs;
    // Where the reports go, by the kind of worker; kept by release.
    CSplitEvents *splitEvents = nullptr;
    CJoinEvents *joinEvents = nullptr;
    // True while the worker waits for an answer. A question that reaches the
    // dialog when this is clear, or after a stop, belongs to a run that has
    // moved on and must not be shown.
    std::atomic<bool> questionOpen{false};
};

// What every worker has before its thread starts: new stop and done events and
// the file list. Then the thread runs pFunction with the context; false, and
// everything released, when it cannot be started.
void PrepareWorker(StructWorkerContext &clContext, const QStringList &clFiles);
bool StartWorkerThread(StructWorkerContext &clContext, void (*pFunction)(void *));

// Asks a held worker to stop, waits up to 2000 ms for its done event and then,
// if it is still running, for its end: a stop answers any open question with
// abort, so it does end. Only then is the context cleared (the events
// interface stays).
void ReleaseWorker(StructWorkerContext &clContext);

// True while a worker thread is held, running or finished but not released.
inline bool WorkerHeld(const StructWorkerContext &clContext) {
    return clContext.thread != nullptr;
}
// Sets the stop event of a held worker; false when none is held.
bool RequestWorkerStop(StructWorkerContext &clContext);

// The answering side: whether a question is awaited and not overtaken by a
// stop, and storing an answer with the answer event. An answer that no
// worker awaits is dropped (false).
bool QuestionIsOpen(const StructWorkerContext &clContext);
bool AnswerOverwriteQuestion(StructWorkerContext &clContext, uint8_t lAnswer);
bool AnswerRetryQuestion(StructWorkerContext &clContext, bool bRetry);
