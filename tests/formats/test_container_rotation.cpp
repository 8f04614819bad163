// Time rotation of the container writer: which file each record lands in.
#include "BrennovarstikFileFormatV1.h"
#include "ContainerTestKit.h"
#include "OpenFileFormat.h"
#include "TestPaths.h"
#include "TestRegistry.h"

#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <cwchar>

using namespace ContainerTestKit;

namespace {

int64_t At(int lHour, int lMinute, int lSecond) {
    return QDateTime(QDate(2024, 3, 1), QTime(lHour, lMinute, lSecond), Qt::UTC).toSecsSinceEpoch();
}

// Answers the writer's questions in order; an empty path declines.
struct RotationScript {
    QStringList answers;
    QList<int64_t> boundaries;
};

bool AnswerBoundary(void *pContext, wchar_t *clstrBuffer, uint32_t lSize, int64_t lBoundary) {
    auto *pScript = static_cast<RotationScript *>(pContext);
    const int lIndex = int(pScript->boundaries.size());
    pScript->boundaries << lBoundary;
    const QString clstrPath = lIndex < pScript->answers.size() ? pScript->answers[lIndex] : "";
    const std::wstring clstrWide = ToWide(clstrPath);
    if (clstrWide.empty() || clstrWide.size() >= lSize)
        return false;
    std::wcscpy(clstrBuffer, clstrWide.c_str());
    return true;
}

class CRecords {
  public:
    CRecords() {
        std::memset(&m_clTetra, 0, sizeof(m_clTetra));
        std::memset(&m_clDmr, 0, sizeof(m_clDmr));
        std::memset(&m_clGsm, 0, sizeof(m_clGsm));
        m_clTetra.bitCount = 8;
        m_clDmr.burstKind = 1;
    }
    FileResult Tetra(CVirtualFileFormat &clWriter, int64_t lTime) {
        m_clTetra.timeSeconds = uint64_t(lTime);
        return clWriter.WriteData(Make(PAYLOAD_TETRA, &m_clTetra, kTetraTmvLength));
    }
    FileResult Dmr(CVirtualFileFormat &clWriter, int64_t lTime) {
        m_clDmr.timeSeconds = uint64_t(lTime);
        return clWriter.WriteData(Make(PAYLOAD_DMR, &m_clDmr, kDmrTmvLength));
    }
    FileResult Gsm(CVirtualFileFormat &clWriter, int64_t lTime) {
        m_clGsm.fileTime = (uint64_t(lTime) + 11644473600ULL) * 10000000ULL;
        return clWriter.WriteData(Make(PAYLOAD_GSM, &m_clGsm, kGsmTmvLength));
    }
    FileResult Generic(CVirtualFileFormat &clWriter, const char *pLabel) {
        return clWriter.WriteData(
            Make(PAYLOAD_GENERIC, const_cast<char *>(pLabel), uint32_t(std::strlen(pLabel))));
    }

  private:
    static RawRecord Make(uint8_t lKind, void *pPayload, uint32_t lLength) {
        RawRecord clRecord{};
        clRecord.recordClass = 2;
        clRecord.payloadKind = lKind;
        clRecord.payloadLength = lLength;
        clRecord.payload = pPayload;
        return clRecord;
    }
    TetraTmv m_clTetra;
    DmrTmv m_clDmr;
    GsmTmv m_clGsm;
};

QString T(int64_t lTime) {
    return QString("T:%1").arg(lTime);
}

} // namespace

class TestContainerRotation : public QObject {
    Q_OBJECT

  private slots:
    void hourlyBoundary();
    void decliningOrFailingAnswerRetriesOneIntervalLater();
    void consecutiveBoundaries();
    void boundaryDuringAnOpenOverlap();
    void orderedRecordsHeldAtCloseGoToTheirFile();
    void rotationOffAndReset();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QStringList Trace(const QString &clstrName) const {
        FileHeaderInfo clInfo{};
        std::unique_ptr<CVirtualFileFormat> pReader =
            OpenFileFormat(ToWide(Path(clstrName)).c_str(), clInfo);
        if (!pReader)
            return {"no file"};
        const QStringList clTrace = ReadTrace(*pReader);
        pReader->CloseFile();
        return clTrace;
    }
    QTemporaryDir m_clDir;
};

void TestContainerRotation::hourlyBoundary() {
    RotationScript clScript;
    clScript.answers = {Path("new.bvf")};
    CBrennovarstikFileFormatV1 clWriter;
    FileHeaderInfo clInfo{};
    clInfo.fileMagic = 0x77;
    CRecords clRecords;
    // Flag 2 keeps records in the buffer, so a file's size shows when it was
    // emptied and closed.
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(Path("old.bvf")).c_str(), clInfo, 2)), 0);
    QVERIFY(clWriter.SetAutoSplit(3600, AnswerBoundary, &clScript));

    QCOMPARE(int(clRecords.Tetra(clWriter, At(10, 59, 59))), 0);
    QCOMPARE(clScript.boundaries, QList<int64_t>());
    QCOMPARE(int(clRecords.Tetra(clWriter, At(11, 0, 0))), 0);
    QCOMPARE(clScript.boundaries, QList<int64_t>({At(11, 0, 0)}));
    QCOMPARE(QFileInfo(Path("new.bvf")).size(), qint64(2355));
    QCOMPARE(int(clRecords.Tetra(clWriter, At(10, 59, 58))), 0);
    QCOMPARE(int(clRecords.Tetra(clWriter, At(10, 59, 59))), 0);
    QCOMPARE(int(clRecords.Dmr(clWriter, At(11, 0, 1))), 0);
    // Records without a time always go to the current file.
    QCOMPARE(int(clRecords.Generic(clWriter, "between")), 0);
    QCOMPARE(int(clRecords.Tetra(clWriter, At(11, 0, 2))), 0);
    QCOMPARE(QString::fromWCharArray(clWriter.GetFileName()), Path("old.bvf"));
    const qint64 lOldBefore = QFileInfo(Path("old.bvf")).size();
    QCOMPARE(lOldBefore, qint64(2355));

    // Three seconds past the boundary the old file is written out and closed.
    QCOMPARE(int(clRecords.Gsm(clWriter, At(11, 0, 3))), 0);
    QCOMPARE(QString::fromWCharArray(clWriter.GetFileName()), Path("new.bvf"));
    QCOMPARE(Trace("old.bvf"), QStringList({T(At(10, 59, 59)), T(At(10, 59, 58)), T(At(10, 59, 59)),
                                            "G:between", "3"}));
    // Late records now go to the new file.
    QCOMPARE(int(clRecords.Tetra(clWriter, At(10, 59, 57))), 0);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);

    const QString clstrGsm =
        QString("S:%1").arg((uint64_t(At(11, 0, 3)) + 11644473600ULL) * 10000000ULL);
    QCOMPARE(Trace("new.bvf"), QStringList({T(At(11, 0, 0)), QString("D:%1/0").arg(At(11, 0, 1)),
                                            T(At(11, 0, 2)), clstrGsm, T(At(10, 59, 57)), "3"}));
    QCOMPARE(clScript.boundaries, QList<int64_t>({At(11, 0, 0)}));
    QCOMPARE(clWriter.GetWrittenBytes(),
             uint64_t(QFileInfo(Path("old.bvf")).size() + QFileInfo(Path("new.bvf")).size()));
    FileHeaderInfo clNewInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader =
        OpenFileFormat(ToWide(Path("new.bvf")).c_str(), clNewInfo);
    QVERIFY(pReader);
    QCOMPARE(clNewInfo.fileMagic, uint64_t(0x77)); // the stored header is used again
}

void TestContainerRotation::decliningOrFailingAnswerRetriesOneIntervalLater() {
    // First a declining answer, then a path that cannot be created.
    const QStringList aFirstAnswers = {"", Path("missing/folder/x.bvf")};
    for (const QString &clstrFirst : aFirstAnswers) {
        RotationScript clScript;
        clScript.answers = {clstrFirst, Path("later.bvf")};
        CBrennovarstikFileFormatV1 clWriter;
        FileHeaderInfo clInfo{};
        CRecords clRecords;
        QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(Path("first.bvf")).c_str(), clInfo, 0)), 0);
        QVERIFY(clWriter.SetAutoSplit(3600, AnswerBoundary, &clScript));
        for (int64_t lTime : {At(10, 30, 0), At(11, 0, 0), At(11, 30, 0), At(11, 59, 59),
                              At(12, 0, 0), At(12, 0, 5)}) {
            QCOMPARE(int(clRecords.Tetra(clWriter, lTime)), 0);
        }
        QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
        QCOMPARE(clScript.boundaries, QList<int64_t>({At(11, 0, 0), At(12, 0, 0)}));
        QCOMPARE(Trace("first.bvf"), QStringList({T(At(10, 30, 0)), T(At(11, 0, 0)),
                                                  T(At(11, 30, 0)), T(At(11, 59, 59)), "3"}));
        QCOMPARE(Trace("later.bvf"), QStringList({T(At(12, 0, 0)), T(At(12, 0, 5)), "3"}));
    }
}

void TestContainerRotation::consecutiveBoundaries() {
    RotationScript clScript;
    for (int lHour = 11; lHour <= 13; ++lHour)
        clScript.answers << Path(QString("hour%1.bvf").arg(lHour));
    CBrennovarstikFileFormatV1 clWriter;
    FileHeaderInfo clInfo{};
    CRecords clRecords;
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(Path("hour10.bvf")).c_str(), clInfo, 2)), 0);
    QVERIFY(clWriter.SetAutoSplit(3600, AnswerBoundary, &clScript));
    QMap<int, QStringList> clExpected;
    for (int lMinutes = 10 * 60 + 5; lMinutes < 14 * 60; lMinutes += 20) {
        const int64_t lTime = At(lMinutes / 60, lMinutes % 60, 0);
        QCOMPARE(int(clRecords.Tetra(clWriter, lTime)), 0);
        clExpected[lMinutes / 60] << T(lTime);
    }
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    QCOMPARE(clScript.boundaries, QList<int64_t>({At(11, 0, 0), At(12, 0, 0), At(13, 0, 0)}));
    for (int lHour = 10; lHour <= 13; ++lHour)
        QCOMPARE(Trace(QString("hour%1.bvf").arg(lHour)), clExpected[lHour] + QStringList{"3"});
}

void TestContainerRotation::boundaryDuringAnOpenOverlap() {
    // With a two-second interval the next boundary comes before the old file
    // would be closed; the overlap is ended first, so no file is lost.
    RotationScript clScript;
    clScript.answers = {Path("b102.bvf"), Path("b104.bvf")};
    CBrennovarstikFileFormatV1 clWriter;
    FileHeaderInfo clInfo{};
    CRecords clRecords;
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(Path("b100.bvf")).c_str(), clInfo, 0)), 0);
    QVERIFY(clWriter.SetAutoSplit(2, AnswerBoundary, &clScript));
    for (int64_t lTime : {100, 102, 104, 105})
        QCOMPARE(int(clRecords.Tetra(clWriter, lTime)), 0);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    QCOMPARE(clScript.boundaries, QList<int64_t>({102, 104}));
    QCOMPARE(Trace("b100.bvf"), QStringList({T(100), "3"}));
    QCOMPARE(Trace("b102.bvf"), QStringList({T(102), "3"}));
    QCOMPARE(Trace("b104.bvf"), QStringList({T(104), T(105), "3"}));
}

void TestContainerRotation::orderedRecordsHeldAtCloseGoToTheirFile() {
    RotationScript clScript;
    clScript.answers = {Path("held-new.bvf")};
    CBrennovarstikFileFormatV1 clWriter;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(Path("held-old.bvf")).c_str(), clInfo, 3)), 0);
    QVERIFY(clWriter.SetAutoSplit(3600, AnswerBoundary, &clScript));
    // Two downlink timeslots one frame apart, on both sides of the boundary;
    // the order buffer still holds both when the file is closed.
    TetraTmv aTetra[2];
    std::memset(aTetra, 0, sizeof(aTetra));
    for (int i = 0; i < 2; ++i) {
        aTetra[i].timeSeconds = uint64_t(At(10, 59, 59) + i);
        aTetra[i].multiframe = 1;
        aTetra[i].frame = uint8_t(1 + i);
        aTetra[i].timeslot = 1;
        RawRecord clRecord{};
        clRecord.recordClass = 2;
        clRecord.payloadKind = PAYLOAD_TETRA;
        clRecord.payloadLength = kTetraTmvLength;
        clRecord.payload = &aTetra[i];
        QCOMPARE(int(clWriter.WriteData(clRecord)), 0);
    }
    QCOMPARE(clScript.boundaries, QList<int64_t>());
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    QCOMPARE(clScript.boundaries, QList<int64_t>({At(11, 0, 0)}));
    QCOMPARE(Trace("held-old.bvf"), QStringList({T(At(10, 59, 59)), "3"}));
    QCOMPARE(Trace("held-new.bvf"), QStringList({T(At(11, 0, 0)), "3"}));
}

void TestContainerRotation::rotationOffAndReset() {
    RotationScript clScript;
    clScript.answers = {Path("never.bvf")};
    CBrennovarstikFileFormatV1 clWriter;
    FileHeaderInfo clInfo{};
    CRecords clRecords;
    QCOMPARE(clWriter.SetAutoSplit(3600, AnswerBoundary, &clScript), false); // not a writer yet
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(Path("one.bvf")).c_str(), clInfo, 0)), 0);
    // Without a callback, or with interval 0, rotation is off.
    QVERIFY(clWriter.SetAutoSplit(3600, nullptr, &clScript));
    QCOMPARE(int(clRecords.Tetra(clWriter, At(10, 59, 0))), 0);
    QCOMPARE(int(clRecords.Tetra(clWriter, At(11, 0, 0))), 0);
    QVERIFY(clWriter.SetAutoSplit(0, AnswerBoundary, &clScript));
    QCOMPARE(int(clRecords.Tetra(clWriter, At(12, 0, 0))), 0);
    // A time before 1970-01-01 00:00:01 never sets a boundary.
    QVERIFY(clWriter.SetAutoSplit(3600, AnswerBoundary, &clScript));
    QCOMPARE(int(clRecords.Tetra(clWriter, 0)), 0);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);

    // Opening again switches rotation off.
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(Path("two.bvf")).c_str(), clInfo, 0)), 0);
    QCOMPARE(int(clRecords.Tetra(clWriter, At(10, 59, 0))), 0);
    QCOMPARE(int(clRecords.Tetra(clWriter, At(11, 0, 0))), 0);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    QCOMPARE(clScript.boundaries, QList<int64_t>());
    QVERIFY(!QFileInfo::exists(Path("never.bvf")));
    QCOMPARE(Trace("one.bvf"),
             QStringList({T(At(10, 59, 0)), T(At(11, 0, 0)), T(At(12, 0, 0)), T(0), "3"}));
    QCOMPARE(Trace("two.bvf"), QStringList({T(At(10, 59, 0)), T(At(11, 0, 0)), "3"}));
}

BVF_TEST_MAIN(TestContainerRotation)
#include "test_container_rotation.moc"
