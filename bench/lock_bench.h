#pragma once

#include <QString>

// The accounts lock of one company under contention: several processes, each through its own
// CompanyDatabase component, request the lock and give it back as fast as they can.
struct LockFigures
{
    int processes = 0;
    double seconds = 0;
    long long probes = 0; // LOCK requests
    long long granted = 0; // of which gave back the requester's name
    long long overlaps = 0; // times a process held the lock while another held it too
    long long errors = 0; // requests that raised ComponentError
    QString firstError; // the description of the first of them
    int failedProcesses = 0;
};

// Runs processes copies of program as "program --lock-worker ..." against the current company
// of the installation in the environment, for seconds seconds. Their output goes to errorLog,
// which should be a file of their own.
[[nodiscard]] LockFigures contendForLock(const QString &program, int processes, double seconds,
                                         const QString &sharedFile, const QString &errorLog);

// The body of one such process; gives its exit status.
int runLockWorker(const QStringList &arguments);
