// The product version packed into one 64-bit value, one byte per number, and
// its display string ("2026.12" for 26.12.0.0).
#pragma once

#include <QString>
#include <cstdint>

// Packs the product version as the version resource would hold it: two double
// words, each number in one 16-bit half; each number is kept modulo 256.
uint64_t PackProductVersion(uint32_t lMostSignificant, uint32_t lLeastSignificant);

// The display string of a packed value; 0 stands for missing information and
// is shown as all ones ("2255.255.255.255").
QString FormatProductVersion(uint64_t lPacked);

// The version fixed at build time. With bAvailable false the diagnostic for
// missing version information is printed and the all-ones string results.
QString BuildVersionString(bool bAvailable, uint32_t lFirst, uint32_t lSecond, uint32_t lThird,
                           uint32_t lFourth);

// The running program's version string from the project version.
QString ApplicationVersionString();
