#include "DlgSplitter.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    CDlgSplitter dlg;
    dlg.show();
    app.exec();
    return 0;
}
