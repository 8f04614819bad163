// The writer's order buffer against a short model of its rule: one slot per
// key in a ring, records in sub-slots by preference; a new key takes the next
// slot and pushes the oldest out, a late record may keep a slot back for the
// one still to come, a wide gap flushes all with a notice. Random runs with
// ties, boundary gaps, full slots and rings, flushes and clears must reach the
// sink record by record as the model says, each record a whole copy.
#include "OrderBuffer.h"
#include "TestRegistry.h"

#include <QHash>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr qint64 kWrap = 283115520;

struct Rec {
    quint64 id;
    OrderMode mode; // Idle: not orderable
    qint64 key;
    int sub;      // preferred sub-slot
    bool late;    // TETRA uplink, DMR timeslot 1, GSM direction 0
    bool corrupt; // a key the buffer cannot hold
};

struct Rule {
    size_t ring, subs;
    qint64 gap;
    const char *name;
};
const Rule kRules[] = {
    {0, 0, 0, ""}, {144, 15, 144, "TETRA"}, {68, 2, 2040, "DMR"}, {208, 2, 1199952, "GSM"}};

struct Slot {
    bool keyed = false;
    qint64 key = 0;
    std::vector<qint64> ids;
};

class CModel {
  public:
    OrderMode mode = OrderMode::Idle;
    std::deque<Slot> ring; // back: the current slot
    QStringList out;
    QByteArray printed;

    void Flush() {
        for (Slot &s : ring)
            Emit(s);
    }
    void Write(const Rec &r) {
        if (r.mode != OrderMode::Idle && mode == OrderMode::Idle) {
            mode = r.mode;
            ring.assign(kRules[int(mode)].ring, Slot{false, 0, {}});
            for (Slot &s : ring)
                s.ids.assign(kRules[int(mode)].subs, -1);
        }
        if (r.mode == OrderMode::Idle || r.mode != mode || r.corrupt) {
            out << QString::number(r.id);
            return;
        }
        const bool keyed = ring.back().keyed;
        const qint64 d = r.key - ring.back().key;
        if (!r.late && keyed && qAbs(d) >= kRules[int(mode)].gap) {
            out << QString("N%1 Flush buffer: %2").arg(kRules[int(mode)].name).arg(d);
            Flush();
        }
        Slot *pFound = mode == OrderMode::Gsm && r.late ? nullptr : Find(r.key);
        if (mode == OrderMode::Gsm && r.late && keyed && d < 272)
            pFound = &ring.back();
        if (pFound != nullptr)
            return Save(*pFound, r);
        qint64 lBack = 0;
        if (r.late && mode == OrderMode::Tetra && keyed && d == 2)
            lBack = 1;
        if (r.late && mode == OrderMode::Dmr && keyed && d >= 21 && d <= 39)
            lBack = 30;
        if (r.late && mode == OrderMode::Gsm && (!keyed || d >= 11811))
            lBack = 11538;
        Advance();
        if (lBack != 0) {
            ring.back().keyed = true, ring.back().key = r.key - lBack;
            Advance();
        }
        Save(ring.back(), r);
    }

  private:
    Slot *Find(qint64 lKey) {
        if (ring.back().keyed && ring.back().key == lKey)
            return &ring.back();
        for (Slot &s : ring)
            if (s.keyed && s.key == lKey)
                return &s;
        return nullptr;
    }
    void Save(Slot &s, const Rec &r) {
        for (size_t n = 0; n < s.ids.size(); ++n) {
            qint64 &lId = s.ids[(size_t(r.sub) + n) % s.ids.size()];
            if (lId < 0) {
                lId = qint64(r.id), s.keyed = true, s.key = r.key;
                return;
            }
        }
        if (mode != OrderMode::Tetra) // TETRA drops silently
            printed += QByteArray("CBrennovarstikFileFormatV1::Raw_WriteData_Order") +
                       (mode == OrderMode::Dmr ? "Dmr" : "Gsm") +
                       "Tmv_SaveSlot(): No free space for saving data!\n";
    }
    void Emit(Slot &s) {
        for (qint64 &lId : s.ids)
            if (lId >= 0)
                out << QString::number(std::exchange(lId, -1));
        s.keyed = false;
    }
    void Advance() {
        Emit(ring.front());
        ring.push_back(std::move(ring.front()));
        ring.pop_front();
    }
};

QList<quint64> Fields(const RawRecord &r) {
    return {r.recordClass, r.sourceByte,    r.frequency, r.symbolRate, r.value16,
            r.payloadKind, r.payloadLength, r.spare64,   r.spare32};
}

// Answers 5 or 8 for some records and 9 for every notice, which the buffer
// must never pass on; `last` is the last nonzero answer for a record.
class CSink final : public COrderBufferSink {
  public:
    FileResult WriteDirect(const RawRecord &r) override {
        const QByteArray clPayload(static_cast<const char *>(r.payload), r.payloadLength);
        if (r.spare64 == 0) { // input ids start at 1
            NoticeTmv n;
            std::memcpy(&n, clPayload.constData(), sizeof n);
            QByteArray clText(128, '\0');
            for (int i = 0; i < 128; ++i) // the stored scramble: i + i mod 4 + 0x5A
                clText[i] = char(n.text[i] ^ uint8_t(i + i % 4 + 0x5A));
            const QByteArray clPlain = clText.left(clText.indexOf('\0'));
            const bool bOk = Fields(r) == QList<quint64>{2, 0, 0, 0, 0, 20, 140, 0, 0} &&
                             n.noticeType == 1 && n.code == 10045 && n.value == 0 &&
                             clText == clPlain + QByteArray(128 - clPlain.size(), '\0');
            out << "N" + QString(clPlain) + (bOk ? "" : " malformed");
            return FileResult(9);
        }
        const bool bWhole =
            Fields(r) == fields.value(r.spare64) && clPayload == payloads.value(r.spare64);
        out << (bWhole ? "" : "broken ") + QString::number(r.spare64);
        const int lResult = r.spare64 % 7 == 0 ? 5 : r.spare64 % 11 == 0 ? 8 : 0;
        last = lResult != 0 ? lResult : last;
        return FileResult(lResult);
    }

    QStringList out;
    QHash<quint64, QList<quint64>> fields;
    QHash<quint64, QByteArray> payloads;
    int last = 0;
};

// Runs fnRun with standard output going to a file; answers what it printed.
template <typename F> QByteArray Printed(F fnRun) {
    QTemporaryFile clFile;
    if (!clFile.open())
        return "<no file>";
    std::fflush(stdout);
    const int lSaved = dup(1);
    dup2(clFile.handle(), 1);
    fnRun();
    std::fflush(stdout);
    dup2(lSaved, 1);
    close(lSaved);
    clFile.seek(0);
    return clFile.readAll();
}

} // namespace

class TestOrderBuffer : public QObject {
    Q_OBJECT

  private slots:
    void matchesModel();
};

void TestOrderBuffer::matchesModel() {
    // Gaps at and beside every limit of the rule, relative to the current slot.
    const QList<qint64> clEdges[] = {
        {},
        {143, 144, -143, -144, 200, 4320, 2, 3, 1, -1},
        {2039, 2040, -2039, -2040, 5000000000, 20, 21, 30, 39, 40, -9, 10},
        {1199951, 1199952, -1199951, -1199952, 271, 272, 11810, 11811, 50000, -100}};
    const qint64 kUnit[] = {0, 1, 30, 300};
    for (quint32 lSeed = 0; lSeed < 60; ++lSeed) {
        QRandomGenerator g(lSeed);
        const OrderMode enMain = OrderMode(lSeed % 3 + 1);
        CModel clModel;
        CSink clSink;
        COrderBuffer clBuffer;
        alignas(8) uint8_t acScratch[1400];
        qint64 lKey = enMain == OrderMode::Tetra ? kWrap - qint64(g.bounded(400)) * (lSeed % 2)
                      : enMain == OrderMode::Dmr ? 1700000000000LL
                                                 : 133000000000000000LL;
        quint64 lId = 0;
        auto record = [&](OrderMode m, qint64 lAt, bool bLate) {
            Rec r{++lId, m, lAt, 0, bLate, g.bounded(100) == 0 && m != OrderMode::Tetra};
            static const uint8_t kKind[] = {3, 0, 1, 4}, kOther[] = {3, 20, 2};
            static const uint32_t kLength[] = {296, kTetraTmvLength, kDmrTmvLength, kGsmTmvLength};
            RawRecord raw{2,
                          uint8_t(g.generate()),
                          g.generate64(),
                          g.generate(),
                          uint16_t(g.generate()),
                          kKind[int(m)],
                          kLength[int(m)],
                          acScratch,
                          lId,
                          g.generate()};
            g.fillRange(reinterpret_cast<quint32 *>(acScratch), sizeof acScratch / 4);
            if (m == OrderMode::Idle && g.bounded(2))
                raw.payloadKind = kOther[g.bounded(3)];
            else if (m == OrderMode::Idle)
                raw.payloadKind = kKind[1 + g.bounded(3)], raw.payloadLength = 1135;
            if (m == OrderMode::Tetra) {
                auto &t = *reinterpret_cast<TetraTmv *>(acScratch);
                qint64 s = ((lAt + (bLate ? 74 : 76)) % kWrap + kWrap) % kWrap;
                s = (s < 76 ? s + kWrap : s) - 4; // hyperframe 65536 is 0 again
                const qint64 q = s / 72 - 1;
                t.hyperframe = uint16_t(q / 60), t.multiframe = uint8_t(q % 60 + 1);
                t.frame = uint8_t(s % 72 / 4 + 1), t.timeslot = uint8_t(s % 4 + 1);
                t.direction = bLate, t.burstType = int8_t(g.bounded(-1, 40));
                const int b = t.burstType;
                r.sub = !bLate               ? 0
                        : b >= 18 && b <= 22 ? b - 14
                        : b >= 32 && b <= 38 ? std::max(9, b - 24)
                                             : 3;
            } else if (m == OrderMode::Dmr) {
                auto &d = *reinterpret_cast<DmrTmv *>(acScratch);
                d.timeslot = bLate ? 1 : uint8_t(g.bounded(2) * 2), r.sub = bLate;
                const bool bAlt = g.bounded(3) == 0;
                const quint64 lStamp = bAlt ? g.bounded(1u << 30) : quint64(lAt);
                d.timeSeconds = r.corrupt ? 9223372036854775ULL : lStamp / 1000;
                d.milliseconds = r.corrupt ? 807 : uint16_t(lStamp % 1000);
                d.altTimeSeconds = bAlt && !r.corrupt ? quint64(lAt) / 1000 : 0;
                d.altMilliseconds = uint16_t(bAlt ? lAt % 1000 : g.bounded(1000));
            } else if (m == OrderMode::Gsm) {
                auto &gsm = *reinterpret_cast<GsmTmv *>(acScratch);
                gsm.fileTime = r.corrupt ? ~0ULL : quint64(lAt);
                gsm.direction = bLate ? 0 : uint8_t(1 + g.bounded(2)), r.sub = gsm.direction == 1;
            }
            clSink.fields.insert(lId, Fields(raw));
            clSink.payloads.insert(
                lId, QByteArray(reinterpret_cast<char *>(acScratch), qsizetype(raw.payloadLength)));
            clSink.last = 0;
            const FileResult enResult = clBuffer.Write(raw, clSink);
            std::memset(acScratch, 0xEE, sizeof acScratch); // the buffer holds copies
            clModel.Write(r);
            clSink.out << QString("=%1 %2").arg(enResult).arg(int(clBuffer.Mode()));
            clModel.out << QString("=%1 %2").arg(clSink.last).arg(int(clModel.mode));
        };
        const QByteArray clPrinted = Printed([&] {
            for (int lStep = 0; lStep < 700; ++lStep) {
                const quint32 u = g.bounded(300);
                if (u < 2) {
                    clSink.last = 0;
                    const FileResult enResult = clBuffer.FlushAll(clSink);
                    clModel.Flush();
                    clSink.out << QString("=%1 %2").arg(enResult).arg(int(clBuffer.Mode()));
                    clModel.out << QString("=%1 %2").arg(clSink.last).arg(int(clModel.mode));
                } else if (u == 2) {
                    clBuffer.Clear();
                    clModel.ring.clear(), clModel.mode = OrderMode::Idle;
                } else if (u < 12) {
                    record(OrderMode(g.bounded(4)), lKey, false);
                } else {
                    const bool bRef = clModel.mode == enMain && clModel.ring.back().keyed;
                    const QList<qint64> &clEdge = clEdges[int(enMain)];
                    lKey = (bRef ? clModel.ring.back().key : lKey) +
                           (g.bounded(8) == 0 ? clEdge[g.bounded(clEdge.size())]
                                              : g.bounded(-3, 5) * kUnit[int(enMain)]);
                    const int lCount = g.bounded(16) == 0 ? 17 : 1 + g.bounded(2);
                    for (int i = 0; i < lCount; ++i)
                        record(enMain, lKey, g.bounded(5) < 2);
                }
            }
        });
        QCOMPARE(clSink.out, clModel.out);
        QCOMPARE(clPrinted, clModel.printed);
    }
}

BVF_TEST_MAIN(TestOrderBuffer)
#include "test_order_buffer.moc"
