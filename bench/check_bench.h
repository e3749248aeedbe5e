#pragma once

#include "statistics.h"

#include <QString>

// One whole check of a company as Start runs it, timed inside the process.
struct CheckFigures
{
    Summary handlerMilliseconds; // cmdStart_Click from call to return
    Summary withRepaintMilliseconds; // the same and the window's repaint that follows
    QString report; // the report of the last check, to show that the check really ran
    QString fault; // why the figures cannot be trusted, or empty
};

struct CheckRuns
{
    int runs = 1000; // timed
    int warmUpRuns = 20; // before them, not timed
    bool marked = false; // each timed click framed by markOperationStart() and markOperationEnd()
};

// Opens the window Main as Prismor does (Form_Load included) on the platform of the
// environment, types letter into txtLetter and runs the check as many times as asked.
[[nodiscard]] CheckFigures timeChecks(const QString &letter, const CheckRuns &runs);
