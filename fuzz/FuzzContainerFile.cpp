// The container reader on a complete file: the input as it is, and once more
// with its frame checksums made right so that mutated record bodies reach the
// decoder.
#include "FuzzReading.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t lSize) {
    static const std::string clstrPath = FuzzFilePath("input.bvf");
    if (!WriteWholeFile(clstrPath, pData, lSize))
        FuzzFailure("cannot write the input file");
    (void)ReadWholeRecording(clstrPath, lSize);

    std::vector<uint8_t> clRepaired(pData, pData + lSize);
    if (RepairContainerChecksums(clRepaired)) {
        if (!WriteWholeFile(clstrPath, clRepaired.data(), clRepaired.size()))
            FuzzFailure("cannot write the input file");
        (void)ReadWholeRecording(clstrPath, clRepaired.size());
    }
    return 0;
}
