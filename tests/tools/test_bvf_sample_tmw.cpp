// bvf-sample writing TMW recordings (".tmw" and ".lan"), run as a program;
// its files are read back through OpenFileFormat, which must hand out as many
// records as the tool promises, all within the asked span.
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
#include <cstring>
#include <memory>

namespace {

// "R records in F frames|entries, B bytes, FIRST to LAST UTC" of the summary.
struct Summary {
    qint64 records = -1;
    qint64 frames = -1;
    QString unit;
    qint64 bytes = -1;
    QString last; // "yyyy-MM-dd hh:mm:ss.zzz"
};

bool ParseSummary(const QString &clstrOut, Summary &clSummary) {
    static const QRegularExpression clPattern(
        QStringLiteral("^bvf-sample: .*: (\\d+) records in (\\d+) (frames|entries), (\\d+) "
                       "bytes, [0-9-]+ [0-9:.]+ to ([0-9-]+ [0-9:.]+) UTC\\n$"));
    const QRegularExpressionMatch clMatch = clPattern.match(clstrOut);
    if (!clMatch.hasMatch())
        return false;
    clSummary.records = clMatch.captured(1).toLongLong();
    clSummary.frames = clMatch.captured(2).toLongLong();
    clSummary.unit = clMatch.captured(3);
    clSummary.bytes = clMatch.captured(4).toLongLong();
    clSummary.last = clMatch.captured(5);
    return true;
}

// What the reader makes of a recording.
struct Reading {
    bool opened = false;
    QByteArray recordingType;
    qint64 records = 0;
    int endResult = -1;
    QSet<int> kinds;
    qint64 firstMs = 0;
    qint64 lastMs = 0;
    QSet<qint64> seconds; // every second that holds a record
    QString problem;      // the first record that broke a rule, empty if none
};

Reading ReadRecording(const QString &clstrPath) {
    Reading clReading;
    FileHeaderInfo clInfo;
    std::memset(&clInfo, 0, sizeof clInfo);
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(ToWide(clstrPath).c_str(), clInfo);
    if (!pReader)
        return clReading;
    clReading.opened = true;
    clReading.recordingType = QByteArray(clInfo.recordingType);
    for (;;) {
        RawRecord clRecord;
        std::memset(&clRecord, 0, sizeof clRecord);
        const FileResult enResult = pReader->ReadData(clRecord);
        if (enResult != FILE_OK) {
            clReading.endResult = int(enResult);
            break;
        }
        qint64 lMs = 0;
        QString clstrProblem;
        if (clRecord.payloadKind == PAYLOAD_DMR) {
            const auto &clDmr = *static_cast<const DmrTmv *>(clRecord.payload);
            lMs = qint64(clDmr.timeSeconds) * 1000 + clDmr.milliseconds;
        } else {
            const auto &clTetra = *static_cast<const TetraTmv *>(clRecord.payload);
            lMs = qint64(clTetra.timeSeconds) * 1000 + clTetra.milliseconds;
            // The carrier lies in the TETRA bands, and the payload names the
            // same frequency as the record.
            if (clRecord.frequency < 380000000 || clRecord.frequency > 470000000 ||
                clTetra.frequency != clRecord.frequency)
                clstrProblem = QStringLiteral("frequency %1 Hz, payload %2 Hz")
                                   .arg(clRecord.frequency)
                                   .arg(clTetra.frequency);
        }
        if (clReading.records > 0 && lMs < clReading.lastMs)
            clstrProblem = QStringLiteral("time runs back to %1 ms").arg(lMs);
        if (!clstrProblem.isEmpty() && clReading.problem.isEmpty())
            clReading.problem = QStringLiteral("record %1: ").arg(clReading.records) + clstrProblem;
        if (clReading.records == 0)
            clReading.firstMs = lMs;
        clReading.lastMs = lMs;
        clReading.kinds.insert(clRecord.payloadKind);
        clReading.seconds.insert(lMs / 1000);
        ++clReading.records;
    }
    pReader->CloseFile();
    return clReading;
}

// The output paths of a row: "OUT.ext" stands for that name in the folder.
QStringList Resolved(QStringList clArguments, const QTemporaryDir &clDir) {
    for (QString &clstrArgument : clArguments) {
        if (clstrArgument.startsWith(QLatin1String("OUT")))
            clstrArgument = clDir.filePath(clstrArgument.mid(3).prepend(QLatin1String("out")));
    }
    return clArguments;
}

} // namespace

class TestBvfSampleTmw : public QObject {
    Q_OBJECT

  private slots:
    void validSample_data();
    void validSample();
    void sizeTarget_data();
    void sizeTarget();
    void recordLimit_data();
    void recordLimit();
    void deterministicForSeed_data();
    void deterministicForSeed();
    void refused_data();
    void refused();
    void unwritableTarget_data();
    void unwritableTarget();
};

void TestBvfSampleTmw::validSample_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QByteArray>("recordingType");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QSet<int>>("kinds");

    const QByteArray clProprietary("Proprietary TMW recording");
    const QByteArray clTmw("TMW recording");
    const QSet<int> clTetraKinds = {PAYLOAD_TETRA, PAYLOAD_TETRA_AUX};
    QTest::newRow(".tmw, three minutes at 30 frames a second")
        << "sample.tmw" << QStringList{"--minutes", "3", "--rate", "30", "--seed", "4"}
        << Utc("2024-05-06T08:00:00Z") << 3 << 30 << clProprietary << "frames" << clTetraKinds;
    QTest::newRow(".TMW from the first second its frames can count")
        << "SAMPLE.TMW"
        << QStringList{"--start", "2000-01-01 00:00:00", "--minutes", "2", "--rate", "75"}
        << Utc("2000-01-01T00:00:00Z") << 2 << 75 << clProprietary << "frames" << clTetraKinds;
    QTest::newRow(".lan is TETRA by default")
        << "sample.lan" << QStringList{"--minutes", "3", "--rate", "30"}
        << Utc("2024-05-06T08:00:00Z") << 3 << 30 << clTmw << "entries" << clTetraKinds;
    QTest::newRow(".Lan TETRA asked for, fast, over a year boundary")
        << "sample.Lan"
        << QStringList{"--kinds", "tetra", "--rate",    "200", "--start", "2023-12-31 23:59:30",
                       "--seed",  "9",     "--minutes", "1"}
        << Utc("2023-12-31T23:59:30Z") << 1 << 200 << clTmw << "entries" << clTetraKinds;
    QTest::newRow(".lan DMR over a leap day")
        << "dmr.lan"
        << QStringList{"--kinds", "dmr", "--start", "2024-02-28 23:58:30", "--minutes", "3"}
        << Utc("2024-02-28T23:58:30Z") << 3 << 25 << clTmw << "frames" << QSet<int>{PAYLOAD_DMR};
    QTest::newRow(".LAN DMR in the last minute it can hold")
        << "dmr.LAN" << QStringList{"--kinds",   "dmr", "--start", "2100-12-31 23:59:00",
                                    "--minutes", "1",   "--rate",  "10"}
        << Utc("2100-12-31T23:59:00Z") << 1 << 10 << clTmw << "frames" << QSet<int>{PAYLOAD_DMR};
}

void TestBvfSampleTmw::validSample() {
    QFETCH(QString, name);
    QFETCH(QStringList, options);
    QFETCH(qint64, start);
    QFETCH(int, minutes);
    QFETCH(int, rate);
    QFETCH(QByteArray, recordingType);
    QFETCH(QString, unit);
    QFETCH(QSet<int>, kinds);

    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrPath = clDir.filePath(name);
    const ToolRun clRun = RunTool(QStringList{clstrPath} + options);
    QVERIFY2(clRun.exitCode == 0, qPrintable(clRun.err));
    QVERIFY2(clRun.err.isEmpty(), qPrintable(clRun.err));
    Summary clSummary;
    QVERIFY2(ParseSummary(clRun.out, clSummary), qPrintable(clRun.out));
    QCOMPARE(clSummary.unit, unit);
    // Frame i is stamped start + i / rate: exactly rate frames a second.
    QCOMPARE(clSummary.frames, qint64(minutes) * 60 * rate);
    QCOMPARE(clSummary.bytes, QFileInfo(clstrPath).size());
    if (name.endsWith(QLatin1String(".tmw"), Qt::CaseInsensitive))
        QCOMPARE(clSummary.bytes, clSummary.frames * 84);

    const Reading clReading = ReadRecording(clstrPath);
    QVERIFY(clReading.opened);
    QCOMPARE(clReading.recordingType, recordingType);
    QCOMPARE(clReading.endResult, int(FILE_END_OF_DATA));
    QVERIFY2(clReading.problem.isEmpty(), qPrintable(clReading.problem));
    QCOMPARE(clReading.records, clSummary.records);
    QCOMPARE(clReading.kinds, kinds);
    // Within [start, start + minutes), and every second of it holds records.
    QVERIFY(clReading.firstMs >= start * 1000);
    QVERIFY(clReading.firstMs < start * 1000 + 1000);
    QVERIFY(clReading.lastMs < (start + minutes * 60) * 1000);
    QCOMPARE(clReading.seconds.size(), qsizetype(minutes) * 60);
}

void TestBvfSampleTmw::sizeTarget_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<qint64>("overshoot"); // the largest frame or entry written
    QTest::newRow(".tmw") << QStringList{"OUT.tmw"} << qint64(84);
    QTest::newRow("TETRA .lan") << QStringList{"OUT.lan"} << qint64(4096);
    QTest::newRow("DMR .lan") << QStringList{"OUT.lan", "--kinds", "dmr"} << qint64(109);
}

void TestBvfSampleTmw::sizeTarget() {
    QFETCH(QStringList, arguments);
    QFETCH(qint64, overshoot);
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QStringList clArguments =
        Resolved(arguments, clDir) +
        QStringList{"--size-mib", "1", "--minutes", "1", "--rate", "50", "--seed", "12"};
    const ToolRun clRun = RunTool(clArguments);
    QVERIFY2(clRun.exitCode == 0, qPrintable(clRun.err));
    const qint64 lSize = QFileInfo(clArguments[0]).size();
    QVERIFY2(lSize >= (1 << 20) && lSize < (1 << 20) + overshoot, qPrintable(clRun.out));

    Summary clSummary;
    QVERIFY2(ParseSummary(clRun.out, clSummary), qPrintable(clRun.out));
    // A minute at 50 frames a second is far below 1 MiB: the span ran on.
    QVERIFY2(clSummary.last > QLatin1String("2024-05-06 08:02"), qPrintable(clRun.out));
    const Reading clReading = ReadRecording(clArguments[0]);
    QCOMPARE(clReading.endResult, int(FILE_END_OF_DATA));
    QVERIFY2(clReading.problem.isEmpty(), qPrintable(clReading.problem));
    QCOMPARE(clReading.records, clSummary.records);
    QCOMPARE(clReading.firstMs / 1000, Utc("2024-05-06T08:00:00Z"));
}

void TestBvfSampleTmw::recordLimit_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow(".tmw") << QStringList{"OUT.tmw"};
    QTest::newRow("TETRA .lan") << QStringList{"OUT.lan"};
    QTest::newRow("DMR .lan") << QStringList{"OUT.lan", "--kinds", "dmr"};
}

void TestBvfSampleTmw::recordLimit() {
    QFETCH(QStringList, arguments);
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    // The limit ends the file long before the size or the minute would.
    const QStringList clArguments = Resolved(arguments, clDir) +
                                    QStringList{"--records", "9", "--size-mib", "1", "--seed", "3"};
    const ToolRun clRun = RunTool(clArguments);
    QVERIFY2(clRun.exitCode == 0, qPrintable(clRun.err));
    Summary clSummary;
    QVERIFY2(ParseSummary(clRun.out, clSummary), qPrintable(clRun.out));
    QCOMPARE(clSummary.frames, qint64(9));
    QCOMPARE(clSummary.bytes, QFileInfo(clArguments[0]).size());
    const Reading clReading = ReadRecording(clArguments[0]);
    QCOMPARE(clReading.endResult, int(FILE_END_OF_DATA));
    QCOMPARE(clReading.records, clSummary.records);
}

void TestBvfSampleTmw::deterministicForSeed_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kinds");
    QTest::newRow(".tmw") << "sample.tmw"
                          << "tetra";
    QTest::newRow("TETRA .lan") << "sample.lan"
                                << "tetra";
    QTest::newRow("DMR .lan") << "sample.lan"
                              << "dmr";
}

void TestBvfSampleTmw::deterministicForSeed() {
    QFETCH(QString, name);
    QFETCH(QString, kinds);
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    QByteArray clFiles[3];
    const char *aSeeds[3] = {"5", "5", "6"};
    for (int i = 0; i < 3; ++i) {
        const QString clstrPath = QDir(clDir.filePath(QString::number(i))).filePath(name);
        QVERIFY(QDir(clDir.path()).mkdir(QString::number(i)));
        const ToolRun clRun = RunTool(
            {clstrPath, "--kinds", kinds, "--seed", aSeeds[i], "--minutes", "1", "--rate", "100"});
        QVERIFY2(clRun.exitCode == 0, qPrintable(clRun.err));
        clFiles[i] = ReadAll(clstrPath);
        QVERIFY(clFiles[i].size() > 6000 * 20);
    }
    QVERIFY(clFiles[0] == clFiles[1]);
    QVERIFY(clFiles[0] != clFiles[2]);
}

void TestBvfSampleTmw::refused_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reason");

    const QString clTmwKinds = QStringLiteral("a .tmw file holds TETRA frames only");
    const QString clLanKinds = QStringLiteral("a .lan file holds either TETRA entries or DMR");
    QTest::newRow("DMR in .tmw") << QStringList{"OUT.tmw", "--kinds", "dmr"} << clTmwKinds;
    QTest::newRow("TETRA and aux in .TMW")
        << QStringList{"OUT.TMW", "--kinds", "tetra,aux"} << clTmwKinds;
    QTest::newRow("TETRA and DMR in .lan")
        << QStringList{"OUT.lan", "--kinds", "tetra,dmr"} << clLanKinds;
    QTest::newRow("GSM in .LAN") << QStringList{"OUT.LAN", "--kinds", "gsm"} << clLanKinds;
    QTest::newRow("extended TETRA alone in .lan")
        << QStringList{"OUT.lan", "--kinds", "ext"} << clLanKinds;
    QTest::newRow("magic for .tmw")
        << QStringList{"OUT.tmw", "--magic", "12"} << "--magic applies to containers only";
    QTest::newRow("magic for DMR .lan") << QStringList{"OUT.lan", "--kinds", "dmr", "--magic", "0"}
                                        << "--magic applies to containers only";
    QTest::newRow(".tmw before 2000")
        << QStringList{"OUT.tmw", "--start", "1999-12-31 23:59:59"}
        << "--start must lie from 2000-01-01 00:00:00 to 2136-02-07 06:28:14 UTC";
    QTest::newRow("TETRA .lan before 2000")
        << QStringList{"OUT.lan", "--start", "1970-01-01 00:00:00"}
        << "--start must lie from 2000-01-01 00:00:00";
    QTest::newRow(".tmw past its last second")
        << QStringList{"OUT.tmw", "--start", "2136-02-07 06:28:00", "--minutes", "1"}
        << "the recording would run past 2136-02-07 06:28:14 UTC";
    QTest::newRow("DMR .lan past 2100")
        << QStringList{"OUT.lan",   "--kinds", "dmr", "--start", "2100-12-31 23:59:00",
                       "--minutes", "2"}
        << "the recording would run past 2100-12-31 23:59:59 UTC";
}

void TestBvfSampleTmw::refused() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, reason);
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const ToolRun clRun = RunTool(Resolved(arguments, clDir));
    QCOMPARE(clRun.exitCode, 1);
    QVERIFY2(clRun.err.startsWith(QStringLiteral("bvf-sample: ") + reason), qPrintable(clRun.err));
    QVERIFY2(clRun.err.contains(QStringLiteral("Usage:")), qPrintable(clRun.err));
    QVERIFY(clRun.out.isEmpty());
    QCOMPARE(QDir(clDir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList());
}

void TestBvfSampleTmw::unwritableTarget_data() {
    QTest::addColumn<QString>("target"); // relative to the temporary folder
    QTest::addColumn<QString>("reason");
    QTest::newRow("a folder stands at the path") << "taken.tmw"
                                                 << "the file cannot be created";
    QTest::newRow("missing folder") << "missing/out.lan"
                                    << "the file cannot be created";
    QTest::newRow("full device") << "full.lan"
                                 << "writing records failed: No space left on device";
}

void TestBvfSampleTmw::unwritableTarget() {
    QFETCH(QString, target);
    QFETCH(QString, reason);
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    QVERIFY(QDir(clDir.path()).mkdir(QStringLiteral("taken.tmw")));
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), clDir.filePath(QStringLiteral("full.lan"))));
    const QString clstrPath = clDir.filePath(target);
    const ToolRun clRun = RunTool({clstrPath, QStringLiteral("--minutes"), QStringLiteral("1")});
    QCOMPARE(clRun.exitCode, 2);
    QVERIFY2(clRun.err.contains(clstrPath) && clRun.err.contains(reason), qPrintable(clRun.err));
    QVERIFY(clRun.out.isEmpty());
}

BVF_TEST_MAIN(TestBvfSampleTmw)
#include "test_bvf_sample_tmw.moc"
