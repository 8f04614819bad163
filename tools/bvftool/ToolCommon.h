// What every bvftool command shares: its argument parser with --help, the
// messages on standard error, and the texts for kinds and times.
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// Exit codes of every command.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitCannotOpen = 2; // verify: a file could not be opened or read
constexpr int kExitUsage = 2;      // split, timeline: the command line itself is wrong

// A parser for "bvftool COMMAND": --help, the description and the positional
// arguments' help. Parse parses clArguments (the command's name first) and
// handles --help and unknown options; it returns an exit code to end with, or
// nothing to go on.
class CCommandParser {
  public:
    CCommandParser(const QString &clstrCommand, const QString &clstrDescription);
    QCommandLineParser &Parser() { return m_clParser; }
    std::optional<int> Parse(const QStringList &clArguments);
    // Prints the problem and the command's usage to standard error.
    int Fail(const QString &clstrProblem) const;

  private:
    QString m_clstrCommand;
    QCommandLineParser m_clParser;
};

// The path handed to the readers for a file named on the command line. The
// name is taken literally: one that begins like the readers' "online:" prefix
// is read through "./" (the same file); bOnline (--online) adds the prefix.
QString ReaderPath(const QString &clstrName, bool bOnline);
// Why a named file could not be opened as a recording, for its message.
QString CannotOpenText(const QString &clstrName);
// The --online option of the reading commands.
QCommandLineOption OnlineOption();

// "bvftool: " + text + newline on standard error; with a file, "bvftool:
// FILE: text". Serialised with the progress bar.
void PrintError(const QString &clstrText);
void PrintFileError(const QString &clstrFile, const QString &clstrText);
// Text as it is on standard error (several lines at once, no prefix).
void PrintErrorText(const QString &clstrText);
// Standard output, as UTF-8.
void PrintOut(const QString &clstrText);

// A progress bar on standard error, drawn only when that is a terminal. Any
// message printed meanwhile first ends the bar's line.
void ShowProgress(const QString &clstrWhat, int lPerMille);
void EndProgress();

// The name of a payload kind as commands print and take it: tetra, dmr,
// generic, aux, gsm, notice; "kind-N" for others.
QString PayloadKindName(uint8_t lKind);
// A comma-separated list of kind names (or numbers); false on an unknown one.
bool ParsePayloadKinds(const QString &clstrList, QList<uint8_t> &clKinds);

// "yyyy-MM-dd hh:mm:ss.zzz" in UTC.
QString UtcTextMs(int64_t lMilliseconds);
// "yyyy-MM-dd hh:mm:ss" in UTC.
QString UtcText(int64_t lSeconds);
