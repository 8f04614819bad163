// Reader of TMW recordings (".lan"): a byte stream of tagged entries holding
// either TETRA traffic ("!" entries, converted by CTetraTmw2Tmv) or DMR
// traffic (0x7F frames, converted by CDmrTmw2DmrTmv). The first marker that
// begins a well-framed entry or frame decides which; the other kind's
// markers are then only bytes.
//
// Entries and frames are taken from the buffer only when whole, so an online
// file that stops in the middle of one reads on from its start later, and
// every length field is checked against the bytes the entry really has.
#pragma once

#include "DmrTmw2DmrTmv.h"
#include "ReadOnlyFileFormat.h"
#include "ReadWindow.h"
#include "TetraTmw2Tmv.h"

#include <memory>

class CTmwFileFormatV1 final : public CReadOnlyFileFormat,
                               private CTetraTmw2Tmv,
                               private CDmrTmw2DmrTmv {
  public:
    static constexpr uint32_t kReadBufferSize = 131072;

    // Entry markers and entry kinds of the TETRA stream.
    static constexpr uint8_t kEntryMarker = 0x21; // "!"
    static constexpr uint8_t kEntryTerminator = 0x0D;
    static constexpr uint8_t kFrameEntryKind = 0xDE;
    static constexpr uint8_t kExtendedEntryKind = 0xDA;
    // Sub-entry lengths from here on do not state the length of the data.
    static constexpr uint16_t kUnstatedSubEntryLength = 32767;

    enum StreamMode : uint8_t { STREAM_UNKNOWN = 0, STREAM_TETRA = 1, STREAM_DMR = 2 };

    CTmwFileFormatV1();
    ~CTmwFileFormatV1() override;
    CTmwFileFormatV1(const CTmwFileFormatV1 &) = delete;
    CTmwFileFormatV1 &operator=(const CTmwFileFormatV1 &) = delete;

    FileResult OpenFile(const wchar_t *clstrPath, FileHeaderInfo &clInfo, uint8_t bOnline) override;
    FileResult ReadData(RawRecord &clRecord) override;
    void CloseFile() override;
    double GetProgress() override;
    uint64_t GetFileSize(bool bTotal) override;
    const wchar_t *GetFileName() override;
    bool IsOnlineFile() override;

    StreamMode Mode() const { return StreamMode(m_lStreamMode); }
    // Refills of the read buffer that brought data since OpenFile.
    uint64_t RefillCount() const { return m_clWindow.refills; }

    // The body of a frame entry (lLength bytes from its entry kind on) as the
    // converter takes it; false when its fields need more than lLength.
    // pTaken: the bytes its fields take.
    static bool DecodeFrameEntry(const uint8_t *pBody, uint32_t lLength, TmwTetraFrame &clFrame,
                                 uint32_t *pTaken = nullptr);
    // The body of an extended entry with its first kTmwMaxSubEntries
    // sub-entries; false when a field or a sub-entry reaches past lLength, a
    // sub-entry's length is shorter than its fields, or the length of
    // unstated data cannot be told. pTaken: the bytes its fields and
    // sub-entries take.
    static bool DecodeExtendedEntry(const uint8_t *pBody, uint32_t lLength,
                                    TmwTetraExtendedEntry &clEntry, uint32_t *pTaken = nullptr);

  private:
    // What the current TETRA entry holds for conversion.
    enum EntryKind : uint8_t { ENTRY_FRAME = 0, ENTRY_EXTENDED = 1, ENTRY_NONE = 255 };
    static constexpr uint8_t kNoEntryYet = 255;

    struct WorkArea {
        TmwTetraFrame frame;
        TmwTetraExtendedEntry extended;
        TmwDmrFrame dmrFrame;
        TetraTmv tetraOutput;
        DmrTmv dmrOutput;
    };

    FileResult Refill();
    // At least lCount bytes from the read position (at most the buffer).
    FileResult Need(uint32_t lCount);
    // Whether the "!" at the read position begins an entry whose length leads
    // to its terminator. An entry that the end of the file cuts off is none.
    FileResult CheckEntryFraming(bool &bFramed);
    // The same for a 0x7F: a frame with a length in range, its terminator and
    // its checksum when it has one, of any kind.
    FileResult CheckDmrFraming(bool &bFramed);

    FileResult ReadUnknownMode(RawRecord &clRecord);
    FileResult ReadTetra(RawRecord &clRecord);
    FileResult Resynchronise();
    // Whether a well-framed entry met after damage is believed: damage can
    // make a "!" whose length reaches some later terminator and would
    // swallow the good entries up to it. Only an entry of a converted kind
    // whose fields use about all of its length is.
    bool IsBelievableEntry(const uint8_t *pEntry);
    // Decodes the whole entry at the read position into the work area.
    bool DecodeEntry(const uint8_t *pBody, uint32_t lLength);
    FileResult ReadDmr(RawRecord &clRecord);
    // Diagnostics: a damaged stretch opens at the first byte that is stepped
    // over and is reported when a good entry or frame, or the end of the
    // file, closes it. Bytes already reported never open one again.
    uint64_t FileOffsetAt(uint32_t lIndex) const;
    void OpenDamage(uint32_t lIndex);
    void CloseDamage(uint32_t lIndex);
    // DMR: bytes inside a well-framed frame of a kind that is not converted
    // are skipped, but are no damage.
    void NoteDmrSkip(const uint8_t *pAt);

    CReadWindow m_clWindow;
    std::unique_ptr<WorkArea> m_pWork;
    bool m_bResync = false;
    bool m_bOnline = false;
    // Set by the first entry that converts; never changes until OpenFile.
    uint8_t m_lStreamMode = STREAM_UNKNOWN;
    // The kind of the first well-framed marker, read on until it converts.
    uint8_t m_lChosenMode = STREAM_UNKNOWN;
    uint8_t m_lEntryKind = ENTRY_NONE;
    uint8_t m_lSubIndex = kNoEntryYet;
    uint8_t m_lSubIndexLimit = 0;
    wchar_t m_clstrPath[kPathBufferChars] = {};
    bool m_bDamageOpen = false;
    uint64_t m_lDamageStart = 0;
    uint64_t m_lDamageReportedTo = 0;
    uint64_t m_lDmrCoveredTo = 0;
};
