// The split worker's questions as the dialog asks them: exact texts, titles,
// buttons and defaults, what each answer does, and renaming the source.
#include "UiTestKit.h"

#include "TestRegistry.h"

#include <QTemporaryDir>

using namespace UiTestKit;
using D = CDlgSplitter;
using Button = QMessageBox::StandardButton;

class TestDialogPrompts : public QObject {
    Q_OBJECT

  private slots:
    void overwriteQuestion_data();
    void overwriteQuestion();
    void stoppedRunAsksNothing();
    void sourceWouldBeOverwritten_data();
    void sourceWouldBeOverwritten();
    void retryOpenForWriting_data();
    void retryOpenForWriting();
    void splitFailureIsShown();
};

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace {

const QByteArray kOld("an older file");

const QString kOverwriteText = QStringLiteral("The file <cell__01.bvf> exists already.\n"
                                              "Overwrite existing file?\n"
                                              "[YES] for overwrite this existing file.\n"
                                              "[YES to ALL] for overwrite all existing files.\n"
                                              "[NO] for skip this existing file.\n"
                                              "[NO to ALL] for skip all existing files.\n"
                                              "[ABORT] for aborting.\n");

// Loads the source and splits it into two parts named NAME__SplitNumber;
// the end code of that split (0 when none came), not of a restart.
int SplitInTwo(CTestDialog &clDialog, const QString &clstrSource) {
    int lEnd = 0;
    QObject::connect(
        &clDialog, &CDlgSplitter::Signal_Splitter_ProgressBar, &clDialog,
        [&lEnd](int lCode) {
            if ((lCode == 2000 || lCode == -1) && lEnd == 0)
                lEnd = lCode;
        },
        Qt::QueuedConnection);
    if (!clDialog.Open())
        return 0;
    clDialog.Choose(clstrSource);
    if (!clDialog.WaitForThreadEnds(1) || clDialog.SourceInfo().name != clstrSource)
        return 0;
    clDialog.Click(D::ByNumberRadio);
    clDialog.SetControlValue(D::SchemeCombo, 1);
    clDialog.Click(D::SplitStartStop);
    if (!clDialog.WaitForThreadEnds(2))
        return 0;
    return lEnd;
}

QStringList TimesOf(const QString &clstrPath) {
    return WorkerTestKit::RecordTimes(clstrPath);
}

} // namespace

void TestDialogPrompts::overwriteQuestion_data() {
    QTest::addColumn<bool>("secondExists");
    QTest::addColumn<QList<Button>>("answers");
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("endCode");
    QTest::addColumn<QString>("first");  // "old", "new" or "none"
    QTest::addColumn<QString>("second"); // likewise

    QTest::newRow("yes") << false << QList<Button>{QMessageBox::Yes} << 1 << 2000 << "new"
                         << "new";
    QTest::newRow("no") << false << QList<Button>{QMessageBox::No} << 1 << 2000 << "old"
                        << "new";
    QTest::newRow("yes to all") << true << QList<Button>{QMessageBox::YesToAll} << 1 << 2000
                                << "new"
                                << "new";
    QTest::newRow("no to all") << true << QList<Button>{QMessageBox::NoToAll} << 1 << 2000 << "old"
                               << "old";
    QTest::newRow("yes, then no") << true << QList<Button>{QMessageBox::Yes, QMessageBox::No} << 2
                                  << 2000 << "new"
                                  << "old";
    QTest::newRow("abort") << false << QList<Button>{QMessageBox::Abort} << 1 << -1 << "old"
                           << "none";
    QTest::newRow("box closed counts as abort")
        << true << QList<Button>{QMessageBox::NoButton} << 1 << -1 << "old"
        << "old";
}

void TestDialogPrompts::overwriteQuestion() {
    QFETCH(bool, secondExists);
    QFETCH(QList<Button>, answers);
    QFETCH(int, questions);
    QFETCH(int, endCode);
    QFETCH(QString, first);
    QFETCH(QString, second);

    QTemporaryDir clDir;
    const QString clstrSource = clDir.filePath(QStringLiteral("cell.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(clstrSource, TenMinuteRecords()));
    const QString clstrFirst = clDir.filePath(QStringLiteral("cell__01.bvf"));
    const QString clstrSecond = clDir.filePath(QStringLiteral("cell__02.bvf"));
    QVERIFY(WorkerTestKit::WriteBytes(clstrFirst, kOld));
    if (secondExists)
        QVERIFY(WorkerTestKit::WriteBytes(clstrSecond, kOld));

    CTestDialog clDialog;
    clDialog.prompts->buttons = answers;
    QCOMPARE(SplitInTwo(clDialog, clstrSource), endCode);

    QList<Prompt> clQuestions;
    for (const Prompt &clPrompt : clDialog.prompts->asked) {
        if (clPrompt.kind != QStringLiteral("file"))
            clQuestions << clPrompt;
    }
    QCOMPARE(clQuestions.size(), questions);
    const Prompt &clFirst = clQuestions[0];
    QCOMPARE(clFirst.kind, QStringLiteral("question"));
    QCOMPARE(clFirst.title, QStringLiteral("Overwrite existing file"));
    QCOMPARE(clFirst.text, kOverwriteText);
    QCOMPARE(clFirst.buttons, QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No |
                                  QMessageBox::NoToAll | QMessageBox::Abort);
    QCOMPARE(clFirst.defaultButton, QMessageBox::Abort);
    if (questions == 2)
        QVERIFY(clQuestions[1].text.startsWith(
            QStringLiteral("The file <cell__02.bvf> exists already.\n")));

    // The two parts together hold the source; which one is where it is.
    const QStringList clAll = TimesOf(clstrSource);
    auto fnState = [](const QString &clstrPath) {
        const QByteArray clBytes = WorkerTestKit::FileBytes(clstrPath);
        if (!QFile::exists(clstrPath))
            return QStringLiteral("none");
        return clBytes == kOld ? QStringLiteral("old") : QStringLiteral("new");
    };
    QCOMPARE(fnState(clstrFirst), first);
    QCOMPARE(fnState(clstrSecond), second);
    if (first == QStringLiteral("new") && second == QStringLiteral("new"))
        QCOMPARE(TimesOf(clstrFirst) + TimesOf(clstrSecond), clAll);
}

void TestDialogPrompts::stoppedRunAsksNothing() {
    QTemporaryDir clDir;
    const QString clstrSource = clDir.filePath(QStringLiteral("cell.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(clstrSource, TenMinuteRecords()));
    QVERIFY(WorkerTestKit::WriteBytes(clDir.filePath(QStringLiteral("cell__01.bvf")), kOld));
    CTestDialog clDialog;
    // The run is stopped after the question was put and before the dialog
    // takes it up: no box appears.
    QObject::connect(
        &clDialog, &CDlgSplitter::Signal_AskForOverwrite, &clDialog,
        [&clDialog](const QString &) { RequestWorkerStop(clDialog.WorkerContext()); },
        Qt::DirectConnection);
    QCOMPARE(SplitInTwo(clDialog, clstrSource), -1);
    QCOMPARE(clDialog.prompts->Kinds(), QStringList{"file:Choose split file"});
    QCOMPARE(WorkerTestKit::FileBytes(clDir.filePath(QStringLiteral("cell__01.bvf"))), kOld);
}

void TestDialogPrompts::sourceWouldBeOverwritten_data() {
    QTest::addColumn<QList<Button>>("answers");
    QTest::addColumn<QStringList>("texts"); // "-" stands for a cancelled input
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<QStringList>("files");

    const QString clstrQuestion = QStringLiteral("question:Overwrite existing file");
    const QString clstrRename = QStringLiteral("text:Rename source file!");
    const QString clstrChooser = QStringLiteral("file:Choose split file");
    QTest::newRow("abort") << QList<Button>{QMessageBox::Abort} << QStringList{}
                           << QStringList{clstrChooser, clstrQuestion}
                           << QStringList{"cell__01.bvf", "taken.bvf"};
    QTest::newRow("box closed") << QList<Button>{QMessageBox::NoButton} << QStringList{}
                                << QStringList{clstrChooser, clstrQuestion}
                                << QStringList{"cell__01.bvf", "taken.bvf"};
    QTest::newRow("rename cancelled") << QList<Button>{QMessageBox::Yes} << QStringList{"-"}
                                      << QStringList{clstrChooser, clstrQuestion, clstrRename}
                                      << QStringList{"cell__01.bvf", "taken.bvf"};
    QTest::newRow("empty name") << QList<Button>{QMessageBox::Yes} << QStringList{""}
                                << QStringList{clstrChooser, clstrQuestion, clstrRename}
                                << QStringList{"cell__01.bvf", "taken.bvf"};
    QTest::newRow("same name in other letters, then a new one")
        << QList<Button>{QMessageBox::Yes}
        << QStringList{"CELL__01.bvf", "cell__01.BVF", "north.bvf"}
        << QStringList{clstrChooser, clstrQuestion, clstrRename, clstrRename, clstrRename}
        << QStringList{"north.bvf", "north__01.bvf", "north__02.bvf", "taken.bvf"};
    QTest::newRow("onto an existing name")
        << QList<Button>{QMessageBox::Yes} << QStringList{"taken.bvf"}
        << QStringList{clstrChooser, clstrQuestion, clstrRename, "critical:Error"}
        << QStringList{"cell__01.bvf", "taken.bvf"};
}

void TestDialogPrompts::sourceWouldBeOverwritten() {
    QFETCH(QList<Button>, answers);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, kinds);
    QFETCH(QStringList, files);

    // The first part of cell__01.bvf, named NAME__SplitNumber, is cell__01.bvf itself.
    QTemporaryDir clDir;
    const QString clstrSource = clDir.filePath(QStringLiteral("cell__01.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(clstrSource, TenMinuteRecords()));
    const QStringList clSourceTimes = TimesOf(clstrSource);
    QVERIFY(WorkerTestKit::WriteBytes(clDir.filePath(QStringLiteral("taken.bvf")), kOld));

    CTestDialog clDialog;
    clDialog.prompts->buttons = answers;
    for (const QString &clstrText : texts)
        clDialog.prompts->texts << (clstrText == QStringLiteral("-")
                                        ? std::nullopt
                                        : std::optional<QString>(clstrText));
    QCOMPARE(SplitInTwo(clDialog, clstrSource), -1);
    const bool bRenamed = files.contains(QStringLiteral("north.bvf"));
    // The restarted split ends with its own end-of-run step.
    if (bRenamed)
        QVERIFY(clDialog.WaitForThreadEnds(3));
    else
        QTest::qWait(250);

    QCOMPARE(clDialog.prompts->Kinds(), kinds);
    const Prompt &clQuestion = clDialog.prompts->asked[1];
    QCOMPARE(clQuestion.text, QStringLiteral("The SOURCE file <cell__01.bvf>\n"
                                             "would be overwritten by a splitted file!\n"
                                             "Do you want rename the source file and restart?\n"
                                             "[YES] for renaming.\n"
                                             "[ABORT] for aborting."));
    QCOMPARE(clQuestion.buttons, QMessageBox::Yes | QMessageBox::Abort);
    QCOMPARE(clQuestion.defaultButton, QMessageBox::Abort);
    for (qsizetype i = 2; i < clDialog.prompts->asked.size(); ++i) {
        const Prompt &clPrompt = clDialog.prompts->asked[i];
        if (clPrompt.kind == QStringLiteral("text")) {
            QCOMPARE(clPrompt.text, QStringLiteral("Rename source file for avoiding overwriting:"));
            // Asked again with the same initial text.
            QCOMPARE(clPrompt.initial, QStringLiteral("cell__01.bvf"));
        } else {
            QCOMPARE(clPrompt.text, QStringLiteral("Can not rename source file\n<cell__01.bvf>\n"
                                                   "to\n<taken.bvf>"));
        }
    }

    QCOMPARE(WorkerTestKit::FilesIn(clDir.path()), files);
    QCOMPARE(WorkerTestKit::FileBytes(clDir.filePath(QStringLiteral("taken.bvf"))), kOld);
    if (bRenamed) {
        const QString clstrRenamed = clDir.filePath(QStringLiteral("north.bvf"));
        QCOMPARE(clDialog.ControlText(D::SourcePath), clstrRenamed);
        QCOMPARE(clDialog.SourceInfo().name, clstrRenamed);
        QCOMPARE(TimesOf(clstrRenamed), clSourceTimes);
        QCOMPARE(TimesOf(clDir.filePath(QStringLiteral("north__01.bvf"))) +
                     TimesOf(clDir.filePath(QStringLiteral("north__02.bvf"))),
                 clSourceTimes);
    } else {
        QCOMPARE(clDialog.ControlText(D::SourcePath), clstrSource);
        QCOMPARE(TimesOf(clstrSource), clSourceTimes);
    }
    QVERIFY(!WorkerHeld(clDialog.WorkerContext()));
}

void TestDialogPrompts::retryOpenForWriting_data() {
    QTest::addColumn<Button>("retryAnswer");
    QTest::addColumn<int>("endCode");
    QTest::newRow("retry after the way is clear") << QMessageBox::Retry << 2000;
    QTest::newRow("abort") << QMessageBox::Abort << -1;
    QTest::newRow("box closed") << QMessageBox::NoButton << -1;
}

void TestDialogPrompts::retryOpenForWriting() {
    QFETCH(Button, retryAnswer);
    QFETCH(int, endCode);

    QTemporaryDir clDir;
    const QString clstrSource = clDir.filePath(QStringLiteral("cell.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(clstrSource, TenMinuteRecords()));
    // A folder standing at the first part's path: it exists, and it cannot be
    // opened for writing.
    const QString clstrFirst = clDir.filePath(QStringLiteral("cell__01.bvf"));
    QVERIFY(QDir().mkpath(clstrFirst));

    CTestDialog clDialog;
    clDialog.prompts->buttons = {QMessageBox::Yes, retryAnswer};
    clDialog.prompts->onQuestion = [&clstrFirst](const Prompt &clPrompt) {
        if (clPrompt.title == QStringLiteral("Error opening file for writing"))
            QDir(clstrFirst).removeRecursively();
    };
    QCOMPARE(SplitInTwo(clDialog, clstrSource), endCode);

    QCOMPARE(clDialog.prompts->Kinds(),
             (QStringList{"file:Choose split file", "question:Overwrite existing file",
                          "question:Error opening file for writing"}));
    const Prompt &clRetry = clDialog.prompts->asked[2];
    QCOMPARE(clRetry.text, QStringLiteral("The file <cell__01.bvf>\n"
                                          "can not opening for writing!\n"
                                          "Do you want to retry?\n"
                                          "[RETRY] for retry.\n"
                                          "[ABORT] for aborting."));
    QCOMPARE(clRetry.buttons, QMessageBox::Retry | QMessageBox::Abort);
    QCOMPARE(clRetry.defaultButton, QMessageBox::Retry);
    if (endCode == 2000) {
        QCOMPARE(TimesOf(clstrFirst) + TimesOf(clDir.filePath(QStringLiteral("cell__02.bvf"))),
                 TimesOf(clstrSource));
    } else {
        QVERIFY(!QFile::exists(clDir.filePath(QStringLiteral("cell__02.bvf"))));
    }
}

void TestDialogPrompts::splitFailureIsShown() {
    QTemporaryDir clDir;
    const QString clstrSource = clDir.filePath(QStringLiteral("cell.bvf"));
    QVERIFY(WorkerTestKit::WriteRecording(clstrSource, TenMinuteRecords()));
    CTestDialog clDialog;
    int lEnd = 0;
    QStringList clPromptsAtEnd;
    QObject::connect(
        &clDialog, &CDlgSplitter::Signal_Splitter_ProgressBar, &clDialog,
        [&](int lCode) {
            if (lCode == -1 || lCode == 2000) {
                lEnd = lCode;
                clPromptsAtEnd = clDialog.prompts->Kinds();
            }
        },
        Qt::QueuedConnection);
    QVERIFY(clDialog.Open());
    clDialog.Choose(clstrSource);
    QVERIFY(clDialog.WaitForThreadEnds(1));
    // The source goes away after its scan: the split fails, and says why.
    QVERIFY(QFile::remove(clstrSource));
    clDialog.Click(D::SplitStartStop);
    QVERIFY(clDialog.WaitForThreadEnds(2));
    QCOMPARE(lEnd, -1);
    // The box is shown while the end code is taken, before the end-of-run step.
    QCOMPARE(clPromptsAtEnd, (QStringList{"file:Choose split file", "warning:Error"}));
    QCOMPARE(clDialog.prompts->asked[1].text,
             QStringLiteral("<%1>\nCan not open file or unsupported filetype!").arg(clstrSource));
    // The tab keeps its source for another try.
    QCOMPARE(clDialog.SourceInfo().name, clstrSource);
    QVERIFY(clDialog.Enabled(D::SplitStartStop));
}

BVF_TEST_MAIN(TestDialogPrompts)
#include "test_dialog_prompts.moc"
