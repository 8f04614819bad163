// DMR record body (type 5): a fixed head, then the items of slots 0 to 6.
#include "ContainerBodies.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace container_body {

namespace {

// Head offsets after the timeslot byte, which only version 3 stores.
constexpr size_t kBurstKindAt = 0;
constexpr size_t kTimeSecondsAt = 1;
constexpr size_t kMillisecondsAt = 9;
constexpr size_t kWord1At = 11;
constexpr size_t kByte1At = 13;
constexpr size_t kByte2At = 14;
constexpr size_t kOptionalFlagsAt = 15;
constexpr size_t kValue48At = 16;
constexpr size_t kByte4At = 22;
constexpr size_t kWord2At = 23;
constexpr size_t kWord3At = 25;
constexpr size_t kWord4At = 27;
constexpr size_t kWord5At = 29;
constexpr size_t kItemCountAt = 31;
constexpr uint32_t kHeadWithoutTimeslot = 32;

constexpr uint32_t kItemHeadSize = 3;
constexpr uint32_t kLongItemKind = 39; // its length byte counts bytes, not bits
constexpr uint32_t kLastItemKind = 39;
constexpr uint8_t kHighFlagBit = 0x80;
constexpr uint8_t kLongItemBit = 0x40;
constexpr uint8_t kItemFlagsMask = 0x3F;
constexpr uint32_t kMaxItemsV3 = 7;
constexpr uint32_t kMaxItemsOld = 6;

uint32_t HeadSize(int lVersion) {
    return kHeadWithoutTimeslot + (lVersion >= 3 ? 1 : 0);
}

enum class ItemPlan { Skip, Write, Refuse };

ItemPlan PlanItem(const DmrTmv &clDmr, int lSlot, int lVersion) {
    const DmrConstItemRef ref = DmrItemAt(clDmr, lSlot);
    const uint32_t lKind = ref.item->itemKind;
    if (lKind == 0 || (lSlot < 2 && clDmr.burstKind != 1))
        return ItemPlan::Skip;
    if (DmrSlotForKind(lKind) != lSlot)
        return ItemPlan::Refuse;
    if (lVersion < 3) {
        if (lKind == kLongItemKind)
            return ItemPlan::Skip;
        // A flags byte with bit 6 or 7 set reads back as another item layout.
        if (ref.item->itemFlags & ~kItemFlagsMask)
            return ItemPlan::Refuse;
    }
    if (DataBytesForBits(ref.item->bitCount) > DmrMaxBytesForKind(lKind))
        return ItemPlan::Refuse;
    return ItemPlan::Write;
}

uint8_t ReconstructTimeslot(uint8_t lBurstKind, DmrTimeslotMemory &clMemory) {
    if (lBurstKind == 1) {
        clMemory.lRemembered = 0;
        clMemory.bArmed = true;
        return 0;
    }
    if (lBurstKind == 2) {
        if (!clMemory.bArmed)
            return 0;
        clMemory.lRemembered = 1;
        return 1;
    }
    return clMemory.lRemembered;
}

} // namespace

bool DmrBodyLength(const DmrTmv &clDmr, int lVersion, uint32_t &lLength) {
    uint32_t lTotal = HeadSize(lVersion);
    for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot) {
        switch (PlanItem(clDmr, lSlot, lVersion)) {
        case ItemPlan::Refuse:
            return false;
        case ItemPlan::Skip:
            break;
        case ItemPlan::Write:
            lTotal += kItemHeadSize + DataBytesForBits(DmrItemAt(clDmr, lSlot).item->bitCount);
            break;
        }
    }
    lLength = lTotal;
    return true;
}

void EncodeDmrBody(const DmrTmv &clDmr, int lVersion, uint8_t *pBody) {
    uint8_t *pHead = pBody;
    if (lVersion >= 3)
        *pHead++ = clDmr.timeslot;
    pHead[kBurstKindAt] = clDmr.burstKind;
    WriteBe64(pHead + kTimeSecondsAt, clDmr.timeSeconds);
    WriteBe16(pHead + kMillisecondsAt, clDmr.milliseconds);
    WriteBe16(pHead + kWord1At, clDmr.word1);
    pHead[kByte1At] = clDmr.byte1;
    pHead[kByte2At] = clDmr.byte2;
    pHead[kOptionalFlagsAt] = clDmr.optionalFlags;
    WriteBe48(pHead + kValue48At, clDmr.value48);
    pHead[kByte4At] = clDmr.byte4;
    WriteBe16(pHead + kWord2At, clDmr.word2);
    WriteBe16(pHead + kWord3At, clDmr.word3);
    WriteBe16(pHead + kWord4At, clDmr.word4);
    WriteBe16(pHead + kWord5At, clDmr.word5);

    uint8_t *pItem = pBody + HeadSize(lVersion);
    uint8_t lCount = 0;
    for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot) {
        if (PlanItem(clDmr, lSlot, lVersion) != ItemPlan::Write)
            continue;
        const DmrConstItemRef ref = DmrItemAt(clDmr, lSlot);
        const DmrItem &clItem = *ref.item;
        const uint32_t lData = DataBytesForBits(clItem.bitCount);
        const uint8_t lHigh = clItem.highFlag && clItem.bitCount ? kHighFlagBit : 0;
        pItem[0] = uint8_t(clItem.itemKind);
        if (lVersion >= 3) {
            const bool bLong = clItem.itemKind == kLongItemKind;
            pItem[1] =
                uint8_t((clItem.itemFlags & kItemFlagsMask) | lHigh | (bLong ? kLongItemBit : 0));
            pItem[2] = uint8_t(bLong ? lData : clItem.bitCount);
        } else {
            pItem[1] = uint8_t(clItem.itemFlags | lHigh);
            pItem[2] = uint8_t(clItem.bitCount);
        }
        CopyDataBytes(pItem + kItemHeadSize, ref.data, lData);
        pItem += kItemHeadSize + lData;
        ++lCount;
    }
    pHead[kItemCountAt] = lCount;
}

bool DecodeDmrBody(const uint8_t *pBody, uint32_t lLength, int lVersion,
                   DmrTimeslotMemory &clMemory, DmrTmv &clDmr, uint32_t &lWritten) {
    lWritten = 0;
    const uint32_t lHead = HeadSize(lVersion);
    if (lLength < lHead)
        return false;

    const uint8_t *pHead = pBody;
    if (lVersion >= 3)
        clDmr.timeslot = *pHead++;
    clDmr.burstKind = pHead[kBurstKindAt];
    clDmr.timeSeconds = ReadBe64(pHead + kTimeSecondsAt);
    clDmr.milliseconds = ReadBe16(pHead + kMillisecondsAt);
    clDmr.word1 = ReadBe16(pHead + kWord1At);
    clDmr.byte1 = pHead[kByte1At];
    clDmr.byte2 = pHead[kByte2At];
    clDmr.optionalFlags = pHead[kOptionalFlagsAt];
    clDmr.value48 = ReadBe48(pHead + kValue48At);
    clDmr.byte4 = pHead[kByte4At];
    clDmr.word2 = ReadBe16(pHead + kWord2At);
    clDmr.word3 = ReadBe16(pHead + kWord3At);
    clDmr.word4 = ReadBe16(pHead + kWord4At);
    clDmr.word5 = ReadBe16(pHead + kWord5At);
    const uint32_t lCount =
        std::min<uint32_t>(pHead[kItemCountAt], lVersion >= 3 ? kMaxItemsV3 : kMaxItemsOld);
    if (lVersion < 3)
        clDmr.timeslot = ReconstructTimeslot(clDmr.burstKind, clMemory);

    uint8_t *pBase = reinterpret_cast<uint8_t *>(&clDmr);
    uint32_t lFilledSlots = 0;
    bool bGood = true;
    uint32_t lAt = lHead;
    for (uint32_t i = 0; i < lCount; ++i) {
        if (lLength - lAt < kItemHeadSize) {
            bGood = false;
            break;
        }
        const uint8_t lKindByte = pBody[lAt];
        const uint8_t lFlags = pBody[lAt + 1];
        const uint8_t lLengthByte = pBody[lAt + 2];
        uint32_t lKind = lKindByte;
        if (lVersion >= 3) {
            lKind = std::min(lKind, kLastItemKind);
            if (lKind == 0) {
                bGood = false;
                break;
            }
        } else if (lKind < 1 || lKind > kLastItemKind) {
            bGood = false;
            break;
        }
        const int lSlot = DmrSlotForKind(lKind);
        const dmr_slot_detail::SlotLayout &clSlot = dmr_slot_detail::kSlots[lSlot];
        uint8_t *pData = pBase + clSlot.offset + sizeof(DmrItem);
        const uint32_t lMaxBits = clSlot.maxBytes * 8;
        DmrItem &clItem = *reinterpret_cast<DmrItem *>(pBase + clSlot.offset);
        // A later item of the same slot replaces an earlier one whole; a slot
        // not yet filled by this record is still zero.
        if (lFilledSlots & (1u << lSlot))
            std::memset(pData, 0, clSlot.capacity);
        lFilledSlots |= 1u << lSlot;
        clItem.itemKind = lKind;
        uint32_t lBits = 0;
        if (lVersion >= 3) {
            clItem.highFlag = (lFlags & kHighFlagBit) ? 1 : 0;
            lBits = (lFlags & kLongItemBit) ? uint32_t(lLengthByte) * 8 : lLengthByte;
            clItem.itemFlags = lFlags & kItemFlagsMask;
        } else {
            clItem.highFlag = (lFlags & kHighFlagBit) ? 1 : 0;
            clItem.itemFlags = clItem.highFlag ? (lFlags & kItemFlagsMask) : lFlags;
            lBits = lLengthByte;
            if ((clItem.itemFlags & kLongItemBit) || lKind == kLongItemKind) {
                // Old files announce such an item without its data: nothing is consumed.
                // The count still never promises more than the slot holds.
                clItem.bitCount = uint16_t(std::min(lBits, lMaxBits));
                continue;
            }
        }
        lBits = std::min(lBits, lMaxBits);
        clItem.bitCount = uint16_t(lBits);
        lAt += kItemHeadSize;
        const uint32_t lData = (lBits + 7) / 8;
        if (lData > lLength - lAt) {
            bGood = false;
            break;
        }
        if (lLength - lAt >= clSlot.capacity)
            CopyIntoZeroSlot(pData, pBody + lAt, lData, clSlot.capacity);
        else
            CopyDataBytes(pData, pBody + lAt, lData);
        lAt += lData;
    }
    // Slots lie in index order, so the highest one filled ends what was written.
    lWritten = uint32_t(offsetof(DmrTmv, item0));
    if (lFilledSlots != 0) {
        const dmr_slot_detail::SlotLayout &clLast =
            dmr_slot_detail::kSlots[std::bit_width(lFilledSlots) - 1];
        lWritten = clLast.offset + uint32_t(sizeof(DmrItem)) + clLast.capacity;
    }
    return bGood;
}

bool CheckDmrBody(const uint8_t *pBody, uint32_t lLength, int lVersion, DmrTimeslotMemory &clMemory,
                  bool &bVerbatim) {
    const uint32_t lHead = HeadSize(lVersion);
    if (lLength < lHead)
        return false;
    const uint8_t *pHead = lVersion >= 3 ? pBody + 1 : pBody;
    const uint8_t lBurstKind = pHead[kBurstKindAt];
    const uint32_t lCountByte = pHead[kItemCountAt];
    const uint32_t lCount =
        std::min<uint32_t>(lCountByte, lVersion >= 3 ? kMaxItemsV3 : kMaxItemsOld);
    if (lVersion < 3)
        (void)ReconstructTimeslot(lBurstKind, clMemory);

    // The writer stores each slot once, in slot order, and only as it reads back.
    bool bCanonical = lVersion >= 3 && lCount == lCountByte;
    int lLastSlot = -1;
    uint32_t lAt = lHead;
    for (uint32_t i = 0; i < lCount; ++i) {
        if (lLength - lAt < kItemHeadSize)
            return false;
        const uint32_t lKindByte = pBody[lAt];
        const uint8_t lFlags = pBody[lAt + 1];
        const uint8_t lLengthByte = pBody[lAt + 2];
        uint32_t lKind = lKindByte;
        if (lVersion >= 3) {
            lKind = std::min(lKind, kLastItemKind);
            if (lKind == 0)
                return false;
        } else if (lKind < 1 || lKind > kLastItemKind) {
            return false;
        }
        const int lSlot = DmrSlotForKind(lKind);
        const uint32_t lMaxBits = dmr_slot_detail::kSlots[lSlot].maxBytes * 8;
        uint32_t lBits = lLengthByte;
        if (lVersion >= 3) {
            const bool bLong = (lFlags & kLongItemBit) != 0;
            if (bLong)
                lBits = uint32_t(lLengthByte) * 8;
            bCanonical = bCanonical && lKindByte == lKind && lSlot > lLastSlot &&
                         (lSlot >= 2 || lBurstKind == 1) && bLong == (lKind == kLongItemKind) &&
                         lBits <= lMaxBits && ((lFlags & kHighFlagBit) == 0 || lBits != 0);
            lLastSlot = lSlot;
        } else {
            const uint8_t lItemFlags = (lFlags & kHighFlagBit) ? (lFlags & kItemFlagsMask) : lFlags;
            if ((lItemFlags & kLongItemBit) || lKind == kLongItemKind)
                continue;
        }
        lBits = std::min(lBits, lMaxBits);
        lAt += kItemHeadSize;
        const uint32_t lData = (lBits + 7) / 8;
        if (lData > lLength - lAt)
            return false;
        lAt += lData;
    }
    bVerbatim = bCanonical && lAt == lLength;
    return true;
}

} // namespace container_body

uint32_t DmrItemsLostInContainer(const DmrTmv &clDmr) {
    if (clDmr.burstKind == 1)
        return 0;
    uint32_t lLost = 0;
    for (int lSlot = 0; lSlot < 2; ++lSlot)
        lLost += DmrItemAt(clDmr, lSlot).item->itemKind != 0 ? 1 : 0;
    return lLost;
}
