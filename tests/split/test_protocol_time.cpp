// Protocol time in the scan, the stand-in component reading the broadcasts.
#include "ProtoComponent.h"
#include "StandInProto.h"
#include "TestPaths.h"
#include "TestRegistry.h"
#include "WorkerTestKit.h"

using namespace WorkerTestKit;

namespace {

using LiveAnalysesFn = int (*)();

// Network time 0: the "not known" value.
struct TetraBlock {
    uint8_t validity = 3;
    int64_t network = 0;
    uint8_t message = kStandInNetworkTime;
};
struct DmrBlock {
    uint16_t date = 0;
    uint32_t time = 0;
};

// Puts the blocks into the records at their indexes.
RecordEdit TetraBroadcasts(const QMap<int, QList<TetraBlock>> &clAt) {
    return [clAt](int lIndex, RawRecord &clRecord) {
        const QList<TetraBlock> clBlocks = clAt.value(lIndex);
        for (int i = 0; i < clBlocks.size(); ++i) {
            uint8_t lYear = 0;
            uint32_t lSteps = kProtoTetraTimeNotValid;
            if (clBlocks[i].network != 0)
                QVERIFY(StandInTetraNetworkTime(clBlocks[i].network, lYear, lSteps));
            StandInPutTetraBlock(*static_cast<TetraTmv *>(clRecord.payload), size_t(i),
                                 clBlocks[i].message, clBlocks[i].validity, lYear, lSteps);
        }
    };
}

RecordEdit DmrBroadcasts(const QMap<int, QList<DmrBlock>> &clAt) {
    return [clAt](int lIndex, RawRecord &clRecord) {
        const QList<DmrBlock> clBlocks = clAt.value(lIndex);
        for (int i = 0; i < clBlocks.size() && clRecord.payloadKind == PAYLOAD_DMR; ++i)
            StandInPutDmrBlock(*static_cast<DmrTmv *>(clRecord.payload), size_t(i),
                               kStandInNetworkTime, clBlocks[i].date, clBlocks[i].time);
    };
}

const int64_t t0 = At("10:20:00");

// lCount records of one kind, one a second from lStart; the first one as given.
QList<RecordSpec> Every(int lCount, RecordSpec (*fnMake)(int64_t, uint64_t),
                        std::optional<RecordSpec> clFirst = std::nullopt, int64_t lStart = t0) {
    QList<RecordSpec> clSpecs;
    for (int i = 0; i < lCount; ++i)
        clSpecs << (i == 0 && clFirst ? *clFirst : fnMake(lStart + i, 0));
    return clSpecs;
}

} // namespace

class TestProtocolTime : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void init() { QVERIFY(m_pDir.emplace().isValid()); }
    void offsetRules();
    void feedingLimits();
    void componentChoice();

  private:
    struct Case {
        const char *name;
        QList<RecordSpec> records;
        RecordEdit edit;
        std::optional<int64_t> offset; // empty: none found
    };
    // Every analysis object must be released again.
    void Check(const QList<Case> &clCases, bool bWithComponent = true);

    CProtoComponentTable m_clTable;
    LiveAnalysesFn m_fnLive = nullptr;
    std::optional<QTemporaryDir> m_pDir;
};

void TestProtocolTime::initTestCase() {
    QCOMPARE(m_clTable.Load({ToWide(QStringLiteral(BVF_STANDIN_PATH))}), 1u);
    m_fnLive = reinterpret_cast<LiveAnalysesFn>(
        m_clTable.Entries()[0].library.Symbol("StandInProto_LiveAnalyses"));
    QVERIFY(m_fnLive != nullptr);
}

void TestProtocolTime::Check(const QList<Case> &clCases, bool bWithComponent) {
    for (const Case &clCase : clCases) {
        const QString clstrPath = m_pDir->filePath(QStringLiteral("cell.bvf"));
        QVERIFY2(WriteRecording(clstrPath, clCase.records, 0x5EC0DE, clCase.edit), clCase.name);
        WorkerRig clRig;
        if (bWithComponent) {
            clRig.components = m_clTable.Entries();
            clRig.componentCount = m_clTable.Count();
        }
        QVERIFY2(clRig.Scan(clstrPath) == 1000, clCase.name);
        QVERIFY2(m_fnLive() == 0, clCase.name);
        QVERIFY2(clRig.source.offset == clCase.offset.value_or(0),
                 qPrintable(QString("%1: %2").arg(clCase.name).arg(clRig.source.offset)));
    }
}

void TestProtocolTime::offsetRules() {
    const QList<RecordSpec> clTwenty = Every(20, &Tetra), clDmr = Every(20, &Dmr);
    const TetraBlock clUnknown{3, 0};
    const auto D = &StandInDmrDateWord;
    const auto T = &StandInDmrTimeWord;
    const uint32_t lTime = T(10, 20, 9); // 7 s after record 2
    Check({
        {"10 s behind the network", clTwenty, TetraBroadcasts({{4, {{3, t0 + 4 + 10}}}}), 10},
        {"ahead of the network", clTwenty, TetraBroadcasts({{4, {{3, t0 + 4 - 3600}}}}), -3600},
        {"0xFFFFFF is ignored and feeding goes on", clTwenty,
         TetraBroadcasts({{2, {clUnknown}}, {6, {{3, t0 + 6 + 4}}}}), 4},
        {"one validity flag clear is ignored", clTwenty,
         TetraBroadcasts({{2, {{1, t0 + 2 + 6}}}, {4, {{2, t0 + 4 + 6}}}, {6, {{3, t0 + 6 + 8}}}}),
         8},
        {"the later entry of one result array wins", clTwenty,
         TetraBroadcasts({{2, {clUnknown, {3, t0 + 2 + 2}, {3, t0 + 2 + 4}}}}), 4},
        {"other system information is no time", clTwenty,
         TetraBroadcasts({{2, {{3, t0 + 2 + 2, kStandInOtherInfo}}}, {8, {{3, t0 + 8 + 6}}}}), 6},
        {"the first valid time stops the feeding", clTwenty,
         TetraBroadcasts({{2, {{3, t0 + 2 + 2}}}, {4, {{3, t0 + 4 + 6}}}}), 2},
        {"into the next year", Every(5, &Tetra, std::nullopt, At("2024-12-31 23:59:50")),
         TetraBroadcasts({{2, {{3, At("2025-01-01 00:00:00")}}}}), 8},
        {"no broadcast", clTwenty, {}, std::nullopt},
        {"DMR: full date and time", clDmr, DmrBroadcasts({{2, {{D(7, 3), lTime}}}}), 7},
        {"day 0 takes the reference day", clDmr, DmrBroadcasts({{2, {{D(0, 4), lTime}}}}),
         31 * 86400 + 7},
        {"month 0 and 13 take the reference month", clDmr,
         DmrBroadcasts({{2, {{D(8, 0), lTime}, {D(9, 13), lTime}}}}), 2 * 86400 + 7},
        {"hour 24, minute and second 60 take the reference", clDmr,
         DmrBroadcasts({{2, {{D(8, 3), T(24, 60, 60)}}}}), 86400},
        {"hour 23 is an hour", clDmr, DmrBroadcasts({{2, {{D(7, 3), T(23, 20, 2)}}}}), 13 * 3600},
        {"the first time result stops the feeding", clDmr,
         DmrBroadcasts({{2, {{D(7, 3), lTime}}}, {5, {{D(7, 3), T(11, 0, 0)}}}}), 7},
        // The 31st of April is no day: no offset rather than one into May.
        {"a day the month lacks gives no offset", clDmr,
         DmrBroadcasts({{2, {{D(31, 4), lTime}}}, {5, {{D(7, 3), lTime}}}}), std::nullopt},
    });
}

void TestProtocolTime::feedingLimits() {
    // Every 1001st record without a time result is left out. TETRA tells
    // even seconds only: 21 s ahead at odd indices, 20 s at even ones.
    const QList<RecordSpec> clLong = Every(1003, &Tetra);
    auto fnAt = [](int lIndex) {
        return TetraBroadcasts({{lIndex, {{3, t0 + lIndex + 20 + lIndex % 2}}}});
    };
    // More than 5000 time results without a valid time end the feeding.
    const QList<RecordSpec> clMany = Every(5003, &Tetra);
    auto fnAfterUnknown = [](int lUnknown) {
        QMap<int, QList<TetraBlock>> clAt;
        for (int i = 0; i < lUnknown; ++i)
            clAt[i] = {TetraBlock{3, 0}};
        clAt[lUnknown] = {{3, t0 + lUnknown + 30 + lUnknown % 2}};
        return TetraBroadcasts(clAt);
    };
    Check({
        {"the 1000th record is analysed", clLong, fnAt(999), 21},
        {"the 1001st record is left out", clLong, fnAt(1000), std::nullopt},
        {"a valid 5001st time result still counts", clMany, fnAfterUnknown(5000), 30},
        {"after 5001 results without a time the feeding stops", clMany, fnAfterUnknown(5001),
         std::nullopt},
    });
}

void TestProtocolTime::componentChoice() {
    const RecordEdit fnTetra = TetraBroadcasts({{2, {{3, t0 + 2 + 10}}}});
    const RecordEdit fnDmr =
        DmrBroadcasts({{2, {{StandInDmrDateWord(7, 3), StandInDmrTimeWord(10, 20, 12)}}}}); // +10
    const QList<RecordSpec> clTetra = Every(5, &Tetra);
    QList<RecordSpec> clNoticeFirst = clTetra;
    clNoticeFirst.prepend(Notice());
    Check({
        {"TETRA first: TETRA analysis", clTetra, fnTetra, 10},
        {"generic first: DMR analysis", Every(5, &Dmr, Generic(t0)), fnDmr, 10},
        {"a record without time does not choose", Every(5, &Tetra, Tetra(0)), fnTetra, 10},
        {"TETRA first: DMR records are not fed", Every(5, &Dmr, Tetra(t0)), fnDmr, std::nullopt},
        {"GSM first: no component", Every(5, &Tetra, Gsm(t0)), fnTetra, std::nullopt},
        {"auxiliary first: no analysis", Every(5, &Tetra, Aux(t0)), fnTetra, std::nullopt},
        // The notice shifts the indices by one.
        {"a notice first does not choose", clNoticeFirst,
         TetraBroadcasts({{3, {{3, t0 + 2 + 10}}}}), 10},
    });
    Check({{"without a component", clTetra, fnTetra, std::nullopt}}, false);
}

BVF_TEST_MAIN(TestProtocolTime)
#include "test_protocol_time.moc"
