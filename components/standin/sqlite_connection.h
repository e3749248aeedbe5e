#pragma once

#include "../component_error.h"

#include <QString>

#include <chrono>

struct sqlite3;
struct sqlite3_stmt;

namespace Norlix {

// One open SQLite file of the stand-in installation. Every failure is raised as ComponentError
// whose description names the file (by its label, e.g. "The database of company A", and path).
class SqliteConnection
{
public:
    enum class Mode {
        ReadOnly, // never writes, never creates
        ReadWrite, // the file must exist already
        Create, // creates the file when it is missing
    };

    SqliteConnection(QString label, QString path, Mode mode, std::chrono::milliseconds busyTimeout);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection &) = delete;
    SqliteConnection &operator=(const SqliteConnection &) = delete;

    // Runs statements without values to bind (schema, transaction control).
    void execute(const char *sql);
    // Rows changed by the last statement.
    [[nodiscard]] int changes() const;
    [[nodiscard]] sqlite3 *handle() const { return m_db; }
    [[nodiscard]] const QString &path() const { return m_path; }

    // Raises the component error that describes the failure code of the last call.
    [[noreturn]] void fail(int code) const;

private:
    [[nodiscard]] ComponentError failure(int code) const;
    static int waitWhileBusy(void *connection, int attempt);

    QString m_label;
    QString m_path;
    std::chrono::milliseconds m_busyTimeout;
    std::chrono::steady_clock::time_point m_busySince;
    sqlite3 *m_db = nullptr;
};

// A prepared statement; values are always bound, never written into the SQL.
class SqliteStatement
{
public:
    SqliteStatement(SqliteConnection &connection, const char *sql);
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

private:
    SqliteConnection &m_connection;
    sqlite3_stmt *m_statement = nullptr;
};

// Holds a write transaction taken at once (BEGIN IMMEDIATE), so that two processes never both
// read-then-write the same rows; rolled back unless committed.
class SqliteTransaction
{
public:
    explicit SqliteTransaction(SqliteConnection &connection);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction &) = delete;
    SqliteTransaction &operator=(const SqliteTransaction &) = delete;

    void commit();

private:
    SqliteConnection &m_connection;
    bool m_open = true;
};

} // namespace Norlix
