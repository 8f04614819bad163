#include "ReadWindow.h"

#include "FormatChoice.h"

#include <cstring>
#include <new>

CReadWindow::CReadWindow(uint32_t lCapacity, bool bLatchEnd, bool bAllocate)
    : capacity(lCapacity), m_bLatchEnd(bLatchEnd) {
    if (bAllocate)
        (void)Allocate();
}

bool CReadWindow::Allocate(uint32_t lSize) {
    const uint32_t lWanted = lSize < capacity ? lSize : capacity;
    if (buffer && m_lAllocated >= lWanted)
        return true;
    std::unique_ptr<uint8_t[]> clLarger(new (std::nothrow) uint8_t[lWanted]);
    if (!clLarger)
        return false;
    if (fill > 0)
        std::memcpy(clLarger.get(), buffer.get(), fill);
    buffer = std::move(clLarger);
    m_lAllocated = lWanted;
    return true;
}

void CReadWindow::Reset() {
    fill = 0;
    consumed = 0;
    refills = 0;
    reachedEnd = false;
    m_bEndLatched = false;
}

FileResult CReadWindow::Refill(bool bOnline) {
    if (m_bEndLatched)
        return FILE_END_OF_DATA;
    if (consumed >= fill) {
        fill = 0;
    } else if (consumed > 0) {
        fill -= consumed;
        std::memmove(buffer.get(), buffer.get() + consumed, fill);
    }
    consumed = 0;

    size_t lGotAll = 0;
    bool bError = false;
    for (;;) {
        const size_t lWanted = m_lAllocated - fill;
        const size_t lGot = file.Read(buffer.get() + fill, lWanted, bError);
        fill += uint32_t(lGot);
        lGotAll += lGot;
        if (bError)
            break;
        reachedEnd = lGot < lWanted;
        // A smaller buffer filled to the brim says nothing about the end of
        // the file: grow it and read on.
        if (reachedEnd || m_lAllocated >= capacity || !Allocate())
            break;
    }
    if (lGotAll > 0)
        ++refills;
    // A read error is never taken for the end of the file.
    if (bError)
        return FILE_WRITE_FAILED;
    if (lGotAll > 0)
        return FILE_OK;
    if (bOnline)
        return FILE_NO_DATA_YET;
    m_bEndLatched = m_bLatchEnd;
    return FILE_END_OF_DATA;
}

FileResult CReadWindow::Need(uint32_t lCount, bool bOnline) {
    while (Unread() < lCount) {
        const FileResult enRefill = Refill(bOnline);
        if (enRefill != FILE_OK)
            return enRefill;
    }
    return FILE_OK;
}

uint64_t CReadWindow::FileOffsetAt(uint32_t lIndex) const {
    return ConsumedFilePosition(file.Position(), fill, lIndex);
}

uint64_t CReadWindow::ConsumedPosition() const {
    return FileOffsetAt(consumed);
}

uint64_t CReadWindow::Size(bool bTotal) const {
    return ReaderFileSize(file, bTotal, fill, consumed);
}

double CReadWindow::Progress() const {
    return ReaderProgress(file, fill, consumed);
}
