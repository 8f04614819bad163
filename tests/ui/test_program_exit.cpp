// The built program run by a script on a machine without a display: it
// chooses the offscreen platform itself, answers every question with its
// safe answer, prints the texts on standard error and exits with the status
// of the automated split; a run it cannot carry out ends at once.
#include "UiTestKit.h"

#include "TestRegistry.h"

#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

class TestProgramExit : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void splitSucceeds();
    void endsAtOnce_data();
    void endsAtOnce();
    void existingPartIsNotOverwritten();

  private:
    struct Outcome {
        bool finished = false;
        int exitCode = -1;
        QString errors;
    };
    // Runs the program without any display variable; not finished when it
    // has not ended lTimeoutMs after its start.
    static Outcome Run(const QStringList &clArguments, int lTimeoutMs = 20000);

    std::unique_ptr<QTemporaryDir> m_pDir;
    QString m_clstrSource;
};

TestProgramExit::Outcome TestProgramExit::Run(const QStringList &clArguments, int lTimeoutMs) {
    QProcess clProcess;
    QProcessEnvironment clEnv = QProcessEnvironment::systemEnvironment();
    for (const char *pName : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        clEnv.remove(QString::fromLatin1(pName));
    clProcess.setProcessEnvironment(clEnv);
    clProcess.start(QStringLiteral(BVF_PROGRAM_PATH), clArguments);
    Outcome clOutcome;
    if (!clProcess.waitForStarted(10000))
        return clOutcome;
    clOutcome.finished = clProcess.waitForFinished(lTimeoutMs);
    if (!clOutcome.finished) {
        clProcess.kill();
        clProcess.waitForFinished(5000);
        return clOutcome;
    }
    clOutcome.exitCode = clProcess.exitStatus() == QProcess::NormalExit ? clProcess.exitCode() : -2;
    clOutcome.errors = QString::fromUtf8(clProcess.readAllStandardError());
    return clOutcome;
}

void TestProgramExit::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
    m_clstrSource = m_pDir->filePath(QStringLiteral("cell.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(m_clstrSource, UiTestKit::TenMinuteRecords()));
}

void TestProgramExit::splitSucceeds() {
    const Outcome clOutcome =
        Run({"-fs=" + m_clstrSource, "-st=1", "-tu=01:00", "-fdu=2", "-start=2"});
    QVERIFY(clOutcome.finished);
    QCOMPARE(clOutcome.exitCode, 0);
    QCOMPARE(WorkerTestKit::FilesIn(m_pDir->path()),
             (QStringList{"cell.bvf", "cell__01__2024-03-07_10.20.00.bvf",
                          "cell__02__2024-03-07_11.00.00.bvf", "cell__03__2024-03-07_12.00.00.bvf",
                          "cell__04__2024-03-07_13.00.00.bvf"}));
}

void TestProgramExit::endsAtOnce_data() {
    // "%D" stands for the test's folder, which holds cell.bvf and a FIFO.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString clstrLong = "%D/" + QString(280, u'a') + ".bvf";
    const QStringList clByHour{"-st=1", "-tu=01:00", "-fdu=2", "-start=2"};
    const QString clstrCannotOpen = QStringLiteral(">\nCan not open file or unsupported filetype!");
    QTest::newRow("missing source")
        << QStringList{"-fs=%D/missing.bvf"} + clByHour << 1 << "<%D/missing.bvf" + clstrCannotOpen;
    QTest::newRow("FIFO source") << QStringList{"-fs=%D/fifo"} + clByHour << 1
                                 << "<%D/fifo" + clstrCannotOpen;
    QTest::newRow("device source")
        << QStringList{"-fs=/dev/zero"} + clByHour << 1 << "</dev/zero" + clstrCannotOpen;
    // A cut argument would name another file: never used.
    QTest::newRow("cut source path")
        << QStringList{"-fs=" + clstrLong} + clByHour << 1 << "does not describe a split";
    QTest::newRow("cut fixed name") << QStringList{"-fs=%D/cell.bvf",       "-st=2",
                                                   "-fd=" + clstrLong,      "-tps=2024-03-07 10:00",
                                                   "-tpe=2024-03-07 11:00", "-start=2"}
                                    << 1 << "The path given with -fd= is longer than 259 bytes";
    QTest::newRow("more parts than a split makes")
        << QStringList{"-fs=%D/cell.bvf", "-st=3", "-n=100", "-start=2"} << 1
        << "-n=100 asks for more parts than a split makes (at most 99)";
    QTest::newRow("period wholly after the recording")
        << QStringList{"-fs=%D/cell.bvf", "-st=2", "-tps=2024-03-07 13:10:01",
                       "-tpe=2024-03-07 15:00", "-start=2"}
        << 1 << "lies wholly outside the recording, which runs from 2024-03-07 10:20:00 to";
    QTest::newRow("period wholly before the recording")
        << QStringList{"-fs=%D/cell.bvf", "-st=2", "-tps=2024-03-07 08:00",
                       "-tpe=2024-03-07 10:19:59", "-start=2"}
        << 1 << "lies wholly outside";
    QTest::newRow("period from the last record on is cut to it")
        << QStringList{"-fs=%D/cell.bvf", "-st=2", "-tps=2024-03-07 13:10", "-tpe=2024-03-07 15:00",
                       "-start=2"}
        << 0 << "";
    // Nobody could close the window of any other run.
    const QString clstrOnlyStart2 =
        QStringLiteral("Without a display only -start=2 can run; nothing was started.");
    QTest::newRow("no arguments") << QStringList{} << 1 << clstrOnlyStart2;
    QTest::newRow("a plain argument") << QStringList{"%D/cell.bvf"} << 1 << clstrOnlyStart2;
    QTest::newRow("-start missing")
        << QStringList{"-fs=%D/cell.bvf", "-st=3", "-n=3"} << 1 << clstrOnlyStart2;
    QTest::newRow("-start=0") << QStringList{"-fs=%D/cell.bvf", "-st=3", "-n=3", "-start=0"} << 1
                              << clstrOnlyStart2;
    QTest::newRow("-start=1") << QStringList{"-fs=%D/cell.bvf", "-st=3", "-n=3", "-start=1"} << 1
                              << clstrOnlyStart2;
    QTest::newRow("-start=3") << QStringList{"-fs=%D/cell.bvf", "-st=3", "-n=3", "-start=3"} << 1
                              << "-start= takes 0, 1 or 2 only.\n" + clstrOnlyStart2;
}

// Each ends within two seconds, before anything is written (but the one part
// of a split that may run).
void TestProgramExit::endsAtOnce() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QCOMPARE(mkfifo(QFile::encodeName(m_pDir->filePath(QStringLiteral("fifo"))).constData(), 0600),
             0);
    arguments.replaceInStrings(QStringLiteral("%D"), m_pDir->path());
    const Outcome clOutcome = Run(arguments, 2000);
    QVERIFY(clOutcome.finished);
    QCOMPARE(clOutcome.exitCode, exitCode);
    QVERIFY2(clOutcome.errors.contains(message.replace(QStringLiteral("%D"), m_pDir->path())),
             qPrintable(clOutcome.errors));
    QCOMPARE(WorkerTestKit::FilesIn(m_pDir->path()).size(), exitCode == 0 ? 2 : 1);
}

void TestProgramExit::existingPartIsNotOverwritten() {
    const QString clstrPart = m_pDir->filePath(QStringLiteral("cell__02__2024-03-07_11.00.00.bvf"));
    QVERIFY(WorkerTestKit::WriteBytes(clstrPart, QByteArray("kept")));
    const Outcome clOutcome =
        Run({"-fs=" + m_clstrSource, "-st=1", "-tu=01:00", "-fdu=2", "-start=2"});
    QVERIFY(clOutcome.finished);
    QCOMPARE(clOutcome.exitCode, 1);
    QVERIFY2(clOutcome.errors.contains(
                 QStringLiteral("The file <cell__02__2024-03-07_11.00.00.bvf> exists already.\n"
                                "Overwrite existing file?\n")),
             qPrintable(clOutcome.errors));
    QCOMPARE(WorkerTestKit::FileBytes(clstrPart), QByteArray("kept"));
    // The part before it was written; nothing after it.
    QCOMPARE(WorkerTestKit::FilesIn(m_pDir->path()),
             (QStringList{"cell.bvf", "cell__01__2024-03-07_10.20.00.bvf",
                          "cell__02__2024-03-07_11.00.00.bvf"}));
}

BVF_TEST_MAIN(TestProgramExit)
#include "test_program_exit.moc"
