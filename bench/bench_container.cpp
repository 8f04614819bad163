// Container read and write throughput beside cp of the same file.
//
//   bench_container [--size-mib N] [--dir DIR] [--runs N] [--read-only]
//
// Generates a sample container of about N MiB (default 1024) in DIR once and
// keeps it for later runs. Reading: OpenFileFormat and ReadData to the end,
// every checksum checked, on a cached file (it is read once before timing),
// beside plain read() calls of the same file as the ceiling.
// Writing: every record of that file handed to a writer with flags 2 and the
// file closed; the records are read into memory in blocks first, so only the
// writer is timed. cp copies the same file on the same file system.
// Every figure is the best of --runs passes; the processor time of the best
// read pass is shown too, as it suffers less than the wall time when other
// programs share the machine.
// Beside the container: reading ".tmw" and ".lan" samples of the same size,
// and `bvftool merge` of four unchanged version-3 parts of one recording
// against cp of the same four files.
#include "BenchCommon.h"
#include "BrennovarstikFileFormatV1.h"
#include "OpenFileFormat.h"
#include "SampleGenerator.h"
#include "TmwSample.h"
#include "WidePath.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using namespace BenchCommon;

// Processor time of this process, user and system.
double ProcessSeconds() {
    timespec clNow{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &clNow);
    return double(clNow.tv_sec) + double(clNow.tv_nsec) / 1e9;
}

std::wstring Wide(const std::string &clstrPath) {
    return NativePathToWide(clstrPath);
}

int Usage(const char *pProblem) {
    std::fprintf(stderr,
                 "bench_container: %s\n"
                 "Usage: bench_container [--size-mib N] [--dir DIR] [--runs N] [--read-only]\n"
                 "  --size-mib N  size of the generated container (default 1024)\n"
                 "  --dir DIR     folder for the data (default %s)\n"
                 "  --runs N      passes of each measurement, the best counts (default 3)\n"
                 "  --read-only   measure reading only\n",
                 pProblem, BVF_BENCH_DATA_DIR);
    return 1;
}

struct ReadPass {
    bool bOk = false;
    uint64_t lRecords = 0;
    double lSeconds = 0;
    double lCpuSeconds = 0;
};

ReadPass TimeReading(const std::string &clstrPath) {
    ReadPass clPass;
    const std::wstring clstrWide = Wide(clstrPath);
    const double lCpuStart = ProcessSeconds();
    const Clock::time_point clStart = Clock::now();
    FileHeaderInfo clInfo;
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(clstrWide.c_str(), clInfo);
    if (!pReader)
        return clPass;
    RawRecord clRecord;
    FileResult enResult;
    while ((enResult = pReader->ReadData(clRecord)) == FILE_OK)
        ++clPass.lRecords;
    pReader->CloseFile();
    clPass.lSeconds = SecondsSince(clStart);
    clPass.lCpuSeconds = ProcessSeconds() - lCpuStart;
    clPass.bOk = enResult == FILE_END_OF_DATA;
    return clPass;
}

// Records held in memory with copies of their payloads.
class CRecordBlock {
  public:
    void Clear() {
        m_clRecords.clear();
        m_clBytes.clear();
    }
    void Add(const RawRecord &clRecord) {
        m_clRecords.push_back(clRecord);
        m_clRecords.back().spare64 = m_clBytes.size(); // payload offset until Seal()
        const auto *p = static_cast<const uint8_t *>(clRecord.payload);
        m_clBytes.insert(m_clBytes.end(), p, p + clRecord.payloadLength);
    }
    void Seal() {
        for (RawRecord &clRecord : m_clRecords) {
            clRecord.payload = m_clBytes.data() + clRecord.spare64;
            clRecord.spare64 = 0;
        }
    }
    size_t Size() const { return m_clRecords.size(); }
    const std::vector<RawRecord> &Records() const { return m_clRecords; }

  private:
    std::vector<RawRecord> m_clRecords;
    std::vector<uint8_t> m_clBytes;
};

struct WritePass {
    bool bOk = false;
    uint64_t lRecords = 0;
    double lSeconds = 0;      // WriteData calls and CloseFileForWriting only
    double lTotalSeconds = 0; // including reading the records into memory
};

WritePass TimeWriting(const std::string &clstrSource, const std::string &clstrTarget) {
    // Small enough to stay in the cache, as a record handed on by a reader is.
    constexpr size_t kBlockRecords = 512;
    WritePass clPass;
    const Clock::time_point clTotalStart = Clock::now();
    FileHeaderInfo clInfo;
    std::unique_ptr<CVirtualFileFormat> pReader = OpenFileFormat(Wide(clstrSource).c_str(), clInfo);
    if (!pReader)
        return clPass;
    CBrennovarstikFileFormatV1 clWriter;
    Clock::time_point clStart = Clock::now();
    if (clWriter.OpenFileForWriting(Wide(clstrTarget).c_str(), clInfo, 2) != FILE_OK)
        return clPass;
    clPass.lSeconds += SecondsSince(clStart);

    CRecordBlock clBlock;
    FileResult enRead = FILE_OK;
    while (enRead == FILE_OK) {
        clBlock.Clear();
        RawRecord clRecord;
        while (clBlock.Size() < kBlockRecords && (enRead = pReader->ReadData(clRecord)) == FILE_OK)
            clBlock.Add(clRecord);
        clBlock.Seal();
        clStart = Clock::now();
        for (const RawRecord &clHeld : clBlock.Records()) {
            if (clWriter.WriteData(clHeld) != FILE_OK) {
                clWriter.CloseFileForWriting();
                return clPass;
            }
        }
        clPass.lSeconds += SecondsSince(clStart);
        clPass.lRecords += clBlock.Size();
    }
    pReader->CloseFile();
    clStart = Clock::now();
    const FileResult enClose = clWriter.CloseFileForWriting();
    clPass.lSeconds += SecondsSince(clStart);
    clPass.lTotalSeconds = SecondsSince(clTotalStart);
    clPass.bOk = enRead == FILE_END_OF_DATA && enClose == FILE_OK;
    return clPass;
}

bool SameBytes(const std::string &clstrFirst, const std::string &clstrSecond) {
    std::unique_ptr<FILE, int (*)(FILE *)> pFirst(std::fopen(clstrFirst.c_str(), "rb"),
                                                  &std::fclose);
    std::unique_ptr<FILE, int (*)(FILE *)> pSecond(std::fopen(clstrSecond.c_str(), "rb"),
                                                   &std::fclose);
    if (!pFirst || !pSecond)
        return false;
    std::vector<char> clA(1 << 20), clB(1 << 20);
    for (;;) {
        const size_t lA = std::fread(clA.data(), 1, clA.size(), pFirst.get());
        const size_t lB = std::fread(clB.data(), 1, clB.size(), pSecond.get());
        if (lA != lB || std::memcmp(clA.data(), clB.data(), lA) != 0)
            return false;
        if (lA == 0)
            return true;
    }
}

// A sample of about lBytes, written once and kept for later runs.
bool EnsureSample(const std::string &clstrPath, uint64_t lBytes, SampleFormat enFormat,
                  StructSampleSettings clSettings = {}) {
    std::error_code clError;
    const uintmax_t lExisting = std::filesystem::file_size(clstrPath, clError);
    if (!clError && lExisting >= lBytes * 9 / 10)
        return true;
    std::printf("Generating %s ...\n", clstrPath.c_str());
    std::fflush(stdout);
    clSettings.lRate = 1000;
    clSettings.lTargetBytes = lBytes;
    const std::wstring clstrWide = Wide(clstrPath);
    const StructSampleOutcome clOutcome =
        enFormat == SampleFormat::Container
            ? WriteSampleRecording(clstrWide.c_str(), clSettings)
            : WriteTmwSampleRecording(clstrWide.c_str(), clSettings, enFormat);
    return clOutcome.enResult == FILE_OK;
}

// Four parts of one recording, one after the other in time, each a quarter
// of lBytes: the inputs of the merge.
bool EnsureParts(const std::vector<std::string> &clParts, uint64_t lBytes) {
    StructSampleSettings clSettings;
    clSettings.bMagicGiven = true;
    clSettings.lMagic = 0xBE5C;
    for (size_t i = 0; i < clParts.size(); ++i) {
        // About 3.6 hours a quarter GiB at 1000 records a second: a day apart
        // keeps them in order whatever the size.
        clSettings.lStartTime = kDefaultSampleStart + int64_t(i) * 86400 * 30;
        if (!EnsureSample(clParts[i], lBytes / clParts.size(), SampleFormat::Container, clSettings))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    uint64_t lSizeMib = 1024;
    std::string clstrDir = BVF_BENCH_DATA_DIR;
    int lRuns = 3;
    bool bReadOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string clstrArg = argv[i];
        if (clstrArg == "--size-mib" && i + 1 < argc) {
            char *pEnd = nullptr;
            lSizeMib = std::strtoull(argv[++i], &pEnd, 10);
            if (*pEnd || lSizeMib < 1 || lSizeMib > 65536)
                return Usage("--size-mib needs a whole number from 1 to 65536");
        } else if (clstrArg == "--dir" && i + 1 < argc) {
            clstrDir = argv[++i];
        } else if (clstrArg == "--runs" && i + 1 < argc) {
            char *pEnd = nullptr;
            const long lValue = std::strtol(argv[++i], &pEnd, 10);
            if (*pEnd || lValue < 1 || lValue > 100)
                return Usage("--runs needs a whole number from 1 to 100");
            lRuns = int(lValue);
        } else if (clstrArg == "--read-only") {
            bReadOnly = true;
        } else {
            return Usage(("unknown argument " + clstrArg).c_str());
        }
    }

    std::error_code clError;
    std::filesystem::create_directories(clstrDir, clError);
    const std::string clstrSource = clstrDir + "/bench-" + std::to_string(lSizeMib) + "mib.bvf";
    const std::string clstrRewrite = clstrDir + "/bench-rewrite.bvf";
    const std::string clstrCopy = clstrDir + "/bench-cp.bvf";
    const uint64_t lTarget = lSizeMib << 20;

    const uintmax_t lExisting = std::filesystem::file_size(clstrSource, clError);
    if (clError || lExisting < lTarget) {
        std::printf("Generating %s (about %llu MiB) ...\n", clstrSource.c_str(),
                    static_cast<unsigned long long>(lSizeMib));
        std::fflush(stdout);
        StructSampleSettings clSettings;
        clSettings.lRate = 1000;
        clSettings.lTargetBytes = lTarget;
        const Clock::time_point clStart = Clock::now();
        const StructSampleOutcome clOutcome =
            WriteSampleRecording(Wide(clstrSource).c_str(), clSettings);
        if (clOutcome.enResult != FILE_OK) {
            std::fprintf(stderr, "bench_container: cannot write %s (%s, result %d)\n",
                         clstrSource.c_str(), clOutcome.pFailedStep, int(clOutcome.enResult));
            return 2;
        }
        std::printf("  %llu records in %.2f s\n",
                    static_cast<unsigned long long>(clOutcome.lRecords), SecondsSince(clStart));
    }
    const uint64_t lBytes = std::filesystem::file_size(clstrSource);

    if (!ReadPlain(clstrSource) || !TimeReading(clstrSource).bOk) {
        std::fprintf(stderr, "bench_container: cannot read %s\n", clstrSource.c_str());
        return 2;
    }
    double lPlain = 0;
    for (int lRun = 0; lRun < lRuns; ++lRun) {
        const Clock::time_point clStart = Clock::now();
        ReadPlain(clstrSource);
        const double lSeconds = SecondsSince(clStart);
        if (lRun == 0 || lSeconds < lPlain)
            lPlain = lSeconds;
    }
    ReadPass clRead;
    for (int lRun = 0; lRun < lRuns; ++lRun) {
        const ReadPass clPass = TimeReading(clstrSource);
        if (!clPass.bOk) {
            std::fprintf(stderr, "bench_container: reading %s failed\n", clstrSource.c_str());
            return 2;
        }
        if (lRun == 0 || clPass.lSeconds < clRead.lSeconds)
            clRead = clPass;
    }

    WritePass clWrite;
    double lCp = 0;
    bool bIdentical = true;
    for (int lRun = 0; lRun < lRuns && !bReadOnly; ++lRun) {
        std::filesystem::remove(clstrRewrite);
        const WritePass clPass = TimeWriting(clstrSource, clstrRewrite);
        if (!clPass.bOk) {
            std::fprintf(stderr, "bench_container: rewriting into %s failed\n",
                         clstrRewrite.c_str());
            return 2;
        }
        bIdentical = bIdentical && SameBytes(clstrSource, clstrRewrite);
        // cp runs beside the rewritten file, as it always has.
        const double lCpSeconds = TimeCp(clstrSource, clstrCopy);
        if (lCpSeconds < 0) {
            std::fprintf(stderr, "bench_container: /bin/cp %s %s failed\n", clstrSource.c_str(),
                         clstrCopy.c_str());
            return 2;
        }
        std::filesystem::remove(clstrRewrite);
        std::filesystem::remove(clstrCopy);
        if (lRun == 0 || clPass.lSeconds < clWrite.lSeconds)
            clWrite = clPass;
        if (lRun == 0 || lCpSeconds < lCp)
            lCp = lCpSeconds;
    }

    // The TMW readers on samples of the same size.
    struct TmwRead {
        const char *pName;
        std::string clstrPath;
        SampleFormat enFormat;
        ReadPass clBest;
        uint64_t lBytes = 0;
    };
    const std::string clstrStem = clstrDir + "/bench-" + std::to_string(lSizeMib) + "mib";
    TmwRead aTmw[] = {
        {"read .tmw, cached", clstrStem + ".tmw", SampleFormat::Tmw, {}},
        {"read .lan (TETRA), cached", clstrStem + ".lan", SampleFormat::LanTetra, {}}};
    for (TmwRead &clTmw : aTmw) {
        if (!EnsureSample(clTmw.clstrPath, lTarget, clTmw.enFormat) ||
            !ReadPlain(clTmw.clstrPath)) {
            std::fprintf(stderr, "bench_container: cannot write %s\n", clTmw.clstrPath.c_str());
            return 2;
        }
        clTmw.lBytes = std::filesystem::file_size(clTmw.clstrPath);
        for (int lRun = 0; lRun < lRuns; ++lRun) {
            const ReadPass clPass = TimeReading(clTmw.clstrPath);
            if (!clPass.bOk) {
                std::fprintf(stderr, "bench_container: reading %s failed\n",
                             clTmw.clstrPath.c_str());
                return 2;
            }
            if (lRun == 0 || clPass.lSeconds < clTmw.clBest.lSeconds)
                clTmw.clBest = clPass;
        }
    }

    // bvftool merge of four unchanged parts against cp of the same four.
    std::vector<std::string> clParts;
    for (int i = 1; i <= 4; ++i)
        clParts.push_back(clstrStem + "-part" + std::to_string(i) + ".bvf");
    double lMerge = -1, lCpParts = -1;
    uint64_t lPartBytes = 0;
    if (!bReadOnly) {
        if (!EnsureParts(clParts, lTarget)) {
            std::fprintf(stderr, "bench_container: cannot write the merge parts\n");
            return 2;
        }
        for (const std::string &clstrPart : clParts) {
            lPartBytes += std::filesystem::file_size(clstrPart);
            ReadPlain(clstrPart);
        }
        const std::string clstrJoined = clstrDir + "/bench-merged.bvf";
        std::vector<std::string> clMerge = {OwnFolder() + "/bvftool", "merge", "-o", clstrJoined};
        clMerge.insert(clMerge.end(), clParts.begin(), clParts.end());
        lMerge = BestOf(lRuns, [&] {
            std::filesystem::remove(clstrJoined);
            return TimeCommand(clMerge);
        });
        std::filesystem::remove(clstrJoined);
        lCpParts = BestOf(lRuns, [&] {
            double lSum = 0;
            for (const std::string &clstrPart : clParts) {
                const double lSeconds = TimeCp(clstrPart, clstrCopy);
                if (lSeconds < 0)
                    return -1.0;
                lSum += lSeconds;
            }
            std::filesystem::remove(clstrCopy);
            return lSum;
        });
    }

    const double lReadRate = MegabytesPerSecond(lBytes, clRead.lSeconds);
    std::printf("\n%s: %llu bytes, %llu records (MB = 10^6 bytes), best of %d\n\n",
                clstrSource.c_str(), static_cast<unsigned long long>(lBytes),
                static_cast<unsigned long long>(clRead.lRecords), lRuns);
    std::printf("%-44s %9s %9s  %s\n", "operation", "time s", "MB/s", "target");
    std::printf("%-44s %9.3f %9.0f  >= 2500 MB/s: %s\n", "read, cached", clRead.lSeconds, lReadRate,
                lReadRate >= 2500 ? "met" : "NOT met");
    std::printf("%-44s %9.3f %9.0f  %.1f ns per record\n", "  processor time of that pass",
                clRead.lCpuSeconds, MegabytesPerSecond(lBytes, clRead.lCpuSeconds),
                clRead.lRecords ? clRead.lCpuSeconds * 1e9 / double(clRead.lRecords) : 0.0);
    std::printf("%-44s %9.3f %9.0f\n", "plain read() of 128 KiB blocks", lPlain,
                MegabytesPerSecond(lBytes, lPlain));
    for (const TmwRead &clTmw : aTmw)
        std::printf("%-44s %9.3f %9.0f  %llu records of %llu bytes\n", clTmw.pName,
                    clTmw.clBest.lSeconds, MegabytesPerSecond(clTmw.lBytes, clTmw.clBest.lSeconds),
                    static_cast<unsigned long long>(clTmw.clBest.lRecords),
                    static_cast<unsigned long long>(clTmw.lBytes));
    if (bReadOnly)
        return 0;
    const double lWriteRatio = clWrite.lSeconds / lCp;
    std::printf("%-44s %9.3f %9.0f  <= 1.5 x cp: %.2f x, %s\n", "write, flags 2, with close",
                clWrite.lSeconds, MegabytesPerSecond(lBytes, clWrite.lSeconds), lWriteRatio,
                lWriteRatio <= 1.5 ? "met" : "NOT met");
    std::printf("%-44s %9.3f %9.0f\n", "read + write pipeline (copy through both)",
                clWrite.lTotalSeconds, MegabytesPerSecond(lBytes, clWrite.lTotalSeconds));
    std::printf("%-44s %9.3f %9.0f\n", "cp", lCp, MegabytesPerSecond(lBytes, lCp));
    if (lMerge < 0 || lCpParts < 0) {
        std::printf("%-44s %9s\n", "bvftool merge of 4 unchanged parts", "failed");
    } else {
        std::printf("%-44s %9.3f %9.0f  <= 1.3 x cp: %.2f x, %s\n",
                    "bvftool merge of 4 unchanged parts", lMerge,
                    MegabytesPerSecond(lPartBytes, lMerge), lMerge / lCpParts,
                    lMerge <= 1.3 * lCpParts ? "met" : "NOT met");
        std::printf("%-44s %9.3f %9.0f\n", "cp of the same 4 parts", lCpParts,
                    MegabytesPerSecond(lPartBytes, lCpParts));
    }
    std::printf("\nrewritten file identical to the source: %s\n", bIdentical ? "yes" : "NO");
    return 0;
}
