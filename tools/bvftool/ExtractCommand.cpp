// bvftool extract: the records of one recording that match every filter,
// taken from its files in the order the merge puts them, into one container.
#include "BrennovarstikFileFormatV1.h"
#include "Commands.h"
#include "MergeSteps.h"
#include "MergeWorkers.h"
#include "PathNormalise.h"
#include "RecordFields.h"
#include "ToolCommon.h"
#include "WorkerLoop.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTimeZone>

#include <limits>
#include <memory>
#include <optional>

namespace {

struct StructExtractFilter {
    int64_t fromMs = std::numeric_limits<int64_t>::min();
    int64_t toMs = std::numeric_limits<int64_t>::max(); // exclusive
    bool timed = false;
    QList<uint8_t> kinds;        // empty: every kind
    QList<uint64_t> frequencies; // empty: every frequency

    bool Matches(const RawRecord &clRecord) const {
        if (timed) {
            const std::optional<int64_t> clMs = RecordTimeMilliseconds(clRecord);
            if (!clMs || *clMs < fromMs || *clMs >= toMs)
                return false;
        }
        if (!kinds.isEmpty() && !kinds.contains(clRecord.payloadKind))
            return false;
        // Only kinds 0 to 4 carry a frequency.
        if (!frequencies.isEmpty() &&
            (clRecord.payloadKind > PAYLOAD_GSM || !frequencies.contains(clRecord.frequency)))
            return false;
        return true;
    }
};

// "yyyy-MM-dd hh:mm[:ss]" in UTC: the start of that time and the end of the
// minute or second it names.
bool ParseTimeSpan(const QString &clstrText, int64_t &lStartMs, int64_t &lEndMs) {
    for (const auto &[pFormat, lSpanMs] :
         {std::pair{"yyyy-MM-dd hh:mm:ss", 1000}, std::pair{"yyyy-MM-dd hh:mm", 60000}}) {
        QDateTime clTime = QDateTime::fromString(clstrText.trimmed(), QLatin1String(pFormat));
        if (!clTime.isValid())
            continue;
        clTime.setTimeZone(QTimeZone::utc());
        lStartMs = clTime.toMSecsSinceEpoch();
        lEndMs = lStartMs + lSpanMs;
        return true;
    }
    return false;
}

// Copies the matching records of each file into the open writer.
bool CopyMatching(const QStringList &clFiles, const StructExtractFilter &clFilter,
                  const QString &clstrOutput, uint64_t &lWritten) {
    std::unique_ptr<CBrennovarstikFileFormatV1> pWriter;
    for (qsizetype i = 0; i < clFiles.size(); ++i) {
        const QString &clstrFile = clFiles[i];
        FileHeaderInfo clHeader{};
        SourceReader pReader = OpenSource(clstrFile, clHeader);
        if (!pReader) {
            PrintFileError(clstrFile, CannotOpenText(clstrFile));
            return false;
        }
        if (!pWriter) {
            // The output carries the header of the recording's first file.
            pWriter = std::make_unique<CBrennovarstikFileFormatV1>();
            const std::wstring clstrWide = clstrOutput.toStdWString();
            if (pWriter->OpenFileForWriting(clstrWide.c_str(), clHeader,
                                            OutputFlags(clstrWide.c_str(), true)) != FILE_OK) {
                PrintFileError(clstrOutput, QStringLiteral("cannot be created or written"));
                return false;
            }
        }
        CSourceRecords clRecords(*pReader);
        for (;;) {
            RawRecord clRecord{};
            const SourceStep enStep = clRecords.Next(clRecord);
            if (enStep == SourceStep::Failed) {
                PrintFileError(clstrFile, QStringLiteral("reading failed; the extract stops"));
                (void)pWriter->CloseFileForWriting();
                return false;
            }
            if (enStep == SourceStep::End)
                break;
            if (clRecord.payload == nullptr || !clFilter.Matches(clRecord))
                continue;
            if (pWriter->WriteData(clRecord) != FILE_OK) {
                PrintFileError(clstrOutput, QStringLiteral("a record cannot be written"));
                (void)pWriter->CloseFileForWriting();
                return false;
            }
            ++lWritten;
        }
        ShowProgress(QStringLiteral("extracting"), int((i + 1) * 1000 / clFiles.size()));
    }
    EndProgress();
    if (pWriter && pWriter->CloseFileForWriting() != FILE_OK) {
        PrintFileError(clstrOutput, QStringLiteral("cannot be written"));
        return false;
    }
    return pWriter != nullptr;
}

} // namespace

int RunExtract(const QStringList &clArguments) {
    CCommandParser clCommand(
        QStringLiteral("extract"),
        QStringLiteral(
            "Writes the records of one recording that match every filter into one container "
            "OUT. The files must share one file magic; they are read in the order the merge "
            "puts them (ascending first record). Records of .tmw and .lan recordings are "
            "converted into container records.\n"
            "Exit status: 0 written, 1 refused or failed."));
    QCommandLineParser &clParser = clCommand.Parser();
    clParser.addPositionalArgument(QStringLiteral("FILE"),
                                   QStringLiteral("Files of one recording."),
                                   QStringLiteral("FILE..."));
    clParser.addOptions({
        {{QStringLiteral("o"), QStringLiteral("output")},
         QStringLiteral("The container to write."),
         QStringLiteral("OUT")},
        {QStringLiteral("from"),
         QStringLiteral("Records at or after T, UTC \"yyyy-MM-dd hh:mm[:ss]\"."),
         QStringLiteral("T")},
        {QStringLiteral("to"),
         QStringLiteral("Records up to T, UTC, its last minute (or second) included."),
         QStringLiteral("T")},
        {QStringLiteral("kinds"),
         QStringLiteral("Records of these kinds only: tetra,dmr,generic,aux,gsm,notice."),
         QStringLiteral("LIST")},
        {QStringLiteral("frequency"),
         QStringLiteral("Records whose frequency (kinds 0 to 4) is one of these, in Hz."),
         QStringLiteral("HZ[,HZ...]")},
        {QStringLiteral("overwrite"), QStringLiteral("Replace OUT when it exists.")},
    });
    if (const std::optional<int> clEnd = clCommand.Parse(clArguments))
        return *clEnd;

    StructExtractFilter clFilter;
    int64_t lIgnored = 0;
    if (clParser.isSet(QStringLiteral("from")) &&
        !ParseTimeSpan(clParser.value(QStringLiteral("from")), clFilter.fromMs, lIgnored))
        return clCommand.Fail(QStringLiteral("--from wants \"yyyy-MM-dd hh:mm[:ss]\""));
    if (clParser.isSet(QStringLiteral("to")) &&
        !ParseTimeSpan(clParser.value(QStringLiteral("to")), lIgnored, clFilter.toMs))
        return clCommand.Fail(QStringLiteral("--to wants \"yyyy-MM-dd hh:mm[:ss]\""));
    clFilter.timed = clParser.isSet(QStringLiteral("from")) || clParser.isSet(QStringLiteral("to"));
    if (clParser.isSet(QStringLiteral("kinds")) &&
        !ParsePayloadKinds(clParser.value(QStringLiteral("kinds")), clFilter.kinds))
        return clCommand.Fail(
            QStringLiteral("unknown kind in \"%1\"").arg(clParser.value(QStringLiteral("kinds"))));
    if (clParser.isSet(QStringLiteral("frequency"))) {
        for (const QString &clstrHz :
             clParser.value(QStringLiteral("frequency")).split(u',', Qt::SkipEmptyParts)) {
            bool bOk = false;
            clFilter.frequencies << clstrHz.trimmed().toULongLong(&bOk);
            if (!bOk)
                return clCommand.Fail(QStringLiteral("--frequency wants Hz, separated by commas"));
        }
        if (clFilter.frequencies.isEmpty())
            return clCommand.Fail(QStringLiteral("--frequency wants Hz, separated by commas"));
    }
    const QString clstrOutput = clParser.value(QStringLiteral("output"));
    if (clstrOutput.isEmpty())
        return clCommand.Fail(QStringLiteral("give -o OUT"));
    QStringList clFiles;
    for (const QString &clstrFile : clParser.positionalArguments())
        clFiles << ReaderPath(clstrFile, false);
    if (clFiles.isEmpty())
        return clCommand.Fail(QStringLiteral("no file given"));
    if (RefuseRepeatedFiles(clFiles))
        return kExitFailed;

    CMergeList clList;
    if (!ExamineForMerge(clFiles, false, clList))
        return kExitFailed;
    const QList<StructJoinFileData> clEntries = clList.Entries();
    QStringList clOrdered;
    for (const StructJoinFileData &clEntry : clEntries) {
        if (clEntry.magic != clEntries.first().magic) {
            PrintError(
                QStringLiteral("extract: the files belong to more than one recording "
                               "(file magic %1 and %2)")
                    .arg(JoinMagicText(clEntries.first().magic), JoinMagicText(clEntry.magic)));
            return kExitFailed;
        }
        clOrdered << clEntry.fileName;
    }
    const QString clstrDestination = NormalisePath(clstrOutput);
    const MergeDestination enCheck = CheckMergeDestination(clstrDestination, clOrdered, {});
    if (enCheck == MergeDestination::IsSource) {
        PrintFileError(clstrOutput, QStringLiteral("is one of the files to read; choose another "
                                                   "output"));
        return kExitFailed;
    }
    if (enCheck != MergeDestination::Accepted) {
        PrintFileError(clstrOutput, MergeDestinationProblemText(enCheck).section(u'\n', 0, 0));
        return kExitFailed;
    }
    const QFileInfo clInfo(clstrDestination);
    if (clInfo.isDir() ||
        ((clInfo.exists() || clInfo.isSymLink()) && !clParser.isSet(QStringLiteral("overwrite")))) {
        PrintFileError(clstrOutput,
                       clInfo.isDir() ? QStringLiteral("is a folder")
                                      : QStringLiteral("exists already (--overwrite replaces it)"));
        return kExitFailed;
    }
    uint64_t lWritten = 0;
    if (!CopyMatching(clOrdered, clFilter, clstrDestination, lWritten))
        return kExitFailed;
    PrintError(
        QStringLiteral("extract: wrote %1 record(s) into %2").arg(lWritten).arg(clstrOutput));
    return kExitOk;
}
