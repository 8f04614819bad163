// The DMR conversion of ".lan" recordings: finding frames and their checksum,
// decoding with the acceptance table, the calendar time, burst kinds and the
// timeslot flag, options and the item placement. Frames are built byte by
// byte with LanBytes; expected values are worked out here independently.
#include "DmrTmw2DmrTmv.h"
#include "LanTestKit.h"
#include "TestRegistry.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

using namespace ContainerTestKit;
using namespace LanTestKit;

namespace {

LanBytes::DmrFrameFields NamedFrame(uint16_t lName, uint8_t lBurstCode = 1) {
    LanBytes::DmrFrameFields clFields;
    clFields.word1 = lName;
    clFields.burstKindCode = lBurstCode;
    clFields.timeWord = LanBytes::TimeWord({2024, 3, 1, 12, 0, 0, 0});
    return clFields;
}

LanBytes::Bytes Named(uint16_t lName) {
    return LanBytes::DmrFrame(NamedFrame(lName));
}

// The frame with byte2 chosen so that its CRC is lCrc, and the check byte
// lCheck.
LanBytes::Bytes FrameWithCrc(LanBytes::DmrFrameFields clFields, uint8_t lCrc, uint8_t lCheck) {
    clFields.check = LanBytes::DmrCheck::Given;
    clFields.givenCheck = lCheck;
    for (int lByte2 = 0; lByte2 < 256; ++lByte2) {
        clFields.byte2 = uint8_t(lByte2);
        const LanBytes::Bytes clFrame = LanBytes::DmrFrame(clFields);
        if (LanBytes::FrameCrc(clFrame) == lCrc)
            return clFrame;
    }
    return {};
}

// Sets the check byte of built frame bytes to their CRC (255 for 0).
void Reseal(LanBytes::Bytes &clFrame) {
    const uint8_t lCrc = LanBytes::FrameCrc(clFrame);
    clFrame[3] = lCrc == 0 ? 255 : lCrc;
}

// Finds, decodes and converts one frame, as the reader does.
bool ConvertBytes(const LanBytes::Bytes &clFrame, CDmrTmw2DmrTmv &clConverter, DmrTmv &clOut) {
    uint32_t lLength = 0;
    uint32_t lStep = 0;
    if (CDmrTmw2DmrTmv::CheckDmrFrame(clFrame.data(), clFrame.size(), lLength, lStep) !=
        DmrFrameCheck::Found)
        return false;
    TmwDmrFrame clDecoded{};
    if (!CDmrTmw2DmrTmv::DecodeDmrFrame(clFrame.data(), lLength, clDecoded, lStep))
        return false;
    return clConverter.ConvertDmrFrame(clDecoded, clOut);
}

quint64 Utc(int lYear, int lMonth, int lDay, int lHour = 0, int lMinute = 0, int lSecond = 0) {
    // Counted from the first of the month, so an impossible day runs on.
    const QDateTime clTime(QDate(lYear, lMonth, 1), QTime(lHour, lMinute, lSecond), Qt::UTC);
    return quint64(clTime.addDays(lDay - 1).toSecsSinceEpoch());
}

// One item slot as "slot:kind/bits/highFlag/itemFlags/first+count", where the
// data holds count bytes first, first + 1, ... and zeros after them; "?" for
// data of another shape.
QString DescribeSlot(const DmrTmv &clDmr, int lSlot) {
    const DmrConstItemRef clRef = DmrItemAt(clDmr, lSlot);
    uint32_t lCount = 0;
    if (clRef.data[0] != 0) {
        lCount = 1;
        while (lCount < clRef.capacity && clRef.data[lCount] == uint8_t(clRef.data[0] + lCount))
            ++lCount;
    }
    for (uint32_t i = lCount; i < clRef.capacity; ++i) {
        if (clRef.data[i] != 0)
            return "?";
    }
    return QString("%1:%2/%3/%4/%5/%6+%7")
        .arg(lSlot)
        .arg(clRef.item->itemKind)
        .arg(clRef.item->bitCount)
        .arg(clRef.item->highFlag)
        .arg(clRef.item->itemFlags)
        .arg(clRef.data[0], 2, 16, QChar('0'))
        .arg(lCount);
}

// Every slot that is not empty.
QStringList DescribeSlots(const DmrTmv &clDmr) {
    QStringList clSlots;
    for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot) {
        const QString clstrSlot = DescribeSlot(clDmr, lSlot);
        if (clstrSlot != QString("%1:0/0/0/0/00+0").arg(lSlot))
            clSlots << clstrSlot;
    }
    return clSlots;
}

// A DMR record by its name and timeslot.
QStringList TimeslotTrace(CVirtualFileFormat &clReader) {
    QStringList clTrace;
    for (;;) {
        RawRecord clRecord{};
        const FileResult enResult = clReader.ReadData(clRecord);
        if (enResult != FILE_OK) {
            clTrace << QString::number(int(enResult));
            return clTrace;
        }
        clTrace << QString("W:%1/%2").arg(Dmr(clRecord).word1).arg(Dmr(clRecord).timeslot);
    }
}

// Most data bytes an item of each kind may carry, worked out for the tests.
const int kAccepted[40] = {0,  2,  3,  1,  3,  4,  5,  10, 33, 27, 12, 12, 12, 12,
                           12, 12, 12, 12, 18, 12, 24, 12, 0,  0,  0,  0,  4,  0,
                           0,  0,  0,  0,  0,  0,  0,  0,  16, 8,  0,  0};

} // namespace

class TestDmrConversion : public QObject {
    Q_OBJECT

  private slots:
    void crc8();
    void checksum_data();
    void checksum();
    void frameSteps_data();
    void frameSteps();
    void calendar_data();
    void calendar();
    void burstKind_data();
    void burstKind();
    void timeslotFlagScope();
    void options_data();
    void options();
    void items_data();
    void items();
    void placement_data();
    void placement();
    void acceptance_data();
    void acceptance();
    void recordFields();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QTemporaryDir m_clDir;
};

void TestDmrConversion::crc8() {
    // The common check value of this CRC.
    const char *pCheck = "123456789";
    QCOMPARE(int(DmrCrc8(reinterpret_cast<const uint8_t *>(pCheck), 9)), 0xF4);
    QCOMPARE(int(LanBytes::Crc8(reinterpret_cast<const uint8_t *>(pCheck), 9)), 0xF4);
    QCOMPARE(int(DmrCrc8(nullptr, 0)), 0);
    // The reader's table-free loop and the encoder's polynomial division agree.
    uint32_t lState = 7;
    for (int lLength = 1; lLength < 120; ++lLength) {
        LanBytes::Bytes clBytes(static_cast<size_t>(lLength));
        for (uint8_t &lByte : clBytes) {
            lState = lState * 1103515245u + 12345u;
            lByte = uint8_t(lState >> 16);
        }
        QCOMPARE(DmrCrc8(clBytes.data(), clBytes.size()),
                 LanBytes::Crc8(clBytes.data(), clBytes.size()));
    }
}

void TestDmrConversion::checksum_data() {
    QTest::addColumn<QByteArray>("frame"); // named 1, between frames 7 and 8
    QTest::addColumn<bool>("accepted");

    LanBytes::DmrFrameFields clFields = NamedFrame(1);
    clFields.check = LanBytes::DmrCheck::None;
    QTest::newRow("X = 0 skips the check") << ToBytes(LanBytes::DmrFrame(clFields)) << true;
    clFields.check = LanBytes::DmrCheck::Given;
    clFields.givenCheck = 0;
    clFields.byte2 = 0x5A;
    QTest::newRow("X = 0 with any content") << ToBytes(LanBytes::DmrFrame(clFields)) << true;

    const LanBytes::Bytes clGood = FrameWithCrc(NamedFrame(1), 0x3C, 0x3C);
    QTest::newRow("matching CRC") << ToBytes(clGood) << true;
    QTest::newRow("CRC 0x3C, X 0x3D") << ToBytes(FrameWithCrc(NamedFrame(1), 0x3C, 0x3D)) << false;
    QTest::newRow("CRC 0x3C, X 255") << ToBytes(FrameWithCrc(NamedFrame(1), 0x3C, 255)) << false;
    QTest::newRow("CRC 0 with X 255") << ToBytes(FrameWithCrc(NamedFrame(1), 0, 255)) << true;
    QTest::newRow("CRC 0 with X 0: no check") << ToBytes(FrameWithCrc(NamedFrame(1), 0, 0)) << true;
    QTest::newRow("CRC 0 with X 1") << ToBytes(FrameWithCrc(NamedFrame(1), 0, 1)) << false;
    QTest::newRow("CRC 255 with X 255") << ToBytes(FrameWithCrc(NamedFrame(1), 255, 255)) << true;

    // The check covers the kind byte and everything up to the terminator.
    LanBytes::Bytes clChanged = clGood;
    clChanged[4 + 12] ^= 0x01;
    QTest::newRow("byte2 changed after the check") << ToBytes(clChanged) << false;
    clChanged = clGood;
    clChanged[clChanged.size() - 2] ^= 0x80;
    QTest::newRow("last byte before the terminator changed") << ToBytes(clChanged) << false;
    clChanged = clGood;
    clChanged[4] = 3;
    QTest::newRow("kind byte changed") << ToBytes(clChanged) << false;
}

void TestDmrConversion::checksum() {
    QFETCH(QByteArray, frame);
    QFETCH(bool, accepted);

    const QString clstrPath = Path("checksum.lan");
    QVERIFY(WriteFileBytes(clstrPath, ToBytes(Named(7)) + frame + ToBytes(Named(8))));
    const QStringList clExpected =
        accepted ? QStringList{"W:7", "W:1", "W:8", "3"} : QStringList{"W:7", "W:8", "3"};
    QCOMPARE(ReadFileTrace(clstrPath), clExpected);

    CDmrTmw2DmrTmv clConverter;
    DmrTmv clOut;
    QCOMPARE(ConvertBytes(FromBytes(frame), clConverter, clOut), accepted);
}

void TestDmrConversion::frameSteps_data() {
    QTest::addColumn<QByteArray>("frame"); // between frames 1 and 2
    QTest::addColumn<QStringList>("trace");

    // A frame whose bytes hold a whole good frame (named 5): stepping over the
    // outer one by its length passes the inner one over, stepping by one byte
    // finds it.
    const LanBytes::Bytes clInner = Named(5);
    auto holding = [&clInner](uint8_t lKind, LanBytes::DmrCheck enCheck, uint8_t lFlags = 0) {
        LanBytes::DmrFrameFields clFields = NamedFrame(9);
        clFields.frameKind = lKind;
        clFields.check = enCheck;
        clFields.optionFlags = lFlags;
        clFields.trailing = clInner;
        return clFields;
    };
    const QStringList clOuterSkipped = {"W:1", "W:2", "3"};
    const QStringList clInnerFound = {"W:1", "W:5", "W:2", "3"};

    QTest::newRow("kind 1 with a checksum: passed over by its length")
        << ToBytes(LanBytes::DmrFrame(holding(1, LanBytes::DmrCheck::Computed))) << clOuterSkipped;
    QTest::newRow("kind 1 without a checksum: by one byte")
        << ToBytes(LanBytes::DmrFrame(holding(1, LanBytes::DmrCheck::None))) << clInnerFound;
    QTest::newRow("kind 2 holding a frame is one frame")
        << ToBytes(LanBytes::DmrFrame(holding(2, LanBytes::DmrCheck::None)))
        << QStringList{"W:1", "W:9", "W:2", "3"};
    QTest::newRow("option flags 0x40 with a checksum: no record, by its length")
        << ToBytes(LanBytes::DmrFrame(holding(2, LanBytes::DmrCheck::Computed, 0x40)))
        << clOuterSkipped;
    QTest::newRow("option flags 0x40 without a checksum: by one byte")
        << ToBytes(LanBytes::DmrFrame(holding(2, LanBytes::DmrCheck::None, 0x40))) << clInnerFound;

    LanBytes::DmrFrameFields clFields = holding(2, LanBytes::DmrCheck::Given);
    // Any check byte but the right one and 0 (no checksum).
    const uint8_t lCrc = LanBytes::FrameCrc(LanBytes::DmrFrame(clFields));
    clFields.givenCheck = uint8_t(lCrc == 0x10 ? 0x20 : lCrc ^ 0x10);
    QTest::newRow("wrong checksum: by one byte")
        << ToBytes(LanBytes::DmrFrame(clFields)) << clInnerFound;
    clFields = holding(2, LanBytes::DmrCheck::Computed);
    clFields.terminator = 0xFD;
    QTest::newRow("wrong terminator: by one byte")
        << ToBytes(LanBytes::DmrFrame(clFields)) << clInnerFound;
    clFields = holding(2, LanBytes::DmrCheck::Computed);
    clFields.trailing.resize(110 - 21, 0);
    QTest::newRow("length 110: by one byte")
        << ToBytes(LanBytes::DmrFrame(clFields)) << clInnerFound;
    clFields.trailing.resize(109 - 21, 0);
    QTest::newRow("length 109 is a frame")
        << ToBytes(LanBytes::DmrFrame(clFields)) << QStringList{"W:1", "W:9", "W:2", "3"};
    clFields = holding(2, LanBytes::DmrCheck::Computed);
    clFields.statedLength = 30;
    QTest::newRow("stated length short of the terminator")
        << ToBytes(LanBytes::DmrFrame(clFields)) << clInnerFound;

    // Too short for its own fields: the item count is missing.
    LanBytes::Bytes clShort = Named(9);
    clShort.erase(clShort.begin() + 19);
    clShort[2] = uint8_t(clShort.size());
    Reseal(clShort);
    QTest::newRow("20 bytes: too short for the fixed fields") << ToBytes(clShort) << clOuterSkipped;

    // Option flags that claim options the frame does not hold.
    LanBytes::Bytes clNoOptions = Named(9);
    clNoOptions[18] = 0x3F;
    Reseal(clNoOptions);
    QTest::newRow("options reaching the terminator: no record")
        << ToBytes(clNoOptions) << clOuterSkipped;
    clFields = NamedFrame(9);
    clFields.items = {LanBytes::DmrItem(1, 16)};
    clFields.items[0].data.resize(1);
    QTest::newRow("item reaching the terminator: no record")
        << ToBytes(LanBytes::DmrFrame(clFields)) << clOuterSkipped;
    clFields = NamedFrame(9);
    clFields.items = {LanBytes::DmrItem(1, 16)};
    clFields.statedCount = 2;
    QTest::newRow("item count above the items: no record")
        << ToBytes(LanBytes::DmrFrame(clFields)) << clOuterSkipped;
    clFields.statedCount = 1;
    clFields.trailing = {0x00, 0x00};
    QTest::newRow("bytes after the counted items are ignored")
        << ToBytes(LanBytes::DmrFrame(clFields)) << QStringList{"W:1", "W:9", "W:2", "3"};
    QTest::newRow("marker alone at the end")
        << QByteArray(1, char(0x7F)) << QStringList{"W:1", "W:2", "3"};
}

void TestDmrConversion::frameSteps() {
    QFETCH(QByteArray, frame);
    QFETCH(QStringList, trace);

    const QString clstrPath = Path("steps.lan");
    QByteArray clFile = ToBytes(Named(1)) + frame + ToBytes(Named(2));
    if (frame.size() == 1)
        clFile = ToBytes(Named(1)) + ToBytes(Named(2)) + frame;
    QVERIFY(WriteFileBytes(clstrPath, clFile));
    QCOMPARE(ReadFileTrace(clstrPath), trace);
}

void TestDmrConversion::calendar_data() {
    QTest::addColumn<QList<int>>("fields"); // year, month, day, hour, minute, second, ms
    QTest::addColumn<qulonglong>("seconds");
    QTest::addColumn<int>("milliseconds");

    QTest::newRow("2023, month 0, day 0 is 1 January 2023")
        << QList<int>{2023, 0, 0, 0, 0, 0, 0} << Utc(2023, 1, 1) << 0;
    QTest::newRow("an ordinary time")
        << QList<int>{2023, 7, 14, 9, 26, 53, 589} << Utc(2023, 7, 14, 9, 26, 53) << 589;
    QTest::newRow("31 April is 1 May")
        << QList<int>{2023, 4, 31, 8, 30, 15, 250} << Utc(2023, 5, 1, 8, 30, 15) << 250;
    QTest::newRow("30 February of a leap year is 1 March")
        << QList<int>{2024, 2, 30, 0, 0, 0, 0} << Utc(2024, 3, 1) << 0;
    QTest::newRow("29 February of a leap year")
        << QList<int>{2024, 2, 29, 23, 59, 59, 999} << Utc(2024, 2, 29, 23, 59, 59) << 999;
    QTest::newRow("29 February of a common year is 1 March")
        << QList<int>{2023, 2, 29, 0, 0, 0, 0} << Utc(2023, 3, 1) << 0;
    QTest::newRow("31 February 2100 is 3 March")
        << QList<int>{2100, 2, 31, 0, 0, 0, 0} << Utc(2100, 3, 3) << 0;
    QTest::newRow("months 13 to 15 are December")
        << QList<int>{2022, 15, 10, 1, 2, 3, 4} << Utc(2022, 12, 10, 1, 2, 3) << 4;
    QTest::newRow("hour, minute and second limited")
        << QList<int>{2023, 6, 1, 31, 63, 63, 0} << Utc(2023, 6, 1, 23, 59, 59) << 0;
    QTest::newRow("milliseconds are not limited")
        << QList<int>{2023, 6, 1, 0, 0, 0, 1023} << Utc(2023, 6, 1) << 1023;
    QTest::newRow("1970-01-01 00:00:00") << QList<int>{1970, 1, 1, 0, 0, 0, 0} << 0ULL << 0;
    QTest::newRow("before 1970 is 0") << QList<int>{1969, 12, 31, 23, 59, 59, 5} << 0ULL << 5;
    QTest::newRow("year 0 is 1900, so 0") << QList<int>{0, 6, 1, 0, 0, 0, 0} << 0ULL << 0;
    QTest::newRow("year 4095 is 2100")
        << QList<int>{4095, 12, 31, 23, 59, 59, 0} << Utc(2100, 12, 31, 23, 59, 59) << 0;
    QTest::newRow("every field at its largest")
        << QList<int>{4095, 15, 31, 31, 63, 63, 1023} << Utc(2100, 12, 31, 23, 59, 59) << 1023;
}

void TestDmrConversion::calendar() {
    QFETCH(QList<int>, fields);
    QFETCH(qulonglong, seconds);
    QFETCH(int, milliseconds);

    LanBytes::DmrFrameFields clFields = NamedFrame(1);
    clFields.timeWord = LanBytes::TimeWord(
        {uint16_t(fields[0]), uint8_t(fields[1]), uint8_t(fields[2]), uint8_t(fields[3]),
         uint8_t(fields[4]), uint8_t(fields[5]), uint16_t(fields[6])});
    CDmrTmw2DmrTmv clConverter;
    DmrTmv clOut;
    QVERIFY(ConvertBytes(LanBytes::DmrFrame(clFields), clConverter, clOut));
    QCOMPARE(clOut.timeSeconds, quint64(seconds));
    QCOMPARE(int(clOut.milliseconds), milliseconds);
    QCOMPARE(clOut.altTimeSeconds, quint64(0));
    QCOMPARE(int(clOut.altMilliseconds), 0);
}

void TestDmrConversion::burstKind_data() {
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QList<int>>("kinds");
    QTest::addColumn<QList<int>>("timeslots");

    QTest::newRow("code 7 gives 5") << QList<int>{7} << QList<int>{5} << QList<int>{0};
    QTest::newRow("codes 0 to 6 and 255")
        << QList<int>{0, 1, 2, 3, 4, 5, 6, 255} << QList<int>{1, 2, 3, 4, 5, 5, 5, 5}
        << QList<int>{0, 1, 0, 0, 0, 0, 0, 0};
    QTest::newRow("kind 2 before any kind 1 gets timeslot 0")
        << QList<int>{1, 2, 1} << QList<int>{2, 3, 2} << QList<int>{0, 0, 0};
    QTest::newRow("kind 2 after a kind 1 gets timeslot 1")
        << QList<int>{1, 0, 1, 3, 1} << QList<int>{2, 1, 2, 4, 2} << QList<int>{0, 0, 1, 0, 1};
}

void TestDmrConversion::burstKind() {
    QFETCH(QList<int>, codes);
    QFETCH(QList<int>, kinds);
    QFETCH(QList<int>, timeslots);

    CDmrTmw2DmrTmv clConverter;
    for (int i = 0; i < codes.size(); ++i) {
        DmrTmv clOut;
        QVERIFY(
            ConvertBytes(LanBytes::DmrFrame(NamedFrame(1, uint8_t(codes[i]))), clConverter, clOut));
        QCOMPARE(int(clOut.burstKind), kinds[i]);
        QCOMPARE(int(clOut.timeslot), timeslots[i]);
    }
}

void TestDmrConversion::timeslotFlagScope() {
    // File A holds a kind 1 burst before a kind 2 burst; file B only a kind 2.
    const QString clstrA = Path("a.lan");
    const QString clstrB = Path("b.lan");
    QVERIFY(WriteFileBytes(clstrA, ToBytes(LanBytes::DmrFrame(NamedFrame(1, 1))) +
                                       ToBytes(LanBytes::DmrFrame(NamedFrame(2, 0))) +
                                       ToBytes(LanBytes::DmrFrame(NamedFrame(3, 1)))));
    QVERIFY(WriteFileBytes(clstrB, ToBytes(LanBytes::DmrFrame(NamedFrame(4, 1)))));
    const QStringList clTraceA = {"W:1/0", "W:2/0", "W:3/1", "3"};
    const QStringList clTraceB = {"W:4/0", "3"};

    CTmwFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    for (int lRound = 0; lRound < 2; ++lRound) {
        QCOMPARE(int(clReader.OpenFile(ToWide(clstrA).c_str(), clInfo, 0)), 0);
        QCOMPARE(TimeslotTrace(clReader), clTraceA);
        clReader.CloseFile();
        // The flag set by file A does not reach file B.
        QCOMPARE(int(clReader.OpenFile(ToWide(clstrB).c_str(), clInfo, 0)), 0);
        QCOMPARE(TimeslotTrace(clReader), clTraceB);
        clReader.CloseFile();
    }
    // Nor another reader object, while the first has file A open.
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrA).c_str(), clInfo, 0)), 0);
    QCOMPARE(TimeslotTrace(clReader), clTraceA);
    CTmwFileFormatV1 clOther;
    QCOMPARE(int(clOther.OpenFile(ToWide(clstrB).c_str(), clInfo, 0)), 0);
    QCOMPARE(TimeslotTrace(clOther), clTraceB);

    // The converter itself: per object, cleared by the reset.
    CDmrTmw2DmrTmv clFirst;
    CDmrTmw2DmrTmv clSecond;
    DmrTmv clOut;
    QVERIFY(ConvertBytes(LanBytes::DmrFrame(NamedFrame(1, 0)), clFirst, clOut));
    QVERIFY(clFirst.BurstKind1Seen());
    QVERIFY(ConvertBytes(LanBytes::DmrFrame(NamedFrame(2, 1)), clSecond, clOut));
    QCOMPARE(int(clOut.timeslot), 0);
    QVERIFY(ConvertBytes(LanBytes::DmrFrame(NamedFrame(2, 1)), clFirst, clOut));
    QCOMPARE(int(clOut.timeslot), 1);
    clFirst.ResetDmrConversionState();
    QVERIFY(ConvertBytes(LanBytes::DmrFrame(NamedFrame(2, 1)), clFirst, clOut));
    QCOMPARE(int(clOut.timeslot), 0);
}

void TestDmrConversion::options_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<bool>("record");
    // optionalFlags, byte4, word2, word3, word4, value48, word5
    QTest::addColumn<QList<qulonglong>>("values");

    QTest::newRow("no options") << 0x00 << true << QList<qulonglong>{0, 0, 0, 0, 0, 0, 0};
    QTest::newRow("all six") << 0x3F << true << QList<qulonglong>{0x3F,   0xA5,   0x1234,
                                                                  0x5678, 0x9ABC, 0xFEDCBA9876ULL,
                                                                  0xBEEF};
    QTest::newRow("the 40-bit option only")
        << 0x01 << true << QList<qulonglong>{0x01, 0, 0, 0, 0, 0xFEDCBA9876ULL, 0};
    QTest::newRow("bit 5 keeps the low 16 bits")
        << 0x20 << true << QList<qulonglong>{0x20, 0, 0, 0, 0, 0, 0xBEEF};
    QTest::newRow("bits 1 and 3") << 0x0A << true
                                  << QList<qulonglong>{0x0A, 0xA5, 0, 0x5678, 0, 0, 0};
    QTest::newRow("bits 2 and 4") << 0x14 << true
                                  << QList<qulonglong>{0x14, 0, 0x1234, 0, 0x9ABC, 0, 0};
    QTest::newRow("option flags 0x40: no record") << 0x40 << false << QList<qulonglong>{};
    QTest::newRow("option flags 0x80: no record") << 0x80 << false << QList<qulonglong>{};
    QTest::newRow("option flags 0xFF: no record") << 0xFF << false << QList<qulonglong>{};
}

void TestDmrConversion::options() {
    QFETCH(int, flags);
    QFETCH(bool, record);
    QFETCH(QList<qulonglong>, values);

    LanBytes::DmrFrameFields clFields = NamedFrame(0x4321);
    clFields.byte1 = 0x11;
    clFields.byte2 = 0x22;
    clFields.optionFlags = uint8_t(flags);
    clFields.option40 = 0xFEDCBA9876ULL;
    clFields.option8 = 0xA5;
    clFields.optionWord2 = 0x1234;
    clFields.optionWord3 = 0x5678;
    clFields.optionWord4 = 0x9ABC;
    clFields.option32 = 0xDEADBEEF;
    // An item after the options shows that they were measured right.
    clFields.items = {LanBytes::DmrItem(1, 16, 0x60)};

    CDmrTmw2DmrTmv clConverter;
    DmrTmv clOut;
    std::memset(&clOut, 0x77, sizeof clOut);
    QCOMPARE(ConvertBytes(LanBytes::DmrFrame(clFields), clConverter, clOut), record);
    if (!record)
        return;
    QCOMPARE(int(clOut.word1), 0x4321);
    QCOMPARE(int(clOut.byte1), 0x11);
    QCOMPARE(int(clOut.byte2), 0x22);
    const QList<qulonglong> clActual = {clOut.optionalFlags, clOut.byte4, clOut.word2,
                                        clOut.word3,         clOut.word4, clOut.value48,
                                        clOut.word5};
    QCOMPARE(clActual, values);
    QCOMPARE(DescribeSlots(clOut), QStringList{"2:1/16/0/0/60+2"});
}

void TestDmrConversion::items_data() {
    QTest::addColumn<QList<QList<int>>>("items"); // kind, bits, flags[, data bytes]
    QTest::addColumn<QStringList>("filled");

    QTest::newRow("kind 8 with 260 bits: 216 bits and 27 bytes")
        << QList<QList<int>>{{8, 260, 0}} << QStringList{"5:8/216/0/0/10+27"};
    QTest::newRow("kind 8 with 270 bits is passed over")
        << QList<QList<int>>{{8, 270, 0}} << QStringList{};
    QTest::newRow("kind 22 without data is dropped")
        << QList<QList<int>>{{22, 0, 0}} << QStringList{};
    QTest::newRow("kind 22 with data is passed over")
        << QList<QList<int>>{{22, 8, 0}} << QStringList{};
    QTest::newRow("kind 0, 40 and 255 are passed over")
        << QList<QList<int>>{{0, 0, 0}, {40, 0, 0}, {255, 8, 0}} << QStringList{};
    QTest::newRow("item flags: bit 0 high, the rest shifted")
        << QList<QList<int>>{{1, 16, 0xB5}} << QStringList{"2:1/16/1/90/10+2"};
    QTest::newRow("a later item in the same slot replaces the earlier")
        << QList<QList<int>>{{5, 32, 0}, {7, 77, 2}} << QStringList{"3:7/77/0/1/20+10"};
    QTest::newRow("a shorter replacement leaves nothing of the earlier")
        << QList<QList<int>>{{7, 77, 0}, {5, 32, 0}} << QStringList{"3:5/32/0/0/20+4"};
    QTest::newRow("six stored items, the seventh ignored")
        << QList<QList<int>>{{1, 16, 0}, {2, 20, 0}, {3, 7, 0}, {5, 32, 0},
                             {6, 36, 0}, {8, 8, 0},  {10, 8, 0}}
        << QStringList{"0:3/7/0/0/30+1",  "1:6/36/0/0/50+5", "2:1/16/0/0/10+2",
                       "3:5/32/0/0/40+4", "4:2/20/0/0/20+3", "5:8/8/0/0/60+1"};
    QTest::newRow("passed-over items do not count toward six")
        << QList<QList<int>>{{3, 16, 0}, {1, 16, 0}, {2, 20, 0}, {4, 24, 0},
                             {5, 32, 0}, {6, 36, 0}, {10, 8, 0}}
        << QStringList{"0:4/24/0/0/40+3", "1:6/36/0/0/60+5", "2:1/16/0/0/20+2",
                       "3:5/32/0/0/50+4", "4:2/20/0/0/30+3", "5:10/8/0/0/70+1"};
    QTest::newRow("bit count above the slot's bits, data within")
        << QList<QList<int>>{{3, 8, 0}} << QStringList{"0:3/7/0/0/10+1"};
    QTest::newRow("data shorter than the slot's bytes")
        << QList<QList<int>>{{9, 9, 0}} << QStringList{"5:9/9/0/0/10+2"};
}

void TestDmrConversion::items() {
    QFETCH(QList<QList<int>>, items);
    QFETCH(QStringList, filled);

    LanBytes::DmrFrameFields clFields = NamedFrame(1);
    for (int i = 0; i < items.size(); ++i) {
        clFields.items.push_back(LanBytes::DmrItem(uint8_t(items[i][0]), uint16_t(items[i][1]),
                                                   uint8_t(0x10 * (i + 1)), uint8_t(items[i][2])));
    }
    CDmrTmw2DmrTmv clConverter;
    DmrTmv clOut;
    std::memset(&clOut, 0x77, sizeof clOut);
    QVERIFY(ConvertBytes(LanBytes::DmrFrame(clFields), clConverter, clOut));
    QCOMPARE(DescribeSlots(clOut), filled);
}

void TestDmrConversion::placement_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("slot"); // -1: dropped
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("bits");

    // Kind, slot, bytes, bits, worked out from the placement table.
    const int aRows[][4] = {
        {1, 2, 2, 16},    {2, 4, 3, 20},   {3, 0, 3, 7},     {4, 0, 3, 24},   {5, 3, 18, 32},
        {6, 1, 9, 36},    {7, 3, 18, 77},  {8, 5, 27, 216},  {9, 5, 27, 216}, {10, 5, 27, 96},
        {11, 5, 27, 96},  {12, 5, 27, 96}, {13, 5, 27, 96},  {14, 5, 27, 96}, {15, 5, 27, 96},
        {16, 5, 27, 96},  {17, 5, 27, 96}, {18, 5, 27, 144}, {19, 5, 27, 96}, {20, 5, 27, 192},
        {21, 5, 27, 96},  {22, -1, 0, 0},  {23, -1, 0, 0},   {24, -1, 0, 0},  {25, -1, 0, 0},
        {26, 5, 27, 32},  {27, -1, 0, 0},  {28, -1, 0, 0},   {29, -1, 0, 0},  {30, -1, 0, 0},
        {31, -1, 0, 0},   {32, -1, 0, 0},  {33, -1, 0, 0},   {34, -1, 0, 0},  {35, -1, 0, 0},
        {36, 3, 18, 128}, {37, 1, 9, 68},  {38, 3, 18, 32},  {39, -1, 0, 0},
    };
    for (const auto &aRow : aRows) {
        QTest::addRow("kind %d", aRow[0]) << aRow[0] << aRow[1] << aRow[2] << aRow[3];
    }
}

void TestDmrConversion::placement() {
    QFETCH(int, kind);
    QFETCH(int, slot);
    QFETCH(int, bytes);
    QFETCH(int, bits);

    // The largest item the acceptance table lets through, all bits set.
    const int lAccepted = kAccepted[kind];
    const uint16_t lItemBits = uint16_t(lAccepted * 8);
    LanBytes::DmrFrameFields clFields = NamedFrame(1);
    clFields.items = {LanBytes::DmrItem(uint8_t(kind), lItemBits, 0x01, 0x03)};
    CDmrTmw2DmrTmv clConverter;
    DmrTmv clOut;
    QVERIFY(ConvertBytes(LanBytes::DmrFrame(clFields), clConverter, clOut));
    if (slot < 0 || lAccepted == 0) {
        // Dropped, or stored without data: a kind with a slot still lands.
        QCOMPARE(DescribeSlots(clOut),
                 slot < 0 ? QStringList{}
                          : QStringList{QString("%1:%2/0/1/1/00+0").arg(slot).arg(kind)});
        return;
    }
    const int lCopied = qMin(bytes, lAccepted);
    const int lKept = qMin(bits, int(lItemBits));
    QCOMPARE(
        DescribeSlots(clOut),
        QStringList{QString("%1:%2/%3/1/1/01+%4").arg(slot).arg(kind).arg(lKept).arg(lCopied)});
}

void TestDmrConversion::acceptance_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("dataBytes");
    QTest::addColumn<bool>("stored");

    for (int lKind = 0; lKind < 40; ++lKind) {
        QTest::addRow("kind %d with %d bytes", lKind, kAccepted[lKind])
            << lKind << kAccepted[lKind] << (lKind != 0);
        QTest::addRow("kind %d with %d bytes", lKind, kAccepted[lKind] + 1)
            << lKind << kAccepted[lKind] + 1 << false;
    }
    QTest::newRow("kind 40") << 40 << 0 << false;
    QTest::newRow("kind 255") << 255 << 1 << false;
}

void TestDmrConversion::acceptance() {
    QFETCH(int, kind);
    QFETCH(int, dataBytes);
    QFETCH(bool, stored);

    // The item under test between two that are always stored.
    LanBytes::DmrFrameFields clFields = NamedFrame(1);
    clFields.items = {LanBytes::DmrItem(1, 16, 0xA0),
                      LanBytes::DmrItem(uint8_t(kind), uint16_t(dataBytes * 8), 0x01, 0x42),
                      LanBytes::DmrItem(2, 20, 0xB0)};
    const LanBytes::Bytes clFrame = LanBytes::DmrFrame(clFields);
    uint32_t lLength = 0;
    uint32_t lStep = 0;
    QCOMPARE(CDmrTmw2DmrTmv::CheckDmrFrame(clFrame.data(), clFrame.size(), lLength, lStep),
             DmrFrameCheck::Found);
    TmwDmrFrame clDecoded;
    std::memset(&clDecoded, 0x55, sizeof clDecoded);
    QVERIFY(CDmrTmw2DmrTmv::DecodeDmrFrame(clFrame.data(), lLength, clDecoded, lStep));
    QCOMPARE(lStep, uint32_t(clFrame.size()));
    QCOMPARE(int(clDecoded.checksumState), int(DMR_CHECKSUM_MATCHED));
    QCOMPARE(int(clDecoded.itemCount), stored ? 3 : 2);
    QCOMPARE(clDecoded.items[0].itemKind, 1u);
    QCOMPARE(clDecoded.items[stored ? 2 : 1].itemKind, 2u);
    QCOMPARE(int(clDecoded.items[stored ? 2 : 1].data[0]), 0xB0);
    if (stored) {
        const TmwDmrItem &clItem = clDecoded.items[1];
        QCOMPARE(clItem.itemKind, uint32_t(kind));
        QCOMPARE(int(clItem.bitCount), dataBytes * 8);
        QCOMPARE(int(clItem.itemFlags), 0x42);
        for (int i = 0; i < dataBytes; ++i)
            QCOMPARE(int(clItem.data[i]), 1 + i);
    }
}

void TestDmrConversion::recordFields() {
    LanBytes::DmrFrameFields clFields = NamedFrame(0x0102, 0);
    clFields.timeWord = LanBytes::TimeWord({2024, 5, 6, 7, 8, 9, 10});
    const QString clstrPath = Path("fields.lan");
    QVERIFY(WriteFileBytes(clstrPath, ToBytes(LanBytes::DmrFrame(clFields))));
    CTmwFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    RawRecord clRecord{};
    clRecord.sourceByte = 0x42;
    clRecord.frequency = 99;
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(clRecord.recordClass, 2u);
    QCOMPARE(clRecord.frequency, quint64(0));
    QCOMPARE(clRecord.symbolRate, 4800u);
    QCOMPARE(int(clRecord.value16), 0);
    QCOMPARE(int(clRecord.payloadKind), int(PAYLOAD_DMR));
    QCOMPARE(clRecord.payloadLength, 296u);
    QCOMPARE(int(clRecord.sourceByte), 0x42);
    QCOMPARE(Dmr(clRecord).timeSeconds, Utc(2024, 5, 6, 7, 8, 9));
    QCOMPARE(int(Dmr(clRecord).milliseconds), 10);
    QCOMPARE(int(Dmr(clRecord).burstKind), 1);
    QCOMPARE(int(clReader.Mode()), int(CTmwFileFormatV1::STREAM_DMR));
    QCOMPARE(int(clReader.ReadData(clRecord)), 3);
}

BVF_TEST_MAIN(TestDmrConversion)
#include "test_dmr_conversion.moc"
