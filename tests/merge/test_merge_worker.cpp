// The merge tab's workers where the round trips cannot look: fill times, left
// out paths, the merge's questions, failures and stops.
#include "MergeTestKit.h"
#include "ScanChunks.h"
#include "TestRegistry.h"

#include <QRandomGenerator>
#include <QThread>

#include <thread>

#include <unistd.h>

using namespace MergeTestKit;

Q_DECLARE_METATYPE(QList<WorkerTestKit::RecordSpec>)

namespace {

constexpr uint64_t kMagicA = 0xA1A1;
constexpr uint64_t kMagicB = 0xB2B2;

QList<RecordSpec> Run(int64_t lFirst, int lCount) {
    QList<RecordSpec> clSpecs;
    for (int i = 0; i < lCount; ++i)
        clSpecs << Tetra(lFirst + i);
    return clSpecs;
}

// A whole record with a good checksum that the reader cannot take.
const QByteArray kRefused = ContainerBytes::Frame(3, QByteArray(60, '\x11'), 1);

// The file with the extra bytes after the frames at their indexes.
bool Damage(const QString &clstrPath, const QMap<int, QByteArray> &clAfter) {
    const ContainerFrames clFrames = FramesOf(clstrPath);
    QByteArray clBytes = clFrames.header;
    for (int i = 0; i < clFrames.frames.size(); ++i)
        clBytes += clFrames.frames[i] + clAfter.value(i);
    return WriteBytes(clstrPath, clBytes);
}

} // namespace

class TestMergeWorker : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        // Chunks as a run gets them, whatever a test before set.
        CChunkedScan::SetChunkBytes(1u << 20);
        QVERIFY(m_pDir.emplace().isValid());
    }
    void fillTimes_data();
    void fillTimes();
    void fillLeavesOut();
    void fillStops_data();
    void fillStops();
    void startRefusedOrReleasing();
    void conversation_data();
    void conversation();
    void damagedRecordIsLeftOutAndReported();
    void chunksAsRead();
    void readingFailureKeepsWhatWasCopied_data();
    void readingFailureKeepsWhatWasCopied();
    void questionsWaitForAnswerOrStop();
    void proposedOutputs();

  private:
    QString Path(const QString &clstrName) const { return m_pDir->filePath(clstrName); }
    // lCount records a second apart per file, each file going on from the last.
    bool Written(const QStringList &clNames, int64_t lFirst, int lCount,
                 uint64_t lMagic = kMagicA) const {
        for (int i = 0; i < clNames.size(); ++i) {
            if (!WriteRecording(Path(clNames[i]), Run(lFirst + i * lCount, lCount), lMagic))
                return false;
        }
        return true;
    }
    QStringList Paths(QStringList clNames) const {
        for (QString &clstrName : clNames)
            clstrName = Path(clstrName);
        return clNames;
    }
    // a1, a2 (magic A, overlapping) then b1, b2 (magic B).
    bool TwoGroups(MergeRig &clRig) const {
        return WriteRecording(Path("a1.bvf"), Run(At("10:00:00"), 20), kMagicA) &&
               WriteRecording(Path("a2.bvf"), Run(At("10:00:10"), 20), kMagicA) &&
               Written({"b1.bvf", "b2.bvf"}, At("08:00:00"), 15, kMagicB) &&
               clRig.Fill(Paths({"a1.bvf", "a2.bvf"})) == 1000 &&
               clRig.Fill(Paths({"b1.bvf", "b2.bvf"})) == 1000;
    }
    // The output holds these sources' frames in order, behind the first one's header.
    QString Holds(const QString &clstrOutput, const QStringList &clSources) const {
        QList<QByteArray> clFrames;
        for (const QString &clstrSource : clSources)
            clFrames << FramesOf(Path(clstrSource)).frames;
        return CompareParts({Path(clstrOutput)}, FramesOf(Path(clSources.first())).header,
                            clFrames);
    }

    std::optional<QTemporaryDir> m_pDir;
};

void TestMergeWorker::fillTimes_data() {
    QTest::addColumn<QList<RecordSpec>>("records");
    QTest::addColumn<qint64>("headerStart"); // the largest value: none
    QTest::addColumn<int>("damagedAfter");   // a refused record after this one; -1: none
    QTest::addColumn<QString>("times");      // start - end, "fromRecord" when taken from one

    const qint64 h = At("09:00:00");
    const auto Row = [](const char *pName, const QList<RecordSpec> &clRecords, qint64 lHeader,
                        int lDamaged, const char *pTimes) {
        QTest::newRow(pName) << clRecords << lHeader << lDamaged << QString(pTimes);
    };
    Row("the latest time, not the last record's",
        {Tetra(At("12:00:00")), Tetra(At("12:09:00")), Dmr(At("12:03:00"))}, h, -1,
        "12:00:00 - 12:09:00 fromRecord");
    Row("the first record's time, not the earliest", {Tetra(At("12:00:10")), Tetra(At("12:00:00"))},
        h, -1, "12:00:10 - 12:00:10 fromRecord");
    Row("no usable time keeps the header's start", {Notice(), Generic(0, 20), Notice()}, h, -1,
        "09:00:00 - unknown");
    Row("no usable time and no header start", {Notice()}, std::numeric_limits<qint64>::max(), -1,
        "unknown - unknown");
    Row("a first record without time: the start from the first time stamp",
        {Notice(), Generic(0, 20), Tetra(At("12:00:03")), Tetra(At("12:00:07"))}, h, -1,
        "12:00:03 - 12:00:07 fromRecord");
    Row("a damaged record does not end the examination", Run(At("10:00:00"), 10), h, 4,
        "10:00:00 - 10:00:09 fromRecord");
}

void TestMergeWorker::fillTimes() {
    QFETCH(QList<RecordSpec>, records);
    QFETCH(qint64, headerStart);
    QFETCH(int, damagedAfter);
    QFETCH(QString, times);
    const QString clstrPath = Path("rec.bvf");
    QVERIFY(WriteRecording(clstrPath, records, kMagicA, {}, headerStart));
    QVERIFY(Damage(clstrPath, {{damagedAfter, kRefused}}));
    MergeRig clRig;
    QCOMPARE(clRig.Fill({clstrPath}), 1000);
    QCOMPARE(clRig.list.Count(), qsizetype(1));
    const StructJoinFileData e = clRig.list.Entries().first();
    const auto fnTime = [](int64_t t) { return t == kJoinTimeUnknown ? "unknown" : Clock(t); };
    QCOMPARE(fnTime(e.start) + " - " + fnTime(e.end) +
                 (e.flags & kJoinTimesFromRecord ? " fromRecord" : ""),
             times);
    QCOMPARE(e.flags & kJoinFileOpened, kJoinFileOpened);
    QCOMPARE(e.records, int64_t(records.size()));
}

void TestMergeWorker::fillLeavesOut() {
    QVERIFY(QDir(m_pDir->path()).mkdir("folder.bvf"));
    QVERIFY(WriteBytes(Path("text.bvf"), "not a container at all"));
    QVERIFY(WriteRecording(Path("good.bvf"), Run(At("10:00:00"), 5)));
    // The first 259 characters of a longer path name an existing recording.
    const QString clstrLong = m_pDir->path() + "/" + QString(299 - m_pDir->path().size(), u'n');
    QVERIFY(WriteRecording(clstrLong.left(259), Run(At("11:00:00"), 5)));

    MergeRig clRig;
    clRig.source.name = QStringLiteral("/rec/loaded.bvf");
    const QString clstrDoubled = m_pDir->path() + "//good.bvf";
    QCOMPARE(clRig.Fill({Path("folder.bvf"), Path("missing.bvf"), Path("good.bvf"),
                         Path("text.bvf"), clstrDoubled, clstrLong, Path("nofolder/x.bvf")}),
             1000);
    QCOMPARE(clRig.list.FileNames(), QStringList{Path("good.bvf")});
    // No word about them: only the final refresh, with the last path taken up.
    QCOMPARE(clRig.events.Log(),
             (QStringList{"progress 0", "progress 1000", "list " + Path("nofolder/x.bvf")}));
    // The final refresh names the file as it is listed.
    QCOMPARE(clRig.Fill({clstrLong.left(259), clstrDoubled}), 1000);
    QCOMPARE(clRig.list.FileNames(), (QStringList{Path("good.bvf"), clstrLong.left(259)}));
    QCOMPARE(clRig.events.Lists(), QStringList{Path("good.bvf")});
    QCOMPARE(clRig.Fill({}), 1000);
    QCOMPARE(clRig.events.Log(), (QStringList{"progress 0", "progress 1000", "list "}));
    // Only a fill that does not finish forgets the split tab's source.
    QCOMPARE(clRig.source.name, QStringLiteral("/rec/loaded.bvf"));
}

void TestMergeWorker::fillStops_data() {
    QTest::addColumn<uint32_t>("chunkBytes");
    QTest::newRow("read in chunks") << (uint32_t(1) << 20);
    QTest::newRow("read frame by frame") << uint32_t(0);
}

void TestMergeWorker::fillStops() {
    QFETCH(uint32_t, chunkBytes);
    CChunkedScan::SetChunkBytes(chunkBytes);
    QVERIFY(WriteRecording(Path("first.bvf"), Run(At("09:00:00"), 10)));
    QVERIFY(WriteRecording(Path("large.bvf"), Run(At("10:00:00"), 6000)));
    QVERIFY(WriteRecording(Path("last.bvf"), Run(At("12:00:00"), 10)));
    MergeRig clRig;
    clRig.source.name = QStringLiteral("/rec/loaded.bvf");
    clRig.source.size = 1234;
    std::atomic<int> lStopAt{0};
    clRig.events.OnProgress([&](int lCode) {
        if (lCode >= 1 && lCode <= 999 && lStopAt == 0) {
            lStopAt = lCode;
            RequestWorkerStop(clRig.context);
        }
    });
    QCOMPARE(clRig.Fill(Paths({"first.bvf", "large.bvf", "last.bvf"})), -1);
    // Stopped within the second of three files: its share of the bar.
    QVERIFY2(lStopAt >= 333 && lStopAt < 667, qPrintable(QString::number(lStopAt)));
    QCOMPARE(clRig.list.FileNames(), QStringList{Path("first.bvf")});
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, lStopAt, -1}));
    QCOMPARE(clRig.events.Lists(), QStringList{Path("large.bvf")});
    // The split tab's source is forgotten.
    QCOMPARE(clRig.source.name, QString());
    QCOMPARE(clRig.source.size, uint64_t(0));
}

void TestMergeWorker::startRefusedOrReleasing() {
    MergeRig clRig;
    uint64_t lMagic = 0;
    QCOMPARE(StartMergeWorker(clRig.context, clRig.list, clRig.source, &lMagic),
             MergeStart::EmptyList);
    for (const char *pName : {"a1", "a2", "b1"})
        clRig.list.Insert(Entry(Path(pName), pName[0] == 'a' ? kMagicA : kMagicB));
    QCOMPARE(StartMergeWorker(clRig.context, clRig.list, clRig.source, &lMagic),
             MergeStart::SingleFileGroup);
    QCOMPARE(lMagic, kMagicB);
    QVERIFY(!WorkerHeld(clRig.context));
    QCOMPARE(clRig.events.Log(), QStringList());

    // A Start while a fill runs, or has ended but is still held, only releases it.
    clRig.list.Clear();
    QVERIFY(WriteRecording(Path("first.bvf"), Run(At("10:00:00"), 6000)));
    QVERIFY(WriteRecording(Path("second.bvf"), Run(At("11:00:00"), 5)));
    const auto fnStart = [&clRig, this](const char *pName) {
        return StartFillWorker(clRig.context, {Path(pName)}, clRig.list, clRig.source);
    };
    clRig.events.OnProgress([](int lCode) {
        if (lCode == 0)
            QThread::msleep(150);
    });
    QCOMPARE(fnStart("first.bvf"), FillStart::Started);
    QCOMPARE(fnStart("second.bvf"), FillStart::ReleasedHeldWorker);
    QVERIFY(!WorkerHeld(clRig.context));
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, -1}));
    QVERIFY(clRig.list.IsEmpty());
    clRig.events.OnProgress(nullptr);
    clRig.events.Restart();
    QCOMPARE(fnStart("second.bvf"), FillStart::Started);
    QCOMPARE(clRig.events.WaitForEnd(), 1000);
    QCOMPARE(fnStart("first.bvf"), FillStart::ReleasedHeldWorker);
    QVERIFY(!WorkerHeld(clRig.context));
    QCOMPARE(clRig.list.FileNames(), QStringList{Path("second.bvf")});
}

// Two groups merged with scripted answers; "%1" stands for the folder.
void TestMergeWorker::conversation_data() {
    QTest::addColumn<QString>("replies"); // see Replies() below
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("told"); // "|" between entries; a1/b1: "output first" about it
    QTest::addColumn<QString>("outputs");

    const auto Row = [](const char *pName, const char *pReplies, int lCode, const char *pTold,
                        const char *pOutputs = "a b") {
        QTest::newRow(pName) << pReplies << lCode << pTold << pOutputs;
    };
    // An output that cannot be opened is asked again; a cleared list changes nothing.
    Row("outputs asked again, list cleared", "^folder.bvf none/x.bvf a.bvf b.bvf", 1000,
        "a1|output again %1/a1.bvf|output again %1/a1.bvf|b1");
    Row("empty name cancels", "a.bvf -", -1, "a1|b1", "a");
    Row("question closed", "a.bvf C", -1, "a1|b1", "a");
    Row("stop while asked", "a.bvf S", -1, "a1|b1", "a");
    Row("question not taken", "a.bvf X", -1, "a1|b1", "a");
    // Each refusal asked again; for the second output the first is refused too.
    for (const char *pPath :
         {"a1.bvf", "/a2.bvf", "sub/../a2.bvf", "link.bvf", "hard.bvf", "b2.bvf"})
        Row(pPath, qPrintable(QStringLiteral("%1 a.bvf %1 a.bvf b.bvf").arg(pPath)), 1000,
            "a1|refused is a source|b1|refused is a source|refused already written");
    Row("longer than 259 characters",
        qPrintable(QString(300, u'x') + " a.bvf " + QString(300, u'x') + " a.bvf b.bvf"), 1000,
        "a1|refused too long|b1|refused too long|refused already written");
    // A source stored without the check is refused all the same.
    Row("stored without the check", "!./a2.bvf a.bvf b.bvf", 1000, "a1|output again %1/a1.bvf|b1");
}

void TestMergeWorker::conversation() {
    QFETCH(QString, replies);
    QFETCH(int, code);
    QFETCH(QString, told);
    QFETCH(QString, outputs);
    MergeRig clRig;
    QVERIFY(TwoGroups(clRig));
    QVERIFY(QDir(m_pDir->path()).mkdir("sub") && QDir(m_pDir->path()).mkdir("folder.bvf"));
    QVERIFY(QFile::link(Path("a2.bvf"), Path("link.bvf")));
    QCOMPARE(::link(QFile::encodeName(Path("b1.bvf")), QFile::encodeName(Path("hard.bvf"))), 0);
    const QStringList clSources{"a1.bvf", "a2.bvf", "b1.bvf", "b2.bvf"};
    QList<QByteArray> clBefore;
    for (const QString &clstrSource : clSources)
        clBefore << FileBytes(Path(clstrSource));
    clRig.source.name = QStringLiteral("/rec/loaded.bvf");

    // "-" an empty name, C closed, S Stop, X not taken, "!" stored without
    // the check, "^" the list cleared first; otherwise a name in the folder.
    QList<Reply> clReplies;
    for (const QString &r : replies.split(u' ')) {
        const QString clstrPath = m_pDir->path() + "/" + r.mid(r[0] == u'!' || r[0] == u'^');
        clReplies << (r == "-"   ? Reply::To(QString())
                      : r == "C" ? Reply::Of(Reply::Close)
                      : r == "S" ? Reply::Of(Reply::Stop, true)
                      : r == "X" ? Reply::Of(Reply::NotTaken)
                                 : Reply::To(clstrPath));
        if (r[0] == u'!')
            clReplies.last().kind = Reply::Bypass;
        if (r[0] == u'^')
            clReplies.last().before = [&clRig] { clRig.list.Clear(); };
    }
    clRig.events.Script(clReplies);
    QCOMPARE(clRig.Merge(), code);
    QStringList clTold = told.replace("%1", m_pDir->path()).split(u'|');
    for (QString &clstrEntry : clTold) {
        if (clstrEntry.size() == 2)
            clstrEntry = "output first " + Path(clstrEntry + ".bvf");
    }
    QCOMPARE(clRig.events.Told(), clTold);
    for (int i = 0; i < clSources.size(); ++i)
        QVERIFY2(FileBytes(Path(clSources[i])) == clBefore[i], qPrintable(clSources[i]));
    // Overlapping files are copied whole; a cancel leaves the finished output.
    QCOMPARE(Holds("a.bvf", {"a1.bvf", "a2.bvf"}), QString());
    if (outputs == "a b")
        QCOMPARE(Holds("b.bvf", {"b1.bvf", "b2.bvf"}), QString());
    else
        QVERIFY(!QFileInfo::exists(Path("b.bvf")));
    QCOMPARE(clRig.source.name.isEmpty(), code == -1);
}

void TestMergeWorker::damagedRecordIsLeftOutAndReported() {
    QVERIFY(Written({"intact.bvf", "after.bvf"}, At("10:00:00"), 10));
    QVERIFY(QFile::copy(Path("intact.bvf"), Path("damaged.bvf")));
    QVERIFY(Damage(Path("damaged.bvf"), {{3, kRefused}, {6, QByteArray(300, '\x7e')}}));
    // A file gone by the time of the merge is skipped when the user goes on.
    MergeRig clRig;
    clRig.list.Insert(Entry(Path("gone.bvf"), kMagicA, At("09:00:00"), At("09:00:04")));
    QCOMPARE(clRig.Fill(Paths({"damaged.bvf", "after.bvf"})), 1000);
    clRig.events.Script({GoOn(), Reply::To(Path("joined.bvf"))});
    QCOMPARE(clRig.Merge(), 1000);
    QCOMPARE(Holds("joined.bvf", {"intact.bvf", "after.bvf"}), QString());
    QCOMPARE(clRig.events.Told(),
             (QStringList{"open read " + Path("gone.bvf"), "output first " + Path("damaged.bvf"),
                          "notice <" + Path("damaged.bvf") +
                              ">\n1 damaged record(s) and 300 damaged byte(s) could not be read "
                              "and are missing in the merged file."}));
    // Not going on ends the merge before any output.
    clRig.events.Script({Abort(), Reply::To(Path("j"))});
    QCOMPARE(clRig.Merge(), -1);
    QCOMPARE(clRig.events.Told(), QStringList{"open read " + Path("gone.bvf")});
    QVERIFY(!QFileInfo::exists(Path("j")));
}

void TestMergeWorker::readingFailureKeepsWhatWasCopied_data() {
    QTest::addColumn<int>("failure");
    QTest::newRow("read error") << int(FILE_WRITE_FAILED);
    QTest::newRow("damage the reader cannot get past") << int(FILE_DAMAGED);
    QTest::newRow("reader in a wrong state") << int(FILE_WRONG_STATE);
    QTest::newRow("no data yet from a finished file") << int(FILE_NO_DATA_YET);
    QTest::newRow("no buffer") << int(FILE_NO_BUFFER);
}

void TestMergeWorker::readingFailureKeepsWhatWasCopied() {
    QFETCH(int, failure);
    QVERIFY(Written({"a1.bvf", "a2.bvf", "a3.bvf"}, At("10:00:10"), 10));
    const QString clstrFailing = Path("a2.bvf");
    MergeRig clRig;
    PrepareDirectRun(clRig.context, Paths({"a1.bvf", "a2.bvf", "a3.bvf"}), clRig.source);
    clRig.source.name = QStringLiteral("/rec/loaded.bvf");
    clRig.events.Script({Reply::To(Path("joined.bvf"))});
    ReadCounts clCounts;
    QVERIFY(!RunMergeWorker(clRig.context,
                            StandInOpener(clCounts, 0, {}, clstrFailing, 4, FileResult(failure)))
                 .Succeeded());
    // The bar shows how far the merge came before the problem is shown.
    const QStringList clLog = clRig.events.Log();
    const qsizetype lReport = clLog.indexOf("read failed " + clstrFailing);
    QVERIFY2(lReport > 0 && clLog[lReport - 1].startsWith("progress "),
             qPrintable(clLog.join(u',')));
    const int lCode = clLog[lReport - 1].mid(9).toInt();
    QVERIFY(lCode >= 333 && lCode <= 999);
    QCOMPARE(clLog.mid(lReport + 1), QStringList{"progress -1"});
    QCOMPARE(clRig.events.Told(),
             (QStringList{"output first " + Path("a1.bvf"), "read failed " + clstrFailing}));
    const ContainerFrames clFirst = FramesOf(Path("a1.bvf"));
    QCOMPARE(CompareParts({Path("joined.bvf")}, clFirst.header,
                          clFirst.frames + FramesOf(clstrFailing).frames.mid(0, 4)),
             QString());
    QVERIFY(clRig.context.doneEvent->IsSet());
    QVERIFY(!clRig.context.mergeDestination);
    QCOMPARE(clRig.source.name, QString());
}

void TestMergeWorker::questionsWaitForAnswerOrStop() {
    MergeRig clRig;
    QVERIFY(Written({"a1.bvf", "a2.bvf"}, At("10:00:00"), 5));
    QCOMPARE(clRig.Fill(Paths({"a1.bvf", "a2.bvf"})), 1000);
    // With a question open, the release stops the worker and waits for its end.
    clRig.events.Restart();
    clRig.events.Script({Reply::Of(Reply::NoAnswer)});
    QCOMPARE(StartMergeWorker(clRig.context, clRig.list, clRig.source), MergeStart::Started);
    QTRY_COMPARE(clRig.events.Told().size(), 1);
    QVERIFY(QuestionIsOpen(clRig.context));
    QVERIFY(!clRig.context.doneEvent->IsSet());
    ReleaseWorker(clRig.context);
    QCOMPARE(clRig.events.Codes().last(), -1);
    QCOMPARE(AnswerMergeDestination(clRig.context, Path("late.bvf")), MergeDestination::NoQuestion);
    QVERIFY(!AnswerMergeQuestion(clRig.context, true));
    // A stop before the first question: none is asked.
    clRig.events.Restart();
    clRig.events.OnProgress([&](int) { RequestWorkerStop(clRig.context); });
    QCOMPARE(clRig.Merge(), -1);
    QCOMPARE(clRig.events.Told(), QStringList());
}

void TestMergeWorker::proposedOutputs() {
    // The path without its last extension and without any "_Joined"; a dot
    // in a folder name cuts there, a dot at the very start does not.
    QCOMPARE(JoinedOutputProposal("/rec/cell.bvf"), QStringLiteral("/rec/cell_Joined.bvf"));
    QCOMPARE(JoinedOutputProposal("/rec/cell_Joined.bvf"), QStringLiteral("/rec/cell_Joined.bvf"));
    QCOMPARE(JoinedOutputProposal("/rec.d/cell"), QStringLiteral("/rec_Joined.bvf"));
    QCOMPARE(JoinedOutputProposal(".cell"), QStringLiteral(".cell_Joined.bvf"));
}

// Files checked in chunks on all cores are listed and merged as reading them
// frame by frame lists and merges them, whatever lies at the seams: damage,
// refused frames, frames a writer writes otherwise, a cut-short end.
void TestMergeWorker::chunksAsRead() {
    if (std::thread::hardware_concurrency() < 2)
        QSKIP("files are read in chunks only where there are two cores");
    QRandomGenerator clRandom(3);
    const auto Below = [&clRandom](int lLimit) { return int(clRandom.bounded(lLimit)); };
    QStringList clPaths;
    for (int lFile = 0; lFile < 3; ++lFile) {
        QList<RecordSpec> clSpecs;
        for (int i = 0; i < 300; ++i) {
            const int64_t t = At("10:00:00") + 3600 * lFile + i * 7 - Below(20);
            const int lKind = Below(6);
            clSpecs << (lKind == 0   ? Notice()
                        : lKind == 1 ? Generic(t, 20 + Below(200))
                        : lKind == 2 ? Dmr(t)
                                     : Tetra(t));
        }
        // The latest time in the middle of the last minute.
        const int64_t lLast = At("11:00:00") + 3600 * lFile;
        clSpecs << Tetra(lLast + 40) << Tetra(lLast + 10) << Notice();
        clPaths << Path(QStringLiteral("in%1.bvf").arg(lFile));
        QVERIFY(WriteRecording(clPaths.last(), clSpecs, kMagicA));
        const ContainerFrames clFrames = FramesOf(clPaths.last());
        QList<QByteArray> clChanged = clFrames.frames;
        // The first file sound, the second with frames written otherwise only.
        for (int lChange = 0; lChange < 3 * lFile; ++lChange) {
            QByteArray &clFrame = clChanged[Below(int(clChanged.size()))];
            switch (lFile == 1 ? 0 : Below(4)) {
            case 0: // read back, but written otherwise: not copied as it stands
                clFrame = ContainerBytes::Frame(uint8_t(clFrame[4]),
                                                clFrame.mid(10).replace(15, 1, "\x01"));
                break;
            case 1:
                clFrame[Below(int(clFrame.size()))] ^= char(1 + Below(255));
                break;
            case 2:
                clFrame.prepend(kRefused);
                break;
            default:
                clFrame.prepend(QByteArray(1 + Below(100), char(Below(256))));
                break;
            }
        }
        QByteArray clBytes = clFrames.header + clChanged.join();
        if (lFile == 2)
            clBytes.chop(1 + Below(50));
        QVERIFY(WriteBytes(clPaths.last(), clBytes));
    }

    const auto Merged = [&](uint32_t lChunkBytes) {
        CChunkedScan::SetChunkBytes(lChunkBytes);
        MergeRig clRig;
        QStringList clSeen;
        if (clRig.Fill(clPaths) != 1000)
            return QStringList{"fill failed"};
        for (const StructJoinFileData &e : clRig.list.Entries())
            clSeen << QStringLiteral("%1 %2..%3 %4")
                          .arg(e.fileName)
                          .arg(e.start)
                          .arg(e.end)
                          .arg(e.records);
        const QString clstrJoined = Path(QStringLiteral("joined%1.bvf").arg(lChunkBytes));
        clRig.events.Script({Reply::To(clstrJoined)});
        clSeen << QString::number(clRig.Merge()) << clRig.events.Told()
               << QString::number(clRig.source.kindMask)
               << QString::fromLatin1(FileBytes(clstrJoined).toHex());
        return clSeen;
    };
    const QStringList clAsRead = Merged(0);
    QCOMPARE(clAsRead.value(3), QStringLiteral("1000"));
    for (const uint32_t lChunkBytes : {300u, 1000u, 4096u})
        QCOMPARE(Merged(lChunkBytes), clAsRead);

    // A file changed after the fill found it sound is read again, not copied.
    CChunkedScan::SetChunkBytes(300);
    MergeRig clRig;
    QCOMPARE(clRig.Fill(clPaths), 1000);
    QList<bool> clSound;
    for (const StructJoinFileData &clEntry : clRig.list.Entries())
        clSound << clEntry.soundAs.has_value();
    QCOMPARE(clSound, QList<bool>({true, false, false}));
    QByteArray clBytes = FileBytes(clPaths[0]);
    clBytes[clBytes.size() / 2] = char(clBytes[clBytes.size() / 2] ^ 0x5a);
    QFile clFile(clPaths[0]);
    QVERIFY(WriteBytes(clPaths[0], clBytes) && clFile.open(QIODevice::ReadWrite) &&
            clFile.setFileTime(QDateTime::currentDateTimeUtc().addSecs(5),
                               QFileDevice::FileModificationTime));
    clFile.close();
    const QString clstrJoined = Path(QStringLiteral("changed.bvf"));
    clRig.events.Script({Reply::To(clstrJoined)});
    QCOMPARE(clRig.Merge(), 1000);
    const QStringList clNotices = clRig.events.Told().filter(QStringLiteral("notice "));
    const QByteArray clChanged = FileBytes(clstrJoined);
    const QStringList clChangedAsRead = Merged(0);
    QCOMPARE(clNotices, clChangedAsRead.filter(QStringLiteral("notice ")));
    QCOMPARE(clChanged.toHex(), clChangedAsRead.last().toLatin1());
}

BVF_TEST_MAIN(TestMergeWorker)

#include "test_merge_worker.moc"
