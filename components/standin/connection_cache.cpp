#include "connection_cache.h"

#include "sqlite_connection.h"

#include <component_error.h>

#include <QFileInfo>

namespace Norlix {
namespace {

// An operation whose file was replaced or changed under it starts again at least this often, and
// for as long as its busy timeout since the first time; other writers committing while it waits
// for the file change it too.
constexpr int replacedAttempts = 3;

// The connection one attempt of an operation works with: the kept one, or one opened afresh
// that the cache keeps only when the attempt ends well.
class Lease
{
public:
    Lease(const DatabaseAccess &file, const PathState &now)
        : m_file(file)
    {
        if (m_file.cache)
            m_connection = m_file.cache->reusable(m_file.path, now);
        if (m_connection) {
            m_connection->setBusyTimeout(m_file.busyTimeout);
        } else {
            // Opening looks again at the file and the journals beside it.
            m_own = std::make_unique<SqliteConnection>(
                m_file.label, m_file.path, SqliteConnection::Mode::Existing, m_file.busyTimeout);
            m_connection = m_own.get();
        }
        m_changesBefore = m_connection->totalChanges();
    }

    [[nodiscard]] SqliteConnection &connection() const { return *m_connection; }
    [[nodiscard]] bool wrote() const { return m_connection->totalChanges() != m_changesBefore; }

    void giveUp()
    {
        if (m_file.cache && !m_own)
            m_file.cache->forget(m_file.path);
        m_own.reset();
        m_connection = nullptr;
    }

    // Keeps the connection in the cache, with its file as state found it.
    void keep(const PathState &state)
    {
        if (m_file.cache)
            m_file.cache->keep(m_file.path, std::move(m_own), state);
    }

private:
    const DatabaseAccess &m_file;
    std::unique_ptr<SqliteConnection> m_own;
    SqliteConnection *m_connection = nullptr;
    qint64 m_changesBefore = 0;
};

ComponentError keptBeingReplaced(const DatabaseAccess &file)
{
    return ComponentError(QStringLiteral("%1 at %2 was replaced or changed again and again while "
                                         "it was being used; try again later.")
                              .arg(file.label, file.path),
        nothingChanged);
}

// Refuses, before anything opens a file, a path that holds no file, and anything but a file
// where SQLite keeps the journals.
PathState requireUsable(const DatabaseAccess &file)
{
    const PathState now = stateAt(file.path);
    if (!now.found) {
        if (file.cache)
            file.cache->forget(file.path);
        throw ComponentError(file.missingMessage, nothingChanged);
    }
    if (!now.regular)
        requireOnlyFiles(file.label, file.path); // names what stands there
    requireOnlyFileCompanions(file.label, file.path);
    return now;
}

} // namespace

struct ConnectionCache::Kept
{
    std::unique_ptr<SqliteConnection> connection;
    PathState state;
};

ConnectionCache::ConnectionCache() = default;
ConnectionCache::~ConnectionCache() = default;

SqliteConnection *ConnectionCache::reusable(const QString &path, const PathState &now)
{
    const auto kept = m_kept.find(path);
    if (kept == m_kept.end())
        return nullptr;
    if (!kept->second.state.unchangedSince(now)) {
        m_kept.erase(kept);
        return nullptr;
    }
    return kept->second.connection.get();
}

void ConnectionCache::keep(
    const QString &path, std::unique_ptr<SqliteConnection> connection, const PathState &state)
{
    if (connection) {
        m_kept[path] = Kept { std::move(connection), state };
    } else if (const auto kept = m_kept.find(path); kept != m_kept.end()) {
        kept->second.state = state;
    }
}

void ConnectionCache::forget(const QString &path)
{
    m_kept.erase(path);
}

void runOperation(const DatabaseAccess &file, const std::function<void(SqliteConnection &)> &work)
{
    std::optional<std::chrono::steady_clock::time_point> deadline;
    const auto mayStartAgain = [&](int attempt) {
        const auto now = std::chrono::steady_clock::now();
        if (!deadline)
            deadline = now + file.busyTimeout;
        return attempt < replacedAttempts || now < *deadline;
    };
    for (int attempt = 1;; ++attempt) {
        const PathState before = requireUsable(file);
        Lease lease(file, before);
        SqliteConnection &db = lease.connection();
        try {
            work(db);
        } catch (const FileReplaced &) {
            lease.giveUp();
            if (!mayStartAgain(attempt))
                throw keptBeingReplaced(file);
            continue;
        } catch (...) {
            lease.giveUp();
            throw;
        }
        // A transaction still open would hold its lock until the next operation.
        if (db.rollBackLeftOpen()) {
            lease.giveUp();
            return;
        }
        const bool wrote = lease.wrote();
        const PathState after = stateAt(file.path);
        if (!after.sameFileAs(db.opened())) {
            lease.giveUp();
            // A write checked the path while it held the file alone: what came there since is
            // another program's doing. What was read came from a file no longer there.
            if (wrote)
                return;
            if (!mayStartAgain(attempt))
                throw keptBeingReplaced(file);
            continue;
        }
        // A connection to a file in write-ahead-log mode holds a shared lock between
        // transactions, which would keep other programs from taking the file out of that mode.
        if (QFileInfo::exists(file.path + QStringLiteral("-wal"))) {
            lease.giveUp();
            return;
        }
        // Only this process's own write, to the file it has open, is taken as the file's state.
        lease.keep(wrote ? after : before);
        return;
    }
}

} // namespace Norlix
