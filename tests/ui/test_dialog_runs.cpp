// The run states of the split tab: loading, a failed load, splitting with
// the Start button, Start as Stop during a scan, closing during a split; the
// controls each split type enables; drag and drop.
#include "UiTestKit.h"

#include "SampleGenerator.h"
#include "TestPaths.h"

#include "TestRegistry.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QUrl>

#include <functional>
#include <utility>

using namespace UiTestKit;
using D = CDlgSplitter;

class TestDialogRuns : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void loadSplitAndFailedLoad();
    void startDuringScanStopsIt();
    void splitStoppedAndClosedDuringARun();
    void splitTypeSets();
    void fixedNameEntryLeavesWithThePeriodType();
    void dragEnter_data();
    void dragEnter();
    void drop();

  private:
    QTemporaryDir m_clDir;
    QString m_clstrLarge; // two hours of mixed traffic, about 22 MB
};

void TestDialogRuns::initTestCase() {
    QVERIFY(m_clDir.isValid());
    m_clstrLarge = m_clDir.filePath(QStringLiteral("large.bvf"));
    StructSampleSettings clSettings;
    clSettings.lMinutes = 120;
    const StructSampleOutcome clOutcome =
        WriteSampleRecording(ToWide(m_clstrLarge).c_str(), clSettings);
    QCOMPARE(int(clOutcome.enResult), int(FILE_OK));
}

void TestDialogRuns::loadSplitAndFailedLoad() {
    QTemporaryDir clDir;
    const QString clstrSource = clDir.filePath(QStringLiteral("cell.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(clstrSource, TenMinuteRecords()));
    CTestDialog clDialog;
    CStateRecorder clStates(clDialog);
    QVERIFY(clDialog.Open());
    QCOMPARE(CStateRecorder::State(clDialog),
             QStringLiteral("progress:hidden start:Start:off radios:off"));

    // The file dialog starts on the desktop while nothing is loaded.
    clDialog.Choose(clstrSource);
    QCOMPARE(clDialog.prompts->asked.size(), 1);
    const Prompt clChooser = clDialog.prompts->asked[0];
    QCOMPARE(clChooser.kind, QStringLiteral("file"));
    QCOMPARE(clChooser.title, QStringLiteral("Choose split file"));
    QCOMPARE(clChooser.text,
             QStringLiteral("Splitfiles (*.bvf *.tmw *.lan);;BVF file (*.bvf);;All (*.*)"));
    QVERIFY(clChooser.initial.endsWith(u'/'));
    QCOMPARE(clDialog.ControlText(D::SourcePath), clstrSource);
    QVERIFY(clDialog.WaitForThreadEnds(1));
    QCOMPARE(clStates.states, (QStringList{"0 progress:shown start:Stop:on radios:off",
                                           "1000 progress:hidden start:Start:on radios:on"}));
    QVERIFY(!WorkerHeld(clDialog.WorkerContext()));

    // Split into two parts by number with the Start button.
    clDialog.Click(D::ByNumberRadio);
    clDialog.SetControlValue(D::SchemeCombo, 1);
    clDialog.Click(D::SplitStartStop);
    QVERIFY(clDialog.WaitForThreadEnds(2));
    QCOMPARE(clStates.states.mid(2),
             (QStringList{"0 progress:shown start:Stop:on radios:on",
                          "2000 progress:hidden start:Start:on radios:on"}));
    QCOMPARE(WorkerTestKit::FilesIn(clDir.path()),
             (QStringList{"cell.bvf", "cell__01.bvf", "cell__02.bvf"}));
    QCOMPARE(QStringList(WorkerTestKit::RecordTimes(clDir.filePath("cell__01.bvf")) +
                         WorkerTestKit::RecordTimes(clDir.filePath("cell__02.bvf"))),
             WorkerTestKit::RecordTimes(clstrSource));
    QCOMPARE(clDialog.ExitStatus(), 0);
    QVERIFY(!clDialog.QuitScheduled());

    // A file that is not a recording: back to no source, with the warning.
    const QString clstrBroken = clDir.filePath(QStringLiteral("broken.bvf"));
    QVERIFY(WorkerTestKit::WriteBytes(clstrBroken, QByteArray(4000, 'x')));
    clDialog.Choose(clstrBroken);
    // The chooser starts where the last source was.
    QCOMPARE(clDialog.prompts->asked.last().initial, clstrSource);
    QVERIFY(clDialog.WaitForThreadEnds(3));
    QCOMPARE(clStates.states.mid(4),
             (QStringList{"0 progress:shown start:Stop:on radios:on",
                          "-1 progress:hidden start:Start:off radios:off"}));
    QCOMPARE(clDialog.prompts->Kinds(),
             (QStringList{"file:Choose split file", "file:Choose split file", "warning:Error"}));
    QCOMPARE(clDialog.prompts->asked.last().text,
             "<" + clstrBroken + ">\nCan not open file or unsupported filetype!");
    QVERIFY(clDialog.SourceInfo().name.isEmpty());
    for (int lId : {D::SchemeLabel, D::SchemeCombo, D::UtcCheck, D::FixedNameLabel,
                    D::FixedNamePath, D::SplitStartStop, D::LengthEdit, D::NumberSpin})
        QVERIFY2(!clDialog.Enabled(lId), qPrintable(QString::number(lId)));
    QVERIFY(clDialog.Hidden(D::SyncProtoCheck));

    // Start without a source does nothing; a cancelled chooser loads nothing.
    clDialog.Button_Splitter_StartStop();
    QVERIFY(!WorkerHeld(clDialog.WorkerContext()));
    clDialog.Click(D::ChooseFileButton);
    QVERIFY(!WorkerHeld(clDialog.WorkerContext()));
    QCOMPARE(clDialog.ControlText(D::SourcePath), clstrBroken);

    // A good source again brings the controls back.
    clDialog.Choose(clstrSource);
    QVERIFY(clDialog.WaitForThreadEnds(4));
    for (int lId : {D::SchemeLabel, D::SchemeCombo, D::UtcCheck, D::SplitStartStop, D::NumberSpin})
        QVERIFY2(clDialog.Enabled(lId), qPrintable(QString::number(lId)));
}

void TestDialogRuns::startDuringScanStopsIt() {
    // The scan may, rarely, end before Start is seen; then try again.
    for (int lAttempt = 0; lAttempt < 3; ++lAttempt) {
        CTestDialog clDialog;
        CStateRecorder clStates(clDialog);
        QVERIFY(clDialog.Open());
        // The button becomes Stop with the scan's first report; it is pressed
        // right after the dialog has taken that report.
        QString clstrCaption;
        QObject::connect(
            &clDialog, &CDlgSplitter::Signal_Splitter_ProgressBar, &clDialog,
            [&clDialog, &clstrCaption](int lCode) {
                if (lCode != 0 || !clstrCaption.isEmpty())
                    return;
                clstrCaption = clDialog.ControlText(D::SplitStartStop);
                clDialog.Click(D::SplitStartStop);
            },
            Qt::QueuedConnection);
        clDialog.Choose(m_clstrLarge);
        QVERIFY(WorkerHeld(clDialog.WorkerContext()));
        QVERIFY(clDialog.WaitForThreadEnds(1));
        QCOMPARE(clstrCaption, QStringLiteral("Stop"));
        if (clStates.states.last().startsWith(QStringLiteral("1000")))
            continue;
        QCOMPARE(clStates.states.last(),
                 QStringLiteral("-1 progress:hidden start:Start:off radios:off"));
        QCOMPARE(clDialog.prompts->Kinds(),
                 (QStringList{"file:Choose split file", "warning:Error"}));
        QCOMPARE(clDialog.prompts->asked.last().text,
                 "<" + m_clstrLarge + ">\nCan not open file or unsupported filetype!");
        QVERIFY(clDialog.SourceInfo().name.isEmpty());
        return;
    }
    QFAIL("the scan always ended before Start stopped it");
}

void TestDialogRuns::splitStoppedAndClosedDuringARun() {
    QTemporaryDir clDir;
    const QString clstrSource = clDir.filePath(QStringLiteral("large.bvf"));
    QVERIFY(QFile::copy(m_clstrLarge, clstrSource));
    CTestDialog clDialog;
    CStateRecorder clStates(clDialog);
    QVERIFY(clDialog.Open());
    clDialog.Choose(clstrSource);
    QVERIFY(clDialog.WaitForThreadEnds(1));
    QCOMPARE(clDialog.SourceInfo().name, clstrSource);

    // Acts once, right after the dialog has taken the next start report.
    std::function<void()> fnAtStart;
    QObject::connect(
        &clDialog, &CDlgSplitter::Signal_Splitter_ProgressBar, &clDialog,
        [&fnAtStart](int lCode) {
            if (lCode == 0 && fnAtStart)
                std::exchange(fnAtStart, nullptr)();
        },
        Qt::QueuedConnection);

    // Stop pressed during a split into one-minute parts: code -1, written
    // parts stay, and the tab keeps its source.
    clDialog.Get<QTimeEdit>(D::LengthEdit)->setTime(QTime(0, 1));
    fnAtStart = [&clDialog]() { clDialog.Click(D::SplitStartStop); };
    clDialog.Click(D::SplitStartStop);
    QVERIFY(clDialog.WaitForThreadEnds(2));
    QCOMPARE(clStates.states.mid(2), (QStringList{"0 progress:shown start:Stop:on radios:on",
                                                  "-1 progress:hidden start:Start:on radios:on"}));
    QVERIFY(WorkerTestKit::FilesIn(clDir.path()).size() < 121);
    QCOMPARE(clDialog.SourceInfo().name, clstrSource);
    // A stop is the user's choice: no box.
    QCOMPARE(clDialog.prompts->Kinds(), QStringList{"file:Choose split file"});

    // Closing during a split stops the worker and releases it.
    for (const QString &clstrPart : WorkerTestKit::FilesIn(clDir.path(), {"large.bvf"}))
        QVERIFY(QFile::remove(clDir.filePath(clstrPart)));
    bool bClosed = false;
    fnAtStart = [&clDialog, &bClosed]() {
        bClosed = clDialog.close();
        QVERIFY(!WorkerHeld(clDialog.WorkerContext()));
    };
    clDialog.Click(D::SplitStartStop);
    QTRY_VERIFY(bClosed);
    QVERIFY(!clDialog.isVisible());
    QVERIFY(WorkerTestKit::FilesIn(clDir.path()).size() < 121);
    // Nothing of the stopped run reaches the closed dialog.
    QTest::qWait(300);
    QCOMPARE(clDialog.threadEnds->count(), 2);
    QCOMPARE(clDialog.prompts->Kinds(), QStringList{"file:Choose split file"});
}

void TestDialogRuns::splitTypeSets() {
    QTemporaryDir clDir;
    const QString clstrSource = clDir.filePath(QStringLiteral("cell.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(clstrSource, TenMinuteRecords()));
    CTestDialog clDialog;
    QVERIFY(clDialog.Open());
    clDialog.Choose(clstrSource);
    QVERIFY(clDialog.WaitForThreadEnds(1));
    QCOMPARE(clDialog.SourceInfo().name, clstrSource);

    const QList<int> clRadios = {D::ByTimeRadio, D::ByPeriodRadio, D::ByNumberRadio};
    const QList<QList<int>> clSets = {{D::LengthEdit, D::LengthUnitLabel, D::AlignCheck},
                                      {D::FromLabel, D::FromEdit, D::ToLabel, D::ToEdit},
                                      {D::NumberSpin, D::SizeLabel}};
    for (int lType : {-1, 3, 0, 1, 2}) {
        clDialog.Radio_Splitter_SplitType(lType);
        const bool bKnown = lType >= 0 && lType <= 2;
        for (int lRadio : clRadios)
            QCOMPARE(clDialog.Enabled(lRadio), bKnown);
        for (int lSet = 0; lSet < 3; ++lSet) {
            for (int lId : clSets[lSet])
                QVERIFY2(clDialog.Enabled(lId) == (lSet == lType),
                         qPrintable(QStringLiteral("type %1 control %2").arg(lType).arg(lId)));
        }
    }

    // Clicking the radios goes through the group.
    clDialog.Click(D::ByNumberRadio);
    QVERIFY(clDialog.Enabled(D::NumberSpin));
    QVERIFY(!clDialog.Enabled(D::LengthEdit));
    clDialog.Click(D::ByPeriodRadio);
    QVERIFY(clDialog.Enabled(D::FromEdit));
    QVERIFY(!clDialog.Enabled(D::NumberSpin));
    QCOMPARE(clDialog.Get<QDateTimeEdit>(D::FromEdit)->currentSection(),
             QDateTimeEdit::MinuteSection);

    // Without a source every set is empty, whatever the type.
    clDialog.SourceInfo().name.clear();
    clDialog.Radio_Splitter_SplitType(1);
    for (int lId : clRadios + clSets[0] + clSets[1] + clSets[2])
        QVERIFY(!clDialog.Enabled(lId));
}

void TestDialogRuns::fixedNameEntryLeavesWithThePeriodType() {
    QTemporaryDir clDir;
    const QString clstrSource = clDir.filePath(QStringLiteral("cell.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(clstrSource, TenMinuteRecords()));
    const QString clstrFixed = clDir.filePath(QStringLiteral("out/all.bvf"));
    CTestDialog clDialog({"-fs=" + clstrSource, "-st=2", "-fd=" + clstrFixed,
                          "-tps=2024-03-07 10:00", "-tpe=2024-03-07 11:00"});
    QVERIFY(clDialog.Open());
    QVERIFY(clDialog.WaitForThreadEnds(1));

    auto *pCombo = clDialog.Get<QComboBox>(D::SchemeCombo);
    QCOMPARE(pCombo->count(), 11);
    QCOMPARE(pCombo->itemText(10), QStringLiteral("Fixed name"));
    QCOMPARE(pCombo->currentIndex(), 10);
    QCOMPARE(clDialog.ControlText(D::FixedNamePath), clstrFixed);
    QVERIFY(!clDialog.Hidden(D::FixedNameLabel));
    QVERIFY(!clDialog.Hidden(D::FixedNamePath));
    QVERIFY(clDialog.Enabled(D::FixedNamePath));
    QVERIFY(clDialog.Checked(D::ByPeriodRadio));

    // Staying with the period type keeps the entry.
    clDialog.Click(D::ByPeriodRadio);
    QCOMPARE(pCombo->count(), 11);

    clDialog.Click(D::ByTimeRadio);
    QCOMPARE(pCombo->count(), 10);
    QVERIFY(clDialog.Hidden(D::FixedNameLabel));
    QVERIFY(clDialog.Hidden(D::FixedNamePath));
    QVERIFY(!clDialog.Enabled(D::FixedNamePath));
    // It does not come back with the period type.
    clDialog.Click(D::ByPeriodRadio);
    QCOMPARE(pCombo->count(), 10);
    QVERIFY(clDialog.Hidden(D::FixedNamePath));
}

void TestDialogRuns::dragEnter_data() {
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("a.BVF") << QStringList{"/data/a.BVF"} << true;
    QTest::newRow("tmw after a text file") << QStringList{"/data/a.txt", "/data/b.Tmw"} << true;
    QTest::newRow("lan in the folder name") << QStringList{"/data/x.lan/readme"} << true;
    QTest::newRow("text files only") << QStringList{"/data/a.txt", "/data/b.csv"} << false;
    QTest::newRow("no urls") << QStringList{} << false;
}

void TestDialogRuns::dragEnter() {
    QFETCH(QStringList, paths);
    QFETCH(bool, accepted);
    CTestDialog clDialog;
    QVERIFY(clDialog.Open());
    QMimeData clData;
    if (paths.isEmpty()) {
        clData.setText(QStringLiteral("/data/a.bvf"));
    } else {
        QList<QUrl> clUrls;
        for (const QString &clstrPath : paths)
            clUrls << QUrl::fromLocalFile(clstrPath);
        clData.setUrls(clUrls);
    }
    QDragEnterEvent clEvent(QPoint(5, 5), Qt::CopyAction, &clData, Qt::LeftButton, Qt::NoModifier);
    clEvent.setAccepted(!accepted);
    QApplication::sendEvent(&clDialog, &clEvent);
    QCOMPARE(clEvent.isAccepted(), accepted);
}

void TestDialogRuns::drop() {
    QTemporaryDir clDir;
    const QString clstrLan = clDir.filePath(QStringLiteral("cell.lan"));
    QVERIFY(WorkerTestKit::WriteBytes(clstrLan, QByteArray("not a recording")));
    const QString clstrBvf = clDir.filePath(QStringLiteral("cell.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(clstrBvf, TenMinuteRecords()));

    CTestDialog clDialog;
    QVERIFY(clDialog.Open());
    auto fnDrop = [&clDialog](const QStringList &clPaths) {
        QMimeData clData;
        QList<QUrl> clUrls;
        for (const QString &clstrPath : clPaths)
            clUrls << QUrl::fromLocalFile(clstrPath);
        clData.setUrls(clUrls);
        // A drop goes to the widget that accepted the drag's entry.
        QDragEnterEvent clEnter(QPoint(5, 5), Qt::CopyAction, &clData, Qt::LeftButton,
                                Qt::NoModifier);
        QApplication::sendEvent(&clDialog, &clEnter);
        QVERIFY(clEnter.isAccepted());
        QDropEvent clEvent(QPointF(5, 5), Qt::CopyAction, &clData, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&clDialog, &clEvent);
    };

    // On the merge tab a ".lan" file is not for the merge list, and nothing
    // is loaded for splitting either: the fill gets an empty list and ends.
    auto *pTabs = clDialog.findChild<QTabWidget *>();
    pTabs->setCurrentIndex(1);
    fnDrop({clstrLan});
    QVERIFY(clDialog.ControlText(D::SourcePath).isEmpty());
    QVERIFY(clDialog.WaitForThreadEnds(1));
    QVERIFY(!WorkerHeld(clDialog.WorkerContext()));
    QVERIFY(clDialog.MergeList().IsEmpty());
    QVERIFY(clDialog.prompts->asked.isEmpty());

    // On the split tab it is loaded (and then found not to be a recording).
    pTabs->setCurrentIndex(0);
    fnDrop({clDir.filePath(QStringLiteral("notes.txt")), clstrLan, clstrBvf});
    QCOMPARE(clDialog.ControlText(D::SourcePath), clstrLan);
    QVERIFY(clDialog.WaitForThreadEnds(2));
    QCOMPARE(clDialog.prompts->Kinds(), QStringList{"warning:Error"});
    QCOMPARE(clDialog.prompts->asked[0].text,
             "<" + clstrLan + ">\nCan not open file or unsupported filetype!");

    // The first recording of a drop is loaded, the later ones are ignored.
    fnDrop({clstrBvf, clstrLan});
    QCOMPARE(clDialog.ControlText(D::SourcePath), clstrBvf);
    QVERIFY(clDialog.WaitForThreadEnds(3));
    QCOMPARE(clDialog.SourceInfo().name, clstrBvf);
    QCOMPARE(clDialog.prompts->asked.size(), 1);
}

BVF_TEST_MAIN(TestDialogRuns)
#include "test_dialog_runs.moc"
