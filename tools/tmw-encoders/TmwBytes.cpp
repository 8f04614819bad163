#include "TmwBytes.h"

namespace TmwBytes {

namespace {

void PutBe16(std::vector<uint8_t> &clBytes, uint16_t lValue) {
    clBytes.push_back(uint8_t(lValue >> 8));
    clBytes.push_back(uint8_t(lValue & 0xFF));
}

void PutBe32(std::vector<uint8_t> &clBytes, uint32_t lValue) {
    PutBe16(clBytes, uint16_t(lValue >> 16));
    PutBe16(clBytes, uint16_t(lValue & 0xFFFF));
}

using TmwEncoders::CSequenceRandom;

struct Weighted {
    uint8_t value;
    uint32_t weight;
};

template <size_t N> uint8_t Pick(CSequenceRandom &clRandom, const Weighted (&aChoices)[N]) {
    uint32_t lTotal = 0;
    for (const Weighted &clChoice : aChoices)
        lTotal += clChoice.weight;
    uint32_t lRoll = clRandom.Below(lTotal);
    for (const Weighted &clChoice : aChoices) {
        if (lRoll < clChoice.weight)
            return clChoice.value;
        lRoll -= clChoice.weight;
    }
    return aChoices[0].value;
}

// Burst code 0 is a timeslot without a burst.
constexpr Weighted kBurstCodes[] = {{1, 70}, {2, 15}, {17, 4}, {18, 2}, {33, 2}, {34, 2}, {0, 5}};
// Entry types as they occur on a downlink carrier, a few unknown ones among them.
constexpr Weighted kDownlinkTypes[] = {{1, 10}, {3, 8},  {5, 6},  {6, 6},  {8, 3},  {9, 3},
                                       {10, 3}, {13, 6}, {14, 4}, {15, 4}, {16, 4}, {17, 4},
                                       {34, 4}, {37, 3}, {40, 3}, {41, 2}, {42, 2}, {45, 2},
                                       {46, 2}, {47, 2}, {48, 2}, {0, 1},  {20, 1}};
constexpr Weighted kUplinkTypes[] = {{5, 6},  {6, 5},  {7, 2},  {13, 4},
                                     {14, 3}, {15, 2}, {16, 2}, {17, 4}};

} // namespace

void AppendFrame(std::vector<uint8_t> &clBytes, const FrameFields &clFields) {
    PutBe16(clBytes, clFields.carrier);
    clBytes.push_back(clFields.band);
    clBytes.push_back(clFields.burstCode);
    PutBe32(clBytes, clFields.timeValue);
    clBytes.push_back(clFields.frameFlags);
    clBytes.push_back(clFields.timeslot);
    clBytes.push_back(clFields.frame);
    clBytes.push_back(clFields.multiframe);
    PutBe16(clBytes, clFields.hyperframe);
    for (int16_t lMeasurement : clFields.measurements)
        PutBe16(clBytes, uint16_t(lMeasurement));
    PutBe16(clBytes, clFields.prefixWord);
    clBytes.push_back(clFields.entryType);
    clBytes.push_back(clFields.dataFlags);
    clBytes.insert(clBytes.end(), clFields.data, clFields.data + kDataSize);
}

std::vector<uint8_t> Frame(const FrameFields &clFields) {
    std::vector<uint8_t> clBytes;
    clBytes.reserve(kFrameSize);
    AppendFrame(clBytes, clFields);
    return clBytes;
}

void SetSecondsWithMilliseconds(FrameFields &clFields, uint32_t lSecondsSince2000,
                                uint16_t lMilliseconds) {
    clFields.timeValue = lSecondsSince2000;
    const unsigned lPart = lMilliseconds & 0x3FF;
    clFields.frameFlags =
        uint8_t((clFields.frameFlags & 0x07) | kSecondsWithMilliseconds | ((lPart >> 5) << 3));
    clFields.dataFlags = uint8_t((clFields.dataFlags & 0x07) | ((lPart & 0x1F) << 3));
}

void CFrameContent::Draw(FrameFields &clFields) {
    CSequenceRandom &clRandom = m_clRandom;
    clFields.burstCode = Pick(clRandom, kBurstCodes);
    const bool bUplink = clFields.burstCode == 2 || clFields.burstCode == 18;
    clFields.entryType = bUplink ? Pick(clRandom, kUplinkTypes) : Pick(clRandom, kDownlinkTypes);

    // Received level, its second reading, frequency error and a timing
    // value, in the units a receiver stores them.
    clFields.measurements[0] = clRandom.Between(-1150, -450);
    clFields.measurements[1] = int16_t(clFields.measurements[0] + clRandom.Between(-30, 30));
    clFields.measurements[2] = clRandom.Between(-40, 40);
    clFields.measurements[3] = clRandom.Between(-40, 40);
    clFields.measurements[4] = clRandom.Between(-20, 20);
    clFields.measurements[5] = clRandom.Between(-20, 20);
    clFields.prefixWord = uint16_t(clRandom.Next());

    const uint32_t lBlocks = clRandom.Below(20);
    clFields.dataFlags = lBlocks == 0  ? 0
                         : lBlocks < 3 ? kBlock1Valid
                                       : kBlock1Valid | kBlock2Valid;
    if (clRandom.Below(10) != 0)
        clFields.dataFlags |= kPrefixValid;
    for (uint8_t &lByte : clFields.data)
        lByte = uint8_t(clRandom.Next());
}

std::vector<SequenceFrame> RealisticSequence(const SequenceSettings &clSettings) {
    CFrameContent clContent(clSettings.seed);
    std::vector<SequenceFrame> clFrames;
    clFrames.reserve(clSettings.frameCount);

    uint16_t lHyperframe = clSettings.hyperframe;
    uint8_t lMultiframe = clSettings.multiframe;
    uint8_t lFrame = clSettings.frame;
    uint8_t lTimeslot = clSettings.timeslot;
    for (size_t i = 0; i < clSettings.frameCount; ++i) {
        SequenceFrame clFrame;
        FrameFields &clFields = clFrame.fields;
        clFields.carrier = clSettings.carrier;
        clFields.band = clSettings.band;
        clContent.Draw(clFields);
        clFields.timeslot = lTimeslot;
        clFields.frame = lFrame;
        clFields.multiframe = lMultiframe;
        clFields.hyperframe = lHyperframe;
        clFields.frameFlags = kHyperframeValid;

        if (clSettings.absoluteTime) {
            // One timeslot lasts 85/6 ms.
            const uint64_t lElapsed = clSettings.startMilliseconds + uint64_t(i) * 85 / 6;
            const uint32_t lSeconds = uint32_t(clSettings.startSecondsSince2000 + lElapsed / 1000);
            clFrame.unixSeconds = kEpoch2000 + lSeconds;
            clFrame.milliseconds = uint16_t(lElapsed % 1000);
            SetSecondsWithMilliseconds(clFields, lSeconds, clFrame.milliseconds);
        } else {
            clFields.timeValue = 0xFFFFFFFF;
        }
        clFrames.push_back(clFrame);

        if (++lTimeslot > 4) {
            lTimeslot = 1;
            if (++lFrame > 18) {
                lFrame = 1;
                if (++lMultiframe > 60) {
                    lMultiframe = 1;
                    ++lHyperframe; // wraps from 65535 to 0 as on air
                }
            }
        }
    }
    return clFrames;
}

std::vector<uint8_t> FileBytes(const std::vector<SequenceFrame> &clFrames) {
    std::vector<uint8_t> clBytes;
    clBytes.reserve(clFrames.size() * kFrameSize);
    for (const SequenceFrame &clFrame : clFrames)
        AppendFrame(clBytes, clFrame.fields);
    return clBytes;
}

} // namespace TmwBytes
