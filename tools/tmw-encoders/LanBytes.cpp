#include "LanBytes.h"

namespace LanBytes {

namespace {

void Put8(Bytes &clOut, uint8_t lValue) {
    clOut.push_back(lValue);
}

void PutBe16(Bytes &clOut, uint16_t lValue) {
    clOut.push_back(uint8_t(lValue >> 8));
    clOut.push_back(uint8_t(lValue & 0xFF));
}

void PutBe32(Bytes &clOut, uint32_t lValue) {
    PutBe16(clOut, uint16_t(lValue >> 16));
    PutBe16(clOut, uint16_t(lValue & 0xFFFF));
}

void PutBe64(Bytes &clOut, uint64_t lValue) {
    PutBe32(clOut, uint32_t(lValue >> 32));
    PutBe32(clOut, uint32_t(lValue & 0xFFFFFFFF));
}

void PutBytes(Bytes &clOut, const Bytes &clBytes) {
    clOut.insert(clOut.end(), clBytes.begin(), clBytes.end());
}

using TmwEncoders::CSequenceRandom;

Bytes RandomBytes(CSequenceRandom &clRandom, size_t lCount) {
    Bytes clBytes(lCount);
    for (uint8_t &lByte : clBytes)
        lByte = clRandom.Byte();
    return clBytes;
}

// Calendar date of a day counted from 1970-01-01 (proleptic Gregorian).
void DateOfDay(int64_t lDay, int &lYear, int &lMonth, int &lDayOfMonth) {
    // Walk whole years, then months: slow but obviously right for the
    // few decades a recording spans.
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    int y = 1970;
    for (;;) {
        const int lDays = leap(y) ? 366 : 365;
        if (lDay < lDays)
            break;
        lDay -= lDays;
        ++y;
    }
    const int aMonthDays[12] = {31, leap(y) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int m = 0;
    while (lDay >= aMonthDays[m]) {
        lDay -= aMonthDays[m];
        ++m;
    }
    lYear = y;
    lMonth = m + 1;
    lDayOfMonth = int(lDay) + 1;
}

int64_t DayOfDate(int lYear, int lMonth, int lDayOfMonth) {
    auto leap = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    int64_t lDay = 0;
    for (int y = 1970; y < lYear; ++y)
        lDay += leap(y) ? 366 : 365;
    const int aMonthDays[12] = {31, leap(lYear) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int m = 1; m < lMonth; ++m)
        lDay += aMonthDays[m - 1];
    return lDay + lDayOfMonth - 1;
}

DmrTime TimeOfMilliseconds(uint64_t lUnixMilliseconds) {
    DmrTime clTime;
    const uint64_t lSeconds = lUnixMilliseconds / 1000;
    int lYear = 0;
    int lMonth = 0;
    int lDay = 0;
    DateOfDay(int64_t(lSeconds / 86400), lYear, lMonth, lDay);
    clTime.year = uint16_t(lYear);
    clTime.month = uint8_t(lMonth);
    clTime.day = uint8_t(lDay);
    clTime.hour = uint8_t(lSeconds % 86400 / 3600);
    clTime.minute = uint8_t(lSeconds % 3600 / 60);
    clTime.second = uint8_t(lSeconds % 60);
    clTime.milliseconds = uint16_t(lUnixMilliseconds % 1000);
    return clTime;
}

uint64_t MillisecondsOfTime(const DmrTime &clTime) {
    const int64_t lDay = DayOfDate(clTime.year, clTime.month, clTime.day);
    return uint64_t(((lDay * 24 + clTime.hour) * 60 + clTime.minute) * 60 + clTime.second) * 1000 +
           clTime.milliseconds;
}

} // namespace

// ---- TETRA entries ----

void AppendEntry(Bytes &clOut, const Bytes &clBody, int32_t lStatedLength, uint8_t lTerminator) {
    Put8(clOut, kEntryMarker);
    PutBe16(clOut, uint16_t(lStatedLength < 0 ? clBody.size() : size_t(lStatedLength)));
    PutBytes(clOut, clBody);
    Put8(clOut, lTerminator);
}

Bytes Entry(const Bytes &clBody, int32_t lStatedLength, uint8_t lTerminator) {
    Bytes clOut;
    AppendEntry(clOut, clBody, lStatedLength, lTerminator);
    return clOut;
}

Bytes FrameEntryBody(const FrameEntryFields &clFields) {
    Bytes clBody;
    Put8(clBody, kFrameEntryKind);
    PutBe16(clBody, clFields.notUsed);
    PutBe16(clBody, clFields.carrier);
    Put8(clBody, clFields.band);
    Put8(clBody, clFields.burstCode);
    PutBe32(clBody, clFields.timeValue);
    Put8(clBody, clFields.timeMode);
    Put8(clBody, clFields.timeslot);
    Put8(clBody, clFields.frame);
    Put8(clBody, clFields.multiframe);
    PutBe16(clBody, clFields.hyperframe);
    PutBe16(clBody, uint16_t(clFields.optionalBlock.size()));
    PutBytes(clBody, clFields.optionalBlock);
    for (int16_t lValue : clFields.values)
        PutBe16(clBody, uint16_t(lValue));
    PutBe16(clBody, clFields.prefixWord);
    Put8(clBody, clFields.entryType);
    Put8(clBody, clFields.frameFlags);
    clBody.insert(clBody.end(), clFields.data, clFields.data + kFrameDataSize);
    PutBytes(clBody, clFields.trailing);
    return clBody;
}

void SetSecondsSince2000(FrameEntryFields &clFields, uint32_t lSeconds, uint16_t lMilliseconds) {
    clFields.timeValue = lSeconds;
    clFields.timeMode = uint8_t(2 * (lMilliseconds / 10) + 1);
    clFields.frameFlags = uint8_t((clFields.frameFlags & 0x0F) | ((lMilliseconds % 10) << 4));
}

Bytes SubEntryBytes(const SubEntryFields &clFields) {
    Bytes clRest;
    Put8(clRest, clFields.flags);
    if (clFields.flags & kSubValue1)
        PutBe16(clRest, uint16_t(clFields.value1Source));
    if (clFields.flags & kSubValue2)
        PutBe16(clRest, uint16_t(clFields.value2Source));
    if (clFields.flags & kSubValue3)
        PutBe16(clRest, uint16_t(clFields.value3Source));
    if (clFields.flags & kSubValue16)
        PutBe16(clRest, clFields.value16);
    if (clFields.flags & kSubDataState)
        Put8(clRest, clFields.dataState);
    if (clFields.flags & kSubSkipped) {
        PutBe16(clRest, uint16_t(clFields.skipped.size()));
        PutBytes(clRest, clFields.skipped);
    }
    Put8(clRest, clFields.byteX);
    Put8(clRest, clFields.byteY);
    Put8(clRest, clFields.channelType);
    PutBytes(clRest, clFields.data);

    Bytes clOut;
    PutBe16(clOut,
            uint16_t(clFields.statedLength < 0 ? clRest.size() : size_t(clFields.statedLength)));
    PutBytes(clOut, clRest);
    return clOut;
}

Bytes ExtendedEntryBody(const ExtendedEntryFields &clFields) {
    Bytes clBody;
    Put8(clBody, kExtendedEntryKind);
    PutBe16(clBody, clFields.notUsed);
    Put8(clBody, clFields.link);
    Put8(clBody, clFields.flags);
    Put8(clBody, uint8_t(clFields.statedCount < 0 ? clFields.subEntries.size()
                                                  : size_t(clFields.statedCount)));
    if (clFields.link <= 3) {
        PutBe16(clBody, clFields.hyperframe);
        Put8(clBody, clFields.multiframe);
        Put8(clBody, clFields.frame);
        Put8(clBody, clFields.timeslot);
    }
    if (clFields.flags & kEntryValue16) {
        PutBe16(clBody, clFields.value16);
        Put8(clBody, clFields.byte1);
    }
    if (clFields.flags & kEntryFrequency) {
        PutBe32(clBody, clFields.frequency);
        PutBe32(clBody, clFields.value32);
    }
    if (clFields.flags & kEntryTime) {
        PutBe64(clBody, clFields.timeSeconds);
        PutBe16(clBody, clFields.milliseconds);
    }
    if (clFields.flags & kEntrySkipped4) {
        PutBe16(clBody, uint16_t(clFields.skipped4.size()));
        PutBytes(clBody, clFields.skipped4);
    }
    if (clFields.flags & kEntrySkipped3) {
        PutBe16(clBody, uint16_t(clFields.skipped3.size()));
        PutBe16(clBody, clFields.value16Bit3);
        PutBytes(clBody, clFields.skipped3);
    }
    if (clFields.flags & kEntrySkipped2) {
        PutBe16(clBody, uint16_t(clFields.skipped2.size()));
        PutBytes(clBody, clFields.skipped2);
    }
    for (const SubEntryFields &clSub : clFields.subEntries)
        PutBytes(clBody, SubEntryBytes(clSub));
    PutBytes(clBody, clFields.trailing);
    return clBody;
}

uint32_t ChannelTypeBits(uint8_t lType, uint8_t lBurstByte) {
    switch (lType) {
    case 1:
        return 60;
    case 3:
    case 4:
        return 124;
    case 5:
        return 268;
    case 6:
        return 92;
    case 7:
        return lBurstByte != 0 ? 137 : 274;
    case 8:
        return 144;
    case 9:
        return 288;
    case 10:
        return 432;
    case 11:
        return 196;
    case 12:
        return 412;
    case 13:
        return 148;
    case 15:
        return 14;
    case 43:
        return 65;
    case 44:
        return 15;
    default:
        break;
    }
    static const uint16_t kBlocks[4][21] = {
        {392, 185, 389,  800, 593, 797, 1208, 384, 181, 381, 784,
         581, 781, 1184, 136, 57,  133, 288,  209, 285, 440},
        {864,  421,  861,  1744, 1301, 1741, 2624, 800, 389, 797, 1616,
         1205, 1613, 2432, 304,  141,  301,  624,  461, 621, 944},
        {1808, 893,  1805, 3632, 2717, 3629, 5456, 1632, 805,  1629, 3280,
         2453, 3277, 4928, 640,  309,  637,  1296, 965,  1293, 1952},
        {2752, 1365, 2749, 5520, 4133, 5517, 8288, 2464, 1221, 2461, 4944,
         3701, 4941, 7424, 976,  477,  973,  1968, 1469, 1965, 2960},
    };
    for (int m = 0; m < 4; ++m) {
        const int i = int(lType) - (22 + 30 * m);
        if (i >= 0 && i < 21)
            return kBlocks[m][i];
    }
    return 0;
}

// ---- DMR frames ----

uint8_t Crc8(const uint8_t *p, size_t lCount) {
    // The message followed by eight zero bits, divided by the polynomial;
    // the remainder is the CRC.
    unsigned lRemainder = 0;
    auto shiftIn = [&lRemainder](unsigned lBit) {
        lRemainder = (lRemainder << 1) | lBit;
        if (lRemainder & 0x100)
            lRemainder ^= 0x107;
    };
    for (size_t i = 0; i < lCount; ++i) {
        for (int b = 7; b >= 0; --b)
            shiftIn((p[i] >> b) & 1u);
    }
    for (int b = 0; b < 8; ++b)
        shiftIn(0);
    return uint8_t(lRemainder);
}

uint64_t TimeWord(const DmrTime &clTime) {
    return (uint64_t(clTime.milliseconds) & 0x3FF) | ((uint64_t(clTime.second) & 0x3F) << 10) |
           ((uint64_t(clTime.minute) & 0x3F) << 16) | ((uint64_t(clTime.hour) & 0x1F) << 22) |
           ((uint64_t(clTime.day) & 0x1F) << 27) | ((uint64_t(clTime.month) & 0x0F) << 32) |
           ((uint64_t(clTime.year) & 0xFFF) << 36);
}

DmrItemFields DmrItem(uint8_t lKind, uint16_t lBits, uint8_t lFirst, uint8_t lFlags) {
    DmrItemFields clItem;
    clItem.kind = lKind;
    clItem.bitCount = lBits;
    clItem.flags = lFlags;
    for (uint32_t i = 0; i < (uint32_t(lBits) + 7) / 8; ++i)
        clItem.data.push_back(uint8_t(lFirst + i));
    return clItem;
}

Bytes DmrFrame(const DmrFrameFields &clFields) {
    Bytes clFrame;
    Put8(clFrame, kDmrMarker);
    PutBe16(clFrame, 0); // the length, placed when known
    Put8(clFrame, 0);    // the check byte, placed when known
    Put8(clFrame, clFields.frameKind);
    PutBe64(clFrame, clFields.timeWord);
    Put8(clFrame, clFields.burstKindCode);
    PutBe16(clFrame, clFields.word1);
    Put8(clFrame, clFields.byte2);
    Put8(clFrame, clFields.byte1);
    Put8(clFrame, clFields.optionFlags);
    const uint8_t lFlags = clFields.optionFlags;
    if (lFlags & 0x01) {
        Put8(clFrame, uint8_t(clFields.option40 >> 32));
        PutBe32(clFrame, uint32_t(clFields.option40 & 0xFFFFFFFF));
    }
    if (lFlags & 0x02)
        Put8(clFrame, clFields.option8);
    if (lFlags & 0x04)
        PutBe16(clFrame, clFields.optionWord2);
    if (lFlags & 0x08)
        PutBe16(clFrame, clFields.optionWord3);
    if (lFlags & 0x10)
        PutBe16(clFrame, clFields.optionWord4);
    if (lFlags & 0x20)
        PutBe32(clFrame, clFields.option32);
    if (lFlags <= 63) {
        Put8(clFrame, uint8_t(clFields.statedCount < 0 ? clFields.items.size()
                                                       : size_t(clFields.statedCount)));
        for (const DmrItemFields &clItem : clFields.items) {
            PutBe16(clFrame, clItem.bitCount);
            Put8(clFrame, clItem.kind);
            PutBytes(clFrame, clItem.data);
            Put8(clFrame, clItem.flags);
        }
    }
    PutBytes(clFrame, clFields.trailing);
    Put8(clFrame, clFields.terminator);

    const size_t lLength =
        clFields.statedLength < 0 ? clFrame.size() : size_t(clFields.statedLength);
    clFrame[1] = uint8_t(lLength >> 8);
    clFrame[2] = uint8_t(lLength & 0xFF);
    switch (clFields.check) {
    case DmrCheck::Computed: {
        const uint8_t lCrc = FrameCrc(clFrame);
        clFrame[3] = lCrc == 0 ? 255 : lCrc;
        break;
    }
    case DmrCheck::None:
        clFrame[3] = 0;
        break;
    case DmrCheck::Given:
        clFrame[3] = clFields.givenCheck;
        break;
    }
    return clFrame;
}

void AppendDmrFrame(Bytes &clOut, const DmrFrameFields &clFields) {
    PutBytes(clOut, DmrFrame(clFields));
}

uint8_t FrameCrc(const Bytes &clFrame) {
    // From the kind byte (offset 4) up to the byte before the terminator.
    if (clFrame.size() < 6)
        return 0;
    return Crc8(clFrame.data() + 4, clFrame.size() - 5);
}

// ---- Sequences ----

namespace {

struct Weighted {
    uint8_t value;
    uint32_t weight;
};

template <size_t N> uint8_t Pick(CSequenceRandom &clRandom, const Weighted (&aChoices)[N]) {
    uint32_t lTotal = 0;
    for (const Weighted &clChoice : aChoices)
        lTotal += clChoice.weight;
    uint32_t lRoll = clRandom.Below(lTotal);
    for (const Weighted &clChoice : aChoices) {
        if (lRoll < clChoice.weight)
            return clChoice.value;
        lRoll -= clChoice.weight;
    }
    return aChoices[0].value;
}

// Burst code 0 is a timeslot without a burst.
constexpr Weighted kBurstCodes[] = {{1, 60}, {2, 15}, {17, 5}, {18, 5}, {33, 5}, {34, 4}, {0, 6}};
constexpr Weighted kDownlinkTypes[] = {{1, 10}, {3, 8},  {5, 6},  {6, 6},  {9, 3},  {13, 6},
                                       {14, 4}, {15, 4}, {16, 4}, {17, 4}, {34, 4}, {37, 3},
                                       {40, 3}, {41, 2}, {45, 2}, {48, 2}, {20, 1}};
constexpr Weighted kUplinkTypes[] = {{5, 6}, {6, 5}, {7, 2}, {13, 4}, {16, 2}, {17, 4}};
// Single sub-entry channel types that never form a combined set.
constexpr Weighted kSingleTypes[] = {{6, 8},  {11, 4}, {12, 2}, {13, 4}, {43, 2},
                                     {44, 2}, {22, 2}, {36, 2}, {64, 1}, {95, 1}};
constexpr Weighted kOtherKinds[] = {{0x01, 2}, {0x10, 1}, {0xDB, 1}, {0xDF, 1}};

FrameEntryFields SequenceFrameEntry(CSequenceRandom &clRandom, uint32_t lSeconds,
                                    uint16_t lMilliseconds, uint32_t lSlot) {
    FrameEntryFields clFields;
    clFields.carrier = 1000;
    clFields.band = 4;
    clFields.burstCode = Pick(clRandom, kBurstCodes);
    const bool bUplink = clFields.burstCode == 2 || clFields.burstCode == 18;
    clFields.entryType = bUplink ? Pick(clRandom, kUplinkTypes) : Pick(clRandom, kDownlinkTypes);
    clFields.timeslot = uint8_t(lSlot % 4 + 1);
    clFields.frame = uint8_t(lSlot / 4 % 18 + 1);
    clFields.multiframe = uint8_t(lSlot / 72 % 60 + 1);
    clFields.hyperframe = uint16_t(lSlot / 4320);
    clFields.frameFlags = kBlock1Valid | kBlock2Valid | (clRandom.Below(2) ? kPrefixValid : 0);
    SetSecondsSince2000(clFields, lSeconds, lMilliseconds);
    for (int i = 0; i < 6; i += 2) {
        clFields.values[i] = clRandom.Between(-1200, -400);
        clFields.values[i + 1] = clRandom.Between(-1200, -400);
    }
    clFields.values[2] = clRandom.Between(-30, 300);
    clFields.values[4] = clRandom.Between(-4, 4);
    clFields.prefixWord = uint16_t(clRandom.Next());
    for (uint8_t &lByte : clFields.data)
        lByte = clRandom.Byte();
    if (clRandom.Below(20) == 0)
        clFields.optionalBlock = RandomBytes(clRandom, clRandom.Below(8));
    if (clRandom.Below(20) == 0)
        clFields.trailing = RandomBytes(clRandom, 1 + clRandom.Below(6));
    return clFields;
}

ExtendedEntryFields SequenceExtendedEntry(CSequenceRandom &clRandom, uint64_t lUnixSeconds,
                                          uint16_t lMilliseconds, uint32_t lSlot) {
    ExtendedEntryFields clFields;
    clFields.link = uint8_t(clRandom.Below(4) == 0 ? 1 : 0);
    clFields.flags = kEntryFrequency | kEntryTime;
    if (clRandom.Below(4) == 0)
        clFields.flags |= kEntryValue16;
    if (clRandom.Below(8) == 0)
        clFields.flags |= kEntrySkipped3;
    clFields.timeslot = uint8_t(lSlot % 4 + 1);
    clFields.frame = uint8_t(lSlot / 4 % 18 + 1);
    clFields.multiframe = uint8_t(lSlot / 72 % 60 + 1);
    clFields.hyperframe = uint16_t(lSlot / 4320);
    clFields.frequency = 425000000 + 25000 * clRandom.Below(40);
    clFields.value32 = uint32_t(clRandom.Next());
    clFields.timeSeconds = lUnixSeconds;
    clFields.milliseconds = lMilliseconds;
    clFields.value16 = uint16_t(clRandom.Next());
    clFields.byte1 = clRandom.Byte();
    clFields.value16Bit3 = uint16_t(clRandom.Next());
    clFields.skipped3 = RandomBytes(clRandom, clRandom.Below(5));
    const uint32_t lCount = 1 + clRandom.Below(3);
    for (uint32_t k = 0; k < lCount; ++k) {
        SubEntryFields clSub;
        clSub.flags = kSubValue1 | kSubValue2 | kSubValue3;
        if (clRandom.Below(5) == 0)
            clSub.flags |= kSubDataState;
        clSub.value1Source = clRandom.Between(-1200, -400);
        clSub.value2Source = clRandom.Between(0, 3000);
        clSub.value3Source = clRandom.Between(-4, 4);
        clSub.dataState = uint8_t(clRandom.Below(2));
        clSub.byteX = uint8_t(clRandom.Below(3) == 0 ? 0x80 : 0);
        clSub.byteY = uint8_t(clRandom.Below(2) ? 16 : 33);
        clSub.channelType = Pick(clRandom, kSingleTypes);
        clSub.data =
            RandomBytes(clRandom, (ChannelTypeBits(clSub.channelType, clSub.byteY) + 7) / 8);
        clFields.subEntries.push_back(clSub);
    }
    return clFields;
}

} // namespace

TetraSequenceEntry CTetraEntrySource::Next(uint64_t lUnixSeconds, uint16_t lMilliseconds,
                                           uint32_t lSlot) {
    CSequenceRandom &clRandom = m_clRandom;
    const uint32_t lSeconds = uint32_t(lUnixSeconds - kEpoch2000);
    TetraSequenceEntry clEntry;
    const uint32_t lRoll = clRandom.Below(100);
    if (lRoll < 70) {
        clEntry.shape = EntryShape::Frame;
        clEntry.frame = SequenceFrameEntry(clRandom, lSeconds, lMilliseconds, lSlot);
    } else if (lRoll < 92) {
        clEntry.shape = EntryShape::Extended;
        clEntry.extended = SequenceExtendedEntry(clRandom, lUnixSeconds, lMilliseconds, lSlot);
    } else {
        clEntry.shape = EntryShape::Other;
        clEntry.otherBody = RandomBytes(clRandom, 1 + clRandom.Below(40));
        clEntry.otherBody[0] = Pick(clRandom, kOtherKinds);
    }
    clEntry.unixSeconds = lUnixSeconds;
    clEntry.milliseconds = lMilliseconds;
    return clEntry;
}

std::vector<TetraSequenceEntry> RealisticTetraSequence(const TetraSequenceSettings &clSettings) {
    CTetraEntrySource clSource(clSettings.seed);
    std::vector<TetraSequenceEntry> clEntries;
    clEntries.reserve(clSettings.entryCount);
    // One entry per timeslot of 85/6 ms, counted in sixths of a millisecond.
    const uint64_t lStartSixths = uint64_t(clSettings.startSecondsSince2000) * 6000;
    for (size_t i = 0; i < clSettings.entryCount; ++i) {
        const uint64_t lSixths = lStartSixths + i * 85;
        clEntries.push_back(
            clSource.Next(lSixths / 6000 + kEpoch2000, uint16_t(lSixths % 6000 / 6), uint32_t(i)));
    }
    return clEntries;
}

void AppendTetraEntry(Bytes &clOut, const TetraSequenceEntry &clEntry) {
    switch (clEntry.shape) {
    case EntryShape::Frame:
        AppendEntry(clOut, FrameEntryBody(clEntry.frame));
        break;
    case EntryShape::Extended:
        AppendEntry(clOut, ExtendedEntryBody(clEntry.extended));
        break;
    case EntryShape::Other:
        AppendEntry(clOut, clEntry.otherBody);
        break;
    }
}

Bytes TetraFileBytes(const std::vector<TetraSequenceEntry> &clEntries) {
    Bytes clOut;
    for (const TetraSequenceEntry &clEntry : clEntries)
        AppendTetraEntry(clOut, clEntry);
    return clOut;
}

namespace {

// Items as a DMR receiver reports them, each within what it may carry.
struct ItemShape {
    uint8_t kind;
    uint16_t bits;
};
constexpr ItemShape kItemShapes[] = {
    {1, 16},  {2, 20},   {3, 7},   {4, 24},  {5, 32},  {6, 36},   {7, 77},
    {8, 216}, {8, 260},  {9, 216}, {10, 96}, {12, 96}, {18, 144}, {20, 192},
    {26, 32}, {36, 128}, {37, 64}, {22, 0},  {38, 0},
};
constexpr uint32_t kLargestFrame = 109;

} // namespace

DmrSequenceFrame CDmrFrameSource::Next(uint64_t lUnixMilliseconds) {
    CSequenceRandom &clRandom = m_clRandom;
    const size_t i = m_lIndex++;
    DmrSequenceFrame clFrame;
    clFrame.time = TimeOfMilliseconds(lUnixMilliseconds);
    DmrFrameFields &clFields = clFrame.fields;
    clFields.timeWord = TimeWord(clFrame.time);
    const uint32_t lRoll = clRandom.Below(100);
    clFields.frameKind = lRoll < 90 ? 2 : (lRoll < 95 ? 1 : 3);
    clFields.check = clRandom.Below(10) == 0 ? DmrCheck::None : DmrCheck::Computed;
    clFields.burstKindCode = uint8_t(i < 5 ? 1 + (i % 2) : clRandom.Below(7));
    clFields.word1 = uint16_t(clRandom.Next());
    clFields.byte1 = uint8_t(1 + i % 2);
    clFields.byte2 = clRandom.Byte();
    clFields.optionFlags = uint8_t(clRandom.Below(64));
    clFields.option40 = 446006250ULL + 12500ULL * clRandom.Below(16);
    clFields.option8 = clRandom.Byte();
    clFields.optionWord2 = uint16_t(clRandom.Next());
    clFields.optionWord3 = uint16_t(clRandom.Next());
    clFields.optionWord4 = uint16_t(clRandom.Next());
    clFields.option32 = uint32_t(clRandom.Next());
    const size_t lFixed = DmrFrame(clFields).size();
    size_t lSize = lFixed;
    const uint32_t lItems = clRandom.Below(5);
    for (uint32_t k = 0; k < lItems; ++k) {
        const ItemShape &clShape =
            kItemShapes[clRandom.Below(sizeof kItemShapes / sizeof kItemShapes[0])];
        DmrItemFields clItem =
            DmrItem(clShape.kind, clShape.bits, clRandom.Byte(), uint8_t(clRandom.Below(128)));
        const size_t lItemSize = 3 + clItem.data.size() + 1;
        if (lSize + lItemSize > kLargestFrame)
            continue;
        lSize += lItemSize;
        clFields.items.push_back(clItem);
    }
    return clFrame;
}

std::vector<DmrSequenceFrame> RealisticDmrSequence(const DmrSequenceSettings &clSettings) {
    CDmrFrameSource clSource(clSettings.seed);
    std::vector<DmrSequenceFrame> clFrames;
    clFrames.reserve(clSettings.frameCount);
    const uint64_t lStart = MillisecondsOfTime(clSettings.start);
    // Two timeslots, a burst on each every 60 ms.
    for (size_t i = 0; i < clSettings.frameCount; ++i)
        clFrames.push_back(clSource.Next(lStart + i * 30));
    return clFrames;
}

Bytes DmrFileBytes(const std::vector<DmrSequenceFrame> &clFrames) {
    Bytes clOut;
    for (const DmrSequenceFrame &clFrame : clFrames)
        AppendDmrFrame(clOut, clFrame.fields);
    return clOut;
}

} // namespace LanBytes
