#include "ProtocolTimeScan.h"

#include "RecordFields.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QTimeZone>

#include <cstring>

namespace {

template <class T> T FieldAt(const uint8_t *pEntry, size_t lAt) {
    T value{};
    std::memcpy(&value, pEntry + lAt, sizeof value);
    return value;
}

int64_t UtcSeconds(const QDate &clDate, const QTime &clTime) {
    return QDateTime(clDate, clTime, QTimeZone::utc()).toSecsSinceEpoch();
}

bool CanAnalyse(const StructProtoComponent &clEntry, uint8_t lProtocolBit, uint32_t lFeatureBit) {
    return (clEntry.ProtocolByte() & lProtocolBit) != 0 && (clEntry.FeatureWord() & lFeatureBit);
}

} // namespace

void CProtocolTimeScan::ChooseComponent(const RawRecord &clRecord) {
    uint8_t lProtocolBit = 0;
    uint32_t lFeatureBit = 0;
    switch (clRecord.payloadKind) {
    case PAYLOAD_TETRA:
        lProtocolBit = kProtoProtocolTetra;
        lFeatureBit = kProtoFeatureTetraTime;
        m_lAnalysisKind = PROTO_ANALYSIS_TETRA;
        break;
    case PAYLOAD_DMR:
    case PAYLOAD_GENERIC:
        lProtocolBit = kProtoProtocolDmr;
        lFeatureBit = kProtoFeatureDmrTime;
        m_lAnalysisKind = PROTO_ANALYSIS_DMR;
        break;
    case PAYLOAD_TETRA_AUX:
        lProtocolBit = kProtoProtocolTetraAux;
        lFeatureBit = kProtoFeatureTetraAux;
        m_lAnalysisKind = PROTO_ANALYSIS_TETRA_AUX;
        break;
    default:
        return;
    }
    for (uint32_t i = 0; i < m_lCount; ++i) {
        if (CanAnalyse(m_pComponents[i], lProtocolBit, lFeatureBit)) {
            m_pChosen = &m_pComponents[i];
            return;
        }
    }
}

void CProtocolTimeScan::Prepare(const FileHeaderInfo &clHeader) {
    // Only TETRA and DMR time analyses exist.
    if (m_pChosen == nullptr ||
        (m_lAnalysisKind != PROTO_ANALYSIS_TETRA && m_lAnalysisKind != PROTO_ANALYSIS_DMR))
        return;
    void *pObject = m_pChosen->NewAnalyseObject(m_lAnalysisKind, 0);
    if (pObject == nullptr)
        return;
    m_clObjects[m_lAnalysisKind] = pObject;
    const uint32_t lCode =
        m_lAnalysisKind == PROTO_ANALYSIS_TETRA ? kProtoTetraTimeCode : kProtoDmrTimeCode;
    const uint8_t lOutput =
        m_pChosen->SetSettings_Output_1(pObject, kProtoOutputSetting, 0, &clHeader);
    const uint8_t lValue = m_pChosen->SetSettings_SetValue_1(pObject, kProtoSetValueIndex, lCode,
                                                             kProtoSetValueValue, 0);
    if (lOutput == 0 && lValue == 0)
        m_lEnabledMask |= 1u << m_lAnalysisKind;
}

void CProtocolTimeScan::Feed(const RawRecord &clRecord) {
    const uint8_t lKind = clRecord.payloadKind;
    if (m_lEnabledMask == 0 || clRecord.payload == nullptr || lKind >= kAnalysisSlots ||
        (m_lEnabledMask & (1u << lKind)) == 0 || m_clObjects[lKind] == nullptr)
        return;
    if (++m_lAnalysedRecords > kSkipAfterRecords) {
        m_lAnalysedRecords = 0;
        return;
    }
    void *pObject = m_clObjects[lKind];
    m_pChosen->AnalyseData(pObject, &clRecord);
    const uint8_t *pResults = nullptr;
    uint8_t lCount = 0;
    if (m_pChosen->GetAnalysedStructData(pObject, &pResults, &lCount) == 0 || pResults == nullptr)
        return;
    // The offset is measured against the time stamp as recorded; a record too
    // short to carry one gives nothing to measure against.
    const std::optional<int64_t> clTime = RecordTimeSeconds(clRecord);
    if (!clTime)
        return;
    if (lKind == PAYLOAD_TETRA)
        ExamineTetra(pResults, lCount, *clTime);
    else if (lKind == PAYLOAD_DMR)
        ExamineDmr(pResults, lCount, *clTime);
}

void CProtocolTimeScan::ExamineTetra(const uint8_t *pResults, uint8_t lCount, int64_t lRecordTime) {
    bool bStop = false;
    for (uint8_t i = 0; i < lCount; ++i) {
        const uint8_t *pEntry = pResults + size_t(i) * kProtoTetraEntrySize;
        if (FieldAt<uint32_t>(pEntry, kProtoTetraCodeAt) != kProtoTetraTimeCode)
            continue;
        m_lAnalysedRecords = 0;
        if (++m_lAttempts > kMaxTimeResults)
            bStop = true;
        const uint32_t lNetworkTime = FieldAt<uint32_t>(pEntry, kProtoTetraNetworkTimeAt);
        if (pEntry[kProtoTetraValidAt] == 0 || pEntry[kProtoTetraValidAt + 1] == 0 ||
            lNetworkTime == kProtoTetraTimeNotValid)
            continue;
        bStop = true;
        const int lYear = 2000 + pEntry[kProtoTetraYearAt];
        m_clOffset =
            UtcSeconds(QDate(lYear, 1, 1), QTime(0, 0)) + 2 * int64_t(lNetworkTime) - lRecordTime;
    }
    if (bStop)
        m_lEnabledMask = 0;
}

void CProtocolTimeScan::ExamineDmr(const uint8_t *pResults, uint8_t lCount, int64_t lRecordTime) {
    if (lCount == 0)
        return;
    // The date and time fields fall back to the component's reference time,
    // which only the first entry carries.
    const QDateTime clReference = QDateTime::fromSecsSinceEpoch(
        FieldAt<int64_t>(pResults, kProtoDmrReferenceAt), QTimeZone::utc());
    const QDate clRefDate = clReference.date();
    const QTime clRefTime = clReference.time();
    for (uint8_t i = 0; i < lCount; ++i) {
        const uint8_t *pEntry = pResults + size_t(i) * kProtoDmrEntrySize;
        if (FieldAt<uint32_t>(pEntry, kProtoDmrCodeAt) != kProtoDmrTimeCode)
            continue;
        m_lEnabledMask = 0;
        const uint16_t lDate = FieldAt<uint16_t>(pEntry, kProtoDmrDateAt);
        const uint32_t lTime = FieldAt<uint32_t>(pEntry, kProtoDmrTimeAt);
        int lDay = (lDate >> 9) & 0x1F;
        int lMonth = (lDate >> 5) & 0x0F;
        int lHour = (lTime >> 19) & 0x1F;
        int lMinute = (lTime >> 13) & 0x3F;
        int lSecond = (lTime >> 7) & 0x3F;
        if (lDay == 0)
            lDay = clRefDate.day();
        if (lMonth == 0 || lMonth > 12)
            lMonth = clRefDate.month();
        if (lHour > 23)
            lHour = clRefTime.hour();
        if (lMinute > 59)
            lMinute = clRefTime.minute();
        if (lSecond > 59)
            lSecond = clRefTime.second();
        // A day the month does not have (the 30th of February) names no
        // time at all; rolling it into the next month would shift every
        // record by days.
        const QDate clDate(clRefDate.year(), lMonth, lDay);
        if (!clDate.isValid())
            continue;
        m_clOffset = UtcSeconds(clDate, QTime(lHour, lMinute, lSecond)) - lRecordTime;
    }
}

void CProtocolTimeScan::Release() {
    for (void *&pObject : m_clObjects) {
        if (pObject != nullptr && m_pChosen != nullptr)
            m_pChosen->DeleteAnalyseObject(pObject);
        pObject = nullptr;
    }
    m_lEnabledMask = 0;
}
