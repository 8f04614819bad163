#include "DlgSplitter.h"

#include <QShowEvent>
#include <QTimer>

CDlgSplitter::CDlgSplitter(QWidget *pParent) : QDialog(pParent) {}

CDlgSplitter::~CDlgSplitter() = default;

void CDlgSplitter::showEvent(QShowEvent *pEvent) {
    QDialog::showEvent(pEvent);
    if (!m_bFirstShowDone) {
        m_bFirstShowDone = true;
        OnFirstShow();
    }
}

void CDlgSplitter::OnFirstShow() {
    setWindowTitle(QStringLiteral("BrennovarstikSplitter"));
    QTimer::singleShot(10, this, [this]() { adjustSize(); });
}
