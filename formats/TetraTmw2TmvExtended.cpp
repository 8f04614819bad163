// Extended-entry conversion: the channel-type tables, one record per
// sub-entry, and the combined conversion of sub-entries that form one burst.
#include "TetraTmw2Tmv.h"

#include <cstring>

namespace {

constexpr uint8_t kFlags2Plain = 0x80;
constexpr uint8_t kFlags2Marked = 0x81;

constexpr uint8_t kSubValue1 = 0x80;
constexpr uint8_t kSubValue2 = 0x40;
constexpr uint8_t kSubValue3 = 0x20;
constexpr uint8_t kSubDataState = 0x08;
constexpr uint8_t kEntryFrequency = 0x40;
constexpr uint8_t kEntryTime = 0x20;

struct SingleChannelType {
    uint8_t type;
    uint8_t channelCode;
    uint16_t bitCount;
    uint8_t burstInfo0;
};

// Type 7 is missing here: its row depends on the burst byte.
constexpr SingleChannelType kSingleTypes[] = {
    {0, 0, 0, 0},    {1, 5, 60, 0},   {3, 4, 124, 0},  {4, 3, 124, 0},   {5, 2, 268, 0},
    {6, 1, 92, 0},   {8, 28, 144, 0}, {9, 25, 288, 0}, {10, 24, 432, 0}, {11, 10, 196, 1},
    {12, 9, 412, 1}, {13, 8, 148, 1}, {15, 6, 14, 0},  {43, 11, 65, 2},  {44, 14, 15, 2},
};

// Four blocks of 21 types, starting at these.
constexpr uint8_t kBlockStarts[4] = {22, 52, 82, 112};
constexpr int kBlockLength = 21;
constexpr uint16_t kBlockBitCounts[4][kBlockLength] = {
    {392, 185, 389,  800, 593, 797, 1208, 384, 181, 381, 784,
     581, 781, 1184, 136, 57,  133, 288,  209, 285, 440},
    {864,  421,  861,  1744, 1301, 1741, 2624, 800, 389, 797, 1616,
     1205, 1613, 2432, 304,  141,  301,  624,  461, 621, 944},
    {1808, 893,  1805, 3632, 2717, 3629, 5456, 1632, 805,  1629, 3280,
     2453, 3277, 4928, 640,  309,  637,  1296, 965,  1293, 1952},
    {2752, 1365, 2749, 5520, 4133, 5517, 8288, 2464, 1221, 2461, 4944,
     3701, 4941, 7424, 976,  477,  973,  1968, 1469, 1965, 2960},
};
// (burstInfo[0], burstInfo[1]) by i mod 7 within a block.
constexpr uint8_t kBlockBurstInfo[7][2] = {{2, 2}, {2, 0}, {3, 0}, {3, 2}, {4, 0}, {4, 1}, {4, 2}};

// A piece of the combined record's data: count bytes of one sub-entry, or
// with kPacked the 274-bit packing of that sub-entry and the next.
constexpr uint8_t kPacked = 0xFF;
struct CombinedPiece {
    uint8_t subEntry;
    uint8_t count; // 0 ends the list
};

struct CombinedSet {
    uint8_t subEntryCount;
    uint8_t types[3];
    uint8_t channelCode;
    uint16_t bitCount;
    uint8_t flags2SubEntries; // bit k: sub-entry k's byte X bit 7 marks flags2
    bool shiftValidBits;
    CombinedPiece pieces[3];
};

constexpr CombinedSet kCombinedSets[] = {
    {2, {15, 5, 0}, 17, 288, 0b010, false, {{0, 2}, {1, 34}}},
    // The layout of code 20 takes 137 bits of a third sub-entry that a
    // two-entry set lacks; those bits are zero.
    {2, {15, 7, 0}, 20, 304, 0b010, false, {{0, 2}, {1, kPacked}}},
    {2, {15, 8, 0}, 35, 160, 0b010, false, {{0, 2}, {1, 18}}},
    {2, {15, 9, 0}, 32, 304, 0b010, false, {{0, 2}, {1, 36}}},
    {2, {15, 10, 0}, 31, 448, 0b010, false, {{0, 2}, {1, 54}}},
    {2, {3, 3, 0}, 21, 256, 0b011, true, {{0, 16}, {1, 16}}},
    {2, {3, 7, 0}, 22, 272, 0b011, true, {{0, 16}, {1, 18}}},
    {2, {7, 7, 0}, 7, 288, 0b001, true, {{0, kPacked}}},
    {3, {15, 1, 4}, 15, 208, 0b100, false, {{0, 2}, {1, 8}, {2, 16}}},
    {3, {15, 4, 4}, 16, 272, 0b110, false, {{0, 2}, {1, 16}, {2, 16}}},
    {3, {15, 3, 3}, 18, 272, 0b110, false, {{0, 2}, {1, 16}, {2, 16}}},
    {3, {15, 3, 7}, 19, 288, 0b110, false, {{0, 2}, {1, 16}, {2, 18}}},
    {3, {15, 7, 7}, 20, 304, 0b010, false, {{0, 2}, {1, kPacked}}},
};

int HeldSubEntries(const TmwTetraExtendedEntry &clEntry) {
    return clEntry.subEntryCount < kTmwMaxSubEntries ? clEntry.subEntryCount : kTmwMaxSubEntries;
}

// The first lCount data bytes of sub-entry lIndex. Bytes the sub-entry does
// not hold, and every byte of a sub-entry the entry does not have, are zero:
// nothing is read from what an earlier entry left behind.
void SubEntryBytes(const TmwTetraExtendedEntry &clEntry, int lIndex, uint32_t lCount,
                   uint8_t *pOut) {
    std::memset(pOut, 0, lCount);
    if (lIndex >= HeldSubEntries(clEntry))
        return;
    const TmwTetraSubEntry &clSub = clEntry.subEntries[lIndex];
    uint32_t lHeld = clSub.dataLength;
    if (lHeld > kTmwSubEntryDataCapacity)
        lHeld = kTmwSubEntryDataCapacity;
    std::memcpy(pOut, clSub.data, lCount < lHeld ? lCount : lHeld);
}

bool SubEntryDataValid(const TmwTetraSubEntry &clSub) {
    return (clSub.flags & kSubDataState) == 0 || clSub.dataState == 0;
}

const CombinedSet *CombinedSetFor(const TmwTetraExtendedEntry &clEntry) {
    for (const CombinedSet &clSet : kCombinedSets) {
        if (clEntry.subEntryCount != clSet.subEntryCount)
            continue;
        bool bSame = true;
        for (int k = 0; k < clSet.subEntryCount; ++k)
            bSame = bSame && clEntry.subEntries[k].channelType == clSet.types[k];
        if (bSame)
            return &clSet;
    }
    return nullptr;
}

int8_t BurstTypeFor(uint8_t lBurstByte, uint8_t lChannelCode) {
    const bool bStealingChannel = lChannelCode == 12 || lChannelCode == 1;
    if (lBurstByte == 16)
        return bStealingChannel ? 17 : 16;
    if (lBurstByte >= 17 && lBurstByte <= 22)
        return int8_t(lBurstByte);
    if (lBurstByte == 32)
        return bStealingChannel ? 33 : 32;
    if (lBurstByte >= 33 && lBurstByte <= 38)
        return int8_t(lBurstByte);
    return 0;
}

} // namespace

bool LookupTetraChannelType(uint8_t lType, uint8_t lBurstByte, TetraChannelType &clOut) {
    clOut = TetraChannelType{};
    if (lType == 7) {
        clOut.channelCode = lBurstByte != 0 ? 23 : 7;
        clOut.bitCount = lBurstByte != 0 ? 137 : 274;
        return true;
    }
    for (const SingleChannelType &clRow : kSingleTypes) {
        if (clRow.type == lType) {
            clOut.channelCode = clRow.channelCode;
            clOut.bitCount = clRow.bitCount;
            clOut.burstInfo[0] = clRow.burstInfo0;
            return true;
        }
    }
    for (uint8_t m = 0; m < 4; ++m) {
        if (lType < kBlockStarts[m] || lType >= kBlockStarts[m] + kBlockLength)
            continue;
        const int i = lType - kBlockStarts[m];
        clOut.channelCode = i < 14 ? 13 : 12;
        clOut.bitCount = kBlockBitCounts[m][i];
        clOut.burstInfo[0] = kBlockBurstInfo[i % 7][0];
        clOut.burstInfo[1] = kBlockBurstInfo[i % 7][1];
        clOut.burstInfo[2] = m;
        return true;
    }
    return false;
}

bool CTetraTmw2Tmv::SetExtendedCommonFields(const TmwTetraExtendedEntry &clEntry,
                                            const TmwTetraSubEntry &clSub, TetraTmv &clOut) {
    if (clEntry.entryFlags & kEntryTime) {
        clOut.timeSeconds = clEntry.timeSeconds;
        clOut.milliseconds = clEntry.milliseconds;
    } else {
        CounterTime(clEntry.hyperframe, clEntry.multiframe, clEntry.frame, clEntry.timeslot, true,
                    false, clOut);
    }
    clOut.hyperframe = clEntry.hyperframe;
    clOut.multiframe = clEntry.multiframe;
    clOut.frame = clEntry.frame;
    clOut.timeslot = clEntry.timeslot;
    clOut.ext1 = 0;

    clOut.valueFlags = clSub.flags & (kSubValue1 | kSubValue2 | kSubValue3);
    if (clSub.flags & kSubValue1)
        clOut.value1 = (clSub.value1Source - 5) / 10;
    if (clSub.flags & kSubValue2)
        clOut.value2 = (clSub.value2Source - 10) / 100;
    if (clSub.flags & kSubValue3)
        clOut.value3 = clSub.value3Source * 125;

    clOut.frequency = (clEntry.entryFlags & kEntryFrequency) ? clEntry.frequency : 0;
    if (clEntry.link > 1)
        return false;
    clOut.direction = clEntry.link;
    return true;
}

bool CTetraTmw2Tmv::ConvertCombined(const TmwTetraExtendedEntry &clEntry, uint8_t lSubIndex,
                                    TetraTmv &clOut, bool &bRecord) {
    const CombinedSet *pSet = CombinedSetFor(clEntry);
    if (pSet == nullptr)
        return false;
    bRecord = false;
    if (lSubIndex != 0 || !SetExtendedCommonFields(clEntry, clEntry.subEntries[0], clOut))
        return true;

    clOut.channelCode = pSet->channelCode;
    clOut.bitCount = pSet->bitCount;
    clOut.burstType = -1;
    clOut.flags2 = kFlags2Plain;
    clOut.dataFlags = 0;
    for (int k = 0; k < pSet->subEntryCount; ++k) {
        const TmwTetraSubEntry &clSub = clEntry.subEntries[k];
        if (SubEntryDataValid(clSub))
            clOut.dataFlags |= uint8_t(1u << k);
        if ((pSet->flags2SubEntries & (1u << k)) && (clSub.byteX & 0x80))
            clOut.flags2 = kFlags2Marked;
    }
    if (pSet->shiftValidBits)
        clOut.dataFlags = uint8_t(clOut.dataFlags << 1);

    uint8_t *pOut = clOut.data;
    for (const CombinedPiece &clPiece : pSet->pieces) {
        if (clPiece.count == 0)
            break;
        if (clPiece.count == kPacked) {
            uint8_t aFirst[18];
            uint8_t aSecond[18];
            SubEntryBytes(clEntry, clPiece.subEntry, sizeof aFirst, aFirst);
            SubEntryBytes(clEntry, clPiece.subEntry + 1, sizeof aSecond, aSecond);
            PackTwo137BitBlocks(pOut, aFirst, aSecond);
            pOut += 35;
        } else {
            SubEntryBytes(clEntry, clPiece.subEntry, clPiece.count, pOut);
            pOut += clPiece.count;
        }
    }
    bRecord = true;
    return true;
}

bool CTetraTmw2Tmv::ConvertTmwTetraExtended(const TmwTetraExtendedEntry &clEntry, uint8_t lSubIndex,
                                            TetraTmv &clOut) {
    std::memset(&clOut, 0, sizeof clOut);
    if (lSubIndex >= clEntry.subEntryCount || lSubIndex >= kTmwMaxSubEntries)
        return false;
    bool bRecord = false;
    if (ConvertCombined(clEntry, lSubIndex, clOut, bRecord))
        return bRecord;

    const TmwTetraSubEntry &clSub = clEntry.subEntries[lSubIndex];
    if (!SetExtendedCommonFields(clEntry, clSub, clOut))
        return false;
    clOut.flags2 = (clSub.byteX & 0x80) ? kFlags2Marked : kFlags2Plain;

    TetraChannelType clType;
    if (!LookupTetraChannelType(clSub.channelType, clSub.byteY, clType))
        return false;
    clOut.channelCode = clType.channelCode;
    clOut.bitCount = clType.bitCount;
    std::memcpy(clOut.burstInfo, clType.burstInfo, sizeof clOut.burstInfo);
    clOut.burstType = BurstTypeFor(clSub.byteY, clOut.channelCode);

    if (SubEntryDataValid(clSub)) {
        if (clOut.channelCode == 6 || clOut.channelCode == 14)
            clOut.dataFlags = 0x01;
        else
            clOut.dataFlags = clOut.burstType == 32 ? 0x04 : 0x02;
    }
    SubEntryBytes(clEntry, lSubIndex, (uint32_t(clOut.bitCount) + 7) / 8, clOut.data);
    return true;
}
