// bvftool info: what a recording holds, as text or as one JSON document per
// file.
#include "Commands.h"
#include "FileSurvey.h"
#include "JoinFileData.h"
#include "ToolCommon.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>

namespace {

constexpr int64_t kDefaultGapSeconds = 60;

// A zero-terminated text field of the header, which need not be terminated
// in a damaged file.
template <size_t N> QString HeaderText(const char (&clField)[N]) {
    return QString::fromLatin1(clField, qsizetype(qstrnlen(clField, N)));
}

// TMW recordings have no header; their readers fill in 0.
bool StartTimeKnown(const StructFileSurvey &clSurvey) {
    return clSurvey.format == QStringLiteral("container") &&
           clSurvey.header.startTime != std::numeric_limits<int64_t>::max();
}

QString SecondsText(int64_t lMs) {
    return QString::number(double(lMs) / 1000.0, 'f', 3);
}

// hh:mm:ss.zzz, hours counted on past a day.
QString ClockText(int64_t lMs) {
    return QStringLiteral("%1:%2:%3.%4")
        .arg(lMs / 3600000, 2, 10, QChar(u'0'))
        .arg(lMs / 60000 % 60, 2, 10, QChar(u'0'))
        .arg(lMs / 1000 % 60, 2, 10, QChar(u'0'))
        .arg(lMs % 1000, 3, 10, QChar(u'0'));
}

QString DamageText(const StructFileSurvey &clSurvey) {
    return QStringLiteral("%1 damaged record(s) skipped, %2 damaged stretch(es) found")
        .arg(clSurvey.damagedSkipped)
        .arg(clSurvey.diagnostics.size());
}

QString TextReport(const StructFileSurvey &clSurvey, int64_t lGapSeconds) {
    const FileHeaderInfo &clHeader = clSurvey.header;
    QString clstrText = clSurvey.path + QStringLiteral(":\n");
    auto line = [&clstrText](const QString &clstrLabel, const QString &clstrValue) {
        clstrText += QStringLiteral("  %1 %2\n").arg(clstrLabel, -18).arg(clstrValue);
    };
    line(QStringLiteral("format:"), clSurvey.FormatText());
    line(QStringLiteral("file magic:"), JoinMagicText(clHeader.fileMagic));
    line(QStringLiteral("start time:"),
         StartTimeKnown(clSurvey) ? UtcText(clHeader.startTime) + QStringLiteral(" UTC")
         : clSurvey.format == QStringLiteral("container") ? QStringLiteral("unknown")
                                                          : QStringLiteral("none (no header)"));
    line(QStringLiteral("recording type:"), HeaderText(clHeader.recordingType));
    line(QStringLiteral("info texts:"),
         QStringLiteral("\"%1\", \"%2\", \"%3\"")
             .arg(HeaderText(clHeader.infoText1), HeaderText(clHeader.infoText2),
                  HeaderText(clHeader.infoText3)));
    line(QStringLiteral("size:"), QStringLiteral("%1 bytes").arg(clSurvey.size));
    line(QStringLiteral("records:"), QString::number(clSurvey.records));
    for (auto it = clSurvey.kinds.constBegin(); it != clSurvey.kinds.constEnd(); ++it)
        line(QStringLiteral("  %1:").arg(PayloadKindName(it.key())), QString::number(it.value()));
    line(QStringLiteral("damage:"), DamageText(clSurvey));
    // A container holds only what it can hold; the count matters for the others.
    if (clSurvey.kinds.contains(PAYLOAD_DMR) && clSurvey.format != QStringLiteral("container"))
        line(QStringLiteral("dmr items lost:"),
             QStringLiteral("%1 (a container cannot hold them: a split or merge leaves them out)")
                 .arg(clSurvey.dmrItemsNotInContainer));
    if (clSurvey.hasTime) {
        line(QStringLiteral("first record:"), UtcTextMs(clSurvey.firstMs) + QStringLiteral(" UTC"));
        line(QStringLiteral("last record:"), UtcTextMs(clSurvey.lastMs) + QStringLiteral(" UTC"));
        const int64_t lDurationMs = clSurvey.lastMs - clSurvey.firstMs;
        line(QStringLiteral("duration:"),
             QStringLiteral("%1 (%2 s)").arg(ClockText(lDurationMs), SecondsText(lDurationMs)));
    } else {
        line(QStringLiteral("first record:"), QStringLiteral("none with a time stamp"));
    }
    line(QStringLiteral("gaps over %1 s:").arg(lGapSeconds),
         clSurvey.gaps.isEmpty() ? QStringLiteral("none") : QString::number(clSurvey.gaps.size()));
    for (const StructTimeGap &clGap : clSurvey.gaps)
        clstrText += QStringLiteral("    %1 to %2 UTC (%3 s)\n")
                         .arg(UtcTextMs(clGap.fromMs), UtcTextMs(clGap.toMs),
                              SecondsText(clGap.toMs - clGap.fromMs));
    if (clSurvey.readFailed)
        clstrText += QStringLiteral("  reading stopped with an error (result %1)\n")
                         .arg(clSurvey.lastResult);
    return clstrText;
}

QJsonObject JsonReport(const StructFileSurvey &clSurvey, int64_t lGapSeconds) {
    const FileHeaderInfo &clHeader = clSurvey.header;
    QJsonObject clFormat{{QStringLiteral("name"), clSurvey.format},
                         {QStringLiteral("text"), clSurvey.FormatText()}};
    if (clSurvey.format == QStringLiteral("container"))
        clFormat.insert(QStringLiteral("version"), clSurvey.containerVersion);
    if (clSurvey.format == QStringLiteral("lan"))
        clFormat.insert(QStringLiteral("stream"), clSurvey.lanStream);

    QJsonObject clKinds;
    for (auto it = clSurvey.kinds.constBegin(); it != clSurvey.kinds.constEnd(); ++it)
        clKinds.insert(PayloadKindName(it.key()), qint64(it.value()));
    QJsonArray clGaps;
    for (const StructTimeGap &clGap : clSurvey.gaps)
        clGaps.append(
            QJsonObject{{QStringLiteral("from"), UtcTextMs(clGap.fromMs)},
                        {QStringLiteral("to"), UtcTextMs(clGap.toMs)},
                        {QStringLiteral("fromMs"), qint64(clGap.fromMs)},
                        {QStringLiteral("toMs"), qint64(clGap.toMs)},
                        {QStringLiteral("seconds"), double(clGap.toMs - clGap.fromMs) / 1000.0}});

    QJsonObject clReport{
        {QStringLiteral("file"), clSurvey.path},
        {QStringLiteral("format"), clFormat},
        // Text: a JSON number cannot carry all 64 bits.
        {QStringLiteral("fileMagic"), JoinMagicText(clHeader.fileMagic)},
        {QStringLiteral("startTime"),
         StartTimeKnown(clSurvey) ? QJsonValue(UtcText(clHeader.startTime)) : QJsonValue()},
        {QStringLiteral("recordingType"), HeaderText(clHeader.recordingType)},
        {QStringLiteral("infoText1"), HeaderText(clHeader.infoText1)},
        {QStringLiteral("infoText2"), HeaderText(clHeader.infoText2)},
        {QStringLiteral("infoText3"), HeaderText(clHeader.infoText3)},
        {QStringLiteral("size"), qint64(clSurvey.size)},
        {QStringLiteral("records"), qint64(clSurvey.records)},
        {QStringLiteral("kinds"), clKinds},
        {QStringLiteral("damagedRecordsSkipped"), qint64(clSurvey.damagedSkipped)},
        {QStringLiteral("damagedStretches"), qint64(clSurvey.diagnostics.size())},
        {QStringLiteral("dmrItemsNotInContainer"), qint64(clSurvey.dmrItemsNotInContainer)},
        {QStringLiteral("gapSeconds"), qint64(lGapSeconds)},
        {QStringLiteral("gaps"), clGaps},
        {QStringLiteral("readError"), clSurvey.readFailed},
    };
    if (clSurvey.hasTime) {
        clReport.insert(QStringLiteral("firstRecord"), UtcTextMs(clSurvey.firstMs));
        clReport.insert(QStringLiteral("lastRecord"), UtcTextMs(clSurvey.lastMs));
        clReport.insert(QStringLiteral("firstRecordMs"), qint64(clSurvey.firstMs));
        clReport.insert(QStringLiteral("lastRecordMs"), qint64(clSurvey.lastMs));
        clReport.insert(QStringLiteral("durationSeconds"),
                        double(clSurvey.lastMs - clSurvey.firstMs) / 1000.0);
    } else {
        clReport.insert(QStringLiteral("firstRecord"), QJsonValue());
        clReport.insert(QStringLiteral("lastRecord"), QJsonValue());
    }
    return clReport;
}

} // namespace

int RunInfo(const QStringList &clArguments) {
    CCommandParser clCommand(
        QStringLiteral("info"),
        QStringLiteral("Describes recordings (.bvf containers, .tmw and .lan TMW recordings): "
                       "format, header, records per kind, damage, DMR items that a container "
                       "cannot hold (a split or merge leaves them out), first and last record "
                       "time (UTC), duration, size and the gaps between records.\n"
                       "Exit status: 0 all files described, 1 a file could not be opened or "
                       "read to its end."));
    QCommandLineParser &clParser = clCommand.Parser();
    clParser.addPositionalArgument(QStringLiteral("FILE"),
                                   QStringLiteral("Recordings to describe."),
                                   QStringLiteral("FILE..."));
    clParser.addOptions({
        {QStringLiteral("json"), QStringLiteral("One JSON document per file, one per line.")},
        {QStringLiteral("gap"),
         QStringLiteral("Report stretches without records longer than this (default %1).")
             .arg(kDefaultGapSeconds),
         QStringLiteral("SECONDS")},
        OnlineOption(),
    });
    if (const std::optional<int> clEnd = clCommand.Parse(clArguments))
        return *clEnd;
    const QStringList clFiles = clParser.positionalArguments();
    if (clFiles.isEmpty())
        return clCommand.Fail(QStringLiteral("no file given"));
    int64_t lGapSeconds = kDefaultGapSeconds;
    if (clParser.isSet(QStringLiteral("gap"))) {
        bool bOk = false;
        lGapSeconds = clParser.value(QStringLiteral("gap")).toLongLong(&bOk);
        if (!bOk || lGapSeconds < 0 || lGapSeconds > 1000000000)
            return clCommand.Fail(QStringLiteral("--gap needs a whole number of seconds"));
    }
    const bool bJson = clParser.isSet(QStringLiteral("json"));
    const bool bOnline = clParser.isSet(QStringLiteral("online"));

    int lExit = kExitOk;
    for (const QString &clstrFile : clFiles) {
        const StructFileSurvey clSurvey = SurveyFile(clstrFile, lGapSeconds * 1000, bOnline);
        if (!clSurvey.opened) {
            PrintFileError(clstrFile, CannotOpenText(clstrFile));
            lExit = kExitFailed;
            continue;
        }
        if (clSurvey.readFailed) {
            PrintFileError(clstrFile, QStringLiteral("reading stopped with an error"));
            lExit = kExitFailed;
        }
        if (bJson)
            PrintOut(QString::fromUtf8(QJsonDocument(JsonReport(clSurvey, lGapSeconds))
                                           .toJson(QJsonDocument::Compact)) +
                     u'\n');
        else
            PrintOut(TextReport(clSurvey, lGapSeconds));
    }
    return lExit;
}
