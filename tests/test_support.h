#pragma once

// Small pieces that several test programs share.

#include <QDebug>
#include <QList>
#include <QProcess>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QVariant>

// The statuses that Main::ended was emitted with, in order.
inline QList<int> statuses(const QSignalSpy &ended)
{
    QList<int> result;
    for (const QList<QVariant> &arguments : ended)
        result << arguments.first().toInt();
    return result;
}

// What a failed norlix command gives back, so that a comparison with it shows the failure.
inline const QString norlixFailed = QStringLiteral("<norlix failed>");

// Runs the norlix command at command with the environment's installation and gives back what it
// printed, trimmed.
inline QString runNorlix(const QString &command, const QStringList &arguments)
{
    QProcess process;
    process.start(command, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        qWarning() << "norlix" << arguments << "failed:" << process.readAllStandardError();
        return norlixFailed;
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}
