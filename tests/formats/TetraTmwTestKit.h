// Helpers shared by the TETRA conversion tests: expected data areas and the
// 274-bit packing worked out bit by bit, independently of the converter.
#pragma once

#include "RecordTypes.h"

#include <QByteArray>

namespace TetraTmwTestKit {

inline QByteArray Zeros(int lCount) {
    return QByteArray(lCount, '\0');
}

inline bool BitAt(const QByteArray &clBytes, int lBit) {
    return (uint8_t(clBytes[lBit / 8]) >> (7 - lBit % 8)) & 1;
}

// The 274-bit packing worked out bit by bit: 137 bits of each, most
// significant first, padded with zero bits to 35 bytes.
inline QByteArray PackedBits(const QByteArray &clFirst, const QByteArray &clSecond) {
    QByteArray clOut(35, '\0');
    int lAt = 0;
    for (const QByteArray *pSource : {&clFirst, &clSecond}) {
        for (int i = 0; i < 137; ++i, ++lAt) {
            if (BitAt(*pSource, i))
                clOut[lAt / 8] = char(uint8_t(clOut[lAt / 8]) | (0x80 >> (lAt % 8)));
        }
    }
    return clOut;
}

inline QByteArray DataOf(const TetraTmv &clTetra) {
    return QByteArray(reinterpret_cast<const char *>(clTetra.data), int(sizeof clTetra.data));
}

// The expected data area: the given leading bytes, zeros after them.
inline QByteArray DataArea(const QByteArray &clLeading) {
    return clLeading + Zeros(int(sizeof(TetraTmv::data)) - clLeading.size());
}

} // namespace TetraTmwTestKit
