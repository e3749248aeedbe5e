// One workstation of the lock test: takes the accounts lock of the current company ROUNDS
// times through the CompanyDatabase component, and while it holds it creates a marker file that
// no one else may have created and logs its entry and exit.
//
// usage: norlix_lock_worker WORKSTATION ROUNDS MARKER LOG START
// It begins once the file START exists, so that all workers begin together.
// Exit status: 0 done, 3 someone else held the lock at the same time, 4 a component error.

#include <component_error.h>
#include <standin/standin_components.h>

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTextStream>
#include <QThread>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

constexpr int overlapStatus = 3;
constexpr int errorStatus = 4;

struct Counts
{
    long long refusals = 0;
    long long busy = 0;
};

void appendLine(QFile &log, const QString &line)
{
    // One unbuffered write per line on a file opened for appending: lines of several processes
    // never mix.
    log.write((line + u'\n').toUtf8());
}

void pause(int fromMicroseconds, int toMicroseconds)
{
    QThread::usleep(QRandomGenerator::global()->bounded(fromMicroseconds, toMicroseconds));
}

// A request that met a database busy beyond the component's timeout (a loaded machine slow to
// flush its disk) is asked again when it says it changed nothing; any other error ends the
// worker.
QString persist(const std::function<QString()> &request, Counts &counts)
{
    for (;;) {
        try {
            return request();
        } catch (const Norlix::ComponentError &error) {
            if (!error.changedNothing() || !error.description().contains(QStringLiteral("busy")))
                throw;
            ++counts.busy;
        }
    }
}

int work(const QString &name, int rounds, const QString &markerPath, QFile &log)
{
    auto component = Norlix::makeStandInSystemGlobal();
    const auto request = [&](const char *action) {
        return component->Instance()->AccountsLock(name, QString::fromLatin1(action));
    };
    Counts counts;
    for (int round = 0; round < rounds; ++round) {
        while (persist([&] { return request("LOCK"); }, counts) != name) {
            ++counts.refusals;
            pause(100, 600);
        }
        QFile marker(markerPath);
        if (!marker.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            QTextStream(stderr) << name << ": the marker exists in round " << round << "\n";
            return overlapStatus;
        }
        appendLine(log, QStringLiteral("enter %1 %2").arg(name).arg(round));
        const QString owner = persist(
            [&] { return component->Instance()->LockOwner(QStringLiteral("LA")); }, counts);
        if (owner != name)
            return overlapStatus;
        pause(50, 300);
        appendLine(log, QStringLiteral("leave %1 %2").arg(name).arg(round));
        marker.close();
        marker.remove();
        if (persist([&] { return request("UNLOCK"); }, counts) == name)
            return overlapStatus;
    }
    QTextStream(stdout) << name << ": " << rounds << " rounds, " << counts.refusals << " refusals, "
                        << counts.busy << " busy timeouts\n";
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6) {
        QTextStream(stderr) << "usage: norlix_lock_worker WORKSTATION ROUNDS MARKER LOG START\n";
        return 2;
    }
    QFile log(args[4]);
#ifdef Q_OS_WIN
    // Qt appends on Windows by moving to the end once, at the open; a handle that may only append
    // has Windows put each write at the end of the file as it is then.
    const HANDLE appending = CreateFileW(reinterpret_cast<const wchar_t *>(args[4].utf16()),
        FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (appending == INVALID_HANDLE_VALUE
        || !log.open(_open_osfhandle(reinterpret_cast<intptr_t>(appending), _O_WRONLY),
            QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return errorStatus;
#else
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return errorStatus;
#endif
    while (!QFile::exists(args[5]))
        QThread::msleep(1);
    try {
        return work(args[1], args[2].toInt(), args[3], log);
    } catch (const Norlix::ComponentError &error) {
        QTextStream(stderr) << args[1] << ": " << error.description() << "\n";
        return errorStatus;
    }
}
