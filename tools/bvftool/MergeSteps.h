// What merge and extract share: files named once each, examined and put in
// order by the merge tab's fill worker.
#pragma once

#include "JoinFileData.h"

#include <QStringList>

// True, with the file named, when a file is named twice (also by another path).
bool RefuseRepeatedFiles(const QStringList &clFiles);

// Examines the files with the fill worker. False, with the reason told, when
// a file cannot be examined and may not be left out.
bool ExamineForMerge(const QStringList &clFiles, bool bSkipUnreadable, CMergeList &clList);
