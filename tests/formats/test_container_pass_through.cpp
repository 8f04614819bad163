// Frames passed through unchanged: which frames a reader offers, and a writer
// that appends a frame as read with exactly the buffering, counting, refusals
// and write errors of WriteData for the same record.
#include "BrennovarstikFileFormatV1.h"
#include "ContainerBytes.h"
#include "ContainerTestKit.h"
#include "FileSizeLimit.h"
#include "TestPaths.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <memory>
#include <random>
#include <sys/resource.h>
#include <vector>

using namespace ContainerBytes;
using namespace ContainerTestKit;

namespace {

FileHeaderInfo EmptyHeader() {
    FileHeaderInfo clInfo;
    std::memset(&clInfo, 0, sizeof(clInfo));
    clInfo.infoType = 1;
    return clInfo;
}

QByteArray FrameBytes(const uint8_t *pFrame, uint32_t lLength) {
    return QByteArray(reinterpret_cast<const char *>(pFrame), int(lLength));
}

// The frame the reader offers for its last delivery, empty when none.
QByteArray OfferedFrame(const CBrennovarstikFileFormatV1 &clReader) {
    const uint8_t *pFrame = nullptr;
    uint32_t lLength = 0;
    if (!clReader.GetDeliveredFrame(pFrame, lLength))
        return {};
    return FrameBytes(pFrame, lLength);
}

// Records of every kind with every field drawn at random, within what the
// writer accepts; the same seed gives the same records.
class CRandomRecords {
  public:
    explicit CRandomRecords(uint64_t lSeed) : m_clRandom(lSeed) {}

    const RawRecord &Next() {
        m_clRecord = RawRecord{};
        m_clRecord.recordClass = 2;
        m_clRecord.sourceByte = uint8_t(Draw(256));
        m_clRecord.frequency = m_clRandom();
        m_clRecord.symbolRate = uint32_t(m_clRandom());
        m_clRecord.value16 = uint16_t(m_clRandom());
        static constexpr uint8_t aKinds[] = {PAYLOAD_TETRA, PAYLOAD_TETRA_AUX, PAYLOAD_DMR,
                                             PAYLOAD_GSM,   PAYLOAD_NOTICE,    PAYLOAD_GENERIC};
        m_clRecord.payloadKind = aKinds[Draw(sizeof(aKinds))];
        switch (m_clRecord.payloadKind) {
        case PAYLOAD_TETRA:
        case PAYLOAD_TETRA_AUX:
            Fill(&m_clTetra, sizeof(m_clTetra));
            m_clTetra.bitCount = uint16_t(Draw(kTetraDataCopyLimit * 8 + 1));
            if (Draw(2) == 0)
                m_clTetra.extended = 0; // type 3 rather than 8
            Point(&m_clTetra, kTetraTmvLength);
            break;
        case PAYLOAD_DMR:
            Fill(&m_clDmr, sizeof(m_clDmr));
            m_clDmr.burstKind = uint8_t(Draw(4));
            for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot) {
                DmrItemRef clItem = DmrItemAt(m_clDmr, lSlot);
                uint32_t lKind = uint32_t(Draw(40));
                if (DmrSlotForKind(lKind) != lSlot)
                    lKind = 0;
                clItem.item->itemKind = lKind;
                if (lKind != 0)
                    clItem.item->bitCount = uint16_t(Draw(DmrMaxBytesForKind(lKind) * 8 + 1));
            }
            Point(&m_clDmr, kDmrTmvLength);
            break;
        case PAYLOAD_GSM:
            Fill(&m_clGsm, sizeof(m_clGsm));
            m_clGsm.bitCount = uint16_t(Draw(kGsmDataCopyLimit * 8 + 1));
            Point(&m_clGsm, kGsmTmvLength);
            break;
        case PAYLOAD_NOTICE:
            Fill(&m_clNotice, sizeof(m_clNotice));
            Point(&m_clNotice, kNoticeTmvLength);
            break;
        default:
            m_clGeneric.resize(Draw(3000));
            Fill(m_clGeneric.data(), m_clGeneric.size());
            Point(m_clGeneric.data(), uint32_t(m_clGeneric.size()));
            break;
        }
        return m_clRecord;
    }

  private:
    uint64_t Draw(uint64_t lBelow) { return m_clRandom() % lBelow; }
    void Fill(void *pData, size_t lLength) {
        auto *pBytes = static_cast<uint8_t *>(pData);
        for (size_t i = 0; i < lLength; ++i)
            pBytes[i] = uint8_t(m_clRandom());
    }
    void Point(void *pPayload, uint32_t lLength) {
        m_clRecord.payload = pPayload;
        m_clRecord.payloadLength = lLength;
    }

    std::mt19937_64 m_clRandom;
    RawRecord m_clRecord{};
    TetraTmv m_clTetra{};
    DmrTmv m_clDmr{};
    GsmTmv m_clGsm{};
    NoticeTmv m_clNotice{};
    std::vector<uint8_t> m_clGeneric;
};

bool RotateNever(void *, wchar_t *, uint32_t, int64_t) {
    return false;
}

QByteArray TetraRecord(int lVersion, uint64_t lSeconds) {
    TetraBody clBody;
    clBody.timeSeconds = lSeconds;
    clBody.timeslot = 1;
    clBody.bitCount = 16;
    clBody.data = QByteArray("\x5A\xA5", 2);
    return Record(3, SubHeader{},
                  TetraBodyBytes(clBody, lVersion == 1 ? TetraLayout::V1 : TetraLayout::V2));
}

QByteArray NoticeRecord(int lBodyBytes) {
    QByteArray clBody = NoticeBodyBytes(10045, 7, "pass");
    clBody.append(QByteArray(lBodyBytes - clBody.size(), '\x33'));
    return Record(4, SubHeader{}, clBody);
}

} // namespace

class TestContainerPassThrough : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void frameOfferedOnlyForVersion3Deliveries_data();
    void frameOfferedOnlyForVersion3Deliveries();
    void ownFramesPassThroughAsWriteDataWritesThem_data();
    void ownFramesPassThroughAsWriteDataWritesThem();
    void keptUntilTheBufferIsNearlyFull();
    void refusedInWriterStates_data();
    void refusedInWriterStates();
    void refusedWhereTheFrameIsNotTheRecord();
    void writeErrorsLeaveTheFrameUntaken_data();
    void writeErrorsLeaveTheFrameUntaken();
    void writeErrorsOnDevFull();

  private:
    QString Path(const QString &clstrName) const { return m_pDir->filePath(clstrName); }
    // A version-3 file of the frames, read by clReader, whose first delivery
    // is in clRecord.
    bool OpenFrames(const QString &clstrName, const QByteArray &clFrames,
                    CBrennovarstikFileFormatV1 &clReader, RawRecord &clRecord) const {
        FileHeaderInfo clInfo{};
        return WriteFileBytes(Path(clstrName), HeaderOfVersion(3) + clFrames) &&
               clReader.OpenFile(ToWide(Path(clstrName)).c_str(), clInfo, 0) == FILE_OK &&
               clReader.SetOption(0, 1) && clReader.ReadData(clRecord) == FILE_OK;
    }
    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestContainerPassThrough::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
}

// ---- The reader's side --------------------------------------------------------

void TestContainerPassThrough::frameOfferedOnlyForVersion3Deliveries_data() {
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("notices");
    QTest::addColumn<QStringList>("trace");

    // F<n>: the offered frame is the n-th good frame of the file, byte for byte.
    QTest::newRow("version 3") << 3 << false
                               << QStringList{"G:alpha F0", "4 -",        "T:1700000001 F1",
                                              "G:beta F2",  "G:gamma F4", "G:delta F5",
                                              "3 -"};
    QTest::newRow("version 3, notices delivered")
        << 3 << true << QStringList{"G:alpha F0", "4 -",        "T:1700000001 F1", "G:beta F2",
                                    "N:10045 F3", "G:gamma F4", "G:delta F5",      "3 -"};
    for (int lVersion : {1, 2}) {
        QTest::addRow("version %d", lVersion)
            << lVersion << true
            << QStringList{"G:alpha -", "4 -",       "T:1700000001 -", "G:beta -",
                           "N:10045 -", "G:gamma -", "G:delta -",      "3 -"};
    }
}

void TestContainerPassThrough::frameOfferedOnlyForVersion3Deliveries() {
    QFETCH(int, version);
    QFETCH(bool, notices);
    QFETCH(QStringList, trace);

    // Delivered from the whole buffer, after a damaged frame, by the search
    // over ten zero bytes, and (delta) across the end of the first buffer load.
    const QList<QByteArray> clGood = {
        LabelRecord("alpha", 40), TetraRecord(version, 1700000001), LabelRecord("beta", 40),
        NoticeRecord(136),        LabelRecord("gamma", 100000),     LabelRecord("delta", 60000)};
    const QByteArray clFlagged = Frame(2, QByteArray(30, '\x01'), 1);
    const QByteArray clBytes = HeaderOfVersion(version) + clGood[0] + clFlagged + clGood[1] +
                               QByteArray(10, '\0') + clGood[2] + clGood[3] + clGood[4] + clGood[5];
    QVERIFY(clGood[0].size() + clFlagged.size() + clGood[1].size() + 10 + clGood[2].size() +
                clGood[3].size() + clGood[4].size() <
            131072);
    const QString clstrPath = Path("offered.bvf");
    QVERIFY(WriteFileBytes(clstrPath, clBytes));

    CBrennovarstikFileFormatV1 clReader;
    QCOMPARE(OfferedFrame(clReader), QByteArray());
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QVERIFY(clReader.SetOption(0, notices ? 1 : 0));
    QCOMPARE(OfferedFrame(clReader), QByteArray());

    QStringList clTrace;
    for (int i = 0; i < 20; ++i) {
        RawRecord clRecord{};
        const FileResult enResult = clReader.ReadData(clRecord);
        const QByteArray clOffered = OfferedFrame(clReader);
        const QString clstrFrame = clOffered.isEmpty() ? QStringLiteral("-")
                                   : clGood.contains(clOffered)
                                       ? QStringLiteral("F%1").arg(clGood.indexOf(clOffered))
                                       : QStringLiteral("?");
        clTrace << (enResult == FILE_OK ? DescribeRecord(clRecord)
                                        : QString::number(int(enResult))) +
                       u' ' + clstrFrame;
        if (enResult != FILE_OK && enResult != FILE_DAMAGED)
            break;
    }
    QCOMPARE(clTrace, trace);

    // Closing, and opening again, forget the last delivery.
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 1);
    clReader.CloseFile();
    QCOMPARE(OfferedFrame(clReader), QByteArray());
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(OfferedFrame(clReader), version == 3 ? clGood[0] : QByteArray());
    clReader.CloseFile();
    QCOMPARE(OfferedFrame(clReader), QByteArray());
}

// ---- The writer's side --------------------------------------------------------

void TestContainerPassThrough::ownFramesPassThroughAsWriteDataWritesThem_data() {
    QTest::addColumn<uint8_t>("flags");
    QTest::newRow("each record written at once") << uint8_t(0);
    QTest::newRow("records kept in the buffer") << uint8_t(CBrennovarstikFileFormatV1::kFlagKeep);
}

void TestContainerPassThrough::ownFramesPassThroughAsWriteDataWritesThem() {
    QFETCH(uint8_t, flags);
    // Our writer's frames of records drawn at random, several buffer loads of
    // them, so that frames are also delivered across buffer ends.
    const QString clstrSource = Path("own.bvf");
    const FileHeaderInfo clHeader = EmptyHeader();
    int lWritten = 0;
    {
        CBrennovarstikFileFormatV1 clWriter;
        QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrSource).c_str(), clHeader, 2)), 0);
        CRandomRecords clRecords(20240307);
        for (int i = 0; i < 3000; ++i) {
            const FileResult enResult = clWriter.WriteData(clRecords.Next());
            QVERIFY(enResult == FILE_OK || enResult == FILE_DAMAGED);
            lWritten += enResult == FILE_OK ? 1 : 0;
        }
        QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    }
    QVERIFY(lWritten > 2500);
    QVERIFY(QFileInfo(clstrSource).size() > 4 * 131072);

    // Every record once through its frame, once through WriteData: the two
    // files agree at every step and end as copies of the source.
    CBrennovarstikFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrSource).c_str(), clInfo, 0)), 0);
    QVERIFY(clReader.SetOption(0, 1));
    CBrennovarstikFileFormatV1 clFrames;
    CBrennovarstikFileFormatV1 clEncoded;
    const QString clstrFrames = Path("frames.bvf");
    const QString clstrEncoded = Path("encoded.bvf");
    QCOMPARE(int(clFrames.OpenFileForWriting(ToWide(clstrFrames).c_str(), clInfo, flags)), 0);
    QCOMPARE(int(clEncoded.OpenFileForWriting(ToWide(clstrEncoded).c_str(), clInfo, flags)), 0);
    int lRead = 0;
    RawRecord clRecord{};
    FileResult enRead = FILE_OK;
    while ((enRead = clReader.ReadData(clRecord)) == FILE_OK) {
        const uint8_t *pFrame = nullptr;
        uint32_t lLength = 0;
        QVERIFY(clReader.GetDeliveredFrame(pFrame, lLength));
        FileResult enFrame = FILE_NO_BUFFER;
        QVERIFY2(clFrames.WriteFrame(clRecord, pFrame, lLength, enFrame),
                 qPrintable(QString("record %1 refused").arg(lRead)));
        QCOMPARE(int(enFrame), 0);
        QCOMPARE(int(clEncoded.WriteData(clRecord)), 0);
        QCOMPARE(clFrames.GetWrittenBytes(), clEncoded.GetWrittenBytes());
        ++lRead;
    }
    QCOMPARE(int(enRead), 3);
    QCOMPARE(lRead, lWritten);
    QCOMPARE(int(clFrames.CloseFileForWriting()), 0);
    QCOMPARE(int(clEncoded.CloseFileForWriting()), 0);
    clReader.CloseFile();
    const QByteArray clSource = ReadFileBytes(clstrSource);
    QCOMPARE(clFrames.GetWrittenBytes(), uint64_t(clSource.size()));
    QVERIFY(ReadFileBytes(clstrEncoded) == clSource);
    QVERIFY(ReadFileBytes(clstrFrames) == clSource);
}

void TestContainerPassThrough::keptUntilTheBufferIsNearlyFull() {
    // 1065-byte frames: 119 wait, the 120th brings the buffer to 127,800
    // bytes, past 126,976, and the whole buffer goes out.
    TetraBody clBody;
    clBody.bitCount = 8000;
    clBody.data = QByteArray(1000, '\x6B');
    QByteArray clFrames;
    for (int i = 1; i <= 123; ++i) {
        clBody.timeSeconds = uint64_t(1700000000 + i);
        clFrames += Record(3, SubHeader{}, TetraBodyBytes(clBody, TetraLayout::V2));
    }
    QCOMPARE(clFrames.size(), 123 * 1065);
    const QString clstrSource = Path("tetra.bvf");
    QVERIFY(WriteFileBytes(clstrSource, HeaderOfVersion(3) + clFrames));

    for (const uint8_t lFlags : {uint8_t(0), CBrennovarstikFileFormatV1::kFlagKeep}) {
        CBrennovarstikFileFormatV1 clReader;
        FileHeaderInfo clInfo{};
        QCOMPARE(int(clReader.OpenFile(ToWide(clstrSource).c_str(), clInfo, 0)), 0);
        const QString clstrPath = Path("kept.bvf");
        CBrennovarstikFileFormatV1 clWriter;
        QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrPath).c_str(), clInfo, lFlags)), 0);
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355));
        for (int i = 1; i <= 123; ++i) {
            RawRecord clRecord{};
            QCOMPARE(int(clReader.ReadData(clRecord)), 0);
            const uint8_t *pFrame = nullptr;
            uint32_t lLength = 0;
            QVERIFY(clReader.GetDeliveredFrame(pFrame, lLength));
            FileResult enResult = FILE_NO_BUFFER;
            QVERIFY(clWriter.WriteFrame(clRecord, pFrame, lLength, enResult));
            QCOMPARE(int(enResult), 0);
            const uint64_t lExpected = lFlags == 0 ? 2355 + i * 1065
                                       : i < 120   ? 2355
                                                   : 2355 + 120 * 1065;
            QCOMPARE(clWriter.GetWrittenBytes(), lExpected);
            QCOMPARE(QFileInfo(clstrPath).size(), qint64(lExpected));
        }
        QCOMPARE(int(clWriter.FlushData()), 0);
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355 + 123 * 1065));
        QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
        QCOMPARE(ReadFileBytes(clstrPath), HeaderOfVersion(3) + clFrames);
        clReader.CloseFile();
    }
}

void TestContainerPassThrough::refusedInWriterStates_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("writeData"); // what WriteData then answers

    QTest::newRow("order buffer") << 0 << 0;
    QTest::newRow("order buffer, records kept") << 1 << 0;
    QTest::newRow("rotation set") << 2 << 0;
    QTest::newRow("never opened") << 3 << 2;
    QTest::newRow("closed") << 4 << 2;
    QTest::newRow("file could not be created") << 5 << 2;
    QTest::newRow("object reading a file") << 6 << 1;
}

void TestContainerPassThrough::refusedInWriterStates() {
    QFETCH(int, state);
    QFETCH(int, writeData);

    CBrennovarstikFileFormatV1 clReader;
    RawRecord clRecord{};
    QVERIFY(OpenFrames("source.bvf", LabelRecord("passing", 60), clReader, clRecord));
    const uint8_t *pFrame = nullptr;
    uint32_t lLength = 0;
    QVERIFY(clReader.GetDeliveredFrame(pFrame, lLength));

    const QString clstrPath = Path("target.bvf");
    const std::wstring clstrWide = ToWide(clstrPath);
    const FileHeaderInfo clInfo = EmptyHeader();
    CBrennovarstikFileFormatV1 clWriter;
    uint64_t lBytes = 2355;
    switch (state) {
    case 0:
    case 1:
        QCOMPARE(int(clWriter.OpenFileForWriting(clstrWide.c_str(), clInfo, state == 0 ? 1 : 3)),
                 0);
        break;
    case 2:
        QCOMPARE(int(clWriter.OpenFileForWriting(clstrWide.c_str(), clInfo, 2)), 0);
        QVERIFY(clWriter.SetAutoSplit(3600, RotateNever, nullptr));
        break;
    case 3:
        lBytes = 0;
        break;
    case 4:
        QCOMPARE(int(clWriter.OpenFileForWriting(clstrWide.c_str(), clInfo, 2)), 0);
        QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
        break;
    case 5:
        QVERIFY(QDir(m_pDir->path()).mkdir("target.bvf"));
        QCOMPARE(int(clWriter.OpenFileForWriting(clstrWide.c_str(), clInfo, 2)), 1);
        lBytes = 0;
        break;
    default: {
        QVERIFY(WriteFileBytes(clstrPath, HeaderOfVersion(3) + LabelRecord("held", 10)));
        FileHeaderInfo clReadInfo{};
        QCOMPARE(int(clWriter.OpenFile(clstrWide.c_str(), clReadInfo, 0)), 0);
        lBytes = 0;
        break;
    }
    }

    FileResult enResult = FILE_NO_BUFFER;
    QVERIFY(!clWriter.WriteFrame(clRecord, pFrame, lLength, enResult));
    QCOMPARE(int(enResult), int(FILE_NO_BUFFER)); // untouched
    QCOMPARE(clWriter.GetWrittenBytes(), lBytes);
    QCOMPARE(int(clWriter.WriteData(clRecord)), writeData);
    if (state <= 2) {
        QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
        QCOMPARE(ReadFileBytes(clstrPath), HeaderOfVersion(3) + LabelRecord("passing", 60));
    }
}

void TestContainerPassThrough::refusedWhereTheFrameIsNotTheRecord() {
    const FileHeaderInfo clInfo = EmptyHeader();
    const QString clstrTarget = Path("target.bvf");

    // Frames that WriteData would not write as they are: an extended TETRA
    // type without extended fields, a notice longer than its fields, DMR
    // bytes after the last item. Each is written as WriteData encodes it.
    TetraBody clExtended;
    clExtended.timeSeconds = 1700000002;
    clExtended.bitCount = 8;
    clExtended.data = "x";
    DmrBody clDmr;
    clDmr.timeSeconds = 1700000003;
    clDmr.burstKind = 3;
    clDmr.trailing = "tail";
    const struct {
        QByteArray frame;
        int encodedLength;
    } aForeign[] = {
        {Record(8, SubHeader{}, TetraBodyBytes(clExtended, TetraLayout::Extended)), 33 + 32 + 1},
        {NoticeRecord(150), 33 + 136},
        {Record(5, SubHeader{}, DmrBodyBytes(clDmr)), 33 + 33},
    };
    for (const auto &clForeign : aForeign) {
        CBrennovarstikFileFormatV1 clReader;
        RawRecord clRecord{};
        QVERIFY(OpenFrames("foreign.bvf", clForeign.frame, clReader, clRecord));
        const uint8_t *pFrame = nullptr;
        uint32_t lLength = 0;
        QVERIFY(clReader.GetDeliveredFrame(pFrame, lLength));
        QCOMPARE(FrameBytes(pFrame, lLength), clForeign.frame);
        CBrennovarstikFileFormatV1 clWriter;
        QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrTarget).c_str(), clInfo, 2)), 0);
        FileResult enResult = FILE_NO_BUFFER;
        QVERIFY(!clWriter.WriteFrame(clRecord, pFrame, lLength, enResult));
        QCOMPARE(int(clWriter.WriteData(clRecord)), 0);
        QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
        QCOMPARE(QFileInfo(clstrTarget).size(), qint64(2355 + clForeign.encodedLength));
    }

    // A frame that does not belong to the record handed in with it, or is
    // given with another length.
    CBrennovarstikFileFormatV1 clReader;
    RawRecord clGeneric{};
    QVERIFY(OpenFrames("mixed.bvf", LabelRecord("generic", 30) + TetraRecord(3, 1700000004),
                       clReader, clGeneric));
    const QByteArray clGenericFrame = OfferedFrame(clReader);
    QByteArray clGenericPayload(static_cast<const char *>(clGeneric.payload),
                                int(clGeneric.payloadLength));
    clGeneric.payload = clGenericPayload.data();
    RawRecord clTetra{};
    QCOMPARE(int(clReader.ReadData(clTetra)), 0);
    const QByteArray clTetraFrame = OfferedFrame(clReader);
    QCOMPARE(clTetraFrame, TetraRecord(3, 1700000004));
    auto *pTetra = static_cast<TetraTmv *>(clTetra.payload);

    CBrennovarstikFileFormatV1 clWriter;
    QCOMPARE(int(clWriter.OpenFileForWriting(ToWide(clstrTarget).c_str(), clInfo, 0)), 0);
    const auto *pTetraFrame = reinterpret_cast<const uint8_t *>(clTetraFrame.constData());
    const auto *pGenericFrame = reinterpret_cast<const uint8_t *>(clGenericFrame.constData());
    const uint32_t lTetraLength = uint32_t(clTetraFrame.size());
    FileResult enResult = FILE_NO_BUFFER;
    QVERIFY(!clWriter.WriteFrame(clTetra, nullptr, lTetraLength, enResult));
    QVERIFY(!clWriter.WriteFrame(clTetra, pTetraFrame, lTetraLength - 1, enResult));
    QVERIFY(!clWriter.WriteFrame(clGeneric, pTetraFrame, lTetraLength, enResult));
    QVERIFY(
        !clWriter.WriteFrame(clTetra, pGenericFrame, uint32_t(clGenericFrame.size()), enResult));
    QByteArray clFlagged = clTetraFrame;
    clFlagged[5] = 1;
    QVERIFY(!clWriter.WriteFrame(clTetra, reinterpret_cast<const uint8_t *>(clFlagged.constData()),
                                 lTetraLength, enResult));
    pTetra->bitCount = 24; // one data byte more than the frame holds
    QVERIFY(!clWriter.WriteFrame(clTetra, pTetraFrame, lTetraLength, enResult));
    pTetra->bitCount = 16;
    QCOMPARE(int(enResult), int(FILE_NO_BUFFER));
    QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(2355));
    QVERIFY(clWriter.WriteFrame(clTetra, pTetraFrame, lTetraLength, enResult));
    QCOMPARE(int(enResult), 0);

    // Bytes that readers ignore (the last eight of the sub-header) are kept:
    // the frame stands for the record as read.
    QByteArray clOdd = LabelRecord("odd", 20).mid(10);
    clOdd.replace(15, 8, QByteArray(8, '\xEE'));
    const QByteArray clOddFrame = Frame(2, clOdd);
    CBrennovarstikFileFormatV1 clOddReader;
    RawRecord clOddRecord{};
    QVERIFY(OpenFrames("odd.bvf", clOddFrame, clOddReader, clOddRecord));
    const uint8_t *pOdd = nullptr;
    uint32_t lOddLength = 0;
    QVERIFY(clOddReader.GetDeliveredFrame(pOdd, lOddLength));
    QVERIFY(clWriter.WriteFrame(clOddRecord, pOdd, lOddLength, enResult));
    QCOMPARE(int(enResult), 0);
    QCOMPARE(int(clWriter.CloseFileForWriting()), 0);
    QCOMPARE(ReadFileBytes(clstrTarget), HeaderOfVersion(3) + clTetraFrame + clOddFrame);
}

void TestContainerPassThrough::writeErrorsLeaveTheFrameUntaken_data() {
    QTest::addColumn<uint8_t>("flags");
    QTest::addColumn<int>("payload");  // bytes of each generic payload
    QTest::addColumn<int>("limit");    // file size limit while the second record is written
    QTest::addColumn<int>("results");  // WriteFrame/WriteData of that record, twice
    QTest::addColumn<int>("accepted"); // bytes in the file after the failure

    // 133-byte frames written at once; the file takes nothing more, or 50
    // bytes of the second frame, which are cut off again.
    QTest::newRow("written at once, nothing taken")
        << uint8_t(0) << 100 << 2355 + 133 << 5 << 2355 + 133;
    QTest::newRow("written at once, part taken")
        << uint8_t(0) << 100 << 2355 + 133 + 50 << 5 << 2355 + 133;
    // 70,033-byte frames kept: the second does not fit behind the first,
    // and emptying the buffer fails before anything of it is placed.
    QTest::newRow("kept, emptying fails") << uint8_t(2) << 70000 << 2355 << 5 << 2355;
    QTest::newRow("kept, emptying takes part")
        << uint8_t(2) << 70000 << 2355 + 1000 << 5 << 2355 + 1000;
}

void TestContainerPassThrough::writeErrorsLeaveTheFrameUntaken() {
    QFETCH(uint8_t, flags);
    QFETCH(int, payload);
    QFETCH(int, limit);
    QFETCH(int, results);
    QFETCH(int, accepted);

    const QList<QByteArray> clSource = {LabelRecord("one", payload), LabelRecord("two", payload),
                                        LabelRecord("three", payload)};
    CBrennovarstikFileFormatV1 clReader;
    RawRecord clRecord{};
    QVERIFY(OpenFrames("source.bvf", clSource[0] + clSource[1] + clSource[2], clReader, clRecord));
    const FileHeaderInfo clInfo = EmptyHeader();
    // The same steps through frames and through WriteData give the same results.
    CBrennovarstikFileFormatV1 aWriters[2];
    const QString aPaths[2] = {Path("frames.bvf"), Path("encoded.bvf")};
    for (int w = 0; w < 2; ++w)
        QCOMPARE(int(aWriters[w].OpenFileForWriting(ToWide(aPaths[w]).c_str(), clInfo, flags)), 0);
    auto WriteBoth = [&](const RawRecord &clOne) {
        const uint8_t *pFrame = nullptr;
        uint32_t lLength = 0;
        FileResult enFrame = FILE_NO_BUFFER;
        if (!clReader.GetDeliveredFrame(pFrame, lLength) ||
            !aWriters[0].WriteFrame(clOne, pFrame, lLength, enFrame))
            return QStringLiteral("refused");
        return QStringLiteral("%1/%2").arg(int(enFrame)).arg(int(aWriters[1].WriteData(clOne)));
    };

    QCOMPARE(WriteBoth(clRecord), QStringLiteral("0/0"));
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    {
        CFileSizeLimit clLimit{rlim_t(limit)};
        QVERIFY(clLimit.IsSet());
        const QString clstrFailed = QStringLiteral("%1/%1").arg(results);
        QCOMPARE(WriteBoth(clRecord), clstrFailed);
        QCOMPARE(WriteBoth(clRecord), clstrFailed);
    }
    for (CBrennovarstikFileFormatV1 &clWriter : aWriters)
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(accepted));
    // Taken now, once, behind whole records only.
    QCOMPARE(WriteBoth(clRecord), QStringLiteral("0/0"));
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(WriteBoth(clRecord), QStringLiteral("0/0"));
    for (int w = 0; w < 2; ++w)
        QCOMPARE(int(aWriters[w].CloseFileForWriting()), 0);
    QCOMPARE(aWriters[0].GetWrittenBytes(), aWriters[1].GetWrittenBytes());
    QCOMPARE(ReadFileBytes(aPaths[0]), ReadFileBytes(aPaths[1]));
    QCOMPARE(ReadFileBytes(aPaths[0]).mid(2355), clSource[0] + clSource[1] + clSource[2]);
    CBrennovarstikFileFormatV1 clBack;
    FileHeaderInfo clReadInfo{};
    QCOMPARE(int(clBack.OpenFile(ToWide(aPaths[0]).c_str(), clReadInfo, 0)), 0);
    QCOMPARE(ReadTrace(clBack), QStringList({"G:one", "G:two", "G:three", "3"}));
}

void TestContainerPassThrough::writeErrorsOnDevFull() {
    if (!QFileInfo::exists("/dev/full"))
        QSKIP("no /dev/full here");
    CBrennovarstikFileFormatV1 clReader;
    RawRecord clRecord{};
    QVERIFY(OpenFrames("source.bvf", LabelRecord("lost", 70000), clReader, clRecord));
    const uint8_t *pFrame = nullptr;
    uint32_t lLength = 0;
    QVERIFY(clReader.GetDeliveredFrame(pFrame, lLength));
    const FileHeaderInfo clInfo = EmptyHeader();

    // Written at once: every attempt fails. Kept: the first waits behind the
    // header that could not be written, the second does not fit and is not
    // taken. Nothing reaches the file either way.
    const struct {
        uint8_t flags;
        int results[3];
    } aCases[] = {{0, {5, 5, 5}}, {2, {0, 5, 5}}};
    for (const auto &clCase : aCases) {
        CBrennovarstikFileFormatV1 clWriter;
        QCOMPARE(int(clWriter.OpenFileForWriting(L"/dev/full", clInfo, clCase.flags)), 5);
        for (int lExpected : clCase.results) {
            FileResult enResult = FILE_NO_BUFFER;
            QVERIFY(clWriter.WriteFrame(clRecord, pFrame, lLength, enResult));
            QCOMPARE(int(enResult), lExpected);
        }
        QCOMPARE(clWriter.GetWrittenBytes(), uint64_t(0));
        QCOMPARE(int(clWriter.CloseFileForWriting()), 5);
    }
}

BVF_TEST_MAIN(TestContainerPassThrough)
#include "test_container_pass_through.moc"
