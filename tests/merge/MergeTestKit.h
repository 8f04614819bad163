// Scripted CJoinEvents that answer the merge questions as the merge tab does,
// the dialog's side of a merge run, and merge list entries made by hand.
#pragma once

#include "JoinEvents.h"
#include "JoinFileData.h"
#include "MergeRun.h"
#include "MergeWorkers.h"
#include "WorkerTestKit.h"

#include <QMap>

namespace MergeTestKit {

using namespace WorkerTestKit;

class CMergeEvents final : public CJoinEvents, public CEventsScript {
  public:
    void FillEnded(const StructRunResult &clResult) override {
        Progress(clResult.Succeeded() ? 1000 : -1);
    }
    void MergeEnded(const StructRunResult &clResult) override {
        if (!clResult.reason.isEmpty())
            Append("failed " + clResult.reason);
        Progress(clResult.Succeeded() ? 1000 : -1);
    }
    void JoinProgress(int lCode) override { Progress(lCode); }
    void JoinFillList(const QString &clstrScrollTo) override { Append("list " + clstrScrollTo); }
    bool JoinOpenReadFileFailed(const QString &clstrFileName) override {
        return Answer("open read " + clstrFileName);
    }
    bool JoinOpenWriteFile(const QString &clstrFileName, bool bFirst) override {
        return Answer((bFirst ? "output first " : "output again ") + clstrFileName);
    }
    bool JoinWritingFileFailed(const QString &clstrFileName) override {
        return Answer("write failed " + clstrFileName);
    }
    void JoinReadingFileFailed(const QString &clstrFileName) override {
        Append("read failed " + clstrFileName);
    }
    void JoinNotice(const QString &clstrText) override { Append("notice " + clstrText); }

  private:
    // A refused destination is answered by the next reply, as the tab asks again.
    bool Answer(const QString &clstrQuestion) {
        StructWorkerContext *pContext = m_pContext;
        return Ask(clstrQuestion, Reply::Code(MERGE_ABORT), [pContext](const Reply &clReply) {
            if (clReply.kind == Reply::Destination) {
                static const QMap<MergeDestination, QString> kRefusals = {
                    {MergeDestination::TooLong, "too long"},
                    {MergeDestination::IsSource, "is a source"},
                    {MergeDestination::AlreadyWritten, "already written"},
                    {MergeDestination::NoQuestion, "no question"}};
                return kRefusals.value(AnswerMergeDestination(*pContext, clReply.path));
            }
            if (clReply.kind == Reply::Bypass) {
                *pContext->mergeDestination = clReply.path;
                pContext->overwriteAnswer = MERGE_NO_ANSWER;
                pContext->answerEvent->Set();
            } else {
                AnswerMergeQuestion(*pContext, clReply.code == MERGE_GO_ON);
            }
            return QString();
        });
    }
};

inline Reply GoOn(bool bLater = false) {
    return Reply::Code(MERGE_GO_ON, bLater);
}
inline Reply Abort() {
    return Reply::Code(MERGE_ABORT);
}

struct MergeRig : RigOf<CMergeEvents> {
    CMergeList list;

    ~MergeRig() { Release(); } // before the list goes
    int Fill(const QStringList &clPaths) {
        return Run(
            [&] { return StartFillWorker(context, clPaths, list, source) == FillStart::Started; });
    }
    int Merge() {
        return Run([&] { return StartMergeWorker(context, list, source) == MergeStart::Started; });
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
