#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The system calls that one process made between marks it set itself, read from the output of
// strace -f. Each measured operation is framed by markOperationStart() and markOperationEnd();
// every call strace saw between the two, in any thread, counts for that operation.
void markOperationStart();
void markOperationEnd();

// Calls per operation, averaged over the operations framed in the trace.
struct SyscallTally
{
    int operations = 0;
    double opens = 0; // open, openat, openat2, creat
    double statFamily = 0; // stat, lstat, fstat, newfstatat, statx, access, faccessat(2)
    double locks = 0; // fcntl taking, testing or giving back a record lock; flock
    double syncs = 0; // fsync, fdatasync, sync_file_range, syncfs
    double all = 0;
    int fewestInOne = 0; // all the calls of the operation that made the fewest
    int mostInOne = 0;
    QList<QPair<QString, double>> mostFrequent; // by name, most frequent first
};

// Reads the trace that strace -f -o wrote; an empty tally when no operation was framed.
[[nodiscard]] SyscallTally tallyTrace(const QString &tracePath);

// The calls that a file on a network folder makes a round trip of, as strace names them: every
// open, stat-family, fcntl, flock and sync call.
[[nodiscard]] QString fileRoundTripCalls();
