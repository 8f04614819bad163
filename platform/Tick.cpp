#include "Tick.h"

#include <cerrno>
#include <ctime>

uint64_t PlatformTickCount64() {
    timespec clNow{};
    clock_gettime(CLOCK_MONOTONIC, &clNow);
    return uint64_t(clNow.tv_sec) * 1000u + uint64_t(clNow.tv_nsec) / 1000000u;
}

void PlatformSleep(uint32_t lMs) {
    timespec clUntil{};
    clock_gettime(CLOCK_MONOTONIC, &clUntil);
    clUntil.tv_sec += time_t(lMs / 1000u);
    clUntil.tv_nsec += long(lMs % 1000u) * 1000000L;
    if (clUntil.tv_nsec >= 1000000000L) {
        clUntil.tv_nsec -= 1000000000L;
        ++clUntil.tv_sec;
    }
    // An absolute deadline makes restarting after a signal exact.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &clUntil, nullptr) == EINTR) {
    }
}
