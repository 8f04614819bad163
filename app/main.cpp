#include "AppIcon.h"
#include "AppVersion.h"
#include "ArgumentCapture.h"
#include "DlgSplitter.h"

#include <QApplication>
#include <new>

namespace {

// Backs the application's argument vector for the whole run.
CArgumentCapture g_clArguments;

} // namespace

int main(int argc, char **argv) {
    const QString clstrVersion = ApplicationVersionString();
    g_clArguments.Capture(argc, argv);

    auto *pApplication =
        new (std::nothrow) QApplication(g_clArguments.Count(), g_clArguments.Vector());
    if (pApplication == nullptr)
        return 0;
    QCoreApplication::setOrganizationName(QStringLiteral("vintermark GmbH"));
    QCoreApplication::setApplicationName(QStringLiteral("BrennovarstikSplitter"));
    QCoreApplication::setApplicationVersion(clstrVersion);

    const QIcon clIcon = LoadApplicationIcon();
    if (!clIcon.isNull())
        QApplication::setWindowIcon(clIcon);

    auto *pDialog = new (std::nothrow) CDlgSplitter(nullptr);
    if (pDialog != nullptr) {
        // There is no show command on this platform: the dialog is shown normally.
        pDialog->show();
        QApplication::exec();
    }

    // The event loop's result is not used: the process always exits with 0.
    delete pDialog;
    delete pApplication;
    return 0;
}
