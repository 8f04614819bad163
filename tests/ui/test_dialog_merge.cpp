// The merge tab of the real dialog: deleting entries, the checks before a
// merge, Start as Stop during a fill, the proposed output name, the refusal of
// a source as destination and a split followed by a merge of its parts.
#include "UiTestKit.h"

#include "SampleGenerator.h"
#include "TestPaths.h"

#include "TestRegistry.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUrl>

using namespace UiTestKit;
using D = CDlgSplitter;

namespace {

StructJoinFileData Entry(const QString &clstrName, uint64_t lMagic, int64_t lStart) {
    StructJoinFileData clEntry;
    clEntry.flags = kJoinFileOpened | kJoinTimesFromRecord;
    clEntry.magic = lMagic;
    clEntry.fileName = clstrName;
    clEntry.start = lStart;
    clEntry.end = lStart + 60;
    clEntry.records = 2;
    clEntry.size = 1000;
    return clEntry;
}

// The file rows' names of the merge view, group by group.
QStringList ViewFiles(CModelJoinFiles &clModel) {
    QStringList clNames;
    for (int lGroup = 0; lGroup < clModel.rowCount(); ++lGroup) {
        const QStandardItem *pGroup = clModel.item(lGroup, 0);
        for (int lRow = 0; lRow < pGroup->rowCount(); ++lRow) {
            if (const QStandardItem *pFile = pGroup->child(lRow, 2))
                clNames << pFile->text();
        }
    }
    return clNames;
}

QModelIndex FileRow(CModelJoinFiles &clModel, const QString &clstrName) {
    for (int lGroup = 0; lGroup < clModel.rowCount(); ++lGroup) {
        const QStandardItem *pGroup = clModel.item(lGroup, 0);
        for (int lRow = 0; lRow < pGroup->rowCount(); ++lRow) {
            const QStandardItem *pFile = pGroup->child(lRow, 2);
            if (pFile != nullptr && pFile->text() == clstrName)
                return pFile->index();
        }
    }
    return {};
}

void DropFiles(CTestDialog &clDialog, const QStringList &clPaths) {
    QList<QUrl> clUrls;
    for (const QString &clstrPath : clPaths)
        clUrls << QUrl::fromLocalFile(clstrPath);
    QMimeData clData;
    clData.setUrls(clUrls);
    QDropEvent clDrop(QPointF(10, 10), Qt::CopyAction, &clData, Qt::LeftButton, Qt::NoModifier);
    clDialog.dropEvent(&clDrop);
}

// "shown|hidden <caption> on|off": the progress bar, MergeStartStop and the
// three list buttons.
QString MergeState(const CTestDialog &clDialog) {
    const bool bButtons = clDialog.Enabled(D::DeleteAllButton) &&
                          clDialog.Enabled(D::DeleteSelectedButton) &&
                          clDialog.Enabled(D::AddFilesButton);
    return QStringLiteral("%1 %2 %3")
        .arg(clDialog.Hidden(D::MergeProgress) ? QStringLiteral("hidden") : QStringLiteral("shown"))
        .arg(clDialog.ControlText(D::MergeStartStop))
        .arg(bButtons ? QStringLiteral("on") : QStringLiteral("off"));
}

} // namespace

class TestDialogMerge : public QObject {
    Q_OBJECT

  private slots:
    void deleteSelectedAndAll();
    void startChecksTheGroups();
    void startDuringFillStopsIt();
    void outputProposal_data();
    void outputProposal();
    void splitAndMergeAgain();
};

void TestDialogMerge::deleteSelectedAndAll() {
    CTestDialog clDialog;
    QVERIFY(clDialog.Open());
    QSignalSpy clRefresh(&clDialog, &CDlgSplitter::Signal_Join_Fill_List);
    CMergeList &clList = clDialog.MergeList();
    for (const StructJoinFileData &clEntry :
         {Entry("/m/a1.bvf", 0xa, 100), Entry("/m/a2.bvf", 0xa, 200), Entry("/m/b1.bvf", 0xb, 100),
          Entry("/m/b2.bvf", 0xb, 200), Entry("/m/b3.bvf", 0xb, 300)})
        QVERIFY(clList.Insert(clEntry));

    // Nothing selected: a refresh without a scroll target rebuilds the view.
    clDialog.Click(D::DeleteSelectedButton);
    QCOMPARE(clRefresh.size(), 1);
    QCOMPARE(clRefresh.last().at(0).toString(), QString());
    QTRY_COMPARE(ViewFiles(clDialog.MergeModel()),
                 (QStringList{"/m/a1.bvf", "/m/a2.bvf", "/m/b1.bvf", "/m/b2.bvf", "/m/b3.bvf"}));
    QCOMPARE(clList.Count(), 5);

    // A group row removes every file of its magic; the view goes to the entry
    // that took the first one's place.
    const QModelIndex clGroupA = clDialog.MergeModel().index(0, 0);
    QCOMPARE(clGroupA.data().toString(), QStringLiteral("0x000000000000000a"));
    clDialog.MergeSelection().select(clGroupA,
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    clDialog.Click(D::DeleteSelectedButton);
    QCOMPARE(clRefresh.last().at(0).toString(), QStringLiteral("/m/b1.bvf"));
    QCOMPARE(clList.FileNames(), (QStringList{"/m/b1.bvf", "/m/b2.bvf", "/m/b3.bvf"}));
    QTRY_COMPARE(ViewFiles(clDialog.MergeModel()),
                 (QStringList{"/m/b1.bvf", "/m/b2.bvf", "/m/b3.bvf"}));

    // A file row removes that file; the one after it takes its place.
    clDialog.MergeSelection().select(FileRow(clDialog.MergeModel(), "/m/b2.bvf"),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    clDialog.Click(D::DeleteSelectedButton);
    QCOMPARE(clRefresh.last().at(0).toString(), QStringLiteral("/m/b3.bvf"));
    QCOMPARE(clList.FileNames(), (QStringList{"/m/b1.bvf", "/m/b3.bvf"}));
    QTRY_COMPARE(ViewFiles(clDialog.MergeModel()), (QStringList{"/m/b1.bvf", "/m/b3.bvf"}));

    // The last file removed: the view goes to the new last entry.
    clDialog.MergeSelection().select(FileRow(clDialog.MergeModel(), "/m/b3.bvf"),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    clDialog.Click(D::DeleteSelectedButton);
    QCOMPARE(clRefresh.last().at(0).toString(), QStringLiteral("/m/b1.bvf"));
    QCOMPARE(clList.FileNames(), QStringList{"/m/b1.bvf"});
    QTRY_COMPARE(ViewFiles(clDialog.MergeModel()), QStringList{"/m/b1.bvf"});

    clDialog.Click(D::DeleteAllButton);
    QCOMPARE(clRefresh.last().at(0).toString(), QString());
    QVERIFY(clList.IsEmpty());
    QTRY_COMPARE(clDialog.MergeModel().rowCount(), 0);
    QCOMPARE(clDialog.MergeModel().columnCount(), 3);
    QVERIFY(clDialog.prompts->asked.isEmpty());
}

void TestDialogMerge::startChecksTheGroups() {
    CTestDialog clDialog;
    QVERIFY(clDialog.Open());
    CMergeList &clList = clDialog.MergeList();

    // An empty list: nothing at all.
    clDialog.Click(D::MergeStartStop);
    QVERIFY(!WorkerHeld(clDialog.WorkerContext()));
    QVERIFY(clDialog.prompts->asked.isEmpty());

    // One file.
    QVERIFY(clList.Insert(Entry("/m/one.bvf", 0x1f, 100)));
    clDialog.Click(D::MergeStartStop);
    QVERIFY(!WorkerHeld(clDialog.WorkerContext()));
    QCOMPARE(clDialog.prompts->Kinds(), QStringList{"warning:Error"});
    QCOMPARE(clDialog.prompts->asked.last().text,
             QStringLiteral("0x000000000000001f only one file, need at least two!"));

    // Groups of two and one: the second blocks the start; the list stays.
    QVERIFY(clList.Insert(Entry("/m/two.bvf", 0x1f, 200)));
    QVERIFY(clList.Insert(Entry("/m/other.bvf", 0xabcdef0123456789, 100)));
    clDialog.Click(D::MergeStartStop);
    QVERIFY(!WorkerHeld(clDialog.WorkerContext()));
    QCOMPARE(clDialog.prompts->Kinds(), (QStringList{"warning:Error", "warning:Error"}));
    QCOMPARE(clDialog.prompts->asked.last().text,
             QStringLiteral("0xabcdef0123456789 only one file, need at least two!"));
    QCOMPARE(clList.FileNames(), (QStringList{"/m/one.bvf", "/m/two.bvf", "/m/other.bvf"}));
    QCOMPARE(MergeState(clDialog), QStringLiteral("hidden Start on"));
}

void TestDialogMerge::startDuringFillStopsIt() {
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    // Files big enough that their examination is still running when Start
    // is pressed right after the fill's first report.
    const QString clstrFirst = clDir.filePath(QStringLiteral("big0.bvf"));
    StructSampleSettings clSettings;
    clSettings.lMinutes = 120;
    QCOMPARE(int(WriteSampleRecording(ToWide(clstrFirst).c_str(), clSettings).enResult),
             int(FILE_OK));
    QStringList clFiles{clstrFirst};
    for (int i = 1; i < 6; ++i) {
        clFiles << clDir.filePath(QStringLiteral("big%1.bvf").arg(i));
        QVERIFY(QFile::copy(clstrFirst, clFiles.last()));
    }

    CTestDialog clDialog;
    QVERIFY(clDialog.Open());
    QStringList clStates;
    QObject::connect(
        &clDialog, &CDlgSplitter::Signal_Join_ProgressBar, &clDialog,
        [&clDialog, &clStates](int lCode) {
            if (lCode > 0 && lCode < 1000)
                return;
            clStates << QStringLiteral("%1 %2").arg(lCode).arg(MergeState(clDialog));
            if (lCode == 0)
                clDialog.Click(D::MergeStartStop);
        },
        Qt::QueuedConnection);
    clDialog.prompts->fileLists << clFiles;
    clDialog.Click(D::AddFilesButton);
    QCOMPARE(clDialog.prompts->Kinds(), QStringList{"files:Select one or more files for merging"});
    QCOMPARE(clDialog.prompts->asked[0].text, QStringLiteral("BVF file (*.bvf);;All (*.*)"));
    QVERIFY(clDialog.prompts->asked[0].initial.endsWith(u'/'));
    QVERIFY(WorkerHeld(clDialog.WorkerContext()));

    QVERIFY(clDialog.WaitForThreadEnds(1));
    QCOMPARE(clStates, (QStringList{"0 shown Stop off", "-1 hidden Start on"}));
    QVERIFY(!WorkerHeld(clDialog.WorkerContext()));
    // The stop keeps what was examined; no merge was started.
    QVERIFY(clDialog.MergeList().Count() < clFiles.size());
    QCOMPARE(clDialog.prompts->asked.size(), 1);
}

void TestDialogMerge::outputProposal_data() {
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

void TestDialogMerge::outputProposal() {
    QFETCH(QString, source);
    QFETCH(QString, proposal);
    QCOMPARE(JoinedOutputProposal(source), proposal);
}

void TestDialogMerge::splitAndMergeAgain() {
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrSource = clDir.filePath(QStringLiteral("cell.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(clstrSource, TenMinuteRecords()));
    CTestDialog clDialog;
    QVERIFY(clDialog.Open());

    clDialog.Choose(clstrSource);
    QVERIFY(clDialog.WaitForThreadEnds(1));
    clDialog.Click(D::ByNumberRadio);
    clDialog.SetControlValue(D::SchemeCombo, 1);
    clDialog.SetControlValue(D::NumberSpin, 4);
    clDialog.Click(D::SplitStartStop);
    QVERIFY(clDialog.WaitForThreadEnds(2));
    QStringList clParts;
    for (int i = 1; i <= 4; ++i)
        clParts << clDir.filePath(QStringLiteral("cell__0%1.bvf").arg(i));
    for (const QString &clstrPart : clParts)
        QVERIFY2(QFile::exists(clstrPart), qPrintable(clstrPart));

    // Dropped on the merge tab in reverse order; a ".lan" there is not taken,
    // although it holds a recording.
    auto *pTabs = clDialog.findChild<QTabWidget *>();
    QVERIFY(pTabs != nullptr);
    pTabs->setCurrentIndex(1);
    const QString clstrLan = clDir.filePath(QStringLiteral("other.lan"));
    QVERIFY(WorkerTestKit::WriteRecording(clstrLan, TenMinuteRecords(), 0x1a2b));
    DropFiles(clDialog, {clParts[3], clParts[2], clstrLan, clParts[1], clParts[0]});
    QVERIFY(clDialog.WaitForThreadEnds(3));
    QCOMPARE(clDialog.MergeList().FileNames(), clParts);
    QTRY_COMPARE(ViewFiles(clDialog.MergeModel()), clParts);
    QCOMPARE(clDialog.MergeModel().rowCount(), 1);

    // A source, also written through "./", is refused and asked for again.
    const QString clstrOutput = clDir.filePath(QStringLiteral("merged.bvf"));
    QCOMPARE(clDialog.prompts->Kinds(), QStringList{"file:Choose split file"});
    clDialog.prompts->asked.clear();
    clDialog.prompts->saveFiles << clParts[2] << clDir.path() + QStringLiteral("/./cell__01.bvf")
                                << clstrOutput;
    clDialog.Click(D::MergeStartStop);
    QVERIFY(clDialog.WaitForThreadEnds(4));
    QCOMPARE(clDialog.prompts->Kinds(),
             (QStringList{"save:Choose destination file", "warning:Destination file error",
                          "save:Choose destination file", "warning:Destination file error",
                          "save:Choose destination file"}));
    const QString clstrProposal = clDir.filePath(QStringLiteral("cell__01_Joined.bvf"));
    for (int i : {0, 2, 4}) {
        QCOMPARE(clDialog.prompts->asked[i].initial, clstrProposal);
        QCOMPARE(clDialog.prompts->asked[i].text, QStringLiteral("BVF file (*.bvf);;All (*.*)"));
    }
    QCOMPARE(clDialog.prompts->asked[1].text,
             QStringLiteral("Can not merge from and write into the same file!\n"
                            "Choose an other destination name."));
    QCOMPARE(MergeState(clDialog), QStringLiteral("hidden Start on"));

    // The merged file holds the source's records, byte for byte, in order;
    // the parts are untouched.
    const WorkerTestKit::ContainerFrames clSourceFrames = WorkerTestKit::FramesOf(clstrSource);
    const WorkerTestKit::ContainerFrames clMerged = WorkerTestKit::FramesOf(clstrOutput);
    QVERIFY(clSourceFrames.ok);
    QVERIFY(clMerged.ok);
    QCOMPARE(clMerged.frames.size(), clSourceFrames.frames.size());
    QCOMPARE(clMerged.frames, clSourceFrames.frames);
    for (const QString &clstrPart : clParts)
        QVERIFY(WorkerTestKit::FramesOf(clstrPart).ok);
}

BVF_TEST_MAIN(TestDialogMerge)
#include "test_dialog_merge.moc"
