// Bytes of the split-file container: header, frame head, checksum, sub-header
// and every record type of versions 1 to 3. No file access here.
#pragma once

#include "RecordTypes.h"

#include <cstddef>
#include <cstdint>

constexpr size_t kContainerHeaderSize = 2355;
constexpr size_t kFrameHeadSize = 10;
constexpr size_t kSubHeaderSize = 23;
constexpr size_t kRecordBodyOffset = kFrameHeadSize + kSubHeaderSize; // 33
constexpr uint32_t kMinRecordLength = 10;
constexpr uint32_t kMaxRecordLength = 131072;
constexpr int kWriterVersion = 3;

enum ContainerRecordType : uint8_t {
    RECORD_NONE = 0,
    RECORD_GENERIC = 2,
    RECORD_TETRA = 3,
    RECORD_NOTICE = 4,
    RECORD_DMR = 5,
    RECORD_TETRA_AUX = 6,
    RECORD_TETRA_EXTENDED = 8,
    RECORD_GSM = 9,
};

// Stored checksum of a record: the complement of the common CRC-32 of the
// bytes from offset 10 to the end of the record.
uint32_t ContainerChecksum(const uint8_t *pData, size_t lLength);

// The length of the frame at pFrame when it lies whole within lAvailable
// bytes, its length field is in range and its checksum holds; 0 otherwise.
inline uint32_t SoundFrameLength(const uint8_t *pFrame, size_t lAvailable);

// Header. Decoding checks only the magic; returns the version 1..3, or 0 when
// the magic is unknown.
int DecodeContainerHeader(const uint8_t *pHeader, FileHeaderInfo &clInfo);
// Always the version-3 magic; writes exactly kContainerHeaderSize bytes.
void EncodeContainerHeader(const FileHeaderInfo &clInfo, uint8_t *pHeader);

// Writing: the type a record is stored as and its full length, or 4 when the
// record cannot be stored in that version (length not matching the kind, more
// data bytes than a reader copies, a type the version does not allow).
struct EncodePlan {
    uint8_t type;
    uint32_t length; // frame head included
};
FileResult PlanRecordEncoding(const RawRecord &clRecord, int lVersion, EncodePlan &clPlan);
// Items of a DMR record that the writer's version cannot store and leaves
// out: the items of slots 0 and 1 of a burst that is not of kind 1. The
// record itself is still written; callers count these to tell the user.
uint32_t DmrItemsLostInContainer(const DmrTmv &clDmr);
// Writes exactly clPlan.length bytes at pOut, checksum included.
void EncodeRecord(const RawRecord &clRecord, int lVersion, const EncodePlan &clPlan, uint8_t *pOut);

// Reading: per-reader memory of the DMR timeslot for version 1 and 2 files,
// where the timeslot byte is not stored.
struct DmrTimeslotMemory {
    uint8_t lRemembered = 0;
    bool bArmed = false;
};

// Whether a frame head (its first kFrameHeadSize bytes) of lLength bytes is
// one that a writer of lVersion makes: a record type that version stores, the
// flag byte 0 and room for the sub-header. A search through damage checks
// these before it computes a checksum.
bool IsWritableFrameHead(const uint8_t *pHead, uint32_t lLength, int lVersion);

// Decoded-payload area shared by all non-generic record types.
// The byte array comes first: `{}` initialises only a union's first member,
// and the readers rely on the whole area starting out zero.
union DecodedPayload {
    uint8_t bytes[kLargestPayloadLength];
    TetraTmv tetra;
    DmrTmv dmr;
    GsmTmv gsm;
    NoticeTmv notice;
};

enum class DecodeAction : uint8_t {
    Deliver, // a record is in clRecord (result 0)
    Damaged, // result 4
    GoOn,    // nothing to deliver; read on (dropped notice, unknown type)
};

struct DecodeOutcome {
    DecodeAction action;
    uint32_t consumed; // bytes from the frame start the reader steps over
};

// Decodes one frame of lLength bytes whose length and checksum were already
// checked. Generic payloads point into pFrame; others are decoded into clArea,
// which is cleared first.
DecodeOutcome DecodeRecord(const uint8_t *pFrame, uint32_t lLength, int lVersion,
                           bool bDeliverNotices, RawRecord &clRecord, DecodedPayload &clArea,
                           DmrTimeslotMemory &clDmrMemory);
// The same for a caller that keeps clArea between records: clArea is zero
// from lDirty on, so only its first lDirty bytes are cleared; on return
// lDirty covers every byte this decode wrote and the head of the delivered
// structure, where callers adjust fields in place. The result is the same as
// with the whole area cleared.
DecodeOutcome DecodeRecord(const uint8_t *pFrame, uint32_t lLength, int lVersion,
                           bool bDeliverNotices, RawRecord &clRecord, DecodedPayload &clArea,
                           uint32_t &lDirty, DmrTimeslotMemory &clDmrMemory);

// What the frame-level path learns of a frame without decoding its payload:
// the kind and time the decoded record would carry, and whether the frame is
// byte for byte what the writer makes of that record (version 3 only).
struct FrameFacts {
    uint8_t kind = 0;
    bool timed = false; // RecordTimeSeconds of the decoded record has a value
    int64_t time = 0;
    uint16_t milliseconds = 0; // below the second, as RecordTimeMilliseconds adds it
    bool verbatim = false;
};

// RecordTimeMilliseconds of the decoded record, for a timed frame.
inline int64_t FrameTimeMilliseconds(const FrameFacts &clFacts) {
    return int64_t(uint64_t(clFacts.time) * 1000u) + clFacts.milliseconds;
}

// The verdict of DecodeRecord on the same frame (same action, same bytes
// consumed, same change to clDmrMemory), with clFacts filled for a frame it
// would deliver. Nothing is copied.
DecodeOutcome ClassifyRecord(const uint8_t *pFrame, uint32_t lLength, int lVersion,
                             bool bDeliverNotices, FrameFacts &clFacts,
                             DmrTimeslotMemory &clDmrMemory);

// Big-endian helpers: every container field goes through these.
inline uint16_t ReadBe16(const uint8_t *p) {
    return uint16_t((p[0] << 8) | p[1]);
}
inline uint32_t ReadBe32(const uint8_t *p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint64_t ReadBe64(const uint8_t *p) {
    return (uint64_t(ReadBe32(p)) << 32) | ReadBe32(p + 4);
}
inline uint32_t SoundFrameLength(const uint8_t *pFrame, size_t lAvailable) {
    if (lAvailable < kFrameHeadSize)
        return 0;
    const uint32_t lLength = ReadBe32(pFrame);
    if (lLength < kMinRecordLength || lLength > kMaxRecordLength || lLength > lAvailable ||
        ReadBe32(pFrame + 6) !=
            ContainerChecksum(pFrame + kFrameHeadSize, lLength - uint32_t(kFrameHeadSize)))
        return 0;
    return lLength;
}
// A frame a writer of lVersion could have made begins at pFrame, whole within
// lAvailable bytes and sound: where a search through damage, or a reader
// starting inside a file, takes up the frames. The cheap tests of the head
// come first: most bytes are no frame start.
inline bool WritableFrameAt(const uint8_t *pFrame, size_t lAvailable, int lVersion) {
    if (lAvailable < kFrameHeadSize)
        return false;
    const uint32_t lLength = ReadBe32(pFrame);
    return lLength >= kMinRecordLength && lLength <= lAvailable &&
           IsWritableFrameHead(pFrame, lLength, lVersion) &&
           SoundFrameLength(pFrame, lAvailable) != 0;
}
inline uint64_t ReadBe48(const uint8_t *p) {
    return (uint64_t(ReadBe16(p)) << 32) | ReadBe32(p + 2);
}
inline void WriteBe16(uint8_t *p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void WriteBe32(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline void WriteBe64(uint8_t *p, uint64_t v) {
    WriteBe32(p, uint32_t(v >> 32));
    WriteBe32(p + 4, uint32_t(v));
}
inline void WriteBe48(uint8_t *p, uint64_t v) {
    WriteBe16(p, uint16_t(v >> 32));
    WriteBe32(p + 2, uint32_t(v));
}
