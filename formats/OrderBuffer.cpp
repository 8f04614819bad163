#include "OrderBuffer.h"

#include "DebugPrintf.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// 65,536 hyperframes of 60 multiframes of 72 timeslots.
constexpr int64_t kTetraWrap = 283115520;
constexpr int64_t kTetraHalfWrap = kTetraWrap / 2;
// Gaps from the current slot at which the window cannot hold both records.
constexpr uint64_t kTetraFlushGap = 144;
constexpr uint64_t kDmrFlushGap = 2040;
constexpr uint64_t kGsmFlushGap = 1199952;
// Two DMR timeslots sharing a time stamp come 30 ms apart; the second may be
// decoded before the first.
constexpr int64_t kDmrPairMin = 21;
constexpr int64_t kDmrPairMax = 39;
constexpr int64_t kDmrPairOffset = 30;
// GSM downlink: below this a record joins the current slot, below the next
// limit it opens the next one, beyond it a slot is left for the record before.
constexpr int64_t kGsmSameSlotBelow = 272;
constexpr int64_t kGsmNextSlotBelow = 11811;
constexpr uint64_t kGsmPlaceholderOffset = 11538;

constexpr uint32_t kTetraSubSlots = 15;

struct ModeGeometry {
    uint32_t slots;
    uint32_t subSlots;
    uint32_t payloadLength;
    uint64_t emptyKey;
};

// Indexed by OrderMode.
constexpr ModeGeometry kGeometry[] = {
    {0, 0, 0, 0},
    {144, kTetraSubSlots, kTetraTmvLength, 0xFFFFFFFFULL},
    {68, 2, kDmrTmvLength, 0x7FFFFFFFFFFFFFFFULL},
    {208, 2, kGsmTmvLength, 0xFFFFFFFFFFFFFFFFULL},
};

constexpr const ModeGeometry &Geometry(OrderMode enMode) {
    return kGeometry[size_t(enMode)];
}

constexpr uint32_t kMaxSlots = 208;
constexpr uint32_t kMaxEntries = 144 * kTetraSubSlots;
constexpr size_t kMaxPayloadBytes =
    std::max({size_t(144) * kTetraSubSlots * kTetraTmvLength, size_t(68) * 2 * kDmrTmvLength,
              size_t(208) * 2 * kGsmTmvLength});

static_assert(kTetraTmvLength % 8 == 0 && kDmrTmvLength % 8 == 0 && kGsmTmvLength % 8 == 0,
              "stored payloads must stay aligned for their structures");

OrderMode ModeForRecord(const RawRecord &clRecord) {
    if (clRecord.payload == nullptr)
        return OrderMode::Idle;
    if (clRecord.payloadKind == PAYLOAD_TETRA && clRecord.payloadLength == kTetraTmvLength)
        return OrderMode::Tetra;
    if (clRecord.payloadKind == PAYLOAD_DMR && clRecord.payloadLength == kDmrTmvLength)
        return OrderMode::Dmr;
    if (clRecord.payloadKind == PAYLOAD_GSM && clRecord.payloadLength == kGsmTmvLength)
        return OrderMode::Gsm;
    return OrderMode::Idle;
}

// Out-of-range frame fields can give numbers beyond one wrap; reducing every
// key keeps it clear of the empty key and keeps differences meaningful.
uint64_t TetraReduce(int64_t lValue) {
    return uint64_t(((lValue % kTetraWrap) + kTetraWrap) % kTetraWrap);
}

int64_t TetraDifference(uint64_t lKey, uint64_t lReference) {
    int64_t d = int64_t(lKey) - int64_t(lReference);
    if (d > kTetraHalfWrap)
        d -= kTetraWrap;
    else if (d < -kTetraHalfWrap)
        d += kTetraWrap;
    return d;
}

uint64_t Magnitude(int64_t d) {
    return d < 0 ? 0 - uint64_t(d) : uint64_t(d);
}

int TetraUplinkFirstSubSlot(int8_t lBurstType) {
    switch (lBurstType) {
    case 18:
        return 4;
    case 19:
        return 5;
    case 20:
        return 6;
    case 21:
        return 7;
    case 22:
        return 8;
    case 32:
    case 33:
        return 9;
    case 34:
        return 10;
    case 35:
        return 11;
    case 36:
        return 12;
    case 37:
        return 13;
    case 38:
        return 14;
    default:
        return 3;
    }
}

} // namespace

// One area for all modes: each mode lays its slots out from the start.
struct COrderBuffer::Storage {
    uint64_t keys[kMaxSlots];
    uint16_t masks[kMaxSlots];
    RawRecord records[kMaxEntries];
    alignas(8) uint8_t payloads[kMaxPayloadBytes];
};

void ScrambleNoticeText(uint8_t (&text)[128]) {
    for (unsigned i = 0; i < sizeof(text); ++i)
        text[i] ^= uint8_t(i + (i % 4) + kNoticeScrambleOffset);
}

COrderBuffer::COrderBuffer() = default;

bool COrderBuffer::Allocate() {
    if (!m_pStorage)
        m_pStorage.reset(new (std::nothrow) Storage);
    return m_pStorage != nullptr;
}

COrderBuffer::~COrderBuffer() = default;

void COrderBuffer::Clear() {
    m_enMode = OrderMode::Idle;
    m_lCurrent = 0;
}

void COrderBuffer::SetUp(OrderMode enMode) {
    m_enMode = enMode;
    m_lCurrent = 0;
    if (enMode == OrderMode::Idle || !Allocate())
        return;
    const ModeGeometry &clGeometry = Geometry(enMode);
    std::fill_n(m_pStorage->keys, clGeometry.slots, clGeometry.emptyKey);
    std::fill_n(m_pStorage->masks, clGeometry.slots, uint16_t(0));
    m_lCurrent = uint8_t(clGeometry.slots - 1);
}

bool COrderBuffer::TakesRecord(const RawRecord &clRecord) {
    const OrderMode enMode = ModeForRecord(clRecord);
    if (enMode == OrderMode::Idle)
        return false;
    if (m_enMode == OrderMode::Idle)
        SetUp(enMode);
    return m_enMode == enMode;
}

FileResult COrderBuffer::Write(const RawRecord &clRecord, COrderBufferSink &clSink) {
    if (!TakesRecord(clRecord))
        return clSink.WriteDirect(clRecord);
    switch (m_enMode) {
    case OrderMode::Tetra:
        return Raw_WriteData_OrderTetraTmv(clRecord, clSink);
    case OrderMode::Dmr:
        return Raw_WriteData_OrderDmrTmv(clRecord, clSink);
    case OrderMode::Gsm:
        return Raw_WriteData_OrderGsmTmv(clRecord, clSink);
    case OrderMode::Idle:
        break;
    }
    return clSink.WriteDirect(clRecord);
}

FileResult COrderBuffer::CheckOrderable(const RawRecord &clRecord, OrderMode enMode) {
    if (!Allocate())
        return FILE_NO_BUFFER;
    if (ModeForRecord(clRecord) != enMode)
        return FILE_DAMAGED;
    if (m_enMode == OrderMode::Idle)
        SetUp(enMode);
    return m_enMode == enMode ? FILE_OK : FILE_WRONG_STATE;
}

uint32_t COrderBuffer::SlotCount() const {
    return Geometry(m_enMode).slots;
}

void COrderBuffer::Advance() {
    m_lCurrent = uint8_t((m_lCurrent + 1u) % SlotCount());
}

int COrderBuffer::FindSlot(uint64_t lKey) const {
    const uint32_t lSlots = SlotCount();
    for (uint32_t n = 0; n < lSlots; ++n) {
        const uint32_t lSlot = (m_lCurrent + n) % lSlots;
        if (m_pStorage->keys[lSlot] == lKey)
            return int(lSlot);
    }
    return -1;
}

bool COrderBuffer::SaveIntoSubSlot(int lSlot, int lFirstSubSlot, uint64_t lKey,
                                   const RawRecord &clRecord) {
    const ModeGeometry &clGeometry = Geometry(m_enMode);
    uint16_t &lMask = m_pStorage->masks[lSlot];
    for (uint32_t n = 0; n < clGeometry.subSlots; ++n) {
        const uint32_t lSub = (uint32_t(lFirstSubSlot) + n) % clGeometry.subSlots;
        if (lMask & (1u << lSub))
            continue;
        const size_t lEntry = size_t(lSlot) * clGeometry.subSlots + lSub;
        uint8_t *pPayload = m_pStorage->payloads + lEntry * clGeometry.payloadLength;
        std::memcpy(pPayload, clRecord.payload, clGeometry.payloadLength);
        RawRecord &clStored = m_pStorage->records[lEntry];
        clStored = clRecord;
        clStored.payload = pPayload;
        lMask = uint16_t(lMask | (1u << lSub));
        m_pStorage->keys[lSlot] = lKey;
        return true;
    }
    return false;
}

FileResult COrderBuffer::Raw_WriteData_Order_FlushSlot(int lSlot, COrderBufferSink &clSink) {
    const ModeGeometry &clGeometry = Geometry(m_enMode);
    uint16_t &lMask = m_pStorage->masks[lSlot];
    FileResult enResult = FILE_OK;
    for (uint32_t lSub = 0; lMask != 0 && lSub < clGeometry.subSlots; ++lSub) {
        if (!(lMask & (1u << lSub)))
            continue;
        const FileResult enWrite =
            clSink.WriteDirect(m_pStorage->records[size_t(lSlot) * clGeometry.subSlots + lSub]);
        if (enWrite != FILE_OK)
            enResult = enWrite;
    }
    lMask = 0;
    m_pStorage->keys[lSlot] = clGeometry.emptyKey;
    return enResult;
}

FileResult COrderBuffer::FlushAll(COrderBufferSink &clSink) {
    if (m_enMode == OrderMode::Idle || !m_pStorage)
        return FILE_OK;
    const uint32_t lSlots = SlotCount();
    FileResult enResult = FILE_OK;
    for (uint32_t n = 1; n <= lSlots; ++n) {
        const FileResult enFlush =
            Raw_WriteData_Order_FlushSlot(int((m_lCurrent + n) % lSlots), clSink);
        if (enFlush != FILE_OK)
            enResult = enFlush;
    }
    SetUp(m_enMode);
    return enResult;
}

void COrderBuffer::Raw_WriteData_Order_Notice(const char *pText, COrderBufferSink &clSink) {
    NoticeTmv clNotice{};
    clNotice.noticeType = 1;
    clNotice.code = kOrderNoticeCode;
    clNotice.value = 0;
    // Zeros after the terminator, so the stored field depends only on the text.
    std::strncpy(reinterpret_cast<char *>(clNotice.text), pText, sizeof(clNotice.text) - 1);
    ScrambleNoticeText(clNotice.text);

    RawRecord clRecord{};
    clRecord.recordClass = 2;
    clRecord.payloadKind = PAYLOAD_NOTICE;
    clRecord.payloadLength = kNoticeTmvLength;
    clRecord.payload = &clNotice;
    // The gap is recorded as well as possible; a failed notice must not hide
    // the result of the records themselves.
    (void)clSink.WriteDirect(clRecord);
}

void COrderBuffer::Raw_WriteData_OrderTetraTmv_SaveSlot(int lSlot, uint64_t lKey,
                                                        const RawRecord &clRecord) {
    const auto &clTetra = *static_cast<const TetraTmv *>(clRecord.payload);
    const int lFirst = clTetra.direction == 0 ? 0 : TetraUplinkFirstSubSlot(clTetra.burstType);
    // A slot whose fifteen sub-slots are all taken drops the record silently.
    (void)SaveIntoSubSlot(lSlot, lFirst, lKey, clRecord);
}

void COrderBuffer::Raw_WriteData_OrderDmrTmv_SaveSlot(int lSlot, uint64_t lKey,
                                                      const RawRecord &clRecord) {
    const auto &clDmr = *static_cast<const DmrTmv *>(clRecord.payload);
    if (!SaveIntoSubSlot(lSlot, clDmr.timeslot == 1 ? 1 : 0, lKey, clRecord))
        DebugPrintf("CBrennovarstikFileFormatV1::Raw_WriteData_OrderDmrTmv_SaveSlot(): No free "
                    "space for saving data!\n");
}

void COrderBuffer::Raw_WriteData_OrderGsmTmv_SaveSlot(int lSlot, uint64_t lKey,
                                                      const RawRecord &clRecord) {
    const auto &clGsm = *static_cast<const GsmTmv *>(clRecord.payload);
    if (!SaveIntoSubSlot(lSlot, clGsm.direction == 1 ? 1 : 0, lKey, clRecord))
        DebugPrintf("CBrennovarstikFileFormatV1::Raw_WriteData_OrderGsmTmv_SaveSlot(): No free "
                    "space for saving data!\n");
}

FileResult COrderBuffer::Raw_WriteData_OrderTetraTmv(const RawRecord &clRecord,
                                                     COrderBufferSink &clSink) {
    const FileResult enCheck = CheckOrderable(clRecord, OrderMode::Tetra);
    if (enCheck != FILE_OK)
        return enCheck;
    const auto &clTetra = *static_cast<const TetraTmv *>(clRecord.payload);
    const int64_t s = (int64_t(clTetra.hyperframe) * 60 + clTetra.multiframe) * 72 +
                      int64_t(clTetra.frame) * 4 + ((clTetra.timeslot - 1) & 3);
    uint64_t *pKeys = m_pStorage->keys;
    const uint64_t lEmpty = Geometry(OrderMode::Tetra).emptyKey;

    if (clTetra.direction == 0) {
        const uint64_t lKey = TetraReduce(s - 76);
        FileResult enResult = FILE_OK;
        if (pKeys[m_lCurrent] != lEmpty) {
            const int64_t d = TetraDifference(lKey, pKeys[m_lCurrent]);
            if (Magnitude(d) >= kTetraFlushGap) {
                char acText[128];
                std::snprintf(acText, sizeof(acText), "TETRA Flush buffer: %d", int(d));
                Raw_WriteData_Order_Notice(acText, clSink);
                enResult = FlushAll(clSink);
            }
        }
        const int lFound = FindSlot(lKey);
        if (lFound >= 0) {
            Raw_WriteData_OrderTetraTmv_SaveSlot(lFound, lKey, clRecord);
            return enResult;
        }
        Advance();
        const FileResult enFlush = Raw_WriteData_Order_FlushSlot(m_lCurrent, clSink);
        Raw_WriteData_OrderTetraTmv_SaveSlot(m_lCurrent, lKey, clRecord);
        return enFlush != FILE_OK ? enFlush : enResult;
    }

    // Uplink timeslots are numbered two later than the downlink ones.
    const uint64_t lKey = TetraReduce(s - 74);
    const int lFound = FindSlot(lKey);
    if (lFound >= 0) {
        Raw_WriteData_OrderTetraTmv_SaveSlot(lFound, lKey, clRecord);
        return FILE_OK;
    }
    // With no current key there is nothing to measure the gap against, so no
    // placeholder is left.
    const bool bPlaceholder =
        pKeys[m_lCurrent] != lEmpty && TetraDifference(lKey, pKeys[m_lCurrent]) == 2;
    Advance();
    FileResult enResult = Raw_WriteData_Order_FlushSlot(m_lCurrent, clSink);
    if (bPlaceholder) {
        // The downlink timeslot in between is still to come: keep its slot.
        pKeys[m_lCurrent] = TetraReduce(int64_t(lKey) - 1);
        Advance();
        const FileResult enFlush = Raw_WriteData_Order_FlushSlot(m_lCurrent, clSink);
        if (enFlush != FILE_OK)
            enResult = enFlush;
    }
    Raw_WriteData_OrderTetraTmv_SaveSlot(m_lCurrent, lKey, clRecord);
    return enResult;
}

FileResult COrderBuffer::Raw_WriteData_OrderDmrTmv(const RawRecord &clRecord,
                                                   COrderBufferSink &clSink) {
    const FileResult enCheck = CheckOrderable(clRecord, OrderMode::Dmr);
    if (enCheck != FILE_OK)
        return enCheck;
    const auto &clDmr = *static_cast<const DmrTmv *>(clRecord.payload);
    const uint64_t lKey = clDmr.altTimeSeconds != 0
                              ? clDmr.altTimeSeconds * 1000 + clDmr.altMilliseconds
                              : clDmr.timeSeconds * 1000 + clDmr.milliseconds;
    uint64_t *pKeys = m_pStorage->keys;
    const uint64_t lEmpty = Geometry(OrderMode::Dmr).emptyKey;
    // Such a key could never be found again; the time stamp is corrupt anyway.
    if (lKey == lEmpty)
        return clSink.WriteDirect(clRecord);

    FileResult enResult = FILE_OK;
    if (clDmr.timeslot == 1) {
        const int lFound = FindSlot(lKey);
        if (lFound >= 0) {
            Raw_WriteData_OrderDmrTmv_SaveSlot(lFound, lKey, clRecord);
            return FILE_OK;
        }
        const int64_t d = int64_t(lKey - pKeys[m_lCurrent]);
        Advance();
        enResult = Raw_WriteData_Order_FlushSlot(m_lCurrent, clSink);
        if (d >= kDmrPairMin && d <= kDmrPairMax) {
            // Keep a slot for the first timeslot of the pair, still to come.
            pKeys[m_lCurrent] = lKey - kDmrPairOffset;
            Advance();
            const FileResult enFlush = Raw_WriteData_Order_FlushSlot(m_lCurrent, clSink);
            if (enFlush != FILE_OK)
                enResult = enFlush;
        }
        Raw_WriteData_OrderDmrTmv_SaveSlot(m_lCurrent, lKey, clRecord);
        return enResult;
    }

    if (pKeys[m_lCurrent] != lEmpty) {
        const int64_t d = int64_t(lKey - pKeys[m_lCurrent]);
        if (Magnitude(d) >= kDmrFlushGap) {
            char acText[128];
            std::snprintf(acText, sizeof(acText), "DMR Flush buffer: %lld",
                          static_cast<long long>(d));
            Raw_WriteData_Order_Notice(acText, clSink);
            enResult = FlushAll(clSink);
        }
    }
    const int lFound = FindSlot(lKey);
    if (lFound >= 0) {
        Raw_WriteData_OrderDmrTmv_SaveSlot(lFound, lKey, clRecord);
        return enResult;
    }
    Advance();
    const FileResult enFlush = Raw_WriteData_Order_FlushSlot(m_lCurrent, clSink);
    Raw_WriteData_OrderDmrTmv_SaveSlot(m_lCurrent, lKey, clRecord);
    return enFlush != FILE_OK ? enFlush : enResult;
}

FileResult COrderBuffer::Raw_WriteData_OrderGsmTmv(const RawRecord &clRecord,
                                                   COrderBufferSink &clSink) {
    const FileResult enCheck = CheckOrderable(clRecord, OrderMode::Gsm);
    if (enCheck != FILE_OK)
        return enCheck;
    const auto &clGsm = *static_cast<const GsmTmv *>(clRecord.payload);
    const uint64_t lKey = clGsm.fileTime;
    uint64_t *pKeys = m_pStorage->keys;
    const uint64_t lEmpty = Geometry(OrderMode::Gsm).emptyKey;
    // Such a key could never be found again; the time stamp is corrupt anyway.
    if (lKey == lEmpty)
        return clSink.WriteDirect(clRecord);

    // The empty key reads as -1 here, which the signed difference gives as is.
    const int64_t d = int64_t(lKey - pKeys[m_lCurrent]);
    FileResult enResult = FILE_OK;
    if (clGsm.direction != 0) {
        if (pKeys[m_lCurrent] != lEmpty && Magnitude(d) >= kGsmFlushGap) {
            char acText[128];
            std::snprintf(acText, sizeof(acText), "GSM Flush buffer: %lld",
                          static_cast<long long>(d));
            Raw_WriteData_Order_Notice(acText, clSink);
            enResult = FlushAll(clSink);
        }
        const int lFound = FindSlot(lKey);
        if (lFound >= 0) {
            Raw_WriteData_OrderGsmTmv_SaveSlot(lFound, lKey, clRecord);
            return enResult;
        }
        Advance();
        const FileResult enFlush = Raw_WriteData_Order_FlushSlot(m_lCurrent, clSink);
        Raw_WriteData_OrderGsmTmv_SaveSlot(m_lCurrent, lKey, clRecord);
        return enFlush != FILE_OK ? enFlush : enResult;
    }

    if (d < kGsmSameSlotBelow) {
        Raw_WriteData_OrderGsmTmv_SaveSlot(m_lCurrent, lKey, clRecord);
        return FILE_OK;
    }
    Advance();
    enResult = Raw_WriteData_Order_FlushSlot(m_lCurrent, clSink);
    if (d >= kGsmNextSlotBelow) {
        // Keep a slot for the record that belongs before this one.
        pKeys[m_lCurrent] = lKey - kGsmPlaceholderOffset;
        Advance();
        const FileResult enFlush = Raw_WriteData_Order_FlushSlot(m_lCurrent, clSink);
        if (enFlush != FILE_OK)
            enResult = enFlush;
    }
    Raw_WriteData_OrderGsmTmv_SaveSlot(m_lCurrent, lKey, clRecord);
    return enResult;
}
