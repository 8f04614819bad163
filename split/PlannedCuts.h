// Where a split with the given settings would start its parts, worked out
// from the scan's per-minute index by the same plan the split worker follows,
// so a preview cannot drift from what Start does. Minute resolution: records
// are stood for by the earliest and latest time of their minute.
#pragma once

#include "ScanIndex.h"
#include "SplitSettings.h"

#include <QList>
#include <QString>

#include <cstdint>

struct StructSourceInfo;

struct StructPlannedCut {
    int64_t time = 0;        // recorded time of the first record of the part, seconds
    uint32_t partNumber = 0; // the part it starts; 0 where the period ends and nothing starts
    QString name;            // the part's file name without folder; empty when none can be made
};

// The cuts inside the source's span, in time order. The first part of a split
// by time or by number begins with the source and is no cut; the period mode
// gives its start and its end.
QList<StructPlannedCut> PlanCuts(const CScanIndex &clIndex, const StructSplitSettings &clSettings,
                                 const StructSourceInfo &clInfo);
