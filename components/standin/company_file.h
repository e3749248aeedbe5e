#pragma once

#include <QString>

#include <chrono>
#include <functional>

namespace Norlix {

class SqliteConnection;
struct DatabaseAccess;

// A request for the accounts lock waits this long for a busy database before it fails.
inline constexpr std::chrono::milliseconds defaultBusyTimeout { 5000 };

// The name of the accounts lock among a company's locks.
inline constexpr auto accountsLockName = "LA";

// Who holds a lock, and how many times: a holder that asked again must give back as often.
struct LockHolding
{
    QString holder; // empty when the lock is free
    qint64 holds = 0;
};

// The database file of one company: its settings and its locks. Reads never write to the file
// and nothing here creates a missing file except create().
class CompanyFile
{
public:
    CompanyFile(QString letter, QString path,
        std::chrono::milliseconds busyTimeout = defaultBusyTimeout);

    // Creates the database with its empty tables and what fill writes into them, and the folders
    // above it. An existing file is kept as it is; it must be a readable company database. Gives
    // back whether it created the file.
    bool create(const std::function<void(SqliteConnection &)> &fill = {});

    // The stored value, or empty text when the key is not stored.
    [[nodiscard]] QString setting(const QString &key) const;
    void setSetting(const QString &key, const QString &value);
    // Takes the file out of write-ahead-log mode, should another program have put it there.
    void useRollbackJournal();

    // The workstation holding the named lock, or empty text.
    [[nodiscard]] QString lockOwner(const QString &lockName) const;
    [[nodiscard]] LockHolding lockHolding(const QString &lockName) const;
    // action "LOCK" or "UNLOCK" for that workstation; gives back the holder afterwards. A holder
    // asking LOCK again holds it once more and must UNLOCK as often.
    QString accountsLock(const QString &workstation, const QString &action);

    [[nodiscard]] const QString &path() const { return m_path; }
    [[nodiscard]] QString label() const;

private:
    void verifyReadable() const;
    [[nodiscard]] DatabaseAccess access() const;

    QString m_letter;
    QString m_path;
    std::chrono::milliseconds m_busyTimeout;
};

} // namespace Norlix
