// Existence, renaming and folder listings for wide paths.
#pragma once

#include <string>
#include <vector>

struct PlatformFolderEntry {
    std::wstring name;
    bool bFolder;  // a folder, or a symbolic link to one
    bool bSymlink; // the entry itself is a symbolic link
};

// True when anything stands at the path, a dangling symbolic link included.
bool PlatformPathExists(const wchar_t *clstrPath);

// Renames a file. Fails, and leaves both names as they were, when the target
// exists; the check and the rename are one step, so no file that appears in
// between is replaced. Also fails across file systems.
bool PlatformRenameFile(const wchar_t *clstrFrom, const wchar_t *clstrTo);

// True when clstrName matches a mask of '*' (any run of characters, also
// none) and '?' (exactly one character); all other characters match only
// themselves, letter case included.
bool PlatformMatchMask(const std::wstring &clstrName, const wchar_t *clstrMask);

// Lists the entries of a folder whose names match the mask, files and folders
// alike (callers tell them apart by bFolder), sorted by name; never "." or
// "..". Names that cannot be written as a wide path are left out. False, with
// an empty list, when the folder cannot be read.
bool PlatformEnumerateFolder(const wchar_t *clstrFolder, const wchar_t *clstrMask,
                             std::vector<PlatformFolderEntry> &clEntries);

// Lists every subfolder whatever its name, sorted by name, for a depth-first
// walk. Links to folders are included with bSymlink set, so a walker can skip
// them and never run in a circle.
bool PlatformEnumerateSubfolders(const wchar_t *clstrFolder,
                                 std::vector<PlatformFolderEntry> &clEntries);
