#include "AppIcon.h"
#include "AppTranslation.h"
#include "AppVersion.h"
#include "ArgumentCapture.h"
#include "CommandLine.h"
#include "DlgSplitter.h"

#include <QApplication>
#include <QGuiApplication>
#include <cstring>
#include <new>

namespace {

// Backs the application's argument vector for the whole run.
CArgumentCapture g_clArguments;
// One for the process, alive before the application object and after it.
CAppTranslation g_clTranslation;

// Without a display and without a platform chosen by the user, the program
// runs on the offscreen platform; it must be chosen before QApplication exists.
bool ChooseOffscreenWithoutDisplay() {
    if (!qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return false;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}

// The application's arguments after the program path, each marked when it
// did not fit its buffer. QApplication may have taken its own options out.
QList<StructCommandArgument> CapturedArguments() {
    const QStringList clTexts = QCoreApplication::arguments();
    QList<StructCommandArgument> clArguments;
    for (int i = 1; i < clTexts.size(); ++i)
        clArguments << StructCommandArgument{clTexts[i], g_clArguments.EntryWasCut(i)};
    return clArguments;
}

// Headless runs show only the program's own messages (printed directly on
// standard error): the toolkit's warnings there are about windows nobody
// sees and folders nobody needs. Critical and fatal messages still pass.
QtMessageHandler g_pDefaultHandler = nullptr;

void QuietToolkitMessages(QtMsgType enType, const QMessageLogContext &clContext,
                          const QString &clstrText) {
    if (enType == QtCriticalMsg || enType == QtFatalMsg)
        g_pDefaultHandler(enType, clContext, clstrText);
}

// An unattended run (-start=2) reports on standard error even with a
// display: the toolkit's warnings would be mixed into its messages.
bool AskedUnattended(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-start=2") == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv) {
    const QString clstrVersion = ApplicationVersionString();
    g_clArguments.Capture(argc, argv);
    const bool bHeadless = ChooseOffscreenWithoutDisplay();
    if (bHeadless || qgetenv("QT_QPA_PLATFORM") == "offscreen" || AskedUnattended(argc, argv))
        g_pDefaultHandler = qInstallMessageHandler(QuietToolkitMessages);

    auto *pApplication =
        new (std::nothrow) QApplication(g_clArguments.Count(), g_clArguments.Vector());
    if (pApplication == nullptr)
        return 0;
    QCoreApplication::setOrganizationName(QStringLiteral("vintermark GmbH"));
    QCoreApplication::setApplicationName(QStringLiteral("BrennovarstikSplitter"));
    QCoreApplication::setApplicationVersion(clstrVersion);
    g_clTranslation.InitTranslation(pApplication);

    const QIcon clIcon = LoadApplicationIcon();
    if (!clIcon.isNull())
        QApplication::setWindowIcon(clIcon);

    int lExitStatus = 0;
    auto *pDialog = new (std::nothrow) CDlgSplitter(nullptr);
    if (pDialog != nullptr) {
        const QList<StructCommandArgument> clArguments = CapturedArguments();
        pDialog->SetCommandLineArguments(clArguments);
        pDialog->SetWithoutDisplay(bHeadless);
        // Nobody can answer a box on the offscreen platform, and nobody waits
        // for one in a run that quits by itself: texts go to standard error
        // and every question takes its safe answer.
        if (bHeadless || QGuiApplication::platformName() == QStringLiteral("offscreen"))
            pDialog->SetPromptLayer(std::make_unique<CHeadlessPrompts>());
        else if (AsksToQuitAfterSplit(clArguments))
            pDialog->SetPromptLayer(std::make_unique<CHeadlessPrompts>("unattended run"));
        // There is no show command on this platform: the dialog is shown normally.
        pDialog->show();
        QApplication::exec();
        lExitStatus = pDialog->ExitStatus();
    }

    // The event loop's result is not used: an interactive run exits with 0,
    // an automated split with its own status.
    g_clTranslation.RemoveTranslators();
    delete pDialog;
    delete pApplication;
    return lExitStatus;
}
