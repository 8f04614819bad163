#include "ScanChunks.h"

#include "BrennovarstikFileFormatV1.h"
#include "Thread.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

std::atomic<uint32_t> g_lChunkBytes{1u << 20};

} // namespace

void ScanChunk(const uint8_t *pBytes, size_t lAvailable, size_t lChunk, uint64_t lPosition,
               bool bAtFrame, bool bDeliverNotices, StructScanChunk &clChunk) {
    clChunk.limit = lPosition + lChunk;
    clChunk.found = clChunk.whole = false;
    clChunk.verbatim = true;
    clChunk.kindMask = 0;
    clChunk.runs.clear();
    const size_t lLimit = std::min(lChunk, lAvailable);
    size_t lAt = 0;
    if (!bAtFrame) {
        while (lAt < lLimit && !WritableFrameAt(pBytes + lAt, lAvailable - lAt, kWriterVersion))
            ++lAt;
        if (lAt >= lLimit)
            return;
    }
    clChunk.found = true;
    clChunk.start = lPosition + lAt;
    CScanRunBuilder clRuns(clChunk.runs);
    clRuns.Begin(clChunk.start);
    // Version 3 stores every timeslot: this memory is never consulted.
    DmrTimeslotMemory clMemory;
    FrameFacts clFacts;
    // Only what the reader delivers as it stands: a frame it would step over
    // or refuse is left to the reader, which counts it as damage.
    while (lAt < lLimit) {
        const uint32_t lLength = SoundFrameLength(pBytes + lAt, lAvailable - lAt);
        if (lLength == 0)
            break;
        const DecodeOutcome clOutcome = ClassifyRecord(pBytes + lAt, lLength, kWriterVersion,
                                                       bDeliverNotices, clFacts, clMemory);
        if (clOutcome.action != DecodeAction::Deliver || clOutcome.consumed != lLength)
            break;
        if (clFacts.kind < 64)
            clChunk.kindMask |= uint64_t(1) << clFacts.kind;
        clChunk.verbatim = clChunk.verbatim && clFacts.verbatim;
        clRuns.Add(clFacts, lLength);
        lAt += lLength;
    }
    clChunk.end = lPosition + lAt;
    clChunk.whole = lAt >= lChunk;
}

struct CChunkedScan::Shared {
    CBinaryFile file;
    uint64_t first = 0;
    uint64_t end = 0;
    uint64_t chunkBytes = 0;
    uint64_t chunkCount = 0;
    bool deliverNotices = false;

    std::mutex lock;
    std::condition_variable changed;
    uint64_t nextToScan = 0; // the chunk the next free worker takes
    uint64_t nextToTake = 0; // the chunk the scan takes next
    bool taking = false;     // the scan holds chunk nextToTake
    bool stopping = false;
    // Chunks done ahead of the scan, by number modulo their count: a worker
    // waits rather than run further ahead, so memory stays bounded.
    std::vector<StructScanChunk> ahead;
    std::vector<uint8_t> ready;
};

CChunkedScan::CChunkedScan(const std::wstring &clstrPath, uint64_t lFirst,
                           const StructFileIdentity &clSource, bool bDeliverNotices)
    : m_pShared(std::make_unique<Shared>()) {
    Shared &clShared = *m_pShared;
    clShared.first = lFirst;
    clShared.end = std::max<uint64_t>(lFirst, uint64_t(std::max<int64_t>(clSource.size, 0)));
    clShared.chunkBytes = ChunkBytes();
    clShared.deliverNotices = bDeliverNotices;
    StructFileIdentity clNow;
    if (clShared.chunkBytes > 0 && clShared.file.OpenRead(clstrPath.c_str()) &&
        clShared.file.Identity(clNow) && clNow == clSource)
        clShared.chunkCount =
            (clShared.end - lFirst + clShared.chunkBytes - 1) / clShared.chunkBytes;
}

CChunkedScan::~CChunkedScan() {
    Stop();
}

bool CChunkedScan::Start(unsigned lWorkers) {
    Shared &clShared = *m_pShared;
    if (clShared.chunkCount == 0 || !m_clThreads.empty())
        return false;
    const size_t lSlots = size_t(lWorkers) * 2 + 2;
    clShared.ahead.resize(lSlots);
    clShared.ready.assign(lSlots, 0);
    for (unsigned i = 0; i < lWorkers; ++i) {
        auto pThread = std::make_unique<CPlatformThread>();
        if (!pThread->Start(&CChunkedScan::Work, &clShared))
            break;
        m_clThreads.push_back(std::move(pThread));
    }
    return !m_clThreads.empty();
}

const StructScanChunk *CChunkedScan::Next() {
    Shared &clShared = *m_pShared;
    std::unique_lock<std::mutex> clGuard(clShared.lock);
    if (clShared.taking) {
        clShared.ready[clShared.nextToTake % clShared.ahead.size()] = 0;
        ++clShared.nextToTake;
        clShared.taking = false;
        clShared.changed.notify_all();
    }
    if (m_clThreads.empty() || clShared.nextToTake >= clShared.chunkCount)
        return nullptr;
    const size_t lSlot = clShared.nextToTake % clShared.ahead.size();
    clShared.changed.wait(clGuard, [&] { return clShared.stopping || clShared.ready[lSlot] != 0; });
    if (clShared.stopping)
        return nullptr;
    clShared.taking = true;
    return &clShared.ahead[lSlot];
}

void CChunkedScan::Stop() {
    {
        std::lock_guard<std::mutex> clGuard(m_pShared->lock);
        m_pShared->stopping = true;
    }
    m_pShared->changed.notify_all();
    // Each thread's end is waited for as it is released.
    m_clThreads.clear();
}

void CChunkedScan::Work(void *pShared) {
    Shared &clShared = *static_cast<Shared *>(pShared);
    std::vector<uint8_t> clBuffer(clShared.chunkBytes + kMaxRecordLength);
    StructScanChunk clChunk;
    for (;;) {
        uint64_t lNumber = 0;
        {
            std::unique_lock<std::mutex> clGuard(clShared.lock);
            clShared.changed.wait(clGuard, [&] {
                return clShared.stopping || clShared.nextToScan >= clShared.chunkCount ||
                       clShared.nextToScan < clShared.nextToTake + clShared.ahead.size();
            });
            if (clShared.stopping || clShared.nextToScan >= clShared.chunkCount)
                return;
            lNumber = clShared.nextToScan++;
        }
        const uint64_t lPosition = clShared.first + lNumber * clShared.chunkBytes;
        const uint64_t lLeft = clShared.end - lPosition;
        bool bError = false;
        const size_t lGot = clShared.file.ReadAt(clBuffer.data(),
                                                 size_t(std::min<uint64_t>(clBuffer.size(), lLeft)),
                                                 int64_t(lPosition), bError);
        // A read error leaves the chunk without frames: the reader meets it
        // there and reports it as it does.
        ScanChunk(clBuffer.data(), bError ? 0 : lGot,
                  size_t(std::min<uint64_t>(clShared.chunkBytes, lLeft)), lPosition, lNumber == 0,
                  clShared.deliverNotices, clChunk);
        {
            std::lock_guard<std::mutex> clGuard(clShared.lock);
            const size_t lSlot = lNumber % clShared.ahead.size();
            std::swap(clShared.ahead[lSlot], clChunk);
            clShared.ready[lSlot] = 1;
        }
        clShared.changed.notify_all();
    }
}

uint32_t CChunkedScan::ChunkBytes() {
    return g_lChunkBytes.load(std::memory_order_relaxed);
}

void CChunkedScan::SetChunkBytes(uint32_t lBytes) {
    g_lChunkBytes.store(lBytes, std::memory_order_relaxed);
}

std::optional<StructFileIdentity> IdentityOf(CVirtualFileFormat &clReader) {
    CBinaryFile clFile;
    StructFileIdentity clIdentity;
    if (clReader.IsOnlineFile() || !clFile.OpenRead(clReader.GetFileName()) ||
        !clFile.Identity(clIdentity))
        return std::nullopt;
    return clIdentity;
}

bool ReadFramesInChunks(CVirtualFileFormat &clReader, const QString &clstrPath,
                        const std::optional<StructFileIdentity> &clSource,
                        const ChunkTaker &fnTake) {
    auto *pContainer = dynamic_cast<CBrennovarstikFileFormatV1 *>(&clReader);
    const unsigned lWorkers = std::min(4u, std::thread::hardware_concurrency());
    if (pContainer == nullptr || pContainer->FileVersion() != kWriterVersion || !clSource ||
        lWorkers < 2)
        return true;
    const uint64_t lFirst = clReader.GetFileSize(false);
    CChunkedScan clChunks(clstrPath.toStdWString(), lFirst, *clSource,
                          pContainer->DeliversNotices());
    if (!clChunks.Start(lWorkers))
        return true;
    uint64_t lReached = lFirst;
    while (const StructScanChunk *pChunk = clChunks.Next()) {
        // A long frame can cover a chunk from end to end.
        if (lReached >= pChunk->limit)
            continue;
        if (!pChunk->found || pChunk->start != lReached)
            break;
        const ChunkTake enTake = fnTake(*pChunk);
        if (enTake == ChunkTake::Stopped)
            return false;
        if (enTake == ChunkTake::Left)
            break;
        lReached = pChunk->end;
        if (!pChunk->whole)
            break;
    }
    clChunks.Stop();
    return lReached == lFirst || pContainer->ContinueAt(lReached);
}
