// Round trips over generated recordings of every kind the tool reads: the scan
// describes the source as its records say; each part is named and filled as
// the kit's cut rules say, byte for byte apart from the asked-for changes, and
// the user learns of lost DMR items. A split merged again gives the source.
#include "MergeTestKit.h"
#include "TestRegistry.h"
#include "WorkerSources.h"

#include <QRegularExpression>

using namespace ReliabilityTestKit;
using namespace MergeTestKit;

Q_DECLARE_METATYPE(ReliabilityTestKit::SourceKind)
Q_DECLARE_METATYPE(StructSplitSettings)

namespace {

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

// Progress from 0 to the end code, in steps of 1 ... 999 that never go back.
QString ProgressProblem(const QList<int> &clCodes, int lEnd) {
    bool bOk = clCodes.size() >= 3 && clCodes.first() == 0 && clCodes.last() == lEnd;
    for (qsizetype i = 1; bOk && i + 1 < clCodes.size(); ++i)
        bOk = clCodes[i] >= std::max(1, clCodes[i - 1]) && clCodes[i] <= 999;
    return bOk ? QString() : QStringLiteral("progress out of order, %1 codes").arg(clCodes.size());
}

QString PartName(uint32_t lPart, int64_t lStart) {
    return QStringLiteral("rec__%1__%2.bvf")
        .arg(lPart, 2, 10, QChar(u'0'))
        .arg(QDateTime::fromSecsSinceEpoch(lStart, QTimeZone::utc())
                 .toString(QStringLiteral("yyyy-MM-dd_hh.mm.ss")));
}

} // namespace

class TestRoundTrip : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QVERIFY(m_pDir.emplace().isValid() && QDir(m_pDir->path()).mkdir(QStringLiteral("rec")));
    }
    void partsFollowTheCutRules_data();
    void partsFollowTheCutRules();
    void splitByNumberThenMerge_data();
    void splitByNumberThenMerge();
    void copiedAsRead_data() {
        QTest::addColumn<bool>("revisits");
        QTest::newRow("records in time order") << false;
        QTest::newRow("minutes that come back") << true;
    }
    void copiedAsRead();

  private:
    QString Folder() const { return m_pDir->filePath(QStringLiteral("rec")); }
    QStringList Parts(SourceKind enKind) const {
        QStringList clPaths = FilesIn(Folder(), {SourceFileName(enKind)});
        return clPaths.replaceInStrings(QRegularExpression("^"), Folder() + u'/');
    }

    std::optional<QTemporaryDir> m_pDir;
};

void TestRoundTrip::partsFollowTheCutRules_data() {
    QTest::addColumn<SourceKind>("kind");
    QTest::addColumn<int>("shape");
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<qlonglong>("offset");  // the protocol offset the scan would have found
    QTest::addColumn<bool>("synchronised"); // the description already moved by it

    for (int k = 0; k < kKinds.size(); ++k) {
        const auto row = [&](const QString &clWhat, StructSplitSettings s, qlonglong lOffset = 0,
                             bool bSynchronised = false, int64_t lHz = -1) {
            s.applyOffset = lOffset != 0;
            s.correctFrequency = lHz >= 0;
            s.frequencyHz = lHz;
            QTest::addRow("%s, %s", kKinds[k].first, qPrintable(clWhat))
                << kKinds[k].second << k << s << lOffset << bSynchronised;
        };
        const int64_t lFrom = ShapeFor(k).start + 2417;
        row("by time, 7 minutes", ByTime(420, false));
        row("whole hours", ByTime(3600, true));
        row("by period", ByPeriod(lFrom, lFrom + 3300 + k * 61));
        row(QStringLiteral("into %1 parts").arg(3 + k), ByNumber(uint32_t(3 + k), 2));
        // The offset and the frequency correction in every mode, the period
        // given in network time as the dialog shows it.
        row("half hours, moved back 2 h 13 s, frequency set", ByTime(1800, true), -7213, false,
            390012500);
        row("into 4 parts, moved on 1 day, description synchronised", ByNumber(4, 2), 86400, true);
    }
}

void TestRoundTrip::partsFollowTheCutRules() {
    QFETCH(SourceKind, kind);
    QFETCH(int, shape);
    QFETCH(StructSplitSettings, settings);
    QFETCH(qlonglong, offset);
    QFETCH(bool, synchronised);

    const QString clstrSource = Folder() + u'/' + SourceFileName(kind);
    QVERIFY(WriteSource(kind, clstrSource, ShapeFor(shape)));
    IntendedChanges clChanges;
    clChanges.offset = settings.applyOffset ? offset : 0;
    if (settings.correctFrequency)
        clChanges.frequencyHz = settings.frequencyHz;
    const ConvertedSource clExpected =
        Converted(clstrSource, m_pDir->filePath(QStringLiteral("reference.bvf")), clChanges);
    QVERIFY2(clExpected.problem.isEmpty(), qPrintable(clExpected.problem));
    QVERIFY(clExpected.frames.frames.size() > 1000);

    // The scan: the first time other than 0 and the latest of the kinds that
    // carry one, the first such record's frequency, every kind read.
    std::optional<int64_t> clFirst, clLatest;
    uint64_t lKinds = 0;
    for (qsizetype i = 0; i < clExpected.kinds.size(); ++i) {
        lKinds |= uint64_t(1) << clExpected.kinds[i];
        const std::optional<int64_t> t = clExpected.recorded[i];
        if (!t || clExpected.kinds[i] > PAYLOAD_GSM)
            continue;
        if (!clFirst && *t != 0)
            clFirst = t;
        clLatest = std::max(clLatest.value_or(*t), *t);
    }
    QVERIFY(clFirst.has_value());
    WorkerRig clRig;
    QCOMPARE(clRig.Scan(clstrSource), 1000);
    QCOMPARE(ProgressProblem(clRig.events.Codes(), 1000), QString());
    const StructSourceInfo &s = clRig.source;
    QCOMPARE(s.name, clstrSource);
    QCOMPARE((QList<qint64>{s.first.toSecsSinceEpoch(), s.last.toSecsSinceEpoch(), qint64(s.size),
                            s.frequency, qint64(s.fileMagic), qint64(s.kindMask), s.offset}),
             (QList<qint64>{*clFirst, *clLatest, QFileInfo(clstrSource).size(),
                            clExpected.firstFrequency ? qint64(*clExpected.firstFrequency) : -1,
                            qint64(clExpected.header.fileMagic), qint64(lKinds), 0}));

    clRig.source.offset = offset;
    if (synchronised) {
        clRig.source.synchronised = true;
        clRig.source.first = clRig.source.first.addSecs(offset);
        clRig.source.last = clRig.source.last.addSecs(offset);
    }
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(ProgressProblem(clRig.events.Codes(), 2000), QString());
    QCOMPARE(clRig.events.Questions(), QStringList());
    QCOMPARE(clRig.events.Errors(), QStringList());

    QList<CutInput> clCuts;
    for (qsizetype i = 0; i < clExpected.times.size(); ++i)
        clCuts << CutInput{clExpected.times[i], clExpected.consumed[i]};
    const QList<CutStep> clSteps = ModelCuts(clCuts, settings, *clFirst + clChanges.offset,
                                             uint64_t(QFileInfo(clstrSource).size()));
    QStringList clNames{PartName(1, clSteps.first().start)};
    QList<QList<int>> clIndexes{{}};
    uint64_t lLost = 0;
    for (qsizetype i = 1; i < clSteps.size(); ++i) {
        if (clSteps[i].action == 'N') {
            clNames << PartName(clSteps[i].part, clSteps[i].start);
            clIndexes.append(QList<int>());
        }
        if (clSteps[i].action == 'W' || clSteps[i].action == 'N') {
            clIndexes.last() << int(i - 1);
            lLost += clExpected.dmrItemsLost.value(i - 1);
        }
    }
    QCOMPARE(FilesIn(Folder(), {SourceFileName(kind)}), clNames);
    const QStringList clParts = Parts(kind);
    for (int i = 0; i < clParts.size(); ++i) {
        const QString clstrProblem = CompareParts({clParts[i]}, clExpected.frames.header,
                                                  Pick(clExpected.frames.frames, clIndexes[i]));
        QVERIFY2(clstrProblem.isEmpty(), qPrintable(clParts[i] + u' ' + clstrProblem));
    }
    // Told at the end of the source; a period that ends before it is not
    // checked here.
    if (clSteps.last().action == 'E')
        return;
    QStringList clNotices;
    if (lLost > 0)
        clNotices << QStringLiteral("<%1>\n%2 DMR item(s) can not be stored in a split file and "
                                    "were left out.")
                         .arg(clstrSource)
                         .arg(lLost);
    QCOMPARE(clRig.events.Notices(), clNotices);
}

void TestRoundTrip::splitByNumberThenMerge_data() {
    QTest::addColumn<SourceKind>("kind");
    QTest::addColumn<int>("shape");
    QTest::addColumn<uint>("parts");
    for (int k = 0; k < kKinds.size(); ++k)
        QTest::addRow("%s", kKinds[k].first) << kKinds[k].second << k << uint(2 + k);
}

void TestRoundTrip::splitByNumberThenMerge() {
    QFETCH(SourceKind, kind);
    QFETCH(int, shape);
    QFETCH(uint, parts);

    const QString clstrSource = Folder() + u'/' + SourceFileName(kind);
    SourceShape clShape = ShapeFor(shape);
    clShape.seed += 1000;
    QVERIFY(WriteSource(kind, clstrSource, clShape));
    const ConvertedSource clExpected =
        Converted(clstrSource, m_pDir->filePath(QStringLiteral("reference.bvf")));
    QVERIFY2(clExpected.problem.isEmpty(), qPrintable(clExpected.problem));

    WorkerRig clSplit;
    QCOMPARE(clSplit.Scan(clstrSource), 1000);
    QCOMPARE(clSplit.Split(ByNumber(parts, 1)), 2000);
    const QStringList clParts = Parts(kind);
    QCOMPARE(clParts.size(), qsizetype(parts));

    // The merge tab lists the parts in the order of the split.
    MergeRig clMerge;
    QCOMPARE(clMerge.Fill(clParts), 1000);
    QCOMPARE(clMerge.list.FileNames(), clParts);
    // Each entry ends at the latest time its records carry.
    uint64_t lKinds = 0;
    for (qsizetype i = 0; i < clParts.size(); ++i) {
        int64_t lLatest = kJoinTimeUnknown;
        QCOMPARE(ReadRecords(clParts[i],
                             [&](RawRecord &clRecord, CVirtualFileFormat &) {
                                 lKinds |= uint64_t(1) << clRecord.payloadKind;
                                 lLatest = std::max(lLatest, TimeOf(clRecord).value_or(lLatest));
                             }),
                 QString());
        QCOMPARE(clMerge.list.Entries()[i].end, lLatest);
    }
    const QString clstrJoined = m_pDir->filePath(QStringLiteral("joined.bvf"));
    clMerge.events.Script({Reply::To(clstrJoined)});
    QCOMPARE(clMerge.Merge(), 1000);
    QCOMPARE(clMerge.events.Told(), QStringList{"output first " + clParts.first()});
    QCOMPARE(ProgressProblem(clMerge.events.Codes(), 1000), QString());
    QCOMPARE(CompareParts({clstrJoined}, clExpected.frames.header, clExpected.frames.frames),
             QString());
    // The merge adds the kinds it copied to the loaded source's.
    QCOMPARE(clMerge.source.kindMask, lKinds);
}

// A split copies the minutes its scan found sound whole; what it writes and
// tells of each part is what reading every record gives, which a source
// touched since the scan gets.
void TestRoundTrip::copiedAsRead() {
    QFETCH(bool, revisits);
    const QString clstrSource = Folder() + u'/' + SourceFileName(SourceKind::SampleV3);
    SourceShape clShape;
    clShape.minutes = 70;
    clShape.rate = 10;
    QVERIFY(WriteSource(SourceKind::SampleV3, clstrSource, clShape));
    if (revisits) {
        // Every 150th record 10 s late: some land in the next minute's records,
        // so that their minute comes back and no longer lies in one stretch.
        const ContainerFrames clFrames = FramesOf(clstrSource);
        QList<QByteArray> clMoved = clFrames.frames;
        for (qsizetype i = 150; i + 100 < clMoved.size(); i += 150)
            clMoved.move(i, i + 100);
        QVERIFY(WriteBytes(clstrSource, clFrames.header + clMoved.join()));
    }
    const int64_t lFrom = clShape.start + 1234;
    for (const StructSplitSettings &clSettings :
         {ByTime(420, false), ByTime(3600, true), ByNumber(3, 2), ByPeriod(lFrom, lFrom + 2345)}) {
        QList<QStringList> clTold;
        QList<QList<QByteArray>> clWritten;
        for (const bool bTouched : {false, true}) {
            WorkerRig clRig;
            QCOMPARE(clRig.Scan(clstrSource), 1000);
            if (bTouched) {
                QFile clFile(clstrSource);
                QVERIFY(clFile.open(QIODevice::ReadWrite) &&
                        clFile.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-60),
                                           QFileDevice::FileModificationTime));
            }
            QCOMPARE(clRig.Split(clSettings), 2000);
            clTold << clRig.events.PartsClosed();
            clWritten.append(QList<QByteArray>());
            for (const QString &clstrPart : Parts(SourceKind::SampleV3)) {
                QFile clPart(clstrPart);
                QVERIFY(clPart.open(QIODevice::ReadOnly));
                clWritten.last() << clPart.readAll();
                QVERIFY(clPart.remove());
            }
        }
        QVERIFY(clTold[0].size() > (clSettings.mode == SPLIT_BY_PERIOD ? 0 : 1));
        QCOMPARE(clTold[0], clTold[1]);
        QVERIFY(clWritten[0] == clWritten[1]);
    }
}

BVF_TEST_MAIN(TestRoundTrip)
#include "test_round_trip.moc"
