#include "PathNormalise.h"

#include "WidePath.h"

#include <string>
#include <sys/stat.h>

namespace {

constexpr QChar kSeparator = u'/';

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
    // Blanks are name characters here: " /rec/a.bvf" is a relative path, and
    // removing them would name another file. So a network prefix counts only
    // at the very start.
    const qsizetype lAfterPrefix = clstrPath.startsWith(QStringLiteral("//")) ? 2 : 0;
    QString clstrResult = clstrPath.left(lAfterPrefix);
    clstrResult.reserve(clstrPath.size());
    for (qsizetype i = lAfterPrefix; i < clstrPath.size(); ++i) {
        if (clstrPath[i] == kSeparator && i + 1 < clstrPath.size() &&
            clstrPath[i + 1] == kSeparator)
            continue;
        clstrResult += clstrPath[i];
    }
    return clstrResult;
}

bool SamePathText(const QString &clstrFirst, const QString &clstrSecond) {
    // File names differ by letter case on this system; the identity check
    // catches a file system that folds case.
    return NormalisePath(clstrFirst) == NormalisePath(clstrSecond);
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

bool PathFitsFileClasses(const QString &clstrPath) {
    // The file classes count wide characters, which differ from UTF-16 units
    // outside the basic plane.
    if (clstrPath.size() <= kMaxPathChars)
        return true;
    return qsizetype(clstrPath.toStdWString().size()) <= kMaxPathChars;
}

QString BareFileName(const QString &clstrPath) {
    const qsizetype lSeparator = clstrPath.lastIndexOf(u'/');
    return lSeparator >= 1 ? clstrPath.mid(lSeparator + 1) : clstrPath;
}
