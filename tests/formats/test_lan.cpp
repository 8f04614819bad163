// Reading ".lan" and ".tmw" recordings made by the LanBytes and TmwBytes
// encoders: generated recordings held field by field against the TMW model;
// how little one damaged byte costs; the stream mode, entry, sub-entry and
// frame framing, buffer boundaries, online reading, damaged input, read
// errors, and the answers both TMW readers give.
#include "ContainerTestKit.h"
#include "LanBytes.h"
#include "OpenFileFormat.h"
#include "PayloadChecks.h"
#include "ProprietaryTmwFileFormatV1.h"
#include "ReaderDiagnostics.h"
#include "TestRegistry.h"
#include "TmwBytes.h"
#include "TmwFileFormatV1.h"
#include "TmwModel.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>

using namespace ContainerTestKit;

namespace {

constexpr int kBufferSize = int(CTmwFileFormatV1::kReadBufferSize);
using CNoise = TmwEncoders::CSequenceRandom;

QByteArray ToBytes(const LanBytes::Bytes &clBytes) {
    return QByteArray(reinterpret_cast<const char *>(clBytes.data()), qsizetype(clBytes.size()));
}

LanBytes::Bytes FromBytes(const QByteArray &clBytes) {
    return LanBytes::Bytes(clBytes.begin(), clBytes.end());
}

// Every record described, with bWhole its payload hashed too, and the result
// that ended reading.
QStringList Trace(CVirtualFileFormat &clReader, int lMaxCalls = 1000000, bool bWhole = false) {
    QStringList clTrace;
    RawRecord r{};
    FileResult enResult = FILE_OK;
    for (int i = 0; i < lMaxCalls && (enResult = clReader.ReadData(r)) == FILE_OK; ++i)
        clTrace << DescribeRecord(r) +
                       (bWhole ? QString(" %1").arg(qHash(QByteArrayView(
                                     static_cast<const char *>(r.payload), r.payloadLength)))
                               : QString());
    return clTrace << QString::number(int(enResult));
}

// A downlink burst of entry type 6 with its own time in seconds since 2000;
// its bytes hold neither "!" nor 0x0D nor 0x7F.
LanBytes::FrameEntryFields StampFields(uint32_t lSeconds) {
    LanBytes::FrameEntryFields clFields;
    clFields.carrier = 1000;
    clFields.band = 4;
    clFields.burstCode = 1;
    clFields.entryType = 6;
    clFields.frameFlags = LanBytes::kBlock1Valid | LanBytes::kBlock2Valid;
    for (size_t i = 0; i < LanBytes::kFrameDataSize; ++i)
        clFields.data[i] = uint8_t(0xA0 + i);
    LanBytes::SetSecondsSince2000(clFields, lSeconds, 0);
    return clFields;
}

QByteArray EntryOf(const LanBytes::FrameEntryFields &clFields, int32_t lStated = -1,
                   uint8_t lTerminator = LanBytes::kEntryTerminator) {
    return ToBytes(LanBytes::Entry(LanBytes::FrameEntryBody(clFields), lStated, lTerminator));
}

QByteArray StampEntry(uint32_t lSeconds) {
    return EntryOf(StampFields(lSeconds));
}

QString Stamp(uint32_t lSeconds) {
    return QString("T:%1").arg(quint64(lSeconds) + LanBytes::kEpoch2000);
}

// A downlink burst of entry type 6 at hyperframe 1 whose seconds since 2000
// tell it apart in a trace.
QByteArray StampedFrame(uint32_t lSeconds, uint8_t lBurstCode = 1, uint8_t lEntryType = 6) {
    TmwBytes::FrameFields clFields;
    clFields.carrier = 1000;
    clFields.band = 4;
    clFields.burstCode = lBurstCode;
    clFields.entryType = lEntryType;
    clFields.hyperframe = 1;
    clFields.dataFlags = TmwBytes::kBlock1Valid | TmwBytes::kBlock2Valid;
    TmwBytes::SetSecondsWithMilliseconds(clFields, lSeconds, 0);
    return ToBytes(TmwBytes::Frame(clFields));
}

// A DMR frame of kind 2 named by its second, 2024-03-01 12:00:SS.
LanBytes::DmrFrameFields NamedFrame(uint8_t lName, uint8_t lBurstCode = 1) {
    LanBytes::DmrFrameFields clFields;
    clFields.burstKindCode = lBurstCode;
    clFields.timeWord = LanBytes::TimeWord({2024, 3, 1, 12, 0, lName, 0});
    return clFields;
}

QByteArray DmrNamed(uint8_t lName, size_t lItemsBytes = 0) {
    LanBytes::DmrFrameFields clFields = NamedFrame(lName);
    if (lItemsBytes > 0)
        clFields.items = {LanBytes::DmrItem(9, uint16_t(lItemsBytes * 8), 0x30)};
    return ToBytes(LanBytes::DmrFrame(clFields));
}

QString Named(int lName, int lTimeslot = 0) {
    return QString("D:%1/%2").arg(1709294400 + lName).arg(lTimeslot);
}

// The frame with byte2 chosen so that its CRC is lCrc, and the check byte
// lCheck.
QByteArray FrameWithCrc(uint8_t lCrc, uint8_t lCheck) {
    LanBytes::DmrFrameFields clFields = NamedFrame(9);
    clFields.check = LanBytes::DmrCheck::Given;
    clFields.givenCheck = lCheck;
    for (int lByte2 = 0; lByte2 < 256; ++lByte2) {
        clFields.byte2 = uint8_t(lByte2);
        const LanBytes::Bytes clFrame = LanBytes::DmrFrame(clFields);
        if (LanBytes::FrameCrc(clFrame) == lCrc)
            return ToBytes(clFrame);
    }
    return {};
}

// Frame bytes changed at lAt to lValue, the check byte set to their CRC.
QByteArray Resealed(LanBytes::Bytes clFrame, size_t lAt, uint8_t lValue) {
    clFrame[lAt] = lValue;
    const uint8_t lCrc = LanBytes::FrameCrc(clFrame);
    clFrame[3] = lCrc == 0 ? 255 : lCrc;
    return ToBytes(clFrame);
}

} // namespace

class TestLan : public QObject {
    Q_OBJECT

  private slots:
    void framing_data();
    void framing();
    void bufferBoundary();
    void onlineChunksReadTheSame_data();
    void onlineChunksReadTheSame();
    void readErrorAnswers5();
    void tmwFraming_data();
    void tmwFraming();
    void tmwOnlinePartialFrame();
    void readerAnswers_data();
    void readerAnswers();
    void reportedDamage();
    void readsAsTheModel_data();
    void readsAsTheModel();
    void oneDamagedByteCostsOnlyItsUnits_data();
    void oneDamagedByteCostsOnlyItsUnits();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QTemporaryDir m_clDir;
};

// The records of hand-made files, the result that ends them and the stream
// mode chosen ("3 m1": TETRA, "3 m2": DMR).
void TestLan::framing_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("trace");
    const QStringList clT123 = {Stamp(1), Stamp(2), Stamp(3), "3 m1"};
    const QStringList clT13 = {Stamp(1), Stamp(3), "3 m1"};
    const QStringList clOuterSkipped = {Named(1), Named(2), "3 m2"};
    const QStringList clInnerFound = {Named(1), Named(5), Named(2), "3 m2"};
    const QStringList clOne = {Named(1), Named(9), Named(2), "3 m2"};
    auto row = [](const char *pName, const QByteArray &clBytes, const QStringList &clTrace) {
        QTest::newRow(pName) << clBytes << clTrace;
    };
    // An entry between entries 1 and 3, a frame between frames 1 and 2.
    auto entry = [&](const char *pName, const QByteArray &clEntry, bool bKept) {
        row(pName, StampEntry(1) + clEntry + StampEntry(3), bKept ? clT123 : clT13);
    };
    auto frame = [&](const char *pName, const QByteArray &clFrame, const QStringList &clTrace) {
        row(pName, DmrNamed(1) + clFrame + DmrNamed(2), clTrace);
    };
    auto dmr = [&](const char *pName, const LanBytes::DmrFrameFields &f, const QStringList &t) {
        frame(pName, ToBytes(LanBytes::DmrFrame(f)), t);
    };

    row("first marker 0x7F reads as DMR", DmrNamed(1) + StampEntry(1) + DmrNamed(2),
        {Named(1), Named(2), "3 m2"});
    row("first marker \"!\" reads as TETRA", StampEntry(1) + DmrNamed(1) + StampEntry(2),
        {Stamp(1), Stamp(2), "3 m1"});
    // A marker that begins nothing decides nothing.
    row("a stray \"!\" before DMR frames", QByteArray("!\x00\x05", 3) + DmrNamed(1),
        {Named(1), "3 m2"});
    row("a stray 0x7F before TETRA entries", QByteArray("\x7F\x00\x30", 3) + StampEntry(1),
        {Stamp(1), "3 m1"});
    row("a DMR frame of another kind first", QByteArray::fromHex("7f0015") + DmrNamed(3),
        {Named(3), "3 m2"});
    row("TETRA entries without records first",
        ToBytes(LanBytes::Entry({0x01, 0x7F, 0x00, 0x15})) + StampEntry(2) + DmrNamed(1),
        {Stamp(2), "3 m1"});
    // A "!" written into a damaged entry, whose length reaches the terminator
    // of a later entry, is not believed.
    QByteArray clMadeUp = StampEntry(2);
    const QByteArray clLater = StampEntry(3) + StampEntry(4) + StampEntry(5);
    const int lMadeUpBody = int(clMadeUp.size() + clLater.size()) - 14;
    clMadeUp[0] = '\0';
    clMadeUp.replace(10, 3, QByteArray("!") + char(lMadeUpBody >> 8) + char(lMadeUpBody));
    row("an entry made up by damage swallows nothing", StampEntry(1) + clMadeUp + clLater,
        {Stamp(1), Stamp(3), Stamp(4), Stamp(5), "3 m1"});
    row("empty file", QByteArray(), {"3 m0"});
    row("only noise", QByteArray(500, '\x33'), {"3 m0"});

    LanBytes::FrameEntryFields clFields = StampFields(2);
    clFields.trailing = {0x21, 0x00, 0x01, 0x0D, 0x7F};
    entry("longer L than its fields: still converted", EntryOf(clFields), true);
    const int lReal = int(LanBytes::FrameEntryBody(StampFields(2)).size());
    entry("shorter L: lost", EntryOf(StampFields(2), lReal - 1), false);
    entry("wrong terminator: lost", EntryOf(StampFields(2), -1, 0x0A), false);
    clFields = StampFields(2);
    clFields.optionalBlock = {1, 2, 3};
    LanBytes::Bytes clBody = LanBytes::FrameEntryBody(clFields);
    clBody[17] = 0x00;
    clBody[18] = 0xC8; // M = 200
    entry("optional block reaching past L: lost", ToBytes(LanBytes::Entry(clBody)), false);
    // A bad length must not make the reader pass over a good entry.
    entry("a good entry inside a bad entry's stated length",
          QByteArray::fromHex("210050") + StampEntry(2), true);
    entry("after a mismatch, resynchronisation resumes one byte after the \"!\"",
          QByteArray::fromHex("0000210040") + StampEntry(2), true);
    entry("a stated length beyond the end of the file", QByteArray::fromHex("21ffff"), false);
    // Other kinds are skipped by their length, whatever they hold.
    entry("another entry kind", ToBytes(LanBytes::Entry({0x55, 0x21, 0x00, 0x0D})), false);
    const QByteArray clHolding = ToBytes(LanBytes::Entry(FromBytes("\x10" + StampEntry(9))));
    entry("another kind holding a whole entry", clHolding, false);
    // Once a resynchronisation has found an entry, entries are framed by their length again.
    entry("after a resynchronisation, another kind is skipped by its length",
          QByteArray(1, '\0') + StampEntry(2) + clHolding, true);

    // An extended entry of time 2: sub-entry 0 under test (data 0x40, 0x41,
    // ...) and, unless it is the last, a sub-entry of type 6 after it.
    auto sub = [&](const char *pName, uint8_t lType, int lBytes, int32_t lStated, bool bLast,
                   int lRecords, int lDataState = -1) {
        LanBytes::ExtendedEntryFields e;
        e.flags = LanBytes::kEntryTime;
        e.timeSeconds = 2 + LanBytes::kEpoch2000;
        e.statedCount = bLast ? 1 : 2;
        e.subEntries.resize(bLast ? 1 : 2);
        LanBytes::SubEntryFields &s = e.subEntries[0];
        s.channelType = lType;
        s.byteY = 16;
        s.data.resize(size_t(lBytes));
        std::iota(s.data.begin(), s.data.end(), uint8_t(0x40));
        s.statedLength = lStated;
        s.flags = lDataState < 0 ? 0 : LanBytes::kSubDataState;
        s.dataState = uint8_t(std::max(lDataState, 0));
        if (!bLast) {
            e.subEntries[1].channelType = 6;
            e.subEntries[1].data.assign(12, 0x20);
        }
        QStringList clTrace = {Stamp(1), Stamp(2), Stamp(2), Stamp(3), "3 m1"};
        clTrace.remove(1, 2 - lRecords);
        row(pName,
            StampEntry(1) + ToBytes(LanBytes::Entry(LanBytes::ExtendedEntryBody(e))) +
                StampEntry(3),
            clTrace);
    };
    sub("S shorter than the fields before the data: lost", 6, 12, 2, false, 0);
    sub("S reaching past the body: lost", 6, 12, 400, false, 0);
    sub("unstated, a type without a size: lost", 2, 12, 32767, false, 0);
    sub("1100 data bytes, 1036 kept", 118, 1100, -1, false, 2);
    // A length of 32767 or more is a length when the body holds that much.
    sub("unstated, at least S bytes left: S used", 6, 32763, 32767, false, 2);
    sub("unstated, nothing left, data state 1: empty", 6, 0, 32767, true, 1, 1);
    sub("unstated, nothing left, data state 0: lost", 6, 0, 32767, true, 0, 0);
    sub("unstated, nothing left, no data state: lost", 6, 0, 32767, true, 0);
    sub("unstated, less left than the type needs: lost", 6, 5, 32767, true, 0);
    sub("unstated, exactly what the type needs left", 6, 12, 32767, true, 1);

    // A frame whose bytes hold a whole good frame (named 5): stepping over the
    // outer one by its length passes the inner one over, stepping by one byte
    // finds it.
    auto holding = [](uint8_t lKind, LanBytes::DmrCheck enCheck, uint8_t lFlags = 0) {
        LanBytes::DmrFrameFields f = NamedFrame(9);
        f.frameKind = lKind;
        f.check = enCheck;
        f.optionFlags = lFlags;
        f.trailing = LanBytes::DmrFrame(NamedFrame(5));
        return f;
    };
    using LanBytes::DmrCheck;
    dmr("kind 1 with a checksum: passed over by its length", holding(1, DmrCheck::Computed),
        clOuterSkipped);
    dmr("kind 1 without a checksum: by one byte", holding(1, DmrCheck::None), clInnerFound);
    dmr("kind 2 holding a frame is one frame", holding(2, DmrCheck::None), clOne);
    dmr("option flags 0x40 with a checksum: no record, by its length",
        holding(2, DmrCheck::Computed, 0x40), clOuterSkipped);
    dmr("option flags 0x40 without a checksum: by one byte", holding(2, DmrCheck::None, 0x40),
        clInnerFound);
    LanBytes::DmrFrameFields f = holding(2, DmrCheck::Given);
    const uint8_t lCrc = LanBytes::FrameCrc(LanBytes::DmrFrame(f));
    f.givenCheck = uint8_t(lCrc == 0x10 ? 0x20 : lCrc ^ 0x10); // neither right nor 0
    dmr("wrong checksum: by one byte", f, clInnerFound);
    f = holding(2, DmrCheck::Computed);
    f.terminator = 0xFD;
    dmr("wrong terminator: by one byte", f, clInnerFound);
    f = holding(2, DmrCheck::Computed);
    f.trailing.resize(110 - 21, 0);
    dmr("length 110: by one byte", f, clInnerFound);
    f.trailing.resize(109 - 21, 0);
    dmr("length 109 is a frame", f, clOne);
    f = holding(2, DmrCheck::Computed);
    f.statedLength = 30;
    dmr("stated length short of the terminator", f, clInnerFound);

    LanBytes::Bytes clShort = LanBytes::DmrFrame(NamedFrame(9));
    clShort.erase(clShort.begin() + 19); // the item count
    frame("20 bytes: too short for the fixed fields", Resealed(clShort, 2, uint8_t(clShort.size())),
          clOuterSkipped);
    frame("options reaching the terminator: no record",
          Resealed(LanBytes::DmrFrame(NamedFrame(9)), 18, 0x3F), clOuterSkipped);
    f = NamedFrame(9);
    f.items = {LanBytes::DmrItem(1, 16)};
    f.items[0].data.resize(1);
    dmr("item reaching the terminator: no record", f, clOuterSkipped);
    f.items = {LanBytes::DmrItem(1, 16)};
    f.statedCount = 2;
    dmr("item count above the items: no record", f, clOuterSkipped);
    f.statedCount = 1;
    f.trailing = {0x00, 0x00};
    dmr("bytes after the counted items are ignored", f, clOne);
    row("marker alone at the end", DmrNamed(1) + DmrNamed(2) + QByteArray(1, char(0x7F)),
        clOuterSkipped);

    // The checksum X: 0 is none, 255 stands for a CRC of 0.
    frame("CRC 0x3C, X 0: no check", FrameWithCrc(0x3C, 0), clOne);
    frame("CRC 0x3C, X 0x3D", FrameWithCrc(0x3C, 0x3D), clOuterSkipped);
    frame("CRC 0x3C, X 255", FrameWithCrc(0x3C, 255), clOuterSkipped);
    frame("CRC 0 with X 255", FrameWithCrc(0, 255), clOne);
    frame("CRC 0 with X 0: no check", FrameWithCrc(0, 0), clOne);
    frame("CRC 0 with X 1", FrameWithCrc(0, 1), clOuterSkipped);
    // The check covers the kind byte and everything up to the terminator.
    QByteArray clChanged = FrameWithCrc(0x3C, 0x3C);
    clChanged[clChanged.size() - 2] = char(clChanged[clChanged.size() - 2] ^ 0x80);
    frame("last byte before the terminator changed", clChanged, clOuterSkipped);
    clChanged = FrameWithCrc(0x3C, 0x3C);
    clChanged[4] = 3;
    frame("kind byte changed", clChanged, clOuterSkipped);
}

void TestLan::framing() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, trace);
    const QString clstrPath = Path("framing.lan");
    QVERIFY(WriteFileBytes(clstrPath, bytes));
    CTmwFileFormatV1 clReader;
    for (int lRound = 0; lRound < 2; ++lRound) { // reopened, it starts over in the unknown mode
        QCOMPARE(Open(clReader, clstrPath), 0);
        QCOMPARE(int(clReader.Mode()), 0);
        QStringList clTrace = Trace(clReader);
        clTrace.last() += QString(" m%1").arg(int(clReader.Mode()));
        QCOMPARE(clTrace, trace);
        clReader.CloseFile();
    }
}

// An entry or frame cut by the end of the first read buffer, lBefore bytes
// of it in that buffer.
void TestLan::bufferBoundary() {
    for (const char *pShape : {"dmr", "tetra", "resync"}) {
        for (int lBefore : {1, 2, 3, 4, 20, 21, 22, 40}) {
            const bool bDmr = pShape[0] == 'd';
            QByteArray clFirst = bDmr ? DmrNamed(1) : StampEntry(1);
            const QByteArray clMiddle = bDmr ? DmrNamed(2, 20) : StampEntry(2);
            const QByteArray clLast = bDmr ? DmrNamed(3) : StampEntry(3);
            // Between TETRA entries the padding is itself an entry of another
            // kind, unless the reader has to resynchronise over it.
            for (int lPadding = kBufferSize - lBefore - int(clFirst.size());
                 pShape[0] == 't' && lPadding > 0;) {
                const int lBody = lPadding > 60004 ? 60000 : lPadding - 4;
                clFirst += ToBytes(LanBytes::Entry(LanBytes::Bytes(size_t(lBody), 0x01)));
                lPadding -= lBody + 4;
            }
            const QByteArray clFile =
                clFirst +
                QByteArray(kBufferSize - lBefore - int(clFirst.size()), bDmr ? '\0' : '\x05') +
                clMiddle + clLast;
            const QByteArray clWhere = QByteArray(pShape) + " " + QByteArray::number(lBefore);
            QVERIFY2(clFile.indexOf(clMiddle, clFirst.size()) == kBufferSize - lBefore, clWhere);
            const QString clstrPath = Path("boundary.lan");
            QVERIFY(WriteFileBytes(clstrPath, clFile));
            CTmwFileFormatV1 clReader;
            QCOMPARE(Open(clReader, clstrPath), 0);
            QCOMPARE(Trace(clReader), bDmr ? QStringList({Named(1), Named(2), Named(3), "3"})
                                           : QStringList({Stamp(1), Stamp(2), Stamp(3), "3"}));
            QVERIFY2(clReader.RefillCount() == 2,
                     clWhere); // the middle one really was cut
            QCOMPARE(clReader.GetFileSize(false), quint64(clFile.size()));
        }
    }
}

void TestLan::onlineChunksReadTheSame_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("chunk");
    // The first well-framed entry has no records; DMR frames follow before
    // the TETRA entries that convert. However the bytes arrive, they are read
    // as TETRA, giving the records of the whole file and no others.
    const QByteArray clMixed = ToBytes(LanBytes::Entry({0x01, 0x02})) + QByteArray(5, '\x33') +
                               DmrNamed(1) + DmrNamed(2) + StampEntry(3) + DmrNamed(4) +
                               StampEntry(5);
    LanBytes::TetraSequenceSettings clTetra;
    clTetra.entryCount = 60;
    const QByteArray clTetraFile =
        ToBytes(LanBytes::TetraFileBytes(LanBytes::RealisticTetraSequence(clTetra)));
    LanBytes::DmrSequenceSettings clDmr;
    clDmr.frameCount = 150;
    const QByteArray clDmrFile =
        ToBytes(LanBytes::DmrFileBytes(LanBytes::RealisticDmrSequence(clDmr)));
    QByteArray clDamaged = clTetraFile;
    for (int i = 0; i < clDamaged.size(); i += 97)
        clDamaged[i] = char(0x21);
    // Noise of every kind of byte, noise made of the bytes that matter, and
    // lengths that reach far or nowhere end too.
    const char aMeaningful[] = {'\x21', '\x7F', '\x0D', '\xFE', '\x00',
                                '\xDE', '\xDA', '\x02', '\x15', '\xFF'};
    for (int lSize : {1, 2, 3, 20, 21, 22, 109, 110, 1000, 65539, 140000}) {
        CNoise clNoise(static_cast<uint32_t>(lSize));
        QByteArray clAny(lSize, '\0');
        QByteArray clMarkers(lSize, '\0');
        for (int i = 0; i < lSize; ++i) {
            clAny[i] = char(clNoise.Next());
            clMarkers[i] = aMeaningful[clNoise.Next() % sizeof aMeaningful];
        }
        QTest::addRow("%d noise bytes", lSize) << clAny << 70000;
        QTest::addRow("%d marker bytes", lSize) << clMarkers << 70000;
    }
    QTest::newRow("lengths of 0xFFFF everywhere")
        << QByteArray("!\xFF\xFF\x7F\xFF\xFF", 6).repeated(30000) << 70000;
    QTest::newRow("entries of length 0") << QByteArray("!\x00\x00\x0D", 4).repeated(30000) << 70000;
    for (int lChunk : {1, 7, 100, 4096}) {
        QTest::addRow("mixed, %d bytes at a time", lChunk) << clMixed << lChunk;
        QTest::addRow("TETRA, %d bytes at a time", lChunk) << clTetraFile << lChunk;
        QTest::addRow("DMR, %d bytes at a time", lChunk) << clDmrFile << lChunk;
        QTest::addRow("damaged TETRA, %d bytes at a time", lChunk) << clDamaged << lChunk;
    }
}

void TestLan::onlineChunksReadTheSame() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, chunk);
    // Filler after the bytes settles every length that reaches past them:
    // online, such an entry waits for its bytes instead of being given up.
    const QByteArray clFiller(65540, '\x33');
    const QString clstrWhole = Path("whole.lan");
    QVERIFY(WriteFileBytes(clstrWhole, bytes + clFiller));
    CTmwFileFormatV1 clWholeReader;
    QCOMPARE(Open(clWholeReader, clstrWhole), 0);
    QStringList clWhole = Trace(clWholeReader, 1000000, true);
    QCOMPARE(clWhole.takeLast(), QString("3"));

    const QString clstrPath = Path("arriving.lan");
    QVERIFY(WriteFileBytes(clstrPath, QByteArray()));
    CTmwFileFormatV1 clReader;
    QCOMPARE(Open(clReader, clstrPath, 1), 0);
    QList<QByteArray> clParts;
    for (int lAt = 0; lAt < bytes.size(); lAt += chunk)
        clParts << bytes.mid(lAt, chunk);
    QStringList clArrived;
    for (const QByteArray &clPart : clParts << clFiller) {
        QVERIFY(AppendFileBytes(clstrPath, clPart));
        QStringList clTrace = Trace(clReader, 1000000, true);
        QCOMPARE(clTrace.takeLast(), QString("8"));
        clArrived += clTrace;
    }
    QCOMPARE(clArrived, clWhole);
}

// Bytes before the first entry or frame are reported once, as stepped over;
// an entry whose framing is sound but that gives nothing to convert is
// refused, and reported with its entry kind.
void TestLan::reportedDamage() {
    auto reportsAndTrace = [this](const QByteArray &clBytes) {
        const QString clstrPath = Path("reported.lan");
        CTmwFileFormatV1 clReader;
        QStringList clReports;
        clReader.SetDiagnostics([&clReports](const StructReaderDiagnostic &d) {
            clReports << (d.kind == ReaderDamage::RefusedRecord
                              ? QString("refused %1 %2").arg(d.offset).arg(d.recordType)
                              : QString("stepped %1+%2").arg(d.offset).arg(d.length));
        });
        if (!WriteFileBytes(clstrPath, clBytes) || Open(clReader, clstrPath) != 0)
            return QStringList{"not read"};
        const QStringList clTrace = Trace(clReader);
        return clReports + clTrace;
    };
    const QByteArray clNoise(40, '\x55');
    QCOMPARE(reportsAndTrace(clNoise + StampEntry(1) + StampEntry(2)),
             QStringList({"stepped 0+40", Stamp(1), Stamp(2), "3"}));
    QCOMPARE(reportsAndTrace(clNoise + DmrNamed(1) + DmrNamed(2)),
             QStringList({"stepped 0+40", Named(1), Named(2), "3"}));
    const QString clRefused = QString("refused %1 ").arg(StampEntry(1).size());
    LanBytes::FrameEntryFields clFields = StampFields(2);
    clFields.data[LanBytes::kFrameDataSize - 1] = 0x0D; // a shorter L pointing at a 0x0D
    const int lShort = int(LanBytes::FrameEntryBody(clFields).size()) - 1;
    QCOMPARE(reportsAndTrace(StampEntry(1) + EntryOf(clFields, lShort) + StampEntry(3)),
             QStringList({clRefused + "222", Stamp(1), Stamp(3), "3"}));
    QCOMPARE(reportsAndTrace(StampEntry(1) + QByteArray::fromHex("2100000d") + StampEntry(3)),
             QStringList({clRefused + "-1", Stamp(1), Stamp(3), "3"}));
}

// Reading the process's own memory file at offset 0 fails with an
// input/output error: a read error, not the end of the file.
void TestLan::readErrorAnswers5() {
    const QString clstrPath = Path("unreadable.lan");
    QVERIFY(QFile::link("/proc/self/mem", clstrPath));
    for (uint8_t bOnline : {uint8_t(0), uint8_t(1)}) {
        CTmwFileFormatV1 clReader;
        QCOMPARE(Open(clReader, clstrPath, bOnline), 0);
        RawRecord clRecord{};
        QCOMPARE(int(clReader.ReadData(clRecord)), 5);
        QCOMPARE(int(clReader.ReadData(clRecord)), 5);
    }
}
// Recordings of one kind each: a list of entries or frames and the records
// the model makes of them, file by file.
struct LanRecording {
    QString name;
    QByteArray bytes;
    QList<TmwModel::TetraRecord> tetra;
    QList<TmwModel::DmrRecord> dmr;
};
Q_DECLARE_METATYPE(LanRecording)

namespace {

void DrawFrameEntry(LanBytes::FrameEntryFields &f, TmwEncoders::CSequenceRandom &r) {
    f.carrier = uint16_t(r.Below(5) == 0 ? r.Below(2) * 4000 : r.Below(65536));
    f.band = r.Byte();
    f.burstCode = r.Below(8) == 0 ? r.Byte() : uint8_t(1 + 16 * r.Below(4) + r.Below(2));
    f.timeValue = r.Below(4) == 0 ? 0xFFFFFFFF : r.Below(4) == 0 ? 0 : uint32_t(r.Next());
    f.timeMode = r.Below(3) == 0 ? 0 : r.Byte();
    f.timeslot = r.Byte();
    f.frame = r.Byte();
    f.multiframe = r.Byte();
    f.hyperframe = uint16_t(r.Below(3) == 0 ? 65535 - r.Below(2) * 65535 : r.Next());
    f.optionalBlock.assign(r.Below(6), 0x21);
    for (int16_t &lValue : f.values)
        lValue = int16_t(r.Next());
    f.prefixWord = uint16_t(r.Next());
    f.entryType = r.Below(4) == 0 ? r.Byte() : uint8_t(r.Below(49));
    f.frameFlags = r.Byte();
    f.trailing.assign(r.Below(4), 0x0D);
}

void DrawExtendedEntry(LanBytes::ExtendedEntryFields &e, TmwEncoders::CSequenceRandom &r) {
    static constexpr uint8_t kSets[][3] = {
        {15, 5}, {15, 7},    {15, 8},    {15, 9},    {15, 10},   {3, 3},    {3, 7},
        {7, 7},  {15, 1, 4}, {15, 4, 4}, {15, 3, 3}, {15, 3, 7}, {15, 7, 7}};
    static constexpr uint8_t kBursts[] = {0, 16, 17, 22, 23, 32, 33, 38, 39, 255};
    e.link = uint8_t(r.Below(6) == 0 ? r.Below(6) : r.Below(2));
    e.flags = uint8_t(r.Byte() & 0xFC);
    e.hyperframe = uint16_t(r.Below(3) == 0 ? 65535 - r.Below(2) * 65535 : r.Next());
    e.multiframe = r.Byte();
    e.frame = r.Byte();
    e.timeslot = r.Byte();
    e.value16 = uint16_t(r.Next());
    e.byte1 = r.Byte();
    e.frequency = uint32_t(r.Next());
    e.value32 = uint32_t(r.Next());
    e.timeSeconds = r.Next();
    e.milliseconds = uint16_t(r.Next());
    e.skipped4.assign(r.Below(4), 0x21);
    e.skipped3.assign(r.Below(4), 0x0D);
    e.skipped2.assign(r.Below(4), 0xDA);
    const uint8_t *pSet = kSets[r.Below(13)];
    const bool bSet = r.Below(3) == 0;
    e.subEntries.resize(bSet ? (pSet[2] ? 3 : 2) : 1 + r.Below(14));
    for (size_t k = 0; k < e.subEntries.size(); ++k) {
        LanBytes::SubEntryFields &s = e.subEntries[k];
        s.flags = uint8_t(r.Byte() & 0xFC);
        s.value1Source = int16_t(r.Next());
        s.value2Source = int16_t(r.Next());
        s.value3Source = int16_t(r.Next());
        s.value16 = uint16_t(r.Next());
        s.dataState = uint8_t(r.Below(2) ? 0 : r.Byte());
        s.skipped.assign(r.Below(3), 0x7F);
        s.byteX = r.Byte();
        s.byteY = kBursts[r.Below(10)];
        s.channelType = bSet ? pSet[k] : uint8_t(r.Below(140));
        const uint32_t lBytes = (LanBytes::ChannelTypeBits(s.channelType, s.byteY) + 7) / 8;
        s.data.resize(r.Below(5) == 0 ? r.Below(40) : lBytes);
        for (uint8_t &lByte : s.data)
            lByte = r.Byte();
        // Data of the size its type gives may leave its length unstated.
        if (lBytes > 0 && s.data.size() == lBytes && r.Below(3) == 0)
            s.statedLength = r.Below(2) ? 32767 : 65535;
    }
}

// TETRA frame entries, extended entries and entries of other kinds, of
// realistic content or with every field drawn.
LanRecording TetraRecording(uint64_t lSeed, bool bDrawn) {
    LanRecording clOut{"generated.LaN", {}, {}, {}};
    TmwModel::TetraState clState;
    TmwEncoders::CSequenceRandom r(lSeed);
    LanBytes::CTetraEntrySource clSource(lSeed);
    LanBytes::Bytes clBytes;
    for (uint32_t i = 0; i < 5000; ++i) {
        LanBytes::TetraSequenceEntry clEntry =
            clSource.Next(1700000000 + i / 70, uint16_t(i % 70 * 14), i);
        if (bDrawn && clEntry.shape == LanBytes::EntryShape::Frame)
            DrawFrameEntry(clEntry.frame, r);
        if (bDrawn && clEntry.shape == LanBytes::EntryShape::Extended)
            DrawExtendedEntry(clEntry.extended, r);
        LanBytes::AppendTetraEntry(clBytes, clEntry);
        if (clEntry.shape == LanBytes::EntryShape::Frame)
            clOut.tetra += TmwModel::LanFrameEntryRecords(clEntry.frame, clState);
        if (clEntry.shape == LanBytes::EntryShape::Extended)
            clOut.tetra += TmwModel::LanExtendedEntryRecords(clEntry.extended, clState);
    }
    clOut.bytes = ToBytes(clBytes);
    return clOut;
}

// DMR frames of realistic content or with every field drawn, frames of
// other kinds and without a checksum among them.
LanRecording DmrRecording(uint64_t lSeed, bool bDrawn) {
    LanRecording clOut{"generated.LaN", {}, {}, {}};
    bool bBurstKind1Seen = false;
    TmwEncoders::CSequenceRandom r(lSeed);
    LanBytes::CDmrFrameSource clSource(lSeed);
    LanBytes::Bytes clBytes;
    for (uint64_t i = 0; i < 6000; ++i) {
        LanBytes::DmrFrameFields f = clSource.Next(1709251200000ULL + i * 30).fields;
        while (bDrawn) {
            f.frameKind = r.Below(10) == 0 ? r.Byte() : 2;
            f.check = f.frameKind == 2 && r.Below(2) ? LanBytes::DmrCheck::None
                                                     : LanBytes::DmrCheck::Computed;
            f.timeWord = r.Next() & 0xFFFFFFFFFFFFULL;
            f.burstKindCode = uint8_t(r.Below(8));
            f.word1 = uint16_t(r.Next());
            f.byte1 = r.Byte();
            f.byte2 = r.Byte();
            f.optionFlags = r.Below(10) == 0 ? r.Byte() : uint8_t(r.Below(64));
            f.option40 = r.Next();
            f.option8 = r.Byte();
            f.optionWord2 = uint16_t(r.Next());
            f.optionWord3 = uint16_t(r.Next());
            f.optionWord4 = uint16_t(r.Next());
            f.option32 = uint32_t(r.Next());
            f.items.clear();
            for (uint32_t k = r.Below(9); k > 0; --k) {
                const uint8_t lKind = uint8_t(r.Below(41));
                const uint16_t lBits = uint16_t(r.Below(3) == 0 ? r.Below(300) : r.Below(40));
                f.items.push_back(LanBytes::DmrItem(lKind, lBits, r.Byte(), r.Byte()));
            }
            if (LanBytes::DmrFrame(f).size() < 110)
                break;
        }
        LanBytes::AppendDmrFrame(clBytes, f);
        clOut.dmr += TmwModel::LanDmrRecords(f, bBurstKind1Seen);
    }
    clOut.bytes = ToBytes(clBytes);
    return clOut;
}

// ".tmw" frames of a realistic sequence; from lShape 1 on every free field
// drawn, the fields a reader checks for plausibility kept realistic; 2: the
// hyperframe not valid, 3: times in milliseconds.
LanRecording TmwRecording(uint64_t lSeed, bool bAbsoluteTime, uint16_t lHyperframe, int lShape) {
    TmwBytes::SequenceSettings clSettings;
    clSettings.seed = lSeed;
    clSettings.frameCount = 4000;
    clSettings.startMilliseconds = 990;
    clSettings.hyperframe = lHyperframe;
    clSettings.multiframe = 58;
    clSettings.absoluteTime = bAbsoluteTime;
    std::vector<TmwBytes::SequenceFrame> clFrames = TmwBytes::RealisticSequence(clSettings);
    TmwEncoders::CSequenceRandom r(lSeed);
    LanRecording clOut{"generated.TMW", {}, {}, {}};
    TmwModel::TetraState clState;
    static constexpr uint8_t kCodes[] = {0, 1, 2, 17, 18, 33, 34, 49, 50};
    static constexpr uint16_t kCarrierEdges[] = {0, 1, 3999, 4000};
    for (TmwBytes::SequenceFrame &clFrame : clFrames) {
        TmwBytes::FrameFields &f = clFrame.fields;
        if (lShape > 0) {
            f.burstCode = kCodes[r.Below(9)];
            f.entryType = uint8_t(r.Below(49));
            f.carrier = r.Below(5) == 0 ? kCarrierEdges[r.Below(4)] : uint16_t(r.Below(65536));
            f.band = r.Byte();
            f.prefixWord = uint16_t(r.Next());
            for (int16_t &lValue : f.measurements)
                lValue = int16_t(r.Next());
            f.dataFlags = uint8_t((f.dataFlags & 0xF8) | r.Below(8));
            f.frameFlags |= r.Below(4) == 0 ? TmwBytes::kMeasurementsAbsent : 0;
        }
        if (lShape == 2)
            f.frameFlags &= uint8_t(~TmwBytes::kHyperframeValid);
        const uint32_t lSlot = ((f.hyperframe * 60u + f.multiframe) * 18u + f.frame) * 4u;
        if (lShape == 3)
            f.timeValue = 1700000000u + (lSlot + f.timeslot) * 85u / 6u;
        clOut.tetra += TmwModel::TmwFrameRecords(f, clState);
    }
    clOut.bytes = ToBytes(TmwBytes::FileBytes(clFrames));
    return clOut;
}

} // namespace

void TestLan::readsAsTheModel_data() {
    QTest::addColumn<LanRecording>("recording");
    QTest::newRow(".tmw, own times") << TmwRecording(7, true, 65535, 0);
    QTest::newRow(".tmw, counter times over the wrap") << TmwRecording(11, false, 65535, 0);
    QTest::newRow(".tmw, every field drawn, own times") << TmwRecording(12, true, 3, 1);
    QTest::newRow(".tmw, every field drawn, counter times") << TmwRecording(13, false, 65534, 1);
    QTest::newRow(".tmw, hyperframe not valid") << TmwRecording(14, false, 500, 2);
    QTest::newRow(".tmw, times in milliseconds") << TmwRecording(15, false, 9, 3);
    QTest::newRow("TETRA frame entries") << TetraRecording(5, false);
    QTest::newRow("TETRA frame entries, every field drawn") << TetraRecording(6, true);
    QTest::newRow("DMR frames") << DmrRecording(9, false);
    QTest::newRow("DMR frames, every field drawn") << DmrRecording(10, true);
}

// Every record, every field, as the model converts the entry or frame; the
// same object reads the file again the same way.
void TestLan::readsAsTheModel() {
    QFETCH(LanRecording, recording);
    QVERIFY(recording.bytes.size() > 2 * int(kBufferSize));
    QVERIFY(recording.tetra.size() + recording.dmr.size() > 2000);
    const QString clstrPath = Path(recording.name);
    QVERIFY(WriteFileBytes(clstrPath, recording.bytes));
    FileHeaderInfo clInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(ToWide(clstrPath).c_str(), clInfo);
    QCOMPARE(dynamic_cast<CProprietaryTmwFileFormatV1 *>(pReader.get()) != nullptr,
             recording.name.endsWith("TMW"));
    QVERIFY(pReader);
    for (int lRound = 0; lRound < 2; ++lRound) {
        if (lRound == 1)
            QCOMPARE(Open(*pReader, clstrPath), 0);
        const qsizetype lCount = recording.tetra.size() + recording.dmr.size();
        for (qsizetype i = 0; i < lCount; ++i) {
            const QByteArray clWhere = "record " + QByteArray::number(i);
            RawRecord clRecord;
            std::memset(&clRecord, 0, sizeof clRecord); // padding included
            QVERIFY2(pReader->ReadData(clRecord) == FILE_OK, clWhere);
            const void *pPayload = clRecord.payload;
            clRecord.payload = nullptr;
            if (!recording.tetra.isEmpty()) {
                QVERIFY2(BytesOf(clRecord) == BytesOf(recording.tetra[i].record), clWhere);
                QVERIFY2(
                    SameBytes(*static_cast<const TetraTmv *>(pPayload), recording.tetra[i].tetra),
                    clWhere);
            } else {
                QVERIFY2(BytesOf(clRecord) == BytesOf(recording.dmr[i].record), clWhere);
                QVERIFY2(SameBytes(*static_cast<const DmrTmv *>(pPayload), recording.dmr[i].dmr),
                         clWhere);
            }
        }
        RawRecord clRecord{};
        QCOMPARE(int(pReader->ReadData(clRecord)), 3);
        QCOMPARE(pReader->GetProgress(), 100.0);
        pReader->CloseFile();
    }
}

void TestLan::oneDamagedByteCostsOnlyItsUnits_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("ends"); // where each frame or entry ends

    auto row = [](const char *pRow, const char *pName, const auto &clUnits, auto fnAppend) {
        LanBytes::Bytes clBytes;
        QList<int> clEnds;
        for (const auto &clUnit : clUnits) {
            fnAppend(clBytes, clUnit);
            clEnds << int(clBytes.size());
        }
        QTest::newRow(pRow) << QString(pName) << ToBytes(clBytes) << clEnds;
    };
    TmwBytes::SequenceSettings clTmw;
    clTmw.frameCount = 400;
    row(".tmw frames", "damaged.tmw", TmwBytes::RealisticSequence(clTmw),
        [](LanBytes::Bytes &clOut, const auto &clFrame) {
            TmwBytes::AppendFrame(clOut, clFrame.fields);
        });
    LanBytes::TetraSequenceSettings clTetra;
    clTetra.entryCount = 300;
    row(".lan TETRA entries", "damaged.lan", LanBytes::RealisticTetraSequence(clTetra),
        LanBytes::AppendTetraEntry);
    LanBytes::DmrSequenceSettings clDmr;
    clDmr.frameCount = 600;
    row(".lan DMR frames", "damaged.lan", LanBytes::RealisticDmrSequence(clDmr),
        [](LanBytes::Bytes &clOut, const auto &clFrame) {
            LanBytes::AppendDmrFrame(clOut, clFrame.fields);
        });
}

// One byte inserted, lost or changed anywhere costs at most the records of the
// frames or entries it touches, and a byte inserted or lost is reported there.
// The records compared with are those of the sound file, which the generated
// sequence tests hold against the encoders.
void TestLan::oneDamagedByteCostsOnlyItsUnits() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, ends);

    struct Read {
        QList<size_t> records;
        QList<qint64> ends; // bytes read after each record
        QList<StructReaderDiagnostic> damage;
    };
    const QString clstrPath = Path(name);
    auto read = [&clstrPath](const QByteArray &clBytes, Read &clRead) {
        FileHeaderInfo clInfo{};
        std::unique_ptr<CVirtualFileFormat> pReader;
        if (WriteFileBytes(clstrPath, clBytes))
            pReader = OpenFileFormat(ToWide(clstrPath).c_str(), clInfo);
        if (!pReader)
            return false;
        dynamic_cast<CReaderDiagnostics &>(*pReader).SetDiagnostics(
            [&clRead](const StructReaderDiagnostic &clDamage) { clRead.damage << clDamage; });
        RawRecord clRecord{};
        while (pReader->ReadData(clRecord) == FILE_OK) {
            const QByteArrayView clPayload(static_cast<const char *>(clRecord.payload),
                                           clRecord.payloadLength);
            clRead.records << qHashMulti(0, clPayload, clRecord.frequency);
            clRead.ends << qint64(pReader->GetFileSize(false));
        }
        return true;
    };
    Read clSound;
    QVERIFY(read(bytes, clSound));
    QVERIFY(clSound.damage.isEmpty());
    auto unitAt = [&ends](qint64 lOffset) {
        return int(std::upper_bound(ends.cbegin(), ends.cend(), lOffset) - ends.cbegin());
    };

    // Damage after the first units: they decide the stream, and a lost first
    // DMR burst of kind 1 rightly changes the timeslots of later ones.
    const int lFrom = ends[2];
    CNoise clNoise(uint32_t(bytes.size()));
    for (int lTrial = 0; lTrial < 150; ++lTrial) {
        const int lKind = lTrial % 3; // inserted, lost, changed
        const int lAt = lFrom + int(clNoise.Next() % uint32_t(bytes.size() - lFrom));
        QByteArray clDamaged = bytes;
        if (lKind == 0)
            clDamaged.insert(lAt, char(clNoise.Next()));
        else if (lKind == 1)
            clDamaged.remove(lAt, 1);
        else
            clDamaged[lAt] = char(bytes[lAt] ^ char(1 + clNoise.Next() % 255));
        // An inserted byte touches the units on both of its sides.
        const int lFirst = unitAt(lKind == 0 ? lAt - 1 : lAt);
        const int lLast = unitAt(lAt);
        const qint64 lSpanStart = lFirst == 0 ? 0 : ends[lFirst - 1];
        const qint64 lSpanEnd = ends[lLast] + (lKind == 0 ? 1 : lKind == 1 ? -1 : 0);

        Read clRead;
        QVERIFY(read(clDamaged, clRead));
        const QByteArray clWhere = name.toUtf8() + " damage " + QByteArray::number(lKind) + " at " +
                                   QByteArray::number(lAt);
        const qsizetype lBefore = std::count_if(clSound.ends.cbegin(), clSound.ends.cend(),
                                                [&](qint64 lEnd) { return lEnd <= lSpanStart; });
        const qsizetype lAfter = std::count_if(clSound.ends.cbegin(), clSound.ends.cend(),
                                               [&](qint64 lEnd) { return lEnd > ends[lLast]; });
        const qsizetype lRead = clRead.records.size();
        // A touched frame, garbled, may even give one record more.
        QVERIFY2(lRead <= clSound.records.size() + 1 && lRead >= lBefore + lAfter, clWhere);
        QVERIFY2(clRead.records.first(lBefore) == clSound.records.first(lBefore), clWhere);
        QVERIFY2(clRead.records.last(lAfter) == clSound.records.last(lAfter), clWhere);
        for (const StructReaderDiagnostic &clDamage : clRead.damage)
            QVERIFY2(qint64(clDamage.offset) >= lSpanStart && qint64(clDamage.offset) <= lSpanEnd,
                     clWhere);
        QVERIFY2(lKind == 2 || !clRead.damage.isEmpty(), clWhere);
    }
}

void TestLan::tmwFraming_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("trace");
    QTest::newRow("empty file") << QByteArray() << QStringList{"3"};
    QTest::newRow("83 bytes") << StampedFrame(1).left(83) << QStringList{"3"};
    QTest::newRow("trailing partial frame")
        << StampedFrame(1) + StampedFrame(2) + StampedFrame(3).left(40)
        << QStringList{Stamp(1), Stamp(2), "3"};
    QTest::newRow("a byte inserted at a frame boundary")
        << StampedFrame(1) + QByteArray(1, '\0') + StampedFrame(2) + StampedFrame(3)
        << QStringList{Stamp(1), Stamp(2), Stamp(3), "3"};
    // Times in milliseconds, not the jumping counters, tell that frames follow
    // each other; a time of 1 ms is a time, not none.
    QByteArray clMilliseconds;
    for (const auto &[lTime, lHyperframe] : {std::pair{1u, 1}, {2000u, 1000}, {4000u, 2000}}) {
        TmwBytes::FrameFields clFields;
        clFields.timeValue = lTime;
        clFields.hyperframe = uint16_t(lHyperframe);
        clMilliseconds += ToBytes(TmwBytes::Frame(clFields)) + QByteArray(lTime == 1, '\0');
    }
    QTest::newRow("a byte inserted between frames timed in milliseconds")
        << clMilliseconds << QStringList{"T:0", "T:2", "T:4", "3"};
    // Burst codes without a record are stepped over; entry type 17 on an
    // uplink burst gives two records.
    QTest::newRow("frames without records")
        << StampedFrame(1, 0) + StampedFrame(2) + StampedFrame(3, 255) + StampedFrame(4, 19) +
               StampedFrame(5, 2, 17) + StampedFrame(6, 1, 17) + StampedFrame(7, 3)
        << QStringList{Stamp(2), Stamp(5), Stamp(5), Stamp(6), "3"};
    QByteArray clNothing;
    for (uint32_t i = 0; i < 2000; ++i)
        clNothing += StampedFrame(i, 0);
    QTest::newRow("more than a buffer of frames without records") << clNothing << QStringList{"3"};
    // Counters out of range are limited, the timeslot passed on as stored.
    QByteArray clCounters;
    for (const auto &[lFrame, lMultiframe, lTimeslot] :
         {std::tuple{0, 0, 1}, {19, 61, 5}, {255, 255, 0}}) {
        TmwBytes::FrameFields clFields;
        clFields.burstCode = 1;
        clFields.frame = uint8_t(lFrame);
        clFields.multiframe = uint8_t(lMultiframe);
        clFields.timeslot = uint8_t(lTimeslot);
        TmwBytes::SetSecondsWithMilliseconds(clFields, 0, 0);
        clCounters += ToBytes(TmwBytes::Frame(clFields));
    }
    QTest::newRow("counters limited")
        << clCounters
        << QStringList{"T:946684800", "T:946684800 18/60/5", "T:946684800 18/60/0", "3"};
}

void TestLan::tmwFraming() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, trace);
    const QString clstrPath = Path("framing.tmw");
    QVERIFY(WriteFileBytes(clstrPath, bytes));
    CProprietaryTmwFileFormatV1 clReader;
    QCOMPARE(Open(clReader, clstrPath), 0);
    QStringList clTrace;
    for (RawRecord clRecord{}; clReader.ReadData(clRecord) == FILE_OK;) {
        const auto &t = *static_cast<const TetraTmv *>(clRecord.payload);
        clTrace << DescribeRecord(clRecord) +
                       (t.frame == 1 && t.multiframe == 1 && t.timeslot == 1
                            ? QString()
                            : QString(" %1/%2/%3").arg(t.frame).arg(t.multiframe).arg(t.timeslot));
    }
    QCOMPARE(clTrace + QStringList{"3"}, trace);
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 3); // the end stays the end
}

void TestLan::tmwOnlinePartialFrame() {
    for (const QString &clstrPrefix : {QString(), QString("online:"), QString("ONLINE:")}) {
        const QString clstrPath = Path("growing.tmw");
        const QByteArray clSecond = StampedFrame(2);
        QVERIFY(WriteFileBytes(clstrPath, StampedFrame(1) + clSecond.left(50)));
        CProprietaryTmwFileFormatV1 clReader;
        QCOMPARE(Open(clReader, clstrPrefix + clstrPath, clstrPrefix.isEmpty()), 0);
        QVERIFY(clReader.IsOnlineFile());
        QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), clstrPath);
        QCOMPARE(ReadTrace(clReader), (QStringList{Stamp(1), "8"}));
        // Still short by one byte: nothing is taken.
        QVERIFY(AppendFileBytes(clstrPath, clSecond.mid(50, 33)));
        QCOMPARE(ReadTrace(clReader), QStringList{"8"});
        QVERIFY(AppendFileBytes(clstrPath, clSecond.mid(83) + StampedFrame(3).left(42)));
        QCOMPARE(ReadTrace(clReader), (QStringList{Stamp(2), "8"}));
        QVERIFY(AppendFileBytes(clstrPath, StampedFrame(3).mid(42) + StampedFrame(4)));
        QCOMPARE(ReadTrace(clReader), (QStringList{Stamp(3), Stamp(4), "8"}));
    }
}

void TestLan::readerAnswers_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("unit"); // one frame or entry of a record
    QTest::addColumn<QByteArray>("recordingType");
    QTest::newRow(".tmw") << "answers.tmw" << StampedFrame(1)
                          << QByteArray("Proprietary TMW recording");
    QTest::newRow(".lan") << "answers.lan" << StampEntry(1) << QByteArray("TMW recording");
}

// What a reader that cannot write answers, from opening to closing, with
// the progress and position over a file of three units.
void TestLan::readerAnswers() {
    QFETCH(QString, name);
    QFETCH(QByteArray, unit);
    QFETCH(QByteArray, recordingType);
    FileHeaderInfo clInfo;
    std::memset(&clInfo, 0x33, sizeof clInfo);
    std::unique_ptr<CVirtualFileFormat> pReader(
        name.endsWith(".tmw") ? static_cast<CVirtualFileFormat *>(new CProprietaryTmwFileFormatV1)
                              : new CTmwFileFormatV1);
    CVirtualFileFormat &clReader = *pReader;
    // Sizes in units, the progress and the file name.
    auto state = [&clReader, &unit] {
        return QString("%1 %2 %3 %4")
            .arg(double(clReader.GetFileSize(true)) / double(unit.size()))
            .arg(double(clReader.GetFileSize(false)) / double(unit.size()))
            .arg(clReader.GetProgress())
            .arg(QString::fromWCharArray(clReader.GetFileName()));
    };
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 1);
    QCOMPARE(state(), QString("0 0 0 "));
    QVERIFY(QDir(m_clDir.path()).mkpath("folder" + name));
    for (const QString &clstrMissing : {Path("folder" + name), Path("no/folder/" + name)})
        QCOMPARE(int(clReader.OpenFile(ToWide(clstrMissing).c_str(), clInfo, 0)), 1);
    QCOMPARE(int(clReader.OpenFile(nullptr, clInfo, 0)), 1);

    const QString clstrPath = Path(name);
    QVERIFY(WriteFileBytes(clstrPath, unit + unit + unit));
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    FileHeaderInfo clExpected;
    std::memset(&clExpected, 0, sizeof clExpected);
    clExpected.infoType = 1;
    std::strcpy(clExpected.recordingType, recordingType.constData());
    std::strcpy(clExpected.infoText1, "unknown");
    std::strcpy(clExpected.infoText2, " - ");
    std::strcpy(clExpected.infoText3, " - ");
    QCOMPARE(BytesOf(clInfo).toHex(), BytesOf(clExpected).toHex());
    QVERIFY(!clReader.IsOnlineFile());
    QCOMPARE(state(), "0 0 0 " + clstrPath);
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(state(), QString("3 1 %1 ").arg(100.0 / 3) + clstrPath);
    // A second open changes nothing: reading goes on where it was.
    QCOMPARE(int(clReader.OpenFile(ToWide(Path("other" + name)).c_str(), clInfo, 0)), 1);
    QCOMPARE(Create(clReader, Path("out.bvf"), 0, clInfo), 1);
    QCOMPARE(int(clReader.WriteData(clRecord)), 2);
    QVERIFY(!QFile::exists(Path("out.bvf")));
    QCOMPARE(ReadTrace(clReader).size(), 3);
    QCOMPARE(state(), "3 3 100 " + clstrPath);
    clReader.CloseFile();
    QCOMPARE(int(clReader.ReadData(clRecord)), 1);
    QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), QString());
    // The same object opens again and reads from the start.
    QCOMPARE(int(clReader.OpenFile(ToWide("ONLINE:" + clstrPath).c_str(), clInfo, 0)), 0);
    QVERIFY(clReader.IsOnlineFile());
    QCOMPARE(ReadTrace(clReader).size(), 4);
}

BVF_TEST_MAIN(TestLan)
#include "test_lan.moc"
