#include "FuzzReading.h"

#include "ContainerCodec.h"
#include "OpenFileFormat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string_view>
#include <unistd.h>

namespace {

std::string g_clstrFolder;

void RemoveFolder() {
    if (g_clstrFolder.empty())
        return;
    for (const char *clstrName : {"input.bvf", "input.tmw", "input.lan"})
        (void)std::remove((g_clstrFolder + "/" + clstrName).c_str());
    (void)rmdir(g_clstrFolder.c_str());
}

const std::string &Folder() {
    if (!g_clstrFolder.empty())
        return g_clstrFolder;
    // Every run writes the input anew: a memory file system keeps that cheap.
    std::string clstrBase = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "";
    if (clstrBase.empty()) {
        const char *clstrTemp = std::getenv("TMPDIR");
        clstrBase = clstrTemp != nullptr && *clstrTemp != '\0' ? clstrTemp : "/tmp";
    }
    std::string clstrTemplate = clstrBase + "/bvf-fuzz-XXXXXX";
    if (mkdtemp(clstrTemplate.data()) == nullptr)
        FuzzFailure("cannot create a folder for the input file");
    g_clstrFolder = clstrTemplate;
    std::atexit(RemoveFolder);
    return g_clstrFolder;
}

bool WriteAll(int lHandle, const uint8_t *pData, size_t lSize) {
    while (lSize > 0) {
        const ssize_t lDone = write(lHandle, pData, lSize);
        if (lDone <= 0)
            return false;
        pData += lDone;
        lSize -= size_t(lDone);
    }
    return true;
}

bool WriteNewFile(const std::string &clstrPath, const uint8_t *pData, size_t lSize) {
    const int lHandle = open(clstrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (lHandle < 0)
        return false;
    const bool bWritten = WriteAll(lHandle, pData, lSize);
    return close(lHandle) == 0 && bWritten;
}

uint64_t Mix(uint64_t lDigest, uint64_t lValue) {
    // FNV-1a over the value's bytes.
    for (int i = 0; i < 8; ++i) {
        lDigest ^= (lValue >> (8 * i)) & 0xFF;
        lDigest *= 1099511628211ULL;
    }
    return lDigest;
}

// The size a consumer reads through the payload pointer for a kind: the
// workers cast typed payloads to their structure.
uint32_t StructureSize(uint8_t lKind) {
    switch (lKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        return kTetraTmvLength;
    case PAYLOAD_DMR:
        return kDmrTmvLength;
    case PAYLOAD_GSM:
        return kGsmTmvLength;
    case PAYLOAD_NOTICE:
        return kNoticeTmvLength;
    default:
        return 0;
    }
}

uint64_t DigestRecord(const RawRecord &clRecord) {
    uint64_t lDigest = 14695981039346656037ULL;
    lDigest = Mix(lDigest, clRecord.recordClass);
    lDigest = Mix(lDigest, clRecord.sourceByte);
    lDigest = Mix(lDigest, clRecord.frequency);
    lDigest = Mix(lDigest, clRecord.symbolRate);
    lDigest = Mix(lDigest, clRecord.value16);
    lDigest = Mix(lDigest, clRecord.payloadKind);
    lDigest = Mix(lDigest, clRecord.payloadLength);
    const uint32_t lStructure = StructureSize(clRecord.payloadKind);
    if (lStructure != 0 && clRecord.payloadLength != lStructure)
        FuzzFailure("a typed payload does not have the size of its structure");
    if (clRecord.payloadLength > 0 && clRecord.payload == nullptr)
        FuzzFailure("a record with a payload length has no payload");
    if (clRecord.payloadLength > kMaxRecordLength)
        FuzzFailure("a payload is longer than any record");
    // The copy reads every byte under the address checks in one call; hashing
    // the copy then costs no per-byte coverage tracing.
    static uint8_t s_aCopy[kMaxRecordLength];
    if (clRecord.payloadLength > 0)
        std::memcpy(s_aCopy, clRecord.payload, clRecord.payloadLength);
    return Mix(lDigest, std::hash<std::string_view>{}(std::string_view(
                            reinterpret_cast<const char *>(s_aCopy), clRecord.payloadLength)));
}

void CheckProgress(CVirtualFileFormat &clReader, uint64_t lFileSize) {
    const double lProgress = clReader.GetProgress();
    const uint64_t lConsumed = clReader.GetFileSize(false);
    // Position / (size / 100) may pass 100 by a rounding step at the end.
    if (std::isfinite(lProgress) && lProgress >= 0 && lProgress <= 100 + 1e-9 &&
        lConsumed <= lFileSize)
        return;
    std::fprintf(stderr, "fuzz target: progress %g %%, %llu of %llu bytes consumed\n", lProgress,
                 static_cast<unsigned long long>(lConsumed),
                 static_cast<unsigned long long>(lFileSize));
    FuzzFailure("the progress or the consumed bytes lie outside the file");
}

} // namespace

void FuzzFailure(const char *clstrWhat) {
    std::fprintf(stderr, "fuzz target: %s\n", clstrWhat);
    std::abort();
}

std::string FuzzFilePath(const char *clstrName) {
    return Folder() + "/" + clstrName;
}

std::wstring WidePath(const std::string &clstrPath) {
    return std::wstring(clstrPath.begin(), clstrPath.end());
}

bool WriteWholeFile(const std::string &clstrPath, const uint8_t *pData, size_t lSize) {
    return WriteNewFile(clstrPath, pData, lSize);
}

CGrowingFile::CGrowingFile(const std::string &clstrPath)
    : m_lHandle(open(clstrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)) {}

CGrowingFile::~CGrowingFile() {
    if (m_lHandle >= 0)
        (void)close(m_lHandle);
}

bool CGrowingFile::Append(const uint8_t *pData, size_t lSize) {
    return m_lHandle >= 0 && WriteAll(m_lHandle, pData, lSize);
}

uint64_t CallLimitFor(size_t lBytes) {
    return 2 * uint64_t(lBytes) + 64;
}

FileResult ReadUntilPause(CVirtualFileFormat &clReader, StructReadSummary &clSummary,
                          uint64_t lCallLimit) {
    for (uint64_t lCalls = 0; lCalls < lCallLimit; ++lCalls) {
        RawRecord clRecord;
        std::memset(&clRecord, 0, sizeof clRecord);
        const FileResult enResult = clReader.ReadData(clRecord);
        if (enResult == FILE_OK) {
            ++clSummary.lRecords;
            clSummary.lDigest = Mix(clSummary.lDigest, DigestRecord(clRecord));
        } else if (enResult != FILE_DAMAGED) {
            return enResult;
        }
    }
    FuzzFailure("the reader keeps answering without reaching an end");
}

StructReadSummary ReadWholeRecording(const std::string &clstrPath, size_t lInputSize) {
    StructReadSummary clSummary;
    FileHeaderInfo clInfo;
    std::memset(&clInfo, 0, sizeof clInfo);
    const std::wstring clstrWide = WidePath(clstrPath);
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(clstrWide.c_str(), clInfo);
    if (!pReader)
        return clSummary;
    CheckProgress(*pReader, lInputSize);

    const uint64_t lLimit = CallLimitFor(lInputSize);
    FileResult enResult = FILE_OK;
    for (uint64_t lCalls = 0;; ++lCalls) {
        if (lCalls > lLimit)
            FuzzFailure("the reader keeps answering without reaching an end");
        RawRecord clRecord;
        std::memset(&clRecord, 0, sizeof clRecord);
        enResult = pReader->ReadData(clRecord);
        if (enResult == FILE_OK) {
            ++clSummary.lRecords;
            clSummary.lDigest = Mix(clSummary.lDigest, DigestRecord(clRecord));
        } else if (enResult != FILE_DAMAGED) {
            break;
        }
        CheckProgress(*pReader, lInputSize);
    }
    if (enResult != FILE_END_OF_DATA)
        FuzzFailure("a complete file that is not online ends with another result than its end");
    if (pReader->GetFileSize(true) != lInputSize)
        FuzzFailure("the file size differs from the bytes written");
    // Callers that ask again at the end must not get records or damage.
    StructReadSummary clAfter;
    if (ReadUntilPause(*pReader, clAfter, 8) != FILE_END_OF_DATA || clAfter.lRecords != 0)
        FuzzFailure("the end of the file does not stay its end");
    pReader->CloseFile();
    return clSummary;
}

bool RepairContainerChecksums(std::vector<uint8_t> &clBytes) {
    bool bChanged = false;
    size_t lOffset = kContainerHeaderSize;
    while (lOffset + kFrameHeadSize <= clBytes.size()) {
        uint8_t *pFrame = clBytes.data() + lOffset;
        const uint32_t lLength = uint32_t(pFrame[0]) << 24 | uint32_t(pFrame[1]) << 16 |
                                 uint32_t(pFrame[2]) << 8 | uint32_t(pFrame[3]);
        if (lLength < kMinRecordLength || lLength > kMaxRecordLength ||
            lLength > clBytes.size() - lOffset) {
            ++lOffset;
            continue;
        }
        const uint32_t lSum = ContainerChecksum(pFrame + kFrameHeadSize, lLength - kFrameHeadSize);
        for (int i = 0; i < 4; ++i) {
            const auto lByte = uint8_t(lSum >> (24 - 8 * i));
            bChanged = bChanged || pFrame[6 + i] != lByte;
            pFrame[6 + i] = lByte;
        }
        lOffset += lLength;
    }
    return bChanged;
}
