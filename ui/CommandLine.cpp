#include "CommandLine.h"

#include <QDate>

#include <optional>

namespace {

const QString kKeySource = QStringLiteral("-fs=");
const QString kKeySplitType = QStringLiteral("-st=");
const QString kKeySchemeLocal = QStringLiteral("-fdl=");
const QString kKeyFixedName = QStringLiteral("-fd=");
const QString kKeySchemeUtc = QStringLiteral("-fdu=");
const QString kKeyPartLength = QStringLiteral("-tu=");
const QString kKeyPeriodStart = QStringLiteral("-tps=");
const QString kKeyPeriodEnd = QStringLiteral("-tpe=");
const QString kKeyPartCount = QStringLiteral("-n=");
const QString kKeyStart = QStringLiteral("-start=");

const QString *const kKeys[] = {&kKeySource,    &kKeySplitType,  &kKeySchemeLocal, &kKeyFixedName,
                                &kKeySchemeUtc, &kKeyPartLength, &kKeyPeriodStart, &kKeyPeriodEnd,
                                &kKeyPartCount, &kKeyStart};

bool IsQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

class CArgumentPairs {
  public:
    explicit CArgumentPairs(const QList<StructArgumentPair> &clPairs) : m_clPairs(clPairs) {}

    // The value of the key's first occurrence; none when the key is absent
    // or that occurrence was cut.
    std::optional<QString> Value(const QString &clstrKey) const {
        for (const StructArgumentPair &clPair : m_clPairs) {
            if (clPair.key == clstrKey)
                return clPair.valid ? std::optional<QString>(clPair.value) : std::nullopt;
        }
        return std::nullopt;
    }

    // The key's first occurrence did not fit its buffer.
    bool Cut(const QString &clstrKey) const {
        for (const StructArgumentPair &clPair : m_clPairs) {
            if (clPair.key == clstrKey)
                return !clPair.valid;
        }
        return false;
    }

    // A plain decimal number within [lLow, lHigh]: digits only, no sign or
    // blanks, so that "1x" or " 2" are not taken for numbers.
    std::optional<uint32_t> Unsigned(const QString &clstrKey, uint32_t lLow, uint32_t lHigh) const {
        const std::optional<QString> clValue = Value(clstrKey);
        if (!clValue || clValue->isEmpty() || clValue->size() > 9)
            return std::nullopt;
        uint32_t lNumber = 0;
        for (QChar c : *clValue) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            lNumber = lNumber * 10 + uint32_t(c.unicode() - u'0');
        }
        if (lNumber < lLow || lNumber > lHigh)
            return std::nullopt;
        return lNumber;
    }

  private:
    const QList<StructArgumentPair> &m_clPairs;
};

// "yyyy-MM-dd hh:mm" or "yyyy-MM-dd hh:mm:ss" in UTC. The date and the time
// are read apart so that no local-time rule (a skipped hour) touches them.
QDateTime ParseUtcTime(const QString &clstrText) {
    const qsizetype lBlank = clstrText.indexOf(u' ');
    if (lBlank < 0)
        return QDateTime();
    const QDate clDate = QDate::fromString(clstrText.left(lBlank), QStringLiteral("yyyy-MM-dd"));
    const QString clstrTime = clstrText.mid(lBlank + 1);
    QTime clTime = QTime::fromString(clstrTime, QStringLiteral("hh:mm"));
    if (!clTime.isValid())
        clTime = QTime::fromString(clstrTime, QStringLiteral("hh:mm:ss"));
    if (!clDate.isValid() || !clTime.isValid())
        return QDateTime();
    return QDateTime(clDate, clTime, Qt::UTC);
}

} // namespace

QList<StructArgumentPair> SplitCommandArguments(const QList<StructCommandArgument> &clArguments) {
    QList<StructArgumentPair> clPairs;
    for (const StructCommandArgument &clArgument : clArguments) {
        StructArgumentPair clPair;
        clPair.valid = !clArgument.cut;
        const QString *pKey = nullptr;
        for (const QString *pCandidate : kKeys) {
            if (clArgument.text.startsWith(*pCandidate)) {
                pKey = pCandidate;
                break;
            }
        }
        if (pKey == nullptr) {
            clPair.value = clArgument.text;
        } else {
            clPair.key = *pKey;
            clPair.value = clArgument.text.mid(pKey->size());
            if (!clPair.value.isEmpty() && IsQuote(clPair.value.front())) {
                clPair.value.remove(0, 1);
                if (!clPair.value.isEmpty() && IsQuote(clPair.value.back()))
                    clPair.value.chop(1);
            }
        }
        if (!clPair.valid)
            clPair.value.clear();
        clPairs << clPair;
    }
    return clPairs;
}

StructCommandLineOutcome ParseCommandLine(const QList<StructCommandArgument> &clArguments) {
    const QList<StructArgumentPair> clPairs = SplitCommandArguments(clArguments);
    const CArgumentPairs clFind(clPairs);
    StructCommandLineOutcome clOutcome;
    clOutcome.startInvalid =
        (clFind.Value(kKeyStart) || clFind.Cut(kKeyStart)) && !clFind.Unsigned(kKeyStart, 0, 2);

    bool bAnyKey = false;
    QList<StructArgumentPair> clPlain;
    for (const StructArgumentPair &clPair : clPairs) {
        if (clPair.key.isEmpty())
            clPlain << clPair;
        else
            bAnyKey = true;
    }
    if (!bAnyKey && clPlain.size() == 1) {
        if (clPlain.front().valid)
            clOutcome.pendingLoad = clPlain.front().value;
        return clOutcome;
    }

    const std::optional<uint32_t> clSplitType = clFind.Unsigned(kKeySplitType, 0, 3);
    if (!clSplitType)
        return clOutcome;

    StructCommandLine clRequest;
    if (const std::optional<uint32_t> clScheme = clFind.Unsigned(kKeySchemeUtc, 0, 9)) {
        clRequest.scheme = uint8_t(*clScheme);
        clRequest.utc = true;
    } else if (const std::optional<uint32_t> clLocal = clFind.Unsigned(kKeySchemeLocal, 0, 9)) {
        clRequest.scheme = uint8_t(*clLocal);
    } else if (const std::optional<QString> clFixed = clFind.Value(kKeyFixedName);
               *clSplitType == 2 && clFixed && !clFixed->isEmpty()) {
        clRequest.scheme = 10;
        clRequest.fixedNameGiven = true;
        clRequest.fixedName = *clFixed;
    } else {
        clRequest.fixedNameCut = *clSplitType == 2 && clFind.Cut(kKeyFixedName);
    }

    const std::optional<QString> clSource = clFind.Value(kKeySource);
    if (!clSource || clSource->isEmpty())
        return clOutcome;
    clRequest.sourcePath = *clSource;
    clRequest.startOption = clFind.Unsigned(kKeyStart, 0, 2).value_or(0);

    switch (*clSplitType) {
    case 0:
    case 1: {
        const std::optional<QString> clLength = clFind.Value(kKeyPartLength);
        if (!clLength)
            return clOutcome;
        clRequest.partLength = QTime::fromString(*clLength, QStringLiteral("hh:mm"));
        if (!clRequest.partLength.isValid())
            return clOutcome;
        break;
    }
    case 2: {
        const std::optional<QString> clStart = clFind.Value(kKeyPeriodStart);
        const std::optional<QString> clEnd = clFind.Value(kKeyPeriodEnd);
        if (!clStart || !clEnd)
            return clOutcome;
        clRequest.periodStart = ParseUtcTime(*clStart);
        clRequest.periodEnd = ParseUtcTime(*clEnd);
        if (!clRequest.periodStart.isValid() || !clRequest.periodEnd.isValid())
            return clOutcome;
        if (clRequest.periodStart > clRequest.periodEnd)
            std::swap(clRequest.periodStart, clRequest.periodEnd);
        break;
    }
    default: {
        const std::optional<uint32_t> clCount = clFind.Unsigned(kKeyPartCount, 2, 100000);
        if (!clCount)
            return clOutcome;
        clRequest.partCount = *clCount;
        break;
    }
    }

    clRequest.kind = int32_t(*clSplitType) + 1;
    clOutcome.request = clRequest;
    clOutcome.pendingLoad = clRequest.sourcePath;
    return clOutcome;
}

bool AsksToQuitAfterSplit(const QList<StructCommandArgument> &clArguments) {
    const QList<StructArgumentPair> clPairs = SplitCommandArguments(clArguments);
    return CArgumentPairs(clPairs).Unsigned(kKeyStart, 0, 2) == 2u;
}

QList<StructCommandArgument> CommandArguments(const QStringList &clTexts) {
    QList<StructCommandArgument> clArguments;
    for (const QString &clstrText : clTexts)
        clArguments << StructCommandArgument{clstrText, false};
    return clArguments;
}
