// Reading a container: the header, then records one at a time, stepping over
// damage and following a file that is still being written.
#include "BrennovarstikFileFormatV1.h"

#include "FormatChoice.h"

#include <cstring>

namespace {

// The record type byte in the frame head.
constexpr uint32_t kFrameTypeAt = 4;

} // namespace

FileResult CBrennovarstikFileFormatV1::OpenFile(const wchar_t *clstrPath, FileHeaderInfo &clInfo,
                                                uint8_t bOnline) {
    CPlatformLockGuard clGuard(m_clLock);
    Channel &clChannel = Current();
    // An object with a file open is left exactly as it is, counter included.
    if (clChannel.window.file.IsOpen())
        return FILE_WRONG_STATE;
    m_pDeliveredFrame = nullptr;
    m_lWrittenBytes.store(0, std::memory_order_relaxed);
    if (!clChannel.window.buffer)
        return FILE_NO_BUFFER;

    bool bOnlineMode = bOnline != 0;
    const wchar_t *clstrOpen = ApplyOnlinePrefix(clstrPath, bOnlineMode);
    if (clstrOpen == nullptr || !clChannel.window.file.OpenRead(clstrOpen))
        return FILE_WRONG_STATE;

    ClearChannel(clChannel);
    m_enParse = ParseState::ExpectHead;
    m_lFrameLength = 0;
    m_bEndOfResyncReported = false;
    m_lResyncStart = 0;
    m_lTailReported = UINT64_MAX;

    // The header is read into the buffer but the fill stays 0, so reading
    // goes on at the first record.
    bool bError = false;
    const size_t lGot =
        clChannel.window.file.Read(clChannel.window.buffer.get(), kContainerHeaderSize, bError);
    const int lVersion = lGot == kContainerHeaderSize && !bError
                             ? DecodeContainerHeader(clChannel.window.buffer.get(), clInfo)
                             : 0;
    if (lVersion == 0) {
        (void)clChannel.window.file.Close();
        return FILE_NOT_CONTAINER;
    }

    m_lVersion = lVersion;
    m_bOnline = bOnlineMode;
    m_bDeliverNotices = false;
    // The same file must always read the same, whatever was read before.
    m_clDmrMemory = DmrTimeslotMemory{};
    m_enOpenMode = OpenMode::Reading;
    StorePath(clChannel, clstrOpen);
    return FILE_OK;
}

FileResult CBrennovarstikFileFormatV1::ReadData(RawRecord &clRecord) {
    CPlatformLockGuard clGuard(m_clLock);
    m_bFramesOnly = false;
    return ReadNext(clRecord);
}

FileResult CBrennovarstikFileFormatV1::ReadFrames(StructContainerFrame *pFrames, uint32_t lMax,
                                                  uint32_t &lCount) {
    CPlatformLockGuard clGuard(m_clLock);
    lCount = 0;
    m_bFramesOnly = true;
    RawRecord clUnused{};
    const FileResult enResult = ReadNext(clUnused);
    m_bFramesOnly = false;
    if (enResult != FILE_OK || lMax == 0)
        return enResult;
    Channel &clChannel = Current();
    const uint8_t *pBuffer = clChannel.window.buffer.get();
    const uint64_t lBase = FileOffsetAt(0);
    auto take = [&](const uint8_t *pFrame, uint32_t lLength, const FrameFacts &clFacts,
                    const DmrTimeslotMemory &clBefore) {
        StructContainerFrame &clFrame = pFrames[lCount++];
        clFrame.bytes = pFrame;
        clFrame.length = lLength;
        clFrame.type = pFrame[kFrameTypeAt];
        clFrame.position = lBase + uint64_t(pFrame - pBuffer);
        clFrame.facts = clFacts;
        clFrame.dmrBefore = clBefore;
    };
    take(m_pDeliveredFrame, m_lDeliveredLength, m_clFacts, m_clDmrMemoryBefore);
    // Further frames only as ReadData's common case takes them: whole in the
    // window, sound and delivered. Anything else is left, untouched, to the
    // next call, and no refill happens under the frames already taken.
    while (lCount < lMax) {
        const uint32_t lLength = SoundFrameAtConsumed();
        if (lLength == 0)
            break;
        const uint8_t *pFrame = pBuffer + clChannel.window.consumed;
        const DmrTimeslotMemory clBefore = m_clDmrMemory;
        FrameFacts clFacts;
        if (ClassifyRecord(pFrame, lLength, m_lVersion, m_bDeliverNotices, clFacts, m_clDmrMemory)
                .action != DecodeAction::Deliver) {
            m_clDmrMemory = clBefore;
            break;
        }
        clChannel.window.consumed += lLength;
        m_lFrameLength = lLength;
        take(pFrame, lLength, clFacts, clBefore);
    }
    OfferFrame(pFrames[lCount - 1].bytes, pFrames[lCount - 1].length);
    return FILE_OK;
}

bool CBrennovarstikFileFormatV1::DecodeFrame(const StructContainerFrame &clFrame,
                                             RawRecord &clRecord) {
    CPlatformLockGuard clGuard(m_clLock);
    const Channel &clChannel = Current();
    const uint8_t *pBuffer = clChannel.window.buffer.get();
    if (m_enOpenMode != OpenMode::Reading || clFrame.bytes < pBuffer ||
        clFrame.bytes + clFrame.length > pBuffer + clChannel.window.consumed)
        return false;
    // The timeslot memory as it was before this frame, so that it moves on once.
    DmrTimeslotMemory clMemory = clFrame.dmrBefore;
    if (DecodeRecord(clFrame.bytes, clFrame.length, m_lVersion, m_bDeliverNotices, clRecord,
                     m_clDecoded, m_lDecodedDirty, clMemory)
            .action != DecodeAction::Deliver)
        return false;
    m_pDeliveredFrame = clFrame.bytes;
    m_lDeliveredLength = clFrame.length;
    return true;
}

bool CBrennovarstikFileFormatV1::ContinueAt(uint64_t lPosition) {
    CPlatformLockGuard clGuard(m_clLock);
    Channel &clChannel = Current();
    if (m_enOpenMode != OpenMode::Reading || m_lVersion != kWriterVersion || m_bOnline ||
        m_enParse != ParseState::ExpectHead || lPosition > uint64_t(INT64_MAX) ||
        !clChannel.window.file.Seek(int64_t(lPosition)))
        return false;
    if (m_fnBeforeWindowMoves)
        m_fnBeforeWindowMoves();
    clChannel.window.Reset();
    m_lFrameLength = 0;
    m_pDeliveredFrame = nullptr;
    return true;
}

void CBrennovarstikFileFormatV1::SetBeforeWindowMoves(std::function<void()> fnBefore) {
    CPlatformLockGuard clGuard(m_clLock);
    m_fnBeforeWindowMoves = std::move(fnBefore);
}

DecodeOutcome CBrennovarstikFileFormatV1::DecodeAt(const uint8_t *pFrame, uint32_t lLength,
                                                   RawRecord &clRecord) {
    if (!m_bFramesOnly)
        return DecodeRecord(pFrame, lLength, m_lVersion, m_bDeliverNotices, clRecord, m_clDecoded,
                            m_lDecodedDirty, m_clDmrMemory);
    m_clDmrMemoryBefore = m_clDmrMemory;
    return ClassifyRecord(pFrame, lLength, m_lVersion, m_bDeliverNotices, m_clFacts, m_clDmrMemory);
}

FileResult CBrennovarstikFileFormatV1::ReadNext(RawRecord &clRecord) {
    m_pDeliveredFrame = nullptr;
    Channel &clChannel = Current();
    if (!clChannel.window.file.IsOpen())
        return FILE_WRONG_STATE;
    if (m_bWritingMode || m_enOpenMode != OpenMode::Reading)
        return FILE_WRONG_DIRECTION;
    if (!clChannel.window.buffer)
        return FILE_NO_BUFFER;
    // A file that has grown since the last call is read on.
    clChannel.window.reachedEnd = false;

    // The common case of ReadLoop without its state changes: a frame at a
    // frame start, whole in the buffer, with a good checksum. Anything else (a
    // refill, a bad length or checksum) is left to ReadLoop, which starts from
    // the same state and so reads exactly what it would have read on its own.
    if (m_enParse == ParseState::ExpectHead) {
        const uint8_t *pBuffer = clChannel.window.buffer.get();
        for (;;) {
            const uint32_t lLength = SoundFrameAtConsumed();
            if (lLength == 0)
                break;
            const uint8_t *pFrame = pBuffer + clChannel.window.consumed;
            m_lFrameLength = lLength;
            const DecodeOutcome clOutcome = DecodeAt(pFrame, lLength, clRecord);
            clChannel.window.consumed += clOutcome.consumed;
            if (clOutcome.action == DecodeAction::Deliver) {
                OfferFrame(pFrame, lLength);
                return FILE_OK;
            }
            ReportRefused(pFrame, lLength, clOutcome);
            if (clOutcome.action == DecodeAction::Damaged)
                return FILE_DAMAGED;
        }
    }
    return ReadLoop(clRecord);
}

FileResult CBrennovarstikFileFormatV1::Refill() {
    if (m_fnBeforeWindowMoves)
        m_fnBeforeWindowMoves();
    return Current().window.Refill(m_bOnline);
}

uint32_t CBrennovarstikFileFormatV1::SoundFrameAtConsumed() const {
    const Channel &clChannel = m_aChannels[m_lFront];
    return SoundFrameLength(clChannel.window.buffer.get() + clChannel.window.consumed,
                            clChannel.window.fill - clChannel.window.consumed);
}

bool CBrennovarstikFileFormatV1::FrameIsValidAt(uint32_t lOffset) const {
    const Channel &clChannel = m_aChannels[m_lFront];
    return WritableFrameAt(clChannel.window.buffer.get() + lOffset, clChannel.window.fill - lOffset,
                           m_lVersion);
}

bool CBrennovarstikFileFormatV1::FindFrameInTail(uint32_t lFrom, uint32_t &lFound) const {
    const Channel &clChannel = m_aChannels[m_lFront];
    for (uint32_t lOffset = lFrom; lOffset + kFrameHeadSize <= clChannel.window.fill; ++lOffset) {
        if (FrameIsValidAt(lOffset)) {
            lFound = lOffset;
            return true;
        }
    }
    return false;
}

FileResult CBrennovarstikFileFormatV1::Decode(uint32_t lLength, RawRecord &clRecord, bool &bGoOn) {
    Channel &clChannel = Current();
    const uint8_t *pFrame = clChannel.window.buffer.get() + clChannel.window.consumed;
    const DecodeOutcome clOutcome = DecodeAt(pFrame, lLength, clRecord);
    clChannel.window.consumed += clOutcome.consumed;
    m_enParse = ParseState::ExpectHead;
    ReportRefused(pFrame, lLength, clOutcome);
    bGoOn = clOutcome.action == DecodeAction::GoOn;
    if (clOutcome.action != DecodeAction::Deliver)
        return FILE_DAMAGED;
    OfferFrame(pFrame, lLength);
    return FILE_OK;
}

// Only whole frames whose checksum was checked get here.
void CBrennovarstikFileFormatV1::OfferFrame(const uint8_t *pFrame, uint32_t lLength) {
    m_pDeliveredFrame = pFrame;
    m_lDeliveredLength = lLength;
}

uint64_t CBrennovarstikFileFormatV1::FileOffsetAt(uint32_t lIndex) const {
    const Channel &clChannel = m_aChannels[m_lFront];
    return clChannel.window.FileOffsetAt(lIndex);
}

void CBrennovarstikFileFormatV1::ReportRefused(const uint8_t *pFrame, uint32_t lLength,
                                               const DecodeOutcome &clOutcome) {
    // A dropped notice is wanted; an unknown type steps only over its head.
    const bool bRefused = clOutcome.action == DecodeAction::Damaged ||
                          (clOutcome.action == DecodeAction::GoOn && clOutcome.consumed < lLength);
    if (!bRefused)
        return;
    const uint32_t lIndex = uint32_t(pFrame - m_aChannels[m_lFront].window.buffer.get());
    ReportDiagnostic(ReaderDamage::RefusedRecord, FileOffsetAt(lIndex), lLength,
                     pFrame[kFrameTypeAt]);
}

void CBrennovarstikFileFormatV1::ReportResyncEnd(uint32_t lIndex) {
    const uint64_t lEnd = FileOffsetAt(lIndex);
    if (lEnd > m_lResyncStart)
        ReportDiagnostic(ReaderDamage::Resynchronised, m_lResyncStart, lEnd - m_lResyncStart);
}

void CBrennovarstikFileFormatV1::ReportTail(uint32_t lIndex) {
    const Channel &clChannel = m_aChannels[m_lFront];
    const uint64_t lOffset = FileOffsetAt(lIndex);
    if (m_bOnline || lOffset == m_lTailReported || lIndex >= clChannel.window.fill)
        return;
    m_lTailReported = lOffset;
    ReportDiagnostic(ReaderDamage::TruncatedTail, lOffset, clChannel.window.fill - lIndex);
}

bool CBrennovarstikFileFormatV1::GetDeliveredFrame(const uint8_t *&pFrame,
                                                   uint32_t &lLength) const {
    // Frames of versions 1 and 2 differ from what the writer makes of the
    // same record.
    if (m_pDeliveredFrame == nullptr || m_lVersion != kWriterVersion)
        return false;
    pFrame = m_pDeliveredFrame;
    lLength = m_lDeliveredLength;
    return true;
}

FileResult CBrennovarstikFileFormatV1::ReadLoop(RawRecord &clRecord) {
    Channel &clChannel = Current();
    // A refill may move the buffer: frames are always found through Next().
    auto unread = [&clChannel] { return clChannel.window.fill - clChannel.window.consumed; };
    // lIndex: the first byte of the damaged stretch.
    auto startResynchronising = [this](uint32_t lIndex) {
        m_enParse = ParseState::Resynchronising;
        m_bEndOfResyncReported = false;
        m_lResyncStart = FileOffsetAt(lIndex);
    };

    for (;;) {
        switch (m_enParse) {
        case ParseState::ExpectHead: {
            if (unread() < kFrameHeadSize) {
                const FileResult enRefill = Refill();
                if (enRefill != FILE_OK)
                    return enRefill;
                if (unread() < kFrameHeadSize) {
                    ReportTail(clChannel.window.consumed);
                    return m_bOnline ? FILE_NO_DATA_YET : FILE_END_OF_DATA;
                }
            }
            const uint32_t lLength = ReadBe32(clChannel.window.Next());
            if (lLength < kMinRecordLength || lLength > kMaxRecordLength) {
                startResynchronising(clChannel.window.consumed);
                break;
            }
            m_lFrameLength = lLength;
            m_enParse = ParseState::HeadSeen;
            break;
        }

        case ParseState::HeadSeen: {
            const uint32_t lLength = m_lFrameLength;
            if (unread() < lLength) {
                const FileResult enRefill = Refill();
                if (enRefill != FILE_OK && enRefill != FILE_END_OF_DATA)
                    return enRefill;
                if (unread() < lLength) {
                    if (m_bOnline)
                        return FILE_NO_DATA_YET;
                    // The whole rest of the file is in the buffer now. A
                    // damaged length must not swallow the good records behind
                    // it; only when none follows is this a cut-short last
                    // record. Nothing moves then, so a grown file reads on.
                    uint32_t lFound = 0;
                    if (!FindFrameInTail(clChannel.window.consumed + 1, lFound)) {
                        ReportTail(clChannel.window.consumed);
                        return FILE_END_OF_DATA;
                    }
                    ReportDiagnostic(ReaderDamage::Resynchronised,
                                     FileOffsetAt(clChannel.window.consumed),
                                     lFound - clChannel.window.consumed);
                    clChannel.window.consumed = lFound;
                    m_enParse = ParseState::ExpectHead;
                    break;
                }
            }
            const uint8_t *pFrame = clChannel.window.Next();
            if (ReadBe32(pFrame + 6) !=
                ContainerChecksum(pFrame + kFrameHeadSize, lLength - uint32_t(kFrameHeadSize))) {
                // The length is as unverified as the rest: search from the
                // next byte rather than trusting it.
                startResynchronising(clChannel.window.consumed);
                clChannel.window.consumed += 1;
                break;
            }
            bool bGoOn = false;
            const FileResult enResult = Decode(lLength, clRecord, bGoOn);
            if (!bGoOn)
                return enResult;
            break;
        }

        case ParseState::Resynchronising: {
            if (unread() < kFrameHeadSize) {
                const FileResult enRefill =
                    clChannel.window.reachedEnd ? FILE_END_OF_DATA : Refill();
                if (enRefill == FILE_WRITE_FAILED)
                    return enRefill;
                if (unread() < kFrameHeadSize) {
                    if (m_bOnline)
                        return FILE_NO_DATA_YET;
                    // Damage at the end is reported once; after that the
                    // file is simply at its end, so no caller loops on it.
                    if (m_bEndOfResyncReported)
                        return FILE_END_OF_DATA;
                    m_bEndOfResyncReported = true;
                    ReportResyncEnd(clChannel.window.fill);
                    return FILE_DAMAGED;
                }
            }
            const uint32_t lLength = ReadBe32(clChannel.window.Next());
            // The constants of the head first: they are cheap, and a frame
            // no writer makes is no place to stop, however good its checksum.
            if (lLength >= kMinRecordLength && lLength <= kMaxRecordLength &&
                IsWritableFrameHead(clChannel.window.Next(), lLength, m_lVersion)) {
                bool bInFile = true;
                if (unread() < lLength) {
                    const FileResult enRefill =
                        clChannel.window.reachedEnd ? FILE_END_OF_DATA : Refill();
                    if (enRefill == FILE_WRITE_FAILED)
                        return enRefill;
                    if (unread() < lLength) {
                        if (m_bOnline)
                            return FILE_NO_DATA_YET;
                        // Runs past the end of the file: no frame starts here.
                        bInFile = false;
                    }
                }
                if (bInFile && FrameIsValidAt(clChannel.window.consumed)) {
                    ReportResyncEnd(clChannel.window.consumed);
                    bool bGoOn = false;
                    const FileResult enResult = Decode(lLength, clRecord, bGoOn);
                    if (!bGoOn)
                        return enResult;
                    break;
                }
            }
            clChannel.window.consumed += 1;
            break;
        }
        }
    }
}
