// Sample recordings in the TMW formats: ".tmw" files of 84-byte TETRA frames
// and ".lan" files of TETRA entries or DMR frames. The bytes come from the
// encoders in tools/tmw-encoders, which share no code with the readers, so a
// sample also checks the readers. Plain C++ without Qt, like the rest of the
// generator.
#pragma once

#include "SampleGenerator.h"

#include <cstdint>
#include <string>

enum class SampleFormat : uint8_t {
    Container, // every name that is not a TMW recording's
    Tmw,       // ".tmw": TETRA frames
    LanTetra,  // ".lan", kind tetra: frame entries, extended entries, entries of other kinds
    LanDmr,    // ".lan", kind dmr: DMR frames
};

// The kinds a sample gets when none are asked for: all of them in a
// container, tetra in a ".tmw" or ".lan" file.
uint32_t DefaultSampleKinds(const wchar_t *clstrPath);

// The format by the last four characters of the path (the rule that chooses
// the readers) and, for ".lan", by the kinds. False, with the reason in
// clstrProblem, when the kinds cannot be written in a file of that name: a
// ".tmw" file holds tetra only, a ".lan" file tetra or dmr.
bool ChooseSampleFormat(const wchar_t *clstrPath, uint32_t lKinds, SampleFormat &enFormat,
                        std::string &clstrProblem);

// False, with the reason, when the format cannot carry the settings: a magic
// (TMW recordings have no header), or times outside what its time fields hold
// (".tmw" and TETRA ".lan" frames count 32-bit seconds from 2000, DMR frames
// carry years up to 2100). Written by size, a sample stops at the last time
// instead.
bool CheckSampleSettings(SampleFormat enFormat, const StructSampleSettings &clSettings,
                         std::string &clstrProblem);

// Writes a ".tmw" or ".lan" sample (enFormat not Container): frame or entry i
// is stamped lStartTime + i / lRate seconds, in milliseconds, until lMinutes
// have passed, the file holds lTargetBytes or lRecordLimit frames or entries are
// written. The outcome counts the frames or
// entries written (lFrames) and the records a reader makes of them (lRecords):
// frames without a burst, entries of other kinds and DMR frames of other kinds
// make none, an uplink frame of entry type 17 makes two, and an extended entry
// one per sub-entry. Its times are those of the first and last frame written.
// Settings that CheckSampleSettings refuses write nothing (FILE_DAMAGED).
StructSampleOutcome WriteTmwSampleRecording(const wchar_t *clstrPath,
                                            const StructSampleSettings &clSettings,
                                            SampleFormat enFormat);
