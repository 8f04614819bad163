#pragma once

// Diagnostic text on standard output, formatted by the printf rules; adds
// nothing (no newline, no prefix).
void DebugPrintf(const char *pFormat, ...) __attribute__((format(printf, 1, 2)));
