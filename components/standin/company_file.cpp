#include "company_file.h"

#include "database_operation.h"
#include "sqlite_connection.h"

#include <component_error.h>

#include <QDir>
#include <QFileInfo>

namespace Norlix {
namespace {

constexpr auto schema = R"(
CREATE TABLE IF NOT EXISTS settings (
    key TEXT PRIMARY KEY NOT NULL,
    value TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS locks (
    name TEXT PRIMARY KEY NOT NULL,
    holder TEXT NOT NULL,
    holds INTEGER NOT NULL CHECK (holds > 0)
);
)";

using Lock = LockHolding;

Lock readLock(SqliteConnection &db, const QString &name)
{
    SqliteStatement select(db, "SELECT holder, holds FROM locks WHERE name = ?1");
    select.bind(1, name);
    if (!select.next())
        return {};
    return { select.text(0), select.integer(1) };
}

void writeLock(SqliteConnection &db, const QString &name, const Lock &lock)
{
    if (lock.holds <= 0) {
        SqliteStatement(db, "DELETE FROM locks WHERE name = ?1").bind(1, name).run();
        return;
    }
    SqliteStatement(db, "INSERT OR REPLACE INTO locks (name, holder, holds) VALUES (?1, ?2, ?3)")
        .bind(1, name)
        .bind(2, lock.holder)
        .bind(3, lock.holds)
        .run();
}

// LOCK changes a free lock or one the workstation holds; UNLOCK only one it holds.
bool changesLock(const Lock &lock, const QString &workstation, bool locking)
{
    const bool mine = lock.holds > 0 && lock.holder == workstation;
    return mine || (locking && lock.holds == 0);
}

void requireKey(const QString &key)
{
    if (key.isEmpty())
        throw ComponentError(
            QStringLiteral("A company setting needs a key; the key was empty."), nothingChanged);
}

} // namespace

CompanyFile::CompanyFile(QString letter, QString path, std::chrono::milliseconds busyTimeout)
    : m_letter(std::move(letter))
    , m_path(std::move(path))
    , m_busyTimeout(busyTimeout)
{
}

DatabaseAccess CompanyFile::access() const
{
    return { label(), m_path, m_busyTimeout,
        QStringLiteral("%1 was not found at %2.").arg(label(), m_path) };
}

QString CompanyFile::label() const
{
    return QStringLiteral("The database of company %1").arg(m_letter);
}

void CompanyFile::verifyReadable() const
{
    runOperation(access(), [](SqliteConnection &db) {
        SqliteStatement(db, "SELECT count(*) FROM settings").run();
        SqliteStatement(db, "SELECT count(*) FROM locks").run();
    });
}

bool CompanyFile::create(const std::function<void(SqliteConnection &)> &fill)
{
    if (!QFileInfo::exists(m_path)) {
        const QString folder = QFileInfo(m_path).absolutePath();
        if (!QDir().mkpath(folder))
            throw ComponentError(
                QStringLiteral("%1 cannot be made: its folder %2 could not be created.")
                    .arg(label(), QDir::toNativeSeparators(folder)));
        const auto build = [&](SqliteConnection &db) {
            db.execute(schema);
            if (fill)
                fill(db);
        };
        if (createDatabase(label(), m_path, build, m_busyTimeout))
            return true;
    }
    verifyReadable();
    return false;
}

void CompanyFile::useRollbackJournal()
{
    runOperation(access(), [&](SqliteConnection &db) {
        SqliteStatement mode(db, "PRAGMA main.journal_mode = DELETE");
        if (!mode.next() || mode.text(0) != QLatin1String("delete"))
            throw ComponentError(QStringLiteral("%1 at %2 could not be put back to a rollback "
                                                "journal; it stays in journal mode \"%3\".")
                                     .arg(label(), m_path, mode.text(0)),
                nothingChanged);
    });
}

QString CompanyFile::setting(const QString &key) const
{
    requireKey(key);
    return operate(access(), [&](SqliteConnection &db) {
        SqliteStatement select(db, "SELECT value FROM settings WHERE key = ?1");
        select.bind(1, key);
        return select.next() ? select.text(0) : QString();
    });
}

void CompanyFile::setSetting(const QString &key, const QString &value)
{
    requireKey(key);
    runOperation(access(), [&](SqliteConnection &db) {
        db.writeTransaction([&] {
            SqliteStatement(db, "INSERT OR REPLACE INTO settings (key, value) VALUES (?1, ?2)")
                .bind(1, key)
                .bind(2, value)
                .run();
        });
    });
}

QString CompanyFile::lockOwner(const QString &lockName) const
{
    return lockHolding(lockName).holder;
}

LockHolding CompanyFile::lockHolding(const QString &lockName) const
{
    if (lockName.isEmpty())
        throw ComponentError(
            QStringLiteral("A lock name is needed to ask who holds a lock."), nothingChanged);
    return operate(access(), [&](SqliteConnection &db) { return readLock(db, lockName); });
}

QString CompanyFile::accountsLock(const QString &workstation, const QString &action)
{
    // Names are texts compared exactly: only the empty text names no workstation.
    if (workstation.isEmpty())
        throw ComponentError(
            QStringLiteral("A workstation name is needed to lock or unlock the accounts of "
                           "company %1; the name was empty.")
                .arg(m_letter),
            nothingChanged);
    const bool locking = action == QLatin1String("LOCK");
    if (!locking && action != QLatin1String("UNLOCK"))
        throw ComponentError(QStringLiteral("\"%1\" is not a request for the accounts lock; ask "
                                            "LOCK or UNLOCK.")
                                 .arg(action),
            nothingChanged);

    const QString name = QString::fromLatin1(accountsLockName);
    return operate(access(), [&](SqliteConnection &db) {
        // A request that cannot change anything (the lock is another's) only reads, so that
        // workstations asking again and again never queue for the file.
        Lock lock = readLock(db, name);
        if (changesLock(lock, workstation, locking)) {
            db.writeTransaction([&] {
                // Read again with the file held alone: another may have asked meanwhile.
                lock = readLock(db, name);
                if (!changesLock(lock, workstation, locking))
                    return;
                lock = locking ? Lock { workstation, lock.holds + 1 }
                               : Lock { lock.holder, lock.holds - 1 };
                writeLock(db, name, lock);
            });
        }
        return lock.holds > 0 ? lock.holder : QString();
    });
}

} // namespace Norlix
