#include "SplitName.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>

namespace {

// Engine paths use "/" only; a backslash is an ordinary character of a name.
constexpr QChar kSeparator = u'/';

enum NameToken : uint8_t { TOKEN_NAME, TOKEN_NUMBER, TOKEN_TIME };

struct SchemeLayout {
    int count;
    NameToken tokens[3];
};

// The standard schemes in the order of the naming list.
constexpr SchemeLayout kSchemes[kStandardNamingSchemes] = {
    {2, {TOKEN_NAME, TOKEN_TIME}},               // NAME__date+time
    {2, {TOKEN_NAME, TOKEN_NUMBER}},             // NAME__SplitNumber
    {3, {TOKEN_NAME, TOKEN_NUMBER, TOKEN_TIME}}, // NAME__SplitNumber__date+time
    {3, {TOKEN_NAME, TOKEN_TIME, TOKEN_NUMBER}}, // NAME__date+time__SplitNumber
    {2, {TOKEN_NUMBER, TOKEN_NAME}},             // SplitNumber__NAME
    {3, {TOKEN_NUMBER, TOKEN_NAME, TOKEN_TIME}}, // SplitNumber__NAME__date+time
    {3, {TOKEN_NUMBER, TOKEN_TIME, TOKEN_NAME}}, // SplitNumber__date+time__NAME
    {2, {TOKEN_TIME, TOKEN_NAME}},               // date+time__NAME
    {3, {TOKEN_TIME, TOKEN_NAME, TOKEN_NUMBER}}, // date+time__NAME__SplitNumber
    {3, {TOKEN_TIME, TOKEN_NUMBER, TOKEN_NAME}}, // date+time__SplitNumber__NAME
};
constexpr uint32_t kOutOfRangeScheme = 5;

constexpr qsizetype kDateTokenLength = 19;
constexpr qsizetype kShortTokenLength = 6;

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

bool IsDateToken(const QString &clstrText, qsizetype lAt) {
    if (lAt + kDateTokenLength > clstrText.size())
        return false;
    for (qsizetype i = lAt; i < lAt + kDateTokenLength; ++i) {
        const QChar c = clstrText[i];
        if (!IsDigit(c) && c != u'-' && c != u'.' && c != u'_')
            return false;
    }
    return true;
}

bool IsShortToken(const QString &clstrText, qsizetype lAt) {
    if (lAt + kShortTokenLength > clstrText.size())
        return false;
    qsizetype lDigitsFrom;
    if (clstrText[lAt] == u'C' && clstrText[lAt + 1] == u'N')
        lDigitsFrom = lAt + 2;
    else if (clstrText[lAt] == u'P')
        lDigitsFrom = lAt + 1;
    else
        return false;
    for (qsizetype i = lDigitsFrom; i < lAt + kShortTokenLength; ++i) {
        if (!IsDigit(clstrText[i]) && clstrText[i] != u'_')
            return false;
    }
    return true;
}

} // namespace

StructSplitName InitialSplitName(const StructSplitSettings &clSettings,
                                 const QString &clstrSourcePath) {
    StructSplitName clName;
    clName.namingScheme = clSettings.namingScheme;
    clName.showUtc = clSettings.showUtc;
    clName.sourcePath = clstrSourcePath;
    clName.outputFolder = clSettings.outputFolder;
    if (clSettings.mode == SPLIT_BY_PERIOD)
        clName.outputPath = clSettings.fixedName;
    return clName;
}

SplitNameResult MakePartName(StructSplitName &clName) {
    const auto Fail = [&clName](SplitNameResult enResult) {
        clName.outputPath.clear();
        return enResult;
    };
    if (!PathFitsFileClasses(clName.sourcePath))
        return Fail(SplitNameResult::SourcePathTooLong);

    if (clName.namingScheme == kFixedNameScheme) {
        if (clName.outputPath.isEmpty())
            return Fail(SplitNameResult::NoName);
        if (!PathFitsFileClasses(clName.outputPath))
            return Fail(SplitNameResult::NameTooLong);
        return SplitNameResult::Ok;
    }

    QString clstrFolder;
    QString clstrBaseName;
    SplitSourcePath(clName.sourcePath, clstrFolder, clstrBaseName);
    if (!clName.outputFolder.isEmpty())
        clstrFolder = clName.outputFolder.endsWith(kSeparator) ? clName.outputFolder
                                                               : clName.outputFolder + kSeparator;

    const SchemeLayout &clLayout =
        kSchemes[clName.namingScheme < kStandardNamingSchemes ? clName.namingScheme
                                                              : kOutOfRangeScheme];
    QStringList clTokens;
    for (int i = 0; i < clLayout.count; ++i) {
        switch (clLayout.tokens[i]) {
        case TOKEN_NAME:
            clTokens << clstrBaseName;
            break;
        case TOKEN_NUMBER:
            clTokens << PartNumberText(clName.partNumber);
            break;
        case TOKEN_TIME: {
            const QString clstrTime = PartTimeText(clName.cut, clName.showUtc);
            if (clstrTime.isEmpty())
                return Fail(SplitNameResult::TimeNotRepresentable);
            clTokens << clstrTime;
            break;
        }
        }
    }
    // Joined directly rather than by "%n" substitution, so that a "%" in a
    // folder or file name cannot be taken for a marker.
    const QString clstrPath =
        clstrFolder + clTokens.join(QStringLiteral("__")) + QStringLiteral(".bvf");
    if (!PathFitsFileClasses(clstrPath))
        return Fail(SplitNameResult::NameTooLong);
    clName.outputPath = clstrPath;
    return SplitNameResult::Ok;
}

bool SplitSourcePath(const QString &clstrPath, QString &clstrFolder, QString &clstrBaseName) {
    clstrFolder.clear();
    clstrBaseName.clear();
    if (!PathFitsFileClasses(clstrPath))
        return false;
    const qsizetype lSeparator = clstrPath.lastIndexOf(kSeparator);
    // A source in the root folder keeps its "/", so a name that does not begin
    // with the base name still lands beside the source.
    if (lSeparator >= 0)
        clstrFolder = clstrPath.left(lSeparator + 1);
    const qsizetype lNameFrom = lSeparator + 1;
    const qsizetype lDot = clstrPath.lastIndexOf(u'.');
    const qsizetype lNameEnd = lDot >= lNameFrom ? lDot : clstrPath.size();
    clstrBaseName = CleanBaseName(clstrPath.mid(lNameFrom, lNameEnd - lNameFrom));
    return true;
}

QString CleanBaseName(const QString &clstrBaseName) {
    static const QString kMark = QStringLiteral("__");
    QString clstrName = clstrBaseName;
    // Every pass removes at least the "__" it found, so the loop ends.
    for (qsizetype i = clstrName.indexOf(kMark); i >= 0; i = clstrName.indexOf(kMark)) {
        const qsizetype lAfter = i + kMark.size();
        const qsizetype lNext = clstrName.indexOf(kMark, lAfter);
        const qsizetype k = (lNext < 0 ? clstrName.size() : lNext) - lAfter;
        if (i == kDateTokenLength && IsDateToken(clstrName, 0))
            clstrName.remove(0, kDateTokenLength + kMark.size());
        else if (k >= kDateTokenLength && IsDateToken(clstrName, lAfter))
            clstrName.remove(i, kMark.size() + kDateTokenLength);
        else if (i == kShortTokenLength && IsShortToken(clstrName, 0))
            clstrName.remove(0, kShortTokenLength + kMark.size());
        else if (k >= kShortTokenLength && IsShortToken(clstrName, lAfter))
            clstrName.remove(i, kMark.size() + kShortTokenLength);
        else
            clstrName.truncate(i);
    }
    return clstrName;
}

QString PartTimeText(int64_t lSeconds, bool bUtc) {
    const QDateTime clTime = bUtc ? QDateTime::fromSecsSinceEpoch(lSeconds, QTimeZone::utc())
                                  : QDateTime::fromSecsSinceEpoch(lSeconds, Qt::LocalTime);
    if (!clTime.isValid())
        return QString();
    return clTime.toString(QStringLiteral("yyyy-MM-dd_hh.mm.ss"));
}

QString PartNumberText(uint32_t lPartNumber) {
    return QStringLiteral("%1").arg(lPartNumber, 2, 10, QChar(u'0'));
}
