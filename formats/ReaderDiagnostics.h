// What a reader steps over on its way through a file, for tools that check
// recordings. The readers report only on the paths that handle damage, so a
// sound file is read at the same speed with or without a callback. Beside the
// common interface on purpose: the workers never need it.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

enum class ReaderDamage : uint8_t {
    // Bytes that formed no record, stepped over while searching for the next
    // one (also bytes before the first record of a TMW recording).
    Resynchronised,
    // A record whose framing was sound but that the reader refused.
    RefusedRecord,
    // The file ends inside a record.
    TruncatedTail,
};

struct StructReaderDiagnostic {
    ReaderDamage kind;
    uint64_t offset; // file offset of the first byte concerned
    uint64_t length; // bytes concerned
    int recordType;  // refused record: its type byte or entry kind; otherwise -1
};

using ReaderDiagnosticsCallback = std::function<void(const StructReaderDiagnostic &)>;

class CReaderDiagnostics {
  public:
    // Called on the reading thread, inside ReadData; empty turns it off.
    void SetDiagnostics(ReaderDiagnosticsCallback fnCallback) {
        m_fnDiagnostics = std::move(fnCallback);
    }

  protected:
    // For bookkeeping that only the reports need.
    bool DiagnosticsOn() const { return bool(m_fnDiagnostics); }
    // Empty stretches are not reported.
    void ReportDiagnostic(ReaderDamage enKind, uint64_t lOffset, uint64_t lLength,
                          int lRecordType = -1) const {
        if (m_fnDiagnostics && lLength > 0)
            m_fnDiagnostics(StructReaderDiagnostic{enKind, lOffset, lLength, lRecordType});
    }

  private:
    ReaderDiagnosticsCallback m_fnDiagnostics;
};
