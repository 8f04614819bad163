// Finding protocol component libraries below a folder, loading them and
// keeping only those that export every function and accept Init.
#include "ProtoComponent.h"
#include "TestPaths.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

namespace {

const QString kStandIn = QStringLiteral(BVF_STANDIN_PATH);
const QString kLacking = QStringLiteral(BVF_STANDIN_LACKING_PATH);
const QString kRefusing = QStringLiteral(BVF_STANDIN_REFUSING_PATH);

bool Touch(const QString &clstrPath) {
    if (!QDir().mkpath(QFileInfo(clstrPath).path()))
        return false;
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::WriteOnly);
}

bool CopyInto(const QString &clstrLibrary, const QString &clstrTarget) {
    return QDir().mkpath(QFileInfo(clstrTarget).path()) && QFile::copy(clstrLibrary, clstrTarget);
}

// The candidates below the folder, relative to it.
QStringList Found(const QString &clstrRoot) {
    QStringList clFound;
    for (const std::wstring &clstrPath : FindProtoComponentCandidates(ToWide(clstrRoot)))
        clFound << QString::fromStdWString(clstrPath).mid(clstrRoot.size() + 1);
    return clFound;
}

QStringList Loaded(const CProtoComponentTable &clTable, const QString &clstrRoot) {
    QStringList clLoaded;
    for (const std::wstring &clstrPath : clTable.Paths())
        clLoaded << QString::fromStdWString(clstrPath).mid(clstrRoot.size() + 1);
    return clLoaded;
}

} // namespace

class TestProtoComponents : public QObject {
    Q_OBJECT

  private slots:
    void searchOrder();
    void companionNamesSkipped();
    void candidateLimit();
    void linksAndDepthDoNotHang();
    void pathLengthLimit();
    void loadingKeepsOnlyReadyComponents();
    void twelveLoadedAtMost();
};

void TestProtoComponents::searchOrder() {
    QTemporaryDir clTemp;
    const QString clstrRoot = clTemp.path();
    for (const char *pName : {"b5V.so", "a5V.so", "A/x5V.so", "A/B/y5V.so", "A/z5V.so.txt",
                              "A/c5v.so", "C/w5V.so", "other.so", "d5V.so/inner5V.so"})
        QVERIFY(Touch(clstrRoot + u'/' + QLatin1String(pName)));

    // A folder's own libraries first, then its subfolders one after the
    // other, each searched whole before the next; a folder whose name
    // matches is searched, never taken.
    const QStringList clExpected{"a5V.so",     "b5V.so",   "A/x5V.so",
                                 "A/B/y5V.so", "C/w5V.so", "d5V.so/inner5V.so"};
    QCOMPARE(Found(clstrRoot), clExpected);
    QCOMPARE(FindProtoComponentCandidates(ToWide(clstrRoot + u'/')).size(),
             size_t(clExpected.size()));
    QVERIFY(Found(clstrRoot + QStringLiteral("/missing")).isEmpty());
    QVERIFY(FindProtoComponentCandidates(std::wstring()).empty());
}

void TestProtoComponents::companionNamesSkipped() {
    QTemporaryDir clTemp;
    const QString clstrRoot = clTemp.path();
    QStringList clCompanions;
    for (const wchar_t *pName : kProtoCompanionNames)
        clCompanions << QString::fromWCharArray(pName);
    QCOMPARE(QSet<QString>(clCompanions.begin(), clCompanions.end()).size(),
             int(kProtoCompanionCount));
    for (const QString &clstrName : clCompanions) {
        QVERIFY(clstrName.endsWith(QStringLiteral("5V.so")));
        QVERIFY(Touch(clstrRoot + QStringLiteral("/sub/") + clstrName));
    }
    // The comparison is exact: another letter case is a component.
    const QString clstrOtherCase = clCompanions.first().toLower().replace("5v.so", "5V.so");
    QVERIFY(Touch(clstrRoot + QStringLiteral("/sub/") + clstrOtherCase));
    QCOMPARE(Found(clstrRoot), QStringList{QStringLiteral("sub/") + clstrOtherCase});
}

void TestProtoComponents::candidateLimit() {
    QTemporaryDir clTemp;
    const QString clstrRoot = clTemp.path();
    QStringList clNames;
    for (int i = 1; i <= 17; ++i) {
        clNames << QStringLiteral("p%1_5V.so").arg(i, 2, 10, QLatin1Char('0'));
        QVERIFY(Touch(clstrRoot + u'/' + clNames.last()));
    }
    QVERIFY(Touch(clstrRoot + QStringLiteral("/sub/q5V.so")));
    // The 17th is not taken, and the search ends there.
    QCOMPARE(Found(clstrRoot), clNames.mid(0, 16));

    // The limit counts candidates in subfolders alike.
    QVERIFY(QFile::remove(clstrRoot + u'/' + clNames.takeLast()));
    QCOMPARE(Found(clstrRoot), clNames);
    QVERIFY(QFile::remove(clstrRoot + u'/' + clNames.takeLast()));
    QVERIFY(Touch(clstrRoot + QStringLiteral("/sub/r5V.so")));
    QCOMPARE(Found(clstrRoot), clNames + QStringList{"sub/q5V.so"});
}

void TestProtoComponents::linksAndDepthDoNotHang() {
    QTemporaryDir clTemp;
    QTemporaryDir clElsewhere;
    const QString clstrRoot = clTemp.path();
    QVERIFY(Touch(clstrRoot + QStringLiteral("/A/a5V.so")));
    // A link back to the top would run in a circle; one to a folder beside
    // it would leave the tree.
    QVERIFY(QFile::link(clstrRoot, clstrRoot + QStringLiteral("/A/loop")));
    QVERIFY(Touch(clElsewhere.path() + QStringLiteral("/e5V.so")));
    QVERIFY(QFile::link(clElsewhere.path(), clstrRoot + QStringLiteral("/B")));
    QCOMPARE(Found(clstrRoot), QStringList{"A/a5V.so"});

    // A deep tree is searched to a bounded depth only.
    QString clstrFolder = clstrRoot + QStringLiteral("/deep");
    QString clstrRelative = QStringLiteral("deep");
    QStringList clReachable{"A/a5V.so"};
    for (uint32_t lDepth = 1; lDepth <= kMaxProtoSearchDepth + 2; ++lDepth) {
        const QString clstrName = QStringLiteral("/l%1_5V.so").arg(lDepth);
        QVERIFY(Touch(clstrFolder + clstrName));
        if (lDepth <= kMaxProtoSearchDepth)
            clReachable << clstrRelative + clstrName;
        clstrFolder += QStringLiteral("/d");
        clstrRelative += QStringLiteral("/d");
    }
    QCOMPARE(Found(clstrRoot), clReachable);
}

void TestProtoComponents::pathLengthLimit() {
    QTemporaryDir clTemp;
    const QString clstrRoot = clTemp.path();
    // Names that make the whole path exactly 259 and 260 characters long.
    const QString clstrFolder = clstrRoot + QStringLiteral("/long");
    const int lNameFor259 = 259 - int(clstrFolder.size()) - 1;
    QVERIFY(lNameFor259 > 10 && lNameFor259 < 250);
    const QString clstrFits = QString(lNameFor259 - 5, u'a') + QStringLiteral("5V.so");
    const QString clstrTooLong = QString(lNameFor259 - 4, u'b') + QStringLiteral("5V.so");
    QVERIFY(Touch(clstrFolder + u'/' + clstrFits));
    QVERIFY(Touch(clstrFolder + u'/' + clstrTooLong));
    QCOMPARE((clstrFolder + u'/' + clstrFits).size(), 259);
    // Left out rather than shortened: a shortened path names another file.
    QCOMPARE(Found(clstrRoot), QStringList{QStringLiteral("long/") + clstrFits});
}

void TestProtoComponents::loadingKeepsOnlyReadyComponents() {
    QTemporaryDir clTemp;
    const QString clstrRoot = clTemp.path();
    QVERIFY(CopyInto(kLacking, clstrRoot + QStringLiteral("/1lacking5V.so")));
    QVERIFY(CopyInto(kStandIn, clstrRoot + QStringLiteral("/2good5V.so")));
    QVERIFY(CopyInto(kRefusing, clstrRoot + QStringLiteral("/3refusing5V.so")));
    QVERIFY(Touch(clstrRoot + QStringLiteral("/4empty5V.so")));
    QVERIFY(CopyInto(kStandIn, clstrRoot + QStringLiteral("/sub/5good5V.so")));

    CProtoComponentTable clTable;
    QCOMPARE(clTable.LoadFrom(ToWide(clstrRoot)), 2u);
    QCOMPARE(Loaded(clTable, clstrRoot), (QStringList{"2good5V.so", "sub/5good5V.so"}));
    // The stand-in answers Init with 0 only for the agreed request and the
    // leading info fields 6 and 10, so being loaded proves both were sent.
    for (uint32_t i = 0; i < clTable.Count(); ++i) {
        const StructProtoComponent &clEntry = clTable.Entries()[i];
        QVERIFY(clEntry.library.IsLoaded());
        uint32_t lHead[2] = {};
        std::memcpy(lHead, clEntry.info, sizeof lHead);
        QCOMPARE(lHead[0], 6u);
        QCOMPARE(lHead[1], 10u);
        QCOMPARE(clEntry.FeatureWord(), kProtoFeatureTetraTime | kProtoFeatureDmrTime);
        QCOMPARE(clEntry.ProtocolByte(), uint8_t(kProtoProtocolTetra | kProtoProtocolDmr));
        for (void *pFunction : clEntry.functions)
            QVERIFY(pFunction != nullptr);
        QVERIFY(clEntry.NewAnalyseObject != nullptr && clEntry.GetAnalysedStructData != nullptr);
    }
    // The refused libraries left nothing behind in the table.
    QVERIFY(!clTable.Entries()[2].library.IsLoaded());

    clTable.Unload();
    QCOMPARE(clTable.Count(), 0u);
    QVERIFY(clTable.Paths().empty());
    QVERIFY(!clTable.Entries()[0].library.IsLoaded());
    QCOMPARE(clTable.LoadFrom(ToWide(clstrRoot + QStringLiteral("/sub"))), 1u);
}

void TestProtoComponents::twelveLoadedAtMost() {
    QTemporaryDir clTemp;
    const QString clstrRoot = clTemp.path();
    QStringList clNames;
    for (int i = 1; i <= 14; ++i) {
        clNames << QStringLiteral("c%1_5V.so").arg(i, 2, 10, QLatin1Char('0'));
        QVERIFY(CopyInto(kStandIn, clstrRoot + u'/' + clNames.last()));
    }
    CProtoComponentTable clTable;
    QCOMPARE(clTable.LoadFrom(ToWide(clstrRoot)), kMaxProtoComponents);
    QCOMPARE(Loaded(clTable, clstrRoot), clNames.mid(0, 12));
    // Full: nothing more is taken.
    QCOMPARE(clTable.Load({ToWide(clstrRoot + u'/' + clNames.last())}), kMaxProtoComponents);
}

BVF_TEST_MAIN(TestProtoComponents)
#include "test_components.moc"
