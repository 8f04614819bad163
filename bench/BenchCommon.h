// Timing helpers shared by the benchmarks.
#pragma once

#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
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

} // namespace BenchCommon
