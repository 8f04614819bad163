#include "RecordTypes.h"

int64_t GsmFileTimeToSeconds(uint64_t lFileTime) {
    return int64_t(lFileTime / 10000000ULL) - int64_t(kFileTimeUnixEpoch / 10000000ULL);
}

int64_t GsmFileTimeToSecondsClamped(uint64_t lFileTime) {
    const uint64_t t = lFileTime < kFileTimeUnixEpoch ? kFileTimeUnixEpoch : lFileTime;
    return int64_t((t - kFileTimeUnixEpoch) / 10000000ULL);
}
