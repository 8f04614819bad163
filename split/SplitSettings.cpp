#include "SplitSettings.h"

#include <utility>

namespace {

// Rounds down also before 1970, where plain division would round up.
int64_t FloorToMinute(int64_t lSeconds) {
    int64_t lMinutes = lSeconds / 60;
    if (lSeconds % 60 < 0)
        --lMinutes;
    return lMinutes * 60;
}

} // namespace

bool CollectSplitSettings(const StructSplitTabValues &clValues, StructSplitSettings &clSettings) {
    StructSplitSettings clNew;
    clNew.showUtc = clValues.showUtc;
    clNew.namingScheme = clValues.schemeIndex;

    if (clValues.splitTypeId < SPLIT_BY_TIME || clValues.splitTypeId > SPLIT_BY_NUMBER)
        return false;
    clNew.mode = uint8_t(clValues.splitTypeId);

    if (clNew.namingScheme == kFixedNameScheme) {
        // Every part of the other modes would land on the one fixed path.
        if (clValues.fixedNameText.isEmpty() || clNew.mode != SPLIT_BY_PERIOD)
            return false;
        clNew.fixedName = clValues.fixedNameText;
    }

    clNew.applyOffset = clValues.protocolOffset != 0 && clValues.syncChecked;

    clNew.partLength = (int64_t(clValues.lengthHours) * 60 + clValues.lengthMinutes) * 60;
    // The field at 00:00 reads "24:00": a whole day.
    if (clNew.partLength < 60)
        clNew.partLength = kSecondsPerDay;
    clNew.alignToUnit = clValues.alignChecked;

    clNew.periodStart = clValues.periodFrom;
    clNew.periodEnd = clValues.periodTo;
    if (clNew.periodEnd < clNew.periodStart)
        std::swap(clNew.periodStart, clNew.periodEnd);
    if (clValues.minutePrecision) {
        // The shown last minute is included whole.
        clNew.periodStart = FloorToMinute(clNew.periodStart);
        clNew.periodEnd = FloorToMinute(clNew.periodEnd) + 59;
    }

    if (clValues.partCount) {
        if (*clValues.partCount < 1)
            return false;
        clNew.partCount = uint32_t(*clValues.partCount);
    } else {
        clNew.partCount = 2;
    }

    clNew.frequencyHz = -1;
    if (clValues.frequencyText) {
        bool bOk = false;
        const int lHz = clValues.frequencyText->toInt(&bOk, 10);
        if (bOk)
            clNew.frequencyHz = lHz;
    }
    // A correction to "no value" would store -1 as 2^64 - 1 Hz.
    clNew.correctFrequency = clValues.frequencyChecked && clNew.frequencyHz >= 0;

    clSettings = clNew;
    return true;
}
