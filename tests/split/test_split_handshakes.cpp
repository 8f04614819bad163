// The split's questions and answers, stops and releases: the worker asks
// through the events interface and waits for the answer or the stop, so a
// question can never hold up a stop or the release of the worker.
#include "WorkerTestKit.h"

#include "TestRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace WorkerTestKit;

Q_DECLARE_METATYPE(QList<WorkerTestKit::Reply>)
Q_DECLARE_METATYPE(StructSplitSettings)

namespace {

const QString kSource = QStringLiteral("cell.bvf");
const QByteArray kOld = QByteArrayLiteral("old contents");

// Three parts by the hour: cell__01 (10:20, 10:40), cell__02 (11:05),
// cell__03 (12:10, 12:20).
const QList<RecordSpec> kThreeHours = {Tetra(At("10:20:00")), Tetra(At("10:40:00")),
                                       Tetra(At("11:05:00")), Tetra(At("12:10:00")),
                                       Tetra(At("12:20:00"))};
const QString kPart1 = QStringLiteral("cell__01.bvf: 10:20:00 10:40:00");
const QString kPart2 = QStringLiteral("cell__02.bvf: 11:05:00");
const QString kPart3 = QStringLiteral("cell__03.bvf: 12:10:00 12:20:00");
const QString kUntouched = QStringLiteral(": cannot open"); // still the old contents

QString PartName(int lPart) {
    return QStringLiteral("cell__%1.bvf").arg(lPart, 2, 10, QChar(u'0'));
}

Reply Answer(uint8_t lCode, bool bLater = false) {
    return Reply::Code(lCode, bLater);
}

} // namespace

class TestSplitHandshakes : public QObject {
    Q_OBJECT

  private slots:
    void init();

    void overwriteAnswers_data();
    void overwriteAnswers();
    void partsOfThisRun_data();
    void partsOfThisRun();
    void sourceAsOutput_data();
    void sourceAsOutput();
    void danglingLinkAtAPartName();
    void noQuestionAfterAStop();
    void releaseWithAnOpenQuestion();
    void startingAScanReleasesAWaitingSplit();

  private:
    QString Path(const QString &clstrName) const { return m_pDir->filePath(clstrName); }
    QString Folder() const { return m_pDir->path(); }
    QStringList Described(const QString &clstrSource = kSource) const {
        return DescribeParts(Folder(), {clstrSource});
    }
    bool Load(WorkerRig &clRig, const QList<RecordSpec> &clRecords,
              const QString &clstrName = kSource) const {
        return WriteRecording(Path(clstrName), clRecords) && clRig.Scan(Path(clstrName)) == 1000;
    }

    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestSplitHandshakes::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
}

void TestSplitHandshakes::overwriteAnswers_data() {
    QTest::addColumn<QList<int>>("existing");
    QTest::addColumn<QList<Reply>>("replies");
    QTest::addColumn<QStringList>("questions");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("parts");

    const QString clstrAsk1 = "ask:" + PartName(1);
    const QString clstrAsk2 = "ask:" + PartName(2);
    QTest::newRow("no existing file: no question")
        << QList<int>{} << QList<Reply>{} << QStringList{} << 2000
        << QStringList{kPart1, kPart2, kPart3};
    QTest::newRow("[NO] drops part 1; part 2 is written")
        << QList<int>{1} << QList<Reply>{Answer(OVERWRITE_NO)} << QStringList{clstrAsk1} << 2000
        << QStringList{PartName(1) + kUntouched, kPart2, kPart3};
    QTest::newRow("[NO], then part 2 is asked about at its own boundary")
        << QList<int>{1, 2} << QList<Reply>{Answer(OVERWRITE_NO), Answer(OVERWRITE_YES)}
        << QStringList{clstrAsk1, clstrAsk2} << 2000
        << QStringList{PartName(1) + kUntouched, kPart2, kPart3};
    QTest::newRow("[YES]") << QList<int>{1} << QList<Reply>{Answer(OVERWRITE_YES)}
                           << QStringList{clstrAsk1} << 2000 << QStringList{kPart1, kPart2, kPart3};
    QTest::newRow("[NO to ALL]: absent parts written, existing ones skipped without asking")
        << QList<int>{1, 3} << QList<Reply>{Answer(OVERWRITE_NO_TO_ALL)} << QStringList{clstrAsk1}
        << 2000 << QStringList{PartName(1) + kUntouched, kPart2, PartName(3) + kUntouched};
    QTest::newRow("[YES to ALL]: later existing files without asking")
        << QList<int>{1, 3} << QList<Reply>{Answer(OVERWRITE_YES_TO_ALL)} << QStringList{clstrAsk1}
        << 2000 << QStringList{kPart1, kPart2, kPart3};
    QTest::newRow("[ABORT]") << QList<int>{2} << QList<Reply>{Answer(OVERWRITE_ABORT)}
                             << QStringList{clstrAsk2} << -1
                             << QStringList{kPart1, PartName(2) + kUntouched};
    QTest::newRow("question closed without an answer aborts")
        << QList<int>{1} << QList<Reply>{Reply::Of(Reply::Close)} << QStringList{clstrAsk1} << -1
        << QStringList{PartName(1) + kUntouched};
    QTest::newRow("a closed question after an answered one aborts")
        << QList<int>{1, 2} << QList<Reply>{Answer(OVERWRITE_NO), Reply::Of(Reply::Close)}
        << QStringList{clstrAsk1, clstrAsk2} << -1
        << QStringList{PartName(1) + kUntouched, PartName(2) + kUntouched};
    QTest::newRow("an answer outside 1 to 5 aborts")
        << QList<int>{1} << QList<Reply>{Answer(7)} << QStringList{clstrAsk1} << -1
        << QStringList{PartName(1) + kUntouched};
    QTest::newRow("Stop while the question is shown")
        << QList<int>{2} << QList<Reply>{Reply::Of(Reply::Stop, true)} << QStringList{clstrAsk2}
        << -1 << QStringList{kPart1, PartName(2) + kUntouched};
    QTest::newRow("answers from another thread, a little later")
        << QList<int>{1, 2} << QList<Reply>{Answer(OVERWRITE_YES, true), Answer(OVERWRITE_NO, true)}
        << QStringList{clstrAsk1, clstrAsk2} << 2000
        << QStringList{kPart1, PartName(2) + kUntouched, kPart3};

    // A folder stands where part 2 goes (-2): it exists, so the overwrite
    // question comes first; then it cannot be opened and the retry is asked.
    Reply clRetryAfterRemoving = Answer(1, true);
    clRetryAfterRemoving.before = [this]() { QDir().rmdir(Path(PartName(2))); };
    const QList<Reply> clYes = {Answer(OVERWRITE_YES)};
    const QString clstrRetry = "retry:" + PartName(2);
    QTest::newRow("[RETRY] after removing the folder continues")
        << QList<int>{-2} << clYes + QList<Reply>{clRetryAfterRemoving}
        << QStringList{clstrAsk2, clstrRetry} << 2000 << QStringList{kPart1, kPart2, kPart3};
    QTest::newRow("giving up ends the split")
        << QList<int>{-2} << clYes + QList<Reply>{Answer(0)} << QStringList{clstrAsk2, clstrRetry}
        << -1 << QStringList{kPart1, PartName(2) + kUntouched};
    QTest::newRow("a retry that fails again asks again")
        << QList<int>{-2} << clYes + QList<Reply>{Answer(1), clRetryAfterRemoving}
        << QStringList{clstrAsk2, clstrRetry, clstrRetry} << 2000
        << QStringList{kPart1, kPart2, kPart3};
    QTest::newRow("a retry question closed after a [RETRY] gives up")
        << QList<int>{-2} << clYes + QList<Reply>{Answer(1), Reply::Of(Reply::Close)}
        << QStringList{clstrAsk2, clstrRetry, clstrRetry} << -1
        << QStringList{kPart1, PartName(2) + kUntouched};
    QTest::newRow("Stop during the retry question")
        << QList<int>{-2} << clYes + QList<Reply>{Reply::Of(Reply::Stop, true)}
        << QStringList{clstrAsk2, clstrRetry} << -1
        << QStringList{kPart1, PartName(2) + kUntouched};
}

void TestSplitHandshakes::overwriteAnswers() {
    QFETCH(QList<int>, existing);
    QFETCH(QList<Reply>, replies);
    QFETCH(QStringList, questions);
    QFETCH(int, code);
    QFETCH(QStringList, parts);
    WorkerRig clRig;
    QVERIFY(Load(clRig, kThreeHours));
    for (int lPart : existing)
        QVERIFY(lPart > 0 ? WriteBytes(Path(PartName(lPart)), kOld)
                          : QDir().mkdir(Path(PartName(-lPart))));
    clRig.events.Script(replies);
    QCOMPARE(clRig.Split(ByTime(3600, true, 1)), code);
    // The questions carry the bare file name.
    QCOMPARE(clRig.events.Questions(), questions);
    QCOMPARE(Described(), parts);
    for (int lPart : existing) {
        if (parts.contains(PartName(lPart) + kUntouched))
            QCOMPARE(FileBytes(Path(PartName(lPart))), kOld);
    }
    QCOMPARE(clRig.events.Errors(), QStringList());
    QCOMPARE(clRig.events.Codes().last(), code);
}

void TestSplitHandshakes::partsOfThisRun_data() {
    QTest::addColumn<bool>("existing");
    QTest::addColumn<QList<Reply>>("replies");
    QTest::addColumn<int>("questions");
    QTest::addColumn<QList<int>>("kept"); // source records in the one file

    // By number into 3 with a name without number: every part gets the same
    // name. Parts: records 0-1, 2-4, 5-8.
    QTest::newRow("[YES to ALL] does not cover a part written by this run")
        << true
        << QList<Reply>{Answer(OVERWRITE_YES_TO_ALL), Answer(OVERWRITE_NO), Answer(OVERWRITE_NO)}
        << 3 << QList<int>{0, 1};
    QTest::newRow("[YES] to each replaces the earlier part")
        << false << QList<Reply>{Answer(OVERWRITE_YES), Answer(OVERWRITE_YES)} << 2
        << QList<int>{5, 6, 7, 8};
    QTest::newRow("[NO to ALL] skips the later parts without asking")
        << false << QList<Reply>{Answer(OVERWRITE_NO_TO_ALL)} << 1 << QList<int>{0, 1};
}

void TestSplitHandshakes::partsOfThisRun() {
    QFETCH(bool, existing);
    QFETCH(QList<Reply>, replies);
    QFETCH(int, questions);
    QFETCH(QList<int>, kept);
    QList<RecordSpec> clRecords;
    for (int i = 0; i < 9; ++i)
        clRecords << Generic(At("10:00:00"), 9967);
    WorkerRig clRig;
    QVERIFY(Load(clRig, clRecords));
    const QString clstrName = QStringLiteral("cell__2024-03-07_10.00.00.bvf");
    if (existing)
        QVERIFY(WriteBytes(Path(clstrName), kOld));
    clRig.events.Script(replies);
    QCOMPARE(clRig.Split(ByNumber(3, 0)), 2000);
    QCOMPARE(clRig.events.Questions(), QStringList(questions, "ask:" + clstrName));
    QCOMPARE(FilesIn(Folder(), {kSource}), QStringList{clstrName});
    const ContainerFrames clSource = FramesOf(Path(kSource));
    QList<QByteArray> clExpected;
    for (int i : kept)
        clExpected << clSource.frames[i];
    QCOMPARE(CompareParts({Path(clstrName)}, clSource.header, clExpected), QString());
}

void TestSplitHandshakes::sourceAsOutput_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("link"); // "hard" or "symbolic": rec__02.bvf leads to the source

    // Part 2 of rec*.bvf with scheme 1 is rec__02.bvf.
    QTest::newRow("the same path") << "rec__02.bvf"
                                   << "";
    QTest::newRow("a hard link to the source") << "rec.bvf"
                                               << "hard";
    QTest::newRow("a symbolic link to the source") << "rec.bvf"
                                                   << "symbolic";
}

void TestSplitHandshakes::sourceAsOutput() {
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
    clRig.events.Script({Answer(OVERWRITE_YES_TO_ALL)});
    QCOMPARE(clRig.Split(ByTime(3600, true, 1)), -1);
    QCOMPARE(clRig.events.Questions(), (QStringList{"ask:rec__01.bvf", "source:rec__02.bvf"}));
    QCOMPARE(FileBytes(Path(source)), clSourceBytes);
    QCOMPARE(RecordTimes(Path("rec__01.bvf")), QStringList{"10:20:00"});
    QCOMPARE(clRig.events.Errors(), QStringList());

    // The fixed name of the period mode is checked the same way.
    clRig.events.Script({});
    StructSplitSettings clFixed = ByPeriod(At("10:00:00"), At("12:00:00"), kFixedNameScheme);
    // The same path is given in another spelling.
    clFixed.fixedName = link.isEmpty() ? Folder() + "//" + source : clstrPart2;
    QCOMPARE(clRig.Split(clFixed), -1);
    QCOMPARE(clRig.events.Questions(),
             QStringList{"source:" + QFileInfo(clFixed.fixedName).fileName()});
    QCOMPARE(FileBytes(Path(source)), clSourceBytes);
}

// A link at a part's name counts as an existing file, and whatever the user
// answers, no file appears where it points.
void TestSplitHandshakes::danglingLinkAtAPartName() {
    QVERIFY(QDir().mkdir(Path("elsewhere")));
    QVERIFY(QFile::link(Path("elsewhere/x.bvf"), Path(PartName(2))));
    for (const QList<Reply> &clReplies :
         {QList<Reply>{Answer(OVERWRITE_NO)}, QList<Reply>{Answer(OVERWRITE_YES), Answer(0)}}) {
        QFile::remove(Path(PartName(1)));
        QFile::remove(Path(PartName(3)));
        WorkerRig clRig;
        QVERIFY(Load(clRig, kThreeHours));
        clRig.events.Script(clReplies);
        QCOMPARE(clRig.Split(ByTime(3600, true, 1)), clReplies.size() == 1 ? 2000 : -1);
        QCOMPARE(clRig.events.Questions().value(0), "ask:" + PartName(2));
        QVERIFY(!QFileInfo::exists(Path("elsewhere/x.bvf")));
    }
}

void TestSplitHandshakes::noQuestionAfterAStop() {
    WorkerRig clRig;
    QVERIFY(Load(clRig, kThreeHours));
    QVERIFY(WriteBytes(Path(PartName(1)), kOld));
    // Stopped as the split starts: the question about part 1 is never asked.
    clRig.events.OnProgress([&clRig](int lCode) {
        if (lCode == 0)
            clRig.context.stopEvent->Set();
    });
    QCOMPARE(clRig.Split(ByTime(3600, true, 1)), -1);
    QCOMPARE(clRig.events.Questions(), QStringList());
    QCOMPARE(FileBytes(Path(PartName(1))), kOld);
    QCOMPARE(FilesIn(Folder(), {kSource}), QStringList{PartName(1)});
}

void TestSplitHandshakes::releaseWithAnOpenQuestion() {
    {
        WorkerRig clRig;
        QVERIFY(Load(clRig, kThreeHours));
        QVERIFY(WriteBytes(Path(PartName(2)), kOld));
        clRig.events.Restart();
        clRig.events.Script({Reply::Of(Reply::NoAnswer)});
        QCOMPARE(StartSplitWorker(clRig.context, clRig.source, ByTime(3600, true, 1), nullptr, 0),
                 SplitStart::Started);
        QTRY_VERIFY(QuestionIsOpen(clRig.context));
        // Closing the dialog: the release stops the worker and waits for its
        // end; the open question is answered with abort.
        ReleaseWorker(clRig.context);
        QVERIFY(!WorkerHeld(clRig.context));
        QVERIFY(!clRig.context.stopEvent && !clRig.context.answerEvent && !clRig.context.fileList);
        QCOMPARE(clRig.context.splitEvents, &clRig.events);
        QCOMPARE(clRig.events.Codes(), (QList<int>{0, -1}));
        QCOMPARE(clRig.events.Questions(), QStringList{"ask:" + PartName(2)});
        // An answer that arrives now is dropped.
        QVERIFY(!QuestionIsOpen(clRig.context));
        QVERIFY(!AnswerOverwriteQuestion(clRig.context, OVERWRITE_YES));
        QVERIFY(!AnswerRetryQuestion(clRig.context, true));
        QCOMPARE(Described(), (QStringList{kPart1, PartName(2) + kUntouched}));
    }
    {
        // The same when the context itself goes away with the question open.
        CScriptedEvents clEvents;
        StructSourceInfo clSource;
        QVERIFY(WriteBytes(Path(PartName(1)), kOld));
        {
            StructWorkerContext clContext(&clEvents);
            clEvents.Attach(clContext);
            clEvents.Script({Reply::Of(Reply::NoAnswer)});
            QVERIFY(StartScanWorker(clContext, Path(kSource), clSource, nullptr, 0));
            QCOMPARE(clEvents.WaitForEnd(), 1000);
            ReleaseWorker(clContext);
            clEvents.Restart();
            QCOMPARE(StartSplitWorker(clContext, clSource, ByTime(3600, true, 1), nullptr, 0),
                     SplitStart::Started);
            QTRY_VERIFY(QuestionIsOpen(clContext));
        }
        QCOMPARE(clEvents.Codes(), (QList<int>{0, -1}));
    }
}

void TestSplitHandshakes::startingAScanReleasesAWaitingSplit() {
    WorkerRig clRig;
    QVERIFY(Load(clRig, kThreeHours));
    QVERIFY(WriteBytes(Path(PartName(1)), kOld));
    clRig.events.Restart();
    clRig.events.Script({Reply::Of(Reply::NoAnswer)});
    QCOMPARE(StartSplitWorker(clRig.context, clRig.source, ByTime(3600, true, 1), nullptr, 0),
             SplitStart::Started);
    QTRY_VERIFY(QuestionIsOpen(clRig.context));
    // The split waits for an answer; loading a source releases it first.
    QVERIFY(StartScanWorker(clRig.context, Path(kSource), clRig.source, nullptr, 0));
    QTRY_COMPARE(clRig.events.Codes(), (QList<int>{0, -1, 0, 1000}));
    ReleaseWorker(clRig.context);
    QCOMPARE(clRig.source.name, Path(kSource));
    QCOMPARE(FileBytes(Path(PartName(1))), kOld);
}

BVF_TEST_MAIN(TestSplitHandshakes)
#include "test_split_handshakes.moc"
