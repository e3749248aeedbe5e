#include "test_support.h"

#include <standin/company_file.h>
#include <standin/demo.h>
#include <standin/installation.h>
#include <standin/standin_components.h>
#include <user_settings.h>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>
#ifdef Q_OS_WIN
#include <com/class_registration.h>
#include <standin_server/standin_classes.h>

#include <QScopeGuard>
#include <QSettings>
#else
#include <sys/stat.h>
#endif

#include <memory>
#include <vector>

using namespace Norlix;

class TestNorlixCommand : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void demoShowsCompanies();
    void lockAndUnlockPrintTheHolder();
    void anyNonEmptyWorkstationName_data();
    void anyNonEmptyWorkstationName();
    void unlockOutlastsAReader();
    void crashedWritersAreRolledBack();
    void pipeBesideTheFileIsRefused_data();
    void pipeBesideTheFileIsRefused();
    void demosAtOnceHoldCOnce();
    void demoStoppedAtAnyMoment();
    void currentCompanyOutlivesTheProcess();
    void workstationName();
    void settings();
    void addListRemove();
    void initKeepsAnExistingInstallation();
    void missingInstallation();
    void badInput_data();
    void badInput();
    void help();
    void commandHelp_data();
    void commandHelp();
    void version();
#ifdef Q_OS_WIN
    void registerKeepsToItsOwnClasses();
#endif

private:
    NorlixRun norlix(const QStringList &args);

    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_home;
};

void TestNorlixCommand::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
    QVERIFY2(QFileInfo(QStringLiteral(NORLIX_COMMAND)).isExecutable(), NORLIX_COMMAND);
}

void TestNorlixCommand::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_home = m_dir->filePath(QStringLiteral("norlix"));
    qputenv("NORLIX_HOME", m_home.toUtf8());
}

void TestNorlixCommand::cleanup()
{
    m_dir.reset();
}

NorlixRun TestNorlixCommand::norlix(const QStringList &args)
{
    return runNorlixCommand(QStringLiteral(NORLIX_COMMAND), args);
}

void TestNorlixCommand::demoShowsCompanies()
{
    QCOMPARE(norlix({ "demo" }).exitCode, 0);
    const NorlixRun a = norlix({ "company", "show", "A" });
    QCOMPARE(a.exitCode, 0);
    const QString location = QDir::toNativeSeparators(m_home + QStringLiteral("/companies/A/"));
    QCOMPARE(a.out,
        QStringLiteral("letter: A\nname: Alder Joinery Ltd\nlocation: %1\n"
                       "file: CompanyA.sqlite\npath: %1CompanyA.sqlite\n"
                       "exists: true\nlock: \n")
            .arg(location));
    QVERIFY(QFileInfo(location + QStringLiteral("CompanyA.sqlite")).isFile());

    QVERIFY(norlix({ "company", "show", "B" }).out.contains(QStringLiteral("\nexists: false\n")));
    QVERIFY(norlix({ "company", "show", "C" }).out.endsWith("lock: ACCOUNTS-PC (1 hold)\n"));
    QCOMPARE(norlix({ "setting", "get", "D", "CompanyVersNbr" }).out, QStringLiteral("\n"));
    QCOMPARE(norlix({ "setting", "get", "A", "CompanyVersNbr" }).out, QStringLiteral("V6.123\n"));

    // A second demo leaves the same state behind.
    QCOMPARE(norlix({ "demo" }).exitCode, 0);
    QCOMPARE(norlix({ "company", "show", "A" }).out, a.out);
}

void TestNorlixCommand::lockAndUnlockPrintTheHolder()
{
    QCOMPARE(norlix({ "demo" }).exitCode, 0);
    const NorlixRun c = norlix({ "lock", "C", "X" });
    QCOMPARE(c.exitCode, 0);
    QCOMPARE(c.out, QStringLiteral("ACCOUNTS-PC\n"));
    QCOMPARE(norlix({ "unlock", "C", "X" }).out, QStringLiteral("ACCOUNTS-PC\n"));

    QCOMPARE(norlix({ "lock", "A", "X" }).out, QStringLiteral("X\n"));
    QCOMPARE(norlix({ "lock", "A", "X" }).out, QStringLiteral("X\n"));
    QVERIFY(norlix({ "company", "show", "A" }).out.endsWith("\nlock: X (2 holds)\n"));
    QCOMPARE(norlix({ "unlock", "A", "X" }).out, QStringLiteral("X\n"));
    QCOMPARE(norlix({ "unlock", "A", "X" }).out, QStringLiteral("\n"));
    QCOMPARE(norlix({ "unlock", "A", "X" }).out, QStringLiteral("\n"));
}

void TestNorlixCommand::anyNonEmptyWorkstationName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("blanks") << "   ";
    QTest::newRow("tab") << "\t";
    QTest::newRow("no-break space") << "\u00a0";
}

void TestNorlixCommand::anyNonEmptyWorkstationName()
{
    QFETCH(QString, name);
    QCOMPARE(norlix({ "demo" }).exitCode, 0);
    QCOMPARE(norlix({ "workstation", name }).exitCode, 0);
    QCOMPARE(norlix({ "workstation" }).out, name + u'\n');
    QCOMPARE(norlix({ "lock", "A", name }).out, name + u'\n');
    QCOMPARE(norlix({ "lock", "A", "PC1" }).out, name + u'\n');
    QCOMPARE(norlix({ "unlock", "A", name }).out, QStringLiteral("\n"));
}

// The reader keeps its read transaction open past the components' five seconds of waiting.
void TestNorlixCommand::unlockOutlastsAReader()
{
    QCOMPARE(norlix({ "demo" }).exitCode, 0);
    QCOMPARE(norlix({ "lock", "A", "WS1" }).out, QStringLiteral("WS1\n"));
    sqlite3 *reader = nullptr;
    const QString path = m_home + QStringLiteral("/companies/A/CompanyA.sqlite");
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &reader), SQLITE_OK);
    QCOMPARE(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM locks", nullptr, nullptr, nullptr),
        SQLITE_OK);
    QProcess unlock;
    unlock.start(QStringLiteral(NORLIX_COMMAND), { "unlock", "A", "WS1" }, commandOutput);
    QVERIFY(unlock.waitForStarted());
    QTest::qSleep(6000);
    QCOMPARE(unlock.state(), QProcess::Running);
    QCOMPARE(sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(reader);
    QVERIFY(unlock.waitForFinished(30000));
    QVERIFY2(unlock.exitCode() == 0, unlock.readAllStandardError().constData());
    QCOMPARE(unlock.readAllStandardOutput(), QByteArray("\n"));
    QVERIFY(norlix({ "company", "show", "A" }).out.endsWith(QStringLiteral("\nlock: \n")));
}

void TestNorlixCommand::crashedWritersAreRolledBack()
{
    QCOMPARE(norlix({ "demo" }).exitCode, 0);
    QCOMPARE(norlix({ "current", "C" }).exitCode, 0);
    QVERIFY(crashWhileWriting(m_home + QStringLiteral("/register.sqlite"),
        QStringLiteral("UPDATE current_companies SET letter = 'D'")));
    QVERIFY(crashWhileWriting(m_home + QStringLiteral("/companies/A/CompanyA.sqlite"),
        QStringLiteral("UPDATE settings SET value = 'Crashed'")));
    QCOMPARE(norlix({ "current" }).out, QStringLiteral("C\n"));
    QCOMPARE(norlix({ "setting", "get", "A", "Companyname" }).out,
        QStringLiteral("Alder Joinery Ltd\n"));
}

void TestNorlixCommand::pipeBesideTheFileIsRefused_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("journal") << "-journal";
    QTest::newRow("write-ahead log") << "-wal";
}

// SQLite would open the pipe and wait for ever for someone to write to it.
void TestNorlixCommand::pipeBesideTheFileIsRefused()
{
    QFETCH(QString, suffix);
#ifdef Q_OS_WIN
    QSKIP("Windows has no named pipes in the file system.");
#else
    QCOMPARE(norlix({ "demo" }).exitCode, 0);
    const QString pipe = m_home + QStringLiteral("/companies/A/CompanyA.sqlite") + suffix;
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QStringList &args : { QStringList { "setting", "get", "A", "Companyname" },
             QStringList { "lock", "A", "X" } }) {
        const NorlixRun outcome = norlix(args);
        QCOMPARE(outcome.exitCode, 1);
        QVERIFY2(outcome.err.contains(pipe) && outcome.err.contains(QStringLiteral("named pipe")),
            qPrintable(outcome.err));
    }
    QVERIFY(QFile::remove(pipe));
    QCOMPARE(norlix({ "lock", "A", "X" }).out, QStringLiteral("X\n"));
#endif
}

// Twice: while the demo's databases are made, and over them.
void TestNorlixCommand::demosAtOnceHoldCOnce()
{
    for (int round = 0; round < 2; ++round) {
        std::vector<std::unique_ptr<QProcess>> demos;
        for (int i = 0; i < 4; ++i) {
            demos.push_back(std::make_unique<QProcess>());
            demos.back()->start(QStringLiteral(NORLIX_COMMAND), { "demo" });
        }
        for (const auto &demo : demos) {
            QVERIFY(demo->waitForFinished(60000));
            QVERIFY2(demo->exitCode() == 0, demo->readAllStandardError().constData());
        }
        QCOMPARE(norlix({ "unlock", "C", "ACCOUNTS-PC" }).out, QStringLiteral("\n"));
        QCOMPARE(norlix({ "company", "list" }).out.count(u'\n'), 4);
    }
}

namespace {

// What the components and the register know of a company, holds of its accounts lock included.
QString companyState(const Installation &installation, const QString &letter)
{
    const auto entry = installation.company(letter);
    if (!entry)
        return QStringLiteral("not registered");
    QStringList state { entry->name, entry->path() };
    if (!QFileInfo::exists(entry->path()))
        return state.join(u'|') + QStringLiteral("|no database");
    const CompanyFile file(letter, entry->path());
    for (const char *key : { "Companyname", "AcctDBtidyMonth", "CompanyVersNbr" })
        state << file.setting(QString::fromLatin1(key));
    state << file.lockOwner(QStringLiteral("LA"));
    sqlite3 *db = nullptr;
    sqlite3_stmt *holds = nullptr;
    sqlite3_open(entry->path().toUtf8().constData(), &db);
    sqlite3_prepare_v2(db, "SELECT holds FROM locks WHERE name = 'LA'", -1, &holds, nullptr);
    state << QString::number(sqlite3_step(holds) == SQLITE_ROW ? sqlite3_column_int(holds, 0) : 0);
    sqlite3_finalize(holds);
    sqlite3_close(db);
    return state.join(u'|');
}

// Every demo company away from its demo state, in the register and in its database together.
void leaveTheDemo(Installation &installation)
{
    const auto path = [&](const char *letter) {
        return installation.companyOrDefault(QString::fromLatin1(letter)).path();
    };
    installation.removeCompany(QStringLiteral("A"));
    installation.addCompany({ "A", "Old Alder", {}, {} }, true);
    CompanyFile(QStringLiteral("A"), path("A")).setSetting("AcctDBtidyMonth", "1999-01");
    CompanyFile(QStringLiteral("B"), path("B")).create();
    CompanyFile c(QStringLiteral("C"), path("C"));
    c.accountsLock(QStringLiteral("ACCOUNTS-PC"), QStringLiteral("UNLOCK"));
    c.accountsLock(QStringLiteral("FRONT"), QStringLiteral("LOCK"));
    c.accountsLock(QStringLiteral("FRONT"), QStringLiteral("LOCK"));
    CompanyFile(QStringLiteral("D"), path("D")).setSetting("CompanyVersNbr", "V9.9");
}

} // namespace

// A demo killed at moments spread over its run leaves each company as it was or as the demo has
// it, and every company registered.
void TestNorlixCommand::demoStoppedAtAnyMoment()
{
    QCOMPARE(norlix({ "demo" }).exitCode, 0);
    Installation installation(m_home);
    const QStringList letters { "A", "B", "C", "D" };
    QHash<QString, QString> demoState;
    for (const QString &letter : letters)
        demoState[letter] = companyState(installation, letter);

    int stoppedHalfway = 0;
    for (int delay = 0; delay < 250; delay += 5) {
        leaveTheDemo(installation);
        QHash<QString, QString> before;
        for (const QString &letter : letters)
            before[letter] = companyState(installation, letter);
        QProcess demo;
        demo.start(QStringLiteral(NORLIX_COMMAND), { "demo" });
        QVERIFY(demo.waitForStarted());
        QTest::qSleep(delay);
        demo.kill();
        QVERIFY(demo.waitForFinished());
        int changed = 0;
        for (const QString &letter : letters) {
            const QString state = companyState(installation, letter);
            QVERIFY2(state == before[letter] || state == demoState[letter],
                qPrintable(QStringLiteral("%1 after %2 ms: %3").arg(letter).arg(delay).arg(state)));
            changed += state == demoState[letter] ? 1 : 0;
        }
        stoppedHalfway += changed > 0 && changed < letters.size() ? 1 : 0;
    }
    qInfo() << "demos stopped with some companies reset and others not:" << stoppedHalfway;
}

void TestNorlixCommand::currentCompanyOutlivesTheProcess()
{
    QCOMPARE(norlix({ "init" }).exitCode, 0);
    QCOMPARE(norlix({ "current" }).out, QStringLiteral("A\n"));

    // Set here, read by another process.
    makeStandInSystemGlobal()->Instance()->CompanyLetter(QStringLiteral("C"));
    QCOMPARE(norlix({ "current" }).out, QStringLiteral("C\n"));

    // Set by another process, read here and by a third.
    QCOMPARE(norlix({ "current", "K" }).exitCode, 0);
    QCOMPARE(makeStandInSystemGlobal()->Instance()->CompanyLetter(), QStringLiteral("K"));
    QCOMPARE(norlix({ "current" }).out, QStringLiteral("K\n"));

    const NorlixRun bad = norlix({ "current", "k" });
    QCOMPARE(bad.exitCode, 1);
    QVERIFY2(bad.err.contains(QStringLiteral("\"k\"")), qPrintable(bad.err));
    QCOMPARE(norlix({ "current" }).out, QStringLiteral("K\n"));
}

void TestNorlixCommand::workstationName()
{
    QCOMPARE(norlix({ "workstation", "--clear" }).exitCode, 0);
    QCOMPARE(norlix({ "workstation" }).out, QStringLiteral("\n"));

    QCOMPARE(norlix({ "workstation", " front desk, 2 " }).exitCode, 0);
    QCOMPARE(workstationSetting(), QStringLiteral(" front desk, 2 "));
#ifdef Q_OS_WIN
    QCOMPARE(QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program "
                                      "Settings\\Norlix6\\ThisPC"),
                 QSettings::NativeFormat)
                 .value(QStringLiteral("WStnName"))
                 .toString(),
        QStringLiteral(" front desk, 2 "));
#else
    QVERIFY(QFileInfo::exists(m_config.filePath(QStringLiteral("Norlix/Norlix6.ini"))));
#endif

    setWorkstationSetting(QStringLiteral("pc-9"));
    QCOMPARE(norlix({ "workstation" }).out, QStringLiteral("pc-9\n"));

    QCOMPARE(norlix({ "workstation", "--clear" }).exitCode, 0);
    QCOMPARE(workstationSetting(), QString());
}

void TestNorlixCommand::settings()
{
    QCOMPARE(norlix({ "demo" }).exitCode, 0);
    const QString value = QStringLiteral("it's; DROP TABLE settings; -- \"quoted\"");
    QCOMPARE(norlix({ "setting", "set", "A", "Odd Key", value }).exitCode, 0);
    QCOMPARE(norlix({ "setting", "get", "A", "Odd Key" }).out, value + u'\n');
    QCOMPARE(norlix({ "setting", "get", "A", "Companyname" }).out,
        QStringLiteral("Alder Joinery Ltd\n"));
}

void TestNorlixCommand::addListRemove()
{
    QCOMPARE(norlix({ "init" }).exitCode, 0);
    QCOMPARE(norlix({ "company", "list" }).out, QString());
    const QString elsewhere = m_dir->filePath(QStringLiteral("elsewhere"));
    QCOMPARE(norlix({ "company", "add", "F", "Fir & Co", "--location", elsewhere, "--file=fir.db" })
                 .exitCode,
        0);
    QCOMPARE(norlix({ "company", "add", "E", "Elm", "--no-database" }).exitCode, 0);
    const QString firPath = elsewhere + QStringLiteral("/fir.db");
    QCOMPARE(norlix({ "company", "list" }).out,
        QDir::toNativeSeparators(
            QStringLiteral("E\tElm\t%1/companies/E/CompanyE.sqlite\nF\tFir & Co\t%2\n")
                .arg(m_home, firPath)));
    QCOMPARE(norlix({ "setting", "get", "F", "Companyname" }).out, QStringLiteral("Fir & Co\n"));
    QVERIFY(norlix({ "company", "show", "E" }).out.contains(QStringLiteral("exists: false")));
    QVERIFY(!QFileInfo::exists(m_home + QStringLiteral("/companies/E/CompanyE.sqlite")));

    const NorlixRun removed = norlix({ "company", "remove", "F" });
    QCOMPARE(removed.exitCode, 0);
    QVERIFY(QFileInfo(firPath).isFile());
    QCOMPARE(norlix({ "company", "list" }).out.count(u'\n'), 1);
    QCOMPARE(norlix({ "company", "remove", "F" }).exitCode, 1);
}

void TestNorlixCommand::initKeepsAnExistingInstallation()
{
    QCOMPARE(norlix({ "demo" }).exitCode, 0);
    const NorlixRun again = norlix({ "init" });
    QCOMPARE(again.exitCode, 0);
    QVERIFY2(again.out.contains(QStringLiteral("exists already")), qPrintable(again.out));
    QCOMPARE(norlix({ "company", "list" }).out.count(u'\n'), 4);
}

void TestNorlixCommand::missingInstallation()
{
    for (const QStringList &args : { QStringList { "company", "list" }, QStringList { "current" },
             QStringList { "lock", "A", "PC1" } }) {
        const NorlixRun outcome = norlix(args);
        QCOMPARE(outcome.exitCode, 1);
        QVERIFY2(
            outcome.err.contains(QDir::toNativeSeparators(m_home))
                && outcome.err.contains(QStringLiteral("norlix init")),
            qPrintable(outcome.err));
    }
    QVERIFY(!QFileInfo::exists(m_home));
}

void TestNorlixCommand::badInput_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("nothing") << QStringList {} << 2;
    QTest::newRow("unknown command") << QStringList { "frob" } << 2;
    QTest::newRow("company without subcommand") << QStringList { "company" } << 2;
    QTest::newRow("unknown company subcommand") << QStringList { "company", "rename" } << 2;
    QTest::newRow("add without name") << QStringList { "company", "add", "G" } << 2;
    QTest::newRow("add with unknown option")
        << QStringList { "company", "add", "G", "Gum", "--colour", "red" } << 2;
    QTest::newRow("add with option lacking value")
        << QStringList { "company", "add", "G", "Gum", "--file" } << 2;
    QTest::newRow("add lower-case letter") << QStringList { "company", "add", "g", "Gum" } << 1;
    QTest::newRow("add a registered letter") << QStringList { "company", "add", "A", "Again" } << 1;
    QTest::newRow("add a path as file name")
        << QStringList { "company", "add", "G", "Gum", "--file", "../gum.db" } << 1;
    QTest::newRow("show unregistered") << QStringList { "company", "show", "Q" } << 1;
    QTest::newRow("show two letters") << QStringList { "company", "show", "AB" } << 1;
    QTest::newRow("setting of a missing database")
        << QStringList { "setting", "get", "B", "Companyname" } << 1;
    QTest::newRow("setting set without value") << QStringList { "setting", "set", "A", "K" } << 2;
    QTest::newRow("setting with empty key") << QStringList { "setting", "get", "A", "" } << 1;
    QTest::newRow("lock without workstation") << QStringList { "lock", "A" } << 2;
    QTest::newRow("lock with empty workstation") << QStringList { "lock", "A", "" } << 1;
    QTest::newRow("unlock with digit letter") << QStringList { "unlock", "1", "PC1" } << 1;
    QTest::newRow("current with two letters") << QStringList { "current", "AB" } << 1;
    QTest::newRow("current with extra argument") << QStringList { "current", "A", "B" } << 2;
    QTest::newRow("empty workstation name") << QStringList { "workstation", "" } << 2;
    QTest::newRow("help on an unknown command") << QStringList { "help", "frob" } << 2;
}

void TestNorlixCommand::badInput()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    // The demo is made here rather than by the command: under Wine each command costs a second.
    Installation installation(m_home);
    createDemoInstallation(installation);
    installation.setCurrentLetter(QStringLiteral("D"));
    const FolderSnapshot before = snapshotFolder(m_home);

    const NorlixRun outcome = norlix(args);
    QCOMPARE(outcome.exitCode, exitCode);
    QVERIFY2(outcome.err.startsWith(QStringLiteral("norlix: ")), qPrintable(outcome.err));
    QCOMPARE(outcome.out, QString());

    QCOMPARE(snapshotDifferences(before, snapshotFolder(m_home)), QStringList());
}

// Help goes to a terminal of 80 columns.
static void verifyFitsTerminal(const QString &text)
{
    for (const QString &line : text.split(u'\n'))
        QVERIFY2(line.size() <= 80, qPrintable(line));
}

void TestNorlixCommand::help()
{
    const NorlixRun outcome = norlix({ "help" });
    QCOMPARE(outcome.exitCode, 0);
    verifyFitsTerminal(outcome.out);
    for (const char *command : { "init", "demo", "company add", "company list", "company show",
             "company remove", "setting get", "setting set", "lock", "unlock", "current",
             "workstation", "NORLIX_HOME" })
        QVERIFY2(outcome.out.contains(QLatin1String(command)), command);
}

void TestNorlixCommand::commandHelp_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("usages");
    const QString addUsage = QStringLiteral("usage: norlix company add LETTER NAME");
    QTest::newRow("help company add")
        << QStringList { "help", "company", "add" } << QStringList { addUsage };
    QTest::newRow("company add --help")
        << QStringList { "company", "add", "--help" } << QStringList { addUsage };
    QTest::newRow("lock -h") << QStringList { "lock", "-h" }
                             << QStringList { "usage: norlix lock LETTER WORKSTATION" };
    QTest::newRow("setting --help") << QStringList { "setting", "--help" }
                                    << QStringList { "usage: norlix setting get LETTER KEY",
                                           "usage: norlix setting set LETTER KEY VALUE" };
    QTest::newRow("help workstation") << QStringList { "help",
        "workstation" } << QStringList { "usage: norlix workstation [NAME | --clear]" };
}

void TestNorlixCommand::commandHelp()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, usages);
    const NorlixRun outcome = norlix(args);
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.err, QString());
    QCOMPARE(outcome.out.count(QStringLiteral("usage: ")), usages.size());
    for (const QString &usage : usages)
        QVERIFY2(outcome.out.contains(usage), qPrintable(outcome.out));
    verifyFitsTerminal(outcome.out);
    // Asking for help changes nothing.
    QVERIFY(!QFileInfo::exists(m_home));
}

void TestNorlixCommand::version()
{
    for (const char *option : { "--version", "-V" }) {
        const NorlixRun outcome = norlix({ QLatin1String(option) });
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(outcome.out, QStringLiteral("norlix (Prismor) " PRISMOR_VERSION "\n"));
    }
}

#ifdef Q_OS_WIN
namespace {

const QString systemGlobalKey = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Classes\\Norlix.SystemGlobal");

// The class that a ProgID names in the machine's classes, or empty text.
QString registeredClass(const QString &progId)
{
    return QSettings(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Classes\\") + progId,
        QSettings::NativeFormat)
        .value(QStringLiteral("CLSID/Default"))
        .toString();
}

} // namespace

// register puts the stand-in in place, never over another server's class; unregister takes away
// only what register wrote.
void TestNorlixCommand::registerKeepsToItsOwnClasses()
{
    const QString ours = QString::fromWCharArray(standInClasses[0].classId);
    const QString converter = QString::fromWCharArray(standInClasses[1].classId);
    // Whatever the session had registered is there again afterwards.
    const auto putBack = qScopeGuard(
        [] { (void)runNorlixCommand(QStringLiteral(NORLIX_COMMAND), { "register" }); });

    NorlixRun run = norlix({ "register" });
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(QStringLiteral("NorlixStandIn.dll")), qPrintable(run.out));
    QCOMPARE(registeredClass(QStringLiteral("Norlix.SystemGlobal")), ours);
    QVERIFY(!AutomationServer::registeredServer(L"Norlix.ChoiceDialog").empty());

    run = norlix({ "unregister" });
    QCOMPARE(run.exitCode, 0);
    for (const auto &served : standInClasses)
        QCOMPARE(registeredClass(QString::fromWCharArray(served.progId)), QString());

    // Another Norlix owns one of the names: register refuses, names it, and writes nothing.
    const QString other = QStringLiteral("{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}");
    QSettings(systemGlobalKey, QSettings::NativeFormat).setValue(QStringLiteral("CLSID/Default"), other);
    run = norlix({ "register" });
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("Norlix.SystemGlobal is registered to another server")),
        qPrintable(run.err));
    QCOMPARE(registeredClass(QStringLiteral("Norlix.SystemGlobal")), other);
    QCOMPARE(registeredClass(QStringLiteral("Norlix.NumberConverter")), QString());

    // Nor does unregister take the other's name away.
    QSettings(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Classes\\Norlix.NumberConverter"),
        QSettings::NativeFormat).setValue(QStringLiteral("CLSID/Default"), converter);
    QCOMPARE(norlix({ "unregister" }).exitCode, 0);
    QCOMPARE(registeredClass(QStringLiteral("Norlix.SystemGlobal")), other);
    QCOMPARE(registeredClass(QStringLiteral("Norlix.NumberConverter")), QString());
    QSettings(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Classes"), QSettings::NativeFormat)
        .remove(QStringLiteral("Norlix.SystemGlobal"));
}
#endif

QTEST_GUILESS_MAIN(TestNorlixCommand)
#include "test_components_norlix_command.moc"
