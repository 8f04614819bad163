// Round trips over generated recordings of every kind the tool reads: for
// every split mode, the parts together hold exactly the source's records as
// the container stores them, each once, in order, byte for byte apart from
// the asked-for time and frequency changes, and each part holds the records
// the cut rule gives it. A split by number merged again gives back the
// source's records.
#include "MergeTestKit.h"
#include "ReliabilityTestKit.h"
#include "TestRegistry.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace ReliabilityTestKit;
using namespace MergeTestKit;

Q_DECLARE_METATYPE(ReliabilityTestKit::SourceKind)
Q_DECLARE_METATYPE(ReliabilityTestKit::SourceShape)
Q_DECLARE_METATYPE(StructSplitSettings)

namespace {

using PartIndexes = QList<QList<int>>;

// Which records each part gets, by the cut rules stated plainly: by time a
// record at or after the boundary opens the next part, whose boundary
// follows from that record's own time; by period the records from the first
// one at or after the start until the first one after the end. lFirst is the
// source's first time as the scan found it, moved by the offset. By number
// the parts are not modelled here (only their order and their count).
PartIndexes ExpectedParts(const QList<std::optional<int64_t>> &clTimes,
                          const StructSplitSettings &clSettings, int64_t lFirst) {
    PartIndexes clParts{{}};
    if (clSettings.mode == SPLIT_BY_TIME) {
        const int64_t L = clSettings.partLength;
        auto fnBoundary = [&](int64_t t) { return clSettings.alignToUnit ? t - t % L + L : t + L; };
        int64_t lCut = fnBoundary(lFirst);
        for (int i = 0; i < clTimes.size(); ++i) {
            const int64_t t = clTimes[i].value_or(0);
            if (t >= lCut) {
                clParts.append(QList<int>());
                lCut = fnBoundary(t);
            }
            clParts.last() << i;
        }
    } else if (clSettings.mode == SPLIT_BY_PERIOD) {
        bool bStarted = false;
        for (int i = 0; i < clTimes.size(); ++i) {
            if (!clTimes[i]) {
                if (bStarted)
                    clParts.last() << i;
                continue;
            }
            const int64_t t = *clTimes[i];
            if (!bStarted && t < clSettings.periodStart)
                continue;
            bStarted = true;
            if (t > clSettings.periodEnd)
                break;
            clParts.last() << i;
        }
    }
    return clParts;
}

const QList<std::pair<const char *, SourceKind>> kKinds = {
    {"container v3 from the generator", SourceKind::SampleV3},
    {"container v1 built", SourceKind::BuiltV1},
    {"container v2 built", SourceKind::BuiltV2},
    {".tmw", SourceKind::Tmw},
    {".lan TETRA", SourceKind::LanTetra},
    {".lan DMR", SourceKind::LanDmr},
};

SourceShape ShapeFor(int lKindIndex) {
    SourceShape clShape;
    clShape.seed = 11 + uint64_t(lKindIndex) * 7;
    clShape.start += lKindIndex * 97;
    clShape.minutes = 120 + lKindIndex * 9;
    return clShape;
}

} // namespace

class TestRoundTrip : public QObject {
    Q_OBJECT

  private slots:
    void init();

    void partsHoldTheConvertedRecords_data();
    void partsHoldTheConvertedRecords();
    void splitByNumberThenMerge_data();
    void splitByNumberThenMerge();

  private:
    QString SourcePath(SourceKind enKind) const {
        return m_pDir->filePath(QStringLiteral("rec/") + SourceFileName(enKind));
    }
    QStringList Parts(SourceKind enKind) const {
        QStringList clPaths;
        for (const QString &clstrName :
             FilesIn(m_pDir->filePath(QStringLiteral("rec")), {SourceFileName(enKind)}))
            clPaths << m_pDir->filePath(QStringLiteral("rec/") + clstrName);
        return clPaths;
    }

    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestRoundTrip::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
    QVERIFY(QDir(m_pDir->path()).mkdir(QStringLiteral("rec")));
}

void TestRoundTrip::partsHoldTheConvertedRecords_data() {
    QTest::addColumn<SourceKind>("kind");
    QTest::addColumn<SourceShape>("shape");
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<qlonglong>("offset"); // the protocol offset the scan would have found

    for (int k = 0; k < kKinds.size(); ++k) {
        const SourceShape clShape = ShapeFor(k);
        const char *pKind = kKinds[k].first;
        const SourceKind enKind = kKinds[k].second;
        QTest::addRow("%s, by time, 7 minutes", pKind)
            << enKind << clShape << ByTime(420, false, 1) << 0LL;
        QTest::addRow("%s, whole hours", pKind)
            << enKind << clShape << ByTime(3600, true, 1) << 0LL;
        QTest::addRow("%s, by period", pKind)
            << enKind << clShape
            << ByPeriod(clShape.start + 2417, clShape.start + 2417 + 3300 + k * 61, 1) << 0LL;
        QTest::addRow("%s, into %d parts", pKind, 3 + k)
            << enKind << clShape << ByNumber(uint32_t(3 + k), 1) << 0LL;
        // The offset and the frequency correction, in the mode whose
        // boundaries follow the moved times and in one that does not cut by time.
        StructSplitSettings clChanged = ByTime(1800, true, 1);
        clChanged.applyOffset = true;
        clChanged.correctFrequency = true;
        clChanged.frequencyHz = 390012500;
        QTest::addRow("%s, half hours, moved back 2 h 13 s, frequency set", pKind)
            << enKind << clShape << clChanged << -7213LL;
        StructSplitSettings clNumberChanged = ByNumber(4, 1);
        clNumberChanged.applyOffset = true;
        QTest::addRow("%s, into 4 parts, moved on 1 day", pKind)
            << enKind << clShape << clNumberChanged << 86400LL;
    }
}

void TestRoundTrip::partsHoldTheConvertedRecords() {
    QFETCH(SourceKind, kind);
    QFETCH(SourceShape, shape);
    QFETCH(StructSplitSettings, settings);
    QFETCH(qlonglong, offset);

    const QString clstrSource = SourcePath(kind);
    QVERIFY(WriteSource(kind, clstrSource, shape));
    IntendedChanges clChanges;
    clChanges.offset = settings.applyOffset ? offset : 0;
    if (settings.correctFrequency)
        clChanges.frequencyHz = settings.frequencyHz;
    const ConvertedSource clExpected =
        Converted(clstrSource, m_pDir->filePath(QStringLiteral("reference.bvf")), clChanges);
    QVERIFY2(clExpected.problem.isEmpty(), qPrintable(clExpected.problem));
    QVERIFY(clExpected.frames.frames.size() > 1000);

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrSource), 1000);
    clRig.source.offset = offset;
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(clRig.events.Questions(), QStringList());
    QCOMPARE(clRig.events.Errors(), QStringList());

    const QStringList clParts = Parts(kind);
    if (settings.mode == SPLIT_BY_NUMBER) {
        QCOMPARE(clParts.size(), qsizetype(settings.partCount));
        QCOMPARE(CompareParts(clParts, clExpected.frames.header, clExpected.frames.frames),
                 QString());
        for (const QString &clstrPart : clParts)
            QVERIFY2(!FramesOf(clstrPart).frames.isEmpty(), qPrintable(clstrPart));
        return;
    }
    const int64_t lFirst = clRig.source.first.toSecsSinceEpoch() + clChanges.offset;
    const PartIndexes clIndexes = ExpectedParts(clExpected.times, settings, lFirst);
    QCOMPARE(clParts.size(), clIndexes.size());
    if (settings.mode == SPLIT_BY_TIME)
        QVERIFY(clParts.size() > 2);
    for (int i = 0; i < clParts.size(); ++i)
        QVERIFY2(CompareParts({clParts[i]}, clExpected.frames.header,
                              Pick(clExpected.frames.frames, clIndexes[i]))
                     .isEmpty(),
                 qPrintable(clParts[i] + QStringLiteral(": ") +
                            CompareParts({clParts[i]}, clExpected.frames.header,
                                         Pick(clExpected.frames.frames, clIndexes[i]))));
}

void TestRoundTrip::splitByNumberThenMerge_data() {
    QTest::addColumn<SourceKind>("kind");
    QTest::addColumn<SourceShape>("shape");
    QTest::addColumn<uint>("parts");
    for (int k = 0; k < kKinds.size(); ++k) {
        SourceShape clShape = ShapeFor(k);
        clShape.seed += 1000;
        QTest::addRow("%s", kKinds[k].first) << kKinds[k].second << clShape << uint(2 + k);
    }
}

void TestRoundTrip::splitByNumberThenMerge() {
    QFETCH(SourceKind, kind);
    QFETCH(SourceShape, shape);
    QFETCH(uint, parts);

    const QString clstrSource = SourcePath(kind);
    QVERIFY(WriteSource(kind, clstrSource, shape));
    const ConvertedSource clExpected =
        Converted(clstrSource, m_pDir->filePath(QStringLiteral("reference.bvf")));
    QVERIFY2(clExpected.problem.isEmpty(), qPrintable(clExpected.problem));

    WorkerRig clSplit;
    QCOMPARE(clSplit.Scan(clstrSource), 1000);
    QCOMPARE(clSplit.Split(ByNumber(parts, 1)), 2000);
    const QStringList clParts = Parts(kind);
    QCOMPARE(clParts.size(), qsizetype(parts));

    // The merge tab lists the parts by their times and joins them in that order.
    MergeRig clMerge;
    QCOMPARE(clMerge.Fill(clParts), 1000);
    QCOMPARE(clMerge.list.FileNames(), clParts);
    const QString clstrJoined = m_pDir->filePath(QStringLiteral("joined.bvf"));
    clMerge.events.Script({MergeReply::To(clstrJoined)});
    QCOMPARE(clMerge.Merge(), 1000);
    QCOMPARE(clMerge.events.Questions(), QStringList{"output first " + clParts.first()});
    QCOMPARE(CompareParts({clstrJoined}, clExpected.frames.header, clExpected.frames.frames),
             QString());
}

BVF_TEST_MAIN(TestRoundTrip)
#include "test_round_trip.moc"
