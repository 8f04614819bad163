// Generated sample recordings: a deterministic stream of realistic TETRA, DMR,
// GSM, generic and notice records, and the writing of that stream into a
// container through our own writer. Shared by bvf-sample and the benchmarks,
// so it uses no Qt.
#pragma once

#include "RecordTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Pseudo-random numbers that are the same with every compiler and standard
// library, so that one seed gives one file everywhere.
class CSplitMix64 {
  public:
    explicit CSplitMix64(uint64_t lSeed) : m_lState(lSeed) {}
    uint64_t Next();
    // Uniform in [0, lBound); lBound 0 gives 0.
    uint32_t Below(uint32_t lBound);
    // Uniform in [lLow, lHigh].
    int32_t Between(int32_t lLow, int32_t lHigh);
    // True with probability lPercent / 100.
    bool Chance(uint32_t lPercent) { return Below(100) < lPercent; }
    void Fill(uint8_t *pData, size_t lLength);

  private:
    uint64_t m_lState;
};

// The record kinds a sample can hold, as bits of a mask.
enum SampleKind : uint32_t {
    SAMPLE_TETRA = 1u << 0,   // TETRA bursts, downlink and uplink (kind 0)
    SAMPLE_AUX = 1u << 1,     // TETRA auxiliary information (kind 3)
    SAMPLE_EXT = 1u << 2,     // extended TETRA (kind 0 with extended set)
    SAMPLE_DMR = 1u << 3,     // kind 1
    SAMPLE_GSM = 1u << 4,     // kind 4
    SAMPLE_GENERIC = 1u << 5, // kind 2
    SAMPLE_NOTICE = 1u << 6,  // kind 20
};
constexpr int kSampleKindCount = 7;
constexpr uint32_t kAllSampleKinds = (1u << kSampleKindCount) - 1;

// The option name of each kind, in bit order: "tetra", "aux", "ext", "dmr",
// "gsm", "generic", "notice".
const char *SampleKindName(int lBit);
// A comma-separated list of kind names; false on an empty list or an unknown
// name.
bool ParseSampleKinds(const std::string &clstrList, uint32_t &lMask);
std::string SampleKindList(uint32_t lMask);

// About 25 records a second keep two hours of mixed traffic near 25 MB.
constexpr uint32_t kDefaultSampleRate = 25;
constexpr int64_t kDefaultSampleMinutes = 10;
// 2024-05-06 08:00:00 UTC.
constexpr int64_t kDefaultSampleStart = 1714982400;

struct StructSampleSettings {
    int64_t lStartTime = kDefaultSampleStart; // seconds since 1970, UTC
    int64_t lMinutes = kDefaultSampleMinutes;
    uint32_t lRate = kDefaultSampleRate; // records per second
    uint32_t lKinds = kAllSampleKinds;
    uint64_t lSeed = 1;
    bool bMagicGiven = false;
    uint64_t lMagic = 0;
    // Nonzero: write until the file holds about this many bytes; lMinutes is
    // then not used.
    uint64_t lTargetBytes = 0;
    // Nonzero: stop after this many records (frames or entries in TMW
    // recordings) even when time or size would allow more.
    uint64_t lRecordLimit = 0;
    // Network-time broadcasts as the stand-in protocol component reads them
    // (StandInProto.h), telling the recorder's time plus lNetworkOffset
    // seconds: about every 10 s one TETRA downlink record on an even network
    // second and one DMR record carry one. Containers only.
    bool bNetworkTime = false;
    int64_t lNetworkOffset = 0;
};

// The range --network-offset accepts, in seconds: ten years either way.
constexpr int64_t kMaxNetworkOffset = 10LL * 366 * 86400;
constexpr int64_t kNetworkTimeInterval = 10;

// The file magic of a sample whose magic was not given.
uint64_t DefaultSampleMagic(uint64_t lSeed);
uint64_t SampleMagic(const StructSampleSettings &clSettings);

// The header a sample recording is written with.
void FillSampleHeader(const StructSampleSettings &clSettings, FileHeaderInfo &clInfo);

// The records of a sample in the order they are written. Record i is stamped
// lStartTime + i / lRate seconds (a GSM record that repeats the previous one in
// the other direction shares its time). The first records hold each selected
// kind once, so even a short sample holds every kind asked for; the rest are
// drawn by weight.
class CSampleRecordSource {
  public:
    explicit CSampleRecordSource(const StructSampleSettings &clSettings);
    CSampleRecordSource(const CSampleRecordSource &) = delete;
    CSampleRecordSource &operator=(const CSampleRecordSource &) = delete;

    // Time of the next record in microseconds since 1970.
    int64_t NextTimeMicroseconds() const;
    // Builds the next record; its payload lives in this object until the
    // next call.
    const RawRecord &Next();
    // Whether the last record carries a time stamp (notices do not), and that
    // time in microseconds since 1970 (milliseconds resolution).
    bool LastHasTime() const { return m_bLastHasTime; }
    int64_t LastTimeMicroseconds() const { return m_lLastTime; }

  private:
    struct Carrier {
        uint64_t lFrequency;
        uint8_t lChannel;
    };

    int PickKind();
    void StampTime(int64_t lTimeUs, uint64_t &lSeconds, uint16_t &lMilliseconds) const;
    void BuildTetra(int64_t lTimeUs, int lKindBit);
    void BuildDmr(int64_t lTimeUs);
    void BuildGsm(int64_t lTimeUs, bool bTwin);
    void BuildGeneric(int64_t lTimeUs);
    void BuildNotice(int64_t lTimeUs);
    void PutTetraBroadcast(TetraTmv &clTetra);
    void PutDmrBroadcast(DmrTmv &clDmr);

    StructSampleSettings m_clSettings;
    CSplitMix64 m_clRandom;
    uint64_t m_lIndex = 0;
    int m_lKindOrder[kSampleKindCount] = {};
    int m_lKindsSelected = 0;
    uint32_t m_lWeightTotal = 0;

    Carrier m_clTetraCarriers[3] = {};
    Carrier m_clDmrCarriers[2] = {};
    Carrier m_clGsmCarriers[2] = {};
    uint64_t m_lTetraSlotBase = 0; // timeslots before the sample's start
    uint8_t m_lGsmBsic = 0;
    uint8_t m_lDmrColourCode = 0;
    uint8_t m_lDmrNextTimeslot = 0;
    uint8_t m_lGsmCarrier = 0;
    bool m_bGsmTwinPending = false;
    int64_t m_lGsmTwinTime = 0;
    // The network second from which the next broadcast is due.
    int64_t m_lNextTetraBroadcast = INT64_MIN;
    int64_t m_lNextDmrBroadcast = INT64_MIN;

    RawRecord m_clRecord = {};
    TetraTmv m_clTetra = {};
    DmrTmv m_clDmr = {};
    GsmTmv m_clGsm = {};
    NoticeTmv m_clNotice = {};
    uint8_t m_lGeneric[512] = {};
    bool m_bLastHasTime = false;
    int64_t m_lLastTime = 0;
};

// TETRA air-interface timing: a timeslot lasts 85/6 ms (14.1667 ms); 4 slots
// make a frame, 18 frames a multiframe, 60 multiframes a hyperframe.
constexpr uint64_t kTetraSlotsPerHyperframe = 4 * 18 * 60;
struct StructTetraSlot {
    uint16_t lHyperframe;
    uint8_t lMultiframe; // 1 to 60
    uint8_t lFrame;      // 1 to 18
    uint8_t lTimeslot;   // 1 to 4
};
StructTetraSlot TetraSlotFromCount(uint64_t lSlotCount);
// Whole timeslots elapsed in lMicroseconds.
uint64_t TetraSlotsIn(int64_t lMicroseconds);

struct StructSampleOutcome {
    FileResult enResult = FILE_OK;
    // The step that failed: "create", "write" or "close".
    const char *pFailedStep = "";
    int lErrno = 0; // errno right after the failed step, 0 when unknown
    uint64_t lRecords = 0;
    uint64_t lFrames = 0; // TMW recordings: frames or entries written
    bool bHasTime = false;
    int64_t lFirstTime = 0; // microseconds since 1970
    int64_t lLastTime = 0;
    // Written by size, the sample reached the last time its format can hold.
    bool bTimeLimitReached = false;
};

// Writes a sample recording through CBrennovarstikFileFormatV1 with flags 2.
StructSampleOutcome WriteSampleRecording(const wchar_t *clstrPath,
                                         const StructSampleSettings &clSettings);
