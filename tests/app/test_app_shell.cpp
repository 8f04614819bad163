#include "AppIcon.h"
#include "AppVersion.h"
#include "ArgumentCapture.h"
#include "TestRegistry.h"

#include <QTest>
#include <string>
#include <vector>

class TestAppShell : public QObject {
    Q_OBJECT

  private slots:
    void versionString_data();
    void versionString();
    void missingVersionIsAllOnes();
    void argumentCaptureKeepsProgramAndSix();
    void argumentCaptureCutsOverlongArgument();
    void argumentCaptureTellsWhichWereCut();
    void iconHasTheStandardSizes();
};

void TestAppShell::versionString_data() {
    QTest::addColumn<uint>("first");
    QTest::addColumn<uint>("second");
    QTest::addColumn<uint>("third");
    QTest::addColumn<uint>("fourth");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0.0.31.2") << 0u << 0u << 31u << 2u << "0.0.31.2";
    QTest::newRow("26.1.0.0") << 26u << 1u << 0u << 0u << "2026.1";
    QTest::newRow("26.1.3.0") << 26u << 1u << 3u << 0u << "2026.1.3";
    QTest::newRow("fourth alone selects four parts") << 26u << 1u << 0u << 4u << "2026.1.0.4";
    QTest::newRow("first number 0 is not 2000") << 0u << 7u << 0u << 0u << "0.7";
    QTest::newRow("numbers above 255 modulo 256")
        << 257u << 300u << 256u << 511u << "2001.44.0.255";
    QTest::newRow("all zero means unknown") << 0u << 0u << 0u << 0u << "2255.255.255.255";
    QTest::newRow("project version") << 26u << 12u << 0u << 0u << "2026.12";
}

void TestAppShell::versionString() {
    QFETCH(uint, first);
    QFETCH(uint, second);
    QFETCH(uint, third);
    QFETCH(uint, fourth);
    QFETCH(QString, expected);
    QCOMPARE(BuildVersionString(true, first, second, third, fourth), expected);
}

void TestAppShell::missingVersionIsAllOnes() {
    QCOMPARE(BuildVersionString(false, 26, 1, 0, 0), QStringLiteral("2255.255.255.255"));
    QCOMPARE(FormatProductVersion(0), QStringLiteral("2255.255.255.255"));
    // The running program's own version comes from the build.
    QCOMPARE(ApplicationVersionString(), QStringLiteral("2026.12"));
}

void TestAppShell::argumentCaptureKeepsProgramAndSix() {
    std::vector<std::string> clArgs = {"prog", "a1", "a2", "a3", "a4", "a5",
                                       "a6",   "a7", "a8", "a9", "a10"};
    std::vector<const char *> pArgs;
    for (const auto &s : clArgs)
        pArgs.push_back(s.c_str());
    CArgumentCapture clCapture;
    clCapture.Capture(int(pArgs.size()), pArgs.data());
    QCOMPARE(clCapture.Count(), 7);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(QByteArray(clCapture.Vector()[i]), QByteArray(clArgs[size_t(i)].c_str()));

    // A later, shorter capture leaves no trace of the earlier one.
    const char *pShort[] = {"other", "-fs=x"};
    clCapture.Capture(2, pShort);
    QCOMPARE(clCapture.Count(), 2);
    QCOMPARE(QByteArray(clCapture.Vector()[1]), QByteArray("-fs=x"));
    QVERIFY(clCapture.Vector()[2] == nullptr);
}

void TestAppShell::argumentCaptureCutsOverlongArgument() {
    const std::string clLong(400, 'x');
    const std::string clExact(259, 'y');
    const char *pArgs[] = {"prog", clLong.c_str(), clExact.c_str()};
    CArgumentCapture clCapture;
    clCapture.Capture(3, pArgs);
    QCOMPARE(clCapture.Count(), 3);
    QCOMPARE(std::string(clCapture.Vector()[1]), std::string(259, 'x'));
    QCOMPARE(clCapture.Vector()[1][259], '\0');
    QCOMPARE(std::string(clCapture.Vector()[2]), clExact);
}

void TestAppShell::argumentCaptureTellsWhichWereCut() {
    const std::string clLong(260, 'x');
    const std::string clExact(259, 'y');
    const char *pArgs[] = {"prog",         "-platform",     "offscreen",
                           clLong.c_str(), clExact.c_str(), "-n=2"};
    CArgumentCapture clCapture;
    clCapture.Capture(6, pArgs);
    QCOMPARE(clCapture.Count(), 6);
    const QList<bool> clExpected = {false, false, false, true, false, false};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(clCapture.EntryWasCut(i), clExpected[i]);
    QVERIFY(!clCapture.EntryWasCut(-1));
    QVERIFY(!clCapture.EntryWasCut(6));

    // The application object takes its own options out of the vector and
    // closes the gap; the flags follow the entries, not the places.
    char **pVector = clCapture.Vector();
    for (int i = 1; i + 2 <= clCapture.Count(); ++i)
        pVector[i] = pVector[i + 2];
    clCapture.Count() -= 2;
    pVector[clCapture.Count()] = nullptr;
    QCOMPARE(QByteArray(pVector[3]), QByteArray("-n=2"));
    QVERIFY(clCapture.EntryWasCut(1));
    QVERIFY(!clCapture.EntryWasCut(2));
    QVERIFY(!clCapture.EntryWasCut(3));
    QVERIFY(!clCapture.EntryWasCut(4));

    // A new capture forgets the old flags.
    const char *pShort[] = {"prog", "a"};
    clCapture.Capture(2, pShort);
    QVERIFY(!clCapture.EntryWasCut(1));
}

void TestAppShell::iconHasTheStandardSizes() {
    const QIcon clIcon = LoadApplicationIcon();
    QVERIFY(!clIcon.isNull());
    const QList<QSize> clSizes = clIcon.availableSizes();
    for (int lSize : {16, 32, 48})
        QVERIFY2(clSizes.contains(QSize(lSize, lSize)), qPrintable(QString::number(lSize)));
    QVERIFY(
        std::any_of(clSizes.begin(), clSizes.end(), [](const QSize &s) { return s.width() > 48; }));
}

BVF_TEST_MAIN(TestAppShell)
#include "test_app_shell.moc"
