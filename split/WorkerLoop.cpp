#include "WorkerLoop.h"

#include "OpenFileFormat.h"
#include "Tick.h"

#include <string>

void ReaderCloser::operator()(CVirtualFileFormat *pReader) const {
    pReader->CloseFile();
    delete pReader;
}

SourceReader OpenSource(const QString &clstrPath, FileHeaderInfo &clInfo) {
    const std::wstring clstrWide = clstrPath.toStdWString();
    return SourceReader(OpenFileFormat(clstrWide.c_str(), clInfo).release());
}

CSourceRecords::CSourceRecords(CVirtualFileFormat &clReader)
    : m_clReader(clReader), m_lPositionAtDamage(clReader.GetFileSize(false)) {}

SourceStep CSourceRecords::Next(RawRecord &clRecord) {
    for (;;) {
        m_enLast = m_clReader.ReadData(clRecord);
        switch (m_enLast) {
        case FILE_OK:
            return SourceStep::Record;
        case FILE_DAMAGED: {
            // The records after a damaged one belong to the source as much as
            // those before it.
            const uint64_t lPosition = m_clReader.GetFileSize(false);
            if (lPosition <= m_lPositionAtDamage)
                return SourceStep::End;
            m_lPositionAtDamage = lPosition;
            ++m_lDamagedSkipped;
            continue;
        }
        case FILE_END_OF_DATA:
            return SourceStep::End;
        case FILE_NO_DATA_YET:
            return m_clReader.IsOnlineFile() ? SourceStep::End : SourceStep::Failed;
        default:
            return SourceStep::Failed;
        }
    }
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
