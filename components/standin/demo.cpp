#include "demo.h"

#include "company_file.h"
#include "installation.h"
#include "sqlite_connection.h"

#include <component_error.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

namespace Norlix {
namespace {

struct DemoCompany
{
    const char *letter;
    const char *name;
    const char *tidyMonth; // empty: no database
    const char *version; // empty: not recorded yet
    const char *lockHolder; // empty: the accounts are free
};

constexpr DemoCompany demoCompanies[] = {
    { "A", "Alder Joinery Ltd", "2025-10", "V6.123", "" },
    { "B", "Birchwood Bakery", "", "", "" },
    { "C", "Cedar Lane Cafe", "2025-08", "V6.120", demoLockHolder },
    { "D", "Dogwood Designs", "2025-09", "", "" },
};

void storeSetting(SqliteConnection &db, const QString &schema, const char *key, const char *value)
{
    if (*value == '\0') {
        SqliteStatement(db, QStringLiteral("DELETE FROM %1.settings WHERE key = ?1").arg(schema))
            .bind(1, QString::fromLatin1(key))
            .run();
        return;
    }
    SqliteStatement(db,
        QStringLiteral("INSERT OR REPLACE INTO %1.settings (key, value) VALUES (?1, ?2)")
            .arg(schema))
        .bind(1, QString::fromLatin1(key))
        .bind(2, QString::fromUtf8(value))
        .run();
}

// Puts the demo's settings and accounts lock into the database at schema, inside the caller's
// transaction. The lock is set outright, so that however many demos run at once it is held once.
void storeDemoState(SqliteConnection &db, const QString &schema, const DemoCompany &demo)
{
    storeSetting(db, schema, "Companyname", demo.name);
    storeSetting(db, schema, "AcctDBtidyMonth", demo.tidyMonth);
    storeSetting(db, schema, "CompanyVersNbr", demo.version);
    const QString lockName = QString::fromLatin1(accountsLockName);
    SqliteStatement(db, QStringLiteral("DELETE FROM %1.locks WHERE name = ?1").arg(schema))
        .bind(1, lockName)
        .run();
    if (*demo.lockHolder != '\0')
        SqliteStatement(db,
            QStringLiteral("INSERT INTO %1.locks (name, holder, holds) VALUES (?1, ?2, 1)")
                .arg(schema))
            .bind(1, lockName)
            .bind(2, QString::fromLatin1(demo.lockHolder))
            .run();
}

// Removes the database and whatever SQLite keeps beside it, so that no journal or log of this
// file is left for a later one at its place to take as its own.
void removeDatabase(const QString &path)
{
    QStringList files = companionsOf(path);
    files.prepend(path);
    for (const QString &file : std::as_const(files))
        if ((QFileInfo::exists(file) || QFileInfo(file).isSymLink()) && !QFile::remove(file))
            throw ComponentError(
                QStringLiteral("The demo database %1 could not be removed.").arg(file));
}

// Journals and logs beside a demo database that is not there belong to no database; removed
// before the demo makes one at that place.
void removeLeftoverCompanions(const QString &path)
{
    if (!QFileInfo::exists(path))
        removeDatabase(path);
}

// The demo keeps its companies at their default places, so a refresh never touches a database
// that was registered elsewhere by hand. Each company changes in one transaction over the
// register and its database, so that a demo stopped at any moment leaves it as it was or as the
// demo has it.
void resetDemoCompany(Installation &installation, const DemoCompany &demo)
{
    const QString letter = QString::fromLatin1(demo.letter);
    const CompanyEntry entry { letter, QString::fromUtf8(demo.name),
        installation.defaultLocation(letter), Installation::defaultFileName(letter) };
    if (*demo.tidyMonth == '\0') {
        removeDatabase(entry.path());
        installation.putCompany(entry);
        return;
    }
    // A damaged database stops the demo here, named as such, with the register as it was.
    // A database made here is made complete, in case the demo stops before the register changes.
    removeLeftoverCompanions(entry.path());
    CompanyFile file(letter, entry.path());
    file.create([&](SqliteConnection &db) { storeDemoState(db, QStringLiteral("main"), demo); });
    file.useRollbackJournal();
    installation.putCompany(
        entry, [&](SqliteConnection &db) { storeDemoState(db, QStringLiteral("company"), demo); });
}

} // namespace

void createDemoInstallation(Installation &installation)
{
    installation.create();
    // One demo at a time: another one, started meanwhile, would take the database this one has
    // just made for a missing one and clear it away with its journal. A lock that a killed demo
    // left behind is taken over once its process is gone.
    QLockFile oneDemo(installation.home() + QStringLiteral("/demo.lock"));
    oneDemo.setStaleLockTime(0);
    if (!oneDemo.lock())
        throw ComponentError(QStringLiteral("The demo could not take its lock file %1.")
                                 .arg(QDir::toNativeSeparators(oneDemo.fileName())));
    for (const DemoCompany &demo : demoCompanies)
        resetDemoCompany(installation, demo);
}

} // namespace Norlix
