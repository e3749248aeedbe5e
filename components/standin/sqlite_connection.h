#pragma once

#include <component_error.h>

#include <QString>
#include <QStringList>

#include <chrono>
#include <exception>
#include <functional>

struct sqlite3;
struct sqlite3_stmt;

namespace Norlix {

// The stand-in's refusals and failures leave everything as it was unless they say otherwise.
inline constexpr auto nothingChanged = ComponentError::Effect::Unchanged;

// How often an open, or an operation whose write met another file or another's change, starts
// again on a path whose file is being replaced or changed under it before it gives up.
inline constexpr int replacedAttempts = 3;

// Which file a path names: the device and inode on Unix. On Windows an open database cannot be
// renamed over or removed (SQLite does not share it for deleting), so the file at the path is
// always the one open, and nothing needs telling apart.
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

// What one look at a path finds there.
struct PathState
{
    bool found = false;
    bool regular = false; // a regular file, not a folder, pipe, device or socket
    FileIdentity identity;
    // The size and change times: a file copied over in place is the same inode with other
    // contents, which SQLite cannot tell from its own writes when the copy carries the same
    // change counter.
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 statusChangedNs = 0;

    [[nodiscard]] bool sameFileAs(const PathState &other) const
    {
        return found && other.found && identity == other.identity;
    }
    [[nodiscard]] bool unchangedSince(const PathState &other) const
    {
        return sameFileAs(other) && size == other.size && modifiedNs == other.modifiedNs
            && statusChangedNs == other.statusChangedNs;
    }
};

[[nodiscard]] PathState stateAt(const QString &path);

// Raised inside an operation when the path no longer names the file that its connection has
// open: another file was renamed over it, or it was removed. The operation changed nothing and
// starts again on the file that the path names now.
class FileReplaced : public std::exception
{
public:
    [[nodiscard]] const char *what() const noexcept override { return "file replaced"; }
};

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

    // Refuses, before anything is opened, a path that holds anything but a file, and anything but
    // a file where SQLite keeps the journals, so that no open ever waits on a pipe. In mode
    // Existing a missing file fails with missingMessage, or by default names label and path.
    SqliteConnection(QString label, QString path, Mode mode, std::chrono::milliseconds busyTimeout,
        const QString &missingMessage = {});
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection &) = delete;
    SqliteConnection &operator=(const SqliteConnection &) = delete;

    // Runs statements without values to bind (schema).
    void execute(const char *sql);
    // Runs work inside one write transaction that holds the file to itself from its start
    // (BEGIN EXCLUSIVE), so that two processes never both read-then-write the same rows and the
    // COMMIT never waits for readers, and commits it. Before work runs, while no one else may
    // write, the path must still name the file this connection opened, as it was then; otherwise
    // FileReplaced is raised with nothing written. A failure says it changed nothing when the
    // transaction never began or was rolled back in full.
    void writeTransaction(const std::function<void()> &work);
    // Makes another existing file part of this connection under schema, so that one transaction
    // changes both files or neither.
    void attach(const QString &path, const char *schema);
    // Rows changed by the last statement.
    [[nodiscard]] int changes() const;
    [[nodiscard]] sqlite3 *handle() const { return m_db; }
    [[nodiscard]] const QString &path() const { return m_path; }

    // Raises the component error that describes the failure code of the last call.
    [[noreturn]] void fail(int code) const;

private:
    [[nodiscard]] ComponentError failure(int code) const;
    void open(int flags, const PathState &before);
    [[nodiscard]] bool rollBack();
    static int waitWhileBusy(void *connection, int attempt);

    QString m_label;
    QString m_path;
    std::chrono::milliseconds m_busyTimeout;
    std::chrono::steady_clock::time_point m_busySince;
    bool m_waitedOut = false; // the last wait for a busy file gave up after m_busyTimeout
    QString m_refusal; // what came to stand where a journal belongs while this waited
    // The file this connection has open, as a look at its path found it when it was opened.
    PathState m_opened;
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

// The files SQLite may keep beside a database: its rollback journal, write-ahead log and the log's
// shared memory.
[[nodiscard]] QStringList companionsOf(const QString &path);

// Raises ComponentError unless the file at path, and every file SQLite may open beside it (its
// journals), is a regular file or missing: a named pipe or a device there would make an open
// wait for ever or read something that is no database.
void requireOnlyFiles(const QString &label, const QString &path);
// The same for the journals alone, for a path already found to hold a regular file.
void requireOnlyFileCompanions(const QString &label, const QString &path);

// Raises ComponentError unless nothing lies beside path where SQLite keeps a database's journals:
// a new database put there would take a journal or log left over from an earlier file for its
// own, and be damaged by it.
void requireNoLeftoverCompanions(const QString &label, const QString &path);

} // namespace Norlix
