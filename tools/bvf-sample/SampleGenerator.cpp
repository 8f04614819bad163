#include "SampleGenerator.h"

#include "BrennovarstikFileFormatV1.h"
#include "StandInProto.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

uint64_t CSplitMix64::Next() {
    uint64_t z = (m_lState += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

uint32_t CSplitMix64::Below(uint32_t lBound) {
    // Multiply-shift keeps the result portable; its bias is far below what a
    // sample could show.
    return uint32_t(((Next() >> 32) * uint64_t(lBound)) >> 32);
}

int32_t CSplitMix64::Between(int32_t lLow, int32_t lHigh) {
    return lLow + int32_t(Below(uint32_t(int64_t(lHigh) - lLow + 1)));
}

void CSplitMix64::Fill(uint8_t *pData, size_t lLength) {
    size_t i = 0;
    for (; i + 8 <= lLength; i += 8) {
        const uint64_t v = Next();
        for (int b = 0; b < 8; ++b)
            pData[i + b] = uint8_t(v >> (8 * b));
    }
    if (i < lLength) {
        const uint64_t v = Next();
        for (int b = 0; i < lLength; ++i, ++b)
            pData[i] = uint8_t(v >> (8 * b));
    }
}

namespace {

constexpr const char *kKindNames[kSampleKindCount] = {"tetra", "aux",     "ext",   "dmr",
                                                      "gsm",   "generic", "notice"};
// Relative share of each kind once every kind has appeared.
constexpr uint32_t kKindWeights[kSampleKindCount] = {40, 6, 8, 24, 14, 6, 2};

constexpr int64_t kMicro = 1000000;
constexpr uint64_t kFileTimeEpochSeconds = 11644473600ULL;

// Item kinds of each DMR item slot and the most data bytes a reader accepts
// for them.
struct DmrSlotKinds {
    uint8_t kinds[10];
    uint8_t count;
    uint8_t maxBytes;
};
constexpr DmrSlotKinds kDmrSlotKinds[kDmrItemSlots] = {
    {{3, 4}, 2, 3},          {{6, 37}, 2, 9}, {{1, 27, 28, 29, 30, 31, 32, 33, 34, 35}, 10, 2},
    {{5, 7, 36, 38}, 4, 18}, {{2}, 1, 3},     {{}, 0, 27}, // kinds 8 to 26
    {{39}, 1, 72},
};

// Fills the bytes that hold lBitCount bits; bits past the count stay zero, as
// a receiver leaves them.
void FillBits(CSplitMix64 &clRandom, uint8_t *pData, uint32_t lBitCount) {
    const uint32_t lBytes = (lBitCount + 7) / 8;
    clRandom.Fill(pData, lBytes);
    if (lBitCount % 8)
        pData[lBytes - 1] &= uint8_t(0xFF << (8 - lBitCount % 8));
}

void PutLe64(uint8_t *p, uint64_t v) {
    for (int b = 0; b < 8; ++b)
        p[b] = uint8_t(v >> (8 * b));
}

void FormatUtc(int64_t lSeconds, char (&clstrOut)[32]) {
    const time_t t = time_t(lSeconds);
    struct tm clTm = {};
    gmtime_r(&t, &clTm);
    if (std::strftime(clstrOut, sizeof clstrOut, "%Y-%m-%d %H:%M:%S", &clTm) == 0)
        clstrOut[0] = 0;
}

template <size_t N> void CopyText(char (&clstrField)[N], const std::string &clstrText) {
    std::snprintf(clstrField, N, "%s", clstrText.c_str());
}

} // namespace

const char *SampleKindName(int lBit) {
    return lBit >= 0 && lBit < kSampleKindCount ? kKindNames[lBit] : "";
}

bool ParseSampleKinds(const std::string &clstrList, uint32_t &lMask) {
    uint32_t lFound = 0;
    size_t lPos = 0;
    while (lPos <= clstrList.size()) {
        size_t lEnd = clstrList.find(',', lPos);
        if (lEnd == std::string::npos)
            lEnd = clstrList.size();
        const std::string clstrName = clstrList.substr(lPos, lEnd - lPos);
        int lBit = 0;
        while (lBit < kSampleKindCount && clstrName != kKindNames[lBit])
            ++lBit;
        if (lBit == kSampleKindCount)
            return false;
        lFound |= 1u << lBit;
        lPos = lEnd + 1;
    }
    lMask = lFound;
    return lFound != 0;
}

std::string SampleKindList(uint32_t lMask) {
    std::string clstrList;
    for (int lBit = 0; lBit < kSampleKindCount; ++lBit) {
        if (!(lMask & (1u << lBit)))
            continue;
        if (!clstrList.empty())
            clstrList += ',';
        clstrList += kKindNames[lBit];
    }
    return clstrList;
}

uint64_t DefaultSampleMagic(uint64_t lSeed) {
    CSplitMix64 clRandom(lSeed ^ 0x42564653414D504CULL);
    return clRandom.Next();
}

uint64_t SampleMagic(const StructSampleSettings &clSettings) {
    return clSettings.bMagicGiven ? clSettings.lMagic : DefaultSampleMagic(clSettings.lSeed);
}

void FillSampleHeader(const StructSampleSettings &clSettings, FileHeaderInfo &clInfo) {
    std::memset(&clInfo, 0, sizeof clInfo);
    clInfo.infoType = 1;
    clInfo.fileMagic = SampleMagic(clSettings);
    clInfo.startTime = clSettings.lStartTime;
    CopyText(clInfo.recordingType, "Generated sample recording");
    CopyText(clInfo.infoText1, "bvf-sample seed " + std::to_string(clSettings.lSeed));
    CopyText(clInfo.infoText2, SampleKindList(clSettings.lKinds));
    char clstrStart[32];
    FormatUtc(clSettings.lStartTime, clstrStart);
    std::string clstrExtent = clSettings.lTargetBytes
                                  ? "about " + std::to_string(clSettings.lTargetBytes) + " bytes"
                                  : std::to_string(clSettings.lMinutes) + " minutes";
    CopyText(clInfo.infoText3, std::to_string(clSettings.lRate) + " records per second from " +
                                   clstrStart + " UTC, " + clstrExtent);
}

StructTetraSlot TetraSlotFromCount(uint64_t lSlotCount) {
    const uint64_t n = lSlotCount % (kTetraSlotsPerHyperframe * 65536);
    return {uint16_t(n / kTetraSlotsPerHyperframe), uint8_t((n / 72) % 60 + 1),
            uint8_t((n / 4) % 18 + 1), uint8_t(n % 4 + 1)};
}

uint64_t TetraSlotsIn(int64_t lMicroseconds) {
    return uint64_t(lMicroseconds) * 6 / 85000;
}

CSampleRecordSource::CSampleRecordSource(const StructSampleSettings &clSettings)
    : m_clSettings(clSettings), m_clRandom(clSettings.lSeed) {
    if (!(m_clSettings.lKinds & kAllSampleKinds))
        m_clSettings.lKinds = kAllSampleKinds;
    for (int lBit = 0; lBit < kSampleKindCount; ++lBit) {
        if (m_clSettings.lKinds & (1u << lBit)) {
            m_lKindOrder[m_lKindsSelected++] = lBit;
            m_lWeightTotal += kKindWeights[lBit];
        }
    }
    if (m_clSettings.lRate == 0)
        m_clSettings.lRate = 1;
    // Carriers on the usual rasters: TETRA 390-470 MHz at 25 kHz, DMR
    // 440-470 MHz at 12.5 kHz, GSM 900 downlink ARFCN 1 to 124.
    for (uint8_t i = 0; i < 3; ++i)
        m_clTetraCarriers[i] = {390000000ULL + 25000ULL * m_clRandom.Below(3200), i};
    for (uint8_t i = 0; i < 2; ++i)
        m_clDmrCarriers[i] = {440000000ULL + 12500ULL * m_clRandom.Below(2400), uint8_t(3 + i)};
    for (uint8_t i = 0; i < 2; ++i)
        m_clGsmCarriers[i] = {935000000ULL + 200000ULL * (1 + m_clRandom.Below(124)),
                              uint8_t(5 + i)};
    m_lTetraSlotBase = uint64_t(m_clRandom.Below(65536)) * kTetraSlotsPerHyperframe +
                       m_clRandom.Below(uint32_t(kTetraSlotsPerHyperframe));
    m_lGsmBsic = uint8_t(m_clRandom.Below(64));
    m_lDmrColourCode = uint8_t(m_clRandom.Below(16));
}

int64_t CSampleRecordSource::NextTimeMicroseconds() const {
    if (m_bGsmTwinPending)
        return m_lGsmTwinTime;
    return m_clSettings.lStartTime * kMicro +
           int64_t(m_lIndex * uint64_t(kMicro) / m_clSettings.lRate);
}

int CSampleRecordSource::PickKind() {
    if (m_lIndex < uint64_t(m_lKindsSelected))
        return m_lKindOrder[m_lIndex];
    uint32_t lDraw = m_clRandom.Below(m_lWeightTotal);
    for (int i = 0; i < m_lKindsSelected; ++i) {
        const uint32_t lWeight = kKindWeights[m_lKindOrder[i]];
        if (lDraw < lWeight)
            return m_lKindOrder[i];
        lDraw -= lWeight;
    }
    return m_lKindOrder[m_lKindsSelected - 1];
}

void CSampleRecordSource::StampTime(int64_t lTimeUs, uint64_t &lSeconds,
                                    uint16_t &lMilliseconds) const {
    lSeconds = uint64_t(lTimeUs / kMicro);
    lMilliseconds = uint16_t((lTimeUs % kMicro) / 1000);
}

const RawRecord &CSampleRecordSource::Next() {
    const int64_t lTime = NextTimeMicroseconds();
    std::memset(&m_clRecord, 0, sizeof m_clRecord);
    m_clRecord.recordClass = 2;
    m_bLastHasTime = true;
    m_lLastTime = lTime / 1000 * 1000;
    if (m_bGsmTwinPending) {
        // The twin takes the place of no drawn record: the time grid goes on.
        m_bGsmTwinPending = false;
        BuildGsm(lTime, true);
        return m_clRecord;
    }
    const int lBit = PickKind();
    ++m_lIndex;
    switch (1u << lBit) {
    case SAMPLE_TETRA:
    case SAMPLE_AUX:
    case SAMPLE_EXT:
        BuildTetra(lTime, int(1u << lBit));
        break;
    case SAMPLE_DMR:
        BuildDmr(lTime);
        break;
    case SAMPLE_GSM:
        BuildGsm(lTime, false);
        break;
    case SAMPLE_GENERIC:
        BuildGeneric(lTime);
        break;
    default:
        BuildNotice(lTime);
        break;
    }
    return m_clRecord;
}

void CSampleRecordSource::BuildTetra(int64_t lTimeUs, int lKindBit) {
    static constexpr int8_t kDownlinkBursts[] = {1, 2, 3, 4, 5, 9, 10, 11};
    static constexpr int8_t kUplinkBursts[] = {18, 19, 20, 21, 22, 23, 32, 33, 34, 35, 36, 37, 38};
    static constexpr uint16_t kDownlinkBits[] = {216, 432, 432, 510};
    static constexpr uint16_t kUplinkBits[] = {216, 432};

    TetraTmv &t = m_clTetra;
    std::memset(&t, 0, sizeof t);
    const Carrier &clCarrier = m_clTetraCarriers[m_clRandom.Below(3)];
    const bool bAux = lKindBit == SAMPLE_AUX;
    const bool bUplink = !bAux && m_clRandom.Chance(35);

    StampTime(lTimeUs, t.timeSeconds, t.milliseconds);
    // The uplink runs two timeslots behind the downlink.
    const uint64_t lWrap = kTetraSlotsPerHyperframe * 65536;
    const uint64_t lSlots =
        (m_lTetraSlotBase + TetraSlotsIn(lTimeUs - m_clSettings.lStartTime * kMicro) + lWrap -
         (bUplink ? 2 : 0)) %
        lWrap;
    const StructTetraSlot clSlot = TetraSlotFromCount(lSlots);
    t.hyperframe = clSlot.lHyperframe;
    t.multiframe = clSlot.lMultiframe;
    t.frame = clSlot.lFrame;
    t.timeslot = clSlot.lTimeslot;

    // Received level (dBm), frequency error (Hz) and quality (dB); the
    // carrier frequency is always known.
    t.valueFlags = 0x10;
    if (m_clRandom.Chance(90)) {
        t.valueFlags |= 0x80;
        t.value1 = m_clRandom.Between(-125, -45);
    }
    if (m_clRandom.Chance(70)) {
        t.valueFlags |= 0x40;
        t.value2 = m_clRandom.Between(-600, 600);
    }
    if (m_clRandom.Chance(50)) {
        t.valueFlags |= 0x20;
        t.value3 = m_clRandom.Between(0, 40);
    }
    t.frequency = clCarrier.lFrequency;
    t.direction = bUplink ? 1 : 0;
    t.channelCode = uint8_t(m_clRandom.Below(16));
    t.burstInfo[0] = uint8_t(m_clRandom.Below(64));
    t.burstInfo[1] = clCarrier.lChannel;
    t.burstInfo[2] = uint8_t(m_clRandom.Below(256));
    t.flags2 = 0x80;

    if (bAux) {
        // Information other than a burst: whole bytes, no burst type.
        t.burstType = -1;
        t.dataFlags = 0x02;
        t.bitCount = uint16_t(8 * m_clRandom.Between(1, 40));
    } else {
        t.dataFlags = 0x01;
        if (bUplink) {
            t.burstType = kUplinkBursts[m_clRandom.Below(sizeof kUplinkBursts)];
            t.bitCount = kUplinkBits[m_clRandom.Below(2)];
        } else {
            t.burstType = kDownlinkBursts[m_clRandom.Below(sizeof kDownlinkBursts)];
            t.bitCount = kDownlinkBits[m_clRandom.Below(4)];
        }
        if (m_clRandom.Chance(10)) {
            t.flags2 |= 0x04;
            t.extraValue = uint16_t(m_clRandom.Below(65536));
        }
    }
    FillBits(m_clRandom, t.data, t.bitCount);
    if (!bAux && !bUplink)
        PutTetraBroadcast(t);

    if (lKindBit == SAMPLE_EXT) {
        t.extended = 1;
        t.ext1 = uint8_t(m_clRandom.Below(256));
        t.ext2 = uint16_t(m_clRandom.Below(65536));
        t.ext3 = uint32_t(m_clRandom.Next());
        t.ext4 = uint32_t(m_clRandom.Next());
        for (uint16_t &lValue : t.ext5)
            lValue = uint16_t(m_clRandom.Below(65536));
    }

    m_clRecord.sourceByte = clCarrier.lChannel;
    m_clRecord.frequency = clCarrier.lFrequency;
    m_clRecord.symbolRate = 18000;
    m_clRecord.payloadKind = bAux ? PAYLOAD_TETRA_AUX : PAYLOAD_TETRA;
    m_clRecord.payloadLength = kTetraTmvLength;
    m_clRecord.payload = &t;
}

void CSampleRecordSource::BuildDmr(int64_t lTimeUs) {
    DmrTmv &d = m_clDmr;
    std::memset(&d, 0, sizeof d);
    const Carrier &clCarrier = m_clDmrCarriers[m_clRandom.Below(2)];
    d.timeslot = m_lDmrNextTimeslot;
    m_lDmrNextTimeslot ^= 1;
    d.burstKind = m_clRandom.Chance(25) ? 1 : uint8_t(m_clRandom.Between(2, 3));
    StampTime(lTimeUs, d.timeSeconds, d.milliseconds);
    d.word1 = m_lDmrColourCode;
    d.byte1 = uint8_t(m_clRandom.Below(256));
    d.byte2 = uint8_t(m_clRandom.Below(256));
    d.optionalFlags = uint8_t(0x01 | (m_clRandom.Below(32) << 1));
    d.value48 = clCarrier.lFrequency;
    if (d.optionalFlags & 0x02)
        d.byte4 = uint8_t(m_clRandom.Below(256));
    if (d.optionalFlags & 0x04)
        d.word2 = uint16_t(m_clRandom.Below(65536));
    if (d.optionalFlags & 0x08)
        d.word3 = uint16_t(m_clRandom.Below(65536));
    if (d.optionalFlags & 0x10)
        d.word4 = uint16_t(m_clRandom.Below(65536));
    if (d.optionalFlags & 0x20)
        d.word5 = uint16_t(m_clRandom.Below(65536));

    // Slots 0 and 1 are stored only with burst kind 1, so only then filled.
    const int lFirstSlot = d.burstKind == 1 ? 0 : 2;
    bool bAny = false;
    for (int lSlot = lFirstSlot; lSlot < kDmrItemSlots; ++lSlot) {
        const bool bLast = lSlot == kDmrItemSlots - 1;
        if (!m_clRandom.Chance(55) && !(bLast && !bAny))
            continue;
        bAny = true;
        const DmrSlotKinds &clKinds = kDmrSlotKinds[lSlot];
        const uint32_t lKind = clKinds.count ? clKinds.kinds[m_clRandom.Below(clKinds.count)]
                                             : uint32_t(m_clRandom.Between(8, 26));
        DmrItemRef clItem = DmrItemAt(d, lSlot);
        clItem.item->itemKind = lKind;
        if (lKind == 39) {
            // Stored with its byte count, so it always holds whole bytes.
            clItem.item->bitCount = uint16_t(8 * m_clRandom.Between(9, clKinds.maxBytes));
        } else {
            clItem.item->bitCount = uint16_t(m_clRandom.Between(1, 8 * clKinds.maxBytes));
        }
        clItem.item->highFlag = uint8_t(m_clRandom.Below(2));
        clItem.item->itemFlags = uint8_t(m_clRandom.Below(64));
        FillBits(m_clRandom, clItem.data, clItem.item->bitCount);
    }
    PutDmrBroadcast(d);

    m_clRecord.sourceByte = clCarrier.lChannel;
    m_clRecord.frequency = clCarrier.lFrequency;
    m_clRecord.symbolRate = 4800;
    m_clRecord.payloadKind = PAYLOAD_DMR;
    m_clRecord.payloadLength = kDmrTmvLength;
    m_clRecord.payload = &d;
}

void CSampleRecordSource::BuildGsm(int64_t lTimeUs, bool bTwin) {
    static constexpr uint16_t kBurstBits[] = {114, 148, 184, 456};
    GsmTmv &g = m_clGsm;
    // A twin repeats its partner's carrier and timeslot in the other direction.
    const uint8_t lSlot = g.byte1;
    std::memset(&g, 0, sizeof g);
    if (!bTwin)
        m_lGsmCarrier = uint8_t(m_clRandom.Below(2));
    const Carrier &clCarrier = m_clGsmCarriers[m_lGsmCarrier];
    uint64_t lSeconds = 0;
    uint16_t lMilliseconds = 0;
    StampTime(lTimeUs, lSeconds, lMilliseconds);
    g.fileTime = (lSeconds + kFileTimeEpochSeconds) * 10000000ULL + lMilliseconds * 10000ULL;
    // TDMA frame number: one frame lasts 60/13 ms; numbers wrap at 2,715,648.
    g.value1 = uint32_t(uint64_t(lTimeUs) * 13 / 60000 % 2715648);
    g.byte1 = bTwin ? lSlot : uint8_t(m_clRandom.Below(8));
    g.word1 = uint16_t((clCarrier.lFrequency - 935000000ULL) / 200000ULL);
    g.word2 = m_lGsmBsic;
    g.word3 = uint16_t(m_clRandom.Below(65536));
    g.byte2 = uint8_t(m_clRandom.Below(16));
    g.direction = bTwin ? 1 : 0;
    g.byte3 = uint8_t(m_clRandom.Below(256));
    g.bitCount = m_clRandom.Chance(2) ? uint16_t(m_clRandom.Between(1000, 8 * kGsmDataCopyLimit))
                                      : kBurstBits[m_clRandom.Below(4)];
    g.byte4 = uint8_t(m_clRandom.Below(256));
    g.byte5 = uint8_t(m_clRandom.Below(256));
    g.byte6 = uint8_t(m_clRandom.Below(256));
    g.byte7 = uint8_t(m_clRandom.Below(256));
    g.word4 = uint16_t(m_clRandom.Below(65536));
    g.value3 = uint32_t(m_clRandom.Next());
    g.value4 = uint32_t(m_clRandom.Next());
    for (uint16_t &lWord : g.words)
        lWord = uint16_t(m_clRandom.Below(65536));
    FillBits(m_clRandom, g.data, g.bitCount);

    if (!bTwin && m_clRandom.Chance(12)) {
        m_bGsmTwinPending = true;
        m_lGsmTwinTime = lTimeUs;
    }

    m_clRecord.sourceByte = clCarrier.lChannel;
    m_clRecord.frequency = clCarrier.lFrequency;
    m_clRecord.symbolRate = 270833;
    m_clRecord.payloadKind = PAYLOAD_GSM;
    m_clRecord.payloadLength = kGsmTmvLength;
    m_clRecord.payload = &g;
}

void CSampleRecordSource::BuildGeneric(int64_t lTimeUs) {
    const uint32_t lLength = uint32_t(m_clRandom.Between(72, 256));
    const Carrier &clCarrier = m_clTetraCarriers[m_clRandom.Below(3)];
    m_clRandom.Fill(m_lGeneric, lLength);
    // Workers take the time from bytes 16 to 23 and the carrier from 64 to 71.
    PutLe64(m_lGeneric, m_lIndex);
    PutLe64(m_lGeneric + 16, uint64_t(lTimeUs / kMicro));
    m_lGeneric[24] = uint8_t((lTimeUs % kMicro) / 1000);
    m_lGeneric[25] = uint8_t((lTimeUs % kMicro) / 1000 >> 8);
    PutLe64(m_lGeneric + 64, clCarrier.lFrequency);

    m_clRecord.sourceByte = clCarrier.lChannel;
    m_clRecord.frequency = clCarrier.lFrequency;
    m_clRecord.symbolRate = 18000;
    m_clRecord.payloadKind = PAYLOAD_GENERIC;
    m_clRecord.payloadLength = lLength;
    m_clRecord.payload = m_lGeneric;
}

void CSampleRecordSource::BuildNotice(int64_t lTimeUs) {
    static constexpr const char *kEvents[] = {"carrier locked",       "carrier lost",
                                              "gain adjusted",        "input level high",
                                              "clock resynchronised", "buffer overrun"};
    NoticeTmv &n = m_clNotice;
    std::memset(&n, 0, sizeof n);
    const uint32_t lEvent = m_clRandom.Below(6);
    const Carrier &clCarrier = m_clTetraCarriers[m_clRandom.Below(3)];
    n.code = 3001 + lEvent;
    n.value = uint32_t(m_clRandom.Below(100));
    char clstrTime[32];
    FormatUtc(lTimeUs / kMicro, clstrTime);
    // Whole-number formatting keeps the text the same with every C library.
    std::snprintf(
        reinterpret_cast<char *>(n.text), sizeof n.text, "%s UTC receiver %u %u.%04u MHz: %s (%u)",
        clstrTime, unsigned(clCarrier.lChannel), unsigned(clCarrier.lFrequency / 1000000),
        unsigned(clCarrier.lFrequency % 1000000 / 100), kEvents[lEvent], unsigned(n.value));

    m_clRecord.payloadKind = PAYLOAD_NOTICE;
    m_clRecord.payloadLength = kNoticeTmvLength;
    m_clRecord.payload = &n;
    m_bLastHasTime = false;
}

// The broadcasts replace data bytes only and draw no random numbers, so the
// records keep their times and everything else a sample without them has.
void CSampleRecordSource::PutTetraBroadcast(TetraTmv &clTetra) {
    if (!m_clSettings.bNetworkTime)
        return;
    const int64_t lNetwork = int64_t(clTetra.timeSeconds) + m_clSettings.lNetworkOffset;
    uint8_t lYear2000 = 0;
    uint32_t lSteps = 0;
    // TETRA tells its time in 2-second steps: only an even network second
    // states the offset exactly.
    if (lNetwork < m_lNextTetraBroadcast || !StandInTetraNetworkTime(lNetwork, lYear2000, lSteps))
        return;
    std::memset(clTetra.data, 0, (clTetra.bitCount + 7u) / 8u);
    StandInPutTetraBlock(clTetra, 0, kStandInNetworkTime, 3, lYear2000, lSteps);
    m_lNextTetraBroadcast = lNetwork + kNetworkTimeInterval;
}

void CSampleRecordSource::PutDmrBroadcast(DmrTmv &clDmr) {
    if (!m_clSettings.bNetworkTime)
        return;
    const int64_t lNetwork = int64_t(clDmr.timeSeconds) + m_clSettings.lNetworkOffset;
    const time_t t = time_t(lNetwork);
    struct tm clTm = {};
    if (lNetwork < m_lNextDmrBroadcast || gmtime_r(&t, &clTm) == nullptr)
        return;
    DmrItemRef clItem = DmrItemAt(clDmr, kStandInDmrSlot);
    std::memset(clItem.data, 0, clItem.capacity);
    clItem.item->bitCount = 0;
    StandInPutDmrBlock(clDmr, 0, kStandInNetworkTime,
                       StandInDmrDateWord(clTm.tm_mday, clTm.tm_mon + 1),
                       StandInDmrTimeWord(clTm.tm_hour, clTm.tm_min, clTm.tm_sec));
    m_lNextDmrBroadcast = lNetwork + kNetworkTimeInterval;
}

StructSampleOutcome WriteSampleRecording(const wchar_t *clstrPath,
                                         const StructSampleSettings &clSettings) {
    StructSampleOutcome clOutcome;
    FileHeaderInfo clInfo;
    FillSampleHeader(clSettings, clInfo);
    CBrennovarstikFileFormatV1 clWriter;
    // Flags 2: buffered, records kept in the order they come.
    errno = 0;
    FileResult enResult = clWriter.OpenFileForWriting(clstrPath, clInfo, 2);
    if (enResult != FILE_OK) {
        clOutcome.lErrno = errno;
        clOutcome.enResult = enResult;
        clOutcome.pFailedStep = "create";
        return clOutcome;
    }

    CSampleRecordSource clSource(clSettings);
    const int64_t lEnd = (clSettings.lStartTime + clSettings.lMinutes * 60) * kMicro;
    for (;;) {
        if (clSettings.lTargetBytes ? clWriter.GetWrittenBytes() >= clSettings.lTargetBytes
                                    : clSource.NextTimeMicroseconds() >= lEnd)
            break;
        if (clSettings.lRecordLimit != 0 && clOutcome.lRecords >= clSettings.lRecordLimit)
            break;
        const RawRecord &clRecord = clSource.Next();
        // 8: the file took only part of the buffer; the record was not taken.
        int lTries = 0;
        do {
            errno = 0;
            enResult = clWriter.WriteData(clRecord);
        } while (enResult == FILE_NO_DATA_YET && ++lTries < 100);
        if (enResult != FILE_OK) {
            clOutcome.lErrno = errno;
            clOutcome.enResult = enResult;
            clOutcome.pFailedStep = "write";
            clWriter.CloseFileForWriting();
            return clOutcome;
        }
        ++clOutcome.lRecords;
        if (clSource.LastHasTime()) {
            if (!clOutcome.bHasTime)
                clOutcome.lFirstTime = clSource.LastTimeMicroseconds();
            clOutcome.bHasTime = true;
            clOutcome.lLastTime = clSource.LastTimeMicroseconds();
        }
    }
    errno = 0;
    enResult = clWriter.CloseFileForWriting();
    if (enResult != FILE_OK) {
        clOutcome.lErrno = errno;
        clOutcome.enResult = enResult;
        clOutcome.pFailedStep = "close";
    }
    return clOutcome;
}
