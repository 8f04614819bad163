// bvftool run as a program on recordings made by our own code: containers of
// versions 1 and 2 built byte by byte, version 3, ".tmw" and ".lan" files from
// bvf-sample. What it reports is checked against how the files were made and
// against the independent container decoder of ContainerWalker.
#include "BrennovarstikFileFormatV1.h"
#include "ContainerBytes.h"
#include "ContainerWalker.h"
#include "OpenFileFormat.h"
#include "RecordFields.h"
#include "TestPaths.h"
#include "TestRegistry.h"
#include "ToolTestKit.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace {

using namespace ContainerBytes;

ToolRun Bvftool(const QStringList &clArguments, const QString &clstrDirectory = QString(),
                int lTimeoutMs = 120000) {
    return RunProgram(QStringLiteral(BVFTOOL_PATH), clArguments, clstrDirectory, lTimeoutMs);
}

// What bvf-sample says it wrote: records and the times of its first and last
// record (TMW recordings: of its first and last frame) in ms since 1970.
struct SampleSummary {
    qint64 records = -1;
    qint64 firstMs = 0;
    qint64 lastMs = 0;
};

qint64 UtcMs(const QString &clstrText) {
    QDateTime clTime = QDateTime::fromString(clstrText, QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    clTime.setTimeZone(QTimeZone::utc());
    return clTime.toMSecsSinceEpoch();
}

SampleSummary WriteSample(const QString &clstrPath, const QStringList &clOptions) {
    SampleSummary clSummary;
    const ToolRun clRun = RunTool(QStringList(clOptions) << clstrPath);
    static const QRegularExpression clPattern(
        QStringLiteral(": (\\d+) records.*, ([0-9-]+ [0-9:.]+) to ([0-9-]+ [0-9:.]+) UTC"));
    const QRegularExpressionMatch clMatch = clPattern.match(clRun.out);
    if (clRun.exitCode != 0 || !clMatch.hasMatch())
        return clSummary;
    clSummary.records = clMatch.captured(1).toLongLong();
    clSummary.firstMs = UtcMs(clMatch.captured(2));
    clSummary.lastMs = UtcMs(clMatch.captured(3));
    return clSummary;
}

bool WriteFile(const QString &clstrPath, const QByteArray &clBytes) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::WriteOnly) && clFile.write(clBytes) == clBytes.size();
}

QJsonObject InfoJson(const QString &clstrPath, const QStringList &clOptions = {}) {
    const ToolRun clRun = Bvftool(QStringList{QStringLiteral("info"), QStringLiteral("--json")}
                                  << clOptions << clstrPath);
    if (clRun.exitCode != 0)
        return {};
    return QJsonDocument::fromJson(clRun.out.toUtf8()).object();
}

// The kind names bvftool reports, by container record type.
QString KindOfType(int lType) {
    switch (lType) {
    case 3:
    case 8:
        return QStringLiteral("tetra");
    case 6:
        return QStringLiteral("aux");
    case 5:
        return QStringLiteral("dmr");
    case 9:
        return QStringLiteral("gsm");
    case 4:
        return QStringLiteral("notice");
    default:
        return QStringLiteral("generic");
    }
}

// The frames of a version-3 container, walked without our reader.
struct WalkedFrame {
    qint64 offset = 0;
    qint64 length = 0;
    container_walk::DecodedRecord record;
};
QList<WalkedFrame> WalkContainer(const QByteArray &clBytes) {
    QList<WalkedFrame> clFrames;
    container_walk::CContainerWalker clWalker(clBytes);
    while (!clWalker.AtEnd()) {
        WalkedFrame clFrame;
        if (!clWalker.Next(clFrame.record).isEmpty())
            return {};
        clFrame.offset = clFrame.record.offset;
        clFrames << clFrame;
    }
    for (qsizetype i = 0; i < clFrames.size(); ++i)
        clFrames[i].length = (i + 1 < clFrames.size() ? clFrames[i + 1].offset : clBytes.size()) -
                             clFrames[i].offset;
    return clFrames;
}

// A container built byte by byte: per second a TETRA record
// at 250 ms and a DMR record at 500 ms, for lSeconds seconds, then the same
// again from lSecondRun on; one notice first.
QByteArray BuiltContainer(int lVersion, uint64_t lMagic, int64_t lStart, int lSeconds,
                          int64_t lSecondRun) {
    HeaderFields clFields;
    clFields.magic = MagicText(lVersion);
    clFields.fileMagic = lMagic;
    clFields.startTime = lStart;
    clFields.recordingType = "built by the test";
    QByteArray clBytes = Header(clFields);
    clBytes += Record(4, {}, NoticeBodyBytes(10045, 0, "notice"));
    for (const int64_t lFrom : {lStart, lSecondRun}) {
        for (int i = 0; i < lSeconds; ++i) {
            TetraBody clTetra;
            clTetra.timeSeconds = uint64_t(lFrom + i);
            clTetra.milliseconds = 250;
            clTetra.multiframe = 1;
            clTetra.frame = 1;
            clTetra.timeslot = 1;
            clTetra.bitCount = 16;
            clTetra.data = QByteArray(2, '\x5a');
            clBytes +=
                Record(3, SubHeader{0, 390000000, 18000, 0},
                       TetraBodyBytes(clTetra, lVersion == 1 ? TetraLayout::V1 : TetraLayout::V2));
            DmrBody clDmr;
            clDmr.withTimeslot = lVersion == 3;
            clDmr.burstKind = 1;
            clDmr.timeSeconds = uint64_t(lFrom + i);
            clDmr.milliseconds = 500;
            clBytes += Record(5, SubHeader{0, 0, 4800, 0}, DmrBodyBytes(clDmr));
        }
    }
    return clBytes;
}

// Every record as its kind, frequency and payload bytes, in file order.
QList<QByteArray> RecordFingerprints(const QString &clstrPath) {
    QList<QByteArray> clPrints;
    FileHeaderInfo clInfo;
    std::memset(&clInfo, 0, sizeof clInfo);
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(ToWide(clstrPath).c_str(), clInfo);
    if (!pReader)
        return clPrints;
    for (;;) {
        RawRecord clRecord;
        std::memset(&clRecord, 0, sizeof clRecord);
        if (pReader->ReadData(clRecord) != FILE_OK)
            break;
        QByteArray clPrint;
        clPrint += char(clRecord.payloadKind);
        clPrint += QByteArray::number(qulonglong(clRecord.frequency));
        clPrint += QByteArray(static_cast<const char *>(clRecord.payload), clRecord.payloadLength);
        clPrints << clPrint;
    }
    pReader->CloseFile();
    return clPrints;
}

// Cuts the container into parts of one minute each with our writer, under
// the source's header, as a split would; the part names in time order.
QStringList CutIntoMinutes(const QString &clstrSource, const QString &clstrStem, int64_t lStart,
                           int lParts) {
    FileHeaderInfo clInfo;
    std::memset(&clInfo, 0, sizeof clInfo);
    std::unique_ptr<CVirtualFileFormat> pReader =
        OpenFileFormat(ToWide(clstrSource).c_str(), clInfo);
    if (!pReader)
        return {};
    QStringList clParts;
    CBrennovarstikFileFormatV1 clWriter;
    int lPart = -1;
    for (;;) {
        RawRecord clRecord;
        std::memset(&clRecord, 0, sizeof clRecord);
        if (pReader->ReadData(clRecord) != FILE_OK)
            break;
        // Records without a time stay in the part that is open.
        const std::optional<int64_t> clTime = RecordTimeSeconds(clRecord);
        const int lWanted = clTime
                                ? int(std::clamp<int64_t>((*clTime - lStart) / 60, 0, lParts - 1))
                                : std::max(lPart, 0);
        if (lWanted != lPart) {
            if (lPart >= 0 && clWriter.CloseFileForWriting() != FILE_OK)
                return {};
            lPart = lWanted;
            clParts << clstrStem + QStringLiteral("%1.bvf").arg(lPart);
            if (clWriter.OpenFileForWriting(ToWide(clParts.last()).c_str(), clInfo,
                                            CBrennovarstikFileFormatV1::kFlagKeep) != FILE_OK)
                return {};
        }
        if (clWriter.WriteData(clRecord) != FILE_OK)
            return {};
    }
    pReader->CloseFile();
    if (lPart < 0 || clWriter.CloseFileForWriting() != FILE_OK)
        return {};
    return clParts;
}

QStringList FilesIn(const QString &clstrDirectory) {
    return QDir(clstrDirectory)
        .entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

constexpr int64_t kStart = 1714982400; // 2024-05-06 08:00:00 UTC

} // namespace

class TestBvftool : public QObject {
    Q_OBJECT

  private slots:
    void infoReportsWhatWasGenerated_data();
    void infoReportsWhatWasGenerated();
    void infoOfGeneratedContainerAgreesWithTheBytes();
    void infoCountsDmrItemsAContainerLeavesOut();
    void verifyFindsDamageWithItsOffset();
    void namesAreLiteralAndOnlyFilesAreRead_data();
    void namesAreLiteralAndOnlyFilesAreRead();
    void mergeOfSplitPartsGivesBackTheSource();
    void mergeRefusesWithoutWriting_data();
    void mergeRefusesWithoutWriting();
    void everyCommandHasHelpAndNamesTheFileInErrors();
};

// Files with a gap of known length: built containers of versions 1 and 2,
// and TMW recordings made of two bvf-sample recordings one after the other.
void TestBvftool::infoReportsWhatWasGenerated_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("stream");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("sampleOptions");
    QTest::newRow("container version 1") << "container" << 1 << ""
                                         << "v1.bvf" << QStringList();
    QTest::newRow("container version 2") << "container" << 2 << ""
                                         << "v2.bvf" << QStringList();
    QTest::newRow(".tmw") << "tmw" << 0 << ""
                          << "two.tmw" << QStringList();
    QTest::newRow(".lan TETRA") << "lan" << 0 << "tetra"
                                << "two.lan" << QStringList();
    QTest::newRow(".lan DMR") << "lan" << 0 << "dmr"
                              << "two.lan"
                              << QStringList{QStringLiteral("--kinds"), QStringLiteral("dmr")};
}

void TestBvftool::infoReportsWhatWasGenerated() {
    QFETCH(QString, format);
    QFETCH(int, version);
    QFETCH(QString, stream);
    QFETCH(QString, name);
    QFETCH(QStringList, sampleOptions);
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrPath = clDir.filePath(name);

    // The records expected, and the window in which each reported time must
    // lie (exact for built files; TMW frames without a burst make no record).
    qint64 lRecords = 0;
    QMap<QString, qint64> clKinds;
    qint64 lFirstLow = 0, lFirstHigh = 0, lLastLow = 0, lLastHigh = 0;
    qint64 lGapFromLow = 0, lGapFromHigh = 0, lGapToLow = 0, lGapToHigh = 0;
    if (format == QStringLiteral("container")) {
        const int lSeconds = 10;
        const int64_t lSecondRun = kStart + 300;
        QVERIFY(
            WriteFile(clstrPath, BuiltContainer(version, 0x5eed, kStart, lSeconds, lSecondRun)));
        lRecords = 1 + 4 * lSeconds;
        clKinds = {{QStringLiteral("tetra"), 2 * lSeconds},
                   {QStringLiteral("dmr"), 2 * lSeconds},
                   {QStringLiteral("notice"), 1}};
        lFirstLow = lFirstHigh = kStart * 1000 + 250;
        lLastLow = lLastHigh = (lSecondRun + lSeconds - 1) * 1000 + 500;
        lGapFromLow = lGapFromHigh = (kStart + lSeconds - 1) * 1000 + 500;
        lGapToLow = lGapToHigh = lSecondRun * 1000 + 250;
    } else {
        const QString clstrSecond = clDir.filePath(QStringLiteral("second-") + name);
        const SampleSummary clFirst =
            WriteSample(clstrPath, QStringList(sampleOptions)
                                       << QStringLiteral("--minutes") << QStringLiteral("1"));
        const SampleSummary clSecond = WriteSample(
            clstrSecond, QStringList(sampleOptions)
                             << QStringLiteral("--minutes") << QStringLiteral("1")
                             << QStringLiteral("--start") << QStringLiteral("2024-05-06 08:03:00"));
        QVERIFY(clFirst.records > 0 && clSecond.records > 0);
        // Headerless: one recording after the other is a recording with a gap.
        QVERIFY(WriteFile(clstrPath, ReadAll(clstrPath) + ReadAll(clstrSecond)));
        lRecords = clFirst.records + clSecond.records;
        clKinds = {{stream == QStringLiteral("dmr") ? QStringLiteral("dmr") : QString(), lRecords}};
        lFirstLow = clFirst.firstMs;
        lFirstHigh = clFirst.firstMs + 999;
        lLastLow = clSecond.lastMs - 999;
        lLastHigh = clSecond.lastMs;
        lGapFromLow = clFirst.lastMs - 999;
        lGapFromHigh = clFirst.lastMs;
        lGapToLow = clSecond.firstMs;
        lGapToHigh = clSecond.firstMs + 999;
    }

    const QJsonObject clInfo = InfoJson(clstrPath);
    QVERIFY(!clInfo.isEmpty());
    const QJsonObject clFormat = clInfo.value(QStringLiteral("format")).toObject();
    QCOMPARE(clFormat.value(QStringLiteral("name")).toString(), format);
    if (version != 0)
        QCOMPARE(clFormat.value(QStringLiteral("version")).toInt(), version);
    if (!stream.isEmpty())
        QCOMPARE(clFormat.value(QStringLiteral("stream")).toString(), stream);
    QCOMPARE(clInfo.value(QStringLiteral("records")).toInteger(), lRecords);
    QCOMPARE(clInfo.value(QStringLiteral("damagedStretches")).toInteger(), 0);
    QCOMPARE(clInfo.value(QStringLiteral("size")).toInteger(), QFileInfo(clstrPath).size());
    const QJsonObject clKindCounts = clInfo.value(QStringLiteral("kinds")).toObject();
    if (clKinds.contains(QString())) {
        // TETRA recordings: bursts and auxiliary records together.
        QCOMPARE(clKindCounts.value(QStringLiteral("tetra")).toInteger() +
                     clKindCounts.value(QStringLiteral("aux")).toInteger(),
                 lRecords);
        QVERIFY(clKindCounts.value(QStringLiteral("tetra")).toInteger() > 0);
    } else {
        QCOMPARE(clKindCounts.size(), clKinds.size());
        for (auto it = clKinds.cbegin(); it != clKinds.cend(); ++it)
            QCOMPARE(clKindCounts.value(it.key()).toInteger(), it.value());
    }
    const qint64 lFirst = clInfo.value(QStringLiteral("firstRecordMs")).toInteger();
    const qint64 lLast = clInfo.value(QStringLiteral("lastRecordMs")).toInteger();
    QVERIFY2(lFirst >= lFirstLow && lFirst <= lFirstHigh, qPrintable(QString::number(lFirst)));
    QVERIFY2(lLast >= lLastLow && lLast <= lLastHigh, qPrintable(QString::number(lLast)));

    const QJsonArray clGaps = clInfo.value(QStringLiteral("gaps")).toArray();
    QCOMPARE(clGaps.size(), 1);
    const QJsonObject clGap = clGaps[0].toObject();
    const qint64 lGapFrom = clGap.value(QStringLiteral("fromMs")).toInteger();
    const qint64 lGapTo = clGap.value(QStringLiteral("toMs")).toInteger();
    QVERIFY2(lGapFrom >= lGapFromLow && lGapFrom <= lGapFromHigh,
             qPrintable(QString::number(lGapFrom)));
    QVERIFY2(lGapTo >= lGapToLow && lGapTo <= lGapToHigh, qPrintable(QString::number(lGapTo)));

    // A threshold above the gap reports none; the text form tells the same.
    const qint64 lGapSeconds = (lGapTo - lGapFrom) / 1000;
    const QJsonObject clWide =
        InfoJson(clstrPath, {QStringLiteral("--gap"), QString::number(lGapSeconds + 1)});
    QCOMPARE(clWide.value(QStringLiteral("gaps")).toArray().size(), 0);
    const ToolRun clText = Bvftool({QStringLiteral("info"), clstrPath});
    QCOMPARE(clText.exitCode, 0);
    QVERIFY(clText.out.contains(QStringLiteral("records:           %1\n").arg(lRecords)));
    QVERIFY(clText.out.contains(QStringLiteral("gaps over 60 s:    1\n")));
    QVERIFY2(clText.out.contains(clGap.value(QStringLiteral("from")).toString() +
                                 QStringLiteral(" to ") +
                                 clGap.value(QStringLiteral("to")).toString()),
             qPrintable(clText.out));
}

// Version 3 from bvf-sample: header fields, counts per kind and times as the
// independent decoder finds them in the bytes.
void TestBvftool::infoOfGeneratedContainerAgreesWithTheBytes() {
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrPath = clDir.filePath(QStringLiteral("sample.bvf"));
    const SampleSummary clSummary =
        WriteSample(clstrPath, {QStringLiteral("--minutes"), QStringLiteral("2"),
                                QStringLiteral("--magic"), QStringLiteral("0xa1b2c3d4e5f60718")});
    QVERIFY(clSummary.records > 0);
    const QList<WalkedFrame> clFrames = WalkContainer(ReadAll(clstrPath));
    QCOMPARE(qint64(clFrames.size()), clSummary.records);
    QMap<QString, qint64> clKinds;
    for (const WalkedFrame &clFrame : clFrames)
        ++clKinds[KindOfType(clFrame.record.type)];

    const QJsonObject clInfo = InfoJson(clstrPath);
    QCOMPARE(
        clInfo.value(QStringLiteral("format")).toObject().value(QStringLiteral("version")).toInt(),
        3);
    QCOMPARE(clInfo.value(QStringLiteral("fileMagic")).toString(),
             QStringLiteral("0xa1b2c3d4e5f60718"));
    QCOMPARE(clInfo.value(QStringLiteral("startTime")).toString(),
             QStringLiteral("2024-05-06 08:00:00"));
    QCOMPARE(clInfo.value(QStringLiteral("records")).toInteger(), clSummary.records);
    const QJsonObject clKindCounts = clInfo.value(QStringLiteral("kinds")).toObject();
    QCOMPARE(clKindCounts.size(), clKinds.size());
    for (auto it = clKinds.cbegin(); it != clKinds.cend(); ++it)
        QCOMPARE(clKindCounts.value(it.key()).toInteger(), it.value());
    QCOMPARE(clInfo.value(QStringLiteral("firstRecordMs")).toInteger(), clSummary.firstMs);
    QCOMPARE(clInfo.value(QStringLiteral("lastRecordMs")).toInteger(), clSummary.lastMs);
    QCOMPARE(clInfo.value(QStringLiteral("gaps")).toArray().size(), 0);
    QCOMPARE(clInfo.value(QStringLiteral("damagedRecordsSkipped")).toInteger(), 0);
}

// A DMR ".lan" holds items in slots that a container keeps only for bursts
// of kind 1: info counts exactly the items a container written from it lacks.
void TestBvftool::infoCountsDmrItemsAContainerLeavesOut() {
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrLan = clDir.filePath(QStringLiteral("dmr.lan"));
    QVERIFY(WriteSample(clstrLan, {QStringLiteral("--minutes"), QStringLiteral("1"),
                                   QStringLiteral("--kinds"), QStringLiteral("dmr")})
                .records > 0);
    qint64 lRead = 0;
    FileHeaderInfo clInfo{};
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(ToWide(clstrLan).c_str(), clInfo);
    QVERIFY(pReader);
    for (RawRecord clRecord{}; pReader->ReadData(clRecord) == FILE_OK;) {
        for (int lSlot = 0; lSlot < kDmrItemSlots; ++lSlot)
            lRead +=
                DmrItemAt(*static_cast<const DmrTmv *>(clRecord.payload), lSlot).item->itemKind !=
                0;
    }
    pReader->CloseFile();
    const QStringList clContainer =
        CutIntoMinutes(clstrLan, clDir.filePath(QStringLiteral("all")), kStart, 1);
    QCOMPARE(clContainer.size(), 1);
    qint64 lKept = 0;
    for (const WalkedFrame &clFrame : WalkContainer(ReadAll(clContainer[0])))
        lKept += clFrame.record.items.size();

    const qint64 lLost =
        InfoJson(clstrLan).value(QStringLiteral("dmrItemsNotInContainer")).toInteger(-1);
    QVERIFY2(lLost > 0, qPrintable(QString::number(lLost)));
    QCOMPARE(lLost, lRead - lKept);
    QVERIFY(Bvftool({QStringLiteral("info"), clstrLan})
                .out.contains(QStringLiteral("dmr items lost:    %1 ").arg(lLost)));
}

void TestBvftool::verifyFindsDamageWithItsOffset() {
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrSound = clDir.filePath(QStringLiteral("sound.bvf"));
    QVERIFY(WriteSample(clstrSound, {QStringLiteral("--minutes"), QStringLiteral("1")}).records >
            0);
    const QByteArray clBytes = ReadAll(clstrSound);
    const QList<WalkedFrame> clFrames = WalkContainer(clBytes);
    QVERIFY(clFrames.size() > 100);

    ToolRun clRun = Bvftool({QStringLiteral("verify"), clstrSound});
    QCOMPARE(clRun.exitCode, 0);
    QVERIFY2(
        clRun.out.contains(
            QStringLiteral(": sound (container version 3, %1 records read").arg(clFrames.size())),
        qPrintable(clRun.out));

    // One bit flipped in the body of a record: that record, and nothing else,
    // is reported as a damaged stretch from its first byte.
    const WalkedFrame &clHit = clFrames[clFrames.size() / 2];
    QByteArray clFlipped = clBytes;
    clFlipped[clHit.offset + clHit.length / 2] ^= 0x04;
    const QString clstrFlipped = clDir.filePath(QStringLiteral("flipped.bvf"));
    QVERIFY(WriteFile(clstrFlipped, clFlipped));
    clRun = Bvftool({QStringLiteral("verify"), clstrFlipped});
    QCOMPARE(clRun.exitCode, 1);
    QVERIFY2(clRun.out.contains(QStringLiteral("flipped.bvf: offset %1 (0x%2): %3 damaged byte(s)")
                                    .arg(clHit.offset)
                                    .arg(clHit.offset, 0, 16)
                                    .arg(clHit.length)),
             qPrintable(clRun.out));
    QVERIFY(clRun.out.contains(QStringLiteral("damaged (container version 3, %1 records read, 1 "
                                              "damaged stretch(es)")
                                   .arg(clFrames.size() - 1)));

    // The file cut inside a record: the stretch from that record's start to
    // the end is reported, and every record before it was read.
    const WalkedFrame &clCut = clFrames[clFrames.size() - 10];
    const qint64 lCutAfter = clCut.length / 3;
    const QString clstrCut = clDir.filePath(QStringLiteral("cut.bvf"));
    QVERIFY(WriteFile(clstrCut, clBytes.left(clCut.offset + lCutAfter)));
    clRun = Bvftool({QStringLiteral("verify"), clstrCut});
    QCOMPARE(clRun.exitCode, 1);
    QVERIFY2(clRun.out.contains(
                 QStringLiteral("cut.bvf: offset %1 (0x%2): the file ends inside a record (%3 "
                                "byte(s) cut off)")
                     .arg(clCut.offset)
                     .arg(clCut.offset, 0, 16)
                     .arg(lCutAfter)),
             qPrintable(clRun.out));
    QVERIFY(clRun.out.contains(QStringLiteral("%1 records read").arg(clFrames.size() - 10)));

    // A record with a sound checksum that the reader refuses (its flag byte
    // is set) between two good ones: reported as refused, with its type.
    const QByteArray clGood = BuiltContainer(3, 1, kStart, 1, kStart + 1);
    const QByteArray clRefused = Frame(3, Record(3, {}, QByteArray(20, '\0')).mid(kFrameHead), 1);
    const QString clstrRefused = clDir.filePath(QStringLiteral("refused.bvf"));
    QVERIFY(WriteFile(clstrRefused, clGood + clRefused + clGood.mid(kHeaderSize)));
    clRun = Bvftool({QStringLiteral("verify"), clstrRefused});
    QCOMPARE(clRun.exitCode, 1);
    QVERIFY2(clRun.out.contains(QStringLiteral("offset %1 (0x%2): record of type 3 (%3 bytes) "
                                               "refused")
                                    .arg(clGood.size())
                                    .arg(clGood.size(), 0, 16)
                                    .arg(clRefused.size())),
             qPrintable(clRun.out));
    QVERIFY(clRun.out.contains(QStringLiteral("%1 records read, 0 damaged stretch(es), 1 record(s) "
                                              "refused")
                                   .arg(2 * (1 + 4))));

    // A ".tmw" recording cut inside its last 84-byte frame.
    const QString clstrTmw = clDir.filePath(QStringLiteral("cut.tmw"));
    QVERIFY(WriteSample(clstrTmw, {QStringLiteral("--minutes"), QStringLiteral("1")}).records > 0);
    QVERIFY(Bvftool({QStringLiteral("verify"), clstrTmw}).exitCode == 0);
    const QByteArray clTmw = ReadAll(clstrTmw);
    const qint64 lTmwCut = (clTmw.size() / 84 - 5) * 84;
    QVERIFY(WriteFile(clstrTmw, clTmw.left(lTmwCut + 30)));
    clRun = Bvftool({QStringLiteral("verify"), clstrTmw});
    QCOMPARE(clRun.exitCode, 1);
    QVERIFY2(
        clRun.out.contains(QStringLiteral("offset %1 (0x%2): the file ends inside a record (30 "
                                          "byte(s) cut off)")
                               .arg(lTmwCut)
                               .arg(lTmwCut, 0, 16)),
        qPrintable(clRun.out));

    // ".lan" recordings of both streams: sound as written; cut short, the
    // damaged stretch reported runs exactly to the end of the file.
    static const QRegularExpression clStretch(
        QStringLiteral("offset (\\d+) \\(0x[0-9a-f]+\\): (\\d+) damaged byte\\(s\\)"));
    for (const char *pKinds : {"tetra", "dmr"}) {
        const QString clstrLan = clDir.filePath(QStringLiteral("cut-%1.lan").arg(pKinds));
        QVERIFY(WriteSample(clstrLan, {QStringLiteral("--minutes"), QStringLiteral("1"),
                                       QStringLiteral("--kinds"), QLatin1String(pKinds)})
                    .records > 0);
        clRun = Bvftool({QStringLiteral("verify"), clstrLan});
        QVERIFY2(clRun.exitCode == 0, qPrintable(clRun.out));
        const QByteArray clLan = ReadAll(clstrLan);
        const qint64 lLanCut = clLan.size() - 7;
        QVERIFY(WriteFile(clstrLan, clLan.left(lLanCut)));
        clRun = Bvftool({QStringLiteral("verify"), clstrLan});
        QCOMPARE(clRun.exitCode, 1);
        const QRegularExpressionMatch clMatch = clStretch.match(clRun.out);
        QVERIFY2(clMatch.hasMatch(), qPrintable(clRun.out));
        QCOMPARE(clMatch.captured(1).toLongLong() + clMatch.captured(2).toLongLong(), lLanCut);
    }

    // Cannot be opened: a missing file, and a folder standing at the path.
    QVERIFY(QDir(clDir.path()).mkdir(QStringLiteral("folder.bvf")));
    for (const QString &clstrName : {QStringLiteral("missing.bvf"), QStringLiteral("folder.bvf")}) {
        clRun = Bvftool({QStringLiteral("verify"), clstrSound, clDir.filePath(clstrName)});
        QCOMPARE(clRun.exitCode, 2);
        QVERIFY2(
            clRun.err.contains(clDir.filePath(clstrName) + QStringLiteral(": cannot be opened")),
            qPrintable(clRun.err));
    }
}

// Four one-minute parts of a recording, given in shuffled order, merge back
// into the source's records in the source's order.
void TestBvftool::mergeOfSplitPartsGivesBackTheSource() {
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrSource = clDir.filePath(QStringLiteral("source.bvf"));
    QVERIFY(WriteSample(clstrSource, {QStringLiteral("--minutes"), QStringLiteral("4")}).records >
            0);
    const QStringList clParts =
        CutIntoMinutes(clstrSource, clDir.filePath(QStringLiteral("part")), kStart, 4);
    QCOMPARE(clParts.size(), 4);

    const QString clstrOutput = clDir.filePath(QStringLiteral("merged.bvf"));
    const ToolRun clRun = Bvftool({QStringLiteral("merge"), QStringLiteral("-o"), clstrOutput,
                                   clParts[2], clParts[0], clParts[3], clParts[1]});
    QVERIFY2(clRun.exitCode == 0, qPrintable(clRun.err));
    // The list shown before the merge is in ascending start.
    qsizetype lAt = -1;
    for (const QString &clstrPart : clParts) {
        const qsizetype lFound = clRun.err.indexOf(clstrPart);
        QVERIFY2(lFound > lAt, qPrintable(clRun.err));
        lAt = lFound;
    }
    const QList<QByteArray> clExpected = RecordFingerprints(clstrSource);
    QVERIFY(clExpected.size() > 1000);
    QVERIFY(RecordFingerprints(clstrOutput) == clExpected);
    QCOMPARE(InfoJson(clstrOutput).value(QStringLiteral("fileMagic")).toString(),
             InfoJson(clstrSource).value(QStringLiteral("fileMagic")).toString());

    // One output per recording in a folder, named after its first part.
    const QString clstrFolder = clDir.filePath(QStringLiteral("out"));
    QVERIFY(QDir(clDir.path()).mkdir(QStringLiteral("out")));
    QCOMPARE(Bvftool({QStringLiteral("merge"), QStringLiteral("-d"), clstrFolder, clParts[3],
                      clParts[1], clParts[0], clParts[2]})
                 .exitCode,
             0);
    QCOMPARE(FilesIn(clstrFolder), QStringList{QStringLiteral("part0_Joined.bvf")});
    QVERIFY(RecordFingerprints(clstrFolder + QStringLiteral("/part0_Joined.bvf")) == clExpected);
}

void TestBvftool::mergeRefusesWithoutWriting_data() {
    QTest::addColumn<QStringList>("arguments"); // run in the folder of a.bvf, b.bvf, other.bvf
    QTest::addColumn<QString>("message");
    QTest::newRow("a single file")
        << QStringList{"-o", "out.bvf", "a.bvf"} << "a.bvf: is the only file of recording";
    QTest::newRow("a single-file group beside a pair")
        << QStringList{"-d", ".", "a.bvf", "b.bvf", "other.bvf"}
        << "other.bvf: is the only file of recording";
    QTest::newRow("destination is a source")
        << QStringList{"-o", "b.bvf", "a.bvf", "b.bvf"} << "b.bvf: is one of the files to merge";
    QTest::newRow("destination is a source through ./")
        << QStringList{"-o", "./a.bvf", "a.bvf", "b.bvf"} << "./a.bvf: is one of the files";
    QTest::newRow("destination is a source through a link")
        << QStringList{"-o", "link.bvf", "a.bvf", "b.bvf"} << "link.bvf: is one of the files";
    QTest::newRow("destination is a source with --overwrite")
        << QStringList{"--overwrite", "-o", "sub/../a.bvf", "a.bvf", "b.bvf"}
        << "sub/../a.bvf: is one of the files";
    QTest::newRow("existing destination")
        << QStringList{"-o", "other.bvf", "a.bvf", "b.bvf"} << "other.bvf: exists already";
    QTest::newRow("a link leading nowhere")
        << QStringList{"-o", "dangling.bvf", "a.bvf", "b.bvf"} << "dangling.bvf: exists already";
    QTest::newRow("a link leading nowhere with --overwrite")
        << QStringList{"--overwrite", "-o", "dangling.bvf", "a.bvf", "b.bvf"}
        << "dangling.bvf: cannot be created or written";
    QTest::newRow("one file named twice")
        << QStringList{"-o", "out.bvf", "a.bvf", "./a.bvf"} << "./a.bvf: is the same file as a.bvf";
    QTest::newRow("an unreadable file") << QStringList{"-o", "out.bvf", "a.bvf", "b.bvf", "sub"}
                                        << "sub: cannot be opened as a recording";
}

void TestBvftool::mergeRefusesWithoutWriting() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrPath = clDir.path();
    auto sample = [&](const char *pName, const char *pMagic, const char *pStart) {
        return WriteSample(clstrPath + u'/' + QLatin1String(pName),
                           {QStringLiteral("--minutes"), QStringLiteral("1"),
                            QStringLiteral("--magic"), QLatin1String(pMagic),
                            QStringLiteral("--start"), QLatin1String(pStart)})
            .records;
    };
    QVERIFY(sample("a.bvf", "0x1", "2024-05-06 08:00:00") > 0);
    QVERIFY(sample("b.bvf", "0x1", "2024-05-06 08:01:00") > 0);
    QVERIFY(sample("other.bvf", "0x2", "2024-05-06 08:00:00") > 0);
    QVERIFY(QFile::link(QStringLiteral("a.bvf"), clstrPath + QStringLiteral("/link.bvf")));
    QVERIFY(QDir(clstrPath).mkdir(QStringLiteral("sub")));
    QVERIFY(QFile::link(QStringLiteral("sub/x.bvf"), clstrPath + QStringLiteral("/dangling.bvf")));
    const QStringList clBefore = FilesIn(clstrPath);
    QMap<QString, QByteArray> clContents;
    for (const QString &clstrName : clBefore)
        clContents.insert(clstrName, QCryptographicHash::hash(ReadAll(clstrPath + u'/' + clstrName),
                                                              QCryptographicHash::Sha256));

    const ToolRun clRun = Bvftool(QStringList{QStringLiteral("merge")} << arguments, clstrPath);
    QCOMPARE(clRun.exitCode, 1);
    QVERIFY2(clRun.err.contains(QStringLiteral("bvftool: ") + message), qPrintable(clRun.err));
    QCOMPARE(FilesIn(clstrPath), clBefore);
    QVERIFY(!QFileInfo::exists(clstrPath + QStringLiteral("/sub/x.bvf")));
    for (const QString &clstrName : clBefore)
        QCOMPARE(QCryptographicHash::hash(ReadAll(clstrPath + u'/' + clstrName),
                                          QCryptographicHash::Sha256),
                 clContents.value(clstrName));
}

void TestBvftool::namesAreLiteralAndOnlyFilesAreRead_data() {
    QTest::addColumn<QStringList>("arguments"); // run in the folder of the files below
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString clstrNotAFile = QStringLiteral(": is not a regular file");
    QTest::newRow("info of a FIFO") << QStringList{"info", "fifo"} << 1 << "fifo" + clstrNotAFile;
    QTest::newRow("dump of a link to a FIFO")
        << QStringList{"dump", "fifo-link"} << 1 << "fifo-link" + clstrNotAFile;
    // verify keeps its own code for a file it cannot open.
    QTest::newRow("verify of a FIFO")
        << QStringList{"verify", "fifo"} << 2 << "fifo" + clstrNotAFile;
    QTest::newRow("merge with a FIFO")
        << QStringList{"merge", "-o", "out.bvf", "online:a.bvf", "fifo"} << 1
        << "fifo" + clstrNotAFile;
    QTest::newRow("info of a device")
        << QStringList{"info", "/dev/zero"} << 1 << "/dev/zero" + clstrNotAFile;
    // "online:" is part of these names; there is no "a.bvf" or "b.bvf".
    QTest::newRow("info of online:a.bvf") << QStringList{"info", "online:a.bvf"} << 0 << "";
    QTest::newRow("merge of online: names")
        << QStringList{"merge", "-o", "out.bvf", "online:b.bvf", "online:a.bvf"} << 0
        << "wrote out.bvf";
    QTest::newRow("--online: an unfinished last record is no damage")
        << QStringList{"verify", "--online", "cut.bvf"} << 0 << "";
}

// FIFOs and devices would make a reader wait for ever: each is refused at
// once. Names are taken literally; online mode comes from --online only.
void TestBvftool::namesAreLiteralAndOnlyFilesAreRead() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    for (const auto &[pName, pStart] : {std::pair{"online:a.bvf", "2024-05-06 08:00:00"},
                                        std::pair{"online:b.bvf", "2024-05-06 08:01:00"}})
        QVERIFY(WriteSample(clDir.filePath(QLatin1String(pName)),
                            {QStringLiteral("--minutes"), QStringLiteral("1"),
                             QStringLiteral("--magic"), QStringLiteral("0x1"),
                             QStringLiteral("--start"), QLatin1String(pStart)})
                    .records > 0);
    QVERIFY(WriteFile(clDir.filePath(QStringLiteral("cut.bvf")),
                      ReadAll(clDir.filePath(QStringLiteral("online:a.bvf"))).chopped(7)));
    QCOMPARE(mkfifo(QFile::encodeName(clDir.filePath(QStringLiteral("fifo"))).constData(), 0600),
             0);
    QVERIFY(QFile::link(QStringLiteral("fifo"), clDir.filePath(QStringLiteral("fifo-link"))));

    const ToolRun clRun = Bvftool(arguments, clDir.path(), 2000);
    QCOMPARE(clRun.exitCode, exitCode);
    QVERIFY2(clRun.err.contains(message), qPrintable(clRun.err));
}

void TestBvftool::everyCommandHasHelpAndNamesTheFileInErrors() {
    for (const char *pCommand : {"info", "dump", "verify", "merge"}) {
        const ToolRun clHelp = Bvftool({QLatin1String(pCommand), QStringLiteral("--help")});
        QCOMPARE(clHelp.exitCode, 0);
        QVERIFY2(clHelp.out.startsWith(QStringLiteral("Usage: bvftool ") + QLatin1String(pCommand)),
                 qPrintable(clHelp.out));
        const ToolRun clUnknown = Bvftool({QLatin1String(pCommand), QStringLiteral("--no-such")});
        QCOMPARE(clUnknown.exitCode, 1);
        QVERIFY(clUnknown.err.contains(QStringLiteral("no-such")));
    }
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrMissing = clDir.filePath(QStringLiteral("missing.lan"));
    for (const char *pCommand : {"info", "dump"}) {
        const ToolRun clRun = Bvftool({QLatin1String(pCommand), clstrMissing});
        QCOMPARE(clRun.exitCode, 1);
        QVERIFY2(clRun.err.contains(clstrMissing + QStringLiteral(": cannot be opened")),
                 qPrintable(clRun.err));
        QVERIFY(clRun.out.isEmpty());
    }

    // dump: one line per record of the chosen kinds, up to the limit.
    const QString clstrSample = clDir.filePath(QStringLiteral("dump.bvf"));
    QVERIFY(WriteSample(clstrSample, {QStringLiteral("--minutes"), QStringLiteral("1")}).records >
            0);
    const ToolRun clDump =
        Bvftool({QStringLiteral("dump"), QStringLiteral("--kinds"), QStringLiteral("dmr,gsm"),
                 QStringLiteral("--limit"), QStringLiteral("25"), clstrSample});
    QCOMPARE(clDump.exitCode, 0);
    const QStringList clLines = clDump.out.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(clLines.size(), 25);
    for (const QString &clstrLine : clLines)
        QVERIFY2(clstrLine.startsWith(QStringLiteral("dmr ")) ||
                     clstrLine.startsWith(QStringLiteral("gsm ")),
                 qPrintable(clstrLine));
}

BVF_TEST_MAIN(TestBvftool)
#include "test_bvftool.moc"
