// Every message box, input box and file dialog of the dialog goes through this
// layer, so that a run without a display never blocks on a window nobody sees,
// and tests answer with scripted answers.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

class CPromptLayer {
  public:
    virtual ~CPromptLayer() = default;

    // A box with an Ok button only.
    virtual void ShowWarning(QWidget *pParent, const QString &clstrTitle,
                             const QString &clstrText) = 0;
    virtual void ShowCritical(QWidget *pParent, const QString &clstrTitle,
                              const QString &clstrText) = 0;
    // The button chosen; NoButton when the box was closed without one.
    virtual QMessageBox::StandardButton AskQuestion(QWidget *pParent, const QString &clstrTitle,
                                                    const QString &clstrText,
                                                    QMessageBox::StandardButtons enButtons,
                                                    QMessageBox::StandardButton enDefault) = 0;
    // The entered text; none when the input was cancelled.
    virtual std::optional<QString> AskText(QWidget *pParent, const QString &clstrTitle,
                                           const QString &clstrLabel,
                                           const QString &clstrInitial) = 0;
    // The chosen file; empty when none was chosen.
    virtual QString AskOpenFileName(QWidget *pParent, const QString &clstrCaption,
                                    const QString &clstrStartPath, const QString &clstrFilter) = 0;
    // The chosen files; empty when none were chosen.
    virtual QStringList AskOpenFileNames(QWidget *pParent, const QString &clstrCaption,
                                         const QString &clstrStartPath,
                                         const QString &clstrFilter) = 0;
    // The file to write, after the dialog's own confirmation of replacing an
    // existing one; empty when cancelled.
    virtual QString AskSaveFileName(QWidget *pParent, const QString &clstrCaption,
                                    const QString &clstrProposal, const QString &clstrFilter) = 0;
};

// The toolkit's modal boxes and file dialog.
class CWidgetPrompts final : public CPromptLayer {
  public:
    void ShowWarning(QWidget *pParent, const QString &clstrTitle,
                     const QString &clstrText) override;
    void ShowCritical(QWidget *pParent, const QString &clstrTitle,
                      const QString &clstrText) override;
    QMessageBox::StandardButton AskQuestion(QWidget *pParent, const QString &clstrTitle,
                                            const QString &clstrText,
                                            QMessageBox::StandardButtons enButtons,
                                            QMessageBox::StandardButton enDefault) override;
    std::optional<QString> AskText(QWidget *pParent, const QString &clstrTitle,
                                   const QString &clstrLabel, const QString &clstrInitial) override;
    QString AskOpenFileName(QWidget *pParent, const QString &clstrCaption,
                            const QString &clstrStartPath, const QString &clstrFilter) override;
    QStringList AskOpenFileNames(QWidget *pParent, const QString &clstrCaption,
                                 const QString &clstrStartPath,
                                 const QString &clstrFilter) override;
    QString AskSaveFileName(QWidget *pParent, const QString &clstrCaption,
                            const QString &clstrProposal, const QString &clstrFilter) override;
};

// Without a display, or in a run nobody attends: every text goes to standard
// error and every question takes its safe answer at once (closed box: abort,
// give up, no rename, no file).
class CHeadlessPrompts final : public CPromptLayer {
  public:
    // pWhy says in each answered question why nobody was asked.
    explicit CHeadlessPrompts(const char *pWhy = "no display") : m_pWhy(pWhy) {}
    void ShowWarning(QWidget *pParent, const QString &clstrTitle,
                     const QString &clstrText) override;
    void ShowCritical(QWidget *pParent, const QString &clstrTitle,
                      const QString &clstrText) override;
    QMessageBox::StandardButton AskQuestion(QWidget *pParent, const QString &clstrTitle,
                                            const QString &clstrText,
                                            QMessageBox::StandardButtons enButtons,
                                            QMessageBox::StandardButton enDefault) override;
    std::optional<QString> AskText(QWidget *pParent, const QString &clstrTitle,
                                   const QString &clstrLabel, const QString &clstrInitial) override;
    QString AskOpenFileName(QWidget *pParent, const QString &clstrCaption,
                            const QString &clstrStartPath, const QString &clstrFilter) override;
    QStringList AskOpenFileNames(QWidget *pParent, const QString &clstrCaption,
                                 const QString &clstrStartPath,
                                 const QString &clstrFilter) override;
    QString AskSaveFileName(QWidget *pParent, const QString &clstrCaption,
                            const QString &clstrProposal, const QString &clstrFilter) override;

  private:
    const char *m_pWhy;
};
