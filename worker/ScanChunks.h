// Reading a version-3 container on more than one core. Its frames need
// nothing of the frames before them, so the file is cut into chunks that
// workers read and check side by side, each from the first sound frame it
// finds in its chunk. A worker (the scan, the merge list's fill, the merge)
// takes the chunks in file order and trusts one only where it begins exactly
// where the chunk before it ended; anything but sound frames that the reader
// delivers ends the trusted stretch, and the reader goes on from there. What
// is learned is what reading frame by frame learns.
#pragma once

#include "BinaryFile.h"
#include "ContainerCodec.h"
#include "VirtualFileFormat.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CPlatformThread;

// The minute of a time in seconds since 1970: divided by 60, rounded down.
inline int64_t MinuteOfTime(int64_t lSeconds) {
    return lSeconds >= 0 ? lSeconds / 60 : -((-(lSeconds + 1)) / 60) - 1;
}

// Records the reader delivered back to back, as sound frames with no damage
// before or among them: first the records without a time stamp that come
// before the first timed one, then records whose timed ones all fall into
// one minute (and the untimed ones among and after them).
struct StructScanRun {
    uint64_t start = 0; // where its first frame begins
    uint64_t headRecords = 0;
    uint64_t headBytes = 0;
    bool headVerbatim = true;
    uint64_t records = 0; // from the first timed record on; 0: none is timed
    uint64_t timedRecords = 0;
    uint64_t bytes = 0;
    bool verbatim = true; // every frame from the first timed one on
    int64_t firstTime = 0;
    int64_t lastTime = 0;
    int64_t earliest = 0;
    int64_t latest = 0;
    int64_t firstMs = 0;
    int64_t latestMs = 0;
    uint64_t End() const { return start + headBytes + bytes; }
};

// What the workers learned of one chunk.
struct StructScanChunk {
    uint64_t limit = 0;    // where the chunk ends in the file
    bool found = false;    // a sound frame begins in it
    uint64_t start = 0;    // where the first one begins
    uint64_t end = 0;      // past the last sound frame taken
    bool whole = false;    // its frames ran to the chunk's end: the next one begins at end
    bool verbatim = false; // each of its frames is one a writer writes as it stands
    uint64_t kindMask = 0; // bit n: a record of payload kind n
    std::vector<StructScanRun> runs;

    uint64_t Records() const {
        uint64_t lRecords = 0;
        for (const StructScanRun &clRun : runs)
            lRecords += clRun.headRecords + clRun.records;
        return lRecords;
    }
};

// Frames in reading order made into runs for the index and the time span.
// Asked of every frame the scan reads: kept in line and short.
class CScanRunBuilder {
  public:
    explicit CScanRunBuilder(std::vector<StructScanRun> &clRuns) : m_rRuns(clRuns) {}
    void Begin(uint64_t lPosition) {
        m_rRuns.clear();
        m_pRun = nullptr;
        m_lPosition = lPosition;
    }
    void Add(const FrameFacts &clFacts, uint32_t lLength) {
        StructScanRun *pRun = m_pRun;
        if (clFacts.timed && clFacts.kind <= PAYLOAD_GSM) {
            const int64_t lTime = clFacts.time;
            if (pRun == nullptr || (pRun->records > 0 && MinuteOfTime(lTime) != m_lMinute))
                pRun = NewRun();
            const int64_t lMilliseconds = FrameTimeMilliseconds(clFacts);
            if (pRun->records == 0) {
                m_lMinute = MinuteOfTime(lTime);
                pRun->firstTime = pRun->earliest = pRun->latest = lTime;
                pRun->firstMs = pRun->latestMs = lMilliseconds;
            }
            pRun->earliest = std::min(pRun->earliest, lTime);
            pRun->latest = std::max(pRun->latest, lTime);
            pRun->latestMs = std::max(pRun->latestMs, lMilliseconds);
            pRun->lastTime = lTime;
            ++pRun->timedRecords;
        } else if (pRun == nullptr || pRun->records == 0) {
            if (pRun == nullptr)
                pRun = NewRun();
            ++pRun->headRecords;
            pRun->headBytes += lLength;
            pRun->headVerbatim = pRun->headVerbatim && clFacts.verbatim;
            m_lPosition += lLength;
            return;
        }
        ++pRun->records;
        pRun->bytes += lLength;
        pRun->verbatim = pRun->verbatim && clFacts.verbatim;
        m_lPosition += lLength;
    }

  private:
    StructScanRun *NewRun() {
        m_pRun = &m_rRuns.emplace_back();
        m_pRun->start = m_lPosition;
        return m_pRun;
    }

    std::vector<StructScanRun> &m_rRuns;
    StructScanRun *m_pRun = nullptr; // the last of m_rRuns
    uint64_t m_lPosition = 0;
    int64_t m_lMinute = 0; // of the last run's first timed record
};

// The frames of one chunk of the file: lChunk bytes from lPosition in
// pBytes, which holds lAvailable bytes (up to the longest frame more, for the
// frame that begins in the chunk and ends behind it). bAtFrame: a frame
// begins at its first byte; else the first sound frame in it is searched.
void ScanChunk(const uint8_t *pBytes, size_t lAvailable, size_t lChunk, uint64_t lPosition,
               bool bAtFrame, bool bDeliverNotices, StructScanChunk &clChunk);

class CChunkedScan {
  public:
    // The frames from lFirst (a frame start) on of the file at clstrPath,
    // when it is still the file clSource (to its end as clSource has it).
    CChunkedScan(const std::wstring &clstrPath, uint64_t lFirst, const StructFileIdentity &clSource,
                 bool bDeliverNotices);
    // Stops the workers and waits for them.
    ~CChunkedScan();
    CChunkedScan(const CChunkedScan &) = delete;
    CChunkedScan &operator=(const CChunkedScan &) = delete;

    // False when no worker could be started or the file not opened: the
    // caller then reads on its own.
    bool Start(unsigned lWorkers);
    // The next chunk in file order, valid until the next call; null after
    // the last one.
    const StructScanChunk *Next();
    // Ends the workers; Next returns null from then on.
    void Stop();

    // Bytes per chunk; 0: every source is read frame by frame. Tests make
    // chunks small to put many seams into small files.
    static uint32_t ChunkBytes();
    static void SetChunkBytes(uint32_t lBytes);

  private:
    struct Shared;
    static void Work(void *pShared);

    std::unique_ptr<Shared> m_pShared;
    std::vector<std::unique_ptr<CPlatformThread>> m_clThreads;
};

// The file a reader has open as it is now; none for a file still being written.
std::optional<StructFileIdentity> IdentityOf(CVirtualFileFormat &clReader);

// What a worker does with the next chunk.
enum class ChunkTake : uint8_t {
    Taken,   // its frames are accounted for
    Left,    // the reader is to read them
    Stopped, // the run ends here
};
using ChunkTaker = std::function<ChunkTake(const StructScanChunk &)>;

// The frames of the version-3 container clReader has just opened (the file at
// clstrPath, clSource as it was then) in chunks, handed to fnTake in file
// order while they follow on from each other; then the reader goes on behind
// the last chunk taken. Any other reader, a file being written and a machine
// with one core leave everything to the reader. False when fnTake stopped the
// run or the reader cannot go on.
bool ReadFramesInChunks(CVirtualFileFormat &clReader, const QString &clstrPath,
                        const std::optional<StructFileIdentity> &clSource,
                        const ChunkTaker &fnTake);
