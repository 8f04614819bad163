// The small deterministic generator behind the realistic sequences of the TMW
// encoders: the same seed gives the same recording with every compiler and
// standard library.
#pragma once

#include <cstdint>

namespace TmwEncoders {

class CSequenceRandom {
  public:
    explicit CSequenceRandom(uint64_t lSeed) : m_lState(lSeed) {}
    uint64_t Next() {
        uint64_t z = (m_lState += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 to lBound - 1.
    uint32_t Below(uint32_t lBound) { return uint32_t((Next() >> 32) % lBound); }
    int16_t Between(int lLow, int lHigh) { return int16_t(lLow + int(Below(lHigh - lLow + 1))); }
    uint8_t Byte() { return uint8_t(Next() >> 56); }

  private:
    uint64_t m_lState;
};

} // namespace TmwEncoders
