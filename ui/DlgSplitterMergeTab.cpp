// The "Merge Files" tab: adding and deleting files of the merge list, starting
// and stopping the merge, following the workers' progress and answering the
// merge worker's questions. Every box goes through the prompt layer.
#include "DlgSplitter.h"
#include "MergeTimeline.h"
#include "ProgressCodes.h"

#include "MergeWorkers.h"

#include <QProgressBar>
#include <QStandardPaths>
#include <QTreeView>

namespace {

QString FileFilter() {
    return CDlgSplitter::tr("BVF file (*.bvf);;All (*.*)");
}

} // namespace

void CDlgSplitter::StartMergeFill(const QStringList &clPaths) {
    // While any worker is held, adding only stops it.
    if (WorkerHeld(m_clContext)) {
        RequestWorkerStop(m_clContext);
        return;
    }
    if (StartFillWorker(m_clContext, clPaths, m_clMergeList, m_clSourceInfo) ==
        FillStart::NotStarted)
        m_pPrompts->ShowWarning(this, tr("Error"), tr("The files could not be examined."));
}

void CDlgSplitter::Button_Joiner_ChooseFiles() {
    const QStringList clDesktops =
        QStandardPaths::standardLocations(QStandardPaths::DesktopLocation);
    const QString clstrStart =
        (clDesktops.isEmpty() ? QString() : clDesktops.first()) + QStringLiteral("/");
    const QStringList clChosen = m_pPrompts->AskOpenFileNames(
        this, tr("Select one or more files for merging"), clstrStart, FileFilter());
    if (!clChosen.isEmpty())
        StartMergeFill(clChosen);
}

void CDlgSplitter::Button_Joiner_Delete() {
    qsizetype lRemovedAt = -1;
    const QModelIndexList clSelected = m_pMergeSelection->selectedIndexes();
    for (const QModelIndex &clIndex : clSelected) {
        QString clstrText = clIndex.data(Qt::DisplayRole).toString();
        if (clIndex.column() == 0 && !clstrText.isEmpty()) {
            clstrText.remove(QStringLiteral("0x"), Qt::CaseSensitive);
            bool bOk = false;
            const uint64_t lMagic = clstrText.toULongLong(&bOk, 16);
            if (!bOk)
                continue;
            const qsizetype lAt = m_clMergeList.RemoveMagic(lMagic);
            if (lAt >= 0)
                lRemovedAt = lAt;
        } else if (clIndex.column() == 2) {
            const qsizetype lAt = m_clMergeList.RemoveFile(clstrText);
            if (lAt >= 0)
                lRemovedAt = lAt;
        }
    }
    // The view follows to the entry that took the removed one's place.
    emit Signal_Join_Fill_List(lRemovedAt >= 0 ? m_clMergeList.FileNameAtOrLast(lRemovedAt)
                                               : QString());
}

void CDlgSplitter::Button_Joiner_CleanAll() {
    m_clMergeList.Clear();
    emit Signal_Join_Fill_List(QString());
}

void CDlgSplitter::Button_Joiner_StartStop() {
    // As on the split tab, the button stops a held worker of either tab; its
    // end code brings the tabs back and the end handling releases it.
    if (WorkerHeld(m_clContext)) {
        RequestWorkerStop(m_clContext);
        return;
    }
    uint64_t lSingleMagic = 0;
    switch (StartMergeWorker(m_clContext, m_clMergeList, m_clSourceInfo, &lSingleMagic)) {
    case MergeStart::Started:
    case MergeStart::EmptyList:
        break;
    case MergeStart::SingleFileGroup:
        m_pPrompts->ShowWarning(this, tr("Error"),
                                tr("0x%1 only one file, need at least two!")
                                    .arg(lSingleMagic, 16, 16, QLatin1Char('0')));
        break;
    case MergeStart::NotStarted:
        m_pPrompts->ShowWarning(this, tr("Error"), tr("The merge could not be started."));
        break;
    }
}

void CDlgSplitter::Slot_Join_Fill_List(const QString &clstrSrollToItem) {
    m_pMergeModel->UpdateView(m_clMergeList.Entries());
    UpdateMergeTimeline();
    if (clstrSrollToItem.isEmpty())
        return;
    auto *pView = ControlAs<QTreeView>(MergeView);
    for (int lGroup = 0; lGroup < m_pMergeModel->rowCount(); ++lGroup) {
        const QStandardItem *pGroup = m_pMergeModel->item(lGroup, 0);
        if (pGroup == nullptr)
            continue;
        for (int lRow = 0; lRow < pGroup->rowCount(); ++lRow) {
            const QStandardItem *pFile = pGroup->child(lRow, 2);
            if (pFile == nullptr || pFile->text() != clstrSrollToItem)
                continue;
            const QModelIndex clIndex = pFile->index();
            if (pView != nullptr && clIndex.isValid())
                pView->scrollTo(clIndex, QAbstractItemView::EnsureVisible);
            return;
        }
    }
}

void CDlgSplitter::UpdateMergeTimeline() {
    if (m_pMergeTimeline == nullptr)
        return;
    const QList<StructJoinFileData> clEntries = m_clMergeList.Entries();
    QVariant clMagic;
    const QModelIndexList clSelected = m_pMergeSelection->selectedIndexes();
    if (!clSelected.isEmpty()) {
        const QModelIndex &clAt = clSelected.first();
        const QModelIndex clGroup = clAt.parent().isValid() ? clAt.parent() : clAt;
        clMagic = clGroup.siblingAtColumn(0).data(CModelJoinFiles::kMagicRole);
    }
    const uint64_t lMagic = clMagic.isValid()     ? clMagic.toULongLong()
                            : clEntries.isEmpty() ? 0
                                                  : clEntries.first().magic;
    QList<StructJoinFileData> clGroup;
    for (const StructJoinFileData &clEntry : clEntries) {
        if (clEntry.magic == lMagic)
            clGroup << clEntry;
    }
    m_pMergeTimeline->SetFiles(clGroup);
}

void CDlgSplitter::SelectMergeFile(const QString &clstrFileName) {
    const QModelIndexList clFound =
        m_pMergeModel->match(m_pMergeModel->index(0, 2), Qt::DisplayRole, clstrFileName, 1,
                             Qt::MatchExactly | Qt::MatchRecursive);
    if (clFound.isEmpty())
        return;
    m_pMergeSelection->select(clFound.first(),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (auto *pView = ControlAs<QTreeView>(MergeView))
        pView->scrollTo(clFound.first(), QAbstractItemView::EnsureVisible);
}

void CDlgSplitter::Slot_Join_ProgressBar(const int lPercent) {
    auto *pBar = ControlAs<QProgressBar>(MergeProgress);
    if (lPercent == 0) {
        SetVisible(MergeProgress, true);
        SetEnabled(MergeStartStop, true);
        SetControlText(MergeStartStop, tr("Stop"));
        for (Control enControl : {DeleteAllButton, DeleteSelectedButton, AddFilesButton})
            SetEnabled(enControl, false);
        if (pBar != nullptr)
            pBar->setValue(0);
        return;
    }
    if (lPercent > 0 && lPercent < kProgressEnd) {
        if (pBar != nullptr)
            pBar->setValue(lPercent);
        return;
    }
    if (pBar != nullptr)
        pBar->setValue(kProgressEnd);
    SetVisible(MergeProgress, false);
    SetControlText(MergeStartStop, tr("Start"));
    for (Control enControl : {DeleteAllButton, DeleteSelectedButton, AddFilesButton})
        SetEnabled(enControl, true);
    ScheduleThreadEnds();
}

void CDlgSplitter::Slot_Join_OpenReadFileFailed(const QString &clstrFileName) {
    // A question of a run that has been stopped or has moved on shows nothing.
    if (!QuestionIsOpen(m_clContext))
        return;
    const QString clstrText = tr("The SOURCE file <%1>").arg(clstrFileName) + u'\n' +
                              tr("can not opend!") + u'\n' + tr("Ignore?") + u'\n' +
                              tr("[IGNORE] for ignoring this file.") + u'\n' +
                              tr("[ABORT] for aborting.");
    const QMessageBox::StandardButton enButton =
        m_pPrompts->AskQuestion(this, tr("Overwrite existing file"), clstrText,
                                QMessageBox::Ignore | QMessageBox::Abort, QMessageBox::Abort);
    AnswerMergeQuestion(m_clContext, enButton == QMessageBox::Ignore);
}

void CDlgSplitter::Slot_Join_OpenWriteFile(const QString &clstrFileName, const bool bFirst) {
    Q_UNUSED(bFirst);
    if (!QuestionIsOpen(m_clContext))
        return;
    // A refused destination is explained and asked for again, proposing again
    // from the source; a stop meanwhile leaves no question to answer.
    for (;;) {
        const QString clstrChosen = m_pPrompts->AskSaveFileName(
            this, tr("Choose destination file"), JoinedOutputProposal(clstrFileName), FileFilter());
        const MergeDestination enResult = AnswerMergeDestination(m_clContext, clstrChosen);
        if (enResult != MergeDestination::IsSource && enResult != MergeDestination::TooLong &&
            enResult != MergeDestination::AlreadyWritten)
            return;
        m_pPrompts->ShowWarning(this, tr("Destination file error"),
                                MergeDestinationProblemText(enResult));
        if (!QuestionIsOpen(m_clContext))
            return;
    }
}

void CDlgSplitter::Slot_Join_WriteingFileFailed(const QString &clstrFileName) {
    if (!QuestionIsOpen(m_clContext))
        return;
    const QString clstrText = tr("Can not write in the DESTINATION file") + u'\n' +
                              tr("<%1>!").arg(clstrFileName) + u'\n' + tr("Ignore?") + u'\n' +
                              tr("[RETRY] for retry to wrinting.") + u'\n' +
                              tr("[ABORT] for aborting.");
    const QMessageBox::StandardButton enButton =
        m_pPrompts->AskQuestion(this, tr("Overwrite existing file"), clstrText,
                                QMessageBox::Retry | QMessageBox::Abort, QMessageBox::Abort);
    AnswerMergeQuestion(m_clContext, enButton == QMessageBox::Retry);
}

void CDlgSplitter::Slot_Join_ReadingFileFailed(const QString &clstrFileName) {
    // The merge has ended already; the box only tells why.
    const QString clstrText =
        tr("Can not read from source file") + u'\n' + tr("<%1>!").arg(clstrFileName) + u'\n';
    m_pPrompts->AskQuestion(this, tr("Reading from file error"), clstrText, QMessageBox::Abort,
                            QMessageBox::Abort);
}

void CDlgSplitter::Slot_Join_Failed(const QString &clstrText) {
    m_pPrompts->ShowWarning(this, tr("Error"), clstrText);
}

void CDlgSplitter::Slot_Join_Notice(const QString &clstrText) {
    m_pPrompts->ShowWarning(this, tr("Warning"), clstrText);
}
