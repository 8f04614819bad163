// The source scan worker, run on its thread through the worker context.
#include "WorkerTestKit.h"

#include "TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

using namespace WorkerTestKit;

Q_DECLARE_METATYPE(QList<WorkerTestKit::RecordSpec>)

namespace {

constexpr uint64_t kMagic = 0x0123456789ABCDEFULL;
const QDateTime kEpoch = QDateTime::fromSecsSinceEpoch(0, QTimeZone::utc());

QString Describe(const StructSourceInfo &clInfo) {
    return QStringLiteral("first=%1 last=%2 size=%3 freq=%4 magic=%5 kinds=%6 offset=%7 sync=%8")
        .arg(clInfo.first.isValid() ? Clock(clInfo.first.toSecsSinceEpoch()) : "invalid",
             clInfo.last.isValid() ? Clock(clInfo.last.toSecsSinceEpoch()) : "invalid")
        .arg(clInfo.size)
        .arg(clInfo.frequency)
        .arg(clInfo.fileMagic, 0, 16)
        .arg(clInfo.kindMask, 0, 16)
        .arg(clInfo.offset)
        .arg(clInfo.synchronised);
}

// The description after a failed scan: nothing loaded.
const QString kCleared = QStringLiteral(
    "first=1970-01-01 00:00:00 last=1970-01-01 00:00:00 size=0 freq=0 magic=0 kinds=0 offset=0 "
    "sync=0");

// A frame the reader must step over: valid checksum, flag byte set.
QByteArray FlaggedFrame() {
    return ContainerBytes::Frame(3, QByteArray(60, '\x11'), 1);
}
// A frame of type 0 with a valid checksum.
QByteArray TypeZeroFrame() {
    return ContainerBytes::Frame(0, QByteArray(40, '\x22'));
}

// The recording's bytes with extra bytes put in before frame lIndex.
QByteArray WithInserted(const QByteArray &clBytes, int lIndex, const QByteArray &clExtra) {
    const ContainerFrames clFrames = FramesOf(clBytes);
    QByteArray clResult = clFrames.header;
    for (int i = 0; i < clFrames.frames.size(); ++i) {
        if (i == lIndex)
            clResult += clExtra;
        clResult += clFrames.frames[i];
    }
    return clResult;
}

} // namespace

class TestScanWorker : public QObject {
    Q_OBJECT

  private slots:
    void describesTheSource_data();
    void describesTheSource();
    void frequencyOfTheFirstTimedRecord_data();
    void frequencyOfTheFirstTimedRecord();
    void failsWithoutATimedRecord_data();
    void failsWithoutATimedRecord();
    void stopDuringTheSecondPassClearsTheDescription();
    void progressOfALargerFile();
    void damagedRecordsAreSteppedOver_data();
    void damagedRecordsAreSteppedOver();
    void genericTimeIsLittleEndian();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QTemporaryDir m_clDir;
};

void TestScanWorker::describesTheSource_data() {
    QTest::addColumn<QList<RecordSpec>>("records");
    QTest::addColumn<bool>("online");
    QTest::addColumn<QString>("expected");

    // The first record with a time other than 0 decides first and the
    // frequency; notices count as a kind only.
    const QList<RecordSpec> clMixed = {Notice(),
                                       Tetra(0, 390000000),
                                       Dmr(At("10:20:00"), 421000000),
                                       Generic(At("11:00:00")),
                                       Gsm(At("10:50:00")),
                                       Tetra(At("10:30:00")),
                                       Aux(At("10:40:00")),
                                       Notice()};
    const QString clstrMixed = QStringLiteral(
        "first=10:20:00 last=11:00:00 size=%1 freq=421000000 magic=123456789abcdef kinds=10001f "
        "offset=0 sync=0");
    QTest::newRow("every kind") << clMixed << false << clstrMixed;
    QTest::newRow("online: prefix") << clMixed << true << clstrMixed;
    QTest::newRow("first timed record is not the earliest")
        << QList<RecordSpec>{Tetra(At("10:00:00")), Tetra(At("09:00:00")), Tetra(At("11:00:00")),
                             Tetra(At("10:30:00"))}
        << false
        << QStringLiteral("first=10:00:00 last=11:00:00 size=%1 freq=-1 magic=123456789abcdef "
                          "kinds=1 offset=0 sync=0");
    QTest::newRow("one record") << QList<RecordSpec>{Gsm(At("23:59:59"), 935000000)} << false
                                << QStringLiteral(
                                       "first=23:59:59 last=23:59:59 size=%1 freq=935000000 "
                                       "magic=123456789abcdef kinds=10 offset=0 sync=0");
}

void TestScanWorker::describesTheSource() {
    QFETCH(QList<RecordSpec>, records);
    QFETCH(bool, online);
    QFETCH(QString, expected);
    const QString clstrPath = Path(QStringLiteral("scan.bvf"));
    QVERIFY(WriteRecording(clstrPath, records, kMagic));
    const QString clstrOpened = online ? QStringLiteral("online:") + clstrPath : clstrPath;

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrOpened), 1000);
    // A small file reports only its start and its end.
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, 1000}));
    QCOMPARE(Describe(clRig.source), expected.arg(QFileInfo(clstrPath).size()));
    QCOMPARE(clRig.source.name, clstrOpened);
    QCOMPARE(clRig.source.first.offsetFromUtc(), 0);
    QVERIFY(!WorkerHeld(clRig.context));
}

void TestScanWorker::frequencyOfTheFirstTimedRecord_data() {
    QTest::addColumn<QList<RecordSpec>>("records");
    QTest::addColumn<qint64>("frequency");

    const int64_t t = At("10:00:00");
    QTest::newRow("TETRA, marked valid") << QList<RecordSpec>{Tetra(t, 390012500)} << 390012500LL;
    QTest::newRow("TETRA, not marked") << QList<RecordSpec>{Tetra(t)} << -1LL;
    QTest::newRow("TETRA aux") << QList<RecordSpec>{Aux(t, 390025000)} << 390025000LL;
    QTest::newRow("DMR") << QList<RecordSpec>{Dmr(t, 446006250)} << 446006250LL;
    QTest::newRow("GSM") << QList<RecordSpec>{Gsm(t, 935200000)} << 935200000LL;
    QTest::newRow("generic, bytes 64 to 71")
        << QList<RecordSpec>{Generic(t, 72, 150000000)} << 150000000LL;
    QTest::newRow("generic too short for a frequency")
        << QList<RecordSpec>{Generic(t, 71, 150000000)} << -1LL;
    QTest::newRow("only the first timed record counts")
        << QList<RecordSpec>{Tetra(t), Tetra(t + 1, 390012500)} << -1LL;
    QTest::newRow("records without time do not count")
        << QList<RecordSpec>{Tetra(0, 390012500), Notice(), Dmr(t, 446006250)} << 446006250LL;
}

void TestScanWorker::frequencyOfTheFirstTimedRecord() {
    QFETCH(QList<RecordSpec>, records);
    QFETCH(qint64, frequency);
    const QString clstrPath = Path(QStringLiteral("frequency.bvf"));
    QVERIFY(WriteRecording(clstrPath, records));
    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrPath), 1000);
    QCOMPARE(clRig.source.frequency, frequency);
}

void TestScanWorker::failsWithoutATimedRecord_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // empty: write the records
    QTest::addColumn<QList<RecordSpec>>("records");

    const QList<RecordSpec> clNone;
    QTest::newRow("notices only") << "notices.bvf" << QByteArray()
                                  << QList<RecordSpec>{Notice(), Notice()};
    QTest::newRow("times of 0 and a generic record without time")
        << "zero.bvf" << QByteArray()
        << QList<RecordSpec>{Tetra(0), Dmr(0), Generic(At("10:00:00"), 23), Notice()};
    QTest::newRow("header only") << "empty.bvf" << QByteArray() << clNone;
    QTest::newRow("missing file") << "missing.bvf" << QByteArray("-") << clNone;
    QTest::newRow("not a container") << "garbage.bvf" << QByteArray(4000, '\x5a') << clNone;
    QTest::newRow("path of 260 characters")
        << QString(256, u'p') + ".bvf" << QByteArray("-") << clNone;
}

void TestScanWorker::failsWithoutATimedRecord() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QList<RecordSpec>, records);
    const QString clstrPath = name.size() > 200 ? name : Path(name);
    if (bytes.isEmpty())
        QVERIFY(WriteRecording(clstrPath, records));
    else if (bytes != "-")
        QVERIFY(WriteBytes(clstrPath, bytes));

    WorkerRig clRig;
    clRig.source.name = QStringLiteral("earlier source");
    QCOMPARE(clRig.Scan(clstrPath), -1);
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, -1}));
    QCOMPARE(clRig.source.name, QString());
    QCOMPARE(Describe(clRig.source), kCleared);
}

void TestScanWorker::stopDuringTheSecondPassClearsTheDescription() {
    const QString clstrPath = Path(QStringLiteral("long.bvf"));
    QList<RecordSpec> clRecords;
    for (int i = 0; i < 6000; ++i)
        clRecords << Dmr(At("08:00:00") + i, 446000000);
    QVERIFY(WriteRecording(clstrPath, clRecords));

    WorkerRig clRig;
    // Progress is reported in the second pass only; the stop comes with the first.
    // The events exist before the thread starts, so the hook may use them.
    clRig.events.OnProgress([&clRig](int lCode) {
        if (lCode > 0 && lCode < 1000)
            clRig.context.stopEvent->Set();
    });
    QCOMPARE(clRig.Scan(clstrPath), -1);
    const QList<int> clCodes = clRig.events.Codes();
    QCOMPARE(clCodes.size(), 3);
    QVERIFY(clCodes[1] >= 1 && clCodes[1] <= 999);
    QCOMPARE(clRig.source.name, QString());
    QCOMPARE(Describe(clRig.source), kCleared);
}

void TestScanWorker::progressOfALargerFile() {
    const QString clstrPath = Path(QStringLiteral("progress.bvf"));
    QList<RecordSpec> clRecords;
    for (int i = 0; i < 12000; ++i)
        clRecords << Tetra(At("08:00:00") + i / 10);
    QVERIFY(WriteRecording(clstrPath, clRecords));

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrPath), 1000);
    const QList<int> clCodes = clRig.events.Codes();
    QVERIFY(clCodes.size() >= 3); // the first poll of the second pass always reports
    QCOMPARE(clCodes.first(), 0);
    QCOMPARE(clCodes.last(), 1000);
    for (int i = 1; i + 1 < clCodes.size(); ++i) {
        QVERIFY2(clCodes[i] >= 1 && clCodes[i] <= 999, qPrintable(QString::number(clCodes[i])));
        QVERIFY(clCodes[i] >= clCodes[i - 1]);
    }
    QCOMPARE(Clock(clRig.source.last.toSecsSinceEpoch()), QStringLiteral("08:19:59"));
}

void TestScanWorker::damagedRecordsAreSteppedOver_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<QByteArray>("damage");
    QTest::addColumn<QString>("first");

    // Records: 10:00, 10:10, 10:20, 10:30 (the latest) and 10:05.
    QTest::newRow("flag byte set, mid-file") << 2 << FlaggedFrame() << "10:00:00";
    QTest::newRow("type 0, mid-file") << 2 << TypeZeroFrame() << "10:00:00";
    QTest::newRow("both, before the latest record")
        << 3 << FlaggedFrame() + TypeZeroFrame() << "10:00:00";
    QTest::newRow("garbage bytes, mid-file") << 2 << QByteArray(300, '\x7f') << "10:00:00";
    QTest::newRow("before the first timed record")
        << 0 << TypeZeroFrame() + FlaggedFrame() << "10:00:00";
}

void TestScanWorker::damagedRecordsAreSteppedOver() {
    QFETCH(int, before);
    QFETCH(QByteArray, damage);
    QFETCH(QString, first);
    const QString clstrPath = Path(QStringLiteral("damaged.bvf"));
    QVERIFY(
        WriteRecording(clstrPath, {Tetra(At("10:00:00")), Dmr(At("10:10:00")), Gsm(At("10:20:00")),
                                   Tetra(At("10:30:00")), Generic(At("10:05:00"))}));
    QVERIFY(WriteBytes(clstrPath, WithInserted(FileBytes(clstrPath), before, damage)));

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrPath), 1000);
    QCOMPARE(Clock(clRig.source.first.toSecsSinceEpoch()), first);
    QCOMPARE(Clock(clRig.source.last.toSecsSinceEpoch()), QStringLiteral("10:30:00"));
    QCOMPARE(clRig.source.kindMask, uint64_t(0x17));
}

void TestScanWorker::genericTimeIsLittleEndian() {
    // Built byte by byte: the time at payload bytes 16..23 least significant
    // byte first, whatever the writer would do.
    auto GenericRecord = [](int64_t lTime) {
        ContainerBytes::CByteWriter clBody;
        clBody.Zeros(16);
        for (int i = 0; i < 8; ++i)
            clBody.U8(uint8_t(uint64_t(lTime) >> (8 * i)));
        clBody.Zeros(8);
        return ContainerBytes::Record(2, ContainerBytes::SubHeader{}, clBody.Result());
    };
    const QString clstrPath = Path(QStringLiteral("generic.bvf"));
    QVERIFY(WriteBytes(clstrPath, ContainerBytes::Header(ContainerBytes::HeaderFields{}) +
                                      GenericRecord(At("12:34:56")) +
                                      ContainerBytes::Record(2, ContainerBytes::SubHeader{},
                                                             QByteArray(20, '\x01')) +
                                      GenericRecord(At("13:00:01"))));
    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrPath), 1000);
    QCOMPARE(Clock(clRig.source.first.toSecsSinceEpoch()), QStringLiteral("12:34:56"));
    QCOMPARE(Clock(clRig.source.last.toSecsSinceEpoch()), QStringLiteral("13:00:01"));
    QCOMPARE(clRig.source.kindMask, uint64_t(1) << PAYLOAD_GENERIC);
}

BVF_TEST_MAIN(TestScanWorker)
#include "test_scan_worker.moc"
