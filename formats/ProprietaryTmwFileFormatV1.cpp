#include "ProprietaryTmwFileFormatV1.h"

#include "ContainerCodec.h"
#include "FormatChoice.h"

#include <algorithm>
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

unsigned MillisecondPart(uint8_t lFrameFlags, uint8_t lDataFlags) {
    return unsigned(lFrameFlags >> 3) * 32 + unsigned(lDataFlags >> 3);
}

// Plausibility of frames, from what real frames hold.
constexpr uint8_t kMillisecondBits = 0xF8;
// The converter's table ends here; recorders also write a few types below it
// that it does not know.
constexpr uint8_t kHighestEntryType = 48;
// Frames this much apart in time are taken for unrelated.
constexpr uint32_t kLargestStepSeconds = 600;
constexpr uint32_t kSlotsPerHyperframe = 4320;
constexpr uint64_t kSlotsInCounterWrap = uint64_t(kSlotsPerHyperframe) * 65536;
// A timeslot lasts 85/6 ms.
constexpr uint32_t kLargestStepSlots = kLargestStepSeconds * 1000 * 6 / 85;
// Frames in a row that make an alignment believed, and how far one is sought.
constexpr uint32_t kRunFrames = 3;
constexpr uint32_t kRunBytes = kRunFrames * CProprietaryTmwFileFormatV1::kFrameSize;
constexpr uint32_t kSearchSpan = 65536;
static_assert(kSearchSpan + kRunBytes <= CProprietaryTmwFileFormatV1::kReadBufferSize);

enum ClockKind : uint8_t { CLOCK_SECONDS, CLOCK_MILLISECONDS, CLOCK_SLOTS, CLOCK_FRAME_SLOTS };

bool IsFrameBurstCode(uint8_t lCode) {
    switch (lCode) {
    case 0: // a timeslot without a burst
    case 1:
    case 2:
    case 17:
    case 18:
    case 33:
    case 34:
    case 49:
    case 50:
        return true;
    default:
        return false;
    }
}

// The fields with narrow ranges all within them. Cheap: every frame of a
// sound file is checked.
bool IsPlausibleFrame(const uint8_t *p) {
    if (unsigned(p[9]) - 1 > 3 || unsigned(p[10]) - 1 > 17 || unsigned(p[11]) - 1 > 59 ||
        p[28] > kHighestEntryType || !IsFrameBurstCode(p[3]))
        return false;
    if (p[8] & kSecondsWithMilliseconds)
        return MillisecondPart(p[8], p[29]) < 1000;
    // Without a millisecond part its bits stay clear.
    return ((p[8] | p[29]) & kMillisecondBits) == 0;
}

TmwFrameClock ClockOf(const uint8_t *p) {
    const uint32_t lTime = ReadBe32(p + 4);
    if (p[8] & kSecondsWithMilliseconds)
        return {CLOCK_SECONDS, lTime};
    // A time of 0 is none to the converter either.
    if (lTime != kTmwNoTime && lTime != 0)
        return {CLOCK_MILLISECONDS, lTime};
    const uint32_t lSlot = ((uint32_t(p[11]) - 1) * 18 + (uint32_t(p[10]) - 1)) * 4 + p[9] - 1;
    if (p[8] & kHyperframeValid)
        return {CLOCK_SLOTS, uint32_t(ReadBe16(p + 12) * kSlotsPerHyperframe + lSlot)};
    return {CLOCK_FRAME_SLOTS, lSlot};
}

bool Near(uint32_t lFrom, uint32_t lTo, uint32_t lMost, uint64_t lModulus) {
    const uint64_t lAhead = (uint64_t(lTo) + lModulus - lFrom) % lModulus;
    return lAhead <= lMost || lModulus - lAhead <= lMost;
}

bool Continues(const TmwFrameClock &clFrom, const TmwFrameClock &clTo) {
    if (clFrom.kind != clTo.kind)
        return false;
    switch (clFrom.kind) {
    case CLOCK_SECONDS:
        return Near(clFrom.value, clTo.value, kLargestStepSeconds, uint64_t(1) << 32);
    case CLOCK_MILLISECONDS:
        return Near(clFrom.value, clTo.value, kLargestStepSeconds * 1000, uint64_t(1) << 32);
    case CLOCK_SLOTS:
        return Near(clFrom.value, clTo.value, kLargestStepSlots, kSlotsInCounterWrap);
    default:
        // Counters without the hyperframe wrap within a minute: they tell nothing.
        return true;
    }
}

// lFrames plausible frames at p, each following the one before; fewer than a
// full run must also follow pAnchor, when there is one.
bool IsRunAt(const uint8_t *p, uint32_t lFrames, const TmwFrameClock *pAnchor) {
    if (!IsPlausibleFrame(p))
        return false;
    TmwFrameClock clClock = ClockOf(p);
    if (pAnchor != nullptr && lFrames < kRunFrames && !Continues(*pAnchor, clClock))
        return false;
    for (uint32_t k = 1; k < lFrames; ++k) {
        p += CProprietaryTmwFileFormatV1::kFrameSize;
        if (!IsPlausibleFrame(p))
            return false;
        const TmwFrameClock clNext = ClockOf(p);
        if (!Continues(clClock, clNext))
            return false;
        clClock = clNext;
    }
    return true;
}

// Carrier and band, which stay the same from frame to frame on one carrier.
bool SameCarrier(const uint8_t *a, const uint8_t *b) {
    return std::memcmp(a, b, 3) == 0;
}

// Whether the end of the data, not an error, stopped a wait for bytes.
bool IsEndOfData(FileResult enResult) {
    return enResult == FILE_END_OF_DATA || enResult == FILE_NO_DATA_YET;
}

} // namespace

CProprietaryTmwFileFormatV1::CProprietaryTmwFileFormatV1() : m_clWindow(kReadBufferSize, false) {}

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
        const unsigned m = MillisecondPart(lFrameFlags, lDataFlags);
        clFrame.timeMode = uint8_t(2 * (m / 10) + 1);
        clFrame.frameFlags |= uint8_t((m % 10) << 4);
    }
}

FileResult CProprietaryTmwFileFormatV1::OpenFile(const wchar_t *clstrPath, FileHeaderInfo &clInfo,
                                                 uint8_t bOnline) {
    if (m_clWindow.file.IsOpen())
        return FILE_WRONG_STATE;
    if (!m_clWindow.HasBuffer())
        return FILE_NO_BUFFER;
    bool bOnlineMode = bOnline != 0;
    const wchar_t *clstrOpen = ApplyOnlinePrefix(clstrPath, bOnlineMode);
    if (clstrOpen == nullptr || !m_clWindow.file.OpenRead(clstrOpen))
        return FILE_WRONG_STATE;

    FillTmwFileHeaderInfo(clInfo, "Proprietary TMW recording");
    m_bOnline = bOnlineMode;
    m_clWindow.Reset();
    m_lSubIndex = kNoFrameYet;
    m_lTailReported = UINT64_MAX;
    m_bChecked = false;
    m_bHaveLast = false;
    m_lNoRunBefore = 0;
    ResetConversionState();
    std::wcsncpy(m_clstrPath, clstrOpen, kPathBufferChars - 1);
    m_clstrPath[kPathBufferChars - 1] = L'\0';
    return FILE_OK;
}

FileResult CProprietaryTmwFileFormatV1::Refill() {
    return m_clWindow.Refill(m_bOnline);
}

FileResult CProprietaryTmwFileFormatV1::Need(uint32_t lCount) {
    return m_clWindow.Need(lCount, m_bOnline);
}

FileResult CProprietaryTmwFileFormatV1::ReadData(RawRecord &clRecord) {
    if (!m_clWindow.file.IsOpen())
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
        while (m_clWindow.Unread() < kFrameSize) {
            const FileResult enRefill = Refill();
            if (enRefill == FILE_END_OF_DATA)
                ReportPartialFrame();
            if (enRefill != FILE_OK)
                return enRefill;
        }
        uint32_t lSkip = 0;
        const FileResult enAlign = Align(lSkip);
        if (enAlign != FILE_OK)
            return enAlign;
        if (lSkip > 0) {
            ReportDiagnostic(ReaderDamage::Resynchronised, m_clWindow.ConsumedPosition(), lSkip);
            // Frames follow each other from there on: the search made sure.
            m_clWindow.consumed += lSkip;
            m_bChecked = true;
            continue;
        }
        const uint8_t *pFrame = m_clWindow.Next();
        m_clLastClock = ClockOf(pFrame);
        m_bHaveLast = true;
        m_bChecked = m_bNextChecked;
        DecodeFrame(pFrame, m_clFrame);
        m_clWindow.consumed += kFrameSize;
        m_lSubIndex = 0;
    }
}

FileResult CProprietaryTmwFileFormatV1::Align(uint32_t &lSkip) {
    lSkip = 0;
    m_bNextChecked = false;
    const uint8_t *pFrame = m_clWindow.Next();
    const TmwFrameClock clHere = ClockOf(pFrame);
    const bool bPlausible = m_bChecked || (IsPlausibleFrame(pFrame) &&
                                           (!m_bHaveLast || Continues(m_clLastClock, clHere)));
    if (bPlausible) {
        // The common case: the next frame follows this one.
        const FileResult enNeed = Need(2 * kFrameSize);
        // The last frame of a finished file ends with it; a frame that does
        // not may have lost a byte to the one after it.
        if (enNeed == FILE_NO_DATA_YET ||
            (enNeed == FILE_END_OF_DATA && m_clWindow.Unread() == kFrameSize))
            return FILE_OK;
        if (enNeed != FILE_OK && enNeed != FILE_END_OF_DATA)
            return enNeed;
        const uint8_t *pNext = m_clWindow.Next() + kFrameSize;
        if (enNeed == FILE_OK && IsPlausibleFrame(pNext) && Continues(clHere, ClockOf(pNext))) {
            m_bNextChecked = true;
            return FILE_OK;
        }
    }

    // The frames stop being plausible somewhere in this frame or at its end.
    const TmwFrameClock *pAnchor = bPlausible ? &clHere : m_bHaveLast ? &m_clLastClock : nullptr;
    uint32_t lRun = 0;
    const FileResult enFind = FindRun(pAnchor, lRun);
    if (enFind != FILE_OK)
        return enFind;
    // No other alignment, or this one goes on after frames that are not
    // plausible: read the frame as it is. A plausible frame before a later
    // run is taken, and the bytes up to the run are skipped after it.
    if (lRun == 0 || lRun % kFrameSize == 0 || (bPlausible && lRun > kFrameSize))
        return FILE_OK;
    if (bPlausible) {
        // A run that begins inside a plausible frame means that frame lost a
        // byte, unless the run's first frame is the one that lost its first
        // bytes: then its carrier holds the last byte of this frame and
        // matches neither neighbour, and this frame is taken instead.
        const uint8_t *pHere = m_clWindow.Next();
        const uint8_t *pRun = pHere + lRun;
        const bool bRunGoesOn = m_clWindow.Unread() >= lRun + 2 * kFrameSize;
        if (!SameCarrier(pRun, pHere) && !(bRunGoesOn && SameCarrier(pRun, pRun + kFrameSize)))
            return FILE_OK;
    }
    lSkip = lRun;
    return FILE_OK;
}

FileResult CProprietaryTmwFileFormatV1::FindRun(const TmwFrameClock *pAnchor, uint32_t &lRun) {
    lRun = 0;
    const uint64_t lHere = m_clWindow.ConsumedPosition();
    uint32_t lDistance = 1;
    if (m_lNoRunBefore > lHere)
        lDistance = uint32_t(std::min<uint64_t>(m_lNoRunBefore - lHere, kSearchSpan + 1));
    for (; lDistance <= kSearchSpan; ++lDistance) {
        const FileResult enNeed = Need(lDistance + kRunBytes);
        if (IsEndOfData(enNeed))
            break;
        if (enNeed != FILE_OK)
            return enNeed;
        if (IsRunAt(m_clWindow.Next() + lDistance, kRunFrames, nullptr)) {
            m_lNoRunBefore = lHere + lDistance;
            lRun = lDistance;
            return FILE_OK;
        }
    }
    m_lNoRunBefore = std::max(m_lNoRunBefore, lHere + lDistance);
    if (lDistance > kSearchSpan)
        return FILE_OK;

    // The data ends within reach: the last frames count as a run too, so that
    // none of them is lost, but they must follow the frames before them.
    const uint32_t lHeld = m_clWindow.Unread();
    for (; lDistance + kFrameSize <= lHeld; ++lDistance) {
        if (IsRunAt(m_clWindow.Next() + lDistance, (lHeld - lDistance) / kFrameSize, pAnchor)) {
            lRun = lDistance;
            return FILE_OK;
        }
    }
    // An online file may yet bring the frames that tell.
    return m_bOnline ? FILE_NO_DATA_YET : FILE_OK;
}

void CProprietaryTmwFileFormatV1::ReportPartialFrame() {
    const uint64_t lOffset = m_clWindow.ConsumedPosition();
    if (m_clWindow.fill == m_clWindow.consumed || lOffset == m_lTailReported)
        return;
    m_lTailReported = lOffset;
    ReportDiagnostic(ReaderDamage::TruncatedTail, lOffset, m_clWindow.Unread());
}

void CProprietaryTmwFileFormatV1::CloseFile() {
    (void)m_clWindow.file.Close();
    m_clstrPath[0] = L'\0';
    m_clWindow.Reset();
    m_lSubIndex = kNoFrameYet;
    m_bChecked = false;
    m_bHaveLast = false;
    m_lNoRunBefore = 0;
}

double CProprietaryTmwFileFormatV1::GetProgress() {
    return m_clWindow.Progress();
}

uint64_t CProprietaryTmwFileFormatV1::GetFileSize(bool bTotal) {
    return m_clWindow.Size(bTotal);
}

const wchar_t *CProprietaryTmwFileFormatV1::GetFileName() {
    return m_clstrPath;
}

bool CProprietaryTmwFileFormatV1::IsOnlineFile() {
    return m_bOnline;
}
