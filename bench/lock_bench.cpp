#include "lock_bench.h"

#include "child_process.h"

#include <component_error.h>
#include <components.h>

#include <QFile>
#include <QStringList>

#include <sys/mman.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// Shared by all workers through one mapped file. holders counts the processes that hold the
// lock right now, by their own account: taking the lock is followed by an increment, giving it
// back is preceded by a decrement, so a count above one is two holders at once.
struct SharedCounters
{
    long long holders;
    long long overlaps;
    long long probes;
    long long granted;
    long long errors;
};

long long monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

class MappedCounters
{
public:
    explicit MappedCounters(const QString &path) : m_file(path)
    {
        if (!m_file.open(QIODevice::ReadWrite) || !m_file.resize(sizeof(SharedCounters)))
            throw Norlix::ComponentError(QStringLiteral("cannot open %1").arg(path));
        m_counters = reinterpret_cast<SharedCounters *>(m_file.map(0, sizeof(SharedCounters)));
        if (!m_counters)
            throw Norlix::ComponentError(QStringLiteral("cannot map %1").arg(path));
    }

    [[nodiscard]] SharedCounters *operator->() const { return m_counters; }

private:
    QFile m_file;
    SharedCounters *m_counters = nullptr;
};

std::atomic_ref<long long> counter(long long &value)
{
    return std::atomic_ref<long long>(value);
}

// One probe as the check makes it, with the overlap detector between lock and unlock.
void probeOnce(const QString &name, SharedCounters *shared)
{
    const QString granted = Norlix::SystemGlobal().Instance()->AccountsLock(name,
                                                                            QStringLiteral("LOCK"));
    counter(shared->probes).fetch_add(1);
    if (granted != name)
        return;
    counter(shared->granted).fetch_add(1);
    if (counter(shared->holders).fetch_add(1) != 0)
        counter(shared->overlaps).fetch_add(1);
    // Ask the component too: while we hold the lock no one else may be its owner.
    if (Norlix::SystemGlobal().Instance()->LockOwner(QStringLiteral("LA")) != name)
        counter(shared->overlaps).fetch_add(1);
    counter(shared->holders).fetch_sub(1);
    (void)Norlix::SystemGlobal().Instance()->AccountsLock(name, QStringLiteral("UNLOCK"));
}

} // namespace

int runLockWorker(const QStringList &arguments)
{
    // --lock-worker SHARED NAME START_NS END_NS
    if (arguments.size() != 5)
        return 2;
    MappedCounters shared(arguments[1]);
    const QString name = arguments[2];
    const long long start = arguments[3].toLongLong();
    const long long end = arguments[4].toLongLong();
    const timespec startTime{static_cast<time_t>(start / 1'000'000'000LL),
                             static_cast<long>(start % 1'000'000'000LL)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &startTime, nullptr) == EINTR) {
    }
    while (monotonicNanoseconds() < end) {
        try {
            probeOnce(name, shared.operator->());
        } catch (const Norlix::ComponentError &error) {
            if (counter(shared->errors).fetch_add(1) == 0)
                std::fprintf(stderr, "%s: %s\n", qPrintable(name), error.what());
        }
    }
    return 0;
}

LockFigures contendForLock(const QString &program, int processes, double seconds,
                           const QString &sharedFile, const QString &errorLog)
{
    QFile::remove(sharedFile);
    MappedCounters shared(sharedFile);
    *shared.operator->() = SharedCounters{};

    // Every worker starts at the same moment, once all have been started and loaded.
    const long long start = monotonicNanoseconds() + 500'000'000LL;
    const long long end = start + static_cast<long long>(seconds * 1e9);
    std::vector<pid_t> workers;
    for (int i = 0; i < processes; ++i)
        workers.push_back(startChild(program,
                                     {QStringLiteral("--lock-worker"), sharedFile,
                                      QStringLiteral("BENCH%1").arg(i + 1),
                                      QString::number(start), QString::number(end)},
                                     errorLog));
    LockFigures figures;
    figures.processes = processes;
    figures.seconds = seconds;
    for (pid_t worker : workers)
        figures.failedProcesses += waitChild(worker) != 0;

    figures.probes = shared->probes;
    figures.granted = shared->granted;
    figures.overlaps = shared->overlaps;
    figures.errors = shared->errors;
    QFile log(errorLog);
    if (figures.errors && log.open(QIODevice::ReadOnly))
        figures.firstError = QString::fromUtf8(log.readLine()).trimmed();
    return figures;
}
