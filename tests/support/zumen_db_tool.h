#pragma once

#include <QProcess>
#include <QStringList>

// Runs the command line tool (its path comes from the build, as ZUMEN_DB_TOOL) to its end.
struct ToolRun {
    int exitCode = -1;
    QString out, err;
};

inline ToolRun zumenDb(const QStringList &args, const QString &workingDir = {})
{
    QProcess p;
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start(QStringLiteral(ZUMEN_DB_TOOL), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}
