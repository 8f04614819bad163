#include "ContainerModel.h"

#include <QStringList>

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <type_traits>

// Payload structures and the header's extra value are held little-endian,
// the host order.
static_assert(std::endian::native == std::endian::little);

namespace ContainerBytes {

CByteWriter &CByteWriter::U8(uint8_t lValue) {
    return m_clBytes.append(char(lValue)), *this;
}
CByteWriter &CByteWriter::U16(uint16_t lValue) {
    return U8(uint8_t(lValue >> 8)).U8(uint8_t(lValue));
}
CByteWriter &CByteWriter::U32(uint32_t lValue) {
    return U16(uint16_t(lValue >> 16)).U16(uint16_t(lValue));
}
CByteWriter &CByteWriter::U48(uint64_t lValue) {
    return U16(uint16_t(lValue >> 32)).U32(uint32_t(lValue));
}
CByteWriter &CByteWriter::U64(uint64_t lValue) {
    return U32(uint32_t(lValue >> 32)).U32(uint32_t(lValue));
}
CByteWriter &CByteWriter::Bytes(const QByteArray &clBytes) {
    return m_clBytes.append(clBytes), *this;
}
CByteWriter &CByteWriter::Padded(const QByteArray &clBytes, int lSize) {
    return Bytes(clBytes.left(lSize)).Zeros(lSize - int(clBytes.left(lSize).size()));
}
CByteWriter &CByteWriter::Zeros(int lCount) {
    return Bytes(QByteArray(lCount, '\0'));
}

uint32_t StoredChecksum(const QByteArray &clBytes) {
    const uLong lCrc =
        crc32(0L, reinterpret_cast<const Bytef *>(clBytes.constData()), uInt(clBytes.size()));
    return ~uint32_t(lCrc);
}

uint16_t Be16At(const QByteArray &clBytes, int lOffset) {
    return uint16_t((uint8_t(clBytes.at(lOffset)) << 8) | uint8_t(clBytes.at(lOffset + 1)));
}
uint32_t Be32At(const QByteArray &clBytes, int lOffset) {
    return (uint32_t(Be16At(clBytes, lOffset)) << 16) | Be16At(clBytes, lOffset + 2);
}
uint64_t Be64At(const QByteArray &clBytes, int lOffset) {
    return (uint64_t(Be32At(clBytes, lOffset)) << 32) | Be32At(clBytes, lOffset + 4);
}

QByteArray MagicText(int lVersion) {
    return QByteArray("BRENNOVARSTIK_V") + QByteArray::number(lVersion) + QByteArray(7, '_');
}

QByteArray Header(const HeaderFields &h) {
    CByteWriter w;
    w.Padded(h.magic, 24).U32(h.headerLength).U32(h.zeroField).U8(h.oneField).U64(h.fileMagic);
    w.U64(uint64_t(h.startTime)).U16(h.value16).Padded(h.recordingType, 128);
    w.Padded(h.infoText1, 64).Padded(h.infoText2, 64).Padded(h.reservedBlock, 1024);
    w.Padded(h.infoText3, 1000).Padded(h.extraBytes, 16);
    return w.Bytes(QByteArray(reinterpret_cast<const char *>(&h.extraValue), 8)).Result();
}

QByteArray VersionHeader(int lVersion) {
    HeaderFields clFields;
    clFields.magic = MagicText(lVersion);
    return Header(clFields);
}

QByteArray HeaderOf(const FileHeaderInfo &clInfo) {
    auto field = [](const auto &clField) {
        return QByteArray(reinterpret_cast<const char *>(&clField), sizeof clField);
    };
    HeaderFields clFields;
    clFields.fileMagic = clInfo.fileMagic;
    clFields.startTime = clInfo.startTime;
    clFields.value16 = clInfo.value16;
    clFields.recordingType = field(clInfo.recordingType);
    clFields.infoText1 = field(clInfo.infoText1);
    clFields.infoText2 = field(clInfo.infoText2);
    clFields.infoText3 = field(clInfo.infoText3);
    clFields.extraBytes = field(clInfo.extraBytes);
    clFields.extraValue = clInfo.extraValue;
    return Header(clFields);
}

bool HeaderInfoOf(const QByteArray &clHeader, FileHeaderInfo &clInfo, int &lVersion) {
    lVersion = 0;
    for (int v = 1; v <= 3; ++v)
        if (clHeader.size() >= kHeaderSize && clHeader.left(24) == MagicText(v) + '\0')
            lVersion = v;
    if (lVersion == 0)
        return false;
    std::memset(&clInfo, 0, sizeof clInfo);
    clInfo.infoType = 1;
    clInfo.fileMagic = Be64At(clHeader, 33);
    clInfo.startTime = int64_t(Be64At(clHeader, 41));
    clInfo.value16 = Be16At(clHeader, 49);
    // Every text keeps its last byte zero, even without a terminator.
    std::memcpy(clInfo.recordingType, clHeader.constData() + 51, 127);
    std::memcpy(clInfo.infoText1, clHeader.constData() + 179, 63);
    std::memcpy(clInfo.infoText2, clHeader.constData() + 243, 63);
    std::memcpy(clInfo.reservedBlock, clHeader.constData() + 307, 1024);
    std::memcpy(clInfo.infoText3, clHeader.constData() + 1331, 999);
    std::memcpy(clInfo.extraBytes, clHeader.constData() + 2331, 16);
    std::memcpy(&clInfo.extraValue, clHeader.constData() + 2347, 8);
    return true;
}

QByteArray Frame(uint8_t lType, const QByteArray &clAfterHead, uint8_t lFlag) {
    CByteWriter w;
    w.U32(uint32_t(kFrameHead + clAfterHead.size())).U8(lType).U8(lFlag);
    return w.U32(StoredChecksum(clAfterHead)).Bytes(clAfterHead).Result();
}

QByteArray Record(uint8_t lType, const SubHeader &clSub, const QByteArray &clBody) {
    CByteWriter w;
    w.U8(clSub.sourceByte).U64(clSub.frequency).U32(clSub.symbolRate).U16(clSub.value16);
    return Frame(lType, w.Zeros(8).Bytes(clBody).Result());
}

QByteArray LabelRecord(const QByteArray &clLabel, int lPayloadSize) {
    QByteArray clPayload = clLabel;
    clPayload.append(QByteArray(std::max(0, lPayloadSize - int(clLabel.size())), '\0'));
    return Record(2, SubHeader{}, clPayload);
}

QByteArray TetraBodyBytes(const TetraBody &b, TetraLayout enLayout) {
    CByteWriter w;
    w.U64(b.timeSeconds).U16(b.milliseconds).U16(b.hyperframe).U8(b.multiframe).U8(b.frame);
    w.U8(b.timeslot).U8(b.valueFlags).U16(b.valueSlots[0]).U16(b.valueSlots[1]);
    w.U16(b.valueSlots[2]).U8(b.direction).U8(b.channelCode).U16(b.bitCount).U8(b.dataFlags);
    w.U8(b.burstType).U8(b.burstInfo[0]).U8(b.burstInfo[1]).U8(b.burstInfo[2]);
    if (enLayout != TetraLayout::V1)
        w.U8(b.flags2);
    if (enLayout == TetraLayout::Extended) {
        w.U8(b.extended).U16(b.ext2).U32(b.ext3).U32(b.ext4).U8(b.ext1);
        for (uint16_t lWord : b.ext5)
            w.U16(lWord);
    }
    return w.Bytes(b.data).Result();
}

QByteArray DmrBodyBytes(const DmrBody &b) {
    CByteWriter w;
    if (b.withTimeslot)
        w.U8(b.timeslot);
    w.U8(b.burstKind).U64(b.timeSeconds).U16(b.milliseconds).U16(b.word1).U8(b.byte1);
    w.U8(b.byte2).U8(b.optionalFlags).U48(b.value48).U8(b.byte4).U16(b.word2).U16(b.word3);
    w.U16(b.word4).U16(b.word5).U8(uint8_t(b.itemCount < 0 ? b.items.size() : b.itemCount));
    for (const DmrItemBytes &clItem : b.items)
        w.U8(clItem.kind).U8(clItem.flags).U8(clItem.length).Bytes(clItem.data);
    return w.Bytes(b.trailing).Result();
}

QByteArray NoticeBodyBytes(uint32_t lCode, uint32_t lValue, const QByteArray &clText) {
    CByteWriter clOut;
    return clOut.U32(lCode).U32(lValue).Padded(clText, 128).Result();
}

// ---- The writer's rules ----

int DmrSlotOf(int lKind) {
    // Kinds 0 to 39.
    static constexpr int8_t kSlots[40] = {-1, 2, 4, 0, 0, 3, 1, 3, 5, 5, 5, 5, 5, 5,
                                          5,  5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 2,
                                          2,  2, 2, 2, 2, 2, 2, 2, 3, 1, 3, 6};
    return lKind >= 0 && lKind < 40 ? kSlots[lKind] : -1;
}

namespace {

constexpr uint8_t kValid[3] = {0x80, 0x40, 0x20};

int DataBytes(int lBits) {
    return (lBits + 7) / 8;
}

bool TypeInVersion(int lType, int lVersion) {
    if (lType == 6 || lType == 8)
        return lVersion >= 2;
    return (lType >= 2 && lType <= 5) || (lType == 9 && lVersion >= 3);
}

// A field of a record body: lSize big-endian bytes at lFile, held in the
// payload structure at lAt in lHeld bytes (sign-extended when signed); lCount
// such fields follow each other.
struct Field {
    int lFile;
    int lSize;
    size_t lAt;
    int lHeld;
    bool bSigned;
    int lCount;
};
#define FIELD(file, size, S, m)                                                                    \
    Field {                                                                                        \
        file, size, offsetof(S, m), int(sizeof(S::m)), std::is_signed_v<decltype(S::m)>, 1         \
    }
#define FIELDS(file, size, S, m, count)                                                            \
    Field {                                                                                        \
        file, size, offsetof(S, m), int(sizeof(S::m)) / count, false, count                        \
    }

const Field kTetraFields[] = {
    FIELD(0, 8, TetraTmv, timeSeconds), FIELD(8, 2, TetraTmv, milliseconds),
    FIELD(10, 2, TetraTmv, hyperframe), FIELD(12, 1, TetraTmv, multiframe),
    FIELD(13, 1, TetraTmv, frame),      FIELD(14, 1, TetraTmv, timeslot),
    FIELD(15, 1, TetraTmv, valueFlags), FIELD(16, 2, TetraTmv, value1),
    FIELD(18, 2, TetraTmv, value2),     FIELD(20, 2, TetraTmv, value3),
    FIELD(22, 1, TetraTmv, direction),  FIELD(23, 1, TetraTmv, channelCode),
    FIELD(24, 2, TetraTmv, bitCount),   FIELD(26, 1, TetraTmv, dataFlags),
    FIELD(27, 1, TetraTmv, burstType),  FIELDS(28, 1, TetraTmv, burstInfo, 3)};
const Field kTetraFlags2 = FIELD(31, 1, TetraTmv, flags2);
const Field kTetraExtended[] = {FIELD(32, 1, TetraTmv, extended), FIELD(33, 2, TetraTmv, ext2),
                                FIELD(35, 4, TetraTmv, ext3),     FIELD(39, 4, TetraTmv, ext4),
                                FIELD(43, 1, TetraTmv, ext1),     FIELDS(44, 2, TetraTmv, ext5, 9)};
const Field kGsmFields[] = {
    FIELD(0, 8, GsmTmv, fileTime),  FIELD(8, 4, GsmTmv, value1),    FIELD(12, 1, GsmTmv, byte1),
    FIELD(13, 2, GsmTmv, word1),    FIELD(15, 2, GsmTmv, word2),    FIELD(17, 2, GsmTmv, word3),
    FIELD(19, 8, GsmTmv, value2),   FIELD(27, 1, GsmTmv, byte2),    FIELD(28, 1, GsmTmv, direction),
    FIELD(29, 1, GsmTmv, byte3),    FIELD(30, 2, GsmTmv, bitCount), FIELD(32, 1, GsmTmv, byte4),
    FIELD(33, 1, GsmTmv, byte5),    FIELD(34, 1, GsmTmv, byte6),    FIELD(35, 2, GsmTmv, word4),
    FIELD(37, 4, GsmTmv, value3),   FIELD(41, 4, GsmTmv, value4),   FIELD(45, 1, GsmTmv, byte7),
    FIELDS(46, 2, GsmTmv, words, 9)};
// After the timeslot byte, which only version 3 stores.
const Field kDmrFields[] = {FIELD(0, 1, DmrTmv, burstKind),      FIELD(1, 8, DmrTmv, timeSeconds),
                            FIELD(9, 2, DmrTmv, milliseconds),   FIELD(11, 2, DmrTmv, word1),
                            FIELD(13, 1, DmrTmv, byte1),         FIELD(14, 1, DmrTmv, byte2),
                            FIELD(15, 1, DmrTmv, optionalFlags), FIELD(16, 6, DmrTmv, value48),
                            FIELD(22, 1, DmrTmv, byte4),         FIELD(23, 2, DmrTmv, word2),
                            FIELD(25, 2, DmrTmv, word3),         FIELD(27, 2, DmrTmv, word4),
                            FIELD(29, 2, DmrTmv, word5)};
const Field kNoticeFields[] = {FIELD(0, 4, NoticeTmv, code), FIELD(4, 4, NoticeTmv, value),
                               FIELDS(8, 1, NoticeTmv, text, 128)};

uint64_t HeldValue(const uint8_t *p, int lHeld) {
    uint64_t v = 0;
    std::memcpy(&v, p, size_t(lHeld));
    return v;
}
void Hold(uint8_t *p, int lHeld, uint64_t lValue) {
    std::memcpy(p, &lValue, size_t(lHeld));
}

template <size_t N> void Put(uchar *pBody, const void *pStruct, const Field (&aFields)[N]) {
    for (const Field &f : aFields)
        for (int k = 0; k < f.lCount; ++k) {
            const uint64_t v = HeldValue(
                static_cast<const uint8_t *>(pStruct) + f.lAt + size_t(k * f.lHeld), f.lHeld);
            for (int i = 0; i < f.lSize; ++i)
                pBody[f.lFile + k * f.lSize + i] = uchar(v >> (8 * (f.lSize - 1 - i)));
        }
}

template <size_t N> void Get(const uchar *pBody, void *pStruct, const Field (&aFields)[N]) {
    for (const Field &f : aFields)
        for (int k = 0; k < f.lCount; ++k) {
            uint64_t v = 0;
            for (int i = 0; i < f.lSize; ++i)
                v = (v << 8) | pBody[f.lFile + k * f.lSize + i];
            const int lBits = 8 * f.lSize;
            if (f.bSigned && lBits < 64 && (v >> (lBits - 1)) & 1)
                v |= ~uint64_t(0) << lBits;
            Hold(static_cast<uint8_t *>(pStruct) + f.lAt + size_t(k * f.lHeld), f.lHeld, v);
        }
}

int TetraHead(int lType, int lVersion) {
    return lType == 8 ? 62 : lType == 3 && lVersion == 1 ? 31 : 32;
}

QByteArray TetraBodyOf(const TetraTmv &t, int lType, int lVersion) {
    const int lHead = TetraHead(lType, lVersion);
    QByteArray clBody(lHead, '\0');
    uchar *b = reinterpret_cast<uchar *>(clBody.data());
    Put(b, &t, kTetraFields);
    if (lHead > 31)
        Put(b, &t, {kTetraFlags2});
    if (lType == 8)
        Put(b, &t, kTetraExtended);
    // The extra value goes into a value slot not marked valid; with none
    // free, the frame's parity chooses the slot that is given up.
    if (lType != 6 && lVersion >= 2 && (t.flags2 & 0x04)) {
        int lSlot = 0;
        while (lSlot < 3 && (t.valueFlags & kValid[lSlot]))
            ++lSlot;
        if (lSlot == 3) {
            lSlot = (t.frame & 1) ? 1 : 2;
            b[15] = uchar(b[15] & ~kValid[lSlot]);
        }
        b[16 + 2 * lSlot] = uchar(t.extraValue >> 8);
        b[17 + 2 * lSlot] = uchar(t.extraValue);
    }
    return clBody + QByteArray(reinterpret_cast<const char *>(t.data), DataBytes(t.bitCount));
}

// False when an item cannot be stored as it would read back.
bool DmrBodyOf(const DmrTmv &d, int lVersion, QByteArray &clBody) {
    const int lShift = lVersion >= 3 ? 1 : 0;
    clBody = QByteArray(32 + lShift, '\0');
    uchar *b = reinterpret_cast<uchar *>(clBody.data());
    b[0] = d.timeslot;
    Put(b + lShift, &d, kDmrFields);
    for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot) {
        const DmrConstItemRef ref = DmrItemAt(d, lSlot);
        const DmrItem &i = *ref.item;
        const int lKind = int(i.itemKind);
        if (lKind == 0 || (lSlot < 2 && d.burstKind != 1))
            continue;
        if (DmrSlotOf(lKind) != lSlot)
            return false;
        if (lVersion < 3 && lKind == 39)
            continue;
        const int lBytes = DataBytes(i.bitCount);
        if ((lVersion < 3 && (i.itemFlags & 0xC0)) || lBytes > kDmrMaxBytes[lSlot])
            return false;
        const uint8_t lHigh = i.highFlag && i.bitCount ? 0x80 : 0;
        clBody += char(lKind);
        if (lVersion >= 3) {
            clBody += char((i.itemFlags & 0x3F) | lHigh | (lKind == 39 ? 0x40 : 0));
            clBody += char(lKind == 39 ? lBytes : i.bitCount);
        } else {
            clBody += char(i.itemFlags | lHigh);
            clBody += char(i.bitCount);
        }
        clBody += QByteArray(reinterpret_cast<const char *>(ref.data), lBytes);
        ++clBody[31 + lShift];
    }
    return true;
}

} // namespace

QByteArray EncodeFrame(const RawRecord &clRecord, int lVersion, FileResult *pRefusal) {
    auto refuse = [pRefusal](FileResult enResult) {
        if (pRefusal)
            *pRefusal = enResult;
        return QByteArray();
    };
    // Payload kinds 0, 1, 3, 4 and 20 have a fixed length and their own type.
    static constexpr uint8_t kKinds[5] = {0, 1, 3, 4, 20};
    static constexpr int kTypes[5] = {3, 5, 6, 9, 4};
    static constexpr uint32_t kLengths[5] = {kTetraTmvLength, kDmrTmvLength, kTetraTmvLength,
                                             kGsmTmvLength, kNoticeTmvLength};
    int lType = 2;
    for (int i = 0; i < 5; ++i) {
        if (clRecord.payloadKind != kKinds[i])
            continue;
        if (clRecord.payloadLength != kLengths[i] || clRecord.payload == nullptr)
            return refuse(FILE_DAMAGED);
        lType = kTypes[i];
    }
    if (clRecord.payloadLength != 0 && clRecord.payload == nullptr)
        return refuse(FILE_DAMAGED);
    const void *p = clRecord.payload;
    const auto *t = static_cast<const TetraTmv *>(p);
    if (lType == 3 && t->extended)
        lType = 8;
    if (!TypeInVersion(lType, lVersion))
        return refuse(FILE_DAMAGED);
    QByteArray clBody;
    switch (lType) {
    case 3:
    case 6:
    case 8:
        if (DataBytes(t->bitCount) > int(kTetraDataCopyLimit))
            return refuse(FILE_DAMAGED);
        clBody = TetraBodyOf(*t, lType, lVersion);
        break;
    case 5:
        if (!DmrBodyOf(*static_cast<const DmrTmv *>(p), lVersion, clBody))
            return refuse(FILE_DAMAGED);
        break;
    case 9: {
        const auto &g = *static_cast<const GsmTmv *>(p);
        if (DataBytes(g.bitCount) > int(kGsmDataCopyLimit))
            return refuse(FILE_DAMAGED);
        clBody = QByteArray(64, '\0');
        Put(reinterpret_cast<uchar *>(clBody.data()), &g, kGsmFields);
        clBody += QByteArray(reinterpret_cast<const char *>(g.data), DataBytes(g.bitCount));
        break;
    }
    case 4:
        clBody = QByteArray(136, '\0');
        Put(reinterpret_cast<uchar *>(clBody.data()), p, kNoticeFields);
        break;
    default:
        if (clRecord.payloadLength > uint32_t(kMaxLength - kBodyOffset))
            return refuse(FILE_NO_BUFFER);
        clBody = QByteArray(static_cast<const char *>(p), int(clRecord.payloadLength));
    }
    return Record(uint8_t(lType),
                  {clRecord.sourceByte, clRecord.frequency, clRecord.symbolRate, clRecord.value16},
                  clBody);
}

// ---- The reader's rules ----

namespace {

enum class Action { Deliver, Damaged, GoOn };
struct Outcome {
    Action action;
    qint64 consumed;
};

struct DmrMemory {
    uint8_t remembered = 0;
    bool armed = false;
};

bool DecodeTetra(const uchar *b, int lBody, int lType, int lVersion, TetraTmv &t) {
    const int lHead = TetraHead(lType, lVersion);
    if (lBody < lHead)
        return false;
    Get(b, &t, kTetraFields);
    if (lHead > 31)
        Get(b, &t, {kTetraFlags2});
    if (lType == 8)
        Get(b, &t, kTetraExtended);
    if (lType != 6 && lVersion >= 2 && (t.flags2 & 0x04)) {
        int32_t *aValues[3] = {&t.value1, &t.value2, &t.value3};
        for (int i = 0; i < 3; ++i) {
            if (!(t.valueFlags & kValid[i])) {
                t.extraValue = uint16_t(*aValues[i]);
                *aValues[i] = 0;
                break;
            }
        }
    }
    const int lData = DataBytes(t.bitCount);
    if (lBody - lHead != lData || lData > int(kTetraDataCopyLimit))
        return false;
    std::memcpy(t.data, b + lHead, size_t(lData));
    return true;
}

bool DecodeGsm(const uchar *b, int lBody, GsmTmv &g) {
    if (lBody < 64)
        return false;
    Get(b, &g, kGsmFields);
    const int lData = DataBytes(g.bitCount);
    if (lBody - 64 != lData || lData > int(kGsmDataCopyLimit))
        return false;
    std::memcpy(g.data, b + 64, size_t(lData));
    return true;
}

bool DecodeDmr(const uchar *b, int lBody, int lVersion, DmrMemory &clMemory, DmrTmv &d) {
    const int lHead = lVersion >= 3 ? 33 : 32;
    if (lBody < lHead)
        return false;
    const uchar *h = b + (lVersion >= 3 ? 1 : 0);
    d.timeslot = lVersion >= 3 ? b[0] : 0;
    Get(h, &d, kDmrFields);
    const int lCount = std::min<int>(h[31], lVersion >= 3 ? 7 : 6);
    if (lVersion < 3) {
        // The timeslot is not stored: burst kind 1 opens a pair, kind 2 is
        // its second record, other kinds repeat the last one.
        if (d.burstKind == 1) {
            clMemory = {0, true};
        } else if (d.burstKind == 2) {
            if (clMemory.armed)
                clMemory.remembered = 1;
            d.timeslot = clMemory.armed ? 1 : 0;
        } else {
            d.timeslot = clMemory.remembered;
        }
    }
    int lAt = lHead;
    for (int n = 0; n < lCount; ++n) {
        if (lBody - lAt < 3)
            return false;
        int lKind = b[lAt];
        const uint8_t lFlags = b[lAt + 1];
        int lBits = b[lAt + 2];
        if (lVersion >= 3)
            lKind = std::min(lKind, 39);
        if (lKind < 1 || lKind > 39)
            return false;
        const int lSlot = DmrSlotOf(lKind);
        const DmrItemRef ref = DmrItemAt(d, lSlot);
        std::memset(ref.data, 0, ref.capacity); // a later item of a slot replaces it whole
        ref.item->itemKind = uint32_t(lKind);
        ref.item->highFlag = (lFlags & 0x80) ? 1 : 0;
        const int lMaxBits = kDmrMaxBytes[lSlot] * 8;
        if (lVersion >= 3) {
            ref.item->itemFlags = lFlags & 0x3F;
            if (lFlags & 0x40)
                lBits *= 8;
        } else {
            ref.item->itemFlags = (lFlags & 0x80) ? (lFlags & 0x3F) : lFlags;
            if ((ref.item->itemFlags & 0x40) || lKind == 39) {
                // Announced without data: nothing of it is consumed.
                ref.item->bitCount = uint16_t(std::min(lBits, lMaxBits));
                continue;
            }
        }
        ref.item->bitCount = uint16_t(std::min(lBits, lMaxBits));
        lAt += 3;
        const int lData = DataBytes(ref.item->bitCount);
        if (lData > lBody - lAt)
            return false;
        std::memcpy(ref.data, b + lAt, size_t(lData));
        lAt += lData;
    }
    return true;
}

// Decodes the frame of lLength bytes at lAt, whose checksum is good.
Outcome DecodeAt(const QByteArray &clFile, qint64 lAt, int lLength, int lVersion, bool bNotices,
                 DmrMemory &clMemory, ReadEvent &clEvent) {
    const uchar *f = reinterpret_cast<const uchar *>(clFile.constData()) + lAt;
    const Outcome damagedFrame{Action::Damaged, lLength};
    const Outcome damagedHead{Action::Damaged, kFrameHead};
    const int lType = f[4];
    if (f[5] != 0 || lType == 0)
        return damagedFrame;
    if (lType < 2 || lType == 7 || lType > 9)
        return {Action::GoOn, kFrameHead};
    if (!TypeInVersion(lType, lVersion))
        return lType == 8 ? damagedFrame : damagedHead;
    if (lLength < kBodyOffset)
        return damagedFrame;

    RawRecord &r = clEvent.record;
    r = RawRecord{};
    r.recordClass = 2;
    r.sourceByte = f[10];
    r.frequency = Be64At(clFile, int(lAt) + 11);
    r.symbolRate = Be32At(clFile, int(lAt) + 19);
    r.value16 = Be16At(clFile, int(lAt) + 23);
    clEvent.offset = lAt;
    const uchar *b = f + kBodyOffset;
    const int lBody = lLength - kBodyOffset;
    union {
        TetraTmv tetra;
        DmrTmv dmr;
        GsmTmv gsm;
        NoticeTmv notice;
    } clArea;
    std::memset(&clArea, 0, sizeof clArea);
    bool bGood = true;
    switch (lType) {
    case 2:
        r.payloadKind = PAYLOAD_GENERIC;
        r.payloadLength = uint32_t(lBody);
        clEvent.payload = QByteArray(reinterpret_cast<const char *>(b), lBody);
        return {Action::Deliver, lLength};
    case 3:
    case 6:
    case 8:
        bGood = DecodeTetra(b, lBody, lType, lVersion, clArea.tetra);
        clArea.tetra.frequency = r.frequency;
        r.payloadKind = lType == 6 ? PAYLOAD_TETRA_AUX : PAYLOAD_TETRA;
        r.payloadLength = kTetraTmvLength;
        break;
    case 4:
        if (!bNotices)
            return {Action::GoOn, lLength};
        bGood = lBody >= 136;
        if (bGood)
            Get(b, &clArea.notice, kNoticeFields);
        r.payloadKind = PAYLOAD_NOTICE;
        r.payloadLength = kNoticeTmvLength;
        break;
    case 5:
        bGood = DecodeDmr(b, lBody, lVersion, clMemory, clArea.dmr);
        r.payloadKind = PAYLOAD_DMR;
        r.payloadLength = kDmrTmvLength;
        break;
    default:
        bGood = DecodeGsm(b, lBody, clArea.gsm);
        r.payloadKind = PAYLOAD_GSM;
        r.payloadLength = kGsmTmvLength;
    }
    clEvent.payload = QByteArray(reinterpret_cast<const char *>(&clArea), int(r.payloadLength));
    return bGood ? Outcome{Action::Deliver, lLength} : damagedFrame;
}

bool ChecksumGood(const QByteArray &clFile, qint64 lAt, int lLength) {
    return Be32At(clFile, int(lAt) + 6) == StoredChecksum(clFile.mid(int(lAt) + 10, lLength - 10));
}

// A frame a writer of lVersion makes, whole in the file, with a good checksum.
bool FrameAt(const QByteArray &clFile, qint64 lAt, int lVersion) {
    const qint64 lLeft = clFile.size() - lAt;
    if (lLeft < kFrameHead)
        return false;
    const uint32_t lLength = Be32At(clFile, int(lAt));
    return lLength >= uint32_t(kBodyOffset) && lLength <= uint32_t(kMaxLength) &&
           lLength <= lLeft && clFile[lAt + 5] == 0 &&
           TypeInVersion(uint8_t(clFile[lAt + 4]), lVersion) &&
           ChecksumGood(clFile, lAt, int(lLength));
}

} // namespace

QList<ReadEvent> ModelRead(const QByteArray &clFile, bool bNotices) {
    QList<ReadEvent> clEvents;
    FileHeaderInfo clInfo;
    int lVersion = 0;
    if (!HeaderInfoOf(clFile, clInfo, lVersion))
        return clEvents;
    DmrMemory clMemory;
    qint64 lAt = kHeaderSize;
    bool bSearching = false;
    bool bEndOfSearchReported = false;
    auto answer = [&clEvents](FileResult enResult, const ReadEvent &clEvent = {}) {
        clEvents.append(clEvent);
        clEvents.last().result = enResult;
    };
    for (;;) {
        const qint64 lLeft = clFile.size() - lAt;
        if (lLeft < kFrameHead) {
            // Damage at the end is reported once; after that the file ends.
            if (bSearching && !bEndOfSearchReported) {
                bEndOfSearchReported = true;
                answer(FILE_DAMAGED);
                continue;
            }
            answer(FILE_END_OF_DATA);
            return clEvents;
        }
        const uint32_t lLength = Be32At(clFile, int(lAt));
        if (bSearching) {
            if (!FrameAt(clFile, lAt, lVersion)) {
                ++lAt;
                continue;
            }
        } else if (lLength < uint32_t(kFrameHead) || lLength > uint32_t(kMaxLength)) {
            bSearching = true;
            bEndOfSearchReported = false;
            continue;
        } else if (lLength > lLeft) {
            // A length running past the end swallows nothing: the next frame
            // behind it is read, and without one the file ends here.
            qint64 lNext = lAt + 1;
            while (lNext + kFrameHead <= clFile.size() && !FrameAt(clFile, lNext, lVersion))
                ++lNext;
            if (lNext + kFrameHead > clFile.size()) {
                answer(FILE_END_OF_DATA);
                return clEvents;
            }
            lAt = lNext;
            continue;
        } else if (!ChecksumGood(clFile, lAt, int(lLength))) {
            bSearching = true;
            bEndOfSearchReported = false;
            ++lAt;
            continue;
        }
        bSearching = false;
        ReadEvent clEvent;
        const Outcome clOutcome =
            DecodeAt(clFile, lAt, int(lLength), lVersion, bNotices, clMemory, clEvent);
        lAt += clOutcome.consumed;
        if (clOutcome.action == Action::Deliver)
            answer(FILE_OK, clEvent);
        else if (clOutcome.action == Action::Damaged)
            answer(FILE_DAMAGED);
    }
}

QString DifferenceFrom(const RawRecord &clRead, const ReadEvent &clModel) {
    auto describe = [](const RawRecord &r, const void *p) {
        QStringList clFields;
        for (qulonglong v :
             {qulonglong(r.recordClass), qulonglong(r.payloadKind), qulonglong(r.payloadLength),
              qulonglong(r.sourceByte), qulonglong(r.frequency), qulonglong(r.symbolRate),
              qulonglong(r.value16), qulonglong(r.spare64), qulonglong(r.spare32)})
            clFields << QString::number(v);
        const QByteArray clPayload(static_cast<const char *>(p), p ? int(r.payloadLength) : 0);
        return clFields.join(' ') + " payload " + clPayload.toHex();
    };
    const QString clstrRead = describe(clRead, clRead.payload);
    const QString clstrFile = describe(clModel.record, clModel.payload.constData());
    return clstrRead == clstrFile ? QString() : clstrRead + ", the file says " + clstrFile;
}

} // namespace ContainerBytes

namespace container_walk {

QString CContainerWalker::CheckHeader() const {
    using namespace ContainerBytes;
    if (m_clBytes.size() < kHeaderSize)
        return QStringLiteral("file shorter than the header");
    if (m_clBytes.left(24) != MagicText(3) + '\0')
        return QStringLiteral("magic is not version 3");
    if (Be32At(m_clBytes, 24) != 2355 || Be32At(m_clBytes, 28) != 0 || m_clBytes[32] != 1)
        return QStringLiteral("bytes 24 to 32 are not as written");
    return QString();
}

QString CContainerWalker::Next(DecodedRecord &clRecord) {
    using namespace ContainerBytes;
    const qint64 lLeft = m_clBytes.size() - m_lPos;
    const QString clstrWhere = QStringLiteral(" at offset %1").arg(m_lPos);
    if (lLeft < kFrameHead)
        return QStringLiteral("frame head cut short") + clstrWhere;
    const uint32_t lLength = Be32At(m_clBytes, int(m_lPos));
    if (lLength < uint32_t(kFrameHead) || lLength > uint32_t(kMaxLength) || lLength > lLeft)
        return QStringLiteral("length %1 out of range").arg(lLength) + clstrWhere;
    // What a reader of a version-3 file makes of the frame alone.
    const QList<ReadEvent> clRead =
        ModelRead(VersionHeader(3) + m_clBytes.mid(m_lPos, lLength), true);
    if (clRead.size() != 2 || clRead.first().result != FILE_OK)
        return QStringLiteral("frame refused by the reading rules") + clstrWhere;
    clRecord = DecodedRecord{m_lPos, uint8_t(m_clBytes[m_lPos + 4]), clRead.first()};
    clRecord.model.offset = m_lPos;
    m_lPos += lLength;
    return QString();
}

} // namespace container_walk
