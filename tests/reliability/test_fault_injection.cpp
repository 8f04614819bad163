// Faults injected into real split and merge runs: a disk that fills up, a
// stop at any record. Every run must end
// with the code and question its failure calls for, and what reached the disk
// must read back as whole records of the source.
#include "MergeTestKit.h"
#include "TestRegistry.h"
#include "WorkerSources.h"
#include "WorkerThreads.h"

#include <QRegularExpression>

using namespace ReliabilityTestKit;
using namespace MergeTestKit;

Q_DECLARE_METATYPE(ReliabilityTestKit::SourceKind)
Q_DECLARE_METATYPE(StructSplitSettings)

namespace {

// Empty when the file holds whole records from the start of clAll but not
// all of them, followed at most by the start of one more that the reader
// leaves out.
QString CutShortProblem(const QString &clstrPath, const QByteArray &clHeader,
                        const QList<QByteArray> &clAll) {
    const ContainerFrames f = FramesOf(clstrPath);
    const qsizetype n = f.frames.size();
    if (f.header == clHeader && n > 0 && n < clAll.size() && f.frames == clAll.mid(0, n) &&
        f.rest < clAll[n].size() && RecordTimes(clstrPath).size() == n)
        return QString();
    return QStringLiteral("%1: %2 records, %3 bytes more").arg(clstrPath).arg(n).arg(f.rest);
}

} // namespace

class TestFaultInjection : public QObject {
    Q_OBJECT

  private slots:
    void init() { QVERIFY(m_clDir.emplace().isValid()); }
    void mergeOntoAFullDisk_data();
    void mergeOntoAFullDisk();
    void splitOntoAFullDisk();
    void stops_data();
    void stops();

  private:
    QString Path(const QString &clstrName) const { return m_clDir->filePath(clstrName); }
    std::optional<QTemporaryDir> m_clDir;
};

void TestFaultInjection::mergeOntoAFullDisk_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("goOn");
    QTest::newRow("disk full, [ABORT]: what was written stays whole") << "disk" << false;
    QTest::newRow("disk full, room made, go on: the output is complete") << "disk" << true;
    // Its first half reaches the file; written again after going on, that
    // half must not stay in the output as a damaged record.
    QTest::newRow("full inside a record, go on: the record is written once") << "inside" << true;
    QTest::newRow("full only at the close: the merge fails with the reason") << "close" << false;
}

// Two sources of about 300 KiB each, so that a write fails while the records
// are copied; for the close, sources the writer keeps until then.
void TestFaultInjection::mergeOntoAFullDisk() {
    QFETCH(QString, fault);
    QFETCH(bool, goOn);
    const int lRecords = fault == "close" ? 8 : 150;
    MergeRig clRig;
    const QStringList clSources = {Path("a1.bvf"), Path("a2.bvf")};
    for (int s = 0; s < 2; ++s) {
        QList<RecordSpec> clSpecs;
        for (int i = 0; i < lRecords; ++i)
            clSpecs << Generic(At("10:00:00") + 3600 * s + i, 2000);
        QVERIFY(WriteRecording(clSources[s], clSpecs, 0xA1));
    }
    QCOMPARE(clRig.Fill(clSources), 1000);
    const ContainerFrames clFirst = FramesOf(clSources[0]);
    const QList<QByteArray> clAll = clFirst.frames + FramesOf(clSources[1]).frames;
    const QString clstrDisk = Path(QStringLiteral("disk"));
    std::unique_ptr<CSmallDisk> pDisk;
    std::unique_ptr<CFileSizeLimit> pLimit;
    if (fault == "disk") {
        pDisk = std::make_unique<CSmallDisk>(clstrDisk, 256 * 1024);
        QVERIFY(pDisk->Ready());
    } else {
        // The writer keeps records until it holds kKeepBelow bytes; the file
        // may grow only to the middle of the record that passes that mark.
        const qint64 lFrame = clAll[0].size();
        const qint64 lHeld = (qint64(CBrennovarstikFileFormatV1::kKeepBelow) + lFrame - 1) / lFrame;
        pLimit = std::make_unique<CFileSizeLimit>(
            fault == "close" ? 20000
                             : ContainerBytes::kHeaderSize + (lHeld - 1) * lFrame + lFrame / 2);
        QVERIFY(pLimit->IsSet() && QDir().mkpath(clstrDisk));
    }
    const QString clstrJoined = clstrDisk + "/joined.bvf";
    Reply clAnswer = goOn ? GoOn() : Abort();
    bool bRoomMade = !goOn;
    clAnswer.before = [&] {
        if (goOn && pLimit)
            pLimit->Lift();
        bRoomMade = !goOn || !pDisk || pDisk->MakeRoom();
    };
    clRig.events.Script({Reply::To(clstrJoined), clAnswer});
    QCOMPARE(clRig.Merge(), goOn ? 1000 : -1);
    QVERIFY(bRoomMade);
    if (pLimit)
        pLimit->Lift();
    const QString clstrFailure = fault == "close"
                                     ? "failed <" + clstrJoined + ">\nCan not write the file!"
                                     : "write failed " + clstrJoined;
    QCOMPARE(clRig.events.Told(), (QStringList{"output first " + clSources[0], clstrFailure}));
    if (fault == "close")
        return;
    // The bar shows how far the merge came before the question.
    const QStringList clLog = clRig.events.Log();
    const QString clstrBefore = clLog.value(clLog.indexOf(clstrFailure) - 1);
    QVERIFY2(clstrBefore.startsWith("progress ") && clstrBefore != "progress 0",
             qPrintable(clLog.join(u',')));
    QCOMPARE(goOn ? CompareParts({clstrJoined}, clFirst.header, clAll)
                  : CutShortProblem(clstrJoined, clFirst.header, clAll),
             QString());
}

// A part that meets a full disk while minutes are copied into it whole keeps
// whole records only, and the split ends with the reason.
void TestFaultInjection::splitOntoAFullDisk() {
    const QString clstrSource = Path(SourceFileName(SourceKind::SampleV3));
    SourceShape clShape;
    clShape.minutes = 30;
    clShape.rate = 5;
    QVERIFY(WriteSource(SourceKind::SampleV3, clstrSource, clShape));
    const ContainerFrames clSource = FramesOf(clstrSource);
    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrSource), 1000);
    const QString clstrDisk = Path(QStringLiteral("disk"));
    CSmallDisk clDisk(clstrDisk, 256 * 1024);
    QVERIFY(clDisk.Ready());
    StructSplitSettings clSettings = ByNumber(1, 1);
    clSettings.outputFolder = clstrDisk;
    QCOMPARE(clRig.Split(clSettings), -1);
    const QStringList clParts = QDir(clstrDisk).entryList(QDir::Files);
    QCOMPARE(clParts.size(), 1);
    const QString clstrPart = clstrDisk + u'/' + clParts[0];
    QCOMPARE(clRig.events.Errors(), QStringList{"<" + clstrPart + ">\nCan not write the file!"});
    QCOMPARE(CutShortProblem(clstrPart, clSource.header, clSource.frames), QString());
}

// A stop request ends a split or a merge within 1001 records, wherever it
// falls (a counting reader asks for it at a chosen record). What was taken is
// written whole and in order; the run ends as stopped, without a message.
void TestFaultInjection::stops_data() {
    QTest::addColumn<SourceKind>("kind");
    QTest::addColumn<StructSplitSettings>("settings"); // mode 0xFF: a merge of two containers
    QTest::addColumn<qulonglong>("stopAt");            // the record after which Stop is pressed
    // Around the first stop poll, and between later ones.
    for (qulonglong lStopAt : {1ULL, 1000ULL, 1001ULL, 1002ULL, 2345ULL, 7007ULL})
        QTest::addRow("container by time, stop after record %llu", lStopAt)
            << SourceKind::SampleV3 << ByTime(300, true, 1) << lStopAt;
    QTest::newRow("container by number") << SourceKind::SampleV3 << ByNumber(5, 1) << 3456ULL;
    QTest::newRow(".tmw by time") << SourceKind::Tmw << ByTime(600, false, 1) << 4321ULL;
    QTest::newRow(".lan DMR by number") << SourceKind::LanDmr << ByNumber(3, 1) << 1999ULL;
    // In the first file, and in the second, whose records count on from the
    // first's: the stop polls do not start again with each file.
    StructSplitSettings clMerge;
    clMerge.mode = 0xFF;
    QTest::newRow("merge, in the first file") << SourceKind::SampleV3 << clMerge << 1234ULL;
    QTest::newRow("merge, in the second file") << SourceKind::SampleV3 << clMerge << 5678ULL;
    QTest::newRow("merge, at the last record of the first file")
        << SourceKind::SampleV3 << clMerge << 4800ULL;
}

void TestFaultInjection::stops() {
    QFETCH(SourceKind, kind);
    QFETCH(StructSplitSettings, settings);
    QFETCH(qulonglong, stopAt);
    const bool bMerge = settings.mode == 0xFF;
    const QString clstrFolder = Path(QStringLiteral("rec"));
    QVERIFY(QDir().mkpath(clstrFolder));
    QStringList clSources = {clstrFolder + u'/' + SourceFileName(kind)};
    ConvertedSource clExpected;
    if (bMerge) {
        clSources = QStringList{Path("a1.bvf"), Path("a2.bvf")};
        QList<RecordSpec> clFirst, clSecond;
        for (int i = 0; i < 4800; ++i) {
            clFirst << Tetra(At("10:00:00") + i / 4);
            clSecond << Generic(At("11:00:00") + i / 4, 40 + i % 50);
        }
        QVERIFY(WriteRecording(clSources[0], clFirst, 0xAB) &&
                WriteRecording(clSources[1], clSecond, 0xAB));
        clExpected.frames = FramesOf(clSources[0]);
        clExpected.frames.frames += FramesOf(clSources[1]).frames;
    } else {
        SourceShape clShape;
        clShape.minutes = 60;
        clShape.rate = 5;
        QVERIFY(WriteSource(kind, clSources[0], clShape));
        clExpected = Converted(clSources[0], Path("reference.bvf"));
        QVERIFY2(clExpected.problem.isEmpty(), qPrintable(clExpected.problem));
    }
    QVERIFY(qulonglong(clExpected.frames.frames.size()) > stopAt + 2002);
    WorkerRig clRig;
    CMergeEvents clMergeEvents;
    StructWorkerContext clMergeContext(&clMergeEvents);
    StructWorkerContext &clContext = bMerge ? clMergeContext : clRig.context;
    StructSourceInfo clSource;
    if (bMerge) {
        clMergeEvents.Attach(clMergeContext);
        clMergeEvents.Script({Reply::To(Path("joined.bvf"))});
    } else {
        QCOMPARE(clRig.Scan(clSources[0]), 1000);
        clRig.events.Restart();
        clSource = clRig.source;
        clContext.splitSettings = std::make_shared<const StructSplitSettings>(settings);
    }
    PrepareDirectRun(clContext, clSources, clSource);
    ReadCounts clCounts;
    CPlatformEvent *pStop = clContext.stopEvent.get();
    const auto fnOpener = StandInOpener(clCounts, stopAt, [pStop] { pStop->Set(); });
    QCOMPARE(
        (bMerge ? RunMergeWorker(clContext, fnOpener) : RunSplitWorker(clContext, fnOpener)).end,
        RunEnd::Stopped);
    QVERIFY(clCounts.stopped);
    QVERIFY2(clCounts.afterStop <= 1001, qPrintable(QString::number(clCounts.afterStop)));
    QCOMPARE((bMerge ? clMergeEvents.Codes() : clRig.events.Codes()).last(), -1);
    QCOMPARE(bMerge ? clMergeEvents.Told() : clRig.events.Errors(),
             bMerge ? QStringList{"output first " + clSources[0]} : QStringList());
    // The merge looks at the stop after taking a record and leaves that one
    // unwritten; every record before it is in the output.
    const QStringList clOutputs =
        bMerge ? QStringList{Path("joined.bvf")}
               : FilesIn(clstrFolder, {SourceFileName(kind)})
                     .replaceInStrings(QRegularExpression("^"), clstrFolder + u'/');
    QCOMPARE(CompareParts(clOutputs, clExpected.frames.header,
                          clExpected.frames.frames.mid(0, qsizetype(clCounts.delivered) - bMerge)),
             QString());
}

BVF_TEST_MAIN(TestFaultInjection)
#include "test_fault_injection.moc"
