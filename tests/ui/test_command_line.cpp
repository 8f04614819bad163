// The command-line request, parsed without a window.
#include "CommandLine.h"
#include "TestRegistry.h"

#include <QTest>
#include <QTimeZone>

class TestCommandLine : public QObject {
    Q_OBJECT

  private slots:
    void parse_data();
    void parse();
    void splitsKeysQuotesAndFirstOccurrence();
    void cutArgumentsAreNeverUsed();
    void asksToQuitAfterSplit();
};

namespace {

// The request and the load in one line, so that a table row states all of it.
QString Describe(const StructCommandLineOutcome &clOutcome) {
    const StructCommandLine &r = clOutcome.request;
    QString clstrText = QStringLiteral("load=%1 kind=%2").arg(clOutcome.pendingLoad).arg(r.kind);
    if (clOutcome.startInvalid)
        clstrText += QStringLiteral(" start-invalid");
    if (r.kind == 0)
        return clstrText;
    clstrText += QStringLiteral(" src=%1 scheme=%2 utc=%3 start=%4")
                     .arg(r.sourcePath)
                     .arg(r.scheme)
                     .arg(r.utc ? 1 : 0)
                     .arg(r.startOption);
    if (r.fixedNameGiven)
        clstrText += QStringLiteral(" fixed=%1").arg(r.fixedName);
    if (r.kind <= 2)
        clstrText += QStringLiteral(" len=%1").arg(r.partLength.toString(QStringLiteral("hh:mm")));
    if (r.kind == 3)
        clstrText +=
            QStringLiteral(" from=%1 to=%2")
                .arg(r.periodStart.toString(Qt::ISODate), r.periodEnd.toString(Qt::ISODate));
    if (r.kind == 4)
        clstrText += QStringLiteral(" n=%1").arg(r.partCount);
    return clstrText;
}

} // namespace

void TestCommandLine::parse_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one plain argument only loads")
        << QStringList{"/rec/cell.bvf"} << "load=/rec/cell.bvf kind=0";
    QTest::newRow("two plain arguments do nothing")
        << QStringList{"/rec/a.bvf", "/rec/b.bvf"} << "load= kind=0";
    QTest::newRow("no arguments") << QStringList{} << "load= kind=0";
    QTest::newRow("aligned hours, scheme 2 in UTC, quit")
        << QStringList{"-fs=/rec/cell.bvf", "-st=1", "-tu=01:00", "-fdu=2", "-start=2"}
        << "load=/rec/cell.bvf kind=2 src=/rec/cell.bvf scheme=2 utc=1 start=2 len=01:00";
    QTest::newRow("by time, names in local time")
        << QStringList{"-st=0", "-fs=/rec/cell.bvf", "-tu=00:30", "-fdl=7"}
        << "load=/rec/cell.bvf kind=1 src=/rec/cell.bvf scheme=7 utc=0 start=0 len=00:30";
    QTest::newRow("-fdu= before -fdl=")
        << QStringList{"-fs=/r.bvf", "-st=0", "-tu=02:00", "-fdl=3", "-fdu=4"}
        << "load=/r.bvf kind=1 src=/r.bvf scheme=4 utc=1 start=0 len=02:00";
    QTest::newRow("-fdu=12 is invalid, -fdl= applies")
        << QStringList{"-fs=/r.bvf", "-st=0", "-tu=02:00", "-fdu=12", "-fdl=3"}
        << "load=/r.bvf kind=1 src=/r.bvf scheme=3 utc=0 start=0 len=02:00";
    QTest::newRow("-fdu=12 alone: scheme 0")
        << QStringList{"-fs=/r.bvf", "-st=0", "-tu=02:00", "-fdu=12"}
        << "load=/r.bvf kind=1 src=/r.bvf scheme=0 utc=0 start=0 len=02:00";
    QTest::newRow("00:00 is a valid length")
        << QStringList{"-fs=/r.bvf", "-st=0", "-tu=00:00", "-start=1"}
        << "load=/r.bvf kind=1 src=/r.bvf scheme=0 utc=0 start=1 len=00:00";
    QTest::newRow("period with minutes and seconds, swapped")
        << QStringList{"-fs=/r.bvf", "-st=2", "-tps=2024-03-07 12:00:30", "-tpe=2024-03-07 10:15"}
        << "load=/r.bvf kind=3 src=/r.bvf scheme=0 utc=0 start=0 "
           "from=2024-03-07T10:15:00Z to=2024-03-07T12:00:30Z";
    QTest::newRow("fixed name without -fdu or -fdl")
        << QStringList{"-fs=/r.bvf",
                       "-st=2",
                       "-fd=/out/all.bvf",
                       "-tps=2024-03-07 10:00",
                       "-tpe=2024-03-07 11:00",
                       "-start=2"}
        << "load=/r.bvf kind=3 src=/r.bvf scheme=10 utc=0 start=2 fixed=/out/all.bvf "
           "from=2024-03-07T10:00:00Z to=2024-03-07T11:00:00Z";
    QTest::newRow("fixed name loses to -fdl")
        << QStringList{"-fs=/r.bvf",
                       "-st=2",
                       "-fd=/out/all.bvf",
                       "-fdl=1",
                       "-tps=2024-03-07 10:00",
                       "-tpe=2024-03-07 11:00"}
        << "load=/r.bvf kind=3 src=/r.bvf scheme=1 utc=0 start=0 "
           "from=2024-03-07T10:00:00Z to=2024-03-07T11:00:00Z";
    QTest::newRow("fixed name outside the period type is ignored")
        << QStringList{"-fs=/r.bvf", "-st=0", "-fd=/out/all.bvf", "-tu=01:00"}
        << "load=/r.bvf kind=1 src=/r.bvf scheme=0 utc=0 start=0 len=01:00";
    QTest::newRow("by number, 100 parts")
        << QStringList{"-fs=/r.bvf", "-st=3", "-n=100", "-start=1"}
        << "load=/r.bvf kind=4 src=/r.bvf scheme=0 utc=0 start=1 n=100";
    QTest::newRow("apostrophes around a value are removed")
        << QStringList{"-fs='/rec/my cell.bvf'", "-st=3", "-n=2"}
        << "load=/rec/my cell.bvf kind=4 src=/rec/my cell.bvf scheme=0 utc=0 start=0 n=2";
    QTest::newRow("double quotes, only a leading one")
        << QStringList{"-fs=\"/rec/cell.bvf", "-st=3", "-n=2"}
        << "load=/rec/cell.bvf kind=4 src=/rec/cell.bvf scheme=0 utc=0 start=0 n=2";
    QTest::newRow("invalid -start= is reported")
        << QStringList{"-fs=/r.bvf", "-st=3", "-n=2", "-start=3"}
        << "load=/r.bvf kind=4 start-invalid src=/r.bvf scheme=0 utc=0 start=0 n=2";

    // Anything required missing or invalid: nothing at all.
    QTest::newRow("no -fs=") << QStringList{"-st=1", "-tu=01:00", "-start=2"} << "load= kind=0";
    QTest::newRow("empty -fs=") << QStringList{"-fs=", "-st=1", "-tu=01:00"} << "load= kind=0";
    QTest::newRow("no -st=") << QStringList{"-fs=/r.bvf", "-tu=01:00"} << "load= kind=0";
    QTest::newRow("-st=4") << QStringList{"-fs=/r.bvf", "-st=4", "-n=3"} << "load= kind=0";
    QTest::newRow("-st=+1") << QStringList{"-fs=/r.bvf", "-st=+1", "-tu=01:00"} << "load= kind=0";
    QTest::newRow("no -tu=") << QStringList{"-fs=/r.bvf", "-st=1"} << "load= kind=0";
    QTest::newRow("-tu=25:00") << QStringList{"-fs=/r.bvf", "-st=0", "-tu=25:00"} << "load= kind=0";
    QTest::newRow("-tu=1 hour") << QStringList{"-fs=/r.bvf", "-st=0", "-tu=1h"} << "load= kind=0";
    QTest::newRow("period end missing")
        << QStringList{"-fs=/r.bvf", "-st=2", "-tps=2024-03-07 10:00"} << "load= kind=0";
    QTest::newRow("period in another format")
        << QStringList{"-fs=/r.bvf", "-st=2", "-tps=07.03.2024 10:00", "-tpe=2024-03-07 11:00"}
        << "load= kind=0";
    QTest::newRow("-n=1") << QStringList{"-fs=/r.bvf", "-st=3", "-n=1"} << "load= kind=0";
    QTest::newRow("-n=100001") << QStringList{"-fs=/r.bvf", "-st=3", "-n=100001"} << "load= kind=0";
    QTest::newRow("a plain argument beside keys is no load")
        << QStringList{"/rec/cell.bvf", "-start=2"} << "load= kind=0";
}

void TestCommandLine::parse() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    QCOMPARE(Describe(ParseCommandLine(CommandArguments(arguments))), expected);
}

void TestCommandLine::splitsKeysQuotesAndFirstOccurrence() {
    const QList<StructArgumentPair> clPairs = SplitCommandArguments(CommandArguments(
        {"-fdu=3", "-fd='x'", "plain", "-FS=upper", "-start=\"2\"", "-tps='2024-01-01 00:00"}));
    QStringList clSeen;
    for (const StructArgumentPair &clPair : clPairs)
        clSeen << clPair.key + u'|' + clPair.value;
    QCOMPARE(clSeen, (QStringList{"-fdu=|3", "-fd=|x", "|plain", "|-FS=upper", "-start=|2",
                                  "-tps=|2024-01-01 00:00"}));

    // The first occurrence of a key counts, a later one is not looked at.
    const StructCommandLineOutcome clTwice = ParseCommandLine(
        CommandArguments({"-fs=/first.bvf", "-st=3", "-n=4", "-fs=/second.bvf", "-n=9"}));
    QCOMPARE(clTwice.request.sourcePath, QStringLiteral("/first.bvf"));
    QCOMPARE(clTwice.request.partCount, 4u);
    QCOMPARE(clTwice.pendingLoad, QStringLiteral("/first.bvf"));
    const StructCommandLineOutcome clInvalidFirst =
        ParseCommandLine(CommandArguments({"-fs=/a.bvf", "-st=9", "-st=3", "-n=4"}));
    QCOMPARE(clInvalidFirst.request.kind, 0);
}

void TestCommandLine::cutArgumentsAreNeverUsed() {
    // A cut source path would name another file: nothing is loaded.
    QList<StructCommandArgument> clArguments = CommandArguments({"-st=1", "-tu=01:00", "-start=2"});
    clArguments.prepend({QStringLiteral("-fs=/rec/") + QString(250, u'x'), true});
    StructCommandLineOutcome clOutcome = ParseCommandLine(clArguments);
    QCOMPARE(Describe(clOutcome), QStringLiteral("load= kind=0"));

    // Nor as the single plain argument.
    clOutcome = ParseCommandLine({{QStringLiteral("/rec/") + QString(255, u'y'), true}});
    QCOMPARE(Describe(clOutcome), QStringLiteral("load= kind=0"));

    // A cut fixed name is never used, and is marked where it would name the
    // output, so that an automated run can refuse it.
    clArguments =
        CommandArguments({"-fs=/r.bvf", "-st=2", "-tps=2024-03-07 10:00", "-tpe=2024-03-07 11:00"});
    clArguments.append({QStringLiteral("-fd=/out/") + QString(252, u'z'), true});
    clOutcome = ParseCommandLine(clArguments);
    QCOMPARE(clOutcome.request.kind, 3);
    QCOMPARE(clOutcome.request.scheme, uint8_t(0));
    QVERIFY(!clOutcome.request.fixedNameGiven);
    QVERIFY(clOutcome.request.fixedName.isEmpty());
    QVERIFY(clOutcome.request.fixedNameCut);
    clArguments.prepend({QStringLiteral("-fdl=1"), false});
    QVERIFY(!ParseCommandLine(clArguments).request.fixedNameCut);

    // A cut first "-fdu=" is that key's occurrence, and it is invalid.
    clArguments = CommandArguments({"-fs=/r.bvf", "-st=0", "-tu=01:00", "-fdl=6", "-fdu=1"});
    clArguments.prepend({QStringLiteral("-fdu=2"), true});
    clOutcome = ParseCommandLine(clArguments);
    QCOMPARE(clOutcome.request.scheme, uint8_t(6));
    QVERIFY(!clOutcome.request.utc);

    // A cut "-start=" is an invalid one.
    clArguments = CommandArguments({"-fs=/r.bvf", "-st=3", "-n=5"});
    clArguments.append({QStringLiteral("-start=2"), true});
    QCOMPARE(ParseCommandLine(clArguments).request.startOption, 0u);
    QVERIFY(ParseCommandLine(clArguments).startInvalid);
}

void TestCommandLine::asksToQuitAfterSplit() {
    QVERIFY(AsksToQuitAfterSplit(CommandArguments({"-st=9", "-start=2"})));
    QVERIFY(AsksToQuitAfterSplit(CommandArguments({"-start='2'", "-start=0"})));
    QVERIFY(!AsksToQuitAfterSplit(CommandArguments({"-start=1", "-start=2"})));
    QVERIFY(!AsksToQuitAfterSplit(CommandArguments({"-start=02x"})));
    QVERIFY(!AsksToQuitAfterSplit(CommandArguments({"/rec/-start=2"})));
    QVERIFY(!AsksToQuitAfterSplit({{QStringLiteral("-start=2"), true}}));
}

BVF_TEST_MAIN(TestCommandLine)
#include "test_command_line.moc"
