#include "TestRegistry.h"

#include <QProcess>
#include <QTest>

// The program must come up with its dialog and keep running its event loop
// until it is closed; on a machine without a display it runs offscreen.
class TestProgramStart : public QObject {
    Q_OBJECT

  private slots:
    void startsAndKeepsRunning();
};

void TestProgramStart::startsAndKeepsRunning() {
    QProcess clProcess;
    QProcessEnvironment clEnv = QProcessEnvironment::systemEnvironment();
    clEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    clProcess.setProcessEnvironment(clEnv);
    clProcess.start(QStringLiteral(BVF_PROGRAM_PATH),
                    {QStringLiteral("-x=1"), QStringLiteral("a"), QStringLiteral("b"),
                     QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("e"),
                     QStringLiteral("f"), QStringLiteral("g")});
    QVERIFY(clProcess.waitForStarted(10000));
    // Still running after start-up: no crash with more arguments than it keeps.
    QVERIFY(!clProcess.waitForFinished(1500));
    QCOMPARE(clProcess.state(), QProcess::Running);
    clProcess.kill();
    QVERIFY(clProcess.waitForFinished(10000));
}

BVF_TEST_MAIN(TestProgramStart)
#include "test_program_start.moc"
