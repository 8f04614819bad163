// How both workers take a reader's answers, with a reader that answers from a
// script: which results end the source, which fail the run, and when a
// damaged record is stepped over. Also the stop-poll and progress pacing.
#include "WorkerLoop.h"

#include "TestRegistry.h"

#include <QTest>

#include <limits>

namespace {

// Answers ReadData from a script of results, each with the consumed position
// the reader reports after it.
class CScriptedReader final : public CVirtualFileFormat {
  public:
    struct Step {
        FileResult result;
        uint64_t positionAfter;
    };
    CScriptedReader(QList<Step> clSteps, bool bOnline)
        : m_clSteps(std::move(clSteps)), m_bOnline(bOnline) {}

    FileResult OpenFile(const wchar_t *, FileHeaderInfo &, uint8_t) override { return FILE_OK; }
    FileResult ReadData(RawRecord &clRecord) override {
        ++m_lCalls;
        if (m_clSteps.isEmpty())
            return FILE_WRONG_STATE; // read past the script: shows in the trace
        const Step clStep = m_clSteps.takeFirst();
        m_lPosition = clStep.positionAfter;
        if (clStep.result == FILE_OK) {
            clRecord = RawRecord{};
            clRecord.payloadKind = PAYLOAD_GENERIC;
            clRecord.payload = &m_lPayload;
            clRecord.payloadLength = sizeof(m_lPayload);
        }
        return clStep.result;
    }
    void CloseFile() override {}
    double GetProgress() override { return 0; }
    uint64_t GetFileSize(bool bTotal) override { return bTotal ? 1000000 : m_lPosition; }
    bool SetOption(uint8_t, int32_t) override { return false; }
    FileResult OpenFileForWriting(const wchar_t *, const FileHeaderInfo &, uint8_t) override {
        return FILE_WRONG_STATE;
    }
    FileResult WriteData(const RawRecord &) override { return FILE_WRONG_STATE; }
    FileResult CloseFileForWriting() override { return FILE_OK; }
    FileResult FlushData() override { return FILE_OK; }
    uint64_t GetWrittenBytes() override { return 0; }
    bool SetAutoSplit(int64_t, AutoSplitCallback, void *) override { return false; }
    bool ReservedQuery() override { return false; }
    const wchar_t *GetFileName() override { return L""; }
    bool IsOnlineFile() override { return m_bOnline; }
    bool ReservedValue32(uint32_t, uint32_t &lOut) override {
        lOut = 0;
        return false;
    }
    bool ReservedValue64(uint64_t, uint64_t &lOut) override {
        lOut = 0;
        return false;
    }

    int Calls() const { return m_lCalls; }
    void SetPosition(uint64_t lPosition) { m_lPosition = lPosition; }

  private:
    QList<Step> m_clSteps;
    bool m_bOnline;
    uint64_t m_lPosition = 0;
    uint64_t m_lPayload = 0;
    int m_lCalls = 0;
};

using Steps = QList<CScriptedReader::Step>;

} // namespace

Q_DECLARE_METATYPE(Steps)

class TestWorkerLoop : public QObject {
    Q_OBJECT

  private slots:
    void readerResults_data();
    void readerResults();
    void progressCodes_data();
    void progressCodes();
    void pollEvery1001Records();
};

void TestWorkerLoop::readerResults_data() {
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<bool>("online");
    QTest::addColumn<QString>("trace"); // R record, E end, F failed

    // The reader starts at position 2355, after the header.
    QTest::newRow("records, then end of data")
        << Steps{{FILE_OK, 2400}, {FILE_OK, 2500}, {FILE_END_OF_DATA, 2500}} << false << "RRE";
    QTest::newRow("a damaged record is stepped over")
        << Steps{{FILE_OK, 2400}, {FILE_DAMAGED, 2600}, {FILE_OK, 2700}, {FILE_END_OF_DATA, 2700}}
        << false << "RRE";
    QTest::newRow("damaged records in a row, each moving on") << Steps{{FILE_DAMAGED, 2400},
                                                                       {FILE_DAMAGED, 2401},
                                                                       {FILE_OK, 2500},
                                                                       {FILE_END_OF_DATA, 2500}}
                                                              << false << "RE";
    QTest::newRow("a damaged record without progress is the end")
        << Steps{{FILE_OK, 2400}, {FILE_DAMAGED, 2600}, {FILE_DAMAGED, 2600}, {FILE_OK, 2700}}
        << false << "RE";
    QTest::newRow("damage right at the start without progress")
        << Steps{{FILE_DAMAGED, 2355}, {FILE_OK, 2400}} << false << "E";
    QTest::newRow("a read error fails the run")
        << Steps{{FILE_OK, 2400}, {FILE_WRITE_FAILED, 2400}, {FILE_OK, 2500}} << false << "RF";
    QTest::newRow("no data yet ends a file being written")
        << Steps{{FILE_OK, 2400}, {FILE_NO_DATA_YET, 2400}} << true << "RE";
    QTest::newRow("no data yet from a finished file is a failure")
        << Steps{{FILE_OK, 2400}, {FILE_NO_DATA_YET, 2400}} << false << "RF";
    QTest::newRow("end of data of a file being written")
        << Steps{{FILE_END_OF_DATA, 2355}} << true << "E";
    QTest::newRow("wrong state fails the run") << Steps{{FILE_WRONG_STATE, 2355}} << false << "F";
    QTest::newRow("no buffer fails the run") << Steps{{FILE_NO_BUFFER, 2355}} << false << "F";
}

void TestWorkerLoop::readerResults() {
    QFETCH(Steps, steps);
    QFETCH(bool, online);
    QFETCH(QString, trace);
    CScriptedReader clReader(steps, online);
    clReader.SetPosition(2355);
    CSourceRecords clRecords(clReader);
    QString clstrTrace;
    for (int i = 0; i < 20; ++i) {
        RawRecord clRecord{};
        const SourceStep enStep = clRecords.Next(clRecord);
        if (enStep == SourceStep::Record) {
            QVERIFY(clRecord.payload != nullptr);
            clstrTrace += u'R';
            continue;
        }
        clstrTrace += enStep == SourceStep::End ? u'E' : u'F';
        break;
    }
    QCOMPARE(clstrTrace, trace);
}

void TestWorkerLoop::progressCodes_data() {
    QTest::addColumn<double>("percent");
    QTest::addColumn<int>("code");

    QTest::newRow("nothing yet") << 0.0 << 0;
    QTest::newRow("below a tenth of a percent") << 0.09 << 0;
    QTest::newRow("a tenth of a percent") << 0.1 << 1;
    QTest::newRow("truncated, not rounded") << 45.67 << 456;
    QTest::newRow("just below the end") << 99.95 << 999;
    QTest::newRow("the end is not a progress code") << 100.0 << 0;
    QTest::newRow("beyond the end") << 120.0 << 0;
    QTest::newRow("negative") << -5.0 << 0;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 0;
}

void TestWorkerLoop::progressCodes() {
    QFETCH(double, percent);
    QFETCH(int, code);
    QCOMPARE(ProgressCode(percent), code);
}

void TestWorkerLoop::pollEvery1001Records() {
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
    // The first poll always reports.
    QVERIFY(clPacer.ProgressDue());
}

BVF_TEST_MAIN(TestWorkerLoop)
#include "test_worker_loop.moc"
