#include "syscall_tally.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <unistd.h>

#include <algorithm>
#include <vector>

namespace {

// Paths that never exist: the access() call on them is the mark, easy to find in a trace and
// cheap to make.
constexpr auto startMark = "/prismor-bench-mark/operation-start";
constexpr auto endMark = "/prismor-bench-mark/operation-end";

const QSet<QString> opens { "open", "openat", "openat2", "creat" };
const QSet<QString> statFamily { "stat", "lstat", "fstat", "newfstatat", "statx", "access",
    "faccessat", "faccessat2" };
const QSet<QString> syncs { "fsync", "fdatasync", "sync_file_range", "syncfs" };

// One call as strace -f prints it: "PID name(arguments) = result". A call that another thread
// interrupted is printed twice, "<unfinished ...>" and later "<... name resumed>"; only the
// first counts. Signals ("---") and exits ("+++") are no calls.
struct Call
{
    QString name;
    QString arguments;
};

bool parseCall(const QString &line, Call &call)
{
    int start = 0;
    while (start < line.size() && (line[start].isDigit() || line[start] == u' '))
        ++start;
    const int open = line.indexOf(u'(', start);
    if (open < 0 || line.mid(start, 1) == u"<" || line.mid(start, 3) == u"---"
        || line.mid(start, 3) == u"+++")
        return false;
    call.name = line.mid(start, open - start);
    call.arguments = line.mid(open + 1);
    return !call.name.isEmpty();
}

// fcntl commands on record locks: F_SETLK, F_SETLKW, F_GETLK and their OFD and 64 variants.
bool isLock(const Call &call)
{
    if (call.name == u"flock")
        return true;
    if (call.name != u"fcntl")
        return false;
    const QString command = call.arguments.section(u',', 1, 1).trimmed();
    return command.endsWith(u"LK") || command.endsWith(u"LKW") || command.endsWith(u"LK64")
        || command.endsWith(u"LKW64");
}

class Tallier
{
public:
    void add(const QString &line)
    {
        Call call;
        if (!parseCall(line, call))
            return;
        if (call.name == u"access" && call.arguments.contains(QLatin1String(startMark))) {
            m_inOperation = true;
            m_current = 0;
            return;
        }
        if (call.name == u"access" && call.arguments.contains(QLatin1String(endMark))) {
            if (m_inOperation)
                m_perOperation.push_back(m_current);
            m_inOperation = false;
            return;
        }
        if (m_inOperation)
            count(call);
    }

    [[nodiscard]] SyscallTally result() const
    {
        SyscallTally tally;
        tally.operations = static_cast<int>(m_perOperation.size());
        if (m_perOperation.empty())
            return tally;
        const double n = tally.operations;
        tally.opens = m_opens / n;
        tally.statFamily = m_stats / n;
        tally.locks = m_locks / n;
        tally.syncs = m_syncs / n;
        tally.all = m_all / n;
        const auto [fewest, most]
            = std::minmax_element(m_perOperation.begin(), m_perOperation.end());
        tally.fewestInOne = *fewest;
        tally.mostInOne = *most;
        for (auto it = m_byName.begin(); it != m_byName.end(); ++it)
            tally.mostFrequent.append({ it.key(), it.value() / n });
        std::sort(tally.mostFrequent.begin(), tally.mostFrequent.end(),
            [](const auto &a, const auto &b) { return a.second > b.second; });
        return tally;
    }

private:
    void count(const Call &call)
    {
        ++m_current;
        ++m_all;
        ++m_byName[call.name];
        m_opens += opens.contains(call.name);
        m_stats += statFamily.contains(call.name);
        m_locks += isLock(call);
        m_syncs += syncs.contains(call.name);
    }

    bool m_inOperation = false;
    int m_current = 0;
    std::vector<int> m_perOperation;
    long long m_opens = 0, m_stats = 0, m_locks = 0, m_syncs = 0, m_all = 0;
    QHash<QString, long long> m_byName;
};

} // namespace

void markOperationStart()
{
    (void)access(startMark, F_OK);
}

void markOperationEnd()
{
    (void)access(endMark, F_OK);
}

SyscallTally tallyTrace(const QString &tracePath)
{
    QFile trace(tracePath);
    Tallier tallier;
    if (!trace.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    while (!trace.atEnd())
        tallier.add(QString::fromUtf8(trace.readLine()));
    return tallier.result();
}

QString fileRoundTripCalls()
{
    QStringList names;
    for (const QSet<QString> *kind : { &opens, &statFamily, &syncs })
        names += kind->values();
    names += { QStringLiteral("fcntl"), QStringLiteral("flock") };
    names.sort();
    // A leading ? lets strace pass over a name this architecture does not have.
    for (QString &name : names)
        name.prepend(u'?');
    return names.join(u',');
}
