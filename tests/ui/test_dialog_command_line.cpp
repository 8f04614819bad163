// The command line applied by the real dialog: loading, filling the split
// tab, pressing Start, quitting, and the exit status of automated runs. Each
// row states the whole outcome in one line; every split must hand on the
// source's records in order, each in one part.
#include "UiTestKit.h"

#include "TestRegistry.h"

#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimeEdit>

using namespace UiTestKit;
using D = CDlgSplitter;

namespace {

// "exit=E quit=Q | prompts | tab | parts", with the folder written as %D.
QString Outcome(const CTestDialog &clDialog, const QString &clstrFolder) {
    QStringList clPrompts;
    for (const Prompt &clPrompt : clDialog.prompts->asked)
        clPrompts << clPrompt.kind + u':' + clPrompt.title + u':' + clPrompt.text;
    const auto *pFrom = clDialog.Get<QDateTimeEdit>(D::FromEdit);
    const int lType = clDialog.Checked(D::ByPeriodRadio)   ? 1
                      : clDialog.Checked(D::ByNumberRadio) ? 2
                                                           : 0;
    QString clstrTab =
        QStringLiteral("src=%1 scheme=%2 utc=%3 ")
            .arg(clDialog.ControlText(D::SourcePath), clDialog.ControlText(D::SchemeCombo))
            .arg(clDialog.Checked(D::UtcCheck));
    if (lType == 0)
        clstrTab += QStringLiteral("time=%1 align=%2")
                        .arg(clDialog.Get<QTimeEdit>(D::LengthEdit)->time().toString("hh:mm"))
                        .arg(clDialog.Checked(D::AlignCheck));
    else if (lType == 1)
        clstrTab += QStringLiteral("period=%1..%2 fixed=%3")
                        .arg(pFrom->text(), clDialog.Get<QDateTimeEdit>(D::ToEdit)->text(),
                             clDialog.ControlText(D::FixedNamePath));
    else
        clstrTab += QStringLiteral("number=%1").arg(clDialog.ControlText(D::NumberSpin));
    QStringList clParts;
    for (const QString &clstrPart : WorkerTestKit::FilesIn(clstrFolder, {"cell.bvf"}))
        clParts << clstrPart + u':' +
                       QString::number(
                           WorkerTestKit::RecordTimes(clstrFolder + u'/' + clstrPart).size());
    if (clParts.size() > 5) // the first, the last and the count
        clParts = QStringList{clParts.first(), QStringLiteral("...(%1)").arg(clParts.size()),
                              clParts.last()};
    return QStringLiteral("exit=%1 quit=%2 | %3 | %4 | %5")
        .arg(clDialog.ExitStatus())
        .arg(clDialog.QuitScheduled())
        .arg(clPrompts.join(u';'), clstrTab, clParts.join(u' '))
        .replace(clstrFolder, QStringLiteral("%D"));
}

} // namespace

class TestDialogCommandLine : public QObject {
    Q_OBJECT

  private slots:
    void apply_data();
    void apply();
};

void TestDialogCommandLine::apply_data() {
    QTest::addColumn<QStringList>("arguments"); // %D: a folder holding cell.bvf
    QTest::addColumn<int>("runs");              // scan and split
    QTest::addColumn<QString>("outcome");
    auto row = [](const char *pRow, const QStringList &clArguments, int lRuns,
                  const char *pOutcome) {
        QTest::newRow(pRow) << clArguments << lRuns << pOutcome;
    };
    // The recording holds a record every ten minutes, 10:20:00 to 13:10:00.
    const char *pNone = "src= scheme=NAME__date+time.bvf utc=0 time=01:00 align=0 | ";
    row("a plain argument only loads", {"%D/cell.bvf"}, 1,
        "exit=0 quit=0 |  | src=%D/cell.bvf scheme=NAME__date+time.bvf utc=0 time=01:00 align=0 "
        "| ");
    row("aligned hours in UTC, then quit",
        {"-fs=%D/cell.bvf", "-st=1", "-tu=01:00", "-fdu=2", "-start=2"}, 2,
        "exit=0 quit=1 |  | src=%D/cell.bvf scheme=NAME__SplitNumber__date+time.bvf utc=1 "
        "time=01:00 "
        "align=1 | cell__01__2024-03-07_10.20.00.bvf:4 cell__02__2024-03-07_11.00.00.bvf:6 "
        "cell__03__2024-03-07_12.00.00.bvf:6 cell__04__2024-03-07_13.00.00.bvf:2");
    // Filled only, with seconds shown: the period is cut to the recording.
    row("a period is cut to the recording",
        {"-fs=%D/cell.bvf", "-st=2", "-tps=2024-03-07 08:00", "-tpe=2024-03-07 18:00:30", "-fdu=0"},
        1,
        "exit=0 quit=0 |  | src=%D/cell.bvf scheme=NAME__date+time.bvf utc=1 "
        "period=2024-03-07 10:20:00..2024-03-07 13:10:00 fixed= | ");
    // The seconds count: 10:40:00 ... 11:40:00 inclusive, not the whole minute.
    row("a period with seconds, swapped, then quit",
        {"-fs=%D/cell.bvf", "-st=2", "-tps=2024-03-07 11:40:00", "-tpe=2024-03-07 10:35:01",
         "-fdu=7", "-start=2"},
        2,
        "exit=0 quit=1 |  | src=%D/cell.bvf scheme=date+time__NAME.bvf utc=1 "
        "period=2024-03-07 10:35:01..2024-03-07 11:40:00 fixed= | 2024-03-07_10.35.01__cell.bvf:7");
    row("a fixed name is exactly that file",
        {"-fs=%D/cell.bvf", "-st=2", "-fd=%D/all.bvf", "-tps=2024-03-07 10:00",
         "-tpe=2024-03-07 12:00", "-start=2"},
        2,
        "exit=0 quit=1 |  | src=%D/cell.bvf scheme=Fixed name utc=0 "
        "period=2024-03-07 10:20:00..2024-03-07 12:00:00 fixed=%D/all.bvf | all.bvf:11");
    row("a quoted source path", {"-fs='%D/cell.bvf'", "-st=3", "-n=3"}, 1,
        "exit=0 quit=0 |  | src=%D/cell.bvf scheme=NAME__date+time.bvf utc=0 number=3 | ");
    // -start=1: the split runs and the program stays.
    row("-n= is limited to the field", {"-fs=%D/cell.bvf", "-st=3", "-n=100", "-start=1", "-fdu=1"},
        2,
        "exit=0 quit=0 |  | src=%D/cell.bvf scheme=NAME__SplitNumber.bvf utc=1 number=99 | "
        "cell__01.bvf:1 ...(18) cell__18.bvf:1");
    row("a required option missing", {"-st=1", "-tu=01:00", "%D/cell.bvf"}, 0,
        (QByteArray("exit=0 quit=0 |  | ") + pNone).constData());
    // A split and a quit asked for, but nothing can start: status 1.
    row("-start=2 without a request", {"-st=1", "-tu=01:00", "-start=2"}, 0,
        (QByteArray(
             "exit=1 quit=1 | warning:Error:The command line does not describe a split; nothing "
             "was started. | ") +
         pNone)
            .constData());
    row("-start=2 on a missing source", {"-fs=%D/missing.bvf", "-st=1", "-tu=01:00", "-start=2"}, 1,
        "exit=1 quit=1 | warning:Error:<%D/missing.bvf>\nCan not open file or unsupported "
        "filetype! | "
        "src=%D/missing.bvf scheme=NAME__date+time.bvf utc=0 time=01:00 align=1 | ");
    row("-start=1 on a missing source", {"-fs=%D/missing.bvf", "-st=1", "-tu=01:00", "-start=1"}, 1,
        "exit=0 quit=0 | warning:Error:<%D/missing.bvf>\nCan not open file or unsupported "
        "filetype! | "
        "src=%D/missing.bvf scheme=NAME__date+time.bvf utc=0 time=01:00 align=1 | ");
}

void TestDialogCommandLine::apply() {
    QFETCH(QStringList, arguments);
    QFETCH(int, runs);
    QFETCH(QString, outcome);
    QTemporaryDir clDir;
    const QString clstrSource = clDir.filePath(QStringLiteral("cell.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(clstrSource, TenMinuteRecords()));
    CTestDialog clDialog(arguments.replaceInStrings("%D", clDir.path()));
    QVERIFY(clDialog.Open());
    QVERIFY(clDialog.WaitForThreadEnds(runs));
    QTest::qWait(300); // nothing more may start
    QCOMPARE(clDialog.threadEnds->count(), runs);
    QVERIFY(!WorkerHeld(clDialog.WorkerContext()));
    QCOMPARE(Outcome(clDialog, clDir.path()), outcome);
    // Whatever the parts, they hold a run of the source's records, in order.
    QStringList clTimes;
    for (const QString &clstrPart : WorkerTestKit::FilesIn(clDir.path(), {"cell.bvf"}))
        clTimes << WorkerTestKit::RecordTimes(clDir.filePath(clstrPart));
    const QStringList clSource = WorkerTestKit::RecordTimes(clstrSource);
    QVERIFY(clTimes.isEmpty() || clSource.join(u' ').contains(clTimes.join(u' ')));
}

BVF_TEST_MAIN(TestDialogCommandLine)
#include "test_dialog_command_line.moc"
