// What the split's and the merge's scripted test events share: every report
// logged in order, the end of a run awaited, and each question answered by
// the next scripted reply, at once or a little later from another thread, as
// a dialog would.
#pragma once

#include "WorkerContext.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// How one question is answered.
struct Reply {
    enum Kind : uint8_t {
        Answer,      // the code through the context
        Destination, // the merge's output path, checked as the merge tab does ("" cancels)
        Bypass,      // the path stored without any check, as a careless dialog might
        Close,       // the answer event without an answer (a closed box)
        Stop,        // Stop pressed while the question is shown
        NoAnswer,    // the question stays open
        NotTaken,    // the events do not take the question (the merge's may refuse)
    };
    Kind kind = Answer;
    uint8_t code = 0; // overwrite answer, 1 retry / 0 give up, or a merge answer
    QString path;
    bool fromOtherThread = false; // answered 30 ms later by another thread
    std::function<void()> before; // runs first, e.g. to clear the way for a retry

    static Reply Code(uint8_t lCode, bool bLater = false) {
        Reply clReply;
        clReply.code = lCode;
        clReply.fromOtherThread = bLater;
        return clReply;
    }
    static Reply Of(Kind enKind, bool bLater = false) {
        Reply clReply = Code(0, bLater);
        clReply.kind = enKind;
        return clReply;
    }
    static Reply To(const QString &clstrPath, bool bLater = false) {
        Reply clReply = Of(Destination, bLater);
        clReply.path = clstrPath;
        return clReply;
    }
};

class CEventsScript {
  public:
    virtual ~CEventsScript() { JoinHelpers(); }

    void Attach(StructWorkerContext &clContext) { m_pContext = &clContext; }
    // The replies to the questions in the order they are asked.
    void Script(const QList<Reply> &clReplies) {
        std::lock_guard clLock(m_clMutex);
        m_clReplies = clReplies;
    }
    // Runs on the worker's thread with every progress code.
    void OnProgress(std::function<void(int)> fnHook) { m_fnOnProgress = std::move(fnHook); }

    // The end code of the run (1000, 2000 or -1), 0 when none came in time.
    int WaitForEnd(unsigned long lTimeoutMs = 15000) {
        std::unique_lock clLock(m_clMutex);
        m_clEnded.wait_for(clLock, std::chrono::milliseconds(lTimeoutMs),
                           [this] { return m_lEndCode != 0; });
        return m_lEndCode;
    }
    // Forgets the last run, for another run with the same events.
    void Restart() {
        JoinHelpers();
        std::lock_guard clLock(m_clMutex);
        m_lEndCode = 0;
        m_clCodes.clear();
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
    // Everything in order: "progress N", "list PATH", questions, "refused ...",
    // "failed REASON", "notice TEXT".
    QStringList Log() {
        std::lock_guard clLock(m_clMutex);
        return m_clLog;
    }
    // The log without progress codes and list refreshes.
    QStringList Told() { return Without({"progress ", "list "}); }
    // Only the questions and what was shown in their place.
    QStringList Questions() { return Without({"progress ", "list ", "failed ", "notice "}); }
    QStringList Errors() { return Only("failed "); }
    QStringList Notices() { return Only("notice "); }
    QStringList Lists() { return Only("list "); }

  protected:
    void Progress(int lCode) {
        {
            std::lock_guard clLock(m_clMutex);
            m_clLog << QStringLiteral("progress %1").arg(lCode);
            m_clCodes << lCode;
            if (lCode == 1000 || lCode == 2000 || lCode == -1) {
                m_lEndCode = lCode;
                m_clEnded.notify_all();
            }
        }
        if (m_fnOnProgress)
            m_fnOnProgress(lCode);
    }
    void Append(const QString &clstrEntry) {
        std::lock_guard clLock(m_clMutex);
        m_clLog << clstrEntry;
    }

    // Logs the question and answers it with the next scripted reply (clUnscripted
    // when the script is used up: the log shows it, and the run ends instead of
    // hanging). fnAnswer gives an Answer, Destination or Bypass reply; a refusal
    // it returns is logged as "refused ..." and the next reply answers again.
    // False when the reply says the question is not taken.
    bool Ask(const QString &clstrQuestion, const Reply &clUnscripted,
             const std::function<QString(const Reply &)> &fnAnswer) {
        Reply clReply = Next(clstrQuestion, clUnscripted);
        if (clReply.kind == Reply::NotTaken)
            return false;
        StructWorkerContext *pContext = m_pContext;
        auto fnReply = [this, pContext, clReply, clUnscripted, fnAnswer]() mutable {
            if (clReply.fromOtherThread)
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            for (;;) {
                if (clReply.before)
                    clReply.before();
                switch (clReply.kind) {
                case Reply::Close:
                    pContext->answerEvent->Set();
                    return;
                case Reply::Stop:
                    RequestWorkerStop(*pContext);
                    return;
                case Reply::NoAnswer:
                case Reply::NotTaken:
                    return;
                default:
                    break;
                }
                const QString clstrRefused = fnAnswer(clReply);
                if (clstrRefused.isEmpty())
                    return;
                clReply = Next(QStringLiteral("refused ") + clstrRefused, clUnscripted);
            }
        };
        if (clReply.fromOtherThread)
            m_clHelpers.emplace_back(fnReply);
        else
            fnReply();
        return true;
    }

    StructWorkerContext *m_pContext = nullptr;

  private:
    Reply Next(const QString &clstrEntry, const Reply &clUnscripted) {
        std::lock_guard clLock(m_clMutex);
        m_clLog << clstrEntry;
        if (!m_clReplies.isEmpty())
            return m_clReplies.takeFirst();
        m_clLog << QStringLiteral("(unscripted)");
        return clUnscripted;
    }
    QStringList Only(const QString &clstrPrefix) {
        QStringList clFound;
        for (const QString &clstrEntry : Log()) {
            if (clstrEntry.startsWith(clstrPrefix))
                clFound << clstrEntry.mid(clstrPrefix.size());
        }
        return clFound;
    }
    QStringList Without(const QStringList &clPrefixes) {
        QStringList clFound;
        for (const QString &clstrEntry : Log()) {
            bool bDrop = false;
            for (const QString &clstrPrefix : clPrefixes)
                bDrop = bDrop || clstrEntry.startsWith(clstrPrefix);
            if (!bDrop)
                clFound << clstrEntry;
        }
        return clFound;
    }

    std::mutex m_clMutex;
    std::condition_variable m_clEnded;
    QList<Reply> m_clReplies;
    QList<int> m_clCodes;
    QStringList m_clLog;
    int m_lEndCode = 0;
    std::function<void(int)> m_fnOnProgress;
    std::vector<std::thread> m_clHelpers;
};
