#pragma once

#include "syscall_tally.h"

#include <QString>
#include <QStringList>

// The whole check run in a child process under strace: the system calls it makes, and its time
// when every call that a network folder makes a round trip of takes 0.2 ms longer.
struct TracedCheckFigures
{
    SyscallTally calls; // from a child traced in full, each check between marks
    double tracedMilliseconds = 0; // median; strace stops at the round-trip calls only
    double delayedMilliseconds = 0; // the same with the delay added to each of them
    QString fault; // why there are no figures, or empty
};

inline constexpr double injectedDelayMilliseconds = 0.2;

// Runs program as "program --check-worker ..." three times, runs checks each, against the
// installation in the environment; the trace and the children's output go into folder.
[[nodiscard]] TracedCheckFigures traceChecks(
    const QString &program, int runs, const QString &folder);

// The body of such a child: "--check-worker RUNS [--marked]". Needs the application object;
// prints "median MS" or "fault TEXT".
int runCheckWorker(const QStringList &arguments);
