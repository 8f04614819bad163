#include "PromptLayer.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>

#include <cstdio>

void CWidgetPrompts::ShowWarning(QWidget *pParent, const QString &clstrTitle,
                                 const QString &clstrText) {
    QMessageBox::warning(pParent, clstrTitle, clstrText, QMessageBox::Ok);
}

void CWidgetPrompts::ShowCritical(QWidget *pParent, const QString &clstrTitle,
                                  const QString &clstrText) {
    QMessageBox::critical(pParent, clstrTitle, clstrText, QMessageBox::Ok);
}

QMessageBox::StandardButton CWidgetPrompts::AskQuestion(QWidget *pParent, const QString &clstrTitle,
                                                        const QString &clstrText,
                                                        QMessageBox::StandardButtons enButtons,
                                                        QMessageBox::StandardButton enDefault) {
    return QMessageBox::question(pParent, clstrTitle, clstrText, enButtons, enDefault);
}

std::optional<QString> CWidgetPrompts::AskText(QWidget *pParent, const QString &clstrTitle,
                                               const QString &clstrLabel,
                                               const QString &clstrInitial) {
    bool bOk = false;
    const QString clstrText = QInputDialog::getText(pParent, clstrTitle, clstrLabel,
                                                    QLineEdit::Normal, clstrInitial, &bOk);
    if (!bOk)
        return std::nullopt;
    return clstrText;
}

QString CWidgetPrompts::AskOpenFileName(QWidget *pParent, const QString &clstrCaption,
                                        const QString &clstrStartPath, const QString &clstrFilter) {
    return QFileDialog::getOpenFileName(pParent, clstrCaption, clstrStartPath, clstrFilter);
}

namespace {

void PrintPrompt(const QString &clstrTitle, const QString &clstrText, const char *pAnswer,
                 const char *pWhy) {
    QString clstrBody = clstrText;
    if (clstrBody.endsWith(u'\n'))
        clstrBody.chop(1);
    std::fprintf(stderr, "%s: %s\n%s\n", qUtf8Printable(QCoreApplication::applicationName()),
                 qUtf8Printable(clstrTitle), qUtf8Printable(clstrBody));
    if (pAnswer != nullptr)
        std::fprintf(stderr, "(%s: answered %s)\n", pWhy, pAnswer);
    std::fflush(stderr);
}

} // namespace

void CHeadlessPrompts::ShowWarning(QWidget *, const QString &clstrTitle, const QString &clstrText) {
    PrintPrompt(clstrTitle, clstrText, nullptr, m_pWhy);
}

void CHeadlessPrompts::ShowCritical(QWidget *, const QString &clstrTitle,
                                    const QString &clstrText) {
    PrintPrompt(clstrTitle, clstrText, nullptr, m_pWhy);
}

QMessageBox::StandardButton CHeadlessPrompts::AskQuestion(QWidget *, const QString &clstrTitle,
                                                          const QString &clstrText,
                                                          QMessageBox::StandardButtons,
                                                          QMessageBox::StandardButton) {
    // As if the box had been closed: every question reads that as abort or
    // giving up, so nothing is overwritten or renamed without a person.
    PrintPrompt(clstrTitle, clstrText, "as if closed (abort)", m_pWhy);
    return QMessageBox::NoButton;
}

std::optional<QString> CHeadlessPrompts::AskText(QWidget *, const QString &clstrTitle,
                                                 const QString &clstrLabel, const QString &) {
    PrintPrompt(clstrTitle, clstrLabel, "cancel", m_pWhy);
    return std::nullopt;
}

QString CHeadlessPrompts::AskOpenFileName(QWidget *, const QString &clstrCaption, const QString &,
                                          const QString &) {
    PrintPrompt(clstrCaption, QString(), "no file", m_pWhy);
    return QString();
}

QStringList CWidgetPrompts::AskOpenFileNames(QWidget *pParent, const QString &clstrCaption,
                                             const QString &clstrStartPath,
                                             const QString &clstrFilter) {
    return QFileDialog::getOpenFileNames(pParent, clstrCaption, clstrStartPath, clstrFilter);
}

QString CWidgetPrompts::AskSaveFileName(QWidget *pParent, const QString &clstrCaption,
                                        const QString &clstrProposal, const QString &clstrFilter) {
    return QFileDialog::getSaveFileName(pParent, clstrCaption, clstrProposal, clstrFilter);
}

QStringList CHeadlessPrompts::AskOpenFileNames(QWidget *, const QString &clstrCaption,
                                               const QString &, const QString &) {
    PrintPrompt(clstrCaption, QString(), "no file", m_pWhy);
    return QStringList();
}

QString CHeadlessPrompts::AskSaveFileName(QWidget *, const QString &clstrCaption,
                                          const QString &clstrProposal, const QString &) {
    // Nothing is written without a person choosing where.
    PrintPrompt(clstrCaption, clstrProposal, "cancel", m_pWhy);
    return QString();
}
