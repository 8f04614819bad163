// Protocol time synchronisation inside the source scan: a loaded protocol
// component is chosen on the record that ends the scan's first pass, given
// the records of the second pass until it reports the time the radio network
// broadcasts, and the difference to the recorder's own time stamp becomes the
// source's protocol offset.
#pragma once

#include "ProtoComponent.h"
#include "VirtualFileFormat.h"

#include <array>
#include <cstdint>
#include <optional>

class CProtocolTimeScan {
  public:
    // Feeding stops after this many time results without a valid time.
    static constexpr uint32_t kMaxTimeResults = 5000;
    // After this many records without a time result one record is left out,
    // so that a component that needs long for a record is not run on every one.
    static constexpr uint32_t kSkipAfterRecords = 1000;
    static constexpr uint32_t kAnalysisSlots = 24;

    CProtocolTimeScan(StructProtoComponent *pComponents, uint32_t lCount)
        : m_pComponents(pComponents), m_lCount(pComponents != nullptr ? lCount : 0) {}
    ~CProtocolTimeScan() { Release(); }
    CProtocolTimeScan(const CProtocolTimeScan &) = delete;
    CProtocolTimeScan &operator=(const CProtocolTimeScan &) = delete;

    // The record that ends the first pass picks the first component able to
    // analyse its kind.
    void ChooseComponent(const RawRecord &clRecord);
    // Before the second pass: creates the analysis and sends its settings.
    void Prepare(const FileHeaderInfo &clHeader);
    // Whether Feed would look at a record of this kind now; the scan decodes
    // a payload only then.
    bool Wants(uint8_t lKind) const {
        return m_lEnabledMask != 0 && lKind < kAnalysisSlots &&
               (m_lEnabledMask & (1u << lKind)) != 0 && m_clObjects[lKind] != nullptr;
    }
    // One record of the second pass.
    void Feed(const RawRecord &clRecord);
    // The offset found, in seconds; empty when none was.
    std::optional<int64_t> Offset() const { return m_clOffset; }
    // Releases every analysis object; safe to call more than once.
    void Release();

  private:
    void ExamineTetra(const uint8_t *pResults, uint8_t lCount, int64_t lRecordTime);
    void ExamineDmr(const uint8_t *pResults, uint8_t lCount, int64_t lRecordTime);

    StructProtoComponent *m_pComponents;
    uint32_t m_lCount;
    StructProtoComponent *m_pChosen = nullptr;
    uint32_t m_lAnalysisKind = 0;
    std::array<void *, kAnalysisSlots> m_clObjects{};
    uint32_t m_lEnabledMask = 0;
    uint32_t m_lAnalysedRecords = 0;
    uint32_t m_lAttempts = 0;
    std::optional<int64_t> m_clOffset;
};
