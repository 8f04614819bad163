// Finds and installs the translation catalogues (".qm" files) for the user
// interface language: those of the Qt modules and the program's own one.
#pragma once

#include <QList>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QAction;
class QCoreApplication;
class QTranslator;

class CAppTranslation : public QObject {
    Q_OBJECT

  public:
    explicit CAppTranslation(QObject *pParent = nullptr);
    ~CAppTranslation() override;
    CAppTranslation(const CAppTranslation &) = delete;
    CAppTranslation &operator=(const CAppTranslation &) = delete;

    // Stores the application, builds the search folders and loads the
    // catalogues for the default locale (the system's unless one was set).
    void InitTranslation(QCoreApplication *pApplication);
    // Removes what is installed and installs the catalogues for the locale.
    void LoadLanguage(const QLocale &clLocale);
    // Removes every installed translator from the application and deletes it.
    void RemoveTranslators();

    // The folder searched in place of the application's own one (with its
    // "languages" subfolder); empty: the folder of the running program.
    void SetApplicationFolder(const QString &clstrFolder);
    // Qt's own catalogues, searched last so that the standard buttons and
    // file dialogs follow the language; empty: not searched. Unless set,
    // the folder of the Qt installation.
    void SetQtCatalogueFolder(const QString &clstrFolder);
    // The installed catalogues, searched after the current folder when the
    // folder exists: "<folder>/../share/brennovarstik-splitter/translations"
    // for a program in "<folder>", wherever the installation was unpacked.
    static QString DefaultDataFolder(const QString &clstrProgramFolder);
    // Catalogue names tried after the program's own one.
    void SetExtraCatalogues(const QStringList &clNames);

    // Each ends in "/", in search order, as built by InitTranslation.
    QStringList SearchFolders() const { return m_clSearchFolders; }
    // The files of the installed translators, in installation order.
    QStringList InstalledFiles() const;
    // A QLocale::Language value; -1 while no language is set.
    int CurrentLanguage() const { return m_lCurrentLanguage; }

  public slots:
    // The action's data, taken as a string, names the new locale, which also
    // becomes the default locale.
    void SlotLanguageChanged(QAction *pclAction);

  signals:
    void SignalNewTranslation();

  private:
    bool InstallFromFolders(QTranslator &clTranslator, const QString &clstrFileName);

    QCoreApplication *m_pApplication = nullptr;
    QList<QTranslator *> m_clTranslators;
    QStringList m_clSearchFolders;
    QStringList m_clExtraCatalogues;
    QString m_clstrApplicationFolder;
    std::optional<QString> m_clstrQtFolder;
    int m_lCurrentLanguage = -1;
};
