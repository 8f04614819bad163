// Running the built tools and reading what they wrote, for the tool tests.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a built program in clWorkingDirectory (empty: this process's). The
// exit code is -1 when it did not end normally within lTimeoutMs of its start.
inline ToolRun RunProgram(const QString &clstrProgram, const QStringList &clArguments,
                          const QString &clstrWorkingDirectory = QString(),
                          int lTimeoutMs = 120000) {
    ToolRun clRun;
    QProcess clProcess;
    if (!clstrWorkingDirectory.isEmpty())
        clProcess.setWorkingDirectory(clstrWorkingDirectory);
    clProcess.start(clstrProgram, clArguments);
    if (!clProcess.waitForStarted(120000) || !clProcess.waitForFinished(lTimeoutMs) ||
        clProcess.exitStatus() != QProcess::NormalExit) {
        clProcess.kill();
        clProcess.waitForFinished();
        return clRun;
    }
    clRun.exitCode = clProcess.exitCode();
    clRun.out = QString::fromLocal8Bit(clProcess.readAllStandardOutput());
    clRun.err = QString::fromLocal8Bit(clProcess.readAllStandardError());
    return clRun;
}

#ifdef BVF_SAMPLE_PATH
// bvf-sample.
inline ToolRun RunTool(const QStringList &clArguments) {
    return RunProgram(QStringLiteral(BVF_SAMPLE_PATH), clArguments);
}
#endif

inline QByteArray ReadAll(const QString &clstrPath) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::ReadOnly) ? clFile.readAll() : QByteArray();
}

inline qint64 Utc(const char *pText) {
    return QDateTime::fromString(QString::fromLatin1(pText), Qt::ISODate).toSecsSinceEpoch();
}
