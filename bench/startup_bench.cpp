#include "startup_bench.h"

#include "child_process.h"

#include <QList>

#include <ctime>
#include <vector>

namespace {

constexpr int warmUpRuns = 3;

long long monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

struct Samples
{
    std::vector<double> milliseconds;
    std::vector<double> peakMebibytes;
    QSize windowSize;
    int failures = 0;
};

// One start: the probe in the child prints "ready <ns> <w>x<h>" once its window is shown and
// idle, on the same clock as started here.
void measureOnce(const QString &program, const QString &errorLog, Samples *samples)
{
    const long long started = monotonicNanoseconds();
    const ChildResult child = runChild(program, {}, errorLog);
    const QList<QByteArray> fields = child.output.trimmed().split(' ');
    if (child.exitStatus != 0 || fields.size() != 3 || fields[0] != "ready") {
        ++samples->failures;
        return;
    }
    const long long ready = fields[1].toLongLong();
    const QList<QByteArray> size = fields[2].split('x');
    samples->milliseconds.push_back((ready - started) / 1e6);
    samples->peakMebibytes.push_back(child.peakKilobytes / 1024.0);
    samples->windowSize = QSize(size.value(0).toInt(), size.value(1).toInt());
}

StartupFigures figures(const Samples &samples)
{
    return {summarise(samples.milliseconds), summarise(samples.peakMebibytes),
            samples.windowSize, samples.failures};
}

} // namespace

StartupComparison compareStartups(const StartupPrograms &programs, int runs,
                                  const QString &errorLog)
{
    Samples unused;
    for (int run = 0; run < warmUpRuns; ++run) {
        measureOnce(programs.prismor, errorLog, &unused);
        measureOnce(programs.bare, errorLog, &unused);
        measureOnce(programs.textWindow, errorLog, &unused);
    }
    // Taking turns keeps a slow phase of the machine from landing on one side only.
    Samples prismor;
    Samples bare;
    Samples textWindow;
    for (int run = 0; run < runs; ++run) {
        measureOnce(programs.prismor, errorLog, &prismor);
        measureOnce(programs.bare, errorLog, &bare);
        measureOnce(programs.textWindow, errorLog, &textWindow);
    }
    return {figures(prismor), figures(bare), figures(textWindow)};
}
