#include "ContainerCodec.h"

#include "ContainerBodies.h"
#include "RecordFields.h"

#include <libdeflate.h>

#include <cstddef>
#include <cstring>
#include <optional>

namespace {

constexpr size_t kMagicSize = 24;
constexpr int kOldestVersion = 1;

// Header field offsets.
constexpr size_t kHeaderLengthAt = 24;
constexpr size_t kHeaderZeroAt = 28;
constexpr size_t kHeaderOneAt = 32;
constexpr size_t kFileMagicAt = 33;
constexpr size_t kStartTimeAt = 41;
constexpr size_t kValue16At = 49;
constexpr size_t kRecordingTypeAt = 51;
constexpr size_t kInfoText1At = 179;
constexpr size_t kInfoText2At = 243;
constexpr size_t kReservedBlockAt = 307;
constexpr size_t kInfoText3At = 1331;
constexpr size_t kExtraBytesAt = 2331;
constexpr size_t kExtraValueAt = 2347;
static_assert(kExtraValueAt + sizeof(double) == kContainerHeaderSize);

// Frame head and sub-header offsets.
constexpr size_t kTypeAt = 4;
constexpr size_t kFlagAt = 5;
constexpr size_t kChecksumAt = 6;
constexpr size_t kSourceByteAt = 0;
constexpr size_t kFrequencyAt = 1;
constexpr size_t kSymbolRateAt = 9;
constexpr size_t kSubValue16At = 13;
constexpr size_t kSubZeroAt = 15;

constexpr uint32_t kNoticeBodySize = 136;
constexpr uint32_t kRecordClassRead = 2;

void MagicForVersion(int lVersion, uint8_t *pMagic) {
    static constexpr char kMagic[] = "BRENNOVARSTIK_V?_______";
    static_assert(sizeof(kMagic) == kMagicSize);
    std::memcpy(pMagic, kMagic, kMagicSize);
    pMagic[15] = uint8_t('0' + lVersion);
}

// Texts are used as C strings downstream; a header without a terminator must
// not let them run into the next field.
template <size_t N> void CopyText(char (&clText)[N], const uint8_t *pSource) {
    std::memcpy(clText, pSource, N);
    clText[N - 1] = 0;
}

constexpr uint64_t TypeBit(uint8_t lType) {
    return uint64_t(1) << lType;
}

// The record types each version stores, as bits: one test instead of a
// jump by type, which the mixed types of a recording keep mispredicting.
bool TypeAllowedInVersion(uint8_t lType, int lVersion) {
    constexpr uint64_t kAlways = TypeBit(RECORD_GENERIC) | TypeBit(RECORD_TETRA) |
                                 TypeBit(RECORD_NOTICE) | TypeBit(RECORD_DMR);
    constexpr uint64_t kSince2 = TypeBit(RECORD_TETRA_AUX) | TypeBit(RECORD_TETRA_EXTENDED);
    const uint64_t lTypes =
        kAlways | (lVersion >= 2 ? kSince2 : 0) | (lVersion >= 3 ? TypeBit(RECORD_GSM) : 0);
    return lType < 64 && ((lTypes >> lType) & 1) != 0;
}

// The one routing table from payload kind to record type. A fixed-size kind
// with another length has no type (0).
uint8_t RecordTypeForKind(const RawRecord &clRecord) {
    auto fixed = [&](uint32_t lLength, uint8_t lType) -> uint8_t {
        return clRecord.payloadLength == lLength ? lType : uint8_t(RECORD_NONE);
    };
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA: {
        if (clRecord.payloadLength != kTetraTmvLength || clRecord.payload == nullptr)
            return RECORD_NONE;
        const auto &clTetra = *static_cast<const TetraTmv *>(clRecord.payload);
        return clTetra.extended ? RECORD_TETRA_EXTENDED : RECORD_TETRA;
    }
    case PAYLOAD_DMR:
        return fixed(kDmrTmvLength, RECORD_DMR);
    case PAYLOAD_TETRA_AUX:
        return fixed(kTetraTmvLength, RECORD_TETRA_AUX);
    case PAYLOAD_GSM:
        return fixed(kGsmTmvLength, RECORD_GSM);
    case PAYLOAD_NOTICE:
        return fixed(kNoticeTmvLength, RECORD_NOTICE);
    default:
        return RECORD_GENERIC;
    }
}

void EncodeNoticeBody(const NoticeTmv &clNotice, uint8_t *pBody) {
    WriteBe32(pBody, clNotice.code);
    WriteBe32(pBody + 4, clNotice.value);
    std::memcpy(pBody + 8, clNotice.text, sizeof(clNotice.text));
}

void DecodeNoticeBody(const uint8_t *pBody, NoticeTmv &clNotice) {
    clNotice.code = ReadBe32(pBody);
    clNotice.value = ReadBe32(pBody + 4);
    std::memcpy(clNotice.text, pBody + 8, sizeof(clNotice.text));
}

// Whether a frame's type, or its length for its sub-header, refuses it, and
// then the verdict; a frame that passes has its body read. The frame holds at
// least its head. A plain flag rather than an optional verdict: it is asked of
// every frame, and the optional came back through memory.
bool RefusedByType(const uint8_t *pFrame, uint32_t lLength, int lVersion,
                   DecodeOutcome &clVerdict) {
    const uint8_t lType = pFrame[kTypeAt];
    if (TypeAllowedInVersion(lType, lVersion)) {
        // Too short for the sub-header: nothing of it can be trusted.
        clVerdict = DecodeOutcome{DecodeAction::Damaged, lLength};
        return lLength < kRecordBodyOffset;
    }
    switch (lType) {
    case RECORD_NONE:
    case RECORD_TETRA_EXTENDED:
        clVerdict = DecodeOutcome{DecodeAction::Damaged, lLength};
        break;
    case RECORD_TETRA_AUX:
    case RECORD_GSM:
        clVerdict = DecodeOutcome{DecodeAction::Damaged, uint32_t(kFrameHeadSize)};
        break;
    default:
        // Unknown type: its bytes after the head are searched like any others.
        clVerdict = DecodeOutcome{DecodeAction::GoOn, uint32_t(kFrameHeadSize)};
        break;
    }
    return true;
}

} // namespace

uint32_t ContainerChecksum(const uint8_t *pData, size_t lLength) {
    // The common CRC-32 ends with an inversion that the container does not apply.
    return ~libdeflate_crc32(0, pData, lLength);
}

int DecodeContainerHeader(const uint8_t *pHeader, FileHeaderInfo &clInfo) {
    int lVersion = 0;
    for (int v = kOldestVersion; v <= kWriterVersion && lVersion == 0; ++v) {
        uint8_t magic[kMagicSize];
        MagicForVersion(v, magic);
        if (std::memcmp(pHeader, magic, kMagicSize) == 0)
            lVersion = v;
    }
    if (lVersion == 0)
        return 0;

    clInfo.infoType = 1;
    clInfo.fileMagic = ReadBe64(pHeader + kFileMagicAt);
    clInfo.startTime = int64_t(ReadBe64(pHeader + kStartTimeAt));
    clInfo.value16 = ReadBe16(pHeader + kValue16At);
    CopyText(clInfo.recordingType, pHeader + kRecordingTypeAt);
    CopyText(clInfo.infoText1, pHeader + kInfoText1At);
    CopyText(clInfo.infoText2, pHeader + kInfoText2At);
    std::memcpy(clInfo.reservedBlock, pHeader + kReservedBlockAt, sizeof(clInfo.reservedBlock));
    CopyText(clInfo.infoText3, pHeader + kInfoText3At);
    std::memcpy(clInfo.extraBytes, pHeader + kExtraBytesAt, sizeof(clInfo.extraBytes));
    uint64_t lBits = 0;
    for (int i = 7; i >= 0; --i)
        lBits = (lBits << 8) | pHeader[kExtraValueAt + size_t(i)];
    std::memcpy(&clInfo.extraValue, &lBits, sizeof(lBits));
    return lVersion;
}

void EncodeContainerHeader(const FileHeaderInfo &clInfo, uint8_t *pHeader) {
    std::memset(pHeader, 0, kContainerHeaderSize);
    MagicForVersion(kWriterVersion, pHeader);
    WriteBe32(pHeader + kHeaderLengthAt, uint32_t(kContainerHeaderSize));
    WriteBe32(pHeader + kHeaderZeroAt, 0);
    pHeader[kHeaderOneAt] = 0x01;
    WriteBe64(pHeader + kFileMagicAt, clInfo.fileMagic);
    WriteBe64(pHeader + kStartTimeAt, uint64_t(clInfo.startTime));
    WriteBe16(pHeader + kValue16At, clInfo.value16);
    std::memcpy(pHeader + kRecordingTypeAt, clInfo.recordingType, sizeof(clInfo.recordingType));
    std::memcpy(pHeader + kInfoText1At, clInfo.infoText1, sizeof(clInfo.infoText1));
    std::memcpy(pHeader + kInfoText2At, clInfo.infoText2, sizeof(clInfo.infoText2));
    // The reserved block stays zero: it is never written.
    std::memcpy(pHeader + kInfoText3At, clInfo.infoText3, sizeof(clInfo.infoText3));
    std::memcpy(pHeader + kExtraBytesAt, clInfo.extraBytes, sizeof(clInfo.extraBytes));
    uint64_t lBits = 0;
    std::memcpy(&lBits, &clInfo.extraValue, sizeof(lBits));
    for (size_t i = 0; i < 8; ++i)
        pHeader[kExtraValueAt + i] = uint8_t(lBits >> (8 * i));
}

bool IsWritableFrameHead(const uint8_t *pHead, uint32_t lLength, int lVersion) {
    // Type 0 is never written: every payload kind has a type of its own.
    return pHead[kFlagAt] == 0 && TypeAllowedInVersion(pHead[kTypeAt], lVersion) &&
           lLength >= kRecordBodyOffset;
}

FileResult PlanRecordEncoding(const RawRecord &clRecord, int lVersion, EncodePlan &clPlan) {
    if (lVersion < kOldestVersion || lVersion > kWriterVersion)
        return FILE_DAMAGED;
    const uint8_t lType = RecordTypeForKind(clRecord);
    if (lType == RECORD_NONE || !TypeAllowedInVersion(lType, lVersion))
        return FILE_DAMAGED;
    if (clRecord.payloadLength != 0 && clRecord.payload == nullptr)
        return FILE_DAMAGED;

    using namespace container_body;
    uint32_t lBody = 0;
    bool bFits = true;
    switch (lType) {
    case RECORD_TETRA:
    case RECORD_TETRA_AUX:
    case RECORD_TETRA_EXTENDED:
        bFits = TetraBodyLength(*static_cast<const TetraTmv *>(clRecord.payload), lType, lVersion,
                                lBody);
        break;
    case RECORD_DMR:
        bFits = DmrBodyLength(*static_cast<const DmrTmv *>(clRecord.payload), lVersion, lBody);
        break;
    case RECORD_GSM:
        bFits = GsmBodyLength(*static_cast<const GsmTmv *>(clRecord.payload), lBody);
        break;
    case RECORD_NOTICE:
        lBody = kNoticeBodySize;
        break;
    default:
        if (clRecord.payloadLength > kMaxRecordLength - kRecordBodyOffset)
            return FILE_NO_BUFFER;
        lBody = clRecord.payloadLength;
        break;
    }
    if (!bFits)
        return FILE_DAMAGED;
    clPlan.type = lType;
    clPlan.length = uint32_t(kRecordBodyOffset) + lBody;
    return FILE_OK;
}

void EncodeRecord(const RawRecord &clRecord, int lVersion, const EncodePlan &clPlan,
                  uint8_t *pOut) {
    WriteBe32(pOut, clPlan.length);
    pOut[kTypeAt] = clPlan.type;
    pOut[kFlagAt] = 0;

    uint8_t *pSub = pOut + kFrameHeadSize;
    pSub[kSourceByteAt] = clRecord.sourceByte;
    WriteBe64(pSub + kFrequencyAt, clRecord.frequency);
    WriteBe32(pSub + kSymbolRateAt, clRecord.symbolRate);
    WriteBe16(pSub + kSubValue16At, clRecord.value16);
    std::memset(pSub + kSubZeroAt, 0, kSubHeaderSize - kSubZeroAt);

    using namespace container_body;
    uint8_t *pBody = pOut + kRecordBodyOffset;
    const uint32_t lBody = clPlan.length - uint32_t(kRecordBodyOffset);
    switch (clPlan.type) {
    case RECORD_TETRA:
    case RECORD_TETRA_AUX:
    case RECORD_TETRA_EXTENDED:
        EncodeTetraBody(*static_cast<const TetraTmv *>(clRecord.payload), clPlan.type, lVersion,
                        pBody);
        break;
    case RECORD_DMR:
        EncodeDmrBody(*static_cast<const DmrTmv *>(clRecord.payload), lVersion, pBody);
        break;
    case RECORD_GSM:
        EncodeGsmBody(*static_cast<const GsmTmv *>(clRecord.payload), pBody);
        break;
    case RECORD_NOTICE:
        EncodeNoticeBody(*static_cast<const NoticeTmv *>(clRecord.payload), pBody);
        break;
    default:
        if (lBody != 0)
            std::memcpy(pBody, clRecord.payload, lBody);
        break;
    }
    WriteBe32(pOut + kChecksumAt,
              ContainerChecksum(pOut + kFrameHeadSize, clPlan.length - kFrameHeadSize));
}

DecodeOutcome DecodeRecord(const uint8_t *pFrame, uint32_t lLength, int lVersion,
                           bool bDeliverNotices, RawRecord &clRecord, DecodedPayload &clArea,
                           DmrTimeslotMemory &clDmrMemory) {
    uint32_t lDirty = uint32_t(sizeof(clArea));
    return DecodeRecord(pFrame, lLength, lVersion, bDeliverNotices, clRecord, clArea, lDirty,
                        clDmrMemory);
}

DecodeOutcome DecodeRecord(const uint8_t *pFrame, uint32_t lLength, int lVersion,
                           bool bDeliverNotices, RawRecord &clRecord, DecodedPayload &clArea,
                           uint32_t &lDirty, DmrTimeslotMemory &clDmrMemory) {
    // Nothing of an earlier record may show through fields a type does not store.
    if (lDirty != 0) {
        std::memset(&clArea, 0, lDirty);
        lDirty = 0;
    }
    const DecodeOutcome damagedFrame{DecodeAction::Damaged, lLength};
    if (lLength < kFrameHeadSize || pFrame[kFlagAt] != 0)
        return damagedFrame;

    const uint8_t lType = pFrame[kTypeAt];
    clRecord.recordClass = kRecordClassRead;
    clRecord.payloadKind = lType;
    clRecord.payloadLength = lLength - uint32_t(kFrameHeadSize);
    clRecord.payload = nullptr;
    clRecord.spare64 = 0;
    clRecord.spare32 = 0;

    if (DecodeOutcome clRefused{}; RefusedByType(pFrame, lLength, lVersion, clRefused))
        return clRefused;

    const uint8_t *pSub = pFrame + kFrameHeadSize;
    clRecord.sourceByte = pSub[kSourceByteAt];
    clRecord.frequency = ReadBe64(pSub + kFrequencyAt);
    clRecord.symbolRate = ReadBe32(pSub + kSymbolRateAt);
    clRecord.value16 = ReadBe16(pSub + kSubValue16At);
    clRecord.payloadLength -= uint32_t(kSubHeaderSize);

    using namespace container_body;
    const uint8_t *pBody = pFrame + kRecordBodyOffset;
    const uint32_t lBody = lLength - uint32_t(kRecordBodyOffset);
    const DecodeOutcome delivered{DecodeAction::Deliver, lLength};
    switch (lType) {
    case RECORD_GENERIC:
        clRecord.payload = const_cast<uint8_t *>(pBody);
        return delivered;
    case RECORD_TETRA:
    case RECORD_TETRA_AUX:
    case RECORD_TETRA_EXTENDED: {
        // The head fields all lie before the data, which is copied last.
        const bool bGood =
            DecodeTetraBody(pBody, lBody, lType, lVersion, clRecord.frequency, clArea.tetra);
        lDirty = uint32_t(offsetof(TetraTmv, data)) +
                 (bGood ? DataBytesForBits(clArea.tetra.bitCount) : 0);
        if (!bGood)
            return damagedFrame;
        clRecord.payloadKind = lType == RECORD_TETRA_AUX ? PAYLOAD_TETRA_AUX : PAYLOAD_TETRA;
        clRecord.payloadLength = kTetraTmvLength;
        clRecord.payload = &clArea.tetra;
        return delivered;
    }
    case RECORD_NOTICE:
        if (!bDeliverNotices)
            return {DecodeAction::GoOn, lLength};
        if (lBody < kNoticeBodySize)
            return damagedFrame;
        DecodeNoticeBody(pBody, clArea.notice);
        lDirty = kNoticeTmvLength;
        clRecord.payloadKind = PAYLOAD_NOTICE;
        clRecord.payloadLength = kNoticeTmvLength;
        clRecord.payload = &clArea.notice;
        return delivered;
    case RECORD_DMR:
        if (!DecodeDmrBody(pBody, lBody, lVersion, clDmrMemory, clArea.dmr, lDirty))
            return damagedFrame;
        clRecord.payloadKind = PAYLOAD_DMR;
        clRecord.payloadLength = kDmrTmvLength;
        clRecord.payload = &clArea.dmr;
        return delivered;
    default: { // RECORD_GSM
        // As with TETRA: head fields first, the data last.
        const bool bGood = DecodeGsmBody(pBody, lBody, clArea.gsm);
        lDirty =
            uint32_t(offsetof(GsmTmv, data)) + (bGood ? DataBytesForBits(clArea.gsm.bitCount) : 0);
        if (!bGood)
            return damagedFrame;
        clRecord.payloadKind = PAYLOAD_GSM;
        clRecord.payloadLength = kGsmTmvLength;
        clRecord.payload = &clArea.gsm;
        return delivered;
    }
    }
}

DecodeOutcome ClassifyRecord(const uint8_t *pFrame, uint32_t lLength, int lVersion,
                             bool bDeliverNotices, FrameFacts &clFacts,
                             DmrTimeslotMemory &clDmrMemory) {
    // The same steps as DecodeRecord, in the same order.
    const DecodeOutcome damagedFrame{DecodeAction::Damaged, lLength};
    if (lLength < kFrameHeadSize || pFrame[kFlagAt] != 0)
        return damagedFrame;
    const uint8_t lType = pFrame[kTypeAt];
    if (DecodeOutcome clRefused{}; RefusedByType(pFrame, lLength, lVersion, clRefused))
        return clRefused;

    using namespace container_body;
    const uint8_t *pBody = pFrame + kRecordBodyOffset;
    const uint32_t lBody = lLength - uint32_t(kRecordBodyOffset);
    // The writer stores zeros there, whatever the record.
    uint64_t lSubZero = 0;
    std::memcpy(&lSubZero, pFrame + kFrameHeadSize + kSubZeroAt, sizeof(lSubZero));
    bool bVerbatim = true;
    clFacts.timed = true;
    clFacts.milliseconds = 0;
    switch (lType) {
    case RECORD_GENERIC:
        clFacts.kind = PAYLOAD_GENERIC;
        // A native 64-bit value, as RecordTimeSeconds reads it.
        clFacts.timed = lBody >= kGenericTimeOffset + sizeof(uint64_t);
        if (clFacts.timed) {
            uint64_t lTime = 0;
            std::memcpy(&lTime, pBody + kGenericTimeOffset, sizeof(lTime));
            clFacts.time = int64_t(lTime);
        }
        break;
    case RECORD_TETRA:
    case RECORD_TETRA_AUX:
    case RECORD_TETRA_EXTENDED:
        if (!CheckTetraBody(pBody, lBody, lType, lVersion, bVerbatim))
            return damagedFrame;
        clFacts.kind = lType == RECORD_TETRA_AUX ? PAYLOAD_TETRA_AUX : PAYLOAD_TETRA;
        clFacts.time = int64_t(ReadBe64(pBody));
        clFacts.milliseconds = ReadBe16(pBody + 8);
        break;
    case RECORD_NOTICE:
        if (!bDeliverNotices)
            return {DecodeAction::GoOn, lLength};
        if (lBody < kNoticeBodySize)
            return damagedFrame;
        clFacts.kind = PAYLOAD_NOTICE;
        clFacts.timed = false;
        bVerbatim = lBody == kNoticeBodySize;
        break;
    case RECORD_DMR:
        if (!CheckDmrBody(pBody, lBody, lVersion, clDmrMemory, bVerbatim))
            return damagedFrame;
        clFacts.kind = PAYLOAD_DMR;
        clFacts.time = int64_t(ReadBe64(pBody + (lVersion >= 3 ? 2 : 1)));
        clFacts.milliseconds = ReadBe16(pBody + (lVersion >= 3 ? 10 : 9));
        break;
    default: // RECORD_GSM
        if (!CheckGsmBody(pBody, lBody))
            return damagedFrame;
        clFacts.kind = PAYLOAD_GSM;
        clFacts.time = GsmFileTimeToSeconds(ReadBe64(pBody));
        clFacts.milliseconds = uint16_t(ReadBe64(pBody) / 10000u % 1000u);
        break;
    }
    clFacts.verbatim = bVerbatim && lSubZero == 0 && lVersion == kWriterVersion;
    return {DecodeAction::Deliver, lLength};
}
