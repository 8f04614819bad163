// Binary files and the file-system calls: 64-bit
// positions, end of file against read errors, failing opens, the path-length
// limit, renaming that never replaces and masked folder listings.
#include "BinaryFile.h"
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

#include <functional>

#include <sys/stat.h>

namespace {

using WriteMode = CBinaryFile::WriteMode;

bool WriteWithQt(const QString &clstrPath, const QByteArray &clData) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::WriteOnly) && clFile.write(clData) == clData.size();
}

QByteArray ReadWithQt(const QString &clstrPath) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::ReadOnly) ? clFile.readAll() : QByteArray("<none>");
}

std::wstring W(const QString &clstrPath) {
    return ToWide(clstrPath);
}

// A path of exactly lLength characters below clstrRoot, through nested folders.
QString PathOfLength(const QString &clstrRoot, int lLength) {
    QString clstrFolder = clstrRoot;
    while (lLength - clstrFolder.size() > 70)
        clstrFolder += "/" + QString(50, QChar('d'));
    QDir().mkpath(clstrFolder);
    return clstrFolder + "/" + QString(lLength - clstrFolder.size() - 1, 'f');
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
};

// Writes past 4 GiB leave a hole of zeros; Close forgets the position.
void TestFiles::positionsBeyondFourGiB() {
    QTemporaryDir clTemp;
    const std::wstring clstrPath = W(clTemp.filePath("big.bvf"));
    const int64_t lFar = 5LL << 30;
    QByteArray clHead(300000, Qt::Uninitialized), clBack(clHead.size(), '\0');
    for (int i = 0; i < clHead.size(); ++i)
        clHead[i] = char(i * 7 + (i >> 8));
    CBinaryFile clWriter, clReader;
    bool bError = false;
    QVERIFY(clWriter.OpenWrite(clstrPath.c_str()));
    QCOMPARE(clWriter.Write(clHead.constData(), size_t(clHead.size()), bError),
             size_t(clHead.size()));
    QCOMPARE(clWriter.Position(), int64_t(clHead.size()));
    QVERIFY(clWriter.Seek(lFar) && clWriter.Write("Z", 1, bError) == 1 && !clWriter.Seek(-1));
    QCOMPARE(clWriter.Size(), lFar + 1);
    QCOMPARE(clWriter.Position(), lFar + 1);
    QVERIFY(clWriter.Flush() && clWriter.Close() && !bError);
    QVERIFY(clWriter.Position() == -1 && clWriter.Size() == -1);
    QVERIFY(clReader.OpenRead(clstrPath.c_str()));
    QCOMPARE(clReader.Read(clBack.data(), size_t(clBack.size()), bError), size_t(clBack.size()));
    QCOMPARE(clBack, clHead);
    char aBuffer[16] = {1, 1, 1, 1};
    QVERIFY(clReader.Seek((4LL << 30) + 7) && clReader.Read(aBuffer, 4, bError) == 4);
    QCOMPARE(QByteArray(aBuffer, 4), QByteArray(4, '\0'));
    QVERIFY(clReader.Seek(lFar));
    QCOMPARE(clReader.Read(aBuffer, sizeof(aBuffer), bError), size_t(1));
    QVERIFY(!bError && aBuffer[0] == 'Z' && clReader.Position() == lFar + 1);
}

// Only a real error sets bError: a reader must not stop silently on a broken
// file, nor report damage at a plain end; a file that grows after its end
// was reached is read on (online files).
void TestFiles::endOfFileIsNoError() {
    QTemporaryDir clTemp;
    const QString clstrPath = clTemp.filePath("short.bvf");
    QVERIFY(WriteWithQt(clstrPath, "0123456789"));
    CBinaryFile clFile, clWriter, clClosed, clFull;
    QVERIFY(clFile.OpenRead(W(clstrPath).c_str()));
    char aBuffer[100] = {};
    bool bError = true;
    QCOMPARE(clFile.Read(aBuffer, sizeof(aBuffer), bError), size_t(10));
    QVERIFY(!bError);
    bError = true;
    QCOMPARE(clFile.Read(aBuffer, sizeof(aBuffer), bError), size_t(0));
    QVERIFY(!bError);
    QFile clAppend(clstrPath);
    QVERIFY(clAppend.open(QIODevice::Append) && clAppend.write("AB") == 2);
    clAppend.close();
    QCOMPARE(clFile.Read(aBuffer, sizeof(aBuffer), bError), size_t(2));
    QVERIFY(!bError && QByteArray(aBuffer, 2) == "AB");
    // Reading a file open for writing, anything on a closed file, writing to
    // a full device: errors.
    QVERIFY(clWriter.OpenWrite(W(clTemp.filePath("out.bvf")).c_str()));
    QVERIFY(clFull.OpenWrite(L"/dev/full"));
    for (const auto &fnCall : std::initializer_list<std::function<size_t(bool &)>>{
             [&](bool &b) { return clWriter.Read(aBuffer, 8, b); },
             [&](bool &b) { return clClosed.Read(aBuffer, 8, b); },
             [&](bool &b) { return clClosed.Write(aBuffer, 8, b); },
             [&](bool &b) { return clFull.Write(aBuffer, sizeof(aBuffer), b); }}) {
        bError = false;
        QCOMPARE(fnCall(bError), size_t(0));
        QVERIFY(bError);
    }
    QVERIFY(!clClosed.Flush() && clClosed.Close());
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
    const std::wstring clstrWide = W(clstrPath);
    QCOMPARE(PlatformPathExists(clstrWide.c_str()), exists);
    CBinaryFile clFile;
    const bool bOpened = mode == "r"   ? clFile.OpenRead(clstrWide.c_str())
                         : mode == "w" ? clFile.OpenWrite(clstrWide.c_str())
                         : mode == "n"
                             ? clFile.OpenWrite(clstrWide.c_str(), WriteMode::CreateNew)
                             : clFile.OpenWrite(clstrWide.c_str(), WriteMode::ReplaceExisting);
    QCOMPARE(bOpened, opens);
    QCOMPARE(clFile.IsOpen(), opens);
    if (!opens)
        return;
    // A second open on the same object is refused and keeps the first file.
    QVERIFY(!clFile.OpenRead(W(clTemp.filePath("b5V.so")).c_str()));
    QVERIFY(!clFile.OpenWrite(W(clTemp.filePath("other.bvf")).c_str()));
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
    const QString clstr259 = PathOfLength(clTemp.path(), 259);
    const std::wstring cl259 = W(clstr259), cl260 = W(clstr259 + "g");
    QCOMPARE(clstr259.size(), 259);
    QVERIFY(WriteWithQt(clstr259 + "g", "long"));
    CBinaryFile clFile;
    bool bError = false;
    QVERIFY(clFile.OpenWrite(cl259.c_str()));
    QCOMPARE(clFile.Write("short", 5, bError), size_t(5));
    QVERIFY(clFile.Close());
    QVERIFY(!clFile.OpenRead(cl260.c_str()) && !clFile.OpenWrite(cl260.c_str()));
    QVERIFY(PlatformPathExists(cl259.c_str()) && !PlatformPathExists(cl260.c_str()));
    QVERIFY(!PlatformRenameFile(cl259.c_str(), W(clstr259 + "gh").c_str()));
    QCOMPARE(ReadWithQt(clstr259), QByteArray("short"));
    QCOMPARE(ReadWithQt(clstr259 + "g"), QByteArray("long"));
    QVERIFY(!clFile.OpenRead(nullptr) && !clFile.OpenWrite(L""));
    QVERIFY(!PlatformPathExists(nullptr) && !PlatformPathExists(L""));
}

// Against Qt's own UTF-8 over random names from every code point range; a
// surrogate or a value beyond Unicode names no file.
void TestFiles::nativePathsAreUtf8() {
    QRandomGenerator clRandom(7);
    const char32_t aLimits[] = {0x80, 0x800, 0xD800, 0x10000, 0x110000};
    std::string clstrNative;
    for (int lName = 0; lName < 2000; ++lName) {
        std::u32string clstrName;
        for (int i = int(clRandom.bounded(1, 12)); i > 0; --i) {
            const char32_t c =
                char32_t(clRandom.bounded(1u, uint32_t(aLimits[clRandom.bounded(5)])));
            clstrName += (c >= 0xD800 && c <= 0xDFFF) ? char32_t(0xE000) : c;
        }
        const std::wstring clstrWide(clstrName.begin(), clstrName.end());
        QVERIFY(WidePathToNative(clstrWide.c_str(), clstrNative));
        QCOMPARE(QByteArray::fromStdString(clstrNative),
                 QString::fromUcs4(clstrName.data(), qsizetype(clstrName.size())).toUtf8());
        QVERIFY(NativePathToWide(clstrNative) == clstrWide);
    }
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
    const std::wstring clstrSource = W(clTemp.filePath("source.bvf"));
    QVERIFY(WriteWithQt(clTemp.filePath("source.bvf"), "source data"));
    QVERIFY(WriteWithQt(clTemp.filePath("taken.bvf"), "taken data"));
    QVERIFY(QFile::link(clTemp.filePath("gone"), clTemp.filePath("dangling")));
    for (const char *pTo : {"taken.bvf", "source.bvf", "dangling", "no/x"})
        QVERIFY2(!PlatformRenameFile(clstrSource.c_str(), W(clTemp.filePath(pTo)).c_str()), pTo);
    QVERIFY(!PlatformRenameFile(W(clTemp.filePath("missing")).c_str(), clstrSource.c_str()));
    QVERIFY(!PlatformRenameFile(clstrSource.c_str(), nullptr));
    QCOMPARE(ReadWithQt(clTemp.filePath("taken.bvf")), QByteArray("taken data"));
    QVERIFY(PlatformRenameFile(clstrSource.c_str(), W(clTemp.filePath("free.bvf")).c_str()));
    QCOMPARE(ReadWithQt(clTemp.filePath("free.bvf")), QByteArray("source data"));
    QVERIFY(!QFileInfo::exists(clTemp.filePath("source.bvf")));
}

void TestFiles::enumerate_data() {
    QTest::addColumn<QString>("folder"); // "" the populated folder, "-" its subfolders
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("expected"); // "!": the call fails; "/" a folder, "@" a link
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
    std::vector<PlatformFolderEntry> clEntries(2); // the list is replaced, never extended
    const bool bResult = folder == "-"
                             ? PlatformEnumerateSubfolders(W(clTemp.path()).c_str(), clEntries)
                             : PlatformEnumerateFolder(W(clTemp.filePath(folder)).c_str(),
                                                       W(mask).c_str(), clEntries);
    QCOMPARE(bResult, expected != "!");
    QStringList clNames;
    for (const auto &clEntry : clEntries)
        clNames << QString::fromStdWString(clEntry.name) + (clEntry.bFolder ? "/" : "") +
                       (clEntry.bSymlink ? "@" : "");
    QCOMPARE(clNames.join(u' '), bResult ? expected : QString());
}

BVF_TEST_MAIN(TestFiles)
#include "test_files.moc"
