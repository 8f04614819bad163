#include "TmwSample.h"

#include "BinaryFile.h"
#include "FormatChoice.h"
#include "LanBytes.h"
#include "TmwBytes.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <vector>

namespace {

constexpr int64_t kMilli = 1000;
// Frames and entries are handed to the file in blocks of about this size.
constexpr size_t kWriteBlock = 1 << 20;

// ".tmw" frames and TETRA ".lan" frame entries count unsigned 32-bit seconds
// from 2000; 0xFFFFFFFF means "no time".
constexpr int64_t kFirstTetraSecond = int64_t(TmwBytes::kEpoch2000);
constexpr int64_t kLastTetraSecond = kFirstTetraSecond + 0xFFFFFFFE;
// DMR time words carry years up to 2100: the last second of 2100.
constexpr int64_t kLastDmrSecond = 4133980799;

struct TimeRange {
    int64_t first; // seconds since 1970
    int64_t last;
};

TimeRange RangeOf(SampleFormat enFormat) {
    switch (enFormat) {
    case SampleFormat::Tmw:
    case SampleFormat::LanTetra:
        return {kFirstTetraSecond, kLastTetraSecond};
    case SampleFormat::LanDmr:
        return {0, kLastDmrSecond};
    case SampleFormat::Container:
        break;
    }
    return {0, INT64_MAX / (kMilli * kMilli)};
}

const char *FormatName(SampleFormat enFormat) {
    switch (enFormat) {
    case SampleFormat::Tmw:
        return "a .tmw file";
    case SampleFormat::LanTetra:
        return "a TETRA .lan file";
    case SampleFormat::LanDmr:
        return "a DMR .lan file";
    case SampleFormat::Container:
        break;
    }
    return "a container";
}

std::string UtcText(int64_t lSeconds) {
    const time_t t = time_t(lSeconds);
    struct tm clTm = {};
    char clstrText[32] = {};
    if (gmtime_r(&t, &clTm) == nullptr ||
        std::strftime(clstrText, sizeof clstrText, "%Y-%m-%d %H:%M:%S", &clTm) == 0)
        return std::to_string(lSeconds);
    return clstrText;
}

// Records a TMW reader makes of a TETRA frame: none for a burst code it does
// not convert, two for entry type 17 on an uplink burst (its block-2 burst
// follows), else one.
uint32_t TetraFrameRecords(uint8_t lBurstCode, uint8_t lEntryType) {
    switch (lBurstCode) {
    case 2:
    case 18:
        return lEntryType == 17 ? 2 : 1;
    case 1:
    case 17:
    case 33:
    case 34:
    case 49:
    case 50:
        return 1;
    default:
        return 0;
    }
}

// An extended entry makes one record per sub-entry, of the first three the
// readers ask for, on links 0 and 1. The sequences only use channel types
// that convert one by one, never a combined set.
uint32_t ExtendedEntryRecords(const LanBytes::ExtendedEntryFields &clFields) {
    if (clFields.link > 1)
        return 0;
    return uint32_t(std::min<size_t>(clFields.subEntries.size(), 3));
}

// The frames of one sample in file order, each appended as bytes.
class CTmwSampleSource {
  public:
    CTmwSampleSource(const StructSampleSettings &clSettings, SampleFormat enFormat)
        : m_enFormat(enFormat), m_lStartMs(clSettings.lStartTime * kMilli),
          m_lRate(clSettings.lRate ? clSettings.lRate : 1), m_clTmwContent(clSettings.lSeed),
          m_clTetraEntries(clSettings.lSeed), m_clDmrFrames(clSettings.lSeed) {
        // The carrier and the TETRA counters at the start come from a stream
        // of their own: the content stays the sequence that the reader tests
        // draw from the same seed.
        CSplitMix64 clRandom(clSettings.lSeed ^ 0x544D5753414D504CULL);
        m_lCarrier = uint16_t(200 + clRandom.Below(2600)); // 405 to 470 MHz in band 4
        m_lSlotBase = uint64_t(clRandom.Below(65536)) * kTetraSlotsPerHyperframe +
                      clRandom.Below(uint32_t(kTetraSlotsPerHyperframe));
    }

    // Milliseconds since 1970 of the next frame.
    int64_t NextTime() const { return m_lStartMs + int64_t(m_lIndex * uint64_t(kMilli) / m_lRate); }

    // Appends the next frame; the records a reader makes of it.
    uint32_t AppendNext(std::vector<uint8_t> &clOut) {
        const int64_t lTime = NextTime();
        ++m_lIndex;
        const uint64_t lSeconds = uint64_t(lTime / kMilli);
        const uint16_t lMilliseconds = uint16_t(lTime % kMilli);
        const uint64_t lSlot =
            (m_lSlotBase + TetraSlotsIn((lTime - m_lStartMs) * kMilli)) % kSlotsInWrap;
        switch (m_enFormat) {
        case SampleFormat::Tmw: {
            TmwBytes::FrameFields clFields;
            clFields.carrier = m_lCarrier;
            clFields.band = 4;
            m_clTmwContent.Draw(clFields);
            const StructTetraSlot clCounters = TetraSlotFromCount(lSlot);
            clFields.timeslot = clCounters.lTimeslot;
            clFields.frame = clCounters.lFrame;
            clFields.multiframe = clCounters.lMultiframe;
            clFields.hyperframe = clCounters.lHyperframe;
            clFields.frameFlags = TmwBytes::kHyperframeValid;
            TmwBytes::SetSecondsWithMilliseconds(
                clFields, uint32_t(lSeconds - TmwBytes::kEpoch2000), lMilliseconds);
            TmwBytes::AppendFrame(clOut, clFields);
            return TetraFrameRecords(clFields.burstCode, clFields.entryType);
        }
        case SampleFormat::LanTetra: {
            const LanBytes::TetraSequenceEntry clEntry =
                m_clTetraEntries.Next(lSeconds, lMilliseconds, uint32_t(lSlot));
            LanBytes::AppendTetraEntry(clOut, clEntry);
            switch (clEntry.shape) {
            case LanBytes::EntryShape::Frame:
                return TetraFrameRecords(clEntry.frame.burstCode, clEntry.frame.entryType);
            case LanBytes::EntryShape::Extended:
                return ExtendedEntryRecords(clEntry.extended);
            case LanBytes::EntryShape::Other:
                return 0;
            }
            return 0;
        }
        case SampleFormat::LanDmr: {
            const LanBytes::DmrSequenceFrame clFrame = m_clDmrFrames.Next(uint64_t(lTime));
            LanBytes::AppendDmrFrame(clOut, clFrame.fields);
            // Only frames of kind 2 are converted.
            return clFrame.fields.frameKind == 2 ? 1 : 0;
        }
        case SampleFormat::Container:
            break;
        }
        return 0;
    }

  private:
    static constexpr uint64_t kSlotsInWrap = kTetraSlotsPerHyperframe * 65536;

    SampleFormat m_enFormat;
    int64_t m_lStartMs;
    uint32_t m_lRate;
    uint64_t m_lIndex = 0;
    uint16_t m_lCarrier = 1000;
    uint64_t m_lSlotBase = 0;
    TmwBytes::CFrameContent m_clTmwContent;
    LanBytes::CTetraEntrySource m_clTetraEntries;
    LanBytes::CDmrFrameSource m_clDmrFrames;
};

StructSampleOutcome Failed(StructSampleOutcome clOutcome, FileResult enResult, const char *pStep,
                           int lErrno) {
    clOutcome.enResult = enResult;
    clOutcome.pFailedStep = pStep;
    clOutcome.lErrno = lErrno;
    return clOutcome;
}

} // namespace

uint32_t DefaultSampleKinds(const wchar_t *clstrPath) {
    return ChooseFileFormat(clstrPath) == FileFormatKind::Container ? kAllSampleKinds
                                                                    : uint32_t(SAMPLE_TETRA);
}

bool ChooseSampleFormat(const wchar_t *clstrPath, uint32_t lKinds, SampleFormat &enFormat,
                        std::string &clstrProblem) {
    switch (ChooseFileFormat(clstrPath)) {
    case FileFormatKind::Container:
        enFormat = SampleFormat::Container;
        return true;
    case FileFormatKind::ProprietaryTmw:
        if (lKinds == SAMPLE_TETRA) {
            enFormat = SampleFormat::Tmw;
            return true;
        }
        clstrProblem = "a .tmw file holds TETRA frames only: --kinds must be tetra, not " +
                       SampleKindList(lKinds);
        return false;
    case FileFormatKind::Tmw:
        if (lKinds == SAMPLE_TETRA || lKinds == SAMPLE_DMR) {
            enFormat = lKinds == SAMPLE_TETRA ? SampleFormat::LanTetra : SampleFormat::LanDmr;
            return true;
        }
        clstrProblem = "a .lan file holds either TETRA entries or DMR frames: --kinds must be "
                       "tetra or dmr, not " +
                       SampleKindList(lKinds);
        return false;
    }
    return false;
}

bool CheckSampleSettings(SampleFormat enFormat, const StructSampleSettings &clSettings,
                         std::string &clstrProblem) {
    if (enFormat == SampleFormat::Container)
        return true;
    const std::string clstrFormat = FormatName(enFormat);
    if (clSettings.bMagicGiven) {
        clstrProblem = "--magic applies to containers only: " + clstrFormat + " has no header";
        return false;
    }
    // The broadcasts live in payload bytes that a TMW frame does not carry.
    if (clSettings.bNetworkTime) {
        clstrProblem = "--network-offset applies to containers only";
        return false;
    }
    const TimeRange clRange = RangeOf(enFormat);
    if (clSettings.lStartTime < clRange.first || clSettings.lStartTime > clRange.last) {
        clstrProblem = "--start must lie from " + UtcText(clRange.first) + " to " +
                       UtcText(clRange.last) + " UTC for " + clstrFormat;
        return false;
    }
    // The last frame lies within the last second of the span.
    if (clSettings.lTargetBytes == 0 &&
        clSettings.lMinutes > (clRange.last - clSettings.lStartTime + 1) / 60) {
        clstrProblem = "the recording would run past " + UtcText(clRange.last) +
                       " UTC, the last time " + clstrFormat + " can hold";
        return false;
    }
    return true;
}

StructSampleOutcome WriteTmwSampleRecording(const wchar_t *clstrPath,
                                            const StructSampleSettings &clSettings,
                                            SampleFormat enFormat) {
    StructSampleOutcome clOutcome;
    std::string clstrProblem;
    if (enFormat == SampleFormat::Container ||
        !CheckSampleSettings(enFormat, clSettings, clstrProblem))
        return Failed(clOutcome, FILE_DAMAGED, "create", 0);

    CBinaryFile clFile;
    errno = 0;
    if (!clFile.OpenWrite(clstrPath))
        return Failed(clOutcome, FILE_WRONG_STATE, "create", errno);

    CTmwSampleSource clSource(clSettings, enFormat);
    const int64_t lEnd = (clSettings.lStartTime + clSettings.lMinutes * 60) * kMilli;
    const int64_t lLast = (RangeOf(enFormat).last + 1) * kMilli - 1;
    std::vector<uint8_t> clBlock;
    clBlock.reserve(kWriteBlock + 4096);
    uint64_t lWritten = 0;
    auto fnWriteBlock = [&]() {
        bool bError = false;
        errno = 0;
        const size_t lPut = clFile.Write(clBlock.data(), clBlock.size(), bError);
        lWritten += lPut;
        const bool bWhole = !bError && lPut == clBlock.size();
        clBlock.clear();
        return bWhole;
    };
    for (;;) {
        const int64_t lTime = clSource.NextTime();
        if (clSettings.lTargetBytes ? lWritten + clBlock.size() >= clSettings.lTargetBytes
                                    : lTime >= lEnd)
            break;
        if (clSettings.lRecordLimit != 0 && clOutcome.lFrames >= clSettings.lRecordLimit)
            break;
        if (lTime > lLast) {
            clOutcome.bTimeLimitReached = true;
            break;
        }
        clOutcome.lRecords += clSource.AppendNext(clBlock);
        if (clOutcome.lFrames++ == 0)
            clOutcome.lFirstTime = lTime * kMilli;
        clOutcome.lLastTime = lTime * kMilli;
        clOutcome.bHasTime = true;
        if (clBlock.size() >= kWriteBlock && !fnWriteBlock()) {
            const int lErrno = errno;
            clFile.Close();
            return Failed(clOutcome, FILE_WRITE_FAILED, "write", lErrno);
        }
    }
    if (!clBlock.empty() && !fnWriteBlock()) {
        const int lErrno = errno;
        clFile.Close();
        return Failed(clOutcome, FILE_WRITE_FAILED, "write", lErrno);
    }
    errno = 0;
    if (!clFile.Close())
        return Failed(clOutcome, FILE_WRITE_FAILED, "close", errno);
    return clOutcome;
}
