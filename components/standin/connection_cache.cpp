#include "connection_cache.h"

#include "sqlite_connection.h"

#include <component_error.h>

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <exception>

namespace Norlix {
namespace {

// What a look at the path tells of the file there: which file it is, and whether it changed. The
// change times catch a file copied over in place, which SQLite cannot tell from its own writes
// when the copy carries the same change counter.
struct FileState
{
    bool found = false;
#ifdef Q_OS_UNIX
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified {};
    timespec statusChanged {};
#endif
};

FileState stateAt(const QString &path)
{
    FileState state;
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return state;
    // Something other than a file in its place is another inode: opening it afresh names it.
    state = { true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim };
#else
    state.found = QFileInfo::exists(path);
#endif
    return state;
}

bool operator==(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Without a way to tell files apart, every operation opens the file afresh.
bool sameUnchangedFile(const FileState &a, const FileState &b)
{
#ifdef Q_OS_UNIX
    return a.found && b.found && a.device == b.device && a.inode == b.inode && a.size == b.size
        && a.modified == b.modified && a.statusChanged == b.statusChanged;
#else
    Q_UNUSED(a);
    Q_UNUSED(b);
    return false;
#endif
}

} // namespace

struct ConnectionCache::Kept
{
    std::unique_ptr<SqliteConnection> connection;
    FileState state;
};

ConnectionCache::ConnectionCache() = default;
ConnectionCache::~ConnectionCache() = default;

SqliteConnection &ConnectionCache::existing(const QString &label, const QString &path,
    std::chrono::milliseconds busyTimeout, const QString &missingMessage)
{
    const FileState now = stateAt(path);
    if (!now.found) {
        forget(path);
        throw ComponentError(missingMessage, nothingChanged);
    }
    if (const auto kept = m_kept.find(path);
        kept != m_kept.end() && sameUnchangedFile(kept->second.state, now)) {
        kept->second.connection->setBusyTimeout(busyTimeout);
        return *kept->second.connection;
    }
    forget(path);
    // Opening looks again at the file and the journals beside it, and names whatever is no file.
    auto connection = std::make_unique<SqliteConnection>(
        label, path, SqliteConnection::Mode::Existing, busyTimeout);
    SqliteConnection &opened = *connection;
    m_kept[path] = Kept { std::move(connection), now };
    return opened;
}

void ConnectionCache::noteWritten(const QString &path)
{
    if (const auto kept = m_kept.find(path); kept != m_kept.end())
        kept->second.state = stateAt(path);
}

void ConnectionCache::forget(const QString &path)
{
    m_kept.erase(path);
}

OperationConnection::OperationConnection(ConnectionCache *cache, const QString &label,
    const QString &path, std::chrono::milliseconds busyTimeout, const QString &missingMessage)
    : m_cache(cache)
    , m_path(path)
    , m_exceptionsBefore(std::uncaught_exceptions())
{
    if (m_cache) {
        m_connection = &m_cache->existing(label, path, busyTimeout, missingMessage);
    } else {
        if (!QFileInfo::exists(path))
            throw ComponentError(missingMessage, nothingChanged);
        m_own = std::make_unique<SqliteConnection>(
            label, path, SqliteConnection::Mode::Existing, busyTimeout);
        m_connection = m_own.get();
    }
    m_changesBefore = m_connection->totalChanges();
}

OperationConnection::~OperationConnection()
{
    if (!m_cache)
        return;
    const bool failed = std::uncaught_exceptions() > m_exceptionsBefore;
    // A transaction still open would hold its lock until the next operation.
    const bool leftOpen = m_connection->rollBackLeftOpen();
    if (failed || leftOpen)
        m_cache->forget(m_path);
    else if (m_connection->totalChanges() != m_changesBefore)
        m_cache->noteWritten(m_path);
}

} // namespace Norlix
