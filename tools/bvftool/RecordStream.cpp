#include "RecordStream.h"

#include "BrennovarstikFileFormatV1.h"
#include "ContainerCodec.h"
#include "RecordFields.h"
#include "ToolCommon.h"
#include "WorkerLoop.h"

#include <QFile>

#include <algorithm>
#include <vector>

QByteArray FileSha256(const QString &clstrPath) {
    QFile clFile(clstrPath);
    if (!clFile.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash clHash(QCryptographicHash::Sha256);
    // addData(QIODevice *) reads in small blocks: the file is never held whole.
    if (!clHash.addData(&clFile))
        return QByteArray();
    return clHash.result();
}

StructRecordStream HashRecordStream(const QString &clstrPath, QCryptographicHash *pAlso,
                                    bool bOwnDigest) {
    StructRecordStream clStream;
    FileHeaderInfo clHeader{};
    SourceReader pReader = OpenSource(ReaderPath(clstrPath, false), clHeader);
    if (!pReader)
        return clStream;
    clStream.opened = true;
    auto *pContainer = dynamic_cast<CBrennovarstikFileFormatV1 *>(pReader.get());
    QCryptographicHash clHash(QCryptographicHash::Sha256);
    std::vector<uint8_t> clEncoded;
    CSourceRecords clRecords(*pReader);
    for (;;) {
        RawRecord clRecord{};
        const SourceStep enStep = clRecords.Next(clRecord);
        if (enStep != SourceStep::Record) {
            clStream.readFailed = enStep == SourceStep::Failed;
            break;
        }
        // The split and the merge write no record without a payload.
        if (clRecord.payload == nullptr)
            continue;
        const uint8_t *pFrame = nullptr;
        uint32_t lLength = 0;
        if (pContainer == nullptr || !pContainer->GetDeliveredFrame(pFrame, lLength)) {
            EncodePlan clPlan{};
            // A record the writer cannot store is in no part either.
            if (PlanRecordEncoding(clRecord, kWriterVersion, clPlan) != FILE_OK)
                continue;
            clEncoded.resize(clPlan.length);
            EncodeRecord(clRecord, kWriterVersion, clPlan, clEncoded.data());
            pFrame = clEncoded.data();
            lLength = clPlan.length;
        }
        const QByteArrayView clFrame(reinterpret_cast<const char *>(pFrame), lLength);
        if (bOwnDigest)
            clHash.addData(clFrame);
        if (pAlso != nullptr)
            pAlso->addData(clFrame);
        ++clStream.records;
        if (const std::optional<int64_t> clMs = RecordTimeMilliseconds(clRecord)) {
            if (!clStream.hasTime)
                clStream.firstMs = clStream.lastMs = *clMs;
            clStream.hasTime = true;
            clStream.lastMs = std::max(clStream.lastMs, *clMs);
        }
    }
    if (bOwnDigest)
        clStream.sha256 = clHash.result();
    return clStream;
}
