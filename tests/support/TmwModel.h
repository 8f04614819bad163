// The independent model of what the TMW readers make of a recording: the
// records of ".tmw" frames, ".lan" frame entries and ".lan" DMR frames,
// worked out from the fields the encoders in tools/tmw-encoders store,
// following the conversion rules alone. It shares no code with formats/.
#pragma once

#include "LanBytes.h"
#include "RecordTypes.h"
#include "TmwBytes.h"

#include <QList>

namespace TmwModel {

// One expected record: its RawRecord fields (payload unset) and payload.
struct TetraRecord {
    RawRecord record;
    TetraTmv tetra;
};
struct DmrRecord {
    RawRecord record;
    DmrTmv dmr;
};

// What the TETRA conversion keeps from frame to frame; new for every file.
struct TetraState {
    uint8_t kind = PAYLOAD_TETRA;
    double slotOffset = 0;
    uint16_t lastHyperframe = 0;
};

// The records of one ".tmw" frame and of one ".lan" frame entry.
QList<TetraRecord> TmwFrameRecords(const TmwBytes::FrameFields &clFields, TetraState &clState);
QList<TetraRecord> LanFrameEntryRecords(const LanBytes::FrameEntryFields &clFields,
                                        TetraState &clState);
// The records of a ".lan" extended entry whose sub-entries state their
// lengths; sub-entry data beyond 1036 bytes is not held.
QList<TetraRecord> LanExtendedEntryRecords(const LanBytes::ExtendedEntryFields &clFields,
                                           TetraState &clState);

// The record of one well-framed ".lan" DMR frame of kind 2, or none;
// bBurstKind1Seen is the file's memory of a burst of kind 1.
QList<DmrRecord> LanDmrRecords(const LanBytes::DmrFrameFields &clFields, bool &bBurstKind1Seen);

// Seconds since 1970 of a DMR time word, its fields limited into range.
uint64_t DmrTimeSeconds(uint64_t lTimeWord);

} // namespace TmwModel
