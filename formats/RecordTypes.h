// The record unit shared by every reader and the writer, with its payload
// structures and result codes. The payload structures are in-memory layouts
// (not file layouts); their sizes are fixed because payloadLength carries them.
#pragma once

#include <cstddef>
#include <cstdint>

enum FileResult : uint8_t {
    FILE_OK = 0,
    FILE_WRONG_STATE = 1,     // already open / not open / cannot open / not a writer
    FILE_WRONG_DIRECTION = 2, // reading a writer, or writing with no file open
    FILE_END_OF_DATA = 3,
    FILE_DAMAGED = 4,      // damaged, unsupported or mismatched record
    FILE_WRITE_FAILED = 5, // also a read error of the file system
    FILE_NOT_CONTAINER = 6,
    FILE_NO_BUFFER = 7,
    FILE_NO_DATA_YET = 8, // online file without new data; partial write while emptying
};

enum PayloadKind : uint8_t {
    PAYLOAD_TETRA = 0,
    PAYLOAD_DMR = 1,
    PAYLOAD_GENERIC = 2,
    PAYLOAD_TETRA_AUX = 3,
    PAYLOAD_GSM = 4,
    PAYLOAD_NOTICE = 20,
};

constexpr uint32_t kTetraTmvLength = 1136;
constexpr uint32_t kDmrTmvLength = 296;
constexpr uint32_t kGsmTmvLength = 1344;
constexpr uint32_t kNoticeTmvLength = 140;
constexpr uint32_t kLargestPayloadLength = kGsmTmvLength;

// Readers never copy more data bytes than these into a payload.
constexpr uint32_t kTetraDataCopyLimit = 1036;
constexpr uint32_t kGsmDataCopyLimit = 1256;

// 100-ns units between 1601-01-01 and 1970-01-01.
constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;

struct FileHeaderInfo {
    uint32_t infoType;
    uint64_t fileMagic;
    int64_t startTime; // INT64_MAX: unknown
    uint16_t value16;
    char recordingType[128];
    char infoText1[64];
    char infoText2[64];
    uint8_t reservedBlock[1024];
    char infoText3[1000];
    uint8_t extraBytes[16];
    double extraValue;
};

struct RawRecord {
    uint32_t recordClass;
    uint8_t sourceByte;
    uint64_t frequency;
    uint32_t symbolRate;
    uint16_t value16;
    uint8_t payloadKind;
    uint32_t payloadLength;
    void *payload; // not owned: reader storage when read, caller's when written
    uint64_t spare64;
    uint32_t spare32;
};

struct TetraTmv {
    uint64_t timeSeconds;
    uint16_t milliseconds;
    uint16_t hyperframe;
    uint8_t multiframe;
    uint8_t frame;
    uint8_t timeslot;
    uint8_t valueFlags; // bit 7/6/5: value1/2/3 valid, bit 4: frequency valid
    int32_t value1;
    int32_t value2;
    int32_t value3;
    uint8_t padding1[4];
    uint64_t frequency;
    uint8_t direction; // 0 downlink, 1 uplink
    uint8_t channelCode;
    uint16_t bitCount;
    uint16_t extraValue; // meaningful only with flags2 bit 2
    int8_t burstType;
    uint8_t burstInfo[3];
    uint8_t dataFlags;
    uint8_t flags2;
    uint8_t extended;
    uint8_t ext1;
    uint16_t ext2;
    uint32_t ext3;
    uint32_t ext4;
    uint16_t ext5[9];
    uint8_t data[1040];
    uint8_t padding2[14];
};

// One item of a DMR record; its data area follows it in the item slot.
struct DmrItem {
    uint32_t itemKind; // 0 absent, else 1 to 39
    uint16_t bitCount;
    uint8_t highFlag;
    uint8_t itemFlags;
};

template <size_t N> struct DmrItemSlot {
    DmrItem item;
    uint8_t data[N];
};

constexpr int kDmrItemSlots = 7;

struct DmrTmv {
    uint8_t timeslot;
    uint8_t burstKind; // 1: all seven items are stored
    uint8_t padding1[14];
    uint64_t timeSeconds; // read as signed by the merge, like a generic time
    uint16_t milliseconds;
    uint8_t padding2[6];
    uint64_t altTimeSeconds; // never stored in files
    uint16_t altMilliseconds;
    uint16_t word1;
    uint8_t byte1;
    uint8_t byte2;
    uint8_t optionalFlags;
    uint8_t byte4;
    uint16_t word2;
    uint16_t word3;
    uint16_t word4;
    uint8_t padding3[2];
    uint64_t value48; // low 48 bits stored
    uint16_t word5;
    uint8_t padding4[2];
    DmrItemSlot<4> item0;
    DmrItemSlot<12> item1;
    DmrItemSlot<4> item2;
    DmrItemSlot<20> item3;
    DmrItemSlot<4> item4;
    DmrItemSlot<28> item5;
    DmrItemSlot<72> item6;
    uint8_t padding5[28];
};

struct GsmTmv {
    uint64_t fileTime; // 100-ns units since 1601-01-01 UTC
    uint32_t value1;
    uint8_t byte1; // bit 4: value2 is a valid carrier frequency
    uint8_t padding1;
    uint16_t word1;
    uint16_t word2;
    uint16_t word3;
    uint8_t padding2[4];
    uint64_t value2;
    uint8_t byte2;
    uint8_t direction;
    uint8_t byte3;
    uint8_t padding3;
    uint16_t bitCount;
    uint8_t byte4;
    uint8_t byte5;
    uint8_t byte6;
    uint8_t byte7;
    uint16_t word4;
    uint32_t value3;
    uint32_t value4;
    uint16_t words[9];
    uint8_t data[1256];
    uint8_t padding4[18];
};

struct NoticeTmv {
    uint8_t noticeType; // 1 for the writer's own notices; not stored in files
    uint8_t padding1[3];
    uint32_t code;
    uint32_t value;
    uint8_t text[128];
};

// A generic payload is opaque bytes except for these two fields, which the
// workers and protocol components read at fixed positions.
struct GenericTmvHead {
    uint8_t lead[16];
    int64_t timeSeconds;
    uint8_t middle[40];
    uint64_t frequency;
};

// Protocol components receive the payloads as bytes, so these positions are
// fixed by the recording design, not by the compiler.
static_assert(offsetof(TetraTmv, timeSeconds) == 0);
static_assert(offsetof(DmrTmv, timeSeconds) == 16);
static_assert(offsetof(GsmTmv, fileTime) == 0);
static_assert(offsetof(GenericTmvHead, timeSeconds) == 16);
static_assert(offsetof(GenericTmvHead, frequency) == 64);
static_assert(sizeof(TetraTmv) == kTetraTmvLength);
static_assert(sizeof(DmrTmv) == kDmrTmvLength);
static_assert(sizeof(GsmTmv) == kGsmTmvLength);
static_assert(sizeof(NoticeTmv) == kNoticeTmvLength);

// Item slot access by index: slot capacity, item header and data area.
// Inline with table look-ups: the codec calls these for every DMR item.
struct DmrItemRef {
    DmrItem *item;
    uint8_t *data;
    uint32_t capacity;
};
struct DmrConstItemRef {
    const DmrItem *item;
    const uint8_t *data;
    uint32_t capacity;
};

namespace dmr_slot_detail {

struct SlotLayout {
    uint32_t offset;
    uint32_t capacity;
    uint32_t maxBytes; // most data bytes a reader accepts for a kind of this slot
};

inline constexpr SlotLayout kSlots[kDmrItemSlots] = {
    {offsetof(DmrTmv, item0), sizeof(DmrTmv::item0.data), 3},
    {offsetof(DmrTmv, item1), sizeof(DmrTmv::item1.data), 9},
    {offsetof(DmrTmv, item2), sizeof(DmrTmv::item2.data), 2},
    {offsetof(DmrTmv, item3), sizeof(DmrTmv::item3.data), 18},
    {offsetof(DmrTmv, item4), sizeof(DmrTmv::item4.data), 3},
    {offsetof(DmrTmv, item5), sizeof(DmrTmv::item5.data), 27},
    {offsetof(DmrTmv, item6), sizeof(DmrTmv::item6.data), 72},
};

constexpr uint32_t kLastKind = 39;

constexpr int SlotRule(uint32_t lKind) {
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

// One entry past the last kind stands for every larger kind.
struct SlotTable {
    int8_t slot[kLastKind + 2];
};

constexpr SlotTable MakeSlotTable() {
    SlotTable clTable{};
    for (uint32_t lKind = 0; lKind <= kLastKind + 1; ++lKind)
        clTable.slot[lKind] = int8_t(SlotRule(lKind));
    return clTable;
}

inline constexpr SlotTable kSlotOfKind = MakeSlotTable();

} // namespace dmr_slot_detail

inline DmrItemRef DmrItemAt(DmrTmv &clDmr, int lSlot) {
    const dmr_slot_detail::SlotLayout &clSlot = dmr_slot_detail::kSlots[lSlot];
    auto *base = reinterpret_cast<uint8_t *>(&clDmr) + clSlot.offset;
    return {reinterpret_cast<DmrItem *>(base), base + sizeof(DmrItem), clSlot.capacity};
}

inline DmrConstItemRef DmrItemAt(const DmrTmv &clDmr, int lSlot) {
    const dmr_slot_detail::SlotLayout &clSlot = dmr_slot_detail::kSlots[lSlot];
    const auto *base = reinterpret_cast<const uint8_t *>(&clDmr) + clSlot.offset;
    return {reinterpret_cast<const DmrItem *>(base), base + sizeof(DmrItem), clSlot.capacity};
}

// The slot an item kind lands in and the most data bytes a reader accepts
// for it; -1 / 0 for kinds outside 1..39.
inline int DmrSlotForKind(uint32_t lKind) {
    const uint32_t lEntry =
        lKind <= dmr_slot_detail::kLastKind ? lKind : dmr_slot_detail::kLastKind + 1;
    return dmr_slot_detail::kSlotOfKind.slot[lEntry];
}
inline uint32_t DmrMaxBytesForKind(uint32_t lKind) {
    const int lSlot = DmrSlotForKind(lKind);
    return lSlot < 0 ? 0 : dmr_slot_detail::kSlots[lSlot].maxBytes;
}

// Seconds since 1970 from a GSM file time, as the workers use it.
int64_t GsmFileTimeToSeconds(uint64_t lFileTime);
// The writer's rotation variant: times before 1970 clamp to 0.
int64_t GsmFileTimeToSecondsClamped(uint64_t lFileTime);
