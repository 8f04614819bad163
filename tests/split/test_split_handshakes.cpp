// The split's questions and answers: a question never holds up a stop or a release.
#include "TestRegistry.h"
#include "WorkerTestKit.h"

#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace WorkerTestKit;

namespace {

const QString kSource = QStringLiteral("cell.bvf");
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
    void noQuestionAfterAStop();
    void releaseWithAnOpenQuestion();
    void startingAScanReleasesAWaitingSplit();

  private:
    QString Path(const QString &clstrName) const { return m_pDir->filePath(clstrName); }
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

    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestSplitHandshakes::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
}

void TestSplitHandshakes::overwriteAnswers_data() {
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

void TestSplitHandshakes::overwriteAnswers() {
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

void TestSplitHandshakes::partsOfThisRun_data() {
    QTest::addColumn<bool>("existing");
    QTest::addColumn<QString>("replies");
    QTest::addColumn<int>("questions");
    QTest::addColumn<QList<int>>("kept"); // source records in the one file

    // Into 3 by number, every part under one name: records 0-1, 2-4, 5-8.
    QTest::newRow("[YES to ALL] does not cover a part written by this run")
        << true << "3 2 2" << 3 << QList<int>{0, 1};
    QTest::newRow("[YES] to each replaces the earlier part")
        << false << "1 1" << 2 << QList<int>{5, 6, 7, 8};
    QTest::newRow("[NO to ALL] skips the later parts without asking")
        << false << "4" << 1 << QList<int>{0, 1};
}

void TestSplitHandshakes::partsOfThisRun() {
    QFETCH(bool, existing);
    QFETCH(QString, replies);
    QFETCH(int, questions);
    QFETCH(QList<int>, kept);
    WorkerRig clRig;
    QVERIFY(Load(clRig, QList<RecordSpec>(9, Generic(At("10:00:00"), 9967))));
    const QString clstrName = QStringLiteral("cell__2024-03-07_10.00.00.bvf");
    if (existing)
        QVERIFY(WriteBytes(Path(clstrName), kOld));
    clRig.events.Script(Replies(replies));
    QCOMPARE(clRig.Split(ByNumber(3, 0)), 2000);
    QCOMPARE(clRig.events.Questions(), QStringList(questions, "ask:" + clstrName));
    QCOMPARE(FilesIn(m_pDir->path(), {kSource}), QStringList{clstrName});
    const ContainerFrames clSource = FramesOf(Path(kSource));
    QCOMPARE(CompareParts({Path(clstrName)}, clSource.header, Pick(clSource.frames, kept)),
             QString());
}

void TestSplitHandshakes::sourceAsOutput_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("link"); // "hard" or "symbolic": rec__02.bvf leads to the source

    QTest::newRow("the same path") << QString("rec__02.bvf") << QString();
    QTest::newRow("a hard link to the source") << QString("rec.bvf") << QString("hard");
    QTest::newRow("a symbolic link to the source") << QString("rec.bvf") << QString("symbolic");
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

void TestSplitHandshakes::noQuestionAfterAStop() {
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

void TestSplitHandshakes::releaseWithAnOpenQuestion() {
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

void TestSplitHandshakes::startingAScanReleasesAWaitingSplit() {
    WorkerRig clRig;
    QVERIFY(Waiting(clRig, 1));
    QTRY_VERIFY(QuestionIsOpen(clRig.context));
    QVERIFY(StartScanWorker(clRig.context, Path(kSource), clRig.source, nullptr, 0));
    QTRY_COMPARE(clRig.events.Codes(), (QList<int>{0, -1, 0, 1000}));
    ReleaseWorker(clRig.context);
    QCOMPARE(clRig.source.name, Path(kSource));
    QCOMPARE(FileBytes(Path(PartName(1))), kOld);
}

BVF_TEST_MAIN(TestSplitHandshakes)
#include "test_split_handshakes.moc"
