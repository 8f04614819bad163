#include "WorkerLoop.h"

#include "BrennovarstikFileFormatV1.h"
#include "FileSystem.h"
#include "OpenFileFormat.h"
#include "Tick.h"

#include <algorithm>
#include <string>
#include <utility>

void ReaderCloser::operator()(CVirtualFileFormat *pReader) const {
    pReader->CloseFile();
    delete pReader;
}

SourceReader OpenSource(const QString &clstrPath, FileHeaderInfo &clInfo) {
    const std::wstring clstrWide = clstrPath.toStdWString();
    return SourceReader(OpenFileFormat(clstrWide.c_str(), clInfo).release());
}

CSourceRecords::CSourceRecords(CVirtualFileFormat &clReader, ReaderDiagnosticsCallback fnAlso)
    : m_clReader(clReader), m_pDiagnostics(dynamic_cast<CReaderDiagnostics *>(&clReader)),
      m_lPositionAtDamage(clReader.GetFileSize(false)) {
    if (m_pDiagnostics == nullptr)
        return;
    m_pDiagnostics->SetDiagnostics(
        [this, fnAlso = std::move(fnAlso)](const StructReaderDiagnostic &clDiagnostic) {
            if (clDiagnostic.kind == ReaderDamage::RefusedRecord)
                ++m_lRefusedReported;
            else
                m_lBytesStepped += clDiagnostic.length;
            if (fnAlso)
                fnAlso(clDiagnostic);
        });
}

CSourceRecords::~CSourceRecords() {
    if (m_pDiagnostics != nullptr)
        m_pDiagnostics->SetDiagnostics(nullptr);
}

SourceStep CSourceRecords::Next(RawRecord &clRecord) {
    SourceStep enStep = SourceStep::Record;
    while (!Settled(m_clReader.ReadData(clRecord), enStep)) {
    }
    return enStep;
}

SourceStep CSourceRecords::NextFrame(CBrennovarstikFileFormatV1 &clContainer,
                                     StructContainerFrame &clFrame) {
    if (m_lFrameAt < m_lFrameCount) {
        clFrame = m_aFrames[m_lFrameAt++];
        return SourceStep::Record;
    }
    SourceStep enStep = SourceStep::Record;
    while (
        !Settled(clContainer.ReadFrames(m_aFrames.data(), kFramesAtOnce, m_lFrameCount), enStep)) {
    }
    m_lFrameAt = 0;
    if (enStep == SourceStep::Record)
        clFrame = m_aFrames[m_lFrameAt++];
    return enStep;
}

bool CSourceRecords::Settled(FileResult enResult, SourceStep &enStep) {
    m_enLast = enResult;
    switch (enResult) {
    case FILE_OK:
        enStep = SourceStep::Record;
        return true;
    case FILE_DAMAGED: {
        // The records after a damaged one belong to the source as much as
        // those before it.
        const uint64_t lPosition = m_clReader.GetFileSize(false);
        if (lPosition <= m_lPositionAtDamage) {
            enStep = SourceStep::End;
            return true;
        }
        m_lPositionAtDamage = lPosition;
        ++m_lDamagedSkipped;
        return false;
    }
    case FILE_END_OF_DATA:
        enStep = SourceStep::End;
        return true;
    case FILE_NO_DATA_YET:
        enStep = m_clReader.IsOnlineFile() ? SourceStep::End : SourceStep::Failed;
        return true;
    default:
        enStep = SourceStep::Failed;
        return true;
    }
}

uint8_t OutputFlags(const wchar_t *clstrPath, bool bReplaceAgreed) {
    // An output never lands where a link at its name points, nor takes a name
    // another writer has just taken.
    const bool bReplace = bReplaceAgreed && PlatformPathExists(clstrPath);
    return CBrennovarstikFileFormatV1::kFlagKeep |
           (bReplace ? CBrennovarstikFileFormatV1::kFlagReplaceExisting
                     : CBrennovarstikFileFormatV1::kFlagCreateNew);
}

CWorkerPacer::CWorkerPacer(const CPlatformEvent &clStop)
    : m_clStop(clStop), m_lNextReport(PlatformTickCount64() + 50) {}

bool CWorkerPacer::ProgressDue() {
    const uint64_t lNow = PlatformTickCount64();
    if (lNow + 100 <= m_lNextReport)
        return false;
    m_lNextReport = lNow + 150;
    return true;
}

int ProgressCode(double dPercent) {
    if (!(dPercent > 0))
        return 0;
    const double dCode = dPercent * 10;
    return dCode < 1000 ? int(dCode) : 0;
}
