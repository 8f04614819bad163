// The command-line request, parsed without a window.
#include "CommandLine.h"
#include "TestRegistry.h"

#include <QTimeZone>

class TestCommandLine : public QObject {
    Q_OBJECT

  private slots:
    void parse_data();
    void parse();
};

namespace {

// The request, the load and the quit in one line, so that a row states all.
QString Describe(const QList<StructCommandArgument> &clArguments) {
    const StructCommandLineOutcome clOutcome = ParseCommandLine(clArguments);
    const StructCommandLine &r = clOutcome.request;
    QString s = QStringLiteral("load=%1 kind=%2").arg(clOutcome.pendingLoad).arg(r.kind);
    s += AsksToQuitAfterSplit(clArguments) ? " quits" : "";
    s += r.fixedNameCut ? " fixed-cut" : "";
    s += clOutcome.startInvalid ? " start-invalid" : "";
    if (r.kind == 0)
        return s;
    s += QStringLiteral(" src=%1 scheme=%2 utc=%3 start=%4")
             .arg(r.sourcePath)
             .arg(r.scheme)
             .arg(r.utc ? 1 : 0)
             .arg(r.startOption);
    if (r.fixedNameGiven)
        s += " fixed=" + r.fixedName;
    if (r.kind <= 2)
        s += " len=" + r.partLength.toString(QStringLiteral("hh:mm"));
    if (r.kind == 3)
        s += " from=" + r.periodStart.toString(Qt::ISODate) +
             " to=" + r.periodEnd.toString(Qt::ISODate);
    if (r.kind == 4)
        s += QStringLiteral(" n=%1").arg(r.partCount);
    return s;
}

} // namespace

// Arguments separated by "|"; "!" before one marks an argument that did not
// fit its 259-byte buffer. "R" stands for " src=/r.bvf scheme=".
void TestCommandLine::parse_data() {
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *pRow, const char *pArguments, QString clstrExpected) {
        QTest::newRow(pRow) << QString(pArguments)
                            << clstrExpected.replace("R", " src=/r.bvf scheme=");
    };
    const char *pNothing = "load= kind=0";
    row("one plain argument only loads", "/rec/cell.bvf", "load=/rec/cell.bvf kind=0");
    row("aligned hours, scheme 2 in UTC, quit", "-fs=/rec/cell.bvf|-st=1|-tu=01:00|-fdu=2|-start=2",
        "load=/rec/cell.bvf kind=2 quits src=/rec/cell.bvf scheme=2 utc=1 start=2 len=01:00");
    row("by time, names in local time, 00:00 valid", "-st=0|-fs=/r.bvf|-tu=00:00|-fdl=7",
        "load=/r.bvf kind=1R7 utc=0 start=0 len=00:00");
    row("-fdu= before -fdl=", "-fs=/r.bvf|-st=0|-tu=02:00|-fdl=3|-fdu=4",
        "load=/r.bvf kind=1R4 utc=1 start=0 len=02:00");
    row("fixed name without -fdu or -fdl",
        "-fs=/r.bvf|-st=2|-fd=/out/all.bvf|-tps=2024-03-07 10:00|-tpe=2024-03-07 11:00|-start=2",
        "load=/r.bvf kind=3 quitsR10 utc=0 start=2 fixed=/out/all.bvf "
        "from=2024-03-07T10:00:00Z to=2024-03-07T11:00:00Z");
    row("apostrophes around a value are removed", "-fs='/rec/my cell.bvf'|-st=3|-n=2",
        "load=/rec/my cell.bvf kind=4 src=/rec/my cell.bvf scheme=0 utc=0 start=0 n=2");
    // Anything required missing or invalid: nothing at all.
    row("-tu=25:00", "-fs=/r.bvf|-st=0|-tu=25:00", pNothing);
    row("-n=1", "-fs=/r.bvf|-st=3|-n=1", pNothing);
    row("-n=100001", "-fs=/r.bvf|-st=3|-n=100001", pNothing);
    row("a plain argument beside keys is no load", "/rec/cell.bvf|-start=2", "load= kind=0 quits");
    // The first occurrence of a key counts; keys are case-sensitive.
    row("first occurrence wins", "-fs=/first.bvf|-st=3|-n=4|-fs=/second.bvf|-n=9",
        "load=/first.bvf kind=4 src=/first.bvf scheme=0 utc=0 start=0 n=4");
    row("quotes on -start=, the first counts", "-start='2'|-start=0|-st=9", "load= kind=0 quits");
    row("-start=02x", "-start=02x", "load= kind=0 start-invalid");
    // A cut argument would name another file or value: never used.
    row("cut source path", "!-fs=/rec/cell.bvf|-st=1|-tu=01:00|-start=2", "load= kind=0 quits");
    row("cut -start=2: invalid, no quit", "-fs=/r.bvf|-st=3|-n=5|!-start=2",
        "load=/r.bvf kind=4 start-invalidR0 utc=0 start=0 n=5");
}

void TestCommandLine::parse() {
    QFETCH(QString, arguments);
    QFETCH(QString, expected);
    QList<StructCommandArgument> clArguments;
    for (const QString &s : arguments.split(u'|', Qt::SkipEmptyParts))
        clArguments << StructCommandArgument{s.mid(s.startsWith(u'!') ? 1 : 0), s.startsWith(u'!')};
    QCOMPARE(Describe(clArguments), expected);
}

BVF_TEST_MAIN(TestCommandLine)
#include "test_command_line.moc"
