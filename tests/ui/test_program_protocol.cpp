// The built program finds a protocol component beside itself: a copy of the
// program with the stand-in in its folder loads it and finds the network's
// time in a recording written by bvf-sample with --network-offset, while the
// program in the build's own folder loads none.
#include "UiTestKit.h"

#include "TestRegistry.h"

#include <QProcess>
#include <QTemporaryDir>

namespace {

struct Run {
    bool finished = false;
    int exitCode = -1;
    QString out;
};

Run Start(const QString &clstrProgram, const QStringList &clArguments) {
    QProcess clProcess;
    QProcessEnvironment clEnv = QProcessEnvironment::systemEnvironment();
    clEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    clProcess.setProcessEnvironment(clEnv);
    clProcess.start(clstrProgram, clArguments);
    Run clRun;
    if (!clProcess.waitForStarted(10000))
        return clRun;
    clRun.finished = clProcess.waitForFinished(60000);
    if (!clRun.finished) {
        clProcess.kill();
        clProcess.waitForFinished(5000);
        return clRun;
    }
    clRun.exitCode = clProcess.exitStatus() == QProcess::NormalExit ? clProcess.exitCode() : -2;
    clRun.out = QString::fromLocal8Bit(clProcess.readAllStandardOutput());
    return clRun;
}

} // namespace

class TestProgramProtocol : public QObject {
    Q_OBJECT

  private slots:
    void componentBesideTheProgram();
};

void TestProgramProtocol::componentBesideTheProgram() {
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrSource = clDir.filePath(QStringLiteral("cell.bvf"));
    const Run clSample = Start(QStringLiteral(BVF_SAMPLE_PATH),
                               {clstrSource, "--network-offset", "10", "--start",
                                "2024-03-07 10:20:00", "--minutes", "3", "--rate", "4"});
    QCOMPARE(clSample.exitCode, 0);

    const QString clstrApp = clDir.filePath(QStringLiteral("app"));
    const QString clstrProgram = clstrApp + QStringLiteral("/BrennovarstikSplitter");
    const QString clstrComponent = clstrApp + QStringLiteral("/libStandInProto5V.so");
    QVERIFY(QDir().mkpath(clstrApp));
    QVERIFY(QFile::copy(QStringLiteral(BVF_PROGRAM_PATH), clstrProgram));
    QVERIFY(QFile::copy(QStringLiteral(BVF_STANDIN_PATH), clstrComponent));
    const QStringList clSplit{"-fs=" + clstrSource, "-st=1", "-tu=00:01", "-fdu=2", "-start=2"};

    const Run clCopy = Start(clstrProgram, clSplit);
    QVERIFY(clCopy.finished);
    QCOMPARE(clCopy.exitCode, 0);
    QVERIFY2(clCopy.out.contains(QStringLiteral("Protocol component loaded: ") + clstrComponent),
             qPrintable(clCopy.out));
    QVERIFY2(clCopy.out.contains(QStringLiteral("Protocol time offset: 10 s")),
             qPrintable(clCopy.out));
    // The command line has no synchronisation option: the parts keep the
    // recorder's times.
    const QStringList clFiles{"app", "cell.bvf", "cell__01__2024-03-07_10.20.00.bvf",
                              "cell__02__2024-03-07_10.21.00.bvf",
                              "cell__03__2024-03-07_10.22.00.bvf"};
    QCOMPARE(WorkerTestKit::FilesIn(clDir.path()), clFiles);

    // The program in the build's folder has no component beside it.
    for (const QString &clstrPart : WorkerTestKit::FilesIn(clDir.path(), clFiles.mid(0, 2)))
        QVERIFY(QFile::remove(clDir.filePath(clstrPart)));
    const Run clBuilt = Start(QStringLiteral(BVF_PROGRAM_PATH), clSplit);
    QCOMPARE(clBuilt.exitCode, 0);
    QVERIFY2(!clBuilt.out.contains(QStringLiteral("Protocol component loaded")),
             qPrintable(clBuilt.out));
    QVERIFY(!clBuilt.out.contains(QStringLiteral("Protocol time offset")));
    QCOMPARE(WorkerTestKit::FilesIn(clDir.path()), clFiles);
}

BVF_TEST_MAIN(TestProgramProtocol)
#include "test_program_protocol.moc"
