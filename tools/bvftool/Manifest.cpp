#include "Manifest.h"

#include "JoinFileData.h"
#include "RecordStream.h"
#include "ToolCommon.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

constexpr int kManifestFormat = 1;

QJsonValue TimeValue(bool bHasTime, int64_t lMs) {
    return bHasTime ? QJsonValue(qint64(lMs)) : QJsonValue();
}

} // namespace

QString StructManifest::PartPath(const StructManifestPart &clPart) const {
    return QDir(folder).filePath(clPart.name);
}

QString ManifestPathFor(const QString &clstrSource, const QString &clstrFirstPart) {
    const QString clstrFolder = QFileInfo(clstrFirstPart).path();
    return QDir(clstrFolder)
        .filePath(QFileInfo(clstrSource).completeBaseName() + QStringLiteral(".manifest.json"));
}

bool WriteManifest(const QString &clstrManifest, const QString &clstrSource, uint64_t lFileMagic,
                   const QJsonObject &clSettings, const QStringList &clParts, bool bOverwrite) {
    if (QFileInfo(clstrManifest).exists() && !bOverwrite) {
        PrintFileError(clstrManifest, QStringLiteral("exists already (--overwrite replaces it)"));
        return false;
    }
    const StructRecordStream clSourceStream = HashRecordStream(clstrSource);
    const QByteArray clSourceSha = FileSha256(clstrSource);
    if (!clSourceStream.opened || clSourceStream.readFailed || clSourceSha.isEmpty()) {
        PrintFileError(clstrSource, QStringLiteral("cannot be read again for the manifest"));
        return false;
    }
    QJsonObject clSource{
        {QStringLiteral("name"), clstrSource},
        {QStringLiteral("size"), QFileInfo(clstrSource).size()},
        {QStringLiteral("sha256"), DigestText(clSourceSha)},
        {QStringLiteral("fileMagic"), JoinMagicText(lFileMagic)},
        {QStringLiteral("firstMs"), TimeValue(clSourceStream.hasTime, clSourceStream.firstMs)},
        {QStringLiteral("lastMs"), TimeValue(clSourceStream.hasTime, clSourceStream.lastMs)},
        {QStringLiteral("records"), qint64(clSourceStream.records)},
        {QStringLiteral("recordStreamSha256"), DigestText(clSourceStream.sha256)},
    };

    QCryptographicHash clAll(QCryptographicHash::Sha256);
    QJsonArray clPartArray;
    for (const QString &clstrPart : clParts) {
        const StructRecordStream clStream = HashRecordStream(clstrPart, &clAll);
        const QByteArray clSha = FileSha256(clstrPart);
        if (!clStream.opened || clStream.readFailed || clSha.isEmpty()) {
            PrintFileError(clstrPart, QStringLiteral("cannot be read for the manifest"));
            return false;
        }
        clPartArray.append(QJsonObject{
            {QStringLiteral("name"), QFileInfo(clstrPart).fileName()},
            {QStringLiteral("size"), QFileInfo(clstrPart).size()},
            {QStringLiteral("sha256"), DigestText(clSha)},
            {QStringLiteral("records"), qint64(clStream.records)},
            {QStringLiteral("firstMs"), TimeValue(clStream.hasTime, clStream.firstMs)},
            {QStringLiteral("lastMs"), TimeValue(clStream.hasTime, clStream.lastMs)},
            {QStringLiteral("recordStreamSha256"), DigestText(clStream.sha256)},
        });
    }
    const QJsonObject clManifest{
        {QStringLiteral("manifest"), kManifestFormat},
        {QStringLiteral("program"), QStringLiteral("bvftool")},
        {QStringLiteral("version"), QStringLiteral(BVF_VERSION)},
        {QStringLiteral("settings"), clSettings},
        {QStringLiteral("source"), clSource},
        {QStringLiteral("parts"), clPartArray},
        {QStringLiteral("recordStreamSha256"), DigestText(clAll.result())},
    };
    QSaveFile clFile(clstrManifest);
    if (!clFile.open(QIODevice::WriteOnly) ||
        clFile.write(QJsonDocument(clManifest).toJson()) < 0 || !clFile.commit()) {
        PrintFileError(clstrManifest, QStringLiteral("cannot be written"));
        return false;
    }
    return true;
}

bool ReadManifest(const QString &clstrManifest, StructManifest &clManifest) {
    QFile clFile(clstrManifest);
    if (!QFileInfo(clstrManifest).isFile() || !clFile.open(QIODevice::ReadOnly)) {
        PrintFileError(clstrManifest, QStringLiteral("cannot be opened"));
        return false;
    }
    const QJsonObject clRoot = QJsonDocument::fromJson(clFile.readAll()).object();
    if (clRoot.value(QStringLiteral("manifest")).toInt() != kManifestFormat ||
        !clRoot.value(QStringLiteral("parts")).isArray()) {
        PrintFileError(clstrManifest, QStringLiteral("is not a manifest of bvftool split"));
        return false;
    }
    clManifest = StructManifest();
    clManifest.folder = QFileInfo(clstrManifest).path();
    clManifest.streamSha256 = clRoot.value(QStringLiteral("recordStreamSha256")).toString();
    for (const QJsonValue &clValue : clRoot.value(QStringLiteral("parts")).toArray()) {
        const QJsonObject clPart = clValue.toObject();
        StructManifestPart clEntry;
        clEntry.name = clPart.value(QStringLiteral("name")).toString();
        clEntry.size = clPart.value(QStringLiteral("size")).toInteger(-1);
        clEntry.sha256 = clPart.value(QStringLiteral("sha256")).toString();
        // A name with a folder in it would reach outside the manifest's folder.
        if (clEntry.name.isEmpty() || clEntry.name.contains(u'/') || clEntry.name == u".." ||
            clEntry.name == u".") {
            PrintFileError(
                clstrManifest,
                QStringLiteral("names a part \"%1\" outside its folder").arg(clEntry.name));
            return false;
        }
        clManifest.parts << clEntry;
    }
    if (clManifest.parts.isEmpty()) {
        PrintFileError(clstrManifest, QStringLiteral("names no part"));
        return false;
    }
    return true;
}

int VerifyManifest(const QString &clstrManifest) {
    StructManifest clManifest;
    if (!ReadManifest(clstrManifest, clManifest))
        return kExitCannotOpen;
    QCryptographicHash clAll(QCryptographicHash::Sha256);
    int lProblems = 0;
    QString clstrReport;
    const auto Report = [&](const StructManifestPart &clPart, const QString &clstrVerdict) {
        clstrReport += clPart.name + QStringLiteral(": ") + clstrVerdict + u'\n';
    };
    for (const StructManifestPart &clPart : clManifest.parts) {
        const QString clstrPath = clManifest.PartPath(clPart);
        if (!QFileInfo(clstrPath).isFile()) {
            Report(clPart, QStringLiteral("missing"));
            ++lProblems;
            continue;
        }
        const QString clstrSha = DigestText(FileSha256(clstrPath));
        // The same bytes give the same record stream: only the digest of all
        // parts together needs it.
        HashRecordStream(clstrPath, &clAll, false);
        if (clstrSha == clPart.sha256 && QFileInfo(clstrPath).size() == clPart.size) {
            Report(clPart, QStringLiteral("sound"));
            continue;
        }
        ++lProblems;
        // A part that holds what another part of the set held was renamed
        // or put in another place of the order.
        QString clstrOther;
        for (const StructManifestPart &clOther : clManifest.parts) {
            if (clOther.name != clPart.name && clOther.sha256 == clstrSha)
                clstrOther = clOther.name;
        }
        if (!clstrOther.isEmpty())
            Report(clPart, QStringLiteral("reordered: holds what part %1 held").arg(clstrOther));
        else
            Report(clPart, QStringLiteral("altered (size or content differs)"));
    }
    const bool bStreamSound = DigestText(clAll.result()) == clManifest.streamSha256;
    if (bStreamSound && lProblems == 0)
        clstrReport +=
            clstrManifest + QStringLiteral(": sound (%1 parts)\n").arg(clManifest.parts.size());
    else
        clstrReport +=
            clstrManifest +
            QStringLiteral(": NOT sound (%1 part(s) missing, altered or reordered; the "
                           "record streams %2 the manifest's digest)\n")
                .arg(lProblems)
                .arg(bStreamSound ? QStringLiteral("give") : QStringLiteral("do not give"));
    PrintOut(clstrReport);
    return bStreamSound && lProblems == 0 ? kExitOk : kExitFailed;
}
