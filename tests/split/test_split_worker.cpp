// The split worker on its thread: where records go in each mode, how parts
// are named, and what is changed in the records and what is not. The parts
// are checked frame by frame against the source (or against a reference
// recording holding the intended changes) and read back with the reader.
#include "WorkerTestKit.h"

#include "TestRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <ctime>
#include <limits>

using namespace WorkerTestKit;

Q_DECLARE_METATYPE(QList<WorkerTestKit::RecordSpec>)
Q_DECLARE_METATYPE(StructSplitSettings)

namespace {

const QString kSource = QStringLiteral("cell.bvf");

RecordSpec T(const char *pTime) {
    return Tetra(At(pTime));
}

StructSplitSettings Collected(const StructSplitTabValues &clTab) {
    StructSplitSettings clSettings;
    if (!CollectSplitSettings(clTab, clSettings))
        clSettings.mode = 0xFF; // makes the row fail visibly
    return clSettings;
}

StructSplitTabValues PeriodTab(int64_t lFrom, int64_t lTo, bool bMinutes) {
    StructSplitTabValues clTab;
    clTab.splitTypeId = SPLIT_BY_PERIOD;
    clTab.schemeIndex = 2;
    clTab.periodFrom = lFrom;
    clTab.periodTo = lTo;
    clTab.minutePrecision = bMinutes;
    return clTab;
}

// The same records with every time moved by lOffset, or every frequency of
// kinds 0 to 4 set: what the parts must hold when the split makes that change.
QList<RecordSpec> Shifted(QList<RecordSpec> clSpecs, int64_t lOffset) {
    for (RecordSpec &clSpec : clSpecs) {
        if (clSpec.kind != PAYLOAD_NOTICE && !(clSpec.kind == PAYLOAD_GENERIC && clSpec.size < 24))
            clSpec.time += lOffset;
    }
    return clSpecs;
}
QList<RecordSpec> WithFrequency(QList<RecordSpec> clSpecs, uint64_t lHz) {
    for (RecordSpec &clSpec : clSpecs) {
        if (clSpec.kind <= PAYLOAD_GSM)
            clSpec.frequency = lHz;
    }
    return clSpecs;
}

QByteArray FlaggedFrame() {
    return ContainerBytes::Frame(3, QByteArray(60, '\x11'), 1);
}
QByteArray TypeZeroFrame() {
    return ContainerBytes::Frame(0, QByteArray(40, '\x22'));
}

} // namespace

class TestSplitWorker : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void byTime_data();
    void byTime();
    void byPeriod_data();
    void byPeriod();
    void byNumber_data();
    void byNumber();
    void naming_data();
    void naming();
    void hundredthPart();
    void sourceWithoutFolder();
    void onlineSource();
    void genericPayloads();
    void protocolOffset_data();
    void protocolOffset();
    void frequencyCorrection_data();
    void frequencyCorrection();
    void roundTrip_data();
    void roundTrip();
    void timeGlitches_data();
    void timeGlitches();
    void damagedSource_data();
    void damagedSource();

  private:
    QString Path(const QString &clstrName) const { return m_pDir->filePath(clstrName); }
    QString Folder() const { return m_pDir->path(); }
    QStringList Parts(const QString &clstrSource = kSource) const {
        QStringList clPaths;
        for (const QString &clstrName : FilesIn(Folder(), {clstrSource}))
            clPaths << Path(clstrName);
        return clPaths;
    }
    QStringList Described(const QString &clstrSource = kSource) const {
        return DescribeParts(Folder(), {clstrSource});
    }
    // Writes and scans the source.
    bool Load(WorkerRig &clRig, const QList<RecordSpec> &clRecords,
              const QString &clstrName = kSource) const {
        return WriteRecording(Path(clstrName), clRecords) && clRig.Scan(Path(clstrName)) == 1000;
    }

    std::unique_ptr<QTemporaryDir> m_pDir;
    QByteArray m_clOldTz;
    bool m_bTzSet = false;
};

void TestSplitWorker::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
    m_bTzSet = qEnvironmentVariableIsSet("TZ");
    m_clOldTz = qgetenv("TZ");
}

void TestSplitWorker::cleanup() {
    if (m_bTzSet)
        qputenv("TZ", m_clOldTz);
    else
        qunsetenv("TZ");
    tzset();
}

// ---- By time ------------------------------------------------------------

void TestSplitWorker::byTime_data() {
    QTest::addColumn<QList<RecordSpec>>("records");
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<QStringList>("parts");

    const QList<RecordSpec> clDay = {T("10:20:00"), T("10:40:00"), T("10:59:59"), T("11:00:03"),
                                     T("11:30:00"), T("11:59:59"), T("12:00:00"), T("12:10:00")};
    QTest::newRow("aligned hour, first record at 10:20:00")
        << clDay << ByTime(3600, true)
        << QStringList{"cell__01__2024-03-07_10.20.00.bvf: 10:20:00 10:40:00 10:59:59",
                       "cell__02__2024-03-07_11.00.03.bvf: 11:00:03 11:30:00 11:59:59",
                       "cell__03__2024-03-07_12.00.00.bvf: 12:00:00 12:10:00"};
    QTest::newRow("unaligned hour: boundary 11:20:00")
        << clDay << ByTime(3600, false)
        << QStringList{"cell__01__2024-03-07_10.20.00.bvf: 10:20:00 10:40:00 10:59:59 11:00:03",
                       "cell__02__2024-03-07_11.30.00.bvf: 11:30:00 11:59:59 12:00:00 12:10:00"};
    QTest::newRow("unaligned boundaries follow each part's start")
        << QList<RecordSpec>{T("10:20:00"), T("11:20:07"), T("12:20:06"), T("12:20:07")}
        << ByTime(3600, false)
        << QStringList{"cell__01__2024-03-07_10.20.00.bvf: 10:20:00",
                       "cell__02__2024-03-07_11.20.07.bvf: 11:20:07 12:20:06",
                       "cell__03__2024-03-07_12.20.07.bvf: 12:20:07"};
    QTest::newRow("a record on the boundary opens the part")
        << QList<RecordSpec>{T("10:00:00"), T("10:59:59"), T("11:00:00")} << ByTime(3600, true)
        << QStringList{"cell__01__2024-03-07_10.00.00.bvf: 10:00:00 10:59:59",
                       "cell__02__2024-03-07_11.00.00.bvf: 11:00:00"};
    QTest::newRow("five-hour gap gives one new part")
        << QList<RecordSpec>{T("10:20:00"), T("10:50:00"), T("15:50:30"), T("16:10:00")}
        << ByTime(3600, true)
        << QStringList{"cell__01__2024-03-07_10.20.00.bvf: 10:20:00 10:50:00",
                       "cell__02__2024-03-07_15.50.30.bvf: 15:50:30",
                       "cell__03__2024-03-07_16.10.00.bvf: 16:10:00"};
    QTest::newRow("notices and late records stay in the current part")
        << QList<RecordSpec>{T("10:50:00"), Notice(), T("11:05:00"), Notice(), T("10:59:00")}
        << ByTime(3600, true)
        << QStringList{"cell__01__2024-03-07_10.50.00.bvf: 10:50:00 N",
                       "cell__02__2024-03-07_11.05.00.bvf: 11:05:00 N 10:59:00"};
    QTest::newRow("every kind by its own time")
        << QList<RecordSpec>{T("10:20:00"), Dmr(At("10:59:59")), Gsm(At("11:00:00")),
                             Generic(At("11:30:00")), Aux(At("12:00:00"))}
        << ByTime(3600, true)
        << QStringList{"cell__01__2024-03-07_10.20.00.bvf: 10:20:00 10:59:59",
                       "cell__02__2024-03-07_11.00.00.bvf: 11:00:00 11:30:00",
                       "cell__03__2024-03-07_12.00.00.bvf: 12:00:00"};

    StructSplitTabValues clDayTab;
    clDayTab.splitTypeId = SPLIT_BY_TIME;
    clDayTab.schemeIndex = 2;
    clDayTab.lengthHours = 0;
    clDayTab.lengthMinutes = 0;
    clDayTab.alignChecked = true;
    QTest::newRow("length 00:00 is a whole day")
        << QList<RecordSpec>{T("10:00:00"), T("23:59:59"), Tetra(At("2024-03-08 00:00:00")),
                             Tetra(At("2024-03-08 13:00:00"))}
        << Collected(clDayTab)
        << QStringList{"cell__01__2024-03-07_10.00.00.bvf: 10:00:00 23:59:59",
                       "cell__02__2024-03-08_00.00.00.bvf: 2024-03-08 00:00:00 2024-03-08 "
                       "13:00:00"};
}

void TestSplitWorker::byTime() {
    QFETCH(QList<RecordSpec>, records);
    QFETCH(StructSplitSettings, settings);
    QFETCH(QStringList, parts);
    WorkerRig clRig;
    QVERIFY(Load(clRig, records));
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(Described(), parts);
    const ContainerFrames clSource = FramesOf(Path(kSource));
    QCOMPARE(CompareParts(Parts(), clSource.header, clSource.frames), QString());
    QCOMPARE(clRig.events.Questions(), QStringList());
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, 2000}));
}

// ---- By period ----------------------------------------------------------

void TestSplitWorker::byPeriod_data() {
    QTest::addColumn<QList<RecordSpec>>("records");
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QList<int>>("kept");

    QTest::newRow("From later than To is swapped; minute precision includes hh:mm:59")
        << QList<RecordSpec>{T("10:59:59"), T("11:00:00"), T("12:30:59"), T("12:31:00"),
                             T("12:00:00")}
        << Collected(PeriodTab(At("12:30:00"), At("11:00:00"), true))
        << QStringList{"cell__01__2024-03-07_11.00.00.bvf: 11:00:00 12:30:59"} << QList<int>{1, 2};
    QTest::newRow("second precision")
        << QList<RecordSpec>{T("11:00:00"), T("12:30:00"), T("12:30:01")}
        << Collected(PeriodTab(At("11:00:00"), At("12:30:00"), false))
        << QStringList{"cell__01__2024-03-07_11.00.00.bvf: 11:00:00 12:30:00"} << QList<int>{0, 1};
    QTest::newRow("minute precision rounds the start down and names the part after it")
        << QList<RecordSpec>{T("10:59:59"), T("11:00:00"), T("11:10:59"), T("11:11:00")}
        << Collected(PeriodTab(At("11:00:30"), At("11:10:10"), true))
        << QStringList{"cell__01__2024-03-07_11.00.00.bvf: 11:00:00 11:10:59"} << QList<int>{1, 2};
    QTest::newRow("a record after the period ends the split")
        << QList<RecordSpec>{T("11:00:00"), T("12:45:00"), T("11:30:00")}
        << Collected(PeriodTab(At("11:00:00"), At("12:00:00"), true))
        << QStringList{"cell__01__2024-03-07_11.00.00.bvf: 11:00:00"} << QList<int>{0};
    QTest::newRow("before the start skipped, after it everything up to the end")
        << QList<RecordSpec>{Notice(), T("10:00:00"), T("11:05:00"),
                             Notice(), T("10:30:00"), T("12:00:00")}
        << Collected(PeriodTab(At("11:00:00"), At("12:00:00"), true))
        << QStringList{"cell__01__2024-03-07_11.00.00.bvf: 11:05:00 N 10:30:00 12:00:00"}
        << QList<int>{2, 3, 4, 5};
    QTest::newRow("no record in the period: the header only")
        << QList<RecordSpec>{T("08:00:00"), T("09:00:00")}
        << Collected(PeriodTab(At("11:00:00"), At("12:00:00"), true))
        << QStringList{"cell__01__2024-03-07_11.00.00.bvf: "} << QList<int>{};
    QTest::newRow("every record after the period: the header only")
        << QList<RecordSpec>{T("13:00:00"), T("11:30:00")}
        << Collected(PeriodTab(At("11:00:00"), At("12:00:00"), true))
        << QStringList{"cell__01__2024-03-07_11.00.00.bvf: "} << QList<int>{};
}

void TestSplitWorker::byPeriod() {
    QFETCH(QList<RecordSpec>, records);
    QFETCH(StructSplitSettings, settings);
    QFETCH(QStringList, parts);
    QFETCH(QList<int>, kept);
    WorkerRig clRig;
    QVERIFY(Load(clRig, records));
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(Described(), parts);
    const ContainerFrames clSource = FramesOf(Path(kSource));
    QCOMPARE(CompareParts(Parts(), clSource.header, Pick(clSource.frames, kept)), QString());
}

// ---- By number ----------------------------------------------------------

void TestSplitWorker::byNumber_data() {
    QTest::addColumn<QList<RecordSpec>>("records");
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<QStringList>("parts");

    // A generic record of payload n is a frame of n + 33 bytes; the header
    // is 2355 bytes and counts as consumed.
    QList<RecordSpec> clNine;
    for (int i = 1; i <= 9; ++i)
        clNine << Generic(At("10:00:00") + i, 9967);
    // 92355 bytes, thresholds 30785 and 61570: records end at 12355, 22355,
    // 32355, ... 62355, ...
    QTest::newRow("nine records of 10000 bytes in three")
        << clNine << ByNumber(3)
        << QStringList{"cell__01.bvf: 10:00:01 10:00:02",
                       "cell__02.bvf: 10:00:03 10:00:04 10:00:05",
                       "cell__03.bvf: 10:00:06 10:00:07 10:00:08 10:00:09"};
    // 114355 bytes, thresholds 38118 and 76236; the large record passes both.
    QTest::newRow("one record passing two thresholds")
        << QList<RecordSpec>{Generic(At("10:00:01"), 9967), Generic(At("10:00:02"), 99967),
                             Generic(At("10:00:03"), 967), Generic(At("10:00:04"), 967)}
        << ByNumber(3)
        << QStringList{"cell__01.bvf: 10:00:01", "cell__02.bvf: 10:00:02",
                       "cell__03.bvf: 10:00:03 10:00:04"};
    QTest::newRow("fewer records than parts")
        << QList<RecordSpec>{Generic(At("10:00:01"), 49967), Generic(At("10:00:02"), 49967)}
        << ByNumber(3) << QStringList{"cell__01.bvf: 10:00:01", "cell__02.bvf: 10:00:02"};
    // 62524 bytes, threshold 31262: the notice ends at 32524 and opens part 2,
    // named after the last time before it.
    QTest::newRow("a part opened by a notice carries the last time")
        << QList<RecordSpec>{Generic(At("10:00:01"), 29967), Notice(),
                             Generic(At("10:00:05"), 29967)}
        << ByNumber(2, 2)
        << QStringList{"cell__01__2024-03-07_10.00.01.bvf: 10:00:01",
                       "cell__02__2024-03-07_10.00.01.bvf: N 10:00:05"};
}

void TestSplitWorker::byNumber() {
    QFETCH(QList<RecordSpec>, records);
    QFETCH(StructSplitSettings, settings);
    QFETCH(QStringList, parts);
    WorkerRig clRig;
    QVERIFY(Load(clRig, records));
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(Described(), parts);
    // Cut between records only, each record once, every part non-empty.
    const ContainerFrames clSource = FramesOf(Path(kSource));
    QCOMPARE(CompareParts(Parts(), clSource.header, clSource.frames), QString());
}

// ---- Naming ---------------------------------------------------------------

void TestSplitWorker::naming_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<uint>("scheme");
    QTest::addColumn<QByteArray>("tz"); // empty: names in UTC
    QTest::addColumn<QStringList>("parts");

    const QStringList clUtc = {"cell__01__2024-03-07_14.05.09.bvf: 14:05:09 14:59:59",
                               "cell__02__2024-03-07_15.00.00.bvf: 15:00:00"};
    QTest::newRow("scheme 2 in UTC") << "cell.bvf" << 2u << QByteArray() << clUtc;
    QTest::newRow("local time one hour east: names move, boundaries do not")
        << "cell.bvf" << 2u << QByteArray("BVT-1")
        << QStringList{"cell__01__2024-03-07_15.05.09.bvf: 14:05:09 14:59:59",
                       "cell__02__2024-03-07_16.00.00.bvf: 15:00:00"};
    QTest::newRow("date token before the name")
        << "2024-03-07_09.00.00__cell.bvf" << 2u << QByteArray() << clUtc;
    QTest::newRow("date token after the name")
        << "cell__2024-03-07_09.00.00.bvf" << 2u << QByteArray() << clUtc;
    QTest::newRow("short token before the name")
        << "CN0012__cell.bvf" << 2u << QByteArray() << clUtc;
    QTest::newRow("short token after the name")
        << "cell__P00012.bvf" << 2u << QByteArray() << clUtc;
    QTest::newRow("other text after __ is cut") << "cell__north.bvf" << 2u << QByteArray() << clUtc;
    QTest::newRow("splitting a part again drops its old time")
        << "cell__2024-03-07_09.00.00.bvf" << 0u << QByteArray()
        << QStringList{"cell__2024-03-07_14.05.09.bvf: 14:05:09 14:59:59",
                       "cell__2024-03-07_15.00.00.bvf: 15:00:00"};
    QTest::newRow("scheme 7") << "cell.bvf" << 7u << QByteArray()
                              << QStringList{"2024-03-07_14.05.09__cell.bvf: 14:05:09 14:59:59",
                                             "2024-03-07_15.00.00__cell.bvf: 15:00:00"};
    QTest::newRow("a scheme above 10 acts as 5")
        << "cell.bvf" << 12u << QByteArray()
        << QStringList{"01__cell__2024-03-07_14.05.09.bvf: 14:05:09 14:59:59",
                       "02__cell__2024-03-07_15.00.00.bvf: 15:00:00"};
}

void TestSplitWorker::naming() {
    QFETCH(QString, source);
    QFETCH(uint, scheme);
    QFETCH(QByteArray, tz);
    QFETCH(QStringList, parts);
    StructSplitSettings clSettings = ByTime(3600, true, scheme);
    if (!tz.isEmpty()) {
        qputenv("TZ", tz);
        tzset();
        clSettings.showUtc = false;
    }
    WorkerRig clRig;
    QVERIFY(Load(clRig, {T("14:05:09"), T("14:59:59"), T("15:00:00")}, source));
    QCOMPARE(clRig.Split(clSettings), 2000);
    QCOMPARE(Described(source), parts);
}

void TestSplitWorker::hundredthPart() {
    QList<RecordSpec> clRecords;
    for (int i = 0; i < 101; ++i)
        clRecords << Tetra(At("10:00:00") + 60 * i);
    WorkerRig clRig;
    QVERIFY(Load(clRig, clRecords));
    QCOMPARE(clRig.Split(ByTime(60, true, 1)), 2000);
    const QStringList clNames = FilesIn(Folder(), {kSource});
    QCOMPARE(clNames.size(), 101);
    for (const char *pName : {"cell__01.bvf", "cell__09.bvf", "cell__10.bvf", "cell__99.bvf",
                              "cell__100.bvf", "cell__101.bvf"})
        QVERIFY2(clNames.contains(QString::fromLatin1(pName)), pName);
    QCOMPARE(RecordTimes(Path("cell__100.bvf")), QStringList{"11:39:00"});
}

void TestSplitWorker::sourceWithoutFolder() {
    // A source named without a folder has its parts in the current folder,
    // and the questions name them as they are.
    const QString clstrOld = QDir::currentPath();
    QVERIFY(QDir::setCurrent(Folder()));
    WorkerRig clRig;
    const bool bLoaded =
        WriteRecording(kSource, {T("10:20:00"), T("11:20:00")}) && clRig.Scan(kSource) == 1000;
    QVERIFY(WriteBytes(Path("cell__02.bvf"), "old"));
    clRig.events.Script({Reply::Code(OVERWRITE_YES)});
    const int lCode = bLoaded ? clRig.Split(ByTime(3600, true, 1)) : 0;
    QDir::setCurrent(clstrOld);
    QCOMPARE(lCode, 2000);
    QCOMPARE(clRig.events.Questions(), QStringList{"ask:cell__02.bvf"});
    QCOMPARE(Described(), (QStringList{"cell__01.bvf: 10:20:00", "cell__02.bvf: 11:20:00"}));
}

void TestSplitWorker::onlineSource() {
    // A file still being written is named with "online:"; its parts go beside
    // it, and it is still recognised as the source.
    const QList<RecordSpec> clRecords = {T("10:20:00"), T("11:20:00")};
    QVERIFY(WriteRecording(Path(kSource), clRecords));
    WorkerRig clRig;
    QCOMPARE(clRig.Scan("online:" + Path(kSource)), 1000);
    QCOMPARE(clRig.Split(ByTime(3600, true, 1)), 2000);
    QCOMPARE(Described(), (QStringList{"cell__01.bvf: 10:20:00", "cell__02.bvf: 11:20:00"}));

    StructSplitSettings clFixed = ByPeriod(At("10:00:00"), At("12:00:00"), kFixedNameScheme);
    clFixed.fixedName = Path(kSource);
    const QByteArray clBytes = FileBytes(Path(kSource));
    QCOMPARE(clRig.Split(clFixed), -1);
    QCOMPARE(clRig.events.Questions(), QStringList{"source:" + kSource});
    QCOMPARE(FileBytes(Path(kSource)), clBytes);
}

// ---- What is changed and what is not ---------------------------------------

void TestSplitWorker::genericPayloads() {
    const QList<RecordSpec> clRecords = {T("10:20:00"), Generic(0, 20), Generic(At("10:59:59"), 24),
                                         Generic(At("11:00:00"), 80), Generic(0, 20)};
    WorkerRig clRig;
    QVERIFY(Load(clRig, clRecords));
    clRig.source.offset = 3600;
    StructSplitSettings clSettings = ByTime(3600, true);
    clSettings.applyOffset = true;
    QCOMPARE(clRig.Split(clSettings), 2000);
    QCOMPARE(Described(), (QStringList{"cell__01__2024-03-07_11.20.00.bvf: 11:20:00 - 11:59:59",
                                       "cell__02__2024-03-07_12.00.00.bvf: 12:00:00 -"}));

    // A payload of 20 bytes has no time: written as it was.
    const ContainerFrames clSource = FramesOf(Path(kSource));
    const ContainerFrames clFirst = FramesOf(Path("cell__01__2024-03-07_11.20.00.bvf"));
    QCOMPARE(clFirst.frames.size(), 3);
    QCOMPARE(clFirst.frames[1], clSource.frames[1]);
    // A time at bytes 16 to 23 is little-endian: least significant byte first.
    const QByteArray clTime = clFirst.frames[2].mid(ContainerBytes::kBodyOffset + 16, 8);
    uint64_t lTime = 0;
    for (int i = 7; i >= 0; --i)
        lTime = (lTime << 8) | uint8_t(clTime[i]);
    QCOMPARE(int64_t(lTime), At("11:59:59"));

    const QString clstrReference = Path("reference.bvf");
    QVERIFY(WriteRecording(clstrReference, Shifted(clRecords, 3600)));
    const ContainerFrames clExpected = FramesOf(clstrReference);
    QVERIFY(QFile::remove(clstrReference));
    QCOMPARE(CompareParts(Parts(), clSource.header, clExpected.frames), QString());
}

void TestSplitWorker::protocolOffset_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<bool>("synchronised"); // the description already moved by the offset
    QTest::addColumn<int>("offset");        // expected change of every time
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QList<int>>("kept");

    StructSplitSettings clByTime = ByTime(3600, true);
    clByTime.applyOffset = true;
    const QStringList clShifted = {"cell__01__2024-03-07_11.20.00.bvf: 11:20:00 11:59:59",
                                   "cell__02__2024-03-07_12.00.00.bvf: 12:00:00 12:30:00",
                                   "cell__03__2024-03-07_13.00.00.bvf: 13:00:00 N"};
    const QList<int> clAll = {0, 1, 2, 3, 4, 5};
    QTest::newRow("by time, description as recorded")
        << clByTime << false << 3600 << clShifted << clAll;
    QTest::newRow("by time, description synchronised")
        << clByTime << true << 3600 << clShifted << clAll;
    QTest::newRow("synchronisation off")
        << ByTime(3600, true) << false << 0
        << QStringList{"cell__01__2024-03-07_10.20.00.bvf: 10:20:00 10:59:59",
                       "cell__02__2024-03-07_11.00.00.bvf: 11:00:00 11:30:00",
                       "cell__03__2024-03-07_12.00.00.bvf: 12:00:00 N"}
        << clAll;
    // The period is given in network time, as the dialog shows it.
    StructSplitSettings clPeriod = ByPeriod(At("11:00:00"), At("12:00:00"));
    clPeriod.applyOffset = true;
    QTest::newRow("by period on shifted times")
        << clPeriod << false << 3600
        << QStringList{"cell__01__2024-03-07_11.00.00.bvf: 11:20:00 11:59:59 12:00:00"}
        << QList<int>{0, 1, 2};
    StructSplitSettings clNumber = ByNumber(2, 2);
    clNumber.applyOffset = true;
    // 2954 bytes: the header alone passes the threshold, so the second
    // record opens part 2.
    QTest::newRow("by number, names on shifted times")
        << clNumber << false << 3600
        << QStringList{"cell__01__2024-03-07_11.20.00.bvf: 11:20:00",
                       "cell__02__2024-03-07_11.59.59.bvf: 11:59:59 12:00:00 12:30:00 13:00:00 N"}
        << clAll;
}

void TestSplitWorker::protocolOffset() {
    QFETCH(StructSplitSettings, settings);
    QFETCH(bool, synchronised);
    QFETCH(int, offset);
    QFETCH(QStringList, parts);
    QFETCH(QList<int>, kept);
    const QList<RecordSpec> clRecords = {T("10:20:00"),       Dmr(At("10:59:59")),
                                         Gsm(At("11:00:00")), Generic(At("11:30:00")),
                                         Aux(At("12:00:00")), Notice()};
    WorkerRig clRig;
    QVERIFY(Load(clRig, clRecords));
    clRig.source.offset = 3600;
    if (synchronised) {
        clRig.source.synchronised = true;
        clRig.source.first = clRig.source.first.addSecs(3600);
        clRig.source.last = clRig.source.last.addSecs(3600);
    }
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(Described(), parts);

    const QString clstrReference = Path("reference.bvf");
    QVERIFY(WriteRecording(clstrReference, Shifted(clRecords, offset)));
    const ContainerFrames clExpected = FramesOf(clstrReference);
    QVERIFY(QFile::remove(clstrReference));
    QCOMPARE(CompareParts(Parts(), clExpected.header, Pick(clExpected.frames, kept)), QString());
}

void TestSplitWorker::frequencyCorrection_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<qlonglong>("frequency"); // expected in every record of kinds 0 to 4; 0: none
    QTest::addColumn<int>("parts");

    const qlonglong lHz = 390012500;
    auto Correcting = [lHz](StructSplitSettings clSettings) {
        clSettings.correctFrequency = true;
        clSettings.frequencyHz = lHz;
        return clSettings;
    };
    QTest::newRow("by time") << Correcting(ByTime(3600, true)) << lHz << 3;
    QTest::newRow("by period") << Correcting(ByPeriod(At("10:00:00"), At("13:00:00"))) << lHz << 1;
    QTest::newRow("by number") << Correcting(ByNumber(2)) << lHz << 2;
    StructSplitSettings clNoValue = ByTime(3600, true);
    clNoValue.correctFrequency = true;
    clNoValue.frequencyHz = -1;
    QTest::newRow("no value in the field") << clNoValue << 0LL << 3;
}

void TestSplitWorker::frequencyCorrection() {
    QFETCH(StructSplitSettings, settings);
    QFETCH(qlonglong, frequency);
    QFETCH(int, parts);
    // Records with other frequencies, without any, and one without a time.
    const QList<RecordSpec> clRecords = {Tetra(At("10:20:00"), 380000000),
                                         Dmr(At("10:30:00")),
                                         Gsm(At("10:40:00"), 935000000),
                                         Generic(At("11:00:00"), 80),
                                         Generic(0, 40),
                                         Aux(At("11:30:00"), 390000000),
                                         Notice(),
                                         Tetra(At("12:00:00"))};
    WorkerRig clRig;
    QVERIFY(Load(clRig, clRecords));
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(Parts().size(), parts);

    // Every record of kinds 0 to 4 states the frequency, in the record and
    // in its payload, as the reader hands it out.
    if (frequency != 0) {
        for (const QString &clstrPart : Parts()) {
            FileHeaderInfo clInfo{};
            std::unique_ptr<CVirtualFileFormat> pReader =
                OpenFileFormat(clstrPart.toStdWString().c_str(), clInfo);
            QVERIFY(pReader);
            RawRecord clRecord{};
            while (pReader->ReadData(clRecord) == FILE_OK) {
                const uint64_t lHz = uint64_t(frequency);
                const auto *pBytes = static_cast<const uint8_t *>(clRecord.payload);
                switch (clRecord.payloadKind) {
                case PAYLOAD_TETRA:
                case PAYLOAD_TETRA_AUX: {
                    const auto *pTetra = static_cast<const TetraTmv *>(clRecord.payload);
                    QCOMPARE(pTetra->frequency, lHz);
                    QVERIFY(pTetra->valueFlags & 0x10);
                    break;
                }
                case PAYLOAD_DMR:
                    QCOMPARE(static_cast<const DmrTmv *>(clRecord.payload)->value48, lHz);
                    break;
                case PAYLOAD_GSM:
                    QCOMPARE(static_cast<const GsmTmv *>(clRecord.payload)->value2, lHz);
                    QVERIFY(static_cast<const GsmTmv *>(clRecord.payload)->byte1 & 0x10);
                    break;
                case PAYLOAD_GENERIC:
                    if (clRecord.payloadLength >= 72) {
                        uint64_t lStored = 0;
                        std::memcpy(&lStored, pBytes + 64, 8);
                        QCOMPARE(lStored, lHz);
                    }
                    break;
                default:
                    continue;
                }
                QCOMPARE(clRecord.frequency, lHz);
            }
            pReader->CloseFile();
        }
    }

    // Nothing else changed, and notices not at all.
    const QString clstrReference = Path("reference.bvf");
    QVERIFY(WriteRecording(clstrReference, frequency != 0
                                               ? WithFrequency(clRecords, uint64_t(frequency))
                                               : clRecords));
    const ContainerFrames clExpected = FramesOf(clstrReference);
    QVERIFY(QFile::remove(clstrReference));
    QCOMPARE(CompareParts(Parts(), clExpected.header, clExpected.frames), QString());
}

void TestSplitWorker::roundTrip_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<int>("parts");

    // 400 records over 40 minutes, from 10:00:00 to 10:39:54.
    QTest::newRow("by time, 10 minutes aligned") << ByTime(600, true) << 4;
    QTest::newRow("by time, 7 minutes") << ByTime(420, false) << 6;
    QTest::newRow("by period, the whole span") << ByPeriod(At("10:00:00"), At("10:40:00")) << 1;
    QTest::newRow("by number, 3") << ByNumber(3) << 3;
    QTest::newRow("by number, 7") << ByNumber(7) << 7;
}

void TestSplitWorker::roundTrip() {
    QFETCH(StructSplitSettings, settings);
    QFETCH(int, parts);
    QList<RecordSpec> clRecords;
    for (int i = 0; i < 400; ++i) {
        const int64_t t = At("10:00:00") + i * 6;
        switch (i % 7) {
        case 0:
            clRecords << Tetra(t, 390000000 + i);
            break;
        case 1:
            clRecords << Dmr(t, 446000000);
            break;
        case 2:
            clRecords << Gsm(t);
            break;
        case 3:
            clRecords << Generic(t, 30 + i % 200);
            break;
        case 4:
            clRecords << Aux(t);
            break;
        case 5:
            clRecords << Notice();
            break;
        default:
            clRecords << RecordSpec{PAYLOAD_TETRA, t, 0, uint32_t(1 + i % 120)};
            break;
        }
    }
    WorkerRig clRig;
    QVERIFY(Load(clRig, clRecords));
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(Parts().size(), parts);
    const ContainerFrames clSource = FramesOf(Path(kSource));
    QCOMPARE(clSource.frames.size(), 400);
    QCOMPARE(CompareParts(Parts(), clSource.header, clSource.frames), QString());
}

// A broken clock's single records neither open nor name parts, nor stretch
// the scanned span; two records at a new time are a real jump.
void TestSplitWorker::timeGlitches_data() {
    QTest::addColumn<QList<RecordSpec>>("records");
    QTest::addColumn<QString>("span");
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<int>("glitches");

    const RecordSpec cl2100 = Tetra(At("2100-01-01 00:00:00"));
    const RecordSpec clLargest = Tetra(std::numeric_limits<int64_t>::max());
    QTest::newRow("year 2100 between two records")
        << QList<RecordSpec>{cl2100, T("10:20:00"), cl2100, T("10:40:00"), T("11:10:00")}
        << "10:20:00 11:10:00"
        << QStringList{"cell__01__2024-03-07_10.20.00.bvf: 2100-01-01 00:00:00 10:20:00 "
                       "2100-01-01 00:00:00 10:40:00",
                       "cell__02__2024-03-07_11.10.00.bvf: 11:10:00"}
        << 2;
    QTest::newRow("1970 and the largest value first and last, notices between")
        << QList<RecordSpec>{Tetra(0), Notice(), T("10:20:00"), T("11:10:00"), Notice(), clLargest}
        << "10:20:00 11:10:00"
        << QStringList{"cell__01__2024-03-07_10.20.00.bvf: 1970-01-01 00:00:00 N 10:20:00",
                       "cell__02__2024-03-07_11.10.00.bvf: 11:10:00 N " +
                           Clock(std::numeric_limits<int64_t>::max())}
        << 2;
    QTest::newRow("two records two days later are a jump")
        << QList<RecordSpec>{T("10:20:00"), T("10:30:00"), Tetra(At("2024-03-09 10:00:00")),
                             Tetra(At("2024-03-09 10:10:00"))}
        << "10:20:00 2024-03-09 10:10:00"
        << QStringList{"cell__01__2024-03-07_10.20.00.bvf: 10:20:00 10:30:00",
                       "cell__02__2024-03-09_10.00.00.bvf: 2024-03-09 10:00:00 2024-03-09 "
                       "10:10:00"}
        << 0;
}

void TestSplitWorker::timeGlitches() {
    QFETCH(QList<RecordSpec>, records);
    QFETCH(QString, span);
    QFETCH(QStringList, parts);
    QFETCH(int, glitches);
    WorkerRig clRig;
    QVERIFY(Load(clRig, records));
    QCOMPARE(Clock(clRig.source.first.toSecsSinceEpoch()) + u' ' +
                 Clock(clRig.source.last.toSecsSinceEpoch()),
             span);
    QCOMPARE(clRig.Split(ByTime(3600, true)), 2000);
    QCOMPARE(Described(), parts);
    const ContainerFrames clSource = FramesOf(Path(kSource));
    QCOMPARE(CompareParts(Parts(), clSource.header, clSource.frames), QString());
    const QStringList clNotices = clRig.events.Notices();
    QCOMPARE(clNotices.size(), glitches > 0 ? 1 : 0);
    if (glitches > 0)
        QVERIFY(clNotices[0].contains(
            QStringLiteral("\n%1 record(s) carry a time stamp more than a day").arg(glitches)));
}

void TestSplitWorker::damagedSource_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<QByteArray>("damage");
    QTest::addColumn<QString>("notice"); // records and bytes the split reports

    for (const auto &clMode :
         {std::pair{"by time", ByTime(3600, true)}, std::pair{"by number", ByNumber(2)}}) {
        QTest::addRow("%s, flag byte set", clMode.first)
            << clMode.second << FlaggedFrame() << "1 damaged record(s) and 0 damaged byte(s)";
        QTest::addRow("%s, type 0", clMode.first)
            << clMode.second << TypeZeroFrame() << "1 damaged record(s) and 0 damaged byte(s)";
        QTest::addRow("%s, both", clMode.first) << clMode.second << FlaggedFrame() + TypeZeroFrame()
                                                << "2 damaged record(s) and 0 damaged byte(s)";
        QTest::addRow("%s, garbage", clMode.first) << clMode.second << QByteArray(500, '\x7e')
                                                   << "0 damaged record(s) and 500 damaged byte(s)";
    }
}

void TestSplitWorker::damagedSource() {
    QFETCH(StructSplitSettings, settings);
    QFETCH(QByteArray, damage);
    QFETCH(QString, notice);
    QList<RecordSpec> clRecords;
    for (int i = 0; i < 12; ++i)
        clRecords << Tetra(At("10:30:00") + 600 * i);
    QVERIFY(WriteRecording(Path(kSource), clRecords));
    const ContainerFrames clIntact = FramesOf(Path(kSource));
    QByteArray clBytes = clIntact.header;
    for (int i = 0; i < clIntact.frames.size(); ++i)
        clBytes += (i == 6 ? damage : QByteArray()) + clIntact.frames[i];
    QVERIFY(WriteBytes(Path(kSource), clBytes));

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(Path(kSource)), 1000);
    QCOMPARE(Clock(clRig.source.last.toSecsSinceEpoch()), QStringLiteral("12:20:00"));
    QCOMPARE(clRig.Split(settings), 2000);
    // Every record before and after the damage, each once.
    QCOMPARE(CompareParts(Parts(), clIntact.header, clIntact.frames), QString());
    QCOMPARE(clRig.events.Notices().size(), 1);
    QVERIFY2(clRig.events.Notices()[0].contains(notice), qPrintable(clRig.events.Notices()[0]));
}

BVF_TEST_MAIN(TestSplitWorker)
#include "test_split_worker.moc"
