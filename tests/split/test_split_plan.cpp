// The split settings, the three cut rules and record times by kind.
#include "PayloadChecks.h"
#include "RecordFields.h"
#include "SplitPlan.h"
#include "SplitSettings.h"
#include "TestRegistry.h"

#include <QDateTime>
#include <QTest>
#include <QTimeZone>

#include <cstring>
#include <limits>
#include <vector>

Q_DECLARE_METATYPE(StructSplitTabValues)

namespace {

constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();

// Seconds since 1970 of a clock time on 2024-03-<day>, UTC.
qint64 Utc(const char *pClock, int lDay = 7) {
    const QTime clClock = QTime::fromString(QString::fromLatin1(pClock), u"hh:mm:ss");
    return QDateTime(QDate(2024, 3, lDay), clClock, QTimeZone::utc()).toSecsSinceEpoch();
}

// Clock time for times on 2024-03-07, the full date otherwise.
QString Clock(qint64 lSeconds) {
    const QDateTime clTime = QDateTime::fromSecsSinceEpoch(lSeconds, QTimeZone::utc());
    if (clTime.date() == QDate(2024, 3, 7))
        return clTime.toString(u"hh:mm:ss");
    return clTime.toString(u"yyyy-MM-dd hh:mm:ss");
}

QString SettingsText(const StructSplitSettings &s) {
    return QStringLiteral("scheme=%1 fixed='%2' utc=%3 offset=%4 mode=%5 align=%6 length=%7 "
                          "period=%8..%9 count=%10 correct=%11 hz=%12")
        .arg(s.namingScheme)
        .arg(s.fixedName)
        .arg(s.showUtc)
        .arg(s.applyOffset)
        .arg(s.mode)
        .arg(s.alignToUnit)
        .arg(s.partLength)
        .arg(s.periodStart)
        .arg(s.periodEnd)
        .arg(s.partCount)
        .arg(s.correctFrequency)
        .arg(s.frequencyHz);
}

// The tab as it stands after loading a source: split by time, one hour.
StructSplitTabValues Tab() {
    StructSplitTabValues clTab;
    clTab.showUtc = true;
    clTab.schemeIndex = 2;
    clTab.splitTypeId = SPLIT_BY_TIME;
    clTab.lengthHours = 1;
    clTab.lengthMinutes = 0;
    clTab.periodFrom = Utc("10:00:00");
    clTab.periodTo = Utc("11:00:00");
    clTab.minutePrecision = false;
    clTab.partCount = 2;
    clTab.frequencyText = QStringLiteral("0");
    return clTab;
}

// Feeds the records to the plan as the split worker does and describes what
// came out: each part as "number start <next-boundary-or-threshold [records]",
// then the skipped records and the record that ended the split.
QString RunPlan(CSplitPlan &clPlan, const QList<qint64> &clTimes,
                const QList<quint64> &clConsumed = {}) {
    const auto PartHead = [&clPlan]() {
        QString clstrHead =
            QStringLiteral("%1 %2").arg(clPlan.PartNumber()).arg(Clock(clPlan.PartStart()));
        if (clPlan.NeedsConsumedBytes()) {
            const quint64 lThreshold = clPlan.NextThreshold();
            clstrHead += lThreshold == std::numeric_limits<quint64>::max()
                             ? QStringLiteral(" <max")
                             : QStringLiteral(" <%1").arg(lThreshold);
        }
        return clstrHead;
    };
    QStringList clParts;
    QStringList clRecords;
    QStringList clSkipped;
    QString clstrHead = PartHead();
    QString clstrEnd;
    for (int i = 0; i < clTimes.size(); ++i) {
        const std::optional<int64_t> clTime =
            clTimes[i] == kNoTime ? std::nullopt : std::optional<int64_t>(clTimes[i]);
        const SplitAction enAction =
            clPlan.Decide(clTime, i < clConsumed.size() ? clConsumed[i] : 0);
        if (enAction == SplitAction::EndSplit) {
            clstrEnd = QStringLiteral(" end %1").arg(i);
            break;
        }
        if (enAction == SplitAction::SkipRecord) {
            clSkipped << QString::number(i);
            continue;
        }
        if (enAction == SplitAction::StartNewPart) {
            clParts << clstrHead + QStringLiteral(" [%1]").arg(clRecords.join(u' '));
            clRecords.clear();
            clstrHead = PartHead();
        }
        clRecords << QString::number(i);
    }
    clParts << clstrHead + QStringLiteral(" [%1]").arg(clRecords.join(u' '));
    QString clstrResult = clParts.join(QStringLiteral(" | "));
    if (!clSkipped.isEmpty())
        clstrResult += QStringLiteral(" skip [%1]").arg(clSkipped.join(u' '));
    return clstrResult + clstrEnd;
}

// By time, the boundary follows each part's start.
QString RunByTime(CSplitPlan &clPlan, const QList<qint64> &clTimes) {
    QStringList clParts;
    QStringList clRecords;
    QString clstrHead = QStringLiteral("%1 %2 <%3")
                            .arg(clPlan.PartNumber())
                            .arg(Clock(clPlan.PartStart()), Clock(clPlan.NextBoundary()));
    for (int i = 0; i < clTimes.size(); ++i) {
        const std::optional<int64_t> clTime =
            clTimes[i] == kNoTime ? std::nullopt : std::optional<int64_t>(clTimes[i]);
        const SplitAction enAction = clPlan.Decide(clTime, 0);
        if (enAction == SplitAction::StartNewPart) {
            clParts << clstrHead + QStringLiteral(" [%1]").arg(clRecords.join(u' '));
            clRecords.clear();
            clstrHead = QStringLiteral("%1 %2 <%3")
                            .arg(clPlan.PartNumber())
                            .arg(Clock(clPlan.PartStart()), Clock(clPlan.NextBoundary()));
        } else if (enAction != SplitAction::WriteToCurrentPart) {
            return QStringLiteral("unexpected action at %1").arg(i);
        }
        clRecords << QString::number(i);
    }
    clParts << clstrHead + QStringLiteral(" [%1]").arg(clRecords.join(u' '));
    return clParts.join(QStringLiteral(" | "));
}

// An aligned payload buffer and the record that points into it.
struct RecordBuffer {
    std::vector<uint64_t> storage;
    RawRecord record{};

    RecordBuffer(int lKind, const QByteArray &clPayload) : storage(clPayload.size() / 8 + 1) {
        std::memcpy(storage.data(), clPayload.constData(), size_t(clPayload.size()));
        record.recordClass = 2;
        record.payloadKind = uint8_t(lKind);
        record.payloadLength = uint32_t(clPayload.size());
        record.payload = storage.data();
        record.frequency = 7;
    }
    QByteArray Payload() const {
        return QByteArray(reinterpret_cast<const char *>(storage.data()),
                          qsizetype(record.payloadLength));
    }
};

QByteArray TetraPayload(uint64_t lTime, uint8_t lFlags = 0, uint64_t lHz = 0) {
    TetraTmv clTetra;
    std::memset(&clTetra, 0, sizeof(clTetra));
    clTetra.timeSeconds = lTime;
    clTetra.milliseconds = 321;
    clTetra.valueFlags = lFlags;
    clTetra.frequency = lHz;
    return BytesOf(clTetra);
}

QByteArray DmrPayload(uint64_t lTime, uint64_t lAltTime = 0, uint64_t lValue48 = 0) {
    DmrTmv clDmr;
    std::memset(&clDmr, 0, sizeof(clDmr));
    clDmr.timeSeconds = lTime;
    clDmr.altTimeSeconds = lAltTime;
    clDmr.optionalFlags = 0x01;
    clDmr.value48 = lValue48;
    return BytesOf(clDmr);
}

QByteArray GsmPayload(uint64_t lFileTime, uint8_t lByte1 = 0, uint64_t lValue2 = 0) {
    GsmTmv clGsm;
    std::memset(&clGsm, 0, sizeof(clGsm));
    clGsm.fileTime = lFileTime;
    clGsm.byte1 = lByte1;
    clGsm.value2 = lValue2;
    return BytesOf(clGsm);
}

QByteArray NoticePayload() {
    NoticeTmv clNotice;
    std::memset(&clNotice, 0, sizeof(clNotice));
    clNotice.code = 10045;
    return BytesOf(clNotice);
}

// Generic payload bytes 0, 1, 2, ... with a value written little-endian, byte
// by byte, at the given offset.
QByteArray GenericPayload(int lLength, int lValueAt = -1, quint64 lValue = 0) {
    QByteArray clBytes(lLength, 0);
    for (int i = 0; i < lLength; ++i)
        clBytes[i] = char(i);
    if (lValueAt >= 0) {
        for (int i = 0; i < 8; ++i)
            clBytes[lValueAt + i] = char(uint8_t(lValue >> (8 * i)));
    }
    return clBytes;
}

constexpr quint64 kByteOrderProbe = 0x0102030405060708ULL;
constexpr quint64 kGsmUnitsPerSecond = 10000000ULL;
// 2024-03-07 14:05:09 UTC as GSM file time.
constexpr quint64 kGsmTime = 133542939090000000ULL;

} // namespace

class TestSplitPlan : public QObject {
    Q_OBJECT

  private slots:
    void collectSettings_data();
    void collectSettings();
    void byTime_data();
    void byTime();
    void byPeriod_data();
    void byPeriod();
    void byNumber_data();
    void byNumber();
    void unknownMode();
    void recordTimes_data();
    void recordTimes();
    void shiftTime_data();
    void shiftTime();
    void setFrequency_data();
    void setFrequency();
    void recordFrequency_data();
    void recordFrequency();
};

void TestSplitPlan::collectSettings_data() {
    QTest::addColumn<StructSplitTabValues>("tab");
    QTest::addColumn<QString>("expected"); // empty: nothing starts

    const QString clstrHour =
        QStringLiteral("period=%1..%2").arg(Utc("10:00:00")).arg(Utc("11:00:00"));
    const auto Expect = [&clstrHour](const char *pFront, const char *pBack) {
        return QString::fromLatin1(pFront) + clstrHour + QString::fromLatin1(pBack);
    };

    StructSplitTabValues t = Tab();
    QTest::newRow("length 01:00") << t
                                  << Expect("scheme=2 fixed='' utc=1 offset=0 mode=0 align=0 "
                                            "length=3600 ",
                                            " count=2 correct=0 hz=0");
    t = Tab();
    t.lengthHours = 0;
    t.lengthMinutes = 0;
    t.alignChecked = true;
    QTest::newRow("length 00:00 is a whole day")
        << t
        << Expect("scheme=2 fixed='' utc=1 offset=0 mode=0 align=1 length=86400 ",
                  " count=2 correct=0 hz=0");
    t = Tab();
    t.lengthHours = 23;
    t.lengthMinutes = 59;
    QTest::newRow("length 23:59") << t
                                  << Expect("scheme=2 fixed='' utc=1 offset=0 mode=0 align=0 "
                                            "length=86340 ",
                                            " count=2 correct=0 hz=0");
    t = Tab();
    t.lengthHours = 0;
    t.lengthMinutes = 1;
    t.showUtc = false;
    QTest::newRow("length 00:01, local names")
        << t
        << Expect("scheme=2 fixed='' utc=0 offset=0 mode=0 align=0 length=60 ",
                  " count=2 correct=0 hz=0");

    t = Tab();
    t.splitTypeId = SPLIT_BY_PERIOD;
    t.periodFrom = Utc("12:30:40");
    t.periodTo = Utc("12:10:20");
    t.minutePrecision = true;
    QTest::newRow("From later than To, minute precision")
        << t
        << QStringLiteral("scheme=2 fixed='' utc=1 offset=0 mode=1 align=0 length=3600 "
                          "period=%1..%2 count=2 correct=0 hz=0")
               .arg(Utc("12:10:00"))
               .arg(Utc("12:30:59"));
    t.minutePrecision = false;
    QTest::newRow("From later than To, second precision")
        << t
        << QStringLiteral("scheme=2 fixed='' utc=1 offset=0 mode=1 align=0 length=3600 "
                          "period=%1..%2 count=2 correct=0 hz=0")
               .arg(Utc("12:10:20"))
               .arg(Utc("12:30:40"));
    t.periodFrom = -90;
    t.periodTo = -30;
    t.minutePrecision = true;
    QTest::newRow("minute precision before 1970 rounds down")
        << t
        << QStringLiteral("scheme=2 fixed='' utc=1 offset=0 mode=1 align=0 length=3600 "
                          "period=-120..-1 count=2 correct=0 hz=0");

    t = Tab();
    t.protocolOffset = 3600;
    t.syncChecked = true;
    QTest::newRow("offset applies when checked")
        << t
        << Expect("scheme=2 fixed='' utc=1 offset=1 mode=0 align=0 length=3600 ",
                  " count=2 correct=0 hz=0");
    t.syncChecked = false;
    QTest::newRow("offset not checked")
        << t
        << Expect("scheme=2 fixed='' utc=1 offset=0 mode=0 align=0 length=3600 ",
                  " count=2 correct=0 hz=0");
    t.protocolOffset = 0;
    t.syncChecked = true;
    QTest::newRow("no offset found: never applied")
        << t
        << Expect("scheme=2 fixed='' utc=1 offset=0 mode=0 align=0 length=3600 ",
                  " count=2 correct=0 hz=0");

    t = Tab();
    t.splitTypeId = SPLIT_BY_PERIOD;
    t.schemeIndex = kFixedNameScheme;
    t.fixedNameText = QStringLiteral("/out/fixed.bvf");
    QTest::newRow("fixed name in the period mode")
        << t
        << Expect("scheme=10 fixed='/out/fixed.bvf' utc=1 offset=0 mode=1 align=0 "
                  "length=3600 ",
                  " count=2 correct=0 hz=0");
    t.fixedNameText.clear();
    QTest::newRow("fixed name chosen but empty") << t << QString();
    t.fixedNameText = QStringLiteral("/out/fixed.bvf");
    t.splitTypeId = SPLIT_BY_TIME;
    QTest::newRow("fixed name outside the period mode") << t << QString();
    t.schemeIndex = 3;
    QTest::newRow("fixed text ignored by other schemes")
        << t
        << Expect("scheme=3 fixed='' utc=1 offset=0 mode=0 align=0 length=3600 ",
                  " count=2 correct=0 hz=0");
    t.schemeIndex = 42;
    QTest::newRow("scheme above 10 is kept")
        << t
        << Expect("scheme=42 fixed='' utc=1 offset=0 mode=0 align=0 length=3600 ",
                  " count=2 correct=0 hz=0");

    t = Tab();
    t.splitTypeId = -1;
    QTest::newRow("no split type") << t << QString();
    t.splitTypeId = 3;
    QTest::newRow("split type 3") << t << QString();

    t = Tab();
    t.splitTypeId = SPLIT_BY_NUMBER;
    t.partCount = 5;
    QTest::newRow("five parts") << t
                                << Expect("scheme=2 fixed='' utc=1 offset=0 mode=2 align=0 "
                                          "length=3600 ",
                                          " count=5 correct=0 hz=0");
    t.partCount.reset();
    QTest::newRow("number field missing: two parts")
        << t
        << Expect("scheme=2 fixed='' utc=1 offset=0 mode=2 align=0 length=3600 ",
                  " count=2 correct=0 hz=0");
    t.partCount = 0;
    QTest::newRow("zero parts") << t << QString();

    t = Tab();
    t.frequencyChecked = true;
    t.frequencyText = QStringLiteral("360000000");
    QTest::newRow("frequency correction")
        << t
        << Expect("scheme=2 fixed='' utc=1 offset=0 mode=0 align=0 length=3600 ",
                  " count=2 correct=1 hz=360000000");
    t.frequencyChecked = false;
    QTest::newRow("frequency read, correction off")
        << t
        << Expect("scheme=2 fixed='' utc=1 offset=0 mode=0 align=0 length=3600 ",
                  " count=2 correct=0 hz=360000000");
    t.frequencyChecked = true;
    t.frequencyText = QStringLiteral("36O000000");
    QTest::newRow("frequency not a number")
        << t
        << Expect("scheme=2 fixed='' utc=1 offset=0 mode=0 align=0 length=3600 ",
                  " count=2 correct=0 hz=-1");
    t.frequencyText = QStringLiteral("3000000000");
    QTest::newRow("frequency beyond 32 bits")
        << t
        << Expect("scheme=2 fixed='' utc=1 offset=0 mode=0 align=0 length=3600 ",
                  " count=2 correct=0 hz=-1");
    t.frequencyText = QStringLiteral("-5");
    QTest::newRow("negative frequency is not applied")
        << t
        << Expect("scheme=2 fixed='' utc=1 offset=0 mode=0 align=0 length=3600 ",
                  " count=2 correct=0 hz=-5");
    t.frequencyText.reset();
    QTest::newRow("frequency field missing")
        << t
        << Expect("scheme=2 fixed='' utc=1 offset=0 mode=0 align=0 length=3600 ",
                  " count=2 correct=0 hz=-1");
}

void TestSplitPlan::collectSettings() {
    QFETCH(StructSplitTabValues, tab);
    QFETCH(QString, expected);

    StructSplitSettings clSettings;
    clSettings.namingScheme = 77; // a refusal must leave this alone
    const StructSplitSettings clBefore = clSettings;
    const bool bStarted = CollectSplitSettings(tab, clSettings);
    QCOMPARE(bStarted, !expected.isEmpty());
    QCOMPARE(SettingsText(clSettings), bStarted ? expected : SettingsText(clBefore));
}

void TestSplitPlan::byTime_data() {
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<bool>("align");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one hour aligned")
        << 1 << 0 << true << Utc("10:20:00")
        << QList<qint64>{Utc("10:20:00"), Utc("10:40:00"), Utc("10:59:59"), Utc("11:00:03"),
                         Utc("11:30:00"), Utc("11:59:59"), Utc("12:00:00")}
        << "1 10:20:00 <11:00:00 [0 1 2] | 2 11:00:03 <12:00:00 [3 4 5] | "
           "3 12:00:00 <13:00:00 [6]";
    QTest::newRow("one hour not aligned")
        << 1 << 0 << false << Utc("10:20:00")
        << QList<qint64>{Utc("10:20:00"), Utc("11:00:03"), Utc("11:19:59"),
                         Utc("11:20:07"), Utc("12:20:06"), Utc("12:20:07")}
        << "1 10:20:00 <11:20:00 [0 1 2] | 2 11:20:07 <12:20:07 [3 4] | "
           "3 12:20:07 <13:20:07 [5]";
    QTest::newRow("record exactly on the boundary opens the part")
        << 1 << 0 << true << Utc("10:20:00")
        << QList<qint64>{Utc("10:20:00"), Utc("11:00:00"), Utc("11:00:00")}
        << "1 10:20:00 <11:00:00 [0] | 2 11:00:00 <12:00:00 [1 2]";
    QTest::newRow("five-hour gap gives one part")
        << 1 << 0 << true << Utc("10:20:00")
        << QList<qint64>{Utc("10:20:00"), Utc("10:50:00"), Utc("15:50:00"), Utc("15:55:00"),
                         Utc("16:00:00")}
        << "1 10:20:00 <11:00:00 [0 1] | 2 15:50:00 <16:00:00 [2 3] | "
           "3 16:00:00 <17:00:00 [4]";
    QTest::newRow("records without time stay")
        << 1 << 0 << true << Utc("10:20:00")
        << QList<qint64>{kNoTime, Utc("10:20:00"), kNoTime, Utc("11:05:00"), kNoTime}
        << "1 10:20:00 <11:00:00 [0 1 2] | 2 11:05:00 <12:00:00 [3 4]";
    QTest::newRow("out of order before the boundary stays")
        << 1 << 0 << true << Utc("10:20:00")
        << QList<qint64>{Utc("10:20:00"), Utc("11:10:00"), Utc("10:30:00"), Utc("11:50:00")}
        << "1 10:20:00 <11:00:00 [0] | 2 11:10:00 <12:00:00 [1 2 3]";
    QTest::newRow("length 00:00 aligned: whole UTC days")
        << 0 << 0 << true << Utc("10:20:00")
        << QList<qint64>{Utc("10:20:00"), Utc("23:59:59"), Utc("00:00:00", 8), Utc("09:00:00", 9)}
        << "1 10:20:00 <2024-03-08 00:00:00 [0 1] | "
           "2 2024-03-08 00:00:00 <2024-03-09 00:00:00 [2] | "
           "3 2024-03-09 09:00:00 <2024-03-10 00:00:00 [3]";
    QTest::newRow("length 00:00 not aligned: 24 hours")
        << 0 << 0 << false << Utc("10:20:00")
        << QList<qint64>{Utc("10:20:00"), Utc("10:19:59", 8), Utc("10:20:00", 8)}
        << "1 10:20:00 <2024-03-08 10:20:00 [0 1] | "
           "2 2024-03-08 10:20:00 <2024-03-09 10:20:00 [2]";
    QTest::newRow("90 minutes aligned from 1970")
        << 1 << 30 << true << Utc("10:20:00")
        << QList<qint64>{Utc("10:20:00"), Utc("10:29:59"), Utc("10:30:00")}
        << "1 10:20:00 <10:30:00 [0 1] | 2 10:30:00 <12:00:00 [2]";
}

void TestSplitPlan::byTime() {
    QFETCH(int, hours);
    QFETCH(int, minutes);
    QFETCH(bool, align);
    QFETCH(qint64, first);
    QFETCH(QList<qint64>, times);
    QFETCH(QString, expected);

    StructSplitTabValues clTab = Tab();
    clTab.lengthHours = hours;
    clTab.lengthMinutes = minutes;
    clTab.alignChecked = align;
    StructSplitSettings clSettings;
    QVERIFY(CollectSplitSettings(clTab, clSettings));
    CSplitPlan clPlan(clSettings, first, 1000);
    QVERIFY(clPlan.ModeKnown());
    QVERIFY(!clPlan.NeedsConsumedBytes());
    QCOMPARE(RunByTime(clPlan, times), expected);
}

void TestSplitPlan::byPeriod_data() {
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<bool>("minutePrecision");
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QString>("expected");

    const QList<qint64> clAround{Utc("09:59:59"), kNoTime,         Utc("10:00:00"), kNoTime,
                                 Utc("10:30:59"), Utc("10:31:00"), Utc("10:10:00")};
    QTest::newRow("start and end inclusive, minute precision")
        << Utc("10:00:00") << Utc("10:30:00") << true << clAround
        << "1 10:00:00 [2 3 4] skip [0 1] end 5";
    QTest::newRow("From later than To is swapped")
        << Utc("10:30:00") << Utc("10:00:00") << true << clAround
        << "1 10:00:00 [2 3 4] skip [0 1] end 5";
    QTest::newRow("minute precision takes the whole start minute")
        << Utc("10:00:45") << Utc("10:30:10") << true << clAround
        << "1 10:00:00 [2 3 4] skip [0 1] end 5";
    QTest::newRow("second precision ends at the exact second")
        << Utc("10:00:00") << Utc("10:30:58") << false << clAround
        << "1 10:00:00 [2 3] skip [0 1] end 4";
    QTest::newRow("after the start, early and timeless records are written")
        << Utc("10:00:00") << Utc("11:00:00") << false
        << QList<qint64>{Utc("10:05:00"), Utc("09:50:00"), kNoTime, Utc("11:00:00")}
        << "1 10:00:00 [0 1 2 3]";
    QTest::newRow("a record after the period ends the split")
        << Utc("10:00:00") << Utc("11:00:00") << false
        << QList<qint64>{Utc("10:05:00"), Utc("11:30:00"), Utc("10:20:00"), Utc("10:25:00")}
        << "1 10:00:00 [0] end 1";
    QTest::newRow("the first record at or after the start is past the end")
        << Utc("10:00:00") << Utc("11:00:00") << false
        << QList<qint64>{Utc("09:00:00"), kNoTime, Utc("12:00:00"), Utc("10:30:00")}
        << "1 10:00:00 [] skip [0 1] end 2";
    QTest::newRow("no record inside the period still names the one part")
        << Utc("10:00:00") << Utc("11:00:00") << true
        << QList<qint64>{Utc("08:00:00"), kNoTime, Utc("09:59:59")} << "1 10:00:00 [] skip [0 1 2]";
}

void TestSplitPlan::byPeriod() {
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(bool, minutePrecision);
    QFETCH(QList<qint64>, times);
    QFETCH(QString, expected);

    StructSplitTabValues clTab = Tab();
    clTab.splitTypeId = SPLIT_BY_PERIOD;
    clTab.periodFrom = from;
    clTab.periodTo = to;
    clTab.minutePrecision = minutePrecision;
    StructSplitSettings clSettings;
    QVERIFY(CollectSplitSettings(clTab, clSettings));
    // The first record's time plays no part in the period mode.
    CSplitPlan clPlan(clSettings, Utc("07:00:00"), 1000);
    QVERIFY(!clPlan.Started());
    QCOMPARE(RunPlan(clPlan, times), expected);
    if (expected.endsWith(u"]"))
        return;
    // Once ended, the period stays ended.
    QCOMPARE(clPlan.Decide(Utc("10:30:00"), 0), SplitAction::EndSplit);
    QVERIFY(clPlan.Started());
}

void TestSplitPlan::byNumber_data() {
    QTest::addColumn<int>("parts");
    QTest::addColumn<quint64>("size");
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QList<quint64>>("consumed");
    QTest::addColumn<QString>("expected");

    const qint64 a = Utc("10:20:00");
    const qint64 b = Utc("10:25:00");
    const qint64 c = Utc("10:30:00");
    const qint64 d = Utc("10:35:00");
    QTest::newRow("three parts, cut after the record past the threshold")
        << 3 << quint64(900) << QList<qint64>{a, a, a, b, b, b, c, c, d}
        << QList<quint64>{100, 200, 300, 301, 500, 600, 650, 800, 900}
        << "1 10:20:00 <300 [0 1 2] | 2 10:25:00 <600 [3 4 5] | 3 10:30:00 <max [6 7 8]";
    QTest::newRow("part size truncated")
        << 3 << quint64(1000) << QList<qint64>{a, b, c, d} << QList<quint64>{333, 334, 666, 667}
        << "1 10:20:00 <333 [0] | 2 10:25:00 <666 [1 2] | 3 10:35:00 <max [3]";
    QTest::newRow("large records: one cut per record, at most three parts")
        << 3 << quint64(1000) << QList<qint64>{a, b, c, d} << QList<quint64>{50, 900, 950, 1000}
        << "1 10:20:00 <333 [0] | 2 10:25:00 <666 [1] | 3 10:30:00 <max [2 3]";
    QTest::newRow("first record past the first threshold stays in part 1")
        << 3 << quint64(300) << QList<qint64>{a, b, c} << QList<quint64>{250, 260, 300}
        << "1 10:20:00 <100 [0] | 2 10:25:00 <200 [1] | 3 10:30:00 <max [2]";
    QTest::newRow("fewer records than parts: no empty part")
        << 5 << quint64(300) << QList<qint64>{a, b, c} << QList<quint64>{100, 200, 300}
        << "1 10:20:00 <60 [0] | 2 10:25:00 <120 [1] | 3 10:30:00 <180 [2]";
    QTest::newRow("a record without time names the part after the last time")
        << 2 << quint64(400) << QList<qint64>{a, b, kNoTime, kNoTime}
        << QList<quint64>{100, 150, 250, 400} << "1 10:20:00 <200 [0 1] | 2 10:25:00 <max [2 3]";
    QTest::newRow("no time at all: the source's first time")
        << 2 << quint64(200) << QList<qint64>{kNoTime, kNoTime} << QList<quint64>{100, 200}
        << "1 10:20:00 <100 [0] | 2 10:20:00 <max [1]";
    QTest::newRow("one part takes everything")
        << 1 << quint64(100) << QList<qint64>{a, b, c} << QList<quint64>{50, 100, 150}
        << "1 10:20:00 <max [0 1 2]";
}

void TestSplitPlan::byNumber() {
    QFETCH(int, parts);
    QFETCH(quint64, size);
    QFETCH(QList<qint64>, times);
    QFETCH(QList<quint64>, consumed);
    QFETCH(QString, expected);

    StructSplitTabValues clTab = Tab();
    clTab.splitTypeId = SPLIT_BY_NUMBER;
    clTab.partCount = parts;
    StructSplitSettings clSettings;
    QVERIFY(CollectSplitSettings(clTab, clSettings));
    CSplitPlan clPlan(clSettings, Utc("10:20:00"), size);
    QVERIFY(clPlan.NeedsConsumedBytes());
    QCOMPARE(RunPlan(clPlan, times, consumed), expected);
}

void TestSplitPlan::unknownMode() {
    StructSplitSettings clSettings;
    clSettings.mode = 3;
    CSplitPlan clPlan(clSettings, Utc("10:20:00"), 1000);
    QVERIFY(!clPlan.ModeKnown());
    QCOMPARE(clPlan.Decide(Utc("10:20:00"), 10), SplitAction::EndSplit);
}

void TestSplitPlan::recordTimes_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<qint64>("expected"); // kNoTime: none

    QTest::newRow("TETRA") << 0 << TetraPayload(1709820309) << qint64(1709820309);
    QTest::newRow("TETRA aux") << 3 << TetraPayload(1709820310) << qint64(1709820310);
    QTest::newRow("DMR") << 1 << DmrPayload(1709820311, 1709820999) << qint64(1709820311);
    QTest::newRow("GSM") << 4 << GsmPayload(kGsmTime) << qint64(1709820309);
    QTest::newRow("GSM fraction of a second cut off")
        << 4 << GsmPayload(kGsmTime + kGsmUnitsPerSecond - 1) << qint64(1709820309);
    QTest::newRow("GSM before 1970") << 4 << GsmPayload(0) << qint64(-11644473600LL);
    QTest::newRow("generic, little-endian at 16..23")
        << 2 << GenericPayload(24, 16, kByteOrderProbe) << qint64(kByteOrderProbe);
    QTest::newRow("generic 23 bytes: none") << 2 << GenericPayload(23) << kNoTime;
    QTest::newRow("generic 20 bytes: none") << 2 << GenericPayload(20) << kNoTime;
    QTest::newRow("notice: none") << 20 << NoticePayload() << kNoTime;
    QTest::newRow("unknown kind: none") << 7 << GenericPayload(32, 16, 5) << kNoTime;
    QTest::newRow("TETRA payload too short: none")
        << 0 << TetraPayload(1709820309).left(100) << kNoTime;
    QTest::newRow("no payload: none") << 0 << QByteArray() << kNoTime;
}

void TestSplitPlan::recordTimes() {
    QFETCH(int, kind);
    QFETCH(QByteArray, payload);
    QFETCH(qint64, expected);

    RecordBuffer clBuffer(kind, payload);
    if (payload.isEmpty())
        clBuffer.record.payload = nullptr;
    const std::optional<int64_t> clTime = RecordTimeSeconds(clBuffer.record);
    QCOMPARE(clTime.has_value(), expected != kNoTime);
    if (clTime)
        QCOMPARE(qint64(*clTime), expected);
}

void TestSplitPlan::shiftTime_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("TETRA +3600") << 0 << TetraPayload(1709820309) << qint64(3600)
                                 << TetraPayload(1709823909);
    QTest::newRow("TETRA aux -60")
        << 3 << TetraPayload(1709820309) << qint64(-60) << TetraPayload(1709820249);
    QTest::newRow("DMR, no second time")
        << 1 << DmrPayload(1709820309) << qint64(3600) << DmrPayload(1709823909);
    QTest::newRow("DMR, second time moves along")
        << 1 << DmrPayload(1709820309, 1709820400) << qint64(3600)
        << DmrPayload(1709823909, 1709824000);
    QTest::newRow("GSM in 100-ns units") << 4 << GsmPayload(kGsmTime + 5) << qint64(3600)
                                         << GsmPayload(kGsmTime + 5 + 3600 * kGsmUnitsPerSecond);
    QTest::newRow("GSM backwards")
        << 4 << GsmPayload(kGsmTime) << qint64(-1) << GsmPayload(kGsmTime - kGsmUnitsPerSecond);
    QTest::newRow("generic 24 bytes") << 2 << GenericPayload(24, 16, 1709820309) << qint64(3600)
                                      << GenericPayload(24, 16, 1709823909);
    QTest::newRow("generic 20 bytes unchanged")
        << 2 << GenericPayload(20) << qint64(3600) << GenericPayload(20);
    QTest::newRow("notice unchanged") << 20 << NoticePayload() << qint64(3600) << NoticePayload();
    QTest::newRow("offset 0 unchanged")
        << 4 << GsmPayload(kGsmTime) << qint64(0) << GsmPayload(kGsmTime);
}

void TestSplitPlan::shiftTime() {
    QFETCH(int, kind);
    QFETCH(QByteArray, payload);
    QFETCH(qint64, offset);
    QFETCH(QByteArray, expected);

    RecordBuffer clBuffer(kind, payload);
    const RawRecord clBefore = clBuffer.record;
    ShiftRecordTime(clBuffer.record, offset);
    QCOMPARE(clBuffer.Payload().toHex(' '), expected.toHex(' '));
    QCOMPARE(clBuffer.record.payloadLength, clBefore.payloadLength);
    QCOMPARE(clBuffer.record.frequency, clBefore.frequency);
}

void TestSplitPlan::setFrequency_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<quint64>("recordHz");

    const quint64 lHz = 392987500;
    QTest::newRow("TETRA: marked valid, other flags kept")
        << 0 << TetraPayload(1, 0x80, 5) << TetraPayload(1, 0x90, lHz) << lHz;
    QTest::newRow("TETRA aux") << 3 << TetraPayload(1) << TetraPayload(1, 0x10, lHz) << lHz;
    QTest::newRow("DMR: value48, option flags unchanged")
        << 1 << DmrPayload(1) << DmrPayload(1, 0, lHz) << lHz;
    QTest::newRow("GSM: marked valid")
        << 4 << GsmPayload(kGsmTime, 0x01, 9) << GsmPayload(kGsmTime, 0x11, lHz) << lHz;
    QTest::newRow("generic 72 bytes: little-endian at 64..71")
        << 2 << GenericPayload(72) << GenericPayload(72, 64, lHz) << lHz;
    QTest::newRow("generic 71 bytes: payload unchanged")
        << 2 << GenericPayload(71) << GenericPayload(71) << lHz;
    QTest::newRow("notice unchanged") << 20 << NoticePayload() << NoticePayload() << quint64(7);
}

void TestSplitPlan::setFrequency() {
    QFETCH(int, kind);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, expected);
    QFETCH(quint64, recordHz);

    RecordBuffer clBuffer(kind, payload);
    SetRecordFrequency(clBuffer.record, 392987500);
    QCOMPARE(clBuffer.Payload().toHex(' '), expected.toHex(' '));
    QCOMPARE(quint64(clBuffer.record.frequency), recordHz);
}

void TestSplitPlan::recordFrequency_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<qint64>("expected"); // -1: none

    QTest::newRow("TETRA marked valid")
        << 0 << TetraPayload(1, 0x10, 392987500) << qint64(392987500);
    QTest::newRow("TETRA not marked") << 3 << TetraPayload(1, 0xE0, 392987500) << qint64(-1);
    QTest::newRow("DMR value48") << 1 << DmrPayload(1, 0, 446000000) << qint64(446000000);
    QTest::newRow("DMR zero") << 1 << DmrPayload(1) << qint64(-1);
    QTest::newRow("GSM value2 without mark")
        << 4 << GsmPayload(kGsmTime, 0, 935000000) << qint64(935000000);
    QTest::newRow("generic 72 bytes")
        << 2 << GenericPayload(72, 64, 0x0000000102030405ULL) << qint64(0x0000000102030405LL);
    QTest::newRow("generic 71 bytes") << 2 << GenericPayload(71) << qint64(-1);
    QTest::newRow("notice") << 20 << NoticePayload() << qint64(-1);
}

void TestSplitPlan::recordFrequency() {
    QFETCH(int, kind);
    QFETCH(QByteArray, payload);
    QFETCH(qint64, expected);

    RecordBuffer clBuffer(kind, payload);
    const std::optional<uint64_t> clHz = RecordFrequency(clBuffer.record);
    QCOMPARE(clHz.has_value(), expected != -1);
    if (clHz)
        QCOMPARE(qint64(*clHz), expected);
}

BVF_TEST_MAIN(TestSplitPlan)
#include "test_split_plan.moc"
