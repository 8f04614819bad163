// The container reader on a complete file: the input as it is, or with its
// frame checksums made right so that mutated record bodies reach the decoder.
// The low bit of the last byte chooses: one reading per input keeps the run
// fast, and the fuzzer reaches both readings by flipping that bit.
#include "FuzzReading.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t lSize) {
    static const std::string clstrPath = FuzzFilePath("input.bvf");
    std::vector<uint8_t> clBytes(pData, pData + lSize);
    if (lSize > 0 && (pData[lSize - 1] & 1) != 0)
        (void)RepairContainerChecksums(clBytes);
    if (!WriteWholeFile(clstrPath, clBytes.data(), clBytes.size()))
        FuzzFailure("cannot write the input file");
    (void)ReadWholeRecording(clstrPath, clBytes.size());
    return 0;
}
