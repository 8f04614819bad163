// The merge worker: what each output holds (frames compared byte by byte with
// the sources' frames), the questions it asks and how their answers steer it,
// the destinations it refuses, and how it ends after a failure or a stop. The
// round trip splits a recording with the split worker and merges the parts.
#include "FileSizeLimit.h"
#include "MergeTestKit.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <unistd.h>

using namespace MergeTestKit;
using namespace WorkerTestKit;

Q_DECLARE_METATYPE(MergeTestKit::MergeReply)

namespace {

constexpr uint64_t kMagicA = 0xA1A1;
constexpr uint64_t kMagicB = 0xB2B2;

// lCount TETRA records from lFirst on, one per second.
QList<RecordSpec> Run(int64_t lFirst, int lCount) {
    QList<RecordSpec> clSpecs;
    for (int i = 0; i < lCount; ++i)
        clSpecs << Tetra(lFirst + i);
    return clSpecs;
}

// A reader that delivers lGood records of the real one and then answers
// enFailure for good, without moving on.
class CFailingReader final : public CVirtualFileFormat {
  public:
    CFailingReader(SourceReader pInner, int lGood, FileResult enFailure)
        : m_pInner(std::move(pInner)), m_lGood(lGood), m_enFailure(enFailure) {}

    FileResult OpenFile(const wchar_t *, FileHeaderInfo &, uint8_t) override {
        return FILE_WRONG_STATE;
    }
    FileResult ReadData(RawRecord &clRecord) override {
        if (m_lDelivered >= m_lGood)
            return m_enFailure;
        const FileResult enResult = m_pInner->ReadData(clRecord);
        if (enResult == FILE_OK)
            ++m_lDelivered;
        return enResult;
    }
    void CloseFile() override { m_pInner.reset(); }
    double GetProgress() override { return m_pInner ? m_pInner->GetProgress() : 0; }
    uint64_t GetFileSize(bool bTotal) override {
        return m_pInner ? m_pInner->GetFileSize(bTotal) : 0;
    }
    bool SetOption(uint8_t, int32_t) override { return false; }
    FileResult OpenFileForWriting(const wchar_t *, const FileHeaderInfo &, uint8_t) override {
        return FILE_WRONG_STATE;
    }
    FileResult WriteData(const RawRecord &) override { return FILE_WRONG_DIRECTION; }
    FileResult CloseFileForWriting() override { return FILE_OK; }
    FileResult FlushData() override { return FILE_OK; }
    uint64_t GetWrittenBytes() override { return 0; }
    bool SetAutoSplit(int64_t, AutoSplitCallback, void *) override { return false; }
    bool ReservedQuery() override { return false; }
    const wchar_t *GetFileName() override { return L""; }
    bool IsOnlineFile() override { return false; }
    bool ReservedValue32(uint32_t, uint32_t &) override { return false; }
    bool ReservedValue64(uint64_t, uint64_t &) override { return false; }

  private:
    SourceReader m_pInner;
    int m_lGood;
    FileResult m_enFailure;
    int m_lDelivered = 0;
};

// A merge run on the test's thread with its own way of opening sources.
struct DirectRun {
    CMergeEvents events;
    StructWorkerContext context{&events};
    StructSourceInfo source;

    explicit DirectRun(const QStringList &clFiles) {
        events.Attach(context);
        PrepareDirectRun(context, clFiles, source);
    }
};

// The frames of the files one after the other.
QList<QByteArray> FramesOfAll(const QStringList &clPaths) {
    QList<QByteArray> clFrames;
    for (const QString &clstrPath : clPaths)
        clFrames << FramesOf(clstrPath).frames;
    return clFrames;
}

} // namespace

class TestMergeWorker : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void startNeedsTwoFilesPerGroup();
    void overlappingFilesAreConcatenated();
    void twoGroupsGiveTwoOutputs();
    void outputThatCannotBeOpenedIsAskedAgain();
    void cancellingTheOutputEndsTheMerge_data();
    void cancellingTheOutputEndsTheMerge();
    void unreadableSource_data();
    void unreadableSource();
    void damagedRecordIsLeftOutAndReported_data();
    void damagedRecordIsLeftOutAndReported();
    void readingFailureKeepsWhatWasCopied_data();
    void readingFailureKeepsWhatWasCopied();
    void kindsMaskGainsCopiedKinds();
    void destinationRefused_data();
    void destinationRefused();
    void refusedDestinationAnsweredWithoutCheck();
    void questionsWaitForAnswerOrStop_data();
    void questionsWaitForAnswerOrStop();
    void writeFailureIsAskedAndRetried_data();
    void writeFailureIsAskedAndRetried();
    void failedCloseIsAFailedWrite();
    void stopDuringCopy();
    void roundTripThroughSplitByNumber();

  private:
    QString Path(const QString &clstrName) const { return m_pDir->filePath(clstrName); }
    // Writes the recordings and adds them to the rig's list with the fill
    // worker, in the given order.
    bool Listed(MergeRig &clRig, const QList<std::pair<QString, QList<RecordSpec>>> &clFiles,
                uint64_t lMagic = kMagicA) const {
        QStringList clPaths;
        for (const auto &clFile : clFiles) {
            if (!WriteRecording(Path(clFile.first), clFile.second, lMagic))
                return false;
            clPaths << Path(clFile.first);
        }
        return clRig.Fill(clPaths) == 1000;
    }
    // Two groups of two: a1, a2 (magic A) then b1, b2 (magic B).
    bool TwoGroups(MergeRig &clRig) const {
        return Listed(clRig,
                      {{"a1.bvf", Run(At("10:00:00"), 20)}, {"a2.bvf", Run(At("10:00:20"), 20)}}) &&
               Listed(clRig,
                      {{"b1.bvf", Run(At("08:00:00"), 15)}, {"b2.bvf", Run(At("08:00:15"), 15)}},
                      kMagicB);
    }
    // The merged file holds these sources' frames in order, behind the first
    // one's header.
    static QString HoldsSources(const QString &clstrOutput, const QStringList &clSources) {
        return CompareParts({clstrOutput}, FramesOf(clSources.first()).header,
                            FramesOfAll(clSources));
    }

    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestMergeWorker::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
}

void TestMergeWorker::cleanup() {
    m_pDir.reset();
}

void TestMergeWorker::startNeedsTwoFilesPerGroup() {
    MergeRig clRig;
    uint64_t lMagic = 0;
    QCOMPARE(StartMergeWorker(clRig.context, clRig.list, clRig.source, &lMagic),
             MergeStart::EmptyList);

    clRig.list.Insert(Entry(Path("a1.bvf"), kMagicA));
    QCOMPARE(StartMergeWorker(clRig.context, clRig.list, clRig.source, &lMagic),
             MergeStart::SingleFileGroup);
    QCOMPARE(lMagic, kMagicA);

    clRig.list.Insert(Entry(Path("a2.bvf"), kMagicA));
    clRig.list.Insert(Entry(Path("b1.bvf"), kMagicB));
    QCOMPARE(StartMergeWorker(clRig.context, clRig.list, clRig.source, &lMagic),
             MergeStart::SingleFileGroup);
    QCOMPARE(lMagic, kMagicB);
    QVERIFY(!WorkerHeld(clRig.context));
    QCOMPARE(clRig.events.Log(), QStringList());
}

void TestMergeWorker::overlappingFilesAreConcatenated() {
    MergeRig clRig;
    QVERIFY(Listed(
        clRig, {{"first.bvf", Run(At("10:00:00"), 20)}, {"second.bvf", Run(At("10:00:10"), 20)}}));
    MergeReply clReply = MergeReply::To(Path("joined.bvf"));
    // The merge works on the names taken at its start; the list may change.
    clReply.before = [&clRig] { clRig.list.Clear(); };
    clRig.events.Script({clReply});
    QCOMPARE(clRig.Merge(), 1000);

    QCOMPARE(clRig.events.Questions(), QStringList{"output first " + Path("first.bvf")});
    QCOMPARE(HoldsSources(Path("joined.bvf"), {Path("first.bvf"), Path("second.bvf")}), QString());
    const QStringList clTimes = RecordTimes(Path("joined.bvf"));
    QCOMPARE(clTimes.size(), 40);
    QCOMPARE(clTimes.mid(18, 4), (QStringList{"10:00:18", "10:00:19", "10:00:10", "10:00:11"}));
    const QList<int> clCodes = clRig.events.Codes();
    QCOMPARE(clCodes.first(), 0);
    QCOMPARE(clCodes.last(), 1000);
}

void TestMergeWorker::twoGroupsGiveTwoOutputs() {
    MergeRig clRig;
    QVERIFY(TwoGroups(clRig));
    clRig.events.Script({MergeReply::To(Path("a.bvf")), MergeReply::To(Path("b.bvf"))});
    QCOMPARE(clRig.Merge(), 1000);

    QCOMPARE(clRig.events.Questions(),
             (QStringList{"output first " + Path("a1.bvf"), "output first " + Path("b1.bvf")}));
    QCOMPARE(HoldsSources(Path("a.bvf"), {Path("a1.bvf"), Path("a2.bvf")}), QString());
    QCOMPARE(HoldsSources(Path("b.bvf"), {Path("b1.bvf"), Path("b2.bvf")}), QString());
}

void TestMergeWorker::outputThatCannotBeOpenedIsAskedAgain() {
    MergeRig clRig;
    QVERIFY(
        Listed(clRig, {{"a1.bvf", Run(At("10:00:00"), 5)}, {"a2.bvf", Run(At("10:00:05"), 5)}}));
    QVERIFY(QDir(m_pDir->path()).mkdir("folder.bvf"));
    clRig.events.Script({MergeReply::To(Path("folder.bvf")), MergeReply::To(Path("none/x.bvf")),
                         MergeReply::To(Path("joined.bvf"))});
    QCOMPARE(clRig.Merge(), 1000);

    QCOMPARE(clRig.events.Questions(),
             (QStringList{"output first " + Path("a1.bvf"), "output again " + Path("a1.bvf"),
                          "output again " + Path("a1.bvf")}));
    QCOMPARE(HoldsSources(Path("joined.bvf"), {Path("a1.bvf"), Path("a2.bvf")}), QString());
    QVERIFY(QFileInfo(Path("folder.bvf")).isDir());
}

void TestMergeWorker::cancellingTheOutputEndsTheMerge_data() {
    QTest::addColumn<MergeReply>("reply");
    QTest::newRow("empty name") << MergeReply::To(QString());
    QTest::newRow("question closed") << MergeReply::Of(MergeReply::Close);
    QTest::newRow("stop while asked") << MergeReply::Of(MergeReply::Stop, true);
    QTest::newRow("question not taken") << MergeReply::Of(MergeReply::NotTaken);
}

void TestMergeWorker::cancellingTheOutputEndsTheMerge() {
    QFETCH(MergeReply, reply);
    MergeRig clRig;
    QVERIFY(TwoGroups(clRig));
    clRig.source.name = QStringLiteral("/rec/loaded.bvf");
    clRig.events.Script({MergeReply::To(Path("a.bvf")), reply});
    QCOMPARE(clRig.Merge(), -1);

    QCOMPARE(clRig.events.Questions(),
             (QStringList{"output first " + Path("a1.bvf"), "output first " + Path("b1.bvf")}));
    // The output finished before stays complete; no other file is written.
    QCOMPARE(HoldsSources(Path("a.bvf"), {Path("a1.bvf"), Path("a2.bvf")}), QString());
    QCOMPARE(FilesIn(m_pDir->path()),
             (QStringList{"a.bvf", "a1.bvf", "a2.bvf", "b1.bvf", "b2.bvf"}));
    QCOMPARE(clRig.events.Codes().last(), -1);
    QCOMPARE(clRig.source.name, QString());
}

void TestMergeWorker::unreadableSource_data() {
    QTest::addColumn<bool>("ignore");
    QTest::newRow("ignore") << true;
    QTest::newRow("abort") << false;
}

void TestMergeWorker::unreadableSource() {
    QFETCH(bool, ignore);
    MergeRig clRig;
    QVERIFY(WriteRecording(Path("a2.bvf"), Run(At("10:00:10"), 5), kMagicA));
    QVERIFY(WriteRecording(Path("a3.bvf"), Run(At("10:00:20"), 5), kMagicA));
    // Listed first of its group but gone by the time of the merge.
    clRig.list.Insert(Entry(Path("a1.bvf"), kMagicA, At("10:00:00"), At("10:00:04")));
    QCOMPARE(clRig.Fill({Path("a2.bvf"), Path("a3.bvf")}), 1000);
    clRig.events.Script(
        {MergeReply::Of(ignore ? MergeReply::GoOn : MergeReply::Abort), MergeReply::To(Path("j"))});
    QCOMPARE(clRig.Merge(), ignore ? 1000 : -1);

    if (ignore) {
        // The next readable file of the group opens the output, with its header.
        QCOMPARE(clRig.events.Questions(),
                 (QStringList{"open read " + Path("a1.bvf"), "output first " + Path("a2.bvf")}));
        QCOMPARE(HoldsSources(Path("j"), {Path("a2.bvf"), Path("a3.bvf")}), QString());
    } else {
        QCOMPARE(clRig.events.Questions(), QStringList{"open read " + Path("a1.bvf")});
        QVERIFY(!QFileInfo::exists(Path("j")));
    }
}

void TestMergeWorker::damagedRecordIsLeftOutAndReported_data() {
    QTest::addColumn<int>("garbage"); // bytes that form no record
    QTest::addColumn<QString>("notice");
    QTest::newRow("a refused record")
        << 0 << "1 damaged record(s) could not be read and are missing in the merged file.";
    QTest::newRow("and bytes that form no record")
        << 300
        << "1 damaged record(s) and 300 damaged byte(s) could not be read and are missing in "
           "the merged file.";
}

void TestMergeWorker::damagedRecordIsLeftOutAndReported() {
    QFETCH(int, garbage);
    QFETCH(QString, notice);
    QVERIFY(WriteRecording(Path("intact.bvf"), Run(At("10:00:00"), 10), kMagicA));
    const ContainerFrames clIntact = FramesOf(Path("intact.bvf"));
    QByteArray clBytes = clIntact.header;
    for (int i = 0; i < clIntact.frames.size(); ++i) {
        clBytes += clIntact.frames[i];
        // A whole record with a good checksum that the reader cannot take.
        if (i == 3)
            clBytes += ContainerBytes::Frame(3, QByteArray(60, '\x11'), 1);
        if (i == 6)
            clBytes += QByteArray(garbage, '\x7e');
    }
    QVERIFY(WriteBytes(Path("damaged.bvf"), clBytes));
    QVERIFY(WriteRecording(Path("after.bvf"), Run(At("10:00:10"), 10), kMagicA));

    MergeRig clRig;
    QCOMPARE(clRig.Fill({Path("damaged.bvf"), Path("after.bvf")}), 1000);
    clRig.events.Script({MergeReply::To(Path("joined.bvf"))});
    QCOMPARE(clRig.Merge(), 1000);

    // Every readable record, before and after the damage, and those of the
    // next file; the user learns what is missing.
    QCOMPARE(HoldsSources(Path("joined.bvf"), {Path("intact.bvf"), Path("after.bvf")}), QString());
    QCOMPARE(clRig.events.Questions(),
             (QStringList{"output first " + Path("damaged.bvf"),
                          "notice <" + Path("damaged.bvf") + ">\n" + notice}));
}

void TestMergeWorker::readingFailureKeepsWhatWasCopied_data() {
    QTest::addColumn<int>("failure");
    QTest::newRow("read error") << int(FILE_WRITE_FAILED);
    QTest::newRow("damage the reader cannot get past") << int(FILE_DAMAGED);
    QTest::newRow("reader in a wrong state") << int(FILE_WRONG_STATE);
}

void TestMergeWorker::readingFailureKeepsWhatWasCopied() {
    QFETCH(int, failure);
    QVERIFY(WriteRecording(Path("a1.bvf"), Run(At("10:00:00"), 10), kMagicA));
    QVERIFY(WriteRecording(Path("a2.bvf"), Run(At("10:00:10"), 10), kMagicA));
    QVERIFY(WriteRecording(Path("a3.bvf"), Run(At("10:00:20"), 10), kMagicA));
    const QString clstrFailing = Path("a2.bvf");

    DirectRun clRun({Path("a1.bvf"), clstrFailing, Path("a3.bvf")});
    clRun.source.name = QStringLiteral("/rec/loaded.bvf");
    clRun.events.Script({MergeReply::To(Path("joined.bvf"))});
    const MergeSourceOpener fnOpen = [&](const QString &clstrPath, FileHeaderInfo &clHeader) {
        SourceReader pReader = OpenSource(clstrPath, clHeader);
        if (!pReader || clstrPath != clstrFailing)
            return pReader;
        return SourceReader(new CFailingReader(std::move(pReader), 4, FileResult(failure)));
    };
    QVERIFY(!RunMergeWorker(clRun.context, fnOpen).Succeeded());

    const QStringList clLog = clRun.events.Log();
    const qsizetype lReport = clLog.indexOf("read failed " + clstrFailing);
    QVERIFY2(lReport > 0, qPrintable(clLog.join(u',')));
    // The bar shows how far the merge came before the problem is shown.
    QVERIFY2(clLog[lReport - 1].startsWith("progress "), qPrintable(clLog[lReport - 1]));
    const int lCode = clLog[lReport - 1].mid(9).toInt();
    QVERIFY(lCode >= 333 && lCode <= 999);
    QCOMPARE(clLog.mid(lReport + 1), QStringList{"progress -1"});
    QCOMPARE(clRun.events.Questions(),
             (QStringList{"output first " + Path("a1.bvf"), "read failed " + clstrFailing}));
    // The closed output holds the first file and the records read before.
    const QList<QByteArray> clExpected =
        FramesOf(Path("a1.bvf")).frames + FramesOf(clstrFailing).frames.mid(0, 4);
    QCOMPARE(CompareParts({Path("joined.bvf")}, FramesOf(Path("a1.bvf")).header, clExpected),
             QString());
    QVERIFY(clRun.context.doneEvent->IsSet());
    QVERIFY(!clRun.context.mergeDestination);
    QCOMPARE(clRun.source.name, QString());
}

void TestMergeWorker::kindsMaskGainsCopiedKinds() {
    MergeRig clRig;
    QVERIFY(Listed(clRig, {{"a1.bvf", {Tetra(At("10:00:00")), Dmr(At("10:00:01")), Notice()}},
                           {"a2.bvf", {Gsm(At("10:00:02")), Generic(At("10:00:03"))}}}));
    clRig.source.kindMask = uint64_t(1) << 40;
    clRig.events.Script({MergeReply::To(Path("joined.bvf"))});
    QCOMPARE(clRig.Merge(), 1000);
    const uint64_t lExpected = (uint64_t(1) << 40) | (1 << PAYLOAD_TETRA) | (1 << PAYLOAD_DMR) |
                               (1 << PAYLOAD_NOTICE) | (1 << PAYLOAD_GSM) | (1 << PAYLOAD_GENERIC);
    QCOMPARE(clRig.source.kindMask, lExpected);
    QCOMPARE(RecordTimes(Path("joined.bvf")),
             (QStringList{"10:00:00", "10:00:01", "N", "10:00:02", "10:00:03"}));
}

void TestMergeWorker::destinationRefused_data() {
    QTest::addColumn<QString>("destination"); // %1: the folder
    QTest::addColumn<QString>("refusal");

    QTest::newRow("a source of this output") << "%1/a1.bvf"
                                             << "is a source";
    QTest::newRow("a source with doubled separators") << "%1//a2.bvf"
                                                      << "is a source";
    QTest::newRow("a source through ./") << "%1/./a1.bvf"
                                         << "is a source";
    QTest::newRow("a source through ..") << "%1/sub/../a2.bvf"
                                         << "is a source";
    QTest::newRow("a symbolic link to a source") << "%1/link.bvf"
                                                 << "is a source";
    QTest::newRow("a hard link to a source") << "%1/hard.bvf"
                                             << "is a source";
    QTest::newRow("a source of a later output") << "%1/b2.bvf"
                                                << "is a source";
    QTest::newRow("longer than 259 characters") << "%1/" + QString(300, u'x') + ".bvf"
                                                << "too long";
}

void TestMergeWorker::destinationRefused() {
    QFETCH(QString, destination);
    QFETCH(QString, refusal);
    MergeRig clRig;
    QVERIFY(TwoGroups(clRig));
    QVERIFY(QDir(m_pDir->path()).mkdir("sub"));
    QVERIFY(QFile::link(Path("a2.bvf"), Path("link.bvf")));
    QCOMPARE(::link(QFile::encodeName(Path("b1.bvf")).constData(),
                    QFile::encodeName(Path("hard.bvf")).constData()),
             0);
    const QStringList clSources{Path("a1.bvf"), Path("a2.bvf"), Path("b1.bvf"), Path("b2.bvf")};
    QList<QByteArray> clBefore;
    for (const QString &clstrSource : clSources)
        clBefore << FileBytes(clstrSource);

    // The same refusal for the second output too, where the first output is
    // also refused.
    const QString clstrRefused = destination.arg(m_pDir->path());
    clRig.events.Script({MergeReply::To(clstrRefused), MergeReply::To(Path("a.bvf")),
                         MergeReply::To(clstrRefused), MergeReply::To(Path("a.bvf")),
                         MergeReply::To(Path("b.bvf"))});
    QCOMPARE(clRig.Merge(), 1000);

    QCOMPARE(clRig.events.Questions(),
             (QStringList{"output first " + Path("a1.bvf"), "refused " + refusal,
                          "output first " + Path("b1.bvf"), "refused " + refusal,
                          "refused already written"}));
    for (int i = 0; i < clSources.size(); ++i)
        QVERIFY2(FileBytes(clSources[i]) == clBefore[i], qPrintable(clSources[i]));
    QCOMPARE(HoldsSources(Path("a.bvf"), {Path("a1.bvf"), Path("a2.bvf")}), QString());
    QCOMPARE(HoldsSources(Path("b.bvf"), {Path("b1.bvf"), Path("b2.bvf")}), QString());
    QVERIFY(!MergeDestinationProblemText(refusal == "too long" ? MergeDestination::TooLong
                                                               : MergeDestination::IsSource)
                 .isEmpty());
}

void TestMergeWorker::refusedDestinationAnsweredWithoutCheck() {
    // A dialog that stores a source as the destination without asking the
    // check: the worker refuses it all the same and asks again.
    MergeRig clRig;
    QVERIFY(
        Listed(clRig, {{"a1.bvf", Run(At("10:00:00"), 5)}, {"a2.bvf", Run(At("10:00:05"), 5)}}));
    const QByteArray clBefore = FileBytes(Path("a2.bvf"));
    MergeReply clCareless = MergeReply::Of(MergeReply::Bypass);
    clCareless.path = m_pDir->path() + "/./a2.bvf";
    clRig.events.Script({clCareless, MergeReply::To(Path("joined.bvf"))});
    QCOMPARE(clRig.Merge(), 1000);

    QCOMPARE(clRig.events.Questions(),
             (QStringList{"output first " + Path("a1.bvf"), "output again " + Path("a1.bvf")}));
    QCOMPARE(FileBytes(Path("a2.bvf")), clBefore);
    QCOMPARE(HoldsSources(Path("joined.bvf"), {Path("a1.bvf"), Path("a2.bvf")}), QString());
}

void TestMergeWorker::questionsWaitForAnswerOrStop_data() {
    QTest::addColumn<MergeReply>("reply");
    QTest::addColumn<int>("end");
    QTest::newRow("answered later by another thread")
        << MergeReply::To(QStringLiteral("joined.bvf"), true) << 1000;
    QTest::newRow("stopped while open") << MergeReply::Of(MergeReply::Stop, true) << -1;
}

void TestMergeWorker::questionsWaitForAnswerOrStop() {
    QFETCH(MergeReply, reply);
    QFETCH(int, end);
    MergeRig clRig;
    QVERIFY(
        Listed(clRig, {{"a1.bvf", Run(At("10:00:00"), 5)}, {"a2.bvf", Run(At("10:00:05"), 5)}}));
    if (!reply.path.isEmpty())
        reply.path = Path("joined.bvf");
    clRig.events.Script({reply});
    QCOMPARE(clRig.Merge(), end);
    QCOMPARE(QFileInfo::exists(Path("joined.bvf")), end == 1000);

    // A question that stays open: Release worker stops the worker and waits
    // for its end before it frees anything.
    clRig.events.Restart();
    clRig.events.Script({MergeReply::Of(MergeReply::NoAnswer)});
    QCOMPARE(StartMergeWorker(clRig.context, clRig.list, clRig.source), MergeStart::Started);
    QTRY_COMPARE(clRig.events.Questions().size(), 1);
    QVERIFY(QuestionIsOpen(clRig.context));
    QVERIFY(!clRig.context.doneEvent->IsSet());
    ReleaseWorker(clRig.context);
    QCOMPARE(clRig.events.Codes().last(), -1);
    // An answer after the stop reaches no one.
    QCOMPARE(AnswerMergeDestination(clRig.context, Path("late.bvf")), MergeDestination::NoQuestion);
    QVERIFY(!AnswerMergeQuestion(clRig.context, true));
}

void TestMergeWorker::writeFailureIsAskedAndRetried_data() {
    QTest::addColumn<bool>("retry");
    QTest::newRow("retry after room was made") << true;
    QTest::newRow("abort") << false;
}

void TestMergeWorker::writeFailureIsAskedAndRetried() {
    QFETCH(bool, retry);
    MergeRig clRig;
    QVERIFY(Listed(clRig,
                   {{"a1.bvf", Run(At("10:00:00"), 2500)}, {"a2.bvf", Run(At("11:00:00"), 2500)}}));
    // More than the writer keeps in its buffer: it writes while a1 is copied.
    QVERIFY(QFileInfo(Path("a1.bvf")).size() > qint64(CBrennovarstikFileFormatV1::kKeepBelow));

    CFileSizeLimit clLimit(64 * 1024);
    QVERIFY(clLimit.IsSet());
    MergeReply clAnswer = MergeReply::Of(retry ? MergeReply::GoOn : MergeReply::Abort);
    // After an abort the close fails too; the user has been told already.
    if (retry)
        clAnswer.before = [&clLimit] { clLimit.Lift(); };
    clRig.events.Script({MergeReply::To(Path("joined.bvf")), clAnswer});
    QCOMPARE(clRig.Merge(), retry ? 1000 : -1);
    clLimit.Lift();

    const QStringList clLog = clRig.events.Log();
    const qsizetype lQuestion = clLog.indexOf("write failed " + Path("joined.bvf"));
    QVERIFY2(lQuestion > 0, qPrintable(clLog.join(u',')));
    QVERIFY2(clLog[lQuestion - 1].startsWith("progress "), qPrintable(clLog[lQuestion - 1]));
    QCOMPARE(clRig.events.Questions(),
             (QStringList{"output first " + Path("a1.bvf"), "write failed " + Path("joined.bvf")}));
    if (retry) {
        // The record that failed is written once, with everything before it.
        QCOMPARE(HoldsSources(Path("joined.bvf"), {Path("a1.bvf"), Path("a2.bvf")}), QString());
    } else {
        // What reached the file is whole frames of the first source, in order.
        const ContainerFrames clOutput = FramesOf(Path("joined.bvf"));
        QVERIFY(!clOutput.frames.isEmpty());
        QCOMPARE(clOutput.frames, FramesOf(Path("a1.bvf")).frames.mid(0, clOutput.frames.size()));
    }
}

void TestMergeWorker::failedCloseIsAFailedWrite() {
    // Small enough to stay in the writer's buffer until the close, larger
    // than the file may grow.
    MergeRig clRig;
    QVERIFY(Listed(clRig,
                   {{"a1.bvf", Run(At("10:00:00"), 300)}, {"a2.bvf", Run(At("11:00:00"), 300)}}));
    QVERIFY(QFileInfo(Path("a1.bvf")).size() + QFileInfo(Path("a2.bvf")).size() > 30000);

    CFileSizeLimit clLimit(20000);
    QVERIFY(clLimit.IsSet());
    clRig.events.Script({MergeReply::To(Path("joined.bvf"))});
    QCOMPARE(clRig.Merge(), -1);
    clLimit.Lift();
    QCOMPARE(clRig.events.Questions(),
             (QStringList{"output first " + Path("a1.bvf"),
                          "failed <" + Path("joined.bvf") + ">\nCan not write the file!"}));
}

void TestMergeWorker::stopDuringCopy() {
    MergeRig clRig;
    QVERIFY(Listed(clRig,
                   {{"a1.bvf", Run(At("10:00:00"), 6000)}, {"a2.bvf", Run(At("12:00:00"), 10)}}));
    clRig.events.OnProgress([&clRig](int lCode) {
        if (lCode >= 1 && lCode <= 999)
            RequestWorkerStop(clRig.context);
    });
    clRig.events.Script({MergeReply::To(Path("joined.bvf"))});
    QCOMPARE(clRig.Merge(), -1);

    // Stopped within the next 1001 records; what was written is closed whole.
    const ContainerFrames clOutput = FramesOf(Path("joined.bvf"));
    QVERIFY(clOutput.ok);
    QVERIFY(clOutput.frames.size() >= 1001 && clOutput.frames.size() < 6000);
    QCOMPARE(clOutput.frames, FramesOf(Path("a1.bvf")).frames.mid(0, clOutput.frames.size()));
    QCOMPARE(clRig.events.Questions(), QStringList{"output first " + Path("a1.bvf")});
}

void TestMergeWorker::roundTripThroughSplitByNumber() {
    QVERIFY(QDir(m_pDir->path()).mkdir("rec"));
    const QString clstrFolder = Path("rec");
    const QString clstrSource = clstrFolder + "/cell.bvf";
    QList<RecordSpec> clSpecs;
    for (int i = 0; i < 800; ++i) {
        const int64_t lTime = At("10:00:00") + i / 3;
        switch (i % 5) {
        case 0:
            clSpecs << Tetra(lTime, 390000000);
            break;
        case 1:
            clSpecs << Dmr(lTime);
            break;
        case 2:
            clSpecs << Gsm(lTime);
            break;
        case 3:
            clSpecs << Generic(lTime, 80 + i % 40);
            break;
        default:
            clSpecs << (i % 10 == 4 ? Notice() : Aux(lTime));
            break;
        }
    }
    QVERIFY(WriteRecording(clstrSource, clSpecs, 0xC0FFEE));

    WorkerRig clSplit;
    QCOMPARE(clSplit.Scan(clstrSource), 1000);
    QCOMPARE(clSplit.Split(ByNumber(4)), 2000);
    QStringList clParts;
    for (const QString &clstrName : FilesIn(clstrFolder, {"cell.bvf"}))
        clParts << clstrFolder + "/" + clstrName;
    QCOMPARE(clParts.size(), 4);

    MergeRig clRig;
    QCOMPARE(clRig.Fill(clParts), 1000);
    QCOMPARE(clRig.list.FileNames(), clParts);
    clRig.events.Script({MergeReply::To(Path("joined.bvf"))});
    QCOMPARE(clRig.Merge(), 1000);

    const ContainerFrames clSource = FramesOf(clstrSource);
    QVERIFY(clSource.ok);
    QCOMPARE(clSource.frames.size(), 800);
    QCOMPARE(CompareParts({Path("joined.bvf")}, clSource.header, clSource.frames), QString());
    QCOMPARE(FileBytes(Path("joined.bvf")), FileBytes(clstrSource));
    const QList<int> clCodes = clRig.events.Codes();
    QCOMPARE(clCodes.first(), 0);
    QCOMPARE(clCodes.last(), 1000);
    for (qsizetype i = 1; i + 1 < clCodes.size(); ++i)
        QVERIFY(clCodes[i] >= 1 && clCodes[i] <= 999 && clCodes[i] >= clCodes[i - 1]);
}

BVF_TEST_MAIN(TestMergeWorker)
#include "test_merge_worker.moc"
