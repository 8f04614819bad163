#include "JoinFileData.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimeZone>

#include <algorithm>

namespace {

// The texts belong to the merge list's model, and are translated there; here
// they stay free of its Gui classes, for tools without one.
QString ModelText(const char *pText) {
    return QCoreApplication::translate("CModelJoinFiles", pText);
}

} // namespace

QString JoinMagicText(uint64_t lMagic) {
    return QStringLiteral("0x%1").arg(lMagic, 16, 16, QChar(u'0'));
}

QString JoinDurationText(int64_t lSeconds) {
    QString clstrText;
    const int64_t lHours = lSeconds / 3600;
    if (lHours != 0)
        clstrText += ModelText("%1:").arg(lHours, 2, 10, QChar(u'0'));
    clstrText += ModelText("%1:").arg((lSeconds % 3600) / 60, 2, 10, QChar(u'0'));
    clstrText += ModelText("%1").arg(lSeconds % 60, 2, 10, QChar(u'0'));
    return clstrText;
}

QString JoinTimeText(const StructJoinFileData &clEntry) {
    if (!JoinTimeValid(clEntry.start))
        return ModelText("Unknown");
    const QDateTime clStart = QDateTime::fromSecsSinceEpoch(clEntry.start, QTimeZone::utc());
    QString clstrText = clStart.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (!JoinTimeValid(clEntry.end))
        return clstrText + ModelText(" to ???");
    const QDateTime clEnd = QDateTime::fromSecsSinceEpoch(clEntry.end, QTimeZone::utc());
    clstrText += ModelText(" to ") + clEnd.toString(QStringLiteral("hh:mm:ss"));
    const QString clstrEndDate = clEnd.toString(QStringLiteral("yyyy-MM-dd"));
    if (clstrEndDate != clStart.toString(QStringLiteral("yyyy-MM-dd")))
        clstrText += QStringLiteral(" (%1)").arg(clstrEndDate);
    return clstrText;
}

QList<StructJoinNeighbours> JoinNeighbours(const QList<StructJoinFileData> &clList) {
    auto timesValid = [](const StructJoinFileData &clEntry) {
        return JoinTimeValid(clEntry.start) && JoinTimeValid(clEntry.end);
    };
    QList<StructJoinNeighbours> clResult;
    clResult.reserve(clList.size());
    // The latest end of the run's earlier entries: a file is missing time
    // only after everything before it has ended, whichever file ended last.
    bool bHaveEnd = false;
    int64_t lLatestEnd = 0;
    for (qsizetype i = 0; i < clList.size(); ++i) {
        const StructJoinFileData &clEntry = clList[i];
        if (i == 0 || clEntry.magic != clList[i - 1].magic)
            bHaveEnd = false;
        StructJoinNeighbours clNeighbours;
        if (!timesValid(clEntry)) {
            clResult << clNeighbours;
            continue;
        }
        if (bHaveEnd && lLatestEnd < clEntry.start)
            clNeighbours.gap = clEntry.start - lLatestEnd;
        for (qsizetype j = 0; j < i; ++j) {
            const StructJoinFileData &clEarlier = clList[j];
            if (clEarlier.magic != clEntry.magic || !timesValid(clEarlier))
                continue;
            const bool bApart = clEarlier.end < clEntry.start || clEarlier.start > clEntry.end;
            const bool bTouching = clEarlier.end == clEntry.start || clEarlier.start == clEntry.end;
            if (!bApart && !bTouching)
                clNeighbours.overlapping << clEarlier.fileName;
        }
        lLatestEnd = bHaveEnd ? std::max(lLatestEnd, clEntry.end) : clEntry.end;
        bHaveEnd = true;
        clResult << clNeighbours;
    }
    return clResult;
}

QList<StructJoinFileData> CMergeList::Entries() const {
    std::lock_guard clLock(m_clMutex);
    return m_clEntries;
}

QStringList CMergeList::FileNames() const {
    std::lock_guard clLock(m_clMutex);
    QStringList clNames;
    clNames.reserve(m_clEntries.size());
    for (const StructJoinFileData &clEntry : m_clEntries)
        clNames << clEntry.fileName;
    return clNames;
}

qsizetype CMergeList::Count() const {
    std::lock_guard clLock(m_clMutex);
    return m_clEntries.size();
}

bool CMergeList::Contains(const QString &clstrFileName) const {
    std::lock_guard clLock(m_clMutex);
    for (const StructJoinFileData &clEntry : m_clEntries) {
        if (clEntry.fileName == clstrFileName)
            return true;
    }
    return false;
}

bool CMergeList::Insert(const StructJoinFileData &clEntry) {
    std::lock_guard clLock(m_clMutex);
    qsizetype lFirstOfMagic = -1;
    for (qsizetype i = 0; i < m_clEntries.size(); ++i) {
        // Checked under the same lock as the insertion, so no file can slip in
        // twice between a check and the insertion.
        if (m_clEntries[i].fileName == clEntry.fileName)
            return false;
        if (lFirstOfMagic < 0 && m_clEntries[i].magic == clEntry.magic)
            lFirstOfMagic = i;
    }
    if (lFirstOfMagic < 0) {
        m_clEntries.append(clEntry);
        return true;
    }
    qsizetype lAt = lFirstOfMagic;
    while (lAt < m_clEntries.size() && m_clEntries[lAt].magic == clEntry.magic &&
           m_clEntries[lAt].start <= clEntry.start)
        ++lAt;
    m_clEntries.insert(lAt, clEntry);
    return true;
}

qsizetype CMergeList::RemoveMagic(uint64_t lMagic) {
    std::lock_guard clLock(m_clMutex);
    qsizetype lRemovedAt = -1;
    for (qsizetype i = 0; i < m_clEntries.size();) {
        if (m_clEntries[i].magic == lMagic) {
            m_clEntries.removeAt(i);
            lRemovedAt = i;
        } else {
            ++i;
        }
    }
    return lRemovedAt;
}

qsizetype CMergeList::RemoveFile(const QString &clstrFileName) {
    std::lock_guard clLock(m_clMutex);
    for (qsizetype i = 0; i < m_clEntries.size(); ++i) {
        if (m_clEntries[i].fileName == clstrFileName) {
            m_clEntries.removeAt(i);
            return i;
        }
    }
    return -1;
}

void CMergeList::Clear() {
    std::lock_guard clLock(m_clMutex);
    m_clEntries.clear();
}

QString CMergeList::FileNameAtOrLast(qsizetype lIndex) const {
    std::lock_guard clLock(m_clMutex);
    if (lIndex < 0 || m_clEntries.isEmpty())
        return QString();
    if (lIndex >= m_clEntries.size())
        lIndex = m_clEntries.size() - 1;
    return m_clEntries[lIndex].fileName;
}
