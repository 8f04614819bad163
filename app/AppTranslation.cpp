#include "AppTranslation.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace {

QString WithSeparator(const QString &clstrFolder) {
    const QString clstrClean = QDir::cleanPath(clstrFolder);
    return clstrClean.endsWith(u'/') ? clstrClean : clstrClean + u'/';
}

// The user-interface languages, then the locale's own name; every name of the
// form "xx-..." also stands for its bare language "xx", tried after the
// fuller names, so that qt_de-DE.qm wins over qt_de.qm.
QStringList LanguageNames(const QLocale &clLocale) {
    QStringList clNames = clLocale.uiLanguages();
    clNames << clLocale.bcp47Name();
    for (QString &clstrName : clNames)
        clstrName.replace(u'_', u'-');
    // The bare names appended here are looked at too; they hold no "-".
    for (qsizetype i = 0; i < clNames.size(); ++i) {
        if (clNames[i].indexOf(u'-') == 2)
            clNames << clNames[i].left(2);
    }
    clNames.removeDuplicates();
    return clNames;
}

} // namespace

CAppTranslation::CAppTranslation(QObject *pParent) : QObject(pParent) {}

// A translator removes itself from a still existing application when it is
// deleted; at process exit the application is gone already.
CAppTranslation::~CAppTranslation() {
    qDeleteAll(m_clTranslators);
}

void CAppTranslation::SetApplicationFolder(const QString &clstrFolder) {
    m_clstrApplicationFolder = clstrFolder;
}

void CAppTranslation::SetQtCatalogueFolder(const QString &clstrFolder) {
    m_clstrQtFolder = clstrFolder;
}

QString CAppTranslation::DefaultDataFolder(const QString &clstrProgramFolder) {
    return QDir::cleanPath(WithSeparator(clstrProgramFolder) +
                           QStringLiteral(BVF_CATALOGUES_FROM_PROGRAM));
}

void CAppTranslation::SetExtraCatalogues(const QStringList &clNames) {
    m_clExtraCatalogues = clNames;
}

QStringList CAppTranslation::InstalledFiles() const {
    QStringList clFiles;
    for (const QTranslator *pTranslator : m_clTranslators)
        clFiles << pTranslator->filePath();
    return clFiles;
}

void CAppTranslation::InitTranslation(QCoreApplication *pApplication) {
    m_pApplication = pApplication;
    m_clSearchFolders.clear();
    const auto AddFolder = [this](const QString &clstrFolder) {
        m_clSearchFolders << WithSeparator(clstrFolder) + QStringLiteral("languages/")
                          << WithSeparator(clstrFolder);
    };
    // The program's folder is known only with an application.
    const QString clstrProgramFolder = m_pApplication == nullptr ? QString()
                                       : m_clstrApplicationFolder.isEmpty()
                                           ? QCoreApplication::applicationDirPath()
                                           : m_clstrApplicationFolder;
    if (!clstrProgramFolder.isEmpty())
        AddFolder(clstrProgramFolder);
    AddFolder(QDir::currentPath());
    // A program run from its build folder has no installation beside it.
    if (!clstrProgramFolder.isEmpty()) {
        const QString clstrInstalled = DefaultDataFolder(clstrProgramFolder);
        if (QFileInfo(clstrInstalled).isDir())
            m_clSearchFolders << WithSeparator(clstrInstalled);
    }
    // Asked only now: the instance may be created before the application.
    const QString clstrQtFolder =
        m_clstrQtFolder.value_or(QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!clstrQtFolder.isEmpty())
        m_clSearchFolders << WithSeparator(clstrQtFolder);
    m_clSearchFolders.removeDuplicates();
    LoadLanguage(QLocale());
}

bool CAppTranslation::InstallFromFolders(QTranslator &clTranslator, const QString &clstrFileName) {
    for (const QString &clstrFolder : std::as_const(m_clSearchFolders)) {
        // A file that does not load or is refused leaves the next folder to try.
        if (!QFile::exists(clstrFolder + clstrFileName))
            continue;
        if (!clTranslator.load(clstrFileName, clstrFolder))
            continue;
        if (m_pApplication != nullptr && QCoreApplication::installTranslator(&clTranslator))
            return true;
    }
    return false;
}

void CAppTranslation::LoadLanguage(const QLocale &clLocale) {
    const QStringList clNames = LanguageNames(clLocale);
    RemoveTranslators();
    m_lCurrentLanguage = int(clLocale.language());
    if (clLocale.language() == QLocale::C) {
        m_lCurrentLanguage = -1;
        return;
    }

    QStringList clCatalogues = {
        QStringLiteral("qt"),
        QStringLiteral("qtbase"),
        QStringLiteral("qtconnectivity"),
        QStringLiteral("qtdeclarative"),
        QStringLiteral("qtlocation"),
        QStringLiteral("qtmultimedia"),
        QStringLiteral("qtserialport"),
    };
    clCatalogues << QCoreApplication::applicationName() << m_clExtraCatalogues;

    // A translator that found nothing is used for the next catalogue.
    std::unique_ptr<QTranslator> pTranslator;
    for (const QString &clstrCatalogue : std::as_const(clCatalogues)) {
        if (!pTranslator)
            pTranslator = std::make_unique<QTranslator>();
        for (const QString &clstrName : clNames) {
            if (!InstallFromFolders(*pTranslator,
                                    QStringLiteral("%1_%2.qm").arg(clstrCatalogue, clstrName)))
                continue;
            // The first catalogue found tells which language is in use.
            if (m_clTranslators.isEmpty())
                m_lCurrentLanguage = int(QLocale(clstrName).language());
            m_clTranslators << pTranslator.release();
            break;
        }
    }
}

void CAppTranslation::RemoveTranslators() {
    if (m_pApplication == nullptr)
        return;
    for (QTranslator *pTranslator : std::as_const(m_clTranslators)) {
        QCoreApplication::removeTranslator(pTranslator);
        delete pTranslator;
    }
    m_clTranslators.clear();
    m_lCurrentLanguage = -1;
}

void CAppTranslation::SlotLanguageChanged(QAction *pclAction) {
    if (pclAction == nullptr)
        return;
    const QLocale clLocale(pclAction->data().toString());
    LoadLanguage(clLocale);
    QLocale::setDefault(clLocale);
    emit SignalNewTranslation();
}
