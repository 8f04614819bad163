#include "TimeGlitch.h"

bool CTimeGlitchRule::FarApart(int64_t lFirst, int64_t lSecond) {
    // In unsigned arithmetic the distance of any two 64-bit times fits.
    const uint64_t lDistance = lFirst > lSecond ? uint64_t(lFirst) - uint64_t(lSecond)
                                                : uint64_t(lSecond) - uint64_t(lFirst);
    return lDistance > uint64_t(kToleranceSeconds);
}
