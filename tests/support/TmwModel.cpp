#include "TmwModel.h"

#include <QByteArray>
#include <QDate>

#include <algorithm>
#include <cstring>

namespace TmwModel {

namespace {

constexpr uint32_t kNoTime = 0xFFFFFFFF;

// One copy of an entry type's row: when block lBlock (1 or 2) is valid, set
// lFlag in dataFlags and copy lCount bytes from data[lFrom] to the data
// start + lTo; lCount 0 is the 274-bit packing of both blocks.
struct Copy {
    int block, flag, to, from, count;
};
struct Row {
    int types[3];
    int kind;
    int code[2], bits[2], burst[2]; // downlink, uplink
    Copy copies[3];
};
// clang-format off
const Row kRows[] = {
    {{1, 2}, 0, {15, 15}, {208, 208}, {-1, -1}, {{1, 2, 0, 0, 8}, {2, 4, 8, 27, 16}}},
    {{3, 4}, 0, {16, 21}, {272, 256}, {-1, -1}, {{1, 2, 0, 0, 16}, {2, 4, 16, 27, 16}}},
    {{8}, 0, {18, 21}, {272, 256}, {-1, -1}, {{1, 2, 0, 0, 16}, {2, 4, 16, 27, 16}}},
    {{5}, 0, {17, 2}, {288, 268}, {-1, 0}, {{1, 2, 0, 0, 34}}},
    {{6, 17}, 0, {1, 1}, {92, 92}, {17, 17}, {{1, 2, 0, 0, 12}}},
    {{7}, 0, {1, 1}, {92, 92}, {33, 33}, {{2, 2, 0, 0, 12}}},
    {{9}, 0, {19, 22}, {288, 272}, {-1, -1}, {{1, 2, 0, 0, 16}, {2, 4, 16, 27, 16}, {2, 4, 32, 43, 2}}},
    {{10, 11, 12}, 0, {19, 22}, {272, 272}, {-1, -1}, {{1, 2, 0, 0, 16}}},
    {{13}, 0, {20, 7}, {296, 274}, {-1, 0}, {{1, 2, 0, 0, 0}}},
    {{14}, 0, {35, 28}, {160, 144}, {-1, 0}, {{1, 2, 0, 0, 18}}},
    {{15}, 0, {32, 25}, {304, 288}, {-1, 0}, {{1, 2, 0, 0, 36}}},
    {{16}, 0, {31, 24}, {448, 432}, {-1, 0}, {{1, 2, 0, 0, 54}}},
    {{34}, 3, {64, 64}, {192, 192}, {-1, -1}, {{1, 1, 0, 0, 8}, {2, 2, 8, 27, 16}}},
    {{37}, 3, {51, 51}, {268, 268}, {0, 0}, {{1, 1, 0, 0, 34}}},
    {{40}, 3, {65, 65}, {256, 256}, {-1, -1}, {{1, 1, 0, 0, 16}, {2, 2, 16, 27, 16}}},
    {{41}, 3, {66, 66}, {272, 272}, {-1, -1}, {{1, 1, 0, 0, 16}, {2, 2, 16, 27, 16}, {2, 2, 32, 43, 2}}},
    {{42, 43, 44}, 3, {66, 66}, {272, 272}, {-1, -1}, {{1, 1, 0, 0, 16}}},
    {{45}, 3, {52, 52}, {274, 274}, {0, 0}, {{1, 1, 0, 0, 0}}},
    {{46}, 3, {58, 58}, {144, 144}, {0, 0}, {{1, 1, 0, 0, 18}}},
    {{47}, 3, {55, 55}, {288, 288}, {0, 0}, {{1, 1, 0, 0, 36}}},
    {{48}, 3, {54, 54}, {432, 432}, {0, 0}, {{1, 1, 0, 0, 54}}},
};
// clang-format on
// Row 17, sub-index 1: the block-2 record of an uplink burst.
const Row kSecondRecord{{17}, 0, {1, 1}, {92, 92}, {33, 33}, {{2, 2, 0, 27, 12}}};

// The first 137 bits of pFirst and then of pSecond, most significant first.
void Pack274(uint8_t *pOut, const uint8_t *pFirst, const uint8_t *pSecond) {
    std::memset(pOut, 0, 35);
    for (int i = 0; i < 274; ++i) {
        const uint8_t *p = i < 137 ? pFirst : pSecond;
        const int lBit = i < 137 ? i : i - 137;
        if ((p[lBit / 8] >> (7 - lBit % 8)) & 1)
            pOut[i / 8] |= uint8_t(0x80 >> (i % 8));
    }
}

// RawRecord::frequency of a frame: signed 32-bit arithmetic, widened.
uint64_t RecordFrequency(uint8_t lBand, uint16_t lCarrier) {
    const int64_t lWide = (int64_t(lBand) * 4000 + lCarrier) * 25000;
    return uint64_t(int64_t(int32_t(uint32_t(uint64_t(lWide)))));
}

// The time of frame counters, counted from the first timeslot of
// hyperframe 0 and run on over the wraps of the hyperframe counter.
void CounterTime(uint16_t lHyperframe, bool bHyperframeNotValid, int lMultiframe, int lFrame,
                 int lTimeslot, bool bUplink, TetraState &clState, TetraTmv &t) {
    if (clState.lastHyperframe == 65535 && lHyperframe == 0)
        clState.slotOffset += 283115520.0;
    clState.lastHyperframe = lHyperframe;
    const uint64_t m = std::clamp(lMultiframe, 1, 60);
    const uint64_t fr = std::clamp(lFrame, 1, 18);
    const uint64_t s = std::clamp(lTimeslot, 1, 4);
    const uint64_t h = bHyperframeNotValid ? 0 : lHyperframe;
    const uint64_t n = ((h * 60 + m) * 18 + fr) * 4 + (s - 1);
    const double lMs = (double(n) - 76 + clState.slotOffset) * 14.166666666666666 +
                       (bUplink ? 28.333333333333332 : 0);
    t.timeSeconds = uint64_t(lMs / 1000);
    t.milliseconds = uint16_t(uint64_t(lMs) % 1000);
}

TetraRecord Record(uint64_t lFrequency, uint8_t lKind, const TetraTmv &t) {
    TetraRecord clOut;
    std::memset(&clOut.record, 0, sizeof clOut.record);
    clOut.record.recordClass = 2;
    clOut.record.frequency = lFrequency;
    clOut.record.symbolRate = 18000;
    clOut.record.payloadKind = lKind;
    clOut.record.payloadLength = kTetraTmvLength;
    clOut.tetra = t;
    return clOut;
}

// The records of a frame as the TETRA conversion takes it, from either reader.
QList<TetraRecord> Convert(const LanBytes::FrameEntryFields &f, TetraState &clState) {
    QList<TetraRecord> clRecords;
    const int lCode = f.burstCode;
    const bool bUplink = lCode == 2 || lCode == 18;
    const bool bKnown = bUplink || lCode == 1 || lCode == 33 || lCode == 34 || lCode == 17 ||
                        lCode == 49 || lCode == 50;
    for (int lSub = 0; lSub < 3; ++lSub) {
        TetraTmv t;
        std::memset(&t, 0, sizeof t);
        if (f.timeValue != kNoTime && !(f.timeValue == 0 && f.timeMode == 0)) {
            if (f.timeMode & 1) {
                t.timeSeconds = uint64_t(f.timeValue) + 946684800;
                t.milliseconds = uint16_t(10 * (f.timeMode / 2) + f.frameFlags / 16);
            } else {
                t.timeSeconds = f.timeValue / 1000;
                t.milliseconds = uint16_t(f.timeValue % 1000);
            }
        } else {
            CounterTime(f.hyperframe, (f.frameFlags & 0x08) != 0, f.multiframe, f.frame, f.timeslot,
                        bUplink, clState, t);
        }
        if (!bKnown || (lSub == 1 && !(bUplink && f.entryType == 17)) || lSub == 2)
            continue;
        t.hyperframe = (f.frameFlags & 0x08) ? 0 : f.hyperframe;
        t.multiframe = f.multiframe;
        t.frame = f.frame;
        t.timeslot = f.timeslot;
        t.flags2 = lCode == 17 || lCode == 18 || lCode == 49 || lCode == 50 ? 0x81 : 0x80;
        t.direction = bUplink ? 1 : 0;
        t.valueFlags = 0xE0;
        t.value1 = f.values[0] / 10;
        t.value2 = f.values[2] / 2;
        t.value3 = f.values[4] * 125;
        if (f.carrier >= 1 && f.carrier <= 3999) {
            t.valueFlags |= 0x10;
            const uint64_t lBand = f.band & 15;
            t.frequency = uint64_t(f.carrier) * 25000 + (lBand              ? lBand * 100000000
                                                         : f.carrier < 3200 ? 400000000
                                                                            : 300000000);
        }
        uint8_t *pStart = t.data;
        if (!bUplink) {
            t.data[0] = uint8_t(f.prefixWord >> 8);
            t.data[1] = uint8_t(f.prefixWord);
            t.dataFlags = (f.frameFlags & 0x04) ? 1 : 0;
            pStart += 2;
        }
        const Row *pRow = lSub == 1 ? &kSecondRecord : nullptr;
        for (const Row &clRow : kRows)
            for (int lType : clRow.types)
                if (!pRow && lType == f.entryType && lType != 0)
                    pRow = &clRow;
        if (!pRow) {
            t.dataFlags = 0;
        } else {
            clState.kind = uint8_t(pRow->kind);
            if (pRow->kind == 3) {
                t.direction = 0;
                pStart = t.data;
            }
            t.channelCode = uint8_t(pRow->code[t.direction]);
            t.bitCount = uint16_t(pRow->bits[t.direction]);
            t.burstType = int8_t(pRow->burst[t.direction]);
            for (const Copy &c : pRow->copies) {
                if (c.block == 0 || !(f.frameFlags & c.block))
                    continue;
                t.dataFlags |= uint8_t(c.flag);
                if (c.count == 0)
                    Pack274(pStart, f.data, f.data + 27);
                else
                    std::memcpy(pStart + c.to, f.data + c.from, size_t(c.count));
            }
            if (f.entryType == 7 || lSub == 1) {
                t.valueFlags = lSub == 1 ? 0xE0 : uint8_t(t.valueFlags | 0xE0);
                t.value1 = f.values[1] / 10;
                t.value2 = f.values[3] / 2;
                t.value3 = f.values[lSub == 1 ? 5 : 4] * 125;
            }
        }
        clRecords.append(Record(RecordFrequency(f.band, f.carrier), clState.kind, t));
    }
    return clRecords;
}

// Channel code, bit count and burst information of a sub-entry's channel
// type Z, or false for a type without them.
bool ChannelOf(uint8_t lType, uint8_t lBurstByte, uint8_t &lCode, uint16_t &lBits,
               uint8_t (&aInfo)[3]) {
    static constexpr struct {
        uint8_t type, code, info;
    } kSingles[] = {{0, 0, 0},  {1, 5, 0},  {3, 4, 0},   {4, 3, 0},   {5, 2, 0},   {6, 1, 0},
                    {7, 7, 0},  {8, 28, 0}, {9, 25, 0},  {10, 24, 0}, {11, 10, 1}, {12, 9, 1},
                    {13, 8, 1}, {15, 6, 0}, {43, 11, 2}, {44, 14, 2}};
    static constexpr uint8_t kPairs[7][2] = {{2, 2}, {2, 0}, {3, 0}, {3, 2},
                                             {4, 0}, {4, 1}, {4, 2}};
    // The encoder's sizes of the channel types are the layout's own.
    lBits = uint16_t(LanBytes::ChannelTypeBits(lType, lBurstByte));
    std::memset(aInfo, 0, 3);
    for (const auto &clSingle : kSingles) {
        if (clSingle.type == lType) {
            lCode = lType == 7 && lBurstByte != 0 ? 23 : clSingle.code;
            aInfo[0] = clSingle.info;
            return true;
        }
    }
    for (int m = 0; m < 4; ++m) {
        const int i = lType - (22 + 30 * m);
        if (i >= 0 && i < 21) {
            lCode = i < 14 ? 13 : 12;
            aInfo[0] = kPairs[i % 7][0];
            aInfo[1] = kPairs[i % 7][1];
            aInfo[2] = uint8_t(m);
            return true;
        }
    }
    return false;
}

// A sub-entry's data as the reader holds it: at most 1036 bytes, zeros after.
QByteArray HeldData(const LanBytes::SubEntryFields &clSub) {
    QByteArray clData(reinterpret_cast<const char *>(clSub.data.data()),
                      qsizetype(std::min<size_t>(clSub.data.size(), kTetraDataCopyLimit)));
    return clData + QByteArray(1100 - clData.size(), '\0');
}

bool SubEntryValid(const LanBytes::SubEntryFields &clSub) {
    return !(clSub.flags & LanBytes::kSubDataState) || clSub.dataState == 0;
}

// The fields every record of an extended entry takes from the entry and from
// sub-entry lSub, or false for a link that is neither downlink nor uplink.
bool CommonFields(const LanBytes::ExtendedEntryFields &e, const LanBytes::SubEntryFields &clSub,
                  TetraState &clState, TetraTmv &t) {
    const bool bCounters = e.link <= 3;
    const uint16_t lHyperframe = bCounters ? e.hyperframe : 0;
    if (e.flags & LanBytes::kEntryTime) {
        t.timeSeconds = e.timeSeconds;
        t.milliseconds = e.milliseconds;
    } else {
        CounterTime(lHyperframe, false, bCounters ? e.multiframe : 0, bCounters ? e.frame : 0,
                    bCounters ? e.timeslot : 0, false, clState, t);
    }
    t.hyperframe = lHyperframe;
    t.multiframe = bCounters ? e.multiframe : 0;
    t.frame = bCounters ? e.frame : 0;
    t.timeslot = bCounters ? e.timeslot : 0;
    if (clSub.flags & LanBytes::kSubValue1)
        t.value1 = (clSub.value1Source - 5) / 10;
    if (clSub.flags & LanBytes::kSubValue2)
        t.value2 = (clSub.value2Source - 10) / 100;
    if (clSub.flags & LanBytes::kSubValue3)
        t.value3 = clSub.value3Source * 125;
    t.valueFlags = clSub.flags & 0xE0;
    t.frequency = (e.flags & LanBytes::kEntryFrequency) ? e.frequency : 0;
    t.direction = e.link;
    t.flags2 = 0x80;
    return e.link <= 1;
}

// The one record of an entry whose channel types form a combined set, at
// sub-index 0; false when they form none.
bool Combined(const LanBytes::ExtendedEntryFields &e, TetraState &clState,
              QList<TetraRecord> &clOut) {
    static constexpr struct {
        uint8_t types[3];
        uint8_t code;
        uint16_t bits;
        uint8_t marks;    // sub-entries whose byte X bit 7 marks flags2
        uint8_t parts[3]; // bytes taken of each sub-entry's data; 255: 137 bits
    } kSets[] = {
        {{15, 5}, 17, 288, 2, {2, 34}},          {{15, 7}, 20, 304, 2, {2, 255, 255}},
        {{15, 8}, 35, 160, 2, {2, 18}},          {{15, 9}, 32, 304, 2, {2, 36}},
        {{15, 10}, 31, 448, 2, {2, 54}},         {{3, 3}, 21, 256, 3, {16, 16}},
        {{3, 7}, 22, 272, 3, {16, 18}},          {{7, 7}, 7, 288, 1, {255, 255}},
        {{15, 1, 4}, 15, 208, 4, {2, 8, 16}},    {{15, 4, 4}, 16, 272, 6, {2, 16, 16}},
        {{15, 3, 3}, 18, 272, 6, {2, 16, 16}},   {{15, 3, 7}, 19, 288, 6, {2, 16, 18}},
        {{15, 7, 7}, 20, 304, 2, {2, 255, 255}},
    };
    const size_t n = e.subEntries.size();
    for (const auto &clSet : kSets) {
        const size_t lTypes = clSet.types[2] ? 3 : 2;
        if (n != lTypes)
            continue;
        bool bSame = true;
        for (size_t k = 0; k < n; ++k)
            bSame = bSame && e.subEntries[k].channelType == clSet.types[k];
        if (!bSame)
            continue;
        TetraTmv t;
        std::memset(&t, 0, sizeof t);
        if (!CommonFields(e, e.subEntries[0], clState, t))
            return true;
        t.channelCode = clSet.code;
        t.bitCount = clSet.bits;
        t.burstType = -1;
        QByteArray aData[3];
        for (size_t k = 0; k < 3; ++k)
            aData[k] = k < n ? HeldData(e.subEntries[k]) : QByteArray(1100, '\0');
        for (size_t k = 0; k < n; ++k) {
            t.dataFlags |= SubEntryValid(e.subEntries[k]) ? uint8_t(1 << k) : 0;
            if ((clSet.marks >> k & 1) && (e.subEntries[k].byteX & 0x80))
                t.flags2 = 0x81;
        }
        if (clSet.code == 7 || clSet.code == 21 || clSet.code == 22)
            t.dataFlags = uint8_t(t.dataFlags << 1);
        uint8_t *p = t.data;
        for (size_t k = 0; k < 3 && clSet.parts[k]; ++k) {
            if (clSet.parts[k] == 255) {
                Pack274(p, reinterpret_cast<const uint8_t *>(aData[k].constData()),
                        reinterpret_cast<const uint8_t *>(aData[k + 1].constData()));
                break;
            }
            std::memcpy(p, aData[k].constData(), clSet.parts[k]);
            p += clSet.parts[k];
        }
        clOut.append(Record(t.frequency, clState.kind, t));
        return true;
    }
    return false;
}

} // namespace

QList<TetraRecord> TmwFrameRecords(const TmwBytes::FrameFields &s, TetraState &clState) {
    LanBytes::FrameEntryFields f;
    f.carrier = s.carrier;
    f.band = s.band;
    f.burstCode = s.burstCode;
    f.timeValue = s.timeValue;
    f.timeslot = s.timeslot;
    f.frame = uint8_t(std::clamp<int>(s.frame, 1, 18));
    f.multiframe = uint8_t(std::clamp<int>(s.multiframe, 1, 60));
    f.hyperframe = s.hyperframe;
    f.prefixWord = s.prefixWord;
    f.entryType = s.entryType;
    std::memcpy(f.data, s.data, sizeof f.data);
    f.frameFlags = uint8_t((s.dataFlags & 7) | ((s.frameFlags & 1) ? 0 : 8));
    if (!(s.frameFlags & TmwBytes::kMeasurementsAbsent)) {
        for (int i = 0; i < 6; ++i)
            f.values[i] = i < 2 ? int16_t((s.measurements[i] + 5) / 10) : s.measurements[i];
    }
    if (s.frameFlags & TmwBytes::kSecondsWithMilliseconds) {
        const int lMs = (s.frameFlags >> 3) * 32 + (s.dataFlags >> 3);
        f.timeMode = uint8_t(2 * (lMs / 10) + 1);
        f.frameFlags = uint8_t(f.frameFlags | (lMs % 10) << 4);
    }
    return Convert(f, clState);
}

QList<TetraRecord> LanFrameEntryRecords(const LanBytes::FrameEntryFields &s, TetraState &clState) {
    return Convert(s, clState);
}

QList<TetraRecord> LanExtendedEntryRecords(const LanBytes::ExtendedEntryFields &e,
                                           TetraState &clState) {
    QList<TetraRecord> clRecords;
    if (Combined(e, clState, clRecords))
        return clRecords;
    const size_t lHeld = std::min<size_t>(e.subEntries.size(), 12);
    for (size_t k = 0; k < lHeld; ++k) {
        const LanBytes::SubEntryFields &clSub = e.subEntries[k];
        TetraTmv t;
        std::memset(&t, 0, sizeof t);
        if (!CommonFields(e, clSub, clState, t) ||
            !ChannelOf(clSub.channelType, clSub.byteY, t.channelCode, t.bitCount, t.burstInfo))
            continue;
        t.flags2 = (clSub.byteX & 0x80) ? 0x81 : 0x80;
        const uint8_t y = clSub.byteY;
        const bool bSignal = t.channelCode == 12 || t.channelCode == 1;
        t.burstType = int8_t(y == 16 || y == 32                           ? y + (bSignal ? 1 : 0)
                             : (y > 16 && y <= 22) || (y > 32 && y <= 38) ? y
                                                                          : 0);
        if (SubEntryValid(clSub))
            t.dataFlags = t.channelCode == 6 || t.channelCode == 14 ? 0x01
                          : t.burstType == 32                       ? 0x04
                                                                    : 0x02;
        std::memcpy(t.data, HeldData(clSub).constData(), (t.bitCount + 7u) / 8u);
        clRecords.append(Record(t.frequency, clState.kind, t));
    }
    return clRecords;
}

uint64_t DmrTimeSeconds(uint64_t w) {
    auto bits = [w](int lFrom, int lCount) { return int64_t((w >> lFrom) & ((1u << lCount) - 1)); };
    const int64_t lSecond = std::min<int64_t>(bits(10, 6), 59);
    const int64_t lMinute = std::min<int64_t>(bits(16, 6), 59);
    const int64_t lHour = std::min<int64_t>(bits(22, 5), 23);
    const int64_t lDay = std::max<int64_t>(bits(27, 5), 1);
    const int64_t lMonth = std::clamp<int64_t>(bits(32, 4), 1, 12);
    const int64_t lYear = std::clamp<int64_t>(bits(36, 12), 1900, 2100);
    // An impossible day runs on into the next month.
    const int64_t lDays = QDate(int(lYear), int(lMonth), 1).toJulianDay() + lDay - 1 -
                          QDate(1970, 1, 1).toJulianDay();
    const int64_t lSeconds = lDays * 86400 + lHour * 3600 + lMinute * 60 + lSecond;
    return lSeconds < 0 ? 0 : uint64_t(lSeconds);
}

QList<DmrRecord> LanDmrRecords(const LanBytes::DmrFrameFields &s, bool &bBurstKind1Seen) {
    // The most data bytes an item of each kind may carry to be kept.
    static constexpr int kAccepted[40] = {0,  2,  3,  1,  3,  4,  5,  10, 33, 27, 12, 12, 12, 12,
                                          12, 12, 12, 12, 18, 12, 24, 12, 0,  0,  0,  0,  4,  0,
                                          0,  0,  0,  0,  0,  0,  0,  0,  16, 8,  0,  0};
    // Where an item of each kind lands: slot, bytes and bits kept; slot -1: dropped.
    struct Place {
        int slot, bytes, bits;
    };
    static constexpr Place kNowhere{-1, 0, 0}, kSlot5{5, 27, 96};
    static constexpr Place kPlaces[40] = {
        kNowhere,     {2, 2, 16},  {4, 3, 20},   {0, 3, 7},    {0, 3, 24}, {3, 18, 32},
        {1, 9, 36},   {3, 18, 77}, {5, 27, 216}, {5, 27, 216}, kSlot5,     kSlot5,
        kSlot5,       kSlot5,      kSlot5,       kSlot5,       kSlot5,     kSlot5,
        {5, 27, 144}, kSlot5,      {5, 27, 192}, kSlot5,       kNowhere,   kNowhere,
        kNowhere,     kNowhere,    {5, 27, 32},  kNowhere,     kNowhere,   kNowhere,
        kNowhere,     kNowhere,    kNowhere,     kNowhere,     kNowhere,   kNowhere,
        {3, 18, 128}, {1, 9, 68},  {3, 18, 32},  kNowhere};
    if (s.frameKind != 2 || s.optionFlags > 63)
        return {};
    DmrRecord clOut;
    std::memset(&clOut, 0, sizeof clOut);
    DmrTmv &d = clOut.dmr;
    d.timeSeconds = DmrTimeSeconds(s.timeWord);
    d.milliseconds = uint16_t(s.timeWord & 0x3FF);
    d.burstKind = uint8_t(std::min<int>(s.burstKindCode, 4) + 1);
    if (d.burstKind == 1)
        bBurstKind1Seen = true;
    d.timeslot = d.burstKind == 2 && bBurstKind1Seen ? 1 : 0;
    d.word1 = s.word1;
    d.byte1 = s.byte1;
    d.byte2 = s.byte2;
    d.optionalFlags = s.optionFlags & 63;
    d.byte4 = (s.optionFlags & 0x02) ? s.option8 : 0;
    d.word2 = (s.optionFlags & 0x04) ? s.optionWord2 : 0;
    d.word3 = (s.optionFlags & 0x08) ? s.optionWord3 : 0;
    d.word4 = (s.optionFlags & 0x10) ? s.optionWord4 : 0;
    d.value48 = (s.optionFlags & 0x01) ? (s.option40 & 0xFFFFFFFFFFULL) : 0;
    d.word5 = (s.optionFlags & 0x20) ? uint16_t(s.option32) : 0;
    int lKept = 0;
    for (const LanBytes::DmrItemFields &clItem : s.items) {
        const int lBytes = (clItem.bitCount + 7) / 8;
        if (lKept == 6)
            break;
        if (clItem.kind < 1 || clItem.kind > 39 || lBytes > kAccepted[clItem.kind])
            continue;
        ++lKept;
        const Place p = kPlaces[clItem.kind];
        if (p.slot < 0)
            continue;
        const DmrItemRef ref = DmrItemAt(d, p.slot);
        std::memset(ref.data, 0, ref.capacity);
        ref.item->itemKind = clItem.kind;
        ref.item->bitCount = uint16_t(std::min<int>(clItem.bitCount, p.bits));
        ref.item->highFlag = clItem.flags & 1;
        ref.item->itemFlags = uint8_t(clItem.flags >> 1);
        if (lBytes > 0)
            std::memcpy(ref.data, clItem.data.data(), size_t(std::min(p.bytes, lBytes)));
    }
    clOut.record.recordClass = 2;
    clOut.record.symbolRate = 4800;
    clOut.record.payloadKind = PAYLOAD_DMR;
    clOut.record.payloadLength = kDmrTmvLength;
    return {clOut};
}

} // namespace TmwModel
