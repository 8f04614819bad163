// Sources for the round trips and fault injection, and the records a split
// must deliver, changed here independently of the split's own code.
#pragma once

#include "FileSizeLimit.h"
#include "SampleGenerator.h"
#include "TmwSample.h"
#include "WorkerRecords.h"

#include <QFileInfo>

#include <sys/mount.h>

namespace ReliabilityTestKit {

using namespace WorkerTestKit;

// A folder whose file system holds only lBytes: a tmpfs mounted on it while
// the object lives, or where that is not permitted, a limit on every file
// this process writes. Set it up after the sources are written.
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

enum class SourceKind : uint8_t {
    SampleV3, // the sample generator through our container writer
    BuiltV1,  // the generator's records encoded by the container model
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

inline StructSampleSettings SampleOf(const SourceShape &clShape) {
    StructSampleSettings clSample;
    clSample.lStartTime = clShape.start;
    clSample.lMinutes = clShape.minutes;
    clSample.lRate = clShape.rate;
    clSample.lSeed = clShape.seed;
    return clSample;
}

// A container of an older version: the generator's records as the model
// encodes them for that version, those it cannot hold left out.
inline QByteArray BuiltContainer(int lVersion, const SourceShape &clShape) {
    ContainerBytes::HeaderFields clFields;
    clFields.magic = ContainerBytes::MagicText(lVersion);
    clFields.fileMagic = 0xB0B0 + clShape.seed;
    clFields.startTime = clShape.start;
    clFields.recordingType = "TETRA";
    QByteArray clBytes = ContainerBytes::Header(clFields);
    CSampleRecordSource clRecords(SampleOf(clShape));
    while (clRecords.NextTimeMicroseconds() < (clShape.start + clShape.minutes * 60) * 1000000)
        clBytes += ContainerBytes::EncodeFrame(clRecords.Next(), lVersion);
    return clBytes;
}

inline bool WriteSource(SourceKind enKind, const QString &clstrPath, const SourceShape &clShape) {
    const std::wstring clstrWide = clstrPath.toStdWString();
    const SampleFormat enTmw = enKind == SourceKind::Tmw        ? SampleFormat::Tmw
                               : enKind == SourceKind::LanTetra ? SampleFormat::LanTetra
                                                                : SampleFormat::LanDmr;
    switch (enKind) {
    case SourceKind::SampleV3:
        return WriteSampleRecording(clstrWide.c_str(), SampleOf(clShape)).enResult == FILE_OK;
    case SourceKind::BuiltV1:
    case SourceKind::BuiltV2:
        return WriteBytes(clstrPath,
                          BuiltContainer(enKind == SourceKind::BuiltV1 ? 1 : 2, clShape));
    default:
        return WriteTmwSampleRecording(clstrWide.c_str(), SampleOf(clShape), enTmw).enResult ==
               FILE_OK;
    }
}

struct IntendedChanges {
    int64_t offset = 0;       // seconds added to every time stamp
    int64_t frequencyHz = -1; // -1: no frequency correction
};

// Every time stamp moved (a DMR record's second one too), the frequency set.
inline void ApplyChanges(RawRecord &clRecord, std::vector<uint8_t> &clPayload,
                         const IntendedChanges &clChanges) {
    const auto *pFrom = static_cast<const uint8_t *>(clRecord.payload);
    clPayload.assign(pFrom, pFrom + clRecord.payloadLength);
    clRecord.payload = clPayload.data();
    uint8_t *pBytes = clPayload.data();
    const uint64_t lOffset = uint64_t(clChanges.offset);
    const bool bHz = clChanges.frequencyHz >= 0;
    const uint64_t lHz = uint64_t(clChanges.frequencyHz);
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX: {
        auto &clTetra = *reinterpret_cast<TetraTmv *>(pBytes);
        clTetra.timeSeconds += lOffset;
        if (bHz) {
            clTetra.valueFlags |= 0x10;
            clTetra.frequency = lHz;
        }
        break;
    }
    case PAYLOAD_DMR: {
        auto &clDmr = *reinterpret_cast<DmrTmv *>(pBytes);
        clDmr.timeSeconds += lOffset;
        if (clDmr.altTimeSeconds != 0)
            clDmr.altTimeSeconds += lOffset;
        if (bHz)
            clDmr.value48 = lHz;
        break;
    }
    case PAYLOAD_GSM: {
        auto &clGsm = *reinterpret_cast<GsmTmv *>(pBytes);
        clGsm.fileTime += lOffset * 10000000ULL;
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
            lTime += lOffset;
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

// The source's records as the parts must hold them, stored by our writer in
// clstrReference, with per record what the cut rules and the scan look at.
struct ConvertedSource {
    QString problem; // empty when the source was read to its end
    FileHeaderInfo header{};
    ContainerFrames frames;
    QList<std::optional<int64_t>> times;    // after the change
    QList<uint64_t> consumed;               // the reader's position after each record
    QList<std::optional<int64_t>> recorded; // times as recorded
    QList<uint8_t> kinds;
    std::optional<uint64_t> firstFrequency; // of the first record with a time other than 0
    QList<uint32_t> dmrItemsLost;           // per record: items the container cannot store
};

inline ConvertedSource Converted(const QString &clstrSource, const QString &clstrReference,
                                 const IntendedChanges &clChanges = {}) {
    ConvertedSource clResult;
    CBrennovarstikFileFormatV1 clWriter;
    const std::wstring clstrWide = clstrReference.toStdWString();
    bool bTried = false, bWritten = true, bFirst = true;
    std::vector<uint8_t> clPayload;
    clResult.problem = ReadRecords(
        clstrSource,
        [&](RawRecord &clRecord, CVirtualFileFormat &clReader) {
            if (!bTried) {
                bTried = true;
                bWritten =
                    clWriter.OpenFileForWriting(clstrWide.c_str(), clResult.header, 2) == FILE_OK;
            }
            if (clRecord.payload == nullptr)
                return;
            const std::optional<int64_t> clRecorded = TimeOf(clRecord);
            if (bFirst && clRecorded && *clRecorded != 0 && clRecord.payloadKind <= PAYLOAD_GSM) {
                clResult.firstFrequency = FrequencyOf(clRecord);
                bFirst = false;
            }
            // The container keeps the items of a DMR record's first two
            // slots only with burst kind 1.
            uint32_t lLost = 0;
            if (clRecord.payloadKind == PAYLOAD_DMR) {
                const auto &clDmr = *static_cast<const DmrTmv *>(clRecord.payload);
                for (int lSlot = 0; lSlot < 2 && clDmr.burstKind != 1; ++lSlot)
                    lLost += DmrItemAt(clDmr, lSlot).item->itemKind != 0 ? 1 : 0;
            }
            clResult.dmrItemsLost << lLost;
            ApplyChanges(clRecord, clPayload, clChanges);
            clResult.times << TimeOf(clRecord);
            clResult.consumed << clReader.GetFileSize(false);
            clResult.recorded << clRecorded;
            clResult.kinds << clRecord.payloadKind;
            bWritten = bWritten && clWriter.WriteData(clRecord) == FILE_OK;
        },
        &clResult.header);
    if (clWriter.CloseFileForWriting() != FILE_OK || !bTried || !bWritten)
        clResult.problem += QStringLiteral(" the reference cannot be written");
    clResult.frames = FramesOf(clstrReference);
    QFile::remove(clstrReference);
    return clResult;
}

} // namespace ReliabilityTestKit
