// TMW recordings through the real scan and split workers: generated ".tmw"
// and ".lan" (TETRA and DMR) sources are split by time, and every record the
// source's reader makes must land in exactly one part, as the container keeps
// it, inside that part's span.
#include "TmwSample.h"
#include "WorkerTestKit.h"

#include "TestRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace WorkerTestKit;

Q_DECLARE_METATYPE(SampleFormat)
Q_DECLARE_METATYPE(StructSplitSettings)

namespace {

constexpr int kMinutes = 30;
constexpr uint32_t kRate = 10; // frames or entries a second

template <typename T> void Put(QByteArray &clKey, T value) {
    clKey.append(reinterpret_cast<const char *>(&value), int(sizeof(value)));
}

void PutBytes(QByteArray &clKey, const uint8_t *pData, uint32_t lCount) {
    clKey.append(reinterpret_cast<const char *>(pData), int(lCount));
}

// A record reduced to what the container keeps of it, field by field, so that
// a record read from the source and the same record read from a part give the
// same key. What the container is known to drop: TETRA values beyond their
// 16-bit slots, a TETRA payload frequency of its own (the record's is kept for
// both), data bytes past the bit count, DMR items of slots 0 and 1 unless the
// burst kind is 1, and the high flag of an item without bits.
struct KeptRecord {
    QByteArray key;
    int64_t seconds = 0;
    QString text;    // for messages
    int dropped = 0; // DMR items the container cannot hold
};

KeptRecord Kept(const RawRecord &clRecord) {
    KeptRecord clKept;
    QByteArray &clKey = clKept.key;
    Put(clKey, clRecord.recordClass);
    Put(clKey, clRecord.sourceByte);
    Put(clKey, clRecord.frequency);
    Put(clKey, clRecord.symbolRate);
    Put(clKey, clRecord.value16);
    Put(clKey, clRecord.payloadKind);
    Put(clKey, clRecord.payloadLength);
    if (clRecord.payloadKind == PAYLOAD_DMR && clRecord.payloadLength == kDmrTmvLength) {
        const DmrTmv &d = *static_cast<const DmrTmv *>(clRecord.payload);
        Put(clKey, d.timeslot);
        Put(clKey, d.burstKind);
        Put(clKey, d.timeSeconds);
        Put(clKey, d.milliseconds);
        Put(clKey, d.word1);
        Put(clKey, d.byte1);
        Put(clKey, d.byte2);
        Put(clKey, d.optionalFlags);
        Put(clKey, d.byte4);
        Put(clKey, d.word2);
        Put(clKey, d.word3);
        Put(clKey, d.word4);
        Put(clKey, d.value48);
        Put(clKey, d.word5);
        for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot) {
            const DmrConstItemRef clItem = DmrItemAt(d, lSlot);
            if (clItem.item->itemKind == 0 || (lSlot < 2 && d.burstKind != 1)) {
                clKept.dropped += clItem.item->itemKind != 0 ? 1 : 0;
                Put(clKey, uint32_t(0));
                continue;
            }
            Put(clKey, clItem.item->itemKind);
            Put(clKey, clItem.item->bitCount);
            Put(clKey, uint8_t(clItem.item->highFlag && clItem.item->bitCount));
            Put(clKey, clItem.item->itemFlags);
            PutBytes(clKey, clItem.data,
                     std::min<uint32_t>((clItem.item->bitCount + 7) / 8, clItem.capacity));
        }
        clKept.seconds = int64_t(d.timeSeconds);
        clKept.text = QStringLiteral("DMR burst kind %1 at %2.%3")
                          .arg(d.burstKind)
                          .arg(Clock(clKept.seconds))
                          .arg(d.milliseconds, 3, 10, QLatin1Char('0'));
        return clKept;
    }
    if ((clRecord.payloadKind == PAYLOAD_TETRA || clRecord.payloadKind == PAYLOAD_TETRA_AUX) &&
        clRecord.payloadLength == kTetraTmvLength) {
        const TetraTmv &t = *static_cast<const TetraTmv *>(clRecord.payload);
        Put(clKey, t.timeSeconds);
        Put(clKey, t.milliseconds);
        Put(clKey, t.hyperframe);
        Put(clKey, t.multiframe);
        Put(clKey, t.frame);
        Put(clKey, t.timeslot);
        Put(clKey, t.valueFlags);
        Put(clKey, int16_t(t.value1));
        Put(clKey, int16_t(t.value2));
        Put(clKey, int16_t(t.value3));
        Put(clKey, t.direction);
        Put(clKey, t.channelCode);
        Put(clKey, t.bitCount);
        Put(clKey, uint16_t(t.flags2 & 0x04 ? t.extraValue : 0));
        Put(clKey, t.burstType);
        PutBytes(clKey, t.burstInfo, sizeof t.burstInfo);
        Put(clKey, t.dataFlags);
        Put(clKey, t.flags2);
        Put(clKey, t.extended);
        if (t.extended) {
            Put(clKey, t.ext1);
            Put(clKey, t.ext2);
            Put(clKey, t.ext3);
            Put(clKey, t.ext4);
            PutBytes(clKey, reinterpret_cast<const uint8_t *>(t.ext5), sizeof t.ext5);
        }
        PutBytes(clKey, t.data, std::min<uint32_t>((t.bitCount + 7) / 8, sizeof t.data));
        clKept.seconds = int64_t(t.timeSeconds);
        clKept.text = QStringLiteral("TETRA kind %1 channel %2 at %3.%4")
                          .arg(clRecord.payloadKind)
                          .arg(t.channelCode)
                          .arg(Clock(clKept.seconds))
                          .arg(t.milliseconds, 3, 10, QLatin1Char('0'));
        return clKept;
    }
    clKept.text = QStringLiteral("unexpected record of kind %1, %2 bytes")
                      .arg(clRecord.payloadKind)
                      .arg(clRecord.payloadLength);
    return clKept;
}

struct Reading {
    QList<KeptRecord> records;
    QString problem; // empty when the file was read to its end
};

// Every record of a file through OpenFileFormat: the TMW reader for the
// source, the container reader for a part.
Reading ReadKept(const QString &clstrPath) {
    Reading clReading;
    FileHeaderInfo clInfo{};
    const std::wstring clstrWide = clstrPath.toStdWString();
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(clstrWide.c_str(), clInfo);
    if (!pReader) {
        clReading.problem = clstrPath + QStringLiteral(": cannot be opened");
        return clReading;
    }
    for (;;) {
        RawRecord clRecord{};
        const FileResult enResult = pReader->ReadData(clRecord);
        if (enResult == FILE_END_OF_DATA)
            break;
        if (enResult != FILE_OK) {
            clReading.problem = clstrPath + QStringLiteral(": result %1").arg(int(enResult));
            break;
        }
        clReading.records << Kept(clRecord);
    }
    pReader->CloseFile();
    return clReading;
}

// Empty when both lists hold the same records the same number of times;
// otherwise how they differ.
QString CompareMultisets(QList<KeptRecord> clSource, QList<KeptRecord> clParts) {
    auto fnLess = [](const KeptRecord &a, const KeptRecord &b) { return a.key < b.key; };
    std::sort(clSource.begin(), clSource.end(), fnLess);
    std::sort(clParts.begin(), clParts.end(), fnLess);
    QList<KeptRecord> clMissing;
    QList<KeptRecord> clExtra;
    std::set_difference(clSource.begin(), clSource.end(), clParts.begin(), clParts.end(),
                        std::back_inserter(clMissing), fnLess);
    std::set_difference(clParts.begin(), clParts.end(), clSource.begin(), clSource.end(),
                        std::back_inserter(clExtra), fnLess);
    if (clMissing.isEmpty() && clExtra.isEmpty())
        return QString();
    return QStringLiteral("%1 source records missing from the parts (first: %2), %3 records in "
                          "the parts not in the source (first: %4)")
        .arg(clMissing.size())
        .arg(clMissing.isEmpty() ? QStringLiteral("-") : clMissing.first().text)
        .arg(clExtra.size())
        .arg(clExtra.isEmpty() ? QStringLiteral("-") : clExtra.first().text);
}

} // namespace

class TestSplitTmw : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void splitByTime_data();
    void splitByTime();
    void splitByNumber_data();
    void splitByNumber();

  private:
    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestSplitTmw::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
}

void TestSplitTmw::splitByTime_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<SampleFormat>("format");
    QTest::addColumn<StructSplitSettings>("settings");
    // Each part's first second; the last part ends with the recording.
    QTest::addColumn<QStringList>("partStarts");

    const QStringList clTenMinutes = {"2024-05-06 08:00:00", "2024-05-06 08:10:00",
                                      "2024-05-06 08:20:00"};
    QTest::newRow(".tmw, aligned 10-minute parts")
        << "rec.tmw" << SampleFormat::Tmw << ByTime(600, true) << clTenMinutes;
    QTest::newRow(".tmw, 7-minute parts from the first record")
        << "rec.tmw" << SampleFormat::Tmw << ByTime(420, false)
        << QStringList{"2024-05-06 08:00:00", "2024-05-06 08:07:00", "2024-05-06 08:14:00",
                       "2024-05-06 08:21:00", "2024-05-06 08:28:00"};
    QTest::newRow("TETRA .lan, aligned 10-minute parts")
        << "rec.lan" << SampleFormat::LanTetra << ByTime(600, true) << clTenMinutes;
    QTest::newRow("DMR .LAN, aligned 10-minute parts")
        << "rec.LAN" << SampleFormat::LanDmr << ByTime(600, true) << clTenMinutes;
}

void TestSplitTmw::splitByTime() {
    QFETCH(QString, source);
    QFETCH(SampleFormat, format);
    QFETCH(StructSplitSettings, settings);
    QFETCH(QStringList, partStarts);

    StructSampleSettings clSample;
    clSample.lStartTime = At("2024-05-06 08:00:00");
    clSample.lMinutes = kMinutes;
    clSample.lRate = kRate;
    clSample.lSeed = 21;
    const QString clstrSource = m_pDir->filePath(source);
    const StructSampleOutcome clOutcome =
        WriteTmwSampleRecording(clstrSource.toStdWString().c_str(), clSample, format);
    QCOMPARE(int(clOutcome.enResult), int(FILE_OK));
    QCOMPARE(clOutcome.lFrames, uint64_t(kMinutes) * 60 * kRate);

    const Reading clSource = ReadKept(clstrSource);
    QVERIFY2(clSource.problem.isEmpty(), qPrintable(clSource.problem));
    QCOMPARE(uint64_t(clSource.records.size()), clOutcome.lRecords);

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrSource), 1000);
    QCOMPARE(clRig.source.first.toSecsSinceEpoch(), At("2024-05-06 08:00:00"));
    QCOMPARE(clRig.source.last.toSecsSinceEpoch(), At("2024-05-06 08:29:59"));
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(clRig.events.Errors(), QStringList());
    QCOMPARE(clRig.events.Questions(), QStringList());
    // The items the split files cannot hold are counted for the user.
    int lDropped = 0;
    for (const KeptRecord &clRecord : clSource.records)
        lDropped += clRecord.dropped;
    QCOMPARE(clRig.events.Notices().size(), lDropped > 0 ? 1 : 0);
    if (lDropped > 0)
        QVERIFY(clRig.events.Notices()[0].endsWith(
            QStringLiteral("\n%1 DMR item(s) can not be stored in a split file and were left out.")
                .arg(lDropped)));
    QCOMPARE(lDropped > 0, format == SampleFormat::LanDmr);

    // Named after each part's first record, in the order they were written.
    const QString clstrBase = QFileInfo(source).completeBaseName();
    QStringList clExpectedNames;
    for (int i = 0; i < partStarts.size(); ++i)
        clExpectedNames << QStringLiteral("%1__%2__%3.bvf")
                               .arg(clstrBase)
                               .arg(i + 1, 2, 10, QLatin1Char('0'))
                               .arg(QString(partStarts[i]).replace(u' ', u'_').replace(u':', u'.'));
    const QStringList clNames = FilesIn(m_pDir->path(), {source});
    QCOMPARE(clNames, clExpectedNames);

    QList<KeptRecord> clInParts;
    for (int i = 0; i < clNames.size(); ++i) {
        const Reading clPart = ReadKept(m_pDir->filePath(clNames[i]));
        QVERIFY2(clPart.problem.isEmpty(), qPrintable(clPart.problem));
        QVERIFY2(!clPart.records.isEmpty(), qPrintable(clNames[i]));
        // Every record lies within its part's span, and the first one opens it.
        const int64_t lFrom = At(qPrintable(partStarts[i]));
        const int64_t lTo = i + 1 < partStarts.size() ? At(qPrintable(partStarts[i + 1]))
                                                      : clSample.lStartTime + kMinutes * 60;
        QCOMPARE(clPart.records.first().seconds, lFrom);
        for (const KeptRecord &clRecord : clPart.records)
            QVERIFY2(clRecord.seconds >= lFrom && clRecord.seconds < lTo,
                     qPrintable(clNames[i] + QStringLiteral(": ") + clRecord.text));
        clInParts << clPart.records;
    }

    // Each record once, field for field, and in the source's order.
    QCOMPARE(CompareMultisets(clSource.records, clInParts), QString());
    QCOMPARE(clInParts.size(), clSource.records.size());
    for (int i = 0; i < clInParts.size(); ++i)
        QVERIFY2(clInParts[i].key == clSource.records[i].key,
                 qPrintable(QStringLiteral("record %1: %2").arg(i).arg(clInParts[i].text)));
}

void TestSplitTmw::splitByNumber_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<SampleFormat>("format");
    QTest::newRow(".tmw") << "rec.tmw" << SampleFormat::Tmw;
    QTest::newRow("TETRA .lan") << "rec.lan" << SampleFormat::LanTetra;
    QTest::newRow("DMR .lan") << "rec.lan" << SampleFormat::LanDmr;
}

// TMW readers know their size only once they have read something; the parts
// must still follow the size the scan measured.
void TestSplitTmw::splitByNumber() {
    QFETCH(QString, source);
    QFETCH(SampleFormat, format);

    StructSampleSettings clSample;
    clSample.lStartTime = At("2024-05-06 08:00:00");
    clSample.lMinutes = kMinutes;
    clSample.lRate = kRate;
    clSample.lSeed = 5;
    const QString clstrSource = m_pDir->filePath(source);
    QCOMPARE(
        int(WriteTmwSampleRecording(clstrSource.toStdWString().c_str(), clSample, format).enResult),
        int(FILE_OK));
    const Reading clSource = ReadKept(clstrSource);
    QVERIFY2(clSource.problem.isEmpty(), qPrintable(clSource.problem));

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrSource), 1000);
    QCOMPARE(clRig.Split(ByNumber(3, 2)), 2000);
    QCOMPARE(clRig.events.Questions(), QStringList());
    const QStringList clNames = FilesIn(m_pDir->path(), {source});
    QCOMPARE(clNames.size(), 3);
    QList<KeptRecord> clInParts;
    for (const QString &clstrName : clNames) {
        const Reading clPart = ReadKept(m_pDir->filePath(clstrName));
        QVERIFY2(clPart.problem.isEmpty(), qPrintable(clPart.problem));
        // Roughly a third each, never a part of one record.
        QVERIFY2(clPart.records.size() > clSource.records.size() / 5, qPrintable(clstrName));
        clInParts << clPart.records;
    }
    QCOMPARE(clInParts.size(), clSource.records.size());
    for (int i = 0; i < clInParts.size(); ++i)
        QVERIFY(clInParts[i].key == clSource.records[i].key);
}

BVF_TEST_MAIN(TestSplitTmw)
#include "test_split_tmw.moc"
