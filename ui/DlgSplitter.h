// The one dialog of the program, with the tabs "Split File" and "Merge Files".
// Nothing is built in the constructor; the widgets come on the first show.
#pragma once

#include <QDialog>

class CDlgSplitter : public QDialog {
    Q_OBJECT

  public:
    explicit CDlgSplitter(QWidget *pParent = nullptr);
    ~CDlgSplitter() override;

  protected:
    void showEvent(QShowEvent *pEvent) override;

  private:
    void OnFirstShow();

    bool m_bFirstShowDone = false;
};
