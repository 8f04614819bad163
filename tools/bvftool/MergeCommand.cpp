// bvftool merge: examines the files as the merge tab does (the fill worker
// builds the merge list), shows the groups with their gaps and overlaps,
// checks every destination before anything is written, and runs the merge
// worker, answering its questions from the options.
#include "Commands.h"
#include "JoinFileData.h"
#include "Manifest.h"
#include "MergeEvents.h"
#include "MergeSteps.h"
#include "MergeWorkers.h"
#include "PathNormalise.h"
#include "RecordStream.h"
#include "SplitName.h"
#include "ToolCommon.h"
#include "WorkerContext.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <functional>

namespace {

constexpr uint32_t kQuestionPollMs = 50;

struct StructMergeOptions {
    QString output;    // -o
    QString directory; // -d
    bool overwrite = false;
    bool skipUnreadable = false;
    QString manifest;
    QStringList files;
};

using QuestionAnswerer = std::function<void(const CCommandLineMergeEvents::StructQuestion &)>;

// Runs until the held worker's thread has ended, answering its questions here.
void WaitForWorker(StructWorkerContext &clContext, CCommandLineMergeEvents &clEvents,
                   const QuestionAnswerer &fnAnswer) {
    for (;;) {
        if (const auto clQuestion = clEvents.TakeQuestion(kQuestionPollMs)) {
            fnAnswer(*clQuestion);
            continue;
        }
        if (!clContext.thread || clContext.thread->Join(0))
            break;
    }
    EndProgress();
}

} // namespace

// The same file named twice would be merged twice.
bool RefuseRepeatedFiles(const QStringList &clFiles) {
    for (qsizetype i = 0; i < clFiles.size(); ++i) {
        for (qsizetype j = 0; j < i; ++j) {
            if (NormalisePath(clFiles[i]) == NormalisePath(clFiles[j]) ||
                IsSameFile(clFiles[i], clFiles[j])) {
                PrintFileError(
                    clFiles[i],
                    QStringLiteral("is the same file as %1; name each file once").arg(clFiles[j]));
                return true;
            }
        }
    }
    return false;
}

namespace {

// The merge list as the merge tab shows it: per recording its files in
// ascending start, a gap before a file that starts more than a second after
// an earlier one ends, and the earlier files a file overlaps.
void PrintMergeList(const QList<StructJoinFileData> &clEntries) {
    const QList<StructJoinNeighbours> clNeighbours = JoinNeighbours(clEntries);
    QString clstrText;
    for (qsizetype i = 0; i < clEntries.size(); ++i) {
        const StructJoinFileData &clEntry = clEntries[i];
        if (i == 0 || clEntries[i - 1].magic != clEntry.magic) {
            qsizetype lCount = 0;
            for (const StructJoinFileData &clOther : clEntries)
                lCount += clOther.magic == clEntry.magic ? 1 : 0;
            clstrText += QStringLiteral("recording %1: %2 file(s)\n")
                             .arg(JoinMagicText(clEntry.magic))
                             .arg(lCount);
        }
        if (clNeighbours[i].gap > 1)
            clstrText += QStringLiteral("    gap: %1 [m:s] missing\n")
                             .arg(JoinDurationText(clNeighbours[i].gap - 1));
        clstrText += QStringLiteral("  %1  %2\n").arg(JoinTimeText(clEntry), clEntry.fileName);
        if (!clNeighbours[i].overlapping.isEmpty()) {
            QStringList clNames;
            for (const QString &clstrEarlier : clNeighbours[i].overlapping)
                clNames << BareFileName(clstrEarlier);
            clstrText += QStringLiteral("    overlap: this file overlaps %1\n")
                             .arg(clNames.join(QStringLiteral(", ")));
        }
    }
    PrintErrorText(clstrText);
}

} // namespace

bool ExamineForMerge(const QStringList &clFiles, bool bSkipUnreadable, CMergeList &clList) {
    CCommandLineMergeEvents clEvents;
    clEvents.SetActivity(QStringLiteral("examining"));
    StructWorkerContext clContext(&clEvents);
    StructSourceInfo clInfo;
    if (StartFillWorker(clContext, clFiles, clList, clInfo) != FillStart::Started) {
        PrintError(QStringLiteral("merge: cannot start examining the files"));
        return false;
    }
    WaitForWorker(clContext, clEvents, [](const CCommandLineMergeEvents::StructQuestion &) {});
    ReleaseWorker(clContext);

    // The fill leaves out silently what it cannot read; here it is told.
    bool bAllListed = true;
    for (const QString &clstrFile : clFiles) {
        if (clList.Contains(NormalisePath(clstrFile)))
            continue;
        if (bSkipUnreadable) {
            PrintFileError(clstrFile, CannotOpenText(clstrFile) + QStringLiteral("; left out"));
        } else {
            PrintFileError(clstrFile, CannotOpenText(clstrFile) +
                                          QStringLiteral(" (--skip-unreadable leaves such "
                                                         "files out)"));
            bAllListed = false;
        }
    }
    return bAllListed;
}

namespace {

// The destination of each recording, checked before anything is written.
// Empty when one is refused; the reason has been told.
QHash<uint64_t, QString> PlanDestinations(const StructMergeOptions &clOptions,
                                          const QList<StructJoinFileData> &clEntries) {
    QList<StructJoinFileData> clFirsts;
    for (qsizetype i = 0; i < clEntries.size(); ++i) {
        if (i == 0 || clEntries[i - 1].magic != clEntries[i].magic)
            clFirsts << clEntries[i];
    }
    if (!clOptions.output.isEmpty() && clFirsts.size() > 1) {
        PrintError(QStringLiteral("merge: the files belong to %1 recordings; -o writes one "
                                  "output, -d DIR writes one per recording")
                       .arg(clFirsts.size()));
        return {};
    }
    if (!clOptions.directory.isEmpty() && !QFileInfo(clOptions.directory).isDir()) {
        PrintFileError(clOptions.directory, QStringLiteral("is not a folder"));
        return {};
    }

    QStringList clSources;
    for (const StructJoinFileData &clEntry : clEntries)
        clSources << clEntry.fileName;
    QHash<uint64_t, QString> clDestinations;
    QStringList clPlanned;
    for (const StructJoinFileData &clFirst : clFirsts) {
        // -d: the name the merge tab proposes for the group, in that folder.
        const QString clstrDestination =
            clOptions.output.isEmpty()
                ? NormalisePath(clOptions.directory + u'/' +
                                JoinedOutputProposal(BareFileName(clFirst.fileName)))
                : NormalisePath(clOptions.output);
        const MergeDestination enCheck =
            CheckMergeDestination(clstrDestination, clSources, clPlanned);
        if (enCheck == MergeDestination::IsSource) {
            PrintFileError(clstrDestination, QStringLiteral("is one of the files to merge; choose "
                                                            "another destination"));
            return {};
        }
        if (enCheck == MergeDestination::AlreadyWritten) {
            PrintFileError(clstrDestination,
                           QStringLiteral("would receive two recordings; use -d DIR with files "
                                          "whose names differ"));
            return {};
        }
        if (enCheck != MergeDestination::Accepted) {
            PrintFileError(clstrDestination,
                           MergeDestinationProblemText(enCheck).section(u'\n', 0, 0));
            return {};
        }
        const QFileInfo clInfo(clstrDestination);
        if (clInfo.isDir()) {
            PrintFileError(clstrDestination, QStringLiteral("is a folder"));
            return {};
        }
        // A link counts as there even when it leads nowhere: writing through
        // it would create a file elsewhere.
        if ((clInfo.exists() || clInfo.isSymLink()) && !clOptions.overwrite) {
            PrintFileError(clstrDestination,
                           QStringLiteral("exists already (--overwrite replaces it)"));
            return {};
        }
        clPlanned << clstrDestination;
        clDestinations.insert(clFirst.magic, clstrDestination);
    }
    return clDestinations;
}

// Runs the merge worker; true when it succeeded.
bool RunMergeWorkerHere(const StructMergeOptions &clOptions, const CMergeList &clList,
                        const QHash<uint64_t, QString> &clDestinations) {
    QHash<QString, uint64_t> clMagicOf;
    for (const StructJoinFileData &clEntry : clList.Entries())
        clMagicOf.insert(clEntry.fileName, clEntry.magic);

    CCommandLineMergeEvents clEvents;
    clEvents.SetActivity(QStringLiteral("merging"));
    StructWorkerContext clContext(&clEvents);
    StructSourceInfo clInfo;
    if (StartMergeWorker(clContext, clList, clInfo) != MergeStart::Started) {
        PrintError(QStringLiteral("merge: cannot start the merge"));
        return false;
    }
    QStringList clWritten;
    WaitForWorker(
        clContext, clEvents, [&](const CCommandLineMergeEvents::StructQuestion &clQuestion) {
            using Kind = CCommandLineMergeEvents::QuestionKind;
            switch (clQuestion.kind) {
            case Kind::OpenWrite: {
                const QString clstrDestination =
                    clDestinations.value(clMagicOf.value(clQuestion.fileName));
                if (!clQuestion.first) {
                    // The output accepted last could not be opened.
                    PrintFileError(clWritten.isEmpty() ? clstrDestination : clWritten.takeLast(),
                                   QStringLiteral("cannot be created or written"));
                    AnswerMergeDestination(clContext, QString());
                    return;
                }
                const MergeDestination enResult =
                    AnswerMergeDestination(clContext, clstrDestination);
                if (enResult == MergeDestination::Accepted) {
                    clWritten << clstrDestination;
                    return;
                }
                PrintFileError(clstrDestination,
                               MergeDestinationProblemText(enResult).section(u'\n', 0, 0));
                AnswerMergeDestination(clContext, QString());
                return;
            }
            case Kind::OpenRead:
                if (clOptions.skipUnreadable)
                    PrintFileError(clQuestion.fileName,
                                   QStringLiteral("cannot be opened; left out"));
                else
                    PrintFileError(clQuestion.fileName,
                                   QStringLiteral("cannot be opened; the merge stops "
                                                  "(--skip-unreadable leaves such files out)"));
                AnswerMergeQuestion(clContext, clOptions.skipUnreadable);
                return;
            case Kind::Write:
                PrintFileError(clQuestion.fileName,
                               QStringLiteral("a record cannot be written; the merge stops"));
                AnswerMergeQuestion(clContext, false);
                return;
            }
        });
    ReleaseWorker(clContext);

    const bool bMerged = clEvents.Finished();
    for (const QString &clstrOutput : clWritten) {
        if (bMerged)
            PrintError(QStringLiteral("merge: wrote %1").arg(clstrOutput));
        else
            PrintFileError(clstrOutput,
                           QStringLiteral("holds only what was written before the merge stopped"));
    }
    if (!bMerged)
        PrintError(QStringLiteral("merge: failed"));
    return bMerged;
}

} // namespace

int RunMerge(const QStringList &clArguments) {
    CCommandParser clCommand(
        QStringLiteral("merge"),
        QStringLiteral(
            "Merges container files cut from one recording back into one container. The files "
            "are grouped by file magic and put in ascending order of their first record; gaps "
            "and overlaps are shown on standard error. The records go into the output one file "
            "after the other (overlaps are not interleaved, gaps not filled): those of containers "
            "unchanged, those of .tmw and .lan recordings converted into container records, "
            "which leaves out the DMR items that a container cannot hold (\"bvftool info\" "
            "counts them).\n"
            "A recording of one file only, or a destination that is one of the files (also "
            "through \"./\", \"..\" or links), is refused before anything is written.\n"
            "Exit status: 0 merged, 1 refused or failed."));
    QCommandLineParser &clParser = clCommand.Parser();
    clParser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Recordings to merge."),
                                   QStringLiteral("FILE..."));
    clParser.addOptions({
        {{QStringLiteral("o"), QStringLiteral("output")},
         QStringLiteral("Write the merged recording to OUT (all files must belong to one "
                        "recording)."),
         QStringLiteral("OUT")},
        {{QStringLiteral("d"), QStringLiteral("directory")},
         QStringLiteral("Write one output per recording into DIR, named after the first file "
                        "of the recording with \"_Joined.bvf\"."),
         QStringLiteral("DIR")},
        {QStringLiteral("overwrite"), QStringLiteral("Replace outputs that exist already.")},
        {QStringLiteral("skip-unreadable"),
         QStringLiteral("Leave out files that cannot be opened instead of stopping.")},
        {QStringLiteral("manifest"),
         QStringLiteral("Merge exactly the parts that the manifest M of \"bvftool split "
                        "--manifest\" names, in its order, into OUT (-o), and check the output's "
                        "record stream against the manifest's digest."),
         QStringLiteral("M")},
    });
    if (const std::optional<int> clEnd = clCommand.Parse(clArguments))
        return *clEnd;

    StructMergeOptions clOptions;
    clOptions.output = clParser.value(QStringLiteral("output"));
    clOptions.directory = clParser.value(QStringLiteral("directory"));
    clOptions.overwrite = clParser.isSet(QStringLiteral("overwrite"));
    clOptions.skipUnreadable = clParser.isSet(QStringLiteral("skip-unreadable"));
    clOptions.manifest = clParser.value(QStringLiteral("manifest"));
    // Names are taken literally, "online:" included.
    for (const QString &clstrFile : clParser.positionalArguments())
        clOptions.files << ReaderPath(clstrFile, false);
    if (clOptions.output.isEmpty() == clOptions.directory.isEmpty())
        return clCommand.Fail(QStringLiteral("give either -o OUT or -d DIR"));
    StructManifest clManifest;
    if (!clOptions.manifest.isEmpty()) {
        if (!clOptions.files.isEmpty() || clOptions.output.isEmpty() || clOptions.skipUnreadable)
            return clCommand.Fail(QStringLiteral("--manifest M takes -o OUT and no FILE"));
        if (!ReadManifest(clOptions.manifest, clManifest))
            return kExitFailed;
        for (const StructManifestPart &clPart : clManifest.parts)
            clOptions.files << ReaderPath(clManifest.PartPath(clPart), false);
    }
    if (clOptions.files.isEmpty())
        return clCommand.Fail(QStringLiteral("no file given"));
    if (RefuseRepeatedFiles(clOptions.files))
        return kExitFailed;

    CMergeList clList;
    if (!ExamineForMerge(clOptions.files, clOptions.skipUnreadable, clList))
        return kExitFailed;
    const QList<StructJoinFileData> clEntries = clList.Entries();
    if (clEntries.isEmpty()) {
        PrintError(QStringLiteral("merge: no file to merge"));
        return kExitFailed;
    }
    PrintMergeList(clEntries);
    if (const std::optional<uint64_t> clSingle = FirstSingleFileGroup(clEntries)) {
        for (const StructJoinFileData &clEntry : clEntries) {
            if (clEntry.magic == *clSingle)
                PrintFileError(clEntry.fileName,
                               QStringLiteral("is the only file of recording %1; a merge needs "
                                              "at least two files of one recording")
                                   .arg(JoinMagicText(*clSingle)));
        }
        return kExitFailed;
    }
    if (!clOptions.manifest.isEmpty()) {
        // The merge goes in ascending start; a set it would reorder is not
        // the manifest's.
        for (qsizetype i = 0; i < clEntries.size(); ++i) {
            if (NormalisePath(clEntries[i].fileName) != NormalisePath(clOptions.files.value(i))) {
                PrintFileError(clOptions.manifest,
                               QStringLiteral("the merge would put the parts in another order "
                                              "than the manifest (%1 at place %2)")
                                   .arg(clEntries[i].fileName)
                                   .arg(i + 1));
                return kExitFailed;
            }
        }
    }
    const QHash<uint64_t, QString> clDestinations = PlanDestinations(clOptions, clEntries);
    if (clDestinations.isEmpty())
        return kExitFailed;
    if (!RunMergeWorkerHere(clOptions, clList, clDestinations))
        return kExitFailed;
    if (clOptions.manifest.isEmpty())
        return kExitOk;
    const StructRecordStream clStream = HashRecordStream(clOptions.output);
    if (DigestText(clStream.sha256) != clManifest.streamSha256) {
        PrintFileError(clOptions.output,
                       QStringLiteral("its record stream differs from the manifest's digest: the "
                                      "parts are not those the manifest proves"));
        return kExitFailed;
    }
    PrintError(QStringLiteral("merge: the record stream of %1 matches the manifest (%2 records)")
                   .arg(clOptions.output)
                   .arg(clStream.records));
    return kExitOk;
}
