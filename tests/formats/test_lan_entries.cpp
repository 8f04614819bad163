// The framing of ".lan" TETRA entries built byte by byte with LanBytes: frame
// entry lengths and terminators, sub-entry lengths stated and unstated, and
// the twelve sub-entries kept. What entries convert to is held against the
// TMW model in test_lan.
#include "LanTestKit.h"
#include "TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>

using namespace ContainerTestKit;
using namespace LanTestKit;

namespace {

// A record's whole data area: the given bytes, zeros after them.
QByteArray DataOf(const TetraTmv &clTetra) {
    return QByteArray(reinterpret_cast<const char *>(clTetra.data), int(sizeof clTetra.data));
}
QByteArray DataArea(const QByteArray &clLeading) {
    return clLeading + QByteArray(int(sizeof(TetraTmv::data)) - clLeading.size(), '\0');
}

} // namespace

class TestLanEntries : public QObject {
    Q_OBJECT

  private slots:
    void frameEntryLengths_data();
    void frameEntryLengths();
    void subEntryLengths_data();
    void subEntryLengths();
    void fourteenSubEntries_data();
    void fourteenSubEntries();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QTemporaryDir m_clDir;
};

void TestLanEntries::frameEntryLengths_data() {
    QTest::addColumn<QByteArray>("entry"); // between entries 1 and 3
    QTest::addColumn<QStringList>("trace");

    const QStringList clKept = {Stamp(1), Stamp(2), Stamp(3), "3"};
    const QStringList clLost = {Stamp(1), Stamp(3), "3"};

    LanBytes::FrameEntryFields clFields = StampFields(2);
    QTest::newRow("stated length") << EntryOf(clFields) << clKept;
    clFields.trailing = {0x21, 0x00, 0x01, 0x0D, 0x7F};
    QTest::newRow("longer L than its fields: still converted") << EntryOf(clFields) << clKept;
    clFields = StampFields(2);
    clFields.optionalBlock = {0x21, 0x0D, 0x00, 0x7F, 0x21, 0x21, 0x0D};
    QTest::newRow("optional block skipped") << EntryOf(clFields) << clKept;

    const int lReal = int(LanBytes::FrameEntryBody(StampFields(2)).size());
    QTest::newRow("shorter L: lost") << EntryOf(StampFields(2), lReal - 1) << clLost;
    clFields = StampFields(2);
    clFields.data[LanBytes::kFrameDataSize - 1] = 0x0D;
    QTest::newRow("shorter L pointing at a 0x0D: lost") << EntryOf(clFields, lReal - 1) << clLost;
    QTest::newRow("L of 0") << QByteArray::fromHex("2100000d") << clLost;
    QTest::newRow("wrong terminator: lost") << EntryOf(StampFields(2), -1, 0x0A) << clLost;
    clFields = StampFields(2);
    clFields.optionalBlock = {1, 2, 3};
    LanBytes::Bytes clBody = LanBytes::FrameEntryBody(clFields);
    clBody[17] = 0x00;
    clBody[18] = 0xC8; // M = 200
    QTest::newRow("optional block reaching past L: lost")
        << ToBytes(LanBytes::Entry(clBody)) << clLost;

    // A bad length must not make the reader pass over a good entry.
    QTest::newRow("a good entry inside a bad entry's stated length")
        << QByteArray::fromHex("210050") + StampEntry(2) << clKept;
    QTest::newRow("after a mismatch, resynchronisation resumes one byte after the \"!\"")
        << QByteArray::fromHex("0000210040") + StampEntry(2) << clKept;
    QTest::newRow("a stated length beyond the end of the file")
        << QByteArray::fromHex("21ffff") << clLost;

    // Other kinds are skipped by their length, whatever they hold.
    QTest::newRow("another entry kind")
        << ToBytes(LanBytes::Entry({0x55, 0x21, 0x00, 0x0D})) << clLost;
    LanBytes::Bytes clHolding = {0x10};
    const QByteArray clInner = StampEntry(9);
    clHolding.insert(clHolding.end(), clInner.begin(), clInner.end());
    QTest::newRow("another kind holding a whole entry")
        << ToBytes(LanBytes::Entry(clHolding)) << clLost;
    QTest::newRow("an entry without records") << EntryOf([] {
        LanBytes::FrameEntryFields clNone = StampFields(2);
        clNone.burstCode = 0;
        return clNone;
    }()) << clLost;
}

void TestLanEntries::frameEntryLengths() {
    QFETCH(QByteArray, entry);
    QFETCH(QStringList, trace);

    const QString clstrPath = Path("lengths.lan");
    const QByteArray clFile = StampEntry(1) + entry + StampEntry(3);
    QVERIFY(WriteFileBytes(clstrPath, clFile));
    QCOMPARE(ReadFileTrace(clstrPath), trace);

    // Whatever is lost, the following entry is whole at the end of the file.
    if (trace.size() > 2) {
        QVERIFY(WriteFileBytes(clstrPath, StampEntry(1) + entry));
        CTmwFileFormatV1 clReader;
        QCOMPARE(Open(clReader, clstrPath), 0);
        const QStringList clTrace = Trace(clReader);
        QCOMPARE(clTrace.first(), Stamp(1));
        QCOMPARE(clTrace.last(), QString("3"));
    }
}

void TestLanEntries::subEntryLengths_data() {
    // Sub-entry 0 under test, then a sub-entry of type 6 whose data shows
    // that it was found where it begins.
    QTest::addColumn<QByteArray>("subEntry");
    QTest::addColumn<bool>("last");       // the only sub-entry, at the end of the body
    QTest::addColumn<int>("channelCode"); // of sub-entry 0's record; -1: the entry is lost
    QTest::addColumn<QByteArray>("data"); // sub-entry 0's record data
    QTest::addColumn<int>("dataFlags");

    // Sub-entry data 0x40, 0x41, ...
    auto pattern = [](int lCount) {
        QByteArray clData;
        for (int i = 0; i < lCount; ++i)
            clData += char(0x40 + i);
        return clData;
    };
    auto sub = [&pattern](uint8_t lType, uint8_t lBurstByte, int lDataBytes, int32_t lStated) {
        LanBytes::SubEntryFields clSub;
        clSub.channelType = lType;
        clSub.byteY = lBurstByte;
        clSub.data = FromBytes(pattern(lDataBytes));
        clSub.statedLength = lStated;
        return clSub;
    };
    auto row = [&pattern](const char *pName, const LanBytes::SubEntryFields &clSub, bool bLast,
                          int lCode, int lDataBytes = 0, int lFlags = 0x02) {
        QTest::newRow(pName) << ToBytes(LanBytes::SubEntryBytes(clSub)) << bLast << lCode
                             << pattern(lDataBytes) << (lCode < 0 ? 0 : lFlags);
    };
    row("stated length", sub(6, 16, 12, -1), false, 1, 12);
    row("S longer than the data the type needs", sub(6, 16, 15, -1), false, 1, 12);
    row("S shorter than the type needs: data as stated", sub(6, 16, 5, -1), false, 1, 5);
    row("S shorter than the fields before the data: lost", sub(6, 16, 12, 2), false, -1);
    row("S reaching past the body: lost", sub(6, 16, 12, 400), false, -1);
    row("unstated 32767 sized from type 6", sub(6, 16, 12, 32767), false, 1, 12);
    row("unstated 65535 sized from type 6", sub(6, 16, 12, 65535), false, 1, 12);
    row("unstated, type 7 with Y 0: 35 bytes", sub(7, 0, 35, 32767), false, 7, 35);
    row("unstated, type 7 with Y 16: 18 bytes", sub(7, 16, 18, 32767), false, 23, 18);
    row("unstated, type 118: 1036 bytes", sub(118, 16, 1036, 32767), false, 13, 1036);
    row("unstated, a type without a size: lost", sub(2, 16, 12, 32767), false, -1);
    LanBytes::SubEntryFields clSkipping = sub(6, 16, 12, -1);
    clSkipping.flags = LanBytes::kSubSkipped | LanBytes::kSubValue16;
    clSkipping.skipped = {0x21, 0x00, 0x02, 0x0D, 0x0D};
    row("H bit 2 skips its bytes", clSkipping, false, 1, 12);
    clSkipping.statedLength = 32767;
    row("H bit 2 with an unstated length", clSkipping, false, 1, 12);
    // More than a record can hold: the rest is skipped.
    row("1100 data bytes, 1036 kept", sub(118, 16, 1100, -1), false, 13, 1036);
    LanBytes::SubEntryFields clInvalid = sub(6, 16, 12, -1);
    clInvalid.flags = LanBytes::kSubDataState;
    clInvalid.dataState = 1;
    row("data state 1: not valid", clInvalid, false, 1, 12, 0x00);

    // A length of 32767 or more is a length when the body holds that much.
    row("unstated, at least S bytes left: S used", sub(6, 16, 32763, 32767), false, 1, 12);
    LanBytes::SubEntryFields clEmpty = sub(6, 16, 0, 32767);
    clEmpty.flags = LanBytes::kSubDataState;
    clEmpty.dataState = 1;
    row("unstated, nothing left, data state 1: empty", clEmpty, true, 1, 0, 0x00);
    clEmpty.dataState = 0;
    row("unstated, nothing left, data state 0: lost", clEmpty, true, -1);
    row("unstated, nothing left, no data state: lost", sub(6, 16, 0, 32767), true, -1);
    row("unstated, less left than the type needs: lost", sub(6, 16, 5, 32767), true, -1);
    row("unstated, exactly what the type needs left", sub(6, 16, 12, 32767), true, 1, 12);
}

void TestLanEntries::subEntryLengths() {
    QFETCH(QByteArray, subEntry);
    QFETCH(bool, last);
    QFETCH(int, channelCode);
    QFETCH(QByteArray, data);
    QFETCH(int, dataFlags);

    LanBytes::ExtendedEntryFields clFields = ExtendedFields({});
    clFields.statedCount = last ? 1 : 2;
    clFields.trailing = FromBytes(subEntry);
    if (!last) {
        LanBytes::SubEntryFields clNext;
        clNext.channelType = 6;
        clNext.data = FromBytes(Pattern(1, 12));
        const LanBytes::Bytes clNextBytes = LanBytes::SubEntryBytes(clNext);
        clFields.trailing.insert(clFields.trailing.end(), clNextBytes.begin(), clNextBytes.end());
    }

    const QString clstrPath = Path("subentries.lan");
    QVERIFY(WriteFileBytes(clstrPath, ExtendedEntry(clFields) + StampEntry(3)));
    const ReadResult clRead = ReadAll(clstrPath);
    QCOMPARE(int(clRead.end), 3);
    if (channelCode < 0) {
        QCOMPARE(clRead.tetra.size(), 1);
        QCOMPARE(clRead.described[0], Stamp(3));
        return;
    }
    QCOMPARE(clRead.tetra.size(), last ? 2 : 3);
    QCOMPARE(int(clRead.tetra[0].channelCode), channelCode);
    QCOMPARE(int(clRead.tetra[0].dataFlags), dataFlags);
    const int lUsed = (clRead.tetra[0].bitCount + 7) / 8;
    QCOMPARE(DataOf(clRead.tetra[0]), DataArea(data.left(lUsed)));
    if (!last) {
        QCOMPARE(int(clRead.tetra[1].channelCode), 1);
        QCOMPARE(DataOf(clRead.tetra[1]), DataArea(Pattern(1, 12)));
    }
    QCOMPARE(clRead.described.last(), Stamp(3));
}

void TestLanEntries::fourteenSubEntries_data() {
    QTest::addColumn<int>("statedLast"); // S of sub-entries 13 and 14; -1: stated

    QTest::newRow("later ones skipped by their stated length") << -1;
    QTest::newRow("later ones with unstated lengths") << 32767;
}

void TestLanEntries::fourteenSubEntries() {
    QFETCH(int, statedLast);

    LanBytes::ExtendedEntryFields clFields = ExtendedFields({});
    for (int k = 0; k < 14; ++k) {
        LanBytes::SubEntryFields clSub;
        clSub.channelType = 6;
        clSub.byteY = 16;
        for (int i = 0; i < 12; ++i)
            clSub.data.push_back(uint8_t(k * 16 + i));
        if (k >= 12)
            clSub.statedLength = statedLast;
        clFields.subEntries.push_back(clSub);
    }
    const QString clstrPath = Path("fourteen.lan");
    QVERIFY(WriteFileBytes(clstrPath, ExtendedEntry(clFields) + StampEntry(3)));
    const ReadResult clRead = ReadAll(clstrPath);
    QCOMPARE(int(clRead.end), 3);
    QCOMPARE(clRead.tetra.size(), 13);
    for (int k = 0; k < 12; ++k) {
        QCOMPARE(int(clRead.tetra[k].channelCode), 1);
        QCOMPARE(int(clRead.tetra[k].data[0]), k * 16);
        QCOMPARE(int(clRead.tetra[k].data[11]), k * 16 + 11);
    }
    QCOMPARE(clRead.described[12], Stamp(3));

    // The entry as decoded: the count as stated, twelve sub-entries held.
    const LanBytes::Bytes clBody = LanBytes::ExtendedEntryBody(clFields);
    const std::unique_ptr<TmwTetraExtendedEntry> pEntry(new TmwTetraExtendedEntry{});
    QVERIFY(CTmwFileFormatV1::DecodeExtendedEntry(clBody.data(), uint32_t(clBody.size()), *pEntry));
    QCOMPARE(int(pEntry->subEntryCount), 14);
    QCOMPARE(int(pEntry->subEntries[11].data[0]), 11 * 16);
}

BVF_TEST_MAIN(TestLanEntries)
#include "test_lan_entries.moc"
