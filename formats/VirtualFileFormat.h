// The one interface through which every recording file is read or written.
#pragma once

#include "RecordTypes.h"

#include <cstdint>

// Paths are wide strings of at most this many characters plus the terminator.
constexpr int kMaxPathChars = 259;
constexpr int kPathBufferChars = 260;

// Rotation callback: writes the next file's path into clstrBuffer (room for
// lSize characters) and returns true, or returns false to skip this boundary.
using AutoSplitCallback = bool (*)(void *pContext, wchar_t *clstrBuffer, uint32_t lSize,
                                   int64_t lBoundary);

class CVirtualFileFormat {
  public:
    // The seventeen operations, in slot order.
    virtual FileResult OpenFile(const wchar_t *clstrPath, FileHeaderInfo &clInfo,
                                uint8_t bOnline) = 0;
    virtual FileResult ReadData(RawRecord &clRecord) = 0;
    virtual void CloseFile() = 0;
    virtual double GetProgress() = 0;
    virtual uint64_t GetFileSize(bool bTotal) = 0;
    virtual bool SetOption(uint8_t lOption, int32_t lValue) = 0;
    virtual FileResult OpenFileForWriting(const wchar_t *clstrPath, const FileHeaderInfo &clInfo,
                                          uint8_t lFlags) = 0;
    virtual FileResult WriteData(const RawRecord &clRecord) = 0;
    // Returns 0, or 5 when a write, flush or close failed: write errors are never lost.
    virtual FileResult CloseFileForWriting() = 0;
    virtual FileResult FlushData() = 0;
    virtual uint64_t GetWrittenBytes() = 0;
    virtual bool SetAutoSplit(int64_t lInterval, AutoSplitCallback pCallback, void *pContext) = 0;
    virtual bool ReservedQuery() = 0;
    virtual const wchar_t *GetFileName() = 0;
    virtual bool IsOnlineFile() = 0;
    virtual bool ReservedValue32(uint32_t lValue, uint32_t &lOut) = 0;
    virtual bool ReservedValue64(uint64_t lValue, uint64_t &lOut) = 0;

    virtual ~CVirtualFileFormat() = default;
};
