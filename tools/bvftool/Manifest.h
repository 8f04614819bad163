// The manifest of a split: the source, the settings and every part with its
// size, file digest and record-stream digest, plus one digest of all parts'
// record streams in part order. It lies beside the parts, which it names
// relative to its own folder.
#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

struct StructManifestPart {
    QString name; // relative to the manifest's folder
    qint64 size = 0;
    QString sha256;
};

struct StructManifest {
    QString folder; // where the manifest lies
    QList<StructManifestPart> parts;
    QString streamSha256; // of all parts' record streams in order

    QString PartPath(const StructManifestPart &clPart) const;
};

// "<base>.manifest.json" in the folder of the first part.
QString ManifestPathFor(const QString &clstrSource, const QString &clstrFirstPart);

// Reads the source and the parts (all in one folder) and writes the manifest;
// false with the reason told.
bool WriteManifest(const QString &clstrManifest, const QString &clstrSource, uint64_t lFileMagic,
                   const QJsonObject &clSettings, const QStringList &clParts, bool bOverwrite);

// False with the reason told when the manifest cannot be read or is not one.
bool ReadManifest(const QString &clstrManifest, StructManifest &clManifest);

// Checks every part and the digest of their record streams; prints each
// missing, altered or reordered part. The verify command's exit status.
int VerifyManifest(const QString &clstrManifest);
