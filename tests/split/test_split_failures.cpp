// How a split ends when it cannot go on: a source that cannot be opened, a
// name that does not fit, a write or a close that fails. Nothing is ever
// written under a shortened name, and parts written before a failure stay.
#include "FileSizeLimit.h"
#include "TestRegistry.h"
#include "WorkerTestKit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace WorkerTestKit;

Q_DECLARE_METATYPE(StructSplitSettings)

namespace {

const QString kSource = QStringLiteral("cell.bvf");

RecordSpec T(const char *pTime) {
    return Tetra(At(pTime));
}

} // namespace

class TestSplitFailures : public QObject {
    Q_OBJECT

  private slots:
    void init();

    void sourceCannotBeOpened();
    void nameThatDoesNotFit_data();
    void nameThatDoesNotFit();
    void sourcePathTooLongIsRefused();
    void unknownModeFails();
    void writeFailureEndsTheSplit();
    void failedCloseEndsTheSplit();

  private:
    QString Path(const QString &clstrName) const { return m_pDir->filePath(clstrName); }
    QString Folder() const { return m_pDir->path(); }
    bool Load(WorkerRig &clRig, const QList<RecordSpec> &clRecords,
              const QString &clstrName = kSource) const {
        return WriteRecording(Path(clstrName), clRecords) && clRig.Scan(Path(clstrName)) == 1000;
    }

    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestSplitFailures::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
}

void TestSplitFailures::sourceCannotBeOpened() {
    WorkerRig clRig;
    QVERIFY(Load(clRig, {T("10:00:00")}));
    QVERIFY(QFile::remove(Path(kSource)));
    QCOMPARE(clRig.Split(ByTime(3600, true)), -1);
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, -1}));
    QCOMPARE(clRig.events.Errors(),
             QStringList{"<" + Path(kSource) + ">\nCan not open file or unsupported filetype!"});
    QCOMPARE(FilesIn(Folder()), QStringList());
}

void TestSplitFailures::nameThatDoesNotFit_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<int>("sourceLength");
    QTest::addColumn<QString>("error");

    QTest::newRow("part name of 260 characters")
        << ByTime(3600, true, 1) << 256
        << "The name of split file 1 would be longer than 259 characters.";
    QTest::newRow("part name of 259 characters fits") << ByTime(3600, true, 1) << 255 << "";
    StructSplitSettings clFixed = ByPeriod(At("10:00:00"), At("11:00:00"), kFixedNameScheme);
    clFixed.fixedName = QString(300, u'f');
    QTest::newRow("fixed name of 300 characters")
        << clFixed << 0 << "The name of split file 1 would be longer than 259 characters.";
}

void TestSplitFailures::nameThatDoesNotFit() {
    QFETCH(StructSplitSettings, settings);
    QFETCH(int, sourceLength);
    QFETCH(QString, error);
    // "<folder>/ccc...c.bvf" of sourceLength characters; scheme 1 adds "__01".
    QString clstrName = kSource;
    if (sourceLength > 0) {
        const int lFill = sourceLength - int(Folder().size()) - 1 - 4;
        QVERIFY(lFill > 0 && lFill < 250);
        clstrName = QString(lFill, u'c') + QStringLiteral(".bvf");
    }
    WorkerRig clRig;
    QVERIFY(Load(clRig, {T("10:00:00"), T("10:30:00")}, clstrName));
    if (error.isEmpty()) {
        QCOMPARE(clRig.Split(settings), 2000);
        QCOMPARE(FilesIn(Folder(), {clstrName}).size(), 1);
        QCOMPARE(Path(FilesIn(Folder(), {clstrName}).value(0)).size(), 259);
        return;
    }
    QCOMPARE(clRig.Split(settings), -1);
    QCOMPARE(clRig.events.Errors(), QStringList{error});
    // Nothing is written under a shortened name.
    QCOMPARE(FilesIn(Folder(), {clstrName}), QStringList());
}

void TestSplitFailures::sourcePathTooLongIsRefused() {
    WorkerRig clRig;
    clRig.source.name = QStringLiteral("/") + QString(255, u's') + QStringLiteral(".bvf");
    QCOMPARE(clRig.source.name.size(), 260);
    QCOMPARE(StartSplitWorker(clRig.context, clRig.source, ByTime(3600, true), nullptr, 0),
             SplitStart::SourcePathTooLong);
    QVERIFY(!WorkerHeld(clRig.context));
    QCOMPARE(clRig.events.Codes(), QList<int>());

    clRig.source.name.clear();
    QCOMPARE(StartSplitWorker(clRig.context, clRig.source, ByTime(3600, true), nullptr, 0),
             SplitStart::NoSource);
    QVERIFY(!WorkerHeld(clRig.context));
}

void TestSplitFailures::unknownModeFails() {
    WorkerRig clRig;
    QVERIFY(Load(clRig, {T("10:00:00")}));
    StructSplitSettings clSettings = ByTime(3600, true);
    clSettings.mode = 3;
    QCOMPARE(clRig.Split(clSettings), -1);
    QCOMPARE(clRig.events.Codes(), QList<int>{-1});
    QCOMPARE(FilesIn(Folder(), {kSource}), QStringList());
}

void TestSplitFailures::writeFailureEndsTheSplit() {
    // Part 1 is small; part 2 outgrows the file size limit while it is written.
    QList<RecordSpec> clRecords = {Generic(At("10:20:00"), 1000)};
    for (int i = 0; i < 40; ++i)
        clRecords << Generic(At("11:00:00") + i, 9000);
    clRecords << Generic(At("12:00:00"), 1000);
    WorkerRig clRig;
    QVERIFY(Load(clRig, clRecords));
    int lCode = 0;
    {
        CFileSizeLimit clLimit(200000);
        QVERIFY(clLimit.IsSet());
        lCode = clRig.Split(ByTime(3600, true, 1));
    }
    QCOMPARE(lCode, -1);
    QCOMPARE(clRig.events.Errors(),
             QStringList{"<" + Path("cell__02.bvf") + ">\nCan not write the file!"});
    // The part written before stays whole; no part after the failure.
    QCOMPARE(FilesIn(Folder(), {kSource}), (QStringList{"cell__01.bvf", "cell__02.bvf"}));
    const ContainerFrames clSource = FramesOf(Path(kSource));
    QCOMPARE(CompareParts({Path("cell__01.bvf")}, clSource.header, clSource.frames.mid(0, 1)),
             QString());
}

void TestSplitFailures::failedCloseEndsTheSplit() {
    // The writer keeps these records until it closes the part; the close is
    // where the write fails.
    WorkerRig clRig;
    QVERIFY(Load(clRig, {Generic(At("10:20:00"), 4000), Generic(At("10:30:00"), 4000)}));
    int lCode = 0;
    {
        CFileSizeLimit clLimit(5000);
        QVERIFY(clLimit.IsSet());
        lCode = clRig.Split(ByTime(3600, true, 1));
    }
    QCOMPARE(lCode, -1);
    QCOMPARE(clRig.events.Errors(),
             QStringList{"<" + Path("cell__01.bvf") + ">\nCan not write the file!"});
    QCOMPARE(clRig.events.Codes(), (QList<int>{0, -1}));
}

BVF_TEST_MAIN(TestSplitFailures)
#include "test_split_failures.moc"
