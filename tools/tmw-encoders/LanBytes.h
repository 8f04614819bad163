// Byte-level builder of ".lan" recordings: TETRA entries ("!" frame entries,
// extended entries and entries of other kinds) and DMR frames (0x7F, with
// their CRC-8 worked out here bit by bit). Every field is placed from the
// layout tables with its own big-endian writes, so nothing is shared with the
// reader in formats/. Plain C++ without Qt, so the sample generator can build
// whole files with it too.
//
// Nothing is checked: damaged entries and frames (wrong lengths, terminators,
// checksums, counts) are built the same way as good ones.
#pragma once

#include "SequenceRandom.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace LanBytes {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kEntryMarker = 0x21; // "!"
constexpr uint8_t kEntryTerminator = 0x0D;
constexpr uint8_t kFrameEntryKind = 0xDE;
constexpr uint8_t kExtendedEntryKind = 0xDA;
constexpr uint8_t kDmrMarker = 0x7F;
constexpr uint8_t kDmrTerminator = 0xFE;

// Seconds from 1970-01-01 to 2000-01-01.
constexpr uint64_t kEpoch2000 = 946684800;

// ---- TETRA entries ----

// "!", the body length, the body, the terminator. lStatedLength < 0 states
// the body's real length.
void AppendEntry(Bytes &clOut, const Bytes &clBody, int32_t lStatedLength = -1,
                 uint8_t lTerminator = kEntryTerminator);
Bytes Entry(const Bytes &clBody, int32_t lStatedLength = -1,
            uint8_t lTerminator = kEntryTerminator);

constexpr size_t kFrameDataSize = 54;
constexpr size_t kBlock2 = 27;
// Frame flags: block 1 valid, block 2 valid, prefix valid, hyperframe not
// valid; bits 4 to 7 units of milliseconds with an odd time mode.
constexpr uint8_t kBlock1Valid = 0x01;
constexpr uint8_t kBlock2Valid = 0x02;
constexpr uint8_t kPrefixValid = 0x04;

struct FrameEntryFields {
    uint16_t notUsed = 0;
    uint16_t carrier = 1000;
    uint8_t band = 4;
    uint8_t burstCode = 1;
    uint32_t timeValue = 0xFFFFFFFF;
    uint8_t timeMode = 0;
    uint8_t timeslot = 1;
    uint8_t frame = 1;
    uint8_t multiframe = 1;
    uint16_t hyperframe = 0;
    Bytes optionalBlock; // its length M is written before it
    // value1First, value1Second, value2First, value2Second, value3First,
    // value3Second.
    int16_t values[6] = {};
    uint16_t prefixWord = 0;
    uint8_t entryType = 6;
    uint8_t frameFlags = kBlock1Valid | kBlock2Valid;
    uint8_t data[kFrameDataSize] = {};
    Bytes trailing; // bytes after the fields, still inside the body
};

// The body from the entry kind on.
Bytes FrameEntryBody(const FrameEntryFields &clFields);

// A time in seconds since 2000 with milliseconds 0 to 999: an odd time mode
// with the tens, the units in the high nibble of the frame flags.
void SetSecondsSince2000(FrameEntryFields &clFields, uint32_t lSeconds, uint16_t lMilliseconds);

// Sub-entry flags H.
constexpr uint8_t kSubValue1 = 0x80;
constexpr uint8_t kSubValue2 = 0x40;
constexpr uint8_t kSubValue3 = 0x20;
constexpr uint8_t kSubValue16 = 0x10;
constexpr uint8_t kSubDataState = 0x08;
constexpr uint8_t kSubSkipped = 0x04;
// Sub-entry lengths from here on leave the data length unstated.
constexpr uint16_t kUnstatedLength = 32767;

struct SubEntryFields {
    uint8_t flags = 0;
    int16_t value1Source = 0;
    int16_t value2Source = 0;
    int16_t value3Source = 0;
    uint16_t value16 = 0;
    uint8_t dataState = 0;
    Bytes skipped; // with H bit 2, after its length
    uint8_t byteX = 0;
    uint8_t byteY = 0;
    uint8_t channelType = 6;
    Bytes data;
    // S; < 0 states the length of the fields after it and the data.
    int32_t statedLength = -1;
};

// Extended entry flags G.
constexpr uint8_t kEntryValue16 = 0x80;
constexpr uint8_t kEntryFrequency = 0x40;
constexpr uint8_t kEntryTime = 0x20;
constexpr uint8_t kEntrySkipped4 = 0x10;
constexpr uint8_t kEntrySkipped3 = 0x08;
constexpr uint8_t kEntrySkipped2 = 0x04;

struct ExtendedEntryFields {
    uint16_t notUsed = 0;
    uint8_t link = 0; // counters follow for links up to 3
    uint8_t flags = 0;
    int32_t statedCount = -1; // N; < 0 states the number of sub-entries
    uint16_t hyperframe = 0;
    uint8_t multiframe = 1;
    uint8_t frame = 1;
    uint8_t timeslot = 1;
    uint16_t value16 = 0;
    uint8_t byte1 = 0;
    uint32_t frequency = 0;
    uint32_t value32 = 0;
    uint64_t timeSeconds = 0;
    uint16_t milliseconds = 0;
    Bytes skipped4;
    uint16_t value16Bit3 = 0;
    Bytes skipped3;
    Bytes skipped2;
    std::vector<SubEntryFields> subEntries;
    Bytes trailing;
};

Bytes SubEntryBytes(const SubEntryFields &clFields);
Bytes ExtendedEntryBody(const ExtendedEntryFields &clFields);

// Data bits of a channel type as a recorder sizes them (Y matters for type
// 7); 0 for a type without a size.
uint32_t ChannelTypeBits(uint8_t lType, uint8_t lBurstByte);

// ---- DMR frames ----

// CRC-8 by polynomial division, bit by bit: x^8 + x^2 + x + 1, nothing
// reflected, no initial or final value.
uint8_t Crc8(const uint8_t *p, size_t lCount);

struct DmrTime {
    uint16_t year = 2024;
    uint8_t month = 1;
    uint8_t day = 1;
    uint8_t hour = 0;
    uint8_t minute = 0;
    uint8_t second = 0;
    uint16_t milliseconds = 0;
};
// Packed into their bit fields, each cut to its width.
uint64_t TimeWord(const DmrTime &clTime);

struct DmrItemFields {
    uint16_t bitCount = 0;
    uint8_t kind = 0;
    Bytes data; // written as given
    uint8_t flags = 0;
};
// An item of lBits bits with (lBits + 7) / 8 data bytes lFirst, lFirst + 1, ...
DmrItemFields DmrItem(uint8_t lKind, uint16_t lBits, uint8_t lFirst = 0x40, uint8_t lFlags = 0);

enum class DmrCheck {
    Computed, // the CRC, 255 when it is 0
    None,     // 0: no checksum
    Given,    // givenCheck as it is
};

struct DmrFrameFields {
    uint8_t frameKind = 2;
    uint64_t timeWord = 0;
    uint8_t burstKindCode = 0;
    uint16_t word1 = 0;
    uint8_t byte2 = 0;
    uint8_t byte1 = 0;
    uint8_t optionFlags = 0;
    uint64_t option40 = 0; // F bit 0, 40 bits
    uint8_t option8 = 0;   // F bit 1
    uint16_t optionWord2 = 0;
    uint16_t optionWord3 = 0;
    uint16_t optionWord4 = 0;
    uint32_t option32 = 0; // F bit 5
    // The count and the items are written only for option flags up to 63.
    std::vector<DmrItemFields> items;
    int32_t statedCount = -1;
    Bytes trailing; // before the terminator
    DmrCheck check = DmrCheck::Computed;
    uint8_t givenCheck = 0;
    int32_t statedLength = -1; // < 0 states the real length
    uint8_t terminator = kDmrTerminator;
};

Bytes DmrFrame(const DmrFrameFields &clFields);
void AppendDmrFrame(Bytes &clOut, const DmrFrameFields &clFields);
// The CRC of a built frame as its check byte covers it (kind to the byte
// before the terminator, by its real length).
uint8_t FrameCrc(const Bytes &clFrame);

// ---- Sequences as a receiver writes them ----

// TETRA: frame entries with their own times, extended entries with time,
// frequency and one to three sub-entries, and entries of other kinds, in a
// realistic mix.
struct TetraSequenceSettings {
    uint64_t seed = 1;
    size_t entryCount = 1000;
    uint32_t startSecondsSince2000 = 757382400; // 2024-01-01 00:00:00 UTC
};

enum class EntryShape { Frame, Extended, Other };

struct TetraSequenceEntry {
    EntryShape shape = EntryShape::Frame;
    FrameEntryFields frame;
    ExtendedEntryFields extended;
    Bytes otherBody;
    // The time the entry carries, since 1970 (frame and extended entries).
    uint64_t unixSeconds = 0;
    uint16_t milliseconds = 0;
};

std::vector<TetraSequenceEntry> RealisticTetraSequence(const TetraSequenceSettings &clSettings);
Bytes TetraFileBytes(const std::vector<TetraSequenceEntry> &clEntries);
void AppendTetraEntry(Bytes &clOut, const TetraSequenceEntry &clEntry);

// The entries of a realistic TETRA sequence one after another, at times and
// timeslots the caller chooses, so a recording can be laid out at any pace.
// RealisticTetraSequence draws its entries with it.
class CTetraEntrySource {
  public:
    explicit CTetraEntrySource(uint64_t lSeed) : m_clRandom(lSeed) {}
    // lUnixSeconds from 2000-01-01 on (frame entries count from there),
    // lMilliseconds 0 to 999; the counters are those of timeslot lSlot counted
    // from the first timeslot of hyperframe 0.
    TetraSequenceEntry Next(uint64_t lUnixSeconds, uint16_t lMilliseconds, uint32_t lSlot);

  private:
    TmwEncoders::CSequenceRandom m_clRandom;
};

// DMR: bursts every 30 ms on two timeslots, a spread of burst kinds, options
// and items, frames without a checksum and frames of other kinds among them.
struct DmrSequenceSettings {
    uint64_t seed = 1;
    size_t frameCount = 1000;
    DmrTime start{2024, 2, 28, 23, 59, 50, 0};
};

struct DmrSequenceFrame {
    DmrFrameFields fields;
    DmrTime time;
};

std::vector<DmrSequenceFrame> RealisticDmrSequence(const DmrSequenceSettings &clSettings);

// The frames of a realistic DMR sequence one after another, each stamped with
// the time the caller gives (milliseconds since 1970). The first five frames
// alternate burst kinds 1 and 2, as RealisticDmrSequence's do, which draws its
// frames with it.
class CDmrFrameSource {
  public:
    explicit CDmrFrameSource(uint64_t lSeed) : m_clRandom(lSeed) {}
    DmrSequenceFrame Next(uint64_t lUnixMilliseconds);

  private:
    TmwEncoders::CSequenceRandom m_clRandom;
    size_t m_lIndex = 0;
};
Bytes DmrFileBytes(const std::vector<DmrSequenceFrame> &clFrames);

} // namespace LanBytes
