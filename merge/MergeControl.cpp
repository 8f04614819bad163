// The dialog's side of the merge workers: starting them and answering.
#include "FormatChoice.h"
#include "MergeRun.h"
#include "MergeWorkers.h"
#include "PathNormalise.h"

#include <QCoreApplication>

#include <memory>
#include <string>

namespace {

// The events and fields both merge workers start with.
void PrepareMergeContext(StructWorkerContext &clContext, const QStringList &clFiles,
                         CMergeList *pList, StructSourceInfo &clInfo) {
    PrepareWorker(clContext, clFiles);
    clContext.answerEvent = std::make_unique<CPlatformEvent>(false, false);
    clContext.sourceInfo = &clInfo;
    clContext.mergeList = pList;
    clContext.mergeDestination = std::make_unique<QString>();
    clContext.overwriteAnswer = MERGE_NO_ANSWER;
}

// The file behind a source path, without the prefix of a file still being
// written, for the identity check.
QString SourceFile(const QString &clstrPath) {
    const std::wstring clstrWide = clstrPath.toStdWString();
    bool bOnline = false;
    return QString::fromWCharArray(ApplyOnlinePrefix(clstrWide.c_str(), bOnline));
}

bool SamePlace(const QString &clstrNormalised, const QString &clstrDestination,
               const QString &clstrOther) {
    return NormalisePath(clstrOther) == clstrNormalised ||
           IsSameFile(clstrDestination, SourceFile(clstrOther));
}

} // namespace

FillStart StartFillWorker(StructWorkerContext &clContext, const QStringList &clPaths,
                          CMergeList &clList, StructSourceInfo &clInfo) {
    if (WorkerHeld(clContext)) {
        ReleaseWorker(clContext);
        return FillStart::ReleasedHeldWorker;
    }
    if (clContext.joinEvents == nullptr)
        return FillStart::NotStarted;
    PrepareMergeContext(clContext, clPaths, &clList, clInfo);
    return StartWorkerThread(clContext, &FillWorkerThread) ? FillStart::Started
                                                           : FillStart::NotStarted;
}

std::optional<uint64_t> FirstSingleFileGroup(const QList<StructJoinFileData> &clEntries) {
    qsizetype i = 0;
    while (i < clEntries.size()) {
        qsizetype lEnd = i + 1;
        while (lEnd < clEntries.size() && clEntries[lEnd].magic == clEntries[i].magic)
            ++lEnd;
        if (lEnd - i == 1)
            return clEntries[i].magic;
        i = lEnd;
    }
    return std::nullopt;
}

MergeStart StartMergeWorker(StructWorkerContext &clContext, const CMergeList &clList,
                            StructSourceInfo &clInfo, uint64_t *pSingleGroupMagic) {
    // One copy serves the checks and the file list, so both see the same list.
    const QList<StructJoinFileData> clEntries = clList.Entries();
    if (clEntries.isEmpty())
        return MergeStart::EmptyList;
    if (const std::optional<uint64_t> clSingle = FirstSingleFileGroup(clEntries)) {
        if (pSingleGroupMagic != nullptr)
            *pSingleGroupMagic = *clSingle;
        return MergeStart::SingleFileGroup;
    }
    ReleaseWorker(clContext);
    if (clContext.joinEvents == nullptr)
        return MergeStart::NotStarted;
    QStringList clFiles;
    clFiles.reserve(clEntries.size());
    for (const StructJoinFileData &clEntry : clEntries)
        clFiles << clEntry.fileName;
    // The merge works on the copied names alone; the list stays free for
    // the dialog to change and show.
    PrepareMergeContext(clContext, clFiles, nullptr, clInfo);
    clContext.mergeOutputs = std::make_unique<QStringList>();
    clContext.mergeSound.clear();
    for (const StructJoinFileData &clEntry : clEntries) {
        clContext.mergeSound.push_back(std::nullopt);
        if (clEntry.soundAs)
            clContext.mergeSound.back().emplace(*clEntry.soundAs, clEntry.kinds);
    }
    return StartWorkerThread(clContext, &MergeWorkerThread) ? MergeStart::Started
                                                            : MergeStart::NotStarted;
}

QString JoinedOutputProposal(const QString &clstrSource) {
    QString clstrProposal = clstrSource;
    // A dot at the very start is no extension; a dot in a folder name cuts
    // there, as the user has always seen it.
    if (clstrProposal.indexOf(u'.') > 0)
        clstrProposal.truncate(clstrProposal.lastIndexOf(u'.'));
    clstrProposal.remove(QStringLiteral("_Joined"), Qt::CaseSensitive);
    return clstrProposal + QStringLiteral("_Joined.bvf");
}

bool AnswerMergeQuestion(StructWorkerContext &clContext, bool bGoOn) {
    return AnswerOverwriteQuestion(clContext, bGoOn ? MERGE_GO_ON : MERGE_ABORT);
}

MergeDestination CheckMergeDestination(const QString &clstrDestination,
                                       const QStringList &clSources, const QStringList &clWritten) {
    if (clstrDestination.isEmpty())
        return MergeDestination::Cancelled;
    if (!PathFitsFileClasses(clstrDestination))
        return MergeDestination::TooLong;
    const QString clstrNormalised = NormalisePath(clstrDestination);
    // Writing over a source would destroy it, perhaps before it is read.
    for (const QString &clstrSource : clSources) {
        if (SamePlace(clstrNormalised, clstrDestination, clstrSource))
            return MergeDestination::IsSource;
    }
    for (const QString &clstrOutput : clWritten) {
        if (SamePlace(clstrNormalised, clstrDestination, clstrOutput))
            return MergeDestination::AlreadyWritten;
    }
    return MergeDestination::Accepted;
}

MergeDestination AnswerMergeDestination(StructWorkerContext &clContext,
                                        const QString &clstrChosen) {
    if (!QuestionIsOpen(clContext))
        return MergeDestination::NoQuestion;
    const QString clstrDestination = NormalisePath(clstrChosen);
    const MergeDestination enResult = CheckMergeDestination(
        clstrDestination, clContext.fileList ? *clContext.fileList : QStringList(),
        clContext.mergeOutputs ? *clContext.mergeOutputs : QStringList());
    if (enResult != MergeDestination::Accepted && enResult != MergeDestination::Cancelled)
        return enResult;
    if (!clContext.mergeDestination)
        clContext.mergeDestination = std::make_unique<QString>();
    if (enResult == MergeDestination::Accepted) {
        *clContext.mergeDestination = clstrDestination;
        clContext.overwriteAnswer = MERGE_NO_ANSWER;
    } else {
        clContext.mergeDestination->clear();
        clContext.overwriteAnswer = MERGE_ABORT;
    }
    clContext.answerEvent->Set();
    return enResult;
}

QString MergeDestinationProblemText(MergeDestination enResult) {
    switch (enResult) {
    case MergeDestination::IsSource:
        return QCoreApplication::translate(
            "CDlgSplitter",
            "Can not merge from and write into the same file!\nChoose an other destination name.");
    case MergeDestination::AlreadyWritten:
        return QCoreApplication::translate("CDlgSplitter",
                                           "This file has already been written by this merge!\n"
                                           "Choose an other destination name.");
    case MergeDestination::TooLong:
        return QCoreApplication::translate("CDlgSplitter",
                                           "The path of the destination file is longer than %1 "
                                           "characters!\nChoose an other destination name.")
            .arg(kMaxPathChars);
    case MergeDestination::Accepted:
    case MergeDestination::Cancelled:
    case MergeDestination::NoQuestion:
        break;
    }
    return QString();
}
