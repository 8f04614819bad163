// The independent model of the container, from its byte layout and reading
// rules alone (no code of formats/): byte builders, the writer's encoding,
// the reader's answers for any bytes, and a frame walker.
#pragma once

#include "RecordTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace ContainerBytes {

// Appends fields in file order; multi-byte integers big-endian.
class CByteWriter {
  public:
    CByteWriter &U8(uint8_t lValue);
    CByteWriter &U16(uint16_t lValue);
    CByteWriter &U32(uint32_t lValue);
    CByteWriter &U48(uint64_t lValue); // the low 48 bits
    CByteWriter &U64(uint64_t lValue);
    CByteWriter &Bytes(const QByteArray &clBytes);
    // clBytes cut or zero-padded to exactly lSize bytes.
    CByteWriter &Padded(const QByteArray &clBytes, int lSize);
    CByteWriter &Zeros(int lCount);
    const QByteArray &Result() const { return m_clBytes; }

  private:
    QByteArray m_clBytes;
};

// Stored record checksum: the complement of the common CRC-32 (zlib's).
uint32_t StoredChecksum(const QByteArray &clBytes);

uint16_t Be16At(const QByteArray &clBytes, int lOffset);
uint32_t Be32At(const QByteArray &clBytes, int lOffset);
uint64_t Be64At(const QByteArray &clBytes, int lOffset);

constexpr int kHeaderSize = 2355;
constexpr int kFrameHead = 10;
constexpr int kBodyOffset = 33;
constexpr int kMaxLength = 131072;

// "BRENNOVARSTIK_V<version>_______", 23 characters without the terminator.
QByteArray MagicText(int lVersion);

struct HeaderFields {
    QByteArray magic = MagicText(3); // 23 characters; the terminating zero is added
    uint32_t headerLength = 2355, zeroField = 0;
    uint8_t oneField = 1;
    uint64_t fileMagic = 0;
    int64_t startTime = 0;
    uint16_t value16 = 0;
    // Each text cut or zero-padded to its field.
    QByteArray recordingType, infoText1, infoText2, reservedBlock, infoText3, extraBytes;
    double extraValue = 0; // stored little-endian
};
QByteArray Header(const HeaderFields &clFields);
QByteArray VersionHeader(int lVersion);
// The header the writer makes of clInfo (version 3, reserved block zero).
QByteArray HeaderOf(const FileHeaderInfo &clInfo);
// What a reader fills in from a header, or false for an unknown magic.
bool HeaderInfoOf(const QByteArray &clHeader, FileHeaderInfo &clInfo, int &lVersion);

struct SubHeader {
    uint8_t sourceByte = 0;
    uint64_t frequency = 0;
    uint32_t symbolRate = 0;
    uint16_t value16 = 0;
};

// A frame: total length, type, flag byte, checksum of all after the 10-byte head.
QByteArray Frame(uint8_t lType, const QByteArray &clAfterHead, uint8_t lFlag = 0);
// A frame holding the 23-byte sub-header and then the body.
QByteArray Record(uint8_t lType, const SubHeader &clSub, const QByteArray &clBody);
// A generic record carrying a label, zero-padded to lPayloadSize bytes.
QByteArray LabelRecord(const QByteArray &clLabel, int lPayloadSize = 0);

enum class TetraLayout {
    V1,       // type 3 in version 1: no flags2, data from body offset 31
    V2,       // type 3 in versions 2 and 3, type 6: flags2 at 31, data from 32
    Extended, // type 8: extended fields, data from 62
};

// Fields as stored, value flags and the three value slots included; flags2
// is not in TetraLayout::V1, extended and ext1..ext5 only in Extended.
struct TetraBody {
    uint64_t timeSeconds = 0;
    uint16_t milliseconds = 0, hyperframe = 0, valueSlots[3] = {}, bitCount = 0;
    uint8_t multiframe = 0, frame = 0, timeslot = 0, valueFlags = 0, direction = 0;
    uint8_t channelCode = 0, dataFlags = 0, burstType = 0, burstInfo[3] = {}, flags2 = 0;
    uint8_t extended = 0, ext1 = 0;
    uint16_t ext2 = 0, ext5[9] = {};
    uint32_t ext3 = 0, ext4 = 0;
    QByteArray data;
};
QByteArray TetraBodyBytes(const TetraBody &clBody, TetraLayout enLayout);

struct DmrItemBytes {
    uint8_t kind = 0, flags = 0, length = 0;
    QByteArray data;
};

struct DmrBody {
    bool withTimeslot = true; // version 3 stores it, versions 1 and 2 do not
    uint8_t timeslot = 0, burstKind = 0, byte1 = 0, byte2 = 0, optionalFlags = 0, byte4 = 0;
    uint64_t timeSeconds = 0, value48 = 0;
    uint16_t milliseconds = 0, word1 = 0, word2 = 0, word3 = 0, word4 = 0, word5 = 0;
    int itemCount = -1; // -1: the number of items
    QList<DmrItemBytes> items;
    QByteArray trailing; // bytes after the items
};
QByteArray DmrBodyBytes(const DmrBody &clBody);

// Notice body: code, value and the text cut or zero-padded to 128 bytes.
QByteArray NoticeBodyBytes(uint32_t lCode, uint32_t lValue, const QByteArray &clText);

// ---- The writer's rules ----

// The slot a DMR item kind lands in, -1 outside 1..39, and the most data
// bytes a reader takes for it.
int DmrSlotOf(int lKind);
inline constexpr int kDmrMaxBytes[7] = {3, 9, 2, 18, 3, 27, 72};

// The frame the writer makes of a record in a file of lVersion; empty, with
// the refusal in *pRefusal (4 or 7), when it stores none.
QByteArray EncodeFrame(const RawRecord &clRecord, int lVersion, FileResult *pRefusal = nullptr);

// ---- The reader's rules ----

// One answer of ReadData: the result and, for 0, the record and its payload.
struct ReadEvent {
    FileResult result = FILE_OK;
    RawRecord record{};
    QByteArray payload;
    qint64 offset = 0; // where the delivered frame starts
};
// What a reader must answer, call after call, for a whole file read offline,
// up to and including the first 3.
QList<ReadEvent> ModelRead(const QByteArray &clFile, bool bNotices);
// How a delivered record differs from the model's; empty when they agree.
QString DifferenceFrom(const RawRecord &clRead, const ReadEvent &clModel);

} // namespace ContainerBytes

namespace container_walk {

// One frame of a container and what a reader must hand out of it.
struct DecodedRecord {
    qint64 offset = 0;
    int type = 0;
    ContainerBytes::ReadEvent model;
};

// Walks a version-3 container, refusing any frame a reader would not deliver.
class CContainerWalker {
  public:
    explicit CContainerWalker(const QByteArray &clBytes) : m_clBytes(clBytes) {}

    // Checks the fixed header fields; the error names the first fault.
    QString CheckHeader() const;
    bool AtEnd() const { return m_lPos == m_clBytes.size(); }
    // Decodes the next frame; the error names what is wrong and where.
    QString Next(DecodedRecord &clRecord);

  private:
    QByteArray m_clBytes;
    qint64 m_lPos = ContainerBytes::kHeaderSize;
};

} // namespace container_walk
