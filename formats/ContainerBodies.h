// Record bodies of the container (the bytes after the 23-byte sub-header),
// shared between the codec's dispatch and its per-format files. Internal to
// formats/: callers use ContainerCodec.h.
#pragma once

#include "ContainerCodec.h"

#include <cstdint>

namespace container_body {

inline uint32_t DataBytesForBits(uint16_t lBitCount) {
    return (uint32_t(lBitCount) + 7) / 8;
}

// TETRA bodies (types 3, 6 and 8). The length functions refuse what a reader
// would not hand back whole: more data bytes than it copies.
bool TetraBodyLength(const TetraTmv &clTetra, uint8_t lType, int lVersion, uint32_t &lLength);
void EncodeTetraBody(const TetraTmv &clTetra, uint8_t lType, int lVersion, uint8_t *pBody);
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
bool DecodeDmrBody(const uint8_t *pBody, uint32_t lLength, int lVersion,
                   DmrTimeslotMemory &clMemory, DmrTmv &clDmr);

} // namespace container_body
