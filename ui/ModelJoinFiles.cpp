#include "ModelJoinFiles.h"

#include "SplitName.h"

#include <QBrush>
#include <QStandardItem>

#include <limits>

namespace {

// Sums that cannot wrap: a damaged record time can make a length absurd, but
// never negative.
int64_t SaturatedAdd(int64_t lSum, int64_t lAdd) {
    if (lSum > std::numeric_limits<int64_t>::max() - lAdd)
        return std::numeric_limits<int64_t>::max();
    return lSum + lAdd;
}

bool TimesValid(const StructJoinFileData &clEntry) {
    return JoinTimeValid(clEntry.start) && JoinTimeValid(clEntry.end);
}

QString SizeText(int64_t lBytes) {
    if (lBytes < 1024)
        return CModelJoinFiles::tr("%1 byte)").arg(lBytes);
    if (lBytes >= 1048576)
        return CModelJoinFiles::tr("%1 MB)").arg(double(lBytes) / 1048576.0, 0, 'f', 2);
    return CModelJoinFiles::tr("%1 kB)").arg(double(lBytes) / 1024.0, 0, 'f', 2);
}

struct GroupTotals {
    int64_t size = 0;
    int64_t length = 0;
};

// The totals of the run of equal magic that starts at lFirst.
GroupTotals RunTotals(const QList<StructJoinFileData> &clList, qsizetype lFirst) {
    GroupTotals clTotals;
    const uint64_t lMagic = clList[lFirst].magic;
    for (qsizetype i = lFirst; i < clList.size() && clList[i].magic == lMagic; ++i) {
        const StructJoinFileData &clEntry = clList[i];
        if (clEntry.size > 0)
            clTotals.size = SaturatedAdd(clTotals.size, clEntry.size);
        // An entry whose end equals its start adds nothing, not one second.
        if (TimesValid(clEntry) && clEntry.end > clEntry.start)
            clTotals.length = SaturatedAdd(clTotals.length, clEntry.end - clEntry.start + 1);
    }
    return clTotals;
}

QString GroupSummary(const GroupTotals &clTotals) {
    QString clstrSummary;
    if (clTotals.length > 0)
        clstrSummary += CModelJoinFiles::tr("Length: ") + JoinDurationText(clTotals.length);
    if (clTotals.size > 0) {
        clstrSummary += clstrSummary.isEmpty() ? CModelJoinFiles::tr("(Size: ")
                                               : CModelJoinFiles::tr(" (Size: ");
        clstrSummary += SizeText(clTotals.size);
    }
    return clstrSummary;
}

QStandardItem *FindGroupRow(QStandardItemModel &clModel, uint64_t lMagic) {
    for (int lRow = 0; lRow < clModel.rowCount(); ++lRow) {
        QStandardItem *pItem = clModel.item(lRow, 0);
        if (pItem == nullptr)
            continue;
        const QVariant clMagic = pItem->data(CModelJoinFiles::kMagicRole);
        if (clMagic.isValid() && clMagic.toULongLong() == lMagic)
            return pItem;
    }
    return nullptr;
}

// Appends an empty-named row under the group; its column-0 item.
int AppendChildRow(QStandardItem &clGroup) {
    clGroup.appendRow(new QStandardItem());
    return clGroup.rowCount() - 1;
}

} // namespace

void CModelJoinFiles::ClearList() {
    clear();
    setColumnCount(3);
    setHorizontalHeaderItem(0, new QStandardItem(tr("File magic")));
    setHorizontalHeaderItem(1, new QStandardItem(tr("Time")));
    setHorizontalHeaderItem(2, new QStandardItem(tr("FileName")));
}

void CModelJoinFiles::UpdateView(QList<StructJoinFileData> clAddList) {
    ClearList();
    const QList<StructJoinNeighbours> clNeighbours = JoinNeighbours(clAddList);
    bool bInRun = false;
    uint64_t lCurrentMagic = 0;
    QString clstrSummary;

    for (qsizetype i = 0; i < clAddList.size(); ++i) {
        const StructJoinFileData &clEntry = clAddList[i];
        if (!bInRun || clEntry.magic != lCurrentMagic) {
            bInRun = true;
            lCurrentMagic = clEntry.magic;
            clstrSummary = GroupSummary(RunTotals(clAddList, i));
        }
        const int64_t lGap = clNeighbours[i].gap;
        QString clstrOverlap;
        for (const QString &clstrEarlier : clNeighbours[i].overlapping) {
            if (clstrOverlap.isEmpty())
                clstrOverlap = tr("Files overlapping: ");
            clstrOverlap += tr("\n%1").arg(BareFileName(clstrEarlier));
        }

        QStandardItem *pGroup = FindGroupRow(*this, clEntry.magic);
        if (pGroup == nullptr) {
            pGroup = new QStandardItem(JoinMagicText(clEntry.magic));
            pGroup->setData(QVariant::fromValue<quint64>(clEntry.magic), kMagicRole);
            QList<QStandardItem *> clRow{pGroup};
            if (!clstrSummary.isEmpty())
                clRow << new QStandardItem(clstrSummary);
            appendRow(clRow);
        }

        int lRow = AppendChildRow(*pGroup);
        if (lGap > 1) {
            auto *pGapItem =
                new QStandardItem(tr("Missing: ") + JoinDurationText(lGap - 1) + tr(" [m:s]"));
            pGapItem->setBackground(QBrush(MissingColour(), Qt::SolidPattern));
            pGroup->setChild(lRow, 1, pGapItem);
            lRow = AppendChildRow(*pGroup);
        }

        auto *pTimeItem = new QStandardItem(JoinTimeText(clEntry));
        if (!clstrOverlap.isEmpty()) {
            pTimeItem->setBackground(QBrush(OverlapColour(), Qt::SolidPattern));
            pTimeItem->setToolTip(clstrOverlap);
        }
        pGroup->setChild(lRow, 1, pTimeItem);
        pGroup->setChild(lRow, 2, new QStandardItem(clEntry.fileName));
    }

    emit expandAll();
    emit resizeColumnToContents(0);
    emit resizeColumnToContents(1);
    emit resizeColumnToContents(2);
}
