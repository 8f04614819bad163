// The merge tab's side of the merge workers, for the command line: reports go
// to standard error, and each question is handed to the thread that started
// the worker, which answers it from the options the user gave.
#pragma once

#include "JoinEvents.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

class CCommandLineMergeEvents final : public CJoinEvents {
  public:
    enum class QuestionKind : uint8_t {
        OpenRead,  // a source cannot be opened
        OpenWrite, // an output is needed (first) or could not be opened (not first)
        Write,     // a record cannot be written
    };
    struct StructQuestion {
        QuestionKind kind;
        QString fileName;
        bool first = false;
    };

    // The label in front of the progress bar.
    void SetActivity(const QString &clstrActivity);
    // The question put since the last call, waiting at most lTimeoutMs.
    std::optional<StructQuestion> TakeQuestion(uint32_t lTimeoutMs);
    // Whether the last fill or merge finished.
    bool Finished() const { return m_bFinished; }

    void JoinProgress(int lPerMille) override;
    void FillEnded(const StructRunResult &clResult) override;
    void MergeEnded(const StructRunResult &clResult) override;
    void JoinFillList(const QString &) override {}
    bool JoinOpenReadFileFailed(const QString &clstrFileName) override;
    bool JoinOpenWriteFile(const QString &clstrFileName, bool bFirst) override;
    bool JoinWritingFileFailed(const QString &clstrFileName) override;
    void JoinReadingFileFailed(const QString &clstrFileName) override;
    void JoinNotice(const QString &clstrText) override;

  private:
    bool Put(const StructQuestion &clQuestion);

    std::mutex m_clMutex;
    std::condition_variable m_clQuestionPut;
    std::optional<StructQuestion> m_clPending;
    QString m_clstrActivity;
    std::atomic<bool> m_bFinished{false};
};
