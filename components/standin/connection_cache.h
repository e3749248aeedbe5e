#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <type_traits>

namespace Norlix {

class SqliteConnection;
struct PathState;

// The open SQLite files of one process-wide component, kept from one operation to the next, so
// that an operation costs a few looks at the file rather than an open and a read of its schema.
// On a shared network folder every system call is a round trip to the server.
//
// Between operations a kept connection holds no lock and no transaction: SQLite itself sees at
// the start of each transaction what other processes wrote, and rolls back a hot journal. What it
// cannot see, a file removed, replaced or copied over by something other than SQLite, or
// something other than a file put where it keeps a journal, the looks before and after each
// operation do (runOperation). Not for use from more than one thread.
class ConnectionCache
{
public:
    ConnectionCache();
    ~ConnectionCache();
    ConnectionCache(const ConnectionCache &) = delete;
    ConnectionCache &operator=(const ConnectionCache &) = delete;

    // The connection kept for path, when the path still names the file it has open and that
    // file is as this process last left it; otherwise none.
    [[nodiscard]] SqliteConnection *reusable(const QString &path, const PathState &now);
    // Keeps connection for path, or without one the connection kept already, with its file as
    // state found it.
    void keep(const QString &path, std::unique_ptr<SqliteConnection> connection,
        const PathState &state);
    // Closes the file's connection, so that the next operation opens it afresh.
    void forget(const QString &path);

private:
    struct Kept;
    std::map<QString, Kept> m_kept;
};

// The database file that one operation works on, and how.
struct DatabaseAccess
{
    // Where the operation finds its connection kept; without one it opens its own, which closes
    // when the operation ends.
    ConnectionCache *cache = nullptr;
    QString label; // names the file in messages, e.g. "The database of company A"
    QString path;
    std::chrono::milliseconds busyTimeout;
    QString missingMessage; // the failure when there is no file at path
};

// Runs one operation on the file at the path: on its kept connection when the file is still the
// one it has open and unchanged, otherwise on one opened afresh. Before it, the path must hold a
// file, and nothing but files may stand where SQLite keeps its journals; so that no open ever
// waits on a pipe. When the path was found to name another file by the time work ended, what
// work read came from a file no longer there, and it runs again on the file there now; a write
// checks the path itself before it writes (SqliteConnection::writeTransaction). A connection
// is kept only while it holds no lock: never after a failure, and never for a file that uses a
// write-ahead log, since SQLite then holds a shared lock for as long as the file is open.
void runOperation(const DatabaseAccess &file, const std::function<void(SqliteConnection &)> &work);

// runOperation for work that gives back a result.
template <typename Work>
auto operate(const DatabaseAccess &file, Work &&work)
{
    using Result = std::invoke_result_t<Work &, SqliteConnection &>;
    if constexpr (std::is_void_v<Result>) {
        runOperation(file, work);
    } else {
        std::optional<Result> result;
        runOperation(file, [&](SqliteConnection &db) { result = work(db); });
        return std::move(*result);
    }
}

} // namespace Norlix
