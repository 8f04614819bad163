// Scan and split of a large container through the workers and through the
// program itself, beside cp of the same file (and editcap on a pcap of the
// same size and time span, where editcap is installed).
//
//   bench_split [--size-mib N] [--dir DIR] [--parts N | --by-time MINUTES]
//   bench_split [--size-mib N] [--dir DIR] --manifest
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
// The program runs headless from its start to its exit, splitting the same
// file into parts of one hour aligned to whole hours, as a script would; and
// once on a missing source, which shows what starting and ending cost.
// --manifest instead splits the file with "bvftool split --manifest" and
// checks the parts with "bvftool verify --manifest", reporting the peak
// resident memory of the check (bound 64 MiB, whatever the size of the parts).
#include "BenchCommon.h"
#include "SampleGenerator.h"
#include "ScanIndex.h"
#include "SplitControl.h"
#include "SplitEvents.h"
#include "SplitSettings.h"
#include "WidePath.h"
#include "WorkerContext.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
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
                 "  --by-time M   split by time into aligned parts of M minutes\n"
                 "  --manifest    bvftool split --manifest and verify --manifest only\n",
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
             const StructSplitSettings &clSettings, RunTimes &clTimes, StructSourceInfo &clInfo) {
    clEvents.Reset();
    Clock::time_point clStart = Clock::now();
    // As the dialog scans and splits: with the per-minute index its timeline
    // is drawn from and the split copies by.
    CScanIndex clIndex;
    if (!StartScanWorker(clContext, QString::fromStdString(clstrSource), clInfo, nullptr, 0,
                         &clIndex))
        return false;
    const bool bScanned = clEvents.WaitForEnd();
    clTimes.lScan = SecondsSince(clStart);
    ReleaseWorker(clContext);
    if (!bScanned)
        return false;

    clEvents.Reset();
    clStart = Clock::now();
    if (StartSplitWorker(clContext, clInfo, clSettings, nullptr, 0, &clIndex) !=
        SplitStart::Started)
        return false;
    const bool bSplit = clEvents.WaitForEnd();
    clTimes.lSplit = SecondsSince(clStart);
    ReleaseWorker(clContext);
    return bSplit;
}

const std::vector<std::string> kNoDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

// The program's headless hourly split of the source, from start to exit.
double TimeProgramSplit(const std::string &clstrSource, const std::string &clstrDir,
                        const std::string &clstrBase) {
    RemoveParts(clstrDir, clstrBase);
    const double lSeconds =
        TimeCommand({OwnFolder() + "/BrennovarstikSplitter", "-fs=" + clstrSource, "-st=1",
                     "-tu=01:00", "-fdu=1", "-start=2"},
                    0, kNoDisplay);
    RemoveParts(clstrDir, clstrBase);
    return lSeconds;
}

// A classic pcap file of about lBytes with packets spread evenly from lFirst
// to lLast (seconds since 1970): what editcap splits by time.
bool WritePcap(const std::string &clstrPath, uint64_t lBytes, int64_t lFirst, int64_t lLast) {
    constexpr uint32_t kPacketData = 184; // with its 16-byte head: 200 bytes a packet
    std::unique_ptr<FILE, int (*)(FILE *)> pFile(std::fopen(clstrPath.c_str(), "wb"), &std::fclose);
    if (!pFile)
        return false;
    const uint32_t aHeader[6] = {0xa1b2c3d4, 0x00040002, 0, 0, 65535, 147};
    if (std::fwrite(aHeader, sizeof aHeader, 1, pFile.get()) != 1)
        return false;
    const uint64_t lPackets = (lBytes - sizeof aHeader) / (16 + kPacketData);
    const double lStep = double(lLast - lFirst) * 1e6 / double(lPackets);
    std::vector<uint8_t> clPacket(16 + kPacketData, 0x5a);
    for (uint64_t i = 0; i < lPackets; ++i) {
        const auto lMicro = int64_t(double(i) * lStep);
        const uint32_t aHead[4] = {uint32_t(lFirst + lMicro / 1000000), uint32_t(lMicro % 1000000),
                                   kPacketData, kPacketData};
        std::memcpy(clPacket.data(), aHead, sizeof aHead);
        if (std::fwrite(clPacket.data(), clPacket.size(), 1, pFile.get()) != 1)
            return false;
    }
    return true;
}

// editcap -i 3600 of the pcap into a scratch folder, removed afterwards.
double TimeEditcap(const std::string &clstrEditcap, const std::string &clstrPcap,
                   const std::string &clstrDir) {
    const std::string clstrOut = clstrDir + "/bench-editcap";
    std::filesystem::remove_all(clstrOut);
    std::filesystem::create_directories(clstrOut);
    const double lSeconds =
        TimeCommand({clstrEditcap, "-i", "3600", clstrPcap, clstrOut + "/part.pcap"});
    std::filesystem::remove_all(clstrOut);
    return lSeconds;
}

// One line of the table; pTarget names the goal, bMet says whether it holds.
void PrintRow(const char *pName, double lSeconds, uint64_t lBytes, double lCp,
              const char *pTarget = "", bool bMet = true) {
    if (lSeconds < 0) {
        std::printf("%-40s %9s\n", pName, "failed");
        return;
    }
    std::printf("%-40s %9.3f %9.0f %7.2f x", pName, lSeconds, MegabytesPerSecond(lBytes, lSeconds),
                lSeconds / lCp);
    if (*pTarget != '\0')
        std::printf("  %s: %s", pTarget, bMet ? "met" : "NOT met");
    std::printf("\n");
}

// bvftool split --manifest, then verify --manifest of the parts: times and
// the check's peak memory, which must not grow with the parts.
int BenchManifest(const std::string &clstrSource, const std::string &clstrDir, uint64_t lBytes) {
    const std::string clstrParts = clstrDir + "/manifest-parts";
    std::error_code clError;
    std::filesystem::remove_all(clstrParts, clError);
    std::filesystem::create_directories(clstrParts, clError);
    const std::string clstrTool = OwnFolder() + "/bvftool";
    uint64_t lSplitKiB = 0;
    uint64_t lVerifyKiB = 0;
    const double lSplit = TimeCommand({clstrTool, "split", "--by-time", "01:00", "--naming", "1",
                                       "--manifest", "-d", clstrParts, clstrSource},
                                      0, {}, &lSplitKiB);
    const std::string clstrBase = std::filesystem::path(clstrSource).stem().string();
    const double lVerify = lSplit < 0
                               ? -1
                               : TimeCommand({clstrTool, "verify", "--manifest",
                                              clstrParts + "/" + clstrBase + ".manifest.json"},
                                             0, {}, &lVerifyKiB);
    uint64_t lPartBytes = 0;
    for (const auto &clEntry : std::filesystem::directory_iterator(clstrParts, clError))
        lPartBytes += clEntry.path().extension() == ".bvf" ? clEntry.file_size() : 0;
    std::filesystem::remove_all(clstrParts, clError);
    if (lVerify < 0) {
        std::fprintf(stderr, "bench_split: bvftool split or verify --manifest of %s failed\n",
                     clstrSource.c_str());
        return 2;
    }
    std::printf("\n%s: %llu bytes, parts %llu bytes (MB = 10^6 bytes)\n", clstrSource.c_str(),
                static_cast<unsigned long long>(lBytes),
                static_cast<unsigned long long>(lPartBytes));
    std::printf("%-40s %9.2f s %9.1f MB/s  peak %.1f MiB\n", "bvftool split --manifest", lSplit,
                MegabytesPerSecond(lBytes, lSplit), double(lSplitKiB) / 1024);
    std::printf("%-40s %9.2f s %9.1f MB/s  peak %.1f MiB  target < 64 MiB: %s\n",
                "bvftool verify --manifest", lVerify, MegabytesPerSecond(lPartBytes, lVerify),
                double(lVerifyKiB) / 1024, lVerifyKiB < 64 * 1024 ? "met" : "NOT met");
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    uint64_t lSizeMib = 1024;
    uint32_t lPartCount = 2;
    int64_t lMinutes = 0;
    bool bManifest = false;
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
        } else if (clstrArg == "--manifest") {
            bManifest = true;
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
    if (bManifest)
        return BenchManifest(clstrSource, clstrDir, lBytes);

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
    StructSourceInfo clInfo;
    double lCp = -1;
    for (int lRun = 0; lRun < 3; ++lRun) {
        RunTimes clTimes;
        RemoveParts(clstrDir, clstrBase);
        if (!RunOnce(clContext, clEvents, clstrSource, clSettings, clTimes, clInfo)) {
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

    // The program as a script runs it; its memory is its own process's.
    const double lProgram =
        BestOf(3, [&] { return TimeProgramSplit(clstrSource, clstrDir, clstrBase); });
    const double lMissing = BestOf(3, [&] {
        return TimeCommand({OwnFolder() + "/BrennovarstikSplitter",
                            "-fs=" + clstrDir + "/no-such-recording.bvf", "-st=1", "-tu=01:00",
                            "-fdu=1", "-start=2"},
                           1, kNoDisplay);
    });
    const std::string clstrEditcap = FindInPath("editcap");
    double lEditcap = -1;
    if (!clstrEditcap.empty()) {
        const std::string clstrPcap = clstrDir + "/" + clstrBase + ".pcap";
        if (!std::filesystem::exists(clstrPcap) &&
            !WritePcap(clstrPcap, lBytes, clInfo.first.toSecsSinceEpoch(),
                       clInfo.last.toSecsSinceEpoch())) {
            std::fprintf(stderr, "bench_split: cannot write %s\n", clstrPcap.c_str());
            return 2;
        }
        ReadPlain(clstrPcap);
        lEditcap = BestOf(3, [&] { return TimeEditcap(clstrEditcap, clstrPcap, clstrDir); });
    }

    const double lTotal = clBest.lScan + clBest.lSplit;
    std::printf("\n%s: %llu bytes (MB = 10^6 bytes), %s, %zu parts; best of 3\n\n",
                clstrSource.c_str(), static_cast<unsigned long long>(lBytes),
                lMinutes > 0 ? "split by time" : "split by number", clParts.size());
    std::printf("%-40s %9s %9s %9s  %s\n", "operation", "time s", "MB/s", "vs cp", "target");
    PrintRow("scan (two passes)", clBest.lScan, lBytes, lCp, ">= 3000 MB/s",
             MegabytesPerSecond(lBytes, clBest.lScan) >= 3000);
    PrintRow("split", clBest.lSplit, lBytes, lCp, "<= 1.3 x cp", clBest.lSplit <= 1.3 * lCp);
    PrintRow("scan + split", lTotal, lBytes, lCp, "<= 2 x cp", lTotal <= 2 * lCp);
    PrintRow("cp to a new file", lCp, lBytes, lCp);
    PrintRow("program, headless, hourly parts", lProgram, lBytes, lCp, "<= 2 x cp",
             lProgram <= 2 * lCp);
    if (lEditcap >= 0) {
        PrintRow("editcap -i 3600, pcap of equal size", lEditcap, lBytes, lCp);
        if (lProgram >= 0)
            std::printf("%-40s %9.2f x editcap  <= 0.35 x: %s\n", "program against editcap",
                        lProgram / lEditcap, lProgram / lEditcap <= 0.35 ? "met" : "NOT met");
    } else {
        std::printf("%-40s %9s\n", "editcap -i 3600", "not installed");
    }
    if (lMissing >= 0)
        std::printf("%-40s %9.3f s  <= 0.1 s: %s\n", "program, headless, missing source", lMissing,
                    lMissing <= 0.1 ? "met" : "NOT met");
    else
        PrintRow("program, headless, missing source", lMissing, lBytes, lCp);
    std::printf("\npeak resident memory%s: %.1f MiB  target < 64 MiB: %s\n",
                bPeakReset ? " of the scans and splits" : " of the whole process",
                double(lPeakKiB) / 1024, lPeakKiB < 64 * 1024 ? "met" : "NOT met");
    std::printf("part sizes add up to the source plus one header per extra part: %s\n",
                bSizesAgree ? "yes" : "NO");
    return 0;
}
