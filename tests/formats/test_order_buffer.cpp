// The order buffer against a short model of its rule (one ring slot per key,
// sub-slots by preference, placeholders, flush-all on wide gaps) over random
// runs: the sink must get each record whole and in the model's order.
#include "OrderBuffer.h"
#include "TestRegistry.h"

#include <QRandomGenerator>
#include <QTemporaryFile>

#include <cstdio>
#include <cstring>
#include <deque>
#include <unistd.h>

namespace {

constexpr qint64 kWrap = 283115520, kNoKey = -1;

// A record's id, a field and its payload in one word (with a colon): a broken copy shows.
QString Token(const RawRecord &r) {
    const QByteArray clPayload(static_cast<const char *>(r.payload), r.payloadLength);
    return QString("%1:%2:%3").arg(r.spare64).arg(r.frequency).arg(qHash(clPayload));
}

struct Slot {
    qint64 key = kNoKey;
    QStringList held; // by sub-slot, empty when free
};

struct CModel {
    OrderMode mode = OrderMode::Idle;
    std::deque<Slot> ring; // back: the current slot
    QStringList out;
    QByteArray printed;

    // A record of mode m (Idle: not orderable) keyed lKey, preferring sub-slot lSub; late:
    // TETRA uplink, DMR timeslot 1, GSM direction 0.
    void Write(const QString &clstrRecord, OrderMode m, qint64 lKey, int lSub, bool bLate) {
        static const int kRing[] = {0, 144, 68, 208}, kGap[] = {0, 144, 2040, 1199952};
        static const char *kName[] = {"", "TETRA", "DMR", "GSM"};
        if (m != OrderMode::Idle && mode == OrderMode::Idle) {
            mode = m;
            ring.assign(size_t(kRing[int(m)]),
                        {kNoKey, QStringList(m == OrderMode::Tetra ? 15 : 2)});
        }
        if (m == OrderMode::Idle || m != mode)
            return void(out << clstrRecord);
        const bool keyed = ring.back().key != kNoKey;
        const qint64 d = lKey - ring.back().key;
        if (!bLate && keyed && qAbs(d) >= kGap[int(mode)])
            out << QString("N%1 Flush buffer: %2").arg(kName[int(mode)]).arg(d), Flush();
        const bool bGsmLate = mode == OrderMode::Gsm && bLate;
        Slot *pFound = bGsmLate ? (keyed && d < 272 ? &ring.back() : nullptr) : Find(lKey);
        if (pFound != nullptr)
            return Save(*pFound, clstrRecord, lKey, lSub);
        const qint64 lBack = !bLate                     ? 0
                             : mode == OrderMode::Tetra ? keyed && d == 2
                             : mode == OrderMode::Dmr   ? 30 * (keyed && d >= 21 && d <= 39)
                                                        : 11538 * (!keyed || d >= 11811);
        Advance();
        if (lBack != 0)
            ring.back().key = lKey - lBack, Advance();
        Save(ring.back(), clstrRecord, lKey, lSub);
    }
    Slot *Find(qint64 lKey) { // the current slot first, then the oldest on
        for (size_t n = 0; n <= ring.size(); ++n)
            if (Slot &s = ring[(n + ring.size() - 1) % ring.size()]; s.key == lKey)
                return &s;
        return nullptr;
    }
    void Save(Slot &s, const QString &clstrRecord, qint64 lKey, int lSub) { // full: dropped
        for (qsizetype n = 0; n < s.held.size(); ++n)
            if (QString &clstrHeld = s.held[(lSub + n) % s.held.size()]; clstrHeld.isEmpty())
                return void((clstrHeld = clstrRecord, s.key = lKey));
        if (mode != OrderMode::Tetra) // silently there
            printed += QByteArray("CBrennovarstikFileFormatV1::Raw_WriteData_Order") +
                       (mode == OrderMode::Dmr ? "Dmr" : "Gsm") +
                       "Tmv_SaveSlot(): No free space for saving data!\n";
    }
    void Emit(Slot &s) { out << s.held.filter(":"), s = {kNoKey, QStringList(s.held.size())}; }
    void Flush() {
        for (Slot &s : ring)
            Emit(s);
    }
    void Advance() { Emit(ring.front()), ring.push_back(ring.front()), ring.pop_front(); }
};

// Answers 5 or 8 for some records and 9 for every notice, which the buffer
// must never pass on; `last` is the last nonzero answer for a record.
struct CSink final : COrderBufferSink {
    FileResult WriteDirect(const RawRecord &r) override {
        if (r.spare64 != 0) { // input ids start at 1
            const int lResult = r.spare64 % 7 == 0 ? 5 : r.spare64 % 11 == 0 ? 8 : 0;
            out << Token(r), last = lResult != 0 ? lResult : last;
            return FileResult(lResult);
        }
        const auto &n = *static_cast<const NoticeTmv *>(r.payload);
        QByteArray clText(128, '\0');
        for (int i = 0; i < 128; ++i) // the stored scramble: i + i mod 4 + 0x5A
            clText[i] = char(n.text[i] ^ uint8_t(i + i % 4 + 0x5A));
        const QByteArray clPlain(clText.constData()); // zeros must follow it
        const bool bOk = r.recordClass == 2 && r.payloadKind == 20 && r.payloadLength == 140 &&
                         r.frequency == 0 && n.noticeType == 1 && n.code == 10045 && n.value == 0 &&
                         clText == clPlain.leftJustified(128, '\0');
        out << "N" + QString(clPlain) + (bOk ? "" : " malformed");
        return FileResult(9);
    }

    QStringList out;
    int last = 0;
};

} // namespace

class TestOrderBuffer : public QObject {
    Q_OBJECT

  private slots:
    void matchesModel();
};

void TestOrderBuffer::matchesModel() {
    // Gaps at and beside every limit of the rule, relative to the current slot (0 pads).
    const QList<qint64> clEdges[] = {
        {143, 144, -143, -144, 200, 4320, 2, 3, 1, -1},
        {2039, 2040, -2039, -2040, 5000000000, 20, 21, 30, 39, 40, -9, 10},
        {1199951, 1199952, -1199951, -1199952, 271, 272, 11810, 11811, 50000, -100}};
    const qint64 kUnit[] = {0, 1, 30, 300}, kBack[] = {0, 1, 30, 11538};
    const qint64 kBase[] = {0, kWrap, 1700000000000LL, 133000000000000000LL}; // TETRA: at the wrap
    static const uint8_t kKind[] = {3, 0, 1, 4}, kOther[] = {3, 20, 2, 0, 1, 4};
    static const uint32_t kLength[] = {296, kTetraTmvLength, kDmrTmvLength, kGsmTmvLength};
    for (quint32 lSeed = 0; lSeed < 60; ++lSeed) {
        QRandomGenerator g(lSeed);
        const OrderMode enMain = OrderMode(lSeed % 3 + 1);
        CModel clModel;
        CSink clSink;
        COrderBuffer clBuffer;
        alignas(8) uint8_t acScratch[1400];
        qint64 lKey = kBase[int(enMain)] - qint64(g.bounded(400)) * (lSeed % 2);
        quint64 lId = 0;
        auto answered = [&](FileResult enResult) {
            clSink.out << QString("=%1 %2").arg(enResult).arg(int(clBuffer.Mode()));
            clModel.out << QString("=%1 %2").arg(clSink.last).arg(int(clModel.mode));
            clSink.last = 0;
        };
        auto record = [&](OrderMode m, qint64 lAt, bool bLate) {
            int lSub = 0; // preferred sub-slot
            RawRecord raw{2, 7, ++lId * 3, 0, 0, kKind[int(m)], kLength[int(m)], acScratch, lId, 0};
            g.fillRange(reinterpret_cast<quint32 *>(acScratch), sizeof acScratch / 4);
            if (m == OrderMode::Idle) // not orderable: kind or length
                raw.payloadKind = kOther[g.bounded(6)], raw.payloadLength = 1135;
            if (m == OrderMode::Tetra) {
                auto &t = *reinterpret_cast<TetraTmv *>(acScratch);
                const qint64 s = ((lAt - (bLate ? 2 : 0)) % kWrap + kWrap) % kWrap;
                t.hyperframe = uint16_t(s / 4320), t.multiframe = uint8_t(s % 4320 / 72 + 1);
                t.frame = uint8_t(s % 72 / 4 + 1), t.timeslot = uint8_t(s % 4 + 1);
                t.direction = bLate, t.burstType = int8_t(g.bounded(-1, 40));
                const int b = t.burstType;
                lSub = !bLate               ? 0
                       : b >= 18 && b <= 22 ? b - 14
                       : b >= 32 && b <= 38 ? (b < 34 ? 9 : b - 24)
                                            : 3;
            } else if (m == OrderMode::Dmr) { // keyed by the second time stamp when set
                auto &d = *reinterpret_cast<DmrTmv *>(acScratch);
                d.timeslot = bLate ? 1 : uint8_t(g.bounded(2) * 2), lSub = bLate;
                const quint64 lAlt = g.bounded(3) == 0 ? quint64(lAt) / 1000 : 0;
                d.timeSeconds = lAlt ? 77 : lAt / 1000, d.milliseconds = uint16_t(lAt % 1000);
                d.altTimeSeconds = lAlt, d.altMilliseconds = uint16_t(lAt % 1000);
            } else if (m == OrderMode::Gsm) {
                auto &gsm = *reinterpret_cast<GsmTmv *>(acScratch);
                gsm.fileTime = quint64(lAt);
                gsm.direction = bLate ? 0 : uint8_t(1 + g.bounded(2)), lSub = gsm.direction == 1;
            }
            const QString clstrRecord = Token(raw);
            const FileResult enResult = clBuffer.Write(raw, clSink);
            std::memset(acScratch, 0xEE, sizeof acScratch); // the buffer holds copies
            clModel.Write(clstrRecord, m, lAt, lSub, bLate);
            answered(enResult);
        };
        QTemporaryFile clPrinted; // what the buffer prints goes here
        QVERIFY(clPrinted.open());
        std::fflush(stdout);
        const int lStdout = dup(1);
        dup2(clPrinted.handle(), 1);
        for (int lStep = 0; lStep < 700; ++lStep) {
            const quint32 u = g.bounded(300);
            if (u < 2)
                clModel.Flush(), answered(clBuffer.FlushAll(clSink));
            else if (u == 2)
                clBuffer.Clear(), clModel.ring.clear(), clModel.mode = OrderMode::Idle;
            else if (u < 12)
                record(OrderMode(g.bounded(4)), lKey, false);
            else {
                const bool bRef = clModel.mode == enMain && clModel.ring.back().key != kNoKey;
                lKey = (bRef ? clModel.ring.back().key : lKey) +
                       (u % 8 == 0  ? clEdges[int(enMain) - 1].value(g.bounded(12))
                        : u % 8 < 3 ? -kBack[int(enMain)] // a placeholder's key
                                    : g.bounded(-3, 5) * kUnit[int(enMain)]);
                const int lCount = g.bounded(16) == 0 ? 17 : 1 + g.bounded(2);
                for (int i = 0; i < lCount; ++i)
                    record(enMain, lKey, g.bounded(5) < 2);
            }
        }
        dup2(lStdout, 1), close(lStdout);
        QCOMPARE(clSink.out, clModel.out);
        QVERIFY(clPrinted.seek(0));
        QCOMPARE(clPrinted.readAll(), clModel.printed);
    }
}

BVF_TEST_MAIN(TestOrderBuffer)
#include "test_order_buffer.moc"
