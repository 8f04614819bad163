// bvf-sample is run as a program; its output is walked by the independent
// decoder of ContainerWalker and read through OpenFileFormat, which must agree
// with that decoder record for record.
#include "ContainerWalker.h"
#include "OpenFileFormat.h"
#include "RecordTypes.h"
#include "TestPaths.h"
#include "TestRegistry.h"
#include "ToolTestKit.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using namespace container_walk;

constexpr int64_t kTetraSlotsInWrap = 65536LL * 60 * 72;

struct SampleExpectation {
    int64_t startSeconds = 0;
    int64_t endSeconds = 0; // 0: no end (written by size)
    QStringList kinds;      // in the tool's order
    bool magicGiven = false;
    uint64_t magic = 0;
    qulonglong seed = 1;
};

// Walks the sample with the decoder above, checks what the tool promises of
// every record, and reads it through OpenFileFormat in step. Returns the
// number of records.
qint64 CheckSample(const QString &clstrPath, const SampleExpectation &clExpect) {
    const QByteArray clBytes = ReadAll(clstrPath);
    CContainerWalker clWalker(clBytes);
    const QString clstrHeaderError = clWalker.CheckHeader();
    [&] { QVERIFY2(clstrHeaderError.isEmpty(), qPrintable(clstrHeaderError)); }();
    if (QTest::currentTestFailed())
        return -1;

    FileHeaderInfo clInfo;
    std::memset(&clInfo, 0, sizeof clInfo);
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(ToWide(clstrPath).c_str(), clInfo);

    qint64 lCount = 0;
    [&] {
        if (clExpect.magicGiven)
            QCOMPARE(clWalker.FileMagic(), clExpect.magic);
        QCOMPARE(clWalker.StartTime(), clExpect.startSeconds);
        QCOMPARE(clWalker.Value16(), uint16_t(0));
        QCOMPARE(clWalker.Text(51, 128), QByteArray("Generated sample recording"));
        QCOMPARE(clWalker.Text(179, 64), "bvf-sample seed " + QByteArray::number(clExpect.seed));
        QCOMPARE(clWalker.Text(243, 64), clExpect.kinds.join(QLatin1Char(',')).toLatin1());
        QVERIFY(!clWalker.Text(1331, 1000).isEmpty());
        QCOMPARE(clWalker.Raw(307, 1024), QByteArray(1024, '\0'));
        QCOMPARE(clWalker.Raw(2331, 24), QByteArray(24, '\0'));

        QVERIFY(pReader);
        QCOMPARE(clInfo.fileMagic, clWalker.FileMagic());
        QCOMPARE(clInfo.startTime, clWalker.StartTime());
        QCOMPARE(QByteArray(clInfo.recordingType), clWalker.Text(51, 128));
        QCOMPARE(QByteArray(clInfo.infoText1), clWalker.Text(179, 64));
        QCOMPARE(QByteArray(clInfo.infoText2), clWalker.Text(243, 64));
        QCOMPARE(QByteArray(clInfo.infoText3), clWalker.Text(1331, 1000));

        QSet<QString> clSeen;
        int64_t lLatestMs = clExpect.startSeconds * 1000;
        bool bHaveTetra = false;
        int64_t lTetraSlot0 = 0, lTetraTime0 = 0;
        int lDmrCount = 0;
        DecodedRecord clPrevious;
        DecodedRecord clRecord;
        while (!clWalker.AtEnd()) {
            const QString clstrError = clWalker.Next(clRecord);
            QVERIFY2(clstrError.isEmpty(), qPrintable(clstrError));
            const QByteArray clWhere = QByteArray("record ") + QByteArray::number(lCount) +
                                       " at offset " + QByteArray::number(clRecord.offset);
            clSeen.insert(KindName(clRecord.type));

            // Times never run backwards; generic records carry whole seconds only.
            if (clRecord.hasTime) {
                if (clRecord.type == 2)
                    QVERIFY2(clRecord.timeMs + 999 >= lLatestMs, clWhere.constData());
                else
                    QVERIFY2(clRecord.timeMs >= lLatestMs, clWhere.constData());
                lLatestMs = std::max(lLatestMs, clRecord.timeMs);
                QVERIFY2(clRecord.timeMs >= clExpect.startSeconds * 1000, clWhere.constData());
                if (clExpect.endSeconds)
                    QVERIFY2(clRecord.timeMs < clExpect.endSeconds * 1000, clWhere.constData());
            }

            switch (clRecord.type) {
            case 3:
            case 6:
            case 8: {
                const TetraTmv &t = clRecord.tetra;
                QVERIFY2(clRecord.frequency >= 390000000 && clRecord.frequency <= 470000000,
                         clWhere.constData());
                QCOMPARE(clRecord.symbolRate, 18000u);
                QVERIFY2(t.multiframe >= 1 && t.multiframe <= 60, clWhere.constData());
                QVERIFY2(t.frame >= 1 && t.frame <= 18, clWhere.constData());
                QVERIFY2(t.timeslot >= 1 && t.timeslot <= 4, clWhere.constData());
                QVERIFY2(t.direction <= 1, clWhere.constData());
                if (clRecord.type != 6)
                    QVERIFY2(t.bitCount == 216 || t.bitCount == 432 || t.bitCount == 510,
                             clWhere.constData());
                // The frame counters run with the clock: 85/6 ms per timeslot,
                // the uplink two timeslots behind the downlink.
                const int64_t lSlot = int64_t(t.hyperframe) * 4320 + (t.multiframe - 1) * 72 +
                                      (t.frame - 1) * 4 + (t.timeslot - 1) + 2 * t.direction;
                if (!bHaveTetra) {
                    bHaveTetra = true;
                    lTetraSlot0 = lSlot;
                    lTetraTime0 = clRecord.timeMs;
                }
                int64_t lSlots = (lSlot - lTetraSlot0) % kTetraSlotsInWrap;
                if (lSlots > kTetraSlotsInWrap / 2)
                    lSlots -= kTetraSlotsInWrap;
                else if (lSlots < -kTetraSlotsInWrap / 2)
                    lSlots += kTetraSlotsInWrap;
                const int64_t lDriftUs =
                    lSlots * 85000 / 6 - (clRecord.timeMs - lTetraTime0) * 1000;
                QVERIFY2(std::abs(lDriftUs) <= 15200, clWhere.constData());
                break;
            }
            case 5: {
                QCOMPARE(clRecord.symbolRate, 4800u);
                QVERIFY2(!clRecord.items.isEmpty(), clWhere.constData());
                QCOMPARE(clRecord.dmrTimeslot, lDmrCount++ % 2);
                QVERIFY2(clRecord.dmrBurstKind >= 1 && clRecord.dmrBurstKind <= 3,
                         clWhere.constData());
                for (const DecodedItem &clItem : clRecord.items)
                    QVERIFY2(clItem.data.size() >= 1 &&
                                 clItem.data.size() <= kItemCapacity[ItemSlot(clItem.kind)],
                             clWhere.constData());
                break;
            }
            case 9:
                QCOMPARE(clRecord.symbolRate, 270833u);
                QVERIFY2(clRecord.frequency >= 935000000 && clRecord.frequency <= 960000000,
                         clWhere.constData());
                QVERIFY2(clRecord.gsm.fileTime % 10000 == 0, clWhere.constData());
                QVERIFY2(clRecord.gsm.bitCount >= 1 && clRecord.gsm.bitCount <= 1256 * 8,
                         clWhere.constData());
                // A record of direction 1 is the second of a pair with one time.
                if (clRecord.gsm.direction == 1) {
                    QVERIFY2(clPrevious.type == 9 && clPrevious.gsm.direction == 0,
                             clWhere.constData());
                    QCOMPARE(clRecord.gsm.fileTime, clPrevious.gsm.fileTime);
                }
                break;
            case 2: {
                const auto *p = reinterpret_cast<const uchar *>(clRecord.generic.constData());
                QVERIFY2(clRecord.generic.size() >= 72, clWhere.constData());
                QCOMPARE(Le64(p + 64), clRecord.frequency);
                break;
            }
            case 4:
                QVERIFY2(clRecord.noticeCode != 0, clWhere.constData());
                QVERIFY2(clRecord.noticeText.indexOf('\0') > 0, clWhere.constData());
                break;
            }

            RawRecord clRead;
            std::memset(&clRead, 0, sizeof clRead);
            QCOMPARE(int(pReader->ReadData(clRead)), int(FILE_OK));
            const QString clstrDiff = CompareWithReader(clRead, clRecord);
            QVERIFY2(clstrDiff.isEmpty(),
                     qPrintable(QString::fromLatin1(clWhere) + QStringLiteral(": ") + clstrDiff));
            clPrevious = clRecord;
            ++lCount;
        }
        RawRecord clRead;
        QCOMPARE(int(pReader->ReadData(clRead)), int(FILE_END_OF_DATA));
        QStringList clSeenSorted;
        for (const QString &clstrKind : clExpect.kinds)
            if (clSeen.contains(clstrKind))
                clSeenSorted.append(clstrKind);
        QCOMPARE(clSeenSorted, clExpect.kinds);
        QCOMPARE(clSeen.size(), clExpect.kinds.size());
    }();
    if (pReader)
        pReader->CloseFile();
    return QTest::currentTestFailed() ? -1 : lCount;
}

// "N records, M bytes" of the summary line.
bool ParseSummary(const QString &clstrOut, qint64 &lRecords, qint64 &lBytes) {
    static const QRegularExpression clPattern(QStringLiteral("(\\d+) records, (\\d+) bytes"));
    const QRegularExpressionMatch clMatch = clPattern.match(clstrOut);
    if (!clMatch.hasMatch() || clstrOut.count(QLatin1Char('\n')) != 1)
        return false;
    lRecords = clMatch.captured(1).toLongLong();
    lBytes = clMatch.captured(2).toLongLong();
    return true;
}

const QStringList kAllKinds = {QStringLiteral("tetra"), QStringLiteral("aux"),
                               QStringLiteral("ext"),   QStringLiteral("dmr"),
                               QStringLiteral("gsm"),   QStringLiteral("generic"),
                               QStringLiteral("notice")};

} // namespace

class TestBvfSample : public QObject {
    Q_OBJECT

  private slots:
    void validSample_data();
    void validSample();
    void sizeTargetIgnoresMinutes();
    void recordLimit();
    void deterministicForSeed();
    void badArguments_data();
    void badArguments();
    void unwritableTarget_data();
    void unwritableTarget();
};

void TestBvfSample::validSample_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<QString>("magic"); // empty: derived from the seed
    QTest::addColumn<qulonglong>("seed");
    QTest::addColumn<qint64>("maxBytes");

    QTest::newRow("defaults") << QStringList() << Utc("2024-05-06T08:00:00Z")
                              << Utc("2024-05-06T08:10:00Z") << kAllKinds << QString()
                              << qulonglong(1) << qint64(4 << 20);
    QTest::newRow("every kind over a year boundary, kinds in any order")
        << QStringList{"--start",   "2023-12-31 23:58:30",
                       "--minutes", "3",
                       "--rate",    "40",
                       "--kinds",   "notice,gsm,tetra,aux,ext,dmr,generic",
                       "--magic",   "0xDEADBEEF01234567",
                       "--seed",    "7"}
        << Utc("2023-12-31T23:58:30Z") << Utc("2024-01-01T00:01:30Z") << kAllKinds
        << QStringLiteral("DEADBEEF01234567") << qulonglong(7) << qint64(4 << 20);
    QTest::newRow("DMR and notices at one record a second")
        << QStringList{"--kinds", "dmr,notice", "--rate", "1",      "--minutes",
                       "2",       "--magic",    "0",      "--seed", "3"}
        << Utc("2024-05-06T08:00:00Z") << Utc("2024-05-06T08:02:00Z")
        << QStringList{"dmr", "notice"} << QStringLiteral("0") << qulonglong(3) << qint64(1 << 20);
    QTest::newRow("GSM only, fast")
        << QStringList{"--kinds",   "gsm", "--rate",  "400",
                       "--minutes", "1",   "--start", "1970-01-01 00:00:00"}
        << qint64(0) << qint64(60) << QStringList{"gsm"} << QString() << qulonglong(1)
        << qint64(16 << 20);
    QTest::newRow("TETRA kinds only")
        << QStringList{"--kinds", "ext,tetra,aux", "--minutes",
                       "5",       "--seed",        "18446744073709551615"}
        << Utc("2024-05-06T08:00:00Z") << Utc("2024-05-06T08:05:00Z")
        << QStringList{"tetra", "aux", "ext"} << QString() << qulonglong(18446744073709551615ULL)
        << qint64(4 << 20);
    // The sample that scripts/run opens: two hours, tens of MB at most.
    QTest::newRow("two hours of mixed traffic")
        << QStringList{"--minutes", "120", "--kinds", "tetra,aux,ext,dmr,gsm,generic,notice"}
        << Utc("2024-05-06T08:00:00Z") << Utc("2024-05-06T10:00:00Z") << kAllKinds << QString()
        << qulonglong(1) << qint64(48 << 20);
}

void TestBvfSample::validSample() {
    QFETCH(QStringList, options);
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(QStringList, kinds);
    QFETCH(QString, magic);
    QFETCH(qulonglong, seed);
    QFETCH(qint64, maxBytes);

    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrPath = clDir.filePath(QStringLiteral("sample.bvf"));
    const ToolRun clRun = RunTool(QStringList{clstrPath} + options);
    QVERIFY2(clRun.exitCode == 0, qPrintable(clRun.err));

    SampleExpectation clExpect;
    clExpect.startSeconds = start;
    clExpect.endSeconds = end;
    clExpect.kinds = kinds;
    clExpect.magicGiven = !magic.isEmpty();
    clExpect.magic = magic.toULongLong(nullptr, 16);
    clExpect.seed = seed;
    const qint64 lRecords = CheckSample(clstrPath, clExpect);
    if (QTest::currentTestFailed())
        return;

    const qint64 lSize = QFileInfo(clstrPath).size();
    QVERIFY(lSize <= maxBytes);
    // Every second of the span holds records.
    QVERIFY(lRecords >= end - start);
    qint64 lSaidRecords = 0, lSaidBytes = 0;
    QVERIFY2(ParseSummary(clRun.out, lSaidRecords, lSaidBytes), qPrintable(clRun.out));
    QCOMPARE(lSaidRecords, lRecords);
    QCOMPARE(lSaidBytes, lSize);
}

void TestBvfSample::sizeTargetIgnoresMinutes() {
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrPath = clDir.filePath(QStringLiteral("sized.bvf"));
    const ToolRun clRun = RunTool({clstrPath, QStringLiteral("--size-mib"), QStringLiteral("2"),
                                   QStringLiteral("--minutes"), QStringLiteral("1"),
                                   QStringLiteral("--seed"), QStringLiteral("11")});
    QVERIFY2(clRun.exitCode == 0, qPrintable(clRun.err));
    const qint64 lSize = QFileInfo(clstrPath).size();
    // Within one write buffer of the target.
    QVERIFY2(lSize >= (2 << 20) && lSize <= (2 << 20) + 131072, qPrintable(clRun.out));

    SampleExpectation clExpect;
    clExpect.startSeconds = Utc("2024-05-06T08:00:00Z");
    clExpect.kinds = kAllKinds;
    clExpect.seed = 11;
    QVERIFY(CheckSample(clstrPath, clExpect) > 0);
    // One minute at the default rate is far below 2 MiB: the span ran on.
    QVERIFY(clRun.out.contains(QStringLiteral("to 2024-05-06 08:1")));
}

void TestBvfSample::recordLimit() {
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrPath = clDir.filePath(QStringLiteral("small.bvf"));
    const ToolRun clRun = RunTool({clstrPath, QStringLiteral("--records"), QStringLiteral("7")});
    QVERIFY2(clRun.exitCode == 0, qPrintable(clRun.err));

    SampleExpectation clExpect;
    clExpect.startSeconds = Utc("2024-05-06T08:00:00Z");
    clExpect.kinds = kAllKinds; // the first records hold each kind once
    clExpect.seed = 1;
    QCOMPARE(CheckSample(clstrPath, clExpect), qint64(7));
    qint64 lSaidRecords = 0, lSaidBytes = 0;
    QVERIFY2(ParseSummary(clRun.out, lSaidRecords, lSaidBytes), qPrintable(clRun.out));
    QCOMPARE(lSaidRecords, qint64(7));
    QVERIFY(QFileInfo(clstrPath).size() < 16384);
}

void TestBvfSample::deterministicForSeed() {
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QStringList clOptions{QStringLiteral("--minutes"), QStringLiteral("2"),
                                QStringLiteral("--rate"), QStringLiteral("100")};
    const QString clstrFirst = clDir.filePath(QStringLiteral("first.bvf"));
    const QString clstrSecond = clDir.filePath(QStringLiteral("second.bvf"));
    const QString clstrOther = clDir.filePath(QStringLiteral("other.bvf"));
    QCOMPARE(
        RunTool(QStringList{clstrFirst, QStringLiteral("--seed"), QStringLiteral("5")} + clOptions)
            .exitCode,
        0);
    QCOMPARE(
        RunTool(QStringList{clstrSecond, QStringLiteral("--seed"), QStringLiteral("5")} + clOptions)
            .exitCode,
        0);
    QCOMPARE(
        RunTool(QStringList{clstrOther, QStringLiteral("--seed"), QStringLiteral("6")} + clOptions)
            .exitCode,
        0);
    const QByteArray clFirst = ReadAll(clstrFirst);
    const QByteArray clSecond = ReadAll(clstrSecond);
    const QByteArray clOther = ReadAll(clstrOther);
    QVERIFY(clFirst.size() > kHeaderSize);
    QVERIFY(clFirst == clSecond);
    // Another seed: another recording with another magic.
    QVERIFY(clOther.size() > kHeaderSize);
    QVERIFY(clFirst.mid(kHeaderSize) != clOther.mid(kHeaderSize));
    QVERIFY(clFirst.mid(33, 8) != clOther.mid(33, 8));
}

void TestBvfSample::badArguments_data() {
    QTest::addColumn<QStringList>("arguments"); // "OUT" stands for the output path

    QTest::newRow("no output") << QStringList();
    QTest::newRow("two outputs") << QStringList{"OUT", "OUT2"};
    QTest::newRow("unknown option") << QStringList{"OUT", "--hours", "2"};
    QTest::newRow("option without value") << QStringList{"OUT", "--minutes"};
    QTest::newRow("minutes 0") << QStringList{"OUT", "--minutes", "0"};
    QTest::newRow("minutes not a number") << QStringList{"OUT", "--minutes", "ten"};
    QTest::newRow("rate 0") << QStringList{"OUT", "--rate", "0"};
    QTest::newRow("negative rate") << QStringList{"OUT", "--rate", "-5"};
    QTest::newRow("month 13") << QStringList{"OUT", "--start", "2024-13-01 00:00:00"};
    QTest::newRow("before 1970") << QStringList{"OUT", "--start", "1969-12-31 23:59:59"};
    QTest::newRow("date without time") << QStringList{"OUT", "--start", "2024-05-06"};
    QTest::newRow("empty kinds") << QStringList{"OUT", "--kinds", ""};
    QTest::newRow("unknown kind") << QStringList{"OUT", "--kinds", "tetra,fm"};
    QTest::newRow("trailing comma") << QStringList{"OUT", "--kinds", "tetra,"};
    QTest::newRow("magic not hex") << QStringList{"OUT", "--magic", "xyz"};
    QTest::newRow("magic of 17 digits") << QStringList{"OUT", "--magic", "12345678901234567"};
    QTest::newRow("negative seed") << QStringList{"OUT", "--seed", "-1"};
    QTest::newRow("size 0") << QStringList{"OUT", "--size-mib", "0"};
    QTest::newRow("records 0") << QStringList{"OUT", "--records", "0"};
    QTest::newRow("path of 260 characters") << QStringList{"LONG"};
}

void TestBvfSample::badArguments() {
    QFETCH(QStringList, arguments);
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    for (QString &clstrArgument : arguments) {
        if (clstrArgument == QLatin1String("OUT"))
            clstrArgument = clDir.filePath(QStringLiteral("out.bvf"));
        else if (clstrArgument == QLatin1String("OUT2"))
            clstrArgument = clDir.filePath(QStringLiteral("out2.bvf"));
        else if (clstrArgument == QLatin1String("LONG"))
            clstrArgument =
                clDir.filePath(QString(260 - clDir.path().size() - 1, QLatin1Char('a')));
    }
    const ToolRun clRun = RunTool(arguments);
    QCOMPARE(clRun.exitCode, 1);
    QVERIFY2(clRun.err.contains(QStringLiteral("Usage:")), qPrintable(clRun.err));
    QVERIFY(clRun.out.isEmpty());
    // Nothing was written.
    QCOMPARE(QDir(clDir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList());
}

void TestBvfSample::unwritableTarget_data() {
    QTest::addColumn<QString>("target"); // relative to the temporary folder unless absolute
    QTest::addColumn<QString>("reason");
    QTest::newRow("a folder stands at the path") << "taken.bvf"
                                                 << "cannot be created";
    QTest::newRow("missing folder") << "missing/out.bvf"
                                    << "cannot be created";
    QTest::newRow("full device") << "/dev/full"
                                 << "writing the header failed";
}

void TestBvfSample::unwritableTarget() {
    QFETCH(QString, target);
    QFETCH(QString, reason);
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    QVERIFY(QDir(clDir.path()).mkdir(QStringLiteral("taken.bvf")));
    const QString clstrPath = QDir(clDir.path()).filePath(target);
    const ToolRun clRun = RunTool({clstrPath, QStringLiteral("--minutes"), QStringLiteral("1")});
    QCOMPARE(clRun.exitCode, 2);
    QVERIFY2(clRun.err.contains(clstrPath) && clRun.err.contains(reason), qPrintable(clRun.err));
    QVERIFY(clRun.out.isEmpty());
}

BVF_TEST_MAIN(TestBvfSample)
#include "test_bvf_sample.moc"
