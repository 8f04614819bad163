// An independent decoder of the split-file container, written from the byte
// layout alone (it shares no code with the codec), and the comparison of its
// records with what a reader hands out.
#pragma once

#include "RecordTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

namespace container_walk {

constexpr int kHeaderSize = 2355;
constexpr int kBody = 33; // frame head and sub-header
constexpr int64_t kFileTimeEpochMs = 11644473600000LL;

inline uint16_t Be16(const uchar *p) {
    return uint16_t((p[0] << 8) | p[1]);
}
inline uint32_t Be32(const uchar *p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint64_t Be64(const uchar *p) {
    return (uint64_t(Be32(p)) << 32) | Be32(p + 4);
}
inline uint64_t Le64(const uchar *p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// Item slot of a DMR item kind, -1 for an unknown kind.
int ItemSlot(int lKind);
// The most data bytes an item kind may carry, and each slot's data area.
constexpr int kItemMaxBytes[7] = {3, 9, 2, 18, 3, 27, 72};
constexpr int kItemCapacity[7] = {4, 12, 4, 20, 4, 28, 72};

// The option name bvf-sample uses for each record type.
QString KindName(int lType);

struct DecodedItem {
    int kind = 0;
    int flags = 0;
    int lengthByte = 0;
    QByteArray data;
};

// One record as the file holds it.
struct DecodedRecord {
    qint64 offset = 0;
    int type = 0;
    uint8_t sourceByte = 0;
    uint64_t frequency = 0;
    uint32_t symbolRate = 0;
    uint16_t value16 = 0;
    bool hasTime = false;
    int64_t timeMs = 0; // generic records: whole seconds only
    TetraTmv tetra;     // types 3, 6 and 8, with the value-slot rule undone
    // DMR
    int dmrTimeslot = 0, dmrBurstKind = 0;
    uint64_t dmrSeconds = 0;
    int dmrMilliseconds = 0, dmrWord1 = 0, dmrByte1 = 0, dmrByte2 = 0, dmrOptional = 0;
    uint64_t dmrValue48 = 0;
    int dmrByte4 = 0, dmrWord2 = 0, dmrWord3 = 0, dmrWord4 = 0, dmrWord5 = 0;
    QList<DecodedItem> items;
    GsmTmv gsm;
    uint32_t noticeCode = 0, noticeValue = 0;
    QByteArray noticeText;
    QByteArray generic;
};

// Walks a container from its bytes alone.
class CContainerWalker {
  public:
    explicit CContainerWalker(const QByteArray &clBytes) : m_clBytes(clBytes) {}

    // Checks the fixed header fields; the error names the first fault.
    QString CheckHeader() const {
        if (m_clBytes.size() < kHeaderSize)
            return QStringLiteral("file shorter than the header");
        const QByteArray clMagic("BRENNOVARSTIK_V3_______\0", 24);
        if (m_clBytes.left(24) != clMagic)
            return QStringLiteral("magic is not version 3");
        if (Be32(At(24)) != 2355 || Be32(At(28)) != 0 || *At(32) != 1)
            return QStringLiteral("bytes 24 to 32 are not as written");
        return QString();
    }
    uint64_t FileMagic() const { return Be64(At(33)); }
    int64_t StartTime() const { return int64_t(Be64(At(41))); }
    uint16_t Value16() const { return Be16(At(49)); }
    QByteArray Text(int lOffset, int lSize) const {
        const QByteArray clField = m_clBytes.mid(lOffset, lSize);
        return clField.left(clField.indexOf('\0'));
    }
    QByteArray Raw(int lOffset, int lSize) const { return m_clBytes.mid(lOffset, lSize); }

    bool AtEnd() const { return m_lPos == m_clBytes.size(); }

    // Decodes the next frame; the error names what is wrong and where.
    QString Next(DecodedRecord &clRecord);

  private:
    const uchar *At(qint64 lOffset) const {
        return reinterpret_cast<const uchar *>(m_clBytes.constData()) + lOffset;
    }

    static QString DecodeBody(const uchar *f, uint32_t lLength, DecodedRecord &r);
    static QString DecodeTetra(const uchar *b, uint32_t lLength, DecodedRecord &r);
    static QString DecodeDmr(const uchar *b, uint32_t lLength, DecodedRecord &r);
    static QString DecodeGsm(const uchar *b, uint32_t lLength, DecodedRecord &r);

    QByteArray m_clBytes;
    qint64 m_lPos = kHeaderSize;
};

// The first field in which a record handed out by a reader differs from the
// decoded one; empty when they agree.
QString CompareWithReader(const RawRecord &clRead, const DecodedRecord &clFile);

} // namespace container_walk
