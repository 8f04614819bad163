// Field-by-field comparison of payload structures, shared by the format tests.
// Each reports the first differing field through QTest and returns false, so
// a test writes `if (!SameTetra(a, e)) return;`.
#pragma once

#include "RecordTypes.h"

#include <QByteArray>

// The bytes of a structure as held in memory.
template <typename T> QByteArray BytesOf(const T &clValue) {
    return QByteArray(reinterpret_cast<const char *>(&clValue), qsizetype(sizeof(clValue)));
}

bool SameTetra(const TetraTmv &clActual, const TetraTmv &clExpected);
bool SameDmr(const DmrTmv &clActual, const DmrTmv &clExpected);
