#pragma once

#include <QString>

#include <chrono>
#include <map>
#include <memory>

namespace Norlix {

class SqliteConnection;

// The open SQLite files of one process-wide component, kept from one operation to the next, so
// that an operation costs a look at the file rather than an open and a read of its schema. On a
// shared network folder every system call is a round trip to the server.
//
// Between operations a kept connection holds no lock and no transaction: SQLite itself sees at
// the start of each transaction what other processes wrote, and rolls back a hot journal. What it
// cannot see, a file removed, or replaced or copied over by something other than SQLite, the
// look at the path before each operation does. Not for use from more than one thread.
class ConnectionCache
{
public:
    ConnectionCache();
    ~ConnectionCache();
    ConnectionCache(const ConnectionCache &) = delete;
    ConnectionCache &operator=(const ConnectionCache &) = delete;

    // The connection to the existing file at path, opened afresh when the file is no longer the
    // one it was opened on or has changed by other means since this process last used it.
    // Raises ComponentError with missingMessage when there is no file at path.
    SqliteConnection &existing(const QString &label, const QString &path,
        std::chrono::milliseconds busyTimeout, const QString &missingMessage);
    // Takes note of the file as this process's own write left it.
    void noteWritten(const QString &path);
    // Closes the file's connection, so that the next operation starts afresh.
    void forget(const QString &path);

private:
    struct Kept;
    std::map<QString, Kept> m_kept;
};

// The connection that one operation works with: the kept one when there is a cache, otherwise
// one of its own that closes when the operation ends. An operation that fails, or that leaves a
// transaction open, gives its kept connection up.
class OperationConnection
{
public:
    OperationConnection(ConnectionCache *cache, const QString &label, const QString &path,
        std::chrono::milliseconds busyTimeout, const QString &missingMessage);
    ~OperationConnection();
    OperationConnection(const OperationConnection &) = delete;
    OperationConnection &operator=(const OperationConnection &) = delete;

    SqliteConnection &operator*() const { return *m_connection; }
    SqliteConnection *operator->() const { return m_connection; }

private:
    ConnectionCache *m_cache;
    QString m_path;
    std::unique_ptr<SqliteConnection> m_own;
    SqliteConnection *m_connection = nullptr;
    qint64 m_changesBefore = 0;
    int m_exceptionsBefore = 0;
};

} // namespace Norlix
