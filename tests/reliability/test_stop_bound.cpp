// A stop request ends a split or a merge within 1001 records, wherever it
// falls: a reader that counts what the worker takes from it asks for the stop
// at a chosen record and counts the records handed out after it. What was
// taken is written whole and in order; the run ends as stopped, without an
// error message.
#include "MergeTestKit.h"
#include "ReliabilityTestKit.h"
#include "TestRegistry.h"
#include "WorkerThreads.h"

#include <QTemporaryDir>
#include <QTest>

using namespace ReliabilityTestKit;
using namespace MergeTestKit;

Q_DECLARE_METATYPE(ReliabilityTestKit::SourceKind)
Q_DECLARE_METATYPE(StructSplitSettings)

class TestStopBound : public QObject {
    Q_OBJECT

  private slots:
    void init();

    void splitStops_data();
    void splitStops();
    void mergeStops_data();
    void mergeStops();

  private:
    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestStopBound::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
    QVERIFY(QDir(m_pDir->path()).mkdir(QStringLiteral("rec")));
}

void TestStopBound::splitStops_data() {
    QTest::addColumn<SourceKind>("kind");
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<qulonglong>("stopAt"); // the record after which Stop is pressed

    // Around the first stop poll, and between later ones.
    for (qulonglong lStopAt : {1ULL, 1000ULL, 1001ULL, 1002ULL, 2345ULL, 7007ULL})
        QTest::addRow("container by time, stop after record %llu", lStopAt)
            << SourceKind::SampleV3 << ByTime(300, true, 1) << lStopAt;
    QTest::newRow("container by number") << SourceKind::SampleV3 << ByNumber(5, 1) << 3456ULL;
    QTest::newRow(".tmw by time") << SourceKind::Tmw << ByTime(600, false, 1) << 4321ULL;
    QTest::newRow(".lan DMR by number") << SourceKind::LanDmr << ByNumber(3, 1) << 1999ULL;
}

void TestStopBound::splitStops() {
    QFETCH(SourceKind, kind);
    QFETCH(StructSplitSettings, settings);
    QFETCH(qulonglong, stopAt);
    SourceShape clShape;
    clShape.minutes = 60;
    clShape.rate = 5;
    const QString clstrFolder = m_pDir->filePath(QStringLiteral("rec"));
    const QString clstrSource = clstrFolder + u'/' + SourceFileName(kind);
    QVERIFY(WriteSource(kind, clstrSource, clShape));
    const ConvertedSource clExpected =
        Converted(clstrSource, m_pDir->filePath(QStringLiteral("reference.bvf")));
    QVERIFY2(clExpected.problem.isEmpty(), qPrintable(clExpected.problem));
    QVERIFY(qulonglong(clExpected.frames.frames.size()) > stopAt + 2002);

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrSource), 1000);
    StructWorkerContext &clContext = clRig.context;
    clRig.events.Restart();
    PrepareDirectRun(clContext, {clstrSource}, clRig.source);
    clContext.splitSettings = std::make_shared<const StructSplitSettings>(settings);
    ReadCounts clCounts;
    CPlatformEvent *pStop = clContext.stopEvent.get();
    QCOMPARE(
        RunSplitWorker(clContext, StandInOpener(clCounts, stopAt, [pStop] { pStop->Set(); })).end,
        RunEnd::Stopped);

    QVERIFY(clCounts.stopped);
    QVERIFY2(clCounts.afterStop <= 1001, qPrintable(QString::number(clCounts.afterStop)));
    QCOMPARE(clRig.events.Codes().last(), -1);
    QCOMPARE(clRig.events.Errors(), QStringList());
    QStringList clParts;
    for (const QString &clstrName : FilesIn(clstrFolder, {SourceFileName(kind)}))
        clParts << clstrFolder + u'/' + clstrName;
    QCOMPARE(CompareParts(clParts, clExpected.frames.header,
                          clExpected.frames.frames.mid(0, qsizetype(clCounts.delivered))),
             QString());
}

void TestStopBound::mergeStops_data() {
    QTest::addColumn<qulonglong>("stopAt");
    // In the first file, and in the second, whose records count on from the
    // first's: the stop polls do not start again with each file.
    QTest::newRow("in the first file") << 1234ULL;
    QTest::newRow("in the second file") << 5678ULL;
    QTest::newRow("at the last record of the first file") << 4800ULL;
}

void TestStopBound::mergeStops() {
    QFETCH(qulonglong, stopAt);
    const QStringList clSources = {m_pDir->filePath("rec/a1.bvf"), m_pDir->filePath("rec/a2.bvf")};
    QList<RecordSpec> clFirst, clSecond;
    for (int i = 0; i < 4800; ++i) {
        clFirst << Tetra(At("10:00:00") + i / 4);
        clSecond << Generic(At("11:00:00") + i / 4, 40 + i % 50);
    }
    QVERIFY(WriteRecording(clSources[0], clFirst, 0xAB));
    QVERIFY(WriteRecording(clSources[1], clSecond, 0xAB));
    const QList<QByteArray> clAll = FramesOf(clSources[0]).frames + FramesOf(clSources[1]).frames;

    CMergeEvents clEvents;
    StructWorkerContext clContext(&clEvents);
    StructSourceInfo clSource;
    clEvents.Attach(clContext);
    PrepareDirectRun(clContext, clSources, clSource);
    const QString clstrJoined = m_pDir->filePath(QStringLiteral("joined.bvf"));
    clEvents.Script({Reply::To(clstrJoined)});
    ReadCounts clCounts;
    CPlatformEvent *pStop = clContext.stopEvent.get();
    QCOMPARE(
        RunMergeWorker(clContext, StandInOpener(clCounts, stopAt, [pStop] { pStop->Set(); })).end,
        RunEnd::Stopped);

    QVERIFY(clCounts.stopped);
    QVERIFY2(clCounts.afterStop <= 1001, qPrintable(QString::number(clCounts.afterStop)));
    QCOMPARE(clEvents.Codes().last(), -1);
    QCOMPARE(clEvents.Told(), QStringList{"output first " + clSources[0]});
    // The merge looks at the stop after taking a record and leaves that one
    // unwritten; every record before it is in the output.
    const ContainerFrames clOutput = FramesOf(clstrJoined);
    QVERIFY(clOutput.ok);
    QCOMPARE(clOutput.frames.size(), qsizetype(clCounts.delivered) - 1);
    QCOMPARE(clOutput.frames, clAll.mid(0, clOutput.frames.size()));
}

BVF_TEST_MAIN(TestStopBound)
#include "test_stop_bound.moc"
