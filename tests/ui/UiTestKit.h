// Shared pieces of the dialog tests: the real dialog with its protected slots
// opened up and a scripted prompt layer, a recorder of the states the dialog
// passes through with each progress code, and helpers for recordings.
#pragma once

#include "DlgSplitter.h"
#include "PromptLayer.h"
#include "WorkerTestKit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
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
    QString text; // the label for "text", the filter for "file"
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QString initial; // the initial text, the start path or proposal of a file dialog
};

// Answers in the order they are scripted; an unscripted question is closed
// (NoButton), an unscripted input cancelled, an unscripted file dialog empty.
class CScriptedPrompts final : public CPromptLayer {
  public:
    QList<Prompt> asked;
    QList<QMessageBox::StandardButton> buttons;
    QList<std::optional<QString>> texts;
    QStringList files;
    QList<QStringList> fileLists;
    QStringList saveFiles;
    // Runs when a question is asked, before it is answered.
    std::function<void(const Prompt &)> onQuestion;

    void ShowWarning(QWidget *, const QString &clstrTitle, const QString &clstrText) override {
        asked << Prompt{QStringLiteral("warning"), clstrTitle, clstrText, QMessageBox::Ok,
                        QMessageBox::NoButton,     QString()};
    }
    void ShowCritical(QWidget *, const QString &clstrTitle, const QString &clstrText) override {
        asked << Prompt{QStringLiteral("critical"), clstrTitle, clstrText, QMessageBox::Ok,
                        QMessageBox::NoButton,      QString()};
    }
    QMessageBox::StandardButton AskQuestion(QWidget *, const QString &clstrTitle,
                                            const QString &clstrText,
                                            QMessageBox::StandardButtons enButtons,
                                            QMessageBox::StandardButton enDefault) override {
        asked << Prompt{
            QStringLiteral("question"), clstrTitle, clstrText, enButtons, enDefault, QString()};
        if (onQuestion)
            onQuestion(asked.back());
        return buttons.isEmpty() ? QMessageBox::NoButton : buttons.takeFirst();
    }
    std::optional<QString> AskText(QWidget *, const QString &clstrTitle, const QString &clstrLabel,
                                   const QString &clstrInitial) override {
        asked << Prompt{QStringLiteral("text"), clstrTitle,  clstrLabel, {},
                        QMessageBox::NoButton,  clstrInitial};
        return texts.isEmpty() ? std::nullopt : texts.takeFirst();
    }
    QString AskOpenFileName(QWidget *, const QString &clstrCaption, const QString &clstrStart,
                            const QString &clstrFilter) override {
        asked << Prompt{QStringLiteral("file"), clstrCaption, clstrFilter, {},
                        QMessageBox::NoButton,  clstrStart};
        return files.isEmpty() ? QString() : files.takeFirst();
    }
    QStringList AskOpenFileNames(QWidget *, const QString &clstrCaption, const QString &clstrStart,
                                 const QString &clstrFilter) override {
        asked << Prompt{QStringLiteral("files"), clstrCaption, clstrFilter, {},
                        QMessageBox::NoButton,   clstrStart};
        return fileLists.isEmpty() ? QStringList() : fileLists.takeFirst();
    }
    QString AskSaveFileName(QWidget *, const QString &clstrCaption, const QString &clstrProposal,
                            const QString &clstrFilter) override {
        asked << Prompt{QStringLiteral("save"), clstrCaption, clstrFilter, {},
                        QMessageBox::NoButton,  clstrProposal};
        return saveFiles.isEmpty() ? QString() : saveFiles.takeFirst();
    }

    QStringList Kinds() const {
        QStringList clKinds;
        for (const Prompt &clPrompt : asked)
            clKinds << clPrompt.kind + u':' + clPrompt.title;
        return clKinds;
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

    using CDlgSplitter::Button_Joiner_StartStop;
    using CDlgSplitter::Button_Splitter_NumberChanged;
    using CDlgSplitter::Button_Splitter_StartStop;
    using CDlgSplitter::dropEvent;
    using CDlgSplitter::MergeList;
    using CDlgSplitter::MergeModel;
    using CDlgSplitter::MergeSelection;
    using CDlgSplitter::ProtoComponents;
    using CDlgSplitter::Radio_Splitter_SplitType;
    using CDlgSplitter::Slot_Gui_AdjustSize;
    using CDlgSplitter::Slot_Splitter_ProgressBar;
    using CDlgSplitter::SourceInfo;
    using CDlgSplitter::WorkerContext;

    template <class T> T *Get(int lId) const {
        T *pWidget = ControlAs<T>(lId);
        if (pWidget == nullptr)
            qWarning("control %d missing or of another class", lId);
        return pWidget;
    }
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

    // Shows the dialog and waits until its first show has built the widgets.
    bool Open() {
        show();
        return QTest::qWaitForWindowExposed(this) && ControlWidget(SplitStartStop) != nullptr;
    }

    // Loads a source through the "..." button and the file dialog.
    void Choose(const QString &clstrPath) {
        prompts->files << clstrPath;
        Click(ChooseFileButton);
    }

    // Waits until the end-of-run step has run lCount times in all.
    bool WaitForThreadEnds(int lCount, int lTimeoutMs = 15000) {
        QElapsedTimer clTimer;
        clTimer.start();
        // Events are processed without a nested event loop, which a scheduled
        // quit of the application must not cut short.
        while (threadEnds->count() < lCount && clTimer.elapsed() < lTimeoutMs)
            QTest::qWait(20);
        return threadEnds->count() >= lCount;
    }

    CScriptedPrompts *prompts = nullptr;
    std::unique_ptr<QSignalSpy> threadEnds;
};

// Records each progress code with the split tab's state right after the
// dialog has taken it: its own connection is made after the dialog's, so
// its delivery comes second.
class CStateRecorder {
  public:
    explicit CStateRecorder(CTestDialog &clDialog) : m_clDialog(clDialog) {
        QObject::connect(
            &clDialog, &CDlgSplitter::Signal_Splitter_ProgressBar, &clDialog,
            [this](int lCode) {
                if (lCode > 0 && lCode < 1000)
                    return;
                states << QStringLiteral("%1 %2").arg(lCode).arg(State(m_clDialog));
            },
            Qt::QueuedConnection);
    }

    // "progress:shown|hidden start:<caption>:on|off radios:on|off"
    static QString State(const CTestDialog &clDialog) {
        return QStringLiteral("progress:%1 start:%2:%3 radios:%4")
            .arg(clDialog.Hidden(CDlgSplitter::SplitProgress) ? QStringLiteral("hidden")
                                                              : QStringLiteral("shown"))
            .arg(clDialog.ControlText(CDlgSplitter::SplitStartStop))
            .arg(clDialog.Enabled(CDlgSplitter::SplitStartStop) ? QStringLiteral("on")
                                                                : QStringLiteral("off"))
            .arg(clDialog.Enabled(CDlgSplitter::ByTimeRadio) ? QStringLiteral("on")
                                                             : QStringLiteral("off"));
    }

    QStringList states;

  private:
    CTestDialog &m_clDialog;
};

// Records every ten minutes from 10:20:00 to 13:10:00 on 2024-03-07, UTC.
inline QList<WorkerTestKit::RecordSpec> TenMinuteRecords() {
    QList<WorkerTestKit::RecordSpec> clSpecs;
    for (int64_t t = WorkerTestKit::At("10:20:00"); t <= WorkerTestKit::At("13:10:00"); t += 600)
        clSpecs << WorkerTestKit::Tetra(t);
    return clSpecs;
}

inline QDateTime Utc(const char *pText) {
    return QDateTime::fromSecsSinceEpoch(WorkerTestKit::At(pText), QTimeZone::utc());
}

} // namespace UiTestKit
