// Finding the DMR frames of ".lan" recordings: their checksum, how far a
// frame that gives no record is stepped over, and the scope of the timeslot
// memory. What frames convert to is held against the TMW model in test_lan.
#include "LanTestKit.h"
#include "TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

using namespace ContainerTestKit;
using namespace LanTestKit;

namespace {

LanBytes::DmrFrameFields NamedFrame(uint16_t lName, uint8_t lBurstCode = 1) {
    LanBytes::DmrFrameFields clFields;
    clFields.word1 = lName;
    clFields.burstKindCode = lBurstCode;
    clFields.timeWord = LanBytes::TimeWord({2024, 3, 1, 12, 0, 0, 0});
    return clFields;
}

LanBytes::Bytes Named(uint16_t lName) {
    return LanBytes::DmrFrame(NamedFrame(lName));
}

// The frame with byte2 chosen so that its CRC is lCrc, and the check byte
// lCheck.
LanBytes::Bytes FrameWithCrc(LanBytes::DmrFrameFields clFields, uint8_t lCrc, uint8_t lCheck) {
    clFields.check = LanBytes::DmrCheck::Given;
    clFields.givenCheck = lCheck;
    for (int lByte2 = 0; lByte2 < 256; ++lByte2) {
        clFields.byte2 = uint8_t(lByte2);
        const LanBytes::Bytes clFrame = LanBytes::DmrFrame(clFields);
        if (LanBytes::FrameCrc(clFrame) == lCrc)
            return clFrame;
    }
    return {};
}

// Sets the check byte of built frame bytes to their CRC (255 for 0).
void Reseal(LanBytes::Bytes &clFrame) {
    const uint8_t lCrc = LanBytes::FrameCrc(clFrame);
    clFrame[3] = lCrc == 0 ? 255 : lCrc;
}

// A DMR record by its name and timeslot.
QStringList TimeslotTrace(CVirtualFileFormat &clReader) {
    QStringList clTrace;
    RawRecord r{};
    FileResult enResult;
    while ((enResult = clReader.ReadData(r)) == FILE_OK)
        clTrace << QString("W:%1/%2").arg(Dmr(r).word1).arg(Dmr(r).timeslot);
    return clTrace << QString::number(int(enResult));
}

} // namespace

class TestDmrConversion : public QObject {
    Q_OBJECT

  private slots:
    void checksum_data();
    void checksum();
    void frameSteps_data();
    void frameSteps();
    void timeslotFlagScope();

  private:
    QString Path(const QString &clstrName) const { return m_clDir.filePath(clstrName); }
    QTemporaryDir m_clDir;
};

void TestDmrConversion::checksum_data() {
    QTest::addColumn<QByteArray>("frame"); // named 1, between frames 7 and 8
    QTest::addColumn<bool>("accepted");

    LanBytes::DmrFrameFields clFields = NamedFrame(1);
    clFields.check = LanBytes::DmrCheck::None;
    QTest::newRow("X = 0 skips the check") << ToBytes(LanBytes::DmrFrame(clFields)) << true;
    clFields.check = LanBytes::DmrCheck::Given;
    clFields.givenCheck = 0;
    clFields.byte2 = 0x5A;
    QTest::newRow("X = 0 with any content") << ToBytes(LanBytes::DmrFrame(clFields)) << true;

    const LanBytes::Bytes clGood = FrameWithCrc(NamedFrame(1), 0x3C, 0x3C);
    QTest::newRow("matching CRC") << ToBytes(clGood) << true;
    QTest::newRow("CRC 0x3C, X 0x3D") << ToBytes(FrameWithCrc(NamedFrame(1), 0x3C, 0x3D)) << false;
    QTest::newRow("CRC 0x3C, X 255") << ToBytes(FrameWithCrc(NamedFrame(1), 0x3C, 255)) << false;
    QTest::newRow("CRC 0 with X 255") << ToBytes(FrameWithCrc(NamedFrame(1), 0, 255)) << true;
    QTest::newRow("CRC 0 with X 0: no check") << ToBytes(FrameWithCrc(NamedFrame(1), 0, 0)) << true;
    QTest::newRow("CRC 0 with X 1") << ToBytes(FrameWithCrc(NamedFrame(1), 0, 1)) << false;
    QTest::newRow("CRC 255 with X 255") << ToBytes(FrameWithCrc(NamedFrame(1), 255, 255)) << true;

    // The check covers the kind byte and everything up to the terminator.
    LanBytes::Bytes clChanged = clGood;
    clChanged[4 + 12] ^= 0x01;
    QTest::newRow("byte2 changed after the check") << ToBytes(clChanged) << false;
    clChanged = clGood;
    clChanged[clChanged.size() - 2] ^= 0x80;
    QTest::newRow("last byte before the terminator changed") << ToBytes(clChanged) << false;
    clChanged = clGood;
    clChanged[4] = 3;
    QTest::newRow("kind byte changed") << ToBytes(clChanged) << false;
}

void TestDmrConversion::checksum() {
    QFETCH(QByteArray, frame);
    QFETCH(bool, accepted);

    const QString clstrPath = Path("checksum.lan");
    QVERIFY(WriteFileBytes(clstrPath, ToBytes(Named(7)) + frame + ToBytes(Named(8))));
    const QStringList clExpected =
        accepted ? QStringList{"W:7", "W:1", "W:8", "3"} : QStringList{"W:7", "W:8", "3"};
    QCOMPARE(ReadFileTrace(clstrPath), clExpected);
}

void TestDmrConversion::frameSteps_data() {
    QTest::addColumn<QByteArray>("frame"); // between frames 1 and 2
    QTest::addColumn<QStringList>("trace");

    // A frame whose bytes hold a whole good frame (named 5): stepping over the
    // outer one by its length passes the inner one over, stepping by one byte
    // finds it.
    const LanBytes::Bytes clInner = Named(5);
    auto holding = [&clInner](uint8_t lKind, LanBytes::DmrCheck enCheck, uint8_t lFlags = 0) {
        LanBytes::DmrFrameFields clFields = NamedFrame(9);
        clFields.frameKind = lKind;
        clFields.check = enCheck;
        clFields.optionFlags = lFlags;
        clFields.trailing = clInner;
        return clFields;
    };
    auto row = [](const char *pName, const LanBytes::DmrFrameFields &clFields,
                  const QStringList &clTrace) {
        QTest::newRow(pName) << ToBytes(LanBytes::DmrFrame(clFields)) << clTrace;
    };
    const QStringList clOuterSkipped = {"W:1", "W:2", "3"};
    const QStringList clInnerFound = {"W:1", "W:5", "W:2", "3"};

    row("kind 1 with a checksum: passed over by its length",
        holding(1, LanBytes::DmrCheck::Computed), clOuterSkipped);
    row("kind 1 without a checksum: by one byte", holding(1, LanBytes::DmrCheck::None),
        clInnerFound);
    row("kind 2 holding a frame is one frame", holding(2, LanBytes::DmrCheck::None),
        QStringList{"W:1", "W:9", "W:2", "3"});
    row("option flags 0x40 with a checksum: no record, by its length",
        holding(2, LanBytes::DmrCheck::Computed, 0x40), clOuterSkipped);
    row("option flags 0x40 without a checksum: by one byte",
        holding(2, LanBytes::DmrCheck::None, 0x40), clInnerFound);

    LanBytes::DmrFrameFields clFields = holding(2, LanBytes::DmrCheck::Given);
    // Any check byte but the right one and 0 (no checksum).
    const uint8_t lCrc = LanBytes::FrameCrc(LanBytes::DmrFrame(clFields));
    clFields.givenCheck = uint8_t(lCrc == 0x10 ? 0x20 : lCrc ^ 0x10);
    row("wrong checksum: by one byte", clFields, clInnerFound);
    clFields = holding(2, LanBytes::DmrCheck::Computed);
    clFields.terminator = 0xFD;
    row("wrong terminator: by one byte", clFields, clInnerFound);
    clFields = holding(2, LanBytes::DmrCheck::Computed);
    clFields.trailing.resize(110 - 21, 0);
    row("length 110: by one byte", clFields, clInnerFound);
    clFields.trailing.resize(109 - 21, 0);
    row("length 109 is a frame", clFields, QStringList{"W:1", "W:9", "W:2", "3"});
    clFields = holding(2, LanBytes::DmrCheck::Computed);
    clFields.statedLength = 30;
    row("stated length short of the terminator", clFields, clInnerFound);

    // Too short for its own fields: the item count is missing.
    LanBytes::Bytes clShort = Named(9);
    clShort.erase(clShort.begin() + 19);
    clShort[2] = uint8_t(clShort.size());
    Reseal(clShort);
    QTest::newRow("20 bytes: too short for the fixed fields") << ToBytes(clShort) << clOuterSkipped;

    // Option flags that claim options the frame does not hold.
    LanBytes::Bytes clNoOptions = Named(9);
    clNoOptions[18] = 0x3F;
    Reseal(clNoOptions);
    QTest::newRow("options reaching the terminator: no record")
        << ToBytes(clNoOptions) << clOuterSkipped;
    clFields = NamedFrame(9);
    clFields.items = {LanBytes::DmrItem(1, 16)};
    clFields.items[0].data.resize(1);
    row("item reaching the terminator: no record", clFields, clOuterSkipped);
    clFields = NamedFrame(9);
    clFields.items = {LanBytes::DmrItem(1, 16)};
    clFields.statedCount = 2;
    row("item count above the items: no record", clFields, clOuterSkipped);
    clFields.statedCount = 1;
    clFields.trailing = {0x00, 0x00};
    row("bytes after the counted items are ignored", clFields,
        QStringList{"W:1", "W:9", "W:2", "3"});
    QTest::newRow("marker alone at the end")
        << QByteArray(1, char(0x7F)) << QStringList{"W:1", "W:2", "3"};
}

void TestDmrConversion::frameSteps() {
    QFETCH(QByteArray, frame);
    QFETCH(QStringList, trace);

    const QString clstrPath = Path("steps.lan");
    QByteArray clFile = ToBytes(Named(1)) + frame + ToBytes(Named(2));
    if (frame.size() == 1)
        clFile = ToBytes(Named(1)) + ToBytes(Named(2)) + frame;
    QVERIFY(WriteFileBytes(clstrPath, clFile));
    QCOMPARE(ReadFileTrace(clstrPath), trace);
}

void TestDmrConversion::timeslotFlagScope() {
    // File A holds a kind 1 burst before a kind 2 burst; file B only a kind 2.
    const QString clstrA = Path("a.lan");
    const QString clstrB = Path("b.lan");
    QVERIFY(WriteFileBytes(clstrA, ToBytes(LanBytes::DmrFrame(NamedFrame(1, 1))) +
                                       ToBytes(LanBytes::DmrFrame(NamedFrame(2, 0))) +
                                       ToBytes(LanBytes::DmrFrame(NamedFrame(3, 1)))));
    QVERIFY(WriteFileBytes(clstrB, ToBytes(LanBytes::DmrFrame(NamedFrame(4, 1)))));
    const QStringList clTraceA = {"W:1/0", "W:2/0", "W:3/1", "3"};
    const QStringList clTraceB = {"W:4/0", "3"};

    CTmwFileFormatV1 clReader;
    for (int lRound = 0; lRound < 2; ++lRound) {
        QCOMPARE(Open(clReader, clstrA), 0);
        QCOMPARE(TimeslotTrace(clReader), clTraceA);
        clReader.CloseFile();
        // The flag set by file A does not reach file B.
        QCOMPARE(Open(clReader, clstrB), 0);
        QCOMPARE(TimeslotTrace(clReader), clTraceB);
        clReader.CloseFile();
    }
    // Nor another reader object, while the first has file A open.
    QCOMPARE(Open(clReader, clstrA), 0);
    QCOMPARE(TimeslotTrace(clReader), clTraceA);
    CTmwFileFormatV1 clOther;
    QCOMPARE(Open(clOther, clstrB), 0);
    QCOMPARE(TimeslotTrace(clOther), clTraceB);
}

BVF_TEST_MAIN(TestDmrConversion)
#include "test_dmr_conversion.moc"
