// Digests that prove a set of parts: SHA-256 of a file's bytes and of its
// record stream (every record's frame as the container writer stores it,
// header excluded), both read in pieces so that memory stays flat.
#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <cstdint>

// SHA-256 of the file's bytes; empty when it cannot be read.
QByteArray FileSha256(const QString &clstrPath);

struct StructRecordStream {
    bool opened = false;
    bool readFailed = false;
    uint64_t records = 0;
    bool hasTime = false;
    int64_t firstMs = 0; // first in reading order
    int64_t lastMs = 0;  // the latest
    QByteArray sha256;
};

// Reads the recording (any format) and hashes each record's frame: a
// version-3 container's frames as they stand in the file, others encoded as
// the writer would encode them. pAlso, when given, is fed the same bytes;
// without bOwnDigest only pAlso is fed (sha256 stays empty), which saves one
// hash of every byte.
StructRecordStream HashRecordStream(const QString &clstrPath, QCryptographicHash *pAlso = nullptr,
                                    bool bOwnDigest = true);

// Lower-case hex, as the manifest stores digests.
inline QString DigestText(const QByteArray &clDigest) {
    return QString::fromLatin1(clDigest.toHex());
}
