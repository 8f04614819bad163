// Part names, source path splitting and cleaning, path normalisation and the
// check that an output is the source itself.
#include "PathNormalise.h"
#include "SplitName.h"
#include "SplitPlan.h"
#include "TestRegistry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <ctime>
#include <limits>
#include <unistd.h>

namespace {

qint64 Utc(int lDay, const char *pClock, int lMonth = 3) {
    const QTime clClock = QTime::fromString(QString::fromLatin1(pClock), u"hh:mm:ss");
    return QDateTime(QDate(2024, lMonth, lDay), clClock, QTimeZone::utc()).toSecsSinceEpoch();
}

const qint64 kSample = Utc(7, "14:05:09");

QString ResultText(SplitNameResult enResult, const QString &clstrPath) {
    switch (enResult) {
    case SplitNameResult::Ok:
        return clstrPath;
    case SplitNameResult::SourcePathTooLong:
        return QStringLiteral("error: source path too long");
    case SplitNameResult::NameTooLong:
        return QStringLiteral("error: name too long");
    case SplitNameResult::NoName:
        return QStringLiteral("error: no name");
    case SplitNameResult::TimeNotRepresentable:
        return QStringLiteral("error: time not representable");
    }
    return QStringLiteral("error: unknown");
}

QString MakeName(const QString &clstrSource, uint32_t lScheme, uint32_t lPart, qint64 lCut,
                 bool bUtc = true) {
    StructSplitName clName;
    clName.namingScheme = lScheme;
    clName.showUtc = bUtc;
    clName.sourcePath = clstrSource;
    clName.partNumber = lPart;
    clName.cut = lCut;
    clName.outputPath = QStringLiteral("/stale/previous.bvf");
    const SplitNameResult enResult = MakePartName(clName);
    if (enResult != SplitNameResult::Ok && !clName.outputPath.isEmpty())
        return QStringLiteral("error left a name behind: ") + clName.outputPath;
    return ResultText(enResult, clName.outputPath);
}

// Sets the process time zone for local-time names and restores it after.
class TimeZoneScope {
  public:
    explicit TimeZoneScope(const char *pZone)
        : m_bHadZone(qEnvironmentVariableIsSet("TZ")), m_clOldZone(qgetenv("TZ")) {
        qputenv("TZ", pZone);
        tzset();
    }
    ~TimeZoneScope() {
        if (m_bHadZone)
            qputenv("TZ", m_clOldZone);
        else
            qunsetenv("TZ");
        tzset();
    }
    TimeZoneScope(const TimeZoneScope &) = delete;
    TimeZoneScope &operator=(const TimeZoneScope &) = delete;

  private:
    bool m_bHadZone;
    QByteArray m_clOldZone;
};

// A path of exactly lLength characters: folder "/r/", a base name of "a"s and
// the extension.
QString SourceOfLength(qsizetype lLength) {
    return QStringLiteral("/r/") + QString(lLength - 7, u'a') + QStringLiteral(".bvf");
}

} // namespace

class TestSplitName : public QObject {
    Q_OBJECT

  private slots:
    void schemes_data();
    void schemes();
    void names_data();
    void names();
    void fixedName_data();
    void fixedName();
    void localTime_data();
    void localTime();
    void localNamesKeepUtcBoundaries();
    void splitSourcePath_data();
    void splitSourcePath();
    void cleanBaseName_data();
    void cleanBaseName();
    void bareFileName_data();
    void bareFileName();
    void normalisePath_data();
    void normalisePath();
    void samePathText_data();
    void samePathText();
    void sameFile_data();
    void sameFile();
    void sameFileThroughRelativePath();
};

void TestSplitName::schemes_data() {
    QTest::addColumn<uint>("scheme");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0 NAME__date+time") << 0u << "/rec/cell__2024-03-07_14.05.09.bvf";
    QTest::newRow("1 NAME__SplitNumber") << 1u << "/rec/cell__01.bvf";
    QTest::newRow("2 NAME__SplitNumber__date+time")
        << 2u << "/rec/cell__01__2024-03-07_14.05.09.bvf";
    QTest::newRow("3 NAME__date+time__SplitNumber")
        << 3u << "/rec/cell__2024-03-07_14.05.09__01.bvf";
    QTest::newRow("4 SplitNumber__NAME") << 4u << "/rec/01__cell.bvf";
    QTest::newRow("5 SplitNumber__NAME__date+time")
        << 5u << "/rec/01__cell__2024-03-07_14.05.09.bvf";
    QTest::newRow("6 SplitNumber__date+time__NAME")
        << 6u << "/rec/01__2024-03-07_14.05.09__cell.bvf";
    QTest::newRow("7 date+time__NAME") << 7u << "/rec/2024-03-07_14.05.09__cell.bvf";
    QTest::newRow("8 date+time__NAME__SplitNumber")
        << 8u << "/rec/2024-03-07_14.05.09__cell__01.bvf";
    QTest::newRow("9 date+time__SplitNumber__NAME")
        << 9u << "/rec/2024-03-07_14.05.09__01__cell.bvf";
    QTest::newRow("11 acts as 5") << 11u << "/rec/01__cell__2024-03-07_14.05.09.bvf";
    QTest::newRow("largest index acts as 5")
        << std::numeric_limits<uint>::max() << "/rec/01__cell__2024-03-07_14.05.09.bvf";
}

void TestSplitName::schemes() {
    QFETCH(uint, scheme);
    QFETCH(QString, expected);
    QCOMPARE(MakeName(QStringLiteral("/rec/cell.bvf"), scheme, 1, kSample), expected);
}

void TestSplitName::names_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<uint>("scheme");
    QTest::addColumn<uint>("part");
    QTest::addColumn<qint64>("cut");
    QTest::addColumn<QString>("expected");

    const QString clstrCell = QStringLiteral("/rec/cell.bvf");
    QTest::newRow("part 9") << clstrCell << 2u << 9u << kSample
                            << "/rec/cell__09__2024-03-07_14.05.09.bvf";
    QTest::newRow("part 99") << clstrCell << 1u << 99u << kSample << "/rec/cell__99.bvf";
    QTest::newRow("part 100 is not cut")
        << clstrCell << 2u << 100u << kSample << "/rec/cell__100__2024-03-07_14.05.09.bvf";
    QTest::newRow("part 1000") << clstrCell << 4u << 1000u << kSample << "/rec/1000__cell.bvf";
    QTest::newRow("no folder: current directory")
        << "cell.bvf" << 2u << 1u << kSample << "cell__01__2024-03-07_14.05.09.bvf";
    QTest::newRow("root folder keeps its slash")
        << "/cell.bvf" << 4u << 2u << kSample << "/02__cell.bvf";
    QTest::newRow("dotted base name keeps its inner dot")
        << "/rec/tetra.cell.bvf" << 1u << 1u << kSample << "/rec/tetra.cell__01.bvf";
    QTest::newRow("dot only in the folder")
        << "/rec.d/cell" << 1u << 1u << kSample << "/rec.d/cell__01.bvf";
    QTest::newRow("other extensions become .bvf")
        << "/rec/cell.TMW" << 1u << 1u << kSample << "/rec/cell__01.bvf";
    QTest::newRow("splitting a part again drops the old time")
        << "/rec/cell__2024-03-07_14.05.09.bvf" << 0u << 1u << Utc(8, "09:00:00")
        << "/rec/cell__2024-03-08_09.00.00.bvf";
    QTest::newRow("splitting a scheme-2 part again")
        << "/rec/cell__01__2024-03-07_14.05.09.bvf" << 2u << 3u << Utc(8, "09:00:00")
        << "/rec/cell__03__2024-03-08_09.00.00.bvf";
    QTest::newRow("percent signs are plain text") << "/rec/%2/cell%1.bvf" << 2u << 1u << kSample
                                                  << "/rec/%2/cell%1__01__2024-03-07_14.05.09.bvf";
    QTest::newRow("backslash belongs to the name")
        << "/rec/a\\cell.bvf" << 1u << 1u << kSample << "/rec/a\\cell__01.bvf";
    QTest::newRow("midnight and the first second")
        << clstrCell << 0u << 1u << Utc(1, "00:00:00", 1) << "/rec/cell__2024-01-01_00.00.00.bvf";
    QTest::newRow("before 1970") << clstrCell << 0u << 1u << qint64(-1)
                                 << "/rec/cell__1969-12-31_23.59.59.bvf";

    // Scheme 1 adds "__01.bvf" (8 characters) to folder and base name.
    QTest::newRow("name of 259 characters fits")
        << SourceOfLength(255) << 1u << 1u << kSample
        << QStringLiteral("/r/") + QString(248, u'a') + QStringLiteral("__01.bvf");
    QTest::newRow("name of 260 characters is refused")
        << SourceOfLength(256) << 1u << 1u << kSample << "error: name too long";
    QTest::newRow("source path of 259 characters, name too long")
        << SourceOfLength(259) << 4u << 1u << kSample << "error: name too long";
    QTest::newRow("source path of 260 characters is refused")
        << SourceOfLength(260) << 4u << 1u << kSample << "error: source path too long";
    const QString clstrWide = QString::fromUcs4(U"\U0001F4E1");
    QTest::newRow("characters outside the basic plane count once")
        << QStringLiteral("/r/") + clstrWide.repeated(200) + QStringLiteral(".bvf") << 1u << 1u
        << kSample << QStringLiteral("/r/") + clstrWide.repeated(200) + QStringLiteral("__01.bvf");
    QTest::newRow("time beyond the calendar")
        << clstrCell << 2u << 1u << std::numeric_limits<qint64>::max()
        << "error: time not representable";
    QTest::newRow("time beyond the calendar, scheme without time")
        << clstrCell << 1u << 1u << std::numeric_limits<qint64>::max() << "/rec/cell__01.bvf";
}

void TestSplitName::names() {
    QFETCH(QString, source);
    QFETCH(uint, scheme);
    QFETCH(uint, part);
    QFETCH(qint64, cut);
    QFETCH(QString, expected);
    QCOMPARE(MakeName(source, scheme, part, cut), expected);
}

void TestSplitName::fixedName_data() {
    QTest::addColumn<uint>("mode");
    QTest::addColumn<QString>("fixedName");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");

    QTest::newRow("period mode uses the fixed path unchanged")
        << uint(SPLIT_BY_PERIOD) << "/out/Fixed Name.bvf"
        << "/rec/cell.bvf"
        << "/out/Fixed Name.bvf";
    QTest::newRow("the fixed path may end in anything")
        << uint(SPLIT_BY_PERIOD) << "relative/out.dat"
        << "/rec/cell.bvf"
        << "relative/out.dat";
    QTest::newRow("fixed path of 259 characters")
        << uint(SPLIT_BY_PERIOD) << SourceOfLength(259) << "/rec/cell.bvf" << SourceOfLength(259);
    QTest::newRow("fixed path of 260 characters is refused")
        << uint(SPLIT_BY_PERIOD) << SourceOfLength(260) << "/rec/cell.bvf"
        << "error: name too long";
    QTest::newRow("source path too long") << uint(SPLIT_BY_PERIOD) << "/out/f.bvf"
                                          << SourceOfLength(260) << "error: source path too long";
    QTest::newRow("outside the period mode the fixed path is not taken")
        << uint(SPLIT_BY_TIME) << "/out/f.bvf"
        << "/rec/cell.bvf"
        << "error: no name";
}

void TestSplitName::fixedName() {
    QFETCH(uint, mode);
    QFETCH(QString, fixedName);
    QFETCH(QString, source);
    QFETCH(QString, expected);

    StructSplitSettings clSettings;
    clSettings.namingScheme = kFixedNameScheme;
    clSettings.fixedName = fixedName;
    clSettings.mode = uint8_t(mode);
    clSettings.periodStart = kSample;
    clSettings.periodEnd = kSample + 3600;
    StructSplitName clName = InitialSplitName(clSettings, source);
    QCOMPARE(clName.namingScheme, kFixedNameScheme);
    QCOMPARE(clName.sourcePath, source);
    CSplitPlan(clSettings, 0, 0).ApplyTo(clName);
    QCOMPARE(clName.partNumber, 1u);
    QCOMPARE(qint64(clName.cut), mode == SPLIT_BY_PERIOD ? kSample : 0);
    const SplitNameResult enResult = MakePartName(clName);
    QCOMPARE(ResultText(enResult, clName.outputPath), expected);
    if (enResult != SplitNameResult::Ok)
        QCOMPARE(clName.outputPath, QString());
}

void TestSplitName::localTime_data() {
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<qint64>("time");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one hour east") << QByteArray("CET-1") << kSample << "2024-03-07_15.05.09";
    QTest::newRow("summer time, two hours east") << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3")
                                                 << Utc(1, "12:00:00", 7) << "2024-07-01_14.00.00";
    QTest::newRow("five hours west, previous day")
        << QByteArray("EST5") << Utc(7, "03:00:00") << "2024-03-06_22.00.00";
    QTest::newRow("zone at UTC") << QByteArray("UTC0") << kSample << "2024-03-07_14.05.09";
}

void TestSplitName::localTime() {
    QFETCH(QByteArray, zone);
    QFETCH(qint64, time);
    QFETCH(QString, expected);

    const TimeZoneScope clZone(zone.constData());
    QCOMPARE(PartTimeText(time, false), expected);
    QCOMPARE(MakeName(QStringLiteral("/rec/cell.bvf"), 0, 1, time, false),
             QStringLiteral("/rec/cell__") + expected + QStringLiteral(".bvf"));
    // UTC names do not follow the zone.
    QCOMPARE(
        PartTimeText(time, true),
        QDateTime::fromSecsSinceEpoch(time, QTimeZone::utc()).toString(u"yyyy-MM-dd_hh.mm.ss"));
}

void TestSplitName::localNamesKeepUtcBoundaries() {
    const TimeZoneScope clZone("CET-1");
    StructSplitSettings clSettings;
    clSettings.namingScheme = 2;
    clSettings.showUtc = false;
    clSettings.mode = SPLIT_BY_TIME;
    clSettings.partLength = 3600;
    clSettings.alignToUnit = true;

    CSplitPlan clPlan(clSettings, Utc(7, "10:20:00"), 0);
    StructSplitName clName = InitialSplitName(clSettings, QStringLiteral("/rec/cell.bvf"));
    clPlan.ApplyTo(clName);
    QCOMPARE(MakePartName(clName), SplitNameResult::Ok);
    QCOMPARE(clName.outputPath, QStringLiteral("/rec/cell__01__2024-03-07_11.20.00.bvf"));
    QCOMPARE(qint64(clPlan.NextBoundary()), Utc(7, "11:00:00"));

    QCOMPARE(clPlan.Decide(Utc(7, "10:59:59"), 0), SplitAction::WriteToCurrentPart);
    QCOMPARE(clPlan.Decide(Utc(7, "11:00:03"), 0), SplitAction::StartNewPart);
    clPlan.ApplyTo(clName);
    QCOMPARE(MakePartName(clName), SplitNameResult::Ok);
    QCOMPARE(clName.outputPath, QStringLiteral("/rec/cell__02__2024-03-07_12.00.03.bvf"));
    QCOMPARE(qint64(clPlan.NextBoundary()), Utc(7, "12:00:00"));
}

void TestSplitName::splitSourcePath_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("baseName");

    QTest::newRow("folder and dotted name") << "/rec/tetra.cell.bvf" << true << "/rec/"
                                            << "tetra.cell";
    QTest::newRow("no folder") << "cell.bvf" << true << ""
                               << "cell";
    QTest::newRow("root folder") << "/cell.bvf" << true << "/"
                                 << "cell";
    QTest::newRow("no extension") << "/rec/cell" << true << "/rec/"
                                  << "cell";
    QTest::newRow("dot in the folder only") << "/rec.d/cell" << true << "/rec.d/"
                                            << "cell";
    QTest::newRow("name is only an extension") << "/rec/.bvf" << true << "/rec/"
                                               << "";
    QTest::newRow("trailing slash") << "/rec/" << true << "/rec/"
                                    << "";
    QTest::newRow("backslash is no separator") << "/rec/a\\b.bvf" << true << "/rec/"
                                               << "a\\b";
    QTest::newRow("base name cleaned") << "/rec/CN0012__cell__north.bvf" << true << "/rec/"
                                       << "cell";
    QTest::newRow("259 characters") << SourceOfLength(259) << true << "/r/" << QString(252, u'a');
    QTest::newRow("260 characters refused") << SourceOfLength(260) << false << ""
                                            << "";
}

void TestSplitName::splitSourcePath() {
    QFETCH(QString, path);
    QFETCH(bool, fits);
    QFETCH(QString, folder);
    QFETCH(QString, baseName);

    QString clstrFolder = QStringLiteral("stale");
    QString clstrBaseName = QStringLiteral("stale");
    QCOMPARE(SplitSourcePath(path, clstrFolder, clstrBaseName), fits);
    QCOMPARE(clstrFolder, folder);
    QCOMPARE(clstrBaseName, baseName);
}

void TestSplitName::cleanBaseName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("leading date") << "2024-03-07_14.05.09__cell"
                                  << "cell";
    QTest::newRow("trailing date") << "cell__2024-03-07_14.05.09"
                                   << "cell";
    QTest::newRow("leading CN token") << "CN0012__cell"
                                      << "cell";
    QTest::newRow("trailing P token") << "cell__P00012"
                                      << "cell";
    QTest::newRow("free text after __ is cut") << "cell__north"
                                               << "cell";
    QTest::newRow("part number and date of scheme 2") << "cell__01__2024-03-07_14.05.09"
                                                      << "cell";
    QTest::newRow("date and part number of scheme 3") << "cell__2024-03-07_14.05.09__01"
                                                      << "cell";
    QTest::newRow("tokens on both sides") << "CN0012__2024-03-07_14.05.09__cell__P1_2_3"
                                          << "cell";
    QTest::newRow("text after a date token stays") << "cell__2024-03-07_14.05.09x"
                                                   << "cellx";
    QTest::newRow("short token with underscores") << "CN_1_2__cell"
                                                  << "cell";
    QTest::newRow("too short for a token") << "cell__CN12"
                                           << "cell";
    QTest::newRow("not a short token: letters") << "cell__CN12ab"
                                                << "cell";
    QTest::newRow("part number first: cut at its __") << "01__cell"
                                                      << "01";
    QTest::newRow("date without __ stays") << "2024-03-07_14.05.09"
                                           << "2024-03-07_14.05.09";
    QTest::newRow("single underscores stay") << "cell_north_1"
                                             << "cell_north_1";
    QTest::newRow("only underscores") << "____"
                                      << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestSplitName::cleanBaseName() {
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(CleanBaseName(name), expected);
}

void TestSplitName::bareFileName_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("folder") << "/rec/cell__01.bvf"
                            << "cell__01.bvf";
    QTest::newRow("no folder") << "cell.bvf"
                               << "cell.bvf";
    QTest::newRow("separator only at the start") << "/cell.bvf"
                                                 << "/cell.bvf";
    QTest::newRow("backslash is part of the name") << "/rec/a\\b.bvf"
                                                   << "a\\b.bvf";
}

void TestSplitName::bareFileName() {
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(BareFileName(path), expected);
}

void TestSplitName::normalisePath_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");

    QTest::newRow("unchanged") << "/rec/cell.bvf"
                               << "/rec/cell.bvf";
    QTest::newRow("doubled separators") << "/rec//cell.bvf"
                                        << "/rec/cell.bvf";
    QTest::newRow("runs of separators") << "/rec///a////b.bvf"
                                        << "/rec/a/b.bvf";
    QTest::newRow("trailing run") << "/rec//"
                                  << "/rec/";
    QTest::newRow("network prefix kept") << "//server/share//x.bvf"
                                         << "//server/share/x.bvf";
    QTest::newRow("prefix then a third slash") << "///x.bvf"
                                               << "///x.bvf";
    // A leading blank is part of a relative path's first name.
    QTest::newRow("leading blanks are name characters") << " \t/rec//cell.bvf"
                                                        << " \t/rec/cell.bvf";
    QTest::newRow("no prefix after leading blanks") << "  //srv//x"
                                                    << "  /srv/x";
    QTest::newRow("leading blanks of a bare name stay") << "  cell.bvf"
                                                        << "  cell.bvf";
    QTest::newRow("blanks only") << " \t "
                                 << " \t ";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("backslashes are name characters") << "C:\\\\rec\\x"
                                                     << "C:\\\\rec\\x";
    QTest::newRow("double colon is a name") << "/rec/a::b"
                                            << "/rec/a::b";
    QTest::newRow("letter case kept") << "/Rec//Cell.BVF"
                                      << "/Rec/Cell.BVF";
}

void TestSplitName::normalisePath() {
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(NormalisePath(path), expected);
    // Normalising twice changes nothing more.
    QCOMPARE(NormalisePath(NormalisePath(path)), expected);
}

void TestSplitName::samePathText_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("same");
    QTest::newRow("letter case names another file") << "/rec/Cell.BVF"
                                                    << "/rec/cell.bvf" << false;
    QTest::newRow("doubled separators") << "/rec//cell.bvf"
                                        << "/rec/cell.bvf" << true;
    QTest::newRow("leading blanks name another file") << "  /rec/cell.bvf"
                                                      << "/rec/cell.bvf" << false;
    QTest::newRow("other file") << "/rec/cell__01.bvf"
                                << "/rec/cell.bvf" << false;
    QTest::newRow("network prefix is not a folder") << "//rec/cell.bvf"
                                                    << "/rec/cell.bvf" << false;
}

void TestSplitName::samePathText() {
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, same);
    QCOMPARE(SamePathText(first, second), same);
    QCOMPARE(SamePathText(second, first), same);
}

void TestSplitName::sameFile_data() {
    QTest::addColumn<QString>("output"); // %1: the folder holding source.bvf
    QTest::addColumn<bool>("sameFile");
    QTest::addColumn<bool>("isSource");

    QTest::newRow("the source itself") << "%1/source.bvf" << true << true;
    QTest::newRow("through .") << "%1/./source.bvf" << true << true;
    QTest::newRow("through ..") << "%1/sub/../source.bvf" << true << true;
    QTest::newRow("symbolic link") << "%1/link.bvf" << true << true;
    QTest::newRow("hard link") << "%1/hard.bvf" << true << true;
    QTest::newRow("symbolic link to the folder") << "%1/folderlink/source.bvf" << true << true;
    QTest::newRow("copy with the same bytes") << "%1/copy.bvf" << false << false;
    QTest::newRow("missing output") << "%1/none.bvf" << false << false;
    QTest::newRow("dangling link") << "%1/dangling.bvf" << false << false;
    QTest::newRow("letter case names another file") << "%1/SOURCE.bvf" << false << false;
}

void TestSplitName::sameFile() {
    QFETCH(QString, output);
    QFETCH(bool, sameFile);
    QFETCH(bool, isSource);

    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrSource = clDir.filePath(QStringLiteral("source.bvf"));
    {
        QFile clFile(clstrSource);
        QVERIFY(clFile.open(QIODevice::WriteOnly));
        QCOMPARE(clFile.write("BVF sample"), qint64(10));
    }
    QVERIFY(QFile::copy(clstrSource, clDir.filePath(QStringLiteral("copy.bvf"))));
    QVERIFY(QDir(clDir.path()).mkdir(QStringLiteral("sub")));
    QVERIFY(QFile::link(clstrSource, clDir.filePath(QStringLiteral("link.bvf"))));
    QVERIFY(QFile::link(clDir.path(), clDir.filePath(QStringLiteral("folderlink"))));
    QVERIFY(QFile::link(clDir.filePath(QStringLiteral("gone.bvf")),
                        clDir.filePath(QStringLiteral("dangling.bvf"))));
    QCOMPARE(::link(QFile::encodeName(clstrSource).constData(),
                    QFile::encodeName(clDir.filePath(QStringLiteral("hard.bvf"))).constData()),
             0);

    const QString clstrOutput = output.arg(clDir.path());
    QCOMPARE(IsSameFile(clstrOutput, clstrSource), sameFile);
    QCOMPARE(IsSameFile(clstrSource, clstrOutput), sameFile);
    QCOMPARE(OutputIsSource(clstrOutput, clstrSource), isSource);
}

void TestSplitName::sameFileThroughRelativePath() {
    QTemporaryDir clDir;
    QVERIFY(clDir.isValid());
    const QString clstrSource = clDir.filePath(QStringLiteral("source.bvf"));
    {
        QFile clFile(clstrSource);
        QVERIFY(clFile.open(QIODevice::WriteOnly));
    }
    const QString clstrOldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(clDir.path()));
    const bool bDot = IsSameFile(QStringLiteral("./source.bvf"), clstrSource);
    const bool bBare = OutputIsSource(QStringLiteral("source.bvf"), clstrSource);
    const bool bOther = OutputIsSource(QStringLiteral("./other.bvf"), clstrSource);
    QVERIFY(QDir::setCurrent(clstrOldCurrent));
    QVERIFY(bDot);
    QVERIFY(bBare);
    QVERIFY(!bOther);
}

BVF_TEST_MAIN(TestSplitName)
#include "test_split_name.moc"
