// What the scan and the split do alike in their read loops: opening the
// source, taking its records one by one, polling the stop event and pacing
// the progress reports.
#pragma once

#include "BrennovarstikFileFormatV1.h"
#include "Event.h"
#include "ReaderDiagnostics.h"
#include "VirtualFileFormat.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

struct ReaderCloser {
    void operator()(CVirtualFileFormat *pReader) const;
};
// A reader that is closed and destroyed with its holder.
using SourceReader = std::unique_ptr<CVirtualFileFormat, ReaderCloser>;

// Opens the source through the format choice; empty when it cannot be read.
SourceReader OpenSource(const QString &clstrPath, FileHeaderInfo &clInfo);

enum class SourceStep : uint8_t {
    Record, // a record was delivered
    End,    // the end of the source
    Failed, // the reader reported an error
};

// What a run stepped over in its sources, for telling the user at its end.
struct StructDamageCount {
    uint64_t records = 0; // records the reader refused
    uint64_t bytes = 0;   // bytes that formed no record

    bool Any() const { return records > 0 || bytes > 0; }
    StructDamageCount &operator+=(const StructDamageCount &clOther) {
        records += clOther.records;
        bytes += clOther.bytes;
        return *this;
    }
};

class CSourceRecords {
  public:
    // Listens to the reader's damage reports while it lives and passes each
    // on to fnAlso when that is set.
    explicit CSourceRecords(CVirtualFileFormat &clReader,
                            ReaderDiagnosticsCallback fnAlso = ReaderDiagnosticsCallback());
    ~CSourceRecords();
    CSourceRecords(const CSourceRecords &) = delete;
    CSourceRecords &operator=(const CSourceRecords &) = delete;

    // The next record. A damaged record (4) is stepped over as long as the
    // reader moves on past it; one that leaves the reader where it was counts
    // as the end, so no loop can spin on it. End of data (3, or 8 of a file
    // still being written) is the end; any other result is a failure.
    SourceStep Next(RawRecord &clRecord);
    // The same for a container source read frame by frame (clContainer is
    // the reader this object was made for).
    SourceStep NextFrame(CBrennovarstikFileFormatV1 &clContainer, StructContainerFrame &clFrame);
    // Forgets the frames taken from the reader but not handed out yet, for a
    // caller that moves the reader on.
    void DropFrames() { m_lFrameAt = m_lFrameCount = 0; }
    FileResult LastResult() const { return m_enLast; }
    // Damaged records stepped over so far, for telling the user.
    uint64_t DamagedSkipped() const { return m_lDamagedSkipped; }
    // Everything stepped over so far: refused records (as answered or as
    // reported, whichever says more) and bytes that formed no record.
    StructDamageCount Damage() const {
        return StructDamageCount{std::max(m_lDamagedSkipped, m_lRefusedReported), m_lBytesStepped};
    }

  private:
    // Takes one read result; false when a damaged record was stepped over and
    // reading goes on.
    bool Settled(FileResult enResult, SourceStep &enStep);

    // Frames are taken from the reader a few at a time; the window does not
    // move while some are still to be handed out.
    static constexpr uint32_t kFramesAtOnce = 32;
    std::array<StructContainerFrame, kFramesAtOnce> m_aFrames;
    uint32_t m_lFrameAt = 0;
    uint32_t m_lFrameCount = 0;
    CVirtualFileFormat &m_clReader;
    CReaderDiagnostics *m_pDiagnostics;
    uint64_t m_lPositionAtDamage;
    uint64_t m_lDamagedSkipped = 0;
    uint64_t m_lRefusedReported = 0;
    uint64_t m_lBytesStepped = 0;
    FileResult m_enLast = FILE_OK;
};

// The writer flags of an output of the split or the merge: records kept until
// the buffer is nearly full, no order buffer (records leave in reading order),
// and the file replaced only where the user agreed to it and one stands at the
// path, created anew otherwise. Looked at for every attempt to open, so that a
// retry follows what the user changed meanwhile.
uint8_t OutputFlags(const wchar_t *clstrPath, bool bReplaceAgreed);

class CWorkerPacer {
  public:
    // Stop polls once every this many records.
    static constexpr uint32_t kPollEvery = 1001;

    explicit CWorkerPacer(const CPlatformEvent &clStop);

    // Counts one record; true on every kPollEvery-th, when the worker looks at
    // the stop event and may report progress. Between polls nothing else is
    // done, to keep the per-record cost low.
    bool PollDue() {
        if (++m_lCount < kPollEvery)
            return false;
        m_lCount = 0;
        return true;
    }
    // The same for lRecords taken at once (a chunk's): true when they bring
    // the count to kPollEvery or past it.
    bool PollDueAfter(uint64_t lRecords) {
        if (lRecords < kPollEvery - m_lCount) {
            m_lCount += uint32_t(lRecords);
            return false;
        }
        m_lCount = 0;
        return true;
    }
    bool StopRequested() const { return m_clStop.IsSet(); }
    // At a poll: true when a progress report is due, at most one per 50 ms.
    bool ProgressDue();

  private:
    const CPlatformEvent &m_clStop;
    uint32_t m_lCount = 0;
    uint64_t m_lNextReport;
};

// A reader's progress in percent as a progress code 1 ... 999; 0 when there
// is nothing to report (the codes 0 and 1000 mean start and end).
int ProgressCode(double dPercent);
