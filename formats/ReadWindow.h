// The buffered read window under every reader: the open file, one buffer of
// at most a fixed capacity, the bytes it holds and how many of them are used
// up. A refill keeps the unread bytes and reads as many as fit; it tells a
// read error (5) from the end of a finished file (3) and from a file still
// being written that has no new bytes yet (8). The readers keep only their
// framing.
//
// The buffer may start smaller than the capacity (small files then never
// touch a large allocation); a refill that fills it to the brim grows it to
// the capacity and reads on. So after any refill the buffer either holds as
// many bytes as the capacity allows or everything the file had, which is what
// the readers' framing relies on.
//
// Plain fields on purpose: the readers' framing loops work on fill and
// consumed directly, record by record, and the container writer keeps its
// output in the same kind of window.
#pragma once

#include "BinaryFile.h"
#include "VirtualFileFormat.h"

#include <cstdint>
#include <memory>

class CReadWindow {
  public:
    // bLatchEnd: once a finished file's end was met, later refills answer 3
    // without asking the file again (readers that look ahead near the end
    // would otherwise read it once for each candidate). Without it, a file
    // that grew after its end is read on.
    // bAllocate false: the buffer comes with Allocate, when first needed.
    CReadWindow(uint32_t lCapacity, bool bLatchEnd, bool bAllocate = true);

    bool HasBuffer() const { return bool(buffer); }
    // Makes the buffer at least min(lSize, capacity) bytes long, keeping what
    // it holds; false when that cannot be had (the buffer then stays as it was).
    bool Allocate(uint32_t lSize = UINT32_MAX);
    // Forgets what the buffer holds; the file stays as it is.
    void Reset();
    uint32_t Unread() const { return fill - consumed; }
    const uint8_t *Next() const { return buffer.get() + consumed; }

    FileResult Refill(bool bOnline);
    // Refills until at least lCount bytes are unread; the first refill that
    // brings nothing ends it with its result.
    FileResult Need(uint32_t lCount, bool bOnline);

    // The file offset of a byte in the buffer, and of the first unused byte.
    uint64_t FileOffsetAt(uint32_t lIndex) const;
    uint64_t ConsumedPosition() const;
    // GetFileSize and GetProgress of a reader over this window: the file's
    // total size, or the bytes consumed; 0 while nothing has been read.
    uint64_t Size(bool bTotal) const;
    double Progress() const;

    CBinaryFile file;
    std::unique_ptr<uint8_t[]> buffer;
    const uint32_t capacity;
    uint32_t fill = 0;
    uint32_t consumed = 0;
    uint64_t refills = 0;    // refills that brought data since Reset
    bool reachedEnd = false; // the last refill got fewer bytes than it asked for

  private:
    uint32_t m_lAllocated = 0;
    const bool m_bLatchEnd;
    bool m_bEndLatched = false;
};
