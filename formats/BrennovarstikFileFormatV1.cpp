// Construction, closing for reading, progress and the small queries of the
// container. Reading is in ...Read.cpp, writing in ...Write.cpp.
#include "BrennovarstikFileFormatV1.h"

#include "FormatChoice.h"

#include <cwchar>
#include <new>

CBrennovarstikFileFormatV1::CBrennovarstikFileFormatV1() {
    // Channel 1 gets its buffer only when a rotation first needs it. Reading
    // starts small and grows with the file; writing takes the full capacity.
    (void)m_aChannels[0].window.Allocate(kFirstReadSize);
}

CBrennovarstikFileFormatV1::~CBrennovarstikFileFormatV1() = default;

void CBrennovarstikFileFormatV1::ClearChannel(Channel &clChannel) {
    clChannel.window.Reset();
    clChannel.clstrPath[0] = 0;
}

void CBrennovarstikFileFormatV1::StorePath(Channel &clChannel, const wchar_t *clstrPath) {
    // The file class refuses longer paths, so this never cuts one short.
    std::wcsncpy(clChannel.clstrPath, clstrPath, kMaxPathChars);
    clChannel.clstrPath[kMaxPathChars] = 0;
}

void CBrennovarstikFileFormatV1::CloseFile() {
    CPlatformLockGuard clGuard(m_clLock);
    for (Channel &clChannel : m_aChannels) {
        // Buffered bytes of a writer are dropped here on purpose; writers
        // close with CloseFileForWriting.
        (void)clChannel.window.file.Close();
        ClearChannel(clChannel);
    }
    m_enOpenMode = OpenMode::None;
    m_enParse = ParseState::ExpectHead;
    m_lFrameLength = 0;
    m_bEndOfResyncReported = false;
    m_pDeliveredFrame = nullptr;
}

double CBrennovarstikFileFormatV1::GetProgress() {
    CPlatformLockGuard clGuard(m_clLock);
    Channel &clChannel = Current();
    return clChannel.window.Progress();
}

uint64_t CBrennovarstikFileFormatV1::GetFileSize(bool bTotal) {
    CPlatformLockGuard clGuard(m_clLock);
    const Channel &clChannel = Current();
    return clChannel.window.Size(bTotal);
}

bool CBrennovarstikFileFormatV1::SetOption(uint8_t lOption, int32_t lValue) {
    if (lOption != 0)
        return false;
    m_bDeliverNotices = lValue != 0;
    return true;
}

uint64_t CBrennovarstikFileFormatV1::GetWrittenBytes() {
    return m_lWrittenBytes.load(std::memory_order_relaxed);
}

bool CBrennovarstikFileFormatV1::ReservedQuery() {
    return false;
}

const wchar_t *CBrennovarstikFileFormatV1::GetFileName() {
    return Current().clstrPath;
}

bool CBrennovarstikFileFormatV1::IsOnlineFile() {
    return m_bOnline;
}

bool CBrennovarstikFileFormatV1::ReservedValue32(uint32_t, uint32_t &lOut) {
    lOut = 0;
    return false;
}

bool CBrennovarstikFileFormatV1::ReservedValue64(uint64_t, uint64_t &lOut) {
    lOut = 0;
    return false;
}
