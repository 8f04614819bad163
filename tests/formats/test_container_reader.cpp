// Reading containers built byte by byte, independently of our writer.
#include "BrennovarstikFileFormatV1.h"
#include "ContainerBytes.h"
#include "ContainerTestKit.h"
#include "OpenFileFormat.h"
#include "TestPaths.h"
#include "TestRegistry.h"
#include <algorithm>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>

using namespace ContainerBytes;
using namespace ContainerTestKit;

namespace {

QByteArray Labels(std::initializer_list<const char *> clLabels, int lPayloadSize = 0) {
    QByteArray clBytes;
    for (const char *pLabel : clLabels)
        clBytes += LabelRecord(pLabel, lPayloadSize);
    return clBytes;
}

QByteArray FlipBit(QByteArray clBytes, int lOffset, int lBit) {
    clBytes[lOffset] = char(uint8_t(clBytes[lOffset]) ^ (1u << lBit));
    return clBytes;
}

QByteArray DataBytes(int lCount, uint8_t lFirst) {
    QByteArray clData;
    for (int i = 0; i < lCount; ++i)
        clData.append(char(uint8_t(lFirst + i)));
    return clData;
}

SubHeader SampleSub() {
    SubHeader clSub;
    clSub.sourceByte = 0xA5;
    clSub.frequency = 392987500;
    clSub.symbolRate = 18000;
    clSub.value16 = 0xBEEF;
    return clSub;
}

} // namespace

class TestContainerReader : public QObject {
    Q_OBJECT

  private slots:
    void openResult_data();
    void openResult();
    void headerFieldsAndOpenFailures();
    void damage_data();
    void damage();
    void endInGarbageIsReportedOnce();
    void tetraVersions();
    void dmrAndGsm();
    void dmrTimeslotMemoryBelongsToTheReader();
    void noStaleBytesFromEarlierRecords();
    void notices();
    void onlineStepByStep();
    void onlineWhileAnotherThreadAppends();
    void progressAndPosition();
    void callsFromTwoThreadsAreSerialised();
    void statesAndOptions();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QTemporaryDir m_clDir;
};

void TestContainerReader::openResult_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("online");
    QTest::addColumn<int>("openResult");
    QTest::addColumn<int>("firstRead");

    QTest::newRow("header only, version 1") << HeaderOfVersion(1) << "" << 0 << 0 << 3;
    QTest::newRow("header only, version 2") << HeaderOfVersion(2) << "" << 0 << 0 << 3;
    QTest::newRow("header only, version 3") << HeaderOfVersion(3) << "" << 0 << 0 << 3;
    QTest::newRow("header only, online argument") << HeaderOfVersion(3) << "" << 1 << 0 << 8;
    QTest::newRow("header only, ONLINE: prefix") << HeaderOfVersion(3) << "ONLINE:" << 0 << 0 << 8;
    QTest::newRow("header only, online: prefix") << HeaderOfVersion(3) << "online:" << 0 << 0 << 8;
    QTest::newRow("one byte short") << HeaderOfVersion(3).left(2354) << "" << 0 << 6 << 1;
    QTest::newRow("empty file") << QByteArray() << "" << 0 << 6 << 1;
    HeaderFields clV4;
    clV4.magic = MagicText(4);
    QTest::newRow("unknown version 4") << Header(clV4) << "" << 0 << 6 << 1;
    HeaderFields clLower;
    clLower.magic = "brennovarstik_v3_______";
    QTest::newRow("lower-case magic") << Header(clLower) << "" << 0 << 6 << 1;
    QByteArray clNoZero = HeaderOfVersion(3);
    clNoZero[23] = '_';
    QTest::newRow("magic without its zero byte") << clNoZero << "" << 0 << 6 << 1;
    // Only the magic is checked: the fixed fields after it may hold anything.
    HeaderFields clOddFields;
    clOddFields.headerLength = 7;
    clOddFields.zeroField = 0xFFFFFFFF;
    clOddFields.oneField = 9;
    QTest::newRow("odd fixed fields") << Header(clOddFields) << "" << 0 << 0 << 3;
}

void TestContainerReader::openResult() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, prefix);
    QFETCH(int, online);
    QFETCH(int, openResult);
    QFETCH(int, firstRead);
    const QString clstrPath = Path("open.bvf");
    QVERIFY(WriteFileBytes(clstrPath, bytes));

    CBrennovarstikFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(prefix + clstrPath).c_str(), clInfo, uint8_t(online))),
             openResult);
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), firstRead);
    if (openResult == 0) {
        QCOMPARE(clReader.IsOnlineFile(), firstRead == 8);
        QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), clstrPath);
        // End of data changes nothing: asking again gives the same answer.
        QCOMPARE(int(clReader.ReadData(clRecord)), firstRead);
    }
    clReader.CloseFile();
}

void TestContainerReader::headerFieldsAndOpenFailures() {
    HeaderFields clFields;
    clFields.magic = MagicText(2);
    clFields.fileMagic = 0x0123456789ABCDEFULL;
    clFields.startTime = 1700000000;
    clFields.value16 = 0xCAFE;
    clFields.recordingType = "Cell 4711";
    clFields.infoText1 = "first";
    clFields.infoText2 = "second";
    clFields.reservedBlock = DataBytes(1024, 3);
    clFields.infoText3 = QByteArray(1000, 'x'); // no terminator in the file
    clFields.extraBytes = DataBytes(16, 0xF0);
    clFields.extraValue = -2.5e-3;
    const QString clstrPath = Path("fields.bvf");
    QVERIFY(WriteFileBytes(clstrPath, Header(clFields) + LabelRecord("one")));

    CBrennovarstikFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(clInfo.infoType, 1u);
    QCOMPARE(clInfo.fileMagic, 0x0123456789ABCDEFULL);
    QCOMPARE(clInfo.startTime, int64_t(1700000000));
    QCOMPARE(clInfo.value16, uint16_t(0xCAFE));
    QCOMPARE(QByteArray(clInfo.recordingType), QByteArray("Cell 4711"));
    QCOMPARE(QByteArray(clInfo.infoText1), QByteArray("first"));
    QCOMPARE(QByteArray(clInfo.infoText2), QByteArray("second"));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(clInfo.reservedBlock), 1024),
             DataBytes(1024, 3));
    QCOMPARE(QByteArray(clInfo.infoText3), QByteArray(999, 'x'));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(clInfo.extraBytes), 16),
             DataBytes(16, 0xF0));
    QCOMPARE(clInfo.extraValue, -2.5e-3);
    QCOMPARE(clReader.IsOnlineFile(), false);

    // A second open on an open object changes nothing.
    FileHeaderInfo clOther{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clOther, 0)), 1);
    QCOMPARE(ReadTrace(clReader), QStringList({"G:one", "3"}));
    clReader.CloseFile();
    QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), QString());
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 1);

    // Paths that cannot be opened; the object stays usable.
    QVERIFY(QDir(m_clDir.path()).mkdir("folder.bvf"));
    for (const QString &clstrBad :
         {Path("missing.bvf"), Path("no/such/folder/a.bvf"), Path("folder.bvf")}) {
        QCOMPARE(int(clReader.OpenFile(ToWide(clstrBad).c_str(), clOther, 0)), 1);
    }
    const std::wstring clstrTooLong = ToWide(Path(QString(300, 'a')));
    QCOMPARE(int(clReader.OpenFile(clstrTooLong.c_str(), clOther, 0)), 1);
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clOther, 0)), 0);
    clReader.CloseFile();
}

void TestContainerReader::damage_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<QStringList>("trace");

    const QByteArray clFive = Labels({"r1", "r2", "r3", "r4", "r5"}, 100);
    const int lRecord = 133; // 10 + 23 + 100
    const int lSecond = lRecord;

    QTest::newRow("intact") << 3 << clFive
                            << QStringList{"G:r1", "G:r2", "G:r3", "G:r4", "G:r5", "3"};
    QTest::newRow("last record cut short")
        << 3 << clFive.left(clFive.size() - 5) << QStringList{"G:r1", "G:r2", "G:r3", "G:r4", "3"};
    QTest::newRow("last record cut inside its head")
        << 3 << clFive.left(4 * lRecord + 6) << QStringList{"G:r1", "G:r2", "G:r3", "G:r4", "3"};
    QTest::newRow("last record's head only")
        << 3 << clFive.left(4 * lRecord + 10) << QStringList{"G:r1", "G:r2", "G:r3", "G:r4", "3"};
    QTest::newRow("ten zero bytes between two records")
        << 3 << LabelRecord("a") + QByteArray(10, '\0') + LabelRecord("b")
        << QStringList{"G:a", "G:b", "3"};
    QTest::newRow("flipped bit inside a record")
        << 3 << FlipBit(clFive, lSecond + 40, 3)
        << QStringList{"G:r1", "G:r3", "G:r4", "G:r5", "3"};
    QTest::newRow("flipped bit in a checksum")
        << 3 << FlipBit(clFive, lSecond + 7, 0) << QStringList{"G:r1", "G:r3", "G:r4", "G:r5", "3"};
    // The length 133 (0x85) with one bit flipped: shorter, longer but inside
    // the file, longer than the rest of the file, and out of range.
    QTest::newRow("length bit 2: shorter")
        << 3 << FlipBit(clFive, lSecond + 3, 2) << QStringList{"G:r1", "G:r3", "G:r4", "G:r5", "3"};
    QTest::newRow("length bit 8: longer, inside the file")
        << 3 << FlipBit(clFive, lSecond + 2, 0) << QStringList{"G:r1", "G:r3", "G:r4", "G:r5", "3"};
    QTest::newRow("length bit 16: beyond the end of the file")
        << 3 << FlipBit(clFive, lSecond + 1, 0) << QStringList{"G:r1", "G:r3", "G:r4", "G:r5", "3"};
    QTest::newRow("length bit 31: out of range")
        << 3 << FlipBit(clFive, lSecond, 7) << QStringList{"G:r1", "G:r3", "G:r4", "G:r5", "3"};
    QTest::newRow("length of the second-to-last record beyond the end")
        << 3 << FlipBit(clFive, 3 * lRecord + 1, 0)
        << QStringList{"G:r1", "G:r2", "G:r3", "G:r5", "3"};
    // Garbage whose first bytes read as a plausible length costs nothing.
    QTest::newRow("garbage that looks like a length")
        << 3 << LabelRecord("a") + QByteArray::fromHex("0000002002000102030405") + LabelRecord("b")
        << QStringList{"G:a", "G:b", "3"};
    QTest::newRow("garbage at the end")
        << 3 << LabelRecord("a") + QByteArray(50, '\xFF') << QStringList{"G:a", "4", "3"};
    QTest::newRow("nine bytes of garbage at the end")
        << 3 << LabelRecord("a") + QByteArray(9, '\xFF') << QStringList{"G:a", "3"};

    const QByteArray clA = LabelRecord("a");
    const QByteArray clB = LabelRecord("b");
    QTest::newRow("nonzero flag byte") << 3 << clA + Frame(2, QByteArray(23, '\0') + "zz", 1) + clB
                                       << QStringList{"G:a", "4", "G:b", "3"};
    QTest::newRow("type 0") << 3 << clA + Record(0, SubHeader{}, "zz") + clB
                            << QStringList{"G:a", "4", "G:b", "3"};
    // No writer makes type 0: a search does not stop there, good checksum or not.
    QTest::newRow("type 0 met while searching")
        << 3 << clA + QByteArray(10, '\0') + Record(0, SubHeader{}, "zz") + clB
        << QStringList{"G:a", "G:b", "3"};
    QTest::newRow("record shorter than its sub-header")
        << 3 << clA + Frame(2, QByteArray(12, '\0')) + clB << QStringList{"G:a", "4", "G:b", "3"};
    QTest::newRow("unknown type 7 is passed over")
        << 3 << clA + Record(7, SubHeader{}, "zz") + clB << QStringList{"G:a", "G:b", "3"};

    TetraBody clTetra;
    clTetra.timeSeconds = 77;
    clTetra.bitCount = 16;
    clTetra.data = "xy";
    QTest::newRow("TETRA body shorter than its head")
        << 3
        << clA + Record(3, SubHeader{}, TetraBodyBytes(clTetra, TetraLayout::V2).left(20)) + clB
        << QStringList{"G:a", "4", "G:b", "3"};
    TetraBody clShortData = clTetra;
    clShortData.data = "x";
    QTest::newRow("TETRA data part one byte short")
        << 3 << clA + Record(3, SubHeader{}, TetraBodyBytes(clShortData, TetraLayout::V2)) + clB
        << QStringList{"G:a", "4", "G:b", "3"};
    // A version-2 layout in a version-1 file has one byte too many.
    QTest::newRow("TETRA version 2 layout in a version 1 file")
        << 1 << clA + Record(3, SubHeader{}, TetraBodyBytes(clTetra, TetraLayout::V2)) + clB
        << QStringList{"G:a", "4", "G:b", "3"};
    QTest::newRow("TETRA auxiliary in a version 1 file")
        << 1 << clA + Record(6, SubHeader{}, TetraBodyBytes(clTetra, TetraLayout::V2)) + clB
        << QStringList{"G:a", "4", "G:b", "3"};
    QTest::newRow("extended TETRA in a version 1 file")
        << 1 << clA + Record(8, SubHeader{}, TetraBodyBytes(clTetra, TetraLayout::Extended)) + clB
        << QStringList{"G:a", "4", "G:b", "3"};
    QTest::newRow("intact TETRA")
        << 3 << clA + Record(3, SubHeader{}, TetraBodyBytes(clTetra, TetraLayout::V2)) + clB
        << QStringList{"G:a", "T:77", "G:b", "3"};

    DmrBody clDmr;
    clDmr.timeSeconds = 99;
    clDmr.burstKind = 1;
    clDmr.items = {DmrItemBytes{8, 0, 16, "pq"}};
    DmrBody clOverrun = clDmr;
    clOverrun.items = {DmrItemBytes{8, 0, 24, "pq"}}; // three bytes announced, two there
    QTest::newRow("DMR item overrunning its body")
        << 3 << clA + Record(5, SubHeader{}, DmrBodyBytes(clOverrun)) + clB
        << QStringList{"G:a", "4", "G:b", "3"};
    DmrBody clCount = clDmr;
    clCount.itemCount = 2; // one item there
    QTest::newRow("DMR item count beyond its body")
        << 3 << clA + Record(5, SubHeader{}, DmrBodyBytes(clCount)) + clB
        << QStringList{"G:a", "4", "G:b", "3"};
    QTest::newRow("intact DMR") << 3 << clA + Record(5, SubHeader{}, DmrBodyBytes(clDmr)) + clB
                                << QStringList{"G:a", "D:99/0", "G:b", "3"};

    GsmBody clGsm;
    clGsm.fileTime = 133000000000000000ULL;
    QTest::newRow("GSM in a version 2 file")
        << 2 << clA + Record(9, SubHeader{}, GsmBodyBytes(clGsm)) + clB
        << QStringList{"G:a", "4", "G:b", "3"};
    QTest::newRow("GSM body shorter than its head")
        << 3 << clA + Record(9, SubHeader{}, GsmBodyBytes(clGsm).left(63)) + clB
        << QStringList{"G:a", "4", "G:b", "3"};
    QTest::newRow("intact GSM") << 3 << clA + Record(9, SubHeader{}, GsmBodyBytes(clGsm)) + clB
                                << QStringList{"G:a", "S:133000000000000000", "G:b", "3"};
}

void TestContainerReader::damage() {
    QFETCH(int, version);
    QFETCH(QByteArray, records);
    QFETCH(QStringList, trace);
    const QString clstrPath = Path("damage.bvf");
    QVERIFY(WriteFileBytes(clstrPath, HeaderOfVersion(version) + records));
    CBrennovarstikFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(ReadTrace(clReader), trace);
    clReader.CloseFile();
}

void TestContainerReader::endInGarbageIsReportedOnce() {
    const QString clstrPath = Path("garbage.bvf");
    // Garbage longer than a read buffer, so the search crosses refills.
    QByteArray clGarbage(300000, '\xFF');
    QVERIFY(WriteFileBytes(clstrPath, HeaderOfVersion(3) + LabelRecord("a") + clGarbage));
    CBrennovarstikFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(ReadTrace(clReader), QStringList({"G:a", "4", "3"}));
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 3);
    QCOMPARE(clReader.GetFileSize(false), clReader.GetFileSize(true) - 9);

    // A good record appended later is still found by the search.
    QVERIFY(AppendFileBytes(clstrPath, LabelRecord("late")));
    QCOMPARE(ReadTrace(clReader), QStringList({"G:late", "3"}));
    clReader.CloseFile();
}

void TestContainerReader::tetraVersions() {
    TetraBody clBody;
    clBody.timeSeconds = 1700000000;
    clBody.milliseconds = 123;
    clBody.hyperframe = 0x1234;
    clBody.multiframe = 7;
    clBody.frame = 11;
    clBody.timeslot = 3;
    clBody.valueFlags = 0xE0;
    clBody.valueSlots[0] = 0xFFFE;
    clBody.valueSlots[1] = 100;
    clBody.valueSlots[2] = 0x8000;
    clBody.direction = 1;
    clBody.channelCode = 9;
    clBody.bitCount = 20;
    clBody.dataFlags = 0x55;
    clBody.burstType = 0x13;
    clBody.burstInfo[0] = 1;
    clBody.burstInfo[1] = 2;
    clBody.burstInfo[2] = 3;
    clBody.flags2 = 0x80;
    clBody.data = QByteArray::fromHex("AABBC0");

    const SubHeader clSub = SampleSub();
    // Version 1: no flags2 byte, data straight after the burst information.
    QByteArray clV1Body = TetraBodyBytes(clBody, TetraLayout::V1);
    QCOMPARE(clV1Body.mid(31), QByteArray::fromHex("AABBC0"));
    // Version 2: with flags2 bit 2 the extra value sits in the first slot
    // whose valid bit is clear (slot 2 here).
    TetraBody clSlotRule = clBody;
    clSlotRule.valueFlags = 0xA0;
    clSlotRule.flags2 = 0x84;
    clSlotRule.valueSlots[1] = 0x1234;
    TetraBody clExtended = clBody;
    clExtended.flags2 = 0x04;
    clExtended.valueFlags = 0xE0;
    clExtended.frame = 10; // all three valid: the writer used slot 3
    clExtended.valueFlags = 0xC0;
    clExtended.valueSlots[2] = 0x4321;
    clExtended.extended = 1;
    clExtended.ext1 = 0x11;
    clExtended.ext2 = 0x2222;
    clExtended.ext3 = 0x33333333;
    clExtended.ext4 = 0x44444444;
    for (int i = 0; i < 9; ++i)
        clExtended.ext5[i] = uint16_t(0x5000 + i);
    TetraBody clAux = clSlotRule; // no value-slot rule for the auxiliary type

    struct Case {
        int version;
        uint8_t type;
        TetraLayout layout;
        const TetraBody *body;
    };
    const Case aCases[] = {
        {1, 3, TetraLayout::V1, &clBody},
        {2, 3, TetraLayout::V2, &clSlotRule},
        {3, 8, TetraLayout::Extended, &clExtended},
        {2, 6, TetraLayout::V2, &clAux},
    };
    for (const Case &clCase : aCases) {
        const QString clstrPath =
            Path(QString("tetra%1_%2.bvf").arg(clCase.version).arg(clCase.type));
        QVERIFY(WriteFileBytes(clstrPath, HeaderOfVersion(clCase.version) +
                                              Record(clCase.type, clSub,
                                                     TetraBodyBytes(*clCase.body, clCase.layout))));
        CBrennovarstikFileFormatV1 clReader;
        FileHeaderInfo clInfo{};
        QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
        RawRecord clRecord{};
        QCOMPARE(int(clReader.ReadData(clRecord)), 0);
        QCOMPARE(int(clRecord.payloadKind), clCase.type == 6 ? 3 : 0);
        QCOMPARE(clRecord.payloadLength, kTetraTmvLength);
        QCOMPARE(clRecord.recordClass, 2u);
        QCOMPARE(clRecord.sourceByte, uint8_t(0xA5));
        QCOMPARE(clRecord.frequency, uint64_t(392987500));
        QCOMPARE(clRecord.symbolRate, 18000u);
        QCOMPARE(clRecord.value16, uint16_t(0xBEEF));
        QCOMPARE(clRecord.spare64, uint64_t(0));
        QCOMPARE(clRecord.spare32, 0u);
        const TetraTmv &t = *static_cast<const TetraTmv *>(clRecord.payload);
        QCOMPARE(t.timeSeconds, uint64_t(1700000000));
        QCOMPARE(t.milliseconds, uint16_t(123));
        QCOMPARE(t.hyperframe, uint16_t(0x1234));
        QCOMPARE(t.multiframe, uint8_t(7));
        QCOMPARE(t.frame, clCase.body->frame);
        QCOMPARE(t.timeslot, uint8_t(3));
        QCOMPARE(t.direction, uint8_t(1));
        QCOMPARE(t.channelCode, uint8_t(9));
        QCOMPARE(t.bitCount, uint16_t(20));
        QCOMPARE(t.dataFlags, uint8_t(0x55));
        QCOMPARE(t.burstType, int8_t(0x13));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(t.burstInfo), 3),
                 QByteArray::fromHex("010203"));
        QCOMPARE(t.frequency, uint64_t(392987500));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(t.data), 4),
                 QByteArray::fromHex("AABBC000"));
        QCOMPARE(t.value1, int32_t(-2));
        switch (clCase.version * 10 + clCase.type) {
        case 13:
            QCOMPARE(t.flags2, uint8_t(0));
            QCOMPARE(t.extended, uint8_t(0));
            QCOMPARE(t.valueFlags, uint8_t(0xE0));
            QCOMPARE(t.value2, int32_t(100));
            QCOMPARE(t.value3, int32_t(-32768));
            break;
        case 23:
            QCOMPARE(t.flags2, uint8_t(0x84));
            QCOMPARE(t.valueFlags, uint8_t(0xA0));
            QCOMPARE(t.extraValue, uint16_t(0x1234));
            QCOMPARE(t.value2, int32_t(0));
            QCOMPARE(t.value3, int32_t(-32768));
            QCOMPARE(t.extended, uint8_t(0));
            break;
        case 38:
            QCOMPARE(t.extended, uint8_t(1));
            QCOMPARE(t.valueFlags, uint8_t(0xC0));
            QCOMPARE(t.extraValue, uint16_t(0x4321));
            QCOMPARE(t.value3, int32_t(0));
            QCOMPARE(t.ext1, uint8_t(0x11));
            QCOMPARE(t.ext2, uint16_t(0x2222));
            QCOMPARE(t.ext3, 0x33333333u);
            QCOMPARE(t.ext4, 0x44444444u);
            QCOMPARE(t.ext5[0], uint16_t(0x5000));
            QCOMPARE(t.ext5[8], uint16_t(0x5008));
            break;
        case 26:
            QCOMPARE(t.extended, uint8_t(0));
            QCOMPARE(t.flags2, uint8_t(0x84));
            QCOMPARE(t.valueFlags, uint8_t(0xA0));
            QCOMPARE(t.value2, int32_t(0x1234));
            QCOMPARE(t.extraValue, uint16_t(0));
            break;
        default:
            QFAIL("unexpected case");
        }
        QCOMPARE(int(clReader.ReadData(clRecord)), 3);
        clReader.CloseFile();
    }
}

void TestContainerReader::dmrAndGsm() {
    // Version 3 DMR: an item of kind 39 counts its length in bytes (bit 6).
    DmrBody clDmr;
    clDmr.timeslot = 1;
    clDmr.burstKind = 1;
    clDmr.timeSeconds = 1650000000;
    clDmr.milliseconds = 999;
    clDmr.word1 = 0x0102;
    clDmr.byte1 = 3;
    clDmr.byte2 = 4;
    clDmr.optionalFlags = 0x3F;
    clDmr.value48 = 0xA1B2C3D4E5F6ULL;
    clDmr.byte4 = 5;
    clDmr.word2 = 0x0607;
    clDmr.word3 = 0x0809;
    clDmr.word4 = 0x0A0B;
    clDmr.word5 = 0x0C0D;
    clDmr.items = {DmrItemBytes{8, 0x85, 12, QByteArray::fromHex("ABC0")},
                   DmrItemBytes{39, 0x40, 72, DataBytes(72, 0x10)}};
    GsmBody clGsm;
    clGsm.fileTime = 133500000001234567ULL;
    clGsm.value1 = 0x11223344;
    clGsm.byte1 = 0x10;
    clGsm.word1 = 1;
    clGsm.word2 = 2;
    clGsm.word3 = 3;
    clGsm.value2 = 935200000;
    clGsm.byte2 = 6;
    clGsm.direction = 1;
    clGsm.byte3 = 7;
    clGsm.bitCount = 148;
    clGsm.byte4 = 8;
    clGsm.byte5 = 9;
    clGsm.byte6 = 10;
    clGsm.word4 = 0x0B0C;
    clGsm.value3 = 0x0D0E0F10;
    clGsm.value4 = 0x11121314;
    clGsm.byte7 = 15;
    for (int i = 0; i < 9; ++i)
        clGsm.words[i] = uint16_t(100 + i);
    clGsm.data = DataBytes(19, 0x40);

    const QString clstrPath = Path("dmrgsm.bvf");
    QVERIFY(WriteFileBytes(clstrPath, HeaderOfVersion(3) +
                                          Record(5, SampleSub(), DmrBodyBytes(clDmr)) +
                                          Record(9, SampleSub(), GsmBodyBytes(clGsm))));
    CBrennovarstikFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(int(clRecord.payloadKind), 1);
    QCOMPARE(clRecord.payloadLength, kDmrTmvLength);
    const DmrTmv &d = *static_cast<const DmrTmv *>(clRecord.payload);
    QCOMPARE(d.timeslot, uint8_t(1));
    QCOMPARE(d.burstKind, uint8_t(1));
    QCOMPARE(d.timeSeconds, uint64_t(1650000000));
    QCOMPARE(d.milliseconds, uint16_t(999));
    QCOMPARE(d.word1, uint16_t(0x0102));
    QCOMPARE(d.byte1, uint8_t(3));
    QCOMPARE(d.byte2, uint8_t(4));
    QCOMPARE(d.optionalFlags, uint8_t(0x3F));
    QCOMPARE(d.value48, 0xA1B2C3D4E5F6ULL);
    QCOMPARE(d.byte4, uint8_t(5));
    QCOMPARE(d.word2, uint16_t(0x0607));
    QCOMPARE(d.word3, uint16_t(0x0809));
    QCOMPARE(d.word4, uint16_t(0x0A0B));
    QCOMPARE(d.word5, uint16_t(0x0C0D));
    QCOMPARE(d.altTimeSeconds, uint64_t(0));
    const DmrConstItemRef clSlot5 = DmrItemAt(d, 5);
    QCOMPARE(clSlot5.item->itemKind, 8u);
    QCOMPARE(clSlot5.item->highFlag, uint8_t(1));
    QCOMPARE(clSlot5.item->itemFlags, uint8_t(5));
    QCOMPARE(clSlot5.item->bitCount, uint16_t(12));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(clSlot5.data), 3),
             QByteArray::fromHex("ABC000"));
    const DmrConstItemRef clSlot6 = DmrItemAt(d, 6);
    QCOMPARE(clSlot6.item->itemKind, 39u);
    QCOMPARE(clSlot6.item->bitCount, uint16_t(576));
    QCOMPARE(clSlot6.item->highFlag, uint8_t(0));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(clSlot6.data), 72), DataBytes(72, 0x10));
    for (int lSlot : {0, 1, 2, 3, 4})
        QCOMPARE(DmrItemAt(d, lSlot).item->itemKind, 0u);

    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(int(clRecord.payloadKind), 4);
    QCOMPARE(clRecord.payloadLength, kGsmTmvLength);
    const GsmTmv &g = *static_cast<const GsmTmv *>(clRecord.payload);
    QCOMPARE(g.fileTime, 133500000001234567ULL);
    QCOMPARE(g.value1, 0x11223344u);
    QCOMPARE(g.byte1, uint8_t(0x10));
    QCOMPARE(g.word1, uint16_t(1));
    QCOMPARE(g.word2, uint16_t(2));
    QCOMPARE(g.word3, uint16_t(3));
    QCOMPARE(g.value2, uint64_t(935200000));
    QCOMPARE(g.byte2, uint8_t(6));
    QCOMPARE(g.direction, uint8_t(1));
    QCOMPARE(g.byte3, uint8_t(7));
    QCOMPARE(g.bitCount, uint16_t(148));
    QCOMPARE(g.byte4, uint8_t(8));
    QCOMPARE(g.byte5, uint8_t(9));
    QCOMPARE(g.byte6, uint8_t(10));
    QCOMPARE(g.byte7, uint8_t(15));
    QCOMPARE(g.word4, uint16_t(0x0B0C));
    QCOMPARE(g.value3, 0x0D0E0F10u);
    QCOMPARE(g.value4, 0x11121314u);
    QCOMPARE(g.words[0], uint16_t(100));
    QCOMPARE(g.words[8], uint16_t(108));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(g.data), 20),
             DataBytes(19, 0x40) + QByteArray(1, '\0'));
    QCOMPARE(int(clReader.ReadData(clRecord)), 3);
    clReader.CloseFile();
}

// The decoded area is shared by all record types: nothing of a long record may
// show through a later, shorter one, whatever the order of kinds.
void TestContainerReader::noStaleBytesFromEarlierRecords() {
    GsmBody clLongGsm;
    clLongGsm.fileTime = 133500000001234567ULL;
    clLongGsm.bitCount = 1256 * 8;
    clLongGsm.data = DataBytes(1256, 0xEE);
    for (int i = 0; i < 9; ++i)
        clLongGsm.words[i] = 0xEEEE;
    TetraBody clShortTetra;
    clShortTetra.timeSeconds = 1650000000;
    clShortTetra.bitCount = 8;
    clShortTetra.data = QByteArray(1, char(0x5A));
    TetraBody clLongTetra = clShortTetra;
    clLongTetra.bitCount = 1036 * 8;
    clLongTetra.data = DataBytes(1036, 0xDD);
    DmrBody clDmr;
    clDmr.burstKind = 1;
    clDmr.timeSeconds = 1650000001;
    clDmr.items = {DmrItemBytes{2, 0x00, 8, QByteArray(1, char(0x11))}};

    const QString clstrPath = Path("stale.bvf");
    QVERIFY(WriteFileBytes(
        clstrPath, HeaderOfVersion(3) + Record(9, SampleSub(), GsmBodyBytes(clLongGsm)) +
                       Record(3, SampleSub(), TetraBodyBytes(clShortTetra, TetraLayout::V2)) +
                       Record(3, SampleSub(), TetraBodyBytes(clLongTetra, TetraLayout::V2)) +
                       Record(5, SampleSub(), DmrBodyBytes(clDmr))));
    CBrennovarstikFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    RawRecord clRecord{};
    auto allZero = [](const uint8_t *p, size_t n) {
        return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
    };

    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(int(clRecord.payloadKind), 4);

    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(int(clRecord.payloadKind), 0);
    const auto &t = *static_cast<const TetraTmv *>(clRecord.payload);
    QCOMPARE(t.data[0], uint8_t(0x5A));
    QVERIFY(allZero(t.data + 1, sizeof(t.data) - 1));
    QVERIFY(allZero(t.padding2, sizeof(t.padding2)));
    QCOMPARE(t.ext5[8], uint16_t(0));

    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(int(clRecord.payloadKind), 0);

    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(int(clRecord.payloadKind), 1);
    const auto &d = *static_cast<const DmrTmv *>(clRecord.payload);
    for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot) {
        const DmrConstItemRef clSlot = DmrItemAt(d, lSlot);
        if (lSlot == 4) {
            QCOMPARE(clSlot.item->itemKind, 2u);
            QCOMPARE(clSlot.data[0], uint8_t(0x11));
            QVERIFY(allZero(clSlot.data + 1, clSlot.capacity - 1));
        } else {
            QCOMPARE(clSlot.item->itemKind, 0u);
            QVERIFY(allZero(clSlot.data, clSlot.capacity));
        }
    }
    QVERIFY(allZero(d.padding5, sizeof(d.padding5)));
    QCOMPARE(int(clReader.ReadData(clRecord)), 3);
    clReader.CloseFile();
}

void TestContainerReader::dmrTimeslotMemoryBelongsToTheReader() {
    auto dmrFile = [this](const QString &clstrName, std::initializer_list<int> clKinds) {
        QByteArray clBytes = HeaderOfVersion(2);
        int lSecond = 0;
        for (int lKind : clKinds) {
            DmrBody clBody;
            clBody.withTimeslot = false;
            clBody.burstKind = uint8_t(lKind);
            clBody.timeSeconds = uint64_t(++lSecond);
            clBytes += Record(5, SubHeader{}, DmrBodyBytes(clBody));
        }
        const QString clstrPath = Path(clstrName);
        return WriteFileBytes(clstrPath, clBytes) ? clstrPath : QString();
    };
    // Version 2 does not store the timeslot: burst kind 1 opens a pair, kind 2
    // is its second record, and other kinds repeat the last one.
    const QString clstrPair = dmrFile("pair.bvf", {1, 2, 3});
    const QString clstrLone = dmrFile("lone.bvf", {3, 3});
    const QString clstrUnarmed = dmrFile("unarmed.bvf", {2, 3});
    QVERIFY(!clstrPair.isEmpty() && !clstrLone.isEmpty() && !clstrUnarmed.isEmpty());

    CBrennovarstikFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    const struct {
        QString path;
        QStringList trace;
    } aReads[] = {
        {clstrPair, {"D:1/0", "D:2/1", "D:3/1", "3"}},
        // What the previous file left behind does not carry over.
        {clstrLone, {"D:1/0", "D:2/0", "3"}},
        {clstrPair, {"D:1/0", "D:2/1", "D:3/1", "3"}},
        {clstrUnarmed, {"D:1/0", "D:2/0", "3"}},
    };
    for (const auto &clRead : aReads) {
        QCOMPARE(int(clReader.OpenFile(ToWide(clRead.path).c_str(), clInfo, 0)), 0);
        QCOMPARE(ReadTrace(clReader), clRead.trace);
        clReader.CloseFile();
    }
}

void TestContainerReader::notices() {
    const QByteArray clText = DataBytes(128, 0x80); // any bytes, as stored
    const QString clstrPath = Path("notice.bvf");
    QVERIFY(
        WriteFileBytes(clstrPath, HeaderOfVersion(3) + LabelRecord("a") +
                                      Record(4, SubHeader{}, NoticeBodyBytes(10045, 7, clText)) +
                                      Record(4, SubHeader{}, NoticeBodyBytes(1, 2, "x").left(135)) +
                                      LabelRecord("b")));

    // Through OpenFileFormat notices are delivered; a short one is damaged.
    FileHeaderInfo clInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(ToWide(clstrPath).c_str(), clInfo);
    QVERIFY(pReader);
    RawRecord clRecord{};
    QCOMPARE(int(pReader->ReadData(clRecord)), 0);
    QCOMPARE(int(pReader->ReadData(clRecord)), 0);
    QCOMPARE(int(clRecord.payloadKind), 20);
    QCOMPARE(clRecord.payloadLength, kNoticeTmvLength);
    const NoticeTmv &n = *static_cast<const NoticeTmv *>(clRecord.payload);
    QCOMPARE(n.code, 10045u);
    QCOMPARE(n.value, 7u);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(n.text), 128), clText);
    QCOMPARE(ReadTrace(*pReader), QStringList({"4", "G:b", "3"}));
    pReader->CloseFile();

    // OpenFile alone leaves them off: both are dropped silently.
    CBrennovarstikFileFormatV1 clReader;
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(ReadTrace(clReader), QStringList({"G:a", "G:b", "3"}));
    clReader.CloseFile();
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QVERIFY(clReader.SetOption(0, 1));
    QCOMPARE(ReadTrace(clReader), QStringList({"G:a", "N:10045", "4", "G:b", "3"}));
    clReader.CloseFile();
    // Every open starts with them off again.
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(ReadTrace(clReader), QStringList({"G:a", "G:b", "3"}));
    clReader.CloseFile();
}

void TestContainerReader::onlineStepByStep() {
    const QString clstrPath = Path("growing.bvf");
    QVERIFY(WriteFileBytes(clstrPath, HeaderOfVersion(3)));
    CBrennovarstikFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide("online:" + clstrPath).c_str(), clInfo, 0)), 0);
    QVERIFY(clReader.IsOnlineFile());
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 8);

    const QByteArray clOne = LabelRecord("one", 200);
    const int aSplits[] = {5, 10, 120};
    int lDone = 0;
    for (int lSplit : aSplits) {
        QVERIFY(AppendFileBytes(clstrPath, clOne.mid(lDone, lSplit - lDone)));
        lDone = lSplit;
        QCOMPARE(int(clReader.ReadData(clRecord)), 8);
    }
    QVERIFY(AppendFileBytes(clstrPath, clOne.mid(lDone)));
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(DescribeRecord(clRecord), QString("G:one"));
    QCOMPARE(int(clReader.ReadData(clRecord)), 8);

    // Damage while online: the search waits for more data instead of ending.
    QVERIFY(AppendFileBytes(clstrPath, QByteArray(10, '\0')));
    QCOMPARE(int(clReader.ReadData(clRecord)), 8);
    const QByteArray clTwo = LabelRecord("two");
    QVERIFY(AppendFileBytes(clstrPath, clTwo.left(20)));
    QCOMPARE(int(clReader.ReadData(clRecord)), 8);
    QVERIFY(AppendFileBytes(clstrPath, clTwo.mid(20) + LabelRecord("three")));
    QCOMPARE(ReadTrace(clReader), QStringList({"G:two", "G:three", "8"}));
    clReader.CloseFile();
}

void TestContainerReader::onlineWhileAnotherThreadAppends() {
    const QString clstrPath = Path("appended.bvf");
    QVERIFY(WriteFileBytes(clstrPath, HeaderOfVersion(3)));
    constexpr int kRecords = 300;
    QStringList clExpected;
    QByteArray clAll;
    QList<int> clEnds;
    for (int i = 0; i < kRecords; ++i) {
        clExpected << QString("G:r%1").arg(i);
        // Sizes vary so that pieces end inside heads, bodies and between records.
        clAll += LabelRecord(QString("r%1").arg(i).toLatin1(), (i * 37) % 700);
        clEnds << int(clAll.size());
    }

    std::atomic<bool> bWriterDone{false};
    std::atomic<bool> bWriterOk{true};
    QThread *pWriter = QThread::create([&] {
        QFile clFile(clstrPath);
        if (!clFile.open(QIODevice::WriteOnly | QIODevice::Append)) {
            bWriterOk = false;
            bWriterDone = true;
            return;
        }
        int lDone = 0;
        for (int i = 0; i < kRecords; ++i) {
            // Each record in two pieces, the first ending inside it.
            const int lEnd = clEnds[i];
            const int lHalf = lDone + (lEnd - lDone) * (1 + i % 5) / 7;
            for (int lPieceEnd : {lHalf, lEnd}) {
                if (clFile.write(clAll.mid(lDone, lPieceEnd - lDone)) != lPieceEnd - lDone ||
                    !clFile.flush())
                    bWriterOk = false;
                lDone = lPieceEnd;
                if (i % 3 == 0)
                    QThread::usleep(200);
            }
        }
        bWriterDone = true;
    });
    pWriter->start();

    CBrennovarstikFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 1)), 0);
    QStringList clReceived;
    QList<int> clUnexpected;
    QElapsedTimer clGuard;
    clGuard.start();
    // The time limit only keeps a fault from hanging the run.
    while (clReceived.size() < kRecords && clGuard.elapsed() < 30000) {
        RawRecord clRecord{};
        const FileResult enResult = clReader.ReadData(clRecord);
        if (enResult == FILE_OK)
            clReceived << DescribeRecord(clRecord);
        else if (enResult == FILE_NO_DATA_YET)
            QThread::usleep(100);
        else
            clUnexpected << int(enResult);
    }
    pWriter->wait();
    delete pWriter;
    QVERIFY(bWriterDone && bWriterOk);
    QCOMPARE(clUnexpected, QList<int>());
    QCOMPARE(clReceived, clExpected);
    // Everything is read: nothing new is there.
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 8);
    clReader.CloseFile();
}

void TestContainerReader::progressAndPosition() {
    const QString clstrPath = Path("progress.bvf");
    QVERIFY(WriteFileBytes(clstrPath, HeaderOfVersion(3) + Labels({"a", "b", "c"}, 100)));
    const uint64_t lSize = 2355 + 3 * 133;
    CBrennovarstikFileFormatV1 clReader;
    QCOMPARE(clReader.GetFileSize(true), uint64_t(0));
    QCOMPARE(clReader.GetProgress(), 0.0);
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(clReader.GetFileSize(true), lSize);
    QCOMPARE(clReader.GetFileSize(false), uint64_t(2355));
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(clReader.GetFileSize(false), uint64_t(2355 + 133));
    QCOMPARE(clReader.GetProgress(), double(2355 + 133) / (double(lSize) / 100.0));
    QCOMPARE(ReadTrace(clReader), QStringList({"G:b", "G:c", "3"}));
    QCOMPARE(clReader.GetFileSize(false), lSize);
    QCOMPARE(clReader.GetProgress(), 100.0);
    clReader.CloseFile();
    QCOMPARE(clReader.GetFileSize(false), uint64_t(0));
}

void TestContainerReader::callsFromTwoThreadsAreSerialised() {
    // Records larger and smaller than a refill's leftovers, so that calls
    // interleave with refills of the shared buffer.
    constexpr int kRecords = 40000;
    QByteArray clBytes = HeaderOfVersion(3);
    for (int i = 0; i < kRecords; ++i)
        clBytes += LabelRecord(QByteArray::number(i), 1 + (i * 53) % 300);
    const QString clstrPath = Path("shared.bvf");
    QVERIFY(WriteFileBytes(clstrPath, clBytes));
    CBrennovarstikFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);

    std::atomic<int> lDelivered{0};
    std::atomic<int> lOther{0};
    auto readAll = [&] {
        for (;;) {
            RawRecord clRecord{};
            const FileResult enResult = clReader.ReadData(clRecord);
            if (enResult == FILE_END_OF_DATA)
                return;
            if (enResult == FILE_OK)
                ++lDelivered;
            else
                ++lOther;
            (void)clReader.GetProgress();
        }
    };
    QThread *pFirst = QThread::create(readAll);
    QThread *pSecond = QThread::create(readAll);
    pFirst->start();
    pSecond->start();
    QVERIFY(pFirst->wait(60000));
    QVERIFY(pSecond->wait(60000));
    delete pFirst;
    delete pSecond;
    QCOMPARE(lOther.load(), 0);
    QCOMPARE(lDelivered.load(), kRecords);
    QCOMPARE(clReader.GetFileSize(false), uint64_t(clBytes.size()));
    clReader.CloseFile();
}

void TestContainerReader::statesAndOptions() {
    const QString clstrPath = Path("states.bvf");
    QVERIFY(WriteFileBytes(clstrPath, HeaderOfVersion(3) + LabelRecord("a")));
    FileHeaderInfo clInfo{};
    RawRecord clRecord{};

    CBrennovarstikFileFormatV1 clFresh;
    QCOMPARE(int(clFresh.ReadData(clRecord)), 1);
    QCOMPARE(int(clFresh.WriteData(clRecord)), 2);
    QCOMPARE(clFresh.SetOption(1, 1), false);
    QCOMPARE(clFresh.SetOption(0, 0), true);
    QCOMPARE(clFresh.SetAutoSplit(
                 3600, [](void *, wchar_t *, uint32_t, int64_t) { return true; }, nullptr),
             false);
    QCOMPARE(clFresh.ReservedQuery(), false);
    uint32_t l32 = 5;
    uint64_t l64 = 5;
    QCOMPARE(clFresh.ReservedValue32(1, l32), false);
    QCOMPARE(clFresh.ReservedValue64(1, l64), false);
    QCOMPARE(l32, 0u);
    QCOMPARE(l64, uint64_t(0));
    QCOMPARE(clFresh.GetWrittenBytes(), uint64_t(0));

    // A reader refuses writing with 1 and a second open with 1.
    CBrennovarstikFileFormatV1 clReader;
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    const char acPayload[] = "x";
    RawRecord clWrite{};
    clWrite.payloadKind = PAYLOAD_GENERIC;
    clWrite.payloadLength = 1;
    clWrite.payload = const_cast<char *>(acPayload);
    QCOMPARE(int(clReader.WriteData(clWrite)), 1);
    QCOMPARE(int(clReader.OpenFileForWriting(ToWide(Path("other.bvf")).c_str(), clInfo, 0)), 1);
    QCOMPARE(clReader.SetOption(1, 1), false);
    QCOMPARE(ReadTrace(clReader), QStringList({"G:a", "3"}));
    clReader.CloseFile();

    // An object that was opened for writing stays a writer.
    CBrennovarstikFileFormatV1 clWriter;
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(Path("w.bvf")).c_str(), clInfo, 0)), 0);
    QCOMPARE(int(clWriter.ReadData(clRecord)), 2);
    QCOMPARE(int(clWriter.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 1);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355)); // a refused open changes nothing
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    QCOMPARE(int(clWriter.ReadData(clRecord)), 1);
    QCOMPARE(int(clWriter.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(int(clWriter.ReadData(clRecord)), 2);
    QCOMPARE(int(clWriter.WriteData(clWrite)), 1);
    clWriter.CloseFile();

    // OpenFileFormat: a file that is not a container gives no object.
    QVERIFY(WriteFileBytes(Path("notes.txt"), "just some text, not a container at all"));
    QVERIFY(!OpenFileFormat(ToWide(Path("notes.txt")).c_str(), clInfo));
    QVERIFY(!OpenFileFormat(ToWide(Path("missing.bvf")).c_str(), clInfo));
    QVERIFY(WriteFileBytes(Path("container.txt"), HeaderOfVersion(1) + LabelRecord("t")));
    std::unique_ptr<CVirtualFileFormat> pReader =
        OpenFileFormat(ToWide("ONLINE:" + Path("container.txt")).c_str(), clInfo);
    QVERIFY(pReader);
    QVERIFY(pReader->IsOnlineFile());
    QCOMPARE(ReadTrace(*pReader), QStringList({"G:t", "8"}));
    pReader->CloseFile();
}

BVF_TEST_MAIN(TestContainerReader)
#include "test_container_reader.moc"
