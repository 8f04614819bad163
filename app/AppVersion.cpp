#include "AppVersion.h"

#include "DebugPrintf.h"

uint64_t PackProductVersion(uint32_t lMostSignificant, uint32_t lLeastSignificant) {
    const uint64_t b3 = (lMostSignificant >> 16) & 0xFF;
    const uint64_t b2 = lMostSignificant & 0xFF;
    const uint64_t b1 = (lLeastSignificant >> 16) & 0xFF;
    const uint64_t b0 = lLeastSignificant & 0xFF;
    return (b3 << 24) | (b2 << 16) | (b1 << 8) | b0;
}

QString FormatProductVersion(uint64_t lPacked) {
    if (lPacked == 0)
        lPacked = ~uint64_t(0);
    const unsigned b3 = (lPacked >> 24) & 0xFF;
    const unsigned b2 = (lPacked >> 16) & 0xFF;
    const unsigned b1 = (lPacked >> 8) & 0xFF;
    const unsigned b0 = lPacked & 0xFF;
    const unsigned lFirst = b3 != 0 ? b3 + 2000 : 0;
    if (b0 != 0)
        return QStringLiteral("%1.%2.%3.%4").arg(lFirst).arg(b2).arg(b1).arg(b0);
    if (b1 != 0)
        return QStringLiteral("%1.%2.%3").arg(lFirst).arg(b2).arg(b1);
    return QStringLiteral("%1.%2").arg(lFirst).arg(b2);
}

QString BuildVersionString(bool bAvailable, uint32_t lFirst, uint32_t lSecond, uint32_t lThird,
                           uint32_t lFourth) {
    uint64_t lPacked = 0;
    if (!bAvailable) {
        DebugPrintf("No Version available. Ressource Version info created?!\n ");
    } else {
        // A 16-bit half of the resource double word holds each number.
        lPacked = PackProductVersion(((lFirst & 0xFFFF) << 16) | (lSecond & 0xFFFF),
                                     ((lThird & 0xFFFF) << 16) | (lFourth & 0xFFFF));
    }
    return FormatProductVersion(lPacked);
}

QString ApplicationVersionString() {
#if defined(BVF_VERSION_MAJOR) && defined(BVF_VERSION_MINOR) && defined(BVF_VERSION_PATCH) &&      \
    defined(BVF_VERSION_TWEAK)
    return BuildVersionString(true, BVF_VERSION_MAJOR, BVF_VERSION_MINOR, BVF_VERSION_PATCH,
                              BVF_VERSION_TWEAK);
#else
    return BuildVersionString(false, 0, 0, 0, 0);
#endif
}
