// Writing containers: generated records stored as the model encodes them and
// passed through as frames; refusals, write errors, notices, rotation.
#include "BrennovarstikFileFormatV1.h"
#include "ContainerTestKit.h"
#include "FileSizeLimit.h"
#include "PayloadChecks.h"
#include "TestRegistry.h"

#include <QDateTime>

#include <cstdlib>
#include <cwchar>
#include <utility>

using namespace ContainerBytes;
using namespace ContainerTestKit;

namespace {

RawRecord MakeRecord(uint8_t lKind, const void *pPayload, uint32_t lLength) {
    RawRecord clRecord{};
    clRecord.recordClass = 2;
    clRecord.payloadKind = lKind;
    clRecord.payloadLength = lLength;
    clRecord.payload = const_cast<void *>(pPayload);
    return clRecord;
}

// Writes the frame the reader delivered last; "refused" when WriteFrame
// declines to stand in for WriteData.
QString PassOn(CBrennovarstikFileFormatV1 &clReader, CBrennovarstikFileFormatV1 &clWriter,
               const RawRecord &clRecord) {
    const uint8_t *pFrame = nullptr;
    uint32_t lLength = 0;
    FileResult enResult = FILE_NO_BUFFER;
    if (!clReader.GetDeliveredFrame(pFrame, lLength) ||
        !clWriter.WriteFrame(clRecord, pFrame, lLength, enResult))
        return QStringLiteral("refused");
    return QString::number(enResult);
}

// Writes "T", "D" or "S" and a time of 2024-03-01 ("0": time 0), or "G" and a
// label; TETRA frame numbers count up with lIndex so that the order buffer
// keeps the records in writing order.
FileResult WriteTimed(CVirtualFileFormat &clWriter, const QString &clstrWrite, int lIndex) {
    const QString clstrRest = clstrWrite.mid(1);
    const QTime clTime = QTime::fromString(clstrRest, "hh:mm:ss");
    const int64_t lTime =
        clstrRest == "0" ? 0 : QDateTime(QDate(2024, 3, 1), clTime, Qt::UTC).toSecsSinceEpoch();
    auto t = Zeroed<TetraTmv>();
    auto d = Zeroed<DmrTmv>();
    auto g = Zeroed<GsmTmv>();
    t.bitCount = 8;
    t.multiframe = t.timeslot = d.burstKind = 1;
    t.frame = uint8_t(1 + lIndex % 18);
    t.timeSeconds = d.timeSeconds = uint64_t(lTime);
    g.fileTime = (uint64_t(lTime) + 11644473600ULL) * 10000000ULL;
    const QByteArray clLabel = clstrRest.toLatin1();
    switch (clstrWrite[0].toLatin1()) {
    case 'T':
        return clWriter.WriteData(MakeRecord(PAYLOAD_TETRA, &t, kTetraTmvLength));
    case 'D':
        return clWriter.WriteData(MakeRecord(PAYLOAD_DMR, &d, kDmrTmvLength));
    case 'S':
        return clWriter.WriteData(MakeRecord(PAYLOAD_GSM, &g, kGsmTmvLength));
    }
    return clWriter.WriteData(
        MakeRecord(PAYLOAD_GENERIC, clLabel.constData(), uint32_t(clLabel.size())));
}

// A file's records as "T10:59:59", "D..", "S.." or "G:label" and any other
// answer but the end as its number.
QStringList TimeTrace(const QString &clstrPath) {
    QStringList clTrace = ModelTrace(ReadFileBytes(clstrPath), true);
    if (clTrace.last() == "3")
        clTrace.removeLast();
    for (QString &clstrRecord : clTrace) {
        if (clstrRecord.size() < 3 || clstrRecord[0] == 'G')
            continue;
        const qint64 v = clstrRecord.mid(2).section('/', 0, 0).toLongLong();
        const qint64 lTime = clstrRecord[0] == 'S' ? v / 10000000 - 11644473600LL : v;
        clstrRecord =
            clstrRecord[0] + QDateTime::fromSecsSinceEpoch(lTime, Qt::UTC).toString("hh:mm:ss");
    }
    return clTrace;
}

struct RotationScript {
    QStringList answers; // file names; empty declines
    QStringList boundaries;
    QString folder;
};

bool AnswerBoundary(void *pContext, wchar_t *clstrBuffer, uint32_t lSize, int64_t lBoundary) {
    auto *pScript = static_cast<RotationScript *>(pContext);
    const qsizetype lIndex = pScript->boundaries.size();
    pScript->boundaries << QDateTime::fromSecsSinceEpoch(lBoundary, Qt::UTC).toString("hh:mm:ss");
    const QString clstrName = lIndex < pScript->answers.size() ? pScript->answers[lIndex] : "";
    const std::wstring clstrWide = ToWide(pScript->folder + "/" + clstrName);
    if (clstrName.isEmpty() || clstrWide.size() >= lSize)
        return false;
    std::wcscpy(clstrBuffer, clstrWide.c_str());
    return true;
}

} // namespace

class TestContainerWriter : public QObject {
    Q_OBJECT

  private slots:
    void writesAsTheModelAndPassesFramesOn_data();
    void writesAsTheModelAndPassesFramesOn();
    void keptUntilTheBufferIsNearlyFull();
    void refused_data();
    void refused();
    void passThroughRefused();
    void writeErrors_data();
    void writeErrors();
    void orderBufferNoticeLandsFirst();
    void rotation_data();
    void rotation();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QTemporaryDir m_clDir;
};

void TestContainerWriter::writesAsTheModelAndPassesFramesOn_data() {
    QTest::addColumn<uint8_t>("flags");
    QTest::newRow("each record written at once") << uint8_t(0);
    QTest::newRow("records kept in the buffer") << uint8_t(CBrennovarstikFileFormatV1::kFlagKeep);
}

// The file holds the header and the frames the model makes of the records
// written, nothing else; what was refused is refused with the model's result.
// Read back, each frame passes on as WriteData writes its record.
void TestContainerWriter::writesAsTheModelAndPassesFramesOn() {
    QFETCH(uint8_t, flags);
    FileHeaderInfo clInfo;
    CSplitMix64 clRandom(flags + 1);
    clRandom.Fill(reinterpret_cast<uint8_t *>(&clInfo), sizeof clInfo);
    const CGeneratedRecords clGenerated(30 + flags, 3000);
    const QString clstrSource = Path("source.bvf");
    QByteArray clExpected = HeaderOf(clInfo);
    {
        CBrennovarstikFileFormatV1 clWriter;
        QCOMPARE(Create(clWriter, clstrSource, flags, clInfo), 0);
        for (const RawRecord &clRecord : clGenerated.Records()) {
            FileResult enModel = FILE_OK;
            clExpected += EncodeFrame(clRecord, 3, &enModel);
            QCOMPARE(int(clWriter.WriteData(clRecord)), int(enModel));
            const uint64_t lWritten = clWriter.GetWrittenBytes();
            if (flags == 0)
                QCOMPARE(lWritten, uint64_t(clExpected.size()));
            else
                QVERIFY(lWritten <= uint64_t(clExpected.size()) &&
                        lWritten + 126976 + 2000 > uint64_t(clExpected.size()));
        }
        QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(clExpected.size()));
    }
    const QByteArray clSource = ReadFileBytes(clstrSource);
    QVERIFY2(clSource.size() > 3 * 131072, QByteArray::number(clSource.size()));
    QCOMPARE(clSource.size(), clExpected.size());
    QVERIFY(clSource == clExpected);

    // Every record once through its frame, once through WriteData.
    CBrennovarstikFileFormatV1 clReader;
    FileHeaderInfo clReadInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrSource).c_str(), clReadInfo, 0)), 0);
    QVERIFY(clReader.SetOption(0, 1));
    CBrennovarstikFileFormatV1 clFrames, clEncoded;
    QCOMPARE(Create(clFrames, Path("frames.bvf"), flags, clReadInfo), 0);
    QCOMPARE(Create(clEncoded, Path("encoded.bvf"), flags, clReadInfo), 0);
    RawRecord clRecord{};
    while (clReader.ReadData(clRecord) == FILE_OK) {
        QCOMPARE(PassOn(clReader, clFrames, clRecord), QString("0"));
        QCOMPARE(int(clEncoded.WriteData(clRecord)), 0);
        QCOMPARE(clFrames.GetWrittenBytes(), clEncoded.GetWrittenBytes());
    }
    QCOMPARE(int(clFrames.CloseFileForWriting()), 0);
    QCOMPARE(int(clEncoded.CloseFileForWriting()), 0);
    QVERIFY(ReadFileBytes(Path("frames.bvf")).mid(kHeaderSize) == clSource.mid(kHeaderSize));
    QVERIFY(ReadFileBytes(Path("encoded.bvf")).mid(kHeaderSize) == clSource.mid(kHeaderSize));
}

// 1065-byte records: the 120th brings the buffer to 127,800 bytes, past
// 126,976, and the whole buffer goes out.
void TestContainerWriter::keptUntilTheBufferIsNearlyFull() {
    CBrennovarstikFileFormatV1 clWriter;
    QCOMPARE(Create(clWriter, Path("kept.bvf"), 2), 0);
    TetraTmv clTetra{};
    clTetra.bitCount = 8000;
    for (int i = 1; i <= 123; ++i) {
        clTetra.timeSeconds = uint64_t(i);
        QCOMPARE(int(clWriter.WriteData(MakeRecord(PAYLOAD_TETRA, &clTetra, kTetraTmvLength))), 0);
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + (i < 120 ? 0 : 120 * 1065)));
    }
    QCOMPARE(QFileInfo(Path("kept.bvf")).size(), qint64(2355 + 120 * 1065));
    QCOMPARE(int(clWriter.FlushData()), 0);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + 123 * 1065));
}

void TestContainerWriter::refused_data() {
    QTest::addColumn<uint8_t>("kind");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("payload");
    QTest::addColumn<int>("result");
    QTest::newRow("GSM kind with 1000 bytes") << uint8_t(4) << 1000 << true << 4;
    QTest::newRow("TETRA kind with 1000 bytes") << uint8_t(0) << 1000 << true << 4;
    QTest::newRow("DMR kind with 295 bytes") << uint8_t(1) << 295 << true << 4;
    QTest::newRow("TETRA auxiliary with 1137 bytes") << uint8_t(3) << 1137 << true << 4;
    QTest::newRow("notice with 139 bytes") << uint8_t(20) << 139 << true << 4;
    QTest::newRow("TETRA without its payload") << uint8_t(0) << int(kTetraTmvLength) << false << 4;
    QTest::newRow("generic without its bytes") << uint8_t(2) << 5 << false << 4;
    QTest::newRow("generic of 131039 bytes") << uint8_t(2) << 131072 - 33 << true << 0;
    QTest::newRow("generic of 131040 bytes") << uint8_t(2) << 131072 - 32 << true << 7;
    QTest::newRow("generic far larger than the buffer") << uint8_t(2) << 2000000 << true << 7;
}

// With every flag the refusal is the same and nothing reaches the file.
void TestContainerWriter::refused() {
    QFETCH(uint8_t, kind);
    QFETCH(int, length);
    QFETCH(bool, payload);
    QFETCH(int, result);
    std::vector<uint64_t> clStorage(size_t(length) / 8 + 1, 0);
    const RawRecord clRecord =
        MakeRecord(kind, payload ? clStorage.data() : nullptr, uint32_t(length));
    FileResult enModel = FILE_OK;
    QCOMPARE(EncodeFrame(clRecord, 3, &enModel).isEmpty(), result != 0);
    QCOMPARE(int(enModel), result);
    for (uint8_t lFlags : {uint8_t(0), uint8_t(1), uint8_t(2)}) {
        CBrennovarstikFileFormatV1 clWriter;
        QCOMPARE(Create(clWriter, Path("refused.bvf"), lFlags), 0);
        QCOMPARE(int(clWriter.WriteData(clRecord)), result);
        QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + (result ? 0 : 131072)));
    }
}

// WriteFrame declines, touching nothing, where a frame cannot stand in for
// WriteData: writer states in which WriteData does more than store, and
// frames that are not what WriteData makes of the record handed in.
void TestContainerWriter::passThroughRefused() {
    TetraBody clTetra;
    clTetra.timeSeconds = 1700000004;
    clTetra.bitCount = 16;
    clTetra.data = "xy";
    DmrBody clDmr;
    clDmr.burstKind = 3;
    clDmr.trailing = "tail";
    TetraBody clExtended = clTetra;
    clExtended.extended = 0; // an extended type without extended fields
    const QByteArray clTetraFrame = Record(3, {}, TetraBodyBytes(clTetra, TetraLayout::V2));
    const QByteArray clGenericFrame = LabelRecord("generic", 30);
    QByteArray clSource = clTetraFrame + clGenericFrame +
                          Record(8, {}, TetraBodyBytes(clExtended, TetraLayout::Extended)) +
                          Record(4, {}, NoticeBodyBytes(1, 2, "x") + "more") +
                          Record(5, {}, DmrBodyBytes(clDmr));
    QVERIFY(WriteFileBytes(Path("source.bvf"), VersionHeader(3) + clSource));
    CBrennovarstikFileFormatV1 clReader;
    QCOMPARE(Open(clReader, Path("source.bvf")), 0);
    QVERIFY(clReader.SetOption(0, 1));
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);

    // Writer states: ordered, rotating, never opened (-1), closed (-2), reading (-4).
    const QString clstrTarget = Path("target.bvf");
    for (const auto &[lFlags, lWriteData] : {std::pair{1, 0}, {2, 0}, {-1, 2}, {-2, 2}, {-4, 1}}) {
        CBrennovarstikFileFormatV1 clWriter;
        if (lFlags == -4)
            QCOMPARE(Open(clWriter, Path("source.bvf")), 0);
        else if (lFlags != -1)
            QCOMPARE(Create(clWriter, clstrTarget, uint8_t(std::abs(lFlags))), 0);
        if (lFlags == -2)
            QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
        if (lFlags == 2)
            QVERIFY(clWriter.SetAutoSplit(
                3600, [](void *, wchar_t *, uint32_t, int64_t) { return false; }, nullptr));
        const uint64_t lBefore = clWriter.GetWrittenBytes();
        QCOMPARE(PassOn(clReader, clWriter, clRecord), QString("refused"));
        QCOMPARE(clWriter.GetWrittenBytes(), lBefore);
        QCOMPARE(int(clWriter.WriteData(clRecord)), lWriteData);
        clWriter.CloseFileForWriting();
    }

    // Frames that are not the record; then the rest, each as WriteData encodes it.
    CBrennovarstikFileFormatV1 clWriter;
    QCOMPARE(Create(clWriter, clstrTarget, 0), 0);
    FileResult enResult = FILE_NO_BUFFER;
    auto *pTetra = static_cast<TetraTmv *>(clRecord.payload);
    auto frame = [](const QByteArray &clFrame) {
        return reinterpret_cast<const uint8_t *>(clFrame.constData());
    };
    const uint32_t lLength = uint32_t(clTetraFrame.size());
    QByteArray clFlagged = clTetraFrame;
    clFlagged[5] = 1;
    QVERIFY(!clWriter.WriteFrame(clRecord, nullptr, lLength, enResult));
    QVERIFY(!clWriter.WriteFrame(clRecord, frame(clTetraFrame), lLength - 1, enResult));
    QVERIFY(!clWriter.WriteFrame(clRecord, frame(clGenericFrame), 63, enResult));
    QVERIFY(!clWriter.WriteFrame(clRecord, frame(clFlagged), lLength, enResult));
    pTetra->bitCount = 24; // one data byte more than the frame holds
    QVERIFY(!clWriter.WriteFrame(clRecord, frame(clTetraFrame), lLength, enResult));
    pTetra->bitCount = 16;
    QCOMPARE(int(enResult), int(FILE_NO_BUFFER));
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355));
    QVERIFY(clWriter.WriteFrame(clRecord, frame(clTetraFrame), lLength, enResult));
    QCOMPARE(int(enResult), 0);
    QByteArray clExpected = VersionHeader(3) + clTetraFrame;
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(int(clReader.ReadData(clRecord)), 0);
        if (i > 0)
            QCOMPARE(PassOn(clReader, clWriter, clRecord), QString("refused"));
        QCOMPARE(int(clWriter.WriteData(clRecord)), 0);
        clExpected += EncodeFrame(clRecord, 3);
    }
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    QCOMPARE(ReadFileBytes(clstrTarget), clExpected);
}

void TestContainerWriter::writeErrors_data() {
    QTest::addColumn<uint8_t>("flags");
    QTest::addColumn<int>("payload");  // bytes of each generic payload
    QTest::addColumn<int>("limit");    // file size limit while the second record is written
    QTest::addColumn<int>("accepted"); // bytes in the file after the failure
    // 133-byte frames written at once; the file takes nothing more, or 50
    // bytes of the second frame, which are cut off again.
    QTest::newRow("written at once, nothing taken")
        << uint8_t(0) << 100 << 2355 + 133 << 2355 + 133;
    QTest::newRow("written at once, part taken") << uint8_t(0) << 100 << 2355 + 183 << 2355 + 133;
    // 70,033-byte frames kept: the second does not fit behind the first, and
    // emptying the buffer fails before anything of it is placed.
    QTest::newRow("kept, emptying fails") << uint8_t(2) << 70000 << 2355 << 2355;
    QTest::newRow("kept, emptying takes part") << uint8_t(2) << 70000 << 2355 + 1000 << 2355 + 1000;
}

// A failed write answers 5 and leaves the record untaken, through WriteFrame
// and WriteData alike; written again, it lands once, behind whole records.
void TestContainerWriter::writeErrors() {
    QFETCH(uint8_t, flags);
    QFETCH(int, payload);
    QFETCH(int, limit);
    QFETCH(int, accepted);
    const QByteArray clSource =
        LabelRecord("one", payload) + LabelRecord("two", payload) + LabelRecord("three", payload);
    QVERIFY(WriteFileBytes(Path("source.bvf"), VersionHeader(3) + clSource));
    CBrennovarstikFileFormatV1 clReader;
    QCOMPARE(Open(clReader, Path("source.bvf")), 0);
    CBrennovarstikFileFormatV1 aWriters[2];
    const QString aPaths[2] = {Path("frames.bvf"), Path("encoded.bvf")};
    for (int w = 0; w < 2; ++w)
        QCOMPARE(Create(aWriters[w], aPaths[w], flags), 0);
    RawRecord clRecord{};
    auto writeBoth = [&] {
        return PassOn(clReader, aWriters[0], clRecord) + "/" +
               QString::number(aWriters[1].WriteData(clRecord));
    };
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(writeBoth(), QString("0/0"));
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    {
        CFileSizeLimit clLimit{rlim_t(limit)};
        QVERIFY(clLimit.IsSet());
        QCOMPARE(writeBoth(), QString("5/5"));
        QCOMPARE(writeBoth(), QString("5/5"));
    }
    for (CBrennovarstikFileFormatV1 &clWriter : aWriters)
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(accepted));
    QCOMPARE(writeBoth(), QString("0/0"));
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(writeBoth(), QString("0/0"));
    for (int w = 0; w < 2; ++w) {
        QCOMPARE(int(aWriters[w].CloseFileForWriting()), 0);
        QCOMPARE(ReadFileBytes(aPaths[w]).mid(2355), clSource);
    }
}

// A gap too large for the order buffer is noted in the file, scrambled, before
// the records it flushes; records that are not ordered are written at once.
void TestContainerWriter::orderBufferNoticeLandsFirst() {
    const QString clstrPath = Path("ordered.bvf");
    CBrennovarstikFileFormatV1 clWriter;
    QCOMPARE(Create(clWriter, clstrPath, 1), 0);
    // Downlink timeslot numbers 4396 and 4596: 200 apart, more than the window of 144.
    TetraTmv clFirst{};
    clFirst.timeSeconds = 1700000001;
    clFirst.hyperframe = clFirst.multiframe = clFirst.frame = clFirst.timeslot = 1;
    TetraTmv clSecond = clFirst;
    clSecond.timeSeconds = 1700000002;
    clSecond.multiframe = 3;
    clSecond.frame = 15;
    QCOMPARE(int(clWriter.WriteData(MakeRecord(PAYLOAD_TETRA, &clFirst, kTetraTmvLength))), 0);
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355)); // held in the order buffer
    QCOMPARE(int(clWriter.WriteData(MakeRecord(PAYLOAD_TETRA, &clSecond, kTetraTmvLength))), 0);
    QByteArray clPlain("plain");
    QCOMPARE(int(clWriter.WriteData(MakeRecord(PAYLOAD_GENERIC, clPlain.data(), 5))), 0);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);

    // The notice's own bytes are the order buffer's (test_order_buffer).
    QCOMPARE(ModelTrace(ReadFileBytes(clstrPath), true),
             QStringList({"N:10045", "T:1700000001", "G:plain", "T:1700000002", "3"}));
}

void TestContainerWriter::rotation_data() {
    QTest::addColumn<int>("interval");
    QTest::addColumn<uint8_t>("flags");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("writes"); // kind and time, or G and a label
    QTest::addColumn<QStringList>("boundaries");
    QTest::addColumn<QStringList>("files"); // "name: record record ..."

    auto row = [](const char *pName, int lInterval, uint8_t lFlags, const QStringList &clAnswers,
                  const QStringList &clWrites, const QStringList &clBoundaries,
                  const QStringList &clFiles) {
        QTest::newRow(pName) << lInterval << lFlags << clAnswers << clWrites << clBoundaries
                             << clFiles;
    };
    // Records at or after a boundary go to the new file, late ones still to
    // the old one, until a record 3 seconds past the boundary closes it.
    row("hourly", 3600, 2, {"new.bvf"},
        {"T10:59:59", "T11:00:00", "T10:59:58", "T10:59:59", "D11:00:01", "Gbetween", "T11:00:02",
         "S11:00:03", "T10:59:57"},
        {"11:00:00"},
        {"first.bvf: T10:59:59 T10:59:58 T10:59:59 G:between",
         "new.bvf: T11:00:00 D11:00:01 T11:00:02 S11:00:03 T10:59:57"});
    // A declined boundary or a file that cannot be created is tried again one interval later.
    const QStringList clRetried{"T10:30:00", "T11:00:00", "T11:30:00",
                                "T11:59:59", "T12:00:00", "T12:00:05"};
    const QStringList clRetriedFiles{"first.bvf: T10:30:00 T11:00:00 T11:30:00 T11:59:59",
                                     "later.bvf: T12:00:00 T12:00:05"};
    row("declined", 3600, 0, {"", "later.bvf"}, clRetried, {"11:00:00", "12:00:00"},
        clRetriedFiles);
    row("not created", 3600, 0, {"no/folder/x.bvf", "later.bvf"}, clRetried,
        {"11:00:00", "12:00:00"}, clRetriedFiles);
    QStringList clEvery20, clHours{"first.bvf:", "h11.bvf:", "h12.bvf:", "h13.bvf:"};
    for (int lMinutes = 10 * 60 + 5; lMinutes < 14 * 60; lMinutes += 20) {
        const QString clstrTime = QTime(lMinutes / 60, lMinutes % 60).toString("hh:mm:ss");
        clEvery20 << "T" + clstrTime;
        clHours[lMinutes / 60 - 10] += " T" + clstrTime;
    }
    row("consecutive", 3600, 2, {"h11.bvf", "h12.bvf", "h13.bvf"}, clEvery20,
        {"11:00:00", "12:00:00", "13:00:00"}, clHours);
    // The next boundary comes before the old file would be closed: the
    // overlap is ended first, so no file is lost.
    row("boundary during an overlap", 2, 0, {"b2.bvf", "b4.bvf"},
        {"T10:00:00", "T10:00:02", "T10:00:04", "T10:00:05"}, {"10:00:02", "10:00:04"},
        {"first.bvf: T10:00:00", "b2.bvf: T10:00:02", "b4.bvf: T10:00:04 T10:00:05"});
    // Ordered records still held at closing go to the file of their time.
    row("ordered records held at closing", 3600, 3, {"new.bvf"}, {"T10:59:59", "T11:00:00"},
        {"11:00:00"}, {"first.bvf: T10:59:59", "new.bvf: T11:00:00"});
    // Interval 0 is no rotation; a time before 1970-01-01 00:00:01 sets no boundary.
    row("interval 0", 0, 0, {"never.bvf"}, {"T10:59:00", "T11:00:00", "T12:00:00"}, {},
        {"first.bvf: T10:59:00 T11:00:00 T12:00:00"});
    row("time 0", 3600, 0, {"never.bvf"}, {"T0", "T0"}, {}, {"first.bvf: T00:00:00 T00:00:00"});
}

void TestContainerWriter::rotation() {
    QFETCH(int, interval);
    QFETCH(uint8_t, flags);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, writes);
    QFETCH(QStringList, boundaries);
    QFETCH(QStringList, files);
    RotationScript clScript{answers, {}, m_clDir.path()};
    CBrennovarstikFileFormatV1 clWriter;
    FileHeaderInfo clInfo{};
    clInfo.fileMagic = 0x77;
    QCOMPARE(Create(clWriter, Path("first.bvf"), flags, clInfo), 0);
    QVERIFY(clWriter.SetAutoSplit(interval, AnswerBoundary, &clScript));
    for (int i = 0; i < writes.size(); ++i)
        QCOMPARE(int(WriteTimed(clWriter, writes[i], i)), 0);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    QCOMPARE(clScript.boundaries, boundaries);
    uint64_t lTotal = 0;
    for (const QString &clstrFile : files) {
        const QString clstrName = clstrFile.section(':', 0, 0);
        QCOMPARE((QStringList{clstrName + ":"} + TimeTrace(Path(clstrName))).join(' '), clstrFile);
        const QByteArray clBytes = ReadFileBytes(Path(clstrName));
        QCOMPARE(clBytes.left(kHeaderSize), HeaderOf(clInfo)); // the stored header is used again
        lTotal += uint64_t(clBytes.size());
    }
    QCOMPARE(clWriter.GetWrittenBytes(), lTotal);
}

BVF_TEST_MAIN(TestContainerWriter)
#include "test_container_writer.moc"
