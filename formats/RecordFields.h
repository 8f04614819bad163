// Time stamp and carrier frequency of a record, read and changed in place in
// its payload. The split plan and the workers see record times only through
// these functions.
#pragma once

#include "RecordTypes.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// A generic payload holds its time in bytes 16..23 and its frequency in bytes
// 64..71, as native 64-bit integers; shorter payloads hold neither.
constexpr uint32_t kGenericTimeOffset = offsetof(GenericTmvHead, timeSeconds);
constexpr uint32_t kGenericFrequencyOffset = offsetof(GenericTmvHead, frequency);

// Seconds since 1970 UTC, or none for notices, unknown kinds, a missing
// payload or one too short for its kind.
std::optional<int64_t> RecordTimeSeconds(const RawRecord &clRecord);

// The same time in milliseconds since 1970 UTC: TETRA and DMR add their
// milliseconds, GSM keeps its file time to the millisecond, a generic payload
// has whole seconds only.
std::optional<int64_t> RecordTimeMilliseconds(const RawRecord &clRecord);

// Adds the offset to the record's time stamp; records without one stay as
// they are. GSM file times move by the offset in 100-ns units.
void ShiftRecordTime(RawRecord &clRecord, int64_t lOffsetSeconds);

// The frequency correction: for kinds 0..4 the record's frequency becomes
// lFrequencyHz and so does the payload's own frequency field, which is marked
// valid where the payload has such a mark. Other kinds stay as they are.
void SetRecordFrequency(RawRecord &clRecord, uint64_t lFrequencyHz);

// The carrier frequency a record states in its payload, as the scan notes it:
// none for kinds outside 0..4, a TETRA frequency not marked valid, or a zero
// value of the other kinds.
std::optional<uint64_t> RecordFrequency(const RawRecord &clRecord);
