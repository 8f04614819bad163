#include "DmrTmw2DmrTmv.h"

#include "ContainerCodec.h"

#include <cstring>

namespace {

// Frame offsets.
constexpr uint32_t kLengthAt = 1;
constexpr uint32_t kCheckAt = 3;
constexpr uint32_t kKindAt = kDmrFrameKindAt;
constexpr uint32_t kTimeWordAt = 5;
constexpr uint32_t kBurstKindAt = 13;
constexpr uint32_t kWord1At = 14;
constexpr uint32_t kByte2At = 16;
constexpr uint32_t kByte1At = 17;
constexpr uint32_t kOptionFlagsAt = 18;
constexpr uint32_t kOptionsAt = 19;

// A check byte of 0 means the frame carries no checksum; a computed CRC of 0
// is written as this instead.
constexpr uint8_t kNoChecksum = 0;
constexpr uint8_t kZeroCrcMark = 255;

// Option sizes in the order of their flag bits 0 to 5.
constexpr uint32_t kOptionSizes[6] = {5, 1, 2, 2, 2, 4};

// Most data bytes an item of each kind 0 to 39 may carry to be stored.
constexpr uint8_t kAcceptedBytes[40] = {0,  2,  3,  1,  3,  4,  5,  10, 33, 27, 12, 12, 12, 12,
                                        12, 12, 12, 12, 18, 12, 24, 12, 0,  0,  0,  0,  4,  0,
                                        0,  0,  0,  0,  0,  0,  0,  0,  16, 8,  0,  0};

struct Placement {
    int8_t slot; // -1: the item is dropped
    uint8_t bytes;
    uint16_t bits;
};

constexpr Placement Dropped = {-1, 0, 0};
constexpr Placement kPlacement[40] = {
    Dropped,     {2, 2, 16},   {4, 3, 20},   {0, 3, 7},   {0, 3, 24},   {3, 18, 32}, {1, 9, 36},
    {3, 18, 77}, {5, 27, 216}, {5, 27, 216}, {5, 27, 96}, {5, 27, 96},  {5, 27, 96}, {5, 27, 96},
    {5, 27, 96}, {5, 27, 96},  {5, 27, 96},  {5, 27, 96}, {5, 27, 144}, {5, 27, 96}, {5, 27, 192},
    {5, 27, 96}, Dropped,      Dropped,      Dropped,     Dropped,      {5, 27, 32}, Dropped,
    Dropped,     Dropped,      Dropped,      Dropped,     Dropped,      Dropped,     Dropped,
    Dropped,     {3, 18, 128}, {1, 9, 68},   {3, 18, 32}, Dropped,
};

uint32_t ItemDataBytes(uint16_t lBitCount) {
    return (uint32_t(lBitCount) + 7) / 8;
}

// The CRC-8 of every byte value, worked out from the polynomial when
// compiling: every frame is checked, and bit by bit was most of the reading.
struct Crc8Table {
    uint8_t value[256];
};

constexpr Crc8Table MakeCrc8Table() {
    Crc8Table clTable{};
    for (unsigned lByte = 0; lByte < 256; ++lByte) {
        unsigned lCrc = lByte;
        for (int b = 0; b < 8; ++b)
            lCrc = (lCrc & 0x80) ? ((lCrc << 1) ^ 0x07) & 0xFF : (lCrc << 1) & 0xFF;
        clTable.value[lByte] = uint8_t(lCrc);
    }
    return clTable;
}

constexpr Crc8Table kCrc8Table = MakeCrc8Table();

// The frame's checksum state; the whole frame must be at p.
uint8_t ChecksumState(const uint8_t *p, uint32_t lLength) {
    const uint8_t lCheck = p[kCheckAt];
    if (lCheck == kNoChecksum)
        return DMR_CHECKSUM_ABSENT;
    const uint8_t lCrc = DmrCrc8(p + kKindAt, lLength - 1 - kKindAt);
    const bool bMatch = lCrc == 0 ? lCheck == kZeroCrcMark : lCrc == lCheck;
    return bMatch ? DMR_CHECKSUM_MATCHED : DMR_CHECKSUM_REJECTED;
}

// Days from 1970-01-01 to the first of a month of the proleptic Gregorian
// calendar.
int64_t DaysToMonthStart(int64_t lYear, int64_t lMonth) {
    lYear -= lMonth <= 2 ? 1 : 0;
    const int64_t lEra = lYear / 400; // the years here are never negative
    const int64_t lYearOfEra = lYear - lEra * 400;
    const int64_t lShiftedMonth = lMonth > 2 ? lMonth - 3 : lMonth + 9;
    const int64_t lDayOfYear = (153 * lShiftedMonth + 2) / 5;
    const int64_t lDayOfEra = lYearOfEra * 365 + lYearOfEra / 4 - lYearOfEra / 100 + lDayOfYear;
    return lEra * 146097 + lDayOfEra - 719468;
}

uint32_t Bits(uint64_t lWord, int lFirst, int lCount) {
    return uint32_t((lWord >> lFirst) & ((uint64_t(1) << lCount) - 1));
}

template <typename T> T Limited(T lValue, T lLowest, T lHighest) {
    return lValue < lLowest ? lLowest : (lValue > lHighest ? lHighest : lValue);
}

} // namespace

uint8_t DmrCrc8(const uint8_t *p, size_t lCount) {
    uint8_t lCrc = 0;
    for (size_t i = 0; i < lCount; ++i)
        lCrc = kCrc8Table.value[lCrc ^ p[i]];
    return lCrc;
}

uint64_t DmrTimeWordSeconds(uint64_t lTimeWord) {
    const int64_t lSecond = Limited<int64_t>(Bits(lTimeWord, 10, 6), 0, 59);
    const int64_t lMinute = Limited<int64_t>(Bits(lTimeWord, 16, 6), 0, 59);
    const int64_t lHour = Limited<int64_t>(Bits(lTimeWord, 22, 5), 0, 23);
    const int64_t lDay = Limited<int64_t>(Bits(lTimeWord, 27, 5), 1, 31);
    const int64_t lMonth = Limited<int64_t>(Bits(lTimeWord, 32, 4), 1, 12);
    const int64_t lYear = Limited<int64_t>(Bits(lTimeWord, 36, 12), 1900, 2100);
    // Counting the day from the first of the month lets an impossible day
    // run on into the next month.
    const int64_t lDays = DaysToMonthStart(lYear, lMonth) + lDay - 1;
    const int64_t lSeconds = lDays * 86400 + lHour * 3600 + lMinute * 60 + lSecond;
    return lSeconds < 0 ? 0 : uint64_t(lSeconds);
}

bool CDmrTmw2DmrTmv::IsWellFramedDmrFrame(const uint8_t *p, size_t lAvailable) {
    if (lAvailable < kDmrFrameMinimumLength || p[0] != kDmrFrameMarker)
        return false;
    const uint32_t lLength = ReadBe16(p + kLengthAt);
    if (lLength < kDmrFrameMinimumLength || lLength >= kDmrFrameLengthLimit ||
        lLength > lAvailable || p[lLength - 1] != kDmrFrameTerminator)
        return false;
    return ChecksumState(p, lLength) != DMR_CHECKSUM_REJECTED;
}

DmrFrameCheck CDmrTmw2DmrTmv::CheckDmrFrame(const uint8_t *p, size_t lAvailable, uint32_t &lLength,
                                            uint32_t &lStep) {
    lLength = 0;
    lStep = 1;
    if (lAvailable == 0)
        return DmrFrameCheck::Incomplete;
    if (p[0] != kDmrFrameMarker)
        return DmrFrameCheck::Skip;
    if (lAvailable < kLengthAt + 2)
        return DmrFrameCheck::Incomplete;
    const uint32_t lStated = ReadBe16(p + kLengthAt);
    // A length too short for the fixed fields is no frame either: taking it
    // would read fields from outside it.
    if (lStated < kDmrFrameMinimumLength || lStated >= kDmrFrameLengthLimit)
        return DmrFrameCheck::Skip;
    if (lStated > lAvailable)
        return DmrFrameCheck::Incomplete;
    if (p[lStated - 1] != kDmrFrameTerminator)
        return DmrFrameCheck::Skip;
    const uint8_t lState = ChecksumState(p, lStated);
    if (lState == DMR_CHECKSUM_REJECTED)
        return DmrFrameCheck::Skip;
    if (p[kKindAt] != kDmrConvertedFrameKind) {
        // Only a checksum makes the stated length trustworthy enough to jump.
        lStep = lState == DMR_CHECKSUM_MATCHED ? lStated : 1;
        return DmrFrameCheck::Skip;
    }
    lLength = lStated;
    lStep = lStated;
    return DmrFrameCheck::Found;
}

bool CDmrTmw2DmrTmv::DecodeDmrFrame(const uint8_t *p, uint32_t lLength, TmwDmrFrame &clFrame,
                                    uint32_t &lStep) {
    clFrame.itemCount = 0;
    clFrame.checksumState = ChecksumState(p, lLength);
    lStep = clFrame.checksumState == DMR_CHECKSUM_MATCHED ? lLength : 1;

    clFrame.timeWord = ReadBe64(p + kTimeWordAt);
    clFrame.burstKindCode = p[kBurstKindAt];
    clFrame.word1 = ReadBe16(p + kWord1At);
    clFrame.byte2 = p[kByte2At];
    clFrame.byte1 = p[kByte1At];
    clFrame.optionFlags = p[kOptionFlagsAt];
    clFrame.option40 = 0;
    clFrame.option8 = 0;
    clFrame.optionWord2 = clFrame.optionWord3 = clFrame.optionWord4 = 0;
    clFrame.option32 = 0;
    if (clFrame.optionFlags > kDmrLargestOptionFlags)
        return false;

    // Everything after the option flags lies before the terminator.
    const uint32_t lEnd = lLength - 1;
    uint32_t lAt = kOptionsAt;
    for (int lBit = 0; lBit < 6; ++lBit) {
        if ((clFrame.optionFlags & (1u << lBit)) == 0)
            continue;
        if (lEnd - lAt < kOptionSizes[lBit])
            return false;
        const uint8_t *pOption = p + lAt;
        switch (lBit) {
        case 0:
            clFrame.option40 = (uint64_t(pOption[0]) << 32) | ReadBe32(pOption + 1);
            break;
        case 1:
            clFrame.option8 = pOption[0];
            break;
        case 2:
            clFrame.optionWord2 = ReadBe16(pOption);
            break;
        case 3:
            clFrame.optionWord3 = ReadBe16(pOption);
            break;
        case 4:
            clFrame.optionWord4 = ReadBe16(pOption);
            break;
        default:
            clFrame.option32 = ReadBe32(pOption);
            break;
        }
        lAt += kOptionSizes[lBit];
    }
    if (lAt >= lEnd)
        return false;
    const uint32_t lItems = p[lAt++];

    for (uint32_t i = 0; i < lItems && clFrame.itemCount < kDmrMaxStoredItems; ++i) {
        if (lEnd - lAt < 3)
            return false;
        const uint16_t lBitCount = ReadBe16(p + lAt);
        const uint32_t lKind = p[lAt + 2];
        const uint32_t lBytes = ItemDataBytes(lBitCount);
        lAt += 3;
        if (lEnd - lAt < lBytes + 1)
            return false;
        if (lKind >= 1 && lKind < 40 && lBytes <= kAcceptedBytes[lKind]) {
            TmwDmrItem &clItem = clFrame.items[clFrame.itemCount++];
            clItem.bitCount = lBitCount;
            clItem.itemKind = lKind;
            clItem.itemFlags = p[lAt + lBytes];
            std::memcpy(clItem.data, p + lAt, lBytes);
        }
        lAt += lBytes + 1;
    }
    lStep = lLength;
    return true;
}

bool CDmrTmw2DmrTmv::ConvertDmrFrame(const TmwDmrFrame &clFrame, DmrTmv &clOut) {
    std::memset(&clOut, 0, sizeof clOut);
    if (clFrame.checksumState == DMR_CHECKSUM_REJECTED)
        return false;

    clOut.timeSeconds = DmrTimeWordSeconds(clFrame.timeWord);
    clOut.milliseconds = uint16_t(Bits(clFrame.timeWord, 0, 10));
    clOut.burstKind = uint8_t((clFrame.burstKindCode < 4 ? clFrame.burstKindCode : 4) + 1);
    if (clOut.burstKind == 1)
        m_bBurstKind1Seen = true;
    else if (clOut.burstKind == 2)
        clOut.timeslot = m_bBurstKind1Seen ? 1 : 0;

    clOut.word1 = clFrame.word1;
    clOut.byte1 = clFrame.byte1;
    clOut.byte2 = clFrame.byte2;
    clOut.optionalFlags = clFrame.optionFlags & kDmrLargestOptionFlags;
    clOut.byte4 = clFrame.option8;
    clOut.word2 = clFrame.optionWord2;
    clOut.word3 = clFrame.optionWord3;
    clOut.word4 = clFrame.optionWord4;
    clOut.value48 = clFrame.option40;
    clOut.word5 = uint16_t(clFrame.option32);

    const int lItems =
        clFrame.itemCount < kDmrMaxStoredItems ? clFrame.itemCount : kDmrMaxStoredItems;
    for (int i = 0; i < lItems; ++i) {
        const TmwDmrItem &clItem = clFrame.items[i];
        if (clItem.itemKind >= 40)
            continue;
        const Placement &clPlace = kPlacement[clItem.itemKind];
        if (clPlace.slot < 0)
            continue;
        const DmrItemRef clSlot = DmrItemAt(clOut, clPlace.slot);
        const uint32_t lHeld = ItemDataBytes(clItem.bitCount);
        const uint32_t lCopied = lHeld < clPlace.bytes ? lHeld : clPlace.bytes;
        clSlot.item->itemKind = clItem.itemKind;
        clSlot.item->bitCount = clItem.bitCount < clPlace.bits ? clItem.bitCount : clPlace.bits;
        clSlot.item->highFlag = clItem.itemFlags & 1;
        clSlot.item->itemFlags = uint8_t(clItem.itemFlags >> 1);
        // A later item in the same slot replaces the earlier one whole.
        std::memset(clSlot.data, 0, clSlot.capacity);
        std::memcpy(clSlot.data, clItem.data, lCopied);
    }
    return true;
}

void CDmrTmw2DmrTmv::FillDmrRecord(RawRecord &clRecord, DmrTmv &clPayload) {
    clRecord.recordClass = 2;
    clRecord.frequency = 0;
    clRecord.symbolRate = 4800;
    clRecord.value16 = 0;
    clRecord.payloadKind = PAYLOAD_DMR;
    clRecord.payloadLength = kDmrTmvLength;
    clRecord.payload = &clPayload;
    clRecord.spare64 = 0;
    clRecord.spare32 = 0;
}
