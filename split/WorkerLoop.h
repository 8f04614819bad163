// What the scan and the split do alike in their read loops: opening the
// source, taking its records one by one, polling the stop event and pacing
// the progress reports.
#pragma once

#include "Event.h"
#include "VirtualFileFormat.h"

#include <QString>

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

class CSourceRecords {
  public:
    explicit CSourceRecords(CVirtualFileFormat &clReader);

    // The next record. A damaged record (4) is stepped over as long as the
    // reader moves on past it; one that leaves the reader where it was counts
    // as the end, so no loop can spin on it. End of data (3, or 8 of a file
    // still being written) is the end; any other result is a failure.
    SourceStep Next(RawRecord &clRecord);
    FileResult LastResult() const { return m_enLast; }
    // Damaged records stepped over so far, for telling the user.
    uint64_t DamagedSkipped() const { return m_lDamagedSkipped; }

  private:
    CVirtualFileFormat &m_clReader;
    uint64_t m_lPositionAtDamage;
    uint64_t m_lDamagedSkipped = 0;
    FileResult m_enLast = FILE_OK;
};

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
