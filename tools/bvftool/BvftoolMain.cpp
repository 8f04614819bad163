// bvftool: describes, dumps, checks and merges recordings from the command
// line, through the same readers, writer and merge workers as the program.
#include "Commands.h"
#include "ToolCommon.h"

#include <QCoreApplication>

namespace {

const char kUsage[] =
    "Usage: bvftool COMMAND [OPTIONS] FILE...\n"
    "\n"
    "Commands:\n"
    "  info FILE...                  format, header, records per kind, times, gaps\n"
    "                                (--json, --gap SECONDS, --online)\n"
    "  dump FILE                     one line per record (--limit N, --kinds LIST,\n"
    "                                --online)\n"
    "  verify FILE...                damaged stretches and refused records with their\n"
    "                                offsets; exit 0 sound, 1 damaged, 2 not readable\n"
    "                                (--online)\n"
    "  merge -o OUT FILE...          merge the parts of one recording into OUT\n"
    "  merge -d DIR FILE...          one output per recording in DIR\n"
    "                                (--overwrite, --skip-unreadable)\n"
    "  timeline -o OUT.svg FILE...   the files on a time axis as SVG, gaps and overlaps\n"
    "                                marked (--gap SECONDS, --width PX)\n"
    "\n"
    "Recordings: .bvf containers (versions 1 to 3), .tmw and .lan TMW recordings.\n"
    "File names are taken as they are; --online reads files still being recorded.\n"
    "\"bvftool COMMAND --help\" describes a command.\n";

} // namespace

int main(int argc, char **argv) {
    QCoreApplication clApp(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bvftool"));
    QStringList clArguments = QCoreApplication::arguments();
    clArguments.removeFirst();

    if (clArguments.isEmpty()) {
        PrintErrorText(QString::fromLatin1(kUsage));
        return kExitFailed;
    }
    const QString clstrCommand = clArguments.first();
    if (clstrCommand == QStringLiteral("--help") || clstrCommand == QStringLiteral("-h") ||
        clstrCommand == QStringLiteral("help")) {
        PrintOut(QString::fromLatin1(kUsage));
        return kExitOk;
    }
    if (clstrCommand == QStringLiteral("info"))
        return RunInfo(clArguments);
    if (clstrCommand == QStringLiteral("dump"))
        return RunDump(clArguments);
    if (clstrCommand == QStringLiteral("verify"))
        return RunVerify(clArguments);
    if (clstrCommand == QStringLiteral("merge"))
        return RunMerge(clArguments);
    if (clstrCommand == QStringLiteral("timeline"))
        return RunTimeline(clArguments);
    PrintErrorText(QStringLiteral("bvftool: unknown command \"%1\"\n\n").arg(clstrCommand) +
                   QString::fromLatin1(kUsage));
    return kExitFailed;
}
