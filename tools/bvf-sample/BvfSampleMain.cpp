// bvf-sample: writes a generated sample recording as a split-file container,
// or as a TMW recording when the name ends in ".tmw" or ".lan".
// Exit codes: 0 written, 1 bad arguments, 2 the file could not be written.
#include "SampleGenerator.h"
#include "TmwSample.h"
#include "VirtualFileFormat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QTime>
#include <QTimeZone>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kExitBadArguments = 1;
constexpr int kExitWriteFailed = 2;

int Fail(const QCommandLineParser &clParser, const QString &clstrProblem) {
    std::fprintf(stderr, "bvf-sample: %s\n\n%s", qPrintable(clstrProblem),
                 qPrintable(clParser.helpText()));
    return kExitBadArguments;
}

// An unsigned integer option within [lLow, lHigh]; absent leaves lValue.
bool ReadNumber(const QCommandLineParser &clParser, const QString &clstrName, uint64_t lLow,
                uint64_t lHigh, uint64_t &lValue) {
    if (!clParser.isSet(clstrName))
        return true;
    bool bOk = false;
    const qulonglong lRead = clParser.value(clstrName).trimmed().toULongLong(&bOk, 0);
    if (!bOk || lRead < lLow || lRead > lHigh)
        return false;
    lValue = lRead;
    return true;
}

// "yyyy-MM-dd hh:mm:ss" as UTC; date and time are parsed apart so that no
// local-time rule can reject a valid UTC time.
bool ReadStart(const QString &clstrText, int64_t &lSeconds) {
    const QStringList clParts = clstrText.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (clParts.size() != 2)
        return false;
    const QDate clDate = QDate::fromString(clParts[0], QStringLiteral("yyyy-MM-dd"));
    const QTime clTime = QTime::fromString(clParts[1], QStringLiteral("hh:mm:ss"));
    if (!clDate.isValid() || !clTime.isValid() || clDate.year() < 1970)
        return false;
    lSeconds = QDateTime(clDate, clTime, QTimeZone::utc()).toSecsSinceEpoch();
    return true;
}

QString FormatTime(int64_t lMicroseconds) {
    return QDateTime::fromMSecsSinceEpoch(lMicroseconds / 1000, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

// What went wrong, by the step that failed and the writer's result.
std::string DescribeFailure(const StructSampleOutcome &clOutcome) {
    const std::string clstrStep = clOutcome.pFailedStep;
    switch (clOutcome.enResult) {
    case FILE_WRONG_STATE:
        return "the file cannot be created";
    case FILE_WRITE_FAILED:
        return clstrStep == "create"  ? "writing the header failed"
               : clstrStep == "close" ? "writing the last records failed"
                                      : "writing records failed";
    case FILE_NO_DATA_YET:
        return "the file keeps accepting only part of the data";
    case FILE_NO_BUFFER:
        return "the writer has no buffer";
    default:
        return "the writer refused a record (result " + std::to_string(int(clOutcome.enResult)) +
               ")";
    }
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication clApp(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bvf-sample"));

    QCommandLineParser clParser;
    clParser.setApplicationDescription(QStringLiteral(
        "Writes a generated sample recording: a split-file container of TETRA, DMR, GSM, "
        "generic and notice records, or, when the name ends in .tmw or .lan (any case), a "
        "TMW recording: .tmw holds TETRA frames, .lan TETRA frame and extended entries "
        "(--kinds tetra, the default there) or DMR frames (--kinds dmr). The same seed "
        "gives the same file."));
    clParser.addHelpOption();
    clParser.addPositionalArgument(QStringLiteral("OUT"),
                                   QStringLiteral("File to write (.bvf, .tmw or .lan)."));
    clParser.addOptions({
        {QStringLiteral("start"), QStringLiteral("Start time, UTC (default 2024-05-06 08:00:00)."),
         QStringLiteral("yyyy-MM-dd hh:mm:ss")},
        {QStringLiteral("minutes"),
         QStringLiteral("Length of the recording in minutes (default %1).")
             .arg(kDefaultSampleMinutes),
         QStringLiteral("N")},
        {QStringLiteral("rate"),
         QStringLiteral("Records per second; frames or entries per second in .tmw and .lan "
                        "files (default %1).")
             .arg(kDefaultSampleRate),
         QStringLiteral("RECORDS_PER_SECOND")},
        {QStringLiteral("kinds"),
         QStringLiteral("Comma-separated record kinds: tetra,aux,ext,dmr,gsm,generic,notice "
                        "(default all). Each one appears at least once. A .tmw file takes "
                        "tetra only, a .lan file tetra (default) or dmr."),
         QStringLiteral("LIST")},
        {QStringLiteral("magic"),
         QStringLiteral("File magic in hexadecimal (default derived from the seed); containers "
                        "only."),
         QStringLiteral("HEX")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the generator (default 1)."),
         QStringLiteral("N")},
        {QStringLiteral("size-mib"),
         QStringLiteral("Write until the file has about N MiB; --minutes is then ignored."),
         QStringLiteral("N")},
        {QStringLiteral("network-offset"),
         QStringLiteral("Add network-time broadcasts telling the record's time plus SECONDS "
                        "(may be negative), as the stand-in protocol component reads them; "
                        "containers only."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("records"),
         QStringLiteral("Write at most N records (frames or entries in .tmw and .lan files), "
                        "for small test files."),
         QStringLiteral("N")},
    });

    if (!clParser.parse(QCoreApplication::arguments()))
        return Fail(clParser, clParser.errorText());
    if (clParser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(clParser.helpText()), stdout);
        return 0;
    }
    const QStringList clPositional = clParser.positionalArguments();
    if (clPositional.size() != 1)
        return Fail(clParser, QStringLiteral("exactly one output file is needed"));
    const QString clstrPath = clPositional[0];
    const std::wstring clstrWidePath = clstrPath.toStdWString();
    if (clstrWidePath.empty() || clstrWidePath.size() > size_t(kMaxPathChars))
        return Fail(
            clParser,
            QStringLiteral("the output path must have 1 to %1 characters").arg(kMaxPathChars));

    StructSampleSettings clSettings;
    clSettings.lKinds = DefaultSampleKinds(clstrWidePath.c_str());
    if (clParser.isSet(QStringLiteral("start")) &&
        !ReadStart(clParser.value(QStringLiteral("start")), clSettings.lStartTime))
        return Fail(clParser, QStringLiteral("--start needs a UTC time \"yyyy-MM-dd hh:mm:ss\" "
                                             "from 1970 on"));
    uint64_t lValue = uint64_t(clSettings.lMinutes);
    if (!ReadNumber(clParser, QStringLiteral("minutes"), 1, 1000000, lValue))
        return Fail(clParser, QStringLiteral("--minutes needs a whole number from 1 to 1000000"));
    clSettings.lMinutes = int64_t(lValue);
    lValue = clSettings.lRate;
    if (!ReadNumber(clParser, QStringLiteral("rate"), 1, 1000000, lValue))
        return Fail(clParser, QStringLiteral("--rate needs a whole number from 1 to 1000000"));
    clSettings.lRate = uint32_t(lValue);
    if (!ReadNumber(clParser, QStringLiteral("seed"), 0, UINT64_MAX, clSettings.lSeed))
        return Fail(clParser, QStringLiteral("--seed needs an unsigned 64-bit number"));
    lValue = 0;
    if (!ReadNumber(clParser, QStringLiteral("size-mib"), 1, 1048576, lValue))
        return Fail(clParser, QStringLiteral("--size-mib needs a whole number from 1 to 1048576"));
    clSettings.lTargetBytes = lValue << 20;
    if (!ReadNumber(clParser, QStringLiteral("records"), 1, UINT64_MAX, clSettings.lRecordLimit))
        return Fail(clParser, QStringLiteral("--records needs a whole number from 1 on"));
    if (clParser.isSet(QStringLiteral("network-offset"))) {
        bool bOk = false;
        const qlonglong lOffset =
            clParser.value(QStringLiteral("network-offset")).trimmed().toLongLong(&bOk, 10);
        if (!bOk || lOffset < -kMaxNetworkOffset || lOffset > kMaxNetworkOffset)
            return Fail(clParser, QStringLiteral("--network-offset needs a whole number of "
                                                 "seconds from -%1 to %1")
                                      .arg(kMaxNetworkOffset));
        clSettings.bNetworkTime = true;
        clSettings.lNetworkOffset = lOffset;
    }
    if (clParser.isSet(QStringLiteral("kinds")) &&
        !ParseSampleKinds(clParser.value(QStringLiteral("kinds")).toStdString(), clSettings.lKinds))
        return Fail(clParser, QStringLiteral("--kinds needs a list of "
                                             "tetra,aux,ext,dmr,gsm,generic,notice"));
    if (clParser.isSet(QStringLiteral("magic"))) {
        QString clstrMagic = clParser.value(QStringLiteral("magic")).trimmed();
        if (clstrMagic.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
            clstrMagic.remove(0, 2);
        bool bOk = clstrMagic.size() >= 1 && clstrMagic.size() <= 16;
        for (const QChar clChar : clstrMagic)
            bOk = bOk && clChar.unicode() < 128 && std::isxdigit(clChar.unicode());
        if (!bOk)
            return Fail(clParser, QStringLiteral("--magic needs 1 to 16 hexadecimal digits"));
        clSettings.lMagic = clstrMagic.toULongLong(&bOk, 16);
        clSettings.bMagicGiven = true;
    }
    SampleFormat enFormat = SampleFormat::Container;
    std::string clstrProblem;
    if (!ChooseSampleFormat(clstrWidePath.c_str(), clSettings.lKinds, enFormat, clstrProblem) ||
        !CheckSampleSettings(enFormat, clSettings, clstrProblem))
        return Fail(clParser, QString::fromStdString(clstrProblem));

    const StructSampleOutcome clOutcome =
        enFormat == SampleFormat::Container
            ? WriteSampleRecording(clstrWidePath.c_str(), clSettings)
            : WriteTmwSampleRecording(clstrWidePath.c_str(), clSettings, enFormat);
    if (clOutcome.enResult != FILE_OK) {
        const int lError = clOutcome.lErrno;
        std::fprintf(stderr, "bvf-sample: cannot write %s: %s%s%s\n", qPrintable(clstrPath),
                     DescribeFailure(clOutcome).c_str(), lError ? ": " : "",
                     lError ? std::strerror(lError) : "");
        return kExitWriteFailed;
    }

    const qint64 lBytes = QFileInfo(clstrPath).size();
    const QString clstrSpan = clOutcome.bHasTime
                                  ? FormatTime(clOutcome.lFirstTime) + QStringLiteral(" to ") +
                                        FormatTime(clOutcome.lLastTime) + QStringLiteral(" UTC")
                                  : QStringLiteral("no time stamps");
    if (enFormat == SampleFormat::Container) {
        std::printf("bvf-sample: %s: %llu records, %lld bytes, %s\n", qPrintable(clstrPath),
                    static_cast<unsigned long long>(clOutcome.lRecords),
                    static_cast<long long>(lBytes), qPrintable(clstrSpan));
        return 0;
    }
    // A TMW recording: the records are what a reader makes of its frames.
    std::printf("bvf-sample: %s: %llu records in %llu %s, %lld bytes, %s\n", qPrintable(clstrPath),
                static_cast<unsigned long long>(clOutcome.lRecords),
                static_cast<unsigned long long>(clOutcome.lFrames),
                enFormat == SampleFormat::LanTetra ? "entries" : "frames",
                static_cast<long long>(lBytes), qPrintable(clstrSpan));
    if (clOutcome.bTimeLimitReached)
        std::fprintf(stderr,
                     "bvf-sample: %s: stopped before the size was reached, at the last time "
                     "the format can hold\n",
                     qPrintable(clstrPath));
    return 0;
}
