// Writing a container: records are assembled in place in the channel buffer,
// optionally reordered first, and may rotate to a new file at time boundaries.
#include "BrennovarstikFileFormatV1.h"

#include <cstring>
#include <initializer_list>
#include <new>

namespace {

// Frame head: length, type, flag byte, checksum.
constexpr size_t kFrameTypeAt = 4;
constexpr size_t kFrameFlagAt = 5;

bool TypeFollowsRotation(uint8_t lType) {
    return lType == RECORD_TETRA || lType == RECORD_DMR || lType == RECORD_TETRA_AUX ||
           lType == RECORD_TETRA_EXTENDED || lType == RECORD_GSM;
}

int64_t RecordTimeSeconds(const RawRecord &clRecord, uint8_t lType) {
    switch (lType) {
    case RECORD_DMR:
        return int64_t(static_cast<const DmrTmv *>(clRecord.payload)->timeSeconds);
    case RECORD_GSM:
        return GsmFileTimeToSecondsClamped(static_cast<const GsmTmv *>(clRecord.payload)->fileTime);
    default:
        return int64_t(static_cast<const TetraTmv *>(clRecord.payload)->timeSeconds);
    }
}

int64_t BoundaryAfter(int64_t lTime, int64_t lInterval) {
    return lTime - lTime % lInterval + lInterval;
}

} // namespace

void CBrennovarstikFileFormatV1::RotationOff() {
    m_lInterval = 0;
    m_lNextBoundary = kTimeUnset;
    m_lSwitchAfter = kTimeUnset;
    m_lCloseOld = kTimeUnset;
    m_pCallback = nullptr;
    m_pCallbackContext = nullptr;
}

bool CBrennovarstikFileFormatV1::EnsureBuffer(Channel &clChannel) {
    return clChannel.window.Allocate();
}

FileResult CBrennovarstikFileFormatV1::OpenFileForWriting(const wchar_t *clstrPath,
                                                          const FileHeaderInfo &clInfo,
                                                          uint8_t lFlags) {
    CPlatformLockGuard clGuard(m_clLock);
    if (Current().window.file.IsOpen())
        return FILE_WRONG_STATE;
    if (!EnsureBuffer(Current()) || ((lFlags & kFlagOrder) && !m_clOrder.Allocate()))
        return FILE_NO_BUFFER;

    for (Channel &clChannel : m_aChannels) {
        (void)clChannel.window.file.Close();
        ClearChannel(clChannel);
    }
    m_clHeader = clInfo;
    m_lFlags = lFlags;
    m_lVersion = kWriterVersion;
    m_lWrittenBytes.store(0, std::memory_order_relaxed);
    RotationOff();
    m_bWritingMode = true;
    m_bOnline = false;
    m_clOrder.Clear();
    m_enParse = ParseState::ExpectHead;
    m_pDeliveredFrame = nullptr;

    const FileResult enResult = CreateOutput(Current(), clstrPath);
    if (enResult != FILE_WRONG_STATE)
        m_enOpenMode = OpenMode::Writing;
    return enResult;
}

// Creates the file and writes its header at once. On a write error (5) the
// file stays open with the header still held, so it goes out with the next
// write or the error is reported again there.
FileResult CBrennovarstikFileFormatV1::CreateOutput(Channel &clChannel, const wchar_t *clstrPath) {
    const CBinaryFile::WriteMode enMode =
        (m_lFlags & kFlagCreateNew)         ? CBinaryFile::WriteMode::CreateNew
        : (m_lFlags & kFlagReplaceExisting) ? CBinaryFile::WriteMode::ReplaceExisting
                                            : CBinaryFile::WriteMode::CreateOrReplace;
    if (clstrPath == nullptr || !clChannel.window.file.OpenWrite(clstrPath, enMode))
        return FILE_WRONG_STATE;
    ClearChannel(clChannel);
    StorePath(clChannel, clstrPath);
    EncodeContainerHeader(m_clHeader, clChannel.window.buffer.get());
    clChannel.window.fill = uint32_t(kContainerHeaderSize);
    return EmptyBuffer(clChannel) == FILE_WRITE_FAILED ? FILE_WRITE_FAILED : FILE_OK;
}

// Counts what the file accepted and keeps the first lKeep bytes that it did
// not accept at the front of the buffer; anything beyond lKeep is dropped.
void CBrennovarstikFileFormatV1::AccountWrite(Channel &clChannel, size_t lAccepted,
                                              uint32_t lKeep) {
    m_lWrittenBytes.fetch_add(lAccepted, std::memory_order_relaxed);
    uint8_t *pBuffer = clChannel.window.buffer.get();
    if (lAccepted >= lKeep) {
        clChannel.window.fill = 0;
        return;
    }
    std::memmove(pBuffer, pBuffer + lAccepted, lKeep - lAccepted);
    clChannel.window.fill = lKeep - uint32_t(lAccepted);
}

FileResult CBrennovarstikFileFormatV1::EmptyBuffer(Channel &clChannel) {
    const uint32_t lHeld = clChannel.window.fill;
    bool bError = false;
    const size_t lAccepted =
        clChannel.window.file.Write(clChannel.window.buffer.get(), lHeld, bError);
    AccountWrite(clChannel, lAccepted, lHeld);
    if (bError)
        return FILE_WRITE_FAILED;
    if (clChannel.window.fill != 0)
        return FILE_NO_DATA_YET;
    return clChannel.window.file.Flush() ? FILE_OK : FILE_WRITE_FAILED;
}

// Writes until every held byte is accepted or an error stops it.
FileResult CBrennovarstikFileFormatV1::DrainChannel(Channel &clChannel) {
    for (;;) {
        const uint32_t lBefore = clChannel.window.fill;
        const FileResult enResult = EmptyBuffer(clChannel);
        if (enResult != FILE_NO_DATA_YET)
            return enResult;
        if (clChannel.window.fill >= lBefore)
            return FILE_WRITE_FAILED; // no progress: the file takes nothing more
    }
}

FileResult CBrennovarstikFileFormatV1::WriteRecordToChannel(Channel &clChannel,
                                                            const RawRecord &clRecord,
                                                            const EncodePlan &clPlan) {
    if (clPlan.length > kChannelCapacity)
        return FILE_NO_BUFFER;
    const FileResult enRoom = MakeRoom(clChannel, clPlan.length);
    if (enRoom != FILE_OK)
        return enRoom;
    const uint32_t lBefore = clChannel.window.fill;
    EncodeRecord(clRecord, m_lVersion, clPlan, clChannel.window.buffer.get() + lBefore);
    clChannel.window.fill += clPlan.length;
    return CommitRecord(clChannel, lBefore);
}

FileResult CBrennovarstikFileFormatV1::MakeRoom(Channel &clChannel, uint32_t lLength) {
    if (lLength <= kChannelCapacity - clChannel.window.fill)
        return FILE_OK;
    // Nothing of this record is in the buffer yet, so 5 or 8 leaves it untaken.
    return EmptyBuffer(clChannel);
}

// The record just placed behind the first lBefore held bytes waits in the
// buffer or goes out with them.
FileResult CBrennovarstikFileFormatV1::CommitRecord(Channel &clChannel, uint32_t lBefore) {
    if ((m_lFlags & kFlagKeep) && clChannel.window.fill < kKeepBelow)
        return FILE_OK;

    uint8_t *pBuffer = clChannel.window.buffer.get();
    const uint32_t lHeld = clChannel.window.fill;
    bool bError = false;
    const size_t lAccepted = clChannel.window.file.Write(pBuffer, lHeld, bError);
    if (!bError) {
        // A short write without an error: the rest goes out with the next one.
        AccountWrite(clChannel, lAccepted, lHeld);
        if (clChannel.window.fill != 0)
            return FILE_OK;
        return clChannel.window.file.Flush() ? FILE_OK : FILE_WRITE_FAILED;
    }
    // The record is taken back so that a retry writes it exactly once; bytes
    // of earlier records that were not accepted stay. A piece of it that did
    // reach the file is cut off again, so that the file ends with a whole
    // record and a retry continues it cleanly; where the file cannot be cut,
    // that piece fails its checksum and readers step over it.
    if (lAccepted > lBefore && clChannel.window.file.Truncate(clChannel.window.file.Position() -
                                                              int64_t(lAccepted - lBefore))) {
        AccountWrite(clChannel, lBefore, lBefore);
        return FILE_WRITE_FAILED;
    }
    AccountWrite(clChannel, lAccepted, lBefore);
    return FILE_WRITE_FAILED;
}

FileResult CBrennovarstikFileFormatV1::FinishRotation() {
    Channel &clOld = Current();
    if (clOld.window.fill != 0) {
        // Nothing is switched while the old file still holds unwritten
        // records: the next write tries again.
        const FileResult enDrain = DrainChannel(clOld);
        if (enDrain != FILE_OK)
            return enDrain;
    }
    const bool bClosed = clOld.window.file.Close();
    ClearChannel(clOld);
    m_lFront = 1 - m_lFront;
    m_lCloseOld = kTimeUnset;
    m_lSwitchAfter = kTimeUnset;
    return bClosed ? FILE_OK : FILE_WRITE_FAILED;
}

FileResult CBrennovarstikFileFormatV1::ChooseChannel(int64_t lTime, Channel *&pChannel) {
    pChannel = &Current();
    if (m_lInterval <= 0 || lTime < 1)
        return FILE_OK;
    if (m_lNextBoundary == kTimeUnset) {
        m_lNextBoundary = BoundaryAfter(lTime, m_lInterval);
        return FILE_OK;
    }
    if (m_lCloseOld != kTimeUnset && m_lCloseOld <= lTime) {
        const FileResult enResult = FinishRotation();
        pChannel = &Current();
        return enResult;
    }
    if (m_lNextBoundary <= lTime && m_pCallback != nullptr) {
        // A boundary reached while the previous overlap is still open (an
        // interval of a few seconds) first ends that overlap.
        if (Next().window.file.IsOpen()) {
            const FileResult enFinish = FinishRotation();
            pChannel = &Current();
            if (enFinish != FILE_OK)
                return enFinish;
        }
        const int64_t lBoundary = m_lNextBoundary;
        wchar_t clstrPath[kPathBufferChars] = {};
        if (!m_pCallback(m_pCallbackContext, clstrPath, kPathBufferChars, lBoundary)) {
            m_lNextBoundary = lBoundary + m_lInterval;
            return FILE_OK;
        }
        clstrPath[kMaxPathChars] = 0;
        Channel &clNext = Next();
        if (!EnsureBuffer(clNext))
            return FILE_NO_BUFFER;
        const FileResult enCreate = CreateOutput(clNext, clstrPath);
        if (enCreate == FILE_WRONG_STATE) {
            m_lNextBoundary = lBoundary + m_lInterval;
            return FILE_OK;
        }
        m_lSwitchAfter = lBoundary - 1;
        m_lCloseOld = lBoundary + 3;
        m_lNextBoundary = BoundaryAfter(lTime, m_lInterval);
        pChannel = &clNext;
        // A failed header write is reported now; the record is not taken and
        // a retry goes to the new file, header first.
        return enCreate;
    }
    if (m_lSwitchAfter != kTimeUnset && m_lSwitchAfter < lTime && Next().window.file.IsOpen())
        pChannel = &Next();
    return FILE_OK;
}

FileResult CBrennovarstikFileFormatV1::WriteDirect(const RawRecord &clRecord) {
    EncodePlan clPlan{};
    const FileResult enPlan = PlanRecordEncoding(clRecord, m_lVersion, clPlan);
    if (enPlan != FILE_OK)
        return enPlan;
    if (clPlan.length > kChannelCapacity)
        return FILE_NO_BUFFER;
    return WritePlanned(clRecord, clPlan);
}

FileResult CBrennovarstikFileFormatV1::WritePlanned(const RawRecord &clRecord,
                                                    const EncodePlan &clPlan) {
    Channel *pChannel = &Current();
    // Without rotation ChooseChannel keeps the current file whatever the time.
    if (m_lInterval > 0 && TypeFollowsRotation(clPlan.type)) {
        const FileResult enChoice =
            ChooseChannel(RecordTimeSeconds(clRecord, clPlan.type), pChannel);
        if (enChoice != FILE_OK)
            return enChoice;
    }
    return WriteRecordToChannel(*pChannel, clRecord, clPlan);
}

FileResult CBrennovarstikFileFormatV1::WriteData(const RawRecord &clRecord) {
    CPlatformLockGuard clGuard(m_clLock);
    if (!Current().window.file.IsOpen())
        return FILE_WRONG_DIRECTION;
    if (!m_bWritingMode || m_enOpenMode != OpenMode::Writing)
        return FILE_WRONG_STATE;
    if (!Current().window.buffer)
        return FILE_NO_BUFFER;
    // Refused before the order buffer, which would otherwise hold a record
    // that can never be written and answer 0 for it.
    EncodePlan clPlan{};
    const FileResult enPlan = PlanRecordEncoding(clRecord, m_lVersion, clPlan);
    if (enPlan != FILE_OK)
        return enPlan;
    if (clPlan.length > kChannelCapacity)
        return FILE_NO_BUFFER;
    if (m_lFlags & kFlagOrder)
        return m_clOrder.Write(clRecord, *this);
    // The plan just made is the one WriteDirect would make again.
    return WritePlanned(clRecord, clPlan);
}

bool CBrennovarstikFileFormatV1::WriteFrame(const RawRecord &clRecord, const uint8_t *pFrame,
                                            uint32_t lLength, FileResult &enResult) {
    CPlatformLockGuard clGuard(m_clLock);
    // Anything but the plain buffered path is left to WriteData, which then
    // gives its own answer.
    Channel &clChannel = Current();
    if (!clChannel.window.file.IsOpen() || !m_bWritingMode || m_enOpenMode != OpenMode::Writing ||
        !clChannel.window.buffer || (m_lFlags & kFlagOrder) || m_lInterval > 0)
        return false;
    if (pFrame == nullptr || lLength < kRecordBodyOffset || lLength > kChannelCapacity ||
        ReadBe32(pFrame) != lLength)
        return false;
    // The frame stands for the record only where WriteData would store the
    // record as this type and length: a reader also delivers records that
    // WriteData stores otherwise (an extended type without extended fields,
    // bytes after a notice's or a DMR record's fields), and a record changed
    // since it was read may no longer fit its frame.
    EncodePlan clPlan{};
    if (PlanRecordEncoding(clRecord, m_lVersion, clPlan) != FILE_OK || clPlan.length != lLength ||
        clPlan.type != pFrame[kFrameTypeAt] || pFrame[kFrameFlagAt] != 0)
        return false;

    enResult = MakeRoom(clChannel, lLength);
    if (enResult != FILE_OK)
        return true;
    const uint32_t lBefore = clChannel.window.fill;
    std::memcpy(clChannel.window.buffer.get() + lBefore, pFrame, lLength);
    clChannel.window.fill += lLength;
    enResult = CommitRecord(clChannel, lBefore);
    return true;
}

FileResult CBrennovarstikFileFormatV1::RunWritable() {
    Channel &clChannel = Current();
    if (!clChannel.window.file.IsOpen())
        return FILE_WRONG_DIRECTION;
    if (!m_bWritingMode || m_enOpenMode != OpenMode::Writing || !clChannel.window.buffer ||
        (m_lFlags & kFlagOrder) || m_lInterval > 0)
        return FILE_WRONG_STATE;
    return FILE_OK;
}

FileResult CBrennovarstikFileFormatV1::TakeBackRun(size_t lDone) {
    // As with a single record: the run is taken back whole, so that a retry
    // writes it once; where the file cannot be cut, the piece that reached it
    // fails its checksum and readers step over it.
    CBinaryFile &clFile = Current().window.file;
    if (clFile.Truncate(clFile.Position() - int64_t(lDone)))
        lDone = 0;
    m_lWrittenBytes.fetch_add(lDone, std::memory_order_relaxed);
    return FILE_WRITE_FAILED;
}

FileResult CBrennovarstikFileFormatV1::CopyRun(const CBinaryFile &clSource, uint64_t lFrom,
                                               uint64_t lLength) {
    CPlatformLockGuard clGuard(m_clLock);
    if (const FileResult enState = RunWritable(); enState != FILE_OK)
        return enState;
    Channel &clChannel = Current();
    if (clChannel.window.fill != 0) {
        const FileResult enDrain = DrainChannel(clChannel);
        if (enDrain != FILE_OK)
            return enDrain;
    }
    if (lFrom > uint64_t(INT64_MAX) || lLength > uint64_t(SIZE_MAX))
        return FILE_WRONG_STATE;
    bool bError = false;
    const size_t lDone =
        clChannel.window.file.CopyFrom(clSource, int64_t(lFrom), size_t(lLength), bError);
    if (bError || lDone != lLength)
        return TakeBackRun(lDone);
    m_lWrittenBytes.fetch_add(lDone, std::memory_order_relaxed);
    return FILE_OK;
}

FileResult CBrennovarstikFileFormatV1::WriteRun(const uint8_t *pFrames, size_t lLength) {
    CPlatformLockGuard clGuard(m_clLock);
    if (const FileResult enState = RunWritable(); enState != FILE_OK)
        return enState;
    Channel &clChannel = Current();
    // A short run waits in the buffer like single records; a long one goes
    // out at once behind what the buffer holds, without a copy.
    if ((m_lFlags & kFlagKeep) && clChannel.window.fill < kKeepBelow &&
        lLength < kKeepBelow - clChannel.window.fill) {
        std::memcpy(clChannel.window.buffer.get() + clChannel.window.fill, pFrames, lLength);
        clChannel.window.fill += uint32_t(lLength);
        return FILE_OK;
    }
    if (clChannel.window.fill != 0) {
        const FileResult enDrain = DrainChannel(clChannel);
        if (enDrain != FILE_OK)
            return enDrain;
    }
    size_t lDone = 0;
    while (lDone < lLength) {
        bool bError = false;
        const size_t lAccepted =
            clChannel.window.file.Write(pFrames + lDone, lLength - lDone, bError);
        lDone += lAccepted;
        if (bError || lAccepted == 0)
            return TakeBackRun(lDone);
    }
    m_lWrittenBytes.fetch_add(lDone, std::memory_order_relaxed);
    return clChannel.window.file.Flush() ? FILE_OK : FILE_WRITE_FAILED;
}

FileResult CBrennovarstikFileFormatV1::FlushData() {
    CPlatformLockGuard clGuard(m_clLock);
    if (m_enOpenMode != OpenMode::Writing)
        return FILE_OK;
    for (Channel *pChannel : {&Current(), &Next()}) {
        if (!pChannel->window.file.IsOpen())
            continue;
        if (DrainChannel(*pChannel) != FILE_OK)
            return FILE_WRITE_FAILED;
    }
    return FILE_OK;
}

FileResult CBrennovarstikFileFormatV1::CloseFileForWriting() {
    CPlatformLockGuard clGuard(m_clLock);
    if (m_enOpenMode != OpenMode::Writing) {
        RotationOff();
        return FILE_OK;
    }
    FileResult enResult = FILE_OK;
    // Drained while rotation is still on, so that held records land in the
    // file their time belongs to.
    if (m_lFlags & kFlagOrder) {
        const FileResult enFlush = m_clOrder.FlushAll(*this);
        if (enFlush == FILE_WRITE_FAILED || enFlush == FILE_NO_DATA_YET)
            enResult = FILE_WRITE_FAILED;
    }
    RotationOff();
    for (Channel *pChannel : {&Current(), &Next()}) {
        if (!pChannel->window.file.IsOpen())
            continue;
        if (DrainChannel(*pChannel) != FILE_OK)
            enResult = FILE_WRITE_FAILED;
        if (!pChannel->window.file.Close())
            enResult = FILE_WRITE_FAILED;
        ClearChannel(*pChannel);
    }
    m_enOpenMode = OpenMode::None;
    return enResult;
}

bool CBrennovarstikFileFormatV1::SetAutoSplit(int64_t lInterval, AutoSplitCallback pCallback,
                                              void *pContext) {
    if (!m_bWritingMode)
        return false;
    if (lInterval <= 0 || pCallback == nullptr) {
        RotationOff();
        return true;
    }
    m_lInterval = lInterval;
    m_pCallback = pCallback;
    m_pCallbackContext = pContext;
    m_lNextBoundary = kTimeUnset;
    m_lSwitchAfter = kTimeUnset;
    m_lCloseOld = kTimeUnset;
    return true;
}
