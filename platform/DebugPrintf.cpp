#include "DebugPrintf.h"

#include <cstdarg>
#include <cstdio>

void DebugPrintf(const char *pFormat, ...) {
    va_list args;
    va_start(args, pFormat);
    std::vprintf(pFormat, args);
    va_end(args);
    std::fflush(stdout);
}
