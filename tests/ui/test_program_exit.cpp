// The built program run by a script on a machine without a display: it
// chooses the offscreen platform itself, answers every question with its
// safe answer, prints the texts on standard error and exits with the status
// of the automated split; a run it cannot carry out ends at once. Also the
// program beside a protocol component, and its texts in German.
#include "UiTestKit.h"

#include "TestRegistry.h"

#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    QString out, err;
};

// Runs a program without any display variable, under the given language.
Outcome Run(const QString &clstrProgram, const QStringList &clArguments, int lTimeoutMs,
            const QString &clstrLang = QStringLiteral("C")) {
    QProcess clProcess;
    QProcessEnvironment clEnv = QProcessEnvironment::systemEnvironment();
    for (const char *pName :
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        clEnv.remove(QString::fromLatin1(pName));
    clEnv.insert(QStringLiteral("LANG"), clstrLang);
    clProcess.setProcessEnvironment(clEnv);
    clProcess.start(clstrProgram, clArguments);
    Outcome clOutcome;
    clOutcome.finished = clProcess.waitForStarted(10000) && clProcess.waitForFinished(lTimeoutMs);
    if (!clOutcome.finished) {
        clProcess.kill();
        clProcess.waitForFinished(5000);
        return clOutcome;
    }
    clOutcome.exitCode = clProcess.exitStatus() == QProcess::NormalExit ? clProcess.exitCode() : -2;
    clOutcome.out = QString::fromUtf8(clProcess.readAllStandardOutput());
    clOutcome.err = QString::fromUtf8(clProcess.readAllStandardError());
    return clOutcome;
}

} // namespace

class TestProgramExit : public QObject {
    Q_OBJECT

  private slots:
    void headless_data();
    void headless();
    void componentBesideTheProgram();
};

void TestProgramExit::headless_data() {
    // "%D" stands for the test's folder, which holds cell.bvf and a FIFO.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("files"); // the parts written
    auto row = [](const char *pRow, const QStringList &clArguments, int lExit, const QString &clMsg,
                  const char *pFiles = "", const char *pLang = "C") {
        QTest::newRow(pRow) << clArguments << pLang << lExit << clMsg << pFiles;
    };
    const QStringList clByHour{"-st=1", "-tu=01:00", "-fdu=2", "-start=2"};
    const char *pHours = "cell__01__2024-03-07_10.20.00.bvf cell__02__2024-03-07_11.00.00.bvf "
                         "cell__03__2024-03-07_12.00.00.bvf cell__04__2024-03-07_13.00.00.bvf";
    row("split succeeds", QStringList{"-fs=%D/cell.bvf"} + clByHour, 0, "", pHours);
    // The safe answer keeps the part; the parts after it are not written.
    row("existing part is not overwritten", QStringList{"-fs=%D/cell.bvf"} + clByHour, 1,
        "The file <cell__02__2024-03-07_11.00.00.bvf> exists already.\nOverwrite existing file?\n",
        "cell__01__2024-03-07_10.20.00.bvf cell__02__2024-03-07_11.00.00.bvf");
    const QString clCannotOpen = QStringLiteral(">\nCan not open file or unsupported filetype!");
    row("missing source", QStringList{"-fs=%D/missing.bvf"} + clByHour, 1,
        "<%D/missing.bvf" + clCannotOpen);
    row("FIFO source", QStringList{"-fs=%D/fifo"} + clByHour, 1, "<%D/fifo" + clCannotOpen);
    row("device source", QStringList{"-fs=/dev/zero"} + clByHour, 1, "</dev/zero" + clCannotOpen);
    // A cut argument would name another file: never used.
    row("cut source path", QStringList{"-fs=%D/%260"} + clByHour, 1,
        "BrennovarstikSplitter: Error\nThe command line does not describe a split");
    row("cut fixed name",
        {"-fs=%D/cell.bvf", "-st=2", "-fd=%D/%260", "-tps=2024-03-07 10:00",
         "-tpe=2024-03-07 11:00", "-start=2"},
        1, "The path given with -fd= is longer than 259 bytes");
    row("more parts than a split makes", {"-fs=%D/cell.bvf", "-st=3", "-n=100", "-start=2"}, 1,
        "-n=100 asks for more parts than a split makes (at most 99)");
    row("-n=99 is the most", {"-fs=%D/cell.bvf", "-st=3", "-n=99", "-fdu=1", "-start=2"}, 0, "",
        "cell__01.bvf ...(18) cell__18.bvf");
    row("period wholly after the recording",
        {"-fs=%D/cell.bvf", "-st=2", "-tps=2024-03-07 13:10:01", "-tpe=2024-03-07 15:00",
         "-start=2"},
        1,
        "The period 2024-03-07 13:10:01 to 2024-03-07 15:00:00 (UTC) lies wholly outside the "
        "recording, which runs from 2024-03-07 10:20:00 to 2024-03-07 13:10:00. Nothing was "
        "split.");
    row("period wholly before the recording",
        {"-fs=%D/cell.bvf", "-st=2", "-tps=2024-03-07 08:00", "-tpe=2024-03-07 10:19:59",
         "-start=2"},
        1, "lies wholly outside");
    row("period from the last record on is cut to it",
        {"-fs=%D/cell.bvf", "-st=2", "-tps=2024-03-07 13:10", "-tpe=2024-03-07 15:00", "-fdu=7",
         "-start=2"},
        0, "", "2024-03-07_13.10.00__cell.bvf");
    // Nobody could close the window of any other run.
    const QString clOnly =
        QStringLiteral("Without a display only -start=2 can run; nothing was started.");
    row("no arguments", {}, 1, clOnly);
    row("a plain argument", {"%D/cell.bvf"}, 1, clOnly);
    row("-start missing", {"-fs=%D/cell.bvf", "-st=3", "-n=3"}, 1, clOnly);
    row("-start=0", {"-fs=%D/cell.bvf", "-st=3", "-n=3", "-start=0"}, 1, clOnly);
    row("-start=1", {"-fs=%D/cell.bvf", "-st=3", "-n=3", "-start=1"}, 1, clOnly);
    row("-start=3", {"-fs=%D/cell.bvf", "-st=3", "-n=3", "-start=3"}, 1,
        "-start= takes 0, 1 or 2 only.\n" + clOnly);
    // The program installs its catalogue and Qt's: German from LANG alone.
    row("in German", {"-start=2"}, 1,
        "BrennovarstikSplitter: Fehler\nDie Befehlszeile beschreibt keine Teilung", "",
        "de_DE.UTF-8");
}

void TestProgramExit::headless() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, lang);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QString, files);
    QTemporaryDir clDir;
    const QString clstrSource = clDir.filePath(QStringLiteral("cell.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(clstrSource, UiTestKit::TenMinuteRecords()));
    QCOMPARE(mkfifo(QFile::encodeName(clDir.filePath(QStringLiteral("fifo"))).constData(), 0600),
             0);
    if (QString(QTest::currentDataTag()).startsWith("existing"))
        QVERIFY(
            WorkerTestKit::WriteBytes(clDir.filePath("cell__02__2024-03-07_11.00.00.bvf"), "kept"));
    arguments.replaceInStrings("%260", QString(260 - clDir.path().size() - 1, u'a'));
    arguments.replaceInStrings("%D", clDir.path());
    // Each ends at once, but for the split it runs.
    const Outcome clOutcome =
        Run(QStringLiteral(BVF_PROGRAM_PATH), arguments, files.isEmpty() ? 2000 : 20000, lang);
    QVERIFY(clOutcome.finished);
    QCOMPARE(clOutcome.exitCode, exitCode);
    QVERIFY2(clOutcome.err.contains(message.replace("%D", clDir.path())),
             qPrintable(clOutcome.err));
    QStringList clParts = WorkerTestKit::FilesIn(clDir.path(), {"cell.bvf", "fifo"});
    if (clParts.size() > 5)
        clParts = QStringList{clParts.first(), QStringLiteral("...(%1)").arg(clParts.size()),
                              clParts.last()};
    QCOMPARE(clParts.join(u' '), files);
    if (!files.isEmpty()) // the parts hold the source's records, in order
        QVERIFY(WorkerTestKit::RecordTimes(clstrSource)
                    .join(u' ')
                    .contains(
                        WorkerTestKit::RecordTimes(
                            clDir.filePath(
                                WorkerTestKit::FilesIn(clDir.path(), {"cell.bvf", "fifo"}).first()))
                            .join(u' ')));
    if (exitCode == 1 && !files.isEmpty())
        QCOMPARE(WorkerTestKit::FileBytes(clDir.filePath("cell__02__2024-03-07_11.00.00.bvf")),
                 QByteArray("kept"));
}

// A copy of the program with the stand-in beside it loads the component and
// finds the network's time in a recording written by bvf-sample; the
// program in the build's own folder loads none. The command line has no
// synchronisation option: the parts keep the recorder's times.
void TestProgramExit::componentBesideTheProgram() {
    QTemporaryDir clDir;
    const QString clstrSource = clDir.filePath(QStringLiteral("cell.bvf"));
    QCOMPARE(Run(QStringLiteral(BVF_SAMPLE_PATH),
                 {clstrSource, "--network-offset", "10", "--start", "2024-03-07 10:20:00",
                  "--minutes", "3", "--rate", "4"},
                 60000)
                 .exitCode,
             0);
    const QString clstrProgram = clDir.filePath(QStringLiteral("app/BrennovarstikSplitter"));
    const QString clstrComponent = clDir.filePath(QStringLiteral("app/libStandInProto5V.so"));
    QVERIFY(QDir().mkpath(clDir.filePath(QStringLiteral("app"))));
    QVERIFY(QFile::copy(QStringLiteral(BVF_PROGRAM_PATH), clstrProgram));
    QVERIFY(QFile::copy(QStringLiteral(BVF_STANDIN_PATH), clstrComponent));
    const QStringList clSplit{"-fs=" + clstrSource, "-st=1", "-tu=00:01", "-fdu=2", "-start=2"};
    const QStringList clFiles{"app", "cell.bvf", "cell__01__2024-03-07_10.20.00.bvf",
                              "cell__02__2024-03-07_10.21.00.bvf",
                              "cell__03__2024-03-07_10.22.00.bvf"};
    for (const QString &clstrRun : {clstrProgram, QStringLiteral(BVF_PROGRAM_PATH)}) {
        for (const QString &clstrPart : WorkerTestKit::FilesIn(clDir.path(), clFiles.mid(0, 2)))
            QVERIFY(QFile::remove(clDir.filePath(clstrPart)));
        const Outcome clRun = Run(clstrRun, clSplit, 60000);
        QCOMPARE(clRun.exitCode, 0);
        const bool bCopy = clstrRun == clstrProgram;
        QCOMPARE(clRun.out.contains("Protocol component loaded: " + clstrComponent), bCopy);
        QCOMPARE(clRun.out.contains("Protocol time offset: 10 s"), bCopy);
        QCOMPARE(WorkerTestKit::FilesIn(clDir.path()), clFiles);
    }
}

BVF_TEST_MAIN(TestProgramExit)
#include "test_program_exit.moc"
