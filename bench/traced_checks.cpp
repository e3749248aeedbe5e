#include "traced_checks.h"

#include "check_bench.h"
#include "child_process.h"

#include <QDir>
#include <QStandardPaths>
#include <QTextStream>

namespace {

// Few: tracing slows every call, and the first checks are the same as the others.
constexpr int tracedWarmUpRuns = 5;
constexpr int traceTimeoutSeconds = 600;

struct WorkerRun
{
    double median = 0;
    QString fault;
};

WorkerRun runUnderStrace(const QString &strace, const QStringList &straceOptions,
    const QString &program, const QStringList &workerArguments, const QString &errorLog)
{
    const QStringList arguments = straceOptions + QStringList { QStringLiteral("--"), program }
        + QStringList { QStringLiteral("--check-worker") } + workerArguments;
    const ChildResult child = runChild(strace, arguments, errorLog, traceTimeoutSeconds);
    const QString output = QString::fromUtf8(child.output).trimmed();
    if (child.exitStatus != 0)
        return { 0,
            QStringLiteral("the traced check ended with status %1; see %2")
                .arg(child.exitStatus)
                .arg(errorLog) };
    if (output.startsWith(QStringLiteral("median ")))
        return { output.section(u' ', 1).toDouble(), {} };
    return { 0, output.section(u' ', 1) };
}

} // namespace

TracedCheckFigures traceChecks(const QString &program, int runs, const QString &folder)
{
    TracedCheckFigures figures;
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty()) {
        figures.fault = QStringLiteral("strace was not found; scripts/install-dependencies.sh "
                                       "bench installs it");
        return figures;
    }
    const QDir dir(folder);
    const QString errorLog = dir.filePath(QStringLiteral("traced-checks.log"));
    const QString trace = dir.filePath(QStringLiteral("checks.strace"));
    const QStringList worker { QStringLiteral("A"), QString::number(runs) };

    // Every call of every thread, to count them; the times of this run mean nothing.
    const QStringList counting { QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"),
        trace };
    const WorkerRun counted = runUnderStrace(
        strace, counting, program, worker + QStringList { QStringLiteral("--marked") }, errorLog);
    figures.calls = tallyTrace(trace);
    if (!counted.fault.isEmpty() || figures.calls.operations != runs) {
        figures.fault = counted.fault.isEmpty()
            ? QStringLiteral("%1 of %2 checks found in the trace %3")
                  .arg(figures.calls.operations)
                  .arg(runs)
                  .arg(trace)
            : counted.fault;
        return figures;
    }

    // Stopped by strace only at the calls that get the delay, so that the two timed runs differ
    // by the delay alone.
    const QString calls = fileRoundTripCalls();
    const QStringList timing { QStringLiteral("-f"), QStringLiteral("-qq"),
        QStringLiteral("--seccomp-bpf"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
        QStringLiteral("-e"), QStringLiteral("trace=") + calls };
    const QString delay = QStringLiteral("inject=%1:delay_enter=%2us")
                              .arg(calls)
                              .arg(injectedDelayMilliseconds * 1000);
    const WorkerRun traced = runUnderStrace(strace, timing, program, worker, errorLog);
    const WorkerRun delayed = runUnderStrace(
        strace, timing + QStringList { QStringLiteral("-e"), delay }, program, worker, errorLog);
    figures.tracedMilliseconds = traced.median;
    figures.delayedMilliseconds = delayed.median;
    figures.fault = traced.fault.isEmpty() ? delayed.fault : traced.fault;
    return figures;
}

int runCheckWorker(const QStringList &arguments)
{
    // --check-worker LETTER RUNS [--marked]
    if (arguments.size() < 3)
        return 2;
    const CheckRuns runs { arguments[2].toInt(), tracedWarmUpRuns,
        arguments.value(3) == u"--marked" };
    const CheckFigures figures = timeChecks(arguments[1], runs);
    QTextStream out(stdout);
    if (figures.fault.isEmpty())
        out << "median " << figures.handlerMilliseconds.median << "\n";
    else
        out << "fault " << figures.fault << "\n";
    return 0;
}
