// The real dialog with a scripted prompt layer, and recordings.
#pragma once

#include "DlgSplitter.h"
#include "PromptLayer.h"
#include "WorkerTestKit.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>

namespace UiTestKit {

// One box, input or file dialog the dialog asked for.
struct Prompt {
    QString kind; // "warning", "critical", "question", "text", "file", "files", "save"
    QString title;
    QString text; // the label for "text", the filter for file dialogs
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QString initial; // the initial text, the start path or proposal of a file dialog
};

// Answers in the order they are scripted; an unscripted question is closed
// (NoButton), an unscripted input cancelled, an unscripted file dialog empty.
class CScriptedPrompts final : public CPromptLayer {
  public:
    QList<QMessageBox::StandardButton> buttons;
    QList<std::optional<QString>> texts;
    QStringList files, saveFiles;
    std::function<void(const Prompt &)> onAsk; // runs before the answer is taken

    void ShowWarning(QWidget *, const QString &clstrTitle, const QString &clstrText) override {
        Ask("warning", clstrTitle, clstrText);
    }
    void ShowCritical(QWidget *, const QString &clstrTitle, const QString &clstrText) override {
        Ask("critical", clstrTitle, clstrText);
    }
    QMessageBox::StandardButton AskQuestion(QWidget *, const QString &clstrTitle,
                                            const QString &clstrText,
                                            QMessageBox::StandardButtons enButtons,
                                            QMessageBox::StandardButton enDefault) override {
        Ask("question", clstrTitle, clstrText, {}, enButtons, enDefault);
        return buttons.isEmpty() ? QMessageBox::NoButton : buttons.takeFirst();
    }
    std::optional<QString> AskText(QWidget *, const QString &clstrTitle, const QString &clstrLabel,
                                   const QString &clstrInitial) override {
        Ask("text", clstrTitle, clstrLabel, clstrInitial);
        return texts.isEmpty() ? std::nullopt : texts.takeFirst();
    }
    QString AskOpenFileName(QWidget *, const QString &clstrCaption, const QString &clstrStart,
                            const QString &clstrFilter) override {
        Ask("file", clstrCaption, clstrFilter, clstrStart);
        return files.isEmpty() ? QString() : files.takeFirst();
    }
    QStringList AskOpenFileNames(QWidget *, const QString &clstrCaption, const QString &clstrStart,
                                 const QString &clstrFilter) override {
        Ask("files", clstrCaption, clstrFilter, clstrStart);
        return {};
    }
    QString AskSaveFileName(QWidget *, const QString &clstrCaption, const QString &clstrProposal,
                            const QString &clstrFilter) override {
        Ask("save", clstrCaption, clstrFilter, clstrProposal);
        return saveFiles.isEmpty() ? QString() : saveFiles.takeFirst();
    }

  private:
    void Ask(const QString &clstrKind, const QString &clstrTitle, const QString &clstrText,
             const QString &clstrInitial = {}, QMessageBox::StandardButtons enButtons = {},
             QMessageBox::StandardButton enDefault = QMessageBox::NoButton) {
        if (onAsk)
            onAsk(Prompt{clstrKind, clstrTitle, clstrText, enButtons, enDefault, clstrInitial});
    }
};

// The real dialog with its slots and source description reachable, answering
// through scripted prompts, and reading no command line unless given one.
class CTestDialog : public CDlgSplitter {
  public:
    explicit CTestDialog(const QStringList &clArguments = {}) {
        auto pPrompts = std::make_unique<CScriptedPrompts>();
        prompts = pPrompts.get();
        SetPromptLayer(std::move(pPrompts));
        SetCommandLineArguments(CommandArguments(clArguments));
        threadEnds = std::make_unique<QSignalSpy>(this, &CDlgSplitter::Signal_Gui_AdjustSize);
    }

    using CDlgSplitter::MergeList;
    using CDlgSplitter::WorkerContext;

    bool Hidden(int lId) const {
        return ControlWidget(lId) == nullptr || ControlWidget(lId)->isHidden();
    }
    bool Enabled(int lId) const {
        return ControlWidget(lId) != nullptr && ControlWidget(lId)->isEnabled();
    }
    bool Checked(int lId) const {
        const auto *pButton = ControlAs<QAbstractButton>(lId);
        return pButton != nullptr && pButton->isChecked();
    }
    void Click(int lId) { QTest::mouseClick(ControlWidget(lId), Qt::LeftButton); }

    bool Open() {
        show();
        return QTest::qWaitForWindowExposed(this) && ControlWidget(SplitStartStop) != nullptr;
    }

    // Waits until the end-of-run step has run lCount times in all. Events are
    // processed without a nested event loop, which a scheduled quit of the
    // application must not cut short.
    bool WaitForThreadEnds(int lCount, int lTimeoutMs = 15000) {
        QElapsedTimer clTimer;
        clTimer.start();
        while (threadEnds->count() < lCount && clTimer.elapsed() < lTimeoutMs)
            QTest::qWait(20);
        return threadEnds->count() >= lCount;
    }

    CScriptedPrompts *prompts = nullptr;
    std::unique_ptr<QSignalSpy> threadEnds;
};

// Records every ten minutes from 10:20:00 to 13:10:00 on 2024-03-07, UTC.
inline QList<WorkerTestKit::RecordSpec> TenMinuteRecords() {
    QList<WorkerTestKit::RecordSpec> clSpecs;
    for (int64_t t = WorkerTestKit::At("10:20:00"); t <= WorkerTestKit::At("13:10:00"); t += 600)
        clSpecs << WorkerTestKit::Tetra(t);
    return clSpecs;
}

} // namespace UiTestKit
