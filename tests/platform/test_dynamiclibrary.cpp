// Loading a shared library by path and calling a function looked up by name.
#include "DynamicLibrary.h"
#include "TestPaths.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

using AnswerFunction = int (*)(int);

const QString kModulePath = QStringLiteral(PLATFORM_TEST_MODULE_PATH);

int CallAnswer(const CDynamicLibrary &clLibrary, int lValue) {
    auto pAnswer = reinterpret_cast<AnswerFunction>(clLibrary.Symbol("PlatformTestModule_Answer"));
    return pAnswer == nullptr ? -1 : pAnswer(lValue);
}

} // namespace

class TestDynamicLibrary : public QObject {
    Q_OBJECT

  private slots:
    void loadLookUpCallUnload();
    void loadFailures();
    void pathLengthLimit();
};

void TestDynamicLibrary::loadLookUpCallUnload() {
    QTemporaryDir clTemp;
    const QString clstrCopy = clTemp.filePath("copy5V.so");
    QVERIFY(QFile::copy(kModulePath, clstrCopy));

    CDynamicLibrary clLibrary;
    QVERIFY(!clLibrary.IsLoaded());
    QVERIFY(clLibrary.Symbol("PlatformTestModule_Answer") == nullptr);
    QVERIFY(clLibrary.Load(ToWide(clstrCopy).c_str()));
    QVERIFY(clLibrary.IsLoaded());
    QCOMPARE(CallAnswer(clLibrary, 14), 43);
    QVERIFY(clLibrary.Symbol("PlatformTestModule_Missing") == nullptr);
    QVERIFY(clLibrary.Symbol(nullptr) == nullptr);
    // One library per object: a second load is refused, the first stays.
    QVERIFY(!clLibrary.Load(ToWide(kModulePath).c_str()));
    QCOMPARE(CallAnswer(clLibrary, 0), 1);

    clLibrary.Unload();
    QVERIFY(!clLibrary.IsLoaded());
    QVERIFY(clLibrary.Symbol("PlatformTestModule_Answer") == nullptr);
    clLibrary.Unload();

    // A bare file name means the file in the working folder, not a search
    // along the system's library path.
    const QString clstrOldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(clTemp.path()));
    const bool bBareLoaded = clLibrary.Load(L"copy5V.so");
    QVERIFY(QDir::setCurrent(clstrOldCurrent));
    QVERIFY(bBareLoaded);
    QCOMPARE(CallAnswer(clLibrary, 2), 7);
}

void TestDynamicLibrary::loadFailures() {
    QTemporaryDir clTemp;
    QFile clText(clTemp.filePath("text5V.so"));
    QVERIFY(clText.open(QIODevice::WriteOnly));
    clText.write("not a library\n");
    clText.close();

    CDynamicLibrary clLibrary;
    QVERIFY(!clLibrary.Load(ToWide(clTemp.filePath("missing5V.so")).c_str()));
    QVERIFY(!clLibrary.IsLoaded());
    QVERIFY(!clLibrary.Load(ToWide(clTemp.filePath("text5V.so")).c_str()));
    QVERIFY(!clLibrary.IsLoaded());
    QVERIFY(!clLibrary.Load(ToWide(clTemp.path()).c_str()));
    QVERIFY(!clLibrary.Load(nullptr));
    QVERIFY(!clLibrary.IsLoaded());
}

void TestDynamicLibrary::pathLengthLimit() {
    // The same library under a 259- and a 260-character path: only the first
    // is loaded.
    QTemporaryDir clTemp;
    QString clstrFolder = clTemp.path();
    while (259 - clstrFolder.size() - 1 > 60)
        clstrFolder += "/" + QString(50, QChar('d'));
    QVERIFY(QDir().mkpath(clstrFolder));
    const QString clstrPath259 =
        clstrFolder + "/" + QString(259 - int(clstrFolder.size()) - 1 - 3, QChar('m')) + ".so";
    const QString clstrPath260 = clstrPath259 + "x";
    QCOMPARE(clstrPath259.size(), 259);
    QVERIFY(QFile::copy(kModulePath, clstrPath259));
    QVERIFY(QFile::copy(kModulePath, clstrPath260));

    CDynamicLibrary clLibrary;
    QVERIFY(!clLibrary.Load(ToWide(clstrPath260).c_str()));
    QVERIFY(clLibrary.Load(ToWide(clstrPath259).c_str()));
    QCOMPARE(CallAnswer(clLibrary, 1), 4);
}

BVF_TEST_MAIN(TestDynamicLibrary)
#include "test_dynamiclibrary.moc"
