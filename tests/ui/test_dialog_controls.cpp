// The dialog's controls: inventory, the split types' enabled sets, the
// generic accessors, showing and sizing, and drag and drop.
#include "UiTestKit.h"

#include "TestRegistry.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMetaClassInfo>
#include <QMimeData>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

using namespace UiTestKit;
using D = CDlgSplitter;

class TestDialogControls : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void inventory_data();
    void inventory();
    void defaultsAndRanges();
    void splitTypeSets();
    void fixedNameEntryLeavesWithThePeriodType();
    void accessorsActByClass();
    void secondShowAndSizing();
    void dragEnter_data();
    void dragEnter();
    void drop();
};

void TestDialogControls::initTestCase() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
}

void TestDialogControls::inventory_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tooltip");

    auto row = [](const char *pName, int lId, const char *pClass, const QString &clstrText,
                  const QString &clstrTip) {
        QTest::newRow(pName) << lId << QString::fromLatin1(pClass) << clstrText << clstrTip;
    };
    row("SourceLabel", D::SourceLabel, "QLabel", "Source File:", "");
    row("SourcePath", D::SourcePath, "QLineEdit", "", "Path and file name of the request file");
    row("ChooseFileButton", D::ChooseFileButton, "QToolButton", "...",
        "Choose file in selection dialogue");
    row("SchemeLabel", D::SchemeLabel, "QLabel", "Name of Split File:", "");
    row("SchemeCombo", D::SchemeCombo, "QComboBox", "NAME__date+time.bvf", "Name of Split File:");
    row("UtcCheck", D::UtcCheck, "QCheckBox", "UTC", "Show time in UTC");
    row("FixedNameLabel", D::FixedNameLabel, "QLabel", "Fixed name of Split File:", "");
    row("FixedNamePath", D::FixedNamePath, "QLineEdit", "",
        "Path and file name of the destination file");
    row("SyncProtoCheck", D::SyncProtoCheck, "QCheckBox",
        "Synchronise file time stamps to protocol time",
        "Find first broadcasted time stamp in protocol.\n"
        "Adjust file bases time stamps with the found offset.");
    row("ByTimeRadio", D::ByTimeRadio, "QRadioButton", "Split by Time",
        "Split into N minutes long parts");
    row("LengthUnitLabel", D::LengthUnitLabel, "QLabel", "[HH:MM] ", "");
    row("AlignCheck", D::AlignCheck, "QCheckBox", "Split at beginning of the time unit",
        "Split at beginning of the time unit");
    row("ByPeriodRadio", D::ByPeriodRadio, "QRadioButton", "Split by Period of Time",
        "Split by Period of Time");
    row("FromLabel", D::FromLabel, "QLabel", "From ", "");
    row("ToLabel", D::ToLabel, "QLabel", "  to  ", "");
    row("ByNumberRadio", D::ByNumberRadio, "QRadioButton", "Split by Number",
        "Split into a number of parts");
    row("NumberSpin", D::NumberSpin, "QSpinBox", "2", "Number of files");
    row("SizeLabel", D::SizeLabel, "QLabel", "", "");
    row("FreqCheck", D::FreqCheck, "QCheckBox", "Correct DMO record frequency",
        "Correct DMO record frequency");
    row("FreqEdit", D::FreqEdit, "QLineEdit", "360000000", "Frequency in HZ");
    row("SplitStartStop", D::SplitStartStop, "QPushButton", "Start", "Start/Stop splitting");
    row("SplitProgress", D::SplitProgress, "QProgressBar", "0", "Operation progress");
    row("MergeLabel", D::MergeLabel, "QLabel", "Add files, or drop them into box:", "");
    row("MergeView", D::MergeView, "QTreeView", "", "List with files to merge");
    row("DeleteAllButton", D::DeleteAllButton, "QPushButton", "Delete all", "Delete all files");
    row("DeleteSelectedButton", D::DeleteSelectedButton, "QPushButton", "Delete selected",
        "Delete selected files");
    row("AddFilesButton", D::AddFilesButton, "QPushButton", "Add files",
        "Choose file(s) in selection dialogue");
    row("MergeStartStop", D::MergeStartStop, "QPushButton", "Start", "Start/Stop merging");
    row("MergeProgress", D::MergeProgress, "QProgressBar", "0", "Operation progress");
}

void TestDialogControls::inventory() {
    QFETCH(int, id);
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(QString, tooltip);
    CTestDialog clDialog;
    // Nothing exists before the first show.
    QVERIFY(clDialog.ControlWidget(id) == nullptr);
    QVERIFY(clDialog.Open());
    QWidget *pWidget = clDialog.ControlWidget(id);
    QVERIFY(pWidget != nullptr);
    QCOMPARE(QString::fromLatin1(pWidget->metaObject()->className()), className);
    QCOMPARE(clDialog.ControlText(id), text);
    QCOMPARE(pWidget->toolTip(), tooltip);
}

void TestDialogControls::defaultsAndRanges() {
    CTestDialog clDialog;
    QCOMPARE(QString::fromLatin1(clDialog.metaObject()
                                     ->classInfo(clDialog.metaObject()->indexOfClassInfo("Author"))
                                     .value()),
             QStringLiteral("vintermark GmbH"));
    QCOMPARE(QString::fromLatin1(clDialog.metaObject()
                                     ->classInfo(clDialog.metaObject()->indexOfClassInfo("Status"))
                                     .value()),
             QStringLiteral("Development"));
    QVERIFY(clDialog.acceptDrops());
    QVERIFY(clDialog.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(clDialog.Open());
    QVERIFY(clDialog.windowTitle().isEmpty());

    auto *pTabs = clDialog.findChild<QTabWidget *>();
    QVERIFY(pTabs != nullptr);
    QCOMPARE(pTabs->count(), 2);
    QCOMPARE(pTabs->tabText(0), QStringLiteral("Split File"));
    QCOMPARE(pTabs->tabText(1), QStringLiteral("Merge Files"));

    auto *pCombo = clDialog.Get<QComboBox>(D::SchemeCombo);
    QStringList clSchemes;
    for (int i = 0; i < pCombo->count(); ++i)
        clSchemes << pCombo->itemText(i);
    QCOMPARE(clSchemes,
             (QStringList{"NAME__date+time.bvf", "NAME__SplitNumber.bvf",
                          "NAME__SplitNumber__date+time.bvf", "NAME__date+time__SplitNumber.bvf",
                          "SplitNumber__NAME.bvf", "SplitNumber__NAME__date+time.bvf",
                          "SplitNumber__date+time__NAME.bvf", "date+time__NAME.bvf",
                          "date+time__NAME__SplitNumber.bvf", "date+time__SplitNumber__NAME.bvf"}));
    QCOMPARE(pCombo->currentIndex(), 0);
    QCOMPARE(pCombo->sizeAdjustPolicy(), QComboBox::AdjustToContents);

    auto *pLength = clDialog.Get<QTimeEdit>(D::LengthEdit);
    QCOMPARE(pLength->time(), QTime(1, 0));
    QVERIFY(pLength->wrapping());
    QCOMPARE(pLength->specialValueText(), QStringLiteral("24:00"));
    QCOMPARE(pLength->toolTip(), QStringLiteral("Set the length(by time) of the file"));
    pLength->setTime(QTime(0, 0));
    QCOMPARE(pLength->text(), QStringLiteral("24:00"));

    for (int lId : {D::FromEdit, D::ToEdit}) {
        auto *pEdit = clDialog.Get<QDateTimeEdit>(lId);
        QCOMPARE(QString::fromLatin1(pEdit->metaObject()->className()),
                 QStringLiteral("QDateTimeEdit"));
        QCOMPARE(pEdit->dateTime().toSecsSinceEpoch(), 0);
        QCOMPARE(pEdit->timeSpec(), Qt::UTC);
        QVERIFY(pEdit->wrapping());
        QCOMPARE(pEdit->toolTip(), QStringLiteral("Set the length of the file"));
    }

    auto *pSpin = clDialog.Get<QSpinBox>(D::NumberSpin);
    QCOMPARE(pSpin->minimum(), 2);
    QCOMPARE(pSpin->maximum(), 99);
    QCOMPARE(pSpin->value(), 2);

    for (int lId : {D::SplitProgress, D::MergeProgress}) {
        auto *pBar = clDialog.Get<QProgressBar>(lId);
        QCOMPARE(pBar->minimum(), 0);
        QCOMPARE(pBar->maximum(), 1000);
        QCOMPARE(pBar->value(), 0);
        QVERIFY(pBar->isTextVisible());
        QVERIFY(pBar->isHidden());
    }

    QVERIFY(clDialog.Get<QLineEdit>(D::SourcePath)->isReadOnly());
    QVERIFY(clDialog.Get<QLineEdit>(D::FixedNamePath)->isReadOnly());
    QVERIFY(!clDialog.Get<QLineEdit>(D::FreqEdit)->isReadOnly());
    for (int lId : {D::SourceLabel, D::SchemeLabel, D::ByTimeRadio, D::ByPeriodRadio,
                    D::ByNumberRadio, D::MergeLabel})
        QCOMPARE(clDialog.ControlWidget(lId)->minimumWidth(), 120);

    // The split-type group: exclusive, ids 0, 1, 2, "Split by Time" checked.
    auto *pByTime = clDialog.Get<QRadioButton>(D::ByTimeRadio);
    QButtonGroup *pGroup = pByTime->group();
    QVERIFY(pGroup != nullptr);
    QVERIFY(pGroup->exclusive());
    QCOMPARE(pGroup->id(pByTime), 0);
    QCOMPARE(pGroup->id(clDialog.Get<QRadioButton>(D::ByPeriodRadio)), 1);
    QCOMPARE(pGroup->id(clDialog.Get<QRadioButton>(D::ByNumberRadio)), 2);
    QCOMPARE(pGroup->checkedId(), 0);
    QVERIFY(!clDialog.Checked(D::UtcCheck));
    QVERIFY(!clDialog.Checked(D::AlignCheck));
    QVERIFY(!clDialog.Checked(D::FreqCheck));

    auto *pView = clDialog.Get<QTreeView>(D::MergeView);
    QCOMPARE(pView->selectionMode(), QAbstractItemView::MultiSelection);
    QVERIFY(!pView->isSortingEnabled());

    // The state without a source.
    for (int lId : {D::SyncProtoCheck, D::FreqCheck, D::FreqEdit, D::SplitProgress,
                    D::FixedNameLabel, D::FixedNamePath})
        QVERIFY2(clDialog.Hidden(lId), qPrintable(QString::number(lId)));
    for (int lId : {D::ByTimeRadio, D::ByPeriodRadio, D::ByNumberRadio, D::LengthEdit,
                    D::LengthUnitLabel, D::AlignCheck, D::FromLabel, D::FromEdit, D::ToLabel,
                    D::ToEdit, D::NumberSpin, D::SizeLabel, D::SplitStartStop, D::FreqEdit})
        QVERIFY2(!clDialog.Enabled(lId), qPrintable(QString::number(lId)));
    for (int lId :
         {D::SourcePath, D::ChooseFileButton, D::SchemeCombo, D::UtcCheck, D::DeleteAllButton,
          D::DeleteSelectedButton, D::AddFilesButton, D::MergeStartStop})
        QVERIFY2(clDialog.Enabled(lId), qPrintable(QString::number(lId)));
    QVERIFY(clDialog.prompts->asked.isEmpty());
}

void TestDialogControls::splitTypeSets() {
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

void TestDialogControls::fixedNameEntryLeavesWithThePeriodType() {
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

void TestDialogControls::accessorsActByClass() {
    CTestDialog clDialog;
    // Nothing happens for controls that do not exist (yet, or at all).
    clDialog.SetControlValue(D::NumberSpin, 5);
    clDialog.SetControlText(D::SourcePath, QStringLiteral("x"));
    QCOMPARE(clDialog.ControlText(D::SourcePath), QString());
    QCOMPARE(clDialog.ControlText(D::ControlCount), QString());
    QVERIFY(clDialog.Open());
    clDialog.SetControlText(D::ControlCount, QStringLiteral("x"));
    clDialog.SetControlValue(-1, 1);

    clDialog.SetControlValue(D::NumberSpin, 7);
    QCOMPARE(clDialog.ControlText(D::NumberSpin), QStringLiteral("7"));
    clDialog.SetControlText(D::NumberSpin, QStringLiteral("12"));
    QCOMPARE(clDialog.Get<QSpinBox>(D::NumberSpin)->value(), 12);
    clDialog.SetControlValue(D::NumberSpin, 100);
    QCOMPARE(clDialog.ControlText(D::NumberSpin), QStringLiteral("99"));

    clDialog.SetControlValue(D::FreqEdit, 12345);
    QCOMPARE(clDialog.ControlText(D::FreqEdit), QStringLiteral("12345"));

    clDialog.SetControlValue(D::SchemeCombo, 3);
    QCOMPARE(clDialog.ControlText(D::SchemeCombo),
             QStringLiteral("NAME__date+time__SplitNumber.bvf"));
    clDialog.SetControlText(D::SchemeCombo, QStringLiteral("date+time__NAME.bvf"));
    QCOMPARE(clDialog.Get<QComboBox>(D::SchemeCombo)->currentIndex(), 7);
    // Exact and case-sensitive; no match leaves the choice alone.
    clDialog.SetControlText(D::SchemeCombo, QStringLiteral("DATE+TIME__NAME.bvf"));
    clDialog.SetControlText(D::SchemeCombo, QStringLiteral("date+time"));
    QCOMPARE(clDialog.Get<QComboBox>(D::SchemeCombo)->currentIndex(), 7);

    clDialog.SetControlValue(D::AlignCheck, 1);
    QVERIFY(clDialog.Checked(D::AlignCheck));
    clDialog.SetControlText(D::AlignCheck, QStringLiteral("caption"));
    QCOMPARE(clDialog.ControlText(D::AlignCheck), QStringLiteral("caption"));
    clDialog.SetControlValue(D::ByNumberRadio, 1);
    QVERIFY(clDialog.Checked(D::ByNumberRadio));

    clDialog.SetControlValue(D::SizeLabel, 42);
    QCOMPARE(clDialog.ControlText(D::SizeLabel), QStringLiteral("42"));
    clDialog.SetControlValue(D::ChooseFileButton, Qt::LeftArrow);
    QCOMPARE(clDialog.Get<QToolButton>(D::ChooseFileButton)->arrowType(), Qt::LeftArrow);
    clDialog.SetControlValue(D::DeleteAllButton, 3);
    QCOMPARE(clDialog.ControlText(D::DeleteAllButton), QStringLiteral("3"));

    // The period edits keep their value within the source's span.
    clDialog.SourceInfo().last = QDateTime::fromSecsSinceEpoch(2000000000, QTimeZone::utc());
    clDialog.SetControlValue(D::FromEdit, 1709806200); // 2024-03-07 10:10:00 UTC
    QCOMPARE(clDialog.Get<QDateTimeEdit>(D::FromEdit)->dateTime().toSecsSinceEpoch(), 1709806200);
    clDialog.SetControlText(D::FromEdit, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QCOMPARE(clDialog.ControlText(D::FromEdit), QStringLiteral("yyyy-MM-dd hh:mm:ss"));

    clDialog.SetControlValue(D::MergeProgress, 250);
    QCOMPARE(clDialog.ControlText(D::MergeProgress), QStringLiteral("250"));
    clDialog.SetControlText(D::MergeProgress, QStringLiteral("500"));
    QCOMPARE(clDialog.Get<QProgressBar>(D::MergeProgress)->value(), 500);
}

void TestDialogControls::secondShowAndSizing() {
    CTestDialog clDialog;
    QVERIFY(clDialog.Open());
    QWidget *pSource = clDialog.ControlWidget(D::SourcePath);
    const int lChildren = clDialog.findChildren<QWidget *>().size();
    clDialog.SetControlText(D::SourcePath, QStringLiteral("kept"));
    clDialog.hide();
    clDialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&clDialog));
    QCOMPARE(clDialog.ControlWidget(D::SourcePath), pSource);
    QCOMPARE(clDialog.findChildren<QWidget *>().size(), lChildren);
    QCOMPARE(clDialog.ControlText(D::SourcePath), QStringLiteral("kept"));

    // Fitting the contents happens on the split tab only.
    auto *pTabs = clDialog.findChild<QTabWidget *>();
    const QSize clBig = clDialog.sizeHint() + QSize(300, 200);
    pTabs->setCurrentIndex(1);
    clDialog.resize(clBig);
    QTRY_COMPARE(clDialog.size(), clBig);
    clDialog.Slot_Gui_AdjustSize();
    QCOMPARE(clDialog.size(), clBig);
    pTabs->setCurrentIndex(0);
    clDialog.Slot_Gui_AdjustSize();
    QVERIFY(clDialog.width() < clBig.width());
    QVERIFY(clDialog.height() < clBig.height());
}

void TestDialogControls::dragEnter_data() {
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("a.BVF") << QStringList{"/data/a.BVF"} << true;
    QTest::newRow("tmw after a text file") << QStringList{"/data/a.txt", "/data/b.Tmw"} << true;
    QTest::newRow("lan in the folder name") << QStringList{"/data/x.lan/readme"} << true;
    QTest::newRow("text files only") << QStringList{"/data/a.txt", "/data/b.csv"} << false;
    QTest::newRow("no urls") << QStringList{} << false;
}

void TestDialogControls::dragEnter() {
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

void TestDialogControls::drop() {
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

BVF_TEST_MAIN(TestDialogControls)
#include "test_dialog_controls.moc"
