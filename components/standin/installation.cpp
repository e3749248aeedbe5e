#include "installation.h"

#include "company_file.h"
#include "database_operation.h"
#include "sqlite_connection.h"

#include <company_letter.h>
#include <component_error.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace Norlix {
namespace {

const QString registerLabel = QStringLiteral("The Norlix register of companies");

constexpr auto registerSchema = R"(
CREATE TABLE IF NOT EXISTS companies (
    letter TEXT PRIMARY KEY NOT NULL CHECK (length(letter) = 1),
    name TEXT NOT NULL,
    location TEXT NOT NULL,
    file TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS current_companies (
    user TEXT PRIMARY KEY NOT NULL,
    letter TEXT NOT NULL
);
)";

// Paths are kept and shown with the platform's own separators, on Windows C:\Norlix\companies
// or \\server\share\Norlix.
QString nativeFolder(const QString &folder)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QDir(folder).absolutePath()));
}

QString withTrailingSeparator(const QString &folder)
{
    const QString clean = nativeFolder(folder);
    return clean.endsWith(QDir::separator()) ? clean : clean + QDir::separator();
}

void requireFileName(const QString &fileName)
{
    if (fileName.isEmpty() || fileName == u"." || fileName == u".." || fileName.contains(u'/')
        || fileName.contains(u'\\'))
        throw ComponentError(QStringLiteral("\"%1\" is not a database file name: give a plain "
                                            "file name without folders.")
                                 .arg(fileName),
            nothingChanged);
}

CompanyEntry entryFrom(const SqliteStatement &row)
{
    return { row.text(0), row.text(1), row.text(2), row.text(3) };
}

std::optional<QString> storedCurrentLetter(SqliteConnection &db)
{
    SqliteStatement select(db, "SELECT letter FROM current_companies WHERE user = ?1");
    select.bind(1, currentUserName());
    if (!select.next())
        return std::nullopt;
    return select.text(0);
}

} // namespace

void requireCompanyLetter(const QString &text)
{
    if (!isCompanyLetter(text))
        throw ComponentError(QStringLiteral("\"%1\" is not a company letter: a company letter is "
                                            "one of the capital letters A to Z.")
                                 .arg(text),
            nothingChanged);
}

namespace {

QString lookUpUserName()
{
#ifdef Q_OS_UNIX
    if (const passwd *entry = getpwuid(geteuid()); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
#endif
    for (const char *variable : { "USER", "USERNAME", "LOGNAME" }) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty())
            return name;
    }
    return QStringLiteral("user");
}

} // namespace

// The user of a process stays the same; the system's user database is read once.
QString currentUserName()
{
    static const QString name = lookUpUserName();
    return name;
}

Installation::Installation(QString home)
    : m_home(nativeFolder(home))
{
}

DatabaseAccess Installation::registerAccess() const
{
    return { registerLabel, registerPath(), defaultBusyTimeout, notFound() };
}

CompanyEntry Installation::unregistered(const QString &letter) const
{
    return { letter, QString(), defaultLocation(letter), defaultFileName(letter) };
}

QString Installation::notFound() const
{
    return QStringLiteral("The Norlix installation at %1 was not found (run norlix init).")
        .arg(m_home);
}

QString Installation::homeFromEnvironment()
{
    const QString home = qEnvironmentVariable("NORLIX_HOME");
    return home.isEmpty() ? defaultHome() : home;
}

// On Windows an installation is the machine's, shared by its users: %ProgramData%\Norlix. On
// Linux it is the user's own, under the data folder.
QString Installation::defaultHome()
{
#ifdef Q_OS_WIN
    const QString machineData = qEnvironmentVariable("ProgramData", QStringLiteral("C:/ProgramData"));
    return QDir::fromNativeSeparators(machineData) + QStringLiteral("/Norlix");
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Norlix");
#endif
}

QString Installation::registerPath() const
{
    return m_home + QDir::separator() + QStringLiteral("register.sqlite");
}

bool Installation::exists() const
{
    return QFileInfo::exists(registerPath());
}

void Installation::requireExists() const
{
    if (!exists())
        throw ComponentError(notFound(), nothingChanged);
}

bool Installation::create()
{
    if (!exists()) {
        if (!QDir().mkpath(m_home))
            throw ComponentError(
                QStringLiteral("The folder %1 for the Norlix installation could not be created.")
                    .arg(m_home));
        const auto build = [](SqliteConnection &db) { db.execute(registerSchema); };
        if (createDatabase(registerLabel, registerPath(), build, defaultBusyTimeout))
            return true;
    }
    runOperation(registerAccess(),
        [](SqliteConnection &db) { SqliteStatement(db, "SELECT count(*) FROM companies").run(); });
    return false;
}

QString Installation::defaultLocation(const QString &letter) const
{
    return withTrailingSeparator(m_home + QStringLiteral("/companies/") + letter);
}

QString Installation::defaultFileName(const QString &letter)
{
    return QStringLiteral("Company") + letter + QStringLiteral(".sqlite");
}

std::optional<CompanyEntry> Installation::company(const QString &letter) const
{
    requireCompanyLetter(letter);
    return operate(registerAccess(), [&](SqliteConnection &db) -> std::optional<CompanyEntry> {
        SqliteStatement select(
            db, "SELECT letter, name, location, file FROM companies WHERE letter = ?1");
        select.bind(1, letter);
        if (!select.next())
            return std::nullopt;
        return entryFrom(select);
    });
}

CompanyEntry Installation::companyOrDefault(const QString &letter) const
{
    if (auto entry = company(letter))
        return *entry;
    return unregistered(letter);
}

QList<CompanyEntry> Installation::companies() const
{
    return operate(registerAccess(), [](SqliteConnection &db) {
        SqliteStatement select(
            db, "SELECT letter, name, location, file FROM companies ORDER BY letter");
        QList<CompanyEntry> entries;
        while (select.next())
            entries.append(entryFrom(select));
        return entries;
    });
}

namespace {

// Registers the company, and makes its database first when withDatabase is set, inside the
// register's write transaction.
void registerNew(SqliteConnection &db, const CompanyEntry &entry, bool withDatabase, bool &createdDatabase)
{
    SqliteStatement registered(db, "SELECT 1 FROM companies WHERE letter = ?1");
    if (registered.bind(1, entry.letter).next())
        throw ComponentError(QStringLiteral("Company %1 is registered already; remove it first "
                                            "to add it anew.")
                                 .arg(entry.letter),
            nothingChanged);
    // A redone attempt finds the database that the attempt before it made.
    if (withDatabase)
        createdDatabase = CompanyFile(entry.letter, entry.path()).create([&](auto &file) {
            SqliteStatement(file, "INSERT INTO settings (key, value) VALUES (?1, ?2)")
                .bind(1, QStringLiteral("Companyname"))
                .bind(2, entry.name)
                .run();
        }) || createdDatabase;
    SqliteStatement(
        db, "INSERT INTO companies (letter, name, location, file) VALUES (?1, ?2, ?3, ?4)")
        .bind(1, entry.letter)
        .bind(2, entry.name)
        .bind(3, entry.location)
        .bind(4, entry.fileName)
        .run();
}

} // namespace

void Installation::addCompany(CompanyEntry entry, bool withDatabase)
{
    requireCompanyLetter(entry.letter);
    if (entry.name.trimmed().isEmpty())
        throw ComponentError(
            QStringLiteral("Company %1 needs a name.").arg(entry.letter), nothingChanged);
    entry.location = entry.location.isEmpty() ? defaultLocation(entry.letter)
                                              : withTrailingSeparator(entry.location);
    if (entry.fileName.isEmpty())
        entry.fileName = defaultFileName(entry.letter);
    requireFileName(entry.fileName);
    bool createdDatabase = false;
    try {
        runOperation(registerAccess(), [&](SqliteConnection &db) {
            db.writeTransaction([&] { registerNew(db, entry, withDatabase, createdDatabase); });
        });
    } catch (const ComponentError &error) {
        // The register rolled back, but the new database stays.
        if (createdDatabase)
            throw ComponentError(error.description());
        throw;
    }
}

void Installation::putCompany(
    const CompanyEntry &entry, const std::function<void(SqliteConnection &)> &changeDatabase)
{
    requireCompanyLetter(entry.letter);
    requireExists();
    runOperation(registerAccess(), [&](SqliteConnection &db) {
        if (changeDatabase)
            db.attach(entry.path(), "company");
        db.writeTransaction([&] {
            SqliteStatement(db,
                "INSERT OR REPLACE INTO companies (letter, name, location, file) "
                "VALUES (?1, ?2, ?3, ?4)")
                .bind(1, entry.letter)
                .bind(2, entry.name)
                .bind(3, entry.location)
                .bind(4, entry.fileName)
                .run();
            if (changeDatabase)
                changeDatabase(db);
        });
    });
}

bool Installation::removeCompany(const QString &letter)
{
    requireCompanyLetter(letter);
    return operate(registerAccess(), [&](SqliteConnection &db) {
        bool removed = false;
        db.writeTransaction([&] {
            SqliteStatement(db, "DELETE FROM companies WHERE letter = ?1").bind(1, letter).run();
            removed = db.changes() > 0;
        });
        return removed;
    });
}

QString Installation::currentLetter() const
{
    return operate(registerAccess(), [](SqliteConnection &db) {
        return storedCurrentLetter(db).value_or(QStringLiteral("A"));
    });
}

void Installation::setCurrentLetter(const QString &letter)
{
    requireCompanyLetter(letter);
    runOperation(registerAccess(), [&](SqliteConnection &db) {
        // Making the current company current again has nothing to write.
        if (storedCurrentLetter(db) == letter)
            return;
        db.writeTransaction([&] {
            SqliteStatement(
                db, "INSERT OR REPLACE INTO current_companies (user, letter) VALUES (?1, ?2)")
                .bind(1, currentUserName())
                .bind(2, letter)
                .run();
        });
    });
}

CompanyEntry Installation::currentCompany() const
{
    return operate(registerAccess(), [&](SqliteConnection &db) {
        SqliteStatement select(db,
            "SELECT current.letter, companies.name, companies.location, companies.file "
            "FROM (SELECT coalesce((SELECT letter FROM current_companies WHERE user = ?1), 'A') "
            "AS letter) AS current LEFT JOIN companies ON companies.letter = current.letter");
        select.bind(1, currentUserName());
        select.next(); // the query always gives one row
        const QString letter = select.text(0);
        requireCompanyLetter(letter);
        return select.isNull(1) ? unregistered(letter) : entryFrom(select);
    });
}

} // namespace Norlix
