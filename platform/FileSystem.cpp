#include "FileSystem.h"

#include "WidePath.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

bool PlatformPathExists(const wchar_t *clstrPath) {
    std::string clstrNative;
    if (!WidePathToNative(clstrPath, clstrNative))
        return false;
    struct stat clInfo {};
    return lstat(clstrNative.c_str(), &clInfo) == 0;
}

bool PlatformRenameFile(const wchar_t *clstrFrom, const wchar_t *clstrTo) {
    std::string clstrNativeFrom;
    std::string clstrNativeTo;
    if (!WidePathToNative(clstrFrom, clstrNativeFrom) || !WidePathToNative(clstrTo, clstrNativeTo))
        return false;
    const char *pFrom = clstrNativeFrom.c_str();
    const char *pTo = clstrNativeTo.c_str();

#ifdef SYS_renameat2
    if (syscall(SYS_renameat2, AT_FDCWD, pFrom, AT_FDCWD, pTo, RENAME_NOREPLACE) == 0)
        return true;
    // Only a kernel or file system without the flag gets the fallback; any
    // other error (the target exists, among them) is final.
    if (errno != ENOSYS && errno != EINVAL)
        return false;
#endif

    // link() refuses an existing target in the same single step (and refuses
    // folders, which this function does not rename).
    if (link(pFrom, pTo) != 0)
        return false;
    if (unlink(pFrom) != 0) {
        unlink(pTo);
        return false;
    }
    return true;
}

bool PlatformMatchMask(const std::wstring &clstrName, const wchar_t *clstrMask) {
    if (clstrMask == nullptr)
        return false;
    const wchar_t *pName = clstrName.c_str();
    const wchar_t *pNameEnd = pName + clstrName.size();
    const wchar_t *pMask = clstrMask;
    // Greedy with one step back: on a mismatch, let the last '*' swallow one
    // more character. Linear in practice, never exponential.
    const wchar_t *pStarMask = nullptr;
    const wchar_t *pStarName = nullptr;
    while (pName < pNameEnd) {
        if (*pMask == L'*') {
            pStarMask = ++pMask;
            pStarName = pName;
        } else if (*pMask != L'\0' && (*pMask == L'?' || *pMask == *pName)) {
            ++pMask;
            ++pName;
        } else if (pStarMask != nullptr) {
            pMask = pStarMask;
            pName = ++pStarName;
        } else {
            return false;
        }
    }
    while (*pMask == L'*')
        ++pMask;
    return *pMask == L'\0';
}

namespace {

enum class ListWhat { Matching, Subfolders };

bool ListFolder(const wchar_t *clstrFolder, const wchar_t *clstrMask, ListWhat enWhat,
                std::vector<PlatformFolderEntry> &clEntries) {
    clEntries.clear();
    std::string clstrNative;
    if (!WidePathToNative(clstrFolder, clstrNative))
        return false;
    DIR *pFolder = opendir(clstrNative.c_str());
    if (pFolder == nullptr)
        return false;
    const int lFolderHandle = dirfd(pFolder);

    bool bOk = true;
    for (;;) {
        errno = 0;
        const dirent *pEntry = readdir(pFolder);
        if (pEntry == nullptr) {
            bOk = errno == 0;
            break;
        }
        const std::string clstrName = pEntry->d_name;
        if (clstrName == "." || clstrName == "..")
            continue;
        PlatformFolderEntry clEntry;
        clEntry.name = NativePathToWide(clstrName);
        std::string clstrBack;
        if (!WidePathToNative(clEntry.name.c_str(), clstrBack) || clstrBack != clstrName)
            continue;
        if (enWhat == ListWhat::Matching && !PlatformMatchMask(clEntry.name, clstrMask))
            continue;

        unsigned char lType = pEntry->d_type;
        if (lType == DT_UNKNOWN) {
            struct stat clInfo {};
            if (fstatat(lFolderHandle, pEntry->d_name, &clInfo, AT_SYMLINK_NOFOLLOW) == 0)
                lType = S_ISLNK(clInfo.st_mode)   ? DT_LNK
                        : S_ISDIR(clInfo.st_mode) ? DT_DIR
                                                  : DT_REG;
        }
        clEntry.bSymlink = lType == DT_LNK;
        clEntry.bFolder = lType == DT_DIR;
        if (clEntry.bSymlink) {
            struct stat clTarget {};
            clEntry.bFolder = fstatat(lFolderHandle, pEntry->d_name, &clTarget, 0) == 0 &&
                              S_ISDIR(clTarget.st_mode);
        }
        if (enWhat == ListWhat::Subfolders && !clEntry.bFolder)
            continue;
        clEntries.push_back(std::move(clEntry));
    }
    closedir(pFolder);

    if (!bOk) {
        clEntries.clear();
        return false;
    }
    std::sort(clEntries.begin(), clEntries.end(),
              [](const PlatformFolderEntry &clA, const PlatformFolderEntry &clB) {
                  return clA.name < clB.name;
              });
    return true;
}

} // namespace

bool PlatformEnumerateFolder(const wchar_t *clstrFolder, const wchar_t *clstrMask,
                             std::vector<PlatformFolderEntry> &clEntries) {
    return ListFolder(clstrFolder, clstrMask, ListWhat::Matching, clEntries);
}

bool PlatformEnumerateSubfolders(const wchar_t *clstrFolder,
                                 std::vector<PlatformFolderEntry> &clEntries) {
    return ListFolder(clstrFolder, nullptr, ListWhat::Subfolders, clEntries);
}
