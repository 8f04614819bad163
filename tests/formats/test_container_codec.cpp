// The container's bytes: checksum, header, every record type in every version,
// the value-slot rule, DMR items and timeslots, limits and damaged input.
// Expected bytes come from tests/support/ContainerBytes, never from the codec.
#include "ContainerBytes.h"
#include "ContainerCodec.h"
#include "PayloadChecks.h"
#include "TestRegistry.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

using namespace ContainerBytes;

namespace {

// A frame in an allocation of exactly its size, so that a read past the frame
// is a read past the allocation (visible to sanitizers).
using ExactBuffer = std::vector<uint8_t>;
ExactBuffer Exact(const QByteArray &clBytes) {
    return ExactBuffer(clBytes.begin(), clBytes.end());
}

QByteArray Pattern(int lSize, int lSeed) {
    QByteArray clBytes(lSize, '\0');
    for (int i = 0; i < lSize; ++i)
        clBytes[i] = char(lSeed + i * 7);
    return clBytes;
}

void SetItem(DmrTmv &clDmr, int lSlot, uint32_t lKind, uint16_t lBits, uint8_t lHigh,
             uint8_t lFlags, const QByteArray &clData = {}) {
    const DmrItemRef ref = DmrItemAt(clDmr, lSlot);
    ref.item->itemKind = lKind;
    ref.item->bitCount = lBits;
    ref.item->highFlag = lHigh;
    ref.item->itemFlags = lFlags;
    std::memset(ref.data, 0, ref.capacity);
    std::memcpy(ref.data, clData.constData(), size_t(clData.size()));
}

RawRecord MakeRecord(uint8_t lKind, uint32_t lLength, const void *pPayload,
                     const SubHeader &clSub = {}) {
    RawRecord clRecord = Zeroed<RawRecord>();
    clRecord.recordClass = 2;
    clRecord.sourceByte = clSub.sourceByte;
    clRecord.frequency = clSub.frequency;
    clRecord.symbolRate = clSub.symbolRate;
    clRecord.value16 = clSub.value16;
    clRecord.payloadKind = lKind;
    clRecord.payloadLength = lLength;
    clRecord.payload = const_cast<void *>(pPayload);
    return clRecord;
}

struct Encoded {
    FileResult result;
    EncodePlan plan;
    QByteArray bytes;
};

Encoded Encode(const RawRecord &clRecord, int lVersion) {
    Encoded clOut{FILE_OK, {0, 0}, {}};
    clOut.result = PlanRecordEncoding(clRecord, lVersion, clOut.plan);
    if (clOut.result == FILE_OK) {
        // A byte the encoder leaves unwritten shows up as 0xCC.
        ExactBuffer clBuffer(clOut.plan.length, 0xCC);
        EncodeRecord(clRecord, lVersion, clOut.plan, clBuffer.data());
        clOut.bytes =
            QByteArray(reinterpret_cast<const char *>(clBuffer.data()), int(clBuffer.size()));
    }
    return clOut;
}

// One decoding run; the frame stays alive for generic payloads pointing into it.
struct Decoding {
    ExactBuffer frame;
    RawRecord record = Zeroed<RawRecord>();
    DecodedPayload area = Zeroed<DecodedPayload>();
    DecodeOutcome outcome{DecodeAction::GoOn, 0};

    Decoding(const QByteArray &clFrame, int lVersion, DmrTimeslotMemory &clMemory,
             bool bNotices = true)
        : frame(Exact(clFrame)) {
        outcome = DecodeRecord(frame.data(), uint32_t(frame.size()), lVersion, bNotices, record,
                               area, clMemory);
    }
};

const char *ActionName(int lAction) {
    switch (DecodeAction(lAction)) {
    case DecodeAction::Deliver:
        return "Deliver";
    case DecodeAction::Damaged:
        return "Damaged";
    case DecodeAction::GoOn:
        return "GoOn";
    }
    return "?";
}
const char *ActionName(DecodeAction enAction) {
    return ActionName(int(enAction));
}

constexpr int kDeliver = int(DecodeAction::Deliver);
constexpr int kDamaged = int(DecodeAction::Damaged);
constexpr int kGoOn = int(DecodeAction::GoOn);

// Sample payloads with every field set, extremes included.
TetraTmv SampleTetra() {
    auto clTetra = Zeroed<TetraTmv>();
    clTetra.timeSeconds = 0xFEDCBA9876543210ULL;
    clTetra.milliseconds = 999;
    clTetra.hyperframe = 0xFFFF;
    clTetra.multiframe = 60;
    clTetra.frame = 18;
    clTetra.timeslot = 4;
    clTetra.valueFlags = 0xF0;
    clTetra.value1 = -32768;
    clTetra.value2 = 32767;
    clTetra.value3 = -1;
    clTetra.direction = 1;
    clTetra.channelCode = 0xA5;
    clTetra.burstType = -1;
    clTetra.burstInfo[0] = 1;
    clTetra.burstInfo[1] = 2;
    clTetra.burstInfo[2] = 0xFF;
    clTetra.dataFlags = 0x81;
    clTetra.flags2 = 0x80;
    return clTetra;
}

// The stored fields of a TETRA payload, value slots taken as 16 signed bits.
TetraBody StoredTetra(const TetraTmv &clTetra) {
    TetraBody clBody;
    clBody.timeSeconds = clTetra.timeSeconds;
    clBody.milliseconds = clTetra.milliseconds;
    clBody.hyperframe = clTetra.hyperframe;
    clBody.multiframe = clTetra.multiframe;
    clBody.frame = clTetra.frame;
    clBody.timeslot = clTetra.timeslot;
    clBody.valueFlags = clTetra.valueFlags;
    clBody.valueSlots[0] = uint16_t(clTetra.value1);
    clBody.valueSlots[1] = uint16_t(clTetra.value2);
    clBody.valueSlots[2] = uint16_t(clTetra.value3);
    clBody.direction = clTetra.direction;
    clBody.channelCode = clTetra.channelCode;
    clBody.bitCount = clTetra.bitCount;
    clBody.dataFlags = clTetra.dataFlags;
    clBody.burstType = uint8_t(clTetra.burstType);
    std::memcpy(clBody.burstInfo, clTetra.burstInfo, 3);
    clBody.flags2 = clTetra.flags2;
    clBody.extended = clTetra.extended;
    clBody.ext1 = clTetra.ext1;
    clBody.ext2 = clTetra.ext2;
    clBody.ext3 = clTetra.ext3;
    clBody.ext4 = clTetra.ext4;
    std::memcpy(clBody.ext5, clTetra.ext5, sizeof(clBody.ext5));
    clBody.data =
        QByteArray(reinterpret_cast<const char *>(clTetra.data), int((clTetra.bitCount + 7) / 8));
    return clBody;
}

void SetTetraData(TetraTmv &clTetra, uint16_t lBits) {
    clTetra.bitCount = lBits;
    const QByteArray clData = Pattern((lBits + 7) / 8, 0x31);
    std::memcpy(clTetra.data, clData.constData(), size_t(clData.size()));
}

GsmTmv SampleGsm(uint16_t lBits) {
    auto clGsm = Zeroed<GsmTmv>();
    clGsm.fileTime = 0xFFFFFFFFFFFFFFFFULL;
    clGsm.value1 = 0x89ABCDEF;
    clGsm.byte1 = 0x10;
    clGsm.word1 = 0x1111;
    clGsm.word2 = 0x2222;
    clGsm.word3 = 0xFFFF;
    clGsm.value2 = 0x0102030405060708ULL;
    clGsm.byte2 = 0x22;
    clGsm.direction = 1;
    clGsm.byte3 = 0x33;
    clGsm.bitCount = lBits;
    clGsm.byte4 = 0x44;
    clGsm.byte5 = 0x55;
    clGsm.byte6 = 0x66;
    clGsm.byte7 = 0x77;
    clGsm.word4 = 0x4444;
    clGsm.value3 = 0x33333333;
    clGsm.value4 = 0xFFFFFFFF;
    for (int i = 0; i < 9; ++i)
        clGsm.words[i] = uint16_t(0x1000 * i + i);
    const QByteArray clData = Pattern((lBits + 7) / 8, 0x47);
    std::memcpy(clGsm.data, clData.constData(), size_t(clData.size()));
    return clGsm;
}

GsmBody StoredGsm(const GsmTmv &clGsm) {
    GsmBody clBody;
    clBody.fileTime = clGsm.fileTime;
    clBody.value1 = clGsm.value1;
    clBody.byte1 = clGsm.byte1;
    clBody.word1 = clGsm.word1;
    clBody.word2 = clGsm.word2;
    clBody.word3 = clGsm.word3;
    clBody.value2 = clGsm.value2;
    clBody.byte2 = clGsm.byte2;
    clBody.direction = clGsm.direction;
    clBody.byte3 = clGsm.byte3;
    clBody.bitCount = clGsm.bitCount;
    clBody.byte4 = clGsm.byte4;
    clBody.byte5 = clGsm.byte5;
    clBody.byte6 = clGsm.byte6;
    clBody.word4 = clGsm.word4;
    clBody.value3 = clGsm.value3;
    clBody.value4 = clGsm.value4;
    clBody.byte7 = clGsm.byte7;
    std::memcpy(clBody.words, clGsm.words, sizeof(clBody.words));
    clBody.data =
        QByteArray(reinterpret_cast<const char *>(clGsm.data), int((clGsm.bitCount + 7) / 8));
    return clBody;
}

DmrTmv SampleDmr(uint8_t lBurstKind) {
    auto clDmr = Zeroed<DmrTmv>();
    clDmr.timeslot = 1;
    clDmr.burstKind = lBurstKind;
    clDmr.timeSeconds = 0x0123456789ABCDEFULL;
    clDmr.milliseconds = 500;
    clDmr.altTimeSeconds = 1234; // never stored
    clDmr.altMilliseconds = 5;
    clDmr.word1 = 0xFFFF;
    clDmr.byte1 = 0x11;
    clDmr.byte2 = 0x22;
    clDmr.optionalFlags = 0x3F;
    clDmr.byte4 = 0x44;
    clDmr.word2 = 0x2222;
    clDmr.word3 = 0x3333;
    clDmr.word4 = 0x4444;
    clDmr.value48 = 0xFFFF123456789ABCULL; // the top 16 bits are not stored
    clDmr.word5 = 0x5555;
    // Every slot at the most bytes its kind allows.
    SetItem(clDmr, 0, 4, 24, 1, 0x3F, Pattern(3, 0x10));
    SetItem(clDmr, 1, 37, 72, 0, 0x01, Pattern(9, 0x20));
    SetItem(clDmr, 2, 35, 16, 1, 0x00, Pattern(2, 0x30));
    SetItem(clDmr, 3, 38, 144, 0, 0x2A, Pattern(18, 0x40));
    SetItem(clDmr, 4, 2, 24, 0, 0x00, Pattern(3, 0x50));
    SetItem(clDmr, 5, 26, 216, 1, 0x15, Pattern(27, 0x60));
    SetItem(clDmr, 6, 39, 576, 1, 0x15, Pattern(72, 0x70));
    return clDmr;
}

// The stored head of SampleDmr.
DmrBody StoredDmrHead(const DmrTmv &clDmr, int lVersion) {
    DmrBody clBody;
    clBody.withTimeslot = lVersion >= 3;
    clBody.timeslot = clDmr.timeslot;
    clBody.burstKind = clDmr.burstKind;
    clBody.timeSeconds = clDmr.timeSeconds;
    clBody.milliseconds = clDmr.milliseconds;
    clBody.word1 = clDmr.word1;
    clBody.byte1 = clDmr.byte1;
    clBody.byte2 = clDmr.byte2;
    clBody.optionalFlags = clDmr.optionalFlags;
    clBody.value48 = clDmr.value48;
    clBody.byte4 = clDmr.byte4;
    clBody.word2 = clDmr.word2;
    clBody.word3 = clDmr.word3;
    clBody.word4 = clDmr.word4;
    clBody.word5 = clDmr.word5;
    return clBody;
}

// What a reader hands back of SampleDmr before the item slots are considered.
DmrTmv ReadBackDmrHead(const DmrTmv &clDmr, uint8_t lTimeslot) {
    DmrTmv clExpected = clDmr;
    clExpected.timeslot = lTimeslot;
    clExpected.altTimeSeconds = 0;
    clExpected.altMilliseconds = 0;
    clExpected.value48 = 0x123456789ABCULL;
    return clExpected;
}

NoticeTmv SampleNotice() {
    auto clNotice = Zeroed<NoticeTmv>();
    clNotice.noticeType = 1; // not stored
    clNotice.code = 10045;
    clNotice.value = 0xFFFFFFFF;
    const QByteArray clText = Pattern(128, 0x80);
    std::memcpy(clNotice.text, clText.constData(), 128);
    return clNotice;
}

// One row of the record table: what is written, the bytes expected on file
// and what a reader hands back.
struct RecordCase {
    int version = 3;
    SubHeader sub;
    uint8_t kind = 0;
    QByteArray payload;
    QByteArray expectedFrame;
    uint8_t expectedKind = 0;
    QByteArray expectedPayload;
};

using PayloadSetup = std::function<void(DecodedPayload &)>;

} // namespace

Q_DECLARE_METATYPE(RecordCase)
Q_DECLARE_METATYPE(PayloadSetup)

class TestContainerCodec : public QObject {
    Q_OBJECT

  private slots:
    void checksum_data();
    void checksum();
    void genericRecordExactBytes();
    void header_data();
    void header();
    void headerDecode_data();
    void headerDecode();
    void records_data();
    void records();
    void valueSlot_data();
    void valueSlot();
    void valueSlotReverse_data();
    void valueSlotReverse();
    void dmrLongItem_data();
    void dmrLongItem();
    void dmrItemDecoding_data();
    void dmrItemDecoding();
    void dmrTimeslot_data();
    void dmrTimeslot();
    void dmrTimeslotMemoryIsPerReader();
    void versionRules_data();
    void versionRules();
    void encodingLimits_data();
    void encodingLimits();
    void decodeOutcomes_data();
    void decodeOutcomes();
    void decodeClearsEarlierRecord();
    void mutatedFramesStayInside();
};

void TestContainerCodec::checksum_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("abc") << QByteArray("abc") << QByteArray::fromHex("CADBBE3D");
    QTest::newRow("nothing") << QByteArray() << QByteArray::fromHex("FFFFFFFF");
    QTest::newRow("generic sample after the head")
        << (QByteArray(23, '\0') + "abc") << QByteArray::fromHex("9A76D91D");
}

void TestContainerCodec::checksum() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, stored);
    const ExactBuffer clBuffer = Exact(bytes);
    const uint32_t lChecksum = ContainerChecksum(clBuffer.data(), clBuffer.size());
    uint8_t lOnFile[4];
    WriteBe32(lOnFile, lChecksum);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(lOnFile), 4).toHex(), stored.toHex());
    QCOMPARE(lChecksum, StoredChecksum(bytes));
}

void TestContainerCodec::genericRecordExactBytes() {
    const QByteArray clExpected = QByteArray::fromHex("00000024"
                                                      "02"
                                                      "00"
                                                      "9A76D91D") +
                                  QByteArray(23, '\0') + "abc";
    const QByteArray clPayload("abc");
    const RawRecord clRecord = MakeRecord(PAYLOAD_GENERIC, 3, clPayload.constData());
    const Encoded clEncoded = Encode(clRecord, 3);
    QCOMPARE(int(clEncoded.result), int(FILE_OK));
    QCOMPARE(clEncoded.bytes.toHex(' '), clExpected.toHex(' '));

    DmrTimeslotMemory clMemory;
    Decoding clRead(clExpected, 3, clMemory);
    QCOMPARE(ActionName(clRead.outcome.action), "Deliver");
    QCOMPARE(clRead.outcome.consumed, 36u);
    QCOMPARE(clRead.record.recordClass, 2u);
    QCOMPARE(int(clRead.record.payloadKind), int(PAYLOAD_GENERIC));
    QCOMPARE(clRead.record.payloadLength, 3u);
    // Generic payloads are not copied: they point at the body inside the frame.
    QVERIFY(static_cast<const uint8_t *>(clRead.record.payload) == clRead.frame.data() + 33);
    QCOMPARE(QByteArray(static_cast<const char *>(clRead.record.payload), 3), clPayload);
}

void TestContainerCodec::header_data() {
    QTest::addColumn<uint64_t>("fileMagic");
    QTest::addColumn<int64_t>("startTime");
    QTest::addColumn<uint16_t>("value16");
    QTest::addColumn<double>("extraValue");
    QTest::newRow("typical") << uint64_t(0x0123456789ABCDEFULL) << int64_t(1700000000)
                             << uint16_t(0xBEEF) << 1.5;
    QTest::newRow("unknown start time")
        << uint64_t(0xFFFFFFFFFFFFFFFFULL) << INT64_MAX << uint16_t(0) << -2.5e-300;
    QTest::newRow("negative start time") << uint64_t(0) << int64_t(-1) << uint16_t(1) << 0.0;
}

void TestContainerCodec::header() {
    QFETCH(uint64_t, fileMagic);
    QFETCH(int64_t, startTime);
    QFETCH(uint16_t, value16);
    QFETCH(double, extraValue);

    auto clInfo = Zeroed<FileHeaderInfo>();
    clInfo.infoType = 1;
    clInfo.fileMagic = fileMagic;
    clInfo.startTime = startTime;
    clInfo.value16 = value16;
    std::strcpy(clInfo.recordingType, "Proprietary TMW recording");
    std::strcpy(clInfo.infoText1, "unknown");
    std::strcpy(clInfo.infoText2, " - ");
    std::memset(clInfo.reservedBlock, 0xAB, sizeof(clInfo.reservedBlock)); // never written
    std::strcpy(clInfo.infoText3, "third text");
    for (int i = 0; i < 16; ++i)
        clInfo.extraBytes[i] = uint8_t(0xF0 + i);
    clInfo.extraValue = extraValue;

    ExactBuffer clEncoded(kContainerHeaderSize, 0xCC);
    EncodeContainerHeader(clInfo, clEncoded.data());
    const QByteArray clBytes(reinterpret_cast<const char *>(clEncoded.data()), kHeaderSize);

    HeaderFields clFields;
    clFields.fileMagic = fileMagic;
    clFields.startTime = startTime;
    clFields.value16 = value16;
    clFields.recordingType = "Proprietary TMW recording";
    clFields.infoText1 = "unknown";
    clFields.infoText2 = " - ";
    clFields.infoText3 = "third text";
    for (int i = 0; i < 16; ++i)
        clFields.extraBytes.append(char(0xF0 + i));
    clFields.extraValue = extraValue;
    const QByteArray clExpected = Header(clFields);

    const struct {
        int offset;
        int size;
    } fields[] = {{0, 24}, {24, 4}, {32, 1}, {33, 8}, {41, 8}, {49, 2}, {2347, 8}};
    for (const auto &clField : fields)
        QCOMPARE(clBytes.mid(clField.offset, clField.size).toHex(' '),
                 clExpected.mid(clField.offset, clField.size).toHex(' '));
    QCOMPARE(clBytes.left(24), QByteArray("BRENNOVARSTIK_V3_______", 24));
    QCOMPARE(clBytes.mid(24, 9).toHex(), QByteArray("000009330000000001"));
    QCOMPARE(clBytes.toHex(), clExpected.toHex());

    auto clDecoded = Zeroed<FileHeaderInfo>();
    QCOMPARE(DecodeContainerHeader(clEncoded.data(), clDecoded), 3);
    QCOMPARE(clDecoded.infoType, 1u);
    QCOMPARE(clDecoded.fileMagic, fileMagic);
    QCOMPARE(clDecoded.startTime, startTime);
    QCOMPARE(clDecoded.value16, value16);
    QCOMPARE(std::memcmp(&clDecoded.extraValue, &extraValue, sizeof(double)), 0);
    QCOMPARE(BytesOf(clDecoded.recordingType), BytesOf(clInfo.recordingType));
    QCOMPARE(BytesOf(clDecoded.infoText1), BytesOf(clInfo.infoText1));
    QCOMPARE(BytesOf(clDecoded.infoText2), BytesOf(clInfo.infoText2));
    QCOMPARE(BytesOf(clDecoded.reservedBlock), QByteArray(1024, '\0'));
    QCOMPARE(BytesOf(clDecoded.infoText3), BytesOf(clInfo.infoText3));
    QCOMPARE(BytesOf(clDecoded.extraBytes), BytesOf(clInfo.extraBytes));
}

void TestContainerCodec::headerDecode_data() {
    QTest::addColumn<QByteArray>("magic");
    QTest::addColumn<int>("version");
    QTest::newRow("version 1") << MagicText(1) << 1;
    QTest::newRow("version 2") << MagicText(2) << 2;
    QTest::newRow("version 3") << MagicText(3) << 3;
    QTest::newRow("version 4") << MagicText(4) << 0;
    QTest::newRow("version 0") << MagicText(0) << 0;
    QTest::newRow("lower case") << MagicText(3).toLower() << 0;
    // The terminator is part of the magic.
    QTest::newRow("no terminator") << (MagicText(3) + "_") << 0;
    QTest::newRow("zeros") << QByteArray() << 0;
}

void TestContainerCodec::headerDecode() {
    QFETCH(QByteArray, magic);
    QFETCH(int, version);

    HeaderFields clFields;
    clFields.magic = magic;
    clFields.headerLength = 0; // ignored when read
    clFields.oneField = 7;
    clFields.fileMagic = 0x1122334455667788ULL;
    clFields.startTime = -5;
    clFields.value16 = 0x0102;
    clFields.recordingType = QByteArray(128, 'r'); // no terminator in the field
    clFields.infoText1 = "one";
    clFields.infoText2 = "two";
    clFields.reservedBlock = Pattern(1024, 3);
    clFields.infoText3 = QByteArray(1000, 't');
    clFields.extraBytes = Pattern(16, 9);
    clFields.extraValue = -0.0;
    const ExactBuffer clHeader = Exact(Header(clFields));
    QCOMPARE(int(clHeader.size()), kHeaderSize);

    auto clInfo = Zeroed<FileHeaderInfo>();
    clInfo.fileMagic = 42;
    QCOMPARE(DecodeContainerHeader(clHeader.data(), clInfo), version);
    if (version == 0) {
        QCOMPARE(clInfo.fileMagic, uint64_t(42)); // untouched
        return;
    }
    QCOMPARE(clInfo.infoType, 1u);
    QCOMPARE(clInfo.fileMagic, 0x1122334455667788ULL);
    QCOMPARE(clInfo.startTime, int64_t(-5));
    QCOMPARE(clInfo.value16, uint16_t(0x0102));
    // A text without its terminator is cut by one byte rather than left open.
    QCOMPARE(QByteArray(clInfo.recordingType), QByteArray(127, 'r'));
    QCOMPARE(QByteArray(clInfo.infoText1), QByteArray("one"));
    QCOMPARE(QByteArray(clInfo.infoText2), QByteArray("two"));
    QCOMPARE(QByteArray(clInfo.infoText3), QByteArray(999, 't'));
    QCOMPARE(BytesOf(clInfo.reservedBlock), Pattern(1024, 3));
    QCOMPARE(BytesOf(clInfo.extraBytes), Pattern(16, 9));
    QVERIFY(std::signbit(clInfo.extraValue));
    QCOMPARE(clInfo.extraValue, 0.0);
}

void TestContainerCodec::records_data() {
    QTest::addColumn<RecordCase>("row");
    const SubHeader clSub{0xA5, 0x0123456789ABCDEFULL, 0xFFFFFFFF, 0xBEEF};

    auto tetraRow = [&](const char *pName, int lVersion, uint8_t lKind, const TetraTmv &clIn,
                        uint8_t lType, const TetraBody &clStored, TetraLayout enLayout,
                        const TetraTmv &clOut) {
        RecordCase clRow;
        clRow.version = lVersion;
        clRow.sub = clSub;
        clRow.kind = lKind;
        clRow.payload = BytesOf(clIn);
        clRow.expectedFrame = Record(lType, clSub, TetraBodyBytes(clStored, enLayout));
        clRow.expectedKind = lKind;
        clRow.expectedPayload = BytesOf(clOut);
        QTest::newRow(pName) << clRow;
    };

    { // Version 1 stores neither flags2 nor the extra value; no data bytes.
        TetraTmv clIn = SampleTetra();
        clIn.flags2 = 0x84;
        clIn.extraValue = 0x1234;
        TetraTmv clOut = clIn;
        clOut.flags2 = 0;
        clOut.extraValue = 0;
        clOut.frequency = clSub.frequency;
        tetraRow("tetra v1 no data", 1, PAYLOAD_TETRA, clIn, RECORD_TETRA, StoredTetra(clIn),
                 TetraLayout::V1, clOut);
    }
    for (int lVersion : {2, 3}) {
        TetraTmv clIn = SampleTetra();
        TetraTmv clOut = clIn;
        clOut.frequency = clSub.frequency;
        tetraRow(lVersion == 2 ? "tetra v2 no data" : "tetra v3 no data", lVersion, PAYLOAD_TETRA,
                 clIn, RECORD_TETRA, StoredTetra(clIn), TetraLayout::V2, clOut);
    }
    { // Values keep 16 signed bits; the payload's own frequency and the
      // extended fields of a plain record are not stored.
        TetraTmv clIn = SampleTetra();
        clIn.value1 = 0x12345;
        clIn.value2 = 40000;
        clIn.value3 = -40000;
        clIn.frequency = 777;
        clIn.ext1 = 1;
        clIn.ext2 = 2;
        clIn.ext3 = 3;
        clIn.ext4 = 4;
        clIn.ext5[8] = 5;
        SetTetraData(clIn, 13);
        TetraTmv clOut = clIn;
        clOut.value1 = 0x2345;
        clOut.value2 = -25536;
        clOut.value3 = 25536;
        clOut.frequency = clSub.frequency;
        clOut.ext1 = clOut.ext2 = 0;
        clOut.ext3 = clOut.ext4 = 0;
        clOut.ext5[8] = 0;
        tetraRow("tetra v3 values cut to 16 bits", 3, PAYLOAD_TETRA, clIn, RECORD_TETRA,
                 StoredTetra(clIn), TetraLayout::V2, clOut);
    }
    for (int lVersion : {1, 3}) {
        TetraTmv clIn = SampleTetra();
        SetTetraData(clIn, 1036 * 8);
        TetraTmv clOut = clIn;
        clOut.frequency = clSub.frequency;
        if (lVersion == 1)
            clOut.flags2 = 0;
        tetraRow(lVersion == 1 ? "tetra v1 1036 data bytes" : "tetra v3 1036 data bytes", lVersion,
                 PAYLOAD_TETRA, clIn, RECORD_TETRA, StoredTetra(clIn),
                 lVersion == 1 ? TetraLayout::V1 : TetraLayout::V2, clOut);
    }
    for (int lVersion : {2, 3}) {
        // Auxiliary: no value-slot rule, and the extended fields are dropped.
        TetraTmv clIn = SampleTetra();
        clIn.valueFlags = 0x00;
        clIn.value1 = 1;
        clIn.value2 = 2;
        clIn.value3 = 3;
        clIn.flags2 = 0x04;
        clIn.extraValue = 0x1234;
        clIn.extended = 1;
        clIn.ext3 = 0xFFFFFFFF;
        SetTetraData(clIn, lVersion == 2 ? 7 : 1036 * 8);
        TetraTmv clOut = clIn;
        clOut.extraValue = 0;
        clOut.extended = 0;
        clOut.ext3 = 0;
        clOut.frequency = clSub.frequency;
        tetraRow(lVersion == 2 ? "aux v2" : "aux v3 1036 data bytes", lVersion, PAYLOAD_TETRA_AUX,
                 clIn, RECORD_TETRA_AUX, StoredTetra(clIn), TetraLayout::V2, clOut);
    }
    { // Extended, with the extra value in slot 3 of an even frame.
        TetraTmv clIn = SampleTetra();
        clIn.extended = 0x5A;
        clIn.ext1 = 0xE1;
        clIn.ext2 = 0xFFFF;
        clIn.ext3 = 0xFFFFFFFF;
        clIn.ext4 = 0x80000001;
        for (int i = 0; i < 9; ++i)
            clIn.ext5[i] = uint16_t(0xF00F + i);
        clIn.frame = 8;
        clIn.valueFlags = 0xE0;
        clIn.value1 = 10;
        clIn.value2 = -20;
        clIn.value3 = 30;
        clIn.flags2 = 0x84;
        clIn.extraValue = 0xFFFE;
        SetTetraData(clIn, 100);
        TetraBody clStored = StoredTetra(clIn);
        clStored.valueFlags = 0xC0;
        clStored.valueSlots[2] = 0xFFFE;
        TetraTmv clOut = clIn;
        clOut.valueFlags = 0xC0;
        clOut.value3 = 0;
        clOut.frequency = clSub.frequency;
        tetraRow("extended v2 extra value", 2, PAYLOAD_TETRA, clIn, RECORD_TETRA_EXTENDED, clStored,
                 TetraLayout::Extended, clOut);
    }
    {
        TetraTmv clIn = SampleTetra();
        clIn.extended = 1;
        clIn.ext3 = 0x12345678;
        SetTetraData(clIn, 1036 * 8);
        TetraTmv clOut = clIn;
        clOut.frequency = clSub.frequency;
        tetraRow("extended v3 1036 data bytes", 3, PAYLOAD_TETRA, clIn, RECORD_TETRA_EXTENDED,
                 StoredTetra(clIn), TetraLayout::Extended, clOut);
    }

    for (uint16_t lBits : {uint16_t(0), uint16_t(1), uint16_t(1256 * 8)}) {
        const GsmTmv clGsm = SampleGsm(lBits);
        RecordCase clRow;
        clRow.sub = clSub;
        clRow.kind = PAYLOAD_GSM;
        clRow.payload = BytesOf(clGsm);
        clRow.expectedFrame = Record(RECORD_GSM, clSub, GsmBodyBytes(StoredGsm(clGsm)));
        clRow.expectedKind = PAYLOAD_GSM;
        clRow.expectedPayload = clRow.payload;
        QTest::newRow(qPrintable(QString("gsm v3 %1 bits").arg(lBits))) << clRow;
    }

    auto dmrRow = [&](const char *pName, int lVersion, const DmrTmv &clIn, const DmrBody &clStored,
                      const DmrTmv &clOut) {
        RecordCase clRow;
        clRow.version = lVersion;
        clRow.sub = clSub;
        clRow.kind = PAYLOAD_DMR;
        clRow.payload = BytesOf(clIn);
        clRow.expectedFrame = Record(RECORD_DMR, clSub, DmrBodyBytes(clStored));
        clRow.expectedKind = PAYLOAD_DMR;
        clRow.expectedPayload = BytesOf(clOut);
        QTest::newRow(pName) << clRow;
    };
    {
        const DmrTmv clIn = SampleDmr(1);
        DmrBody clStored = StoredDmrHead(clIn, 3);
        clStored.items = {{4, 0xBF, 24, Pattern(3, 0x10)},  {37, 0x01, 72, Pattern(9, 0x20)},
                          {35, 0x80, 16, Pattern(2, 0x30)}, {38, 0x2A, 144, Pattern(18, 0x40)},
                          {2, 0x00, 24, Pattern(3, 0x50)},  {26, 0x95, 216, Pattern(27, 0x60)},
                          {39, 0xD5, 72, Pattern(72, 0x70)}};
        dmrRow("dmr v3 every slot full", 3, clIn, clStored, ReadBackDmrHead(clIn, 1));
    }
    { // burstKind other than 1: slots 0 and 1 are not stored. A high flag
      // without bits is not stored either.
        DmrTmv clIn = SampleDmr(2);
        clIn.timeslot = 0;
        SetItem(clIn, 4, 2, 0, 1, 0x07);
        DmrBody clStored = StoredDmrHead(clIn, 3);
        clStored.items = {{35, 0x80, 16, Pattern(2, 0x30)},
                          {38, 0x2A, 144, Pattern(18, 0x40)},
                          {2, 0x07, 0, {}},
                          {26, 0x95, 216, Pattern(27, 0x60)},
                          {39, 0xD5, 72, Pattern(72, 0x70)}};
        DmrTmv clOut = ReadBackDmrHead(clIn, 0);
        SetItem(clOut, 0, 0, 0, 0, 0);
        SetItem(clOut, 1, 0, 0, 0, 0);
        SetItem(clOut, 4, 2, 0, 0, 0x07);
        dmrRow("dmr v3 burst kind 2 drops slots 0 and 1", 3, clIn, clStored, clOut);
    }
    { // No timeslot byte, no kind 39; burstKind 1 reads back as timeslot 0.
        const DmrTmv clIn = SampleDmr(1);
        DmrBody clStored = StoredDmrHead(clIn, 2);
        clStored.items = {{4, 0xBF, 24, Pattern(3, 0x10)},  {37, 0x01, 72, Pattern(9, 0x20)},
                          {35, 0x80, 16, Pattern(2, 0x30)}, {38, 0x2A, 144, Pattern(18, 0x40)},
                          {2, 0x00, 24, Pattern(3, 0x50)},  {26, 0x95, 216, Pattern(27, 0x60)}};
        DmrTmv clOut = ReadBackDmrHead(clIn, 0);
        SetItem(clOut, 6, 0, 0, 0, 0);
        dmrRow("dmr v2 without timeslot and kind 39", 2, clIn, clStored, clOut);
    }
    {
        const DmrTmv clIn = SampleDmr(7);
        DmrBody clStored = StoredDmrHead(clIn, 1);
        clStored.items = {{35, 0x80, 16, Pattern(2, 0x30)},
                          {38, 0x2A, 144, Pattern(18, 0x40)},
                          {2, 0x00, 24, Pattern(3, 0x50)},
                          {26, 0x95, 216, Pattern(27, 0x60)}};
        DmrTmv clOut = ReadBackDmrHead(clIn, 0);
        SetItem(clOut, 0, 0, 0, 0, 0);
        SetItem(clOut, 1, 0, 0, 0, 0);
        SetItem(clOut, 6, 0, 0, 0, 0);
        dmrRow("dmr v1 burst kind 7", 1, clIn, clStored, clOut);
    }
    {
        DmrTmv clIn = SampleDmr(1);
        for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot)
            SetItem(clIn, lSlot, 0, 0, 0, 0);
        DmrBody clStored = StoredDmrHead(clIn, 3);
        dmrRow("dmr v3 without items", 3, clIn, clStored, ReadBackDmrHead(clIn, 1));
    }

    for (int lVersion : {1, 3}) {
        const NoticeTmv clIn = SampleNotice();
        NoticeTmv clOut = clIn;
        clOut.noticeType = 0;
        RecordCase clRow;
        clRow.version = lVersion;
        clRow.kind = PAYLOAD_NOTICE;
        clRow.payload = BytesOf(clIn);
        clRow.expectedFrame =
            Record(RECORD_NOTICE, {}, NoticeBodyBytes(10045, 0xFFFFFFFF, Pattern(128, 0x80)));
        clRow.expectedKind = PAYLOAD_NOTICE;
        clRow.expectedPayload = BytesOf(clOut);
        QTest::newRow(lVersion == 1 ? "notice v1" : "notice v3") << clRow;
    }

    auto genericRow = [&](const char *pName, int lVersion, uint8_t lKind, const SubHeader &clS,
                          const QByteArray &clPayload) {
        RecordCase clRow;
        clRow.version = lVersion;
        clRow.sub = clS;
        clRow.kind = lKind;
        clRow.payload = clPayload;
        clRow.expectedFrame = Record(RECORD_GENERIC, clS, clPayload);
        clRow.expectedKind = PAYLOAD_GENERIC;
        clRow.expectedPayload = clPayload;
        QTest::newRow(pName) << clRow;
    };
    genericRow("generic abc", 3, PAYLOAD_GENERIC, {}, "abc");
    genericRow("generic kind 7 v1", 1, 7, clSub, Pattern(300, 1));
    genericRow("generic kind 255 v2 empty", 2, 255, clSub, {});
    genericRow("generic kind 21 v3", 3, 21, clSub, Pattern(140, 2));
}

void TestContainerCodec::records() {
    QFETCH(RecordCase, row);

    auto clInput = Zeroed<DecodedPayload>();
    const bool bGeneric = row.expectedKind == PAYLOAD_GENERIC;
    if (!bGeneric)
        std::memcpy(clInput.bytes, row.payload.constData(), size_t(row.payload.size()));
    const void *pPayload = bGeneric ? static_cast<const void *>(row.payload.constData())
                                    : static_cast<const void *>(clInput.bytes);
    const RawRecord clRecord =
        MakeRecord(row.kind, uint32_t(row.payload.size()), pPayload, row.sub);

    const Encoded clEncoded = Encode(clRecord, row.version);
    QCOMPARE(int(clEncoded.result), int(FILE_OK));
    QCOMPARE(int(clEncoded.plan.type), int(uint8_t(row.expectedFrame.at(4))));
    QCOMPARE(clEncoded.plan.length, uint32_t(row.expectedFrame.size()));
    QCOMPARE(clEncoded.bytes.toHex(' '), row.expectedFrame.toHex(' '));

    DmrTimeslotMemory clMemory;
    Decoding clRead(clEncoded.bytes, row.version, clMemory);
    QCOMPARE(ActionName(clRead.outcome.action), "Deliver");
    QCOMPARE(clRead.outcome.consumed, uint32_t(clEncoded.bytes.size()));
    QCOMPARE(clRead.record.recordClass, 2u);
    QCOMPARE(clRead.record.sourceByte, row.sub.sourceByte);
    QCOMPARE(clRead.record.frequency, row.sub.frequency);
    QCOMPARE(clRead.record.symbolRate, row.sub.symbolRate);
    QCOMPARE(clRead.record.value16, row.sub.value16);
    QCOMPARE(clRead.record.spare64, uint64_t(0));
    QCOMPARE(clRead.record.spare32, 0u);
    QCOMPARE(int(clRead.record.payloadKind), int(row.expectedKind));
    QCOMPARE(clRead.record.payloadLength, uint32_t(row.expectedPayload.size()));

    const QByteArray &clWant = row.expectedPayload;
    switch (row.expectedKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX: {
        TetraTmv clExpected;
        std::memcpy(&clExpected, clWant.constData(), sizeof(clExpected));
        QVERIFY(SameTetra(*static_cast<const TetraTmv *>(clRead.record.payload), clExpected));
        break;
    }
    case PAYLOAD_DMR: {
        DmrTmv clExpected;
        std::memcpy(&clExpected, clWant.constData(), sizeof(clExpected));
        QVERIFY(SameDmr(*static_cast<const DmrTmv *>(clRead.record.payload), clExpected));
        break;
    }
    case PAYLOAD_GSM: {
        GsmTmv clExpected;
        std::memcpy(&clExpected, clWant.constData(), sizeof(clExpected));
        QVERIFY(SameGsm(*static_cast<const GsmTmv *>(clRead.record.payload), clExpected));
        break;
    }
    case PAYLOAD_NOTICE: {
        NoticeTmv clExpected;
        std::memcpy(&clExpected, clWant.constData(), sizeof(clExpected));
        QVERIFY(SameNotice(*static_cast<const NoticeTmv *>(clRead.record.payload), clExpected));
        break;
    }
    default:
        QCOMPARE(QByteArray(static_cast<const char *>(clRead.record.payload),
                            int(clRead.record.payloadLength)),
                 clWant);
        break;
    }
}

void TestContainerCodec::valueSlot_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("extended");
    QTest::addColumn<int>("valueFlags");
    QTest::addColumn<int>("frame");
    QTest::addColumn<int>("flags2");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<int>("storedFlags");
    QTest::addColumn<QList<int>>("storedSlots"); // as unsigned 16-bit
    QTest::addColumn<QList<int>>("readValues");
    QTest::addColumn<int>("readExtra");

    const int x = 0xBEEF; // the extra value throughout
    using L = QList<int>;
    QTest::newRow("all valid, odd frame: slot 2")
        << 3 << 0 << 0 << 0xE0 << 7 << 0x84 << L{100, -200, 300} << 0xA0 << L{100, x, 300}
        << L{100, 0, 300} << x;
    QTest::newRow("all valid, even frame: slot 3")
        << 3 << 0 << 0 << 0xE0 << 8 << 0x84 << L{100, -200, 300} << 0xC0 << L{100, 0xFF38, x}
        << L{100, -200, 0} << x;
    QTest::newRow("all valid, frame 1 in v2") << 2 << 0 << 0 << 0xF0 << 1 << 0x04 << L{-1, -2, -3}
                                              << 0xB0 << L{0xFFFF, x, 0xFFFD} << L{-1, 0, -3} << x;
    QTest::newRow("value1 invalid: slot 1")
        << 3 << 0 << 0 << 0x60 << 7 << 0x04 << L{0, 2, 3} << 0x60 << L{x, 2, 3} << L{0, 2, 3} << x;
    QTest::newRow("value2 invalid: slot 2")
        << 3 << 0 << 0 << 0xA0 << 8 << 0x04 << L{1, 0, 3} << 0xA0 << L{1, x, 3} << L{1, 0, 3} << x;
    QTest::newRow("value3 invalid: slot 3")
        << 3 << 0 << 0 << 0xD0 << 7 << 0x04 << L{1, 2, 0} << 0xD0 << L{1, 2, x} << L{1, 2, 0} << x;
    QTest::newRow("none valid: slot 1")
        << 3 << 0 << 0 << 0x00 << 8 << 0x04 << L{0, 2, 3} << 0x00 << L{x, 2, 3} << L{0, 2, 3} << x;
    QTest::newRow("flags2 bit 2 clear: not stored")
        << 3 << 0 << 0 << 0x00 << 7 << 0xFB << L{5, 6, 7} << 0x00 << L{5, 6, 7} << L{5, 6, 7} << 0;
    QTest::newRow("extended, all valid, odd frame")
        << 3 << 0 << 1 << 0xE0 << 17 << 0x04 << L{1, 2, 3} << 0xA0 << L{1, x, 3} << L{1, 0, 3} << x;
    QTest::newRow("extended v2, value1 invalid")
        << 2 << 0 << 1 << 0x70 << 2 << 0x04 << L{0, 2, 3} << 0x70 << L{x, 2, 3} << L{0, 2, 3} << x;
    QTest::newRow("aux keeps its values")
        << 3 << 3 << 0 << 0xE0 << 7 << 0x04 << L{1, 2, 3} << 0xE0 << L{1, 2, 3} << L{1, 2, 3} << 0;
    QTest::newRow("aux v2, slot free but unused")
        << 2 << 3 << 0 << 0x00 << 7 << 0x04 << L{1, 2, 3} << 0x00 << L{1, 2, 3} << L{1, 2, 3} << 0;
    QTest::newRow("v1 has no value slot rule")
        << 1 << 0 << 0 << 0xE0 << 7 << 0x04 << L{1, 2, 3} << 0xE0 << L{1, 2, 3} << L{1, 2, 3} << 0;
}

void TestContainerCodec::valueSlot() {
    QFETCH(int, version);
    QFETCH(int, kind);
    QFETCH(int, extended);
    QFETCH(int, valueFlags);
    QFETCH(int, frame);
    QFETCH(int, flags2);
    QFETCH(QList<int>, values);
    QFETCH(int, storedFlags);
    QFETCH(QList<int>, storedSlots);
    QFETCH(QList<int>, readValues);
    QFETCH(int, readExtra);

    TetraTmv clTetra = SampleTetra();
    clTetra.extended = uint8_t(extended);
    clTetra.valueFlags = uint8_t(valueFlags);
    clTetra.frame = uint8_t(frame);
    clTetra.flags2 = uint8_t(flags2);
    clTetra.value1 = values[0];
    clTetra.value2 = values[1];
    clTetra.value3 = values[2];
    clTetra.extraValue = 0xBEEF;
    const RawRecord clRecord = MakeRecord(uint8_t(kind), kTetraTmvLength, &clTetra);
    const Encoded clEncoded = Encode(clRecord, version);
    QCOMPARE(int(clEncoded.result), int(FILE_OK));

    const int lBody = kBodyOffset;
    QCOMPARE(int(uint8_t(clEncoded.bytes.at(lBody + 15))), storedFlags);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(int(Be16At(clEncoded.bytes, lBody + 16 + 2 * i)), storedSlots[i] & 0xFFFF);

    DmrTimeslotMemory clMemory;
    Decoding clRead(clEncoded.bytes, version, clMemory);
    QCOMPARE(ActionName(clRead.outcome.action), "Deliver");
    const TetraTmv &clOut = clRead.area.tetra;
    QCOMPARE(int(clOut.valueFlags), storedFlags);
    QCOMPARE(clOut.value1, readValues[0]);
    QCOMPARE(clOut.value2, readValues[1]);
    QCOMPARE(clOut.value3, readValues[2]);
    QCOMPARE(int(clOut.extraValue), readExtra);
    QCOMPARE(int(clOut.flags2), version == 1 ? 0 : flags2);
}

void TestContainerCodec::valueSlotReverse_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("valueFlags");
    QTest::addColumn<int>("flags2");
    QTest::addColumn<QList<int>>("readValues");
    QTest::addColumn<int>("readExtra");
    using L = QList<int>;
    // Slots on file hold 0x8001, 0x7FFF and 0xFFFF throughout.
    QTest::newRow("first clear bit is slot 2")
        << 3 << 3 << 0xB0 << 0x04 << L{-32767, 0, -1} << 0x7FFF;
    QTest::newRow("first clear bit is slot 1")
        << 3 << 2 << 0x00 << 0x04 << L{0, 32767, -1} << 0x8001;
    QTest::newRow("first clear bit is slot 3")
        << 8 << 3 << 0xC0 << 0x04 << L{-32767, 32767, 0} << 0xFFFF;
    QTest::newRow("no clear bit: no extra value")
        << 3 << 3 << 0xE0 << 0x04 << L{-32767, 32767, -1} << 0;
    QTest::newRow("flags2 bit 2 clear") << 3 << 3 << 0x00 << 0xFB << L{-32767, 32767, -1} << 0;
    QTest::newRow("aux never takes it") << 6 << 3 << 0x00 << 0x04 << L{-32767, 32767, -1} << 0;
}

void TestContainerCodec::valueSlotReverse() {
    QFETCH(int, type);
    QFETCH(int, version);
    QFETCH(int, valueFlags);
    QFETCH(int, flags2);
    QFETCH(QList<int>, readValues);
    QFETCH(int, readExtra);

    TetraBody clBody;
    clBody.valueFlags = uint8_t(valueFlags);
    clBody.flags2 = uint8_t(flags2);
    clBody.extended = 1;
    clBody.valueSlots[0] = 0x8001;
    clBody.valueSlots[1] = 0x7FFF;
    clBody.valueSlots[2] = 0xFFFF;
    const QByteArray clFrame =
        Record(uint8_t(type), {},
               TetraBodyBytes(clBody, type == 8 ? TetraLayout::Extended : TetraLayout::V2));
    DmrTimeslotMemory clMemory;
    Decoding clRead(clFrame, version, clMemory);
    QCOMPARE(ActionName(clRead.outcome.action), "Deliver");
    QCOMPARE(clRead.area.tetra.value1, readValues[0]);
    QCOMPARE(clRead.area.tetra.value2, readValues[1]);
    QCOMPARE(clRead.area.tetra.value3, readValues[2]);
    QCOMPARE(int(clRead.area.tetra.extraValue), readExtra);
    QCOMPARE(int(clRead.area.tetra.valueFlags), valueFlags);
}

void TestContainerCodec::dmrLongItem_data() {
    QTest::addColumn<int>("bitCount");
    QTest::addColumn<int>("highFlag");
    QTest::addColumn<int>("itemFlags");
    QTest::addColumn<int>("storedFlags");
    QTest::addColumn<int>("storedLength");
    QTest::addColumn<int>("readBits");
    QTest::newRow("72 bytes") << 576 << 0 << 0x00 << 0x40 << 72 << 576;
    QTest::newRow("72 bytes, high flag and item flags") << 576 << 1 << 0xFF << 0xFF << 72 << 576;
    // The length byte counts bytes, so the bit count comes back whole bytes.
    QTest::newRow("570 bits") << 570 << 0 << 0x01 << 0x41 << 72 << 576;
    QTest::newRow("9 bits") << 9 << 0 << 0x00 << 0x40 << 2 << 16;
}

void TestContainerCodec::dmrLongItem() {
    QFETCH(int, bitCount);
    QFETCH(int, highFlag);
    QFETCH(int, itemFlags);
    QFETCH(int, storedFlags);
    QFETCH(int, storedLength);
    QFETCH(int, readBits);

    DmrTmv clDmr = SampleDmr(1);
    for (int lSlot = 0; lSlot < 6; ++lSlot)
        SetItem(clDmr, lSlot, 0, 0, 0, 0);
    const QByteArray clData = Pattern(storedLength, 0x99);
    SetItem(clDmr, 6, 39, uint16_t(bitCount), uint8_t(highFlag), uint8_t(itemFlags), clData);
    const Encoded clEncoded = Encode(MakeRecord(PAYLOAD_DMR, kDmrTmvLength, &clDmr), 3);
    QCOMPARE(int(clEncoded.result), int(FILE_OK));
    QCOMPARE(clEncoded.bytes.size(), 33 + 33 + 3 + storedLength);
    QCOMPARE(int(uint8_t(clEncoded.bytes.at(33 + 32))), 1); // item count
    QCOMPARE(int(uint8_t(clEncoded.bytes.at(66))), 39);
    QCOMPARE(int(uint8_t(clEncoded.bytes.at(67))), storedFlags);
    QCOMPARE(int(uint8_t(clEncoded.bytes.at(68))), storedLength);
    QCOMPARE(clEncoded.bytes.mid(69), clData);

    DmrTimeslotMemory clMemory;
    Decoding clRead(clEncoded.bytes, 3, clMemory);
    QCOMPARE(ActionName(clRead.outcome.action), "Deliver");
    const DmrConstItemRef ref = DmrItemAt(std::as_const(clRead.area.dmr), 6);
    QCOMPARE(ref.item->itemKind, 39u);
    QCOMPARE(int(ref.item->bitCount), readBits);
    QCOMPARE(int(ref.item->highFlag), highFlag);
    QCOMPARE(int(ref.item->itemFlags), itemFlags & 0x3F);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(ref.data), storedLength), clData);
}

void TestContainerCodec::dmrItemDecoding_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<QByteArray>("items"); // raw item bytes after the head
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("secondSlot"); // -1: none; else that slot holds kind 2, 8 bits, 0xEE
    const QByteArray clSecond = QByteArray::fromHex("020008EE");

    QTest::newRow("v3 kind 39 with bit 6 and length 72")
        << 3 << (QByteArray::fromHex("274048") + Pattern(72, 5)) << 1 << 6 << 39 << 576 << 0 << 0
        << Pattern(72, 5) << -1;
    QTest::newRow("v3 kind above 39 reads as 39")
        << 3 << (QByteArray::fromHex("C84003") + Pattern(3, 6) + clSecond) << 2 << 6 << 39 << 24
        << 0 << 0 << Pattern(3, 6) << 4;
    QTest::newRow("v3 length cut to the kind's maximum")
        << 3 << (QByteArray::fromHex("030028") + Pattern(3, 7) + clSecond) << 2 << 0 << 3 << 24 << 0
        << 0 << Pattern(3, 7) << 4;
    QTest::newRow("v3 high flag and item flags")
        << 3 << (QByteArray::fromHex("05BF0A") + Pattern(2, 8)) << 1 << 3 << 5 << 10 << 1 << 0x3F
        << Pattern(2, 8) << -1;
    QTest::newRow("v3 count above 7 reads 7 items")
        << 3 << (clSecond + QByteArray(30, '\x01')) << 9 << 4 << 2 << 8 << 0 << 0
        << QByteArray("\xEE", 1) << -1;
    QTest::newRow("v2 high flag keeps six flag bits")
        << 2 << (QByteArray::fromHex("05950A") + Pattern(2, 8)) << 1 << 3 << 5 << 10 << 1 << 0x15
        << Pattern(2, 8) << -1;
    QTest::newRow("v2 without high flag keeps the byte")
        << 2 << (QByteArray::fromHex("05150A") + Pattern(2, 8)) << 1 << 3 << 5 << 10 << 0 << 0x15
        << Pattern(2, 8) << -1;
    QTest::newRow("v2 length cut to the kind's maximum")
        << 1 << (QByteArray::fromHex("0200FF") + Pattern(3, 9) + clSecond) << 2 << 4 << 2 << 8 << 0
        << 0 << QByteArray("\xEE", 1) << -1;
    // Bit 6 or kind 39 in an old file: the item is announced, nothing is consumed,
    // and the next item is read from the same place.
    QTest::newRow("v2 bit 6 consumes nothing")
        << 2 << (QByteArray::fromHex("084110") + Pattern(2, 10)) << 1 << 5 << 8 << 16 << 0 << 0x41
        << QByteArray() << -1;
    QTest::newRow("v2 kind 39 consumes nothing")
        << 2 << (QByteArray::fromHex("270040") + Pattern(8, 11)) << 1 << 6 << 39 << 64 << 0 << 0
        << QByteArray() << -1;
    QTest::newRow("v1 kind 39 twice reads the same place")
        << 1 << (QByteArray::fromHex("270010") + clSecond) << 2 << 6 << 39 << 16 << 0 << 0
        << QByteArray() << -1;
    QTest::newRow("v2 count above 6 reads 6 items")
        << 2 << (clSecond.repeated(6) + QByteArray::fromHex("00")) << 7 << 4 << 2 << 8 << 0 << 0
        << QByteArray("\xEE", 1) << -1;
}

void TestContainerCodec::dmrItemDecoding() {
    QFETCH(int, version);
    QFETCH(QByteArray, items);
    QFETCH(int, count);
    QFETCH(int, slot);
    QFETCH(int, kind);
    QFETCH(int, bits);
    QFETCH(int, high);
    QFETCH(int, flags);
    QFETCH(QByteArray, data);
    QFETCH(int, secondSlot);

    DmrBody clBody;
    clBody.withTimeslot = version >= 3;
    clBody.burstKind = 1;
    clBody.itemCount = count;
    clBody.trailing = items;
    DmrTimeslotMemory clMemory;
    Decoding clRead(Record(RECORD_DMR, {}, DmrBodyBytes(clBody)), version, clMemory);
    QCOMPARE(ActionName(clRead.outcome.action), "Deliver");
    const DmrConstItemRef ref = DmrItemAt(std::as_const(clRead.area.dmr), slot);
    QCOMPARE(int(ref.item->itemKind), kind);
    QCOMPARE(int(ref.item->bitCount), bits);
    QCOMPARE(int(ref.item->highFlag), high);
    QCOMPARE(int(ref.item->itemFlags), flags);
    QByteArray clExpected = data;
    clExpected.append(QByteArray(int(ref.capacity) - data.size(), '\0'));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(ref.data), int(ref.capacity)).toHex(),
             clExpected.toHex());
    if (secondSlot >= 0) {
        const DmrConstItemRef second = DmrItemAt(std::as_const(clRead.area.dmr), secondSlot);
        QCOMPARE(second.item->itemKind, 2u);
        QCOMPARE(int(second.item->bitCount), 8);
        QCOMPARE(int(second.data[0]), 0xEE);
    }
}

void TestContainerCodec::dmrTimeslot_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<QList<int>>("burstKinds");
    QTest::addColumn<QList<int>>("timeslots");
    using L = QList<int>;
    QTest::newRow("v2 1, 2, 3") << 2 << L{1, 2, 3} << L{0, 1, 1};
    QTest::newRow("v1 1, 2, 3") << 1 << L{1, 2, 3} << L{0, 1, 1};
    QTest::newRow("2 before any 1") << 2 << L{2, 3, 2} << L{0, 0, 0};
    QTest::newRow("1 resets the memory") << 2 << L{1, 2, 1, 3} << L{0, 1, 0, 0};
    QTest::newRow("other kinds repeat the memory")
        << 1 << L{1, 5, 2, 7, 0, 1, 9} << L{0, 0, 1, 1, 1, 0, 0};
}

void TestContainerCodec::dmrTimeslot() {
    QFETCH(int, version);
    QFETCH(QList<int>, burstKinds);
    QFETCH(QList<int>, timeslots);
    DmrTimeslotMemory clMemory;
    for (int i = 0; i < burstKinds.size(); ++i) {
        DmrBody clBody;
        clBody.withTimeslot = false;
        clBody.burstKind = uint8_t(burstKinds[i]);
        Decoding clRead(Record(RECORD_DMR, {}, DmrBodyBytes(clBody)), version, clMemory);
        QCOMPARE(ActionName(clRead.outcome.action), "Deliver");
        QCOMPARE(int(clRead.area.dmr.burstKind), burstKinds[i]);
        QCOMPARE(int(clRead.area.dmr.timeslot), timeslots[i]);
    }
}

void TestContainerCodec::dmrTimeslotMemoryIsPerReader() {
    auto oldRecord = [](uint8_t lBurstKind) {
        DmrBody clBody;
        clBody.withTimeslot = false;
        clBody.burstKind = lBurstKind;
        return Record(RECORD_DMR, {}, DmrBodyBytes(clBody));
    };
    DmrTimeslotMemory clFirst;
    DmrTimeslotMemory clSecond;
    QCOMPARE(int(Decoding(oldRecord(1), 2, clFirst).area.dmr.timeslot), 0);
    QCOMPARE(int(Decoding(oldRecord(2), 2, clFirst).area.dmr.timeslot), 1);
    QCOMPARE(int(Decoding(oldRecord(3), 2, clSecond).area.dmr.timeslot), 0);

    // A version-3 record carries its timeslot and leaves the memory alone.
    DmrBody clNew;
    clNew.timeslot = 1;
    clNew.burstKind = 1;
    QCOMPARE(
        int(Decoding(Record(RECORD_DMR, {}, DmrBodyBytes(clNew)), 3, clSecond).area.dmr.timeslot),
        1);
    QCOMPARE(int(Decoding(oldRecord(3), 2, clSecond).area.dmr.timeslot), 0);
    QCOMPARE(int(Decoding(oldRecord(3), 1, clFirst).area.dmr.timeslot), 1);
}

void TestContainerCodec::versionRules_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("extended");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("planResult");
    QTest::addColumn<QByteArray>("frame"); // that type as a version-3 writer would lay it out
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("consumed");

    TetraBody clTetra;
    const QByteArray clGsm = Record(RECORD_GSM, {}, GsmBodyBytes({}));
    const QByteArray clAux = Record(RECORD_TETRA_AUX, {}, TetraBodyBytes(clTetra, TetraLayout::V2));
    clTetra.extended = 1;
    const QByteArray clExt =
        Record(RECORD_TETRA_EXTENDED, {}, TetraBodyBytes(clTetra, TetraLayout::Extended));
    const QByteArray clPlainV1 = Record(RECORD_TETRA, {}, TetraBodyBytes({}, TetraLayout::V1));
    DmrBody clOldDmr;
    clOldDmr.withTimeslot = false;
    const QByteArray clDmrV1 = Record(RECORD_DMR, {}, DmrBodyBytes(clOldDmr));
    const QByteArray clNotice = Record(RECORD_NOTICE, {}, NoticeBodyBytes(1, 2, "x"));

    QTest::newRow("gsm v1") << 4 << 0 << 1 << 4 << clGsm << kDamaged << 10;
    QTest::newRow("gsm v2") << 4 << 0 << 2 << 4 << clGsm << kDamaged << 10;
    QTest::newRow("gsm v3") << 4 << 0 << 3 << 0 << clGsm << kDeliver << int(clGsm.size());
    QTest::newRow("aux v1") << 3 << 0 << 1 << 4 << clAux << kDamaged << 10;
    QTest::newRow("aux v2") << 3 << 0 << 2 << 0 << clAux << kDeliver << int(clAux.size());
    QTest::newRow("extended v1") << 0 << 1 << 1 << 4 << clExt << kDamaged << int(clExt.size());
    QTest::newRow("extended v2") << 0 << 1 << 2 << 0 << clExt << kDeliver << int(clExt.size());
    QTest::newRow("tetra v1") << 0 << 0 << 1 << 0 << clPlainV1 << kDeliver << int(clPlainV1.size());
    QTest::newRow("dmr v1") << 1 << 0 << 1 << 0 << clDmrV1 << kDeliver << int(clDmrV1.size());
    QTest::newRow("notice v1") << 20 << 0 << 1 << 0 << clNotice << kDeliver << int(clNotice.size());
    QTest::newRow("version 0") << 2 << 0 << 0 << 4 << QByteArray() << 0 << 0;
    QTest::newRow("version 4") << 2 << 0 << 4 << 4 << QByteArray() << 0 << 0;
}

void TestContainerCodec::versionRules() {
    QFETCH(int, kind);
    QFETCH(int, extended);
    QFETCH(int, version);
    QFETCH(int, planResult);
    QFETCH(QByteArray, frame);
    QFETCH(int, action);
    QFETCH(int, consumed);

    auto clPayload = Zeroed<DecodedPayload>();
    clPayload.tetra.extended = uint8_t(extended);
    static constexpr uint32_t kLengths[21] = {kTetraTmvLength, kDmrTmvLength, 0, kTetraTmvLength,
                                              kGsmTmvLength};
    const uint32_t lLength = kind == PAYLOAD_NOTICE ? kNoticeTmvLength : kLengths[kind];
    EncodePlan clPlan{0, 0};
    QCOMPARE(
        int(PlanRecordEncoding(MakeRecord(uint8_t(kind), lLength, &clPayload), version, clPlan)),
        planResult);
    if (frame.isEmpty())
        return;
    DmrTimeslotMemory clMemory;
    Decoding clRead(frame, version, clMemory);
    QCOMPARE(ActionName(clRead.outcome.action), ActionName(action));
    QCOMPARE(int(clRead.outcome.consumed), consumed);
}

void TestContainerCodec::encodingLimits_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("version");
    QTest::addColumn<PayloadSetup>("setup");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("recordLength");

    auto tetraBits = [](uint16_t lBits, uint8_t lExtended = 0) -> PayloadSetup {
        return [=](DecodedPayload &clP) {
            clP.tetra.bitCount = lBits;
            clP.tetra.extended = lExtended;
        };
    };
    auto gsmBits = [](uint16_t lBits) -> PayloadSetup {
        return [=](DecodedPayload &clP) { clP.gsm.bitCount = lBits; };
    };
    auto dmrItem = [](uint8_t lBurstKind, int lSlot, uint32_t lKind, uint16_t lBits,
                      uint8_t lFlags = 0) -> PayloadSetup {
        return [=](DecodedPayload &clP) {
            clP.dmr.burstKind = lBurstKind;
            SetItem(clP.dmr, lSlot, lKind, lBits, 0, lFlags);
        };
    };
    const PayloadSetup none = [](DecodedPayload &) {};
    const int T = kTetraTmvLength, D = kDmrTmvLength, G = kGsmTmvLength;

    QTest::newRow("tetra 1036 data bytes") << 0 << T << 3 << tetraBits(8288) << 0 << 65 + 1036;
    QTest::newRow("tetra 1037 data bytes") << 0 << T << 3 << tetraBits(8289) << 4 << 0;
    QTest::newRow("tetra largest bit count") << 0 << T << 3 << tetraBits(65535) << 4 << 0;
    QTest::newRow("tetra v1 1036 data bytes") << 0 << T << 1 << tetraBits(8288) << 0 << 64 + 1036;
    QTest::newRow("tetra v1 1037 data bytes") << 0 << T << 1 << tetraBits(8296) << 4 << 0;
    QTest::newRow("aux 1036 data bytes") << 3 << T << 2 << tetraBits(8288) << 0 << 65 + 1036;
    QTest::newRow("aux 1037 data bytes") << 3 << T << 3 << tetraBits(8289) << 4 << 0;
    QTest::newRow("extended 1036 data bytes")
        << 0 << T << 3 << tetraBits(8288, 1) << 0 << 95 + 1036;
    QTest::newRow("extended 1037 data bytes") << 0 << T << 3 << tetraBits(8289, 1) << 4 << 0;
    QTest::newRow("gsm 1256 data bytes") << 4 << G << 3 << gsmBits(10048) << 0 << 97 + 1256;
    QTest::newRow("gsm 1257 data bytes") << 4 << G << 3 << gsmBits(10049) << 4 << 0;
    QTest::newRow("dmr slot 0 over its maximum") << 1 << D << 3 << dmrItem(1, 0, 3, 25) << 4 << 0;
    QTest::newRow("dmr slot 0 over its maximum, not stored")
        << 1 << D << 3 << dmrItem(2, 0, 3, 25) << 0 << 66;
    QTest::newRow("dmr slot 1 over its maximum") << 1 << D << 3 << dmrItem(1, 1, 6, 73) << 4 << 0;
    QTest::newRow("dmr slot 2 over its maximum") << 1 << D << 3 << dmrItem(1, 2, 1, 17) << 4 << 0;
    QTest::newRow("dmr slot 3 over its maximum") << 1 << D << 3 << dmrItem(1, 3, 5, 145) << 4 << 0;
    QTest::newRow("dmr slot 4 over its maximum") << 1 << D << 3 << dmrItem(1, 4, 2, 25) << 4 << 0;
    QTest::newRow("dmr slot 5 over its maximum") << 1 << D << 3 << dmrItem(1, 5, 8, 217) << 4 << 0;
    QTest::newRow("dmr slot 6 over its maximum") << 1 << D << 3 << dmrItem(1, 6, 39, 577) << 4 << 0;
    QTest::newRow("dmr slot 5 at its maximum")
        << 1 << D << 3 << dmrItem(1, 5, 8, 216) << 0 << 66 + 3 + 27;
    QTest::newRow("dmr kind in another slot") << 1 << D << 3 << dmrItem(1, 0, 6, 8) << 4 << 0;
    QTest::newRow("dmr kind 39 outside slot 6") << 1 << D << 3 << dmrItem(1, 5, 39, 8) << 4 << 0;
    QTest::newRow("dmr kind 40") << 1 << D << 3 << dmrItem(1, 6, 40, 8) << 4 << 0;
    QTest::newRow("dmr v2 item flags with bit 6")
        << 1 << D << 2 << dmrItem(1, 3, 5, 8, 0x40) << 4 << 0;
    QTest::newRow("dmr v2 item flags with bit 7")
        << 1 << D << 2 << dmrItem(1, 3, 5, 8, 0x80) << 4 << 0;
    QTest::newRow("dmr v3 item flags cut to six bits")
        << 1 << D << 3 << dmrItem(1, 3, 5, 8, 0xC0) << 0 << 66 + 3 + 1;
    QTest::newRow("dmr v2 kind 39 left out") << 1 << D << 2 << dmrItem(1, 6, 39, 576) << 0 << 65;
    QTest::newRow("tetra length 1135") << 0 << T - 1 << 3 << none << 4 << 0;
    QTest::newRow("dmr length 297") << 1 << D + 1 << 3 << none << 4 << 0;
    QTest::newRow("aux length 0") << 3 << 0 << 3 << none << 4 << 0;
    QTest::newRow("gsm length 1000") << 4 << 1000 << 3 << none << 4 << 0;
    QTest::newRow("notice length 139") << 20 << 139 << 3 << none << 4 << 0;
    QTest::newRow("notice") << 20 << 140 << 3 << none << 0 << 169;
    QTest::newRow("generic at the record limit") << 2 << 131072 - 33 << 3 << none << 0 << 131072;
    QTest::newRow("generic over the record limit") << 2 << 131072 - 32 << 3 << none << 7 << 0;
}

void TestContainerCodec::encodingLimits() {
    QFETCH(int, kind);
    QFETCH(int, length);
    QFETCH(int, version);
    QFETCH(PayloadSetup, setup);
    QFETCH(int, result);
    QFETCH(int, recordLength);

    auto clPayload = Zeroed<DecodedPayload>();
    setup(clPayload);
    const bool bGeneric = kind == PAYLOAD_GENERIC;
    const QByteArray clLarge(bGeneric ? length : 0, '\x5A');
    const void *pPayload = bGeneric ? static_cast<const void *>(clLarge.constData())
                                    : static_cast<const void *>(&clPayload);
    const RawRecord clRecord = MakeRecord(uint8_t(kind), uint32_t(length), pPayload);
    const Encoded clEncoded = Encode(clRecord, version);
    QCOMPARE(int(clEncoded.result), result);
    if (result != FILE_OK)
        return;
    QCOMPARE(int(clEncoded.plan.length), recordLength);
    QCOMPARE(int(Be32At(clEncoded.bytes, 0)), recordLength);
    // What is written is read back.
    DmrTimeslotMemory clMemory;
    Decoding clRead(clEncoded.bytes, version, clMemory);
    QCOMPARE(ActionName(clRead.outcome.action), "Deliver");
    QCOMPARE(int(clRead.outcome.consumed), recordLength);
}

void TestContainerCodec::decodeOutcomes_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("notices");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("consumed");

    auto add = [](const char *pName, const QByteArray &clFrame, int lVersion, int lAction,
                  int lConsumed, bool bNotices = true) {
        QTest::newRow(pName) << clFrame << lVersion << bNotices << lAction << lConsumed;
    };
    auto tetra = [](uint8_t lType, TetraLayout enLayout, uint16_t lBits, int lDataBytes) {
        TetraBody clBody;
        clBody.extended = 1;
        clBody.bitCount = lBits;
        clBody.data = Pattern(lDataBytes, 3);
        return Record(lType, {}, TetraBodyBytes(clBody, enLayout));
    };
    auto gsm = [](uint16_t lBits, int lDataBytes) {
        GsmBody clBody;
        clBody.bitCount = lBits;
        clBody.data = Pattern(lDataBytes, 4);
        return Record(RECORD_GSM, {}, GsmBodyBytes(clBody));
    };
    auto dmr = [](bool bV3, int lCount, const QByteArray &clItems) {
        DmrBody clBody;
        clBody.withTimeslot = bV3;
        clBody.burstKind = 1;
        clBody.itemCount = lCount;
        clBody.trailing = clItems;
        return Record(RECORD_DMR, {}, DmrBodyBytes(clBody));
    };
    const QByteArray clGeneric = Record(RECORD_GENERIC, {}, "abc");
    auto flagged = [](QByteArray clBytes, uint8_t lFlag) {
        clBytes[5] = char(lFlag);
        return clBytes;
    };
    using V = TetraLayout;
    // Damaged or delivered with the whole frame consumed.
    auto addWhole = [&](const char *pName, const QByteArray &clFrame, int lVersion, int lAction,
                        bool bNotices = true) {
        add(pName, clFrame, lVersion, lAction, int(clFrame.size()), bNotices);
    };

    addWhole("tetra data one byte short", tetra(3, V::V2, 16, 1), 3, kDamaged);
    addWhole("tetra data one byte long", tetra(3, V::V2, 16, 3), 3, kDamaged);
    addWhole("tetra v1 data read one byte early", tetra(3, V::V2, 16, 2), 1, kDamaged);
    addWhole("tetra body shorter than its head", Record(3, {}, QByteArray(31, '\0')), 3, kDamaged);
    addWhole("tetra 1036 data bytes", tetra(3, V::V2, 8288, 1036), 3, kDeliver);
    addWhole("tetra 1037 data bytes", tetra(3, V::V2, 8289, 1037), 3, kDamaged);
    addWhole("aux data wrong size", tetra(6, V::V2, 8, 0), 2, kDamaged);
    addWhole("aux 1037 data bytes", tetra(6, V::V2, 8296, 1037), 3, kDamaged);
    addWhole("extended body of 61 bytes", Record(8, {}, QByteArray(61, '\0')), 3, kDamaged);
    addWhole("extended body of 62 bytes", Record(8, {}, QByteArray(62, '\0')), 3, kDeliver);
    addWhole("extended data wrong size", tetra(8, V::Extended, 9, 1), 2, kDamaged);
    addWhole("extended 1037 data bytes", tetra(8, V::Extended, 8289, 1037), 3, kDamaged);
    addWhole("gsm body of 63 bytes", Record(9, {}, QByteArray(63, '\0')), 3, kDamaged);
    addWhole("gsm data wrong size", gsm(8, 2), 3, kDamaged);
    addWhole("gsm 1256 data bytes", gsm(10048, 1256), 3, kDeliver);
    addWhole("gsm 1257 data bytes", gsm(10049, 1257), 3, kDamaged);
    addWhole("dmr v3 body shorter than its head", Record(5, {}, QByteArray(32, '\0')), 3, kDamaged);
    addWhole("dmr v2 body shorter than its head", Record(5, {}, QByteArray(31, '\0')), 2, kDamaged);
    addWhole("dmr item overruns the body", dmr(true, 1, QByteArray::fromHex("050010AA")), 3,
             kDamaged);
    addWhole("dmr v2 item overruns the body", dmr(false, 1, QByteArray::fromHex("050010AA")), 2,
             kDamaged);
    addWhole("dmr item head cut short", dmr(true, 2, QByteArray::fromHex("020008EE0200")), 3,
             kDamaged);
    addWhole("dmr v3 item kind 0", dmr(true, 1, QByteArray::fromHex("000000")), 3, kDamaged);
    addWhole("dmr v2 item kind 0", dmr(false, 1, QByteArray::fromHex("000000")), 2, kDamaged);
    addWhole("dmr v1 item kind 40", dmr(false, 1, QByteArray::fromHex("280000")), 1, kDamaged);
    addWhole("dmr trailing bytes skipped", dmr(true, 1, QByteArray::fromHex("020008EE0102")), 3,
             kDeliver);
    addWhole("type 0", Record(0, {}, "abc"), 3, kDamaged);
    addWhole("nonzero flag", flagged(clGeneric, 1), 3, kDamaged);
    addWhole("nonzero flag on an unknown type", flagged(Record(7, {}, "abc"), 0x80), 3, kDamaged);
    add("generic of 10 bytes", Frame(2, {}), 3, kDamaged, 10);
    add("generic of 32 bytes", Frame(2, QByteArray(22, '\0')), 3, kDamaged, 32);
    add("generic of 33 bytes", Frame(2, QByteArray(23, '\0')), 3, kDeliver, 33);
    add("tetra of 32 bytes", Frame(3, QByteArray(22, '\0')), 3, kDamaged, 32);
    add("notice of 20 bytes", Frame(4, QByteArray(10, '\0')), 3, kDamaged, 20);
    add("dmr of 11 bytes", Frame(5, QByteArray(1, '\0')), 3, kDamaged, 11);
    add("aux of 32 bytes", Frame(6, QByteArray(22, '\0')), 3, kDamaged, 32);
    add("extended of 32 bytes", Frame(8, QByteArray(22, '\0')), 3, kDamaged, 32);
    add("gsm of 32 bytes", Frame(9, QByteArray(22, '\0')), 3, kDamaged, 32);
    add("aux in a v1 file", tetra(6, V::V2, 0, 0), 1, kDamaged, 10);
    add("gsm in a v2 file", gsm(0, 0), 2, kDamaged, 10);
    addWhole("extended in a v1 file", tetra(8, V::Extended, 0, 0), 1, kDamaged);
    add("type 1", Record(1, {}, "abc"), 3, kGoOn, 10);
    add("type 7", Record(7, {}, "abc"), 3, kGoOn, 10);
    add("type 10", Record(10, {}, "abc"), 3, kGoOn, 10);
    add("type 255 of 10 bytes", Frame(255, {}), 3, kGoOn, 10);
    const QByteArray clNotice = Record(4, {}, NoticeBodyBytes(10045, 0, "text"));
    const QByteArray clShortNotice = Record(4, {}, QByteArray(135, '\0'));
    addWhole("notice delivered", clNotice, 3, kDeliver);
    addWhole("notice not asked for", clNotice, 3, kGoOn, false);
    addWhole("notice short body", clShortNotice, 3, kDamaged);
    addWhole("notice short body not asked for", clShortNotice, 3, kGoOn, false);
    addWhole("notice longer body", Record(4, {}, QByteArray(200, '\0')), 3, kDeliver);
}

void TestContainerCodec::decodeOutcomes() {
    QFETCH(QByteArray, frame);
    QFETCH(int, version);
    QFETCH(bool, notices);
    QFETCH(int, action);
    QFETCH(int, consumed);
    QCOMPARE(int(Be32At(frame, 0)), frame.size());
    QCOMPARE(Be32At(frame, 6), StoredChecksum(frame.mid(10)));

    DmrTimeslotMemory clMemory;
    Decoding clRead(frame, version, clMemory, notices);
    QCOMPARE(ActionName(clRead.outcome.action), ActionName(action));
    QCOMPARE(int(clRead.outcome.consumed), consumed);
    if (clRead.outcome.action == DecodeAction::Deliver && frame.at(4) == RECORD_NOTICE) {
        QCOMPARE(int(clRead.record.payloadKind), int(PAYLOAD_NOTICE));
        QCOMPARE(clRead.record.payloadLength, kNoticeTmvLength);
    }
}

void TestContainerCodec::decodeClearsEarlierRecord() {
    DmrTimeslotMemory clMemory;
    RawRecord clRecord = Zeroed<RawRecord>();
    DecodedPayload clArea;
    std::memset(&clArea, 0x77, sizeof(clArea));
    auto decode = [&](const QByteArray &clFrame, int lVersion) {
        const ExactBuffer clBuffer = Exact(clFrame);
        return DecodeRecord(clBuffer.data(), uint32_t(clBuffer.size()), lVersion, true, clRecord,
                            clArea, clMemory);
    };
    auto zeroFrom = [&](size_t lOffset) {
        for (size_t i = lOffset; i < sizeof(clArea); ++i)
            if (clArea.bytes[i] != 0)
                return false;
        return true;
    };

    GsmBody clGsm;
    clGsm.bitCount = 1256 * 8;
    clGsm.data = Pattern(1256, 1);
    QCOMPARE(ActionName(decode(Record(9, {}, GsmBodyBytes(clGsm)), 3).action), "Deliver");

    TetraBody clTetra;
    clTetra.bitCount = 8;
    clTetra.data = "\x42";
    QCOMPARE(ActionName(decode(Record(3, {}, TetraBodyBytes(clTetra, TetraLayout::V2)), 3).action),
             "Deliver");
    QCOMPARE(int(clArea.tetra.data[0]), 0x42);
    QVERIFY(zeroFrom(offsetof(TetraTmv, data) + 1));

    DmrBody clDmr;
    clDmr.withTimeslot = true;
    QCOMPARE(ActionName(decode(Record(5, {}, DmrBodyBytes(clDmr)), 3).action), "Deliver");
    QVERIFY(zeroFrom(offsetof(DmrTmv, item0)));

    // A damaged record leaves nothing of the last good one behind either.
    std::memset(&clArea, 0x77, sizeof(clArea));
    QCOMPARE(ActionName(decode(Record(0, {}, "x"), 3).action), "Damaged");
    QVERIFY(zeroFrom(0));
}

// Random damage to good frames, with the checksum fixed up so the body is
// decoded: whatever comes out stays within the frame and, when delivered, is
// accepted by the writer again.
void TestContainerCodec::mutatedFramesStayInside() {
    QList<QByteArray> clSeeds;
    TetraBody clTetra;
    clTetra.bitCount = 20;
    clTetra.data = Pattern(3, 1);
    clSeeds << Record(3, {}, TetraBodyBytes(clTetra, TetraLayout::V2))
            << Record(3, {}, TetraBodyBytes(clTetra, TetraLayout::V1))
            << Record(6, {}, TetraBodyBytes(clTetra, TetraLayout::V2))
            << Record(8, {}, TetraBodyBytes(clTetra, TetraLayout::Extended));
    GsmBody clGsm;
    clGsm.bitCount = 12;
    clGsm.data = Pattern(2, 2);
    clSeeds << Record(9, {}, GsmBodyBytes(clGsm));
    for (bool bV3 : {true, false}) {
        DmrBody clDmr;
        clDmr.withTimeslot = bV3;
        clDmr.burstKind = 1;
        clDmr.items = {{4, 0x80, 24, Pattern(3, 1)},
                       {39, 0x40, 4, Pattern(4, 2)},
                       {8, 0x01, 16, Pattern(2, 3)}};
        clSeeds << Record(5, {}, DmrBodyBytes(clDmr));
    }
    clSeeds << Record(4, {}, NoticeBodyBytes(1, 2, "n")) << Record(2, {}, "abc");

    QRandomGenerator clRandom(20261201);
    DmrTimeslotMemory clMemory;
    for (int lRound = 0; lRound < 20000; ++lRound) {
        QByteArray clFrame = clSeeds[int(clRandom.bounded(int(clSeeds.size())))];
        const int lChanges = 1 + int(clRandom.bounded(4));
        for (int i = 0; i < lChanges; ++i) {
            const int lAt = int(clRandom.bounded(int(clFrame.size())));
            if (lAt == 4)
                clFrame[4] = char(2 + clRandom.bounded(8));
            else if (lAt >= 10)
                clFrame[lAt] = char(clRandom.bounded(256));
        }
        if (clRandom.bounded(4) == 0)
            clFrame.truncate(10 + int(clRandom.bounded(int(clFrame.size()) - 9)));
        else if (clRandom.bounded(8) == 0)
            clFrame.append(Pattern(int(clRandom.bounded(80)), lRound));
        clFrame = Frame(uint8_t(clFrame.at(4)), clFrame.mid(10));

        const int lVersion = 1 + int(clRandom.bounded(3));
        Decoding clRead(clFrame, lVersion, clMemory);
        const uint32_t lLength = uint32_t(clFrame.size());
        if (clRead.outcome.consumed != lLength && clRead.outcome.consumed != 10)
            QFAIL(qPrintable("consumed " + QString::number(clRead.outcome.consumed) + " of " +
                             clFrame.toHex()));
        if (clRead.outcome.action != DecodeAction::Deliver)
            continue;
        EncodePlan clPlan{0, 0};
        if (PlanRecordEncoding(clRead.record, 3, clPlan) != FILE_OK)
            QFAIL(qPrintable("delivered but not writable: " + clFrame.toHex() + " version " +
                             QString::number(lVersion)));
    }
}

BVF_TEST_MAIN(TestContainerCodec)
#include "test_container_codec.moc"
