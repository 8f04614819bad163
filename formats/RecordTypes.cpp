#include "RecordTypes.h"

namespace {

struct SlotLayout {
    size_t offset;
    uint32_t capacity;
};

constexpr SlotLayout kSlots[kDmrItemSlots] = {
    {offsetof(DmrTmv, item0), sizeof(DmrTmv::item0.data)},
    {offsetof(DmrTmv, item1), sizeof(DmrTmv::item1.data)},
    {offsetof(DmrTmv, item2), sizeof(DmrTmv::item2.data)},
    {offsetof(DmrTmv, item3), sizeof(DmrTmv::item3.data)},
    {offsetof(DmrTmv, item4), sizeof(DmrTmv::item4.data)},
    {offsetof(DmrTmv, item5), sizeof(DmrTmv::item5.data)},
    {offsetof(DmrTmv, item6), sizeof(DmrTmv::item6.data)},
};

} // namespace

DmrItemRef DmrItemAt(DmrTmv &clDmr, int lSlot) {
    auto *base = reinterpret_cast<uint8_t *>(&clDmr) + kSlots[lSlot].offset;
    return {reinterpret_cast<DmrItem *>(base), base + sizeof(DmrItem), kSlots[lSlot].capacity};
}

DmrConstItemRef DmrItemAt(const DmrTmv &clDmr, int lSlot) {
    const auto *base = reinterpret_cast<const uint8_t *>(&clDmr) + kSlots[lSlot].offset;
    return {reinterpret_cast<const DmrItem *>(base), base + sizeof(DmrItem),
            kSlots[lSlot].capacity};
}

int DmrSlotForKind(uint32_t lKind) {
    if (lKind == 3 || lKind == 4)
        return 0;
    if (lKind == 6 || lKind == 37)
        return 1;
    if (lKind == 1 || (lKind >= 27 && lKind <= 35))
        return 2;
    if (lKind == 5 || lKind == 7 || lKind == 36 || lKind == 38)
        return 3;
    if (lKind == 2)
        return 4;
    if (lKind >= 8 && lKind <= 26)
        return 5;
    if (lKind == 39)
        return 6;
    return -1;
}

uint32_t DmrMaxBytesForKind(uint32_t lKind) {
    static constexpr uint32_t kMaxBySlot[kDmrItemSlots] = {3, 9, 2, 18, 3, 27, 72};
    const int lSlot = DmrSlotForKind(lKind);
    return lSlot < 0 ? 0 : kMaxBySlot[lSlot];
}

int64_t GsmFileTimeToSeconds(uint64_t lFileTime) {
    return int64_t(lFileTime / 10000000ULL) - int64_t(kFileTimeUnixEpoch / 10000000ULL);
}

int64_t GsmFileTimeToSecondsClamped(uint64_t lFileTime) {
    const uint64_t t = lFileTime < kFileTimeUnixEpoch ? kFileTimeUnixEpoch : lFileTime;
    return int64_t((t - kFileTimeUnixEpoch) / 10000000ULL);
}
