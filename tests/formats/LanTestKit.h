// Helpers shared by the ".lan" reader, entry and DMR conversion tests: files
// from LanBytes output, sample entries and frames that tell themselves apart,
// and a compact trace of what a reader hands out.
#pragma once

#include "ContainerTestKit.h"
#include "LanBytes.h"
#include "RecordTypes.h"
#include "TestPaths.h"
#include "TmwFileFormatV1.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace LanTestKit {

using ContainerTestKit::Open;

inline QByteArray ToBytes(const LanBytes::Bytes &clBytes) {
    return QByteArray(reinterpret_cast<const char *>(clBytes.data()), qsizetype(clBytes.size()));
}

inline LanBytes::Bytes FromBytes(const QByteArray &clBytes) {
    return LanBytes::Bytes(clBytes.begin(), clBytes.end());
}

inline const DmrTmv &Dmr(const RawRecord &clRecord) {
    return *static_cast<const DmrTmv *>(clRecord.payload);
}

inline const TetraTmv &Tetra(const RawRecord &clRecord) {
    return *static_cast<const TetraTmv *>(clRecord.payload);
}

// A DMR record by its word1, which the tests use as a frame's name; a TETRA
// record by its kind, seconds and milliseconds.
inline QString Describe(const RawRecord &clRecord) {
    switch (clRecord.payloadKind) {
    case PAYLOAD_DMR:
        return QString("W:%1").arg(Dmr(clRecord).word1);
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        return QString("%1:%2.%3")
            .arg(clRecord.payloadKind == PAYLOAD_TETRA ? "T" : "A")
            .arg(Tetra(clRecord).timeSeconds)
            .arg(Tetra(clRecord).milliseconds);
    default:
        return QString("X:%1").arg(clRecord.payloadKind);
    }
}

// Reads until a result other than 0, listing every record and that result.
inline QStringList Trace(CVirtualFileFormat &clReader, int lMaxCalls = 1000000) {
    QStringList clTrace;
    RawRecord clRecord{};
    FileResult enResult = FILE_OK;
    for (int i = 0; i < lMaxCalls && (enResult = clReader.ReadData(clRecord)) == FILE_OK; ++i)
        clTrace << Describe(clRecord);
    return clTrace << QString::number(int(enResult));
}

// A downlink burst of entry type 6 with its own time in seconds since 2000;
// its bytes hold neither "!" nor 0x0D nor 0x7F.
inline LanBytes::FrameEntryFields StampFields(uint32_t lSeconds) {
    LanBytes::FrameEntryFields clFields;
    clFields.carrier = 1000;
    clFields.band = 4;
    clFields.burstCode = 1;
    clFields.entryType = 6;
    clFields.frameFlags = LanBytes::kBlock1Valid | LanBytes::kBlock2Valid;
    for (size_t i = 0; i < LanBytes::kFrameDataSize; ++i)
        clFields.data[i] = uint8_t(0xA0 + i);
    LanBytes::SetSecondsSince2000(clFields, lSeconds, 0);
    return clFields;
}

inline QByteArray EntryOf(const LanBytes::FrameEntryFields &clFields, int32_t lStated = -1,
                          uint8_t lTerminator = LanBytes::kEntryTerminator) {
    return ToBytes(LanBytes::Entry(LanBytes::FrameEntryBody(clFields), lStated, lTerminator));
}

inline QByteArray StampEntry(uint32_t lSeconds) {
    return EntryOf(StampFields(lSeconds));
}

inline QString Stamp(uint32_t lSeconds) {
    return QString("T:%1.0").arg(quint64(lSeconds) + LanBytes::kEpoch2000);
}

inline QByteArray DmrNamed(uint16_t lName, size_t lItemsBytes = 0) {
    LanBytes::DmrFrameFields clFields;
    clFields.word1 = lName;
    clFields.burstKindCode = 1;
    clFields.timeWord = LanBytes::TimeWord({2024, 3, 1, 12, 0, 0, 0});
    if (lItemsBytes > 0)
        clFields.items = {LanBytes::DmrItem(9, uint16_t(lItemsBytes * 8), 0x30)};
    return ToBytes(LanBytes::DmrFrame(clFields));
}

// An extended entry with time and frequency; sub-entry k of the given types
// has data 0x10 (k + 1), 0x10 (k + 1) + 1, ... sized by its channel type.
inline LanBytes::ExtendedEntryFields ExtendedFields(const QList<int> &clTypes,
                                                    uint8_t lBurstByte = 16) {
    LanBytes::ExtendedEntryFields clFields;
    clFields.link = 0;
    clFields.flags = LanBytes::kEntryTime | LanBytes::kEntryFrequency;
    clFields.hyperframe = 5;
    clFields.multiframe = 7;
    clFields.frame = 9;
    clFields.timeslot = 3;
    clFields.timeSeconds = 1700000000;
    clFields.milliseconds = 250;
    clFields.frequency = 425025000;
    for (int k = 0; k < clTypes.size(); ++k) {
        LanBytes::SubEntryFields clSub;
        clSub.channelType = uint8_t(clTypes[k]);
        clSub.byteY = lBurstByte;
        const uint32_t lBytes = (LanBytes::ChannelTypeBits(clSub.channelType, lBurstByte) + 7) / 8;
        for (uint32_t i = 0; i < lBytes; ++i)
            clSub.data.push_back(uint8_t(0x10 * (k + 1) + i));
        clFields.subEntries.push_back(clSub);
    }
    return clFields;
}

inline QByteArray ExtendedEntry(const LanBytes::ExtendedEntryFields &clFields,
                                int32_t lStated = -1) {
    return ToBytes(LanBytes::Entry(LanBytes::ExtendedEntryBody(clFields), lStated));
}

// Sub-entry k's data as ExtendedFields makes it.
inline QByteArray Pattern(int k, int lCount) {
    QByteArray clData;
    for (int i = 0; i < lCount; ++i)
        clData += char(0x10 * (k + 1) + i);
    return clData;
}

// Every TETRA payload of a file, each record described, and the last answer.
struct ReadResult {
    QList<TetraTmv> tetra;
    QStringList described;
    FileResult end = FILE_OK;
};

inline ReadResult ReadAll(const QString &clstrPath) {
    ReadResult clResult;
    CTmwFileFormatV1 clReader;
    if (Open(clReader, clstrPath) != 0)
        return clResult;
    RawRecord clRecord{};
    while ((clResult.end = clReader.ReadData(clRecord)) == FILE_OK) {
        clResult.tetra << Tetra(clRecord);
        clResult.described << Describe(clRecord);
    }
    return clResult;
}

inline QStringList ReadFileTrace(const QString &clstrPath) {
    CTmwFileFormatV1 clReader;
    return Open(clReader, clstrPath) == 0 ? Trace(clReader) : QStringList{"open failed"};
}

} // namespace LanTestKit
