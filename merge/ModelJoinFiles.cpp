#include "ModelJoinFiles.h"

#include "SplitName.h"

#include <QBrush>
#include <QColor>
#include <QCoreApplication>
#include <QDateTime>
#include <QStandardItem>
#include <QTimeZone>

#include <limits>

namespace {

QString Tr(const char *pText) {
    return QCoreApplication::translate("CDlgSplitter", pText);
}

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
        return Tr("%1 byte)").arg(lBytes);
    if (lBytes >= 1048576)
        return Tr("%1 MB)").arg(double(lBytes) / 1048576.0, 0, 'f', 2);
    return Tr("%1 kB)").arg(double(lBytes) / 1024.0, 0, 'f', 2);
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
        clstrSummary += Tr("Length: ") + JoinDurationText(clTotals.length);
    if (clTotals.size > 0) {
        clstrSummary += clstrSummary.isEmpty() ? Tr("(Size: ") : Tr(" (Size: ");
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

QString JoinDurationText(int64_t lSeconds) {
    QString clstrText;
    const int64_t lHours = lSeconds / 3600;
    if (lHours != 0)
        clstrText += Tr("%1:").arg(lHours, 2, 10, QChar(u'0'));
    clstrText += Tr("%1:").arg((lSeconds % 3600) / 60, 2, 10, QChar(u'0'));
    clstrText += Tr("%1").arg(lSeconds % 60, 2, 10, QChar(u'0'));
    return clstrText;
}

QString JoinTimeText(const StructJoinFileData &clEntry) {
    if (!JoinTimeValid(clEntry.start))
        return Tr("Unknown");
    const QDateTime clStart = QDateTime::fromSecsSinceEpoch(clEntry.start, QTimeZone::utc());
    QString clstrText = clStart.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (!JoinTimeValid(clEntry.end))
        return clstrText + Tr(" to ???");
    const QDateTime clEnd = QDateTime::fromSecsSinceEpoch(clEntry.end, QTimeZone::utc());
    clstrText += Tr(" to ") + clEnd.toString(QStringLiteral("hh:mm:ss"));
    const QString clstrEndDate = clEnd.toString(QStringLiteral("yyyy-MM-dd"));
    if (clstrEndDate != clStart.toString(QStringLiteral("yyyy-MM-dd")))
        clstrText += QStringLiteral(" (%1)").arg(clstrEndDate);
    return clstrText;
}

void CModelJoinFiles::ClearList() {
    clear();
    setColumnCount(3);
    setHorizontalHeaderItem(0, new QStandardItem(Tr("File magic")));
    setHorizontalHeaderItem(1, new QStandardItem(Tr("Time")));
    setHorizontalHeaderItem(2, new QStandardItem(Tr("FileName")));
}

void CModelJoinFiles::UpdateView(QList<StructJoinFileData> clAddList) {
    ClearList();
    bool bInRun = false;
    uint64_t lCurrentMagic = 0;
    int64_t lGap = 0;
    QString clstrSummary;

    for (qsizetype i = 0; i < clAddList.size(); ++i) {
        const StructJoinFileData &clEntry = clAddList[i];
        if (!bInRun || clEntry.magic != lCurrentMagic) {
            bInRun = true;
            lCurrentMagic = clEntry.magic;
            lGap = 0;
            clstrSummary = GroupSummary(RunTotals(clAddList, i));
        }

        // Against every earlier entry of the same magic; the gap is kept
        // across the run, so the last earlier entry that lies apart wins.
        QString clstrOverlap;
        if (TimesValid(clEntry)) {
            for (qsizetype j = 0; j < i; ++j) {
                const StructJoinFileData &clEarlier = clAddList[j];
                if (clEarlier.magic != clEntry.magic || !TimesValid(clEarlier))
                    continue;
                if (clEarlier.end < clEntry.start || clEarlier.start > clEntry.end) {
                    lGap = clEntry.start - clEarlier.end;
                } else if (clEarlier.end == clEntry.start || clEarlier.start == clEntry.end) {
                    // Touching: neither a gap nor an overlap.
                } else {
                    if (clstrOverlap.isEmpty())
                        clstrOverlap = Tr("Files overlapping: ");
                    clstrOverlap += Tr("\n%1").arg(BareFileName(clEarlier.fileName));
                }
            }
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
                new QStandardItem(Tr("Missing: ") + JoinDurationText(lGap - 1) + Tr(" [m:s]"));
            pGapItem->setBackground(QBrush(QColor(255, 155, 0, 255), Qt::SolidPattern));
            pGroup->setChild(lRow, 1, pGapItem);
            lRow = AppendChildRow(*pGroup);
        }

        auto *pTimeItem = new QStandardItem(JoinTimeText(clEntry));
        if (!clstrOverlap.isEmpty()) {
            pTimeItem->setBackground(QBrush(QColor(255, 255, 0, 255), Qt::SolidPattern));
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
