// The real dialog driven as a user drives it. Each row: the files of a fresh
// folder (%D), the command line, the script, and the log: end codes with the
// tab's state, boxes by name (exact texts in kBoxes), what "show" reads, and
// after "|" the files made or changed, whose parts hold the source's records.
#include "UiTestKit.h"

#include "MergeTimeline.h"
#include "TestRegistry.h"
#include "TimelineStrip.h"
#include "WorkerCuts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDropEvent>
#include <QMetaEnum>
#include <QMimeData>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTreeView>
#include <QUrl>

using namespace UiTestKit;
using namespace WorkerTestKit;
using D = CDlgSplitter;
using Button = QMessageBox::StandardButton;

namespace {

// The controls by the names the scripts use, in the order of their identifiers.
const QStringList kControls = {
    "srclabel", "src",    "choose", "schemelabel", "scheme", "utc",    "fixedlabel", "fixed",
    "sync",     "time",   "length", "unit",        "align",  "period", "fromlabel",  "from",
    "tolabel",  "to",     "number", "count",       "size",   "freq",   "freqedit",   "bar",
    "start",    "mlabel", "view",   "delall",      "delsel", "add",    "merge",      "mbar"};

// Every box the rows meet, by the name the log gives it; %1 and %2 stand for
// names, which the log shows. Input and file dialogs log their initial text.
// Questions state their buttons and default.
struct Box {
    const char *name, *kind, *title, *text;
    QMessageBox::StandardButtons buttons = {};
    Button def = QMessageBox::NoButton;
};
const Box kBoxes[] = {
    {"overwrite", "question", "Overwrite existing file",
     "The file <%1> exists already.\nOverwrite existing file?\n"
     "[YES] for overwrite this existing file.\n[YES to ALL] for overwrite all existing files.\n"
     "[NO] for skip this existing file.\n[NO to ALL] for skip all existing files.\n"
     "[ABORT] for aborting.\n",
     QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::NoToAll |
         QMessageBox::Abort,
     QMessageBox::Abort},
    {"source", "question", "Overwrite existing file",
     "The SOURCE file <%1>\nwould be overwritten by a splitted file!\n"
     "Do you want rename the source file and restart?\n[YES] for renaming.\n[ABORT] for aborting.",
     QMessageBox::Yes | QMessageBox::Abort, QMessageBox::Abort},
    {"rename", "text", "Rename source file!", "Rename source file for avoiding overwriting:"},
    {"unrenamed", "critical", "Error", "Can not rename source file\n<%1>\nto\n<%2>"},
    {"retry", "question", "Error opening file for writing",
     "The file <%1>\ncan not opening for writing!\nDo you want to retry?\n"
     "[RETRY] for retry.\n[ABORT] for aborting.",
     QMessageBox::Retry | QMessageBox::Abort, QMessageBox::Retry},
    {"unreadable", "warning", "Error", "<%1>\nCan not open file or unsupported filetype!"},
    {"single", "warning", "Error", "%1 only one file, need at least two!"},
    {"nosplit", "warning", "Error",
     "The command line does not describe a split; nothing was started."},
    {"same", "warning", "Destination file error",
     "Can not merge from and write into the same file!\nChoose an other destination name."},
    {"choose", "file", "Choose split file",
     "Splitfiles (*.bvf *.tmw *.lan);;BVF file (*.bvf);;All (*.*)"},
    {"save", "save", "Choose destination file", "BVF file (*.bvf);;All (*.*)"},
};

class CSession {
  public:
    CSession(const QString &clstrFolder, const QStringList &clArguments)
        : m_clstrFolder(clstrFolder), m_clDialog(clArguments) {
        for (const auto pSignal :
             {&CDlgSplitter::Signal_Splitter_ProgressBar, &CDlgSplitter::Signal_Join_ProgressBar})
            QObject::connect(
                &m_clDialog, pSignal, &m_clDialog,
                [this, pSignal](int lCode) { Progress(pSignal, lCode); }, Qt::QueuedConnection);
        m_clDialog.prompts->onAsk = [this](const Prompt &clPrompt) {
            const QString clstrName = BoxName(clPrompt);
            if (!m_bQuiet || !clstrName.startsWith("choose("))
                log << clstrName;
        };
    }

    bool Run(const QString &clstrScript) {
        if (!m_clDialog.Open())
            return false;
        // "halves": two parts by number, named NAME__SplitNumber.
        const QString clstrSteps =
            QString(clstrScript).replace("halves", "click number; set scheme 1; click start; wait");
        for (QString clstrStep : clstrSteps.split(u';', Qt::SkipEmptyParts)) {
            clstrStep = clstrStep.trimmed();
            if (!Step(clstrStep.section(u' ', 0, 0), clstrStep.section(u' ', 1))) {
                qWarning("step failed: %s", qPrintable(clstrStep));
                return false;
            }
        }
        return true;
    }

    // The log with the run counts, exit status and quit when they say more.
    QString Log() {
        QTest::qWait(200); // nothing more may come
        const int lEnds = int(m_clDialog.threadEnds->count());
        if (lEnds != m_lEndCodes)
            log << QStringLiteral("runs=%1 codes=%2").arg(lEnds).arg(m_lEndCodes);
        if (WorkerHeld(m_clDialog.WorkerContext()))
            log << QStringLiteral("held");
        if (m_clDialog.ExitStatus() != 0)
            log << QStringLiteral("exit=%1").arg(m_clDialog.ExitStatus());
        if (m_clDialog.QuitScheduled())
            log << QStringLiteral("quit");
        return Shorten(log.join(QStringLiteral("; ")));
    }

    QStringList log;

  private:
    QString Shorten(QString clstrText) const {
        const QString clstrDesktop =
            QStandardPaths::standardLocations(QStandardPaths::DesktopLocation).value(0) + u'/';
        return clstrText.replace(clstrDesktop, QStringLiteral("~/"))
            .replace(m_clstrFolder, QStringLiteral("%D"));
    }
    QString Path(const QString &clstrName) const {
        return clstrName.startsWith(u'/') ? clstrName : m_clstrFolder + u'/' + clstrName;
    }
    int Id(const QString &clstrName) const {
        const int lId = int(kControls.indexOf(clstrName));
        if (lId < 0)
            qWarning("no control %s", qPrintable(clstrName));
        return lId;
    }
    QString BoxName(const Prompt &p) const {
        for (const Box &b : kBoxes) {
            QString clstrPattern = QRegularExpression::escape(QString::fromUtf8(b.text));
            clstrPattern.replace(QStringLiteral("\\%1"), QStringLiteral("(.*)"))
                .replace(QStringLiteral("\\%2"), QStringLiteral("(.*)"));
            const QRegularExpressionMatch m =
                QRegularExpression(QRegularExpression::anchoredPattern(clstrPattern),
                                   QRegularExpression::DotMatchesEverythingOption)
                    .match(p.text);
            if (p.kind != b.kind || p.title != b.title || !m.hasMatch() ||
                (p.kind == "question" && (p.buttons != b.buttons || p.defaultButton != b.def)))
                continue;
            QStringList clNames = m.capturedTexts().mid(1);
            if (!p.initial.isEmpty())
                clNames << p.initial;
            return b.name + (clNames.isEmpty() ? QString() : '(' + clNames.join(u',') + ')');
        }
        return QStringLiteral("unknown %1:%2:%3").arg(p.kind, p.title, p.text);
    }
    // A run shows the bar and Stop, with the list buttons off; outside one the
    // bar hides and the button reads Start. Logged: what differs, a disabled
    // Start or split-type radios.
    QString State(bool bSplit, bool bRun) const {
        const CTestDialog &d = m_clDialog;
        QStringList f;
        const int lBar = bSplit ? D::SplitProgress : D::MergeProgress;
        const int lButton = bSplit ? D::SplitStartStop : D::MergeStartStop;
        if (d.Hidden(lBar) == bRun)
            f << (bRun ? "bar-hidden" : "bar-shown");
        if (d.ControlText(lButton) != (bRun ? "Stop" : "Start"))
            f << "caption=" + d.ControlText(lButton);
        const bool bList = d.Enabled(D::DeleteAllButton) && d.Enabled(D::DeleteSelectedButton) &&
                           d.Enabled(D::AddFilesButton);
        if (!bSplit && bList == bRun)
            f << (bRun ? "list-on" : "list-off");
        if (bSplit && !d.Enabled(D::SplitStartStop))
            f << "start-off";
        if (bSplit && !d.Enabled(D::ByTimeRadio))
            f << "radios-off";
        return f.isEmpty() ? QString() : ' ' + f.join(u' ');
    }
    // Logged after the dialog has taken the code: this connection comes second.
    void Progress(void (CDlgSplitter::*pSignal)(int), int lCode) {
        if (lCode > 0 && lCode < 1000)
            return;
        const bool bSplit = pSignal == &CDlgSplitter::Signal_Splitter_ProgressBar;
        m_lEndCodes += lCode != 0;
        if (!m_bQuiet)
            log << (bSplit ? "" : "m") + QString::number(lCode) + State(bSplit, lCode == 0);
    }
    QString Show(const QString &clstrName) const {
        const int lId = Id(clstrName);
        QWidget *pWidget = m_clDialog.ControlWidget(lId);
        QString clstrValue = m_clDialog.ControlText(lId);
        if (auto *pEdit = qobject_cast<QDateTimeEdit *>(pWidget)) {
            clstrValue = pEdit->text();
            if (pEdit->timeSpec() == Qt::LocalTime && lId != D::LengthEdit)
                clstrValue += QStringLiteral(" local");
        } else if (qobject_cast<QCheckBox *>(pWidget) || qobject_cast<QRadioButton *>(pWidget)) {
            clstrValue = m_clDialog.Checked(lId) ? "yes" : "no";
        }
        return clstrName + u'=' + clstrValue + (m_clDialog.Enabled(lId) ? "" : " off") +
               (m_clDialog.Hidden(lId) ? " hidden" : "");
    }
    // An entry as the log shows it: "/" a folder, "=BYTES" a small file, else
    // the count of its records.
    QString What(const QString &clstrName) const {
        const QByteArray clBytes = FileBytes(Path(clstrName));
        return QFileInfo(Path(clstrName)).isDir() ? QStringLiteral("/")
               : clBytes.size() < 100             ? '=' + clBytes
                                      : QString::number(RecordTimes(Path(clstrName)).size());
    }
    // What the folder holds that the setup did not put there as it is.
    QString Files() const {
        QStringList clEntries, clTimes;
        for (const QString &clstrName : FilesIn(m_clstrFolder)) {
            const QString clstrWhat = What(clstrName);
            if (m_clSetup.value(clstrName) == clstrWhat)
                continue;
            clEntries << clstrName + (clstrWhat.startsWith(u'=') ? "" : ":") + clstrWhat;
            // A file with all the source's records is the source, renamed.
            const QStringList clRecords = RecordTimes(Path(clstrName));
            if (!clstrWhat.startsWith(u'=') && clRecords != m_clSourceTimes)
                clTimes << clRecords;
        }
        for (auto it = m_clSetup.cbegin(); it != m_clSetup.cend(); ++it)
            if (!QFileInfo::exists(Path(it.key())))
                clEntries << '-' + it.key();
        if (!m_clSourceTimes.join(u' ').contains(clTimes.join(u' ')))
            clEntries << QStringLiteral("parts out of order");
        return clEntries.join(u' ');
    }

  public:
    // Places the row's files: NAME a recording, NAME=TEXT those bytes, NAME/ a
    // folder.
    bool Setup(const QString &clstrFiles) {
        for (const QString &clstrToken : clstrFiles.split(u' ', Qt::SkipEmptyParts)) {
            const QString clstrName = clstrToken.section(u'=', 0, 0);
            const QString clstrPath = Path(clstrName.chopped(clstrName.endsWith(u'/') ? 1 : 0));
            const bool bPlain = !clstrName.endsWith(u'/') && !clstrToken.contains(u'=');
            if (!(clstrName.endsWith(u'/') ? QDir().mkpath(clstrPath)
                  : !bPlain ? WriteBytes(clstrPath, clstrToken.section(u'=', 1).toUtf8())
                            : WriteRecording(clstrPath, TenMinuteRecords())))
                return false;
            if (m_clSourceTimes.isEmpty() && bPlain)
                m_clSourceTimes = RecordTimes(clstrPath);
        }
        for (const QString &clstrName : FilesIn(m_clstrFolder))
            m_clSetup[clstrName] = What(clstrName);
        return true;
    }
    QString Outcome() { return Log() + QStringLiteral(" | ") + Shorten(Files()); }

    bool Step(const QString &v, const QString &a) {
        CTestDialog &d = m_clDialog;
        const QStringList w = a.split(u' ');
        if (v == "choose") { // the file dialog of "..." answers with the file
            if (a != "-")
                d.prompts->files << Path(a);
            d.Click(D::ChooseFileButton);
        } else if (v == "load") { // chosen and scanned, its codes and chooser not logged
            m_bQuiet = true;
            const bool bOk = Step("choose", a) && Step("wait", QString());
            m_bQuiet = false;
            return bOk;
        } else if (v == "wait") { // until the next run (or run N) has ended
            return d.WaitForThreadEnds(a.isEmpty() ? int(d.threadEnds->count()) + 1 : a.toInt());
        } else if (v == "click") {
            d.Click(Id(a));
        } else if (v == "set") {
            d.SetControlValue(Id(w[0]), w[1].toLongLong());
        } else if (v == "show") {
            for (const QString &clstrName : a.split(u','))
                log << Show(clstrName);
        } else if (v == "state") {
            log << "now" + State(true, false) + " /" + State(false, false);
        } else if (v == "tab") {
            d.findChild<QTabWidget *>()->setCurrentIndex(a.toInt());
        } else if (v == "answer") {
            for (const QString &clstrAnswer : a.split(u','))
                d.prompts->buttons
                    << Button(QMetaEnum::fromType<QMessageBox::StandardButtons>().keyToValue(
                           qPrintable(clstrAnswer)));
        } else if (v == "input") {
            d.prompts->texts << a;
        } else if (v == "saves") {
            for (const QString &clstrName : a.split(u','))
                d.prompts->saveFiles << Path(clstrName);
        } else if (v == "rm") {
            return QFile::remove(Path(a));
        } else if (v == "drop") { // the entry of a drag, and its drop
            QMimeData clData;
            QList<QUrl> clUrls;
            for (const QString &clstrName : a.split(u','))
                clUrls << QUrl::fromLocalFile(Path(clstrName));
            clData.setUrls(clUrls);
            QDragEnterEvent clEnter(QPoint(5, 5), Qt::CopyAction, &clData, Qt::LeftButton,
                                    Qt::NoModifier);
            clEnter.setAccepted(false);
            QApplication::sendEvent(&d, &clEnter);
            QDropEvent clDrop(QPointF(5, 5), Qt::CopyAction, &clData, Qt::LeftButton,
                              Qt::NoModifier);
            return clEnter.isAccepted() && QApplication::sendEvent(&d, &clDrop);
        } else if (v == "insert") { // NAME MAGIC START into the merge list
            return d.MergeList().Insert({kJoinFileOpened | kJoinTimesFromRecord,
                                         w[1].toULongLong(nullptr, 16), w[0], w[2].toLongLong(),
                                         w[2].toLongLong() + 60, 2, 1000, std::nullopt, 0});
        } else if (v == "list") {
            log << "list=" + Shorten(d.MergeList().FileNames().join(u' '));
        } else if (v == "same") { // A holds B's records, byte for byte
            const auto a1 = FramesOf(Path(w[0]));
            const auto b1 = FramesOf(Path(w[1]));
            log << w[0] + (a1.ok && b1.ok && a1.frames == b1.frames ? "==" : "!=") + w[1];
        } else {
            return false;
        }
        return true;
    }

    QString m_clstrFolder;
    CTestDialog m_clDialog;
    QMap<QString, QString> m_clSetup; // what each entry held before the session
    QStringList m_clSourceTimes;      // of the first recording placed
    int m_lEndCodes = 0;
    bool m_bQuiet = false;
};

} // namespace

class TestDialog : public QObject {
    Q_OBJECT

  private slots:
    void sessions_data();
    void sessions();
    void splitTimeline();
    void mergeTimeline();
};

void TestDialog::sessions_data() {
    QTest::addColumn<QString>("files");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("outcome");
    auto row = [](const char *pRow, const char *pFiles, const QStringList &clArguments,
                  const char *pScript, const char *pOutcome) {
        QTest::newRow(pRow) << pFiles << clArguments << pScript << pOutcome;
    };

    row("load, split, a broken file, a cancelled chooser, a good file", "cell.bvf broken.bvf=x", {},
        "state; choose cell.bvf; wait; halves; choose broken.bvf; wait; state; show scheme,sync; "
        "choose -; show src; choose cell.bvf; wait; state",
        "now start-off radios-off /; choose(~/); 0 radios-off; 1000; 0; 2000; choose(%D/cell.bvf); "
        "0; unreadable(%D/broken.bvf); -1 start-off radios-off; now start-off radios-off /; "
        "scheme=NAME__SplitNumber.bvf off; sync=no hidden; "
        "choose(%D/broken.bvf); src=%D/broken.bvf; choose(%D/broken.bvf); 0 radios-off; 1000; "
        "now / | cell__01.bvf:1 cell__02.bvf:17");
    const char *pOlds = "cell.bvf cell__01.bvf=old cell__02.bvf=old";
    row("overwrite: yes to all", pOlds, {}, "answer YesToAll; load cell.bvf; halves",
        "0; overwrite(cell__01.bvf); 2000 | cell__01.bvf:1 cell__02.bvf:17");
    row("overwrite: box closed counts as abort; yes, then no", pOlds, {},
        "answer NoButton,Yes,No; load cell.bvf; halves; halves",
        "0; overwrite(cell__01.bvf); -1; 0; overwrite(cell__01.bvf); overwrite(cell__02.bvf); 2000 "
        "| "
        "cell__01.bvf:1");
    // The first part of cell__01.bvf, named NAME__SplitNumber, is cell__01.bvf.
    const char *pSource = "cell__01.bvf taken.bvf=old";
    row("source: onto an existing name", pSource, {},
        "answer Yes; input taken.bvf; load cell__01.bvf; halves; show src",
        "0; source(cell__01.bvf); rename(cell__01.bvf); unrenamed(cell__01.bvf,taken.bvf); -1; "
        "src=%D/cell__01.bvf | ");
    // A folder at the first part's path: it exists and cannot be written.
    const char *pFolder = "cell.bvf cell__01.bvf/";
    row("retry asks again", pFolder, {}, "answer Yes,Retry,Abort; load cell.bvf; halves",
        "0; overwrite(cell__01.bvf); retry(cell__01.bvf); retry(cell__01.bvf); -1 | ");
    // The box comes with the end code; the tab keeps its source.
    row("a failed split says why", "cell.bvf", {},
        "load cell.bvf; rm cell.bvf; click start; wait; show src,start",
        "0; unreadable(%D/cell.bvf); -1; src=%D/cell.bvf; start=Start | -cell.bvf");

    // The seconds count: 10:35:01 to 11:40:00 inclusive.
    row("a period with seconds, swapped, then quit", "cell.bvf",
        {"-fs=%D/cell.bvf", "-st=2", "-tps=2024-03-07 11:40:00", "-tpe=2024-03-07 10:35:01",
         "-fdu=7", "-start=2"},
        "wait 2; show src,scheme,utc,from,to,fixed",
        "0 radios-off; 1000; 0; 2000; src=%D/cell.bvf; scheme=date+time__NAME.bvf; utc=yes; "
        "from=2024-03-07 10:35:01; to=2024-03-07 11:40:00; fixed= hidden; quit | "
        "2024-03-07_10.35.01__cell.bvf:7");
    row("-start=2 without a request", "cell.bvf", {"-st=1", "-tu=01:00", "-start=2"},
        "show src,scheme,utc,length,align",
        "nosplit; src=; scheme=NAME__date+time.bvf; utc=no; length=01:00 off; align=no off; "
        "exit=1; quit | ");
    row("Start checks the groups", "", {},
        "click merge; insert /m/one.bvf 0x1f 100; click merge; insert /m/two.bvf 0x1f 200; insert "
        "/m/other.bvf 0xabcdef0123456789 100; click merge; list; state",
        "single(0x000000000000001f); single(0xabcdef0123456789); list=/m/one.bvf /m/two.bvf "
        "/m/other.bvf; now start-off radios-off / | ");
    // Dropped in reverse order; a ".lan" is not for merging. A source, also
    // through "./", is refused as the destination.
    row("split, drop the parts, merge them", "cell.bvf other.lan", {},
        "load cell.bvf; click number; set scheme 1; set count 4; click start; wait; tab 1; drop "
        "cell__04.bvf,cell__03.bvf,other.lan,cell__02.bvf,cell__01.bvf; wait; list; saves "
        "cell__03.bvf,./cell__01.bvf,merged.bvf; click merge; wait; state; same merged.bvf "
        "cell.bvf",
        "0; 2000; m0; m1000; list=%D/cell__01.bvf %D/cell__02.bvf %D/cell__03.bvf %D/cell__04.bvf; "
        "m0; save(%D/cell__01_Joined.bvf); same; save(%D/cell__01_Joined.bvf); same; "
        "save(%D/cell__01_Joined.bvf); m1000; now /; merged.bvf==cell.bvf | cell__01.bvf:1 "
        "cell__02.bvf:1 cell__03.bvf:3 cell__04.bvf:13 merged.bvf:18");
}

void TestDialog::sessions() {
    QFETCH(QString, files);
    QFETCH(QStringList, arguments);
    QFETCH(QString, script);
    QFETCH(QString, outcome);
    QTemporaryDir clDir;
    CSession clSession(clDir.path(), QStringList(arguments).replaceInStrings("%D", clDir.path()));
    QVERIFY(clSession.Setup(files));
    const bool bRan = clSession.Run(script);
    const QString clstrOutcome = clSession.Outcome();
    QVERIFY2(bRan, qPrintable(clstrOutcome));
    QCOMPARE(clstrOutcome, outcome);
}

// A recording with a 20-minute gap, in the en_US locale: the strip shades the
// gap and draws one line per part the independent cut model starts, and the
// lines follow the part length.
void TestDialog::splitTimeline() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const auto clRestore = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
    QTemporaryDir clDir;
    QList<WorkerTestKit::RecordSpec> clSpecs;
    QList<WorkerTestKit::CutInput> clInputs;
    for (int64_t t = At("10:00:00"); t < At("11:40:00"); t += t == At("10:39:30") ? 1230 : 30) {
        clSpecs << Tetra(t);
        clInputs << WorkerTestKit::CutInput{t, 0};
    }
    const QString clstrPath = clDir.filePath("gap.bvf");
    QVERIFY(WorkerTestKit::WriteRecording(clstrPath, clSpecs));
    CTestDialog d;
    QVERIFY(d.Open());
    QCOMPARE(d.ControlAs<QTimeEdit>(D::LengthEdit)->text(), "01:00");
    auto *pStrip = d.findChild<CTimelineStrip *>("SplitTimeline");
    QVERIFY(pStrip != nullptr && pStrip->IsEmpty());
    d.prompts->files << clstrPath;
    d.Click(D::ChooseFileButton);
    QVERIFY(d.WaitForThreadEnds(1));
    QVERIFY(!pStrip->IsEmpty());
    QCOMPARE(pStrip->GapSpans(),
             (QList<QPair<int, int>>{{pStrip->XOf(At("10:39:30")), pStrip->XOf(At("11:00:00"))}}));
    for (const int lMinutes : {30, 20, 45}) {
        d.ControlAs<QTimeEdit>(D::LengthEdit)->setTime(QTime(0, lMinutes));
        StructSplitSettings clSettings;
        clSettings.partLength = lMinutes * 60;
        QList<int> clExpected;
        const QList<WorkerTestKit::CutStep> clSteps =
            WorkerTestKit::ModelCuts(clInputs, clSettings, At("10:00:00"), 0);
        for (const WorkerTestKit::CutStep &clStep : clSteps)
            if (clStep.action == 'N')
                clExpected << pStrip->XOf(clStep.start);
        QCOMPARE(pStrip->CutLines(), clExpected);
        const QImage clImage = pStrip->grab().toImage();
        const int lMiddle = pStrip->PlotRect().center().y();
        for (int lX : clExpected)
            QCOMPARE(clImage.pixelColor(lX, lMiddle), CTimelineStrip::CutColour());
        const QPair<int, int> clGap = pStrip->GapSpans().first();
        QCOMPARE(clImage.pixelColor((clGap.first + clGap.second) / 2, lMiddle),
                 CTimelineStrip::GapColour());
    }
    d.SetControlValue(D::UtcCheck, 1);
    QCOMPARE(pStrip->TipAt(pStrip->CutLines().first()),
             "11:00:00: part 2 starts, gap__2024-03-07_11.00.00.bvf");
    QCOMPARE(pStrip->TipAt(pStrip->XOf(At("10:10:00")) + 1), "2024-03-07 10:10: 2 records");
}

// One recording of three files: a gap and an overlap shaded in the tree's
// colours, and a click on a bar selects its file in the tree.
void TestDialog::mergeTimeline() {
    CTestDialog d;
    QVERIFY(d.Open());
    const auto clEntry = [](const char *pName, const char *pFrom, const char *pTo,
                            uint64_t lMagic) {
        return StructJoinFileData{kJoinFileOpened, lMagic, pName, At(pFrom), At(pTo), 1, 10,
                                  std::nullopt,    0};
    };
    for (const StructJoinFileData &clAdd : {clEntry("/m/a.bvf", "10:00:00", "10:30:00", 7),
                                            clEntry("/m/b.bvf", "10:40:00", "11:00:00", 7),
                                            clEntry("/m/c.bvf", "10:50:00", "11:10:00", 7),
                                            clEntry("/m/x.bvf", "09:00:00", "09:10:00", 9)})
        QVERIFY(d.MergeList().Insert(clAdd));
    emit d.Signal_Join_Fill_List(QString());
    QTest::qWait(50);
    auto *pLine = d.findChild<CMergeTimeline *>("MergeTimeline");
    QVERIFY(pLine != nullptr);
    QCOMPARE(pLine->FileCount(), 3);
    QCOMPARE(pLine->GapSpans().size(), 1);
    QCOMPARE(pLine->OverlapSpans().size(), 1);
    const QImage clImage = pLine->grab().toImage();
    const QPair<int, int> clGap = pLine->GapSpans().first();
    const QPair<int, int> clOverlap = pLine->OverlapSpans().first();
    QCOMPARE(clImage.pixelColor((clGap.first + clGap.second) / 2, 2 + pLine->height() / 2),
             CModelJoinFiles::MissingColour());
    QCOMPARE(clImage.pixelColor((clOverlap.first + clOverlap.second) / 2, pLine->height() - 5),
             CModelJoinFiles::OverlapColour());
    QTest::mouseClick(pLine, Qt::LeftButton, {}, pLine->BarRect(1).center());
    const QModelIndexList clSelected =
        d.ControlAs<QTreeView>(D::MergeView)->selectionModel()->selectedRows(2);
    QCOMPARE(clSelected.size(), 1);
    QCOMPARE(clSelected.first().data().toString(), "/m/b.bvf");
}

BVF_TEST_MAIN(TestDialog)
#include "test_dialog.moc"
