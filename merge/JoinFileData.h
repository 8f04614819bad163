// The merge list: one entry per file that the user added to the merge tab,
// grouped by recording (file magic) and ordered by start time. The fill worker
// inserts into it while the dialog reads, deletes and clears; one lock inside
// the list serialises all of them.
#pragma once

#include "BinaryFile.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>

// Flags of an entry.
constexpr uint32_t kJoinFileOpened = 0x1;      // the file could be opened
constexpr uint32_t kJoinTimesFromRecord = 0x2; // start and end were taken from a record

// Start or end not known.
constexpr int64_t kJoinTimeUnknown = std::numeric_limits<int64_t>::min();

struct StructJoinFileData {
    uint32_t flags = 0;
    uint64_t magic = ~uint64_t(0);    // the header's fileMagic
    QString fileName;                 // normalised full path; the entry's identity
    int64_t start = kJoinTimeUnknown; // first record, seconds since 1970 UTC
    int64_t end = kJoinTimeUnknown;   // latest record
    int64_t records = 0;              // records read while examining the file
    int64_t size = -1;                // bytes; -1 when unknown
    // The file as the fill found it when every frame behind its header was
    // sound and one a writer writes as it stands (version 3): the merge may
    // copy it whole while it is still that file. None otherwise.
    std::optional<StructFileIdentity> soundAs;
    uint64_t kinds = 0; // with soundAs: bit n, a record of payload kind n
};

// A time that stands for a point in time: 0 ... largest 64-bit value - 1 (the
// largest stands for "unknown" in headers, negative values in the list).
inline bool JoinTimeValid(int64_t lTime) {
    return lTime >= 0 && lTime < std::numeric_limits<int64_t>::max();
}

// "0x" and the magic as sixteen lower-case hexadecimal digits: the group
// rows' text, which the delete operation reads back, and the warning texts.
QString JoinMagicText(uint64_t lMagic);

// How an entry lies against the earlier entries of its run of equal magic,
// as the merge tab marks it: the gap is its start minus the latest end of all
// earlier entries (0 when that end is not before its start, and for the
// first entry), and overlapping names the earlier entries that overlap it.
// Entries touching in one second neither gap nor overlap; entries without
// valid times take part in neither and have no gap.
struct StructJoinNeighbours {
    int64_t gap = 0;
    QStringList overlapping; // fileNames, in list order
};
QList<StructJoinNeighbours> JoinNeighbours(const QList<StructJoinFileData> &clList);

// "hh:mm:ss", or "mm:ss" below one hour, for a number of seconds.
QString JoinDurationText(int64_t lSeconds);
// The file row's time text of an entry (UTC).
QString JoinTimeText(const StructJoinFileData &clEntry);

class CMergeList {
  public:
    CMergeList() = default;
    CMergeList(const CMergeList &) = delete;
    CMergeList &operator=(const CMergeList &) = delete;

    // A copy of all entries, taken under the lock: what the view is rebuilt
    // from and what a merge starts with.
    QList<StructJoinFileData> Entries() const;
    QStringList FileNames() const;
    qsizetype Count() const;
    bool IsEmpty() const { return Count() == 0; }
    bool Contains(const QString &clstrFileName) const;

    // Inserts the entry at its place: after the last entry of its magic whose
    // start is not later than its own (so equal starts keep their order of
    // arrival), or at the end when the magic is new. False, and nothing
    // changes, when an entry with the same fileName is listed already.
    bool Insert(const StructJoinFileData &clEntry);

    // Removes every entry of the magic; the index where they stood, or -1
    // when none was listed.
    qsizetype RemoveMagic(uint64_t lMagic);
    // Removes the entry with exactly this fileName; its index, or -1.
    qsizetype RemoveFile(const QString &clstrFileName);
    void Clear();

    // The fileName of the entry at the index, lowered to the last entry when
    // it lies beyond; empty for a negative index or an empty list. After a
    // removal this is the entry that took the removed one's place.
    QString FileNameAtOrLast(qsizetype lIndex) const;

  private:
    mutable std::mutex m_clMutex;
    QList<StructJoinFileData> m_clEntries;
};
