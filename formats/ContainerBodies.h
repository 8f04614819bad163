// Record bodies of the container (the bytes after the 23-byte sub-header),
// shared between the codec's dispatch and its per-format files. Internal to
// formats/: callers use ContainerCodec.h.
#pragma once

#include "ContainerCodec.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace container_body {

inline uint32_t DataBytesForBits(uint16_t lBitCount) {
    return (uint32_t(lBitCount) + 7) / 8;
}

// Fixed runs of big-endian 16-bit fields, unrolled at compile time.
template <size_t N, size_t... I>
inline void ReadBe16Run(uint16_t (&aWords)[N], const uint8_t *p, std::index_sequence<I...>) {
    ((aWords[I] = ReadBe16(p + 2 * I)), ...);
}
template <size_t N> inline void ReadBe16Words(uint16_t (&aWords)[N], const uint8_t *p) {
    ReadBe16Run(aWords, p, std::make_index_sequence<N>{});
}
template <size_t N, size_t... I>
inline void WriteBe16Run(uint8_t *p, const uint16_t (&aWords)[N], std::index_sequence<I...>) {
    (WriteBe16(p + 2 * I, aWords[I]), ...);
}
template <size_t N> inline void WriteBe16Words(uint8_t *p, const uint16_t (&aWords)[N]) {
    WriteBe16Run(p, aWords, std::make_index_sequence<N>{});
}

// Record data is mostly a few dozen bytes. A memcpy of a bounded but variable
// length is expanded to rep movs, whose start-up costs more than the copy at
// these sizes; fixed-size overlapping copies do not. Touches only
// [pFrom, pFrom + lLength) and [pTo, pTo + lLength).
inline void CopyDataBytes(uint8_t *pTo, const uint8_t *pFrom, uint32_t lLength) {
    if (lLength >= 16) {
        if (lLength > 256) {
            std::memcpy(pTo, pFrom, lLength);
            return;
        }
        for (uint32_t i = 0; i + 16 < lLength; i += 16)
            std::memcpy(pTo + i, pFrom + i, 16);
        std::memcpy(pTo + lLength - 16, pFrom + lLength - 16, 16);
    } else if (lLength >= 8) {
        std::memcpy(pTo, pFrom, 8);
        std::memcpy(pTo + lLength - 8, pFrom + lLength - 8, 8);
    } else if (lLength >= 4) {
        std::memcpy(pTo, pFrom, 4);
        std::memcpy(pTo + lLength - 4, pFrom + lLength - 4, 4);
    } else if (lLength > 0) {
        pTo[0] = pFrom[0];
        pTo[lLength / 2] = pFrom[lLength / 2];
        pTo[lLength - 1] = pFrom[lLength - 1];
    }
}

// Copies lLength bytes into an all-zero area of lCapacity bytes (a multiple of
// 4, at least lLength), reading lCapacity bytes at pFrom: whole words, with
// the bytes past lLength masked to zero. Unlike CopyDataBytes it does not
// branch on lLength, which varies from item to item.
inline void CopyIntoZeroSlot(uint8_t *pTo, const uint8_t *pFrom, uint32_t lLength,
                             uint32_t lCapacity) {
    if constexpr (std::endian::native != std::endian::little) {
        CopyDataBytes(pTo, pFrom, lLength);
    } else {
        uint32_t i = 0;
        for (; i + 8 <= lCapacity; i += 8) {
            const uint32_t lKeep = lLength > i ? std::min(lLength - i, 8u) : 0;
            uint64_t lWord = 0;
            std::memcpy(&lWord, pFrom + i, 8);
            lWord &= lKeep == 8 ? ~uint64_t(0) : (uint64_t(1) << (8 * lKeep)) - 1;
            std::memcpy(pTo + i, &lWord, 8);
        }
        if (i < lCapacity) {
            const uint32_t lKeep = lLength > i ? std::min(lLength - i, 4u) : 0;
            uint32_t lWord = 0;
            std::memcpy(&lWord, pFrom + i, 4);
            lWord &= uint32_t((uint64_t(1) << (8 * lKeep)) - 1);
            std::memcpy(pTo + i, &lWord, 4);
        }
    }
}

// TETRA bodies (types 3, 6 and 8). The length functions refuse what a reader
// would not hand back whole: more data bytes than it copies.
bool TetraBodyLength(const TetraTmv &clTetra, uint8_t lType, int lVersion, uint32_t &lLength);
void EncodeTetraBody(const TetraTmv &clTetra, uint8_t lType, int lVersion, uint8_t *pBody);
// The decoders expect an all-zero structure and leave untouched what a record
// does not store.
bool DecodeTetraBody(const uint8_t *pBody, uint32_t lLength, uint8_t lType, int lVersion,
                     uint64_t lFrequency, TetraTmv &clTetra);

// GSM body (type 9, version 3 only).
bool GsmBodyLength(const GsmTmv &clGsm, uint32_t &lLength);
void EncodeGsmBody(const GsmTmv &clGsm, uint8_t *pBody);
bool DecodeGsmBody(const uint8_t *pBody, uint32_t lLength, GsmTmv &clGsm);

// DMR body (type 5). Encoding refuses items that would not read back as
// written: a kind outside its slot, or more data bytes than a reader takes.
bool DmrBodyLength(const DmrTmv &clDmr, int lVersion, uint32_t &lLength);
void EncodeDmrBody(const DmrTmv &clDmr, int lVersion, uint8_t *pBody);
// lWritten: the end of the bytes of clDmr that were written, also when the
// body turns out damaged.
bool DecodeDmrBody(const uint8_t *pBody, uint32_t lLength, int lVersion,
                   DmrTimeslotMemory &clMemory, DmrTmv &clDmr, uint32_t &lWritten);

// The decoders' verdicts without decoding; bVerbatim: encoding the decoded
// body gives these bytes again.
bool CheckTetraBody(const uint8_t *pBody, uint32_t lLength, uint8_t lType, int lVersion,
                    bool &bVerbatim);
bool CheckGsmBody(const uint8_t *pBody, uint32_t lLength);
// Also moves clMemory on as the decoder does.
bool CheckDmrBody(const uint8_t *pBody, uint32_t lLength, int lVersion, DmrTimeslotMemory &clMemory,
                  bool &bVerbatim);

} // namespace container_body
