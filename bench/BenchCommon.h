// Timing helpers shared by the benchmarks.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// Seconds taken by /bin/cp, or a negative value when it failed.
inline double TimeCp(const std::string &clstrSource, const std::string &clstrTarget) {
    std::filesystem::remove(clstrTarget);
    const char *pArgs[] = {"/bin/cp", clstrSource.c_str(), clstrTarget.c_str(), nullptr};
    const Clock::time_point clStart = Clock::now();
    pid_t lPid = 0;
    if (posix_spawn(&lPid, "/bin/cp", nullptr, nullptr, const_cast<char *const *>(pArgs),
                    environ) != 0)
        return -1;
    int lStatus = 0;
    if (waitpid(lPid, &lStatus, 0) != lPid || !WIFEXITED(lStatus) || WEXITSTATUS(lStatus) != 0)
        return -1;
    return SecondsSince(clStart);
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
