// The answers of a reader that can only read (the TMW recordings): every
// writing operation is refused, the reserved queries answer nothing. Both
// report what they step over through the diagnostics hook.
#pragma once

#include "ReaderDiagnostics.h"
#include "VirtualFileFormat.h"

class CReadOnlyFileFormat : public CVirtualFileFormat, public CReaderDiagnostics {
  public:
    // Option 0 (deliver notices) is accepted and has no effect.
    bool SetOption(uint8_t lOption, int32_t) final { return lOption == 0; }
    FileResult OpenFileForWriting(const wchar_t *, const FileHeaderInfo &, uint8_t) final {
        return FILE_WRONG_STATE;
    }
    FileResult WriteData(const RawRecord &) final { return FILE_WRONG_DIRECTION; }
    FileResult CloseFileForWriting() final { return FILE_OK; }
    FileResult FlushData() final { return FILE_OK; }
    uint64_t GetWrittenBytes() final { return 0; }
    bool SetAutoSplit(int64_t, AutoSplitCallback, void *) final { return false; }
    bool ReservedQuery() final { return false; }
    bool ReservedValue32(uint32_t, uint32_t &lOut) final {
        lOut = 0;
        return false;
    }
    bool ReservedValue64(uint64_t, uint64_t &lOut) final {
        lOut = 0;
        return false;
    }
};
