// The built program run by a script on a machine without a display: it
// chooses the offscreen platform itself, answers every question with its
// safe answer, prints the texts on standard error and exits with the status
// of the automated split.
#include "UiTestKit.h"

#include <QProcess>
#include <QTemporaryDir>

class TestProgramExit : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void splitSucceeds();
    void sourceCannotBeScanned();
    void existingPartIsNotOverwritten();
    void cutArgumentIsNeverUsed();

  private:
    struct Outcome {
        bool finished = false;
        int exitCode = -1;
        QString errors;
    };
    // Runs the program without any display variable.
    static Outcome Run(const QStringList &clArguments);

    std::unique_ptr<QTemporaryDir> m_pDir;
    QString m_clstrSource;
};

TestProgramExit::Outcome TestProgramExit::Run(const QStringList &clArguments) {
    QProcess clProcess;
    QProcessEnvironment clEnv = QProcessEnvironment::systemEnvironment();
    for (const char *pName : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        clEnv.remove(QString::fromLatin1(pName));
    clProcess.setProcessEnvironment(clEnv);
    clProcess.start(QStringLiteral(BVF_PROGRAM_PATH), clArguments);
    Outcome clOutcome;
    if (!clProcess.waitForStarted(10000))
        return clOutcome;
    clOutcome.finished = clProcess.waitForFinished(20000);
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

void TestProgramExit::sourceCannotBeScanned() {
    const Outcome clOutcome = Run({"-fs=" + m_pDir->filePath(QStringLiteral("missing.bvf")),
                                   "-st=1", "-tu=01:00", "-fdu=2", "-start=2"});
    QVERIFY(clOutcome.finished);
    QCOMPARE(clOutcome.exitCode, 1);
    QVERIFY2(
        clOutcome.errors.contains(QStringLiteral("Can not open file or unsupported filetype!")),
        qPrintable(clOutcome.errors));
    QCOMPARE(WorkerTestKit::FilesIn(m_pDir->path()), QStringList{"cell.bvf"});
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

void TestProgramExit::cutArgumentIsNeverUsed() {
    // The fixed name does not fit its 259-byte buffer; cut, it would name
    // another file in the same folder.
    const QString clstrLong = m_pDir->path() + u'/' + QString(280, u'a') + QStringLiteral(".bvf");
    const QString clstrCut = (QStringLiteral("-fd=") + clstrLong).left(259).mid(4);
    const Outcome clOutcome = Run({"-fs=" + m_clstrSource, "-st=2", "-fd=" + clstrLong,
                                   "-tps=2024-03-07 10:00", "-tpe=2024-03-07 11:00", "-start=2"});
    QVERIFY(clOutcome.finished);
    QCOMPARE(clOutcome.exitCode, 0);
    QVERIFY(!QFile::exists(clstrCut));
    // The standard naming applied instead.
    QCOMPARE(WorkerTestKit::FilesIn(m_pDir->path()).size(), 2);

    // A cut source path loads nothing: the automated run fails at once.
    const Outcome clCutSource =
        Run({"-fs=" + clstrLong, "-st=1", "-tu=01:00", "-fdu=2", "-start=2"});
    QVERIFY(clCutSource.finished);
    QCOMPARE(clCutSource.exitCode, 1);
    QVERIFY2(clCutSource.errors.contains(QStringLiteral("does not describe a split")),
             qPrintable(clCutSource.errors));
}

QTEST_GUILESS_MAIN(TestProgramExit)
#include "test_program_exit.moc"
