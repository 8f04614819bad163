// Names of the output parts: the source's folder and cleaned base name, the
// part number and the part's start time, arranged by one of ten schemes, or
// the fixed path chosen by the user. Paths are never shortened: a name that
// does not fit the file classes is an error for the caller to report.
#pragma once

#include "PathNormalise.h"
#include "SplitSettings.h"
#include "VirtualFileFormat.h" // kMaxPathChars: the longest path the file classes take

#include <QString>

#include <cstdint>

struct StructSplitName {
    uint32_t namingScheme = 0; // 0..10; above 10 acts as 5
    bool showUtc = true;
    QString sourcePath;
    QString outputFolder; // empty: the source's folder
    QString outputPath;   // the result; with the fixed-name scheme the fixed path
    uint32_t partNumber = 1;
    int64_t cut = 0; // start time of the part, seconds since 1970 UTC
};

enum class SplitNameResult : uint8_t {
    Ok,
    SourcePathTooLong,    // the source path has more than 259 characters
    NameTooLong,          // the part name or fixed path has more than 259 characters
    NoName,               // the fixed-name scheme without a fixed path
    TimeNotRepresentable, // the start time lies outside the calendar's range
};

// The naming state before the first part: scheme, time zone and source from
// the settings, and in the period mode the fixed path. The part number and
// start time come from the plan (CSplitPlan::ApplyTo).
StructSplitName InitialSplitName(const StructSplitSettings &clSettings,
                                 const QString &clstrSourcePath);

// Builds outputPath from the other fields; touches no file. On an error
// outputPath is cleared, so a stale name can never be opened by mistake.
SplitNameResult MakePartName(StructSplitName &clName);

// The folder (with its trailing "/", empty when there is none) and the base
// name without extension, cleaned of date and short tokens. False, with both
// empty, for a source path longer than 259 characters.
bool SplitSourcePath(const QString &clstrPath, QString &clstrFolder, QString &clstrBaseName);

// Removes what earlier splits and recorders added between "__": date tokens
// (19 of digits, "-", ".", "_") and short tokens ("CN" + 4 or "P" + 5 digits
// or "_"). At a "__" followed by anything else the name is cut there.
QString CleanBaseName(const QString &clstrBaseName);

// The date-time text of a part, "yyyy-MM-dd_hh.mm.ss", in UTC or in the local
// time zone; empty when the time cannot be shown as a date.
QString PartTimeText(int64_t lSeconds, bool bUtc);

// "01" ... "99", "100", ...
QString PartNumberText(uint32_t lPartNumber);
