// Decoding the bodies of ".lan" TETRA entries. Every field is taken through a
// cursor bounded by the entry's stated body length, so no length in a file
// can make the decoder read outside the entry.
#include "ContainerCodec.h"
#include "TmwFileFormatV1.h"

#include <cstring>

namespace {

// Reads fields in order from a body of known length. A read past the end
// yields zeros and marks the cursor failed, so a decoder checks once at the
// end instead of after every field.
class CBodyCursor {
  public:
    CBodyCursor(const uint8_t *pBody, uint32_t lLength) : m_pBody(pBody), m_lLength(lLength) {}

    bool Failed() const { return m_bFailed; }
    uint32_t Taken() const { return m_lAt; }
    uint32_t Left() const { return m_lLength - m_lAt; }

    // The next lCount bytes, or nullptr when the body has fewer.
    const uint8_t *Take(uint32_t lCount) {
        if (m_bFailed || Left() < lCount) {
            m_bFailed = true;
            return nullptr;
        }
        const uint8_t *p = m_pBody + m_lAt;
        m_lAt += lCount;
        return p;
    }
    void Skip(uint32_t lCount) { (void)Take(lCount); }
    uint8_t U8() {
        const uint8_t *p = Take(1);
        return p ? p[0] : 0;
    }
    uint16_t U16() {
        const uint8_t *p = Take(2);
        return p ? ReadBe16(p) : 0;
    }
    uint32_t U32() {
        const uint8_t *p = Take(4);
        return p ? ReadBe32(p) : 0;
    }
    uint64_t U64() {
        const uint8_t *p = Take(8);
        return p ? ReadBe64(p) : 0;
    }

  private:
    const uint8_t *m_pBody;
    uint32_t m_lLength;
    uint32_t m_lAt = 0;
    bool m_bFailed = false;
};

// Extended entry flags G.
constexpr uint8_t kEntryValue16 = 0x80;
constexpr uint8_t kEntryFrequency = 0x40;
constexpr uint8_t kEntryTime = 0x20;
constexpr uint8_t kEntrySkipped4 = 0x10;
constexpr uint8_t kEntrySkipped3 = 0x08;
constexpr uint8_t kEntrySkipped2 = 0x04;
// Links up to this one carry the frame counters.
constexpr uint8_t kLinkWithCounters = 3;

// Sub-entry flags H.
constexpr uint8_t kSubValue1 = 0x80;
constexpr uint8_t kSubValue2 = 0x40;
constexpr uint8_t kSubValue3 = 0x20;
constexpr uint8_t kSubValue16 = 0x10;
constexpr uint8_t kSubDataState = 0x08;
constexpr uint8_t kSubSkipped = 0x04;

// The data-state value that, with H bit 3, lets an unstated length be empty.
constexpr uint8_t kDataStateEmpty = 1;

// One sub-entry from the cursor's position; into pSub when it is kept. False
// when the sub-entry cannot be taken whole.
bool DecodeSubEntry(CBodyCursor &clCursor, TmwTetraSubEntry *pSub) {
    const uint16_t lStated = clCursor.U16();
    const uint32_t lStart = clCursor.Taken();
    const uint8_t lFlags = clCursor.U8();
    const int16_t lValue1 = (lFlags & kSubValue1) ? int16_t(clCursor.U16()) : 0;
    const int16_t lValue2 = (lFlags & kSubValue2) ? int16_t(clCursor.U16()) : 0;
    const int16_t lValue3 = (lFlags & kSubValue3) ? int16_t(clCursor.U16()) : 0;
    const uint16_t lValue16 = (lFlags & kSubValue16) ? clCursor.U16() : 0;
    const uint8_t lDataState = (lFlags & kSubDataState) ? clCursor.U8() : 0;
    if (lFlags & kSubSkipped)
        clCursor.Skip(clCursor.U16());
    const uint8_t lByteX = clCursor.U8();
    const uint8_t lByteY = clCursor.U8();
    const uint8_t lType = clCursor.U8();
    if (clCursor.Failed())
        return false;

    const uint32_t lTaken = clCursor.Taken() - lStart;
    uint32_t lDataLength = 0;
    if (lStated < CTmwFileFormatV1::kUnstatedSubEntryLength || clCursor.Left() >= lStated) {
        // A stated length shorter than the fields before the data cannot be
        // told apart from damage.
        if (lTaken > lStated)
            return false;
        lDataLength = lStated - lTaken;
    } else if (clCursor.Left() == 0 && (lFlags & kSubDataState) && lDataState == kDataStateEmpty) {
        lDataLength = 0;
    } else {
        TetraChannelType clType;
        if (!LookupTetraChannelType(lType, lByteY, clType))
            return false;
        lDataLength = (uint32_t(clType.bitCount) + 7) / 8;
    }
    const uint8_t *pData = clCursor.Take(lDataLength);
    if (pData == nullptr)
        return false;

    if (pSub != nullptr) {
        pSub->flags = lFlags;
        pSub->value1Source = lValue1;
        pSub->value2Source = lValue2;
        pSub->value3Source = lValue3;
        pSub->value16 = lValue16;
        pSub->dataState = lDataState;
        pSub->byteX = lByteX;
        pSub->byteY = lByteY;
        pSub->channelType = lType;
        // Bytes beyond what is held are skipped.
        const uint32_t lHeld =
            lDataLength < kTmwSubEntryDataCapacity ? lDataLength : kTmwSubEntryDataCapacity;
        pSub->dataLength = uint16_t(lHeld);
        std::memcpy(pSub->data, pData, lHeld);
    }
    return true;
}

} // namespace

bool CTmwFileFormatV1::DecodeFrameEntry(const uint8_t *pBody, uint32_t lLength,
                                        TmwTetraFrame &clFrame, uint32_t *pTaken) {
    CBodyCursor clCursor(pBody, lLength);
    clFrame = TmwTetraFrame{};
    clCursor.Skip(1 + 2); // entry kind, a field not used
    clFrame.carrier = clCursor.U16();
    clFrame.band = clCursor.U8();
    clFrame.burstCode = clCursor.U8();
    clFrame.timeValue = clCursor.U32();
    clFrame.timeMode = clCursor.U8();
    clFrame.timeslot = clCursor.U8();
    clFrame.frame = clCursor.U8();
    clFrame.multiframe = clCursor.U8();
    clFrame.hyperframe = clCursor.U16();
    clCursor.Skip(clCursor.U16());
    clFrame.value1First = int16_t(clCursor.U16());
    clFrame.value1Second = int16_t(clCursor.U16());
    clFrame.value2First = int16_t(clCursor.U16());
    clFrame.value2Second = int16_t(clCursor.U16());
    clFrame.value3First = int16_t(clCursor.U16());
    clFrame.value3Second = int16_t(clCursor.U16());
    clFrame.prefixWord = clCursor.U16();
    clFrame.entryType = clCursor.U8();
    clFrame.frameFlags = clCursor.U8();
    const uint8_t *pData = clCursor.Take(kTmwFrameDataSize);
    if (pData == nullptr)
        return false;
    std::memcpy(clFrame.data, pData, kTmwFrameDataSize);
    // No time at all: the converter derives it from the frame counters.
    if (clFrame.timeValue == 0 && clFrame.timeMode == 0)
        clFrame.timeValue = kTmwNoTime;
    if (pTaken != nullptr)
        *pTaken = clCursor.Taken();
    return true;
}

bool CTmwFileFormatV1::DecodeExtendedEntry(const uint8_t *pBody, uint32_t lLength,
                                           TmwTetraExtendedEntry &clEntry, uint32_t *pTaken) {
    CBodyCursor clCursor(pBody, lLength);
    // The sub-entries' data areas are not cleared: the converter reads no
    // further than each sub-entry's dataLength, and only the sub-entries this
    // entry has.
    clEntry.hyperframe = 0;
    clEntry.multiframe = clEntry.frame = clEntry.timeslot = 0;
    clEntry.value16 = 0;
    clEntry.byte1 = 0;
    clEntry.frequency = clEntry.value32 = 0;
    clEntry.timeSeconds = 0;
    clEntry.milliseconds = 0;
    clEntry.value16Bit3 = 0;

    clCursor.Skip(1 + 2); // entry kind, a field not used
    clEntry.link = clCursor.U8();
    clEntry.entryFlags = clCursor.U8();
    clEntry.subEntryCount = clCursor.U8();
    if (clEntry.link <= kLinkWithCounters) {
        clEntry.hyperframe = clCursor.U16();
        clEntry.multiframe = clCursor.U8();
        clEntry.frame = clCursor.U8();
        clEntry.timeslot = clCursor.U8();
    }
    const uint8_t lFlags = clEntry.entryFlags;
    if (lFlags & kEntryValue16) {
        clEntry.value16 = clCursor.U16();
        clEntry.byte1 = clCursor.U8();
    }
    if (lFlags & kEntryFrequency) {
        clEntry.frequency = clCursor.U32();
        clEntry.value32 = clCursor.U32();
    }
    if (lFlags & kEntryTime) {
        clEntry.timeSeconds = clCursor.U64();
        clEntry.milliseconds = clCursor.U16();
    }
    if (lFlags & kEntrySkipped4)
        clCursor.Skip(clCursor.U16());
    if (lFlags & kEntrySkipped3) {
        const uint16_t lSkipped = clCursor.U16();
        clEntry.value16Bit3 = clCursor.U16();
        clCursor.Skip(lSkipped);
    }
    if (lFlags & kEntrySkipped2)
        clCursor.Skip(clCursor.U16());
    if (clCursor.Failed())
        return false;

    for (int k = 0; k < clEntry.subEntryCount; ++k) {
        if (k < kTmwMaxSubEntries) {
            if (!DecodeSubEntry(clCursor, &clEntry.subEntries[k]))
                return false;
            continue;
        }
        // Sub-entries beyond those kept are passed over by their length;
        // one whose length is not stated has to be read to be sized.
        CBodyCursor clPeek = clCursor;
        const uint16_t lStated = clPeek.U16();
        if (lStated < kUnstatedSubEntryLength)
            clCursor.Skip(2 + uint32_t(lStated));
        else if (!DecodeSubEntry(clCursor, nullptr))
            return false;
        if (clCursor.Failed())
            return false;
    }
    if (pTaken != nullptr)
        *pTaken = clCursor.Taken();
    return true;
}
