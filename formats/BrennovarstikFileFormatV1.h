// The split-file container: reads versions 1 to 3, writes version 3.
#pragma once

#include "ContainerCodec.h"
#include "Lock.h"
#include "OrderBuffer.h"
#include "ReadWindow.h"
#include "ReaderDiagnostics.h"
#include "VirtualFileFormat.h"

#include <atomic>
#include <functional>
#include <memory>

// A record as the frame that holds it, with what was learnt of it unread.
struct StructContainerFrame {
    const uint8_t *bytes = nullptr;
    uint32_t length = 0;
    uint8_t type = 0;
    uint64_t position = 0; // file offset of its first byte
    FrameFacts facts;
    DmrTimeslotMemory dmrBefore; // for decoding it later
};

class CBrennovarstikFileFormatV1 final : public CVirtualFileFormat,
                                         public CReaderDiagnostics,
                                         private COrderBufferSink {
  public:
    CBrennovarstikFileFormatV1();
    ~CBrennovarstikFileFormatV1() override;
    CBrennovarstikFileFormatV1(const CBrennovarstikFileFormatV1 &) = delete;
    CBrennovarstikFileFormatV1 &operator=(const CBrennovarstikFileFormatV1 &) = delete;

    FileResult OpenFile(const wchar_t *clstrPath, FileHeaderInfo &clInfo, uint8_t bOnline) override;
    FileResult ReadData(RawRecord &clRecord) override;
    void CloseFile() override;
    double GetProgress() override;
    uint64_t GetFileSize(bool bTotal) override;
    bool SetOption(uint8_t lOption, int32_t lValue) override;
    FileResult OpenFileForWriting(const wchar_t *clstrPath, const FileHeaderInfo &clInfo,
                                  uint8_t lFlags) override;
    FileResult WriteData(const RawRecord &clRecord) override;
    FileResult CloseFileForWriting() override;
    FileResult FlushData() override;
    uint64_t GetWrittenBytes() override;
    bool SetAutoSplit(int64_t lInterval, AutoSplitCallback pCallback, void *pContext) override;
    bool ReservedQuery() override;
    const wchar_t *GetFileName() override;
    bool IsOnlineFile() override;
    bool ReservedValue32(uint32_t lValue, uint32_t &lOut) override;
    bool ReservedValue64(uint64_t lValue, uint64_t &lOut) override;

    // The version (1 to 3) of the container open for reading; 0 when none is.
    int FileVersion() const { return m_enOpenMode == OpenMode::Reading ? m_lVersion : 0; }
    // Whether notice records are delivered (option 0) or stepped over.
    bool DeliversNotices() const { return m_bDeliverNotices; }

    // Pass-through of unchanged records, beside the common operations.
    //
    // The frame of the record that the last ReadData delivered with 0, exactly
    // as it stands in the file: offered only for version-3 files, whose frames
    // are what this class writes (older versions store some types in other
    // layouts). It lies in the read buffer and stays valid until the next
    // ReadData, OpenFile or CloseFile; a generic payload changed in place
    // changes it too. For the thread that reads; takes no lock.
    bool GetDeliveredFrame(const uint8_t *&pFrame, uint32_t &lLength) const;
    // Writes the frame of clRecord as given instead of encoding clRecord: the
    // frame must be one that a reader checked and decoded into clRecord,
    // unchanged since. Buffering, counting, write errors and their results are
    // those of WriteData. Returns false without touching anything when the
    // frame cannot stand in for WriteData here (order buffer or rotation in
    // use, no file, a record WriteData would refuse or store as another type
    // or length); the caller then uses WriteData. True: enResult is the
    // result WriteData would have given.
    bool WriteFrame(const RawRecord &clRecord, const uint8_t *pFrame, uint32_t lLength,
                    FileResult &enResult);

    // The frame-level path: the next records as their frames, not decoded,
    // each the one ReadData would deliver (same results, same damage stepped
    // over). At least one frame with 0, up to lMax where they lie whole and
    // sound in the read window; another result with none. The bytes stay
    // valid until the next read, OpenFile or CloseFile. For the thread that
    // reads.
    FileResult ReadFrames(StructContainerFrame *pFrames, uint32_t lMax, uint32_t &lCount);
    // Decodes a frame the last ReadFrames handed out into what ReadData would
    // have delivered; false when it cannot be. GetDeliveredFrame then offers it.
    bool DecodeFrame(const StructContainerFrame &clFrame, RawRecord &clRecord);
    // Called before a refill moves or replaces the window's bytes, so that a
    // caller can finish using the frames it was handed; empty turns it off.
    void SetBeforeWindowMoves(std::function<void()> fnBefore);

    // Writes frames that a reader handed out with facts.verbatim set, back to
    // back and unchanged since, as WriteFrame would write them one by one.
    // Only for a plain writer (no order buffer, no rotation): 2 otherwise.
    // A failed write (5) takes the whole run back, so it may be written again.
    FileResult WriteRun(const uint8_t *pFrames, size_t lLength);
    // The same for lLength bytes of frames that lie in clSource from lFrom on,
    // copied file to file without passing through here. A copy that fails,
    // also because the source ends early, is taken back as a failed write.
    FileResult CopyRun(const CBinaryFile &clSource, uint64_t lFrom, uint64_t lLength);
    // Reading goes on at lPosition, the start of a frame: for a caller that
    // took the frames before it from elsewhere. Only a version-3 file (its
    // frames need nothing of the frames before them) read from disk, not one
    // still being written, and only between frames; false leaves everything
    // as it was.
    bool ContinueAt(uint64_t lPosition);

    // Capacity of each channel buffer; also the largest record.
    static constexpr uint32_t kChannelCapacity = kMaxRecordLength;
    // The read buffer's first size: most files never need more.
    static constexpr uint32_t kFirstReadSize = 16384;
    // With write flag bit 1 records wait until the buffer holds this much.
    static constexpr uint32_t kKeepBelow = kChannelCapacity - 4096;
    static constexpr uint8_t kFlagOrder = 0x01;
    static constexpr uint8_t kFlagKeep = 0x02;
    // Outputs are created only where nothing stands at the path yet.
    static constexpr uint8_t kFlagCreateNew = 0x04;
    // Outputs replace an existing file only; none is created.
    static constexpr uint8_t kFlagReplaceExisting = 0x08;

  private:
    // Channel 0 is the current file (also the reading channel), channel 1 the
    // next file while a rotation overlaps. The two swap by index, never by copy.
    // Reading uses the window as every reader does; writing keeps the bytes
    // not yet written in its buffer (fill), consumed unused.
    struct Channel {
        CReadWindow window{kChannelCapacity, false, false};
        wchar_t clstrPath[kPathBufferChars] = {};
    };
    enum class ParseState : uint8_t { ExpectHead, HeadSeen, Resynchronising };
    enum class OpenMode : uint8_t { None, Reading, Writing };

    static constexpr int64_t kTimeUnset = INT64_MAX;

    Channel &Current() { return m_aChannels[m_lFront]; }
    Channel &Next() { return m_aChannels[1 - m_lFront]; }
    static void ClearChannel(Channel &clChannel);
    static void StorePath(Channel &clChannel, const wchar_t *clstrPath);

    // Writing runs: whether one can be written now, and taking back a failed one.
    FileResult RunWritable();
    FileResult TakeBackRun(size_t lDone);

    // Reading.
    FileResult Refill();
    FileResult ReadNext(RawRecord &clRecord);
    DecodeOutcome DecodeAt(const uint8_t *pFrame, uint32_t lLength, RawRecord &clRecord);
    FileResult ReadLoop(RawRecord &clRecord);
    // The length of a whole frame with a good checksum at the consumed
    // position of the window, 0 when there is none: the common case of
    // reading, taken without the parse states.
    uint32_t SoundFrameAtConsumed() const;
    bool FrameIsValidAt(uint32_t lOffset) const;
    bool FindFrameInTail(uint32_t lFrom, uint32_t &lFound) const;
    FileResult Decode(uint32_t lLength, RawRecord &clRecord, bool &bGoOn);
    void OfferFrame(const uint8_t *pFrame, uint32_t lLength);
    // Diagnostics: the file offset of a byte in the read buffer, and the
    // reports of a refused frame, of the end of a damaged stretch and of a
    // file that ends inside a frame (each tail once, however often it is read).
    uint64_t FileOffsetAt(uint32_t lIndex) const;
    void ReportRefused(const uint8_t *pFrame, uint32_t lLength, const DecodeOutcome &clOutcome);
    void ReportResyncEnd(uint32_t lIndex);
    void ReportTail(uint32_t lIndex);

    // Writing.
    FileResult WriteDirect(const RawRecord &clRecord) override;
    // WriteDirect for a record already planned (plan accepted, length fits).
    FileResult WritePlanned(const RawRecord &clRecord, const EncodePlan &clPlan);
    FileResult CreateOutput(Channel &clChannel, const wchar_t *clstrPath);
    FileResult WriteRecordToChannel(Channel &clChannel, const RawRecord &clRecord,
                                    const EncodePlan &clPlan);
    FileResult MakeRoom(Channel &clChannel, uint32_t lLength);
    FileResult CommitRecord(Channel &clChannel, uint32_t lBefore);
    void AccountWrite(Channel &clChannel, size_t lAccepted, uint32_t lKeep);
    FileResult EmptyBuffer(Channel &clChannel);
    FileResult DrainChannel(Channel &clChannel);
    FileResult ChooseChannel(int64_t lTime, Channel *&pChannel);
    FileResult FinishRotation();
    bool EnsureBuffer(Channel &clChannel);
    void RotationOff();

    CPlatformLock m_clLock;
    Channel m_aChannels[2];
    int m_lFront = 0;
    OpenMode m_enOpenMode = OpenMode::None;

    ParseState m_enParse = ParseState::ExpectHead;
    uint32_t m_lFrameLength = 0;
    bool m_bEndOfResyncReported = false;
    uint64_t m_lResyncStart = 0;           // file offset where the damaged stretch began
    uint64_t m_lTailReported = UINT64_MAX; // file offset of the tail already reported
    bool m_bOnline = false;
    int m_lVersion = 0;
    bool m_bDeliverNotices = false;
    DecodedPayload m_clDecoded{};
    uint32_t m_lDecodedDirty = 0; // m_clDecoded is zero from here on
    const uint8_t *m_pDeliveredFrame = nullptr;
    uint32_t m_lDeliveredLength = 0;
    DmrTimeslotMemory m_clDmrMemory;
    // The frame-level path: classify instead of decode, what was learnt, and
    // the timeslot memory from before the frame for a later DecodeFrame.
    bool m_bFramesOnly = false;
    FrameFacts m_clFacts{};
    DmrTimeslotMemory m_clDmrMemoryBefore;
    std::function<void()> m_fnBeforeWindowMoves;

    bool m_bWritingMode = false;
    uint8_t m_lFlags = 0;
    FileHeaderInfo m_clHeader{};
    std::atomic<uint64_t> m_lWrittenBytes{0};

    int64_t m_lInterval = 0;
    int64_t m_lNextBoundary = kTimeUnset;
    int64_t m_lSwitchAfter = kTimeUnset;
    int64_t m_lCloseOld = kTimeUnset;
    AutoSplitCallback m_pCallback = nullptr;
    void *m_pCallbackContext = nullptr;

    COrderBuffer m_clOrder;
};
