// One pass over a recording through the engine's readers: what info, dump and
// verify print is collected here, so that every command reads a file alike.
#pragma once

#include "ReaderDiagnostics.h"
#include "RecordTypes.h"

#include <QList>
#include <QMap>
#include <QString>

#include <cstdint>
#include <functional>

// A stretch without records longer than the asked gap, in milliseconds since
// 1970 UTC: from the latest time before it to the first time after it.
struct StructTimeGap {
    int64_t fromMs = 0;
    int64_t toMs = 0;
};

struct StructFileSurvey {
    QString path;
    bool opened = false;
    FileHeaderInfo header{};
    // "container", "tmw" or "lan"; the container's version; the stream of a
    // ".lan" file ("tetra", "dmr", or "unknown" before any record).
    QString format;
    int containerVersion = 0;
    QString lanStream;
    int64_t size = -1;
    uint64_t records = 0;
    QMap<uint8_t, uint64_t> kinds; // records per payload kind
    uint64_t damagedSkipped = 0;   // records the reader answered as damaged
    // Items of DMR records that a container cannot hold: converting this
    // recording into a container (split, merge) leaves them out.
    uint64_t dmrItemsNotInContainer = 0;
    QList<StructReaderDiagnostic> diagnostics;
    // The first time stamp in reading order and the latest one.
    bool hasTime = false;
    int64_t firstMs = 0;
    int64_t lastMs = 0;
    QList<StructTimeGap> gaps;
    // Reading ended with an error of the file system or the reader, not at
    // the end of the data; lastResult holds its result code.
    bool readFailed = false;
    int lastResult = 0;
    // The record callback asked to stop.
    bool stopped = false;

    // The format as a person reads it: "container version 3", ".tmw",
    // ".lan TETRA", ".lan DMR".
    QString FormatText() const;
    bool Damaged() const { return !diagnostics.isEmpty() || damagedSkipped > 0; }
};

// Sees each record as it is read; false stops reading.
using SurveyRecordCallback = std::function<bool(const RawRecord &)>;

// Opens the file of that name (literally, see ReaderPath) through the format
// choice and reads it to its end, or in online mode to what it holds now.
// Gaps are those longer than lGapMs (none are looked for when it is negative).
StructFileSurvey SurveyFile(const QString &clstrPath, int64_t lGapMs, bool bOnline,
                            const SurveyRecordCallback &fnRecord = SurveyRecordCallback());
