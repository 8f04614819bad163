// Shared helpers of the container tests: files from bytes, and a compact
// trace of what a reader hands out, so a whole read is asserted at once.
#pragma once

#include "ContainerBytes.h"
#include "RecordTypes.h"
#include "VirtualFileFormat.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

namespace ContainerTestKit {

inline bool WriteFileBytes(const QString &clstrPath, const QByteArray &clBytes) {
    QFile clFile(clstrPath);
    if (!clFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return clFile.write(clBytes) == clBytes.size();
}

inline bool AppendFileBytes(const QString &clstrPath, const QByteArray &clBytes) {
    QFile clFile(clstrPath);
    if (!clFile.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return clFile.write(clBytes) == clBytes.size();
}

inline QByteArray ReadFileBytes(const QString &clstrPath) {
    QFile clFile(clstrPath);
    if (!clFile.open(QIODevice::ReadOnly))
        return {};
    return clFile.readAll();
}

inline QByteArray HeaderOfVersion(int lVersion) {
    ContainerBytes::HeaderFields clFields;
    clFields.magic = ContainerBytes::MagicText(lVersion);
    return ContainerBytes::Header(clFields);
}

// A generic record carrying a label, zero-padded to lPayloadSize bytes so that
// records can be made as large as a test needs.
inline QByteArray LabelRecord(const QByteArray &clLabel, int lPayloadSize = 0) {
    QByteArray clPayload = clLabel;
    if (clPayload.size() < lPayloadSize)
        clPayload.append(QByteArray(lPayloadSize - clPayload.size(), '\0'));
    return ContainerBytes::Record(2, ContainerBytes::SubHeader{}, clPayload);
}

// One delivered record in a few characters: the kind and what identifies it.
inline QString DescribeRecord(const RawRecord &clRecord) {
    switch (clRecord.payloadKind) {
    case PAYLOAD_GENERIC: {
        QByteArray clBytes(static_cast<const char *>(clRecord.payload),
                           int(clRecord.payloadLength));
        const int lZero = clBytes.indexOf('\0');
        return "G:" + QString::fromLatin1(lZero < 0 ? clBytes : clBytes.left(lZero));
    }
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        return QString(clRecord.payloadKind == PAYLOAD_TETRA ? "T:%1" : "A:%1")
            .arg(static_cast<const TetraTmv *>(clRecord.payload)->timeSeconds);
    case PAYLOAD_DMR: {
        const auto *pDmr = static_cast<const DmrTmv *>(clRecord.payload);
        return QString("D:%1/%2").arg(pDmr->timeSeconds).arg(pDmr->timeslot);
    }
    case PAYLOAD_GSM:
        return QString("S:%1").arg(static_cast<const GsmTmv *>(clRecord.payload)->fileTime);
    case PAYLOAD_NOTICE:
        return QString("N:%1").arg(static_cast<const NoticeTmv *>(clRecord.payload)->code);
    default:
        return QString("X:%1").arg(clRecord.payloadKind);
    }
}

// Reads until a result other than 0 and 4 (normally 3), listing every
// delivered record and every other result as its number.
inline QStringList ReadTrace(CVirtualFileFormat &clReader, int lMaxCalls = 100000) {
    QStringList clTrace;
    for (int i = 0; i < lMaxCalls; ++i) {
        RawRecord clRecord{};
        const FileResult enResult = clReader.ReadData(clRecord);
        if (enResult == FILE_OK) {
            clTrace << DescribeRecord(clRecord);
            continue;
        }
        clTrace << QString::number(int(enResult));
        if (enResult != FILE_DAMAGED)
            break;
    }
    return clTrace;
}

} // namespace ContainerTestKit
