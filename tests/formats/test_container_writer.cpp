// Writing containers: bytes checked against the independent builder, round
// trips of every record type, buffering, refusals, write errors and the order
// buffer seen from the file.
#include "BrennovarstikFileFormatV1.h"
#include "ContainerBytes.h"
#include "ContainerTestKit.h"
#include "FileSizeLimit.h"
#include "OpenFileFormat.h"
#include "PayloadChecks.h"
#include "TestPaths.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <vector>

using namespace ContainerBytes;
using namespace ContainerTestKit;

namespace {

// Payload storage with the alignment of the payload structures.
struct PayloadBuffer {
    explicit PayloadBuffer(const QByteArray &clBytes) : words(size_t(clBytes.size()) / 8 + 1) {
        std::memcpy(words.data(), clBytes.constData(), size_t(clBytes.size()));
    }
    void *data() { return words.data(); }
    std::vector<uint64_t> words;
};

constexpr uint64_t kFrequency = 390012500;

RawRecord MakeRecord(uint8_t lKind, void *pPayload, uint32_t lLength) {
    RawRecord clRecord{};
    clRecord.recordClass = 2;
    clRecord.sourceByte = 0x3C;
    clRecord.frequency = kFrequency;
    clRecord.symbolRate = 18000;
    clRecord.value16 = 0x1357;
    clRecord.payloadKind = lKind;
    clRecord.payloadLength = lLength;
    clRecord.payload = pPayload;
    clRecord.spare64 = 77; // not stored
    clRecord.spare32 = 88;
    return clRecord;
}

TetraTmv SampleTetra(uint64_t lSeconds) {
    auto t = Zeroed<TetraTmv>();
    t.timeSeconds = lSeconds;
    t.milliseconds = 456;
    t.hyperframe = 0x2345;
    t.multiframe = 17;
    t.frame = 9;
    t.timeslot = 2;
    t.valueFlags = 0xE0;
    t.value1 = -5;
    t.value2 = 300;
    t.value3 = -32768;
    t.frequency = kFrequency; // a reader takes the record's frequency
    t.direction = 1;
    t.channelCode = 4;
    t.bitCount = 100;
    t.burstType = -1;
    t.burstInfo[0] = 0x10;
    t.burstInfo[1] = 0x20;
    t.burstInfo[2] = 0x30;
    t.dataFlags = 0x0F;
    t.flags2 = 0x80;
    for (int i = 0; i < 13; ++i)
        t.data[i] = uint8_t(0xA0 + i);
    return t;
}

DmrTmv SampleDmr(uint8_t lBurstKind) {
    auto d = Zeroed<DmrTmv>();
    d.timeslot = 1;
    d.burstKind = lBurstKind;
    d.timeSeconds = 1660000000;
    d.milliseconds = 30;
    d.word1 = 0x1111;
    d.byte1 = 0x22;
    d.byte2 = 0x33;
    d.optionalFlags = 0x2B;
    d.byte4 = 0x44;
    d.word2 = 0x5555;
    d.word3 = 0x6666;
    d.word4 = 0x7777;
    d.value48 = 0xFEDCBA987654ULL;
    d.word5 = 0x8888;
    // One item per slot, each of a kind that lands there, at its largest size.
    const struct {
        uint32_t kind;
        uint16_t bits;
        uint8_t high;
        uint8_t flags;
    } aItems[kDmrItemSlots] = {{4, 24, 1, 0x01},   {37, 72, 0, 0x3F}, {30, 13, 1, 0x00},
                               {38, 144, 0, 0x15}, {2, 24, 1, 0x2A},  {20, 216, 0, 0x03},
                               {39, 576, 0, 0x00}};
    for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot) {
        DmrItemRef clItem = DmrItemAt(d, lSlot);
        clItem.item->itemKind = aItems[lSlot].kind;
        clItem.item->bitCount = aItems[lSlot].bits;
        clItem.item->highFlag = aItems[lSlot].high;
        clItem.item->itemFlags = aItems[lSlot].flags;
        for (uint32_t i = 0; i < (aItems[lSlot].bits + 7u) / 8u; ++i)
            clItem.data[i] = uint8_t(lSlot * 16 + i + 1);
    }
    return d;
}

GsmTmv SampleGsm(int lDataBytes) {
    auto g = Zeroed<GsmTmv>();
    g.fileTime = 133600000000000123ULL;
    g.value1 = 0xDEADBEEF;
    g.byte1 = 0x10;
    g.word1 = 0x0101;
    g.word2 = 0x0202;
    g.word3 = 0x0303;
    g.value2 = 1842600000;
    g.byte2 = 0x05;
    g.direction = 1;
    g.byte3 = 0x06;
    g.bitCount = uint16_t(lDataBytes * 8);
    g.byte4 = 0x07;
    g.byte5 = 0x08;
    g.byte6 = 0x09;
    g.byte7 = 0x0A;
    g.word4 = 0x0B0B;
    g.value3 = 0x0C0C0C0C;
    g.value4 = 0x0D0D0D0D;
    for (int i = 0; i < 9; ++i)
        g.words[i] = uint16_t(0x1000 + i);
    for (int i = 0; i < lDataBytes; ++i)
        g.data[i] = uint8_t(i * 7);
    return g;
}

QByteArray Label(const QByteArray &clText, int lSize) {
    QByteArray clBytes = clText;
    clBytes.append(QByteArray(lSize - clText.size(), '\0'));
    return clBytes;
}

} // namespace

class TestContainerWriter : public QObject {
    Q_OBJECT

  private slots:
    void bytesMatchTheIndependentLayout();
    void roundTrip_data();
    void roundTrip();
    void everyRecordWrittenAtOnceWithoutFlags();
    void keptUntilTheBufferIsNearlyFull();
    void refused_data();
    void refused();
    void openStatesAndReuse();
    void writeErrorOnDevFull_data();
    void writeErrorOnDevFull();
    void failedRecordIsWrittenOnceOnRetry();
    void failedFlushKeepsHeldRecords();
    void orderBufferNoticeLandsBeforeTheFlushedRecords();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QTemporaryDir m_clDir;
};

void TestContainerWriter::bytesMatchTheIndependentLayout() {
    auto clInfo = Zeroed<FileHeaderInfo>();
    clInfo.infoType = 1;
    clInfo.fileMagic = 0x1122334455667788ULL;
    clInfo.startTime = INT64_MAX;
    clInfo.value16 = 0xABCD;
    std::strcpy(clInfo.recordingType, "Proprietary TMW recording");
    std::strcpy(clInfo.infoText1, "unknown");
    std::strcpy(clInfo.infoText2, " - ");
    std::memset(clInfo.reservedBlock, 0x77, sizeof(clInfo.reservedBlock)); // never written
    std::strcpy(clInfo.infoText3, "third");
    for (int i = 0; i < 16; ++i)
        clInfo.extraBytes[i] = uint8_t(i + 1);
    clInfo.extraValue = 1234.5;

    const QString clstrPath = Path("layout.bvf");
    CBrennovarstikFileFormatV1 clWriter;
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    char acAbc[] = "abc";
    RawRecord clGeneric{};
    clGeneric.recordClass = 2;
    clGeneric.payloadKind = PAYLOAD_GENERIC;
    clGeneric.payloadLength = 3;
    clGeneric.payload = acAbc;
    QCOMPARE(int(clWriter.WriteData(clGeneric)), 0);
    TetraTmv clTetra = SampleTetra(1700000123);
    RawRecord clTetraRecord = MakeRecord(PAYLOAD_TETRA, &clTetra, kTetraTmvLength);
    QCOMPARE(int(clWriter.WriteData(clTetraRecord)), 0);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);

    HeaderFields clFields;
    clFields.fileMagic = 0x1122334455667788ULL;
    clFields.startTime = INT64_MAX;
    clFields.value16 = 0xABCD;
    clFields.recordingType = "Proprietary TMW recording";
    clFields.infoText1 = "unknown";
    clFields.infoText2 = " - ";
    clFields.infoText3 = "third";
    for (int i = 0; i < 16; ++i)
        clFields.extraBytes.append(char(i + 1));
    clFields.extraValue = 1234.5;
    // The generic record of the layout's own example, byte for byte.
    const QByteArray clAbcRecord =
        QByteArray::fromHex("0000002402009A76D91D") + QByteArray(23, '\0') + "abc";
    TetraBody clBody;
    clBody.timeSeconds = 1700000123;
    clBody.milliseconds = 456;
    clBody.hyperframe = 0x2345;
    clBody.multiframe = 17;
    clBody.frame = 9;
    clBody.timeslot = 2;
    clBody.valueFlags = 0xE0;
    clBody.valueSlots[0] = uint16_t(-5);
    clBody.valueSlots[1] = 300;
    clBody.valueSlots[2] = 0x8000;
    clBody.direction = 1;
    clBody.channelCode = 4;
    clBody.bitCount = 100;
    clBody.dataFlags = 0x0F;
    clBody.burstType = 0xFF;
    clBody.burstInfo[0] = 0x10;
    clBody.burstInfo[1] = 0x20;
    clBody.burstInfo[2] = 0x30;
    clBody.flags2 = 0x80;
    for (int i = 0; i < 13; ++i)
        clBody.data.append(char(0xA0 + i));
    SubHeader clSub;
    clSub.sourceByte = 0x3C;
    clSub.frequency = kFrequency;
    clSub.symbolRate = 18000;
    clSub.value16 = 0x1357;
    const QByteArray clExpected =
        Header(clFields) + clAbcRecord + Record(3, clSub, TetraBodyBytes(clBody, TetraLayout::V2));
    const QByteArray clActual = ReadFileBytes(clstrPath);
    QCOMPARE(clActual.size(), clExpected.size());
    QCOMPARE(clActual.left(2355).toHex(), clExpected.left(2355).toHex());
    QCOMPARE(clActual.mid(2355).toHex(' '), clExpected.mid(2355).toHex(' '));
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(clExpected.size()));
}

void TestContainerWriter::roundTrip_data() {
    QTest::addColumn<uint8_t>("kind");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<uint8_t>("expectedKind");
    QTest::addColumn<QByteArray>("expected");

    const TetraTmv clTetra = SampleTetra(1700000000);
    QTest::newRow("TETRA") << uint8_t(0) << BytesOf(clTetra) << uint8_t(0) << BytesOf(clTetra);

    TetraTmv clSlot1 = clTetra;
    clSlot1.valueFlags = 0x70; // value 1 not valid: the extra value goes there
    clSlot1.value1 = 0;
    clSlot1.flags2 = 0x84;
    clSlot1.extraValue = 0xBEEF;
    QTest::newRow("TETRA extra value in slot 1")
        << uint8_t(0) << BytesOf(clSlot1) << uint8_t(0) << BytesOf(clSlot1);

    TetraTmv clOdd = clTetra;
    clOdd.flags2 = 0x04;
    clOdd.extraValue = 0x1234;
    clOdd.frame = 7;
    TetraTmv clOddBack = clOdd;
    clOddBack.valueFlags = 0xA0; // slot 2 was given up for the extra value
    clOddBack.value2 = 0;
    QTest::newRow("TETRA all values valid, odd frame")
        << uint8_t(0) << BytesOf(clOdd) << uint8_t(0) << BytesOf(clOddBack);
    TetraTmv clEven = clOdd;
    clEven.frame = 8;
    TetraTmv clEvenBack = clEven;
    clEvenBack.valueFlags = 0xC0;
    clEvenBack.value3 = 0;
    QTest::newRow("TETRA all values valid, even frame")
        << uint8_t(0) << BytesOf(clEven) << uint8_t(0) << BytesOf(clEvenBack);

    TetraTmv clWide = clTetra;
    clWide.value1 = 70000; // 16 bits are kept: 0x1170
    clWide.value2 = -70000;
    TetraTmv clWideBack = clWide;
    clWideBack.value1 = 0x1170;
    clWideBack.value2 = -0x1170;
    QTest::newRow("TETRA values keep 16 bits")
        << uint8_t(0) << BytesOf(clWide) << uint8_t(0) << BytesOf(clWideBack);

    TetraTmv clEmpty = clTetra;
    clEmpty.bitCount = 0;
    std::memset(clEmpty.data, 0, sizeof(clEmpty.data));
    QTest::newRow("TETRA without data")
        << uint8_t(0) << BytesOf(clEmpty) << uint8_t(0) << BytesOf(clEmpty);
    TetraTmv clFull = clTetra;
    clFull.bitCount = 1036 * 8;
    for (int i = 0; i < 1036; ++i)
        clFull.data[i] = uint8_t(i);
    QTest::newRow("TETRA with 1036 data bytes")
        << uint8_t(0) << BytesOf(clFull) << uint8_t(0) << BytesOf(clFull);

    TetraTmv clExtended = clOdd;
    clExtended.extended = 3;
    clExtended.ext1 = 0x91;
    clExtended.ext2 = 0x9292;
    clExtended.ext3 = 0x93939393;
    clExtended.ext4 = 0x94949494;
    for (int i = 0; i < 9; ++i)
        clExtended.ext5[i] = uint16_t(0x9500 + i);
    TetraTmv clExtendedBack = clExtended;
    clExtendedBack.valueFlags = 0xA0;
    clExtendedBack.value2 = 0;
    QTest::newRow("extended TETRA")
        << uint8_t(0) << BytesOf(clExtended) << uint8_t(0) << BytesOf(clExtendedBack);

    TetraTmv clAux = clOdd;
    clAux.extended = 1; // the auxiliary type has no extended fields
    TetraTmv clAuxBack = clOdd;
    clAuxBack.extraValue = 0; // no value slot is given up here
    QTest::newRow("TETRA auxiliary")
        << uint8_t(3) << BytesOf(clAux) << uint8_t(3) << BytesOf(clAuxBack);

    const DmrTmv clDmr = SampleDmr(1);
    QTest::newRow("DMR with all seven items")
        << uint8_t(1) << BytesOf(clDmr) << uint8_t(1) << BytesOf(clDmr);
    DmrTmv clDmrOther = SampleDmr(2);
    DmrTmv clDmrOtherBack = clDmrOther;
    for (int lSlot : {0, 1}) {
        DmrItemRef clItem = DmrItemAt(clDmrOtherBack, lSlot);
        std::memset(clItem.item, 0, sizeof(DmrItem));
        std::memset(clItem.data, 0, clItem.capacity);
    }
    QTest::newRow("DMR burst kind 2 leaves items 0 and 1 out")
        << uint8_t(1) << BytesOf(clDmrOther) << uint8_t(1) << BytesOf(clDmrOtherBack);
    DmrTmv clDmrAlt = clDmr;
    clDmrAlt.timeslot = 0;
    clDmrAlt.altTimeSeconds = 1660000001;
    clDmrAlt.altMilliseconds = 5;
    DmrTmv clDmrAltBack = clDmrAlt;
    clDmrAltBack.altTimeSeconds = 0;
    clDmrAltBack.altMilliseconds = 0;
    QTest::newRow("DMR second time stamp is not stored")
        << uint8_t(1) << BytesOf(clDmrAlt) << uint8_t(1) << BytesOf(clDmrAltBack);

    QTest::newRow("GSM") << uint8_t(4) << BytesOf(SampleGsm(19)) << uint8_t(4)
                         << BytesOf(SampleGsm(19));
    QTest::newRow("GSM with 1256 data bytes")
        << uint8_t(4) << BytesOf(SampleGsm(1256)) << uint8_t(4) << BytesOf(SampleGsm(1256));

    auto clNotice = Zeroed<NoticeTmv>();
    clNotice.noticeType = 1;
    clNotice.code = 10045;
    clNotice.value = 9;
    for (int i = 0; i < 128; ++i)
        clNotice.text[i] = uint8_t(255 - i);
    NoticeTmv clNoticeBack = clNotice;
    clNoticeBack.noticeType = 0; // not stored
    QTest::newRow("notice keeps its text bytes")
        << uint8_t(20) << BytesOf(clNotice) << uint8_t(20) << BytesOf(clNoticeBack);

    QTest::newRow("generic, empty") << uint8_t(2) << QByteArray() << uint8_t(2) << QByteArray();
    QTest::newRow("generic") << uint8_t(2) << QByteArray("payload bytes") << uint8_t(2)
                             << QByteArray("payload bytes");
    QByteArray clLargest(131072 - 33, '\0');
    for (int i = 0; i < clLargest.size(); ++i)
        clLargest[i] = char(i * 31);
    QTest::newRow("generic, largest") << uint8_t(2) << clLargest << uint8_t(2) << clLargest;
    QTest::newRow("other kind is stored as generic")
        << uint8_t(7) << QByteArray("seven") << uint8_t(2) << QByteArray("seven");
}

void TestContainerWriter::roundTrip() {
    QFETCH(uint8_t, kind);
    QFETCH(QByteArray, payload);
    QFETCH(uint8_t, expectedKind);
    QFETCH(QByteArray, expected);

    const QString clstrPath = Path("roundtrip.bvf");
    auto clInfo = Zeroed<FileHeaderInfo>();
    clInfo.fileMagic = 42;
    PayloadBuffer clPayload(payload);
    {
        CBrennovarstikFileFormatV1 clWriter;
        QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrPath).c_str(), clInfo, 2)), 0);
        const RawRecord clRecord = MakeRecord(kind, clPayload.data(), uint32_t(payload.size()));
        QCOMPARE(int(clWriter.WriteData(clRecord)), 0);
        QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    }

    FileHeaderInfo clReadInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader =
        OpenFileFormat(ToWide(clstrPath).c_str(), clReadInfo);
    QVERIFY(pReader);
    QCOMPARE(clReadInfo.fileMagic, uint64_t(42));
    RawRecord clBack{};
    QCOMPARE(int(pReader->ReadData(clBack)), 0);
    QCOMPARE(clBack.recordClass, 2u);
    QCOMPARE(clBack.sourceByte, uint8_t(0x3C));
    QCOMPARE(clBack.frequency, kFrequency);
    QCOMPARE(clBack.symbolRate, 18000u);
    QCOMPARE(clBack.value16, uint16_t(0x1357));
    QCOMPARE(clBack.spare64, uint64_t(0));
    QCOMPARE(clBack.spare32, 0u);
    QCOMPARE(clBack.payloadKind, expectedKind);
    QCOMPARE(clBack.payloadLength, uint32_t(expected.size()));
    const PayloadBuffer clExpected(expected);
    switch (expectedKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        QVERIFY(SameTetra(*static_cast<const TetraTmv *>(clBack.payload),
                          *reinterpret_cast<const TetraTmv *>(clExpected.words.data())));
        break;
    case PAYLOAD_DMR:
        QVERIFY(SameDmr(*static_cast<const DmrTmv *>(clBack.payload),
                        *reinterpret_cast<const DmrTmv *>(clExpected.words.data())));
        break;
    case PAYLOAD_GSM:
        QVERIFY(SameGsm(*static_cast<const GsmTmv *>(clBack.payload),
                        *reinterpret_cast<const GsmTmv *>(clExpected.words.data())));
        break;
    case PAYLOAD_NOTICE:
        QVERIFY(SameNotice(*static_cast<const NoticeTmv *>(clBack.payload),
                           *reinterpret_cast<const NoticeTmv *>(clExpected.words.data())));
        break;
    default:
        QCOMPARE(QByteArray(static_cast<const char *>(clBack.payload), int(clBack.payloadLength)),
                 expected);
        break;
    }
    QCOMPARE(int(pReader->ReadData(clBack)), 3);
    pReader->CloseFile();
}

void TestContainerWriter::everyRecordWrittenAtOnceWithoutFlags() {
    const QString clstrPath = Path("direct.bvf");
    CBrennovarstikFileFormatV1 clWriter;
    auto clInfo = Zeroed<FileHeaderInfo>();
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355));
    QCOMPARE(QFileInfo(clstrPath).size(), qint64(2355));
    QByteArray clPayload = Label("x", 67); // a 100-byte record
    RawRecord clRecord = MakeRecord(PAYLOAD_GENERIC, clPayload.data(), 67);
    for (int i = 1; i <= 5; ++i) {
        QCOMPARE(int(clWriter.WriteData(clRecord)), 0);
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + i * 100));
        QCOMPARE(QFileInfo(clstrPath).size(), qint64(2355 + i * 100));
    }
    QCOMPARE(int(clWriter.FlushData()), 0);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2855));
}

void TestContainerWriter::keptUntilTheBufferIsNearlyFull() {
    const QString clstrPath = Path("kept.bvf");
    CBrennovarstikFileFormatV1 clWriter;
    auto clInfo = Zeroed<FileHeaderInfo>();
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrPath).c_str(), clInfo, 2)), 0);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355));

    // TETRA records of 1065 bytes: the 120th brings the buffer to 127,800
    // bytes, past 126,976, and the whole buffer goes out.
    TetraTmv clTetra = SampleTetra(1700000000);
    clTetra.bitCount = 8000;
    RawRecord clRecord = MakeRecord(PAYLOAD_TETRA, &clTetra, kTetraTmvLength);
    for (int i = 1; i <= 119; ++i) {
        clTetra.timeSeconds = uint64_t(1700000000 + i);
        QCOMPARE(int(clWriter.WriteData(clRecord)), 0);
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355));
    }
    QCOMPARE(QFileInfo(clstrPath).size(), qint64(2355));
    clTetra.timeSeconds = 1700000120;
    QCOMPARE(int(clWriter.WriteData(clRecord)), 0);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + 120 * 1065));

    for (int i = 121; i <= 123; ++i) {
        clTetra.timeSeconds = uint64_t(1700000000 + i);
        QCOMPARE(int(clWriter.WriteData(clRecord)), 0);
    }
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + 120 * 1065));
    QCOMPARE(int(clWriter.FlushData()), 0);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + 123 * 1065));
    QCOMPARE(QFileInfo(clstrPath).size(), qint64(2355 + 123 * 1065));

    // A record that does not fit behind the held bytes pushes them out first
    // and then waits itself.
    QByteArray clSmall = Label("small", 40000 - 33);
    QByteArray clLarge = Label("large", 100000 - 33);
    RawRecord clSmallRecord = MakeRecord(PAYLOAD_GENERIC, clSmall.data(), uint32_t(clSmall.size()));
    RawRecord clLargeRecord = MakeRecord(PAYLOAD_GENERIC, clLarge.data(), uint32_t(clLarge.size()));
    QCOMPARE(int(clWriter.WriteData(clSmallRecord)), 0);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + 123 * 1065));
    QCOMPARE(int(clWriter.WriteData(clLargeRecord)), 0);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + 123 * 1065 + 40000));
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    const uint64_t lTotal = 2355 + 123 * 1065 + 40000 + 100000;
    QCOMPARE(clWriter.GetWrittenBytes(), lTotal);
    QCOMPARE(QFileInfo(clstrPath).size(), qint64(lTotal));

    FileHeaderInfo clReadInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader =
        OpenFileFormat(ToWide(clstrPath).c_str(), clReadInfo);
    QVERIFY(pReader);
    QStringList clExpected;
    for (int i = 1; i <= 123; ++i)
        clExpected << QString("T:%1").arg(1700000000 + i);
    clExpected << "G:small"
               << "G:large"
               << "3";
    QCOMPARE(ReadTrace(*pReader), clExpected);
    pReader->CloseFile();
}

void TestContainerWriter::refused_data() {
    QTest::addColumn<uint8_t>("kind");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("result");

    QTest::newRow("GSM kind with 1000 bytes") << uint8_t(4) << 1000 << 0 << 4;
    QTest::newRow("TETRA kind with 1000 bytes") << uint8_t(0) << 1000 << 0 << 4;
    QTest::newRow("DMR kind with 295 bytes") << uint8_t(1) << 295 << 0 << 4;
    QTest::newRow("TETRA auxiliary with 1137 bytes") << uint8_t(3) << 1137 << 0 << 4;
    QTest::newRow("notice with 139 bytes") << uint8_t(20) << 139 << 0 << 4;
    QTest::newRow("TETRA with 1037 data bytes") << uint8_t(0) << int(kTetraTmvLength) << 1 << 4;
    QTest::newRow("generic without its bytes") << uint8_t(2) << 5 << 2 << 4;
    QTest::newRow("generic larger than the buffer") << uint8_t(2) << 131072 - 32 << 0 << 7;
    QTest::newRow("generic far larger than the buffer") << uint8_t(2) << 2000000 << 0 << 7;
}

void TestContainerWriter::refused() {
    QFETCH(uint8_t, kind);
    QFETCH(int, length);
    QFETCH(int, variant);
    QFETCH(int, result);

    std::vector<uint64_t> clStorage(size_t(length) / 8 + 1, 0);
    if (variant == 1) {
        TetraTmv clTetra = SampleTetra(1700000000);
        clTetra.bitCount = 1037 * 8;
        std::memcpy(clStorage.data(), &clTetra, sizeof(clTetra));
    }
    const QString clstrPath = Path("refused.bvf");
    for (uint8_t lFlags : {uint8_t(0), uint8_t(1), uint8_t(2)}) {
        CBrennovarstikFileFormatV1 clWriter;
        auto clInfo = Zeroed<FileHeaderInfo>();
        QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrPath).c_str(), clInfo, lFlags)), 0);
        RawRecord clRecord =
            MakeRecord(kind, variant == 2 ? nullptr : clStorage.data(), uint32_t(length));
        QCOMPARE(int(clWriter.WriteData(clRecord)), result);
        QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355));
        QCOMPARE(QFileInfo(clstrPath).size(), qint64(2355));
    }
}

void TestContainerWriter::openStatesAndReuse() {
    auto clInfo = Zeroed<FileHeaderInfo>();
    QByteArray clPayload("p");
    RawRecord clRecord = MakeRecord(PAYLOAD_GENERIC, clPayload.data(), 1);
    CBrennovarstikFileFormatV1 clWriter;

    // A file that cannot be created: 1, and writing then answers 2.
    QVERIFY(QDir(m_clDir.path()).mkdir("taken.bvf"));
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(Path("taken.bvf")).c_str(), clInfo, 2)), 1);
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(Path("none/a.bvf")).c_str(), clInfo, 2)), 1);
    QCOMPARE(int(clWriter.WriteData(clRecord)), 2);
    QCOMPARE(QString::fromWCharArray(clWriter.GetFileName()), QString());

    // One writer writes several files in turn; each counts its own bytes.
    for (const char *pName : {"part1.bvf", "part2.bvf"}) {
        const QString clstrPath = Path(pName);
        QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrPath).c_str(), clInfo, 2)), 0);
        QCOMPARE(QString::fromWCharArray(clWriter.GetFileName()), clstrPath);
        QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(Path("other.bvf")).c_str(), clInfo, 2)), 1);
        QCOMPARE(int(clWriter.WriteData(clRecord)), 0);
        QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + 34));
        QCOMPARE(QString::fromWCharArray(clWriter.GetFileName()), QString());
        QCOMPARE(int(clWriter.WriteData(clRecord)), 2);
        QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
        QCOMPARE(int(clWriter.FlushData()), 0);
    }
    QVERIFY(!QFileInfo::exists(Path("other.bvf")));
    QCOMPARE(ReadFileBytes(Path("part1.bvf")), ReadFileBytes(Path("part2.bvf")));

    // CloseFile drops what a writer still holds.
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(Path("dropped.bvf")).c_str(), clInfo, 2)), 0);
    QCOMPARE(int(clWriter.WriteData(clRecord)), 0);
    clWriter.CloseFile();
    QCOMPARE(QFileInfo(Path("dropped.bvf")).size(), qint64(2355));
    QCOMPARE(int(clWriter.WriteData(clRecord)), 2);
}

void TestContainerWriter::writeErrorOnDevFull_data() {
    QTest::addColumn<uint8_t>("flags");
    QTest::addColumn<int>("writeResult");
    QTest::newRow("each record written at once") << uint8_t(0) << 5;
    QTest::newRow("records kept in the buffer") << uint8_t(2) << 0;
    QTest::newRow("records ordered and kept") << uint8_t(3) << 0;
}

void TestContainerWriter::writeErrorOnDevFull() {
    QFETCH(uint8_t, flags);
    QFETCH(int, writeResult);
    if (!QFileInfo::exists("/dev/full"))
        QSKIP("no /dev/full here");
    CBrennovarstikFileFormatV1 clWriter;
    auto clInfo = Zeroed<FileHeaderInfo>();
    // The header cannot be written; it stays held and is tried again.
    QCOMPARE(int(clWriter.OpenFileForWriting(L"/dev/full", clInfo, flags)), 5);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(0));
    QByteArray clPayload("lost");
    RawRecord clGeneric = MakeRecord(PAYLOAD_GENERIC, clPayload.data(), 4);
    TetraTmv clTetra = SampleTetra(1700000000);
    RawRecord clTetraRecord = MakeRecord(PAYLOAD_TETRA, &clTetra, kTetraTmvLength);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(int(clWriter.WriteData(clGeneric)), writeResult);
        QCOMPARE(int(clWriter.WriteData(clTetraRecord)), writeResult);
    }
    QCOMPARE(int(clWriter.FlushData()), 5);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 5);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(0));
    // Afterwards the object is closed and usable again.
    QCOMPARE(int(clWriter.WriteData(clGeneric)), 2);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(Path("after.bvf")).c_str(), clInfo, flags)), 0);
    QCOMPARE(int(clWriter.WriteData(clGeneric)), 0);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    QCOMPARE(QFileInfo(Path("after.bvf")).size(), qint64(2355 + 37));
}

void TestContainerWriter::failedRecordIsWrittenOnceOnRetry() {
    auto clInfo = Zeroed<FileHeaderInfo>();
    QByteArray aPayloads[3] = {Label("one", 100), Label("two", 100), Label("three", 100)};
    RawRecord aRecords[3];
    for (int i = 0; i < 3; ++i)
        aRecords[i] = MakeRecord(PAYLOAD_GENERIC, aPayloads[i].data(), 100);
    const int lRecord = 133;

    // The file takes nothing more, or only the first 50 bytes of the record,
    // which are cut off again so that the file ends with a whole record.
    for (int lTaken : {0, 50}) {
        const QString clstrPath = Path(QString("retry%1.bvf").arg(lTaken));
        CBrennovarstikFileFormatV1 clWriter;
        QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
        QCOMPARE(int(clWriter.WriteData(aRecords[0])), 0);
        {
            CFileSizeLimit clLimit(rlim_t(2355 + lRecord + lTaken));
            QVERIFY(clLimit.IsSet());
            QCOMPARE(int(clWriter.WriteData(aRecords[1])), 5);
            QCOMPARE(int(clWriter.WriteData(aRecords[1])), 5);
            clLimit.Lift();
        }
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + lRecord));
        QCOMPARE(QFileInfo(clstrPath).size(), qint64(2355 + lRecord));
        QCOMPARE(int(clWriter.WriteData(aRecords[1])), 0);
        QCOMPARE(int(clWriter.WriteData(aRecords[2])), 0);
        QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + 3 * lRecord));
        QCOMPARE(QFileInfo(clstrPath).size(), qint64(2355 + 3 * lRecord));
        // Each record is in the file once, and nothing else.
        FileHeaderInfo clReadInfo{};
        std::unique_ptr<CVirtualFileFormat> pReader =
            OpenFileFormat(ToWide(clstrPath).c_str(), clReadInfo);
        QVERIFY(pReader);
        QCOMPARE(ReadTrace(*pReader), QStringList({"G:one", "G:two", "G:three", "3"}));
        pReader->CloseFile();
    }
}

void TestContainerWriter::failedFlushKeepsHeldRecords() {
    auto clInfo = Zeroed<FileHeaderInfo>();
    QByteArray aPayloads[3] = {Label("one", 100), Label("two", 100), Label("three", 100)};
    const QString clstrPath = Path("held.bvf");
    CBrennovarstikFileFormatV1 clWriter;
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrPath).c_str(), clInfo, 2)), 0);
    for (QByteArray &clPayload : aPayloads) {
        const RawRecord clRecord = MakeRecord(PAYLOAD_GENERIC, clPayload.data(), 100);
        QCOMPARE(int(clWriter.WriteData(clRecord)), 0);
    }
    {
        CFileSizeLimit clLimit(rlim_t(2355 + 60));
        QVERIFY(clLimit.IsSet());
        QCOMPARE(int(clWriter.FlushData()), 5);
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + 60));
        QCOMPARE(int(clWriter.FlushData()), 5);
    }
    // What was not accepted is still held and goes out now.
    QCOMPARE(int(clWriter.FlushData()), 0);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + 3 * 133));
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    FileHeaderInfo clReadInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader =
        OpenFileFormat(ToWide(clstrPath).c_str(), clReadInfo);
    QVERIFY(pReader);
    QCOMPARE(ReadTrace(*pReader), QStringList({"G:one", "G:two", "G:three", "3"}));
    pReader->CloseFile();

    // Closing reports a write that fails.
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrPath).c_str(), clInfo, 2)), 0);
    const RawRecord clRecord = MakeRecord(PAYLOAD_GENERIC, aPayloads[0].data(), 100);
    QCOMPARE(int(clWriter.WriteData(clRecord)), 0);
    {
        CFileSizeLimit clLimit(rlim_t(2355));
        QVERIFY(clLimit.IsSet());
        QCOMPARE(int(clWriter.CloseFileForWriting()), 5);
    }
    QCOMPARE(QFileInfo(clstrPath).size(), qint64(2355));
}

void TestContainerWriter::orderBufferNoticeLandsBeforeTheFlushedRecords() {
    const QString clstrPath = Path("ordered.bvf");
    CBrennovarstikFileFormatV1 clWriter;
    auto clInfo = Zeroed<FileHeaderInfo>();
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrPath).c_str(), clInfo, 1)), 0);
    // Downlink timeslot numbers 4396 and 4596: 200 apart, more than the
    // buffer's window of 144.
    TetraTmv clFirst = SampleTetra(1700000001);
    clFirst.direction = 0;
    clFirst.hyperframe = 1;
    clFirst.multiframe = 1;
    clFirst.frame = 1;
    clFirst.timeslot = 1;
    TetraTmv clSecond = clFirst;
    clSecond.timeSeconds = 1700000002;
    clSecond.multiframe = 3;
    clSecond.frame = 15;
    const RawRecord clFirstRecord = MakeRecord(PAYLOAD_TETRA, &clFirst, kTetraTmvLength);
    const RawRecord clSecondRecord = MakeRecord(PAYLOAD_TETRA, &clSecond, kTetraTmvLength);
    QCOMPARE(int(clWriter.WriteData(clFirstRecord)), 0);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355)); // held in the order buffer
    QCOMPARE(int(clWriter.WriteData(clSecondRecord)), 0);
    // Generic records are not ordered: written at once, behind the flushed one.
    QByteArray clPayload("plain");
    const RawRecord clGeneric = MakeRecord(PAYLOAD_GENERIC, clPayload.data(), 5);
    QCOMPARE(int(clWriter.WriteData(clGeneric)), 0);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);

    FileHeaderInfo clReadInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader =
        OpenFileFormat(ToWide(clstrPath).c_str(), clReadInfo);
    QVERIFY(pReader);
    RawRecord clRecord{};
    QCOMPARE(int(pReader->ReadData(clRecord)), 0);
    QCOMPARE(int(clRecord.payloadKind), 20);
    const NoticeTmv &clNotice = *static_cast<const NoticeTmv *>(clRecord.payload);
    QCOMPARE(clNotice.code, 10045u);
    QCOMPARE(clNotice.value, 0u);
    // The stored text is scrambled with the pattern i + (i mod 4) + 0x5A.
    QByteArray clText(128, '\0');
    for (int i = 0; i < 128; ++i)
        clText[i] = char(clNotice.text[i] ^ uint8_t(i + (i % 4) + 0x5A));
    QCOMPARE(clText, Label("TETRA Flush buffer: 200", 128));
    QVERIFY(std::memcmp(clNotice.text, "TETRA", 5) != 0);
    QCOMPARE(ReadTrace(*pReader), QStringList({"T:1700000001", "G:plain", "T:1700000002", "3"}));
    pReader->CloseFile();
}

BVF_TEST_MAIN(TestContainerWriter)
#include "test_container_writer.moc"
