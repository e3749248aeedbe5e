// The utility writes no file of its own: the real Prismor executable runs a whole check of the
// demo's company A and Exit inside a sandbox that holds its home, its XDG folders, its temporary
// folder, its working directory and the Norlix installation; afterwards only the stand-in's own
// files may differ, and they hold the same values as before.

#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString norlixCommand = QStringLiteral(NORLIX_COMMAND);
const QString prismorExecutable = QStringLiteral(PRISMOR_EXECUTABLE);
const QString driverPluginPath = QStringLiteral(DRIVER_PLUGIN_PATH);

const QString registerFile = QStringLiteral("norlix/register.sqlite");
const QString companyAFile = QStringLiteral("norlix/companies/A/CompanyA.sqlite");

// Every folder a desktop program may write to, each inside the sandbox.
const QStringList sandboxFolders { "home", "xdg-config", "xdg-data", "xdg-cache", "xdg-state",
    "runtime", "tmp", "norlix", "work" };

struct Finished
{
    bool ran = false;
    int exitCode = -1;
    QString output;
    QString errors;
};

} // namespace

class TestNoFilesWritten : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wholeCheckAndExitWriteNoFile();

private:
    [[nodiscard]] QString path(const QString &name) const { return m_sandbox.filePath(name); }
    [[nodiscard]] QProcessEnvironment sandboxEnvironment() const;
    Finished run(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment) const;
    [[nodiscard]] QString norlix(const QStringList &arguments) const;

    QTemporaryDir m_sandbox;
};

void TestNoFilesWritten::initTestCase()
{
    QVERIFY(m_sandbox.isValid());
    for (const QString &folder : sandboxFolders)
        QVERIFY(QDir(m_sandbox.path()).mkpath(folder));
    QVERIFY(QFile::setPermissions(
        path(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(QFileInfo(prismorExecutable).isExecutable());
    QVERIFY(QFileInfo(driverPluginPath + QStringLiteral("/generic")).isDir());
}

QProcessEnvironment TestNoFilesWritten::sandboxEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const std::pair<const char *, const char *> folders[] = { { "HOME", "home" },
        { "XDG_CONFIG_HOME", "xdg-config" }, { "XDG_DATA_HOME", "xdg-data" },
        { "XDG_CACHE_HOME", "xdg-cache" }, { "XDG_STATE_HOME", "xdg-state" },
        { "XDG_RUNTIME_DIR", "runtime" }, { "TMPDIR", "tmp" }, { "NORLIX_HOME", "norlix" } };
    for (const auto &[variable, folder] : folders)
        environment.insert(QString::fromLatin1(variable), path(QString::fromLatin1(folder)));
    for (const char *display : { "DISPLAY", "WAYLAND_DISPLAY" })
        environment.remove(QString::fromLatin1(display));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

Finished TestNoFilesWritten::run(const QString &program, const QStringList &arguments,
    const QProcessEnvironment &environment) const
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(path(QStringLiteral("work")));
    process.start(program, arguments);
    Finished finished;
    finished.ran = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    if (!finished.ran)
        process.kill();
    finished.exitCode = process.exitCode();
    finished.output = QString::fromUtf8(process.readAllStandardOutput());
    finished.errors = QString::fromUtf8(process.readAllStandardError());
    return finished;
}

QString TestNoFilesWritten::norlix(const QStringList &arguments) const
{
    const Finished finished = run(norlixCommand, arguments, sandboxEnvironment());
    if (!finished.ran || finished.exitCode != 0)
        return QStringLiteral("<norlix %1 failed: %2>").arg(arguments.join(u' '), finished.errors);
    return finished.output.trimmed();
}

void TestNoFilesWritten::wholeCheckAndExitWriteNoFile()
{
    for (const QStringList &command :
        QList<QStringList> { { "demo" }, { "workstation", "front-desk" }, { "current", "C" } })
        QVERIFY(!norlix(command).startsWith(u'<'));
    const QString registerBefore = databaseContents(path(registerFile));
    const QString companyABefore = databaseContents(path(companyAFile));
    QVERIFY(!registerBefore.isEmpty() && !companyABefore.isEmpty());
    const FolderSnapshot before = snapshotFolder(m_sandbox.path());

    QProcessEnvironment environment = sandboxEnvironment();
    environment.insert(QStringLiteral("QT_PLUGIN_PATH"), driverPluginPath);
    environment.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("prismordriver"));
    environment.insert(QStringLiteral("PRISMOR_DRIVE_LETTER"), QStringLiteral("A"));
    const Finished prismor = run(prismorExecutable, {}, environment);
    QVERIFY2(prismor.ran, qPrintable(prismor.errors));
    QVERIFY2(prismor.exitCode == 0, qPrintable(prismor.errors));

    const QString report = prismor.output.section(QStringLiteral("--- report ---\n"), 1)
                               .section(QStringLiteral("\n--- end of report ---"), 0, 0);
    QCOMPARE(report.split(u'\n', Qt::SkipEmptyParts),
        QStringList({ "Checking database of Company A", "WorkStation name: FRONT-DESK",
            "Database location: " + path(QStringLiteral("norlix/companies/A/")),
            "    Last compacted in month 2025-10", "    Database version 6.123",
            "Attempting to lock and unlock the accounts",
            "Success -- accounts could be locked by this Workstation", "Finished" }));

    // The stand-in itself records the current company in its register (the check's letter, then
    // Exit's) and takes and gives back the accounts lock in company A's database.
    QStringList changed = snapshotDifferences(before, snapshotFolder(m_sandbox.path()));
    for (const QString &ownFile : { registerFile, companyAFile }) {
        const auto own = std::find_if(changed.begin(), changed.end(), [&](const QString &line) {
            return line.startsWith(QStringLiteral("changed: ") + ownFile + QStringLiteral(" ("));
        });
        if (own != changed.end()) {
            qInfo().noquote() << "the stand-in's own, rewritten with the same rows:" << *own;
            changed.erase(own);
        }
    }
    QVERIFY2(changed.isEmpty(), qPrintable(changed.join(u'\n')));
    QCOMPARE(databaseContents(path(registerFile)), registerBefore);
    QCOMPARE(databaseContents(path(companyAFile)), companyABefore);
    QCOMPARE(norlix({ "current" }), QStringLiteral("C"));
}

QTEST_GUILESS_MAIN(TestNoFilesWritten)
#include "test_no_files_written.moc"
