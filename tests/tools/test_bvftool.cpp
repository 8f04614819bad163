// bvftool run as a program on recordings made by bvf-sample and built byte by
// byte. What verify and merge report is checked against the independent
// container decoder and our reader.
#include "ContainerBytes.h"
#include "ContainerWalker.h"
#include "OpenFileFormat.h"
#include "TestPaths.h"
#include "TestRegistry.h"
#include "ToolTestKit.h"

#include <QCryptographicHash>
#include <QXmlStreamReader>

#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {

using namespace ContainerBytes;
constexpr int64_t kStart = 1714982400; // 2024-05-06 08:00:00 UTC

bool Sample(const QString &clstrPath, const QStringList &clOptions) {
    return RunTool(QStringList(clOptions) << clstrPath).exitCode == 0;
}

bool WriteFile(const QString &clstrPath, const QByteArray &clBytes) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::WriteOnly) && clFile.write(clBytes) == clBytes.size();
}

// Where the decoder finds each frame of a version-3 container, then its size.
QList<qint64> FrameStarts(const QByteArray &clBytes) {
    QList<qint64> clStarts;
    container_walk::CContainerWalker clWalker(clBytes);
    for (container_walk::DecodedRecord r; !clWalker.AtEnd() && clWalker.Next(r).isEmpty();)
        clStarts << r.offset;
    return clWalker.AtEnd() ? clStarts << clBytes.size() : QList<qint64>();
}

// A version-3 container: a notice, then at 08:00:00 and 08:00:01 a TETRA
// record at 250 ms and a DMR record at 500 ms.
QByteArray BuiltContainer() {
    HeaderFields clFields;
    clFields.magic = MagicText(3);
    clFields.fileMagic = 0x5eed;
    clFields.startTime = kStart;
    clFields.recordingType = "built by the test";
    QByteArray clBytes = Header(clFields) + Record(4, {}, NoticeBodyBytes(10045, 0, "notice"));
    for (int i = 0; i < 2; ++i) {
        TetraBody t;
        t.timeSeconds = uint64_t(kStart + i);
        t.milliseconds = 250;
        t.multiframe = t.frame = t.timeslot = 1;
        t.bitCount = 16;
        t.data = QByteArray(2, '\x5a');
        DmrBody d;
        d.withTimeslot = true;
        d.burstKind = 1;
        d.timeSeconds = uint64_t(kStart + i);
        d.milliseconds = 500;
        clBytes +=
            Record(3, SubHeader{0, 390000000, 18000, 0}, TetraBodyBytes(t, TetraLayout::V2)) +
            Record(5, SubHeader{0, 0, 4800, 0}, DmrBodyBytes(d));
    }
    return clBytes;
}

// Every record as its kind, frequency and payload bytes, in file order.
QList<QByteArray> Fingerprints(const QString &clstrPath) {
    QList<QByteArray> clPrints;
    FileHeaderInfo clInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(ToWide(clstrPath).c_str(), clInfo);
    for (RawRecord r{}; pReader && pReader->ReadData(r) == FILE_OK; r = RawRecord{})
        clPrints << char(r.payloadKind) + QByteArray::number(qulonglong(r.frequency)) +
                        QByteArray(static_cast<const char *>(r.payload), r.payloadLength);
    return clPrints;
}

QMap<QString, QByteArray> Snapshot(const QString &clstrDirectory) {
    QMap<QString, QByteArray> clFiles;
    QDir clDir(clstrDirectory);
    for (const QString &clstrName :
         clDir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QFileInfo clInfo(clDir.filePath(clstrName));
        clFiles[clstrName] = clInfo.isFile() ? QCryptographicHash::hash(ReadAll(clInfo.filePath()),
                                                                        QCryptographicHash::Sha256)
                                             : QByteArray("-");
    }
    return clFiles;
}

} // namespace

class TestBvftool : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void verifyNamesDamageByOffset();
    void timelineMarksGapsAndOverlaps();

  private:
    QTemporaryDir m_clDir;
};

// The folder every row runs in: a.bvf and b.bvf, two minutes of one recording
// (magic 1), other.bvf of another; copies named "online:..."; cut.bvf ends
// inside a record; a FIFO, links (full.lan to /dev/full) and folders.
void TestBvftool::initTestCase() {
    const QString d = m_clDir.path() + u'/';
    QVERIFY(Sample(d + "a.bvf", {"--minutes", "1", "--magic", "0x1"}));
    QVERIFY(Sample(d + "b.bvf",
                   {"--minutes", "1", "--magic", "0x1", "--start", "2024-05-06 08:01:00"}));
    QVERIFY(Sample(d + "other.bvf", {"--minutes", "1", "--magic", "0x2"}));
    QVERIFY(QFile::copy(d + "a.bvf", d + "online:a.bvf") &&
            QFile::copy(d + "b.bvf", d + "online:b.bvf"));
    QVERIFY(WriteFile(d + "cut.bvf", ReadAll(d + "a.bvf").chopped(7)));
    QVERIFY(WriteFile(d + "built.bvf", BuiltContainer()));
    QCOMPARE(mkfifo(QFile::encodeName(d + "fifo").constData(), 0600), 0);
    QVERIFY(QFile::link("fifo", d + "fifo-link") && QFile::link("a.bvf", d + "link.bvf"));
    QVERIFY(QDir(d).mkdir("sub") && QDir(d).mkdir("folder.bvf") && QDir(d).mkdir("folder.tmw"));
    QVERIFY(QFile::link("/dev/full", d + "full.lan"));
    QVERIFY(QFile::link("sub/x.bvf", d + "dangling.bvf"));
}

// Each row: the arguments (split at blanks; the row's name), the exit status
// and a text of standard error, or of standard output after "out:".
void TestBvftool::commands_data() {
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    auto row = [](const QString &clArguments, int lExit, const QString &clMsg) {
        QTest::newRow(qPrintable(clArguments.isEmpty() ? "(none)" : clArguments))
            << clArguments << lExit << clMsg;
    };
    row("", 1, "Usage: bvftool COMMAND [OPTIONS] FILE...\n");
    row("--help", 0, "out:Usage: bvftool COMMAND [OPTIONS] FILE...\n");
    row("frob", 1, "bvftool: unknown command \"frob\"\n\nUsage:");
    for (const QString c : {"info", "dump", "verify", "merge"}) {
        row(c + " --help", 0,
            "out:Usage: bvftool " + c + " [options] FILE" + (c == "dump" ? "\n" : "...\n"));
        row(c + " --no-such", 1,
            "bvftool: " + c + ": Unknown option 'no-such'.\nSee \"bvftool " + c + " --help\".");
    }
    row("info", 1, "bvftool: info: no file given\n");
    row("timeline --no-such -o t.svg a.bvf", 2, "bvftool: timeline: Unknown option 'no-such'.");
    row("timeline a.bvf", 2, "bvftool: timeline: -o OUT.svg is needed\n");
    row("timeline --gap 1.5 -o t.svg a.bvf", 2, "--gap needs a whole number of seconds");
    row("timeline --width 99 -o t.svg a.bvf", 2, "--width needs a whole number of pixels");
    row("timeline -o t.svg a.bvf missing.bvf", 1, "bvftool: missing.bvf: cannot be opened");
    row("dump missing.lan", 1, "bvftool: missing.lan: cannot be opened as a recording");
    row("verify a.bvf missing.bvf", 2, "bvftool: missing.bvf: cannot be opened as a recording");
    row("verify folder.bvf", 2, "bvftool: folder.bvf: cannot be opened as a recording");
    // FIFOs and devices would make a reader wait for ever: refused at once.
    const QString clNotAFile = QStringLiteral(": is not a regular file (a FIFO, device or socket)");
    row("info fifo", 1, "bvftool: fifo" + clNotAFile);
    row("verify fifo", 2, "bvftool: fifo" + clNotAFile);
    row("info /dev/zero", 1, "bvftool: /dev/zero" + clNotAFile);
    // Names are taken literally; online mode comes from --online only.
    row("info online:a.bvf", 0,
        "out:online:a.bvf:\n  format:            container version 3\n"
        "  file magic:        0x0000000000000001\n");
    // A merge writes the records of its parts in the order of their starts,
    // and lists the parts so.
    row("merge -o out.bvf online:b.bvf online:a.bvf", 0,
        "recording 0x0000000000000001: 2 file(s)\n"
        "  2024-05-06 08:00:00 to 08:00:59  ./online:a.bvf\n"
        "  2024-05-06 08:01:00 to 08:01:59  ./online:b.bvf\nbvftool: merge: wrote out.bvf\n");
    row("merge -d sub b.bvf a.bvf", 0, "wrote sub/a_Joined.bvf");
    row("verify a.bvf", 0, "out:a.bvf: sound (container version 3, ");
    row("verify cut.bvf", 1, "out:cut.bvf: damaged (container version 3, ");
    row("verify --online cut.bvf", 0, "out:cut.bvf: sound"); // an unfinished record
    row("dump --kinds notice,dmr built.bvf", 0,
        "out:notice  -                                0 code=10045 value=0 text=\"notice\"\n"
        "dmr     2024-05-06 08:00:00.500          0 timeslot=0 burst-kind=1 items=0 []\n"
        "dmr     2024-05-06 08:00:01.500          0 timeslot=0 burst-kind=1 items=0 []\n");
    row("dump --limit 1 --kinds tetra built.bvf", 0,
        "out:tetra   2024-05-06 08:00:00.250  390000000 hyperframe=0 multiframe=1 frame=1 "
        "timeslot=1 downlink burst=0 bits=16\n");
    // A merge refused writes nothing and changes nothing.
    row("merge -o out.bvf a.bvf", 1, "bvftool: a.bvf: is the only file of recording");
    row("merge -d . a.bvf b.bvf other.bvf", 1, "bvftool: other.bvf: is the only file of recording");
    const QString clSource = QStringLiteral(": is one of the files to merge");
    row("merge -o b.bvf a.bvf b.bvf", 1, "bvftool: b.bvf" + clSource);
    row("merge -o link.bvf a.bvf b.bvf", 1, "bvftool: link.bvf" + clSource);
    row("merge --overwrite -o sub/../a.bvf a.bvf b.bvf", 1, "bvftool: sub/../a.bvf" + clSource);
    row("merge -o other.bvf a.bvf b.bvf", 1, "bvftool: other.bvf: exists already");
    row("merge --overwrite -o dangling.bvf a.bvf b.bvf", 1,
        "bvftool: dangling.bvf: cannot be created or written");
    row("merge -o out.bvf a.bvf ./a.bvf", 1, "bvftool: ./a.bvf: is the same file as a.bvf");
    row("merge -o out.bvf a.bvf b.bvf sub", 1, "bvftool: sub: cannot be opened as a recording");
    // bvf-sample: the start of standard error after "bvf-sample: ", "%D" the
    // folder, a "T" in a date a blank.
    row("sample", 1, "exactly one output file is needed");
    row("sample %D/%260", 1, "the output path must have 1 to 259 characters");
    row("sample %D/o.bvf --minutes 0", 1, "--minutes needs a whole number from 1 to 1000000");
    row("sample %D/o.TMW --kinds dmr", 1, "a .tmw file holds TETRA frames only");
    row("sample %D/o.tmw --start 2136-02-07T06:28:00 --minutes 1", 1,
        "the recording would run past 2136-02-07 06:28:14 UTC");
    // Cannot write: exit 2, the path named.
    row("sample %D/folder.tmw --minutes 1", 2,
        "cannot write %D/folder.tmw: the file cannot be created");
    row("sample %D/full.lan --minutes 1", 2,
        "cannot write %D/full.lan: writing records failed: No space left on device");
}

void TestBvftool::commands() {
    QFETCH(QString, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QString d = m_clDir.path();
    const QMap<QString, QByteArray> clBefore = Snapshot(d);
    QStringList clArguments = Options(arguments);
    const bool bSample = clArguments.value(0) == "sample";
    clArguments.replaceInStrings("%260", QString(260 - d.size() - 1, 'a'))
        .replaceInStrings("%D", d);
    const ToolRun clRun = bSample ? RunTool(clArguments.mid(1)) : Bvftool(clArguments, d);
    QCOMPARE(clRun.exitCode, exitCode);
    const bool bOut = message.startsWith("out:");
    if (bSample) {
        QVERIFY2(clRun.err.startsWith("bvf-sample: " + message.replace("%D", d)) &&
                     clRun.err.contains("Usage:") == (exitCode == 1) && clRun.out.isEmpty(),
                 qPrintable(clRun.err));
    } else {
        QVERIFY2((bOut ? clRun.out : clRun.err).contains(message.mid(bOut ? 4 : 0)),
                 qPrintable(clRun.out + clRun.err));
    }
    if (exitCode != 0 || !arguments.startsWith("merge"))
        QCOMPARE(Snapshot(d), clBefore);
    QVERIFY(!QFileInfo::exists(m_clDir.filePath("sub/x.bvf")));
    for (const QString clstrOut : {"out.bvf", "sub/a_Joined.bvf"}) {
        if (QFileInfo::exists(m_clDir.filePath(clstrOut)))
            QVERIFY(Fingerprints(m_clDir.filePath(clstrOut)) ==
                    Fingerprints(m_clDir.filePath("a.bvf")) +
                        Fingerprints(m_clDir.filePath("b.bvf")));
        QFile::remove(m_clDir.filePath(clstrOut));
    }
}

// Each damaged stretch and refused record with its offset, as the decoder
// locates the frames.
void TestBvftool::verifyNamesDamageByOffset() {
    const QString d = m_clDir.path() + u'/';
    const QByteArray clBytes = ReadAll(d + "a.bvf");
    const QList<qint64> o = FrameStarts(clBytes);
    const qsizetype n = o.size() - 1, lHit = n / 2, lCut = n - 10;
    QVERIFY(n > 100);
    const auto fnOffset = [](qint64 l) {
        return QStringLiteral("offset %1 (0x%2): ").arg(l).arg(l, 0, 16);
    };
    QByteArray clFlipped = clBytes;
    clFlipped[(o[lHit] + o[lHit + 1]) / 2] ^= 0x04;
    // A record with a sound checksum that the reader refuses (its flag byte
    // is set) between two good ones.
    const QByteArray clGood = BuiltContainer();
    const QByteArray clRefused = Frame(3, Record(3, {}, QByteArray(20, '\0')).mid(kFrameHead), 1);
    // One bit flipped in the body of a record: that record, and nothing else;
    // cut inside a record: every record before it was read.
    const QList<std::tuple<QByteArray, QString, QString>> clCases = {
        {clFlipped, fnOffset(o[lHit]) + QString::number(o[lHit + 1] - o[lHit]) + " damaged byte(s)",
         QStringLiteral("damaged (container version 3, %1 records read, 1 damaged stretch(es)")
             .arg(n - 1)},
        {clBytes.left(o[lCut] + (o[lCut + 1] - o[lCut]) / 3),
         fnOffset(o[lCut]) + QStringLiteral("the file ends inside a record (%1 byte(s) cut off)")
                                 .arg((o[lCut + 1] - o[lCut]) / 3),
         QStringLiteral("%1 records read").arg(lCut)},
        {clGood + clRefused + clGood.mid(kHeaderSize),
         fnOffset(clGood.size()) +
             QStringLiteral("record of type 3 (%1 bytes) refused").arg(clRefused.size()),
         "10 records read, 0 damaged stretch(es), 1 record(s) refused"}};
    for (const auto &[clFile, clstrWhere, clstrSummary] : clCases) {
        QVERIFY(WriteFile(d + "v.bvf", clFile));
        const ToolRun clRun = Bvftool({"verify", d + "v.bvf"});
        QCOMPARE(clRun.exitCode, 1);
        QVERIFY2(clRun.out.contains(clstrWhere) && clRun.out.contains(clstrSummary),
                 qPrintable(clRun.out));
    }
}

// Two parts of one recording five minutes apart, then a third part that
// overlaps the second: what a script reads back from the picture.
void TestBvftool::timelineMarksGapsAndOverlaps() {
    const QString d = m_clDir.path() + u'/';
    for (const auto &[pName, pStart] : {std::pair{"t1.bvf", "2024-05-06 09:00:00"},
                                        {"t2.bvf", "2024-05-06 09:06:59"},
                                        {"t3.bvf", "2024-05-06 09:08:00"}})
        QVERIFY(Sample(d + pName, {"--minutes", "2", "--rate", "1", "--kinds", "tetra", "--magic",
                                   "0x7", "--start", pStart}));
    // Per class the data attributes of its elements, "file from to"; the
    // exit status under "exit".
    const auto fnDrawn = [&](const QStringList &clFiles) {
        const ToolRun clRun = Bvftool(QStringList{"timeline", "-o", "t.svg"} + clFiles, d);
        QMap<QString, QStringList> clDrawn{{"exit", {QString::number(clRun.exitCode)}}};
        QXmlStreamReader clXml(ReadAll(d + "t.svg"));
        while (!clXml.atEnd()) {
            const QXmlStreamAttributes a = clXml.readNext() == QXmlStreamReader::StartElement
                                               ? clXml.attributes()
                                               : QXmlStreamAttributes();
            if (a.hasAttribute("class"))
                clDrawn[a.value("class").toString()]
                    << QStringList{a.value("data-file").toString(), a.value("data-from").toString(),
                                   a.value("data-to").toString()}
                           .join(u' ');
        }
        QFile::remove(d + "t.svg");
        return clDrawn;
    };
    QMap<QString, QStringList> clDrawn = fnDrawn({"t1.bvf", "t2.bvf"});
    const QStringList clFiles = clDrawn.value("file");
    QCOMPARE(clDrawn.value("exit"), QStringList{"0"});
    QCOMPARE(clFiles.size(), 2);
    const qint64 lFirstEnd = clFiles[0].section(u' ', 2).toLongLong();
    QVERIFY(clFiles[0].startsWith("t1.bvf ") && clFiles[1].startsWith("t2.bvf "));
    QCOMPARE(clDrawn.value("gap"),
             QStringList{QString(" %1 %2").arg(lFirstEnd).arg(lFirstEnd + 300000)});
    QVERIFY(!clDrawn.contains("overlap"));
    clDrawn = fnDrawn({"t3.bvf", "t1.bvf", "t2.bvf"});
    QCOMPARE(clDrawn.value("file").size(), 3);
    QCOMPARE(clDrawn.value("gap").size(), 1);
    QCOMPARE(clDrawn.value("overlap"),
             QStringList{QString(" %1 %2")
                             .arg(clDrawn.value("file")[0].section(u' ', 1, 1))
                             .arg(clDrawn.value("file")[2].section(u' ', 2))});
}

BVF_TEST_MAIN(TestBvftool)
#include "test_bvftool.moc"
