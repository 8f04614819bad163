// The commands of bvftool. Each takes its arguments with its own name first
// and returns the process's exit code.
#pragma once

#include <QStringList>

int RunInfo(const QStringList &clArguments);
int RunDump(const QStringList &clArguments);
int RunVerify(const QStringList &clArguments);
int RunMerge(const QStringList &clArguments);
int RunTimeline(const QStringList &clArguments);
