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
    if (clChannel.clFile.IsOpen())
        return FILE_WRONG_STATE;
    m_pDeliveredFrame = nullptr;
    m_lWrittenBytes.store(0, std::memory_order_relaxed);
    if (!clChannel.pBuffer)
        return FILE_NO_BUFFER;

    bool bOnlineMode = bOnline != 0;
    const wchar_t *clstrOpen = ApplyOnlinePrefix(clstrPath, bOnlineMode);
    if (clstrOpen == nullptr || !clChannel.clFile.OpenRead(clstrOpen))
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
        clChannel.clFile.Read(clChannel.pBuffer.get(), kContainerHeaderSize, bError);
    const int lVersion = lGot == kContainerHeaderSize && !bError
                             ? DecodeContainerHeader(clChannel.pBuffer.get(), clInfo)
                             : 0;
    if (lVersion == 0) {
        (void)clChannel.clFile.Close();
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
    m_pDeliveredFrame = nullptr;
    Channel &clChannel = Current();
    if (!clChannel.clFile.IsOpen())
        return FILE_WRONG_STATE;
    if (m_bWritingMode || m_enOpenMode != OpenMode::Reading)
        return FILE_WRONG_DIRECTION;
    if (!clChannel.pBuffer)
        return FILE_NO_BUFFER;
    // A file that has grown since the last call is read on.
    m_bReachedEnd = false;

    // The common case of ReadLoop without its state changes: a frame at a
    // frame start, whole in the buffer, with a good checksum. Anything else (a
    // refill, a bad length or checksum) is left to ReadLoop, which starts from
    // the same state and so reads exactly what it would have read on its own.
    if (m_enParse == ParseState::ExpectHead) {
        const uint8_t *pBuffer = clChannel.pBuffer.get();
        for (;;) {
            const uint32_t lUnread = clChannel.lFill - clChannel.lConsumed;
            if (lUnread < kFrameHeadSize)
                break;
            const uint8_t *pFrame = pBuffer + clChannel.lConsumed;
            const uint32_t lLength = ReadBe32(pFrame);
            if (lLength < kMinRecordLength || lLength > kMaxRecordLength || lLength > lUnread ||
                ReadBe32(pFrame + 6) !=
                    ContainerChecksum(pFrame + kFrameHeadSize, lLength - uint32_t(kFrameHeadSize)))
                break;
            m_lFrameLength = lLength;
            const DecodeOutcome clOutcome =
                DecodeRecord(pFrame, lLength, m_lVersion, m_bDeliverNotices, clRecord, m_clDecoded,
                             m_lDecodedDirty, m_clDmrMemory);
            clChannel.lConsumed += clOutcome.consumed;
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
    Channel &clChannel = Current();
    uint8_t *pBuffer = clChannel.pBuffer.get();
    if (clChannel.lConsumed >= clChannel.lFill) {
        clChannel.lFill = 0;
    } else if (clChannel.lConsumed > 0) {
        clChannel.lFill -= clChannel.lConsumed;
        std::memmove(pBuffer, pBuffer + clChannel.lConsumed, clChannel.lFill);
    }
    clChannel.lConsumed = 0;

    const size_t lWanted = kChannelCapacity - clChannel.lFill;
    bool bError = false;
    const size_t lGot = clChannel.clFile.Read(pBuffer + clChannel.lFill, lWanted, bError);
    clChannel.lFill += uint32_t(lGot);
    // A read error is never taken for the end of the file.
    if (bError)
        return FILE_WRITE_FAILED;
    m_bReachedEnd = lGot < lWanted;
    if (lGot > 0)
        return FILE_OK;
    return m_bOnline ? FILE_NO_DATA_YET : FILE_END_OF_DATA;
}

bool CBrennovarstikFileFormatV1::FrameIsValidAt(uint32_t lOffset) const {
    const Channel &clChannel = m_aChannels[m_lFront];
    const uint8_t *pFrame = clChannel.pBuffer.get() + lOffset;
    const uint32_t lLength = ReadBe32(pFrame);
    if (lLength < kMinRecordLength || lLength > kMaxRecordLength ||
        lLength > clChannel.lFill - lOffset || !IsWritableFrameHead(pFrame, lLength, m_lVersion))
        return false;
    return ReadBe32(pFrame + 6) ==
           ContainerChecksum(pFrame + kFrameHeadSize, lLength - uint32_t(kFrameHeadSize));
}

bool CBrennovarstikFileFormatV1::FindFrameInTail(uint32_t lFrom, uint32_t &lFound) const {
    const Channel &clChannel = m_aChannels[m_lFront];
    for (uint32_t lOffset = lFrom; lOffset + kFrameHeadSize <= clChannel.lFill; ++lOffset) {
        if (FrameIsValidAt(lOffset)) {
            lFound = lOffset;
            return true;
        }
    }
    return false;
}

FileResult CBrennovarstikFileFormatV1::Decode(uint32_t lLength, RawRecord &clRecord, bool &bGoOn) {
    Channel &clChannel = Current();
    const uint8_t *pFrame = clChannel.pBuffer.get() + clChannel.lConsumed;
    const DecodeOutcome clOutcome =
        DecodeRecord(pFrame, lLength, m_lVersion, m_bDeliverNotices, clRecord, m_clDecoded,
                     m_lDecodedDirty, m_clDmrMemory);
    clChannel.lConsumed += clOutcome.consumed;
    m_enParse = ParseState::ExpectHead;
    ReportRefused(pFrame, lLength, clOutcome);
    bGoOn = clOutcome.action == DecodeAction::GoOn;
    if (clOutcome.action != DecodeAction::Deliver)
        return FILE_DAMAGED;
    OfferFrame(pFrame, lLength);
    return FILE_OK;
}

// Only whole frames whose checksum was checked get here. Frames of versions 1
// and 2 differ from what the writer makes of the same record.
void CBrennovarstikFileFormatV1::OfferFrame(const uint8_t *pFrame, uint32_t lLength) {
    if (m_lVersion != kWriterVersion)
        return;
    m_pDeliveredFrame = pFrame;
    m_lDeliveredLength = lLength;
}

uint64_t CBrennovarstikFileFormatV1::FileOffsetAt(uint32_t lIndex) const {
    const Channel &clChannel = m_aChannels[m_lFront];
    return ConsumedFilePosition(clChannel.clFile.Position(), clChannel.lFill, lIndex);
}

void CBrennovarstikFileFormatV1::ReportRefused(const uint8_t *pFrame, uint32_t lLength,
                                               const DecodeOutcome &clOutcome) {
    // A dropped notice is wanted; an unknown type steps only over its head.
    const bool bRefused = clOutcome.action == DecodeAction::Damaged ||
                          (clOutcome.action == DecodeAction::GoOn && clOutcome.consumed < lLength);
    if (!bRefused)
        return;
    const uint32_t lIndex = uint32_t(pFrame - m_aChannels[m_lFront].pBuffer.get());
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
    if (m_bOnline || lOffset == m_lTailReported || lIndex >= clChannel.lFill)
        return;
    m_lTailReported = lOffset;
    ReportDiagnostic(ReaderDamage::TruncatedTail, lOffset, clChannel.lFill - lIndex);
}

bool CBrennovarstikFileFormatV1::GetDeliveredFrame(const uint8_t *&pFrame,
                                                   uint32_t &lLength) const {
    if (m_pDeliveredFrame == nullptr)
        return false;
    pFrame = m_pDeliveredFrame;
    lLength = m_lDeliveredLength;
    return true;
}

FileResult CBrennovarstikFileFormatV1::ReadLoop(RawRecord &clRecord) {
    Channel &clChannel = Current();
    const uint8_t *pBuffer = clChannel.pBuffer.get();
    auto unread = [&clChannel] { return clChannel.lFill - clChannel.lConsumed; };
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
                    ReportTail(clChannel.lConsumed);
                    return m_bOnline ? FILE_NO_DATA_YET : FILE_END_OF_DATA;
                }
            }
            const uint32_t lLength = ReadBe32(pBuffer + clChannel.lConsumed);
            if (lLength < kMinRecordLength || lLength > kMaxRecordLength) {
                startResynchronising(clChannel.lConsumed);
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
                    if (!FindFrameInTail(clChannel.lConsumed + 1, lFound)) {
                        ReportTail(clChannel.lConsumed);
                        return FILE_END_OF_DATA;
                    }
                    ReportDiagnostic(ReaderDamage::Resynchronised,
                                     FileOffsetAt(clChannel.lConsumed),
                                     lFound - clChannel.lConsumed);
                    clChannel.lConsumed = lFound;
                    m_enParse = ParseState::ExpectHead;
                    break;
                }
            }
            const uint8_t *pFrame = pBuffer + clChannel.lConsumed;
            if (ReadBe32(pFrame + 6) !=
                ContainerChecksum(pFrame + kFrameHeadSize, lLength - uint32_t(kFrameHeadSize))) {
                // The length is as unverified as the rest: search from the
                // next byte rather than trusting it.
                startResynchronising(clChannel.lConsumed);
                clChannel.lConsumed += 1;
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
                const FileResult enRefill = m_bReachedEnd ? FILE_END_OF_DATA : Refill();
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
                    ReportResyncEnd(clChannel.lFill);
                    return FILE_DAMAGED;
                }
            }
            const uint32_t lLength = ReadBe32(pBuffer + clChannel.lConsumed);
            // The constants of the head first: they are cheap, and a frame
            // no writer makes is no place to stop, however good its checksum.
            if (lLength >= kMinRecordLength && lLength <= kMaxRecordLength &&
                IsWritableFrameHead(pBuffer + clChannel.lConsumed, lLength, m_lVersion)) {
                bool bInFile = true;
                if (unread() < lLength) {
                    const FileResult enRefill = m_bReachedEnd ? FILE_END_OF_DATA : Refill();
                    if (enRefill == FILE_WRITE_FAILED)
                        return enRefill;
                    if (unread() < lLength) {
                        if (m_bOnline)
                            return FILE_NO_DATA_YET;
                        // Runs past the end of the file: no frame starts here.
                        bInFile = false;
                    }
                }
                if (bInFile && FrameIsValidAt(clChannel.lConsumed)) {
                    ReportResyncEnd(clChannel.lConsumed);
                    bool bGoOn = false;
                    const FileResult enResult = Decode(lLength, clRecord, bGoOn);
                    if (!bGoOn)
                        return enResult;
                    break;
                }
            }
            clChannel.lConsumed += 1;
            break;
        }
        }
    }
}
