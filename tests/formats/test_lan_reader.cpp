// Reading ".lan" recordings built byte by byte with LanBytes: the stream
// mode, DMR frames and TETRA entries at buffer boundaries, online reading,
// damaged input, read errors and generated recordings; and how little one
// damaged byte costs, in ".lan" and ".tmw" recordings alike.
#include "LanTestKit.h"
#include "OpenFileFormat.h"
#include "ReaderDiagnostics.h"
#include "TestRegistry.h"
#include "TmwBytes.h"

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

// A deterministic byte source for the damaged-input tests.
class CNoise {
  public:
    explicit CNoise(uint32_t lSeed) : m_lState(lSeed) {}
    uint32_t Next() {
        m_lState = m_lState * 1664525u + 1013904223u;
        return m_lState >> 8;
    }

  private:
    uint32_t m_lState;
};

} // namespace

class TestLanReader : public QObject {
    Q_OBJECT

  private slots:
    void streamMode_data();
    void streamMode();
    void bufferBoundary_data();
    void bufferBoundary();
    void onlinePartialEntry_data();
    void onlinePartialEntry();
    void onlineChunksReadTheSame_data();
    void onlineChunksReadTheSame();
    void damagedInputEnds_data();
    void damagedInputEnds();
    void readErrorAnswers5();
    void generatedTetraSequence();
    void generatedDmrSequence();
    void oneDamagedByteCostsOnlyItsUnits_data();
    void oneDamagedByteCostsOnlyItsUnits();
    void progressAndSize();
    void interfaceAnswers();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QTemporaryDir m_clDir;
};

void TestLanReader::streamMode_data() {
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

void TestLanReader::streamMode() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, trace);
    QFETCH(int, mode);

    const QString clstrPath = Path("mode.lan");
    QVERIFY(WriteFileBytes(clstrPath, bytes));
    CTmwFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(int(clReader.Mode()), 0);
    QCOMPARE(Trace(clReader), trace);
    QCOMPARE(int(clReader.Mode()), mode);
    // Reopening starts over in the unknown mode.
    clReader.CloseFile();
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(int(clReader.Mode()), 0);
    QCOMPARE(Trace(clReader), trace);
}

void TestLanReader::bufferBoundary_data() {
    QTest::addColumn<QString>("shape");
    QTest::addColumn<int>("before"); // bytes of the straddling entry before the boundary

    for (int lBefore : {1, 2, 3, 4, 20, 21, 22, 40}) {
        QTest::addRow("DMR frame, %d bytes before", lBefore) << "dmr" << lBefore;
        QTest::addRow("TETRA entry, %d bytes before", lBefore) << "tetra" << lBefore;
        QTest::addRow("resynchronising to an entry, %d bytes before", lBefore)
            << "resync" << lBefore;
    }
}

void TestLanReader::bufferBoundary() {
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
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(Trace(clReader), clTrace);
    // The middle one really was cut by the end of the first buffer.
    QCOMPARE(clReader.RefillCount(), quint64(2));
    QCOMPARE(clReader.GetFileSize(false), quint64(clFile.size()));
}

void TestLanReader::onlinePartialEntry_data() {
    QTest::addColumn<QByteArray>("first");  // whole before the reader starts
    QTest::addColumn<QByteArray>("second"); // arrives in parts
    QTest::addColumn<QByteArray>("third");
    QTest::addColumn<QStringList>("firstRecords");
    QTest::addColumn<QStringList>("secondRecords");
    QTest::addColumn<QStringList>("thirdRecords");

    const QByteArray clExtended = ExtendedEntry(ExtendedFields({6, 8}));
    QTest::newRow("TETRA frame entries")
        << StampEntry(1) << StampEntry(2) << StampEntry(3) << QStringList{Stamp(1)}
        << QStringList{Stamp(2)} << QStringList{Stamp(3)};
    QTest::newRow("an extended entry")
        << StampEntry(1) << clExtended << StampEntry(3) << QStringList{Stamp(1)}
        << QStringList{"T:1700000000.250", "T:1700000000.250"} << QStringList{Stamp(3)};
    QTest::newRow("DMR frames") << DmrNamed(1) << DmrNamed(2, 30) << DmrNamed(3)
                                << QStringList{"W:1"} << QStringList{"W:2"} << QStringList{"W:3"};
    QTest::newRow("the first entry of the file")
        << QByteArray() << StampEntry(2) << StampEntry(3) << QStringList{} << QStringList{Stamp(2)}
        << QStringList{Stamp(3)};
    QTest::newRow("the first frame of the file")
        << QByteArray() << DmrNamed(2) << DmrNamed(3) << QStringList{} << QStringList{"W:2"}
        << QStringList{"W:3"};
    QTest::newRow("an entry after noise")
        << StampEntry(1) << QByteArray(30, '\x44') + StampEntry(2) << StampEntry(3)
        << QStringList{Stamp(1)} << QStringList{Stamp(2)} << QStringList{Stamp(3)};
    QTest::newRow("a frame after noise")
        << DmrNamed(1) << QByteArray(30, '\x44') + DmrNamed(2) << DmrNamed(3) << QStringList{"W:1"}
        << QStringList{"W:2"} << QStringList{"W:3"};
}

void TestLanReader::onlinePartialEntry() {
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QByteArray, third);
    QFETCH(QStringList, firstRecords);
    QFETCH(QStringList, secondRecords);
    QFETCH(QStringList, thirdRecords);

    auto untilNoData = [](CVirtualFileFormat &clReader) {
        QStringList clTrace = Trace(clReader);
        if (clTrace.last() != "8")
            return clTrace;
        clTrace.removeLast();
        return clTrace;
    };
    for (int lSplit :
         {1, 2, 3, 4, 10, 20, 21, 22, int(second.size()) / 2, int(second.size()) - 1}) {
        if (lSplit <= 0 || lSplit >= second.size())
            continue;
        const QByteArray clWhere = "split " + QByteArray::number(lSplit);
        const QString clstrPath = Path("growing.lan");
        QVERIFY(WriteFileBytes(clstrPath, first + second.left(lSplit)));
        CTmwFileFormatV1 clReader;
        FileHeaderInfo clInfo{};
        QCOMPARE(int(clReader.OpenFile(ToWide("online:" + clstrPath).c_str(), clInfo, 0)), 0);
        QVERIFY(clReader.IsOnlineFile());

        QVERIFY2(untilNoData(clReader) == firstRecords, clWhere.constData());
        QCOMPARE(Trace(clReader), QStringList{"8"});
        // All but the last byte: still nothing.
        QVERIFY(AppendFileBytes(clstrPath, second.mid(lSplit, second.size() - lSplit - 1)));
        QCOMPARE(Trace(clReader), QStringList{"8"});
        // The last byte with the next entry's first half.
        QVERIFY(AppendFileBytes(clstrPath, second.right(1) + third.left(third.size() / 2)));
        QVERIFY2(untilNoData(clReader) == secondRecords, clWhere.constData());
        QVERIFY(AppendFileBytes(clstrPath, third.mid(third.size() / 2)));
        QVERIFY2(untilNoData(clReader) == thirdRecords, clWhere.constData());
        clReader.CloseFile();
    }
}

void TestLanReader::onlineChunksReadTheSame_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("chunk");

    // The first well-framed entry has no records; DMR frames follow before
    // the TETRA entries that convert. However the bytes arrive, they are read
    // as TETRA.
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
    for (int lChunk : {1, 7, 100, 4096}) {
        QTest::addRow("mixed, %d bytes at a time", lChunk) << clMixed << lChunk;
        QTest::addRow("TETRA, %d bytes at a time", lChunk) << clTetraFile << lChunk;
        QTest::addRow("DMR, %d bytes at a time", lChunk) << clDmrFile << lChunk;
        QTest::addRow("damaged TETRA, %d bytes at a time", lChunk) << clDamaged << lChunk;
    }
}

void TestLanReader::onlineChunksReadTheSame() {
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
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 1)), 0);
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

void TestLanReader::damagedInputEnds_data() {
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

    // Good recordings with bytes changed, cut short and repeated.
    LanBytes::TetraSequenceSettings clTetra;
    clTetra.entryCount = 300;
    const QByteArray clTetraFile =
        ToBytes(LanBytes::TetraFileBytes(LanBytes::RealisticTetraSequence(clTetra)));
    LanBytes::DmrSequenceSettings clDmr;
    clDmr.frameCount = 1500;
    const QByteArray clDmrFile =
        ToBytes(LanBytes::DmrFileBytes(LanBytes::RealisticDmrSequence(clDmr)));
    for (uint32_t lSeed = 1; lSeed <= 6; ++lSeed) {
        for (const QByteArray *pFile : {&clTetraFile, &clDmrFile}) {
            CNoise clNoise(lSeed);
            QByteArray clBytes = *pFile;
            for (int i = 0; i < 40 * int(lSeed); ++i) {
                const int lAt = int(clNoise.Next() % uint32_t(clBytes.size()));
                clBytes[lAt] = char(clNoise.Next() % 4 ? clNoise.Next() : 0xFF);
            }
            clBytes.truncate(int(clNoise.Next() % uint32_t(clBytes.size())));
            QTest::addRow("%s, seed %u", pFile == &clTetraFile ? "TETRA" : "DMR", lSeed) << clBytes;
        }
    }
    QTest::newRow("lengths of 0xFFFF everywhere")
        << QByteArray("!\xFF\xFF\x7F\xFF\xFF", 6).repeated(30000);
    QTest::newRow("entries of length 0") << QByteArray("!\x00\x00\x0D", 4).repeated(30000);
}

void TestLanReader::damagedInputEnds() {
    QFETCH(QByteArray, bytes);

    const QString clstrPath = Path("damaged.lan");
    QVERIFY(WriteFileBytes(clstrPath, bytes));
    // At most twelve records per marker byte: anything more is a loop.
    const int lLimit = 12 * int(bytes.count('!') + bytes.count('\x7F')) + 1;
    CTmwFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    const QStringList clTrace = Trace(clReader, lLimit + 1);
    QCOMPARE(clTrace.last(), QString("3"));
    QVERIFY(clReader.GetFileSize(false) <= quint64(bytes.size()));
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 3);

    // Online, the same bytes end with 8 after the same records.
    CTmwFileFormatV1 clOnline;
    QCOMPARE(int(clOnline.OpenFile(ToWide(clstrPath).c_str(), clInfo, 1)), 0);
    QStringList clOnlineTrace = Trace(clOnline, lLimit + 1);
    QCOMPARE(clOnlineTrace.last(), QString("8"));
    clOnlineTrace.removeLast();
    QStringList clOffline = clTrace;
    clOffline.removeLast();
    // Online reading holds back an unfinished entry at the end that the
    // finished file gives up on: its records may be fewer, never others.
    QCOMPARE(clOnlineTrace, clOffline.mid(0, clOnlineTrace.size()));
}

void TestLanReader::readErrorAnswers5() {
    // Reading the process's own memory file at offset 0 fails with an
    // input/output error: a read error, not the end of the file.
    const QString clstrPath = Path("unreadable.lan");
    QVERIFY(QFile::link("/proc/self/mem", clstrPath));
    for (uint8_t bOnline : {uint8_t(0), uint8_t(1)}) {
        CTmwFileFormatV1 clReader;
        FileHeaderInfo clInfo{};
        QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, bOnline)), 0);
        RawRecord clRecord{};
        QCOMPARE(int(clReader.ReadData(clRecord)), 5);
        QCOMPARE(int(clReader.ReadData(clRecord)), 5);
    }
}

void TestLanReader::generatedTetraSequence() {
    LanBytes::TetraSequenceSettings clSettings;
    clSettings.seed = 5;
    clSettings.entryCount = 6000;
    const std::vector<LanBytes::TetraSequenceEntry> clEntries =
        LanBytes::RealisticTetraSequence(clSettings);
    const QByteArray clFile = ToBytes(LanBytes::TetraFileBytes(clEntries));
    QVERIFY(clFile.size() > 2 * int(kBufferSize));
    const QString clstrPath = Path("tetra.lan");
    QVERIFY(WriteFileBytes(clstrPath, clFile));

    FileHeaderInfo clInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(ToWide(clstrPath).c_str(), clInfo);
    QVERIFY(pReader);
    QCOMPARE(QByteArray(clInfo.recordingType), QByteArray("TMW recording"));

    auto isKind3 = [](int lType) {
        return lType == 34 || lType == 37 || (lType >= 40 && lType <= 48);
    };
    int lKind = 0;
    int lFrameRecords = 0;
    int lExtendedRecords = 0;
    for (size_t i = 0; i < clEntries.size(); ++i) {
        const LanBytes::TetraSequenceEntry &clEntry = clEntries[i];
        const QByteArray clWhere = "entry " + QByteArray::number(qulonglong(i));
        if (clEntry.shape == LanBytes::EntryShape::Other)
            continue;
        if (clEntry.shape == LanBytes::EntryShape::Frame) {
            const LanBytes::FrameEntryFields &clFields = clEntry.frame;
            const int lBurst = clFields.burstCode;
            const bool bUplink = lBurst == 2 || lBurst == 18;
            if (lBurst == 0)
                continue;
            if (clFields.entryType <= 17)
                lKind = 0;
            else if (isKind3(clFields.entryType))
                lKind = 3;
            const int lCount = bUplink && clFields.entryType == 17 ? 2 : 1;
            for (int k = 0; k < lCount; ++k) {
                RawRecord clRecord{};
                QVERIFY2(pReader->ReadData(clRecord) == FILE_OK, clWhere.constData());
                const TetraTmv &clTetra = Tetra(clRecord);
                QVERIFY2(clTetra.timeSeconds == clEntry.unixSeconds, clWhere.constData());
                QVERIFY2(clTetra.milliseconds == clEntry.milliseconds, clWhere.constData());
                QVERIFY2(clTetra.hyperframe == clFields.hyperframe, clWhere.constData());
                QVERIFY2(clTetra.multiframe == clFields.multiframe, clWhere.constData());
                QVERIFY2(clTetra.frame == clFields.frame, clWhere.constData());
                QVERIFY2(clTetra.timeslot == clFields.timeslot, clWhere.constData());
                const int lDirection = bUplink && !isKind3(clFields.entryType) ? 1 : 0;
                QVERIFY2(clTetra.direction == lDirection, clWhere.constData());
                QVERIFY2(clTetra.flags2 == (lBurst == 17 || lBurst == 18 ? 0x81 : 0x80),
                         clWhere.constData());
                QVERIFY2(clRecord.payloadKind == lKind, clWhere.constData());
                QVERIFY2(clRecord.frequency == 425000000, clWhere.constData());
                QVERIFY2(clTetra.frequency == 425000000, clWhere.constData());
                const int lSource = clFields.entryType == 7 || k == 1 ? 1 : 0;
                QVERIFY2(clTetra.value1 == clFields.values[lSource] / 10, clWhere.constData());
                ++lFrameRecords;
            }
            continue;
        }
        const LanBytes::ExtendedEntryFields &clFields = clEntry.extended;
        for (size_t k = 0; k < clFields.subEntries.size(); ++k) {
            const LanBytes::SubEntryFields &clSub = clFields.subEntries[k];
            RawRecord clRecord{};
            QVERIFY2(pReader->ReadData(clRecord) == FILE_OK, clWhere.constData());
            const TetraTmv &clTetra = Tetra(clRecord);
            QVERIFY2(clRecord.payloadKind == lKind, clWhere.constData());
            QVERIFY2(clTetra.timeSeconds == clEntry.unixSeconds, clWhere.constData());
            QVERIFY2(clTetra.milliseconds == clEntry.milliseconds, clWhere.constData());
            QVERIFY2(clRecord.frequency == clFields.frequency, clWhere.constData());
            QVERIFY2(clTetra.frequency == clFields.frequency, clWhere.constData());
            QVERIFY2(clTetra.direction == clFields.link, clWhere.constData());
            QVERIFY2(clTetra.timeslot == clFields.timeslot, clWhere.constData());
            QVERIFY2(clTetra.value1 == (clSub.value1Source - 5) / 10, clWhere.constData());
            QVERIFY2(clTetra.value2 == (clSub.value2Source - 10) / 100, clWhere.constData());
            QVERIFY2(clTetra.value3 == clSub.value3Source * 125, clWhere.constData());
            QVERIFY2(clTetra.flags2 == (clSub.byteX & 0x80 ? 0x81 : 0x80), clWhere.constData());
            const uint32_t lBits = LanBytes::ChannelTypeBits(clSub.channelType, clSub.byteY);
            QVERIFY2(clTetra.bitCount == lBits, clWhere.constData());
            const bool bValid = !(clSub.flags & LanBytes::kSubDataState) || clSub.dataState == 0;
            QVERIFY2((clTetra.dataFlags != 0) == bValid, clWhere.constData());
            QVERIFY2(std::memcmp(clTetra.data, clSub.data.data(), (lBits + 7) / 8) == 0,
                     clWhere.constData());
            ++lExtendedRecords;
        }
    }
    RawRecord clRecord{};
    QCOMPARE(int(pReader->ReadData(clRecord)), 3);
    QCOMPARE(pReader->GetProgress(), 100.0);
    pReader->CloseFile();
    QVERIFY(lFrameRecords > 3000);
    QVERIFY(lExtendedRecords > 2000);
}

void TestLanReader::generatedDmrSequence() {
    LanBytes::DmrSequenceSettings clSettings;
    clSettings.seed = 9;
    clSettings.frameCount = 8000;
    const std::vector<LanBytes::DmrSequenceFrame> clFrames =
        LanBytes::RealisticDmrSequence(clSettings);
    const QByteArray clFile = ToBytes(LanBytes::DmrFileBytes(clFrames));
    QVERIFY(clFile.size() > 2 * int(kBufferSize));
    const QString clstrPath = Path("dmr.lan");
    QVERIFY(WriteFileBytes(clstrPath, clFile));

    FileHeaderInfo clInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(ToWide(clstrPath).c_str(), clInfo);
    QVERIFY(pReader);
    // Slot, bytes and bits of each item kind 0 to 39 by the placement table,
    // and the most data bytes the acceptance table lets through.
    struct Place {
        int slot;
        int bytes;
        int bits;
        int accepted;
    };
    const Place aPlaces[40] = {
        {-1, 0, 0, 0},    {2, 2, 16, 2},    {4, 3, 20, 3},   {0, 3, 7, 1},     {0, 3, 24, 3},
        {3, 18, 32, 4},   {1, 9, 36, 5},    {3, 18, 77, 10}, {5, 27, 216, 33}, {5, 27, 216, 27},
        {5, 27, 96, 12},  {5, 27, 96, 12},  {5, 27, 96, 12}, {5, 27, 96, 12},  {5, 27, 96, 12},
        {5, 27, 96, 12},  {5, 27, 96, 12},  {5, 27, 96, 12}, {5, 27, 144, 18}, {5, 27, 96, 12},
        {5, 27, 192, 24}, {5, 27, 96, 12},  {-1, 0, 0, 0},   {-1, 0, 0, 0},    {-1, 0, 0, 0},
        {-1, 0, 0, 0},    {5, 27, 32, 4},   {-1, 0, 0, 0},   {-1, 0, 0, 0},    {-1, 0, 0, 0},
        {-1, 0, 0, 0},    {-1, 0, 0, 0},    {-1, 0, 0, 0},   {-1, 0, 0, 0},    {-1, 0, 0, 0},
        {-1, 0, 0, 0},    {3, 18, 128, 16}, {1, 9, 68, 8},   {3, 18, 32, 0},   {-1, 0, 0, 0},
    };

    bool bKind1Seen = false;
    int lRecords = 0;
    int lSecondTimeslot = 0;
    for (size_t i = 0; i < clFrames.size(); ++i) {
        const LanBytes::DmrFrameFields &clFields = clFrames[i].fields;
        if (clFields.frameKind != 2)
            continue;
        const QByteArray clWhere = "frame " + QByteArray::number(qulonglong(i));
        RawRecord clRecord{};
        QVERIFY2(pReader->ReadData(clRecord) == FILE_OK, clWhere.constData());
        QVERIFY2(clRecord.payloadKind == PAYLOAD_DMR, clWhere.constData());
        const DmrTmv &clDmr = Dmr(clRecord);
        const LanBytes::DmrTime &clTime = clFrames[i].time;
        const QDateTime clExpected(QDate(clTime.year, clTime.month, clTime.day),
                                   QTime(clTime.hour, clTime.minute, clTime.second), Qt::UTC);
        QVERIFY2(clDmr.timeSeconds == quint64(clExpected.toSecsSinceEpoch()), clWhere.constData());
        QVERIFY2(clDmr.milliseconds == clTime.milliseconds, clWhere.constData());
        const int lBurstKind = qMin(int(clFields.burstKindCode), 4) + 1;
        QVERIFY2(clDmr.burstKind == lBurstKind, clWhere.constData());
        bKind1Seen = bKind1Seen || lBurstKind == 1;
        const int lTimeslot = lBurstKind == 2 && bKind1Seen ? 1 : 0;
        QVERIFY2(clDmr.timeslot == lTimeslot, clWhere.constData());
        lSecondTimeslot += lTimeslot;
        QVERIFY2(clDmr.word1 == clFields.word1, clWhere.constData());
        QVERIFY2(clDmr.byte1 == clFields.byte1, clWhere.constData());
        QVERIFY2(clDmr.byte2 == clFields.byte2, clWhere.constData());
        const int lFlags = clFields.optionFlags;
        QVERIFY2(clDmr.optionalFlags == lFlags, clWhere.constData());
        QVERIFY2(clDmr.value48 == (lFlags & 1 ? clFields.option40 : 0), clWhere.constData());
        QVERIFY2(clDmr.byte4 == (lFlags & 2 ? clFields.option8 : 0), clWhere.constData());
        QVERIFY2(clDmr.word2 == (lFlags & 4 ? clFields.optionWord2 : 0), clWhere.constData());
        QVERIFY2(clDmr.word3 == (lFlags & 8 ? clFields.optionWord3 : 0), clWhere.constData());
        QVERIFY2(clDmr.word4 == (lFlags & 16 ? clFields.optionWord4 : 0), clWhere.constData());
        QVERIFY2(clDmr.word5 == (lFlags & 32 ? uint16_t(clFields.option32) : 0),
                 clWhere.constData());

        // The last stored item of each slot.
        DmrTmv clSlots{};
        for (const LanBytes::DmrItemFields &clItem : clFields.items) {
            const int lHeld = (clItem.bitCount + 7) / 8;
            if (clItem.kind == 0 || clItem.kind >= 40 || lHeld > aPlaces[clItem.kind].accepted)
                continue;
            const Place &clPlace = aPlaces[clItem.kind];
            if (clPlace.slot < 0)
                continue;
            const DmrItemRef clRef = DmrItemAt(clSlots, clPlace.slot);
            clRef.item->itemKind = clItem.kind;
            clRef.item->bitCount = uint16_t(qMin(int(clItem.bitCount), clPlace.bits));
            clRef.item->highFlag = clItem.flags & 1;
            clRef.item->itemFlags = uint8_t(clItem.flags >> 1);
            std::memset(clRef.data, 0, clRef.capacity);
            if (lHeld > 0)
                std::memcpy(clRef.data, clItem.data.data(), size_t(qMin(lHeld, clPlace.bytes)));
        }
        for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot) {
            const DmrConstItemRef clActual = DmrItemAt(clDmr, lSlot);
            const DmrConstItemRef clWanted = DmrItemAt(static_cast<const DmrTmv &>(clSlots), lSlot);
            QVERIFY2(std::memcmp(clActual.item, clWanted.item, sizeof(DmrItem)) == 0,
                     clWhere.constData());
            QVERIFY2(std::memcmp(clActual.data, clWanted.data, clActual.capacity) == 0,
                     clWhere.constData());
        }
        ++lRecords;
    }
    RawRecord clRecord{};
    QCOMPARE(int(pReader->ReadData(clRecord)), 3);
    QCOMPARE(pReader->GetProgress(), 100.0);
    pReader->CloseFile();
    QVERIFY(lRecords > 7000);
    QVERIFY(lSecondTimeslot > 100);
}

void TestLanReader::oneDamagedByteCostsOnlyItsUnits_data() {
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
void TestLanReader::oneDamagedByteCostsOnlyItsUnits() {
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

void TestLanReader::progressAndSize() {
    const QString clstrPath = Path("progress.lan");
    const QByteArray clFile = StampEntry(1) + StampEntry(2) + QByteArray(10, '\x05');
    QVERIFY(WriteFileBytes(clstrPath, clFile));
    const quint64 lEntry = quint64(StampEntry(1).size());
    CTmwFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(clReader.GetFileSize(true), quint64(0));
    QCOMPARE(clReader.GetFileSize(false), quint64(0));
    QCOMPARE(clReader.GetProgress(), 0.0);
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(clReader.GetFileSize(true), quint64(clFile.size()));
    QCOMPARE(clReader.GetFileSize(false), lEntry);
    QCOMPARE(clReader.GetProgress(), double(lEntry) / (double(clFile.size()) / 100.0));
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(clReader.GetFileSize(false), 2 * lEntry);
    QCOMPARE(int(clReader.ReadData(clRecord)), 3);
    QCOMPARE(clReader.GetFileSize(false), quint64(clFile.size()));
    QCOMPARE(clReader.GetProgress(), 100.0);
}

void TestLanReader::interfaceAnswers() {
    CTmwFileFormatV1 clReader;
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 1);
    QCOMPARE(clReader.GetProgress(), 0.0);
    QCOMPARE(clReader.GetFileSize(true), quint64(0));
    QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), QString());

    FileHeaderInfo clInfo;
    std::memset(&clInfo, 0x33, sizeof clInfo);
    QCOMPARE(int(clReader.OpenFile(ToWide(Path("missing.lan")).c_str(), clInfo, 0)), 1);
    QVERIFY(QDir(m_clDir.path()).mkpath("folder.lan"));
    QCOMPARE(int(clReader.OpenFile(ToWide(Path("folder.lan")).c_str(), clInfo, 0)), 1);
    QCOMPARE(int(clReader.OpenFile(ToWide(Path("no/such/folder/a.lan")).c_str(), clInfo, 0)), 1);
    QCOMPARE(int(clReader.OpenFile(nullptr, clInfo, 0)), 1);

    const QString clstrPath = Path("answers.lan");
    QVERIFY(WriteFileBytes(clstrPath, StampEntry(1) + StampEntry(2)));
    QCOMPARE(int(clReader.OpenFile(ToWide("ONLINE:" + clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(QByteArray(clInfo.recordingType), QByteArray("TMW recording"));
    QCOMPARE(QByteArray(clInfo.infoText1), QByteArray("unknown"));
    QCOMPARE(QByteArray(clInfo.infoText2), QByteArray(" - "));
    QCOMPARE(QByteArray(clInfo.infoText3), QByteArray(" - "));
    QCOMPARE(clInfo.infoType, 1u);
    QCOMPARE(clInfo.fileMagic, quint64(0));
    QCOMPARE(clInfo.startTime, qint64(0));
    QCOMPARE(int(clInfo.value16), 0);
    QVERIFY(clReader.IsOnlineFile());
    QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), clstrPath);
    QCOMPARE(Trace(clReader, 1), QStringList{Stamp(1)});

    // A second open changes nothing.
    FileHeaderInfo clOther{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clOther, 0)), 1);
    QCOMPARE(int(clReader.OpenFileForWriting(ToWide(Path("out.bvf")).c_str(), clInfo, 0)), 1);
    QCOMPARE(int(clReader.WriteData(clRecord)), 2);
    QCOMPARE(int(clReader.FlushData()), 0);
    QCOMPARE(int(clReader.CloseFileForWriting()), 0);
    QCOMPARE(clReader.GetWrittenBytes(), quint64(0));
    QVERIFY(!QFile::exists(Path("out.bvf")));
    QVERIFY(clReader.SetOption(0, 1));
    QVERIFY(!clReader.SetOption(1, 1));
    QVERIFY(!clReader.SetAutoSplit(60, nullptr, nullptr));
    QVERIFY(!clReader.ReservedQuery());
    uint32_t lOut32 = 9;
    uint64_t lOut64 = 9;
    QVERIFY(!clReader.ReservedValue32(1, lOut32));
    QVERIFY(!clReader.ReservedValue64(1, lOut64));
    QCOMPARE(lOut32, 0u);
    QCOMPARE(lOut64, quint64(0));
    QCOMPARE(Trace(clReader), (QStringList{Stamp(2), "8"}));

    clReader.CloseFile();
    QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), QString());
    QCOMPARE(int(clReader.ReadData(clRecord)), 1);
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QVERIFY(!clReader.IsOnlineFile());
    QCOMPARE(Trace(clReader), (QStringList{Stamp(1), Stamp(2), "3"}));

    // Chosen by OpenFileFormat for any case of the extension.
    QVERIFY(QFile::copy(clstrPath, Path("answers.LaN")));
    std::unique_ptr<CVirtualFileFormat> pReader =
        OpenFileFormat(ToWide(Path("answers.LaN")).c_str(), clInfo);
    QVERIFY(pReader);
    QVERIFY(dynamic_cast<CTmwFileFormatV1 *>(pReader.get()) != nullptr);
    QCOMPARE(Trace(*pReader), (QStringList{Stamp(1), Stamp(2), "3"}));
    QVERIFY(!OpenFileFormat(ToWide(Path("missing.lan")).c_str(), clInfo));
}

BVF_TEST_MAIN(TestLanReader)
#include "test_lan_reader.moc"
