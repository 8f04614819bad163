// Frame conversion: time, direction, values, frequency and the entry-type rows.
#include "TetraTmw2Tmv.h"

#include <cstring>

namespace {

// One timeslot is 85/6 ms. The rounded constants are kept exactly: another
// rounding moves some derived times by a millisecond.
constexpr double kTimeslotMilliseconds = 14.166666666666666;
constexpr double kTwoTimeslotsMilliseconds = 28.333333333333332;
// n of the first timeslot of hyperframe 0: (((0 x 60 + 1) x 18 + 1) x 4) + 0.
constexpr int64_t kFirstSlotNumber = 76;
// 65,536 hyperframes x 60 multiframes x 18 frames x 4 timeslots.
constexpr double kSlotsPerHyperframeWrap = 283115520.0;

constexpr uint8_t kFlags2Plain = 0x80;
constexpr uint8_t kFlags2Marked = 0x81;
constexpr uint8_t kAllValuesValid = 0xE0;
constexpr uint8_t kFrequencyValid = 0x10;

// A copy of the entry-type table. count kPacked stands for the 274-bit packing
// of the two blocks instead of a plain byte copy.
constexpr uint8_t kPacked = 0xFF;

struct BlockCopy {
    uint8_t validMask; // frameFlags bit that must be set; 0 ends the list
    uint8_t dataFlag;  // dataFlags bit set when it is copied
    uint8_t to;        // offset from the row's start (D or data)
    uint8_t from;      // offset in the frame's data
    uint8_t count;
};

enum class RowValues : uint8_t {
    Keep,
    // Entry type 7: value1 and value2 from the second sources, value3 from the first.
    SecondButValue3,
    // Entry type 17, block-2 record: all values from the second sources and
    // the frequency no longer marked valid.
    AllSecond,
};

struct EntryRow {
    uint8_t kind;
    uint8_t channelCode[2]; // downlink, uplink
    uint16_t bitCount[2];
    int8_t burstType[2];
    BlockCopy copies[3];
    RowValues values;
};

constexpr uint8_t B1 = kTmwBlock1Valid;
constexpr uint8_t B2 = kTmwBlock2Valid;
constexpr uint8_t kBlock2 = kTmwBlock2Offset;

// Burst rows (kind 0) write from D, information rows (kind 3) from data[0].
constexpr EntryRow kRowTypes1To2 = {0,
                                    {15, 15},
                                    {208, 208},
                                    {-1, -1},
                                    {{B1, 2, 0, 0, 8}, {B2, 4, 8, kBlock2, 16}},
                                    RowValues::Keep};
constexpr EntryRow kRowTypes3To4 = {0,
                                    {16, 21},
                                    {272, 256},
                                    {-1, -1},
                                    {{B1, 2, 0, 0, 16}, {B2, 4, 16, kBlock2, 16}},
                                    RowValues::Keep};
constexpr EntryRow kRowType5 = {
    0, {17, 2}, {288, 268}, {-1, 0}, {{B1, 2, 0, 0, 34}}, RowValues::Keep};
constexpr EntryRow kRowType6 = {
    0, {1, 1}, {92, 92}, {17, 17}, {{B1, 2, 0, 0, 12}}, RowValues::Keep};
// Guarded by block 2 yet copied from block 1's place: that is how the
// recordings use entry type 7, not a slip.
constexpr EntryRow kRowType7 = {
    0, {1, 1}, {92, 92}, {33, 33}, {{B2, 2, 0, 0, 12}}, RowValues::SecondButValue3};
constexpr EntryRow kRowType8 = {0,
                                {18, 21},
                                {272, 256},
                                {-1, -1},
                                {{B1, 2, 0, 0, 16}, {B2, 4, 16, kBlock2, 16}},
                                RowValues::Keep};
constexpr EntryRow kRowType9 = {
    0,
    {19, 22},
    {288, 272},
    {-1, -1},
    {{B1, 2, 0, 0, 16}, {B2, 4, 16, kBlock2, 16}, {B2, 4, 32, kBlock2 + 16, 2}},
    RowValues::Keep};
constexpr EntryRow kRowTypes10To12 = {
    0, {19, 22}, {272, 272}, {-1, -1}, {{B1, 2, 0, 0, 16}}, RowValues::Keep};
constexpr EntryRow kRowType13 = {
    0, {20, 7}, {296, 274}, {-1, 0}, {{B1, 2, 0, 0, kPacked}}, RowValues::Keep};
constexpr EntryRow kRowType14 = {
    0, {35, 28}, {160, 144}, {-1, 0}, {{B1, 2, 0, 0, 18}}, RowValues::Keep};
constexpr EntryRow kRowType15 = {
    0, {32, 25}, {304, 288}, {-1, 0}, {{B1, 2, 0, 0, 36}}, RowValues::Keep};
constexpr EntryRow kRowType16 = {
    0, {31, 24}, {448, 432}, {-1, 0}, {{B1, 2, 0, 0, 54}}, RowValues::Keep};
constexpr EntryRow kRowType17Block2 = {
    0, {1, 1}, {92, 92}, {33, 33}, {{B2, 2, 0, kBlock2, 12}}, RowValues::AllSecond};
constexpr EntryRow kRowType34 = {3,
                                 {64, 64},
                                 {192, 192},
                                 {-1, -1},
                                 {{B1, 1, 0, 0, 8}, {B2, 2, 8, kBlock2, 16}},
                                 RowValues::Keep};
constexpr EntryRow kRowType37 = {
    3, {51, 51}, {268, 268}, {0, 0}, {{B1, 1, 0, 0, 34}}, RowValues::Keep};
constexpr EntryRow kRowType40 = {3,
                                 {65, 65},
                                 {256, 256},
                                 {-1, -1},
                                 {{B1, 1, 0, 0, 16}, {B2, 2, 16, kBlock2, 16}},
                                 RowValues::Keep};
constexpr EntryRow kRowType41 = {
    3,
    {66, 66},
    {272, 272},
    {-1, -1},
    {{B1, 1, 0, 0, 16}, {B2, 2, 16, kBlock2, 16}, {B2, 2, 32, kBlock2 + 16, 2}},
    RowValues::Keep};
constexpr EntryRow kRowTypes42To44 = {
    3, {66, 66}, {272, 272}, {-1, -1}, {{B1, 1, 0, 0, 16}}, RowValues::Keep};
constexpr EntryRow kRowType45 = {
    3, {52, 52}, {274, 274}, {0, 0}, {{B1, 1, 0, 0, kPacked}}, RowValues::Keep};
constexpr EntryRow kRowType46 = {
    3, {58, 58}, {144, 144}, {0, 0}, {{B1, 1, 0, 0, 18}}, RowValues::Keep};
constexpr EntryRow kRowType47 = {
    3, {55, 55}, {288, 288}, {0, 0}, {{B1, 1, 0, 0, 36}}, RowValues::Keep};
constexpr EntryRow kRowType48 = {
    3, {54, 54}, {432, 432}, {0, 0}, {{B1, 1, 0, 0, 54}}, RowValues::Keep};

// The row of an entry type, or nothing for a type without one.
const EntryRow *EntryRowFor(uint8_t lEntryType, uint8_t lSubIndex) {
    switch (lEntryType) {
    case 1:
    case 2:
        return &kRowTypes1To2;
    case 3:
    case 4:
        return &kRowTypes3To4;
    case 5:
        return &kRowType5;
    case 6:
        return &kRowType6;
    case 7:
        return &kRowType7;
    case 8:
        return &kRowType8;
    case 9:
        return &kRowType9;
    case 10:
    case 11:
    case 12:
        return &kRowTypes10To12;
    case 13:
        return &kRowType13;
    case 14:
        return &kRowType14;
    case 15:
        return &kRowType15;
    case 16:
        return &kRowType16;
    case 17:
        return lSubIndex == 0 ? &kRowType6 : &kRowType17Block2;
    case 34:
        return &kRowType34;
    case 37:
        return &kRowType37;
    case 40:
        return &kRowType40;
    case 41:
        return &kRowType41;
    case 42:
    case 43:
    case 44:
        return &kRowTypes42To44;
    case 45:
        return &kRowType45;
    case 46:
        return &kRowType46;
    case 47:
        return &kRowType47;
    case 48:
        return &kRowType48;
    default:
        return nullptr;
    }
}

struct BurstRule {
    bool accepted;
    uint8_t direction;
    uint8_t flags2;
};

BurstRule RuleForBurst(uint8_t lBurstCode) {
    switch (lBurstCode) {
    case 1:
    case 33:
    case 34:
        return {true, 0, kFlags2Plain};
    case 2:
        return {true, 1, kFlags2Plain};
    case 17:
    case 49:
    case 50:
        return {true, 0, kFlags2Marked};
    case 18:
        return {true, 1, kFlags2Marked};
    default:
        return {false, 0, 0};
    }
}

uint8_t Limited(uint8_t lValue, uint8_t lHighest) {
    if (lValue == 0)
        return 1;
    return lValue > lHighest ? lHighest : lValue;
}

// Payload frequency: the low four bits of the band code select the 100-MHz
// band; without them the carrier number alone tells the 300 or 400-MHz band.
uint64_t PayloadFrequency(uint16_t lCarrier, uint8_t lBand) {
    const uint64_t lBase = uint64_t(lCarrier) * 25000;
    const uint8_t lBandNumber = lBand & 0x0F;
    if (lBandNumber != 0)
        return lBase + uint64_t(lBandNumber) * 100000000;
    return lBase + (lCarrier < 3200 ? 400000000 : 300000000);
}

} // namespace

void PackTwo137BitBlocks(uint8_t *pOut, const uint8_t *pFirst, const uint8_t *pSecond) {
    std::memcpy(pOut, pFirst, 17);
    pOut[17] = uint8_t((pFirst[17] & 0x80) | (pSecond[0] >> 1));
    for (int k = 0; k < 16; ++k)
        pOut[18 + k] = uint8_t(((pSecond[k] & 1) << 7) | (pSecond[k + 1] >> 1));
    pOut[34] = uint8_t(((pSecond[16] & 1) << 7) | ((pSecond[17] >> 7) << 6));
}

uint64_t TmwFrameRecordFrequency(uint8_t lBand, uint16_t lCarrier) {
    // Computed wide and cut to 32 bits: the conversion to a signed type is
    // modular, so the wrap is the two's complement one without overflow.
    const int64_t lWide = (int64_t(lBand) * 4000 + lCarrier) * 25000;
    const int32_t lWrapped = int32_t(uint32_t(uint64_t(lWide)));
    return uint64_t(int64_t(lWrapped));
}

void FillTmwFileHeaderInfo(FileHeaderInfo &clInfo, const char *pRecordingType) {
    std::memset(&clInfo, 0, sizeof clInfo);
    clInfo.infoType = 1;
    auto copyText = [](char *pField, size_t lSize, const char *pText) {
        std::strncpy(pField, pText, lSize - 1);
        pField[lSize - 1] = '\0';
    };
    copyText(clInfo.recordingType, sizeof clInfo.recordingType, pRecordingType);
    copyText(clInfo.infoText1, sizeof clInfo.infoText1, "unknown");
    copyText(clInfo.infoText2, sizeof clInfo.infoText2, " - ");
    copyText(clInfo.infoText3, sizeof clInfo.infoText3, " - ");
}

void CTetraTmw2Tmv::ResetConversionState() {
    m_lKind = PAYLOAD_TETRA;
    m_lSlotOffset = 0;
    m_lLastHyperframe = 0;
}

void CTetraTmw2Tmv::FillTetraRecord(RawRecord &clRecord, uint64_t lFrequency,
                                    TetraTmv &clPayload) const {
    clRecord.recordClass = 2;
    clRecord.frequency = lFrequency;
    clRecord.symbolRate = 18000;
    clRecord.value16 = 0;
    clRecord.payloadKind = m_lKind;
    clRecord.payloadLength = kTetraTmvLength;
    clRecord.payload = &clPayload;
    clRecord.spare64 = 0;
    clRecord.spare32 = 0;
}

void CTetraTmw2Tmv::CounterTime(uint16_t lHyperframe, uint8_t lMultiframe, uint8_t lFrame,
                                uint8_t lTimeslot, bool bHyperframeValid, bool bUplinkShift,
                                TetraTmv &clOut) {
    if (m_lLastHyperframe == 65535 && lHyperframe == 0)
        m_lSlotOffset += kSlotsPerHyperframeWrap;
    m_lLastHyperframe = lHyperframe;

    const int64_t m = Limited(lMultiframe, 60);
    const int64_t f = Limited(lFrame, 18);
    const int64_t s = Limited(lTimeslot, 4);
    const int64_t lHyperframes = bHyperframeValid ? int64_t(lHyperframe) : 0;
    const int64_t n = (((lHyperframes * 60 + m) * 18 + f) * 4) + (s - 1);

    double t = (double(n - kFirstSlotNumber) + m_lSlotOffset) * kTimeslotMilliseconds;
    if (bUplinkShift)
        t += kTwoTimeslotsMilliseconds;
    clOut.timeSeconds = uint64_t(t / 1000.0);
    clOut.milliseconds = uint16_t(uint64_t(t) % 1000);
}

bool CTetraTmw2Tmv::ConvertTmwTetraFrame(const TmwTetraFrame &clFrame, uint8_t lSubIndex,
                                         TetraTmv &clOut) {
    std::memset(&clOut, 0, sizeof clOut);

    const bool bHyperframeValid = (clFrame.frameFlags & kTmwHyperframeNotValid) == 0;
    const bool bUplinkBurst = clFrame.burstCode == 2 || clFrame.burstCode == 18;
    if (clFrame.timeValue != kTmwNoTime && (clFrame.timeValue != 0 || clFrame.timeMode != 0)) {
        if (clFrame.timeMode & 1) {
            clOut.timeSeconds = uint64_t(clFrame.timeValue) + kTmwEpoch2000;
            clOut.milliseconds = uint16_t(10 * (clFrame.timeMode / 2) + clFrame.frameFlags / 16);
        } else {
            clOut.timeSeconds = clFrame.timeValue / 1000;
            clOut.milliseconds = uint16_t(clFrame.timeValue % 1000);
        }
    } else {
        CounterTime(clFrame.hyperframe, clFrame.multiframe, clFrame.frame, clFrame.timeslot,
                    bHyperframeValid, bUplinkBurst, clOut);
    }
    clOut.hyperframe = bHyperframeValid ? clFrame.hyperframe : 0;
    clOut.multiframe = clFrame.multiframe;
    clOut.frame = clFrame.frame;
    clOut.timeslot = clFrame.timeslot;

    const BurstRule clRule = RuleForBurst(clFrame.burstCode);
    if (!clRule.accepted)
        return false;
    // Only an uplink burst of entry type 17 carries a second record.
    const bool bConverts =
        lSubIndex == 0 || (lSubIndex == 1 && bUplinkBurst && clFrame.entryType == 17);
    if (!bConverts)
        return false;
    clOut.direction = clRule.direction;
    clOut.flags2 = clRule.flags2;
    clOut.extended = 0;

    clOut.valueFlags = kAllValuesValid;
    clOut.value1 = clFrame.value1First / 10;
    clOut.value2 = clFrame.value2First / 2;
    clOut.value3 = clFrame.value3First * 125;

    if (clFrame.carrier >= 1 && clFrame.carrier <= 3999) {
        clOut.valueFlags |= kFrequencyValid;
        clOut.frequency = PayloadFrequency(clFrame.carrier, clFrame.band);
    }

    uint8_t *pStart = clOut.data;
    clOut.dataFlags = 0;
    if (clOut.direction == 0) {
        clOut.data[0] = uint8_t(clFrame.prefixWord >> 8);
        clOut.data[1] = uint8_t(clFrame.prefixWord);
        if (clFrame.frameFlags & kTmwPrefixValid)
            clOut.dataFlags = 1;
        pStart = clOut.data + 2;
    }

    const EntryRow *pRow = EntryRowFor(clFrame.entryType, lSubIndex);
    if (pRow == nullptr) {
        // No row: the record goes out with empty channel information and the
        // kind of the record before it.
        clOut.channelCode = 0;
        clOut.bitCount = 0;
        clOut.burstType = 0;
        clOut.dataFlags = 0;
        return true;
    }

    m_lKind = pRow->kind;
    if (pRow->kind == PAYLOAD_TETRA_AUX) {
        clOut.direction = 0;
        pStart = clOut.data;
    }
    const int lWay = clOut.direction == 0 ? 0 : 1;
    clOut.channelCode = pRow->channelCode[lWay];
    clOut.bitCount = pRow->bitCount[lWay];
    clOut.burstType = pRow->burstType[lWay];
    for (const BlockCopy &clCopy : pRow->copies) {
        if (clCopy.validMask == 0)
            break;
        if ((clFrame.frameFlags & clCopy.validMask) == 0)
            continue;
        clOut.dataFlags |= clCopy.dataFlag;
        if (clCopy.count == kPacked)
            PackTwo137BitBlocks(pStart + clCopy.to, clFrame.data, clFrame.data + kTmwBlock2Offset);
        else
            std::memcpy(pStart + clCopy.to, clFrame.data + clCopy.from, clCopy.count);
    }

    switch (pRow->values) {
    case RowValues::Keep:
        break;
    case RowValues::SecondButValue3:
        clOut.valueFlags |= kAllValuesValid;
        clOut.value1 = clFrame.value1Second / 10;
        clOut.value2 = clFrame.value2Second / 2;
        clOut.value3 = clFrame.value3First * 125;
        break;
    case RowValues::AllSecond:
        clOut.valueFlags = kAllValuesValid;
        clOut.value1 = clFrame.value1Second / 10;
        clOut.value2 = clFrame.value2Second / 2;
        clOut.value3 = clFrame.value3Second * 125;
        break;
    }
    return true;
}
