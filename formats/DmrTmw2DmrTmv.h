// DMR frames of ".lan" TMW recordings turned into DmrTmv payloads.
// CDmrTmw2DmrTmv is a plain base class without virtual operations. The ".lan"
// reader inherits it and, for every frame in its buffer:
//   1. asks CheckDmrFrame whether a convertible frame starts there;
//   2. decodes it with DecodeDmrFrame into a TmwDmrFrame;
//   3. converts that with ConvertDmrFrame and hands the record out through
//      FillDmrRecord.
// OpenFile calls ResetDmrConversionState, so a file always converts the same
// whatever the object read before.
#pragma once

#include "RecordTypes.h"

#include <cstddef>
#include <cstdint>

constexpr uint8_t kDmrFrameMarker = 0x7F;
// Where a frame keeps its kind.
constexpr uint32_t kDmrFrameKindAt = 4;
constexpr uint8_t kDmrFrameTerminator = 0xFE;
// Frames of this length or more are not frames.
constexpr uint32_t kDmrFrameLengthLimit = 110;
// Marker, length, check byte, kind, time word, burst kind code, word1, byte2,
// byte1, option flags, item count and terminator: a shorter frame cannot hold
// its own fields.
constexpr uint32_t kDmrFrameMinimumLength = 21;
// The only frame kind that converts.
constexpr uint8_t kDmrConvertedFrameKind = 2;
// Option flags above this leave the frame without a record.
constexpr uint8_t kDmrLargestOptionFlags = 63;
constexpr int kDmrMaxStoredItems = 6;
// The largest data size the acceptance table allows.
constexpr uint32_t kDmrItemDataCapacity = 33;

enum DmrChecksumState : uint8_t {
    DMR_CHECKSUM_REJECTED = 0,
    DMR_CHECKSUM_MATCHED = 1,
    DMR_CHECKSUM_ABSENT = 2,
};

struct TmwDmrItem {
    uint16_t bitCount;
    uint32_t itemKind; // 1 to 39
    uint8_t itemFlags; // bit 0 becomes highFlag, the rest itemFlags
    uint8_t data[kDmrItemDataCapacity];
};

// One decoded frame. Absent options are 0.
struct TmwDmrFrame {
    uint64_t timeWord;
    uint8_t burstKindCode;
    uint16_t word1;
    uint8_t byte2;
    uint8_t byte1;
    uint8_t optionFlags;
    uint64_t option40; // F bit 0
    uint8_t option8;   // F bit 1
    uint16_t optionWord2;
    uint16_t optionWord3;
    uint16_t optionWord4;
    uint32_t option32; // F bit 5
    uint8_t checksumState;
    uint8_t itemCount; // stored items, at most kDmrMaxStoredItems
    TmwDmrItem items[kDmrMaxStoredItems];
};

// What CheckDmrFrame found at a position.
enum class DmrFrameCheck : uint8_t {
    Found,      // a frame of kind 2 with a matching or no checksum, lLength long
    Skip,       // no frame to convert here: move on by lStep bytes
    Incomplete, // the bytes given end before the frame could be judged
};

// CRC-8, polynomial 0x07, initial value 0, most significant bit first, no
// reflection and no final XOR.
uint8_t DmrCrc8(const uint8_t *p, size_t lCount);

// Calendar fields of a packed time word, limited into their ranges, as
// seconds since 1970 UTC; an impossible day runs on into the next month
// (31 April is 1 May). Times before 1970 give 0.
uint64_t DmrTimeWordSeconds(uint64_t lTimeWord);

class CDmrTmw2DmrTmv {
  public:
    // Judges the lAvailable bytes at p. Skip always gives a step of at least
    // one byte, so a caller that follows it always advances.
    static DmrFrameCheck CheckDmrFrame(const uint8_t *p, size_t lAvailable, uint32_t &lLength,
                                       uint32_t &lStep);
    // A well-framed frame (marker, length in range, terminator, checksum
    // when present) regardless of its kind; needs the whole frame in
    // lAvailable, else false.
    static bool IsWellFramedDmrFrame(const uint8_t *p, size_t lAvailable);

    // Decodes a frame that CheckDmrFrame found (lLength bytes at p). False
    // when the frame yields no record: option flags above 63, or options,
    // item count or an item reaching past the byte before the terminator.
    // lStep is how far to move on either way.
    static bool DecodeDmrFrame(const uint8_t *p, uint32_t lLength, TmwDmrFrame &clFrame,
                               uint32_t &lStep);

    // Fills clOut (always cleared first); false when the frame's checksum was
    // rejected. A burst of kind 1 marks this object, so that later bursts of
    // kind 2 get timeslot 1.
    bool ConvertDmrFrame(const TmwDmrFrame &clFrame, DmrTmv &clOut);

    void ResetDmrConversionState() { m_bBurstKind1Seen = false; }
    bool BurstKind1Seen() const { return m_bBurstKind1Seen; }

    // A converted record as the reader hands it out.
    static void FillDmrRecord(RawRecord &clRecord, DmrTmv &clPayload);

  private:
    bool m_bBurstKind1Seen = false;
};
