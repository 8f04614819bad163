#include "ContainerBytes.h"

#include <zlib.h>

#include <cstring>

namespace ContainerBytes {

CByteWriter &CByteWriter::U8(uint8_t lValue) {
    m_clBytes.append(char(lValue));
    return *this;
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
    m_clBytes.append(clBytes);
    return *this;
}

CByteWriter &CByteWriter::Padded(const QByteArray &clBytes, int lSize) {
    QByteArray clField = clBytes.left(lSize);
    clField.append(QByteArray(lSize - clField.size(), '\0'));
    return Bytes(clField);
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

QByteArray Header(const HeaderFields &clFields) {
    uint64_t lExtraBits = 0;
    std::memcpy(&lExtraBits, &clFields.extraValue, sizeof(lExtraBits));
    CByteWriter clOut;
    clOut.Padded(clFields.magic, 24)
        .U32(clFields.headerLength)
        .U32(clFields.zeroField)
        .U8(clFields.oneField)
        .U64(clFields.fileMagic)
        .U64(uint64_t(clFields.startTime))
        .U16(clFields.value16)
        .Padded(clFields.recordingType, 128)
        .Padded(clFields.infoText1, 64)
        .Padded(clFields.infoText2, 64)
        .Padded(clFields.reservedBlock, 1024)
        .Padded(clFields.infoText3, 1000)
        .Padded(clFields.extraBytes, 16);
    for (int i = 0; i < 8; ++i)
        clOut.U8(uint8_t(lExtraBits >> (8 * i)));
    return clOut.Result();
}

QByteArray Frame(uint8_t lType, const QByteArray &clAfterHead, uint8_t lFlag) {
    CByteWriter clOut;
    clOut.U32(uint32_t(kFrameHead + clAfterHead.size()))
        .U8(lType)
        .U8(lFlag)
        .U32(StoredChecksum(clAfterHead))
        .Bytes(clAfterHead);
    return clOut.Result();
}

QByteArray Record(uint8_t lType, const SubHeader &clSub, const QByteArray &clBody) {
    CByteWriter clAfterHead;
    clAfterHead.U8(clSub.sourceByte)
        .U64(clSub.frequency)
        .U32(clSub.symbolRate)
        .U16(clSub.value16)
        .Zeros(8)
        .Bytes(clBody);
    return Frame(lType, clAfterHead.Result());
}

QByteArray TetraBodyBytes(const TetraBody &clBody, TetraLayout enLayout) {
    CByteWriter clOut;
    clOut.U64(clBody.timeSeconds)
        .U16(clBody.milliseconds)
        .U16(clBody.hyperframe)
        .U8(clBody.multiframe)
        .U8(clBody.frame)
        .U8(clBody.timeslot)
        .U8(clBody.valueFlags)
        .U16(clBody.valueSlots[0])
        .U16(clBody.valueSlots[1])
        .U16(clBody.valueSlots[2])
        .U8(clBody.direction)
        .U8(clBody.channelCode)
        .U16(clBody.bitCount)
        .U8(clBody.dataFlags)
        .U8(clBody.burstType)
        .U8(clBody.burstInfo[0])
        .U8(clBody.burstInfo[1])
        .U8(clBody.burstInfo[2]);
    if (enLayout != TetraLayout::V1)
        clOut.U8(clBody.flags2);
    if (enLayout == TetraLayout::Extended) {
        clOut.U8(clBody.extended)
            .U16(clBody.ext2)
            .U32(clBody.ext3)
            .U32(clBody.ext4)
            .U8(clBody.ext1);
        for (uint16_t lWord : clBody.ext5)
            clOut.U16(lWord);
    }
    clOut.Bytes(clBody.data);
    return clOut.Result();
}

QByteArray GsmBodyBytes(const GsmBody &clBody) {
    CByteWriter clOut;
    clOut.U64(clBody.fileTime)
        .U32(clBody.value1)
        .U8(clBody.byte1)
        .U16(clBody.word1)
        .U16(clBody.word2)
        .U16(clBody.word3)
        .U64(clBody.value2)
        .U8(clBody.byte2)
        .U8(clBody.direction)
        .U8(clBody.byte3)
        .U16(clBody.bitCount)
        .U8(clBody.byte4)
        .U8(clBody.byte5)
        .U8(clBody.byte6)
        .U16(clBody.word4)
        .U32(clBody.value3)
        .U32(clBody.value4)
        .U8(clBody.byte7);
    for (uint16_t lWord : clBody.words)
        clOut.U16(lWord);
    clOut.Bytes(clBody.data);
    return clOut.Result();
}

QByteArray DmrBodyBytes(const DmrBody &clBody) {
    CByteWriter clOut;
    if (clBody.withTimeslot)
        clOut.U8(clBody.timeslot);
    clOut.U8(clBody.burstKind)
        .U64(clBody.timeSeconds)
        .U16(clBody.milliseconds)
        .U16(clBody.word1)
        .U8(clBody.byte1)
        .U8(clBody.byte2)
        .U8(clBody.optionalFlags)
        .U48(clBody.value48)
        .U8(clBody.byte4)
        .U16(clBody.word2)
        .U16(clBody.word3)
        .U16(clBody.word4)
        .U16(clBody.word5)
        .U8(uint8_t(clBody.itemCount < 0 ? clBody.items.size() : clBody.itemCount));
    for (const DmrItemBytes &clItem : clBody.items)
        clOut.U8(clItem.kind).U8(clItem.flags).U8(clItem.length).Bytes(clItem.data);
    clOut.Bytes(clBody.trailing);
    return clOut.Result();
}

QByteArray NoticeBodyBytes(uint32_t lCode, uint32_t lValue, const QByteArray &clText) {
    CByteWriter clOut;
    clOut.U32(lCode).U32(lValue).Padded(clText, 128);
    return clOut.Result();
}

} // namespace ContainerBytes
