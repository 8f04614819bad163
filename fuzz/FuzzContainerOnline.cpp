// The container reader on an online file that grows while it is read: the
// header first, then the rest in pieces of varying size with reads in between.
// The reader must answer 8 (no data yet) when it has read all there is, and
// must deliver the same records as an online reading of the complete file.
#include "ContainerCodec.h"
#include "FuzzReading.h"
#include "OpenFileFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Piece sizes around the reader's frame head, sub-header and buffer edges.
constexpr size_t kPieceSizes[] = {1, 3, 10, 33, 255, 1024, 4096, 65536};
// After this many pieces the rest arrives at once: each piece costs a round
// of system calls, and more pieces find nothing new but slow every input.
constexpr int kMostPieces = 8;

// The piece after lOffset: chosen by the byte there, so that the fuzzer also
// varies how the file grows.
size_t NextPiece(const std::vector<uint8_t> &clBytes, size_t lOffset) {
    const size_t lSize = kPieceSizes[clBytes[lOffset] % std::size(kPieceSizes)];
    return std::min(lSize, clBytes.size() - lOffset);
}

std::unique_ptr<CVirtualFileFormat> OpenOnline(const std::string &clstrPath) {
    FileHeaderInfo clInfo;
    std::memset(&clInfo, 0, sizeof clInfo);
    const std::wstring clstrOnline = WidePath("online:" + clstrPath);
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(clstrOnline.c_str(), clInfo);
    if (pReader && !pReader->IsOnlineFile())
        FuzzFailure("the online prefix did not open the file online");
    return pReader;
}

// Reads until all there is has been read: the answer must then be 8.
void ReadAll(CVirtualFileFormat &clReader, uint64_t lLimit, StructReadSummary &clSummary) {
    if (ReadUntilPause(clReader, clSummary, lLimit) != FILE_NO_DATA_YET)
        FuzzFailure("an online file that has all its data read gives another answer than 8");
}

void CheckEnd(CVirtualFileFormat &clReader, size_t lSize) {
    const double lProgress = clReader.GetProgress();
    if (!(lProgress >= 0 && lProgress <= 100 + 1e-9))
        FuzzFailure("the progress lies outside 0 to 100 percent");
    if (clReader.GetFileSize(true) != lSize)
        FuzzFailure("the file size differs from the bytes written");
    clReader.CloseFile();
}

// Writes the header, opens it online, then appends the rest piece by piece
// with reads in between. Returns false when the header does not open.
bool ReadGrowing(const std::string &clstrPath, const std::vector<uint8_t> &clBytes,
                 StructReadSummary &clSummary) {
    CGrowingFile clFile(clstrPath);
    if (!clFile.Append(clBytes.data(), kContainerHeaderSize))
        FuzzFailure("cannot write the input file");
    std::unique_ptr<CVirtualFileFormat> pReader = OpenOnline(clstrPath);
    if (!pReader)
        return false;
    const uint64_t lLimit = CallLimitFor(clBytes.size());
    size_t lOffset = kContainerHeaderSize;
    for (int lPieces = 0;; ++lPieces) {
        ReadAll(*pReader, lLimit, clSummary);
        if (lOffset == clBytes.size())
            break;
        const size_t lPiece =
            lPieces < kMostPieces ? NextPiece(clBytes, lOffset) : clBytes.size() - lOffset;
        if (!clFile.Append(clBytes.data() + lOffset, lPiece))
            FuzzFailure("cannot append to the input file");
        lOffset += lPiece;
    }
    CheckEnd(*pReader, clBytes.size());
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t lSize) {
    if (lSize < kContainerHeaderSize)
        return 0;
    static const std::string clstrPath = FuzzFilePath("input.bvf");
    std::vector<uint8_t> clBytes(pData, pData + lSize);
    (void)RepairContainerChecksums(clBytes);

    StructReadSummary clPieces;
    if (!ReadGrowing(clstrPath, clBytes, clPieces))
        return 0;
    // The same file, complete now, opened online once more and read at once.
    std::unique_ptr<CVirtualFileFormat> pWhole = OpenOnline(clstrPath);
    if (!pWhole)
        FuzzFailure("the same header opened once and not again");
    StructReadSummary clWhole;
    ReadAll(*pWhole, CallLimitFor(clBytes.size()), clWhole);
    CheckEnd(*pWhole, clBytes.size());
    if (clPieces.lRecords != clWhole.lRecords || clPieces.lDigest != clWhole.lDigest)
        FuzzFailure("a file read while it grew gives other records than the whole file");
    return 0;
}
