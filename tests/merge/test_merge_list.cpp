// The merge list and its tree; gaps and overlaps against the rule stated here.
#include "MergeTestKit.h"
#include "ModelJoinFiles.h"
#include "TestRegistry.h"

#include <QSignalSpy>
#include <QStandardItem>

#include <algorithm>
#include <random>

using namespace MergeTestKit;

Q_DECLARE_METATYPE(QList<StructJoinFileData>)

using Files = QList<StructJoinFileData>;

namespace {

constexpr uint64_t kMagicA = 0xA1;
constexpr uint64_t kMagicB = 0xB2;

// A cell's text with "[bg r,g,b]" for a solid background, "[tip ...]".
QString Cell(const QStandardItem *pItem) {
    if (pItem == nullptr)
        return QString();
    QString clstrText = pItem->text();
    const QBrush clBrush = pItem->background();
    if (clBrush.style() != Qt::NoBrush)
        clstrText += clBrush.style() != Qt::SolidPattern ? QStringLiteral(" [bg not solid]")
                                                         : QStringLiteral(" [bg %1,%2,%3]")
                                                               .arg(clBrush.color().red())
                                                               .arg(clBrush.color().green())
                                                               .arg(clBrush.color().blue());
    if (!pItem->toolTip().isEmpty())
        clstrText += QStringLiteral(" [tip %1]").arg(pItem->toolTip().replace(u'\n', u'|'));
    return clstrText;
}

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

} // namespace

class TestMergeList : public QObject {
    Q_OBJECT

  private slots:
    void insertion();
    void removals();
    void singleFileGroup();
    void gapsAndOverlaps();
    void groupSummary();
    void tree_data();
    void tree();
};

// Random arrivals against the rule: a name already listed is refused; runs
// of one magic in the order the magic first came, each in ascending start
// order (unknown first), equal starts in their order of arrival; letter case counts.
void TestMergeList::insertion() {
    std::mt19937_64 clRandom(5);
    const auto Below = [&clRandom](uint64_t n) { return int64_t(clRandom() % n); };
    for (int lRun = 0; lRun < 500; ++lRun) {
        CMergeList clList;
        QList<StructJoinFileData> clModel;
        for (int i = 0, lCount = int(Below(12)); i < lCount; ++i) {
            const QString clstrName = QString("aAb"[Below(3)]) + QString::number(Below(6));
            const int64_t lStart = Below(5) == 0 ? kJoinTimeUnknown : Below(4);
            const StructJoinFileData clEntry = Entry(clstrName, uint64_t(Below(3)), lStart);
            const bool bNew = std::none_of(clModel.begin(), clModel.end(),
                                           [&](const auto &e) { return e.fileName == clstrName; });
            QCOMPARE(clList.Insert(clEntry), bNew);
            if (bNew)
                clModel << clEntry;
        }
        QList<uint64_t> clMagics;
        for (const StructJoinFileData &e : clModel)
            if (!clMagics.contains(e.magic))
                clMagics << e.magic;
        std::stable_sort(clModel.begin(), clModel.end(), [&](const auto &x, const auto &y) {
            const auto lX = clMagics.indexOf(x.magic), lY = clMagics.indexOf(y.magic);
            return lX != lY ? lX < lY : x.start < y.start;
        });
        QStringList clExpected;
        for (const StructJoinFileData &e : clModel)
            clExpected << e.fileName;
        QCOMPARE(clList.FileNames(), clExpected);
        QCOMPARE(clList.Count(), clExpected.size());
        for (const char *pName : {"a0", "A0", "b5"})
            QCOMPARE(clList.Contains(pName), clExpected.contains(pName));
    }
}

void TestMergeList::removals() {
    CMergeList clList;
    for (const StructJoinFileData &clEntry :
         {Untimed("a0", kMagicA), Untimed("a1", kMagicA), Untimed("b0", kMagicB),
          Untimed("b1", kMagicB), Untimed("c0", 0xC3)})
        QVERIFY(clList.Insert(clEntry));

    QCOMPARE(clList.RemoveMagic(kMagicB), qsizetype(2));
    QCOMPARE(clList.FileNames(), (QStringList{"a0", "a1", "c0"}));
    QCOMPARE(clList.FileNameAtOrLast(2), QStringLiteral("c0"));
    QCOMPARE(clList.RemoveMagic(kMagicB), qsizetype(-1));
    QCOMPARE(clList.RemoveFile(QStringLiteral("c0")), qsizetype(2));
    QCOMPARE(clList.FileNameAtOrLast(2), QStringLiteral("a1"));
    QCOMPARE(clList.RemoveFile(QStringLiteral("c0")), qsizetype(-1));
    QCOMPARE(clList.FileNameAtOrLast(-1), QString());
    clList.Clear();
    QVERIFY(clList.IsEmpty());
    QCOMPARE(clList.FileNameAtOrLast(0), QString());
}

void TestMergeList::singleFileGroup() {
    const auto fnSingle = [](const QList<StructJoinFileData> &clEntries) {
        const std::optional<uint64_t> clMagic = FirstSingleFileGroup(clEntries);
        return clMagic ? JoinMagicText(*clMagic) : QStringLiteral("none");
    };
    QCOMPARE(fnSingle({}), QStringLiteral("none"));
    QCOMPARE(fnSingle({Untimed("a0", kMagicA), Untimed("a1", kMagicA)}), QStringLiteral("none"));
    QCOMPARE(fnSingle({Untimed("a0", 0x1f)}), QStringLiteral("0x000000000000001f"));
    QCOMPARE(fnSingle({Untimed("a0", kMagicA), Untimed("a1", kMagicA), Untimed("b0", kMagicB)}),
             JoinMagicText(kMagicB));
    QCOMPARE(fnSingle({Untimed("a0", kMagicA), Untimed("b0", kMagicB), Untimed("b1", kMagicB)}),
             JoinMagicText(kMagicA));
}

// Random lists, runs of one magic together: each entry's gap is its start
// minus the latest end of the earlier entries of its run, when that end lies
// before it; it overlaps each earlier entry of its magic whose span shares a
// second with its own other than where one ends as the other begins. Entries
// without two valid times take part in neither.
void TestMergeList::gapsAndOverlaps() {
    std::mt19937_64 clRandom(77);
    const auto Below = [&clRandom](uint64_t n) { return int64_t(clRandom() % n); };
    constexpr int64_t kLast = std::numeric_limits<int64_t>::max();
    const auto Valid = [](int64_t t) { return t >= 0 && t < kLast; };
    const QList<int64_t> clInvalid = {-5, kJoinTimeUnknown, kLast};
    for (int lRun = 0; lRun < 2000; ++lRun) {
        QList<StructJoinFileData> clList;
        const int lCount = int(1 + Below(8));
        for (int i = 0; i < lCount; ++i) {
            const int64_t lStart = Below(12) == 0 ? clInvalid[Below(3)] : 100 + Below(40);
            const int64_t lEnd = Below(12) == 0    ? clInvalid[Below(3)]
                                 : lStart == kLast ? lStart
                                                   : lStart + Below(15);
            clList << Entry(QString::number(i), i < lCount / 2 ? kMagicA : kMagicB, lStart, lEnd);
        }
        QStringList clExpected, clFound;
        for (int i = 0; i < lCount; ++i) {
            const StructJoinFileData &e = clList[i];
            std::optional<int64_t> clLatest;
            QStringList clOverlapping;
            for (int j = 0; j < i && Valid(e.start) && Valid(e.end); ++j) {
                const StructJoinFileData &o = clList[j];
                if (o.magic != e.magic || !Valid(o.start) || !Valid(o.end))
                    continue;
                clLatest = std::max(clLatest.value_or(o.end), o.end);
                if (std::max(o.start, e.start) <= std::min(o.end, e.end) && o.end != e.start &&
                    o.start != e.end)
                    clOverlapping << o.fileName;
            }
            const int64_t lGap = clLatest && *clLatest < e.start ? e.start - *clLatest : 0;
            clExpected << QStringLiteral("%1 [%2]").arg(lGap).arg(clOverlapping.join(u','));
        }
        for (const StructJoinNeighbours &n : JoinNeighbours(clList))
            clFound << QStringLiteral("%1 [%2]").arg(n.gap).arg(n.overlapping.join(u','));
        if (clFound != clExpected) {
            for (const StructJoinFileData &e : clList)
                qInfo("%s %llx %lld %lld", qPrintable(e.fileName), qulonglong(e.magic),
                      static_cast<long long>(e.start), static_cast<long long>(e.end));
            QCOMPARE(clFound, clExpected);
        }
    }
}

void TestMergeList::groupSummary() {
    const QList<std::pair<QList<StructJoinFileData>, QString>> clCases = {
        {{Untimed("a", kMagicA, 1023)}, "(Size: 1023 byte)"},
        {{Untimed("a", kMagicA, 1024)}, "(Size: 1.00 kB)"},
        {{Untimed("a", kMagicA, 1048576)}, "(Size: 1.00 MB)"},
        // Unknown sizes add nothing.
        {{Untimed("a", kMagicA, 1000), Untimed("b", kMagicA, -1), Untimed("c", kMagicA, 24)},
         "(Size: 1.00 kB)"},
        // An end equal to the start adds nothing.
        {{Timed("a", kMagicA, "10:00:00", "10:59:59"), Timed("b", kMagicA, "10:30:00", "10:30:00"),
          Timed("c", kMagicA, "11:00:00", "11:00:01")},
         "Length: 01:00:02"},
        // An unknown start adds no length but its size.
        {{Timed("a", kMagicA, "10:00:00", "10:00:09", 100), Untimed("b", kMagicA, 50)},
         "Length: 00:10 (Size: 150 byte)"},
        {{Entry("a", kMagicA, At("10:00:00"), At("10:00:00") + 100 * 3600, 1048575)},
         "Length: 100:00:01 (Size: 1024.00 kB)"},
        {{Untimed("a", kMagicA)}, ""},
    };
    for (const auto &[clList, clstrSummary] : clCases) {
        CModelJoinFiles clModel;
        clModel.UpdateView(clList);
        QCOMPARE(clModel.rowCount(), 1);
        // An empty summary leaves the cell without an item.
        QCOMPARE(Cell(clModel.item(0, 1)), clstrSummary);
        QCOMPARE(clModel.item(0, 1) == nullptr, clstrSummary.isEmpty());
    }
}

void TestMergeList::tree_data() {
    QTest::addColumn<QList<StructJoinFileData>>("list");
    QTest::addColumn<QStringList>("rows");

    const QString clstrA = JoinMagicText(kMagicA);
    const QString clstrGap = QStringLiteral(" [bg 255,155,0]");
    const QString clstrOverlap = QStringLiteral(" [bg 255,255,0]");
    // The file inside a's span ended earlier than a: c misses nothing.
    // A gap of one second has no row; the group row carries its magic in full.
    constexpr uint64_t m = 0xFEDCBA9876543210ULL;
    QTest::newRow("a gap is measured from the latest end, overlaps are named")
        << Files{Timed("/r/a.bvf", m, "10:00:00", "11:00:00"),
                 Timed("/r/b.bvf", m, "10:10:00", "10:20:00"),
                 Timed("/r/c.bvf", m, "10:15:00", "11:30:00"),
                 Entry("/r/d.bvf", m, -5, At("10:00:00")),
                 Timed("/r/e.bvf", m, "11:30:05", "11:40:00"),
                 Timed("/r/f.bvf", m, "11:40:01", "11:40:02")}
        << QStringList{"0xfedcba9876543210 / Length: 02:35:01",
                       "   / 2024-03-07 10:00:00 to 11:00:00 / /r/a.bvf",
                       "   / 2024-03-07 10:10:00 to 10:20:00" + clstrOverlap +
                           " [tip Files overlapping: |a.bvf] / /r/b.bvf",
                       "   / 2024-03-07 10:15:00 to 11:30:00" + clstrOverlap +
                           " [tip Files overlapping: |a.bvf|b.bvf] / /r/c.bvf",
                       "   / Unknown / /r/d.bvf",
                       "   / Missing: 00:04 [m:s]" + clstrGap + " / ",
                       "   / 2024-03-07 11:30:05 to 11:40:00 / /r/e.bvf",
                       "   / 2024-03-07 11:40:01 to 11:40:02 / /r/f.bvf"};
    QTest::newRow("groups apart; unknown, open-ended and other-day times; names without folder")
        << Files{Timed("a.bvf", kMagicA, "10:00:00", "11:00:00"),
                 Timed("b.bvf", kMagicA, "10:30:00", "11:30:00"), Untimed("/r/x.tmw", 0, 10),
                 Entry("/r/y.lan", 0, At("10:00:00"), kJoinTimeUnknown),
                 Timed("/r/z.bvf", 0, "2024-03-01 23:59:00", "2024-03-02 00:10:00")}
        << QStringList{clstrA + " / Length: 02:00:02",
                       "   / 2024-03-07 10:00:00 to 11:00:00 / a.bvf",
                       "   / 2024-03-07 10:30:00 to 11:30:00" + clstrOverlap +
                           " [tip Files overlapping: |a.bvf] / b.bvf",
                       "0x0000000000000000 / Length: 11:01 (Size: 10 byte)",
                       "   / Unknown / /r/x.tmw",
                       "   / 2024-03-07 10:00:00 to ??? / /r/y.lan",
                       "   / 2024-03-01 23:59:00 to 00:10:00 (2024-03-02) / /r/z.bvf"};
}

void TestMergeList::tree() {
    QFETCH(QList<StructJoinFileData>, list);
    QFETCH(QStringList, rows);
    CModelJoinFiles clModel;
    QSignalSpy clExpand(&clModel, &CModelJoinFiles::expandAll);
    QSignalSpy clResize(&clModel, &CModelJoinFiles::resizeColumnToContents);
    clModel.UpdateView({Untimed("/r/old.bvf", kMagicB)});
    clModel.UpdateView(list);
    QCOMPARE(Describe(clModel), rows);
    if (!list.isEmpty())
        QCOMPARE(clModel.item(0, 0)->data(CModelJoinFiles::kMagicRole).toULongLong(),
                 qulonglong(list[0].magic));
    QStringList clHeaders;
    for (int i = 0; i < clModel.columnCount(); ++i)
        clHeaders << clModel.horizontalHeaderItem(i)->text();
    QCOMPARE(clHeaders, (QStringList{"File magic", "Time", "FileName"}));
    QCOMPARE(clExpand.count(), 2);
    QCOMPARE(clResize.count(), 6);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(clResize.at(i).at(0).toInt(), i % 3);
}

BVF_TEST_MAIN(TestMergeList)
#include "test_merge_list.moc"
