// The command-line request: which source to load, how to fill the split tab
// once it has been scanned, and whether to press Start and quit afterwards.
// Pure parsing, usable without a window.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

#include <cstdint>

// One argument as the program received it. An argument that did not fit its
// buffer is kept only as "cut": its text must never be used, because the
// shortened text would name another file or value.
struct StructCommandArgument {
    QString text;
    bool cut = false;
};

struct StructCommandLine {
    // 0 no request; 1 by time; 2 by time aligned to the time unit; 3 by
    // period; 4 by number (the split type + 1).
    int32_t kind = 0;
    QString sourcePath;
    uint8_t scheme = 0; // 0 ... 10 (10: the fixed name)
    bool utc = false;
    bool fixedNameGiven = false;
    QString fixedName;
    // "-fd=" would have named the output but did not fit its buffer: the
    // split cannot write the file that was asked for.
    bool fixedNameCut = false;
    QTime partLength;                 // kinds 1 and 2
    QDateTime periodStart, periodEnd; // kind 3, UTC, start <= end
    uint32_t partCount = 0;           // kind 4
    uint32_t startOption = 0;         // 0 fill only, 1 press Start, 2 Start and quit
};

// One argument split into its key ("-fs=" ...) and value; key empty for a
// plain argument. A cut argument keeps its key but has no usable value.
struct StructArgumentPair {
    QString key;
    QString value;
    bool valid = true;
};

// The keys in the order they are tried; the first that an argument begins
// with wins (so "-fd=" is tried before "-fdu=", which it does not match).
QList<StructArgumentPair> SplitCommandArguments(const QList<StructCommandArgument> &clArguments);

struct StructCommandLineOutcome {
    StructCommandLine request; // kind 0 when nothing is to be applied
    QString pendingLoad;       // the source to load; empty: nothing
    // "-start=" was given with a value other than 0, 1 or 2 (or was cut).
    bool startInvalid = false;
};

// The arguments without the program path. Any missing or invalid required
// option gives an empty outcome; an invalid "-start=" is reported and counts
// as 0 in the request.
StructCommandLineOutcome ParseCommandLine(const QList<StructCommandArgument> &clArguments);

// Whether the arguments ask to quit after the split ("-start=2"), whether or
// not they describe a valid request: a script waits for such a run to end.
bool AsksToQuitAfterSplit(const QList<StructCommandArgument> &clArguments);

// Convenience for arguments that all fitted.
QList<StructCommandArgument> CommandArguments(const QStringList &clTexts);
