// Field-by-field comparison of payload structures, shared by the format tests.
// Each reports the first differing field through QTest and returns false, so
// a test writes `if (!SameTetra(a, e)) return;`.
#pragma once

#include "RecordTypes.h"

#include <QByteArray>

#include <cstring>

// The bytes of a structure as held in memory.
template <typename T> QByteArray BytesOf(const T &clValue) {
    return QByteArray(reinterpret_cast<const char *>(&clValue), qsizetype(sizeof(clValue)));
}

// A structure with every byte zero, padding included, so its bytes compare.
template <typename T> T Zeroed() {
    T clValue;
    std::memset(static_cast<void *>(&clValue), 0, sizeof clValue);
    return clValue;
}

bool SameTetra(const TetraTmv &clActual, const TetraTmv &clExpected);
bool SameDmr(const DmrTmv &clActual, const DmrTmv &clExpected);
