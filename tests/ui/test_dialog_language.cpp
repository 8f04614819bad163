// The dialog follows the system language. The system locale is read from the
// environment when the application starts, so each language is tried in a
// child process: this executable, which installs the translations as the
// program does, opens the dialog and prints what it shows, or the program.
#include "AppTranslation.h"
#include "TestRegistry.h"
#include "UiTestKit.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

using namespace UiTestKit;

namespace {

constexpr const char *kChildOption = "--print-dialog-texts";

// The child: the program's catalogues lie in "languages" beside this
// executable, as beside the program; Qt's own come from the Qt installation.
int PrintDialogTexts(int argc, char **argv) {
    CAppTranslation clTranslation;
    QApplication clApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("BrennovarstikSplitter"));
    clTranslation.InitTranslation(&clApplication);

    QJsonObject clTexts;
    {
        CTestDialog clDialog;
        if (!clDialog.Open())
            return 2;
        const auto *pTabs = clDialog.findChild<QTabWidget *>();
        clTexts[QStringLiteral("splitTab")] = pTabs->tabText(0);
        clTexts[QStringLiteral("mergeTab")] = pTabs->tabText(1);
        clTexts[QStringLiteral("sourceLabel")] = clDialog.ControlText(CDlgSplitter::SourceLabel);
        clTexts[QStringLiteral("byPeriod")] = clDialog.ControlText(CDlgSplitter::ByPeriodRadio);
        clTexts[QStringLiteral("deleteAll")] = clDialog.ControlText(CDlgSplitter::DeleteAllButton);
        clTexts[QStringLiteral("startTip")] =
            clDialog.Get<QWidget>(CDlgSplitter::SplitStartStop)->toolTip();
        clTexts[QStringLiteral("fileMagic")] =
            clDialog.MergeModel().headerData(0, Qt::Horizontal).toString();
        // A scan that found no source: the warning box.
        clDialog.Slot_Splitter_ProgressBar(-1);
        if (clDialog.prompts->asked.isEmpty())
            return 3;
        clTexts[QStringLiteral("promptTitle")] = clDialog.prompts->asked.constFirst().title;
        clTexts[QStringLiteral("promptText")] = clDialog.prompts->asked.constFirst().text;
        QMessageBox clBox;
        clBox.setStandardButtons(QMessageBox::Yes | QMessageBox::Abort);
        clTexts[QStringLiteral("yesButton")] = clBox.button(QMessageBox::Yes)->text();
        clTexts[QStringLiteral("language")] = clTranslation.CurrentLanguage();
    }
    clTranslation.RemoveTranslators();
    std::fputs(QJsonDocument(clTexts).toJson(QJsonDocument::Compact).constData(), stdout);
    return 0;
}

struct ChildRun {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program under the given locale variables, in an empty current folder
// so that only the catalogues beside the program count.
ChildRun RunUnderLocale(const QString &clstrProgram, const QStringList &clArguments,
                        const QString &clstrLang, const QString &clstrAll) {
    QTemporaryDir clFolder;
    QProcessEnvironment clEnv = QProcessEnvironment::systemEnvironment();
    for (const char *pName : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        clEnv.remove(QString::fromLatin1(pName));
    clEnv.insert(QStringLiteral("LANG"), clstrLang);
    if (!clstrAll.isEmpty())
        clEnv.insert(QStringLiteral("LC_ALL"), clstrAll);
    clEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess clChild;
    clChild.setProcessEnvironment(clEnv);
    clChild.setWorkingDirectory(clFolder.path());
    clChild.start(clstrProgram, clArguments);
    ChildRun clRun;
    clRun.finished = clChild.waitForFinished(60000);
    clRun.exitCode = clChild.exitCode();
    clRun.out = clChild.readAllStandardOutput();
    clRun.err = clChild.readAllStandardError();
    return clRun;
}

// The texts a child run of this executable shows.
QJsonObject DialogTexts(const QString &clstrLang, const QString &clstrAll) {
    const ChildRun clRun = RunUnderLocale(QCoreApplication::applicationFilePath(),
                                          {QString::fromLatin1(kChildOption)}, clstrLang, clstrAll);
    if (!clRun.finished || clRun.exitCode != 0) {
        qWarning("child run failed (%d): %s", clRun.exitCode, clRun.err.constData());
        return {};
    }
    return QJsonDocument::fromJson(clRun.out).object();
}

} // namespace

class TestDialogLanguage : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void texts_data();
    void texts();

  private:
    QJsonObject m_clEnglish, m_clGerman;
};

// The German locale needs no generated system locale: Qt takes the language
// from the variables themselves.
void TestDialogLanguage::initTestCase() {
    m_clEnglish = DialogTexts(QStringLiteral("C"), QStringLiteral("C"));
    m_clGerman = DialogTexts(QStringLiteral("de_DE.UTF-8"), QString());
    QVERIFY(!m_clEnglish.isEmpty() && !m_clGerman.isEmpty());
}

void TestDialogLanguage::texts_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("german");
    auto row = [](const char *pKey, const char *pEnglish, const char *pGerman) {
        QTest::newRow(pKey) << pKey << QString::fromUtf8(pEnglish) << QString::fromUtf8(pGerman);
    };
    row("language", "-1", "94"); // QLocale::German
    row("splitTab", "Split File", "Datei teilen");
    row("mergeTab", "Merge Files", "Dateien zusammenführen");
    row("sourceLabel", "Source File:", "Quelldatei:");
    row("byPeriod", "Split by Period of Time", "Nach Zeitraum teilen");
    row("deleteAll", "Delete all", "Alle entfernen");
    row("startTip", "Start/Stop splitting", "Teilen starten/stoppen");
    row("fileMagic", "File magic", "Dateikennung");
    row("promptTitle", "Error", "Fehler");
    row("promptText", "Can not open file or unsupported filetype!",
        "Die Datei kann nicht geöffnet werden oder der Dateityp wird nicht unterstützt!");
    // Qt's own catalogue: the standard buttons follow the language.
    row("yesButton", "&Yes", "&Ja");
}

void TestDialogLanguage::texts() {
    QFETCH(QString, key);
    QFETCH(QString, english);
    QFETCH(QString, german);
    QCOMPARE(m_clEnglish[key].toVariant().toString(), english);
    QCOMPARE(m_clGerman[key].toVariant().toString(), german);
}

BVF_TEST_MAIN(TestDialogLanguage)
static const bool g_bChildRegistered = TestRegistry::AddChild(kChildOption, &PrintDialogTexts);

#include "test_dialog_language.moc"
