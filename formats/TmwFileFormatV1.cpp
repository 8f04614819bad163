#include "TmwFileFormatV1.h"

#include "ContainerCodec.h"
#include "FormatChoice.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

namespace {

// Sub-indexes asked of the converter: every timeslot of a frame entry, and
// every sub-entry an extended entry keeps.
constexpr uint8_t kFrameSubIndexes = 3;
constexpr uint8_t kExtendedSubIndexes = kTmwMaxSubEntries;

// Marker, length and terminator around an entry body.
constexpr uint32_t kEntryHeadSize = 3;
constexpr uint32_t kEntryFrameSize = kEntryHeadSize + 1;
// Bytes after an entry's fields that recorders leave are few; an entry met
// after damage with more is not believed.
constexpr uint32_t kEntrySpareBytes = 32;

} // namespace

CTmwFileFormatV1::CTmwFileFormatV1()
    // A finished file is complete once its end was met: judging the
    // candidates near its end must not read it again for each one.
    : m_clWindow(kReadBufferSize, true), m_pWork(new (std::nothrow) WorkArea()) {}

CTmwFileFormatV1::~CTmwFileFormatV1() = default;

FileResult CTmwFileFormatV1::OpenFile(const wchar_t *clstrPath, FileHeaderInfo &clInfo,
                                      uint8_t bOnline) {
    if (m_clWindow.file.IsOpen())
        return FILE_WRONG_STATE;
    if (!m_clWindow.HasBuffer() || !m_pWork)
        return FILE_NO_BUFFER;
    bool bOnlineMode = bOnline != 0;
    const wchar_t *clstrOpen = ApplyOnlinePrefix(clstrPath, bOnlineMode);
    if (clstrOpen == nullptr || !m_clWindow.file.OpenRead(clstrOpen))
        return FILE_WRONG_STATE;

    FillTmwFileHeaderInfo(clInfo, "TMW recording");
    m_bOnline = bOnlineMode;
    m_clWindow.Reset();
    m_bResync = false;
    m_lStreamMode = STREAM_UNKNOWN;
    m_lChosenMode = STREAM_UNKNOWN;
    m_lEntryKind = ENTRY_NONE;
    m_lSubIndex = kNoEntryYet;
    m_lSubIndexLimit = 0;
    m_bDamageOpen = false;
    m_lDamageStart = 0;
    m_lDamageReportedTo = 0;
    m_lDmrCoveredTo = 0;
    ResetConversionState();
    // Kept per object and per file: a file reads the same whatever was read
    // before it.
    ResetDmrConversionState();
    std::wcsncpy(m_clstrPath, clstrOpen, kPathBufferChars - 1);
    m_clstrPath[kPathBufferChars - 1] = L'\0';
    return FILE_OK;
}

FileResult CTmwFileFormatV1::Refill() {
    return m_clWindow.Refill(m_bOnline);
}

FileResult CTmwFileFormatV1::Need(uint32_t lCount) {
    return m_clWindow.Need(lCount, m_bOnline);
}

FileResult CTmwFileFormatV1::CheckEntryFraming(bool &bFramed) {
    bFramed = false;
    FileResult enResult = Need(kEntryHeadSize);
    uint32_t lLength = 0;
    if (enResult == FILE_OK) {
        lLength = ReadBe16(m_clWindow.Next() + 1);
        enResult = Need(lLength + kEntryFrameSize);
    }
    if (enResult == FILE_END_OF_DATA)
        return FILE_OK;
    if (enResult != FILE_OK)
        return enResult;
    bFramed = m_clWindow.buffer[m_clWindow.consumed + kEntryHeadSize + lLength] == kEntryTerminator;
    return FILE_OK;
}

FileResult CTmwFileFormatV1::CheckDmrFraming(bool &bFramed) {
    bFramed = false;
    FileResult enResult = Need(kDmrFrameMinimumLength);
    if (enResult == FILE_OK) {
        const uint32_t lLength = ReadBe16(m_clWindow.Next() + 1);
        if (lLength < kDmrFrameMinimumLength || lLength >= kDmrFrameLengthLimit)
            return FILE_OK;
        enResult = Need(lLength);
    }
    if (enResult == FILE_END_OF_DATA)
        return FILE_OK;
    if (enResult != FILE_OK)
        return enResult;
    bFramed = IsWellFramedDmrFrame(m_clWindow.Next(), m_clWindow.Unread());
    return FILE_OK;
}

FileResult CTmwFileFormatV1::ReadData(RawRecord &clRecord) {
    if (!m_clWindow.file.IsOpen())
        return FILE_WRONG_STATE;
    const uint8_t lMode = m_lStreamMode != STREAM_UNKNOWN ? m_lStreamMode : m_lChosenMode;
    if (lMode == STREAM_UNKNOWN)
        return ReadUnknownMode(clRecord);
    const FileResult enRead = lMode == STREAM_TETRA ? ReadTetra(clRecord) : ReadDmr(clRecord);
    if (enRead == FILE_OK)
        m_lStreamMode = lMode;
    return enRead;
}

FileResult CTmwFileFormatV1::ReadUnknownMode(RawRecord &clRecord) {
    m_lEntryKind = ENTRY_NONE;
    for (;;) {
        const FileResult enNeed = Need(1);
        if (enNeed == FILE_END_OF_DATA)
            CloseDamage(m_clWindow.fill);
        if (enNeed != FILE_OK)
            return enNeed;
        const uint8_t lByte = m_clWindow.buffer[m_clWindow.consumed];
        // A marker decides the stream only when a well-framed entry or frame
        // begins with it: a stray marker byte would otherwise make the whole
        // file be read as the wrong kind.
        if (lByte == kEntryMarker || lByte == kDmrFrameMarker) {
            const bool bTetra = lByte == kEntryMarker;
            bool bFramed = false;
            const FileResult enCheck =
                bTetra ? CheckEntryFraming(bFramed) : CheckDmrFraming(bFramed);
            if (enCheck != FILE_OK)
                return enCheck;
            // Past the start of the file, bytes were skipped to get here: the
            // entry is judged as one met after damage.
            if (bFramed && bTetra && FileOffsetAt(m_clWindow.consumed) > 0)
                bFramed = IsBelievableEntry(m_clWindow.Next());
            if (bFramed) {
                // Reading goes on in this kind even when this call ends before
                // a record (an online file without more data yet), so the
                // bytes are read the same whenever they arrive.
                m_lChosenMode = bTetra ? STREAM_TETRA : STREAM_DMR;
                CloseDamage(m_clWindow.consumed);
                return ReadData(clRecord);
            }
        }
        OpenDamage(m_clWindow.consumed);
        ++m_clWindow.consumed;
    }
}

FileResult CTmwFileFormatV1::ReadTetra(RawRecord &clRecord) {
    WorkArea &clWork = *m_pWork;
    for (;;) {
        while (m_lSubIndex < m_lSubIndexLimit) {
            const uint8_t lSubIndex = m_lSubIndex++;
            if (m_lEntryKind == ENTRY_FRAME &&
                ConvertTmwTetraFrame(clWork.frame, lSubIndex, clWork.tetraOutput)) {
                FillTetraRecord(clRecord,
                                TmwFrameRecordFrequency(clWork.frame.band, clWork.frame.carrier),
                                clWork.tetraOutput);
                return FILE_OK;
            }
            if (m_lEntryKind == ENTRY_EXTENDED &&
                ConvertTmwTetraExtended(clWork.extended, lSubIndex, clWork.tetraOutput)) {
                FillTetraRecord(clRecord, clWork.extended.frequency, clWork.tetraOutput);
                return FILE_OK;
            }
        }

        if (m_bResync) {
            const FileResult enResync = Resynchronise();
            if (enResync != FILE_OK)
                return enResync;
        }

        const FileResult enNeed = Need(1);
        if (enNeed != FILE_OK)
            return enNeed;
        bool bFramed = false;
        if (m_clWindow.buffer[m_clWindow.consumed] == kEntryMarker) {
            const FileResult enCheck = CheckEntryFraming(bFramed);
            if (enCheck != FILE_OK)
                return enCheck;
        }
        if (!bFramed) {
            // Resynchronisation starts one byte after this one, so a good
            // entry inside a bad one's stated length is not passed over.
            OpenDamage(m_clWindow.consumed);
            ++m_clWindow.consumed;
            m_lEntryKind = ENTRY_NONE;
            m_bResync = true;
            continue;
        }

        const uint8_t *pEntry = m_clWindow.Next();
        const uint32_t lLength = ReadBe16(pEntry + 1);
        const bool bDecoded = DecodeEntry(pEntry + kEntryHeadSize, lLength);
        // The entry is well framed: whatever its body held, the next one
        // starts after its terminator.
        if (!bDecoded)
            ReportDiagnostic(ReaderDamage::RefusedRecord, FileOffsetAt(m_clWindow.consumed),
                             lLength + kEntryFrameSize, lLength > 0 ? pEntry[kEntryHeadSize] : -1);
        m_clWindow.consumed += lLength + kEntryFrameSize;
        if (!bDecoded) {
            m_lEntryKind = ENTRY_NONE;
            m_bResync = true;
            continue;
        }
        m_lSubIndex = 0;
        m_lSubIndexLimit = m_lEntryKind == ENTRY_FRAME      ? kFrameSubIndexes
                           : m_lEntryKind == ENTRY_EXTENDED ? kExtendedSubIndexes
                                                            : 0;
    }
}

FileResult CTmwFileFormatV1::Resynchronise() {
    m_lEntryKind = ENTRY_NONE;
    for (;;) {
        const uint8_t *pFrom = m_clWindow.Next();
        const auto *pMarker =
            static_cast<const uint8_t *>(std::memchr(pFrom, kEntryMarker, m_clWindow.Unread()));
        if (pMarker == nullptr) {
            m_clWindow.consumed = m_clWindow.fill;
            const FileResult enRefill = Refill();
            if (enRefill == FILE_END_OF_DATA)
                CloseDamage(m_clWindow.fill);
            if (enRefill != FILE_OK)
                return enRefill;
            continue;
        }
        // The noted "!" stays unconsumed while its entry is checked, so a
        // refill on the way keeps it in the buffer.
        m_clWindow.consumed = uint32_t(pMarker - m_clWindow.buffer.get());
        bool bFramed = false;
        const FileResult enCheck = CheckEntryFraming(bFramed);
        if (enCheck != FILE_OK)
            return enCheck;
        if (bFramed && IsBelievableEntry(m_clWindow.Next())) {
            m_bResync = false;
            CloseDamage(m_clWindow.consumed);
            return FILE_OK;
        }
        ++m_clWindow.consumed;
    }
}

bool CTmwFileFormatV1::IsBelievableEntry(const uint8_t *pEntry) {
    const uint32_t lLength = ReadBe16(pEntry + 1);
    const uint8_t *pBody = pEntry + kEntryHeadSize;
    if (lLength == 0)
        return false;
    // Decoded into the work area, which holds nothing to convert meanwhile.
    uint32_t lTaken = 0;
    bool bDecoded = false;
    if (pBody[0] == kFrameEntryKind)
        bDecoded = DecodeFrameEntry(pBody, lLength, m_pWork->frame, &lTaken);
    else if (pBody[0] == kExtendedEntryKind)
        bDecoded = DecodeExtendedEntry(pBody, lLength, m_pWork->extended, &lTaken);
    return bDecoded && lLength - lTaken <= kEntrySpareBytes;
}

bool CTmwFileFormatV1::DecodeEntry(const uint8_t *pBody, uint32_t lLength) {
    m_lEntryKind = ENTRY_NONE;
    if (lLength == 0)
        return false;
    switch (pBody[0]) {
    case kFrameEntryKind:
        if (!DecodeFrameEntry(pBody, lLength, m_pWork->frame))
            return false;
        m_lEntryKind = ENTRY_FRAME;
        return true;
    case kExtendedEntryKind:
        if (!DecodeExtendedEntry(pBody, lLength, m_pWork->extended))
            return false;
        m_lEntryKind = ENTRY_EXTENDED;
        return true;
    default:
        return true;
    }
}

FileResult CTmwFileFormatV1::ReadDmr(RawRecord &clRecord) {
    WorkArea &clWork = *m_pWork;
    for (;;) {
        if (m_clWindow.Unread() < kDmrFrameMinimumLength) {
            const FileResult enRefill = Refill();
            if (enRefill == FILE_END_OF_DATA) {
                // Too few bytes for any frame are left.
                if (m_clWindow.consumed < m_clWindow.fill &&
                    FileOffsetAt(m_clWindow.consumed) >= m_lDmrCoveredTo)
                    OpenDamage(m_clWindow.consumed);
                CloseDamage(m_clWindow.fill);
            }
            if (enRefill != FILE_OK)
                return enRefill;
            continue;
        }
        const uint8_t *pAt = m_clWindow.Next();
        uint32_t lLength = 0;
        uint32_t lStep = 1;
        const DmrFrameCheck enCheck = CheckDmrFrame(pAt, m_clWindow.Unread(), lLength, lStep);
        if (enCheck == DmrFrameCheck::Incomplete) {
            // Refilled before the frame is judged, so none is lost at the end
            // of the buffer. A file that ends before the stated length makes
            // the marker only a byte.
            const FileResult enRefill = Refill();
            if (enRefill == FILE_END_OF_DATA) {
                NoteDmrSkip(m_clWindow.Next());
                ++m_clWindow.consumed;
            } else if (enRefill != FILE_OK)
                return enRefill;
            continue;
        }
        if (enCheck == DmrFrameCheck::Skip) {
            NoteDmrSkip(pAt);
            m_clWindow.consumed += lStep;
            continue;
        }
        CloseDamage(m_clWindow.consumed);
        const bool bDecoded = DecodeDmrFrame(pAt, lLength, clWork.dmrFrame, lStep);
        if (!bDecoded)
            ReportDiagnostic(ReaderDamage::RefusedRecord, FileOffsetAt(m_clWindow.consumed),
                             lLength, pAt[kDmrFrameKindAt]);
        m_clWindow.consumed += lStep;
        if (!bDecoded || !ConvertDmrFrame(clWork.dmrFrame, clWork.dmrOutput))
            continue;
        FillDmrRecord(clRecord, clWork.dmrOutput);
        return FILE_OK;
    }
}

uint64_t CTmwFileFormatV1::FileOffsetAt(uint32_t lIndex) const {
    return m_clWindow.FileOffsetAt(lIndex);
}

void CTmwFileFormatV1::OpenDamage(uint32_t lIndex) {
    if (m_bDamageOpen || !DiagnosticsOn())
        return;
    const uint64_t lOffset = FileOffsetAt(lIndex);
    if (lOffset < m_lDamageReportedTo)
        return;
    m_bDamageOpen = true;
    m_lDamageStart = lOffset;
}

void CTmwFileFormatV1::CloseDamage(uint32_t lIndex) {
    // A file still being written may go on where it stops now.
    if (!m_bDamageOpen || (m_bOnline && lIndex >= m_clWindow.fill))
        return;
    m_bDamageOpen = false;
    const uint64_t lEnd = FileOffsetAt(lIndex);
    if (lEnd <= m_lDamageStart)
        return;
    m_lDamageReportedTo = lEnd;
    ReportDiagnostic(ReaderDamage::Resynchronised, m_lDamageStart, lEnd - m_lDamageStart);
}

void CTmwFileFormatV1::NoteDmrSkip(const uint8_t *pAt) {
    if (!DiagnosticsOn())
        return;
    const uint32_t lIndex = uint32_t(pAt - m_clWindow.buffer.get());
    const uint64_t lOffset = FileOffsetAt(lIndex);
    if (*pAt == kDmrFrameMarker && IsWellFramedDmrFrame(pAt, m_clWindow.fill - lIndex))
        m_lDmrCoveredTo = std::max(m_lDmrCoveredTo, lOffset + ReadBe16(pAt + 1));
    if (lOffset < m_lDmrCoveredTo)
        CloseDamage(lIndex);
    else
        OpenDamage(lIndex);
}

void CTmwFileFormatV1::CloseFile() {
    (void)m_clWindow.file.Close();
    m_clstrPath[0] = L'\0';
    m_clWindow.Reset();
    m_lSubIndex = kNoEntryYet;
    m_lSubIndexLimit = 0;
}

double CTmwFileFormatV1::GetProgress() {
    return m_clWindow.Progress();
}

uint64_t CTmwFileFormatV1::GetFileSize(bool bTotal) {
    return m_clWindow.Size(bTotal);
}

const wchar_t *CTmwFileFormatV1::GetFileName() {
    return m_clstrPath;
}

bool CTmwFileFormatV1::IsOnlineFile() {
    return m_bOnline;
}
