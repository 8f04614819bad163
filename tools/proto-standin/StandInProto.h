// The stand-in protocol component: the least a protocol component library
// must do for the splitter. It exports every function the splitter looks up
// (ProtoComponentApi.h), announces TETRA time analysis (protocol bit 0,
// feature bit 5) and DMR time analysis (protocol bit 1, feature bit 13) in
// its info block, and its analysis recognises the network-time broadcasts
// described here, which bvf-sample writes with --network-offset.
//
// A broadcast is a block of bytes in a record's payload; several blocks may
// follow one another, and the first block that does not start with the
// marker ends the list. Multi-byte fields are big-endian, as on the air.
//
// TETRA (record kind 0): blocks of 12 bytes from TetraTmv.data[0], within the
// record's bitCount / 8 bytes.
//   0..5    "NWTIME"
//   6       message: 1 network time, 2 other system information
//   7       validity: bit 0 and bit 1 become the entry's two validity bytes
//   8       year - 2000
//   9..11   network time in 2-second steps since the start of the year,
//           0xFFFFFF when the network does not know it
//
// DMR (record kind 1): blocks of 14 bytes in the data of item slot 6 (item
// kind 39), within the item's bitCount / 8 bytes.
//   0..5    "NWTIME"
//   6       message: 1 network time, 2 other system information
//   7       0
//   8..9    date word: day in bits 9..13, month in bits 5..8 (0: not sent)
//   10..13  time word: hour in bits 19..23, minute 13..18, second 7..12
//
// Each block becomes one result entry with its fields filled from the block:
// a network-time block under the result code the program asked for with
// SetSettings_SetValue_1, other system information under
// kStandInOtherInfoCode. A DMR result array carries the analysed record's own
// time stamp as its reference time. Beyond the component interface the
// library exports StandInProto_LiveAnalyses(), the number of analysis
// objects not yet deleted, for tests.
#pragma once

#include "RecordTypes.h"

#include <cstdint>
#include <cstring>
#include <ctime>

constexpr uint8_t kStandInMarker[6] = {'N', 'W', 'T', 'I', 'M', 'E'};
constexpr uint8_t kStandInNetworkTime = 1;
constexpr uint8_t kStandInOtherInfo = 2;
constexpr uint32_t kStandInOtherInfoCode = 0x65;
constexpr size_t kStandInTetraBlock = 12;
constexpr size_t kStandInDmrBlock = 14;
constexpr int kStandInDmrSlot = 6;
constexpr uint32_t kStandInDmrItemKind = 39;

inline uint16_t StandInDmrDateWord(int lDay, int lMonth) {
    return uint16_t(((lDay & 0x1F) << 9) | ((lMonth & 0x0F) << 5));
}

inline uint32_t StandInDmrTimeWord(int lHour, int lMinute, int lSecond) {
    return (uint32_t(lHour & 0x1F) << 19) | (uint32_t(lMinute & 0x3F) << 13) |
           (uint32_t(lSecond & 0x3F) << 7);
}

// A network time as TETRA sends it; false before 2000 or after 2255, or
// when the time does not fall on a whole 2-second step.
inline bool StandInTetraNetworkTime(int64_t lSeconds, uint8_t &lYear2000, uint32_t &lSteps) {
    const time_t t = time_t(lSeconds);
    struct tm clTm = {};
    if (gmtime_r(&t, &clTm) == nullptr || clTm.tm_year < 100 || clTm.tm_year > 355)
        return false;
    const int64_t lIntoYear =
        int64_t(clTm.tm_yday) * 86400 + clTm.tm_hour * 3600 + clTm.tm_min * 60 + clTm.tm_sec;
    if (lIntoYear % 2 != 0)
        return false;
    lYear2000 = uint8_t(clTm.tm_year - 100);
    lSteps = uint32_t(lIntoYear / 2);
    return true;
}

// Writes block lIndex into a TETRA payload and widens bitCount to hold it.
inline bool StandInPutTetraBlock(TetraTmv &clTetra, size_t lIndex, uint8_t lMessage,
                                 uint8_t lValidity, uint8_t lYear2000, uint32_t lSteps) {
    const size_t lAt = lIndex * kStandInTetraBlock;
    if (lAt + kStandInTetraBlock > kTetraDataCopyLimit)
        return false;
    uint8_t *p = clTetra.data + lAt;
    std::memcpy(p, kStandInMarker, sizeof kStandInMarker);
    p[6] = lMessage;
    p[7] = lValidity;
    p[8] = lYear2000;
    p[9] = uint8_t(lSteps >> 16);
    p[10] = uint8_t(lSteps >> 8);
    p[11] = uint8_t(lSteps);
    const size_t lBits = (lAt + kStandInTetraBlock) * 8;
    if (clTetra.bitCount < lBits)
        clTetra.bitCount = uint16_t(lBits);
    return true;
}

// Writes block lIndex into item slot 6 of a DMR payload.
inline bool StandInPutDmrBlock(DmrTmv &clDmr, size_t lIndex, uint8_t lMessage, uint16_t lDate,
                               uint32_t lTime) {
    DmrItemRef clItem = DmrItemAt(clDmr, kStandInDmrSlot);
    const size_t lAt = lIndex * kStandInDmrBlock;
    if (lAt + kStandInDmrBlock > clItem.capacity)
        return false;
    uint8_t *p = clItem.data + lAt;
    std::memcpy(p, kStandInMarker, sizeof kStandInMarker);
    p[6] = lMessage;
    p[7] = 0;
    p[8] = uint8_t(lDate >> 8);
    p[9] = uint8_t(lDate);
    for (int i = 0; i < 4; ++i)
        p[10 + i] = uint8_t(lTime >> (24 - 8 * i));
    clItem.item->itemKind = kStandInDmrItemKind;
    const size_t lBits = (lAt + kStandInDmrBlock) * 8;
    if (clItem.item->bitCount < lBits)
        clItem.item->bitCount = uint16_t(lBits);
    return true;
}
