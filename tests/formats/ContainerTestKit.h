// Shared helpers of the format tests: files, reader traces, generated records.
#pragma once

#include "ContainerModel.h"
#include "RecordTypes.h"
#include "SampleGenerator.h"
#include "TestPaths.h"
#include "VirtualFileFormat.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstring>
#include <memory>
#include <vector>

namespace ContainerTestKit {

inline bool WriteFileBytes(const QString &clstrPath, const QByteArray &clBytes,
                           QIODevice::OpenMode enMode = QIODevice::Truncate) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::WriteOnly | enMode) && clFile.write(clBytes) == clBytes.size();
}

inline bool AppendFileBytes(const QString &clstrPath, const QByteArray &clBytes) {
    return WriteFileBytes(clstrPath, clBytes, QIODevice::Append);
}

inline QByteArray ReadFileBytes(const QString &clstrPath) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::ReadOnly) ? clFile.readAll() : QByteArray();
}

// OpenFile of clstrPath with a header nobody looks at.
inline int Open(CVirtualFileFormat &clFormat, const QString &clstrPath, uint8_t lFlags = 0) {
    FileHeaderInfo clInfo{};
    return int(clFormat.OpenFile(ToWide(clstrPath).c_str(), clInfo, lFlags));
}

inline int Create(CVirtualFileFormat &clFormat, const QString &clstrPath, uint8_t lFlags,
                  const FileHeaderInfo &clInfo = FileHeaderInfo{}) {
    return int(clFormat.OpenFileForWriting(ToWide(clstrPath).c_str(), clInfo, lFlags));
}

// One delivered record in a few characters: the kind and what identifies it.
inline QString DescribeRecord(const RawRecord &clRecord) {
    const auto *t = static_cast<const TetraTmv *>(clRecord.payload);
    const auto *d = static_cast<const DmrTmv *>(clRecord.payload);
    switch (clRecord.payloadKind) {
    case PAYLOAD_GENERIC:
        return "G:" + QString::fromLatin1(static_cast<const char *>(clRecord.payload),
                                          int(clRecord.payloadLength))
                          .section(QChar(0), 0, 0);
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        return QString(clRecord.payloadKind == PAYLOAD_TETRA ? "T:%1" : "A:%1").arg(t->timeSeconds);
    case PAYLOAD_DMR:
        return QString("D:%1/%2").arg(d->timeSeconds).arg(d->timeslot);
    case PAYLOAD_GSM:
        return QString("S:%1").arg(static_cast<const GsmTmv *>(clRecord.payload)->fileTime);
    case PAYLOAD_NOTICE:
        return QString("N:%1").arg(static_cast<const NoticeTmv *>(clRecord.payload)->code);
    }
    return QString("X:%1").arg(clRecord.payloadKind);
}

// Reads until a result other than 0 and 4 (normally 3), listing every
// delivered record and every other result as its number.
inline QStringList ReadTrace(CVirtualFileFormat &clReader, int lMaxCalls = 100000) {
    QStringList clTrace;
    for (int i = 0; i < lMaxCalls; ++i) {
        RawRecord clRecord{};
        const FileResult enResult = clReader.ReadData(clRecord);
        clTrace << (enResult == FILE_OK ? DescribeRecord(clRecord) : QString::number(enResult));
        if (enResult != FILE_OK && enResult != FILE_DAMAGED)
            break;
    }
    return clTrace;
}

// The same trace as the container model predicts it.
inline QStringList ModelTrace(const QByteArray &clFile, bool bNotices) {
    QStringList clTrace;
    for (ContainerBytes::ReadEvent clEvent : ContainerBytes::ModelRead(clFile, bNotices)) {
        clEvent.record.payload = clEvent.payload.data();
        clTrace << (clEvent.result == FILE_OK ? DescribeRecord(clEvent.record)
                                              : QString::number(clEvent.result));
    }
    return clTrace;
}

// Records of every kind: the sample generator's, and ones drawn at random
// byte by byte, bounded only as far as the writer needs it.
class CGeneratedRecords {
  public:
    explicit CGeneratedRecords(uint64_t lSeed, int lCount) : m_clRandom(lSeed) {
        StructSampleSettings clSettings;
        clSettings.lSeed = lSeed;
        CSampleRecordSource clSource(clSettings);
        for (int i = 0; i < lCount; ++i) {
            if (i % 2 == 0) {
                const RawRecord &clRecord = clSource.Next();
                Add(clRecord, clRecord.payload, clRecord.payloadLength);
            } else {
                AddRandom(i / 2);
            }
        }
    }
    const std::vector<RawRecord> &Records() const { return m_clRecords; }

  private:
    void Add(RawRecord clRecord, const void *pPayload, uint32_t lLength) {
        m_clStore.emplace_back(new uint64_t[lLength / 8 + 1]());
        if (lLength > 0)
            std::memcpy(m_clStore.back().get(), pPayload, lLength);
        clRecord.payload = m_clStore.back().get();
        m_clRecords.push_back(clRecord);
    }
    uint32_t Below(uint32_t lBound) { return m_clRandom.Below(lBound); }

    void AddRandom(int i) {
        static constexpr uint8_t kKinds[] = {0, 1, 3, 4, 20, 2, 0, 1, 9, 200};
        RawRecord clRecord{};
        m_clRandom.Fill(reinterpret_cast<uint8_t *>(&clRecord), sizeof clRecord);
        clRecord.payloadKind = kKinds[i % 10];
        uint64_t aPayload[kLargestPayloadLength / 8 + 1];
        auto *p = reinterpret_cast<uint8_t *>(aPayload);
        m_clRandom.Fill(p, sizeof aPayload);
        switch (clRecord.payloadKind) {
        case PAYLOAD_TETRA:
        case PAYLOAD_TETRA_AUX: {
            auto &t = *reinterpret_cast<TetraTmv *>(p);
            t.bitCount = uint16_t(Below(4) == 0 ? Below(8 * 1040) : Below(600));
            t.extended = Below(2) ? t.extended : 0;
            clRecord.payloadLength = kTetraTmvLength;
            break;
        }
        case PAYLOAD_DMR: {
            auto &d = *reinterpret_cast<DmrTmv *>(p);
            d.burstKind = uint8_t(Below(4));
            for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot) {
                const DmrItemRef ref = DmrItemAt(d, lSlot);
                do
                    ref.item->itemKind = Below(3) == 0 ? 0 : 1 + Below(39);
                while (ref.item->itemKind &&
                       ContainerBytes::DmrSlotOf(int(ref.item->itemKind)) != lSlot);
                const uint32_t lMax = ContainerBytes::kDmrMaxBytes[lSlot] * 8;
                ref.item->bitCount = uint16_t(lSlot == 6 ? 8 * Below(73) : Below(lMax + 9));
                ref.item->highFlag = uint8_t(Below(3));
                ref.item->itemFlags = uint8_t(Below(20) == 0 ? 0x40 | Below(256) : Below(64));
            }
            clRecord.payloadLength = kDmrTmvLength;
            break;
        }
        case PAYLOAD_GSM:
            reinterpret_cast<GsmTmv *>(p)->bitCount = uint16_t(Below(8 * 1260));
            clRecord.payloadLength = kGsmTmvLength;
            break;
        case PAYLOAD_NOTICE:
            clRecord.payloadLength = kNoticeTmvLength;
            break;
        default:
            clRecord.payloadLength = Below(300);
        }
        Add(clRecord, p, clRecord.payloadLength);
    }

    CSplitMix64 m_clRandom;
    std::vector<std::unique_ptr<uint64_t[]>> m_clStore;
    std::vector<RawRecord> m_clRecords;
};

} // namespace ContainerTestKit
