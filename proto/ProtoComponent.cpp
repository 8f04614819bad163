#include "ProtoComponent.h"

#include "DebugPrintf.h"
#include "FileSystem.h"
#include "Tick.h"
#include "WidePath.h"

#include <cstring>
#include <string>

#ifdef _WIN32
#define PROTO_LIBRARY_NAME(Base) Base L"5V.dll"
const wchar_t *const kProtoComponentMask = L"*5V.dll";
#else
#define PROTO_LIBRARY_NAME(Base) L"lib" Base L"5V.so"
const wchar_t *const kProtoComponentMask = L"*5V.so";
#endif

const wchar_t *const kProtoCompanionNames[kProtoCompanionCount] = {
    PROTO_LIBRARY_NAME(L"ProtoRuntime"),     PROTO_LIBRARY_NAME(L"ProtoCodecAie"),
    PROTO_LIBRARY_NAME(L"ProtoCodecAmbe"),   PROTO_LIBRARY_NAME(L"ProtoCodecAcelp"),
    PROTO_LIBRARY_NAME(L"ProtoCryptoBox"),   PROTO_LIBRARY_NAME(L"ProtoKeyServer"),
    PROTO_LIBRARY_NAME(L"ProtoLicence"),     PROTO_LIBRARY_NAME(L"ProtoSdrBridge"),
    PROTO_LIBRARY_NAME(L"ProtoDfBridge"),    PROTO_LIBRARY_NAME(L"ProtoGpsBridge"),
    PROTO_LIBRARY_NAME(L"ProtoSubscribers"), PROTO_LIBRARY_NAME(L"ProtoFilters"),
    PROTO_LIBRARY_NAME(L"ProtoQoS"),         PROTO_LIBRARY_NAME(L"ProtoExtAnalysis"),
    PROTO_LIBRARY_NAME(L"ProtoResults"),
};

namespace {

#define PROTO_FUNCTION_NAME(Name) #Name,
constexpr const char *kFunctionNames[kProtoFunctionCount] = {
    PROTO_COMPONENT_FUNCTIONS(PROTO_FUNCTION_NAME, PROTO_FUNCTION_NAME)};
#undef PROTO_FUNCTION_NAME

bool IsCompanion(const std::wstring &clstrName) {
    for (const wchar_t *pCompanion : kProtoCompanionNames) {
        if (clstrName == pCompanion)
            return true;
    }
    return false;
}

// clstrFolder ends with "/". False once the list is full: the search stops.
bool SearchFolder(const std::wstring &clstrFolder, uint32_t lDepth,
                  std::vector<std::wstring> &clCandidates) {
    std::vector<PlatformFolderEntry> clEntries;
    PlatformEnumerateFolder(clstrFolder.c_str(), kProtoComponentMask, clEntries);
    for (const PlatformFolderEntry &clEntry : clEntries) {
        if (clEntry.bFolder || IsCompanion(clEntry.name))
            continue;
        const std::wstring clstrPath = clstrFolder + clEntry.name;
        if (clstrPath.size() > kPlatformMaxPathChars)
            continue;
        if (clCandidates.size() >= kMaxProtoCandidates)
            return false;
        clCandidates.push_back(clstrPath);
    }
    if (lDepth >= kMaxProtoSearchDepth)
        return true;
    PlatformEnumerateSubfolders(clstrFolder.c_str(), clEntries);
    for (const PlatformFolderEntry &clEntry : clEntries) {
        // A link may lead back up the tree.
        if (clEntry.bSymlink)
            continue;
        const std::wstring clstrSub = clstrFolder + clEntry.name + L'/';
        // Nothing inside could be named within the limit.
        if (clstrSub.size() >= kPlatformMaxPathChars)
            continue;
        if (!SearchFolder(clstrSub, lDepth + 1, clCandidates))
            return false;
    }
    return true;
}

template <class T> T Function(const StructProtoComponent &clEntry, size_t lIndex) {
    return reinterpret_cast<T>(clEntry.functions[lIndex]);
}

size_t IndexOf(const char *pName) {
    for (size_t i = 0; i < kProtoFunctionCount; ++i) {
        if (std::strcmp(kFunctionNames[i], pName) == 0)
            return i;
    }
    return kProtoFunctionCount;
}

void ClearEntry(StructProtoComponent &clEntry) {
    clEntry.library.Unload();
    clEntry.functions.fill(nullptr);
    clEntry.Init = nullptr;
    clEntry.NewAnalyseObject = nullptr;
    clEntry.SetSettings_Output_1 = nullptr;
    clEntry.SetSettings_SetValue_1 = nullptr;
    clEntry.DeleteAnalyseObject = nullptr;
    clEntry.AnalyseData = nullptr;
    clEntry.GetAnalysedStructData = nullptr;
    std::memset(clEntry.info, 0, sizeof clEntry.info);
}

} // namespace

uint32_t StructProtoComponent::FeatureWord() const {
    uint32_t lWord = 0;
    std::memcpy(&lWord, info + kProtoInfoFeatureWordAt, sizeof lWord);
    return lWord;
}

uint8_t StructProtoComponent::ProtocolByte() const {
    return info[kProtoInfoProtocolByteAt];
}

std::vector<std::wstring> FindProtoComponentCandidates(const std::wstring &clstrRoot) {
    std::vector<std::wstring> clCandidates;
    if (clstrRoot.empty())
        return clCandidates;
    std::wstring clstrFolder = clstrRoot;
    if (clstrFolder.back() != L'/')
        clstrFolder += L'/';
    SearchFolder(clstrFolder, 0, clCandidates);
    return clCandidates;
}

CProtoComponentTable::~CProtoComponentTable() {
    Unload(kProtoUnloadPauseMs);
}

uint32_t CProtoComponentTable::Load(const std::vector<std::wstring> &clCandidates) {
    for (const std::wstring &clstrPath : clCandidates) {
        if (m_lCount >= kMaxProtoComponents)
            break;
        StructProtoComponent &clEntry = m_clEntries[m_lCount];
        if (LoadEntry(clEntry, clstrPath)) {
            ++m_lCount;
            m_clPaths.push_back(clstrPath);
            std::string clstrNative;
            WidePathToNative(clstrPath.c_str(), clstrNative);
            DebugPrintf("Protocol component loaded: %s\n", clstrNative.c_str());
        } else {
            ClearEntry(clEntry);
        }
    }
    return m_lCount;
}

bool CProtoComponentTable::LoadEntry(StructProtoComponent &clEntry, const std::wstring &clstrPath) {
    if (!clEntry.library.Load(clstrPath.c_str()))
        return false;
    // Give the library's own start-up threads a moment before the first call.
    PlatformSleep(kProtoLoadWaitMs);
    for (size_t i = 0; i < kProtoFunctionCount; ++i) {
        const std::string clstrName = std::string(kProtoFunctionPrefix) + kFunctionNames[i];
        clEntry.functions[i] = clEntry.library.Symbol(clstrName.c_str());
        if (clEntry.functions[i] == nullptr)
            return false;
    }
    clEntry.Init = Function<ProtoComponentInitFn>(clEntry, IndexOf("Init"));
    clEntry.NewAnalyseObject =
        Function<ProtoComponentNewAnalyseObjectFn>(clEntry, IndexOf("NewAnalyseObject"));
    clEntry.SetSettings_Output_1 =
        Function<ProtoComponentSetOutputFn>(clEntry, IndexOf("SetSettings_Output_1"));
    clEntry.SetSettings_SetValue_1 =
        Function<ProtoComponentSetValueFn>(clEntry, IndexOf("SetSettings_SetValue_1"));
    clEntry.DeleteAnalyseObject =
        Function<ProtoComponentDeleteAnalyseObjectFn>(clEntry, IndexOf("DeleteAnalyseObject"));
    clEntry.AnalyseData = Function<ProtoComponentAnalyseDataFn>(clEntry, IndexOf("AnalyseData"));
    clEntry.GetAnalysedStructData =
        Function<ProtoComponentGetStructDataFn>(clEntry, IndexOf("GetAnalysedStructData"));

    std::memset(clEntry.info, 0, sizeof clEntry.info);
    const uint32_t lHead[2] = {kProtoInfoFirstField, kProtoInfoSecondField};
    std::memcpy(clEntry.info, lHead, sizeof lHead);
    return clEntry.Init(kProtoInitRequest, clEntry.info) == 0;
}

void CProtoComponentTable::Unload(uint32_t lPauseMs) {
    for (uint32_t i = 0; i < m_lCount; ++i) {
        ClearEntry(m_clEntries[i]);
        if (lPauseMs != 0)
            PlatformSleep(lPauseMs);
    }
    m_lCount = 0;
    m_clPaths.clear();
}
