// The scripted events shared by split and merge: reports logged in order, each
// question answered by the next scripted reply, at once or later from another thread.
#pragma once

#include "WorkerContext.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

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
    bool fromOtherThread = false;
    std::function<void()> before; // runs first, e.g. to clear the way for a retry

    static Reply Code(uint8_t lCode, bool bLater = false) {
        return {Answer, lCode, {}, bLater, {}};
    }
    static Reply Of(Kind enKind, bool bLater = false) { return {enKind, 0, {}, bLater, {}}; }
    static Reply To(const QString &clstrPath, bool bLater = false) {
        return {Destination, 0, clstrPath, bLater, {}};
    }
};

class CEventsScript {
  public:
    virtual ~CEventsScript() { JoinHelpers(); }

    void Attach(StructWorkerContext &clContext) { m_pContext = &clContext; }
    void Script(const QList<Reply> &clReplies) {
        std::lock_guard clLock(m_clMutex);
        m_clReplies = clReplies;
    }
    void OnProgress(std::function<void(int)> fnHook) { m_fnOnProgress = std::move(fnHook); }

    int WaitForEnd() {
        std::unique_lock clLock(m_clMutex);
        m_clEnded.wait_for(clLock, std::chrono::seconds(15), [this] { return m_lEndCode != 0; });
        return m_lEndCode;
    }
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
    QStringList Told() { return Filter({"progress ", "list "}, false); }
    QStringList Questions() { return Filter({"progress ", "list ", "failed ", "notice "}, false); }
    QStringList Errors() { return Filter({"failed "}, true); }
    QStringList Notices() { return Filter({"notice "}, true); }
    QStringList Lists() { return Filter({"list "}, true); }

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

    // Answers with the next scripted reply, clUnscripted once they are used
    // up; a refusal fnAnswer returns is logged and answered again. False when
    // the question is not taken.
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
                if (clReply.kind == Reply::Close)
                    pContext->answerEvent->Set();
                else if (clReply.kind == Reply::Stop)
                    RequestWorkerStop(*pContext);
                if (clReply.kind > Reply::Bypass)
                    return;
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
    // The entries with (bKeep) or without one of the prefixes; kept ones lose it.
    QStringList Filter(const QStringList &clPrefixes, bool bKeep) {
        QStringList clFound;
        for (const QString &clstrEntry : Log()) {
            const auto it =
                std::find_if(clPrefixes.begin(), clPrefixes.end(),
                             [&](const QString &p) { return clstrEntry.startsWith(p); });
            if ((it != clPrefixes.end()) == bKeep)
                clFound << (bKeep ? clstrEntry.mid(it->size()) : clstrEntry);
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
