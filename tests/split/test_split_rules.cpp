// The rules under the split, without files: settings from the tab, the cut
// plan against the kit's cut rules, record fields at their edges, pacing.
#include "PayloadChecks.h"
#include "RecordFields.h"
#include "SplitPlan.h"
#include "TestRegistry.h"
#include "WorkerTestKit.h"

#include <QTest>

#include <random>

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

} // namespace

class TestSplitRules : public QObject {
    Q_OBJECT

  private slots:
    void collectSettings_data();
    void collectSettings();
    void planFollowsTheCutRules();
    void planBoundaries_data();
    void planBoundaries();
    void recordFields_data();
    void recordFields();
    void pacing();
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
    Row("fixed text ignored by other schemes", "scheme=3 fixed=''",
        Fixed(SPLIT_BY_TIME, 3, "/out/f.bvf"));
    Row("scheme above 10 is kept", "scheme=42 fixed=''", Fixed(SPLIT_BY_TIME, 42, ""));
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

        CSplitPlan clPlan(clSet, lFirst, lSize);
        QStringList clFound{
            QStringLiteral(" %1@%2").arg(clPlan.PartNumber()).arg(clPlan.PartStart())};
        for (const CutInput &clRecord : clRecords)
            clFound << Step(clPlan, clRecord, false);
        QCOMPARE(clPlan.ModeKnown(), clSet.mode <= SPLIT_BY_NUMBER);
        if (clFound != clExpected) {
            qInfo("run %d, mode %d, align %d, length %lld, count %u", lRun, clSet.mode,
                  clSet.alignToUnit, static_cast<long long>(clSet.partLength), clSet.partCount);
            QCOMPARE(clFound, clExpected);
        }
    }
}

void TestSplitRules::planBoundaries_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<QList<CutInput>>("records");
    QTest::addColumn<QString>("steps"); // action, part and its naming time per record

    const auto T = [](const char *pTime, uint64_t lConsumed = 0) {
        return CutInput{At(pTime), lConsumed};
    };
    QTest::newRow("a record exactly on the boundary opens the part")
        << ByTime(3600, true) << QList<CutInput>{T("10:20:00"), T("10:59:59"), T("11:00:00")}
        << "W1@10:20:00 W1@10:20:00 N2@11:00:00";
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
    QTest::newRow("number: a large first record stays, no part stays empty")
        << ByNumber(3)
        << QList<CutInput>{T("10:20:00", 900), T("10:25:00", 950), T("10:30:00", 1000)}
        << "W1@10:20:00 N2@10:25:00 N3@10:30:00";
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
    clDmr.timeSeconds = 1709820309;
    clDmr.altTimeSeconds = 1709820400;
    QByteArray clDmrBefore = BytesOf(clDmr);
    clDmr.timeSeconds += 3600;
    clDmr.altTimeSeconds += 3600;
    clDmr.value48 = 390012500;
    QTest::newRow("DMR: the second time moves along, value 0 is no frequency")
        << int(PAYLOAD_DMR) << clDmrBefore << qint64(1709820309) << -1LL << BytesOf(clDmr);
    auto clGsm = Zeroed<GsmTmv>();
    clGsm.fileTime = 10000000ULL - 1; // just under a second after 1601
    clGsm.value2 = 935000000;
    const QByteArray clGsmBefore = BytesOf(clGsm);
    clGsm.fileTime += 3600 * 10000000ULL;
    clGsm.byte1 = 0x10;
    clGsm.value2 = 390012500;
    QTest::newRow("GSM before 1970, part of a second cut off, value without mark")
        << int(PAYLOAD_GSM) << clGsmBefore << -qint64(kGsmEpochSeconds) << 935000000LL
        << BytesOf(clGsm);
    QTest::newRow("generic 23 bytes: no time")
        << int(PAYLOAD_GENERIC) << Counting(23) << kNone << -1LL << Counting(23);
    QTest::newRow("generic 71 bytes: no frequency")
        << int(PAYLOAD_GENERIC) << Counting(71, 16, 7) << 7LL << -1LL << Counting(71, 16, 3607);
    QTest::newRow("unknown kind") << 7 << Counting(80, 16, 5) << kNone << -1LL
                                  << Counting(80, 16, 5);
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

BVF_TEST_MAIN(TestSplitRules)
#include "test_split_rules.moc"
