#include "test_support.h"

#include <components.h>
#include <standin/company_file.h>
#include <standin/demo.h>
#include <standin/installation.h>
#include <standin/sqlite_connection.h>
#include <standin/standin_components.h>
#include <user_settings.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>
#ifdef Q_OS_WIN
#include <QSettings>

#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>

#include <memory>
#include <thread>

using namespace Norlix;

#ifndef Q_OS_WIN
// Opens the pipe for writing now and then until done: an open that waits on the pipe for ever
// then ends, and the test can tell what it did.
void endWaitsOnThePipe(const QByteArray &pipe, const std::atomic<bool> &done)
{
    for (int tries = 0; tries < 40 && !done; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (const int fd = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK); fd >= 0) {
            ::close(fd);
            return;
        }
    }
}
#endif

class TestStandIn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void currentCompanyIsAUntilOneIsMadeCurrent();
    void badLetterLeavesTheCurrentCompany_data();
    void badLetterLeavesTheCurrentCompany();
    void databaseLocationAndFileName_data();
    void databaseLocationAndFileName();
    void fileExistsOnlyForRegularFiles_data();
    void fileExistsOnlyForRegularFiles();
    void companySettings_data();
    void companySettings();
    void settingTextsAreStoredExactly();
    void missingDatabaseIsReportedAndNeverCreated();
    void lockOwner();
    void accountsLockRequests_data();
    void accountsLockRequests();
    void badLockRequestsChangeNothing_data();
    void badLockRequestsChangeNothing();
    void damagedDatabase_data();
    void damagedDatabase();
    void damagedRegister();
    void crashedWriterIsRolledBack_data();
    void crashedWriterIsRolledBack();
    void otherThanAFileIsNamed_data();
    void otherThanAFileIsNamed();
    void fileChangedBetweenOperationsIsReadAfresh_data();
    void fileChangedBetweenOperationsIsReadAfresh();
    void pipeBesideAFileReadBeforeIsRefused_data();
    void pipeBesideAFileReadBeforeIsRefused();
    void pipePutThereWhileAnOperationWaitsIsRefused();
    void fileReplacedWhileALockWaitsIsTheOneLocked_data();
    void fileReplacedWhileALockWaitsIsTheOneLocked();
    void fileTurnedToALogIsNotHeldBetweenOperations();
    void leftoverJournalsBesideANewDatabase_data();
    void leftoverJournalsBesideANewDatabase();
    void folderThatCannotBeMadeIsNamed();
    void missingInstallation();
    void systemGlobalStaysEmptyUntilItCanBeCreated();
    void busyDatabase();
    void lockRequestWaitsForAWriterToFinish();
    void busyRequestsChangeNothing_data();
    void busyRequestsChangeNothing();
    void demoRefreshPutsCompaniesBack();
    void demoRefreshStopsAtADamagedDatabase();
    void addingCompanies();
    void userSettings_data();
    void userSettings();
    void handWrittenUserSetting_data();
    void handWrittenUserSetting();

private:
    [[nodiscard]] std::unique_ptr<CompanyDatabase> db() { return m_component->Instance(); }
    [[nodiscard]] QString companyPath(const QString &letter) const;
    void makeCurrent(const QString &letter) { db()->CompanyLetter(letter); }
    // The current company's name, or the description of the error that its reading raised.
    [[nodiscard]] QString companyNameOrError();

    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_home;
    std::unique_ptr<Installation> m_installation;
    std::unique_ptr<CompanyDatabaseComponent> m_component;
};

QString TestStandIn::companyNameOrError()
{
    try {
        return db()->CompanySetting(QStringLiteral("Companyname"));
    } catch (const ComponentError &error) {
        return error.description();
    }
}

void TestStandIn::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
}

void TestStandIn::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_home = m_dir->filePath(QStringLiteral("norlix"));
    qputenv("NORLIX_HOME", m_home.toUtf8());
    m_installation = std::make_unique<Installation>(m_home);
    createDemoInstallation(*m_installation);
    m_component = makeStandInSystemGlobal();
}

void TestStandIn::cleanup()
{
    m_component.reset();
    m_installation.reset();
    m_dir.reset();
}

QString TestStandIn::companyPath(const QString &letter) const
{
    return m_installation->companyOrDefault(letter).path();
}

void TestStandIn::currentCompanyIsAUntilOneIsMadeCurrent()
{
    QCOMPARE(db()->CompanyLetter(), QStringLiteral("A"));
    makeCurrent(QStringLiteral("C"));
    QCOMPARE(db()->CompanyLetter(), QStringLiteral("C"));
    // A component created afresh reads the same, because it is kept in the installation.
    QCOMPARE(makeStandInSystemGlobal()->Instance()->CompanyLetter(), QStringLiteral("C"));
    QCOMPARE(db()->DatabaseFileName(), QStringLiteral("CompanyC.sqlite"));
}

void TestStandIn::badLetterLeavesTheCurrentCompany_data()
{
    QTest::addColumn<QString>("letter");
    QTest::newRow("empty") << "";
    QTest::newRow("lower case") << "c";
    QTest::newRow("two letters") << "AB";
    QTest::newRow("digit") << "1";
    QTest::newRow("space before") << " A";
    QTest::newRow("before A") << "@";
    QTest::newRow("after Z") << "[";
    QTest::newRow("accented capital") << QString::fromUtf8("Ä");
    QTest::newRow("fullwidth A") << QString::fromUtf8("Ａ");
}

void TestStandIn::badLetterLeavesTheCurrentCompany()
{
    QFETCH(QString, letter);
    makeCurrent(QStringLiteral("D"));
    QString description;
    NORLIX_EXPECT_ERROR(db()->CompanyLetter(letter), description);
    QVERIFY2(description.contains(QStringLiteral("\"%1\"").arg(letter)), qPrintable(description));
    QCOMPARE(db()->CompanyLetter(), QStringLiteral("D"));
}

void TestStandIn::databaseLocationAndFileName_data()
{
    QTest::addColumn<QString>("letter");
    QTest::addColumn<bool>("exists");
    QTest::newRow("registered with database") << "A" << true;
    QTest::newRow("registered, database missing") << "B" << false;
    QTest::newRow("not registered") << "Q" << false;
}

void TestStandIn::databaseLocationAndFileName()
{
    QFETCH(QString, letter);
    QFETCH(bool, exists);
    makeCurrent(letter);
    const QString location = db()->DatabaseLocation();
    const QString fileName = db()->DatabaseFileName();
    QVERIFY2(location.endsWith(QDir::separator()), qPrintable(location));
    QCOMPARE(location,
        QDir::toNativeSeparators(m_home + QStringLiteral("/companies/") + letter + u'/'));
    QCOMPARE(fileName, QStringLiteral("Company%1.sqlite").arg(letter));
    QCOMPARE(db()->FileExists(location + fileName), exists);
    QCOMPARE(QFileInfo::exists(location + fileName), exists);
}

void TestStandIn::fileExistsOnlyForRegularFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::newRow("regular file") << "file.sqlite" << true;
    QTest::newRow("folder") << "folder" << false;
    QTest::newRow("missing") << "missing.sqlite" << false;
    QTest::newRow("link to a missing file") << "dangling" << false;
    QTest::newRow("empty path") << "" << false;
}

void TestStandIn::fileExistsOnlyForRegularFiles()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    const QDir dir(m_dir->path());
    QVERIFY(writeFileBytes(dir.filePath(QStringLiteral("file.sqlite")), "x"));
    QVERIFY(dir.mkdir(QStringLiteral("folder")));
#ifdef Q_OS_WIN
    // A symbolic link as mklink makes one: QFile::link makes a shell shortcut, a file of its own.
    const bool linked = CreateSymbolicLinkW(
        reinterpret_cast<const wchar_t *>(
            QDir::toNativeSeparators(dir.filePath(QStringLiteral("dangling"))).utf16()),
        reinterpret_cast<const wchar_t *>(
            QDir::toNativeSeparators(dir.filePath(QStringLiteral("missing.sqlite"))).utf16()),
        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    if (name == u"dangling" && !linked)
        QSKIP(qPrintable(QStringLiteral("This Windows user may not make symbolic links (error %1).")
                             .arg(GetLastError())));
#else
    QVERIFY(QFile::link(
        dir.filePath(QStringLiteral("missing.sqlite")), dir.filePath(QStringLiteral("dangling"))));
#endif
    QCOMPARE(db()->FileExists(name.isEmpty() ? QString() : dir.filePath(name)), exists);
}

void TestStandIn::companySettings_data()
{
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("name") << "A"
                          << "Companyname"
                          << "Alder Joinery Ltd";
    QTest::newRow("last compacted") << "A"
                                    << "AcctDBtidyMonth"
                                    << "2025-10";
    QTest::newRow("version") << "A"
                             << "CompanyVersNbr"
                             << "V6.123";
    QTest::newRow("version not set yet") << "D"
                                         << "CompanyVersNbr"
                                         << "";
    QTest::newRow("key not stored") << "A"
                                    << "NoSuchKey"
                                    << "";
    QTest::newRow("keys are exact") << "A"
                                    << "companyname"
                                    << "";
}

void TestStandIn::companySettings()
{
    QFETCH(QString, letter);
    QFETCH(QString, key);
    QFETCH(QString, value);
    makeCurrent(letter);
    QCOMPARE(db()->CompanySetting(key), value);
}

void TestStandIn::settingTextsAreStoredExactly()
{
    CompanyFile file(QStringLiteral("A"), companyPath(QStringLiteral("A")));
    const QString key = QStringLiteral("Note'); DROP TABLE settings; --");
    const QString value = QStringLiteral("  it's \"quoted\"; ünïcode 会社 \u0000 end  ");
    file.setSetting(key, value);
    QCOMPARE(db()->CompanySetting(key), value);
    QCOMPARE(
        db()->CompanySetting(QStringLiteral("Companyname")), QStringLiteral("Alder Joinery Ltd"));
}

void TestStandIn::missingDatabaseIsReportedAndNeverCreated()
{
    makeCurrent(QStringLiteral("B"));
    const QString path = companyPath(QStringLiteral("B"));
    QString description;
    NORLIX_EXPECT_ERROR(db()->CompanySetting(QStringLiteral("Companyname")), description);
    QVERIFY2(description.contains(path), qPrintable(description));
    NORLIX_EXPECT_ERROR(db()->LockOwner(QStringLiteral("LA")), description);
    NORLIX_EXPECT_ERROR(
        db()->AccountsLock(QStringLiteral("PC1"), QStringLiteral("LOCK")), description);
    QVERIFY2(description.contains(path), qPrintable(description));
    CompanyFile file(QStringLiteral("B"), path);
    NORLIX_EXPECT_ERROR(file.setSetting(QStringLiteral("K"), QStringLiteral("V")), description);
    QVERIFY(!QFileInfo::exists(path));
}

void TestStandIn::lockOwner()
{
    makeCurrent(QStringLiteral("C"));
    QCOMPARE(db()->LockOwner(QStringLiteral("LA")), QString::fromLatin1(demoLockHolder));
    QCOMPARE(db()->LockOwner(QStringLiteral("LB")), QString()); // other locks are never taken
    QString description;
    NORLIX_EXPECT_ERROR(db()->LockOwner(QString()), description);
    makeCurrent(QStringLiteral("A"));
    QCOMPARE(db()->LockOwner(QStringLiteral("LA")), QString());
}

// Each step is "workstation|ACTION|holder afterwards".
void TestStandIn::accountsLockRequests_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("free lock") << QStringList { "PC1|LOCK|PC1", "PC1|UNLOCK|" };
    QTest::newRow("held elsewhere") << QStringList { "PC1|LOCK|PC1", "PC2|LOCK|PC1",
        "PC2|UNLOCK|PC1", "PC1|UNLOCK|", "PC2|LOCK|PC2", "PC2|UNLOCK|" };
    QTest::newRow("asked twice, held until released twice") << QStringList { "PC1|LOCK|PC1",
        "PC1|LOCK|PC1", "PC1|UNLOCK|PC1", "PC2|LOCK|PC1", "PC1|UNLOCK|", "PC2|LOCK|PC2" };
    QTest::newRow("unlock of a free lock") << QStringList { "PC1|UNLOCK|", "PC1|LOCK|PC1" };
    QTest::newRow("names differing in case")
        << QStringList { "PC1|LOCK|PC1", "pc1|LOCK|PC1", "pc1|UNLOCK|PC1", "PC1|UNLOCK|" };
    QTest::newRow("names differing in spaces")
        << QStringList { " PC1|LOCK| PC1", "PC1|LOCK| PC1", " PC1|UNLOCK|" };
    QTest::newRow("blank names") << QStringList { "   |LOCK|   ", " |LOCK|   ", "   |UNLOCK|" };
    QTest::newRow("tab") << QStringList { "\t|LOCK|\t", "\t|UNLOCK|" };
    QTest::newRow("no-break space")
        << QStringList { "\u00a0|LOCK|\u00a0", "PC1|LOCK|\u00a0", "\u00a0|UNLOCK|" };
}

void TestStandIn::accountsLockRequests()
{
    QFETCH(QStringList, steps);
    makeCurrent(QStringLiteral("A"));
    for (const QString &step : steps) {
        const QStringList parts = step.split(u'|');
        QCOMPARE(db()->AccountsLock(parts[0], parts[1]), parts[2]);
        QCOMPARE(db()->LockOwner(QStringLiteral("LA")), parts[2]);
    }
}

void TestStandIn::badLockRequestsChangeNothing_data()
{
    QTest::addColumn<QString>("workstation");
    QTest::addColumn<QString>("action");
    QTest::newRow("empty name") << ""
                                << "LOCK";
    QTest::newRow("empty name, unlock") << ""
                                        << "UNLOCK";
    QTest::newRow("lower-case action") << "PC9"
                                       << "unlock";
    QTest::newRow("empty action") << "PC9"
                                  << "";
    QTest::newRow("other word") << "PC9"
                                << "RELEASE";
    QTest::newRow("action with a space") << "PC9"
                                         << "UNLOCK ";
}

void TestStandIn::badLockRequestsChangeNothing()
{
    QFETCH(QString, workstation);
    QFETCH(QString, action);
    makeCurrent(QStringLiteral("A"));
    QCOMPARE(
        db()->AccountsLock(QStringLiteral("PC9"), QStringLiteral("LOCK")), QStringLiteral("PC9"));
    QString description;
    NORLIX_EXPECT_ERROR(db()->AccountsLock(workstation, action), description);
    QVERIFY(!description.isEmpty());
    QCOMPARE(db()->LockOwner(QStringLiteral("LA")), QStringLiteral("PC9"));
    // Still held once: one UNLOCK frees it.
    QCOMPARE(db()->AccountsLock(QStringLiteral("PC9"), QStringLiteral("UNLOCK")), QString());
}

void TestStandIn::damagedDatabase_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("random bytes") << "random";
    QTest::newRow("zero length") << "empty";
    QTest::newRow("truncated") << "truncated";
    QTest::newRow("text file") << "text";
    QTest::newRow("folder in its place") << "folder";
    QTest::newRow("unreadable") << "unreadable";
}

void TestStandIn::damagedDatabase()
{
    QFETCH(QString, damage);
    const QString path = companyPath(QStringLiteral("A"));
    const QByteArray valid = fileBytes(path);
    QVERIFY(valid.size() > 4096);
    QVERIFY(QFile::remove(path));
#ifdef Q_OS_WIN
    std::unique_ptr<ExclusiveOpen> held;
#endif
    if (damage == u"random") {
        QByteArray noise(8192, '\0');
        for (qsizetype i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 7919 + 13) % 251);
        QVERIFY(writeFileBytes(path, noise));
    } else if (damage == u"empty") {
        QVERIFY(writeFileBytes(path, QByteArray()));
    } else if (damage == u"truncated") {
        QVERIFY(writeFileBytes(path, valid.first(valid.size() / 2)));
    } else if (damage == u"text") {
        QVERIFY(writeFileBytes(path, "Companyname=Alder Joinery Ltd\n"));
    } else if (damage == u"folder") {
        QVERIFY(QDir().mkpath(path));
    } else {
#ifdef Q_OS_WIN
        QVERIFY(writeFileBytes(path, valid));
        held = std::make_unique<ExclusiveOpen>(path);
        QVERIFY(held->isOpen());
#else
        if (geteuid() == 0)
            QSKIP("The superuser reads files whatever their permissions say.");
        QVERIFY(writeFileBytes(path, valid));
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
#endif
    }
    const QByteArray before = fileBytes(path);
    makeCurrent(QStringLiteral("A"));

    QString description;
    NORLIX_EXPECT_ERROR(db()->CompanySetting(QStringLiteral("Companyname")), description);
    QVERIFY2(description.contains(path), qPrintable(description));
    NORLIX_EXPECT_ERROR(db()->LockOwner(QStringLiteral("LA")), description);
    QVERIFY2(description.contains(path), qPrintable(description));
    NORLIX_EXPECT_ERROR(
        db()->AccountsLock(QStringLiteral("PC1"), QStringLiteral("LOCK")), description);
    QVERIFY2(description.contains(path), qPrintable(description));
    NORLIX_EXPECT_ERROR(
        db()->AccountsLock(QStringLiteral("PC1"), QStringLiteral("UNLOCK")), description);

    QCOMPARE(db()->FileExists(path), damage != u"folder");
    QCOMPARE(fileBytes(path), before);
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-journal")));
    if (damage == u"folder")
        QVERIFY(QDir(path).isEmpty());
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void TestStandIn::damagedRegister()
{
    const QString registerPath = m_installation->registerPath();
    QVERIFY(writeFileBytes(registerPath, QByteArray(4096, 'x')));
    QString description;
    NORLIX_EXPECT_ERROR(db()->CompanyLetter(), description);
    QVERIFY2(description.contains(registerPath), qPrintable(description));
    NORLIX_EXPECT_ERROR(db()->CompanyLetter(QStringLiteral("B")), description);
    NORLIX_EXPECT_ERROR(db()->DatabaseLocation(), description);
    QCOMPARE(fileBytes(registerPath), QByteArray(4096, 'x'));
}

void TestStandIn::crashedWriterIsRolledBack_data()
{
    QTest::addColumn<bool>("inRegister");
    QTest::newRow("register") << true;
    QTest::newRow("company file") << false;
}

void TestStandIn::crashedWriterIsRolledBack()
{
    QFETCH(bool, inRegister);
    makeCurrent(QStringLiteral("C"));
    const QString path
        = inRegister ? m_installation->registerPath() : companyPath(QStringLiteral("C"));
    QVERIFY(crashWhileWriting(path,
        inRegister ? "UPDATE current_companies SET letter = 'D'; DELETE FROM companies;"
                   : "UPDATE settings SET value = 'Crashed'; DELETE FROM locks;"));

    QCOMPARE(db()->CompanyLetter(), QStringLiteral("C"));
    QCOMPARE(
        db()->CompanySetting(QStringLiteral("Companyname")), QStringLiteral("Cedar Lane Cafe"));
    QCOMPARE(db()->LockOwner(QStringLiteral("LA")), QString::fromLatin1(demoLockHolder));
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-journal")));
    QCOMPARE(m_installation->companies().size(), 4);
}

void TestStandIn::otherThanAFileIsNamed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("pipe") << "named pipe";
    QTest::newRow("device") << "character device";
}

// Pipes beside the file are met by the norlix command's tests, where an open that waits for ever
// can be stopped.
void TestStandIn::otherThanAFileIsNamed()
{
    QFETCH(QString, kind);
#ifdef Q_OS_WIN
    QSKIP("Windows has no named pipes or devices in the file system.");
#else
    const QString path = companyPath(QStringLiteral("A"));
    QVERIFY(QFile::remove(path));
    if (kind == u"named pipe")
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), path));
    makeCurrent(QStringLiteral("A"));

    QString description;
    NORLIX_EXPECT_ERROR(db()->CompanySetting(QStringLiteral("Companyname")), description);
    QVERIFY2(description.contains(kind) && description.contains(path)
            && !description.contains(QStringLiteral("folder")),
        qPrintable(description));
    NORLIX_EXPECT_ERROR(
        db()->AccountsLock(QStringLiteral("PC1"), QStringLiteral("LOCK")), description);
    QVERIFY2(description.contains(kind), qPrintable(description));
#endif
}

void TestStandIn::fileChangedBetweenOperationsIsReadAfresh_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("another file renamed over it") << "renamed";
    QTest::newRow("another file copied over it in place") << "copied";
    QTest::newRow("cut short") << "truncated";
    QTest::newRow("removed") << "removed";
}

// What another process did to a file between two operations counts at the next one, as it does
// for a component made afresh; on Windows too, where no program may rename over or remove a file
// that another holds open.
void TestStandIn::fileChangedBetweenOperationsIsReadAfresh()
{
    QFETCH(QString, change);
    const auto companyName = [](CompanyDatabaseComponent &component) {
        try {
            return component.Instance()->CompanySetting(QStringLiteral("Companyname"));
        } catch (const ComponentError &error) {
            return error.description();
        }
    };
    // The demo writes C and D alike: the same size and the same change counter.
    const QString path = companyPath(QStringLiteral("C"));
    const QByteArray other = fileBytes(companyPath(QStringLiteral("D")));
    QCOMPARE(other.size(), fileBytes(path).size());
    QCOMPARE(other.mid(24, 4), fileBytes(path).mid(24, 4));
    makeCurrent(QStringLiteral("C"));
    const QString before = companyName(*m_component);

    const QString spare = path + QStringLiteral(".other");
    if (change == u"renamed")
#ifdef Q_OS_WIN
        QVERIFY(writeFileBytes(spare, other) && renameOver(spare, path));
#else
        QVERIFY(writeFileBytes(spare, other) && ::rename(qPrintable(spare), qPrintable(path)) == 0);
#endif
    else if (change == u"copied")
        QVERIFY(writeFileBytes(path, other));
    else if (change == u"truncated")
        QVERIFY(writeFileBytes(path, other.left(4096)));
    else
        QVERIFY(QFile::remove(path));

    const QString after = companyName(*makeStandInSystemGlobal());
    QVERIFY2(after != before, qPrintable(after));
    QCOMPARE(companyName(*m_component), after);
    // Between operations the component holds no lock on the files it reads.
    QStringList readable { m_installation->registerPath() };
    if (change != u"truncated" && change != u"removed")
        readable << path;
    for (const QString &file : readable) {
        sqlite3 *writer = nullptr;
        QCOMPARE(sqlite3_open(qPrintable(file), &writer), SQLITE_OK);
        QCOMPARE(sqlite3_exec(writer, "BEGIN EXCLUSIVE; ROLLBACK", nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(writer);
    }
}

void TestStandIn::pipeBesideAFileReadBeforeIsRefused_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("journal") << "-journal";
    QTest::newRow("log") << "-wal";
    QTest::newRow("shared memory") << "-shm";
}

// A pipe put where SQLite keeps a journal, after the component has read the file once, is refused
// as it is at the first open. Should an open wait on it, a writer let in after a while ends
// that wait, and the read then succeeds where it must fail.
void TestStandIn::pipeBesideAFileReadBeforeIsRefused()
{
    QFETCH(QString, suffix);
    const QString path = companyPath(QStringLiteral("A"));
    QCOMPARE(db()->CompanySetting(QStringLiteral("Companyname")), QStringLiteral("Alder Joinery Ltd"));
#ifdef Q_OS_WIN
    QSKIP("Windows has no named pipes in the file system.");
#else
    const QByteArray pipe = QFile::encodeName(path + suffix);
    QCOMPARE(mkfifo(pipe.constData(), 0600), 0);
    std::atomic<bool> done = false;
    std::thread unblocking([&] { endWaitsOnThePipe(pipe, done); });
    const QString description = companyNameOrError();
    done = true;
    unblocking.join();
    QVERIFY2(description.contains(QStringLiteral("named pipe"))
            && description.contains(QString::fromLocal8Bit(pipe)),
        qPrintable(description));
#endif
}

// A pipe put where SQLite keeps the journal while an operation waits for another program's write:
// SQLite looks for a journal left behind once it has the file, and would open the pipe and wait
// on it for ever.
void TestStandIn::pipePutThereWhileAnOperationWaitsIsRefused()
{
#ifdef Q_OS_WIN
    QSKIP("Windows has no named pipes in the file system.");
#else
    const QString path = companyPath(QStringLiteral("A"));
    const QByteArray pipe = QFile::encodeName(path + QStringLiteral("-journal"));
    sqlite3 *writer = nullptr;
    QCOMPARE(sqlite3_open(qPrintable(path), &writer), SQLITE_OK);
    QCOMPARE(sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::atomic<bool> done = false;
    std::thread meanwhile([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        mkfifo(pipe.constData(), 0600);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr);
        endWaitsOnThePipe(pipe, done);
    });
    const QString description = companyNameOrError();
    done = true;
    meanwhile.join();
    sqlite3_close(writer);
    QVERIFY2(description.contains(QStringLiteral("named pipe"))
            && description.contains(QString::fromLocal8Bit(pipe)),
        qPrintable(description));
#endif
}

void TestStandIn::fileReplacedWhileALockWaitsIsTheOneLocked_data()
{
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("renamed over it") << false;
    QTest::newRow("copied over it in place") << true;
}

// A restore that puts another copy in the file's place while a lock request waits for a reader:
// the request locks the file that the path names, as it is now.
void TestStandIn::fileReplacedWhileALockWaitsIsTheOneLocked()
{
    QFETCH(bool, inPlace);
#ifdef Q_OS_WIN
    if (!inPlace)
        QSKIP("Windows refuses to rename over a file that a reader holds open.");
#endif
    const QString path = companyPath(QStringLiteral("A"));
    const QString copy = path + QStringLiteral(".restored");
    QVERIFY(QFile::copy(path, copy));
    QCOMPARE(CompanyFile(QStringLiteral("A"), copy)
                 .accountsLock(QStringLiteral("OTHER-PC"), QStringLiteral("LOCK")),
        QStringLiteral("OTHER-PC"));
    QCOMPARE(db()->LockOwner(QStringLiteral("LA")), QString());
    sqlite3 *reader = nullptr;
    QCOMPARE(sqlite3_open(qPrintable(path), &reader), SQLITE_OK);
    QCOMPARE(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM locks", nullptr, nullptr, nullptr),
        SQLITE_OK);
    std::thread restoring([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (inPlace)
            writeFileBytes(path, fileBytes(copy));
        else
            ::rename(qPrintable(copy), qPrintable(path));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    });
    QString holder;
    try {
        holder = db()->AccountsLock(QStringLiteral("FRONT-DESK"), QStringLiteral("LOCK"));
    } catch (const ComponentError &error) {
        holder = error.description();
    }
    restoring.join();
    sqlite3_close(reader);

    QCOMPARE(holder, QStringLiteral("OTHER-PC"));
    QCOMPARE(db()->LockOwner(QStringLiteral("LA")), QStringLiteral("OTHER-PC"));
    const LockHolding holding = CompanyFile(QStringLiteral("A"), path).lockHolding("LA");
    QCOMPARE(holding.holder, QStringLiteral("OTHER-PC"));
    QCOMPARE(holding.holds, 1);
}

// SQLite holds a shared lock on a file in write-ahead-log mode for as long as it has it open;
// the component must not hold it between operations, or no other program could take the file
// out of that mode.
void TestStandIn::fileTurnedToALogIsNotHeldBetweenOperations()
{
    const QString path = companyPath(QStringLiteral("A"));
    QCOMPARE(db()->CompanySetting(QStringLiteral("Companyname")), QStringLiteral("Alder Joinery Ltd"));
    const auto journalMode = [&](const char *sql) {
        sqlite3 *other = nullptr;
        sqlite3_open(qPrintable(path), &other);
        sqlite3_stmt *statement = nullptr;
        QString mode = QStringLiteral("<failed>");
        if (sqlite3_prepare_v2(other, sql, -1, &statement, nullptr) == SQLITE_OK
            && sqlite3_step(statement) == SQLITE_ROW)
            mode = QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
        sqlite3_close(other);
        return mode;
    };
    QCOMPARE(journalMode("PRAGMA journal_mode = WAL"), QStringLiteral("wal"));
    QCOMPARE(db()->CompanySetting(QStringLiteral("Companyname")), QStringLiteral("Alder Joinery Ltd"));
    QCOMPARE(db()->AccountsLock(QStringLiteral("PC1"), QStringLiteral("LOCK")), QStringLiteral("PC1"));

    QCOMPARE(journalMode("PRAGMA journal_mode = DELETE"), QStringLiteral("delete"));
    QCOMPARE(db()->AccountsLock(QStringLiteral("PC1"), QStringLiteral("UNLOCK")), QString());
    // The demo puts its files back to a rollback journal.
    QCOMPARE(journalMode("PRAGMA journal_mode = WAL"), QStringLiteral("wal"));
    createDemoInstallation(*m_installation);
    QCOMPARE(journalMode("PRAGMA journal_mode"), QStringLiteral("delete"));
}

void TestStandIn::leftoverJournalsBesideANewDatabase_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("journal") << "-journal";
    QTest::newRow("log") << "-wal";
    QTest::newRow("shared memory") << "-shm";
}

// Whatever SQLite keeps beside a database is left over once the database is gone. A new database
// made at that place would take it for its own: the command refuses, the demo clears it away.
void TestStandIn::leftoverJournalsBesideANewDatabase()
{
    QFETCH(QString, suffix);
    const QString b = companyPath(QStringLiteral("B"));
    const QByteArray leftover("left over by an earlier database");
    QVERIFY(QDir().mkpath(QFileInfo(b).path()));
    QVERIFY(writeFileBytes(b + suffix, leftover));
    QVERIFY(m_installation->removeCompany(QStringLiteral("B")));
    QString description;
    NORLIX_EXPECT_ERROR(m_installation->addCompany({ "B", "Birchwood Bakery", {}, {} }, true),
        description);
    QVERIFY2(description.contains(b + suffix), qPrintable(description));
    QVERIFY(!QFileInfo::exists(b));
    QVERIFY(!m_installation->company(QStringLiteral("B")).has_value());
    QCOMPARE(fileBytes(b + suffix), leftover);

    // The demo deletes B's database with all that lies beside it, and clears what lies beside a
    // database it makes anew.
    const QString a = companyPath(QStringLiteral("A"));
    QVERIFY(QFile::remove(a));
    QVERIFY(writeFileBytes(a + suffix, leftover));
    createDemoInstallation(*m_installation);
    QVERIFY(!QFileInfo::exists(b + suffix));
    QVERIFY(!QFileInfo::exists(a + suffix));
    QCOMPARE(db()->CompanySetting(QStringLiteral("Companyname")), QStringLiteral("Alder Joinery Ltd"));
}

// A file where a new database's folder should be: the message names the folder as the platform
// writes paths, and nothing is registered.
void TestStandIn::folderThatCannotBeMadeIsNamed()
{
    const QString folder = QFileInfo(companyPath(QStringLiteral("B"))).absolutePath();
    QVERIFY(m_installation->removeCompany(QStringLiteral("B")));
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(writeFileBytes(folder, "not a folder"));
    QString description;
    NORLIX_EXPECT_ERROR(m_installation->addCompany({ "B", "Birchwood Bakery", {}, {} }, true),
        description);
    QCOMPARE(description,
        QStringLiteral("The database of company B cannot be made: its folder %1 could not be "
                       "created.")
            .arg(QDir::toNativeSeparators(folder)));
    QVERIFY(!m_installation->company(QStringLiteral("B")).has_value());
    QCOMPARE(fileBytes(folder), QByteArray("not a folder"));
}

void TestStandIn::missingInstallation()
{
    const QString nowhere = m_dir->filePath(QStringLiteral("nowhere"));
    qputenv("NORLIX_HOME", nowhere.toUtf8());
    QString description;
    NORLIX_EXPECT_ERROR(makeStandInSystemGlobal(), description);
    QVERIFY2(description.contains(QDir::toNativeSeparators(nowhere)), qPrintable(description));
    QVERIFY2(description.contains(QStringLiteral("norlix init")), qPrintable(description));
    QVERIFY(!QFileInfo::exists(nowhere));

    // An installation that goes away under a running component.
    QVERIFY(QFile::remove(m_installation->registerPath()));
    NORLIX_EXPECT_ERROR(db()->CompanyLetter(), description);
    QVERIFY2(description.contains(QDir::toNativeSeparators(m_home)), qPrintable(description));
    NORLIX_EXPECT_ERROR(db()->CompanyLetter(QStringLiteral("B")), description);
    NORLIX_EXPECT_ERROR(db()->DatabaseLocation(), description);
    QVERIFY(!QFileInfo::exists(m_installation->registerPath()));
}

void TestStandIn::systemGlobalStaysEmptyUntilItCanBeCreated()
{
    const QString later = m_dir->filePath(QStringLiteral("later"));
    qputenv("NORLIX_HOME", later.toUtf8());
    resetComponents();
    QString description;
    NORLIX_EXPECT_ERROR(SystemGlobal(), description);
    NORLIX_EXPECT_ERROR(SystemGlobal(), description);
    Installation(later).create();
    QCOMPARE(SystemGlobal().Instance()->CompanyLetter(), QStringLiteral("A"));
    QCOMPARE(&SystemGlobal(), &SystemGlobal());
    resetComponents();
}

void TestStandIn::busyDatabase()
{
    const QString path = companyPath(QStringLiteral("A"));
    sqlite3 *blocker = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &blocker), SQLITE_OK);
    QCOMPARE(sqlite3_exec(blocker, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    CompanyFile file(QStringLiteral("A"), path, std::chrono::milliseconds(200));
    QString description;
    NORLIX_EXPECT_ERROR(
        file.accountsLock(QStringLiteral("PC1"), QStringLiteral("LOCK")), description);
    QVERIFY2(description.contains(QStringLiteral("stayed busy for more than 0.2 seconds"))
            && description.contains(path),
        qPrintable(description));
    NORLIX_EXPECT_ERROR(file.setting(QStringLiteral("Companyname")), description);

    QCOMPARE(sqlite3_exec(blocker, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    QCOMPARE(
        file.accountsLock(QStringLiteral("PC1"), QStringLiteral("LOCK")), QStringLiteral("PC1"));

    // SQLite refuses some requests at once, without waiting: a file cannot leave write-ahead-log
    // mode while another program has it open. The message must not speak of a wait.
    QCOMPARE(sqlite3_exec(blocker, "PRAGMA journal_mode = WAL; BEGIN; SELECT count(*) FROM locks",
                 nullptr, nullptr, nullptr),
        SQLITE_OK);
    NORLIX_EXPECT_ERROR(file.useRollbackJournal(), description);
    QVERIFY2(description.contains(QStringLiteral("is in use by another program")),
        qPrintable(description));
    sqlite3_close(blocker);
}

// A lock request reads before it asks for the write lock; another writer that got the write lock
// meanwhile must only make it wait, not fail.
void TestStandIn::lockRequestWaitsForAWriterToFinish()
{
    const QString path = companyPath(QStringLiteral("A"));
    sqlite3 *writer = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &writer), SQLITE_OK);
    QCOMPARE(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread finishing([writer] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    });
    QString holder;
    try {
        holder = CompanyFile(QStringLiteral("A"), path)
                     .accountsLock(QStringLiteral("PC1"), QStringLiteral("LOCK"));
    } catch (const ComponentError &error) {
        holder = error.description();
    }
    finishing.join();
    sqlite3_close(writer);
    QCOMPARE(holder, QStringLiteral("PC1"));
}

void TestStandIn::busyRequestsChangeNothing_data()
{
    QTest::addColumn<QByteArray>("hold");
    QTest::newRow("writer holding the file") << QByteArray("BEGIN EXCLUSIVE");
    QTest::newRow("writer about to write") << QByteArray("BEGIN IMMEDIATE");
    // The request writes, then meets the reader at COMMIT and rolls back.
    QTest::newRow("reader holding the file") << QByteArray("BEGIN; SELECT count(*) FROM settings");
}

void TestStandIn::busyRequestsChangeNothing()
{
    QFETCH(QByteArray, hold);
    const QString path = companyPath(QStringLiteral("A"));
    CompanyFile file(QStringLiteral("A"), path, std::chrono::milliseconds(300));
    QCOMPARE(
        file.accountsLock(QStringLiteral("PC1"), QStringLiteral("LOCK")), QStringLiteral("PC1"));
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(path.toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, hold.constData(), nullptr, nullptr, nullptr), SQLITE_OK);

    bool changedNothing = false;
    try {
        file.accountsLock(QStringLiteral("PC1"), QStringLiteral("UNLOCK"));
    } catch (const ComponentError &error) {
        QVERIFY2(
            error.description().contains(QStringLiteral("busy")), qPrintable(error.description()));
        changedNothing = error.changedNothing();
    }
    QCOMPARE(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    QVERIFY(changedNothing);
    QCOMPARE(
        file.accountsLock(QStringLiteral("PC1"), QStringLiteral("UNLOCK")), QString()); // held once
}

void TestStandIn::demoRefreshPutsCompaniesBack()
{
    CompanyFile a(QStringLiteral("A"), companyPath(QStringLiteral("A")));
    CompanyFile c(QStringLiteral("C"), companyPath(QStringLiteral("C")));
    CompanyFile d(QStringLiteral("D"), companyPath(QStringLiteral("D")));
    a.accountsLock(QStringLiteral("PC1"), QStringLiteral("LOCK"));
    c.accountsLock(QString::fromLatin1(demoLockHolder), QStringLiteral("LOCK"));
    d.setSetting(QStringLiteral("CompanyVersNbr"), QStringLiteral("V7.000"));
    m_installation->addCompany({ QStringLiteral("E"), QStringLiteral("Elm"), {}, {} }, true);
    CompanyFile(QStringLiteral("B"), companyPath(QStringLiteral("B"))).create();

    createDemoInstallation(*m_installation);

    QCOMPARE(a.lockOwner(QStringLiteral("LA")), QString());
    QCOMPARE(d.setting(QStringLiteral("CompanyVersNbr")), QString());
    QVERIFY(!QFileInfo::exists(companyPath(QStringLiteral("B"))));
    QVERIFY(m_installation->company(QStringLiteral("B")).has_value());
    QVERIFY(m_installation->company(QStringLiteral("E")).has_value());
    // C is held once again, so one release by its holder frees it.
    QCOMPARE(
        c.accountsLock(QString::fromLatin1(demoLockHolder), QStringLiteral("UNLOCK")), QString());
}

void TestStandIn::demoRefreshStopsAtADamagedDatabase()
{
    const QString path = companyPath(QStringLiteral("A"));
    QVERIFY(writeFileBytes(path, "not a database"));
    QString description;
    NORLIX_EXPECT_ERROR(createDemoInstallation(*m_installation), description);
    QVERIFY2(description.contains(path), qPrintable(description));
    QCOMPARE(fileBytes(path), QByteArray("not a database"));
    QCOMPARE(m_installation->companyOrDefault(QStringLiteral("A")).name,
        QStringLiteral("Alder Joinery Ltd"));
}

void TestStandIn::addingCompanies()
{
    QString description;
    NORLIX_EXPECT_ERROR(m_installation->addCompany({ "A", "Again", {}, {} }, true), description);
    for (const char *badFile : { "../escape.sqlite", "sub/file.sqlite", "..", "." })
        NORLIX_EXPECT_ERROR(
            m_installation->addCompany({ "F", "Fir", {}, QString::fromLatin1(badFile) }, true),
            description);
    NORLIX_EXPECT_ERROR(m_installation->addCompany({ "F", "  ", {}, {} }, true), description);
    NORLIX_EXPECT_ERROR(m_installation->addCompany({ "f", "Fir", {}, {} }, true), description);
    QVERIFY(!m_installation->company(QStringLiteral("F")).has_value());

    // A location without its separator gets one; a database that exists is kept as it is.
    const QString elsewhere = m_dir->filePath(QStringLiteral("elsewhere"));
    m_installation->addCompany({ "F", "Fir", elsewhere, "fir.db" }, true);
    const CompanyEntry fir = m_installation->companyOrDefault(QStringLiteral("F"));
    QCOMPARE(fir.location, QDir::toNativeSeparators(elsewhere + u'/'));
    QCOMPARE(CompanyFile(QStringLiteral("F"), fir.path()).setting(QStringLiteral("Companyname")),
        QStringLiteral("Fir"));
    QVERIFY(m_installation->removeCompany(QStringLiteral("F")));
    QVERIFY(!m_installation->removeCompany(QStringLiteral("F")));
    QVERIFY(QFileInfo::exists(fir.path()));
    m_installation->addCompany({ "F", "Fir Renamed", elsewhere, "fir.db" }, true);
    QCOMPARE(CompanyFile(QStringLiteral("F"), fir.path()).setting(QStringLiteral("Companyname")),
        QStringLiteral("Fir"));

    // A damaged file in the way is neither registered nor touched.
    const QString damaged = m_dir->filePath(QStringLiteral("damaged.sqlite"));
    QVERIFY(writeFileBytes(damaged, QByteArray()));
    NORLIX_EXPECT_ERROR(
        m_installation->addCompany({ "G", "Gum", m_dir->path(), "damaged.sqlite" }, true),
        description);
    QVERIFY2(description.contains(QDir::toNativeSeparators(damaged)), qPrintable(description));
    QVERIFY(!m_installation->company(QStringLiteral("G")).has_value());
    QCOMPARE(QFileInfo(damaged).size(), 0);
}

void TestStandIn::userSettings_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "PC-7";
    QTest::newRow("spaces around, lower case") << "  accounts pc  ";
    QTest::newRow("comma") << "front desk, left";
    QTest::newRow("equals and semicolon") << "a=b;c#d";
    QTest::newRow("quotes and backslash") << "\"x\" \\ y";
    QTest::newRow("unicode") << QString::fromUtf8("Büro 会計");
}

void TestStandIn::userSettings()
{
    QFETCH(QString, value);
    const QString app = QStringLiteral("Norlix6");
    const QString section = QStringLiteral("ThisPC");
    const QString key = QStringLiteral("WStnName");
    removeUserSetting(app, section, key);
    QCOMPARE(readUserSetting(app, section, key), QString());
    writeUserSetting(app, section, key, value);
    QCOMPARE(readUserSetting(app, section, key), value);
    QCOMPARE(readUserSetting(app, QStringLiteral("OtherPC"), key), QString());
    QCOMPARE(readUserSetting(QStringLiteral("Norlix7"), section, key), QString());
#ifdef Q_OS_WIN
    QVERIFY(QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\")
                + app,
        QSettings::NativeFormat)
                .childGroups()
                .contains(section));
#else
    QVERIFY(QFileInfo::exists(m_config.filePath(QStringLiteral("Norlix/Norlix6.ini"))));
#endif
    removeUserSetting(app, section, key);
    QCOMPARE(readUserSetting(app, section, key), QString());
}

void TestStandIn::handWrittenUserSetting_data()
{
    QTest::addColumn<QByteArray>("line"); // in section ThisPC of Norlix6.ini
    QTest::addColumn<QString>("value");
    QTest::newRow("comma and blank") << QByteArray("WStnName=FRONT, DESK") << "FRONT, DESK";
    QTest::newRow("two commas") << QByteArray("WStnName=FRONT, DESK, LEFT") << "FRONT, DESK, LEFT";
    QTest::newRow("comma in quotes") << QByteArray("WStnName=\"FRONT, DESK\"") << "FRONT, DESK";
}

// A value written into the file by hand, not by Qt's own writer, which quotes it: the INI reader
// takes an unquoted value with a comma for a list.
void TestStandIn::handWrittenUserSetting()
{
#ifdef Q_OS_WIN
    QSKIP("On Windows the settings store is the registry, not a file");
#else
    QFETCH(QByteArray, line);
    QFETCH(QString, value);
    const QString app = QStringLiteral("Norlix6");
    const QString section = QStringLiteral("ThisPC");
    const QString key = QStringLiteral("WStnName");
    QVERIFY(QDir(m_config.path()).mkpath(QStringLiteral("Norlix")));
    QVERIFY(writeFileBytes(
        m_config.filePath(QStringLiteral("Norlix/Norlix6.ini")), "[ThisPC]\n" + line + "\n"));

    QCOMPARE(readUserSetting(app, section, key), value);
#endif
}

#ifdef Q_OS_WIN
PRISMOR_COM_TEST_MAIN(TestStandIn)
#else
QTEST_GUILESS_MAIN(TestStandIn)
#endif
#include "test_components_standin.moc"
