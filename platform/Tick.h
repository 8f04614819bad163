// Millisecond clock for progress pacing and short pauses.
#pragma once

#include <cstdint>

// Milliseconds on a clock that never goes back (unaffected by changes of the
// wall-clock time); the origin is arbitrary.
uint64_t PlatformTickCount64();
// Sleeps at least lMs milliseconds, also when signals interrupt the sleep.
void PlatformSleep(uint32_t lMs);
