// TETRA entries of TMW recordings turned into TetraTmv payloads, shared by the
// ".tmw" and ".lan" readers. CTetraTmw2Tmv is a plain base class without
// virtual operations. A reader inherits it and, for every entry:
//   1. decodes it into a TmwTetraFrame or a TmwTetraExtendedEntry;
//   2. asks ConvertTmwTetraFrame or ConvertTmwTetraExtended for sub-indexes
//      0, 1 and 2 in that order;
//   3. hands out each record that comes back through FillTetraRecord, with
//      TmwFrameRecordFrequency for a frame and the entry's own frequency
//      field for an extended entry.
// OpenFile calls ResetConversionState. The converter keeps only the state
// that spans entries: the kind of the last record and the hyperframe wraps.
#pragma once

#include "RecordTypes.h"

#include <cstdint>

// TmwTetraFrame::timeValue when the frame carries no absolute time.
constexpr uint32_t kTmwNoTime = 0xFFFFFFFF;
constexpr int kTmwFrameDataSize = 54;
// Block 1 starts at byte 0 of TmwTetraFrame::data, block 2 here.
constexpr int kTmwBlock2Offset = 27;

// TmwTetraFrame::frameFlags bits; bits 4 to 7 hold units of milliseconds for
// an odd timeMode.
constexpr uint8_t kTmwBlock1Valid = 0x01;
constexpr uint8_t kTmwBlock2Valid = 0x02;
constexpr uint8_t kTmwPrefixValid = 0x04;
constexpr uint8_t kTmwHyperframeNotValid = 0x08;

// Seconds from 1970-01-01 to 2000-01-01, the epoch of odd-timeMode times.
constexpr uint64_t kTmwEpoch2000 = 946684800;

// One decoded frame: an 84-byte ".tmw" frame or a ".lan" frame entry.
struct TmwTetraFrame {
    uint16_t carrier;
    uint8_t band;       // the low four bits select the 100-MHz band
    uint8_t burstCode;  // 1, 2, 17, 18, 33, 34, 49, 50 convert; others give no record
    uint32_t timeValue; // kTmwNoTime, or 0 with timeMode 0: none
    // Even: timeValue counts milliseconds. Odd: timeValue counts seconds since
    // 2000 and timeMode / 2 holds the tens of milliseconds.
    uint8_t timeMode;
    uint8_t timeslot;   // 1 to 4
    uint8_t frame;      // 1 to 18
    uint8_t multiframe; // 1 to 60
    uint16_t hyperframe;
    int16_t value1First;
    int16_t value1Second;
    int16_t value2First;
    int16_t value2Second;
    int16_t value3First;
    int16_t value3Second;
    uint16_t prefixWord; // placed before the data of downlink bursts
    uint8_t entryType;
    uint8_t frameFlags; // kTmw... bits above
    uint8_t data[kTmwFrameDataSize];
};

constexpr int kTmwMaxSubEntries = 12;
// The data a sub-entry holds; the largest channel type needs exactly this.
constexpr uint32_t kTmwSubEntryDataCapacity = kTetraDataCopyLimit;

// Sub-entry of an extended ".lan" entry. Fields that a flag bit of H marks as
// absent are 0.
struct TmwTetraSubEntry {
    uint8_t flags; // H: bits 7/6/5 value sources present, bit 3 dataState present
    int16_t value1Source;
    int16_t value2Source;
    int16_t value3Source;
    uint16_t value16;    // H bit 4; kept, not converted
    uint8_t dataState;   // with H bit 3: not 0 means the data is not valid
    uint8_t byteX;       // bit 7 selects flags2 0x81
    uint8_t byteY;       // burst byte
    uint8_t channelType; // Z
    // Bytes held in data; bytes beyond it read as zero whatever data holds.
    uint16_t dataLength;
    uint8_t data[kTmwSubEntryDataCapacity];
};

// Extended ".lan" entry. Fields that the link or a flag bit of G marks as
// absent are 0.
struct TmwTetraExtendedEntry {
    uint8_t link;          // T: 0 downlink, 1 uplink; other values give no record
    uint8_t entryFlags;    // G: bit 6 frequency present, bit 5 time present
    uint8_t subEntryCount; // N as the entry states it; the first 12 are held
    uint16_t hyperframe;
    uint8_t multiframe;
    uint8_t frame;
    uint8_t timeslot;
    uint16_t value16; // G bit 7, with byte1; kept, not converted
    uint8_t byte1;
    uint32_t frequency;   // G bit 6, in Hz
    uint32_t value32;     // G bit 6; kept, not converted
    uint64_t timeSeconds; // G bit 5, since 1970
    uint16_t milliseconds;
    uint16_t value16Bit3; // G bit 3; kept, not converted
    TmwTetraSubEntry subEntries[kTmwMaxSubEntries];
};

// What a channel type Z of an extended sub-entry stands for.
struct TetraChannelType {
    uint8_t channelCode;
    uint16_t bitCount;
    uint8_t burstInfo[3];
};

// The row of channel type lType; the burst byte Y matters only for type 7.
// False for a type without a row: such a sub-entry gives no record, and the
// ".lan" reader cannot size its data from it.
bool LookupTetraChannelType(uint8_t lType, uint8_t lBurstByte, TetraChannelType &clOut);

// RawRecord::frequency of a frame: (band x 4000 + carrier) x 25,000 in signed
// 32-bit arithmetic, widened with its sign. It uses the whole band byte and
// no band offset, unlike the payload's frequency. An overflow wraps as two's
// complement (computed without signed overflow).
uint64_t TmwFrameRecordFrequency(uint8_t lBand, uint16_t lCarrier);

// The description both TMW readers give of a recording: every field cleared,
// infoType 1, the recording type and the fixed texts.
void FillTmwFileHeaderInfo(FileHeaderInfo &clInfo, const char *pRecordingType);

class CTetraTmw2Tmv {
  public:
    // Fills clOut (always cleared first) from a frame and returns true when it
    // is a record. Sub-index 0 converts every accepted burst code; sub-index 1
    // only entry type 17 with an uplink burst, giving its block-2 record;
    // sub-index 2 never converts.
    bool ConvertTmwTetraFrame(const TmwTetraFrame &clFrame, uint8_t lSubIndex, TetraTmv &clOut);

    // Fills clOut (always cleared first) from sub-entry lSubIndex of an
    // extended entry and returns true when it is a record. Entries whose
    // channel types form a combined set give one record, at sub-index 0. The
    // kind is left as it is.
    bool ConvertTmwTetraExtended(const TmwTetraExtendedEntry &clEntry, uint8_t lSubIndex,
                                 TetraTmv &clOut);

    // For OpenFile: the same file then always converts the same, whatever the
    // object read before.
    void ResetConversionState();

    // PayloadKind of the last record (PAYLOAD_TETRA or PAYLOAD_TETRA_AUX).
    uint8_t Kind() const { return m_lKind; }
    // Timeslots added for hyperframe wrap-arounds so far.
    double SlotOffset() const { return m_lSlotOffset; }
    uint16_t LastHyperframe() const { return m_lLastHyperframe; }

    // A converted record as a reader hands it out, with the current kind.
    void FillTetraRecord(RawRecord &clRecord, uint64_t lFrequency, TetraTmv &clPayload) const;

  private:
    // Time derived from the frame counters, counted from the first timeslot
    // of hyperframe 0 and continued over hyperframe wrap-arounds.
    void CounterTime(uint16_t lHyperframe, uint8_t lMultiframe, uint8_t lFrame, uint8_t lTimeslot,
                     bool bHyperframeValid, bool bUplinkShift, TetraTmv &clOut);
    // False when the entry's channel types form no combined set; otherwise
    // bRecord tells whether this sub-index made the entry's one record.
    bool ConvertCombined(const TmwTetraExtendedEntry &clEntry, uint8_t lSubIndex, TetraTmv &clOut,
                         bool &bRecord);
    // Time, counters, values of clSub, frequency and direction; false for a
    // link that is neither downlink nor uplink.
    bool SetExtendedCommonFields(const TmwTetraExtendedEntry &clEntry,
                                 const TmwTetraSubEntry &clSub, TetraTmv &clOut);

    uint8_t m_lKind = PAYLOAD_TETRA;
    double m_lSlotOffset = 0;
    uint16_t m_lLastHyperframe = 0;
};

// The 274-bit packing: the first 137 bits of pFirst followed by the first 137
// bits of pSecond, most significant bit first, the last byte padded with zero
// bits. Reads 18 bytes of each and writes 35 bytes.
void PackTwo137BitBlocks(uint8_t *pOut, const uint8_t *pFirst, const uint8_t *pSecond);
