// Which reader class a path gets, the "online:" prefix, and the position and
// progress rule shared by all readers.
#pragma once

#include <cstdint>

class CBinaryFile;

enum class FileFormatKind { Container, ProprietaryTmw, Tmw };

// By the last four characters: ".LAN" and ".TMW" (any case) are TMW
// recordings; everything else, and any path shorter than four characters, is
// tried as a container.
FileFormatKind ChooseFileFormat(const wchar_t *clstrPath);

// A path that begins with "online:", "Online:" or "ONLINE:" opens the rest in
// online mode whatever bOnline says. Returns the path to open.
const wchar_t *ApplyOnlinePrefix(const wchar_t *clstrPath, bool &bOnline);

// Bytes consumed: with p the file position after the last physical read, f the
// bytes held in the read buffer and c those already used, c - f + max(p, f).
// 0 when the position is not positive.
uint64_t ConsumedFilePosition(int64_t lFilePosition, uint64_t lFill, uint64_t lConsumed);
// The consumed position as a percentage of the file size; 0 when the position
// is not positive or the size is unknown (negative) or zero.
double ConsumedFileProgress(int64_t lFilePosition, uint64_t lFill, uint64_t lConsumed,
                            int64_t lFileSize);

// GetFileSize and GetProgress of every reader: the file's total size, or the
// bytes consumed; 0 while nothing has been read.
uint64_t ReaderFileSize(const CBinaryFile &clFile, bool bTotal, uint64_t lFill, uint64_t lConsumed);
double ReaderProgress(const CBinaryFile &clFile, uint64_t lFill, uint64_t lConsumed);
