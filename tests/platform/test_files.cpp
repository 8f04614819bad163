// Binary files and the file-system calls: 64-bit positions, end of file
// against read errors, failing opens, the path-length limit, folder listings.
#include "BinaryFile.h"
#include "FileSystem.h"
#include "TestPaths.h"
#include "TestRegistry.h"

#include <functional>

#include <sys/stat.h>

namespace {

bool WriteWithQt(const QString &clstrPath, const QByteArray &clData) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::WriteOnly) && clFile.write(clData) == clData.size();
}

QByteArray ReadWithQt(const QString &clstrPath) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::ReadOnly) ? clFile.readAll() : QByteArray("<none>");
}

// A folder with files, a folder, a FIFO and links of every kind.
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
    void positionsAndEndOfFile();
    void copyAndIdentity();
    void open_data();
    void open();
    void pathLengthLimit();
    void enumerate_data();
    void enumerate();
};

// Writes past 4 GiB leave a hole of zeros; Close forgets the position. Only
// a real error sets bError, never a plain end, and a file that grows after
// its end was reached is read on (online files).
void TestFiles::positionsAndEndOfFile() {
    QTemporaryDir clTemp;
    const std::wstring clstrPath = ToWide(clTemp.filePath("big.bvf"));
    const int64_t lFar = 5LL << 30;
    CBinaryFile clWriter, clReader, clClosed, clFull;
    bool bError = false;
    QVERIFY(clWriter.OpenWrite(clstrPath.c_str()));
    QCOMPARE(clWriter.Write("0123456789", 10, bError), size_t(10));
    QVERIFY(clWriter.Seek(lFar) && clWriter.Write("Z", 1, bError) == 1 && !clWriter.Seek(-1));
    QVERIFY(clWriter.Size() == lFar + 1 && clWriter.Position() == lFar + 1);
    QVERIFY(clWriter.Flush() && clWriter.Close() && !bError);
    QVERIFY(clWriter.Position() == -1 && clWriter.Size() == -1);
    char aBuffer[16] = {1, 1, 1, 1};
    QVERIFY(clReader.OpenRead(clstrPath.c_str()));
    QVERIFY(clReader.Read(aBuffer, 10, bError) == 10 && QByteArray(aBuffer, 10) == "0123456789");
    QVERIFY(clReader.Seek((4LL << 30) + 7) && clReader.Read(aBuffer, 4, bError) == 4);
    QCOMPARE(QByteArray(aBuffer, 4), QByteArray(4, '\0'));
    QVERIFY(clReader.Seek(lFar));
    QCOMPARE(clReader.Read(aBuffer, sizeof(aBuffer), bError), size_t(1));
    QVERIFY(!bError && aBuffer[0] == 'Z' && clReader.Position() == lFar + 1);
    bError = true;
    QVERIFY(clReader.Read(aBuffer, sizeof(aBuffer), bError) == 0 && !bError);
    QVERIFY(clReader.Close() && QFile::resize(clTemp.filePath("big.bvf"), 3));
    QFile clAppend(clTemp.filePath("big.bvf"));
    QVERIFY(clReader.OpenRead(clstrPath.c_str()) && clReader.Read(aBuffer, 16, bError) == 3);
    QVERIFY(clAppend.open(QIODevice::Append) && clAppend.write("AB") == 2 && clAppend.flush());
    QVERIFY(clReader.Read(aBuffer, 16, bError) == 2 && !bError && QByteArray(aBuffer, 2) == "AB");
    // Reading a file open for writing, anything on a closed file, writing to
    // a full device: errors.
    QVERIFY(clWriter.OpenWrite(ToWide(clTemp.filePath("out.bvf")).c_str()));
    QVERIFY(clFull.OpenWrite(L"/dev/full"));
    for (const auto &fnCall : std::initializer_list<std::function<size_t(bool &)>>{
             [&](bool &b) { return clWriter.Read(aBuffer, 8, b); },
             [&](bool &b) { return clClosed.Read(aBuffer, 8, b); },
             [&](bool &b) { return clClosed.Write(aBuffer, 8, b); },
             [&](bool &b) { return clFull.Write(aBuffer, sizeof(aBuffer), b); }}) {
        bError = false;
        QVERIFY(fnCall(bError) == 0 && bError);
    }
    QVERIFY(!clClosed.Flush() && clClosed.Close());
}

// A copy appends the asked-for range of another file behind what was written,
// through the system or (to a device) by reads and writes, and leaves the
// source where it was; one past the source's end or to a full device fails.
// The identity stays while a file is only read and changes when it grows.
void TestFiles::copyAndIdentity() {
    QTemporaryDir clTemp;
    const std::wstring clstrSource = ToWide(clTemp.filePath("a.bvf"));
    QByteArray clBytes;
    for (int i = 0; i < 3000000; ++i)
        clBytes += char(i * 7 % 251);
    CBinaryFile clSource, clAgain, clTarget, clFull;
    bool bError = false;
    QVERIFY(clSource.OpenWrite(clstrSource.c_str()) &&
            clSource.Write(clBytes.constData(), size_t(clBytes.size()), bError) == 3000000 &&
            clSource.Close());
    StructFileIdentity clFirst, clSecond;
    QVERIFY(clSource.OpenRead(clstrSource.c_str()) && clSource.Seek(5) &&
            clSource.Identity(clFirst));
    QVERIFY(clTarget.OpenWrite(ToWide(clTemp.filePath("b.bvf")).c_str()));
    QVERIFY(clTarget.Write("head", 4, bError) == 4);
    QVERIFY(clTarget.CopyFrom(clSource, 17, 2500000, bError) == 2500000 && !bError);
    // Short by far: the blocks reserved for the rest are given back.
    QVERIFY(clTarget.CopyFrom(clSource, 2999990, 4000000, bError) == 10 && bError);
    QVERIFY(clTarget.Position() == 2500014 && clSource.Position() == 5);
    QVERIFY(clFull.OpenWrite(L"/dev/full"));
    QVERIFY(clFull.CopyFrom(clSource, 0, 100, bError) == 0 && bError);
    QVERIFY(clFull.CopyFrom(clSource, 0, 2500000, bError) == 0 && bError);
    QVERIFY(clTarget.Close());
    QFile clCopy(clTemp.filePath("b.bvf"));
    QVERIFY(clCopy.open(QIODevice::ReadOnly));
    QCOMPARE(clCopy.readAll(), "head" + clBytes.mid(17, 2500000) + clBytes.right(10));
    struct stat clInfo {};
    QVERIFY(stat(clTemp.filePath("b.bvf").toLocal8Bit().constData(), &clInfo) == 0 &&
            clInfo.st_blocks * 512 < 3000000);
    QVERIFY(clAgain.OpenRead(clstrSource.c_str()) && clAgain.Identity(clSecond));
    QVERIFY(clFirst == clSecond && clFirst.size == 3000000);
    QFile clTouch(clTemp.filePath("a.bvf"));
    QVERIFY(clTouch.open(QIODevice::Append) && clTouch.write("x") == 1);
    clTouch.close();
    QVERIFY(clAgain.Identity(clSecond) && !(clFirst == clSecond));
    QVERIFY(!clTarget.Identity(clSecond));
    // Lying alike against the pages, the copy goes through the system, and a
    // source that ends early (now one byte longer) stops it there too.
    CBinaryFile clAligned;
    const QString clstrAligned = clTemp.filePath("c.bvf");
    QVERIFY(clAligned.OpenWrite(ToWide(clstrAligned).c_str()));
    QVERIFY(clAligned.CopyFrom(clSource, 8192, 3000000, bError) == 2991809 && bError);
    QVERIFY(clAligned.Close() && stat(clstrAligned.toLocal8Bit().constData(), &clInfo) == 0 &&
            clInfo.st_blocks * 512 < 3100000);
    QFile clAlignedCopy(clstrAligned);
    QVERIFY(clAlignedCopy.open(QIODevice::ReadOnly));
    QCOMPARE(clAlignedCopy.readAll(), clBytes.mid(8192) + "x");
}

// "r"/"w"/"n"/"x": OpenRead, OpenWrite to create or replace, to create new
// only, to replace an existing file only. Existence is asked of the same path.
void TestFiles::open_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("name"); // in a folder filled by Populate
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("after"); // the file's bytes after "new" was written
    auto row = [](const char *pMode, const char *pName, bool bOpens, bool bExists,
                  const char *pAfter) {
        QTest::addRow("%s %s", pMode, pName) << pMode << pName << bOpens << bExists << pAfter;
    };
    row("r", "a5V.so", true, true, "x");
    row("r", "sub", false, true, "<none>");
    // Reading these would wait for a writer or never end: refused at once.
    row("r", "fifo", false, true, "");
    row("r", "/dev/zero", false, true, "");
    row("w", "a5V.so", true, true, "new");
    row("w", "new.bvf", true, false, "new");
    row("n", "new.bvf", true, false, "new");
    row("n", "a5V.so", false, true, "x");
    // Something stands there: a file written to this name would land elsewhere.
    row("n", "dangling", false, true, "<none>");
    row("x", "a5V.so", true, true, "new");
    row("x", "file-link", true, true, "new");
    row("x", "dangling", false, true, "<none>");
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
    const std::wstring w = ToWide(clstrPath);
    QCOMPARE(PlatformPathExists(w.c_str()), exists);
    CBinaryFile clFile;
    using M = CBinaryFile::WriteMode;
    QCOMPARE(mode == "r" ? clFile.OpenRead(w.c_str())
             : mode == "w"
                 ? clFile.OpenWrite(w.c_str())
                 : clFile.OpenWrite(w.c_str(), mode == "n" ? M::CreateNew : M::ReplaceExisting),
             opens);
    QCOMPARE(clFile.IsOpen(), opens);
    if (!opens)
        return;
    // A second open on the same object is refused and keeps the first file.
    QVERIFY(!clFile.OpenRead(ToWide(clTemp.filePath("b5V.so")).c_str()));
    QVERIFY(!clFile.OpenWrite(ToWide(clTemp.filePath("other.bvf")).c_str()));
    bool bError = false;
    QVERIFY(mode == "r" || clFile.Write("new", 3, bError) == 3);
    QVERIFY(clFile.Close());
    QCOMPARE(QString::fromLatin1(ReadWithQt(clstrPath)), after);
    QVERIFY(!QFileInfo::exists(clTemp.filePath("other.bvf")));
}

// Paths of 259 characters work; one of 260 is refused, never shortened (its
// first 259 name another file).
void TestFiles::pathLengthLimit() {
    QTemporaryDir clTemp;
    QString clstr259 = clTemp.path();
    while (259 - clstr259.size() > 70)
        clstr259 += "/" + QString(50, QChar('d'));
    QVERIFY(QDir().mkpath(clstr259));
    clstr259 += "/" + QString(259 - clstr259.size() - 1, 'f');
    const std::wstring cl259 = ToWide(clstr259), cl260 = ToWide(clstr259 + "g");
    QVERIFY(WriteWithQt(clstr259 + "g", "long"));
    CBinaryFile clFile;
    bool bError = false;
    QVERIFY(clFile.OpenWrite(cl259.c_str()) && clFile.Write("short", 5, bError) == 5);
    QVERIFY(clFile.Close());
    QVERIFY(!clFile.OpenRead(cl260.c_str()) && !clFile.OpenWrite(cl260.c_str()));
    QVERIFY(PlatformPathExists(cl259.c_str()) && !PlatformPathExists(cl260.c_str()));
    QVERIFY(!PlatformRenameFile(cl259.c_str(), ToWide(clstr259 + "gh").c_str()));
    QCOMPARE(ReadWithQt(clstr259) + ReadWithQt(clstr259 + "g"), QByteArray("shortlong"));
    QVERIFY(!clFile.OpenRead(nullptr) && !clFile.OpenWrite(L""));
    QVERIFY(!PlatformPathExists(nullptr) && !PlatformPathExists(L""));
}

void TestFiles::enumerate_data() {
    QTest::addColumn<QString>("folder"); // "" the populated folder, "-" its subfolders
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("expected"); // "!": the call fails; "/" a folder, "@" a link
    auto row = [](const char *pFolder, const char *pMask, const char *pExpected) {
        QTest::addRow("%s %s", pFolder, pMask) << pFolder << pMask << pExpected;
    };
    row("", "*5V.so", "5V.so a5V.so ab5V.so b5V.so plug5V.so/");
    row("", "?5V.so", "a5V.so b5V.so");
    row("", "A5V.SO", "");
    row("", "*5V.so*", "5V.so a5V.so a5V.so.bak a5V.sox ab5V.so b5V.so plug5V.so/");
    row("", "*.*.*", "a5V.so.bak");
    row("", "*i*", "dangling@ fifo fifo-link@ file-link@ sub-link/@");
    row("-", "", "plug5V.so/ sub/ sub-link/@");
    row("sub/", "*", "inner/ inner5V.so");
    row("missing", "*", "!");
}

void TestFiles::enumerate() {
    QFETCH(QString, folder);
    QFETCH(QString, mask);
    QFETCH(QString, expected);
    QTemporaryDir clTemp;
    Populate(clTemp.path());
    std::vector<PlatformFolderEntry> clEntries(2); // the list is replaced, never extended
    const bool bResult = folder == "-"
                             ? PlatformEnumerateSubfolders(ToWide(clTemp.path()).c_str(), clEntries)
                             : PlatformEnumerateFolder(ToWide(clTemp.filePath(folder)).c_str(),
                                                       ToWide(mask).c_str(), clEntries);
    QCOMPARE(bResult, expected != "!");
    QStringList clNames;
    for (const auto &clEntry : clEntries)
        clNames << QString::fromStdWString(clEntry.name) + (clEntry.bFolder ? "/" : "") +
                       (clEntry.bSymlink ? "@" : "");
    QCOMPARE(clNames.join(u' '), bResult ? expected : QString());
}

BVF_TEST_MAIN(TestFiles)
#include "test_files.moc"
