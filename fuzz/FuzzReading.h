// Shared by the reader fuzz targets: the input as a file on disk, and reading
// a recording to its end the way the workers do, touching every byte a record
// hands out so that the sanitizers see any read beyond the reader's storage.
#pragma once

#include "VirtualFileFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A path in a private folder (tmpfs when there is one) that is removed when
// the process ends; lstrName is the file name, its extension picks the reader.
std::string FuzzFilePath(const char *clstrName);
std::wstring WidePath(const std::string &clstrPath);

// Replaces the file's content; false when it cannot be written.
bool WriteWholeFile(const std::string &clstrPath, const uint8_t *pData, size_t lSize);
// A file written piece by piece through one handle (opening it anew for every
// piece costs more than the reading under test): created empty, closed with
// the object.
class CGrowingFile {
  public:
    explicit CGrowingFile(const std::string &clstrPath);
    ~CGrowingFile();
    CGrowingFile(const CGrowingFile &) = delete;
    CGrowingFile &operator=(const CGrowingFile &) = delete;
    bool Append(const uint8_t *pData, size_t lSize);

  private:
    int m_lHandle;
};

// What a reading delivered: the records and a digest of their bytes.
struct StructReadSummary {
    uint64_t lRecords = 0;
    uint64_t lDigest = 0;
};

// Reads until the reader gives a result other than a record or damage and
// returns that result. Aborts when the reader keeps answering without coming
// to an end (more than lCallLimit answers): a caller reading to the end
// would hang.
FileResult ReadUntilPause(CVirtualFileFormat &clReader, StructReadSummary &clSummary,
                          uint64_t lCallLimit);

// A limit on the answers of one ReadUntilPause for lBytes of input: at most
// one record or one damage report per byte, and some room for the end.
uint64_t CallLimitFor(size_t lBytes);

// Opens the file through OpenFileFormat (the path's extension picks the
// reader) and reads it to its end, checking progress and size on the way.
// Also checks that the end stays the end. Returns the summary; nothing is
// read when the file does not open.
StructReadSummary ReadWholeRecording(const std::string &clstrPath, size_t lInputSize);

// Aborts with a message: a broken promise that the sanitizers cannot see.
[[noreturn]] void FuzzFailure(const char *clstrWhat);

// Container input with the stored checksum of every frame made right, walking
// the frames by their length fields after the header and stepping one byte
// over a length that cannot be a frame's. Without this, almost every mutation
// inside a record only tests the checksum; with it, the decoder sees the
// mutated bodies. Returns whether any checksum changed.
bool RepairContainerChecksums(std::vector<uint8_t> &clBytes);
