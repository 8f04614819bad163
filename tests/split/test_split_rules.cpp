// Split rules: tab settings, cut plan, record field edges, pacing, names and paths.
#include "PathNormalise.h"
#include "PayloadChecks.h"
#include "RecordFields.h"
#include "ScanChunks.h"
#include "SplitName.h"
#include "SplitPlan.h"
#include "TestRegistry.h"
#include "WorkerTestKit.h"

#include <ctime>
#include <random>
#include <unistd.h>

using namespace WorkerTestKit;

Q_DECLARE_METATYPE(StructSplitTabValues)
Q_DECLARE_METATYPE(StructSplitSettings)
Q_DECLARE_METATYPE(QList<CutInput>)

namespace {

StructSplitTabValues Tab() {
    StructSplitTabValues clTab;
    clTab.schemeIndex = 2;
    clTab.splitTypeId = SPLIT_BY_TIME;
    clTab.lengthHours = 1;
    clTab.periodFrom = At("10:00:00");
    clTab.periodTo = At("11:00:00");
    clTab.minutePrecision = false;
    clTab.partCount = 2;
    clTab.frequencyText = QStringLiteral("0");
    return clTab;
}

QStringList SettingsText(const StructSplitSettings &s) {
    return {QStringLiteral("scheme=%1 fixed='%2'").arg(s.namingScheme).arg(s.fixedName),
            QStringLiteral("utc=%1").arg(s.showUtc),
            QStringLiteral("offset=%1").arg(s.applyOffset),
            QStringLiteral("mode=%1").arg(s.mode),
            QStringLiteral("align=%1").arg(s.alignToUnit),
            QStringLiteral("length=%1").arg(s.partLength),
            QStringLiteral("period=%1..%2").arg(Clock(s.periodStart), Clock(s.periodEnd)),
            QStringLiteral("count=%1").arg(s.partCount),
            QStringLiteral("correct=%1").arg(s.correctFrequency),
            QStringLiteral("hz=%1").arg(s.frequencyHz)};
}

QString Step(CSplitPlan &clPlan, const CutInput &clRecord, bool bClock) {
    const SplitAction enAction = clPlan.Decide(clRecord.time, clRecord.consumed);
    const char cAction = enAction == SplitAction::WriteToCurrentPart ? 'W'
                         : enAction == SplitAction::StartNewPart     ? 'N'
                         : enAction == SplitAction::SkipRecord       ? 'S'
                                                                     : 'E';
    const int64_t t = clPlan.PartStart();
    return QStringLiteral("%1%2@%3")
        .arg(cAction)
        .arg(clPlan.PartNumber())
        .arg(bClock ? Clock(t) : QString::number(t));
}

// The bytes 0, 1, 2, ... with a little-endian value at lAt unless negative.
QByteArray Counting(int lLength, int lAt = -1, uint64_t lValue = 0) {
    QByteArray clBytes(lLength, 0);
    for (int i = 0; i < lLength; ++i)
        clBytes[i] = char(i);
    for (int i = 0; i < 8 && lAt >= 0; ++i)
        clBytes[lAt + i] = char(uint8_t(lValue >> (8 * i)));
    return clBytes;
}

const qint64 kSample = At("14:05:09");

// The name, or what went wrong; an error must leave no name behind.
QString NameText(StructSplitName &clName) {
    const SplitNameResult enResult = MakePartName(clName);
    if (enResult != SplitNameResult::Ok && !clName.outputPath.isEmpty())
        return "error left a name behind: " + clName.outputPath;
    const QMap<SplitNameResult, QString> kErrors = {
        {SplitNameResult::Ok, clName.outputPath},
        {SplitNameResult::SourcePathTooLong, "error: source path too long"},
        {SplitNameResult::NameTooLong, "error: name too long"},
        {SplitNameResult::NoName, "error: no name"},
        {SplitNameResult::TimeNotRepresentable, "error: time not representable"}};
    return kErrors.value(enResult, "error: unknown");
}

struct TimeZoneScope {
    const QByteArray old = qgetenv("TZ");
    explicit TimeZoneScope(const QByteArray &clZone) {
        if (!clZone.isEmpty())
            qputenv("TZ", clZone);
        tzset();
    }
    ~TimeZoneScope() {
        old.isNull() ? qunsetenv("TZ") : qputenv("TZ", old);
        tzset();
    }
};

// A path of exactly lLength characters: folder "/r/", "a"s and the extension.
QString SourceOfLength(qsizetype lLength) {
    return "/r/" + QString(lLength - 7, u'a') + ".bvf";
}

} // namespace

class TestSplitRules : public QObject {
    Q_OBJECT

  private slots:
    void collectSettings_data();
    void collectSettings();
    void planFollowsTheCutRules();
    void indexRunsAsRecords();
    void planBoundaries_data();
    void planBoundaries();
    void recordFields_data();
    void recordFields();
    void pacing();
    void partNames_data();
    void partNames();
    void fixedName_data();
    void fixedName();
    void pathTexts_data();
    void pathTexts();
    void outputIsSource_data();
    void outputIsSource();
};

void TestSplitRules::collectSettings_data() {
    QTest::addColumn<StructSplitTabValues>("tab");
    QTest::addColumn<QString>("changed"); // from the untouched tab's settings; "refused": none

    using Tab_ = StructSplitTabValues &;
    const auto Row = [](const char *pName, const char *pChanged,
                        const std::function<void(Tab_)> &fn) {
        StructSplitTabValues clTab = Tab();
        fn(clTab);
        QTest::newRow(pName) << clTab << QString::fromUtf8(pChanged);
    };
    Row("the untouched tab",
        "scheme=2 fixed='' utc=1 offset=0 mode=0 align=0 length=3600 "
        "period=10:00:00..11:00:00 count=2 correct=0 hz=0",
        [](Tab_) {});
    Row("length 00:00 is a whole day", "align=1 length=86400",
        [](Tab_ t) { t.lengthHours = 0, t.alignChecked = true; });
    Row("length 00:01, local names", "utc=0 length=60",
        [](Tab_ t) { t.lengthHours = 0, t.lengthMinutes = 1, t.showUtc = false; });
    const auto Period = [](int64_t lFrom, int64_t lTo, bool bMinutes) {
        return [=](Tab_ t) {
            t.splitTypeId = SPLIT_BY_PERIOD, t.periodFrom = lFrom, t.periodTo = lTo;
            t.minutePrecision = bMinutes;
        };
    };
    Row("From later than To, minute precision", "mode=1 period=12:10:00..12:30:59",
        Period(At("12:30:40"), At("12:10:20"), true));
    Row("minute precision before 1970 rounds down",
        "mode=1 period=1969-12-31 23:58:00..1969-12-31 23:59:59", Period(-90, -30, true));
    Row("offset applies when checked", "offset=1",
        [](Tab_ t) { t.protocolOffset = 3600, t.syncChecked = true; });
    const auto Fixed = [](int lType, uint32_t lScheme, const char *pText) {
        return [=](Tab_ t) {
            t.splitTypeId = lType, t.schemeIndex = lScheme, t.fixedNameText = pText;
        };
    };
    Row("fixed name in the period mode", "scheme=10 fixed='/out/f.bvf' mode=1",
        Fixed(SPLIT_BY_PERIOD, kFixedNameScheme, "/out/f.bvf"));
    Row("fixed name chosen but empty", "refused", Fixed(SPLIT_BY_PERIOD, kFixedNameScheme, ""));
    Row("fixed name outside the period mode", "refused",
        Fixed(SPLIT_BY_TIME, kFixedNameScheme, "/out/f.bvf"));
    Row("no split type", "refused", [](Tab_ t) { t.splitTypeId = -1; });
    Row("five parts", "mode=2 count=5",
        [](Tab_ t) { t.splitTypeId = SPLIT_BY_NUMBER, t.partCount = 5; });
    Row("number field missing: two parts", "mode=2",
        [](Tab_ t) { t.splitTypeId = SPLIT_BY_NUMBER, t.partCount = 7, t.partCount.reset(); });
    Row("zero parts", "refused", [](Tab_ t) { t.splitTypeId = SPLIT_BY_NUMBER, t.partCount = 0; });
    const auto Hz = [](bool bChecked, std::optional<QString> clText) {
        return [=](Tab_ t) { t.frequencyChecked = bChecked, t.frequencyText = clText; };
    };
    Row("frequency correction", "correct=1 hz=360000000", Hz(true, "360000000"));
    Row("frequency not a number", "hz=-1", Hz(true, "36O000000"));
    Row("negative frequency is not applied", "hz=-5", Hz(true, "-5"));
}

void TestSplitRules::collectSettings() {
    QFETCH(StructSplitTabValues, tab);
    QFETCH(QString, changed);

    StructSplitSettings clBaseline;
    QVERIFY(CollectSplitSettings(Tab(), clBaseline));
    StructSplitSettings clSettings;
    clSettings.namingScheme = 77; // a refusal must leave this alone
    const bool bStarted = CollectSplitSettings(tab, clSettings);
    QCOMPARE(bStarted, changed != "refused");
    if (!bStarted) {
        QCOMPARE(clSettings.namingScheme, 77u);
        return;
    }
    QStringList clChanged;
    const QStringList clBase = SettingsText(clBaseline), clNow = SettingsText(clSettings);
    for (qsizetype i = 0; i < clNow.size(); ++i) {
        if (clNow[i] != clBase[i] || QTest::currentDataTag() == QLatin1String("the untouched tab"))
            clChanged << clNow[i];
    }
    QCOMPARE(clChanged.join(u' '), changed);
}

// Random records with gaps, disorder, no time, times on aligned boundaries
// and near the end of the range, random settings of every mode.
void TestSplitRules::planFollowsTheCutRules() {
    std::mt19937_64 clRandom(20240307);
    const auto Below = [&clRandom](uint64_t n) { return int64_t(clRandom() % n); };
    constexpr int64_t kLast = std::numeric_limits<int64_t>::max();
    int lStretchesTaken = 0;
    for (int lRun = 0; lRun < 3000; ++lRun) {
        StructSplitSettings clSet;
        clSet.mode = uint8_t(Below(20) == 0 ? 3 : Below(3));
        clSet.alignToUnit = Below(2) == 0;
        clSet.partLength = QList<int64_t>{0, 60, 420, 3600, 5400, 86400}[Below(6)];
        clSet.partCount = uint32_t(Below(7));
        const int64_t lBase = At("10:00:00") + (Below(2) ? 0 : Below(100000) - 50000);
        clSet.periodStart = lBase + Below(7200) - 1800;
        clSet.periodEnd = clSet.periodStart + Below(7200);

        QList<CutInput> clRecords;
        int64_t t = lBase;
        uint64_t lConsumed = 2355;
        const int lCount = int(1 + Below(80));
        for (int i = 0; i < lCount; ++i) {
            const int64_t lKind = Below(100);
            if (lKind < 5)
                t += 3600 * (1 + Below(30)); // a gap
            else if (lKind < 8 && t < kLast - 500 * 86400)
                t = kLast - 400 * 86400 - Below(3 * 86400); // a jump, with room after it
            else if (lKind < 18)
                t -= Below(900); // out of order
            else if (lKind < 40)
                t = t - t % 60 + 60 * Below(5); // on whole minutes
            else
                t += Below(400);
            lConsumed += uint64_t(20 + Below(Below(10) == 0 ? 100000 : 3000));
            clRecords << CutInput{Below(7) == 0 ? std::nullopt : std::optional<int64_t>(t),
                                  lConsumed};
        }
        const int64_t lFirst = Below(3) == 0 ? lBase - Below(1000) : lBase;
        const uint64_t lSize = lConsumed + uint64_t(Below(2) ? 0 : Below(5000));
        QStringList clExpected;
        for (const CutStep &clStep : ModelCuts(clRecords, clSet, lFirst, lSize))
            clExpected
                << QStringLiteral("%1%2@%3").arg(clStep.action).arg(clStep.part).arg(clStep.start);

        // Every other run offers stretches of records whole, as a split that
        // copies minutes does; a stretch the plan takes must be all writes.
        CSplitPlan clPlan(clSet, lFirst, lSize);
        QStringList clFound{
            QStringLiteral(" %1@%2").arg(clPlan.PartNumber()).arg(clPlan.PartStart())};
        for (qsizetype i = 0; i < clRecords.size();) {
            const qsizetype lStretch = lRun % 2 == 0 ? 0 : qsizetype(Below(6));
            std::optional<int64_t> clLatest, clLast;
            for (qsizetype j = i; j < i + lStretch && j < clRecords.size(); ++j) {
                if (const std::optional<int64_t> t = clRecords[j].time) {
                    clLatest = std::max(clLatest.value_or(*t), *t);
                    clLast = t;
                }
            }
            const qsizetype lEnd = std::min(i + lStretch, clRecords.size());
            if (clLatest && clPlan.TakeStretch(*clLatest, *clLast, clRecords[lEnd - 1].consumed)) {
                ++lStretchesTaken;
                for (; i < lEnd; ++i)
                    clFound << QStringLiteral("W%1@%2")
                                   .arg(clPlan.PartNumber())
                                   .arg(clPlan.PartStart());
            } else {
                clFound << Step(clPlan, clRecords[i++], false);
            }
        }
        QCOMPARE(clPlan.ModeKnown(), clSet.mode <= SPLIT_BY_NUMBER);
        if (clFound != clExpected) {
            qInfo("run %d, mode %d, align %d, length %lld, count %u", lRun, clSet.mode,
                  clSet.alignToUnit, static_cast<long long>(clSet.partLength), clSet.partCount);
            QCOMPARE(clFound, clExpected);
        }
    }
    QVERIFY(lStretchesTaken > 1000);
}

void TestSplitRules::planBoundaries_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<QList<CutInput>>("records");
    QTest::addColumn<QString>("steps"); // action, part and its naming time per record

    const auto T = [](const char *pTime, uint64_t lConsumed = 0) {
        return CutInput{At(pTime), lConsumed};
    };
    QTest::newRow("period: the whole last second")
        << ByPeriod(At("10:00:00"), At("10:30:59"))
        << QList<CutInput>{T("09:59:59"), {}, T("10:00:00"), {}, T("10:30:59"), T("10:31:00")}
        << "S1@10:00:00 S1@10:00:00 W1@10:00:00 W1@10:00:00 W1@10:00:00 E1@10:00:00";
    // 1000 bytes in 3: the limits 333 and 666.
    QTest::newRow("number: a record ending on the limit stays, one past it moves on")
        << ByNumber(3)
        << QList<CutInput>{T("10:20:00", 333), T("10:25:00", 334), T("10:30:00", 666),
                           T("10:35:00", 667)}
        << "W1@10:20:00 N2@10:25:00 W2@10:25:00 N3@10:35:00";
}

void TestSplitRules::planBoundaries() {
    QFETCH(StructSplitSettings, settings);
    QFETCH(QList<CutInput>, records);
    QFETCH(QString, steps);
    CSplitPlan clPlan(settings, At("10:20:00"), 1000);
    QStringList clSteps;
    for (const CutInput &clRecord : records)
        clSteps << Step(clPlan, clRecord, true);
    QCOMPARE(clSteps.join(u' '), steps);
}

void TestSplitRules::recordFields_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<qint64>("time"); // min: none
    QTest::addColumn<qint64>("hz");   // -1: none
    // After ShiftRecordTime(+3600) and SetRecordFrequency(390012500):
    QTest::addColumn<QByteArray>("changed");

    // The edges the round trips do not reach.
    constexpr qint64 kNone = std::numeric_limits<qint64>::min();
    const QByteArray clTetra = BytesOf(Zeroed<TetraTmv>()).left(100);
    QTest::newRow("TETRA too short") << int(PAYLOAD_TETRA) << clTetra << kNone << -1LL << clTetra;
    auto clDmr = Zeroed<DmrTmv>();
    clDmr.timeSeconds = 1709820309, clDmr.altTimeSeconds = 1709820400;
    const QByteArray clDmrBefore = BytesOf(clDmr);
    clDmr.timeSeconds += 3600, clDmr.altTimeSeconds += 3600, clDmr.value48 = 390012500;
    QTest::newRow("DMR: the second time moves along, value 0 is no frequency")
        << int(PAYLOAD_DMR) << clDmrBefore << qint64(1709820309) << -1LL << BytesOf(clDmr);
    auto clGsm = Zeroed<GsmTmv>();
    clGsm.fileTime = 10000000ULL - 1, clGsm.value2 = 935000000; // just under a second after 1601
    const QByteArray clGsmBefore = BytesOf(clGsm);
    clGsm.fileTime += 3600 * 10000000ULL, clGsm.byte1 = 0x10, clGsm.value2 = 390012500;
    QTest::newRow("GSM before 1970, part of a second cut off, value without mark")
        << int(PAYLOAD_GSM) << clGsmBefore << -qint64(kGsmEpochSeconds) << 935000000LL
        << BytesOf(clGsm);
    QTest::newRow("generic 23 bytes: no time")
        << int(PAYLOAD_GENERIC) << Counting(23) << kNone << -1LL << Counting(23);
    QTest::newRow("generic 71 bytes: no frequency")
        << int(PAYLOAD_GENERIC) << Counting(71, 16, 7) << 7LL << -1LL << Counting(71, 16, 3607);
}

void TestSplitRules::recordFields() {
    QFETCH(int, kind);
    QFETCH(QByteArray, payload);
    QFETCH(qint64, time);
    QFETCH(qint64, hz);
    QFETCH(QByteArray, changed);

    std::vector<uint64_t> clStorage(size_t(payload.size()) / 8 + 1);
    std::memcpy(clStorage.data(), payload.constData(), size_t(payload.size()));
    RawRecord clRecord{};
    clRecord.payloadKind = uint8_t(kind);
    clRecord.payloadLength = uint32_t(payload.size());
    clRecord.payload = clStorage.data();
    clRecord.frequency = 7;
    QCOMPARE(RecordTimeSeconds(clRecord).value_or(std::numeric_limits<qint64>::min()), time);
    QCOMPARE(qint64(RecordFrequency(clRecord).value_or(uint64_t(-1))), hz);
    ShiftRecordTime(clRecord, 3600);
    SetRecordFrequency(clRecord, 390012500);
    QCOMPARE(
        QByteArray(reinterpret_cast<const char *>(clStorage.data()), payload.size()).toHex(' '),
        changed.toHex(' '));
    QCOMPARE(clRecord.frequency, uint64_t(kind <= PAYLOAD_GSM ? 390012500 : 7));
    clRecord.payload = nullptr;
    QVERIFY(!RecordTimeSeconds(clRecord));
}

void TestSplitRules::pacing() {
    // Truncated tenths of a percent; the end and anything not below it is 0.
    for (const auto &[dPercent, lCode] : QList<std::pair<double, int>>{
             {0.09, 0}, {0.1, 1}, {99.95, 999}, {100.0, 0}, {-5.0, 0}, {qQNaN(), 0}})
        QCOMPARE(ProgressCode(dPercent), lCode);
    CPlatformEvent clStop(true, false);
    CWorkerPacer clPacer(clStop);
    QList<int> clPolls;
    for (int i = 1; i <= 3100; ++i) {
        if (clPacer.PollDue())
            clPolls << i;
    }
    QCOMPARE(clPolls, (QList<int>{1001, 2002, 3003}));
    QVERIFY(!clPacer.StopRequested());
    clStop.Set();
    QVERIFY(clPacer.StopRequested());
    // The first poll always reports; the next one only 50 ms later.
    QVERIFY(clPacer.ProgressDue());
    QVERIFY(!clPacer.ProgressDue());
}

void TestSplitRules::partNames_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<uint>("scheme");
    QTest::addColumn<uint>("part");
    QTest::addColumn<qint64>("cut");
    QTest::addColumn<QByteArray>("zone"); // empty: names in UTC
    QTest::addColumn<QString>("expected");

    const QString cell = QStringLiteral("/rec/cell.bvf");
    const auto Row = [&](const char *pName, const QString &clstrSource, uint lScheme,
                         const QString &clstrExpected, uint lPart = 1, qint64 lCut = kSample,
                         const char *pZone = "") {
        QTest::newRow(pName) << clstrSource << lScheme << lPart << lCut << QByteArray(pZone)
                             << clstrExpected;
    };
    Row("0 NAME__date+time", cell, 0, "/rec/cell__2024-03-07_14.05.09.bvf");
    Row("1 NAME__SplitNumber", cell, 1, "/rec/cell__01.bvf");
    Row("2 NAME__SplitNumber__date+time", cell, 2, "/rec/cell__01__2024-03-07_14.05.09.bvf");
    Row("3 NAME__date+time__SplitNumber", cell, 3, "/rec/cell__2024-03-07_14.05.09__01.bvf");
    Row("4 SplitNumber__NAME", cell, 4, "/rec/01__cell.bvf");
    Row("5 SplitNumber__NAME__date+time", cell, 5, "/rec/01__cell__2024-03-07_14.05.09.bvf");
    Row("6 SplitNumber__date+time__NAME", cell, 6, "/rec/01__2024-03-07_14.05.09__cell.bvf");
    Row("7 date+time__NAME", cell, 7, "/rec/2024-03-07_14.05.09__cell.bvf");
    Row("8 date+time__NAME__SplitNumber", cell, 8, "/rec/2024-03-07_14.05.09__cell__01.bvf");
    Row("9 date+time__SplitNumber__NAME", cell, 9, "/rec/2024-03-07_14.05.09__01__cell.bvf");
    Row("largest index acts as 5", cell, std::numeric_limits<uint>::max(),
        "/rec/01__cell__2024-03-07_14.05.09.bvf");

    Row("part 100 is not cut", cell, 1, "/rec/cell__100.bvf", 100);
    Row("no folder: current directory", "cell.bvf", 2, "cell__01__2024-03-07_14.05.09.bvf");
    Row("root folder keeps its slash", "/cell.bvf", 4, "/02__cell.bvf", 2);
    Row("dotted base name keeps its inner dot", "/rec/tetra.cell.bvf", 1,
        "/rec/tetra.cell__01.bvf");
    Row("other extensions become .bvf", "/rec/cell.TMW", 1, "/rec/cell__01.bvf");
    Row("percent signs are plain text", "/rec/%2/cell%1.bvf", 1, "/rec/%2/cell%1__01.bvf");
    Row("before 1970", cell, 0, "/rec/cell__1969-12-31_23.59.59.bvf", 1, -1);

    // What earlier splits and recorders added between "__" goes; the name is cut at any other.
    const qint64 lNextDay = At("2024-03-08 09:00:00");
    Row("splitting a part again drops the old time", "/rec/cell__2024-03-07_14.05.09.bvf", 0,
        "/rec/cell__2024-03-08_09.00.00.bvf", 1, lNextDay);
    Row("leading date", "/rec/2024-03-07_14.05.09__cell.bvf", 1, "/rec/cell__01.bvf");
    Row("short token with underscores", "/rec/CN_1_2__cell.bvf", 1, "/rec/cell__01.bvf");
    Row("a short token goes, what follows is cut again",
        "/rec/cell__P00012__2024-03-07_14.05.09x.bvf", 1, "/rec/cellx__01.bvf");
    Row("not a short token: letters", "/rec/cell__CN12ab.bvf", 1, "/rec/cell__01.bvf");
    Row("leading word of a short token's length", "/rec/X12345__cell.bvf", 1,
        "/rec/X12345__01.bvf");
    Row("leading short token with letters", "/rec/CN12ab__cell.bvf", 1, "/rec/CN12ab__01.bvf");
    Row("leading word of a date's length", "/rec/X024-03-07_14.05.09__cell.bvf", 1,
        "/rec/X024-03-07_14.05.09__01.bvf");
    Row("text after a date token stays", "/rec/cell__2024-03-07_14.05.09x.bvf", 1,
        "/rec/cellx__01.bvf");
    Row("part number first: cut at its __", "/rec/01__cell.bvf", 1, "/rec/01__01.bvf");
    Row("single underscores stay", "/rec/cell_north_1.bvf", 1, "/rec/cell_north_1__01.bvf");

    // Scheme 1 adds "__01.bvf" (8 characters) to folder and base name.
    Row("name of 259 characters fits", SourceOfLength(255), 1,
        "/r/" + QString(248, u'a') + "__01.bvf");
    Row("name of 260 characters is refused", SourceOfLength(256), 1, "error: name too long");
    Row("source path of 260 characters is refused", SourceOfLength(260), 4,
        "error: source path too long");
    const QString clstrWide = QString::fromUcs4(U"\U0001F4E1").repeated(200);
    Row("characters outside the basic plane count once", "/r/" + clstrWide + ".bvf", 1,
        "/r/" + clstrWide + "__01.bvf");
    const qint64 lBeyond = std::numeric_limits<qint64>::max();
    Row("time beyond the calendar", cell, 2, "error: time not representable", 1, lBeyond);
    Row("time beyond the calendar, scheme without time", cell, 1, "/rec/cell__01.bvf", 1, lBeyond);

    Row("summer time, two hours east", cell, 0, "/rec/cell__2024-07-01_14.00.00.bvf", 1,
        At("2024-07-01 12:00:00"), "CET-1CEST,M3.5.0,M10.5.0/3");
}

void TestSplitRules::partNames() {
    QFETCH(QString, source);
    QFETCH(uint, scheme);
    QFETCH(uint, part);
    QFETCH(qint64, cut);
    QFETCH(QByteArray, zone);
    QFETCH(QString, expected);

    const TimeZoneScope clZone(zone);
    StructSplitName clName;
    clName.namingScheme = scheme;
    clName.showUtc = zone.isEmpty();
    clName.sourcePath = source;
    clName.partNumber = part;
    clName.cut = cut;
    clName.outputPath = QStringLiteral("/stale/previous.bvf");
    QCOMPARE(NameText(clName), expected);
    QString clstrFolder = QStringLiteral("stale"), clstrBase = clstrFolder;
    const bool bTooLong = expected == "error: source path too long";
    QCOMPARE(SplitSourcePath(source, clstrFolder, clstrBase), !bTooLong);
    if (bTooLong)
        QVERIFY(clstrFolder.isEmpty() && clstrBase.isEmpty());
    // UTC names do not follow the zone.
    QCOMPARE(PartTimeText(kSample, true), QStringLiteral("2024-03-07_14.05.09"));
}

void TestSplitRules::fixedName_data() {
    QTest::addColumn<uint>("mode");
    QTest::addColumn<QString>("fixedName");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");

    const auto Row = [](const char *pName, uint lMode, const QString &clstrFixed,
                        const QString &clstrSource, const QString &clstrExpected) {
        QTest::newRow(pName) << lMode << clstrFixed << clstrSource << clstrExpected;
    };
    const uint P = SPLIT_BY_PERIOD;
    const QString cell = QStringLiteral("/rec/cell.bvf");
    Row("period mode uses the fixed path unchanged", P, "/out/Fixed Name.dat", cell,
        "/out/Fixed Name.dat");
    Row("fixed path of 260 characters is refused", P, SourceOfLength(260), cell,
        "error: name too long");
    Row("outside the period mode the fixed path is not taken", SPLIT_BY_TIME, "/out/f.bvf", cell,
        "error: no name");
}

void TestSplitRules::fixedName() {
    QFETCH(uint, mode);
    QFETCH(QString, fixedName);
    QFETCH(QString, source);
    QFETCH(QString, expected);

    StructSplitSettings clSettings;
    clSettings.namingScheme = kFixedNameScheme;
    clSettings.fixedName = fixedName;
    clSettings.mode = uint8_t(mode);
    clSettings.periodStart = kSample;
    StructSplitName clName = InitialSplitName(clSettings, source);
    CSplitPlan(clSettings, 0, 0).ApplyTo(clName);
    QCOMPARE(clName.partNumber, 1u);
    QCOMPARE(qint64(clName.cut), mode == SPLIT_BY_PERIOD ? kSample : 0);
    if (mode != SPLIT_BY_PERIOD)
        QVERIFY(clName.outputPath.isEmpty());
    QCOMPARE(NameText(clName), expected);
}

void TestSplitRules::pathTexts_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("normalised");
    QTest::addColumn<QString>("bareName"); // shown in questions

    const auto Row = [](const char *pName, const char *pPath, const char *pNormal,
                        const char *pBare) {
        QTest::newRow(pName) << QString(pPath) << QString(pNormal) << QString(pBare);
    };
    Row("runs of separators", "/rec///a////b.bvf", "/rec/a/b.bvf", "b.bvf");
    Row("network prefix kept", "//server/share//x.bvf", "//server/share/x.bvf", "x.bvf");
    Row("prefix then a third slash", "///x.bvf", "///x.bvf", "x.bvf");
    // A leading blank is part of a relative path's first name.
    Row("leading blanks are name characters", " \t/rec//cell.bvf", " \t/rec/cell.bvf", "cell.bvf");
    Row("separator only at the start", "/cell.bvf", "/cell.bvf", "/cell.bvf");
    Row("backslashes are name characters", "C:\\\\rec\\x", "C:\\\\rec\\x", "C:\\\\rec\\x");
}

void TestSplitRules::pathTexts() {
    QFETCH(QString, path);
    QFETCH(QString, normalised);
    QFETCH(QString, bareName);
    QCOMPARE(NormalisePath(path), normalised);
    QCOMPARE(NormalisePath(normalised), normalised);
    QCOMPARE(BareFileName(path), bareName);
}

void TestSplitRules::outputIsSource_data() {
    QTest::addColumn<QString>("output"); // %1: the folder holding source.bvf
    QTest::addColumn<bool>("sameText");
    QTest::addColumn<bool>("sameFile");

    QTest::newRow("the source itself") << "%1/source.bvf" << true << true;
    QTest::newRow("through ..") << "%1/sub/../source.bvf" << false << true;
    QTest::newRow("hard link") << "%1/hard.bvf" << false << true;
    QTest::newRow("symbolic link to the folder") << "%1/folderlink/source.bvf" << false << true;
    QTest::newRow("copy with the same bytes") << "%1/copy.bvf" << false << false;
    // File names differ by letter case on this system.
    QTest::newRow("letter case names another file") << "%1/SOURCE.bvf" << false << false;
    QTest::newRow("a network prefix in the text only") << "/%1/source.bvf" << false << true;
}

void TestSplitRules::outputIsSource() {
    QFETCH(QString, output);
    QFETCH(bool, sameText);
    QFETCH(bool, sameFile);

    QTemporaryDir clDir;
    const auto P = [&clDir](const char *pName) { return clDir.filePath(QString(pName)); };
    const QString clstrSource = P("source.bvf");
    QVERIFY(QFile(clstrSource).open(QIODevice::WriteOnly));
    QVERIFY(QFile::copy(clstrSource, P("copy.bvf")) && QDir(clDir.path()).mkdir("sub"));
    QVERIFY(QFile::link(clDir.path(), P("folderlink")));
    QCOMPARE(::link(QFile::encodeName(clstrSource), QFile::encodeName(P("hard.bvf"))), 0);

    const QString clstrOutput = output.arg(clDir.path());
    QCOMPARE(SamePathText(clstrOutput, clstrSource), sameText);
    QCOMPARE(IsSameFile(clstrOutput, clstrSource), sameFile);
    QCOMPARE(IsSameFile(clstrSource, clstrOutput), sameFile);
    QCOMPARE(OutputIsSource(clstrOutput, clstrSource), sameText || sameFile);
}

BVF_TEST_MAIN(TestSplitRules)
#include "test_split_rules.moc"

// Frames handed to the index as runs leave it as the same frames handed over
// one by one, wherever the runs are cut and whether single records come
// between them (where the reader takes over from the chunks).
void TestSplitRules::indexRunsAsRecords() {
    std::mt19937_64 clRandom(11);
    const auto Below = [&clRandom](uint64_t lLimit) { return int64_t(clRandom() % lLimit); };
    for (int lCase = 0; lCase < 300; ++lCase) {
        const uint64_t lStart = kContainerHeaderSize;
        CScanIndex clOneByOne, clByRuns;
        clOneByOne.Begin(lStart);
        clByRuns.Begin(lStart);
        std::vector<StructScanRun> clRuns;
        CScanRunBuilder clBuilder(clRuns);
        uint64_t lPosition = lStart;
        const auto Flush = [&] {
            for (const StructScanRun &clRun : clRuns)
                clByRuns.AddRun(clRun);
            clBuilder.Begin(lPosition);
        };
        clBuilder.Begin(lPosition);
        int64_t lTime = At("10:00:00") + Below(120);
        for (int64_t i = 0, lCount = 1 + Below(40); i < lCount; ++i) {
            FrameFacts clFacts;
            clFacts.kind = uint8_t(Below(7)); // kinds past GSM carry no time for the scan
            clFacts.timed = Below(4) != 0;
            lTime += Below(6) == 0 ? -Below(300) : Below(3) == 0 ? Below(90) : 0;
            clFacts.time = lTime;
            clFacts.milliseconds = uint16_t(Below(1000));
            clFacts.verbatim = Below(10) != 0;
            const uint32_t lLength = uint32_t(kRecordBodyOffset + Below(90));
            StructScanRecord clRecord;
            if (clFacts.timed && clFacts.kind <= PAYLOAD_GSM)
                clRecord.time = clFacts.time;
            clRecord.milliseconds = FrameTimeMilliseconds(clFacts);
            clRecord.consumedAfter = lPosition + lLength;
            clRecord.frameLength = lLength;
            clRecord.verbatim = clFacts.verbatim;
            clOneByOne.AddRecord(clRecord);
            if (Below(8) == 0) {
                Flush();
                clByRuns.AddRecord(clRecord);
                lPosition += lLength;
                clBuilder.Begin(lPosition);
                continue;
            }
            clBuilder.Add(clFacts, lLength);
            lPosition += lLength;
            if (Below(5) == 0)
                Flush();
        }
        Flush();
        QCOMPARE(DescribeIndex(clByRuns), DescribeIndex(clOneByOne));
    }
}
