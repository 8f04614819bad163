#include "ToolCommon.h"

#include "FormatChoice.h"
#include "RecordTypes.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

#include <cstdio>
#include <mutex>
#include <unistd.h>

namespace {

std::mutex g_clOutputMutex;
bool g_bBarShown = false;

constexpr int kBarWidth = 40;

void EndBarLocked() {
    if (!g_bBarShown)
        return;
    std::fputs("\n", stderr);
    g_bBarShown = false;
}

struct KindName {
    uint8_t kind;
    const char *name;
};
constexpr KindName kKindNames[] = {
    {PAYLOAD_TETRA, "tetra"},   {PAYLOAD_DMR, "dmr"}, {PAYLOAD_GENERIC, "generic"},
    {PAYLOAD_TETRA_AUX, "aux"}, {PAYLOAD_GSM, "gsm"}, {PAYLOAD_NOTICE, "notice"},
};

} // namespace

CCommandParser::CCommandParser(const QString &clstrCommand, const QString &clstrDescription)
    : m_clstrCommand(clstrCommand) {
    m_clParser.setApplicationDescription(clstrDescription);
    m_clParser.addHelpOption();
}

std::optional<int> CCommandParser::Parse(const QStringList &clArguments) {
    // The command's name stands where the parser expects the program.
    if (!m_clParser.parse(clArguments))
        return Fail(m_clParser.errorText());
    if (m_clParser.isSet(QStringLiteral("help"))) {
        QString clstrHelp = m_clParser.helpText();
        // The parser names the program by its path.
        clstrHelp.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")),
                          QStringLiteral("Usage: bvftool ") + m_clstrCommand);
        PrintOut(clstrHelp);
        return kExitOk;
    }
    return std::nullopt;
}

int CCommandParser::Fail(const QString &clstrProblem) const {
    PrintError(
        QStringLiteral("%1: %2\nSee \"bvftool %1 --help\".").arg(m_clstrCommand, clstrProblem));
    return kExitFailed;
}

QString ReaderPath(const QString &clstrName, bool bOnline) {
    if (bOnline)
        return QStringLiteral("online:") + clstrName;
    const std::wstring clstrWide = clstrName.toStdWString();
    bool bPrefixed = false;
    ApplyOnlinePrefix(clstrWide.c_str(), bPrefixed);
    return bPrefixed ? QStringLiteral("./") + clstrName : clstrName;
}

QString CannotOpenText(const QString &clstrName) {
    const QFileInfo clInfo(clstrName);
    if (clInfo.exists() && !clInfo.isFile() && !clInfo.isDir())
        return QStringLiteral("is not a regular file (a FIFO, device or socket); only files can "
                              "be read as recordings");
    return QStringLiteral("cannot be opened as a recording");
}

QCommandLineOption OnlineOption() {
    return QCommandLineOption(
        QStringLiteral("online"),
        QStringLiteral("The files are still being recorded: read what they hold now; an "
                       "unfinished last record is no damage. (A name is always taken as it "
                       "is, \"online:\" included.)"));
}

void PrintError(const QString &clstrText) {
    std::lock_guard clLock(g_clOutputMutex);
    EndBarLocked();
    std::fprintf(stderr, "bvftool: %s\n", clstrText.toUtf8().constData());
    std::fflush(stderr);
}

void PrintErrorText(const QString &clstrText) {
    std::lock_guard clLock(g_clOutputMutex);
    EndBarLocked();
    std::fputs(clstrText.toUtf8().constData(), stderr);
    std::fflush(stderr);
}

void PrintFileError(const QString &clstrFile, const QString &clstrText) {
    PrintError(clstrFile + QStringLiteral(": ") + clstrText);
}

void PrintOut(const QString &clstrText) {
    std::lock_guard clLock(g_clOutputMutex);
    std::fputs(clstrText.toUtf8().constData(), stdout);
}

void ShowProgress(const QString &clstrWhat, int lPerMille) {
    static const bool bTerminal = ::isatty(STDERR_FILENO) == 1;
    if (!bTerminal || lPerMille < 0)
        return;
    if (lPerMille > 1000)
        lPerMille = 1000;
    const int lFilled = lPerMille * kBarWidth / 1000;
    const QString clstrBar =
        QString(lFilled, QChar(u'#')) + QString(kBarWidth - lFilled, QChar(u' '));
    std::lock_guard clLock(g_clOutputMutex);
    std::fprintf(stderr, "\r%s [%s] %5.1f%%", clstrWhat.toUtf8().constData(),
                 clstrBar.toUtf8().constData(), double(lPerMille) / 10.0);
    std::fflush(stderr);
    g_bBarShown = true;
}

void EndProgress() {
    std::lock_guard clLock(g_clOutputMutex);
    EndBarLocked();
}

QString PayloadKindName(uint8_t lKind) {
    for (const KindName &clName : kKindNames) {
        if (clName.kind == lKind)
            return QString::fromLatin1(clName.name);
    }
    return QStringLiteral("kind-%1").arg(lKind);
}

bool ParsePayloadKinds(const QString &clstrList, QList<uint8_t> &clKinds) {
    clKinds.clear();
    for (const QString &clstrPart : clstrList.split(u',', Qt::SkipEmptyParts)) {
        const QString clstrName = clstrPart.trimmed().toLower();
        bool bFound = false;
        for (const KindName &clName : kKindNames) {
            if (clstrName == QLatin1String(clName.name)) {
                clKinds << clName.kind;
                bFound = true;
            }
        }
        bool bNumber = false;
        const uint lNumber = clstrName.startsWith(QStringLiteral("kind-"))
                                 ? clstrName.mid(5).toUInt(&bNumber)
                                 : clstrName.toUInt(&bNumber);
        if (!bFound && bNumber && lNumber <= 255) {
            clKinds << uint8_t(lNumber);
            bFound = true;
        }
        if (!bFound)
            return false;
    }
    return !clKinds.isEmpty();
}

QString UtcTextMs(int64_t lMilliseconds) {
    return QDateTime::fromMSecsSinceEpoch(lMilliseconds, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

QString UtcText(int64_t lSeconds) {
    return QDateTime::fromSecsSinceEpoch(lSeconds, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}
