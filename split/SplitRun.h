// One run of the split worker: the source reader, the writer of the current
// part, the plan and the naming state. Internal to the split worker.
#pragma once

#include "BrennovarstikFileFormatV1.h"
#include "RunResult.h"
#include "ScanIndex.h"
#include "SplitEvents.h"
#include "SplitName.h"
#include "SplitPlan.h"
#include "TimeGlitch.h"
#include "WorkerContext.h"
#include "WorkerLoop.h"
#include "WorkerThreads.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

// "<path>" and the problem on the next line, as the dialog shows file problems.
QString FileProblemText(const QString &clstrPath, const QString &clstrProblem);

class CSplitRun {
  public:
    CSplitRun(StructWorkerContext &clContext, const SplitSourceOpener &fnOpen);
    CSplitRun(const CSplitRun &) = delete;
    CSplitRun &operator=(const CSplitRun &) = delete;

    // The whole split. The source and the last part are closed when it
    // returns; parts already written stay.
    StructRunResult Run();

  private:
    bool Prepare();
    bool FrequencyCorrected() const {
        return m_clSettings.correctFrequency && m_clSettings.frequencyHz >= 0;
    }
    bool ReadRecords();
    // The same for a version-3 container whose records pass unchanged: frames
    // that go to the open part one after the other are written as one stretch.
    bool ReadFrames();
    bool SplitFrame(const StructContainerFrame &clFrame, bool &bEnd);
    // With the scan's index of a source unchanged since: the minutes it found
    // exact, in file order, for copying them whole.
    void PrepareCopies();
    // Where the next frame begins at the start of an exact minute: copies it
    // and the exact minutes after it that the plan keeps in the open part
    // into that part, and reading goes on behind them. False once a write
    // has failed.
    bool CopyMinutes(CSourceRecords &clRecords);
    // Writes the waiting stretch; false once a write has failed.
    bool FlushRun();
    // Carries out the plan's decision; bWrite: the record goes into the open part.
    bool Follow(SplitAction enAction, bool &bEnd, bool &bWrite);
    bool FailWrite();
    bool FailRead();
    // The source read to its end: held records out, damage reported.
    bool SourceEnded(const StructDamageCount &clDamage);
    bool SplitRecord(RawRecord &clRecord, bool &bEnd);
    // A record whose time waits for its next neighbour's, kept as a copy.
    struct HeldRecord {
        RawRecord record;
        std::vector<uint8_t> payload;
        std::vector<uint8_t> frame; // the source frame for the pass-through; empty otherwise
        std::optional<int64_t> time;
        uint64_t consumed;
    };
    void Hold(const RawRecord &clRecord, std::optional<int64_t> clTime, uint64_t lConsumed);
    // Places the held records now that the next timed record's time (none:
    // the end of the source) decides on the first of them.
    bool ReleaseHeld(std::optional<int64_t> clNextTime, bool &bEnd);
    // Puts one record into its part. A glitch's time neither opens nor names
    // a part; the record stays with its neighbours.
    bool PlaceRecord(const RawRecord &clRecord, const uint8_t *pFrame, uint32_t lFrameLength,
                     std::optional<int64_t> clTime, uint64_t lConsumed, bool bGlitch, bool &bEnd);
    FileResult WriteRecord(const RawRecord &clRecord, const uint8_t *pFrame, uint32_t lFrameLength);
    // What the user learns at the end of a split that went on past problems.
    void ReportNotice(const StructDamageCount &clDamage);

    // SplitWorkerParts.cpp: parts, questions and their answers.
    bool OpenPart();
    bool ClosePart();
    uint8_t AskOverwrite();
    bool AskRetry();
    std::optional<uint8_t> AskQuestion(void (CSplitEvents::*pQuestion)(const QString &),
                                       std::atomic<uint8_t> &clAnswer, uint8_t lUnanswered);
    bool WrittenThisRun(const QString &clstrPath) const;
    bool Fail(const QString &clstrText);

    StructWorkerContext &m_clContext;
    const SplitSourceOpener &m_fnOpen;
    CSplitEvents &m_clEvents;
    CPlatformEvent &m_clStop;
    const StructSplitSettings m_clSettings;
    QString m_clstrSource;     // as opened, perhaps with the "online:" prefix
    QString m_clstrSourceFile; // the file itself: part names and the identity check
    int64_t m_lOffset = 0;

    SourceReader m_pReader;
    // The source as a container when records pass through unchanged, so
    // that its frames can be written as they are; null otherwise.
    CBrennovarstikFileFormatV1 *m_pPassThrough = nullptr;
    // The stretch of frames in the reader's window that waits for the open part.
    const uint8_t *m_pRunStart = nullptr;
    const uint8_t *m_pRunEnd = nullptr;
    bool m_bRunWriteFailed = false;
    std::vector<const StructScanMinute *> m_clMinutes; // the index's minutes by position
    size_t m_lMinuteAt = 0;     // the first of them not before the next frame
    uint64_t m_lNextFrame = 0;  // where the next frame begins; 0 before the first
    CBinaryFile m_clCopySource; // the source once more, where minutes are copied from
    FileHeaderInfo m_clHeader{};
    std::optional<CSplitPlan> m_clPlan;
    StructSplitName m_clName;
    std::optional<CTimeGlitchRule> m_clGlitchRule;
    std::deque<HeldRecord> m_clHeld;
    uint64_t m_lGlitches = 0;
    uint64_t m_lDmrItemsLost = 0;

    std::unique_ptr<CBrennovarstikFileFormatV1> m_pWriter;
    bool m_bPartOpen = false;
    QString m_clstrOpenPart;
    StructSplitPart m_clPartReport; // the open part's records and times
    QStringList m_clWrittenParts;   // every output opened by this run
    bool m_bFailureReported = false;
    QString m_clstrFailure;    // the first failure's text
    bool m_bUserEnded = false; // an abort answer or a declined retry
};
