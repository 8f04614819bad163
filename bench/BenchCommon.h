// Timing helpers shared by the benchmarks.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace BenchCommon {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point clStart) {
    return std::chrono::duration<double>(Clock::now() - clStart).count();
}

inline double MegabytesPerSecond(uint64_t lBytes, double lSeconds) {
    return lSeconds > 0 ? double(lBytes) / 1e6 / lSeconds : 0;
}

// Reads the whole file with plain read() calls of the reader's buffer size:
// warms the cache, and timed it is the ceiling for any reader on this machine.
inline bool ReadPlain(const std::string &clstrPath) {
    const int lFd = open(clstrPath.c_str(), O_RDONLY);
    if (lFd < 0)
        return false;
    std::vector<char> clBuffer(131072);
    ssize_t lRead = 0;
    while ((lRead = read(lFd, clBuffer.data(), clBuffer.size())) > 0) {
    }
    close(lFd);
    return lRead == 0;
}

// Runs a program to its end and returns the seconds it took, or a negative
// value when it could not run or did not exit with lExpectedStatus. Variables
// named in clUnset are removed from its environment (a headless run of the
// dialog must not find a display). pPeakKiB receives the child's peak
// resident memory.
inline double TimeCommand(const std::vector<std::string> &clArgs, int lExpectedStatus = 0,
                          const std::vector<std::string> &clUnset = {},
                          uint64_t *pPeakKiB = nullptr) {
    std::vector<char *> clArgv;
    for (const std::string &clstrArg : clArgs)
        clArgv.push_back(const_cast<char *>(clstrArg.c_str()));
    clArgv.push_back(nullptr);
    std::vector<char *> clEnv;
    for (char **p = environ; *p != nullptr; ++p) {
        bool bDropped = false;
        for (const std::string &clstrName : clUnset)
            bDropped = bDropped || std::string(*p).rfind(clstrName + "=", 0) == 0;
        if (!bDropped)
            clEnv.push_back(*p);
    }
    clEnv.push_back(nullptr);
    posix_spawn_file_actions_t clActions;
    posix_spawn_file_actions_init(&clActions);
    // The programs' own messages would only clutter the table.
    posix_spawn_file_actions_addopen(&clActions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&clActions, 2, "/dev/null", O_WRONLY, 0);
    const Clock::time_point clStart = Clock::now();
    pid_t lPid = 0;
    const int lSpawned =
        posix_spawn(&lPid, clArgv[0], &clActions, nullptr, clArgv.data(), clEnv.data());
    posix_spawn_file_actions_destroy(&clActions);
    if (lSpawned != 0)
        return -1;
    int lStatus = 0;
    rusage clUsage{};
    if (wait4(lPid, &lStatus, 0, &clUsage) != lPid || !WIFEXITED(lStatus) ||
        WEXITSTATUS(lStatus) != lExpectedStatus)
        return -1;
    if (pPeakKiB != nullptr)
        *pPeakKiB = uint64_t(clUsage.ru_maxrss);
    return SecondsSince(clStart);
}

// Seconds taken by /bin/cp to a new file, or a negative value when it failed.
inline double TimeCp(const std::string &clstrSource, const std::string &clstrTarget) {
    std::filesystem::remove(clstrTarget);
    return TimeCommand({"/bin/cp", clstrSource, clstrTarget});
}

// The folder of this benchmark's executable, where the build puts the
// program and the tools too.
inline std::string OwnFolder() {
    std::error_code clError;
    return std::filesystem::read_symlink("/proc/self/exe", clError).parent_path().string();
}

// The path of a program found in PATH, or empty.
inline std::string FindInPath(const std::string &clstrName) {
    const char *pPath = std::getenv("PATH");
    std::string clstrRest = pPath != nullptr ? pPath : "";
    while (!clstrRest.empty()) {
        const size_t lColon = clstrRest.find(':');
        const std::string clstrCandidate = clstrRest.substr(0, lColon) + "/" + clstrName;
        if (access(clstrCandidate.c_str(), X_OK) == 0)
            return clstrCandidate;
        clstrRest = lColon == std::string::npos ? "" : clstrRest.substr(lColon + 1);
    }
    return {};
}

// The best (smallest non-negative) of lRuns timings; negative when one failed.
template <typename Timed> double BestOf(int lRuns, Timed fnTimed) {
    double lBest = -1;
    for (int lRun = 0; lRun < lRuns; ++lRun) {
        const double lSeconds = fnTimed();
        if (lSeconds < 0)
            return -1;
        if (lBest < 0 || lSeconds < lBest)
            lBest = lSeconds;
    }
    return lBest;
}

// Starts the peak resident memory of this process afresh from what it holds
// now, so that a later PeakResidentKiB covers only what follows. False where
// the system cannot do that; the peak then covers the whole process.
inline bool ResetPeakResident() {
    FILE *pFile = std::fopen("/proc/self/clear_refs", "w");
    if (pFile == nullptr)
        return false;
    const bool bWritten = std::fputs("5", pFile) >= 0;
    return std::fclose(pFile) == 0 && bWritten;
}

// The peak resident memory of this process in KiB: VmHWM, or the maximum
// resident set size of getrusage where VmHWM cannot be read.
inline uint64_t PeakResidentKiB() {
    if (FILE *pFile = std::fopen("/proc/self/status", "r")) {
        char aLine[256];
        unsigned long long lKiB = 0;
        bool bFound = false;
        while (!bFound && std::fgets(aLine, sizeof(aLine), pFile) != nullptr)
            bFound = std::sscanf(aLine, "VmHWM: %llu kB", &lKiB) == 1;
        std::fclose(pFile);
        if (bFound)
            return lKiB;
    }
    rusage clUsage{};
    getrusage(RUSAGE_SELF, &clUsage);
    return uint64_t(clUsage.ru_maxrss);
}

} // namespace BenchCommon
