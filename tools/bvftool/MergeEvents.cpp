#include "MergeEvents.h"

#include "ToolCommon.h"

#include <chrono>

namespace {

// The workers' texts put the file in "<...>" on a line of its own.
QString OneLine(const QString &clstrText) {
    QString clstrLine = clstrText;
    clstrLine.replace(u'\n', u' ');
    return clstrLine;
}

} // namespace

void CCommandLineMergeEvents::SetActivity(const QString &clstrActivity) {
    std::lock_guard clLock(m_clMutex);
    m_clstrActivity = clstrActivity;
}

std::optional<CCommandLineMergeEvents::StructQuestion>
CCommandLineMergeEvents::TakeQuestion(uint32_t lTimeoutMs) {
    std::unique_lock clLock(m_clMutex);
    m_clQuestionPut.wait_for(clLock, std::chrono::milliseconds(lTimeoutMs),
                             [this] { return m_clPending.has_value(); });
    std::optional<StructQuestion> clQuestion = std::move(m_clPending);
    m_clPending.reset();
    return clQuestion;
}

bool CCommandLineMergeEvents::Put(const StructQuestion &clQuestion) {
    {
        std::lock_guard clLock(m_clMutex);
        m_clPending = clQuestion;
    }
    m_clQuestionPut.notify_one();
    return true;
}

void CCommandLineMergeEvents::JoinProgress(int lPerMille) {
    QString clstrActivity;
    {
        std::lock_guard clLock(m_clMutex);
        clstrActivity = m_clstrActivity;
    }
    ShowProgress(clstrActivity, lPerMille);
}

void CCommandLineMergeEvents::FillEnded(const StructRunResult &clResult) {
    m_bFinished = clResult.Succeeded();
    EndProgress();
}

void CCommandLineMergeEvents::MergeEnded(const StructRunResult &clResult) {
    m_bFinished = clResult.Succeeded();
    EndProgress();
    if (!clResult.reason.isEmpty())
        PrintError(OneLine(clResult.reason));
}

bool CCommandLineMergeEvents::JoinOpenReadFileFailed(const QString &clstrFileName) {
    return Put({QuestionKind::OpenRead, clstrFileName, false});
}

bool CCommandLineMergeEvents::JoinOpenWriteFile(const QString &clstrFileName, bool bFirst) {
    return Put({QuestionKind::OpenWrite, clstrFileName, bFirst});
}

bool CCommandLineMergeEvents::JoinWritingFileFailed(const QString &clstrFileName) {
    return Put({QuestionKind::Write, clstrFileName, false});
}

void CCommandLineMergeEvents::JoinReadingFileFailed(const QString &clstrFileName) {
    PrintFileError(clstrFileName, QStringLiteral("reading failed; the merge stops"));
}

void CCommandLineMergeEvents::JoinNotice(const QString &clstrText) {
    PrintError(OneLine(clstrText));
}
