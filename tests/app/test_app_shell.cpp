// The program's shell: its version string and the capture of at most six
// arguments of at most 259 bytes.
#include "AppVersion.h"
#include "ArgumentCapture.h"
#include "TestRegistry.h"

#include <string>
#include <vector>

class TestAppShell : public QObject {
    Q_OBJECT

  private slots:
    void versionString_data();
    void versionString();
    void argumentCapture();
};

void TestAppShell::versionString_data() {
    QTest::addColumn<QList<uint>>("numbers"); // "available" first
    QTest::addColumn<QString>("expected");
    QTest::newRow("0.0.31.2") << QList<uint>{1, 0, 0, 31, 2} << "0.0.31.2";
    QTest::newRow("fourth alone selects four parts") << QList<uint>{1, 26, 1, 0, 4} << "2026.1.0.4";
    QTest::newRow("first number 0 is not 2000") << QList<uint>{1, 0, 7, 0, 0} << "0.7";
    QTest::newRow("above 255 modulo 256") << QList<uint>{1, 257, 300, 256, 511} << "2001.44.0.255";
    QTest::newRow("no version") << QList<uint>{0, 26, 1, 0, 0} << "2255.255.255.255";
    QTest::newRow("all zero means unknown") << QList<uint>{1, 0, 0, 0, 0} << "2255.255.255.255";
}

void TestAppShell::versionString() {
    QFETCH(QList<uint>, numbers);
    QFETCH(QString, expected);
    QCOMPARE(BuildVersionString(numbers[0] != 0, numbers[1], numbers[2], numbers[3], numbers[4]),
             expected);
    QCOMPARE(FormatProductVersion(0), QStringLiteral("2255.255.255.255"));
    QCOMPARE(ApplicationVersionString(), QStringLiteral("2026.12")); // from the build
}

// The program path and six arguments are kept; an argument of 260 bytes or
// more keeps its first 259 and is marked cut, and the marks follow the
// entries when the application takes its own options out of the vector.
void TestAppShell::argumentCapture() {
    const std::string clLong(400, 'x'), clCut(260, 'c'), clExact(259, 'y');
    const std::vector<const char *> clArgs = {"prog",         "-platform",   "offscreen",
                                              clLong.c_str(), clCut.c_str(), clExact.c_str(),
                                              "-n=2",         "a8",          "a9"};
    CArgumentCapture clCapture;
    clCapture.Capture(int(clArgs.size()), clArgs.data());
    QCOMPARE(clCapture.Count(), 7);
    QStringList clSeen;
    for (int i = 0; i <= 7; ++i) {
        const char *pEntry = clCapture.Vector()[i];
        clSeen << (pEntry == nullptr ? QStringLiteral("null")
                                     : QStringLiteral("%1%2:%3")
                                           .arg(QLatin1Char(pEntry[0]))
                                           .arg(qstrlen(pEntry))
                                           .arg(clCapture.EntryWasCut(i) ? "cut" : "ok"));
    }
    QCOMPARE(clSeen.join(u' '), "p4:ok -9:ok o9:ok x259:cut c259:cut y259:ok -4:ok null");
    QVERIFY(!clCapture.EntryWasCut(-1) && !clCapture.EntryWasCut(7));

    char **pVector = clCapture.Vector();
    for (int i = 1; i + 2 <= clCapture.Count(); ++i)
        pVector[i] = pVector[i + 2];
    clCapture.Count() -= 2;
    pVector[clCapture.Count()] = nullptr;
    QCOMPARE(QByteArray(pVector[4]), QByteArray("-n=2"));
    QVERIFY(clCapture.EntryWasCut(1) && clCapture.EntryWasCut(2) && !clCapture.EntryWasCut(3) &&
            !clCapture.EntryWasCut(4));

    // A later, shorter capture leaves no trace of the earlier one.
    const char *pShort[] = {"other", "-fs=x"};
    clCapture.Capture(2, pShort);
    QVERIFY(clCapture.Count() == 2 && QByteArray(clCapture.Vector()[1]) == "-fs=x");
    QVERIFY(clCapture.Vector()[2] == nullptr && !clCapture.EntryWasCut(1));
}

BVF_TEST_MAIN(TestAppShell)
#include "test_app_shell.moc"
