#include "DlgSplitter.h"

#include <QApplication>
#include <QTest>

class TestDialogShell : public QObject {
    Q_OBJECT

  private slots:
    void buildsNothingUntilShown();
};

void TestDialogShell::buildsNothingUntilShown() {
    CDlgSplitter clDialog;
    QVERIFY(clDialog.windowTitle().isEmpty());
    clDialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&clDialog));
    QCOMPARE(clDialog.windowTitle(), QStringLiteral("BrennovarstikSplitter"));
    // A second show does not run the first-show work again.
    clDialog.setWindowTitle(QStringLiteral("changed"));
    clDialog.hide();
    clDialog.show();
    QCOMPARE(clDialog.windowTitle(), QStringLiteral("changed"));
    clDialog.close();
    QVERIFY(!clDialog.isVisible());
}

QTEST_MAIN(TestDialogShell)
#include "test_dialog_shell.moc"
