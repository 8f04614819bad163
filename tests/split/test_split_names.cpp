// Part names and paths as exact texts, and the check that an output is the
// source itself, by its text or as the same file.
#include "PathNormalise.h"
#include "SplitName.h"
#include "SplitPlan.h"
#include "TestRegistry.h"
#include "WorkerRecords.h"

#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <limits>
#include <unistd.h>

using WorkerTestKit::At;

namespace {

const qint64 kSample = At("14:05:09");

// The name, or what went wrong; an error must leave no name behind.
QString NameText(StructSplitName &clName) {
    const SplitNameResult enResult = MakePartName(clName);
    if (enResult != SplitNameResult::Ok && !clName.outputPath.isEmpty())
        return "error left a name behind: " + clName.outputPath;
    const QMap<SplitNameResult, QString> kErrors = {
        {SplitNameResult::Ok, clName.outputPath},
        {SplitNameResult::SourcePathTooLong, "error: source path too long"},
        {SplitNameResult::NameTooLong, "error: name too long"},
        {SplitNameResult::NoName, "error: no name"},
        {SplitNameResult::TimeNotRepresentable, "error: time not representable"}};
    return kErrors.value(enResult, "error: unknown");
}

struct TimeZoneScope {
    const QByteArray old = qgetenv("TZ");
    explicit TimeZoneScope(const QByteArray &clZone) {
        if (!clZone.isEmpty())
            qputenv("TZ", clZone);
        tzset();
    }
    ~TimeZoneScope() {
        old.isNull() ? qunsetenv("TZ") : qputenv("TZ", old);
        tzset();
    }
};

// A path of exactly lLength characters: folder "/r/", "a"s and the extension.
QString SourceOfLength(qsizetype lLength) {
    return "/r/" + QString(lLength - 7, u'a') + ".bvf";
}

} // namespace

class TestSplitNames : public QObject {
    Q_OBJECT

  private slots:
    void partNames_data();
    void partNames();
    void fixedName_data();
    void fixedName();
    void pathTexts_data();
    void pathTexts();
    void outputIsSource_data();
    void outputIsSource();
};

void TestSplitNames::partNames_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<uint>("scheme");
    QTest::addColumn<uint>("part");
    QTest::addColumn<qint64>("cut");
    QTest::addColumn<QByteArray>("zone"); // empty: names in UTC
    QTest::addColumn<QString>("expected");

    const QString cell = QStringLiteral("/rec/cell.bvf");
    const auto Row = [&](const char *pName, const QString &clstrSource, uint lScheme,
                         const QString &clstrExpected, uint lPart = 1, qint64 lCut = kSample,
                         const char *pZone = "") {
        QTest::newRow(pName) << clstrSource << lScheme << lPart << lCut << QByteArray(pZone)
                             << clstrExpected;
    };
    Row("0 NAME__date+time", cell, 0, "/rec/cell__2024-03-07_14.05.09.bvf");
    Row("1 NAME__SplitNumber", cell, 1, "/rec/cell__01.bvf");
    Row("2 NAME__SplitNumber__date+time", cell, 2, "/rec/cell__01__2024-03-07_14.05.09.bvf");
    Row("3 NAME__date+time__SplitNumber", cell, 3, "/rec/cell__2024-03-07_14.05.09__01.bvf");
    Row("4 SplitNumber__NAME", cell, 4, "/rec/01__cell.bvf");
    Row("5 SplitNumber__NAME__date+time", cell, 5, "/rec/01__cell__2024-03-07_14.05.09.bvf");
    Row("6 SplitNumber__date+time__NAME", cell, 6, "/rec/01__2024-03-07_14.05.09__cell.bvf");
    Row("7 date+time__NAME", cell, 7, "/rec/2024-03-07_14.05.09__cell.bvf");
    Row("8 date+time__NAME__SplitNumber", cell, 8, "/rec/2024-03-07_14.05.09__cell__01.bvf");
    Row("9 date+time__SplitNumber__NAME", cell, 9, "/rec/2024-03-07_14.05.09__01__cell.bvf");
    Row("largest index acts as 5", cell, std::numeric_limits<uint>::max(),
        "/rec/01__cell__2024-03-07_14.05.09.bvf");

    Row("part 100 is not cut", cell, 1, "/rec/cell__100.bvf", 100);
    Row("no folder: current directory", "cell.bvf", 2, "cell__01__2024-03-07_14.05.09.bvf");
    Row("root folder keeps its slash", "/cell.bvf", 4, "/02__cell.bvf", 2);
    Row("dotted base name keeps its inner dot", "/rec/tetra.cell.bvf", 1,
        "/rec/tetra.cell__01.bvf");
    Row("other extensions become .bvf", "/rec/cell.TMW", 1, "/rec/cell__01.bvf");
    Row("percent signs are plain text", "/rec/%2/cell%1.bvf", 1, "/rec/%2/cell%1__01.bvf");
    Row("backslash belongs to the name", "/rec/a\\cell.bvf", 1, "/rec/a\\cell__01.bvf");
    Row("before 1970", cell, 0, "/rec/cell__1969-12-31_23.59.59.bvf", 1, -1);

    // What earlier splits and recorders added between "__" goes; the name is cut at any other.
    const qint64 lNextDay = At("2024-03-08 09:00:00");
    Row("splitting a part again drops the old time", "/rec/cell__2024-03-07_14.05.09.bvf", 0,
        "/rec/cell__2024-03-08_09.00.00.bvf", 1, lNextDay);
    Row("splitting a scheme-2 part again", "/rec/cell__01__2024-03-07_14.05.09.bvf", 2,
        "/rec/cell__03__2024-03-08_09.00.00.bvf", 3, lNextDay);
    Row("leading date", "/rec/2024-03-07_14.05.09__cell.bvf", 1, "/rec/cell__01.bvf");
    Row("short token with underscores", "/rec/CN_1_2__cell.bvf", 1, "/rec/cell__01.bvf");
    Row("tokens on both sides", "/rec/CN0012__2024-03-07_14.05.09__cell__P1_2_3.bvf", 1,
        "/rec/cell__01.bvf");
    Row("too short for a token", "/rec/cell__CN12.bvf", 1, "/rec/cell__01.bvf");
    Row("not a short token: letters", "/rec/cell__CN12ab.bvf", 1, "/rec/cell__01.bvf");
    Row("text after a date token stays", "/rec/cell__2024-03-07_14.05.09x.bvf", 1,
        "/rec/cellx__01.bvf");
    Row("part number first: cut at its __", "/rec/01__cell.bvf", 1, "/rec/01__01.bvf");
    Row("date without __ stays", "/rec/2024-03-07_14.05.09.bvf", 1,
        "/rec/2024-03-07_14.05.09__01.bvf");
    Row("single underscores stay", "/rec/cell_north_1.bvf", 1, "/rec/cell_north_1__01.bvf");

    // Scheme 1 adds "__01.bvf" (8 characters) to folder and base name.
    Row("name of 259 characters fits", SourceOfLength(255), 1,
        "/r/" + QString(248, u'a') + "__01.bvf");
    Row("name of 260 characters is refused", SourceOfLength(256), 1, "error: name too long");
    Row("source path of 260 characters is refused", SourceOfLength(260), 4,
        "error: source path too long");
    const QString clstrWide = QString::fromUcs4(U"\U0001F4E1").repeated(200);
    Row("characters outside the basic plane count once", "/r/" + clstrWide + ".bvf", 1,
        "/r/" + clstrWide + "__01.bvf");
    const qint64 lBeyond = std::numeric_limits<qint64>::max();
    Row("time beyond the calendar", cell, 2, "error: time not representable", 1, lBeyond);
    Row("time beyond the calendar, scheme without time", cell, 1, "/rec/cell__01.bvf", 1, lBeyond);

    Row("summer time, two hours east", cell, 0, "/rec/cell__2024-07-01_14.00.00.bvf", 1,
        At("2024-07-01 12:00:00"), "CET-1CEST,M3.5.0,M10.5.0/3");
    Row("five hours west, previous day", cell, 0, "/rec/cell__2024-03-06_22.00.00.bvf", 1,
        At("03:00:00"), "EST5");
}

void TestSplitNames::partNames() {
    QFETCH(QString, source);
    QFETCH(uint, scheme);
    QFETCH(uint, part);
    QFETCH(qint64, cut);
    QFETCH(QByteArray, zone);
    QFETCH(QString, expected);

    const TimeZoneScope clZone(zone);
    StructSplitName clName;
    clName.namingScheme = scheme;
    clName.showUtc = zone.isEmpty();
    clName.sourcePath = source;
    clName.partNumber = part;
    clName.cut = cut;
    clName.outputPath = QStringLiteral("/stale/previous.bvf");
    QCOMPARE(NameText(clName), expected);
    QString clstrFolder = QStringLiteral("stale"), clstrBase = clstrFolder;
    const bool bTooLong = expected == "error: source path too long";
    QCOMPARE(SplitSourcePath(source, clstrFolder, clstrBase), !bTooLong);
    if (bTooLong)
        QVERIFY(clstrFolder.isEmpty() && clstrBase.isEmpty());
    // UTC names do not follow the zone.
    QCOMPARE(PartTimeText(kSample, true), QStringLiteral("2024-03-07_14.05.09"));
}

void TestSplitNames::fixedName_data() {
    QTest::addColumn<uint>("mode");
    QTest::addColumn<QString>("fixedName");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");

    const auto Row = [](const char *pName, uint lMode, const QString &clstrFixed,
                        const QString &clstrSource, const QString &clstrExpected) {
        QTest::newRow(pName) << lMode << clstrFixed << clstrSource << clstrExpected;
    };
    const uint P = SPLIT_BY_PERIOD;
    const QString cell = QStringLiteral("/rec/cell.bvf");
    Row("period mode uses the fixed path unchanged", P, "/out/Fixed Name.dat", cell,
        "/out/Fixed Name.dat");
    Row("fixed path of 260 characters is refused", P, SourceOfLength(260), cell,
        "error: name too long");
    Row("source path too long", P, "/out/f.bvf", SourceOfLength(260),
        "error: source path too long");
    Row("outside the period mode the fixed path is not taken", SPLIT_BY_TIME, "/out/f.bvf", cell,
        "error: no name");
}

void TestSplitNames::fixedName() {
    QFETCH(uint, mode);
    QFETCH(QString, fixedName);
    QFETCH(QString, source);
    QFETCH(QString, expected);

    StructSplitSettings clSettings;
    clSettings.namingScheme = kFixedNameScheme;
    clSettings.fixedName = fixedName;
    clSettings.mode = uint8_t(mode);
    clSettings.periodStart = kSample;
    StructSplitName clName = InitialSplitName(clSettings, source);
    CSplitPlan(clSettings, 0, 0).ApplyTo(clName);
    QCOMPARE(clName.partNumber, 1u);
    QCOMPARE(qint64(clName.cut), mode == SPLIT_BY_PERIOD ? kSample : 0);
    if (mode != SPLIT_BY_PERIOD)
        QVERIFY(clName.outputPath.isEmpty());
    QCOMPARE(NameText(clName), expected);
}

void TestSplitNames::pathTexts_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("normalised");
    QTest::addColumn<QString>("bareName"); // shown in questions

    const auto Row = [](const char *pName, const char *pPath, const char *pNormal,
                        const char *pBare) {
        QTest::newRow(pName) << QString(pPath) << QString(pNormal) << QString(pBare);
    };
    Row("runs of separators", "/rec///a////b.bvf", "/rec/a/b.bvf", "b.bvf");
    Row("network prefix kept", "//server/share//x.bvf", "//server/share/x.bvf", "x.bvf");
    Row("prefix then a third slash", "///x.bvf", "///x.bvf", "x.bvf");
    // A leading blank is part of a relative path's first name.
    Row("leading blanks are name characters", " \t/rec//cell.bvf", " \t/rec/cell.bvf", "cell.bvf");
    Row("separator only at the start", "/cell.bvf", "/cell.bvf", "/cell.bvf");
    Row("backslashes are name characters", "C:\\\\rec\\x", "C:\\\\rec\\x", "C:\\\\rec\\x");
}

void TestSplitNames::pathTexts() {
    QFETCH(QString, path);
    QFETCH(QString, normalised);
    QFETCH(QString, bareName);
    QCOMPARE(NormalisePath(path), normalised);
    QCOMPARE(NormalisePath(normalised), normalised);
    QCOMPARE(BareFileName(path), bareName);
}

void TestSplitNames::outputIsSource_data() {
    QTest::addColumn<QString>("output"); // %1: the folder holding source.bvf
    QTest::addColumn<bool>("sameText");
    QTest::addColumn<bool>("sameFile");

    QTest::newRow("the source itself") << "%1/source.bvf" << true << true;
    QTest::newRow("through ..") << "%1/sub/../source.bvf" << false << true;
    QTest::newRow("hard link") << "%1/hard.bvf" << false << true;
    QTest::newRow("symbolic link to the folder") << "%1/folderlink/source.bvf" << false << true;
    QTest::newRow("copy with the same bytes") << "%1/copy.bvf" << false << false;
    QTest::newRow("dangling link") << "%1/dangling.bvf" << false << false;
    // File names differ by letter case on this system.
    QTest::newRow("letter case names another file") << "%1/SOURCE.bvf" << false << false;
    QTest::newRow("a network prefix in the text only") << "/%1/source.bvf" << false << true;
}

void TestSplitNames::outputIsSource() {
    QFETCH(QString, output);
    QFETCH(bool, sameText);
    QFETCH(bool, sameFile);

    QTemporaryDir clDir;
    const auto P = [&clDir](const char *pName) { return clDir.filePath(QString(pName)); };
    const QString clstrSource = P("source.bvf");
    QVERIFY(QFile(clstrSource).open(QIODevice::WriteOnly));
    QVERIFY(QFile::copy(clstrSource, P("copy.bvf")) && QDir(clDir.path()).mkdir("sub"));
    QVERIFY(QFile::link(clDir.path(), P("folderlink")));
    QVERIFY(QFile::link(P("gone.bvf"), P("dangling.bvf")));
    QCOMPARE(::link(QFile::encodeName(clstrSource), QFile::encodeName(P("hard.bvf"))), 0);

    const QString clstrOutput = output.arg(clDir.path());
    const QString clstrOldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(clDir.path()));
    const bool bSameText = SamePathText(clstrOutput, clstrSource);
    const bool bSameFile = IsSameFile(clstrOutput, clstrSource);
    const bool bOther = IsSameFile(clstrSource, clstrOutput);
    const bool bIsSource = OutputIsSource(clstrOutput, clstrSource);
    QVERIFY(QDir::setCurrent(clstrOldCurrent));
    QCOMPARE(bSameText, sameText);
    QCOMPARE(bSameFile, sameFile);
    QCOMPARE(bOther, sameFile);
    QCOMPARE(bIsSource, sameText || sameFile);
}

BVF_TEST_MAIN(TestSplitNames)
#include "test_split_names.moc"
