// Field-by-field comparison of payload structures, shared by the format tests.
// Each reports the first differing field through QTest and returns false, so
// a test writes `if (!SameTetra(a, e)) return;`.
#pragma once

#include "RecordTypes.h"

bool SameTetra(const TetraTmv &clActual, const TetraTmv &clExpected);
bool SameDmr(const DmrTmv &clActual, const DmrTmv &clExpected);
bool SameGsm(const GsmTmv &clActual, const GsmTmv &clExpected);
bool SameNotice(const NoticeTmv &clActual, const NoticeTmv &clExpected);
