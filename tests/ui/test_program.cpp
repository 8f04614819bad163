// The built program as a script runs it: without a display it answers every
// question safely, prints the texts on standard error and exits with the
// split's status; a run it cannot carry out ends at once.
#include "UiTestKit.h"

#include "TestRegistry.h"

#include <QProcess>

#include <sys/stat.h>

using namespace UiTestKit;

class TestProgram : public QObject {
    Q_OBJECT

  private slots:
    void headless_data();
    void headless();
};

void TestProgram::headless_data() {
    // "%D" stands for the test's folder, which holds cell.bvf and a FIFO;
    // net.bvf, when named, is bvf-sample's, its recorder 10 s behind.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>(
        "setup"); // "copy": run a copy beside the component; "kept": part 2 exists
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // in standard error; "out:" standard output, "!" absent
    QTest::addColumn<QString>("files");   // the parts written
    auto row = [](const char *pRow, const QStringList &clArguments, int lExit, const QString &clMsg,
                  const char *pFiles = "", const char *pSetup = "") {
        QTest::newRow(pRow) << clArguments << pSetup << lExit << clMsg << pFiles;
    };
    const QStringList clByHour{"-st=1", "-tu=01:00", "-fdu=2", "-start=2"};
    const char *pHours = "cell__01__2024-03-07_10.20.00.bvf cell__02__2024-03-07_11.00.00.bvf "
                         "cell__03__2024-03-07_12.00.00.bvf cell__04__2024-03-07_13.00.00.bvf";
    row("split succeeds", QStringList{"-fs=%D/cell.bvf"} + clByHour, 0, "", pHours);
    // The safe answer keeps the part; the parts after it are not written.
    row("existing part is not overwritten", QStringList{"-fs=%D/cell.bvf"} + clByHour, 1,
        "The file <cell__02__2024-03-07_11.00.00.bvf> exists already.\nOverwrite existing file?\n",
        "cell__01__2024-03-07_10.20.00.bvf cell__02__2024-03-07_11.00.00.bvf", "kept");
    row("FIFO source", QStringList{"-fs=%D/fifo"} + clByHour, 1,
        "<%D/fifo>\nCan not open file or unsupported filetype!");
    // A cut argument would name another file: never used.
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
    row("period from the last record on is cut to it",
        {"-fs=%D/cell.bvf", "-st=2", "-tps=2024-03-07 13:10", "-tpe=2024-03-07 15:00", "-fdu=7",
         "-start=2"},
        0, "", "2024-03-07_13.10.00__cell.bvf");
    // Nobody could close the window of any other run.
    const QString clOnly =
        QStringLiteral("Without a display only -start=2 can run; nothing was started.");
    row("no arguments", {}, 1, clOnly);
    row("-start=3", {"-fs=%D/cell.bvf", "-st=3", "-n=3", "-start=3"}, 1,
        "-start= takes 0, 1 or 2 only.\n" + clOnly);
    // The program installs its catalogue and Qt's: German from LANG alone.
    row("in German", {"-start=2"}, 1,
        "BrennovarstikSplitter: Fehler\nDie Befehlszeile beschreibt keine Teilung", "", "de");
    // The command line has no synchronisation option: the parts keep the
    // recorder's times, with the component found or not.
    const QStringList clByMinute{"-fs=%D/net.bvf", "-st=1", "-tu=00:01", "-fdu=2", "-start=2"};
    const char *pMinutes = "net__01__2024-03-07_10.20.00.bvf net__02__2024-03-07_10.21.00.bvf "
                           "net__03__2024-03-07_10.22.00.bvf";
    row("the copy finds the network's time", clByMinute, 0, "out:Protocol time offset: 10 s",
        pMinutes, "copy");
    row("no component beside the built program", clByMinute, 0, "!out:Protocol", pMinutes);
}

void TestProgram::headless() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, setup);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QString, files);
    QTemporaryDir clDir;
    const QString d = clDir.path() + u'/';
    const QStringList clSetup{"cell.bvf", "fifo", "net.bvf", "app"};
    QVERIFY(WorkerTestKit::WriteRecording(d + "cell.bvf", TenMinuteRecords()));
    QCOMPARE(mkfifo(QFile::encodeName(d + "fifo").constData(), 0600), 0);
    if (setup == "kept")
        QVERIFY(WorkerTestKit::WriteBytes(d + "cell__02__2024-03-07_11.00.00.bvf", "kept"));
    if (arguments.value(0).contains("net.bvf"))
        QCOMPARE(QProcess::execute(BVF_SAMPLE_PATH,
                                   {d + "net.bvf", "--network-offset", "10", "--start",
                                    "2024-03-07 10:20:00", "--minutes", "3", "--rate", "4"}),
                 0);
    QString clstrProgram = QStringLiteral(BVF_PROGRAM_PATH);
    if (setup == "copy") {
        clstrProgram = d + "app/BrennovarstikSplitter";
        QVERIFY(QDir().mkpath(d + "app") && QFile::copy(BVF_PROGRAM_PATH, clstrProgram) &&
                QFile::copy(BVF_STANDIN_PATH, d + "app/libStandInProto5V.so"));
    }
    arguments.replaceInStrings("%260", QString(260 - clDir.path().size() - 1, u'a'));
    arguments.replaceInStrings("%D", clDir.path());
    // No display and no locale but LANG; the child is killed if it hangs.
    QProcessEnvironment clEnv = QProcessEnvironment::systemEnvironment();
    for (const char *pName :
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        clEnv.remove(QString::fromLatin1(pName));
    clEnv.insert("LANG", setup == "de" ? "de_DE.UTF-8" : "C");
    QProcess clRun;
    clRun.setProcessEnvironment(clEnv);
    clRun.start(clstrProgram, arguments);
    QVERIFY(clRun.waitForFinished(files.isEmpty() ? 2000 : 60000));
    QCOMPARE(clRun.exitStatus(), QProcess::NormalExit);
    QCOMPARE(clRun.exitCode(), exitCode);
    const QString clstrErr = QString::fromUtf8(clRun.readAllStandardError());
    const QString clstrOut = QString::fromUtf8(clRun.readAllStandardOutput());
    const bool bAbsent = message.startsWith(u'!');
    message = message.mid(bAbsent ? 1 : 0).replace("%D", clDir.path());
    const bool bOut = message.startsWith("out:");
    QVERIFY2((bOut ? clstrOut : clstrErr).contains(message.mid(bOut ? 4 : 0)) != bAbsent,
             qPrintable(clstrOut + clstrErr));
    QStringList clParts = WorkerTestKit::FilesIn(clDir.path(), clSetup);
    QStringList clShown = clParts;
    if (clShown.size() > 5)
        clShown = QStringList{clShown.first(), QStringLiteral("...(%1)").arg(clShown.size()),
                              clShown.last()};
    QCOMPARE(clShown.join(u' '), files);
    // The parts hold the source's records in order; a kept part is untouched.
    QStringList clTimes;
    for (const QString &clstrPart : clParts)
        if (clstrPart != "cell__02__2024-03-07_11.00.00.bvf" || setup != "kept")
            clTimes << WorkerTestKit::RecordTimes(d + clstrPart);
    const QString clstrSource =
        d + (arguments.value(0).contains("net.bvf") ? "net.bvf" : "cell.bvf");
    QVERIFY(WorkerTestKit::RecordTimes(clstrSource).join(u' ').contains(clTimes.join(u' ')));
    if (setup == "kept")
        QCOMPARE(WorkerTestKit::FileBytes(d + "cell__02__2024-03-07_11.00.00.bvf"), "kept");
}

BVF_TEST_MAIN(TestProgram)

#include "test_program.moc"
