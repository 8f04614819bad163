// Byte-wise comparison of payload structures, shared by the format tests.
#pragma once

#include "RecordTypes.h"

#include <QByteArray>
#include <QTest>

#include <cstring>

// The bytes of a structure as held in memory.
template <typename T> QByteArray BytesOf(const T &clValue) {
    return QByteArray(reinterpret_cast<const char *>(&clValue), qsizetype(sizeof(clValue)));
}

// A structure with every byte zero, padding included, so its bytes compare.
template <typename T> T Zeroed() {
    T clValue;
    std::memset(static_cast<void *>(&clValue), 0, sizeof clValue);
    return clValue;
}

// Reports the first differing byte offset through QTest and returns false, so
// a test writes `if (!SameBytes(a, e)) return;`.
template <typename T> bool SameBytes(const T &clActual, const T &clExpected) {
    const QByteArray a = BytesOf(clActual), e = BytesOf(clExpected);
    qsizetype i = 0;
    while (i < a.size() && a[i] == e[i])
        ++i;
    const QByteArray clAt = "bytes from offset " + QByteArray::number(i);
    return QTest::qCompare(a.mid(i, 8).toHex(' '), e.mid(i, 8).toHex(' '), clAt.constData(),
                           "expected", __FILE__, __LINE__);
}
