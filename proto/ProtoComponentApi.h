// What the program requires of a protocol component library: the exported
// functions with their C signatures, the info block filled by Init, and the
// result entries that the time analysis reads. Shared by the program and the
// stand-in component, so both sides are compiled against one description.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Exported functions ----------------------------------------------------

// Every function is exported with C linkage under kProtoFunctionPrefix + its
// name. A library lacking any one of them is not used. USED marks the calls
// the program makes, UNUSED those it only requires to be present.
#define PROTO_COMPONENT_FUNCTIONS(USED, UNUSED)                                                    \
    USED(Init)                                                                                     \
    UNUSED(StartOfRecord)                                                                          \
    UNUSED(NewSdrData)                                                                             \
    UNUSED(NewDfData)                                                                              \
    UNUSED(NewGpsData)                                                                             \
    UNUSED(StopOfRecord)                                                                           \
    UNUSED(ChangeValue)                                                                            \
    UNUSED(NewDebugData)                                                                           \
    UNUSED(NewSyncObject)                                                                          \
    UNUSED(DeleteSyncObject)                                                                       \
    USED(NewAnalyseObject)                                                                         \
    USED(SetSettings_Output_1)                                                                     \
    UNUSED(SetSettings_Msc_1)                                                                      \
    UNUSED(SetSettings_PduGroup_1)                                                                 \
    UNUSED(SetSettings_AieGuess_1)                                                                 \
    UNUSED(SetSettings_UlSim_1)                                                                    \
    USED(SetSettings_SetValue_1)                                                                   \
    UNUSED(SetSettings_SetValue_2)                                                                 \
    USED(DeleteAnalyseObject)                                                                      \
    USED(AnalyseData)                                                                              \
    UNUSED(GetAnalysedQoSData)                                                                     \
    USED(GetAnalysedStructData)                                                                    \
    UNUSED(GetResultFileData)                                                                      \
    UNUSED(GetResultingDfData)                                                                     \
    UNUSED(GetChannelAieStatus)                                                                    \
    UNUSED(AnalyseDataStop)                                                                        \
    UNUSED(FlushFiles)                                                                             \
    UNUSED(Subscriber2Name)                                                                        \
    UNUSED(GetSubscriberName)                                                                      \
    UNUSED(GetFilterData)                                                                          \
    UNUSED(GetFilterData2)                                                                         \
    UNUSED(AnalysetScannerTmwData)                                                                 \
    UNUSED(AnalyseSimpleBcData)                                                                    \
    UNUSED(LoadEncryptionSettings)                                                                 \
    UNUSED(CryptoBox_Status)                                                                       \
    UNUSED(Aie_Status)                                                                             \
    UNUSED(SetLoadStatus_V1)                                                                       \
    UNUSED(KeyServer_Connect_V1)                                                                   \
    UNUSED(KeyServer_LoadAieSettings_V1)                                                           \
    UNUSED(KeyServer_Status_V1)                                                                    \
    UNUSED(KeyServer_Close_V1)                                                                     \
    UNUSED(ExtAnalysis_Add_V1)                                                                     \
    UNUSED(ExtAnalysis_Remove_V1)                                                                  \
    UNUSED(ExtAnalysis_Version_V1)                                                                 \
    UNUSED(La2Name)                                                                                \
    UNUSED(GetLaName)

#define PROTO_COMPONENT_COUNT_ONE(Name) +1
constexpr size_t kProtoFunctionCount =
    0 PROTO_COMPONENT_FUNCTIONS(PROTO_COMPONENT_COUNT_ONE, PROTO_COMPONENT_COUNT_ONE);
#undef PROTO_COMPONENT_COUNT_ONE

constexpr const char *kProtoFunctionPrefix = "ProtoComponent_";

extern "C" {

// Init(request, info block): request points to six 32-bit values; the info
// block has kProtoInfoBlockSize bytes whose first two 32-bit fields the
// program has set to 6 and 10. 0 means the component is ready.
typedef uint32_t (*ProtoComponentInitFn)(const uint32_t *pRequest, uint8_t *pInfoBlock);

// NewAnalyseObject(analysis kind, reserved 0): a handle, null when the kind
// cannot be analysed.
typedef void *(*ProtoComponentNewAnalyseObjectFn)(uint32_t lAnalysisKind, uint32_t lReserved);

// SetSettings_Output_1(handle, output 4, reserved 0, the source's header
// information): 0 when accepted. The header is the program's FileHeaderInfo.
typedef uint8_t (*ProtoComponentSetOutputFn)(void *pObject, uint32_t lOutput, uint32_t lReserved,
                                             const void *pHeaderInfo);

// SetSettings_SetValue_1(handle, index 0, result code to deliver, value 3,
// reserved 0): 0 when accepted. The result code is the one the component
// writes into the entries that carry the network time.
typedef uint8_t (*ProtoComponentSetValueFn)(void *pObject, uint32_t lIndex, uint32_t lResultCode,
                                            uint32_t lValue, uint32_t lReserved);

// AnalyseData(handle, record): the record as the program read it, a
// RawRecord whose payload is valid for the duration of the call.
typedef void (*ProtoComponentAnalyseDataFn)(void *pObject, const void *pRecord);

// GetAnalysedStructData(handle, out: result array, out: entry count): not 0
// when entries are there. The array belongs to the component and stays valid
// until the next call on the same handle.
typedef uint32_t (*ProtoComponentGetStructDataFn)(void *pObject, const uint8_t **ppResults,
                                                  uint8_t *pCount);

// DeleteAnalyseObject(handle): releases the handle.
typedef void (*ProtoComponentDeleteAnalyseObjectFn)(void *pObject);
}

// ---- Init ---------------------------------------------------------------

constexpr size_t kProtoInfoBlockSize = 688;
constexpr uint32_t kProtoInfoFirstField = 6;
constexpr uint32_t kProtoInfoSecondField = 10;
constexpr uint32_t kProtoInitRequest[6] = {2, 1, 0, 0, 0, 0};

// What a component can analyse: a 32-bit feature word and a protocol byte.
constexpr size_t kProtoInfoFeatureWordAt = 400;
constexpr size_t kProtoInfoProtocolByteAt = 408;
constexpr uint32_t kProtoFeatureTetraTime = 1u << 5;
constexpr uint32_t kProtoFeatureDmrTime = 1u << 13;
constexpr uint32_t kProtoFeatureTetraAux = 1u << 18;
constexpr uint8_t kProtoProtocolTetra = 1u << 0;
constexpr uint8_t kProtoProtocolDmr = 1u << 1;
constexpr uint8_t kProtoProtocolTetraAux = 1u << 3;

// ---- Analysis ------------------------------------------------------------

enum ProtoAnalysisKind : uint32_t {
    PROTO_ANALYSIS_TETRA = 0,
    PROTO_ANALYSIS_DMR = 1,
    PROTO_ANALYSIS_TETRA_AUX = 3,
};

constexpr uint32_t kProtoOutputSetting = 4;
constexpr uint32_t kProtoSetValueIndex = 0;
constexpr uint32_t kProtoSetValueValue = 3;

// Result entries, all fields in the machine's own byte order.
constexpr uint32_t kProtoTetraTimeCode = 0x66;
constexpr size_t kProtoTetraEntrySize = 488168;
constexpr size_t kProtoTetraCodeAt = 204;         // u32
constexpr size_t kProtoTetraValidAt = 1031;       // u8, and the next byte
constexpr size_t kProtoTetraNetworkTimeAt = 1036; // u32: 2-s steps since the start of the year
constexpr size_t kProtoTetraYearAt = 1042;        // u8: year - 2000
constexpr uint32_t kProtoTetraTimeNotValid = 0xFFFFFF;

constexpr uint32_t kProtoDmrTimeCode = 0x2092;
constexpr size_t kProtoDmrEntrySize = 58416;
constexpr size_t kProtoDmrReferenceAt = 16; // i64 seconds since 1970 UTC, first entry only
constexpr size_t kProtoDmrCodeAt = 112;     // u32
constexpr size_t kProtoDmrDateAt = 224;     // u16: day bits 9..13, month bits 5..8
constexpr size_t kProtoDmrTimeAt = 228;     // u32: hour bits 19..23, minute 13..18, second 7..12
