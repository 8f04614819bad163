// The command line from the process's arguments to the request: the input is
// split at newlines into arguments, captured as the program captures them (at
// most seven entries of at most 259 bytes, over-long ones marked as cut) and
// parsed. Whatever the arguments, a request that comes out must be complete.
#include "ArgumentCapture.h"
#include "CommandLine.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Broken(const char *clstrWhat) {
    std::fprintf(stderr, "fuzz target: %s\n", clstrWhat);
    std::abort();
}

void CheckRequest(const StructCommandLineOutcome &clOutcome) {
    const StructCommandLine &clRequest = clOutcome.request;
    if (clRequest.kind < 0 || clRequest.kind > 4)
        Broken("a request of an unknown kind");
    if (clRequest.kind == 0)
        return;
    if (clRequest.sourcePath.isEmpty() || clOutcome.pendingLoad != clRequest.sourcePath)
        Broken("a request without its source to load");
    if (clRequest.scheme > 10 || clRequest.startOption > 2)
        Broken("a naming scheme or start option out of range");
    if (clRequest.scheme == 10 && (!clRequest.fixedNameGiven || clRequest.fixedName.isEmpty()))
        Broken("the fixed name scheme without a name");
    switch (clRequest.kind) {
    case 1:
    case 2:
        if (!clRequest.partLength.isValid())
            Broken("a split by time without a valid part length");
        break;
    case 3:
        if (!clRequest.periodStart.isValid() || !clRequest.periodEnd.isValid() ||
            clRequest.periodStart > clRequest.periodEnd)
            Broken("a period that is not a valid range");
        break;
    default:
        if (clRequest.partCount < 2 || clRequest.partCount > 100000)
            Broken("a part count out of range");
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t lSize) {
    // The program path first, as the operating system hands it over.
    std::vector<std::string> clTexts{"BrennovarstikSplitter"};
    std::string clstrCurrent;
    for (size_t i = 0; i < lSize; ++i) {
        if (pData[i] == '\n') {
            clTexts.push_back(clstrCurrent);
            clstrCurrent.clear();
        } else {
            clstrCurrent.push_back(char(pData[i]));
        }
    }
    clTexts.push_back(clstrCurrent);
    std::vector<const char *> clVector;
    for (const std::string &clstrText : clTexts)
        clVector.push_back(clstrText.c_str());
    clVector.push_back(nullptr);

    static CArgumentCapture clCapture;
    clCapture.Capture(int(clTexts.size()), clVector.data());
    QList<StructCommandArgument> clArguments;
    for (int i = 1; i < clCapture.Count(); ++i)
        clArguments << StructCommandArgument{QString::fromLocal8Bit(clCapture.Vector()[i]),
                                             clCapture.EntryWasCut(i)};

    const StructCommandLineOutcome clOutcome = ParseCommandLine(clArguments);
    CheckRequest(clOutcome);
    const bool bQuit = AsksToQuitAfterSplit(clArguments);
    if (clOutcome.request.kind != 0 && bQuit != (clOutcome.request.startOption == 2))
        Broken("the quit request and the parsed start option disagree");
    return 0;
}
