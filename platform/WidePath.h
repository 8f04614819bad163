// Paths reach the file classes as wide strings; the operating system wants
// its native (UTF-8) bytes. A path longer than 259 characters is refused,
// never truncated: a truncated path names another file.
#pragma once

#include <string>

constexpr size_t kPlatformMaxPathChars = 259;

// False for a null, over-long or unconvertible path.
bool WidePathToNative(const wchar_t *clstrPath, std::string &clstrNative);
std::wstring NativePathToWide(const std::string &clstrNative);
