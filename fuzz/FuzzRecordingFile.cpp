// A TMW reader on a complete file; the build names the file (FUZZ_INPUT_NAME),
// whose extension picks the reader: ".tmw" or ".lan".
#include "FuzzReading.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t lSize) {
    static const std::string clstrPath = FuzzFilePath(FUZZ_INPUT_NAME);
    if (!WriteWholeFile(clstrPath, pData, lSize))
        FuzzFailure("cannot write the input file");
    (void)ReadWholeRecording(clstrPath, lSize);
    return 0;
}
