// Shared pieces of the merge tests: a scripted CWorkerEvents that answers the
// merge questions as the merge tab would and logs every report in order, the
// dialog's side of a run (context, source description, merge list), and merge
// list entries made by hand. Recordings and the independent look at
// containers come from the split tests' kit.
#pragma once

#include "JoinEvents.h"
#include "JoinFileData.h"
#include "MergeRun.h"
#include "MergeWorkers.h"
#include "WorkerTestKit.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace MergeTestKit {

// How one merge question is answered.
struct MergeReply {
    enum Kind : uint8_t {
        GoOn,        // ignore the file / write again
        Abort,       // the abort button
        Destination, // the path through AnswerMergeDestination ("" cancels)
        Bypass,      // the path stored without any check, as a careless dialog might
        Close,       // the answer event without an answer (a closed box)
        Stop,        // Stop pressed while the question is shown
        NoAnswer,    // the question stays open
        NotTaken,    // the implementer does not take the question (returns false)
    };
    Kind kind = GoOn;
    QString path;
    bool fromOtherThread = false; // answered a little later by another thread
    std::function<void()> before; // runs first, e.g. to clear the way for a retry

    static MergeReply Of(Kind enKind, bool bLater = false) {
        MergeReply clReply;
        clReply.kind = enKind;
        clReply.fromOtherThread = bLater;
        return clReply;
    }
    static MergeReply To(const QString &clstrPath, bool bLater = false) {
        MergeReply clReply = Of(Destination, bLater);
        clReply.path = clstrPath;
        return clReply;
    }
};

inline QString DestinationName(MergeDestination enResult) {
    switch (enResult) {
    case MergeDestination::Accepted:
        return QStringLiteral("accepted");
    case MergeDestination::Cancelled:
        return QStringLiteral("cancelled");
    case MergeDestination::TooLong:
        return QStringLiteral("too long");
    case MergeDestination::IsSource:
        return QStringLiteral("is a source");
    case MergeDestination::AlreadyWritten:
        return QStringLiteral("already written");
    case MergeDestination::NoQuestion:
        return QStringLiteral("no question");
    }
    return QStringLiteral("?");
}

class CMergeEvents final : public CJoinEvents {
  public:
    ~CMergeEvents() override { JoinHelpers(); }

    void Attach(StructWorkerContext &clContext) { m_pContext = &clContext; }
    void Script(const QList<MergeReply> &clReplies) {
        std::lock_guard clLock(m_clMutex);
        m_clReplies = clReplies;
    }
    // Runs on the worker's thread with every progress code.
    void OnProgress(std::function<void(int)> fnHook) { m_fnOnProgress = std::move(fnHook); }

    // Ends are logged as the codes the dialog turns them into.
    void FillEnded(const StructRunResult &clResult) override {
        JoinProgress(clResult.Succeeded() ? 1000 : -1);
    }
    void MergeEnded(const StructRunResult &clResult) override {
        if (!clResult.reason.isEmpty())
            Append("failed " + clResult.reason);
        JoinProgress(clResult.Succeeded() ? 1000 : -1);
    }
    void JoinProgress(int lCode) override {
        {
            std::lock_guard clLock(m_clMutex);
            m_clLog << QStringLiteral("progress %1").arg(lCode);
            m_clCodes << lCode;
            if (lCode == 1000 || lCode == -1) {
                m_lEndCode = lCode;
                m_clEnded.notify_all();
            }
        }
        if (m_fnOnProgress)
            m_fnOnProgress(lCode);
    }
    void JoinFillList(const QString &clstrScrollTo) override {
        std::lock_guard clLock(m_clMutex);
        m_clLog << "list " + clstrScrollTo;
        m_clLists << clstrScrollTo;
    }
    bool JoinOpenReadFileFailed(const QString &clstrFileName) override {
        return Ask("open read " + clstrFileName);
    }
    bool JoinOpenWriteFile(const QString &clstrFileName, bool bFirst) override {
        return Ask((bFirst ? "output first " : "output again ") + clstrFileName);
    }
    bool JoinWritingFileFailed(const QString &clstrFileName) override {
        return Ask("write failed " + clstrFileName);
    }
    void JoinReadingFileFailed(const QString &clstrFileName) override {
        Append("read failed " + clstrFileName);
    }
    void JoinNotice(const QString &clstrText) override { Append("notice " + clstrText); }

    // The end code (1000 or -1), 0 when none came in time.
    int WaitForEnd(unsigned long lTimeoutMs = 15000) {
        std::unique_lock clLock(m_clMutex);
        m_clEnded.wait_for(clLock, std::chrono::milliseconds(lTimeoutMs),
                           [this] { return m_lEndCode != 0; });
        return m_lEndCode;
    }
    void Restart() {
        JoinHelpers();
        std::lock_guard clLock(m_clMutex);
        m_lEndCode = 0;
        m_clCodes.clear();
        m_clLists.clear();
        m_clLog.clear();
    }
    void JoinHelpers() {
        for (std::thread &clHelper : m_clHelpers)
            clHelper.join();
        m_clHelpers.clear();
    }

    QList<int> Codes() {
        std::lock_guard clLock(m_clMutex);
        return m_clCodes;
    }
    QStringList Lists() {
        std::lock_guard clLock(m_clMutex);
        return m_clLists;
    }
    // Everything in order.
    QStringList Log() {
        std::lock_guard clLock(m_clMutex);
        return m_clLog;
    }
    // Everything but progress codes and list refreshes: questions, answers
    // refused, failures and notices.
    QStringList Questions() {
        std::lock_guard clLock(m_clMutex);
        QStringList clQuestions;
        for (const QString &clstrEntry : m_clLog) {
            if (!clstrEntry.startsWith(QStringLiteral("progress ")) &&
                !clstrEntry.startsWith(QStringLiteral("list ")))
                clQuestions << clstrEntry;
        }
        return clQuestions;
    }

  private:
    void Append(const QString &clstrEntry) {
        std::lock_guard clLock(m_clMutex);
        m_clLog << clstrEntry;
    }

    bool Ask(const QString &clstrEntry) {
        MergeReply clReply;
        {
            std::lock_guard clLock(m_clMutex);
            m_clLog << clstrEntry;
            if (m_clReplies.isEmpty()) {
                // Not in the script: the test fails on the log, and the run
                // ends instead of hanging.
                m_clLog << QStringLiteral("(unscripted)");
                clReply = MergeReply::Of(MergeReply::Abort);
            } else {
                clReply = m_clReplies.takeFirst();
            }
        }
        if (clReply.kind == MergeReply::NotTaken)
            return false;
        if (clReply.fromOtherThread)
            m_clHelpers.emplace_back([this, clReply] { Reply(clReply); });
        else
            Reply(clReply);
        return true;
    }

    // As the merge tab's slot: a refused destination is followed by the
    // next scripted reply to the same question, as the tab asks again.
    void Reply(MergeReply clReply) {
        if (clReply.fromOtherThread)
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        StructWorkerContext &clContext = *m_pContext;
        for (;;) {
            if (clReply.before)
                clReply.before();
            switch (clReply.kind) {
            case MergeReply::GoOn:
                AnswerMergeQuestion(clContext, true);
                return;
            case MergeReply::Abort:
                AnswerMergeQuestion(clContext, false);
                return;
            case MergeReply::Destination: {
                const MergeDestination enResult = AnswerMergeDestination(clContext, clReply.path);
                if (enResult == MergeDestination::Accepted ||
                    enResult == MergeDestination::Cancelled)
                    return;
                std::lock_guard clLock(m_clMutex);
                m_clLog << "refused " + DestinationName(enResult);
                if (m_clReplies.isEmpty()) {
                    m_clLog << QStringLiteral("(unscripted)");
                    clReply = MergeReply::To(QString());
                } else {
                    clReply = m_clReplies.takeFirst();
                }
                break;
            }
            case MergeReply::Bypass:
                if (clContext.mergeDestination)
                    *clContext.mergeDestination = clReply.path;
                clContext.overwriteAnswer = MERGE_NO_ANSWER;
                clContext.answerEvent->Set();
                return;
            case MergeReply::Close:
                clContext.answerEvent->Set();
                return;
            case MergeReply::Stop:
                RequestWorkerStop(clContext);
                return;
            case MergeReply::NoAnswer:
            case MergeReply::NotTaken:
                return;
            }
        }
    }

    StructWorkerContext *m_pContext = nullptr;
    std::mutex m_clMutex;
    std::condition_variable m_clEnded;
    QList<MergeReply> m_clReplies;
    QList<int> m_clCodes;
    QStringList m_clLists;
    QStringList m_clLog;
    int m_lEndCode = 0;
    std::function<void(int)> m_fnOnProgress;
    std::vector<std::thread> m_clHelpers;
};

// The context as the dialog sets it up for a run, for a worker body run on
// the test's own thread with its own way of opening sources.
inline void PrepareDirectRun(StructWorkerContext &clContext, const QStringList &clFiles,
                             StructSourceInfo &clSource) {
    clContext.stopEvent = std::make_unique<CPlatformEvent>(true, false);
    clContext.doneEvent = std::make_unique<CPlatformEvent>(false, false);
    clContext.answerEvent = std::make_unique<CPlatformEvent>(false, false);
    clContext.fileList = std::make_unique<QStringList>(clFiles);
    clContext.mergeDestination = std::make_unique<QString>();
    clContext.mergeOutputs = std::make_unique<QStringList>();
    clContext.sourceInfo = &clSource;
}

// The dialog's side: events, context, source description and merge list.
struct MergeRig {
    CMergeEvents events;
    StructWorkerContext context{&events};
    StructSourceInfo source;
    CMergeList list;

    MergeRig() { events.Attach(context); }
    ~MergeRig() {
        ReleaseWorker(context);
        events.JoinHelpers();
    }

    // Adds the paths as the merge tab does; the end code.
    int Fill(const QStringList &clPaths) {
        events.Restart();
        if (StartFillWorker(context, clPaths, list, source) != FillStart::Started)
            return 0;
        const int lCode = events.WaitForEnd();
        ReleaseWorker(context);
        return lCode;
    }
    // Merges the list; the end code (0 when nothing started).
    int Merge() {
        events.Restart();
        if (StartMergeWorker(context, list, source) != MergeStart::Started)
            return 0;
        const int lCode = events.WaitForEnd();
        ReleaseWorker(context);
        events.JoinHelpers();
        return lCode;
    }
};

inline StructJoinFileData Entry(const QString &clstrFileName, uint64_t lMagic,
                                int64_t lStart = kJoinTimeUnknown, int64_t lEnd = kJoinTimeUnknown,
                                int64_t lSize = -1) {
    StructJoinFileData clEntry;
    clEntry.flags = kJoinFileOpened;
    clEntry.magic = lMagic;
    clEntry.fileName = clstrFileName;
    clEntry.start = lStart;
    clEntry.end = lEnd;
    clEntry.size = lSize;
    return clEntry;
}

} // namespace MergeTestKit
