// bvf-sample --network-offset: the broadcasts it writes tell each carrying
// record's time plus the offset, in the encoding the stand-in component reads,
// and the option is refused where it cannot apply.
#include "OpenFileFormat.h"
#include "StandInProto.h"
#include "TestRegistry.h"
#include "ToolTestKit.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cstring>
#include <memory>

class TestBvfSampleNetwork : public QObject {
    Q_OBJECT

  private slots:
    void broadcastsTellNetworkTime();
    void refusedArguments();
};

void TestBvfSampleNetwork::broadcastsTellNetworkTime() {
    QTemporaryDir clDir;
    const QString clstrPath = clDir.filePath(QStringLiteral("net.bvf"));
    const ToolRun clRun = RunTool({clstrPath, "--network-offset", "-21", "--kinds", "tetra,dmr",
                                   "--start", "2024-12-31 23:59:00", "--minutes", "2"});
    QCOMPARE(clRun.exitCode, 0);

    FileHeaderInfo clInfo{};
    const std::wstring clstrWide = clstrPath.toStdWString();
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(clstrWide.c_str(), clInfo);
    QVERIFY(pReader);
    QList<int64_t> clTetra;
    QList<int64_t> clDmr;
    RawRecord clRecord{};
    while (pReader->ReadData(clRecord) == FILE_OK) {
        if (clRecord.payloadKind == PAYLOAD_TETRA) {
            const auto &t = *static_cast<const TetraTmv *>(clRecord.payload);
            if (std::memcmp(t.data, kStandInMarker, sizeof kStandInMarker) != 0)
                continue;
            QCOMPARE(t.data[6], kStandInNetworkTime);
            QCOMPARE(t.data[7], uint8_t(3));
            const int64_t lSteps = (t.data[9] << 16) | (t.data[10] << 8) | t.data[11];
            const int64_t lYearStart =
                QDateTime(QDate(2000 + t.data[8], 1, 1), QTime(0, 0), QTimeZone::utc())
                    .toSecsSinceEpoch();
            QCOMPARE(lYearStart + 2 * lSteps - int64_t(t.timeSeconds), int64_t(-21));
            clTetra << int64_t(t.timeSeconds);
        } else if (clRecord.payloadKind == PAYLOAD_DMR) {
            const auto &d = *static_cast<const DmrTmv *>(clRecord.payload);
            const DmrConstItemRef clItem = DmrItemAt(d, kStandInDmrSlot);
            if (clItem.item->itemKind != kStandInDmrItemKind ||
                std::memcmp(clItem.data, kStandInMarker, sizeof kStandInMarker) != 0)
                continue;
            const uint8_t *p = clItem.data;
            const QDateTime clTold =
                QDateTime::fromSecsSinceEpoch(int64_t(d.timeSeconds) - 21, QTimeZone::utc());
            QCOMPARE(int((p[8] << 8) | p[9]),
                     int(StandInDmrDateWord(clTold.date().day(), clTold.date().month())));
            QCOMPARE(uint32_t((p[10] << 24) | (p[11] << 16) | (p[12] << 8) | p[13]),
                     StandInDmrTimeWord(clTold.time().hour(), clTold.time().minute(),
                                        clTold.time().second()));
            clDmr << int64_t(d.timeSeconds);
        }
    }
    pReader->CloseFile();
    // About one broadcast of each kind every 10 s of the two minutes, the
    // TETRA ones across the turn of the year too.
    QVERIFY2(clTetra.size() >= 9 && clTetra.size() <= 13,
             qPrintable(QString::number(clTetra.size())));
    QVERIFY2(clDmr.size() >= 10 && clDmr.size() <= 13, qPrintable(QString::number(clDmr.size())));
    for (int i = 1; i < clTetra.size(); ++i)
        QVERIFY(clTetra[i] - clTetra[i - 1] >= 10);
    QVERIFY(clTetra.first() < Utc("2025-01-01T00:00:21Z") &&
            clTetra.last() > Utc("2025-01-01T00:00:21Z"));
}

void TestBvfSampleNetwork::refusedArguments() {
    QTemporaryDir clDir;
    for (const QStringList &clArguments :
         {QStringList{clDir.filePath("a.bvf"), "--network-offset", "ten"},
          QStringList{clDir.filePath("b.bvf"), "--network-offset", "400000000"},
          QStringList{clDir.filePath("c.tmw"), "--network-offset", "10"}}) {
        const ToolRun clRun = RunTool(clArguments);
        QCOMPARE(clRun.exitCode, 1);
        QVERIFY2(clRun.err.contains(QStringLiteral("--network-offset")), qPrintable(clRun.err));
        QVERIFY(!QFile::exists(clArguments.first()));
    }
}

BVF_TEST_MAIN(TestBvfSampleNetwork)
#include "test_bvf_sample_network.moc"
