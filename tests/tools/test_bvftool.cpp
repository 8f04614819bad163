// bvftool run as a program on recordings made by bvf-sample and built byte by
// byte. What verify and merge report is checked against the independent
// container decoder and our reader.
#include "ContainerBytes.h"
#include "ContainerWalker.h"
#include "OpenFileFormat.h"
#include "RecordFields.h"
#include "TestPaths.h"
#include "TestRegistry.h"
#include "ToolTestKit.h"
#include "WorkerSources.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

#include <cstring>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace {

using namespace ContainerBytes;
using namespace ReliabilityTestKit;
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

// Every record (that fnKeep keeps) as its kind, frequency and payload bytes,
// in file order.
QList<QByteArray> Fingerprints(const QString &clstrPath,
                               const std::function<bool(const RawRecord &)> &fnKeep = {}) {
    QList<QByteArray> clPrints;
    FileHeaderInfo clInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(ToWide(clstrPath).c_str(), clInfo);
    for (RawRecord r{}; pReader && pReader->ReadData(r) == FILE_OK; r = RawRecord{}) {
        if (!fnKeep || fnKeep(r))
            clPrints << char(r.payloadKind) + QByteArray::number(qulonglong(r.frequency)) +
                            QByteArray(static_cast<const char *>(r.payload), r.payloadLength);
    }
    return clPrints;
}

QList<QJsonObject> JsonLines(const QString &clstrOut) {
    QList<QJsonObject> clDocuments;
    for (const QString &clstrLine : clstrOut.split(u'\n', Qt::SkipEmptyParts))
        clDocuments << QJsonDocument::fromJson(clstrLine.toUtf8()).object();
    return clDocuments;
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
    void splitPlanIsWhatSplitWrites_data();
    void splitPlanIsWhatSplitWrites();
    void manifestProvesParts();
    void extractKeepsMatchingRecords();
    void fourSplitsIntoOneFolder();

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
    // One part holding every record unchanged: the source's size.
    row("split --by-time 01:00 --plan a.bvf", 0,
        "out:a.bvf: 1 part(s) would be written\n  2024-05-06 08:00:00.000 .. 2024-05-06 "
        "08:00:59.960 UTC  1518 records  " +
            QString::number(QFileInfo(m_clDir.filePath("a.bvf")).size()) +
            " bytes  a__2024-05-06_08.00.00.bvf\n");
    row("split --parts 3 --by-time 01:00 a.bvf", 2, "give exactly one of --by-time, --period");
    row("split --parts 100 a.bvf", 2, "--parts wants a number from 2 to 99");
    row("split --by-time 00:10 --fixed-name x.bvf a.bvf", 2, "--fixed-name PATH goes with");
    row("split --by-time 00:10 -d missing a.bvf", 1, "bvftool: missing: is not a folder");
    row("split --by-time 00:10 fifo a.bvf --plan", 1, "bvftool: fifo" + clNotAFile);
    row("split --period 2024-05-06T08:00 2024-05-06T08:00 --fixed-name link.bvf a.bvf", 1,
        "part link.bvf would replace the source; a source is never overwritten");
    row("split --period 2024-05-06T09:00 2024-05-06T10:00 a.bvf", 1,
        "a.bvf: the period lies wholly outside the recording");
    row("extract -o ./b.bvf a.bvf b.bvf", 1, "./b.bvf: is one of the files to read");
    row("extract -o out.bvf a.bvf other.bvf", 1, "the files belong to more than one recording");
    row("extract -o out.bvf --frequency 1,x a.bvf", 1, "--frequency wants Hz");
    row("verify --manifest a.bvf", 2, "bvftool: a.bvf: is not a manifest of bvftool split");
    row("merge -o out.bvf --manifest missing.json", 1, "bvftool: missing.json: cannot be opened");
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

// --plan lists exactly what the same split then writes, for every mode and
// source format; each part holds what the listing says, read independently.
void TestBvftool::splitPlanIsWhatSplitWrites_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("mode");
    const char *const kKinds[] = {"v3", "v1", "v2", "tmw", "lan-tetra", "lan-dmr"};
    for (int k = 0; k < 6; ++k) {
        for (const QString m :
             {"--by-time 00:20", "--by-time 01:00 --align --naming 2",
              "--period 2024-05-06T08:00 2024-05-06T09:10:30", "--parts 3 --naming 1 --local",
              "--by-time 00:30 --offset 3600 --frequency 390000000",
              // after the recording's end unless moved by the offset
              "--period 2024-05-06T10:20 2024-05-06T10:50 --offset 3600"})
            QTest::newRow(qPrintable(QString(kKinds[k]) + ' ' + m)) << k << m;
    }
}

void TestBvftool::splitPlanIsWhatSplitWrites() {
    QFETCH(int, kind);
    QFETCH(QString, mode);
    QTemporaryDir clDir;
    const QString d = clDir.path() + u'/', clSource = SourceFileName(SourceKind(kind));
    QVERIFY(WriteSource(SourceKind(kind), d + clSource, {}) && QDir(d).mkdir("p"));
    const QStringList clArguments = QStringList{"split", "--json", "-d", "p", clSource}
                                    << Options(mode);
    const ToolRun clPlan = Bvftool(QStringList(clArguments) << "--plan", d);
    QCOMPARE(clPlan.exitCode, 0);
    QVERIFY(QDir(d + "p").isEmpty());
    const ToolRun clSplit = Bvftool(clArguments, d);
    QCOMPARE(clSplit.exitCode, 0);
    QCOMPARE(clSplit.out, clPlan.out);
    const QJsonArray clParts = JsonLines(clPlan.out).value(0).value("parts").toArray();
    QStringList clNames;
    for (const QJsonValue &v : clParts)
        clNames << v["name"].toString();
    QStringList clWritten = QDir(d + "p").entryList(QDir::Files);
    QCOMPARE(clWritten.replaceInStrings(QRegularExpression("^"), "p/"), clNames);
    const QList<QJsonObject> clInfo =
        JsonLines(Bvftool(QStringList{"info", "--json"} << clNames, d).out);
    qint64 lRecords = 0;
    QCOMPARE(clInfo.size(), clParts.size());
    for (qsizetype i = 0; i < clParts.size(); ++i) {
        QCOMPARE(clParts[i]["bytes"].toInteger(), QFileInfo(d + clNames[i]).size());
        QCOMPARE(clParts[i]["records"].toInteger(), clInfo[i]["records"].toInteger());
        QCOMPARE(clParts[i]["firstMs"].toInteger(), clInfo[i]["firstRecordMs"].toInteger());
        QCOMPARE(clParts[i]["lastMs"].toInteger(), clInfo[i]["lastRecordMs"].toInteger());
        lRecords += clInfo[i]["records"].toInteger();
    }
    // Every record lands in a part, except outside a period.
    const qint64 lSource =
        JsonLines(Bvftool({"info", "--json", clSource}, d).out).value(0)["records"].toInteger();
    QVERIFY(mode.startsWith("--period") ? lRecords < lSource : lRecords == lSource);
    QVERIFY(clParts.size() > 1 || mode.startsWith("--period"));
}

// A manifest proves the parts: any changed byte, missing part or two parts
// swapped in name is named; the merge of the parts gives back the source.
void TestBvftool::manifestProvesParts() {
    QTemporaryDir clDir;
    const QString d = clDir.path() + u'/';
    QVERIFY(Sample(d + "s.bvf", {"--minutes", "50"}) && QDir(d).mkdir("p"));
    const QStringList clSplit = {"split", "--by-time", "00:15", "--manifest", "-d", "p", "s.bvf"};
    QCOMPARE(Bvftool(clSplit, d).exitCode, 0);
    const QStringList p = QDir(d + "p").entryList({"*.bvf"});
    QCOMPARE(p.size(), 4);
    const QMap<QString, QByteArray> clParts = Snapshot(d + "p");
    // Again without --overwrite: every part is left as it is.
    const ToolRun clAgain = Bvftool(clSplit, d);
    QVERIFY(clAgain.exitCode == 1 && clAgain.err.contains(p[0] + " exists already"));
    QCOMPARE(Snapshot(d + "p"), clParts);

    const QStringList clVerify = {"verify", "--manifest", "p/s.manifest.json"};
    QVERIFY(Bvftool(clVerify, d).out.endsWith("p/s.manifest.json: sound (4 parts)\n"));
    QCOMPARE(Bvftool({"merge", "--manifest", "p/s.manifest.json", "-o", "j.bvf"}, d).exitCode, 0);
    QCOMPARE(ReadAll(d + "j.bvf").mid(kHeaderSize), ReadAll(d + "s.bvf").mid(kHeaderSize));

    const auto fnPart = [&](int i) { return d + "p/" + p[i]; };
    const QByteArray clOriginal = ReadAll(fnPart(1));
    QByteArray clChanged = clOriginal;
    clChanged[clChanged.size() / 2] = char(clChanged[clChanged.size() / 2] ^ 0x10);
    const auto fnSwap = [&] {
        return QFile::rename(fnPart(0), d + "x") && QFile::rename(fnPart(2), fnPart(0)) &&
               QFile::rename(d + "x", fnPart(2));
    };
    const QString clHeld = ": reordered: holds what part %1 held\n";
    const QList<std::tuple<std::function<bool()>, QString, std::function<bool()>>> clCases = {
        {[&] { return WriteFile(fnPart(1), clChanged); }, p[1] + ": altered",
         [&] { return WriteFile(fnPart(1), clOriginal); }},
        {[&] { return QFile::rename(fnPart(3), d + "away"); }, p[3] + ": missing\n",
         [&] { return QFile::rename(d + "away", fnPart(3)); }},
        {fnSwap, p[0] + clHeld.arg(p[2]) + p[1] + ": sound\n" + p[2] + clHeld.arg(p[0]), fnSwap},
    };
    for (const auto &[fnDo, clExpected, fnUndo] : clCases) {
        QVERIFY(fnDo());
        const ToolRun clRun = Bvftool(clVerify, d);
        QCOMPARE(clRun.exitCode, 1);
        QVERIFY2(clRun.out.contains(clExpected) && clRun.out.contains("NOT sound"),
                 qPrintable(clRun.out));
        QCOMPARE(Bvftool({"merge", "--manifest", "p/s.manifest.json", "-o", "k.bvf"}, d).exitCode,
                 1);
        QFile::remove(d + "k.bvf");
        QVERIFY(fnUndo());
        QCOMPARE(Bvftool(clVerify, d).exitCode, 0);
    }
}

// Exactly the records that match, from files put in the order of their starts.
void TestBvftool::extractKeepsMatchingRecords() {
    const QString d = m_clDir.path() + u'/';
    const uint64_t lHz = 449650000; // TETRA, its auxiliary and generic records
    const int64_t lFrom = (kStart + 30) * 1000, lTo = (kStart + 90) * 1000;
    const std::function<bool(const RawRecord &)> fnCarrier = [&](const RawRecord &r) {
        return r.payloadKind <= PAYLOAD_GSM && r.frequency == lHz;
    };
    const std::function<bool(const RawRecord &)> fnWindow = [&](const RawRecord &r) {
        const std::optional<int64_t> t = RecordTimeMilliseconds(r);
        return (r.payloadKind == PAYLOAD_TETRA || r.payloadKind == PAYLOAD_GSM) && t &&
               *t >= lFrom && *t < lTo;
    };
    const QList<std::pair<QString, std::function<bool(const RawRecord &)>>> clCases = {
        {"--frequency 1," + QString::number(lHz), fnCarrier},
        {"--kinds gsm,tetra --from 2024-05-06T08:00:30 --to 2024-05-06T08:01:29", fnWindow},
    };
    for (const auto &[clOptions, fnKeep] : clCases) {
        const ToolRun clRun = Bvftool(
            QStringList{"extract", "-o", "ex.bvf", "b.bvf", "a.bvf"} << Options(clOptions), d);
        QCOMPARE(clRun.exitCode, 0);
        const QList<QByteArray> clExpected =
            Fingerprints(d + "a.bvf", fnKeep) + Fingerprints(d + "b.bvf", fnKeep);
        QVERIFY(clExpected.size() > 10 && clExpected.size() < Fingerprints(d + "a.bvf").size());
        QVERIFY(Fingerprints(d + "ex.bvf") == clExpected);
        QVERIFY(QFile::remove(d + "ex.bvf"));
    }
}

// Four splits at once into one folder share nothing: each manifest proves
// its parts, and together they hold every record of their sources.
void TestBvftool::fourSplitsIntoOneFolder() {
    QTemporaryDir clDir;
    const QString d = clDir.path() + u'/';
    QVERIFY(QDir(d).mkdir("out"));
    std::vector<std::unique_ptr<QProcess>> clRuns;
    for (int i = 0; i < 4; ++i) {
        QVERIFY(
            Sample(d + QString("s%1.bvf").arg(i), {"--minutes", "40", "--seed", QString::number(i),
                                                   "--magic", QString::number(i + 1)}));
        clRuns.push_back(std::make_unique<QProcess>());
        clRuns.back()->start(BVFTOOL_PATH, {"split", "--by-time", "00:10", "--manifest", "-d",
                                            d + "out", d + QString("s%1.bvf").arg(i)});
    }
    QStringList clListed;
    for (int i = 0; i < 4; ++i) {
        QVERIFY(clRuns[i]->waitForFinished(120000) && clRuns[i]->exitCode() == 0);
        const QString clManifest = d + QString("out/s%1.manifest.json").arg(i);
        QCOMPARE(Bvftool({"verify", "--manifest", clManifest}).exitCode, 0);
        const QJsonObject clRoot = QJsonDocument::fromJson(ReadAll(clManifest)).object();
        QList<QByteArray> clPrints;
        for (const QJsonValue &v : clRoot["parts"].toArray()) {
            clListed << v["name"].toString();
            clPrints += Fingerprints(d + "out/" + v["name"].toString());
        }
        QVERIFY(clPrints == Fingerprints(d + QString("s%1.bvf").arg(i)));
        QCOMPARE(clRoot["recordStreamSha256"], clRoot["source"]["recordStreamSha256"]);
    }
    QCOMPARE(clListed.size(), 16);
    clListed.sort();
    QCOMPARE(QDir(d + "out").entryList({"*.bvf"}), clListed);
}

BVF_TEST_MAIN(TestBvftool)
#include "test_bvftool.moc"
