// The split settings, collected once when a split starts and read-only for
// the worker afterwards.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

enum SplitMode : uint8_t {
    SPLIT_BY_TIME = 0,
    SPLIT_BY_PERIOD = 1,
    SPLIT_BY_NUMBER = 2,
};

// Index of the "Fixed name" entry, right after the standard schemes.
constexpr uint32_t kStandardNamingSchemes = 10;
constexpr uint32_t kFixedNameScheme = kStandardNamingSchemes;
constexpr int64_t kSecondsPerDay = 86400;

struct StructSplitSettings {
    uint32_t namingScheme = 0;
    // The fixed output path, set only with the fixed-name scheme. Held as a
    // copy: the worker must not reach into the dialog's fields while it runs.
    QString fixedName;
    bool showUtc = true;
    bool applyOffset = false;
    uint8_t mode = SPLIT_BY_TIME;
    bool alignToUnit = false;
    int64_t partLength = kSecondsPerDay; // seconds, by time
    int64_t periodStart = 0;             // seconds since 1970 UTC, by period
    int64_t periodEnd = 0;               // inclusive
    uint32_t partCount = 2;              // by number
    bool correctFrequency = false;
    int64_t frequencyHz = -1; // -1: no value
    // Where the parts go; empty: beside the source. Set by scripts only.
    QString outputFolder;
    // The parts are named, asked about and encoded as in a real split, but
    // their bytes go to the null device: what a split would write, counted.
    bool countOnly = false;
};

// What the split tab shows when Start is pressed, as plain values.
struct StructSplitTabValues {
    bool showUtc = true;
    uint32_t schemeIndex = 0; // current index of the naming list
    QString fixedNameText;
    int64_t protocolOffset = 0; // found by the scan; 0 when none
    bool syncChecked = false;
    int splitTypeId = -1; // checked id of the split-type group, -1 for none
    int lengthHours = 0;  // the length field, 0..23
    int lengthMinutes = 0;
    bool alignChecked = false;
    int64_t periodFrom = 0; // seconds since 1970 UTC
    int64_t periodTo = 0;
    bool minutePrecision = true;  // the period fields show no seconds
    std::optional<int> partCount; // empty when the number field is missing
    bool frequencyChecked = false;
    std::optional<QString> frequencyText; // empty when the frequency field is missing
};

// Fills clSettings from the tab. Returns false, leaving clSettings untouched,
// when the split must not start: no split type, fixed name chosen but empty or
// outside the period mode, or a part count of 0.
bool CollectSplitSettings(const StructSplitTabValues &clValues, StructSplitSettings &clSettings);
