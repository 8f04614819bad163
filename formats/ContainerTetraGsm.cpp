// TETRA (types 3, 6, 8) and GSM (type 9) record bodies.
#include "ContainerBodies.h"

#include <cstring>

namespace container_body {

namespace {

// TETRA head offsets, shared by every TETRA type.
constexpr size_t kTimeSecondsAt = 0;
constexpr size_t kMillisecondsAt = 8;
constexpr size_t kHyperframeAt = 10;
constexpr size_t kMultiframeAt = 12;
constexpr size_t kFrameAt = 13;
constexpr size_t kTimeslotAt = 14;
constexpr size_t kValueFlagsAt = 15;
constexpr size_t kValueSlotsAt = 16;
constexpr size_t kDirectionAt = 22;
constexpr size_t kChannelCodeAt = 23;
constexpr size_t kBitCountAt = 24;
constexpr size_t kDataFlagsAt = 26;
constexpr size_t kBurstTypeAt = 27;
constexpr size_t kBurstInfoAt = 28;
constexpr size_t kFlags2At = 31;
// Extended TETRA (type 8) only.
constexpr size_t kExtendedAt = 32;
constexpr size_t kExt2At = 33;
constexpr size_t kExt3At = 35;
constexpr size_t kExt4At = 39;
constexpr size_t kExt1At = 43;
constexpr size_t kExt5At = 44;

constexpr uint32_t kTetraHeadV1 = 31;
constexpr uint32_t kTetraHead = 32;
constexpr uint32_t kTetraExtendedHead = 62;

constexpr uint8_t kExtraValuePresent = 0x04;
constexpr uint8_t kValueValid[3] = {0x80, 0x40, 0x20};

// GSM offsets.
constexpr size_t kGsmFileTimeAt = 0;
constexpr size_t kGsmValue1At = 8;
constexpr size_t kGsmByte1At = 12;
constexpr size_t kGsmWord1At = 13;
constexpr size_t kGsmWord2At = 15;
constexpr size_t kGsmWord3At = 17;
constexpr size_t kGsmValue2At = 19;
constexpr size_t kGsmByte2At = 27;
constexpr size_t kGsmDirectionAt = 28;
constexpr size_t kGsmByte3At = 29;
constexpr size_t kGsmBitCountAt = 30;
constexpr size_t kGsmByte4At = 32;
constexpr size_t kGsmByte5At = 33;
constexpr size_t kGsmByte6At = 34;
constexpr size_t kGsmWord4At = 35;
constexpr size_t kGsmValue3At = 37;
constexpr size_t kGsmValue4At = 41;
constexpr size_t kGsmByte7At = 45;
constexpr size_t kGsmWordsAt = 46;
constexpr uint32_t kGsmHead = 64;

uint32_t TetraHeadSize(uint8_t lType, int lVersion) {
    if (lType == RECORD_TETRA_EXTENDED)
        return kTetraExtendedHead;
    return lType == RECORD_TETRA && lVersion == 1 ? kTetraHeadV1 : kTetraHead;
}

// Auxiliary records keep their three values as they are; version 1 has no flags2.
bool UsesValueSlotRule(uint8_t lType, int lVersion) {
    return (lType == RECORD_TETRA || lType == RECORD_TETRA_EXTENDED) && lVersion >= 2;
}

} // namespace

bool TetraBodyLength(const TetraTmv &clTetra, uint8_t lType, int lVersion, uint32_t &lLength) {
    const uint32_t lData = DataBytesForBits(clTetra.bitCount);
    if (lData > kTetraDataCopyLimit)
        return false;
    lLength = TetraHeadSize(lType, lVersion) + lData;
    return true;
}

void EncodeTetraBody(const TetraTmv &clTetra, uint8_t lType, int lVersion, uint8_t *pBody) {
    uint8_t lFlags = clTetra.valueFlags;
    int16_t slots[3] = {int16_t(clTetra.value1), int16_t(clTetra.value2), int16_t(clTetra.value3)};
    if (UsesValueSlotRule(lType, lVersion) && (clTetra.flags2 & kExtraValuePresent)) {
        int lSlot = -1;
        for (int i = 0; i < 3 && lSlot < 0; ++i)
            if (!(lFlags & kValueValid[i]))
                lSlot = i;
        if (lSlot < 0) {
            // No free slot: give one up, chosen by the frame's parity.
            lSlot = (clTetra.frame & 1) ? 1 : 2;
            lFlags &= uint8_t(~kValueValid[lSlot]);
        }
        slots[lSlot] = int16_t(clTetra.extraValue);
    }

    WriteBe64(pBody + kTimeSecondsAt, clTetra.timeSeconds);
    WriteBe16(pBody + kMillisecondsAt, clTetra.milliseconds);
    WriteBe16(pBody + kHyperframeAt, clTetra.hyperframe);
    pBody[kMultiframeAt] = clTetra.multiframe;
    pBody[kFrameAt] = clTetra.frame;
    pBody[kTimeslotAt] = clTetra.timeslot;
    pBody[kValueFlagsAt] = lFlags;
    for (size_t i = 0; i < 3; ++i)
        WriteBe16(pBody + kValueSlotsAt + 2 * i, uint16_t(slots[i]));
    pBody[kDirectionAt] = clTetra.direction;
    pBody[kChannelCodeAt] = clTetra.channelCode;
    WriteBe16(pBody + kBitCountAt, clTetra.bitCount);
    pBody[kDataFlagsAt] = clTetra.dataFlags;
    pBody[kBurstTypeAt] = uint8_t(clTetra.burstType);
    std::memcpy(pBody + kBurstInfoAt, clTetra.burstInfo, sizeof(clTetra.burstInfo));

    const uint32_t lHead = TetraHeadSize(lType, lVersion);
    if (lHead > kFlags2At)
        pBody[kFlags2At] = clTetra.flags2;
    if (lType == RECORD_TETRA_EXTENDED) {
        pBody[kExtendedAt] = clTetra.extended;
        WriteBe16(pBody + kExt2At, clTetra.ext2);
        WriteBe32(pBody + kExt3At, clTetra.ext3);
        WriteBe32(pBody + kExt4At, clTetra.ext4);
        pBody[kExt1At] = clTetra.ext1;
        WriteBe16Words(pBody + kExt5At, clTetra.ext5);
    }
    CopyDataBytes(pBody + lHead, clTetra.data, DataBytesForBits(clTetra.bitCount));
}

bool DecodeTetraBody(const uint8_t *pBody, uint32_t lLength, uint8_t lType, int lVersion,
                     uint64_t lFrequency, TetraTmv &clTetra) {
    const uint32_t lHead = TetraHeadSize(lType, lVersion);
    if (lLength < lHead)
        return false;

    clTetra.timeSeconds = ReadBe64(pBody + kTimeSecondsAt);
    clTetra.milliseconds = ReadBe16(pBody + kMillisecondsAt);
    clTetra.hyperframe = ReadBe16(pBody + kHyperframeAt);
    clTetra.multiframe = pBody[kMultiframeAt];
    clTetra.frame = pBody[kFrameAt];
    clTetra.timeslot = pBody[kTimeslotAt];
    clTetra.valueFlags = pBody[kValueFlagsAt];
    clTetra.value1 = int16_t(ReadBe16(pBody + kValueSlotsAt));
    clTetra.value2 = int16_t(ReadBe16(pBody + kValueSlotsAt + 2));
    clTetra.value3 = int16_t(ReadBe16(pBody + kValueSlotsAt + 4));
    clTetra.frequency = lFrequency;
    clTetra.direction = pBody[kDirectionAt];
    clTetra.channelCode = pBody[kChannelCodeAt];
    clTetra.bitCount = ReadBe16(pBody + kBitCountAt);
    clTetra.dataFlags = pBody[kDataFlagsAt];
    clTetra.burstType = int8_t(pBody[kBurstTypeAt]);
    std::memcpy(clTetra.burstInfo, pBody + kBurstInfoAt, sizeof(clTetra.burstInfo));
    clTetra.flags2 = lHead > kFlags2At ? pBody[kFlags2At] : 0;
    clTetra.extended = 0;
    if (lType == RECORD_TETRA_EXTENDED) {
        clTetra.extended = pBody[kExtendedAt];
        clTetra.ext2 = ReadBe16(pBody + kExt2At);
        clTetra.ext3 = ReadBe32(pBody + kExt3At);
        clTetra.ext4 = ReadBe32(pBody + kExt4At);
        clTetra.ext1 = pBody[kExt1At];
        ReadBe16Words(clTetra.ext5, pBody + kExt5At);
    }
    if (UsesValueSlotRule(lType, lVersion) && (clTetra.flags2 & kExtraValuePresent)) {
        int32_t *values[3] = {&clTetra.value1, &clTetra.value2, &clTetra.value3};
        for (size_t i = 0; i < 3; ++i) {
            if (!(clTetra.valueFlags & kValueValid[i])) {
                clTetra.extraValue = ReadBe16(pBody + kValueSlotsAt + 2 * i);
                *values[i] = 0;
                break;
            }
        }
    }

    const uint32_t lData = DataBytesForBits(clTetra.bitCount);
    if (lLength - lHead != lData || lData > kTetraDataCopyLimit)
        return false;
    CopyDataBytes(clTetra.data, pBody + lHead, lData);
    return true;
}

bool CheckTetraBody(const uint8_t *pBody, uint32_t lLength, uint8_t lType, int lVersion,
                    bool &bVerbatim) {
    const uint32_t lHead = TetraHeadSize(lType, lVersion);
    if (lLength < lHead)
        return false;
    const uint32_t lData = DataBytesForBits(ReadBe16(pBody + kBitCountAt));
    if (lLength - lHead != lData || lData > kTetraDataCopyLimit)
        return false;
    // Without a free value slot the writer gives one up, so such a frame
    // reads back as a record that is written otherwise; an extended frame
    // whose extended byte is 0 is written as plain TETRA.
    const bool bNoFreeSlot = UsesValueSlotRule(lType, lVersion) &&
                             (pBody[kFlags2At] & kExtraValuePresent) &&
                             (pBody[kValueFlagsAt] & 0xE0) == 0xE0;
    bVerbatim = !bNoFreeSlot && (lType != RECORD_TETRA_EXTENDED || pBody[kExtendedAt] != 0);
    return true;
}

bool CheckGsmBody(const uint8_t *pBody, uint32_t lLength) {
    if (lLength < kGsmHead)
        return false;
    const uint32_t lData = DataBytesForBits(ReadBe16(pBody + kGsmBitCountAt));
    return lLength - kGsmHead == lData && lData <= kGsmDataCopyLimit;
}

bool GsmBodyLength(const GsmTmv &clGsm, uint32_t &lLength) {
    const uint32_t lData = DataBytesForBits(clGsm.bitCount);
    if (lData > kGsmDataCopyLimit)
        return false;
    lLength = kGsmHead + lData;
    return true;
}

void EncodeGsmBody(const GsmTmv &clGsm, uint8_t *pBody) {
    WriteBe64(pBody + kGsmFileTimeAt, clGsm.fileTime);
    WriteBe32(pBody + kGsmValue1At, clGsm.value1);
    pBody[kGsmByte1At] = clGsm.byte1;
    WriteBe16(pBody + kGsmWord1At, clGsm.word1);
    WriteBe16(pBody + kGsmWord2At, clGsm.word2);
    WriteBe16(pBody + kGsmWord3At, clGsm.word3);
    WriteBe64(pBody + kGsmValue2At, clGsm.value2);
    pBody[kGsmByte2At] = clGsm.byte2;
    pBody[kGsmDirectionAt] = clGsm.direction;
    pBody[kGsmByte3At] = clGsm.byte3;
    WriteBe16(pBody + kGsmBitCountAt, clGsm.bitCount);
    pBody[kGsmByte4At] = clGsm.byte4;
    pBody[kGsmByte5At] = clGsm.byte5;
    pBody[kGsmByte6At] = clGsm.byte6;
    WriteBe16(pBody + kGsmWord4At, clGsm.word4);
    WriteBe32(pBody + kGsmValue3At, clGsm.value3);
    WriteBe32(pBody + kGsmValue4At, clGsm.value4);
    pBody[kGsmByte7At] = clGsm.byte7;
    WriteBe16Words(pBody + kGsmWordsAt, clGsm.words);
    CopyDataBytes(pBody + kGsmHead, clGsm.data, DataBytesForBits(clGsm.bitCount));
}

bool DecodeGsmBody(const uint8_t *pBody, uint32_t lLength, GsmTmv &clGsm) {
    if (lLength < kGsmHead)
        return false;
    clGsm.fileTime = ReadBe64(pBody + kGsmFileTimeAt);
    clGsm.value1 = ReadBe32(pBody + kGsmValue1At);
    clGsm.byte1 = pBody[kGsmByte1At];
    clGsm.word1 = ReadBe16(pBody + kGsmWord1At);
    clGsm.word2 = ReadBe16(pBody + kGsmWord2At);
    clGsm.word3 = ReadBe16(pBody + kGsmWord3At);
    clGsm.value2 = ReadBe64(pBody + kGsmValue2At);
    clGsm.byte2 = pBody[kGsmByte2At];
    clGsm.direction = pBody[kGsmDirectionAt];
    clGsm.byte3 = pBody[kGsmByte3At];
    clGsm.bitCount = ReadBe16(pBody + kGsmBitCountAt);
    clGsm.byte4 = pBody[kGsmByte4At];
    clGsm.byte5 = pBody[kGsmByte5At];
    clGsm.byte6 = pBody[kGsmByte6At];
    clGsm.word4 = ReadBe16(pBody + kGsmWord4At);
    clGsm.value3 = ReadBe32(pBody + kGsmValue3At);
    clGsm.value4 = ReadBe32(pBody + kGsmValue4At);
    clGsm.byte7 = pBody[kGsmByte7At];
    ReadBe16Words(clGsm.words, pBody + kGsmWordsAt);

    const uint32_t lData = DataBytesForBits(clGsm.bitCount);
    if (lLength - kGsmHead != lData || lData > kGsmDataCopyLimit)
        return false;
    CopyDataBytes(clGsm.data, pBody + kGsmHead, lData);
    return true;
}

} // namespace container_body
