// The TETRA entries of ".lan" recordings, built byte by byte with LanBytes:
// frame entries and their lengths, terminators and times, extended entries
// with their optional groups, sub-entry lengths, the twelve kept sub-entries
// and the combined conversion sets.
#include "LanTestKit.h"
#include "TestRegistry.h"
#include "TetraTmwTestKit.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>

using namespace ContainerTestKit;
using namespace LanTestKit;

class TestLanEntries : public QObject {
    Q_OBJECT

  private slots:
    void frameEntryLengths_data();
    void frameEntryLengths();
    void counterTime_data();
    void counterTime();
    void frameEntryFields();
    void extendedEntryLayout_data();
    void extendedEntryLayout();
    void subEntryLengths_data();
    void subEntryLengths();
    void fourteenSubEntries_data();
    void fourteenSubEntries();
    void combinedSets_data();
    void combinedSets();

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
        FileHeaderInfo clInfo{};
        QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
        const QStringList clTrace = Trace(clReader);
        QCOMPARE(clTrace.first(), Stamp(1));
        QCOMPARE(clTrace.last(), QString("3"));
    }
}

void TestLanEntries::counterTime_data() {
    QTest::addColumn<uint>("timeValue");
    QTest::addColumn<int>("timeMode");
    QTest::addColumn<int>("hyperframe");
    QTest::addColumn<int>("burstCode");
    QTest::addColumn<QString>("time");

    QTest::newRow("timeValue 0 with timeMode 0 uses the counters")
        << 0u << 0 << 1 << 1 << "T:61.200";
    QTest::newRow("counters at the first timeslot") << 0u << 0 << 0 << 1 << "T:0.0";
    QTest::newRow("counters, uplink two timeslots later") << 0u << 0 << 0 << 2 << "T:0.28";
    QTest::newRow("no time value") << 0xFFFFFFFFu << 0 << 1 << 1 << "T:61.200";
    QTest::newRow("timeValue 0 with even timeMode 2 counts milliseconds")
        << 0u << 2 << 1 << 1 << "T:0.0";
    QTest::newRow("timeValue 0 with odd timeMode 1 counts seconds since 2000")
        << 0u << 1 << 1 << 1 << "T:946684800.0";
    QTest::newRow("milliseconds") << 1234567u << 0 << 1 << 1 << "T:1234.567";
}

void TestLanEntries::counterTime() {
    QFETCH(uint, timeValue);
    QFETCH(int, timeMode);
    QFETCH(int, hyperframe);
    QFETCH(int, burstCode);
    QFETCH(QString, time);

    LanBytes::FrameEntryFields clFields = StampFields(0);
    clFields.timeValue = timeValue;
    clFields.timeMode = uint8_t(timeMode);
    clFields.frameFlags = LanBytes::kBlock1Valid;
    clFields.hyperframe = uint16_t(hyperframe);
    clFields.burstCode = uint8_t(burstCode);
    const QString clstrPath = Path("counters.lan");
    QVERIFY(WriteFileBytes(clstrPath, EntryOf(clFields)));
    QCOMPARE(ReadFileTrace(clstrPath), (QStringList{time, "3"}));
}

void TestLanEntries::frameEntryFields() {
    LanBytes::FrameEntryFields clFields = StampFields(100);
    clFields.notUsed = 0xBEEF;
    clFields.carrier = 100;
    clFields.band = 0x13;
    clFields.timeslot = 3;
    clFields.frame = 17;
    clFields.multiframe = 59;
    clFields.hyperframe = 0x1234;
    clFields.values[0] = -1234; // value1 = -123
    clFields.values[1] = 7;
    clFields.values[2] = -35; // value2 = -17
    clFields.values[3] = 8;
    clFields.values[4] = 3; // value3 = 375
    clFields.values[5] = 9;
    clFields.prefixWord = 0xCAFE;
    clFields.frameFlags |= LanBytes::kPrefixValid;
    LanBytes::SetSecondsSince2000(clFields, 100, 537);

    const QString clstrPath = Path("fields.lan");
    QVERIFY(WriteFileBytes(clstrPath, EntryOf(clFields)));
    const ReadResult clRead = ReadAll(clstrPath);
    QCOMPARE(int(clRead.end), 3);
    QCOMPARE(clRead.records.size(), 1);
    const RawRecord &clRecord = clRead.records[0];
    QCOMPARE(clRecord.recordClass, 2u);
    // (0x13 x 4000 + 100) x 25,000: the whole band byte.
    QCOMPARE(clRecord.frequency, quint64(1902500000));
    QCOMPARE(clRecord.symbolRate, 18000u);
    QCOMPARE(int(clRecord.payloadKind), 0);
    QCOMPARE(clRecord.payloadLength, 1136u);
    const TetraTmv &clTetra = clRead.tetra[0];
    QCOMPARE(clTetra.timeSeconds, quint64(100 + LanBytes::kEpoch2000));
    QCOMPARE(int(clTetra.milliseconds), 537);
    QCOMPARE(int(clTetra.hyperframe), 0x1234);
    QCOMPARE(int(clTetra.multiframe), 59);
    QCOMPARE(int(clTetra.frame), 17);
    QCOMPARE(int(clTetra.timeslot), 3);
    QCOMPARE(int(clTetra.valueFlags), 0xF0);
    QCOMPARE(clTetra.value1, -123);
    QCOMPARE(clTetra.value2, -17);
    QCOMPARE(clTetra.value3, 375);
    QCOMPARE(clTetra.frequency, quint64(302500000));
    QCOMPARE(int(clTetra.direction), 0);
    QCOMPARE(int(clTetra.flags2), 0x80);
    QCOMPARE(int(clTetra.channelCode), 1);
    QCOMPARE(int(clTetra.bitCount), 92);
    QCOMPARE(int(clTetra.burstType), 17);
    QCOMPARE(int(clTetra.dataFlags), 0x03);
    QByteArray clExpected = QByteArray::fromHex("cafe");
    for (int i = 0; i < 12; ++i)
        clExpected += char(0xA0 + i);
    QCOMPARE(TetraTmwTestKit::DataOf(clTetra), TetraTmwTestKit::DataArea(clExpected));
}

void TestLanEntries::extendedEntryLayout_data() {
    QTest::addColumn<int>("link");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("time"); // "" for no records
    QTest::addColumn<qulonglong>("frequency");

    QTest::newRow("time and frequency") << 0 << 0x60 << "T:1700000000.250" << 425025000ULL;
    QTest::newRow("uplink") << 1 << 0x60 << "T:1700000000.250" << 425025000ULL;
    QTest::newRow("every optional group") << 0 << 0xFC << "T:1700000000.250" << 425025000ULL;
    QTest::newRow("groups without time: counters") << 1 << 0x9C << "T:312.601" << 0ULL;
    QTest::newRow("no groups") << 0 << 0x00 << "T:312.601" << 0ULL;
    QTest::newRow("link 2 gives no records") << 2 << 0x60 << "" << 0ULL;
    QTest::newRow("link 3 gives no records") << 3 << 0x60 << "" << 0ULL;
    QTest::newRow("link 4 has no counters") << 4 << 0xFC << "" << 0ULL;
    QTest::newRow("link 255 has no counters") << 255 << 0x20 << "" << 0ULL;
}

void TestLanEntries::extendedEntryLayout() {
    QFETCH(int, link);
    QFETCH(int, flags);
    QFETCH(QString, time);
    QFETCH(qulonglong, frequency);

    LanBytes::ExtendedEntryFields clFields = ExtendedFields({6, 44});
    clFields.link = uint8_t(link);
    clFields.flags = uint8_t(flags);
    clFields.value16 = 0x2121;
    clFields.byte1 = 0x0D;
    clFields.value32 = 0x21212121;
    clFields.skipped4 = {0x21, 0x00, 0x04, 0x0D};
    clFields.value16Bit3 = 0x0D21;
    clFields.skipped3 = {0x21, 0x21};
    clFields.skipped2 = {0x0D, 0x0D, 0x0D};
    clFields.subEntries[0].flags =
        LanBytes::kSubValue1 | LanBytes::kSubValue2 | LanBytes::kSubValue3 | LanBytes::kSubValue16;
    clFields.subEntries[0].value1Source = -1000; // (-1000 - 5) / 10 = -100
    clFields.subEntries[0].value2Source = 2345;  // (2345 - 10) / 100 = 23
    clFields.subEntries[0].value3Source = -3;    // -375
    clFields.subEntries[0].value16 = 0x2121;
    clFields.subEntries[0].byteX = 0x80;
    clFields.subEntries[1].flags = LanBytes::kSubDataState;
    clFields.subEntries[1].dataState = 0;
    const LanBytes::Bytes clBody = LanBytes::ExtendedEntryBody(clFields);

    // The decoded entry, including the fields that are kept but not converted.
    TmwTetraExtendedEntry *pEntry = new TmwTetraExtendedEntry;
    std::memset(pEntry, 0x5A, sizeof *pEntry);
    const std::unique_ptr<TmwTetraExtendedEntry> clOwner(pEntry);
    QVERIFY(CTmwFileFormatV1::DecodeExtendedEntry(clBody.data(), uint32_t(clBody.size()), *pEntry));
    QCOMPARE(int(pEntry->link), link);
    QCOMPARE(int(pEntry->entryFlags), flags);
    QCOMPARE(int(pEntry->subEntryCount), 2);
    const bool bCounters = link <= 3;
    QCOMPARE(int(pEntry->hyperframe), bCounters ? 5 : 0);
    QCOMPARE(int(pEntry->multiframe), bCounters ? 7 : 0);
    QCOMPARE(int(pEntry->frame), bCounters ? 9 : 0);
    QCOMPARE(int(pEntry->timeslot), bCounters ? 3 : 0);
    QCOMPARE(int(pEntry->value16), (flags & 0x80) ? 0x2121 : 0);
    QCOMPARE(int(pEntry->byte1), (flags & 0x80) ? 0x0D : 0);
    QCOMPARE(pEntry->frequency, (flags & 0x40) ? 425025000u : 0u);
    QCOMPARE(pEntry->value32, (flags & 0x40) ? 0x21212121u : 0u);
    QCOMPARE(pEntry->timeSeconds, (flags & 0x20) ? quint64(1700000000) : quint64(0));
    QCOMPARE(int(pEntry->milliseconds), (flags & 0x20) ? 250 : 0);
    QCOMPARE(int(pEntry->value16Bit3), (flags & 0x08) ? 0x0D21 : 0);
    QCOMPARE(int(pEntry->subEntries[0].channelType), 6);
    QCOMPARE(int(pEntry->subEntries[0].value16), 0x2121);
    QCOMPARE(int(pEntry->subEntries[0].dataLength), 12);
    QCOMPARE(int(pEntry->subEntries[1].channelType), 44);
    QCOMPARE(int(pEntry->subEntries[1].dataLength), 2);

    const QString clstrPath = Path("extended.lan");
    QVERIFY(WriteFileBytes(clstrPath, ToBytes(LanBytes::Entry(clBody)) + StampEntry(3)));
    const ReadResult clRead = ReadAll(clstrPath);
    QCOMPARE(int(clRead.end), 3);
    if (time.isEmpty()) {
        QCOMPARE(clRead.records.size(), 1);
        QCOMPARE(clRead.described[0], Stamp(3));
        return;
    }
    QCOMPARE(clRead.records.size(), 3);
    QCOMPARE(clRead.described[2], Stamp(3));
    for (int k = 0; k < 2; ++k) {
        const RawRecord &clRecord = clRead.records[k];
        const TetraTmv &clTetra = clRead.tetra[k];
        QCOMPARE(clRead.described[k], time);
        QCOMPARE(clRecord.frequency, quint64(frequency));
        QCOMPARE(clTetra.frequency, quint64(frequency));
        QCOMPARE(clRecord.symbolRate, 18000u);
        QCOMPARE(int(clTetra.direction), link);
        QCOMPARE(int(clTetra.hyperframe), 5);
        QCOMPARE(int(clTetra.multiframe), 7);
        QCOMPARE(int(clTetra.frame), 9);
        QCOMPARE(int(clTetra.timeslot), 3);
    }
    const TetraTmv &clFirst = clRead.tetra[0];
    QCOMPARE(int(clFirst.valueFlags), 0xE0);
    QCOMPARE(clFirst.value1, -100);
    QCOMPARE(clFirst.value2, 23);
    QCOMPARE(clFirst.value3, -375);
    QCOMPARE(int(clFirst.flags2), 0x81);
    QCOMPARE(int(clFirst.channelCode), 1);
    QCOMPARE(int(clFirst.bitCount), 92);
    QCOMPARE(int(clFirst.burstType), 17);
    QCOMPARE(int(clFirst.dataFlags), 0x02);
    QCOMPARE(TetraTmwTestKit::DataOf(clFirst), TetraTmwTestKit::DataArea(Pattern(0, 12)));
    const TetraTmv &clSecond = clRead.tetra[1];
    QCOMPARE(int(clSecond.valueFlags), 0x00);
    QCOMPARE(int(clSecond.flags2), 0x80);
    QCOMPARE(int(clSecond.channelCode), 14);
    QCOMPARE(int(clSecond.bitCount), 15);
    QCOMPARE(int(clSecond.burstInfo[0]), 2);
    QCOMPARE(int(clSecond.dataFlags), 0x01);
    QCOMPARE(TetraTmwTestKit::DataOf(clSecond), TetraTmwTestKit::DataArea(Pattern(1, 2)));
}

void TestLanEntries::subEntryLengths_data() {
    // Sub-entry 0 under test, then a sub-entry of type 6 whose data shows
    // that it was found where it begins.
    QTest::addColumn<QByteArray>("subEntry");
    QTest::addColumn<bool>("last");       // the only sub-entry, at the end of the body
    QTest::addColumn<int>("channelCode"); // of sub-entry 0's record; -1: the entry is lost
    QTest::addColumn<QByteArray>("data"); // sub-entry 0's record data
    QTest::addColumn<int>("dataFlags");

    auto sub = [](uint8_t lType, uint8_t lBurstByte, int lDataBytes, int32_t lStated) {
        LanBytes::SubEntryFields clSub;
        clSub.channelType = lType;
        clSub.byteY = lBurstByte;
        for (int i = 0; i < lDataBytes; ++i)
            clSub.data.push_back(uint8_t(0x40 + i));
        clSub.statedLength = lStated;
        return clSub;
    };
    auto bytes = [](const LanBytes::SubEntryFields &clSub) {
        return ToBytes(LanBytes::SubEntryBytes(clSub));
    };
    auto pattern = [](int lCount) {
        QByteArray clData;
        for (int i = 0; i < lCount; ++i)
            clData += char(0x40 + i);
        return clData;
    };

    QTest::newRow("stated length")
        << bytes(sub(6, 16, 12, -1)) << false << 1 << pattern(12) << 0x02;
    QTest::newRow("S longer than the data the type needs")
        << bytes(sub(6, 16, 15, -1)) << false << 1 << pattern(12) << 0x02;
    QTest::newRow("S shorter than the type needs: data as stated")
        << bytes(sub(6, 16, 5, -1)) << false << 1 << pattern(5) << 0x02;
    QTest::newRow("S shorter than the fields before the data: lost")
        << bytes(sub(6, 16, 12, 2)) << false << -1 << QByteArray() << 0;
    QTest::newRow("S reaching past the body: lost")
        << bytes(sub(6, 16, 12, 400)) << false << -1 << QByteArray() << 0;
    QTest::newRow("unstated 32767 sized from type 6")
        << bytes(sub(6, 16, 12, 32767)) << false << 1 << pattern(12) << 0x02;
    QTest::newRow("unstated 65535 sized from type 6")
        << bytes(sub(6, 16, 12, 65535)) << false << 1 << pattern(12) << 0x02;
    QTest::newRow("unstated, type 7 with Y 0: 35 bytes")
        << bytes(sub(7, 0, 35, 32767)) << false << 7 << pattern(35) << 0x02;
    QTest::newRow("unstated, type 7 with Y 16: 18 bytes")
        << bytes(sub(7, 16, 18, 32767)) << false << 23 << pattern(18) << 0x02;
    QTest::newRow("unstated, type 118: 1036 bytes")
        << bytes(sub(118, 16, 1036, 32767)) << false << 13 << pattern(1036) << 0x02;
    QTest::newRow("unstated, a type without a size: lost")
        << bytes(sub(2, 16, 12, 32767)) << false << -1 << QByteArray() << 0;
    LanBytes::SubEntryFields clSkipping = sub(6, 16, 12, -1);
    clSkipping.flags = LanBytes::kSubSkipped | LanBytes::kSubValue16;
    clSkipping.skipped = {0x21, 0x00, 0x02, 0x0D, 0x0D};
    QTest::newRow("H bit 2 skips its bytes")
        << bytes(clSkipping) << false << 1 << pattern(12) << 0x02;
    clSkipping.statedLength = 32767;
    QTest::newRow("H bit 2 with an unstated length")
        << bytes(clSkipping) << false << 1 << pattern(12) << 0x02;
    // More than a record can hold: the rest is skipped.
    QTest::newRow("1100 data bytes, 1036 kept")
        << bytes(sub(118, 16, 1100, -1)) << false << 13 << pattern(1036) << 0x02;
    LanBytes::SubEntryFields clInvalid = sub(6, 16, 12, -1);
    clInvalid.flags = LanBytes::kSubDataState;
    clInvalid.dataState = 1;
    QTest::newRow("data state 1: not valid")
        << bytes(clInvalid) << false << 1 << pattern(12) << 0x00;

    // A length of 32767 or more is a length when the body holds that much.
    LanBytes::SubEntryFields clLong = sub(6, 16, 32763, 32767);
    QTest::newRow("unstated, at least S bytes left: S used")
        << bytes(clLong) << false << 1 << pattern(12) << 0x02;
    LanBytes::SubEntryFields clEmpty = sub(6, 16, 0, 32767);
    clEmpty.flags = LanBytes::kSubDataState;
    clEmpty.dataState = 1;
    QTest::newRow("unstated, nothing left, data state 1: empty")
        << bytes(clEmpty) << true << 1 << QByteArray() << 0x00;
    clEmpty.dataState = 0;
    QTest::newRow("unstated, nothing left, data state 0: lost")
        << bytes(clEmpty) << true << -1 << QByteArray() << 0;
    QTest::newRow("unstated, nothing left, no data state: lost")
        << bytes(sub(6, 16, 0, 32767)) << true << -1 << QByteArray() << 0;
    QTest::newRow("unstated, less left than the type needs: lost")
        << bytes(sub(6, 16, 5, 32767)) << true << -1 << QByteArray() << 0;
    QTest::newRow("unstated, exactly what the type needs left")
        << bytes(sub(6, 16, 12, 32767)) << true << 1 << pattern(12) << 0x02;
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
        QCOMPARE(clRead.records.size(), 1);
        QCOMPARE(clRead.described[0], Stamp(3));
        return;
    }
    QCOMPARE(clRead.records.size(), last ? 2 : 3);
    QCOMPARE(int(clRead.tetra[0].channelCode), channelCode);
    QCOMPARE(int(clRead.tetra[0].dataFlags), dataFlags);
    const int lUsed = (clRead.tetra[0].bitCount + 7) / 8;
    QCOMPARE(TetraTmwTestKit::DataOf(clRead.tetra[0]),
             TetraTmwTestKit::DataArea(SubData(data, lUsed)));
    if (!last) {
        QCOMPARE(int(clRead.tetra[1].channelCode), 1);
        QCOMPARE(TetraTmwTestKit::DataOf(clRead.tetra[1]),
                 TetraTmwTestKit::DataArea(Pattern(1, 12)));
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
    QCOMPARE(clRead.records.size(), 13);
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

void TestLanEntries::combinedSets_data() {
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<int>("channelCode");
    QTest::addColumn<int>("bitCount");
    // Pieces of the record's data: (sub-entry, byte count), with count -1
    // for the 274-bit packing of that sub-entry and the next.
    QTest::addColumn<QList<int>>("pieces");
    QTest::addColumn<int>("dataFlags");
    QTest::addColumn<int>("flags2");

    // Sub-entry 0's data is marked not valid and sub-entry 1's byte X has
    // bit 7 set in every row.
    QTest::newRow("15 1 4: code 15")
        << QList<int>{15, 1, 4} << 15 << 208 << QList<int>{0, 2, 1, 8, 2, 16} << 0x06 << 0x80;
    QTest::newRow("15 4 4: code 16")
        << QList<int>{15, 4, 4} << 16 << 272 << QList<int>{0, 2, 1, 16, 2, 16} << 0x06 << 0x81;
    QTest::newRow("15 5: code 17")
        << QList<int>{15, 5} << 17 << 288 << QList<int>{0, 2, 1, 34} << 0x02 << 0x81;
    QTest::newRow("15 3 3: code 18")
        << QList<int>{15, 3, 3} << 18 << 272 << QList<int>{0, 2, 1, 16, 2, 16} << 0x06 << 0x81;
    QTest::newRow("15 3 7: code 19")
        << QList<int>{15, 3, 7} << 19 << 288 << QList<int>{0, 2, 1, 16, 2, 18} << 0x06 << 0x81;
    QTest::newRow("15 7 7: code 20")
        << QList<int>{15, 7, 7} << 20 << 304 << QList<int>{0, 2, 1, -1} << 0x06 << 0x81;
    QTest::newRow("15 7: code 20, the missing third bits zero")
        << QList<int>{15, 7} << 20 << 304 << QList<int>{0, 2, 1, -1} << 0x02 << 0x81;
    QTest::newRow("3 3: code 21") << QList<int>{3, 3} << 21 << 256 << QList<int>{0, 16, 1, 16}
                                  << 0x04 << 0x81;
    QTest::newRow("3 7: code 22") << QList<int>{3, 7} << 22 << 272 << QList<int>{0, 16, 1, 18}
                                  << 0x04 << 0x81;
    QTest::newRow("7 7: code 7") << QList<int>{7, 7} << 7 << 288 << QList<int>{0, -1} << 0x04
                                 << 0x80;
    QTest::newRow("15 10: code 31")
        << QList<int>{15, 10} << 31 << 448 << QList<int>{0, 2, 1, 54} << 0x02 << 0x81;
    QTest::newRow("15 9: code 32")
        << QList<int>{15, 9} << 32 << 304 << QList<int>{0, 2, 1, 36} << 0x02 << 0x81;
    QTest::newRow("15 8: code 35")
        << QList<int>{15, 8} << 35 << 160 << QList<int>{0, 2, 1, 18} << 0x02 << 0x81;
}

void TestLanEntries::combinedSets() {
    QFETCH(QList<int>, types);
    QFETCH(int, channelCode);
    QFETCH(int, bitCount);
    QFETCH(QList<int>, pieces);
    QFETCH(int, dataFlags);
    QFETCH(int, flags2);

    LanBytes::ExtendedEntryFields clFields = ExtendedFields(types);
    clFields.link = 1;
    clFields.subEntries[0].flags = LanBytes::kSubDataState | LanBytes::kSubValue1;
    clFields.subEntries[0].dataState = 3;
    clFields.subEntries[0].value1Source = 405;
    clFields.subEntries[1].byteX = 0x80;
    clFields.subEntries[1].flags = LanBytes::kSubValue1;
    clFields.subEntries[1].value1Source = 1005;

    const QString clstrPath = Path("combined.lan");
    QVERIFY(WriteFileBytes(clstrPath, ExtendedEntry(clFields) + StampEntry(3)));
    const ReadResult clRead = ReadAll(clstrPath);
    QCOMPARE(int(clRead.end), 3);
    QCOMPARE(clRead.records.size(), 2);
    QCOMPARE(clRead.described[1], Stamp(3));
    const TetraTmv &clTetra = clRead.tetra[0];
    QCOMPARE(clRead.described[0], QString("T:1700000000.250"));
    QCOMPARE(int(clTetra.channelCode), channelCode);
    QCOMPARE(int(clTetra.bitCount), bitCount);
    QCOMPARE(int(clTetra.burstType), -1);
    QCOMPARE(int(clTetra.burstInfo[0]), 0);
    QCOMPARE(int(clTetra.dataFlags), dataFlags);
    QCOMPARE(int(clTetra.flags2), flags2);
    QCOMPARE(int(clTetra.direction), 1);
    // Values from sub-entry 0.
    QCOMPARE(int(clTetra.valueFlags), 0x80);
    QCOMPARE(clTetra.value1, 40);
    QCOMPARE(clRead.records[0].frequency, quint64(425025000));

    QByteArray clExpected;
    for (int i = 0; i < pieces.size(); i += 2) {
        const int k = pieces[i];
        if (pieces[i + 1] >= 0) {
            clExpected += Pattern(k, pieces[i + 1]);
            continue;
        }
        const QByteArray clSecond = k + 1 < types.size() ? Pattern(k + 1, 18) : QByteArray(18, 0);
        clExpected += TetraTmwTestKit::PackedBits(Pattern(k, 18), clSecond);
    }
    QCOMPARE(TetraTmwTestKit::DataOf(clTetra), TetraTmwTestKit::DataArea(clExpected));
}

BVF_TEST_MAIN(TestLanEntries)
#include "test_lan_entries.moc"
