// Damaged stand-in installations met by the real window with the real components: each gives a
// clear message or the refusal of the letter, nothing crashes, and no stored value is lost or
// changed.

#include <components.h>
#include <main.h>
#include <plain_label.h>

#include "message_box_recorder.h"
#include "test_support.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace {

// The child that runs as nobody is handed a copy of the command, since the build tree may lie
// in a home that other users cannot enter.
constexpr char norlixCopyVariable[] = "PRISMOR_TEST_NORLIX_COPY";
QString norlixPath()
{
    const QString copy = qEnvironmentVariable(norlixCopyVariable);
    return copy.isEmpty() ? QStringLiteral(NORLIX_COMMAND) : copy;
}
const QString norlixCommand = norlixPath();
const QString registerFile = QStringLiteral("register.sqlite");

enum class Damage {
    ZeroLengthDatabase,
    RandomBytesDatabase,
    TruncatedDatabase,
    FolderForDatabase,
    UnreadableDatabase,
    MissingInstallation,
    RegisterNamesAbsentFolder,
    RandomBytesRegister,
    ZeroLengthRegister,
    FolderForRegister,
    UnreadableRegister,
};

// Which path the message has to name.
enum class Named { Nothing, Database, Register, Installation };

QString norlix(const QStringList &arguments)
{
    return runNorlix(norlixCommand, arguments);
}

QByteArray randomBytes(qsizetype size)
{
    QRandomGenerator generator(20251208);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

bool replaceByFolder(const QString &path)
{
    return QFile::remove(path) && QDir().mkdir(path);
}

bool runningAsRoot()
{
#ifdef Q_OS_WIN
    return false; // a file held open exclusively is refused to administrators too
#else
    return geteuid() == 0;
#endif
}

} // namespace

Q_DECLARE_METATYPE(Damage)
Q_DECLARE_METATYPE(Named)

class TestDamagedInstallations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void damagedInstallation_data();
    void damagedInstallation();

private:
    // A working installation: company A with its settings, company B current at start-up.
    bool setUpInstallation(const QString &home);
    bool damage(Damage damage, const QString &home);
    void runInUnprivilegedChild();
    [[nodiscard]] QStringList storedValueChanges(
        const FolderSnapshot &before, const QString &registerBefore) const;

    QTemporaryDir m_sandbox;
    QString m_home;
    int m_case = 0;
#ifdef Q_OS_WIN
    std::unique_ptr<ExclusiveOpen> m_held;
#endif
};

void TestDamagedInstallations::initTestCase()
{
    QVERIFY(m_sandbox.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_sandbox.filePath(QStringLiteral("config"))));
    QVERIFY(QFileInfo(norlixCommand).isExecutable());
    QCOMPARE(norlix({ "workstation", "front-desk" }), QString());
}

void TestDamagedInstallations::cleanup()
{
    Norlix::resetComponents();
#ifdef Q_OS_WIN
    m_held.reset();
#endif
    // A folder left unreadable would keep the sandbox from being removed.
    for (const QString &path : { m_home + QStringLiteral("/companies/A/CompanyA.sqlite"),
             m_home + QLatin1Char('/') + registerFile })
        if (QFileInfo::exists(path))
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

bool TestDamagedInstallations::setUpInstallation(const QString &home)
{
    qputenv("NORLIX_HOME", QFile::encodeName(home));
    Norlix::resetComponents();
    const QList<QStringList> commands {
        { "init" },
        { "company", "add", "A", "Alder Joinery Ltd" },
        { "setting", "set", "A", "AcctDBtidyMonth", "2025-10" },
        { "setting", "set", "A", "CompanyVersNbr", "V6.123" },
        { "company", "add", "B", "Birchwood Bakery" },
        { "setting", "set", "B", "CompanyVersNbr", "V6.120" },
        { "company", "add", "E", "Elm Street Garage", "--location",
            m_sandbox.filePath(QStringLiteral("elsewhere-%1").arg(m_case)) },
        { "current", "B" },
    };
    for (const QStringList &command : commands)
        if (norlix(command) == norlixFailed)
            return false;
    return true;
}

bool TestDamagedInstallations::damage(Damage damage, const QString &home)
{
    const QString database = home + QStringLiteral("/companies/A/CompanyA.sqlite");
    const QString registerPath = home + QLatin1Char('/') + registerFile;
    switch (damage) {
    case Damage::ZeroLengthDatabase:
        return writeFileBytes(database, {});
    case Damage::RandomBytesDatabase:
        return writeFileBytes(database, randomBytes(QFileInfo(database).size()));
    case Damage::TruncatedDatabase:
        return writeFileBytes(database, fileBytes(database).left(QFileInfo(database).size() / 2));
    case Damage::FolderForDatabase:
        return replaceByFolder(database);
    case Damage::UnreadableDatabase:
#ifdef Q_OS_WIN
        m_held = std::make_unique<ExclusiveOpen>(database);
        return m_held->isOpen();
#else
        return QFile::setPermissions(database, {});
#endif
    case Damage::MissingInstallation:
        return QDir(home).removeRecursively() && !QFileInfo::exists(home);
    case Damage::RegisterNamesAbsentFolder:
        return QDir(m_sandbox.filePath(QStringLiteral("elsewhere-%1").arg(m_case)))
            .removeRecursively();
    case Damage::RandomBytesRegister:
        return writeFileBytes(registerPath, randomBytes(QFileInfo(registerPath).size()));
    case Damage::ZeroLengthRegister:
        return writeFileBytes(registerPath, {});
    case Damage::FolderForRegister:
        return replaceByFolder(registerPath);
    case Damage::UnreadableRegister:
#ifdef Q_OS_WIN
        m_held = std::make_unique<ExclusiveOpen>(registerPath);
        return m_held->isOpen();
#else
        return QFile::setPermissions(registerPath, {});
#endif
    }
    return false;
}

void TestDamagedInstallations::damagedInstallation_data()
{
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<Named>("named");
    QTest::addColumn<bool>("needsUnprivilegedUser");

    // Most damage ends the check of A with a message naming the damaged path.
    const auto failing = [](const char *name, Damage damage, Named named, bool unprivileged) {
        QTest::newRow(name) << damage << QStringLiteral("A") << QString() << named << unprivileged;
    };
    failing("zero-length database file", Damage::ZeroLengthDatabase, Named::Database, false);
    failing("database file of random bytes", Damage::RandomBytesDatabase, Named::Database, false);
    failing("database cut in half", Damage::TruncatedDatabase, Named::Database, false);
    QTest::newRow("folder where the database should be")
        << Damage::FolderForDatabase << "A"
        << "Cannot find database for Company A" << Named::Nothing << false;
    failing(
        "database file without read permission", Damage::UnreadableDatabase, Named::Database, true);
    failing("installation folder missing", Damage::MissingInstallation, Named::Installation, false);
    QTest::newRow("register naming an absent folder")
        << Damage::RegisterNamesAbsentFolder << "E"
        << "Cannot find database for Company E" << Named::Nothing << false;
    failing("register of random bytes", Damage::RandomBytesRegister, Named::Register, false);
    failing("zero-length register", Damage::ZeroLengthRegister, Named::Register, false);
    failing(
        "folder where the register should be", Damage::FolderForRegister, Named::Register, false);
    failing("register without read permission", Damage::UnreadableRegister, Named::Register, true);
}

void TestDamagedInstallations::damagedInstallation()
{
    QFETCH(Damage, damage);
    QFETCH(QString, letter);
    QFETCH(QString, refusal);
    QFETCH(Named, named);
    QFETCH(bool, needsUnprivilegedUser);
    if (needsUnprivilegedUser && runningAsRoot()) {
        runInUnprivilegedChild();
        return;
    }

    m_home = m_sandbox.filePath(QStringLiteral("norlix-%1").arg(++m_case));
    QVERIFY(setUpInstallation(m_home));
    QVERIFY(this->damage(damage, m_home));
    const QString registerBefore = databaseContents(m_home + QLatin1Char('/') + registerFile);
    const FolderSnapshot sandboxBefore = snapshotFolder(m_sandbox.path());
    Norlix::resetComponents();
    MessageBoxRecorder messages;

    auto window = std::make_unique<Main>();
    QSignalSpy ended(window.get(), &Main::ended);
    window->show();
    QVERIFY(window->isVisible());
    window->txtLetter->setText(letter);
    QTest::mouseClick(window->cmdStart, Qt::LeftButton);
    const bool endedByTheCheck = !ended.isEmpty();
    if (!endedByTheCheck)
        QTest::mouseClick(window->cmdExit, Qt::LeftButton);
    QCoreApplication::processEvents();
    window.reset();

    QCOMPARE(messages.shown().size(), 1);
    const ShownMessageBox shown = messages.shown().first();
    QCOMPARE(shown.title, QStringLiteral("Prismor"));
    if (!refusal.isEmpty()) {
        QCOMPARE(shown.text, refusal);
        QCOMPARE(statuses(ended), QList<int> { 0 });
    } else {
        QVERIFY(endedByTheCheck);
        QCOMPARE(statuses(ended), QList<int> { 1 });
        const QString path = named == Named::Database
            ? m_home + QStringLiteral("/companies/A/CompanyA.sqlite")
            : named == Named::Register ? m_home + QLatin1Char('/') + registerFile
                                       : m_home;
        QVERIFY2(shown.text.contains(QDir::toNativeSeparators(path)), qPrintable(shown.text));
    }
    qInfo().noquote() << "shown:" << shown.text;

    const QStringList changes = storedValueChanges(sandboxBefore, registerBefore);
    QVERIFY2(changes.isEmpty(), qPrintable(changes.join(u'\n')));
    if (!registerBefore.isEmpty())
        QCOMPARE(norlix({ "current" }), QStringLiteral("B"));
}

// The whole sandbox: every installation, the folders that registers name, the settings store.
// The register is the stand-in's own record of the current company, which the check sets and
// Exit puts back: its file may be rewritten, its rows may not change. Every other file must stay
// as it was, byte for byte.
QStringList TestDamagedInstallations::storedValueChanges(
    const FolderSnapshot &before, const QString &registerBefore) const
{
    FolderSnapshot after = snapshotFolder(m_sandbox.path());
    const QString registerFile
        = QDir(m_sandbox.path()).relativeFilePath(m_home) + QLatin1Char('/') + ::registerFile;
    QStringList changes;
    if (!registerBefore.isEmpty()) {
        const QString registerAfter = databaseContents(m_sandbox.filePath(registerFile));
        if (registerAfter != registerBefore)
            changes << QStringLiteral("rows of the register: %1 -> %2")
                           .arg(registerBefore, registerAfter);
        if (after.contains(registerFile) && before.contains(registerFile)) {
            after[registerFile].size = before.value(registerFile).size;
            after[registerFile].modified = before.value(registerFile).modified;
            after[registerFile].sha256 = before.value(registerFile).sha256;
        }
    }
    return changes + snapshotDifferences(before, after);
}

// Root reads any file whatever its permissions, so the case runs again in a child process of
// this test as the user nobody.
void TestDamagedInstallations::runInUnprivilegedChild()
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        QSKIP("running as root and setpriv is not available to drop to an unprivileged user");

    // Copies of this test and of the norlix command, in a folder that nobody may enter.
    QTemporaryDir copies;
    QVERIFY(copies.isValid());
    const auto readAndRun = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
        | QFileDevice::ReadOther | QFileDevice::ExeOther | QFileDevice::ReadGroup
        | QFileDevice::ExeGroup;
    QVERIFY(QFile::setPermissions(copies.path(), readAndRun));
    const QString testCopy = copies.filePath(QStringLiteral("test_damaged_installations"));
    const QString norlixCopy = copies.filePath(QStringLiteral("norlix"));
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), testCopy));
    QVERIFY(QFile::copy(norlixCommand, norlixCopy));
    QVERIFY(QFile::setPermissions(testCopy, readAndRun));
    QVERIFY(QFile::setPermissions(norlixCopy, readAndRun));

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(norlixCopyVariable), norlixCopy);
    environment.insert(QStringLiteral("HOME"), QDir::tempPath());
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(QDir::tempPath());
    child.setProcessChannelMode(QProcess::MergedChannels);
    const QString function = "damagedInstallation:" + QString::fromUtf8(QTest::currentDataTag());
    child.start(
        setpriv, { "--reuid=nobody", "--regid=nogroup", "--clear-groups", testCopy, function });
    QVERIFY(child.waitForFinished(60000));
    const QString output = QString::fromUtf8(child.readAll());
    QVERIFY2(
        child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output));
    QVERIFY2(
        output.contains(QStringLiteral("PASS   : TestDamagedInstallations::damagedInstallation(")),
        qPrintable(output));
    for (const QString &line : output.split(QLatin1Char('\n')))
        if (line.contains(QStringLiteral(" shown: ")))
            qInfo().noquote() << "as nobody," << line.section(QStringLiteral(" shown: "), 1);
}

QTEST_MAIN(TestDamagedInstallations)
#include "test_damaged_installations.moc"
