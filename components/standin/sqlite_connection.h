#pragma once

#include <component_error.h>

#include <QString>

#include <chrono>
#include <functional>

struct sqlite3;
struct sqlite3_stmt;

namespace Norlix {

// The stand-in's refusals and failures leave everything as it was unless they say otherwise.
inline constexpr auto nothingChanged = ComponentError::Effect::Unchanged;

// One open SQLite file of the stand-in installation. Every failure is raised as ComponentError
// whose description names the file (by its label, e.g. "The database of company A", and path).
class SqliteConnection
{
public:
    enum class Mode {
        // The file must exist already. Reads open it for writing too, so that a transaction left
        // behind by a writer that crashed is rolled back as SQLite intends; a file that may not
        // be written is still read where there is nothing to roll back.
        Existing,
        Create, // creates the file when it is missing
    };

    SqliteConnection(QString label, QString path, Mode mode, std::chrono::milliseconds busyTimeout);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection &) = delete;
    SqliteConnection &operator=(const SqliteConnection &) = delete;

    // Runs statements without values to bind (schema).
    void execute(const char *sql);
    // Runs work inside one write transaction taken at once (BEGIN IMMEDIATE), so that two
    // processes never both read-then-write the same rows, and commits it. A failure says it
    // changed nothing when the transaction never began or was rolled back in full.
    void writeTransaction(const std::function<void()> &work);
    // Runs work, which reads before it may write, inside one transaction that takes the write
    // lock only when work first writes, so that a request with nothing to write never waits for
    // the write lock. When another writer holds that lock by then, SQLite refuses at once (two
    // readers waiting for each other could never go on): the transaction is rolled back and
    // work runs again in writeTransaction, which waits its turn.
    void readThenWriteTransaction(const std::function<void()> &work);
    // Makes another existing file part of this connection under schema, so that one transaction
    // changes both files or neither.
    void attach(const QString &path, const char *schema);
    // Rows changed by the last statement, and by every statement since the file was opened.
    [[nodiscard]] int changes() const;
    [[nodiscard]] qint64 totalChanges() const;
    // Rolls back a transaction that was left open; gives back whether there was one.
    bool rollBackLeftOpen();
    void setBusyTimeout(std::chrono::milliseconds busyTimeout) { m_busyTimeout = busyTimeout; }
    [[nodiscard]] sqlite3 *handle() const { return m_db; }
    [[nodiscard]] const QString &path() const { return m_path; }

    // Raises the component error that describes the failure code of the last call.
    [[noreturn]] void fail(int code) const;

private:
    [[nodiscard]] ComponentError failure(int code) const;
    void transaction(const char *begin, const std::function<void()> &work);
    [[nodiscard]] bool rollBack();
    static int waitWhileBusy(void *connection, int attempt);

    QString m_label;
    QString m_path;
    std::chrono::milliseconds m_busyTimeout;
    std::chrono::steady_clock::time_point m_busySince;
    // Whether the last failure was the write lock refused to a transaction that was reading.
    mutable bool m_refusedToReader = false;
    sqlite3 *m_db = nullptr;
};

// A prepared statement; values are always bound, never written into the SQL.
class SqliteStatement
{
public:
    SqliteStatement(SqliteConnection &connection, const char *sql);
    SqliteStatement(SqliteConnection &connection, const QString &sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    SqliteStatement &bind(int index, const QString &value);
    SqliteStatement &bind(int index, qint64 value);
    // Steps once; true while a row is available.
    bool next();
    // Steps to the end, for statements that give back no rows.
    void run();
    [[nodiscard]] QString text(int column) const;
    [[nodiscard]] qint64 integer(int column) const;
    [[nodiscard]] bool isNull(int column) const;

private:
    SqliteConnection &m_connection;
    sqlite3_stmt *m_statement = nullptr;
};

// Creates the database at path, with what fill writes into it in one transaction, under a spare
// name beside it, and then puts it in place, so that no one ever meets it half made. Gives back
// false, and leaves it as it is, when another file came there first. Its folder must exist.
bool createDatabase(const QString &label, const QString &path,
    const std::function<void(SqliteConnection &)> &fill, std::chrono::milliseconds busyTimeout);

// Raises ComponentError unless the file at path, and every file SQLite may open beside it (its
// journals), is a regular file or missing: a named pipe or a device there would make an open
// wait for ever or read something that is no database.
void requireOnlyFiles(const QString &label, const QString &path);

} // namespace Norlix
