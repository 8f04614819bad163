// Binary files and the file-system calls: 64-bit positions, end of file
// against read errors, failing writes and opens, the path-length limit,
// renaming that never replaces, and masked folder listings.
#include "BinaryFile.h"
#include "FileSystem.h"
#include "TestPaths.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

void WriteWithQt(const QString &clstrPath, const QByteArray &clData) {
    QFile clFile(clstrPath);
    QVERIFY2(clFile.open(QIODevice::WriteOnly), qPrintable(clstrPath));
    QCOMPARE(clFile.write(clData), clData.size());
}

QByteArray ReadWithQt(const QString &clstrPath) {
    QFile clFile(clstrPath);
    if (!clFile.open(QIODevice::ReadOnly))
        return QByteArray("<cannot open>");
    return clFile.readAll();
}

// Folder entries as "name" for files and "name/" for folders.
QStringList Describe(const std::vector<PlatformFolderEntry> &clEntries) {
    QStringList clNames;
    for (const auto &clEntry : clEntries)
        clNames << QString::fromStdWString(clEntry.name) + (clEntry.bFolder ? "/" : "");
    return clNames;
}

// Two paths in nested folders under clstrRoot, 259 and 260 characters long,
// that differ only in the last character of the file name.
void BuildLimitPaths(const QString &clstrRoot, QString &clstrPath259, QString &clstrPath260) {
    QString clstrFolder = clstrRoot;
    while (259 - clstrFolder.size() - 1 > 60)
        clstrFolder += "/" + QString(50, QChar('d'));
    QVERIFY(QDir().mkpath(clstrFolder));
    const int lNameLength = 259 - int(clstrFolder.size()) - 1;
    clstrPath259 = clstrFolder + "/" + QString(lNameLength, QChar('f'));
    clstrPath260 = clstrPath259 + "g";
    QCOMPARE(clstrPath259.size(), 259);
    QCOMPARE(clstrPath260.size(), 260);
}

} // namespace

class TestFiles : public QObject {
    Q_OBJECT

  private slots:
    void roundTripBeyondFourGiB();
    void readReportsEndOfFileWithoutError();
    void readFromWriterIsAnError();
    void writeToFullDeviceReportsError();
    void openWriteTruncates();
    void openFails_data();
    void openFails();
    void pathLengthLimit();
    void pathExists();
    void renameNeverReplaces();
    void enumerateWithMask_data();
    void enumerateWithMask();
    void enumerateSubfoldersAndLinks();
    void enumerateFailures();
};

void TestFiles::roundTripBeyondFourGiB() {
    QTemporaryDir clTemp;
    QVERIFY(clTemp.isValid());
    const QString clstrPath = clTemp.filePath("big.bvf");
    const int64_t lFar = 5LL << 30;

    QByteArray clHead(300000, Qt::Uninitialized);
    for (int i = 0; i < clHead.size(); ++i)
        clHead[i] = char(i * 7 + (i >> 8));

    CBinaryFile clWriter;
    QVERIFY(clWriter.OpenWrite(ToWide(clstrPath).c_str()));
    QVERIFY(clWriter.IsOpen());
    QCOMPARE(clWriter.Position(), 0);
    bool bError = true;
    QCOMPARE(clWriter.Write(clHead.constData(), size_t(clHead.size()), bError),
             size_t(clHead.size()));
    QVERIFY(!bError);
    QCOMPARE(clWriter.Position(), int64_t(clHead.size()));
    QVERIFY(clWriter.Seek(lFar));
    QCOMPARE(clWriter.Position(), lFar);
    QCOMPARE(clWriter.Write("Z", 1, bError), size_t(1));
    QVERIFY(!bError);
    QCOMPARE(clWriter.Position(), lFar + 1);
    QCOMPARE(clWriter.Size(), lFar + 1);
    QVERIFY(!clWriter.Seek(-1));
    QCOMPARE(clWriter.Position(), lFar + 1);
    QVERIFY(clWriter.Flush());
    QVERIFY(clWriter.Close());
    QVERIFY(!clWriter.IsOpen());
    QCOMPARE(clWriter.Size(), -1);
    QCOMPARE(clWriter.Position(), -1);
    QCOMPARE(QFileInfo(clstrPath).size(), lFar + 1);

    CBinaryFile clReader;
    QVERIFY(clReader.OpenRead(ToWide(clstrPath).c_str()));
    QCOMPARE(clReader.Size(), lFar + 1);
    QByteArray clBack(clHead.size(), '\0');
    QCOMPARE(clReader.Read(clBack.data(), size_t(clBack.size()), bError), size_t(clBack.size()));
    QVERIFY(!bError);
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

void TestFiles::readReportsEndOfFileWithoutError() {
    QTemporaryDir clTemp;
    const QString clstrPath = clTemp.filePath("short.bvf");
    WriteWithQt(clstrPath, "0123456789");

    CBinaryFile clFile;
    QVERIFY(clFile.OpenRead(ToWide(clstrPath).c_str()));
    char aBuffer[100] = {};
    bool bError = true;
    QCOMPARE(clFile.Read(aBuffer, sizeof(aBuffer), bError), size_t(10));
    QVERIFY(!bError);
    QCOMPARE(QByteArray(aBuffer, 10), QByteArray("0123456789"));
    QCOMPARE(clFile.Position(), 10);

    bError = true;
    QCOMPARE(clFile.Read(aBuffer, sizeof(aBuffer), bError), size_t(0));
    QVERIFY(!bError);

    // A file that grows after its end was reached is read on (online files).
    QFile clAppend(clstrPath);
    QVERIFY(clAppend.open(QIODevice::Append));
    clAppend.write("AB");
    clAppend.close();
    QCOMPARE(clFile.Read(aBuffer, sizeof(aBuffer), bError), size_t(2));
    QVERIFY(!bError);
    QCOMPARE(QByteArray(aBuffer, 2), QByteArray("AB"));
}

void TestFiles::readFromWriterIsAnError() {
    // Only a real error may set bError; this one must not pass for an end of
    // file, or a reader would stop silently on a broken file.
    QTemporaryDir clTemp;
    CBinaryFile clFile;
    QVERIFY(clFile.OpenWrite(ToWide(clTemp.filePath("out.bvf")).c_str()));
    char aBuffer[8];
    bool bError = false;
    QCOMPARE(clFile.Read(aBuffer, sizeof(aBuffer), bError), size_t(0));
    QVERIFY(bError);

    CBinaryFile clClosed;
    bError = false;
    QCOMPARE(clClosed.Read(aBuffer, sizeof(aBuffer), bError), size_t(0));
    QVERIFY(bError);
    bError = false;
    QCOMPARE(clClosed.Write(aBuffer, sizeof(aBuffer), bError), size_t(0));
    QVERIFY(bError);
    QVERIFY(!clClosed.Flush());
}

void TestFiles::writeToFullDeviceReportsError() {
    CBinaryFile clFile;
    QVERIFY(clFile.OpenWrite(L"/dev/full"));
    QByteArray clData(4096, 'x');
    bool bError = false;
    QCOMPARE(clFile.Write(clData.constData(), size_t(clData.size()), bError), size_t(0));
    QVERIFY(bError);
    QVERIFY(clFile.Close());
}

void TestFiles::openWriteTruncates() {
    QTemporaryDir clTemp;
    const QString clstrPath = clTemp.filePath("old.bvf");
    WriteWithQt(clstrPath, QByteArray(100, 'o'));

    CBinaryFile clFile;
    QVERIFY(clFile.OpenWrite(ToWide(clstrPath).c_str()));
    QCOMPARE(clFile.Size(), 0);
    bool bError = true;
    QCOMPARE(clFile.Write("new", 3, bError), size_t(3));
    // A second open on the same object is refused and keeps the first file.
    QVERIFY(!clFile.OpenWrite(ToWide(clTemp.filePath("other.bvf")).c_str()));
    QVERIFY(!clFile.OpenRead(ToWide(clstrPath).c_str()));
    QVERIFY(clFile.Close());
    QVERIFY(clFile.Close()); // nothing left to close
    QCOMPARE(ReadWithQt(clstrPath), QByteArray("new"));
    QVERIFY(!QFileInfo::exists(clTemp.filePath("other.bvf")));
}

void TestFiles::openFails_data() {
    QTest::addColumn<QString>("clstrRelative");
    QTest::addColumn<bool>("bWrite");

    QTest::newRow("read missing file") << "missing.bvf" << false;
    QTest::newRow("read folder") << "folder" << false;
    QTest::newRow("write folder") << "folder" << true;
    QTest::newRow("write in missing folder") << "nowhere/out.bvf" << true;
    QTest::newRow("read in missing folder") << "nowhere/in.bvf" << false;
    // Reading these would wait for a writer or never end: refused at once.
    QTest::newRow("read FIFO") << "fifo" << false;
    QTest::newRow("read link to FIFO") << "fifo-link" << false;
    QTest::newRow("read character device") << "/dev/zero" << false;
}

void TestFiles::openFails() {
    QFETCH(QString, clstrRelative);
    QFETCH(bool, bWrite);

    QTemporaryDir clTemp;
    QVERIFY(QDir(clTemp.path()).mkdir("folder"));
    QCOMPARE(mkfifo(QFile::encodeName(clTemp.filePath("fifo")).constData(), 0600), 0);
    QVERIFY(QFile::link(clTemp.filePath("fifo"), clTemp.filePath("fifo-link")));
    const std::wstring clstrPath = ToWide(clTemp.filePath(clstrRelative));

    CBinaryFile clFile;
    QVERIFY(!(bWrite ? clFile.OpenWrite(clstrPath.c_str()) : clFile.OpenRead(clstrPath.c_str())));
    QVERIFY(!clFile.IsOpen());
    QVERIFY(!clFile.OpenRead(nullptr));
    QVERIFY(!clFile.OpenWrite(L""));
    QCOMPARE(QFileInfo(clTemp.filePath("folder")).isDir(), true);
}

void TestFiles::pathLengthLimit() {
    // A 260-character path is refused, never shortened: the first 259
    // characters name another file, which must stay untouched.
    QTemporaryDir clTemp;
    QString clstrPath259;
    QString clstrPath260;
    BuildLimitPaths(clTemp.path(), clstrPath259, clstrPath260);
    WriteWithQt(clstrPath260, "long");

    CBinaryFile clFile;
    QVERIFY(clFile.OpenWrite(ToWide(clstrPath259).c_str()));
    bool bError = true;
    QCOMPARE(clFile.Write("short", 5, bError), size_t(5));
    QVERIFY(clFile.Close());

    QVERIFY(!clFile.OpenRead(ToWide(clstrPath260).c_str()));
    QVERIFY(!clFile.OpenWrite(ToWide(clstrPath260).c_str()));
    QVERIFY(PlatformPathExists(ToWide(clstrPath259).c_str()));
    QVERIFY(!PlatformPathExists(ToWide(clstrPath260).c_str()));
    QCOMPARE(ReadWithQt(clstrPath259), QByteArray("short"));
    QCOMPARE(ReadWithQt(clstrPath260), QByteArray("long"));

    QVERIFY(clFile.OpenRead(ToWide(clstrPath259).c_str()));
    char aBuffer[8] = {};
    QCOMPARE(clFile.Read(aBuffer, sizeof(aBuffer), bError), size_t(5));
}

void TestFiles::pathExists() {
    QTemporaryDir clTemp;
    WriteWithQt(clTemp.filePath("file.bvf"), "x");
    QVERIFY(QDir(clTemp.path()).mkdir("folder"));
    QVERIFY(QFile::link(clTemp.filePath("gone"), clTemp.filePath("dangling")));

    QVERIFY(PlatformPathExists(ToWide(clTemp.filePath("file.bvf")).c_str()));
    QVERIFY(PlatformPathExists(ToWide(clTemp.filePath("folder")).c_str()));
    // Something stands there: a file written to this name would land elsewhere.
    QVERIFY(PlatformPathExists(ToWide(clTemp.filePath("dangling")).c_str()));
    QVERIFY(!PlatformPathExists(ToWide(clTemp.filePath("missing.bvf")).c_str()));
    QVERIFY(!PlatformPathExists(ToWide(clTemp.filePath("missing/file.bvf")).c_str()));
    QVERIFY(!PlatformPathExists(L""));
    QVERIFY(!PlatformPathExists(nullptr));
}

void TestFiles::renameNeverReplaces() {
    QTemporaryDir clTemp;
    const QString clstrSource = clTemp.filePath("source.bvf");
    const QString clstrTaken = clTemp.filePath("taken.bvf");
    const QString clstrFree = clTemp.filePath("free.bvf");
    WriteWithQt(clstrSource, "source data");
    WriteWithQt(clstrTaken, "taken data");

    QVERIFY(!PlatformRenameFile(ToWide(clstrSource).c_str(), ToWide(clstrTaken).c_str()));
    QCOMPARE(ReadWithQt(clstrSource), QByteArray("source data"));
    QCOMPARE(ReadWithQt(clstrTaken), QByteArray("taken data"));

    QVERIFY(!PlatformRenameFile(ToWide(clstrSource).c_str(), ToWide(clstrSource).c_str()));
    QCOMPARE(ReadWithQt(clstrSource), QByteArray("source data"));

    QVERIFY(PlatformRenameFile(ToWide(clstrSource).c_str(), ToWide(clstrFree).c_str()));
    QVERIFY(!QFileInfo::exists(clstrSource));
    QCOMPARE(ReadWithQt(clstrFree), QByteArray("source data"));
    QCOMPARE(ReadWithQt(clstrTaken), QByteArray("taken data"));

    const QString clstrMissing = clTemp.filePath("missing.bvf");
    QVERIFY(!PlatformRenameFile(ToWide(clstrMissing).c_str(), ToWide(clstrSource).c_str()));
    QVERIFY(!QFileInfo::exists(clstrSource));
    QVERIFY(!PlatformRenameFile(ToWide(clstrFree).c_str(),
                                ToWide(clTemp.filePath("nowhere/free.bvf")).c_str()));
    QCOMPARE(ReadWithQt(clstrFree), QByteArray("source data"));
    QVERIFY(!PlatformRenameFile(ToWide(clstrFree).c_str(), nullptr));
}

void TestFiles::enumerateWithMask_data() {
    QTest::addColumn<QString>("clstrMask");
    QTest::addColumn<QStringList>("clExpected");

    QTest::newRow("suffix") << "*5V.so"
                            << QStringList{"5V.so", "a5V.so", "ab5V.so", "b5V.so", "plug5V.so/"};
    QTest::newRow("one character") << "?5V.so" << QStringList{"a5V.so", "b5V.so"};
    QTest::newRow("exact name") << "a5V.so" << QStringList{"a5V.so"};
    QTest::newRow("exact, other case") << "A5V.SO" << QStringList{};
    QTest::newRow("prefix") << "a*"
                            << QStringList{"a5V.so", "a5V.so.bak", "a5V.sox", "a5v.so", "ab5V.so"};
    QTest::newRow("double star") << "**5V.so"
                                 << QStringList{"5V.so", "a5V.so", "ab5V.so", "b5V.so",
                                                "plug5V.so/"};
    QTest::newRow("star in the middle") << "a*.so" << QStringList{"a5V.so", "a5v.so", "ab5V.so"};
    QTest::newRow("backtracking") << "*5V.so*"
                                  << QStringList{"5V.so",   "a5V.so", "a5V.so.bak", "a5V.sox",
                                                 "ab5V.so", "b5V.so", "plug5V.so/"};
    QTest::newRow("two stars two dots") << "*.*.*" << QStringList{"a5V.so.bak"};
    QTest::newRow("everything") << "*"
                                << QStringList{"5V.so",      "a5V.so",  "a5V.so.bak", "a5V.sox",
                                               "a5v.so",     "ab5V.so", "b5V.so",     "plug5V.so/",
                                               "readme.txt", "sub/"};
    QTest::newRow("no match") << "*.dll" << QStringList{};
}

void TestFiles::enumerateWithMask() {
    QFETCH(QString, clstrMask);
    QFETCH(QStringList, clExpected);

    QTemporaryDir clTemp;
    QDir clFolder(clTemp.path());
    // Created out of order: the listing must sort.
    for (const char *pName :
         {"readme.txt", "b5V.so", "a5V.sox", "5V.so", "a5v.so", "ab5V.so", "a5V.so.bak", "a5V.so"})
        WriteWithQt(clFolder.filePath(pName), "x");
    QVERIFY(clFolder.mkdir("sub"));
    QVERIFY(clFolder.mkdir("plug5V.so"));
    WriteWithQt(clFolder.filePath("sub/inner5V.so"), "x"); // not listed: one level only

    std::vector<PlatformFolderEntry> clEntries;
    QVERIFY(PlatformEnumerateFolder(ToWide(clTemp.path()).c_str(), ToWide(clstrMask).c_str(),
                                    clEntries));
    QCOMPARE(Describe(clEntries), clExpected);

    // The folder may be given with a trailing separator.
    QVERIFY(PlatformEnumerateFolder(ToWide(clTemp.path() + "/").c_str(), ToWide(clstrMask).c_str(),
                                    clEntries));
    QCOMPARE(Describe(clEntries), clExpected);
}

void TestFiles::enumerateSubfoldersAndLinks() {
    QTemporaryDir clTemp;
    QDir clFolder(clTemp.path());
    QVERIFY(clFolder.mkdir("zeta"));
    QVERIFY(clFolder.mkdir("alpha"));
    WriteWithQt(clFolder.filePath("file5V.so"), "x");
    QVERIFY(QFile::link(clFolder.filePath("alpha"), clFolder.filePath("link5V.so")));
    QVERIFY(QFile::link(clFolder.filePath("file5V.so"), clFolder.filePath("filelink5V.so")));
    QVERIFY(QFile::link(clFolder.filePath("gone"), clFolder.filePath("dangling5V.so")));

    std::vector<PlatformFolderEntry> clEntries;
    QVERIFY(PlatformEnumerateSubfolders(ToWide(clTemp.path()).c_str(), clEntries));
    QCOMPARE(Describe(clEntries), (QStringList{"alpha/", "link5V.so/", "zeta/"}));
    QCOMPARE(clEntries[0].bSymlink, false);
    QCOMPARE(clEntries[1].bSymlink, true);
    QCOMPARE(clEntries[2].bSymlink, false);

    QVERIFY(PlatformEnumerateFolder(ToWide(clTemp.path()).c_str(), L"*5V.so", clEntries));
    QCOMPARE(Describe(clEntries),
             (QStringList{"dangling5V.so", "file5V.so", "filelink5V.so", "link5V.so/"}));
    QCOMPARE(clEntries[0].bSymlink, true);
    QCOMPARE(clEntries[1].bSymlink, false);
    QCOMPARE(clEntries[2].bSymlink, true);
    QCOMPARE(clEntries[3].bSymlink, true);
}

void TestFiles::enumerateFailures() {
    QTemporaryDir clTemp;
    WriteWithQt(clTemp.filePath("file.txt"), "x");
    std::vector<PlatformFolderEntry> clEntries(3);

    QVERIFY(!PlatformEnumerateFolder(ToWide(clTemp.filePath("missing")).c_str(), L"*", clEntries));
    QVERIFY(clEntries.empty());
    clEntries.resize(2);
    QVERIFY(!PlatformEnumerateFolder(ToWide(clTemp.filePath("file.txt")).c_str(), L"*", clEntries));
    QVERIFY(clEntries.empty());
    QVERIFY(!PlatformEnumerateSubfolders(nullptr, clEntries));

    // An empty folder is a success with an empty list.
    QVERIFY(QDir(clTemp.path()).mkdir("empty"));
    clEntries.resize(1);
    QVERIFY(PlatformEnumerateFolder(ToWide(clTemp.filePath("empty")).c_str(), L"*", clEntries));
    QVERIFY(clEntries.empty());
}

BVF_TEST_MAIN(TestFiles)
#include "test_files.moc"
