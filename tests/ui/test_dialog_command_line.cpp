// The command line applied by the real dialog: loading, filling the split
// tab, pressing Start, quitting, and the exit status of automated runs.
#include "UiTestKit.h"

#include "TestRegistry.h"

#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimeEdit>

using namespace UiTestKit;
using D = CDlgSplitter;

class TestDialogCommandLine : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void plainArgumentOnlyLoads();
    void alignedHoursInUtcAndQuit();
    void periodIsCutToTheSpan();
    void periodWithSecondsAndQuit();
    void fixedNameIsExactlyThatFile();
    void quotedSourcePath();
    void numberLimitedToTheField();
    void missingRequiredOption();
    void automatedRunThatCannotStart();

  private:
    std::unique_ptr<QTemporaryDir> m_pDir;
    QString m_clstrSource;
};

void TestDialogCommandLine::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
    m_clstrSource = m_pDir->filePath(QStringLiteral("cell.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(m_clstrSource, TenMinuteRecords()));
}

void TestDialogCommandLine::plainArgumentOnlyLoads() {
    CTestDialog clDialog({m_clstrSource});
    QVERIFY(clDialog.Open());
    QVERIFY(clDialog.WaitForThreadEnds(1));
    QCOMPARE(clDialog.ControlText(D::SourcePath), m_clstrSource);
    QCOMPARE(clDialog.SourceInfo().name, m_clstrSource);
    QTest::qWait(300);
    QCOMPARE(clDialog.threadEnds->count(), 1);
    QCOMPARE(WorkerTestKit::FilesIn(m_pDir->path()), QStringList{"cell.bvf"});
    QVERIFY(clDialog.Checked(D::ByTimeRadio));
    QVERIFY(!clDialog.QuitScheduled());
    QCOMPARE(clDialog.ExitStatus(), 0);
    QVERIFY(clDialog.prompts->asked.isEmpty());
}

void TestDialogCommandLine::alignedHoursInUtcAndQuit() {
    CTestDialog clDialog({"-fs=" + m_clstrSource, "-st=1", "-tu=01:00", "-fdu=2", "-start=2"});
    QVERIFY(clDialog.Open());
    QVERIFY(clDialog.WaitForThreadEnds(2));
    QTRY_VERIFY(clDialog.QuitScheduled());
    QCOMPARE(clDialog.ExitStatus(), 0);
    QCOMPARE(WorkerTestKit::DescribeParts(m_pDir->path(), {"cell.bvf"}),
             (QStringList{"cell__01__2024-03-07_10.20.00.bvf: 10:20:00 10:30:00 10:40:00 10:50:00",
                          "cell__02__2024-03-07_11.00.00.bvf: 11:00:00 11:10:00 11:20:00 11:30:00 "
                          "11:40:00 11:50:00",
                          "cell__03__2024-03-07_12.00.00.bvf: 12:00:00 12:10:00 12:20:00 12:30:00 "
                          "12:40:00 12:50:00",
                          "cell__04__2024-03-07_13.00.00.bvf: 13:00:00 13:10:00"}));
    // The tab shows what was asked.
    QCOMPARE(clDialog.Get<QComboBox>(D::SchemeCombo)->currentIndex(), 2);
    QVERIFY(clDialog.Checked(D::UtcCheck));
    QVERIFY(clDialog.Checked(D::AlignCheck));
    QVERIFY(clDialog.Checked(D::ByTimeRadio));
    QCOMPARE(clDialog.Get<QTimeEdit>(D::LengthEdit)->time(), QTime(1, 0));
    QVERIFY(clDialog.prompts->asked.isEmpty());
}

void TestDialogCommandLine::periodIsCutToTheSpan() {
    CTestDialog clDialog({"-fs=" + m_clstrSource, "-st=2", "-tps=2024-03-07 08:00",
                          "-tpe=2024-03-07 18:00:30", "-fdu=0"});
    QVERIFY(clDialog.Open());
    const int lNarrow = clDialog.Get<QDateTimeEdit>(D::FromEdit)->minimumWidth();
    QVERIFY(clDialog.WaitForThreadEnds(1));
    QVERIFY(clDialog.Checked(D::ByPeriodRadio));
    for (int lId : {D::FromEdit, D::ToEdit}) {
        auto *pEdit = clDialog.Get<QDateTimeEdit>(lId);
        QVERIFY(pEdit->isEnabled());
        QCOMPARE(pEdit->displayFormat(), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QCOMPARE(pEdit->timeSpec(), Qt::UTC);
        QCOMPARE(pEdit->currentSection(), QDateTimeEdit::SecondSection);
        QVERIFY(pEdit->minimumWidth() > lNarrow);
    }
    QCOMPARE(clDialog.Get<QDateTimeEdit>(D::FromEdit)->text(),
             QStringLiteral("2024-03-07 10:20:00"));
    QCOMPARE(clDialog.Get<QDateTimeEdit>(D::ToEdit)->text(), QStringLiteral("2024-03-07 13:10:00"));
    // Only filled: nothing started.
    QTest::qWait(300);
    QCOMPARE(clDialog.threadEnds->count(), 1);
    QVERIFY(!WorkerHeld(clDialog.WorkerContext()));

    clDialog.Click(D::SplitStartStop);
    QVERIFY(clDialog.WaitForThreadEnds(2));
    QCOMPARE(WorkerTestKit::FilesIn(m_pDir->path()),
             (QStringList{"cell.bvf", "cell__2024-03-07_10.20.00.bvf"}));
    QCOMPARE(WorkerTestKit::RecordTimes(m_pDir->filePath("cell__2024-03-07_10.20.00.bvf")),
             WorkerTestKit::RecordTimes(m_clstrSource));
    QVERIFY(!clDialog.QuitScheduled());
}

void TestDialogCommandLine::periodWithSecondsAndQuit() {
    // The seconds count: 10:40:00 ... 11:40:00 inclusive, not the whole minute.
    CTestDialog clDialog({"-fs=" + m_clstrSource, "-st=2", "-tps=2024-03-07 11:40:00",
                          "-tpe=2024-03-07 10:35:01", "-fdu=7", "-start=2"});
    QVERIFY(clDialog.Open());
    QVERIFY(clDialog.WaitForThreadEnds(2));
    QTRY_VERIFY(clDialog.QuitScheduled());
    QCOMPARE(clDialog.ExitStatus(), 0);
    QCOMPARE(WorkerTestKit::DescribeParts(m_pDir->path(), {"cell.bvf"}),
             QStringList{"2024-03-07_10.35.01__cell.bvf: 10:40:00 10:50:00 11:00:00 11:10:00 "
                         "11:20:00 11:30:00 11:40:00"});
}

void TestDialogCommandLine::fixedNameIsExactlyThatFile() {
    const QString clstrFixed = m_pDir->filePath(QStringLiteral("all.bvf"));
    CTestDialog clDialog({"-fs=" + m_clstrSource, "-st=2", "-fd=" + clstrFixed,
                          "-tps=2024-03-07 10:00", "-tpe=2024-03-07 12:00", "-start=2"});
    QVERIFY(clDialog.Open());
    QVERIFY(clDialog.WaitForThreadEnds(2));
    QTRY_VERIFY(clDialog.QuitScheduled());
    QCOMPARE(clDialog.ExitStatus(), 0);
    QCOMPARE(WorkerTestKit::FilesIn(m_pDir->path()), (QStringList{"all.bvf", "cell.bvf"}));
    QCOMPARE(WorkerTestKit::RecordTimes(clstrFixed).join(u' '),
             QStringLiteral("10:20:00 10:30:00 10:40:00 10:50:00 11:00:00 11:10:00 11:20:00 "
                            "11:30:00 11:40:00 11:50:00 12:00:00"));
    QCOMPARE(clDialog.Get<QComboBox>(D::SchemeCombo)->currentText(), QStringLiteral("Fixed name"));
    QVERIFY(!clDialog.Checked(D::UtcCheck));
}

void TestDialogCommandLine::quotedSourcePath() {
    CTestDialog clDialog({"-fs='" + m_clstrSource + "'", "-st=3", "-n=3"});
    QVERIFY(clDialog.Open());
    QVERIFY(clDialog.WaitForThreadEnds(1));
    QCOMPARE(clDialog.SourceInfo().name, m_clstrSource);
    QCOMPARE(clDialog.ControlText(D::SourcePath), m_clstrSource);
    QVERIFY(clDialog.Checked(D::ByNumberRadio));
    QCOMPARE(clDialog.Get<QSpinBox>(D::NumberSpin)->value(), 3);
}

void TestDialogCommandLine::numberLimitedToTheField() {
    CTestDialog clDialog({"-fs=" + m_clstrSource, "-st=3", "-n=100", "-start=1", "-fdu=1"});
    QVERIFY(clDialog.Open());
    QVERIFY(clDialog.WaitForThreadEnds(2));
    QCOMPARE(clDialog.Get<QSpinBox>(D::NumberSpin)->value(), 99);
    // The split ran, and the program stays.
    const QStringList clParts = WorkerTestKit::FilesIn(m_pDir->path(), {"cell.bvf"});
    QVERIFY(clParts.size() > 2);
    QVERIFY(clParts.size() <= 99);
    QCOMPARE(clParts.first(), QStringLiteral("cell__01.bvf"));
    QStringList clTimes;
    for (const QString &clstrPart : clParts)
        clTimes << WorkerTestKit::RecordTimes(m_pDir->filePath(clstrPart));
    QCOMPARE(clTimes, WorkerTestKit::RecordTimes(m_clstrSource));
    QTest::qWait(300);
    QVERIFY(!clDialog.QuitScheduled());
    QCOMPARE(clDialog.ExitStatus(), 0);
}

void TestDialogCommandLine::missingRequiredOption() {
    CTestDialog clDialog({"-st=1", "-tu=01:00", m_clstrSource});
    QVERIFY(clDialog.Open());
    QTest::qWait(400);
    QVERIFY(clDialog.ControlText(D::SourcePath).isEmpty());
    QVERIFY(!WorkerHeld(clDialog.WorkerContext()));
    QCOMPARE(clDialog.threadEnds->count(), 0);
    QVERIFY(clDialog.prompts->asked.isEmpty());
    QVERIFY(!clDialog.QuitScheduled());
    QCOMPARE(clDialog.ExitStatus(), 0);
}

void TestDialogCommandLine::automatedRunThatCannotStart() {
    // A split and a quit asked for, but no valid request: nothing is
    // started, and without a display the program ends with status 1.
    {
        CTestDialog clDialog({"-st=1", "-tu=01:00", "-start=2"});
        QVERIFY(clDialog.Open());
        QVERIFY(clDialog.QuitScheduled());
        QCOMPARE(clDialog.ExitStatus(), 1);
        QCOMPARE(clDialog.prompts->Kinds(), QStringList{"warning:Error"});
        QTest::qWait(300);
        QVERIFY(!WorkerHeld(clDialog.WorkerContext()));
    }
    // The source cannot be scanned: the usual warning, then the same end.
    {
        const QString clstrMissing = m_pDir->filePath(QStringLiteral("missing.bvf"));
        CTestDialog clDialog({"-fs=" + clstrMissing, "-st=1", "-tu=01:00", "-start=2"});
        QVERIFY(clDialog.Open());
        QVERIFY(clDialog.WaitForThreadEnds(1));
        QVERIFY(clDialog.QuitScheduled());
        QCOMPARE(clDialog.ExitStatus(), 1);
        QCOMPARE(clDialog.prompts->Kinds(), QStringList{"warning:Error"});
        QCOMPARE(clDialog.prompts->asked[0].text,
                 "<" + clstrMissing + ">\nCan not open file or unsupported filetype!");
        // The tab is filled all the same.
        QCOMPARE(clDialog.ControlText(D::SourcePath), clstrMissing);
    }
    // With "-start=1" the same failure is no script's business.
    {
        const QString clstrMissing = m_pDir->filePath(QStringLiteral("missing.bvf"));
        CTestDialog clDialog({"-fs=" + clstrMissing, "-st=1", "-tu=01:00", "-start=1"});
        QVERIFY(clDialog.Open());
        QVERIFY(clDialog.WaitForThreadEnds(1));
        QTest::qWait(200);
        QVERIFY(!clDialog.QuitScheduled());
        QCOMPARE(clDialog.ExitStatus(), 0);
    }
}

BVF_TEST_MAIN(TestDialogCommandLine)
#include "test_dialog_command_line.moc"
