// Running the built tools and reading what they wrote, for the tool tests.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

struct ToolRun {
    int exitCode = -1; // -1: did not end normally in time
    QString out;
    QString err;
};

inline ToolRun RunProgram(const QString &clstrProgram, const QStringList &clArguments,
                          const QString &clstrWorkingDirectory = QString()) {
    ToolRun clRun;
    QProcess clProcess;
    clProcess.setWorkingDirectory(clstrWorkingDirectory);
    clProcess.start(clstrProgram, clArguments);
    // A run that does not end in time is killed as clProcess goes.
    if (!clProcess.waitForFinished(120000) || clProcess.exitStatus() != QProcess::NormalExit)
        return clRun;
    return {clProcess.exitCode(), QString::fromLocal8Bit(clProcess.readAllStandardOutput()),
            QString::fromLocal8Bit(clProcess.readAllStandardError())};
}

inline ToolRun RunTool(const QStringList &clArguments) {
    return RunProgram(QStringLiteral(BVF_SAMPLE_PATH), clArguments);
}

inline ToolRun Bvftool(const QStringList &clArguments, const QString &clstrDirectory = QString()) {
    return RunProgram(QStringLiteral(BVFTOOL_PATH), clArguments, clstrDirectory);
}

inline QByteArray ReadAll(const QString &clstrPath) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::ReadOnly) ? clFile.readAll() : QByteArray();
}

// Arguments split at blanks, a "T" in a date standing for the blank and ''
// for an empty value.
inline QStringList Options(const QString &clstrOptions) {
    return clstrOptions.split(u' ', Qt::SkipEmptyParts)
        .replaceInStrings(QRegularExpression("^(\\d{4}-\\d\\d-\\d\\d)T"), "\\1 ")
        .replaceInStrings(QRegularExpression("^''$"), QString());
}
