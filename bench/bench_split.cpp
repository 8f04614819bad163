// Scan and split of a large container through the workers, beside cp of the
// same file.
//
//   bench_split [--size-mib N] [--dir DIR] [--parts N | --by-time MINUTES]
//
// Generates a sample container of about N MiB (default 1024) in DIR once and
// keeps it for later runs (the same file as bench_container). The file is read
// once before timing, so every pass reads from the cache, as cp does. Timed:
// the scan worker (two passes over the file) and the split worker by number
// (default 2 parts), each from its start to its end code, as the dialog runs
// them. --by-time splits into aligned parts of that many minutes instead, which
// needs no query of the reader's position per record. cp copies the same file
// on the same file system. The peak resident memory of the scans and splits is
// reported against its bound of 64 MiB: memory must not grow with the file
// (--size-mib 4096 shows it on a 4 GiB recording).
#include "BenchCommon.h"
#include "SampleGenerator.h"
#include "SplitControl.h"
#include "SplitEvents.h"
#include "SplitSettings.h"
#include "WidePath.h"
#include "WorkerContext.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using namespace BenchCommon;

int Usage(const char *pProblem) {
    std::fprintf(stderr,
                 "bench_split: %s\n"
                 "Usage: bench_split [--size-mib N] [--dir DIR] [--parts N | --by-time M]\n"
                 "  --size-mib N  size of the generated container (default 1024)\n"
                 "  --dir DIR     folder for the data (default %s)\n"
                 "  --parts N     split by number into N parts (default 2)\n"
                 "  --by-time M   split by time into aligned parts of M minutes\n",
                 pProblem, BVF_BENCH_DATA_DIR);
    return 1;
}

// Waits for a worker's end code; answers every question with abort (none is
// expected: the parts are removed before each run).
class CBenchEvents final : public CSplitEvents {
  public:
    void SplitterProgress(int) override {}
    void ScanEnded(const StructRunResult &clResult) override { End(clResult); }
    void SplitEnded(const StructRunResult &clResult) override { End(clResult); }
    void AskForOverwrite(const QString &clstrFileName) override { Refuse(clstrFileName); }
    void OverwriteSourceFile(const QString &clstrFileName) override { Refuse(clstrFileName); }
    void RetryOpenForWriting(const QString &clstrFileName) override { Refuse(clstrFileName); }

    void Attach(StructWorkerContext &clContext) { m_pContext = &clContext; }
    void Reset() {
        std::lock_guard clLock(m_clMutex);
        m_bEnded = false;
    }
    // True when the run finished.
    bool WaitForEnd() {
        std::unique_lock clLock(m_clMutex);
        m_clEnded.wait(clLock, [this] { return m_bEnded; });
        return m_bFinished;
    }

  private:
    void End(const StructRunResult &clResult) {
        if (!clResult.reason.isEmpty())
            std::fprintf(stderr, "bench_split: %s\n", qPrintable(clResult.reason));
        std::lock_guard clLock(m_clMutex);
        m_bEnded = true;
        m_bFinished = clResult.Succeeded();
        m_clEnded.notify_all();
    }
    void Refuse(const QString &clstrFileName) {
        std::fprintf(stderr, "bench_split: unexpected question about %s\n",
                     qPrintable(clstrFileName));
        AnswerOverwriteQuestion(*m_pContext, OVERWRITE_ABORT);
        AnswerRetryQuestion(*m_pContext, false);
    }

    StructWorkerContext *m_pContext = nullptr;
    std::mutex m_clMutex;
    std::condition_variable m_clEnded;
    bool m_bEnded = false;
    bool m_bFinished = false;
};

// The parts a split may have written: NAME__01.bvf and on.
std::vector<std::string> PartPaths(const std::string &clstrDir, const std::string &clstrBase) {
    std::vector<std::string> clPaths;
    for (uint32_t i = 1; i <= 999; ++i) {
        char aNumber[16];
        std::snprintf(aNumber, sizeof(aNumber), "%02u", i);
        const std::string clstrPath = clstrDir + "/" + clstrBase + "__" + aNumber + ".bvf";
        std::error_code clError;
        if (!std::filesystem::exists(clstrPath, clError))
            break;
        clPaths.push_back(clstrPath);
    }
    return clPaths;
}

void RemoveParts(const std::string &clstrDir, const std::string &clstrBase) {
    for (const std::string &clstrPart : PartPaths(clstrDir, clstrBase))
        std::filesystem::remove(clstrPart);
}

struct RunTimes {
    double lScan = 0;
    double lSplit = 0;
};

bool RunOnce(StructWorkerContext &clContext, CBenchEvents &clEvents, const std::string &clstrSource,
             const StructSplitSettings &clSettings, RunTimes &clTimes) {
    StructSourceInfo clInfo;

    clEvents.Reset();
    Clock::time_point clStart = Clock::now();
    if (!StartScanWorker(clContext, QString::fromStdString(clstrSource), clInfo, nullptr, 0))
        return false;
    const bool bScanned = clEvents.WaitForEnd();
    clTimes.lScan = SecondsSince(clStart);
    ReleaseWorker(clContext);
    if (!bScanned)
        return false;

    clEvents.Reset();
    clStart = Clock::now();
    if (StartSplitWorker(clContext, clInfo, clSettings, nullptr, 0) != SplitStart::Started)
        return false;
    const bool bSplit = clEvents.WaitForEnd();
    clTimes.lSplit = SecondsSince(clStart);
    ReleaseWorker(clContext);
    return bSplit;
}

} // namespace

int main(int argc, char **argv) {
    uint64_t lSizeMib = 1024;
    uint32_t lPartCount = 2;
    int64_t lMinutes = 0;
    std::string clstrDir = BVF_BENCH_DATA_DIR;
    for (int i = 1; i < argc; ++i) {
        const std::string clstrArg = argv[i];
        char *pEnd = nullptr;
        if (clstrArg == "--size-mib" && i + 1 < argc) {
            lSizeMib = std::strtoull(argv[++i], &pEnd, 10);
            if (*pEnd || lSizeMib < 1 || lSizeMib > 65536)
                return Usage("--size-mib needs a whole number from 1 to 65536");
        } else if (clstrArg == "--parts" && i + 1 < argc) {
            lPartCount = uint32_t(std::strtoul(argv[++i], &pEnd, 10));
            if (*pEnd || lPartCount < 1 || lPartCount > 99)
                return Usage("--parts needs a whole number from 1 to 99");
        } else if (clstrArg == "--by-time" && i + 1 < argc) {
            lMinutes = int64_t(std::strtoul(argv[++i], &pEnd, 10));
            if (*pEnd || lMinutes < 1 || lMinutes > 1440)
                return Usage("--by-time needs a whole number of minutes from 1 to 1440");
        } else if (clstrArg == "--dir" && i + 1 < argc) {
            clstrDir = argv[++i];
        } else {
            return Usage(("unknown argument " + clstrArg).c_str());
        }
    }

    std::error_code clError;
    std::filesystem::create_directories(clstrDir, clError);
    const std::string clstrBase = "bench-" + std::to_string(lSizeMib) + "mib";
    const std::string clstrSource = clstrDir + "/" + clstrBase + ".bvf";
    const std::string clstrCopy = clstrDir + "/bench-cp.bvf";
    const uint64_t lTarget = lSizeMib << 20;
    if (clstrSource.size() > kPlatformMaxPathChars - 8)
        return Usage("the folder's path is too long for the part names");

    const uintmax_t lExisting = std::filesystem::file_size(clstrSource, clError);
    if (clError || lExisting < lTarget) {
        std::printf("Generating %s (about %llu MiB) ...\n", clstrSource.c_str(),
                    static_cast<unsigned long long>(lSizeMib));
        std::fflush(stdout);
        StructSampleSettings clSettings;
        clSettings.lRate = 1000;
        clSettings.lTargetBytes = lTarget;
        const StructSampleOutcome clOutcome =
            WriteSampleRecording(NativePathToWide(clstrSource).c_str(), clSettings);
        if (clOutcome.enResult != FILE_OK) {
            std::fprintf(stderr, "bench_split: cannot write %s (%s, result %d)\n",
                         clstrSource.c_str(), clOutcome.pFailedStep, int(clOutcome.enResult));
            return 2;
        }
    }
    const uint64_t lBytes = std::filesystem::file_size(clstrSource);
    if (!ReadPlain(clstrSource)) {
        std::fprintf(stderr, "bench_split: cannot read %s\n", clstrSource.c_str());
        return 2;
    }

    CBenchEvents clEvents;
    StructWorkerContext clContext(&clEvents);
    clEvents.Attach(clContext);
    StructSplitSettings clSettings;
    clSettings.namingScheme = 1; // NAME__SplitNumber
    if (lMinutes > 0) {
        clSettings.mode = SPLIT_BY_TIME;
        clSettings.partLength = lMinutes * 60;
        clSettings.alignToUnit = true;
    } else {
        clSettings.mode = SPLIT_BY_NUMBER;
        clSettings.partCount = lPartCount;
    }

    // From here on the peak covers the workers (cp runs in its own process).
    const bool bPeakReset = ResetPeakResident();

    // Best of three for the workers; cp once per run, between them, so the
    // page cache treats both alike.
    RunTimes clBest;
    double lCp = -1;
    for (int lRun = 0; lRun < 3; ++lRun) {
        RunTimes clTimes;
        RemoveParts(clstrDir, clstrBase);
        if (!RunOnce(clContext, clEvents, clstrSource, clSettings, clTimes)) {
            std::fprintf(stderr, "bench_split: scan or split of %s failed\n", clstrSource.c_str());
            return 2;
        }
        if (lRun == 0 || clTimes.lScan + clTimes.lSplit < clBest.lScan + clBest.lSplit)
            clBest = clTimes;
        const double lCpRun = TimeCp(clstrSource, clstrCopy);
        if (lCpRun < 0) {
            std::fprintf(stderr, "bench_split: /bin/cp %s %s failed\n", clstrSource.c_str(),
                         clstrCopy.c_str());
            return 2;
        }
        if (lCp < 0 || lCpRun < lCp)
            lCp = lCpRun;
        std::filesystem::remove(clstrCopy);
    }

    // The parts hold the source's records and one header each.
    const std::vector<std::string> clParts = PartPaths(clstrDir, clstrBase);
    uint64_t lPartBytes = 0;
    for (const std::string &clstrPart : clParts)
        lPartBytes += std::filesystem::file_size(clstrPart, clError);
    const bool bSizesAgree = !clParts.empty() && lPartBytes == lBytes + (clParts.size() - 1) * 2355;
    RemoveParts(clstrDir, clstrBase);

    const uint64_t lPeakKiB = PeakResidentKiB();
    const double lTotal = clBest.lScan + clBest.lSplit;
    const double lRatio = lTotal / lCp;
    std::printf("\n%s: %llu bytes (MB = 10^6 bytes), %s, %zu parts\n\n", clstrSource.c_str(),
                static_cast<unsigned long long>(lBytes),
                lMinutes > 0 ? "split by time" : "split by number", clParts.size());
    std::printf("%-36s %9s %9s  %s\n", "operation", "time s", "MB/s", "target");
    std::printf("%-36s %9.3f %9.0f\n", "scan (two passes)", clBest.lScan,
                MegabytesPerSecond(lBytes, clBest.lScan));
    std::printf("%-36s %9.3f %9.0f\n", "split", clBest.lSplit,
                MegabytesPerSecond(lBytes, clBest.lSplit));
    std::printf("%-36s %9.3f %9.0f  <= 1.5 x cp: %.2f x, %s\n", "scan + split (best of 3)", lTotal,
                MegabytesPerSecond(lBytes, lTotal), lRatio, lRatio <= 1.5 ? "met" : "NOT met");
    std::printf("%-36s %9.3f %9.0f\n", "cp (best of 3)", lCp, MegabytesPerSecond(lBytes, lCp));
    std::printf("\npeak resident memory%s: %.1f MiB  target < 64 MiB: %s\n",
                bPeakReset ? " of the scans and splits" : " of the whole process",
                double(lPeakKiB) / 1024, lPeakKiB < 64 * 1024 ? "met" : "NOT met");
    std::printf("part sizes add up to the source plus one header per extra part: %s\n",
                bSizesAgree ? "yes" : "NO");
    return 0;
}
