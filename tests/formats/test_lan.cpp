// Reading ".lan" recordings made by the LanBytes encoder: generated
// recordings held field by field against the TMW model; the stream mode,
// entry and sub-entry lengths, DMR frame checksums and steps, buffer
// boundaries, online reading, damaged input and read errors; and how little
// one damaged byte costs, in ".lan" and ".tmw" recordings alike.
#include "ContainerTestKit.h"
#include "LanBytes.h"
#include "OpenFileFormat.h"
#include "PayloadChecks.h"
#include "ReaderDiagnostics.h"
#include "TestRegistry.h"
#include "TmwBytes.h"
#include "TmwFileFormatV1.h"
#include "TmwModel.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <memory>

using namespace ContainerTestKit;

namespace {

constexpr uint32_t kBufferSize = CTmwFileFormatV1::kReadBufferSize;

using CNoise = TmwEncoders::CSequenceRandom;

QByteArray ToBytes(const LanBytes::Bytes &clBytes) {
    return QByteArray(reinterpret_cast<const char *>(clBytes.data()), qsizetype(clBytes.size()));
}

LanBytes::Bytes FromBytes(const QByteArray &clBytes) {
    return LanBytes::Bytes(clBytes.begin(), clBytes.end());
}

const DmrTmv &Dmr(const RawRecord &clRecord) {
    return *static_cast<const DmrTmv *>(clRecord.payload);
}

const TetraTmv &Tetra(const RawRecord &clRecord) {
    return *static_cast<const TetraTmv *>(clRecord.payload);
}

// A DMR record by its word1, which the tests use as a frame's name, and its
// timeslot if asked; a TETRA record by its kind, seconds and milliseconds.
QString Describe(const RawRecord &clRecord, bool bTimeslot = false) {
    switch (clRecord.payloadKind) {
    case PAYLOAD_DMR:
        return QString("W:%1").arg(Dmr(clRecord).word1) +
               (bTimeslot ? QString("/%1").arg(Dmr(clRecord).timeslot) : QString());
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        return QString("%1:%2.%3")
            .arg(clRecord.payloadKind == PAYLOAD_TETRA ? "T" : "A")
            .arg(Tetra(clRecord).timeSeconds)
            .arg(Tetra(clRecord).milliseconds);
    default:
        return QString("X:%1").arg(clRecord.payloadKind);
    }
}

// Reads until a result other than 0, listing every record and that result.
QStringList Trace(CVirtualFileFormat &clReader, int lMaxCalls = 1000000, bool bTimeslot = false) {
    QStringList clTrace;
    RawRecord clRecord{};
    FileResult enResult = FILE_OK;
    for (int i = 0; i < lMaxCalls && (enResult = clReader.ReadData(clRecord)) == FILE_OK; ++i)
        clTrace << Describe(clRecord, bTimeslot);
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
    return QString("T:%1.0").arg(quint64(lSeconds) + LanBytes::kEpoch2000);
}

// An extended entry with time and frequency; sub-entry k of the given types
// has data 0x10 (k + 1), 0x10 (k + 1) + 1, ... sized by its channel type.
LanBytes::ExtendedEntryFields ExtendedFields(const QList<int> &clTypes, uint8_t lBurstByte = 16) {
    LanBytes::ExtendedEntryFields clFields;
    clFields.link = 0;
    clFields.flags = LanBytes::kEntryTime | LanBytes::kEntryFrequency;
    clFields.hyperframe = 5;
    clFields.multiframe = 7;
    clFields.frame = 9;
    clFields.timeslot = 3;
    clFields.timeSeconds = 1700000000;
    clFields.milliseconds = 250;
    clFields.frequency = 425025000;
    for (int k = 0; k < clTypes.size(); ++k) {
        LanBytes::SubEntryFields clSub;
        clSub.channelType = uint8_t(clTypes[k]);
        clSub.byteY = lBurstByte;
        const uint32_t lBytes = (LanBytes::ChannelTypeBits(clSub.channelType, lBurstByte) + 7) / 8;
        for (uint32_t i = 0; i < lBytes; ++i)
            clSub.data.push_back(uint8_t(0x10 * (k + 1) + i));
        clFields.subEntries.push_back(clSub);
    }
    return clFields;
}

QByteArray ExtendedEntry(const LanBytes::ExtendedEntryFields &clFields, int32_t lStated = -1) {
    return ToBytes(LanBytes::Entry(LanBytes::ExtendedEntryBody(clFields), lStated));
}

// Sub-entry k's data as ExtendedFields makes it.
QByteArray Pattern(int k, int lCount) {
    QByteArray clData;
    for (int i = 0; i < lCount; ++i)
        clData += char(0x10 * (k + 1) + i);
    return clData;
}

// Every TETRA payload of a file, each record described, and the last answer.
struct ReadResult {
    QList<TetraTmv> tetra;
    QStringList described;
    FileResult end = FILE_OK;
};

ReadResult ReadAll(const QString &clstrPath) {
    ReadResult clResult;
    CTmwFileFormatV1 clReader;
    if (Open(clReader, clstrPath) != 0)
        return clResult;
    RawRecord clRecord{};
    while ((clResult.end = clReader.ReadData(clRecord)) == FILE_OK) {
        clResult.tetra << Tetra(clRecord);
        clResult.described << Describe(clRecord);
    }
    return clResult;
}

QStringList ReadFileTrace(const QString &clstrPath) {
    CTmwFileFormatV1 clReader;
    return Open(clReader, clstrPath) == 0 ? Trace(clReader) : QStringList{"open failed"};
}

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

QByteArray DmrNamed(uint16_t lName, size_t lItemsBytes = 0) {
    LanBytes::DmrFrameFields clFields = NamedFrame(lName);
    if (lItemsBytes > 0)
        clFields.items = {LanBytes::DmrItem(9, uint16_t(lItemsBytes * 8), 0x30)};
    return ToBytes(LanBytes::DmrFrame(clFields));
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

// A record's whole data area: the given bytes, zeros after them.
QByteArray DataOf(const TetraTmv &clTetra) {
    return QByteArray(reinterpret_cast<const char *>(clTetra.data), int(sizeof clTetra.data));
}
QByteArray DataArea(const QByteArray &clLeading) {
    return clLeading + QByteArray(int(sizeof(TetraTmv::data)) - clLeading.size(), '\0');
}

} // namespace

class TestLan : public QObject {
    Q_OBJECT

  private slots:
    void frameSteps_data();
    void frameSteps();
    void timeslotFlagScope();

    void frameEntryLengths_data();
    void frameEntryLengths();
    void subEntryLengths_data();
    void subEntryLengths();

    void streamMode_data();
    void streamMode();
    void bufferBoundary_data();
    void bufferBoundary();
    void onlineChunksReadTheSame_data();
    void onlineChunksReadTheSame();
    void damagedInputEnds_data();
    void damagedInputEnds();
    void readErrorAnswers5();
    void reportedDamage_data();
    void reportedDamage();
    void readsAsTheModel_data();
    void readsAsTheModel();
    void oneDamagedByteCostsOnlyItsUnits_data();
    void oneDamagedByteCostsOnlyItsUnits();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QTemporaryDir m_clDir;
};

void TestLan::streamMode_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("trace");
    QTest::addColumn<int>("mode");

    const int lTetra = CTmwFileFormatV1::STREAM_TETRA;
    const int lDmr = CTmwFileFormatV1::STREAM_DMR;
    QTest::newRow("first marker 0x7F reads as DMR")
        << DmrNamed(1) + StampEntry(1) + DmrNamed(2) << QStringList{"W:1", "W:2", "3"} << lDmr;
    QTest::newRow("first marker \"!\" reads as TETRA")
        << StampEntry(1) + DmrNamed(1) + StampEntry(2) << QStringList{Stamp(1), Stamp(2), "3"}
        << lTetra;
    QTest::newRow("bytes before the first marker")
        << QByteArray(40, '\x55') + StampEntry(1) << QStringList{Stamp(1), "3"} << lTetra;
    // A marker that begins nothing decides nothing.
    QTest::newRow("a stray \"!\" before DMR frames")
        << QByteArray("!\x00\x05", 3) + DmrNamed(1) << QStringList{"W:1", "3"} << lDmr;
    QTest::newRow("a stray 0x7F before TETRA entries")
        << QByteArray("\x7F\x00\x30", 3) + StampEntry(1) << QStringList{Stamp(1), "3"} << lTetra;
    QTest::newRow("a DMR frame of another kind first")
        << QByteArray::fromHex("7f0015") + DmrNamed(3) << QStringList{"W:3", "3"} << lDmr;
    QTest::newRow("TETRA entries without records first")
        << ToBytes(LanBytes::Entry({0x01, 0x7F, 0x00, 0x15})) + StampEntry(2) + DmrNamed(1)
        << QStringList{Stamp(2), "3"} << lTetra;
    // A "!" written into a damaged entry, whose length reaches the terminator
    // of a later entry, is not believed.
    QByteArray clMadeUp = StampEntry(2);
    const QByteArray clLater = StampEntry(3) + StampEntry(4) + StampEntry(5);
    const int lMadeUpBody = int(clMadeUp.size() + clLater.size()) - 14;
    clMadeUp[0] = '\0';
    clMadeUp.replace(10, 3, QByteArray("!") + char(lMadeUpBody >> 8) + char(lMadeUpBody));
    QTest::newRow("an entry made up by damage swallows nothing")
        << StampEntry(1) + clMadeUp + clLater
        << QStringList{Stamp(1), Stamp(3), Stamp(4), Stamp(5), "3"} << lTetra;
    QTest::newRow("empty file") << QByteArray() << QStringList{"3"} << 0;
    QTest::newRow("only noise") << QByteArray(500, '\x33') << QStringList{"3"} << 0;
}

void TestLan::streamMode() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, trace);
    QFETCH(int, mode);

    const QString clstrPath = Path("mode.lan");
    QVERIFY(WriteFileBytes(clstrPath, bytes));
    CTmwFileFormatV1 clReader;
    QCOMPARE(Open(clReader, clstrPath), 0);
    QCOMPARE(int(clReader.Mode()), 0);
    QCOMPARE(Trace(clReader), trace);
    QCOMPARE(int(clReader.Mode()), mode);
    // Reopening starts over in the unknown mode.
    clReader.CloseFile();
    QCOMPARE(Open(clReader, clstrPath), 0);
    QCOMPARE(int(clReader.Mode()), 0);
    QCOMPARE(Trace(clReader), trace);
}

void TestLan::bufferBoundary_data() {
    QTest::addColumn<QString>("shape");
    QTest::addColumn<int>("before"); // bytes of the straddling entry before the boundary

    for (int lBefore : {1, 2, 3, 4, 20, 21, 22, 40}) {
        QTest::addRow("DMR frame, %d bytes before", lBefore) << "dmr" << lBefore;
        QTest::addRow("TETRA entry, %d bytes before", lBefore) << "tetra" << lBefore;
        QTest::addRow("resynchronising to an entry, %d bytes before", lBefore)
            << "resync" << lBefore;
    }
}

void TestLan::bufferBoundary() {
    QFETCH(QString, shape);
    QFETCH(int, before);

    QByteArray clFirst;
    QByteArray clMiddle;
    QByteArray clLast;
    QStringList clTrace;
    char lFill = '\0';
    if (shape == "dmr") {
        clFirst = DmrNamed(1);
        clMiddle = DmrNamed(2, 20);
        clLast = DmrNamed(3);
        clTrace = QStringList{"W:1", "W:2", "W:3", "3"};
    } else {
        clFirst = StampEntry(1);
        clMiddle = StampEntry(2);
        clLast = StampEntry(3);
        clTrace = QStringList{Stamp(1), Stamp(2), Stamp(3), "3"};
        // Between TETRA entries the padding is itself an entry of another
        // kind, unless the reader has to resynchronise over it.
        if (shape == "tetra") {
            int lPadding = int(kBufferSize) - before - int(clFirst.size());
            while (lPadding > 0) {
                const int lBody = lPadding > 60004 ? 60000 : lPadding - 4;
                clFirst += ToBytes(LanBytes::Entry(LanBytes::Bytes(size_t(lBody), 0x01)));
                lPadding -= lBody + 4;
            }
        }
        lFill = '\x05';
    }
    const int lPadding = int(kBufferSize) - before - int(clFirst.size());
    const QByteArray clFile = clFirst + QByteArray(lPadding, lFill) + clMiddle + clLast;
    QCOMPARE(int(clFile.indexOf(clMiddle, int(clFirst.size()))), int(kBufferSize) - before);

    const QString clstrPath = Path("boundary.lan");
    QVERIFY(WriteFileBytes(clstrPath, clFile));
    CTmwFileFormatV1 clReader;
    QCOMPARE(Open(clReader, clstrPath), 0);
    QCOMPARE(Trace(clReader), clTrace);
    // The middle one really was cut by the end of the first buffer.
    QCOMPARE(clReader.RefillCount(), quint64(2));
    QCOMPARE(clReader.GetFileSize(false), quint64(clFile.size()));
}

void TestLan::onlineChunksReadTheSame_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("chunk");

    // The first well-framed entry has no records; DMR frames follow before
    // the TETRA entries that convert. However the bytes arrive, they are read
    // as TETRA, giving the records of the whole file and no others.
    const QByteArray clMixed = ToBytes(LanBytes::Entry({0x01, 0x02})) + QByteArray(5, '\x33') +
                               DmrNamed(1) + DmrNamed(2) + StampEntry(3) + DmrNamed(4) +
                               ExtendedEntry(ExtendedFields({6, 8})) + StampEntry(5);
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
    QStringList clWhole = ReadFileTrace(clstrWhole);
    QCOMPARE(clWhole.last(), QString("3"));
    clWhole.removeLast();

    const QString clstrPath = Path("arriving.lan");
    QVERIFY(WriteFileBytes(clstrPath, QByteArray()));
    CTmwFileFormatV1 clReader;
    QCOMPARE(Open(clReader, clstrPath, 1), 0);
    QStringList clArrived;
    for (int lAt = 0; lAt < bytes.size(); lAt += chunk) {
        QVERIFY(AppendFileBytes(clstrPath, bytes.mid(lAt, chunk)));
        QStringList clTrace = Trace(clReader);
        QCOMPARE(clTrace.last(), QString("8"));
        clTrace.removeLast();
        clArrived += clTrace;
    }
    QVERIFY(AppendFileBytes(clstrPath, clFiller));
    QStringList clTrace = Trace(clReader);
    QCOMPARE(clTrace.last(), QString("8"));
    clTrace.removeLast();
    clArrived += clTrace;
    QCOMPARE(clArrived, clWhole);
}

void TestLan::damagedInputEnds_data() {
    QTest::addColumn<QByteArray>("bytes");

    // Noise of every kind of byte, and noise made of the bytes that matter.
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
        QTest::addRow("%d noise bytes", lSize) << clAny;
        QTest::addRow("%d marker bytes", lSize) << clMarkers;
    }

    // Lengths that reach far, and no length at all.
    QTest::newRow("lengths of 0xFFFF everywhere")
        << QByteArray("!\xFF\xFF\x7F\xFF\xFF", 6).repeated(30000);
    QTest::newRow("entries of length 0") << QByteArray("!\x00\x00\x0D", 4).repeated(30000);
}

void TestLan::damagedInputEnds() {
    QFETCH(QByteArray, bytes);

    const QString clstrPath = Path("damaged.lan");
    QVERIFY(WriteFileBytes(clstrPath, bytes));
    // At most twelve records per marker byte: anything more is a loop.
    const int lLimit = 12 * int(bytes.count('!') + bytes.count('\x7F')) + 1;
    CTmwFileFormatV1 clReader;
    QCOMPARE(Open(clReader, clstrPath), 0);
    const QStringList clTrace = Trace(clReader, lLimit + 1);
    QCOMPARE(clTrace.last(), QString("3"));
    QVERIFY(clReader.GetFileSize(false) <= quint64(bytes.size()));
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 3);

    // Online, the same bytes end with 8 after the same records.
    CTmwFileFormatV1 clOnline;
    QCOMPARE(Open(clOnline, clstrPath, 1), 0);
    QStringList clOnlineTrace = Trace(clOnline, lLimit + 1);
    QCOMPARE(clOnlineTrace.last(), QString("8"));
    clOnlineTrace.removeLast();
    QStringList clOffline = clTrace;
    clOffline.removeLast();
    // Online reading holds back an unfinished entry at the end that the
    // finished file gives up on: its records may be fewer, never others.
    QCOMPARE(clOnlineTrace, clOffline.mid(0, clOnlineTrace.size()));
}

void TestLan::reportedDamage_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("reports");
    // Bytes before the first entry or frame are reported once, as stepped over.
    const QString clStepped = QString("%1:0+40").arg(int(ReaderDamage::Resynchronised));
    const QByteArray clNoise(40, '\x55');
    QTest::newRow("bytes before the first TETRA entry")
        << clNoise + StampEntry(1) + StampEntry(2) << QStringList{clStepped};
    QTest::newRow("bytes before the first DMR frame")
        << clNoise + DmrNamed(1) + DmrNamed(2) << QStringList{clStepped};
    // An entry whose framing is sound but that gives nothing to convert is
    // refused, and reported with its entry kind.
    const QString clRefused =
        QString("%1:%2 ").arg(int(ReaderDamage::RefusedRecord)).arg(StampEntry(1).size());
    LanBytes::FrameEntryFields clFields = StampFields(2);
    clFields.data[LanBytes::kFrameDataSize - 1] = 0x0D;
    const int lShort = int(LanBytes::FrameEntryBody(clFields).size()) - 1;
    QTest::newRow("fields longer than the entry")
        << StampEntry(1) + EntryOf(clFields, lShort) + StampEntry(3)
        << QStringList{clRefused + "222"};
    QTest::newRow("empty entry") << StampEntry(1) + QByteArray::fromHex("2100000d") + StampEntry(3)
                                 << QStringList{clRefused + "-1"};
}

void TestLan::reportedDamage() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, reports);
    const QString clstrPath = Path("reported.lan");
    QVERIFY(WriteFileBytes(clstrPath, bytes));
    CTmwFileFormatV1 clReader;
    QStringList clReports;
    clReader.SetDiagnostics([&clReports](const StructReaderDiagnostic &d) {
        clReports << (d.kind == ReaderDamage::RefusedRecord
                          ? QString("%1:%2 %3").arg(int(d.kind)).arg(d.offset).arg(d.recordType)
                          : QString("%1:%2+%3").arg(int(d.kind)).arg(d.offset).arg(d.length));
    });
    QCOMPARE(Open(clReader, clstrPath), 0);
    QCOMPARE(Trace(clReader).size(), 3);
    QCOMPARE(clReports, reports);
}

void TestLan::readErrorAnswers5() {
    // Reading the process's own memory file at offset 0 fails with an
    // input/output error: a read error, not the end of the file.
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
    }
}

// TETRA frame entries, extended entries and entries of other kinds, of
// realistic content or with every field drawn.
LanRecording TetraRecording(uint64_t lSeed, bool bDrawn) {
    LanRecording clOut;
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
    LanRecording clOut;
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

} // namespace

void TestLan::readsAsTheModel_data() {
    QTest::addColumn<LanRecording>("recording");
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
    const QString clstrPath = Path("generated.LaN");
    QVERIFY(WriteFileBytes(clstrPath, recording.bytes));
    FileHeaderInfo clInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(ToWide(clstrPath).c_str(), clInfo);
    QVERIFY(dynamic_cast<CTmwFileFormatV1 *>(pReader.get()) != nullptr);
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

void TestLan::frameSteps_data() {
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
    auto row = [](const char *pName, const LanBytes::DmrFrameFields &clFields,
                  const QStringList &clTrace) {
        QTest::newRow(pName) << ToBytes(LanBytes::DmrFrame(clFields)) << clTrace;
    };
    const QStringList clOuterSkipped = {"W:1", "W:2", "3"};
    const QStringList clInnerFound = {"W:1", "W:5", "W:2", "3"};
    const QStringList clOne = {"W:1", "W:9", "W:2", "3"};

    row("kind 1 with a checksum: passed over by its length",
        holding(1, LanBytes::DmrCheck::Computed), clOuterSkipped);
    row("kind 1 without a checksum: by one byte", holding(1, LanBytes::DmrCheck::None),
        clInnerFound);
    row("kind 2 holding a frame is one frame", holding(2, LanBytes::DmrCheck::None), clOne);
    row("option flags 0x40 with a checksum: no record, by its length",
        holding(2, LanBytes::DmrCheck::Computed, 0x40), clOuterSkipped);
    row("option flags 0x40 without a checksum: by one byte",
        holding(2, LanBytes::DmrCheck::None, 0x40), clInnerFound);

    LanBytes::DmrFrameFields clFields = holding(2, LanBytes::DmrCheck::Given);
    // Any check byte but the right one and 0 (no checksum).
    const uint8_t lCrc = LanBytes::FrameCrc(LanBytes::DmrFrame(clFields));
    clFields.givenCheck = uint8_t(lCrc == 0x10 ? 0x20 : lCrc ^ 0x10);
    row("wrong checksum: by one byte", clFields, clInnerFound);
    clFields = holding(2, LanBytes::DmrCheck::Computed);
    clFields.terminator = 0xFD;
    row("wrong terminator: by one byte", clFields, clInnerFound);
    clFields = holding(2, LanBytes::DmrCheck::Computed);
    clFields.trailing.resize(110 - 21, 0);
    row("length 110: by one byte", clFields, clInnerFound);
    clFields.trailing.resize(109 - 21, 0);
    row("length 109 is a frame", clFields, clOne);
    clFields = holding(2, LanBytes::DmrCheck::Computed);
    clFields.statedLength = 30;
    row("stated length short of the terminator", clFields, clInnerFound);

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
    row("item reaching the terminator: no record", clFields, clOuterSkipped);
    clFields = NamedFrame(9);
    clFields.items = {LanBytes::DmrItem(1, 16)};
    clFields.statedCount = 2;
    row("item count above the items: no record", clFields, clOuterSkipped);
    clFields.statedCount = 1;
    clFields.trailing = {0x00, 0x00};
    row("bytes after the counted items are ignored", clFields, clOne);
    QTest::newRow("marker alone at the end")
        << QByteArray(1, char(0x7F)) << QStringList{"W:1", "W:2", "3"};

    // The checksum X: 0 is none, 255 stands for a CRC of 0.
    LanBytes::DmrFrameFields clCheck = NamedFrame(9);
    clCheck.check = LanBytes::DmrCheck::None;
    QTest::newRow("X = 0 skips the check") << ToBytes(LanBytes::DmrFrame(clCheck)) << clOne;
    clCheck.check = LanBytes::DmrCheck::Given;
    clCheck.givenCheck = 0;
    clCheck.byte2 = 0x5A;
    QTest::newRow("X = 0 with any content") << ToBytes(LanBytes::DmrFrame(clCheck)) << clOne;

    const LanBytes::Bytes clGood = FrameWithCrc(NamedFrame(9), 0x3C, 0x3C);
    QTest::newRow("matching CRC") << ToBytes(clGood) << clOne;
    QTest::newRow("CRC 0x3C, X 0x3D")
        << ToBytes(FrameWithCrc(NamedFrame(9), 0x3C, 0x3D)) << clOuterSkipped;
    QTest::newRow("CRC 0x3C, X 255")
        << ToBytes(FrameWithCrc(NamedFrame(9), 0x3C, 255)) << clOuterSkipped;
    QTest::newRow("CRC 0 with X 255") << ToBytes(FrameWithCrc(NamedFrame(9), 0, 255)) << clOne;
    QTest::newRow("CRC 0 with X 0: no check")
        << ToBytes(FrameWithCrc(NamedFrame(9), 0, 0)) << clOne;
    QTest::newRow("CRC 0 with X 1") << ToBytes(FrameWithCrc(NamedFrame(9), 0, 1)) << clOuterSkipped;
    QTest::newRow("CRC 255 with X 255") << ToBytes(FrameWithCrc(NamedFrame(9), 255, 255)) << clOne;

    // The check covers the kind byte and everything up to the terminator.
    LanBytes::Bytes clChanged = clGood;
    clChanged[4 + 12] ^= 0x01;
    QTest::newRow("byte2 changed after the check") << ToBytes(clChanged) << clOuterSkipped;
    clChanged = clGood;
    clChanged[clChanged.size() - 2] ^= 0x80;
    QTest::newRow("last byte before the terminator changed")
        << ToBytes(clChanged) << clOuterSkipped;
    clChanged = clGood;
    clChanged[4] = 3;
    QTest::newRow("kind byte changed") << ToBytes(clChanged) << clOuterSkipped;
}

void TestLan::frameSteps() {
    QFETCH(QByteArray, frame);
    QFETCH(QStringList, trace);

    const QString clstrPath = Path("steps.lan");
    QByteArray clFile = DmrNamed(1) + frame + DmrNamed(2);
    if (frame.size() == 1)
        clFile = DmrNamed(1) + DmrNamed(2) + frame;
    QVERIFY(WriteFileBytes(clstrPath, clFile));
    QCOMPARE(ReadFileTrace(clstrPath), trace);
}

void TestLan::timeslotFlagScope() {
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
    for (int lRound = 0; lRound < 2; ++lRound) {
        QCOMPARE(Open(clReader, clstrA), 0);
        QCOMPARE(Trace(clReader, 100, true), clTraceA);
        clReader.CloseFile();
        // The flag set by file A does not reach file B.
        QCOMPARE(Open(clReader, clstrB), 0);
        QCOMPARE(Trace(clReader, 100, true), clTraceB);
        clReader.CloseFile();
    }
    // Nor another reader object, while the first has file A open.
    QCOMPARE(Open(clReader, clstrA), 0);
    QCOMPARE(Trace(clReader, 100, true), clTraceA);
    CTmwFileFormatV1 clOther;
    QCOMPARE(Open(clOther, clstrB), 0);
    QCOMPARE(Trace(clOther, 100, true), clTraceB);
}

void TestLan::frameEntryLengths_data() {
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

void TestLan::frameEntryLengths() {
    QFETCH(QByteArray, entry);
    QFETCH(QStringList, trace);

    const QString clstrPath = Path("lengths.lan");
    const QByteArray clFile = StampEntry(1) + entry + StampEntry(3);
    QVERIFY(WriteFileBytes(clstrPath, clFile));
    QCOMPARE(ReadFileTrace(clstrPath), trace);
}

void TestLan::subEntryLengths_data() {
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

void TestLan::subEntryLengths() {
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

BVF_TEST_MAIN(TestLan)
#include "test_lan.moc"
