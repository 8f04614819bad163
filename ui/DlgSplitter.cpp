// Construction, first show, closing, drag and drop, loading a source and the
// bridge from the workers' reports to the dialog's slots.
#include "DlgSplitter.h"

#include "ProgressCodes.h"
#include "TimelineStrip.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int kAdjustSizeDelayMs = 10;
constexpr int kLoadDelayMs = 100;
constexpr int kThreadEndsDelayMs = 100;
constexpr int kQuitDelayMs = 100;
constexpr int kMergeTab = 1;

// Drops are taken by the name alone; the scan tells whether the file is one.
bool IsRecordingPath(const QString &clstrPath) {
    return clstrPath.contains(QStringLiteral(".bvf"), Qt::CaseInsensitive) ||
           clstrPath.contains(QStringLiteral(".tmw"), Qt::CaseInsensitive) ||
           clstrPath.contains(QStringLiteral(".lan"), Qt::CaseInsensitive);
}

} // namespace

CDlgSplitter::CDlgSplitter(QWidget *pParent)
    : QDialog(pParent), m_pPrompts(std::make_unique<CWidgetPrompts>()),
      m_pMergeModel(std::make_unique<CModelJoinFiles>()),
      m_pMergeSelection(std::make_unique<QItemSelectionModel>(m_pMergeModel.get())) {
    m_clContext.splitEvents = this;
    m_clContext.joinEvents = this;
    m_pMergeModel->ClearList();
    setAcceptDrops(true);
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);

    connect(this, &CDlgSplitter::Signal_Splitter_LoadFile, this,
            &CDlgSplitter::Slot_Splitter_LoadFile);
    connect(this, &CDlgSplitter::Signal_Splitter_ProgressBar, this,
            &CDlgSplitter::Slot_Splitter_ProgressBar);
    connect(this, &CDlgSplitter::Signal_Gui_AdjustSize, this, &CDlgSplitter::Slot_Gui_AdjustSize);
    // The questions are only announced: the worker waits for the answer event
    // or its stop event itself, so a stop or a close never waits behind an
    // open box.
    connect(this, &CDlgSplitter::Signal_AskForOverwrite, this, &CDlgSplitter::Slot_AskForOverwrite,
            Qt::QueuedConnection);
    connect(this, &CDlgSplitter::Signal_OverwriteSourceFile, this,
            &CDlgSplitter::Slot_OverwriteSourceFile, Qt::QueuedConnection);
    connect(this, &CDlgSplitter::Signal_RetryOpenForWriting, this,
            &CDlgSplitter::Slot_RetryOpenForWriting, Qt::QueuedConnection);
    connect(this, &CDlgSplitter::Signal_Splitter_Error, this, &CDlgSplitter::Slot_Splitter_Error,
            Qt::QueuedConnection);
    connect(this, &CDlgSplitter::Signal_Splitter_Notice, this, &CDlgSplitter::Slot_Splitter_Notice,
            Qt::QueuedConnection);

    connect(this, &CDlgSplitter::Signal_Join_Fill_List, this, &CDlgSplitter::Slot_Join_Fill_List,
            Qt::QueuedConnection);
    connect(this, &CDlgSplitter::Signal_Join_ProgressBar, this,
            &CDlgSplitter::Slot_Join_ProgressBar, Qt::QueuedConnection);
    connect(this, &CDlgSplitter::Signal_Join_OpenReadFileFailed, this,
            &CDlgSplitter::Slot_Join_OpenReadFileFailed, Qt::QueuedConnection);
    connect(this, &CDlgSplitter::Signal_Join_OpenWriteFile, this,
            &CDlgSplitter::Slot_Join_OpenWriteFile, Qt::QueuedConnection);
    connect(this, &CDlgSplitter::Signal_Join_WriteingFileFailed, this,
            &CDlgSplitter::Slot_Join_WriteingFileFailed, Qt::QueuedConnection);
    connect(this, &CDlgSplitter::Signal_Join_ReadingFileFailed, this,
            &CDlgSplitter::Slot_Join_ReadingFileFailed, Qt::QueuedConnection);
    connect(this, &CDlgSplitter::Signal_Join_Failed, this, &CDlgSplitter::Slot_Join_Failed,
            Qt::QueuedConnection);
    connect(this, &CDlgSplitter::Signal_Join_Notice, this, &CDlgSplitter::Slot_Join_Notice,
            Qt::QueuedConnection);
}

CDlgSplitter::~CDlgSplitter() {
    ReleaseWorker(m_clContext);
    UnloadProtocolComponents(kProtoUnloadPauseMs);
}

void CDlgSplitter::SetPromptLayer(std::unique_ptr<CPromptLayer> pPrompts) {
    if (pPrompts)
        m_pPrompts = std::move(pPrompts);
}

void CDlgSplitter::SetCommandLineArguments(const QList<StructCommandArgument> &clArguments) {
    m_clArguments = clArguments;
    m_bArgumentsGiven = true;
}

void CDlgSplitter::SetProtoComponentFolder(const QString &clstrFolder) {
    m_clstrProtoFolder = clstrFolder;
}

void CDlgSplitter::showEvent(QShowEvent *pEvent) {
    // A later show (after minimising) builds nothing again.
    if (m_pTabs != nullptr) {
        QDialog::showEvent(pEvent);
        return;
    }
    ReadCommandLine();
    CreateWidgets();
    Radio_Splitter_SplitType(-1);
    LoadProtocolComponents();
    QTimer::singleShot(kAdjustSizeDelayMs, this, &CDlgSplitter::Slot_Gui_AdjustSize);
}

void CDlgSplitter::closeEvent(QCloseEvent *pEvent) {
    ForgetWorker();
    UnloadProtocolComponents();
    QDialog::closeEvent(pEvent);
}

void CDlgSplitter::dragEnterEvent(QDragEnterEvent *pEvent) {
    const QMimeData *pData = pEvent->mimeData();
    if (pData != nullptr && pData->hasUrls()) {
        for (const QUrl &clUrl : pData->urls()) {
            if (IsRecordingPath(clUrl.toLocalFile())) {
                pEvent->acceptProposedAction();
                return;
            }
        }
    }
    pEvent->ignore();
}

void CDlgSplitter::dropEvent(QDropEvent *pEvent) {
    const QMimeData *pData = pEvent->mimeData();
    if (pData == nullptr || !pData->hasUrls())
        return;
    const QList<QUrl> clUrls = pData->urls();
    if (m_pTabs != nullptr && m_pTabs->currentIndex() == kMergeTab) {
        QStringList clPaths;
        for (const QUrl &clUrl : clUrls) {
            const QString clstrPath = clUrl.toLocalFile();
            if (clstrPath.contains(QStringLiteral(".bvf"), Qt::CaseInsensitive))
                clPaths << clstrPath;
        }
        AddDroppedFilesToMergeList(clPaths);
        pEvent->acceptProposedAction();
        return;
    }
    for (const QUrl &clUrl : clUrls) {
        const QString clstrPath = clUrl.toLocalFile();
        if (IsRecordingPath(clstrPath)) {
            pEvent->acceptProposedAction();
            LoadSource(clstrPath);
            return;
        }
    }
}

void CDlgSplitter::ReadCommandLine() {
    QList<StructCommandArgument> clArguments = m_clArguments;
    if (!m_bArgumentsGiven)
        clArguments = CommandArguments(QCoreApplication::arguments().mid(1));
    const StructCommandLineOutcome clOutcome = ParseCommandLine(clArguments);
    const bool bQuitAsked = AsksToQuitAfterSplit(clArguments);
    const QString clstrRefusal = CommandLineRefusal(clOutcome, bQuitAsked);
    if (!clstrRefusal.isEmpty()) {
        // Nothing is loaded or written. Shown once the dialog is up, so that
        // a box never opens inside its first show.
        QTimer::singleShot(0, this, [this, clstrRefusal]() {
            m_pPrompts->ShowWarning(this, tr("Error"), clstrRefusal);
            AutomatedRunFailed();
        });
        return;
    }
    m_clRequest = clOutcome.request;
    m_clstrPendingLoad = clOutcome.pendingLoad;
    // An automated run that cannot even begin has failed; without a display
    // nobody would ever close the dialog it leaves.
    if (m_clRequest.kind == 0 && bQuitAsked) {
        if (QGuiApplication::platformName() == QStringLiteral("offscreen"))
            m_pPrompts->ShowWarning(this, tr("Error"),
                                    tr("The command line does not describe a split; "
                                       "nothing was started."));
        AutomatedRunFailed();
    }
    if (!m_clstrPendingLoad.isEmpty())
        QTimer::singleShot(IdleDelay(kLoadDelayMs), this, &CDlgSplitter::Signal_Splitter_LoadFile);
}

QString CDlgSplitter::CommandLineRefusal(const StructCommandLineOutcome &clOutcome,
                                         bool bQuitAsked) const {
    QStringList clLines;
    if (clOutcome.startInvalid)
        clLines << tr("-start= takes 0, 1 or 2 only.");
    if (m_bWithoutDisplay && !bQuitAsked) {
        // Any other run would wait for ever for a window nobody sees.
        clLines << tr("Without a display only -start=2 can run; nothing was started.");
    } else if (bQuitAsked && clOutcome.request.fixedNameCut) {
        clLines << tr("The path given with -fd= is longer than %1 bytes; shortened, it would name "
                      "another file. Nothing was split.")
                       .arg(259);
    } else if (bQuitAsked && clOutcome.request.kind == 4 &&
               clOutcome.request.partCount > uint32_t(kMaxPartCount)) {
        clLines << tr("-n=%1 asks for more parts than a split makes (at most %2). Nothing was "
                      "split.")
                       .arg(clOutcome.request.partCount)
                       .arg(kMaxPartCount);
    }
    return clLines.join(u'\n');
}

void CDlgSplitter::Slot_Splitter_LoadFile() {
    if (m_clstrPendingLoad.isEmpty())
        return;
    const QString clstrPath = m_clstrPendingLoad;
    m_clstrPendingLoad.clear();
    LoadSource(clstrPath);
}

void CDlgSplitter::LoadSource(const QString &clstrPath) {
    SetControlText(SourcePath, clstrPath);
    ForgetWorker();
    // Empty while the scan runs: it fills the index the strip was drawn from.
    if (m_pTimeline != nullptr)
        m_pTimeline->Clear();
    if (!StartScanWorker(m_clContext, clstrPath, m_clSourceInfo, m_clComponents.Entries(),
                         m_clComponents.Count(), &m_clScanIndex))
        m_pPrompts->ShowWarning(
            this, tr("Error"),
            tr("<%1>\nCan not open file or unsupported filetype!").arg(clstrPath));
}

void CDlgSplitter::Slot_Gui_AdjustSize() {
    if (m_pTabs != nullptr && m_pTabs->currentIndex() == kMergeTab)
        return;
    adjustSize();
}

// Loaded on the thread that unloads them, while no worker runs; a scan then
// offers the synchronisation option when a component finds an offset.
void CDlgSplitter::LoadProtocolComponents() {
    const QString clstrFolder =
        m_clstrProtoFolder.isEmpty() ? QCoreApplication::applicationDirPath() : m_clstrProtoFolder;
    m_clComponents.LoadFrom(clstrFolder.toStdWString());
}

void CDlgSplitter::UnloadProtocolComponents(uint32_t lPauseMs) {
    m_clComponents.Unload(lPauseMs);
}

// Even an empty list goes to the fill, as a selection in the file dialog does.
void CDlgSplitter::AddDroppedFilesToMergeList(const QStringList &clPaths) {
    StartMergeFill(clPaths);
}

void CDlgSplitter::ForgetWorker() {
    ReleaseWorker(m_clContext);
    // The released worker's reports still in the queue belong to its run.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    ++m_lRunSerial;
    m_clstrRunError.clear();
    m_clstrRunNotice.clear();
    m_bRestartAfterRename = false;
}

void CDlgSplitter::ScheduleThreadEnds() {
    QTimer::singleShot(IdleDelay(kThreadEndsDelayMs), this, [this, lSerial = m_lRunSerial]() {
        if (lSerial == m_lRunSerial)
            Slot_ThreadEnds();
    });
}

void CDlgSplitter::ScheduleQuit() {
    m_bQuitScheduled = true;
    QTimer::singleShot(IdleDelay(kQuitDelayMs), QCoreApplication::instance(),
                       &QCoreApplication::quit);
}

int CDlgSplitter::IdleDelay(int lMs) const {
    // The pauses let a person see a window settle; where none is shown they
    // only make a script wait.
    const bool bWindowShown =
        !m_bWithoutDisplay && QGuiApplication::platformName() != QStringLiteral("offscreen");
    return bWindowShown ? lMs : 0;
}

void CDlgSplitter::AutomatedRunFailed() {
    m_lExitStatus = 1;
    // Nobody can close a window that nobody sees: end instead of waiting.
    if (QGuiApplication::platformName() == QStringLiteral("offscreen"))
        ScheduleQuit();
}

void CDlgSplitter::SplitterProgress(int lPerMille) {
    emit Signal_Splitter_ProgressBar(lPerMille);
}

void CDlgSplitter::ScanEnded(const StructRunResult &clResult) {
    emit Signal_Splitter_ProgressBar(ProgressEndCode(clResult, kProgressEnd));
}

void CDlgSplitter::SplitEnded(const StructRunResult &clResult) {
    // The reason goes first, so that the end code finds it.
    if (!clResult.reason.isEmpty())
        emit Signal_Splitter_Error(clResult.reason);
    emit Signal_Splitter_ProgressBar(ProgressEndCode(clResult, kProgressSplitFinished));
}

void CDlgSplitter::SplitterNotice(const QString &clstrText) {
    emit Signal_Splitter_Notice(clstrText);
}

void CDlgSplitter::AskForOverwrite(const QString &clstrFileName) {
    emit Signal_AskForOverwrite(clstrFileName);
}

void CDlgSplitter::OverwriteSourceFile(const QString &clstrFileName) {
    emit Signal_OverwriteSourceFile(clstrFileName);
}

void CDlgSplitter::RetryOpenForWriting(const QString &clstrFileName) {
    emit Signal_RetryOpenForWriting(clstrFileName);
}

void CDlgSplitter::JoinProgress(int lPerMille) {
    emit Signal_Join_ProgressBar(lPerMille);
}

void CDlgSplitter::FillEnded(const StructRunResult &clResult) {
    emit Signal_Join_ProgressBar(ProgressEndCode(clResult, kProgressEnd));
}

void CDlgSplitter::MergeEnded(const StructRunResult &clResult) {
    if (!clResult.reason.isEmpty())
        emit Signal_Join_Failed(clResult.reason);
    emit Signal_Join_ProgressBar(ProgressEndCode(clResult, kProgressEnd));
}

void CDlgSplitter::JoinFillList(const QString &clstrScrollTo) {
    emit Signal_Join_Fill_List(clstrScrollTo);
}

// The merge questions are only announced, as the split's are: the worker
// waits for the answer or its stop itself.
bool CDlgSplitter::JoinOpenReadFileFailed(const QString &clstrFileName) {
    emit Signal_Join_OpenReadFileFailed(clstrFileName);
    return true;
}

bool CDlgSplitter::JoinOpenWriteFile(const QString &clstrFileName, bool bFirst) {
    emit Signal_Join_OpenWriteFile(clstrFileName, bFirst);
    return true;
}

bool CDlgSplitter::JoinWritingFileFailed(const QString &clstrFileName) {
    emit Signal_Join_WriteingFileFailed(clstrFileName);
    return true;
}

void CDlgSplitter::JoinReadingFileFailed(const QString &clstrFileName) {
    emit Signal_Join_ReadingFileFailed(clstrFileName);
}

void CDlgSplitter::JoinNotice(const QString &clstrText) {
    emit Signal_Join_Notice(clstrText);
}
