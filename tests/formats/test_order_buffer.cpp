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
#include <functional>
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

template <typename T> T As(const QByteArray &clBytes) {
    T clValue;
    std::memcpy(&clValue, clBytes.constData(), sizeof clValue);
    return clValue;
}

// Ids in output order; notices appear as kNoticeId, a record whose payload
// does not carry its id as kBadCopy.
QList<quint64> Ids(const CFakeSink &clSink) {
    QList<quint64> clIds;
    for (const Captured &c : clSink.m_clWritten) {
        const uint8_t k = c.record.payloadKind;
        const quint64 lId = k == PAYLOAD_TETRA ? quint64(As<TetraTmv>(c.payload).value1)
                            : k == PAYLOAD_DMR ? As<DmrTmv>(c.payload).value48
                            : k == PAYLOAD_GSM ? As<GsmTmv>(c.payload).value2
                                               : kBadCopy;
        clIds.append(k == PAYLOAD_NOTICE ? kNoticeId : lId == c.record.spare64 ? lId : kBadCopy);
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
        TetraTmv &t = m_clTetra.emplace_back();
        t.hyperframe = uint16_t(lHyperframe);
        t.multiframe = uint8_t(lMultiframe), t.frame = uint8_t(lFrame);
        t.timeslot = uint8_t(lTimeslot), t.direction = uint8_t(lDirection);
        t.burstType = int8_t(lBurstType), t.value1 = int32_t(lId);
        return Record(lId, PAYLOAD_TETRA, kTetraTmvLength, &t);
    }

    // A downlink record whose timeslot lies lKey timeslots after hyperframe 0,
    // multiframe 1, frame 1, timeslot 1.
    RawRecord TetraDown(quint64 lId, quint64 lKey) { return TetraAt(lId, lKey + 76, 0, -1); }

    // An uplink record keyed lKey: uplink numbering runs two timeslots ahead.
    RawRecord TetraUp(quint64 lId, quint64 lKey, int lBurstType = -1) {
        return TetraAt(lId, lKey < 2 ? lKey + kWrap + 74 : lKey + 74, 1, lBurstType);
    }

    RawRecord Dmr(quint64 lId, int lTimeslot, qint64 lMs, qint64 lAltMs = 0) {
        DmrTmv &d = m_clDmr.emplace_back();
        d.timeslot = uint8_t(lTimeslot), d.value48 = lId;
        d.timeSeconds = uint64_t(lMs / 1000), d.milliseconds = uint16_t(lMs % 1000);
        d.altTimeSeconds = uint64_t(lAltMs / 1000), d.altMilliseconds = uint16_t(lAltMs % 1000);
        return Record(lId, PAYLOAD_DMR, kDmrTmvLength, &d);
    }

    RawRecord Gsm(quint64 lId, int lDirection, quint64 lFileTime) {
        GsmTmv &g = m_clGsm.emplace_back();
        g.fileTime = lFileTime, g.direction = uint8_t(lDirection), g.value2 = lId;
        return Record(lId, PAYLOAD_GSM, kGsmTmvLength, &g);
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
        RawRecord r{};
        r.recordClass = 2, r.payloadKind = lKind, r.payloadLength = lLength;
        r.payload = pPayload, r.spare64 = lId;
        return r;
    }

    std::deque<TetraTmv> m_clTetra;
    std::deque<DmrTmv> m_clDmr;
    std::deque<GsmTmv> m_clGsm;
};

// What fnRun prints to standard output.
QByteArray Printed(const QString &clstrPath, const std::function<void()> &fnRun) {
    std::fflush(stdout);
    const int lSaved = dup(1);
    const int lFile =
        open(QFile::encodeName(clstrPath).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(lFile, 1);
    close(lFile);
    fnRun();
    std::fflush(stdout);
    dup2(lSaved, 1);
    close(lSaved);
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::ReadOnly) ? clFile.readAll() : QByteArray("<unreadable>");
}

// Checks a notice against the stored form worked out here from the plain
// text: zeros after it, then byte i combined with i + (i mod 4) + 0x5A. The
// offset is part of the stored format and must not drift.
void CheckNotice(const Captured &clOut, const QByteArray &clPlain) {
    const RawRecord &r = clOut.record;
    QCOMPARE(QList<quint64>({r.recordClass, r.sourceByte, r.frequency, r.symbolRate, r.value16,
                             r.payloadKind, r.payloadLength, quint64(clOut.payload.size())}),
             QList<quint64>({2, 0, 0, 0, 0, 20, 140, 140}));
    const NoticeTmv clNotice = As<NoticeTmv>(clOut.payload);
    QCOMPARE(QList<quint64>({clNotice.noticeType, clNotice.code, clNotice.value}),
             QList<quint64>({1, 10045, 0}));
    QByteArray clExpected = clPlain + QByteArray(128 - clPlain.size(), '\0');
    for (int i = 0; i < 128; ++i)
        clExpected[i] = char(clExpected[i] ^ char(i + i % 4 + 0x5A));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(clNotice.text), 128), clExpected);
}

// One step of a script: "t7:5000" a downlink TETRA record with id 7 keyed
// 5000, "u7:5000:38" an uplink one with burst type 38, "T7:10.1.1.1" a
// downlink one at hyperframe, multiframe, frame and timeslot, "d7:1:30" a DMR
// record of timeslot 1 at 30 ms (":35" more: its second time stamp), "g7:0:300"
// a GSM record of direction 0 at 300 time units, "|" FlushAll. DMR and GSM
// times count from fixed bases.
RawRecord ScriptRecord(CInputs &clIn, const QString &clstrStep) {
    const QStringList clParts = clstrStep.mid(1).split(':');
    const quint64 lId = clParts[0].toULongLong();
    const qint64 lA = clParts.value(1).toLongLong();
    const qint64 lB = clParts.value(2).toLongLong();
    switch (clstrStep[0].toLatin1()) {
    case 't':
        return clIn.TetraDown(lId, quint64(lA < 0 ? lA + qint64(kWrap) : lA));
    case 'u':
        return clIn.TetraUp(lId, quint64(lA < 0 ? lA + qint64(kWrap) : lA),
                            clParts.size() > 2 ? int(lB) : -1);
    case 'T': {
        const QStringList clAt = clParts[1].split('.');
        return clIn.TetraFields(lId, clAt[0].toInt(), clAt[1].toInt(), clAt[2].toInt(),
                                clAt[3].toInt(), 0);
    }
    case 'd':
        return clIn.Dmr(lId, int(lA), 1700000000000LL + lB,
                        clParts.size() > 3 ? 1700000000000LL + clParts[3].toLongLong() : 0);
    }
    return clIn.Gsm(lId, int(lA), quint64(133000000000000000LL + lB));
}

} // namespace

class TestOrderBuffer : public QObject {
    Q_OBJECT

  private slots:
    void rules_data();
    void rules();
    void flushAllRingOrder_data();
    void flushAllRingOrder();
    void takesRecord_data();
    void takesRecord();
    void sinkResults_data();
    void sinkResults();

  private:
    QTemporaryDir m_clDir;
};

void TestOrderBuffer::rules_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("written");   // ids as the sink gets them, N a notice, | the flush
    QTest::addColumn<QByteArray>("notice"); // the plain text of the notice
    QTest::addColumn<QByteArray>("printed");

    const QByteArray clDmrFull = "CBrennovarstikFileFormatV1::Raw_WriteData_OrderDmrTmv_SaveSlot():"
                                 " No free space for saving data!\n";
    const QByteArray clGsmFull = "CBrennovarstikFileFormatV1::Raw_WriteData_OrderGsmTmv_SaveSlot():"
                                 " No free space for saving data!\n";
    auto row = [](const char *pName, const char *pScript, const char *pWritten,
                  const QByteArray &clNotice = {}, const QByteArray &clPrinted = {}) {
        QTest::newRow(pName) << QString(pScript) << QString(pWritten) << clNotice << clPrinted;
    };
    // TETRA downlink: a gap of 144 timeslots or more either way flushes all
    // with a notice; the timeslot numbers wrap.
    row("TETRA 200 timeslots", "T1:10.1.1.1 T2:10.3.15.1 |", "N 1 | 2", "TETRA Flush buffer: 200");
    row("TETRA one hyperframe", "T1:10.1.1.1 T2:11.1.1.1 |", "N 1 | 2", "TETRA Flush buffer: 4320");
    row("TETRA 143 ahead", "T1:10.1.1.1 T2:10.2.18.4 |", "| 1 2");
    row("TETRA 144 ahead", "T1:10.1.1.1 T2:10.3.1.1 |", "N 1 | 2", "TETRA Flush buffer: 144");
    row("TETRA 144 back", "T1:10.3.1.1 T2:10.1.1.1 |", "N 1 | 2", "TETRA Flush buffer: -144");
    row("TETRA wrap forward", "T1:65535.60.18.4 T2:0.1.1.1 |", "| 1 2");
    row("TETRA wrap backward", "T1:0.1.1.1 T2:65535.60.18.4 |", "| 1 2");
    row("TETRA wrap forward 201", "T1:65535.60.18.4 T2:0.3.15.1 |", "N 1 | 2",
        "TETRA Flush buffer: 201");
    // Sub-slots: downlink first, then uplink by burst type; a full slot drops silently.
    row("TETRA every burst type",
        "u1:5000:38 u2:5000:37 u3:5000:36 u4:5000:35 u5:5000:34 u6:5000:32 u7:5000:22 u8:5000:21 "
        "u9:5000:20 "
        "u10:5000:19 u11:5000:18 u12:5000:7 t13:5000 t100:5001 |",
        "| 13 12 11 10 9 8 7 6 5 4 3 2 1 100");
    row("TETRA 33 shares 32's sub-slot", "u1:5000:33 u2:5000:32 t3:5000 u4:5000 t100:5001 |",
        "| 3 4 1 2 100");
    row("TETRA sub-slots wrap after 14", "u1:5000:38 u2:5000:38 t3:5000 |", "| 2 3 1");
    row("TETRA downlinks in arrival order", "t1:5000 t2:5000 u3:5000:0 |", "| 1 2 3");
    row("TETRA full slot",
        "u1:7000 u2:7000 u3:7000 u4:7000 u5:7000 u6:7000 u7:7000 u8:7000 u9:7000 u10:7000 u11:7000 "
        "u12:7000 "
        "u13:7000 u14:7000 u15:7000 u16:7000 |",
        "| 13 14 15 1 2 3 4 5 6 7 8 9 10 11 12");
    // An uplink two timeslots ahead keeps a slot for the downlink still to come.
    row("TETRA uplink two ahead", "t1:1000 u2:1002 t3:1001 |", "| 1 3 2");
    row("TETRA uplink three ahead", "t1:1000 u2:1003 t3:1001 |", "| 1 2 3");
    row("TETRA placeholder key wraps to the top", "t1:-2 u2:0 t3:-1 |", "| 1 3 2");
    row("TETRA placeholder key 0 across the wrap", "t1:-1 u2:1 t3:0 |", "| 1 3 2");
    // DMR: a gap of 2040 ms or more flushes all, never for timeslot 1; a
    // timeslot-1 record 21 to 39 ms ahead keeps a slot 30 ms back.
    row("DMR 2039", "d1:0:0 d2:0:2039 |", "| 1 2");
    row("DMR 2040", "d1:0:0 d2:0:2040 |", "N 1 | 2", "DMR Flush buffer: 2040");
    row("DMR -2040", "d1:0:0 d2:0:-2040 |", "N 1 | 2", "DMR Flush buffer: -2040");
    row("DMR beyond 32 bits", "d1:0:0 d2:0:5000000000 |", "N 1 | 2",
        "DMR Flush buffer: 5000000000");
    row("DMR timeslot 1 never", "d1:0:0 d2:1:5000 |", "| 1 2");
    row("DMR 20 ahead", "d1:0:0 d2:1:20 d3:0:-10 |", "| 1 2 3");
    row("DMR 21 ahead", "d1:0:0 d2:1:21 d3:0:-9 |", "| 1 3 2");
    row("DMR 39 ahead", "d1:0:0 d2:1:39 d3:0:9 |", "| 1 3 2");
    row("DMR 40 ahead", "d1:0:0 d2:1:40 d3:0:10 |", "| 1 2 3");
    row("DMR full slot", "d1:1:123 d2:0:123 d3:0:123 |", "| 2 1", {}, clDmrFull);
    // Keyed by the second time stamp: no gap, one slot.
    row("DMR second time stamp", "d1:0:500 d2:0:100500:500 d3:0:-99500:500 |", "| 1 2", {},
        clDmrFull);
    // GSM: direction 1 flushes all at a gap of 1,199,952; direction 0 joins
    // the current slot below 272 and keeps a slot back from 11,811 on.
    row("GSM 1199951", "g1:1:0 g2:1:1199951 |", "| 1 2");
    row("GSM 1199952", "g1:1:0 g2:1:1199952 |", "N 1 | 2", "GSM Flush buffer: 1199952");
    row("GSM -1199952", "g1:1:0 g2:1:-1199952 |", "N 1 | 2", "GSM Flush buffer: -1199952");
    row("GSM direction 0 never", "g1:1:0 g2:0:5000000 |", "| 1 2");
    row("GSM full slot", "g1:1:0 g2:0:0 g3:0:0 |", "| 2 1", {}, clGsmFull);
    row("GSM same key in the first slot", "g1:1:0 g2:1:0 |", "| 2 1");
    row("GSM 271 same slot", "g1:0:0 g2:0:271 g3:1:271 |", "| 1 2", {}, clGsmFull);
    row("GSM earlier same slot", "g1:0:0 g2:0:-100 g3:1:-100 |", "| 1 2", {}, clGsmFull);
    row("GSM 272 next slot", "g1:0:0 g2:0:272 g3:1:272 |", "| 1 2 3");
    row("GSM 11810 next slot", "g1:0:0 g2:0:11810 g3:1:272 |", "| 1 2 3");
    row("GSM 11811 placeholder", "g1:0:0 g2:0:11811 g3:1:273 |", "| 1 3 2");
    row("GSM 50000 placeholder", "g1:0:0 g2:0:50000 g3:1:38462 |", "| 1 3 2");
}

void TestOrderBuffer::rules() {
    QFETCH(QString, script);
    QFETCH(QString, written);
    QFETCH(QByteArray, notice);
    QFETCH(QByteArray, printed);
    CInputs clIn;
    CFakeSink clSink;
    COrderBuffer clBuffer;
    QVERIFY(clBuffer.HasStorage());
    QStringList clWritten;
    const QByteArray clPrinted = Printed(m_clDir.filePath("printed.txt"), [&] {
        for (const QString &clstrStep : script.split(' ')) {
            const size_t lBefore = clSink.m_clWritten.size();
            const FileResult enResult = clstrStep == "|"
                                            ? clBuffer.FlushAll(clSink)
                                            : clBuffer.Write(ScriptRecord(clIn, clstrStep), clSink);
            if (enResult != FILE_OK || clstrStep == "|")
                clWritten << (enResult != FILE_OK ? "E" + QString::number(enResult) : "|");
            const QList<quint64> clIds = Ids(clSink);
            for (size_t i = lBefore; i < clSink.m_clWritten.size(); ++i)
                clWritten << (clIds[qsizetype(i)] == kNoticeId
                                  ? QString("N")
                                  : QString::number(clIds[qsizetype(i)]));
        }
    });
    QCOMPARE(clPrinted, printed);
    QCOMPARE(clWritten.join(' '), written);
    if (!notice.isEmpty())
        CheckNotice(clSink.m_clWritten[0], notice);
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

    // A record is held as a copy: every field, every payload byte.
    RawRecord clRecord = clIn.ByKind(kind, 1, 0);
    clRecord.sourceByte = 0x7E, clRecord.frequency = 390012500, clRecord.symbolRate = 18000;
    clRecord.value16 = 0xBEEF, clRecord.spare32 = 0xCAFEBABE;
    auto *pBytes = static_cast<uint8_t *>(clRecord.payload);
    for (uint32_t i = 200; i < clRecord.payloadLength; ++i)
        pBytes[i] = uint8_t(i * 7 + 3);
    const QByteArray clPayload(static_cast<const char *>(clRecord.payload),
                               qsizetype(clRecord.payloadLength));
    auto fields = [](const RawRecord &r) {
        return QList<quint64>{r.recordClass,   r.sourceByte, r.frequency, r.symbolRate, r.value16,
                              r.payloadLength, r.spare64,    r.spare32,   r.payloadKind};
    };
    QCOMPARE(clBuffer.Write(clRecord, clSink), FILE_OK);
    std::memset(pBytes + 200, 0, clRecord.payloadLength - 200);
    QCOMPARE(clBuffer.FlushAll(clSink), FILE_OK);
    QCOMPARE(clSink.m_clWritten.size(), size_t(1));
    QVERIFY(clSink.m_clWritten[0].record.payload != clRecord.payload);
    QCOMPARE(fields(clSink.m_clWritten[0].record), fields(clRecord));
    QCOMPARE(clSink.m_clWritten[0].payload, clPayload);
    clSink.m_clWritten.clear();
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

void TestOrderBuffer::sinkResults_data() {
    QTest::addColumn<QList<qint64>>("offsets"); // DMR records, ms from a base
    QTest::addColumn<int>("pairAt");            // the one record of timeslot 1, -1 none
    QTest::addColumn<QList<int>>("failures");   // id, result pairs
    QTest::addColumn<int>("noticeResult");
    QTest::addColumn<QList<int>>("writeResults");
    QTest::addColumn<int>("flushAllResult");

    QTest::newRow("flush-all failure")
        << QList<qint64>{0, 5000} << -1 << QList<int>{1, 5} << 0 << QList<int>{0, 5} << 0;
    QTest::newRow("notice failure not reported")
        << QList<qint64>{0, 5000} << -1 << QList<int>{} << 5 << QList<int>{0, 0} << 0;
    QTest::newRow("record failure beside notice failure")
        << QList<qint64>{0, 5000} << -1 << QList<int>{1, 5} << 8 << QList<int>{0, 5} << 0;
    QTest::newRow("flush-all last nonzero")
        << QList<qint64>{0, 60, 120} << -1 << QList<int>{1, 5, 2, 8} << 0 << QList<int>{0, 0, 0}
        << 8;
    QTest::newRow("flush-all keeps earlier nonzero")
        << QList<qint64>{0, 60} << -1 << QList<int>{1, 8} << 0 << QList<int>{0, 0} << 8;

    // A full ring: each new slot pushes the oldest record out. A timeslot-1
    // record that keeps a slot back pushes out two, and the second one's
    // failure is what it answers.
    QList<qint64> clRing;
    QList<int> clResults;
    for (int i = 0; i < 69; ++i) {
        clRing.append(qint64(i) * 60);
        clResults.append(0);
    }
    clResults.last() = 5;
    QTest::newRow("slot pushed out of the ring")
        << clRing << -1 << QList<int>{1, 5} << 0 << clResults << 0;
    clRing.last() = 67 * 60 + 25;
    QTest::newRow("two slots pushed out for a pair")
        << clRing << 68 << QList<int>{2, 5} << 0 << clResults << 0;
}

void TestOrderBuffer::sinkResults() {
    QFETCH(QList<qint64>, offsets);
    QFETCH(int, pairAt);
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
        clResults.append(clBuffer.Write(
            clIn.Dmr(quint64(i + 1), i == pairAt ? 1 : 0, 1700000000000LL + offsets[i]), clSink));
    QCOMPARE(clResults, writeResults);
    QCOMPARE(int(clBuffer.FlushAll(clSink)), flushAllResult);
    // Every record still reaches the sink exactly once, failures or not.
    QList<quint64> clIds = Ids(clSink);
    clIds.removeAll(kNoticeId);
    QCOMPARE(clIds, Range(1, quint64(offsets.size())));
}

BVF_TEST_MAIN(TestOrderBuffer)
#include "test_order_buffer.moc"
