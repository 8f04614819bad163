#include "JoinFileData.h"

QString JoinMagicText(uint64_t lMagic) {
    return QStringLiteral("0x%1").arg(lMagic, 16, 16, QChar(u'0'));
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
