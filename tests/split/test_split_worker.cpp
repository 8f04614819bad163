// The scan and split workers where the round trips cannot look; the split's
// questions never hold up a stop or a release.
#include "FileSizeLimit.h"
#include "PlannedCuts.h"
#include "ScanChunks.h"
#include "TestRegistry.h"
#include "WorkerTestKit.h"

#include <QRandomGenerator>

#include <thread>
#include <unistd.h>

using namespace WorkerTestKit;
using namespace ContainerBytes;

Q_DECLARE_METATYPE(QList<WorkerTestKit::RecordSpec>)
Q_DECLARE_METATYPE(StructSplitSettings)

namespace {

const QString kSource = QStringLiteral("cell.bvf");

RecordSpec T(const char *pTime) {
    return Tetra(At(pTime));
}

// Whole frames with a good checksum that the reader refuses.
const QByteArray kFlagged = Frame(3, QByteArray(60, '\x11'), 1);
const QByteArray kTypeZero = Frame(0, QByteArray(40, '\x22'));

const QByteArray kOld = QByteArrayLiteral("old contents");

// Three parts by the hour.
const QList<RecordSpec> kThreeHours = {Tetra(At("10:20:00")), Tetra(At("10:40:00")),
                                       Tetra(At("11:05:00")), Tetra(At("12:10:00")),
                                       Tetra(At("12:20:00"))};
const QStringList kParts = {"cell__01.bvf: 10:20:00 10:40:00", "cell__02.bvf: 11:05:00",
                            "cell__03.bvf: 12:10:00 12:20:00"};

QString PartName(int lPart) {
    return QStringLiteral("cell__%1.bvf").arg(lPart, 2, 10, QChar(u'0'));
}

// "1 -2 3": part 1 and 3 as split, part 2 still the old contents (unreadable).
QStringList Described(const QString &clstrParts) {
    QStringList clParts;
    for (const QString &clstrPart : clstrParts.split(u' ', Qt::SkipEmptyParts)) {
        const int lPart = clstrPart.toInt();
        clParts << (lPart > 0 ? kParts[lPart - 1] : PartName(-lPart) + ": cannot open");
    }
    return clParts;
}

// "a1 r2": the overwrite question about part 1, the retry question about part 2.
QStringList Asked(const QString &clstrQuestions) {
    QStringList clAsked;
    for (const QString &clstrQuestion : clstrQuestions.split(u' ', Qt::SkipEmptyParts))
        clAsked << (clstrQuestion[0] == u'a' ? "ask:" : "retry:") +
                       PartName(clstrQuestion.mid(1).toInt());
    return clAsked;
}

// Per reply its code (overwrite: 1 yes, 2 no, 3 yes to all, 4 no to all, 5
// abort; retry: 1 retry, 0 give up), "~" after it: answered later from
// another thread; C a closed box, S Stop, R retry after fnRetry cleared the way.
QList<Reply> Replies(const QString &clstrReplies, const std::function<void()> &fnRetry = {}) {
    QList<Reply> clReplies;
    for (const QString &r : clstrReplies.split(u' ', Qt::SkipEmptyParts)) {
        clReplies << (r == "C"   ? Reply::Of(Reply::Close)
                      : r == "S" ? Reply::Of(Reply::Stop, true)
                                 : Reply::Code(uint8_t(r == "R" ? 1 : r.left(1).toUInt()),
                                               r.endsWith(u'~') || r == "R"));
        if (r == "R")
            clReplies.last().before = fnRetry;
    }
    return clReplies;
}

} // namespace

class TestSplitWorker : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        // Chunks as a run gets them, whatever a test before set.
        CChunkedScan::SetChunkBytes(1u << 20);
        QVERIFY(m_pDir.emplace().isValid());
    }

    void scan_data();
    void scan();
    void scanIndexPlansTheSplit();
    void chunkedScanAsRead();
    void timeGlitches_data();
    void timeGlitches();
    void damagedSource_data();
    void damagedSource();
    void failures_data();
    void failures();
    void startRefusedOrOnline();
    void otherWritersFrames_data();
    void otherWritersFrames();

    void overwriteAnswers_data();
    void overwriteAnswers();
    void partsOfThisRun_data();
    void partsOfThisRun();
    void sourceAsOutput_data();
    void sourceAsOutput();
    void noQuestionAfterAStop();
    void releaseWithAnOpenQuestion();
    void startingAScanReleasesAWaitingSplit();

  private:
    QString Path(const QString &clstrName) const { return m_pDir->filePath(clstrName); }
    QStringList Parts(const QString &clstrSource = kSource) const {
        QStringList clPaths;
        for (const QString &clstrName : FilesIn(m_pDir->path(), {clstrSource}))
            clPaths << Path(clstrName);
        return clPaths;
    }
    QByteArray WithInserted(const QList<RecordSpec> &clRecords, int lIndex,
                            const QByteArray &clExtra) {
        const QString clstrScratch = m_clScratch.filePath(QStringLiteral("scratch.bvf"));
        if (!WriteRecording(clstrScratch, clRecords))
            return {};
        const ContainerFrames clFrames = FramesOf(clstrScratch);
        return clFrames.header + clFrames.frames.mid(0, lIndex).join() + clExtra +
               clFrames.frames.mid(lIndex).join();
    }

    bool Load(WorkerRig &clRig, const QList<RecordSpec> &clRecords = kThreeHours,
              const QString &clstrName = kSource) const {
        return WriteRecording(Path(clstrName), clRecords) && clRig.Scan(Path(clstrName)) == 1000;
    }
    bool Waiting(WorkerRig &clRig, int lPart) {
        if (!Load(clRig) || !WriteBytes(Path(PartName(lPart)), kOld))
            return false;
        clRig.events.Restart();
        clRig.events.Script({Reply::Of(Reply::NoAnswer)});
        return StartSplitWorker(clRig.context, clRig.source, ByTime(3600, true, 1), nullptr, 0) ==
               SplitStart::Started;
    }

    QTemporaryDir m_clScratch;
    std::optional<QTemporaryDir> m_pDir;
};

void TestSplitWorker::scan_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // "-": no file
    QTest::addColumn<QString>("found");    // first, latest and kinds; empty: the scan fails

    const QList<RecordSpec> clFive = {T("10:00:00"), Dmr(At("10:10:00")), Gsm(At("10:20:00")),
                                      T("10:30:00"), Generic(At("10:05:00"))};
    const auto Row = [&](const char *pName, const QList<RecordSpec> &clRecords, const char *pFound,
                         const QByteArray &clDamage = {}) {
        QTest::newRow(pName) << kSource << WithInserted(clRecords, 0, clDamage) << pFound;
    };
    Row("notices only", {Notice(), Notice()}, "");
    Row("times of 0 and a generic record without time",
        {Tetra(0), Dmr(0), Generic(At("10:00:00"), 23), Notice()}, "");
    QTest::newRow("missing file") << kSource << QByteArray("-") << "";
    QTest::newRow("path of 260 characters") << QString(256, u'p') + ".bvf" << QByteArray("-") << "";
    Row("the first timed record is not the earliest", {T("10:00:00"), T("09:00:00"), T("11:00:00")},
        "10:00:00 11:00:00 1");
    Row("damage before the first timed record", clFive, "10:00:00 10:30:00 17",
        kTypeZero + kFlagged);
    // A day less 10 s after the minute's last record, a day and 40 s after its first.
    Row("a day after the last of a minute",
        {T("10:00:00"), T("10:00:50"), T("2024-03-08 10:00:40")}, "10:00:00 2024-03-08 10:00:40 1");
}

void TestSplitWorker::scan() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, found);
    const QString clstrPath = name.size() > 200 ? name : Path(name);
    if (bytes != "-")
        QVERIFY(WriteBytes(clstrPath, bytes));

    WorkerRig clRig;
    clRig.source.name = QStringLiteral("earlier source");
    clRig.source.offset = 5;
    const int lEnd = found.isEmpty() ? -1 : 1000;
    QCOMPARE(clRig.Scan(clstrPath), lEnd);
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, lEnd}));
    const StructSourceInfo &s = clRig.source;
    QCOMPARE(s.offset, int64_t(0));
    if (!found.isEmpty()) {
        QCOMPARE(QStringLiteral("%1 %2 %3")
                     .arg(Clock(s.first.toSecsSinceEpoch()), Clock(s.last.toSecsSinceEpoch()))
                     .arg(s.kindMask, 0, 16),
                 found);
        return;
    }
    QCOMPARE(s.name, QString());
    QCOMPARE(s.first, StructSourceInfo().first);
    QCOMPARE(s.last, StructSourceInfo().last);
    QCOMPARE(QList<qint64>({qint64(s.size), s.frequency, qint64(s.fileMagic), qint64(s.kindMask)}),
             QList<qint64>({0, 0, 0, 0}));
}

// The scan's minutes account for every record and byte of the source and
// mark the minute after damage; the cuts planned from them name the parts
// that a split by time or by period writes.
void TestSplitWorker::scanIndexPlansTheSplit() {
    QList<RecordSpec> clRecords;
    for (int64_t t = At("10:00:00"); t <= At("11:10:00"); t += 90)
        clRecords << Tetra(t);
    clRecords.insert(5, Notice());
    QVERIFY(WriteBytes(Path(kSource), WithInserted(clRecords, 0, kTypeZero)));
    WorkerRig clRig;
    CScanIndex clIndex;
    QCOMPARE(clRig.Run([&] {
        return StartScanWorker(clRig.context, Path(kSource), clRig.source, nullptr, 0, &clIndex);
    }),
             1000);
    uint64_t lRecords = 0;
    uint64_t lEnd = clIndex.MinuteMap().begin()->second.firstPosition;
    QList<int64_t> clDamaged;
    for (const auto &[lMinute, clMinute] : clIndex.MinuteMap()) {
        QCOMPARE(clMinute.firstPosition, lEnd);
        QCOMPARE(CScanIndex::MinuteOf(clMinute.earliest), lMinute);
        QCOMPARE(CScanIndex::MinuteOf(clMinute.latest), lMinute);
        lRecords += clMinute.records;
        lEnd += clMinute.bytes;
        if (clMinute.damaged)
            clDamaged << lMinute;
    }
    QCOMPARE(lRecords, uint64_t(clRecords.size()));
    QCOMPARE(lEnd, uint64_t(QFileInfo(Path(kSource)).size()));
    QCOMPARE(clDamaged, QList<int64_t>{At("10:00:00") / 60});
    for (const StructSplitSettings &clSettings :
         {ByTime(1200, false), ByTime(1800, true), ByPeriod(At("10:20:00"), At("10:50:00"))}) {
        QStringList clPlanned;
        for (const StructPlannedCut &clCut : PlanCuts(clIndex, clSettings, clRig.source))
            if (clCut.partNumber > 0)
                clPlanned << clCut.name;
        QCOMPARE(clRig.Split(clSettings), 2000);
        const QStringList clWritten = FilesIn(m_pDir->path(), {kSource});
        QCOMPARE(clPlanned, clWritten.mid(clSettings.mode == SPLIT_BY_PERIOD ? 0 : 1));
        for (const QString &clstrPart : clWritten)
            QVERIFY(QFile::remove(Path(clstrPart)));
    }
}

// A container scanned in chunks on all cores gives what reading it frame by
// frame gives, whatever lies at the seams: damage, refused frames, a cut-short
// end, clock glitches and jumps, untimed records and minutes that come back.
void TestSplitWorker::chunkedScanAsRead() {
    if (std::thread::hardware_concurrency() < 2)
        QSKIP("a scan reads in chunks only where it has two cores");
    QRandomGenerator clRandom(5);
    const auto Below = [&clRandom](int lLimit) { return int(clRandom.bounded(lLimit)); };
    QList<RecordSpec> clRecords;
    int64_t t = At("10:00:00");
    for (int i = 0; i < 400; ++i) {
        t += Below(3) == 0 ? Below(40) : 0;
        if (i == 150 || i == 151)
            t += 5 * 86400 - 1; // a jump, then one back that is a glitch
        const int lKind = Below(12);
        clRecords << (lKind == 0   ? Notice()
                      : lKind == 1 ? Tetra(At("2100-01-01 00:00:00"))
                      : lKind == 2 ? Generic(t, 20 + Below(200))
                      : lKind == 3 ? Dmr(t - Below(100))
                      : lKind == 4 ? Gsm(t)
                                   : Tetra(t));
    }
    // The latest time in the middle of the last minute.
    const int64_t lLastMinute = (t / 60 + 60) * 60;
    clRecords << Tetra(lLastMinute + 40) << Notice() << Tetra(lLastMinute + 10);
    const QString clstrPath = Path(kSource);
    QVERIFY(WriteRecording(clstrPath, clRecords));
    const ContainerFrames clFrames = FramesOf(clstrPath);
    QVERIFY(clFrames.ok);

    // The sound file: every chunk taken, seam to seam, to its end.
    CChunkedScan::SetChunkBytes(300);
    StructFileIdentity clIdentity;
    CBinaryFile clFile;
    QVERIFY(clFile.OpenRead(clstrPath.toStdWString().c_str()) && clFile.Identity(clIdentity));
    CChunkedScan clChunks(clstrPath.toStdWString(), kContainerHeaderSize, clIdentity, true);
    QVERIFY(clChunks.Start(2));
    uint64_t lReached = kContainerHeaderSize;
    int lChunks = 0;
    while (const StructScanChunk *pChunk = clChunks.Next()) {
        if (lReached >= pChunk->limit)
            continue;
        QVERIFY(pChunk->found && pChunk->whole);
        QCOMPARE(pChunk->start, lReached);
        lReached = pChunk->end;
        ++lChunks;
    }
    QCOMPARE(lReached, uint64_t(clIdentity.size));
    QVERIFY(lChunks > 100);

    const auto Scanned = [&](uint32_t lChunkBytes) {
        CChunkedScan::SetChunkBytes(lChunkBytes);
        WorkerRig clRig;
        const int lEnd = clRig.Scan(clstrPath);
        const StructSourceInfo &s = clRig.source;
        return QStringList{QStringLiteral("end %1 codes %2 first %3 last %4 kinds %5 size %6 hz %7")
                               .arg(lEnd)
                               .arg(clRig.events.Codes().size())
                               .arg(s.first.toSecsSinceEpoch())
                               .arg(s.last.toSecsSinceEpoch())
                               .arg(s.kindMask)
                               .arg(s.size)
                               .arg(s.frequency)} +
               DescribeIndex(clRig.index);
    };
    for (int lCase = 0; lCase < 16; ++lCase) {
        QList<QByteArray> clChanged = clFrames.frames;
        for (int lChange = lCase % 4; lChange > 0; --lChange) {
            QByteArray &clFrame = clChanged[Below(int(clChanged.size()))];
            switch (Below(4)) {
            case 0: // a byte changed: its checksum fails
                clFrame[Below(int(clFrame.size()))] ^= char(1 + Below(255));
                break;
            case 1:
                clFrame.prepend(QByteArray(1 + Below(300), char(Below(256))));
                break;
            case 2:
                clFrame.prepend(Below(2) == 0 ? kTypeZero : kFlagged);
                break;
            default: // a length that claims more than is there
                clFrame[1] = char(0x7f);
                break;
            }
        }
        QByteArray clBytes = clFrames.header + clChanged.join();
        if (lCase % 3 == 2)
            clBytes.chop(1 + Below(200));
        QVERIFY(WriteBytes(clstrPath, clBytes));
        const QStringList clAsRead = Scanned(0);
        for (const uint32_t lChunkBytes : {300u, 1000u, 4096u, 1u << 20})
            QCOMPARE(Scanned(lChunkBytes), clAsRead);
    }
}

// A broken clock's single records neither open nor name parts, nor stretch the span.
void TestSplitWorker::timeGlitches_data() {
    QTest::addColumn<QList<RecordSpec>>("records");
    QTest::addColumn<QString>("span");
    QTest::addColumn<QString>("parts"); // "|" between them
    QTest::addColumn<int>("glitches");

    const auto Row = [](const char *pName, const QList<RecordSpec> &clRecords, const char *pSpan,
                        const QString &clstrParts, int lGlitches) {
        QTest::newRow(pName) << clRecords << QString(pSpan) << clstrParts << lGlitches;
    };
    const RecordSpec cl2100 = Tetra(At("2100-01-01 00:00:00"));
    const QString clstr2100 = QStringLiteral("2100-01-01 00:00:00");
    const QString clstrPart1 = QStringLiteral("cell__01__2024-03-07_10.20.00.bvf: ");
    Row("year 2100 between two records",
        {cl2100, T("10:20:00"), cl2100, T("10:40:00"), T("11:10:00")}, "10:20:00 11:10:00",
        clstrPart1 + clstr2100 + " 10:20:00 " + clstr2100 +
            " 10:40:00|cell__02__2024-03-07_11.10.00.bvf: 11:10:00",
        2);
    const int64_t lLargest = std::numeric_limits<int64_t>::max();
    Row("1970 and the largest value first and last, notices between",
        {Tetra(0), Notice(), T("10:20:00"), T("11:10:00"), Notice(), Tetra(lLargest)},
        "10:20:00 11:10:00",
        clstrPart1 + "1970-01-01 00:00:00 N 10:20:00|cell__02__2024-03-07_11.10.00.bvf: " +
            "11:10:00 N " + Clock(lLargest),
        2);
    Row("a record exactly a day away is sound",
        {T("10:20:00"), Tetra(At("2024-03-08 10:20:00")), T("10:40:00")},
        "10:20:00 2024-03-08 10:20:00",
        clstrPart1 + "10:20:00|cell__02__2024-03-08_10.20.00.bvf: 2024-03-08 10:20:00 10:40:00", 0);
}

void TestSplitWorker::timeGlitches() {
    QFETCH(QList<RecordSpec>, records);
    QFETCH(QString, span);
    QFETCH(QString, parts);
    QFETCH(int, glitches);
    WorkerRig clRig;
    QVERIFY(WriteRecording(Path(kSource), records) && clRig.Scan(Path(kSource)) == 1000);
    QCOMPARE(Clock(clRig.source.first.toSecsSinceEpoch()) + u' ' +
                 Clock(clRig.source.last.toSecsSinceEpoch()),
             span);
    QCOMPARE(clRig.Split(ByTime(3600, true)), 2000);
    QCOMPARE(DescribeParts(m_pDir->path(), {kSource}).join(u'|'), parts);
    const ContainerFrames clSource = FramesOf(Path(kSource));
    QCOMPARE(CompareParts(Parts(), clSource.header, clSource.frames), QString());
    QStringList clNotices;
    if (glitches > 0)
        clNotices << QStringLiteral("<%1>\n%2 record(s) carry a time stamp more than a day away "
                                    "from both neighbours; they were kept with their neighbours "
                                    "and started no part.")
                         .arg(Path(kSource))
                         .arg(glitches);
    QCOMPARE(clRig.events.Notices(), clNotices);
}

void TestSplitWorker::damagedSource_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<QByteArray>("damage");
    QTest::addColumn<QString>("notice"); // records and bytes the split reports

    const QString clstrRecords = QStringLiteral("%1 damaged record(s) and %2 damaged byte(s)");
    QTest::newRow("by time, both")
        << ByTime(3600, true) << kFlagged + kTypeZero << clstrRecords.arg(2).arg(0);
    QTest::newRow("by number, a refused record and garbage")
        << ByNumber(2) << kFlagged + QByteArray(300, '\x7e') << clstrRecords.arg(1).arg(300);
}

void TestSplitWorker::damagedSource() {
    QFETCH(StructSplitSettings, settings);
    QFETCH(QByteArray, damage);
    QFETCH(QString, notice);
    QList<RecordSpec> clRecords;
    for (int i = 0; i < 12; ++i)
        clRecords << Tetra(At("10:30:00") + 600 * i);
    const QByteArray clBytes = WithInserted(clRecords, 6, damage);
    const ContainerFrames clIntact = FramesOf(WithInserted(clRecords, 0, {}));
    QVERIFY(WriteBytes(Path(kSource), clBytes));

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(Path(kSource)), 1000);
    QCOMPARE(Clock(clRig.source.last.toSecsSinceEpoch()), QStringLiteral("12:20:00"));
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(CompareParts(Parts(), clIntact.header, clIntact.frames), QString());
    QCOMPARE(clRig.events.Notices(),
             QStringList{"<" + Path(kSource) + ">\n" + notice +
                         " of the source could not be read and are missing in the split files."});
}

void TestSplitWorker::failures_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<int>("nameLength"); // of the source path; 0: cell.bvf
    QTest::addColumn<int>("fileLimit");  // bytes a file may grow to; 0: no limit
    QTest::addColumn<QString>("error");  // %1: the folder

    const QString clstrTooLong = "The name of split file 1 would be longer than 259 characters.";
    QTest::newRow("part name of 260 characters")
        << ByTime(3600, true, 1) << 256 << 0 << clstrTooLong;
    StructSplitSettings clFixed = ByPeriod(At("10:00:00"), At("11:00:00"), kFixedNameScheme);
    clFixed.fixedName = QString(300, u'f');
    QTest::newRow("fixed name of 300 characters") << clFixed << 0 << 0 << clstrTooLong;
    QTest::newRow("unknown mode: nothing is written") << Settings(3, 2) << 0 << 0 << "-";
    // The writer keeps these records until it closes the part.
    QTest::newRow("a failed close")
        << ByTime(3600, true, 1) << 0 << 5000 << "<%1/cell__01.bvf>\nCan not write the file!";
}

void TestSplitWorker::failures() {
    QFETCH(StructSplitSettings, settings);
    QFETCH(int, nameLength);
    QFETCH(int, fileLimit);
    QFETCH(QString, error);
    QString clstrName = kSource;
    if (nameLength > 0)
        clstrName = QString(nameLength - int(m_pDir->path().size()) - 5, u'c') + ".bvf";
    QVERIFY(WriteRecording(Path(clstrName),
                           {Generic(At("10:20:00"), 4000), Generic(At("10:30:00"), 4000)}));
    WorkerRig clRig;
    QCOMPARE(clRig.Scan(Path(clstrName)), 1000);
    int lCode = 0;
    {
        std::unique_ptr<CFileSizeLimit> pLimit;
        if (fileLimit > 0)
            pLimit = std::make_unique<CFileSizeLimit>(rlim_t(fileLimit));
        lCode = clRig.Split(settings);
    }
    QCOMPARE(lCode, -1);
    QCOMPARE(clRig.events.Errors(),
             error == "-" ? QStringList() : QStringList{error.arg(m_pDir->path())});
    QCOMPARE(clRig.events.Questions(), QStringList());
    QCOMPARE(Parts(clstrName).size(), fileLimit > 0 ? 1 : 0);
    QCOMPARE(clRig.events.Codes(), (error == "-" ? QList<int>{-1} : QList<int>{0, -1}));
}

void TestSplitWorker::startRefusedOrOnline() {
    WorkerRig clRig;
    clRig.source.name = "/" + QString(255, u's') + ".bvf";
    QCOMPARE(StartSplitWorker(clRig.context, clRig.source, ByTime(3600, true), nullptr, 0),
             SplitStart::SourcePathTooLong);
    clRig.source.name.clear();
    QCOMPARE(StartSplitWorker(clRig.context, clRig.source, ByTime(3600, true), nullptr, 0),
             SplitStart::NoSource);
    QVERIFY(!WorkerHeld(clRig.context));
    QCOMPARE(clRig.events.Codes(), QList<int>());
    // A file still being written, named with "online:", is still the source.
    QVERIFY(WriteRecording(Path(kSource), {T("10:20:00"), T("11:20:00")}));
    QCOMPARE(clRig.Scan("online:" + Path(kSource)), 1000);
    QCOMPARE(clRig.source.name, "online:" + Path(kSource));
    StructSplitSettings clFixed = ByPeriod(At("10:00:00"), At("12:00:00"), kFixedNameScheme);
    clFixed.fixedName = Path(kSource);
    const QByteArray clBytes = FileBytes(Path(kSource));
    QCOMPARE(clRig.Split(clFixed), -1);
    QCOMPARE(clRig.events.Questions(), QStringList{"source:" + kSource});
    QCOMPARE(FileBytes(Path(kSource)), clBytes);
}

void TestSplitWorker::otherWritersFrames_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<int>("offset"); // expected change of every time; 0: frames kept as read

    QTest::newRow("records unchanged") << ByNumber(2) << 0;
    StructSplitSettings clShifted = ByNumber(2);
    clShifted.applyOffset = true;
    QTest::newRow("offset") << clShifted << 3600;
    StructSplitSettings clCorrected = ByNumber(2);
    clCorrected.correctFrequency = true;
    clCorrected.frequencyHz = -1;
    QTest::newRow("frequency correction without a value") << clCorrected << 0;
}

void TestSplitWorker::otherWritersFrames() {
    QFETCH(StructSplitSettings, settings);
    QFETCH(int, offset);

    // As another writer may store them: ignored bytes not zero, an extended
    // TETRA type without extended fields, a notice longer than its fields.
    const auto Sub = [](uint64_t lHz) { return SubHeader{9, lHz, 18000, 0x0102}; };
    const auto Ignored = [](uint8_t lType, const SubHeader &s, const QByteArray &clBody) {
        CByteWriter clOut;
        clOut.U8(s.sourceByte).U64(s.frequency).U32(s.symbolRate).U16(s.value16);
        return Frame(lType, clOut.Padded("ignored!", 8).Bytes(clBody).Result());
    };
    const int64_t t = At("10:20:00");
    const auto TetraAt = [](int64_t lTime, uint8_t lFlags, TetraLayout enLayout = TetraLayout::V2) {
        TetraBody clBody;
        clBody.timeSeconds = uint64_t(lTime);
        clBody.milliseconds = 250;
        clBody.timeslot = 2;
        clBody.valueFlags = lFlags;
        clBody.bitCount = 20;
        clBody.data = QByteArray("\x01\x02\x03", 3);
        return TetraBodyBytes(clBody, enLayout);
    };
    const QByteArray clNotice = NoticeBodyBytes(10045, 3, "from elsewhere") + QByteArray(20, 'w');
    const uint64_t kHz = 390012500;
    const QList<QByteArray> clFrames = {
        Ignored(3, Sub(kHz), TetraAt(t, 0x80)),
        Record(8, Sub(kHz), TetraAt(t + 1200, 0x40, TetraLayout::Extended)),
        Record(4, Sub(0), clNotice),
    };
    QVERIFY(WriteBytes(Path(kSource), Header(HeaderFields()) + clFrames.join()));

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(Path(kSource)), 1000);
    clRig.source.offset = 3600;
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(Parts().size(), 2);

    // Encoded again when changed: ignored bytes zero, the plain TETRA type,
    // the notice cut to its fields.
    QList<QByteArray> clExpected = {
        Record(3, Sub(kHz), TetraAt(t + offset, 0x80)),
        Record(3, Sub(kHz), TetraAt(t + 1200 + offset, 0x40)),
        Record(4, Sub(0), clNotice.left(136)),
    };
    if (offset == 0)
        clExpected[0] = clFrames[0];
    QCOMPARE(CompareParts(Parts(), Header(HeaderFields()), clExpected), QString());
}

void TestSplitWorker::overwriteAnswers_data() {
    // Parts there before; negative: a folder there; L: a link to a missing file.
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QString>("replies");
    QTest::addColumn<QString>("questions");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("parts");

    const auto Row = [](const char *pName, const char *pExisting, const char *pReplies,
                        const char *pQuestions, int lCode, const char *pParts) {
        QTest::newRow(pName) << pExisting << pReplies << pQuestions << lCode << pParts;
    };
    Row("no existing file: no question", "", "", "", 2000, "1 2 3");
    Row("[NO], then part 2 is asked about at its own boundary", "1 2", "2 1", "a1 a2", 2000,
        "-1 2 3");
    Row("[NO to ALL]: absent parts written, existing ones skipped without asking", "1 3", "4", "a1",
        2000, "-1 2 -3");
    Row("[YES to ALL]: later existing files without asking", "1 3", "3", "a1", 2000, "1 2 3");
    Row("[ABORT]", "2", "5", "a2", -1, "1 -2");
    Row("a closed question after an answered one aborts", "1 2", "2 C", "a1 a2", -1, "-1 -2");
    Row("an answer outside 1 to 5 aborts", "1", "7", "a1", -1, "-1");
    Row("Stop while the question is shown", "2", "S", "a2", -1, "1 -2");
    Row("answers from another thread, a little later", "1 2", "1~ 2~", "a1 a2", 2000, "1 -2 3");
    // A folder at part 2: asked to overwrite, then to retry.
    Row("[RETRY] after removing the folder continues", "-2", "1 R", "a2 r2", 2000, "1 2 3");
    Row("a retry that fails again asks again", "-2", "1 1 R", "a2 r2 r2", 2000, "1 2 3");
    Row("a retry question closed after a [RETRY] gives up", "-2", "1 1 C", "a2 r2 r2", -1, "1 -2");
    Row("Stop during the retry question", "-2", "1 S", "a2 r2", -1, "1 -2");
    // Whatever the answer, no file appears where the link points.
    Row("a dangling link at a part name, [NO]", "L2", "2", "a2", 2000, "1 3");
    Row("a dangling link at a part name, [YES]", "L2", "1 0", "a2 r2", -1, "1");
}

void TestSplitWorker::overwriteAnswers() {
    QFETCH(QString, existing);
    QFETCH(QString, replies);
    QFETCH(QString, questions);
    QFETCH(int, code);
    QFETCH(QString, parts);
    WorkerRig clRig;
    QVERIFY(Load(clRig));
    for (const QString &clstrPart : existing.split(u' ', Qt::SkipEmptyParts)) {
        const int lPart = clstrPart.mid(clstrPart[0] == u'L').toInt();
        QVERIFY(clstrPart[0] == u'L'
                    ? QDir().mkpath(Path("elsewhere")) &&
                          QFile::link(Path("elsewhere/x.bvf"), Path(PartName(lPart)))
                : lPart > 0 ? WriteBytes(Path(PartName(lPart)), kOld)
                            : QDir().mkdir(Path(PartName(-lPart))));
    }
    clRig.events.Script(Replies(replies, [this] { QDir().rmdir(Path(PartName(2))); }));
    QCOMPARE(clRig.Split(ByTime(3600, true, 1)), code);
    QCOMPARE(clRig.events.Questions(), Asked(questions));
    QCOMPARE(DescribeParts(m_pDir->path(), {kSource, "elsewhere"}), Described(parts));
    for (const QString &clstrPart : parts.split(u' ')) {
        if (clstrPart.startsWith(u'-') && existing.split(u' ').contains(clstrPart.mid(1)))
            QCOMPARE(FileBytes(Path(PartName(clstrPart.mid(1).toInt()))), kOld);
    }
    QCOMPARE(clRig.events.Errors(), QStringList());
    QCOMPARE(clRig.events.Codes().last(), code);
    QVERIFY(!QFileInfo::exists(Path("elsewhere/x.bvf")));
}

void TestSplitWorker::partsOfThisRun_data() {
    QTest::addColumn<bool>("existing");
    QTest::addColumn<bool>("later"); // records 5-8 a second later, their name there before the run
    QTest::addColumn<QString>("replies");
    QTest::addColumn<int>("questions");
    QTest::addColumn<QList<int>>("kept"); // source records in the first part's file

    // Into 3 by number, every part under one name: records 0-1, 2-4, 5-8.
    QTest::newRow("[YES to ALL] does not cover a part written by this run")
        << true << false << "3 2 2" << 3 << QList<int>{0, 1};
    QTest::newRow("a [NO] about such a part leaves [YES to ALL] standing for older files")
        << true << true << "3 2" << 2 << QList<int>{0, 1};
    QTest::newRow("[YES] to each replaces the earlier part")
        << false << false << "1 1" << 2 << QList<int>{5, 6, 7, 8};
    QTest::newRow("[NO to ALL] skips the later parts without asking")
        << false << false << "4" << 1 << QList<int>{0, 1};
}

void TestSplitWorker::partsOfThisRun() {
    QFETCH(bool, existing);
    QFETCH(bool, later);
    QFETCH(QString, replies);
    QFETCH(int, questions);
    QFETCH(QList<int>, kept);
    WorkerRig clRig;
    QList<RecordSpec> clRecords(9, Generic(At("10:00:00"), 9967));
    for (int i = 5; i < 9 && later; ++i)
        clRecords[i] = Generic(At("10:00:01"), 9967);
    QVERIFY(Load(clRig, clRecords));
    const QString clstrName = QStringLiteral("cell__2024-03-07_10.00.00.bvf");
    const QString clstrLater = QStringLiteral("cell__2024-03-07_10.00.01.bvf");
    const QList<int> kLater = {5, 6, 7, 8};
    if (existing)
        QVERIFY(WriteBytes(Path(clstrName), kOld));
    if (later)
        QVERIFY(WriteBytes(Path(clstrLater), kOld));
    clRig.events.Script(Replies(replies));
    QCOMPARE(clRig.Split(ByNumber(3, 0)), 2000);
    QCOMPARE(clRig.events.Questions(), QStringList(questions, "ask:" + clstrName));
    const QStringList clFiles = later ? QStringList{clstrName, clstrLater} : QStringList{clstrName};
    QCOMPARE(FilesIn(m_pDir->path(), {kSource}), clFiles);
    const ContainerFrames clSource = FramesOf(Path(kSource));
    QCOMPARE(CompareParts({Path(clstrName)}, clSource.header, Pick(clSource.frames, kept)),
             QString());
    if (later)
        QCOMPARE(
            CompareParts({Path(clstrLater)}, clSource.header, Pick(clSource.frames, {5, 6, 7, 8})),
            QString());
}

void TestSplitWorker::sourceAsOutput_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("link"); // "hard" or "symbolic": rec__02.bvf leads to the source

    QTest::newRow("the same path") << QString("rec__02.bvf") << QString();
    QTest::newRow("a hard link to the source") << QString("rec.bvf") << QString("hard");
    QTest::newRow("a symbolic link to the source") << QString("rec.bvf") << QString("symbolic");
}

void TestSplitWorker::sourceAsOutput() {
    QFETCH(QString, source);
    QFETCH(QString, link);
    WorkerRig clRig;
    QVERIFY(Load(clRig, {Tetra(At("10:20:00")), Tetra(At("11:05:00"))}, source));
    const QByteArray clSourceBytes = FileBytes(Path(source));
    const QString clstrPart2 = Path("rec__02.bvf");
    if (link == "hard")
        QCOMPARE(::link(QFile::encodeName(Path(source)), QFile::encodeName(clstrPart2)), 0);
    else if (link == "symbolic")
        QVERIFY(QFile::link(Path(source), clstrPart2));
    QVERIFY(WriteBytes(Path("rec__01.bvf"), kOld));

    // [YES to ALL] never covers the source.
    clRig.events.Script(Replies("3"));
    QCOMPARE(clRig.Split(ByTime(3600, true, 1)), -1);
    QCOMPARE(clRig.events.Questions(), (QStringList{"ask:rec__01.bvf", "source:rec__02.bvf"}));
    QCOMPARE(FileBytes(Path(source)), clSourceBytes);
    QCOMPARE(RecordTimes(Path("rec__01.bvf")), QStringList{"10:20:00"});
    QCOMPARE(clRig.events.Errors(), QStringList());

    // The same for the period mode's fixed name, in another spelling.
    clRig.events.Script({});
    StructSplitSettings clFixed = ByPeriod(At("10:00:00"), At("12:00:00"), kFixedNameScheme);
    clFixed.fixedName = link.isEmpty() ? m_pDir->path() + "//" + source : clstrPart2;
    QCOMPARE(clRig.Split(clFixed), -1);
    QCOMPARE(clRig.events.Questions(),
             QStringList{"source:" + QFileInfo(clFixed.fixedName).fileName()});
    QCOMPARE(FileBytes(Path(source)), clSourceBytes);
}

void TestSplitWorker::noQuestionAfterAStop() {
    WorkerRig clRig;
    QVERIFY(Load(clRig));
    QVERIFY(WriteBytes(Path(PartName(1)), kOld));
    clRig.events.OnProgress([&clRig](int lCode) {
        if (lCode == 0)
            clRig.context.stopEvent->Set();
    });
    QCOMPARE(clRig.Split(ByTime(3600, true, 1)), -1);
    QCOMPARE(clRig.events.Questions(), QStringList());
    QCOMPARE(FileBytes(Path(PartName(1))), kOld);
    QCOMPARE(FilesIn(m_pDir->path(), {kSource}), QStringList{PartName(1)});
}

void TestSplitWorker::releaseWithAnOpenQuestion() {
    {
        WorkerRig clRig;
        QVERIFY(Waiting(clRig, 2));
        QTRY_VERIFY(QuestionIsOpen(clRig.context));
        ReleaseWorker(clRig.context);
        QVERIFY(!WorkerHeld(clRig.context));
        QVERIFY(!clRig.context.stopEvent && !clRig.context.answerEvent && !clRig.context.fileList);
        QCOMPARE(clRig.context.splitEvents, &clRig.events);
        QCOMPARE(clRig.events.Codes(), (QList<int>{0, -1}));
        QCOMPARE(clRig.events.Questions(), QStringList{"ask:" + PartName(2)});
        QVERIFY(!QuestionIsOpen(clRig.context));
        QVERIFY(!AnswerOverwriteQuestion(clRig.context, OVERWRITE_YES));
        QVERIFY(!AnswerRetryQuestion(clRig.context, true));
        QCOMPARE(DescribeParts(m_pDir->path(), {kSource}), Described("1 -2"));
    }
}

void TestSplitWorker::startingAScanReleasesAWaitingSplit() {
    WorkerRig clRig;
    QVERIFY(Waiting(clRig, 1));
    QTRY_VERIFY(QuestionIsOpen(clRig.context));
    QVERIFY(StartScanWorker(clRig.context, Path(kSource), clRig.source, nullptr, 0));
    QTRY_COMPARE(clRig.events.Codes(), (QList<int>{0, -1, 0, 1000}));
    ReleaseWorker(clRig.context);
    QCOMPARE(clRig.source.name, Path(kSource));
    QCOMPARE(FileBytes(Path(PartName(1))), kOld);
}

BVF_TEST_MAIN(TestSplitWorker)
#include "test_split_worker.moc"
