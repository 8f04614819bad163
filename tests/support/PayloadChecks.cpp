#include "PayloadChecks.h"

#include <QByteArray>
#include <QTest>

#define SAME_FIELD(field)                                                                          \
    do {                                                                                           \
        if (!QTest::qCompare(clActual.field, clExpected.field, "actual." #field,                   \
                             "expected." #field, __FILE__, __LINE__))                              \
            return false;                                                                          \
    } while (false)

#define SAME_ARRAY(field)                                                                          \
    do {                                                                                           \
        if (!QTest::qCompare(BytesOf(clActual.field).toHex(' '),                                   \
                             BytesOf(clExpected.field).toHex(' '), "actual." #field,               \
                             "expected." #field, __FILE__, __LINE__))                              \
            return false;                                                                          \
    } while (false)

bool SameTetra(const TetraTmv &clActual, const TetraTmv &clExpected) {
    SAME_FIELD(timeSeconds);
    SAME_FIELD(milliseconds);
    SAME_FIELD(hyperframe);
    SAME_FIELD(multiframe);
    SAME_FIELD(frame);
    SAME_FIELD(timeslot);
    SAME_FIELD(valueFlags);
    SAME_FIELD(value1);
    SAME_FIELD(value2);
    SAME_FIELD(value3);
    SAME_FIELD(frequency);
    SAME_FIELD(direction);
    SAME_FIELD(channelCode);
    SAME_FIELD(bitCount);
    SAME_FIELD(extraValue);
    SAME_FIELD(burstType);
    SAME_ARRAY(burstInfo);
    SAME_FIELD(dataFlags);
    SAME_FIELD(flags2);
    SAME_FIELD(extended);
    SAME_FIELD(ext1);
    SAME_FIELD(ext2);
    SAME_FIELD(ext3);
    SAME_FIELD(ext4);
    SAME_ARRAY(ext5);
    SAME_ARRAY(data);
    return true;
}

bool SameDmr(const DmrTmv &clActual, const DmrTmv &clExpected) {
    SAME_FIELD(timeslot);
    SAME_FIELD(burstKind);
    SAME_FIELD(timeSeconds);
    SAME_FIELD(milliseconds);
    SAME_FIELD(altTimeSeconds);
    SAME_FIELD(altMilliseconds);
    SAME_FIELD(word1);
    SAME_FIELD(byte1);
    SAME_FIELD(byte2);
    SAME_FIELD(optionalFlags);
    SAME_FIELD(byte4);
    SAME_FIELD(word2);
    SAME_FIELD(word3);
    SAME_FIELD(word4);
    SAME_FIELD(value48);
    SAME_FIELD(word5);
    auto item = [](const DmrTmv &d, int lSlot) {
        const DmrConstItemRef r = DmrItemAt(d, lSlot);
        return QByteArray::number(r.item->itemKind) + "/" + QByteArray::number(r.item->bitCount) +
               "/" + QByteArray::number(r.item->highFlag) + "/" +
               QByteArray::number(r.item->itemFlags) + " " +
               QByteArray(reinterpret_cast<const char *>(r.data), int(r.capacity)).toHex(' ');
    };
    for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot) {
        const QByteArray clWhere = "item slot " + QByteArray::number(lSlot);
        if (!QTest::qCompare(item(clActual, lSlot), item(clExpected, lSlot), clWhere.constData(),
                             "expected (kind/bits/high/flags data)", __FILE__, __LINE__))
            return false;
    }
    return true;
}
