// Reader of proprietary TMW recordings (".tmw"): a headerless sequence of
// 84-byte TETRA frames, each converted into zero, one or two records.
#pragma once

#include "BinaryFile.h"
#include "ReadOnlyFileFormat.h"
#include "TetraTmw2Tmv.h"

#include <memory>

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
    // The bytes of a frame that the end of the file cuts off, once.
    void ReportPartialFrame();

    CBinaryFile m_clFile;
    std::unique_ptr<uint8_t[]> m_pBuffer;
    uint32_t m_lFill = 0;
    uint32_t m_lConsumed = 0;
    bool m_bOnline = false;
    wchar_t m_clstrPath[kPathBufferChars] = {};
    TmwTetraFrame m_clFrame{};
    uint8_t m_lSubIndex = kNoFrameYet;
    TetraTmv m_clOutput{};
    uint64_t m_lTailReported = UINT64_MAX; // file offset of the partial frame reported
};
