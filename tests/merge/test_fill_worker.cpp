// The merge-list fill worker on its thread: what it finds out about each
// file, where it puts the entry, which paths it leaves out without a word,
// and how a run ends (normally, empty, stopped, or overtaken by another).
#include "MergeTestKit.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <limits>
#include <memory>

using namespace MergeTestKit;
using namespace WorkerTestKit;

Q_DECLARE_METATYPE(QList<WorkerTestKit::RecordSpec>)

namespace {

constexpr uint64_t kMagic = 0x5EC0DE;

// A container with the given header start (the largest value: none).
bool WriteWithStart(const QString &clstrPath, const QList<RecordSpec> &clSpecs, int64_t lStart,
                    uint64_t lMagic = kMagic) {
    FileHeaderInfo clHeader = TestHeader(lMagic);
    clHeader.startTime = lStart;
    CBrennovarstikFileFormatV1 clWriter;
    const std::wstring clstrWide = clstrPath.toStdWString();
    if (clWriter.OpenFileForWriting(clstrWide.c_str(), clHeader, 2) != FILE_OK)
        return false;
    CRecordBuilder clBuilder;
    for (int i = 0; i < clSpecs.size(); ++i) {
        if (clWriter.WriteData(clBuilder.Build(clSpecs[i], uint32_t(i))) != FILE_OK) {
            clWriter.CloseFileForWriting();
            return false;
        }
    }
    return clWriter.CloseFileForWriting() == FILE_OK;
}

// lCount TETRA records from lFirst on, one per second.
QList<RecordSpec> Run(int64_t lFirst, int lCount) {
    QList<RecordSpec> clSpecs;
    for (int i = 0; i < lCount; ++i)
        clSpecs << Tetra(lFirst + i);
    return clSpecs;
}

QString Times(const StructJoinFileData &clEntry) {
    const auto fnTime = [](int64_t lTime) {
        return lTime == kJoinTimeUnknown ? QStringLiteral("unknown") : Clock(lTime);
    };
    return fnTime(clEntry.start) + " - " + fnTime(clEntry.end);
}

} // namespace

class TestFillWorker : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void entryDescribesTheFile();
    void recordTimes_data();
    void recordTimes();
    void reverseTimeOrderComesOutAscending();
    void equalStartsKeepArrivalOrder();
    void fileAlreadyListedIsAddedOnce();
    void pathsThatCannotBeOpenedAreLeftOut();
    void tooLongPathIsNeverShortened();
    void emptyPathList();
    void stopKeepsExaminedFiles();
    void startWhileFillingStopsTheFill();
    void damagedRecordDoesNotEndTheExamination();

  private:
    QString Path(const QString &clstrName) const { return m_pDir->filePath(clstrName); }

    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestFillWorker::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
}

void TestFillWorker::cleanup() {
    m_pDir.reset();
}

void TestFillWorker::entryDescribesTheFile() {
    const QString clstrPath = Path("cell.bvf");
    QVERIFY(WriteRecording(clstrPath, Run(At("12:00:00"), 30) << Notice(), 0xABCDEF));

    MergeRig clRig;
    QCOMPARE(clRig.Fill({clstrPath}), 1000);
    const QList<StructJoinFileData> clEntries = clRig.list.Entries();
    QCOMPARE(clEntries.size(), qsizetype(1));
    const StructJoinFileData &clEntry = clEntries.first();
    QCOMPARE(clEntry.flags, kJoinFileOpened | kJoinTimesFromRecord);
    QCOMPARE(clEntry.magic, uint64_t(0xABCDEF));
    QCOMPARE(clEntry.fileName, clstrPath);
    QCOMPARE(clEntry.start, At("12:00:00"));
    QCOMPARE(clEntry.end, At("12:00:29"));
    QCOMPARE(clEntry.records, int64_t(31));
    QCOMPARE(clEntry.size, int64_t(QFileInfo(clstrPath).size()));
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, 1000}));
    QCOMPARE(clRig.events.Lists().last(), clstrPath);
    // The fill asks nothing and tells of nothing else.
    QCOMPARE(clRig.events.Questions(), QStringList());
}

void TestFillWorker::recordTimes_data() {
    QTest::addColumn<QList<RecordSpec>>("records");
    QTest::addColumn<int64_t>("headerStart");
    QTest::addColumn<QString>("times");
    QTest::addColumn<bool>("fromRecord");

    const int64_t lHeader = At("09:00:00");
    const int64_t lNone = std::numeric_limits<int64_t>::max();
    QTest::newRow("tetra") << QList<RecordSpec>{Tetra(At("12:00:00")), Tetra(At("12:00:05"))}
                           << lHeader << "12:00:00 - 12:00:05" << true;
    QTest::newRow("tetra aux") << QList<RecordSpec>{Aux(At("12:00:00")), Aux(At("12:00:05"))}
                               << lHeader << "12:00:00 - 12:00:05" << true;
    QTest::newRow("dmr") << QList<RecordSpec>{Dmr(At("12:00:00")), Dmr(At("12:00:05"))} << lHeader
                         << "12:00:00 - 12:00:05" << true;
    QTest::newRow("gsm") << QList<RecordSpec>{Gsm(At("12:00:00")), Gsm(At("12:00:05"))} << lHeader
                         << "12:00:00 - 12:00:05" << true;
    QTest::newRow("generic, bytes 16 to 23")
        << QList<RecordSpec>{Generic(At("12:00:00")), Generic(At("12:00:05"))} << lHeader
        << "12:00:00 - 12:00:05" << true;
    QTest::newRow("the latest time, not the last record's")
        << QList<RecordSpec>{Tetra(At("12:00:00")), Tetra(At("12:09:00")), Dmr(At("12:03:00"))}
        << lHeader << "12:00:00 - 12:09:00" << true;
    QTest::newRow("the first record's time, not the earliest")
        << QList<RecordSpec>{Tetra(At("12:00:10")), Tetra(At("12:00:00"))} << lHeader
        << "12:00:10 - 12:00:10" << true;
    QTest::newRow("no usable time keeps the header's start")
        << QList<RecordSpec>{Notice(), Generic(0, 20), Notice()} << lHeader << "09:00:00 - unknown"
        << false;
    QTest::newRow("no usable time and no header start")
        << QList<RecordSpec>{Notice(), Notice()} << lNone << "unknown - unknown" << false;
    QTest::newRow("no records at all")
        << QList<RecordSpec>{} << lHeader << "09:00:00 - unknown" << false;
    // A part cut from a recording carries the recording's header start.
    QTest::newRow("a first record without time: the start from the first time stamp")
        << QList<RecordSpec>{Notice(), Generic(0, 20), Tetra(At("12:00:03")), Tetra(At("12:00:00")),
                             Tetra(At("12:00:07"))}
        << lHeader << "12:00:03 - 12:00:07" << true;
}

void TestFillWorker::recordTimes() {
    QFETCH(QList<RecordSpec>, records);
    QFETCH(int64_t, headerStart);
    QFETCH(QString, times);
    QFETCH(bool, fromRecord);

    const QString clstrPath = Path("rec.bvf");
    QVERIFY(WriteWithStart(clstrPath, records, headerStart));
    MergeRig clRig;
    QCOMPARE(clRig.Fill({clstrPath}), 1000);
    QCOMPARE(clRig.list.Count(), qsizetype(1));
    const StructJoinFileData clEntry = clRig.list.Entries().first();
    QCOMPARE(Times(clEntry), times);
    QCOMPARE(clEntry.flags, kJoinFileOpened | (fromRecord ? kJoinTimesFromRecord : 0));
    QCOMPARE(clEntry.records, int64_t(records.size()));
}

void TestFillWorker::reverseTimeOrderComesOutAscending() {
    QVERIFY(WriteRecording(Path("late.bvf"), Run(At("11:00:00"), 10)));
    QVERIFY(WriteRecording(Path("early.bvf"), Run(At("10:00:00"), 10)));
    QVERIFY(WriteRecording(Path("other.bvf"), Run(At("09:00:00"), 10), 0x0777));

    MergeRig clRig;
    QCOMPARE(clRig.Fill({Path("late.bvf"), Path("other.bvf"), Path("early.bvf")}), 1000);
    QCOMPARE(clRig.list.FileNames(),
             (QStringList{Path("early.bvf"), Path("late.bvf"), Path("other.bvf")}));
}

void TestFillWorker::equalStartsKeepArrivalOrder() {
    for (const char *pName : {"b.bvf", "a.bvf", "c.bvf", "d.bvf"})
        QVERIFY(WriteRecording(Path(pName), Run(At("10:00:00"), 5)));

    MergeRig clRig;
    QCOMPARE(clRig.Fill({Path("b.bvf"), Path("a.bvf"), Path("c.bvf")}), 1000);
    // A later run puts an equal start after those already listed.
    QCOMPARE(clRig.Fill({Path("d.bvf")}), 1000);
    QCOMPARE(clRig.list.FileNames(),
             (QStringList{Path("b.bvf"), Path("a.bvf"), Path("c.bvf"), Path("d.bvf")}));
}

void TestFillWorker::fileAlreadyListedIsAddedOnce() {
    QVERIFY(QDir(m_pDir->path()).mkdir("dir"));
    const QString clstrPath = Path("dir/f.bvf");
    QVERIFY(WriteRecording(clstrPath, Run(At("10:00:00"), 5)));
    const QString clstrDoubled = m_pDir->path() + "/dir//f.bvf";

    MergeRig clRig;
    // Within one run, and in a later run.
    QCOMPARE(clRig.Fill({clstrPath, clstrDoubled}), 1000);
    QCOMPARE(clRig.list.FileNames(), QStringList{clstrPath});
    QCOMPARE(clRig.Fill({clstrDoubled}), 1000);
    QCOMPARE(clRig.list.FileNames(), QStringList{clstrPath});
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, 1000}));
    // The final refresh names the file as it is listed.
    QCOMPARE(clRig.events.Lists(), QStringList{clstrPath});
}

void TestFillWorker::pathsThatCannotBeOpenedAreLeftOut() {
    QVERIFY(QDir(m_pDir->path()).mkdir("folder.bvf"));
    QVERIFY(WriteBytes(Path("text.bvf"), "not a container at all"));
    QVERIFY(WriteRecording(Path("good.bvf"), Run(At("10:00:00"), 5)));

    MergeRig clRig;
    QCOMPARE(clRig.Fill({Path("folder.bvf"), Path("missing.bvf"), Path("good.bvf"),
                         Path("text.bvf"), Path("nofolder/x.bvf")}),
             1000);
    QCOMPARE(clRig.list.FileNames(), QStringList{Path("good.bvf")});
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, 1000}));
    // No word about them: only the final refresh, with the last path taken up.
    QCOMPARE(clRig.events.Log(),
             (QStringList{"progress 0", "progress 1000", "list " + Path("nofolder/x.bvf")}));
}

void TestFillWorker::tooLongPathIsNeverShortened() {
    // The first 259 characters of the long path, as many as the file
    // classes take, name an existing recording; a shortened path would add
    // that file.
    const QString clstrFolder = m_pDir->path() + "/";
    const QString clstrLong = clstrFolder + QString(300 - clstrFolder.size(), u'n');
    QVERIFY(WriteRecording(clstrLong.left(259), Run(At("10:00:00"), 5)));

    MergeRig clRig;
    QCOMPARE(clRig.Fill({clstrLong}), 1000);
    QVERIFY(clRig.list.IsEmpty());
    // 259 characters still fit.
    QCOMPARE(clRig.Fill({clstrLong.left(259)}), 1000);
    QCOMPARE(clRig.list.FileNames(), QStringList{clstrLong.left(259)});
}

void TestFillWorker::emptyPathList() {
    MergeRig clRig;
    QCOMPARE(clRig.Fill({}), 1000);
    QCOMPARE(clRig.events.Log(), (QStringList{"progress 0", "progress 1000", "list "}));
    QVERIFY(clRig.list.IsEmpty());
}

void TestFillWorker::stopKeepsExaminedFiles() {
    QVERIFY(WriteRecording(Path("first.bvf"), Run(At("09:00:00"), 10)));
    QVERIFY(WriteRecording(Path("large.bvf"), Run(At("10:00:00"), 6000)));
    QVERIFY(WriteRecording(Path("last.bvf"), Run(At("12:00:00"), 10)));

    MergeRig clRig;
    clRig.source.name = QStringLiteral("/rec/loaded.bvf");
    clRig.source.fileMagic = 7;
    clRig.source.size = 1234;
    clRig.source.offset = 3600;
    std::atomic<int> lStopAt{0};
    clRig.events.OnProgress([&](int lCode) {
        if (lCode >= 1 && lCode <= 999 && lStopAt == 0) {
            lStopAt = lCode;
            RequestWorkerStop(clRig.context);
        }
    });
    QCOMPARE(clRig.Fill({Path("first.bvf"), Path("large.bvf"), Path("last.bvf")}), -1);

    // Stopped within the second of three files: its share of the bar.
    QVERIFY2(lStopAt >= 333 && lStopAt < 667, qPrintable(QString::number(lStopAt)));
    QCOMPARE(clRig.list.FileNames(), QStringList{Path("first.bvf")});
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, lStopAt, -1}));
    QCOMPARE(clRig.events.Lists().last(), Path("large.bvf"));
    QCOMPARE(clRig.source.name, QString());
    QCOMPARE(clRig.source.fileMagic, uint64_t(0));
    QCOMPARE(clRig.source.size, uint64_t(0));
    QCOMPARE(clRig.source.offset, int64_t(0));
}

void TestFillWorker::startWhileFillingStopsTheFill() {
    QVERIFY(WriteRecording(Path("first.bvf"), Run(At("10:00:00"), 6000)));
    QVERIFY(WriteRecording(Path("second.bvf"), Run(At("11:00:00"), 5)));

    MergeRig clRig;
    // Holds the fill at its start, so that it surely runs when Start comes
    // again; the stop then ends it within the large file.
    clRig.events.OnProgress([](int lCode) {
        if (lCode == 0)
            QThread::msleep(150);
    });
    QCOMPARE(StartFillWorker(clRig.context, {Path("first.bvf")}, clRig.list, clRig.source),
             FillStart::Started);
    QCOMPARE(StartFillWorker(clRig.context, {Path("second.bvf")}, clRig.list, clRig.source),
             FillStart::ReleasedHeldWorker);
    QVERIFY(!WorkerHeld(clRig.context));
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, -1}));
    QVERIFY(clRig.list.IsEmpty());

    // A fill that has ended but is still held: its end handling releases
    // it, so a Start before that only releases it too.
    clRig.events.OnProgress(nullptr);
    clRig.events.Restart();
    QCOMPARE(StartFillWorker(clRig.context, {Path("second.bvf")}, clRig.list, clRig.source),
             FillStart::Started);
    QCOMPARE(clRig.events.WaitForEnd(), 1000);
    QCOMPARE(StartFillWorker(clRig.context, {Path("first.bvf")}, clRig.list, clRig.source),
             FillStart::ReleasedHeldWorker);
    QVERIFY(!WorkerHeld(clRig.context));
    QCOMPARE(clRig.list.FileNames(), QStringList{Path("second.bvf")});
}

void TestFillWorker::damagedRecordDoesNotEndTheExamination() {
    const QString clstrIntact = Path("intact.bvf");
    QVERIFY(WriteRecording(clstrIntact, Run(At("10:00:00"), 10)));
    const ContainerFrames clFrames = FramesOf(clstrIntact);
    QVERIFY(clFrames.ok);
    // A record with its flag byte set, whole and with a good checksum, after
    // the fifth record.
    QByteArray clBytes = clFrames.header;
    for (int i = 0; i < clFrames.frames.size(); ++i) {
        clBytes += clFrames.frames[i];
        if (i == 4)
            clBytes += ContainerBytes::Frame(3, QByteArray(60, '\x11'), 1);
    }
    QVERIFY(WriteBytes(Path("damaged.bvf"), clBytes));

    MergeRig clRig;
    QCOMPARE(clRig.Fill({Path("damaged.bvf")}), 1000);
    const StructJoinFileData clEntry = clRig.list.Entries().value(0);
    QCOMPARE(Times(clEntry), QStringLiteral("10:00:00 - 10:00:09"));
    QCOMPARE(clEntry.records, int64_t(10));
}

BVF_TEST_MAIN(TestFillWorker)
#include "test_fill_worker.moc"
