// Running the built bvf-sample and reading what it wrote, for the tool tests.
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

// The exit code is -1 when the tool did not end normally within two minutes.
inline ToolRun RunTool(const QStringList &clArguments) {
    ToolRun clRun;
    QProcess clProcess;
    clProcess.start(QStringLiteral(BVF_SAMPLE_PATH), clArguments);
    if (!clProcess.waitForFinished(120000) || clProcess.exitStatus() != QProcess::NormalExit)
        return clRun;
    clRun.exitCode = clProcess.exitCode();
    clRun.out = QString::fromLocal8Bit(clProcess.readAllStandardOutput());
    clRun.err = QString::fromLocal8Bit(clProcess.readAllStandardError());
    return clRun;
}

inline QByteArray ReadAll(const QString &clstrPath) {
    QFile clFile(clstrPath);
    return clFile.open(QIODevice::ReadOnly) ? clFile.readAll() : QByteArray();
}

inline qint64 Utc(const char *pText) {
    return QDateTime::fromString(QString::fromLatin1(pText), Qt::ISODate).toSecsSinceEpoch();
}
