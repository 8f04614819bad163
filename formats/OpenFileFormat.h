#pragma once

#include "VirtualFileFormat.h"

#include <memory>

// Chooses the reader for a path, opens the file and turns on the delivery of
// notice records. Returns nothing when the file cannot be opened or read as
// its format; the caller tells the user.
std::unique_ptr<CVirtualFileFormat> OpenFileFormat(const wchar_t *clstrPath,
                                                   FileHeaderInfo &clInfo);
