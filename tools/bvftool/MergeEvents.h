// The merge tab's side of the merge workers, for the command line: reports go
// to standard error, and each question is handed to the thread that started
// the worker, which answers it from the options the user gave.
#pragma once

#include "WorkerEvents.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

class CCommandLineMergeEvents final : public CWorkerEvents {
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
    // The last progress code: 1000 success, -1 failure.
    int LastProgress() const { return m_lLastProgress; }

    // The split workers do not run here.
    void SplitterProgress(int) override {}
    void SplitterError(const QString &) override {}
    void AskForOverwrite(const QString &) override {}
    void OverwriteSourceFile(const QString &) override {}
    void RetryOpenForWriting(const QString &) override {}

    void JoinProgress(int lCode) override;
    void JoinFillList(const QString &) override {}
    bool JoinOpenReadFileFailed(const QString &clstrFileName) override;
    bool JoinOpenWriteFile(const QString &clstrFileName, bool bFirst) override;
    bool JoinWritingFileFailed(const QString &clstrFileName) override;
    void JoinReadingFileFailed(const QString &clstrFileName) override;
    void JoinFailed(const QString &clstrText) override;
    void JoinNotice(const QString &clstrText) override;

  private:
    bool Put(const StructQuestion &clQuestion);

    std::mutex m_clMutex;
    std::condition_variable m_clQuestionPut;
    std::optional<StructQuestion> m_clPending;
    QString m_clstrActivity;
    std::atomic<int> m_lLastProgress{0};
};
