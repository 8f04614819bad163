// bvf-sample run as a program (its refusals are rows of the bvftool command
// table). Every recording must agree with bvftool info and verify (our reader
// against the independent decoder is the formats tests' part). Each row is
// written with two seeds and must be deterministic for a seed.
#include "ContainerBytes.h"
#include "TestPaths.h"
#include "TestRegistry.h"
#include "ToolTestKit.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

const QString kAllKinds = QStringLiteral("tetra,aux,ext,dmr,gsm,generic,notice");

// The tool's summary line: records, frames or entries (TMW), bytes, span.
struct Summary {
    qint64 records = -1, frames = -1, bytes = -1, firstMs = 0, lastMs = 0;
};

bool ParseSummary(const QString &clstrOut, Summary &s) {
    static const QRegularExpression clPattern(QStringLiteral(
        "^bvf-sample: .*: (\\d+) records(?: in (\\d+) (?:frames|entries))?, (\\d+) bytes, "
        "([0-9-]+ [0-9:.]+) to ([0-9-]+ [0-9:.]+) UTC\\n$"));
    const QRegularExpressionMatch m = clPattern.match(clstrOut);
    const auto fnMs = [&m](int i) {
        return QDateTime::fromString(m.captured(i) + "Z", "yyyy-MM-dd hh:mm:ss.zzzt")
            .toMSecsSinceEpoch();
    };
    s = {m.captured(1).toLongLong(), m.captured(2).isEmpty() ? -1 : m.captured(2).toLongLong(),
         m.captured(3).toLongLong(), fnMs(4), fnMs(5)};
    return m.hasMatch();
}

} // namespace

class TestBvfSample : public QObject {
    Q_OBJECT

  private slots:
    void validSample_data();
    void validSample();
};

// Each row with two seeds, the second twice. Options are split at blanks, a
// "T" in a date standing for the blank; the start is 2024-05-06 08:00:00 and
// the minutes 10 unless given, none when the size or the records end it.
void TestBvfSample::validSample_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("kinds");    // as the container's header names them
    QTest::addColumn<qint64>("perSecond"); // frames (TMW) a second; 0: at least one record
    auto row = [](const char *pRow, const char *pName, const char *pOptions, const QString &clKinds,
                  qint64 lRate = 0) {
        QTest::newRow(pRow) << pName << pOptions << clKinds << lRate;
    };
    row("defaults", "s.bvf", "", kAllKinds);
    row("every kind over a year boundary, kinds in any order, magic", "s.bvf",
        "--start 2023-12-31T23:58:30 --minutes 3 --rate 40 --kinds "
        "notice,gsm,tetra,aux,ext,dmr,generic --magic 0xDEADBEEF01234567",
        kAllKinds);
    row("DMR and notices, one a second, magic 0", "s.bvf",
        "--kinds dmr,notice --rate 1 --minutes 2 --magic 0", "dmr,notice");
    row("by size, minutes ignored", "s.bvf", "--size-mib 2 --minutes 1", kAllKinds);
    row("seven records hold each kind once", "s.bvf", "--records 7", kAllKinds);
    row(".tmw at 30 frames a second", "s.tmw", "--minutes 3 --rate 30", "tetra", 30);
    row(".TMW from the first second its frames can count", "S.TMW",
        "--start 2000-01-01T00:00:00 --minutes 2 --rate 75", "tetra", 75);
    row(".Lan TETRA over a year boundary", "s.Lan",
        "--kinds tetra --rate 200 --start 2023-12-31T23:59:30 --minutes 1", "tetra", 200);
    row(".lan DMR over a leap day", "dmr.lan",
        "--kinds dmr --start 2024-02-28T23:58:30 --minutes 3", "dmr", 25);
    row(".LAN DMR in the last minute it can hold", "dmr.LAN",
        "--kinds dmr --start 2100-12-31T23:59:00 --minutes 1 --rate 10", "dmr", 10);
    row(".tmw nine frames", "s.tmw", "--records 9 --size-mib 1", "tetra");
    row("DMR .lan by size", "s.lan", "--kinds dmr --size-mib 1 --rate 50", "dmr");
}

void TestBvfSample::validSample() {
    QFETCH(QString, name);
    QFETCH(QString, options);
    QFETCH(QString, kinds);
    QFETCH(qint64, perSecond);
    QTemporaryDir clDir;
    const QStringList clOptions = Options(options);
    const auto fnValue = [&clOptions](const char *pName) {
        return clOptions.contains(pName) ? clOptions[clOptions.indexOf(pName) + 1] : QString();
    };
    const QString start =
        clOptions.contains("--start") ? fnValue("--start") : "2024-05-06 08:00:00";
    const qint64 lStart =
        QDateTime::fromString(start + u'Z', "yyyy-MM-dd hh:mm:sst").toSecsSinceEpoch();
    const qint64 lSizeMib = fnValue("--size-mib").toLongLong();
    const qint64 lRecords = fnValue("--records").toLongLong();
    const qint64 minutes = lSizeMib + lRecords != 0          ? 0
                           : clOptions.contains("--minutes") ? fnValue("--minutes").toLongLong()
                                                             : 10;
    const qint64 lEnd = minutes > 0 ? lStart + 60 * minutes : 0;
    const bool bContainer = name.endsWith(".bvf");
    QList<QByteArray> clFiles;
    for (const char *pSeed : {"18446744073709551615", "5", "5"}) {
        const QString clstrPath = clDir.filePath(QString::number(clFiles.size()) + name);
        const ToolRun clRun = RunTool(QStringList{clstrPath, "--seed", pSeed} + clOptions);
        QVERIFY2(clRun.exitCode == 0 && clRun.err.isEmpty(), qPrintable(clRun.err));
        Summary clSummary;
        QVERIFY2(ParseSummary(clRun.out, clSummary), qPrintable(clRun.out));
        const qint64 lSize = QFileInfo(clstrPath).size();
        QCOMPARE(clSummary.bytes, lSize);
        QVERIFY(clSummary.firstMs >= lStart * 1000 && clSummary.firstMs < lStart * 1000 + 1000);
        // Within one write buffer or one entry of the target size.
        if (lSizeMib != 0 && lRecords == 0)
            QVERIFY(lSize >= lSizeMib << 20 &&
                    lSize < (lSizeMib << 20) + (bContainer ? 131072 : 4096));
        if (lRecords != 0)
            QCOMPARE(bContainer ? clSummary.records : clSummary.frames, lRecords);
        if (perSecond != 0) // frame i is stamped start + i / rate
            QCOMPARE(clSummary.frames, perSecond * 60 * minutes);
        if (name.endsWith(".tmw", Qt::CaseInsensitive))
            QCOMPARE(clSummary.bytes, clSummary.frames * 84);
        const ToolRun clVerify = Bvftool({"verify", clstrPath});
        QVERIFY2(clVerify.exitCode == 0 && clVerify.out.contains(": sound ("),
                 qPrintable(clVerify.out));
        const QJsonObject i =
            QJsonDocument::fromJson(Bvftool({"info", "--json", clstrPath}).out.toUtf8()).object();
        QCOMPARE((QList<qint64>{i["records"].toInteger(), i["size"].toInteger(),
                                i["gaps"].toArray().size() + i["damagedStretches"].toInteger() +
                                    i["damagedRecordsSkipped"].toInteger(),
                                i["firstRecordMs"].toInteger()}),
                 (QList<qint64>{clSummary.records, lSize, 0, clSummary.firstMs}));
        QVERIFY(lEnd == 0 || clSummary.lastMs < lEnd * 1000);
        const QStringList clKinds = i["kinds"].toObject().keys();
        if (bContainer) {
            if (lEnd != 0) // every second of the span holds records
                QVERIFY(clSummary.records >= lEnd - lStart);
            QCOMPARE(i["startTime"].toString(), start);
            QCOMPARE(i["recordingType"].toString(), "Generated sample recording");
            QCOMPARE(i["infoText2"].toString(), kinds);
            QStringList clAsked = kinds.split(u',').replaceInStrings("ext", "tetra");
            clAsked.removeDuplicates();
            clAsked.sort();
            QCOMPARE(clKinds, clAsked);
        } else {
            QCOMPARE(i["recordingType"].toString(), name.endsWith(".tmw", Qt::CaseInsensitive)
                                                        ? "Proprietary TMW recording"
                                                        : "TMW recording");
            QCOMPARE(clKinds.contains("dmr"), kinds == "dmr");
            QCOMPARE(clKinds.contains("tetra"), kinds == "tetra");
        }
        clFiles << ReadAll(clstrPath);
    }
    QVERIFY(clFiles[0].mid(bContainer ? ContainerBytes::kHeaderSize : 0) !=
            clFiles[1].mid(bContainer ? ContainerBytes::kHeaderSize : 0));
    QVERIFY(clFiles[1] == clFiles[2]);
}

BVF_TEST_MAIN(TestBvfSample)
#include "test_bvf_sample.moc"
