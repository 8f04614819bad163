// Test recordings made through our writer, and an independent look at them:
// record fields read from the payloads, containers cut into frames by their
// length fields alone and compared byte by byte.
#pragma once

#include "BrennovarstikFileFormatV1.h"
#include "ContainerBytes.h"
#include "OpenFileFormat.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace WorkerTestKit {

constexpr uint64_t kGsmEpochSeconds = 11644473600ULL; // 1601-01-01 to 1970-01-01

// Seconds since 1970 of "yyyy-MM-dd hh:mm:ss" in UTC, or of "hh:mm:ss" on
// 2024-03-07, the day most tests use.
inline int64_t At(const char *pText) {
    int y = 2024, mo = 3, d = 7, h = 0, mi = 0, s = 0;
    if (std::strlen(pText) == 8)
        std::sscanf(pText, "%d:%d:%d", &h, &mi, &s);
    else
        std::sscanf(pText, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
    return (QDate(y, mo, d).toJulianDay() - 2440588) * 86400 + h * 3600 + mi * 60 + s;
}

// The reverse of At: "hh:mm:ss" on 2024-03-07, the full text otherwise.
inline QString Clock(int64_t lSeconds) {
    const QDateTime clTime = QDateTime::fromSecsSinceEpoch(lSeconds, QTimeZone::utc());
    return clTime.toString(clTime.date() == QDate(2024, 3, 7) ? "hh:mm:ss" : "yyyy-MM-dd hh:mm:ss");
}

// Records of one list differ by their index (milliseconds, data, counters),
// so that every record can be recognised in the parts.
struct RecordSpec {
    uint8_t kind = PAYLOAD_TETRA;
    int64_t time = 0;       // seconds since 1970; generic: bytes 16..23, native order
    uint64_t frequency = 0; // 0: the record states none
    uint32_t size = 0;      // generic payload length (default 80), TETRA/GSM data bytes (default 8)
};

// clang-format off
inline RecordSpec Tetra(int64_t t, uint64_t lHz = 0) { return {PAYLOAD_TETRA, t, lHz, 0}; }
inline RecordSpec Aux(int64_t t, uint64_t lHz = 0) { return {PAYLOAD_TETRA_AUX, t, lHz, 0}; }
inline RecordSpec Dmr(int64_t t, uint64_t lHz = 0) { return {PAYLOAD_DMR, t, lHz, 0}; }
inline RecordSpec Gsm(int64_t t, uint64_t lHz = 0) { return {PAYLOAD_GSM, t, lHz, 0}; }
inline RecordSpec Generic(int64_t t, uint32_t lSize = 80) { return {PAYLOAD_GENERIC, t, 0, lSize}; }
inline RecordSpec Notice() { return {PAYLOAD_NOTICE, 0, 0, 0}; }
// clang-format on

using RecordEdit = std::function<void(int lIndex, RawRecord &clRecord)>;

// The header start is lStart unless that is 0.
inline bool WriteRecording(const QString &clstrPath, const QList<RecordSpec> &clSpecs,
                           uint64_t lMagic = 0x5EC0DE, const RecordEdit &fnEdit = {},
                           int64_t lStart = 0) {
    FileHeaderInfo clHeader{};
    clHeader.infoType = 1;
    clHeader.fileMagic = lMagic;
    clHeader.startTime = lStart != 0 ? lStart : At("10:00:00");
    std::strcpy(clHeader.recordingType, "TETRA");
    std::strcpy(clHeader.infoText1, "worker test");
    CBrennovarstikFileFormatV1 clWriter;
    const std::wstring clstrWide = clstrPath.toStdWString();
    if (clWriter.OpenFileForWriting(clstrWide.c_str(), clHeader, 2) != FILE_OK)
        return false;
    bool bWritten = true;
    for (int i = 0; i < clSpecs.size() && bWritten; ++i) {
        const RecordSpec &clSpec = clSpecs[i];
        const uint32_t lIndex = uint32_t(i);
        const uint16_t lMs = uint16_t(lIndex % 1000);
        const uint32_t lData = clSpec.size != 0 ? clSpec.size : 8;
        RawRecord clRecord{};
        clRecord.recordClass = 2;
        clRecord.payloadKind = clSpec.kind;
        clRecord.frequency = clSpec.frequency;
        clRecord.sourceByte = uint8_t(lIndex);
        clRecord.symbolRate = 18000;
        const auto fnFill = [lIndex](uint8_t *pData, uint32_t lLength) {
            for (uint32_t b = 0; b < lLength; ++b)
                pData[b] = uint8_t(lIndex * 7 + b);
        };
        TetraTmv clTetra{};
        DmrTmv clDmr{};
        GsmTmv clGsm{};
        NoticeTmv clNotice{};
        std::vector<uint8_t> clGeneric;
        if (clSpec.kind == PAYLOAD_TETRA || clSpec.kind == PAYLOAD_TETRA_AUX) {
            clTetra.timeSeconds = uint64_t(clSpec.time);
            clTetra.milliseconds = lMs;
            clTetra.hyperframe = uint16_t(lIndex);
            clTetra.multiframe = 1 + lIndex % 60;
            clTetra.frame = 1 + lIndex % 18;
            clTetra.timeslot = 1 + lIndex % 4;
            clTetra.valueFlags = clSpec.frequency != 0 ? 0x10 : 0;
            clTetra.frequency = clSpec.frequency;
            clTetra.bitCount = uint16_t(lData * 8);
            fnFill(clTetra.data, lData);
            clRecord.payload = &clTetra;
            clRecord.payloadLength = kTetraTmvLength;
        } else if (clSpec.kind == PAYLOAD_DMR) {
            clDmr.timeslot = uint8_t(lIndex % 2);
            clDmr.burstKind = 1;
            clDmr.timeSeconds = uint64_t(clSpec.time);
            clDmr.milliseconds = lMs;
            clDmr.word1 = uint16_t(lIndex);
            clDmr.value48 = clSpec.frequency;
            clRecord.payload = &clDmr;
            clRecord.payloadLength = kDmrTmvLength;
        } else if (clSpec.kind == PAYLOAD_GSM) {
            clGsm.fileTime =
                (uint64_t(clSpec.time) + kGsmEpochSeconds) * 10000000ULL + uint64_t(lMs) * 10000;
            clGsm.value1 = lIndex;
            clGsm.byte1 = clSpec.frequency != 0 ? 0x10 : 0;
            clGsm.value2 = clSpec.frequency;
            clGsm.bitCount = uint16_t(lData * 8);
            fnFill(clGsm.data, lData);
            clRecord.payload = &clGsm;
            clRecord.payloadLength = kGsmTmvLength;
        } else if (clSpec.kind == PAYLOAD_NOTICE) {
            clNotice.code = 10000 + lIndex;
            clNotice.value = lIndex;
            std::memcpy(clNotice.text, "notice", 6);
            clRecord.payload = &clNotice;
            clRecord.payloadLength = kNoticeTmvLength;
        } else {
            clGeneric.assign(clSpec.size != 0 ? clSpec.size : 80, 0);
            fnFill(clGeneric.data(), uint32_t(clGeneric.size()));
            if (clGeneric.size() >= 24)
                std::memcpy(clGeneric.data() + 16, &clSpec.time, 8);
            if (clGeneric.size() >= 72)
                std::memcpy(clGeneric.data() + 64, &clSpec.frequency, 8);
            clRecord.payload = clGeneric.data();
            clRecord.payloadLength = uint32_t(clGeneric.size());
        }
        if (fnEdit)
            fnEdit(i, clRecord);
        bWritten = clWriter.WriteData(clRecord) == FILE_OK;
    }
    return clWriter.CloseFileForWriting() == FILE_OK && bWritten;
}

inline std::optional<int64_t> TimeOf(const RawRecord &clRecord) {
    if (clRecord.payload == nullptr)
        return std::nullopt;
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
        std::memcpy(&lValue, static_cast<const uint8_t *>(clRecord.payload) + 16, 8);
        return int64_t(lValue);
    default:
        return std::nullopt;
    }
}

inline std::optional<uint64_t> FrequencyOf(const RawRecord &clRecord) {
    uint64_t lHz = 0;
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX: {
        const auto &clTetra = *static_cast<const TetraTmv *>(clRecord.payload);
        return clTetra.valueFlags & 0x10 ? std::optional<uint64_t>(clTetra.frequency)
                                         : std::nullopt;
    }
    case PAYLOAD_DMR:
        lHz = static_cast<const DmrTmv *>(clRecord.payload)->value48;
        break;
    case PAYLOAD_GSM:
        lHz = static_cast<const GsmTmv *>(clRecord.payload)->value2;
        break;
    case PAYLOAD_GENERIC:
        if (clRecord.payloadLength >= 72)
            std::memcpy(&lHz, static_cast<const uint8_t *>(clRecord.payload) + 64, 8);
        break;
    default:
        break;
    }
    return lHz != 0 ? std::optional<uint64_t>(lHz) : std::nullopt;
}

// Empty when the file was read to its end, otherwise what stopped it.
inline QString ReadRecords(const QString &clstrPath,
                           const std::function<void(RawRecord &, CVirtualFileFormat &)> &fnRecord,
                           FileHeaderInfo *pHeader = nullptr) {
    FileHeaderInfo clInfo{};
    const std::wstring clstrWide = clstrPath.toStdWString();
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(clstrWide.c_str(), clInfo);
    if (!pReader)
        return QStringLiteral("cannot open");
    if (pHeader != nullptr)
        *pHeader = clInfo;
    QString clstrProblem;
    for (;;) {
        RawRecord clRecord{};
        const FileResult enResult = pReader->ReadData(clRecord);
        if (enResult == FILE_END_OF_DATA)
            break;
        if (enResult != FILE_OK) {
            clstrProblem = QStringLiteral("result %1").arg(int(enResult));
            break;
        }
        fnRecord(clRecord, *pReader);
    }
    pReader->CloseFile();
    return clstrProblem;
}

// What a file holds as the reader sees it: per record its time ("hh:mm:ss"),
// "N" for a notice, "-" for a record without a time; a reading problem last.
inline QStringList RecordTimes(const QString &clstrPath) {
    QStringList clTimes;
    const QString clstrProblem =
        ReadRecords(clstrPath, [&](RawRecord &clRecord, CVirtualFileFormat &) {
            const std::optional<int64_t> clTime = TimeOf(clRecord);
            clTimes << (clTime                                   ? Clock(*clTime)
                        : clRecord.payloadKind == PAYLOAD_NOTICE ? QStringLiteral("N")
                                                                 : QStringLiteral("-"));
        });
    if (!clstrProblem.isEmpty())
        clTimes << clstrProblem;
    return clTimes;
}

inline QByteArray FileBytes(const QString &clstrPath) {
    QFile clFile(clstrPath);
    if (!clFile.open(QIODevice::ReadOnly))
        return {};
    return clFile.readAll();
}

inline bool WriteBytes(const QString &clstrPath, const QByteArray &clBytes) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           clFile.write(clBytes) == clBytes.size();
}

struct ContainerFrames {
    bool ok = false; // the frames fill the file exactly
    QByteArray header;
    QList<QByteArray> frames;
    qsizetype rest = 0; // bytes after the last whole frame
};

inline ContainerFrames FramesOf(const QByteArray &clBytes) {
    ContainerFrames clResult;
    clResult.header = clBytes.left(ContainerBytes::kHeaderSize);
    qsizetype lAt = ContainerBytes::kHeaderSize;
    while (lAt + 4 <= clBytes.size()) {
        const uint32_t lLength = ContainerBytes::Be32At(clBytes, int(lAt));
        if (lLength < uint32_t(ContainerBytes::kFrameHead) || lLength > clBytes.size() - lAt)
            break;
        clResult.frames << clBytes.mid(lAt, lLength);
        lAt += lLength;
    }
    clResult.rest = std::max<qsizetype>(0, clBytes.size() - lAt);
    clResult.ok = clBytes.size() >= ContainerBytes::kHeaderSize && clResult.rest == 0;
    return clResult;
}

inline ContainerFrames FramesOf(const QString &clstrPath) {
    return FramesOf(FileBytes(clstrPath));
}

inline QStringList FilesIn(const QString &clstrFolder, const QStringList &clExcept = {}) {
    QStringList clFiles =
        QDir(clstrFolder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &clstrName : clExcept)
        clFiles.removeAll(clstrName);
    return clFiles;
}

// Every part as "name: time time ...", in name order.
inline QStringList DescribeParts(const QString &clstrFolder, const QStringList &clExcept) {
    QStringList clParts;
    for (const QString &clstrName : FilesIn(clstrFolder, clExcept))
        clParts << clstrName + QStringLiteral(": ") +
                       RecordTimes(QDir(clstrFolder).filePath(clstrName)).join(u' ');
    return clParts;
}

inline QList<QByteArray> Pick(const QList<QByteArray> &clFrames, const QList<int> &clIndexes) {
    QList<QByteArray> clPicked;
    for (int i : clIndexes)
        clPicked << clFrames.value(i);
    return clPicked;
}

// Empty when the parts, in order, hold exactly the expected frames behind
// the expected header; otherwise what differs first.
inline QString CompareParts(const QStringList &clParts, const QByteArray &clHeader,
                            const QList<QByteArray> &clExpected) {
    QList<QByteArray> clFound;
    for (const QString &clstrPart : clParts) {
        const ContainerFrames clFrames = FramesOf(clstrPart);
        if (!clFrames.ok)
            return QStringLiteral("%1: not whole frames").arg(clstrPart);
        if (clFrames.header != clHeader)
            return QStringLiteral("%1: header differs from the source's").arg(clstrPart);
        clFound << clFrames.frames;
    }
    if (clFound.size() != clExpected.size())
        return QStringLiteral("%1 records in the parts, %2 expected")
            .arg(clFound.size())
            .arg(clExpected.size());
    for (int i = 0; i < clFound.size(); ++i) {
        if (clFound[i] != clExpected[i])
            return QStringLiteral("record %1 differs").arg(i);
    }
    return QString();
}

} // namespace WorkerTestKit
