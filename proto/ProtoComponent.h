// Protocol component libraries: finding them below a folder, loading and
// initialising them, and the table of those that are ready.
#pragma once

#include "DynamicLibrary.h"
#include "ProtoComponentApi.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kMaxProtoCandidates = 16;
constexpr uint32_t kMaxProtoComponents = 12;
// Folders below the start folder that the search enters at most; together
// with skipping links to folders this keeps any tree finite.
constexpr uint32_t kMaxProtoSearchDepth = 8;
constexpr uint32_t kProtoLoadWaitMs = 10;
constexpr uint32_t kProtoUnloadPauseMs = 50;

// Libraries matching the mask that belong beside a component but are none.
constexpr size_t kProtoCompanionCount = 15;
extern const wchar_t *const kProtoCompanionNames[kProtoCompanionCount];
extern const wchar_t *const kProtoComponentMask;

// One loaded and initialised component.
struct StructProtoComponent {
    CDynamicLibrary library;
    std::array<void *, kProtoFunctionCount> functions{}; // in the order of the list
    ProtoComponentInitFn Init = nullptr;
    ProtoComponentNewAnalyseObjectFn NewAnalyseObject = nullptr;
    ProtoComponentSetOutputFn SetSettings_Output_1 = nullptr;
    ProtoComponentSetValueFn SetSettings_SetValue_1 = nullptr;
    ProtoComponentDeleteAnalyseObjectFn DeleteAnalyseObject = nullptr;
    ProtoComponentAnalyseDataFn AnalyseData = nullptr;
    ProtoComponentGetStructDataFn GetAnalysedStructData = nullptr;
    alignas(8) uint8_t info[kProtoInfoBlockSize] = {};

    uint32_t FeatureWord() const;
    uint8_t ProtocolByte() const;
};

// The candidate libraries below clstrRoot, in search order: in each folder
// the files matching the mask (by name), then each subfolder the same way,
// depth first. Companion names are skipped, links to folders are not
// entered, and paths longer than the file classes take are left out rather
// than shortened. At most kMaxProtoCandidates; the search stops when full.
std::vector<std::wstring> FindProtoComponentCandidates(const std::wstring &clstrRoot);

// The loaded components; the entries in use come first.
class CProtoComponentTable {
  public:
    CProtoComponentTable() = default;
    // Unloads with the pause after each library.
    ~CProtoComponentTable();
    CProtoComponentTable(const CProtoComponentTable &) = delete;
    CProtoComponentTable &operator=(const CProtoComponentTable &) = delete;

    // Loads the candidates in order while fewer than kMaxProtoComponents are
    // loaded: a library that lacks a function or whose Init does not answer
    // 0 is unloaded again. Returns the number loaded in all.
    uint32_t Load(const std::vector<std::wstring> &clCandidates);
    // Finds the candidates below clstrRoot and loads them.
    uint32_t LoadFrom(const std::wstring &clstrRoot) {
        return Load(FindProtoComponentCandidates(clstrRoot));
    }
    // Unloads every library, pausing lPauseMs after each one.
    void Unload(uint32_t lPauseMs = 0);

    StructProtoComponent *Entries() { return m_clEntries.data(); }
    uint32_t Count() const { return m_lCount; }
    // The path each loaded entry came from.
    const std::vector<std::wstring> &Paths() const { return m_clPaths; }

  private:
    bool LoadEntry(StructProtoComponent &clEntry, const std::wstring &clstrPath);

    std::array<StructProtoComponent, kMaxProtoComponents> m_clEntries;
    uint32_t m_lCount = 0;
    std::vector<std::wstring> m_clPaths;
};
