// Finding protocol component libraries, keeping only those that export every
// function and accept Init (stand-ins: good, lacking a function, refusing).
#include "ProtoComponent.h"
#include "TestPaths.h"
#include "TestRegistry.h"

#include <algorithm>
#include <cstring>

namespace {

bool Place(const QString &clstrPath, const QString &clstrLibrary = QString()) {
    QDir().mkpath(QFileInfo(clstrPath).path());
    QFile clFile(clstrPath);
    return clstrLibrary.isEmpty() ? clFile.open(QIODevice::WriteOnly)
                                  : QFile::copy(clstrLibrary, clstrPath);
}

QString Relative(const std::vector<std::wstring> &clPaths, const QString &clstrRoot) {
    QStringList clNames;
    for (const std::wstring &clstrPath : clPaths)
        clNames << QString::fromStdWString(clstrPath).mid(clstrRoot.size() + 1);
    return clNames.join(u' ');
}

} // namespace

class TestProtoComponents : public QObject {
    Q_OBJECT

  private slots:
    void search_data();
    void search();
    void loadingKeepsOnlyReadyComponents();
};

void TestProtoComponents::search_data() {
    QTest::addColumn<QString>("files"); // "@" marks a link to the top folder
    QTest::addColumn<QString>("expected");
    QString clstrSeventeen, clstrSixteen;
    for (int i = 1; i <= 17; ++i) {
        clstrSeventeen += QStringLiteral("p%1_5V.so ").arg(i, 2, 10, QLatin1Char('0'));
        if (i == 16)
            clstrSixteen = clstrSeventeen.trimmed();
    }
    QString clstrDeep, clstrReachable, clstrFolder = QStringLiteral("deep/");
    for (uint32_t lDepth = 1; lDepth <= kMaxProtoSearchDepth + 2; ++lDepth) {
        clstrDeep += clstrFolder + QStringLiteral("l%1_5V.so ").arg(lDepth);
        if (lDepth <= kMaxProtoSearchDepth)
            clstrReachable = clstrDeep.trimmed();
        clstrFolder += QStringLiteral("d/");
    }
    // A folder's own libraries by name first, then each subfolder searched
    // whole before the next; a folder whose name matches is searched, never
    // taken.
    QTest::newRow("search order")
        << "b5V.so a5V.so A/x5V.so A/B/y5V.so A/z5V.so.txt A/c5v.so C/w5V.so other.so "
           "d5V.so/inner5V.so"
        << "a5V.so b5V.so A/x5V.so A/B/y5V.so C/w5V.so d5V.so/inner5V.so";
    QTest::newRow("the 17th is not taken, the search ends")
        << clstrSeventeen + "sub/q5V.so" << clstrSixteen;
    // A link back to the top would run in a circle; a deep tree is searched
    // to a bounded depth only.
    QTest::newRow("links not followed, depth bounded")
        << "A/a5V.so A/loop@ " + clstrDeep << "A/a5V.so " + clstrReachable;
}

void TestProtoComponents::search() {
    QFETCH(QString, files);
    QFETCH(QString, expected);
    QTemporaryDir clTemp;
    const QString clstrRoot = clTemp.path();
    for (const QString &clstrFile : files.split(u' ', Qt::SkipEmptyParts)) {
        if (clstrFile.endsWith(u'@'))
            QVERIFY(QFile::link(clstrRoot, clstrRoot + u'/' + clstrFile.chopped(1)));
        else
            QVERIFY(Place(clstrRoot + u'/' + clstrFile));
    }
    QCOMPARE(Relative(FindProtoComponentCandidates(ToWide(clstrRoot + u'/')), clstrRoot), expected);
}

void TestProtoComponents::loadingKeepsOnlyReadyComponents() {
    QTemporaryDir clTemp;
    const QString clstrRoot = clTemp.path();
    const QString clstrGood = QStringLiteral(BVF_STANDIN_PATH);
    QVERIFY(Place(clstrRoot + "/1lacking5V.so", QStringLiteral(BVF_STANDIN_LACKING_PATH)) &&
            Place(clstrRoot + "/2good5V.so", clstrGood) &&
            Place(clstrRoot + "/3refusing5V.so", QStringLiteral(BVF_STANDIN_REFUSING_PATH)) &&
            Place(clstrRoot + "/4empty5V.so"));
    // Companion libraries are skipped by their exact names; another letter
    // case is a component. A path of 260 characters is left out, not cut.
    for (const wchar_t *pName : kProtoCompanionNames)
        QVERIFY(Place(clstrRoot + "/5/" + QString::fromWCharArray(pName), clstrGood));
    const QString clstrOtherCase = QString::fromWCharArray(kProtoCompanionNames[0]).toLower();
    QVERIFY(Place(clstrRoot + "/5/" + clstrOtherCase.chopped(5) + "5V.so", clstrGood));
    const QString clstrFits =
        clstrRoot + "/6/" + QString(259 - clstrRoot.size() - 8, 'a') + "5V.so";
    QVERIFY(clstrFits.size() == 259 && Place(clstrFits, clstrGood));
    QVERIFY(Place(QString(clstrFits).replace("/6/", "/7/b"), clstrGood));

    CProtoComponentTable clTable;
    QCOMPARE(clTable.LoadFrom(ToWide(clstrRoot)), 3u);
    QCOMPARE(Relative(clTable.Paths(), clstrRoot), "2good5V.so 5/" + clstrOtherCase.chopped(5) +
                                                       "5V.so " +
                                                       clstrFits.mid(clstrRoot.size() + 1));
    // The stand-in answers Init with 0 only for the agreed request and the
    // leading info fields 6 and 10, so being loaded proves both were sent.
    for (uint32_t i = 0; i < clTable.Count(); ++i) {
        const StructProtoComponent &clEntry = clTable.Entries()[i];
        uint32_t lHead[2] = {};
        std::memcpy(lHead, clEntry.info, sizeof lHead);
        QVERIFY(clEntry.library.IsLoaded() && lHead[0] == 6 && lHead[1] == 10);
        QCOMPARE(clEntry.FeatureWord(), kProtoFeatureTetraTime | kProtoFeatureDmrTime);
        QCOMPARE(clEntry.ProtocolByte(), uint8_t(kProtoProtocolTetra | kProtoProtocolDmr));
        QVERIFY(std::ranges::none_of(clEntry.functions, [](void *p) { return p == nullptr; }) &&
                clEntry.NewAnalyseObject && clEntry.GetAnalysedStructData);
    }
    QVERIFY(!clTable.Entries()[3].library.IsLoaded()); // refused ones leave nothing behind
    clTable.Unload();
    QVERIFY(clTable.Count() == 0 && clTable.Paths().empty() &&
            !clTable.Entries()[0].library.IsLoaded());

    // Twelve at most; a full table takes nothing more.
    for (int i = 10; i < 24; ++i)
        QVERIFY(Place(clstrRoot + QStringLiteral("/8/c%1_5V.so").arg(i), clstrGood));
    QCOMPARE(clTable.LoadFrom(ToWide(clstrRoot + "/8")), kMaxProtoComponents);
    QVERIFY(Relative(clTable.Paths(), clstrRoot).endsWith("8/c21_5V.so"));
    QCOMPARE(clTable.Load({ToWide(clstrRoot + "/8/c23_5V.so")}), kMaxProtoComponents);
}

BVF_TEST_MAIN(TestProtoComponents)
#include "test_components.moc"
