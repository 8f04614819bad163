// The writer's order buffer, driven through a sink that keeps copies of what
// it is given. Every input record carries its id in spare64 and in its payload,
// so an output list of ids shows both the order and that the copy is whole.
#include "OrderBuffer.h"
#include "TestRegistry.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr quint64 kWrap = 283115520;
constexpr quint64 kNoticeId = 0; // input ids start at 1
constexpr quint64 kBadCopy = ~quint64(0);

enum Kind { KindTetra = 0, KindDmr = 1, KindGsm = 4 };

struct Captured {
    RawRecord record;
    QByteArray payload;
};

class CFakeSink final : public COrderBufferSink {
  public:
    FileResult WriteDirect(const RawRecord &clRecord) override {
        Captured clCopy{clRecord, QByteArray(static_cast<const char *>(clRecord.payload),
                                             qsizetype(clRecord.payloadLength))};
        m_clWritten.push_back(clCopy);
        if (clRecord.payloadKind == PAYLOAD_NOTICE)
            return m_enNoticeResult;
        return FileResult(m_clResultById.value(clRecord.spare64, FILE_OK));
    }

    std::vector<Captured> m_clWritten;
    QHash<quint64, int> m_clResultById;
    FileResult m_enNoticeResult = FILE_OK;
};

quint64 PayloadId(const Captured &clOut) {
    switch (clOut.record.payloadKind) {
    case PAYLOAD_TETRA: {
        TetraTmv clTetra;
        std::memcpy(&clTetra, clOut.payload.constData(), sizeof(clTetra));
        return quint64(clTetra.value1);
    }
    case PAYLOAD_DMR: {
        DmrTmv clDmr;
        std::memcpy(&clDmr, clOut.payload.constData(), sizeof(clDmr));
        return clDmr.value48;
    }
    case PAYLOAD_GSM: {
        GsmTmv clGsm;
        std::memcpy(&clGsm, clOut.payload.constData(), sizeof(clGsm));
        return clGsm.value2;
    }
    default:
        return kBadCopy;
    }
}

// Ids in output order; notices appear as kNoticeId, a record whose payload
// does not match its id as kBadCopy.
QList<quint64> Ids(const CFakeSink &clSink) {
    QList<quint64> clIds;
    for (const Captured &clOut : clSink.m_clWritten) {
        if (clOut.record.payloadKind == PAYLOAD_NOTICE)
            clIds.append(kNoticeId);
        else
            clIds.append(PayloadId(clOut) == clOut.record.spare64 ? clOut.record.spare64
                                                                  : kBadCopy);
    }
    return clIds;
}

QList<quint64> Range(quint64 lFirst, quint64 lLast) {
    QList<quint64> clIds;
    for (quint64 i = lFirst; i <= lLast; ++i)
        clIds.append(i);
    return clIds;
}

// Input records with stable payload addresses.
class CInputs {
  public:
    RawRecord TetraFields(quint64 lId, int lHyperframe, int lMultiframe, int lFrame, int lTimeslot,
                          int lDirection, int lBurstType = -1) {
        TetraTmv &clTetra = m_clTetra.emplace_back();
        clTetra.hyperframe = uint16_t(lHyperframe);
        clTetra.multiframe = uint8_t(lMultiframe);
        clTetra.frame = uint8_t(lFrame);
        clTetra.timeslot = uint8_t(lTimeslot);
        clTetra.direction = uint8_t(lDirection);
        clTetra.burstType = int8_t(lBurstType);
        clTetra.value1 = int32_t(lId);
        return Record(lId, PAYLOAD_TETRA, kTetraTmvLength, &clTetra);
    }

    // A downlink record whose timeslot lies lKey timeslots after hyperframe 0,
    // multiframe 1, frame 1, timeslot 1.
    RawRecord TetraDown(quint64 lId, quint64 lKey) { return TetraAt(lId, lKey + 76, 0, -1); }

    // An uplink record keyed lKey: uplink numbering runs two timeslots ahead.
    RawRecord TetraUp(quint64 lId, quint64 lKey, int lBurstType = -1) {
        return TetraAt(lId, lKey < 2 ? lKey + kWrap + 74 : lKey + 74, 1, lBurstType);
    }

    RawRecord Dmr(quint64 lId, int lTimeslot, qint64 lMs, qint64 lAltMs = 0) {
        DmrTmv &clDmr = m_clDmr.emplace_back();
        clDmr.timeslot = uint8_t(lTimeslot);
        clDmr.timeSeconds = uint64_t(lMs / 1000);
        clDmr.milliseconds = uint16_t(lMs % 1000);
        clDmr.altTimeSeconds = uint64_t(lAltMs / 1000);
        clDmr.altMilliseconds = uint16_t(lAltMs % 1000);
        clDmr.value48 = lId;
        return Record(lId, PAYLOAD_DMR, kDmrTmvLength, &clDmr);
    }

    RawRecord Gsm(quint64 lId, int lDirection, quint64 lFileTime) {
        GsmTmv &clGsm = m_clGsm.emplace_back();
        clGsm.fileTime = lFileTime;
        clGsm.direction = uint8_t(lDirection);
        clGsm.value2 = lId;
        return Record(lId, PAYLOAD_GSM, kGsmTmvLength, &clGsm);
    }

    // One record of a kind at a key offset, for tests that run over all modes.
    RawRecord ByKind(int lKind, quint64 lId, qint64 lOffset) {
        if (lKind == KindTetra)
            return TetraDown(lId, quint64(1000 + lOffset));
        if (lKind == KindDmr)
            return Dmr(lId, 0, 1700000000000LL + lOffset);
        return Gsm(lId, 1, quint64(133000000000000000LL + lOffset));
    }

  private:
    RawRecord TetraAt(quint64 lId, quint64 s, int lDirection, int lBurstType) {
        // s = (hyperframe * 60 + multiframe) * 72 + frame * 4 + timeslot - 1,
        // with multiframe 1..60 and frame 1..18.
        const quint64 t = s - 4;
        const quint64 q = t / 72;
        const quint64 lInner = t % 72;
        return TetraFields(lId, int((q - 1) / 60), int((q - 1) % 60 + 1), int(lInner / 4 + 1),
                           int(lInner % 4 + 1), lDirection, lBurstType);
    }

    static RawRecord Record(quint64 lId, uint8_t lKind, uint32_t lLength, void *pPayload) {
        RawRecord clRecord{};
        clRecord.recordClass = 2;
        clRecord.payloadKind = lKind;
        clRecord.payloadLength = lLength;
        clRecord.payload = pPayload;
        clRecord.spare64 = lId;
        return clRecord;
    }

    std::deque<TetraTmv> m_clTetra;
    std::deque<DmrTmv> m_clDmr;
    std::deque<GsmTmv> m_clGsm;
};

// Redirects standard output into a file for the duration of a few calls.
class CStdoutCapture {
  public:
    explicit CStdoutCapture(const QString &clstrPath) : m_clstrPath(clstrPath) {
        std::fflush(stdout);
        m_lSaved = dup(1);
        const int lFile =
            open(QFile::encodeName(clstrPath).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(lFile, 1);
        close(lFile);
    }
    ~CStdoutCapture() { Finish(); }

    QByteArray Finish() {
        if (m_lSaved >= 0) {
            std::fflush(stdout);
            dup2(m_lSaved, 1);
            close(m_lSaved);
            m_lSaved = -1;
        }
        QFile clFile(m_clstrPath);
        return clFile.open(QIODevice::ReadOnly) ? clFile.readAll() : QByteArray("<unreadable>");
    }

  private:
    QString m_clstrPath;
    int m_lSaved = -1;
};

// Checks a notice against the stored form worked out here from the plain
// text: zeros after it, then byte i combined with i + (i mod 4) + 0x5A. The
// offset is part of the stored format and must not drift.
void CheckNotice(const Captured &clOut, const QByteArray &clPlain) {
    QCOMPARE(clOut.record.recordClass, 2u);
    QCOMPARE(clOut.record.sourceByte, uint8_t(0));
    QCOMPARE(clOut.record.frequency, uint64_t(0));
    QCOMPARE(clOut.record.symbolRate, 0u);
    QCOMPARE(clOut.record.value16, uint16_t(0));
    QCOMPARE(clOut.record.payloadKind, uint8_t(20));
    QCOMPARE(clOut.record.payloadLength, 140u);
    QCOMPARE(clOut.payload.size(), 140);
    NoticeTmv clNotice;
    std::memcpy(&clNotice, clOut.payload.constData(), sizeof(clNotice));
    QCOMPARE(clNotice.noticeType, uint8_t(1));
    QCOMPARE(clNotice.code, 10045u);
    QCOMPARE(clNotice.value, 0u);
    QByteArray clExpected(128, '\0');
    for (int i = 0; i < 128; ++i) {
        const uint8_t lPlain = i < clPlain.size() ? uint8_t(clPlain[i]) : 0;
        clExpected[i] = char(lPlain ^ uint8_t(i + i % 4 + 0x5A));
    }
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(clNotice.text), 128), clExpected);
}

} // namespace

class TestOrderBuffer : public QObject {
    Q_OBJECT

  private slots:
    void tetraTimeslotNumbers_data();
    void tetraTimeslotNumbers();
    void dmrGsmFlushNotice_data();
    void dmrGsmFlushNotice();
    void tetraSubSlotOrder_data();
    void tetraSubSlotOrder();
    void tetraFullSlotDropsSilently();
    void tetraUplinkPlaceholder_data();
    void tetraUplinkPlaceholder();
    void fullSlotMessage_data();
    void fullSlotMessage();
    void dmrPlaceholder_data();
    void dmrPlaceholder();
    void dmrAltTime();
    void gsmDirectionRules_data();
    void gsmDirectionRules();
    void flushAllRingOrder_data();
    void flushAllRingOrder();
    void takesRecord_data();
    void takesRecord();
    void recordCopy_data();
    void recordCopy();
    void sinkResults_data();
    void sinkResults();

  private:
    QTemporaryDir m_clDir;
};

void TestOrderBuffer::tetraTimeslotNumbers_data() {
    QTest::addColumn<QList<int>>("first");  // hyperframe, multiframe, frame, timeslot
    QTest::addColumn<QList<int>>("second"); // the same, both downlink
    QTest::addColumn<QByteArray>("notice"); // empty: none

    QTest::newRow("200 timeslots") << QList<int>{10, 1, 1, 1} << QList<int>{10, 3, 15, 1}
                                   << QByteArray("TETRA Flush buffer: 200");
    QTest::newRow("one hyperframe") << QList<int>{10, 1, 1, 1} << QList<int>{11, 1, 1, 1}
                                    << QByteArray("TETRA Flush buffer: 4320");
    QTest::newRow("143 ahead") << QList<int>{10, 1, 1, 1} << QList<int>{10, 2, 18, 4}
                               << QByteArray();
    QTest::newRow("144 ahead") << QList<int>{10, 1, 1, 1} << QList<int>{10, 3, 1, 1}
                               << QByteArray("TETRA Flush buffer: 144");
    QTest::newRow("144 back") << QList<int>{10, 3, 1, 1} << QList<int>{10, 1, 1, 1}
                              << QByteArray("TETRA Flush buffer: -144");
    QTest::newRow("wrap forward") << QList<int>{65535, 60, 18, 4} << QList<int>{0, 1, 1, 1}
                                  << QByteArray();
    QTest::newRow("wrap backward")
        << QList<int>{0, 1, 1, 1} << QList<int>{65535, 60, 18, 4} << QByteArray();
    QTest::newRow("wrap forward 201") << QList<int>{65535, 60, 18, 4} << QList<int>{0, 3, 15, 1}
                                      << QByteArray("TETRA Flush buffer: 201");
}

void TestOrderBuffer::tetraTimeslotNumbers() {
    QFETCH(QList<int>, first);
    QFETCH(QList<int>, second);
    QFETCH(QByteArray, notice);
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;
    QVERIFY(clBuffer.HasStorage());

    QCOMPARE(clBuffer.Write(clIn.TetraFields(1, first[0], first[1], first[2], first[3], 0), clSink),
             FILE_OK);
    QCOMPARE(
        clBuffer.Write(clIn.TetraFields(2, second[0], second[1], second[2], second[3], 0), clSink),
        FILE_OK);
    if (notice.isEmpty()) {
        QVERIFY(clSink.m_clWritten.empty());
    } else {
        QCOMPARE(Ids(clSink), (QList<quint64>{kNoticeId, 1}));
        CheckNotice(clSink.m_clWritten[0], notice);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QCOMPARE(Ids(clSink),
             notice.isEmpty() ? (QList<quint64>{1, 2}) : (QList<quint64>{kNoticeId, 1, 2}));
}

void TestOrderBuffer::dmrGsmFlushNotice_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("difference");
    QTest::addColumn<int>("second"); // DMR timeslot or GSM direction of the second record
    QTest::addColumn<QByteArray>("notice");

    QTest::newRow("dmr 2039") << int(KindDmr) << qint64(2039) << 0 << QByteArray();
    QTest::newRow("dmr 2040") << int(KindDmr) << qint64(2040) << 0
                              << QByteArray("DMR Flush buffer: 2040");
    QTest::newRow("dmr -2040") << int(KindDmr) << qint64(-2040) << 0
                               << QByteArray("DMR Flush buffer: -2040");
    QTest::newRow("dmr beyond 32 bits")
        << int(KindDmr) << qint64(5000000000LL) << 0 << QByteArray("DMR Flush buffer: 5000000000");
    QTest::newRow("dmr timeslot 1 never") << int(KindDmr) << qint64(5000) << 1 << QByteArray();
    QTest::newRow("gsm 1199951") << int(KindGsm) << qint64(1199951) << 1 << QByteArray();
    QTest::newRow("gsm 1199952") << int(KindGsm) << qint64(1199952) << 1
                                 << QByteArray("GSM Flush buffer: 1199952");
    QTest::newRow("gsm -1199952") << int(KindGsm) << qint64(-1199952) << 1
                                  << QByteArray("GSM Flush buffer: -1199952");
    QTest::newRow("gsm direction 0 never") << int(KindGsm) << qint64(5000000) << 0 << QByteArray();
}

void TestOrderBuffer::dmrGsmFlushNotice() {
    QFETCH(int, kind);
    QFETCH(qint64, difference);
    QFETCH(int, second);
    QFETCH(QByteArray, notice);
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;
    const qint64 lDmrBase = 1700000000000LL;
    const quint64 lGsmBase = 133000000000000000ULL;

    if (kind == KindDmr) {
        QCOMPARE(clBuffer.Write(clIn.Dmr(1, 0, lDmrBase), clSink), FILE_OK);
        QCOMPARE(clBuffer.Write(clIn.Dmr(2, second, lDmrBase + difference), clSink), FILE_OK);
    } else {
        QCOMPARE(clBuffer.Write(clIn.Gsm(1, 1, lGsmBase), clSink), FILE_OK);
        QCOMPARE(
            clBuffer.Write(clIn.Gsm(2, second, quint64(qint64(lGsmBase) + difference)), clSink),
            FILE_OK);
    }
    if (notice.isEmpty()) {
        QVERIFY(clSink.m_clWritten.empty());
    } else {
        QCOMPARE(Ids(clSink), (QList<quint64>{kNoticeId, 1}));
        CheckNotice(clSink.m_clWritten[0], notice);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QCOMPARE(Ids(clSink),
             notice.isEmpty() ? (QList<quint64>{1, 2}) : (QList<quint64>{kNoticeId, 1, 2}));
}

// Marks a downlink record in the input lists below.
constexpr int kDown = 1000;

void TestOrderBuffer::tetraSubSlotOrder_data() {
    QTest::addColumn<QList<int>>("bursts");     // uplink burst types, or kDown
    QTest::addColumn<QList<quint64>>("output"); // input positions (1-based) in output order

    QTest::newRow("every burst type")
        << QList<int>{38, 37, 36, 35, 34, 32, 22, 21, 20, 19, 18, 7, kDown}
        << QList<quint64>{13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
    QTest::newRow("33 shares 32's sub-slot")
        << QList<int>{33, 32, kDown, -1} << QList<quint64>{3, 4, 1, 2};
    QTest::newRow("wraps after 14") << QList<int>{38, 38, kDown} << QList<quint64>{2, 3, 1};
    QTest::newRow("downlinks in arrival order")
        << QList<int>{kDown, kDown, 0} << QList<quint64>{1, 2, 3};
}

void TestOrderBuffer::tetraSubSlotOrder() {
    QFETCH(QList<int>, bursts);
    QFETCH(QList<quint64>, output);
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;
    const quint64 lKey = 5000;

    for (int i = 0; i < bursts.size(); ++i) {
        const quint64 lId = quint64(i + 1);
        const RawRecord clRecord =
            bursts[i] == kDown ? clIn.TetraDown(lId, lKey) : clIn.TetraUp(lId, lKey, bursts[i]);
        QCOMPARE(clBuffer.Write(clRecord, clSink), FILE_OK);
    }
    // The next timeslot's record does not disturb the group.
    QCOMPARE(clBuffer.Write(clIn.TetraDown(100, lKey + 1), clSink), FILE_OK);
    QVERIFY(clSink.m_clWritten.empty());
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    output.append(100);
    QCOMPARE(Ids(clSink), output);
}

void TestOrderBuffer::tetraFullSlotDropsSilently() {
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;
    CStdoutCapture clCapture(m_clDir.filePath("tetra-full.txt"));
    for (quint64 lId = 1; lId <= 16; ++lId)
        QCOMPARE(clBuffer.Write(clIn.TetraUp(lId, 7000), clSink), FILE_OK);
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QCOMPARE(clCapture.Finish(), QByteArray());
    // Sub-slots 3 to 14 take the first twelve, 0 to 2 the next three.
    QList<quint64> clExpected{13, 14, 15};
    clExpected.append(Range(1, 12));
    QCOMPARE(Ids(clSink), clExpected);
}

void TestOrderBuffer::tetraUplinkPlaceholder_data() {
    QTest::addColumn<quint64>("downlinkKey");
    QTest::addColumn<quint64>("uplinkKey");
    QTest::addColumn<quint64>("laterDownlinkKey");
    QTest::addColumn<QList<quint64>>("output");

    QTest::newRow("two ahead") << quint64(1000) << quint64(1002) << quint64(1001)
                               << QList<quint64>{1, 3, 2};
    QTest::newRow("three ahead") << quint64(1000) << quint64(1003) << quint64(1001)
                                 << QList<quint64>{1, 2, 3};
    QTest::newRow("placeholder key wraps to the top")
        << kWrap - 2 << quint64(0) << kWrap - 1 << QList<quint64>{1, 3, 2};
    QTest::newRow("placeholder key 0 across the wrap")
        << kWrap - 1 << quint64(1) << quint64(0) << QList<quint64>{1, 3, 2};
}

void TestOrderBuffer::tetraUplinkPlaceholder() {
    QFETCH(quint64, downlinkKey);
    QFETCH(quint64, uplinkKey);
    QFETCH(quint64, laterDownlinkKey);
    QFETCH(QList<quint64>, output);
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;

    QCOMPARE(clBuffer.Write(clIn.TetraDown(1, downlinkKey), clSink), FILE_OK);
    QCOMPARE(clBuffer.Write(clIn.TetraUp(2, uplinkKey), clSink), FILE_OK);
    QCOMPARE(clBuffer.Write(clIn.TetraDown(3, laterDownlinkKey), clSink), FILE_OK);
    QVERIFY(clSink.m_clWritten.empty());
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QCOMPARE(Ids(clSink), output);
}

void TestOrderBuffer::fullSlotMessage_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("dmr") << int(KindDmr)
                         << QByteArray("CBrennovarstikFileFormatV1::Raw_WriteData_OrderDmrTmv_"
                                       "SaveSlot(): No free space for saving data!\n");
    QTest::newRow("gsm") << int(KindGsm)
                         << QByteArray("CBrennovarstikFileFormatV1::Raw_WriteData_OrderGsmTmv_"
                                       "SaveSlot(): No free space for saving data!\n");
}

void TestOrderBuffer::fullSlotMessage() {
    QFETCH(int, kind);
    QFETCH(QByteArray, message);
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;
    const qint64 lMs = 1700000000123LL;
    const quint64 lFileTime = 133000000000000000ULL;
    // The second record of a pair first, then the first, then one too many.
    const std::vector<RawRecord> clRecords =
        kind == KindDmr
            ? std::vector<RawRecord>{clIn.Dmr(1, 1, lMs), clIn.Dmr(2, 0, lMs), clIn.Dmr(3, 0, lMs)}
            : std::vector<RawRecord>{clIn.Gsm(1, 1, lFileTime), clIn.Gsm(2, 0, lFileTime),
                                     clIn.Gsm(3, 0, lFileTime)};

    CStdoutCapture clCapture(m_clDir.filePath("full.txt"));
    for (const RawRecord &clRecord : clRecords)
        QCOMPARE(clBuffer.Write(clRecord, clSink), FILE_OK);
    QCOMPARE(clCapture.Finish(), message);
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QCOMPARE(Ids(clSink), (QList<quint64>{2, 1}));
}

void TestOrderBuffer::dmrPlaceholder_data() {
    QTest::addColumn<qint64>("difference");
    QTest::addColumn<QList<quint64>>("output");
    QTest::newRow("20") << qint64(20) << QList<quint64>{1, 2, 3};
    QTest::newRow("21") << qint64(21) << QList<quint64>{1, 3, 2};
    QTest::newRow("25") << qint64(25) << QList<quint64>{1, 3, 2};
    QTest::newRow("39") << qint64(39) << QList<quint64>{1, 3, 2};
    QTest::newRow("40") << qint64(40) << QList<quint64>{1, 2, 3};
}

void TestOrderBuffer::dmrPlaceholder() {
    QFETCH(qint64, difference);
    QFETCH(QList<quint64>, output);
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;
    const qint64 lMs = 1700000000000LL;

    QCOMPARE(clBuffer.Write(clIn.Dmr(1, 0, lMs), clSink), FILE_OK);
    // A timeslot-1 record, then the timeslot-0 record 30 ms before it.
    QCOMPARE(clBuffer.Write(clIn.Dmr(2, 1, lMs + difference), clSink), FILE_OK);
    QCOMPARE(clBuffer.Write(clIn.Dmr(3, 0, lMs + difference - 30), clSink), FILE_OK);
    QVERIFY(clSink.m_clWritten.empty());
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QCOMPARE(Ids(clSink), output);
}

void TestOrderBuffer::dmrAltTime() {
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;
    const qint64 lMs = 1700000000500LL;

    // Keyed by the second time stamp: same slot as record 1 and no gap notice,
    // though the first time stamps lie 100 s apart.
    CStdoutCapture clCapture(m_clDir.filePath("alt.txt"));
    QCOMPARE(clBuffer.Write(clIn.Dmr(1, 0, lMs), clSink), FILE_OK);
    QCOMPARE(clBuffer.Write(clIn.Dmr(2, 0, lMs + 100000, lMs), clSink), FILE_OK);
    QCOMPARE(clBuffer.Write(clIn.Dmr(3, 0, lMs - 100000, lMs), clSink), FILE_OK);
    QCOMPARE(clCapture.Finish(), QByteArray("CBrennovarstikFileFormatV1::Raw_WriteData_OrderDmrTmv_"
                                            "SaveSlot(): No free space for saving data!\n"));
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QCOMPARE(Ids(clSink), (QList<quint64>{1, 2}));
}

void TestOrderBuffer::gsmDirectionRules_data() {
    QTest::addColumn<qint64>("difference");      // of the second direction-0 record
    QTest::addColumn<qint64>("probeDifference"); // of a direction-1 probe
    QTest::addColumn<QList<quint64>>("output");
    QTest::addColumn<bool>("probeLost");

    // Below 272 the record joins the current slot, which takes its key: the
    // probe with that key finds the slot full.
    QTest::newRow("271 same slot") << qint64(271) << qint64(271) << QList<quint64>{1, 2} << true;
    QTest::newRow("earlier same slot")
        << qint64(-100) << qint64(-100) << QList<quint64>{1, 2} << true;
    QTest::newRow("272 next slot")
        << qint64(272) << qint64(272) << QList<quint64>{1, 2, 3} << false;
    // Up to 11,810 no slot is kept for an earlier record.
    QTest::newRow("11810 next slot")
        << qint64(11810) << qint64(11810 - 11538) << QList<quint64>{1, 2, 3} << false;
    QTest::newRow("11811 placeholder")
        << qint64(11811) << qint64(11811 - 11538) << QList<quint64>{1, 3, 2} << false;
    QTest::newRow("50000 placeholder")
        << qint64(50000) << qint64(50000 - 11538) << QList<quint64>{1, 3, 2} << false;
}

void TestOrderBuffer::gsmDirectionRules() {
    QFETCH(qint64, difference);
    QFETCH(qint64, probeDifference);
    QFETCH(QList<quint64>, output);
    QFETCH(bool, probeLost);
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;
    const qint64 lBase = 133000000000000000LL;

    CStdoutCapture clCapture(m_clDir.filePath("gsm.txt"));
    QCOMPARE(clBuffer.Write(clIn.Gsm(1, 0, quint64(lBase)), clSink), FILE_OK);
    QCOMPARE(clBuffer.Write(clIn.Gsm(2, 0, quint64(lBase + difference)), clSink), FILE_OK);
    QCOMPARE(clBuffer.Write(clIn.Gsm(3, 1, quint64(lBase + probeDifference)), clSink), FILE_OK);
    QCOMPARE(clCapture.Finish(),
             probeLost ? QByteArray("CBrennovarstikFileFormatV1::Raw_WriteData_OrderGsmTmv_"
                                    "SaveSlot(): No free space for saving data!\n")
                       : QByteArray());
    QVERIFY(clSink.m_clWritten.empty());
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QCOMPARE(Ids(clSink), output);
}

void TestOrderBuffer::flushAllRingOrder_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("ring");
    QTest::addColumn<qint64>("step");
    QTest::addColumn<qint64>("farAway");
    QTest::newRow("tetra") << int(KindTetra) << 144 << qint64(1) << qint64(100000);
    QTest::newRow("dmr") << int(KindDmr) << 68 << qint64(60) << qint64(10000000);
    QTest::newRow("gsm") << int(KindGsm) << 208 << qint64(600) << qint64(10000000000LL);
}

void TestOrderBuffer::flushAllRingOrder() {
    QFETCH(int, kind);
    QFETCH(int, ring);
    QFETCH(qint64, step);
    QFETCH(qint64, farAway);
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;
    const quint64 lCount = quint64(ring) + 6;

    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QVERIFY(clSink.m_clWritten.empty());
    for (quint64 lId = 1; lId <= lCount; ++lId)
        QCOMPARE(clBuffer.Write(clIn.ByKind(kind, lId, qint64(lId - 1) * step), clSink), FILE_OK);
    // The ring holds the newest records; each new slot pushed the oldest out.
    QCOMPARE(Ids(clSink), Range(1, 6));
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QCOMPARE(Ids(clSink), Range(1, lCount));

    // Set up afresh in the same mode: no reference left to measure a gap from.
    const OrderMode enMode = clBuffer.Mode();
    QVERIFY(enMode != OrderMode::Idle);
    QCOMPARE(clBuffer.Write(clIn.ByKind(kind, lCount + 1, farAway), clSink), FILE_OK);
    QCOMPARE(clBuffer.Mode(), enMode);
    QCOMPARE(qsizetype(clSink.m_clWritten.size()), qsizetype(lCount));
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QCOMPARE(Ids(clSink), Range(1, lCount + 1));
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QCOMPARE(Ids(clSink), Range(1, lCount + 1));

    // Clearing drops what is held and makes the buffer idle.
    QCOMPARE(clBuffer.Write(clIn.ByKind(kind, lCount + 2, farAway), clSink), FILE_OK);
    clBuffer.Clear();
    QCOMPARE(clBuffer.Mode(), OrderMode::Idle);
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QCOMPARE(Ids(clSink), Range(1, lCount + 1));
}

void TestOrderBuffer::takesRecord_data() {
    QTest::addColumn<int>("prior"); // kind of a record written first, -1 none
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<int>("mode");

    QTest::newRow("tetra") << -1 << 0 << 1136 << true << int(OrderMode::Tetra);
    QTest::newRow("dmr") << -1 << 1 << 296 << true << int(OrderMode::Dmr);
    QTest::newRow("gsm") << -1 << 4 << 1344 << true << int(OrderMode::Gsm);
    QTest::newRow("tetra short") << -1 << 0 << 1135 << false << int(OrderMode::Idle);
    QTest::newRow("gsm 1000") << -1 << 4 << 1000 << false << int(OrderMode::Idle);
    QTest::newRow("tetra aux") << -1 << 3 << 1136 << false << int(OrderMode::Idle);
    QTest::newRow("notice") << -1 << 20 << 140 << false << int(OrderMode::Idle);
    QTest::newRow("generic") << -1 << 2 << 296 << false << int(OrderMode::Idle);
    QTest::newRow("dmr in tetra mode") << 0 << 1 << 296 << false << int(OrderMode::Tetra);
    QTest::newRow("tetra in gsm mode") << 4 << 0 << 1136 << false << int(OrderMode::Gsm);
    QTest::newRow("dmr long in dmr mode") << 1 << 1 << 297 << false << int(OrderMode::Dmr);
    QTest::newRow("dmr in dmr mode") << 1 << 1 << 296 << true << int(OrderMode::Dmr);
}

void TestOrderBuffer::takesRecord() {
    QFETCH(int, prior);
    QFETCH(int, kind);
    QFETCH(int, length);
    QFETCH(bool, taken);
    QFETCH(int, mode);
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;
    QCOMPARE(clBuffer.Mode(), OrderMode::Idle);
    if (prior >= 0)
        QCOMPARE(clBuffer.Write(clIn.ByKind(prior, 1, 0), clSink), FILE_OK);

    // Backed by the largest payload so that a wrong length never reads beyond it.
    RawRecord clRecord = clIn.Gsm(2, 0, 133000000000000000ULL);
    clRecord.payloadKind = uint8_t(kind);
    clRecord.payloadLength = uint32_t(length);
    QCOMPARE(clBuffer.TakesRecord(clRecord), taken);
    QCOMPARE(int(clBuffer.Mode()), mode);

    // A record the buffer does not take goes straight to the sink.
    if (!taken) {
        const size_t lBefore = clSink.m_clWritten.size();
        QCOMPARE(clBuffer.Write(clRecord, clSink), FILE_OK);
        QCOMPARE(clSink.m_clWritten.size(), lBefore + 1);
        QCOMPARE(clSink.m_clWritten.back().record.spare64, quint64(2));
        QCOMPARE(int(clBuffer.Mode()), mode);
    }
}

void TestOrderBuffer::recordCopy_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("tetra") << int(KindTetra);
    QTest::newRow("dmr") << int(KindDmr);
    QTest::newRow("gsm") << int(KindGsm);
}

void TestOrderBuffer::recordCopy() {
    QFETCH(int, kind);
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;
    RawRecord clRecord = clIn.ByKind(kind, 1, 0);
    clRecord.sourceByte = 0x7E;
    clRecord.frequency = 390012500;
    clRecord.symbolRate = 18000;
    clRecord.value16 = 0xBEEF;
    clRecord.spare32 = 0xCAFEBABE;
    // Fill the payload's tail bytes, away from the key fields.
    auto *pBytes = static_cast<uint8_t *>(clRecord.payload);
    for (uint32_t i = 200; i < clRecord.payloadLength; ++i)
        pBytes[i] = uint8_t(i * 7 + 3);
    const QByteArray clPayloadBefore(static_cast<const char *>(clRecord.payload),
                                     qsizetype(clRecord.payloadLength));

    QCOMPARE(clBuffer.Write(clRecord, clSink), FILE_OK);
    std::memset(pBytes + 200, 0, clRecord.payloadLength - 200);
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);

    QCOMPARE(clSink.m_clWritten.size(), size_t(1));
    const Captured &clOut = clSink.m_clWritten[0];
    QVERIFY(clOut.record.payload != clRecord.payload);
    QCOMPARE(clOut.record.recordClass, 2u);
    QCOMPARE(clOut.record.sourceByte, uint8_t(0x7E));
    QCOMPARE(clOut.record.frequency, uint64_t(390012500));
    QCOMPARE(clOut.record.symbolRate, 18000u);
    QCOMPARE(clOut.record.value16, uint16_t(0xBEEF));
    QCOMPARE(clOut.record.payloadKind, clRecord.payloadKind);
    QCOMPARE(clOut.record.payloadLength, clRecord.payloadLength);
    QCOMPARE(clOut.record.spare64, quint64(1));
    QCOMPARE(clOut.record.spare32, 0xCAFEBABEu);
    QCOMPARE(clOut.payload, clPayloadBefore);
}

void TestOrderBuffer::sinkResults_data() {
    QTest::addColumn<QList<qint64>>("offsets"); // DMR timeslot-0 records, ms from a base
    QTest::addColumn<QList<int>>("failures");   // id, result pairs
    QTest::addColumn<int>("noticeResult");
    QTest::addColumn<QList<int>>("writeResults");
    QTest::addColumn<int>("flushAllResult");

    QTest::newRow("flush-all failure")
        << QList<qint64>{0, 5000} << QList<int>{1, 5} << 0 << QList<int>{0, 5} << 0;
    QTest::newRow("notice failure not reported")
        << QList<qint64>{0, 5000} << QList<int>{} << 5 << QList<int>{0, 0} << 0;
    QTest::newRow("record failure beside notice failure")
        << QList<qint64>{0, 5000} << QList<int>{1, 5} << 8 << QList<int>{0, 5} << 0;
    QTest::newRow("flush-all last nonzero")
        << QList<qint64>{0, 60, 120} << QList<int>{1, 5, 2, 8} << 0 << QList<int>{0, 0, 0} << 8;
    QTest::newRow("flush-all keeps earlier nonzero")
        << QList<qint64>{0, 60} << QList<int>{1, 8} << 0 << QList<int>{0, 0} << 8;

    QList<qint64> clRing;
    QList<int> clResults;
    for (int i = 0; i < 69; ++i) {
        clRing.append(qint64(i) * 60);
        clResults.append(0);
    }
    clResults.last() = 5;
    QTest::newRow("slot pushed out of the ring")
        << clRing << QList<int>{1, 5} << 0 << clResults << 0;
}

void TestOrderBuffer::sinkResults() {
    QFETCH(QList<qint64>, offsets);
    QFETCH(QList<int>, failures);
    QFETCH(int, noticeResult);
    QFETCH(QList<int>, writeResults);
    QFETCH(int, flushAllResult);
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;
    for (int i = 0; i + 1 < failures.size(); i += 2)
        clSink.m_clResultById.insert(quint64(failures[i]), failures[i + 1]);
    clSink.m_enNoticeResult = FileResult(noticeResult);

    QList<int> clResults;
    for (int i = 0; i < offsets.size(); ++i)
        clResults.append(
            clBuffer.Write(clIn.Dmr(quint64(i + 1), 0, 1700000000000LL + offsets[i]), clSink));
    QCOMPARE(clResults, writeResults);
    QCOMPARE(int(clBuffer.FlushAll(clSink)), flushAllResult);
    // Every record still reaches the sink exactly once, failures or not.
    QList<quint64> clIds = Ids(clSink);
    clIds.removeAll(kNoticeId);
    QCOMPARE(clIds, Range(1, quint64(offsets.size())));
}

BVF_TEST_MAIN(TestOrderBuffer)
#include "test_order_buffer.moc"
