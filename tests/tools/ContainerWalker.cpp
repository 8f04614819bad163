#include "ContainerWalker.h"

#include <cstring>
#include <zlib.h>

namespace container_walk {

int ItemSlot(int lKind) {
    if (lKind == 3 || lKind == 4)
        return 0;
    if (lKind == 6 || lKind == 37)
        return 1;
    if (lKind == 1 || (lKind >= 27 && lKind <= 35))
        return 2;
    if (lKind == 5 || lKind == 7 || lKind == 36 || lKind == 38)
        return 3;
    if (lKind == 2)
        return 4;
    if (lKind >= 8 && lKind <= 26)
        return 5;
    if (lKind == 39)
        return 6;
    return -1;
}

QString KindName(int lType) {
    switch (lType) {
    case 2:
        return QStringLiteral("generic");
    case 3:
        return QStringLiteral("tetra");
    case 4:
        return QStringLiteral("notice");
    case 5:
        return QStringLiteral("dmr");
    case 6:
        return QStringLiteral("aux");
    case 8:
        return QStringLiteral("ext");
    case 9:
        return QStringLiteral("gsm");
    }
    return QString();
}

QString CContainerWalker::Next(DecodedRecord &clRecord) {
    const qint64 lLeft = m_clBytes.size() - m_lPos;
    const QString clstrWhere = QStringLiteral(" at offset %1").arg(m_lPos);
    if (lLeft < 10)
        return QStringLiteral("frame head cut short") + clstrWhere;
    const uchar *f = At(m_lPos);
    const uint32_t lLength = Be32(f);
    if (lLength < 10 || lLength > 131072)
        return QStringLiteral("length %1 out of range").arg(lLength) + clstrWhere;
    if (lLength > lLeft)
        return QStringLiteral("record runs past the end") + clstrWhere;
    const uint32_t lStored = Be32(f + 6);
    const uint32_t lCrc = uint32_t(crc32(0, f + 10, lLength - 10));
    if (lStored != uint32_t(~lCrc))
        return QStringLiteral("checksum mismatch") + clstrWhere;
    if (f[5] != 0)
        return QStringLiteral("nonzero flag byte") + clstrWhere;
    if (lLength < uint32_t(kBody))
        return QStringLiteral("record too short for its sub-header") + clstrWhere;
    if (Be64(f + 25) != 0)
        return QStringLiteral("sub-header bytes 25 to 32 not zero") + clstrWhere;

    clRecord = DecodedRecord();
    clRecord.offset = m_lPos;
    clRecord.type = f[4];
    clRecord.sourceByte = f[10];
    clRecord.frequency = Be64(f + 11);
    clRecord.symbolRate = Be32(f + 19);
    clRecord.value16 = Be16(f + 23);
    const QString clstrError = DecodeBody(f, lLength, clRecord);
    if (!clstrError.isEmpty())
        return clstrError + clstrWhere;
    m_lPos += lLength;
    return QString();
}

QString CContainerWalker::DecodeBody(const uchar *f, uint32_t lLength, DecodedRecord &r) {
    const uchar *b = f + kBody;
    const uint32_t lBody = lLength - kBody;
    switch (r.type) {
    case 2:
        r.generic = QByteArray(reinterpret_cast<const char *>(b), int(lBody));
        if (lBody >= 24) {
            r.hasTime = true;
            r.timeMs = int64_t(Le64(b + 16)) * 1000;
        }
        return QString();
    case 3:
    case 6:
    case 8:
        return DecodeTetra(b, lLength, r);
    case 4:
        if (lLength != 169)
            return QStringLiteral("notice of length %1").arg(lLength);
        r.noticeCode = Be32(b);
        r.noticeValue = Be32(b + 4);
        r.noticeText = QByteArray(reinterpret_cast<const char *>(b + 8), 128);
        return QString();
    case 5:
        return DecodeDmr(b, lLength, r);
    case 9:
        return DecodeGsm(b, lLength, r);
    }
    return QStringLiteral("record type %1 not written by the tool").arg(r.type);
}

QString CContainerWalker::DecodeTetra(const uchar *b, uint32_t lLength, DecodedRecord &r) {
    const bool bExtended = r.type == 8;
    const uint32_t lHead = bExtended ? 62 : 32;
    if (lLength < kBody + lHead)
        return QStringLiteral("TETRA body too short");
    TetraTmv &t = r.tetra;
    std::memset(&t, 0, sizeof t);
    t.timeSeconds = Be64(b);
    t.milliseconds = Be16(b + 8);
    t.hyperframe = Be16(b + 10);
    t.multiframe = b[12];
    t.frame = b[13];
    t.timeslot = b[14];
    t.valueFlags = b[15];
    t.value1 = int16_t(Be16(b + 16));
    t.value2 = int16_t(Be16(b + 18));
    t.value3 = int16_t(Be16(b + 20));
    t.direction = b[22];
    t.channelCode = b[23];
    t.bitCount = Be16(b + 24);
    t.dataFlags = b[26];
    t.burstType = int8_t(b[27]);
    std::memcpy(t.burstInfo, b + 28, 3);
    t.flags2 = b[31];
    t.frequency = r.frequency;
    if (bExtended) {
        t.extended = b[32];
        t.ext2 = Be16(b + 33);
        t.ext3 = Be32(b + 35);
        t.ext4 = Be32(b + 39);
        t.ext1 = b[43];
        for (int i = 0; i < 9; ++i)
            t.ext5[i] = Be16(b + 44 + 2 * i);
        if (!t.extended)
            return QStringLiteral("extended TETRA record with extended 0");
    }
    const uint32_t lData = (t.bitCount + 7u) / 8u;
    if (lLength != kBody + lHead + lData)
        return QStringLiteral("TETRA length %1 does not fit %2 bits").arg(lLength).arg(t.bitCount);
    if (lData > sizeof t.data)
        return QStringLiteral("TETRA data larger than the payload");
    std::memcpy(t.data, b + lHead, lData);
    // The stored extra value sits in the first value slot not marked valid.
    if (r.type != 6 && (t.flags2 & 0x04)) {
        int32_t *pSlot = !(t.valueFlags & 0x80)   ? &t.value1
                         : !(t.valueFlags & 0x40) ? &t.value2
                         : !(t.valueFlags & 0x20) ? &t.value3
                                                  : nullptr;
        if (!pSlot)
            return QStringLiteral("extra value without a free value slot");
        t.extraValue = uint16_t(*pSlot);
        *pSlot = 0;
    }
    r.hasTime = true;
    r.timeMs = int64_t(t.timeSeconds) * 1000 + t.milliseconds;
    return QString();
}

QString CContainerWalker::DecodeDmr(const uchar *b, uint32_t lLength, DecodedRecord &r) {
    if (lLength < kBody + 33u)
        return QStringLiteral("DMR body too short");
    r.dmrTimeslot = b[0];
    r.dmrBurstKind = b[1];
    r.dmrSeconds = Be64(b + 2);
    r.dmrMilliseconds = Be16(b + 10);
    r.dmrWord1 = Be16(b + 12);
    r.dmrByte1 = b[14];
    r.dmrByte2 = b[15];
    r.dmrOptional = b[16];
    r.dmrValue48 = (uint64_t(Be16(b + 17)) << 32) | Be32(b + 19);
    r.dmrByte4 = b[23];
    r.dmrWord2 = Be16(b + 24);
    r.dmrWord3 = Be16(b + 26);
    r.dmrWord4 = Be16(b + 28);
    r.dmrWord5 = Be16(b + 30);
    const int lCount = b[32];
    uint32_t lPos = 33;
    int lLastSlot = -1;
    for (int i = 0; i < lCount; ++i) {
        if (kBody + lPos + 3 > lLength)
            return QStringLiteral("DMR item head past the record");
        DecodedItem clItem;
        clItem.kind = b[lPos];
        clItem.flags = b[lPos + 1];
        clItem.lengthByte = b[lPos + 2];
        const int lSlot = ItemSlot(clItem.kind);
        if (lSlot < 0)
            return QStringLiteral("DMR item kind %1").arg(clItem.kind);
        if (lSlot <= lLastSlot)
            return QStringLiteral("DMR items not in slot order");
        if (lSlot < 2 && r.dmrBurstKind != 1)
            return QStringLiteral("DMR slot %1 item without burst kind 1").arg(lSlot);
        lLastSlot = lSlot;
        if (bool(clItem.flags & 0x40) != (clItem.kind == 39))
            return QStringLiteral("DMR item flag 0x40 does not match kind 39");
        const int lBytes = clItem.kind == 39 ? clItem.lengthByte : (clItem.lengthByte + 7) / 8;
        if (lBytes > kItemMaxBytes[lSlot])
            return QStringLiteral("DMR item kind %1 with %2 bytes").arg(clItem.kind).arg(lBytes);
        if (kBody + lPos + 3 + lBytes > lLength)
            return QStringLiteral("DMR item overruns the record");
        clItem.data = QByteArray(reinterpret_cast<const char *>(b + lPos + 3), lBytes);
        lPos += 3 + lBytes;
        r.items.append(clItem);
    }
    if (kBody + lPos != lLength)
        return QStringLiteral("DMR items end before the record");
    r.hasTime = true;
    r.timeMs = int64_t(r.dmrSeconds) * 1000 + r.dmrMilliseconds;
    return QString();
}

QString CContainerWalker::DecodeGsm(const uchar *b, uint32_t lLength, DecodedRecord &r) {
    if (lLength < kBody + 64u)
        return QStringLiteral("GSM body too short");
    GsmTmv &g = r.gsm;
    std::memset(&g, 0, sizeof g);
    g.fileTime = Be64(b);
    g.value1 = Be32(b + 8);
    g.byte1 = b[12];
    g.word1 = Be16(b + 13);
    g.word2 = Be16(b + 15);
    g.word3 = Be16(b + 17);
    g.value2 = Be64(b + 19);
    g.byte2 = b[27];
    g.direction = b[28];
    g.byte3 = b[29];
    g.bitCount = Be16(b + 30);
    g.byte4 = b[32];
    g.byte5 = b[33];
    g.byte6 = b[34];
    g.word4 = Be16(b + 35);
    g.value3 = Be32(b + 37);
    g.value4 = Be32(b + 41);
    g.byte7 = b[45];
    for (int i = 0; i < 9; ++i)
        g.words[i] = Be16(b + 46 + 2 * i);
    const uint32_t lData = (g.bitCount + 7u) / 8u;
    if (lData > sizeof g.data)
        return QStringLiteral("GSM bit count %1 above the limit").arg(g.bitCount);
    if (lLength != 97 + lData)
        return QStringLiteral("GSM length %1 does not fit %2 bits").arg(lLength).arg(g.bitCount);
    std::memcpy(g.data, b + 64, lData);
    r.hasTime = true;
    r.timeMs = int64_t(g.fileTime / 10000) - kFileTimeEpochMs;
    return QString();
}

namespace {

// The first field in which the reader's record differs from the file's.
#define SAME(a, b)                                                                                 \
    if ((a) != (b))                                                                                \
        return QStringLiteral(#a " %1, file says %2").arg(qulonglong(a)).arg(qulonglong(b));

QString CompareTetra(const TetraTmv &t, const TetraTmv &f) {
    SAME(t.timeSeconds, f.timeSeconds);
    SAME(t.milliseconds, f.milliseconds);
    SAME(t.hyperframe, f.hyperframe);
    SAME(t.multiframe, f.multiframe);
    SAME(t.frame, f.frame);
    SAME(t.timeslot, f.timeslot);
    SAME(t.valueFlags, f.valueFlags);
    SAME(t.value1, f.value1);
    SAME(t.value2, f.value2);
    SAME(t.value3, f.value3);
    SAME(t.frequency, f.frequency);
    SAME(t.direction, f.direction);
    SAME(t.channelCode, f.channelCode);
    SAME(t.bitCount, f.bitCount);
    SAME(t.burstType, f.burstType);
    SAME(t.dataFlags, f.dataFlags);
    SAME(t.flags2, f.flags2);
    SAME(t.extended, f.extended);
    for (int i = 0; i < 3; ++i)
        SAME(t.burstInfo[i], f.burstInfo[i]);
    if (f.flags2 & 0x04)
        SAME(t.extraValue, f.extraValue);
    if (f.extended) {
        SAME(t.ext1, f.ext1);
        SAME(t.ext2, f.ext2);
        SAME(t.ext3, f.ext3);
        SAME(t.ext4, f.ext4);
        for (int i = 0; i < 9; ++i)
            SAME(t.ext5[i], f.ext5[i]);
    }
    if (std::memcmp(t.data, f.data, (f.bitCount + 7) / 8) != 0)
        return QStringLiteral("TETRA data bytes differ");
    return QString();
}

QString CompareDmr(const DmrTmv &d, const DecodedRecord &f) {
    SAME(d.timeslot, f.dmrTimeslot);
    SAME(d.burstKind, f.dmrBurstKind);
    SAME(d.timeSeconds, f.dmrSeconds);
    SAME(d.milliseconds, f.dmrMilliseconds);
    SAME(d.word1, f.dmrWord1);
    SAME(d.byte1, f.dmrByte1);
    SAME(d.byte2, f.dmrByte2);
    SAME(d.optionalFlags, f.dmrOptional);
    SAME(d.value48, f.dmrValue48);
    SAME(d.byte4, f.dmrByte4);
    SAME(d.word2, f.dmrWord2);
    SAME(d.word3, f.dmrWord3);
    SAME(d.word4, f.dmrWord4);
    SAME(d.word5, f.dmrWord5);
    int lNext = 0;
    for (int lSlot = 0; lSlot < 7; ++lSlot) {
        const DmrConstItemRef clItem = DmrItemAt(d, lSlot);
        const DecodedItem *pFile = lNext < f.items.size() && ItemSlot(f.items[lNext].kind) == lSlot
                                       ? &f.items[lNext++]
                                       : nullptr;
        if (!pFile) {
            SAME(clItem.item->itemKind, 0u);
            continue;
        }
        SAME(clItem.item->itemKind, uint32_t(pFile->kind));
        if (pFile->kind != 39)
            SAME(clItem.item->bitCount, pFile->lengthByte);
        SAME((clItem.item->bitCount + 7) / 8, pFile->data.size());
        SAME(clItem.item->highFlag, (pFile->flags >> 7) & 1);
        SAME(clItem.item->itemFlags & 0x3F, pFile->flags & 0x3F);
        if (std::memcmp(clItem.data, pFile->data.constData(), size_t(pFile->data.size())) != 0)
            return QStringLiteral("DMR item data in slot %1 differs").arg(lSlot);
    }
    return QString();
}

QString CompareGsm(const GsmTmv &g, const GsmTmv &f) {
    SAME(g.fileTime, f.fileTime);
    SAME(g.value1, f.value1);
    SAME(g.byte1, f.byte1);
    SAME(g.word1, f.word1);
    SAME(g.word2, f.word2);
    SAME(g.word3, f.word3);
    SAME(g.value2, f.value2);
    SAME(g.byte2, f.byte2);
    SAME(g.direction, f.direction);
    SAME(g.byte3, f.byte3);
    SAME(g.bitCount, f.bitCount);
    SAME(g.byte4, f.byte4);
    SAME(g.byte5, f.byte5);
    SAME(g.byte6, f.byte6);
    SAME(g.byte7, f.byte7);
    SAME(g.word4, f.word4);
    SAME(g.value3, f.value3);
    SAME(g.value4, f.value4);
    for (int i = 0; i < 9; ++i)
        SAME(g.words[i], f.words[i]);
    if (std::memcmp(g.data, f.data, (f.bitCount + 7) / 8) != 0)
        return QStringLiteral("GSM data bytes differ");
    return QString();
}

} // namespace

QString CompareWithReader(const RawRecord &clRead, const DecodedRecord &f) {
    static constexpr uint8_t kKindOfType[10] = {0, 0, 2, 0, 20, 1, 3, 0, 0, 4};
    SAME(clRead.payloadKind, kKindOfType[f.type]);
    SAME(clRead.sourceByte, f.sourceByte);
    SAME(clRead.frequency, f.frequency);
    SAME(clRead.symbolRate, f.symbolRate);
    SAME(clRead.value16, f.value16);
    switch (f.type) {
    case 2:
        SAME(clRead.payloadLength, uint32_t(f.generic.size()));
        if (std::memcmp(clRead.payload, f.generic.constData(), size_t(f.generic.size())) != 0)
            return QStringLiteral("generic payload differs");
        return QString();
    case 4: {
        SAME(clRead.payloadLength, kNoticeTmvLength);
        const auto *n = static_cast<const NoticeTmv *>(clRead.payload);
        SAME(n->code, f.noticeCode);
        SAME(n->value, f.noticeValue);
        if (std::memcmp(n->text, f.noticeText.constData(), 128) != 0)
            return QStringLiteral("notice text differs");
        return QString();
    }
    case 5:
        SAME(clRead.payloadLength, kDmrTmvLength);
        return CompareDmr(*static_cast<const DmrTmv *>(clRead.payload), f);
    case 9:
        SAME(clRead.payloadLength, kGsmTmvLength);
        return CompareGsm(*static_cast<const GsmTmv *>(clRead.payload), f.gsm);
    default:
        SAME(clRead.payloadLength, kTetraTmvLength);
        return CompareTetra(*static_cast<const TetraTmv *>(clRead.payload), f.tetra);
    }
}

} // namespace container_walk
