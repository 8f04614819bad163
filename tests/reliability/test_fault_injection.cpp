// Faults injected into real scan, split and merge runs: a disk that fills up
// under a part or a merged output, an output name that leads to a device
// which refuses every write, a source cut short or replaced while it is
// split, a source gone between scan and split, and a source that is still
// being written while it is scanned and split, a stop at any record. Every
// run must end, with the code and question its failure calls for, and what
// reached the disk must read back as whole records of the source.
#include "MergeTestKit.h"
#include "TestRegistry.h"
#include "WorkerSources.h"
#include "WorkerThreads.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

using namespace ReliabilityTestKit;
using namespace MergeTestKit;

Q_DECLARE_METATYPE(ReliabilityTestKit::SourceKind)
Q_DECLARE_METATYPE(StructSplitSettings)

namespace {

const QString kSource = QStringLiteral("cell.bvf");

// lCount generic records of lBytes each, one a second from lFirst on.
QList<RecordSpec> Block(int64_t lFirst, int lCount, uint32_t lBytes) {
    QList<RecordSpec> clSpecs;
    for (int i = 0; i < lCount; ++i)
        clSpecs << Generic(lFirst + i, lBytes);
    return clSpecs;
}

// Appends the bytes of a finished recording to a file in pieces of varying
// size, cutting records anywhere, as a recorder still writing it would.
class CGrowingFile {
  public:
    CGrowingFile(const QString &clstrPath, QByteArray clBytes, qsizetype lFirstPiece)
        : m_clstrPath(clstrPath), m_clBytes(std::move(clBytes)) {
        WriteBytes(clstrPath, m_clBytes.left(lFirstPiece));
        m_lWritten = lFirstPiece;
    }
    ~CGrowingFile() { Finish(); }

    void Start() {
        m_clThread = std::thread([this] {
            QFile clFile(m_clstrPath);
            if (!clFile.open(QIODevice::Append))
                return;
            uint64_t lState = 0x9E3779B97F4A7C15ULL;
            while (!m_bStop && m_lWritten < m_clBytes.size()) {
                lState = lState * 6364136223846793005ULL + 1442695040888963407ULL;
                const qsizetype lPiece = qsizetype(1 + (lState >> 33) % 7000);
                const QByteArray clPiece = m_clBytes.mid(m_lWritten, lPiece);
                clFile.write(clPiece);
                clFile.flush();
                m_lWritten += clPiece.size();
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
        });
    }
    void Finish() {
        m_bStop = true;
        if (m_clThread.joinable())
            m_clThread.join();
    }
    qsizetype Written() const { return m_lWritten; }
    qsizetype Size() const { return m_clBytes.size(); }

  private:
    QString m_clstrPath;
    QByteArray m_clBytes;
    std::atomic<qsizetype> m_lWritten{0};
    std::atomic<bool> m_bStop{false};
    std::thread m_clThread;
};

} // namespace

class TestFaultInjection : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void splitOntoAFullDisk();
    void mergeOntoAFullDisk_data();
    void mergeOntoAFullDisk();
    void outputLeadingToADeviceThatRefusesWrites();
    void sourceChangedDuringTheSplit_data();
    void sourceChangedDuringTheSplit();
    void sourceGoneBeforeTheSplit_data();
    void sourceGoneBeforeTheSplit();
    void sourceStillBeingWritten_data();
    void sourceStillBeingWritten();
    void splitStops_data();
    void splitStops();
    void mergeStops_data();
    void mergeStops();

  private:
    QString Path(const QString &clstrName) const { return m_pDir->filePath(clstrName); }
    // The frames of every part beside the source, in name order; each part
    // whole and with the expected header.
    QList<QByteArray> FramesInParts(const QString &clstrSource, const QByteArray &clHeader) const {
        QList<QByteArray> clFrames;
        for (const QString &clstrPart : PartsIn(m_pDir->path(), clstrSource)) {
            const ContainerFrames clPart = FramesOf(clstrPart);
            if (QFileInfo(clstrPart).isDir())
                continue;
            if (!clPart.ok || clPart.header != clHeader)
                return {QByteArray("not whole: ") + clstrPart.toUtf8()};
            clFrames << clPart.frames;
        }
        return clFrames;
    }
    QStringList PartsIn(const QString &clstrFolder, const QString &clstrSource) const {
        QStringList clPaths;
        for (const QString &clstrName : FilesIn(clstrFolder, {clstrSource}))
            clPaths << clstrFolder + u'/' + clstrName;
        return clPaths;
    }

    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestFaultInjection::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
}

void TestFaultInjection::cleanup() {
    m_pDir.reset();
}

void TestFaultInjection::splitOntoAFullDisk() {
    // Parts of about 60 KiB, 60 KiB and 400 KiB on a disk of 256 KiB; the
    // source stays elsewhere and is reached through a link on that disk, so
    // the parts go there.
    const QList<RecordSpec> clRecords =
        Block(At("10:20:00"), 30, 2000) + Block(At("11:00:00"), 30, 2000) +
        Block(At("12:00:00"), 200, 2000) + Block(At("13:00:00"), 5, 100);
    QVERIFY(WriteRecording(Path(kSource), clRecords));
    const ContainerFrames clSource = FramesOf(Path(kSource));
    QVERIFY(clSource.ok);
    const QString clstrDisk = Path(QStringLiteral("disk"));
    CSmallDisk clDisk(clstrDisk, 256 * 1024);
    QVERIFY(clDisk.Ready());
    QVERIFY(QFile::link(Path(kSource), clstrDisk + u'/' + kSource));

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrDisk + u'/' + kSource), 1000);
    QCOMPARE(clRig.Split(ByTime(3600, true, 1)), -1);
    QCOMPARE(clRig.events.Errors(),
             QStringList{"<" + clstrDisk + "/cell__03.bvf>\nCan not write the file!"});
    QCOMPARE(clRig.events.Questions(), QStringList());
    QCOMPARE(FilesIn(clstrDisk, {kSource}),
             (QStringList{"cell__01.bvf", "cell__02.bvf", "cell__03.bvf"}));

    // The parts before the failure are whole; the failing one holds whole
    // records of its hour, perhaps followed by the start of one more, which
    // the reader leaves out.
    QCOMPARE(
        CompareParts({clstrDisk + "/cell__01.bvf"}, clSource.header, clSource.frames.mid(0, 30)),
        QString());
    QCOMPARE(
        CompareParts({clstrDisk + "/cell__02.bvf"}, clSource.header, clSource.frames.mid(30, 30)),
        QString());
    const QString clstrFailed = clstrDisk + "/cell__03.bvf";
    const ContainerFrames clFailed = FramesOf(clstrFailed);
    QCOMPARE(clFailed.header, clSource.header);
    QVERIFY(!clFailed.frames.isEmpty() && clFailed.frames.size() < 200);
    QCOMPARE(clFailed.frames, clSource.frames.mid(60, clFailed.frames.size()));
    QVERIFY(clFailed.rest < clSource.frames[60].size());
    QCOMPARE(RecordTimes(clstrFailed).size(), clFailed.frames.size());
    // The source itself is untouched.
    QCOMPARE(FramesOf(Path(kSource)).frames, clSource.frames);
}

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

void TestFaultInjection::mergeOntoAFullDisk() {
    QFETCH(QString, fault);
    QFETCH(bool, goOn);
    // Two sources of about 300 KiB each: a write fails while the records are
    // copied, not only the last one at the close; for the close, sources small
    // enough that the writer keeps them until then.
    const int lRecords = fault == "close" ? 8 : 150;
    MergeRig clRig;
    const QStringList clSources = {Path("a1.bvf"), Path("a2.bvf")};
    QVERIFY(WriteRecording(clSources[0], Block(At("10:00:00"), lRecords, 2000), 0xA1));
    QVERIFY(WriteRecording(clSources[1], Block(At("11:00:00"), lRecords, 2000), 0xA1));
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
        QVERIFY(pLimit->IsSet());
        QVERIFY(QDir().mkpath(clstrDisk));
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
    const QStringList clLog = clRig.events.Log();
    if (fault == "close") {
        QCOMPARE(clRig.events.Told(),
                 (QStringList{"output first " + clSources[0],
                              "failed <" + clstrJoined + ">\nCan not write the file!"}));
        return;
    }
    QCOMPARE(clRig.events.Told(),
             (QStringList{"output first " + clSources[0], "write failed " + clstrJoined}));
    // The bar shows how far the merge came before the question.
    const qsizetype lQuestion = clLog.indexOf("write failed " + clstrJoined);
    QVERIFY2(clLog.value(lQuestion - 1).startsWith("progress "), qPrintable(clLog.join(u',')));
    QVERIFY(clLog[lQuestion - 1] != "progress 0");
    if (goOn) {
        // Every record once, in order, and nothing else.
        QCOMPARE(CompareParts({clstrJoined}, clFirst.header, clAll), QString());
        return;
    }
    const ContainerFrames clOutput = FramesOf(clstrJoined);
    QVERIFY(!clOutput.frames.isEmpty() && clOutput.frames.size() < clAll.size());
    QCOMPARE(clOutput.frames, clAll.mid(0, clOutput.frames.size()));
    QVERIFY(clOutput.rest < clAll[0].size());
    QCOMPARE(RecordTimes(clstrJoined).size(), clOutput.frames.size());
}

void TestFaultInjection::outputLeadingToADeviceThatRefusesWrites() {
    // The name of part 2 is a link to a device on which every write fails:
    // the header cannot be written, so the part cannot be opened, and the
    // user is asked whether to try again; with the link gone the split goes on.
    const QList<RecordSpec> clRecords = Block(At("10:20:00"), 5, 100) +
                                        Block(At("11:20:00"), 5, 100) +
                                        Block(At("12:20:00"), 5, 100);
    QVERIFY(WriteRecording(Path(kSource), clRecords));
    const ContainerFrames clSource = FramesOf(Path(kSource));
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), Path("cell__02.bvf")));

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(Path(kSource)), 1000);
    Reply clRetry = Reply::Code(1, true);
    clRetry.before = [this] { QFile::remove(Path("cell__02.bvf")); };
    clRig.events.Script({Reply::Code(OVERWRITE_YES), clRetry});
    QCOMPARE(clRig.Split(ByTime(3600, true, 1)), 2000);
    QCOMPARE(clRig.events.Questions(), (QStringList{"ask:cell__02.bvf", "retry:cell__02.bvf"}));
    QCOMPARE(CompareParts(PartsIn(m_pDir->path(), kSource), clSource.header, clSource.frames),
             QString());

    // The merge asks for another name for the same output.
    MergeRig clMerge;
    const QStringList clParts = PartsIn(m_pDir->path(), kSource);
    QCOMPARE(clMerge.Fill(clParts), 1000);
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), Path("full.bvf")));
    clMerge.events.Script({Reply::To(Path("full.bvf")), Reply::To(Path("joined.bvf"))});
    QCOMPARE(clMerge.Merge(), 1000);
    QCOMPARE(clMerge.events.Told(),
             (QStringList{"output first " + clParts[0], "output again " + clParts[0]}));
    QCOMPARE(CompareParts({Path("joined.bvf")}, clSource.header, clSource.frames), QString());
}

void TestFaultInjection::sourceChangedDuringTheSplit_data() {
    QTest::addColumn<SourceKind>("kind");
    QTest::addColumn<QString>("change");

    for (const auto &clKind :
         {std::pair{"container", SourceKind::SampleV3}, std::pair{".tmw", SourceKind::Tmw},
          std::pair{".lan DMR", SourceKind::LanDmr}}) {
        for (const char *pChange :
             {"cut to a third", "cut to nothing", "replaced by another", "overwritten in place"})
            QTest::addRow("%s, %s", clKind.first, pChange) << clKind.second << QString(pChange);
    }
}

void TestFaultInjection::sourceChangedDuringTheSplit() {
    QFETCH(SourceKind, kind);
    QFETCH(QString, change);
    // Large enough that the reader's buffer holds only a small part of it.
    SourceShape clShape;
    clShape.minutes = 90;
    clShape.rate = 10;
    const QString clstrSource = Path(SourceFileName(kind));
    QVERIFY(WriteSource(kind, clstrSource, clShape));
    SourceShape clOther = clShape;
    clOther.seed = 99;
    const QString clstrOther = Path("other/" + SourceFileName(kind));
    QVERIFY(QDir(m_pDir->path()).mkdir("other"));
    QVERIFY(WriteSource(kind, clstrOther, clOther));
    const ConvertedSource clExpected = Converted(clstrSource, Path("reference.bvf"));
    QVERIFY2(clExpected.problem.isEmpty(), qPrintable(clExpected.problem));
    const qint64 lSize = QFileInfo(clstrSource).size();
    QVERIFY(lSize > 1000000);

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrSource), 1000);
    // The change is made at the first progress report, on the worker's
    // thread, so it falls at the same point of every run.
    std::atomic<bool> bChanged{false};
    clRig.events.OnProgress([&](int lCode) {
        if (lCode < 1 || lCode > 999 || bChanged.exchange(true))
            return;
        if (change == QLatin1String("cut to a third")) {
            QFile::resize(clstrSource, lSize / 3);
        } else if (change == QLatin1String("cut to nothing")) {
            QFile::resize(clstrSource, 0);
        } else if (change == QLatin1String("replaced by another")) {
            QFile::remove(clstrSource);
            QFile::copy(clstrOther, clstrSource);
        } else {
            WriteBytes(clstrSource, FileBytes(clstrOther));
        }
    });
    const int lCode = clRig.Split(ByTime(600, true, 1));
    QVERIFY(bChanged);
    // Ended, and either way with whole parts of records that were in a file.
    QVERIFY2(lCode == 2000 || lCode == -1, qPrintable(QString::number(lCode)));
    QCOMPARE(clRig.events.Questions(), QStringList());
    if (lCode == -1)
        QCOMPARE(clRig.events.Errors(),
                 QStringList{"<" + clstrSource + ">\nCan not read the file!"});
    const QList<QByteArray> clInParts =
        FramesInParts(SourceFileName(kind), clExpected.frames.header);
    // The records taken before the change are the source's first ones, in
    // order; at least the first thousand were read before it.
    QVERIFY(clInParts.size() >= 1000);
    qsizetype lSame = 0;
    while (lSame < clInParts.size() && lSame < clExpected.frames.frames.size() &&
           clInParts[lSame] == clExpected.frames.frames[lSame])
        ++lSame;
    QVERIFY2(lSame >= 1000, qPrintable(QString::number(lSame)));
    if (change == QLatin1String("replaced by another")) {
        // The open file is the one being split: the split reads it to its end.
        QCOMPARE(lCode, 2000);
        QCOMPARE(lSame, clExpected.frames.frames.size());
        QCOMPARE(clInParts.size(), clExpected.frames.frames.size());
    } else if (change.startsWith(QLatin1String("cut"))) {
        // Nothing after the cut, nothing made up.
        QCOMPARE(lSame, clInParts.size());
        QVERIFY(clInParts.size() < clExpected.frames.frames.size());
    }
}

void TestFaultInjection::sourceGoneBeforeTheSplit_data() {
    QTest::addColumn<SourceKind>("kind");
    QTest::addColumn<bool>("folder"); // a folder takes the source's place
    QTest::newRow(".tmw removed") << SourceKind::Tmw << false;
    QTest::newRow(".lan removed") << SourceKind::LanTetra << false;
    QTest::newRow("container replaced by a folder") << SourceKind::SampleV3 << true;
    QTest::newRow(".lan replaced by a folder") << SourceKind::LanDmr << true;
}

void TestFaultInjection::sourceGoneBeforeTheSplit() {
    QFETCH(SourceKind, kind);
    QFETCH(bool, folder);
    const QString clstrSource = Path(SourceFileName(kind));
    QVERIFY(WriteSource(kind, clstrSource, SourceShape{}));
    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrSource), 1000);
    QVERIFY(QFile::remove(clstrSource));
    if (folder)
        QVERIFY(QDir(m_pDir->path()).mkdir(SourceFileName(kind)));

    QCOMPARE(clRig.Split(ByTime(600, true, 1)), -1);
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, -1}));
    QCOMPARE(clRig.events.Errors(),
             QStringList{"<" + clstrSource + ">\nCan not open file or unsupported filetype!"});
    QCOMPARE(FilesIn(m_pDir->path(), {SourceFileName(kind)}), QStringList());
}

void TestFaultInjection::sourceStillBeingWritten_data() {
    QTest::addColumn<SourceKind>("kind");
    QTest::newRow("container") << SourceKind::SampleV3;
    QTest::newRow(".tmw") << SourceKind::Tmw;
    QTest::newRow(".lan TETRA") << SourceKind::LanTetra;
    QTest::newRow(".lan DMR") << SourceKind::LanDmr;
}

void TestFaultInjection::sourceStillBeingWritten() {
    QFETCH(SourceKind, kind);
    // The finished recording, then the same bytes handed out in pieces to a
    // file that the scan and the split read while it grows.
    SourceShape clShape;
    clShape.minutes = 60;
    clShape.rate = 10;
    QVERIFY(QDir(m_pDir->path()).mkdir("finished"));
    const QString clstrFinished = Path("finished/" + SourceFileName(kind));
    QVERIFY(WriteSource(kind, clstrFinished, clShape));
    const ConvertedSource clExpected = Converted(clstrFinished, Path("reference.bvf"));
    QVERIFY2(clExpected.problem.isEmpty(), qPrintable(clExpected.problem));

    const QString clstrLive = Path(SourceFileName(kind));
    CGrowingFile clGrowing(clstrLive, FileBytes(clstrFinished), 20000);
    clGrowing.Start();
    WorkerRig clRig;
    QCOMPARE(clRig.Scan("online:" + clstrLive), 1000);
    QCOMPARE(clRig.source.first.toSecsSinceEpoch(), clShape.start);
    QVERIFY(clRig.source.last.toSecsSinceEpoch() >= clShape.start);
    QVERIFY(clRig.source.last.toSecsSinceEpoch() < clShape.start + clShape.minutes * 60);
    const qsizetype lAtSplit = clGrowing.Written();
    QCOMPARE(clRig.Split(ByTime(600, true, 1)), 2000);
    clGrowing.Finish();
    QCOMPARE(clRig.events.Questions(), QStringList());
    QCOMPARE(clRig.events.Errors(), QStringList());

    // The parts hold the recording's records from the first on, whole, each
    // once and in order: at least those that were in the file when the split
    // began, at most all of them.
    const QList<QByteArray> clInParts =
        FramesInParts(SourceFileName(kind), clExpected.frames.header);
    QCOMPARE(clInParts, clExpected.frames.frames.mid(0, clInParts.size()));
    // Records are spread evenly enough over the file that most of those in
    // the bytes written before the split began are found.
    const double dShare = double(lAtSplit) / double(clGrowing.Size());
    const qsizetype lAtLeast = qsizetype(dShare * 0.8 * double(clExpected.frames.frames.size()));
    QVERIFY2(clInParts.size() >= lAtLeast,
             qPrintable(QStringLiteral("%1 records, %2 expected at least")
                            .arg(clInParts.size())
                            .arg(lAtLeast)));
}

// A stop request ends a split or a merge within 1001 records, wherever it
// falls: a reader that counts what the worker takes from it asks for the stop
// at a chosen record and counts the records handed out after it. What was
// taken is written whole and in order; the run ends as stopped, without an
// error message.
void TestFaultInjection::splitStops_data() {
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

void TestFaultInjection::splitStops() {
    QFETCH(SourceKind, kind);
    QFETCH(StructSplitSettings, settings);
    QFETCH(qulonglong, stopAt);
    SourceShape clShape;
    clShape.minutes = 60;
    clShape.rate = 5;
    const QString clstrFolder = m_pDir->filePath(QStringLiteral("rec"));
    QVERIFY(QDir().mkpath(clstrFolder));
    const QString clstrSource = clstrFolder + u'/' + SourceFileName(kind);
    QVERIFY(WriteSource(kind, clstrSource, clShape));
    const ConvertedSource clExpected = Converted(clstrSource, Path("reference.bvf"));
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

void TestFaultInjection::mergeStops_data() {
    QTest::addColumn<qulonglong>("stopAt");
    // In the first file, and in the second, whose records count on from the
    // first's: the stop polls do not start again with each file.
    QTest::newRow("in the first file") << 1234ULL;
    QTest::newRow("in the second file") << 5678ULL;
    QTest::newRow("at the last record of the first file") << 4800ULL;
}

void TestFaultInjection::mergeStops() {
    QFETCH(qulonglong, stopAt);
    const QStringList clSources = {Path("a1.bvf"), Path("a2.bvf")};
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
    const QString clstrJoined = Path("joined.bvf");
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

BVF_TEST_MAIN(TestFaultInjection)
#include "test_fault_injection.moc"
