// The container's codec and reader against the independent model: generated
// records, damaged files, rows for boundaries and mended faults; format choice.
#include "BrennovarstikFileFormatV1.h"
#include "ContainerCodec.h"
#include "ContainerTestKit.h"
#include "FormatChoice.h"
#include "OpenFileFormat.h"
#include "RecordFields.h"
#include "TestPaths.h"
#include "TestRegistry.h"

#include <algorithm>
#include <cmath>

Q_DECLARE_METATYPE(FileFormatKind)

using namespace ContainerBytes;
using namespace ContainerTestKit;

namespace {

QByteArray Bytes(const void *p, qsizetype lLength) {
    return QByteArray(static_cast<const char *>(p), lLength);
}

// Generated records, those the model stores in lVersion, and the file of them
// with the end of each frame.
struct StoredFile {
    CGeneratedRecords generated;
    std::vector<RawRecord> stored;
    QByteArray file;
    QList<qint64> ends;
    StoredFile(int lVersion, uint64_t lSeed, int lCount)
        : generated(lSeed, lCount), file(VersionHeader(lVersion)) {
        for (const RawRecord &clRecord : generated.Records()) {
            const QByteArray clFrame = EncodeFrame(clRecord, lVersion);
            if (clFrame.isEmpty())
                continue;
            stored.push_back(clRecord);
            file += clFrame;
            ends << file.size();
        }
    }
};

// Reads a whole file as the model does: every answer, every field and, in
// version 3, each delivered frame as it stands in the file; then the end for
// good. Empty, or what differs first.
QString ReadsAsTheModel(CBrennovarstikFileFormatV1 &clReader, const QByteArray &clFile,
                        bool bNotices) {
    if (!clReader.SetOption(0, bNotices ? 1 : 0))
        return QStringLiteral("option refused");
    qsizetype lAnswer = 0;
    for (const ReadEvent &clEvent : ModelRead(clFile, bNotices)) {
        RawRecord clRecord{};
        const QString clstrWhere = QStringLiteral("answer %1: ").arg(lAnswer++);
        const FileResult enResult = clReader.ReadData(clRecord);
        if (enResult != clEvent.result)
            return clstrWhere +
                   QStringLiteral("%1, the model says %2").arg(enResult).arg(clEvent.result);
        const QString clstrDiff =
            enResult == FILE_OK ? DifferenceFrom(clRecord, clEvent) : QString();
        const uint8_t *pFrame = nullptr;
        uint32_t lLength = 0;
        const bool bFrame = enResult == FILE_OK && clReader.GetDeliveredFrame(pFrame, lLength);
        if (!clstrDiff.isEmpty())
            return clstrWhere + clstrDiff;
        if (enResult == FILE_OK &&
            (bFrame != (clReader.FileVersion() == 3) ||
             (bFrame && Bytes(pFrame, lLength) != clFile.mid(clEvent.offset, lLength))))
            return clstrWhere + QStringLiteral("delivered frame not as in the file");
    }
    RawRecord clRecord{};
    return clReader.ReadData(clRecord) == FILE_END_OF_DATA ? QString() : QStringLiteral("no end");
}

// The same file read frame by frame, a few at a time: the same answers, each
// frame where the model delivers it, its kind and time as the model's record
// has them, the record when decoded (every third, so that the others are only
// classified), and a frame marked verbatim only where the model writes that
// record to exactly these bytes. lVerbatim counts those.
QString FramesAsTheModel(const QString &clstrPath, const QByteArray &clFile, int &lVerbatim) {
    CBrennovarstikFileFormatV1 clReader;
    if (Open(clReader, clstrPath) != 0 || !clReader.SetOption(0, 1))
        return QStringLiteral("not opened");
    const int lVersion = clReader.FileVersion();
    qsizetype lAnswer = 0;
    StructContainerFrame aFrames[5];
    uint32_t lAt = 0, lCount = 0;
    for (const ReadEvent &clEvent : ModelRead(clFile, true)) {
        const QString clstrWhere = QStringLiteral("frame answer %1: ").arg(lAnswer++);
        FileResult enResult = FILE_OK;
        if (lAt == lCount) {
            lAt = 0;
            enResult = clReader.ReadFrames(aFrames, 1 + uint32_t(lAnswer % 5), lCount);
        }
        const StructContainerFrame &clFrame = aFrames[lAt];
        lAt += enResult == FILE_OK;
        if (enResult != clEvent.result)
            return clstrWhere + QString::number(enResult);
        if (enResult != FILE_OK)
            continue;
        RawRecord clModel = clEvent.record;
        clModel.payload = const_cast<char *>(clEvent.payload.constData());
        const std::optional<int64_t> clTime = RecordTimeSeconds(clModel);
        const QByteArray clBytes = Bytes(clFrame.bytes, clFrame.length);
        if (qint64(clFrame.position) != clEvent.offset ||
            clBytes != clFile.mid(clEvent.offset, clFrame.length) ||
            clFrame.type != uint8_t(clBytes[4]) || clFrame.facts.kind != clModel.payloadKind ||
            clFrame.facts.timed != clTime.has_value() ||
            (clTime && FrameTimeMilliseconds(clFrame.facts) != RecordTimeMilliseconds(clModel)))
            return clstrWhere + QStringLiteral("frame or its facts differ");
        if (clFrame.facts.verbatim && (lVersion != 3 || EncodeFrame(clModel, 3) != clBytes))
            return clstrWhere + QStringLiteral("verbatim, but written otherwise");
        lVerbatim += clFrame.facts.verbatim;
        RawRecord clRecord{};
        if (lAnswer % 3 == 0 && (!clReader.DecodeFrame(clFrame, clRecord) ||
                                 !DifferenceFrom(clRecord, clEvent).isEmpty()))
            return clstrWhere + QStringLiteral("decoded otherwise");
    }
    return QString();
}

QByteArray FlipBit(QByteArray clBytes, int lOffset, int lBit) {
    clBytes[lOffset] = char(uint8_t(clBytes[lOffset]) ^ (1u << lBit));
    return clBytes;
}

} // namespace

class TestContainer : public QObject {
    Q_OBJECT

  private slots:
    void choice_data();
    void choice();
    void onlinePrefix_data();
    void onlinePrefix();
    void positionAndProgress();
    void codecAndReaderAsTheModel_data();
    void codecAndReaderAsTheModel();
    void oneDamagedByteCostsOnlyItsRecords();
    void reading_data();
    void reading();
    void header_data();
    void header();
    void openAndStates();
    void onlineFileGrows();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QTemporaryDir m_clDir;
};

void TestContainer::codecAndReaderAsTheModel_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("notices");
    for (int v = 1; v <= 3; ++v) {
        QTest::addRow("version %d", v) << v << true;
        QTest::addRow("version %d without notices", v) << v << false;
    }
}

// The codec stores every record as the model does, byte for byte, or refuses
// it with the same result; versions 1 and 2 too, which only tests write.
// The reader gives every answer, every field of every record, as the model
// reads the file; a version-3 file offers each delivered frame as it stands
// in the file for pass-through.
void TestContainer::codecAndReaderAsTheModel() {
    QFETCH(int, version);
    QFETCH(bool, notices);
    const StoredFile clStored(version, uint64_t(10 + version), 4000);
    int lRefused = 0;
    for (const RawRecord &clRecord : clStored.generated.Records()) {
        FileResult enModel = FILE_OK;
        const QByteArray clExpected = EncodeFrame(clRecord, version, &enModel);
        EncodePlan clPlan{};
        const FileResult enResult = PlanRecordEncoding(clRecord, version, clPlan);
        QCOMPARE(int(enResult), int(enModel));
        lRefused += enResult != FILE_OK;
        if (enResult != FILE_OK)
            continue;
        QByteArray clFrame(int(clPlan.length), '\xCC');
        EncodeRecord(clRecord, version, clPlan, reinterpret_cast<uint8_t *>(clFrame.data()));
        QCOMPARE(clFrame.toHex(' '), clExpected.toHex(' '));
    }
    QVERIFY(lRefused > 0 && lRefused < 2000);
    const QByteArray &clFile = clStored.file;
    QVERIFY(clFile.size() > 2 * 131072); // more than one read buffer
    const QList<ReadEvent> clModel = ModelRead(clFile, notices);
    const auto lNotices =
        std::count_if(clStored.stored.begin(), clStored.stored.end(),
                      [](const RawRecord &r) { return r.payloadKind == PAYLOAD_NOTICE; });
    QCOMPARE(clModel.size(), qsizetype(clStored.stored.size() + 1 - (notices ? 0 : lNotices)));
    const QString clstrPath = Path("model.bvf");
    QVERIFY(WriteFileBytes(clstrPath, clFile));

    CBrennovarstikFileFormatV1 clReader;
    // A sound file reports nothing, notices left out on request included.
    int lReports = 0;
    clReader.SetDiagnostics([&lReports](const StructReaderDiagnostic &) { ++lReports; });
    // The same object reads the same file twice the same way.
    for (int lRound = 0; lRound < 2; ++lRound) {
        QCOMPARE(Open(clReader, clstrPath), 0);
        QCOMPARE(clReader.FileVersion(), version);
        QCOMPARE(ReadsAsTheModel(clReader, clFile, notices), QString());
        QCOMPARE(lReports, 0);
        clReader.CloseFile();
    }
    // Read frame by frame, almost every frame of a version-3 file is one the
    // writer makes as it stands.
    int lVerbatim = 0;
    QCOMPARE(FramesAsTheModel(clstrPath, clFile, lVerbatim), QString());
    QVERIFY(version == 3 ? lVerbatim > clModel.size() * 9 / 10 : lVerbatim == 0);
    // Each frame with one byte after its head changed and its checksum made
    // good again: what the writer would store otherwise must not pass as verbatim.
    QByteArray clMutated = clFile.left(kHeaderSize);
    CSplitMix64 clRandom{uint64_t(version)};
    for (qsizetype lAt = kHeaderSize; lAt < clFile.size();) {
        QByteArray clFrame = clFile.mid(lAt, Be32At(clFile, int(lAt)));
        lAt += clFrame.size();
        if (clFrame.size() > 10)
            clFrame[10 + int(clRandom.Below(uint32_t(clFrame.size() - 10)))] =
                char(clRandom.Below(4) == 0 ? 0 : clRandom.Next());
        const uint32_t lSum = StoredChecksum(clFrame.mid(10));
        for (int i = 0; i < 4; ++i)
            clFrame[6 + i] = char(lSum >> (24 - 8 * i));
        clMutated += clFrame;
    }
    QVERIFY(WriteFileBytes(clstrPath, clMutated));
    lVerbatim = 0;
    QCOMPARE(FramesAsTheModel(clstrPath, clMutated, lVerbatim), QString());
}

// One byte inserted, lost or changed anywhere after the header: the reader
// still answers exactly as the model, every record the damage does not touch
// is still delivered in order, and what it reports lies where the damage is.
void TestContainer::oneDamagedByteCostsOnlyItsRecords() {
    for (int version = 1; version <= 3; ++version) {
        const StoredFile clStored(version, uint64_t(20 + version), 300);
        const QByteArray &clFile = clStored.file;
        const QList<qint64> &clEnds = clStored.ends;
        QList<QByteArray> clSound;
        for (const ReadEvent &clEvent : ModelRead(clFile, true))
            if (clEvent.result == FILE_OK)
                clSound << clFile.mid(clEvent.offset, Be32At(clFile, int(clEvent.offset)));
        QCOMPARE(clSound.size(), qsizetype(clStored.stored.size()));

        const QString clstrPath = Path("damaged.bvf");
        CSplitMix64 clRandom{uint64_t(version)};
        for (int lTrial = 0; lTrial < 200; ++lTrial) {
            const int lKind = lTrial % 3; // inserted, lost, changed
            const int lAt =
                kHeaderSize + int(clRandom.Below(uint32_t(clFile.size() - kHeaderSize)));
            QByteArray clDamaged = clFile;
            const char cByte = lKind == 0 ? char(clRandom.Next()) : clFile[lAt];
            if (lKind == 0)
                clDamaged.insert(lAt, cByte);
            else if (lKind == 1)
                clDamaged.remove(lAt, 1);
            else
                clDamaged[lAt] = char(cByte ^ char(1 + clRandom.Below(255)));
            const QByteArray clWhere =
                QString("version %1, damage %2 at %3").arg(version).arg(lKind).arg(lAt).toLatin1();
            // The bytes touched: a byte inserted or lost in a run of its like
            // could as well be any of the run; an inserted byte also touches the
            // byte before it.
            int lLo = lAt, lHi = lAt;
            while (lKind != 2 && lLo > kHeaderSize && clFile[lLo - 1] == cByte)
                --lLo;
            while (lKind != 2 && lHi + 1 < clFile.size() && clFile[lHi + 1] == cByte)
                ++lHi;
            auto recordAt = [&clEnds](int lOffset) {
                return std::upper_bound(clEnds.begin(), clEnds.end(), lOffset) - clEnds.begin();
            };
            const auto firstTouched = recordAt(lKind == 0 ? lLo - 1 : lLo);
            const auto lastTouched = recordAt(lHi);
            const qint64 lSpanStart = firstTouched == 0 ? kHeaderSize : clEnds[firstTouched - 1];
            const qint64 lSpanEnd =
                lastTouched < clEnds.size() ? clEnds[lastTouched] + 1 : clDamaged.size();

            QVERIFY(WriteFileBytes(clstrPath, clDamaged));
            CBrennovarstikFileFormatV1 clReader;
            QList<StructReaderDiagnostic> clReports;
            clReader.SetDiagnostics(
                [&clReports](const StructReaderDiagnostic &d) { clReports << d; });
            QCOMPARE(Open(clReader, clstrPath), 0);
            int lVerbatim = 0;
            const QString clstrDiff = ReadsAsTheModel(clReader, clDamaged, true) +
                                      FramesAsTheModel(clstrPath, clDamaged, lVerbatim);
            QVERIFY2(clstrDiff.isEmpty(), clWhere + ": " + clstrDiff.toLatin1());
            QList<QByteArray> clDelivered;
            for (const ReadEvent &clEvent : ModelRead(clDamaged, true))
                if (clEvent.result == FILE_OK)
                    clDelivered << clDamaged.mid(clEvent.offset,
                                                 Be32At(clDamaged, int(clEvent.offset)));
            qsizetype lFound = 0;
            for (qsizetype i = 0; i < clSound.size(); ++i) {
                if (i >= firstTouched && i <= lastTouched)
                    continue;
                while (lFound < clDelivered.size() && clDelivered[lFound] != clSound[i])
                    ++lFound;
                QVERIFY2(lFound < clDelivered.size(),
                         clWhere + " lost record " + QByteArray::number(i));
            }
            for (const StructReaderDiagnostic &clReport : clReports)
                QVERIFY2(qint64(clReport.offset) >= lSpanStart &&
                             qint64(clReport.offset) <= lSpanEnd,
                         clWhere);
            QVERIFY2(lKind == 2 || !clReports.isEmpty(), clWhere);
        }
    }
}

void TestContainer::reading_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<QStringList>("trace");
    QByteArray clFive;
    for (const char *pLabel : {"r1", "r2", "r3", "r4", "r5"})
        clFive += LabelRecord(pLabel, 100);
    const int lRecord = 133; // 10 + 23 + 100
    const QStringList clFour{"G:r1", "G:r2", "G:r3", "G:r4", "3"};
    const QByteArray clA = LabelRecord("a");
    auto between = [&clA](const QByteArray &clMiddle) { return clA + clMiddle + LabelRecord("b"); };
    const QStringList clAB{"G:a", "G:b", "3"}, clRefused{"G:a", "4", "G:b", "3"};
    auto row = [](const char *pName, int v, const QByteArray &clRecords,
                  const QStringList &clTrace) {
        QTest::newRow(pName) << v << clRecords << clTrace;
    };
    row("header only", 3, {}, {"3"});
    row("last record cut short", 3, clFive.left(clFive.size() - 5), clFour);
    row("last record cut in its head", 3, clFive.left(4 * lRecord + 6), clFour);
    row("last record's head only", 3, clFive.left(4 * lRecord + 10), clFour);
    row("ten zero bytes between records", 3, between(QByteArray(10, '\0')), clAB);
    row("next-to-last length past the end", 3, FlipBit(clFive, 3 * lRecord + 1, 0),
        {"G:r1", "G:r2", "G:r3", "G:r5", "3"});
    row("garbage that looks like a length", 3,
        between(QByteArray::fromHex("0000002002000102030405")), clAB);
    // Damage at the end of a file is reported once, then the file ends.
    row("garbage at the end", 3, clA + QByteArray(50, '\xFF'), {"G:a", "4", "3"});
    row("nine bytes at the end", 3, clA + QByteArray(9, '\xFF'), {"G:a", "3"});
    row("garbage beyond a read buffer", 3, clA + QByteArray(300000, '\xFF'), {"G:a", "4", "3"});
    row("length 9", 3, between(QByteArray::fromHex("000000090200000000")), clAB);
    row("length 10, type 2", 3, between(Frame(2, {})), clRefused);
    row("length 131072", 3, between(LabelRecord("big", 131072 - 33)), {"G:a", "G:big", "G:b", "3"});
    row("length 131073", 3, between(LabelRecord("long", 131073 - 33)), clAB);
    // Frames with a good checksum that no record can be made of.
    row("nonzero flag byte", 3, between(Frame(2, QByteArray(23, '\0') + "zz", 1)), clRefused);
    row("type 0", 3, between(Record(0, {}, "zz")), clRefused);
    row("type 0 met while searching", 3, between(QByteArray(10, '\0') + Record(0, {}, "zz")), clAB);
    row("shorter than its sub-header", 3, between(Frame(2, QByteArray(22, '\0'))), clRefused);
    row("unknown type 7 is passed over", 3, between(Record(7, {}, "zz")), clAB);

    // The types each version allows, and heads cut short.
    TetraBody clTetra;
    clTetra.timeSeconds = 77;
    clTetra.bitCount = 16;
    clTetra.data = "xy";
    const QByteArray clV1 = TetraBodyBytes(clTetra, TetraLayout::V1);
    const QByteArray clV2 = TetraBodyBytes(clTetra, TetraLayout::V2);
    const QByteArray clExtended = TetraBodyBytes(clTetra, TetraLayout::Extended);
    const QByteArray clGsm = QByteArray(8, '\x01') + QByteArray(56, '\0');
    const QStringList clTetraRead{"G:a", "T:77", "G:b", "3"};
    row("version 1: TETRA of the version 2 layout", 1, between(Record(3, {}, clV2)), clRefused);
    row("version 1: TETRA of its own layout", 1, between(Record(3, {}, clV1)), clTetraRead);
    row("version 2: TETRA of the version 1 layout", 2, between(Record(3, {}, clV1)), clRefused);
    row("version 1: auxiliary TETRA", 1, between(Record(6, {}, clV2)), clRefused);
    row("version 2: auxiliary TETRA", 2, between(Record(6, {}, clV2)), {"G:a", "A:77", "G:b", "3"});
    row("version 1: extended TETRA", 1, between(Record(8, {}, clExtended)), clRefused);
    row("version 2: extended TETRA", 2, between(Record(8, {}, clExtended)), clTetraRead);
    row("version 2: GSM", 2, between(Record(9, {}, clGsm)), clRefused);
    row("version 3: GSM", 3, between(Record(9, {}, clGsm)),
        {"G:a", "S:72340172838076673", "G:b", "3"});
    row("TETRA body shorter than its head", 3, between(Record(3, {}, clV2.left(31))), clRefused);
    row("extended TETRA body shorter than its head", 3, between(Record(8, {}, clExtended.left(61))),
        clRefused);
    row("GSM body shorter than its head", 3, between(Record(9, {}, clGsm.left(63))), clRefused);
    row("short notice", 3, between(Record(4, {}, NoticeBodyBytes(1, 2, "x").left(135))), clRefused);

    // DMR items: the limits of each kind's slot and the old versions' rules.
    auto dmr = [](int v, QList<DmrItemBytes> clItems, int lCount = -1) {
        DmrBody clBody;
        clBody.timeSeconds = 99;
        clBody.burstKind = 1;
        clBody.withTimeslot = v >= 3;
        clBody.items = clItems;
        clBody.itemCount = lCount;
        return Record(5, {}, DmrBodyBytes(clBody));
    };
    const QStringList clDmrRead{"G:a", "D:99/0", "G:b", "3"};
    row("DMR item overrunning its body", 3, between(dmr(3, {{8, 0, 24, "pq"}})), clRefused);
    row("DMR item count beyond its body", 3, between(dmr(3, {{8, 0, 16, "pq"}}, 2)), clRefused);
    row("DMR item of kind 0", 3, between(dmr(3, {{0, 0, 8, "p"}})), clRefused);
    row("DMR kind 40 read as 39", 3, between(dmr(3, {{40, 0x40, 2, "pq"}})), clDmrRead);
    row("DMR kind 39 of 72 bytes", 3, between(dmr(3, {{39, 0x40, 72, QByteArray(72, 'x')}})),
        clDmrRead);
    row("version 2: DMR kind 40", 2, between(dmr(2, {{40, 0, 8, "p"}})), clRefused);
    // An item announced without its data consumes nothing in versions 1 and 2.
    row("version 2: DMR kind 39 announced", 2, between(dmr(2, {{39, 0, 200, {}}, {8, 0, 8, "p"}})),
        clDmrRead);
    row("version 1: DMR flags with bit 6", 1, between(dmr(1, {{8, 0x40, 200, {}}, {8, 0, 8, "p"}})),
        clDmrRead);
    // A later item of a slot replaces an earlier one; the count is cut to the items a version has.
    QList<DmrItemBytes> clSameSlot;
    for (char c = 'a'; c < 'i'; ++c)
        clSameSlot.append({2, 0, 8, QByteArray(1, c)});
    row("version 3: eighth DMR item is not read", 3, between(dmr(3, clSameSlot)), clDmrRead);
    row("version 2: seventh DMR item is not read", 2, between(dmr(2, clSameSlot.mid(0, 7))),
        clDmrRead);
    // Version 2 does not store the timeslot: kind 1 opens a pair, kind 2 is
    // its second record, other kinds repeat the last one.
    QByteArray clKinds;
    for (int lKind : {2, 3, 1, 2, 3, 1}) {
        DmrBody clBody;
        clBody.withTimeslot = false;
        clBody.burstKind = uint8_t(lKind);
        clBody.timeSeconds = uint64_t(lKind);
        clKinds += Record(5, {}, DmrBodyBytes(clBody));
    }
    row("version 2: DMR timeslots", 2, clKinds,
        {"D:2/0", "D:3/0", "D:1/0", "D:2/1", "D:3/1", "D:1/0", "3"});
}

// Each row as the reader reads it, and as the model does.
void TestContainer::reading() {
    QFETCH(int, version);
    QFETCH(QByteArray, records);
    QFETCH(QStringList, trace);
    const QByteArray clFile = VersionHeader(version) + records;
    QCOMPARE(ModelTrace(clFile, true), trace);
    const QString clstrPath = Path("row.bvf");
    QVERIFY(WriteFileBytes(clstrPath, clFile));
    CBrennovarstikFileFormatV1 clReader;
    QCOMPARE(Open(clReader, clstrPath), 0);
    QCOMPARE(ReadsAsTheModel(clReader, clFile, true), QString());
}

void TestContainer::header_data() {
    QTest::addColumn<QByteArray>("magic");
    QTest::addColumn<int>("version");
    for (int v = 1; v <= 4; ++v)
        QTest::addRow("version %d", v) << MagicText(v) << v % 4;
    QTest::newRow("lower case") << MagicText(3).toLower() << 0;
    QTest::newRow("no terminator") << (MagicText(3) + "_") << 0;
}

// The header as the writer stores it and as the reader takes it, texts that
// fill their whole field included.
void TestContainer::header() {
    QFETCH(QByteArray, magic);
    QFETCH(int, version);
    CSplitMix64 clRandom(7);
    FileHeaderInfo clInfo;
    clRandom.Fill(reinterpret_cast<uint8_t *>(&clInfo), sizeof clInfo);
    const QByteArray clWritten = HeaderOf(clInfo);
    QByteArray clEncoded(kHeaderSize, '\xCC');
    EncodeContainerHeader(clInfo, reinterpret_cast<uint8_t *>(clEncoded.data()));
    QCOMPARE(clEncoded.toHex(), clWritten.toHex());
    QCOMPARE(clEncoded.mid(24, 9).toHex(), QByteArray("000009330000000001"));

    QByteArray clHeader = clWritten;
    clHeader.replace(0, 24, (magic + QByteArray(24, '\0')).left(24));
    clRandom.Fill(reinterpret_cast<uint8_t *>(clHeader.data()) + 24, 9); // ignored when read
    clRandom.Fill(reinterpret_cast<uint8_t *>(clHeader.data()) + 307, 1024);
    FileHeaderInfo clExpected{};
    int lVersion = 0;
    QCOMPARE(HeaderInfoOf(clHeader, clExpected, lVersion), version != 0);
    FileHeaderInfo clDecoded;
    std::memset(&clDecoded, 0, sizeof clDecoded);
    QCOMPARE(
        DecodeContainerHeader(reinterpret_cast<const uint8_t *>(clHeader.constData()), clDecoded),
        version);
    if (version != 0)
        QCOMPARE(Bytes(&clDecoded, sizeof clDecoded).toHex(),
                 Bytes(&clExpected, sizeof clExpected).toHex());

    const QString clstrPath = Path("header.bvf");
    QVERIFY(WriteFileBytes(clstrPath, clHeader));
    CBrennovarstikFileFormatV1 clReader;
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clDecoded, 0)), version ? 0 : 6);
    QCOMPARE(clReader.FileVersion(), version);
    QVERIFY(WriteFileBytes(clstrPath, clHeader.left(kHeaderSize - 1)));
    clReader.CloseFile();
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clDecoded, 0)), 6);
}

void TestContainer::openAndStates() {
    const QString clstrPath = Path("states.bvf");
    QVERIFY(WriteFileBytes(clstrPath, VersionHeader(3) + LabelRecord("a")));
    FileHeaderInfo clInfo{};
    RawRecord clRecord{};
    CBrennovarstikFileFormatV1 clReader;
    QCOMPARE(int(clReader.ReadData(clRecord)), 1);
    QCOMPARE(int(clReader.WriteData(clRecord)), 2);
    QCOMPARE(Open(clReader, Path("no/folder/a.bvf")), 1);
    QCOMPARE(Open(clReader, clstrPath), 0);
    QCOMPARE(Open(clReader, clstrPath), 1);
    QCOMPARE(int(clReader.WriteData(clRecord)), 1); // a reader refuses writing
    QCOMPARE(Create(clReader, Path("other.bvf"), 0, clInfo), 1);
    QCOMPARE(ReadTrace(clReader), QStringList({"G:a", "3"}));
    clReader.CloseFile();
    QCOMPARE(int(clReader.ReadData(clRecord)), 1);
    // An object once opened for writing stays a writer.
    CBrennovarstikFileFormatV1 clWriter;
    QCOMPARE(Create(clWriter, Path("w.bvf"), 0, clInfo), 0);
    QCOMPARE(int(clWriter.ReadData(clRecord)), 2);
    QCOMPARE(Open(clWriter, clstrPath), 1);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    QCOMPARE(Open(clWriter, clstrPath), 0);
    QCOMPARE(int(clWriter.ReadData(clRecord)), 2);

    // Through OpenFileFormat notices are delivered; the prefix "ONLINE:" reads online.
    QVERIFY(WriteFileBytes(Path("c.txt"),
                           VersionHeader(1) + Record(4, {}, NoticeBodyBytes(5, 0, "n"))));
    std::unique_ptr<CVirtualFileFormat> pReader =
        OpenFileFormat(ToWide("ONLINE:" + Path("c.txt")).c_str(), clInfo);
    QVERIFY(pReader && pReader->IsOnlineFile());
    QCOMPARE(ReadTrace(*pReader), QStringList({"N:5", "8"}));
    QVERIFY(WriteFileBytes(Path("notes.txt"), "just some text, not a container at all"));
    QVERIFY(!OpenFileFormat(ToWide(Path("notes.txt")).c_str(), clInfo));
}

// An online file is read as it grows: a record cut anywhere waits for its
// rest, and damage waits for more data instead of ending.
void TestContainer::onlineFileGrows() {
    const QString clstrPath = Path("growing.bvf");
    QVERIFY(WriteFileBytes(clstrPath, VersionHeader(3)));
    CBrennovarstikFileFormatV1 clReader;
    QCOMPARE(Open(clReader, "online:" + clstrPath), 0);
    // The file itself, as the split's copy of whole minutes opens it again.
    QVERIFY(clReader.IsOnlineFile() &&
            QString::fromWCharArray(clReader.GetFileName()) == clstrPath);
    const QByteArray clOne = LabelRecord("one", 200);
    const QByteArray clTwo = LabelRecord("two");
    const struct {
        QByteArray append;
        QStringList trace;
    } aSteps[] = {
        {{}, {"8"}},
        {clOne.left(5), {"8"}},
        {clOne.mid(5, 5), {"8"}},
        {clOne.mid(10, 110), {"8"}},
        {clOne.mid(120), {"G:one", "8"}},
        {QByteArray(10, '\0'), {"8"}},
        {clTwo.left(20), {"8"}},
        {clTwo.mid(20) + LabelRecord("three"), {"G:two", "G:three", "8"}},
    };
    for (const auto &clStep : aSteps) {
        QVERIFY(AppendFileBytes(clstrPath, clStep.append));
        QCOMPARE(ReadTrace(clReader), clStep.trace);
    }
    // Offline, the same reader ends where the file ends, and reads on when it grows.
    clReader.CloseFile();
    QCOMPARE(Open(clReader, clstrPath), 0);
    QCOMPARE(ReadTrace(clReader), QStringList({"G:one", "G:two", "G:three", "3"}));
    QVERIFY(AppendFileBytes(clstrPath, LabelRecord("late").left(20)));
    QCOMPARE(ReadTrace(clReader), QStringList({"3"}));
    QVERIFY(AppendFileBytes(clstrPath, LabelRecord("late").mid(20)));
    QCOMPARE(ReadTrace(clReader), QStringList({"G:late", "3"}));
}

void TestContainer::choice_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<FileFormatKind>("kind");
    QTest::newRow("mixed case .LaN") << "/rec/cell.LaN" << FileFormatKind::Tmw;
    QTest::newRow("lower .tmw") << "/rec/x.tmw" << FileFormatKind::ProprietaryTmw;
    QTest::newRow("exactly four chars") << ".tmw" << FileFormatKind::ProprietaryTmw;
    QTest::newRow("three-character path") << "lan" << FileFormatKind::Container;
    QTest::newRow(".txt is tried as a container") << "notes.txt" << FileFormatKind::Container;
    QTest::newRow("lan without dot") << "/rec/xlan" << FileFormatKind::Container;
    QTest::newRow(".lan inside the path only") << "/a.lan/b.bvf" << FileFormatKind::Container;
    QTest::newRow("online prefix does not hide the extension")
        << "online:/rec/a.tmw" << FileFormatKind::ProprietaryTmw;
}

void TestContainer::choice() {
    QFETCH(QString, path);
    QFETCH(FileFormatKind, kind);
    QCOMPARE(ChooseFileFormat(path.toStdWString().c_str()), kind);
}

void TestContainer::onlinePrefix_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("onlineArgument");
    QTest::addColumn<QString>("opened");
    QTest::addColumn<bool>("online");
    QTest::newRow("online:") << "online:/r/a.bvf" << false << "/r/a.bvf" << true;
    QTest::newRow("Online:") << "Online:/r/a.bvf" << false << "/r/a.bvf" << true;
    QTest::newRow("ONLINE:") << "ONLINE:/r/a.bvf" << false << "/r/a.bvf" << true;
    QTest::newRow("other casing is no prefix")
        << "OnLine:/r/a.bvf" << false << "OnLine:/r/a.bvf" << false;
    QTest::newRow("inside the path is no prefix")
        << "/r/online:a.bvf" << false << "/r/online:a.bvf" << false;
    QTest::newRow("argument used without prefix") << "/r/a.bvf" << true << "/r/a.bvf" << true;
    QTest::newRow("prefix alone") << "online:" << false << "" << true;
}

void TestContainer::onlinePrefix() {
    QFETCH(QString, path);
    QFETCH(bool, onlineArgument);
    QFETCH(QString, opened);
    QFETCH(bool, online);
    const std::wstring clstrPath = path.toStdWString();
    bool bOnline = onlineArgument;
    const wchar_t *pOpened = ApplyOnlinePrefix(clstrPath.c_str(), bOnline);
    QCOMPARE(QString::fromWCharArray(pOpened), opened);
    QCOMPARE(bOnline, online);
}

void TestContainer::positionAndProgress() {
    // Position 0 or below, or an unknown size: no progress.
    QCOMPARE(ConsumedFilePosition(0, 0, 0), uint64_t(0));
    QCOMPARE(ConsumedFilePosition(-1, 10, 5), uint64_t(0));
    QCOMPARE(ConsumedFileProgress(1000, 0, 0, -1), 0.0);
    QCOMPARE(ConsumedFileProgress(1000, 0, 0, 0), 0.0);
    // 1000 bytes read from the file, 400 of them still in the buffer, 100 of
    // those used: 700 consumed.
    QCOMPARE(ConsumedFilePosition(1000, 400, 100), uint64_t(700));
    QCOMPARE(ConsumedFileProgress(1000, 400, 100, 1400), 50.0);
    // Everything held used up: the position is the file position.
    QCOMPARE(ConsumedFilePosition(131072, 131072, 131072), uint64_t(131072));
    // Positions past 4 GiB are not cut.
    const int64_t lBig = int64_t(6) << 30;
    QCOMPARE(ConsumedFilePosition(lBig, 0, 0), uint64_t(lBig));
    QCOMPARE(ConsumedFileProgress(lBig, 0, 0, lBig * 2), 50.0);
}

BVF_TEST_MAIN(TestContainer)
#include "test_container.moc"
