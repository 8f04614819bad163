// Byte-level builder of ".tmw" recordings: headerless sequences of 84-byte
// TETRA frames. Every field is placed from the frame layout with its own
// big-endian writes, so it shares no code with the reader in formats/. Plain
// C++ without Qt, so the sample generator can build whole files with it too.
#pragma once

#include "SequenceRandom.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace TmwBytes {

constexpr size_t kFrameSize = 84;
constexpr size_t kDataSize = 54;
// Block 2 within the data area; block 1 starts at 0.
constexpr size_t kBlock2 = 27;

// Frame flags, offset 8. Bits 3 to 7 hold the high five bits of the
// millisecond part.
constexpr uint8_t kHyperframeValid = 0x01;
constexpr uint8_t kMeasurementsAbsent = 0x02;
constexpr uint8_t kSecondsWithMilliseconds = 0x04;
// Data flags, offset 29. Bits 3 to 7 hold the low five bits of the
// millisecond part.
constexpr uint8_t kBlock1Valid = 0x01;
constexpr uint8_t kBlock2Valid = 0x02;
constexpr uint8_t kPrefixValid = 0x04;

// Seconds from 1970-01-01 to 2000-01-01.
constexpr uint64_t kEpoch2000 = 946684800;

// One frame's fields exactly as stored; nothing is checked, so damaged and
// out-of-range frames are built the same way.
struct FrameFields {
    uint16_t carrier = 0;
    uint8_t band = 0;
    uint8_t burstCode = 1;
    uint32_t timeValue = 0xFFFFFFFF;
    uint8_t frameFlags = kHyperframeValid;
    uint8_t timeslot = 1;
    uint8_t frame = 1;
    uint8_t multiframe = 1;
    uint16_t hyperframe = 0;
    // Offsets 14 to 24: value 1 first and second (in tenths), value 2 first
    // and second, value 3 first and second.
    int16_t measurements[6] = {};
    uint16_t prefixWord = 0;
    uint8_t entryType = 0;
    uint8_t dataFlags = 0;
    uint8_t data[kDataSize] = {};
};

// The 84 bytes of one frame.
std::vector<uint8_t> Frame(const FrameFields &clFields);
void AppendFrame(std::vector<uint8_t> &clBytes, const FrameFields &clFields);

// A time in seconds since 2000 with a millisecond part of 0 to 1023: sets the
// time value and splits the part over the high bits of both flag bytes,
// keeping their low three bits.
void SetSecondsWithMilliseconds(FrameFields &clFields, uint32_t lSecondsSince2000,
                                uint16_t lMilliseconds);

// A stretch of a recording as a receiver writes it: one frame per timeslot,
// the counters stepping timeslot, frame, multiframe and hyperframe, mostly
// downlink bursts with some uplink ones and a few frames without a burst,
// realistic measurements and a spread of entry types.
struct SequenceSettings {
    uint64_t seed = 1;
    size_t frameCount = 1000;
    uint32_t startSecondsSince2000 = 757382400; // 2024-01-01 00:00:00 UTC
    uint16_t startMilliseconds = 0;             // 0 to 999
    uint16_t carrier = 1000;
    uint8_t band = 4;
    uint16_t hyperframe = 0;
    uint8_t multiframe = 1;
    uint8_t frame = 1;
    uint8_t timeslot = 1;
    // False: the frames carry no time; a reader derives it from the counters.
    bool absoluteTime = true;
};

struct SequenceFrame {
    FrameFields fields;
    // With absolute time: the time the frame carries, since 1970. Else 0.
    uint64_t unixSeconds = 0;
    uint16_t milliseconds = 0;
};

std::vector<SequenceFrame> RealisticSequence(const SequenceSettings &clSettings);

// The changing content of a realistic sequence, one frame after another:
// burst code, entry type, measurements, prefix word, the block and prefix bits
// of the data flags, and the data. Carrier, band, counters, frame flags and
// time stay the caller's, so a recording can be laid out at any pace; the
// time goes in last (SetSecondsWithMilliseconds keeps the block bits).
// RealisticSequence draws its frames with it.
class CFrameContent {
  public:
    explicit CFrameContent(uint64_t lSeed) : m_clRandom(lSeed) {}
    void Draw(FrameFields &clFields);

  private:
    TmwEncoders::CSequenceRandom m_clRandom;
};
// The frames one after another, as a whole file.
std::vector<uint8_t> FileBytes(const std::vector<SequenceFrame> &clFrames);

} // namespace TmwBytes
