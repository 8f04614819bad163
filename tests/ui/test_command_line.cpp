// The command-line request, parsed without a window, and the merge's
// proposed output name.
#include "CommandLine.h"
#include "MergeWorkers.h"
#include "TestRegistry.h"

#include <QTest>
#include <QTimeZone>

class TestCommandLine : public QObject {
    Q_OBJECT

  private slots:
    void parse_data();
    void parse();
    void outputProposal_data();
    void outputProposal();
};

namespace {

// The request, the load and the quit in one line, so that a row states all.
QString Describe(const QList<StructCommandArgument> &clArguments) {
    const StructCommandLineOutcome clOutcome = ParseCommandLine(clArguments);
    const StructCommandLine &r = clOutcome.request;
    QString clstrText = QStringLiteral("load=%1 kind=%2").arg(clOutcome.pendingLoad).arg(r.kind);
    if (AsksToQuitAfterSplit(clArguments))
        clstrText += QStringLiteral(" quits");
    if (r.fixedNameCut)
        clstrText += QStringLiteral(" fixed-cut");
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
    QTest::addColumn<QString>("arguments"); // separated by "|"
    QTest::addColumn<QString>("expected");

    QTest::newRow("one plain argument only loads") << "/rec/cell.bvf"
                                                   << "load=/rec/cell.bvf kind=0";
    QTest::newRow("two plain arguments do nothing") << "/rec/a.bvf|/rec/b.bvf"
                                                    << "load= kind=0";
    QTest::newRow("no arguments") << ""
                                  << "load= kind=0";
    QTest::newRow("aligned hours, scheme 2 in UTC, quit")
        << "-fs=/rec/cell.bvf|-st=1|-tu=01:00|-fdu=2|-start=2"
        << "load=/rec/cell.bvf kind=2 quits src=/rec/cell.bvf scheme=2 utc=1 start=2 len=01:00";
    QTest::newRow("by time, names in local time")
        << "-st=0|-fs=/rec/cell.bvf|-tu=00:30|-fdl=7"
        << "load=/rec/cell.bvf kind=1 src=/rec/cell.bvf scheme=7 utc=0 start=0 len=00:30";
    QTest::newRow("-fdu= before -fdl=")
        << "-fs=/r.bvf|-st=0|-tu=02:00|-fdl=3|-fdu=4"
        << "load=/r.bvf kind=1 src=/r.bvf scheme=4 utc=1 start=0 len=02:00";
    QTest::newRow("-fdu=12 is invalid, -fdl= applies")
        << "-fs=/r.bvf|-st=0|-tu=02:00|-fdu=12|-fdl=3"
        << "load=/r.bvf kind=1 src=/r.bvf scheme=3 utc=0 start=0 len=02:00";
    QTest::newRow("-fdu=12 alone: scheme 0")
        << "-fs=/r.bvf|-st=0|-tu=02:00|-fdu=12"
        << "load=/r.bvf kind=1 src=/r.bvf scheme=0 utc=0 start=0 len=02:00";
    QTest::newRow("00:00 is a valid length")
        << "-fs=/r.bvf|-st=0|-tu=00:00|-start=1"
        << "load=/r.bvf kind=1 src=/r.bvf scheme=0 utc=0 start=1 len=00:00";
    QTest::newRow("period with minutes and seconds, swapped")
        << "-fs=/r.bvf|-st=2|-tps=2024-03-07 12:00:30|-tpe=2024-03-07 10:15"
        << "load=/r.bvf kind=3 src=/r.bvf scheme=0 utc=0 start=0 "
           "from=2024-03-07T10:15:00Z to=2024-03-07T12:00:30Z";
    QTest::newRow("fixed name without -fdu or -fdl")
        << "-fs=/r.bvf|-st=2|-fd=/out/all.bvf|-tps=2024-03-07 10:00|-tpe=2024-03-07 11:00|-start=2"
        << "load=/r.bvf kind=3 quits src=/r.bvf scheme=10 utc=0 start=2 fixed=/out/all.bvf "
           "from=2024-03-07T10:00:00Z to=2024-03-07T11:00:00Z";
    QTest::newRow("fixed name loses to -fdl")
        << "-fs=/r.bvf|-st=2|-fd=/out/all.bvf|-fdl=1|-tps=2024-03-07 10:00|-tpe=2024-03-07 11:00"
        << "load=/r.bvf kind=3 src=/r.bvf scheme=1 utc=0 start=0 "
           "from=2024-03-07T10:00:00Z to=2024-03-07T11:00:00Z";
    QTest::newRow("fixed name outside the period type is ignored")
        << "-fs=/r.bvf|-st=0|-fd=/out/all.bvf|-tu=01:00"
        << "load=/r.bvf kind=1 src=/r.bvf scheme=0 utc=0 start=0 len=01:00";
    QTest::newRow("by number, 100 parts")
        << "-fs=/r.bvf|-st=3|-n=100|-start=1"
        << "load=/r.bvf kind=4 src=/r.bvf scheme=0 utc=0 start=1 n=100";
    QTest::newRow("apostrophes around a value are removed")
        << "-fs='/rec/my cell.bvf'|-st=3|-n=2"
        << "load=/rec/my cell.bvf kind=4 src=/rec/my cell.bvf scheme=0 utc=0 start=0 n=2";
    QTest::newRow("double quotes, only a leading one")
        << "-fs=\"/rec/cell.bvf|-st=3|-n=2"
        << "load=/rec/cell.bvf kind=4 src=/rec/cell.bvf scheme=0 utc=0 start=0 n=2";
    QTest::newRow("invalid -start= is reported")
        << "-fs=/r.bvf|-st=3|-n=2|-start=3"
        << "load=/r.bvf kind=4 start-invalid src=/r.bvf scheme=0 utc=0 start=0 n=2";

    // Anything required missing or invalid: nothing at all.
    QTest::newRow("no -fs=") << "-st=1|-tu=01:00|-start=2"
                             << "load= kind=0 quits";
    QTest::newRow("empty -fs=") << "-fs=|-st=1|-tu=01:00"
                                << "load= kind=0";
    QTest::newRow("no -st=") << "-fs=/r.bvf|-tu=01:00"
                             << "load= kind=0";
    QTest::newRow("-st=4") << "-fs=/r.bvf|-st=4|-n=3"
                           << "load= kind=0";
    QTest::newRow("-st=+1") << "-fs=/r.bvf|-st=+1|-tu=01:00"
                            << "load= kind=0";
    QTest::newRow("no -tu=") << "-fs=/r.bvf|-st=1"
                             << "load= kind=0";
    QTest::newRow("-tu=25:00") << "-fs=/r.bvf|-st=0|-tu=25:00"
                               << "load= kind=0";
    QTest::newRow("-tu=1 hour") << "-fs=/r.bvf|-st=0|-tu=1h"
                                << "load= kind=0";
    QTest::newRow("period end missing") << "-fs=/r.bvf|-st=2|-tps=2024-03-07 10:00"
                                        << "load= kind=0";
    QTest::newRow("period in another format")
        << "-fs=/r.bvf|-st=2|-tps=07.03.2024 10:00|-tpe=2024-03-07 11:00"
        << "load= kind=0";
    QTest::newRow("-n=1") << "-fs=/r.bvf|-st=3|-n=1"
                          << "load= kind=0";
    QTest::newRow("-n=100001") << "-fs=/r.bvf|-st=3|-n=100001"
                               << "load= kind=0";
    QTest::newRow("a plain argument beside keys is no load") << "/rec/cell.bvf|-start=2"
                                                             << "load= kind=0 quits";
    // The first occurrence of a key counts; keys are case-sensitive.
    QTest::newRow("first occurrence wins")
        << "-fs=/first.bvf|-st=3|-n=4|-fs=/second.bvf|-n=9"
        << "load=/first.bvf kind=4 src=/first.bvf scheme=0 utc=0 start=0 n=4";
    QTest::newRow("an invalid first occurrence is not made good") << "-fs=/a.bvf|-st=9|-st=3|-n=4"
                                                                  << "load= kind=0";
    QTest::newRow("upper-case key is a plain argument") << "-FS=/a.bvf|-st=3|-n=4"
                                                        << "load= kind=0";
    QTest::newRow("quotes on -start=, the first counts") << "-start='2'|-start=0|-st=9"
                                                         << "load= kind=0 quits";
    QTest::newRow("-start=1 first") << "-start=1|-start=2"
                                    << "load= kind=0";
    QTest::newRow("-start=02x") << "-start=02x"
                                << "load= kind=0 start-invalid";
    QTest::newRow("-start=2 inside a path") << "/rec/-start=2"
                                            << "load=/rec/-start=2 kind=0";
    // A cut argument would name another file or value: never used.
    QTest::newRow("cut source path") << "!-fs=/rec/cell.bvf|-st=1|-tu=01:00|-start=2"
                                     << "load= kind=0 quits";
    QTest::newRow("cut single plain argument") << "!/rec/cell.bvf"
                                               << "load= kind=0";
    QTest::newRow("cut -start=2: invalid, no quit")
        << "-fs=/r.bvf|-st=3|-n=5|!-start=2"
        << "load=/r.bvf kind=4 start-invalid src=/r.bvf scheme=0 utc=0 start=0 n=5";
    QTest::newRow("cut first -fdu=: -fdl= applies")
        << "!-fdu=2|-fs=/r.bvf|-st=0|-tu=01:00|-fdl=6|-fdu=1"
        << "load=/r.bvf kind=1 src=/r.bvf scheme=6 utc=0 start=0 len=01:00";
    // Marked where it would have named the output, so that a run can refuse it.
    QTest::newRow("cut fixed name")
        << "-fs=/r.bvf|-st=2|-tps=2024-03-07 10:00|-tpe=2024-03-07 11:00|!-fd=/o.bvf"
        << "load=/r.bvf kind=3 fixed-cut src=/r.bvf scheme=0 utc=0 start=0 "
           "from=2024-03-07T10:00:00Z to=2024-03-07T11:00:00Z";
    QTest::newRow("cut fixed name beside -fdl=")
        << "-fdl=1|-fs=/r.bvf|-st=2|-tps=2024-03-07 10:00|-tpe=2024-03-07 11:00|!-fd=/o.bvf"
        << "load=/r.bvf kind=3 src=/r.bvf scheme=1 utc=0 start=0 "
           "from=2024-03-07T10:00:00Z to=2024-03-07T11:00:00Z";
}

// "!" before an argument marks one that did not fit its 259-byte buffer.
void TestCommandLine::parse() {
    QFETCH(QString, arguments);
    QFETCH(QString, expected);
    QList<StructCommandArgument> clArguments;
    for (const QString &clstrText : arguments.split(u'|', Qt::SkipEmptyParts))
        clArguments << StructCommandArgument{
            clstrText.startsWith(u'!') ? clstrText.mid(1) : clstrText, clstrText.startsWith(u'!')};
    QCOMPARE(Describe(clArguments), expected);
}

void TestCommandLine::outputProposal_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("proposal");
    QTest::newRow("extension") << "/x/day1.bvf"
                               << "/x/day1_Joined.bvf";
    QTest::newRow("no dot") << "/x/day1"
                            << "/x/day1_Joined.bvf";
    QTest::newRow("dot in folder only") << "/x.rec/day1"
                                        << "/x_Joined.bvf";
    QTest::newRow("joined before") << "/x/day1_Joined.bvf"
                                   << "/x/day1_Joined.bvf";
    QTest::newRow("two extensions") << "/x/day1.part.bvf"
                                    << "/x/day1.part_Joined.bvf";
}

void TestCommandLine::outputProposal() {
    QFETCH(QString, source);
    QFETCH(QString, proposal);
    QCOMPARE(JoinedOutputProposal(source), proposal);
}

BVF_TEST_MAIN(TestCommandLine)
#include "test_command_line.moc"
