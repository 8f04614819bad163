// bvftool verify: reads every record and reports each damaged stretch and
// each refused record with its file offset.
#include "Commands.h"
#include "FileSurvey.h"
#include "Manifest.h"
#include "ToolCommon.h"

#include <algorithm>

namespace {

QString OffsetText(uint64_t lOffset) {
    return QStringLiteral("offset %1 (0x%2)").arg(lOffset).arg(lOffset, 0, 16);
}

QString DiagnosticText(const StructReaderDiagnostic &clDiagnostic) {
    switch (clDiagnostic.kind) {
    case ReaderDamage::Resynchronised:
        return QStringLiteral("%1: %2 damaged byte(s) stepped over")
            .arg(OffsetText(clDiagnostic.offset))
            .arg(clDiagnostic.length);
    case ReaderDamage::RefusedRecord:
        return QStringLiteral("%1: record of type %2 (%3 bytes) refused")
            .arg(OffsetText(clDiagnostic.offset))
            .arg(clDiagnostic.recordType)
            .arg(clDiagnostic.length);
    case ReaderDamage::TruncatedTail:
        return QStringLiteral("%1: the file ends inside a record (%2 byte(s) cut off)")
            .arg(OffsetText(clDiagnostic.offset))
            .arg(clDiagnostic.length);
    }
    return QString();
}

} // namespace

int RunVerify(const QStringList &clArguments) {
    CCommandParser clCommand(
        QStringLiteral("verify"),
        QStringLiteral("Reads every record of each recording and reports every damaged stretch "
                       "(file offset and length) and every record the reader refused.\n"
                       "Exit status: 0 every file is sound, 1 damage was found, 2 a file could "
                       "not be opened (missing, a folder, or no regular file such as a FIFO or "
                       "device) or read (the highest applies)."));
    QCommandLineParser &clParser = clCommand.Parser();
    clParser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Recordings to check."),
                                   QStringLiteral("FILE..."));
    clParser.addOption(OnlineOption());
    clParser.addOption(QCommandLineOption(
        QStringLiteral("manifest"),
        QStringLiteral("Check the parts that the manifest M of \"bvftool split --manifest\" "
                       "names: each is there with its size and SHA-256, and their record streams "
                       "in the manifest's order give its digest. Each missing, altered or "
                       "reordered part is named; exit status 1 on any."),
        QStringLiteral("M")));
    if (const std::optional<int> clEnd = clCommand.Parse(clArguments))
        return *clEnd;
    const QStringList clFiles = clParser.positionalArguments();
    if (clParser.isSet(QStringLiteral("manifest"))) {
        if (!clFiles.isEmpty() || clParser.isSet(QStringLiteral("online")))
            return clCommand.Fail(QStringLiteral("--manifest M takes no FILE and no --online"));
        return VerifyManifest(clParser.value(QStringLiteral("manifest")));
    }
    if (clFiles.isEmpty())
        return clCommand.Fail(QStringLiteral("no file given"));

    const bool bOnline = clParser.isSet(QStringLiteral("online"));
    int lExit = kExitOk;
    for (const QString &clstrFile : clFiles) {
        const StructFileSurvey clSurvey = SurveyFile(clstrFile, -1, bOnline);
        if (!clSurvey.opened) {
            PrintFileError(clstrFile, CannotOpenText(clstrFile));
            lExit = kExitCannotOpen;
            continue;
        }
        QString clstrReport;
        for (const StructReaderDiagnostic &clDiagnostic : clSurvey.diagnostics)
            clstrReport += clstrFile + QStringLiteral(": ") + DiagnosticText(clDiagnostic) + u'\n';
        // Damage the reader answered without a stretch of its own.
        const uint64_t lRefused =
            uint64_t(std::count_if(clSurvey.diagnostics.cbegin(), clSurvey.diagnostics.cend(),
                                   [](const StructReaderDiagnostic &clDiagnostic) {
                                       return clDiagnostic.kind == ReaderDamage::RefusedRecord;
                                   }));
        const QString clstrVerdict =
            clSurvey.Damaged() ? QStringLiteral("damaged") : QStringLiteral("sound");
        // The file name goes in last: it may hold "%".
        clstrReport += clstrFile + QStringLiteral(": ") +
                       QStringLiteral("%1 (%2, %3 records read, %4 damaged stretch(es), %5 "
                                      "record(s) refused)\n")
                           .arg(clstrVerdict, clSurvey.FormatText())
                           .arg(clSurvey.records)
                           .arg(clSurvey.diagnostics.size() - qsizetype(lRefused))
                           .arg(std::max(lRefused, clSurvey.damagedSkipped));
        PrintOut(clstrReport);
        if (clSurvey.readFailed) {
            PrintFileError(clstrFile, QStringLiteral("reading stopped with an error (result %1)")
                                          .arg(clSurvey.lastResult));
            lExit = kExitCannotOpen;
        } else if (clSurvey.Damaged()) {
            lExit = std::max(lExit, kExitFailed);
        }
    }
    return lExit;
}
