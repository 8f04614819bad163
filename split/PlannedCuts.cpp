#include "PlannedCuts.h"

#include "SplitName.h"
#include "SplitPlan.h"
#include "WorkerContext.h"

#include <QFileInfo>

namespace {

QString PartName(const CSplitPlan &clPlan, StructSplitName &clName) {
    clPlan.ApplyTo(clName);
    return MakePartName(clName) == SplitNameResult::Ok ? QFileInfo(clName.outputPath).fileName()
                                                       : QString();
}

} // namespace

QList<StructPlannedCut> PlanCuts(const CScanIndex &clIndex, const StructSplitSettings &clSettings,
                                 const StructSourceInfo &clInfo) {
    QList<StructPlannedCut> clCuts;
    if (clInfo.name.isEmpty())
        return clCuts;
    // As the split worker sets its plan up: the recorded span, moved by the
    // offset this split applies.
    const int64_t lShown = clInfo.synchronised ? clInfo.offset : 0;
    const int64_t lFirst = clInfo.first.toSecsSinceEpoch() - lShown;
    const int64_t lLast = clInfo.last.toSecsSinceEpoch() - lShown;
    const int64_t lOffset = clSettings.applyOffset ? clInfo.offset : 0;
    CSplitPlan clPlan(clSettings, lFirst + lOffset, clInfo.size);
    if (!clPlan.ModeKnown())
        return clCuts;
    StructSplitName clName = InitialSplitName(clSettings, clInfo.name);

    const CScanIndex::Minutes &clMinutes = clIndex.MinuteMap();
    uint64_t lConsumed = clMinutes.empty() ? 0 : clMinutes.begin()->second.firstPosition;
    bool bStarted = false;
    for (auto clAt = clMinutes.lower_bound(CScanIndex::MinuteOf(lFirst));
         clAt != clMinutes.end() && clAt->first <= CScanIndex::MinuteOf(lLast); ++clAt) {
        const StructScanMinute &clMinute = clAt->second;
        // The minute's first record lies near its start in the file, its last
        // past all of its bytes.
        const uint64_t lAfterFirst = lConsumed + clMinute.bytes / (clMinute.records + 1);
        lConsumed += clMinute.bytes;
        for (const auto &[lTime, lAt] :
             {std::pair{clMinute.earliest, lAfterFirst}, std::pair{clMinute.latest, lConsumed}}) {
            const SplitAction enAction = clPlan.Decide(lTime + lOffset, lAt);
            if (enAction == SplitAction::StartNewPart) {
                clCuts << StructPlannedCut{lTime, clPlan.PartNumber(), PartName(clPlan, clName)};
            } else if (enAction == SplitAction::EndSplit) {
                clCuts << StructPlannedCut{lTime, 0, QString()};
                return clCuts;
            } else if (clPlan.Started() && !bStarted) {
                bStarted = true;
                clCuts << StructPlannedCut{lTime, 1, PartName(clPlan, clName)};
            }
            if (clMinute.records == 1)
                break;
        }
    }
    return clCuts;
}
