#include "AppTranslation.h"
#include "TestRegistry.h"

#include <QProcess>
#include <QRegularExpression>
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
    void catalogueChoice_data();
    void catalogueChoice();
    void germanCatalogueIsComplete();

  private:
    static bool Installed(const QString &clstrCatalogue);

    std::unique_ptr<QTemporaryDir> m_pRoot;
    QString m_clstrCurrent, m_clstrStartFolder;
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
    m_clstrCurrent = clRoot.filePath(QStringLiteral("current"));
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

// The folders are searched in the order app/languages, app, current/languages,
// current, the installed data folder beside app, qt; the language names from the fullest to the
// bare language are tried before the folders.
void TestAppTranslation::catalogueChoice_data() {
    QTest::addColumn<QString>("placed"); // "name@folder", "!" a damaged file, "+" a folder
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<int>("language");
    auto row = [](const char *pRow, const char *pPlaced, const char *pLocale,
                  const char *pInstalled, int lLanguage) {
        QTest::newRow(pRow) << pPlaced << pLocale << pInstalled << lLanguage;
    };
    const int de = QLocale::German;
    row("Qt's base, then the program's", "qtbase_de@app/languages BrennovarstikSplitter_de@current",
        "de_DE", "app/languages/qtbase_de.qm current/BrennovarstikSplitter_de.qm", de);
    row("the earlier folder wins, Qt's folder last",
        "qtbase_de@qt BrennovarstikSplitter_de@current/languages BrennovarstikSplitter_de@app",
        "de_DE", "qt/qtbase_de.qm app/BrennovarstikSplitter_de.qm", de);
    row("the fuller language name wins, even from a later folder",
        "qt_de@app/languages qt_de-DE@current", "de_DE", "current/qt_de-DE.qm", de);
    row("a bare language takes the shorter name", "qt_de@app/languages qt_de-DE@current", "de_AT",
        "app/languages/qt_de.qm", de);
    row("an unloadable file or a folder leaves the next folder",
        "!qtbase_de@app/languages qtbase_de@app +BrennovarstikSplitter_de@app/languages "
        "BrennovarstikSplitter_de@current",
        "de_DE", "app/qtbase_de.qm current/BrennovarstikSplitter_de.qm", de);
    row("the installed data folder after the current one, before Qt's",
        "qtbase_de@qt qtbase_de@share/brennovarstik-splitter/translations "
        "BrennovarstikSplitter_de@share/brennovarstik-splitter/translations",
        "de_DE",
        "share/brennovarstik-splitter/translations/qtbase_de.qm "
        "share/brennovarstik-splitter/translations/BrennovarstikSplitter_de.qm",
        de);
    row("only the language's own set",
        "qtbase_de@app/languages qtbase_fr@app/languages BrennovarstikSplitter_de@app/languages",
        "fr_FR", "app/languages/qtbase_fr.qm", int(QLocale::French));
}

void TestAppTranslation::catalogueChoice() {
    QFETCH(QString, placed);
    QFETCH(QString, locale);
    QFETCH(QString, installed);
    QFETCH(int, language);
    QStringList clNames;
    for (const QString &clstrEntry : placed.split(u' ')) {
        const QChar cMark = clstrEntry[0];
        const QString clstrName =
            clstrEntry.section(u'@', 0, 0).remove(QRegularExpression("^[!+]"));
        const QString clstrTarget =
            m_pRoot->filePath(clstrEntry.section(u'@', 1) + u'/' + clstrName + ".qm");
        clNames << clstrName;
        QVERIFY(QDir().mkpath(QFileInfo(clstrTarget).path()));
        QVERIFY(cMark == u'+' ? QDir().mkdir(clstrTarget)
                : cMark == u'!'
                    ? QFile::copy(BVF_SOURCE_DIR "/CMakeLists.txt", clstrTarget)
                    : QFile::copy(BVF_TEST_CATALOGUES "/" + clstrName + ".qm", clstrTarget));
    }
    const auto fnCheck = [&](const CAppTranslation &clTranslation, const QString &clstrInstalled) {
        QStringList clFiles = clTranslation.InstalledFiles();
        clFiles.replaceInStrings(m_pRoot->path() + u'/', QString());
        QCOMPARE(clFiles.join(u' '), clstrInstalled);
        for (const QString &clstrName : clNames)
            QCOMPARE(Installed(clstrName), clstrInstalled.contains(u'/' + clstrName + ".qm"));
    };
    auto pTranslation = std::make_unique<CAppTranslation>();
    pTranslation->SetApplicationFolder(m_pRoot->filePath("app"));
    pTranslation->SetQtCatalogueFolder(m_pRoot->filePath("qt"));
    QLocale::setDefault(QLocale(locale));
    pTranslation->InitTranslation(QCoreApplication::instance());
    fnCheck(*pTranslation, installed);
    QCOMPARE(pTranslation->CurrentLanguage(), language);
    // Another language removes what was installed.
    pTranslation->LoadLanguage(QLocale::c());
    fnCheck(*pTranslation, QString());
    pTranslation->LoadLanguage(QLocale(locale));
    pTranslation->RemoveTranslators();
    fnCheck(*pTranslation, QString());
    QCOMPARE(pTranslation->CurrentLanguage(), -1);
    // Translators still installed leave the application with their owner.
    pTranslation->LoadLanguage(QLocale(locale));
    pTranslation.reset();
    for (const QString &clstrName : clNames)
        QVERIFY(!Installed(clstrName));
}

namespace {

// What a translation must keep of its source: the placeholders, the line
// breaks and the blanks at either end, which join it to its neighbours.
QString Shape(const QString &clstrText) {
    static const QRegularExpression kMarks(QStringLiteral("%L?\\d+|\n|^ +| +$"));
    QStringList clShape;
    for (const QRegularExpressionMatch &clMatch : kMarks.globalMatch(clstrText))
        clShape << clMatch.captured();
    clShape.sort();
    return clShape.join(u'|');
}

} // namespace

// Every text the sources mark for translation has a German translation that
// keeps its placeholders, line breaks and edge blanks.
void TestAppTranslation::germanCatalogueIsComplete() {
    const QString clstrCatalogue = m_clstrCurrent + QStringLiteral("/BrennovarstikSplitter_de.ts");
    QVERIFY(QFile::copy(QStringLiteral(BVF_SOURCE_DIR "/translations/BrennovarstikSplitter_de.ts"),
                        clstrCatalogue));
    QFile::setPermissions(clstrCatalogue, QFile::ReadOwner | QFile::WriteOwner);
    QStringList clArguments = {"-locations", "none", "-no-obsolete"};
    for (const char *pFolder : {"app", "ui", "merge", "split", "proto"})
        clArguments << QStringLiteral(BVF_SOURCE_DIR "/") + QLatin1String(pFolder);
    clArguments << "-ts" << clstrCatalogue;
    QProcess clUpdate;
    clUpdate.start(QStringLiteral(BVF_LUPDATE), clArguments);
    QVERIFY(clUpdate.waitForFinished(120000));
    QCOMPARE(clUpdate.exitCode(), 0);

    QFile clFile(clstrCatalogue);
    QVERIFY(clFile.open(QIODevice::ReadOnly));
    QXmlStreamReader clXml(&clFile);
    QString clstrContext, clstrSource;
    int lMessages = 0;
    QStringList clProblems;
    while (!clXml.atEnd()) {
        if (clXml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (clXml.name() == u"name") {
            clstrContext = clXml.readElementText();
        } else if (clXml.name() == u"source") {
            clstrSource = clXml.readElementText();
        } else if (clXml.name() == u"translation") {
            ++lMessages;
            const bool bUnfinished =
                clXml.attributes().value(QLatin1String("type")) == u"unfinished";
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
