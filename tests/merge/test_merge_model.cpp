// The merge list and its tree: where entries are inserted, what is removed,
// and what the tree shows for a list (group rows with their summaries, gap
// rows, time texts and overlap marks), compared as whole rows of text.
#include "JoinFileData.h"
#include "MergeTestKit.h"
#include "MergeWorkers.h"
#include "ModelJoinFiles.h"
#include "TestRegistry.h"

#include <QSignalSpy>
#include <QStandardItem>
#include <QTest>

#include <atomic>
#include <thread>

using namespace MergeTestKit;
using WorkerTestKit::At;

Q_DECLARE_METATYPE(QList<StructJoinFileData>)

namespace {

constexpr uint64_t kMagicA = 0xA1;
constexpr uint64_t kMagicB = 0xB2;

QString CellText(const QStandardItem *pItem) {
    return pItem != nullptr ? pItem->text() : QString();
}

// A cell as text with its marks: "[bg r,g,b,a]" for a solid background and
// "[tip ...]" for a tooltip (line breaks as "|").
QString Cell(const QStandardItem *pItem) {
    QString clstrText = CellText(pItem);
    if (pItem == nullptr)
        return clstrText;
    const QBrush clBrush = pItem->background();
    if (clBrush.style() != Qt::NoBrush) {
        const QColor clColour = clBrush.color();
        clstrText += QStringLiteral(" [bg %1,%2,%3,%4%5]")
                         .arg(clColour.red())
                         .arg(clColour.green())
                         .arg(clColour.blue())
                         .arg(clColour.alpha())
                         .arg(clBrush.style() == Qt::SolidPattern ? "" : " not solid");
    }
    if (!pItem->toolTip().isEmpty())
        clstrText += QStringLiteral(" [tip %1]").arg(pItem->toolTip().replace(u'\n', u'|'));
    return clstrText;
}

// The whole tree: "<group> / <summary>" per group row, and under it
// "  <col 0> / <col 1> / <col 2>" per row.
QStringList Describe(const QStandardItemModel &clModel) {
    QStringList clLines;
    for (int lRow = 0; lRow < clModel.rowCount(); ++lRow) {
        const QStandardItem *pGroup = clModel.item(lRow, 0);
        clLines << Cell(pGroup) + " / " + Cell(clModel.item(lRow, 1));
        for (int lChild = 0; lChild < pGroup->rowCount(); ++lChild)
            clLines << "  " + Cell(pGroup->child(lChild, 0)) + " / " +
                           Cell(pGroup->child(lChild, 1)) + " / " + Cell(pGroup->child(lChild, 2));
    }
    return clLines;
}

StructJoinFileData Timed(const char *pName, uint64_t lMagic, const char *pStart, const char *pEnd,
                         int64_t lSize = -1) {
    return Entry(QString::fromUtf8(pName), lMagic, At(pStart), At(pEnd), lSize);
}

StructJoinFileData Untimed(const char *pName, uint64_t lMagic, int64_t lSize = -1) {
    return Entry(QString::fromUtf8(pName), lMagic, kJoinTimeUnknown, kJoinTimeUnknown, lSize);
}

// The list's invariants: runs of one magic stand together, each in
// ascending start order, and no name is listed twice.
QString InvariantProblem(const QList<StructJoinFileData> &clEntries) {
    QStringList clNames;
    QList<uint64_t> clClosedMagics;
    for (qsizetype i = 0; i < clEntries.size(); ++i) {
        if (clNames.contains(clEntries[i].fileName))
            return "listed twice: " + clEntries[i].fileName;
        clNames << clEntries[i].fileName;
        if (i == 0)
            continue;
        const StructJoinFileData &clPrevious = clEntries[i - 1];
        if (clPrevious.magic != clEntries[i].magic) {
            clClosedMagics << clPrevious.magic;
            if (clClosedMagics.contains(clEntries[i].magic))
                return "run split apart at " + clEntries[i].fileName;
        } else if (clPrevious.start > clEntries[i].start) {
            return "not ascending at " + clEntries[i].fileName;
        }
    }
    return QString();
}

} // namespace

class TestMergeModel : public QObject {
    Q_OBJECT

  private slots:
    void insertion_data();
    void insertion();
    void duplicateNameIsRefused();
    void removals();
    void singleFileGroup();
    void insertionsAndReadsInterleave();

    void emptyList();
    void groupSummary_data();
    void groupSummary();
    void tree_data();
    void tree();
    void groupRowCarriesItsMagic();
    void rebuildShowsOnlyTheNewList();
};

// ---- The merge list ----------------------------------------------------

void TestMergeModel::insertion_data() {
    QTest::addColumn<QList<StructJoinFileData>>("arrivals");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("reverse time order comes out ascending")
        << QList<StructJoinFileData>{Timed("c", kMagicA, "12:00:00", "12:30:00"),
                                     Timed("b", kMagicA, "11:00:00", "11:30:00"),
                                     Timed("a", kMagicA, "10:00:00", "10:30:00")}
        << QStringList{"a", "b", "c"};
    QTest::newRow("equal starts keep their order of arrival")
        << QList<StructJoinFileData>{Timed("first", kMagicA, "10:00:00", "10:30:00"),
                                     Timed("second", kMagicA, "10:00:00", "10:10:00"),
                                     Timed("third", kMagicA, "10:00:00", "11:00:00")}
        << QStringList{"first", "second", "third"};
    QTest::newRow("runs in the order their magic first came")
        << QList<StructJoinFileData>{Timed("b1", kMagicB, "09:00:00", "09:30:00"),
                                     Timed("a1", kMagicA, "10:00:00", "10:30:00"),
                                     Timed("b0", kMagicB, "08:00:00", "08:30:00"),
                                     Timed("a0", kMagicA, "07:00:00", "07:30:00"),
                                     Timed("b2", kMagicB, "23:00:00", "23:30:00")}
        << QStringList{"b0", "b1", "b2", "a0", "a1"};
    QTest::newRow("an unknown start goes first in its run")
        << QList<StructJoinFileData>{Timed("timed", kMagicA, "10:00:00", "10:30:00"),
                                     Untimed("untimed", kMagicA)}
        << QStringList{"untimed", "timed"};
}

void TestMergeModel::insertion() {
    QFETCH(QList<StructJoinFileData>, arrivals);
    QFETCH(QStringList, expected);
    CMergeList clList;
    for (const StructJoinFileData &clEntry : arrivals)
        QVERIFY(clList.Insert(clEntry));
    QCOMPARE(clList.FileNames(), expected);
    QCOMPARE(InvariantProblem(clList.Entries()), QString());
}

void TestMergeModel::duplicateNameIsRefused() {
    CMergeList clList;
    QVERIFY(clList.Insert(Timed("/rec/a.bvf", kMagicA, "10:00:00", "10:30:00")));
    // The same name with another magic and time is still the same file.
    QVERIFY(!clList.Insert(Timed("/rec/a.bvf", kMagicB, "08:00:00", "08:30:00")));
    QCOMPARE(clList.Count(), qsizetype(1));
    QCOMPARE(clList.Entries().first().magic, kMagicA);
    QVERIFY(clList.Contains(QStringLiteral("/rec/a.bvf")));
    // Names are compared exactly.
    QVERIFY(!clList.Contains(QStringLiteral("/rec/A.bvf")));
    QVERIFY(clList.Insert(Timed("/rec/A.bvf", kMagicA, "11:00:00", "11:30:00")));
}

void TestMergeModel::removals() {
    CMergeList clList;
    for (const StructJoinFileData &clEntry :
         {Timed("a0", kMagicA, "10:00:00", "10:30:00"),
          Timed("a1", kMagicA, "11:00:00", "11:30:00"),
          Timed("b0", kMagicB, "10:00:00", "10:30:00"),
          Timed("b1", kMagicB, "11:00:00", "11:30:00"), Timed("c0", 0xC3, "10:00:00", "10:30:00")})
        QVERIFY(clList.Insert(clEntry));

    // A group: the index where it stood, now held by the next entry.
    QCOMPARE(clList.RemoveMagic(kMagicB), qsizetype(2));
    QCOMPARE(clList.FileNames(), (QStringList{"a0", "a1", "c0"}));
    QCOMPARE(clList.FileNameAtOrLast(2), QStringLiteral("c0"));
    QCOMPARE(clList.RemoveMagic(kMagicB), qsizetype(-1));

    // The last file: the index now lies beyond the list and means its end.
    QCOMPARE(clList.RemoveFile(QStringLiteral("c0")), qsizetype(2));
    QCOMPARE(clList.FileNameAtOrLast(2), QStringLiteral("a1"));
    QCOMPARE(clList.RemoveFile(QStringLiteral("c0")), qsizetype(-1));
    QCOMPARE(clList.FileNameAtOrLast(-1), QString());

    clList.Clear();
    QVERIFY(clList.IsEmpty());
    QCOMPARE(clList.FileNameAtOrLast(0), QString());
}

void TestMergeModel::singleFileGroup() {
    const auto fnSingle = [](const QList<StructJoinFileData> &clEntries) {
        const std::optional<uint64_t> clMagic = FirstSingleFileGroup(clEntries);
        return clMagic ? JoinMagicText(*clMagic) : QStringLiteral("none");
    };
    QCOMPARE(fnSingle({}), QStringLiteral("none"));
    QCOMPARE(fnSingle({Untimed("a0", kMagicA), Untimed("a1", kMagicA)}), QStringLiteral("none"));
    QCOMPARE(fnSingle({Untimed("a0", 0x1f)}), QStringLiteral("0x000000000000001f"));
    // Groups of 2 and 1: the second blocks the merge.
    QCOMPARE(fnSingle({Untimed("a0", kMagicA), Untimed("a1", kMagicA), Untimed("b0", kMagicB)}),
             JoinMagicText(kMagicB));
    QCOMPARE(fnSingle({Untimed("a0", kMagicA), Untimed("b0", kMagicB), Untimed("b1", kMagicB)}),
             JoinMagicText(kMagicA));
}

void TestMergeModel::insertionsAndReadsInterleave() {
    // Two writers and a reader at once: every copy the reader takes keeps the
    // invariants, and nothing is lost.
    CMergeList clList;
    constexpr int kPerWriter = 400;
    std::atomic<bool> bDone{false};
    auto fnWriter = [&clList](uint64_t lMagic, const char *pPrefix) {
        for (int i = 0; i < kPerWriter; ++i) {
            const int64_t lStart = At("10:00:00") + (i * 7919) % 1000;
            clList.Insert(
                Entry(QStringLiteral("%1%2").arg(pPrefix).arg(i), lMagic, lStart, lStart + 5));
        }
    };
    std::thread clFirst(fnWriter, kMagicA, "a");
    std::thread clSecond(fnWriter, kMagicB, "b");
    std::thread clWatcher([&] {
        clFirst.join();
        clSecond.join();
        bDone = true;
    });
    QString clstrProblem;
    while (!bDone && clstrProblem.isEmpty())
        clstrProblem = InvariantProblem(clList.Entries());
    clWatcher.join();
    QCOMPARE(clstrProblem, QString());
    QCOMPARE(InvariantProblem(clList.Entries()), QString());
    QCOMPARE(clList.Count(), qsizetype(2 * kPerWriter));
}

// ---- The tree ----------------------------------------------------------

void TestMergeModel::emptyList() {
    CModelJoinFiles clModel;
    QSignalSpy clExpand(&clModel, &CModelJoinFiles::expandAll);
    QSignalSpy clResize(&clModel, &CModelJoinFiles::resizeColumnToContents);
    clModel.UpdateView({});
    QCOMPARE(clModel.rowCount(), 0);
    QCOMPARE(clModel.columnCount(), 3);
    QCOMPARE(clModel.horizontalHeaderItem(0)->text(), QStringLiteral("File magic"));
    QCOMPARE(clModel.horizontalHeaderItem(1)->text(), QStringLiteral("Time"));
    QCOMPARE(clModel.horizontalHeaderItem(2)->text(), QStringLiteral("FileName"));
    QCOMPARE(clExpand.count(), 1);
    QCOMPARE(clResize.count(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(clResize.at(i).at(0).toInt(), i);
}

void TestMergeModel::groupSummary_data() {
    QTest::addColumn<QList<StructJoinFileData>>("list");
    QTest::addColumn<QString>("summary");

    QTest::newRow("1023 bytes") << QList<StructJoinFileData>{Untimed("a", kMagicA, 1023)}
                                << "(Size: 1023 byte)";
    QTest::newRow("1024 bytes") << QList<StructJoinFileData>{Untimed("a", kMagicA, 1024)}
                                << "(Size: 1.00 kB)";
    QTest::newRow("1048575 bytes")
        << QList<StructJoinFileData>{Untimed("a", kMagicA, 1048575)} << "(Size: 1024.00 kB)";
    QTest::newRow("1048576 bytes")
        << QList<StructJoinFileData>{Untimed("a", kMagicA, 1048576)} << "(Size: 1.00 MB)";
    QTest::newRow("sizes add up, unknown sizes add nothing")
        << QList<StructJoinFileData>{Untimed("a", kMagicA, 1000), Untimed("b", kMagicA, -1),
                                     Untimed("c", kMagicA, 24)}
        << "(Size: 1.00 kB)";
    QTest::newRow("10:00:00 to 10:05:06")
        << QList<StructJoinFileData>{Timed("a", kMagicA, "10:00:00", "10:05:06")}
        << "Length: 05:07";
    QTest::newRow("10:00:00 to 11:00:00")
        << QList<StructJoinFileData>{Timed("a", kMagicA, "10:00:00", "11:00:00")}
        << "Length: 01:00:01";
    QTest::newRow("lengths add up, an end equal to the start adds nothing")
        << QList<StructJoinFileData>{Timed("a", kMagicA, "10:00:00", "10:00:59"),
                                     Timed("b", kMagicA, "10:30:00", "10:30:00"),
                                     Timed("c", kMagicA, "11:00:00", "11:00:01")}
        << "Length: 01:02";
    QTest::newRow("length and size")
        << QList<StructJoinFileData>{Timed("a", kMagicA, "10:00:00", "10:05:06", 2048)}
        << "Length: 05:07 (Size: 2.00 kB)";
    QTest::newRow("an unknown start adds no length but its size")
        << QList<StructJoinFileData>{Timed("a", kMagicA, "10:00:00", "10:00:09", 100),
                                     Untimed("b", kMagicA, 50)}
        << "Length: 00:10 (Size: 150 byte)";
    QTest::newRow("a hundred hours")
        << QList<StructJoinFileData>{Entry("a", kMagicA, At("10:00:00"),
                                           At("10:00:00") + 100 * 3600)}
        << "Length: 100:00:01";
    QTest::newRow("neither length nor size")
        << QList<StructJoinFileData>{Untimed("a", kMagicA)} << "";
}

void TestMergeModel::groupSummary() {
    QFETCH(QList<StructJoinFileData>, list);
    QFETCH(QString, summary);
    CModelJoinFiles clModel;
    clModel.UpdateView(list);
    QCOMPARE(clModel.rowCount(), 1);
    QCOMPARE(CellText(clModel.item(0, 1)), summary);
    // An empty summary leaves the cell without an item.
    QCOMPARE(clModel.item(0, 1) == nullptr, summary.isEmpty());
}

void TestMergeModel::tree_data() {
    QTest::addColumn<QList<StructJoinFileData>>("list");
    QTest::addColumn<QStringList>("rows");

    const QString clstrGroupA = JoinMagicText(kMagicA);
    const QString clstrGroupB = JoinMagicText(kMagicB);
    const QString clstrGap = QStringLiteral(" [bg 255,155,0,255]");
    const QString clstrOverlap = QStringLiteral(" [bg 255,255,0,255]");

    QTest::newRow("a gap of one second has no row")
        << QList<StructJoinFileData>{Timed("/r/a.bvf", kMagicA, "10:00:00", "10:59:59"),
                                     Timed("/r/b.bvf", kMagicA, "11:00:00", "11:30:00")}
        << QStringList{clstrGroupA + " / Length: 01:30:01",
                       "   / 2024-03-07 10:00:00 to 10:59:59 / /r/a.bvf",
                       "   / 2024-03-07 11:00:00 to 11:30:00 / /r/b.bvf"};
    QTest::newRow("a gap of three seconds misses two")
        << QList<StructJoinFileData>{Timed("/r/a.bvf", kMagicA, "10:00:00", "10:59:59"),
                                     Timed("/r/b.bvf", kMagicA, "11:00:02", "11:30:00")}
        << QStringList{clstrGroupA + " / Length: 01:29:59",
                       "   / 2024-03-07 10:00:00 to 10:59:59 / /r/a.bvf",
                       "   / Missing: 00:02 [m:s]" + clstrGap + " / ",
                       "   / 2024-03-07 11:00:02 to 11:30:00 / /r/b.bvf"};
    QTest::newRow("an hour missing")
        << QList<StructJoinFileData>{Timed("/r/a.bvf", kMagicA, "10:00:00", "10:59:59"),
                                     Timed("/r/b.bvf", kMagicA, "12:00:00", "12:00:09")}
        << QStringList{clstrGroupA + " / Length: 01:00:10",
                       "   / 2024-03-07 10:00:00 to 10:59:59 / /r/a.bvf",
                       "   / Missing: 01:00:00 [m:s]" + clstrGap + " / ",
                       "   / 2024-03-07 12:00:00 to 12:00:09 / /r/b.bvf"};
    QTest::newRow("files that touch")
        << QList<StructJoinFileData>{Timed("/r/a.bvf", kMagicA, "10:00:00", "11:00:00"),
                                     Timed("/r/b.bvf", kMagicA, "11:00:00", "11:30:00")}
        << QStringList{clstrGroupA + " / Length: 01:30:02",
                       "   / 2024-03-07 10:00:00 to 11:00:00 / /r/a.bvf",
                       "   / 2024-03-07 11:00:00 to 11:30:00 / /r/b.bvf"};
    QTest::newRow("an overlap marks the later file")
        << QList<StructJoinFileData>{Timed("/r/a.bvf", kMagicA, "10:00:00", "11:00:00"),
                                     Timed("/r/b.bvf", kMagicA, "10:30:00", "11:30:00")}
        << QStringList{clstrGroupA + " / Length: 02:00:02",
                       "   / 2024-03-07 10:00:00 to 11:00:00 / /r/a.bvf",
                       "   / 2024-03-07 10:30:00 to 11:30:00" + clstrOverlap +
                           " [tip Files overlapping: |a.bvf] / /r/b.bvf"};
    QTest::newRow("every overlapped file is named")
        << QList<StructJoinFileData>{Timed("/r/a.bvf", kMagicA, "10:00:00", "11:00:00"),
                                     Timed("/r/b.bvf", kMagicA, "10:10:00", "11:00:00"),
                                     Timed("/r/c.bvf", kMagicA, "10:20:00", "10:40:00")}
        << QStringList{clstrGroupA + " / Length: 02:10:03",
                       "   / 2024-03-07 10:00:00 to 11:00:00 / /r/a.bvf",
                       "   / 2024-03-07 10:10:00 to 11:00:00" + clstrOverlap +
                           " [tip Files overlapping: |a.bvf] / /r/b.bvf",
                       "   / 2024-03-07 10:20:00 to 10:40:00" + clstrOverlap +
                           " [tip Files overlapping: |a.bvf|b.bvf] / /r/c.bvf"};
    // The file inside a's span ended earlier than a: c misses nothing.
    QTest::newRow("a gap is measured from the latest end of all earlier files")
        << QList<StructJoinFileData>{Timed("/r/a.bvf", kMagicA, "10:00:00", "11:00:00"),
                                     Timed("/r/b.bvf", kMagicA, "10:10:00", "10:20:00"),
                                     Timed("/r/c.bvf", kMagicA, "11:00:00", "11:30:00"),
                                     Entry("/r/d.bvf", kMagicA, -5, At("10:00:00")),
                                     Timed("/r/e.bvf", kMagicA, "11:30:05", "11:40:00")}
        << QStringList{clstrGroupA + " / Length: 01:49:59",
                       "   / 2024-03-07 10:00:00 to 11:00:00 / /r/a.bvf",
                       "   / 2024-03-07 10:10:00 to 10:20:00" + clstrOverlap +
                           " [tip Files overlapping: |a.bvf] / /r/b.bvf",
                       "   / 2024-03-07 11:00:00 to 11:30:00 / /r/c.bvf",
                       "   / Unknown / /r/d.bvf",
                       "   / Missing: 00:04 [m:s]" + clstrGap + " / ",
                       "   / 2024-03-07 11:30:05 to 11:40:00 / /r/e.bvf"};
    QTest::newRow("different magics never overlap or gap")
        << QList<StructJoinFileData>{Timed("/r/a.bvf", kMagicA, "10:00:00", "11:00:00"),
                                     Timed("/r/b.bvf", kMagicB, "09:00:00", "10:30:00"),
                                     Timed("/r/c.bvf", kMagicB, "10:30:00", "12:00:00")}
        << QStringList{clstrGroupA + " / Length: 01:00:01",
                       "   / 2024-03-07 10:00:00 to 11:00:00 / /r/a.bvf",
                       clstrGroupB + " / Length: 03:00:02",
                       "   / 2024-03-07 09:00:00 to 10:30:00 / /r/b.bvf",
                       "   / 2024-03-07 10:30:00 to 12:00:00 / /r/c.bvf"};
    QTest::newRow("the gap starts again in each group")
        << QList<StructJoinFileData>{Timed("/r/a.bvf", kMagicA, "10:00:00", "10:00:09"),
                                     Timed("/r/b.bvf", kMagicA, "10:00:20", "10:00:29"),
                                     Timed("/r/c.bvf", kMagicB, "10:00:00", "10:00:09")}
        << QStringList{clstrGroupA + " / Length: 00:20",
                       "   / 2024-03-07 10:00:00 to 10:00:09 / /r/a.bvf",
                       "   / Missing: 00:10 [m:s]" + clstrGap + " / ",
                       "   / 2024-03-07 10:00:20 to 10:00:29 / /r/b.bvf",
                       clstrGroupB + " / Length: 00:10",
                       "   / 2024-03-07 10:00:00 to 10:00:09 / /r/c.bvf"};
    QTest::newRow("unknown and open-ended times")
        << QList<StructJoinFileData>{Untimed("/r/a.bvf", kMagicA, 10),
                                     Entry("/r/b.bvf", kMagicA, At("10:00:00"), kJoinTimeUnknown),
                                     Entry("/r/c.bvf", kMagicA, -5, At("10:00:00"))}
        << QStringList{clstrGroupA + " / (Size: 10 byte)", "   / Unknown / /r/a.bvf",
                       "   / 2024-03-07 10:00:00 to ??? / /r/b.bvf", "   / Unknown / /r/c.bvf"};
    QTest::newRow("an end on another day")
        << QList<StructJoinFileData>{Timed("/r/a.bvf", kMagicA, "2024-03-01 23:59:00",
                                           "2024-03-02 00:10:00")}
        << QStringList{clstrGroupA + " / Length: 11:01",
                       "   / 2024-03-01 23:59:00 to 00:10:00 (2024-03-02) / /r/a.bvf"};
    QTest::newRow("tmw recordings share magic 0")
        << QList<StructJoinFileData>{Untimed("/r/x.tmw", 0), Untimed("/r/y.lan", 0)}
        << QStringList{"0x0000000000000000 / ", "   / Unknown / /r/x.tmw",
                       "   / Unknown / /r/y.lan"};
    QTest::newRow("a name without folder is shown whole in the tooltip")
        << QList<StructJoinFileData>{Timed("a.bvf", 0x1f, "10:00:00", "11:00:00"),
                                     Timed("b.bvf", 0x1f, "10:30:00", "11:30:00")}
        << QStringList{"0x000000000000001f / Length: 02:00:02",
                       "   / 2024-03-07 10:00:00 to 11:00:00 / a.bvf",
                       "   / 2024-03-07 10:30:00 to 11:30:00" + clstrOverlap +
                           " [tip Files overlapping: |a.bvf] / b.bvf"};
}

void TestMergeModel::tree() {
    QFETCH(QList<StructJoinFileData>, list);
    QFETCH(QStringList, rows);
    CModelJoinFiles clModel;
    clModel.UpdateView(list);
    QCOMPARE(Describe(clModel), rows);
}

void TestMergeModel::groupRowCarriesItsMagic() {
    CModelJoinFiles clModel;
    const uint64_t lLarge = 0xFEDCBA9876543210ULL;
    clModel.UpdateView({Untimed("a", 0x1f), Untimed("b", 0x1f), Untimed("c", lLarge)});
    QCOMPARE(clModel.rowCount(), 2);
    QCOMPARE(clModel.item(0, 0)->text(), QStringLiteral("0x000000000000001f"));
    QCOMPARE(clModel.item(0, 0)->data(CModelJoinFiles::kMagicRole).toULongLong(), qulonglong(0x1f));
    QCOMPARE(clModel.item(1, 0)->text(), QStringLiteral("0xfedcba9876543210"));
    QCOMPARE(clModel.item(1, 0)->data(Qt::UserRole + 1).toULongLong(), qulonglong(lLarge));
    // The text reads back as the magic, as the delete operation reads it.
    bool bOk = false;
    QCOMPARE(clModel.item(1, 0)->text().remove(QStringLiteral("0x")).toULongLong(&bOk, 16),
             qulonglong(lLarge));
    QVERIFY(bOk);
}

void TestMergeModel::rebuildShowsOnlyTheNewList() {
    CModelJoinFiles clModel;
    QSignalSpy clExpand(&clModel, &CModelJoinFiles::expandAll);
    clModel.UpdateView({Untimed("/r/a.bvf", kMagicA), Untimed("/r/b.bvf", kMagicB)});
    clModel.UpdateView({Timed("/r/c.bvf", kMagicB, "10:00:00", "10:00:09")});
    QCOMPARE(Describe(clModel), (QStringList{JoinMagicText(kMagicB) + " / Length: 00:10",
                                             "   / 2024-03-07 10:00:00 to 10:00:09 / /r/c.bvf"}));
    QCOMPARE(clModel.columnCount(), 3);
    QCOMPARE(clModel.horizontalHeaderItem(2)->text(), QStringLiteral("FileName"));
    QCOMPARE(clExpand.count(), 2);
}

BVF_TEST_MAIN(TestMergeModel)
#include "test_merge_model.moc"
