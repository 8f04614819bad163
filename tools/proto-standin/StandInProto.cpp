// The stand-in protocol component library (see StandInProto.h).
#include "StandInProto.h"

#include "ProtoComponentApi.h"

#include <atomic>
#include <vector>

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

// Built in variants for the loading tests: one whose Init refuses.
#ifndef STANDIN_INIT_RESULT
#define STANDIN_INIT_RESULT 0
#endif

namespace {

// Analysis objects not yet deleted, for tests that check the program
// releases every one.
std::atomic<int> g_lLiveAnalyses{0};

struct Analysis {
    uint32_t kind = 0;
    bool outputSet = false;
    uint32_t resultCode = 0;
    std::vector<uint8_t> results;
    uint8_t count = 0;
};

template <class T> void Put(uint8_t *pEntry, size_t lAt, T value) {
    std::memcpy(pEntry + lAt, &value, sizeof value);
}

uint8_t *NextEntry(Analysis &clAnalysis, size_t lEntrySize) {
    const size_t lNeeded = (size_t(clAnalysis.count) + 1) * lEntrySize;
    if (clAnalysis.results.size() < lNeeded)
        clAnalysis.results.resize(lNeeded);
    uint8_t *pEntry = clAnalysis.results.data() + size_t(clAnalysis.count) * lEntrySize;
    ++clAnalysis.count;
    return pEntry;
}

bool IsBlock(const uint8_t *p) {
    return std::memcmp(p, kStandInMarker, sizeof kStandInMarker) == 0;
}

void AnalyseTetra(Analysis &clAnalysis, const TetraTmv &clTetra) {
    size_t lBytes = clTetra.bitCount / 8u;
    if (lBytes > kTetraDataCopyLimit)
        lBytes = kTetraDataCopyLimit;
    for (size_t lAt = 0; lAt + kStandInTetraBlock <= lBytes && clAnalysis.count < 255;
         lAt += kStandInTetraBlock) {
        const uint8_t *p = clTetra.data + lAt;
        if (!IsBlock(p))
            break;
        uint8_t *pEntry = NextEntry(clAnalysis, kProtoTetraEntrySize);
        Put<uint32_t>(pEntry, kProtoTetraCodeAt,
                      p[6] == kStandInNetworkTime ? clAnalysis.resultCode : kStandInOtherInfoCode);
        pEntry[kProtoTetraValidAt] = p[7] & 1;
        pEntry[kProtoTetraValidAt + 1] = (p[7] >> 1) & 1;
        Put<uint32_t>(pEntry, kProtoTetraNetworkTimeAt,
                      (uint32_t(p[9]) << 16) | (p[10] << 8) | p[11]);
        pEntry[kProtoTetraYearAt] = p[8];
    }
}

void AnalyseDmr(Analysis &clAnalysis, const DmrTmv &clDmr) {
    const DmrConstItemRef clItem = DmrItemAt(clDmr, kStandInDmrSlot);
    if (clItem.item->itemKind != kStandInDmrItemKind)
        return;
    size_t lBytes = clItem.item->bitCount / 8u;
    if (lBytes > clItem.capacity)
        lBytes = clItem.capacity;
    for (size_t lAt = 0; lAt + kStandInDmrBlock <= lBytes; lAt += kStandInDmrBlock) {
        const uint8_t *p = clItem.data + lAt;
        if (!IsBlock(p))
            break;
        uint8_t *pEntry = NextEntry(clAnalysis, kProtoDmrEntrySize);
        if (clAnalysis.count == 1)
            Put<int64_t>(pEntry, kProtoDmrReferenceAt, int64_t(clDmr.timeSeconds));
        Put<uint32_t>(pEntry, kProtoDmrCodeAt,
                      p[6] == kStandInNetworkTime ? clAnalysis.resultCode : kStandInOtherInfoCode);
        Put<uint16_t>(pEntry, kProtoDmrDateAt, uint16_t((p[8] << 8) | p[9]));
        Put<uint32_t>(pEntry, kProtoDmrTimeAt,
                      (uint32_t(p[10]) << 24) | (uint32_t(p[11]) << 16) | (p[12] << 8) | p[13]);
    }
}

} // namespace

// The program must hand over the request and the two leading info fields as
// agreed; anything else is refused.
STANDIN_EXPORT uint32_t ProtoComponent_Init(const uint32_t *pRequest, uint8_t *pInfoBlock) {
    if (pRequest == nullptr || pInfoBlock == nullptr)
        return 1;
    if (std::memcmp(pRequest, kProtoInitRequest, sizeof kProtoInitRequest) != 0)
        return 1;
    uint32_t lHead[2] = {};
    std::memcpy(lHead, pInfoBlock, sizeof lHead);
    if (lHead[0] != kProtoInfoFirstField || lHead[1] != kProtoInfoSecondField)
        return 1;
    const uint32_t lFeatures = kProtoFeatureTetraTime | kProtoFeatureDmrTime;
    std::memcpy(pInfoBlock + kProtoInfoFeatureWordAt, &lFeatures, sizeof lFeatures);
    pInfoBlock[kProtoInfoProtocolByteAt] = kProtoProtocolTetra | kProtoProtocolDmr;
    return STANDIN_INIT_RESULT;
}

STANDIN_EXPORT void *ProtoComponent_NewAnalyseObject(uint32_t lAnalysisKind, uint32_t) {
    if (lAnalysisKind != PROTO_ANALYSIS_TETRA && lAnalysisKind != PROTO_ANALYSIS_DMR)
        return nullptr;
    auto *pAnalysis = new Analysis;
    pAnalysis->kind = lAnalysisKind;
    ++g_lLiveAnalyses;
    return pAnalysis;
}

STANDIN_EXPORT uint8_t ProtoComponent_SetSettings_Output_1(void *pObject, uint32_t lOutput,
                                                           uint32_t, const void *pHeaderInfo) {
    if (pObject == nullptr || lOutput != kProtoOutputSetting || pHeaderInfo == nullptr)
        return 1;
    static_cast<Analysis *>(pObject)->outputSet = true;
    return 0;
}

STANDIN_EXPORT uint8_t ProtoComponent_SetSettings_SetValue_1(void *pObject, uint32_t lIndex,
                                                             uint32_t lResultCode, uint32_t lValue,
                                                             uint32_t) {
    if (pObject == nullptr || lIndex != kProtoSetValueIndex || lValue != kProtoSetValueValue)
        return 1;
    static_cast<Analysis *>(pObject)->resultCode = lResultCode;
    return 0;
}

STANDIN_EXPORT void ProtoComponent_AnalyseData(void *pObject, const void *pRecord) {
    if (pObject == nullptr || pRecord == nullptr)
        return;
    Analysis &clAnalysis = *static_cast<Analysis *>(pObject);
    clAnalysis.count = 0;
    const RawRecord &clRecord = *static_cast<const RawRecord *>(pRecord);
    if (!clAnalysis.outputSet || clRecord.payload == nullptr)
        return;
    if (clAnalysis.kind == PROTO_ANALYSIS_TETRA && clRecord.payloadKind == PAYLOAD_TETRA &&
        clRecord.payloadLength >= kTetraTmvLength)
        AnalyseTetra(clAnalysis, *static_cast<const TetraTmv *>(clRecord.payload));
    else if (clAnalysis.kind == PROTO_ANALYSIS_DMR && clRecord.payloadKind == PAYLOAD_DMR &&
             clRecord.payloadLength >= kDmrTmvLength)
        AnalyseDmr(clAnalysis, *static_cast<const DmrTmv *>(clRecord.payload));
}

STANDIN_EXPORT uint32_t ProtoComponent_GetAnalysedStructData(void *pObject,
                                                             const uint8_t **ppResults,
                                                             uint8_t *pCount) {
    if (pObject == nullptr || ppResults == nullptr || pCount == nullptr)
        return 0;
    const Analysis &clAnalysis = *static_cast<const Analysis *>(pObject);
    *ppResults = clAnalysis.count != 0 ? clAnalysis.results.data() : nullptr;
    *pCount = clAnalysis.count;
    return clAnalysis.count != 0 ? 1 : 0;
}

STANDIN_EXPORT void ProtoComponent_DeleteAnalyseObject(void *pObject) {
    if (pObject == nullptr)
        return;
    delete static_cast<Analysis *>(pObject);
    --g_lLiveAnalyses;
}

// Not part of the component interface: how many analysis objects live.
STANDIN_EXPORT int StandInProto_LiveAnalyses() {
    return g_lLiveAnalyses;
}

// Present because the program requires them; it never calls them. The
// variant that lacks one renames it with a compile definition.
#define STANDIN_CALLED(Name)
#define STANDIN_PRESENT(Name)                                                                      \
    STANDIN_EXPORT uint32_t ProtoComponent_##Name() {                                              \
        return 0;                                                                                  \
    }
PROTO_COMPONENT_FUNCTIONS(STANDIN_CALLED, STANDIN_PRESENT)
