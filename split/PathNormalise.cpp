#include "PathNormalise.h"

#include "WidePath.h"

#include <string>
#include <sys/stat.h>

namespace {

constexpr QChar kSeparator = u'/';

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

bool StatPath(const QString &clstrPath, struct stat &clInfo) {
    // The same conversion as the file classes use, so the file looked at is
    // the one they would open.
    std::string clstrNative;
    if (!WidePathToNative(clstrPath.toStdWString().c_str(), clstrNative))
        return false;
    return ::stat(clstrNative.c_str(), &clInfo) == 0;
}

} // namespace

QString NormalisePath(const QString &clstrPath) {
    qsizetype lFirst = 0;
    while (lFirst < clstrPath.size() && IsBlank(clstrPath[lFirst]))
        ++lFirst;
    if (lFirst == clstrPath.size())
        return clstrPath;

    qsizetype lAfterPrefix = lFirst;
    if (clstrPath.mid(lFirst, 2) == QStringLiteral("//"))
        lAfterPrefix += 2;

    QString clstrResult = clstrPath.left(lAfterPrefix);
    bool bChanged = false;
    for (qsizetype i = lAfterPrefix; i < clstrPath.size(); ++i) {
        if (clstrPath[i] == kSeparator && i + 1 < clstrPath.size() &&
            clstrPath[i + 1] == kSeparator) {
            bChanged = true;
            continue;
        }
        clstrResult += clstrPath[i];
    }
    if (bChanged || clstrResult.contains(kSeparator))
        clstrResult.remove(0, lFirst);
    return clstrResult;
}

bool SamePathText(const QString &clstrFirst, const QString &clstrSecond) {
    return NormalisePath(clstrFirst).compare(NormalisePath(clstrSecond), Qt::CaseInsensitive) == 0;
}

bool IsSameFile(const QString &clstrFirst, const QString &clstrSecond) {
    struct stat clFirst {};
    struct stat clSecond {};
    if (!StatPath(clstrFirst, clFirst) || !StatPath(clstrSecond, clSecond))
        return false;
    return clFirst.st_dev == clSecond.st_dev && clFirst.st_ino == clSecond.st_ino;
}

bool OutputIsSource(const QString &clstrOutput, const QString &clstrSource) {
    return SamePathText(clstrOutput, clstrSource) || IsSameFile(clstrOutput, clstrSource);
}
