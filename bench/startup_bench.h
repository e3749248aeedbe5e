#pragma once

#include "statistics.h"

#include <QSize>
#include <QString>

// Start-up and peak memory of one window program, from many runs.
struct StartupFigures
{
    Summary milliseconds; // process start to window shown and idle
    Summary peakMebibytes; // maximum resident set size of that start-up
    QSize windowSize; // of the window the probe saw
    int failures = 0;
};

struct StartupPrograms
{
    QString prismor;
    QString bare;
    QString textWindow; // the bare window with one text label
};

struct StartupComparison
{
    StartupFigures prismor;
    StartupFigures bare;
    StartupFigures textWindow;
};

// Starts the probe programs in turn, runs times each after a few runs that warm the caches and
// are not counted. Their standard error goes to errorLog.
[[nodiscard]] StartupComparison compareStartups(const StartupPrograms &programs, int runs,
                                                const QString &errorLog);
