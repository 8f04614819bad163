// The split worker's questions: overwrite an existing part, a part that would
// overwrite its own source (with renaming the source and starting again),
// and a part that cannot be opened for writing. Each box goes through the
// prompt layer; the answer goes back through the worker context.
#include "DlgSplitter.h"

#include "FileSystem.h"
#include "SplitName.h"

#include <string>

namespace {

// The folder of a path with its trailing separator; engine paths use "/" only.
QString FolderOf(const QString &clstrPath) {
    const qsizetype lSeparator = clstrPath.lastIndexOf(u'/');
    return lSeparator < 0 ? QString() : clstrPath.left(lSeparator + 1);
}

} // namespace

void CDlgSplitter::Slot_AskForOverwrite(const QString &clstrFileName) {
    // A question of a run that has been stopped or has moved on shows nothing.
    if (!QuestionIsOpen(m_clContext))
        return;
    const QString clstrText = tr("The file <%1> exists already.").arg(clstrFileName) + u'\n' +
                              tr("Overwrite existing file?") + u'\n' +
                              tr("[YES] for overwrite this existing file.") + u'\n' +
                              tr("[YES to ALL] for overwrite all existing files.") + u'\n' +
                              tr("[NO] for skip this existing file.") + u'\n' +
                              tr("[NO to ALL] for skip all existing files.") + u'\n' +
                              tr("[ABORT] for aborting.") + u'\n';
    const QMessageBox::StandardButton enButton =
        m_pPrompts->AskQuestion(this, tr("Overwrite existing file"), clstrText,
                                QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No |
                                    QMessageBox::NoToAll | QMessageBox::Abort,
                                QMessageBox::Abort);
    uint8_t lAnswer = OVERWRITE_ABORT;
    switch (enButton) {
    case QMessageBox::Yes:
        lAnswer = OVERWRITE_YES;
        break;
    case QMessageBox::YesToAll:
        lAnswer = OVERWRITE_YES_TO_ALL;
        break;
    case QMessageBox::No:
        lAnswer = OVERWRITE_NO;
        break;
    case QMessageBox::NoToAll:
        lAnswer = OVERWRITE_NO_TO_ALL;
        break;
    default:
        break;
    }
    AnswerOverwriteQuestion(m_clContext, lAnswer);
}

void CDlgSplitter::Slot_OverwriteSourceFile(const QString &clstrFileName) {
    // The worker has ended its run with abort already and awaits nothing; a
    // run that was stopped meanwhile offers nothing.
    if (!WorkerHeld(m_clContext) || !m_clContext.stopEvent || m_clContext.stopEvent->IsSet())
        return;
    m_clContext.overwriteAnswer = OVERWRITE_ABORT;
    RequestWorkerStop(m_clContext);

    // The end of the old run waits for the boxes: the new split may start only
    // once the old worker has ended and been released.
    m_bRenaming = true;
    const bool bRenamed = OfferSourceRename(clstrFileName);
    m_bRenaming = false;
    if (bRenamed)
        m_bRestartAfterRename = true;
    if (m_bThreadEndsDeferred) {
        m_bThreadEndsDeferred = false;
        Slot_ThreadEnds();
    } else if (bRenamed && !WorkerHeld(m_clContext)) {
        m_bRestartAfterRename = false;
        emit Signal_Button_Splitter_StartStop();
    }
}

bool CDlgSplitter::OfferSourceRename(const QString &clstrFileName) {
    const QString clstrText = tr("The SOURCE file <%1>").arg(clstrFileName) + u'\n' +
                              tr("would be overwritten by a splitted file!") + u'\n' +
                              tr("Do you want rename the source file and restart?") + u'\n' +
                              tr("[YES] for renaming.") + u'\n' + tr("[ABORT] for aborting.");
    if (m_pPrompts->AskQuestion(this, tr("Overwrite existing file"), clstrText,
                                QMessageBox::Yes | QMessageBox::Abort,
                                QMessageBox::Abort) != QMessageBox::Yes)
        return false;

    QString clstrNewName;
    for (;;) {
        const std::optional<QString> clEntered =
            m_pPrompts->AskText(this, tr("Rename source file!"),
                                tr("Rename source file for avoiding overwriting:"), clstrFileName);
        if (!clEntered || clEntered->isEmpty())
            return false;
        if (clEntered->compare(clstrFileName, Qt::CaseInsensitive) != 0) {
            clstrNewName = *clEntered;
            break;
        }
    }

    const QString clstrNewPath = FolderOf(m_clSourceInfo.name) + clstrNewName;
    // A path that the file classes cannot take is refused, never shortened:
    // the shortened name would be another file.
    const std::wstring clstrFrom = m_clSourceInfo.name.toStdWString();
    const std::wstring clstrTo = clstrNewPath.toStdWString();
    if (!PathFitsFileClasses(clstrNewPath) ||
        !PlatformRenameFile(clstrFrom.c_str(), clstrTo.c_str())) {
        m_pPrompts->ShowCritical(this, tr("Error"),
                                 tr("Can not rename source file") + QStringLiteral("\n<") +
                                     clstrFileName + QStringLiteral(">\nto\n<") + clstrNewName +
                                     QStringLiteral(">"));
        return false;
    }
    SetControlText(SourcePath, clstrNewPath);
    m_clSourceInfo.name = clstrNewPath;
    return true;
}

void CDlgSplitter::Slot_RetryOpenForWriting(const QString &clstrFileName) {
    if (!QuestionIsOpen(m_clContext))
        return;
    const QString clstrText = tr("The file <%1>").arg(clstrFileName) + u'\n' +
                              tr("can not opening for writing!") + u'\n' +
                              tr("Do you want to retry?") + u'\n' + tr("[RETRY] for retry.") +
                              u'\n' + tr("[ABORT] for aborting.");
    const QMessageBox::StandardButton enButton =
        m_pPrompts->AskQuestion(this, tr("Error opening file for writing"), clstrText,
                                QMessageBox::Retry | QMessageBox::Abort, QMessageBox::Retry);
    AnswerRetryQuestion(m_clContext, enButton == QMessageBox::Retry);
}
