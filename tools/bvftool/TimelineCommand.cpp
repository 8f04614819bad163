// bvftool timeline: the recordings as a plain SVG picture, one row per file
// grouped by recording, with density bars, gaps and overlaps. Its classes and
// data attributes are meant to be read back by scripts.
#include "Commands.h"
#include "FileSurvey.h"
#include "JoinFileData.h"
#include "RecordFields.h"
#include "ToolCommon.h"

#include <QFile>
#include <QMap>
#include <QXmlStreamWriter>

#include <algorithm>

namespace {

constexpr int kExitUsage = 2;
constexpr int64_t kDefaultGapSeconds = 60;
constexpr int kDefaultWidth = 1000;
constexpr int kMargin = 10;
constexpr int kHeadHeight = 20;
constexpr int kRowHeight = 24;
constexpr int kBarHeight = 18;
constexpr int64_t kMinuteMs = 60000;

struct StructTimelineFile {
    QString path;
    int64_t firstMs = 0;
    int64_t lastMs = 0;
    QList<StructTimeGap> gaps;
    QMap<int64_t, int64_t> perMinute; // records per minute (ms of its start)
};

struct StructSpan {
    int64_t fromMs;
    int64_t toMs;
};

// Stretches without records of a whole recording, across its files: each
// file covers its span except its own gaps.
QList<StructSpan> RecordingGaps(const QList<StructTimelineFile> &clFiles, int64_t lGapMs) {
    QList<StructSpan> clCovered;
    for (const StructTimelineFile &clFile : clFiles) {
        int64_t lFrom = clFile.firstMs;
        for (const StructTimeGap &clGap : clFile.gaps) {
            clCovered << StructSpan{lFrom, clGap.fromMs};
            lFrom = clGap.toMs;
        }
        clCovered << StructSpan{lFrom, clFile.lastMs};
    }
    std::sort(clCovered.begin(), clCovered.end(),
              [](const StructSpan &a, const StructSpan &b) { return a.fromMs < b.fromMs; });
    QList<StructSpan> clGaps;
    int64_t lEnd = clCovered.isEmpty() ? 0 : clCovered.first().toMs;
    for (const StructSpan &clSpan : clCovered) {
        if (clSpan.fromMs - lEnd > lGapMs)
            clGaps << StructSpan{lEnd, clSpan.fromMs};
        lEnd = std::max(lEnd, clSpan.toMs);
    }
    return clGaps;
}

QList<StructSpan> RecordingOverlaps(const QList<StructTimelineFile> &clFiles) {
    QList<StructSpan> clOverlaps;
    for (qsizetype i = 0; i < clFiles.size(); ++i) {
        for (qsizetype j = i + 1; j < clFiles.size(); ++j) {
            const int64_t lFrom = std::max(clFiles[i].firstMs, clFiles[j].firstMs);
            const int64_t lTo = std::min(clFiles[i].lastMs, clFiles[j].lastMs);
            if (lTo > lFrom)
                clOverlaps << StructSpan{lFrom, lTo};
        }
    }
    return clOverlaps;
}

class CSvgTimeline {
  public:
    CSvgTimeline(QXmlStreamWriter &clXml, int lWidth, int64_t lFirstMs, int64_t lLastMs)
        : m_clXml(clXml), m_lWidth(lWidth), m_lFirstMs(lFirstMs),
          m_lSpanMs(std::max<int64_t>(1, lLastMs - lFirstMs)) {}

    double X(int64_t lMs) const {
        return kMargin + double(lMs - m_lFirstMs) / double(m_lSpanMs) * (m_lWidth - 2 * kMargin);
    }

    void Rect(const QString &clstrClass, double dX, double dY, double dW, double dH,
              const QString &clstrFill) {
        m_clXml.writeStartElement(QStringLiteral("rect"));
        m_clXml.writeAttribute(QStringLiteral("class"), clstrClass);
        m_clXml.writeAttribute(QStringLiteral("x"), QString::number(dX, 'f', 2));
        m_clXml.writeAttribute(QStringLiteral("y"), QString::number(dY, 'f', 2));
        m_clXml.writeAttribute(QStringLiteral("width"), QString::number(std::max(dW, 1.0), 'f', 2));
        m_clXml.writeAttribute(QStringLiteral("height"), QString::number(dH, 'f', 2));
        m_clXml.writeAttribute(QStringLiteral("fill"), clstrFill);
    }

    void Span(const QString &clstrClass, const StructSpan &clSpan, double dY, double dH,
              const QString &clstrFill) {
        Rect(clstrClass, X(clSpan.fromMs), dY, X(clSpan.toMs) - X(clSpan.fromMs), dH, clstrFill);
        m_clXml.writeAttribute(QStringLiteral("data-from"), QString::number(clSpan.fromMs));
        m_clXml.writeAttribute(QStringLiteral("data-to"), QString::number(clSpan.toMs));
        m_clXml.writeEndElement();
    }

    void Text(double dX, double dY, const QString &clstrText) {
        m_clXml.writeStartElement(QStringLiteral("text"));
        m_clXml.writeAttribute(QStringLiteral("x"), QString::number(dX, 'f', 2));
        m_clXml.writeAttribute(QStringLiteral("y"), QString::number(dY, 'f', 2));
        m_clXml.writeAttribute(QStringLiteral("font-size"), QStringLiteral("11"));
        m_clXml.writeCharacters(clstrText);
        m_clXml.writeEndElement();
    }

    // One recording from lTop; returns its height.
    int Recording(uint64_t lMagic, const QList<StructTimelineFile> &clFiles, int64_t lGapMs,
                  int lTop) {
        const int lHeight = kHeadHeight + int(clFiles.size()) * kRowHeight;
        m_clXml.writeStartElement(QStringLiteral("g"));
        m_clXml.writeAttribute(QStringLiteral("class"), QStringLiteral("recording"));
        m_clXml.writeAttribute(QStringLiteral("data-magic"), JoinMagicText(lMagic));
        Text(kMargin, lTop + 14, JoinMagicText(lMagic));
        const int lRows = lTop + kHeadHeight;
        for (const StructSpan &clGap : RecordingGaps(clFiles, lGapMs))
            Span(QStringLiteral("gap"), clGap, lRows, lHeight - kHeadHeight,
                 QStringLiteral("#ff9b00"));
        for (const StructSpan &clOverlap : RecordingOverlaps(clFiles))
            Span(QStringLiteral("overlap"), clOverlap, lRows, lHeight - kHeadHeight,
                 QStringLiteral("#ffff00"));
        for (qsizetype i = 0; i < clFiles.size(); ++i)
            File(clFiles[i], lRows + int(i) * kRowHeight);
        m_clXml.writeEndElement();
        return lHeight;
    }

  private:
    void File(const StructTimelineFile &clFile, int lTop) {
        const double dTop = lTop + (kRowHeight - kBarHeight) / 2.0;
        Rect(QStringLiteral("file"), X(clFile.firstMs), dTop, X(clFile.lastMs) - X(clFile.firstMs),
             kBarHeight, QStringLiteral("#d6e2f0"));
        m_clXml.writeAttribute(QStringLiteral("data-file"), clFile.path);
        m_clXml.writeAttribute(QStringLiteral("data-from"), QString::number(clFile.firstMs));
        m_clXml.writeAttribute(QStringLiteral("data-to"), QString::number(clFile.lastMs));
        m_clXml.writeEndElement();
        int64_t lMost = 1;
        for (int64_t lCount : clFile.perMinute)
            lMost = std::max(lMost, lCount);
        for (auto clAt = clFile.perMinute.cbegin(); clAt != clFile.perMinute.cend(); ++clAt) {
            const double dHeight = double(clAt.value()) / double(lMost) * kBarHeight;
            // Inside the file's bar: its first and last minute are partly outside.
            const int64_t lFrom = std::max(clAt.key(), clFile.firstMs);
            const int64_t lTo = std::max(lFrom, std::min(clAt.key() + kMinuteMs, clFile.lastMs));
            Rect(QStringLiteral("density"), X(lFrom), dTop + kBarHeight - dHeight,
                 X(lTo) - X(lFrom), dHeight, QStringLiteral("#3c6eb4"));
            m_clXml.writeAttribute(QStringLiteral("data-from"), QString::number(clAt.key()));
            m_clXml.writeAttribute(QStringLiteral("data-records"), QString::number(clAt.value()));
            m_clXml.writeEndElement();
        }
        Text(X(clFile.firstMs) + 2, dTop + kBarHeight - 5, clFile.path);
    }

    QXmlStreamWriter &m_clXml;
    int m_lWidth;
    int64_t m_lFirstMs;
    int64_t m_lSpanMs;
};

} // namespace

int RunTimeline(const QStringList &clArguments) {
    CCommandParser clCommand(
        QStringLiteral("timeline"),
        QStringLiteral("Draws recordings as an SVG timeline: one row per file, grouped by "
                       "recording (file magic), with records per minute, the gaps longer than "
                       "--gap and the overlaps of files of one recording. Each file's bar has "
                       "class \"file\" with data-file, data-from and data-to (first and last "
                       "record time, milliseconds since 1970 UTC); gaps and overlaps have class "
                       "\"gap\" and \"overlap\" with data-from and data-to.\n"
                       "Exit status: 0 drawn, 1 a file could not be read (nothing is written) "
                       "or the picture could not be written, 2 a usage error."));
    QCommandLineParser &clParser = clCommand.Parser();
    clParser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("Recordings to draw."),
                                   QStringLiteral("FILE..."));
    clParser.addOptions({
        {{QStringLiteral("o"), QStringLiteral("output")},
         QStringLiteral("The SVG file to write."),
         QStringLiteral("OUT.svg")},
        {QStringLiteral("gap"),
         QStringLiteral("Mark stretches without records longer than this (default %1).")
             .arg(kDefaultGapSeconds),
         QStringLiteral("SECONDS")},
        {QStringLiteral("width"),
         QStringLiteral("Width of the picture in pixels (default %1).").arg(kDefaultWidth),
         QStringLiteral("PX")},
    });
    if (const std::optional<int> clEnd = clCommand.Parse(clArguments))
        return *clEnd == kExitOk ? kExitOk : kExitUsage;
    const QStringList clPaths = clParser.positionalArguments();
    if (clPaths.isEmpty()) {
        clCommand.Fail(QStringLiteral("no file given"));
        return kExitUsage;
    }
    const QString clstrOut = clParser.value(QStringLiteral("output"));
    if (clstrOut.isEmpty()) {
        clCommand.Fail(QStringLiteral("-o OUT.svg is needed"));
        return kExitUsage;
    }
    bool bOk = true;
    const int64_t lGapSeconds = clParser.isSet(QStringLiteral("gap"))
                                    ? clParser.value(QStringLiteral("gap")).toLongLong(&bOk)
                                    : kDefaultGapSeconds;
    if (!bOk || lGapSeconds < 0 || lGapSeconds > 1000000000) {
        clCommand.Fail(QStringLiteral("--gap needs a whole number of seconds"));
        return kExitUsage;
    }
    const int lWidth = clParser.isSet(QStringLiteral("width"))
                           ? clParser.value(QStringLiteral("width")).toInt(&bOk)
                           : kDefaultWidth;
    if (!bOk || lWidth < 100 || lWidth > 100000) {
        clCommand.Fail(QStringLiteral("--width needs a whole number of pixels, 100 to 100000"));
        return kExitUsage;
    }

    int lExit = kExitOk;
    QList<uint64_t> clOrder; // recordings in the order their first file was named
    QMap<uint64_t, QList<StructTimelineFile>> clRecordings;
    bool bAnyTime = false;
    int64_t lFirstMs = 0;
    int64_t lLastMs = 0;
    for (const QString &clstrPath : clPaths) {
        StructTimelineFile clFile;
        clFile.path = clstrPath;
        const StructFileSurvey clSurvey =
            SurveyFile(clstrPath, lGapSeconds * 1000, false, [&clFile](const RawRecord &clRecord) {
                if (const std::optional<int64_t> clMs = RecordTimeMilliseconds(clRecord))
                    ++clFile.perMinute[*clMs - ((*clMs % kMinuteMs) + kMinuteMs) % kMinuteMs];
                return true;
            });
        if (!clSurvey.opened || clSurvey.readFailed) {
            PrintFileError(clstrPath, clSurvey.opened
                                          ? QStringLiteral("reading stopped with an error")
                                          : CannotOpenText(clstrPath));
            lExit = kExitFailed;
            continue;
        }
        // A file without a time stamp has nothing to place on the axis.
        if (!clSurvey.hasTime)
            continue;
        clFile.firstMs = clSurvey.firstMs;
        clFile.lastMs = clSurvey.lastMs;
        clFile.gaps = clSurvey.gaps;
        const uint64_t lMagic = clSurvey.header.fileMagic;
        if (!clRecordings.contains(lMagic))
            clOrder << lMagic;
        clRecordings[lMagic] << clFile;
        lFirstMs = bAnyTime ? std::min(lFirstMs, clFile.firstMs) : clFile.firstMs;
        lLastMs = bAnyTime ? std::max(lLastMs, clFile.lastMs) : clFile.lastMs;
        bAnyTime = true;
    }

    // Nothing is written for a list the picture could not show whole.
    if (lExit != kExitOk)
        return lExit;
    QFile clOut(clstrOut);
    if (!clOut.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        PrintFileError(clstrOut, QStringLiteral("cannot be written: %1").arg(clOut.errorString()));
        return kExitFailed;
    }
    int lHeight = 2 * kMargin;
    for (uint64_t lMagic : clOrder)
        lHeight += kHeadHeight + int(clRecordings[lMagic].size()) * kRowHeight;
    QXmlStreamWriter clXml(&clOut);
    clXml.setAutoFormatting(true);
    clXml.writeStartDocument();
    clXml.writeStartElement(QStringLiteral("svg"));
    clXml.writeDefaultNamespace(QStringLiteral("http://www.w3.org/2000/svg"));
    clXml.writeAttribute(QStringLiteral("width"), QString::number(lWidth));
    clXml.writeAttribute(QStringLiteral("height"), QString::number(lHeight));
    clXml.writeAttribute(QStringLiteral("data-gap"), QString::number(lGapSeconds * 1000));
    CSvgTimeline clTimeline(clXml, lWidth, lFirstMs, lLastMs);
    int lTop = kMargin;
    for (uint64_t lMagic : clOrder)
        lTop += clTimeline.Recording(lMagic, clRecordings[lMagic], lGapSeconds * 1000, lTop);
    clXml.writeEndElement();
    clXml.writeEndDocument();
    if (!clOut.flush() || clXml.hasError()) {
        PrintFileError(clstrOut, QStringLiteral("cannot be written"));
        return kExitFailed;
    }
    return kExitOk;
}
