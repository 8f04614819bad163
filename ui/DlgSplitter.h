// The one dialog of the program, with the tabs "Split File" and "Merge Files".
// Nothing is built in the constructor; the widgets, the command line and the
// protocol components come on the first show. Workers reach the dialog only
// through CSplitEvents and CJoinEvents, which it implements by emitting its
// own signals; the slots run on the dialog's thread.
#pragma once

#include "CommandLine.h"
#include "JoinEvents.h"
#include "JoinFileData.h"
#include "MergeWorkers.h"
#include "ModelJoinFiles.h"
#include "PromptLayer.h"
#include "ProtoComponent.h"
#include "ScanIndex.h"
#include "SplitControl.h"
#include "SplitEvents.h"
#include "WorkerContext.h"

#include <QButtonGroup>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QDialog>
#include <QItemSelectionModel>
#include <QTime>

#include <array>
#include <memory>

class CMergeTimeline;
class CTimelineStrip;
class QHBoxLayout;
class QTabWidget;
class QVBoxLayout;
class QWidget;

class CDlgSplitter : public QDialog, public CSplitEvents, public CJoinEvents {
    Q_OBJECT
    Q_CLASSINFO("Author", "vintermark GmbH")
    Q_CLASSINFO("Status", "Development")

  public:
    // Every control of both tabs, the index into the control table.
    enum Control : int {
        SourceLabel = 0,
        SourcePath = 1,
        ChooseFileButton = 2,
        SchemeLabel = 3,
        SchemeCombo = 4,
        UtcCheck = 5,
        FixedNameLabel = 6,
        FixedNamePath = 7,
        SyncProtoCheck = 8,
        ByTimeRadio = 9,
        LengthEdit = 10,
        LengthUnitLabel = 11,
        AlignCheck = 12,
        ByPeriodRadio = 13,
        FromLabel = 14,
        FromEdit = 15,
        ToLabel = 16,
        ToEdit = 17,
        ByNumberRadio = 18,
        NumberSpin = 19,
        SizeLabel = 20,
        FreqCheck = 21,
        FreqEdit = 22,
        SplitProgress = 23,
        SplitStartStop = 24,
        MergeLabel = 25,
        MergeView = 26,
        DeleteAllButton = 27,
        DeleteSelectedButton = 28,
        AddFilesButton = 29,
        MergeStartStop = 30,
        MergeProgress = 31,
        ControlCount = 32,
    };

    explicit CDlgSplitter(QWidget *pParent = nullptr);
    ~CDlgSplitter() override;
    CDlgSplitter(const CDlgSplitter &) = delete;
    CDlgSplitter &operator=(const CDlgSplitter &) = delete;

    // Where boxes, input boxes and file dialogs go; the toolkit's own boxes
    // unless replaced (before they are needed).
    void SetPromptLayer(std::unique_ptr<CPromptLayer> pPrompts);
    // The program's arguments without its path, each marked when it did not
    // fit its buffer; read on the first show. Without this call the
    // application's argument list is read.
    void SetCommandLineArguments(const QList<StructCommandArgument> &clArguments);
    // The folder below which protocol components are searched on the first
    // show; the application's folder unless set before.
    void SetProtoComponentFolder(const QString &clstrFolder);
    // The program found no display and runs offscreen: nobody can close the
    // dialog, so only a run that quits by itself ("-start=2") may begin.
    void SetWithoutDisplay(bool bWithoutDisplay) { m_bWithoutDisplay = bWithoutDisplay; }

    // The most parts of a split by number: the number field's maximum.
    static constexpr int kMaxPartCount = 99;

    // The process exit status for scripts: 1 after an automated run ("-start=2")
    // that failed or could not start, or a command line that was refused; 0
    // otherwise.
    int ExitStatus() const { return m_lExitStatus; }
    // True once the quit after an automated run has been scheduled.
    bool QuitScheduled() const { return m_bQuitScheduled; }

    // The control of an identifier; nullptr when it has not been built.
    QWidget *ControlWidget(int lId) const;
    template <class T> T *ControlAs(int lId) const { return qobject_cast<T *>(ControlWidget(lId)); }
    // Generic access by the control's class (nothing happens for a control
    // that does not exist).
    void SetControlValue(int lId, qint64 lValue);
    void SetControlText(int lId, const QString &clstrText);
    QString ControlText(int lId) const;

    // CSplitEvents and CJoinEvents, called on the worker's thread.
    void SplitterProgress(int lPerMille) override;
    void ScanEnded(const StructRunResult &clResult) override;
    void SplitEnded(const StructRunResult &clResult) override;
    void SplitterNotice(const QString &clstrText) override;
    void AskForOverwrite(const QString &clstrFileName) override;
    void OverwriteSourceFile(const QString &clstrFileName) override;
    void RetryOpenForWriting(const QString &clstrFileName) override;
    void JoinProgress(int lPerMille) override;
    void FillEnded(const StructRunResult &clResult) override;
    void MergeEnded(const StructRunResult &clResult) override;
    void JoinFillList(const QString &clstrScrollTo) override;
    bool JoinOpenReadFileFailed(const QString &clstrFileName) override;
    bool JoinOpenWriteFile(const QString &clstrFileName, bool bFirst) override;
    bool JoinWritingFileFailed(const QString &clstrFileName) override;
    void JoinReadingFileFailed(const QString &clstrFileName) override;
    void JoinNotice(const QString &clstrText) override;

  signals:
    void Signal_Splitter_LoadFile();
    void Signal_Splitter_ProgressBar(const int lCode);
    void Signal_Gui_AdjustSize();
    void Signal_AskForOverwrite(const QString &clstrFileName);
    void Signal_OverwriteSourceFile(const QString &clstrFileName);
    void Signal_RetryOpenForWriting(const QString &clstrFileName);
    void Signal_Button_Splitter_StartStop();
    // Why the split failed; shown when its end code arrives.
    void Signal_Splitter_Error(const QString &clstrText);
    // What the user should know about a split that succeeded; shown at its end.
    void Signal_Splitter_Notice(const QString &clstrText);
    void Signal_Join_OpenReadFileFailed(const QString &clstrFileName);
    void Signal_Join_OpenWriteFile(const QString &clstrFileName, const bool bFirst);
    void Signal_Join_WriteingFileFailed(const QString &clstrFileName);
    void Signal_Join_ReadingFileFailed(const QString &clstrFileName);
    void Signal_Join_ProgressBar(const int lCode);
    void Signal_Join_Fill_List(const QString &clstrSrollToItem);
    // Why a merge failed, and what the user should know about one that went on.
    void Signal_Join_Failed(const QString &clstrText);
    void Signal_Join_Notice(const QString &clstrText);

  protected:
    void showEvent(QShowEvent *pEvent) override;
    void closeEvent(QCloseEvent *pEvent) override;
    void dragEnterEvent(QDragEnterEvent *pEvent) override;
    void dropEvent(QDropEvent *pEvent) override;

    // For the test harness and the protocol time synchronisation: the
    // description of the loaded source, the worker context and the merge list
    // with its model.
    StructSourceInfo &SourceInfo() { return m_clSourceInfo; }
    StructWorkerContext &WorkerContext() { return m_clContext; }
    CMergeList &MergeList() { return m_clMergeList; }
    CModelJoinFiles &MergeModel() { return *m_pMergeModel; }
    QItemSelectionModel &MergeSelection() { return *m_pMergeSelection; }
    const CProtoComponentTable &ProtoComponents() const { return m_clComponents; }

  protected slots:
    void Button_Splitter_ChooseFile();
    void Combo_Splitter_FileNameShema(int lNewState);
    void CheckBox_Splitter_SyncProtoTime(Qt::CheckState enNewState);
    void CheckBox_Splitter_Utc(Qt::CheckState enNewState);
    void Radio_Splitter_SplitType(int lId);
    void Button_Splitter_StartTimeChanged(const QDateTime &clStart);
    void Button_Splitter_EndTimeChanged(const QDateTime &clEnd);
    void Button_Splitter_TimeChanged(const QTime &clNewTime);
    void Button_Splitter_NumberChanged(int lNumber);
    void Button_Splitter_Freq(Qt::CheckState enNewState);
    void Button_Splitter_StartStop();
    void Slot_Splitter_LoadFile();
    void Slot_Splitter_ProgressBar(const int lPercent);
    void Slot_ThreadEnds();
    void Slot_Gui_AdjustSize();
    void Slot_AskForOverwrite(const QString &clstrFileName);
    void Slot_OverwriteSourceFile(const QString &clstrFileName);
    void Slot_RetryOpenForWriting(const QString &clstrFileName);
    void Slot_Splitter_Error(const QString &clstrText);
    void Slot_Splitter_Notice(const QString &clstrText);
    void Button_Joiner_ChooseFiles();
    void Button_Joiner_Delete();
    void Button_Joiner_CleanAll();
    void Button_Joiner_StartStop();
    void Slot_Join_Fill_List(const QString &clstrSrollToItem);
    void Slot_Join_ProgressBar(const int lPercent);
    void Slot_Join_OpenReadFileFailed(const QString &clstrFileName);
    void Slot_Join_OpenWriteFile(const QString &clstrFileName, const bool bFirst);
    void Slot_Join_WriteingFileFailed(const QString &clstrFileName);
    void Slot_Join_ReadingFileFailed(const QString &clstrFileName);
    void Slot_Join_Failed(const QString &clstrText);
    void Slot_Join_Notice(const QString &clstrText);

  private:
    // DlgSplitterWidgets.cpp: building the tabs and the control table.
    void CreateWidgets();
    QWidget *CreateSplitPage();
    QWidget *CreateMergePage();
    QHBoxLayout *CreateRow(QVBoxLayout *pPage);
    void Register(Control enId, QWidget *pWidget, QHBoxLayout *pRow, const QString &clstrTip);
    void CreateLabel(Control enId, QHBoxLayout *pRow, const QString &clstrText, int lMinWidth);
    void CreateLineEdit(Control enId, QHBoxLayout *pRow, const QString &clstrText,
                        const QString &clstrTip, bool bReadOnly);
    void CreateCheckBox(Control enId, QHBoxLayout *pRow, const QString &clstrCaption,
                        const QString &clstrTip);
    void CreateRadio(Control enId, QHBoxLayout *pRow, const QString &clstrCaption,
                     const QString &clstrTip, int lGroupId);
    void CreatePushButton(Control enId, QHBoxLayout *pRow, const QString &clstrCaption,
                          const QString &clstrTip);
    void CreateProgressBar(Control enId, QHBoxLayout *pRow, const QString &clstrTip);
    void CreateSchemeCombo(QHBoxLayout *pRow);
    void CreateLengthEdit(QHBoxLayout *pRow);
    void CreatePeriodEdit(Control enId, QHBoxLayout *pRow);
    void CreateNumberSpin(QHBoxLayout *pRow);
    void ConnectSplitControls();
    void ConnectMergeControls();
    void ConnectPeriodEdits(bool bConnect);
    void ConnectTimeline();
    void SetVisible(int lId, bool bVisible);
    void SetEnabled(int lId, bool bEnabled);
    bool IsChecked(int lId) const;

    // DlgSplitter.cpp: loading, the command line, workers.
    void ReadCommandLine();
    void LoadSource(const QString &clstrPath);
    void LoadProtocolComponents();
    void UnloadProtocolComponents(uint32_t lPauseMs = 0);
    void AddDroppedFilesToMergeList(const QStringList &clPaths);
    // Releases the worker and drops the reports it posted that are not yet
    // delivered, so that nothing of an earlier run reaches a later one.
    void ForgetWorker();
    void ScheduleThreadEnds();
    void ScheduleQuit();
    // lMs where a window is shown, 0 where none is.
    int IdleDelay(int lMs) const;
    void AutomatedRunFailed();
    // Why the command line cannot be carried out as asked; empty when it can.
    QString CommandLineRefusal(const StructCommandLineOutcome &clOutcome, bool bQuitAsked) const;

    // DlgSplitterSplitTab.cpp.
    void TakeSourceIntoTab();
    void ApplyCommandLineRequest();
    void ApplyPeriodRequest();
    // An automated run's period that lies wholly outside the loaded source.
    QString PeriodRefusal() const;
    StructSplitTabValues ReadSplitTab() const;
    // Redraws the strip for the source and the settings shown; bLoad takes a
    // freshly scanned source into it, otherwise an empty strip stays empty.
    void UpdateTimeline(bool bLoad);
    QDateTime CarriedDateTime(const QDateTime &clOld, const QDateTime &clNew,
                              const QDateTimeEdit &clEdit) const;
    void PeriodTimeChanged(Control enEdit, QDateTime &clStored, const QDateTime &clNew);

    // DlgSplitterMergeTab.cpp: hands added or dropped files to the fill worker.
    void StartMergeFill(const QStringList &clPaths);
    // The timeline shows the group of the first selected row, or the first.
    void UpdateMergeTimeline();
    void SelectMergeFile(const QString &clstrFileName);

    // DlgSplitterPrompts.cpp: true when the source was renamed.
    bool OfferSourceRename(const QString &clstrFileName);

    std::unique_ptr<CPromptLayer> m_pPrompts;
    std::array<QWidget *, ControlCount> m_pControls{};
    QTabWidget *m_pTabs = nullptr;
    QButtonGroup m_clSplitType;

    QDateTime m_clStoredStart;
    QDateTime m_clStoredEnd;
    QTime m_clStoredLength;
    const int m_lSchemeCount = 10;

    StructSourceInfo m_clSourceInfo;
    // Filled by the scan; declared before the worker context, which releases
    // the worker, so that it outlives any scan writing into it.
    CScanIndex m_clScanIndex;
    CTimelineStrip *m_pTimeline = nullptr;
    // Declared before the context, so that no worker outlives the libraries.
    CProtoComponentTable m_clComponents;
    QString m_clstrProtoFolder;
    StructWorkerContext m_clContext;
    // The merge list; the model is rebuilt from copies of it. The selection
    // model is declared last so that it goes before its model.
    CMergeList m_clMergeList;
    std::unique_ptr<CModelJoinFiles> m_pMergeModel;
    std::unique_ptr<QItemSelectionModel> m_pMergeSelection;
    CMergeTimeline *m_pMergeTimeline = nullptr;

    bool m_bArgumentsGiven = false;
    bool m_bWithoutDisplay = false;
    QList<StructCommandArgument> m_clArguments;
    StructCommandLine m_clRequest;
    QString m_clstrPendingLoad;
    bool m_bQuitAfterRun = false;
    bool m_bQuitScheduled = false;
    int m_lExitStatus = 0;

    // A run's failure text, shown with its end code.
    QString m_clstrRunError;
    QString m_clstrRunNotice;
    // The source was renamed after the clash with its own part: start again
    // once the old worker has been released.
    bool m_bRestartAfterRename = false;
    // While the rename is offered, the end of the old run waits for it.
    bool m_bRenaming = false;
    bool m_bThreadEndsDeferred = false;
    // Counts worker starts, so that the end-of-run step of an earlier run
    // does not release a later one.
    uint64_t m_lRunSerial = 0;
};
