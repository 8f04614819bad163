// Shared pieces of the reliability tests: a small file system that fills up,
// sources of every kind the tool reads, the records a split must deliver
// (the source's records as the container writer stores them, with the
// intended time and frequency changes made here, independently of the
// split's own code), and a reader that counts what a worker takes from it.
#pragma once

#include "ContainerBytes.h"
#include "FileSizeLimit.h"
#include "ReadOnlyFileFormat.h"
#include "SampleGenerator.h"
#include "TmwSample.h"
#include "WorkerLoop.h"
#include "WorkerTestKit.h"

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QString>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <sys/mount.h>
#include <vector>

namespace ReliabilityTestKit {

using namespace WorkerTestKit;

// ---- A disk that fills up ------------------------------------------------

// A folder whose file system holds only lBytes: a tmpfs mounted on it for
// the life of the object. Where mounting is not permitted, every file this
// process writes is limited to lBytes instead, so writes fail past that size
// all the same (EFBIG rather than ENOSPC). Set it up after the sources are
// written: the fallback limits those too.
class CSmallDisk {
  public:
    CSmallDisk(const QString &clstrFolder, qint64 lBytes) : m_clstrFolder(clstrFolder) {
        QDir().mkpath(clstrFolder);
        const QByteArray clOptions = "size=" + QByteArray::number(lBytes);
        m_bMounted = mount("tmpfs", QFile::encodeName(clstrFolder).constData(), "tmpfs",
                           MS_NOSUID | MS_NODEV, clOptions.constData()) == 0;
        if (!m_bMounted)
            m_pLimit = std::make_unique<CFileSizeLimit>(rlim_t(lBytes));
    }
    ~CSmallDisk() {
        if (m_bMounted)
            umount2(QFile::encodeName(m_clstrFolder).constData(), MNT_DETACH);
    }
    CSmallDisk(const CSmallDisk &) = delete;
    CSmallDisk &operator=(const CSmallDisk &) = delete;

    bool Ready() const { return m_bMounted || (m_pLimit && m_pLimit->IsSet()); }
    bool Mounted() const { return m_bMounted; }
    // Room enough for everything that follows, as a user freeing space would
    // make it; what the disk holds stays.
    bool MakeRoom() {
        if (m_pLimit) {
            m_pLimit->Lift();
            return true;
        }
        return mount("tmpfs", QFile::encodeName(m_clstrFolder).constData(), "tmpfs",
                     MS_REMOUNT | MS_NOSUID | MS_NODEV, "size=64m") == 0;
    }

  private:
    QString m_clstrFolder;
    bool m_bMounted = false;
    std::unique_ptr<CFileSizeLimit> m_pLimit;
};

// ---- Sources of every kind ---------------------------------------------

enum class SourceKind : uint8_t {
    SampleV3, // the sample generator through our container writer
    BuiltV1,  // built byte by byte in the oldest container layout
    BuiltV2,
    Tmw,      // ".tmw"
    LanTetra, // ".lan" with TETRA entries
    LanDmr,   // ".lan" with DMR frames
};

inline QString SourceFileName(SourceKind enKind) {
    switch (enKind) {
    case SourceKind::Tmw:
        return QStringLiteral("rec.tmw");
    case SourceKind::LanTetra:
    case SourceKind::LanDmr:
        return QStringLiteral("rec.lan");
    default:
        return QStringLiteral("rec.bvf");
    }
}

struct SourceShape {
    int64_t start = At("2024-05-06 07:41:13"); // crosses whole hours
    int64_t minutes = 150;
    uint32_t rate = 2; // records, frames or entries a second
    uint64_t seed = 1;
};

// A container of an older version, every record kind that version holds,
// fields drawn from the seed.
inline QByteArray BuiltContainer(int lVersion, const SourceShape &clShape) {
    using namespace ContainerBytes;
    CSplitMix64 clRandom(clShape.seed);
    HeaderFields clFields;
    clFields.magic = MagicText(lVersion);
    clFields.fileMagic = 0xB0B0 + clShape.seed;
    clFields.startTime = clShape.start;
    clFields.recordingType = "TETRA";
    QByteArray clBytes = Header(clFields);
    const int64_t lCount = clShape.minutes * 60 * clShape.rate;
    for (int64_t i = 0; i < lCount; ++i) {
        const int64_t lTime = clShape.start + i / clShape.rate;
        SubHeader clSub;
        clSub.sourceByte = uint8_t(clRandom.Below(4));
        clSub.frequency = clRandom.Chance(50) ? 390000000 + clRandom.Below(1000) * 12500 : 0;
        clSub.symbolRate = 18000;
        clSub.value16 = uint16_t(clRandom.Below(65536));
        const uint32_t lPick = clRandom.Below(100);
        if (lPick < 45 || (lPick < 60 && lVersion < 2)) {
            TetraBody clTetra;
            clTetra.timeSeconds = uint64_t(lTime);
            clTetra.milliseconds = uint16_t(clRandom.Below(1000));
            clTetra.hyperframe = uint16_t(clRandom.Below(65536));
            clTetra.multiframe = uint8_t(1 + clRandom.Below(60));
            clTetra.frame = uint8_t(1 + clRandom.Below(18));
            clTetra.timeslot = uint8_t(1 + clRandom.Below(4));
            clTetra.valueFlags = uint8_t(clRandom.Below(8) << 5);
            for (uint16_t &lSlot : clTetra.valueSlots)
                lSlot = uint16_t(clRandom.Below(2000));
            clTetra.direction = uint8_t(clRandom.Below(2));
            clTetra.channelCode = uint8_t(clRandom.Below(12));
            clTetra.bitCount = uint16_t(8 * (1 + clRandom.Below(60)));
            clTetra.data = QByteArray(clTetra.bitCount / 8, '\0');
            clRandom.Fill(reinterpret_cast<uint8_t *>(clTetra.data.data()),
                          size_t(clTetra.data.size()));
            clBytes +=
                Record(RECORD_TETRA, clSub,
                       TetraBodyBytes(clTetra, lVersion == 1 ? TetraLayout::V1 : TetraLayout::V2));
        } else if (lPick < 60) {
            TetraBody clAux;
            clAux.timeSeconds = uint64_t(lTime);
            clAux.milliseconds = uint16_t(clRandom.Below(1000));
            clAux.valueFlags = 0xE0;
            clAux.valueSlots[0] = uint16_t(clRandom.Below(65536));
            clAux.bitCount = 16;
            clAux.data = QByteArray("\x5A\xA5", 2);
            clBytes += Record(RECORD_TETRA_AUX, clSub, TetraBodyBytes(clAux, TetraLayout::V2));
        } else if (lPick < 80) {
            DmrBody clDmr;
            clDmr.withTimeslot = false;
            clDmr.burstKind = 1;
            clDmr.timeSeconds = uint64_t(lTime);
            clDmr.milliseconds = uint16_t(clRandom.Below(1000));
            clDmr.word1 = uint16_t(clRandom.Below(65536));
            clDmr.value48 = clRandom.Chance(50) ? 446000000 + clRandom.Below(100) * 6250 : 0;
            // An item of a kind and length that every version stores alike.
            QByteArray clData(2, '\0');
            clRandom.Fill(reinterpret_cast<uint8_t *>(clData.data()), size_t(clData.size()));
            clDmr.items = {DmrItemBytes{37, 0x05, 16, clData}};
            clBytes += Record(RECORD_DMR, clSub, DmrBodyBytes(clDmr));
        } else if (lPick < 95) {
            // Generic: its time at bytes 16..23, least significant byte first.
            QByteArray clPayload(int(24 + clRandom.Below(120)), '\0');
            clRandom.Fill(reinterpret_cast<uint8_t *>(clPayload.data()), size_t(clPayload.size()));
            for (int b = 0; b < 8; ++b)
                clPayload[16 + b] = char(uint64_t(lTime) >> (8 * b));
            clBytes += Record(RECORD_GENERIC, clSub, clPayload);
        } else {
            clBytes += Record(RECORD_NOTICE, clSub,
                              NoticeBodyBytes(uint32_t(i), clRandom.Below(100), "notice"));
        }
    }
    return clBytes;
}

// Writes a source of the kind; false when that failed.
inline bool WriteSource(SourceKind enKind, const QString &clstrPath, const SourceShape &clShape) {
    StructSampleSettings clSample;
    clSample.lStartTime = clShape.start;
    clSample.lMinutes = clShape.minutes;
    clSample.lRate = clShape.rate;
    clSample.lSeed = clShape.seed;
    const std::wstring clstrWide = clstrPath.toStdWString();
    switch (enKind) {
    case SourceKind::SampleV3:
        return WriteSampleRecording(clstrWide.c_str(), clSample).enResult == FILE_OK;
    case SourceKind::BuiltV1:
        return WriteBytes(clstrPath, BuiltContainer(1, clShape));
    case SourceKind::BuiltV2:
        return WriteBytes(clstrPath, BuiltContainer(2, clShape));
    case SourceKind::Tmw:
        return WriteTmwSampleRecording(clstrWide.c_str(), clSample, SampleFormat::Tmw).enResult ==
               FILE_OK;
    case SourceKind::LanTetra:
        return WriteTmwSampleRecording(clstrWide.c_str(), clSample, SampleFormat::LanTetra)
                   .enResult == FILE_OK;
    case SourceKind::LanDmr:
        return WriteTmwSampleRecording(clstrWide.c_str(), clSample, SampleFormat::LanDmr)
                   .enResult == FILE_OK;
    }
    return false;
}

// ---- What the parts must hold --------------------------------------------

// A record's time in seconds since 1970, read here from its payload: none for
// notices, other kinds and generic payloads too short to hold one.
inline std::optional<int64_t> TimeOf(const RawRecord &clRecord) {
    if (clRecord.payload == nullptr)
        return std::nullopt;
    const auto *pBytes = static_cast<const uint8_t *>(clRecord.payload);
    uint64_t lValue = 0;
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        return int64_t(static_cast<const TetraTmv *>(clRecord.payload)->timeSeconds);
    case PAYLOAD_DMR:
        return int64_t(static_cast<const DmrTmv *>(clRecord.payload)->timeSeconds);
    case PAYLOAD_GSM:
        return int64_t(static_cast<const GsmTmv *>(clRecord.payload)->fileTime / 10000000ULL -
                       kGsmEpochSeconds);
    case PAYLOAD_GENERIC:
        if (clRecord.payloadLength < 24)
            return std::nullopt;
        std::memcpy(&lValue, pBytes + 16, 8);
        return int64_t(lValue);
    default:
        return std::nullopt;
    }
}

// The changes a split is asked to make to every record.
struct IntendedChanges {
    int64_t offset = 0;       // seconds added to every time stamp
    int64_t frequencyHz = -1; // -1: no frequency correction
};

// The record with the changes made, in a copy of its payload.
inline void ApplyChanges(RawRecord &clRecord, std::vector<uint8_t> &clPayload,
                         const IntendedChanges &clChanges) {
    clPayload.assign(static_cast<const uint8_t *>(clRecord.payload),
                     static_cast<const uint8_t *>(clRecord.payload) + clRecord.payloadLength);
    clRecord.payload = clPayload.data();
    uint8_t *pBytes = clPayload.data();
    const int64_t lOffset = clChanges.offset;
    const bool bHz = clChanges.frequencyHz >= 0;
    const uint64_t lHz = uint64_t(clChanges.frequencyHz);
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX: {
        auto &clTetra = *reinterpret_cast<TetraTmv *>(pBytes);
        clTetra.timeSeconds += uint64_t(lOffset);
        if (bHz) {
            clTetra.valueFlags |= 0x10;
            clTetra.frequency = lHz;
        }
        break;
    }
    case PAYLOAD_DMR: {
        auto &clDmr = *reinterpret_cast<DmrTmv *>(pBytes);
        clDmr.timeSeconds += uint64_t(lOffset);
        if (bHz)
            clDmr.value48 = lHz;
        break;
    }
    case PAYLOAD_GSM: {
        auto &clGsm = *reinterpret_cast<GsmTmv *>(pBytes);
        clGsm.fileTime += uint64_t(lOffset) * 10000000ULL;
        if (bHz) {
            clGsm.byte1 |= 0x10;
            clGsm.value2 = lHz;
        }
        break;
    }
    case PAYLOAD_GENERIC:
        if (clPayload.size() >= 24) {
            uint64_t lTime = 0;
            std::memcpy(&lTime, pBytes + 16, 8);
            lTime += uint64_t(lOffset);
            std::memcpy(pBytes + 16, &lTime, 8);
        }
        if (bHz && clPayload.size() >= 72)
            std::memcpy(pBytes + 64, &lHz, 8);
        break;
    default:
        return;
    }
    if (bHz)
        clRecord.frequency = lHz;
}

// The source's records as the parts must hold them: read through the
// source's own reader, changed as intended, stored by the container writer
// in clstrReference. The frames of that file, and each record's time after
// the change.
struct ConvertedSource {
    QString problem; // empty when the source was read to its end
    ContainerFrames frames;
    QList<std::optional<int64_t>> times;
};

inline ConvertedSource Converted(const QString &clstrSource, const QString &clstrReference,
                                 const IntendedChanges &clChanges = {}) {
    ConvertedSource clResult;
    FileHeaderInfo clInfo{};
    SourceReader pReader = OpenSource(clstrSource, clInfo);
    if (!pReader) {
        clResult.problem = QStringLiteral("the source cannot be opened");
        return clResult;
    }
    CBrennovarstikFileFormatV1 clWriter;
    const std::wstring clstrWide = clstrReference.toStdWString();
    if (clWriter.OpenFileForWriting(clstrWide.c_str(), clInfo, 2) != FILE_OK) {
        clResult.problem = QStringLiteral("the reference cannot be written");
        return clResult;
    }
    std::vector<uint8_t> clPayload;
    for (;;) {
        RawRecord clRecord{};
        const FileResult enResult = pReader->ReadData(clRecord);
        if (enResult == FILE_END_OF_DATA)
            break;
        if (enResult != FILE_OK) {
            clResult.problem = QStringLiteral("reading the source gave %1").arg(int(enResult));
            break;
        }
        if (clRecord.payload == nullptr)
            continue;
        ApplyChanges(clRecord, clPayload, clChanges);
        clResult.times << TimeOf(clRecord);
        if (clWriter.WriteData(clRecord) != FILE_OK) {
            clResult.problem = QStringLiteral("the reference writer refused a record");
            break;
        }
    }
    if (clWriter.CloseFileForWriting() != FILE_OK && clResult.problem.isEmpty())
        clResult.problem = QStringLiteral("the reference cannot be closed");
    clResult.frames = FramesOf(clstrReference);
    if (!clResult.frames.ok && clResult.problem.isEmpty())
        clResult.problem = QStringLiteral("the reference is not whole frames");
    QFile::remove(clstrReference);
    return clResult;
}

// ---- A reader that counts --------------------------------------------------

struct ReadCounts {
    uint64_t delivered = 0; // records handed out
    uint64_t afterStop = 0; // of those, handed out after the stop request
    bool stopped = false;
};

// Hands out the records of the real reader and counts them into clCounts,
// which outlive the reader; once lStopAt records have been handed out in all
// it calls fnAtStop (a stop request).
class CCountingReader final : public CReadOnlyFileFormat {
  public:
    CCountingReader(SourceReader pInner, ReadCounts &clCounts, uint64_t lStopAt,
                    std::function<void()> fnAtStop)
        : m_pInner(std::move(pInner)), m_clCounts(clCounts), m_lStopAt(lStopAt),
          m_fnAtStop(std::move(fnAtStop)) {}

    FileResult OpenFile(const wchar_t *, FileHeaderInfo &, uint8_t) override {
        return FILE_WRONG_STATE;
    }
    FileResult ReadData(RawRecord &clRecord) override {
        const FileResult enResult = m_pInner->ReadData(clRecord);
        if (enResult != FILE_OK)
            return enResult;
        if (m_clCounts.stopped)
            ++m_clCounts.afterStop;
        if (++m_clCounts.delivered == m_lStopAt) {
            m_clCounts.stopped = true;
            m_fnAtStop();
        }
        return enResult;
    }
    void CloseFile() override { m_pInner.reset(); }
    double GetProgress() override { return m_pInner ? m_pInner->GetProgress() : 0; }
    uint64_t GetFileSize(bool bTotal) override {
        return m_pInner ? m_pInner->GetFileSize(bTotal) : 0;
    }
    const wchar_t *GetFileName() override { return m_pInner ? m_pInner->GetFileName() : L""; }
    bool IsOnlineFile() override { return m_pInner && m_pInner->IsOnlineFile(); }

  private:
    SourceReader m_pInner;
    ReadCounts &m_clCounts;
    uint64_t m_lStopAt;
    std::function<void()> m_fnAtStop;
};

// Opens sources as the workers do, each behind a counting reader.
inline std::function<SourceReader(const QString &, FileHeaderInfo &)>
CountingOpener(ReadCounts &clCounts, uint64_t lStopAt, std::function<void()> fnAtStop) {
    return [&clCounts, lStopAt, fnAtStop](const QString &clstrPath, FileHeaderInfo &clInfo) {
        SourceReader pInner = OpenSource(clstrPath, clInfo);
        if (!pInner)
            return SourceReader();
        return SourceReader(new CCountingReader(std::move(pInner), clCounts, lStopAt, fnAtStop));
    };
}

} // namespace ReliabilityTestKit
