// Reading ".lan" recordings made by the LanBytes encoder: generated
// recordings held field by field against the TMW model, the stream mode,
// entries and frames at buffer boundaries, online reading, damaged input and
// read errors; and how little one damaged byte costs, in ".lan" and ".tmw"
// recordings alike.
#include "LanTestKit.h"
#include "OpenFileFormat.h"
#include "PayloadChecks.h"
#include "ReaderDiagnostics.h"
#include "TestRegistry.h"
#include "TmwBytes.h"
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
using namespace LanTestKit;

namespace {

constexpr uint32_t kBufferSize = CTmwFileFormatV1::kReadBufferSize;

using CNoise = TmwEncoders::CSequenceRandom;

} // namespace

class TestLan : public QObject {
    Q_OBJECT

  private slots:
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
                    SameTetra(*static_cast<const TetraTmv *>(pPayload), recording.tetra[i].tetra),
                    clWhere);
            } else {
                QVERIFY2(BytesOf(clRecord) == BytesOf(recording.dmr[i].record), clWhere);
                QVERIFY2(SameDmr(*static_cast<const DmrTmv *>(pPayload), recording.dmr[i].dmr),
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

BVF_TEST_MAIN(TestLan)
#include "test_lan.moc"
