#include "FileSurvey.h"

#include "BrennovarstikFileFormatV1.h"
#include "ContainerCodec.h"
#include "ProprietaryTmwFileFormatV1.h"
#include "RecordFields.h"
#include "TmwFileFormatV1.h"
#include "ToolCommon.h"
#include "WorkerLoop.h"

#include <QFileInfo>

#include <algorithm>

namespace {

void NoteFormat(CVirtualFileFormat &clReader, StructFileSurvey &clSurvey) {
    if (const auto *pContainer = dynamic_cast<const CBrennovarstikFileFormatV1 *>(&clReader)) {
        clSurvey.format = QStringLiteral("container");
        clSurvey.containerVersion = pContainer->FileVersion();
    } else if (dynamic_cast<const CProprietaryTmwFileFormatV1 *>(&clReader) != nullptr) {
        clSurvey.format = QStringLiteral("tmw");
    } else if (const auto *pLan = dynamic_cast<const CTmwFileFormatV1 *>(&clReader)) {
        clSurvey.format = QStringLiteral("lan");
        switch (pLan->Mode()) {
        case CTmwFileFormatV1::STREAM_TETRA:
            clSurvey.lanStream = QStringLiteral("tetra");
            break;
        case CTmwFileFormatV1::STREAM_DMR:
            clSurvey.lanStream = QStringLiteral("dmr");
            break;
        default:
            clSurvey.lanStream = QStringLiteral("unknown");
            break;
        }
    }
}

void NoteTime(int64_t lMs, int64_t lGapMs, StructFileSurvey &clSurvey) {
    if (!clSurvey.hasTime) {
        clSurvey.hasTime = true;
        clSurvey.firstMs = lMs;
        clSurvey.lastMs = lMs;
        return;
    }
    // Against the latest time so far: records a little out of order (the
    // kinds of one recording interleave) open no gap.
    if (lGapMs >= 0 && lMs - clSurvey.lastMs > lGapMs)
        clSurvey.gaps << StructTimeGap{clSurvey.lastMs, lMs};
    clSurvey.lastMs = std::max(clSurvey.lastMs, lMs);
}

} // namespace

QString StructFileSurvey::FormatText() const {
    if (format == QStringLiteral("container"))
        return QStringLiteral("container version %1").arg(containerVersion);
    if (format == QStringLiteral("tmw"))
        return QStringLiteral(".tmw");
    if (format == QStringLiteral("lan"))
        return lanStream == QStringLiteral("unknown")
                   ? QStringLiteral(".lan (no record found)")
                   : QStringLiteral(".lan ") + lanStream.toUpper();
    return QStringLiteral("unknown");
}

StructFileSurvey SurveyFile(const QString &clstrPath, int64_t lGapMs, bool bOnline,
                            const SurveyRecordCallback &fnRecord) {
    StructFileSurvey clSurvey;
    clSurvey.path = clstrPath;
    SourceReader pReader = OpenSource(ReaderPath(clstrPath, bOnline), clSurvey.header);
    if (!pReader)
        return clSurvey;
    clSurvey.opened = true;
    clSurvey.size = QFileInfo(clstrPath).size();
    // The workers' own loop: damaged records are stepped over as they do.
    CSourceRecords clRecords(*pReader, [&clSurvey](const StructReaderDiagnostic &clDiagnostic) {
        clSurvey.diagnostics << clDiagnostic;
    });
    for (;;) {
        RawRecord clRecord{};
        const SourceStep enStep = clRecords.Next(clRecord);
        if (enStep != SourceStep::Record) {
            clSurvey.readFailed = enStep == SourceStep::Failed;
            break;
        }
        ++clSurvey.records;
        ++clSurvey.kinds[clRecord.payloadKind];
        if (clRecord.payloadKind == PAYLOAD_DMR && clRecord.payload != nullptr &&
            clRecord.payloadLength == kDmrTmvLength)
            clSurvey.dmrItemsNotInContainer +=
                DmrItemsLostInContainer(*static_cast<const DmrTmv *>(clRecord.payload));
        if (const std::optional<int64_t> clMs = RecordTimeMilliseconds(clRecord))
            NoteTime(*clMs, lGapMs, clSurvey);
        if (fnRecord && !fnRecord(clRecord)) {
            clSurvey.stopped = true;
            break;
        }
    }
    clSurvey.lastResult = int(clRecords.LastResult());
    clSurvey.damagedSkipped = clRecords.DamagedSkipped();
    NoteFormat(*pReader, clSurvey);
    return clSurvey;
}
