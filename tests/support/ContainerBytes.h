// Byte-level builder of container files for tests. It places every field from
// the container's layout tables with its own big-endian writes and takes the
// checksum straight from zlib, so it shares no code with the codec in formats/.
// Bodies are written exactly as described by their fields: data areas, item
// counts and lengths are taken as given, which lets tests build damaged input.
#pragma once

#include <QByteArray>
#include <QList>

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

// Stored record checksum: the complement of the common CRC-32.
uint32_t StoredChecksum(const QByteArray &clBytes);

// Reading back single fields of built or encoded bytes.
uint16_t Be16At(const QByteArray &clBytes, int lOffset);
uint32_t Be32At(const QByteArray &clBytes, int lOffset);
uint64_t Be64At(const QByteArray &clBytes, int lOffset);

constexpr int kHeaderSize = 2355;
constexpr int kFrameHead = 10;
constexpr int kBodyOffset = 33;

// "BRENNOVARSTIK_V<version>_______", 23 characters without the terminator.
QByteArray MagicText(int lVersion);

struct HeaderFields {
    QByteArray magic = MagicText(3); // 23 characters; the terminating zero is added
    uint32_t headerLength = 2355;
    uint32_t zeroField = 0;
    uint8_t oneField = 1;
    uint64_t fileMagic = 0;
    int64_t startTime = 0;
    uint16_t value16 = 0;
    QByteArray recordingType; // each text cut or zero-padded to its field
    QByteArray infoText1;
    QByteArray infoText2;
    QByteArray reservedBlock;
    QByteArray infoText3;
    QByteArray extraBytes;
    double extraValue = 0; // stored little-endian
};
QByteArray Header(const HeaderFields &clFields);

struct SubHeader {
    uint8_t sourceByte = 0;
    uint64_t frequency = 0;
    uint32_t symbolRate = 0;
    uint16_t value16 = 0;
};

// A frame: total length (head included), type, flag byte and the checksum of
// everything after the 10-byte head.
QByteArray Frame(uint8_t lType, const QByteArray &clAfterHead, uint8_t lFlag = 0);
// A frame holding the 23-byte sub-header and then the body.
QByteArray Record(uint8_t lType, const SubHeader &clSub, const QByteArray &clBody);

enum class TetraLayout {
    V1,       // type 3 in version 1: no flags2, data from body offset 31
    V2,       // type 3 in versions 2 and 3, type 6: flags2 at 31, data from 32
    Extended, // type 8: extended fields, data from 62
};

struct TetraBody {
    uint64_t timeSeconds = 0;
    uint16_t milliseconds = 0;
    uint16_t hyperframe = 0;
    uint8_t multiframe = 0;
    uint8_t frame = 0;
    uint8_t timeslot = 0;
    uint8_t valueFlags = 0;      // as stored
    uint16_t valueSlots[3] = {}; // the three value slots as stored
    uint8_t direction = 0;
    uint8_t channelCode = 0;
    uint16_t bitCount = 0;
    uint8_t dataFlags = 0;
    uint8_t burstType = 0;
    uint8_t burstInfo[3] = {};
    uint8_t flags2 = 0;   // not in TetraLayout::V1
    uint8_t extended = 0; // TetraLayout::Extended only, as ext1..ext5
    uint8_t ext1 = 0;
    uint16_t ext2 = 0;
    uint32_t ext3 = 0;
    uint32_t ext4 = 0;
    uint16_t ext5[9] = {};
    QByteArray data;
};
QByteArray TetraBodyBytes(const TetraBody &clBody, TetraLayout enLayout);

struct GsmBody {
    uint64_t fileTime = 0;
    uint32_t value1 = 0;
    uint8_t byte1 = 0;
    uint16_t word1 = 0;
    uint16_t word2 = 0;
    uint16_t word3 = 0;
    uint64_t value2 = 0;
    uint8_t byte2 = 0;
    uint8_t direction = 0;
    uint8_t byte3 = 0;
    uint16_t bitCount = 0;
    uint8_t byte4 = 0;
    uint8_t byte5 = 0;
    uint8_t byte6 = 0;
    uint16_t word4 = 0;
    uint32_t value3 = 0;
    uint32_t value4 = 0;
    uint8_t byte7 = 0;
    uint16_t words[9] = {};
    QByteArray data;
};
QByteArray GsmBodyBytes(const GsmBody &clBody);

struct DmrItemBytes {
    uint8_t kind = 0;
    uint8_t flags = 0;
    uint8_t length = 0;
    QByteArray data;
};

struct DmrBody {
    bool withTimeslot = true; // version 3 stores it, versions 1 and 2 do not
    uint8_t timeslot = 0;
    uint8_t burstKind = 0;
    uint64_t timeSeconds = 0;
    uint16_t milliseconds = 0;
    uint16_t word1 = 0;
    uint8_t byte1 = 0;
    uint8_t byte2 = 0;
    uint8_t optionalFlags = 0;
    uint64_t value48 = 0;
    uint8_t byte4 = 0;
    uint16_t word2 = 0;
    uint16_t word3 = 0;
    uint16_t word4 = 0;
    uint16_t word5 = 0;
    int itemCount = -1; // -1: the number of items
    QList<DmrItemBytes> items;
    QByteArray trailing; // bytes after the items
};
QByteArray DmrBodyBytes(const DmrBody &clBody);

// Notice body: code, value and the text cut or zero-padded to 128 bytes.
QByteArray NoticeBodyBytes(uint32_t lCode, uint32_t lValue, const QByteArray &clText);

} // namespace ContainerBytes
