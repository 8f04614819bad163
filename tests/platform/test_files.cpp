// Binary files, the file-system calls and dynamic libraries: 64-bit
// positions, end of file against read errors, failing opens, the path-length
// limit, renaming that never replaces and masked folder listings.
#include "BinaryFile.h"
#include "DynamicLibrary.h"
#include "FileSystem.h"
#include "TestPaths.h"
#include "TestRegistry.h"
#include "WidePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

using CBinaryFile_WriteMode = CBinaryFile::WriteMode;

bool WriteWithQt(const QString &clstrPath, const QByteArray &clData) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::WriteOnly) && clFile.write(clData) == clData.size();
}

QByteArray ReadWithQt(const QString &clstrPath) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::ReadOnly) ? clFile.readAll() : QByteArray("<none>");
}

// Folder entries as "name" for files, "name/" for folders, "@" for links.
QStringList Describe(const std::vector<PlatformFolderEntry> &clEntries) {
    QStringList clNames;
    for (const auto &clEntry : clEntries)
        clNames << QString::fromStdWString(clEntry.name) + (clEntry.bFolder ? "/" : "") +
                       (clEntry.bSymlink ? "@" : "");
    return clNames;
}

// A path of exactly lLength characters below clstrRoot, through nested
// folders, ending in clstrSuffix.
QString PathOfLength(const QString &clstrRoot, int lLength, const QString &clstrSuffix) {
    QString clstrFolder = clstrRoot;
    while (lLength - clstrFolder.size() > 70)
        clstrFolder += "/" + QString(50, QChar('d'));
    QDir().mkpath(clstrFolder);
    return clstrFolder + "/" + QString(lLength - clstrFolder.size() - 1 - clstrSuffix.size(), 'f') +
           clstrSuffix;
}

// A folder with files, a folder, a FIFO and links of every kind, for the
// open, existence and listing tables.
void Populate(const QString &clstrRoot) {
    QDir clDir(clstrRoot);
    for (const char *pName :
         {"readme.txt", "b5V.so", "a5V.sox", "5V.so", "a5v.so", "ab5V.so", "a5V.so.bak", "a5V.so"})
        WriteWithQt(clDir.filePath(pName), "x");
    clDir.mkpath("sub/inner");
    clDir.mkdir("plug5V.so");
    WriteWithQt(clDir.filePath("sub/inner5V.so"), "x");
    mkfifo(QFile::encodeName(clDir.filePath("fifo")).constData(), 0600);
    QFile::link(clDir.filePath("fifo"), clDir.filePath("fifo-link"));
    QFile::link(clDir.filePath("gone"), clDir.filePath("dangling"));
    QFile::link(clDir.filePath("sub"), clDir.filePath("sub-link"));
    QFile::link(clDir.filePath("a5V.so"), clDir.filePath("file-link"));
}

using AnswerFunction = int (*)(int);
int CallAnswer(const CDynamicLibrary &clLibrary, int lValue) {
    auto pAnswer = reinterpret_cast<AnswerFunction>(clLibrary.Symbol("PlatformTestModule_Answer"));
    return pAnswer == nullptr ? -1 : pAnswer(lValue);
}

} // namespace

class TestFiles : public QObject {
    Q_OBJECT

  private slots:
    void positionsBeyondFourGiB();
    void endOfFileIsNoError();
    void open_data();
    void open();
    void pathLengthLimit();
    void nativePathsAreUtf8();
    void renameNeverReplaces();
    void enumerate_data();
    void enumerate();
    void dynamicLibrary();
};

void TestFiles::positionsBeyondFourGiB() {
    QTemporaryDir clTemp;
    const QString clstrPath = clTemp.filePath("big.bvf");
    const int64_t lFar = 5LL << 30;
    QByteArray clHead(300000, Qt::Uninitialized);
    for (int i = 0; i < clHead.size(); ++i)
        clHead[i] = char(i * 7 + (i >> 8));

    CBinaryFile clWriter;
    bool bError = true;
    QVERIFY(clWriter.OpenWrite(ToWide(clstrPath).c_str()));
    QCOMPARE(clWriter.Write(clHead.constData(), size_t(clHead.size()), bError),
             size_t(clHead.size()));
    QVERIFY(!bError);
    QCOMPARE(clWriter.Position(), int64_t(clHead.size()));
    QVERIFY(clWriter.Seek(lFar));
    QCOMPARE(clWriter.Write("Z", 1, bError), size_t(1));
    QCOMPARE(clWriter.Size(), lFar + 1);
    QVERIFY(!clWriter.Seek(-1));
    QCOMPARE(clWriter.Position(), lFar + 1);
    QVERIFY(clWriter.Flush());
    QVERIFY(clWriter.Close());
    QCOMPARE(clWriter.Position(), -1);
    QCOMPARE(clWriter.Size(), -1);
    QCOMPARE(QFileInfo(clstrPath).size(), lFar + 1);

    CBinaryFile clReader;
    QVERIFY(clReader.OpenRead(ToWide(clstrPath).c_str()));
    QByteArray clBack(clHead.size(), '\0');
    QCOMPARE(clReader.Read(clBack.data(), size_t(clBack.size()), bError), size_t(clBack.size()));
    QCOMPARE(clBack, clHead);
    char aHole[4] = {1, 1, 1, 1};
    QVERIFY(clReader.Seek((4LL << 30) + 7));
    QCOMPARE(clReader.Read(aHole, sizeof(aHole), bError), sizeof(aHole));
    QCOMPARE(QByteArray(aHole, 4), QByteArray(4, '\0'));
    char aTail[16] = {};
    QVERIFY(clReader.Seek(lFar));
    QCOMPARE(clReader.Read(aTail, sizeof(aTail), bError), size_t(1));
    QVERIFY(!bError);
    QCOMPARE(aTail[0], 'Z');
    QCOMPARE(clReader.Position(), lFar + 1);
}

// Only a real error sets bError: a reader must not stop silently on a broken
// file, nor report damage at a plain end.
void TestFiles::endOfFileIsNoError() {
    QTemporaryDir clTemp;
    const QString clstrPath = clTemp.filePath("short.bvf");
    QVERIFY(WriteWithQt(clstrPath, "0123456789"));
    CBinaryFile clFile;
    QVERIFY(clFile.OpenRead(ToWide(clstrPath).c_str()));
    char aBuffer[100] = {};
    bool bError = true;
    QCOMPARE(clFile.Read(aBuffer, sizeof(aBuffer), bError), size_t(10));
    QVERIFY(!bError);
    QCOMPARE(clFile.Read(aBuffer, sizeof(aBuffer), bError), size_t(0));
    QVERIFY(!bError);
    // A file that grows after its end was reached is read on (online files).
    QFile clAppend(clstrPath);
    QVERIFY(clAppend.open(QIODevice::Append) && clAppend.write("AB") == 2);
    clAppend.close();
    QCOMPARE(clFile.Read(aBuffer, sizeof(aBuffer), bError), size_t(2));
    QCOMPARE(QByteArray(aBuffer, 2), QByteArray("AB"));

    CBinaryFile clWriter; // reading a file open for writing is an error
    QVERIFY(clWriter.OpenWrite(ToWide(clTemp.filePath("out.bvf")).c_str()));
    QCOMPARE(clWriter.Read(aBuffer, 8, bError), size_t(0));
    QVERIFY(bError);
    CBinaryFile clClosed;
    bError = false;
    QCOMPARE(clClosed.Read(aBuffer, 8, bError), size_t(0));
    QVERIFY(bError);
    bError = false;
    QCOMPARE(clClosed.Write(aBuffer, 8, bError), size_t(0));
    QVERIFY(bError);
    QVERIFY(!clClosed.Flush());
    QVERIFY(clClosed.Close());
    CBinaryFile clFull;
    QVERIFY(clFull.OpenWrite(L"/dev/full"));
    bError = false;
    QCOMPARE(clFull.Write(aBuffer, sizeof(aBuffer), bError), size_t(0));
    QVERIFY(bError);
}

// "r"/"w"/"n"/"x": OpenRead, OpenWrite to create or replace, to create new
// only, to replace an existing file only. Existence is asked of the same path.
void TestFiles::open_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("name"); // in a folder filled by Populate
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("after"); // the file's bytes after "new" was written
    auto row = [](const char *pRow, const char *pMode, const char *pName, bool bOpens, bool bExists,
                  const char *pAfter) {
        QTest::newRow(pRow) << pMode << pName << bOpens << bExists << QString(pAfter);
    };
    row("read file", "r", "a5V.so", true, true, "x");
    row("read missing", "r", "missing.bvf", false, false, "<none>");
    row("read folder", "r", "sub", false, true, "<none>");
    row("read in missing folder", "r", "no/in.bvf", false, false, "<none>");
    // Reading these would wait for a writer or never end: refused at once.
    row("read FIFO", "r", "fifo", false, true, "");
    row("read link to FIFO", "r", "fifo-link", false, true, "");
    row("read device", "r", "/dev/zero", false, true, "");
    row("write replaces", "w", "a5V.so", true, true, "new");
    row("write creates", "w", "new.bvf", true, false, "new");
    row("write folder", "w", "sub", false, true, "<none>");
    row("write in missing folder", "w", "no/out.bvf", false, false, "<none>");
    row("new: creates", "n", "new.bvf", true, false, "new");
    row("new: never over a file", "n", "a5V.so", false, true, "x");
    // Something stands there: a file written to this name would land elsewhere.
    row("new: never through a dangling link", "n", "dangling", false, true, "<none>");
    row("existing: replaces", "x", "a5V.so", true, true, "new");
    row("existing: through a link", "x", "file-link", true, true, "new");
    row("existing: never creates", "x", "new.bvf", false, false, "<none>");
    row("existing: not where a dangling link points", "x", "dangling", false, true, "<none>");
}

void TestFiles::open() {
    QFETCH(QString, mode);
    QFETCH(QString, name);
    QFETCH(bool, opens);
    QFETCH(bool, exists);
    QFETCH(QString, after);
    QTemporaryDir clTemp;
    Populate(clTemp.path());
    const QString clstrPath = name.startsWith(u'/') ? name : clTemp.filePath(name);
    const std::wstring clstrWide = ToWide(clstrPath);
    QCOMPARE(PlatformPathExists(clstrWide.c_str()), exists);

    CBinaryFile clFile;
    const bool bOpened =
        mode == "r"   ? clFile.OpenRead(clstrWide.c_str())
        : mode == "w" ? clFile.OpenWrite(clstrWide.c_str())
        : mode == "n" ? clFile.OpenWrite(clstrWide.c_str(), CBinaryFile_WriteMode::CreateNew)
                      : clFile.OpenWrite(clstrWide.c_str(), CBinaryFile_WriteMode::ReplaceExisting);
    QCOMPARE(bOpened, opens);
    QCOMPARE(clFile.IsOpen(), opens);
    if (!opens)
        return;
    // A second open on the same object is refused and keeps the first file.
    QVERIFY(!clFile.OpenRead(ToWide(clTemp.filePath("b5V.so")).c_str()));
    QVERIFY(!clFile.OpenWrite(ToWide(clTemp.filePath("other.bvf")).c_str()));
    bool bError = false;
    if (mode != "r")
        QCOMPARE(clFile.Write("new", 3, bError), size_t(3));
    QVERIFY(clFile.Close());
    QCOMPARE(QString::fromLatin1(ReadWithQt(clstrPath)), after);
    QVERIFY(!QFileInfo::exists(clTemp.filePath("other.bvf")));
}

// Paths of 259 characters work everywhere; one of 260 is refused, never
// shortened: its first 259 characters name another file, left untouched.
void TestFiles::pathLengthLimit() {
    QTemporaryDir clTemp;
    const QString clstr259 = PathOfLength(clTemp.path(), 259, "");
    const QString clstr260 = clstr259 + "g";
    QCOMPARE(clstr259.size(), 259);
    QVERIFY(WriteWithQt(clstr260, "long"));
    CBinaryFile clFile;
    bool bError = false;
    QVERIFY(clFile.OpenWrite(ToWide(clstr259).c_str()));
    QCOMPARE(clFile.Write("short", 5, bError), size_t(5));
    QVERIFY(clFile.Close());
    QVERIFY(!clFile.OpenRead(ToWide(clstr260).c_str()));
    QVERIFY(!clFile.OpenWrite(ToWide(clstr260).c_str()));
    QVERIFY(PlatformPathExists(ToWide(clstr259).c_str()));
    QVERIFY(!PlatformPathExists(ToWide(clstr260).c_str()));
    QVERIFY(!PlatformRenameFile(ToWide(clstr259).c_str(), ToWide(clstr260 + "h").c_str()));
    QCOMPARE(ReadWithQt(clstr259), QByteArray("short"));
    QCOMPARE(ReadWithQt(clstr260), QByteArray("long"));
    QVERIFY(!clFile.OpenRead(nullptr));
    QVERIFY(!clFile.OpenWrite(L""));
    QVERIFY(!PlatformPathExists(nullptr));
    QVERIFY(!PlatformPathExists(L""));
}

// Against Qt's own UTF-8 over random names from every code point range; a
// surrogate or a value beyond Unicode names no file.
void TestFiles::nativePathsAreUtf8() {
    QRandomGenerator clRandom(7);
    const char32_t aLimits[] = {0x80, 0x800, 0xD800, 0x10000, 0x110000};
    for (int lName = 0; lName < 2000; ++lName) {
        std::u32string clstrName;
        for (int i = int(clRandom.bounded(1, 12)); i > 0; --i) {
            const char32_t cLimit = aLimits[clRandom.bounded(5)];
            char32_t c = char32_t(clRandom.bounded(1u, uint32_t(cLimit)));
            clstrName += (c >= 0xD800 && c <= 0xDFFF) ? char32_t(0xE000) : c;
        }
        const QString clstrQt = QString::fromUcs4(clstrName.data(), qsizetype(clstrName.size()));
        const std::wstring clstrWide(clstrName.begin(), clstrName.end());
        std::string clstrNative;
        QVERIFY(WidePathToNative(clstrWide.c_str(), clstrNative));
        QCOMPARE(QByteArray::fromStdString(clstrNative), clstrQt.toUtf8());
        QVERIFY(NativePathToWide(clstrNative) == clstrWide);
    }
    std::string clstrNative;
    for (const wchar_t *pBad : {L"a\xD800",
                                L"\xDFFF"
                                L"b",
                                L"\x110000"})
        QVERIFY(!WidePathToNative(pBad, clstrNative));
    QVERIFY(NativePathToWide("a\x80"
                             "b") == L"a\xFFFD"
                                     L"b"); // a stray continuation byte
}

void TestFiles::renameNeverReplaces() {
    QTemporaryDir clTemp;
    const std::wstring clstrSource = ToWide(clTemp.filePath("source.bvf"));
    const std::wstring clstrTaken = ToWide(clTemp.filePath("taken.bvf"));
    const std::wstring clstrFree = ToWide(clTemp.filePath("free.bvf"));
    QVERIFY(WriteWithQt(clTemp.filePath("source.bvf"), "source data"));
    QVERIFY(WriteWithQt(clTemp.filePath("taken.bvf"), "taken data"));
    QVERIFY(QFile::link(clTemp.filePath("gone"), clTemp.filePath("dangling")));
    QVERIFY(!PlatformRenameFile(clstrSource.c_str(), clstrTaken.c_str()));
    QVERIFY(!PlatformRenameFile(clstrSource.c_str(), clstrSource.c_str()));
    QVERIFY(!PlatformRenameFile(clstrSource.c_str(), ToWide(clTemp.filePath("dangling")).c_str()));
    QVERIFY(!PlatformRenameFile(clstrSource.c_str(), ToWide(clTemp.filePath("no/x")).c_str()));
    QVERIFY(!PlatformRenameFile(ToWide(clTemp.filePath("missing")).c_str(), clstrFree.c_str()));
    QVERIFY(!PlatformRenameFile(clstrSource.c_str(), nullptr));
    QCOMPARE(ReadWithQt(clTemp.filePath("taken.bvf")), QByteArray("taken data"));
    QVERIFY(PlatformRenameFile(clstrSource.c_str(), clstrFree.c_str()));
    QCOMPARE(ReadWithQt(clTemp.filePath("free.bvf")), QByteArray("source data"));
    QVERIFY(!QFileInfo::exists(clTemp.filePath("source.bvf")));
}

void TestFiles::enumerate_data() {
    QTest::addColumn<QString>("folder"); // "" the populated folder, "-" its subfolders
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("expected"); // "!": the call fails
    auto row = [](const char *pRow, const char *pFolder, const char *pMask, const char *pExpected) {
        QTest::newRow(pRow) << pFolder << pMask << pExpected;
    };
    row("suffix", "", "*5V.so", "5V.so a5V.so ab5V.so b5V.so plug5V.so/");
    row("one character", "", "?5V.so", "a5V.so b5V.so");
    row("exact, other case", "", "A5V.SO", "");
    row("prefix", "", "a*", "a5V.so a5V.so.bak a5V.sox a5v.so ab5V.so");
    row("double star", "", "**5V.so", "5V.so a5V.so ab5V.so b5V.so plug5V.so/");
    row("star in the middle", "", "a*.so", "a5V.so a5v.so ab5V.so");
    row("backtracking", "", "*5V.so*", "5V.so a5V.so a5V.so.bak a5V.sox ab5V.so b5V.so plug5V.so/");
    row("two stars two dots", "", "*.*.*", "a5V.so.bak");
    row("links", "", "*i*", "dangling@ fifo fifo-link@ file-link@ sub-link/@");
    row("subfolders, links marked", "-", "", "plug5V.so/ sub/ sub-link/@");
    row("trailing separator", "sub/", "*", "inner/ inner5V.so");
    row("empty folder", "sub/inner", "*", "");
    row("missing folder", "missing", "*", "!");
    row("a file", "readme.txt", "*", "!");
}

void TestFiles::enumerate() {
    QFETCH(QString, folder);
    QFETCH(QString, mask);
    QFETCH(QString, expected);
    QTemporaryDir clTemp;
    Populate(clTemp.path());
    const bool bSucceeds = expected != "!";
    std::vector<PlatformFolderEntry> clEntries(2); // the list is replaced, never extended
    const bool bResult = folder == "-"
                             ? PlatformEnumerateSubfolders(ToWide(clTemp.path()).c_str(), clEntries)
                             : PlatformEnumerateFolder(ToWide(clTemp.filePath(folder)).c_str(),
                                                       ToWide(mask).c_str(), clEntries);
    QCOMPARE(bResult, bSucceeds);
    QCOMPARE(Describe(clEntries).join(u' '), bSucceeds ? expected : QString());
}

// Load by path, look up, call, unload; a bare name means the working folder,
// not a search along the system's library path.
void TestFiles::dynamicLibrary() {
    QTemporaryDir clTemp;
    const QString clstrModule = QStringLiteral(PLATFORM_TEST_MODULE_PATH);
    const QString clstr259 = PathOfLength(clTemp.path(), 259, ".so");
    QVERIFY(QFile::copy(clstrModule, clstr259));
    QVERIFY(QFile::copy(clstrModule, clstr259 + "x"));
    QVERIFY(QFile::copy(clstrModule, clTemp.filePath("copy5V.so")));
    QVERIFY(WriteWithQt(clTemp.filePath("text5V.so"), "not a library\n"));

    CDynamicLibrary clLibrary;
    QVERIFY(clLibrary.Symbol("PlatformTestModule_Answer") == nullptr);
    for (const QString &clstrBad : {clTemp.filePath("missing5V.so"), clTemp.filePath("text5V.so"),
                                    clTemp.path(), clstr259 + "x"}) {
        QVERIFY2(!clLibrary.Load(ToWide(clstrBad).c_str()), qPrintable(clstrBad));
        QVERIFY(!clLibrary.IsLoaded());
    }
    QVERIFY(!clLibrary.Load(nullptr));
    QVERIFY(clLibrary.Load(ToWide(clstr259).c_str()));
    QVERIFY(clLibrary.IsLoaded());
    QCOMPARE(CallAnswer(clLibrary, 14), 43);
    QVERIFY(clLibrary.Symbol("PlatformTestModule_Missing") == nullptr);
    QVERIFY(clLibrary.Symbol(nullptr) == nullptr);
    QVERIFY(!clLibrary.Load(ToWide(clstrModule).c_str())); // one library per object
    QCOMPARE(CallAnswer(clLibrary, 0), 1);
    clLibrary.Unload();
    QVERIFY(!clLibrary.IsLoaded());
    QVERIFY(clLibrary.Symbol("PlatformTestModule_Answer") == nullptr);
    clLibrary.Unload();

    const QString clstrOldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(clTemp.path()));
    const bool bBareLoaded = clLibrary.Load(L"copy5V.so");
    QVERIFY(QDir::setCurrent(clstrOldCurrent));
    QVERIFY(bBareLoaded);
    QCOMPARE(CallAnswer(clLibrary, 2), 7);
}

BVF_TEST_MAIN(TestFiles)
#include "test_files.moc"
