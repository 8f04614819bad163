// Paths as the dialog compares and stores them, and the check that an output
// would overwrite its own source.
#pragma once

#include "VirtualFileFormat.h" // kMaxPathChars: the longest path the file classes take

#include <QString>

// Removes doubled separators after an optional leading "//" (a network
// prefix, kept). Nothing else changes: on this system a backslash, a "::" or a
// leading blank is part of a file name, and folding or removing them would
// name another file. The result always names the same file as the input.
QString NormalisePath(const QString &clstrPath);

// The two paths, normalised, are the same text (letter case counts).
bool SamePathText(const QString &clstrFirst, const QString &clstrSecond);

// Both paths exist and lead to the same file (same device and inode), also
// through ".", "..", symbolic and hard links. False when either cannot be
// looked at.
bool IsSameFile(const QString &clstrFirst, const QString &clstrSecond);

// A part at clstrOutput would overwrite the source: by the path text or by
// the file's identity.
bool OutputIsSource(const QString &clstrOutput, const QString &clstrSource);

// True when the path fits the file classes (counted in wide characters, as
// they count).
bool PathFitsFileClasses(const QString &clstrPath);

// The file name shown in questions: the text after the last "/", or the whole
// path when there is no separator after its first character.
QString BareFileName(const QString &clstrPath);
