// The codes the dialog's progress signals carry (Signal_Splitter_ProgressBar,
// Signal_Join_ProgressBar): the one place where a run's end is a number.
#pragma once

#include "RunResult.h"

constexpr int kProgressStarted = 0;
// 1 ... 999: progress in tenths of a percent.
constexpr int kProgressEnd = 1000; // the scan, the fill or the merge finished; the bar's maximum
constexpr int kProgressSplitFinished = 2000;
constexpr int kProgressFailed = -1; // failed or stopped

// The end code of a run: lFinished when it finished, kProgressFailed otherwise.
inline int ProgressEndCode(const StructRunResult &clResult, int lFinished) {
    return clResult.Succeeded() ? lFinished : kProgressFailed;
}
