// The TETRA conversion of TMW frames, checked field by field against values
// worked out by hand.
#include "PayloadChecks.h"
#include "TestRegistry.h"
#include "TetraTmw2Tmv.h"
#include "TetraTmwTestKit.h"

#include <QByteArray>
#include <QTest>

#include <cstring>

using namespace TetraTmwTestKit;

namespace {

constexpr int kFirstBlockFlags = kTmwBlock1Valid | kTmwBlock2Valid | kTmwPrefixValid;

// The frame data of most cases: byte i holds i + 1, so every copied byte
// tells where it came from.
uint8_t FrameByte(int i) {
    return uint8_t(i + 1);
}

TmwTetraFrame BaseFrame() {
    TmwTetraFrame clFrame{};
    clFrame.burstCode = 1;
    clFrame.timeValue = kTmwNoTime;
    clFrame.timeslot = 1;
    clFrame.frame = 1;
    clFrame.multiframe = 1;
    clFrame.entryType = 6;
    clFrame.frameFlags = kFirstBlockFlags;
    clFrame.prefixWord = 0xABCD;
    for (int i = 0; i < kTmwFrameDataSize; ++i)
        clFrame.data[i] = FrameByte(i);
    return clFrame;
}

// Bytes lFrom to lFrom + lCount - 1 of the base frame's data.
QByteArray D(int lFrom, int lCount) {
    QByteArray clBytes;
    for (int i = lFrom; i < lFrom + lCount; ++i)
        clBytes.append(char(FrameByte(i)));
    return clBytes;
}

// The prefix word of BaseFrame, as it lands before downlink data.
const QByteArray kPrefix("\xAB\xCD", 2);

} // namespace

class TestTetraTmwConversion : public QObject {
    Q_OBJECT

  private slots:
    void frameTime_data();
    void frameTime();
    void hyperframeWrapContinuesTime();
    void frequency_data();
    void frequency();
    void burstCodes_data();
    void burstCodes();
    void entryTypeRows_data();
    void entryTypeRows();
    void valuesAndSecondRecords();
    void valueRounding_data();
    void valueRounding();
    void unknownEntryTypeKeepsKind();
    void packing274_data();
    void packing274();
    void recordFrequencyWraps_data();
    void recordFrequencyWraps();
    void headerInfo();
};

void TestTetraTmwConversion::frameTime_data() {
    QTest::addColumn<int>("hyperframe");
    QTest::addColumn<int>("multiframe");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("timeslot");
    QTest::addColumn<int>("burstCode");
    QTest::addColumn<int>("frameFlags");
    QTest::addColumn<uint>("timeValue");
    QTest::addColumn<int>("timeMode");
    QTest::addColumn<qulonglong>("seconds");
    QTest::addColumn<int>("milliseconds");
    QTest::addColumn<int>("recordHyperframe");

    const uint kNone = kTmwNoTime;
    QTest::newRow("first timeslot, downlink")
        << 0 << 1 << 1 << 1 << 1 << 3 << kNone << 0 << 0ULL << 0 << 0;
    QTest::newRow("first timeslot, uplink 2 two slots later")
        << 0 << 1 << 1 << 1 << 2 << 3 << kNone << 0 << 0ULL << 28 << 0;
    QTest::newRow("first timeslot, uplink 18 two slots later")
        << 0 << 1 << 1 << 1 << 18 << 3 << kNone << 0 << 0ULL << 28 << 0;
    QTest::newRow("downlink 17 is not shifted")
        << 0 << 1 << 1 << 1 << 17 << 3 << kNone << 0 << 0ULL << 0 << 0;
    QTest::newRow("hyperframe 1") << 1 << 1 << 1 << 1 << 1 << 3 << kNone << 0 << 61ULL << 200 << 1;
    QTest::newRow("second timeslot") << 0 << 1 << 1 << 2 << 1 << 3 << kNone << 0 << 0ULL << 14 << 0;
    QTest::newRow("frame 2") << 0 << 1 << 2 << 1 << 1 << 3 << kNone << 0 << 0ULL << 56 << 0;
    QTest::newRow("multiframe 2") << 0 << 2 << 1 << 1 << 1 << 3 << kNone << 0 << 1ULL << 20 << 0;
    QTest::newRow("counters of 0 count as 1")
        << 0 << 0 << 0 << 0 << 1 << 3 << kNone << 0 << 0ULL << 0 << 0;
    // n = ((60 x 18 + 18) x 4) + 3 = 4395; (4395 - 76) x 85/6 ms = 61,185.8 ms.
    QTest::newRow("counters above their range are limited")
        << 0 << 99 << 40 << 9 << 1 << 3 << kNone << 0 << 61ULL << 185 << 0;
    QTest::newRow("hyperframe marked not valid is left out")
        << 7 << 1 << 1 << 1 << 1 << 0x0B << kNone << 0 << 0ULL << 0 << 0;
    QTest::newRow("hyperframe not valid, multiframe 2")
        << 7 << 2 << 1 << 1 << 1 << 0x0B << kNone << 0 << 1ULL << 20 << 0;
    QTest::newRow("time value 0 with time mode 0 uses the counters")
        << 1 << 1 << 1 << 1 << 1 << 3 << 0u << 0 << 61ULL << 200 << 1;
    QTest::newRow("no time value with an odd mode uses the counters")
        << 1 << 1 << 1 << 1 << 1 << 3 << kNone << 107 << 61ULL << 200 << 1;
    QTest::newRow("milliseconds since 1970")
        << 1 << 1 << 1 << 1 << 1 << 3 << 1234567u << 0 << 1234ULL << 567 << 1;
    QTest::newRow("milliseconds with time mode 2")
        << 1 << 1 << 1 << 1 << 1 << 3 << 999u << 2 << 0ULL << 999 << 1;
    QTest::newRow("time value 0 with time mode 2 is a time")
        << 1 << 1 << 1 << 1 << 1 << 3 << 0u << 2 << 0ULL << 0 << 1;
    QTest::newRow("seconds since 2000 with milliseconds")
        << 0 << 1 << 1 << 1 << 1 << 0x73 << 100u << 107 << 946684900ULL << 537 << 0;
    QTest::newRow("seconds since 2000, time value 0")
        << 0 << 1 << 1 << 1 << 1 << 3 << 0u << 1 << 946684800ULL << 0 << 0;
    QTest::newRow("seconds since 2000, largest time value")
        << 0 << 1 << 1 << 1 << 1 << 3 << 0xFFFFFFFEu << 1 << 5241652094ULL << 0 << 0;
    QTest::newRow("uplink with an absolute time is not shifted")
        << 0 << 1 << 1 << 1 << 2 << 0x73 << 100u << 107 << 946684900ULL << 537 << 0;
}

void TestTetraTmwConversion::frameTime() {
    QFETCH(int, hyperframe);
    QFETCH(int, multiframe);
    QFETCH(int, frame);
    QFETCH(int, timeslot);
    QFETCH(int, burstCode);
    QFETCH(int, frameFlags);
    QFETCH(uint, timeValue);
    QFETCH(int, timeMode);
    QFETCH(qulonglong, seconds);
    QFETCH(int, milliseconds);
    QFETCH(int, recordHyperframe);

    TmwTetraFrame clFrame = BaseFrame();
    clFrame.hyperframe = uint16_t(hyperframe);
    clFrame.multiframe = uint8_t(multiframe);
    clFrame.frame = uint8_t(frame);
    clFrame.timeslot = uint8_t(timeslot);
    clFrame.burstCode = uint8_t(burstCode);
    clFrame.frameFlags = uint8_t(frameFlags);
    clFrame.timeValue = timeValue;
    clFrame.timeMode = uint8_t(timeMode);

    CTetraTmw2Tmv clConverter;
    TetraTmv clOut;
    QVERIFY(clConverter.ConvertTmwTetraFrame(clFrame, 0, clOut));
    QCOMPARE(clOut.timeSeconds, quint64(seconds));
    QCOMPARE(int(clOut.milliseconds), milliseconds);
    QCOMPARE(int(clOut.hyperframe), recordHyperframe);
    // The counters themselves are copied as they are, limited or not.
    QCOMPARE(int(clOut.multiframe), multiframe);
    QCOMPARE(int(clOut.frame), frame);
    QCOMPARE(int(clOut.timeslot), timeslot);
}

void TestTetraTmwConversion::hyperframeWrapContinuesTime() {
    CTetraTmw2Tmv clConverter;
    TetraTmv clOut;
    // Each frame is asked for all three sub-indexes, as the readers do, so a
    // wrap must be counted once per frame, not once per question.
    auto convert = [&](uint16_t lHyperframe, uint32_t lTimeValue = kTmwNoTime) {
        TmwTetraFrame clFrame = BaseFrame();
        clFrame.hyperframe = lHyperframe;
        clFrame.timeValue = lTimeValue;
        clFrame.timeMode = lTimeValue == kTmwNoTime ? 0 : 1;
        TetraTmv clFirst;
        const bool bFirst = clConverter.ConvertTmwTetraFrame(clFrame, 0, clFirst);
        (void)clConverter.ConvertTmwTetraFrame(clFrame, 1, clOut);
        (void)clConverter.ConvertTmwTetraFrame(clFrame, 2, clOut);
        return bFirst ? QString("%1.%2").arg(clFirst.timeSeconds).arg(clFirst.milliseconds)
                      : QString("none");
    };

    // 65,535 hyperframes of 61.2 s: 4,010,742 s.
    QCOMPARE(convert(65535), QString("4010742.0"));
    QCOMPARE(clConverter.SlotOffset(), 0.0);
    QCOMPARE(convert(0), QString("4010803.200"));
    QCOMPARE(clConverter.SlotOffset(), 283115520.0);
    QCOMPARE(convert(1), QString("4010864.400"));
    QCOMPARE(convert(1), QString("4010864.400"));
    QCOMPARE(clConverter.LastHyperframe(), uint16_t(1));

    // Frames with their own time leave the hyperframe memory alone.
    QCOMPARE(convert(65535), QString("8021545.200"));
    QCOMPARE(convert(0, 5), QString("946684805.0"));
    QCOMPARE(convert(0), QString("8021606.400"));
    QCOMPARE(clConverter.SlotOffset(), 2 * 283115520.0);

    clConverter.ResetConversionState();
    QCOMPARE(clConverter.SlotOffset(), 0.0);
    QCOMPARE(clConverter.LastHyperframe(), uint16_t(0));
    QCOMPARE(convert(0), QString("0.0"));
}

void TestTetraTmwConversion::frequency_data() {
    QTest::addColumn<int>("carrier");
    QTest::addColumn<int>("band");
    QTest::addColumn<qulonglong>("frequency");
    QTest::addColumn<int>("valueFlags");

    QTest::newRow("carrier 1000, band 0") << 1000 << 0 << 425000000ULL << 0xF0;
    QTest::newRow("carrier 3500, band 0") << 3500 << 0 << 387500000ULL << 0xF0;
    QTest::newRow("carrier 100, band 3") << 100 << 3 << 302500000ULL << 0xF0;
    QTest::newRow("carrier 0") << 0 << 0 << 0ULL << 0xE0;
    QTest::newRow("carrier 4000") << 4000 << 4 << 0ULL << 0xE0;
    QTest::newRow("carrier 65535") << 65535 << 4 << 0ULL << 0xE0;
    QTest::newRow("carrier 1") << 1 << 0 << 400025000ULL << 0xF0;
    QTest::newRow("carrier 3199, band 0") << 3199 << 0 << 479975000ULL << 0xF0;
    QTest::newRow("carrier 3200, band 0") << 3200 << 0 << 380000000ULL << 0xF0;
    QTest::newRow("carrier 3999, band 15") << 3999 << 15 << 1599975000ULL << 0xF0;
    QTest::newRow("only the low four band bits count") << 100 << 0x13 << 302500000ULL << 0xF0;
    QTest::newRow("band 0x40 counts as no band") << 3500 << 0x40 << 387500000ULL << 0xF0;
}

void TestTetraTmwConversion::frequency() {
    QFETCH(int, carrier);
    QFETCH(int, band);
    QFETCH(qulonglong, frequency);
    QFETCH(int, valueFlags);

    TmwTetraFrame clFrame = BaseFrame();
    clFrame.carrier = uint16_t(carrier);
    clFrame.band = uint8_t(band);
    CTetraTmw2Tmv clConverter;
    TetraTmv clOut;
    QVERIFY(clConverter.ConvertTmwTetraFrame(clFrame, 0, clOut));
    QCOMPARE(clOut.frequency, quint64(frequency));
    QCOMPARE(int(clOut.valueFlags), valueFlags);
}

void TestTetraTmwConversion::burstCodes_data() {
    QTest::addColumn<int>("burstCode");
    QTest::addColumn<int>("entryType");
    QTest::addColumn<QString>("records"); // one character per sub-index 0 to 3
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("flags2");

    QTest::newRow("1 downlink") << 1 << 6 << "1000" << 0 << 0x80;
    QTest::newRow("33 downlink") << 33 << 6 << "1000" << 0 << 0x80;
    QTest::newRow("34 downlink") << 34 << 6 << "1000" << 0 << 0x80;
    QTest::newRow("2 uplink") << 2 << 6 << "1000" << 1 << 0x80;
    QTest::newRow("2 uplink, entry type 17") << 2 << 17 << "1100" << 1 << 0x80;
    QTest::newRow("17 downlink") << 17 << 6 << "1000" << 0 << 0x81;
    QTest::newRow("17 downlink, entry type 17") << 17 << 17 << "1000" << 0 << 0x81;
    QTest::newRow("49 downlink") << 49 << 6 << "1000" << 0 << 0x81;
    QTest::newRow("50 downlink") << 50 << 6 << "1000" << 0 << 0x81;
    QTest::newRow("18 uplink") << 18 << 6 << "1000" << 1 << 0x81;
    QTest::newRow("18 uplink, entry type 17") << 18 << 17 << "1100" << 1 << 0x81;
    QTest::newRow("1 downlink, entry type 17") << 1 << 17 << "1000" << 0 << 0x80;
    QTest::newRow("0 is no burst") << 0 << 6 << "0000" << 0 << 0;
    QTest::newRow("3 is no burst") << 3 << 17 << "0000" << 0 << 0;
    QTest::newRow("19 is no burst") << 19 << 6 << "0000" << 0 << 0;
    QTest::newRow("35 is no burst") << 35 << 6 << "0000" << 0 << 0;
    QTest::newRow("255 is no burst") << 255 << 6 << "0000" << 0 << 0;
}

void TestTetraTmwConversion::burstCodes() {
    QFETCH(int, burstCode);
    QFETCH(int, entryType);
    QFETCH(QString, records);
    QFETCH(int, direction);
    QFETCH(int, flags2);

    TmwTetraFrame clFrame = BaseFrame();
    clFrame.burstCode = uint8_t(burstCode);
    clFrame.entryType = uint8_t(entryType);
    CTetraTmw2Tmv clConverter;
    QString clstrMade;
    for (uint8_t lSubIndex = 0; lSubIndex < 4; ++lSubIndex) {
        TetraTmv clOut;
        const bool bRecord = clConverter.ConvertTmwTetraFrame(clFrame, lSubIndex, clOut);
        clstrMade += bRecord ? '1' : '0';
        if (bRecord) {
            QCOMPARE(int(clOut.direction), direction);
            QCOMPARE(int(clOut.flags2), flags2);
            QCOMPARE(int(clOut.extended), 0);
        }
    }
    QCOMPARE(clstrMade, records);
}

void TestTetraTmwConversion::entryTypeRows_data() {
    QTest::addColumn<int>("entryType");
    QTest::addColumn<int>("burstCode");
    QTest::addColumn<int>("subIndex");
    QTest::addColumn<int>("frameFlags");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("channelCode");
    QTest::addColumn<int>("bitCount");
    QTest::addColumn<int>("burstType");
    QTest::addColumn<int>("dataFlags");
    QTest::addColumn<QByteArray>("data");

    const int all = kFirstBlockFlags;
    const QByteArray clPackedBlocks = PackedBits(D(0, 18), D(27, 18));
    const QByteArray clBlocks8And16 = D(0, 8) + D(27, 16);
    const QByteArray clBlocks16And16 = D(0, 16) + D(27, 16);
    const QByteArray clBlocks16And18 = D(0, 16) + D(27, 16) + D(43, 2);

    // Burst rows write after the two prefix bytes of a downlink burst.
    QTest::newRow("1 downlink") << 1 << 1 << 0 << all << 0 << 0 << 15 << 208 << -1 << 7
                                << kPrefix + clBlocks8And16;
    QTest::newRow("2 uplink") << 2 << 2 << 0 << all << 0 << 1 << 15 << 208 << -1 << 6
                              << clBlocks8And16;
    QTest::newRow("1 downlink, only block 2 valid")
        << 1 << 1 << 0 << 0x06 << 0 << 0 << 15 << 208 << -1 << 5 << kPrefix + Zeros(8) + D(27, 16);
    QTest::newRow("1 downlink, prefix not valid")
        << 1 << 1 << 0 << 0x03 << 0 << 0 << 15 << 208 << -1 << 6 << kPrefix + clBlocks8And16;
    QTest::newRow("3 downlink") << 3 << 1 << 0 << all << 0 << 0 << 16 << 272 << -1 << 7
                                << kPrefix + clBlocks16And16;
    QTest::newRow("4 uplink") << 4 << 2 << 0 << all << 0 << 1 << 21 << 256 << -1 << 6
                              << clBlocks16And16;
    QTest::newRow("5 downlink") << 5 << 1 << 0 << all << 0 << 0 << 17 << 288 << -1 << 3
                                << kPrefix + D(0, 34);
    QTest::newRow("5 uplink") << 5 << 2 << 0 << all << 0 << 1 << 2 << 268 << 0 << 2 << D(0, 34);
    QTest::newRow("5 downlink, no block valid")
        << 5 << 1 << 0 << 0x04 << 0 << 0 << 17 << 288 << -1 << 1 << kPrefix;
    QTest::newRow("6 downlink") << 6 << 1 << 0 << all << 0 << 0 << 1 << 92 << 17 << 3
                                << kPrefix + D(0, 12);
    QTest::newRow("6 uplink") << 6 << 2 << 0 << all << 0 << 1 << 1 << 92 << 17 << 2 << D(0, 12);
    QTest::newRow("7, block 2 valid copies from block 1's place")
        << 7 << 1 << 0 << 0x06 << 0 << 0 << 1 << 92 << 33 << 3 << kPrefix + D(0, 12);
    QTest::newRow("7, only block 1 valid copies nothing")
        << 7 << 1 << 0 << 0x05 << 0 << 0 << 1 << 92 << 33 << 1 << kPrefix;
    QTest::newRow("8 downlink") << 8 << 1 << 0 << all << 0 << 0 << 18 << 272 << -1 << 7
                                << kPrefix + clBlocks16And16;
    QTest::newRow("8 uplink") << 8 << 2 << 0 << all << 0 << 1 << 21 << 256 << -1 << 6
                              << clBlocks16And16;
    QTest::newRow("9 downlink") << 9 << 1 << 0 << all << 0 << 0 << 19 << 288 << -1 << 7
                                << kPrefix + clBlocks16And18;
    QTest::newRow("9 uplink") << 9 << 2 << 0 << all << 0 << 1 << 22 << 272 << -1 << 6
                              << clBlocks16And18;
    QTest::newRow("9 downlink, only block 1 valid")
        << 9 << 1 << 0 << 0x05 << 0 << 0 << 19 << 288 << -1 << 3 << kPrefix + D(0, 16);
    QTest::newRow("10 downlink") << 10 << 1 << 0 << all << 0 << 0 << 19 << 272 << -1 << 3
                                 << kPrefix + D(0, 16);
    QTest::newRow("11 uplink") << 11 << 2 << 0 << all << 0 << 1 << 22 << 272 << -1 << 2 << D(0, 16);
    QTest::newRow("12 downlink") << 12 << 1 << 0 << all << 0 << 0 << 19 << 272 << -1 << 3
                                 << kPrefix + D(0, 16);
    QTest::newRow("13 downlink") << 13 << 1 << 0 << all << 0 << 0 << 20 << 296 << -1 << 3
                                 << kPrefix + clPackedBlocks;
    QTest::newRow("13 uplink") << 13 << 2 << 0 << all << 0 << 1 << 7 << 274 << 0 << 2
                               << clPackedBlocks;
    QTest::newRow("14 downlink") << 14 << 1 << 0 << all << 0 << 0 << 35 << 160 << -1 << 3
                                 << kPrefix + D(0, 18);
    QTest::newRow("14 uplink") << 14 << 2 << 0 << all << 0 << 1 << 28 << 144 << 0 << 2 << D(0, 18);
    QTest::newRow("15 downlink") << 15 << 1 << 0 << all << 0 << 0 << 32 << 304 << -1 << 3
                                 << kPrefix + D(0, 36);
    QTest::newRow("15 uplink") << 15 << 2 << 0 << all << 0 << 1 << 25 << 288 << 0 << 2 << D(0, 36);
    QTest::newRow("16 downlink") << 16 << 1 << 0 << all << 0 << 0 << 31 << 448 << -1 << 3
                                 << kPrefix + D(0, 54);
    QTest::newRow("16 uplink") << 16 << 2 << 0 << all << 0 << 1 << 24 << 432 << 0 << 2 << D(0, 54);
    QTest::newRow("17 downlink") << 17 << 1 << 0 << all << 0 << 0 << 1 << 92 << 17 << 3
                                 << kPrefix + D(0, 12);
    QTest::newRow("17 uplink, sub-index 0")
        << 17 << 2 << 0 << all << 0 << 1 << 1 << 92 << 17 << 2 << D(0, 12);
    QTest::newRow("17 uplink, sub-index 1")
        << 17 << 2 << 1 << all << 0 << 1 << 1 << 92 << 33 << 2 << D(27, 12);
    QTest::newRow("17 uplink 18, sub-index 1")
        << 17 << 18 << 1 << all << 0 << 1 << 1 << 92 << 33 << 2 << D(27, 12);
    QTest::newRow("17 uplink, sub-index 1 without block 2")
        << 17 << 2 << 1 << 0x05 << 0 << 1 << 1 << 92 << 33 << 0 << QByteArray();

    // Information rows write from byte 0, over the prefix, as downlink.
    QTest::newRow("34 downlink") << 34 << 1 << 0 << all << 3 << 0 << 64 << 192 << -1 << 3
                                 << clBlocks8And16;
    QTest::newRow("34 with an uplink burst")
        << 34 << 2 << 0 << all << 3 << 0 << 64 << 192 << -1 << 3 << clBlocks8And16;
    QTest::newRow("34, only block 2 keeps the prefix")
        << 34 << 1 << 0 << 0x06 << 3 << 0 << 64 << 192 << -1 << 3 << kPrefix + Zeros(6) + D(27, 16);
    QTest::newRow("37") << 37 << 1 << 0 << all << 3 << 0 << 51 << 268 << 0 << 1 << D(0, 34);
    QTest::newRow("40") << 40 << 1 << 0 << all << 3 << 0 << 65 << 256 << -1 << 3 << clBlocks16And16;
    QTest::newRow("41") << 41 << 1 << 0 << all << 3 << 0 << 66 << 272 << -1 << 3 << clBlocks16And18;
    QTest::newRow("41, only block 1 valid")
        << 41 << 1 << 0 << 0x01 << 3 << 0 << 66 << 272 << -1 << 1 << D(0, 16);
    QTest::newRow("42") << 42 << 1 << 0 << all << 3 << 0 << 66 << 272 << -1 << 1 << D(0, 16);
    QTest::newRow("43") << 43 << 2 << 0 << all << 3 << 0 << 66 << 272 << -1 << 1 << D(0, 16);
    QTest::newRow("44") << 44 << 1 << 0 << all << 3 << 0 << 66 << 272 << -1 << 1 << D(0, 16);
    QTest::newRow("45") << 45 << 1 << 0 << all << 3 << 0 << 52 << 274 << 0 << 1 << clPackedBlocks;
    QTest::newRow("46") << 46 << 1 << 0 << all << 3 << 0 << 58 << 144 << 0 << 1 << D(0, 18);
    QTest::newRow("47") << 47 << 1 << 0 << all << 3 << 0 << 55 << 288 << 0 << 1 << D(0, 36);
    QTest::newRow("48") << 48 << 1 << 0 << all << 3 << 0 << 54 << 432 << 0 << 1 << D(0, 54);
    QTest::newRow("48, no block valid, prefix not valid")
        << 48 << 1 << 0 << 0x00 << 3 << 0 << 54 << 432 << 0 << 0 << kPrefix;

    // No row: empty channel information, the prefix left as it was.
    for (int lType : {0, 18, 19, 32, 33, 35, 36, 38, 39, 49, 100, 255}) {
        QTest::addRow("%d downlink, no row", lType)
            << lType << 1 << 0 << all << 0 << 0 << 0 << 0 << 0 << 0 << kPrefix;
    }
    QTest::newRow("0 uplink, no row")
        << 0 << 2 << 0 << all << 0 << 1 << 0 << 0 << 0 << 0 << QByteArray();
}

void TestTetraTmwConversion::entryTypeRows() {
    QFETCH(int, entryType);
    QFETCH(int, burstCode);
    QFETCH(int, subIndex);
    QFETCH(int, frameFlags);
    QFETCH(int, kind);
    QFETCH(int, direction);
    QFETCH(int, channelCode);
    QFETCH(int, bitCount);
    QFETCH(int, burstType);
    QFETCH(int, dataFlags);
    QFETCH(QByteArray, data);

    TmwTetraFrame clFrame = BaseFrame();
    clFrame.entryType = uint8_t(entryType);
    clFrame.burstCode = uint8_t(burstCode);
    clFrame.frameFlags = uint8_t(frameFlags);
    clFrame.timeValue = 100;
    clFrame.timeMode = 1;
    clFrame.hyperframe = 3;
    clFrame.multiframe = 4;
    clFrame.frame = 5;
    clFrame.timeslot = 2;

    CTetraTmw2Tmv clConverter;
    TetraTmv clOut;
    for (int i = 0; i < subIndex; ++i)
        (void)clConverter.ConvertTmwTetraFrame(clFrame, uint8_t(i), clOut);
    std::memset(&clOut, 0x5A, sizeof clOut);
    QVERIFY(clConverter.ConvertTmwTetraFrame(clFrame, uint8_t(subIndex), clOut));

    TetraTmv clExpected{};
    clExpected.timeSeconds = 946684900;
    clExpected.hyperframe = 3;
    clExpected.multiframe = 4;
    clExpected.frame = 5;
    clExpected.timeslot = 2;
    clExpected.valueFlags = 0xE0;
    clExpected.direction = uint8_t(direction);
    clExpected.channelCode = uint8_t(channelCode);
    clExpected.bitCount = uint16_t(bitCount);
    clExpected.burstType = int8_t(burstType);
    clExpected.dataFlags = uint8_t(dataFlags);
    clExpected.flags2 = burstCode == 18 ? 0x81 : 0x80;
    std::memcpy(clExpected.data, data.constData(), size_t(data.size()));
    if (!SameTetra(clOut, clExpected))
        return;
    QCOMPARE(int(clConverter.Kind()), kind);
}

void TestTetraTmwConversion::valuesAndSecondRecords() {
    TmwTetraFrame clFrame = BaseFrame();
    clFrame.carrier = 1000;
    clFrame.value1First = 123;
    clFrame.value1Second = -45;
    clFrame.value2First = 7;
    clFrame.value2Second = -9;
    clFrame.value3First = 3;
    clFrame.value3Second = -2;
    clFrame.timeValue = 5000;
    clFrame.burstCode = 2;
    clFrame.entryType = 17;

    CTetraTmw2Tmv clConverter;
    TetraTmv clFirst;
    TetraTmv clSecond;
    TetraTmv clNone;
    QVERIFY(clConverter.ConvertTmwTetraFrame(clFrame, 0, clFirst));
    QVERIFY(clConverter.ConvertTmwTetraFrame(clFrame, 1, clSecond));
    QVERIFY(!clConverter.ConvertTmwTetraFrame(clFrame, 2, clNone));

    QCOMPARE(int(clFirst.valueFlags), 0xF0);
    QCOMPARE(clFirst.value1, 12);
    QCOMPARE(clFirst.value2, 3);
    QCOMPARE(clFirst.value3, 375);
    QCOMPARE(int(clFirst.burstType), 17);
    QCOMPARE(DataOf(clFirst), DataArea(D(0, 12)));

    // The block-2 record: its own values, the frequency kept but not marked.
    QCOMPARE(int(clSecond.valueFlags), 0xE0);
    QCOMPARE(clSecond.frequency, quint64(425000000));
    QCOMPARE(clSecond.value1, -4);
    QCOMPARE(clSecond.value2, -4);
    QCOMPARE(clSecond.value3, -250);
    QCOMPARE(int(clSecond.burstType), 33);
    QCOMPARE(int(clSecond.direction), 1);
    QCOMPARE(clSecond.timeSeconds, quint64(5));
    QCOMPARE(DataOf(clSecond), DataArea(D(27, 12)));

    // Entry type 7 takes value 3 from the first source and keeps the
    // frequency mark.
    clFrame.entryType = 7;
    clFrame.burstCode = 1;
    TetraTmv clType7;
    QVERIFY(clConverter.ConvertTmwTetraFrame(clFrame, 0, clType7));
    QCOMPARE(int(clType7.valueFlags), 0xF0);
    QCOMPARE(clType7.value1, -4);
    QCOMPARE(clType7.value2, -4);
    QCOMPARE(clType7.value3, 375);
    // Without a valid block 2 it still takes those values.
    clFrame.frameFlags = kTmwBlock1Valid;
    QVERIFY(clConverter.ConvertTmwTetraFrame(clFrame, 0, clType7));
    QCOMPARE(clType7.value1, -4);
    QCOMPARE(int(clType7.dataFlags), 0);
}

void TestTetraTmwConversion::valueRounding_data() {
    QTest::addColumn<int>("value1First");
    QTest::addColumn<int>("value2First");
    QTest::addColumn<int>("value3First");
    QTest::addColumn<int>("value1");
    QTest::addColumn<int>("value2");
    QTest::addColumn<int>("value3");

    QTest::newRow("-7 and -3 truncate toward zero") << -7 << -3 << 0 << 0 << -1 << 0;
    QTest::newRow("positive quotients truncate") << 19 << 7 << 1 << 1 << 3 << 125;
    QTest::newRow("negative tens") << -25 << -8 << -4 << -2 << -4 << -500;
    QTest::newRow("largest values") << 32767 << 32767 << 32767 << 3276 << 16383 << 4095875;
    QTest::newRow("smallest values") << -32768 << -32768 << -32768 << -3276 << -16384 << -4096000;
}

void TestTetraTmwConversion::valueRounding() {
    QFETCH(int, value1First);
    QFETCH(int, value2First);
    QFETCH(int, value3First);
    QFETCH(int, value1);
    QFETCH(int, value2);
    QFETCH(int, value3);

    TmwTetraFrame clFrame = BaseFrame();
    clFrame.value1First = int16_t(value1First);
    clFrame.value2First = int16_t(value2First);
    clFrame.value3First = int16_t(value3First);
    CTetraTmw2Tmv clConverter;
    TetraTmv clOut;
    QVERIFY(clConverter.ConvertTmwTetraFrame(clFrame, 0, clOut));
    QCOMPARE(clOut.value1, value1);
    QCOMPARE(clOut.value2, value2);
    QCOMPARE(clOut.value3, value3);
}

void TestTetraTmwConversion::unknownEntryTypeKeepsKind() {
    CTetraTmw2Tmv clConverter;
    QString clstrKinds;
    for (int lType : {0, 34, 0, 99, 1, 255, 45, 35, 2, 49}) {
        TmwTetraFrame clFrame = BaseFrame();
        clFrame.entryType = uint8_t(lType);
        TetraTmv clOut;
        QVERIFY(clConverter.ConvertTmwTetraFrame(clFrame, 0, clOut));
        clstrKinds += QString::number(clConverter.Kind());
    }
    QCOMPARE(clstrKinds, QString("0333003300"));

    // A frame that gives no record leaves the kind alone.
    TmwTetraFrame clFrame = BaseFrame();
    clFrame.entryType = 34;
    TetraTmv clOut;
    QVERIFY(clConverter.ConvertTmwTetraFrame(clFrame, 0, clOut));
    clFrame.entryType = 1;
    QVERIFY(!clConverter.ConvertTmwTetraFrame(clFrame, 1, clOut));
    clFrame.burstCode = 0;
    QVERIFY(!clConverter.ConvertTmwTetraFrame(clFrame, 0, clOut));
    QCOMPARE(int(clConverter.Kind()), 3);
    clConverter.ResetConversionState();
    QCOMPARE(int(clConverter.Kind()), 0);
}

void TestTetraTmwConversion::packing274_data() {
    QTest::addColumn<QByteArray>("data"); // 54 bytes

    QTest::newRow("all ones") << QByteArray(54, '\xFF');
    QTest::newRow("alternating 0xAA") << QByteArray(54, '\xAA');
    QTest::newRow("alternating 0x55") << QByteArray(54, '\x55');
    QByteArray clRandom(54, '\0');
    uint32_t lState = 12345;
    for (char &c : clRandom) {
        lState = lState * 1103515245u + 12345u;
        c = char(lState >> 24);
    }
    QTest::newRow("pseudo-random") << clRandom;
    QByteArray clBit136 = Zeros(54);
    clBit136[17] = char(0x80);
    QTest::newRow("only bit 136 of block 1") << clBit136;
    QByteArray clBit0 = Zeros(54);
    clBit0[27] = char(0x80);
    QTest::newRow("only bit 0 of block 2") << clBit0;
    QByteArray clBit7 = Zeros(54);
    clBit7[27] = char(0x01);
    QTest::newRow("only bit 7 of block 2") << clBit7;
    QByteArray clLast = Zeros(54);
    clLast[44] = char(0x80);
    QTest::newRow("only bit 136 of block 2") << clLast;
    QByteArray clBeyond = Zeros(54);
    clBeyond[17] = 0x7F;
    clBeyond.replace(18, 9, QByteArray(9, '\xFF'));
    clBeyond[44] = 0x7F;
    clBeyond.replace(45, 9, QByteArray(9, '\xFF'));
    QTest::newRow("bits beyond 137 are left out") << clBeyond;
}

void TestTetraTmwConversion::packing274() {
    QFETCH(QByteArray, data);
    const QByteArray clPacked = PackedBits(data.mid(0, 18), data.mid(27, 18));
    QCOMPARE(clPacked.size(), 35);

    struct Case {
        int entryType;
        int burstCode;
        QByteArray leading;
    };
    for (const Case &clCase : {Case{45, 1, {}}, Case{13, 2, {}}, Case{13, 1, kPrefix}}) {
        TmwTetraFrame clFrame = BaseFrame();
        clFrame.entryType = uint8_t(clCase.entryType);
        clFrame.burstCode = uint8_t(clCase.burstCode);
        std::memcpy(clFrame.data, data.constData(), kTmwFrameDataSize);
        CTetraTmw2Tmv clConverter;
        TetraTmv clOut;
        QVERIFY(clConverter.ConvertTmwTetraFrame(clFrame, 0, clOut));
        QCOMPARE(DataOf(clOut).toHex(' '), DataArea(clCase.leading + clPacked).toHex(' '));
    }
    if (data == QByteArray(54, '\xFF'))
        QCOMPARE(uint8_t(clPacked[34]), uint8_t(0xC0));
}

void TestTetraTmwConversion::recordFrequencyWraps_data() {
    QTest::addColumn<int>("band");
    QTest::addColumn<int>("carrier");
    QTest::addColumn<qulonglong>("frequency");

    QTest::newRow("band 4, carrier 1000") << 4 << 1000 << 425000000ULL;
    QTest::newRow("band 0, carrier 0") << 0 << 0 << 0ULL;
    QTest::newRow("whole band byte, no offset") << 0x13 << 100 << 1902500000ULL;
    QTest::newRow("largest without a wrap") << 21 << 1475 << 2136875000ULL;
    // 88,000 x 25,000 = 2,200,000,000 wraps to -2,094,967,296, widened with its sign.
    QTest::newRow("wraps to a negative value") << 22 << 0 << 18446744071614584320ULL;
    // 1,085,535 x 25,000 = 27,138,375,000 = 6 x 2^32 + 1,368,571,224.
    QTest::newRow("wraps more than once") << 255 << 65535 << 1368571224ULL;
}

void TestTetraTmwConversion::recordFrequencyWraps() {
    QFETCH(int, band);
    QFETCH(int, carrier);
    QFETCH(qulonglong, frequency);
    QCOMPARE(TmwFrameRecordFrequency(uint8_t(band), uint16_t(carrier)), quint64(frequency));

    CTetraTmw2Tmv clConverter;
    TetraTmv clPayload{};
    RawRecord clRecord{};
    clRecord.sourceByte = 0x77;
    clRecord.spare64 = 9;
    clConverter.FillTetraRecord(clRecord, frequency, clPayload);
    QCOMPARE(clRecord.recordClass, 2u);
    QCOMPARE(clRecord.frequency, quint64(frequency));
    QCOMPARE(clRecord.symbolRate, 18000u);
    QCOMPARE(int(clRecord.value16), 0);
    QCOMPARE(int(clRecord.payloadKind), 0);
    QCOMPARE(clRecord.payloadLength, 1136u);
    QCOMPARE(clRecord.payload, static_cast<void *>(&clPayload));
    QCOMPARE(int(clRecord.sourceByte), 0x77);
    QCOMPARE(clRecord.spare64, quint64(0));
}

void TestTetraTmwConversion::headerInfo() {
    FileHeaderInfo clInfo;
    std::memset(&clInfo, 0x7E, sizeof clInfo);
    FillTmwFileHeaderInfo(clInfo, "Proprietary TMW recording");
    QCOMPARE(clInfo.infoType, 1u);
    QCOMPARE(clInfo.fileMagic, quint64(0));
    QCOMPARE(clInfo.startTime, qint64(0));
    QCOMPARE(int(clInfo.value16), 0);
    QCOMPARE(QByteArray(clInfo.recordingType), QByteArray("Proprietary TMW recording"));
    QCOMPARE(QByteArray(clInfo.infoText1), QByteArray("unknown"));
    QCOMPARE(QByteArray(clInfo.infoText2), QByteArray(" - "));
    QCOMPARE(QByteArray(clInfo.infoText3), QByteArray(" - "));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(clInfo.reservedBlock), 1024), Zeros(1024));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(clInfo.extraBytes), 16), Zeros(16));
    QCOMPARE(clInfo.extraValue, 0.0);

    // A text longer than its field is cut and terminated.
    const QByteArray clLong(300, 'x');
    FillTmwFileHeaderInfo(clInfo, clLong.constData());
    QCOMPARE(QByteArray(clInfo.recordingType), QByteArray(127, 'x'));
}

BVF_TEST_MAIN(TestTetraTmwConversion)
#include "test_tetra_tmw_conversion.moc"
