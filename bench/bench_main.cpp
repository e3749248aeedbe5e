// prismor_bench: Prismor's speed and memory against the floor that Qt sets, in one run.
//
//   prismor_bench [--runs N] [--check-runs N] [--lock-processes N] [--lock-seconds S]
//                 [--traced-checks N] [--only startup|check|lock]
//
// Start-up and peak memory are measured on the platform of the environment (QT_QPA_PLATFORM,
// DISPLAY); scripts/bench.sh runs it on a virtual X display. The check is timed in this process
// on the offscreen platform, and again in child processes under strace, which count the system
// calls of each check and add a delay to those that a network folder makes a round trip of.
// Everything works on a demo installation in a temporary folder.

#include "check_bench.h"
#include "child_process.h"
#include "lock_bench.h"
#include "startup_bench.h"
#include "traced_checks.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>

namespace {

constexpr double startupTarget = 1.25;
constexpr double memoryTarget = 1.2;
constexpr double checkTargetMilliseconds = 5;
// At most, per check.
constexpr double syncsTarget = 12;
constexpr double callsTarget = 400;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

struct Settings
{
    int startupRuns = 40;
    int checkRuns = 1000;
    int tracedChecks = 100;
    int lockProcesses = 8;
    double lockSeconds = 3;
    QString only; // one part to run, or empty for all

    [[nodiscard]] bool runs(const char *part) const
    {
        return only.isEmpty() || only == QLatin1String(part);
    }
};

Settings parseSettings(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("start-ups of each"),
        QStringLiteral("N"), QStringLiteral("40"));
    const QCommandLineOption checkRuns(QStringLiteral("check-runs"), QStringLiteral("checks"),
        QStringLiteral("N"), QStringLiteral("1000"));
    const QCommandLineOption traced(QStringLiteral("traced-checks"),
        QStringLiteral("checks under strace, each run (0: none)"), QStringLiteral("N"),
        QStringLiteral("100"));
    const QCommandLineOption processes(QStringLiteral("lock-processes"),
        QStringLiteral("processes"), QStringLiteral("N"), QStringLiteral("8"));
    const QCommandLineOption seconds(QStringLiteral("lock-seconds"), QStringLiteral("seconds"),
        QStringLiteral("S"), QStringLiteral("3"));
    const QCommandLineOption only(
        QStringLiteral("only"), QStringLiteral("startup, check or lock"), QStringLiteral("PART"));
    parser.addOptions({ runs, checkRuns, traced, processes, seconds, only });
    parser.addHelpOption();
    parser.process(arguments);
    return { parser.value(runs).toInt(), parser.value(checkRuns).toInt(),
        parser.value(traced).toInt(), parser.value(processes).toInt(),
        parser.value(seconds).toDouble(), parser.value(only) };
}

// Files under /proc have no size, so they are read whole rather than line by line.
QString procFile(const char *path)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString cpuModel()
{
    const QStringList lines = procFile("/proc/cpuinfo").split(QLatin1Char('\n'));
    for (const QString &line : lines)
        if (line.startsWith(QStringLiteral("model name")))
            return line.section(QLatin1Char(':'), 1).trimmed();
    return QStringLiteral("unknown CPU");
}

// Other work on the machine slows every figure; the load average says how much there was.
void printLoad(const char *when)
{
    out() << "Load average " << when << ": "
          << procFile("/proc/loadavg").section(QLatin1Char(' '), 0, 2) << "\n";
}

void printMachine()
{
    utsname system {};
    uname(&system);
    out() << "Machine: " << cpuModel() << ", " << sysconf(_SC_NPROCESSORS_ONLN)
          << " cores online, Linux " << system.release << ", Qt " << qVersion() << "\n";
}

// The demo installation, this user's workstation name and company A current, all inside dir.
void setUpInstallation(const QTemporaryDir &dir)
{
    qputenv("NORLIX_HOME", dir.filePath(QStringLiteral("norlix")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    const QString log = dir.filePath(QStringLiteral("norlix.log"));
    const QStringList commands[] = { { QStringLiteral("demo") },
        { QStringLiteral("workstation"), QStringLiteral("BENCHPC") },
        { QStringLiteral("current"), QStringLiteral("A") } };
    for (const QStringList &command : commands) {
        if (runChild(QStringLiteral(NORLIX_EXECUTABLE), command, log).exitStatus != 0) {
            out() << "norlix " << command.join(u' ') << " failed; see " << log << "\n";
            std::exit(1);
        }
    }
}

QString verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("MISSED");
}

QString number(double value, int decimals = 1);

QString atMost(double ratio, double target)
{
    return QStringLiteral("<= %1 %2").arg(target).arg(verdict(ratio <= target));
}

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

// One line of the side-by-side table; empty columns stay blank.
void printRow(const QString &label, const QString &prismor, const QString &bare,
    const QString &ratio = {}, const QString &target = {})
{
    out() << QStringLiteral("%1%2%3%4  %5\n")
                 .arg(label, -32)
                 .arg(prismor, 18)
                 .arg(bare, 18)
                 .arg(ratio, 7)
                 .arg(target);
}

QString withUnit(double value, const char *unit)
{
    return number(value) + QLatin1Char(' ') + QLatin1String(unit);
}

QString range(const Summary &summary)
{
    return number(summary.minimum) + QStringLiteral(" / ") + number(summary.maximum);
}

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

QString platformText()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("default"));
    if (platform == u"xcb" && qEnvironmentVariableIsSet("DISPLAY"))
        return platform + QStringLiteral(" on X display ") + qEnvironmentVariable("DISPLAY");
    return platform;
}

void printStartup(const StartupComparison &startup, int runs)
{
    out() << "\nStart-up and peak memory on platform " << platformText() << ", " << runs
          << " runs each, taking turns\n";
    const auto &p = startup.prismor;
    const auto &b = startup.bare;
    const double timeRatio = p.milliseconds.median / b.milliseconds.median;
    const double memoryRatio = p.peakMebibytes.median / b.peakMebibytes.median;
    printRow({}, QStringLiteral("Prismor"), QStringLiteral("bare Qt window"),
        QStringLiteral("ratio"), QStringLiteral("target"));
    printRow(QStringLiteral("start-up to shown+idle, median"),
        withUnit(p.milliseconds.median, "ms"), withUnit(b.milliseconds.median, "ms"),
        number(timeRatio, 2), atMost(timeRatio, startupTarget));
    printRow(
        QStringLiteral("  fastest / slowest (ms)"), range(p.milliseconds), range(b.milliseconds));
    printRow(QStringLiteral("peak memory (max RSS), median"),
        withUnit(p.peakMebibytes.median, "MiB"), withUnit(b.peakMebibytes.median, "MiB"),
        number(memoryRatio, 2), atMost(memoryRatio, memoryTarget));
    printRow(
        QStringLiteral("  lowest / highest (MiB)"), range(p.peakMebibytes), range(b.peakMebibytes));
    printRow(QStringLiteral("  window size (px)"), sizeText(p.windowSize), sizeText(b.windowSize));
    const auto &t = startup.textWindow;
    printRow(QStringLiteral("for reference:"), QString(), QStringLiteral("with a text label"));
    printRow(QStringLiteral("  start-up, median"), QString(), withUnit(t.milliseconds.median, "ms"),
        number(p.milliseconds.median / t.milliseconds.median, 2));
    printRow(QStringLiteral("  peak memory, median"), QString(),
        withUnit(t.peakMebibytes.median, "MiB"),
        number(p.peakMebibytes.median / t.peakMebibytes.median, 2));
    if (p.failures || b.failures || t.failures)
        out() << "  failed starts: Prismor " << p.failures << ", bare " << b.failures
              << ", with a label " << t.failures << "\n";
}

void printCheck(const CheckFigures &check)
{
    out() << "\nWhole check of company A (cmdStart_Click in this process, offscreen), "
          << check.handlerMilliseconds.count << " runs\n";
    if (!check.fault.isEmpty()) {
        out() << "  NOT MEASURED: " << check.fault << "\n";
        return;
    }
    const Summary &h = check.handlerMilliseconds;
    const Summary &r = check.withRepaintMilliseconds;
    out() << "  the click:             median " << number(h.median, 3) << " ms, 90th percentile "
          << number(h.percentile90, 3) << " ms, worst " << number(h.maximum, 3)
          << " ms   target median < " << checkTargetMilliseconds << " ms "
          << verdict(h.median < checkTargetMilliseconds) << "\n";
    out() << "  the click and repaint: median " << number(r.median, 3) << " ms, 90th percentile "
          << number(r.percentile90, 3) << " ms, worst " << number(r.maximum, 3) << " ms\n";
    out() << "  last report: "
          << QString(check.report).replace(QStringLiteral("\r\n"), QStringLiteral(" | ")) << "\n";
}

QString perCheck(double calls, double target)
{
    return number(calls)
        + QStringLiteral(" (at most %1 %2)").arg(target).arg(verdict(calls <= target));
}

void printTracedChecks(const TracedCheckFigures &traced, int runs)
{
    out() << "  under strace, in a child process: " << runs << " checks in each of 3 runs\n";
    if (!traced.fault.isEmpty()) {
        out() << "  NOT MEASURED: " << traced.fault << "\n";
        return;
    }
    const SyscallTally &calls = traced.calls;
    out() << "  system calls per check: opens " << number(calls.opens)
          << ", stat family " << number(calls.statFamily) << ",\n"
          << "    locks " << number(calls.locks) << ", syncs " << perCheck(calls.syncs, syncsTarget)
          << ", all " << perCheck(calls.all, callsTarget) << "; fewest / most in one check "
          << calls.fewestInOne << " / " << calls.mostInOne << "\n";
    QStringList frequent;
    for (const auto &[name, count] : calls.mostFrequent.mid(0, 8))
        frequent.append(name + QLatin1Char(' ') + number(count));
    out() << "    most frequent: " << frequent.join(QStringLiteral(", ")) << "\n";
    out() << "  the click under strace, which stops at each open, stat-family, fcntl, flock and "
             "sync call: median "
          << number(traced.tracedMilliseconds, 3) << " ms\n"
          << "    with " << injectedDelayMilliseconds
          << " ms added to each of those calls, as on a network folder: median "
          << number(traced.delayedMilliseconds, 3) << " ms\n";
}

void printLock(const LockFigures &lock)
{
    out() << "\nAccounts lock of company A under contention: " << lock.processes
          << " processes for " << lock.seconds << " s\n";
    out() << "  probes (LOCK requests): " << lock.probes << ", "
          << number(lock.probes / lock.seconds, 0) << " per second; granted " << lock.granted
          << ", " << number(lock.granted / lock.seconds, 0) << " per second\n";
    out() << "  two holders at once: " << lock.overlaps << "   target 0 "
          << verdict(lock.overlaps == 0) << "\n";
    if (lock.errors || lock.failedProcesses)
        out() << "  component errors: " << lock.errors
              << ", failed processes: " << lock.failedProcesses << "\n";
    if (!lock.firstError.isEmpty())
        out() << "  the first error: " << lock.firstError << "\n";
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (arguments.value(1) == u"--lock-worker")
        return runLockWorker(arguments.mid(1));
    if (arguments.value(1) == u"--check-worker") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication application(argc, argv);
        return runCheckWorker(arguments.mid(1));
    }

    const Settings settings = parseSettings(arguments);
    QTemporaryDir dir;
    setUpInstallation(dir);
    const QString log = dir.filePath(QStringLiteral("children.log"));
    printMachine();
    printLoad("at start");

    StartupComparison startup;
    if (settings.runs("startup")) {
        const StartupPrograms programs { QStringLiteral(PRISMOR_STARTUP_PROGRAM),
            QStringLiteral(BARE_WINDOW_PROGRAM), QStringLiteral(TEXT_WINDOW_PROGRAM) };
        startup = compareStartups(programs, settings.startupRuns, log);
        printStartup(startup, settings.startupRuns);
    }
    if (settings.runs("check")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication application(argc, argv);
        printCheck(timeChecks(QStringLiteral("A"), { settings.checkRuns }));
        if (settings.tracedChecks > 0)
            printTracedChecks(traceChecks(QCoreApplication::applicationFilePath(),
                                  settings.tracedChecks, dir.path()),
                settings.tracedChecks);
    }
    if (settings.runs("lock")) {
        printLock(contendForLock(QString::fromLocal8Bit(argv[0]), settings.lockProcesses,
            settings.lockSeconds, dir.filePath(QStringLiteral("counters")),
            dir.filePath(QStringLiteral("lock-workers.log"))));
    }
    printLoad("at end");
    out().flush();
    if (startup.prismor.failures || startup.bare.failures || startup.textWindow.failures) {
        QFile errors(log);
        if (errors.open(QIODevice::ReadOnly))
            out() << "\nStandard error of the children:\n" << errors.readAll();
    }
    return 0;
}
