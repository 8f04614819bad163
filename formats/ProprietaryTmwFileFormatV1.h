// Reader of proprietary TMW recordings (".tmw"): a headerless sequence of
// 84-byte TETRA frames, each converted into zero, one or two records.
//
// The frames carry no sync word, so a byte inserted or lost would shift every
// later frame. Fields with narrow ranges and slowly moving times tell where
// frames stop being plausible; the reader then looks for the alignment at
// which the following frames are plausible again and reports the bytes it
// steps over. Where no such alignment exists, frames are read as they come.
#pragma once

#include "ReadOnlyFileFormat.h"
#include "ReadWindow.h"
#include "TetraTmw2Tmv.h"

#include <memory>

// What tells whether two frames can follow each other: their time, or their
// frame counters when they carry no time.
struct TmwFrameClock {
    uint8_t kind = 0;
    uint32_t value = 0;
};

class CProprietaryTmwFileFormatV1 final : public CReadOnlyFileFormat, private CTetraTmw2Tmv {
  public:
    static constexpr uint32_t kFrameSize = 84;
    static constexpr uint32_t kReadBufferSize = 131072;

    CProprietaryTmwFileFormatV1();
    ~CProprietaryTmwFileFormatV1() override;
    CProprietaryTmwFileFormatV1(const CProprietaryTmwFileFormatV1 &) = delete;
    CProprietaryTmwFileFormatV1 &operator=(const CProprietaryTmwFileFormatV1 &) = delete;

    FileResult OpenFile(const wchar_t *clstrPath, FileHeaderInfo &clInfo, uint8_t bOnline) override;
    FileResult ReadData(RawRecord &clRecord) override;
    void CloseFile() override;
    double GetProgress() override;
    uint64_t GetFileSize(bool bTotal) override;
    const wchar_t *GetFileName() override;
    bool IsOnlineFile() override;

    // One 84-byte frame as the converter takes it: the two flag bytes folded
    // into timeMode and frameFlags, the first measurements rounded to whole
    // units, frame and multiframe numbers clamped into their ranges.
    static void DecodeFrame(const uint8_t *pFrame, TmwTetraFrame &clFrame);

  private:
    // The sub-index after opening: no frame decoded yet.
    static constexpr uint8_t kNoFrameYet = 255;
    static constexpr uint8_t kSubIndexes = 3;

    FileResult Refill();
    // At least lCount bytes from the read position (at most the buffer).
    FileResult Need(uint32_t lCount);
    // The bytes of a frame that the end of the file cuts off, once.
    void ReportPartialFrame();
    // Whether the whole frame at the read position is taken (lSkip 0) or
    // lSkip bytes are stepped over first; FILE_NO_DATA_YET when an online
    // file must grow before that can be told.
    FileResult Align(uint32_t &lSkip);
    // The distance to the first alignment after the read position at which
    // plausible frames follow each other (0: none within reach). Near the end
    // of the data fewer frames do, and then they must also follow pAnchor.
    FileResult FindRun(const TmwFrameClock *pAnchor, uint32_t &lRun);

    CReadWindow m_clWindow;
    bool m_bOnline = false;
    wchar_t m_clstrPath[kPathBufferChars] = {};
    TmwTetraFrame m_clFrame{};
    uint8_t m_lSubIndex = kNoFrameYet;
    TetraTmv m_clOutput{};
    uint64_t m_lTailReported = UINT64_MAX; // file offset of the partial frame reported
    // The frame at the read position is known to follow the frame before it;
    // Align finds out the same of the frame after it, for when it is taken.
    bool m_bChecked = false;
    bool m_bNextChecked = false;
    bool m_bHaveLast = false;
    TmwFrameClock m_clLastClock; // of the last frame taken
    // No run of plausible frames starts between the read position and here
    // (a file offset): what one search found need not be searched again.
    uint64_t m_lNoRunBefore = 0;
};
