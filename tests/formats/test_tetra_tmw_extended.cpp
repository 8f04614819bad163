// The TETRA conversion of extended TMW entries: the channel-type tables, one
// record per sub-entry, and the combined conversion, checked field by field
// against values worked out by hand.
#include "PayloadChecks.h"
#include "TestRegistry.h"
#include "TetraTmw2Tmv.h"
#include "TetraTmwTestKit.h"

#include <QByteArray>
#include <QStringList>
#include <QTest>

#include <cstring>
#include <initializer_list>
#include <memory>

using namespace TetraTmwTestKit;

namespace {

// Channel-type table as worked out for the tests; -1 marks a type without a row.
struct ChannelRow {
    int channelCode;
    int bitCount;
    int info0;
    int info1;
    int info2;
};

ChannelRow ExpectedChannelRow(int lType, int lBurstByte) {
    switch (lType) {
    case 0:
        return {0, 0, 0, 0, 0};
    case 1:
        return {5, 60, 0, 0, 0};
    case 3:
        return {4, 124, 0, 0, 0};
    case 4:
        return {3, 124, 0, 0, 0};
    case 5:
        return {2, 268, 0, 0, 0};
    case 6:
        return {1, 92, 0, 0, 0};
    case 7:
        return lBurstByte != 0 ? ChannelRow{23, 137, 0, 0, 0} : ChannelRow{7, 274, 0, 0, 0};
    case 8:
        return {28, 144, 0, 0, 0};
    case 9:
        return {25, 288, 0, 0, 0};
    case 10:
        return {24, 432, 0, 0, 0};
    case 11:
        return {10, 196, 1, 0, 0};
    case 12:
        return {9, 412, 1, 0, 0};
    case 13:
        return {8, 148, 1, 0, 0};
    case 15:
        return {6, 14, 0, 0, 0};
    case 43:
        return {11, 65, 2, 0, 0};
    case 44:
        return {14, 15, 2, 0, 0};
    default:
        break;
    }
    static const int kBits[4][21] = {
        {392, 185, 389,  800, 593, 797, 1208, 384, 181, 381, 784,
         581, 781, 1184, 136, 57,  133, 288,  209, 285, 440},
        {864,  421,  861,  1744, 1301, 1741, 2624, 800, 389, 797, 1616,
         1205, 1613, 2432, 304,  141,  301,  624,  461, 621, 944},
        {1808, 893,  1805, 3632, 2717, 3629, 5456, 1632, 805,  1629, 3280,
         2453, 3277, 4928, 640,  309,  637,  1296, 965,  1293, 1952},
        {2752, 1365, 2749, 5520, 4133, 5517, 8288, 2464, 1221, 2461, 4944,
         3701, 4941, 7424, 976,  477,  973,  1968, 1469, 1965, 2960},
    };
    static const int kInfo[7][2] = {{2, 2}, {2, 0}, {3, 0}, {3, 2}, {4, 0}, {4, 1}, {4, 2}};
    const int kStarts[4] = {22, 52, 82, 112};
    for (int m = 0; m < 4; ++m) {
        const int i = lType - kStarts[m];
        if (i >= 0 && i < 21)
            return {i < 14 ? 13 : 12, kBits[m][i], kInfo[i % 7][0], kInfo[i % 7][1], m};
    }
    return {-1, 0, 0, 0, 0};
}

// An extended entry with one sub-entry per type; sub-entry k's data bytes are
// lDataBase + 32 k + i, so each tells its sub-entry and place.
TmwTetraExtendedEntry *NewEntry(std::initializer_list<int> clTypes, int lDataBase = 0x10) {
    auto *pEntry = new TmwTetraExtendedEntry{};
    pEntry->link = 0;
    pEntry->entryFlags = 0x20;
    pEntry->timeSeconds = 1700000000;
    pEntry->milliseconds = 250;
    pEntry->hyperframe = 5;
    pEntry->multiframe = 7;
    pEntry->frame = 9;
    pEntry->timeslot = 3;
    int k = 0;
    for (int lType : clTypes) {
        TmwTetraSubEntry &clSub = pEntry->subEntries[k];
        clSub.channelType = uint8_t(lType);
        clSub.dataLength = uint16_t(kTmwSubEntryDataCapacity);
        for (uint32_t i = 0; i < kTmwSubEntryDataCapacity; ++i)
            clSub.data[i] = uint8_t(lDataBase + 32 * k + int(i));
        ++k;
    }
    pEntry->subEntryCount = uint8_t(k);
    // What an earlier entry might have left in the sub-entries this one lacks.
    for (; k < kTmwMaxSubEntries; ++k) {
        TmwTetraSubEntry &clStale = pEntry->subEntries[k];
        clStale.channelType = 7;
        clStale.dataLength = uint16_t(kTmwSubEntryDataCapacity);
        std::memset(clStale.data, 0xEE, sizeof clStale.data);
    }
    return pEntry;
}

QByteArray SubData(const TmwTetraExtendedEntry &clEntry, int k, int lCount) {
    return QByteArray(reinterpret_cast<const char *>(clEntry.subEntries[k].data), lCount);
}

} // namespace

class TestTetraTmwExtended : public QObject {
    Q_OBJECT

  private slots:
    void channelTypes_data();
    void channelTypes();
    void extendedFields();
    void extendedValues_data();
    void extendedValues();
    void extendedLink_data();
    void extendedLink();
    void extendedBurstType_data();
    void extendedBurstType();
    void extendedDataFlags_data();
    void extendedDataFlags();
    void extendedSubIndexes();
    void combinedSets_data();
    void combinedSets();
    void combinedFlags2_data();
    void combinedFlags2();
    void combinedValidityAndLimits();
};

void TestTetraTmwExtended::channelTypes_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("burstByte");

    for (int lType = 0; lType < 256; ++lType)
        QTest::addRow("Z %d", lType) << lType << 0;
    QTest::newRow("Z 7 with a burst byte") << 7 << 5;
    QTest::newRow("Z 8 with a burst byte") << 8 << 5;
}

void TestTetraTmwExtended::channelTypes() {
    QFETCH(int, type);
    QFETCH(int, burstByte);
    const ChannelRow clRow = ExpectedChannelRow(type, burstByte);

    TetraChannelType clType;
    QCOMPARE(LookupTetraChannelType(uint8_t(type), uint8_t(burstByte), clType),
             clRow.channelCode >= 0);

    std::unique_ptr<TmwTetraExtendedEntry> pEntry(NewEntry({type}, 0x01));
    pEntry->subEntries[0].byteY = uint8_t(burstByte);
    CTetraTmw2Tmv clConverter;
    TetraTmv clOut;
    const bool bRecord = clConverter.ConvertTmwTetraExtended(*pEntry, 0, clOut);
    QCOMPARE(bRecord, clRow.channelCode >= 0);
    if (!bRecord)
        return;
    QCOMPARE(int(clType.channelCode), clRow.channelCode);
    QCOMPARE(int(clType.bitCount), clRow.bitCount);
    QCOMPARE(int(clOut.channelCode), clRow.channelCode);
    QCOMPARE(int(clOut.bitCount), clRow.bitCount);
    const QByteArray clInfo = QByteArray(reinterpret_cast<const char *>(clOut.burstInfo), 3);
    const char aInfo[3] = {char(clRow.info0), char(clRow.info1), char(clRow.info2)};
    QCOMPARE(clInfo, QByteArray(aInfo, 3));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(clType.burstInfo), 3), clInfo);
    // Exactly the bytes that hold bitCount bits are copied.
    const int lBytes = (clRow.bitCount + 7) / 8;
    QCOMPARE(DataOf(clOut), DataArea(SubData(*pEntry, 0, lBytes)));
}

void TestTetraTmwExtended::extendedFields() {
    std::unique_ptr<TmwTetraExtendedEntry> pEntry(NewEntry({6}));
    pEntry->entryFlags = 0x60;
    pEntry->frequency = 392987500;
    TmwTetraSubEntry &clSub = pEntry->subEntries[0];
    clSub.flags = 0xE0;
    clSub.value1Source = 125;
    clSub.value2Source = 510;
    clSub.value3Source = -3;

    CTetraTmw2Tmv clConverter;
    // The kind of the frame before is kept: an information entry gives kind 3.
    TmwTetraFrame clFrame{};
    clFrame.burstCode = 1;
    clFrame.timeValue = kTmwNoTime;
    clFrame.entryType = 34;
    TetraTmv clOut;
    QVERIFY(clConverter.ConvertTmwTetraFrame(clFrame, 0, clOut));
    std::memset(&clOut, 0x5A, sizeof clOut);
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pEntry, 0, clOut));

    TetraTmv clExpected{};
    clExpected.timeSeconds = 1700000000;
    clExpected.milliseconds = 250;
    clExpected.hyperframe = 5;
    clExpected.multiframe = 7;
    clExpected.frame = 9;
    clExpected.timeslot = 3;
    clExpected.valueFlags = 0xE0;
    clExpected.value1 = 12;
    clExpected.value2 = 5;
    clExpected.value3 = -375;
    clExpected.frequency = 392987500;
    clExpected.channelCode = 1;
    clExpected.bitCount = 92;
    clExpected.dataFlags = 2;
    clExpected.flags2 = 0x80;
    std::memcpy(clExpected.data, clSub.data, 12);
    if (!SameTetra(clOut, clExpected))
        return;
    QCOMPARE(int(clConverter.Kind()), 3);

    // Without G bits 5 and 6: time from the counters, no uplink shift, and no
    // frequency. The counters are handed on unchanged.
    pEntry->entryFlags = 0;
    pEntry->link = 1;
    pEntry->hyperframe = 1;
    pEntry->multiframe = 0;
    pEntry->frame = 1;
    pEntry->timeslot = 1;
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pEntry, 0, clOut));
    QCOMPARE(clOut.timeSeconds, quint64(61));
    QCOMPARE(int(clOut.milliseconds), 200);
    QCOMPARE(int(clOut.multiframe), 0);
    QCOMPARE(clOut.frequency, quint64(0));
    QCOMPARE(int(clOut.direction), 1);

    // The hyperframe wrap is shared with the frames.
    pEntry->hyperframe = 65535;
    pEntry->multiframe = 1;
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pEntry, 0, clOut));
    pEntry->hyperframe = 0;
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pEntry, 0, clOut));
    QCOMPARE(clOut.timeSeconds, quint64(4010803));
    QCOMPARE(int(clOut.milliseconds), 200);
}

void TestTetraTmwExtended::extendedValues_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("source1");
    QTest::addColumn<int>("source2");
    QTest::addColumn<int>("source3");
    QTest::addColumn<int>("valueFlags");
    QTest::addColumn<int>("value1");
    QTest::addColumn<int>("value2");
    QTest::addColumn<int>("value3");

    QTest::newRow("all three") << 0xE0 << 125 << 510 << -3 << 0xE0 << 12 << 5 << -375;
    QTest::newRow("none") << 0x00 << 125 << 510 << -3 << 0x00 << 0 << 0 << 0;
    QTest::newRow("only value 2") << 0x40 << 125 << 510 << -3 << 0x40 << 0 << 5 << 0;
    QTest::newRow("only value 1 and 3") << 0xA0 << 125 << 510 << -3 << 0xA0 << 12 << 0 << -375;
    QTest::newRow("other flag bits do not mark values")
        << 0x1C << 125 << 510 << -3 << 0x00 << 0 << 0 << 0;
    QTest::newRow("offsets truncate toward zero") << 0xE0 << 4 << 9 << 0 << 0xE0 << 0 << 0 << 0;
    QTest::newRow("negative sources") << 0xE0 << -7 << -291 << -1 << 0xE0 << -1 << -3 << -125;
    QTest::newRow("extreme sources")
        << 0xE0 << -32768 << 32767 << -32768 << 0xE0 << -3277 << 327 << -4096000;
}

void TestTetraTmwExtended::extendedValues() {
    QFETCH(int, flags);
    QFETCH(int, source1);
    QFETCH(int, source2);
    QFETCH(int, source3);
    QFETCH(int, valueFlags);
    QFETCH(int, value1);
    QFETCH(int, value2);
    QFETCH(int, value3);

    std::unique_ptr<TmwTetraExtendedEntry> pEntry(NewEntry({6}));
    TmwTetraSubEntry &clSub = pEntry->subEntries[0];
    clSub.flags = uint8_t(flags);
    clSub.value1Source = int16_t(source1);
    clSub.value2Source = int16_t(source2);
    clSub.value3Source = int16_t(source3);
    CTetraTmw2Tmv clConverter;
    TetraTmv clOut;
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pEntry, 0, clOut));
    QCOMPARE(int(clOut.valueFlags), valueFlags);
    QCOMPARE(clOut.value1, value1);
    QCOMPARE(clOut.value2, value2);
    QCOMPARE(clOut.value3, value3);
}

void TestTetraTmwExtended::extendedLink_data() {
    QTest::addColumn<int>("link");
    QTest::addColumn<int>("byteX");
    QTest::addColumn<bool>("record");
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("flags2");

    QTest::newRow("downlink") << 0 << 0x00 << true << 0 << 0x80;
    QTest::newRow("uplink") << 1 << 0x00 << true << 1 << 0x80;
    QTest::newRow("X bit 7 marks flags2") << 0 << 0x80 << true << 0 << 0x81;
    QTest::newRow("other X bits do not") << 1 << 0x7F << true << 1 << 0x80;
    QTest::newRow("link 2 gives no record") << 2 << 0x00 << false << 0 << 0;
    QTest::newRow("link 3 gives no record") << 3 << 0x00 << false << 0 << 0;
    QTest::newRow("link 255 gives no record") << 255 << 0x80 << false << 0 << 0;
}

void TestTetraTmwExtended::extendedLink() {
    QFETCH(int, link);
    QFETCH(int, byteX);
    QFETCH(bool, record);
    QFETCH(int, direction);
    QFETCH(int, flags2);

    for (bool bCombined : {false, true}) {
        std::unique_ptr<TmwTetraExtendedEntry> pEntry(bCombined ? NewEntry({3, 3}) : NewEntry({6}));
        pEntry->link = uint8_t(link);
        pEntry->subEntries[0].byteX = uint8_t(byteX);
        CTetraTmw2Tmv clConverter;
        TetraTmv clOut;
        QCOMPARE(clConverter.ConvertTmwTetraExtended(*pEntry, 0, clOut), record);
        if (!record)
            continue;
        QCOMPARE(int(clOut.direction), direction);
        QCOMPARE(int(clOut.flags2), flags2);
    }
}

void TestTetraTmwExtended::extendedBurstType_data() {
    QTest::addColumn<int>("burstByte");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("burstType");

    // Type 6 gives channel code 1, type 36 code 12, type 22 code 13, type 5 code 2.
    QTest::newRow("16 on channel 1") << 16 << 6 << 17;
    QTest::newRow("16 on channel 12") << 16 << 36 << 17;
    QTest::newRow("16 on channel 13") << 16 << 22 << 16;
    QTest::newRow("16 on channel 2") << 16 << 5 << 16;
    QTest::newRow("17") << 17 << 5 << 17;
    QTest::newRow("22") << 22 << 6 << 22;
    QTest::newRow("32 on channel 1") << 32 << 6 << 33;
    QTest::newRow("32 on channel 12") << 32 << 36 << 33;
    QTest::newRow("32 on channel 2") << 32 << 5 << 32;
    QTest::newRow("33") << 33 << 5 << 33;
    QTest::newRow("38") << 38 << 6 << 38;
    QTest::newRow("0") << 0 << 6 << 0;
    QTest::newRow("15") << 15 << 6 << 0;
    QTest::newRow("23") << 23 << 6 << 0;
    QTest::newRow("31") << 31 << 6 << 0;
    QTest::newRow("39") << 39 << 6 << 0;
    QTest::newRow("255") << 255 << 6 << 0;
}

void TestTetraTmwExtended::extendedBurstType() {
    QFETCH(int, burstByte);
    QFETCH(int, type);
    QFETCH(int, burstType);

    std::unique_ptr<TmwTetraExtendedEntry> pEntry(NewEntry({type}));
    pEntry->subEntries[0].byteY = uint8_t(burstByte);
    CTetraTmw2Tmv clConverter;
    TetraTmv clOut;
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pEntry, 0, clOut));
    QCOMPARE(int(clOut.burstType), burstType);
}

void TestTetraTmwExtended::extendedDataFlags_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("burstByte");
    QTest::addColumn<int>("flags");
    QTest::addColumn<int>("dataState");
    QTest::addColumn<int>("dataFlags");

    QTest::newRow("channel 6") << 15 << 0 << 0 << 0 << 1;
    QTest::newRow("channel 14") << 44 << 0 << 0 << 0 << 1;
    QTest::newRow("burst type 32") << 5 << 32 << 0 << 0 << 4;
    QTest::newRow("burst type 33") << 6 << 32 << 0 << 0 << 2;
    QTest::newRow("other channels") << 5 << 0 << 0 << 0 << 2;
    QTest::newRow("data state 1 marks the data not valid") << 5 << 0 << 0x08 << 1 << 0;
    QTest::newRow("data state 1 on channel 6") << 15 << 0 << 0x08 << 1 << 0;
    QTest::newRow("data state 0 is valid") << 5 << 0 << 0x08 << 0 << 2;
    QTest::newRow("a data state without H bit 3 is not looked at") << 5 << 0 << 0 << 1 << 2;
}

void TestTetraTmwExtended::extendedDataFlags() {
    QFETCH(int, type);
    QFETCH(int, burstByte);
    QFETCH(int, flags);
    QFETCH(int, dataState);
    QFETCH(int, dataFlags);

    std::unique_ptr<TmwTetraExtendedEntry> pEntry(NewEntry({type}));
    TmwTetraSubEntry &clSub = pEntry->subEntries[0];
    clSub.byteY = uint8_t(burstByte);
    clSub.flags = uint8_t(flags);
    clSub.dataState = uint8_t(dataState);
    CTetraTmw2Tmv clConverter;
    TetraTmv clOut;
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pEntry, 0, clOut));
    QCOMPARE(int(clOut.dataFlags), dataFlags);
    // The data is copied whether it is marked valid or not.
    const int lBytes = (clOut.bitCount + 7) / 8;
    QCOMPARE(DataOf(clOut), DataArea(SubData(*pEntry, 0, lBytes)));
}

void TestTetraTmwExtended::extendedSubIndexes() {
    CTetraTmw2Tmv clConverter;
    TetraTmv clOut;
    auto made = [&](const TmwTetraExtendedEntry &clEntry) {
        QString clstrMade;
        for (uint8_t lSubIndex = 0; lSubIndex < 4; ++lSubIndex) {
            const bool bRecord = clConverter.ConvertTmwTetraExtended(clEntry, lSubIndex, clOut);
            clstrMade += bRecord ? QString::number(clOut.channelCode) + ' ' : QString("- ");
        }
        return clstrMade.trimmed();
    };

    std::unique_ptr<TmwTetraExtendedEntry> pEntry(NewEntry({6, 1, 3}));
    QCOMPARE(made(*pEntry), QString("1 5 4 -"));
    pEntry->subEntries[1].channelType = 2; // no row
    QCOMPARE(made(*pEntry), QString("1 - 4 -"));
    pEntry->subEntryCount = 0;
    QCOMPARE(made(*pEntry), QString("- - - -"));
    pEntry->subEntryCount = 1;
    QCOMPARE(made(*pEntry), QString("1 - - -"));

    // More sub-entries than are held: the held ones convert.
    std::unique_ptr<TmwTetraExtendedEntry> pMany(
        NewEntry({6, 1, 3, 4, 5, 8, 9, 10, 11, 12, 13, 15}));
    pMany->subEntryCount = 14;
    QCOMPARE(made(*pMany), QString("1 5 4 3"));
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pMany, 11, clOut));
    QCOMPARE(int(clOut.channelCode), 6);
    QVERIFY(!clConverter.ConvertTmwTetraExtended(*pMany, 12, clOut));
    QVERIFY(!clConverter.ConvertTmwTetraExtended(*pMany, 13, clOut));

    // Bytes a sub-entry does not hold are zero, whatever is left in its data.
    std::unique_ptr<TmwTetraExtendedEntry> pShort(NewEntry({6}));
    pShort->subEntries[0].dataLength = 5;
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pShort, 0, clOut));
    QCOMPARE(DataOf(clOut), DataArea(SubData(*pShort, 0, 5)));
    pShort->subEntries[0].dataLength = 60000;
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pShort, 0, clOut));
    QCOMPARE(DataOf(clOut), DataArea(SubData(*pShort, 0, 12)));
    // The largest channel type fills exactly what a sub-entry can hold.
    pShort->subEntries[0].channelType = 118;
    pShort->subEntries[0].dataLength = uint16_t(kTmwSubEntryDataCapacity);
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pShort, 0, clOut));
    QCOMPARE(int(clOut.bitCount), 8288);
    QCOMPARE(DataOf(clOut), DataArea(SubData(*pShort, 0, 1036)));
}

void TestTetraTmwExtended::combinedSets_data() {
    QTest::addColumn<QByteArray>("types");
    QTest::addColumn<int>("channelCode");
    QTest::addColumn<int>("bitCount");
    QTest::addColumn<int>("dataFlags");
    QTest::addColumn<QByteArray>("data");

    // Sub-entry data as NewEntry makes it: sub-entry k's byte i is 0x10 + 32 k + i.
    auto bytes = [](int k, int lCount) {
        QByteArray clBytes;
        for (int i = 0; i < lCount; ++i)
            clBytes.append(char(uint8_t(0x10 + 32 * k + i)));
        return clBytes;
    };
    auto types = [](std::initializer_list<int> clList) {
        QByteArray clTypes;
        for (int lType : clList)
            clTypes.append(char(lType));
        return clTypes;
    };

    QTest::newRow("15 + 5") << types({15, 5}) << 17 << 288 << 3 << bytes(0, 2) + bytes(1, 34);
    QTest::newRow("15 + 7, third block zero")
        << types({15, 7}) << 20 << 304 << 3 << bytes(0, 2) + PackedBits(bytes(1, 18), Zeros(18));
    QTest::newRow("15 + 8") << types({15, 8}) << 35 << 160 << 3 << bytes(0, 2) + bytes(1, 18);
    QTest::newRow("15 + 9") << types({15, 9}) << 32 << 304 << 3 << bytes(0, 2) + bytes(1, 36);
    QTest::newRow("15 + 10") << types({15, 10}) << 31 << 448 << 3 << bytes(0, 2) + bytes(1, 54);
    QTest::newRow("3 + 3") << types({3, 3}) << 21 << 256 << 6 << bytes(0, 16) + bytes(1, 16);
    QTest::newRow("3 + 7") << types({3, 7}) << 22 << 272 << 6 << bytes(0, 16) + bytes(1, 18);
    QTest::newRow("7 + 7") << types({7, 7}) << 7 << 288 << 6
                           << PackedBits(bytes(0, 18), bytes(1, 18));
    QTest::newRow("15 + 1 + 4") << types({15, 1, 4}) << 15 << 208 << 7
                                << bytes(0, 2) + bytes(1, 8) + bytes(2, 16);
    QTest::newRow("15 + 4 + 4") << types({15, 4, 4}) << 16 << 272 << 7
                                << bytes(0, 2) + bytes(1, 16) + bytes(2, 16);
    QTest::newRow("15 + 3 + 3") << types({15, 3, 3}) << 18 << 272 << 7
                                << bytes(0, 2) + bytes(1, 16) + bytes(2, 16);
    QTest::newRow("15 + 3 + 7") << types({15, 3, 7}) << 19 << 288 << 7
                                << bytes(0, 2) + bytes(1, 16) + bytes(2, 18);
    QTest::newRow("15 + 7 + 7") << types({15, 7, 7}) << 20 << 304 << 7
                                << bytes(0, 2) + PackedBits(bytes(1, 18), bytes(2, 18));
}

void TestTetraTmwExtended::combinedSets() {
    QFETCH(QByteArray, types);
    QFETCH(int, channelCode);
    QFETCH(int, bitCount);
    QFETCH(int, dataFlags);
    QFETCH(QByteArray, data);

    std::unique_ptr<TmwTetraExtendedEntry> pEntry(types.size() == 2
                                                      ? NewEntry({types[0], types[1]})
                                                      : NewEntry({types[0], types[1], types[2]}));
    pEntry->entryFlags = 0x60;
    pEntry->frequency = 412000000;
    pEntry->link = 1;
    TmwTetraSubEntry &clFirst = pEntry->subEntries[0];
    clFirst.flags = 0xE0;
    clFirst.value1Source = 205;
    clFirst.value2Source = 1010;
    clFirst.value3Source = 2;
    clFirst.byteY = 32; // the combined record's burst type is -1 all the same
    // The values of later sub-entries are not used.
    pEntry->subEntries[1].flags = 0xE0;
    pEntry->subEntries[1].value1Source = 999;

    CTetraTmw2Tmv clConverter;
    TetraTmv clOut;
    std::memset(&clOut, 0x5A, sizeof clOut);
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pEntry, 0, clOut));

    TetraTmv clExpected{};
    clExpected.timeSeconds = 1700000000;
    clExpected.milliseconds = 250;
    clExpected.hyperframe = 5;
    clExpected.multiframe = 7;
    clExpected.frame = 9;
    clExpected.timeslot = 3;
    clExpected.valueFlags = 0xE0;
    clExpected.value1 = 20;
    clExpected.value2 = 10;
    clExpected.value3 = 250;
    clExpected.frequency = 412000000;
    clExpected.direction = 1;
    clExpected.channelCode = uint8_t(channelCode);
    clExpected.bitCount = uint16_t(bitCount);
    clExpected.burstType = -1;
    clExpected.dataFlags = uint8_t(dataFlags);
    clExpected.flags2 = 0x80;
    std::memcpy(clExpected.data, data.constData(), size_t(data.size()));
    if (!SameTetra(clOut, clExpected))
        return;

    // One record per combined entry.
    for (uint8_t lSubIndex = 1; lSubIndex < 4; ++lSubIndex)
        QVERIFY(!clConverter.ConvertTmwTetraExtended(*pEntry, lSubIndex, clOut));
}

void TestTetraTmwExtended::combinedFlags2_data() {
    QTest::addColumn<QByteArray>("types");
    QTest::addColumn<int>("markedSubEntry");
    QTest::addColumn<int>("flags2");

    struct Set {
        const char *name;
        QByteArray types;
        int marking; // bit k: sub-entry k's X bit 7 counts
    };
    const Set aSets[] = {
        {"7", QByteArray("\x07\x07"), 0b001},
        {"21", QByteArray("\x03\x03"), 0b011},
        {"22", QByteArray("\x03\x07"), 0b011},
        {"17", QByteArray("\x0F\x05"), 0b010},
        {"20 of two", QByteArray("\x0F\x07"), 0b010},
        {"31", QByteArray("\x0F\x0A"), 0b010},
        {"32", QByteArray("\x0F\x09"), 0b010},
        {"35", QByteArray("\x0F\x08"), 0b010},
        {"20 of three", QByteArray("\x0F\x07\x07"), 0b010},
        {"16", QByteArray("\x0F\x04\x04"), 0b110},
        {"18", QByteArray("\x0F\x03\x03"), 0b110},
        {"19", QByteArray("\x0F\x03\x07"), 0b110},
        {"15", QByteArray("\x0F\x01\x04"), 0b100},
    };
    for (const Set &clSet : aSets) {
        for (int k = 0; k < clSet.types.size(); ++k) {
            QTest::addRow("code %s, X bit 7 in sub-entry %d", clSet.name, k)
                << clSet.types << k << ((clSet.marking >> k) & 1 ? 0x81 : 0x80);
        }
    }
}

void TestTetraTmwExtended::combinedFlags2() {
    QFETCH(QByteArray, types);
    QFETCH(int, markedSubEntry);
    QFETCH(int, flags2);

    std::unique_ptr<TmwTetraExtendedEntry> pEntry(types.size() == 2
                                                      ? NewEntry({types[0], types[1]})
                                                      : NewEntry({types[0], types[1], types[2]}));
    for (int k = 0; k < types.size(); ++k)
        pEntry->subEntries[k].byteX = k == markedSubEntry ? 0x80 : 0x7F;
    CTetraTmw2Tmv clConverter;
    TetraTmv clOut;
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pEntry, 0, clOut));
    QCOMPARE(int(clOut.flags2), flags2);
}

void TestTetraTmwExtended::combinedValidityAndLimits() {
    CTetraTmw2Tmv clConverter;
    TetraTmv clOut;
    auto markNotValid = [](TmwTetraExtendedEntry &clEntry, int k) {
        clEntry.subEntries[k].flags = 0x08;
        clEntry.subEntries[k].dataState = 1;
    };

    std::unique_ptr<TmwTetraExtendedEntry> pThree(NewEntry({15, 1, 4}));
    markNotValid(*pThree, 1);
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pThree, 0, clOut));
    QCOMPARE(int(clOut.dataFlags), 0b101);
    // Data marked not valid is copied all the same.
    QCOMPARE(DataOf(clOut).mid(2, 8), SubData(*pThree, 1, 8));

    std::unique_ptr<TmwTetraExtendedEntry> pShifted(NewEntry({3, 3}));
    markNotValid(*pShifted, 0);
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pShifted, 0, clOut));
    QCOMPARE(int(clOut.dataFlags), 0b100);
    markNotValid(*pShifted, 1);
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pShifted, 0, clOut));
    QCOMPARE(int(clOut.dataFlags), 0);
    pShifted->subEntries[0].dataState = 0;
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pShifted, 0, clOut));
    QCOMPARE(int(clOut.dataFlags), 0b010);

    // A sub-entry that holds fewer bytes gives zeros for the rest.
    std::unique_ptr<TmwTetraExtendedEntry> pShort(NewEntry({15, 5}));
    pShort->subEntries[1].dataLength = 10;
    QVERIFY(clConverter.ConvertTmwTetraExtended(*pShort, 0, clOut));
    QCOMPARE(DataOf(clOut), DataArea(SubData(*pShort, 0, 2) + SubData(*pShort, 1, 10)));

    // A combined entry on a link that is neither way gives nothing at all.
    std::unique_ptr<TmwTetraExtendedEntry> pLink(NewEntry({15, 5}));
    pLink->link = 2;
    for (uint8_t lSubIndex = 0; lSubIndex < 3; ++lSubIndex)
        QVERIFY(!clConverter.ConvertTmwTetraExtended(*pLink, lSubIndex, clOut));

    // Types that form no set convert one record per sub-entry.
    auto codes = [&](const TmwTetraExtendedEntry &clEntry) {
        QStringList clCodes;
        for (uint8_t lSubIndex = 0; lSubIndex < 3; ++lSubIndex) {
            clCodes << (clConverter.ConvertTmwTetraExtended(clEntry, lSubIndex, clOut)
                            ? QString::number(clOut.channelCode)
                            : QString("-"));
        }
        return clCodes.join(' ');
    };
    std::unique_ptr<TmwTetraExtendedEntry> pNoSet(NewEntry({15, 4}));
    QCOMPARE(codes(*pNoSet), QString("6 3 -"));
    std::unique_ptr<TmwTetraExtendedEntry> pWrongCount(NewEntry({15, 5, 0}));
    QCOMPARE(codes(*pWrongCount), QString("6 2 0"));
    std::unique_ptr<TmwTetraExtendedEntry> pReversed(NewEntry({5, 15}));
    QCOMPARE(codes(*pReversed), QString("2 6 -"));
    // A three-entry set cut to two is no set either.
    std::unique_ptr<TmwTetraExtendedEntry> pCut(NewEntry({15, 1, 4}));
    pCut->subEntryCount = 2;
    QCOMPARE(codes(*pCut), QString("6 5 -"));
}

BVF_TEST_MAIN(TestTetraTmwExtended)
#include "test_tetra_tmw_extended.moc"
