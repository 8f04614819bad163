// The merge tab's workers where the round trips cannot look. The fill: the
// times it takes from records that do not start or end a file, the paths it
// leaves out without a word, and how a run ends. The merge: the questions it
// asks and how their answers steer it, the destinations it refuses, and how it
// ends after a failure or a stop. Outputs are compared byte by byte with the
// sources' frames.
#include "MergeTestKit.h"
#include "TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <unistd.h>

using namespace MergeTestKit;

Q_DECLARE_METATYPE(QList<WorkerTestKit::RecordSpec>)
Q_DECLARE_METATYPE(Reply)

namespace {

constexpr uint64_t kMagicA = 0xA1A1;
constexpr uint64_t kMagicB = 0xB2B2;

// lCount TETRA records from lFirst on, one per second.
QList<RecordSpec> Run(int64_t lFirst, int lCount) {
    QList<RecordSpec> clSpecs;
    for (int i = 0; i < lCount; ++i)
        clSpecs << Tetra(lFirst + i);
    return clSpecs;
}

// A whole record with a good checksum that the reader cannot take.
const QByteArray kRefused = ContainerBytes::Frame(3, QByteArray(60, '\x11'), 1);

// The file's bytes with the extra bytes after the frames at their indexes.
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
    void init();

    void fillTimes_data();
    void fillTimes();
    void fillLeavesOut();
    void fillStops();
    void startWhileFillingStopsTheFill();

    void startNeedsTwoFilesPerGroup();
    void groupsGiveOutputs();
    void cancellingTheOutputEndsTheMerge_data();
    void cancellingTheOutputEndsTheMerge();
    void unreadableSource_data();
    void unreadableSource();
    void damagedRecordIsLeftOutAndReported_data();
    void damagedRecordIsLeftOutAndReported();
    void readingFailureKeepsWhatWasCopied_data();
    void readingFailureKeepsWhatWasCopied();
    void proposedOutputs();
    void destinationRefused_data();
    void destinationRefused();
    void questionsWaitForAnswerOrStop();

  private:
    QString Path(const QString &clstrName) const { return m_pDir->filePath(clstrName); }
    // Writes the recordings of lCount records a second apart, each starting
    // where the one before ends, from lFirst on.
    bool Written(const QStringList &clNames, int64_t lFirst, int lCount,
                 uint64_t lMagic = kMagicA) const {
        for (int i = 0; i < clNames.size(); ++i) {
            if (!WriteRecording(Path(clNames[i]), Run(lFirst + i * lCount, lCount), lMagic))
                return false;
        }
        return true;
    }
    QStringList Paths(const QStringList &clNames) const {
        QStringList clPaths;
        for (const QString &clstrName : clNames)
            clPaths << Path(clstrName);
        return clPaths;
    }
    // Two groups of two: a1, a2 (magic A, overlapping) then b1, b2 (magic B).
    bool TwoGroups(MergeRig &clRig) const {
        return WriteRecording(Path("a1.bvf"), Run(At("10:00:00"), 20), kMagicA) &&
               WriteRecording(Path("a2.bvf"), Run(At("10:00:10"), 20), kMagicA) &&
               Written({"b1.bvf", "b2.bvf"}, At("08:00:00"), 15, kMagicB) &&
               clRig.Fill(Paths({"a1.bvf", "a2.bvf"})) == 1000 &&
               clRig.Fill(Paths({"b1.bvf", "b2.bvf"})) == 1000;
    }
    // The output holds these sources' frames in order, behind the first one's
    // header.
    QString Holds(const QString &clstrOutput, const QStringList &clSources) const {
        QList<QByteArray> clFrames;
        for (const QString &clstrSource : clSources)
            clFrames << FramesOf(Path(clstrSource)).frames;
        return CompareParts({Path(clstrOutput)}, FramesOf(Path(clSources.first())).header,
                            clFrames);
    }

    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestMergeWorker::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
}

void TestMergeWorker::fillTimes_data() {
    QTest::addColumn<QList<RecordSpec>>("records");
    QTest::addColumn<qint64>("headerStart"); // the largest value: none
    QTest::addColumn<int>("damagedAfter");   // a refused record after this one; -1: none
    QTest::addColumn<QString>("times");      // start - end, "fromRecord" when taken from one

    const qint64 lHeader = At("09:00:00");
    QTest::newRow("the latest time, not the last record's")
        << QList<RecordSpec>{Tetra(At("12:00:00")), Tetra(At("12:09:00")), Dmr(At("12:03:00"))}
        << lHeader << -1 << "12:00:00 - 12:09:00 fromRecord";
    QTest::newRow("the first record's time, not the earliest")
        << QList<RecordSpec>{Tetra(At("12:00:10")), Tetra(At("12:00:00"))} << lHeader << -1
        << "12:00:10 - 12:00:10 fromRecord";
    QTest::newRow("no usable time keeps the header's start")
        << QList<RecordSpec>{Notice(), Generic(0, 20), Notice()} << lHeader << -1
        << "09:00:00 - unknown";
    QTest::newRow("no usable time and no header start")
        << QList<RecordSpec>{Notice(), Notice()} << std::numeric_limits<qint64>::max() << -1
        << "unknown - unknown";
    QTest::newRow("no records at all")
        << QList<RecordSpec>{} << lHeader << -1 << "09:00:00 - unknown";
    // A part cut from a recording carries the recording's header start.
    QTest::newRow("a first record without time: the start from the first time stamp")
        << QList<RecordSpec>{Notice(), Generic(0, 20), Tetra(At("12:00:03")), Tetra(At("12:00:07"))}
        << lHeader << -1 << "12:00:03 - 12:00:07 fromRecord";
    QTest::newRow("a damaged record does not end the examination")
        << Run(At("10:00:00"), 10) << lHeader << 4 << "10:00:00 - 10:00:09 fromRecord";
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
    const StructJoinFileData clEntry = clRig.list.Entries().first();
    const auto fnTime = [](int64_t lTime) {
        return lTime == kJoinTimeUnknown ? QStringLiteral("unknown") : Clock(lTime);
    };
    QCOMPARE(fnTime(clEntry.start) + " - " + fnTime(clEntry.end) +
                 (clEntry.flags & kJoinTimesFromRecord ? " fromRecord" : ""),
             times);
    QCOMPARE(clEntry.flags & kJoinFileOpened, kJoinFileOpened);
    QCOMPARE(clEntry.records, int64_t(records.size()));
}

void TestMergeWorker::fillLeavesOut() {
    QVERIFY(QDir(m_pDir->path()).mkdir("folder.bvf"));
    QVERIFY(WriteBytes(Path("text.bvf"), "not a container at all"));
    QVERIFY(WriteRecording(Path("good.bvf"), Run(At("10:00:00"), 5)));
    // The first 259 characters of a longer path name an existing recording;
    // a shortened path would add that file.
    const QString clstrLong = m_pDir->path() + "/" + QString(299 - m_pDir->path().size(), u'n');
    QVERIFY(WriteRecording(clstrLong.left(259), Run(At("11:00:00"), 5)));

    MergeRig clRig;
    const QString clstrDoubled = m_pDir->path() + "//good.bvf";
    QCOMPARE(clRig.Fill({Path("folder.bvf"), Path("missing.bvf"), Path("good.bvf"),
                         Path("text.bvf"), clstrDoubled, clstrLong, Path("nofolder/x.bvf")}),
             1000);
    // Another spelling of a listed file is the same file.
    QCOMPARE(clRig.list.FileNames(), QStringList{Path("good.bvf")});
    // No word about them: only the final refresh, with the last path taken up.
    QCOMPARE(clRig.events.Log(),
             (QStringList{"progress 0", "progress 1000", "list " + Path("nofolder/x.bvf")}));
    // A later run: 259 characters fit; listed once more is still once, and
    // the final refresh names the file as it is listed.
    QCOMPARE(clRig.Fill({clstrLong.left(259), clstrDoubled}), 1000);
    QCOMPARE(clRig.list.FileNames(), (QStringList{Path("good.bvf"), clstrLong.left(259)}));
    QCOMPARE(clRig.events.Lists(), QStringList{Path("good.bvf")});
    QCOMPARE(clRig.Fill({}), 1000);
    QCOMPARE(clRig.events.Log(), (QStringList{"progress 0", "progress 1000", "list "}));
}

void TestMergeWorker::fillStops() {
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

void TestMergeWorker::startWhileFillingStopsTheFill() {
    QVERIFY(WriteRecording(Path("first.bvf"), Run(At("10:00:00"), 6000)));
    QVERIFY(WriteRecording(Path("second.bvf"), Run(At("11:00:00"), 5)));
    MergeRig clRig;
    const auto fnStart = [&clRig, this](const char *pName) {
        return StartFillWorker(clRig.context, {Path(pName)}, clRig.list, clRig.source);
    };
    // Holds the fill at its start, so that it surely runs when Start comes
    // again; the stop then ends it within the large file.
    clRig.events.OnProgress([](int lCode) {
        if (lCode == 0)
            QThread::msleep(150);
    });
    QCOMPARE(fnStart("first.bvf"), FillStart::Started);
    QCOMPARE(fnStart("second.bvf"), FillStart::ReleasedHeldWorker);
    QVERIFY(!WorkerHeld(clRig.context));
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, -1}));
    QVERIFY(clRig.list.IsEmpty());

    // A fill that has ended but is still held: its end handling releases
    // it, so a Start before that only releases it too.
    clRig.events.OnProgress(nullptr);
    clRig.events.Restart();
    QCOMPARE(fnStart("second.bvf"), FillStart::Started);
    QCOMPARE(clRig.events.WaitForEnd(), 1000);
    QCOMPARE(fnStart("first.bvf"), FillStart::ReleasedHeldWorker);
    QVERIFY(!WorkerHeld(clRig.context));
    QCOMPARE(clRig.list.FileNames(), QStringList{Path("second.bvf")});
}

void TestMergeWorker::startNeedsTwoFilesPerGroup() {
    MergeRig clRig;
    uint64_t lMagic = 0;
    QCOMPARE(StartMergeWorker(clRig.context, clRig.list, clRig.source, &lMagic),
             MergeStart::EmptyList);
    clRig.list.Insert(Entry(Path("a1.bvf"), kMagicA));
    clRig.list.Insert(Entry(Path("a2.bvf"), kMagicA));
    clRig.list.Insert(Entry(Path("b1.bvf"), kMagicB));
    QCOMPARE(StartMergeWorker(clRig.context, clRig.list, clRig.source, &lMagic),
             MergeStart::SingleFileGroup);
    QCOMPARE(lMagic, kMagicB);
    QVERIFY(!WorkerHeld(clRig.context));
    QCOMPARE(clRig.events.Log(), QStringList());
}

void TestMergeWorker::groupsGiveOutputs() {
    MergeRig clRig;
    QVERIFY(TwoGroups(clRig));
    QVERIFY(QDir(m_pDir->path()).mkdir("folder.bvf"));
    // An output that cannot be opened is asked for again; the merge works on
    // the names taken at its start, while the list may change.
    Reply clFirst = Reply::To(Path("folder.bvf"));
    clFirst.before = [&clRig] { clRig.list.Clear(); };
    clRig.events.Script({clFirst, Reply::To(Path("none/x.bvf")), Reply::To(Path("a.bvf")),
                         Reply::To(Path("b.bvf"))});
    QCOMPARE(clRig.Merge(), 1000);
    const QString clstrAgain = "output again " + Path("a1.bvf");
    QCOMPARE(clRig.events.Told(), (QStringList{"output first " + Path("a1.bvf"), clstrAgain,
                                               clstrAgain, "output first " + Path("b1.bvf")}));
    // Overlapping files are copied as they are, one after the other.
    QCOMPARE(Holds("a.bvf", {"a1.bvf", "a2.bvf"}), QString());
    QCOMPARE(Holds("b.bvf", {"b1.bvf", "b2.bvf"}), QString());
    QVERIFY(QFileInfo(Path("folder.bvf")).isDir());
}

void TestMergeWorker::cancellingTheOutputEndsTheMerge_data() {
    QTest::addColumn<Reply>("reply");
    QTest::newRow("empty name") << Reply::To(QString());
    QTest::newRow("question closed") << Reply::Of(Reply::Close);
    QTest::newRow("stop while asked") << Reply::Of(Reply::Stop, true);
    QTest::newRow("question not taken") << Reply::Of(Reply::NotTaken);
}

void TestMergeWorker::cancellingTheOutputEndsTheMerge() {
    QFETCH(Reply, reply);
    MergeRig clRig;
    QVERIFY(TwoGroups(clRig));
    clRig.source.name = QStringLiteral("/rec/loaded.bvf");
    clRig.events.Script({Reply::To(Path("a.bvf")), reply});
    QCOMPARE(clRig.Merge(), -1);
    QCOMPARE(clRig.events.Told(),
             (QStringList{"output first " + Path("a1.bvf"), "output first " + Path("b1.bvf")}));
    // The output finished before stays complete; no other file is written.
    QCOMPARE(Holds("a.bvf", {"a1.bvf", "a2.bvf"}), QString());
    QCOMPARE(FilesIn(m_pDir->path()),
             (QStringList{"a.bvf", "a1.bvf", "a2.bvf", "b1.bvf", "b2.bvf"}));
    QCOMPARE(clRig.source.name, QString());
}

void TestMergeWorker::unreadableSource_data() {
    QTest::addColumn<bool>("ignore");
    QTest::newRow("ignore") << true;
    QTest::newRow("abort") << false;
}

void TestMergeWorker::unreadableSource() {
    QFETCH(bool, ignore);
    MergeRig clRig;
    QVERIFY(Written({"a2.bvf", "a3.bvf"}, At("10:00:10"), 5));
    // Listed first of its group but gone by the time of the merge.
    clRig.list.Insert(Entry(Path("a1.bvf"), kMagicA, At("10:00:00"), At("10:00:04")));
    QCOMPARE(clRig.Fill(Paths({"a2.bvf", "a3.bvf"})), 1000);
    clRig.events.Script({ignore ? GoOn() : Abort(), Reply::To(Path("j"))});
    QCOMPARE(clRig.Merge(), ignore ? 1000 : -1);
    const QString clstrAsked = "open read " + Path("a1.bvf");
    if (!ignore) {
        QCOMPARE(clRig.events.Told(), QStringList{clstrAsked});
        QVERIFY(!QFileInfo::exists(Path("j")));
        return;
    }
    // The next readable file of the group opens the output, with its header.
    QCOMPARE(clRig.events.Told(), (QStringList{clstrAsked, "output first " + Path("a2.bvf")}));
    QCOMPARE(Holds("j", {"a2.bvf", "a3.bvf"}), QString());
}

void TestMergeWorker::damagedRecordIsLeftOutAndReported_data() {
    QTest::addColumn<int>("garbage"); // bytes that form no record
    QTest::addColumn<QString>("notice");
    QTest::newRow("a refused record") << 0 << "1 damaged record(s)";
    QTest::newRow("and bytes that form no record")
        << 300 << "1 damaged record(s) and 300 damaged byte(s)";
}

void TestMergeWorker::damagedRecordIsLeftOutAndReported() {
    QFETCH(int, garbage);
    QFETCH(QString, notice);
    QVERIFY(Written({"intact.bvf", "after.bvf"}, At("10:00:00"), 10));
    QVERIFY(QFile::copy(Path("intact.bvf"), Path("damaged.bvf")));
    QVERIFY(Damage(Path("damaged.bvf"), {{3, kRefused}, {6, QByteArray(garbage, '\x7e')}}));

    MergeRig clRig;
    QCOMPARE(clRig.Fill(Paths({"damaged.bvf", "after.bvf"})), 1000);
    clRig.events.Script({Reply::To(Path("joined.bvf"))});
    QCOMPARE(clRig.Merge(), 1000);
    // Every readable record, before and after the damage, and those of the
    // next file; the user learns what is missing.
    QCOMPARE(Holds("joined.bvf", {"intact.bvf", "after.bvf"}), QString());
    QCOMPARE(clRig.events.Told(),
             (QStringList{"output first " + Path("damaged.bvf"),
                          "notice <" + Path("damaged.bvf") + ">\n" + notice +
                              " could not be read and are missing in the merged file."}));
}

void TestMergeWorker::readingFailureKeepsWhatWasCopied_data() {
    QTest::addColumn<int>("failure");
    QTest::newRow("read error") << int(FILE_WRITE_FAILED);
    QTest::newRow("damage the reader cannot get past") << int(FILE_DAMAGED);
    QTest::newRow("reader in a wrong state") << int(FILE_WRONG_STATE);
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
    // The closed output holds the first file and the records read before.
    const ContainerFrames clFirst = FramesOf(Path("a1.bvf"));
    QCOMPARE(CompareParts({Path("joined.bvf")}, clFirst.header,
                          clFirst.frames + FramesOf(clstrFailing).frames.mid(0, 4)),
             QString());
    QVERIFY(clRig.context.doneEvent->IsSet());
    QVERIFY(!clRig.context.mergeDestination);
    QCOMPARE(clRig.source.name, QString());
}

void TestMergeWorker::proposedOutputs() {
    // The path without its last extension and without any "_Joined"; a dot
    // in a folder name cuts there, a dot at the very start does not.
    QCOMPARE(JoinedOutputProposal("/rec/cell.bvf"), QStringLiteral("/rec/cell_Joined.bvf"));
    QCOMPARE(JoinedOutputProposal("/rec/cell_Joined.bvf"), QStringLiteral("/rec/cell_Joined.bvf"));
    QCOMPARE(JoinedOutputProposal("/rec.d/cell"), QStringLiteral("/rec_Joined.bvf"));
    QCOMPARE(JoinedOutputProposal(".cell"), QStringLiteral(".cell_Joined.bvf"));
}

void TestMergeWorker::destinationRefused_data() {
    QTest::addColumn<QString>("destination"); // %1: the folder
    QTest::addColumn<QString>("refusal");

    const auto Row = [](const char *pName, const QString &clstrPath, const char *pRefusal) {
        QTest::newRow(pName) << clstrPath << QString(pRefusal);
    };
    Row("a source of this output", "%1/a1.bvf", "is a source");
    Row("a source with doubled separators", "%1//a2.bvf", "is a source");
    Row("a source through ./", "%1/./a1.bvf", "is a source");
    Row("a source through ..", "%1/sub/../a2.bvf", "is a source");
    Row("a symbolic link to a source", "%1/link.bvf", "is a source");
    Row("a hard link to a source", "%1/hard.bvf", "is a source");
    Row("a source of a later output", "%1/b2.bvf", "is a source");
    Row("longer than 259 characters", "%1/" + QString(300, u'x') + ".bvf", "too long");
    // A dialog that stores a source without asking the check: the worker
    // refuses it all the same and asks again.
    Row("stored without the check", "bypass %1/./a2.bvf", "");
}

void TestMergeWorker::destinationRefused() {
    QFETCH(QString, destination);
    QFETCH(QString, refusal);
    MergeRig clRig;
    QVERIFY(TwoGroups(clRig));
    QVERIFY(QDir(m_pDir->path()).mkdir("sub"));
    QVERIFY(QFile::link(Path("a2.bvf"), Path("link.bvf")));
    QCOMPARE(::link(QFile::encodeName(Path("b1.bvf")), QFile::encodeName(Path("hard.bvf"))), 0);
    const QStringList clSources{"a1.bvf", "a2.bvf", "b1.bvf", "b2.bvf"};
    QList<QByteArray> clBefore;
    for (const QString &clstrSource : clSources)
        clBefore << FileBytes(Path(clstrSource));

    Reply clRefused = Reply::To(destination.arg(m_pDir->path()));
    const Reply clA = Reply::To(Path("a.bvf")), clB = Reply::To(Path("b.bvf"));
    const QString clstrFirstA = "output first " + Path("a1.bvf");
    const QString clstrFirstB = "output first " + Path("b1.bvf");
    if (refusal.isEmpty()) {
        clRefused.kind = Reply::Bypass;
        clRefused.path.remove(QStringLiteral("bypass "));
        clRig.events.Script({clRefused, clA, clB});
        QCOMPARE(clRig.Merge(), 1000);
        QCOMPARE(clRig.events.Told(),
                 (QStringList{clstrFirstA, "output again " + Path("a1.bvf"), clstrFirstB}));
    } else {
        // The same refusal for the second output too, where the first
        // output is also refused.
        clRig.events.Script({clRefused, clA, clRefused, clA, clB});
        QCOMPARE(clRig.Merge(), 1000);
        QCOMPARE(clRig.events.Told(),
                 (QStringList{clstrFirstA, "refused " + refusal, clstrFirstB, "refused " + refusal,
                              "refused already written"}));
    }
    for (int i = 0; i < clSources.size(); ++i)
        QVERIFY2(FileBytes(Path(clSources[i])) == clBefore[i], qPrintable(clSources[i]));
    QCOMPARE(Holds("a.bvf", {"a1.bvf", "a2.bvf"}), QString());
    QCOMPARE(Holds("b.bvf", {"b1.bvf", "b2.bvf"}), QString());
}

void TestMergeWorker::questionsWaitForAnswerOrStop() {
    MergeRig clRig;
    QVERIFY(Written({"a1.bvf", "a2.bvf"}, At("10:00:00"), 5));
    QCOMPARE(clRig.Fill(Paths({"a1.bvf", "a2.bvf"})), 1000);
    // Answered later by another thread: the worker waits for it.
    clRig.events.Script({Reply::To(Path("joined.bvf"), true)});
    QCOMPARE(clRig.Merge(), 1000);
    QCOMPARE(Holds("joined.bvf", {"a1.bvf", "a2.bvf"}), QString());

    // A question that stays open: releasing the worker stops it and waits for
    // its end before it frees anything.
    clRig.events.Restart();
    clRig.events.Script({Reply::Of(Reply::NoAnswer)});
    QCOMPARE(StartMergeWorker(clRig.context, clRig.list, clRig.source), MergeStart::Started);
    QTRY_COMPARE(clRig.events.Told().size(), 1);
    QVERIFY(QuestionIsOpen(clRig.context));
    QVERIFY(!clRig.context.doneEvent->IsSet());
    ReleaseWorker(clRig.context);
    QCOMPARE(clRig.events.Codes().last(), -1);
    // An answer after the stop reaches no one.
    QCOMPARE(AnswerMergeDestination(clRig.context, Path("late.bvf")), MergeDestination::NoQuestion);
    QVERIFY(!AnswerMergeQuestion(clRig.context, true));
}

BVF_TEST_MAIN(TestMergeWorker)
#include "test_merge_worker.moc"
