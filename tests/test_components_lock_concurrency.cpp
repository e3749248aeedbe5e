#include <standin/demo.h>
#include <standin/installation.h>
#include <standin/standin_components.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <memory>
#include <vector>

using namespace Norlix;

class TestLockConcurrency : public QObject
{
    Q_OBJECT

private slots:
    void noTwoWorkstationsHoldTheLockAtOnce();
};

// Several processes ask for the accounts lock of one company over and over. Each holder
// creates a marker file exclusively while it holds the lock, so an overlap stops a worker; the
// shared log must show every entry followed by the same workstation's exit.
void TestLockConcurrency::noTwoWorkstationsHoldTheLockAtOnce()
{
    constexpr int processes = 4;
    constexpr int rounds = 200;

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString home = dir.filePath(QStringLiteral("norlix"));
    qputenv("NORLIX_HOME", home.toUtf8());
    Installation installation(home);
    createDemoInstallation(installation);
    installation.setCurrentLetter(QStringLiteral("A"));
    const QString marker = dir.filePath(QStringLiteral("holder.marker"));
    const QString logPath = dir.filePath(QStringLiteral("lock.log"));
    const QString start = dir.filePath(QStringLiteral("start"));

    std::vector<std::unique_ptr<QProcess>> workers;
    for (int i = 0; i < processes; ++i) {
        auto worker = std::make_unique<QProcess>();
        worker->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        worker->start(QStringLiteral(LOCK_WORKER_EXECUTABLE),
            { QStringLiteral("WS%1").arg(i), QString::number(rounds), marker, logPath, start });
        workers.push_back(std::move(worker));
    }
    for (auto &worker : workers)
        QVERIFY(worker->waitForStarted());
    QFile go(start);
    QVERIFY(go.open(QIODevice::WriteOnly));
    go.close();

    // A worker that stops early may leave the lock held, so the others are stopped with it.
    QDeadlineTimer deadline(std::chrono::minutes(4));
    std::size_t finished = 0;
    while (finished < workers.size() && !deadline.hasExpired()) {
        finished = 0;
        for (auto &worker : workers) {
            if (worker->state() == QProcess::Running && !worker->waitForFinished(20))
                continue;
            ++finished;
            QCOMPARE(worker->exitStatus(), QProcess::NormalExit);
            QCOMPARE(worker->exitCode(), 0);
        }
    }
    QCOMPARE(finished, workers.size());
    for (auto &worker : workers)
        qInfo().noquote() << QString::fromUtf8(worker->readAllStandardOutput()).trimmed();

    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    int entries = 0;
    QByteArray holder;
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> words = line.split(' ');
        QCOMPARE(words.size(), 3);
        const QByteArray who = words[1] + ' ' + words[2];
        if (words[0] == "enter") {
            QVERIFY2(holder.isEmpty(), (who + " entered while " + holder + " held the lock"));
            holder = who;
            ++entries;
        } else {
            QCOMPARE(who, holder);
            holder.clear();
        }
    }
    QVERIFY(holder.isEmpty());
    QCOMPARE(entries, processes * rounds);
    QVERIFY(!QFile::exists(marker));
    QCOMPARE(makeStandInSystemGlobal()->Instance()->LockOwner(QStringLiteral("LA")), QString());
}

QTEST_GUILESS_MAIN(TestLockConcurrency)
#include "test_components_lock_concurrency.moc"
