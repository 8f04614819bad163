// Reading ".tmw" recordings made by the TmwBytes encoder: framing, online
// reading, and the answers both TMW readers give. Generated recordings are
// held against the TMW model in test_lan.
#include "ContainerTestKit.h"
#include "LanBytes.h"
#include "PayloadChecks.h"
#include "ProprietaryTmwFileFormatV1.h"
#include "TestPaths.h"
#include "TestRegistry.h"
#include "TmwBytes.h"
#include "TmwFileFormatV1.h"

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

// A downlink burst of entry type 6 at hyperframe 1 whose seconds since 2000
// tell it apart in a trace.
QByteArray StampedFrame(uint32_t lSeconds, uint8_t lBurstCode = 1, uint8_t lEntryType = 6) {
    TmwBytes::FrameFields clFields;
    clFields.carrier = 1000;
    clFields.band = 4;
    clFields.burstCode = lBurstCode;
    clFields.entryType = lEntryType;
    clFields.hyperframe = 1;
    clFields.dataFlags = TmwBytes::kBlock1Valid | TmwBytes::kBlock2Valid;
    TmwBytes::SetSecondsWithMilliseconds(clFields, lSeconds, 0);
    return ToBytes(TmwBytes::Frame(clFields));
}

QString Stamp(uint32_t lSeconds) {
    return QString("T:%1").arg(quint64(lSeconds) + TmwBytes::kEpoch2000);
}

} // namespace

class TestTmw : public QObject {
    Q_OBJECT

  private slots:
    void framing_data();
    void framing();
    void onlinePartialFrame();
    void readerAnswers_data();
    void readerAnswers();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QTemporaryDir m_clDir;
};

void TestTmw::framing_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("trace");
    QTest::newRow("empty file") << QByteArray() << QStringList{"3"};
    QTest::newRow("83 bytes") << StampedFrame(1).left(83) << QStringList{"3"};
    QTest::newRow("trailing partial frame")
        << StampedFrame(1) + StampedFrame(2) + StampedFrame(3).left(40)
        << QStringList{Stamp(1), Stamp(2), "3"};
    QTest::newRow("a byte inserted at a frame boundary")
        << StampedFrame(1) + QByteArray(1, '\0') + StampedFrame(2) + StampedFrame(3)
        << QStringList{Stamp(1), Stamp(2), Stamp(3), "3"};
    // Burst codes without a record are stepped over; entry type 17 on an
    // uplink burst gives two records.
    QTest::newRow("frames without records")
        << StampedFrame(1, 0) + StampedFrame(2) + StampedFrame(3, 255) + StampedFrame(4, 19) +
               StampedFrame(5, 2, 17) + StampedFrame(6, 1, 17) + StampedFrame(7, 3)
        << QStringList{Stamp(2), Stamp(5), Stamp(5), Stamp(6), "3"};
    QByteArray clNothing;
    for (uint32_t i = 0; i < 2000; ++i)
        clNothing += StampedFrame(i, 0);
    QTest::newRow("more than a buffer of frames without records") << clNothing << QStringList{"3"};
    // Counters out of range are limited, the timeslot passed on as stored.
    QByteArray clCounters;
    for (const auto &[lFrame, lMultiframe, lTimeslot] :
         {std::tuple{0, 0, 1}, {19, 61, 5}, {255, 255, 0}}) {
        TmwBytes::FrameFields clFields;
        clFields.burstCode = 1;
        clFields.frame = uint8_t(lFrame);
        clFields.multiframe = uint8_t(lMultiframe);
        clFields.timeslot = uint8_t(lTimeslot);
        TmwBytes::SetSecondsWithMilliseconds(clFields, 0, 0);
        clCounters += ToBytes(TmwBytes::Frame(clFields));
    }
    QTest::newRow("counters limited")
        << clCounters
        << QStringList{"T:946684800", "T:946684800 18/60/5", "T:946684800 18/60/0", "3"};
}

void TestTmw::framing() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, trace);
    const QString clstrPath = Path("framing.tmw");
    QVERIFY(WriteFileBytes(clstrPath, bytes));
    CProprietaryTmwFileFormatV1 clReader;
    QCOMPARE(Open(clReader, clstrPath), 0);
    QStringList clTrace;
    for (RawRecord clRecord{}; clReader.ReadData(clRecord) == FILE_OK;) {
        const auto &t = *static_cast<const TetraTmv *>(clRecord.payload);
        clTrace << DescribeRecord(clRecord) +
                       (t.frame == 1 && t.multiframe == 1 && t.timeslot == 1
                            ? QString()
                            : QString(" %1/%2/%3").arg(t.frame).arg(t.multiframe).arg(t.timeslot));
    }
    QCOMPARE(clTrace + QStringList{"3"}, trace);
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 3); // the end stays the end
}

void TestTmw::onlinePartialFrame() {
    for (const QString &clstrPrefix : {QString(), QString("online:"), QString("ONLINE:")}) {
        const QString clstrPath = Path("growing.tmw");
        const QByteArray clSecond = StampedFrame(2);
        QVERIFY(WriteFileBytes(clstrPath, StampedFrame(1) + clSecond.left(50)));
        CProprietaryTmwFileFormatV1 clReader;
        QCOMPARE(Open(clReader, clstrPrefix + clstrPath, clstrPrefix.isEmpty()), 0);
        QVERIFY(clReader.IsOnlineFile());
        QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), clstrPath);
        QCOMPARE(ReadTrace(clReader), (QStringList{Stamp(1), "8"}));
        // Still short by one byte: nothing is taken.
        QVERIFY(AppendFileBytes(clstrPath, clSecond.mid(50, 33)));
        QCOMPARE(ReadTrace(clReader), QStringList{"8"});
        QVERIFY(AppendFileBytes(clstrPath, clSecond.mid(83) + StampedFrame(3).left(42)));
        QCOMPARE(ReadTrace(clReader), (QStringList{Stamp(2), "8"}));
        QVERIFY(AppendFileBytes(clstrPath, StampedFrame(3).mid(42) + StampedFrame(4)));
        QCOMPARE(ReadTrace(clReader), (QStringList{Stamp(3), Stamp(4), "8"}));
    }
}

void TestTmw::readerAnswers_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("unit"); // one frame or entry of a record
    QTest::addColumn<QByteArray>("recordingType");
    QTest::newRow(".tmw") << "answers.tmw" << StampedFrame(1)
                          << QByteArray("Proprietary TMW recording");
    LanBytes::FrameEntryFields clEntry;
    clEntry.burstCode = 1;
    LanBytes::SetSecondsSince2000(clEntry, 1, 0);
    QTest::newRow(".lan") << "answers.lan"
                          << ToBytes(LanBytes::Entry(LanBytes::FrameEntryBody(clEntry)))
                          << QByteArray("TMW recording");
}

// What a reader that cannot write answers, from opening to closing, with
// the progress and position over a file of three units.
void TestTmw::readerAnswers() {
    QFETCH(QString, name);
    QFETCH(QByteArray, unit);
    QFETCH(QByteArray, recordingType);
    FileHeaderInfo clInfo;
    std::memset(&clInfo, 0x33, sizeof clInfo);
    std::unique_ptr<CVirtualFileFormat> pReader;
    if (name.endsWith(".tmw"))
        pReader.reset(new CProprietaryTmwFileFormatV1);
    else
        pReader.reset(new CTmwFileFormatV1);
    CVirtualFileFormat &clReader = *pReader;
    // Sizes in units, the progress and the file name.
    auto state = [&clReader, &unit] {
        return QString("%1 %2 %3 %4")
            .arg(double(clReader.GetFileSize(true)) / double(unit.size()))
            .arg(double(clReader.GetFileSize(false)) / double(unit.size()))
            .arg(clReader.GetProgress())
            .arg(QString::fromWCharArray(clReader.GetFileName()));
    };
    RawRecord clRecord{};
    QCOMPARE(int(clReader.ReadData(clRecord)), 1);
    QCOMPARE(state(), QString("0 0 0 "));
    QVERIFY(QDir(m_clDir.path()).mkpath("folder" + name));
    for (const QString &clstrMissing : {Path("folder" + name), Path("no/folder/" + name)})
        QCOMPARE(int(clReader.OpenFile(ToWide(clstrMissing).c_str(), clInfo, 0)), 1);
    QCOMPARE(int(clReader.OpenFile(nullptr, clInfo, 0)), 1);

    const QString clstrPath = Path(name);
    QVERIFY(WriteFileBytes(clstrPath, unit + unit + unit));
    QCOMPARE(int(clReader.OpenFile(ToWide(clstrPath).c_str(), clInfo, 0)), 0);
    FileHeaderInfo clExpected;
    std::memset(&clExpected, 0, sizeof clExpected);
    clExpected.infoType = 1;
    std::strcpy(clExpected.recordingType, recordingType.constData());
    std::strcpy(clExpected.infoText1, "unknown");
    std::strcpy(clExpected.infoText2, " - ");
    std::strcpy(clExpected.infoText3, " - ");
    QCOMPARE(BytesOf(clInfo).toHex(), BytesOf(clExpected).toHex());
    QVERIFY(!clReader.IsOnlineFile());
    QCOMPARE(state(), "0 0 0 " + clstrPath);
    QCOMPARE(int(clReader.ReadData(clRecord)), 0);
    QCOMPARE(state(), QString("3 1 %1 ").arg(100.0 / 3) + clstrPath);
    // A second open changes nothing: reading goes on where it was.
    QCOMPARE(int(clReader.OpenFile(ToWide(Path("other" + name)).c_str(), clInfo, 0)), 1);
    QCOMPARE(Create(clReader, Path("out.bvf"), 0, clInfo), 1);
    QCOMPARE(int(clReader.WriteData(clRecord)), 2);
    QVERIFY(!QFile::exists(Path("out.bvf")));
    QCOMPARE(ReadTrace(clReader).size(), 3);
    QCOMPARE(state(), "3 3 100 " + clstrPath);
    clReader.CloseFile();
    QCOMPARE(int(clReader.ReadData(clRecord)), 1);
    QCOMPARE(QString::fromWCharArray(clReader.GetFileName()), QString());
    // The same object opens again and reads from the start.
    QCOMPARE(int(clReader.OpenFile(ToWide("ONLINE:" + clstrPath).c_str(), clInfo, 0)), 0);
    QVERIFY(clReader.IsOnlineFile());
    QCOMPARE(ReadTrace(clReader).size(), 4);
}

BVF_TEST_MAIN(TestTmw)
#include "test_tmw.moc"
