#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// Child processes of the benchmark, started with posix_spawn so that nothing of the parent's
// Qt state is copied, and reaped with wait4 for their resource usage.
struct ChildResult
{
    QByteArray output; // what the child wrote to standard output
    int exitStatus = -1; // -1: it did not exit normally (signal or timeout)
    long peakKilobytes = 0; // its maximum resident set size
};

// Runs program with arguments in the current environment, standard error to errorLog, and
// waits for it to end; after timeoutSeconds it is killed and counts as failed.
[[nodiscard]] ChildResult runChild(const QString &program, const QStringList &arguments,
                                   const QString &errorLog, int timeoutSeconds = 60);

// Starts program without waiting; its standard output and error go to errorLog.
[[nodiscard]] pid_t startChild(const QString &program, const QStringList &arguments,
                               const QString &errorLog);
// Waits for a child started by startChild; gives its exit status, -1 if it did not exit.
[[nodiscard]] int waitChild(pid_t child);
