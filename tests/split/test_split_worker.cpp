// The scan and split workers where the round trips cannot look.
#include "FileSizeLimit.h"
#include "TestRegistry.h"
#include "WorkerTestKit.h"

#include <QTemporaryDir>
#include <QTest>

using namespace WorkerTestKit;
using namespace ContainerBytes;

Q_DECLARE_METATYPE(QList<WorkerTestKit::RecordSpec>)
Q_DECLARE_METATYPE(StructSplitSettings)

namespace {

const QString kSource = QStringLiteral("cell.bvf");

RecordSpec T(const char *pTime) {
    return Tetra(At(pTime));
}

// Whole frames with a good checksum that the reader refuses.
const QByteArray kFlagged = Frame(3, QByteArray(60, '\x11'), 1);
const QByteArray kTypeZero = Frame(0, QByteArray(40, '\x22'));

} // namespace

class TestSplitWorker : public QObject {
    Q_OBJECT

  private slots:
    void init();

    void scan_data();
    void scan();
    void timeGlitches_data();
    void timeGlitches();
    void damagedSource_data();
    void damagedSource();
    void failures_data();
    void failures();
    void startRefusedOrOnline();
    void otherWritersFrames_data();
    void otherWritersFrames();

  private:
    QString Path(const QString &clstrName) const { return m_pDir->filePath(clstrName); }
    QStringList Parts(const QString &clstrSource = kSource) const {
        QStringList clPaths;
        for (const QString &clstrName : FilesIn(m_pDir->path(), {clstrSource}))
            clPaths << Path(clstrName);
        return clPaths;
    }
    QByteArray WithInserted(const QList<RecordSpec> &clRecords, int lIndex,
                            const QByteArray &clExtra) {
        const QString clstrScratch = m_clScratch.filePath(QStringLiteral("scratch.bvf"));
        if (!WriteRecording(clstrScratch, clRecords))
            return {};
        const ContainerFrames clFrames = FramesOf(clstrScratch);
        return clFrames.header + clFrames.frames.mid(0, lIndex).join() + clExtra +
               clFrames.frames.mid(lIndex).join();
    }

    QTemporaryDir m_clScratch;
    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestSplitWorker::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
}

void TestSplitWorker::scan_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // "-": no file
    QTest::addColumn<QString>("found");    // first, latest and kinds; empty: the scan fails

    const QList<RecordSpec> clFive = {T("10:00:00"), Dmr(At("10:10:00")), Gsm(At("10:20:00")),
                                      T("10:30:00"), Generic(At("10:05:00"))};
    const auto Row = [&](const char *pName, const QList<RecordSpec> &clRecords, const char *pFound,
                         const QByteArray &clDamage = {}) {
        QTest::newRow(pName) << kSource << WithInserted(clRecords, 0, clDamage) << pFound;
    };
    Row("notices only", {Notice(), Notice()}, "");
    Row("times of 0 and a generic record without time",
        {Tetra(0), Dmr(0), Generic(At("10:00:00"), 23), Notice()}, "");
    QTest::newRow("missing file") << kSource << QByteArray("-") << "";
    QTest::newRow("path of 260 characters") << QString(256, u'p') + ".bvf" << QByteArray("-") << "";
    Row("the first timed record is not the earliest", {T("10:00:00"), T("09:00:00"), T("11:00:00")},
        "10:00:00 11:00:00 1");
    Row("damage before the first timed record", clFive, "10:00:00 10:30:00 17",
        kTypeZero + kFlagged);
}

void TestSplitWorker::scan() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, found);
    const QString clstrPath = name.size() > 200 ? name : Path(name);
    if (bytes != "-")
        QVERIFY(WriteBytes(clstrPath, bytes));

    WorkerRig clRig;
    clRig.source.name = QStringLiteral("earlier source");
    clRig.source.offset = 5;
    const int lEnd = found.isEmpty() ? -1 : 1000;
    QCOMPARE(clRig.Scan(clstrPath), lEnd);
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, lEnd}));
    const StructSourceInfo &s = clRig.source;
    QCOMPARE(s.offset, int64_t(0));
    if (!found.isEmpty()) {
        QCOMPARE(QStringLiteral("%1 %2 %3")
                     .arg(Clock(s.first.toSecsSinceEpoch()), Clock(s.last.toSecsSinceEpoch()))
                     .arg(s.kindMask, 0, 16),
                 found);
        return;
    }
    QCOMPARE(s.name, QString());
    QCOMPARE(s.first, StructSourceInfo().first);
    QCOMPARE(s.last, StructSourceInfo().last);
    QCOMPARE(QList<qint64>({qint64(s.size), s.frequency, qint64(s.fileMagic), qint64(s.kindMask)}),
             QList<qint64>({0, 0, 0, 0}));
}

// A broken clock's single records neither open nor name parts, nor stretch the span.
void TestSplitWorker::timeGlitches_data() {
    QTest::addColumn<QList<RecordSpec>>("records");
    QTest::addColumn<QString>("span");
    QTest::addColumn<QString>("parts"); // "|" between them
    QTest::addColumn<int>("glitches");

    const auto Row = [](const char *pName, const QList<RecordSpec> &clRecords, const char *pSpan,
                        const QString &clstrParts, int lGlitches) {
        QTest::newRow(pName) << clRecords << QString(pSpan) << clstrParts << lGlitches;
    };
    const RecordSpec cl2100 = Tetra(At("2100-01-01 00:00:00"));
    const QString clstr2100 = QStringLiteral("2100-01-01 00:00:00");
    const QString clstrPart1 = QStringLiteral("cell__01__2024-03-07_10.20.00.bvf: ");
    Row("year 2100 between two records",
        {cl2100, T("10:20:00"), cl2100, T("10:40:00"), T("11:10:00")}, "10:20:00 11:10:00",
        clstrPart1 + clstr2100 + " 10:20:00 " + clstr2100 +
            " 10:40:00|cell__02__2024-03-07_11.10.00.bvf: 11:10:00",
        2);
    const int64_t lLargest = std::numeric_limits<int64_t>::max();
    Row("1970 and the largest value first and last, notices between",
        {Tetra(0), Notice(), T("10:20:00"), T("11:10:00"), Notice(), Tetra(lLargest)},
        "10:20:00 11:10:00",
        clstrPart1 + "1970-01-01 00:00:00 N 10:20:00|cell__02__2024-03-07_11.10.00.bvf: " +
            "11:10:00 N " + Clock(lLargest),
        2);
    Row("a record exactly a day away is sound",
        {T("10:20:00"), Tetra(At("2024-03-08 10:20:00")), T("10:40:00")},
        "10:20:00 2024-03-08 10:20:00",
        clstrPart1 + "10:20:00|cell__02__2024-03-08_10.20.00.bvf: 2024-03-08 10:20:00 10:40:00", 0);
}

void TestSplitWorker::timeGlitches() {
    QFETCH(QList<RecordSpec>, records);
    QFETCH(QString, span);
    QFETCH(QString, parts);
    QFETCH(int, glitches);
    WorkerRig clRig;
    QVERIFY(WriteRecording(Path(kSource), records) && clRig.Scan(Path(kSource)) == 1000);
    QCOMPARE(Clock(clRig.source.first.toSecsSinceEpoch()) + u' ' +
                 Clock(clRig.source.last.toSecsSinceEpoch()),
             span);
    QCOMPARE(clRig.Split(ByTime(3600, true)), 2000);
    QCOMPARE(DescribeParts(m_pDir->path(), {kSource}).join(u'|'), parts);
    const ContainerFrames clSource = FramesOf(Path(kSource));
    QCOMPARE(CompareParts(Parts(), clSource.header, clSource.frames), QString());
    QStringList clNotices;
    if (glitches > 0)
        clNotices << QStringLiteral("<%1>\n%2 record(s) carry a time stamp more than a day away "
                                    "from both neighbours; they were kept with their neighbours "
                                    "and started no part.")
                         .arg(Path(kSource))
                         .arg(glitches);
    QCOMPARE(clRig.events.Notices(), clNotices);
}

void TestSplitWorker::damagedSource_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<QByteArray>("damage");
    QTest::addColumn<QString>("notice"); // records and bytes the split reports

    const QString clstrRecords = QStringLiteral("%1 damaged record(s) and %2 damaged byte(s)");
    QTest::newRow("by time, both")
        << ByTime(3600, true) << kFlagged + kTypeZero << clstrRecords.arg(2).arg(0);
    QTest::newRow("by number, a refused record and garbage")
        << ByNumber(2) << kFlagged + QByteArray(300, '\x7e') << clstrRecords.arg(1).arg(300);
}

void TestSplitWorker::damagedSource() {
    QFETCH(StructSplitSettings, settings);
    QFETCH(QByteArray, damage);
    QFETCH(QString, notice);
    QList<RecordSpec> clRecords;
    for (int i = 0; i < 12; ++i)
        clRecords << Tetra(At("10:30:00") + 600 * i);
    const QByteArray clBytes = WithInserted(clRecords, 6, damage);
    const ContainerFrames clIntact = FramesOf(WithInserted(clRecords, 0, {}));
    QVERIFY(WriteBytes(Path(kSource), clBytes));

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(Path(kSource)), 1000);
    QCOMPARE(Clock(clRig.source.last.toSecsSinceEpoch()), QStringLiteral("12:20:00"));
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(CompareParts(Parts(), clIntact.header, clIntact.frames), QString());
    QCOMPARE(clRig.events.Notices(),
             QStringList{"<" + Path(kSource) + ">\n" + notice +
                         " of the source could not be read and are missing in the split files."});
}

void TestSplitWorker::failures_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<int>("nameLength"); // of the source path; 0: cell.bvf
    QTest::addColumn<int>("fileLimit");  // bytes a file may grow to; 0: no limit
    QTest::addColumn<QString>("error");  // %1: the folder

    const QString clstrTooLong = "The name of split file 1 would be longer than 259 characters.";
    QTest::newRow("part name of 260 characters")
        << ByTime(3600, true, 1) << 256 << 0 << clstrTooLong;
    StructSplitSettings clFixed = ByPeriod(At("10:00:00"), At("11:00:00"), kFixedNameScheme);
    clFixed.fixedName = QString(300, u'f');
    QTest::newRow("fixed name of 300 characters") << clFixed << 0 << 0 << clstrTooLong;
    QTest::newRow("unknown mode: nothing is written") << Settings(3, 2) << 0 << 0 << "-";
    // The writer keeps these records until it closes the part.
    QTest::newRow("a failed close")
        << ByTime(3600, true, 1) << 0 << 5000 << "<%1/cell__01.bvf>\nCan not write the file!";
}

void TestSplitWorker::failures() {
    QFETCH(StructSplitSettings, settings);
    QFETCH(int, nameLength);
    QFETCH(int, fileLimit);
    QFETCH(QString, error);
    QString clstrName = kSource;
    if (nameLength > 0)
        clstrName = QString(nameLength - int(m_pDir->path().size()) - 5, u'c') + ".bvf";
    QVERIFY(WriteRecording(Path(clstrName),
                           {Generic(At("10:20:00"), 4000), Generic(At("10:30:00"), 4000)}));
    WorkerRig clRig;
    QCOMPARE(clRig.Scan(Path(clstrName)), 1000);
    int lCode = 0;
    {
        std::unique_ptr<CFileSizeLimit> pLimit;
        if (fileLimit > 0)
            pLimit = std::make_unique<CFileSizeLimit>(rlim_t(fileLimit));
        lCode = clRig.Split(settings);
    }
    QCOMPARE(lCode, -1);
    QCOMPARE(clRig.events.Errors(),
             error == "-" ? QStringList() : QStringList{error.arg(m_pDir->path())});
    QCOMPARE(clRig.events.Questions(), QStringList());
    QCOMPARE(Parts(clstrName).size(), fileLimit > 0 ? 1 : 0);
    QCOMPARE(clRig.events.Codes(), (error == "-" ? QList<int>{-1} : QList<int>{0, -1}));
}

void TestSplitWorker::startRefusedOrOnline() {
    WorkerRig clRig;
    clRig.source.name = "/" + QString(255, u's') + ".bvf";
    QCOMPARE(StartSplitWorker(clRig.context, clRig.source, ByTime(3600, true), nullptr, 0),
             SplitStart::SourcePathTooLong);
    clRig.source.name.clear();
    QCOMPARE(StartSplitWorker(clRig.context, clRig.source, ByTime(3600, true), nullptr, 0),
             SplitStart::NoSource);
    QVERIFY(!WorkerHeld(clRig.context));
    QCOMPARE(clRig.events.Codes(), QList<int>());
    // A file still being written, named with "online:", is still the source.
    QVERIFY(WriteRecording(Path(kSource), {T("10:20:00"), T("11:20:00")}));
    QCOMPARE(clRig.Scan("online:" + Path(kSource)), 1000);
    QCOMPARE(clRig.source.name, "online:" + Path(kSource));
    StructSplitSettings clFixed = ByPeriod(At("10:00:00"), At("12:00:00"), kFixedNameScheme);
    clFixed.fixedName = Path(kSource);
    const QByteArray clBytes = FileBytes(Path(kSource));
    QCOMPARE(clRig.Split(clFixed), -1);
    QCOMPARE(clRig.events.Questions(), QStringList{"source:" + kSource});
    QCOMPARE(FileBytes(Path(kSource)), clBytes);
}

void TestSplitWorker::otherWritersFrames_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<int>("offset"); // expected change of every time; 0: frames kept as read

    QTest::newRow("records unchanged") << ByNumber(2) << 0;
    StructSplitSettings clShifted = ByNumber(2);
    clShifted.applyOffset = true;
    QTest::newRow("offset") << clShifted << 3600;
    StructSplitSettings clCorrected = ByNumber(2);
    clCorrected.correctFrequency = true;
    clCorrected.frequencyHz = -1;
    QTest::newRow("frequency correction without a value") << clCorrected << 0;
}

void TestSplitWorker::otherWritersFrames() {
    QFETCH(StructSplitSettings, settings);
    QFETCH(int, offset);

    // As another writer may store them: ignored bytes not zero, an extended
    // TETRA type without extended fields, a notice longer than its fields.
    const auto Sub = [](uint64_t lHz) { return SubHeader{9, lHz, 18000, 0x0102}; };
    const auto Ignored = [](uint8_t lType, const SubHeader &s, const QByteArray &clBody) {
        CByteWriter clOut;
        clOut.U8(s.sourceByte).U64(s.frequency).U32(s.symbolRate).U16(s.value16);
        return Frame(lType, clOut.Padded("ignored!", 8).Bytes(clBody).Result());
    };
    const int64_t t = At("10:20:00");
    const auto TetraAt = [](int64_t lTime, uint8_t lFlags, TetraLayout enLayout = TetraLayout::V2) {
        TetraBody clBody;
        clBody.timeSeconds = uint64_t(lTime);
        clBody.milliseconds = 250;
        clBody.timeslot = 2;
        clBody.valueFlags = lFlags;
        clBody.bitCount = 20;
        clBody.data = QByteArray("\x01\x02\x03", 3);
        return TetraBodyBytes(clBody, enLayout);
    };
    const QByteArray clNotice = NoticeBodyBytes(10045, 3, "from elsewhere") + QByteArray(20, 'w');
    const uint64_t kHz = 390012500;
    const QList<QByteArray> clFrames = {
        Ignored(3, Sub(kHz), TetraAt(t, 0x80)),
        Record(8, Sub(kHz), TetraAt(t + 1200, 0x40, TetraLayout::Extended)),
        Record(4, Sub(0), clNotice),
    };
    QVERIFY(WriteBytes(Path(kSource), Header(HeaderFields()) + clFrames.join()));

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(Path(kSource)), 1000);
    clRig.source.offset = 3600;
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(Parts().size(), 2);

    // Encoded again when changed: ignored bytes zero, the plain TETRA type,
    // the notice cut to its fields.
    QList<QByteArray> clExpected = {
        Record(3, Sub(kHz), TetraAt(t + offset, 0x80)),
        Record(3, Sub(kHz), TetraAt(t + 1200 + offset, 0x40)),
        Record(4, Sub(0), clNotice.left(136)),
    };
    if (offset == 0)
        clExpected[0] = clFrames[0];
    QCOMPARE(CompareParts(Parts(), Header(HeaderFields()), clExpected), QString());
}

BVF_TEST_MAIN(TestSplitWorker)
#include "test_split_worker.moc"
