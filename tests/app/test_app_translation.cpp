#include "AppTranslation.h"
#include "TestRegistry.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <memory>

// Each small catalogue translates "has <its own name>" to "yes", so the
// application itself tells which catalogues are installed.
class TestAppTranslation : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void installsQtBaseThenProgramCatalogue();
    void searchFoldersInOrderWithoutRepeats();
    void fullerLanguageNameWins();
    void unloadableFileLeavesTheNextFolder();
    void cLocaleLoadsNothing();
    void secondLoadLeavesOnlyItsOwnSet();
    void languageChangeSlot();
    void nothingInstalledWithoutApplication();
    void germanCatalogueIsComplete();

  private:
    static bool Installed(const QString &clstrCatalogue);
    QString Place(const QString &clstrCatalogue, const QString &clstrFolder) const;
    std::unique_ptr<CAppTranslation> Started(const QLocale &clLocale) const;

    std::unique_ptr<QTemporaryDir> m_pRoot;
    QString m_clstrApp;
    QString m_clstrCurrent;
    QString m_clstrQt;
    QString m_clstrStartFolder;
};

void TestAppTranslation::initTestCase() {
    QCoreApplication::setApplicationName(QStringLiteral("BrennovarstikSplitter"));
    m_clstrStartFolder = QDir::currentPath();
}

void TestAppTranslation::init() {
    m_pRoot = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pRoot->isValid());
    const QDir clRoot(m_pRoot->path());
    for (const char *pName : {"app/languages", "current/languages", "qt"})
        QVERIFY(clRoot.mkpath(QString::fromLatin1(pName)));
    m_clstrApp = clRoot.filePath(QStringLiteral("app"));
    m_clstrCurrent = clRoot.filePath(QStringLiteral("current"));
    m_clstrQt = clRoot.filePath(QStringLiteral("qt"));
    QVERIFY(QDir::setCurrent(m_clstrCurrent));
}

void TestAppTranslation::cleanup() {
    QDir::setCurrent(m_clstrStartFolder);
    QLocale::setDefault(QLocale::system());
    m_pRoot.reset();
}

bool TestAppTranslation::Installed(const QString &clstrCatalogue) {
    const QByteArray clKey = QStringLiteral("has %1").arg(clstrCatalogue).toUtf8();
    return QCoreApplication::translate("Probe", clKey.constData()) == QStringLiteral("yes");
}

// Copies a compiled test catalogue into a folder; the path it lies at.
QString TestAppTranslation::Place(const QString &clstrCatalogue, const QString &clstrFolder) const {
    const QString clstrTarget = clstrFolder + u'/' + clstrCatalogue + QStringLiteral(".qm");
    const QString clstrSource =
        QStringLiteral(BVF_TEST_CATALOGUES "/") + clstrCatalogue + QStringLiteral(".qm");
    if (!QFile::copy(clstrSource, clstrTarget))
        qWarning("cannot copy %s", qPrintable(clstrSource));
    return clstrTarget;
}

std::unique_ptr<CAppTranslation> TestAppTranslation::Started(const QLocale &clLocale) const {
    auto pTranslation = std::make_unique<CAppTranslation>();
    pTranslation->SetApplicationFolder(m_clstrApp);
    pTranslation->SetQtCatalogueFolder(m_clstrQt);
    QLocale::setDefault(clLocale);
    pTranslation->InitTranslation(QCoreApplication::instance());
    return pTranslation;
}

void TestAppTranslation::installsQtBaseThenProgramCatalogue() {
    const QString clstrQtBase = Place(QStringLiteral("qtbase_de"), m_clstrApp + "/languages");
    const QString clstrProgram = Place(QStringLiteral("BrennovarstikSplitter_de"), m_clstrCurrent);
    auto pTranslation = Started(QLocale(QStringLiteral("de_DE")));
    QCOMPARE(pTranslation->InstalledFiles(), QStringList({clstrQtBase, clstrProgram}));
    QCOMPARE(pTranslation->CurrentLanguage(), int(QLocale::German));
    QVERIFY(Installed(QStringLiteral("qtbase_de")));
    QVERIFY(Installed(QStringLiteral("BrennovarstikSplitter_de")));
}

void TestAppTranslation::searchFoldersInOrderWithoutRepeats() {
    // A catalogue found only in Qt's folder is taken from there; of two
    // copies the one in the earlier folder wins.
    const QString clstrQtBase = Place(QStringLiteral("qtbase_de"), m_clstrQt);
    Place(QStringLiteral("BrennovarstikSplitter_de"), m_clstrCurrent + "/languages");
    const QString clstrProgram = Place(QStringLiteral("BrennovarstikSplitter_de"), m_clstrApp);
    auto pTranslation = Started(QLocale(QStringLiteral("de_DE")));
    QCOMPARE(pTranslation->SearchFolders(),
             QStringList({m_clstrApp + "/languages/", m_clstrApp + "/",
                          m_clstrCurrent + "/languages/", m_clstrCurrent + "/", m_clstrQt + "/"}));
    QCOMPARE(pTranslation->InstalledFiles(), QStringList({clstrQtBase, clstrProgram}));

    // The program started from its own folder: each folder once.
    CAppTranslation clSameFolder;
    clSameFolder.SetApplicationFolder(m_clstrCurrent + u'/');
    clSameFolder.SetQtCatalogueFolder(QString());
    clSameFolder.InitTranslation(QCoreApplication::instance());
    QCOMPARE(clSameFolder.SearchFolders(),
             QStringList({m_clstrCurrent + "/languages/", m_clstrCurrent + "/"}));

    // Unless told otherwise, Qt's own catalogues are searched last.
    CAppTranslation clDefault;
    clDefault.InitTranslation(QCoreApplication::instance());
    QCOMPARE(clDefault.SearchFolders().constLast(),
             QLibraryInfo::path(QLibraryInfo::TranslationsPath) + u'/');
    QCOMPARE(clDefault.SearchFolders().constFirst(),
             QCoreApplication::applicationDirPath() + QStringLiteral("/languages/"));
}

void TestAppTranslation::fullerLanguageNameWins() {
    // Even from a later folder: the language names are tried before folders.
    Place(QStringLiteral("qt_de"), m_clstrApp + "/languages");
    const QString clstrFuller = Place(QStringLiteral("qt_de-DE"), m_clstrCurrent);
    auto pTranslation = Started(QLocale(QStringLiteral("de_DE")));
    QCOMPARE(pTranslation->InstalledFiles(), QStringList({clstrFuller}));
    QVERIFY(Installed(QStringLiteral("qt_de-DE")));
    QVERIFY(!Installed(QStringLiteral("qt_de")));

    // A locale that names only the bare language takes the shorter file.
    pTranslation->LoadLanguage(QLocale(QLocale::German, QLocale::Austria));
    QCOMPARE(pTranslation->InstalledFiles(),
             QStringList({m_clstrApp + QStringLiteral("/languages/qt_de.qm")}));
    QCOMPARE(pTranslation->CurrentLanguage(), int(QLocale::German));
}

void TestAppTranslation::unloadableFileLeavesTheNextFolder() {
    QFile clDamaged(m_clstrApp + QStringLiteral("/languages/qtbase_de.qm"));
    QVERIFY(clDamaged.open(QIODevice::WriteOnly));
    clDamaged.write("not a catalogue");
    clDamaged.close();
    const QString clstrQtBase = Place(QStringLiteral("qtbase_de"), m_clstrApp);
    // A folder standing where a catalogue would lie is no catalogue either.
    QVERIFY(QDir(m_clstrApp).mkdir(QStringLiteral("languages/BrennovarstikSplitter_de.qm")));
    const QString clstrProgram = Place(QStringLiteral("BrennovarstikSplitter_de"), m_clstrCurrent);
    auto pTranslation = Started(QLocale(QStringLiteral("de_DE")));
    QCOMPARE(pTranslation->InstalledFiles(), QStringList({clstrQtBase, clstrProgram}));
    QVERIFY(Installed(QStringLiteral("qtbase_de")));
}

void TestAppTranslation::cLocaleLoadsNothing() {
    Place(QStringLiteral("qtbase_de"), m_clstrApp + "/languages");
    Place(QStringLiteral("BrennovarstikSplitter_de"), m_clstrCurrent);
    auto pTranslation = Started(QLocale::c());
    QVERIFY(pTranslation->InstalledFiles().isEmpty());
    QCOMPARE(pTranslation->CurrentLanguage(), -1);
    QVERIFY(!Installed(QStringLiteral("qtbase_de")));

    // Switching to C also removes what another language installed.
    pTranslation->LoadLanguage(QLocale(QStringLiteral("de_DE")));
    QVERIFY(Installed(QStringLiteral("qtbase_de")));
    pTranslation->LoadLanguage(QLocale::c());
    QVERIFY(pTranslation->InstalledFiles().isEmpty());
    QCOMPARE(pTranslation->CurrentLanguage(), -1);
    QVERIFY(!Installed(QStringLiteral("qtbase_de")));
    QVERIFY(!Installed(QStringLiteral("BrennovarstikSplitter_de")));
}

void TestAppTranslation::secondLoadLeavesOnlyItsOwnSet() {
    for (const char *pName : {"qtbase_de", "qtbase_fr", "BrennovarstikSplitter_de"})
        Place(QString::fromLatin1(pName), m_clstrApp + "/languages");
    auto pTranslation = Started(QLocale(QStringLiteral("de_DE")));
    const QStringList clGerman = pTranslation->InstalledFiles();
    QCOMPARE(clGerman.size(), 2);
    pTranslation->LoadLanguage(QLocale(QStringLiteral("de_DE")));
    QCOMPARE(pTranslation->InstalledFiles(), clGerman);

    pTranslation->LoadLanguage(QLocale(QStringLiteral("fr_FR")));
    QCOMPARE(pTranslation->InstalledFiles(),
             QStringList({m_clstrApp + QStringLiteral("/languages/qtbase_fr.qm")}));
    QCOMPARE(pTranslation->CurrentLanguage(), int(QLocale::French));
    QVERIFY(Installed(QStringLiteral("qtbase_fr")));
    QVERIFY(!Installed(QStringLiteral("qtbase_de")));
    QVERIFY(!Installed(QStringLiteral("BrennovarstikSplitter_de")));

    pTranslation->RemoveTranslators();
    QVERIFY(pTranslation->InstalledFiles().isEmpty());
    QCOMPARE(pTranslation->CurrentLanguage(), -1);
    QVERIFY(!Installed(QStringLiteral("qtbase_fr")));

    // Translators still installed leave the application with their owner.
    pTranslation->LoadLanguage(QLocale(QStringLiteral("fr_FR")));
    QVERIFY(Installed(QStringLiteral("qtbase_fr")));
    pTranslation.reset();
    QVERIFY(!Installed(QStringLiteral("qtbase_fr")));
}

void TestAppTranslation::languageChangeSlot() {
    Place(QStringLiteral("BrennovarstikSplitter_de"), m_clstrApp + "/languages");
    auto pTranslation = Started(QLocale::c());
    QSignalSpy clSpy(pTranslation.get(), &CAppTranslation::SignalNewTranslation);

    pTranslation->SlotLanguageChanged(nullptr);
    QCOMPARE(clSpy.count(), 0);
    QCOMPARE(QLocale().language(), QLocale::C);

    QAction clAction;
    clAction.setData(QStringLiteral("de_DE"));
    pTranslation->SlotLanguageChanged(&clAction);
    QCOMPARE(clSpy.count(), 1);
    QCOMPARE(QLocale().name(), QStringLiteral("de_DE"));
    QCOMPARE(pTranslation->CurrentLanguage(), int(QLocale::German));
    QVERIFY(Installed(QStringLiteral("BrennovarstikSplitter_de")));
}

void TestAppTranslation::nothingInstalledWithoutApplication() {
    Place(QStringLiteral("qtbase_de"), m_clstrCurrent);
    CAppTranslation clTranslation;
    clTranslation.SetApplicationFolder(m_clstrApp);
    clTranslation.SetQtCatalogueFolder(m_clstrQt);
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    clTranslation.InitTranslation(nullptr);
    QCOMPARE(clTranslation.SearchFolders(),
             QStringList({m_clstrCurrent + "/languages/", m_clstrCurrent + "/", m_clstrQt + "/"}));
    QVERIFY(clTranslation.InstalledFiles().isEmpty());
    QVERIFY(!Installed(QStringLiteral("qtbase_de")));
}

namespace {

// What a translation must keep of its source: the placeholders, the line
// breaks and the blanks at either end, which join it to its neighbours.
QString Shape(const QString &clstrText) {
    QStringList clPlaceholders;
    static const QRegularExpression kPlaceholder(QStringLiteral("%L?\\d+"));
    for (const QRegularExpressionMatch &clMatch : kPlaceholder.globalMatch(clstrText))
        clPlaceholders << clMatch.captured();
    clPlaceholders.sort();
    qsizetype lLead = 0;
    while (lLead < clstrText.size() && clstrText[lLead] == u' ')
        ++lLead;
    qsizetype lTrail = 0;
    while (lTrail < clstrText.size() - lLead && clstrText[clstrText.size() - 1 - lTrail] == u' ')
        ++lTrail;
    // Joined, not filled in: the placeholders themselves look like "%1".
    return clPlaceholders.join(u',') + QStringLiteral(" lines:") +
           QString::number(clstrText.count(u'\n')) + QStringLiteral(" lead:") +
           QString::number(lLead) + QStringLiteral(" trail:") + QString::number(lTrail);
}

} // namespace

// Every text the sources mark for translation has a German translation that
// keeps its placeholders, line breaks and edge blanks.
void TestAppTranslation::germanCatalogueIsComplete() {
    const QString clstrCatalogue = m_clstrCurrent + QStringLiteral("/BrennovarstikSplitter_de.ts");
    QVERIFY(QFile::copy(QStringLiteral(BVF_SOURCE_DIR "/translations/BrennovarstikSplitter_de.ts"),
                        clstrCatalogue));
    QFile::setPermissions(clstrCatalogue, QFile::ReadOwner | QFile::WriteOwner);
    QStringList clArguments = {QStringLiteral("-locations"), QStringLiteral("none"),
                               QStringLiteral("-no-obsolete")};
    for (const char *pFolder : {"app", "ui", "merge", "split", "proto"}) {
        const QString clstrFolder = QStringLiteral(BVF_SOURCE_DIR "/") + QLatin1String(pFolder);
        if (QFileInfo(clstrFolder).isDir())
            clArguments << clstrFolder;
    }
    clArguments << QStringLiteral("-ts") << clstrCatalogue;
    QProcess clUpdate;
    clUpdate.start(QStringLiteral(BVF_LUPDATE), clArguments);
    QVERIFY(clUpdate.waitForFinished(120000));
    QCOMPARE(clUpdate.exitCode(), 0);

    QFile clFile(clstrCatalogue);
    QVERIFY(clFile.open(QIODevice::ReadOnly));
    QXmlStreamReader clXml(&clFile);
    QString clstrContext;
    QString clstrSource;
    int lMessages = 0;
    QStringList clProblems;
    while (!clXml.atEnd()) {
        if (clXml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (clXml.name() == QLatin1String("name")) {
            clstrContext = clXml.readElementText();
        } else if (clXml.name() == QLatin1String("source")) {
            clstrSource = clXml.readElementText();
        } else if (clXml.name() == QLatin1String("translation")) {
            ++lMessages;
            const bool bUnfinished =
                clXml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
            const QString clstrTranslation = clXml.readElementText();
            if (bUnfinished || clstrTranslation.isEmpty())
                clProblems
                    << QStringLiteral("%1: untranslated \"%2\"").arg(clstrContext, clstrSource);
            else if (Shape(clstrTranslation) != Shape(clstrSource))
                clProblems << QStringLiteral("%1: \"%2\" -> \"%3\" (%4 / %5)")
                                  .arg(clstrContext, clstrSource, clstrTranslation,
                                       Shape(clstrSource), Shape(clstrTranslation));
        }
    }
    QVERIFY2(!clXml.hasError(), qPrintable(clXml.errorString()));
    QVERIFY(lMessages > 100);
    QVERIFY2(clProblems.isEmpty(), qPrintable(clProblems.join(u'\n')));
}

BVF_TEST_MAIN(TestAppTranslation)
#include "test_app_translation.moc"
