// bvftool split: the dialog's split for scripts. Each source is scanned and
// split by the split worker itself with the settings the split tab would
// collect; --plan runs the same worker with the parts counted, not written,
// so the plan and the split cannot disagree.
#include "Commands.h"
#include "Manifest.h"
#include "PathNormalise.h"
#include "ScanIndex.h"
#include "SplitControl.h"
#include "SplitEvents.h"
#include "ToolCommon.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTime>
#include <QTimeZone>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace {

constexpr uint32_t kQuestionPollMs = 50;
constexpr int kMaxParts = 99; // as the split tab offers

// The split tab's side of the scan and split workers: reports go to standard
// error, questions are handed to the thread that waits for the worker.
class CCommandLineSplitEvents final : public CSplitEvents {
  public:
    enum class QuestionKind : uint8_t { Overwrite, Retry };
    struct StructQuestion {
        QuestionKind kind;
        QString fileName;
    };

    explicit CCommandLineSplitEvents(const QString &clstrActivity)
        : m_clstrActivity(clstrActivity) {}

    std::optional<StructQuestion> TakeQuestion(uint32_t lTimeoutMs) {
        std::unique_lock clLock(m_clMutex);
        m_clQuestionPut.wait_for(clLock, std::chrono::milliseconds(lTimeoutMs),
                                 [this] { return m_clPending.has_value(); });
        std::optional<StructQuestion> clQuestion = std::move(m_clPending);
        m_clPending.reset();
        return clQuestion;
    }
    bool Finished() const { return m_bFinished; }
    // Read after the worker has ended, or while it waits for an answer.
    const QList<StructSplitPart> &Parts() const { return m_clParts; }

    void SplitterProgress(int lPerMille) override { ShowProgress(m_clstrActivity, lPerMille); }
    void ScanEnded(const StructRunResult &clResult) override { End(clResult); }
    void SplitEnded(const StructRunResult &clResult) override { End(clResult); }
    void SplitterNotice(const QString &clstrText) override { PrintError(OneLine(clstrText)); }
    void SplitPartClosed(const StructSplitPart &clPart) override { m_clParts << clPart; }
    void AskForOverwrite(const QString &clstrFileName) override {
        Put({QuestionKind::Overwrite, clstrFileName});
    }
    void OverwriteSourceFile(const QString &clstrFileName) override {
        PrintError(QStringLiteral("split: part %1 would replace the source; a source is never "
                                  "overwritten (choose another naming scheme or -d DIR)")
                       .arg(clstrFileName));
    }
    void RetryOpenForWriting(const QString &clstrFileName) override {
        Put({QuestionKind::Retry, clstrFileName});
    }

  private:
    static QString OneLine(QString clstrText) { return clstrText.replace(u'\n', u' '); }
    void End(const StructRunResult &clResult) {
        m_bFinished = clResult.Succeeded();
        EndProgress();
        if (!clResult.reason.isEmpty())
            PrintError(OneLine(clResult.reason));
    }
    void Put(const StructQuestion &clQuestion) {
        {
            std::lock_guard clLock(m_clMutex);
            m_clPending = clQuestion;
        }
        m_clQuestionPut.notify_one();
    }

    QString m_clstrActivity;
    std::mutex m_clMutex;
    std::condition_variable m_clQuestionPut;
    std::optional<StructQuestion> m_clPending;
    std::atomic<bool> m_bFinished{false};
    QList<StructSplitPart> m_clParts;
};

struct StructSplitOptions {
    StructSplitTabValues tab;
    std::optional<QDateTime> periodFrom, periodTo;
    int64_t offset = 0;
    QString directory;
    bool overwrite = false;
    bool plan = false;
    bool json = false;
    bool manifest = false;
    QJsonObject given; // the options as given, for the manifest
};

// "yyyy-MM-dd hh:mm[:ss]" in UTC; the seconds tell the precision.
std::optional<QDateTime> ParseUtc(const QString &clstrText, bool &bMinutes) {
    for (const char *pFormat : {"yyyy-MM-dd hh:mm:ss", "yyyy-MM-dd hh:mm"}) {
        QDateTime clTime = QDateTime::fromString(clstrText.trimmed(), QLatin1String(pFormat));
        if (clTime.isValid()) {
            clTime.setTimeZone(QTimeZone::utc());
            bMinutes = QLatin1String(pFormat).size() == 16;
            return clTime;
        }
    }
    return std::nullopt;
}

// Waits for the held worker, answering its questions; false when a part was
// not written because it exists.
bool WaitForSplit(StructWorkerContext &clContext, CCommandLineSplitEvents &clEvents,
                  bool bOverwrite) {
    bool bAllWritten = true;
    for (;;) {
        if (const auto clQuestion = clEvents.TakeQuestion(kQuestionPollMs)) {
            if (clQuestion->kind == CCommandLineSplitEvents::QuestionKind::Retry) {
                PrintError(QStringLiteral("split: %1 cannot be created or written")
                               .arg(clQuestion->fileName));
                AnswerRetryQuestion(clContext, false);
                continue;
            }
            // A part this split has written itself is never replaced, not
            // even with --overwrite. The worker waits, so its list holds still.
            bool bOwnPart = false;
            for (const StructSplitPart &clPart : clEvents.Parts())
                bOwnPart = bOwnPart || BareFileName(clPart.path) == clQuestion->fileName;
            if (bOverwrite && !bOwnPart) {
                AnswerOverwriteQuestion(clContext, OVERWRITE_YES_TO_ALL);
                continue;
            }
            PrintError(bOwnPart ? QStringLiteral("split: two parts would be named %1; the split "
                                                 "stops (choose a naming scheme with the part "
                                                 "number)")
                                      .arg(clQuestion->fileName)
                                : QStringLiteral("split: %1 exists already and is left as it is; "
                                                 "its records are not written (--overwrite "
                                                 "replaces it)")
                                      .arg(clQuestion->fileName));
            AnswerOverwriteQuestion(clContext, bOwnPart ? OVERWRITE_ABORT : OVERWRITE_NO);
            bAllWritten = false;
            continue;
        }
        if (!clContext.thread || clContext.thread->Join(0))
            break;
    }
    EndProgress();
    return bAllWritten;
}

QJsonObject PartsJson(const QString &clstrSource, const QList<StructSplitPart> &clParts) {
    QJsonArray clArray;
    for (const StructSplitPart &clPart : clParts)
        clArray.append(QJsonObject{
            {QStringLiteral("name"), clPart.path},
            {QStringLiteral("firstMs"),
             clPart.hasTime ? QJsonValue(qint64(clPart.firstMs)) : QJsonValue()},
            {QStringLiteral("lastMs"),
             clPart.hasTime ? QJsonValue(qint64(clPart.lastMs)) : QJsonValue()},
            {QStringLiteral("records"), qint64(clPart.records)},
            {QStringLiteral("bytes"), qint64(clPart.bytes)},
        });
    return QJsonObject{{QStringLiteral("source"), clstrSource}, {QStringLiteral("parts"), clArray}};
}

QString PartsText(const QString &clstrSource, const QList<StructSplitPart> &clParts, bool bPlan) {
    QString clstrText = clstrSource + QStringLiteral(": %1 part(s) %2\n")
                                          .arg(clParts.size())
                                          .arg(bPlan ? QStringLiteral("would be written")
                                                     : QStringLiteral("written"));
    for (const StructSplitPart &clPart : clParts) {
        const QString clstrTimes = clPart.hasTime
                                       ? UtcTextMs(clPart.firstMs) + QStringLiteral(" .. ") +
                                             UtcTextMs(clPart.lastMs) + QStringLiteral(" UTC")
                                       : QStringLiteral("no record time");
        clstrText += QStringLiteral("  %1  %2 records  %3 bytes  %4\n")
                         .arg(clstrTimes)
                         .arg(clPart.records)
                         .arg(clPart.bytes)
                         .arg(clPart.path);
    }
    return clstrText;
}

// One source: scan, settings, split (or plan), report, manifest.
bool SplitSource(const QString &clstrSource, const StructSplitOptions &clOptions) {
    if (!QFileInfo(clstrSource).isFile()) {
        PrintFileError(clstrSource, CannotOpenText(clstrSource));
        return false;
    }
    const QString clstrReaderPath = ReaderPath(clstrSource, false);
    StructSourceInfo clInfo;
    // What the split copies whole instead of reading it again.
    CScanIndex clIndex;
    {
        CCommandLineSplitEvents clEvents(QStringLiteral("scanning"));
        StructWorkerContext clContext(&clEvents);
        if (!StartScanWorker(clContext, clstrReaderPath, clInfo, nullptr, 0, &clIndex)) {
            PrintFileError(clstrSource, QStringLiteral("the scan could not be started"));
            return false;
        }
        WaitForSplit(clContext, clEvents, false);
        ReleaseWorker(clContext);
        if (!clEvents.Finished()) {
            PrintFileError(clstrSource, CannotOpenText(clstrSource));
            return false;
        }
    }

    StructSplitTabValues clTab = clOptions.tab;
    if (clOptions.offset != 0) {
        // A known offset, applied as one a protocol component had found:
        // the recording's span moves with it, as the split tab shows it.
        clInfo.offset = clOptions.offset;
        clInfo.synchronised = true;
        clInfo.first = clInfo.first.addSecs(clOptions.offset);
        clInfo.last = clInfo.last.addSecs(clOptions.offset);
        clTab.protocolOffset = clOptions.offset;
        clTab.syncChecked = true;
    }
    if (clOptions.periodFrom) {
        // Cut to the recording as the split tab's period fields are.
        const QDateTime clFirst = clInfo.first.toUTC();
        const QDateTime clLast = clInfo.last.toUTC();
        if (*clOptions.periodTo < clFirst || *clOptions.periodFrom > clLast) {
            PrintFileError(
                clstrSource,
                QStringLiteral("the period lies wholly outside the recording, which "
                               "runs from %1 to %2 UTC; nothing was split")
                    .arg(UtcText(clFirst.toSecsSinceEpoch()), UtcText(clLast.toSecsSinceEpoch())));
            return false;
        }
        clTab.periodFrom = std::max(*clOptions.periodFrom, clFirst).toSecsSinceEpoch();
        clTab.periodTo = std::min(*clOptions.periodTo, clLast).toSecsSinceEpoch();
    }
    StructSplitSettings clSettings;
    if (!CollectSplitSettings(clTab, clSettings)) {
        PrintFileError(clstrSource, QStringLiteral("these split settings are refused"));
        return false;
    }
    clSettings.outputFolder = clOptions.directory;
    clSettings.countOnly = clOptions.plan;

    CCommandLineSplitEvents clEvents(QStringLiteral("splitting"));
    StructWorkerContext clContext(&clEvents);
    bool bAllWritten = false;
    switch (StartSplitWorker(clContext, clInfo, clSettings, nullptr, 0, &clIndex)) {
    case SplitStart::Started:
        bAllWritten = WaitForSplit(clContext, clEvents, clOptions.overwrite);
        break;
    case SplitStart::SourcePathTooLong:
        PrintFileError(clstrSource, QStringLiteral("the path is longer than 259 characters"));
        return false;
    default:
        PrintFileError(clstrSource, QStringLiteral("the split could not be started"));
        return false;
    }
    ReleaseWorker(clContext);
    const bool bSplit = clEvents.Finished() && bAllWritten;
    const QList<StructSplitPart> &clParts = clEvents.Parts();
    if (clOptions.json)
        PrintOut(
            QString::fromUtf8(
                QJsonDocument(PartsJson(clstrSource, clParts)).toJson(QJsonDocument::Compact)) +
            u'\n');
    else
        PrintOut(PartsText(clstrSource, clParts, clOptions.plan));
    if (!bSplit) {
        PrintFileError(clstrSource, clOptions.plan ? QStringLiteral("the split would fail")
                                                   : QStringLiteral("the split failed"));
        return false;
    }
    if (!clOptions.manifest || clOptions.plan || clParts.isEmpty())
        return true;
    QStringList clPaths;
    for (const StructSplitPart &clPart : clParts)
        clPaths << clPart.path;
    const QString clstrManifest = ManifestPathFor(clstrSource, clPaths.first());
    for (const QString &clstrPart : clPaths) {
        if (QFileInfo(clstrPart).path() != QFileInfo(clPaths.first()).path()) {
            PrintFileError(clstrSource, QStringLiteral("the parts lie in different folders; no "
                                                       "manifest is written"));
            return false;
        }
    }
    QJsonObject clSettingsJson = clOptions.given;
    if (clInfo.offset != 0)
        clSettingsJson.insert(QStringLiteral("offset"), qint64(clInfo.offset));
    if (!WriteManifest(clstrManifest, clstrSource, clInfo.fileMagic, clSettingsJson, clPaths,
                       clOptions.overwrite))
        return false;
    PrintError(QStringLiteral("split: wrote %1").arg(clstrManifest));
    return true;
}

} // namespace

int RunSplit(const QStringList &clArguments) {
    CCommandParser clCommand(
        QStringLiteral("split"),
        QStringLiteral(
            "Splits recordings as the program's Split File tab does, with its split worker, part "
            "names and results. Exactly one of --by-time, --period, --parts chooses the split. "
            "Parts go beside each source unless -d names a folder; an existing file is never "
            "overwritten without --overwrite, a source never. Several sources are split one "
            "after the other.\n"
            "--plan writes nothing and prints the parts that would be written: name, first and "
            "last record time, records and bytes; --json prints one JSON document per source "
            "on one line (times in milliseconds since 1970 UTC), also for the parts written.\n"
            "Exit status: 0 all sources split, 1 any failed (the others are still done), 2 a "
            "usage error."));
    QCommandLineParser &clParser = clCommand.Parser();
    clParser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("Recordings to split."),
                                   QStringLiteral("SOURCE..."));
    clParser.addOptions({
        {QStringLiteral("by-time"),
         QStringLiteral("Parts of HH:MM each (00:00 is 24 hours); a new part starts with the "
                        "first record at or after the boundary."),
         QStringLiteral("HH:MM")},
        {QStringLiteral("align"), QStringLiteral("With --by-time: boundaries at whole multiples "
                                                 "of the part length.")},
        {QStringLiteral("period"),
         QStringLiteral("One part of the records from FROM to TO, UTC, \"yyyy-MM-dd hh:mm[:ss]\" "
                        "(two arguments; without seconds the last minute is included whole). "
                        "A period that overlaps the recording is cut to it."),
         QStringLiteral("FROM TO")},
        {QStringLiteral("parts"), QStringLiteral("N parts of about equal size (2 to 99)."),
         QStringLiteral("N")},
        {QStringLiteral("naming"),
         QStringLiteral("Naming scheme 0 to 9, as in the split tab's list (default 0, "
                        "NAME__date+time)."),
         QStringLiteral("0..9")},
        {QStringLiteral("local"), QStringLiteral("Times in part names in local time, not UTC.")},
        {QStringLiteral("fixed-name"), QStringLiteral("With --period: write the one part to PATH."),
         QStringLiteral("PATH")},
        {QStringLiteral("offset"),
         QStringLiteral("Move every record time by SECONDS (the protocol time offset)."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("frequency"),
         QStringLiteral("Set the carrier frequency of every record of kinds 0 to 4 to HZ."),
         QStringLiteral("HZ")},
        {{QStringLiteral("d"), QStringLiteral("directory")},
         QStringLiteral("Write the parts into DIR."),
         QStringLiteral("DIR")},
        {QStringLiteral("overwrite"), QStringLiteral("Replace parts and manifests that exist.")},
        {QStringLiteral("plan"), QStringLiteral("Write nothing; print the parts a split would "
                                                "write.")},
        {QStringLiteral("json"), QStringLiteral("Print one JSON document per source.")},
        {QStringLiteral("manifest"),
         QStringLiteral("Write <base>.manifest.json beside the parts: the source, the settings, "
                        "each part's size and SHA-256 and its record stream's, and one digest "
                        "of all parts' record streams in order (\"bvftool verify --manifest\", "
                        "\"bvftool merge --manifest\").")},
    });
    // --period takes two values, which the parser cannot: they are taken out first.
    QStringList clRest = clArguments;
    StructSplitOptions clOptions;
    bool bFromMinutes = false;
    bool bToMinutes = false;
    for (qsizetype i = 1; i < clRest.size(); ++i) {
        if (clRest[i] == QStringLiteral("--"))
            break;
        if (clRest[i] != QStringLiteral("--period"))
            continue;
        if (i + 2 >= clRest.size()) {
            clCommand.Fail(QStringLiteral("--period needs FROM and TO"));
            return kExitUsage;
        }
        clOptions.periodFrom = ParseUtc(clRest[i + 1], bFromMinutes);
        clOptions.periodTo = ParseUtc(clRest[i + 2], bToMinutes);
        if (!clOptions.periodFrom || !clOptions.periodTo) {
            clCommand.Fail(QStringLiteral("--period wants \"yyyy-MM-dd hh:mm[:ss]\" twice"));
            return kExitUsage;
        }
        clOptions.given.insert(QStringLiteral("period"),
                               QJsonArray{clRest[i + 1].trimmed(), clRest[i + 2].trimmed()});
        clRest.remove(i, 3);
        --i;
    }
    if (const std::optional<int> clEnd = clCommand.Parse(clRest))
        return *clEnd == kExitOk ? kExitOk : kExitUsage;
    const auto Usage = [&clCommand](const QString &clstrProblem) {
        clCommand.Fail(clstrProblem);
        return kExitUsage;
    };

    for (const QString &clstrName :
         {QStringLiteral("by-time"), QStringLiteral("parts"), QStringLiteral("naming"),
          QStringLiteral("fixed-name"), QStringLiteral("offset"), QStringLiteral("frequency")}) {
        if (clParser.isSet(clstrName))
            clOptions.given.insert(clstrName, clParser.value(clstrName));
    }
    for (const QString &clstrName : {QStringLiteral("align"), QStringLiteral("local")})
        clOptions.given.insert(clstrName, clParser.isSet(clstrName));

    StructSplitTabValues &clTab = clOptions.tab;
    // The period comes cut to the second, as the split tab's fields give it.
    clTab.minutePrecision = false;
    const int lModes = (clParser.isSet(QStringLiteral("by-time")) ? 1 : 0) +
                       (clOptions.periodFrom ? 1 : 0) +
                       (clParser.isSet(QStringLiteral("parts")) ? 1 : 0);
    if (lModes != 1)
        return Usage(QStringLiteral("give exactly one of --by-time, --period, --parts"));
    if (clParser.isSet(QStringLiteral("by-time"))) {
        const QTime clLength =
            QTime::fromString(clParser.value(QStringLiteral("by-time")), QStringLiteral("hh:mm"));
        if (!clLength.isValid())
            return Usage(QStringLiteral("--by-time wants HH:MM, 00:00 to 23:59"));
        clTab.splitTypeId = SPLIT_BY_TIME;
        clTab.lengthHours = clLength.hour();
        clTab.lengthMinutes = clLength.minute();
    } else if (clOptions.periodFrom) {
        clTab.splitTypeId = SPLIT_BY_PERIOD;
        if (*clOptions.periodTo < *clOptions.periodFrom) {
            std::swap(clOptions.periodFrom, clOptions.periodTo);
            std::swap(bFromMinutes, bToMinutes);
        }
        // The last minute shown without seconds is included whole.
        if (bToMinutes)
            clOptions.periodTo = clOptions.periodTo->addSecs(59);
    } else {
        bool bOk = false;
        const int lParts = clParser.value(QStringLiteral("parts")).toInt(&bOk);
        if (!bOk || lParts < 2 || lParts > kMaxParts)
            return Usage(QStringLiteral("--parts wants a number from 2 to %1").arg(kMaxParts));
        clTab.splitTypeId = SPLIT_BY_NUMBER;
        clTab.partCount = lParts;
    }
    clTab.alignChecked = clParser.isSet(QStringLiteral("align"));
    if (clTab.alignChecked && clTab.splitTypeId != SPLIT_BY_TIME)
        return Usage(QStringLiteral("--align goes with --by-time only"));
    clTab.showUtc = !clParser.isSet(QStringLiteral("local"));
    if (clParser.isSet(QStringLiteral("naming"))) {
        bool bOk = false;
        const uint lScheme = clParser.value(QStringLiteral("naming")).toUInt(&bOk);
        if (!bOk || lScheme >= kStandardNamingSchemes)
            return Usage(QStringLiteral("--naming wants a number from 0 to 9"));
        clTab.schemeIndex = lScheme;
    }
    if (clParser.isSet(QStringLiteral("fixed-name"))) {
        if (clTab.splitTypeId != SPLIT_BY_PERIOD ||
            clParser.value(QStringLiteral("fixed-name")).isEmpty() ||
            clParser.isSet(QStringLiteral("naming")))
            return Usage(QStringLiteral("--fixed-name PATH goes with --period only, without "
                                        "--naming"));
        clTab.schemeIndex = kFixedNameScheme;
        clTab.fixedNameText = clParser.value(QStringLiteral("fixed-name"));
    }
    if (clParser.isSet(QStringLiteral("offset"))) {
        bool bOk = false;
        clOptions.offset = clParser.value(QStringLiteral("offset")).toLongLong(&bOk);
        if (!bOk)
            return Usage(QStringLiteral("--offset wants whole seconds"));
    }
    if (clParser.isSet(QStringLiteral("frequency"))) {
        bool bOk = false;
        const int lHz = clParser.value(QStringLiteral("frequency")).toInt(&bOk);
        if (!bOk || lHz < 0)
            return Usage(QStringLiteral("--frequency wants a number of Hz"));
        clTab.frequencyChecked = true;
        clTab.frequencyText = QString::number(lHz);
    }
    clOptions.directory = clParser.value(QStringLiteral("directory"));
    clOptions.overwrite = clParser.isSet(QStringLiteral("overwrite"));
    clOptions.plan = clParser.isSet(QStringLiteral("plan"));
    clOptions.json = clParser.isSet(QStringLiteral("json"));
    clOptions.manifest = clParser.isSet(QStringLiteral("manifest"));
    if (clOptions.manifest && clOptions.plan)
        return Usage(QStringLiteral("--plan writes nothing, no manifest either"));
    const QStringList clSources = clParser.positionalArguments();
    if (clSources.isEmpty())
        return Usage(QStringLiteral("no source given"));
    if (!clOptions.directory.isEmpty() && !QFileInfo(clOptions.directory).isDir()) {
        PrintFileError(clOptions.directory, QStringLiteral("is not a folder"));
        return kExitFailed;
    }

    int lExit = kExitOk;
    for (const QString &clstrSource : clSources) {
        if (!SplitSource(clstrSource, clOptions))
            lExit = kExitFailed;
    }
    return lExit;
}
