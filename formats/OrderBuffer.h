// The container writer's order buffer: TETRA, DMR and GSM records arrive in
// the order the receiver decoded them, not in air-interface order. The buffer
// holds a short window of them in a ring of time-keyed slots and hands them on
// slot by slot, so that each file holds them in air-interface order.
#pragma once

#include "RecordTypes.h"

#include <cstdint>
#include <memory>

// The writer's direct write: stores one record as a container record (it picks
// the rotation channel itself). The buffer's own notices go through the same
// sink. A record handed over points into the buffer and is valid only during
// the call.
class COrderBufferSink {
  public:
    virtual FileResult WriteDirect(const RawRecord &clRecord) = 0;

  protected:
    ~COrderBufferSink() = default;
};

enum class OrderMode : uint32_t { Idle = 0, Tetra = 1, Dmr = 2, Gsm = 3 };

// Code of the notices the buffer writes when a gap is too large for it.
constexpr uint32_t kOrderNoticeCode = 10045;

// Part of the stored notice format, so it never changes once files exist.
// With 0x5A the pattern byte i + (i mod 4) + offset runs from 0x5A to 0xDC
// over the 128 text bytes and is never zero, so every byte of the field,
// terminator and zero padding included, differs from its plain value.
constexpr uint8_t kNoticeScrambleOffset = 0x5A;

// Scrambles a notice text field in place as it is stored in a container.
void ScrambleNoticeText(uint8_t (&text)[128]);

class COrderBuffer {
  public:
    // The storage (most of a megabyte) comes with the first record to order,
    // or with Allocate: readers and writers without ordering never need it.
    COrderBuffer();
    ~COrderBuffer();
    COrderBuffer(const COrderBuffer &) = delete;
    COrderBuffer &operator=(const COrderBuffer &) = delete;

    // False when the storage cannot be had; every write then answers 7.
    bool Allocate();
    bool HasStorage() { return Allocate(); }

    // Back to idle, dropping anything held (a new file is opened for writing).
    void Clear();
    OrderMode Mode() const { return m_enMode; }

    // True when the record belongs in the buffer: a TETRA (kind 0, 1136 bytes),
    // DMR (kind 1, 296) or GSM (kind 4, 1344) record whose kind matches the
    // buffer's mode. An idle buffer is set up in the record's mode. A record
    // that is not taken goes to the direct write. The caller checks that
    // ordering is switched on.
    bool TakesRecord(const RawRecord &clRecord);

    // Buffers a record that TakesRecord accepts; any other record goes
    // straight to the sink.
    FileResult Write(const RawRecord &clRecord, COrderBufferSink &clSink);

    // The three modes. Each answers 4 for a record of another kind or length
    // and 1 when the buffer is in another mode; an idle buffer is set up.
    FileResult Raw_WriteData_OrderTetraTmv(const RawRecord &clRecord, COrderBufferSink &clSink);
    FileResult Raw_WriteData_OrderDmrTmv(const RawRecord &clRecord, COrderBufferSink &clSink);
    FileResult Raw_WriteData_OrderGsmTmv(const RawRecord &clRecord, COrderBufferSink &clSink);

    // Writes every held record in ring order (the slot after the current one
    // first), then sets the buffer up afresh in the same mode. The result is
    // the last nonzero sink result.
    FileResult FlushAll(COrderBufferSink &clSink);

  private:
    struct Storage;

    void SetUp(OrderMode enMode);
    FileResult CheckOrderable(const RawRecord &clRecord, OrderMode enMode);
    uint32_t SlotCount() const;
    void Advance();
    int FindSlot(uint64_t lKey) const;
    bool SaveIntoSubSlot(int lSlot, int lFirstSubSlot, uint64_t lKey, const RawRecord &clRecord);
    FileResult Raw_WriteData_Order_FlushSlot(int lSlot, COrderBufferSink &clSink);
    void Raw_WriteData_Order_Notice(const char *pText, COrderBufferSink &clSink);

    void Raw_WriteData_OrderTetraTmv_SaveSlot(int lSlot, uint64_t lKey, const RawRecord &clRecord);
    void Raw_WriteData_OrderDmrTmv_SaveSlot(int lSlot, uint64_t lKey, const RawRecord &clRecord);
    void Raw_WriteData_OrderGsmTmv_SaveSlot(int lSlot, uint64_t lKey, const RawRecord &clRecord);

    std::unique_ptr<Storage> m_pStorage;
    OrderMode m_enMode = OrderMode::Idle;
    uint8_t m_lCurrent = 0;
};
