#include "ProprietaryTmwFileFormatV1.h"

#include "ContainerCodec.h"
#include "FormatChoice.h"

#include <cstring>
#include <cwchar>
#include <new>

namespace {

// Frame flags (offset 8).
constexpr uint8_t kHyperframeValid = 0x01;
constexpr uint8_t kMeasurementsAbsent = 0x02;
constexpr uint8_t kSecondsWithMilliseconds = 0x04;
// Data flags (offset 29): bits 0 to 2 are the converter's frameFlags bits.
constexpr uint8_t kDataFlagsKept = 0x07;

// A measurement stored in tenths, in whole units. Computed in int, so values
// near the 16-bit limits cannot overflow.
int16_t RoundedTenths(const uint8_t *p) {
    return int16_t((int16_t(ReadBe16(p)) + 5) / 10);
}

uint8_t ClampedCounter(uint8_t lValue, uint8_t lHighest) {
    if (lValue == 0)
        return 1;
    return lValue > lHighest ? lHighest : lValue;
}

} // namespace

CProprietaryTmwFileFormatV1::CProprietaryTmwFileFormatV1()
    : m_pBuffer(new (std::nothrow) uint8_t[kReadBufferSize]) {}

CProprietaryTmwFileFormatV1::~CProprietaryTmwFileFormatV1() = default;

void CProprietaryTmwFileFormatV1::DecodeFrame(const uint8_t *pFrame, TmwTetraFrame &clFrame) {
    clFrame = TmwTetraFrame{};
    clFrame.carrier = ReadBe16(pFrame);
    clFrame.band = pFrame[2];
    clFrame.burstCode = pFrame[3];
    clFrame.timeValue = ReadBe32(pFrame + 4);
    const uint8_t lFrameFlags = pFrame[8];
    clFrame.timeslot = pFrame[9];
    clFrame.frame = ClampedCounter(pFrame[10], 18);
    clFrame.multiframe = ClampedCounter(pFrame[11], 60);
    clFrame.hyperframe = ReadBe16(pFrame + 12);
    clFrame.value1First = RoundedTenths(pFrame + 14);
    clFrame.value1Second = RoundedTenths(pFrame + 16);
    clFrame.value2First = int16_t(ReadBe16(pFrame + 18));
    clFrame.value2Second = int16_t(ReadBe16(pFrame + 20));
    clFrame.value3First = int16_t(ReadBe16(pFrame + 22));
    clFrame.value3Second = int16_t(ReadBe16(pFrame + 24));
    clFrame.prefixWord = ReadBe16(pFrame + 26);
    clFrame.entryType = pFrame[28];
    const uint8_t lDataFlags = pFrame[29];
    std::memcpy(clFrame.data, pFrame + 30, kTmwFrameDataSize);

    clFrame.frameFlags = lDataFlags & kDataFlagsKept;
    if ((lFrameFlags & kHyperframeValid) == 0)
        clFrame.frameFlags |= kTmwHyperframeNotValid;
    clFrame.timeMode = 0;
    if (lFrameFlags & kMeasurementsAbsent) {
        clFrame.value1First = clFrame.value1Second = 0;
        clFrame.value2First = clFrame.value2Second = 0;
        clFrame.value3First = clFrame.value3Second = 0;
    }
    if (lFrameFlags & kSecondsWithMilliseconds) {
        // The millisecond part is split over the high bits of both flag
        // bytes; the converter takes it back as tens in timeMode and units
        // in the high nibble of frameFlags.
        const unsigned m = unsigned(lFrameFlags >> 3) * 32 + unsigned(lDataFlags >> 3);
        clFrame.timeMode = uint8_t(2 * (m / 10) + 1);
        clFrame.frameFlags |= uint8_t((m % 10) << 4);
    }
}

FileResult CProprietaryTmwFileFormatV1::OpenFile(const wchar_t *clstrPath, FileHeaderInfo &clInfo,
                                                 uint8_t bOnline) {
    if (m_clFile.IsOpen())
        return FILE_WRONG_STATE;
    if (!m_pBuffer)
        return FILE_NO_BUFFER;
    bool bOnlineMode = bOnline != 0;
    const wchar_t *clstrOpen = ApplyOnlinePrefix(clstrPath, bOnlineMode);
    if (clstrOpen == nullptr || !m_clFile.OpenRead(clstrOpen))
        return FILE_WRONG_STATE;

    FillTmwFileHeaderInfo(clInfo, "Proprietary TMW recording");
    m_bOnline = bOnlineMode;
    m_lFill = 0;
    m_lConsumed = 0;
    m_lSubIndex = kNoFrameYet;
    m_lTailReported = UINT64_MAX;
    ResetConversionState();
    std::wcsncpy(m_clstrPath, clstrOpen, kPathBufferChars - 1);
    m_clstrPath[kPathBufferChars - 1] = L'\0';
    return FILE_OK;
}

FileResult CProprietaryTmwFileFormatV1::Refill() {
    if (m_lConsumed >= m_lFill) {
        m_lFill = 0;
    } else if (m_lConsumed > 0) {
        m_lFill -= m_lConsumed;
        std::memmove(m_pBuffer.get(), m_pBuffer.get() + m_lConsumed, m_lFill);
    }
    m_lConsumed = 0;

    bool bError = false;
    const size_t lGot = m_clFile.Read(m_pBuffer.get() + m_lFill, kReadBufferSize - m_lFill, bError);
    m_lFill += uint32_t(lGot);
    // A read error is never taken for the end of the file.
    if (bError)
        return FILE_WRITE_FAILED;
    if (lGot > 0)
        return FILE_OK;
    return m_bOnline ? FILE_NO_DATA_YET : FILE_END_OF_DATA;
}

FileResult CProprietaryTmwFileFormatV1::ReadData(RawRecord &clRecord) {
    if (!m_clFile.IsOpen())
        return FILE_WRONG_STATE;
    for (;;) {
        while (m_lSubIndex < kSubIndexes) {
            const uint8_t lSubIndex = m_lSubIndex++;
            if (ConvertTmwTetraFrame(m_clFrame, lSubIndex, m_clOutput)) {
                FillTetraRecord(clRecord,
                                TmwFrameRecordFrequency(m_clFrame.band, m_clFrame.carrier),
                                m_clOutput);
                return FILE_OK;
            }
        }
        // A frame is taken only when it is whole, so an online file that
        // stops in the middle of one reads on from its start later.
        while (m_lFill - m_lConsumed < kFrameSize) {
            const FileResult enRefill = Refill();
            if (enRefill == FILE_END_OF_DATA)
                ReportPartialFrame();
            if (enRefill != FILE_OK)
                return enRefill;
        }
        DecodeFrame(m_pBuffer.get() + m_lConsumed, m_clFrame);
        m_lConsumed += kFrameSize;
        m_lSubIndex = 0;
    }
}

void CProprietaryTmwFileFormatV1::ReportPartialFrame() {
    const uint64_t lOffset = ConsumedFilePosition(m_clFile.Position(), m_lFill, m_lConsumed);
    if (m_lFill == m_lConsumed || lOffset == m_lTailReported)
        return;
    m_lTailReported = lOffset;
    ReportDiagnostic(ReaderDamage::TruncatedTail, lOffset, m_lFill - m_lConsumed);
}

void CProprietaryTmwFileFormatV1::CloseFile() {
    (void)m_clFile.Close();
    m_clstrPath[0] = L'\0';
    m_lFill = 0;
    m_lConsumed = 0;
    m_lSubIndex = kNoFrameYet;
}

double CProprietaryTmwFileFormatV1::GetProgress() {
    return ReaderProgress(m_clFile, m_lFill, m_lConsumed);
}

uint64_t CProprietaryTmwFileFormatV1::GetFileSize(bool bTotal) {
    return ReaderFileSize(m_clFile, bTotal, m_lFill, m_lConsumed);
}

const wchar_t *CProprietaryTmwFileFormatV1::GetFileName() {
    return m_clstrPath;
}

bool CProprietaryTmwFileFormatV1::IsOnlineFile() {
    return m_bOnline;
}
