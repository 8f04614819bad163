#include "RecordFields.h"

#include <cstring>

namespace {

// The payload as structure T when it is there and long enough to be one.
template <typename T> T *PayloadAs(const RawRecord &clRecord) {
    if (clRecord.payload == nullptr || clRecord.payloadLength < sizeof(T))
        return nullptr;
    return static_cast<T *>(clRecord.payload);
}

bool GenericHolds(const RawRecord &clRecord, uint32_t lOffset) {
    return clRecord.payload != nullptr && clRecord.payloadLength >= lOffset + sizeof(uint64_t);
}

uint64_t GenericValue(const RawRecord &clRecord, uint32_t lOffset) {
    uint64_t lValue;
    std::memcpy(&lValue, static_cast<const uint8_t *>(clRecord.payload) + lOffset, sizeof(lValue));
    return lValue;
}

void SetGenericValue(RawRecord &clRecord, uint32_t lOffset, uint64_t lValue) {
    std::memcpy(static_cast<uint8_t *>(clRecord.payload) + lOffset, &lValue, sizeof(lValue));
}

// Unsigned arithmetic: a shift that leaves the range wraps instead of being
// undefined.
uint64_t Shifted(uint64_t lValue, int64_t lOffset) {
    return lValue + uint64_t(lOffset);
}

} // namespace

std::optional<int64_t> RecordTimeSeconds(const RawRecord &clRecord) {
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        if (const auto *pTetra = PayloadAs<TetraTmv>(clRecord))
            return int64_t(pTetra->timeSeconds);
        return std::nullopt;
    case PAYLOAD_DMR:
        if (const auto *pDmr = PayloadAs<DmrTmv>(clRecord))
            return int64_t(pDmr->timeSeconds);
        return std::nullopt;
    case PAYLOAD_GENERIC:
        if (GenericHolds(clRecord, kGenericTimeOffset))
            return int64_t(GenericValue(clRecord, kGenericTimeOffset));
        return std::nullopt;
    case PAYLOAD_GSM:
        if (const auto *pGsm = PayloadAs<GsmTmv>(clRecord))
            return GsmFileTimeToSeconds(pGsm->fileTime);
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::optional<int64_t> RecordTimeMilliseconds(const RawRecord &clRecord) {
    const std::optional<int64_t> clSeconds = RecordTimeSeconds(clRecord);
    if (!clSeconds)
        return std::nullopt;
    const int64_t lWhole = int64_t(uint64_t(*clSeconds) * 1000u);
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        return lWhole + static_cast<const TetraTmv *>(clRecord.payload)->milliseconds;
    case PAYLOAD_DMR:
        return lWhole + static_cast<const DmrTmv *>(clRecord.payload)->milliseconds;
    case PAYLOAD_GSM:
        // Below the second, in the same unsigned arithmetic as the seconds.
        return lWhole +
               int64_t(static_cast<const GsmTmv *>(clRecord.payload)->fileTime / 10000u % 1000u);
    default:
        return lWhole;
    }
}

void ShiftRecordTime(RawRecord &clRecord, int64_t lOffsetSeconds) {
    if (lOffsetSeconds == 0)
        return;
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        if (auto *pTetra = PayloadAs<TetraTmv>(clRecord))
            pTetra->timeSeconds = Shifted(pTetra->timeSeconds, lOffsetSeconds);
        break;
    case PAYLOAD_DMR:
        if (auto *pDmr = PayloadAs<DmrTmv>(clRecord)) {
            pDmr->timeSeconds = Shifted(pDmr->timeSeconds, lOffsetSeconds);
            // The writer orders by the second time stamp when there is one;
            // left behind it would sort against shifted neighbours.
            if (pDmr->altTimeSeconds != 0)
                pDmr->altTimeSeconds = Shifted(pDmr->altTimeSeconds, lOffsetSeconds);
        }
        break;
    case PAYLOAD_GENERIC:
        if (GenericHolds(clRecord, kGenericTimeOffset))
            SetGenericValue(clRecord, kGenericTimeOffset,
                            Shifted(GenericValue(clRecord, kGenericTimeOffset), lOffsetSeconds));
        break;
    case PAYLOAD_GSM:
        if (auto *pGsm = PayloadAs<GsmTmv>(clRecord))
            pGsm->fileTime = pGsm->fileTime + uint64_t(lOffsetSeconds) * 10000000ULL;
        break;
    default:
        break;
    }
}

void SetRecordFrequency(RawRecord &clRecord, uint64_t lFrequencyHz) {
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        clRecord.frequency = lFrequencyHz;
        if (auto *pTetra = PayloadAs<TetraTmv>(clRecord)) {
            pTetra->valueFlags |= 0x10;
            pTetra->frequency = lFrequencyHz;
        }
        break;
    case PAYLOAD_DMR:
        clRecord.frequency = lFrequencyHz;
        if (auto *pDmr = PayloadAs<DmrTmv>(clRecord))
            pDmr->value48 = lFrequencyHz;
        break;
    case PAYLOAD_GENERIC:
        clRecord.frequency = lFrequencyHz;
        if (GenericHolds(clRecord, kGenericFrequencyOffset))
            SetGenericValue(clRecord, kGenericFrequencyOffset, lFrequencyHz);
        break;
    case PAYLOAD_GSM:
        clRecord.frequency = lFrequencyHz;
        if (auto *pGsm = PayloadAs<GsmTmv>(clRecord)) {
            pGsm->byte1 |= 0x10;
            pGsm->value2 = lFrequencyHz;
        }
        break;
    default:
        break;
    }
}

std::optional<uint64_t> RecordFrequency(const RawRecord &clRecord) {
    uint64_t lHz = 0;
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA:
    case PAYLOAD_TETRA_AUX:
        if (const auto *pTetra = PayloadAs<TetraTmv>(clRecord)) {
            if (pTetra->valueFlags & 0x10)
                return pTetra->frequency;
        }
        return std::nullopt;
    case PAYLOAD_DMR:
        if (const auto *pDmr = PayloadAs<DmrTmv>(clRecord))
            lHz = pDmr->value48;
        break;
    case PAYLOAD_GENERIC:
        if (GenericHolds(clRecord, kGenericFrequencyOffset))
            lHz = GenericValue(clRecord, kGenericFrequencyOffset);
        break;
    case PAYLOAD_GSM:
        if (const auto *pGsm = PayloadAs<GsmTmv>(clRecord))
            lHz = pGsm->value2;
        break;
    default:
        break;
    }
    if (lHz == 0)
        return std::nullopt;
    return lHz;
}
