// Reading ".tmw" recordings built byte by byte with TmwBytes, independently of
// the reader's own decoding.
#include "ContainerTestKit.h"
#include "OpenFileFormat.h"
#include "ProprietaryTmwFileFormatV1.h"
#include "TestPaths.h"
#include "TestRegistry.h"
#include "TmwBytes.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>

using namespace ContainerTestKit;

namespace {

QByteArray ToBytes(const std::vector<uint8_t> &clBytes) {
    return QByteArray(reinterpret_cast<const char *>(clBytes.data()), qsizetype(clBytes.size()));
}

// A downlink burst of entry type 6 at hyperframe 1 with its own time; the
// data bytes tell their place.
TmwBytes::FrameFields SampleFields() {
    TmwBytes::FrameFields clFields;
    clFields.carrier = 1000;
    clFields.band = 4;
    clFields.burstCode = 1;
    clFields.entryType = 6;
    clFields.hyperframe = 1;
    clFields.dataFlags = TmwBytes::kBlock1Valid | TmwBytes::kBlock2Valid;
    for (size_t i = 0; i < TmwBytes::kDataSize; ++i)
        clFields.data[i] = uint8_t(0xA0 + i);
    return clFields;
}

QByteArray FrameBytes(const TmwBytes::FrameFields &clFields) {
    return ToBytes(TmwBytes::Frame(clFields));
}

// A frame whose seconds tell it apart in a trace.
QByteArray StampedFrame(uint32_t lSecondsSince2000, uint8_t lBurstCode = 1,
                        uint8_t lEntryType = 6) {
    TmwBytes::FrameFields clFields = SampleFields();
    clFields.burstCode = lBurstCode;
    clFields.entryType = lEntryType;
    TmwBytes::SetSecondsWithMilliseconds(clFields, lSecondsSince2000, 0);
    return FrameBytes(clFields);
}

QString Stamp(uint32_t lSecondsSince2000) {
    return QString("T:%1").arg(quint64(lSecondsSince2000) + TmwBytes::kEpoch2000);
}

const TetraTmv &Tetra(const RawRecord &clRecord) {
    return *static_cast<const TetraTmv *>(clRecord.payload);
}

constexpr int kMeasurementsAbsent = TmwBytes::kMeasurementsAbsent;

} // namespace

class TestTmwReader : public QObject {
    Q_OBJECT

  private slots:
    void flagBytes_data();
    void flagBytes();
    void measurements_data();
    void measurements();
    void counterLimits();
    void recordFields_data();
    void recordFields();
    void endOfFile_data();
    void endOfFile();
    void onlinePartialFrame();
    void framesWithoutRecords();
    void generatedSequence();
    void generatedSequenceWithoutTimes();
    void progressAndSize();
    void interfaceAnswers();
    void reopeningReadsTheSame();
    void damagedInputEndsCleanly();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QTemporaryDir m_clDir;
};

void TestTmwReader::flagBytes_data() {
    QTest::addColumn<int>("frameFlagsByte");
    QTest::addColumn<int>("dataFlagsByte");
    QTest::addColumn<uint>("timeValue");
    QTest::addColumn<int>("timeMode");
    QTest::addColumn<int>("frameFlags");
    QTest::addColumn<qulonglong>("seconds");
    QTest::addColumn<int>("milliseconds");

    // 0x85: bits 0 and 2, high five bits 16; 25 in the data flags: 16 x 32 + 25 = 537.
    QTest::newRow("0x85 and 25 give 537 ms")
        << 0x85 << (25 << 3 | 0x03) << 100000u << 107 << 0x73 << 946784800ULL << 537;
    QTest::newRow("largest millisecond part 1023")
        << 0xFD << (31 << 3 | 0x03) << 7u << 205 << 0x33 << 946684807ULL << 1023;
    QTest::newRow("millisecond part 0") << 0x05 << 0x03 << 7u << 1 << 0x03 << 946684807ULL << 0;
    QTest::newRow("millisecond part 9") << 0x05 << (9 << 3) << 7u << 1 << 0x90 << 946684807ULL << 9;
    QTest::newRow("without bit 2 the time counts milliseconds")
        << 0x81 << (25 << 3 | 0x03) << 1234567u << 0 << 0x03 << 1234ULL << 567;
    QTest::newRow("hyperframe not valid")
        << 0x84 << (25 << 3 | 0x03) << 100000u << 107 << 0x7B << 946784800ULL << 537;
    QTest::newRow("prefix valid is kept") << 0x05 << 0x07 << 7u << 1 << 0x07 << 946684807ULL << 0;
    QTest::newRow("measurements absent leaves time alone")
        << 0x87 << (25 << 3 | 0x03) << 100000u << 107 << 0x73 << 946784800ULL << 537;
}

void TestTmwReader::flagBytes() {
    QFETCH(int, frameFlagsByte);
    QFETCH(int, dataFlagsByte);
    QFETCH(uint, timeValue);
    QFETCH(int, timeMode);
    QFETCH(int, frameFlags);
    QFETCH(qulonglong, seconds);
    QFETCH(int, milliseconds);

    TmwBytes::FrameFields clFields = SampleFields();
    clFields.frameFlags = uint8_t(frameFlagsByte);
    clFields.dataFlags = uint8_t(dataFlagsByte);
    clFields.timeValue = timeValue;
    const QByteArray clBytes = FrameBytes(clFields);

    TmwTetraFrame clFrame;
    CProprietaryTmwFileFormatV1::DecodeFrame(reinterpret_cast<const uint8_t *>(clBytes.data()),
                                             clFrame);
    QCOMPARE(int(clFrame.timeMode), timeMode);
    QCOMPARE(int(clFrame.frameFlags), frameFlags);
    QCOMPARE(clFrame.timeValue, quint32(timeValue));

    const QString clstrPath = Path("flags.tmw");
    QVERIFY(WriteFileBytes(clstrPath, clBytes));
    CProprietaryTmwFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(Tetra(clRecord).timeSeconds, quint64(seconds));
    QCOMPARE(int(Tetra(clRecord).milliseconds), milliseconds);
    QCOMPARE(int(Tetra(clRecord).hyperframe), (frameFlags & 0x08) ? 0 : 1);
    // Entry type 6: the prefix flag and block 1.
    QCOMPARE(int(Tetra(clRecord).dataFlags),
             ((frameFlags & 0x04) ? 1 : 0) | ((frameFlags & 0x01) ? 2 : 0));
}

void TestTmwReader::measurements_data() {
    QTest::addColumn<int>("frameFlagsByte");
    QTest::addColumn<QList<int>>("raw");     // the six stored measurements
    QTest::addColumn<QList<int>>("decoded"); // value1First ... value3Second
    QTest::addColumn<QList<int>>("values");  // value1 ... value3 of the record

    QTest::newRow("rounded to whole units")
        << 0x01 << QList<int>{1234, -16, 7, -9, 3, -2} << QList<int>{123, -1, 7, -9, 3, -2}
        << QList<int>{12, 3, 375};
    QTest::newRow("-7 tenths round to 0")
        << 0x01 << QList<int>{-7, 15, -3, 0, -1, 0} << QList<int>{0, 2, -3, 0, -1, 0}
        << QList<int>{0, -1, -125};
    QTest::newRow("-15 tenths round to -1") << 0x01 << QList<int>{-15, 14, 0, 0, 0, 0}
                                            << QList<int>{-1, 1, 0, 0, 0, 0} << QList<int>{0, 0, 0};
    QTest::newRow("16-bit limits")
        << 0x01 << QList<int>{32767, -32768, 32767, -32768, 32767, -32768}
        << QList<int>{3277, -3276, 32767, -32768, 32767, -32768} << QList<int>{327, 16383, 4095875};
    QTest::newRow("frame flags bit 1 zeroes all six")
        << (0x01 | kMeasurementsAbsent) << QList<int>{1234, -16, 7, -9, 3, -2}
        << QList<int>{0, 0, 0, 0, 0, 0} << QList<int>{0, 0, 0};
}

void TestTmwReader::measurements() {
    QFETCH(int, frameFlagsByte);
    QFETCH(QList<int>, raw);
    QFETCH(QList<int>, decoded);
    QFETCH(QList<int>, values);

    TmwBytes::FrameFields clFields = SampleFields();
    clFields.frameFlags = uint8_t(frameFlagsByte);
    for (int i = 0; i < 6; ++i)
        clFields.measurements[i] = int16_t(raw[i]);
    const QByteArray clBytes = FrameBytes(clFields);

    TmwTetraFrame clFrame;
    CProprietaryTmwFileFormatV1::DecodeFrame(reinterpret_cast<const uint8_t *>(clBytes.data()),
                                             clFrame);
    const QList<int> clDecoded = {clFrame.value1First,  clFrame.value1Second, clFrame.value2First,
                                  clFrame.value2Second, clFrame.value3First,  clFrame.value3Second};
    QCOMPARE(clDecoded, decoded);

    const QString clstrPath = Path("measurements.tmw");
    QVERIFY(WriteFileBytes(clstrPath, clBytes));
    CProprietaryTmwFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    const TetraTmv &clTetra = Tetra(clRecord);
    QCOMPARE((QList<int>{clTetra.value1, clTetra.value2, clTetra.value3}), values);
    // The values stay marked valid even when the frame had none.
    QCOMPARE(int(clTetra.valueFlags), 0xF0);
}

void TestTmwReader::counterLimits() {
    struct Case {
        uint8_t frame;
        uint8_t multiframe;
        uint8_t timeslot;
        int frameOut;
        int multiframeOut;
    };
    const Case aCases[] = {
        {0, 0, 1, 1, 1}, {18, 60, 4, 18, 60}, {19, 61, 5, 18, 60}, {255, 255, 0, 18, 60}};
    QByteArray clFile;
    for (const Case &clCase : aCases) {
        TmwBytes::FrameFields clFields = SampleFields();
        clFields.frame = clCase.frame;
        clFields.multiframe = clCase.multiframe;
        clFields.timeslot = clCase.timeslot;
        clFile += FrameBytes(clFields);
    }
    const QString clstrPath = Path("counters.tmw");
    QVERIFY(WriteFileBytes(clstrPath, clFile));
    CProprietaryTmwFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    for (const Case &clCase : aCases) {
        RawRecord clRecord{};
        QCOMPARE(int(clReader.ReadData(clRecord)), 0);
        QCOMPARE(int(Tetra(clRecord).frame), clCase.frameOut);
        QCOMPARE(int(Tetra(clRecord).multiframe), clCase.multiframeOut);
        // The timeslot is passed on as stored.
        QCOMPARE(int(Tetra(clRecord).timeslot), int(clCase.timeslot));
    }
}

void TestTmwReader::recordFields_data() {
    QTest::addColumn<int>("band");
    QTest::addColumn<int>("carrier");
    QTest::addColumn<int>("entryType");
    QTest::addColumn<qulonglong>("recordFrequency");
    QTest::addColumn<qulonglong>("payloadFrequency");
    QTest::addColumn<int>("kind");

    QTest::newRow("band 4, carrier 1000") << 4 << 1000 << 6 << 425000000ULL << 425000000ULL << 0;
    QTest::newRow("band 0, carrier 1000") << 0 << 1000 << 6 << 25000000ULL << 425000000ULL << 0;
    QTest::newRow("information entry") << 4 << 1000 << 34 << 425000000ULL << 425000000ULL << 3;
    QTest::newRow("whole band byte, payload uses its low bits")
        << 0x13 << 100 << 6 << 1902500000ULL << 302500000ULL << 0;
    // (22 x 4000) x 25,000 = 2,200,000,000 wraps to -2,094,967,296.
    QTest::newRow("signed 32-bit wrap") << 22 << 0 << 6 << 18446744071614584320ULL << 0ULL << 0;
    // (255 x 4000 + 3999) x 25,000 = 25,599,975,000 wraps to -169,828,776.
    QTest::newRow("wrap of the largest band")
        << 255 << 3999 << 6 << 18446744073539722840ULL << 1599975000ULL << 0;
}

void TestTmwReader::recordFields() {
    QFETCH(int, band);
    QFETCH(int, carrier);
    QFETCH(int, entryType);
    QFETCH(qulonglong, recordFrequency);
    QFETCH(qulonglong, payloadFrequency);
    QFETCH(int, kind);

    TmwBytes::FrameFields clFields = SampleFields();
    clFields.band = uint8_t(band);
    clFields.carrier = uint16_t(carrier);
    clFields.entryType = uint8_t(entryType);
    const QString clstrPath = Path("fields.tmw");
    QVERIFY(WriteFileBytes(clstrPath, FrameBytes(clFields)));

    CProprietaryTmwFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    RawRecord clRecord{};
    clRecord.sourceByte = 0x42;
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(clRecord.recordClass, 2u);
    QCOMPARE(clRecord.frequency, quint64(recordFrequency));
    QCOMPARE(clRecord.symbolRate, 18000u);
    QCOMPARE(int(clRecord.value16), 0);
    QCOMPARE(int(clRecord.payloadKind), kind);
    QCOMPARE(clRecord.payloadLength, 1136u);
    QCOMPARE(int(clRecord.sourceByte), 0x42);
    QCOMPARE(Tetra(clRecord).frequency, quint64(payloadFrequency));
}

void TestTmwReader::endOfFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("trace");

    QTest::newRow("empty file") << QByteArray() << QStringList{"3"};
    QTest::newRow("one byte") << QByteArray(1, '\x01') << QStringList{"3"};
    QTest::newRow("83 bytes") << StampedFrame(1).left(83) << QStringList{"3"};
    QTest::newRow("one frame") << StampedFrame(1) << QStringList{Stamp(1), "3"};
    QTest::newRow("trailing partial frame")
        << StampedFrame(1) + StampedFrame(2) + StampedFrame(3).left(40)
        << QStringList{Stamp(1), Stamp(2), "3"};
    QTest::newRow("trailing frame one byte short")
        << StampedFrame(1) + StampedFrame(2).left(83) << QStringList{Stamp(1), "3"};
    QTest::newRow("a byte inserted at a frame boundary")
        << StampedFrame(1) + QByteArray(1, '\0') + StampedFrame(2) + StampedFrame(3)
        << QStringList{Stamp(1), Stamp(2), Stamp(3), "3"};
}

void TestTmwReader::endOfFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, trace);

    const QString clstrPath = Path("ending.tmw");
    QVERIFY(WriteFileBytes(clstrPath, bytes));
    CProprietaryTmwFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(ReadTrace(clReader), trace);
    // The end stays the end.
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 3);
}

void TestTmwReader::onlinePartialFrame() {
    for (const QString &clstrPrefix : {QString(), QString("online:"), QString("ONLINE:")}) {
        const QString clstrPath = Path("growing.tmw");
        const QByteArray clSecond = StampedFrame(2);
        QVERIFY(WriteFileBytes(clstrPath, StampedFrame(1) + clSecond.left(50)));

        CProprietaryTmwFileFormatV1 clReader;
        FileHeaderInfo clInfo{};
        const uint8_t bOnline = clstrPrefix.isEmpty() ? 1 : 0;
        QCOMPARE(int(clReader.OpenFile(ToWide(clstrPrefix + clstrPath).c_str(), clInfo, bOnline)),
                 0);
        QVERIFY(clReader.IsOnlineFile());
        QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), clstrPath);
        QCOMPARE(ReadTrace(clReader), (QStringList{Stamp(1), "8"}));
        QCOMPARE(ReadTrace(clReader), QStringList{"8"});

        // Still short by one byte: nothing is taken.
        QVERIFY(AppendFileBytes(clstrPath, clSecond.mid(50, 33)));
        QCOMPARE(ReadTrace(clReader), QStringList{"8"});
        // The rest arrives with the next frame's first half: the frame is whole.
        QVERIFY(AppendFileBytes(clstrPath, clSecond.mid(83) + StampedFrame(3).left(42)));
        QCOMPARE(ReadTrace(clReader), (QStringList{Stamp(2), "8"}));
        QVERIFY(AppendFileBytes(clstrPath, StampedFrame(3).mid(42) + StampedFrame(4)));
        QCOMPARE(ReadTrace(clReader), (QStringList{Stamp(3), Stamp(4), "8"}));
        clReader.CloseFile();
    }
}

void TestTmwReader::framesWithoutRecords() {
    // Burst codes without a record are stepped over; entry type 17 on an
    // uplink burst gives two records.
    const QByteArray clFile = StampedFrame(1, 0) + StampedFrame(2) + StampedFrame(3, 255) +
                              StampedFrame(4, 19) + StampedFrame(5, 2, 17) +
                              StampedFrame(6, 1, 17) + StampedFrame(7, 3);
    const QString clstrPath = Path("skipped.tmw");
    QVERIFY(WriteFileBytes(clstrPath, clFile));
    CProprietaryTmwFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(ReadTrace(clReader), (QStringList{Stamp(2), Stamp(5), Stamp(5), Stamp(6), "3"}));

    QByteArray clNothing;
    for (int i = 0; i < 2000; ++i)
        clNothing += StampedFrame(uint32_t(i), 0);
    QVERIFY(WriteFileBytes(clstrPath, clNothing));
    CProprietaryTmwFileFormatV1 clEmpty;
    QCOMPARE(int(clEmpty.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(ReadTrace(clEmpty), QStringList{"3"});
}

void TestTmwReader::generatedSequence() {
    TmwBytes::SequenceSettings clSettings;
    clSettings.seed = 7;
    clSettings.frameCount = 4000; // more than one read buffer
    clSettings.startMilliseconds = 990;
    clSettings.hyperframe = 65535;
    clSettings.multiframe = 60;
    const std::vector<TmwBytes::SequenceFrame> clFrames = TmwBytes::RealisticSequence(clSettings);
    const QString clstrPath = Path("generated.TMW");
    QVERIFY(WriteFileBytes(clstrPath, ToBytes(TmwBytes::FileBytes(clFrames))));

    FileHeaderInfo clInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(ToWide(clstrPath).c_str(), clInfo);
    QVERIFY(pReader);
    QVERIFY(dynamic_cast<CProprietaryTmwFileFormatV1 *>(pReader.get()) != nullptr);
    QCOMPARE(QByteArray(clInfo.recordingType), QByteArray("Proprietary TMW recording"));

    auto isKind0 = [](int lType) { return lType >= 1 && lType <= 17; };
    auto isKind3 = [](int lType) {
        return lType == 34 || lType == 37 || (lType >= 40 && lType <= 48);
    };
    int lKind = 0;
    int lRecords = 0;
    int lSecondRecords = 0;
    for (size_t i = 0; i < clFrames.size(); ++i) {
        const TmwBytes::SequenceFrame &clExpected = clFrames[i];
        const TmwBytes::FrameFields &clFields = clExpected.fields;
        const int lBurst = clFields.burstCode;
        const bool bUplink = lBurst == 2 || lBurst == 18;
        const bool bAccepted = lBurst == 1 || lBurst == 2 || lBurst == 17 || lBurst == 18 ||
                               lBurst == 33 || lBurst == 34 || lBurst == 49 || lBurst == 50;
        if (!bAccepted)
            continue;
        if (isKind0(clFields.entryType))
            lKind = 0;
        else if (isKind3(clFields.entryType))
            lKind = 3;
        const int lCount = bUplink && clFields.entryType == 17 ? 2 : 1;
        for (int k = 0; k < lCount; ++k) {
            RawRecord clRecord{};
            const FileResult enResult = pReader->ReadData(clRecord);
            const QByteArray clWhere =
                "frame " + QByteArray::number(qulonglong(i)) + " record " + QByteArray::number(k);
            QVERIFY2(enResult == FILE_OK, clWhere.constData());
            const TetraTmv &clTetra = Tetra(clRecord);
            QVERIFY2(clTetra.timeSeconds == clExpected.unixSeconds, clWhere.constData());
            QVERIFY2(clTetra.milliseconds == clExpected.milliseconds, clWhere.constData());
            QVERIFY2(clTetra.hyperframe == clFields.hyperframe, clWhere.constData());
            QVERIFY2(clTetra.multiframe == clFields.multiframe, clWhere.constData());
            QVERIFY2(clTetra.frame == clFields.frame, clWhere.constData());
            QVERIFY2(clTetra.timeslot == clFields.timeslot, clWhere.constData());
            const int lDirection = bUplink && !isKind3(clFields.entryType) ? 1 : 0;
            QVERIFY2(clTetra.direction == lDirection, clWhere.constData());
            const int lFlags2 = lBurst == 17 || lBurst == 18 ? 0x81 : 0x80;
            QVERIFY2(clTetra.flags2 == lFlags2, clWhere.constData());
            QVERIFY2(clTetra.frequency == 425000000, clWhere.constData());
            QVERIFY2(clRecord.frequency == 425000000, clWhere.constData());
            QVERIFY2(clRecord.payloadKind == lKind, clWhere.constData());
            // Entry type 7 and the block-2 record take the second measurement.
            const int lSource = clFields.entryType == 7 || k == 1 ? 1 : 0;
            QVERIFY2(clTetra.value1 == (clFields.measurements[lSource] + 5) / 10 / 10,
                     clWhere.constData());
            if (k == 1) {
                QVERIFY2(clTetra.burstType == 33, clWhere.constData());
                ++lSecondRecords;
            }
            ++lRecords;
        }
    }
    RawRecord clRecord{};
    QCOMPARE(int(pReader->ReadData(clRecord)), 3);
    QCOMPARE(pReader->GetProgress(), 100.0);
    pReader->CloseFile();
    // The sequence holds every case at least once.
    QVERIFY(lRecords > 3000);
    QVERIFY(lSecondRecords > 0);
}

void TestTmwReader::generatedSequenceWithoutTimes() {
    // Frames without a time get it from their counters, running on across
    // the hyperframe wrap; uplink bursts lie two timeslots later.
    TmwBytes::SequenceSettings clSettings;
    clSettings.seed = 11;
    clSettings.frameCount = 600;
    clSettings.hyperframe = 65535;
    clSettings.multiframe = 59;
    clSettings.absoluteTime = false;
    const std::vector<TmwBytes::SequenceFrame> clFrames = TmwBytes::RealisticSequence(clSettings);
    const QString clstrPath = Path("counters.tmw");
    QVERIFY(WriteFileBytes(clstrPath, ToBytes(TmwBytes::FileBytes(clFrames))));

    FileHeaderInfo clInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(ToWide(clstrPath).c_str(), clInfo);
    QVERIFY(pReader);
    // Timeslots from the first one of hyperframe 0 to the first frame.
    const uint64_t lFirstSlot = 65535ULL * 4320 + 58 * 72;
    bool bWrapped = false;
    for (size_t i = 0; i < clFrames.size(); ++i) {
        const TmwBytes::FrameFields &clFields = clFrames[i].fields;
        const int lBurst = clFields.burstCode;
        const bool bUplink = lBurst == 2 || lBurst == 18;
        if (lBurst != 1 && !bUplink && lBurst != 17 && lBurst != 33 && lBurst != 34)
            continue;
        // The exact time in sixths of a millisecond (a timeslot is 85/6 ms).
        const uint64_t lSixths = (lFirstSlot + i + (bUplink ? 2 : 0)) * 85;
        const int lCount = bUplink && clFields.entryType == 17 ? 2 : 1;
        for (int k = 0; k < lCount; ++k) {
            RawRecord clRecord{};
            QCOMPARE(int(pReader->ReadData(clRecord)), 0);
            const TetraTmv &clTetra = Tetra(clRecord);
            const uint64_t lTime = clTetra.timeSeconds * 1000 + clTetra.milliseconds;
            // Whole milliseconds of the exact time; one less may come out
            // when the exact time is whole, from the rounding of 85/6.
            const bool bExpected =
                lTime == lSixths / 6 || (lSixths % 6 == 0 && lTime + 1 == lSixths / 6);
            QVERIFY2(bExpected,
                     qPrintable(
                         QString("frame %1: %2 ms, exact %3/6 ms").arg(i).arg(lTime).arg(lSixths)));
            bWrapped = bWrapped || clTetra.hyperframe == 0;
        }
    }
    RawRecord clRecord{};
    QCOMPARE(int(pReader->ReadData(clRecord)), 3);
    QVERIFY(bWrapped);
}

void TestTmwReader::progressAndSize() {
    const QString clstrPath = Path("progress.tmw");
    QVERIFY(WriteFileBytes(clstrPath, StampedFrame(1) + StampedFrame(2) + StampedFrame(3)));
    CProprietaryTmwFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    // Nothing read yet: the position is 0.
    QCOMPARE(clReader.GetFileSize(true), quint64(0));
    QCOMPARE(clReader.GetFileSize(false), quint64(0));
    QCOMPARE(clReader.GetProgress(), 0.0);
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(clReader.GetFileSize(true), quint64(252));
    QCOMPARE(clReader.GetFileSize(false), quint64(84));
    QCOMPARE(clReader.GetProgress(), 84.0 / 2.52);
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(clReader.GetFileSize(false), quint64(168));
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(int(clReader.ReadData(clRecord)), 3);
    QCOMPARE(clReader.GetFileSize(false), quint64(252));
    QCOMPARE(clReader.GetProgress(), 100.0);

    // A file larger than the read buffer: the position counts what was used.
    QByteArray clLarge;
    for (int i = 0; i < 2000; ++i)
        clLarge += StampedFrame(uint32_t(i));
    QVERIFY(WriteFileBytes(Path("large.tmw"), clLarge));
    CProprietaryTmwFileFormatV1 clLargeReader;
    QCOMPARE(int(clLargeReader.OpenFile(ToWide(Path("large.tmw")).c_str(), clInfo, 0)), 0);
    QCOMPARE(int(clLargeReader.ReadData(clRecord)), 0);
    QCOMPARE(clLargeReader.GetFileSize(true), quint64(168000));
    QCOMPARE(clLargeReader.GetFileSize(false), quint64(84));
    QCOMPARE(clLargeReader.GetProgress(), 84.0 / 1680.0);
}

void TestTmwReader::interfaceAnswers() {
    CProprietaryTmwFileFormatV1 clReader;
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 1);
    QCOMPARE(clReader.GetProgress(), 0.0);
    QCOMPARE(clReader.GetFileSize(true), quint64(0));
    QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), QString());

    FileHeaderInfo clInfo;
    std::memset(&clInfo, 0x33, sizeof clInfo);
    QCOMPARE(int(clReader.OpenFile(ToWide(Path("missing.tmw")).c_str(), clInfo, 0)), 1);
    QVERIFY(QDir(m_clDir.path()).mkpath("folder.tmw"));
    QCOMPARE(int(clReader.OpenFile(ToWide(Path("folder.tmw")).c_str(), clInfo, 0)), 1);
    QCOMPARE(int(clReader.OpenFile(ToWide(Path("no/such/folder/a.tmw")).c_str(), clInfo, 0)), 1);
    QCOMPARE(int(clReader.OpenFile(nullptr, clInfo, 0)), 1);

    const QString clstrPath = Path("answers.tmw");
    QVERIFY(WriteFileBytes(clstrPath, StampedFrame(1) + StampedFrame(2)));
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(QByteArray(clInfo.recordingType), QByteArray("Proprietary TMW recording"));
    QCOMPARE(QByteArray(clInfo.infoText1), QByteArray("unknown"));
    QCOMPARE(QByteArray(clInfo.infoText2), QByteArray(" - "));
    QCOMPARE(QByteArray(clInfo.infoText3), QByteArray(" - "));
    QCOMPARE(clInfo.infoType, 1u);
    QCOMPARE(clInfo.fileMagic, quint64(0));
    QCOMPARE(clInfo.startTime, qint64(0));
    QCOMPARE(clInfo.extraValue, 0.0);
    QVERIFY(!clReader.IsOnlineFile());
    QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), clstrPath);
    QCOMPARE(ReadTrace(clReader, 1), QStringList{Stamp(1)});

    // A second open changes nothing: reading goes on where it was.
    FileHeaderInfo clOther{};
    QCOMPARE(int(clReader.OpenFile(ToWide(Path("other.tmw")).c_str(), clOther, 0)), 1);
    QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), clstrPath);

    QCOMPARE(int(clReader.OpenFileForWriting(ToWide(Path("out.bvf")).c_str(), clInfo, 0)), 1);
    QCOMPARE(int(clReader.WriteData(clRecord)), 2);
    QCOMPARE(int(clReader.FlushData()), 0);
    QCOMPARE(int(clReader.CloseFileForWriting()), 0);
    QCOMPARE(clReader.GetWrittenBytes(), quint64(0));
    QVERIFY(!QFile::exists(Path("out.bvf")));
    QVERIFY(clReader.SetOption(0, 1));
    QVERIFY(clReader.SetOption(0, 0));
    QVERIFY(!clReader.SetOption(1, 1));
    QVERIFY(!clReader.SetOption(255, 0));
    QVERIFY(!clReader.SetAutoSplit(60, nullptr, nullptr));
    QVERIFY(!clReader.ReservedQuery());
    uint32_t lOut32 = 9;
    uint64_t lOut64 = 9;
    QVERIFY(!clReader.ReservedValue32(1, lOut32));
    QVERIFY(!clReader.ReservedValue64(1, lOut64));
    QCOMPARE(lOut32, 0u);
    QCOMPARE(lOut64, quint64(0));
    QCOMPARE(ReadTrace(clReader), (QStringList{Stamp(2), "3"}));

    clReader.CloseFile();
    QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), QString());
    QCOMPARE(int(clReader.ReadData(clRecord)), 1);
    // The same object opens again and reads from the start.
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(ReadTrace(clReader), (QStringList{Stamp(1), Stamp(2), "3"}));
}

void TestTmwReader::reopeningReadsTheSame() {
    // Counter times across a wrap, and a first frame without an entry-type
    // row, which goes out with the kind of the record before it.
    auto frame = [](uint16_t lHyperframe, uint8_t lEntryType) {
        TmwBytes::FrameFields clFields = SampleFields();
        clFields.hyperframe = lHyperframe;
        clFields.entryType = lEntryType;
        return FrameBytes(clFields);
    };
    const QString clstrFirst = Path("first.tmw");
    const QString clstrSecond = Path("second.tmw");
    QVERIFY(WriteFileBytes(clstrFirst, frame(65535, 34)));
    QVERIFY(WriteFileBytes(clstrSecond, frame(0, 0) + frame(0, 34) + frame(0, 0)));

    auto read = [](CVirtualFileFormat &clReader, const QString &clstrPath) {
        FileHeaderInfo clInfo{};
        QStringList clTrace;
        if (clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0) != FILE_OK)
            return QStringList{"open failed"};
        for (;;) {
            RawRecord clRecord{};
            const FileResult enResult = clReader.ReadData(clRecord);
            if (enResult != FILE_OK) {
                clTrace << QString::number(enResult);
                break;
            }
            clTrace << QString("%1:%2.%3")
                           .arg(clRecord.payloadKind)
                           .arg(Tetra(clRecord).timeSeconds)
                           .arg(Tetra(clRecord).milliseconds);
        }
        clReader.CloseFile();
        return clTrace;
    };

    const QStringList clFresh = {"0:0.0", "3:0.0", "3:0.0", "3"};
    CProprietaryTmwFileFormatV1 clReader;
    QCOMPARE(read(clReader, clstrFirst), (QStringList{"3:4010742.0", "3"}));
    QCOMPARE(read(clReader, clstrSecond), clFresh);
    QCOMPARE(read(clReader, clstrSecond), clFresh);
}

void TestTmwReader::damagedInputEndsCleanly() {
    // Any bytes are frames to this format: reading must end with 3, and no
    // frame gives more than two records.
    uint32_t lState = 2024;
    auto next = [&lState] {
        lState = lState * 1664525u + 1013904223u;
        return uint8_t(lState >> 24);
    };
    for (int lSize : {1, 83, 84, 85, 167, 168, 1000, 20000, 140000}) {
        QByteArray clBytes(lSize, '\0');
        for (char &c : clBytes)
            c = char(next());
        const QString clstrPath = Path(QString("noise%1.tmw").arg(lSize));
        QVERIFY(WriteFileBytes(clstrPath, clBytes));
        CProprietaryTmwFileFormatV1 clReader;
        FileHeaderInfo clInfo{};
        QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
        const QStringList clTrace = ReadTrace(clReader, lSize);
        QCOMPARE(clTrace.last(), QString("3"));
        QVERIFY(clTrace.size() - 1 <= 2 * (lSize / 84));
        QCOMPARE(clReader.GetFileSize(false), quint64(lSize - lSize % 84));
    }
    const QString clstrPath = Path("ones.tmw");
    QVERIFY(WriteFileBytes(clstrPath, QByteArray(84 * 50, '\xFF')));
    CProprietaryTmwFileFormatV1 clReader;
    FileHeaderInfo clInfo{};
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    QCOMPARE(ReadTrace(clReader), QStringList{"3"});
}

BVF_TEST_MAIN(TestTmwReader)
#include "test_tmw_reader.moc"
