// Which records the split writes as their source frames and which it encodes
// again: sources of older versions and frames of other writers, with and
// without changes to the records. Sources and expected frames are built byte
// by byte, independently of the codec.
#include "WorkerTestKit.h"

#include "TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>

using namespace WorkerTestKit;
using namespace ContainerBytes;

Q_DECLARE_METATYPE(StructSplitSettings)

namespace {

const QString kSource = QStringLiteral("cell.bvf");
constexpr uint64_t kHz = 390012500;

QByteArray HeaderOfVersion(int lVersion) {
    HeaderFields clFields;
    clFields.magic = MagicText(lVersion);
    return Header(clFields);
}

// A frame holding a sub-header whose last eight bytes, ignored by readers,
// are given, and then the body.
QByteArray RecordWithIgnored(uint8_t lType, const SubHeader &clSub, const QByteArray &clIgnored,
                             const QByteArray &clBody) {
    CByteWriter clOut;
    clOut.U8(clSub.sourceByte)
        .U64(clSub.frequency)
        .U32(clSub.symbolRate)
        .U16(clSub.value16)
        .Padded(clIgnored, 8)
        .Bytes(clBody);
    return Frame(lType, clOut.Result());
}

// A generic payload of 80 bytes with its time at 16 and its frequency at 64,
// least significant byte first.
QByteArray GenericPayload(int64_t lTime, uint64_t lHz) {
    QByteArray clPayload(80, '\0');
    for (int i = 0; i < 80; ++i)
        clPayload[i] = char(0x40 + i);
    for (int i = 0; i < 8; ++i) {
        clPayload[16 + i] = char(uint64_t(lTime) >> (8 * i));
        clPayload[64 + i] = char(lHz >> (8 * i));
    }
    return clPayload;
}

TetraBody TetraAt(int64_t lTime, uint8_t lValueFlags) {
    TetraBody clBody;
    clBody.timeSeconds = uint64_t(lTime);
    clBody.milliseconds = 250;
    clBody.hyperframe = 77;
    clBody.timeslot = 2;
    clBody.valueFlags = lValueFlags;
    clBody.valueSlots[0] = 12;
    clBody.bitCount = 20;
    clBody.data = QByteArray("\x01\x02\x03", 3);
    return clBody;
}

DmrBody DmrAt(int64_t lTime, bool bWithTimeslot) {
    DmrBody clBody;
    clBody.withTimeslot = bWithTimeslot;
    clBody.burstKind = 1; // timeslot 0 when a reader reconstructs it
    clBody.timeSeconds = uint64_t(lTime);
    clBody.word1 = 0x1234;
    clBody.items = {DmrItemBytes{37, 0x05, 16, QByteArray("\xAB\xCD", 2)}};
    return clBody;
}

SubHeader Sub(uint64_t lHz) {
    SubHeader clSub;
    clSub.sourceByte = 9;
    clSub.frequency = lHz;
    clSub.symbolRate = 18000;
    clSub.value16 = 0x0102;
    return clSub;
}

} // namespace

class TestSplitPassThrough : public QObject {
    Q_OBJECT

  private slots:
    void init();

    void olderVersionsAreEncodedAgain_data();
    void olderVersionsAreEncodedAgain();
    void otherWritersFrames_data();
    void otherWritersFrames();

  private:
    QString Path(const QString &clstrName) const { return m_pDir->filePath(clstrName); }
    QStringList Parts() const {
        QStringList clPaths;
        for (const QString &clstrName : FilesIn(m_pDir->path(), {kSource}))
            clPaths << Path(clstrName);
        return clPaths;
    }

    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestSplitPassThrough::init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
}

void TestSplitPassThrough::olderVersionsAreEncodedAgain_data() {
    QTest::addColumn<int>("version");
    QTest::newRow("version 1") << 1;
    QTest::newRow("version 2") << 2;
}

void TestSplitPassThrough::olderVersionsAreEncodedAgain() {
    QFETCH(int, version);
    // Layouts that version 3 stores differently (no timeslot byte before the
    // DMR head, no flags2 byte in version 1 TETRA), and ignored bytes that
    // are not zero.
    const QByteArray clIgnored(8, '\x5C');
    const int64_t t = At("10:20:00");
    const TetraBody clTetra = TetraAt(t, 0x80);
    QByteArray clSource = HeaderOfVersion(version);
    clSource += RecordWithIgnored(
        3, Sub(kHz), clIgnored,
        TetraBodyBytes(clTetra, version == 1 ? TetraLayout::V1 : TetraLayout::V2));
    clSource += RecordWithIgnored(5, Sub(0), clIgnored, DmrBodyBytes(DmrAt(t + 600, false)));
    clSource += RecordWithIgnored(2, Sub(0), clIgnored, GenericPayload(t + 1200, 0));
    clSource += RecordWithIgnored(5, Sub(0), clIgnored, DmrBodyBytes(DmrAt(t + 1800, false)));
    QVERIFY(WriteBytes(Path(kSource), clSource));

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(Path(kSource)), 1000);
    QCOMPARE(clRig.Split(ByNumber(2)), 2000);
    QCOMPARE(Parts().size(), 2);
    // Version-3 frames of the same records, ignored bytes zero.
    const QList<QByteArray> clExpected = {
        Record(3, Sub(kHz), TetraBodyBytes(clTetra, TetraLayout::V2)),
        Record(5, Sub(0), DmrBodyBytes(DmrAt(t + 600, true))),
        Record(2, Sub(0), GenericPayload(t + 1200, 0)),
        Record(5, Sub(0), DmrBodyBytes(DmrAt(t + 1800, true))),
    };
    QCOMPARE(CompareParts(Parts(), HeaderOfVersion(3), clExpected), QString());
}

void TestSplitPassThrough::otherWritersFrames_data() {
    QTest::addColumn<StructSplitSettings>("settings");
    QTest::addColumn<int>("offset"); // expected change of every time
    QTest::addColumn<qlonglong>("frequency");
    QTest::addColumn<bool>("asRead"); // frames our writer can stand for are kept as they are

    QTest::newRow("records unchanged") << ByNumber(2) << 0 << 0LL << true;
    StructSplitSettings clShifted = ByNumber(2);
    clShifted.applyOffset = true;
    QTest::newRow("offset") << clShifted << 3600 << 0LL << false;
    StructSplitSettings clCorrected = ByNumber(2);
    clCorrected.correctFrequency = true;
    clCorrected.frequencyHz = qlonglong(kHz) + 500;
    QTest::newRow("frequency correction") << clCorrected << 0 << qlonglong(kHz) + 500 << false;
    StructSplitSettings clNoValue = ByNumber(2);
    clNoValue.correctFrequency = true;
    clNoValue.frequencyHz = -1;
    QTest::newRow("frequency correction without a value") << clNoValue << 0 << 0LL << true;
}

void TestSplitPassThrough::otherWritersFrames() {
    QFETCH(StructSplitSettings, settings);
    QFETCH(int, offset);
    QFETCH(qlonglong, frequency);
    QFETCH(bool, asRead);

    // Version 3 as another writer may store it: bytes that readers ignore
    // are not zero, an extended TETRA type without extended fields, a notice
    // longer than its fields.
    const QByteArray clIgnored("ignored!");
    const int64_t t = At("10:20:00");
    TetraBody clTetra = TetraAt(t, 0x80);
    TetraBody clExtended = TetraAt(t + 1200, 0x40);
    QByteArray clNotice = NoticeBodyBytes(10045, 3, "from elsewhere");
    clNotice.append(QByteArray(20, '\x77'));
    const QList<QByteArray> clFrames = {
        RecordWithIgnored(3, Sub(kHz), clIgnored, TetraBodyBytes(clTetra, TetraLayout::V2)),
        RecordWithIgnored(2, Sub(0), clIgnored, GenericPayload(t + 600, 0)),
        Record(8, Sub(kHz), TetraBodyBytes(clExtended, TetraLayout::Extended)),
        Record(4, Sub(0), clNotice),
        RecordWithIgnored(5, Sub(0), clIgnored, DmrBodyBytes(DmrAt(t + 1800, true))),
    };
    QByteArray clSource = HeaderOfVersion(3);
    for (const QByteArray &clFrame : clFrames)
        clSource += clFrame;
    QVERIFY(WriteBytes(Path(kSource), clSource));

    WorkerRig clRig;
    QCOMPARE(clRig.Scan(Path(kSource)), 1000);
    clRig.source.offset = 3600;
    QCOMPARE(clRig.Split(settings), 2000);
    QCOMPARE(Parts().size(), 2);

    // Encoded again: ignored bytes zero, the extended type without extended
    // fields as the plain one, the notice cut to its fields; times and
    // frequencies as the split changes them.
    const uint64_t lHz = frequency != 0 ? uint64_t(frequency) : 0;
    auto Frequency = [lHz](uint64_t lStated) { return lHz != 0 ? lHz : lStated; };
    clTetra.timeSeconds += uint64_t(offset);
    clExtended.timeSeconds += uint64_t(offset);
    if (lHz != 0) {
        clTetra.valueFlags |= 0x10;
        clExtended.valueFlags |= 0x10;
    }
    DmrBody clDmr = DmrAt(t + 1800 + offset, true);
    if (lHz != 0)
        clDmr.value48 = lHz;
    QList<QByteArray> clExpected = {
        Record(3, Sub(Frequency(kHz)), TetraBodyBytes(clTetra, TetraLayout::V2)),
        Record(2, Sub(Frequency(0)), GenericPayload(t + 600 + offset, lHz)),
        Record(3, Sub(Frequency(kHz)), TetraBodyBytes(clExtended, TetraLayout::V2)),
        Record(4, Sub(0), clNotice.left(136)),
        Record(5, Sub(Frequency(0)), DmrBodyBytes(clDmr)),
    };
    if (asRead) {
        clExpected[0] = clFrames[0];
        clExpected[1] = clFrames[1];
        clExpected[4] = clFrames[4];
    }
    QCOMPARE(CompareParts(Parts(), HeaderOfVersion(3), clExpected), QString());
}

BVF_TEST_MAIN(TestSplitPassThrough)
#include "test_split_pass_through.moc"
