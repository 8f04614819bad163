// Sources for the worker tests' round trips and fault injection: a small file
// system that fills up, sources of every kind the tool reads (older container
// versions built byte by byte), and the records a split must deliver (the
// source's records as the container writer stores them, with the intended
// time and frequency changes made here, independently of the split's own
// code).
#pragma once

#include "FileSizeLimit.h"
#include "SampleGenerator.h"
#include "TmwSample.h"
#include "WorkerRecords.h"

#include <QFileInfo>

#include <sys/mount.h>

namespace ReliabilityTestKit {

using namespace WorkerTestKit;

// ---- A disk that fills up ------------------------------------------------

// A folder whose file system holds only lBytes: a tmpfs mounted on it for
// the life of the object. Where mounting is not permitted, every file this
// process writes is limited to lBytes instead, so writes fail past that size
// all the same. Set it up after the sources are written: the fallback limits
// those too.
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
        if (lPick < 60) {
            // TETRA, and from version 2 on its auxiliary records too.
            const bool bAux = lPick >= 45 && lVersion >= 2;
            TetraBody clTetra;
            clTetra.timeSeconds = uint64_t(lTime);
            clTetra.milliseconds = uint16_t(clRandom.Below(1000));
            clTetra.hyperframe = uint16_t(clRandom.Below(65536));
            clTetra.multiframe = uint8_t(1 + clRandom.Below(60));
            clTetra.frame = uint8_t(1 + clRandom.Below(18));
            clTetra.timeslot = uint8_t(1 + clRandom.Below(4));
            clTetra.valueFlags = bAux ? 0xE0 : uint8_t(clRandom.Below(8) << 5);
            for (uint16_t &lSlot : clTetra.valueSlots)
                lSlot = uint16_t(clRandom.Below(2000));
            clTetra.direction = uint8_t(clRandom.Below(2));
            clTetra.channelCode = uint8_t(clRandom.Below(12));
            clTetra.bitCount = uint16_t(8 * (1 + clRandom.Below(60)));
            clTetra.data = QByteArray(clTetra.bitCount / 8, '\0');
            clRandom.Fill(reinterpret_cast<uint8_t *>(clTetra.data.data()),
                          size_t(clTetra.data.size()));
            const TetraLayout enLayout = lVersion == 1 ? TetraLayout::V1 : TetraLayout::V2;
            clBytes += Record(bAux ? RECORD_TETRA_AUX : RECORD_TETRA, clSub,
                              TetraBodyBytes(clTetra, enLayout));
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
            // Generic: its time at bytes 16..23 and its frequency at 64..71,
            // least significant byte first, where the payload is long enough.
            QByteArray clPayload(int(8 + clRandom.Below(136)), '\0');
            clRandom.Fill(reinterpret_cast<uint8_t *>(clPayload.data()), size_t(clPayload.size()));
            for (int b = 0; b < 8 && clPayload.size() >= 24; ++b)
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
    case SourceKind::BuiltV2:
        return WriteBytes(clstrPath,
                          BuiltContainer(enKind == SourceKind::BuiltV1 ? 1 : 2, clShape));
    case SourceKind::Tmw:
        return WriteTmwSampleRecording(clstrWide.c_str(), clSample, SampleFormat::Tmw).enResult ==
               FILE_OK;
    case SourceKind::LanTetra:
    case SourceKind::LanDmr:
        return WriteTmwSampleRecording(clstrWide.c_str(), clSample,
                                       enKind == SourceKind::LanTetra ? SampleFormat::LanTetra
                                                                      : SampleFormat::LanDmr)
                   .enResult == FILE_OK;
    }
    return false;
}

// ---- What the parts must hold --------------------------------------------

// The changes a split is asked to make to every record.
struct IntendedChanges {
    int64_t offset = 0;       // seconds added to every time stamp
    int64_t frequencyHz = -1; // -1: no frequency correction
};

// The record with the changes made, in a copy of its payload: every time
// stamp moved (a DMR record's second one too, when it has one), and the
// frequency stated in the record, in its payload and as valid.
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

// The source's records as the parts must hold them: read through the
// source's own reader, changed as intended, stored by the container writer in
// clstrReference. The frames of that file, and per record what the cut rules
// and the scan look at.
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
